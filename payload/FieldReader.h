#pragma once
// FieldReader: the fields of the payload's records, read in order from a
// forward-only source.
//
// Every read is all or nothing: fewer bytes than asked (the end of the data,
// or a source that fails) is a false result, which the readers report as a
// record cut short. Multi-byte fields are little-endian. A read of zero bytes
// succeeds without touching the source (a source refuses an empty read).
//
// While an observer is set, every byte read is passed to it as well: the
// archive sums the header and the settings table as they go by.

#include <cstdint>

class DataSource;

class FieldReader {
public:
    using Observer = void (*)(void* context, const void* bytes, uint32_t count);

    explicit FieldReader(DataSource* source = nullptr) : m_source(source) {}

    void setSource(DataSource* source) { m_source = source; }
    DataSource* source() const { return m_source; }

    void setObserver(Observer observer, void* context) {
        m_observer = observer;
        m_observerContext = context;
    }
    void clearObserver() { m_observer = nullptr; }

    bool readExact(void* buffer, uint32_t bytes);
    bool readU8(uint8_t& value) { return readExact(&value, 1); }
    bool readU16(uint16_t& value);
    bool readU32(uint32_t& value);

private:
    DataSource* m_source;
    Observer m_observer = nullptr;
    void* m_observerContext = nullptr;
};
