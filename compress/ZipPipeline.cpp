#include "compress/ZipPipeline.h"

#include "core/LogBase.h"
#include "core/XString.h"
#include "crypto/CipherRoutines.h"
#include "crypto/PwdProtect.h"
#include "crypto/WinZipAes.h"
#include "io/DataSource.h"
#include "io/FileSystem.h"
#include "io/OutputFile.h"

namespace {

// Scratch file base names; makeTempName makes each one unique.
const char kScratchInflated[] = "bvZ.dat";
const char kScratchDecrypted[] = "bvFile.dat";
const char kScratchEncrypted[] = "bvAes.dat";

// Read size when a stream source has to be taken into memory.
constexpr uint32_t kStreamReadBytes = 60000;

HANDLE createForWriteUtf8(const StringBuffer& path, LogBase* log) {
    XString name;
    name.setFromUtf8(path.getString());
    return createForWrite(name, log);
}

bool isWholeSourceCipher(int32_t method) {
    return method == kZipEncryptAes || method == kZipEncryptTwofish || method == kZipEncryptBlowfish;
}

// Reads until `size` bytes arrived or the source stops delivering.
uint32_t readUpTo(DataSource& source, uint8_t* buffer, uint32_t size) {
    uint32_t total = 0;
    while (total < size) {
        uint32_t got = 0;
        if (!source.readBytes(buffer + total, size - total, &got) || got == 0) break;
        total += got;
    }
    return total;
}

}  // namespace

ZipPipeline::ZipPipeline() : ZipPipeline(InflateOnly{}) { m_allStages = &ZipPipeline::runAllStages; }

ZipPipeline::ZipPipeline(InflateOnly)
    : m_allStages(nullptr), m_sourceIsFile(false), m_sourcePwdProtected(false), m_sourceMethod(0),
      m_sourceKeyBits(0), m_sourceCompressed(false), m_compressOutput(false), m_sourceEncrypted(false),
      m_ownsScratchSource(false), m_output(nullptr), m_sourceStream(nullptr), m_sourceCheckCrc(0),
      m_sourceCheckTime(0), m_sourceCheckUsesTime(false), m_level(kDefaultLevel), m_sizeIn(0), m_sizeOut(0),
      m_progress(nullptr) {}

ZipPipeline::~ZipPipeline() { deleteOwnedScratch(); }

// ---------------------------------------------------------------------------
// Settings.
// ---------------------------------------------------------------------------

void ZipPipeline::setSourceData(const uint8_t* data, uint32_t size) {
    fillSourceData(data, size);
    m_sourceIsFile = false;
}

void ZipPipeline::setSourceFile(const char* utf8Path) {
    deleteOwnedScratch();
    m_sourcePath.setString(utf8Path);
    m_sourceIsFile = true;
    m_sourceData.clear();
}

void ZipPipeline::setSourceEncryption(int32_t method, int32_t keyBits, const char* password) {
    m_sourceMethod = method;
    m_sourceKeyBits = keyBits;
    m_sourcePassword.setString(password);
}

void ZipPipeline::setSourcePwdProtected(const char* password, uint32_t checkCrc, uint32_t checkTime,
                                        bool useTime) {
    m_sourcePwdProtected = true;
    m_sourcePassword.setString(password);
    m_sourceCheckCrc = checkCrc;
    m_sourceCheckTime = checkTime;
    m_sourceCheckUsesTime = useTime;
}

void ZipPipeline::setTempDir(const char* utf8Dir) { m_tempDir.setString(utf8Dir); }

// ---------------------------------------------------------------------------
// The run.
// ---------------------------------------------------------------------------

bool ZipPipeline::run(uint32_t& crcOut, LogBase* log) {
    LogNull nullLog;
    LogBase& runLog = log != nullptr ? *log : nullLog;
    const bool ok = m_allStages != nullptr ? (this->*m_allStages)(crcOut, runLog) : runInflateOnly(runLog);
    // The last scratch source goes whatever the result (a failed deletion
    // does not change it).
    deleteOwnedScratch();
    return ok;
}

bool ZipPipeline::runAllStages(uint32_t& crcOut, LogBase& log) {
    bool ok = true;
    if (m_sourceEncrypted) ok = removeSourceEncryption(log);
    if (ok && m_sourcePwdProtected) ok = removePwdProtection(log);
    if (ok) ok = runMainStage(crcOut, log);
    return ok;
}

