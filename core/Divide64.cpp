#include "core/Divide64.h"

uint32_t divideBySmall(uint64_t& value, uint32_t divisor) {
    const uint32_t high = static_cast<uint32_t>(value >> 32);
    const uint32_t low = static_cast<uint32_t>(value);
    const uint32_t quotientHigh = high / divisor;
    // The rest of the high word and the low word, divided 16 bits at a
    // time: the remainder is below the divisor, so remainder:16 bits fits 32.
    uint32_t part = ((high % divisor) << 16) | (low >> 16);
    const uint32_t quotientMiddle = part / divisor;
    part = ((part % divisor) << 16) | (low & 0xFFFF);
    const uint32_t quotientLow = part / divisor;
    value = (static_cast<uint64_t>(quotientHigh) << 32) | (quotientMiddle << 16) | quotientLow;
    return part % divisor;
}
