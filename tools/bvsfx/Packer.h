#pragma once
// Packer: `bvsfx pack`. Checks everything it can before writing a byte
// (password, settings, stub, destination folder, the place of the output,
// inputs, names), then writes the installer to a new temporary file beside
// the output and renames it into place only when the whole payload is
// written, so a failed or interrupted pack never leaves a half installer
// and never touches the old output. An output that is an input, lies in an
// input folder, or is the stub or the password file is refused before
// anything is read, since writing it would destroy what is being packed.
//
// A file whose size or last-write time changes between the walk and the
// end of its reading fails the pack (its stored bytes could mix two
// versions), unless --allow-changing keeps it as it was read, with a
// warning.
//
// Writing order is the payload's: stub copy, marker and header, settings,
// verifier, the settings check record, then per entry its record, its
// chunks (files) and its check record, then the closing check record and
// the end record (see CheckRecord.h); behind it the Unix modes of every
// entry and the symbolic links (UnixRecord.h). Chunks are encoded on
// worker threads (ChunkPipeline) while this thread reads the next slices;
// at most kChunksInFlightPerWorker chunks per worker (plus a few) wait to be
// written at any time, which bounds memory whatever the size of the inputs.
// The output depends only on the inputs and options, not on the number of
// workers or their timing: the same inputs give the same bytes.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "payload/CheckRecord.h"
#include "tools/bvsfx/ChunkPipeline.h"
#include "tools/bvsfx/InputTree.h"
#include "tools/bvsfx/PackOptions.h"

class InputFile;
class PayloadWriter;
class ProgressBar;
class ZipCRC;

class Packer {
public:
    static constexpr uint32_t kChunksInFlightPerWorker = 2;
    static constexpr uint32_t kExtraChunksInFlight = 2;
    // A link record's text beyond the name and target: kind, two
    // separators, and room for the AES padding of an encrypted payload.
    static constexpr size_t kLinkRecordOverheadBytes = 3 + 16;

    explicit Packer(const PackOptions& options);
    ~Packer();

    // Runs the whole command; returns the exit code (ExitCode.h).
    int run();

private:
    // One step of the payload, kept in writing order until it can be written.
    struct PendingStep {
        enum class Kind { Directory, BeginFile, Chunk, EndFile };
        Kind kind;
        const PackEntry* entry = nullptr;
        std::shared_ptr<ChunkJob> job;  // Chunk
        uint32_t crc32 = 0;             // EndFile
        uint64_t size = 0;              // EndFile
    };

    int resolvePassword();
    bool strongEncryption() const { return m_encrypted && !m_options.classicEncryption; }
    int checkSettings();
    int loadStub();
    int checkDestinationFolder();
    int checkOutputPlace();
    int gatherInputs();
    int checkNames();
    int checkLinks();
    void checkSetupProgram();
    int writeInstaller();

    bool writePayload(FILE* out);
    bool queueFile(const PackEntry& entry);
    // Empty when the file is as the walk saw it; otherwise what changed.
    std::string describeChange(const PackEntry& entry, uint64_t bytesRead) const;
    bool readSlice(InputFile& input, const PackEntry& entry, uint32_t sliceBytes, uint64_t doneBytes,
                   std::vector<uint8_t>& slice, bool& atEnd);
    void queue(PendingStep step);
    // Writes the steps at the front that are ready; with waitForFront,
    // first waits for the front chunk. False when a write or an encoding
    // failed.
    bool writeReadySteps(bool waitForFront);
    bool writeStep(PendingStep& step);
    bool writeChunk(const EncodedChunk& chunk);
    bool writeCheckRecord(const CheckRecord::Fields& fields);
    bool writeUnixTrailer();
    static uint32_t entryCrc(const PackEntry& entry);
    uint32_t headerAndSettingsCrc() const;
    uint32_t chunksInFlightLimit() const;

    const PackOptions& m_options;
    std::string m_password;
    bool m_encrypted = false;
    std::vector<uint8_t> m_stub;
    std::string m_stubPath;
    bool m_windowsStub = false;
    InputTree m_tree;

    // Write phase.
    std::unique_ptr<PayloadWriter> m_writer;
    std::unique_ptr<ChunkPipeline> m_pipeline;
    std::unique_ptr<ProgressBar> m_progress;
    DataBuffer m_key;
    std::deque<PendingStep> m_pending;
    uint32_t m_chunksPending = 0;
    bool m_inputFailed = false;
    std::string m_failure;
    uint64_t m_storedChunks = 0;
    uint64_t m_deflatedChunks = 0;
};
