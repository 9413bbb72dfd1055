// TextFormat: counts with their plural, and names shown so that they cannot
// act on a terminal.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/TextFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(TextFormat, CountsTakeTheirPlural) {
    EXPECT_EQ(TextFormat::count(0, "file", "files"), "0 files");
    EXPECT_EQ(TextFormat::count(1, "file", "files"), "1 file");
    EXPECT_EQ(TextFormat::count(2, "problem", "problems"), "2 problems");
}

TEST(TextFormat, NamesThatCouldActOnTheTerminalAreEscaped) {
    struct Case {
        const char* label;
        std::string name;
        const char* shown;
    } cases[] = {
        {"plain", "docs/a b.txt", "docs/a b.txt"},
        {"UTF-8 stays", "caf\xC3\xA9/\xE6\x97\xA5.txt", "caf\xC3\xA9/\xE6\x97\xA5.txt"},
        {"backslash alone stays", "a\\b", "a\\b"},
        {"escape sequence", "a\x1B[2Jb", "\"a\\e[2Jb\""},
        {"newline and tab", "a\nb\tc", "\"a\\nb\\tc\""},
        {"quote and backslash beside a control", "\"\\\r", "\"\\\"\\\\\\r\""},
        {"other control bytes and DEL", std::string("\x01\x7F", 2), "\"\\x01\\x7F\""},
        {"NUL", std::string("a\0b", 3), "\"a\\x00b\""},
        {"not UTF-8", "caf\xE9", "\"caf\\xE9\""},
        {"C1 control", "a\xC2\x9B" "b", "\"a\\u{009B}b\""},
        {"right-to-left override", "evil\xE2\x80\xAEtxt.exe", "\"evil\\u{202E}txt.exe\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextFormat::displayName(c.name), c.shown) << c.label;
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
