// StringBuffer: construction sizes, the three growth rules with the adaptive
// increment, text operations and their edge cases, the system error text,
// and the guard that stops the process on a destroyed object.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "platform/win32.h"

namespace {

std::string contentOf(const StringBuffer& sb) {
    return std::string(sb.getString(), static_cast<size_t>(sb.getSize()));
}

} // namespace

TEST(StringBufferTest, ConstructionSizes) {
    StringBuffer byDefault;
    EXPECT_EQ(byDefault.getCapacity(), 200);
    EXPECT_EQ(byDefault.getGrowBy(), 200);
    EXPECT_EQ(byDefault.getSize(), 0);
    EXPECT_STREQ(byDefault.getString(), "");

    StringBuffer fromNull(nullptr);
    EXPECT_EQ(fromNull.getCapacity(), 4);
    EXPECT_EQ(fromNull.getSize(), 0);
    EXPECT_STREQ(fromNull.getString(), "");

    StringBuffer fromText("abc");
    EXPECT_EQ(fromText.getCapacity(), 4);
    EXPECT_EQ(fromText.getSize(), 3);
    EXPECT_STREQ(fromText.getString(), "abc");
}

TEST(StringBufferTest, SerialNumbersIncrease) {
    StringBuffer first;
    StringBuffer second;
    EXPECT_GE(first.getSerial(), 100);
    EXPECT_EQ(second.getSerial(), first.getSerial() + 1);
}

