#include "tools/bvsfx/PeChecksum.h"

namespace {

constexpr size_t kChecksumFieldBytes = 4;

uint32_t foldCarry(uint32_t sum) { return (sum & 0xFFFF) + (sum >> 16); }

}  // namespace

namespace PeChecksum {

uint32_t compute(const uint8_t* file, size_t bytes, size_t checksumFieldOffset) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes; i += 2) {
        if (i >= checksumFieldOffset && i < checksumFieldOffset + kChecksumFieldBytes) continue;
        sum = foldCarry(sum + static_cast<uint32_t>(file[i] | (file[i + 1] << 8)));
    }
    if (i < bytes) sum = foldCarry(sum + file[i]);
    sum = foldCarry(sum);
    return sum + static_cast<uint32_t>(bytes);
}

}  // namespace PeChecksum
