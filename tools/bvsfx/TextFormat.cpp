#include "tools/bvsfx/TextFormat.h"

#include <cstdio>

#include "core/FileTimeText.h"
#include "core/StringBuffer.h"

namespace TextFormat {

std::string fileTime(uint64_t fileTime) {
    StringBuffer text;
    appendUtcFileTime(text, fileTime);
    return text.getString();
}

std::string attributes(uint32_t attributes) {
    StringBuffer text;
    appendAttributeLetters(text, attributes);
    return text.getString();
}

std::string bytes(uint64_t count) {
    char text[32];
    if (count >= 1024 * 1024) {
        std::snprintf(text, sizeof(text), "%.1f MB", count / (1024.0 * 1024.0));
    } else if (count >= 1024) {
        std::snprintf(text, sizeof(text), "%.1f KB", count / 1024.0);
    } else {
        std::snprintf(text, sizeof(text), "%u B", static_cast<unsigned>(count));
    }
    return text;
}

std::string ratio(uint64_t packed, uint64_t original) {
    if (original == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f%%",
                  100.0 * static_cast<double>(packed) / static_cast<double>(original));
    return text;
}

std::string count(uint64_t number, const char* singular, const char* plural) {
    return std::to_string(number) + " " + (number == 1 ? singular : plural);
}

namespace {

// Length of the valid UTF-8 sequence at p (at most available bytes), 0 when
// there is none; codePoint receives its value.
size_t utf8Sequence(const uint8_t* p, size_t available, uint32_t& codePoint) {
    const uint8_t lead = p[0];
    size_t length = 0;
    if (lead < 0x80)
        length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || length > available) return 0;
    codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (p[k] & 0x3F);
    }
    if ((length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) ||
        (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF))) {
        return 0;
    }
    return length;
}

bool hidesOnScreen(uint32_t codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x200E || codePoint == 0x200F ||
           (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

bool needsEscapes(const std::string& name) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(name.data());
    for (size_t i = 0; i < name.size();) {
        uint32_t codePoint = 0;
        const size_t length = utf8Sequence(p + i, name.size() - i, codePoint);
        if (length == 0 || codePoint < 0x20 || codePoint == 0x7F || hidesOnScreen(codePoint)) return true;
        i += length;
    }
    return false;
}

}  // namespace

std::string displayName(const std::string& name) {
    if (!needsEscapes(name)) return name;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(name.data());
    std::string out = "\"";
    char escape[16];
    for (size_t i = 0; i < name.size();) {
        uint32_t codePoint = 0;
        const size_t length = utf8Sequence(p + i, name.size() - i, codePoint);
        if (length == 0) {
            std::snprintf(escape, sizeof(escape), "\\x%02X", p[i]);
            out += escape;
            ++i;
            continue;
        }
        switch (codePoint) {
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case 0x1B: out += "\\e"; break;
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            default:
                if (codePoint < 0x20 || codePoint == 0x7F) {
                    std::snprintf(escape, sizeof(escape), "\\x%02X", static_cast<unsigned>(codePoint));
                    out += escape;
                } else if (hidesOnScreen(codePoint)) {
                    std::snprintf(escape, sizeof(escape), "\\u{%04X}", static_cast<unsigned>(codePoint));
                    out += escape;
                } else {
                    out.append(name, i, length);
                }
        }
        i += length;
    }
    return out + "\"";
}

}  // namespace TextFormat
