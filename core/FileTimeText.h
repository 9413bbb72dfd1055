#pragma once
// How listings show an entry's time and attributes, the same in the
// installer's --list and in bvsfx.

#include <cstdint>

class StringBuffer;

// A FILETIME (100 ns ticks since 1601-01-01 UTC) as "YYYY-MM-DD HH:MM:SS" in
// UTC, proleptic Gregorian; fractions of a second are dropped. Years above
// 9999 (FILETIME reaches 30828) take the digits they need.
void appendUtcFileTime(StringBuffer& line, uint64_t fileTime);

// The letters "drhsa" for the directory, read-only, hidden, system and
// archive bits, '-' for each one that is clear.
void appendAttributeLetters(StringBuffer& line, uint32_t attributes);
