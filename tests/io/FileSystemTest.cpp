// Opening, testing and deleting files, the directory queries, generated
// temporary names, attributes and FileInfo.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileInfo.h"
#include "io/FileSystem.h"
#include "tests/io/IoTestSupport.h"

namespace fs = std::filesystem;
using io_test::RecordingLog;

namespace {

class FileSystemTest : public io_test::ScratchDirTest {};

constexpr const char* kNotFoundText = "The system cannot find the file specified.";
constexpr const char* kAccessDeniedText = "Access is denied.";

// A failed open leaves exactly: the message, the name, the system's text.
void expectFailedOpenEntries(const RecordingLog& log, size_t first, const char* message,
                             const char* tag, const std::string& name, const char* systemText) {
  ASSERT_GE(log.entries.size(), first + 3);
  EXPECT_EQ(log.lines()[first], std::string("E:") + message);
  EXPECT_EQ(log.lines()[first + 1], std::string("D:") + tag + "=" + name);
  EXPECT_EQ(log.entries[first + 2].tag, "osErrorInfo");
  EXPECT_FALSE(log.entries[first + 2].text.empty());
  EXPECT_NE(log.entries[first + 2].text.back(), '\n') << "the text is trimmed";
  if (io_test::kExactSystemTexts) {
    EXPECT_EQ(log.entries[first + 2].text, systemText);
  }
}

TEST_F(FileSystemTest, FailedAnsiOpenLogsExactlyThreeEntries) {
  RecordingLog log;
  XString path;
  path.setFromUtf8("missing.bin");
  EXPECT_EQ(openForRead(path, &log), INVALID_HANDLE_VALUE);
  ASSERT_EQ(log.entries.size(), 3u);
  expectFailedOpenEntries(log, 0, "Failed to open file (2)", "filename", "missing.bin", kNotFoundText);

  // The same open without a log, and with a discarding log, fails alike.
  EXPECT_EQ(openForRead(path, nullptr), INVALID_HANDLE_VALUE);
  LogNull discard;
  EXPECT_EQ(openForRead(path, &discard), INVALID_HANDLE_VALUE);
}

TEST_F(FileSystemTest, FailedWideOpenNamesTheFileByItsAnsiForm) {
  RecordingLog log;
  const uint16_t name[] = {'n', 'o', 'n', 'e', '.', 'b', 'i', 'n', 0};
  EXPECT_EQ(openFileWide(name, FileOpenMode::OpenForRead, &log), INVALID_HANDLE_VALUE);
  ASSERT_EQ(log.entries.size(), 3u);
  expectFailedOpenEntries(log, 0, "Failed to open file (3)", "filename", "none.bin", kNotFoundText);
}

// A name the ANSI code page cannot hold goes to the wide entry point and is
// logged in UTF-8. (UTF-8 stands for the ANSI page on POSIX: a narrower page
// is set for this test.)
TEST_F(FileSystemTest, FailedOpenOfANonAnsiNameLogsItsUtf8Form) {
#ifdef _WIN32
  ASSERT_NE(GetACP(), 65001u) << "this test needs an ANSI code page other than UTF-8";
#else
  brivaneSetAnsiCodePageForTests(1252);
#endif
  const char* name = "\xE4\xB8\xAD\xE6\x96\x87.bin";  // two CJK characters, not in 1252
  XString path;
  path.setFromUtf8(name);
  RecordingLog log;
  const HANDLE handle = openForRead(path, &log);
#ifndef _WIN32
  brivaneSetAnsiCodePageForTests(65001);
#endif
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  ASSERT_EQ(log.entries.size(), 3u);
  expectFailedOpenEntries(log, 0, "Failed to open file (3)", "utf8Filename", name, kNotFoundText);
}

#ifdef _WIN32
// Sharing violations exist only on Windows. A file held without sharing for
// the whole time outlasts the retries: the open fails with the violation.
TEST_F(FileSystemTest, OpenFailsWhenTheFileStaysLocked) {
  writeFile(root_ / "locked.bin", "x");
  HANDLE holder = CreateFileA("locked.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  XString path;
  path.setFromUtf8("locked.bin");
  EXPECT_EQ(openForRead(path, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  RecordingLog log;
  EXPECT_EQ(openForRead(path, &log), INVALID_HANDLE_VALUE);
  ASSERT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(log.lines()[0], "E:Failed to open file (2)");
  CloseHandle(holder);
  HANDLE reopened = openForRead(path, nullptr);
  EXPECT_NE(reopened, INVALID_HANDLE_VALUE);
  closeFileHandle(reopened);
}
#endif

TEST_F(FileSystemTest, EmptyNamesAreRefusedBeforeAnySystemCall) {
  XString empty;
  RecordingLog log;
  EXPECT_EQ(openForRead(empty, &log), INVALID_HANDLE_VALUE);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"E:Cannot open file, filename is empty."}));

  RecordingLog quiet;
  EXPECT_EQ(createForWrite(empty, &quiet), INVALID_HANDLE_VALUE);
  EXPECT_EQ(openForReadBackup(empty, &quiet), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(quiet.entries.empty()) << "only the read-open logs an empty name";

  RecordingLog ansi;
  EXPECT_EQ(openForReadAnsi("", &ansi), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ansi.lines(), (std::vector<std::string>{"E:Cannot open file, filename is empty."}));
}

TEST_F(FileSystemTest, CreateWriteAndReadBack) {
  XString path;
  path.setFromUtf8("out.bin");
  HANDLE handle = createForWrite(path, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(handle, "hello", 5, &written, nullptr));
  EXPECT_EQ(getFileSizeLogged(handle, nullptr), 5u);
  closeFileHandle(handle);

  handle = openForRead(path, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  char buffer[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(handle, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "hello");
  closeFileHandle(handle);
  closeFileHandle(INVALID_HANDLE_VALUE);  // a no-op
}

TEST_F(FileSystemTest, FileSizeOfABadHandleIsLogged) {
  RecordingLog log;
  EXPECT_EQ(getFileSizeLogged(INVALID_HANDLE_VALUE, &log), INVALID_FILE_SIZE);
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[0].kind, io_test::EntryKind::Error);
  EXPECT_FALSE(log.entries[0].text.empty());
  if (io_test::kExactSystemTexts) {
    EXPECT_EQ(log.entries[0].text, "The handle is invalid.");
  }
  EXPECT_EQ(log.lines()[1], "E:Failed to get file size");
}

TEST_F(FileSystemTest, FileExistsCountsFilesOnly) {
  writeFile(root_ / "present.txt", "x");
  fs::create_directory(root_ / "folder");
  EXPECT_TRUE(fileExists("present.txt", nullptr));
  EXPECT_FALSE(fileExists("absent.txt", nullptr));
  EXPECT_FALSE(fileExists("folder", nullptr)) << "a directory does not count as existing";
  EXPECT_FALSE(fileExists("", nullptr));
  EXPECT_FALSE(fileExists(nullptr, nullptr));
}

TEST_F(FileSystemTest, DeleteReportsEachFailureWithItsEntries) {
  {
    RecordingLog log;
    EXPECT_FALSE(deleteFileUtf8(nullptr, &log));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"E:Cannot delete file, filename is null or empty"}));
  }
  {
    RecordingLog log;
    EXPECT_FALSE(deleteFileUtf8("gone.txt", &log));
    ASSERT_EQ(log.entries.size(), 5u);
    expectFailedOpenEntries(log, 0, "Failed to open file (2)", "filename", "gone.txt", kNotFoundText);
    EXPECT_EQ(log.lines()[3], "D:delete_filename=gone.txt");
    EXPECT_EQ(log.lines()[4], "I:Cannot delete file, file does not exist");
  }
  {
    writeFile(root_ / "locked.txt", "x");
    XString path;
    path.setFromUtf8("locked.txt");
    ASSERT_TRUE(setAttributes(path, FILE_ATTRIBUTE_READONLY));
    RecordingLog log;
    EXPECT_FALSE(deleteFileUtf8("locked.txt", &log));
    ASSERT_EQ(log.entries.size(), 3u);
    EXPECT_EQ(log.lines()[0], "I:Cannot delete file");
    EXPECT_EQ(log.lines()[1], "D:delete_filename=locked.txt");
    EXPECT_EQ(log.entries[2].text.rfind("DeleteFile: ", 0), 0u);
    if (io_test::kExactSystemTexts) {
      EXPECT_EQ(log.entries[2].text, std::string("DeleteFile: ") + kAccessDeniedText);
    }
    EXPECT_TRUE(fs::exists(root_ / "locked.txt"));
  }
  writeFile(root_ / "doomed.txt", "x");
  EXPECT_TRUE(deleteFileUtf8("doomed.txt", nullptr));
  EXPECT_FALSE(fs::exists(root_ / "doomed.txt"));
}

