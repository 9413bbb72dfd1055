// SimpleArchive over payloads built field by field (PayloadWriter, or raw
// bytes for damaged ones), read from memory and from files.

#include "payload/SimpleArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "PayloadTestSupport.h"
#include "core/StringBuffer.h"
#include "io/FileDataSource.h"
#include "io/FileInfo.h"
#include "io/MemoryDataSource.h"
#include "payload/PayloadFormat.h"
#include "platform/win32.h"

using namespace payload_test;
namespace fs = std::filesystem;

namespace {

const Bytes kMarker = {0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA};
const Bytes kPlainHeader = {0, 0, 0, 0, 0, 0};
const Bytes kRecordMagic = {0x9B, 0xE5, 0x27, 0x6D};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

// Marker, plain header, empty settings table.
Bytes plainPreamble() {
    Bytes b = kMarker;
    append(b, kPlainHeader);
    appendU16(b, 0);
    return b;
}

// An entry record header, laid out by hand.
Bytes recordHeader(uint8_t type, const std::string& name, uint64_t time, uint32_t attributes) {
    Bytes b = kRecordMagic;
    b.push_back(type);
    appendU16(b, uint16_t(name.size()));
    append(b, bytesOf(name));
    appendU32(b, uint32_t(time));
    appendU32(b, uint32_t(time >> 32));
    appendU32(b, attributes);
    return b;
}

Bytes endRecord() {
    Bytes b = kRecordMagic;
    b.push_back(0);
    return b;
}

// The reader over bytes in memory, positioned on the marker search.
class MemoryReader {
public:
    explicit MemoryReader(const Bytes& bytes) : m_bytes(bytes), m_source(m_bytes.data(), uint32_t(m_bytes.size())) {
        archive.setSource(&m_source);
    }

    // Marker, header, settings: true when all three read.
    bool openPayload() { return archive.findMarker() && archive.readHeader() && archive.readArgs(); }

    // extractNext until it fails or finishes; true when the end record was reached.
    bool extractAll(SaProgress* progress = nullptr) {
        for (int guard = 0; guard < 100000; ++guard) {
            bool finished = false;
            if (!archive.extractNext(finished, progress)) {
                EXPECT_TRUE(finished) << "a failed call reports finished";
                return false;
            }
            if (finished) return true;
        }
        ADD_FAILURE() << "extraction did not end";
        return false;
    }

