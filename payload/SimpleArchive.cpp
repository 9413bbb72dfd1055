#include "payload/SimpleArchive.h"

#include <cstring>

#include "compress/Gzip.h"
#include "core/ByteOrder.h"
#include "core/XString.h"
#include "core/ConstantTime.h"
#include "core/SecretWipe.h"
#include "io/DataSource.h"
#include "io/FileSystem.h"
#include "io/OutputFile.h"
#include "payload/EntryPath.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadMarker.h"
#include "payload/StrongFormat.h"
#include "platform/win32.h"

using namespace PayloadFormat;

// The fixed part of an entry record, as read by readEntryHeader.
struct SimpleArchive::EntryHeader {
    uint8_t type = kEntryEnd;
    uint16_t storedNameBytes = 0;  // the count the progress reports use
    StringBuffer name;             // UTF-8, deciphered
    FILETIME time = {0, 0};
    uint32_t attributes = 0;

    void clear() {
        type = kEntryEnd;
        storedNameBytes = 0;
        name.clear();
        time = {0, 0};
        attributes = 0;
    }
    uint64_t fileTime() const { return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime; }
};

// What a file's data came to, as written: compared with its check record.
// The CRC is only summed in a checked payload; others pay nothing for it.
// The byte counts are kept for an entry observer.
struct SimpleArchive::ContentSum {
    ZipCRC crc;
    uint64_t bytes = 0;
    uint64_t packedBytes = 0;
    bool wanted;

    explicit ContentSum(bool wantedSum) : wanted(wantedSum) { crc.reset(); }
    void add(const uint8_t* data, uint32_t size) {
        bytes += size;
        if (!wanted) return;
        crc.update(data, size);
    }
};

namespace {

// Passes each piece of an inflated chunk on to the entry's output as the
// inflater delivers it, and adds it to the content sum (a ContentSum): a
// chunk never needs a buffer of its inflated size, whatever the stream
// expands to.
template <typename Sum>
class InflatedPieceWriter : public Output {
public:
    InflatedPieceWriter(Output& out, Sum& content) : m_out(out), m_content(content) {}
    uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) override {
        if (m_failed) return 0;
        const uint32_t size = itemSize * itemCount;  // the inflater writes windows of at most 32,768 bytes
        const uint32_t written = m_out.writeBytes(data, 1, size);
        if (written != size) {
            m_failed = true;
            return 0;
        }
        m_content.add(static_cast<const uint8_t*>(data), size);
        m_written += size;
        return itemCount;
    }
    uint32_t tell() override { return m_written; }
    bool failed() const { return m_failed; }
    uint32_t written() const { return m_written; }

private:
    Output& m_out;
    Sum& m_content;
    uint32_t m_written = 0;
    bool m_failed = false;
};

// What a strong name's code covers besides the name: the record's type,
// FILETIME and attributes, little-endian.
void nameContext(uint8_t type, uint64_t fileTime, uint32_t attributes, uint8_t* context) {
    context[0] = type;
    storeLittleEndian64(context + 1, fileTime);
    storeLittleEndian32(context + 9, attributes);
}

// Takes a file's data without writing it anywhere.
class DiscardingOutput : public Output {
public:
    uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) override {
        (void)data;
        return itemSize * itemCount;
    }
};

// Drops bytes from the front of a full 8-byte window until what remains is
// the beginning of the marker; returns how many bytes remain (0 to 7).
// The last '/' or '\\' of a name; null when it has none.
const char* lastSeparatorOf(const char* name) {
    const char* lastSeparator = nullptr;
    for (const char* at = name; *at != 0; ++at) {
        if (*at == '/' || *at == '\\') lastSeparator = at;
    }
    return lastSeparator;
}

uint32_t keepMarkerPrefix(uint8_t* window, const uint8_t* marker) {
    for (uint32_t shift = 1; shift < kMarkerBytes; ++shift) {
        const uint32_t kept = kMarkerBytes - shift;
        if (std::memcmp(window + shift, marker, kept) == 0) {
            std::memmove(window, window + shift, kept);
            return kept;
        }
    }
    return 0;
}

}  // namespace

SimpleArchive::SimpleArchive()
    : m_settings(kSettingsBuckets), m_source(nullptr), m_sourceReading(SourceReading::PerField),
      m_encrypted(false), m_keyLength(kKeyBits128), m_workBuffer(kChunkBufferBytes), m_failure(Failure::None),
      m_checkState(CheckState::NotStarted), m_record(new EntryHeader()), m_hasLookahead(false),
      m_lookaheadRead(false), m_entries(0), m_hasMadeParent(false), m_entryAction(EntryAction::Create),
      m_observer(nullptr), m_extensionFlags(0), m_strong(false), m_strongSettingsAuthentic(false),
      m_fieldSequence(0) {
    std::memset(m_settingsDigest, 0, sizeof m_settingsDigest);
}

