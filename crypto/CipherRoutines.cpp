#include "crypto/CipherRoutines.h"

#include <memory>

#include "core/DataBuffer.h"
#include "core/XString.h"
#include "crypto/BlowFish.h"
#include "crypto/Rijndael2.h"
#include "crypto/TwoFish.h"
#include "io/FileInfo.h"
#include "io/FileSystem.h"
#include "platform/win32.h"

namespace {

constexpr uint32_t kChainBytes = kAesBlockBytes;
constexpr uint32_t kPadBlockBytes = DataBuffer::kPadBlockBytes;
// Largest buffer length whose padded ciphertext (two padding blocks) and the
// ciphers' spare capacity still fit a 32-bit size.
constexpr uint32_t kMaxBufferInputBytes = 0xFFFFFFFFu - 4 * kPadBlockBytes - 64;

std::unique_ptr<SymmetricAlgorithm2> makeCipher(int32_t cipherType, int32_t keyBits, const char* password) {
    std::unique_ptr<SymmetricAlgorithm2> cipher;
    switch (cipherType) {
        case kCipherTypeTwofish: cipher = std::make_unique<TwoFish>(); break;
        case kCipherTypeBlowfish: cipher = std::make_unique<BlowFish>(); break;
        default: cipher = std::make_unique<Rijndael2>(); break;
    }
    cipher->setKeyLength(keyBits);
    cipher->setCbcMode();
    cipher->setPassword(password);
    return cipher;
}

// ---------------------------------------------------------------------------
// Pieces of a file.
// ---------------------------------------------------------------------------

enum class PieceStep {
    OneShot,  // the whole file at once, padding included
    First,    // key setup, no padding
    Next,     // no key setup, no padding
    Last,     // no key setup, padding added or removed
};

PieceStep choosePieceStep(bool firstPiece, uint32_t remaining, uint32_t oneShotLimit) {
    if (firstPiece && remaining <= oneShotLimit) return PieceStep::OneShot;
    if (firstPiece) return PieceStep::First;
    if (remaining <= kCipherFilePieceBytes) return PieceStep::Last;
    return PieceStep::Next;
}

// One cipher driven piece by piece. The ciphers differ in their chained
// operations: AES carries a CBC chain block that the caller keeps, Blowfish
// (ECB) needs none, Twofish has none at all.
class PieceCipher {
public:
    PieceCipher(int32_t cipherType, int32_t keyBits, const char* password)
        : m_type(cipherType), m_cipher(makeCipher(cipherType, keyBits, password)), m_decryptChain{} {
        if (m_type != kCipherTypeTwofish && m_type != kCipherTypeBlowfish) m_type = kCipherTypeAes;
    }

    PieceCipher(const PieceCipher&) = delete;
    PieceCipher& operator=(const PieceCipher&) = delete;

    // Twofish decrypts in one step anything its own encryption can produce:
    // one piece of plaintext plus its padding block.
    uint32_t oneShotLimit(bool encrypt) const {
        if (!encrypt && m_type == kCipherTypeTwofish) return kCipherFilePieceBytes + kPadBlockBytes;
        return kCipherFilePieceBytes;
    }

    std::unique_ptr<DataBuffer> encrypt(PieceStep step, const DataBuffer& piece) {
        if (step == PieceStep::OneShot) return m_cipher->encryptData(piece);
        switch (m_type) {
            case kCipherTypeBlowfish:
                return encryptBlowfishPiece(static_cast<BlowFish&>(*m_cipher), step, piece);
            case kCipherTypeAes: return encryptAesPiece(static_cast<Rijndael2&>(*m_cipher), step, piece);
            default: return nullptr;
        }
    }

    std::unique_ptr<DataBuffer> decrypt(PieceStep step, const DataBuffer& piece) {
        if (step == PieceStep::OneShot) return m_cipher->decryptData(piece);
        switch (m_type) {
            case kCipherTypeBlowfish:
                return decryptBlowfishPiece(static_cast<BlowFish&>(*m_cipher), step, piece);
            case kCipherTypeAes: return decryptAesPiece(static_cast<Rijndael2&>(*m_cipher), step, piece);
            default: return nullptr;
        }
    }

private:
    static std::unique_ptr<DataBuffer> encryptBlowfishPiece(BlowFish& cipher, PieceStep step,
                                                            const DataBuffer& piece) {
        if (step == PieceStep::First) return cipher.encryptFirst(piece);
        if (step == PieceStep::Next) return cipher.encryptNext(piece);
        return cipher.encryptLast(piece);
    }

