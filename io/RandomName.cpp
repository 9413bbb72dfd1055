#include "io/RandomName.h"

#include "platform/SystemRandom.h"

namespace {

constexpr uint32_t kLetters = 26;
constexpr uint32_t kLettersAndDigits = 36;
// The largest multiple of 36 that fits a byte: bytes from here up are drawn
// again, so that every character is equally likely.
constexpr uint32_t kUnbiasedByteLimit = 252;
constexpr uint32_t kBytesPerDraw = 16;

char nameCharFor(uint32_t value) {
    return value < kLetters ? static_cast<char>('A' + value) : static_cast<char>('0' + (value - kLetters));
}

}  // namespace

bool randomNameChars(std::string& out) {
    out.clear();
    while (out.size() < kRandomNameChars) {
        unsigned char bytes[kBytesPerDraw];
        if (!systemRandomBytes(bytes, sizeof bytes)) return false;
        for (unsigned char byte : bytes) {
            if (byte < kUnbiasedByteLimit && out.size() < kRandomNameChars) {
                out += nameCharFor(byte % kLettersAndDigits);
            }
        }
    }
    return true;
}
