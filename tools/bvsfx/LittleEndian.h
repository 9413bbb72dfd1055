#pragma once
// LittleEndian: building the little-endian records of Windows file formats
// (PE headers, resources, icon files) in growing byte vectors. Loads and
// stores at a place are core/ByteOrder.h's, which this header brings in.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ByteOrder.h"

namespace LittleEndian {

inline void appendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Zero bytes up to the next multiple of alignment (a power of two).
inline void padTo(std::vector<uint8_t>& out, size_t alignment) {
    while (out.size() % alignment != 0) out.push_back(0);
}

}  // namespace LittleEndian
