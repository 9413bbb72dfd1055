#pragma once
// AesInstructionTransform — the AES block transform with the processor's AES
// instructions (AESENC/AESENCLAST, AESDEC/AESDECLAST). Same schedules,
// block counts and chain rules as AesTableTransform, whose key expansion
// these functions use unchanged: the equivalent-inverse-cipher schedule is
// exactly what AESDEC expects.
//
// Call only when cpuHasAesInstructions() is true; on other processors (and
// on non-x86 builds, where these are not compiled) they do nothing.
//
// Independent blocks (ECB, CBC decryption) run several at a time, since each
// instruction's latency is several times its issue rate; CBC encryption is
// one block after the other by definition.

#include <cstddef>
#include <cstdint>

void aesInstructionEncryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                 size_t blocks);
void aesInstructionDecryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                 size_t blocks);
void aesInstructionEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                              size_t blocks, uint8_t* chain);
void aesInstructionDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                              size_t blocks, uint8_t* chain);
