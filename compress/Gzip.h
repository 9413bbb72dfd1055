#pragma once
// Gzip: the front that inflates one payload chunk: a DataBuffer holding one
// raw deflate stream (no zlib or gzip wrapper, no length prefix) becomes a
// DataBuffer holding the inflated bytes. Stateless; one object may serve
// any number of calls.

class DataBuffer;
class InflateState2;
class Output;

class Gzip {
public:
    Gzip() = default;
    virtual ~Gzip();

    Gzip(const Gzip&) = delete;
    Gzip& operator=(const Gzip&) = delete;

    // Clears output (keeping its block) and inflates the stream in input into
    // it through a ZipPipeline (memory source, inflate, no encryption).
    // - Empty input: true, output empty.
    // - Bytes after the end of the final block are ignored; no checksum is
    //   involved.
    // - A damaged or truncated stream (one that does not reach the end of its
    //   final block): false. output then keeps the whole 32,768-byte windows
    //   decoded before the fault, possibly nothing.
    // - false also when appending to output fails.
    bool inflateBuffer(const DataBuffer& input, DataBuffer& output);

    // The same run, with the inflated bytes handed to output as the inflater
    // delivers them (whole 32,768-byte windows, then the rest), so that no
    // buffer of the inflated size is needed however far the stream expands.
    // false also when output took fewer bytes than it was given (it is then
    // not written to again).
    // The inflater, its window and its tables (some 160 KiB) are allocated on
    // the first call and kept for the next ones; each stream starts from an
    // inflater reset to the state a new one has, its tables' memory kept. A
    // payload of many small chunks thus does not allocate, map and touch
    // fresh memory for every chunk.
    bool inflateBufferTo(const DataBuffer& input, Output& output);

private:
    // The kept inflater, reset (allocated on first use); null when it cannot
    // be allocated.
    InflateState2* freshInflater();

    InflateState2* m_inflater = nullptr;
};
