#pragma once
// VersionInfoResource: the RT_VERSION resource (VS_VERSIONINFO) that holds
// a program's version information, the file properties Windows shows.
//
// Format notes: every block is u16 wLength (bytes of the block with its
// children), u16 wValueLength, u16 wType (1 text, 0 binary), the key as
// UTF-16 with its terminating zero, zero padding to a 4-byte boundary, the
// value, padding to 4 again, then the child blocks. The tree written here:
//   VS_VERSION_INFO   value VS_FIXEDFILEINFO (52 bytes, binary)
//     StringFileInfo
//       040904B0      (US English, code page 1200 = UTF-16)
//         one block per string: key = the name, value = the text; its
//         wValueLength counts UTF-16 units including the terminating zero
//     VarFileInfo
//       Translation   value u16 language 0x0409, u16 code page 1200
// VS_FIXEDFILEINFO: u32 signature 0xFEEF04BD, u32 structure version
// 0x00010000, u32 FileVersionMS, FileVersionLS, ProductVersionMS,
// ProductVersionLS (a.b.c.d as a<<16|b, c<<16|d), u32 FileFlagsMask 0x3F,
// FileFlags 0, FileOS 0x00040004 (NT, 32-bit Windows API), FileType 1
// (application), FileSubtype 0, FileDateMS 0, FileDateLS 0 (no date, so
// that the same strings give the same bytes).

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace VersionInfoResource {

constexpr size_t kKeyCount = 7;
// The names a string may have, in the order they are written.
extern const char* const kKeys[kKeyCount];
constexpr const char* kFileVersionKey = "FileVersion";
constexpr const char* kProductVersionKey = "ProductVersion";

bool isKnownKey(const std::string& key);

// "a.b.c.d", four decimal numbers 0..65535, as the two u32 halves of a
// VS_FIXEDFILEINFO version; false for any other text.
bool parseNumericVersion(const std::string& text, uint32_t& mostSignificant, uint32_t& leastSignificant);

// The resource for the strings (name, UTF-8 text), each name a known key.
// FileVersion and ProductVersion also give the numeric versions when they
// are of the a.b.c.d form (0.0.0.0 otherwise). False with a reason when a
// text is not valid UTF-8 or the resource would outgrow its 16-bit length.
bool build(const std::vector<std::pair<std::string, std::string>>& strings, std::vector<uint8_t>& resource,
           std::string& error);

// Strict UTF-8 to UTF-16 (no overlong forms, no surrogates, at most
// U+10FFFF); false for anything else.
bool utf8ToUtf16(const std::string& text, std::u16string& out);

}  // namespace VersionInfoResource
