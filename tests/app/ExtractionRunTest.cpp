// The destination folder of an extraction run: "%temp%" substitution, slash
// folding, and the proposed temporary folder.

#include "app/ExtractionRun.h"

#include <gtest/gtest.h>

#include <string>

#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"

namespace {

std::string settled(const char* unzipDir) {
    StringBuffer configured(unzipDir);
    StringBuffer destination("stale");
    settleDestination(configured, destination);
    return destination.getString();
}

// The temporary-files folder without its trailing separator, '/' separated.
std::string tempFolderWithSlashes() {
    XString temp;
    getTempDir(temp);
    std::string text = temp.getUtf8();
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

TEST(ExtractionRun, RewritesAConfiguredDestination) {
    const std::string temp = tempFolderWithSlashes();
    ASSERT_FALSE(temp.empty());
    struct Case {
        const char* unzipDir;
        std::string expected;
    } cases[] = {
        {"D:\\Program Files\\X", "D:/Program Files/X"},
        {"\\\\server\\share", "/server/share"},  // UNC: both leading backslashes fold to one slash
        {"a///b", "a//b"},                       // one pass over non-overlapping "//"
        {"a\\\\b//c", "a/b/c"},
        {"%TEMP%\\App", temp + "/App"},
        {"%temp%/x", temp + "/x"},
        {"%TeMp%\\a", temp + "/a"},
        {"%tmp%\\App", "%tmp%/App"},  // only %temp% is a placeholder
        {"relative\\dir\\", "relative/dir/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unzipDir);
        EXPECT_EQ(settled(c.unzipDir), c.expected);
    }
}

// The dialog's proposal: the temporary-files folder, "bvz_" and four
// characters from A-Z and 0-9, without extension; not created.
TEST(ExtractionRun, ProposesATemporaryFolderWithoutExtension) {
    XString temp;
    getTempDir(temp);
    const std::string tempText = temp.getUtf8();
    StringBuffer proposal;
    ASSERT_TRUE(proposeTempFolder(proposal));
    const std::string name = proposal.getString();
    ASSERT_EQ(name.size(), tempText.size() + 8) << name;
    EXPECT_EQ(name.substr(0, tempText.size()), tempText);
    const std::string leaf = name.substr(tempText.size());
    EXPECT_EQ(leaf.substr(0, 4), "bvz_");
    for (char c : leaf.substr(4)) {
        EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << leaf;
    }
    XString path;
    path.setFromUtf8(name.c_str());
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.getUtf16())), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
