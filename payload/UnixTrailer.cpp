#include "payload/UnixTrailer.h"

#include "payload/CheckRecord.h"

UnixTrailer::Take UnixTrailer::take(uint8_t type, const char* text, size_t size, uint64_t fileTime,
                                    uint32_t attributes) {
    if (fileTime != 0 || attributes != 0) return Take::Damaged;
    if (type == CheckRecord::kCheckRecordType) {
        CheckRecord::Fields check;
        const bool matches = CheckRecord::parse(text, size, check) &&
                             check.kind == CheckRecord::Kind::Trailer && check.headerCrc == m_sum.crc() &&
                             check.count == m_sum.records();
        return matches ? Take::Closed : Take::Damaged;
    }
    if (type != UnixRecord::kUnixRecordType) return Take::Damaged;
    m_sum.add(type, text, size);
    UnixRecord::Fields fields;
    if (!UnixRecord::parse(text, size, fields)) return Take::Damaged;
    switch (fields.kind) {
        case UnixRecord::Kind::Mode:
            // In entry order, one each: an index out of turn is damage (and
            // a damaged index cannot make a reader reserve room for it).
            if (fields.entryIndex != m_modes.size()) return Take::Damaged;
            m_modes.push_back(fields.mode);
            break;
        case UnixRecord::Kind::Link: m_links.push_back(Link{fields.name, fields.target}); break;
        case UnixRecord::Kind::Unknown: break;  // a later writer's: summed, not used
    }
    return Take::More;
}

uint32_t UnixTrailer::modeOf(uint64_t entryIndex) const {
    return entryIndex < m_modes.size() ? m_modes[static_cast<size_t>(entryIndex)] : kNoMode;
}
