#pragma once
// UnixTrailer: the Unix records behind a payload's end record
// (UnixRecord.h), taken one at a time, checked against their closing "T"
// check record, and kept for whoever applies them (the Linux installer,
// bvsfx extract) or shows them (bvsfx list).
//
// What bvsfx writes, and so what is sound: records of kUnixRecordType with
// time and attributes 0, the "M" records numbering the entries 0, 1, 2 ...
// in order, then a check record of kind Trailer whose CRC and count match
// the records before it. Anything else there is damage.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/UnixRecord.h"

class UnixTrailer {
public:
    enum class Take {
        More,     // a record was taken; the next one follows
        Closed,   // the closing check record matched: the records are sound
        Damaged,  // not what bvsfx writes there
    };

    struct Link {
        std::string name;
        std::string target;
    };

    static constexpr uint32_t kNoMode = 0xFFFFFFFFu;

    // One record read behind the end record (text: the plain name field).
    Take take(uint8_t type, const char* text, size_t size, uint64_t fileTime, uint32_t attributes);

    // The permission bits recorded for the entry at index (0 for the first
    // directory or file entry), or kNoMode.
    uint32_t modeOf(uint64_t entryIndex) const;
    size_t modeCount() const { return m_modes.size(); }
    const std::vector<Link>& links() const { return m_links; }

private:
    UnixRecord::TrailerSum m_sum;
    std::vector<uint32_t> m_modes;
    std::vector<Link> m_links;
};
