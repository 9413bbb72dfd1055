#include "crypto/AesCore.h"

#include "crypto/AesInstructionTransform.h"
#include "crypto/AesTableTransform.h"
#include "crypto/CpuFeatures.h"
#include "core/SecretWipe.h"

namespace {

AesCore::Engine& selectedEngine() {
    static AesCore::Engine engine =
        cpuHasAesInstructions() ? AesCore::Engine::CpuInstructions : AesCore::Engine::Tables;
    return engine;
}

bool useInstructions() { return selectedEngine() == AesCore::Engine::CpuInstructions; }

}  // namespace

AesCore::Engine AesCore::engine() { return selectedEngine(); }

bool AesCore::useEngine(Engine engine) {
    if (engine == Engine::CpuInstructions && !cpuHasAesInstructions()) return false;
    selectedEngine() = engine;
    return true;
}

AesCore::AesCore() : m_roundKeys{}, m_rounds(0), m_direction(Direction::Encrypt) {}

AesCore::~AesCore() { wipe(); }

void AesCore::wipe() {
    wipeSecretBytes(m_roundKeys, sizeof(m_roundKeys));
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
    return true;
}

void AesCore::encryptBlock(const uint8_t* in, uint8_t* out) const { encryptBlocks(in, out, 1); }

void AesCore::decryptBlock(const uint8_t* in, uint8_t* out) const { decryptBlocks(in, out, 1); }

void AesCore::encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
    if (!readyFor(Direction::Encrypt)) return;
    if (useInstructions())
        aesInstructionEncryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
    else
        aesTableEncryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
}

void AesCore::decryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
    if (!readyFor(Direction::Decrypt)) return;
    if (useInstructions())
        aesInstructionDecryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
    else
        aesTableDecryptBlocks(m_roundKeys, m_rounds, in, out, blocks);
}

void AesCore::encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    if (!readyFor(Direction::Encrypt)) return;
    if (useInstructions())
        aesInstructionEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
    else
        aesTableEncryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
}

void AesCore::decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const {
    if (!readyFor(Direction::Decrypt)) return;
    if (useInstructions())
        aesInstructionDecryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
    else
        aesTableDecryptCbc(m_roundKeys, m_rounds, in, out, blocks, chain);
}
