// EncodingConvert: converts text between Windows code pages.
//
// UTF-16LE (1200) is the pivot of every conversion. UTF-8, UTF-7, UTF-16BE
// and UTF-32 are computed; every other recognised code page is converted
// through a mapping table that the library carries in packed form and
// unpacks on the first conversion that needs it (see core/codepages/).
//
// A converter is a short-lived object, built on the stack for one or a few
// conversions:
//
//     EncodingConvert conv;
//     DataBuffer out;
//     bool complete = conv.convert(65001, 1200, text, length, out);
//
// Its error action is always to drop: a character that cannot be converted
// is left out of the output and the conversion reports false; conversion
// goes on with the next character.
//
// Not thread-safe: the mapping tables are built lazily without locking, so
// all conversions must run on one thread.
#pragma once

#include <cstdint>

class DataBuffer;
struct CodePageTable;

// Code page numbers the converter computes rather than looks up.
namespace CodePage {
constexpr uint32_t kUtf16LE = 1200;
constexpr uint32_t kUtf16BE = 1201;
constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kUtf32LE = 65005;
constexpr uint32_t kUtf32BE = 65006;
}  // namespace CodePage

class EncodingConvert {
public:
    EncodingConvert();
    virtual ~EncodingConvert();

    EncodingConvert(const EncodingConvert&) = delete;
    EncodingConvert& operator=(const EncodingConvert&) = delete;

    // Converts count bytes at bytes from sourceCodePage to targetCodePage and
    // appends the result to out.
    //
    // Returns true when every character was converted. Returns false, with
    // nothing appended, for an unrecognised code page and for the ISO-2022
    // code pages 50220, 50221, 50222 and 50225, which are refused.
    //
    // - A target of 0, or a target equal to the source, appends the input
    //   unchanged (byte-order marks included).
    // - A leading byte-order mark of the source is dropped: FF FE or FE FF
    //   for 1200/1201 (the mark overrides the code page number), EF BB BF
    //   for 65001. Input that is only a mark gives true and no output.
    // - A trailing incomplete UTF-16 unit or UTF-32 group is ignored.
    // - Characters beyond the Basic Multilingual Plane are not decoded from
    //   UTF-8 and have no mapping in any table code page.
    // - Into 28596 and 1256, the Arabic-Indic digits U+0660..U+0669 and
    //   U+06F0..U+06F9 are written as the ASCII digits '0'..'9'.
    // - Invalid UTF-8 bytes are dropped one at a time without making the
    //   result false; a UTF-16 input of odd length converted to UTF-8 loses
    //   its last byte and does.
    // - A conversion that passes through UTF-16 (table page to table page or
    //   to UTF-8, any page to UTF-16BE, UTF-7 or UTF-32) is false when
    //   either half lost characters.
    // - The double-byte code pages 932, 936, 949, 950, 1361, 51932, 51936,
    //   51949 (and 10001 without stored data) have no entries: only NUL
    //   characters convert.
    //
    // bytes may be null only when count is 0. out must not alias bytes.
    bool convert(uint32_t sourceCodePage, uint32_t targetCodePage, const void* bytes, uint32_t count,
                 DataBuffer& out);

    // True when the code page number is one the converter accepts (the
    // computed ones and every table code page); false for the refused ones.
    static bool isRecognised(uint32_t codePage);

private:
    // Steps after the target dispatch: byte-order mark, source
    // normalisation, then the conversion into 1200, 65001 or a table page.
    bool convertBody(uint32_t sourceCodePage, uint32_t targetCodePage, const uint8_t* bytes, uint32_t count,
                     DataBuffer& out);
    // Source 1200 or 65001 (or a table page) into 1200, 65001 or a table
    // page, through a temporary UTF-16 buffer when neither side is 1200.
    bool convertNormalised(uint32_t sourceCodePage, uint32_t targetCodePage, const uint8_t* bytes,
                           uint32_t count, DataBuffer& out);
    bool convertToUtf16(uint32_t sourceCodePage, const uint8_t* bytes, uint32_t count, DataBuffer& out);
    bool convertFromUtf16(uint32_t targetCodePage, const uint8_t* bytes, uint32_t count, DataBuffer& out);

    bool decodeTable(const CodePageTable& table, const uint8_t* bytes, uint32_t count, DataBuffer& out);
    bool encodeTable(const CodePageTable& table, const uint8_t* bytes, uint32_t count, DataBuffer& out);

    // The conversion in progress: its two code pages, and whether a table
    // coder runs as the first half (into UTF-16) or the second half (out of
    // UTF-16) of a conversion through the pivot.
    uint32_t m_sourceCodePage;
    uint32_t m_targetCodePage;
    bool m_toPivot;
    bool m_fromPivot;
};
