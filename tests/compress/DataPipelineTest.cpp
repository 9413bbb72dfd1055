// DataPipeline with its processors: DeflateProcessor output checked with
// zlib (round trip, CRC-32 against zlib's crc32, sizes, byte-for-byte
// against zlib's own deflate at the same level), the traditional encryption
// it can add, CrcProcessor and ZipDecodeProcessor, chains fed through the
// ring buffer, and the run loop's ways to end: success, a failing step, a
// stalled sink, an abort.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "compress/CrcProcessor.h"
#include "compress/DataPipeline.h"
#include "compress/DeflateProcessor.h"
#include "compress/FileDataSink.h"
#include "compress/MemoryDataSink.h"
#include "compress/NullDataSink.h"
#include "compress/ZipDecodeProcessor.h"
#include "crypto/PwdProtect.h"
#include "io/MemoryDataSource.h"
#include "io/ProgressMonitor.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

namespace {

uint32_t zlibCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0L, data.empty() ? Z_NULL : data.data(), static_cast<uInt>(data.size())));
}

Bytes sampleData(size_t size) {
    Bytes data(size);
    TestRandom random(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i % 7 == 0 ? random.next() : "pipeline"[i % 8]);
    return data;
}

struct DeflateRun {
    bool ok = false;
    Bytes output;
    uint32_t crc = 0;
    uint32_t sizeIn = 0;
    uint32_t sizeOut = 0;
    bool nextFinished = false;
};

DeflateRun deflateThroughPipeline(const Bytes& input, int32_t level, uint32_t workBufferSize = 60000) {
    DeflateRun run;
    static const uint8_t kNone = 0;
    MemoryDataSource source(input.empty() ? &kNone : input.data(), static_cast<uint32_t>(input.size()));
    LimitedOutput output;
    FileDataSink sink(&output);
    DeflateProcessor processor;
    processor.setLevel(level);
    processor.allocateWorkBuffer(workBufferSize);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    run.ok = pipeline.run(nullptr);
    run.output = output.bytes;
    run.crc = processor.crc();
    run.sizeIn = processor.sizeIn();
    run.sizeOut = processor.sizeOut();
    run.nextFinished = sink.isFinished();
    return run;
}

// Real data for the processors: the first real file the machine has.
Bytes realSample() {
    for (const RealFile& file : realFiles()) {
        Bytes data;
        if (readWholeFile(file.path, data)) return data;
    }
    ADD_FAILURE() << "none of the real files can be read: install " << realFiles().front().package;
    return {};
}

}  // namespace

TEST(DataPipelineTest, DeflateProcessorOutputInflatesToTheInput) {
    Bytes real = realSample();
    struct Case {
        const char* label;
        Bytes input;
        int32_t level;
    };
    const Case cases[] = {
        {"empty input", {}, 6},
        {"one byte", {0x41}, 6},
        {"real file, level 0", real, 0},
        {"real file, level 1", real, 1},
        {"real file, level 6", real, 6},
        {"real file, level 9", real, 9},
        {"350,000 patterned bytes", sampleData(350000), 6},
    };
    for (const Case& c : cases) {
        DeflateRun run = deflateThroughPipeline(c.input, c.level);
        EXPECT_TRUE(run.ok) << c.label;
        ZlibOutcome inflated = zlibInflateRaw(run.output);
        EXPECT_TRUE(inflated.valid) << c.label << ": " << inflated.message;
        EXPECT_TRUE(inflated.data == c.input) << c.label;
        EXPECT_EQ(run.crc, zlibCrc(c.input)) << c.label;
        EXPECT_EQ(run.sizeIn, c.input.size()) << c.label;
        EXPECT_EQ(run.sizeOut, run.output.size()) << c.label;
        EXPECT_TRUE(run.nextFinished) << c.label;
        // Above level 0 zlib's output does not depend on how its input
        // arrives without flushes (stored blocks follow the input pieces):
        // the pipeline's stream equals a one-shot deflate.
        if (c.level > 0) {
            EXPECT_TRUE(run.output == zlibDeflateRaw(c.input, c.level)) << c.label;
        }
    }
}

TEST(DataPipelineTest, DeflateProcessorRunsAgainAfterBegin) {
    // The second and third runs need finishing calls of their own: an empty
    // input, and one whose last chunk compresses to more than one call's
    // output buffer.
    Bytes first = sampleData(70000);
    Bytes empty;
    Bytes stored = sampleData(100000);
    DeflateProcessor processor;
    processor.setLevel(0);
    processor.allocateWorkBuffer(60000);
    static const uint8_t kNone = 0;
    for (const Bytes* input : {&first, &empty, &stored}) {
        MemoryDataSource source(input->empty() ? &kNone : input->data(), static_cast<uint32_t>(input->size()));
        LimitedOutput output;
        FileDataSink sink(&output);
        processor.setSource(&source);
        processor.setNext(&sink);
        DataPipeline pipeline;
        pipeline.addProcessor(&processor);
        EXPECT_TRUE(pipeline.run(nullptr));
        ZlibOutcome inflated = zlibInflateRaw(output.bytes);
        EXPECT_TRUE(inflated.valid && inflated.data == *input) << inflated.message;
        EXPECT_EQ(processor.crc(), zlibCrc(*input));
    }
}

