#pragma once
// TwoFish — the Twofish member of the SymmetricAlgorithm2 family: 128-bit
// blocks, 128-, 192- or 256-bit keys, ECB or CBC.
//
// Key: the first keyLength / 8 bytes of the key material (zero-extended when
// shorter). Every operation runs its own key setup, and in CBC mode every
// operation starts from the same fixed initialisation vector of the class
// (kClassIv), so equal plaintexts always give equal ciphertexts.
//
// Padding: PKCS#7 over 16-byte blocks, removed leniently (a last byte v in
// 1..16 drops v bytes; any other value drops nothing).
//
// Only whole 16-byte blocks are enciphered or deciphered; the output bytes
// of an incomplete trailing block are written as zeros.
//
// There are no chained (piecewise) operations.

#include <cstdint>
#include <memory>

#include "crypto/BlockChaining.h"
#include "crypto/SymmetricAlgorithm2.h"
#include "crypto/TwofishCore.h"

class TwoFish : public SymmetricAlgorithm2 {
public:
    static constexpr int32_t kDefaultKeyBits = 256;
    // Spare capacity given to every result buffer beyond the input length.
    static constexpr uint32_t kResultSlackBytes = 32;
    // The fixed CBC initialisation vector: the first 128 bits of the
    // fractional part of the square root of 2 (an arbitrary constant with
    // nothing hidden in it).
    static constexpr uint8_t kClassIv[kTwofishBlockBytes] = {
        0x6A, 0x09, 0xE6, 0x67, 0xF3, 0xBC, 0xC9, 0x08, 0xB2, 0xFB, 0x13, 0x66, 0xEA, 0x95, 0x7D, 0x3E,
    };

    // 256-bit key, CBC, key material from the default password.
    TwoFish();
    // Wipes the key schedule (and, in the base, the key material).
    ~TwoFish() override;

    // Slots 1, 2: select ECB or CBC, true. Slots 3, 4 (base): false.
    bool setEcbMode() override;
    bool setCbcMode() override;

    // Slot 5: above 192 selects 256; 128 or less (0 and negatives included)
    // selects 128; 129..192 selects 192. Returns the selected bits.
    int32_t setKeyLength(int32_t bits) override;

    // Slot 6: PKCS#7-pads a copy of in and encrypts it (ECB, or CBC from the
    // class IV). Empty in gives an empty buffer; a failed key setup gives
    // null. in is unchanged.
    std::unique_ptr<DataBuffer> encryptData(const DataBuffer& in) override;
    // Slot 8: decrypts the whole blocks of in and removes the padding. Empty
    // in, or fewer than 16 bytes, gives an empty buffer; a failed key setup
    // gives null.
    std::unique_ptr<DataBuffer> decryptData(const DataBuffer& in) override;

    // Slots 7, 9, 10, 11: no padding, all of in's capacity processed. in's
    // length 0: 7 and 9 clear out, 10 and 11 leave it unchanged, true.
    // Otherwise 7 and 9 reserve out with in's capacity; 10 and 11 require
    // out's capacity to be at least in's. Success sets out's length to in's
    // length; a failed key setup or allocation, or a too small out, sets it
    // to 0 and returns false. in and out may be the same object.
    bool encryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;

    // Slot 12: provider "brivane", algorithm 3, mode byte 0, flag bytes 1
    // and 0, zero words, the key length in bits.
    void describe(CipherDescription& out) override;
    // Slot 13: setKeyLength(in.keyLengthBits), then ECB when in.mode is 1,
    // CBC otherwise.
    void applyDescription(const CipherDescription& in) override;

    int32_t keyLengthBits() const { return m_keyLengthBits; }
    ChainingMode mode() const { return m_mode; }

private:
    // Builds the schedule from the key material; false when it cannot be
    // built (the operation then fails without touching the data).
    [[nodiscard]] bool setupKey();
    void runRange(CipherDirection direction, const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const;
    bool runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction, BlockOutput output);

    ChainingMode m_mode;
    uint8_t m_iv[kTwofishBlockBytes];
    int32_t m_keyLengthBits;
    std::unique_ptr<TwofishSchedule> m_schedule;
};
