#pragma once
// PayloadWriter: lays out the payload that SimpleArchive reads, field by
// field, behind whatever the target already holds (normally a copy of the
// stub).
//
// Calling order:
//   setEncryption (optional)          before writeHeader
//   writeHeader                       marker and 6-byte header
//   addSetting ...                    at most 200 pairs
//   endSettings                       terminator (unless 200 pairs), then the
//                                     password verifier of an encrypted payload
//   writeDirectory / beginFile, writeStoredChunk / writeCompressedChunk ...,
//   endFile / writeOtherEntry ...     the entries, in extraction order
//   writeEnd                          the end record
//   writeTrailerRecord ...            records behind the end record, for
//                                     readers that look there (UnixRecord.h)
// A call out of order, or any failed write, returns false and makes every
// later call return false too (failed() tells).
//
// Chunk data is given by the caller as it should come out of the reader's
// decryption step: the file's bytes for a stored chunk, one complete raw
// deflate stream for a compressed chunk. With encryption set, the writer
// enciphers the verifier, every entry name and every chunk, each as an
// independent AES-CBC message from a zero IV with PKCS#7 padding, under the
// key the reader derives from the same password.
// With strong encryption set instead (payload/StrongFormat.h), the verifier
// record is the strong key record (random salt, the iteration count, the
// derived verifier and the settings code), and every name and chunk is a
// sealed field: random IV, AES-CBC, HMAC-SHA256 code. The caller must then
// write the check records too (a strong payload is always checked), and the
// output differs from run to run (salt and IVs are random).
//
// The writer never holds the marker as a whole constant either (it composes
// it like the reader), although only the builder and the tests link it.

#include <cstdint>
#include <cstdio>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/Sha256.h"

class Output;
class Rijndael2;
class StrongCipher;

class PayloadWriter {
public:
    // Appends to an Output (borrowed; it must stay alive while writing).
    explicit PayloadWriter(Output& target);
    // Appends to a stdio stream (borrowed; not closed by the writer).
    explicit PayloadWriter(FILE* target);
    ~PayloadWriter();

    PayloadWriter(const PayloadWriter&) = delete;
    PayloadWriter& operator=(const PayloadWriter&) = delete;

    // Encrypts the payload under a key derived from password. keyBits is
    // 128, 192 or 256; an empty password or another key length gives false.
    bool setEncryption(const char* password, int32_t keyBits);

    // Encrypts the payload in the strong mode: keys from
    // PBKDF2-HMAC-SHA256 of the password with a random salt and the given
    // iteration count (kMinIterations..kMaxIterations). False as above, for
    // an iteration count out of range, or when the random source fails.
    bool setStrongEncryption(const char* password, int32_t keyBits, uint32_t iterations);

    // The strong mode's keys (null unless setStrongEncryption succeeded),
    // for callers that encipher chunks on other threads and hand them to
    // writeSealedChunk.
    const StrongCipher* strongCipher() const { return m_strong; }

    // Sets bits of the header's extension flags byte (PayloadFormat.h);
    // before writeHeader.
    bool setExtensionFlags(uint8_t flags);

    // Marker, then the header: the extension flags byte, 3 zero bytes, the encryption flag, the key
    // length code (0 for 128 bits, 1 for 192, 2 for 256).
    bool writeHeader();

    // One settings pair; name and value are text without terminator in the
    // payload. False after 200 pairs, for a null or empty name, or for a
    // name or value longer than 65535 bytes.
    bool addSetting(const char* name, const char* value);

    // Ends the settings table: the zero name length unless 200 pairs were
    // written (the reader does not look for it then), then the verifier
    // record of an encrypted payload.
    bool endSettings();

    // A directory entry (type 1). name is UTF-8, '/' or '\' separated;
    // fileTime a Windows FILETIME value; attributes Windows attribute bits
    // (the reader does not apply them to directories).
    bool writeDirectory(const char* name, uint64_t fileTime, uint32_t attributes);

