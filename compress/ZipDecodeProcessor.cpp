#include "compress/ZipDecodeProcessor.h"

#include <cstring>

#include "crypto/PwdProtect.h"
#include "io/DataSource.h"

namespace {

// Ring bytes are deciphered in a copy of at most this size when the stage
// has no work buffer.
constexpr uint32_t kRingCopyBytes = 4096;

}  // namespace

ZipDecodeProcessor::ZipDecodeProcessor()
    : m_decryptor(nullptr), m_sizeIn(0), m_sizeOut(0), m_inputPtr(nullptr), m_inputPending(0) {}

ZipDecodeProcessor::~ZipDecodeProcessor() = default;

const char* ZipDecodeProcessor::name() const { return "PassThruProcessor"; }

void ZipDecodeProcessor::begin() {
    m_sizeIn = m_sizeOut = 0;
    m_inputPtr = nullptr;
    m_inputPending = 0;
}

uint32_t ZipDecodeProcessor::bytesIn() { return m_sizeIn; }

uint32_t ZipDecodeProcessor::pendingBytes() {
    return (m_source != nullptr ? m_inputPending : 0) + m_ring.count();
}

int32_t ZipDecodeProcessor::step() {
    if (m_next == nullptr) return kStepFailed;
    return m_source != nullptr ? stepFromSource() : stepFromRing();
}

bool ZipDecodeProcessor::decipherAndWrite(uint8_t* bytes, uint32_t count) {
    if (m_decryptor != nullptr) m_decryptor->decryptBytes(bytes, count);
    if (!m_next->write(bytes, count)) return false;
    m_sizeOut += count;
    return true;
}

int32_t ZipDecodeProcessor::stepFromSource() {
    bool atEnd = m_source->endOfData();
    if (m_inputPending == 0 && !atEnd) {
        uint32_t got = 0;
        if (!readSourceChunk(got)) return kStepFailed;
        atEnd = m_source->endOfData();
        m_sizeIn += got;
        m_inputPtr = m_workBuffer;
        m_inputPending = got;
    }
    uint32_t k = nextTakes(m_inputPending);
    if (k > 0) {
        if (!decipherAndWrite(m_inputPtr, k)) return kStepFailed;
        m_inputPtr += k;
        m_inputPending -= k;
    }
    if (m_inputPending == 0 && atEnd) m_next->markFinished();
    return kStepOk;
}

// The ring's bytes are deciphered in a copy (the work buffer, or a small
// local block), since the ring hands them out read-only.
int32_t ZipDecodeProcessor::stepFromRing() {
    uint8_t localCopy[kRingCopyBytes];
    uint8_t* copy = m_workBuffer != nullptr ? m_workBuffer : localCopy;
    uint32_t copySize = m_workBuffer != nullptr ? m_workBufferSize : kRingCopyBytes;
    for (;;) {
        const uint8_t* first;
        const uint8_t* second;
        uint32_t firstLen;
        uint32_t secondLen;
        m_ring.peek(first, firstLen, second, secondLen);
        uint32_t k = nextTakes(firstLen < copySize ? firstLen : copySize);
        if (k == 0) break;
        std::memcpy(copy, first, k);
        m_ring.consume(k);
        m_sizeIn += k;
        if (!decipherAndWrite(copy, k)) return kStepFailed;
    }
    if (isFinished() && m_ring.count() == 0) m_next->markFinished();
    return kStepOk;
}
