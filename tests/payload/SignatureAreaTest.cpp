// Where a signed image's certificate table starts, from headers built field
// by field; and headers cut short anywhere, which must give "none" without
// reading past what was given. Real signed files (osslsigncode) are in the
// end-to-end suite.
#include "payload/SignatureArea.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kPeOffset = 0x80;

void put16(std::vector<uint8_t>& image, size_t at, uint16_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// "MZ", e_lfanew, "PE\0\0", a COFF header and an optional header of the
// given magic whose certificate-table entry holds offset and size.
std::vector<uint8_t> headers(uint16_t magic, uint32_t directories, uint32_t offset, uint32_t size) {
    const bool plus = magic == 0x20B;
    const uint32_t countField = plus ? 108 : 92;
    const uint16_t optionalBytes = static_cast<uint16_t>(countField + 4 + 16 * 8);
    std::vector<uint8_t> image(kPeOffset + 24 + optionalBytes, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, kPeOffset);
    std::memcpy(image.data() + kPeOffset, "PE\0\0", 4);
    put16(image, kPeOffset + 4 + 16, optionalBytes);  // SizeOfOptionalHeader
    const size_t optional = kPeOffset + 24;
    put16(image, optional, magic);
    put32(image, optional + countField, directories);
    put32(image, optional + countField + 4 + 4 * 8, offset);
    put32(image, optional + countField + 4 + 4 * 8 + 4, size);
    return image;
}

TEST(SignatureArea, FindsTheCertificateTableOfBothImageKinds) {
    struct Case {
        const char* label;
        std::vector<uint8_t> image;
        uint64_t offset;
    } cases[] = {
        {"PE32", headers(0x10B, 16, 0x7000, 0x5F0), 0x7000},
        {"PE32+", headers(0x20B, 16, 0x9200, 0x5F0), 0x9200},
        {"unsigned: an empty entry", headers(0x20B, 16, 0, 0), 0},
        {"too few directories", headers(0x10B, 4, 0x7000, 0x5F0), 0},
        {"unknown magic", headers(0x107, 16, 0x7000, 0x5F0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(SignatureArea::find(c.image.data(), c.image.size()).offset, c.offset);
    }
    const char elf[] = "\x7F" "ELF";
    EXPECT_EQ(SignatureArea::find(reinterpret_cast<const uint8_t*>(elf), sizeof elf).offset, 0u);
}

// Headers cut before the end of the certificate-table entry hold no table;
// cut after it, the table is found.
TEST(SignatureArea, HeadersCutShortBeforeTheEntryHoldNoTable) {
    const std::vector<uint8_t> image = headers(0x20B, 16, 0x9200, 0x5F0);
    const size_t entryEnd = kPeOffset + 24 + 108 + 4 + 4 * 8 + 8;
    for (size_t size = 0; size <= image.size(); ++size) {
        // A copy of exactly size bytes, so that a read past it is caught by
        // the sanitizers.
        std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(SignatureArea::find(cut.data(), cut.size()).offset, size < entryEnd ? 0u : 0x9200u) << size;
    }
    std::vector<uint8_t> farOut = image;
    put32(farOut, 0x3C, 0xFFFFFFF0u);  // e_lfanew far beyond the headers
    EXPECT_EQ(SignatureArea::find(farOut.data(), farOut.size()).offset, 0u);
}

}  // namespace