// Each row starts from a fresh string built from `initial` (null: the
// default constructor), applies one growth and checks capacity and growBy.
TEST(StringBufferTest, GrowthRulesAndAdaptiveIncrement) {
    enum class Op { Append, AppendN, AppendChar, ExpectNumBytes };
    struct Case {
        const char* label;
        const char* initial;
        Op op;
        int32_t count;
        int32_t capacity;
        int32_t growBy;
    };
    const Case cases[] = {
        // rule 1: length + n + growBy + 1; growBy -> capacity / 2
        {"append 250 to default", nullptr, Op::Append, 250, 451, 225},
        {"append 200 to default grows (>=)", nullptr, Op::Append, 200, 401, 200},
        {"append 199 to default fits", nullptr, Op::Append, 199, 200, 200},
        // rule 2: length + n + growBy
        {"appendN 250 to default", nullptr, Op::AppendN, 250, 450, 225},
        // rule 3: length + growBy + 1; the increment may drop to capacity / 2
        {"appendChar on full abc", "abc", Op::AppendChar, 1, 204, 102},
        // expectNumBytes grows like rule 1 without adapting growBy
        {"expectNumBytes 300 on default", nullptr, Op::ExpectNumBytes, 300, 501, 200},
        {"expectNumBytes 199 on default", nullptr, Op::ExpectNumBytes, 199, 200, 200},
        // increment capped at 500000
        {"append 2000000 to default", nullptr, Op::Append, 2000000, 2000201, 500000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto sb = c.initial ? std::make_unique<StringBuffer>(c.initial)
                            : std::make_unique<StringBuffer>();
        const std::string before = contentOf(*sb);
        const std::string bytes(static_cast<size_t>(c.count), 'x');
        std::string expected = before;
        switch (c.op) {
        case Op::Append:
            sb->append(bytes.c_str());
            expected += bytes;
            break;
        case Op::AppendN:
            sb->appendN(bytes.data(), c.count);
            expected += bytes;
            break;
        case Op::AppendChar:
            sb->appendChar('x');
            expected += 'x';
            break;
        case Op::ExpectNumBytes:
            sb->expectNumBytes(c.count);
            break;
        }
        EXPECT_EQ(sb->getCapacity(), c.capacity);
        EXPECT_EQ(sb->getGrowBy(), c.growBy);
        EXPECT_EQ(contentOf(*sb), expected);
        EXPECT_EQ(sb->getString()[sb->getSize()], '\0');
    }
}

TEST(StringBufferTest, IncrementNeverExceedsCapAcrossManyGrowths) {
    StringBuffer sb;
    const std::string chunk(300000, 'y');
    for (int i = 0; i < 12; ++i) {
        sb.append(chunk.c_str());
        EXPECT_LE(sb.getGrowBy(), 500000);
        EXPECT_LT(sb.getSize(), sb.getCapacity());
    }
    EXPECT_EQ(sb.getGrowBy(), 500000);
    EXPECT_EQ(sb.getSize(), 12 * 300000);
}

TEST(StringBufferTest, NullAndEmptyAppendsChangeNothing) {
    StringBuffer sb("abc");
    sb.append(nullptr);
    sb.append("");
    sb.appendN("zz", 0);
    sb.appendN(nullptr, 5);
    sb.appendN("zz", -1);
    EXPECT_EQ(contentOf(sb), "abc");
    EXPECT_EQ(sb.getCapacity(), 4);
}

TEST(StringBufferTest, EmbeddedNulsCopiedByAppendNAndAppendSbNotBySetSb) {
    StringBuffer source;
    source.appendN("a\0b", 3);
    EXPECT_EQ(source.getSize(), 3);

    StringBuffer bytewise;
    bytewise.appendSb(source);
    EXPECT_EQ(contentOf(bytewise), std::string("a\0b", 3));

    StringBuffer textwise("old");
    textwise.setSb(source);
    EXPECT_EQ(contentOf(textwise), "a");

    DataBuffer db;
    db.append("q\0r", 3);
    StringBuffer fromDb;
    fromDb.appendDb(db);
    EXPECT_EQ(contentOf(fromDb), std::string("q\0r", 3));
}

TEST(StringBufferTest, SetStringAcceptsItsOwnText) {
    StringBuffer sb("hello world");
    sb.setString(sb.getString() + 6);
    EXPECT_EQ(contentOf(sb), "world");
    sb.setString(nullptr);
    EXPECT_EQ(sb.getSize(), 0);

    // setSb of itself keeps the text instead of clearing it first.
    StringBuffer self("keep");
    self.setSb(self);
    EXPECT_EQ(contentOf(self), "keep");
}

TEST(StringBufferTest, AppendOfOwnTextSurvivesGrowth) {
    StringBuffer sb("abc"); // full: the next append reallocates
    sb.append(sb.getString());
    EXPECT_EQ(contentOf(sb), "abcabc");
    sb.appendSb(sb);
    EXPECT_EQ(contentOf(sb), "abcabcabcabc");
}

TEST(StringBufferTest, ShortenLastCharCharAt) {
    StringBuffer sb("abc");
    EXPECT_EQ(sb.lastChar(), 'c');
    EXPECT_EQ(sb.charAt(0), 'a');
    EXPECT_EQ(sb.charAt(-1), '\0');
    EXPECT_EQ(sb.charAt(3), '\0');
    sb.shorten(1);
    EXPECT_EQ(contentOf(sb), "ab");
    sb.shorten(10);
    EXPECT_EQ(sb.getSize(), 0);
    EXPECT_STREQ(sb.getString(), "");
    EXPECT_EQ(sb.lastChar(), '\0');
}

TEST(StringBufferTest, RemovingAnExtensionTheWayTheExtractionRunDoes) {
    StringBuffer name("bvzAB12.tmp");
    ASSERT_TRUE(name.containsChar('.'));
    while (name.lastChar() != '.')
        name.shorten(1);
    name.shorten(1);
    EXPECT_EQ(contentOf(name), "bvzAB12");
}

TEST(StringBufferTest, ContainsCharSeesTextUpToFirstNul) {
    StringBuffer sb;
    sb.appendN("ab\0c", 4);
    EXPECT_TRUE(sb.containsChar('b'));
    EXPECT_FALSE(sb.containsChar('c'));
    EXPECT_TRUE(sb.containsChar('\0'));
}

TEST(StringBufferTest, EqualsIgnoreCase) {
    struct Case {
        const char* text;
        const char* other;
        bool expected;
    };
    const Case cases[] = {
        {"true", "TRUE", true},
        {"true", "TrUe", true},
        {"true", "tru", false},
        {"tru", "true", false},
        {"", nullptr, true},
        {"x", nullptr, false},
        {"", "", true},
        {"\xE9", "\xC9", false}, // bytes >= 0x80 are not folded
        {"[", "{", false},      // 0x5B vs 0x7B: only letters fold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " vs " + (c.other ? c.other : "(null)"));
        StringBuffer sb(c.text);
        EXPECT_EQ(sb.equalsIgnoreCase(c.other), c.expected);
    }
}

TEST(StringBufferTest, ContainsSubstringNoCase) {
    struct Case {
        const char* text;
        const char* needle;
        bool expected;
    };
    const Case cases[] = {
        {"c:\\%temp%\\setup", "%TEMP%", true},
        {"c:\\%TEMP%\\setup", "%temp%", true},
        {"%tem", "%temp%", false},
        {"abc", "", false},
        {"abc", nullptr, false},
        {"", "a", false},
        {"caf\xE9", "CAF\xC9", false}, // only ASCII letters fold
        {"aab", "ab", true},           // restarts after a partial match
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + (c.needle ? c.needle : "(null)"));
        StringBuffer sb(c.text);
        EXPECT_EQ(sb.containsSubstringNoCase(c.needle), c.expected);
    }
}

