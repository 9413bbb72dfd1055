// Entry names: what may be packed, and how a stored name becomes a path
// below the extraction folder (or is refused).
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/EntryName.h"

#include <gtest/gtest.h>

namespace {

using EntryName::PackProblem;

TEST(EntryName, PackingRules) {
    struct Case {
        const char* label;
        std::string name;
        bool encrypted;
        PackProblem expected;
    } cases[] = {
        {"plain", "docs/guide.txt", false, PackProblem::None},
        {"non-ASCII UTF-8", "d\xC3\xA9j\xC3\xA0/\xE6\x97\xA5\xE6\x9C\xAC.txt", false, PackProblem::None},
        {"four-byte UTF-8", "\xF0\x9F\x98\x80", false, PackProblem::BeyondBmp},
        {"last three-byte character", "\xEF\xBF\xBD", false, PackProblem::None},
        {"empty", "", false, PackProblem::Empty},
        {"Latin-1 byte", "caf\xE9", false, PackProblem::NotUtf8},
        {"overlong slash", "a\xC0\xAF" "b", false, PackProblem::NotUtf8},
        {"surrogate", "\xED\xA0\x80", false, PackProblem::NotUtf8},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false, PackProblem::NotUtf8},
        {"cut sequence", "ab\xE6\x97", false, PackProblem::NotUtf8},
        {"backslash", "a\\b", false, PackProblem::Backslash},
        {"drive-like", "c:stuff", false, PackProblem::DriveLike},
        {"colon later is fine", "ab:c", false, PackProblem::None},
        {"control byte", "a\nb", false, PackProblem::ControlByte},
        {"65535 bytes plain", std::string(65535, 'a'), false, PackProblem::None},
        {"65536 bytes plain", std::string(65536, 'a'), false, PackProblem::TooLong},
        {"65519 bytes encrypted", std::string(65519, 'a'), true, PackProblem::None},
        {"65520 bytes encrypted", std::string(65520, 'a'), true, PackProblem::TooLong},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryName::checkForPacking(c.name, c.encrypted), c.expected) << c.label;
    }
}

TEST(EntryName, WhatAWindowsInstallerCanCreate) {
    struct Case {
        const char* name;
        bool ok;
    } cases[] = {
        {"docs/guide.txt", true}, {"a b/c.d e", true}, {"con.txt.bak/x", false}, {"console", true}, {"icon.txt", true},
        {"com0", true}, {"a:b", false}, {"what?", false}, {"x/<y>", false}, {"pipe|d", false},
        {"quote\"d", false}, {"star*", false}, {"dot./x", false}, {"space ", false}, {"CON", false},
        {"dir/nul.txt", false}, {"Com3", false}, {"lpt9.log", false}, {"aux /x", false},
        {"COM\xC2\xB9", false}, {"lpt\xC2\xB3.txt", false}, {"com\xC2\xB4", true}, {"CONIN$", false},
        {"conout$.log", false}, {"conin", true}, {"tab\there", false}, {"a\\CON", false}, {"a\\b", true},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(EntryName::windowsCanCreate(c.name, reason), c.ok) << c.name;
        if (!c.ok) {
            EXPECT_FALSE(reason.empty()) << c.name;
        }
    }
    EXPECT_EQ(EntryName::foldCase("ReadMe.TXT/\xC3\x89"), "readme.txt/\xC3\x89");
}

