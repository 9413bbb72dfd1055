#pragma once
// CrcProcessor: passes its input on unchanged and keeps the CRC-32 and the
// byte counts of what went through (a copy with checksum).

#include <cstdint>

#include "compress/DataProcessor.h"
#include "core/ZipCRC.h"

class CrcProcessor : public DataProcessor {
public:
    CrcProcessor();
    ~CrcProcessor() override;

    // When set, end() leaves crc alone.
    void setKeepCrc(bool keep) { m_keepCrc = keep; }

    // "CrcProcessor".
    const char* name() const override;
    // Zeroes the counters and resets the running CRC.
    void begin() override;
    // Stores the final CRC-32 unless keepCrc.
    void end() override;
    // With a source: reads a chunk once the last one is passed on (counting
    // and checksumming it), then passes on as much as next takes. Without:
    // passes the ring's bytes on as far as next takes them, counting and
    // checksumming what was passed. Marks next finished at the end.
    int32_t step() override;

    // Bytes taken in.
    uint32_t bytesIn() override;
    // Unconsumed bytes of the current source chunk plus the ring.
    uint32_t pendingBytes() override;

    uint32_t count() const { return m_count; }
    uint32_t sizeOut() const { return m_sizeOut; }
    uint32_t crc() const { return m_crc; }

private:
    int32_t stepFromSource();
    int32_t stepFromRing();

    uint32_t m_count;
    uint32_t m_sizeOut;
    const uint8_t* m_inputPtr;
    uint32_t m_inputPending;
    uint32_t m_crc;
    ZipCRC m_crcCalc;
    bool m_keepCrc;
};
