// UnixRecord and UnixTrailer: the texts of the Unix records round trip, a
// reader skips fields and record kinds it does not know, and the closing
// check record reveals any change to the records before it.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "payload/CheckRecord.h"
#include "payload/UnixRecord.h"
#include "payload/UnixTrailer.h"

namespace {

using namespace std::string_literals;

UnixRecord::Fields modeRecord(uint64_t index, uint32_t bits) {
    UnixRecord::Fields fields;
    fields.kind = UnixRecord::Kind::Mode;
    fields.entryIndex = index;
    fields.mode = bits;
    return fields;
}

UnixRecord::Fields linkRecord(const std::string& name, const std::string& target) {
    UnixRecord::Fields fields;
    fields.kind = UnixRecord::Kind::Link;
    fields.name = name;
    fields.target = target;
    return fields;
}

std::string closing(const UnixRecord::TrailerSum& sum, uint32_t crcDelta = 0, uint64_t countDelta = 0) {
    return CheckRecord::format({CheckRecord::Kind::Trailer, sum.crc() + crcDelta, 0, sum.records() + countDelta});
}

}  // namespace

TEST(UnixRecord, TextsAreExactlyTheDocumentedFields) {
    EXPECT_EQ(UnixRecord::format(modeRecord(0, 0755)), "M\0"s "0\0"s "0755");
    EXPECT_EQ(UnixRecord::format(modeRecord(18446744073709551615ull, 04711)), "M\0"s "18446744073709551615\0"s "4711");
    EXPECT_EQ(UnixRecord::format(linkRecord("lib/libx.so", "libx.so.1")), "L\0lib/libx.so\0libx.so.1"s);
    EXPECT_EQ(CheckRecord::format({CheckRecord::Kind::Trailer, 0xDEADBEEF, 0, 12}), "T deadbeef 12");
}

TEST(UnixRecord, RoundTrip) {
    for (const UnixRecord::Fields& fields :
         {modeRecord(0, 0), modeRecord(7, 0644), modeRecord(123456, 07777), linkRecord("a", "b"), linkRecord("dir/with space/x", "../../up and over"),
          linkRecord("n", "/absolute/\xC3\xA9\x01")}) {
        UnixRecord::Fields parsed;
        ASSERT_TRUE(UnixRecord::parse(UnixRecord::format(fields), parsed));
        EXPECT_EQ(parsed.kind, fields.kind);
        EXPECT_EQ(parsed.entryIndex, fields.entryIndex);
        EXPECT_EQ(parsed.mode, fields.mode);
        EXPECT_EQ(parsed.name, fields.name);
        EXPECT_EQ(parsed.target, fields.target);
    }
}

// What a later writer may add is skipped; what is not the known form is
// refused.
TEST(UnixRecord, UnknownFieldsAndKindsAreSkippedMalformedOnesRefused) {
    struct Case {
        const char* label;
        std::string text;
        bool accepted;
        UnixRecord::Kind kind;
    } cases[] = {
        {"mode with a later field", "M\0" "3\0" "0755\0" "owner=1000"s, true, UnixRecord::Kind::Mode},
        {"link with two later fields", "L\0a\0b\0x\0y"s, true, UnixRecord::Kind::Link},
        {"unknown kind", "X\0whatever"s, true, UnixRecord::Kind::Unknown},
        {"unknown longer kind", "Mode\0" "1"s, true, UnixRecord::Kind::Unknown},
        {"empty text", ""s, false, UnixRecord::Kind::Mode},
        {"empty kind", "\0" "1\0" "0755"s, false, UnixRecord::Kind::Mode},
        {"mode without its bits", "M\0" "1"s, false, UnixRecord::Kind::Mode},
        {"mode of three digits", "M\0" "1\0" "755"s, false, UnixRecord::Kind::Mode},
        {"mode of five digits", "M\0" "1\0" "00755"s, false, UnixRecord::Kind::Mode},
        {"mode digit 8", "M\0" "1\0" "0785"s, false, UnixRecord::Kind::Mode},
        {"index with a leading zero", "M\0" "01\0" "0755"s, false, UnixRecord::Kind::Mode},
        {"index beyond 64 bits", "M\0" "18446744073709551616\0" "0755"s, false, UnixRecord::Kind::Mode},
        {"index not decimal", "M\0" "1a\0" "0755"s, false, UnixRecord::Kind::Mode},
        {"link without target", "L\0name"s, false, UnixRecord::Kind::Link},
        {"link with empty target", "L\0name\0"s, false, UnixRecord::Kind::Link},
        {"link with empty name", "L\0\0target"s, false, UnixRecord::Kind::Link},
    };
    for (const Case& c : cases) {
        UnixRecord::Fields fields;
        EXPECT_EQ(UnixRecord::parse(c.text, fields), c.accepted) << c.label;
        if (c.accepted) {
            EXPECT_EQ(fields.kind, c.kind) << c.label;
        }
    }
}

