#pragma once
// PipelineHelp: the single-purpose runs the ZipPipeline is built from, each
// between one source and one Output: deflate, CRC by deflating, copy with
// CRC-32, password-decode, and inflate.
//
// Sources: `file` is an open file handle (borrowed, read from its current
// position), `data`/`size` a memory range, `source` a DataSource. Each run
// fails at once (false) when given an invalid handle, a null memory pointer,
// a null PwdProtect or a null Output.
//
// The deflate, CRC, copy and decode runs are a DataPipeline with one
// processor (work buffer 60,000 bytes, progress handed to its source and to
// the run loop) and one sink. They return true when the pipeline run
// succeeded and the sink did not fail; when the pipeline fails (abort, failed
// read or write) every numeric result is set to 0 and they return false.
//
// The inflate runs feed InflateState2 into a FileDataSink over the Output
// (progress handed to the sink). They return true only when the stream was
// decoded to the end of its final block and every window reached the
// Output; a damaged or truncated stream leaves the whole windows decoded
// before the fault in the Output and returns false.
//
// The encryption settings (ZipCryptParams) of this object are copied into
// each processor: with pwdProtect set and encryptMethod 0 the deflate runs
// encrypt their output (see DeflateProcessor).

#include <cstdint>

#include "crypto/ZipCryptParams.h"
#include "platform/win32.h"

class DataSource;
class Output;
class ProgressMonitor;
class PwdProtect;

class PipelineHelp : public ZipCryptParams {
public:
    // Work buffer of every processor run.
    static constexpr uint32_t kWorkBufferBytes = 60000;
    // inflateFile decodes files up to this size in one piece from memory,
    // larger ones through the streaming inflater.
    static constexpr uint32_t kInflateFileInMemoryBytes = 4000000;

    PipelineHelp();
    ~PipelineHelp() override;

    // Borrowed, may be null.
    void setProgress(ProgressMonitor* progress) { m_progress = progress; }
    ProgressMonitor* getProgress() const { return m_progress; }

    // source -> DeflateProcessor(level) -> Output. crc: CRC-32 of the input;
    // sizeIn: bytes read; sizeOut: bytes written (encryption header included).
    bool deflateFile(HANDLE file, Output* output, uint32_t& crc, uint32_t& sizeIn, uint32_t& sizeOut,
                     int32_t level);
    bool deflateMemory(const uint8_t* data, uint32_t size, Output* output, uint32_t& crc, uint32_t& sizeIn,
                       uint32_t& sizeOut, int32_t level);
    bool deflateStream(DataSource* source, Output* output, uint32_t& crc, uint32_t& sizeIn, uint32_t& sizeOut,
                       int32_t level);

    // source -> DeflateProcessor(level) -> NullDataSink: the CRC-32 of the
    // input (the compressed bytes are discarded).
    bool crcByDeflatingFile(HANDLE file, uint32_t& crc, int32_t level);
    bool crcByDeflatingMemory(const uint8_t* data, uint32_t size, uint32_t& crc, int32_t level);

    // source -> ZipDecodeProcessor(decryptor) -> Output.
    bool pwdDecodeStream(DataSource* source, Output* output, PwdProtect* decryptor);
    bool pwdDecodeMemory(const uint8_t* data, uint32_t size, Output* output, PwdProtect* decryptor);

    // source -> CrcProcessor -> Output. crc: CRC-32; size: bytes copied.
    bool copyFileWithCrc(HANDLE file, Output* output, uint32_t& crc, uint32_t& size);
    bool copyMemoryWithCrc(const uint8_t* data, uint32_t size, Output* output, uint32_t& crc);
    bool copyStreamWithCrc(DataSource* source, Output* output, uint32_t& crc, uint32_t& size);

    // The inflater over the file at the UTF-8 path (one-shot up to
    // 4,000,000 bytes, streaming beyond), over a DataSource (streaming) or
    // over a memory range (one-shot), into the Output.
    bool inflateFile(const char* utf8Path, Output* output);
    bool inflateStream(DataSource* source, Output* output);
    bool inflateMemory(const uint8_t* data, uint32_t size, Output* output);

private:
    bool runDeflate(DataSource& source, Output* output, uint32_t& crc, uint32_t& sizeIn, uint32_t& sizeOut,
                    int32_t level);
    bool runCrcByDeflating(DataSource& source, uint32_t& crc, int32_t level);
    bool runPwdDecode(DataSource& source, Output* output, PwdProtect* decryptor);
    bool runCopyWithCrc(DataSource& source, Output* output, uint32_t& crc, uint32_t& size);

    ProgressMonitor* m_progress;
};
