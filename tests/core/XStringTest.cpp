// XString: the three lazily built forms and the ANSI question, with the
// ANSI code page set to 1252 (natively through the POSIX layer's hook;
// under Wine the tests run in an en_US locale, whose ANSI code page is 1252).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/XString.h"
#include "platform/win32.h"

namespace {

std::vector<uint16_t> unitsOf(const uint16_t* text)
{
    std::vector<uint16_t> units;
    while (*text != 0) units.push_back(*text++);
    return units;
}

class XStringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        brivaneSetAnsiCodePageForTests(1252);
#endif
        ASSERT_EQ(1252u, GetACP()) << "these tests expect the ANSI code page 1252";
    }
    void TearDown() override
    {
#ifndef _WIN32
        brivaneSetAnsiCodePageForTests(65001);
#endif
    }
};

const uint16_t kCjkOne = 0x4E00;  // not in code page 1252

}  // namespace

TEST_F(XStringTest, NewAndClearedStringsAreEmptyInEveryForm)
{
    XString text;
    EXPECT_EQ(XString::kAnsiUnknown, text.getAnsiStatus());
    EXPECT_STREQ("", text.getAnsi());
    EXPECT_STREQ("", text.getUtf8());
    EXPECT_EQ(0, text.getUtf16()[0]);
    EXPECT_EQ(0, text.getLength());
    EXPECT_TRUE(text.isAnsiRepresentable());

    text.setFromUtf8("abc");
    text.clear();
    EXPECT_EQ(XString::kAnsiUnknown, text.getAnsiStatus());
    EXPECT_EQ(0, text.getLength());
    EXPECT_STREQ("", text.getUtf8());
    EXPECT_EQ(0, text.getUtf16()[0]);
}

TEST_F(XStringTest, EmptyOrNullSettersClear)
{
    XString text;
    text.setFromUtf8("abc");
    text.setFromAnsi("");
    EXPECT_EQ(0, text.getUtf16()[0]);
    EXPECT_EQ(0, text.getLength());

    text.setFromUtf8("abc");
    text.setFromUtf8(nullptr);
    EXPECT_EQ(0, text.getUtf16()[0]);
    EXPECT_EQ(0, text.getLength());

    const uint16_t empty[] = {0, 'x', 0};
    text.setFromUtf8("abc");
    text.setFromUtf16(empty);
    EXPECT_STREQ("", text.getAnsi());
    text.setFromAnsi("abc");
    text.setFromUtf16(nullptr);
    EXPECT_STREQ("", text.getUtf8());
}

TEST_F(XStringTest, AsciiFromUtf8)
{
    XString text;
    text.setFromUtf8("abc");
    EXPECT_EQ(XString::kAnsiUnknown, text.getAnsiStatus());
    EXPECT_TRUE(text.isAnsiRepresentable());
    EXPECT_EQ(XString::kAnsiRepresentable, text.getAnsiStatus());
    EXPECT_STREQ("abc", text.getAnsi());
    EXPECT_EQ(3, text.getLength());
    EXPECT_EQ((std::vector<uint16_t>{'a', 'b', 'c'}), unitsOf(text.getUtf16()));
}

TEST_F(XStringTest, CharacterMissingFromTheAnsiCodePage)
{
    const uint16_t units[] = {'a', 0x00E9, kCjkOne, 'z', 0};
    XString text;
    text.setFromUtf16(units);
    EXPECT_FALSE(text.isAnsiRepresentable());
    EXPECT_EQ(XString::kAnsiNotRepresentable, text.getAnsiStatus());
    EXPECT_STREQ("a\xE9z", text.getAnsi());            // U+4E00 left out
    EXPECT_STREQ("a\xC3\xA9\xE4\xB8\x80z", text.getUtf8());  // kept in UTF-8
    EXPECT_EQ(3, text.getLength());  // the ANSI form is current now

    // A lossy ANSI form built first must not be the source of the others.
    XString other;
    other.setFromUtf16(units);
    EXPECT_STREQ("a\xE9z", other.getAnsi());
    EXPECT_STREQ("a\xC3\xA9\xE4\xB8\x80z", other.getUtf8());
}

