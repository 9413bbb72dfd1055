#include "core/FileTimeText.h"

#include "core/StringBuffer.h"

namespace {

constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kFourDigitYears = 10000;

void appendTwoDigits(StringBuffer& line, int64_t value) {
    line.appendChar(static_cast<char>('0' + value / 10 % 10));
    line.appendChar(static_cast<char>('0' + value % 10));
}

// Days since 1970-01-01 to a proleptic Gregorian date (the civil-from-days
// algorithm: eras of 400 years, 146,097 days each, counted from 0000-03-01).
void civilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
    days += 719468;  // 0000-03-01 to 1970-01-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

void appendUtcFileTime(StringBuffer& line, uint64_t fileTime) {
    const int64_t unixSeconds =
        static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
    int64_t days = unixSeconds / kSecondsPerDay;
    int64_t secondOfDay = unixSeconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    int64_t year = 0;
    int64_t month = 0;
    int64_t day = 0;
    civilFromDays(days, year, month, day);
    if (year >= kFourDigitYears) {
        line.appendDecimal(static_cast<uint32_t>(year));
    } else {
        appendTwoDigits(line, year / 100);
        appendTwoDigits(line, year % 100);
    }
    line.appendChar('-');
    appendTwoDigits(line, month);
    line.appendChar('-');
    appendTwoDigits(line, day);
    line.appendChar(' ');
    appendTwoDigits(line, secondOfDay / kSecondsPerHour);
    line.appendChar(':');
    appendTwoDigits(line, secondOfDay / kSecondsPerMinute % 60);
    line.appendChar(':');
    appendTwoDigits(line, secondOfDay % kSecondsPerMinute);
}

void appendAttributeLetters(StringBuffer& line, uint32_t attributes) {
    struct Bit {
        uint32_t mask;
        char letter;
    };
    // FILE_ATTRIBUTE_DIRECTORY, READONLY, HIDDEN, SYSTEM, ARCHIVE.
    constexpr Bit kBits[] = {{0x10, 'd'}, {0x01, 'r'}, {0x02, 'h'}, {0x04, 's'}, {0x20, 'a'}};
    for (const Bit& bit : kBits) line.appendChar((attributes & bit.mask) != 0 ? bit.letter : '-');
}
