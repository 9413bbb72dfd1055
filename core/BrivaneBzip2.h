// BrivaneBzip2: unpacks the framed bzip2 blocks in which the code-page
// tables are stored. Stateless; one instance serves any number of calls.
//
// Frame layout (little-endian):
//   offset 0, 4 bytes: magic 0xB394A7E1
//   offset 4, 4 bytes: length of the unpacked data in bytes
//   offset 8, rest:    one bzip2 stream
#pragma once

#include <cstdint>

class DataBuffer;

class BrivaneBzip2 {
public:
    static constexpr uint32_t kFrameMagic = 0xB394A7E1;
    static constexpr uint32_t kFrameHeaderBytes = 8;
    // Room beyond the stored length handed to the decompressor.
    static constexpr uint32_t kOutputSlackBytes = 20;

    BrivaneBzip2();
    virtual ~BrivaneBzip2();

    // Replaces output's content by the unpacked data of the frame in input.
    // Empty input: output emptied, true. Returns false, with output empty,
    // when the input is shorter than the frame header, the magic differs,
    // the bzip2 stream is damaged, or it does not unpack to exactly the
    // stored length.
    bool unpackBuffer(const DataBuffer& input, DataBuffer& output) const;

    // unpackBuffer as a plain function: the unpacker that the rows of packed
    // code-page tables name (StoredCodePage::unpack).
    static bool unpackFrame(const DataBuffer& input, DataBuffer& output);
};
