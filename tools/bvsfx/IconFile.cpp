#include "tools/bvsfx/IconFile.h"

#include <algorithm>
#include <cstring>

#include "tools/bvsfx/LittleEndian.h"

using LittleEndian::appendU16;
using LittleEndian::appendU32;

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// PNG: signature, then the IHDR chunk (u32 length 13, "IHDR", u32 width,
// u32 height, u8 bit depth, u8 colour type, ...), big-endian.
constexpr size_t kPngIhdrBytes = 8 + 8 + 13;
constexpr size_t kPngWidthOffset = 16;
constexpr size_t kPngHeightOffset = 20;
// BITMAPINFOHEADER fields.
constexpr uint32_t kBitmapInfoHeaderBytes = 40;
constexpr size_t kBiWidth = 4;
constexpr size_t kBiHeight = 8;
constexpr size_t kBiPlanes = 12;
constexpr size_t kBiBitCount = 14;
constexpr size_t kBiCompression = 16;
constexpr size_t kBiClrUsed = 32;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kBitfieldMasksBytes = 12;
constexpr size_t kPaletteEntryBytes = 4;

uint32_t entryPixels(uint8_t field) { return field == 0 ? IconFile::kMaxIconPixels : field; }

uint64_t rowBytes(uint64_t width, uint64_t bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

std::string imageLabel(size_t index) { return "image " + std::to_string(index + 1); }

bool checkPng(const IconImage& image, size_t index, std::string& error) {
    const std::vector<uint8_t>& png = image.bytes;
    if (png.size() < kPngIhdrBytes || std::memcmp(&png[12], "IHDR", 4) != 0) {
        error = imageLabel(index) + " is a PNG image without its IHDR header";
        return false;
    }
    const uint32_t width = loadBigEndian32(&png[kPngWidthOffset]);
    const uint32_t height = loadBigEndian32(&png[kPngHeightOffset]);
    if (width != image.width || height != image.height) {
        error = imageLabel(index) + " is a " + std::to_string(width) + "x" + std::to_string(height) +
                " PNG image, but its entry says " + std::to_string(image.width) + "x" +
                std::to_string(image.height);
        return false;
    }
    return true;
}

bool checkBitmap(IconImage& image, size_t index, std::string& error) {
    const std::vector<uint8_t>& bmp = image.bytes;
    const uint32_t headerBytes = bmp.size() >= 4 ? loadLittleEndian32(bmp.data()) : 0;
    if (bmp.size() < kBitmapInfoHeaderBytes || headerBytes < kBitmapInfoHeaderBytes ||
        headerBytes > bmp.size()) {
        error = imageLabel(index) + " is neither a PNG image nor a bitmap (no BITMAPINFOHEADER)";
        return false;
    }
    const int32_t width = static_cast<int32_t>(loadLittleEndian32(&bmp[kBiWidth]));
    const int32_t height = static_cast<int32_t>(loadLittleEndian32(&bmp[kBiHeight]));
    const uint16_t planes = loadLittleEndian16(&bmp[kBiPlanes]);
    const uint16_t bits = loadLittleEndian16(&bmp[kBiBitCount]);
    const uint32_t compression = loadLittleEndian32(&bmp[kBiCompression]);
    if (width != static_cast<int32_t>(image.width) || height != 2 * static_cast<int32_t>(image.height)) {
        error = imageLabel(index) + ": its bitmap is " + std::to_string(width) + "x" +
                std::to_string(height) + ", but a " + std::to_string(image.width) + "x" +
                std::to_string(image.height) + " icon needs " + std::to_string(image.width) + "x" +
                std::to_string(2 * image.height) + " (colour image and mask)";
        return false;
    }
    if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        error = imageLabel(index) + ": a bitmap of " + std::to_string(planes) + " planes and " +
                std::to_string(bits) + " bits per pixel";
        return false;
    }
    if (compression != kBiRgb && !(compression == kBiBitfields && (bits == 16 || bits == 32))) {
        error = imageLabel(index) + ": a compressed bitmap (compression " + std::to_string(compression) + ")";
        return false;
    }
    uint64_t paletteEntries = loadLittleEndian32(&bmp[kBiClrUsed]);
    if (paletteEntries == 0 && bits <= 8) paletteEntries = 1u << bits;
    if (bits <= 8 && paletteEntries > (1u << bits)) {
        error = imageLabel(index) + ": a palette of " + std::to_string(paletteEntries) + " colours for " +
                std::to_string(bits) + " bits per pixel";
        return false;
    }
    const uint64_t needed = headerBytes + (compression == kBiBitfields ? kBitfieldMasksBytes : 0) +
                            paletteEntries * kPaletteEntryBytes + rowBytes(image.width, bits) * image.height +
                            rowBytes(image.width, 1) * image.height;
    if (needed > bmp.size()) {
        error = imageLabel(index) + ": its bitmap needs " + std::to_string(needed) +
                " bytes, the entry holds " + std::to_string(bmp.size());
        return false;
    }
    if (image.planes == 0) image.planes = planes;
    if (image.bitCount == 0) image.bitCount = bits;
    return true;
}

}  // namespace