TEST_F(FileSystemTest, ReadOnlyAndHiddenAttributesGovernReplacement) {
  if (io_test::runningUnderWine()) GTEST_SKIP() << "Wine does not enforce the read-only attribute for root";
  XString path;
  path.setFromUtf8("guarded.txt");
  writeFile(root_ / "guarded.txt", "x");
  ASSERT_TRUE(setAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA("guarded.txt"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  RecordingLog log;
  EXPECT_EQ(createForWrite(path, &log), INVALID_HANDLE_VALUE);
  expectFailedOpenEntries(log, 0, "Failed to open file (2)", "filename", "guarded.txt", kAccessDeniedText);
  ASSERT_TRUE(setAttributes(path, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA("guarded.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));

  // A hidden file can be replaced only by a create that asks for a hidden file.
  XString hidden;
  hidden.setFromUtf8("hidden.txt");
  HANDLE handle = createHiddenForWrite(hidden, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  closeFileHandle(handle);
  EXPECT_NE(GetFileAttributesA("hidden.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(createForWrite(hidden, nullptr), INVALID_HANDLE_VALUE);
  handle = createHiddenForWrite(hidden, nullptr);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  closeFileHandle(handle);
}

TEST_F(FileSystemTest, DirectoryQueries) {
  XString current;
  getCurrentDir(current);
  EXPECT_TRUE(fs::equivalent(fs::u8path(current.getUtf8()), root_));

  XString temp;
  getTempDir(temp);
  const std::string tempText = temp.getUtf8();
  ASSERT_FALSE(tempText.empty());
  EXPECT_TRUE(tempText.back() == '\\' || tempText.back() == '/') << tempText;
  EXPECT_TRUE(fs::is_directory(fs::u8path(tempText)));

  XString module;
  getModulePath(module);
  const fs::path modulePath = fs::u8path(module.getUtf8());
  EXPECT_TRUE(fs::is_regular_file(modulePath)) << module.getUtf8();
  EXPECT_EQ(modulePath.stem().string(), "test_io");
}

TEST_F(FileSystemTest, CreateDirAndSetCurrentDir) {
  XString dir;
  dir.setFromUtf8("made");
  EXPECT_TRUE(createDir(dir, nullptr));
  EXPECT_FALSE(createDir(dir, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(setCurrentDir(dir));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root_ / "made"));
  XString missing;
  missing.setFromUtf8("nowhere");
  EXPECT_FALSE(setCurrentDir(missing));
}

// The names' shape: directory, stem, '_', four of A-Z and 0-9, extension.
TEST_F(FileSystemTest, TempNamesHaveTheirShape) {
  struct Case {
    const char* prefix;
    const char* pattern;  // after the directory
  };
  const Case cases[] = {
      {"bvz", "bvz_[A-Z0-9]{4}\\.tmp"},
      {"a.b.c", "a\\.b_[A-Z0-9]{4}\\.c"},
      {"", "x_[A-Z0-9]{4}\\.tmp"},
      {"log.txt", "log_[A-Z0-9]{4}\\.txt"},
  };
  const std::string directory = rootText();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    StringBuffer name;
    tempNameIn(directory.c_str(), c.prefix, name);
    const std::string text = name.getString();
    ASSERT_GT(text.size(), directory.size() + 1);
    EXPECT_EQ(text.substr(0, directory.size()), directory);
    EXPECT_EQ(text[directory.size()], '/') << "a separator is added to the directory";
    EXPECT_TRUE(std::regex_match(text.substr(directory.size() + 1), std::regex(c.pattern))) << text;
  }

  // With a trailing separator none is added.
  StringBuffer name;
  tempNameIn((directory + "/").c_str(), "bvz", name);
  EXPECT_EQ(std::string(name.getString()).rfind(directory + "/bvz_", 0), 0u) << name.getString();

  StringBuffer inTemp;
  tempNameInTempDir("bvz", inTemp);
  XString temp;
  getTempDir(temp);
  EXPECT_EQ(std::string(inTemp.getString()).rfind(temp.getUtf8(), 0), 0u);
}

// The generator is reseeded with the millisecond tick count, so calls within
// one tick start from the same candidate: each name made here must skip the
// files made from the names before it.
TEST_F(FileSystemTest, TempNamesNeverNameAnExistingFile) {
  std::set<std::string> made;
  XString prefix;
  prefix.setFromUtf8("bvz");
  XString directory;
  directory.setFromUtf8(rootText().c_str());
  for (int i = 0; i < 200; ++i) {
    XString name;
    makeTempName(prefix, directory, name);
    const std::string text = name.getUtf8();
    ASSERT_FALSE(fs::exists(fs::u8path(text))) << text;
    EXPECT_TRUE(made.insert(text).second);
    writeFile(fs::u8path(text), "x");
  }
}

TEST_F(FileSystemTest, FileInfoOfAFileAndOfADirectory) {
  writeFile(root_ / "info.bin", std::string(1234, 'i'));
  fs::create_directory(root_ / "infodir");

  FileInfo file;
  ASSERT_TRUE(file.loadFileInfo("info.bin", nullptr));
  EXPECT_FALSE(file.isDirectory());
  EXPECT_EQ(file.getSize(), 1234u);
  EXPECT_STREQ(file.getPath(), "info.bin");
  EXPECT_EQ(file.getAttributes() & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(file.getLastWriteTime().dwHighDateTime, 0u);

  FileInfo dir;
  ASSERT_TRUE(dir.loadFileInfo("infodir", nullptr));
  EXPECT_TRUE(dir.isDirectory());
  EXPECT_NE(dir.getAttributes() & FILE_ATTRIBUTE_DIRECTORY, 0u);

  const uint16_t wideName[] = {'i', 'n', 'f', 'o', '.', 'b', 'i', 'n', 0};
  FileInfo wide;
  ASSERT_TRUE(wide.loadFileInfoWide(wideName, nullptr));
  EXPECT_EQ(wide.getSize(), 1234u);
  EXPECT_STREQ(wide.getPath(), "info.bin");
}

TEST_F(FileSystemTest, FileInfoOfAMissingFileLogsItsSteps) {
  FileInfo info;
  RecordingLog log;
  EXPECT_FALSE(info.loadFileInfoAnsi("nothing.bin", &log));
  ASSERT_EQ(log.entries.size(), 6u);
  EXPECT_EQ(log.lines()[0], "E:loadFileInfoAnsi failed: cannot get attributes");
  expectFailedOpenEntries(log, 1, "Failed to open file (2)", "filename", "nothing.bin", kNotFoundText);
  EXPECT_EQ(log.lines()[4], "E:File does not exist.");
  EXPECT_EQ(log.lines()[5], "D:filename=nothing.bin");

  RecordingLog none;
  EXPECT_FALSE(info.loadFileInfoAnsi(nullptr, &none));
  EXPECT_EQ(none.lines(), (std::vector<std::string>{"E:loadFileInfoAnsi failed: no filename"}));
  EXPECT_FALSE(info.loadFileInfo(nullptr, nullptr));
}

}  // namespace
