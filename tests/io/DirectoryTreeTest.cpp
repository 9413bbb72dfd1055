// makeDirTree, makeDirTreeKeepCwd, makeParentDirs and enterOrCreateDir.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/XString.h"
#include "io/FileSystem.h"
#include "tests/io/IoTestSupport.h"

namespace fs = std::filesystem;
using io_test::RecordingLog;

namespace {

class DirectoryTreeTest : public io_test::ScratchDirTest {
 protected:
  // The drive part of an absolute path of this system: the scratch folder's
  // own drive on Windows; on POSIX any letter, which stands for the root.
  std::string drive() const {
#ifdef _WIN32
    return rootText().substr(0, 2);
#else
    return "C:";
#endif
  }

  // The scratch folder without its drive part, with backslashes.
  std::string rootWithoutDrive() const {
    std::string text = rootText();
#ifdef _WIN32
    text = text.substr(2);
#endif
    for (char& c : text) {
      if (c == '/') c = '\\';
    }
    return text;
  }

  bool cwdIs(const fs::path& expected) const { return fs::equivalent(fs::current_path(), expected); }
};

TEST_F(DirectoryTreeTest, RelativePathsAreCreatedBelowTheCurrentDirectory) {
  struct Case {
    const char* label;
    const char* path;
    const char* deepest;  // relative to the scratch folder
  };
  const Case cases[] = {
      {"doubled separator skipped", "a/b//c", "a/b/c"},
      {"backslashes", "p\\q\\r", "p/q/r"},
      {"mixed separators", "m\\n/o", "m/n/o"},
      {"trailing separator", "t/u/", "t/u"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::current_path(root_);
    RecordingLog log;
    EXPECT_TRUE(makeDirTree(c.path, &log));
    EXPECT_TRUE(fs::is_directory(root_ / c.deepest));
    EXPECT_TRUE(cwdIs(root_ / c.deepest)) << "makeDirTree leaves the current directory in the deepest one";
    EXPECT_TRUE(log.entries.empty());
  }
}

TEST_F(DirectoryTreeTest, AnExistingDirectoryIsEnteredAtOnce) {
  fs::create_directories(root_ / "x" / "y");
  EXPECT_TRUE(makeDirTree("x/y", nullptr));
  EXPECT_TRUE(cwdIs(root_ / "x" / "y"));
}

TEST_F(DirectoryTreeTest, DrivePathStartsAtTheRootOfTheDrive) {
  const std::string path = drive() + rootWithoutDrive() + "\\d1\\d2";
  fs::current_path(fs::temp_directory_path());
  EXPECT_TRUE(makeDirTree(path.c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(root_ / "d1" / "d2"));
  EXPECT_TRUE(cwdIs(root_ / "d1" / "d2"));
}

TEST_F(DirectoryTreeTest, KeepCwdRestoresTheCurrentDirectory) {
  EXPECT_TRUE(makeDirTreeKeepCwd("k1/k2", nullptr));
  EXPECT_TRUE(fs::is_directory(root_ / "k1" / "k2"));
  EXPECT_TRUE(cwdIs(root_));
}

TEST_F(DirectoryTreeTest, MakeParentDirsCreatesOnlyTheParents) {
  EXPECT_TRUE(makeParentDirs("file.txt", nullptr)) << "no separator: nothing to make";
  EXPECT_TRUE(fs::is_empty(root_));

  EXPECT_TRUE(makeParentDirs("d1/d2/file.txt", nullptr));
  EXPECT_TRUE(fs::is_directory(root_ / "d1" / "d2"));
  EXPECT_FALSE(fs::exists(root_ / "d1" / "d2" / "file.txt"));
  EXPECT_TRUE(cwdIs(root_));

  EXPECT_FALSE(makeParentDirs(nullptr, nullptr));
}

TEST_F(DirectoryTreeTest, ColonInsideThePathIsRefusedWithItsLogEntries) {
  struct Case {
    const char* label;
    std::string path;
    std::vector<std::string> expectedLog;
  };
  const Case cases[] = {
      {"second colon makes a bad component",
       drive() + "\\a:b",
       {"I:Cannot set directory, bad path", "D:path=a:b"}},
      {"first colon not after a drive letter",
       "a\\b:c",
       {"E:Failed to set directory to root directory", "D:directory=a\\b:\\"}},
      {"drive part longer than a drive name is not shortened",
       "abcdefghijk:\\x",
       {"E:Failed to set directory to root directory", "D:directory=abcdefghijk:\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::current_path(root_);
    RecordingLog log;
    EXPECT_FALSE(makeDirTree(c.path.c_str(), &log));
    EXPECT_EQ(log.lines(), c.expectedLog);
  }
  fs::current_path(root_);
  EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(DirectoryTreeTest, EnterOrCreateDirRefusesBadComponents) {
  struct Case {
    const char* component;
    const char* loggedPath;
  };
  const Case cases[] = {{nullptr, "null"}, {"", ""}, {"a\\b", "a\\b"}, {"c:", "c:"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loggedPath);
    RecordingLog log;
    EXPECT_FALSE(enterOrCreateDir(c.component, &log));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"I:Cannot set directory, bad path",
                                                     std::string("D:path=") + c.loggedPath}));
  }
}

TEST_F(DirectoryTreeTest, EnterOrCreateDirLogsAFailedCreate) {
  io_test::ScratchDirTest::writeFile(root_ / "plainfile", "x");
  RecordingLog log;
  // A file of that name exists: the directory can be neither entered nor made.
  EXPECT_FALSE(enterOrCreateDir("plainfile", &log));
  ASSERT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(log.lines()[0], "E:Failed to create directory");
  EXPECT_EQ(log.lines()[1], "D:path=plainfile");
  EXPECT_EQ(log.entries[2].text.rfind("CreateDirectory: ", 0), 0u) << log.entries[2].text;
  if (io_test::kExactSystemTexts) {
    EXPECT_EQ(log.entries[2].text, "CreateDirectory: Cannot create a file when that file already exists.");
  }
}

// The work area holds 799 bytes and a terminator. A longer path used to be cut
// at 799 bytes, and the directories of the cut path were made: here a last
// component "0123456789" cut to "012345678".
TEST_F(DirectoryTreeTest, PathOfEightHundredBytesIsRefusedNotShortened) {
  std::string deep;
  for (int i = 0; i < 79; ++i) deep += "abcdefghi/";
  const std::string tooLong = deep + "0123456789";
  ASSERT_EQ(tooLong.size(), 800u);

  RecordingLog log;
  EXPECT_FALSE(makeDirTree(tooLong.c_str(), &log));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"E:Path is too long", "D:path=" + tooLong}));
  fs::current_path(root_);
  EXPECT_TRUE(fs::is_empty(root_)) << "nothing is created for a refused path";

  EXPECT_FALSE(makeParentDirs((tooLong + "/file").c_str(), nullptr));
  EXPECT_FALSE(makeParentDirs(tooLong.c_str(), nullptr));
  fs::current_path(root_);
  EXPECT_TRUE(fs::is_empty(root_));

#ifndef _WIN32  // Windows limits the current directory to 260 characters
  const std::string longest = deep + "012345678";
  ASSERT_EQ(longest.size(), 799u);
  EXPECT_TRUE(makeDirTreeKeepCwd(longest.c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(root_ / longest));
#endif
}

}  // namespace
