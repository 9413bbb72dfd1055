// ContentCoding: Base64 (RFC 4648, standard alphabet with '+' and '/').
//
// Encoding writes no line breaks; lineLength only shapes the size estimate,
// which leaves room for breaks every lineLength characters.
#pragma once

#include <cstdint>

class StringBuffer;

class ContentCoding {
public:
    static constexpr int32_t kDefaultLineLength = 72;

    ContentCoding();
    virtual ~ContentCoding();

    // A generous estimate of the encoded size of byteCount bytes:
    // a = (5n + 10) / 3, then a + 2a / lineLength + 3 (integer divisions).
    // estimateEncodedSize(3) is 11.
    int32_t estimateEncodedSize(uint32_t byteCount) const;

    // Appends the Base64 text of count bytes at bytes to out ("=" completion,
    // no line breaks). Nothing when bytes is null or count is 0.
    void encodeBase64(const void* bytes, uint32_t count, StringBuffer& out) const;

    // Decodes up to length characters of Base64 text. Space, tab, CR and LF
    // are skipped; decoding stops at the first '=' or NUL; a trailing group
    // of 2 or 3 characters gives 1 or 2 bytes. Characters outside the
    // alphabet are skipped like blanks.
    // Returns a new block from std::malloc (free it with std::free, or hand
    // it to DataBuffer::adopt) holding the decoded bytes and one zero byte
    // behind them; decodedCount receives the number of decoded bytes.
    // Null text or length 0: returns null, decodedCount 0.
    uint8_t* decodeBase64(const char* text, uint32_t length, uint32_t& decodedCount) const;

    int32_t getLineLength() const { return lineLength; }

private:
    int32_t lineLength;
};
