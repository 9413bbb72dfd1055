#pragma once
// AesCompactTableTransform — the block transform of AesTableTransform with
// one round table per direction instead of four: the other three are the
// same columns rotated by 8, 16 and 24 bits, so each look-up is rotated
// instead, and one loop over the rounds and columns serves both directions.
// Slower and smaller; the installer stub (built with BRIVANE_COMPACT_AES,
// cmake/StubBuild.cmake) uses it when the processor has neither the AES
// instructions nor SSSE3. It reads the row-0 tables of AesTableTransform,
// whose key expansion it shares, so it adds no tables.
//
// Same schedules (made by aesTableExpandKey and aesTableInvertSchedule),
// block counts, chain and in-place rules as AesTableTransform.

#include <cstddef>
#include <cstdint>

void aesCompactTableEncryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks);
void aesCompactTableDecryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks);
void aesCompactTableEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                               size_t blocks, uint8_t* chain);
void aesCompactTableDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                               size_t blocks, uint8_t* chain);