// Windows compares names after mapping every UTF-16 unit to upper case, one
// unit for one (no expansion, no locale).
TEST(EntryName, NamesWindowsTakesForOneFile) {
    struct Case {
        const char* label;
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"ASCII letters", "ReadMe.TXT", "readme.txt", true},
        {"Latin-1 accents", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},                 // Été, éTÉ
        {"y with diaeresis", "\xC3\xBF", "\xC5\xB8", true},                                 // ÿ, Ÿ (U+0178)
        {"Greek final sigma", "\xCF\x82", "\xCE\xA3", true},                                // ς, Σ
        {"Cyrillic", "\xD0\xB6\xD1\x83\xD1\x80", "\xD0\x96\xD0\xA3\xD0\xA0", true},            // жур, ЖУР
        {"dotless i upper-cases to I", "\xC4\xB1", "I", true},                              // ı
        {"sharp s is not expanded", "stra\xC3\x9F" "e", "STRASSE", false},
        {"fullwidth letters", "\xEF\xBD\x81", "\xEF\xBC\xA1", true},                         // ａ, Ａ
        {"separators", "a\\B", "A/b", true},
        {"digits differ", "a1", "a2", false},
        {"beyond U+FFFF stays itself", "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", false},          // Deseret small/capital
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryName::windowsFileKey(c.a) == EntryName::windowsFileKey(c.b), c.same) << c.label;
    }
    EXPECT_EQ(EntryName::utf16Units("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), 5u);
}

// What `bvsfx test` reports about a name read from a payload.
TEST(EntryName, WhatAnInstallerWouldDoWrong) {
    struct Case {
        const char* label;
        std::string name;
        bool windowsStub;
        const char* reason;  // null: no problem
    } cases[] = {
        {"plain", "docs/a.txt", true, nullptr},
        {"climbs out", "../x", false, "'..' component"},
        {"climbs out later", "a/../../x", false, "'..' component"},
        {"climbs out with backslashes", "a\\..\\x", false, "'..' component"},
        {"three dots is a name", "a/.../x", false, nullptr},
        {"absolute", "/tmp/ex", false, "absolute"},
        {"absolute backslash", "\\Windows\\x", false, "absolute"},
        {"drive", "C:/x", false, "drive"},
        {"escape byte", "a\x1B[31mb", false, "control character"},
        {"newline", "a\nb", false, "control character"},
        {"NUL", std::string("a\0b", 3), false, "NUL"},
        {"799 bytes", std::string(799, 'a'), false, nullptr},
        {"800 bytes", std::string(800, 'a'), false, "800 bytes long"},
        {"Windows character on Linux", "q?.txt", false, nullptr},
        {"Windows character", "q?.txt", true, "the character ?"},
        {"device name", "nul/x", true, "device name"},
        {"trailing dot", "x./y", true, "dot or space"},
    };
    for (const Case& c : cases) {
        std::string reason;
        const bool ok = EntryName::installerCanExtract(c.name, c.windowsStub, reason);
        EXPECT_EQ(ok, c.reason == nullptr) << c.label << ": " << reason;
        if (c.reason != nullptr) {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << c.label << ": " << reason;
        }
    }
}

TEST(EntryName, StoredLengthOfEncryptedNamesIsPaddedCiphertext) {
    EXPECT_EQ(EntryName::storedLength(5, false), 5u);
    EXPECT_EQ(EntryName::storedLength(5, true), 16u);
    EXPECT_EQ(EntryName::storedLength(16, true), 32u);
    EXPECT_EQ(EntryName::storedLength(EntryName::kMaxEncryptedNameBytes, true), 65520u);
}

TEST(EntryName, SafeRelativePaths) {
    struct Case {
        const char* label;
        std::string stored;
        const char* relative;  // null: refused
    } cases[] = {
        {"plain", "a/b.txt", "a/b.txt"},
        {"backslashes", "a\\b\\c.txt", "a/b/c.txt"},
        {"dot and doubled separators", "./a//b/./c", "a/b/c"},
        {"dot-dot inside", "a/x/../b", "a/b"},
        {"dot-dot back to the top", "a/../b", "b"},
        {"climbs out", "../evil", nullptr},
        {"climbs out later", "a/../../evil", nullptr},
        {"climbs out with backslashes", "a\\..\\..\\evil", nullptr},
        {"absolute slash", "/etc/passwd", nullptr},
        {"absolute backslash", "\\Windows\\x", nullptr},
        {"drive", "C:/x", nullptr},
        {"drive without separator", "c:x", nullptr},
        {"only dots", "./.", nullptr},
        {"empty", "", nullptr},
        {"NUL inside", std::string("a\0b", 3), nullptr},
        {"three dots is a name", "a/.../b", "a/.../b"},
    };
    for (const Case& c : cases) {
        std::string relative;
        std::string reason;
        const bool ok = EntryName::toSafeRelativePath(c.stored, relative, reason);
        EXPECT_EQ(ok, c.relative != nullptr) << c.label << ": " << reason;
        if (ok && c.relative != nullptr) {
            EXPECT_EQ(relative, c.relative) << c.label;
        }
        if (!ok) {
            EXPECT_FALSE(reason.empty()) << c.label;
        }
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