    // Starts a file entry (type 2); chunks follow, then endFile. Attributes
    // exactly 0x20 leave the created file's attributes alone; 0x02 (hidden)
    // makes the reader create it hidden.
    bool beginFile(const char* name, uint64_t fileTime, uint32_t attributes);

    // A chunk of the file begun last. Returns false when the chunk as stored
    // (after encryption) would not fit the reader's buffer: at most
    // maxChunkInputBytes() bytes of data per chunk.
    bool writeStoredChunk(const void* data, uint32_t size);
    bool writeCompressedChunk(const void* deflateStream, uint32_t size);
    // Strong mode: a chunk already enciphered with StrongCipher::encipher
    // (IV and ciphertext, no code yet); the writer adds its code in payload
    // order and writes it.
    bool writeSealedChunk(bool stored, const uint8_t* ivAndCiphertext, uint32_t size);

    // The zero length field that ends the file's data.
    bool endFile();

    // An entry of a type other than 0, 1 and 2: the full record header and
    // nothing else (the reader skips it).
    bool writeOtherEntry(uint8_t type, const char* name, uint64_t fileTime, uint32_t attributes);

    // The end record (magic and type 0).
    bool writeEnd();

    // After writeEnd: a record of any type but 0 with text (size bytes,
    // which may hold NUL bytes) as its name, time and attributes 0; the
    // text enciphered like every name. writeTrailerEnd ends them with an
    // end record.
    bool writeTrailerRecord(uint8_t type, const void* text, uint32_t size);
    bool writeTrailerEnd();

    // Appends bytes as they stand, for callers that lay out a field
    // themselves (damaged payloads in tests).
    bool writeRaw(const void* data, uint32_t size);

    // Largest chunk data size the caller may pass: 2,048,575 without
    // encryption, 2,048,559 with it (the padding must still fit), 2,048,511
    // in the strong mode (IV and code too).
    uint32_t maxChunkInputBytes() const;

    // Bytes appended so far.
    uint64_t getBytesWritten() const { return m_bytesWritten; }
    bool isEncrypted() const { return m_encrypted; }
    bool isStrong() const { return m_strong != nullptr; }
    bool failed() const { return m_failed; }

private:
    enum class Stage { Start, Settings, Entries, InFile, Ended, TrailerEnded };

    bool emit(const void* data, uint32_t size);
    bool emitU8(uint8_t value);
    bool emitU16(uint16_t value);
    bool emitU32(uint32_t value);
    bool emitU64(uint64_t value);
    bool fail();
    bool enter(Stage expected);
    // The stored form of a name, verifier or chunk: enciphered when the
    // payload is encrypted, else a copy.
    bool storedForm(const void* data, uint32_t size, DataBuffer& stored);
    // The sealed form of a strong field, with the next sequence number.
    bool sealedForm(uint8_t kind, const uint8_t* context, uint32_t contextBytes, const void* data,
                    uint32_t size, DataBuffer& stored);
    bool writeStrongKeyRecord();
    bool writeEntryHeader(uint8_t type, const char* name, uint64_t fileTime, uint32_t attributes);
    bool writeRecordHeader(uint8_t type, const void* name, uint32_t nameBytes, uint64_t fileTime,
                           uint32_t attributes);
    bool writeChunk(const void* data, uint32_t size, uint32_t storedFlag);
    bool writeVerifier();

    Output* m_output;
    FILE* m_stream;
    Rijndael2* m_cipher;  // only with encryption
    bool m_encrypted;
    int32_t m_keyBits;
    uint8_t m_extensionFlags;
    uint32_t m_settingsCount;
    Stage m_stage;
    bool m_failed;
    uint64_t m_bytesWritten;
    // Strong mode: the keys, the key record's salt and iteration count, the
    // SHA-256 of the header and settings table as written, the sealed
    // fields written so far.
    StrongCipher* m_strong;
    uint8_t m_salt[16];
    uint32_t m_iterations;
    Sha256 m_settingsSha;
    bool m_hashingEmits;
    uint64_t m_fieldSequence;
};
