#include "compress/Gzip.h"

#include <new>

#include "compress/FileDataSink.h"
#include "compress/InflateState2.h"
#include "compress/ZipPipeline.h"
#include "core/DataBuffer.h"
#include "io/OutputDataBuffer.h"

Gzip::~Gzip() { delete m_inflater; }

bool Gzip::inflateBuffer(const DataBuffer& input, DataBuffer& output) {
    output.clear();
    if (input.getSize() == 0) return true;
    OutputDataBuffer appender(&output);
    // The one configuration used here only inflates: the inflate-only
    // pipeline keeps the other stages out of programs that only unpack.
    ZipPipeline pipeline{ZipPipeline::InflateOnly{}};
    pipeline.setLevel(ZipPipeline::kDefaultLevel);
    pipeline.setSourceEncrypted(false);
    pipeline.setOutput(&appender);
    pipeline.setSourceData(input.getData(), input.getSize());
    pipeline.setSourceCompressed(true);
    pipeline.setCompressOutput(false);
    uint32_t crc = 0;
    return pipeline.run(crc, nullptr);
}

InflateState2* Gzip::freshInflater() {
    if (m_inflater != nullptr) {
        m_inflater->reset();
        return m_inflater;
    }
    m_inflater = new (std::nothrow) InflateState2;
    return m_inflater;
}

// What the pipeline's inflate path does for a memory source (one inflater,
// one FileDataSink over the output, the whole input in one call), without
// the pipeline's copy of the input.
bool Gzip::inflateBufferTo(const DataBuffer& input, Output& output) {
    if (input.getSize() == 0) return true;
    InflateState2* inflater = freshInflater();
    if (inflater == nullptr) return false;
    FileDataSink sink(&output);
    inflater->setSink(&sink);
    inflater->inflateRange(input.getData(), input.getSize());
    const bool whole = inflater->isComplete() && !sink.failed();
    inflater->setSink(nullptr);
    return whole;
}
