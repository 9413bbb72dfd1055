#include "tools/bvsfx/StubImage.h"

#include <cstring>

#include "payload/PayloadFormat.h"
#include "payload/PayloadMarker.h"
#include "core/ByteOrder.h"

namespace {

constexpr size_t kPeOffsetField = 0x3C;         // u32: where "PE\0\0" starts
constexpr size_t kPeMachineOffset = 4;          // u16 after the signature
constexpr size_t kPeOptionalHeaderOffset = 24;  // signature 4 + file header 20
constexpr size_t kPeSubsystemOffset = 68;       // u16 in the optional header
constexpr uint16_t kPeMachineI386 = 0x014C;
constexpr uint16_t kPeMachineX64 = 0x8664;
constexpr uint16_t kPeSubsystemGui = 2;
constexpr size_t kElfMachineOffset = 18;  // u16 e_machine
constexpr uint16_t kElfMachineI386 = 3;
constexpr uint16_t kElfMachineX64 = 0x3E;
constexpr uint16_t kElfMachineAarch64 = 0xB7;

// Offset of "PE\0\0", or 0 when the image is not a PE file.
size_t peHeaderOffset(const uint8_t* image, size_t size) {
    if (size < kPeOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') return 0;
    const size_t pe = loadLittleEndian32(image + kPeOffsetField);
    if (pe == 0 || pe > size || size - pe < kPeOptionalHeaderOffset + kPeSubsystemOffset + 2) return 0;
    return std::memcmp(image + pe, "PE\0\0", 4) == 0 ? pe : 0;
}

bool isElf(const uint8_t* image, size_t size) {
    return size > kElfMachineOffset + 2 && std::memcmp(image,
                                                       "\x7F"
                                                       "ELF",
                                                       4) == 0;
}

}  // namespace

namespace StubImage {

StubKind detectKind(const uint8_t* image, size_t size) {
    if (const size_t pe = peHeaderOffset(image, size)) {
        const uint16_t machine = loadLittleEndian16(image + pe + kPeMachineOffset);
        if (machine == kPeMachineI386) return StubKind::WindowsI386;
        if (machine == kPeMachineX64) return StubKind::WindowsX64;
        return StubKind::WindowsOther;
    }
    if (isElf(image, size)) {
        const uint16_t machine = loadLittleEndian16(image + kElfMachineOffset);
        if (machine == kElfMachineI386) return StubKind::LinuxI386;
        if (machine == kElfMachineX64) return StubKind::LinuxX64;
        if (machine == kElfMachineAarch64) return StubKind::LinuxAarch64;
        return StubKind::ElfOther;
    }
    return StubKind::Unknown;
}

bool isWindows(StubKind kind) {
    return kind == StubKind::WindowsI386 || kind == StubKind::WindowsX64 || kind == StubKind::WindowsOther;
}

std::string describe(const uint8_t* image, size_t size) {
    const StubKind kind = detectKind(image, size);
    std::string text;
    switch (kind) {
        case StubKind::WindowsI386: text = "Windows i386"; break;
        case StubKind::WindowsX64: text = "Windows x86-64"; break;
        case StubKind::WindowsOther: text = "Windows (other machine)"; break;
        case StubKind::LinuxI386: text = "Linux i386"; break;
        case StubKind::LinuxX64: text = "Linux x86-64"; break;
        case StubKind::LinuxAarch64: text = "Linux AArch64"; break;
        case StubKind::ElfOther: text = "ELF (other machine)"; break;
        case StubKind::Unknown: return size == 0 ? "none (the payload starts the file)" : "unknown";
    }
    if (isWindows(kind)) {
        const size_t pe = peHeaderOffset(image, size);
        const uint16_t subsystem =
            loadLittleEndian16(image + pe + kPeOptionalHeaderOffset + kPeSubsystemOffset);
        text += subsystem == kPeSubsystemGui ? " (GUI)" : " (console)";
    }
    return text;
}

int64_t findMarker(const uint8_t* data, size_t size) {
    const uint32_t words[2] = {payloadMarkerWord1(), payloadMarkerWord2()};
    uint8_t marker[PayloadFormat::kMarkerBytes];
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < 4; ++i) marker[w * 4 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
    }
    if (size < sizeof(marker)) return -1;
    const uint8_t* end = data + size - sizeof(marker) + 1;
    for (const uint8_t* p = data; p < end; ++p) {
        p = static_cast<const uint8_t*>(std::memchr(p, marker[0], static_cast<size_t>(end - p)));
        if (p == nullptr) return -1;
        if (std::memcmp(p, marker, sizeof(marker)) == 0) return p - data;
    }
    return -1;
}

}  // namespace StubImage
