// MD5: the RFC 1321 test suite through DigestMD5, the engine's context
// handling (pieces equal one shot, context wiped after final), and a
// differential run against md5sum on real files and on lengths around the
// 64-byte block and 56-byte padding boundaries.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"
#include "core/HmacMD5.h"
#include "../crypto/TestHex.h"
#include "Md5TestVectors.h"

namespace {

std::string md5OfBytes(const void* bytes, uint32_t length) {
    DataBuffer data;
    data.append(bytes, length);
    uint8_t digest[16];
    DigestMD5 md5;
    md5.digestData(data, digest);
    return toHex(digest, sizeof digest);
}

} // namespace

// From RFC 1321, appendix A.5 (the test suite).
TEST(DigestMD5Test, Rfc1321TestSuite) {
    DigestMD5 md5;
    for (const Md5Vector& v : kRfc1321Suite) {
        SCOPED_TRACE(v.message);
        StringBuffer text(v.message);
        uint8_t digest[16];
        md5.digestString(text, digest);
        EXPECT_EQ(toHex(digest, 16), v.digest);
        EXPECT_EQ(md5OfBytes(v.message, static_cast<uint32_t>(std::strlen(v.message))), v.digest);
    }
}

TEST(DigestMD5Test, EmptyBufferAndEmptyTextGiveTheEmptyDigest) {
    DigestMD5 md5;
    uint8_t digest[16];
    DataBuffer noBlock;
    md5.digestData(noBlock, digest);
    EXPECT_EQ(toHex(digest, 16), "d41d8cd98f00b204e9800998ecf8427e");
    StringBuffer empty;
    md5.digestString(empty, digest);
    EXPECT_EQ(toHex(digest, 16), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(DigestMD5Test, StringDigestCoversEmbeddedNuls) {
    StringBuffer text;
    text.appendN("a\0b", 3);
    uint8_t digest[16];
    DigestMD5 md5;
    md5.digestString(text, digest);
    EXPECT_EQ(toHex(digest, 16), md5OfBytes("a\0b", 3));
    EXPECT_NE(toHex(digest, 16), "0cc175b9c0f1b6a831c399e269772661"); // not just "a"
}

TEST(DigestMD5Test, UpdatesInPiecesEqualOneShot) {
    std::vector<uint8_t> message(300);
    for (size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<uint8_t>(i * 31 + 7);
    const std::string oneShot = md5OfBytes(message.data(), 300);

    HmacMD5 engine;
    for (uint32_t pieceLength : {1u, 7u, 55u, 56u, 63u, 64u, 65u, 129u}) {
        SCOPED_TRACE(pieceLength);
        Md5Context context;
        engine.md5Init(context);
        for (uint32_t offset = 0; offset < 300; offset += pieceLength) {
            const uint32_t n = 300 - offset < pieceLength ? 300 - offset : pieceLength;
            engine.md5Update(context, message.data() + offset, n);
            engine.md5Update(context, nullptr, 10);
            engine.md5Update(context, message.data(), 0);
        }
        uint8_t digest[16];
        engine.md5Final(digest, context);
        EXPECT_EQ(toHex(digest, 16), oneShot);
    }
}

TEST(DigestMD5Test, FinalWipesTheContext) {
    HmacMD5 engine;
    Md5Context context;
    engine.md5Init(context);
    engine.md5Update(context, "abc", 3);
    uint8_t digest[16];
    engine.md5Final(digest, context);
    EXPECT_EQ(toHex(digest, 16), "900150983cd24fb0d6963f7d28e17f72");
    const Md5Context zero = {};
    EXPECT_EQ(0, std::memcmp(&context, &zero, sizeof context));
}

#ifndef _WIN32
namespace {

// md5sum's hex digest of a file, or "" when md5sum could not run.
std::string md5sumOf(const std::filesystem::path& file) {
    const std::string command = "md5sum '" + file.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "";
    char line[512] = {};
    const bool gotLine = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = pclose(pipe);
    if (!gotLine || status != 0 || std::strlen(line) < 32)
        return "";
    return std::string(line, 32);
}

std::vector<uint8_t> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(DigestMD5Test, MatchesMd5sumOnRealFilesAndBlockBoundaries) {
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("bvz-md5-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    std::vector<std::filesystem::path> files;

    // Real files: what this build produced (library archive, build scripts).
    for (const auto& entry : std::filesystem::directory_iterator(BRIVANE_BUILD_DIR)) {
        if (entry.is_regular_file() && entry.file_size() > 0 && files.size() < 4) {
            const std::filesystem::path copy = work / entry.path().filename();
            std::filesystem::copy_file(entry.path(), copy,
                                       std::filesystem::copy_options::overwrite_existing);
            files.push_back(copy);
        }
    }
    ASSERT_FALSE(files.empty()) << "no files found in the build folder";

    // Lengths around the padding (56) and block (64) boundaries.
    for (size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 65537}) {
        std::vector<char> bytes(length);
        for (size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>((i * 131) ^ (i >> 3));
        const std::filesystem::path file = work / ("len" + std::to_string(length) + ".bin");
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(length));
        files.push_back(file);
    }

    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string reference = md5sumOf(file);
        ASSERT_EQ(reference.size(), 32u)
            << "md5sum did not run: install coreutils (it provides md5sum)";
        const std::vector<uint8_t> bytes = readFile(file);
        EXPECT_EQ(md5OfBytes(bytes.data(), static_cast<uint32_t>(bytes.size())), reference);
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
}
#endif
