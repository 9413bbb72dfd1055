// Fuzz target: the one-shot inflater (Gzip::inflateBuffer over InflateState2)
// with zlib's raw inflate as the control on every input.
//
// Checks:
// - no crash, leak or undefined behaviour on any input;
// - the hot loop's baseline and BMI2 builds agree (where BMI2 is there);
// - where both decoders produced bytes, they are the same bytes;
// - when zlib finds a complete, valid stream, ours is complete too and its
//   output is identical;
// - when ours finds a complete stream, zlib does too, and the reverse,
//   except for the deliberate differences listed in compress/InflateState2.h
//   (zlib's messages "too many length or distance symbols", "invalid
//   distances set", "invalid distance too far back", "invalid bit length
//   repeat", and our BadLiteralLengthCode for a single 1-bit code).

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compress/DataSink.h"
#include "compress/Gzip.h"
#include "compress/InflateState2.h"
#include "core/DataBuffer.h"

namespace {

// A stream of n bytes inflates to at most about 1032 n bytes; the cap only
// keeps a pathological control run from eating the machine.
constexpr size_t kZlibOutputLimitBytes = 64u << 20;

struct ZlibVerdict {
    bool valid = false;
    bool overLimit = false;
    std::vector<uint8_t> data;
    std::string message;
};

ZlibVerdict inflateWithZlib(const uint8_t* bytes, size_t size) {
    ZlibVerdict verdict;
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) std::abort();
    static const uint8_t kEmpty = 0;
    stream.next_in = const_cast<Bytef*>(size == 0 ? &kEmpty : bytes);
    stream.avail_in = static_cast<uInt>(size);
    uint8_t chunk[65536];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        int rc = inflate(&stream, Z_NO_FLUSH);
        verdict.data.insert(verdict.data.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        if (rc == Z_STREAM_END) {
            verdict.valid = true;
            break;
        }
        if (rc == Z_DATA_ERROR) {
            verdict.message = stream.msg ? stream.msg : "data error";
            break;
        }
        if (rc != Z_OK || (stream.avail_in == 0 && stream.avail_out != 0)) {
            verdict.message = "truncated";
            break;
        }
        if (verdict.data.size() > kZlibOutputLimitBytes) {
            verdict.overLimit = true;
            break;
        }
    }
    inflateEnd(&stream);
    return verdict;
}

// Discards the output; only the result matters.
class CountingSink : public DataSink {
public:
    bool write(const uint8_t*, uint32_t size) override {
        m_totalWritten += size;
        return true;
    }
    bool freeSpace(uint32_t& count) override {
        count = kUnlimitedSpace;
        return true;
    }
};

InflateResult resultOfOurs(const uint8_t* bytes, size_t size) {
    CountingSink sink;
    InflateState2 inflater;
    inflater.setSink(&sink);
    static const uint8_t kEmpty = 0;
    inflater.inflateRange(size == 0 ? &kEmpty : bytes, static_cast<uint32_t>(size));
    return inflater.result();
}

bool zlibIsStricterOnPurpose(const std::string& message) {
    return message == "too many length or distance symbols" || message == "invalid distances set" ||
           message == "invalid distance too far back" || message == "invalid bit length repeat";
}

[[noreturn]] void finding(const char* what, const ZlibVerdict& zlib, const DataBuffer& ours) {
    std::fprintf(stderr, "inflate differential: %s (zlib %s, %zu bytes; ours %u bytes)\n", what,
                 zlib.valid ? "complete" : zlib.message.c_str(), zlib.data.size(), ours.getSize());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFFu) return 0;
    DataBuffer input;
    input.append(data, static_cast<uint32_t>(size));
    DataBuffer output;
    Gzip gzip;
    const bool oursComplete = gzip.inflateBuffer(input, output);

    ZlibVerdict zlib = inflateWithZlib(data, size);
    if (zlib.overLimit) return 0;

    // Where the processor has BMI2 the default run took the hot loop's BMI2
    // build; the baseline build must give the same verdict and bytes.
    if (InflateState2::usesBmi2Loop()) {
        InflateState2::useBmi2Loop(false);
        DataBuffer baseline;
        Gzip baselineGzip;
        const bool baselineComplete = baselineGzip.inflateBuffer(input, baseline);
        InflateState2::useBmi2Loop(true);
        if (baselineComplete != oursComplete || baseline.getSize() != output.getSize() ||
            (output.getSize() != 0 && std::memcmp(baseline.getData(), output.getData(), output.getSize()) != 0))
            finding("the baseline and the BMI2 loop disagree", zlib, output);
    }

    const size_t common = std::min<size_t>(output.getSize(), zlib.data.size());
    if (common != 0 && std::memcmp(output.getData(), zlib.data.data(), common) != 0)
        finding("outputs differ where both decoded", zlib, output);

    if (zlib.valid && oursComplete) {
        if (output.getSize() != zlib.data.size()) finding("both complete, lengths differ", zlib, output);
    } else if (zlib.valid) {
        if (resultOfOurs(data, size) != InflateResult::BadLiteralLengthCode)
            finding("zlib complete, ours refused", zlib, output);
    } else if (oursComplete && size != 0) {
        if (!zlibIsStricterOnPurpose(zlib.message)) finding("ours complete, zlib refused", zlib, output);
    }
    return 0;
}
