#pragma once
// Loads and stores of fixed-order integers at any byte address.
//
// Every file format the system reads or writes (payload records, PE images,
// code-page tables, bzip2 blocks, the digests' words) fixes its byte order,
// while the host's own order and alignment rules differ between the stub's
// targets. These helpers take bytes in the stated order whatever the host,
// with no alignment requirement. The byte-wise forms are what compilers turn
// into one load or store (and a byte swap where needed) at -O2 and -Os.

#include <cstdint>
#include <cstring>

// On a little-endian host the wide loads are plain unaligned loads, written
// as a fixed-size copy so that no optimisation level leaves a byte loop in
// the hot paths (CRC slicing, the inflater's bit buffer).
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define BRIVANE_HOST_LITTLE_ENDIAN 1
#else
#define BRIVANE_HOST_LITTLE_ENDIAN 0
#endif

inline uint16_t loadLittleEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t loadLittleEndian32(const uint8_t* p) {
#if BRIVANE_HOST_LITTLE_ENDIAN
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
#else
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
#endif
}

inline uint64_t loadLittleEndian64(const uint8_t* p) {
#if BRIVANE_HOST_LITTLE_ENDIAN
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
#else
    return static_cast<uint64_t>(loadLittleEndian32(p)) |
           (static_cast<uint64_t>(loadLittleEndian32(p + 4)) << 32);
#endif
}

inline void storeLittleEndian16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void storeLittleEndian32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline void storeLittleEndian64(uint8_t* p, uint64_t value) {
    storeLittleEndian32(p, static_cast<uint32_t>(value));
    storeLittleEndian32(p + 4, static_cast<uint32_t>(value >> 32));
}

inline uint32_t loadBigEndian32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void storeBigEndian32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

inline void storeBigEndian64(uint8_t* p, uint64_t value) {
    storeBigEndian32(p, static_cast<uint32_t>(value >> 32));
    storeBigEndian32(p + 4, static_cast<uint32_t>(value));
}
