// The single-byte code pages against tools we did not write.
//
// EveryByteMatchesTheRecordedToolAnswers reads
// tests/data/core/codepage_expectations.txt, written by
// scripts/gen_codepage_expectations.py straight from Python's codecs,
// glibc's iconv command, ICU's uconv and iconv-lite (never from the
// converter's tables), and runs on every platform.
//
// EveryByteMatchesGlibcIconvNow (native only) runs the iconv command at test
// time for every page glibc knows under the same mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TextTestHelpers.h"

using texttest::Bytes;
using texttest::convert;
using texttest::hex;
using texttest::utf16le;

namespace {

constexpr int kByteValues = 256;

// Every single-byte code page the converter recognises.
const std::vector<uint32_t> kSingleByteCodePages = {
    28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599, 28603, 28605,
    874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258,
    437, 708, 720, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864, 865, 866, 869,
    37, 500, 870, 875, 1026, 1047, 1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147, 1148, 1149,
    20273, 20277, 20278, 20280, 20284, 20285, 20290, 20297, 20420, 20423, 20424, 20838, 20871,
    20880, 20905, 20924, 21025,
    10000, 10004, 10005, 10006, 10007, 10010, 10017, 10021, 10029, 10079, 10081, 10082,
    20105, 20106, 20107, 20108, 20127, 20261, 20269, 20866, 21866, 38598,
};

// No published mapping was available to generate these tables from: they
// are recognised but empty.
const std::vector<uint32_t> kCodePagesWithoutMapping = {10005, 20924};

struct ExpectedByte {
    bool decodes = false;
    uint16_t unit = 0;
    bool encodesBack = false;
    Bytes back;  // what the unit encodes to
};

struct ExpectedPage {
    std::string tool;
    ExpectedByte bytes[kByteValues];
};

bool parseField(const std::string& field, uint8_t byteValue, ExpectedByte& expected)
{
    if (field == "-") {
        return true;
    }
    expected.decodes = true;
    expected.unit = static_cast<uint16_t>(std::strtoul(field.substr(0, 4).c_str(), nullptr, 16));
    if (field.size() == 4) {
        expected.encodesBack = true;
        expected.back = {byteValue};
        return true;
    }
    if (field.size() < 6 || field[4] != '>') {
        return false;
    }
    const std::string back = field.substr(5);
    if (back == "-") {
        return true;
    }
    expected.encodesBack = true;
    for (size_t i = 0; i + 1 < back.size(); i += 2) {
        expected.back.push_back(
            static_cast<uint8_t>(std::strtoul(back.substr(i, 2).c_str(), nullptr, 16)));
    }
    return true;
}

std::map<uint32_t, ExpectedPage> loadExpectations(std::string& error)
{
    std::map<uint32_t, ExpectedPage> pages;
    const std::string path = std::string(BRIVANE_TEST_DATA_DIR) + "/core/codepage_expectations.txt";
    Bytes contents;
    if (!texttest::readWholeFile(path, contents)) {
        error = "cannot read " + path;
        return pages;
    }
    std::istringstream lines(std::string(contents.begin(), contents.end()));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream head(line);
        std::string keyword, tool, name;
        uint32_t codePage = 0;
        if (!(head >> keyword >> codePage >> tool >> name) || keyword != "page") {
            error = "bad line: " + line;
            return pages;
        }
        ExpectedPage& page = pages[codePage];
        page.tool = tool + " " + name;
        for (int b = 0; b < kByteValues; ++b) {
            std::string field;
            if (!(lines >> field) || !parseField(field, static_cast<uint8_t>(b), page.bytes[b])) {
                error = "bad field for page " + std::to_string(codePage);
                return pages;
            }
        }
    }
    return pages;
}

