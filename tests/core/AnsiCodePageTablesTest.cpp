// The tables stored with BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY (the installer
// stub's set): every single-byte code page GetACP answers must be there, and
// so must every table one of them is stored as differences from, or its
// table would load empty in the stub.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "core/ContentCoding.h"
#include "core/StoredCodePages.h"

namespace {

#define BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY
const StoredCodePage kAnsiRows[] = {
#include "core/codepages/CodePageData.inc"
};
#undef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY

constexpr uint8_t kDifferenceList = 'D';

}  // namespace

TEST(AnsiCodePageTables, HoldEveryAnsiCodePageAndEveryBaseTheyName) {
    std::set<uint32_t> stored;
    for (const StoredCodePage& row : kAnsiRows) stored.insert(row.codePage);
    for (uint32_t codePage : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
        EXPECT_EQ(1u, stored.count(codePage)) << codePage;
    }
    for (const StoredCodePage& row : kAnsiRows) {
        SCOPED_TRACE(row.codePage);
        ASSERT_EQ('x', row.text[0]);
        // The full library set holds the same text for the code page.
        ASSERT_NE(nullptr, StoredCodePages::find(row.codePage));
        EXPECT_STREQ(StoredCodePages::find(row.codePage)->text, row.text);
        uint32_t count = 0;
        uint8_t* data =
            ContentCoding().decodeBase64(row.text + 1, static_cast<uint32_t>(std::strlen(row.text + 1)), count);
        ASSERT_GE(count, 2u);
        if (data[1] == kDifferenceList) {
            ASSERT_GE(count, 6u);
            const uint32_t base = data[2] | (data[3] << 8) | (data[4] << 16) | (static_cast<uint32_t>(data[5]) << 24);
            EXPECT_EQ(1u, stored.count(base)) << "base " << base;
        }
        std::free(data);
    }
    // The other pages (DOS, EBCDIC, Mac...) are left out.
    for (uint32_t codePage : {437u, 850u, 37u, 10000u, 20866u}) EXPECT_EQ(0u, stored.count(codePage)) << codePage;
}
