// Differential runs of our inflater against zlib's raw inflate:
// - real files of the machine compressed by zlib at several levels and with
//   every strategy, and by two other deflate implementations (gzip's and
//   7-Zip's), run through the external programs;
// - random byte strings and randomly damaged valid streams: no crash, the
//   same verdict as zlib on whether the stream is whole, the same output when
//   it is, and the same bytes wherever both produced output.
//
// Where the two decoders read the format differently on purpose (the list in
// compress/InflateState2.h), knownDivergence() recognises the case and counts
// it; every other disagreement fails the test.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <string>
#include <vector>

#include "compress/InflateState2.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

// Loads the real files; a missing one fails the calling test with the
// package to install.
std::vector<std::pair<std::string, Bytes>> loadRealFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const RealFile& file : realFiles()) {
        Bytes data;
        if (!readWholeFile(file.path, data)) {
            ADD_FAILURE() << "cannot read " << file.path << ": install the package " << file.package;
            continue;
        }
        files.emplace_back(file.path, std::move(data));
    }
    return files;
}

// Every write but the last is a whole window.
bool deliveredInWholeWindows(const std::vector<uint32_t>& writeSizes) {
    for (size_t i = 0; i + 1 < writeSizes.size(); ++i)
        if (writeSizes[i] != InflateState2::kWindowBytes) return false;
    return writeSizes.empty() || (writeSizes.back() > 0 && writeSizes.back() <= InflateState2::kWindowBytes);
}

void expectDecodesTo(const Bytes& stream, const Bytes& original, const std::string& label) {
    ASSERT_FALSE(stream.empty()) << label << ": the compressor produced nothing";
    ZlibOutcome reference = zlibInflateRaw(stream);
    ASSERT_TRUE(reference.valid) << label << ": zlib rejects the stream: " << reference.message;
    ASSERT_EQ(reference.data, original) << label << ": zlib's control decoding differs from the input";
    InflateOutcome ours = inflateWithOurs(stream);
    EXPECT_EQ(ours.result, InflateResult::Complete) << label << ": " << inflateResultName(ours.result);
    EXPECT_TRUE(ours.data == original) << label << ": output differs (" << ours.data.size() << " bytes, expected "
                                       << original.size() << ")";
    EXPECT_TRUE(deliveredInWholeWindows(ours.writeSizes)) << label;
}

// zlib deflate with a full flush every flushEvery bytes: empty stored blocks
// and byte alignment in the middle of the stream.
Bytes zlibDeflateWithFlushes(const Bytes& input, size_t flushEvery) {
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    Bytes out(deflateBound(&stream, static_cast<uLong>(input.size())) + 64 * (input.size() / flushEvery + 2));
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    size_t offset = 0;
    int rc = Z_OK;
    do {
        size_t piece = std::min(flushEvery, input.size() - offset);
        stream.next_in = const_cast<Bytef*>(input.data() + offset);
        stream.avail_in = static_cast<uInt>(piece);
        offset += piece;
        rc = deflate(&stream, offset == input.size() ? Z_FINISH : Z_FULL_FLUSH);
    } while (offset < input.size() && rc == Z_OK);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return rc == Z_STREAM_END ? out : Bytes{};
}

#ifndef _WIN32
// ---------------------------------------------------------------------------
// External compressors.
// ---------------------------------------------------------------------------

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

// Runs a shell command and returns its standard output; ok is false when
// the command could not run or exited with an error.
Bytes runCommand(const std::string& command, bool& ok) {
    Bytes output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ok = false;
        return output;
    }
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.insert(output.end(), chunk, chunk + got);
    ok = pclose(pipe) == 0;
    return output;
}

uint32_t le16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

// The raw deflate stream inside a gzip member (RFC 1952): the header with its
// optional fields skipped, the 8-byte trailer dropped.
bool deflateOfGzip(const Bytes& gz, Bytes& stream) {
    if (gz.size() < 18 || gz[0] != 0x1F || gz[1] != 0x8B || gz[2] != 8) return false;
    uint8_t flags = gz[3];
    size_t at = 10;
    if (flags & 0x04) at += 2 + le16(gz, at);                // FEXTRA
    if (flags & 0x08) while (at < gz.size() && gz[at++] != 0) {}  // FNAME
    if (flags & 0x10) while (at < gz.size() && gz[at++] != 0) {}  // FCOMMENT
    if (flags & 0x02) at += 2;                               // FHCRC
    if (at + 8 > gz.size()) return false;
    stream.assign(gz.begin() + at, gz.end() - 8);
    return true;
}

