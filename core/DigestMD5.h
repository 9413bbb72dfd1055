#pragma once
// DigestMD5: one-shot MD5 (RFC 1321) of a string or a byte buffer into 16
// bytes. Stateless: each call runs its own engine and context.

#include <cstdint>

class DataBuffer;
class StringBuffer;

class DigestMD5 {
public:
    static constexpr uint32_t kDigestBytes = 16;

    DigestMD5() = default;
    virtual ~DigestMD5();

    // MD5 of the string's bytes (its length, embedded NULs included, without
    // the terminator).
    void digestString(const StringBuffer& text, uint8_t digest[16]);
    // MD5 of the buffer's bytes.
    void digestData(const DataBuffer& data, uint8_t digest[16]);

private:
    void digestBytes(const void* bytes, uint32_t length, uint8_t digest[16]);
};
