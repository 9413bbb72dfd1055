// Divide64 against the compiler's own 64-bit division and the exact bound
// of a decimal reader.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/Divide64.h"

TEST(Divide64, QuotientAndRemainderMatchNativeDivision) {
    const uint64_t values[] = {0,
                               1,
                               9,
                               0xFFFF,
                               0x10000,
                               0xFFFFFFFFull,
                               0x100000000ull,
                               0x1FFFFFFFFull,
                               116444736000000000ull,
                               0x7FFFFFFFFFFFFFFFull,
                               0xFFFFFFFFFFFFFFFFull};
    const uint32_t divisors[] = {1, 2, 3, 10, 216, 400, 1000, 10000, 0xFFFE, kMaxSmallDivisor};
    uint64_t mixed = 0x9E3779B97F4A7C15ull;
    for (const uint32_t divisor : divisors) {
        for (int i = 0; i < 64; ++i) {
            mixed = mixed * 6364136223846793005ull + 1442695040888963407ull;
            const uint64_t value = i < static_cast<int>(sizeof values / sizeof values[0]) ? values[i] : mixed;
            uint64_t quotient = value;
            const uint32_t remainder = divideBySmall(quotient, divisor);
            EXPECT_EQ(value / divisor, quotient) << value << " / " << divisor;
            EXPECT_EQ(value % divisor, remainder) << value << " % " << divisor;
        }
    }
}

TEST(Divide64, DecimalStepOverflowsExactlyPastTheLargestValue) {
    constexpr uint64_t kTenth = 1844674407370955161ull;  // (2^64 - 1) / 10
    EXPECT_FALSE(decimalStepOverflows(kTenth, 5));       // 18446744073709551615
    EXPECT_TRUE(decimalStepOverflows(kTenth, 6));
    EXPECT_FALSE(decimalStepOverflows(kTenth - 1, 9));
    EXPECT_TRUE(decimalStepOverflows(kTenth + 1, 0));
    EXPECT_FALSE(decimalStepOverflows(0, 9));
}
