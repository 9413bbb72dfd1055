#include "payload/FieldReader.h"

#include <cstring>

#include "core/ByteOrder.h"
#include "io/DataSource.h"

void FieldReader::setSource(DataSource* source) {
    m_source = source;
    m_buffer.setSize(0);
    m_bufferPosition = 0;
    m_sourceEnded = false;
}

void FieldReader::startReadAhead() {
    if (m_buffer.getCapacity() < kReadAheadBytes) m_buffer.ensureCapacity(kReadAheadBytes);
    m_readAhead = true;
}

bool FieldReader::readExact(void* buffer, uint32_t bytes) {
    if (bytes == 0) return true;
    if (m_source == nullptr) return false;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const uint32_t buffered = m_buffer.getSize() - m_bufferPosition;
    if (!m_readAhead && buffered == 0) {
        uint32_t got = 0;
        if (!m_source->readBytes(out, bytes, &got)) return false;
        if (m_observer != nullptr) m_observer(m_observerContext, out, got);
        return got == bytes;
    }
    return readThroughBuffer(out, bytes);
}

// Without read-ahead a short read is the end of the field and of the record
// that holds it; the same holds here for the bytes a field did get.
bool FieldReader::readThroughBuffer(uint8_t* out, uint32_t bytes) {
    uint32_t got = takeBuffered(out, bytes);
    if (got < bytes && !m_sourceEnded) {
        const uint32_t missing = bytes - got;
        if (!m_readAhead || missing >= kReadAheadBytes) {
            got += readFromSource(out + got, missing);
        } else {
            const uint32_t filled = readFromSource(m_buffer.getData(), kReadAheadBytes);
            m_buffer.setSize(filled);
            m_bufferPosition = 0;
            got += takeBuffered(out + got, missing);
        }
    }
    if (m_observer != nullptr) m_observer(m_observerContext, out, got);
    return got == bytes;
}

uint32_t FieldReader::takeBuffered(uint8_t* out, uint32_t bytes) {
    const uint32_t buffered = m_buffer.getSize() - m_bufferPosition;
    const uint32_t taken = bytes < buffered ? bytes : buffered;
    if (taken == 0) return 0;
    std::memcpy(out, m_buffer.getData() + m_bufferPosition, taken);
    m_bufferPosition += taken;
    return taken;
}

// A file source delivers less than asked only at the end of its data (or
// when it fails): nothing more is read from it after that.
uint32_t FieldReader::readFromSource(uint8_t* out, uint32_t bytes) {
    uint32_t got = 0;
    if (!m_source->readBytes(out, bytes, &got)) got = 0;
    if (got < bytes) m_sourceEnded = true;
    return got;
}

bool FieldReader::readU16(uint16_t& value) {
    uint8_t bytes[2];
    if (!readExact(bytes, sizeof bytes)) return false;
    value = loadLittleEndian16(bytes);
    return true;
}

bool FieldReader::readU32(uint32_t& value) {
    uint8_t bytes[4];
    if (!readExact(bytes, sizeof bytes)) return false;
    value = loadLittleEndian32(bytes);
    return true;
}
