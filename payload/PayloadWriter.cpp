#include "payload/PayloadWriter.h"

#include <cstring>
#include <memory>

#include "crypto/Rijndael2.h"
#include "io/Output.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadMarker.h"
#include "payload/StrongCipher.h"
#include "payload/StrongKeyRecord.h"
#include "platform/SystemRandom.h"

using namespace PayloadFormat;

namespace {

// Largest plaintext whose PKCS#7-padded ciphertext still fits a chunk: the
// padding adds 1 to 16 bytes up to the next multiple of 16.
constexpr uint32_t kMaxEncryptedChunkInputBytes =
    (kMaxChunkBytes / kCipherBlockBytes) * kCipherBlockBytes - 1;

constexpr uint32_t kMaxU16 = 0xFFFF;

uint8_t keyLengthCode(int32_t keyBits) {
    if (keyBits == kKeyBits192) return kKeyLengthCode192;
    if (keyBits == kKeyBits256) return kKeyLengthCode256;
    return kKeyLengthCode128;
}

}  // namespace

PayloadWriter::PayloadWriter(Output& target)
    : m_output(&target), m_stream(nullptr), m_cipher(nullptr), m_encrypted(false), m_keyBits(kKeyBits128),
      m_extensionFlags(0), m_settingsCount(0), m_stage(Stage::Start), m_failed(false), m_bytesWritten(0),
      m_strong(nullptr), m_salt{}, m_iterations(0), m_hashingEmits(false), m_fieldSequence(0) {}

PayloadWriter::PayloadWriter(FILE* target)
    : m_output(nullptr), m_stream(target), m_cipher(nullptr), m_encrypted(false), m_keyBits(kKeyBits128),
      m_extensionFlags(0), m_settingsCount(0), m_stage(Stage::Start), m_failed(false), m_bytesWritten(0),
      m_strong(nullptr), m_salt{}, m_iterations(0), m_hashingEmits(false), m_fieldSequence(0) {}

PayloadWriter::~PayloadWriter() {
    delete m_cipher;
    delete m_strong;
}

bool PayloadWriter::setEncryption(const char* password, int32_t keyBits) {
    if (m_stage != Stage::Start || m_failed) return false;
    if (password == nullptr || password[0] == 0) return false;
    if (keyBits != kKeyBits128 && keyBits != kKeyBits192 && keyBits != kKeyBits256) return false;

    StringBuffer passwordText(password);
    DataBuffer key;
    derivePayloadKey(passwordText, keyBits, key);

    delete m_cipher;
    m_cipher = new Rijndael2();
    m_cipher->setKeyLength(keyBits);
    m_cipher->setCbcMode();
    m_cipher->setKey(key);
    m_encrypted = true;
    m_keyBits = keyBits;
    return true;
}

bool PayloadWriter::setExtensionFlags(uint8_t flags) {
    if (m_stage != Stage::Start || m_failed) return false;
    m_extensionFlags |= flags;
    return true;
}

bool PayloadWriter::setStrongEncryption(const char* password, int32_t keyBits, uint32_t iterations) {
    if (m_stage != Stage::Start || m_failed) return false;
    if (password == nullptr || password[0] == 0) return false;
    if (keyBits != kKeyBits128 && keyBits != kKeyBits192 && keyBits != kKeyBits256) return false;
    if (iterations < StrongFormat::kMinIterations || iterations > StrongFormat::kMaxIterations) return false;
    if (!systemRandomBytes(m_salt, StrongFormat::kSaltBytes)) return false;
    StrongCipher* strong = new StrongCipher();
    if (!strong->derive(reinterpret_cast<const uint8_t*>(password),
                        static_cast<uint32_t>(std::strlen(password)), m_salt, iterations, keyBits)) {
        delete strong;
        return false;
    }
    delete m_cipher;
    m_cipher = nullptr;
    delete m_strong;
    m_strong = strong;
    m_iterations = iterations;
    m_encrypted = true;
    m_keyBits = keyBits;
    return true;
}

