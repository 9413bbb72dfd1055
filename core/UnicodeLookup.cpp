#include "core/UnicodeLookup.h"

#include "core/HashConvert.h"

namespace {
constexpr uint32_t kUnitBytes = 2;
}

UnicodeLookup::UnicodeLookup() : m_units{} {}

void UnicodeLookup::build(const HashConvert& decoder) {
    m_units[0] = 0;
    for (uint32_t b = 1; b < kByteValues; ++b) {
        const uint8_t key = static_cast<uint8_t>(b);
        if (decoder.asciiDirect && b < 0x80) {
            m_units[b] = key;
            continue;
        }
        uint8_t value[HashConvert::kMaxSequenceBytes];
        const uint32_t found = decoder.lookup(&key, 1, value);
        m_units[b] = found == kUnitBytes ? static_cast<uint16_t>(value[0] | (value[1] << 8)) : 0;
    }
}