bool ZipPipeline::runInflateOnly(LogBase& log) {
    if (m_sourceEncrypted || m_sourcePwdProtected || !m_sourceCompressed || m_compressOutput) {
        log.logError("Internal Error: this pipeline only inflates (26)");
        return false;
    }
    return inflateAction();
}

// Stage A: the source's own encryption layer.
bool ZipPipeline::removeSourceEncryption(LogBase& log) {
    if (m_sourceMethod == kZipEncryptWinZipAes) return removeWinZipAesLayer(log);
    return removeCipherLayers(log);
}

bool ZipPipeline::removeWinZipAesLayer(LogBase& log) {
    absorbStream();
    if (m_sourceIsFile) {
        // The entry is decrypted as one buffer: bring the file into memory.
        DataBuffer fileBytes;
        if (!fileBytes.loadFileUtf8(m_sourcePath.getString(), &log)) return false;
        fillSourceData(fileBytes.getData(), fileBytes.getSize());
        deleteOwnedScratch();
        m_sourceIsFile = false;
    }
    DataBuffer plaintext;
    bool badPassword = false;
    bool badAuth = false;
    if (!WinZipAes::decryptEntry(m_sourceData, m_sourcePassword,
                                 WinZipAes::strengthFromKeyBits(m_sourceKeyBits), plaintext, &log,
                                 badPassword, badAuth))
        return false;
    fillSourceData(plaintext.getData(), plaintext.getSize());
    m_sourceEncrypted = false;
    return true;
}

// Outer deflate, cipher, inner deflate: inflate to a scratch file, decrypt
// that into another, inflate again.
bool ZipPipeline::removeCipherLayers(LogBase& log) {
    if (!scratchInflate(log)) {
        log.logError("Failed to inflate to temp for AES decryption");
        return false;
    }
    StringBuffer decrypted;
    makeScratchName(kScratchDecrypted, ScratchFolder::System, decrypted);
    if (!cipherDecryptFile(m_sourceMethod, m_sourceKeyBits, m_sourcePassword.getString(),
                           m_sourcePath.getString(), decrypted.getString(), &log)) {
        log.logError("Failed to AES decrypt file");
        log.logData("encryptedFile", m_sourcePath.getString());
        deleteFileUtf8(decrypted.getString(), nullptr);
        return false;
    }
    replaceSourceWithScratch(decrypted);
    m_sourceEncrypted = false;
    bool ok = scratchInflate(log);
    m_sourceCompressed = false;
    return ok;
}

// Stage B: the traditional ZIP encryption.
bool ZipPipeline::removePwdProtection(LogBase& log) {
    if (m_sourceStream != nullptr) {
        uint8_t header[kPwdHeaderBytes];
        if (readUpTo(*m_sourceStream, header, kPwdHeaderBytes) < kPwdHeaderBytes) {
            log.logError("Failed to get encryption header for pwd-protect");
            return false;
        }
        fillSourceData(header, kPwdHeaderBytes);
    }
    if (m_sourceData.getSize() < kPwdHeaderBytes) {
        log.logError(m_sourcePath.getSize() > 0 ? "Source is password-protected, but not in memory"
                                                : "Source is password-protected, but less than 12 bytes");
        return false;
    }
    PwdProtect decryptor;
    decryptor.setPassword(m_sourcePassword);
    decryptor.initKeys();
    if (!decryptor.checkHeader(m_sourceData.getData(), m_sourceCheckTime, m_sourceCheckCrc,
                               m_sourceCheckUsesTime)) {
        log.logError("Password incorrect for password-protected Zip");
        return false;
    }

    StringBuffer scratch;
    makeScratchName(kScratchInflated, ScratchFolder::TempDirOrSystem, scratch);
    HANDLE file = createForWriteUtf8(scratch, &log);
    if (file == INVALID_HANDLE_VALUE) {
        log.logError("Failed to open temp file (1)");
        log.logData("tempFilename", scratch.getString());
        return false;
    }
    bool ok;
    {
        OutputFile output(file);
        if (m_sourceStream != nullptr) {
            ok = helper().pwdDecodeStream(m_sourceStream, &output, &decryptor);
            m_sourceStream = nullptr;
        } else {
            ok = helper().pwdDecodeMemory(m_sourceData.getData() + kPwdHeaderBytes,
                                          m_sourceData.getSize() - kPwdHeaderBytes, &output, &decryptor);
        }
    }
    closeFileHandle(file);
    if (!ok) {
        deleteFileUtf8(scratch.getString(), nullptr);
        log.logError("Failed to password-decode data");
        return false;
    }
    replaceSourceWithScratch(scratch);
    m_sourcePwdProtected = false;
    if (!m_sourceCompressed) return true;
    // The deciphered data is still deflated: inflate it here, so the main
    // stage sees plain data. Its failure fails the run.
    ok = scratchInflate(log);
    m_sourceCompressed = false;
    return ok;
}

