// SimpleArchive over payloads with Unix records behind the end record
// (payload/UnixRecord.h): modes are applied (without setuid, setgid and
// sticky, under the umask), links are created as links with the packed
// target and replace whatever was planted at their names without following
// it; records that do not check out, or that are announced and missing,
// are damage; a payload that does not announce them never has them read.
// A Windows installer never reads them, sound or not.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PayloadTestSupport.h"
#include "io/MemoryDataSource.h"
#include "payload/CheckRecord.h"
#include "payload/PayloadFormat.h"
#include "payload/SimpleArchive.h"
#include "payload/UnixRecord.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace payload_test;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMarkerBytes = 8;

struct Entry {
    std::string name;
    bool isDirectory;
    uint32_t mode;
    std::string content;
};

struct Link {
    std::string name;
    std::string target;
};

struct Layout {
    std::vector<Entry> entries = {
        {"bin", true, 0750, ""},
        {"bin/tool", false, 04755, "#!/bin/sh\necho tool\n"},  // setuid as packed: never applied
        {"data.txt", false, 0640, "data\n"},
    };
    std::vector<Link> links = {{"bin/run", "tool"}, {"up", "bin/../data.txt"}};
    bool announce = true;          // the header's flag
    bool writeTrailer = true;
    uint32_t trailerCrcDelta = 0;  // damage to the closing check record
    bool omitLastMode = false;     // no mode record for the last entry
};

uint32_t zlibCrc(const Bytes& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes.data(), uInt(bytes.size())));
}

bool writeCheck(PayloadWriter& w, const CheckRecord::Fields& fields) {
    return w.writeOtherEntry(CheckRecord::kCheckRecordType, CheckRecord::format(fields).c_str(), 0, 0);
}

// The payload as bvsfx writes it.
Bytes payloadOf(const Layout& layout) {
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    if (layout.announce) {
        EXPECT_TRUE(w.setExtensionFlags(PayloadFormat::kExtensionUnixTrailer));
    }
    EXPECT_TRUE(w.writeHeader());
    Bytes table = payload.bytes();
    table.erase(table.begin(), table.begin() + kMarkerBytes);
    table.push_back(0);  // the terminator endSettings writes
    table.push_back(0);
    EXPECT_TRUE(w.endSettings());
    EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::Settings, zlibCrc(table), 0, 0}));
    for (const Entry& e : layout.entries) {
        const uint32_t attributes = e.isDirectory ? 0x10 : 0x20;
        const uint8_t type = e.isDirectory ? PayloadFormat::kEntryDirectory : PayloadFormat::kEntryFile;
        const uint32_t headerCrc = CheckRecord::entryHeaderCrc(type, e.name, kBillionSecondsFileTime, attributes);
        if (e.isDirectory) {
            EXPECT_TRUE(w.writeDirectory(e.name.c_str(), kBillionSecondsFileTime, attributes));
            EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::Directory, headerCrc, 0, 0}));
            continue;
        }
        const Bytes content = bytesOf(e.content);
        EXPECT_TRUE(w.beginFile(e.name.c_str(), kBillionSecondsFileTime, attributes) &&
                    w.writeStoredChunk(content.data(), uint32_t(content.size())) && w.endFile());
        EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::File, headerCrc, zlibCrc(content), content.size()}));
    }
    EXPECT_TRUE(writeCheck(w, {CheckRecord::Kind::End, 0, 0, layout.entries.size()}));
    EXPECT_TRUE(w.writeEnd());
    if (!layout.writeTrailer) return payload.bytes();
    UnixRecord::TrailerSum sum;
    auto record = [&](const UnixRecord::Fields& fields) {
        const std::string text = UnixRecord::format(fields);
        sum.add(UnixRecord::kUnixRecordType, text.data(), text.size());
        EXPECT_TRUE(w.writeTrailerRecord(UnixRecord::kUnixRecordType, text.data(), uint32_t(text.size())));
    };
    for (size_t i = 0; i < layout.entries.size() - (layout.omitLastMode ? 1 : 0); ++i) {
        UnixRecord::Fields fields;
        fields.entryIndex = i;
        fields.mode = layout.entries[i].mode;
        record(fields);
    }
    for (const Link& l : layout.links) {
        UnixRecord::Fields fields;
        fields.kind = UnixRecord::Kind::Link;
        fields.name = l.name;
        fields.target = l.target;
        record(fields);
    }
    const std::string check =
        CheckRecord::format({CheckRecord::Kind::Trailer, sum.crc() + layout.trailerCrcDelta, 0, sum.records()});
    EXPECT_TRUE(w.writeTrailerRecord(CheckRecord::kCheckRecordType, check.data(), uint32_t(check.size())));
    EXPECT_TRUE(w.writeTrailerEnd());
    return payload.bytes();
}

SimpleArchive::Failure extract(const Bytes& bytes) {
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    EXPECT_TRUE(archive.findMarker() && archive.readHeader() && archive.readArgs());
    for (int guard = 0; guard < 100; ++guard) {
        bool finished = false;
        if (!archive.extractNext(finished, nullptr)) return archive.getFailure();
        if (finished) return SimpleArchive::Failure::None;
    }
    ADD_FAILURE() << "extraction did not end";
    return SimpleArchive::Failure::Damaged;
}

}  // namespace

