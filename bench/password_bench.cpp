// Offline password guessing against both payload modes, on this machine, in
// one run: how many wrong passwords a second an attacker holding an
// installer can try, and how long the installer takes to derive the key
// once (what the user waits after typing the password).
//
//   classic  per guess: MD5(password) and MD5(password + "2") into the
//            AES-256 key, one key schedule, one block of the verifier
//            deciphered and compared with "qmfu" (all the classic mode asks)
//   strong   per guess: PBKDF2-HMAC-SHA256 with the payload's salt and
//            iteration count, the verifier drawn from the master key and
//            compared (StrongCipher::derive + verifierMatches)
//   openssl  the same PBKDF2-HMAC-SHA256 through OpenSSL's libcrypto
//            (PKCS5_PBKDF2_HMAC), as a well-optimised guesser would run it
//
// Both payloads are written by PayloadWriter with the password "right
// password"; every guess is wrong, and each side's verdict on the right
// password is checked first. Rates are per second of processor time of one
// thread. Also printed: the verifier comparison's time with the first or
// the last byte wrong (the comparison is constant-time; the two should
// agree within noise).
//
//   password_bench [--iterations N] [--seconds S]

#include <openssl/evp.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/AesCore.h"
#include "io/MemoryDataSource.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadWriter.h"
#include "payload/SimpleArchive.h"
#include "payload/StrongCipher.h"
#include "payload/StrongFormat.h"

namespace {

const char* const kRightPassword = "right password";
constexpr uint32_t kClassicVerifierOffset = 8 + 6 + 2 + 1;  // marker, header, terminator, length

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> payloadBytes(bool strong, uint32_t iterations) {
    DataBuffer bytes;
    OutputDataBuffer output(&bytes);
    PayloadWriter writer(output);
    const bool keyed = strong ? writer.setStrongEncryption(kRightPassword, 256, iterations)
                              : writer.setEncryption(kRightPassword, 256);
    if (!keyed || !writer.writeHeader() || !writer.endSettings() || !writer.writeEnd()) {
        std::fprintf(stderr, "password_bench: cannot write the payload\n");
        std::exit(1);
    }
    return std::vector<uint8_t>(bytes.getData(), bytes.getData() + bytes.getSize());
}

std::string guess(uint64_t n) { return "guess-" + std::to_string(n); }

// The classic attack on one guess: key, schedule, one block, comparison.
bool classicGuessIsRight(const std::string& password, const uint8_t* verifierBlock) {
    StringBuffer text(password.c_str());
    DataBuffer key;
    derivePayloadKey(text, 256, key);
    AesCore aes;
    aes.expandKey(key.getData(), key.getSize(), AesCore::Direction::Decrypt);
    uint8_t plain[16];
    uint8_t chain[16] = {};
    aes.decryptCbc(verifierBlock, plain, 1, chain);
    // "qmfu" and 12 bytes of padding 0x0C.
    if (std::memcmp(plain, "qmfu", 4) != 0) return false;
    for (int i = 4; i < 16; ++i) {
        if (plain[i] != 12) return false;
    }
    return true;
}

struct StrongTarget {
    uint8_t salt[StrongFormat::kSaltBytes];
    uint8_t verifier[StrongFormat::kVerifierBytes];
    uint32_t iterations;
};

StrongTarget strongTarget(const std::vector<uint8_t>& payload) {
    MemoryDataSource source(payload.data(), uint32_t(payload.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    if (!archive.findMarker() || !archive.readHeader() || !archive.readArgs() || !archive.verifierIsWellFormed()) {
        std::fprintf(stderr, "password_bench: the strong payload does not read back\n");
        std::exit(1);
    }
    StrongTarget target;
    std::memcpy(target.salt, archive.strongKeyRecord().salt, sizeof target.salt);
    std::memcpy(target.verifier, archive.strongKeyRecord().verifier, sizeof target.verifier);
    target.iterations = archive.strongKeyRecord().iterations;
    return target;
}

bool strongGuessIsRight(const std::string& password, const StrongTarget& target) {
    StrongCipher cipher;
    return cipher.derive(reinterpret_cast<const uint8_t*>(password.data()), uint32_t(password.size()), target.salt,
                         target.iterations, 256) &&
           cipher.verifierMatches(target.verifier);
}

// OpenSSL's PBKDF2 for the master key; the verifier then needs one HMAC,
// which is left out (it is 1 of 2 x iterations + 3 compressions).
bool opensslMaster(const std::string& password, const StrongTarget& target, uint8_t* master) {
    return PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), target.salt, int(sizeof target.salt),
                             int(target.iterations), EVP_sha256(), StrongFormat::kMasterKeyBytes, master) == 1;
}

template <typename Attempt>
double guessesPerSecond(double seconds, Attempt attempt, uint64_t& tried) {
    const double start = cpuSeconds();
    tried = 0;
    bool anyRight = false;
    while (cpuSeconds() - start < seconds || tried == 0) {
        anyRight = attempt(guess(tried)) || anyRight;
        ++tried;
    }
    if (anyRight) std::fprintf(stderr, "password_bench: a wrong guess was taken for right\n");
    return double(tried) / (cpuSeconds() - start);
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t iterations = StrongFormat::kDefaultIterations;
    double seconds = 3.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--iterations") == 0) iterations = uint32_t(std::strtoul(argv[i + 1], nullptr, 10));
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::strtod(argv[i + 1], nullptr);
    }
    const std::vector<uint8_t> classic = payloadBytes(false, 0);
    const std::vector<uint8_t> strong = payloadBytes(true, iterations);
    const uint8_t* verifierBlock = classic.data() + kClassicVerifierOffset;
    const StrongTarget target = strongTarget(strong);

