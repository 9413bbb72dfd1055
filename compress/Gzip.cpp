#include "compress/Gzip.h"

#include "compress/ZipPipeline.h"
#include "core/DataBuffer.h"
#include "io/OutputDataBuffer.h"

Gzip::~Gzip() = default;

bool Gzip::inflateBuffer(const DataBuffer& input, DataBuffer& output) {
    output.clear();
    OutputDataBuffer appender(&output);
    return inflateBufferTo(input, appender);
}

bool Gzip::inflateBufferTo(const DataBuffer& input, Output& output) {
    if (input.getSize() == 0) return true;
    // The one configuration used here only inflates: the inflate-only
    // pipeline keeps the other stages out of programs that only unpack.
    ZipPipeline pipeline{ZipPipeline::InflateOnly{}};
    pipeline.setLevel(ZipPipeline::kDefaultLevel);
    pipeline.setSourceEncrypted(false);
    pipeline.setOutput(&output);
    pipeline.setSourceData(input.getData(), input.getSize());
    pipeline.setSourceCompressed(true);
    pipeline.setCompressOutput(false);
    uint32_t crc = 0;
    return pipeline.run(crc, nullptr);
}