SimpleArchive::~SimpleArchive() {
    m_password.wipe();
    delete m_record;
}

void SimpleArchive::setSource(DataSource* source) {
    m_source = source;
    m_hasMadeParent = false;
    m_fields.setSource(source);
}

// --- Reading primitives -------------------------------------------------------

// The header and the settings table are summed as read, for their check
// record.
void SimpleArchive::sumSettingsBytes(void* context, const void* bytes, uint32_t count) {
    SimpleArchive* archive = static_cast<SimpleArchive*>(context);
    archive->m_settingsCrc.update(bytes, count);
    archive->m_settingsSha.update(bytes, count);
}

// --- Marker, header, settings -------------------------------------------------

// The source can only move forward, so after each hit of the first word the
// marker is checked in an 8-byte window that slides byte by byte while its
// tail could still begin a marker: a first word directly behind a false one
// (or a marker starting inside the 4 bytes read after it) is not missed.
bool SimpleArchive::findMarker() {
    if (m_source == nullptr) return false;
    uint8_t marker[kMarkerBytes];
    storeLittleEndian32(marker, payloadMarkerWord1());
    storeLittleEndian32(marker + kMarkerWordBytes, payloadMarkerWord2());

    for (;;) {
        uint32_t skipped = 0;
        if (!m_source->findUint32(payloadMarkerWord1(), &skipped)) return false;
        uint8_t window[kMarkerBytes];
        std::memcpy(window, marker, kMarkerWordBytes);
        uint32_t filled = kMarkerWordBytes;
        while (filled != 0) {
            if (!m_fields.readExact(window + filled, kMarkerBytes - filled)) return false;
            if (std::memcmp(window, marker, kMarkerBytes) == 0) {
                // The search reads the source itself: blocks only from here.
                if (m_sourceReading == SourceReading::ReadAhead) m_fields.startReadAhead();
                return true;
            }
            filled = keepMarkerPrefix(window, marker);
        }
        // Nothing read so far can begin the marker: search on from here.
    }
}

bool SimpleArchive::readHeader() {
    uint8_t header[kArchiveHeaderBytes];
    m_settingsCrc.reset();
    m_settingsSha.reset();
    m_fields.setObserver(&SimpleArchive::sumSettingsBytes, this);
    if (!m_fields.readExact(header, kArchiveHeaderBytes)) {
        m_fields.clearObserver();
        return false;
    }
    m_encrypted = header[kHeaderEncryptionFlagOffset] != 0;
    m_extensionFlags = header[kHeaderExtensionFlagsOffset];
    uint8_t code = header[kHeaderKeyLengthCodeOffset];
    if (code == kKeyLengthCode128) {
        m_keyLength = kKeyBits128;
    } else if (code == kKeyLengthCode192) {
        m_keyLength = kKeyBits192;
    } else {
        m_keyLength = kKeyBits256;
    }
    return true;
}

bool SimpleArchive::readArgs() {
    const bool read = readSettingsTable();
    m_fields.clearObserver();
    m_settingsSha.final(m_settingsDigest);
    return read;
}

bool SimpleArchive::readSettingsTable() {
    if (m_source == nullptr) return false;
    for (uint32_t pair = 0; pair < kMaxSettingsPairs; ++pair) {
        uint16_t nameBytes = 0;
        if (!m_fields.readU16(nameBytes)) return false;
        if (nameBytes == 0) return true;  // terminator of a table under 200 pairs

        DataBuffer nameData(nameBytes);
        if (!m_fields.readExact(nameData.getData(), nameBytes)) return false;
        nameData.setSize(nameBytes);
        uint16_t valueBytes = 0;
        if (!m_fields.readU16(valueBytes)) return false;

        StringBuffer* value = new StringBuffer();
        if (valueBytes != 0) {
            DataBuffer valueData(valueBytes);
            if (!m_fields.readExact(valueData.getData(), valueBytes)) {
                delete value;
                return false;
            }
            valueData.setSize(valueBytes);
            value->appendDb(valueData);
        }
        StringBuffer name;
        name.appendDb(nameData);
        m_settings.insert(name, value);
    }
    // 200 pairs: the table has no terminator.
    return true;
}

