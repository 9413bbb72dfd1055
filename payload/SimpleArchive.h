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
//
// A payload whose first entry record is a settings check record (written by
// bvsfx, payload/CheckRecord.h) is checked throughout: the header and the
// settings table before anything is created, each directory entry before it
// is created, each file after its data (a file that fails its check is
// deleted again), the number of entries at the end. Anything a check
// record does not confirm is damage. A payload without check records is
// extracted as the format alone allows.
//
// An encrypted payload is in one of two modes. The classic one (MD5 of the
// password, a fixed verifier, no authentication) is what the format always
// had. The strong one (payload/StrongFormat.h) is chosen by a verifier
// record of length 0, which a classic reader refuses: its key comes from
// PBKDF2-HMAC-SHA256 with a salt, its verifier is compared in constant
// time, and the settings, every name and every chunk carry an HMAC-SHA256
// code that is checked before anything is created or launched. A strong
// payload must be checked throughout (check records); a changed setting is
// damage even with the right password.
//
// The times of the directory entries are set again at the end record,
// innermost first, since the entries written into a directory change its
// time (payload/DirectoryTimes.h).
//
// On a system with Unix modes (keepsUnixModes), a checked payload whose
// header announces them has Unix records behind its end record
// (payload/UnixRecord.h). They are read and checked at the end record, and
// then applied: every file gets its permission bits, the symbolic links are
// created, every directory gets its permission bits (innermost last, so
// that a folder without write permission is closed only when nothing more
// goes into it); the umask applies, setuid, setgid and sticky never, and no
// link is followed on the way to any of them. Links come last, so no entry
// can be written through one. A link is created exactly as packed, with
// whatever target the publisher gave it: the check records confirm that
// target, and the installer itself never follows it. Entries with absolute
// names keep the modes the system gives them. Elsewhere (Windows) the
// records are never read, as by every installer that predates them.

#include <cstdint>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/HashMap.h"
#include "core/StringBuffer.h"
#include "core/ZipCRC.h"
#include "compress/Gzip.h"
#include "crypto/Rijndael2.h"
#include "crypto/Sha256.h"
#include "payload/CheckRecord.h"
#include "payload/DirectoryTimes.h"
#include "payload/EntryObserver.h"
#include "payload/FieldReader.h"
#include "payload/SaProgress.h"
#include "payload/UnixTrailer.h"
#include "payload/StrongCipher.h"
#include "payload/StrongKeyRecord.h"

class DataSource;
class Output;

class SimpleArchive {
public:
    // What extractNext does with the entries it reads.
    enum class EntryAction {
        // Directories and files are created below the current directory.
        Create,
        // Everything is read, deciphered, inflated and checked exactly as for
        // Create, but nothing is created or written anywhere: the payload is
        // verified (and can be listed through an EntryObserver).
        VerifyOnly,
    };

    // How the records behind the marker are read from the source: one read
    // per field (a caller that reads the source too, or counts its position,
    // sees every byte go by as the archive takes it), or in blocks
    // (FieldReader's read-ahead), when the archive alone reads the source
    // from the marker on. The records and every result are the same.
    enum class SourceReading { PerField, ReadAhead };

    // Why the last extractNext returned false.
    enum class Failure : int32_t {
        None = 0,
        // The payload ended early or holds something the format does not
        // allow: no source, unreadable record, wrong record magic, zero name
        // length, short or oversized chunk, damaged deflate stream, enciphered
        // field that is not whole AES blocks, a directory or file name with a
        // ".." component; in a payload with check records, anything its
        // check records do not confirm.
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

    // PerField (the default) or ReadAhead; set before findMarker.
    void setSourceReading(SourceReading reading) { m_sourceReading = reading; }

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
    // not encrypted, the record is unreadable, or its length is not a whole
    // number of AES blocks.
    // A verifier of length 0 is the strong mode's key record: the keys are
    // derived with its salt and iteration count, and the result is true
    // exactly when the derived verifier matches (constant-time comparison).
    // When it does but the settings code does not, the password is right
    // and the payload damaged: checkSettings then fails.
    // The stored password is wiped (zeroed and emptied) on every return.
    bool verifyPassword();

    // The verifier record read so far was the strong mode's key record.
    bool isStrong() const { return m_strong; }
    // The key record of a strong payload (after verifyPassword or
    // verifierIsWellFormed).
    const StrongKeyRecord& strongKeyRecord() const { return m_strongRecord; }
    // The keys of a strong payload after verifyPassword returned true.
    const StrongCipher& strongCipher() const { return m_strongCipher; }
    // Strong mode, right password: whether the header and settings table
    // are the ones the key record's code was made for.
    bool strongSettingsAuthentic() const { return m_strongSettingsAuthentic; }

    // For a run that will not ask for the password (a silent run of an
    // encrypted payload): reads the verifier record and tells whether it
    // could be one, a non-zero whole number of AES blocks that is all
    // there, or a strong key record. False means the header's encryption flag itself is damaged (a
    // plain payload has a record magic there, whose first byte 0x9B is no
    // whole number of blocks). The record is consumed.
    bool verifierIsWellFormed();

    // Reads the first entry record ahead (after verifyPassword in an
    // encrypted payload). When it is a check record, it must be the
    // settings check and match the header and settings table as read; the
    // payload is then checked throughout. Any other record is kept for
    // extractNext. False (getFailure() Damaged, and every later extractNext
    // fails too) when the settings check fails. extractNext calls it on its
    // first call; the extraction run calls it before it creates the
    // destination folder, so that damaged settings write nothing.
    bool checkSettings();

