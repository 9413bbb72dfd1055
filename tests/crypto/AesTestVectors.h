#pragma once
// The published FIPS-197 examples, shared by the tests of AesCore (every
// engine) and of the stub's compact table path.

#include <cstdint>

struct AesVector {
    const char* label;
    int32_t keyBits;
    const char* keyHex;
    const char* plainHex;
    const char* cipherHex;
};

// From FIPS-197: appendix B (the cipher example) and appendix C.1 to C.3
// (example vectors for the three key lengths).
inline constexpr AesVector kFips197Vectors[] = {
    {"FIPS-197 B, AES-128", 128, "2b7e151628aed2a6abf7158809cf4f3c",
     "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    {"FIPS-197 C.1, AES-128", 128, "000102030405060708090a0b0c0d0e0f",
     "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 C.2, AES-192", 192, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 C.3, AES-256", 256,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};
