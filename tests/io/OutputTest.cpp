// OutputDataBuffer and OutputFile.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "io/OutputDataBuffer.h"
#include "io/OutputFile.h"
#include "tests/io/IoTestSupport.h"

namespace {

std::string contentOf(const DataBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.getData()), buffer.getSize());
}

TEST(OutputDataBufferTest, AppendsThenOverwritesAfterASeek) {
  DataBuffer buffer;
  buffer.append("0123456789", 10);
  OutputDataBuffer out(&buffer);
  EXPECT_EQ(out.tell(), 10u) << "writing appends";

  EXPECT_TRUE(out.seekTo(4));
  EXPECT_EQ(out.writeBytes("abc", 1, 3), 3u);
  EXPECT_EQ(contentOf(buffer), "0123abc789") << "the size stays 10";
  EXPECT_EQ(out.tell(), 7u);

  EXPECT_EQ(out.writeBytes("ABCDEFGHIJ", 2, 5), 10u);
  EXPECT_EQ(buffer.getSize(), 17u);
  EXPECT_EQ(contentOf(buffer), "0123abcABCDEFGHIJ");

  EXPECT_TRUE(out.seekToEnd());
  EXPECT_EQ(out.tell(), 17u);
}

TEST(OutputDataBufferTest, GrowsByHalfAgainOfWhatIsNeeded) {
  DataBuffer buffer;
  OutputDataBuffer out(&buffer);
  std::vector<uint8_t> block(100, 7);
  EXPECT_EQ(out.writeBytes(block.data(), 1, 100), 100u);
  EXPECT_EQ(buffer.getCapacity(), (100u + 8u) * 3u / 2u);
}

TEST(OutputDataBufferTest, SeekPastTheEndLeavesZerosInTheGap) {
  DataBuffer buffer;
  buffer.append("ab", 2);
  OutputDataBuffer out(&buffer);
  EXPECT_TRUE(out.seekTo(6));
  EXPECT_EQ(buffer.getSize(), 2u) << "a seek alone does not extend the content";
  EXPECT_GE(buffer.getCapacity(), 6u);
  EXPECT_EQ(out.writeBytes("z", 1, 1), 1u);
  EXPECT_EQ(contentOf(buffer), std::string("ab\0\0\0\0z", 7));
}

TEST(OutputDataBufferTest, NothingToWriteOrNoTarget) {
  DataBuffer buffer;
  OutputDataBuffer out(&buffer);
  EXPECT_EQ(out.writeBytes("x", 1, 0), 0u);
  EXPECT_EQ(out.writeBytes("x", 0, 1), 0u);
  EXPECT_EQ(out.writeBytes(nullptr, 1, 1), 0u);
  EXPECT_EQ(buffer.getSize(), 0u);

  OutputDataBuffer detached(nullptr);
  EXPECT_FALSE(detached.seekTo(1));
  EXPECT_FALSE(detached.seekToEnd());
  EXPECT_EQ(detached.tell(), 0u);
  EXPECT_EQ(detached.writeBytes("x", 1, 1), 0u);
}

class OutputFileTest : public io_test::ScratchDirTest {};

TEST_F(OutputFileTest, AppendingStartsAtTheEndOfTheFile) {
  writeFile(root_ / "hundred.bin", std::string(100, '.'));
  HANDLE handle = CreateFileA("hundred.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  {
    OutputFile out(handle, OutputFileStart::AppendAtEnd);
    EXPECT_EQ(out.tell(), 100u);
    EXPECT_EQ(out.writeBytes("tail", 1, 4), 4u);
    EXPECT_EQ(out.tell(), 104u);
    EXPECT_EQ(out.getSize(), 104u);
    EXPECT_EQ(out.writeBytes("x", 1, 0), 0u);
  }
  CloseHandle(handle);  // the output does not own it
  const std::vector<uint8_t> content = readFile(root_ / "hundred.bin");
  EXPECT_EQ(std::string(content.begin(), content.end()), std::string(100, '.') + "tail");
}

TEST_F(OutputFileTest, SeekAndOverwrite) {
  HANDLE handle = CreateFileA("seek.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  {
    OutputFile out(handle);
    out.setOwnsHandle(true);  // closed when the output goes
    EXPECT_EQ(out.tell(), 0u);
    EXPECT_EQ(out.writeBytes("abcdef", 3, 2), 6u);
    EXPECT_TRUE(out.seekTo(2));
    EXPECT_EQ(out.writeBytes("XY", 1, 2), 2u);
    EXPECT_EQ(out.tell(), 4u);
    EXPECT_EQ(out.getSize(), 6u);
    EXPECT_TRUE(out.seekToEnd());
    EXPECT_EQ(out.tell(), 6u);
    EXPECT_EQ(out.writeBytes("!", 1, 1), 1u);
  }
  const std::vector<uint8_t> content = readFile(root_ / "seek.bin");
  EXPECT_EQ(std::string(content.begin(), content.end()), "abXYef!");
}

TEST(OutputFileWithoutTargetTest, DoesNothing) {
  OutputFile out(INVALID_HANDLE_VALUE);
  EXPECT_EQ(out.tell(), 0u);
  EXPECT_FALSE(out.seekTo(3));
  EXPECT_FALSE(out.seekToEnd());
  EXPECT_EQ(out.writeBytes("x", 1, 1), 0u);

  Output base;
  EXPECT_TRUE(base.seekTo(5));
  EXPECT_TRUE(base.seekToEnd());
  EXPECT_EQ(base.tell(), 0u);
  EXPECT_EQ(base.writeBytes("x", 1, 1), 0u);
}

TEST(OutputFileStreamTest, WritesGoToTheStream) {
  FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  OutputFile out(stream);
  EXPECT_EQ(out.writeBytes("abcdef", 2, 3), 3u) << "the stream form counts items";
  EXPECT_EQ(out.tell(), 6u);
  EXPECT_TRUE(out.seekTo(1));
  EXPECT_EQ(out.writeBytes("Z", 1, 1), 1u);
  EXPECT_TRUE(out.seekToEnd());
  EXPECT_EQ(out.tell(), 6u);
  std::rewind(stream);
  char content[7] = {};
  EXPECT_EQ(std::fread(content, 1, 6, stream), 6u);
  EXPECT_STREQ(content, "aZcdef");
  std::fclose(stream);
}

}  // namespace
