// An Output writing into a DataBuffer it does not own.
#pragma once

#include <cstdint>

#include "io/Output.h"

class DataBuffer;

class OutputDataBuffer : public Output {
public:
    // The write position starts at the buffer's current size, so writing
    // appends. A null target makes every operation fail.
    explicit OutputDataBuffer(DataBuffer* target);
    ~OutputDataBuffer() override;

    // position = the target's size.
    bool seekToEnd() override;
    // position = p; a target shorter than p gets capacity for p (its size is
    // unchanged until bytes are written there).
    bool seekTo(uint32_t position) override;
    uint32_t tell() override;
    // Copies itemSize * itemCount bytes at the position, overwriting or
    // extending; the target grows to 1.5 times (position + n + 8) when its
    // capacity is short, so a run of appends costs amortised constant time per
    // byte. Returns the byte count.
    uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) override;

private:
    DataBuffer* m_target;
    uint32_t m_position = 0;
};
