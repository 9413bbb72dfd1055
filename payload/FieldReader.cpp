#include "payload/FieldReader.h"

#include "core/ByteOrder.h"
#include "io/DataSource.h"

bool FieldReader::readExact(void* buffer, uint32_t bytes) {
    if (bytes == 0) return true;
    if (m_source == nullptr) return false;
    uint32_t got = 0;
    if (!m_source->readBytes(buffer, bytes, &got)) return false;
    if (m_observer != nullptr) m_observer(m_observerContext, buffer, got);
    return got == bytes;
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
