// SimpleArchive over payloads with check records (payload/CheckRecord.h):
// a sound payload extracts, plain and encrypted; every kind of damage the
// records reveal ends the extraction as damage, with nothing created for a
// damaged setting or directory and no file left that failed its check; and
// the directories get their packed times after their contents are written.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PayloadTestSupport.h"
#include "io/FileInfo.h"
#include "io/MemoryDataSource.h"
#include "payload/CheckRecord.h"
#include "payload/EntryObserver.h"
#include "payload/PayloadFormat.h"
#include "payload/SimpleArchive.h"
#include "platform/win32.h"

using namespace payload_test;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMarkerBytes = 8;
constexpr uint64_t kLaterFileTime = kBillionSecondsFileTime + 3600ull * 10000000ull;

// What a test changes in the payload bvsfx would write.
struct Damage {
    uint32_t settingsCrcDelta = 0;
    uint32_t directoryCrcDelta = 0;
    uint32_t fileContentCrcDelta = 0;
    uint64_t fileSizeDelta = 0;
    bool omitFileCheck = false;
    bool omitClosingCheck = false;
    uint64_t entryCountDelta = 0;
    uint8_t extraRecordType = 0;      // a record of this type after the directory (0: none)
    uint32_t checkRecordAttributes = 0;  // of the directory's check record
    bool directoryAfterClosingCheck = false;
    bool settingsCheckTypeIsEnd = false;  // the S record's type byte changed to 0
};

struct Sample {
    std::string directory = "docs";
    std::string file = "docs/a.txt";
    Bytes content = compressibleText(5000);
    std::string readOnlyFile = "ro.txt";
    Bytes readOnlyContent = bytesOf(std::string("read only\n"));
};

uint32_t zlibCrc(const Bytes& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes.data(), uInt(bytes.size())));
}

bool writeCheck(PayloadWriter& w, const CheckRecord::Fields& fields, uint32_t attributes = 0) {
    return w.writeOtherEntry(CheckRecord::kCheckRecordType, CheckRecord::format(fields).c_str(), 0, attributes);
}

uint32_t headerCrc(uint8_t type, const std::string& name, uint64_t time, uint32_t attributes) {
    return CheckRecord::entryHeaderCrc(type, name, time, attributes);
}

// The payload as bvsfx lays it out: settings check, each entry followed by
// its check, the closing check, the end record; changed as damage says.
std::unique_ptr<MemoryPayload> checkedPayload(const Sample& s, const Damage& d, const char* password = nullptr) {
    auto payload = std::make_unique<MemoryPayload>();
    PayloadWriter& w = payload->writer;
    if (password != nullptr) {
        EXPECT_TRUE(w.setEncryption(password, 256));
    }
    EXPECT_TRUE(w.writeHeader() && w.addSetting("setupFilename", "setup.sh") && w.addSetting("unzipDir", "out"));
    Bytes table = payload->bytes();
    table.erase(table.begin(), table.begin() + kMarkerBytes);
    table.push_back(0);  // the terminator endSettings writes
    table.push_back(0);
    EXPECT_TRUE(w.endSettings());
    const CheckRecord::Fields settings{CheckRecord::Kind::Settings, zlibCrc(table) + d.settingsCrcDelta, 0, 0};
    const size_t settingsCheckAt = payload->bytes().size();
    EXPECT_TRUE(writeCheck(w, settings));

    EXPECT_TRUE(w.writeDirectory(s.directory.c_str(), kBillionSecondsFileTime, 0x10));
    const uint32_t directoryCrc = headerCrc(1, s.directory, kBillionSecondsFileTime, 0x10) + d.directoryCrcDelta;
    EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::Directory, directoryCrc, 0, 0}, d.checkRecordAttributes));
    if (d.extraRecordType != 0) {
        EXPECT_TRUE(w.writeOtherEntry(d.extraRecordType, "x", 0, 0));
    }

    const Bytes deflated = rawDeflate(s.content);
    EXPECT_TRUE(w.beginFile(s.file.c_str(), kLaterFileTime, 0x20) && w.writeStoredChunk(s.content.data(), 1000) &&
                w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile());
    Bytes whole(s.content.begin(), s.content.begin() + 1000);
    append(whole, s.content);
    if (!d.omitFileCheck) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::File, headerCrc(2, s.file, kLaterFileTime, 0x20),
                                   zlibCrc(whole) + d.fileContentCrcDelta, whole.size() + d.fileSizeDelta}));
    }
    EXPECT_TRUE(w.beginFile(s.readOnlyFile.c_str(), kLaterFileTime, 0x21) &&
                w.writeStoredChunk(s.readOnlyContent.data(), uint32_t(s.readOnlyContent.size())) && w.endFile());
    EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::File, headerCrc(2, s.readOnlyFile, kLaterFileTime, 0x21),
                               zlibCrc(s.readOnlyContent), s.readOnlyContent.size()}));
    if (!d.omitClosingCheck) {
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::End, 0, 0, 3 + d.entryCountDelta}));
    }
    if (d.directoryAfterClosingCheck) {
        EXPECT_TRUE(w.writeDirectory("late", kBillionSecondsFileTime, 0x10));
    }
    EXPECT_TRUE(w.writeEnd());
    if (d.settingsCheckTypeIsEnd) {
        // Rewrite the one byte in place: the record's type follows its magic.
        auto damaged = std::make_unique<MemoryPayload>();
        Bytes bytes = payload->bytes();
        bytes[settingsCheckAt + 4] = 0;
        EXPECT_TRUE(damaged->writer.writeRaw(bytes.data(), uint32_t(bytes.size())));
        return damaged;
    }
    return payload;
}

