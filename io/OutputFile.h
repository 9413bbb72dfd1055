// An Output over a Win32 file handle or over a stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "io/Output.h"
#include "platform/win32.h"

enum class OutputFileStart {
    AtCurrentPointer,  // size and position 0; the file pointer is not moved
    AppendAtEnd,       // size = position = the file's size; pointer moved to the end
};

class OutputFile : public Output {
public:
    // The handle stays the caller's to close unless setOwnsHandle(true).
    explicit OutputFile(HANDLE handle, OutputFileStart start = OutputFileStart::AtCurrentPointer);
    // Every operation goes to the stream (borrowed, not closed).
    explicit OutputFile(FILE* stream);
    // Closes the handle only when owned and valid.
    ~OutputFile() override;

    // position = size; stream: fseek to the end; handle: pointer to the end.
    // Neither: false.
    bool seekToEnd() override;
    // Stream: fseek from the start. Handle: pointer and position = p. Neither:
    // false.
    bool seekTo(uint32_t position) override;
    // Stream: ftell. No handle: 0. Otherwise the position.
    uint32_t tell() override;
    // 0 for null data or a zero number. Stream: fwrite, returns the items
    // written. Handle: WriteFile, returns the bytes written; the size follows
    // the highest offset written. Neither: 0.
    uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) override;

    void setOwnsHandle(bool owns) { m_ownsHandle = owns; }
    HANDLE getHandle() const { return m_handle; }
    uint32_t getSize() const { return m_size; }

private:
    bool hasHandle() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }

    bool m_ownsHandle = false;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    uint32_t m_size = 0;
    uint32_t m_position = 0;
    FILE* m_stream = nullptr;
};
