#include "compress/PipelineHelp.h"

#include <memory>
#include <new>
#include <vector>

#include "compress/CrcProcessor.h"
#include "compress/DataPipeline.h"
#include "compress/DeflateProcessor.h"
#include "compress/FileDataSink.h"
#include "compress/InflateState2.h"
#include "compress/NullDataSink.h"
#include "compress/ZipDecodeProcessor.h"
#include "io/FileDataSource.h"
#include "io/MemoryDataSource.h"

namespace {

bool validHandle(HANDLE file) { return file != INVALID_HANDLE_VALUE && file != nullptr; }

// Wires one processor between a source and a sink and runs it.
bool runOneProcessor(DataProcessor& processor, DataSource& source, DataSink& sink,
                     ProgressMonitor* progress) {
    if (!processor.allocateWorkBuffer(PipelineHelp::kWorkBufferBytes)) return false;
    source.setMonitor(progress);
    processor.setSource(&source);
    processor.setNext(&sink);
    DataPipeline pipeline;
    pipeline.addProcessor(&processor);
    bool ok = pipeline.run(progress);
    source.setMonitor(nullptr);
    return ok;
}

// Runs a heap-allocated inflater (its window and tables are too large for
// small stacks) into a FileDataSink over output.
bool runInflater(Output* output, ProgressMonitor* progress, const uint8_t* data, uint32_t size,
                 DataSource* source) {
    std::unique_ptr<InflateState2> inflater(new (std::nothrow) InflateState2);
    if (!inflater) return false;
    FileDataSink sink(output);
    sink.setProgress(progress);
    inflater->setSink(&sink);
    bool ok = true;
    if (source != nullptr)
        ok = inflater->inflateFromSource(source);
    else
        inflater->inflateRange(data, size);
    return ok && inflater->isComplete() && !sink.failed();
}

}  // namespace

PipelineHelp::PipelineHelp() : m_progress(nullptr) {}

PipelineHelp::~PipelineHelp() = default;

// --- Deflate -----------------------------------------------------------------

bool PipelineHelp::runDeflate(DataSource& source, Output* output, uint32_t& crc, uint32_t& sizeIn,
                              uint32_t& sizeOut, int32_t level) {
    DeflateProcessor processor;
    processor.copyCryptParams(*this);
    processor.setLevel(level);
    FileDataSink sink(output);
    bool ok = runOneProcessor(processor, source, sink, m_progress);
    if (!ok) {
        crc = sizeIn = sizeOut = 0;
        return false;
    }
    crc = processor.crc();
    sizeIn = processor.sizeIn();
    sizeOut = processor.sizeOut();
    return !sink.failed();
}

bool PipelineHelp::deflateFile(HANDLE file, Output* output, uint32_t& crc, uint32_t& sizeIn,
                               uint32_t& sizeOut, int32_t level) {
    if (!validHandle(file) || output == nullptr) return false;
    FileDataSource source;
    source.attachHandle(file);
    return runDeflate(source, output, crc, sizeIn, sizeOut, level);
}

bool PipelineHelp::deflateMemory(const uint8_t* data, uint32_t size, Output* output, uint32_t& crc,
                                 uint32_t& sizeIn, uint32_t& sizeOut, int32_t level) {
    if (data == nullptr || output == nullptr) return false;
    MemoryDataSource source(data, size);
    return runDeflate(source, output, crc, sizeIn, sizeOut, level);
}

bool PipelineHelp::deflateStream(DataSource* source, Output* output, uint32_t& crc, uint32_t& sizeIn,
                                 uint32_t& sizeOut, int32_t level) {
    if (source == nullptr || output == nullptr) return false;
    return runDeflate(*source, output, crc, sizeIn, sizeOut, level);
}

// --- CRC by deflating ----------------------------------------------------------

bool PipelineHelp::runCrcByDeflating(DataSource& source, uint32_t& crc, int32_t level) {
    DeflateProcessor processor;
    processor.copyCryptParams(*this);
    processor.pwdProtect = 0;  // the output is discarded: nothing to encrypt
    processor.setLevel(level);
    NullDataSink sink;
    if (!runOneProcessor(processor, source, sink, m_progress)) {
        crc = 0;
        return false;
    }
    crc = processor.crc();
    return true;
}

