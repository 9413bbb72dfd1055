#pragma once
// Byte layout of the strong password mode: an encrypted payload whose key
// comes from a salted, slow derivation and whose every part is
// authenticated.
//
// The payload's framing stays what payload/PayloadFormat.h lays out; the
// strong mode changes only the verifier record and the enciphered fields.
//
//   archive header       encryption flag 1, key length code as usual
//   settings table       as usual (plain)
//   key record           u8 0                 where a classic verifier has its
//                                             length: classic readers refuse a
//                                             verifier of length 0, so they end
//                                             at "Incorrect password." whatever
//                                             the password
//                        4 bytes "BVS2"       the strong mode's tag
//                        u8 derivation        1 = PBKDF2-HMAC-SHA256
//                        u32 iterations       of the derivation
//                        16 bytes salt        random per payload
//                        32 bytes verifier    HMAC-SHA256(master, "verifier")
//                        32 bytes settings    HMAC-SHA256(MAC key, "settings" ||
//                             code            SHA-256(header || settings table) ||
//                                             the key record up to the verifier)
//   entry records        as usual; every name field (check records' too) and
//                        every chunk's data is a sealed field:
//                        16 bytes IV          random per field
//                        ciphertext           AES-CBC under the cipher key,
//                                             PKCS#7 padding
//                        32 bytes code        HMAC-SHA256(MAC key, kind || u64
//                                             sequence || context || IV ||
//                                             ciphertext)
//
// The keys: master = PBKDF2-HMAC-SHA256(password, salt, iterations, 32
// bytes); the cipher key, the MAC key and the verifier are HMAC-SHA256 of
// the master with three distinct labels, so one derivation gives all three
// and none reveals another. The sequence number counts the sealed fields of
// the payload from 0 in payload order: a field moved, repeated or dropped no
// longer matches. A name's context is the record's type, FILETIME and
// attributes (they follow the name, but the code is checked after reading
// them); a chunk's context is its stored flag. A strong payload always
// carries the check records (payload/CheckRecord.h): the closing one counts
// the entries, so a payload cut short is found too.

#include <cstdint>

namespace StrongFormat {

constexpr uint8_t kClassicVerifierLength = 0;  // the byte that makes classic readers refuse
constexpr uint8_t kTag[4] = {'B', 'V', 'S', '2'};
constexpr uint32_t kTagBytes = 4;
constexpr uint8_t kDerivationPbkdf2HmacSha256 = 1;

constexpr uint32_t kSaltBytes = 16;
constexpr uint32_t kVerifierBytes = 32;
constexpr uint32_t kMacBytes = 32;
constexpr uint32_t kMasterKeyBytes = 32;
constexpr uint32_t kIvBytes = 16;
constexpr uint32_t kCipherBlockBytes = 16;

// Offsets in the key record after its leading 0 byte.
constexpr uint32_t kTagOffset = 0;
constexpr uint32_t kDerivationOffset = 4;
constexpr uint32_t kIterationsOffset = 5;
constexpr uint32_t kSaltOffset = 9;
constexpr uint32_t kVerifierOffset = kSaltOffset + kSaltBytes;             // 25
constexpr uint32_t kSettingsMacOffset = kVerifierOffset + kVerifierBytes;  // 57
constexpr uint32_t kRecordBytes = kSettingsMacOffset + kMacBytes;          // 89, after the 0 byte

// What bvsfx writes unless told otherwise, and what a reader accepts. The
// upper limit keeps a changed iteration count from holding the installer
// for hours before the verifier refuses the password.
constexpr uint32_t kDefaultIterations = 600000;
constexpr uint32_t kMinIterations = 1;
constexpr uint32_t kMaxIterations = 10000000;

// A sealed field: IV, at least one padded block, code.
constexpr uint32_t kSealOverheadBytes = kIvBytes + kMacBytes;
constexpr uint32_t kMinSealedBytes = kSealOverheadBytes + kCipherBlockBytes;

// The kinds in a sealed field's code, so that a name cannot stand in for a
// chunk.
constexpr uint8_t kFieldName = 'N';
constexpr uint8_t kFieldChunk = 'C';
constexpr uint32_t kNameContextBytes = 1 + 8 + 4;  // type, FILETIME, attributes
constexpr uint32_t kChunkContextBytes = 1;         // 1 = stored, 0 = deflated

// Labels of the keys drawn from the master key.
constexpr char kCipherKeyLabel[] = "brivane strong mode: cipher key";
constexpr char kMacKeyLabel[] = "brivane strong mode: authentication key";
constexpr char kVerifierLabel[] = "brivane strong mode: password verifier";
constexpr char kSettingsLabel[] = "settings";

// Largest plaintext whose sealed form fits a stored length: whole padded
// blocks (at least one byte of padding) plus the IV and the code.
constexpr uint32_t maxPlainBytesFor(uint32_t storedLimit) {
    return ((storedLimit - kSealOverheadBytes) / kCipherBlockBytes) * kCipherBlockBytes - 1;
}

}  // namespace StrongFormat
