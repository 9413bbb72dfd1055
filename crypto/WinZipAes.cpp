#include "crypto/WinZipAes.h"

#include <cstring>
#include <vector>

#include "core/ConstantTime.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "crypto/WinZipAesContext.h"
#include "crypto/WinZipAesFormat.h"
#include "io/BrivaneRand.h"
#include "io/DataSource.h"
#include "io/FileDataSource.h"
#include "io/Output.h"
#include "platform/win32.h"

namespace {

// Odd constant (2^32 / golden ratio) that spreads successive call numbers
// over the seed space.
constexpr uint32_t kSeedSpread = 0x9E3779B9u;
// Salt words drawn from the generator: 4 x 32 bits covers the longest salt.
constexpr uint32_t kSaltWords = kWinZipAesMaxSaltBytes / 4;

uint32_t g_saltCount = 0;

// Which part of the operation failed; each has one fixed log text.
const char* const kTextShortEntry = "Not enough data for a WinZip AES entry";
const char* const kTextDecryptInit = "WinZip AES decrypt initialization failed";
const char* const kTextBadPassword = "Invalid password for WinZip AES decryption";
const char* const kTextBadAuth = "WinZip AES authentication code mismatch";
const char* const kTextEncryptInit = "WinZip AES encrypt initialization failed";
const char* const kTextReadFailed = "Failed to read WinZip AES source data";
const char* const kTextWriteFailed = "Failed to write WinZip AES entry data";

// The salt: reseed the process-wide generator from the tick count, draw four
// 32-bit words and lay them out least significant byte first. The call
// counter keeps two salts drawn within the same tick apart: a repeated salt
// under one password repeats the whole keystream.
void makeSalt(uint8_t* salt, uint32_t saltBytes) {
    BrivaneRand random;
    random.reseed(uint32_t(GetTickCount()) + (++g_saltCount) * kSeedSpread);
    uint8_t drawn[kWinZipAesMaxSaltBytes];
    for (uint32_t w = 0; w < kSaltWords; ++w) {
        const uint32_t value = random.nextR250();
        for (uint32_t b = 0; b < 4; ++b) {
            drawn[4 * w + b] = uint8_t(value >> (8 * b));
        }
    }
    std::memcpy(salt, drawn, saltBytes);
}

bool writeAll(Output& output, const uint8_t* data, uint32_t count) {
    if (count == 0) {
        return true;
    }
    return output.writeBytes(data, 1, count) == count;
}

const uint8_t* passwordBytes(const StringBuffer& password) {
    return reinterpret_cast<const uint8_t*>(password.getString());
}

// Writes the salt, sets up the context and writes the verifier; shared by
// the source and memory forms of encryption. A strength outside 1..3 /
// 128 / 192 / 256 has no salt length, so nothing is written for it.
bool beginEntry(WinZipAesContext& context, const StringBuffer& password, int32_t strength, Output& output,
                LogBase& log) {
    const int32_t code = WinZipAesContext::normaliseStrength(strength);
    if (code == 0) {
        log.logError(kTextEncryptInit);
        return false;
    }
    const uint32_t saltBytes = winZipAesSaltBytes(code);
    uint8_t salt[kWinZipAesMaxSaltBytes];
    makeSalt(salt, saltBytes);
    if (!writeAll(output, salt, saltBytes)) {
        log.logError(kTextWriteFailed);
        return false;
    }
    if (!context.setup(passwordBytes(password), uint32_t(password.getSize()), salt, code)) {
        log.logError(kTextEncryptInit);
        return false;
    }
    if (!writeAll(output, context.verifier(), kWinZipAesVerifierBytes)) {
        log.logError(kTextWriteFailed);
        return false;
    }
    return true;
}

bool encryptSlice(WinZipAesContext& context, uint8_t* slice, uint32_t count, Output& output, LogBase& log) {
    context.encrypt(slice, count);
    if (!writeAll(output, slice, count)) {
        log.logError(kTextWriteFailed);
        return false;
    }
    return true;
}

bool finishEntry(WinZipAesContext& context, Output& output, LogBase& log) {
    uint8_t code[kWinZipAesAuthCodeBytes];
    context.authCode(code);
    if (!writeAll(output, code, kWinZipAesAuthCodeBytes)) {
        log.logError(kTextWriteFailed);
        return false;
    }
    return true;
}

}  // namespace

uint32_t WinZipAes::overhead(int32_t strength) {
    switch (strength) {
        case kWinZipAesStrength192:
            return winZipAesSaltBytes(kWinZipAesStrength192) + kWinZipAesVerifierBytes +
                   kWinZipAesAuthCodeBytes;
        case kWinZipAesStrength256:
            return winZipAesSaltBytes(kWinZipAesStrength256) + kWinZipAesVerifierBytes +
                   kWinZipAesAuthCodeBytes;
        default:
            return winZipAesSaltBytes(kWinZipAesStrength128) + kWinZipAesVerifierBytes +
                   kWinZipAesAuthCodeBytes;
    }
}

