// PipelineHelp runs: every run from file, memory and stream checked against
// zlib (inflate, crc32), the refusals of invalid arguments, the inflate
// runs' verdict on damaged streams and short outputs, and an aborted run.

#include <gtest/gtest.h>

#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "compress/PipelineHelp.h"
#include "core/XString.h"
#include "crypto/PwdProtect.h"
#include "io/FileSystem.h"
#include "io/MemoryDataSource.h"
#include "io/ProgressMonitor.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

uint32_t zlibCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0L, data.empty() ? Z_NULL : data.data(), static_cast<uInt>(data.size())));
}

HANDLE openRead(const std::string& path) {
    XString name;
    name.setFromUtf8(path.c_str());
    return openForRead(name, nullptr);
}

Bytes textData(size_t size) {
    static const char kWords[] = "the pipeline deflates, copies and inflates; ";
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(kWords[(i * 7 / 5) % (sizeof kWords - 1)]);
    return data;
}

Bytes randomData(size_t size, uint64_t seed) {
    Bytes data(size);
    TestRandom random(seed);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random.next());
    return data;
}

}  // namespace

TEST(PipelineHelpTest, InvalidArgumentsFailAtOnce) {
    PipelineHelp help;
    LimitedOutput output;
    PwdProtect decryptor;
    MemoryDataSource source;
    const uint8_t byte = 0;
    uint32_t crc = 1, in = 1, out = 1, size = 1;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"deflateFile, invalid handle", [&] { return help.deflateFile(INVALID_HANDLE_VALUE, &output, crc, in, out, 6); }},
        {"deflateMemory, null data", [&] { return help.deflateMemory(nullptr, 1, &output, crc, in, out, 6); }},
        {"deflateMemory, null output", [&] { return help.deflateMemory(&byte, 1, nullptr, crc, in, out, 6); }},
        {"deflateStream, null output", [&] { return help.deflateStream(&source, nullptr, crc, in, out, 6); }},
        {"crcByDeflatingFile, invalid handle", [&] { return help.crcByDeflatingFile(INVALID_HANDLE_VALUE, crc, 6); }},
        {"crcByDeflatingMemory, null data", [&] { return help.crcByDeflatingMemory(nullptr, 1, crc, 6); }},
        {"pwdDecodeStream, null PwdProtect", [&] { return help.pwdDecodeStream(&source, &output, nullptr); }},
        {"pwdDecodeMemory, null output", [&] { return help.pwdDecodeMemory(&byte, 1, nullptr, &decryptor); }},
        {"copyFileWithCrc, invalid handle", [&] { return help.copyFileWithCrc(INVALID_HANDLE_VALUE, &output, crc, size); }},
        {"copyMemoryWithCrc, null data", [&] { return help.copyMemoryWithCrc(nullptr, 1, &output, crc); }},
        {"inflateFile, null output", [&] { return help.inflateFile("whatever", nullptr); }},
        {"inflateStream, null source", [&] { return help.inflateStream(nullptr, &output); }},
        {"inflateMemory, null data", [&] { return help.inflateMemory(nullptr, 1, &output); }},
    };
    for (const auto& [label, call] : calls) EXPECT_FALSE(call()) << label;
    EXPECT_TRUE(output.bytes.empty());
}

TEST(PipelineHelpTest, DeflateRunsFromFileMemoryAndStream) {
    ScratchFolder folder("help_deflate");
    Bytes input = textData(300000);
    std::string path = folder.file("input.bin");
    ASSERT_TRUE(writeWholeFile(path, input));
    PipelineHelp help;

    for (int kind = 0; kind < 3; ++kind) {
        LimitedOutput output;
        uint32_t crc = 0, in = 0, out = 0;
        bool ok;
        MemoryDataSource stream(input.data(), static_cast<uint32_t>(input.size()));
        HANDLE file = INVALID_HANDLE_VALUE;
        if (kind == 0) {
            file = openRead(path);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            ok = help.deflateFile(file, &output, crc, in, out, 9);
            closeFileHandle(file);
        } else if (kind == 1) {
            ok = help.deflateMemory(input.data(), static_cast<uint32_t>(input.size()), &output, crc, in, out, 9);
        } else {
            ok = help.deflateStream(&stream, &output, crc, in, out, 9);
        }
        EXPECT_TRUE(ok) << "kind " << kind;
        ZlibOutcome inflated = zlibInflateRaw(output.bytes);
        EXPECT_TRUE(inflated.valid && inflated.data == input) << "kind " << kind;
        EXPECT_EQ(crc, zlibCrc(input)) << "kind " << kind;
        EXPECT_EQ(in, input.size()) << "kind " << kind;
        EXPECT_EQ(out, output.bytes.size()) << "kind " << kind;
    }

    uint32_t crc = 0;
    HANDLE file = openRead(path);
    EXPECT_TRUE(help.crcByDeflatingFile(file, crc, 6));
    closeFileHandle(file);
    EXPECT_EQ(crc, zlibCrc(input));
    crc = 0;
    EXPECT_TRUE(help.crcByDeflatingMemory(input.data(), static_cast<uint32_t>(input.size()), crc, 1));
    EXPECT_EQ(crc, zlibCrc(input));
}

