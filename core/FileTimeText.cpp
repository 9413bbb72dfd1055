#include "core/FileTimeText.h"

#include "core/Divide64.h"
#include "core/StringBuffer.h"

namespace {

// A FILETIME in seconds reaches 2^64 / 10^7, about 1.8e12: more than 32 bits.
// It is divided down with divisors that fit 16 bits (see Divide64), after
// which days and years fit 32 bits.
constexpr uint32_t kTicksPerSecondFirstStep = 10000;  // 10^4 * 10^3 = ticks per second
constexpr uint32_t kTicksPerSecondSecondStep = 1000;
constexpr uint32_t kSecondsPerDayFirstStep = 400;  // 400 * 216 = 86,400 seconds per day
constexpr uint32_t kSecondsPerDaySecondStep = 216;
// 1601-01-01 to 1970-01-01 is a whole number of days (11,644,473,600 s), so
// the time of day is the same counted from either.
constexpr int32_t kDaysFrom1601To1970 = 134774;
constexpr uint32_t kSecondsPerHour = 3600;
constexpr uint32_t kSecondsPerMinute = 60;
constexpr int32_t kFourDigitYears = 10000;

void appendTwoDigits(StringBuffer& line, uint32_t value) {
    line.appendChar(static_cast<char>('0' + value / 10 % 10));
    line.appendChar(static_cast<char>('0' + value % 10));
}

// Days since 1970-01-01 to a proleptic Gregorian date (the civil-from-days
// algorithm: eras of 400 years, 146,097 days each, counted from 0000-03-01).
void civilFromDays(int32_t days, int32_t& year, int32_t& month, int32_t& day) {
    days += 719468;  // 0000-03-01 to 1970-01-01
    const int32_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int32_t dayOfEra = days - era * 146097;
    const int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int32_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

void appendUtcFileTime(StringBuffer& line, uint64_t fileTime) {
    uint64_t time = fileTime;
    divideBySmall(time, kTicksPerSecondFirstStep);
    divideBySmall(time, kTicksPerSecondSecondStep);
    const uint32_t secondInStep = divideBySmall(time, kSecondsPerDayFirstStep);
    const uint32_t stepOfDay = divideBySmall(time, kSecondsPerDaySecondStep);
    const uint32_t secondOfDay = stepOfDay * kSecondsPerDayFirstStep + secondInStep;
    // time now holds the days since 1601: at most about 2.1e7.
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    civilFromDays(static_cast<int32_t>(time) - kDaysFrom1601To1970, year, month, day);
    if (year >= kFourDigitYears) {
        line.appendDecimal(static_cast<uint32_t>(year));
    } else {
        appendTwoDigits(line, static_cast<uint32_t>(year / 100));
        appendTwoDigits(line, static_cast<uint32_t>(year % 100));
    }
    line.appendChar('-');
    appendTwoDigits(line, static_cast<uint32_t>(month));
    line.appendChar('-');
    appendTwoDigits(line, static_cast<uint32_t>(day));
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
    static constexpr Bit kBits[] = {{0x10, 'd'}, {0x01, 'r'}, {0x02, 'h'}, {0x04, 's'}, {0x20, 'a'}};
    for (const Bit& bit : kBits) line.appendChar((attributes & bit.mask) != 0 ? bit.letter : '-');
}
