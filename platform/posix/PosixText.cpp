// Path translation and UTF-16 text for the POSIX layer. The layer converts
// for itself so that platform/ depends on nothing above it.
#include <cctype>
#include <cstring>

#include "platform/posix/PosixLayer.h"

namespace posix_layer {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool isSeparator(char c) { return c == '/' || c == '\\'; }

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

// Decodes one UTF-8 sequence at text[i]; advances i past it. Overlong forms,
// surrogates and values above U+10FFFF are invalid: one byte is consumed and
// U+FFFD returned.
char32_t decodeUtf8(const std::string& text, size_t& i) {
    const auto byteAt = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byteAt(i);
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacementCharacter;
    }
    if (i + length > text.size()) {
        ++i;
        return kReplacementCharacter;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = byteAt(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacementCharacter;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacementCharacter;
    }
    i += length;
    return c;
}

}  // namespace

std::string toNativePath(const char* path) {
    if (path == nullptr) return std::string();
    std::string text(path);
    const bool hasDrive =
        text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
    if (hasDrive) {
        std::string rest = text.substr(2);
        text = (rest.empty() || !isSeparator(rest[0])) ? "/" + rest : rest;
    }
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text;
}

std::string utf16ToUtf8(const WCHAR* text) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; text[i] != 0; ++i) {
        char32_t c = text[i];
        const bool highSurrogate = c >= 0xD800 && c <= 0xDBFF;
        const bool lowSurrogate = c >= 0xDC00 && c <= 0xDFFF;
        if (highSurrogate && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (highSurrogate || lowSurrogate) {
            c = kReplacementCharacter;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string utf8ToUtf16(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) appendUtf16(out, decodeUtf8(text, i));
    return out;
}

DWORD copyOutWide(const std::string& utf8Text, WCHAR* buffer, DWORD bufferChars) {
    const std::u16string wide = utf8ToUtf16(utf8Text);
    const DWORD length = static_cast<DWORD>(wide.size());
    if (buffer == nullptr || bufferChars <= length) return length + 1;
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    buffer[length] = 0;
    return length;
}

DWORD copyOutAnsi(const std::string& text, char* buffer, DWORD bufferChars) {
    const DWORD length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || bufferChars <= length) return length + 1;
    std::memcpy(buffer, text.data(), text.size());
    buffer[length] = 0;
    return length;
}

}  // namespace posix_layer