// The raw data of the first entry of a zip archive, found through the
// central directory; method must be 8 (deflate).
bool deflateOfZip(const Bytes& zip, Bytes& stream) {
    if (zip.size() < 22) return false;
    size_t end = zip.size() - 22;
    while (end > 0 && le32(zip, end) != 0x06054B50u) --end;
    if (le32(zip, end) != 0x06054B50u) return false;
    size_t central = le32(zip, end + 16);
    if (central + 46 > zip.size() || le32(zip, central) != 0x02014B50u) return false;
    if (le16(zip, central + 10) != 8) return false;
    uint32_t compressedSize = le32(zip, central + 20);
    size_t local = le32(zip, central + 42);
    if (local + 30 > zip.size() || le32(zip, local) != 0x04034B50u) return false;
    size_t data = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
    if (data + compressedSize > zip.size()) return false;
    stream.assign(zip.begin() + data, zip.begin() + data + compressedSize);
    return true;
}

std::string scratchPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("bv_inflate_" + std::to_string(static_cast<long>(getpid())) + "_" + name))
        .string();
}

#endif

// ---------------------------------------------------------------------------
// Verdicts on damaged and random input.
// ---------------------------------------------------------------------------

// The deliberate differences listed in compress/InflateState2.h: zlib's
// message for each case where it refuses what we accept, and our refusal of
// the single 1-bit literal/length code that zlib accepts.
bool knownDivergence(const ZlibOutcome& reference, const InflateOutcome& ours) {
    if (!reference.valid) {
        return reference.message == "too many length or distance symbols" ||
               reference.message == "invalid distances set" ||
               reference.message == "invalid distance too far back" ||
               reference.message == "invalid bit length repeat";
    }
    return ours.result == InflateResult::BadLiteralLengthCode;
}

struct DifferentialTally {
    int agreedValid = 0;
    int agreedInvalid = 0;
    int knownDivergences = 0;
    int disagreements = 0;
};

void compareWithZlib(const Bytes& stream, DifferentialTally& tally, const std::string& label) {
    InflateOutcome ours = inflateWithOurs(stream);
    ZlibOutcome reference = zlibInflateRaw(stream);
    ASSERT_NE(reference.message, "output limit") << label;
    // Wherever both produced bytes, they are the same bytes.
    size_t common = std::min(ours.data.size(), reference.data.size());
    bool samePrefix = std::equal(ours.data.begin(), ours.data.begin() + common, reference.data.begin());
    EXPECT_TRUE(samePrefix) << label << ": outputs differ within the first " << common << " bytes; stream "
                            << hexOf(stream);
    EXPECT_TRUE(deliveredInWholeWindows(ours.writeSizes)) << label;

    bool oursValid = ours.result == InflateResult::Complete;
    if (oursValid && reference.valid) {
        EXPECT_EQ(ours.data, reference.data) << label << ": both complete, outputs differ; stream " << hexOf(stream);
        tally.agreedValid++;
    } else if (!oursValid && !reference.valid) {
        tally.agreedInvalid++;
    } else if (knownDivergence(reference, ours)) {
        tally.knownDivergences++;
    } else {
        tally.disagreements++;
        ADD_FAILURE() << label << ": ours " << inflateResultName(ours.result) << ", zlib "
                      << (reference.valid ? "complete" : reference.message) << "; stream " << hexOf(stream, 256);
    }
}

void printTally(const char* what, const DifferentialTally& tally) {
    std::printf("[ tally    ] %s: %d agreed complete, %d agreed damaged, %d known divergences, %d disagreements\n",
                what, tally.agreedValid, tally.agreedInvalid, tally.knownDivergences, tally.disagreements);
}

}  // namespace

TEST(InflateDifferentialTest, RealFilesAtEveryLevelAndStrategyOfZlib) {
    struct Setting {
        const char* label;
        int level;
        int strategy;
    };
    const Setting settings[] = {
        {"level 0", 0, Z_DEFAULT_STRATEGY},       {"level 1", 1, Z_DEFAULT_STRATEGY},
        {"level 6", 6, Z_DEFAULT_STRATEGY},       {"level 9", 9, Z_DEFAULT_STRATEGY},
        {"Z_FILTERED", 6, Z_FILTERED},            {"Z_HUFFMAN_ONLY", 6, Z_HUFFMAN_ONLY},
        {"Z_RLE", 6, Z_RLE},                      {"Z_FIXED", 6, Z_FIXED},
    };
    for (const auto& [path, data] : loadRealFiles())
        for (const Setting& setting : settings)
            expectDecodesTo(zlibDeflateRaw(data, setting.level, setting.strategy), data,
                            path + " at " + setting.label);
}

TEST(InflateDifferentialTest, ZlibStreamsWithFullFlushesAndTinyInputs) {
    for (const auto& [path, data] : loadRealFiles()) {
        Bytes prefix(data.begin(), data.begin() + std::min<size_t>(data.size(), 300000));
        expectDecodesTo(zlibDeflateWithFlushes(prefix, 10000), prefix, path + " with full flushes");
    }
    for (size_t size : {0, 1, 2, 3, 257, 258, 259, 32767, 32768, 32769, 65535, 65536}) {
        Bytes data(size);
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>((i * i) >> 3);
        for (int level : {0, 1, 9})
            expectDecodesTo(zlibDeflateRaw(data, level), data,
                            std::to_string(size) + " bytes at level " + std::to_string(level));
    }
}

