// InflateState2 in streaming mode: the input window is topped up between and
// inside blocks, the source's end (or a failing read) is the end of input,
// and the output equals the one-shot decoding of the same bytes.

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "compress/InflateState2.h"
#include "io/DataSource.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

// Delivers a byte vector in pieces of pseudo-random size (1..maxPiece);
// after failAfter bytes every read fails.
class PieceSource : public DataSource {
public:
    PieceSource(const Bytes& data, uint32_t maxPiece, size_t failAfter = SIZE_MAX)
        : m_data(data), m_random(maxPiece), m_maxPiece(maxPiece), m_failAfter(failAfter) {}

    bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) override {
        if (bytesRead) *bytesRead = 0;
        if (m_position >= m_failAfter) return false;
        size_t left = std::min(m_data.size(), m_failAfter) - m_position;
        size_t piece = std::min<size_t>({left, maxBytes, 1 + m_random.below(m_maxPiece)});
        if (piece == 0) return true;  // end: no bytes
        std::memcpy(buffer, m_data.data() + m_position, piece);
        m_position += piece;
        if (bytesRead) *bytesRead = static_cast<uint32_t>(piece);
        ++reads;
        return true;
    }
    bool endOfData() override { return m_position >= m_data.size(); }

    int reads = 0;

private:
    const Bytes& m_data;
    size_t m_position = 0;
    TestRandom m_random;
    uint32_t m_maxPiece;
    size_t m_failAfter;
};

InflateOutcome inflateStreaming(DataSource* source, bool* returned = nullptr) {
    InflateOutcome outcome;
    RecordingSink sink;
    InflateState2 inflater;
    inflater.setSink(&sink);
    bool ok = inflater.inflateFromSource(source);
    if (returned) *returned = ok;
    outcome.result = inflater.result();
    outcome.data = std::move(sink.data);
    outcome.writeSizes = std::move(sink.writeSizes);
    return outcome;
}

// Non-final stored blocks holding `data`, 65,535 bytes at most each.
void writeStoredBlocks(BitWriter& w, const Bytes& data) {
    for (size_t offset = 0; offset < data.size(); offset += 65535) {
        uint32_t length = static_cast<uint32_t>(std::min<size_t>(65535, data.size() - offset));
        w.bits(0, 1);
        w.bits(0, 2);
        w.align();
        w.byte(static_cast<uint8_t>(length));
        w.byte(static_cast<uint8_t>(length >> 8));
        w.byte(static_cast<uint8_t>(~length));
        w.byte(static_cast<uint8_t>(~length >> 8));
        for (size_t i = 0; i < length; ++i) w.byte(data[offset + i]);
    }
}

}  // namespace

TEST(InflateStreamingTest, SameOutputAsOneShotForRealFiles) {
    for (const RealFile& file : realFiles()) {
        Bytes data;
        ASSERT_TRUE(readWholeFile(file.path, data)) << "cannot read " << file.path << ": install " << file.package;
        for (int level : {0, 6}) {
            Bytes stream = zlibDeflateRaw(data, level);
            for (uint32_t maxPiece : {1000u, 70000u, 5000000u}) {
                PieceSource source(stream, maxPiece);
                bool returned = false;
                InflateOutcome streamed = inflateStreaming(&source, &returned);
                EXPECT_TRUE(returned);
                EXPECT_EQ(streamed.result, InflateResult::Complete) << file.path << " level " << level;
                EXPECT_TRUE(streamed.data == data) << file.path << " level " << level << " pieces " << maxPiece;
                EXPECT_EQ(streamed.writeSizes, inflateWithOurs(stream).writeSizes);
            }
        }
    }
}

TEST(InflateStreamingTest, BlockLongerThanTheLookaheadAcrossTheRefill) {
    // 3,900,000 stored bytes, then one final fixed block of 300,000 literals
    // (about 340,000 bytes): the refill after 3,850,000 consumed bytes falls
    // inside that block, which is longer than the 150,000-byte lookahead.
    TestRandom random(77);
    Bytes stored(3900000);
    for (uint8_t& b : stored) b = static_cast<uint8_t>(random.next());
    Bytes literals(300000);
    for (uint8_t& b : literals) b = static_cast<uint8_t>(random.next() % 200);
    BitWriter w;
    writeStoredBlocks(w, stored);
    w.bits(1, 1);
    w.bits(1, 2);
    for (uint8_t b : literals) w.fixedLiteral(b);
    w.fixedLiteral(256);
    const Bytes& stream = w.bytes();
    ASSERT_GT(stream.size(), InflateState2::kStreamInputBytes);

    Bytes expected = stored;
    expected.insert(expected.end(), literals.begin(), literals.end());
    ZlibOutcome reference = zlibInflateRaw(stream);
    ASSERT_TRUE(reference.valid && reference.data == expected) << "zlib disagrees with the hand-built stream";

    for (uint32_t maxPiece : {4096u, 1000000u}) {
        PieceSource source(stream, maxPiece);
        InflateOutcome streamed = inflateStreaming(&source);
        EXPECT_EQ(streamed.result, InflateResult::Complete) << inflateResultName(streamed.result);
        EXPECT_TRUE(streamed.data == expected) << "pieces " << maxPiece;
    }
}

TEST(InflateStreamingTest, ManyRefillsInsideStoredAndHuffmanBlocks) {
    TestRandom random(5);
    Bytes data(9000000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(random.next() % (i % 3 == 0 ? 256 : 128));
    for (int strategy : {Z_HUFFMAN_ONLY, Z_DEFAULT_STRATEGY}) {
        Bytes stream = zlibDeflateRaw(data, strategy == Z_HUFFMAN_ONLY ? 6 : 0, strategy);
        ASSERT_GT(stream.size(), InflateState2::kStreamInputBytes + InflateState2::kStreamRefillAfterBytes);
        PieceSource source(stream, 300000);
        InflateOutcome streamed = inflateStreaming(&source);
        EXPECT_EQ(streamed.result, InflateResult::Complete) << inflateResultName(streamed.result);
        EXPECT_TRUE(streamed.data == data);
    }
}

TEST(InflateStreamingTest, SourceEndingOrFailingInsideTheStreamIsTheEndOfInput) {
    Bytes data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 31) ^ (i >> 7));
    Bytes stream = zlibDeflateRaw(data, 6);
    size_t cut = stream.size() * 3 / 4;
    Bytes prefix(stream.begin(), stream.begin() + cut);
    InflateOutcome oneShot = inflateWithOurs(prefix);
    ASSERT_EQ(oneShot.result, InflateResult::InputExhausted);

    PieceSource ending(prefix, 999);
    InflateOutcome ended = inflateStreaming(&ending);
    PieceSource failing(stream, 999, cut);
    bool returned = false;
    InflateOutcome failed = inflateStreaming(&failing, &returned);
    for (const InflateOutcome* outcome : {&ended, &failed}) {
        EXPECT_EQ(outcome->result, InflateResult::InputExhausted);
        EXPECT_EQ(outcome->data, oneShot.data);
        EXPECT_EQ(outcome->data.size() % InflateState2::kWindowBytes, 0u);
        EXPECT_FALSE(outcome->data.empty());
    }
    EXPECT_TRUE(returned);  // faults as such leave the call's result true
}

TEST(InflateStreamingTest, NullSourceIsAnEmptyInput) {
    bool returned = false;
    InflateOutcome outcome = inflateStreaming(nullptr, &returned);
    EXPECT_TRUE(returned);
    EXPECT_EQ(outcome.result, InflateResult::InputExhausted);
    EXPECT_TRUE(outcome.writeSizes.empty());
}
