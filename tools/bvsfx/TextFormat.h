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

}  // namespace TextFormat