// Compares the converter with the expected answers byte by byte (decode,
// then re-encode of the decoded unit) and for the whole page at once.
// Returns the differences, one line each.
std::vector<std::string> compareWithConverter(uint32_t codePage, const ExpectedPage& page)
{
    std::vector<std::string> differences;
    auto report = [&](int b, const std::string& what) {
        char label[32];
        std::snprintf(label, sizeof label, "%u byte %02X: ", codePage, b);
        differences.push_back(label + what);
    };
    Bytes allBytes;
    Bytes allUnits;
    bool allComplete = true;
    for (int b = 1; b < kByteValues; ++b) {
        const ExpectedByte& expected = page.bytes[b];
        allBytes.push_back(static_cast<uint8_t>(b));
        const texttest::Converted decoded = convert(codePage, 1200, {static_cast<uint8_t>(b)});
        if (!expected.decodes) {
            allComplete = false;
            if (decoded.complete || !decoded.bytes.empty()) {
                report(b, "expected no mapping, got " + hex(decoded.bytes));
            }
            continue;
        }
        const Bytes unit = utf16le({expected.unit});
        allUnits.insert(allUnits.end(), unit.begin(), unit.end());
        if (!decoded.complete || decoded.bytes != unit) {
            report(b, "expected " + hex(unit) + ", decoded " + hex(decoded.bytes));
            continue;
        }
        // Behind a byte-order mark, so that a page's U+FEFF (Mac Thai has one)
        // is not taken for the mark.
        Bytes marked = {0xFF, 0xFE};
        marked.insert(marked.end(), unit.begin(), unit.end());
        const texttest::Converted encoded = convert(1200, codePage, marked);
        if (encoded.complete != expected.encodesBack || encoded.bytes != expected.back) {
            report(b, "unit re-encodes to " + hex(encoded.bytes) + " (" +
                          (encoded.complete ? "complete" : "incomplete") + "), expected " +
                          hex(expected.back));
        }
    }
    const texttest::Converted whole = convert(codePage, 1200, allBytes);
    if (whole.complete != allComplete || whole.bytes != allUnits) {
        report(0, "decoding all bytes at once differs");
    }
    return differences;
}

std::string firstLines(const std::vector<std::string>& lines, size_t count)
{
    std::string out;
    for (size_t i = 0; i < lines.size() && i < count; ++i) {
        out += lines[i] + "\n";
    }
    return out;
}

}  // namespace

TEST(CodePageTables, EveryByteMatchesTheRecordedToolAnswers)
{
    std::string error;
    const std::map<uint32_t, ExpectedPage> pages = loadExpectations(error);
    ASSERT_TRUE(error.empty()) << error;

    for (uint32_t codePage : kSingleByteCodePages) {
        SCOPED_TRACE(codePage);
        const bool withoutMapping = std::find(kCodePagesWithoutMapping.begin(),
                                              kCodePagesWithoutMapping.end(),
                                              codePage) != kCodePagesWithoutMapping.end();
        const auto found = pages.find(codePage);
        if (withoutMapping) {
            EXPECT_EQ(found, pages.end());
            continue;
        }
        ASSERT_NE(found, pages.end()) << "no recorded answers for " << codePage;
        const std::vector<std::string> differences = compareWithConverter(codePage, found->second);
        EXPECT_TRUE(differences.empty())
            << found->second.tool << ": " << differences.size() << " differences\n"
            << firstLines(differences, 12);
    }
    EXPECT_EQ(pages.size(), kSingleByteCodePages.size() - kCodePagesWithoutMapping.size());
}

TEST(CodePageTables, PagesWithoutPublishedMappingConvertOnlyNul)
{
    for (uint32_t codePage : kCodePagesWithoutMapping) {
        SCOPED_TRACE(codePage);
        const texttest::Converted decoded = convert(codePage, 1200, {0x00, 0x41, 0xC1});
        EXPECT_FALSE(decoded.complete);
        EXPECT_EQ(hex(utf16le({0})), hex(decoded.bytes));
        const texttest::Converted encoded = convert(1200, codePage, utf16le({'A', 0}));
        EXPECT_FALSE(encoded.complete);
        EXPECT_EQ("00", hex(encoded.bytes));
    }
}

TEST(CodePageTables, ByteZeroIsAlwaysUnitZero)
{
    for (uint32_t codePage : kSingleByteCodePages) {
        SCOPED_TRACE(codePage);
        const texttest::Converted decoded = convert(codePage, 1200, {0x00});
        EXPECT_TRUE(decoded.complete);
        EXPECT_EQ("00 00", hex(decoded.bytes));
        const texttest::Converted encoded = convert(1200, codePage, {0x00, 0x00});
        EXPECT_TRUE(encoded.complete);
        EXPECT_EQ("00", hex(encoded.bytes));
    }
}

