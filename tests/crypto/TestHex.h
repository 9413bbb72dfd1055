#pragma once
// Hex helpers shared by the crypto tests: known-answer tables are written as
// hex text, and failures print byte strings as hex.

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    int high = -1;
    for (char c : hex) {
        const int v = nibble(c);
        if (v < 0) continue;  // spaces group the digits
        if (high < 0) {
            high = v;
        } else {
            out.push_back(uint8_t(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string toHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 15]);
    }
    return s;
}

inline std::string toHex(const std::vector<uint8_t>& v) { return toHex(v.data(), v.size()); }
