#pragma once
// WindowsUpcase: the upper-case mapping Windows applies to each UTF-16 unit
// of a file name before it compares two names, so that "A.txt" and
// "a.txt", or "\u00C9.txt" and "\u00E9.txt", are the same file. One unit
// always maps to one unit; units without an upper-case form (digits,
// surrogates, U+00DF) map to themselves. The table is generated from the
// Unicode Character Database (scripts/gen_windows_upcase.py).

#include <cstdint>
#include <string>

namespace WindowsUpcase {

uint16_t unit(uint16_t value);

// Every unit of the text mapped.
std::u16string text(const std::u16string& value);

}  // namespace WindowsUpcase
