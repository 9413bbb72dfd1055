#include "compress/CrcProcessor.h"

#include "io/DataSource.h"

CrcProcessor::CrcProcessor()
    : m_count(0), m_sizeOut(0), m_inputPtr(nullptr), m_inputPending(0), m_crc(0), m_keepCrc(false) {}

CrcProcessor::~CrcProcessor() = default;

const char* CrcProcessor::name() const { return "CrcProcessor"; }

void CrcProcessor::begin() {
    m_count = m_sizeOut = m_crc = 0;
    m_inputPtr = nullptr;
    m_inputPending = 0;
    m_crcCalc.reset();
}

void CrcProcessor::end() {
    if (!m_keepCrc) m_crc = m_crcCalc.final();
}

uint32_t CrcProcessor::bytesIn() { return m_count; }

uint32_t CrcProcessor::pendingBytes() { return (m_source != nullptr ? m_inputPending : 0) + m_ring.count(); }

int32_t CrcProcessor::step() {
    if (m_next == nullptr) return kStepFailed;
    return m_source != nullptr ? stepFromSource() : stepFromRing();
}

int32_t CrcProcessor::stepFromSource() {
    bool atEnd = m_source->endOfData();
    if (m_inputPending == 0 && !atEnd) {
        uint32_t got = 0;
        if (!readSourceChunk(got)) return kStepFailed;
        atEnd = m_source->endOfData();
        m_count += got;
        m_crcCalc.update(m_workBuffer, got);
        m_inputPtr = m_workBuffer;
        m_inputPending = got;
    }
    uint32_t k = nextTakes(m_inputPending);
    if (k > 0) {
        if (!m_next->write(m_inputPtr, k)) return kStepFailed;
        m_sizeOut += k;
        m_inputPtr += k;
        m_inputPending -= k;
    }
    if (m_inputPending == 0 && atEnd) m_next->markFinished();
    return kStepOk;
}

int32_t CrcProcessor::stepFromRing() {
    for (int region = 0; region < 2; ++region) {
        const uint8_t* first;
        const uint8_t* second;
        uint32_t firstLen;
        uint32_t secondLen;
        m_ring.peek(first, firstLen, second, secondLen);
        uint32_t k = nextTakes(firstLen);
        if (k == 0) break;
        if (!m_next->write(first, k)) return kStepFailed;
        m_count += k;
        m_sizeOut += k;
        m_crcCalc.update(first, k);
        m_ring.consume(k);
    }
    if (isFinished() && m_ring.count() == 0) m_next->markFinished();
    return kStepOk;
}
