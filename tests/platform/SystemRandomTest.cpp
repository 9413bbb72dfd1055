// systemRandomBytes: the operating system's random source (getrandom on
// Linux; built for Windows, RtlGenRandom looked up at run time, under Wine).
// Every length is filled completely, and two draws are not the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/SystemRandom.h"

namespace {

// Bytes of a canary that a complete fill of the buffer before it never
// reaches.
constexpr uint32_t kCanaryBytes = 8;
constexpr uint8_t kCanary = 0xA5;

}  // namespace

TEST(SystemRandomTest, FillsEveryLengthAndNothingBeyond) {
    for (uint32_t length : {0u, 1u, 3u, 16u, 255u, 256u, 257u, 4096u, 65537u}) {
        SCOPED_TRACE(length);
        std::vector<uint8_t> buffer(length + kCanaryBytes, kCanary);
        ASSERT_TRUE(systemRandomBytes(buffer.data(), length));
        for (uint32_t i = length; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kCanary) << "written past the end";
        if (length >= 256) {
            // Of 256 or more random bytes, some differ from the canary: a
            // fill that left the buffer as it was would fail here.
            uint32_t changed = 0;
            for (uint32_t i = 0; i < length; ++i) changed += buffer[i] != kCanary;
            EXPECT_GT(changed, length / 2);
        }
    }
}

TEST(SystemRandomTest, TwoDrawsDiffer) {
    // 2^-256 chance of a false failure.
    uint8_t first[32] = {};
    uint8_t second[32] = {};
    ASSERT_TRUE(systemRandomBytes(first, sizeof first));
    ASSERT_TRUE(systemRandomBytes(second, sizeof second));
    EXPECT_NE(std::vector<uint8_t>(first, first + 32), std::vector<uint8_t>(second, second + 32));
}
