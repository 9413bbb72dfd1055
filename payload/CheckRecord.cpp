#include "tools/bvsfx/CheckRecord.h"

#include <cinttypes>
#include <cstdio>

#include "compress/ZipCRC.h"

namespace CheckRecord {

namespace {

constexpr size_t kCrcDigits = 8;
constexpr size_t kMaxCountDigits = 20;  // 2^64 - 1

bool takeHex(const std::string& text, size_t& at, uint32_t& value) {
    if (at + kCrcDigits > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < kCrcDigits; ++i) {
        const char c = text[at + i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else return false;
        value = (value << 4) | digit;
    }
    at += kCrcDigits;
    return true;
}

bool takeDecimal(const std::string& text, size_t& at, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start && at - start <= kMaxCountDigits;
}

bool takeSpace(const std::string& text, size_t& at) {
    if (at >= text.size() || text[at] != ' ') return false;
    ++at;
    return true;
}

void appendLittleEndian(ZipCRC& crc, uint64_t value, int bytes) {
    uint8_t out[8];
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
    crc.update(out, static_cast<uint32_t>(bytes));
}

}  // namespace

std::string format(const Fields& fields) {
    char text[64];
    switch (fields.kind) {
        case Kind::Settings:
        case Kind::Directory:
            std::snprintf(text, sizeof(text), "%c %08" PRIx32, static_cast<char>(fields.kind), fields.headerCrc);
            break;
        case Kind::File:
            std::snprintf(text, sizeof(text), "F %08" PRIx32 " %08" PRIx32 " %" PRIu64, fields.headerCrc,
                          fields.contentCrc, fields.count);
            break;
        case Kind::End:
            std::snprintf(text, sizeof(text), "E %" PRIu64, fields.count);
            break;
    }
    return text;
}

bool parse(const std::string& text, Fields& fields) {
    if (text.size() < 3) return false;
    Fields parsed;
    parsed.kind = static_cast<Kind>(text[0]);
    size_t at = 1;
    bool ok = takeSpace(text, at);
    switch (parsed.kind) {
        case Kind::Settings:
        case Kind::Directory: ok = ok && takeHex(text, at, parsed.headerCrc); break;
        case Kind::File:
            ok = ok && takeHex(text, at, parsed.headerCrc) && takeSpace(text, at) &&
                 takeHex(text, at, parsed.contentCrc) && takeSpace(text, at) && takeDecimal(text, at, parsed.count);
            break;
        case Kind::End: ok = ok && takeDecimal(text, at, parsed.count); break;
        default: return false;
    }
    // Exactly the canonical text: no leading zeros, nothing after it.
    if (!ok || at != text.size() || format(parsed) != text) return false;
    fields = parsed;
    return true;
}

uint32_t entryHeaderCrc(uint8_t type, const std::string& name, uint64_t fileTime, uint32_t attributes) {
    ZipCRC crc;
    crc.reset();
    crc.update(&type, 1);
    crc.update(name.data(), static_cast<uint32_t>(name.size()));
    appendLittleEndian(crc, fileTime, 8);
    appendLittleEndian(crc, attributes, 4);
    return crc.final();
}

}  // namespace CheckRecord
