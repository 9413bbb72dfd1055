#include "payload/SimpleArchive.h"

#include <cstring>

#include "compress/Gzip.h"
#include "core/XString.h"
#include "crypto/SecretWipe.h"
#include "io/DataSource.h"
#include "io/FileSystem.h"
#include "io/OutputFile.h"
#include "payload/EntryPath.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadMarker.h"
#include "platform/win32.h"

using namespace PayloadFormat;

// The fixed part of an entry record, as read by readEntryHeader.
struct SimpleArchive::EntryHeader {
    uint8_t type = kEntryEnd;
    uint16_t storedNameBytes = 0;  // the count the progress reports use
    StringBuffer name;             // UTF-8, deciphered
    FILETIME time = {0, 0};
    uint32_t attributes = 0;
};

namespace {

void storeU32(uint8_t* bytes, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Drops bytes from the front of a full 8-byte window until what remains is
// the beginning of the marker; returns how many bytes remain (0 to 7).
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
    : m_settings(kSettingsBuckets), m_source(nullptr), m_encrypted(false),
      m_keyLength(kKeyBits128), m_workBuffer(kChunkBufferBytes), m_failure(Failure::None) {}

SimpleArchive::~SimpleArchive() { m_password.shorten(m_password.getSize()); }

void SimpleArchive::setSource(DataSource* source) { m_source = source; }

// --- Reading primitives -------------------------------------------------------

bool SimpleArchive::readExact(void* buffer, uint32_t bytes) {
    if (m_source == nullptr) return false;
    uint32_t got = 0;
    if (!m_source->readBytes(buffer, bytes, &got)) return false;
    return got == bytes;
}

bool SimpleArchive::readU8(uint8_t& value) { return readExact(&value, 1); }

bool SimpleArchive::readU16(uint16_t& value) {
    uint8_t bytes[2];
    if (!readExact(bytes, 2)) return false;
    value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

bool SimpleArchive::readU32(uint32_t& value) {
    uint8_t bytes[4];
    if (!readExact(bytes, 4)) return false;
    value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
            (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

// --- Marker, header, settings -------------------------------------------------

// The source can only move forward, so after each hit of the first word the
// marker is checked in an 8-byte window that slides byte by byte while its
// tail could still begin a marker: a first word directly behind a false one
// (or a marker starting inside the 4 bytes read after it) is not missed.
bool SimpleArchive::findMarker() {
    if (m_source == nullptr) return false;
    uint8_t marker[kMarkerBytes];
    storeU32(marker, payloadMarkerWord1());
    storeU32(marker + kMarkerWordBytes, payloadMarkerWord2());

    for (;;) {
        uint32_t skipped = 0;
        if (!m_source->findUint32(payloadMarkerWord1(), &skipped)) return false;
        uint8_t window[kMarkerBytes];
        std::memcpy(window, marker, kMarkerWordBytes);
        uint32_t filled = kMarkerWordBytes;
        while (filled != 0) {
            if (!readExact(window + filled, kMarkerBytes - filled)) return false;
            if (std::memcmp(window, marker, kMarkerBytes) == 0) return true;
            filled = keepMarkerPrefix(window, marker);
        }
        // Nothing read so far can begin the marker: search on from here.
    }
}

bool SimpleArchive::readHeader() {
    uint8_t header[kArchiveHeaderBytes];
    if (!readExact(header, kArchiveHeaderBytes)) return false;
    m_encrypted = header[kHeaderEncryptionFlagOffset] != 0;
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
    if (m_source == nullptr) return false;
    for (uint32_t pair = 0; pair < kMaxSettingsPairs; ++pair) {
        uint16_t nameBytes = 0;
        if (!readU16(nameBytes)) return false;
        if (nameBytes == 0) return true;  // terminator of a table under 200 pairs

        DataBuffer nameData(nameBytes);
        if (!readExact(nameData.getData(), nameBytes)) return false;
        nameData.setSize(nameBytes);
        uint16_t valueBytes = 0;
        if (!readU16(valueBytes)) return false;

        StringBuffer* value = new StringBuffer();
        if (valueBytes != 0) {
            DataBuffer valueData(valueBytes);
            if (!readExact(valueData.getData(), valueBytes)) {
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
    if (!m_encrypted) return false;
    m_cipher.setKeyLength(m_keyLength);
    m_cipher.setCbcMode();
    DataBuffer key;
    deriveKey(m_password, key);
    m_cipher.setKey(key);
    wipeSecretBytes(key.getData(), key.getSize());

    uint8_t storedBytes = 0;
    if (!readU8(storedBytes) || storedBytes == 0) return false;
    DataBuffer stored(storedBytes);
    if (!readExact(stored.getData(), storedBytes)) return false;
    stored.setSize(storedBytes);

    DataBuffer plain;
    if (!decipherField(stored, plain)) return false;
    return plain.getSize() == kVerifierPlaintextBytes &&
           std::memcmp(plain.getData(), kVerifierPlaintext, kVerifierPlaintextBytes) == 0;
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
    if (!readU32(magic) || magic != kEntryRecordMagic) return false;
    if (!readU8(header.type)) return false;
    if (header.type == kEntryEnd) return true;

    if (!readU16(header.storedNameBytes) || header.storedNameBytes == 0) return false;
    DataBuffer stored(header.storedNameBytes);
    if (!readExact(stored.getData(), header.storedNameBytes)) return false;
    stored.setSize(header.storedNameBytes);
    if (m_encrypted) {
        DataBuffer plain;
        if (!decipherField(stored, plain)) return false;
        header.name.appendDb(plain);
    } else {
        header.name.appendDb(stored);
    }

    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    if (!readU32(timeLow) || !readU32(timeHigh)) return false;
    header.time.dwLowDateTime = timeLow;
    header.time.dwHighDateTime = timeHigh;
    return readU32(header.attributes);
}

bool SimpleArchive::extractNext(bool& finished, SaProgress* progress) {
    finished = true;
    m_failure = Failure::None;
    if (m_source == nullptr) return fail(Failure::Damaged);

    EntryHeader header;
    if (!readEntryHeader(header)) return fail(Failure::Damaged);
    if (header.type == kEntryEnd) return true;
    const bool createsSomething = header.type == kEntryDirectory || header.type == kEntryFile;
    if (createsSomething && EntryPath::climbsOut(header.name.getString())) return fail(Failure::Damaged);

    if (header.type == kEntryDirectory) {
        if (!extractDirectory(header, progress)) return false;
    } else if (header.type == kEntryFile) {
        if (!extractFile(header, progress)) return false;
    }
    // Other types carry nothing more; the next record follows directly.
    finished = false;
    return true;
}

bool SimpleArchive::extractDirectory(const EntryHeader& header, SaProgress* progress) {
    const uint32_t pending = header.storedNameBytes + kEntryProgressOverheadBytes;
    XString savedDir;
    getCurrentDir(savedDir);
    if (!makeDirTreeNoLinks(header.name.getString(), nullptr)) return fail(Failure::CannotCreate);
    setCurrentDir(savedDir);

    XString path;
    path.setFromUtf8(header.name.getString());
    HANDLE handle = openForReadWriteBackup(path, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        SetFileTime(handle, &header.time, &header.time, &header.time);
        closeFileHandle(handle);
    }
    if (progress != nullptr) progress->onProgress(pending, pending);
    return true;
}

bool SimpleArchive::extractFile(const EntryHeader& header, SaProgress* progress) {
    uint32_t pending = header.storedNameBytes + kEntryProgressOverheadBytes;
    if (!makeParentDirsNoLinks(header.name.getString(), nullptr)) return fail(Failure::CannotCreate);

    XString path;
    path.setFromUtf8(header.name.getString());
    // The file is written under a new name and then put in the place of
    // whatever stands at its name: a file of an earlier run (read-only ones
    // too), or a link, which is replaced and never written through.
    const bool hidden = (header.attributes & kAttributeHidden) != 0;
    XString temporaryPath;
    HANDLE handle = createReplacementFile(path, hidden, temporaryPath);
    if (handle == INVALID_HANDLE_VALUE) return fail(Failure::CannotCreate);

    ChunkLoopEnd end;
    {
        OutputFile out(handle, OutputFileStart::AppendAtEnd);
        end = copyChunks(out, pending, progress);
    }
    SetFileTime(handle, &header.time, &header.time, &header.time);
    closeFileHandle(handle);
    if (!commitReplacementFile(temporaryPath, path)) return fail(Failure::CannotCreate);
    // Exactly 0x20 keeps what the system gave the file at creation.
    if (header.attributes != kAttributesArchiveOnly) setAttributes(path, header.attributes);

    if (end == ChunkLoopEnd::Damaged) return fail(Failure::Damaged);
    if (end == ChunkLoopEnd::WriteFailed) return fail(Failure::WriteFailed);
    return true;
}

SimpleArchive::ChunkLoopEnd SimpleArchive::copyChunks(Output& out, uint32_t& pending,
                                                     SaProgress* progress) {
    Gzip gzip;
    DataBuffer inflated;
    inflated.ensureCapacity(kChunkBufferBytes);
    DataBuffer deciphered;

    for (;;) {
        pending += kChunkLengthFieldBytes;
        uint32_t lengthField = 0;
        if (!readU32(lengthField)) return ChunkLoopEnd::Damaged;
        if (lengthField == kChunkEndOfData) return ChunkLoopEnd::Complete;

        // Chunk length field: bit 31 = stored, bits 0-30 = byte count n.
        const bool stored = (lengthField & kChunkStoredFlag) != 0;
        const uint32_t n = lengthField & kChunkLengthMask;
        if (n >= kChunkBufferBytes) return ChunkLoopEnd::Damaged;
        if (n != 0 && !readExact(m_workBuffer.getData(), n)) return ChunkLoopEnd::Damaged;
        m_workBuffer.setSize(n);

        const DataBuffer* plain = &m_workBuffer;
        if (m_encrypted) {
            if (!decipherField(m_workBuffer, deciphered)) return ChunkLoopEnd::Damaged;
            plain = &deciphered;
        }

        uint32_t produced = 0;
        if (stored) {
            produced = plain->getSize();
            if (out.writeBytes(plain->getData(), produced, 1) != produced) {
                return ChunkLoopEnd::WriteFailed;
            }
            if (progress != nullptr) progress->onProgress(n + pending, n + pending);
        } else {
            inflated.clear();
            const bool whole = gzip.inflateBuffer(*plain, inflated);
            produced = inflated.getSize();
            // What the inflater produced before a fault is kept.
            if (out.writeBytes(inflated.getData(), 1, produced) != produced) {
                return ChunkLoopEnd::WriteFailed;
            }
            if (!whole) return ChunkLoopEnd::Damaged;
            if (progress != nullptr) progress->onProgress(n + pending, produced + pending);
        }
        pending = 0;
    }
}
