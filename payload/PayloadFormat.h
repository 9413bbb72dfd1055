#pragma once
// Byte layout of the payload appended to the stub executable.
//
// Layout, in order and without gaps or padding (all integers little-endian):
//
//   stub executable            any bytes
//   marker                     8 bytes: u32 word 1, u32 word 2
//   archive header             6 bytes: u8 extension flags, 3 unused, u8 encryption flag,
//                              u8 key length code
//   settings table             up to 200 pairs { u16 N, N name bytes, u16 V, V value bytes },
//                              ended by N = 0 unless all 200 pairs are present
//   password verifier          encrypted payloads only: u8 L, L bytes of AES ciphertext of "qmfu"
//   entry records              { u32 magic, u8 type [, u16 N, N name bytes, u64 FILETIME,
//                              u32 attributes [, chunk records]] } ..., ended by a type-0 record
//   chunk records (type 2)     { u32 length field, n data bytes } ..., ended by a length field 0
//
// Everything listed here is fixed by the format: a reader and a writer that
// disagree on any of these values cannot exchange payloads.

#include <cstdint>

namespace PayloadFormat {

// --- Marker -----------------------------------------------------------------
// The marker's two words are 0xBF901248 and 0xAA91FF49 (bytes 48 12 90 BF
// 49 FF 91 AA). The stub searches its own file for them, so its image must
// never hold the 8 bytes in sequence: code that links into the stub composes
// each word at run time from a high byte kept in a (volatile) static variable
// and the low 24 bits given as an immediate. Only the parts are named here.
constexpr uint32_t kMarkerWord1HighByte = 0xBF000000u;
constexpr uint32_t kMarkerWord1Low24 = 0x00901248u;
constexpr uint32_t kMarkerWord2HighByte = 0xAA000000u;
constexpr uint32_t kMarkerWord2Low24 = 0x0091FF49u;
constexpr uint32_t kMarkerBytes = 8;
constexpr uint32_t kMarkerWordBytes = 4;

// --- Archive header ---------------------------------------------------------
constexpr uint32_t kArchiveHeaderBytes = 6;
// The first 4 bytes are not read by an installer that predates the
// extensions. Byte 0 holds flags for extensions that older readers do not
// see; bvsfx writes 0 in every other bit and in bytes 1 to 3.
constexpr uint32_t kHeaderExtensionFlagsOffset = 0;
// Unix modes and symbolic links follow the end record (UnixRecord.h).
// Honoured only in a payload that begins with a settings check record.
constexpr uint8_t kExtensionUnixTrailer = 0x01;
constexpr uint32_t kHeaderEncryptionFlagOffset = 4;  // 0 = plain, anything else = encrypted
constexpr uint32_t kHeaderKeyLengthCodeOffset = 5;   // 0 = 128, 1 = 192, else 256 bits

constexpr uint8_t kKeyLengthCode128 = 0;
constexpr uint8_t kKeyLengthCode192 = 1;
constexpr uint8_t kKeyLengthCode256 = 2;  // any code above 1 reads as 256
constexpr int32_t kKeyBits128 = 128;
constexpr int32_t kKeyBits192 = 192;
constexpr int32_t kKeyBits256 = 256;

// --- Settings table ---------------------------------------------------------
// The reader stops after this many pairs without looking for the zero name
// length, so a writer must not put a terminator after a full table.
constexpr uint32_t kMaxSettingsPairs = 200;
constexpr uint32_t kSettingsLengthFieldBytes = 2;  // u16 name length, u16 value length
constexpr uint32_t kSettingsBuckets = 400;         // hash buckets of the reader's map

// --- Password verifier ------------------------------------------------------
// Deciphered with the password's key, the record must be exactly these 4 bytes.
constexpr char kVerifierPlaintext[] = "qmfu";
constexpr uint32_t kVerifierPlaintextBytes = 4;
constexpr uint32_t kMaxVerifierBytes = 255;  // its length is a single byte

// --- Entry records ----------------------------------------------------------
constexpr uint32_t kEntryRecordMagic = 0x6D27E59Bu;  // bytes 9B E5 27 6D

enum EntryType : uint8_t {
    kEntryEnd = 0,        // magic and type only: 5 bytes
    kEntryDirectory = 1,  // full header, no data
    kEntryFile = 2,       // full header, then chunk records
    // Any other value: full header, no data; the reader skips it.
};

constexpr uint32_t kEntryMagicBytes = 4;
constexpr uint32_t kEntryTypeBytes = 1;
constexpr uint32_t kEntryNameLengthBytes = 2;
constexpr uint32_t kEntryTimeBytes = 8;  // FILETIME: u32 low, u32 high
constexpr uint32_t kEntryAttributesBytes = 4;
constexpr uint32_t kMaxEntryNameBytes = 0xFFFF;  // stored (for encrypted payloads: enciphered) length

// Progress for an entry counts its name length plus this much; it is the
// header's fixed part (19 bytes) less the 2 bytes of the name length field,
// which is what the reader has always reported.
constexpr uint32_t kEntryProgressOverheadBytes = 17;

// Windows attribute value that leaves a created file's attributes alone.
constexpr uint32_t kAttributesArchiveOnly = 0x20;
constexpr uint32_t kAttributeHidden = 0x02;

// --- Chunk records ----------------------------------------------------------
constexpr uint32_t kChunkLengthFieldBytes = 4;
constexpr uint32_t kChunkStoredFlag = 0x80000000u;  // bit 31: data stored as is
constexpr uint32_t kChunkLengthMask = 0x7FFFFFFFu;  // bits 0-30: byte count n
constexpr uint32_t kChunkEndOfData = 0;             // length field 0 ends a file's data
// The reader's work buffer; a chunk's n must stay below it.
constexpr uint32_t kChunkBufferBytes = 2048576;
constexpr uint32_t kMaxChunkBytes = kChunkBufferBytes - 1;  // 2,048,575

// --- Encryption -------------------------------------------------------------
// Every enciphered field (verifier, names, chunks) is a whole number of AES
// blocks, each field an independent CBC message from a zero IV.
constexpr uint32_t kCipherBlockBytes = 16;
constexpr uint32_t kMd5DigestBytes = 16;
constexpr char kKeyExtensionSuffix[] = "2";  // MD5(password + "2") extends 192/256-bit keys

}  // namespace PayloadFormat
