#include "payload/UnixRecord.h"

#include "core/Divide64.h"

// Written without the C library's formatting so that the installer, which
// links this file, stays small.

namespace UnixRecord {

namespace {

constexpr char kModeKind = 'M';
constexpr char kLinkKind = 'L';
constexpr size_t kMaxIndexDigits = 20;  // 2^64 - 1

std::string decimal(uint64_t value) {
    char reversed[kMaxIndexDigits];
    size_t digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + divideBySmall(value, 10));
    } while (value != 0);
    std::string text;
    while (digits != 0) text += reversed[--digits];
    return text;
}

std::string octalMode(uint32_t mode) {
    std::string text(kModeDigits, '0');
    for (size_t i = 0; i < kModeDigits; ++i)
        text[kModeDigits - 1 - i] = static_cast<char>('0' + ((mode >> (3 * i)) & 7u));
    return text;
}

// The text split at its separators, one field at a time.
struct FieldCursor {
    const char* text;
    size_t size;
    size_t at = 0;
    bool more = true;  // a field remains (an empty text has one empty field)

    bool next(const char*& field, size_t& fieldSize) {
        if (!more) return false;
        const size_t start = at;
        while (at < size && text[at] != kFieldSeparator) ++at;
        field = text + start;
        fieldSize = at - start;
        if (at < size)
            ++at;  // the separator
        else
            more = false;
        return true;
    }
};

// No leading zeros (except "0" itself), at most 2^64 - 1.
bool takeDecimal(const char* field, size_t size, uint64_t& value) {
    if (size == 0 || size > kMaxIndexDigits || (size > 1 && field[0] == '0')) return false;
    value = 0;
    for (size_t i = 0; i < size; ++i) {
        if (field[i] < '0' || field[i] > '9') return false;
        const uint32_t digit = static_cast<uint32_t>(field[i] - '0');
        if (decimalStepOverflows(value, digit)) return false;
        value = value * 10 + digit;
    }
    return true;
}

bool takeMode(const char* field, size_t size, uint32_t& mode) {
    if (size != kModeDigits) return false;
    mode = 0;
    for (size_t i = 0; i < size; ++i) {
        if (field[i] < '0' || field[i] > '7') return false;
        mode = (mode << 3) | static_cast<uint32_t>(field[i] - '0');
    }
    return true;
}

}  // namespace

std::string format(const Fields& fields) {
    std::string text;
    switch (fields.kind) {
        case Kind::Mode:
            text += kModeKind;
            text += kFieldSeparator;
            text += decimal(fields.entryIndex);
            text += kFieldSeparator;
            text += octalMode(fields.mode & kPermissionBits);
            break;
        case Kind::Link:
            text += kLinkKind;
            text += kFieldSeparator;
            text += fields.name;
            text += kFieldSeparator;
            text += fields.target;
            break;
        case Kind::Unknown: break;
    }
    return text;
}

bool parse(const char* text, size_t size, Fields& fields) {
    if (text == nullptr || size == 0) return false;
    FieldCursor cursor{text, size};
    const char* kind = nullptr;
    size_t kindSize = 0;
    cursor.next(kind, kindSize);
    if (kindSize == 0) return false;
    Fields parsed;
    const char* first = nullptr;
    const char* second = nullptr;
    size_t firstSize = 0;
    size_t secondSize = 0;
    const bool known = kindSize == 1 && (kind[0] == kModeKind || kind[0] == kLinkKind);
    if (!known) {
        parsed.kind = Kind::Unknown;
        fields = parsed;
        return true;
    }
    if (!cursor.next(first, firstSize) || !cursor.next(second, secondSize)) return false;
    if (kind[0] == kModeKind) {
        parsed.kind = Kind::Mode;
        if (!takeDecimal(first, firstSize, parsed.entryIndex) || !takeMode(second, secondSize, parsed.mode)) {
            return false;
        }
    } else {
        parsed.kind = Kind::Link;
        if (firstSize == 0 || secondSize == 0) return false;
        parsed.name.assign(first, firstSize);
        parsed.target.assign(second, secondSize);
    }
    fields = parsed;
    return true;
}

void TrailerSum::add(uint8_t type, const char* text, size_t size) {
    m_crc.update(&type, 1);
    m_crc.update(text, static_cast<uint32_t>(size));
    ++m_records;
}

}  // namespace UnixRecord