TEST(UnixTrailer, SoundRecordsCloseAndKeepModesAndLinks) {
    UnixTrailer trailer;
    UnixRecord::TrailerSum sum;
    for (const UnixRecord::Fields& fields : {modeRecord(0, 0755), modeRecord(1, 0600), linkRecord("bin/sh", "busybox")}) {
        const std::string text = UnixRecord::format(fields);
        sum.add(UnixRecord::kUnixRecordType, text.data(), text.size());
        ASSERT_EQ(trailer.take(UnixRecord::kUnixRecordType, text.data(), text.size(), 0, 0), UnixTrailer::Take::More);
    }
    const std::string unknown = "Z\0later"s;  // a later writer's record: summed, not used
    sum.add(UnixRecord::kUnixRecordType, unknown.data(), unknown.size());
    ASSERT_EQ(trailer.take(UnixRecord::kUnixRecordType, unknown.data(), unknown.size(), 0, 0), UnixTrailer::Take::More);
    const std::string check = closing(sum);
    EXPECT_EQ(trailer.take(CheckRecord::kCheckRecordType, check.data(), check.size(), 0, 0), UnixTrailer::Take::Closed);
    EXPECT_EQ(trailer.modeCount(), 2u);
    EXPECT_EQ(trailer.modeOf(0), 0755u);
    EXPECT_EQ(trailer.modeOf(1), 0600u);
    EXPECT_EQ(trailer.modeOf(2), UnixTrailer::kNoMode);
    ASSERT_EQ(trailer.links().size(), 1u);
    EXPECT_EQ(trailer.links()[0].name, "bin/sh");
    EXPECT_EQ(trailer.links()[0].target, "busybox");
}

// Each change is what damage or a careless writer could make of sound
// records; the closing check (or the record's own form) reveals it.
TEST(UnixTrailer, DamageIsFound) {
    struct Case {
        const char* label;
        std::function<void(std::string& text, uint8_t& type, uint64_t& time, uint32_t& attributes)> change;
        uint32_t crcDelta;
        uint64_t countDelta;
    } cases[] = {
        {"a mode bit changed", [](std::string& t, uint8_t&, uint64_t&, uint32_t&) { t.back() = '7'; }, 0, 0},
        {"a link target changed", [](std::string& t, uint8_t&, uint64_t&, uint32_t&) { t[t.size() - 2] = 'X'; }, 0, 0},
        {"the check's CRC changed", [](std::string&, uint8_t&, uint64_t&, uint32_t&) {}, 1, 0},
        {"the check's count changed", [](std::string&, uint8_t&, uint64_t&, uint32_t&) {}, 0, 1},
        {"a time in a record", [](std::string&, uint8_t&, uint64_t& time, uint32_t&) { time = 1; }, 0, 0},
        {"attributes in a record", [](std::string&, uint8_t&, uint64_t&, uint32_t& a) { a = 0x20; }, 0, 0},
        {"a record of another type", [](std::string&, uint8_t& type, uint64_t&, uint32_t&) { type = 0x56; }, 0, 0},
        {"an index out of turn", [](std::string& t, uint8_t&, uint64_t&, uint32_t&) {
             if (t[0] == 'M') t[2] = '5';
         }, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        UnixTrailer trailer;
        UnixRecord::TrailerSum sum;
        bool damaged = false;
        for (const UnixRecord::Fields& fields : {modeRecord(0, 0755), linkRecord("a", "bc")}) {
            const std::string sound = UnixRecord::format(fields);
            sum.add(UnixRecord::kUnixRecordType, sound.data(), sound.size());
            std::string text = sound;
            uint8_t type = UnixRecord::kUnixRecordType;
            uint64_t time = 0;
            uint32_t attributes = 0;
            // The first record is damaged for record changes; the link for target changes.
            const bool isLink = fields.kind == UnixRecord::Kind::Link;
            const bool targetCase = std::string(c.label).find("target") != std::string::npos;
            if (targetCase == isLink) c.change(text, type, time, attributes);
            if (trailer.take(type, text.data(), text.size(), time, attributes) == UnixTrailer::Take::Damaged) {
                damaged = true;
                break;
            }
        }
        if (!damaged) {
            const std::string check = closing(sum, c.crcDelta, c.countDelta);
            damaged = trailer.take(CheckRecord::kCheckRecordType, check.data(), check.size(), 0, 0) ==
                      UnixTrailer::Take::Damaged;
        }
        EXPECT_TRUE(damaged);
    }
}
