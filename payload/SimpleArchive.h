#pragma once
// SimpleArchive: reader of the payload appended to the stub executable
// (layout in payload/PayloadFormat.h).
//
// Calling order: setSource, findMarker, readHeader, readArgs, any number of
// getArg; for an encrypted payload usePassword and verifyPassword (which
// consumes the verifier record); then extractNext until it returns false or
// reports finished.
//
// Every read goes through the source's readBytes; a read that fails or
// delivers fewer bytes than asked counts as failed. The archive never logs
// and never shows anything: results are booleans, and after extractNext
// returned false getFailure() says why.
//
// Entries are created relative to the process's current directory (the
// extraction run has made it the destination); names are taken as they
// stand, so a name starting with a drive letter and colon, or with '\', is
// created at that absolute place. A name with a ".." component is refused as
// damage (payload/EntryPath.h).

#include <cstdint>

#include "core/DataBuffer.h"
#include "core/HashMap.h"
#include "core/StringBuffer.h"
#include "crypto/Rijndael2.h"
#include "payload/SaProgress.h"

class DataSource;
class Output;

class SimpleArchive {
public:
    // Why the last extractNext returned false.
    enum class Failure : int32_t {
        None = 0,
        // The payload ended early or holds something the format does not
        // allow: no source, unreadable record, wrong record magic, zero name
        // length, short or oversized chunk, damaged deflate stream, enciphered
        // field that is not whole AES blocks, a directory or file name with a
        // ".." component.
        Damaged = 1,
        // A directory, a file's parent directories or the file itself could
        // not be created.
        CannotCreate = 2,
        // Writing a file's data delivered fewer bytes than asked (full disk).
        WriteFailed = 3,
    };

    // No source, not encrypted, key length 128, empty password, an empty
    // settings map of 400 buckets, and the 2,048,576-byte chunk buffer.
    SimpleArchive();
    // Overwrites the password; the source is not touched.
    ~SimpleArchive();

    SimpleArchive(const SimpleArchive&) = delete;
    SimpleArchive& operator=(const SimpleArchive&) = delete;

    // Attaches the source (borrowed, never deleted); reading goes on from its
    // current position.
    void setSource(DataSource* source);

    // Searches from the current position for the 8-byte marker and leaves the
    // source just after it. A first word followed by anything but the second
    // is skipped and the search goes on behind it. False without a source or
    // when the data ends first.
    bool findMarker();

    // Reads the 6-byte header: byte 4 != 0 means encrypted; byte 5 gives the
    // key length (0: 128, 1: 192, any other: 256 bits). False without a
    // source or when fewer than 6 bytes arrive.
    bool readHeader();

    // Reads the settings table into the map: pairs until a zero name length,
    // or 200 pairs without a terminator. A later pair with the same name
    // replaces the earlier value. False on a failed read; pairs read before
    // it stay in the map.
    bool readArgs();

    // Empties value, then copies the named setting into it. True when the
    // name is present (exact, case-sensitive match).
    bool getArg(const char* name, StringBuffer& value);

    // The header's encryption flag, and the key length in bits.
    bool isEncrypted() const { return m_encrypted; }
    int32_t getKeyLength() const { return m_keyLength; }

    // The password becomes a copy of text (null: empty).
    void usePassword(const char* text);

    // Fills key with the AES key for password at the header's key length:
    // MD5(password), then for 192 bits the first 8 and for 256 bits all 16
    // bytes of MD5(password + "2").
    void deriveKey(const StringBuffer& password, DataBuffer& key);

    // Sets the cipher up (AES, CBC, zero IV, key from the stored password)
    // and reads the verifier record, which must come directly after the
    // settings table. True exactly when it deciphers to the 4 bytes "qmfu".
    // The record is consumed whatever the outcome. False when the payload is
    // not encrypted, the record is unreadable or empty, or its length is not
    // a whole number of AES blocks.
    bool verifyPassword();

    // Reads one entry record and makes it real below the current directory:
    // a directory tree with its times, or a file with its data, times and
    // attributes. Records of other types are skipped.
    // Returns true with finished = false after an entry, true with
    // finished = true at the end record, and false (finished = true) when
    // the record cannot be read or its entry cannot be completely written;
    // getFailure() then says which. A file whose data stops early stays as
    // far as written, with its times and attributes applied.
    // progress (may be null) gets one onProgress per directory and per chunk.
    bool extractNext(bool& finished, SaProgress* progress);

    // The reason of the last false from extractNext; None after a true.
    Failure getFailure() const { return m_failure; }

private:
    struct EntryHeader;
    enum class ChunkLoopEnd { Complete, Damaged, WriteFailed };

    bool readExact(void* buffer, uint32_t bytes);
    bool readU8(uint8_t& value);
    bool readU16(uint16_t& value);
    bool readU32(uint32_t& value);
    bool readEntryHeader(EntryHeader& header);
    bool decipherField(const DataBuffer& stored, DataBuffer& plain);
    bool extractDirectory(const EntryHeader& header, SaProgress* progress);
    bool extractFile(const EntryHeader& header, SaProgress* progress);
    ChunkLoopEnd copyChunks(Output& out, uint32_t& pending, SaProgress* progress);
    bool fail(Failure failure);

    Rijndael2 m_cipher;
    HashMap m_settings;
    DataSource* m_source;
    bool m_encrypted;
    int32_t m_keyLength;
    StringBuffer m_password;
    DataBuffer m_workBuffer;  // receives each chunk's data
    Failure m_failure;
};