    uint32_t position() const { return m_source.getPosition(); }

private:
    Bytes m_bytes;
    MemoryDataSource m_source;

public:
    SimpleArchive archive;
};

std::string argOf(SimpleArchive& archive, const char* name, bool* present = nullptr) {
    StringBuffer value("stale");
    const bool found = archive.getArg(name, value);
    if (present != nullptr) *present = found;
    return std::string(value.getString(), size_t(value.getSize()));
}

uint64_t fileTimeOf(const FILETIME& time) {
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// What the file system reports for an extracted entry.
struct Metadata {
    uint64_t lastWrite = 0;
    uint64_t lastAccess = 0;
    uint32_t attributes = 0;
};

Metadata metadataOf(const std::string& path) {
    FileInfo info;
    EXPECT_TRUE(info.loadFileInfo(path.c_str(), nullptr)) << path;
    Metadata m;
    m.lastWrite = fileTimeOf(info.getLastWriteTime());
    m.lastAccess = fileTimeOf(info.getLastAccessTime());
    m.attributes = info.getAttributes();
    return m;
}

// --- Marker, header, settings ----------------------------------------------

TEST(SimpleArchive, ReadsTheWorkedExampleAndExtractsItsFile) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    const uint8_t data[] = {0x68, 0x69, 0x0A};
    ASSERT_TRUE(w.writeHeader() && w.addSetting("setupFilename", "setup.exe") && w.endSettings());
    ASSERT_TRUE(w.beginFile("a.txt", kUnixEpochFileTime, 0x20) && w.writeStoredChunk(data, 3) && w.endFile());
    ASSERT_TRUE(w.writeEnd());

    Bytes image = bytesOf(std::string("stub bytes before the payload"));
    append(image, payload.bytes());
    MemoryReader reader(image);
    ASSERT_TRUE(reader.openPayload());
    EXPECT_FALSE(reader.archive.isEncrypted());
    EXPECT_EQ(reader.archive.getKeyLength(), 128);
    EXPECT_EQ(argOf(reader.archive, "setupFilename"), "setup.exe");

    RecordingProgress progress;
    bool finished = true;
    ASSERT_TRUE(reader.archive.extractNext(finished, &progress));
    EXPECT_FALSE(finished);
    // Times first: reading the content may move the access time.
    Metadata info = metadataOf("a.txt");
    EXPECT_EQ(info.lastWrite, kUnixEpochFileTime);
    EXPECT_EQ(info.lastAccess, kUnixEpochFileTime);
    EXPECT_EQ(info.attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(readWholeFile("a.txt"), Bytes({0x68, 0x69, 0x0A}));
    // 5 + 17 for the record, 4 + 3 for the chunk.
    EXPECT_EQ(progress.calls, (std::vector<std::pair<uint32_t, uint32_t>>{{29, 29}}));

    ASSERT_TRUE(reader.archive.extractNext(finished, &progress));
    EXPECT_TRUE(finished) << "end record";
    EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::None);
    EXPECT_EQ(progress.calls.size(), 1u);
}

TEST(SimpleArchive, SkipsAFirstMarkerWordThatIsNotFollowedByTheSecond) {
    Bytes image = {1, 2, 3, 0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0x00, 7, 7};
    append(image, kMarker);
    append(image, {0, 0, 0, 0, 1, 1});  // encrypted, key code 1
    MemoryReader reader(image);
    ASSERT_TRUE(reader.archive.findMarker());
    EXPECT_EQ(reader.position(), 13u + 8u);
    ASSERT_TRUE(reader.archive.readHeader());
    EXPECT_TRUE(reader.archive.isEncrypted());
    EXPECT_EQ(reader.archive.getKeyLength(), 192);
}

// A false first word may be followed at once by the real marker, or by bytes
// whose tail begins it: the marker is found all the same.
TEST(SimpleArchive, FindsAMarkerThatOverlapsTheBytesAfterAFalseFirstWord) {
    const Bytes firstWord = {0x48, 0x12, 0x90, 0xBF};
    struct Case {
        const char* label;
        Bytes before;
    } cases[] = {
        {"first word twice", firstWord},
        {"first word, then 48 12 90 starts the marker", concat({firstWord, {0x00}})},
        {"first word, then 48 12 starts the marker", concat({firstWord, {0x00, 0x00}})},
        {"first word, then 48 starts the marker", concat({firstWord, {0x00, 0x00, 0x00}})},
        {"three first words", concat({firstWord, firstWord, firstWord})},
        {"first word, marker prefix, first word", concat({firstWord, {0x48, 0x12}, firstWord, {0x11}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes image = concat({{0x01, 0x02}, c.before, kMarker, {0, 0, 0, 0, 1, 2}});
        MemoryReader reader(image);
        ASSERT_TRUE(reader.archive.findMarker());
        EXPECT_EQ(reader.position(), 2 + c.before.size() + 8);
        ASSERT_TRUE(reader.archive.readHeader());
        EXPECT_EQ(reader.archive.getKeyLength(), 256);
    }
}

TEST(SimpleArchive, FailsWithoutAMarkerOrASource) {
    Bytes halfMarker = {9, 9, 0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91};
    MemoryReader reader(halfMarker);
    EXPECT_FALSE(reader.archive.findMarker());

    SimpleArchive unattached;
    StringBuffer value;
    bool finished = false;
    EXPECT_FALSE(unattached.findMarker());
    EXPECT_FALSE(unattached.readHeader());
    EXPECT_FALSE(unattached.readArgs());
    EXPECT_FALSE(unattached.extractNext(finished, nullptr));
    EXPECT_TRUE(finished);
    EXPECT_EQ(unattached.getFailure(), SimpleArchive::Failure::Damaged);
}

// Header byte 4 is the encryption flag, byte 5 the key length code.
TEST(SimpleArchive, ReadsTheHeaderFlags) {
    struct Case {
        uint8_t flag, code;
        bool encrypted;
        int keyBits;
    } cases[] = {{0, 0, false, 128}, {1, 0, true, 128}, {1, 1, true, 192}, {1, 2, true, 256},
                 {1, 7, true, 256},  {0, 1, false, 192}, {0xFF, 0, true, 128}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.flag) << "/" << int(c.code));
        Bytes image = kMarker;
        append(image, {0xDE, 0xAD, 0xBE, 0xEF, c.flag, c.code});
        MemoryReader reader(image);
        ASSERT_TRUE(reader.archive.findMarker());
        ASSERT_TRUE(reader.archive.readHeader());
        EXPECT_EQ(reader.archive.isEncrypted(), c.encrypted);
        EXPECT_EQ(reader.archive.getKeyLength(), c.keyBits);
    }
    Bytes shortHeader = kMarker;
    append(shortHeader, {0, 0, 0, 0, 0});
    MemoryReader reader(shortHeader);
    ASSERT_TRUE(reader.archive.findMarker());
    EXPECT_FALSE(reader.archive.readHeader());
}

TEST(SimpleArchive, SettingsAreExactNamesAndTheLaterValueWins) {
    Bytes image = kMarker;
    append(image, kPlainHeader);
    auto pair = [&](const std::string& name, const std::string& value) {
        appendU16(image, uint16_t(name.size()));
        append(image, bytesOf(name));
        appendU16(image, uint16_t(value.size()));
        append(image, bytesOf(value));
    };
    pair("appTitle", "first");
    pair("AppTitle", "capital");
    pair("appTitle", "second");
    pair("unzipDir", "");
    pair("binary", std::string("a\0b", 3));
    appendU16(image, 0);
    MemoryReader reader(image);
    ASSERT_TRUE(reader.openPayload());

    bool present = false;
    EXPECT_EQ(argOf(reader.archive, "appTitle", &present), "second");
    EXPECT_TRUE(present);
    EXPECT_EQ(argOf(reader.archive, "AppTitle"), "capital");
    EXPECT_EQ(argOf(reader.archive, "unzipDir", &present), "");
    EXPECT_TRUE(present) << "an empty value is present";
    EXPECT_EQ(argOf(reader.archive, "binary"), std::string("a\0b", 3));
    EXPECT_EQ(argOf(reader.archive, "apptitle", &present), "") << "destination is emptied";
    EXPECT_FALSE(present);
}

TEST(SimpleArchive, ASettingsTableThatEndsEarlyFailsAndKeepsThePairsRead) {
    Bytes image = kMarker;
    append(image, kPlainHeader);
    appendU16(image, 8);
    append(image, bytesOf(std::string("appTitle")));
    appendU16(image, 2);
    append(image, bytesOf(std::string("ok")));
    appendU16(image, 5);
    append(image, bytesOf(std::string("unzip")));  // value length missing
    MemoryReader reader(image);
    ASSERT_TRUE(reader.archive.findMarker() && reader.archive.readHeader());
    EXPECT_FALSE(reader.archive.readArgs());
    EXPECT_EQ(argOf(reader.archive, "appTitle"), "ok");
}

// After the 200th pair the table is over: a terminator there is taken for
// the start of the next record, which then does not read.
TEST(SimpleArchive, TwoHundredSettingsNeedNoTerminator) {
    for (bool terminator : {false, true}) {
        SCOPED_TRACE(terminator ? "with terminator" : "without terminator");
        ScratchDirectory scratch;
        Bytes image = kMarker;
        append(image, kPlainHeader);
        for (int i = 0; i < 200; ++i) {
            std::string name = "key" + std::to_string(i);
            appendU16(image, uint16_t(name.size()));
            append(image, bytesOf(name));
            appendU16(image, 1);
            image.push_back(uint8_t('a' + i % 26));
        }
        if (terminator) appendU16(image, 0);
        append(image, recordHeader(1, "made", kUnixEpochFileTime, 0x10));
        append(image, endRecord());

        MemoryReader reader(image);
        ASSERT_TRUE(reader.openPayload());
        EXPECT_EQ(argOf(reader.archive, "key199"), std::string(1, char('a' + 199 % 26)));
        EXPECT_EQ(reader.extractAll(), !terminator);
        EXPECT_EQ(fs::is_directory("made"), !terminator);
    }
}

// --- Entries ---------------------------------------------------------------

TEST(SimpleArchive, ExtractsDirectoriesWithTheirTimesAndKeepsTheCurrentDirectory) {
    ScratchDirectory scratch;
    fs::create_directory("existing");
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.writeDirectory("a/b\\c", kBillionSecondsFileTime, 0x10));
    ASSERT_TRUE(w.writeDirectory("existing", kUnixEpochFileTime, 0x11));
    ASSERT_TRUE(w.writeEnd());

    MemoryReader reader(payload.bytes());
    ASSERT_TRUE(reader.openPayload());
    RecordingProgress progress;
    const fs::path before = fs::current_path();
    ASSERT_TRUE(reader.extractAll(&progress));
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_TRUE(fs::is_directory("a/b/c"));
    EXPECT_EQ(metadataOf("a/b/c").lastWrite, kBillionSecondsFileTime);
    EXPECT_EQ(metadataOf("existing").lastWrite, kUnixEpochFileTime);
    EXPECT_EQ(metadataOf("existing").attributes & FILE_ATTRIBUTE_READONLY, 0u)
        << "attributes are not applied to directories";
    // One report per directory: name length + 17.
    EXPECT_EQ(progress.calls, (std::vector<std::pair<uint32_t, uint32_t>>{{22, 22}, {25, 25}}));
}

TEST(SimpleArchive, CreatesParentDirectoriesAndEmptyFiles) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.beginFile("sub/dir\\f.txt", kBillionSecondsFileTime, 0x20));
    ASSERT_TRUE(w.writeStoredChunk("xyz", 3) && w.endFile());
    ASSERT_TRUE(w.beginFile("empty.bin", kUnixEpochFileTime, 0x20) && w.endFile());
    ASSERT_TRUE(w.writeEnd());

    MemoryReader reader(payload.bytes());
    ASSERT_TRUE(reader.openPayload());
    const fs::path before = fs::current_path();
    ASSERT_TRUE(reader.extractAll());
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(readWholeFile("sub/dir/f.txt"), bytesOf(std::string("xyz")));
    EXPECT_EQ(metadataOf("sub/dir/f.txt").lastWrite, kBillionSecondsFileTime);
    ASSERT_TRUE(fs::is_regular_file("empty.bin"));
    EXPECT_EQ(fs::file_size("empty.bin"), 0u);
    EXPECT_EQ(metadataOf("empty.bin").lastWrite, kUnixEpochFileTime);
}