bool PayloadWriter::writeHeader() {
    if (!enter(Stage::Start)) return false;
    uint8_t header[kArchiveHeaderBytes] = {0, 0, 0, 0, 0, 0};
    header[kHeaderExtensionFlagsOffset] = m_extensionFlags;
    header[kHeaderEncryptionFlagOffset] = m_encrypted ? 1 : 0;
    header[kHeaderKeyLengthCodeOffset] = m_encrypted ? keyLengthCode(m_keyBits) : 0;
    if (!emitU32(payloadMarkerWord1()) || !emitU32(payloadMarkerWord2())) return false;
    // From the header to the end of the settings table: what the strong
    // mode's settings code covers.
    m_settingsSha.reset();
    m_hashingEmits = true;
    if (!emit(header, kArchiveHeaderBytes)) return false;
    m_stage = Stage::Settings;
    return true;
}

bool PayloadWriter::addSetting(const char* name, const char* value) {
    if (!enter(Stage::Settings)) return false;
    if (m_settingsCount >= kMaxSettingsPairs) return false;
    if (name == nullptr || name[0] == 0) return false;
    size_t nameBytes = std::strlen(name);
    size_t valueBytes = value == nullptr ? 0 : std::strlen(value);
    if (nameBytes > kMaxU16 || valueBytes > kMaxU16) return false;
    if (!emitU16(static_cast<uint16_t>(nameBytes)) || !emit(name, static_cast<uint32_t>(nameBytes)) ||
        !emitU16(static_cast<uint16_t>(valueBytes)) || !emit(value, static_cast<uint32_t>(valueBytes))) {
        return false;
    }
    ++m_settingsCount;
    return true;
}

bool PayloadWriter::endSettings() {
    if (!enter(Stage::Settings)) return false;
    // After the 200th pair the reader goes straight on to the next structure.
    if (m_settingsCount < kMaxSettingsPairs && !emitU16(0)) return false;
    m_hashingEmits = false;
    if (m_strong != nullptr) {
        if (!writeStrongKeyRecord()) return false;
    } else if (m_encrypted && !writeVerifier()) {
        return false;
    }
    m_stage = Stage::Entries;
    return true;
}

bool PayloadWriter::writeVerifier() {
    DataBuffer stored;
    if (!storedForm(kVerifierPlaintext, kVerifierPlaintextBytes, stored)) return false;
    if (stored.getSize() == 0 || stored.getSize() > kMaxVerifierBytes) return fail();
    return emitU8(static_cast<uint8_t>(stored.getSize())) && emit(stored.getData(), stored.getSize());
}

bool PayloadWriter::writeStrongKeyRecord() {
    StrongKeyRecord record;
    record.iterations = m_iterations;
    std::memcpy(record.salt, m_salt, StrongFormat::kSaltBytes);
    std::memcpy(record.verifier, m_strong->verifier(), StrongFormat::kVerifierBytes);
    uint8_t bytes[StrongFormat::kRecordBytes];
    record.store(bytes);
    uint8_t digest[kSha256DigestBytes];
    m_settingsSha.final(digest);
    m_strong->settingsCode(digest, bytes, StrongFormat::kSettingsMacOffset,
                           bytes + StrongFormat::kSettingsMacOffset);
    return emitU8(StrongFormat::kClassicVerifierLength) && emit(bytes, StrongFormat::kRecordBytes);
}

bool PayloadWriter::writeDirectory(const char* name, uint64_t fileTime, uint32_t attributes) {
    if (!enter(Stage::Entries)) return false;
    return writeEntryHeader(kEntryDirectory, name, fileTime, attributes);
}

bool PayloadWriter::beginFile(const char* name, uint64_t fileTime, uint32_t attributes) {
    if (!enter(Stage::Entries)) return false;
    if (!writeEntryHeader(kEntryFile, name, fileTime, attributes)) return false;
    m_stage = Stage::InFile;
    return true;
}