#ifndef _WIN32
namespace {

// Pages whose mapping glibc's iconv gives under these names.
const std::vector<std::pair<uint32_t, const char*>> kGlibcNames = {
    {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"}, {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {874, "CP874"},
    {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"},
    {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"}, {437, "IBM437"},
    {708, "ASMO-708"}, {737, "CP737"}, {775, "CP775"}, {850, "IBM850"}, {852, "IBM852"},
    {855, "IBM855"}, {857, "IBM857"}, {858, "IBM858"}, {860, "IBM860"}, {861, "IBM861"},
    {862, "IBM862"}, {863, "IBM863"}, {864, "IBM864"}, {865, "IBM865"}, {866, "IBM866"},
    {869, "IBM869"}, {37, "IBM037"}, {500, "IBM500"}, {870, "IBM870"}, {1047, "IBM1047"},
    {1140, "IBM1140"}, {1141, "IBM1141"}, {1142, "IBM1142"}, {1143, "IBM1143"},
    {1144, "IBM1144"}, {1145, "IBM1145"}, {1146, "IBM1146"}, {1147, "IBM1147"},
    {1148, "IBM1148"}, {1149, "IBM1149"}, {20273, "IBM273"}, {20277, "IBM277"},
    {20278, "IBM278"}, {20280, "IBM280"}, {20284, "IBM284"}, {20285, "IBM285"},
    {20290, "IBM290"}, {20297, "IBM297"}, {20420, "IBM420"}, {20423, "IBM423"},
    {20424, "IBM424"}, {20871, "IBM871"}, {20880, "IBM880"}, {20905, "IBM905"},
    {21025, "IBM1025"}, {10017, "MAC-UK"}, {10029, "MAC-CENTRALEUROPE"},
    {20105, "ISO646-US"}, {20106, "ISO646-DE"}, {20107, "ISO646-SE"}, {20108, "ISO646-NO"},
    {20127, "ANSI_X3.4-1968"}, {20261, "T.61-8BIT"}, {20269, "ISO6937"}, {20866, "KOI8-R"},
    {21866, "KOI8-U"}, {38598, "ISO-8859-8"},
};

// Pieces of output between NUL units (unitBytes 2 for UTF-16LE, 1 for a
// single-byte page).
std::vector<Bytes> splitOnNul(const Bytes& data, size_t unitBytes)
{
    std::vector<Bytes> pieces;
    Bytes current;
    for (size_t i = 0; i + unitBytes <= data.size(); i += unitBytes) {
        bool nul = true;
        for (size_t k = 0; k < unitBytes; ++k) nul = nul && data[i + k] == 0;
        if (nul) {
            pieces.push_back(current);
            current.clear();
        } else {
            current.insert(current.end(), data.begin() + i, data.begin() + i + unitBytes);
        }
    }
    return pieces;
}

// iconv's answers for one page: each byte (then each decoded unit) is
// followed by a NUL and iconv -c omits what it cannot convert, so the NULs
// of the output tell which input gave which output.
bool iconvAnswers(uint32_t codePage, const char* name, ExpectedPage& page)
{
    Bytes input;
    for (int b = 1; b < kByteValues; ++b) {
        input.push_back(static_cast<uint8_t>(b));
        input.push_back(0);
    }
    const std::string decodeCommand = std::string("iconv -c -f ") + name + " -t UTF-16LE";
    const std::vector<Bytes> decoded =
        splitOnNul(texttest::runFilter(decodeCommand, input, "cp-dec-" + std::to_string(codePage)), 2);
    if (decoded.size() != kByteValues - 1) {
        return false;
    }
    Bytes units;
    std::vector<int> unitBytes;
    for (int b = 1; b < kByteValues; ++b) {
        const Bytes& piece = decoded[b - 1];
        if (piece.size() != 2) continue;
        page.bytes[b].decodes = true;
        page.bytes[b].unit = static_cast<uint16_t>(piece[0] | (piece[1] << 8));
        units.insert(units.end(), piece.begin(), piece.end());
        units.push_back(0);
        units.push_back(0);
        unitBytes.push_back(b);
    }
    const std::string encodeCommand = std::string("iconv -c -f UTF-16LE -t ") + name;
    const std::vector<Bytes> encoded =
        splitOnNul(texttest::runFilter(encodeCommand, units, "cp-enc-" + std::to_string(codePage)), 1);
    if (encoded.size() != unitBytes.size()) {
        return false;
    }
    for (size_t i = 0; i < unitBytes.size(); ++i) {
        ExpectedByte& expected = page.bytes[unitBytes[i]];
        expected.encodesBack = !encoded[i].empty();
        expected.back = encoded[i];
    }
    return true;
}

}  // namespace

TEST(CodePageTables, EveryByteMatchesGlibcIconvNow)
{
    ASSERT_TRUE(texttest::toolAvailable("iconv"))
        << "iconv is needed for this test: install the libc-bin package";
    for (const auto& [codePage, name] : kGlibcNames) {
        SCOPED_TRACE(std::to_string(codePage) + " " + name);
        ExpectedPage page;
        ASSERT_TRUE(iconvAnswers(codePage, name, page)) << "iconv gave no usable answer";
        const std::vector<std::string> differences = compareWithConverter(codePage, page);
        EXPECT_TRUE(differences.empty())
            << differences.size() << " differences\n" << firstLines(differences, 12);
    }
}
#endif