TEST(SimpleArchive, ReportsProgressPerChunk) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    const Bytes first = pattern(100, 1), second = pattern(50, 2);
    const Bytes text = compressibleText(5000);
    const Bytes deflated = rawDeflate(text);
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.beginFile("f.bin", 0, 0x20));
    ASSERT_TRUE(w.writeStoredChunk(first.data(), 100) && w.writeStoredChunk(second.data(), 50));
    ASSERT_TRUE(w.endFile());
    ASSERT_TRUE(w.beginFile("t.txt", 0, 0x20));
    ASSERT_TRUE(w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile());
    ASSERT_TRUE(w.writeEnd());

    MemoryReader reader(payload.bytes());
    ASSERT_TRUE(reader.openPayload());
    RecordingProgress progress;
    ASSERT_TRUE(reader.extractAll(&progress));
    const uint32_t d = uint32_t(deflated.size());
    // 5 + 17 + 4 + 100, then 4 + 50; the compressed chunk reports its
    // inflated size as the bytes produced.
    EXPECT_EQ(progress.calls, (std::vector<std::pair<uint32_t, uint32_t>>{
                                  {126, 126}, {54, 54}, {5 + 17 + 4 + d, 5 + 17 + 4 + 5000}}));
    Bytes expected = first;
    append(expected, second);
    EXPECT_EQ(readWholeFile("f.bin"), expected);
    EXPECT_EQ(readWholeFile("t.txt"), text);
}

