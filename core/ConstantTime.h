#pragma once
// Comparisons of secrets (password verifiers, authentication codes) whose
// running time does not depend on where the bytes first differ: every byte
// is looked at, and no branch depends on their values. A comparison that
// stops at the first difference tells a timing observer how many leading
// bytes of a guess were right.

#include <cstddef>
#include <cstdint>

// The OR of a[i] ^ b[i] over all n bytes: 0 exactly when the two are equal.
// Every byte contributes, so the result shows that none was skipped.
inline uint8_t constantTimeDifference(const uint8_t* a, const uint8_t* b, size_t n) {
    // Volatile reads keep the compiler from turning the loop into an early
    // exit (it may not assume the later bytes are irrelevant).
    const volatile uint8_t* left = a;
    const volatile uint8_t* right = b;
    uint8_t difference = 0;
    for (size_t i = 0; i < n; ++i) difference = static_cast<uint8_t>(difference | (left[i] ^ right[i]));
    return difference;
}

inline bool constantTimeEqual(const uint8_t* a, const uint8_t* b, size_t n) {
    return constantTimeDifference(a, b, n) == 0;
}
