// systemRandomBytes: the operating system's random source (getrandom on
// Linux; built for Windows, RtlGenRandom looked up at run time, under Wine).
// Every length is filled completely, and two draws are not the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

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

TEST(SystemRandomTest, SmallDrawsAcrossManyRefillsDiffer) {
    // Small draws come from a pool refilled now and then: 4-byte draws far
    // past several refills, and no draw repeats the one before it (each pair
    // equal by chance with probability 2^-32).
    uint32_t previous = 0;
    ASSERT_TRUE(systemRandomBytes(&previous, sizeof previous));
    for (int i = 0; i < 1000; ++i) {
        uint32_t next = 0;
        ASSERT_TRUE(systemRandomBytes(&next, sizeof next));
        ASSERT_NE(next, previous) << "draw " << i;
        previous = next;
    }
}

#ifndef _WIN32
TEST(SystemRandomTest, ForkedChildGetsOtherBytesThanItsParent) {
    // A draw first, so that a pool of bytes not yet handed out exists when
    // the process forks: the child must not get those same bytes.
    uint8_t warmUp[4] = {};
    ASSERT_TRUE(systemRandomBytes(warmUp, sizeof warmUp));
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        uint8_t drawn[16] = {};
        const bool ok = systemRandomBytes(drawn, sizeof drawn);
        const bool sent = ok && write(pipeEnds[1], drawn, sizeof drawn) == static_cast<ssize_t>(sizeof drawn);
        _exit(sent ? 0 : 1);
    }
    close(pipeEnds[1]);
    uint8_t parentDrawn[16] = {};
    ASSERT_TRUE(systemRandomBytes(parentDrawn, sizeof parentDrawn));
    uint8_t childDrawn[16] = {};
    EXPECT_EQ(read(pipeEnds[0], childDrawn, sizeof childDrawn), static_cast<ssize_t>(sizeof childDrawn));
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(std::vector<uint8_t>(parentDrawn, parentDrawn + 16), std::vector<uint8_t>(childDrawn, childDrawn + 16));
}
#endif
