// The program's random-number source: the runtime library's rand() for small
// ranges, and an R250 shift-register generator (Kirkpatrick and Stoll) for
// 32-bit words. Every instance shares one process-wide state.
#pragma once

#include <cstdint>

class BrivaneRand {
public:
    // R250: 250 words, the feedback tap 103 words ahead.
    static constexpr uint32_t kTableWords = 250;
    static constexpr uint32_t kFeedbackTap = 103;

    // The first construction in the process seeds the runtime generator with
    // the time of day and fills the table; later ones change nothing.
    BrivaneRand();

    // srand(seed), then fills the table again from rand().
    void reseed(uint32_t seed);
    // A value from low to high (inclusive), from the runtime's rand() taken as
    // 15-bit values. Each value of a range of up to 32,768 is possible.
    int32_t randomInRange(int32_t low, int32_t high);
    // The next R250 word.
    uint32_t nextR250();
};

// The process-wide instance, built by static initialisation so the shared
// state is seeded before the entry point runs.
extern BrivaneRand g_brivaneRand;
