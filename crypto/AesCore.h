#pragma once
// AesCore — the bare AES block transform of FIPS-197: key expansion for
// 128-, 192- and 256-bit keys and the encryption or decryption of 16-byte
// blocks, one at a time or many (ECB, CBC). No padding, no key material
// handling: the cipher classes (Rijndael2, the WinZip AES counter mode)
// build those on top.
//
// Three engines compute the same bytes: the processor's AES instructions
// (AesInstructionTransform), used whenever the processor has them; else
// the SSSE3 byte shuffle on 16-entry tables (AesVectorPermuteTransform),
// on every x86 processor since about 2006; else round tables
// (AesTableTransform). The choice is made at run time, so one build serves
// every x86 processor.
//
// The decryption schedule is kept in the form of the equivalent inverse cipher
// (FIPS-197 section 5.3.5): round keys in reverse order, with InvMixColumns
// applied to all but the first and the last, so decryption runs the same
// round structure as encryption.

#include <cstddef>
#include <cstdint>

// Sizes fixed by FIPS-197.
constexpr uint32_t kAesBlockBytes = 16;
constexpr uint32_t kAes128KeyBytes = 16;
constexpr uint32_t kAes192KeyBytes = 24;
constexpr uint32_t kAes256KeyBytes = 32;
constexpr int32_t kAes128Rounds = 10;
constexpr int32_t kAes192Rounds = 12;
constexpr int32_t kAes256Rounds = 14;
constexpr int32_t kAesMaxRounds = kAes256Rounds;
// One round key per round plus the initial AddRoundKey; four 32-bit words each.
constexpr uint32_t kAesMaxRoundKeys = kAesMaxRounds + 1;
constexpr uint32_t kAesWordsPerRoundKey = 4;
constexpr uint32_t kAesMaxScheduleWords = kAesMaxRoundKeys * kAesWordsPerRoundKey;

class AesCore {
public:
    // Which transform the current schedule serves.
    enum class Direction : int32_t { Encrypt = 0, Decrypt = 1 };
    // Which code computes the rounds.
    enum class Engine : int32_t { Tables = 0, CpuInstructions = 1, VectorPermute = 2 };

    // The engine every AesCore of the process uses, unless useEngine chose:
    // CpuInstructions when the processor has them, else VectorPermute when
    // it has SSSE3, else Tables.
    static Engine engine();
    // Makes every AesCore of the process use the given engine from now on
    // (tests and benchmarks compare them). Asking for an engine whose
    // instructions the processor lacks changes nothing and returns false.
    // Schedules made before the call serve the new engine as well.
    static bool useEngine(Engine engine);

    // Starts without a schedule (isReady() is false).
    AesCore();
    // Overwrites the schedule with zeros.
    ~AesCore();

    AesCore(const AesCore&) = delete;
    AesCore& operator=(const AesCore&) = delete;

    // Expands a key of exactly 16, 24 or 32 bytes into the schedule for the
    // given direction. Any other length (or a null key) wipes the schedule,
    // leaves the object not ready and returns false.
    bool expandKey(const uint8_t* key, uint32_t keyBytes, Direction direction);

    // Enciphers one 16-byte block. Requires a ready encryption schedule; in and
    // out may be the same block. Does nothing when the schedule is not ready
    // or was made for decryption.
    void encryptBlock(const uint8_t* in, uint8_t* out) const;

    // Deciphers one 16-byte block. Requires a ready decryption schedule; in and
    // out may be the same block. Does nothing when the schedule is not ready
    // or was made for encryption.
    void decryptBlock(const uint8_t* in, uint8_t* out) const;

    // Many blocks at once: whole 16-byte blocks from in to out, which may be
    // the same memory (not partly overlapping). Each requires a ready
    // schedule of its direction and does nothing otherwise.
    void encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const;
    void decryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const;
    // CBC: chain holds the 16-byte initialisation vector (or the previous
    // call's last ciphertext block) and is left holding this call's last
    // ciphertext block, so consecutive calls continue one chain.
    void encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const;
    void decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const;

    // True after a successful expandKey, until wipe().
    bool isReady() const { return m_rounds != 0; }
    // The direction of the current schedule (meaningful when ready).
    Direction direction() const { return m_direction; }
    // 10, 12 or 14 when ready; 0 otherwise.
    int32_t rounds() const { return m_rounds; }

    // Overwrites the schedule with zeros; the object is no longer ready.
    void wipe();

private:
    bool readyFor(Direction direction) const { return isReady() && m_direction == direction; }

    // Round keys in the layout described in AesTableTransform.h, which the
    // table and instruction engines read; aligned for the 16-byte loads of
    // the instruction path.
    alignas(16) uint32_t m_roundKeys[kAesMaxScheduleWords];
    // The same round keys in the vector-permute engine's basis and byte
    // order (AesVectorPermuteTransform.h), made with them on a processor
    // with SSSE3.
    alignas(16) uint8_t m_permutedKeys[kAesMaxRoundKeys * kAesBlockBytes];
    int32_t m_rounds;
    Direction m_direction;
};
