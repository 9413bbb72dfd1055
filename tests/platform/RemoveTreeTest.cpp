// removeTreeW on a real tree: nested folders (the walk's path grows level by
// level), a read-only file, a long name and trailing separators (paths stay
// below MAX_PATH); natively against our POSIX layer, built for Windows against
// the system itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/SafeFileOps.h"
#include "platform/win32.h"
#include "tests/io/IoTestSupport.h"

namespace fs = std::filesystem;

namespace {

class RemoveTreeTest : public io_test::ScratchDirTest {};

std::u16string utf16Of(const fs::path& path) { return path.u16string(); }

}  // namespace

TEST_F(RemoveTreeTest, RemovesNestedFoldersReadOnlyFilesAndLongNames) {
    const std::string longName(100, 'n');
    const struct {
        const char* label;
        const char* suffix;  // appended to the tree's name when it is passed
    } cases[] = {{"plain name", ""}, {"trailing backslash", "\\"}, {"trailing separators", "\\/\\"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path tree = root_ / "tree";
        fs::path deep = tree;
        for (int level = 0; level < 6; ++level) {
            deep /= "level" + std::to_string(level) + "-" + longName.substr(0, 12);
            fs::create_directories(deep);
            writeFile(deep / "file.txt", "x");
        }
        writeFile(tree / longName, "long");
        writeFile(tree / "readonly.txt", "r");
        fs::permissions(tree / "readonly.txt", fs::perms::owner_write, fs::perm_options::remove);
        fs::create_directory(tree / "empty");

        std::u16string name = utf16Of(tree);
        for (const char* s = c.suffix; *s != 0; ++s) name.push_back(static_cast<char16_t>(*s));
        EXPECT_TRUE(removeTreeW(reinterpret_cast<LPCWSTR>(name.c_str())));
        EXPECT_FALSE(fs::exists(tree));
    }
}

TEST_F(RemoveTreeTest, AMissingTreeIsNoFailure) {
    const std::u16string name = utf16Of(root_ / "missing");
    EXPECT_TRUE(removeTreeW(reinterpret_cast<LPCWSTR>(name.c_str())));
}
