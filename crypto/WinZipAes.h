#pragma once
// WinZipAes: WinZip AES encryption of ZIP entry data (AE-1 / AE-2 layout,
// see crypto/WinZipAesFormat.h): encrypting a source, a file or a memory
// block into an Output, and decrypting one whole entry into a DataBuffer.
//
// The class holds no data: every operation builds its own WinZipAesContext
// on the stack, uses it and drops it (key material is wiped on the way out).
// All operations report failures to the optional log with fixed texts.
//
// Strength: 1, 2 or 3 (AES-128, -192, -256); the key set-up also accepts 128,
// 192 and 256.

#include <cstdint>

class DataBuffer;
class DataSource;
class LogBase;
class Output;
class StringBuffer;

class WinZipAes {
public:
    // Bytes that encryption adds to the plaintext: salt + verifier + code.
    // 24 for strength 2, 28 for strength 3, 20 for anything else.
    static uint32_t overhead(int32_t strength);

    // The strength code of a key length in bits: 2 for 192, 3 for 256,
    // 1 for anything else (the pipeline's keyBits mapping).
    static int32_t strengthFromKeyBits(uint32_t keyBits);

    // Decrypts one whole entry (salt, verifier, ciphertext, code) into out.
    // Clears both flags first. Fails with
    //   "Not enough data for a WinZip AES entry" (null entry, or shorter than
    //     the overhead of its strength),
    //   "WinZip AES decrypt initialization failed" (password over 128 bytes,
    //     strength not 1..3 / 128 / 192 / 256),
    //   "Invalid password for WinZip AES decryption" (verifier mismatch;
    //     badPassword set, out untouched),
    //   "WinZip AES authentication code mismatch" (badAuth set; out holds the
    //     deciphered bytes even then).
    // On success out holds exactly the plaintext. log may be null.
    static bool decryptEntry(const uint8_t* entry, uint32_t entryLength, const StringBuffer& password,
                             int32_t strength, DataBuffer& out, LogBase* log, bool& badPassword,
                             bool& badAuth);
    // The same over an entry held in a DataBuffer.
    static bool decryptEntry(const DataBuffer& entry, const StringBuffer& password, int32_t strength,
                             DataBuffer& out, LogBase* log, bool& badPassword, bool& badAuth);

    // Reads source to its end in slices of 8096 bytes and writes the whole
    // entry data (salt, verifier, ciphertext, code) to output. plaintextBytes
    // receives the number of bytes read. The salt is written before the key
    // set-up; a failed set-up ("WinZip AES encrypt initialization failed")
    // returns false with the salt already written. A failed read ("Failed to
    // read WinZip AES source data") or a short write ("Failed to write WinZip
    // AES entry data") returns false.
    static bool encryptSource(DataSource& source, const StringBuffer& password, int32_t strength,
                              Output& output, LogBase* log, uint32_t& plaintextBytes);

    // Opens the file (UTF-8 path) for reading and runs encryptSource on it.
    // False when the file cannot be opened (the open logs its own failure).
    static bool encryptFile(const char* utf8Path, const StringBuffer& password, int32_t strength,
                            Output& output, LogBase* log, uint32_t& plaintextBytes);

    // encryptSource over length bytes at data, in slices of at most 8096
    // bytes copied to a work buffer (the caller's bytes are not changed).
    // data may be null only when length is 0.
    static bool encryptMemory(const uint8_t* data, uint32_t length, const StringBuffer& password,
                              int32_t strength, Output& output, LogBase* log);
};
