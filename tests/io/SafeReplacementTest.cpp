// What extraction meets at a name before it writes there: files of an
// earlier run, read-only files, links planted by someone else. Each link is
// replaced, never followed, and nothing outside the scratch folder's
// "inside" changes. Links are made with the host's own calls; the Windows
// build runs the same cases under Wine in the end-to-end suite, since Wine
// cannot make Windows links from a test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "tests/io/IoTestSupport.h"

namespace fs = std::filesystem;

namespace {

class SafeReplacementTest : public io_test::ScratchDirTest {
 protected:
  void SetUp() override {
    io_test::ScratchDirTest::SetUp();
    fs::create_directories("inside");
    fs::create_directories("outside/folder");
    writeText("outside/victim.txt", "the victim's file");
  }

  static void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

  static std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  static std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
  }

  // Writes text at the name through a replacement file and commits it.
  static bool replaceWith(const char* name, const std::string& text, bool hidden = false) {
    XString path;
    path.setFromUtf8(name);
    XString temporary;
    HANDLE handle = createReplacementFile(path, hidden, temporary);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
    return commitReplacementFile(temporary, path);
  }
};

#ifndef _WIN32

TEST_F(SafeReplacementTest, AReplacementFileTakesThePlaceOfWhateverStandsAtTheName) {
  struct Case {
    const char* label;
    void (*plant)();
  } cases[] = {
      {"nothing", [] {}},
      {"a file of an earlier run", [] { writeText("inside/f.txt", "old"); }},
      {"a read-only file", [] {
         writeText("inside/f.txt", "old");
         fs::permissions("inside/f.txt", fs::perms::owner_read | fs::perms::group_read);
       }},
      {"a link to another file", [] { fs::create_symlink(fs::absolute("outside/victim.txt"), "inside/f.txt"); }},
      {"a dangling link", [] { fs::create_symlink(fs::absolute("outside/made-through-link"), "inside/f.txt"); }},
      {"a hard link of another file", [] { fs::create_hard_link("outside/victim.txt", "inside/f.txt"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove("inside/f.txt");
    c.plant();
    ASSERT_TRUE(replaceWith("inside/f.txt", "new content"));
    EXPECT_FALSE(fs::is_symlink("inside/f.txt"));
    EXPECT_EQ(readText("inside/f.txt"), "new content");
    EXPECT_EQ(readText("outside/victim.txt"), "the victim's file");
    EXPECT_FALSE(fs::exists("outside/made-through-link"));
    EXPECT_EQ(namesIn("inside"), std::set<std::string>{"f.txt"}) << "no temporary file is left";
  }
}

TEST_F(SafeReplacementTest, AReplacementIsNotPutInPlaceOfAFolder) {
  fs::create_directories("inside/f.txt");
  EXPECT_FALSE(replaceWith("inside/f.txt", "new"));
  EXPECT_TRUE(fs::is_directory("inside/f.txt"));
  EXPECT_EQ(namesIn("inside"), std::set<std::string>{"f.txt"}) << "the temporary file is removed";
}

TEST_F(SafeReplacementTest, EntryFolderTreesReplaceLinkedComponents) {
  fs::create_symlink(fs::absolute("outside/folder"), "inside/a");
  fs::create_directories("inside/b");
  fs::create_symlink(fs::absolute("outside/folder"), "inside/b/c");
  fs::create_symlink(fs::absolute("outside/nowhere"), "inside/d");
  fs::current_path("inside");
  for (const char* tree : {"a/x/y", "b/c", "d"}) {
    SCOPED_TRACE(tree);
    EXPECT_TRUE(makeDirTreeNoLinks(tree, nullptr));
    fs::current_path(root_ / "inside");
  }
  EXPECT_TRUE(makeParentDirsNoLinks("a/x/file.txt", nullptr));
  EXPECT_EQ(fs::current_path(), root_ / "inside");
  fs::current_path(root_);
  for (const char* folder : {"inside/a", "inside/a/x/y", "inside/b/c", "inside/d"}) {
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder))) << folder;
  }
  EXPECT_TRUE(fs::is_empty("outside/folder"));
  EXPECT_FALSE(fs::exists("outside/nowhere"));
}

// An absolute path is the system's: a link on the way there (as in a merged
// /usr) is followed, not removed.
TEST_F(SafeReplacementTest, AnAbsoluteTreeFollowsTheSystemsLinks) {
  fs::create_symlink(fs::absolute("outside/folder"), "inside/system-link");
  const std::string tree = (root_ / "inside/system-link/made").string();
  EXPECT_TRUE(makeDirTreeNoLinks(tree.c_str(), nullptr));
  fs::current_path(root_);  // the walk stays in the folder it made
  EXPECT_TRUE(fs::is_symlink("inside/system-link"));
  EXPECT_TRUE(fs::is_directory("outside/folder/made"));
}

TEST_F(SafeReplacementTest, PrivateTempFoldersAreNewAndTheUsersAlone) {
  fs::create_directories("tmp");
  const std::string tempDir = (root_ / "tmp").string() + "/";
  setenv("TMPDIR", tempDir.c_str(), 1);
  StringBuffer first;
  StringBuffer second;
  ASSERT_TRUE(makePrivateTempDir("bvz", first));
  ASSERT_TRUE(makePrivateTempDir("bvz", second));
  unsetenv("TMPDIR");
  EXPECT_NE(std::string(first.getString()), std::string(second.getString()));
  for (const StringBuffer* made : {&first, &second}) {
    const fs::path folder = made->getString();
    EXPECT_EQ(folder.parent_path(), root_ / "tmp");
    EXPECT_EQ(folder.filename().string().substr(0, 4), "bvz_");
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(folder));
  }
}

#endif

// On every system: the link queries see a real file and a real folder as
// what they are.
TEST_F(SafeReplacementTest, RealFilesAndFoldersAreNotLinks) {
  XString file;
  file.setFromUtf8("outside/victim.txt");
  XString folder;
  folder.setFromUtf8("outside/folder");
  EXPECT_FALSE(isLinkAt(file));
  EXPECT_FALSE(isLinkAt(folder));
  EXPECT_TRUE(removeLinkAt(file));
  EXPECT_TRUE(fs::exists("outside/victim.txt"));
  EXPECT_TRUE(replaceWith("inside/plain.txt", "x", /*hidden=*/true));
  EXPECT_EQ(readText("inside/plain.txt"), "x");
}

}  // namespace
