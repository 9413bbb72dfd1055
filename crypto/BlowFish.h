#pragma once
// BlowFish — the Blowfish member of the SymmetricAlgorithm2 family: 64-bit
// blocks, keys of 40 to 448 bits, ECB only.
//
// Key: the first keyLength / 8 bytes of the key material (zero-extended when
// shorter; the material from setPassword is 32 bytes, so keys longer than
// 256 bits end in zeros). The whole key schedule is rebuilt from the
// published constants at the start of every one-shot operation and of
// encryptFirst / decryptFirst.
//
// Byte order: each 8-byte block is two 32-bit halves, bytes 0-3 the left
// half and bytes 4-7 the right half, each read and written least significant
// byte first. (Published test vectors list the halves most significant byte
// first, so each group of four bytes appears reversed here.)
//
// Padding: PKCS#7 over 16-byte blocks, as for the other ciphers of the
// family, removed leniently. The mode setters are accepted and ignored:
// everything runs in ECB, so equal 8-byte blocks give equal ciphertext.
//
// Encryption of a length that is not a multiple of 8 completes the trailing
// block with zero bytes and enciphers it (the output is rounded up to 8).
// Decryption deciphers whole blocks; the output bytes of an incomplete
// trailing block are written as zeros.

#include <cstdint>
#include <memory>

#include "crypto/BlockChaining.h"
#include "crypto/BlowfishCore.h"
#include "crypto/SymmetricAlgorithm2.h"

class BlowFish : public SymmetricAlgorithm2 {
public:
    static constexpr int32_t kDefaultKeyBits = 128;
    static constexpr int32_t kMinKeyBits = 40;
    static constexpr int32_t kMaxKeyBits = 448;
    // Key setup reads at most this many bytes of key material.
    static constexpr uint32_t kKeyAreaBytes = 64;
    // Spare capacity given to every result buffer beyond the input length.
    static constexpr uint32_t kResultSlackBytes = 32;

    // 128-bit key, key material from the default password.
    BlowFish();
    // Wipes the P-array and S-boxes (and, in the base, the key material).
    ~BlowFish() override;

    // Slots 1-4: accepted, change nothing (always ECB). True.
    bool setEcbMode() override;
    bool setCbcMode() override;
    bool setReservedModeA() override;
    bool setReservedModeB() override;

    // Slot 5: min(bits, 448) rounded down to a multiple of 8, at least 40.
    // Returns the selected bits (30 -> 40, 100 -> 96, 1000 -> 448).
    int32_t setKeyLength(int32_t bits) override;

    // Slot 6: PKCS#7-pads a copy of in (16-byte blocks) and encrypts it.
    // Empty in gives an empty buffer. in is unchanged.
    std::unique_ptr<DataBuffer> encryptData(const DataBuffer& in) override;
    // Slot 8: decrypts the whole 8-byte blocks of in and removes the padding.
    // Empty in, or fewer than 8 bytes, gives an empty buffer.
    std::unique_ptr<DataBuffer> decryptData(const DataBuffer& in) override;

    // Slots 7, 9, 10, 11: ECB over all of in's capacity, no padding. in's
    // length 0: 7 and 9 clear out, 10 and 11 leave it unchanged, true.
    // Otherwise 7 and 9 reserve out with in's capacity; 10 and 11 require
    // out's capacity to be at least in's. Success sets out's length to in's
    // length and returns true; a failed allocation or a too small out sets
    // it to 0 and returns false. in and out may be the same object.
    bool encryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;

    // Slot 12: provider "brivane", algorithm 2, mode byte 0, flag bytes 1
    // and 0, zero words, the key length in bits.
    void describe(CipherDescription& out) override;
    // Slot 13: setKeyLength(in.keyLengthBits); the mode byte is ignored.
    void applyDescription(const CipherDescription& in) override;

    // Chained operations for data that arrives in pieces. ECB needs no chain
    // block, so pieces are independent once the key is set up. Every piece
    // but the last should be a whole number of 8-byte blocks.
    //
    // encryptFirst: key setup, then encryption without padding. Empty in
    // gives an empty buffer.
    std::unique_ptr<DataBuffer> encryptFirst(const DataBuffer& in);
    // encryptNext: as encryptFirst with the schedule already built (built
    // now if no operation has built one yet).
    std::unique_ptr<DataBuffer> encryptNext(const DataBuffer& in);
    // encryptLast: as encryptNext over a PKCS#7-padded copy of in; an empty
    // in gives one padding block.
    std::unique_ptr<DataBuffer> encryptLast(const DataBuffer& in);
    // decryptFirst: key setup, then decryption of the whole blocks, padding
    // kept. decryptNext: the same without key setup. decryptLast: as
    // decryptNext, then removes the padding. Empty in, or fewer than 8 bytes,
    // gives an empty buffer.
    std::unique_ptr<DataBuffer> decryptFirst(const DataBuffer& in);
    std::unique_ptr<DataBuffer> decryptNext(const DataBuffer& in);
    std::unique_ptr<DataBuffer> decryptLast(const DataBuffer& in);

    // The current key length in bits (40..448, a multiple of 8).
    int32_t keyLengthBits() const { return m_keyLengthBits; }

private:
    // Rebuilds the schedule from the constants and the key material; false
    // (key not ready) when it cannot be built, which every caller turns into
    // its operation's failure result.
    [[nodiscard]] bool setupKey();
    // The schedule as it stands, built first if no operation has built one.
    [[nodiscard]] bool ensureKey();
    void runRange(CipherDirection direction, const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const;
    std::unique_ptr<DataBuffer> encryptPiece(const DataBuffer& in, bool pad);
    std::unique_ptr<DataBuffer> decryptPiece(const DataBuffer& in, bool unpad);
    bool runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction, BlockOutput output);

    // P-array and S-boxes, rebuilt by every key setup.
    std::unique_ptr<BlowfishSchedule> m_schedule;
    int32_t m_keyLengthBits;
    bool m_keyReady;
};
