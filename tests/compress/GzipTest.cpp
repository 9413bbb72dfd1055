// Gzip::inflateBuffer, the front the payload reader calls for every
// compressed chunk: edge cases of the chunk format, the verdict on damaged
// or truncated chunks, a full-size chunk of real data, and inflateBufferTo
// serving stream after stream with its kept inflater.

#include <gtest/gtest.h>

#include <vector>
#include <cstring>

#include "compress/Gzip.h"
#include "core/DataBuffer.h"
#include "io/OutputDataBuffer.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

struct GzipOutcome {
    bool ok = false;
    Bytes data;
};

GzipOutcome inflateChunk(const Bytes& chunk, DataBuffer& output) {
    DataBuffer input;
    input.append(chunk.data(), static_cast<uint32_t>(chunk.size()));
    GzipOutcome outcome;
    Gzip gzip;
    outcome.ok = gzip.inflateBuffer(input, output);
    outcome.data.assign(output.getData(), output.getData() + output.getSize());
    return outcome;
}

GzipOutcome inflateChunk(const Bytes& chunk) {
    DataBuffer output;
    return inflateChunk(chunk, output);
}

Bytes realChunk() {
    // The payload's largest chunk, cut from the real files of the machine
    // (taken again from the first when they run out).
    std::vector<Bytes> files;
    for (const RealFile& file : realFiles()) {
        Bytes data;
        if (!readWholeFile(file.path, data)) {
            ADD_FAILURE() << "cannot read " << file.path << ": install " << file.package;
            return {};
        }
        files.push_back(std::move(data));
    }
    Bytes chunk;
    for (size_t i = 0; chunk.size() < 2048575; ++i)
        chunk.insert(chunk.end(), files[i % files.size()].begin(), files[i % files.size()].end());
    chunk.resize(2048575);
    return chunk;
}

}  // namespace

TEST(GzipTest, EmptyInputGivesEmptyOutput) {
    DataBuffer output;
    output.append("leftover", 8);
    GzipOutcome outcome = inflateChunk({}, output);
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.data.empty());
}

TEST(GzipTest, FinalStoredBlockOfLengthZeroGivesEmptyOutput) {
    GzipOutcome outcome = inflateChunk({0x01, 0x00, 0x00, 0xFF, 0xFF});
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.data.empty());
}

TEST(GzipTest, BytesAfterTheStreamAreIgnored) {
    Bytes data(5000, 'r');
    Bytes chunk = zlibDeflateRaw(data, 6);
    chunk.insert(chunk.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01});
    GzipOutcome outcome = inflateChunk(chunk);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.data, data);
}

TEST(GzipTest, TruncatedOrDamagedChunkFailsAndKeepsWholeWindows) {
    Bytes data(100000);
    TestRandom random(9);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 3 ? 'a' + random.below(4) : 'z');
    Bytes chunk = zlibDeflateRaw(data, 6);
    struct Case {
        const char* label;
        Bytes stream;
    };
    // Damage in the middle: the first 70,000 bytes flushed to a byte
    // boundary, then a block of the reserved type 3.
    Bytes damaged(chunk.size() + 64);
    z_stream stream{};
    ASSERT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    stream.next_in = data.data();
    stream.avail_in = 70000;
    stream.next_out = damaged.data();
    stream.avail_out = static_cast<uInt>(damaged.size());
    ASSERT_EQ(deflate(&stream, Z_FULL_FLUSH), Z_OK);
    damaged.resize(stream.total_out);
    deflateEnd(&stream);
    damaged.push_back(0x07);  // BFINAL 1, BTYPE 3
    const Case cases[] = {
        {"cut in the middle", Bytes(chunk.begin(), chunk.begin() + chunk.size() / 2)},
        {"last byte missing", Bytes(chunk.begin(), chunk.end() - 1)},
        {"reserved block type after 70,000 bytes", damaged},
        {"reserved block type", Bytes{0x07}},
    };
    for (const Case& c : cases) {
        GzipOutcome outcome = inflateChunk(c.stream);
        EXPECT_FALSE(outcome.ok) << c.label;
        EXPECT_EQ(outcome.data.size() % 32768, 0u) << c.label;
        EXPECT_TRUE(Bytes(data.begin(), data.begin() + outcome.data.size()) == outcome.data) << c.label;
    }
}

TEST(GzipTest, ZlibWrappedStreamIsNotTakenForItsData) {
    // 78 9C reads as a non-final stored block whose length check fails.
    Bytes data(1000, 'w');
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes wrapped(size);
    ASSERT_EQ(compress2(wrapped.data(), &size, data.data(), static_cast<uLong>(data.size()), 6), Z_OK);
    wrapped.resize(size);
    GzipOutcome outcome = inflateChunk(wrapped);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.data, data);
}

TEST(GzipTest, FullSizeChunkOfRealDataIntoAReusedBuffer) {
    Bytes chunk = realChunk();
    ASSERT_EQ(chunk.size(), 2048575u);
    // The payload reader reserves its output buffer once and reuses it:
    // inflateBuffer clears it without releasing it. (OutputDataBuffer wants
    // 8 bytes of room behind each write, hence the 8 extra bytes here.)
    DataBuffer output;
    output.ensureCapacity(2048576 + 8);
    const uint8_t* block = output.getData();
    for (int level : {1, 6, 9}) {
        GzipOutcome outcome = inflateChunk(zlibDeflateRaw(chunk, level), output);
        EXPECT_TRUE(outcome.ok) << "level " << level;
        EXPECT_TRUE(outcome.data == chunk) << "level " << level;
        EXPECT_EQ(output.getData(), block) << "the output buffer was reallocated";
    }
}

