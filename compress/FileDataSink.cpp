#include "compress/FileDataSink.h"

#include "io/Output.h"

FileDataSink::FileDataSink() : m_output(nullptr), m_failed(false) {}

FileDataSink::FileDataSink(Output* output) : m_output(output), m_failed(false) {}

FileDataSink::~FileDataSink() = default;

bool FileDataSink::write(const uint8_t* data, uint32_t size) {
    if (m_output == nullptr) return false;
    if (size == 0) return true;
    if (data == nullptr) return false;
    if (m_output->writeBytes(data, 1, size) < size) {
        m_failed = true;
        m_output = nullptr;
        return false;
    }
    noteAccepted(size);
    return true;
}

uint32_t FileDataSink::bytesIn() { return m_totalWritten; }

uint32_t FileDataSink::pendingBytes() { return 0; }

bool FileDataSink::freeSpace(uint32_t& count) {
    count = kUnlimitedSpace;
    return true;
}
