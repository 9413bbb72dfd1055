#pragma once
// StubImage: what kind of program a stub is, told from its first bytes, and
// where the payload marker occurs in a byte range.
//
// Kinds: a PE image ("MZ", then "PE\0\0" at the offset stored at 0x3C) with
// its machine field (0x014C i386, 0x8664 x86-64) and subsystem (2 = GUI);
// an ELF image ("\x7FELF") with its e_machine field (3 i386, 0x3E x86-64,
// 0xB7 AArch64).

#include <cstddef>
#include <cstdint>
#include <string>

enum class StubKind {
    Unknown,
    WindowsI386,
    WindowsX64,
    WindowsOther,
    LinuxI386,
    LinuxX64,
    LinuxAarch64,
    ElfOther
};

namespace StubImage {

StubKind detectKind(const uint8_t* image, size_t size);

// "Windows i386 (GUI)", "Linux x86-64", "unknown" ...
std::string describe(const uint8_t* image, size_t size);

bool isWindows(StubKind kind);

// Offset of the first payload marker (8 bytes) in the range, or -1. The
// marker is composed at run time (payload/PayloadMarker.h), never held here
// as a constant, so that this program's image stays free of it too.
int64_t findMarker(const uint8_t* data, size_t size);

}  // namespace StubImage
