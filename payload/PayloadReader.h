#pragma once
// PayloadReader: reads a payload record by record without extracting
// anything, for tools that list, check or extract it themselves.
//
// The start of the payload (marker, header, settings table, password
// verifier) is read by a SimpleArchive, the installer's own reader, so that
// a tool accepts exactly what an installer accepts. The entry and chunk
// records that follow are read with the same framing as
// SimpleArchive::extractNext (payload/PayloadFormat.h), but handed to the
// caller instead of being written to disk, together with their offsets and
// the precise reason when the framing breaks.
//
// Calling order: open; for an encrypted payload checkPassword; then
// nextRecord until it returns anything but Entry, and after each file entry
// (type 2) nextChunk until it returns anything but Data.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "payload/FieldReader.h"
#include "payload/StrongKeyRecord.h"

class DataSource;
class Rijndael2;
class SimpleArchive;
class StrongCipher;

class PayloadReader {
public:
    enum class OpenResult { Ok, NoMarker, BadHeader, BadSettings };
    enum class PasswordResult { Ok, Wrong, NotEncrypted };
    enum class RecordResult {
        Entry,      // a record was read
        End,        // the end record
        Truncated,  // the data ended inside a record (or before the end record)
        BadMagic,   // the next 4 bytes are not a record's magic
        BadName,    // name length 0, or an enciphered name that is not whole AES blocks
    };
    enum class ChunkResult {
        Data,       // a chunk was read
        EndOfData,  // the zero length field: the file is complete
        Truncated,  // the data ended inside a chunk record
        Oversized,  // a length of 2,048,576 or more, which the installer cannot take
    };

    struct Setting {
        std::string name;
        std::string value;
    };

    struct EntryRecord {
        uint8_t type = 0;
        uint32_t storedNameBytes = 0;  // as stored (ciphertext length when encrypted)
        std::string name;              // plain text (deciphered; lenient padding removal)
        bool namePaddingValid = true;  // encrypted: the padding was well formed (strong
                                       // mode: the name's code matched)
        uint64_t fileTime = 0;
        uint32_t attributes = 0;
        uint64_t offset = 0;  // of the record's magic, from the start of the file
    };

    struct ChunkRecord {
        bool stored = false;     // bit 31
        uint32_t dataBytes = 0;  // n
        uint64_t offset = 0;     // of the length field
        uint64_t sequence = 0;   // strong mode: the sealed field's number
    };

    // The source is borrowed and read from its current position (normally
    // the start of the installer file).
    explicit PayloadReader(DataSource& source);
    ~PayloadReader();

    PayloadReader(const PayloadReader&) = delete;
    PayloadReader& operator=(const PayloadReader&) = delete;

    // Finds the marker, reads the header and the settings table.
    OpenResult open();

    // Offset of the marker: the size of the stub in front of the payload.
    uint64_t markerOffset() const { return m_markerOffset; }
    bool isEncrypted() const;
    int32_t keyBits() const;
    // The payload is in the strong mode (known once the verifier record has
    // been read by checkPassword or skipPasswordCheck); its key record.
    bool isStrong() const { return m_strongMode; }
    const StrongKeyRecord& strongKeyRecord() const { return m_strongRecord; }
    // Strong mode after checkPassword returned Ok: the header and settings
    // table match their code. False means they were changed.
    bool settingsAuthentic() const { return m_settingsAuthentic; }
    // The settings table as stored, in order, repeated names included.
    const std::vector<Setting>& settings() const { return m_settings; }
    // Whether the table ended with a zero name length (false after 200 pairs).
    bool settingsTerminated() const { return m_settingsTerminated; }
    // The header and the settings table exactly as stored.
    const std::vector<uint8_t>& headerAndSettingsBytes() const { return m_headerAndSettings; }
    // The value the installer uses (the last of a repeated name).
    bool getSetting(const char* name, std::string& value);

    // Reads the verifier record with the password; on Ok names and chunks
    // decipher with it. The verifier is consumed whatever the result.
    PasswordResult checkPassword(const char* password);
    // Steps over the verifier record of an encrypted payload without a
    // password (names and chunks then stay enciphered). False when it is
    // cut short.
    bool skipPasswordCheck();

    RecordResult nextRecord(EntryRecord& record);
    // data receives the chunk's bytes as stored (still enciphered).
    ChunkResult nextChunk(ChunkRecord& chunk, DataBuffer& data);

    // Deciphers one stored field (verifier, name, chunk) as the installer
    // does, with the lenient padding removal. False when the field is not a
    // whole number of AES blocks. paddingValid tells whether the last block
    // ended in well-formed PKCS#7 padding (1 to 16 bytes of its own length):
    // deciphering with damage in the last block almost never gives it.
    bool decipher(const DataBuffer& stored, DataBuffer& plain, bool& paddingValid);
    // A chunk as the payload's mode stores it: in the strong mode its code
    // is checked first (paddingValid false when it does not match);
    // otherwise as decipher.
    bool decipherChunk(const ChunkRecord& chunk, const DataBuffer& stored, DataBuffer& plain,
                       bool& paddingValid);

    // Bytes read from the source so far (the offset of the next byte).
    uint64_t position() const;

private:
    class CountingSource;

    // tableBytes: the header, then the settings table.
    void collectSettings(const std::vector<uint8_t>& tableBytes);
    RecordResult readStrongRecordTail(const DataBuffer& stored, EntryRecord& record);

    std::unique_ptr<CountingSource> m_source;
    std::unique_ptr<SimpleArchive> m_archive;
    FieldReader m_fields;                    // the record fields, read from m_source
    std::unique_ptr<Rijndael2> m_cipher;     // after checkPassword
    std::unique_ptr<StrongCipher> m_strong;  // after checkPassword, strong mode
    bool m_strongMode = false;
    bool m_settingsAuthentic = true;
    StrongKeyRecord m_strongRecord;
    uint64_t m_fieldSequence = 0;
    std::vector<Setting> m_settings;
    std::vector<uint8_t> m_headerAndSettings;
    bool m_settingsTerminated = false;
    uint64_t m_markerOffset = 0;
};
