#pragma once
// wipeSecretBytes — overwrites key material, key schedules and other secrets
// with zeros before their memory is freed or reused. The stores go through a
// volatile pointer so the compiler cannot drop them as dead writes to memory
// that is about to die.

#include <cstddef>
#include <cstdint>

inline void wipeSecretBytes(void* p, size_t n) {
    if (p == nullptr) return;
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(p);
    while (n-- != 0) *bytes++ = 0;
}
