#pragma once
// BrivaneObject: common base of the strings, the file-information record and
// the pipeline sinks. It carries a serial number taken from a process-wide
// counter, useful when following object lifetimes in a debugger; no operation
// depends on it.

#include <cstdint>

class BrivaneObject {
public:
    // Takes the next serial number (the first object gets 100).
    BrivaneObject();
    // A copy is a new object: it takes a new serial number, not the source's.
    BrivaneObject(const BrivaneObject& other);
    BrivaneObject& operator=(const BrivaneObject& other);
    virtual ~BrivaneObject();

    // The serial number assigned at construction.
    int32_t getSerial() const { return m_serial; }

private:
    int32_t m_serial;
};