bool SimpleArchive::getArg(const char* name, StringBuffer& value) {
    value.clear();
    return m_settings.lookup(name, value);
}

// --- Password -----------------------------------------------------------------

void SimpleArchive::usePassword(const char* text) { m_password.setString(text); }

void SimpleArchive::deriveKey(const StringBuffer& password, DataBuffer& key) {
    derivePayloadKey(password, m_keyLength, key);
}

bool SimpleArchive::verifyPassword() {
    // The check is made once and leaves the key in the cipher: the password
    // text is not needed after it, whatever the answer.
    struct WipeOnReturn {
        StringBuffer& text;
        ~WipeOnReturn() { text.wipe(); }
    } wipePassword{m_password};
    if (!m_encrypted) return false;
    uint8_t storedBytes = 0;
    if (!m_fields.readU8(storedBytes)) return false;
    // A classic verifier is never empty: length 0 is the strong mode's mark.
    if (storedBytes == StrongFormat::kClassicVerifierLength) return verifyStrongPassword();

    m_cipher.setKeyLength(m_keyLength);
    m_cipher.setCbcMode();
    DataBuffer key;
    deriveKey(m_password, key);
    m_cipher.setKey(key);
    wipeSecretBytes(key.getData(), key.getSize());

    DataBuffer stored(storedBytes);
    if (!m_fields.readExact(stored.getData(), storedBytes)) return false;
    stored.setSize(storedBytes);

    DataBuffer plain;
    if (!decipherField(stored, plain)) return false;
    return plain.getSize() == kVerifierPlaintextBytes &&
           constantTimeEqual(plain.getData(), reinterpret_cast<const uint8_t*>(kVerifierPlaintext),
                             kVerifierPlaintextBytes);
}

bool SimpleArchive::readStrongKeyRecord(uint8_t* record) {
    if (!m_fields.readExact(record, StrongFormat::kRecordBytes) || !m_strongRecord.load(record)) return false;
    m_strong = true;
    return true;
}

// The slow derivation runs once per attempt; the verifier only tells
// whether the password is right. The settings code, made with the MAC key,
// then tells whether the header and settings are the packed ones.
bool SimpleArchive::verifyStrongPassword() {
    uint8_t record[StrongFormat::kRecordBytes];
    if (!readStrongKeyRecord(record)) return false;
    const bool derived = m_strongCipher.derive(reinterpret_cast<const uint8_t*>(m_password.getString()),
                                               static_cast<uint32_t>(m_password.getSize()),
                                               m_strongRecord.salt, m_strongRecord.iterations, m_keyLength);
    if (!derived || !m_strongCipher.verifierMatches(m_strongRecord.verifier)) {
        m_strongCipher.wipe();
        return false;
    }
    uint8_t code[StrongFormat::kMacBytes];
    m_strongCipher.settingsCode(m_settingsDigest, record, StrongFormat::kSettingsMacOffset, code);
    m_strongSettingsAuthentic = constantTimeEqual(code, m_strongRecord.settingsCode, StrongFormat::kMacBytes);
    if (!m_strongSettingsAuthentic) m_checkState = CheckState::Broken;
    return true;
}

bool SimpleArchive::verifierIsWellFormed() {
    uint8_t storedBytes = 0;
    if (!m_fields.readU8(storedBytes)) return false;
    if (storedBytes == StrongFormat::kClassicVerifierLength) {
        uint8_t record[StrongFormat::kRecordBytes];
        return readStrongKeyRecord(record);
    }
    if (storedBytes % kCipherBlockBytes != 0) return false;
    uint8_t stored[kMaxVerifierBytes];
    return m_fields.readExact(stored, storedBytes);
}

bool SimpleArchive::openSealed(uint8_t kind, const uint8_t* context, uint32_t contextBytes,
                               const DataBuffer& stored, DataBuffer& plain) {
    const uint64_t sequence = m_fieldSequence++;
    return m_strongCipher.open(kind, sequence, context, contextBytes, stored.getData(), stored.getSize(),
                               plain);
}

// The name as its mode stores it: sealed (its code covering the type, time
// and attributes read with it), enciphered or plain.
bool SimpleArchive::takeName(const DataBuffer& stored, EntryHeader& header) {
    if (!m_encrypted) {
        header.name.appendDb(stored);
        return true;
    }
    DataBuffer plain;
    if (m_strong) {
        uint8_t context[StrongFormat::kNameContextBytes];
        nameContext(header.type, header.fileTime(), header.attributes, context);
        if (!openSealed(StrongFormat::kFieldName, context, sizeof context, stored, plain)) return false;
    } else if (!decipherField(stored, plain)) {
        return false;
    }
    header.name.appendDb(plain);
    return true;
}