// The main stage, by (sourceCompressed, compressOutput, encryptMethod).
bool ZipPipeline::runMainStage(uint32_t& crcOut, LogBase& log) {
    const bool winZipAes = encryptMethod == kZipEncryptWinZipAes;
    const bool cipher = isWholeSourceCipher(encryptMethod);
    static const char kOpenForDeflate[] = "Failed to open file for reading (5)";

    if (m_sourceCompressed && !m_compressOutput) return inflateAction();
    if (m_sourceCompressed) {
        if (winZipAes) {
            if (m_sourceIsFile) {
                log.logError("Internal Error: source should not be a file (24)");
                return false;
            }
            if (m_output == nullptr) {
                log.logError("Internal Error: dest output is NULL (25)");
                return false;
            }
            return winZipAesIntoOutput(crcOut, log);
        }
        if (cipher) return encryptSource(log) && deflateAction(crcOut, log, kOpenForDeflate);
        return copyWithCrc(crcOut, log);
    }
    if (m_compressOutput) {
        if (winZipAes) return deflateToScratch(log) && winZipAesIntoOutput(crcOut, log);
        if (cipher)
            return deflateToScratch(log) && encryptSource(log) && deflateAction(crcOut, log, kOpenForDeflate);
        if (pwdProtect != 0) return pwdProtectedDeflate(crcOut, log);
        return deflateAction(crcOut, log, kOpenForDeflate);
    }
    if (winZipAes) return winZipAesIntoOutput(crcOut, log);
    if (cipher) return encryptSource(log) && copyWithCrc(crcOut, log);
    return copyWithCrc(crcOut, log);
}

// ---------------------------------------------------------------------------
// Actions.
// ---------------------------------------------------------------------------

bool ZipPipeline::inflateAction() {
    if (m_sourceStream != nullptr) {
        DataSource* stream = m_sourceStream;
        m_sourceStream = nullptr;
        return helper().inflateStream(stream, m_output);
    }
    if (m_sourceIsFile) return helper().inflateFile(m_sourcePath.getString(), m_output);
    if (m_sourceData.getSize() == 0) return true;
    return helper().inflateMemory(m_sourceData.getData(), m_sourceData.getSize(), m_output);
}

bool ZipPipeline::copyWithCrc(uint32_t& crcOut, LogBase& log) {
    uint32_t crc = 0;
    uint32_t size = 0;
    bool ok;
    if (m_sourceIsFile) {
        HANDLE file = openSourceFile();
        if (file == INVALID_HANDLE_VALUE) {
            log.logError("Failed to open file for reading (4)");
            return false;
        }
        ok = helper().copyFileWithCrc(file, m_output, crc, size);
        closeFileHandle(file);
    } else if (m_sourceStream != nullptr && m_sourceData.getSize() == 0) {
        DataSource* stream = m_sourceStream;
        m_sourceStream = nullptr;
        ok = helper().copyStreamWithCrc(stream, m_output, crc, size);
    } else {
        size = m_sourceData.getSize();
        ok = helper().copyMemoryWithCrc(sourceBytes(), size, m_output, crc);
        if (!ok) size = 0;
    }
    crcOut = crc;
    m_sizeIn = m_sizeOut = size;
    return ok;
}

bool ZipPipeline::deflateAction(uint32_t& crcOut, LogBase& log, const char* openFailure) {
    uint32_t crc = 0;
    uint32_t bytesIn = 0;
    uint32_t bytesOut = 0;
    bool ok;
    if (m_sourceIsFile) {
        HANDLE file = openSourceFile();
        if (file == INVALID_HANDLE_VALUE) {
            log.logError(openFailure);
            return false;
        }
        ok = helper().deflateFile(file, m_output, crc, bytesIn, bytesOut, m_level);
        closeFileHandle(file);
    } else if (m_sourceStream != nullptr && m_sourceData.getSize() == 0) {
        DataSource* stream = m_sourceStream;
        m_sourceStream = nullptr;
        ok = helper().deflateStream(stream, m_output, crc, bytesIn, bytesOut, m_level);
    } else {
        ok = helper().deflateMemory(sourceBytes(), m_sourceData.getSize(), m_output, crc, bytesIn, bytesOut,
                                    m_level);
    }
    crcOut = crc;
    m_sizeIn = bytesIn;
    m_sizeOut = bytesOut;
    return ok;
}