TEST(DataPipelineTest, EmptySourceGivesTheFinalEmptyBlock) {
    DeflateRun run = deflateThroughPipeline({}, 6);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.output, (Bytes{0x03, 0x00}));
    EXPECT_EQ(run.crc, 0u);
    EXPECT_EQ(run.sizeIn, 0u);
    EXPECT_TRUE(run.nextFinished);
}

TEST(DataPipelineTest, LevelOutsideZeroToNineIsSix) {
    Bytes input = sampleData(100000);
    Bytes atSix = deflateThroughPipeline(input, 6).output;
    EXPECT_EQ(deflateThroughPipeline(input, 42).output, atSix);
    EXPECT_EQ(deflateThroughPipeline(input, -3).output, atSix);
    EXPECT_NE(deflateThroughPipeline(input, 1).output, atSix);
}

TEST(DataPipelineTest, DeflateProcessorAddsTheTraditionalEncryption) {
    Bytes input = sampleData(80000);
    MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
    LimitedOutput output;
    FileDataSink sink(&output);
    DeflateProcessor processor;
    processor.pwdProtect = 1;
    processor.password.setString("secret");
    processor.checkCrc = zlibCrc(input);
    processor.allocateWorkBuffer(60000);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    ASSERT_TRUE(pipeline.run(nullptr));
    ASSERT_GT(output.bytes.size(), 12u);
    EXPECT_EQ(processor.sizeOut(), output.bytes.size());

    PwdProtect decryptor;
    decryptor.setPassword("secret");
    decryptor.initKeys();
    ASSERT_TRUE(decryptor.checkHeader(output.bytes.data(), 0, zlibCrc(input), false));
    Bytes body(output.bytes.begin() + 12, output.bytes.end());
    decryptor.decryptBytes(body.data(), static_cast<uint32_t>(body.size()));
    ZlibOutcome inflated = zlibInflateRaw(body);
    EXPECT_TRUE(inflated.valid && inflated.data == input);
}

TEST(DataPipelineTest, CrcProcessorCopiesAndChecksums) {
    for (size_t size : {0, 1, 59999, 60000, 60001, 250000}) {
        Bytes input = sampleData(size);
        static const uint8_t kNone = 0;
        MemoryDataSource source(input.empty() ? &kNone : input.data(), static_cast<uint32_t>(size));
        LimitedOutput output;
        FileDataSink sink(&output);
        CrcProcessor processor;
        processor.allocateWorkBuffer(60000);
        processor.setSource(&source);
        processor.setNext(&sink);
        DataPipeline pipeline;
        pipeline.addProcessor(&processor);
        EXPECT_TRUE(pipeline.run(nullptr)) << size;
        EXPECT_EQ(output.bytes, input) << size;
        EXPECT_EQ(processor.crc(), zlibCrc(input)) << size;
        EXPECT_EQ(processor.count(), size);
        EXPECT_EQ(processor.sizeOut(), size);
        EXPECT_TRUE(sink.isFinished());
    }
}

TEST(DataPipelineTest, ZipDecodeProcessorRemovesTheEncryption) {
    Bytes plain = sampleData(150000);
    PwdProtect encryptor;
    encryptor.setPassword("pw");
    uint8_t header[12];
    encryptor.makeHeader(0x12345678, header);
    Bytes cipher = plain;
    encryptor.encryptBytes(cipher.data(), static_cast<uint32_t>(cipher.size()));

    PwdProtect decryptor;
    decryptor.setPassword("pw");
    decryptor.initKeys();
    ASSERT_TRUE(decryptor.checkHeader(header, 0, 0x12345678, false));
    MemoryDataSource source(cipher.data(), static_cast<uint32_t>(cipher.size()));
    LimitedOutput output;
    FileDataSink sink(&output);
    ZipDecodeProcessor processor;
    processor.setDecryptor(&decryptor);
    processor.allocateWorkBuffer(60000);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    EXPECT_TRUE(pipeline.run(nullptr));
    EXPECT_TRUE(output.bytes == plain);
    EXPECT_EQ(processor.sizeIn(), plain.size());
    EXPECT_EQ(processor.sizeOut(), plain.size());
}

