// Unix modes and symbolic links below a folder: set and made without
// following any link, the umask applied, setuid, setgid and sticky never;
// a link, a special file or a second hard link at the name is refused.
// Windows keeps no Unix modes: there both operations fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/FileSystem.h"
#include "tests/io/IoTestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class UnixEntriesTest : public io_test::ScratchDirTest {
 protected:
  void SetUp() override {
    io_test::ScratchDirTest::SetUp();
    fs::create_directories("dest/sub");
    fs::create_directories("outside");
    writeText("dest/sub/file", "f");
    writeText("outside/victim", "v");
  }

  static void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  static unsigned modeOf(const fs::path& path) {
    return unsigned(fs::symlink_status(path).permissions()) & 07777u;
  }
};

}  // namespace

#ifdef _WIN32
TEST_F(UnixEntriesTest, WindowsKeepsNoUnixModes) {
  EXPECT_FALSE(keepsUnixModes());
  EXPECT_FALSE(setModeBelow("dest", "sub/file", 0755));
  EXPECT_FALSE(createLinkBelow("dest", "link", "sub/file"));
}
#else
TEST_F(UnixEntriesTest, ModesUnderTheUmaskWithoutSetIdBits) {
  ASSERT_TRUE(keepsUnixModes());
  const mode_t previous = ::umask(027);
  EXPECT_TRUE(setModeBelow("dest", "sub/file", 06777));
  EXPECT_TRUE(setModeBelow("dest", "sub", 01777));
  ::umask(previous);
  EXPECT_EQ(modeOf("dest/sub/file"), 0750u);
  EXPECT_EQ(modeOf("dest/sub"), 0750u);
}

TEST_F(UnixEntriesTest, NothingIsFollowed) {
  fs::permissions("outside/victim", fs::perms(0600));
  fs::create_symlink("../outside/victim", "dest/link-to-victim");
  fs::create_directory_symlink("../outside", "dest/folder-link");
  fs::create_hard_link("outside/victim", "dest/hard-link");
  struct Case {
    const char* label;
    const char* name;
    bool linkRefused;  // a link made there would not replace the name itself
  } cases[] = {
      {"a link at the name", "link-to-victim", false},
      {"a second hard link", "hard-link", false},
      {"a link on the way", "folder-link/victim", true},
      {"a climb out", "../outside/victim", true},
      {"an absolute name", "/etc/hostname", true},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(setModeBelow("dest", c.name, 0777)) << c.label;
    if (c.linkRefused) {
      EXPECT_FALSE(createLinkBelow("dest", c.name, "x")) << c.label;
    }
  }
  EXPECT_EQ(modeOf("outside/victim"), 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator("outside"), fs::directory_iterator()), 1);
}

TEST_F(UnixEntriesTest, LinksReplaceWhatStandsAtTheirName) {
  fs::create_symlink("../outside/victim", "dest/planted");
  EXPECT_TRUE(createLinkBelow("dest", "planted", "sub/file"));
  EXPECT_TRUE(createLinkBelow("dest", "sub/file", "/nowhere/at/all"));  // a file is replaced too
  EXPECT_TRUE(createLinkBelow(rootText().c_str(), "dest/sub/second", "../planted"));
  EXPECT_EQ(fs::read_symlink("dest/planted"), "sub/file");
  EXPECT_EQ(fs::read_symlink("dest/sub/file"), "/nowhere/at/all");
  EXPECT_EQ(fs::read_symlink("dest/sub/second"), "../planted");
  EXPECT_FALSE(createLinkBelow("dest", "sub", "x")) << "a folder is not replaced";
  EXPECT_TRUE(fs::is_directory(fs::symlink_status("dest/sub")));
  // Only the links themselves were added: no temporary name is left.
  EXPECT_EQ(std::distance(fs::directory_iterator("dest"), fs::directory_iterator()), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator("dest/sub"), fs::directory_iterator()), 2);
  EXPECT_EQ(std::ifstream("outside/victim").get(), 'v');
}
TEST_F(UnixEntriesTest, AModeAlreadyThereKeepsNoSetIdBit) {
  // The same permission bits with setuid, setgid and sticky on: the name
  // is changed all the same, and the three bits go.
  const mode_t previous = ::umask(022);
  ASSERT_EQ(::chmod("dest/sub/file", 06755), 0);
  ASSERT_EQ(::chmod("dest/sub", 01755), 0);
  EXPECT_TRUE(setModeBelow("dest", "sub/file", 0755));
  EXPECT_TRUE(setModeBelow("dest", "sub", 0755));
  ::umask(previous);
  EXPECT_EQ(modeOf("dest/sub/file"), 0755u);
  EXPECT_EQ(modeOf("dest/sub"), 0755u);
}

TEST_F(UnixEntriesTest, ARunSetsEveryNameAsSingleCallsWould) {
  // Folders entered, left and entered again, a name at the base, and a
  // branch deeper than the folders a run keeps open.
  std::string deep = "dest/deep";
  std::vector<std::string> names = {"sub/file", "a/b/c/x", "a/b/d/y", "a/e/z", "top", "a/b/c/w", "sub/file2"};
  std::string relative = "deep";
  for (int level = 0; level < 40; ++level) {
    relative += "/l" + std::to_string(level);
    if (level == 20 || level == 39) names.push_back(relative + "/f");
  }
  names.push_back("a/b/c/v");
  for (const std::string& name : names) {
    fs::create_directories(fs::path("dest/" + name).parent_path());
    writeText("dest/" + name, "n");
  }
  const mode_t previous = ::umask(022);
  {
    ModeRunBelow run("dest");
    unsigned mode = 0700;
    for (const std::string& name : names) EXPECT_TRUE(run.setMode(name.c_str(), mode++)) << name;
    EXPECT_TRUE(run.setMode("a/b", 0711));
    EXPECT_FALSE(run.setMode("a/missing/x", 0700));
    EXPECT_TRUE(run.setMode("a/b/c/x", 0600)) << "a run goes on after a failure";
  }
  ::umask(previous);
  unsigned mode = 0700;
  for (const std::string& name : names) {
    const unsigned expected = name == "a/b/c/x" ? 0600u : (mode & ~022u);
    EXPECT_EQ(modeOf("dest/" + name), expected) << name;
    ++mode;
  }
  EXPECT_EQ(modeOf("dest/a/b"), 0711u & ~022u);
}

TEST_F(UnixEntriesTest, AFolderSwappedForALinkDuringARunLeadsNowhere) {
  // The folder a run has open is moved away and a link to another folder
  // put at its name: later names of the run, in that folder and below it,
  // are never reached through the link.
  fs::create_directories("dest/a/b");
  writeText("dest/a/x", "x");
  writeText("dest/a/y", "y");
  writeText("dest/a/b/z", "z");
  writeText("outside/y", "v");
  fs::create_directories("outside/b");
  writeText("outside/b/z", "v");
  fs::permissions("outside/y", fs::perms(0600));
  fs::permissions("outside/b/z", fs::perms(0600));
  {
    ModeRunBelow run("dest");
    EXPECT_TRUE(run.setMode("a/x", 0755));
    fs::rename("dest/a", "dest/moved");
    fs::create_directory_symlink("../outside", "dest/a");
    run.setMode("a/y", 0777);
    run.setMode("a/b/z", 0777);
  }
  EXPECT_EQ(modeOf("outside/y"), 0600u);
  EXPECT_EQ(modeOf("outside/b/z"), 0600u);
}
#endif
