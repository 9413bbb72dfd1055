#include "tools/bvsfx/TextFormat.h"

#include <chrono>
#include <cstdio>

namespace TextFormat {

namespace {
constexpr int64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kSecondsPerDay = 86400;
}  // namespace

std::string fileTime(uint64_t fileTime) {
    const int64_t unixSeconds = static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
    int64_t days = unixSeconds / kSecondsPerDay;
    int64_t secondOfDay = unixSeconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{days}}};
    char text[40];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    return text;
}

std::string attributes(uint32_t attributes) {
    struct Bit {
        uint32_t mask;
        char letter;
    };
    // FILE_ATTRIBUTE_DIRECTORY, READONLY, HIDDEN, SYSTEM, ARCHIVE.
    constexpr Bit kBits[] = {{0x10, 'd'}, {0x01, 'r'}, {0x02, 'h'}, {0x04, 's'}, {0x20, 'a'}};
    std::string text;
    for (const Bit& bit : kBits) text += (attributes & bit.mask) ? bit.letter : '-';
    return text;
}

std::string bytes(uint64_t count) {
    char text[32];
    if (count >= 1024 * 1024) {
        std::snprintf(text, sizeof(text), "%.1f MB", count / (1024.0 * 1024.0));
    } else if (count >= 1024) {
        std::snprintf(text, sizeof(text), "%.1f KB", count / 1024.0);
    } else {
        std::snprintf(text, sizeof(text), "%u B", static_cast<unsigned>(count));
    }
    return text;
}

std::string ratio(uint64_t packed, uint64_t original) {
    if (original == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(original));
    return text;
}

}  // namespace TextFormat
