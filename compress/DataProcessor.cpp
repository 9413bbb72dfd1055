#include "compress/DataProcessor.h"

#include <new>

#include "io/DataSource.h"

namespace {

// Process-wide counter behind the "processor_<n>" names.
int32_t g_processorCounter = 0;

}  // namespace

DataProcessor::DataProcessor()
    : m_ownsWorkBuffer(false), m_workBuffer(nullptr), m_workBufferSize(0), m_source(nullptr),
      m_next(nullptr) {
    m_name.setString("processor_");
    m_name.appendDecimal(static_cast<uint32_t>(++g_processorCounter));
    m_ring.init(kRingBytes);
}

DataProcessor::~DataProcessor() { releaseWorkBuffer(); }

const char* DataProcessor::name() const { return "nothing"; }

void DataProcessor::begin() {}

void DataProcessor::end() {}

int32_t DataProcessor::step() { return kStepOk; }

void DataProcessor::useWorkBuffer(uint8_t* buffer, uint32_t size) {
    releaseWorkBuffer();
    m_workBuffer = buffer;
    m_workBufferSize = buffer != nullptr ? size : 0;
}

bool DataProcessor::allocateWorkBuffer(uint32_t size) {
    releaseWorkBuffer();
    // 4 spare bytes behind the data, for readers that peek a word ahead.
    m_workBuffer = new (std::nothrow) uint8_t[size + 4];
    if (m_workBuffer == nullptr) return false;
    m_ownsWorkBuffer = true;
    m_workBufferSize = size;
    return true;
}

void DataProcessor::releaseWorkBuffer() {
    if (m_ownsWorkBuffer) delete[] m_workBuffer;
    m_ownsWorkBuffer = false;
    m_workBuffer = nullptr;
    m_workBufferSize = 0;
}

bool DataProcessor::readSourceChunk(uint32_t& got) {
    got = 0;
    if (m_source == nullptr || m_workBuffer == nullptr || m_workBufferSize == 0) return false;
    return m_source->readBytes(m_workBuffer, m_workBufferSize, &got);
}

uint32_t DataProcessor::nextTakes(uint32_t wanted) {
    if (m_next == nullptr || wanted == 0) return 0;
    uint32_t space = 0;
    if (!m_next->freeSpace(space)) return 0;
    return space < wanted ? space : wanted;
}
