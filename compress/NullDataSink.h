#pragma once
// NullDataSink: counts what it is given and discards it (used when only the
// CRC or the sizes of a run are wanted).

#include <cstdint>

#include "compress/DataSink.h"

class NullDataSink : public DataSink {
public:
    NullDataSink();
    ~NullDataSink() override;

    // Counts size bytes, tells the progress monitor, true.
    bool write(const uint8_t* data, uint32_t size) override;
    uint32_t bytesIn() override;
    uint32_t pendingBytes() override;
    // Always kUnlimitedSpace and true.
    bool freeSpace(uint32_t& count) override;
};