// Length field 0x80000000 is a stored chunk without data, not the end;
// 0x801F423F (n = 2,048,575) is the largest chunk that fits the buffer.
TEST(SimpleArchive, AcceptsEmptyStoredChunksAndTheLargestChunk) {
    ScratchDirectory scratch;
    const Bytes big = pattern(2048575, 3);
    Bytes image = plainPreamble();
    append(image, recordHeader(2, "big.bin", kUnixEpochFileTime, 0x20));
    appendU32(image, 0x80000000u);
    appendU32(image, 0x801F423Fu);
    append(image, big);
    appendU32(image, 0x80000000u);
    appendU32(image, 0x80000002u);
    append(image, {0xAB, 0xCD});
    appendU32(image, 0);
    append(image, endRecord());

    MemoryReader reader(image);
    ASSERT_TRUE(reader.openPayload());
    ASSERT_TRUE(reader.extractAll());
    Bytes expected = big;
    append(expected, {0xAB, 0xCD});
    EXPECT_EQ(readWholeFile("big.bin"), expected);
}

TEST(SimpleArchive, SkipsRecordsOfOtherTypes) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.writeOtherEntry(3, "x", kUnixEpochFileTime, 0x20));
    ASSERT_TRUE(w.beginFile("after.txt", 0, 0x20) && w.writeStoredChunk("ok", 2) && w.endFile());
    ASSERT_TRUE(w.writeEnd());

    MemoryReader reader(payload.bytes());
    ASSERT_TRUE(reader.openPayload());
    RecordingProgress progress;
    bool finished = true;
    ASSERT_TRUE(reader.archive.extractNext(finished, &progress));
    EXPECT_FALSE(finished);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_FALSE(fs::exists("x"));
    ASSERT_TRUE(reader.extractAll());
    EXPECT_EQ(readWholeFile("after.txt"), bytesOf(std::string("ok")));
}

