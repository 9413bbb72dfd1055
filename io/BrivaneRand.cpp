#include "io/BrivaneRand.h"

#include <cstdlib>
#include <ctime>

namespace {

// rand() is taken as 15-bit values everywhere, whatever RAND_MAX the runtime
// has, so the table's layout (15 + 15 + 2 bits per word) is the same on
// every system.
constexpr uint32_t kRandBits = 15;
constexpr uint32_t kRandMask = (1u << kRandBits) - 1;

// The generator state every BrivaneRand instance shares. Zero-initialised
// before any constructor runs.
struct R250State {
    bool initialised;
    uint32_t words[BrivaneRand::kTableWords];
    uint32_t first;
    uint32_t second;
    uint8_t successor[BrivaneRand::kTableWords];
};
R250State g_state;

uint32_t rand15() { return static_cast<uint32_t>(std::rand()) & kRandMask; }

// Fills the table from rand(), then makes the words at 3, 10, 17 ... linearly
// independent: word 3 + 7k gets bit 31 - k set and the bits above it cleared,
// so the 32 words form a triangular basis (the R250 initialisation of
// Kirkpatrick and Stoll).
void fillTable() {
    g_state.first = 0;
    g_state.second = BrivaneRand::kFeedbackTap;
    for (uint32_t i = 0; i < BrivaneRand::kTableWords; ++i) {
        g_state.successor[i] = static_cast<uint8_t>((i + 1) % BrivaneRand::kTableWords);
    }
    for (int32_t i = BrivaneRand::kTableWords - 1; i >= 0; --i) {
        const uint32_t r1 = rand15();
        const uint32_t r2 = rand15();
        const uint32_t r3 = rand15();
        g_state.words[i] = (((r2 << kRandBits) | r1) << 2) | (r3 & 3);
    }
    uint32_t mask = 0xFFFFFFFFu;
    uint32_t bit = 0x80000000u;
    for (uint32_t k = 0; k < 32; ++k) {
        uint32_t& word = g_state.words[3 + 7 * k];
        word = (word & mask) | bit;
        mask >>= 1;
        bit >>= 1;
    }
}

}  // namespace

BrivaneRand g_brivaneRand;

BrivaneRand::BrivaneRand() {
    if (g_state.initialised) return;
    g_state.initialised = true;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    fillTable();
}

void BrivaneRand::reseed(uint32_t seed) {
    std::srand(seed);
    fillTable();
}

int32_t BrivaneRand::randomInRange(int32_t low, int32_t high) {
    if (high < low) return low;
    // Scale a 15-bit draw onto the range: every value of a range of up to
    // 2^15 values is reachable.
    const int64_t span = static_cast<int64_t>(high) - low + 1;
    return static_cast<int32_t>(low + ((static_cast<int64_t>(rand15()) * span) >> kRandBits));
}

uint32_t BrivaneRand::nextR250() {
    const uint32_t i = g_state.first;
    const uint32_t j = g_state.second;
    g_state.first = g_state.successor[i];
    g_state.second = g_state.successor[j];
    g_state.words[i] ^= g_state.words[j];
    return g_state.words[i];
}
