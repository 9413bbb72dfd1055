// The columns of the installer's --list: times in UTC, attribute letters,
// sizes, and names that cannot act on the terminal.

#include "app/EntryListing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kUnixEpochFileTime = 11644473600ull * kTicksPerSecond;

std::string timeText(uint64_t fileTime) {
    StringBuffer line;
    EntryListing::appendFileTime(line, fileTime);
    return line.getString();
}

uint64_t unixTime(int64_t seconds) { return kUnixEpochFileTime + static_cast<uint64_t>(seconds) * kTicksPerSecond; }

TEST(EntryListing, FileTimesInUtc) {
    struct Case {
        uint64_t fileTime;
        const char* text;
    };
    // Unix times and their dates as date(1) -u gives them.
    const Case cases[] = {
        {0, "1601-01-01 00:00:00"},
        {kUnixEpochFileTime - kTicksPerSecond, "1969-12-31 23:59:59"},
        {unixTime(0), "1970-01-01 00:00:00"},
        {unixTime(951782400), "2000-02-29 00:00:00"},
        {unixTime(1000000000) + kTicksPerSecond / 2, "2001-09-09 01:46:40"},
        {unixTime(2147483648), "2038-01-19 03:14:08"},
        {unixTime(4107542399), "2100-02-28 23:59:59"},
        {unixTime(4107542400), "2100-03-01 00:00:00"},
        {unixTime(253402300799), "9999-12-31 23:59:59"},
        {unixTime(253402300800), "10000-01-01 00:00:00"},  // five digits, not "0000"
        {0x7FFFFFFFFFFFFFFFull, "30828-09-14 02:48:05"},     // the largest FILETIME Windows takes
        {0xFFFFFFFFFFFFFFFFull, "60056-05-28 05:36:10"},     // the largest the field holds
    };
    for (const Case& c : cases) EXPECT_EQ(timeText(c.fileTime), c.text) << c.fileTime;
}

TEST(EntryListing, AttributeLetters) {
    const struct {
        uint32_t attributes;
        const char* text;
    } cases[] = {{0x00, "-----"}, {0x20, "----a"}, {0x10, "d----"}, {0x27, "-rhsa"}, {0x80, "-----"}};
    for (const auto& c : cases) {
        StringBuffer line;
        EntryListing::appendAttributes(line, c.attributes);
        EXPECT_STREQ(line.getString(), c.text) << c.attributes;
    }
}

TEST(EntryListing, NamesCannotActOnTheTerminal) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"docs/manual.txt", "docs/manual.txt"},
        {"Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC.txt", "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC.txt"},
        {"a\x1B[2Jb", "a\\x1B[2Jb"},
        {"line\nbreak\r", "line\\x0Abreak\\x0D"},
        {"del\x7F", "del\\x7F"},
        {"c1\xC2\x9B" "x", "c1\\xC2\\x9Bx"},
        {"evil\xE2\x80\xAEtxt.exe", "evil\\xE2\\x80\\xAEtxt.exe"},
        {"isolate\xE2\x81\xA6", "isolate\\xE2\\x81\\xA6"},
        {"back\\slash", "back\\\\slash"},
        {"cut\xE2", "cut\xE2"},
    };
    for (const auto& c : cases) {
        StringBuffer line;
        EntryListing::appendDisplayName(line, c.name);
        EXPECT_STREQ(line.getString(), c.shown);
    }
}

TEST(EntryListing, DecimalsRightAligned) {
    StringBuffer line;
    EntryListing::appendDecimal(line, 0, 3);
    line.appendChar('|');
    EntryListing::appendDecimal(line, 18446744073709551615ull, 5);
    line.appendChar('|');
    EntryListing::appendDecimal(line, 42, 0);
    EXPECT_STREQ(line.getString(), "  0|18446744073709551615|42");
}

}  // namespace