TEST(StringBufferTest, ReplaceChar) {
    StringBuffer sb("c:\\a\\b");
    sb.replaceChar('\\', '/');
    EXPECT_EQ(contentOf(sb), "c:/a/b");
}

TEST(StringBufferTest, ReplaceAll) {
    struct Case {
        const char* text;
        const char* find;
        const char* replacement;
        bool ignoreCase;
        const char* expected;
        int32_t count;
    };
    const Case cases[] = {
        {"aaa", "aa", "b", false, "ba", 1},          // no overlapping matches
        {"a///b", "//", "/", false, "a//b", 1},      // search resumes after the occurrence
        {"abc", "//", "/", false, "abc", 0},
        {"a-b-c", "-", nullptr, false, "abc", 2},    // null replacement deletes
        {"abc", "", "x", false, "abc", 0},
        {"abc", nullptr, "x", false, "abc", 0},
        {"xab", "ab", "Q", false, "xQ", 1},          // occurrence at the end
        {"abab", "ab", "", false, "", 2},
        {"ab", "a", "aa", false, "aab", 1},          // replacement not searched again
        {"ABC", "b", "x", false, "ABC", 0},          // case-sensitive
        {"ABC", "b", "x", true, "AxC", 1},
        {"C:\\%TEMP%\\x", "%temp%", "D:/scratch/", true, "C:\\D:/scratch/\\x", 1},
        {"%Temp%a%tEMP%", "%TEMP%", "T", true, "TaT", 2},
        {"\xE9", "\xC9", "x", true, "\xE9", 0},      // bytes >= 0x80 not folded
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + (c.find ? c.find : "(null)"));
        StringBuffer sb(c.text);
        const int32_t count = c.ignoreCase ? sb.replaceAllNoCase(c.find, c.replacement)
                                           : sb.replaceAllOccurrences(c.find, c.replacement);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(contentOf(sb), c.expected);
        EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
    }
}

TEST(StringBufferTest, ReplaceAllHandlesResultLongerThanTheIncrement) {
    StringBuffer sb;
    for (int i = 0; i < 300; ++i)
        sb.appendChar('.');
    const int32_t count = sb.replaceAllOccurrences(".", "<->");
    EXPECT_EQ(count, 300);
    EXPECT_EQ(sb.getSize(), 900);
    EXPECT_EQ(contentOf(sb).substr(0, 6), "<-><->");
}

TEST(StringBufferTest, Trim) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {" \r\n", ""},
        {"\tab c \n", "ab c"},
        {"abc", "abc"},
        {"  x", "x"},
        {"x\r\n", "x"},
        {"\v x", "\v x"}, // vertical tab is not trimmed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        StringBuffer sb(c.text);
        sb.trim();
        EXPECT_EQ(contentOf(sb), c.expected);
        EXPECT_EQ(sb.getSize(), static_cast<int32_t>(std::strlen(c.expected)));
    }
    StringBuffer empty;
    empty.trim();
    EXPECT_EQ(empty.getSize(), 0);
}

TEST(StringBufferTest, AppendWindowsErrorKnownCodeAppendsTrimmedMessage) {
    StringBuffer sb("DeleteFile: ");
    sb.appendWindowsError(2); // ERROR_FILE_NOT_FOUND
    const std::string text = contentOf(sb);
    EXPECT_GT(text.size(), std::string("DeleteFile:").size());
    EXPECT_EQ(text.rfind("DeleteFile: ", 0), 0u);
    const char last = text.back();
    EXPECT_NE(last, '\n');
    EXPECT_NE(last, '\r');
    EXPECT_NE(last, ' ');
}

TEST(StringBufferTest, AppendWindowsErrorUnknownCodeLeavesStringUnchanged) {
    StringBuffer sb("  prefix ");
    sb.appendWindowsError(0x1234567);
    EXPECT_EQ(contentOf(sb), "  prefix ");
}

TEST(StringBufferTest, AppendLastWindowsErrorUsesTheThreadsLastError) {
    SetLastError(2);
    StringBuffer viaLast;
    viaLast.appendLastWindowsError();
    StringBuffer direct;
    direct.appendWindowsError(2);
    EXPECT_GT(viaLast.getSize(), 0);
    EXPECT_EQ(contentOf(viaLast), contentOf(direct));
}