// Each enciphered field is one CBC message from the zero IV. A length that is
// not whole blocks cannot come from the writer: its tail would not decipher.
bool SimpleArchive::decipherField(const DataBuffer& stored, DataBuffer& plain) {
    plain.clear();
    if (stored.getSize() % kCipherBlockBytes != 0) return false;
    m_cipher.decryptDataInto(stored, plain);
    return true;
}

// --- Entries ------------------------------------------------------------------

bool SimpleArchive::fail(Failure failure) {
    m_failure = failure;
    return false;
}

bool SimpleArchive::readEntryHeader(EntryHeader& header) {
    uint32_t magic = 0;
    if (!m_fields.readU32(magic) || magic != kEntryRecordMagic) return false;
    if (!m_fields.readU8(header.type)) return false;
    if (header.type == kEntryEnd) return true;

    if (!m_fields.readU16(header.storedNameBytes) || header.storedNameBytes == 0) return false;
    DataBuffer stored(header.storedNameBytes);
    if (!m_fields.readExact(stored.getData(), header.storedNameBytes)) return false;
    stored.setSize(header.storedNameBytes);

    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    if (!m_fields.readU32(timeLow) || !m_fields.readU32(timeHigh) || !m_fields.readU32(header.attributes))
        return false;
    header.time.dwLowDateTime = timeLow;
    header.time.dwHighDateTime = timeHigh;
    return takeName(stored, header);
}

// --- Check records -------------------------------------------------------------

bool SimpleArchive::checkSettings() {
    if (m_checkState == CheckState::Broken) return fail(Failure::Damaged);
    if (m_checkState != CheckState::NotStarted) return true;
    m_checkState = CheckState::Unchecked;
    m_record->clear();
    m_lookaheadRead = readEntryHeader(*m_record);
    if (!m_lookaheadRead || m_record->type != CheckRecord::kCheckRecordType) {
        // A strong payload always begins with its settings check.
        if (m_strong) {
            m_checkState = CheckState::Broken;
            return fail(Failure::Damaged);
        }
        // Kept for extractNext, which meets a broken record there as it
        // always has.
        m_hasLookahead = true;
        return true;
    }
    CheckRecord::Fields fields;
    if (!readCheck(*m_record, fields) || fields.kind != CheckRecord::Kind::Settings ||
        fields.headerCrc != m_settingsCrc.final()) {
        m_checkState = CheckState::Broken;
        return fail(Failure::Damaged);
    }
    m_checkState = CheckState::Checked;
    return true;
}

// A check record's time and attributes are written as 0 and mean nothing;
// anything else there is damage too.
bool SimpleArchive::readCheck(const EntryHeader& record, CheckRecord::Fields& fields) {
    return record.type == CheckRecord::kCheckRecordType && record.fileTime() == 0 && record.attributes == 0 &&
           CheckRecord::parse(record.name.getString(), static_cast<size_t>(record.name.getSize()), fields);
}

// A check record where one must follow, read in two reads instead of the
// seven of the field-by-field framing (each read is a system call, and a
// check record follows every entry): magic, type and name length, then
// name, time and attributes. False unless it is a check record.
bool SimpleArchive::readCheckRecordHeader(EntryHeader& record) {
    uint8_t fixed[kEntryMagicBytes + kEntryTypeBytes + kEntryNameLengthBytes];
    if (!m_fields.readExact(fixed, sizeof(fixed))) return false;
    const uint32_t magic = loadLittleEndian32(fixed);
    record.type = fixed[4];
    record.storedNameBytes = loadLittleEndian16(fixed + 5);
    if (magic != kEntryRecordMagic || record.type != CheckRecord::kCheckRecordType ||
        record.storedNameBytes == 0) {
        return false;
    }
    const uint32_t restBytes = record.storedNameBytes + kEntryTimeBytes + kEntryAttributesBytes;
    DataBuffer rest(restBytes);
    if (!m_fields.readExact(rest.getData(), restBytes)) return false;
    const uint8_t* tail = rest.getData() + record.storedNameBytes;
    record.time.dwLowDateTime = loadLittleEndian32(tail);
    record.time.dwHighDateTime = loadLittleEndian32(tail + 4);
    record.attributes = loadLittleEndian32(tail + 8);
    rest.setSize(record.storedNameBytes);
    return takeName(rest, record);
}

