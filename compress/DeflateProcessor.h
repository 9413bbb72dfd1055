#pragma once
// DeflateProcessor: compresses what it reads into raw deflate (zlib, through
// ZeeStream) and passes the compressed bytes on, keeping the CRC-32 and the
// sizes of the run. With pwdProtect set and encryptMethod 0 it also applies
// the traditional ZIP encryption: a 12-byte encryption header (made from
// checkCrc) in front, then every compressed byte enciphered.

#include <cstdint>

#include "compress/DataProcessor.h"
#include "core/ZipCRC.h"
#include "crypto/PwdProtect.h"

class ZeeStream;

class DeflateProcessor : public DataProcessor {
public:
    // Size of the buffer each deflate call writes into.
    static constexpr uint32_t kOutBufferBytes = 25000;

    // Deflate level 6 unless setLevel says otherwise.
    DeflateProcessor();
    ~DeflateProcessor() override;

    // Levels outside 0..9 become 6 when the stream starts.
    void setLevel(int32_t level) { m_level = level; }
    // When set, end() leaves crc alone.
    void setKeepCrc(bool keep) { m_keepCrc = keep; }

    // "DeflateProcessor".
    const char* name() const override;
    // Starts a new deflate stream at the level and zeroes the counters and
    // flags, so a processor can run again.
    void begin() override;
    // Stores the final CRC-32 unless keepCrc.
    void end() override;
    // Reads a chunk when the previous one is consumed, runs one deflate call
    // when its earlier output has all been passed on, passes on as much
    // output as next takes, and marks next finished once everything is out.
    int32_t step() override;

    // Bytes consumed.
    uint32_t bytesIn() override;
    // 1 while the stream is not finished, plus the unconsumed bytes of the
    // current source chunk, plus output not yet passed on, plus the ring.
    uint32_t pendingBytes() override;

    uint32_t sizeIn() const { return m_sizeIn; }
    // Bytes passed to next, the encryption header included.
    uint32_t sizeOut() const { return m_sizeOut; }
    // CRC-32 of the consumed bytes, set by end().
    uint32_t crc() const { return m_crc; }
    bool streamFinished() const { return m_streamFinished; }

private:
    bool takeSourceInput(bool& atEnd);
    void takeRingInput(bool& atEnd);
    bool passOutputOn();
    bool writeEncryptionHeader();

    int32_t m_level;
    ZeeStream* m_stream;
    const uint8_t* m_inputPtr;
    uint32_t m_inputPending;
    bool m_streamFinished;
    uint8_t* m_outBuffer;
    uint32_t m_outPending;
    uint32_t m_outWritten;
    PwdProtect m_encryptor;
    uint32_t m_sizeIn;
    uint32_t m_sizeOut;
    uint32_t m_crc;
    ZipCRC m_crcCalc;
    bool m_keepCrc;
    bool m_lastCallEnded;
};
