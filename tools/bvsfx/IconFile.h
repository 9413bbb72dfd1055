#pragma once
// IconFile: a Windows .ico file, read strictly, and the icon-group resource
// (RT_GROUP_ICON) that names its images as RT_ICON resources.
//
// Format notes: a 6-byte header (u16 reserved 0, u16 type 1 = icon, u16
// image count), then per image a 16-byte entry (u8 width, u8 height, 0
// meaning 256; u8 palette colours, 0 when none; u8 reserved 0; u16 planes;
// u16 bits per pixel; u32 image bytes; u32 file offset of the image). An
// image is a PNG file or a device-independent bitmap without its file
// header: BITMAPINFOHEADER (biHeight twice the icon's height, the colour
// image above the 1-bit mask), palette, colour rows, mask rows, each row a
// multiple of 4 bytes. The group resource is the same 6-byte header, then
// 14-byte entries: the first 12 bytes of the file's entry and a u16 RT_ICON
// id instead of the offset.

#include <cstdint>
#include <string>
#include <vector>

struct IconImage {
    uint32_t width = 0;  // in pixels, 1..256
    uint32_t height = 0;
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    bool isPng = false;
    std::vector<uint8_t> bytes;  // the RT_ICON resource: the image as stored
};

namespace IconFile {

constexpr uint32_t kMaxIconPixels = 256;

// The images of the file, in its order. False with a reason for anything
// not an icon file in every detail: wrong header, no image, entries or
// images beyond the end of the file, images that overlap, an image that
// is neither PNG nor a bitmap, or whose own size differs from its entry,
// or that is shorter than its pixel rows need.
bool parse(const std::vector<uint8_t>& file, std::vector<IconImage>& images, std::string& error);

// The RT_GROUP_ICON resource naming images[i] as RT_ICON ids[i]. Entries
// that leave planes or bits per pixel at 0 (allowed in .ico files) get the
// values read from the image itself.
std::vector<uint8_t> groupResource(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids);

}  // namespace IconFile