// The record that follows a directory or a file in a checked payload.
bool SimpleArchive::takeEntryCheck(const EntryHeader& entry, CheckRecord::Kind kind,
                                   const ContentSum* content) {
    EntryHeader record;
    CheckRecord::Fields fields;
    if (!readCheckRecordHeader(record) || !readCheck(record, fields) || fields.kind != kind) return false;
    const uint32_t headerCrc = CheckRecord::entryHeaderCrc(entry.type, entry.name.getString(),
                                                           static_cast<size_t>(entry.name.getSize()),
                                                           entry.fileTime(), entry.attributes);
    if (fields.headerCrc != headerCrc) return false;
    if (content == nullptr) return true;
    return fields.contentCrc == content->crc.final() && fields.count == content->bytes;
}

// A check record where an entry could stand: the closing E record of a
// checked payload, with the number of entries; anything else is damage.
bool SimpleArchive::takeClosingCheck(const EntryHeader& record) {
    CheckRecord::Fields fields;
    if (m_checkState != CheckState::Checked || !readCheck(record, fields)) return false;
    if (fields.kind != CheckRecord::Kind::End || fields.count != m_entries) return false;
    m_checkState = CheckState::Closed;
    return true;
}

// An end record as the first record of a payload is also what a settings
// check record becomes when its type byte is damaged to 0. The rest of that
// record then follows (name length, name, zero time and attributes); nothing
// else reads beyond an end record, so looking does no harm.
bool SimpleArchive::endRecordHidesCheckRecord() {
    if (m_strong) return true;  // a strong payload is always checked
    EntryHeader rest;
    rest.type = CheckRecord::kCheckRecordType;
    if (!m_fields.readU16(rest.storedNameBytes) || rest.storedNameBytes == 0) return false;
    DataBuffer stored(rest.storedNameBytes);
    if (!m_fields.readExact(stored.getData(), rest.storedNameBytes)) return false;
    stored.setSize(rest.storedNameBytes);
    if (m_encrypted) {
        DataBuffer plain;
        if (!decipherField(stored, plain)) return false;
        rest.name.appendDb(plain);
    } else {
        rest.name.appendDb(stored);
    }
    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    if (!m_fields.readU32(timeLow) || !m_fields.readU32(timeHigh) || !m_fields.readU32(rest.attributes))
        return false;
    rest.time.dwLowDateTime = timeLow;
    rest.time.dwHighDateTime = timeHigh;
    CheckRecord::Fields fields;
    return readCheck(rest, fields) && fields.kind == CheckRecord::Kind::Settings;
}

bool SimpleArchive::finishPayload() {
    if (m_checkState == CheckState::Checked) return fail(Failure::Damaged);  // no closing E record
    if (m_checkState == CheckState::Unchecked && m_entries == 0 && endRecordHidesCheckRecord()) {
        return fail(Failure::Damaged);
    }
    const bool applied = !wantsUnixTrailer() || takeUnixTrailer();
    // Links made in a folder change its time too.
    m_directoryTimes.restoreAll();
    return applied;
}

// --- Unix modes and links ---------------------------------------------------------

bool SimpleArchive::wantsUnixTrailer() const {
    return isChecked() && (m_extensionFlags & kExtensionUnixTrailer) != 0 && keepsUnixModes();
}

// The records behind the end record, up to their closing check record and
// the end record after it; nothing is applied unless all of them are sound.
bool SimpleArchive::takeUnixTrailer() {
    UnixTrailer trailer;
    for (;;) {
        EntryHeader record;
        if (!readEntryHeader(record) || record.type == kEntryEnd) return fail(Failure::Damaged);
        const UnixTrailer::Take taken =
            trailer.take(record.type, record.name.getString(), static_cast<size_t>(record.name.getSize()),
                         record.fileTime(), record.attributes);
        if (taken == UnixTrailer::Take::Damaged) return fail(Failure::Damaged);
        if (taken == UnixTrailer::Take::Closed) break;
    }
    EntryHeader end;
    if (!readEntryHeader(end) || end.type != kEntryEnd) return fail(Failure::Damaged);
    if (trailer.modeCount() != m_unixEntries.size()) return fail(Failure::Damaged);
    // A verifying run has created nothing to give modes or links to.
    if (m_entryAction == EntryAction::VerifyOnly) return true;
    return applyUnixTrailer(trailer);
}

// A link name bvsfx writes: relative, without a ".." component.
static bool isPackedLinkName(const std::string& name) {
    const char first = name.empty() ? 0 : name[0];
    const bool absolute = first == '/' || first == '\\' || name.find(':') != std::string::npos;
    return !name.empty() && !absolute && !EntryPath::climbsOut(name.c_str());
}

