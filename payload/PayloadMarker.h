#pragma once
// The payload marker's two 32-bit words, composed at run time.
//
// The stub finds its payload by searching its own file for the marker, so the
// 8 marker bytes must not occur in the stub's image. Each word is therefore
// built from a static variable that holds only its high byte and an
// immediate that holds its low 24 bits; the static is volatile so that the
// compiler cannot fold the two into one constant. The writer uses the same
// functions, which keeps the whole constant out of every library object.

#include <cstdint>

// 0xBF901248: the first word, searched for.
uint32_t payloadMarkerWord1();

// 0xAA91FF49: the second word, which must follow the first directly.
uint32_t payloadMarkerWord2();
