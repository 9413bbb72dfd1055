// InputTree: the entry order (directories before contents, byte order of
// names), naming relative to each input's parent, links and special files,
// times and attributes, and the refusals.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/InputTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "ToolTestSupport.h"

namespace {

using namespace tool_test;

std::vector<std::string> names(const InputTree& tree) {
    std::vector<std::string> out;
    for (const PackEntry& entry : tree.entries()) out.push_back(entry.name + (entry.isDirectory ? "/" : ""));
    return out;
}

class InputTreeTest : public ScratchTest {
protected:
    void makeSampleTree(const fs::path& root) {
        writeText(root / "b", "b");
        writeText(root / "a.txt", "a");
        writeText(root / "A", "A");
        writeText(root / "a" / "z", "z");
        fs::create_directories(root / "a" / "b");
        fs::create_directories(root / "empty");
    }
};

TEST_F(InputTreeTest, DirectoriesBeforeContentsInByteOrder) {
    makeSampleTree(scratch / "in");
    InputTree tree(false, false, fs::path());
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    EXPECT_EQ(names(tree), (std::vector<std::string>{"A", "a/", "a/b/", "a/z", "a.txt", "b", "empty/"}));
    EXPECT_EQ(tree.fileCount(), 4u);
    EXPECT_EQ(tree.directoryCount(), 3u);
    EXPECT_EQ(tree.totalFileBytes(), 4u);
}

TEST_F(InputTreeTest, LoneFolderKeepsItsNameOnlyWhenAsked) {
    makeSampleTree(scratch / "in");
    for (const std::string spelling : {"in", "in/", "./in/."}) {
        InputTree tree(true, false, fs::path());
        ASSERT_TRUE(tree.gather({(scratch / spelling).string()})) << spelling;
        ASSERT_FALSE(tree.entries().empty());
        EXPECT_EQ(tree.entries()[0].name, "in") << spelling;
        EXPECT_EQ(tree.entries()[1].name, "in/A") << spelling;
    }
}

TEST_F(InputTreeTest, SeveralInputsAreNamedAfterThemselvesWhateverTheirOrder) {
    writeText(scratch / "x" / "one.txt", "1");
    writeText(scratch / "y" / "two" / "2.txt", "2");
    const std::vector<std::string> expected = {"one.txt", "two/", "two/2.txt"};
    InputTree forward(false, false, fs::path());
    ASSERT_TRUE(forward.gather({(scratch / "x/one.txt").string(), (scratch / "y/two").string()}));
    EXPECT_EQ(names(forward), expected);
    InputTree backward(false, false, fs::path());
    ASSERT_TRUE(backward.gather({(scratch / "y/two").string(), (scratch / "x/one.txt").string()}));
    EXPECT_EQ(names(backward), expected);
}

TEST_F(InputTreeTest, LinksArePackedAsLinks) {
    writeText(scratch / "in" / "real.txt", "real");
    fs::create_directories(scratch / "elsewhere");
    fs::create_symlink("real.txt", scratch / "in" / "file-link");
    fs::create_directory_symlink(scratch / "elsewhere", scratch / "in" / "dir-link");
    fs::create_symlink("nowhere", scratch / "in" / "dangling");
    fs::create_symlink("loop-b", scratch / "in" / "loop-a");
    fs::create_symlink("loop-a", scratch / "in" / "loop-b");
    ASSERT_EQ(::mkfifo((scratch / "in" / "pipe").c_str(), 0600), 0);
    InputTree tree(false, false, fs::path());
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    EXPECT_EQ(names(tree), (std::vector<std::string>{"real.txt"}));
    std::vector<std::string> links;
    for (const PackLink& link : tree.links()) links.push_back(link.name + " -> " + link.target);
    EXPECT_EQ(links, (std::vector<std::string>{"dangling -> nowhere", "dir-link -> " + (scratch / "elsewhere").string(),
                                               "file-link -> real.txt", "loop-a -> loop-b", "loop-b -> loop-a"}));
    ASSERT_EQ(tree.warnings().size(), 1u);
    EXPECT_NE(tree.warnings()[0].find("pipe"), std::string::npos);
}

TEST_F(InputTreeTest, DereferencePacksWhatLinksPointTo) {
    writeText(scratch / "in" / "real.txt", "real");
    fs::create_directories(scratch / "elsewhere");
    fs::create_symlink(scratch / "in" / "real.txt", scratch / "in" / "file-link");
    fs::create_directory_symlink(scratch / "elsewhere", scratch / "in" / "dir-link");
    fs::permissions(scratch / "in" / "real.txt", fs::perms(0750));
    InputTree tree(false, true, fs::path());
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    EXPECT_EQ(names(tree), (std::vector<std::string>{"file-link", "real.txt"}));
    EXPECT_EQ(tree.entries()[0].size, 4u);  // the link is packed as the file it names
    EXPECT_EQ(tree.entries()[0].mode, 0750u);  // with the mode of that file
    EXPECT_TRUE(tree.links().empty());
    ASSERT_EQ(tree.warnings().size(), 1u);
    EXPECT_NE(tree.warnings()[0].find("dir-link"), std::string::npos);

    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> links;  // name, target
        const char* expectedText;
    } cases[] = {
        {"dangling link", {{"dangling", "nowhere"}}, "the link points nowhere"},
        {"loop of two links", {{"loop-a", "loop-b"}, {"loop-b", "loop-a"}}, "a loop of links"},
        {"link to itself", {{"self", "self"}}, "a loop of links"},
    };
    for (const Case& c : cases) {
        const fs::path folder = scratch / ("case-" + std::string(c.label));
        fs::create_directories(folder);
        for (const auto& [name, target] : c.links) fs::create_symlink(target, folder / name);
        InputTree broken(false, true, fs::path());
        EXPECT_FALSE(broken.gather({folder.string()})) << c.label;
        ASSERT_EQ(broken.errors().size(), c.links.size()) << c.label;
        EXPECT_NE(broken.errors()[0].find(c.expectedText), std::string::npos) << c.label << ": " << broken.errors()[0];
        // Named on the command line, a link is followed: the same messages.
        InputTree named(false, false, fs::path());
        EXPECT_FALSE(named.gather({(folder / c.links[0].first).string()})) << c.label;
        ASSERT_EQ(named.errors().size(), 1u) << c.label;
        EXPECT_NE(named.errors()[0].find(c.expectedText), std::string::npos) << c.label << ": " << named.errors()[0];
    }
}