bool PipelineHelp::crcByDeflatingFile(HANDLE file, uint32_t& crc, int32_t level) {
    if (!validHandle(file)) return false;
    FileDataSource source;
    source.attachHandle(file);
    return runCrcByDeflating(source, crc, level);
}

bool PipelineHelp::crcByDeflatingMemory(const uint8_t* data, uint32_t size, uint32_t& crc, int32_t level) {
    if (data == nullptr) return false;
    MemoryDataSource source(data, size);
    return runCrcByDeflating(source, crc, level);
}

// --- Password-decode -----------------------------------------------------------

bool PipelineHelp::runPwdDecode(DataSource& source, Output* output, PwdProtect* decryptor) {
    ZipDecodeProcessor processor;
    processor.copyCryptParams(*this);
    processor.setDecryptor(decryptor);
    FileDataSink sink(output);
    return runOneProcessor(processor, source, sink, m_progress) && !sink.failed();
}

bool PipelineHelp::pwdDecodeStream(DataSource* source, Output* output, PwdProtect* decryptor) {
    if (source == nullptr || output == nullptr || decryptor == nullptr) return false;
    return runPwdDecode(*source, output, decryptor);
}

bool PipelineHelp::pwdDecodeMemory(const uint8_t* data, uint32_t size, Output* output,
                                   PwdProtect* decryptor) {
    if (data == nullptr || output == nullptr || decryptor == nullptr) return false;
    MemoryDataSource source(data, size);
    return runPwdDecode(source, output, decryptor);
}

// --- Copy with CRC -------------------------------------------------------------

bool PipelineHelp::runCopyWithCrc(DataSource& source, Output* output, uint32_t& crc, uint32_t& size) {
    CrcProcessor processor;
    processor.copyCryptParams(*this);
    FileDataSink sink(output);
    if (!runOneProcessor(processor, source, sink, m_progress)) {
        crc = size = 0;
        return false;
    }
    crc = processor.crc();
    size = processor.count();
    return !sink.failed();
}

bool PipelineHelp::copyFileWithCrc(HANDLE file, Output* output, uint32_t& crc, uint32_t& size) {
    if (!validHandle(file) || output == nullptr) return false;
    FileDataSource source;
    source.attachHandle(file);
    return runCopyWithCrc(source, output, crc, size);
}

bool PipelineHelp::copyMemoryWithCrc(const uint8_t* data, uint32_t size, Output* output, uint32_t& crc) {
    if (data == nullptr || output == nullptr) return false;
    MemoryDataSource source(data, size);
    uint32_t copied = 0;
    return runCopyWithCrc(source, output, crc, copied);
}

bool PipelineHelp::copyStreamWithCrc(DataSource* source, Output* output, uint32_t& crc, uint32_t& size) {
    if (source == nullptr || output == nullptr) return false;
    return runCopyWithCrc(*source, output, crc, size);
}

// --- Inflate -------------------------------------------------------------------

bool PipelineHelp::inflateFile(const char* utf8Path, Output* output) {
    if (utf8Path == nullptr || output == nullptr) return false;
    std::unique_ptr<FileDataSource> source(FileDataSource::openDataSourceFile(utf8Path, nullptr));
    if (!source) return false;
    uint32_t sizeLow = 0;
    uint32_t sizeHigh = 0;
    if (!source->getFileSize(sizeLow, sizeHigh)) return false;
    if (sizeHigh != 0 || sizeLow > kInflateFileInMemoryBytes)
        return runInflater(output, m_progress, nullptr, 0, source.get());

    // Small file: read it whole, then decode it in one call.
    std::vector<uint8_t> bytes(sizeLow + 1);
    uint32_t total = 0;
    while (total < sizeLow) {
        uint32_t got = 0;
        if (!source->readBytes(bytes.data() + total, sizeLow - total, &got)) return false;
        if (got == 0) break;
        total += got;
    }
    if (total != sizeLow) return false;
    return runInflater(output, m_progress, bytes.data(), total, nullptr);
}

bool PipelineHelp::inflateStream(DataSource* source, Output* output) {
    if (source == nullptr || output == nullptr) return false;
    return runInflater(output, m_progress, nullptr, 0, source);
}

bool PipelineHelp::inflateMemory(const uint8_t* data, uint32_t size, Output* output) {
    if (data == nullptr || output == nullptr) return false;
    return runInflater(output, m_progress, data, size, nullptr);
}