bool SimpleArchive::applyUnixTrailer(const UnixTrailer& trailer) {
    // Damage is found before anything changes.
    for (const UnixTrailer::Link& link : trailer.links()) {
        if (!isPackedLinkName(link.name)) return fail(Failure::Damaged);
    }
    {
        // Files come in payload order, a folder's files one after the other.
        ModeRunBelow files(".");
        for (size_t i = 0; i < m_unixEntries.size(); ++i) {
            const UnixEntry& entry = m_unixEntries[i];
            if (entry.isDirectory || entry.name.empty()) continue;
            if (!files.setMode(entry.name.c_str(), trailer.modeOf(i))) return fail(Failure::CannotCreate);
        }
    }
    for (const UnixTrailer::Link& link : trailer.links()) {
        if (!makeParentDirsNoLinks(link.name.c_str(), nullptr) ||
            !createLinkBelow(".", link.name.c_str(), link.target.c_str())) {
            return fail(Failure::CannotCreate);
        }
    }
    ModeRunBelow directories(".");
    for (size_t i = m_unixEntries.size(); i-- > 0;) {
        const UnixEntry& entry = m_unixEntries[i];
        if (!entry.isDirectory || entry.name.empty()) continue;
        if (!directories.setMode(entry.name.c_str(), trailer.modeOf(i))) return fail(Failure::CannotCreate);
    }
    return true;
}

// --- Entries ------------------------------------------------------------------

// The next entry record into m_record: the one checkSettings read ahead,
// or a new one.
bool SimpleArchive::takeRecord() {
    if (m_hasLookahead) {
        m_hasLookahead = false;
        return m_lookaheadRead;
    }
    m_record->clear();
    return readEntryHeader(*m_record);
}

bool SimpleArchive::extractNext(bool& finished, SaProgress* progress) {
    finished = true;
    m_failure = Failure::None;
    if (m_source == nullptr) return fail(Failure::Damaged);
    if (!checkSettings()) return false;

    if (!takeRecord()) return fail(Failure::Damaged);
    const EntryHeader& header = *m_record;
    if (header.type == kEntryEnd) return finishPayload();
    if (header.type == CheckRecord::kCheckRecordType) {
        // In a payload that did not begin with the settings check, a check
        // record means that check record was damaged.
        if (!takeClosingCheck(header)) return fail(Failure::Damaged);
        finished = false;
        return true;
    }
    const bool createsSomething = header.type == kEntryDirectory || header.type == kEntryFile;
    if (createsSomething && EntryPath::climbsOut(header.name.getString())) return fail(Failure::Damaged);
    // bvsfx writes no other types, and nothing after the closing record.
    if (m_checkState == CheckState::Closed || (isChecked() && !createsSomething))
        return fail(Failure::Damaged);

    const bool verifyOnly = m_entryAction == EntryAction::VerifyOnly;
    if (header.type == kEntryDirectory) {
        if (!extractDirectory(header, progress)) return false;
    } else if (header.type == kEntryFile) {
        if (!(verifyOnly ? verifyFile(header, progress) : extractFile(header, progress))) return false;
    }
    if (createsSomething) {
        ++m_entries;
        if (wantsUnixTrailer()) {
            const char* name = header.name.getString();
            const bool absolute = name[0] == '/' || name[0] == '\\' || std::strchr(name, ':') != nullptr;
            m_unixEntries.push_back(
                UnixEntry{absolute ? std::string() : std::string(name), header.type == kEntryDirectory});
        }
    }
    // Other types carry nothing more; the next record follows directly.
    finished = false;
    return true;
}

bool SimpleArchive::extractDirectory(const EntryHeader& header, SaProgress* progress) {
    const uint32_t pending = header.storedNameBytes + kEntryProgressOverheadBytes;
    // Its check record follows directly: a damaged name creates nothing.
    if (isChecked() && !takeEntryCheck(header, CheckRecord::Kind::Directory, nullptr)) {
        return fail(Failure::Damaged);
    }
    if (m_entryAction == EntryAction::VerifyOnly) {
        if (progress != nullptr) progress->onProgress(pending, pending);
        tellObserver(header, nullptr);
        return true;
    }
    // The folders are made and examined by their paths; the first file in
    // the new folder needs no walk of its own (makeParentFolders), and a
    // folder inside the one made last needs only its own.
    const char* name = header.name.getString();
    const bool parentMade = m_hasMadeParent && isParentMade(name);
    m_hasMadeParent = false;
    if (!(parentMade ? makeLastFolderByPathNoLinks(name, nullptr) : makeDirTreeByPathNoLinks(name, nullptr)))
        return fail(Failure::CannotCreate);
    m_madeParent.setString(name);
    m_hasMadeParent = true;

    XString path;
    path.setFromUtf8(header.name.getString());
    HANDLE handle = openForReadWriteBackup(path, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        SetFileTime(handle, &header.time, &header.time, &header.time);
        closeFileHandle(handle);
    }
    m_directoryTimes.remember(header.name.getString(), header.time);
    if (progress != nullptr) progress->onProgress(pending, pending);
    tellObserver(header, nullptr);
    return true;
}

