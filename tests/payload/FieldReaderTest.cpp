// FieldReader's read-ahead: the archive reading a payload in blocks must see
// exactly what it sees field by field, on a whole payload and on the same
// payload cut at every place where a field, a record or a read-ahead block
// begins or ends: the same results, failures, progress calls and entries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/MemoryDataSource.h"
#include "payload/EntryObserver.h"
#include "payload/FieldReader.h"
#include "payload/SimpleArchive.h"
#include "tests/payload/PayloadTestSupport.h"

using namespace payload_test;

namespace {

// Everything a run reports, in order.
class RunRecord : public EntryObserver {
public:
    void onEntry(const EntryFacts& facts) override {
        events.push_back("entry " + std::string(facts.name) + " " + std::to_string(facts.sizeBytes));
    }
    std::vector<std::string> events;
};

std::vector<std::string> verifyRun(const Bytes& bytes, SimpleArchive::SourceReading reading) {
    MemoryDataSource source(bytes.data(), uint32_t(bytes.size()));
    SimpleArchive archive;
    archive.setSource(&source);
    archive.setSourceReading(reading);
    archive.setEntryAction(SimpleArchive::EntryAction::VerifyOnly);
    RunRecord record;
    archive.setEntryObserver(&record);
    RecordingProgress progress;
    if (!archive.findMarker() || !archive.readHeader() || !archive.readArgs()) {
        record.events.push_back("no settings");
        return record.events;
    }
    for (int guard = 0; guard < 100; ++guard) {
        bool finished = false;
        const bool ok = archive.extractNext(finished, &progress);
        for (const auto& call : progress.calls)
            record.events.push_back("progress " + std::to_string(call.first) + " " + std::to_string(call.second));
        progress.calls.clear();
        record.events.push_back(std::string(ok ? "true" : "false") + (finished ? " finished" : "") + " failure " +
                                std::to_string(int(archive.getFailure())));
        if (!ok || finished) break;
    }
    return record.events;
}

}  // namespace

TEST(FieldReaderReadAhead, CutPayloadsReadAsFieldByField) {
    // Small records, a stored chunk longer than a read-ahead block (it goes
    // around the buffer) and a compressed chunk behind it.
    MemoryPayload payload;
    PayloadWriter& w = payload.writer;
    const Bytes small = compressibleText(300);
    const Bytes large = pattern(FieldReader::kReadAheadBytes + 4321, 7);
    const Bytes deflated = rawDeflate(compressibleText(20000));
    ASSERT_TRUE(w.writeHeader() && w.addSetting("setupFilename", "setup.sh") && w.endSettings());
    ASSERT_TRUE(w.writeDirectory("d", kBillionSecondsFileTime, 0x10));
    ASSERT_TRUE(w.beginFile("d/small.txt", kBillionSecondsFileTime, 0x20) &&
                w.writeStoredChunk(small.data(), uint32_t(small.size())) && w.endFile());
    ASSERT_TRUE(w.beginFile("d/large.bin", kBillionSecondsFileTime, 0x20) &&
                w.writeStoredChunk(large.data(), uint32_t(large.size())) &&
                w.writeCompressedChunk(deflated.data(), uint32_t(deflated.size())) && w.endFile());
    ASSERT_TRUE(w.beginFile("empty", kBillionSecondsFileTime, 0x20) && w.endFile());
    ASSERT_TRUE(w.writeEnd());
    const Bytes whole = payload.bytes();

    std::vector<size_t> cuts;
    for (size_t at = 0; at < 400; ++at) cuts.push_back(at);  // the settings and the first records
    for (size_t block = FieldReader::kReadAheadBytes; block < whole.size(); block += FieldReader::kReadAheadBytes)
        for (size_t at = block - 8; at <= block + 8; ++at) cuts.push_back(at);
    for (size_t at = whole.size() - deflated.size() - 40; at <= whole.size(); ++at) cuts.push_back(at);
    for (size_t at = 400; at < whole.size(); at += 997) cuts.push_back(at);

    const auto fieldByField = verifyRun(whole, SimpleArchive::SourceReading::PerField);
    ASSERT_EQ(fieldByField.back(), "true finished failure 0");
    EXPECT_EQ(verifyRun(whole, SimpleArchive::SourceReading::ReadAhead), fieldByField);
    for (size_t cut : cuts) {
        if (cut > whole.size()) continue;
        const Bytes part(whole.begin(), whole.begin() + cut);
        ASSERT_EQ(verifyRun(part, SimpleArchive::SourceReading::ReadAhead),
                  verifyRun(part, SimpleArchive::SourceReading::PerField))
            << "cut at " << cut << " of " << whole.size();
    }
}
