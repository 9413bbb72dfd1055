#include "compress/DeflateProcessor.h"

#include <new>

#include "compress/ZeeStream.h"
#include "io/DataSource.h"

DeflateProcessor::DeflateProcessor()
    : m_level(ZeeStream::kDefaultLevel), m_stream(nullptr), m_inputPtr(nullptr), m_inputPending(0),
      m_streamFinished(false), m_outBuffer(new (std::nothrow) uint8_t[kOutBufferBytes]), m_outPending(0),
      m_outWritten(0), m_sizeIn(0), m_sizeOut(0), m_crc(0), m_keepCrc(false), m_lastCallEnded(false) {}

DeflateProcessor::~DeflateProcessor() {
    delete m_stream;
    delete[] m_outBuffer;
}

const char* DeflateProcessor::name() const { return "DeflateProcessor"; }

void DeflateProcessor::begin() {
    delete m_stream;
    m_stream = new (std::nothrow) ZeeStream;
    if (m_stream != nullptr && !m_stream->init(m_level)) {
        delete m_stream;
        m_stream = nullptr;
    }
    if (m_stream != nullptr) m_stream->setOutput(m_outBuffer, kOutBufferBytes);
    m_crcCalc.reset();
    m_sizeIn = m_sizeOut = m_crc = 0;
    m_inputPtr = nullptr;
    m_inputPending = m_outPending = m_outWritten = 0;
    m_lastCallEnded = false;
    // A second run's stream must be finished again, so this resets too.
    m_streamFinished = false;
}

void DeflateProcessor::end() {
    if (!m_keepCrc) m_crc = m_crcCalc.final();
}

uint32_t DeflateProcessor::bytesIn() { return m_sizeIn; }

uint32_t DeflateProcessor::pendingBytes() {
    uint32_t pending = m_streamFinished ? 0 : 1;
    if (m_source != nullptr) pending += m_inputPending;
    pending += m_outPending - m_outWritten;
    return pending + m_ring.count();
}

int32_t DeflateProcessor::step() {
    if (m_stream == nullptr || m_outBuffer == nullptr || m_next == nullptr) return kStepFailed;

    // 1-2. Input: a new source chunk once the last one is consumed, or the
    // bytes held in the ring.
    bool atEnd = false;
    if (m_source != nullptr) {
        if (!takeSourceInput(atEnd)) return kStepFailed;
    } else {
        takeRingInput(atEnd);
    }

    // 3. One deflate call, only once the previous output has all been passed
    // on: the call writes over the whole output buffer.
    if (m_outPending == 0 && (m_inputPending > 0 || (atEnd && !m_streamFinished))) {
        m_stream->setOutput(m_outBuffer, kOutBufferBytes);
        uint32_t before = m_stream->inputLeft();
        m_lastCallEnded = m_stream->deflate(atEnd);
        if (atEnd && m_lastCallEnded) m_streamFinished = true;
        uint32_t consumed = before - m_stream->inputLeft();
        if (m_source == nullptr) {
            // Ring input: count and checksum what the call used, drop it.
            m_crcCalc.update(m_inputPtr, consumed);
            m_sizeIn += consumed;
            m_ring.consume(consumed);
            m_inputPtr = nullptr;
            m_inputPending = 0;
            m_stream->setInput(nullptr, 0);
        } else {
            m_inputPtr += consumed;
            m_inputPending = m_stream->inputLeft();
        }
        m_outPending = kOutBufferBytes - m_stream->outputLeft();
        m_outWritten = 0;
    }

    // 4. Pass on as much output as next takes.
    if (!passOutputOn()) return kStepFailed;

    // 5. Everything consumed, compressed and passed on.
    if (m_outPending == 0 && m_inputPending == 0 && atEnd && m_streamFinished) m_next->markFinished();
    return kStepOk;
}

// Reads the next source chunk when the current one is consumed; it is counted
// and checksummed as it is read.
bool DeflateProcessor::takeSourceInput(bool& atEnd) {
    atEnd = m_source->endOfData();
    if (m_inputPending > 0 || atEnd) return true;
    uint32_t got = 0;
    if (!readSourceChunk(got)) return false;
    atEnd = m_source->endOfData();
    m_sizeIn += got;
    m_crcCalc.update(m_workBuffer, got);
    m_inputPtr = m_workBuffer;
    m_inputPending = got;
    m_stream->setInput(m_workBuffer, got);
    return true;
}

// Offers the first held region of the ring; the input ends once this stage
// is marked finished and the ring is empty.
void DeflateProcessor::takeRingInput(bool& atEnd) {
    const uint8_t* first;
    const uint8_t* second;
    uint32_t firstLen;
    uint32_t secondLen;
    m_ring.peek(first, firstLen, second, secondLen);
    atEnd = isFinished() && m_ring.count() == 0;
    m_inputPtr = first;
    m_inputPending = firstLen;
    m_stream->setInput(first, firstLen);
}

bool DeflateProcessor::passOutputOn() {
    if (m_outWritten >= m_outPending) return true;
    uint32_t k = nextTakes(m_outPending - m_outWritten);
    if (k == 0) return true;
    uint8_t* bytes = m_outBuffer + m_outWritten;
    if (pwdProtect != 0 && encryptMethod == kZipEncryptNone) {
        if (m_sizeOut == 0 && !writeEncryptionHeader()) return false;
        m_encryptor.encryptBytes(bytes, k);
    }
    m_sizeOut += k;
    if (!m_next->write(bytes, k)) return false;
    m_outWritten += k;
    if (m_outWritten == m_outPending) m_outWritten = m_outPending = 0;
    return true;
}

// The 12-byte traditional encryption header, made from checkCrc, in front
// of the first compressed byte; it leaves the keys ready for the data.
bool DeflateProcessor::writeEncryptionHeader() {
    uint8_t header[kPwdHeaderBytes];
    m_encryptor.setPassword(password);
    m_encryptor.makeHeader(checkCrc, header);
    if (!m_next->write(header, kPwdHeaderBytes)) return false;
    m_sizeOut += kPwdHeaderBytes;
    return true;
}