TEST(PipelineHelpTest, CopyWithCrcFromFileAndMemory) {
    ScratchFolder folder("help_copy");
    Bytes input = randomData(130001, 3);
    std::string path = folder.file("input.bin");
    ASSERT_TRUE(writeWholeFile(path, input));
    PipelineHelp help;

    LimitedOutput fromFile;
    uint32_t crc = 0, size = 0;
    HANDLE file = openRead(path);
    EXPECT_TRUE(help.copyFileWithCrc(file, &fromFile, crc, size));
    closeFileHandle(file);
    EXPECT_TRUE(fromFile.bytes == input);
    EXPECT_EQ(crc, zlibCrc(input));
    EXPECT_EQ(size, input.size());

    LimitedOutput fromMemory;
    crc = 0;
    EXPECT_TRUE(help.copyMemoryWithCrc(input.data(), static_cast<uint32_t>(input.size()), &fromMemory, crc));
    EXPECT_TRUE(fromMemory.bytes == input);
    EXPECT_EQ(crc, zlibCrc(input));
}

TEST(PipelineHelpTest, PwdDecodeFromMemoryAndStream) {
    Bytes plain = textData(70000);
    for (bool fromStream : {false, true}) {
        PwdProtect encryptor;
        encryptor.setPassword("zip");
        uint8_t header[12];
        encryptor.makeHeader(zlibCrc(plain), header);
        Bytes cipher = plain;
        encryptor.encryptBytes(cipher.data(), static_cast<uint32_t>(cipher.size()));
        PwdProtect decryptor;
        decryptor.setPassword("zip");
        decryptor.initKeys();
        ASSERT_TRUE(decryptor.checkHeader(header, 0, zlibCrc(plain), false));

        PipelineHelp help;
        LimitedOutput output;
        MemoryDataSource stream(cipher.data(), static_cast<uint32_t>(cipher.size()));
        bool ok = fromStream ? help.pwdDecodeStream(&stream, &output, &decryptor)
                             : help.pwdDecodeMemory(cipher.data(), static_cast<uint32_t>(cipher.size()), &output,
                                                    &decryptor);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(output.bytes == plain) << "from stream " << fromStream;
    }
}

TEST(PipelineHelpTest, InflateRunsFromMemoryStreamAndFile) {
    ScratchFolder folder("help_inflate");
    Bytes small = textData(500000);
    Bytes smallStream = zlibDeflateRaw(small, 6);
    // Over 4,000,000 compressed bytes: inflateFile takes the streaming path.
    Bytes large = randomData(4500000, 11);
    Bytes largeStream = zlibDeflateRaw(large, 1);
    ASSERT_GT(largeStream.size(), PipelineHelp::kInflateFileInMemoryBytes);
    std::string smallPath = folder.file("small.deflate");
    std::string largePath = folder.file("large.deflate");
    ASSERT_TRUE(writeWholeFile(smallPath, smallStream));
    ASSERT_TRUE(writeWholeFile(largePath, largeStream));

    PipelineHelp help;
    struct Case {
        const char* label;
        std::function<bool(Output*)> run;
        const Bytes* expected;
    };
    MemoryDataSource stream(smallStream.data(), static_cast<uint32_t>(smallStream.size()));
    const Case cases[] = {
        {"memory", [&](Output* o) { return help.inflateMemory(smallStream.data(), static_cast<uint32_t>(smallStream.size()), o); }, &small},
        {"stream", [&](Output* o) { return help.inflateStream(&stream, o); }, &small},
        {"small file", [&](Output* o) { return help.inflateFile(smallPath.c_str(), o); }, &small},
        {"large file", [&](Output* o) { return help.inflateFile(largePath.c_str(), o); }, &large},
    };
    for (const Case& c : cases) {
        LimitedOutput output;
        EXPECT_TRUE(c.run(&output)) << c.label;
        EXPECT_TRUE(output.bytes == *c.expected) << c.label;
    }
    LimitedOutput none;
    EXPECT_FALSE(help.inflateFile(folder.file("missing.deflate").c_str(), &none));
}

TEST(PipelineHelpTest, DamagedStreamFailsTheInflateRunAndKeepsWholeWindows) {
    Bytes data = textData(200000);
    Bytes stream = zlibDeflateRaw(data, 6);
    Bytes cut(stream.begin(), stream.begin() + stream.size() / 2);
    PipelineHelp help;
    LimitedOutput output;
    EXPECT_FALSE(help.inflateMemory(cut.data(), static_cast<uint32_t>(cut.size()), &output));
    EXPECT_EQ(output.bytes.size() % InflateState2::kWindowBytes, 0u);
    EXPECT_FALSE(output.bytes.empty());
    EXPECT_TRUE(Bytes(data.begin(), data.begin() + output.bytes.size()) == output.bytes);
}

TEST(PipelineHelpTest, ShortOutputFailsTheInflateRunAndStopsLaterWindows) {
    Bytes data = textData(200000);
    Bytes stream = zlibDeflateRaw(data, 6);
    PipelineHelp help;
    LimitedOutput output(50000);  // takes the first window, then 17,232 bytes of the second
    EXPECT_FALSE(help.inflateMemory(stream.data(), static_cast<uint32_t>(stream.size()), &output));
    EXPECT_EQ(output.writes, 2);  // nothing after the short write
    EXPECT_EQ(output.bytes.size(), 50000u);
}

TEST(PipelineHelpTest, AbortedRunZeroesItsResults) {
    struct AbortEarly : ProgressCallback {
        void percentDone(uint32_t percent, bool& abort) override { abort = percent >= 10; }
    } callback;
    Bytes input = textData(1000000);
    ProgressMonitor progress(&callback, static_cast<uint32_t>(input.size()));
    PipelineHelp help;
    help.setProgress(&progress);
    LimitedOutput output;
    uint32_t crc = 1, in = 1, out = 1;
    EXPECT_FALSE(help.deflateMemory(input.data(), static_cast<uint32_t>(input.size()), &output, crc, in, out, 6));
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(in, 0u);
    EXPECT_EQ(out, 0u);
}
