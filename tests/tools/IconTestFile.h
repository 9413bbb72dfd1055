#pragma once
// Icon files for the tests, built field by field: bitmap and PNG images and
// the .ico file that lists them.

#include <cstdint>
#include <vector>

#include "tools/bvsfx/LittleEndian.h"

namespace icon_test {

using Bytes = std::vector<uint8_t>;
using LittleEndian::appendU16;
using LittleEndian::appendU32;

// A bottom-up DIB of an icon: BITMAPINFOHEADER (biHeight = 2 x height),
// the palette, the colour rows and the 1-bit mask rows.
inline Bytes bitmapImage(uint32_t size, uint16_t bits) {
    Bytes image;
    appendU32(image, 40);
    appendU32(image, size);
    appendU32(image, 2 * size);
    appendU16(image, 1);
    appendU16(image, bits);
    for (int i = 0; i < 6; ++i) appendU32(image, 0);  // compression .. important colours
    const uint32_t palette = bits <= 8 ? (1u << bits) : 0;
    image.resize(image.size() + palette * 4, 0x40);
    const uint32_t colourRow = (size * bits + 31) / 32 * 4;
    const uint32_t maskRow = (size + 31) / 32 * 4;
    image.resize(image.size() + (colourRow + maskRow) * size, 0x11);
    return image;
}

// The signature and IHDR chunk of a PNG file (all that is read of it).
inline Bytes pngImage(uint32_t width, uint32_t height) {
    Bytes image = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) image.push_back(static_cast<uint8_t>(value >> shift));
    }
    const uint8_t rest[] = {8, 6, 0, 0, 0, 0, 0, 0, 0};  // depth, RGBA, ..., CRC (not checked)
    image.insert(image.end(), rest, rest + sizeof(rest));
    return image;
}

struct Entry {
    uint8_t width, height, colours, reserved;
    uint16_t planes, bits;
    Bytes image;
};

inline Bytes iconFile(const std::vector<Entry>& entries, uint16_t type = 1) {
    Bytes file;
    appendU16(file, 0);
    appendU16(file, type);
    appendU16(file, static_cast<uint16_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const Entry& entry : entries) {
        file.push_back(entry.width);
        file.push_back(entry.height);
        file.push_back(entry.colours);
        file.push_back(entry.reserved);
        appendU16(file, entry.planes);
        appendU16(file, entry.bits);
        appendU32(file, static_cast<uint32_t>(entry.image.size()));
        appendU32(file, offset);
        offset += static_cast<uint32_t>(entry.image.size());
    }
    for (const Entry& entry : entries) file.insert(file.end(), entry.image.begin(), entry.image.end());
    return file;
}

}  // namespace icon_test
