// Name characters from the system's random source.
#pragma once

#include <cstdint>
#include <string>

// Characters in a generated name: 36^4 = 1,679,616 names.
constexpr uint32_t kRandomNameChars = 4;

// Sets out to kRandomNameChars characters of A-Z and 0-9, each equally
// likely, from the system's random source (never from the shared generator,
// whose values follow from the clock). False when the source fails.
bool randomNameChars(std::string& out);
