#include "crypto/AesCore.h"

#include "crypto/AesInstructionTransform.h"
#include "crypto/AesTableTransform.h"
#include "crypto/AesVectorPermuteTransform.h"
#include "crypto/CpuFeatures.h"
#include "core/SecretWipe.h"

namespace {

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
    if (cpuHasSsse3())
        aesVectorPermutePrepareSchedule(m_roundKeys, rounds, direction == Direction::Decrypt, m_permutedKeys);
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
            aesVectorPermuteEncryptBlocks(m_permutedKeys, m_rounds, in, out, blocks);
            break;
        case Engine::Tables: aesTableEncryptBlocks(m_roundKeys, m_rounds, in, out, blocks); break;
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
        case Engine::Tables: aesTableDecryptBlocks(m_roundKeys, m_rounds, in, out, blocks); break;
    }
}

void AesCore::encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    if (!readyFor(Direction::Encrypt)) return;
    switch (selectedEngine()) {
        case Engine::CpuInstructions:
            aesInstructionEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
            break;
        case Engine::VectorPermute:
            aesVectorPermuteEncryptCbc(m_permutedKeys, m_rounds, in, out, blocks, chain);
            break;
        case Engine::Tables: aesTableEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain); break;
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
        case Engine::Tables: aesTableDecryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain); break;
    }
}