// Regression: a stored block that starts while the window is exactly full
// (a compressed block ended on the 32,768th byte) wrote past the window.
// zlib switched from level 1 to level 0 mid-stream produces that shape.
TEST(GzipTest, StoredBlockAfterExactlyFullWindow) {
    std::vector<uint8_t> plain(32768 + 5000);
    uint32_t state = 12345;
    for (size_t i = 0; i < plain.size(); ++i) {
        state = state * 1103515245u + 12345u;
        plain[i] = i < 32768 ? static_cast<uint8_t>('a' + ((state >> 16) & 7)) : static_cast<uint8_t>(state >> 16);
    }
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> packed(plain.size() * 2 + 1024);
    zs.next_out = packed.data();
    zs.avail_out = static_cast<uInt>(packed.size());
    zs.next_in = plain.data();
    zs.avail_in = 32768;
    ASSERT_EQ(deflate(&zs, Z_NO_FLUSH), Z_OK);
    ASSERT_EQ(deflateParams(&zs, 0, Z_DEFAULT_STRATEGY), Z_OK);
    zs.next_in = plain.data() + 32768;
    zs.avail_in = 5000;
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    packed.resize(zs.total_out);
    deflateEnd(&zs);

    DataBuffer input;
    input.append(packed.data(), static_cast<uint32_t>(packed.size()));
    DataBuffer output;
    Gzip gzip;
    ASSERT_TRUE(gzip.inflateBuffer(input, output));
    ASSERT_EQ(output.getSize(), plain.size());
    EXPECT_EQ(std::memcmp(output.getData(), plain.data(), plain.size()), 0);
}

// Regression (found by fuzz_inflate): the fast decoding loop stops when fewer
// than 16 input bytes remain, possibly right after a match that ran past the
// window's end. The careful path then wrote the next 258-byte match behind
// the window's slack, out of the decoder's memory. Streams whose last few
// bytes are long matches, with the text before them shifted a byte at a
// time, meet that point at many alignments.
TEST(GzipTest, LongMatchesAtTheEndOfTheInputAcrossTheWindowEnd) {
    constexpr uint32_t kRunBytes = 1600;  // about six 258-byte matches
    for (uint32_t prefix = 31600; prefix < 32800; ++prefix) {
        Bytes plain(prefix + kRunBytes, 'x');
        uint32_t state = prefix;
        for (uint32_t i = 0; i < prefix; ++i) {
            state = state * 1103515245u + 12345u;
            plain[i] = static_cast<uint8_t>('a' + ((state >> 16) & 15));
        }
        const Bytes packed = zlibDeflateRaw(plain, 9);
        ASSERT_FALSE(packed.empty());
        DataBuffer input;
        input.append(packed.data(), static_cast<uint32_t>(packed.size()));
        DataBuffer output;
        Gzip gzip;
        ASSERT_TRUE(gzip.inflateBuffer(input, output)) << prefix;
        ASSERT_EQ(output.getSize(), plain.size()) << prefix;
        ASSERT_EQ(std::memcmp(output.getData(), plain.data(), plain.size()), 0) << prefix;
    }
}

// inflateBufferTo keeps its inflater from one stream to the next: each
// stream must come out as from a new Gzip (inflateBuffer), whatever the
// stream before it left behind: a full window of history, a fault in the
// middle of a block. A stream whose matches reach back before its start
// (made against a preset dictionary) shows any history carried over.
TEST(GzipTest, StreamsThroughOneGzipComeOutAsThroughNewOnes) {
    // Long enough (several times the inflater's four windows) that its
    // windows move to the front of the history, which the next stream must
    // find as zeros again.
    Bytes text(300000);
    TestRandom random(5);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('a' + random.below(6));
    const Bytes whole = zlibDeflateRaw(text, 6);

    const Bytes dictionary(text.begin(), text.begin() + 20000);
    Bytes reachesBack(40000);
    z_stream stream{};
    ASSERT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&stream, dictionary.data(), static_cast<uInt>(dictionary.size())), Z_OK);
    stream.next_in = const_cast<uint8_t*>(text.data());
    stream.avail_in = 30000;
    stream.next_out = reachesBack.data();
    stream.avail_out = static_cast<uInt>(reachesBack.size());
    ASSERT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    reachesBack.resize(stream.total_out);
    deflateEnd(&stream);

    const struct {
        const char* label;
        Bytes stream;
    } sequence[] = {
        {"whole stream", whole},
        {"matches before its start", reachesBack},
        {"cut in the middle", Bytes(whole.begin(), whole.begin() + whole.size() / 2)},
        {"matches before its start, after a cut stream", reachesBack},
        {"reserved block type", Bytes{0x07}},
        {"whole stream again", whole},
        {"empty", Bytes()},
    };
    Gzip kept;
    for (const auto& step : sequence) {
        DataBuffer input;
        input.append(step.stream.data(), static_cast<uint32_t>(step.stream.size()));
        DataBuffer piecesOut;
        OutputDataBuffer pieces(&piecesOut);
        const bool keptOk = kept.inflateBufferTo(input, pieces);
        const GzipOutcome fresh = inflateChunk(step.stream);
        EXPECT_EQ(keptOk, fresh.ok) << step.label;
        EXPECT_TRUE(Bytes(piecesOut.getData(), piecesOut.getData() + piecesOut.getSize()) == fresh.data)
            << step.label;
    }
}
