// BrivaneBzip2: frames packed here with libbz2's own compressor (and with
// the bzip2 command natively), the empty input, a wrong magic, and damaged
// or short frames, which must not be reported as success.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <string>
#include <vector>

#include "TextTestHelpers.h"
#include "core/BrivaneBzip2.h"
#include "core/DataBuffer.h"

using texttest::Bytes;

namespace {

Bytes frame(uint32_t magic, uint32_t length, const Bytes& stream)
{
    Bytes out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(magic >> (8 * i)));
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

Bytes compressWithLibbz2(const Bytes& data)
{
    unsigned int length = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    Bytes stream(length);
    const int result = BZ2_bzBuffToBuffCompress(
        reinterpret_cast<char*>(stream.data()), &length,
        const_cast<char*>(reinterpret_cast<const char*>(data.data())),
        static_cast<unsigned int>(data.size()), 9, 0, 0);
    EXPECT_EQ(BZ_OK, result);
    stream.resize(length);
    return stream;
}

Bytes sampleText()
{
    std::string text;
    for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    return Bytes(text.begin(), text.end());
}

struct Unpacked {
    bool ok;
    Bytes bytes;
};

Unpacked unpack(const Bytes& input)
{
    DataBuffer in;
    in.append(input.data(), static_cast<uint32_t>(input.size()));
    DataBuffer out;
    out.append("stale", 5);
    const bool ok = BrivaneBzip2().unpackBuffer(in, out);
    return {ok, texttest::bufferBytes(out)};
}

}  // namespace

TEST(BrivaneBzip2, UnpacksAFrameMadeByLibbz2)
{
    const Bytes data = sampleText();
    const Unpacked got = unpack(frame(BrivaneBzip2::kFrameMagic, static_cast<uint32_t>(data.size()),
                                      compressWithLibbz2(data)));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(data, got.bytes);
}

TEST(BrivaneBzip2, OneInstanceServesManyCalls)
{
    const BrivaneBzip2 unpacker;
    for (size_t size : {1u, 100u, 5000u}) {
        const Bytes data(size, static_cast<uint8_t>(size));
        DataBuffer in;
        const Bytes framed = frame(BrivaneBzip2::kFrameMagic, static_cast<uint32_t>(size),
                                   compressWithLibbz2(data));
        in.append(framed.data(), static_cast<uint32_t>(framed.size()));
        DataBuffer out;
        EXPECT_TRUE(unpacker.unpackBuffer(in, out));
        EXPECT_EQ(data, texttest::bufferBytes(out));
    }
}

TEST(BrivaneBzip2, EmptyInputGivesEmptyOutput)
{
    const Unpacked got = unpack({});
    EXPECT_TRUE(got.ok);
    EXPECT_TRUE(got.bytes.empty());
}

TEST(BrivaneBzip2, RefusesWrongMagicDamagedAndShortFrames)
{
    const Bytes data = sampleText();
    const uint32_t length = static_cast<uint32_t>(data.size());
    const Bytes stream = compressWithLibbz2(data);
    Bytes damaged = stream;
    damaged[damaged.size() / 2] ^= 0x55;
    const Bytes truncated(stream.begin(), stream.begin() + stream.size() / 2);

    struct Case {
        const char* label;
        Bytes input;
    };
    const std::vector<Case> cases = {
        {"magic bytes reversed", frame(0xE1A794B3, length, stream)},
        {"one magic bit wrong", frame(BrivaneBzip2::kFrameMagic ^ 1, length, stream)},
        {"damaged stream", frame(BrivaneBzip2::kFrameMagic, length, damaged)},
        {"truncated stream", frame(BrivaneBzip2::kFrameMagic, length, truncated)},
        {"stored length too small", frame(BrivaneBzip2::kFrameMagic, length - 100, stream)},
        {"stored length too large", frame(BrivaneBzip2::kFrameMagic, length + 10, stream)},
        {"not a bzip2 stream", frame(BrivaneBzip2::kFrameMagic, 4, {'a', 'b', 'c', 'd'})},
        {"header only", frame(BrivaneBzip2::kFrameMagic, 0, {})},
        {"three bytes", {0xE1, 0xA7, 0x94}},
        {"seven bytes", {0xE1, 0xA7, 0x94, 0xB3, 0x05, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Unpacked got = unpack(c.input);
        EXPECT_FALSE(got.ok);
        EXPECT_TRUE(got.bytes.empty());
    }
}

#ifndef _WIN32
TEST(BrivaneBzip2, UnpacksTheOutputOfTheBzip2Command)
{
    ASSERT_TRUE(texttest::toolAvailable("bzip2"))
        << "bzip2 is needed for this test: install the bzip2 package";
    const Bytes data = sampleText();
    const Bytes stream = texttest::runFilter("bzip2 -c", data, "bzip2-cmd");
    ASSERT_FALSE(stream.empty());
    const Unpacked got = unpack(frame(BrivaneBzip2::kFrameMagic, static_cast<uint32_t>(data.size()),
                                      stream));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(data, got.bytes);
}
#endif