int32_t WinZipAes::strengthFromKeyBits(uint32_t keyBits) {
    if (keyBits == 192) {
        return kWinZipAesStrength192;
    }
    if (keyBits == 256) {
        return kWinZipAesStrength256;
    }
    return kWinZipAesStrength128;
}

bool WinZipAes::decryptEntry(const uint8_t* entry, uint32_t entryLength, const StringBuffer& password,
                             int32_t strength, DataBuffer& out, LogBase* log, bool& badPassword,
                             bool& badAuth) {
    LogNull nullLog;
    LogBase& sink = log != nullptr ? *log : nullLog;
    badPassword = false;
    badAuth = false;

    // The length check uses the overhead of the strength actually in use,
    // so that 256 is measured like 3 (28 bytes) rather than like 1 (20).
    const int32_t code = WinZipAesContext::normaliseStrength(strength);
    if (entry == nullptr || entryLength < overhead(code != 0 ? code : strength)) {
        sink.logError(kTextShortEntry);
        return false;
    }
    WinZipAesContext context;
    if (code == 0 || !context.setup(passwordBytes(password), uint32_t(password.getSize()), entry, strength)) {
        sink.logError(kTextDecryptInit);
        return false;
    }
    const uint32_t saltBytes = winZipAesSaltBytes(code);
    if (!constantTimeEqual(entry + saltBytes, context.verifier(), kWinZipAesVerifierBytes)) {
        sink.logError(kTextBadPassword);
        badPassword = true;
        return false;
    }

    const uint32_t cipherBytes = entryLength - saltBytes - kWinZipAesVerifierBytes - kWinZipAesAuthCodeBytes;
    out.clear();
    out.appendExact(entry + saltBytes + kWinZipAesVerifierBytes, cipherBytes);
    context.decrypt(out.getData(), cipherBytes);

    uint8_t expected[kWinZipAesAuthCodeBytes];
    context.authCode(expected);
    if (!constantTimeEqual(entry + entryLength - kWinZipAesAuthCodeBytes, expected,
                           kWinZipAesAuthCodeBytes)) {
        sink.logError(kTextBadAuth);
        badAuth = true;
        return false;
    }
    return true;
}

bool WinZipAes::decryptEntry(const DataBuffer& entry, const StringBuffer& password, int32_t strength,
                             DataBuffer& out, LogBase* log, bool& badPassword, bool& badAuth) {
    return decryptEntry(entry.getData(), entry.getSize(), password, strength, out, log, badPassword, badAuth);
}

bool WinZipAes::encryptSource(DataSource& source, const StringBuffer& password, int32_t strength,
                              Output& output, LogBase* log, uint32_t& plaintextBytes) {
    LogNull nullLog;
    LogBase& sink = log != nullptr ? *log : nullLog;
    plaintextBytes = 0;

    WinZipAesContext context;
    if (!beginEntry(context, password, strength, output, sink)) {
        return false;
    }
    std::vector<uint8_t> slice(kWinZipAesSliceBytes);
    while (!source.endOfData()) {
        uint32_t got = 0;
        if (!source.readBytes(slice.data(), kWinZipAesSliceBytes, &got)) {
            sink.logError(kTextReadFailed);
            return false;
        }
        if (got == 0) {
            // A source that delivers nothing must have reached its end;
            // otherwise it would be asked again for ever.
            if (source.endOfData()) {
                break;
            }
            sink.logError(kTextReadFailed);
            return false;
        }
        plaintextBytes += got;
        if (!encryptSlice(context, slice.data(), got, output, sink)) {
            return false;
        }
    }
    return finishEntry(context, output, sink);
}

bool WinZipAes::encryptFile(const char* utf8Path, const StringBuffer& password, int32_t strength,
                            Output& output, LogBase* log, uint32_t& plaintextBytes) {
    plaintextBytes = 0;
    FileDataSource* source = FileDataSource::openDataSourceFile(utf8Path, log);
    if (source == nullptr) {
        return false;
    }
    const bool ok = encryptSource(*source, password, strength, output, log, plaintextBytes);
    delete source;
    return ok;
}

bool WinZipAes::encryptMemory(const uint8_t* data, uint32_t length, const StringBuffer& password,
                              int32_t strength, Output& output, LogBase* log) {
    LogNull nullLog;
    LogBase& sink = log != nullptr ? *log : nullLog;
    if (data == nullptr && length > 0) {
        sink.logError(kTextReadFailed);
        return false;
    }
    WinZipAesContext context;
    if (!beginEntry(context, password, strength, output, sink)) {
        return false;
    }
    std::vector<uint8_t> slice(kWinZipAesSliceBytes);
    for (uint32_t done = 0; done < length;) {
        const uint32_t take = length - done < kWinZipAesSliceBytes ? length - done : kWinZipAesSliceBytes;
        std::memcpy(slice.data(), data + done, take);
        if (!encryptSlice(context, slice.data(), take, output, sink)) {
            return false;
        }
        done += take;
    }
    return finishEntry(context, output, sink);
}
