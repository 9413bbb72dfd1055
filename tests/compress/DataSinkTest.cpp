// The sinks: what each kind accepts, counts and reports, the progress
// monitor told about accepted bytes, and a FileDataSink over a short Output.

#include <gtest/gtest.h>

#include <vector>

#include "compress/DataSink.h"
#include "compress/FileDataSink.h"
#include "compress/MemoryDataSink.h"
#include "compress/NullDataSink.h"
#include "io/ProgressMonitor.h"
#include "tests/compress/CompressTestSupport.h"

using namespace compress_test;

TEST(DataSinkTest, BaseSinkAcceptsNothing) {
    DataSink sink;
    const uint8_t byte = 7;
    uint32_t space = 123;
    EXPECT_FALSE(sink.write(&byte, 1));
    EXPECT_FALSE(sink.freeSpace(space));
    EXPECT_EQ(space, 0u);
    EXPECT_EQ(sink.bytesIn(), 0u);
    EXPECT_EQ(sink.pendingBytes(), 0u);
    EXPECT_FALSE(sink.isFinished());
    sink.markFinished();
    EXPECT_TRUE(sink.isFinished());
}

TEST(DataSinkTest, MemorySinkHoldsWhatFitsAndCountsIt) {
    MemoryDataSink sink;
    ASSERT_TRUE(sink.ring().init(10));
    ProgressMonitor progress(nullptr, 1000);
    sink.setProgress(&progress);
    std::vector<uint8_t> bytes(15, 3);
    uint32_t space = 0;
    EXPECT_TRUE(sink.freeSpace(space));
    EXPECT_EQ(space, 10u);
    EXPECT_FALSE(sink.write(bytes.data(), 15));  // only 10 fit
    EXPECT_EQ(sink.bytesIn(), 10u);
    EXPECT_EQ(sink.pendingBytes(), 10u);
    EXPECT_EQ(progress.getDone(), 10u);
    EXPECT_FALSE(sink.freeSpace(space));
    EXPECT_EQ(space, 0u);
    sink.ring().consume(4);
    EXPECT_TRUE(sink.write(bytes.data(), 4));
    EXPECT_EQ(sink.bytesIn(), 14u);
}

TEST(DataSinkTest, NullSinkCountsAndDiscards) {
    NullDataSink sink;
    ProgressMonitor progress(nullptr, 100);
    sink.setProgress(&progress);
    uint32_t space = 0;
    EXPECT_TRUE(sink.freeSpace(space));
    EXPECT_EQ(space, 999999999u);
    EXPECT_TRUE(sink.write(nullptr, 40));
    EXPECT_EQ(sink.bytesIn(), 40u);
    EXPECT_EQ(progress.getDone(), 40u);
    EXPECT_EQ(sink.pendingBytes(), 0u);
}

TEST(DataSinkTest, FileSinkWritesToItsOutput) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    FileDataSink withoutOutput;
    EXPECT_FALSE(withoutOutput.write(bytes, 5));

    LimitedOutput output;
    FileDataSink sink(&output);
    ProgressMonitor progress(nullptr, 100);
    sink.setProgress(&progress);
    uint32_t space = 0;
    EXPECT_TRUE(sink.freeSpace(space));
    EXPECT_EQ(space, 999999999u);
    EXPECT_TRUE(sink.write(bytes, 0));         // nothing to write
    EXPECT_FALSE(sink.write(nullptr, 3));      // no bytes to write from
    EXPECT_TRUE(sink.write(bytes, 5));
    EXPECT_EQ(output.bytes, std::vector<uint8_t>(bytes, bytes + 5));
    EXPECT_EQ(sink.bytesIn(), 5u);
    EXPECT_EQ(progress.getDone(), 5u);
    EXPECT_FALSE(sink.failed());
}

TEST(DataSinkTest, FileSinkOverAShortOutputFailsAndStopsWriting) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    LimitedOutput output(7);
    FileDataSink sink(&output);
    EXPECT_TRUE(sink.write(bytes, 5));
    EXPECT_FALSE(sink.write(bytes, 5));  // only 2 taken
    EXPECT_TRUE(sink.failed());
    EXPECT_EQ(sink.bytesIn(), 5u);
    int writesBefore = output.writes;
    EXPECT_FALSE(sink.write(bytes, 1));  // the output has been dropped
    EXPECT_EQ(output.writes, writesBefore);
}