// A file's data read, deciphered and inflated as extractFile does, into
// nowhere; in a checked payload its check record must confirm it.
bool SimpleArchive::verifyFile(const EntryHeader& header, SaProgress* progress) {
    uint32_t pending = header.storedNameBytes + kEntryProgressOverheadBytes;
    DiscardingOutput nowhere;
    ContentSum content(isChecked());
    const ChunkLoopEnd end = copyChunks(nowhere, pending, progress, content);
    if (end != ChunkLoopEnd::Complete) return fail(Failure::Damaged);
    if (isChecked() && !takeEntryCheck(header, CheckRecord::Kind::File, &content))
        return fail(Failure::Damaged);
    tellObserver(header, &content);
    return true;
}

void SimpleArchive::tellObserver(const EntryHeader& header, const ContentSum* content) {
    if (m_observer == nullptr) return;
    EntryFacts facts;
    facts.type = header.type;
    facts.name = header.name.getString();
    facts.fileTime = header.fileTime();
    facts.attributes = header.attributes;
    if (content != nullptr) {
        facts.sizeBytes = content->bytes;
        facts.packedBytes = content->packedBytes;
    }
    m_observer->onEntry(facts);
}

bool SimpleArchive::extractFile(const EntryHeader& header, SaProgress* progress) {
    uint32_t pending = header.storedNameBytes + kEntryProgressOverheadBytes;
    if (!makeParentFolders(header.name.getString())) return cannotCreateFile(header);

    XString path;
    path.setFromUtf8(header.name.getString());
    // The file is written under a new name and then put in the place of
    // whatever stands at its name: a file of an earlier run (read-only ones
    // too), or a link, which is replaced and never written through.
    const bool hidden = (header.attributes & kAttributeHidden) != 0;
    XString temporaryPath;
    HANDLE handle = createReplacementFile(path, hidden, temporaryPath);
    if (handle == INVALID_HANDLE_VALUE) return cannotCreateFile(header);

    ChunkLoopEnd end;
    ContentSum content(isChecked());
    {
        // The file was just created: it is empty and its pointer at 0.
        OutputFile out(handle, OutputFileStart::AtCurrentPointer);
        end = copyChunks(out, pending, progress, content);
    }
    SetFileTime(handle, &header.time, &header.time, &header.time);
    closeFileHandle(handle);
    // A file that fails its check never takes the place of what stands at
    // its name: it is removed, and a file of that name from before stays.
    if (isChecked() && !fileIsSound(header, end, content)) {
        discardReplacementFile(temporaryPath);
        return fail(end == ChunkLoopEnd::WriteFailed ? Failure::WriteFailed : Failure::Damaged);
    }
    if (!commitReplacementFile(temporaryPath, path)) return fail(Failure::CannotCreate);
    // Exactly 0x20 keeps what the system gave the file at creation.
    if (header.attributes != kAttributesArchiveOnly) setAttributes(path, header.attributes);

    if (end == ChunkLoopEnd::Damaged) return fail(Failure::Damaged);
    if (end == ChunkLoopEnd::WriteFailed) return fail(Failure::WriteFailed);
    tellObserver(header, &content);
    return true;
}

// The files of a folder follow one another in a payload, so the folders
// made (and examined for links) for one file are those of the next: they
// are not walked again while the parent stays the same (on a 200 MB tree
// of 10,000 files that walk was a fifth of the system calls). A link that
// stood in the way before the run is still found and replaced at the first
// file of its folder. One put there later, between two files, needs write
// access to a folder of the tree; whoever has it could as well put it there
// between the walk and the creation of a single file, which no walk by
// path prevents.
bool SimpleArchive::makeParentFolders(const char* name) {
    if (m_hasMadeParent && isParentMade(name)) return true;
    m_hasMadeParent = false;
    if (!makeParentDirsNoLinks(name, nullptr)) return false;
    const char* lastSeparator = lastSeparatorOf(name);
    if (lastSeparator == nullptr) return true;
    m_madeParent.clear();
    m_madeParent.appendN(name, static_cast<int32_t>(lastSeparator - name));
    m_hasMadeParent = true;
    return true;
}