#ifdef _WIN32

TEST(SimpleArchiveUnix, WindowsNeverReadsTheRecords) {
    for (const uint32_t crcDelta : {0u, 1u}) {
        SCOPED_TRACE(crcDelta == 0 ? "sound records" : "damaged records");
        ScratchDirectory scratch;
        Layout layout;
        layout.trailerCrcDelta = crcDelta;
        ASSERT_EQ(extract(payloadOf(layout)), SimpleArchive::Failure::None);
        EXPECT_EQ(readWholeFile("bin/tool"), bytesOf(std::string("#!/bin/sh\necho tool\n")));
        EXPECT_FALSE(fs::exists(fs::symlink_status("bin/run")));
        EXPECT_FALSE(fs::exists(fs::symlink_status("up")));
    }
}

#else

namespace {

uint32_t modeOf(const fs::path& path) {
    return static_cast<uint32_t>(fs::symlink_status(path).permissions()) & 07777u;
}

// The process's umask for the test's life.
class Umask {
public:
    explicit Umask(unsigned mask) : m_previous(::umask(mask)) {}
    ~Umask() { ::umask(m_previous); }

private:
    unsigned m_previous;
};

}  // namespace

TEST(SimpleArchiveUnix, ModesAndLinksAreApplied) {
    for (const unsigned mask : {022u, 077u}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        Umask umask(mask);
        ScratchDirectory scratch;
        ASSERT_EQ(extract(payloadOf(Layout())), SimpleArchive::Failure::None);
        EXPECT_EQ(modeOf("bin"), 0750u & ~mask);
        EXPECT_EQ(modeOf("bin/tool"), 0755u & ~mask);  // execute bits kept, setuid left out
        EXPECT_EQ(modeOf("data.txt"), 0640u & ~mask);
        ASSERT_TRUE(fs::is_symlink("bin/run"));
        EXPECT_EQ(fs::read_symlink("bin/run"), "tool");
        EXPECT_EQ(fs::read_symlink("up"), "bin/../data.txt");
        EXPECT_EQ(readWholeFile("bin/run"), bytesOf(std::string("#!/bin/sh\necho tool\n")));
    }
}

// Someone who can write into the destination planted links at the names of
// a file and of a link, and in the folder on the way: nothing outside is
// touched, and every name ends up as packed.
TEST(SimpleArchiveUnix, PlantedLinksAreReplacedNotFollowed) {
    ScratchDirectory scratch;
    fs::create_directories("outside");
    writeWholeFile("outside/victim", bytesOf(std::string("victim\n")));
    fs::permissions("outside/victim", fs::perms(0600));
    fs::create_directories("dest");
    fs::create_symlink("../outside", "dest/bin");            // a folder on the way
    fs::create_symlink("../outside/victim", "dest/data.txt");  // a file's name
    fs::create_symlink("../outside/victim", "dest/up");        // a link's name
    fs::current_path("dest");
    ASSERT_EQ(extract(payloadOf(Layout())), SimpleArchive::Failure::None);
    fs::current_path("..");
    EXPECT_EQ(readWholeFile("outside/victim"), bytesOf(std::string("victim\n")));
    EXPECT_EQ(modeOf("outside/victim"), 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator("outside"), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::is_symlink("dest/bin"));
    EXPECT_FALSE(fs::is_symlink("dest/data.txt"));
    EXPECT_EQ(fs::read_symlink("dest/up"), "bin/../data.txt");
    EXPECT_EQ(fs::read_symlink("dest/bin/run"), "tool");
}

TEST(SimpleArchiveUnix, RecordsThatDoNotCheckOutAreDamage) {
    struct Case {
        const char* label;
        Layout layout;
    } cases[] = {
        {"closing check CRC changed", [] { Layout l; l.trailerCrcDelta = 1; return l; }()},
        {"announced but missing", [] { Layout l; l.writeTrailer = false; return l; }()},
        {"a mode missing", [] { Layout l; l.omitLastMode = true; return l; }()},
        {"a link that climbs out", [] { Layout l; l.links.push_back({"../escape", "x"}); return l; }()},
        {"a link with an absolute name", [] { Layout l; l.links.push_back({"/tmp/escape", "x"}); return l; }()},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDirectory scratch;
        const Bytes bytes = payloadOf(c.layout);
        EXPECT_EQ(extract(bytes), SimpleArchive::Failure::Damaged);
        EXPECT_FALSE(fs::exists(fs::symlink_status("bin/run")));  // nothing applied
    }
}

// Without the header's flag the records are never read: what a reader
// that predates them does with every payload.
TEST(SimpleArchiveUnix, UnannouncedRecordsAreNotRead) {
    Umask umask(022);
    ScratchDirectory scratch;
    Layout layout;
    layout.announce = false;
    ASSERT_EQ(extract(payloadOf(layout)), SimpleArchive::Failure::None);
    EXPECT_EQ(modeOf("bin/tool"), 0644u);
    EXPECT_FALSE(fs::exists(fs::symlink_status("bin/run")));
}

#endif  // _WIN32
