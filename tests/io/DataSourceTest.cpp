// FileDataSource, MemoryDataSource and ProgressMonitor.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "io/FileDataSource.h"
#include "io/FileSystem.h"
#include "io/MemoryDataSource.h"
#include "io/ProgressMonitor.h"
#include "tests/io/IoTestSupport.h"

namespace fs = std::filesystem;

namespace {

class FileDataSourceTest : public io_test::ScratchDirTest {
 protected:
  std::unique_ptr<FileDataSource> open(const std::string& name) {
    return std::unique_ptr<FileDataSource>(FileDataSource::openDataSourceFile(name.c_str(), nullptr));
  }
};

// The key 0x04030201 is stored as the bytes 01 02 03 04; the filler is zero
// bytes, so the key occurs exactly where it is put.
constexpr uint32_t kKey = 0x04030201;
constexpr uint8_t kKeyBytes[] = {0x01, 0x02, 0x03, 0x04};

std::vector<uint8_t> zerosWithKeyAt(size_t size, size_t offset) {
  std::vector<uint8_t> bytes(size, 0);
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = kKeyBytes[i];
  return bytes;
}

TEST_F(FileDataSourceTest, ReadToTheEndThenEndOfData) {
  writeFile(root_ / "ten.bin", "0123456789");
  auto source = open("ten.bin");
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(source->ownsHandle());
  EXPECT_FALSE(source->endOfData());

  char buffer[100];
  uint32_t got = 99;
  EXPECT_FALSE(source->readBytes(buffer, 0, &got)) << "maxBytes 0 reads nothing";
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(source->readBytes(nullptr, 10, &got));

  EXPECT_TRUE(source->readBytes(buffer, 4, &got));
  EXPECT_EQ(std::string(buffer, got), "0123");
  EXPECT_TRUE(source->readBytes(buffer, sizeof buffer, &got)) << "a short read is a success";
  EXPECT_EQ(std::string(buffer, got), "456789");
  EXPECT_EQ(source->getTotalDelivered(), 10u);

  EXPECT_TRUE(source->readBytes(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(source->endOfData());
  EXPECT_EQ(source->getHandle(), INVALID_HANDLE_VALUE) << "the owned handle is closed at the end";
  EXPECT_TRUE(source->readBytes(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(FileDataSourceTest, OpeningAMissingFileGivesNoSource) {
  io_test::RecordingLog log;
  EXPECT_EQ(FileDataSource::openDataSourceFile("absent.bin", &log), nullptr);
  EXPECT_EQ(log.entries.size(), 3u);
}

TEST_F(FileDataSourceTest, FindsTheKeyAtEveryPlaceAroundTheBlockBoundary) {
  const size_t boundary = FileDataSource::kSearchBlockBytes;
  const size_t offsets[] = {0, 1, 4095, boundary - 4, boundary - 3, boundary - 2, boundary - 1,
                            boundary, boundary + 1, 2 * boundary - 2, 3 * boundary - 4};
  const size_t fileSize = 3 * boundary;
  for (size_t offset : offsets) {
    SCOPED_TRACE(offset);
    std::vector<uint8_t> bytes = zerosWithKeyAt(fileSize, offset);
    if (offset + 4 < fileSize) bytes[offset + 4] = 0xEE;  // marks the byte after the key
    writeFile(root_ / "scan.bin", bytes);
    auto source = open("scan.bin");
    ASSERT_NE(source, nullptr);
    uint32_t skipped = 0;
    ASSERT_TRUE(source->findUint32(kKey, &skipped));
    EXPECT_EQ(skipped, offset);
    EXPECT_EQ(source->getTotalDelivered(), 0u) << "the search delivers nothing";
    uint8_t next = 0;
    uint32_t got = 0;
    ASSERT_TRUE(source->readBytes(&next, 1, &got));
    if (offset + 4 < fileSize) {
      ASSERT_EQ(got, 1u);
      EXPECT_EQ(next, 0xEE) << "the position is just after the key";
    } else {
      EXPECT_EQ(got, 0u);
    }
  }
}

TEST_F(FileDataSourceTest, SearchStartsAtTheCurrentPositionAndCanFail) {
  std::vector<uint8_t> bytes = zerosWithKeyAt(100, 2);
  std::vector<uint8_t> second = zerosWithKeyAt(100, 60);
  for (size_t i = 50; i < 100; ++i) bytes[i] = second[i];
  writeFile(root_ / "two.bin", bytes);
  auto source = open("two.bin");
  uint8_t head[10];
  uint32_t got = 0;
  ASSERT_TRUE(source->readBytes(head, sizeof head, &got));
  uint32_t skipped = 0;
  ASSERT_TRUE(source->findUint32(kKey, &skipped));
  EXPECT_EQ(skipped, 50u) << "counted from where the search started";
  EXPECT_FALSE(source->findUint32(kKey, &skipped));
}

TEST_F(FileDataSourceTest, FilesShorterThanAWordHoldNoKey) {
  for (size_t size = 0; size < 4; ++size) {
    SCOPED_TRACE(size);
    writeFile(root_ / "short.bin", std::vector<uint8_t>(kKeyBytes, kKeyBytes + size));
    auto source = open("short.bin");
    ASSERT_NE(source, nullptr);
    uint32_t skipped = 7;
    EXPECT_FALSE(source->findUint32(kKey, &skipped));
    EXPECT_EQ(skipped, 0u);
  }
  FileDataSource empty;
  uint32_t skipped = 7;
  EXPECT_FALSE(empty.findUint32(kKey, &skipped));
  EXPECT_TRUE(empty.endOfData());
  uint32_t low = 1, high = 1;
  EXPECT_FALSE(empty.getFileSize(low, high));
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(high, 0u);
}

// A file of 2^32 - 1 bytes has the low half INVALID_FILE_SIZE, which is a real
// size when the system reports no error. (Sparse: it takes no disk space.)
TEST_F(FileDataSourceTest, FileSizeWhoseLowHalfIsAllOnes) {
  {
    std::ofstream create(root_ / "big.bin", std::ios::binary);
  }
  fs::resize_file(root_ / "big.bin", 0xFFFFFFFFull);
  auto source = open("big.bin");
  ASSERT_NE(source, nullptr);
  uint32_t low = 0, high = 0;
  EXPECT_TRUE(source->getFileSize(low, high));
  EXPECT_EQ(low, 0xFFFFFFFFu);
  EXPECT_EQ(high, 0u);

  source.reset();  // the source's share mode admits no writer
  fs::resize_file(root_ / "big.bin", 0x100000005ull);
  source = open("big.bin");
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(source->getFileSize(low, high));
  EXPECT_EQ(low, 5u);
  EXPECT_EQ(high, 1u);
}

TEST_F(FileDataSourceTest, AttachedHandlesAreClosedOnlyWhenOwned) {
  writeFile(root_ / "abc.bin", "abcdef");
  HANDLE handle = CreateFileA("abc.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  {
    FileDataSource borrowed;
    borrowed.attachHandle(handle);
    EXPECT_FALSE(borrowed.ownsHandle());
    char c = 0;
    uint32_t got = 0;
    EXPECT_TRUE(borrowed.readBytes(&c, 1, &got));
    EXPECT_EQ(c, 'a');
  }
  char rest[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(handle, rest, sizeof rest, &got, nullptr)) << "still open after the source";
  EXPECT_EQ(std::string(rest, got), "bcdef");
  CloseHandle(handle);
}

TEST_F(FileDataSourceTest, MonitorCountsDeliveredBytes) {
  writeFile(root_ / "m.bin", std::string(1000, 'm'));
  auto source = open("m.bin");
  ProgressMonitor monitor(nullptr, 1000);
  source->setMonitor(&monitor);
  char buffer[300];
  uint32_t got = 0;
  while (source->readBytes(buffer, sizeof buffer, &got) && got != 0) {
  }
  EXPECT_EQ(monitor.getDone(), 1000u);
}

TEST(MemoryDataSourceTest, ReadsCopyAndAdvance) {
  const uint8_t data[] = {'a', 'b', 'c', 'd', 'e'};
  MemoryDataSource source(data, sizeof data);
  uint8_t buffer[8];
  uint32_t got = 0;
  EXPECT_TRUE(source.readBytes(buffer, 3, &got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, buffer + got), "abc");
  EXPECT_TRUE(source.readBytes(buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, buffer + got), "de");
  EXPECT_TRUE(source.endOfData());
  EXPECT_FALSE(source.readBytes(buffer, sizeof buffer, &got)) << "nothing left";
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(source.getTotalDelivered(), 5u);
}

TEST(MemoryDataSourceTest, WholeBlockReadHappensOnce) {
  uint8_t data[] = {1, 2, 3, 4, 5, 6};
  MemoryDataSource source(data, sizeof data);
  uint32_t got = 0;
  EXPECT_TRUE(source.readBytes(data, sizeof data, &got));
  EXPECT_EQ(got, sizeof data);
  EXPECT_TRUE(source.endOfData());
  EXPECT_FALSE(source.readBytes(data, sizeof data, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(source.getTotalDelivered(), sizeof data);
}

TEST(MemoryDataSourceTest, FindUint32) {
  const uint8_t threeBytes[] = {0x01, 0x02, 0x03};
  MemoryDataSource tooShort(threeBytes, sizeof threeBytes);
  uint32_t skipped = 9;
  EXPECT_FALSE(tooShort.findUint32(kKey, &skipped));
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(tooShort.getPosition(), 0u);

  const uint8_t data[] = {9, 9, 0x01, 0x02, 0x03, 0x04, 7, 0x01, 0x02};
  MemoryDataSource source(data, sizeof data);
  ASSERT_TRUE(source.findUint32(kKey, &skipped));
  EXPECT_EQ(skipped, 2u);
  EXPECT_EQ(source.getPosition(), 6u) << "just after the key";
  EXPECT_FALSE(source.findUint32(kKey, &skipped));
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(source.getPosition(), 6u) << "fewer than 4 bytes left: the search ends where it is";

  const uint8_t longer[] = {0, 0, 0, 0, 0, 0};
  MemoryDataSource noKey(longer, sizeof longer);
  EXPECT_FALSE(noKey.findUint32(kKey, &skipped));
  EXPECT_EQ(skipped, 3u);
  EXPECT_EQ(noKey.getPosition(), 3u);
}

TEST(DataSourceBaseTest, DeliversNothing) {
  DataSource base;
  uint8_t buffer[4];
  uint32_t got = 5;
  EXPECT_FALSE(base.readBytes(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(base.endOfData());
  EXPECT_FALSE(base.findUint32(kKey, &got));
}

TEST(ProgressMonitorTest, Percentage) {
  struct Case {
    uint32_t done, expected, percent;
  };
  const Case cases[] = {
      {5000000, 20000000, 25}, {0, 0, 100},     {7, 0, 100},           {0, 10, 0},
      {999999, 1000000, 99},   {1, 3, 33},      {4294967295u, 4294967295u, 100},
      {2147483648u, 4294967295u, 50},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressMonitor::percentage(c.done, c.expected), c.percent) << c.done << "/" << c.expected;
  }
}

class RecordingCallback : public ProgressCallback {
 public:
  void percentDone(uint32_t percent, bool& abort) override {
    percents.push_back(percent);
    abort = percent >= abortAt;
  }
  std::vector<uint32_t> percents;
  uint32_t abortAt = 1000;
};

TEST(ProgressMonitorTest, ReportsRisingPercentagesAndAborts) {
  RecordingCallback callback;
  ProgressMonitor monitor(&callback, 1000);
  bool abort = true;
  for (int i = 0; i < 4; ++i) monitor.addBytes(250, abort);
  EXPECT_EQ(callback.percents, (std::vector<uint32_t>{25, 50, 75, 100}));
  EXPECT_FALSE(abort);

  monitor.addBytes(500, abort);
  EXPECT_EQ(monitor.getDone(), 1000u) << "never beyond the expected total";
  EXPECT_EQ(callback.percents.size(), 4u) << "no rise, no report";

  RecordingCallback stopping;
  stopping.abortAt = 50;
  ProgressMonitor stopped(&stopping, 100);
  stopped.addBytes(10, abort);
  EXPECT_FALSE(abort);
  EXPECT_FALSE(stopped.isAborted());
  stopped.addBytes(50, abort);
  EXPECT_TRUE(abort);
  EXPECT_TRUE(stopped.isAborted());
}

}  // namespace