TEST(SimpleArchive, AppliesReadOnlyAndHiddenAttributes) {
    ScratchDirectory scratch;
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    ASSERT_TRUE(w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.beginFile("ro.txt", kUnixEpochFileTime, 0x21) && w.writeStoredChunk("r", 1) && w.endFile());
    ASSERT_TRUE(w.beginFile("hidden.txt", kUnixEpochFileTime, 0x22) && w.writeStoredChunk("h1", 2) && w.endFile());
    ASSERT_TRUE(w.beginFile("hidden.txt", kBillionSecondsFileTime, 0x22) && w.writeStoredChunk("h2", 2) &&
                w.endFile());
    ASSERT_TRUE(w.beginFile("plain.txt", kUnixEpochFileTime, 0x20) && w.writeStoredChunk("p", 1) && w.endFile());
    ASSERT_TRUE(w.writeEnd());

    MemoryReader reader(payload.bytes());
    ASSERT_TRUE(reader.openPayload());
    ASSERT_TRUE(reader.extractAll());

    Metadata readOnly = metadataOf("ro.txt");
    EXPECT_NE(readOnly.attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(readOnly.lastWrite, kUnixEpochFileTime) << "times set before read-only";
    EXPECT_EQ(readWholeFile("ro.txt"), bytesOf(std::string("r")));

    // A hidden entry replaces a hidden file of the same name.
    Metadata hidden = metadataOf("hidden.txt");
    EXPECT_NE(hidden.attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(readWholeFile("hidden.txt"), bytesOf(std::string("h2")));
    EXPECT_EQ(hidden.lastWrite, kBillionSecondsFileTime);

    EXPECT_EQ(metadataOf("plain.txt").attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
}

// --- Damaged payloads ------------------------------------------------------

struct DamageCase {
    const char* label;
    Bytes chunkBytes;    // everything after the file record's header
    bool payloadEnds;    // nothing follows chunkBytes
    Bytes expectedFile;  // what stays on disk
};

Bytes lengthField(uint32_t value) {
    Bytes b;
    appendU32(b, value);
    return b;
}

// A file's data that stops early or breaks the format ends the extraction
// with a failure; what was written stays, with the entry's time and
// attributes, and nothing behind the damage is extracted.
TEST(SimpleArchive, DamagedFileDataEndsTheExtraction) {
    const Bytes invalidBlockType = {0x07};  // BFINAL 1, BTYPE 11 (reserved)
    const DamageCase cases[] = {
        {"payload ends before a length field", concat({lengthField(0x80000002u), {1, 2}}), true, {1, 2}},
        {"payload ends inside a length field", concat({lengthField(0x80000002u), {1, 2}, {0x05, 0x00}}), true, {1, 2}},
        {"short chunk", concat({lengthField(0x80000010u), {1, 2, 3}}), true, {}},
        {"chunk length 2,048,576", concat({lengthField(0x80000001u), {9}, lengthField(0x001F4240u)}), false, {9}},
        {"stored chunk length 2,048,576", concat({lengthField(0x801F4240u), Bytes(16, 0)}), false, {}},
        {"invalid deflate block type", concat({lengthField(0x80000001u), {7}, lengthField(1), invalidBlockType}), false, {7}},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDirectory scratch;
        Bytes image = plainPreamble();
        append(image, recordHeader(2, "f.bin", kBillionSecondsFileTime, 0x21));
        append(image, c.chunkBytes);
        if (!c.payloadEnds) {
            append(image, recordHeader(1, "behind", 0, 0x10));
            append(image, endRecord());
        }

        MemoryReader reader(image);
        ASSERT_TRUE(reader.openPayload());
        bool finished = false;
        EXPECT_FALSE(reader.archive.extractNext(finished, nullptr));
        EXPECT_TRUE(finished);
        EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::Damaged);
        EXPECT_EQ(readWholeFile("f.bin"), c.expectedFile);
        Metadata info = metadataOf("f.bin");
        EXPECT_EQ(info.lastWrite, kBillionSecondsFileTime);
        EXPECT_NE(info.attributes & FILE_ATTRIBUTE_READONLY, 0u);
        EXPECT_FALSE(fs::exists("behind"));
    }
}

// A deflate stream cut short is damage too; what the inflater produced
// before the cut is kept, and it is a prefix of the data.
TEST(SimpleArchive, ADeflateStreamCutShortEndsTheExtraction) {
    ScratchDirectory scratch;
    const Bytes text = pattern(200000, 5);
    const Bytes deflated = rawDeflate(text);
    const Bytes half(deflated.begin(), deflated.begin() + long(deflated.size() / 2));
    Bytes image = plainPreamble();
    append(image, recordHeader(2, "f.bin", 0, 0x20));
    append(image, concat({lengthField(uint32_t(half.size())), half, lengthField(0)}));
    append(image, endRecord());

    MemoryReader reader(image);
    ASSERT_TRUE(reader.openPayload());
    EXPECT_FALSE(reader.extractAll());
    EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::Damaged);
    const Bytes got = readWholeFile("f.bin");
    ASSERT_LT(got.size(), text.size());
    EXPECT_EQ(got, Bytes(text.begin(), text.begin() + long(got.size())));
}

TEST(SimpleArchive, DamagedRecordsEndTheExtraction) {
    struct Case {
        const char* label;
        Bytes records;
    } cases[] = {
        {"wrong magic", {0x9B, 0xE5, 0x27, 0x6E, 0x00}},
        {"no end record", {}},
        {"record cut in the magic", {0x9B, 0xE5}},
        {"zero name length", [] { Bytes b = kRecordMagic; b.push_back(2); appendU16(b, 0); return b; }()},
        {"name cut short", [] { Bytes b = kRecordMagic; b.push_back(1); appendU16(b, 9); append(b, {'a', 'b'}); return b; }()},
        {"attributes missing", [] { Bytes b = recordHeader(1, "d", 0, 0x10); b.resize(b.size() - 2); return b; }()},
        // Names that climb out of the destination.
        {"directory ../climbed", recordHeader(1, "../climbed", 0, 0x10)},
        {"file a/../../climbed", [] { Bytes b = recordHeader(2, "a/../../climbed", 0, 0x20); appendU32(b, 0); return b; }()},
        {"file a\\..\\..\\climbed", [] { Bytes b = recordHeader(2, "a\\..\\..\\climbed", 0, 0x20); appendU32(b, 0); return b; }()},
        {"directory ..", recordHeader(1, "..", 0, 0x10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDirectory scratch;
        const fs::path climbed = scratch.path().parent_path() / "climbed";
        fs::remove_all(climbed);
        Bytes image = plainPreamble();
        append(image, c.records);
        MemoryReader reader(image);
        ASSERT_TRUE(reader.openPayload());
        EXPECT_FALSE(reader.extractAll());
        EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::Damaged);
        EXPECT_TRUE(fs::is_empty(scratch.path()));
        EXPECT_FALSE(fs::exists(climbed));
    }
}

// Every truncation of a complete payload fails: only the full payload
// reaches the end record.
TEST(SimpleArchive, EveryTruncatedPayloadEndsWithAFailure) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    const Bytes deflated = rawDeflate(compressibleText(200));
    ASSERT_TRUE(w.writeHeader() && w.addSetting("k", "v") && w.endSettings());
    ASSERT_TRUE(w.writeDirectory("d", 0, 0x10));
    ASSERT_TRUE(w.beginFile("d/f", 0, 0x20) && w.writeStoredChunk("abc", 3) &&
                w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile());
    ASSERT_TRUE(w.writeEnd());
    const Bytes full = payload.bytes();
    const size_t entriesStart = 8 + 6 + 2 + 1 + 2 + 1 + 2;

    for (size_t cut = entriesStart; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        ScratchDirectory scratch;
        MemoryReader reader(Bytes(full.begin(), full.begin() + long(cut)));
        ASSERT_TRUE(reader.openPayload());
        EXPECT_EQ(reader.extractAll(), cut == full.size());
    }
}

TEST(SimpleArchive, AFileThatCannotBeCreatedEndsTheExtraction) {
    ScratchDirectory scratch;
    fs::create_directory("taken");
    std::ofstream("blocker") << "a file where a directory is needed";
    struct Case {
        const char* label;
        uint8_t type;
        std::string name;
    } cases[] = {
        {"file over a directory", 2, "taken"},
        {"parent is a file", 2, "blocker/inner.txt"},
        {"directory below a file", 1, "blocker/sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes image = plainPreamble();
        append(image, recordHeader(c.type, c.name, 0, c.type == 1 ? 0x10 : 0x20));
        if (c.type == 2) appendU32(image, 0);
        append(image, endRecord());
        MemoryReader reader(image);
        ASSERT_TRUE(reader.openPayload());
        const fs::path before = fs::current_path();
        EXPECT_FALSE(reader.extractAll());
        fs::current_path(before);
        EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::CannotCreate);
    }
}

#if !defined(_WIN32)
// A write that delivers fewer bytes than asked (a full disk) ends the
// extraction. A file-size limit of 1,000 bytes stands in for the full disk:
// the kernel then writes only up to the limit (SIGXFSZ is ignored so that the
// short write is reported instead of ending the process).
TEST(SimpleArchive, AShortWriteEndsTheExtraction) {
    ScratchDirectory scratch;
    const Bytes data = pattern(4000, 9);
    Bytes image = plainPreamble();
    append(image, recordHeader(2, "big.bin", kUnixEpochFileTime, 0x20));
    appendU32(image, 0x80000000u | uint32_t(data.size()));
    append(image, data);
    appendU32(image, 0);
    append(image, recordHeader(1, "behind", 0, 0x10));
    append(image, endRecord());
    MemoryReader reader(image);
    ASSERT_TRUE(reader.openPayload());

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    void (*savedHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool finished = false;
    const bool extracted = reader.archive.extractNext(finished, nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    EXPECT_FALSE(extracted);
    EXPECT_TRUE(finished);
    EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::WriteFailed);
    EXPECT_EQ(fs::file_size("big.bin"), 1000u);
    EXPECT_FALSE(fs::exists("behind"));
}
#endif

// --- Payloads in files -----------------------------------------------------

// The file source scans in 20,000-byte blocks; a marker across a block
// boundary is still found, whichever of its bytes straddle it.
TEST(SimpleArchive, FindsTheMarkerAcrossScanBlocksInAFile) {
    ScratchDirectory scratch;
    for (uint32_t markerAt : {19990u, 19994u, 19996u, 19998u, 19999u, 20000u, 39997u}) {
        SCOPED_TRACE(markerAt);
        Bytes image = pattern(markerAt, markerAt);
        append(image, kMarker);
        append(image, kPlainHeader);
        appendU16(image, 4);
        append(image, bytesOf(std::string("name")));
        appendU16(image, 5);
        append(image, bytesOf(std::string("value")));
        appendU16(image, 0);
        writeWholeFile("image.bin", image);

        FileDataSource* source = FileDataSource::openDataSourceFile("image.bin", nullptr);
        ASSERT_NE(source, nullptr);
        SimpleArchive archive;
        archive.setSource(source);
        EXPECT_TRUE(archive.findMarker());
        EXPECT_TRUE(archive.readHeader());
        EXPECT_TRUE(archive.readArgs());
        EXPECT_EQ(argOf(archive, "name"), "value");
        delete source;
    }
}

// --- Encrypted payloads ----------------------------------------------------

MemoryPayload* encryptedPayload(const char* password, int keyBits, const Bytes& data) {
    auto* payload = new MemoryPayload();
    PayloadWriter& w = payload->writer;
    const Bytes deflated = rawDeflate(data);
    EXPECT_TRUE(w.setEncryption(password, keyBits));
    EXPECT_TRUE(w.writeHeader() && w.addSetting("setupFilename", "run.sh") && w.endSettings());
    EXPECT_TRUE(w.writeDirectory("secret dir", kUnixEpochFileTime, 0x10));
    EXPECT_TRUE(w.beginFile("secret dir/data.bin", kBillionSecondsFileTime, 0x20));
    EXPECT_TRUE(w.writeStoredChunk(data.data(), uint32_t(std::min<size_t>(1000, data.size()))));
    EXPECT_TRUE(w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())));
    EXPECT_TRUE(w.endFile());
    EXPECT_TRUE(w.writeEnd());
    return payload;
}

