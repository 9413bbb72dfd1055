// Fuzz target: EncodingConvert::convert between code pages picked by the
// first two input bytes (computed Unicode forms and a few table pages), the
// rest of the input being the text.
//
// Checks, beyond no crash, leak or undefined behaviour:
// - an unrecognised page appends nothing;
// - through the UTF-16LE pivot a text is stable: when source -> UTF-16LE
//   (U) and UTF-16LE -> source (S) both convert every character, S read
//   back gives U again. A U that begins with FF FE or FE FF is left out:
//   as UTF-16LE input those bytes are a byte-order mark, which is dropped
//   (or switches to big-endian), so the round trip rightly changes it.
//   A trailing odd byte of U is not compared: a UTF-16 source whose mark
//   names UTF-16LE is passed through as it stands, odd byte included, while
//   every conversion out of UTF-16 ignores it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/DataBuffer.h"
#include "core/EncodingConvert.h"

namespace {

// Computed pages, single-byte table pages of several families (Windows,
// DOS, ISO 8859, Mac, KOI8, EBCDIC), an empty double-byte page and an
// unknown number.
constexpr uint32_t kCodePages[] = {
    CodePage::kUtf16LE, CodePage::kUtf16BE, CodePage::kUtf7, CodePage::kUtf8,
    CodePage::kUtf32LE, CodePage::kUtf32BE, 1252, 1251, 1256, 437, 850, 28591,
    28596, 10000, 20866, 37, 1026, 932, 12345, 0,
};
constexpr uint32_t kCodePageCount = sizeof kCodePages / sizeof kCodePages[0];

bool sameBytes(const DataBuffer& a, const DataBuffer& b) {
    return a.getSize() == b.getSize() && (a.getSize() == 0 || std::memcmp(a.getData(), b.getData(), a.getSize()) == 0);
}

bool startsWithByteOrderMark(const DataBuffer& utf16) {
    if (utf16.getSize() < 2) return false;
    const uint8_t* b = utf16.getData();
    return (b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF);
}

void checkPivotRoundTrip(uint32_t codePage, const uint8_t* text, uint32_t count) {
    if (codePage == 0 || codePage == CodePage::kUtf16LE || !EncodingConvert::isRecognised(codePage)) return;
    EncodingConvert conv;
    DataBuffer pivot;
    if (!conv.convert(codePage, CodePage::kUtf16LE, text, count, pivot)) return;
    if (startsWithByteOrderMark(pivot)) return;
    DataBuffer back;
    if (!conv.convert(CodePage::kUtf16LE, codePage, pivot.getData(), pivot.getSize(), back)) return;
    DataBuffer again;
    conv.convert(codePage, CodePage::kUtf16LE, back.getData(), back.getSize(), again);
    if (pivot.getSize() % 2 != 0) pivot.setSize(pivot.getSize() - 1);
    if (!sameBytes(pivot, again)) {
        std::fprintf(stderr, "code page %u: UTF-16LE %u bytes -> %u bytes -> UTF-16LE %u bytes differ\n",
                     codePage, pivot.getSize(), back.getSize(), again.getSize());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 0x10000) return 0;
    const uint32_t source = kCodePages[data[0] % kCodePageCount];
    const uint32_t target = kCodePages[data[1] % kCodePageCount];
    const uint8_t* text = data + 2;
    const uint32_t count = static_cast<uint32_t>(size - 2);

    EncodingConvert conv;
    DataBuffer out;
    out.append("x", 1);  // convert appends: what was there stays
    const bool complete = conv.convert(source, target, count ? text : nullptr, count, out);
    if (out.getSize() == 0 || out.getData()[0] != 'x') std::abort();
    if ((!EncodingConvert::isRecognised(source) || !EncodingConvert::isRecognised(target)) &&
        source != target && target != 0) {
        if (complete || out.getSize() != 1) {
            std::fprintf(stderr, "unrecognised page %u -> %u appended %u bytes\n", source, target,
                         out.getSize() - 1);
            std::abort();
        }
    }

    checkPivotRoundTrip(source, count ? text : nullptr, count);
    return 0;
}
