#pragma once
// AesVectorPermuteTransform — the AES block transform with the SSSE3 byte
// shuffle (PSHUFB) for processors without AES instructions: all sixteen
// bytes of a block go through each step at once, and every table is
// sixteen bytes in a register, looked up by a 4-bit index. Nothing is
// looked up by a secret-dependent address, unlike the round tables of
// AesTableTransform.
//
// The S-box is an inversion in GF(2^8) followed by a linear map. Written as
// a pair of GF(16) elements, a byte is inverted with five 16-entry look-ups;
// the linear part of the S-box, the MixColumns coefficients and the change
// back to the pair form are folded into the output tables, ShiftRows into
// the byte rotations of MixColumns. scripts/gen_aes_vperm_tables.py derives
// the tables (AesVectorPermuteTables.h) and explains the mathematics.
//
// The engine reads its own form of the round keys (each in the engine's
// basis and byte order), which aesVectorPermuteEncryptSchedule and
// aesVectorPermuteDecryptSchedule make once per key from the schedule of
// AesTableTransform. Block counts, chain and in-place rules as in
// AesTableTransform. Decryption is AesVectorPermuteDecrypt.cpp, encryption
// AesVectorPermuteEncrypt.cpp (which the installer stub leaves out).
//
// Call these functions only when cpuHasSsse3() is true; on non-x86
// builds they do nothing. Independent blocks (ECB, CBC decryption) run
// several at a time, so that one block's look-ups fill the gaps in the
// other's dependency chain; CBC encryption is one block after the other.

#include <cstddef>
#include <cstdint>

// Make the engine's schedule, rounds + 1 keys of 16 bytes, from an
// encryption schedule or an equivalent-inverse-cipher schedule in the
// layout of AesTableTransform.h.
void aesVectorPermuteEncryptSchedule(const uint32_t* roundKeys, int32_t rounds, uint8_t* schedule);
void aesVectorPermuteDecryptSchedule(const uint32_t* roundKeys, int32_t rounds, uint8_t* schedule);

// schedule: made by the schedule function of the direction of the call.
void aesVectorPermuteEncryptBlocks(const uint8_t* schedule, int32_t rounds, const uint8_t* in, uint8_t* out,
                                   size_t blocks);
void aesVectorPermuteDecryptBlocks(const uint8_t* schedule, int32_t rounds, const uint8_t* in, uint8_t* out,
                                   size_t blocks);
void aesVectorPermuteEncryptCbc(const uint8_t* schedule, int32_t rounds, const uint8_t* in, uint8_t* out,
                                size_t blocks, uint8_t* chain);
void aesVectorPermuteDecryptCbc(const uint8_t* schedule, int32_t rounds, const uint8_t* in, uint8_t* out,
                                size_t blocks, uint8_t* chain);