TEST_F(XStringTest, LeadingByteOrderMarkIsNotConverted)
{
    const uint16_t units[] = {0xFEFF, 'h', 'i', 0};
    XString text;
    text.setFromUtf16(units);
    EXPECT_STREQ("hi", text.getUtf8());
    EXPECT_STREQ("hi", text.getAnsi());
    EXPECT_EQ((std::vector<uint16_t>{0xFEFF, 'h', 'i'}), unitsOf(text.getUtf16()));
}

TEST_F(XStringTest, InvalidAndBeyondBmpUtf8AreDropped)
{
    XString text;
    text.setFromUtf8("\xC3\x28");
    EXPECT_EQ((std::vector<uint16_t>{'('}), unitsOf(text.getUtf16()));
    EXPECT_EQ(1, text.getLength());

    text.setFromUtf8("a\xF0\x9F\x98\x80" "b");  // U+1F600 between a and b
    EXPECT_EQ((std::vector<uint16_t>{'a', 'b'}), unitsOf(text.getUtf16()));
}

TEST_F(XStringTest, AnsiTextIsTakenAsRepresentableAndConvertedOnDemand)
{
    XString text;
    text.setFromAnsi("caf\xE9 \x80");
    EXPECT_EQ(XString::kAnsiRepresentable, text.getAnsiStatus());
    EXPECT_TRUE(text.isAnsiRepresentable());
    EXPECT_EQ(6, text.getLength());
    EXPECT_STREQ("caf\xC3\xA9 \xE2\x82\xAC", text.getUtf8());
    EXPECT_EQ((std::vector<uint16_t>{'c', 'a', 'f', 0x00E9, ' ', 0x20AC}), unitsOf(text.getUtf16()));
    EXPECT_STREQ("caf\xE9 \x80", text.getAnsi());
}

TEST_F(XStringTest, AppendUtf8ResetsTheAnsiAnswer)
{
    XString text;
    text.setFromAnsi("x");
    text.appendUtf8("\xE4\xB8\x80");  // U+4E00
    EXPECT_EQ(XString::kAnsiUnknown, text.getAnsiStatus());
    EXPECT_FALSE(text.isAnsiRepresentable());
    EXPECT_STREQ("x\xE4\xB8\x80", text.getUtf8());
    EXPECT_EQ((std::vector<uint16_t>{'x', kCjkOne}), unitsOf(text.getUtf16()));

    const uint16_t units[] = {0x00E9, 0};
    text.setFromUtf16(units);
    text.appendUtf8("/b");
    EXPECT_TRUE(text.isAnsiRepresentable());
    EXPECT_STREQ("\xE9/b", text.getAnsi());
}

TEST_F(XStringTest, LengthCountsUtf16UnitsUnlessTheAnsiFormIsCurrent)
{
    XString text;
    text.setFromUtf8("h\xC3\xA9llo");  // 6 UTF-8 bytes, 5 units
    EXPECT_EQ(5, text.getLength());
    text.getAnsi();
    EXPECT_EQ(5, text.getLength());
    const uint16_t units[] = {0xD83D, 0xDE00, 0};  // one character, two units
    text.setFromUtf16(units);
    EXPECT_EQ(2, text.getLength());
    EXPECT_FALSE(text.isAnsiRepresentable());
    EXPECT_EQ(0, text.getLength());  // the ANSI form is current and empty
}

#ifndef _WIN32
TEST_F(XStringTest, AnotherAnsiCodePageAnswersForItsOwnCharacters)
{
    brivaneSetAnsiCodePageForTests(1251);
    XString text;
    text.setFromUtf8("\xD0\x9C\xD0\xB8\xD1\x80");  // Cyrillic "Mir"
    EXPECT_TRUE(text.isAnsiRepresentable());
    EXPECT_STREQ("\xCC\xE8\xF0", text.getAnsi());
    text.setFromUtf8("caf\xC3\xA9");               // e acute is not in 1251
    EXPECT_FALSE(text.isAnsiRepresentable());
    EXPECT_STREQ("caf", text.getAnsi());
}

TEST(XStringUtf8Ansi, Utf8AnsiCodePageRepresentsEverything)
{
    brivaneSetAnsiCodePageForTests(65001);
    XString text;
    text.setFromUtf8("\xE4\xB8\x80");
    EXPECT_TRUE(text.isAnsiRepresentable());
    EXPECT_STREQ("\xE4\xB8\x80", text.getAnsi());
}
#endif
