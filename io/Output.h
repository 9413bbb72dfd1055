// A positioned byte sink.
//
// The kinds: OutputFile (io/OutputFile.h) over a Win32 file handle or a stdio
// stream, OutputDataBuffer (io/OutputDataBuffer.h) into a DataBuffer.
#pragma once

#include <cstdint>

class Output {
public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    virtual ~Output() = default;

    // Makes the end of the data the write position. Base: true.
    virtual bool seekToEnd() { return true; }
    // Makes the given offset the write position. Base: true.
    virtual bool seekTo(uint32_t position) {
        (void)position;
        return true;
    }
    // The write position. Base: 0.
    virtual uint32_t tell() { return 0; }
    // Writes itemSize * itemCount bytes at the write position and advances it.
    // Returns the count written (the stream form: items written). A caller that
    // needs every byte compares the result with what it asked for. Base: 0.
    virtual uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) {
        (void)data;
        (void)itemSize;
        (void)itemCount;
        return 0;
    }
};
