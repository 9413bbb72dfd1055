#pragma once
// The UTF-16LE units the code-page converter works in.

#include <cstdint>

#include "core/ByteOrder.h"
#include "core/DataBuffer.h"

constexpr uint32_t kUtf16UnitBytes = 2;
constexpr uint16_t kByteOrderMarkUnit = 0xFEFF;

// Appends one unit, low byte first.
inline void appendUtf16Unit(DataBuffer& out, uint16_t unit) {
    uint8_t bytes[kUtf16UnitBytes];
    storeLittleEndian16(bytes, unit);
    out.append(bytes, kUtf16UnitBytes);
}