bool PayloadWriter::writeOtherEntry(uint8_t type, const char* name, uint64_t fileTime, uint32_t attributes) {
    if (!enter(Stage::Entries)) return false;
    if (type == kEntryEnd || type == kEntryDirectory || type == kEntryFile) return false;
    return writeEntryHeader(type, name, fileTime, attributes);
}

bool PayloadWriter::writeEntryHeader(uint8_t type, const char* name, uint64_t fileTime, uint32_t attributes) {
    if (name == nullptr || name[0] == 0) return false;
    size_t nameBytes = std::strlen(name);
    if (nameBytes > kMaxU16) return false;
    return writeRecordHeader(type, name, static_cast<uint32_t>(nameBytes), fileTime, attributes);
}

bool PayloadWriter::writeRecordHeader(uint8_t type, const void* name, uint32_t nameBytes, uint64_t fileTime,
                                      uint32_t attributes) {
    if (name == nullptr || nameBytes == 0 || nameBytes > kMaxU16) return false;
    DataBuffer storedName;
    if (m_strong != nullptr) {
        uint8_t context[StrongFormat::kNameContextBytes];
        context[0] = type;
        for (uint32_t i = 0; i < 8; ++i) context[1 + i] = static_cast<uint8_t>(fileTime >> (8 * i));
        for (uint32_t i = 0; i < 4; ++i) context[9 + i] = static_cast<uint8_t>(attributes >> (8 * i));
        if (!sealedForm(StrongFormat::kFieldName, context, sizeof context, name,
                        static_cast<uint32_t>(nameBytes), storedName)) {
            return false;
        }
    } else if (!storedForm(name, static_cast<uint32_t>(nameBytes), storedName)) {
        return false;
    }
    // The reader takes a zero name length for a damaged record.
    if (storedName.getSize() == 0 || storedName.getSize() > kMaxEntryNameBytes) return false;
    return emitU32(kEntryRecordMagic) && emitU8(type) &&
           emitU16(static_cast<uint16_t>(storedName.getSize())) &&
           emit(storedName.getData(), storedName.getSize()) && emitU64(fileTime) && emitU32(attributes);
}

bool PayloadWriter::writeStoredChunk(const void* data, uint32_t size) {
    if (!enter(Stage::InFile)) return false;
    return writeChunk(data, size, kChunkStoredFlag);
}

bool PayloadWriter::writeCompressedChunk(const void* deflateStream, uint32_t size) {
    if (!enter(Stage::InFile)) return false;
    // A compressed chunk's length field would be 0, which ends the file.
    if (size == 0) return false;
    return writeChunk(deflateStream, size, 0);
}

bool PayloadWriter::writeChunk(const void* data, uint32_t size, uint32_t storedFlag) {
    if (size > maxChunkInputBytes()) return false;
    if (data == nullptr && size != 0) return false;
    DataBuffer stored;
    if (m_strong != nullptr) {
        const uint8_t context[StrongFormat::kChunkContextBytes] = {
            static_cast<uint8_t>(storedFlag != 0 ? 1 : 0)};
        if (!sealedForm(StrongFormat::kFieldChunk, context, sizeof context, data, size, stored)) return false;
    } else if (!storedForm(data, size, stored)) {
        return false;
    }
    if (stored.getSize() > kMaxChunkBytes) return false;
    return emitU32(storedFlag | stored.getSize()) && emit(stored.getData(), stored.getSize());
}

bool PayloadWriter::writeSealedChunk(bool storedChunk, const uint8_t* ivAndCiphertext, uint32_t size) {
    if (!enter(Stage::InFile) || m_strong == nullptr || ivAndCiphertext == nullptr) return false;
    if (size < StrongFormat::kIvBytes + StrongFormat::kCipherBlockBytes ||
        size + StrongFormat::kMacBytes > kMaxChunkBytes) {
        return false;
    }
    const uint8_t context[StrongFormat::kChunkContextBytes] = {static_cast<uint8_t>(storedChunk ? 1 : 0)};
    uint8_t code[StrongFormat::kMacBytes];
    m_strong->code(StrongFormat::kFieldChunk, m_fieldSequence++, context, sizeof context, ivAndCiphertext,
                   size, code);
    return emitU32((storedChunk ? kChunkStoredFlag : 0) | (size + StrongFormat::kMacBytes)) &&
           emit(ivAndCiphertext, size) && emit(code, StrongFormat::kMacBytes);
}

