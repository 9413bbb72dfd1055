// Divide64: 64-bit decimal and time arithmetic with 32-bit divisions only.
// A 64-bit division compiles on i686 into a call to the compiler's runtime
// library (about 2 KiB that the installer stub would carry for a few
// decimal and date conversions); the divisors there are small constants, for
// which three 32-bit divisions give the same result.
#pragma once

#include <cstdint>

// The largest divisor divideBySmall takes.
constexpr uint32_t kMaxSmallDivisor = 0xFFFF;

// Divides value in place by divisor (1..kMaxSmallDivisor) and returns the
// remainder.
uint32_t divideBySmall(uint64_t& value, uint32_t divisor);

// True when value * 10 + digit (digit 0..9) would exceed 2^64 - 1: the
// overflow test of a decimal reader, without dividing.
constexpr bool decimalStepOverflows(uint64_t value, uint32_t digit) {
    constexpr uint64_t kMaxTenth = UINT64_MAX / 10;
    constexpr uint32_t kMaxLastDigit = UINT64_MAX % 10;
    return value > kMaxTenth || (value == kMaxTenth && digit > kMaxLastDigit);
}
