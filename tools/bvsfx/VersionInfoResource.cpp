#include "tools/bvsfx/VersionInfoResource.h"

#include "tools/bvsfx/LittleEndian.h"

using LittleEndian::appendU16;
using LittleEndian::appendU32;

namespace {

constexpr uint16_t kTypeBinary = 0;
constexpr uint16_t kTypeText = 1;
constexpr size_t kBlockAlignmentBytes = 4;
constexpr uint32_t kMaxBlockBytes = 0xFFFF;  // wLength is 16 bits
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kFileOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApplication = 1;
constexpr uint16_t kFixedInfoBytes = 52;
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr uint16_t kCodePageUtf16 = 1200;
constexpr const char* kStringTableKey = "040904B0";  // language and code page in hex
constexpr uint32_t kMaxVersionPart = 0xFFFF;

void appendKey(std::vector<uint8_t>& out, const std::u16string& key) {
    for (char16_t unit : key) appendU16(out, static_cast<uint16_t>(unit));
    appendU16(out, 0);
    LittleEndian::padTo(out, kBlockAlignmentBytes);
}

std::u16string ascii(const char* text) {
    std::u16string out;
    for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

// One block: header, key, value, children; its wLength set at the end.
// Blocks start at 4-byte boundaries of the resource, which every block's
// length (padded by its parent) keeps.
class Block {
public:
    Block(std::vector<uint8_t>& out, const std::u16string& key, uint16_t valueLength, uint16_t type)
        : m_out(out), m_start(out.size()) {
        appendU16(out, 0);
        appendU16(out, valueLength);
        appendU16(out, type);
        appendKey(out, key);
    }
    // Closes the block; false when it outgrew the 16-bit length.
    bool close() {
        const size_t bytes = m_out.size() - m_start;
        if (bytes > kMaxBlockBytes) return false;
        storeLittleEndian16(&m_out[m_start], static_cast<uint16_t>(bytes));
        LittleEndian::padTo(m_out, kBlockAlignmentBytes);
        return true;
    }

private:
    std::vector<uint8_t>& m_out;
    size_t m_start;
};

void appendFixedFileInfo(std::vector<uint8_t>& out,
                         const std::vector<std::pair<std::string, std::string>>& strings) {
    uint32_t file[2] = {0, 0};
    uint32_t product[2] = {0, 0};
    for (const auto& string : strings) {
        if (string.first == VersionInfoResource::kFileVersionKey) {
            if (!VersionInfoResource::parseNumericVersion(string.second, file[0], file[1]))
                file[0] = file[1] = 0;
        } else if (string.first == VersionInfoResource::kProductVersionKey) {
            if (!VersionInfoResource::parseNumericVersion(string.second, product[0], product[1])) {
                product[0] = product[1] = 0;
            }
        }
    }
    for (uint32_t value :
         {kFixedInfoSignature, kFixedInfoStructVersion, file[0], file[1], product[0], product[1],
          kFileFlagsMask, 0u, kFileOsNtWindows32, kFileTypeApplication, 0u, 0u, 0u}) {
        appendU32(out, value);
    }
}

}  // namespace

namespace VersionInfoResource {

const char* const kKeys[kKeyCount] = {"CompanyName",    "FileDescription",  "FileVersion",
                                      "LegalCopyright", "OriginalFilename", "ProductName",
                                      "ProductVersion"};

bool isKnownKey(const std::string& key) {
    for (const char* known : kKeys) {
        if (key == known) return true;
    }
    return false;
}

bool parseNumericVersion(const std::string& text, uint32_t& mostSignificant, uint32_t& leastSignificant) {
    uint32_t parts[4] = {0, 0, 0, 0};
    size_t part = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || ++part == 4) return false;
            digits = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > 5) return false;
        parts[part] = parts[part] * 10 + static_cast<uint32_t>(c - '0');
        if (parts[part] > kMaxVersionPart) return false;
    }
    if (part != 3 || digits == 0) return false;
    mostSignificant = (parts[0] << 16) | parts[1];
    leastSignificant = (parts[2] << 16) | parts[3];
    return true;
}

bool utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t length = 0;
        uint32_t point = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
            minimum = 0x10000;
        } else
            return false;
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            const uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        if (point >= 0x10000) {
            point -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(point));
        }
        i += length;
    }
    return true;
}

bool build(const std::vector<std::pair<std::string, std::string>>& strings, std::vector<uint8_t>& out,
           std::string& error) {
    out.clear();
    Block root(out, ascii("VS_VERSION_INFO"), kFixedInfoBytes, kTypeBinary);
    appendFixedFileInfo(out, strings);
    LittleEndian::padTo(out, kBlockAlignmentBytes);

    Block stringFileInfo(out, ascii("StringFileInfo"), 0, kTypeText);
    Block table(out, ascii(kStringTableKey), 0, kTypeText);
    for (const char* key : kKeys) {
        for (const auto& string : strings) {
            if (string.first != key) continue;
            std::u16string value;
            if (!utf8ToUtf16(string.second, value)) {
                error = "the " + string.first + " text is not valid UTF-8";
                return false;
            }
            if (value.size() + 1 > kMaxBlockBytes / 2) {
                error = "the " + string.first + " text is too long for a version resource";
                return false;
            }
            Block entry(out, ascii(key), static_cast<uint16_t>(value.size() + 1), kTypeText);
            for (char16_t unit : value) appendU16(out, static_cast<uint16_t>(unit));
            appendU16(out, 0);
            if (!entry.close()) {
                error = "the " + string.first + " text is too long for a version resource";
                return false;
            }
        }
    }
    const bool stringsFit = table.close() && stringFileInfo.close();

    Block varFileInfo(out, ascii("VarFileInfo"), 0, kTypeText);
    Block translation(out, ascii("Translation"), 4, kTypeBinary);
    appendU16(out, kLanguageUsEnglish);
    appendU16(out, kCodePageUtf16);
    translation.close();
    varFileInfo.close();
    if (!stringsFit || !root.close()) {
        error = "the version strings together are too long for a version resource (64 KiB)";
        return false;
    }
    return true;
}

}  // namespace VersionInfoResource
