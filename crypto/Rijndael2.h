#pragma once
// Rijndael2 — AES (128-bit blocks, 128/192/256-bit keys) in ECB or CBC mode,
// the member of the SymmetricAlgorithm2 family the payload reader depends on.
//
// Key: the first 16, 24 or 32 bytes of the key material (zero-extended when
// shorter). Padding: PKCS#7 over 16-byte blocks, removed leniently (a last
// byte v in 1..16 drops v bytes; any other value drops nothing; the other
// padding bytes are not examined). A wrong key is never detected: it yields
// wrong bytes, and callers that must know check the content themselves.
//
// Every one-shot operation (slots 6-11, decryptDataInto) runs its own key
// setup from the current key material, key length and mode (the schedule is
// only expanded again when the key bytes, their length or the direction
// differ from the last expansion), and CBC starts
// from the stored initialisation vector (all zero unless encryptNext or
// encryptLast adopted a chain block, which then persists in the object).
//
// Output bytes of an incomplete trailing block (input not a multiple of 16)
// are not enciphered or deciphered; they are written as zeros.
//
// Typical use: setKeyLength, setCbcMode or setEcbMode, setPassword or setKey,
// then any number of operations. One object serves one thread at a time.

#include <cstdint>
#include <memory>

#include "crypto/AesCore.h"
#include "crypto/BlockChaining.h"
#include "crypto/SymmetricAlgorithm2.h"

class Rijndael2 : public SymmetricAlgorithm2 {
public:
    // The only padding scheme: PKCS#7 (DataBuffer::PadPkcs7).
    static constexpr int32_t kPaddingPkcs7 = 0;
    // Spare capacity given to every result buffer beyond the input length.
    static constexpr uint32_t kResultSlackBytes = 32;

    // AES-256, CBC, all-zero IV, key not ready, key material from the
    // default password.
    Rijndael2();
    // Wipes the key schedule (AesCore) and the key material (base class).
    ~Rijndael2() override;

    // Slots 1-4: ECB and CBC are accepted; the reserved modes are not.
    bool setEcbMode() override;
    bool setCbcMode() override;
    bool setReservedModeA() override;
    bool setReservedModeB() override;

    // Slot 5: above 192 selects 256; 128 or less (0 and negatives included)
    // selects 128; 129..192 selects 192. Returns the selected bits.
    int32_t setKeyLength(int32_t bits) override;

    // Slot 6: PKCS#7-pads a copy of in and encrypts it. Empty in gives an
    // empty buffer (no padding block). The result has length
    // roundup16(length + 1) and 32 bytes of spare capacity. in is unchanged.
    std::unique_ptr<DataBuffer> encryptData(const DataBuffer& in) override;

    // Slot 8: decrypts the whole blocks of in and removes the padding. Empty
    // in, or fewer than 16 bytes, gives an empty buffer.
    std::unique_ptr<DataBuffer> decryptData(const DataBuffer& in) override;

