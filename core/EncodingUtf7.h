#pragma once
// UTF-7 (RFC 2152) to and from UTF-16LE, for the code-page converter.

#include <cstdint>

class DataBuffer;

// Appends the UTF-7 form of the UTF-16LE units (a leading byte-order mark is
// left out; an odd last byte is ignored).
void utf16ToUtf7(const uint8_t* bytes, uint32_t count, DataBuffer& out);
// Appends the UTF-16LE units of the UTF-7 text. False when the text is not
// clean UTF-7: an empty base64 run, leftover bits that are not zero, or a
// byte above 0x7F (dropped); what was decoded stays.
bool utf7ToUtf16(const uint8_t* bytes, uint32_t count, DataBuffer& out);
