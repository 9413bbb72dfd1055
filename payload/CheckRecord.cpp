#include "payload/CheckRecord.h"

#include "core/Divide64.h"
#include "core/ZipCRC.h"

// Written without the C library's formatting so that the installer, which
// links this file, stays small.

namespace CheckRecord {

namespace {

constexpr size_t kCrcDigits = 8;
constexpr size_t kMaxCountDigits = 20;  // 2^64 - 1
constexpr char kHexDigits[] = "0123456789abcdef";

uint32_t putHex(char* out, uint32_t value) {
    for (size_t i = 0; i < kCrcDigits; ++i) out[i] = kHexDigits[(value >> (4 * (kCrcDigits - 1 - i))) & 0xFu];
    return kCrcDigits;
}

uint32_t putDecimal(char* out, uint64_t value) {
    char reversed[kMaxCountDigits];
    uint32_t digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + divideBySmall(value, 10));
    } while (value != 0);
    for (uint32_t i = 0; i < digits; ++i) out[i] = reversed[digits - 1 - i];
    return digits;
}

struct Cursor {
    const char* text;
    size_t size;
    size_t at;
};

bool takeHex(Cursor& c, uint32_t& value) {
    if (c.at + kCrcDigits > c.size) return false;
    value = 0;
    for (size_t i = 0; i < kCrcDigits; ++i) {
        const char ch = c.text[c.at + i];
        uint32_t digit;
        if (ch >= '0' && ch <= '9')
            digit = static_cast<uint32_t>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            digit = static_cast<uint32_t>(ch - 'a' + 10);
        else
            return false;
        value = (value << 4) | digit;
    }
    c.at += kCrcDigits;
    return true;
}

// No leading zeros (except "0" itself), at most 2^64 - 1.
bool takeDecimal(Cursor& c, uint64_t& value) {
    const size_t start = c.at;
    value = 0;
    while (c.at < c.size && c.text[c.at] >= '0' && c.text[c.at] <= '9') {
        const uint32_t digit = static_cast<uint32_t>(c.text[c.at] - '0');
        if (decimalStepOverflows(value, digit)) return false;
        value = value * 10 + digit;
        ++c.at;
    }
    const size_t digits = c.at - start;
    if (digits == 0 || digits > kMaxCountDigits) return false;
    return digits == 1 || c.text[start] != '0';
}

bool takeSpace(Cursor& c) {
    if (c.at >= c.size || c.text[c.at] != ' ') return false;
    ++c.at;
    return true;
}

void appendLittleEndian(ZipCRC& crc, uint64_t value, int bytes) {
    uint8_t out[8];
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
    crc.update(out, static_cast<uint32_t>(bytes));
}

}  // namespace

uint32_t format(const Fields& fields, char* text) {
    uint32_t at = 0;
    text[at++] = static_cast<char>(fields.kind);
    text[at++] = ' ';
    switch (fields.kind) {
        case Kind::Settings:
        case Kind::Directory: at += putHex(text + at, fields.headerCrc); break;
        case Kind::File:
            at += putHex(text + at, fields.headerCrc);
            text[at++] = ' ';
            at += putHex(text + at, fields.contentCrc);
            text[at++] = ' ';
            at += putDecimal(text + at, fields.count);
            break;
        case Kind::End: at += putDecimal(text + at, fields.count); break;
        case Kind::Trailer:
            at += putHex(text + at, fields.headerCrc);
            text[at++] = ' ';
            at += putDecimal(text + at, fields.count);
            break;
    }
    return at;
}

bool parse(const char* text, size_t size, Fields& fields) {
    if (text == nullptr || size < 3) return false;
    Fields parsed;
    parsed.kind = static_cast<Kind>(text[0]);
    Cursor c{text, size, 1};
    bool ok = takeSpace(c);
    switch (parsed.kind) {
        case Kind::Settings:
        case Kind::Directory: ok = ok && takeHex(c, parsed.headerCrc); break;
        case Kind::File:
            ok = ok && takeHex(c, parsed.headerCrc) && takeSpace(c) && takeHex(c, parsed.contentCrc) &&
                 takeSpace(c) && takeDecimal(c, parsed.count);
            break;
        case Kind::End: ok = ok && takeDecimal(c, parsed.count); break;
        case Kind::Trailer:
            ok = ok && takeHex(c, parsed.headerCrc) && takeSpace(c) && takeDecimal(c, parsed.count);
            break;
        default: return false;
    }
    // Exactly the canonical text: nothing after it.
    if (!ok || c.at != size) return false;
    fields = parsed;
    return true;
}

uint32_t entryHeaderCrc(uint8_t type, const char* name, size_t nameBytes, uint64_t fileTime,
                        uint32_t attributes) {
    ZipCRC crc;
    crc.reset();
    crc.update(&type, 1);
    crc.update(name, static_cast<uint32_t>(nameBytes));
    appendLittleEndian(crc, fileTime, 8);
    appendLittleEndian(crc, attributes, 4);
    return crc.final();
}

}  // namespace CheckRecord
