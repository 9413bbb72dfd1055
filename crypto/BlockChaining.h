#pragma once
// BlockChaining — the ECB and CBC driver shared by the block ciphers of the
// SymmetricAlgorithm2 family (Rijndael2, BlowFish, TwoFish). A cipher hands
// it its block transform (a BlockTransform over its current key schedule);
// the driver runs the chaining mode over a byte range or a BlockBuffer and
// applies the family's rules for the trailing partial block and for the
// block-to-block operations, so those rules are written once.
//
// CBC (the chaining of NIST SP 800-38A):
//   encryption  C[i] = E(P[i] xor C[i-1]),  C[-1] = IV
//   decryption  P[i] = D(C[i]) xor C[i-1]
// The driver works on a copy of the IV: the caller's is read, never updated.

#include <cstddef>
#include <cstdint>

#include "crypto/BlockBuffer.h"

// How consecutive blocks are tied together.
enum class ChainingMode : int32_t { Ecb, Cbc };

// Which way a key schedule and an operation run.
enum class CipherDirection : int32_t { Encrypt, Decrypt };

// What becomes of the bytes of an incomplete trailing block.
enum class PartialBlock : int32_t {
    // Not read; the output bytes are written as zeros.
    Zeroed,
    // Completed with zero bytes and enciphered, so the output is rounded up
    // to a whole block (Blowfish encryption).
    CompletedWithZeros,
};

// A cipher's block transform over whole blocks. The bulk forms let a cipher
// use a faster path for many blocks at once (the AES instructions pipeline
// several blocks); in and out may be the same memory, not partly overlapping.
class BlockTransform {
public:
    virtual ~BlockTransform() = default;

    // Block size in bytes (8 or 16).
    virtual uint32_t blockBytes() const = 0;

    virtual void encryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const = 0;
    virtual void decryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const = 0;
    // chain holds C[-1] on entry and this run's last ciphertext block on exit.
    virtual void encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const = 0;
    virtual void decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const = 0;
};

// A BlockTransform for a cipher that transforms one block at a time: ECB and
// CBC are the loops over encryptBlock and decryptBlock.
class BlockwiseTransform : public BlockTransform {
public:
    // Blocks of up to this many bytes (the largest block of the family).
    static constexpr uint32_t kMaxBlockBytes = 16;

    void encryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override;
    void decryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override;
    void encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override;
    void decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override;

protected:
    // One block; in and out may be the same block.
    virtual void encryptBlock(const uint8_t* in, uint8_t* out) const = 0;
    virtual void decryptBlock(const uint8_t* in, uint8_t* out) const = 0;
};

// Runs mode and direction over lengthBytes of in into out (which may be the
// same memory), CBC starting from a copy of iv (ignored in ECB; may be null
// there). Whole blocks are transformed; an incomplete trailing block is
// treated as partial says. Returns the number of output bytes produced: the
// whole blocks, or with CompletedWithZeros the length rounded up to a block.
uint32_t chainBlocks(const BlockTransform& transform, ChainingMode mode, CipherDirection direction,
                     const uint8_t* in, uint8_t* out, uint32_t lengthBytes, const uint8_t* iv,
                     PartialBlock partial);

// Where a block-to-block operation writes.
enum class BlockOutput : int32_t {
    // out is first reserved with in's capacity (unless in and out are one).
    Reserved,
    // out's existing storage, which must hold at least in's capacity.
    Existing,
};

// What a block-to-block operation does when in has no content: Reserved
// clears out, Existing leaves it alone; either way the operation succeeds.
// True when in is empty (the operation is then complete).
bool finishEmptyBlockRun(const BlockBuffer& in, BlockBuffer& out, BlockOutput output);

// The block-to-block operations (no padding) once the key is ready: all of
// in's capacity is transformed into out (see BlockOutput), and out's length
// becomes in's length. A failed reservation or a too small out sets out's
// length to 0 and returns false. in and out may be the same object.
bool chainBlockBuffer(const BlockTransform& transform, ChainingMode mode, CipherDirection direction,
                      const uint8_t* iv, const BlockBuffer& in, BlockBuffer& out, BlockOutput output);
