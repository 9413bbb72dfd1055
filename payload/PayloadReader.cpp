#include "payload/PayloadReader.h"

#include <cstring>

#include "core/ByteOrder.h"
#include "core/StringBuffer.h"
#include "crypto/Rijndael2.h"
#include "core/SecretWipe.h"
#include "io/DataSource.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/SimpleArchive.h"
#include "payload/StrongCipher.h"

using namespace PayloadFormat;

// Passes every read and search on to the real source, counting the bytes it
// moves over (the offsets of records in reports) and, while asked to,
// keeping a copy of what was read (the settings table, which the archive
// consumes into a map that cannot tell their order).
class PayloadReader::CountingSource : public DataSource {
public:
    explicit CountingSource(DataSource& inner) : m_inner(inner) {}

    bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) override {
        uint32_t got = 0;
        const bool ok = m_inner.readBytes(buffer, maxBytes, &got);
        if (bytesRead != nullptr) *bytesRead = got;
        m_position += got;
        if (m_recording && got != 0) {
            const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
            m_recorded.insert(m_recorded.end(), bytes, bytes + got);
        }
        if (got != 0) noteDelivered(got);
        return ok;
    }

    bool endOfData() override { return m_inner.endOfData(); }

    bool findUint32(uint32_t key, uint32_t* bytesSkipped) override {
        uint32_t skipped = 0;
        const bool found = m_inner.findUint32(key, &skipped);
        if (bytesSkipped != nullptr) *bytesSkipped = skipped;
        if (found) m_position += uint64_t(skipped) + kMarkerWordBytes;
        return found;
    }

    uint64_t position() const { return m_position; }
    void startRecording() {
        m_recorded.clear();
        m_recording = true;
    }
    std::vector<uint8_t> stopRecording() {
        m_recording = false;
        return std::move(m_recorded);
    }

private:
    DataSource& m_inner;
    uint64_t m_position = 0;
    bool m_recording = false;
    std::vector<uint8_t> m_recorded;
};

PayloadReader::PayloadReader(DataSource& source)
    : m_source(std::make_unique<CountingSource>(source)), m_archive(std::make_unique<SimpleArchive>()) {
    m_archive->setSource(m_source.get());
    m_fields.setSource(m_source.get());
}

PayloadReader::~PayloadReader() = default;

uint64_t PayloadReader::position() const { return m_source->position(); }

bool PayloadReader::isEncrypted() const { return m_archive->isEncrypted(); }

int32_t PayloadReader::keyBits() const { return m_archive->getKeyLength(); }

PayloadReader::OpenResult PayloadReader::open() {
    if (!m_archive->findMarker()) return OpenResult::NoMarker;
    m_markerOffset = position() - kMarkerBytes;
    m_source->startRecording();
    if (!m_archive->readHeader()) {
        m_source->stopRecording();
        return OpenResult::BadHeader;
    }
    const bool settingsRead = m_archive->readArgs();
    m_headerAndSettings = m_source->stopRecording();
    collectSettings(m_headerAndSettings);
    return settingsRead ? OpenResult::Ok : OpenResult::BadSettings;
}

// The archive has read the table with the installer's rules; this walks the
// same bytes again only to keep the pairs in order.
void PayloadReader::collectSettings(const std::vector<uint8_t>& table) {
    m_settings.clear();
    m_settingsTerminated = false;
    size_t at = kArchiveHeaderBytes;
    while (m_settings.size() < kMaxSettingsPairs && at + kSettingsLengthFieldBytes <= table.size()) {
        const uint16_t nameBytes = loadLittleEndian16(&table[at]);
        at += kSettingsLengthFieldBytes;
        if (nameBytes == 0) {
            m_settingsTerminated = true;
            return;
        }
        if (at + nameBytes + kSettingsLengthFieldBytes > table.size()) return;
        Setting setting;
        setting.name.assign(reinterpret_cast<const char*>(&table[at]), nameBytes);
        at += nameBytes;
        const uint16_t valueBytes = loadLittleEndian16(&table[at]);
        at += kSettingsLengthFieldBytes;
        if (at + valueBytes > table.size()) return;
        setting.value.assign(reinterpret_cast<const char*>(&table[at]), valueBytes);
        at += valueBytes;
        m_settings.push_back(std::move(setting));
    }
}