bool ZipPipeline::deflateToScratch(LogBase& log) {
    bool memorySource = !m_sourceIsFile && (m_sourceStream == nullptr || m_sourceData.getSize() > 0);
    if (memorySource && m_sourceData.getSize() == 0) {
        m_sizeIn = m_sizeOut = 0;
        return true;
    }
    StringBuffer scratch;
    makeScratchName(kScratchInflated, ScratchFolder::TempDirOrSystem, scratch);
    HANDLE file = createForWriteUtf8(scratch, &log);
    if (file == INVALID_HANDLE_VALUE) {
        log.logError("Failed to open temp file (2)");
        log.logData("tempFilename", scratch.getString());
        return false;
    }
    uint32_t crc = 0;
    uint32_t bytesIn = 0;
    uint32_t bytesOut = 0;
    bool ok;
    {
        OutputFile output(file);
        if (m_sourceIsFile) {
            HANDLE source = openSourceFile();
            if (source == INVALID_HANDLE_VALUE) {
                log.logError("Failed to open file for reading (6)");
                closeFileHandle(file);
                deleteFileUtf8(scratch.getString(), nullptr);
                return false;
            }
            ok = helper().deflateFile(source, &output, crc, bytesIn, bytesOut, m_level);
            closeFileHandle(source);
        } else if (!memorySource) {
            DataSource* stream = m_sourceStream;
            m_sourceStream = nullptr;
            ok = helper().deflateStream(stream, &output, crc, bytesIn, bytesOut, m_level);
        } else {
            ok = helper().deflateMemory(sourceBytes(), m_sourceData.getSize(), &output, crc, bytesIn,
                                        bytesOut, m_level);
        }
    }
    closeFileHandle(file);
    if (!ok) {
        deleteFileUtf8(scratch.getString(), nullptr);
        return false;
    }
    replaceSourceWithScratch(scratch);
    m_sizeIn = bytesIn;
    m_sizeOut = bytesOut;
    return true;
}

bool ZipPipeline::encryptSource(LogBase& log) {
    if (m_sourceIsFile) {
        StringBuffer scratch;
        makeScratchName(kScratchEncrypted, ScratchFolder::System, scratch);
        if (!cipherEncryptFile(encryptMethod, keyBits, password.getString(), m_sourcePath.getString(),
                               scratch.getString(), &log)) {
            deleteFileUtf8(scratch.getString(), nullptr);
            log.logError("Failed to AES encrypt source file data");
            return false;
        }
        replaceSourceWithScratch(scratch);
        return true;
    }
    absorbStream();
    DataBuffer ciphertext;
    if (!cipherEncryptBuffer(encryptMethod, keyBits, password.getString(), sourceBytes(),
                             m_sourceData.getSize(), ciphertext)) {
        log.logError("Failed to AES encrypt source data");
        return false;
    }
    fillSourceData(ciphertext.getData(), ciphertext.getSize());
    return true;
}

bool ZipPipeline::winZipAesIntoOutput(uint32_t& crcOut, LogBase& log) {
    if (m_output == nullptr) {
        log.logError("Internal error: missing output object!");
        return false;
    }
    int32_t strength = WinZipAes::strengthFromKeyBits(static_cast<uint32_t>(keyBits));
    uint32_t plaintextBytes = 0;
    bool ok;
    if (m_sourceIsFile) {
        ok = WinZipAes::encryptFile(m_sourcePath.getString(), password, strength, *m_output, &log,
                                    plaintextBytes);
    } else {
        absorbStream();
        plaintextBytes = m_sourceData.getSize();
        ok = WinZipAes::encryptMemory(sourceBytes(), plaintextBytes, password, strength, *m_output, &log);
    }
    crcOut = 0;
    m_sizeIn = plaintextBytes;
    m_sizeOut = plaintextBytes + WinZipAes::overhead(strength);
    return ok;
}

