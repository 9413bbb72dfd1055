// ContentCoding: Base64 against the test vectors of RFC 4648 (section 10),
// blank skipping and stop characters of the decoder, and the size estimate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/ContentCoding.h"
#include "core/StringBuffer.h"

namespace {

struct Base64Vector {
    const char* bytes;
    const char* text;
};

// RFC 4648, section 10 "Test Vectors".
const std::vector<Base64Vector> kRfc4648Vectors = {
    {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

std::string decodeToString(const char* text, uint32_t length, uint32_t& count)
{
    ContentCoding coding;
    uint8_t* block = coding.decodeBase64(text, length, count);
    if (block == nullptr) {
        return "(null)";
    }
    EXPECT_EQ(0, block[count]) << "a zero byte follows the decoded bytes";
    std::string bytes(reinterpret_cast<char*>(block), count);
    std::free(block);
    return bytes;
}

std::string decodeToString(const std::string& text)
{
    uint32_t count = 0;
    return decodeToString(text.c_str(), static_cast<uint32_t>(text.size()), count);
}

}  // namespace

TEST(ContentCoding, EncodesRfc4648Vectors)
{
    ContentCoding coding;
    for (const Base64Vector& v : kRfc4648Vectors) {
        StringBuffer out;
        coding.encodeBase64(v.bytes, static_cast<uint32_t>(std::string(v.bytes).size()), out);
        EXPECT_STREQ(v.text, out.getString()) << v.bytes;
    }
}

TEST(ContentCoding, DecodesRfc4648Vectors)
{
    for (const Base64Vector& v : kRfc4648Vectors) {
        uint32_t count = 99;
        const std::string text(v.text);
        EXPECT_EQ(v.bytes, decodeToString(text.c_str(), static_cast<uint32_t>(text.size()), count));
        EXPECT_EQ(std::string(v.bytes).size(), count);
    }
}

TEST(ContentCoding, EncodeAppendsAndIgnoresEmptyInput)
{
    ContentCoding coding;
    StringBuffer out("x=");
    coding.encodeBase64(nullptr, 3, out);
    coding.encodeBase64("abc", 0, out);
    EXPECT_STREQ("x=", out.getString());
    coding.encodeBase64("\xFB\xFF", 2, out);  // the two characters beyond 'z' and '9'
    EXPECT_STREQ("x=+/8=", out.getString());
}

TEST(ContentCoding, DecoderSkipsBlanksAndStopsAtPaddingNulOrLength)
{
    EXPECT_EQ("foobar", decodeToString("Zm9v YmFy"));
    EXPECT_EQ("foobar", decodeToString("Zm9v\r\nYm\tFy"));
    EXPECT_EQ("fo", decodeToString("Zm8=Zm9v"));           // stops at the first '='
    EXPECT_EQ("foo", decodeToString(std::string("Zm9v\0Zm9v", 9)));
    uint32_t count = 0;
    EXPECT_EQ("foo", decodeToString("Zm9vYmFy", 4, count));  // only n characters
    EXPECT_EQ(3u, count);
    EXPECT_EQ("", decodeToString("Z"));                      // one character holds no byte
    count = 7;
    EXPECT_EQ("(null)", decodeToString(nullptr, 4, count));
    EXPECT_EQ(0u, count);
    count = 7;
    EXPECT_EQ("(null)", decodeToString("Zg==", 0, count));
    EXPECT_EQ(0u, count);
}

TEST(ContentCoding, EveryByteValueRoundTrips)
{
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    ContentCoding coding;
    for (size_t length = 0; length <= bytes.size(); length += 37) {
        StringBuffer text;
        coding.encodeBase64(bytes.data(), static_cast<uint32_t>(length), text);
        EXPECT_EQ(static_cast<int32_t>((length + 2) / 3 * 4), text.getSize());
        if (length > 0) {
            EXPECT_EQ(bytes.substr(0, length), decodeToString(text.getString()));
        }
    }
}

TEST(ContentCoding, SizeEstimate)
{
    ContentCoding coding;
    EXPECT_EQ(72, coding.getLineLength());
    EXPECT_EQ(11, coding.estimateEncodedSize(3));
    EXPECT_EQ(6, coding.estimateEncodedSize(0));
    EXPECT_EQ(177, coding.estimateEncodedSize(100));
    for (uint32_t n = 0; n < 2000; n += 7) {
        EXPECT_GE(coding.estimateEncodedSize(n), static_cast<int32_t>((n + 2) / 3 * 4)) << n;
    }
}