bool PayloadReader::getSetting(const char* name, std::string& value) {
    StringBuffer found;
    const bool present = m_archive->getArg(name, found);
    value.assign(found.getString(), static_cast<size_t>(found.getSize()));
    return present;
}

PayloadReader::PasswordResult PayloadReader::checkPassword(const char* password) {
    if (!m_archive->isEncrypted()) return PasswordResult::NotEncrypted;
    m_archive->usePassword(password);
    const bool right = m_archive->verifyPassword();
    m_strongMode = m_archive->isStrong();
    if (m_strongMode) m_strongRecord = m_archive->strongKeyRecord();
    if (!right) return PasswordResult::Wrong;
    if (m_strongMode) {
        m_strong = std::make_unique<StrongCipher>();
        m_strong->copyKeysFrom(m_archive->strongCipher());
        m_settingsAuthentic = m_archive->strongSettingsAuthentic();
        return PasswordResult::Ok;
    }
    StringBuffer text(password);
    DataBuffer key;
    derivePayloadKey(text, m_archive->getKeyLength(), key);
    m_cipher = std::make_unique<Rijndael2>();
    m_cipher->setKeyLength(m_archive->getKeyLength());
    m_cipher->setCbcMode();
    m_cipher->setKey(key);
    wipeSecretBytes(key.getData(), key.getSize());
    return PasswordResult::Ok;
}

bool PayloadReader::skipPasswordCheck() {
    if (!isEncrypted()) return true;
    uint8_t storedBytes = 0;
    uint8_t stored[kMaxVerifierBytes];
    if (!m_fields.readU8(storedBytes)) return false;
    if (storedBytes == StrongFormat::kClassicVerifierLength) {
        // The strong key record; it says the mode and the derivation even
        // without the password.
        uint8_t record[StrongFormat::kRecordBytes];
        if (!m_fields.readExact(record, StrongFormat::kRecordBytes) || !m_strongRecord.load(record))
            return false;
        m_strongMode = true;
        return true;
    }
    return m_fields.readExact(stored, storedBytes);
}

PayloadReader::RecordResult PayloadReader::nextRecord(EntryRecord& record) {
    record = EntryRecord();
    record.offset = position();
    uint32_t magic = 0;
    if (!m_fields.readU32(magic)) return RecordResult::Truncated;
    if (magic != kEntryRecordMagic) return RecordResult::BadMagic;
    if (!m_fields.readU8(record.type)) return RecordResult::Truncated;
    if (record.type == kEntryEnd) return RecordResult::End;

    uint16_t nameBytes = 0;
    if (!m_fields.readU16(nameBytes)) return RecordResult::Truncated;
    if (nameBytes == 0) return RecordResult::BadName;
    DataBuffer stored(nameBytes);
    if (!m_fields.readExact(stored.getData(), nameBytes)) return RecordResult::Truncated;
    stored.setSize(nameBytes);
    record.storedNameBytes = nameBytes;
    if (m_strongMode) return readStrongRecordTail(stored, record);
    if (isEncrypted()) {
        DataBuffer plain;
        if (m_cipher && !decipher(stored, plain, record.namePaddingValid)) return RecordResult::BadName;
        if (!m_cipher && stored.getSize() % kCipherBlockBytes != 0) return RecordResult::BadName;
        record.name.assign(reinterpret_cast<const char*>(plain.getData()), plain.getSize());
    } else {
        record.name.assign(reinterpret_cast<const char*>(stored.getData()), stored.getSize());
    }

    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    if (!m_fields.readU32(timeLow) || !m_fields.readU32(timeHigh) || !m_fields.readU32(record.attributes))
        return RecordResult::Truncated;
    record.fileTime = (uint64_t(timeHigh) << 32) | timeLow;
    return RecordResult::Entry;
}

