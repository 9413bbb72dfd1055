#include "crypto/BlockChaining.h"

#include <cstring>

namespace {

inline void xorBlock(uint8_t* target, const uint8_t* mask, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) target[i] ^= mask[i];
}

void runMode(const BlockTransform& transform, ChainingMode mode, CipherDirection direction, const uint8_t* in,
             uint8_t* out, size_t blocks, uint8_t* chain) {
    if (mode == ChainingMode::Ecb && direction == CipherDirection::Encrypt)
        transform.encryptEcb(in, out, blocks);
    else if (mode == ChainingMode::Ecb)
        transform.decryptEcb(in, out, blocks);
    else if (direction == CipherDirection::Encrypt)
        transform.encryptCbc(in, out, blocks, chain);
    else
        transform.decryptCbc(in, out, blocks, chain);
}

}  // namespace

// ---------------------------------------------------------------------------
// One block at a time

void BlockwiseTransform::encryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const {
    const uint32_t size = blockBytes();
    for (size_t i = 0; i < blocks; ++i) encryptBlock(in + i * size, out + i * size);
}

void BlockwiseTransform::decryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const {
    const uint32_t size = blockBytes();
    for (size_t i = 0; i < blocks; ++i) decryptBlock(in + i * size, out + i * size);
}

void BlockwiseTransform::encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    const uint32_t size = blockBytes();
    for (size_t i = 0; i < blocks; ++i) {
        uint8_t block[kMaxBlockBytes];
        std::memcpy(block, in + i * size, size);
        xorBlock(block, chain, size);
        encryptBlock(block, out + i * size);
        std::memcpy(chain, out + i * size, size);
    }
}

// The ciphertext block is saved before it is overwritten, so in and out may
// be the same memory.
void BlockwiseTransform::decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    const uint32_t size = blockBytes();
    for (size_t i = 0; i < blocks; ++i) {
        uint8_t ciphertext[kMaxBlockBytes];
        std::memcpy(ciphertext, in + i * size, size);
        decryptBlock(ciphertext, out + i * size);
        xorBlock(out + i * size, chain, size);
        std::memcpy(chain, ciphertext, size);
    }
}

// ---------------------------------------------------------------------------
// Byte ranges

uint32_t chainBlocks(const BlockTransform& transform, ChainingMode mode, CipherDirection direction,
                     const uint8_t* in, uint8_t* out, uint32_t lengthBytes, const uint8_t* iv,
                     PartialBlock partial) {
    const uint32_t size = transform.blockBytes();
    const uint32_t wholeBlocks = lengthBytes / size;
    const uint32_t tailBytes = lengthBytes % size;
    uint8_t chain[BlockwiseTransform::kMaxBlockBytes] = {};
    if (mode == ChainingMode::Cbc) std::memcpy(chain, iv, size);
    if (wholeBlocks != 0) runMode(transform, mode, direction, in, out, wholeBlocks, chain);
    if (tailBytes == 0) return wholeBlocks * size;

    uint8_t* tail = out + wholeBlocks * size;
    if (partial == PartialBlock::Zeroed || direction == CipherDirection::Decrypt) {
        std::memset(tail, 0, tailBytes);
        return wholeBlocks * size;
    }
    uint8_t completed[BlockwiseTransform::kMaxBlockBytes] = {};
    std::memcpy(completed, in + wholeBlocks * size, tailBytes);
    runMode(transform, mode, direction, completed, tail, 1, chain);
    return (wholeBlocks + 1) * size;
}

// ---------------------------------------------------------------------------
// Block-to-block operations

bool finishEmptyBlockRun(const BlockBuffer& in, BlockBuffer& out, BlockOutput output) {
    if (in.length() != 0) return false;
    if (output == BlockOutput::Reserved) out.clear();
    return true;
}

bool chainBlockBuffer(const BlockTransform& transform, ChainingMode mode, CipherDirection direction,
                      const uint8_t* iv, const BlockBuffer& in, BlockBuffer& out, BlockOutput output) {
    const uint32_t length = in.length();
    const uint32_t bytes = in.capacity();
    // Reserving would free in's data when both are one buffer: work in place.
    if (output == BlockOutput::Reserved && &in != &out && !out.reserve(bytes)) {
        out.setLength(0);
        return false;
    }
    if (out.capacity() < bytes) {
        out.setLength(0);
        return false;
    }
    chainBlocks(transform, mode, direction, in.data(), out.data(), bytes, iv, PartialBlock::Zeroed);
    out.setLength(length);
    return true;
}