namespace IconFile {

bool parse(const std::vector<uint8_t>& file, std::vector<IconImage>& images, std::string& error) {
    images.clear();
    if (file.size() < kHeaderBytes || loadLittleEndian16(&file[0]) != 0) {
        error = "not an icon file (no icon header)";
        return false;
    }
    const uint16_t type = loadLittleEndian16(&file[2]);
    if (type == kTypeCursor) {
        error = "a cursor file, not an icon file";
        return false;
    }
    if (type != kTypeIcon) {
        error = "not an icon file (type " + std::to_string(type) + ")";
        return false;
    }
    const size_t count = loadLittleEndian16(&file[4]);
    if (count == 0) {
        error = "the icon file holds no image";
        return false;
    }
    const size_t imagesStart = kHeaderBytes + count * kEntryBytes;
    if (file.size() < imagesStart) {
        error = "the icon file is cut short in its list of " + std::to_string(count) + " images";
        return false;
    }
    std::vector<std::pair<uint64_t, uint64_t>> ranges;  // [offset, end) of each image
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = &file[kHeaderBytes + i * kEntryBytes];
        IconImage image;
        image.width = entryPixels(entry[0]);
        image.height = entryPixels(entry[1]);
        image.colorCount = entry[2];
        const uint8_t reserved = entry[3];
        image.planes = loadLittleEndian16(entry + 4);
        image.bitCount = loadLittleEndian16(entry + 6);
        const uint64_t bytes = loadLittleEndian32(entry + 8);
        const uint64_t offset = loadLittleEndian32(entry + 12);
        if (reserved != 0) {
            error = imageLabel(i) + ": reserved entry byte is " + std::to_string(reserved) + ", not 0";
            return false;
        }
        if (bytes == 0 || offset < imagesStart || offset + bytes > file.size()) {
            error = imageLabel(i) + ": " + std::to_string(bytes) + " bytes at offset " +
                    std::to_string(offset) + " lie outside the file's " + std::to_string(file.size()) +
                    " bytes of images";
            return false;
        }
        image.bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                           file.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
        ranges.emplace_back(offset, offset + bytes);
        images.push_back(std::move(image));
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            error = "two images of the icon file overlap";
            return false;
        }
    }
    for (size_t i = 0; i < images.size(); ++i) {
        IconImage& image = images[i];
        image.isPng = image.bytes.size() >= sizeof(kPngSignature) &&
                      std::memcmp(image.bytes.data(), kPngSignature, sizeof(kPngSignature)) == 0;
        if (!(image.isPng ? checkPng(image, i, error) : checkBitmap(image, i, error))) return false;
        // A PNG image is drawn as 32-bit colour with alpha.
        if (image.isPng && image.planes == 0) image.planes = 1;
        if (image.isPng && image.bitCount == 0) image.bitCount = 32;
    }
    return true;
}

std::vector<uint8_t> groupResource(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids) {
    std::vector<uint8_t> group;
    appendU16(group, 0);
    appendU16(group, kTypeIcon);
    appendU16(group, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group.push_back(static_cast<uint8_t>(image.width == kMaxIconPixels ? 0 : image.width));
        group.push_back(static_cast<uint8_t>(image.height == kMaxIconPixels ? 0 : image.height));
        group.push_back(image.colorCount);
        group.push_back(0);
        appendU16(group, image.planes);
        appendU16(group, image.bitCount);
        appendU32(group, static_cast<uint32_t>(image.bytes.size()));
        appendU16(group, ids[i]);
    }
    return group;
}

}  // namespace IconFile