TEST(SimpleArchive, ExtractsEncryptedPayloadsWithTheRightPassword) {
    const Bytes data = compressibleText(70000);
    for (int keyBits : {128, 192, 256}) {
        SCOPED_TRACE(keyBits);
        ScratchDirectory scratch;
        std::unique_ptr<MemoryPayload> payload(encryptedPayload("pass word", keyBits, data));
        MemoryReader reader(payload->bytes());
        ASSERT_TRUE(reader.openPayload());
        EXPECT_TRUE(reader.archive.isEncrypted());
        EXPECT_EQ(reader.archive.getKeyLength(), keyBits);
        EXPECT_EQ(argOf(reader.archive, "setupFilename"), "run.sh") << "settings are never enciphered";
        reader.archive.usePassword("pass word");
        ASSERT_TRUE(reader.archive.verifyPassword());
        ASSERT_TRUE(reader.extractAll());
        Bytes expected(data.begin(), data.begin() + 1000);
        append(expected, data);
        EXPECT_EQ(readWholeFile("secret dir/data.bin"), expected);
        EXPECT_EQ(metadataOf("secret dir/data.bin").lastWrite, kBillionSecondsFileTime);
    }
}

TEST(SimpleArchive, RejectsAWrongPasswordAndConsumesTheVerifier) {
    std::unique_ptr<MemoryPayload> payload(encryptedPayload("right", 256, compressibleText(100)));
    MemoryReader reader(payload->bytes());
    ASSERT_TRUE(reader.openPayload());
    reader.archive.usePassword("wrong");
    const uint32_t before = reader.position();
    EXPECT_FALSE(reader.archive.verifyPassword());
    EXPECT_EQ(reader.position(), before + 1 + 16) << "u8 length and one block";

    MemoryReader plain(plainPreamble());
    ASSERT_TRUE(plain.openPayload());
    plain.archive.usePassword("right");
    EXPECT_FALSE(plain.archive.verifyPassword()) << "a plain payload has no verifier";
}

