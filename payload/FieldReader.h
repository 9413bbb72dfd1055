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
//
// Read-ahead: an entry record is seven fields and a file's chunk a length
// field and its data, each of which would otherwise be one read of the
// source (one system call for a file). With read-ahead on, the source is
// read in blocks of kReadAheadBytes into a buffer allocated once, and the
// fields are taken from it; a field at least a block long goes from the
// buffer's rest straight on to the source, into the caller's memory. The
// fields come out exactly as without it: a field that the data does not
// hold in full still fails, whatever was read ahead. Only the source's own
// position runs ahead of the fields, so read-ahead is for a reader that
// alone reads the source from then on (no search, no other reader).

#include <cstdint>

#include "core/DataBuffer.h"

class DataSource;

class FieldReader {
public:
    using Observer = void (*)(void* context, const void* bytes, uint32_t count);

    // The read-ahead block: big enough that the records of a run of small
    // files come in a few reads, small against the 2,048,576-byte chunk
    // buffer beside it.
    static constexpr uint32_t kReadAheadBytes = 65536;

    explicit FieldReader(DataSource* source = nullptr) : m_source(source) {}

    // A new source drops whatever was read ahead from the old one.
    void setSource(DataSource* source);
    DataSource* source() const { return m_source; }

    // Turns read-ahead on (the buffer is allocated on the first call). Bytes
    // already read ahead stay available when it is turned off again.
    void startReadAhead();
    void stopReadAhead() { m_readAhead = false; }

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
    // Copies up to bytes from what was read ahead; returns the count.
    uint32_t takeBuffered(uint8_t* out, uint32_t bytes);
    // One read of up to bytes from the source into out; the count read.
    uint32_t readFromSource(uint8_t* out, uint32_t bytes);
    bool readThroughBuffer(uint8_t* out, uint32_t bytes);

    DataSource* m_source;
    Observer m_observer = nullptr;
    void* m_observerContext = nullptr;
    bool m_readAhead = false;
    bool m_sourceEnded = false;  // a read ahead came short: the data ends there
    DataBuffer m_buffer;         // bytes read ahead, m_bufferPosition..size not yet taken
    uint32_t m_bufferPosition = 0;
};
