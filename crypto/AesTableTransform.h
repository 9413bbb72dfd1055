#pragma once
// AesTableTransform — the portable AES of FIPS-197: key expansion and the
// block transform by lookup tables, for processors without AES instructions
// (and as the reference the instruction path is tested against).
//
// Four 256-entry 32-bit round tables per direction merge SubBytes, ShiftRows
// and MixColumns (or their inverses) into four look-ups and XORs per column;
// the S-box and the inverse S-box serve the last round, which has no
// MixColumns. The tables are constant data computed at compile time from the
// field arithmetic of FIPS-197 section 4.
//
// Schedule layout, shared with AesInstructionTransform: round key r is four
// 32-bit words at roundKeys[4r .. 4r+3], each word one state column with
// row 0 in its least significant byte. On a little-endian processor the
// words therefore lie in memory as the bytes of FIPS-197's round keys, which
// is the layout the AES instructions load. A decryption schedule is in the
// form of the equivalent inverse cipher (FIPS-197 section 5.3.5): round keys
// in reverse order, InvMixColumns applied to all but the first and the last.
//
// Block counts are whole 16-byte blocks. in and out may be the same memory
// (not partly overlapping).

#include <cstddef>
#include <cstdint>

// Fills rounds + 1 round keys from a key of keyWords 32-bit words (4, 6, 8).
void aesTableExpandKey(const uint8_t* key, uint32_t keyWords, int32_t rounds, uint32_t* roundKeys);

// Turns an encryption schedule into the equivalent-inverse-cipher schedule.
void aesTableInvertSchedule(uint32_t* roundKeys, int32_t rounds);

void aesTableEncryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                           size_t blocks);
void aesTableDecryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                           size_t blocks);

// CBC over whole blocks: chain holds the initialisation vector (or the last
// ciphertext block of the previous call) and is left holding the last
// ciphertext block of this one.
void aesTableEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                        size_t blocks, uint8_t* chain);
void aesTableDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                        size_t blocks, uint8_t* chain);

// The round table of row 0 (the other rows' are it rotated) and the S-box of
// a direction, read by the one-table path of the installer stub
// (AesCompactTableTransform), which so needs no tables of its own. Row 0 of
// encryption is SubBytes of x times MixColumns column 0, (2, 1, 1, 3); of
// decryption InvSubBytes of x times InvMixColumns column 0, (14, 9, 13, 11).
const uint32_t* aesTableRowTable(bool decrypt);
const uint8_t* aesTableSbox(bool decrypt);