    static std::unique_ptr<DataBuffer> decryptBlowfishPiece(BlowFish& cipher, PieceStep step,
                                                            const DataBuffer& piece) {
        if (step == PieceStep::First) return cipher.decryptFirst(piece);
        if (step == PieceStep::Next) return cipher.decryptNext(piece);
        return cipher.decryptLast(piece);
    }

    // After each piece the chain becomes the last ciphertext block written,
    // so the next piece continues the CBC chain of the whole file.
    std::unique_ptr<DataBuffer> encryptAesPiece(Rijndael2& cipher, PieceStep step, const DataBuffer& piece) {
        std::unique_ptr<DataBuffer> result;
        if (step == PieceStep::First)
            result = cipher.encryptFirst(piece);
        else if (step == PieceStep::Next)
            result = cipher.encryptNext(piece, m_encryptChain);
        else
            result = cipher.encryptLast(piece, m_encryptChain);
        if (result && result->getSize() >= kChainBytes) {
            m_encryptChain.clear();
            m_encryptChain.append(result->getData() + result->getSize() - kChainBytes, kChainBytes);
        }
        return result;
    }

    std::unique_ptr<DataBuffer> decryptAesPiece(Rijndael2& cipher, PieceStep step, const DataBuffer& piece) {
        if (step == PieceStep::First) return cipher.decryptFirst(piece, m_decryptChain);
        if (step == PieceStep::Next) return cipher.decryptNext(piece, m_decryptChain);
        return cipher.decryptLast(piece, m_decryptChain);
    }