struct Outcome {
    bool completed = false;
    bool settingsAccepted = false;
    SimpleArchive::Failure failure = SimpleArchive::Failure::None;
    bool checked = false;
};

Outcome extract(const Bytes& bytes, const char* password = nullptr,
               SimpleArchive::EntryAction action = SimpleArchive::EntryAction::Create,
               EntryObserver* observer = nullptr) {
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    archive.setEntryAction(action);
    archive.setEntryObserver(observer);
    Outcome run;
    EXPECT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
    if (password != nullptr) {
        archive.usePassword(password);
        EXPECT_TRUE(archive.verifyPassword());
    }
    run.settingsAccepted = archive.checkSettings();
    run.checked = archive.isChecked();
    for (int guard = 0; guard < 100; ++guard) {
        bool finished = false;
        if (!archive.extractNext(finished, nullptr)) {
            run.failure = archive.getFailure();
            return run;
        }
        if (finished) {
            run.completed = true;
            return run;
        }
    }
    ADD_FAILURE() << "extraction did not end";
    return run;
}

uint64_t lastWriteOf(const std::string& path) {
    FileInfo info;
    EXPECT_TRUE(info.loadFileInfo(path.c_str(), nullptr)) << path;
    const FILETIME time = info.getLastWriteTime();
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

TEST(SimpleArchiveChecks, ASoundPayloadExtractsPlainAndEncrypted) {
    const Sample sample;
    for (const char* password : {static_cast<const char*>(nullptr), "pass word"}) {
        SCOPED_TRACE(password != nullptr ? "encrypted" : "plain");
        ScratchDirectory scratch;
        const Outcome run = extract(checkedPayload(sample, Damage(), password)->bytes(), password);
        EXPECT_TRUE(run.settingsAccepted);
        EXPECT_TRUE(run.checked);
        ASSERT_TRUE(run.completed);
        Bytes whole(sample.content.begin(), sample.content.begin() + 1000);
        append(whole, sample.content);
        EXPECT_EQ(readWholeFile(sample.file), whole);
        EXPECT_EQ(readWholeFile(sample.readOnlyFile), sample.readOnlyContent);
    }
}

// What an entry observer was told, one text per entry.
class RecordingObserver : public EntryObserver {
public:
    void onEntry(const EntryFacts& e) override {
        entries.push_back(std::to_string(e.type) + " " + e.name + " " + std::to_string(e.fileTime) + " " +
                          std::to_string(e.attributes) + " " + std::to_string(e.sizeBytes) + " " +
                          std::to_string(e.packedBytes));
    }
    std::vector<std::string> entries;
};

bool folderIsEmpty() { return fs::directory_iterator(fs::current_path()) == fs::directory_iterator(); }

// Verifying reads everything as extracting does, tells the observer about
// each entry with its decoded and stored sizes, and creates nothing.
TEST(SimpleArchiveChecks, VerifyingASoundPayloadCreatesNothingAndSeesEveryEntry) {
    const Sample sample;
    const size_t deflatedBytes = rawDeflate(sample.content).size();
    for (const char* password : {static_cast<const char*>(nullptr), "pass word"}) {
        SCOPED_TRACE(password != nullptr ? "encrypted" : "plain");
        ScratchDirectory scratch;
        RecordingObserver observer;
        const Outcome run = extract(checkedPayload(sample, Damage(), password)->bytes(), password,
                                    SimpleArchive::EntryAction::VerifyOnly, &observer);
        EXPECT_TRUE(run.completed);
        EXPECT_TRUE(folderIsEmpty());
        // Encrypted chunks are stored as whole AES blocks, padding included.
        const auto stored = [password](size_t plainBytes) {
            return password == nullptr ? plainBytes : (plainBytes / 16 + 1) * 16;
        };
        const std::vector<std::string> expected = {
            "1 docs " + std::to_string(kBillionSecondsFileTime) + " 16 0 0",
            "2 docs/a.txt " + std::to_string(kLaterFileTime) + " 32 6000 " +
                std::to_string(stored(1000) + stored(deflatedBytes)),
            "2 ro.txt " + std::to_string(kLaterFileTime) + " 33 10 " + std::to_string(stored(10)),
        };
        EXPECT_EQ(observer.entries, expected);
    }
}

TEST(SimpleArchiveChecks, VerifyingFindsTheDamageExtractingFinds) {
    struct Case {
        const char* label;
        std::function<void(Damage&)> change;
        size_t entriesSeen;
    };
    const Case cases[] = {
        {"settings differ", [](Damage& d) { d.settingsCrcDelta = 1; }, 0},
        {"directory header differs", [](Damage& d) { d.directoryCrcDelta = 1; }, 0},
        {"file content differs", [](Damage& d) { d.fileContentCrcDelta = 1; }, 1},
        {"file size differs", [](Damage& d) { d.fileSizeDelta = 1; }, 1},
        {"file check missing", [](Damage& d) { d.omitFileCheck = true; }, 1},
        {"closing check missing", [](Damage& d) { d.omitClosingCheck = true; }, 3},
        {"entry count differs", [](Damage& d) { d.entryCountDelta = 1; }, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDirectory scratch;
        Damage damage;
        c.change(damage);
        RecordingObserver observer;
        const Outcome run = extract(checkedPayload(Sample(), damage)->bytes(), nullptr,
                                    SimpleArchive::EntryAction::VerifyOnly, &observer);
        EXPECT_FALSE(run.completed);
        EXPECT_EQ(run.failure, SimpleArchive::Failure::Damaged);
        EXPECT_EQ(observer.entries.size(), c.entriesSeen);
        EXPECT_TRUE(folderIsEmpty());
    }
}

// Without check records only the format can reveal damage: a deflate
// stream cut short is found, nothing is created.
TEST(SimpleArchiveChecks, VerifyingAnUncheckedPayloadFindsABrokenDeflateStream) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    Bytes deflated = rawDeflate(compressibleText(5000));
    deflated.resize(deflated.size() / 2);
    ASSERT_TRUE(w.writeHeader() && w.endSettings() && w.writeDirectory("d", kBillionSecondsFileTime, 0x10) &&
                w.beginFile("d/f", kLaterFileTime, 0x20) &&
                w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile() && w.writeEnd());
    RecordingObserver observer;
    const Outcome run = extract(payload.bytes(), nullptr, SimpleArchive::EntryAction::VerifyOnly, &observer);
    EXPECT_FALSE(run.completed);
    EXPECT_EQ(run.failure, SimpleArchive::Failure::Damaged);
    EXPECT_EQ(observer.entries.size(), 1u);
    EXPECT_TRUE(folderIsEmpty());
}

// The file written into docs changed its time; the end record sets it back.
TEST(SimpleArchiveChecks, DirectoriesGetTheirPackedTimesAfterTheirContents) {
    ScratchDirectory scratch;
    ASSERT_TRUE(extract(checkedPayload(Sample(), Damage())->bytes()).completed);
    EXPECT_EQ(lastWriteOf("docs"), kBillionSecondsFileTime);
    EXPECT_EQ(lastWriteOf("docs/a.txt"), kLaterFileTime);

    // Innermost first, also without check records: the outer directory's
    // time is not disturbed by setting the inner one's.
    ScratchDirectory second;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.writeDirectory("outer", kUnixEpochFileTime, 0x10));
    ASSERT_TRUE(w.writeDirectory("outer/inner", kBillionSecondsFileTime, 0x10));
    const Bytes data = bytesOf(std::string("x"));
    ASSERT_TRUE(w.beginFile("outer/inner/f", kLaterFileTime, 0x20) && w.writeStoredChunk(data.data(), 1) &&
                w.endFile());
    ASSERT_TRUE(w.beginFile("outer/g", kLaterFileTime, 0x20) && w.endFile() && w.writeEnd());
    const Outcome run = extract(payload.bytes());
    EXPECT_FALSE(run.checked);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(lastWriteOf("outer"), kUnixEpochFileTime);
    EXPECT_EQ(lastWriteOf("outer/inner"), kBillionSecondsFileTime);
}

