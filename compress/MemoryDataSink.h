#pragma once
// MemoryDataSink: a sink that holds what it accepts in a ring buffer, for a
// consumer that takes the bytes out later (a pipeline stage reads its input
// from here when it has no source of its own).

#include <cstdint>

#include "compress/DataSink.h"
#include "compress/StreamingBuffer.h"

class MemoryDataSink : public DataSink {
public:
    // The ring starts without storage; init it through ring().
    MemoryDataSink();
    ~MemoryDataSink() override;

    // Stores as much as the ring has room for, counts what was stored and
    // tells the progress monitor; true only when all size bytes fit.
    bool write(const uint8_t* data, uint32_t size) override;
    uint32_t bytesIn() override;
    // The bytes held in the ring.
    uint32_t pendingBytes() override;
    // The ring's free bytes; true when more than 0.
    bool freeSpace(uint32_t& count) override;

    StreamingBuffer& ring() { return m_ring; }

protected:
    StreamingBuffer m_ring;
};