    int32_t m_type;
    std::unique_ptr<SymmetricAlgorithm2> m_cipher;
    DataBuffer m_encryptChain;
    uint8_t m_decryptChain[kChainBytes];
};

// The input and output files of one run, closed on every exit.
class FilePair {
public:
    FilePair() = default;
    ~FilePair() {
        closeFileHandle(input);
        closeFileHandle(output);
    }
    FilePair(const FilePair&) = delete;
    FilePair& operator=(const FilePair&) = delete;

    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
};

// Sizes the input (low 32 bits from FileInfo), opens it and creates the
// output. A file of 4 GiB or more is refused: its 32-bit size would describe
// only part of it.
bool openFiles(const char* inputPath, const char* outputPath, FilePair& files, uint32_t& inputBytes,
               LogBase* log) {
    if (inputPath == nullptr || outputPath == nullptr) return false;
    FileInfo info;
    if (!info.loadFileInfo(inputPath, log) || info.isDirectory()) return false;
    inputBytes = info.getSize();

    XString inputName;
    inputName.setFromUtf8(inputPath);
    files.input = openForRead(inputName, log);
    if (files.input == INVALID_HANDLE_VALUE) return false;
    DWORD sizeHigh = 0;
    GetFileSize(files.input, &sizeHigh);
    if (sizeHigh != 0) return false;

    XString outputName;
    outputName.setFromUtf8(outputPath);
    files.output = createForWrite(outputName, log);
    return files.output != INVALID_HANDLE_VALUE;
}

// Reads exactly `bytes` bytes into piece; false when the file ends sooner.
bool readPiece(HANDLE file, DataBuffer& piece, uint32_t bytes) {
    uint32_t done = 0;
    while (done < bytes) {
        DWORD got = 0;
        if (!ReadFile(file, piece.getData() + done, bytes - done, &got, nullptr) || got == 0) return false;
        done += got;
    }
    piece.setSize(bytes);
    return true;
}

bool writeAll(HANDLE file, const DataBuffer& data) {
    uint32_t done = 0;
    while (done < data.getSize()) {
        DWORD written = 0;
        if (!WriteFile(file, data.getData() + done, data.getSize() - done, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// Runs the whole input through the cipher piece by piece. Encryption never
// shrinks a piece, so a result shorter than its piece (the ciphers' empty
// buffer on failure) counts as a failure; decryption may legitimately end
// with an empty piece (a last piece of padding only).
bool runPieces(PieceCipher& cipher, bool encrypt, const FilePair& files, uint32_t inputBytes) {
    DataBuffer piece(kCipherFilePieceBufferBytes);
    if (piece.getData() == nullptr && inputBytes != 0) return false;

    const uint32_t oneShotLimit = cipher.oneShotLimit(encrypt);
    uint32_t remaining = inputBytes;
    bool firstPiece = true;
    while (remaining > 0) {
        const PieceStep step = choosePieceStep(firstPiece, remaining, oneShotLimit);
        const uint32_t pieceBytes =
            step == PieceStep::OneShot
                ? remaining
                : (remaining < kCipherFilePieceBytes ? remaining : kCipherFilePieceBytes);
        if (!readPiece(files.input, piece, pieceBytes)) return false;

        std::unique_ptr<DataBuffer> result =
            encrypt ? cipher.encrypt(step, piece) : cipher.decrypt(step, piece);
        if (!result) return false;
        if (encrypt && result->getSize() < pieceBytes) return false;
        if (!writeAll(files.output, *result)) return false;

        remaining -= pieceBytes;
        firstPiece = false;
    }
    return true;
}

bool runFile(bool encrypt, int32_t cipherType, int32_t keyBits, const char* password, const char* inputPath,
             const char* outputPath, LogBase* log) {
    // A null password would leave the cipher on its built-in default key.
    if (password == nullptr) return false;
    FilePair files;
    uint32_t inputBytes = 0;
    if (!openFiles(inputPath, outputPath, files, inputBytes, log)) return false;
    PieceCipher cipher(cipherType, keyBits, password);
    return runPieces(cipher, encrypt, files, inputBytes);
}

}  // namespace

bool cipherEncryptBuffer(int32_t cipherType, int32_t keyBits, const char* password, const uint8_t* bytes,
                         uint32_t length, DataBuffer& out) {
    if (length == 0) {
        out.clear();
        return true;
    }
    if (bytes == nullptr || password == nullptr || length > kMaxBufferInputBytes) return false;

    std::unique_ptr<SymmetricAlgorithm2> cipher = makeCipher(cipherType, keyBits, password);
    DataBuffer working;
    working.appendExact(bytes, length);
    working.padToBlock(DataBuffer::PadPkcs7);
    std::unique_ptr<DataBuffer> result = cipher->encryptData(working);
    // The ciphers answer a failure with an empty buffer; a real result is
    // longer than the input.
    if (!result || result->getSize() <= length) return false;
    out.moveFrom(*result);
    return true;
}

bool cipherDecryptBuffer(int32_t cipherType, int32_t keyBits, const char* password, const uint8_t* bytes,
                         uint32_t length, DataBuffer& out) {
    if (length == 0) {
        out.clear();
        return true;
    }
    if (bytes == nullptr || password == nullptr) return false;

    std::unique_ptr<SymmetricAlgorithm2> cipher = makeCipher(cipherType, keyBits, password);
    DataBuffer wrapped;
    // Borrowed, never written: decryptData only reads its input.
    wrapped.borrow(const_cast<uint8_t*>(bytes), length);
    std::unique_ptr<DataBuffer> result = cipher->decryptData(wrapped);
    if (!result) return false;
    result->unpadBlock(DataBuffer::PadPkcs7);
    out.moveFrom(*result);
    return true;
}

bool cipherEncryptFile(int32_t cipherType, int32_t keyBits, const char* password, const char* inputPath,
                       const char* outputPath, LogBase* log) {
    return runFile(true, cipherType, keyBits, password, inputPath, outputPath, log);
}

bool cipherDecryptFile(int32_t cipherType, int32_t keyBits, const char* password, const char* inputPath,
                       const char* outputPath, LogBase* log) {
    return runFile(false, cipherType, keyBits, password, inputPath, outputPath, log);
}
