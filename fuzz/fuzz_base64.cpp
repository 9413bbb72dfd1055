// Fuzz target: ContentCoding Base64 decoding of arbitrary text, and the
// encode -> decode round trip of arbitrary bytes.
//
// Checks, beyond no crash, leak or undefined behaviour:
// - the decoded count is at most 3 bytes per 4 characters (rounded up) and
//   a zero byte follows the decoded bytes;
// - re-encoding the decoded bytes and decoding again gives them back;
// - encoding the input bytes and decoding the text gives them back.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ContentCoding.h"
#include "core/StringBuffer.h"

namespace {

[[noreturn]] void finding(const char* what, uint32_t expected, uint32_t got) {
    std::fprintf(stderr, "base64: %s (expected %u bytes, got %u)\n", what, expected, got);
    std::abort();
}

// Encodes bytes, decodes the text and compares.
void checkRoundTrip(const ContentCoding& coding, const uint8_t* bytes, uint32_t count) {
    if (count == 0) return;
    StringBuffer text;
    coding.encodeBase64(bytes, count, text);
    if (static_cast<uint32_t>(text.getSize()) != (count + 2) / 3 * 4)
        finding("encoded length", (count + 2) / 3 * 4, static_cast<uint32_t>(text.getSize()));
    uint32_t decodedCount = 0;
    uint8_t* decoded = coding.decodeBase64(text.getString(), static_cast<uint32_t>(text.getSize()), decodedCount);
    if (decoded == nullptr || decodedCount != count) finding("round trip length", count, decodedCount);
    if (std::memcmp(decoded, bytes, count) != 0) finding("round trip bytes", count, decodedCount);
    std::free(decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x100000) return 0;
    ContentCoding coding;
    const uint32_t length = static_cast<uint32_t>(size);

    uint32_t decodedCount = 0xFFFFFFFFu;
    uint8_t* decoded = coding.decodeBase64(reinterpret_cast<const char*>(data), length, decodedCount);
    if (length == 0) {
        if (decoded != nullptr || decodedCount != 0) finding("empty text", 0, decodedCount);
        return 0;
    }
    if (decoded == nullptr) finding("null result", 0, decodedCount);
    const uint32_t bound = (length + 3) / 4 * 3;
    if (decodedCount > bound) finding("more bytes than characters allow", bound, decodedCount);
    if (decoded[decodedCount] != 0) finding("no zero byte behind the bytes", decodedCount, decodedCount);

    checkRoundTrip(coding, decoded, decodedCount);
    std::free(decoded);
    checkRoundTrip(coding, data, length);
    return 0;
}