TEST(SimpleArchiveChecks, DamageTheRecordsRevealEndsTheExtraction) {
    struct Case {
        const char* label;
        std::function<void(Damage&)> change;
        bool settingsAccepted;
        // What is left in the folder afterwards.
        bool directory, file, readOnlyFile;
    };
    const Case cases[] = {
        {"settings differ", [](Damage& d) { d.settingsCrcDelta = 1; }, false, false, false, false},
        {"directory header differs", [](Damage& d) { d.directoryCrcDelta = 1; }, true, false, false, false},
        {"check record with attributes", [](Damage& d) { d.checkRecordAttributes = 0x20; }, true, false, false,
         false},
        {"file content differs", [](Damage& d) { d.fileContentCrcDelta = 1; }, true, true, false, false},
        {"file size differs", [](Damage& d) { d.fileSizeDelta = 1; }, true, true, false, false},
        {"file check missing", [](Damage& d) { d.omitFileCheck = true; }, true, true, false, false},
        {"record of another type", [](Damage& d) { d.extraRecordType = 3; }, true, true, false, false},
        {"closing check missing", [](Damage& d) { d.omitClosingCheck = true; }, true, true, true, true},
        {"entry count differs", [](Damage& d) { d.entryCountDelta = 1; }, true, true, true, true},
        {"entry after the closing check", [](Damage& d) { d.directoryAfterClosingCheck = true; }, true, true, true,
         true},
    };
    const Sample sample;
    for (const Case& c : cases) {
        for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
            SCOPED_TRACE(std::string(c.label) + (password != nullptr ? ", encrypted" : ", plain"));
            ScratchDirectory scratch;
            Damage damage;
            c.change(damage);
            const Outcome run = extract(checkedPayload(sample, damage, password)->bytes(), password);
            EXPECT_FALSE(run.completed);
            EXPECT_EQ(run.failure, SimpleArchive::Failure::Damaged);
            EXPECT_EQ(run.settingsAccepted, c.settingsAccepted);
            EXPECT_EQ(fs::exists(sample.directory), c.directory);
            EXPECT_EQ(fs::exists(sample.file), c.file);
            EXPECT_EQ(fs::exists(sample.readOnlyFile), c.readOnlyFile);
        }
    }
}