// The verifier must decipher to exactly "qmfu": more bytes, fewer, or a
// ciphertext that is not whole blocks are rejected.
TEST(SimpleArchive, AcceptsOnlyTheExactVerifier) {
    // The writer enciphers a stored chunk exactly as it does the verifier, so
    // a chunk holding the candidate text gives its verifier ciphertext.
    auto cipherTextOf = [](const std::string& text) {
        MemoryPayload p;
        EXPECT_TRUE(p.writer.setEncryption("pw", 128));
        EXPECT_TRUE(p.writer.writeHeader() && p.writer.endSettings());
        EXPECT_TRUE(p.writer.beginFile("n", 0, 0x20));
        const size_t before = p.bytes().size();
        EXPECT_TRUE(p.writer.writeStoredChunk(text.data(), uint32_t(text.size())));
        Bytes b = p.bytes();
        return Bytes(b.begin() + long(before) + 4, b.end());
    };
    struct Case {
        const char* label;
        Bytes verifier;
        bool accepted;
    } cases[] = {
        {"qmfu", cipherTextOf("qmfu"), true},
        {"qmfu and more", cipherTextOf("qmfuX"), false},
        {"qmf", cipherTextOf("qmf"), false},
        {"QMFU", cipherTextOf("QMFU"), false},
        {"not whole blocks", [&] { Bytes v = cipherTextOf("qmfu"); v.push_back(0); return v; }(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes image = kMarker;
        append(image, {0, 0, 0, 0, 1, 0});
        appendU16(image, 0);
        image.push_back(uint8_t(c.verifier.size()));
        append(image, c.verifier);
        MemoryReader reader(image);
        ASSERT_TRUE(reader.openPayload());
        reader.archive.usePassword("pw");
        EXPECT_EQ(reader.archive.verifyPassword(), c.accepted);
    }
}

TEST(SimpleArchive, EncipheredChunksThatAreNotWholeBlocksAreDamage) {
    ScratchDirectory scratch;
    std::unique_ptr<MemoryPayload> payload(new MemoryPayload());
    PayloadWriter& w = payload->writer;
    ASSERT_TRUE(w.setEncryption("pw", 128) && w.writeHeader() && w.endSettings());
    ASSERT_TRUE(w.beginFile("f", 0, 0x20));
    ASSERT_TRUE(w.writeStoredChunk("ok", 2));
    Bytes bad;
    appendU32(bad, 0x80000011u);
    append(bad, Bytes(17, 0x42));
    ASSERT_TRUE(w.writeRaw(bad.data(), uint32_t(bad.size())));
    ASSERT_TRUE(w.endFile() && w.writeEnd());

    MemoryReader reader(payload->bytes());
    ASSERT_TRUE(reader.openPayload());
    reader.archive.usePassword("pw");
    ASSERT_TRUE(reader.archive.verifyPassword());
    EXPECT_FALSE(reader.extractAll());
    EXPECT_EQ(reader.archive.getFailure(), SimpleArchive::Failure::Damaged);
    EXPECT_EQ(readWholeFile("f"), bytesOf(std::string("ok")));
}

}  // namespace
