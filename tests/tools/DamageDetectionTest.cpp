// What `bvsfx test` can and cannot see. A small installer is damaged one
// byte at a time, at every offset of its payload, and the walker that
// `bvsfx test` runs must find every change to chunk data (stored and
// deflated, plain and encrypted) and must never crash on a payload cut off
// at any offset. Thanks to the check records (payload/CheckRecord.h)
// no change anywhere in the payload goes unnoticed, the Unix records behind
// its end record (payload/UnixRecord.h) included.
#ifdef BVSFX_TOOL_PATH

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "ToolTestSupport.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadWriter.h"
#include "payload/CheckRecord.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/PayloadWalker.h"

namespace {

using namespace tool_test;

// Silences standard error while the walker reports thousands of faults.
class QuietStderr {
public:
    QuietStderr() : m_saved(::dup(2)) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }

private:
    int m_saved;
};

// Every byte of the payload named by the field it belongs to.
struct FieldMap {
    uint64_t payloadStart = 0;
    std::map<uint64_t, std::string> fieldAt;  // offset -> "chunk data", "time", ...
};

enum class Verdict { Sound, Damaged, Refused };

Verdict check(const fs::path& file, const char* password) {
    InstallerFile installer;
    if (installer.open(file.string()) != kExitOk) return Verdict::Refused;
    Password::Sources sources;
    if (password != nullptr) {
        sources.optionGiven = true;
        sources.option = password;
    }
    if (installer.unlock(sources, true) != kExitOk) return Verdict::Refused;
    PayloadVisitor nothing;
    PayloadWalker walker(installer, true, nullptr);
    return walker.walk(nothing) ? Verdict::Sound : Verdict::Damaged;
}

void label(FieldMap& map, uint64_t from, uint64_t bytes, const std::string& field) {
    for (uint64_t i = 0; i < bytes; ++i) map.fieldAt[from + i] = field;
}

// Labels every record and chunk of a sound installer by reading it.
FieldMap mapFields(const fs::path& file, const char* password) {
    FieldMap map;
    InstallerFile installer;
    EXPECT_EQ(installer.open(file.string()), kExitOk);
    PayloadReader& reader = installer.reader();
    map.payloadStart = reader.markerOffset();
    label(map, map.payloadStart, reader.position() - map.payloadStart, "marker, header and settings");
    const uint64_t verifierStart = reader.position();
    if (password != nullptr) {
        Password::Sources sources;
        sources.optionGiven = true;
        sources.option = password;
        EXPECT_EQ(installer.unlock(sources, true), kExitOk);
        label(map, verifierStart, reader.position() - verifierStart, "verifier");
    }
    DataBuffer data;
    // The entries, their end record, then the Unix records and theirs.
    bool inTrailer = false;
    for (;;) {
        PayloadReader::EntryRecord entry;
        const auto result = reader.nextRecord(entry);
        std::string kind = entry.type == CheckRecord::kCheckRecordType ? "check record " : "entry ";
        if (inTrailer) kind = "Unix " + kind;
        if (result == PayloadReader::RecordResult::End) {
            label(map, entry.offset, 5, inTrailer ? "Unix end record" : "end record");
            if (inTrailer || reader.position() >= installer.fileSize()) break;
            inTrailer = true;
            continue;
        }
        EXPECT_EQ(result, PayloadReader::RecordResult::Entry);
        if (result != PayloadReader::RecordResult::Entry) break;
        uint64_t at = entry.offset;
        label(map, at, 4, kind + "magic");
        label(map, at + 4, 1, kind + "type");
        label(map, at + 5, 2, kind + "name length");
        label(map, at + 7, entry.storedNameBytes, kind + "name");
        at += 7 + entry.storedNameBytes;
        label(map, at, 8, kind + "time");
        label(map, at + 8, 4, kind + "attributes");
        if (entry.type != 2) continue;
        for (;;) {
            PayloadReader::ChunkRecord chunk;
            const auto chunkResult = reader.nextChunk(chunk, data);
            label(map, chunk.offset, 4, "chunk length");
            if (chunkResult != PayloadReader::ChunkResult::Data) break;
            label(map, chunk.offset + 4, chunk.dataBytes, chunk.stored ? "stored chunk data" : "deflated chunk data");
        }
    }
    return map;
}

class DamageDetectionTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Bytes stub(64, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::copy(std::begin(ident), std::end(ident), stub.begin());
        stub[18] = 0x3E;
        writeBytes(scratch / "stub", stub);
        writeBytes(scratch / "tree" / "a.txt", text(1500, 1));     // deflated
        writeBytes(scratch / "tree" / "b.bin", noise(120, 2));     // stored
        writeBytes(scratch / "tree" / "sub" / "c.txt", text(40, 3));
    }

    // Damages every payload byte (chunk data with two patterns, a low and
    // a high bit change, the rest with one); returns the fields of the
    // offsets where the damage went unnoticed.
    std::map<std::string, int> sweep(const fs::path& installer, const char* password, int& trials) {
        const Bytes sound = readBytes(installer);
        EXPECT_EQ(check(installer, password), Verdict::Sound);
        const FieldMap map = mapFields(installer, password);
        EXPECT_EQ(map.fieldAt.size(), sound.size() - map.payloadStart) << "every payload byte has a field";
        std::map<std::string, int> unnoticed;
        const fs::path damaged = scratch / "damaged.exe";
        QuietStderr quiet;
        for (uint64_t offset = map.payloadStart; offset < sound.size(); ++offset) {
            const auto field = map.fieldAt.find(offset);
            const bool chunkData = field != map.fieldAt.end() && field->second.find("chunk data") != std::string::npos;
            for (uint8_t pattern : {uint8_t(0xFF), uint8_t(0x01)}) {
                if (pattern == 0x01 && !chunkData) continue;
                Bytes copy = sound;
                copy[offset] ^= pattern;
                writeBytes(damaged, copy);
                ++trials;
                if (check(damaged, password) == Verdict::Sound) {
                    ++unnoticed[field == map.fieldAt.end() ? "unlabelled" : field->second];
                }
            }
        }
        EXPECT_GE(uint64_t(trials), sound.size() - map.payloadStart) << "every payload byte was damaged";
        return unnoticed;
    }
};

TEST_F(DamageDetectionTest, EveryChangeOfAPlainPayloadIsFound) {
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "plain.exe", "tree"}).exitCode, 0);
    int trials = 0;
    const auto unnoticed = sweep(scratch / "plain.exe", nullptr, trials);
    for (const auto& [field, count] : unnoticed) ADD_FAILURE() << count << " unnoticed changes in the " << field;
}

TEST_F(DamageDetectionTest, EveryChangeOfAClassicEncryptedPayloadIsFound) {
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "secret.exe", "-p", "pw", "--key-bits", "128",
                     "--classic-encryption", "tree"})
                  .exitCode,
              0);
    int trials = 0;
    const auto unnoticed = sweep(scratch / "secret.exe", "pw", trials);
    for (const auto& [field, count] : unnoticed) ADD_FAILURE() << count << " unnoticed changes in the " << field;
}

// The strong mode with the right password: a change to the key record is
// a refused password, anything else fails an authentication code or a
// check record. (The lowest iteration count keeps the sweep quick; a
// changed count costs at most what it names, and above 10,000,000 it is
// refused at once.)
TEST_F(DamageDetectionTest, EveryChangeOfAStrongPayloadIsFound) {
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "strong.exe", "-p", "pw", "--key-bits", "128",
                     "--kdf-iterations", "1000", "tree"})
                  .exitCode,
              0);
    int trials = 0;
    const auto unnoticed = sweep(scratch / "strong.exe", "pw", trials);
    for (const auto& [field, count] : unnoticed) ADD_FAILURE() << count << " unnoticed changes in the " << field;
}

TEST_F(DamageDetectionTest, TruncationAtEveryOffsetIsReportedNeverFatal) {
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "whole.exe", "-p", "pw", "--kdf-iterations", "1000", "tree"})
                  .exitCode,
              0);
    const Bytes whole = readBytes(scratch / "whole.exe");
    const fs::path cut = scratch / "cut.exe";
    {
        QuietStderr quiet;
        for (size_t length = 0; length < whole.size(); ++length) {
            writeBytes(cut, Bytes(whole.begin(), whole.begin() + long(length)));
            EXPECT_NE(check(cut, "pw"), Verdict::Sound) << "cut to " << length << " bytes";
        }
    }
    // And the command itself, at a spread of lengths: exit codes 6 (no
    // payload yet), 8 (verifier cut) or 7 (damaged), never a crash.
    for (size_t length = 0; length < whole.size(); length += 89) {
        writeBytes(cut, Bytes(whole.begin(), whole.begin() + long(length)));
        const RunResult result = bvsfx({"test", "-q", "-p", "pw", "cut.exe"});
        EXPECT_TRUE(result.exitCode == kExitNotPayload || result.exitCode == kExitPassword ||
                    result.exitCode == kExitDamaged)
            << "cut to " << length << ": " << describe(result);
    }
}

// A payload from another writer has no check records: damage to a stored
// chunk cannot be seen, and `bvsfx test` says so instead of claiming more.
TEST_F(DamageDetectionTest, PayloadsWithoutCheckRecordsAreReportedUnchecked) {
    Bytes installer = readBytes(scratch / "stub");
    DataBuffer payload;
    OutputDataBuffer output(&payload);
    PayloadWriter writer(output);
    const Bytes data = noise(100, 9);
    ASSERT_TRUE(writer.writeHeader() && writer.endSettings() && writer.beginFile("x.bin", 0x019DB1DED53E8000ull, 0x20) &&
                writer.writeStoredChunk(data.data(), uint32_t(data.size())) && writer.endFile() && writer.writeEnd());
    installer.insert(installer.end(), payload.getData(), payload.getData() + payload.getSize());
    installer[installer.size() - 30] ^= 0xFF;  // inside the stored chunk
    writeBytes(scratch / "foreign.exe", installer);
    const RunResult result = bvsfx({"test", "foreign.exe"});
    EXPECT_EQ(result.exitCode, kExitOk) << describe(result);
    EXPECT_NE(result.out.find("1 file has no check record, so damage to its stored data"), std::string::npos) << result.out;
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