// A damaged type byte of the first check record: 0 would end the payload
// before it began, another type would turn the checks off. Both are damage.
TEST(SimpleArchiveChecks, ADamagedSettingsCheckTypeIsDamage) {
    ScratchDirectory scratch;
    Damage damage;
    damage.settingsCheckTypeIsEnd = true;
    Outcome run = extract(checkedPayload(Sample(), damage)->bytes());
    EXPECT_FALSE(run.completed);
    EXPECT_EQ(run.failure, SimpleArchive::Failure::Damaged);

    Bytes bytes = checkedPayload(Sample(), Damage())->bytes();
    const Bytes magic = {0x9B, 0xE5, 0x27, 0x6D, CheckRecord::kCheckRecordType};
    auto at = std::search(bytes.begin(), bytes.end(), magic.begin(), magic.end());
    ASSERT_NE(at, bytes.end());
    at[4] = 0x44;
    run = extract(bytes);
    EXPECT_FALSE(run.checked);
    EXPECT_FALSE(run.completed);
    EXPECT_EQ(run.failure, SimpleArchive::Failure::Damaged) << "the directory's check record comes next";
}

// The verifier of a plain payload whose encryption flag was damaged is the
// first record's magic: 0x9B bytes, no whole number of AES blocks.
TEST(SimpleArchiveChecks, AVerifierThatCannotBeOneIsRecognised) {
    for (bool encrypted : {false, true}) {
        Bytes bytes = checkedPayload(Sample(), Damage(), encrypted ? "pw" : nullptr)->bytes();
        bytes[kMarkerBytes + PayloadFormat::kHeaderEncryptionFlagOffset] = 1;
        MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
        SimpleArchive archive;
        archive.setSource(&source);
        ASSERT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
        EXPECT_EQ(archive.verifierIsWellFormed(), encrypted);
    }
}

// A file that cannot be created (here: a file stands where its folder should
// be) is a write failure when its check record confirms it, and damage when
// it does not: a damaged name can name a place that cannot be created.
TEST(SimpleArchiveChecks, AFileThatCannotBeCreatedIsDamageUnlessItsCheckConfirmsIt) {
    Sample sample;
    sample.file = "blocker/a.txt";
    for (bool confirmed : {true, false}) {
        SCOPED_TRACE(confirmed ? "check confirms" : "check fails");
        ScratchDirectory scratch;
        writeWholeFile("blocker", bytesOf(std::string("a file where a folder is needed")));
        Damage damage;
        damage.fileContentCrcDelta = confirmed ? 0 : 1;
        const Outcome run = extract(checkedPayload(sample, damage)->bytes());
        EXPECT_FALSE(run.completed);
        EXPECT_EQ(run.failure, confirmed ? SimpleArchive::Failure::CannotCreate : SimpleArchive::Failure::Damaged);
    }
}
