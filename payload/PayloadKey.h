#pragma once
// The AES key of an encrypted payload, derived from its password with MD5.
//
//   128 bits: MD5(password)
//   192 bits: MD5(password), then the first 8 bytes of MD5(password + "2")
//   256 bits: MD5(password), then MD5(password + "2")
//
// The reader (SimpleArchive::deriveKey) and the writer share this one
// definition so that they cannot drift apart.

#include <cstdint>

class DataBuffer;
class StringBuffer;

// Empties key, then fills it with 16, 24 or 32 bytes for keyBits 128, 192 or
// 256 (any other value is treated as 256, as the header's key length code
// is). The password's bytes are taken up to its length, without terminator.
void derivePayloadKey(const StringBuffer& password, int32_t keyBits, DataBuffer& key);
