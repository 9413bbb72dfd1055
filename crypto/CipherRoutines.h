#pragma once
// Whole-buffer and whole-file encryption with one of the three block ciphers
// of the SymmetricAlgorithm2 family, keyed from a password (setPassword:
// MD5 of the password, then MD5 of its Base64 text) and run in CBC mode
// where the cipher has one (Blowfish is always ECB; Twofish CBC starts from
// its fixed class IV; AES CBC from an all-zero IV).
//
// Cipher types (the numbers of the compression pipeline's encryptMethod):
// 1 AES, 2 Twofish, 3 Blowfish. Any other value selects AES.
//
// Buffers carry two PKCS#7 layers (one added here, one by the cipher), files
// one. The two forms are therefore not interchangeable: a buffer routine's
// output is not a file routine's output for the same bytes.
//
// Nothing throws; every routine reports by its result and deletes its cipher
// object before returning.

#include <cstdint>

class DataBuffer;
class LogBase;

enum CipherType : int32_t {
    kCipherTypeAes = 1,
    kCipherTypeTwofish = 2,
    kCipherTypeBlowfish = 3,
};

// Files go through in pieces of this size, so memory use stays near two
// pieces (the piece read and its result) whatever the file size.
constexpr uint32_t kCipherFilePieceBytes = 800000;
// The piece buffer: one piece plus room for a padding block and spare.
constexpr uint32_t kCipherFilePieceBufferBytes = 800064;

// Encrypts length bytes: PKCS#7-pads a copy, then lets the cipher encrypt it
// with its own padding. out receives roundup16(length + 1) + 16 bytes.
// length 0: out is emptied, true. Null bytes or null password: false, out
// unchanged. A failed encryption: false.
bool cipherEncryptBuffer(int32_t cipherType, int32_t keyBits, const char* password, const uint8_t* bytes,
                         uint32_t length, DataBuffer& out);

// The exact inverse of cipherEncryptBuffer: decrypts, then strips both
// padding layers (leniently: a wrong password is not detected and yields
// wrong bytes). length 0: out is emptied, true. Null bytes or null password:
// false.
bool cipherDecryptBuffer(int32_t cipherType, int32_t keyBits, const char* password, const uint8_t* bytes,
                         uint32_t length, DataBuffer& out);

// Encrypts the file at inputPath (UTF-8) into a new file at outputPath
// (created or truncated), one PKCS#7 layer for the whole file. For AES the
// output is AES-CBC of the padded file with an all-zero IV, whatever the
// number of pieces. A file of at most one piece is encrypted in one step;
// longer files piece by piece through the cipher's chained operations, which
// Twofish lacks: a Twofish input of more than one piece fails. An empty input
// gives an empty output and true.
// False when the input cannot be sized, opened or fully read (or is 4 GiB or
// larger), the output cannot be created or written, the password is null, or
// a piece fails to encrypt; the file layer describes its failures to log.
// The output file is left behind on failure.
bool cipherEncryptFile(int32_t cipherType, int32_t keyBits, const char* password, const char* inputPath,
                       const char* outputPath, LogBase* log);

// The inverse of cipherEncryptFile: a file of at most one piece is
// decrypted in one step, a longer one piece by piece (for AES with the CBC
// chain carried across pieces), the padding removed from the last. Twofish
// decrypts in one step any file its encryption can produce (one piece plus
// a padding block) and refuses longer ones. Failures as for encryption.
bool cipherDecryptFile(int32_t cipherType, int32_t keyBits, const char* password, const char* inputPath,
                       const char* outputPath, LogBase* log);
