#include "compress/ZeeStream.h"

#include <zlib.h>

#include <new>

struct ZeeStream::State {
    z_stream stream{};
    bool initialised = false;
};

ZeeStream::ZeeStream() : m_state(new (std::nothrow) State) {}

ZeeStream::~ZeeStream() {
    if (m_state != nullptr && m_state->initialised) deflateEnd(&m_state->stream);
    delete m_state;
}

bool ZeeStream::init(int32_t level) {
    if (m_state == nullptr) return false;
    if (m_state->initialised) deflateEnd(&m_state->stream);
    m_state->stream = z_stream{};
    if (level < 0 || level > 9) level = kDefaultLevel;
    // Negative window bits: raw deflate, no zlib header or trailer.
    m_state->initialised = deflateInit2(&m_state->stream, level, Z_DEFLATED, -kWindowBits, kMemoryLevel,
                                        Z_DEFAULT_STRATEGY) == Z_OK;
    return m_state->initialised;
}

void ZeeStream::setInput(const uint8_t* data, uint32_t size) {
    if (m_state == nullptr) return;
    m_state->stream.next_in = const_cast<Bytef*>(data);
    m_state->stream.avail_in = size;
}

void ZeeStream::setOutput(uint8_t* data, uint32_t size) {
    if (m_state == nullptr) return;
    m_state->stream.next_out = data;
    m_state->stream.avail_out = size;
}

uint32_t ZeeStream::inputLeft() const { return m_state != nullptr ? m_state->stream.avail_in : 0; }

uint32_t ZeeStream::outputLeft() const { return m_state != nullptr ? m_state->stream.avail_out : 0; }

bool ZeeStream::deflate(bool finish) {
    if (m_state == nullptr || !m_state->initialised) return false;
    // Z_BUF_ERROR (no progress possible) is not an error: the caller comes
    // back with more room or more input.
    return ::deflate(&m_state->stream, finish ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_END;
}