bool PayloadWriter::endFile() {
    if (!enter(Stage::InFile)) return false;
    if (!emitU32(kChunkEndOfData)) return false;
    m_stage = Stage::Entries;
    return true;
}

bool PayloadWriter::writeEnd() {
    if (!enter(Stage::Entries)) return false;
    if (!emitU32(kEntryRecordMagic) || !emitU8(kEntryEnd)) return false;
    m_stage = Stage::Ended;
    return true;
}

bool PayloadWriter::writeTrailerRecord(uint8_t type, const void* text, uint32_t size) {
    if (!enter(Stage::Ended)) return false;
    if (type == kEntryEnd) return false;
    return writeRecordHeader(type, text, size, 0, 0);
}

bool PayloadWriter::writeTrailerEnd() {
    if (!enter(Stage::Ended)) return false;
    if (!emitU32(kEntryRecordMagic) || !emitU8(kEntryEnd)) return false;
    m_stage = Stage::TrailerEnded;
    return true;
}

bool PayloadWriter::writeRaw(const void* data, uint32_t size) {
    if (m_failed) return false;
    return emit(data, size);
}

uint32_t PayloadWriter::maxChunkInputBytes() const {
    if (m_strong != nullptr) return StrongFormat::maxPlainBytesFor(kMaxChunkBytes);
    return m_encrypted ? kMaxEncryptedChunkInputBytes : kMaxChunkBytes;
}

bool PayloadWriter::sealedForm(uint8_t kind, const uint8_t* context, uint32_t contextBytes, const void* data,
                               uint32_t size, DataBuffer& stored) {
    if (!m_strong->encipher(static_cast<const uint8_t*>(data), size, stored)) return fail();
    m_strong->appendCode(kind, m_fieldSequence++, context, contextBytes, stored);
    return true;
}

bool PayloadWriter::storedForm(const void* data, uint32_t size, DataBuffer& stored) {
    stored.clear();
    if (size == 0) return true;
    if (!m_encrypted) {
        stored.append(data, size);
        return true;
    }
    DataBuffer plain;
    plain.append(data, size);
    std::unique_ptr<DataBuffer> cipherText = m_cipher->encryptData(plain);
    if (!cipherText) return fail();
    stored.moveFrom(*cipherText);
    // A non-empty input always gains at least one padded block.
    if (stored.getSize() == 0) return fail();
    return true;
}

bool PayloadWriter::enter(Stage expected) { return !m_failed && m_stage == expected; }

bool PayloadWriter::fail() {
    m_failed = true;
    return false;
}

bool PayloadWriter::emit(const void* data, uint32_t size) {
    if (m_failed) return false;
    if (size == 0) return true;
    uint32_t written = 0;
    if (m_stream != nullptr) {
        written = static_cast<uint32_t>(std::fwrite(data, 1, size, m_stream));
    } else if (m_output != nullptr) {
        written = m_output->writeBytes(data, 1, size);
    }
    if (written != size) return fail();
    if (m_hashingEmits) m_settingsSha.update(data, size);
    m_bytesWritten += size;
    return true;
}

bool PayloadWriter::emitU8(uint8_t value) { return emit(&value, 1); }

bool PayloadWriter::emitU16(uint16_t value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return emit(bytes, 2);
}

bool PayloadWriter::emitU32(uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return emit(bytes, 4);
}

bool PayloadWriter::emitU64(uint64_t value) {
    return emitU32(static_cast<uint32_t>(value)) && emitU32(static_cast<uint32_t>(value >> 32));
}