TEST_F(InputTreeTest, ModesOfEveryEntry) {
    writeText(scratch / "in" / "tool", "#!/bin/sh\n");
    writeText(scratch / "in" / "data.txt", "d");
    fs::create_directories(scratch / "in" / "private");
    fs::permissions(scratch / "in" / "tool", fs::perms(04755));
    fs::permissions(scratch / "in" / "data.txt", fs::perms(0640));
    fs::permissions(scratch / "in" / "private", fs::perms(0700));
    InputTree tree(false, false, fs::path());
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    ASSERT_EQ(names(tree), (std::vector<std::string>{"data.txt", "private/", "tool"}));
    EXPECT_EQ(tree.entries()[0].mode, 0640u);
    EXPECT_EQ(tree.entries()[1].mode, 0700u);
    EXPECT_EQ(tree.entries()[2].mode, 04755u);  // recorded as it is; installers leave setuid out
}

TEST_F(InputTreeTest, Refusals) {
    writeText(scratch / "p" / "same.txt", "1");
    writeText(scratch / "q" / "same.txt", "2");
    writeText(scratch / "bad" / "back\\slash", "3");
    writeText(scratch / "latin1" / "caf\xE9", "4");
    writeText(scratch / "emoji" / "\xF0\x9F\x93\xA6.txt", "5");
    struct Case {
        const char* label;
        std::vector<std::string> inputs;
        const char* expectedText;
    } cases[] = {
        {"missing input", {(scratch / "missing").string()}, "no such file or folder"},
        {"same name twice", {(scratch / "p/same.txt").string(), (scratch / "q/same.txt").string()}, "both would be packed as same.txt"},
        {"backslash in a name", {(scratch / "bad").string()}, "folder separator"},
        {"name not UTF-8", {(scratch / "latin1").string()}, "not valid UTF-8"},
        {"character beyond U+FFFF", {(scratch / "emoji").string()}, "beyond U+FFFF"},
    };
    for (const Case& c : cases) {
        InputTree tree(false, false, fs::path());
        EXPECT_FALSE(tree.gather(c.inputs)) << c.label;
        ASSERT_FALSE(tree.errors().empty()) << c.label;
        EXPECT_NE(tree.errors()[0].find(c.expectedText), std::string::npos) << c.label << ": " << tree.errors()[0];
    }
}

TEST_F(InputTreeTest, ExcludedPathIsLeftOut) {
    writeText(scratch / "in" / "keep.txt", "k");
    writeText(scratch / "in" / "out.exe", "old installer");
    InputTree tree(false, false, scratch / "in" / "out.exe");
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    EXPECT_EQ(names(tree), (std::vector<std::string>{"keep.txt"}));
}

TEST_F(InputTreeTest, TimesAndAttributes) {
    writeText(scratch / "in" / "rw.txt", "w");
    writeText(scratch / "in" / "ro.txt", "r");
    fs::create_directories(scratch / "in" / "dir");
    // 2001-09-09 01:46:40.1234567 UTC; FILETIME keeps 100 ns.
    const struct timespec when[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (scratch / "in" / "rw.txt").c_str(), when, 0), 0);
    fs::permissions(scratch / "in" / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    InputTree tree(false, false, fs::path());
    ASSERT_TRUE(tree.gather({(scratch / "in").string()}));
    ASSERT_EQ(names(tree), (std::vector<std::string>{"dir/", "ro.txt", "rw.txt"}));
    EXPECT_EQ(tree.entries()[0].attributes, 0x10u);
    EXPECT_EQ(tree.entries()[1].attributes, 0x21u);
    EXPECT_EQ(tree.entries()[2].attributes, 0x20u);
    const uint64_t unixEpoch = 0x019DB1DED53E8000ull;
    EXPECT_EQ(tree.entries()[2].fileTime, unixEpoch + 1000000000ull * 10000000ull + 1234567ull);
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
