#pragma once
// PayloadWalker: goes through every record of an opened installer, hands
// each entry to a visitor and collects what is wrong with the payload.
//
// With decoding on, every chunk is deciphered and inflated exactly as the
// installer does (Gzip front, lenient padding removal) and the resulting
// bytes are passed to the visitor.
//
// What can be detected:
// - framing faults (cut short, wrong record magic, impossible name length,
//   oversized chunk): always; the walk stops there, as the installer does;
// - a damaged deflate stream, a chunk or name whose AES padding is not well
//   formed: always reported, the walk goes on;
// - anything else (a changed byte of a stored chunk, of a deflate stream
//   that still decodes, of a name, time, attribute or setting; a record
//   lost): through the check records bvsfx writes (CheckRecord.h). A payload
//   without them (not written by bvsfx) cannot reveal those; its files are
//   counted as unchecked.
//
// The Unix records behind the end record (UnixRecord.h), when the header
// announces them, are read and checked after the entries; unixTrailer()
// then holds them.

#include <cstdint>
#include <string>
#include <vector>

#include "core/ZipCRC.h"
#include "payload/PayloadReader.h"
#include "payload/CheckRecord.h"
#include "payload/UnixTrailer.h"

class InstallerFile;
class ProgressBar;

struct FileSummary {
    uint64_t packedBytes = 0;  // chunk data as stored
    uint32_t storedChunks = 0;
    uint32_t deflatedChunks = 0;
    bool complete = false;        // its data ended with the zero length field
    bool damaged = false;         // a problem was found in this file
    uint64_t size = 0;            // decoded bytes (decoding only)
    uint32_t crc32 = 0;           // of the decoded bytes (decoding only)
    bool hasCheckRecord = false;  // a readable check record followed it
    uint64_t recordedSize = 0;
    uint32_t recordedCrc32 = 0;
};

class PayloadVisitor {
public:
    virtual ~PayloadVisitor() = default;
    // Each returns false to stop the walk (the visitor has said why).
    virtual bool onDirectory(const PayloadReader::EntryRecord& entry) {
        (void)entry;
        return true;
    }
    virtual bool onFileBegin(const PayloadReader::EntryRecord& entry) {
        (void)entry;
        return true;
    }
    virtual bool onFileData(const uint8_t* data, uint32_t size) {
        (void)data;
        (void)size;
        return true;
    }
    virtual bool onFileEnd(const PayloadReader::EntryRecord& entry, const FileSummary& summary) {
        (void)entry;
        (void)summary;
        return true;
    }
    virtual void onOtherRecord(const PayloadReader::EntryRecord& entry) { (void)entry; }
};

class PayloadWalker {
public:
    // progress may be null; it is moved by the payload bytes read.
    PayloadWalker(InstallerFile& file, bool decode, ProgressBar* progress);

    // True when the walk reached the end record with nothing wrong.
    bool walk(PayloadVisitor& visitor);

    // One line per problem found, in payload order.
    const std::vector<std::string>& problems() const { return m_problems; }
    bool reachedEnd() const { return m_reachedEnd; }

    uint32_t directories() const { return m_directories; }
    uint32_t files() const { return m_files; }
    uint32_t otherRecords() const { return m_otherRecords; }
    uint32_t uncheckedFiles() const { return m_uncheckedFiles; }
    uint32_t storedChunks() const { return m_storedChunks; }
    uint32_t deflatedChunks() const { return m_deflatedChunks; }
    uint64_t packedBytes() const { return m_packedBytes; }
    // Sum of the file sizes known (from check records, or decoded).
    uint64_t knownFileBytes() const { return m_knownFileBytes; }
    uint64_t endOffset() const { return m_endOffset; }
    // The header announces Unix records behind the end record (a payload
    // with check records only).
    bool announcesUnixTrailer() const;
    // The payload announces Unix records, and they were read and sound.
    bool hasUnixTrailer() const { return m_unixTrailerSound; }
    const UnixTrailer& unixTrailer() const { return m_unixTrailer; }

private:
    using Entry = PayloadReader::EntryRecord;
    using Record = PayloadReader::RecordResult;

    bool isCheckRecord(const Entry& entry) const { return entry.type == CheckRecord::kCheckRecordType; }
    bool readCheckFields(const Entry& record, CheckRecord::Fields& fields);
    void takeSettingsCheck(Entry& entry, Record& result);
    void takeClosingCheck(const Entry& record);
    bool walkFile(const Entry& entry, PayloadVisitor& visitor, Entry& next, Record& nextResult);
    bool readChunks(const Entry& entry, PayloadVisitor& visitor, FileSummary& summary);
    bool decodeChunk(const Entry& entry, const PayloadReader::ChunkRecord& chunk, const DataBuffer& stored,
                     PayloadVisitor& visitor, FileSummary& summary);
    // Consumes the check record expected after an entry; fills summary (files).
    void takeEntryCheck(const Entry& entry, Entry& next, Record& nextResult, FileSummary* summary);
    void compareContent(const Entry& entry, FileSummary& summary);
    void reportFraming(Record result, const Entry& entry);
    void readUnixTrailer();
    void problem(const std::string& text);
    std::string nameOf(const Entry& entry) const;
    static std::string at(uint64_t offset);
    void moveProgress();

    InstallerFile& m_file;
    PayloadReader& m_reader;
    bool m_decode;
    bool m_namesReadable;
    ProgressBar* m_progress;
    ZipCRC m_fileCrc;
    std::vector<std::string> m_problems;
    bool m_checked = false;  // the payload starts with a settings check record (bvsfx wrote it)
    bool m_closed = false;   // the closing check record was seen
    bool m_reachedEnd = false;
    bool m_framingBroken = false;
    uint32_t m_directories = 0;
    uint32_t m_files = 0;
    uint32_t m_otherRecords = 0;
    uint32_t m_uncheckedFiles = 0;
    uint32_t m_storedChunks = 0;
    uint32_t m_deflatedChunks = 0;
    uint64_t m_packedBytes = 0;
    uint64_t m_knownFileBytes = 0;
    uint64_t m_endOffset = 0;
    UnixTrailer m_unixTrailer;
    bool m_unixTrailerSound = false;
};