    // Slots 7, 9, 10, 11: no padding. in's length 0: 7 and 9 clear out, 10
    // and 11 leave it unchanged, all return true. Otherwise all of in's
    // capacity is processed; 7 and 9 first reserve out with in's capacity, 10
    // and 11 require out's capacity to be at least in's (false otherwise).
    // Success sets out's length to in's length; failure sets it to 0. in and
    // out may be the same object.
    bool encryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocks(const BlockBuffer& in, BlockBuffer& out) override;
    bool encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;
    bool decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) override;

    // Slot 12: provider "brivane", algorithm 1, mode byte 0, flag bytes 1
    // and 0, zero words, the current key length in bits.
    void describe(CipherDescription& out) override;
    // Slot 13: setKeyLength(in.keyLengthBits), then ECB when in.mode is 1,
    // CBC otherwise.
    void applyDescription(const CipherDescription& in) override;

    // As decryptData, into the caller's buffer: out gets at least in's
    // length + 32 bytes of capacity and in's length, the whole blocks are
    // decrypted and the padding removed. Empty in leaves out untouched; fewer
    // than 16 bytes leave out at in's length (zeros), padding not removed.
    // in and out may be the same object.
    void decryptDataInto(const DataBuffer& in, DataBuffer& out);

    // Chained encryption of data that arrives in pieces. Every piece but the
    // last should be a whole number of blocks. The caller keeps the chain and
    // sets it to the last 16 bytes of each piece's output before the next.
    //
    // encryptFirst: key setup, then CBC from the stored IV; the output has
    // in's length (empty in gives an empty buffer).
    std::unique_ptr<DataBuffer> encryptFirst(const DataBuffer& in);
    // encryptNext: no key setup (uses encryptFirst's schedule). A chain
    // shorter than 16 bytes is first extended with 16 zero bytes; the stored
    // IV becomes chain's first 16 bytes and stays so for later operations.
    std::unique_ptr<DataBuffer> encryptNext(const DataBuffer& in, DataBuffer& chain);
    // encryptLast: as encryptNext over a PKCS#7-padded copy of in; the
    // output has the padded length (an empty in gives one padding block).
    std::unique_ptr<DataBuffer> encryptLast(const DataBuffer& in, DataBuffer& chain);

    // Chained decryption. chain is a 16-byte block owned by the caller; in
    // CBC mode each call writes the last ciphertext block of its input into
    // it. None of them changes the stored IV. An empty input, or one without
    // a whole block, gives an empty buffer and leaves chain alone.
    //
    // decryptFirst: key setup, CBC from the stored IV.
    std::unique_ptr<DataBuffer> decryptFirst(const DataBuffer& in, uint8_t* chain);
    // decryptNext: no key setup, CBC from chain.
    std::unique_ptr<DataBuffer> decryptNext(const DataBuffer& in, uint8_t* chain);
    // decryptLast: as decryptNext, then removes the padding.
    std::unique_ptr<DataBuffer> decryptLast(const DataBuffer& in, uint8_t* chain);

    // The current key length in bits (128, 192 or 256).
    int32_t keyLengthBits() const;

private:
    enum class KeySize : int32_t { Bits128, Bits192, Bits256 };

    // The key length of m_keySize in bytes (16, 24 or 32).
    uint32_t keyBytes() const;
    // Builds the schedule for direction from the key material; false (key
    // not ready) when it cannot be built. Every caller turns a false into
    // its operation's failure result.
    [[nodiscard]] bool setupKey(CipherDirection direction);
    // The driver over whole blocks with the current schedule; 0 when it
    // refuses (key not ready, schedule made for the other direction, no
    // input, no whole block), else the bytes processed (the output bytes of
    // a trailing partial block are written as zeros).
    uint32_t runBlockStep(const uint8_t* in, uint32_t lengthBytes, uint8_t* out, CipherDirection direction,
                          const uint8_t* iv);
    bool scheduleMatches(const uint8_t* keyArea, uint32_t keyBytes, AesCore::Direction direction) const;

    bool runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction, BlockOutput output);
    std::unique_ptr<DataBuffer> encryptPiece(const DataBuffer& in, bool pad);
    std::unique_ptr<DataBuffer> decryptPiece(const DataBuffer& in, uint8_t* chain, const uint8_t* iv,
                                             bool unpad);
    void adoptChainAsIv(DataBuffer& chain);

    int32_t m_paddingScheme;
    KeySize m_keySize;
    bool m_keyReady;
    ChainingMode m_mode;
    CipherDirection m_direction;
    uint8_t m_iv[kAesBlockBytes];
    // Rounds and the key schedule (encryption form, or after a decrypt key
    // setup the equivalent-inverse-cipher form).
    AesCore m_core;
    // The key bytes m_core's schedule was expanded from, so that a key setup
    // with the same key and direction (every chunk of a payload) reuses it.
    uint8_t m_scheduleKey[kAes256KeyBytes];
    uint32_t m_scheduleKeyBytes;
};
