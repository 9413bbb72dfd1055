#pragma once
// ZipPipeline: a configurable, one-shot transformer for the body of one
// ZIP-style entry. It takes a source (bytes in memory, a file, or a
// DataSource), optionally removes an encryption layer, then inflates,
// deflates or copies the data into an Output, optionally adding an
// encryption layer.
//
// Calling order: construct, set, run() once, destroy. run() performs, in
// order:
// - stage A, when the source is encrypted: WinZip AES entry data is
//   decrypted in memory; the whole-source ciphers (methods 1-3) mean the
//   layers outer deflate, cipher, inner deflate, removed through scratch
//   files;
// - stage B, when the source carries the traditional ZIP encryption: the
//   12-byte header is checked against the password and the rest deciphered
//   into a scratch file (then inflated when the source is compressed);
// - the main stage, chosen by (sourceCompressed, compressOutput,
//   encryptMethod): inflate, deflate (optionally password-protected), copy
//   with CRC, or one of those combined with a cipher or WinZip AES.
//
// Scratch files ("bvZ.dat" in tempDir or the system temporary folder,
// "bvFile.dat" and "bvAes.dat" in the system temporary folder, each made
// unique) replace the source as the stages go; each is deleted as soon as a
// later one replaces it, the last one when the run ends, and a stage that
// fails deletes the file it had just created.
//
// Failures are reported by a false result and by messages to the run's log.

#include <cstdint>

#include "compress/PipelineHelp.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/ZipCryptParams.h"
#include "platform/win32.h"

class DataSource;
class LogBase;
class Output;
class ProgressMonitor;

class ZipPipeline : public ZipCryptParams {
public:
    static constexpr int32_t kDefaultLevel = 6;
    // Bytes of the traditional encryption header in front of the source.
    static constexpr uint32_t kPwdHeaderBytes = 12;
    // Capacity kept free behind sourceData's bytes.
    static constexpr uint32_t kSourceSpareBytes = 4;

    // Every field zero, false or empty, except level 6.
    ZipPipeline();

    // Selects the pipeline that only inflates: a program that builds its
    // pipelines this way never links the cipher, password and deflate stages
    // (the stub's size depends on it). Its run() inflates an unencrypted
    // compressed source into the output; any other configuration logs an
    // internal error and fails.
    struct InflateOnly {};
    explicit ZipPipeline(InflateOnly);
    // Deletes a scratch source the pipeline still owns.
    ~ZipPipeline() override;

    ZipPipeline(const ZipPipeline&) = delete;
    ZipPipeline& operator=(const ZipPipeline&) = delete;

    // --- The settings the system uses ---
    void setLevel(int32_t level) { m_level = level; }
    void setSourceEncrypted(bool encrypted) { m_sourceEncrypted = encrypted; }
    void setSourceCompressed(bool compressed) { m_sourceCompressed = compressed; }
    void setCompressOutput(bool compress) { m_compressOutput = compress; }
    // Borrowed.
    void setOutput(Output* output) { m_output = output; }
    // Copies the bytes into sourceData (4 spare bytes reserved behind them)
    // and makes memory the source.
    void setSourceData(const uint8_t* data, uint32_t size);

    // --- Further sources and settings ---
    // The file at the UTF-8 path is the source (not owned: never deleted).
    void setSourceFile(const char* utf8Path);
    // A DataSource (borrowed) is the source; the first stage that reads it
    // consumes it and lets it go.
    void setSourceStream(DataSource* source) { m_sourceStream = source; }
    // The source's whole-source encryption (method 1-4, key bits, password);
    // run() removes it when setSourceEncrypted(true).
    void setSourceEncryption(int32_t method, int32_t keyBits, const char* password);
    // The source starts with a traditional ZIP encryption header made with
    // password; its check byte is bits 8-15 of checkTime (useTime) or bits
    // 24-31 of checkCrc.
    void setSourcePwdProtected(const char* password, uint32_t checkCrc, uint32_t checkTime, bool useTime);
    // Folder for "bvZ.dat" scratch files; empty means the system temporary
    // folder.
    void setTempDir(const char* utf8Dir);
    // Borrowed, may be null: handed to the source of each pipeline run and
    // to the sink of each inflate run; an abort request stops the runs.
    void setProgress(ProgressMonitor* progress) { m_progress = progress; }

    // Runs the stages. crcOut: the CRC-32 of the uncompressed data on the
    // paths that compute one, 0 on the WinZip AES paths, untouched on the
    // inflate path. A null log means a LogNull.
    bool run(uint32_t& crcOut, LogBase* log);

    // After a run: bytes read from the source and written to the output by
    // the last stage that reports them.
    uint32_t sizeIn() const { return m_sizeIn; }
    uint32_t sizeOut() const { return m_sizeOut; }

    // The current source, as the stages leave it.
    bool sourceIsFile() const { return m_sourceIsFile; }
    const char* sourcePath() const { return m_sourcePath.getString(); }
    const DataBuffer& sourceData() const { return m_sourceData; }
    bool ownsScratchSource() const { return m_ownsScratchSource; }

private:
    enum class ScratchFolder { TempDirOrSystem, System };

    // Every stage, in order (what run() does in a full pipeline).
    bool runAllStages(uint32_t& crcOut, LogBase& log);
    // The only run of an inflate-only pipeline.
    bool runInflateOnly(LogBase& log);

    // Stages.
    bool removeSourceEncryption(LogBase& log);
    bool removeWinZipAesLayer(LogBase& log);
    bool removeCipherLayers(LogBase& log);
    bool removePwdProtection(LogBase& log);
    bool runMainStage(uint32_t& crcOut, LogBase& log);

    // Actions of the main stage.
    bool inflateAction();
    bool copyWithCrc(uint32_t& crcOut, LogBase& log);
    bool deflateAction(uint32_t& crcOut, LogBase& log, const char* openFailure);
    bool deflateToScratch(LogBase& log);
    bool encryptSource(LogBase& log);
    bool winZipAesIntoOutput(uint32_t& crcOut, LogBase& log);
    bool pwdProtectedDeflate(uint32_t& crcOut, LogBase& log);

    // Scratch files and the source.
    bool scratchInflate(LogBase& log);
    void makeScratchName(const char* baseName, ScratchFolder folder, StringBuffer& out) const;
    HANDLE openSourceFile();
    void replaceSourceWithScratch(const StringBuffer& scratchPath);
    void deleteOwnedScratch();
    void absorbStream();
    void fillSourceData(const uint8_t* data, uint32_t size);
    const uint8_t* sourceBytes() const;
    PipelineHelp& helper();

    // runAllStages for a full pipeline, null for an inflate-only one: the
    // one reference through which the other stages are linked.
    bool (ZipPipeline::*m_allStages)(uint32_t& crcOut, LogBase& log);
    bool m_sourceIsFile;
    bool m_sourcePwdProtected;
    int32_t m_sourceMethod;
    int32_t m_sourceKeyBits;
    StringBuffer m_sourcePassword;
    bool m_sourceCompressed;
    bool m_compressOutput;
    bool m_sourceEncrypted;
    bool m_ownsScratchSource;
    StringBuffer m_sourcePath;
    Output* m_output;
    DataSource* m_sourceStream;
    DataBuffer m_sourceData;
    uint32_t m_sourceCheckCrc;
    uint32_t m_sourceCheckTime;
    bool m_sourceCheckUsesTime;
    int32_t m_level;
    uint32_t m_sizeIn;
    uint32_t m_sizeOut;
    ProgressMonitor* m_progress;
    StringBuffer m_tempDir;
    PipelineHelp m_help;
};
