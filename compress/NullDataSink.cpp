#include "compress/NullDataSink.h"

NullDataSink::NullDataSink() = default;

NullDataSink::~NullDataSink() = default;

bool NullDataSink::write(const uint8_t* data, uint32_t size) {
    (void)data;
    noteAccepted(size);
    return true;
}

uint32_t NullDataSink::bytesIn() { return m_totalWritten; }

uint32_t NullDataSink::pendingBytes() { return 0; }

bool NullDataSink::freeSpace(uint32_t& count) {
    count = kUnlimitedSpace;
    return true;
}
