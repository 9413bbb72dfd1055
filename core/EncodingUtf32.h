#pragma once
// UTF-32 (either byte order) to and from UTF-8, for the code-page converter.

#include <cstdint>

class DataBuffer;

// Appends the UTF-8 form of each whole 4-byte group; a code point of 2^21 or
// more becomes U+FFFD. Input of fewer than 4 bytes gives false; a trailing
// partial group is ignored. bigEndian reads every group most significant
// byte first.
bool utf32ToUtf8(const uint8_t* bytes, uint32_t count, bool bigEndian, DataBuffer& out);
// Appends one 4-byte group per legal UTF-8 sequence (encoded surrogates
// included); stops with false at the first illegal or truncated sequence,
// keeping what was written.
bool utf8ToUtf32(const uint8_t* bytes, uint32_t count, bool bigEndian, DataBuffer& out);