// The time and attributes of a strong record, then its name, whose code
// covers them.
PayloadReader::RecordResult PayloadReader::readStrongRecordTail(const DataBuffer& stored,
                                                                EntryRecord& record) {
    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    if (!m_fields.readU32(timeLow) || !m_fields.readU32(timeHigh) || !m_fields.readU32(record.attributes))
        return RecordResult::Truncated;
    record.fileTime = (uint64_t(timeHigh) << 32) | timeLow;
    const uint64_t sequence = m_fieldSequence++;
    const uint32_t size = stored.getSize();
    if (size < StrongFormat::kMinSealedBytes ||
        (size - StrongFormat::kSealOverheadBytes) % kCipherBlockBytes != 0) {
        return RecordResult::BadName;
    }
    if (!m_strong) return RecordResult::Entry;  // no password: the name stays unknown
    uint8_t context[StrongFormat::kNameContextBytes];
    context[0] = record.type;
    for (uint32_t i = 0; i < 8; ++i) context[1 + i] = static_cast<uint8_t>(record.fileTime >> (8 * i));
    for (uint32_t i = 0; i < 4; ++i) context[9 + i] = static_cast<uint8_t>(record.attributes >> (8 * i));
    DataBuffer plain;
    record.namePaddingValid = m_strong->open(StrongFormat::kFieldName, sequence, context, sizeof context,
                                             stored.getData(), size, plain);
    record.name.assign(reinterpret_cast<const char*>(plain.getData()), plain.getSize());
    return RecordResult::Entry;
}

bool PayloadReader::decipherChunk(const ChunkRecord& chunk, const DataBuffer& stored, DataBuffer& plain,
                                  bool& paddingValid) {
    if (!m_strongMode) return decipher(stored, plain, paddingValid);
    plain.clear();
    paddingValid = false;
    if (!m_strong) return false;
    const uint8_t context[StrongFormat::kChunkContextBytes] = {static_cast<uint8_t>(chunk.stored ? 1 : 0)};
    paddingValid = m_strong->open(StrongFormat::kFieldChunk, chunk.sequence, context, sizeof context,
                                  stored.getData(), stored.getSize(), plain);
    return true;
}

PayloadReader::ChunkResult PayloadReader::nextChunk(ChunkRecord& chunk, DataBuffer& data) {
    chunk = ChunkRecord();
    chunk.offset = position();
    data.clear();
    uint32_t field = 0;
    // The installer takes a missing length field for the end of the data; a
    // tool reports it, since the writer always ends a file with a zero field.
    if (!m_fields.readU32(field)) return ChunkResult::Truncated;
    if (field == kChunkEndOfData) return ChunkResult::EndOfData;
    chunk.stored = (field & kChunkStoredFlag) != 0;
    chunk.dataBytes = field & kChunkLengthMask;
    if (m_strongMode) chunk.sequence = m_fieldSequence++;
    if (chunk.dataBytes >= kChunkBufferBytes) return ChunkResult::Oversized;
    data.ensureCapacity(chunk.dataBytes);
    if (!m_fields.readExact(data.getData(), chunk.dataBytes)) return ChunkResult::Truncated;
    data.setSize(chunk.dataBytes);
    return ChunkResult::Data;
}

bool PayloadReader::decipher(const DataBuffer& stored, DataBuffer& plain, bool& paddingValid) {
    plain.clear();
    paddingValid = false;
    if (!m_cipher || stored.getSize() % kCipherBlockBytes != 0) return false;
    if (stored.getSize() == 0) return true;
    uint8_t chain[kCipherBlockBytes] = {};
    std::unique_ptr<DataBuffer> raw = m_cipher->decryptFirst(stored, chain);
    if (!raw || raw->getSize() != stored.getSize()) return false;
    const uint32_t size = raw->getSize();
    const uint8_t padding = raw->getData()[size - 1];
    paddingValid = padding >= 1 && padding <= kCipherBlockBytes;
    for (uint32_t i = 1; paddingValid && i <= padding; ++i) {
        paddingValid = raw->getData()[size - i] == padding;
    }
    // The installer's lenient removal: a last byte of 1..16 drops that many.
    raw->unpadBlock(DataBuffer::PadPkcs7);
    plain.moveFrom(*raw);
    return true;
}
