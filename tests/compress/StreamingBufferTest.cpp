// StreamingBuffer: the edge cases of a ring buffer (full, empty, wrap), and a
// long random run of writes and consumes checked against a std::deque.

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "compress/StreamingBuffer.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

std::vector<uint8_t> heldBytes(const StreamingBuffer& ring) {
    const uint8_t* first;
    const uint8_t* second;
    uint32_t firstLen;
    uint32_t secondLen;
    ring.peek(first, firstLen, second, secondLen);
    std::vector<uint8_t> bytes(first, first + firstLen);
    if (second != nullptr) bytes.insert(bytes.end(), second, second + secondLen);
    return bytes;
}

}  // namespace

TEST(StreamingBufferTest, WriteIntoTenFreeBytesAcceptsTen) {
    StreamingBuffer ring;
    ASSERT_TRUE(ring.init(50000));
    std::vector<uint8_t> filler(49990, 1);
    EXPECT_EQ(ring.write(filler.data(), 49990), 49990u);
    std::vector<uint8_t> more(100, 2);
    EXPECT_EQ(ring.write(more.data(), 100), 10u);
    EXPECT_EQ(ring.freeBytes(), 0u);
    EXPECT_EQ(ring.count(), 50000u);
    EXPECT_EQ(ring.write(more.data(), 1), 0u);
}

TEST(StreamingBufferTest, HeldBytesWrapAroundTheEndOfTheStorage) {
    StreamingBuffer ring;
    ASSERT_TRUE(ring.init(8));
    const uint8_t abcdef[] = {'a', 'b', 'c', 'd', 'e', 'f'};
    EXPECT_EQ(ring.write(abcdef, 6), 6u);
    ring.consume(4);                            // "ef" held at 4..5
    EXPECT_EQ(ring.write(abcdef, 5), 5u);       // "abcde": 6..7 then 0..2
    const uint8_t* first;
    const uint8_t* second;
    uint32_t firstLen;
    uint32_t secondLen;
    ring.peek(first, firstLen, second, secondLen);
    EXPECT_EQ(firstLen, 4u);
    EXPECT_EQ(secondLen, 3u);
    EXPECT_EQ(heldBytes(ring), (std::vector<uint8_t>{'e', 'f', 'a', 'b', 'c', 'd', 'e'}));
    ring.consume(100);  // limited to what is held
    EXPECT_EQ(ring.count(), 0u);
    EXPECT_EQ(ring.freeBytes(), 8u);
    // An empty ring stores at the start again; a write that fills it exactly
    // leaves the write position at the start.
    const uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ring.write(eight, 8), 8u);
    ring.peek(first, firstLen, second, secondLen);
    EXPECT_EQ(firstLen, 8u);
    EXPECT_EQ(second, nullptr);
    ring.consume(3);
    EXPECT_EQ(ring.write(eight, 3), 3u);
    EXPECT_EQ(heldBytes(ring), (std::vector<uint8_t>{4, 5, 6, 7, 8, 1, 2, 3}));
}

TEST(StreamingBufferTest, WithoutStorageNothingIsAccepted) {
    StreamingBuffer ring;
    const uint8_t byte = 1;
    EXPECT_EQ(ring.write(&byte, 1), 0u);
    ASSERT_TRUE(ring.init(0));
    EXPECT_EQ(ring.write(&byte, 1), 0u);
    ring.init(4);
    ring.release();
    EXPECT_EQ(ring.write(&byte, 1), 0u);
    EXPECT_EQ(ring.capacity(), 0u);
}

TEST(StreamingBufferTest, RandomWritesAndConsumesMatchADeque) {
    StreamingBuffer ring;
    ASSERT_TRUE(ring.init(997));
    std::deque<uint8_t> model;
    TestRandom random(2024);
    uint8_t counter = 0;
    for (int i = 0; i < 20000; ++i) {
        if (random.below(2) == 0) {
            std::vector<uint8_t> bytes(random.below(400));
            for (uint8_t& b : bytes) b = counter++;
            uint32_t accepted = ring.write(bytes.data(), static_cast<uint32_t>(bytes.size()));
            ASSERT_EQ(accepted, std::min<size_t>(bytes.size(), 997 - model.size()));
            model.insert(model.end(), bytes.begin(), bytes.begin() + accepted);
            counter = static_cast<uint8_t>(counter - (bytes.size() - accepted));
        } else {
            uint32_t n = random.below(500);
            ring.consume(n);
            model.erase(model.begin(), model.begin() + std::min<size_t>(n, model.size()));
        }
        ASSERT_EQ(ring.count(), model.size());
        ASSERT_EQ(ring.freeBytes(), 997 - model.size());
        ASSERT_EQ(heldBytes(ring), std::vector<uint8_t>(model.begin(), model.end())) << "step " << i;
    }
}
