#include "tools/bvsfx/PayloadWalker.h"

#include <cinttypes>
#include <cstdio>

#include "compress/Gzip.h"
#include "payload/PayloadFormat.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/ProgressBar.h"
#include "tools/bvsfx/TextFormat.h"

using Chunk = PayloadReader::ChunkResult;

PayloadWalker::PayloadWalker(InstallerFile& file, bool decode, ProgressBar* progress)
    : m_file(file), m_reader(file.reader()), m_decode(decode && file.namesReadable()),
      m_namesReadable(file.namesReadable()), m_progress(progress) {}

std::string PayloadWalker::at(uint64_t offset) { return " (offset " + std::to_string(offset) + ")"; }

std::string PayloadWalker::nameOf(const Entry& entry) const {
    if (!m_namesReadable) return "the entry at offset " + std::to_string(entry.offset);
    return TextFormat::displayName(entry.name);
}

void PayloadWalker::problem(const std::string& text) { m_problems.push_back(text); }

void PayloadWalker::moveProgress() {
    if (m_progress != nullptr) m_progress->set(m_reader.position());
}

bool PayloadWalker::walk(PayloadVisitor& visitor) {
    Entry entry;
    Record result = m_reader.nextRecord(entry);
    takeSettingsCheck(entry, result);
    for (;;) {
        moveProgress();
        if (result == Record::End) {
            if (m_checked && !m_closed) {
                problem("the end record comes before the closing check record" + at(entry.offset) +
                        ": entries are missing");
            }
            m_reachedEnd = true;
            if (announcesUnixTrailer()) readUnixTrailer();
            m_endOffset = m_reader.position();
            return m_problems.empty();
        }
        if (result != Record::Entry) {
            reportFraming(result, entry);
            return false;
        }
        if (m_namesReadable && !entry.namePaddingValid) {
            problem("the name of the record" + at(entry.offset) + " does not decipher: damaged");
        }
        if (m_closed) problem("a record after the closing check record" + at(entry.offset) + ": damaged");

        Entry next;
        Record nextResult = Record::End;
        bool keepGoing = true;
        if (isCheckRecord(entry)) {
            takeClosingCheck(entry);
            nextResult = m_reader.nextRecord(next);
        } else if (entry.type == PayloadFormat::kEntryDirectory) {
            ++m_directories;
            keepGoing = visitor.onDirectory(entry);
            nextResult = m_reader.nextRecord(next);
            takeEntryCheck(entry, next, nextResult, nullptr);
        } else if (entry.type == PayloadFormat::kEntryFile) {
            ++m_files;
            keepGoing = walkFile(entry, visitor, next, nextResult);
            if (m_framingBroken) return false;  // reported where it broke
        } else {
            ++m_otherRecords;
            if (m_checked)
                problem("a record of unknown type " + std::to_string(entry.type) + at(entry.offset) +
                        ": damaged");
            visitor.onOtherRecord(entry);
            nextResult = m_reader.nextRecord(next);
        }
        if (!keepGoing) return false;
        entry = next;
        result = nextResult;
    }
}

bool PayloadWalker::announcesUnixTrailer() const {
    const std::vector<uint8_t>& header = m_reader.headerAndSettingsBytes();
    return m_checked && !header.empty() &&
           (header[PayloadFormat::kHeaderExtensionFlagsOffset] & PayloadFormat::kExtensionUnixTrailer) != 0;
}

// The records behind the end record, up to their check record and the end
// record after it. Without the password their texts cannot be read: they
// are stepped over.
void PayloadWalker::readUnixTrailer() {
    const std::string damaged = ": the Unix modes and links behind the end record are damaged";
    for (;;) {
        Entry record;
        const Record result = m_reader.nextRecord(record);
        if (result == Record::End) {
            problem("the Unix modes and links end before their check record" + at(record.offset) +
                    ": damaged");
            return;
        }
        if (result != Record::Entry) {
            reportFraming(result, record);
            return;
        }
        if (!m_namesReadable) {
            if (record.type == CheckRecord::kCheckRecordType) break;
            continue;
        }
        const UnixTrailer::Take taken = m_unixTrailer.take(
            record.type, record.name.data(), record.name.size(), record.fileTime, record.attributes);
        if (taken == UnixTrailer::Take::Damaged || !record.namePaddingValid) {
            problem("the record" + at(record.offset) + damaged);
            return;
        }
        if (taken == UnixTrailer::Take::Closed) break;
    }
    Entry end;
    const Record result = m_reader.nextRecord(end);
    if (result != Record::End) {
        problem("no end record after the Unix modes and links" + at(end.offset) + ": damaged");
        return;
    }
    if (!m_namesReadable) return;
    const uint64_t entries = uint64_t(m_directories) + m_files;
    if (m_unixTrailer.modeCount() != entries) {
        problem("the payload holds " + std::to_string(entries) +
                " entries, its Unix records give modes for " + std::to_string(m_unixTrailer.modeCount()) +
                ": damaged");
        return;
    }
    m_unixTrailerSound = true;
}

