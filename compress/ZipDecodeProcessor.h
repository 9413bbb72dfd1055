#pragma once
// ZipDecodeProcessor: passes its input on with the traditional ZIP
// encryption removed: every run of bytes is deciphered by the PwdProtect
// just before it is written (the keys advance with each byte, so each byte
// is deciphered exactly once, in order). Without a PwdProtect it copies.

#include <cstdint>

#include "compress/DataProcessor.h"

class PwdProtect;

class ZipDecodeProcessor : public DataProcessor {
public:
    ZipDecodeProcessor();
    ~ZipDecodeProcessor() override;

    // Borrowed; its keys must be ready for the entry data (checkHeader done).
    void setDecryptor(PwdProtect* decryptor) { m_decryptor = decryptor; }

    // "PassThruProcessor".
    const char* name() const override;
    // Zeroes the counters.
    void begin() override;
    // Reads a chunk once the last one is passed on, deciphers and passes on
    // as much as next takes; marks next finished at the end.
    int32_t step() override;

    // Bytes read.
    uint32_t bytesIn() override;
    // Unconsumed bytes of the current source chunk plus the ring.
    uint32_t pendingBytes() override;

    uint32_t sizeIn() const { return m_sizeIn; }
    uint32_t sizeOut() const { return m_sizeOut; }

private:
    int32_t stepFromSource();
    int32_t stepFromRing();
    bool decipherAndWrite(uint8_t* bytes, uint32_t count);

    PwdProtect* m_decryptor;
    uint32_t m_sizeIn;
    uint32_t m_sizeOut;
    uint8_t* m_inputPtr;
    uint32_t m_inputPending;
};
