#pragma once
// ZeeStream: one raw deflate compression stream of zlib (no zlib header or
// trailer), with a 15-bit window, memory level 8 and the default strategy.
// It holds the input and output ranges of the next call; each call consumes
// what it can of the input and fills what it can of the output.

#include <cstdint>

class ZeeStream {
public:
    // Deflate levels run from 0 (stored) to 9; anything else means 6.
    static constexpr int32_t kDefaultLevel = 6;
    static constexpr int32_t kWindowBits = 15;
    static constexpr int32_t kMemoryLevel = 8;

    ZeeStream();
    ~ZeeStream();

    ZeeStream(const ZeeStream&) = delete;
    ZeeStream& operator=(const ZeeStream&) = delete;

    // Starts a new stream at `level`. False when zlib cannot set it up
    // (out of memory).
    bool init(int32_t level);

    // The range the next call reads from; the stream keeps its own pointer
    // into it, so unconsumed input stays in place for the next call.
    void setInput(const uint8_t* data, uint32_t size);
    // The range the next call writes into.
    void setOutput(uint8_t* data, uint32_t size);
    uint32_t inputLeft() const;
    uint32_t outputLeft() const;

    // One compression call, without flushing (finish false) or with the
    // finishing flush (finish true). Returns true once the stream has ended:
    // all input consumed and the final block written.
    bool deflate(bool finish);

private:
    struct State;
    State* m_state;
};
