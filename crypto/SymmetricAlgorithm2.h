#pragma once
// SymmetricAlgorithm2 — the abstract base of the block ciphers (Rijndael2,
// BlowFish, TwoFish). It holds the key material and declares the fourteen
// virtual operations every cipher offers, in this slot order:
//
//   0 destructor            5 setKeyLength        10 encryptBlocksInto
//   1 setEcbMode            6 encryptData         11 decryptBlocksInto
//   2 setCbcMode            7 encryptBlocks       12 describe
//   3 setReservedModeA      8 decryptData         13 applyDescription
//   4 setReservedModeB      9 decryptBlocks
//
// The base versions refuse (false, 128, null, nothing); each cipher overrides
// what it supports.
//
// Key material is a byte string of any length. Each cipher takes from it the
// bytes its key needs at key setup: a shorter string is extended with zero
// bytes, a longer one is cut (takeKeyBytes).
//
// Whole-buffer operations return a buffer that the caller owns; a null
// result means the cipher does not offer the operation. Nothing throws.

#include <cstdint>
#include <memory>

#include "core/DataBuffer.h"
#include "crypto/BlockBuffer.h"
#include "crypto/CipherDescription.h"

class SymmetricAlgorithm2 {
public:
    // Number of bytes setPassword derives: MD5(password) then
    // MD5(Base64(password)).
    static constexpr uint32_t kDerivedKeyBytes = 32;

    // Key material from the default password "mervask", so an object that is
    // never given a key still has a defined one.
    SymmetricAlgorithm2();

    // Slot 0. Overwrites and frees the key material.
    virtual ~SymmetricAlgorithm2();

    SymmetricAlgorithm2(const SymmetricAlgorithm2&) = delete;
    SymmetricAlgorithm2& operator=(const SymmetricAlgorithm2&) = delete;

    // Slots 1-4: chaining mode selection. True when the cipher accepts the mode.
    virtual bool setEcbMode();
    virtual bool setCbcMode();
    virtual bool setReservedModeA();
    virtual bool setReservedModeB();

    // Slot 5: requests a key length in bits; returns the length selected.
    virtual int32_t setKeyLength(int32_t bits);

    // Slot 6: encrypts the whole buffer with padding. in is left unchanged.
    // Returns a new buffer owned by the caller (empty when in is empty or the
    // operation failed); the base class returns null.
    virtual std::unique_ptr<DataBuffer> encryptData(const DataBuffer& in);

    // Slot 7: encrypts all of in's capacity into out, which is reserved with
    // in's capacity. No padding. out's length becomes in's length on success,
    // 0 on failure.
    virtual bool encryptBlocks(const BlockBuffer& in, BlockBuffer& out);

    // Slot 8: decrypts the whole buffer and removes the padding. As slot 6 for
    // the result.
    virtual std::unique_ptr<DataBuffer> decryptData(const DataBuffer& in);

    // Slot 9: the decrypting counterpart of slot 7.
    virtual bool decryptBlocks(const BlockBuffer& in, BlockBuffer& out);

    // Slots 10, 11: as slots 7 and 9, but into out's existing storage, which
    // must hold at least in's capacity.
    virtual bool encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out);
    virtual bool decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out);

    // Slot 12: fills the record with the cipher's settings (the caller's word
    // is left alone).
    virtual void describe(CipherDescription& out);

    // Slot 13: takes the key length and mode from the record.
    virtual void applyDescription(const CipherDescription& in);

    // A null password changes nothing; otherwise the text's bytes (without
    // the NUL) go to setPassword(const DataBuffer&).
    void setPassword(const char* password);

    // Replaces the key material with 32 bytes: MD5 of the password bytes,
    // then MD5 of their Base64 text (RFC 4648, "=" padding, no line breaks;
    // an empty password gives an empty text).
    void setPassword(const DataBuffer& password);

    // Replaces the key material with a copy of the given bytes, any length.
    void setKey(const DataBuffer& key);

protected:
    // Copies the first min(key material length, areaBytes) bytes of the key
    // material into area and fills the rest of the area with zeros.
    void takeKeyBytes(uint8_t* area, uint32_t areaBytes) const;

    // Overwrites the key material with zeros and empties it.
    void wipeKeyMaterial();

    DataBuffer m_keyMaterial;
};