void PayloadWalker::reportFraming(Record result, const Entry& entry) {
    switch (result) {
        case Record::Truncated:
            problem("the payload ends inside a record or before its end record" + at(entry.offset) +
                    ": truncated");
            break;
        case Record::BadMagic:
            problem("no record where one should start" + at(entry.offset) + ": damaged");
            break;
        case Record::BadName:
            problem("the record" + at(entry.offset) + " has an impossible name length: damaged");
            break;
        case Record::Entry:
        case Record::End: break;
    }
}

bool PayloadWalker::readCheckFields(const Entry& record, CheckRecord::Fields& fields) {
    if (!m_namesReadable) return false;
    // A check record's time and attributes are written as 0 and mean
    // nothing; anything else there is damage too.
    const bool zeroFields = record.fileTime == 0 && record.attributes == 0;
    if (zeroFields && record.namePaddingValid && CheckRecord::parse(record.name, fields)) return true;
    problem("an unreadable check record" + at(record.offset) + ": damaged");
    return false;
}

// A payload written by bvsfx starts with the check of its header and
// settings; that record also says that all the others must be there.
void PayloadWalker::takeSettingsCheck(Entry& entry, Record& result) {
    if (result != Record::Entry || !isCheckRecord(entry)) {
        // The strong mode always has them.
        if (m_reader.isStrong())
            problem("the payload does not begin with its settings check record: damaged");
        return;
    }
    m_checked = true;
    CheckRecord::Fields fields;
    if (readCheckFields(entry, fields)) {
        const std::vector<uint8_t>& stored = m_reader.headerAndSettingsBytes();
        ZipCRC crc;
        crc.reset();
        crc.update(stored.data(), static_cast<uint32_t>(stored.size()));
        if (fields.kind != CheckRecord::Kind::Settings) {
            problem("the first check record" + at(entry.offset) + " is not the settings check: damaged");
        } else if (crc.final() != fields.headerCrc) {
            problem("the header or the settings differ from their check record: damaged");
        }
    }
    result = m_reader.nextRecord(entry);
}

void PayloadWalker::takeClosingCheck(const Entry& record) {
    CheckRecord::Fields fields;
    if (!m_checked) {
        problem("a check record" + at(record.offset) + " in a payload without a settings check: damaged");
        return;
    }
    if (!readCheckFields(record, fields)) {
        if (!m_namesReadable) m_closed = true;  // cannot tell its kind; taken for the closing one
        return;
    }
    if (fields.kind != CheckRecord::Kind::End) {
        problem("a check record" + at(record.offset) + " that follows no entry: damaged");
        return;
    }
    m_closed = true;
    const uint64_t entries = uint64_t(m_directories) + m_files;
    if (fields.count != entries) {
        problem("the payload holds " + std::to_string(entries) + " entries, its closing check record says " +
                std::to_string(fields.count) + ": damaged");
    }
}

void PayloadWalker::takeEntryCheck(const Entry& entry, Entry& next, Record& nextResult,
                                   FileSummary* summary) {
    if (nextResult != Record::Entry || !isCheckRecord(next)) {
        if (m_checked)
            problem(nameOf(entry) + ": its check record is missing" + at(next.offset) + ": damaged");
        if (summary != nullptr) summary->damaged = m_checked;
        return;
    }
    CheckRecord::Fields fields;
    const Entry record = next;
    nextResult = m_reader.nextRecord(next);
    if (!readCheckFields(record, fields)) return;
    const CheckRecord::Kind expected =
        summary != nullptr ? CheckRecord::Kind::File : CheckRecord::Kind::Directory;
    if (fields.kind != expected) {
        problem(nameOf(entry) + ": the check record after it" + at(record.offset) +
                " is of the wrong kind: damaged");
        return;
    }
    if (fields.headerCrc !=
        CheckRecord::entryHeaderCrc(entry.type, entry.name, entry.fileTime, entry.attributes)) {
        problem(nameOf(entry) + ": its name, time or attributes differ from its check record" +
                at(entry.offset) + ": damaged");
        if (summary != nullptr) summary->damaged = true;
    }
    if (summary != nullptr) {
        summary->hasCheckRecord = true;
        summary->recordedCrc32 = fields.contentCrc;
        summary->recordedSize = fields.count;
    }
}