    if (!classicGuessIsRight(kRightPassword, verifierBlock) || !strongGuessIsRight(kRightPassword, target)) {
        std::fprintf(stderr, "password_bench: the right password is not recognised\n");
        return 1;
    }
    std::printf("AES engine: %s\n", AesCore::engine() == AesCore::Engine::CpuInstructions ? "AES instructions" : "tables");

    uint64_t tried = 0;
    const double classicRate = guessesPerSecond(seconds, [&](const std::string& p) {
        return classicGuessIsRight(p, verifierBlock);
    }, tried);
    std::printf("classic mode:   %12.0f guesses/s  (%llu tried)\n", classicRate, (unsigned long long)tried);

    const double strongRate = guessesPerSecond(seconds, [&](const std::string& p) {
        return strongGuessIsRight(p, target);
    }, tried);
    std::printf("strong mode:    %12.2f guesses/s  (%llu tried; PBKDF2-HMAC-SHA256, %u iterations)\n", strongRate,
                (unsigned long long)tried, iterations);

    uint8_t master[StrongFormat::kMasterKeyBytes];
    const double opensslRate = guessesPerSecond(seconds, [&](const std::string& p) {
        opensslMaster(p, target, master);
        return false;
    }, tried);
    std::printf("strong, OpenSSL PBKDF2: %6.2f guesses/s  (%llu tried)\n", opensslRate, (unsigned long long)tried);
    std::printf("classic / strong: %.0f times as many guesses\n", classicRate / strongRate);

    // What the installer does once: the derivation, timed on the wall clock.
    const auto begin = std::chrono::steady_clock::now();
    const bool right = strongGuessIsRight(kRightPassword, target);
    const double derivation =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("derivation time (right password, wall clock): %.3f s%s\n", derivation, right ? "" : " (NOT RIGHT)");

    // The verifier comparison with the first or the last byte wrong.
    StrongCipher cipher;
    cipher.derive(reinterpret_cast<const uint8_t*>(kRightPassword), uint32_t(std::strlen(kRightPassword)),
                  target.salt, 1, 256);
    uint8_t firstWrong[StrongFormat::kVerifierBytes], lastWrong[StrongFormat::kVerifierBytes];
    std::memcpy(firstWrong, cipher.verifier(), sizeof firstWrong);
    std::memcpy(lastWrong, cipher.verifier(), sizeof lastWrong);
    firstWrong[0] ^= 1;
    lastWrong[StrongFormat::kVerifierBytes - 1] ^= 1;
    constexpr uint32_t kComparisons = 20000000;
    for (const auto& [label, stored] : {std::pair<const char*, const uint8_t*>{"first byte wrong", firstWrong},
                                        std::pair<const char*, const uint8_t*>{"last byte wrong", lastWrong}}) {
        const double start = cpuSeconds();
        uint32_t matches = 0;
        for (uint32_t i = 0; i < kComparisons; ++i) matches += cipher.verifierMatches(stored) ? 1 : 0;
        std::printf("verifier comparison, %s: %.2f ns (%u matches)\n", label,
                    (cpuSeconds() - start) * 1e9 / kComparisons, matches);
    }
    return 0;
}
