#pragma once
// PwdProtect: the traditional ZIP entry encryption of the PKWARE application
// note (three 32-bit keys driven by CRC-32 steps and a linear congruence,
// a byte-wise keystream, and a 12-byte encryption header in front of the
// entry data).
//
// One object serves one entry: setPassword, then initKeys (reading) or
// makeHeader (writing), then checkHeader (reading), then the byte operations
// over the entry data. The keys advance with every byte, so the data must be
// processed exactly once and in order.
//
// Format notes:
// - The header is 12 bytes, stored encrypted: bytes 0..9 random, byte 10 =
//   bits 16..23 of the check value, byte 11 = bits 24..31. A reader compares
//   the last deciphered byte with the check value's top byte (or, for entries
//   written with a data descriptor, bits 8..15 of the DOS time).
// - The random bytes come from a process-wide 15-bit generator (state x
//   214013 + 2531011, result = bits 16..30 of the new state), reseeded for
//   every header.

#include <cstdint>

#include "core/StringBuffer.h"

// Size of the encryption header in front of the entry data.
constexpr uint32_t kPwdHeaderBytes = 12;
// Initial key values fixed by the format.
constexpr uint32_t kPwdInitialKey0 = 0x12345678u;
constexpr uint32_t kPwdInitialKey1 = 0x23456789u;
constexpr uint32_t kPwdInitialKey2 = 0x34567890u;
// Multiplier of the key1 linear congruence.
constexpr uint32_t kPwdKey1Multiplier = 134775813u;

class PwdProtect {
public:
    // Keys zero, empty password; call setPassword and initKeys before use.
    PwdProtect();
    // Overwrites the keys and the password bytes.
    ~PwdProtect();

    PwdProtect(const PwdProtect&) = delete;
    PwdProtect& operator=(const PwdProtect&) = delete;

    // Copies the password (NUL-terminated text; null means empty).
    void setPassword(const char* text);
    // Copies the password byte for byte (all getSize() bytes).
    void setPassword(const StringBuffer& text);

    // key0..key2 := the initial values, then updateKeys with each password
    // byte in order.
    void initKeys();
    // Advances the keys with one plaintext byte:
    //   key0 := crc32step(key0, b)
    //   key1 := (key1 + (key0 & 0xFF)) * 134775813 + 1
    //   key2 := crc32step(key2, key1 >> 24)
    void updateKeys(uint8_t b);
    // The next keystream byte: t := (key2 | 2) & 0xFFFF; bits 8..15 of
    // t * (t ^ 1). Does not advance the keys.
    uint8_t keystreamByte() const;

    // Returns the enciphered byte and advances the keys with the plain byte.
    uint8_t encryptByte(uint8_t plain);
    // Returns the deciphered byte and advances the keys with it.
    uint8_t decryptByte(uint8_t cipher);
    // The byte operations over count bytes of buffer, in place, in order.
    // A null buffer changes nothing.
    void encryptBytes(uint8_t* buffer, uint32_t count);
    void decryptBytes(uint8_t* buffer, uint32_t count);

    // Deciphers a copy of the 12-byte header (the caller's bytes stay
    // unchanged), advancing the keys. True when the last deciphered byte
    // equals bits 8..15 of timeValue (useTime) or bits 24..31 of checkValue
    // (!useTime). Requires setPassword and initKeys first; after a true
    // result the keys are ready for the entry data. A null header: false,
    // keys unchanged.
    bool checkHeader(const uint8_t* header, uint32_t timeValue, uint32_t checkValue, bool useTime);

    // Runs initKeys, reseeds the process-wide header generator from the clock
    // (seconds since 1970 x millisecond tick count, mixed with a per-process
    // call counter so that two headers made within one clock tick differ)
    // and writes the encrypted 12-byte header for checkValue to out. The keys
    // are then ready to encrypt the entry data.
    void makeHeader(uint32_t checkValue, uint8_t* out);
    // makeHeader with the generator seeded by the caller: the same password,
    // seed and check value always give the same header.
    void makeHeaderSeeded(uint32_t checkValue, uint32_t seed, uint8_t* out);

    // The process-wide 15-bit header generator.
    static void seedHeaderRandom(uint32_t seed);
    // state := state * 214013 + 2531011; returns bits 16..30 of the new state.
    static uint32_t nextHeaderRandom();
    // The header byte taken from one 15-bit generator value: bits 6..13, or
    // the low 8 bits when bits 6..13 are all zero.
    static uint8_t headerByteFromRandom(uint32_t value15);

    uint32_t key0() const { return m_key0; }
    uint32_t key1() const { return m_key1; }
    uint32_t key2() const { return m_key2; }

private:
    static uint32_t crc32Step(uint32_t crc, uint8_t b);

    uint32_t m_key0;
    uint32_t m_key1;
    uint32_t m_key2;
    StringBuffer m_password;
};
