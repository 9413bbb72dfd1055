#pragma once
// InputFile: reads one packed file from start to end and tells a read error
// from the end of the file. (FileDataSource takes a failed read for the end
// of the data, which suits the installer reading its own image but would let
// a pack store a file cut short without a word.)

#include <cstdint>
#include <string>

#include "platform/win32.h"

class InputFile {
public:
    InputFile() = default;
    ~InputFile();

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a UTF-8 path for reading (the library's openForRead).
    bool open(const std::string& utf8Path);
    // Fills buffer with up to size bytes; got < size only at the end of the
    // file. False on a read error.
    bool readFull(uint8_t* buffer, uint32_t size, uint32_t& got);
    void close();

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};
