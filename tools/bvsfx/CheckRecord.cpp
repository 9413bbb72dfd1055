#include "tools/bvsfx/CheckRecord.h"

#include <cinttypes>
#include <cstdio>

namespace CheckRecord {

namespace {
constexpr size_t kCrcDigits = 8;
constexpr size_t kMaxSizeDigits = 20;  // 2^64 - 1 has 20 digits
}

std::string format(uint32_t crc32, uint64_t size) {
    char text[kCrcDigits + 1 + kMaxSizeDigits + 1];
    std::snprintf(text, sizeof(text), "%08" PRIx32 " %" PRIu64, crc32, size);
    return text;
}

bool parse(const std::string& text, uint32_t& crc32, uint64_t& size) {
    if (text.size() < kCrcDigits + 2 || text.size() > kCrcDigits + 1 + kMaxSizeDigits ||
        text[kCrcDigits] != ' ') {
        return false;
    }
    uint32_t crc = 0;
    for (size_t i = 0; i < kCrcDigits; ++i) {
        const char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else return false;
        crc = (crc << 4) | digit;
    }
    uint64_t value = 0;
    for (size_t i = kCrcDigits + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (format(crc, value) != text) return false;  // leading zeros and the like
    crc32 = crc;
    size = value;
    return true;
}

}  // namespace CheckRecord