bool PayloadWalker::walkFile(const Entry& entry, PayloadVisitor& visitor, Entry& next, Record& nextResult) {
    if (!visitor.onFileBegin(entry)) return false;
    FileSummary summary;
    m_fileCrc.reset();
    if (!readChunks(entry, visitor, summary)) {
        summary.damaged = true;
        m_framingBroken = true;
        return visitor.onFileEnd(entry, summary);
    }
    summary.crc32 = m_fileCrc.final();
    nextResult = m_reader.nextRecord(next);
    takeEntryCheck(entry, next, nextResult, &summary);
    if (m_decode) compareContent(entry, summary);
    if (summary.hasCheckRecord) {
        m_knownFileBytes += summary.recordedSize;
    } else {
        ++m_uncheckedFiles;
        if (m_decode) m_knownFileBytes += summary.size;
    }
    return visitor.onFileEnd(entry, summary);
}

bool PayloadWalker::readChunks(const Entry& entry, PayloadVisitor& visitor, FileSummary& summary) {
    DataBuffer stored;
    for (;;) {
        PayloadReader::ChunkRecord chunk;
        const Chunk result = m_reader.nextChunk(chunk, stored);
        moveProgress();
        if (result == Chunk::EndOfData) {
            summary.complete = true;
            return true;
        }
        if (result == Chunk::Truncated) {
            problem(nameOf(entry) + ": the payload ends inside its data" + at(chunk.offset) + ": truncated");
            return false;
        }
        if (result == Chunk::Oversized) {
            problem(nameOf(entry) + ": a chunk length of " + std::to_string(chunk.dataBytes) +
                    " bytes, more than an installer can read" + at(chunk.offset) + ": damaged");
            return false;
        }
        summary.packedBytes += chunk.dataBytes;
        m_packedBytes += chunk.dataBytes;
        if (chunk.stored) {
            ++summary.storedChunks;
            ++m_storedChunks;
        } else {
            ++summary.deflatedChunks;
            ++m_deflatedChunks;
        }
        if (m_decode && !decodeChunk(entry, chunk, stored, visitor, summary)) return false;
    }
}

bool PayloadWalker::decodeChunk(const Entry& entry, const PayloadReader::ChunkRecord& chunk,
                                const DataBuffer& stored, PayloadVisitor& visitor, FileSummary& summary) {
    const DataBuffer* plain = &stored;
    DataBuffer deciphered;
    if (m_reader.isEncrypted()) {
        bool paddingValid = false;
        if (m_reader.isStrong()) {
            m_reader.decipherChunk(chunk, stored, deciphered, paddingValid);
            if (!paddingValid) {
                problem(nameOf(entry) + ": a chunk whose authentication code does not match" +
                        at(chunk.offset) + ": damaged");
                summary.damaged = true;
            }
        } else if (!m_reader.decipher(stored, deciphered, paddingValid)) {
            problem(nameOf(entry) + ": a chunk that is not whole AES blocks" + at(chunk.offset) +
                    ": damaged");
            summary.damaged = true;
        } else if (!paddingValid && stored.getSize() != 0) {
            problem(nameOf(entry) + ": a chunk that does not decipher" + at(chunk.offset) + ": damaged");
            summary.damaged = true;
        }
        plain = &deciphered;
    }
    DataBuffer inflated;
    if (!chunk.stored) {
        Gzip gzip;
        if (!gzip.inflateBuffer(*plain, inflated)) {
            problem(nameOf(entry) + ": a damaged deflate stream" + at(chunk.offset));
            summary.damaged = true;
        }
        plain = &inflated;
    }
    summary.size += plain->getSize();
    m_fileCrc.update(plain->getData(), plain->getSize());
    return visitor.onFileData(plain->getData(), plain->getSize());
}

void PayloadWalker::compareContent(const Entry& entry, FileSummary& summary) {
    if (!summary.hasCheckRecord) return;
    if (summary.size == summary.recordedSize && summary.crc32 == summary.recordedCrc32) return;
    char detail[200];
    std::snprintf(detail, sizeof(detail),
                  ": its content differs from its check record (CRC-32 %08" PRIx32 ", %" PRIu64
                  " bytes; recorded %08" PRIx32 ", %" PRIu64 " bytes): damaged",
                  summary.crc32, summary.size, summary.recordedCrc32, summary.recordedSize);
    problem(nameOf(entry) + detail);
    summary.damaged = true;
}