// Whether the folder that holds the name is the one made last (m_madeParent)
// and the name short enough for the walk, which refuses longer names
// whatever their folder.
bool SimpleArchive::isParentMade(const char* name) const {
    const char* lastSeparator = lastSeparatorOf(name);
    if (lastSeparator == nullptr || std::strlen(name) >= kDirTreeWorkAreaBytes) return false;
    const size_t parentBytes = static_cast<size_t>(lastSeparator - name);
    return static_cast<size_t>(m_madeParent.getSize()) == parentBytes &&
           std::memcmp(m_madeParent.getString(), name, parentBytes) == 0;
}

// A file that cannot be created ends the extraction. In a checked payload
// its data and check record are read all the same: a damaged name can name
// a place that cannot be created, and that is damage, not a write failure.
bool SimpleArchive::cannotCreateFile(const EntryHeader& header) {
    if (!isChecked()) return fail(Failure::CannotCreate);
    DiscardingOutput nowhere;
    ContentSum content(true);
    uint32_t pending = 0;
    const bool sound = copyChunks(nowhere, pending, nullptr, content) == ChunkLoopEnd::Complete &&
                       takeEntryCheck(header, CheckRecord::Kind::File, &content);
    return fail(sound ? Failure::CannotCreate : Failure::Damaged);
}

// In a checked payload a file stays only when it is exactly what was
// packed: otherwise it is deleted again (before its attributes are applied,
// so that a read-only entry can still be deleted), and the extraction stops.
// A file left half written or with other content would look like a sound
// installation.
bool SimpleArchive::fileIsSound(const EntryHeader& header, ChunkLoopEnd end, const ContentSum& content) {
    return end == ChunkLoopEnd::Complete && takeEntryCheck(header, CheckRecord::Kind::File, &content);
}

SimpleArchive::ChunkLoopEnd SimpleArchive::copyChunks(Output& out, uint32_t& pending, SaProgress* progress,
                                                      ContentSum& content) {
    DataBuffer deciphered;

    for (;;) {
        pending += kChunkLengthFieldBytes;
        uint32_t lengthField = 0;
        if (!m_fields.readU32(lengthField)) return ChunkLoopEnd::Damaged;
        if (lengthField == kChunkEndOfData) return ChunkLoopEnd::Complete;

        // Chunk length field: bit 31 = stored, bits 0-30 = byte count n.
        const bool stored = (lengthField & kChunkStoredFlag) != 0;
        const uint32_t n = lengthField & kChunkLengthMask;
        if (n >= kChunkBufferBytes) return ChunkLoopEnd::Damaged;
        if (n != 0 && !m_fields.readExact(m_workBuffer.getData(), n)) return ChunkLoopEnd::Damaged;
        m_workBuffer.setSize(n);
        content.packedBytes += n;

        const DataBuffer* plain = &m_workBuffer;
        if (m_strong) {
            // The code is checked before a byte of the chunk is written.
            const uint8_t context[StrongFormat::kChunkContextBytes] = {static_cast<uint8_t>(stored ? 1 : 0)};
            if (!openSealed(StrongFormat::kFieldChunk, context, sizeof context, m_workBuffer, deciphered)) {
                return ChunkLoopEnd::Damaged;
            }
            plain = &deciphered;
        } else if (m_encrypted) {
            if (!decipherField(m_workBuffer, deciphered)) return ChunkLoopEnd::Damaged;
            plain = &deciphered;
        }

        uint32_t produced = 0;
        if (stored) {
            produced = plain->getSize();
            if (out.writeBytes(plain->getData(), produced, 1) != produced) {
                return ChunkLoopEnd::WriteFailed;
            }
            content.add(plain->getData(), produced);
            if (progress != nullptr) progress->onProgress(n + pending, n + pending);
        } else {
            // What the inflater produced before a fault is kept.
            InflatedPieceWriter<ContentSum> pieces(out, content);
            const bool whole = m_gzip.inflateBufferTo(*plain, pieces);
            if (pieces.failed()) return ChunkLoopEnd::WriteFailed;
            produced = pieces.written();
            if (!whole) return ChunkLoopEnd::Damaged;
            if (progress != nullptr) progress->onProgress(n + pending, produced + pending);
        }
        pending = 0;
    }
}