#ifndef _WIN32
TEST(InflateDifferentialTest, RealFilesCompressedByGzip) {
    for (const auto& [path, data] : loadRealFiles()) {
        for (const char* level : {"-1", "-6", "-9"}) {
            bool ok = false;
            Bytes gz = runCommand(std::string("gzip -c -n ") + level + " < " + shellQuote(path), ok);
            ASSERT_TRUE(ok) << "gzip failed or is missing: install the package gzip";
            Bytes stream;
            ASSERT_TRUE(deflateOfGzip(gz, stream)) << "unexpected gzip output for " << path;
            expectDecodesTo(stream, data, path + " by gzip " + level);
        }
    }
}

TEST(InflateDifferentialTest, RealFilesCompressedBy7Zip) {
    for (const auto& [path, data] : loadRealFiles()) {
        for (const char* level : {"-mx=1", "-mx=5", "-mx=9"}) {
            std::string zipPath = scratchPath("7z.zip");
            std::remove(zipPath.c_str());
            bool ok = false;
            runCommand(std::string("7z a -tzip -mm=Deflate ") + level + " -bd -y " + shellQuote(zipPath) + " " +
                           shellQuote(path) + " 2>&1",
                       ok);
            ASSERT_TRUE(ok) << "7z failed or is missing: install the package p7zip-full";
            Bytes zip;
            ASSERT_TRUE(readWholeFile(zipPath, zip));
            std::remove(zipPath.c_str());
            Bytes stream;
            ASSERT_TRUE(deflateOfZip(zip, stream)) << "unexpected 7z archive for " << path;
            expectDecodesTo(stream, data, path + " by 7-Zip " + level);
        }
    }
}
#endif

TEST(InflateDifferentialTest, RandomByteStringsAgreeWithZlib) {
    TestRandom random(0x5EED1951);
    DifferentialTally tally;
    for (int i = 0; i < 30000 && !HasFatalFailure(); ++i) {
        Bytes stream(1 + random.below(400));
        for (uint8_t& b : stream) b = static_cast<uint8_t>(random.next());
        // Steer a third of them into each block type, final or not.
        stream[0] = static_cast<uint8_t>((stream[0] & ~6u) | ((i % 3) << 1));
        compareWithZlib(stream, tally, "random string " + std::to_string(i));
        if (tally.disagreements > 5) break;
    }
    printTally("random strings", tally);
    EXPECT_EQ(tally.disagreements, 0);
}

TEST(InflateDifferentialTest, DamagedValidStreamsAgreeWithZlib) {
    // Valid streams of several kinds: small prefixes of real files through
    // zlib (dynamic, fixed, Huffman-only, stored blocks) and through gzip.
    std::vector<Bytes> originals;
    for (const auto& [path, data] : loadRealFiles()) {
        originals.emplace_back(data.begin(), data.begin() + std::min<size_t>(data.size(), 6000));
        if (data.size() > 40000) originals.emplace_back(data.begin() + 30000, data.begin() + 34000);
    }
    std::vector<Bytes> streams;
    for (const Bytes& original : originals) {
        streams.push_back(zlibDeflateRaw(original, 6));
        streams.push_back(zlibDeflateRaw(original, 1, Z_FIXED));
        streams.push_back(zlibDeflateRaw(original, 9, Z_HUFFMAN_ONLY));
        streams.push_back(zlibDeflateRaw(Bytes(original.begin(), original.begin() + original.size() / 8), 0));
    }

    TestRandom random(0xDA3A6ED);
    DifferentialTally tally;
    for (int i = 0; i < 12000 && !HasFatalFailure(); ++i) {
        Bytes stream = streams[random.below(static_cast<uint32_t>(streams.size()))];
        switch (random.below(4)) {
        case 0:  // flip one to three bits anywhere
        case 1: {
            uint32_t flips = 1 + random.below(3);
            for (uint32_t f = 0; f < flips; ++f)
                stream[random.below(static_cast<uint32_t>(stream.size()))] ^= static_cast<uint8_t>(1u << random.below(8));
            break;
        }
        case 2: {  // flip a bit in the first 40 bytes, where the block header is
            uint32_t span = std::min<uint32_t>(40, static_cast<uint32_t>(stream.size()));
            stream[random.below(span)] ^= static_cast<uint8_t>(1u << random.below(8));
            break;
        }
        default:  // cut the stream short
            stream.resize(random.below(static_cast<uint32_t>(stream.size())));
            break;
        }
        compareWithZlib(stream, tally, "damaged stream " + std::to_string(i));
        if (tally.disagreements > 5) break;
    }
    printTally("damaged streams", tally);
    EXPECT_EQ(tally.disagreements, 0);
    EXPECT_GT(tally.agreedInvalid, 1000);  // the damage does reach the decoder's checks
}
