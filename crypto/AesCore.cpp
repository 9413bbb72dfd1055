#include "crypto/AesCore.h"

#include "crypto/AesCompactTableTransform.h"
#include "crypto/AesInstructionTransform.h"
#include "crypto/AesTableTransform.h"
#include "crypto/AesVectorPermuteTransform.h"
#include "crypto/CpuFeatures.h"
#include "core/SecretWipe.h"

namespace {

// The installer stub (BRIVANE_COMPACT_AES) trades speed for size where
// speed matters little to it: its table engine has one round table per
// direction (AesCompactTableTransform.h), and since it only deciphers (its
// ciphering is reachable through virtual tables alone, never called), the
// vector-permute engine's encryption is not built into it
// (cmake/StubBuild.cmake) and the tables encrypt.
#ifdef BRIVANE_COMPACT_AES
constexpr auto tableEncryptBlocks = aesCompactTableEncryptBlocks;
constexpr auto tableDecryptBlocks = aesCompactTableDecryptBlocks;
constexpr auto tableEncryptCbc = aesCompactTableEncryptCbc;
constexpr auto tableDecryptCbc = aesCompactTableDecryptCbc;
constexpr bool kVectorPermuteEncrypts = false;
#else
constexpr auto tableEncryptBlocks = aesTableEncryptBlocks;
constexpr auto tableDecryptBlocks = aesTableDecryptBlocks;
constexpr auto tableEncryptCbc = aesTableEncryptCbc;
constexpr auto tableDecryptCbc = aesTableDecryptCbc;
constexpr bool kVectorPermuteEncrypts = true;
#endif

AesCore::Engine bestEngine() {
    if (cpuHasAesInstructions()) return AesCore::Engine::CpuInstructions;
    if (cpuHasSsse3()) return AesCore::Engine::VectorPermute;
    return AesCore::Engine::Tables;
}

AesCore::Engine& selectedEngine() {
    static AesCore::Engine engine = bestEngine();
    return engine;
}

bool engineAvailable(AesCore::Engine engine) {
    switch (engine) {
        case AesCore::Engine::CpuInstructions: return cpuHasAesInstructions();
        case AesCore::Engine::VectorPermute: return cpuHasSsse3();
        case AesCore::Engine::Tables: return true;
    }
    return false;
}

}  // namespace

AesCore::Engine AesCore::engine() { return selectedEngine(); }

bool AesCore::useEngine(Engine engine) {
    if (!engineAvailable(engine)) return false;
    selectedEngine() = engine;
    return true;
}

AesCore::AesCore() : m_roundKeys{}, m_permutedKeys{}, m_rounds(0), m_direction(Direction::Encrypt) {}

AesCore::~AesCore() { wipe(); }

void AesCore::wipe() {
    wipeSecretBytes(m_roundKeys, sizeof(m_roundKeys));
    wipeSecretBytes(m_permutedKeys, sizeof(m_permutedKeys));
    m_rounds = 0;
}

bool AesCore::expandKey(const uint8_t* key, uint32_t keyBytes, Direction direction) {
    wipe();
    int32_t rounds = 0;
    switch (keyBytes) {
        case kAes128KeyBytes: rounds = kAes128Rounds; break;
        case kAes192KeyBytes: rounds = kAes192Rounds; break;
        case kAes256KeyBytes: rounds = kAes256Rounds; break;
        default: return false;
    }
    if (key == nullptr) return false;

    m_rounds = rounds;
    m_direction = direction;
    aesTableExpandKey(key, keyBytes / 4, rounds, m_roundKeys);
    if (direction == Direction::Decrypt) aesTableInvertSchedule(m_roundKeys, rounds);
    // Made whichever engine is chosen now: useEngine may switch later, and
    // the schedule must then be ready (a few hundred byte operations).
    const bool decrypt = direction == Direction::Decrypt;
    if (cpuHasSsse3()) {
        if (decrypt)
            aesVectorPermuteDecryptSchedule(m_roundKeys, rounds, m_permutedKeys);
        else if constexpr (kVectorPermuteEncrypts)
            aesVectorPermuteEncryptSchedule(m_roundKeys, rounds, m_permutedKeys);
    }
    return true;
}

void AesCore::encryptBlock(const uint8_t* in, uint8_t* out) const { encryptBlocks(in, out, 1); }

void AesCore::decryptBlock(const uint8_t* in, uint8_t* out) const { decryptBlocks(in, out, 1); }

void AesCore::encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
    if (!readyFor(Direction::Encrypt)) return;
    switch (selectedEngine()) {
        case Engine::CpuInstructions:
            aesInstructionEncryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
            break;
        case Engine::VectorPermute:
            if constexpr (kVectorPermuteEncrypts) {
                aesVectorPermuteEncryptBlocks(m_permutedKeys, m_rounds, in, out, blocks);
                break;
            }
            [[fallthrough]];
        case Engine::Tables: tableEncryptBlocks(m_roundKeys, m_rounds, in, out, blocks); break;
    }
}

void AesCore::decryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
    if (!readyFor(Direction::Decrypt)) return;
    switch (selectedEngine()) {
        case Engine::CpuInstructions:
            aesInstructionDecryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
            break;
        case Engine::VectorPermute:
            aesVectorPermuteDecryptBlocks(m_permutedKeys, m_rounds, in, out, blocks);
            break;
        case Engine::Tables: tableDecryptBlocks(m_roundKeys, m_rounds, in, out, blocks); break;
    }
}

void AesCore::encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    if (!readyFor(Direction::Encrypt)) return;
    switch (selectedEngine()) {
        case Engine::CpuInstructions:
            aesInstructionEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
            break;
        case Engine::VectorPermute:
            if constexpr (kVectorPermuteEncrypts) {
                aesVectorPermuteEncryptCbc(m_permutedKeys, m_rounds, in, out, blocks, chain);
                break;
            }
            [[fallthrough]];
        case Engine::Tables: tableEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain); break;
    }
}

void AesCore::decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    if (!readyFor(Direction::Decrypt)) return;
    switch (selectedEngine()) {
        case Engine::CpuInstructions:
            aesInstructionDecryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
            break;
        case Engine::VectorPermute:
            aesVectorPermuteDecryptCbc(m_permutedKeys, m_rounds, in, out, blocks, chain);
            break;
        case Engine::Tables: tableDecryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain); break;
    }
}
