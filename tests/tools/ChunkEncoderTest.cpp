// ChunkEncoder: the deflate-or-store choice, the chunk size limit with and
// without encryption, and agreement with PayloadWriter's own enciphering
// (the pack enciphers on worker threads and must produce the very bytes the
// writer would). Deflate output is checked against zlib's inflate as a
// control and against the library's Gzip front (what the installer runs).
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/ChunkEncoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "ToolTestSupport.h"
#include "compress/Gzip.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/Rijndael2.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadWriter.h"

namespace {

using tool_test::Bytes;

constexpr uint32_t kMaxChunk = PayloadFormat::kMaxChunkBytes;  // 2,048,575
constexpr uint32_t kMaxEncryptedSlice = 2048559;               // padded: 2,048,560

Bytes zlibInflate(const Bytes& stream, size_t expectedSize) {
    z_stream z = {};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expectedSize + 1);
    z.next_in = const_cast<uint8_t*>(stream.data());
    z.avail_in = uInt(stream.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the deflate stream";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

Bytes libraryInflate(const Bytes& stream) {
    DataBuffer in;
    in.append(stream.data(), uint32_t(stream.size()));
    DataBuffer out;
    Gzip gzip;
    EXPECT_TRUE(gzip.inflateBuffer(in, out));
    return Bytes(out.getData(), out.getData() + out.getSize());
}

DataBuffer& keyFor(const char* password, int32_t bits, DataBuffer& key) {
    StringBuffer text(password);
    derivePayloadKey(text, bits, key);
    return key;
}

TEST(ChunkEncoder, DeflatesWhatShrinksAndStoresTheRest) {
    ChunkEncoder encoder(6, nullptr, 0);
    const Bytes compressible = tool_test::text(kMaxChunk, 1);
    EncodedChunk chunk;
    ASSERT_TRUE(encoder.encode(compressible.data(), uint32_t(compressible.size()), chunk));
    EXPECT_FALSE(chunk.stored);
    EXPECT_LT(chunk.data.size(), compressible.size() / 10);
    EXPECT_EQ(ChunkEncoder::lengthField(chunk), uint32_t(chunk.data.size()));
    EXPECT_EQ(zlibInflate(chunk.data, compressible.size()), compressible);
    EXPECT_EQ(libraryInflate(chunk.data), compressible);

    // Noise does not shrink: stored as is, the largest chunk the reader takes.
    const Bytes noise = tool_test::noise(kMaxChunk, 2);
    ASSERT_TRUE(encoder.encode(noise.data(), uint32_t(noise.size()), chunk));
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(chunk.data, noise);
    EXPECT_EQ(ChunkEncoder::lengthField(chunk), 0x801F423Fu);  // stored, n = 2,048,575
}

// Blocks of noise and text of varied sizes make zlib mix stored and
// compressed blocks in one stream; the installer's inflater must give back
// the slice at every level libdeflate offers, as zlib does.
TEST(ChunkEncoder, MixedStreamsAtEveryLevelInflateBack) {
    Bytes mixed;
    uint32_t seed = 1;
    while (mixed.size() < kMaxChunk) {
        seed = seed * 1103515245u + 12345u;
        const size_t length = 1000 + (seed >> 8) % 70000;
        const Bytes block = (seed >> 4) % 2 == 0 ? tool_test::noise(length, seed) : tool_test::text(length, seed);
        mixed.insert(mixed.end(), block.begin(), block.end());
    }
    mixed.resize(kMaxChunk);
    for (int32_t level = 1; level <= ChunkEncoder::kMaxLevel; ++level) {
        ChunkEncoder encoder(level, nullptr, 0);
        EncodedChunk chunk;
        ASSERT_TRUE(encoder.encode(mixed.data(), uint32_t(mixed.size()), chunk));
        ASSERT_FALSE(chunk.stored) << "level " << level;
        EXPECT_EQ(zlibInflate(chunk.data, mixed.size()), mixed) << "level " << level;
        EXPECT_EQ(libraryInflate(chunk.data), mixed) << "level " << level;
    }
}

// The point of deflating with libdeflate: at each of zlib's levels a slice
// of real files (C headers and an executable, as packed in practice) comes
// out no larger than zlib's raw deflate of it (sizes are deterministic for
// a given library version).
TEST(ChunkEncoder, RealFilesNoLargerThanZlibAtTheSameLevel) {
    const struct {
        const char* path;
        const char* package;
    } files[] = {{"/usr/include/zlib.h", "zlib1g-dev"}, {"/usr/include/stdio.h", "libc6-dev"},
                 {"/usr/bin/bash", "bash"}};
    Bytes slice;
    for (const auto& file : files) {
        std::ifstream in(file.path, std::ios::binary);
        ASSERT_TRUE(in) << file.path << " is missing: install the Debian package " << file.package;
        slice.insert(slice.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (slice.size() > kMaxChunk) slice.resize(kMaxChunk);

    for (int32_t level = 1; level <= 9; ++level) {
        ChunkEncoder encoder(level, nullptr, 0);
        EncodedChunk chunk;
        ASSERT_TRUE(encoder.encode(slice.data(), uint32_t(slice.size()), chunk));
        ASSERT_FALSE(chunk.stored);

        z_stream z = {};
        ASSERT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        Bytes zlibOut(deflateBound(&z, uLong(slice.size())));
        z.next_in = const_cast<uint8_t*>(slice.data());
        z.avail_in = uInt(slice.size());
        z.next_out = zlibOut.data();
        z.avail_out = uInt(zlibOut.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        const size_t zlibBytes = z.total_out;
        deflateEnd(&z);
        EXPECT_LE(chunk.data.size(), zlibBytes) << "level " << level;
        EXPECT_EQ(zlibInflate(chunk.data, slice.size()), slice) << "level " << level;
    }
}

TEST(ChunkEncoder, TinySlicesAndLevelZeroAreStored) {
    ChunkEncoder deflating(9, nullptr, 0);
    ChunkEncoder storing(0, nullptr, 0);
    EncodedChunk chunk;
    const uint8_t one = 'x';
    ASSERT_TRUE(deflating.encode(&one, 1, chunk));
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(chunk.data, Bytes{'x'});
    const Bytes compressible = tool_test::text(100000, 3);
    ASSERT_TRUE(storing.encode(compressible.data(), uint32_t(compressible.size()), chunk));
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(chunk.data, compressible);
}

TEST(ChunkEncoder, SliceLimitsKeepEveryChunkWithinTheReadersBuffer) {
    EXPECT_EQ(ChunkEncoder::maxSliceBytes(false), kMaxChunk);
    EXPECT_EQ(ChunkEncoder::maxSliceBytes(true), kMaxEncryptedSlice);

    DataBuffer key;
    ChunkEncoder encoder(6, &keyFor("pw", 256, key), 256);
    const Bytes noise = tool_test::noise(kMaxEncryptedSlice + 1, 4);
    EncodedChunk chunk;
    ASSERT_TRUE(encoder.encode(noise.data(), kMaxEncryptedSlice, chunk));
    EXPECT_TRUE(chunk.stored);
    EXPECT_EQ(chunk.data.size(), kMaxEncryptedSlice + 1);  // PKCS#7 adds one byte here
    EXPECT_LE(chunk.data.size(), kMaxChunk);
    // One byte more would pad to 2,048,576 bytes: refused.
    EXPECT_FALSE(encoder.encode(noise.data(), kMaxEncryptedSlice + 1, chunk));

    ChunkEncoder plain(6, nullptr, 0);
    const Bytes big = tool_test::noise(kMaxChunk + 1, 5);
    EXPECT_FALSE(plain.encode(big.data(), kMaxChunk + 1, chunk));
}

// The writer enciphers a stored chunk itself; the worker's ciphertext must be
// byte for byte the same, for each key length.
TEST(ChunkEncoder, EnciphersExactlyAsPayloadWriterDoes) {
    for (int32_t bits : {128, 192, 256}) {
        const Bytes data = tool_test::noise(70001, uint32_t(bits));
        DataBuffer key;
        ChunkEncoder encoder(6, &keyFor("s3cret", bits, key), bits);
        EncodedChunk chunk;
        ASSERT_TRUE(encoder.encode(data.data(), uint32_t(data.size()), chunk));
        ASSERT_TRUE(chunk.stored);

        DataBuffer written;
        OutputDataBuffer output(&written);
        PayloadWriter writer(output);
        ASSERT_TRUE(writer.setEncryption("s3cret", bits));
        ASSERT_TRUE(writer.writeHeader());
        ASSERT_TRUE(writer.endSettings());
        ASSERT_TRUE(writer.beginFile("f", 0, 0x20));
        const uint32_t before = written.getSize();
        ASSERT_TRUE(writer.writeStoredChunk(data.data(), uint32_t(data.size())));
        const Bytes fromWriter(written.getData() + before + 4, written.getData() + written.getSize());
        EXPECT_EQ(chunk.data, fromWriter) << bits << "-bit key";

        // And it deciphers back with the reader's cipher settings.
        Rijndael2 cipher;
        cipher.setKeyLength(bits);
        cipher.setCbcMode();
        cipher.setKey(key);
        DataBuffer in;
        in.append(chunk.data.data(), uint32_t(chunk.data.size()));
        DataBuffer out;
        cipher.decryptDataInto(in, out);
        EXPECT_EQ(Bytes(out.getData(), out.getData() + out.getSize()), data) << bits << "-bit key";
    }
}

TEST(ChunkEncoder, EncryptedDeflateChunkDecipheredThenInflated) {
    DataBuffer key;
    ChunkEncoder encoder(9, &keyFor("pw", 192, key), 192);
    const Bytes data = tool_test::text(kMaxEncryptedSlice, 6);
    EncodedChunk chunk;
    ASSERT_TRUE(encoder.encode(data.data(), uint32_t(data.size()), chunk));
    ASSERT_FALSE(chunk.stored);
    EXPECT_EQ(chunk.data.size() % 16, 0u);
    Rijndael2 cipher;
    cipher.setKeyLength(192);
    cipher.setCbcMode();
    cipher.setKey(key);
    DataBuffer in;
    in.append(chunk.data.data(), uint32_t(chunk.data.size()));
    DataBuffer plain;
    cipher.decryptDataInto(in, plain);
    EXPECT_EQ(libraryInflate(Bytes(plain.getData(), plain.getData() + plain.getSize())), data);
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