    // The payload began with a settings check record.
    bool isChecked() const {
        return m_checkState == CheckState::Checked || m_checkState == CheckState::Closed;
    }

    // Create (the default) or VerifyOnly; set before the first extractNext.
    void setEntryAction(EntryAction action) { m_entryAction = action; }
    // Told about each directory and file that was taken in full (borrowed;
    // null: nobody).
    void setEntryObserver(EntryObserver* observer) { m_observer = observer; }

    // Reads one entry record and makes it real below the current directory:
    // a directory tree with its times, or a file with its data, times and
    // attributes. Records of other types are skipped.
    // Returns true with finished = false after an entry, true with
    // finished = true at the end record, and false (finished = true) when
    // the record cannot be read or its entry cannot be completely written;
    // getFailure() then says which. A file whose data stops early stays as
    // far as written, with its times and attributes applied, unless the
    // payload is checked: then it is deleted. At the end record the
    // directories' times are set again.
    // progress (may be null) gets one onProgress per directory and per chunk.
    bool extractNext(bool& finished, SaProgress* progress);

    // The reason of the last false from extractNext; None after a true.
    Failure getFailure() const { return m_failure; }

private:
    struct EntryHeader;
    struct ContentSum;
    enum class ChunkLoopEnd { Complete, Damaged, WriteFailed };
    enum class CheckState {
        NotStarted,  // the first entry record has not been read
        Unchecked,   // it was no check record
        Checked,     // it was the settings check, and that matched
        Closed,      // checked, and the closing E record has been read
        Broken,      // a check failed: nothing more is extracted
    };

    static void sumSettingsBytes(void* context, const void* bytes, uint32_t count);
    bool readSettingsTable();
    bool readEntryHeader(EntryHeader& header);
    bool takeRecord();
    bool readCheckRecordHeader(EntryHeader& record);
    bool readCheck(const EntryHeader& record, CheckRecord::Fields& fields);
    bool takeEntryCheck(const EntryHeader& entry, CheckRecord::Kind kind, const ContentSum* content);
    bool takeClosingCheck(const EntryHeader& record);
    bool endRecordHidesCheckRecord();
    bool finishPayload();
    bool takeUnixTrailer();
    bool applyUnixTrailer(const UnixTrailer& trailer);
    bool wantsUnixTrailer() const;
    bool decipherField(const DataBuffer& stored, DataBuffer& plain);
    bool verifyStrongPassword();
    bool readStrongKeyRecord(uint8_t* record);
    // A name field into header.name, as the payload's mode stores it.
    bool takeName(const DataBuffer& stored, EntryHeader& header);
    // Opens the next sealed field of a strong payload.
    bool openSealed(uint8_t kind, const uint8_t* context, uint32_t contextBytes, const DataBuffer& stored,
                    DataBuffer& plain);
    bool extractDirectory(const EntryHeader& header, SaProgress* progress);
    bool extractFile(const EntryHeader& header, SaProgress* progress);
    bool verifyFile(const EntryHeader& header, SaProgress* progress);
    void tellObserver(const EntryHeader& header, const ContentSum* content);
    ChunkLoopEnd copyChunks(Output& out, uint32_t& pending, SaProgress* progress, ContentSum& content);
    // True when the file's data came to its end and its check record confirms
    // its header, content and size (a failed check also records the failure).
    bool fileIsSound(const EntryHeader& header, ChunkLoopEnd end, const ContentSum& content);
    bool makeParentFolders(const char* name);
    bool isParentMade(const char* name) const;
    bool cannotCreateFile(const EntryHeader& header);
    bool fail(Failure failure);

    Rijndael2 m_cipher;
    HashMap m_settings;
    DataSource* m_source;
    FieldReader m_fields;  // the record fields, read from m_source
    SourceReading m_sourceReading;
    bool m_encrypted;
    int32_t m_keyLength;
    StringBuffer m_password;
    DataBuffer m_workBuffer;  // receives each chunk's data
    Gzip m_gzip;              // inflates the compressed chunks; keeps its inflater from chunk to chunk
    Failure m_failure;
    // Check records: the CRC of the header and settings table as read, the
    // state, the record being handled (checkSettings reads the first one
    // ahead), the directory and file entries seen.
    ZipCRC m_settingsCrc;
    Sha256 m_settingsSha;  // the same bytes, for the strong mode's settings code
    uint8_t m_settingsDigest[kSha256DigestBytes];
    CheckState m_checkState;
    EntryHeader* m_record;
    bool m_hasLookahead;
    bool m_lookaheadRead;
    uint64_t m_entries;
    DirectoryTimes m_directoryTimes;
    // The parent folder of the last file extracted, made and examined for
    // links then (makeParentFolders).
    bool m_hasMadeParent;
    StringBuffer m_madeParent;
    EntryAction m_entryAction;
    EntryObserver* m_observer;
    // The header's extension flags, and the directory and file entries in
    // payload order when Unix records are to be applied ("" for an absolute
    // name, whose modes are the system's).
    uint8_t m_extensionFlags;
    struct UnixEntry {
        std::string name;
        bool isDirectory;
    };
    std::vector<UnixEntry> m_unixEntries;
    // The strong mode.
    bool m_strong;
    bool m_strongSettingsAuthentic;
    StrongKeyRecord m_strongRecord;
    StrongCipher m_strongCipher;
    uint64_t m_fieldSequence;  // sealed fields opened so far
};