TEST(DataPipelineTest, ChainsPassDataThroughTheRing) {
    // CrcProcessor (reads the source) -> DeflateProcessor (reads its ring)
    // -> FileDataSink; and CrcProcessor -> ZipDecodeProcessor -> sink.
    Bytes input = sampleData(400000);
    {
        MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
        LimitedOutput output;
        FileDataSink sink(&output);
        CrcProcessor first;
        DeflateProcessor second;
        first.allocateWorkBuffer(60000);
        first.setSource(&source);
        first.setNext(&second);
        second.setNext(&sink);
        DataPipeline pipeline;
        pipeline.addProcessor(&first);
        pipeline.addProcessor(&second);
        EXPECT_TRUE(pipeline.run(nullptr));
        ZlibOutcome inflated = zlibInflateRaw(output.bytes);
        EXPECT_TRUE(inflated.valid && inflated.data == input);
        EXPECT_EQ(first.crc(), zlibCrc(input));
        EXPECT_EQ(second.crc(), zlibCrc(input));
        EXPECT_EQ(second.sizeIn(), input.size());
        EXPECT_TRUE(sink.isFinished());
    }
    {
        MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
        LimitedOutput output;
        FileDataSink sink(&output);
        CrcProcessor first;
        ZipDecodeProcessor second;  // no decryptor: a plain copy
        first.allocateWorkBuffer(60000);
        first.setSource(&source);
        first.setNext(&second);
        second.setNext(&sink);
        DataPipeline pipeline;
        pipeline.addProcessor(&first);
        pipeline.addProcessor(&second);
        EXPECT_TRUE(pipeline.run(nullptr));
        EXPECT_TRUE(output.bytes == input);
    }
}

TEST(DataPipelineTest, DeflateOutputWaitsForASlowNextStage) {
    // The next stage takes 1,000 bytes a pass, so compressed output waits in
    // the deflate stage across many passes, also after its source has ended:
    // no deflate call may overwrite output not yet passed on.
    Bytes input = sampleData(200000);
    MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
    LimitedOutput output;
    FileDataSink sink(&output);
    DeflateProcessor first;
    CrcProcessor second;
    ASSERT_TRUE(second.ring().init(1000));
    first.setLevel(0);
    first.allocateWorkBuffer(60000);
    first.setSource(&source);
    first.setNext(&second);
    second.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&first);
    pipeline.addProcessor(&second);
    EXPECT_TRUE(pipeline.run(nullptr));
    ZlibOutcome inflated = zlibInflateRaw(output.bytes);
    EXPECT_TRUE(inflated.valid && inflated.data == input) << inflated.message;
    EXPECT_EQ(second.crc(), zlibCrc(output.bytes));
}

TEST(DataPipelineTest, FailingSinkEndsTheRunWithFalse) {
    // The sink's Output fills up while the deflate stage still holds input
    // and unsent output: the step fails and the run ends.
    Bytes input = sampleData(500000);
    MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
    LimitedOutput output(1000);
    FileDataSink sink(&output);
    DeflateProcessor processor;
    processor.setLevel(0);
    processor.allocateWorkBuffer(60000);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    EXPECT_FALSE(pipeline.run(nullptr));
    EXPECT_TRUE(sink.failed());
    EXPECT_EQ(output.bytes.size(), 1000u);
}

TEST(DataPipelineTest, SinkThatTakesNothingMoreEndsTheRunWithFalse) {
    // A final MemoryDataSink nobody empties: the copy stalls once its ring
    // is full, and the run gives up instead of stepping for ever.
    Bytes input = sampleData(5000);
    MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
    MemoryDataSink sink;
    sink.ring().init(1000);
    CrcProcessor processor;
    processor.allocateWorkBuffer(60000);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    EXPECT_FALSE(pipeline.run(nullptr));
    EXPECT_EQ(sink.bytesIn(), 1000u);
}

TEST(DataPipelineTest, AbortRequestedThroughProgressEndsTheRun) {
    struct AbortAtHalf : ProgressCallback {
        void percentDone(uint32_t percent, bool& abort) override { abort = percent >= 50; }
    } callback;
    Bytes input = sampleData(600000);
    ProgressMonitor progress(&callback, static_cast<uint32_t>(input.size()));
    MemoryDataSource source(input.data(), static_cast<uint32_t>(input.size()));
    source.setMonitor(&progress);
    NullDataSink sink;
    CrcProcessor processor;
    processor.allocateWorkBuffer(60000);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    EXPECT_FALSE(pipeline.run(&progress));
    EXPECT_LT(sink.bytesIn(), input.size());
    EXPECT_EQ(processor.crc(), 0u);  // no end(): the CRC was never stored
}

TEST(DataPipelineTest, NamesAndKinds) {
    DeflateProcessor deflater;
    CrcProcessor crc;
    ZipDecodeProcessor decoder;
    DataProcessor plain;
    EXPECT_STREQ(deflater.name(), "DeflateProcessor");
    EXPECT_STREQ(crc.name(), "CrcProcessor");
    EXPECT_STREQ(decoder.name(), "PassThruProcessor");
    EXPECT_STREQ(plain.name(), "nothing");
    int first = std::stoi(std::string(deflater.instanceName()).substr(std::strlen("processor_")));
    EXPECT_EQ(std::string(crc.instanceName()), "processor_" + std::to_string(first + 1));
    DataPipeline a;
    DataPipeline b;
    int pipelineNumber = std::stoi(std::string(a.name()).substr(std::strlen("DataPipeline_")));
    EXPECT_EQ(std::string(b.name()), "DataPipeline_" + std::to_string(pipelineNumber + 1));
    EXPECT_FALSE(DataPipeline().run(nullptr));  // no stage
}
