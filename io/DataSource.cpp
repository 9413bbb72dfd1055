#include "io/DataSource.h"

#include "io/ProgressMonitor.h"

DataSource::~DataSource() { m_monitor = nullptr; }

bool DataSource::readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) {
    (void)buffer;
    (void)maxBytes;
    if (bytesRead != nullptr) *bytesRead = 0;
    return false;
}

bool DataSource::endOfData() { return true; }

bool DataSource::findUint32(uint32_t key, uint32_t* bytesSkipped) {
    (void)key;
    if (bytesSkipped != nullptr) *bytesSkipped = 0;
    return false;
}

void DataSource::noteDelivered(uint32_t count) {
    m_totalDelivered += count;  // wraps at 2^32
    if (m_monitor != nullptr) {
        bool abort = false;
        m_monitor->addBytes(count, abort);
    }
}
