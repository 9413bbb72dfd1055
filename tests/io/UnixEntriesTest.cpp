// Unix modes and symbolic links below a folder: set and made without
// following any link, the umask applied, setuid, setgid and sticky never;
// a link, a special file or a second hard link at the name is refused.
// Windows keeps no Unix modes: there both operations fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
#endif