TEST(StringBufferTest, ConvertToAnsiReplacesContentWithConvertedText) {
#ifndef _WIN32
    // Our POSIX layer answers 65001 unless told otherwise.
    struct AnsiPage1252 {
        AnsiPage1252() { brivaneSetAnsiCodePageForTests(1252); }
        ~AnsiPage1252() { brivaneSetAnsiCodePageForTests(65001); }
    } ansiPage;
#endif
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs the ANSI code page 1252 (this host has " << GetACP() << ")";
    StringBuffer sb("caf\xC3\xA9"); // UTF-8
    sb.convertToAnsi(65001);
    EXPECT_EQ(contentOf(sb), "caf\xE9");

    // A character the ANSI page lacks is dropped; the rest stays.
    StringBuffer partial("a\xE2\x82\xAC\xE4\xB8\x80z"); // a, euro sign, CJK one, z
    partial.convertToAnsi(65001);
    EXPECT_EQ(contentOf(partial), "a\x80z");
}

TEST(StringBufferTest, MinimizeMemory) {
    StringBuffer sb;
    sb.append("abc");
    sb.minimizeMemory();
    EXPECT_EQ(sb.getCapacity(), 4);
    EXPECT_EQ(contentOf(sb), "abc");

    // Saving 4 bytes or fewer is not worth a reallocation.
    StringBuffer tight("abcd");
    tight.shorten(1); // capacity 5, length 3
    tight.minimizeMemory();
    EXPECT_EQ(tight.getCapacity(), 5);
    StringBuffer fromNull(nullptr); // capacity 4 = length + 4
    fromNull.minimizeMemory();
    EXPECT_EQ(fromNull.getCapacity(), 4);
    StringBuffer emptied("abcde"); // capacity 6 > length 0 + 4
    emptied.shorten(5);
    emptied.minimizeMemory();
    EXPECT_EQ(emptied.getCapacity(), 1);
    EXPECT_STREQ(emptied.getString(), "");
}

using StringBufferDeathTest = ::testing::Test;

// clear rewrites only the terminator, so the old text stays in the block;
// wipe zeroes every byte of the block (including bytes past the terminator
// left by a longer earlier content) and keeps the block for reuse.
TEST(StringBufferTest, WipeZeroesTheWholeBlockWhereClearLeavesTheText) {
    StringBuffer cleared;
    cleared.setString("correct horse");
    cleared.clear();
    EXPECT_EQ(cleared.getSize(), 0);
    EXPECT_EQ(std::memcmp(cleared.getString() + 1, "orrect horse", 12), 0) << "clear keeps the block's bytes";

    StringBuffer secret;
    secret.setString("a much longer secret that came first");
    secret.setString("short");
    const char* block = secret.getString();
    const int32_t capacity = secret.getCapacity();
    secret.wipe();
    EXPECT_EQ(secret.getSize(), 0);
    EXPECT_EQ(secret.getCapacity(), capacity);
    ASSERT_EQ(secret.getString(), block) << "the block is kept";
    for (int32_t i = 0; i < capacity; ++i)
        ASSERT_EQ(block[i], '\0') << "byte " << i << " of " << capacity;

    secret.append("again");
    EXPECT_EQ(contentOf(secret), "again");
}

namespace {

// Calls on a destroyed object on purpose: exempt from the sanitizer's
// dynamic-type check, which would otherwise report the call before the
// guard can stop the process.
__attribute__((no_sanitize("undefined"))) void appendToDead(StringBuffer* sb) {
    sb->append("x");
}
__attribute__((no_sanitize("undefined"))) void clearDead(StringBuffer* sb) {
    sb->clear();
}
__attribute__((no_sanitize("undefined"))) void lastCharOfDead(StringBuffer* sb) {
    (void)sb->lastChar();
}
__attribute__((no_sanitize("undefined"))) void destroyDead(StringBuffer* sb) {
    sb->StringBuffer::~StringBuffer(); // a second destruction
}

} // namespace

TEST_F(StringBufferDeathTest, DestroyedStringStopsTheProcessSilently) {
    alignas(StringBuffer) unsigned char storage[sizeof(StringBuffer)];
    StringBuffer* sb = new (storage) StringBuffer("abc");
    sb->~StringBuffer();
    EXPECT_DEATH(appendToDead(sb), "^$");
    EXPECT_DEATH(clearDead(sb), "^$");
    EXPECT_DEATH(lastCharOfDead(sb), "^$");
    EXPECT_DEATH(destroyDead(sb), "^$");
}

TEST(StringBufferTest, AppendDecimalWritesPlainDigits) {
    const struct {
        uint32_t value;
        const char* text;
    } cases[] = {{0, "0"}, {7, "7"}, {10, "10"}, {1000000, "1000000"}, {4294967295u, "4294967295"}};
    for (const auto& c : cases) {
        StringBuffer text;
        text.setString("n=");
        text.appendDecimal(c.value);
        std::string expected = std::string("n=") + c.text;
        EXPECT_STREQ(text.getString(), expected.c_str()) << c.value;
    }
}