// Two passes: the first finds the CRC-32 that the encryption header carries,
// the second deflates and encrypts.
bool ZipPipeline::pwdProtectedDeflate(uint32_t& crcOut, LogBase& log) {
    if (m_sourceIsFile) {
        HANDLE file = openSourceFile();
        if (file == INVALID_HANDLE_VALUE) {
            log.logError("Failed to open file for reading (7)");
            return false;
        }
        uint32_t crc = 0;
        if (!helper().crcByDeflatingFile(file, crc, m_level))
            log.logError("Failed to deflate to find CRC for password-protected Zip");
        checkCrc = crc;
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        uint32_t bytesIn = 0;
        uint32_t bytesOut = 0;
        crc = 0;
        bool ok = helper().deflateFile(file, m_output, crc, bytesIn, bytesOut, m_level);
        closeFileHandle(file);
        crcOut = crc;
        m_sizeIn = bytesIn;
        m_sizeOut = bytesOut;
        return ok;
    }
    absorbStream();  // two passes need the bytes twice
    uint32_t crc = 0;
    if (!helper().crcByDeflatingMemory(sourceBytes(), m_sourceData.getSize(), crc, m_level))
        log.logError("Failed to deflate from memory to find CRC for password-protected Zip");
    checkCrc = crc;
    return deflateAction(crcOut, log, "Failed to open file for reading (7)");
}

// ---------------------------------------------------------------------------
// Scratch files and the source.
// ---------------------------------------------------------------------------

// Inflates the source into a new "bvZ.dat", which becomes the source
// whatever the inflate run's result (so that it is deleted with the others).
bool ZipPipeline::scratchInflate(LogBase& log) {
    StringBuffer scratch;
    makeScratchName(kScratchInflated, ScratchFolder::TempDirOrSystem, scratch);
    HANDLE file = createForWriteUtf8(scratch, &log);
    if (file == INVALID_HANDLE_VALUE) {
        log.logError("Failed to create temporary output file");
        log.logData("filename", scratch.getString());
        return false;
    }
    bool ok;
    {
        OutputFile output(file);
        if (m_sourceIsFile) {
            ok = helper().inflateFile(m_sourcePath.getString(), &output);
        } else if (m_sourceStream != nullptr && m_sourceData.getSize() == 0) {
            DataSource* stream = m_sourceStream;
            m_sourceStream = nullptr;
            ok = helper().inflateStream(stream, &output);
        } else {
            ok = helper().inflateMemory(sourceBytes(), m_sourceData.getSize(), &output);
        }
    }
    closeFileHandle(file);
    replaceSourceWithScratch(scratch);
    return ok;
}

void ZipPipeline::makeScratchName(const char* baseName, ScratchFolder folder, StringBuffer& out) const {
    out.clear();
    if (folder == ScratchFolder::TempDirOrSystem && m_tempDir.getSize() > 0)
        tempNameIn(m_tempDir.getString(), baseName, out);
    else
        tempNameInTempDir(baseName, out);
}

HANDLE ZipPipeline::openSourceFile() {
    XString name;
    name.setFromUtf8(m_sourcePath.getString());
    return openForRead(name, nullptr);
}

void ZipPipeline::replaceSourceWithScratch(const StringBuffer& scratchPath) {
    deleteOwnedScratch();
    m_sourcePath.setSb(scratchPath);
    m_ownsScratchSource = true;
    m_sourceIsFile = true;
    m_sourceData.clear();
}

void ZipPipeline::deleteOwnedScratch() {
    if (m_ownsScratchSource && m_sourcePath.getSize() > 0) deleteFileUtf8(m_sourcePath.getString(), nullptr);
    m_ownsScratchSource = false;
}

// A stream source that an action needs as a whole is read into sourceData.
void ZipPipeline::absorbStream() {
    if (m_sourceStream == nullptr || m_sourceIsFile || m_sourceData.getSize() > 0) return;
    DataSource* stream = m_sourceStream;
    m_sourceStream = nullptr;
    m_sourceData.clear();
    uint8_t chunk[kStreamReadBytes];
    uint32_t got;
    while ((got = readUpTo(*stream, chunk, kStreamReadBytes)) > 0) m_sourceData.append(chunk, got);
    m_sourceData.ensureCapacity(m_sourceData.getSize() + kSourceSpareBytes);
}

void ZipPipeline::fillSourceData(const uint8_t* data, uint32_t size) {
    m_sourceData.clear();
    m_sourceData.ensureCapacity(size + kSourceSpareBytes);
    m_sourceData.append(data, size);
}

const uint8_t* ZipPipeline::sourceBytes() const {
    static const uint8_t kNoBytes[1] = {0};
    return m_sourceData.getData() != nullptr ? m_sourceData.getData() : kNoBytes;
}

PipelineHelp& ZipPipeline::helper() {
    m_help.copyCryptParams(*this);
    m_help.setProgress(m_progress);
    return m_help;
}
