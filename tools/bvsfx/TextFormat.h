#pragma once
// TextFormat: how bvsfx shows times, attributes and sizes.

#include <cstdint>
#include <string>

namespace TextFormat {

// A FILETIME (100 ns since 1601-01-01 UTC) as "YYYY-MM-DD HH:MM:SS" (UTC).
std::string fileTime(uint64_t fileTime);

// Windows attribute bits as five letters "drhsa", '-' where a bit is clear.
std::string attributes(uint32_t attributes);

// "1.5 MB", "12 KB", "532 B".
std::string bytes(uint64_t count);

// "12.3%" of packed against original; "-" when the original is 0.
std::string ratio(uint64_t packed, uint64_t original);

// "1 file", "2 files": the count with the singular or the plural word.
std::string count(uint64_t number, const char* singular, const char* plural);

// A name or path as it can be shown on a terminal. A text of printable,
// valid UTF-8 stands as it is; any other is shown in double quotes with
// C escapes: \n, \t, \r, \e, \\, \", \xHH for other control bytes, DEL
// and bytes that are not UTF-8, \u{HHHH} for the C1 controls and the
// characters that reorder text on screen (U+202A-U+202E, U+2066-U+2069,
// U+200E, U+200F), so that a name cannot move the cursor, change colours
// or pass for another name.
std::string displayName(const std::string& name);

}  // namespace TextFormat
