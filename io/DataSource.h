// A forward-reading byte source with a search for a 32-bit word.
//
// The kinds: FileDataSource (io/FileDataSource.h) over a Win32 file handle,
// MemoryDataSource (io/MemoryDataSource.h) over a block of memory.
#pragma once

#include <cstdint>

class ProgressMonitor;

class DataSource {
public:
    DataSource() = default;
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;
    virtual ~DataSource();

    // Delivers up to maxBytes into buffer and sets *bytesRead (when given) to
    // the count delivered. A read may deliver fewer bytes than asked for.
    // The base source delivers nothing and returns false.
    virtual bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead);

    // True when no more bytes will come. The base source is always at its end.
    virtual bool endOfData();

    // Moves forward to just after the first 4 bytes that, read as a
    // little-endian u32, equal key; *bytesSkipped (when given) is the number of
    // bytes before them. False when the key is not found. The base source
    // finds nothing.
    virtual bool findUint32(uint32_t key, uint32_t* bytesSkipped);

    // The monitor is borrowed; it is told about every byte a read delivers.
    void setMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }

    // All bytes delivered by successful reads, modulo 2^32.
    uint32_t getTotalDelivered() const { return m_totalDelivered; }

protected:
    // Adds a delivered count to the total and tells the monitor; the monitor's
    // abort answer is not acted upon by the sources.
    void noteDelivered(uint32_t count);

    uint32_t m_totalDelivered = 0;
    ProgressMonitor* m_monitor = nullptr;
};
