#pragma once
// ZipCRC: the CRC-32 of ZIP and ISO-HDLC — polynomial 0x04C11DB7 processed
// bit-reflected (table of the reversed polynomial 0xEDB88320), initial value
// 0xFFFFFFFF, final complement. Check value: "123456789" -> 0xCBF43926.
//
// Two forms: a running CRC (reset, update in pieces, final) and a one-shot
// compute that ignores the running value.
//
// The 256-entry byte table, and 15 more derived from it that let update
// take 16 bytes per step (slicing by 16), are process-wide and built by the
// first construction (without locking; the system is single-threaded).

#include <cstdint>

class ZipCRC {
public:
    static constexpr uint32_t kPolynomial = 0x04C11DB7u;
    static constexpr uint32_t kInitialValue = 0xFFFFFFFFu;

    // Builds the table on first use; the running value starts reset.
    ZipCRC();
    virtual ~ZipCRC();

    // Running value := 0xFFFFFFFF.
    void reset();
    // Absorbs len bytes; a null data pointer changes nothing.
    void update(const void* data, uint32_t len);
    // The CRC so far (the complement of the running value, which stays).
    uint32_t final() const;

    // One-shot CRC of the range (0 for an empty range), independent of the
    // running value. When textFlag is given it is set to 1 (binary) when the
    // bytes 0..6 and 128..255 are more than a quarter (integer division) as
    // many as the bytes 7..127, otherwise to 0 (text).
    uint32_t compute(const void* data, uint32_t len, int32_t* textFlag = nullptr);

private:
    static void buildTable();

    uint32_t m_running;
};
