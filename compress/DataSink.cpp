#include "compress/DataSink.h"

#include "io/ProgressMonitor.h"

DataSink::DataSink() : m_totalWritten(0), m_finished(false), m_progress(nullptr) {}

DataSink::~DataSink() = default;

bool DataSink::write(const uint8_t* data, uint32_t size) {
    (void)data;
    (void)size;
    return false;
}

uint32_t DataSink::bytesIn() { return m_totalWritten; }

uint32_t DataSink::pendingBytes() { return 0; }

bool DataSink::freeSpace(uint32_t& count) {
    count = 0;
    return false;
}

void DataSink::noteAccepted(uint32_t n) {
    if (m_progress != nullptr) {
        bool abort = false;
        m_progress->addBytes(n, abort);  // the run loop reads the aborted flag
    }
    m_totalWritten += n;
}
