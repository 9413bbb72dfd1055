#pragma once
// Helpers shared by the compression tests: a sink that records every write,
// a bit writer for hand-built deflate streams, zlib as the reference
// compressor and decompressor, and the real files of the machine that the
// differential tests feed through both.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "compress/DataSink.h"
#include "compress/InflateState2.h"
#include "core/LogBase.h"
#include "io/Output.h"
#include "support/TestSupport.h"

namespace compress_test {

using Bytes = std::vector<uint8_t>;

// Accepts everything (like a FileDataSink) and records each write's size.
// freeLimit, when set, is what freeSpace answers.
class RecordingSink : public DataSink {
public:
    Bytes data;
    std::vector<uint32_t> writeSizes;
    bool limitFreeSpace = false;
    uint32_t freeLimit = 0;

    bool write(const uint8_t* bytes, uint32_t size) override {
        data.insert(data.end(), bytes, bytes + size);
        writeSizes.push_back(size);
        m_totalWritten += size;
        return true;
    }
    bool freeSpace(uint32_t& count) override {
        count = limitFreeSpace ? freeLimit : kUnlimitedSpace;
        return count > 0;
    }
};

// An Output into a byte vector that accepts at most `limit` bytes in all;
// a write beyond that is cut short (a full disk).
class LimitedOutput : public Output {
public:
    explicit LimitedOutput(size_t limit = SIZE_MAX) : m_limit(limit) {}
    uint32_t writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) override {
        if (data == nullptr || itemSize == 0 || itemCount == 0) return 0;
        size_t wanted = static_cast<size_t>(itemSize) * itemCount;
        size_t room = m_limit - bytes.size();
        size_t taken = wanted < room ? wanted : room;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + taken);
        ++writes;
        return static_cast<uint32_t>(taken);
    }
    uint32_t tell() override { return static_cast<uint32_t>(bytes.size()); }

    std::vector<uint8_t> bytes;
    int writes = 0;

private:
    size_t m_limit;
};

using test_support::RecordingLog;

// Decodes a whole range with a fresh one-shot inflater.
struct InflateOutcome {
    InflateResult result = InflateResult::NotFinished;
    Bytes data;
    std::vector<uint32_t> writeSizes;
};

inline InflateOutcome inflateWithLoop(const Bytes& stream, bool bmi2Loop) {
    const bool previous = InflateState2::usesBmi2Loop();
    InflateState2::useBmi2Loop(bmi2Loop);
    InflateOutcome outcome;
    RecordingSink sink;
    InflateState2 inflater;
    inflater.setSink(&sink);
    static const uint8_t kEmpty = 0;
    inflater.inflateRange(stream.empty() ? &kEmpty : stream.data(), static_cast<uint32_t>(stream.size()));
    outcome.result = inflater.result();
    outcome.data = std::move(sink.data);
    outcome.writeSizes = std::move(sink.writeSizes);
    InflateState2::useBmi2Loop(previous);
    return outcome;
}

// Whether this processor and build can run the BMI2 loop; the choice stays
// as it was.
inline bool bmi2LoopAvailable() {
    const bool previous = InflateState2::usesBmi2Loop();
    const bool available = InflateState2::useBmi2Loop(true);
    InflateState2::useBmi2Loop(previous);
    return available;
}

// Decodes with the baseline build of the hot loop and, where the processor
// has BMI2, with the BMI2 build too, which must give the same outcome to the
// byte and to the write.
inline InflateOutcome inflateWithOurs(const Bytes& stream) {
    InflateOutcome outcome = inflateWithLoop(stream, false);
    if (bmi2LoopAvailable()) {
        InflateOutcome bmi2 = inflateWithLoop(stream, true);
        EXPECT_EQ(bmi2.result, outcome.result) << "the BMI2 loop ends differently";
        EXPECT_TRUE(bmi2.data == outcome.data) << "the BMI2 loop decodes other bytes";
        EXPECT_EQ(bmi2.writeSizes, outcome.writeSizes) << "the BMI2 loop writes other windows";
    }
    return outcome;
}

// Builds a deflate stream field by field, least-significant bit first.
class BitWriter {
public:
    // A field of `count` bits, least-significant bit first (header fields,
    // extra bits, LEN/NLEN).
    void bits(uint32_t value, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) putBit((value >> i) & 1u);
    }
    // A Huffman code of `count` bits, most-significant bit first.
    void code(uint32_t value, uint32_t count) {
        for (uint32_t i = count; i-- > 0;) putBit((value >> i) & 1u);
    }
    // Pads to the byte boundary with zero bits.
    void align() {
        while (m_bitCount % 8 != 0) putBit(0);
    }
    void byte(uint8_t value) {
        align();
        m_bytes.push_back(value);
        m_bitCount += 8;
    }
    const Bytes& bytes() const { return m_bytes; }

    // Fixed-code helpers (block type 1).
    void fixedLiteral(uint32_t symbol) {
        if (symbol < 144) code(0x30 + symbol, 8);
        else if (symbol < 256) code(0x190 + symbol - 144, 9);
        else if (symbol < 280) code(symbol - 256, 7);
        else code(0xC0 + symbol - 280, 8);
    }
    void fixedDistance(uint32_t symbol) { code(symbol, 5); }

private:
    void putBit(uint32_t bit) {
        if (m_bitCount % 8 == 0) m_bytes.push_back(0);
        if (bit) m_bytes.back() |= static_cast<uint8_t>(1u << (m_bitCount % 8));
        ++m_bitCount;
    }

    Bytes m_bytes;
    uint64_t m_bitCount = 0;
};

// Raw deflate (no header, no trailer) with zlib.
inline Bytes zlibDeflateRaw(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) return {};
    Bytes out(deflateBound(&stream, static_cast<uLong>(input.size())) + 16);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (rc != Z_STREAM_END) return {};
    return out;
}

// zlib's verdict on a raw deflate stream given whole: valid (the final block
// ended), with its output, or the error message. Output beyond outputLimit
// counts as a failure of the check itself ("output limit").
struct ZlibOutcome {
    bool valid = false;
    Bytes data;
    std::string message;
};

inline ZlibOutcome zlibInflateRaw(const Bytes& input, size_t outputLimit = 64u << 20) {
    ZlibOutcome outcome;
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        outcome.message = "inflateInit2 failed";
        return outcome;
    }
    static const uint8_t kEmpty = 0;
    stream.next_in = const_cast<Bytef*>(input.empty() ? &kEmpty : input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    uint8_t chunk[65536];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        int rc = inflate(&stream, Z_NO_FLUSH);
        outcome.data.insert(outcome.data.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        if (rc == Z_STREAM_END) {
            outcome.valid = true;
            break;
        }
        if (rc == Z_DATA_ERROR) {
            outcome.message = stream.msg ? stream.msg : "data error";
            break;
        }
        if (rc == Z_BUF_ERROR || (rc == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) {
            outcome.message = "truncated";
            break;
        }
        if (rc != Z_OK) {
            outcome.message = "zlib error " + std::to_string(rc);
            break;
        }
        if (outcome.data.size() > outputLimit) {
            outcome.message = "output limit";
            break;
        }
    }
    inflateEnd(&stream);
    return outcome;
}

inline bool readWholeFile(const std::string& path, Bytes& out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    out.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
    std::fclose(file);
    return true;
}

inline bool writeWholeFile(const std::string& path, const Bytes& data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && ok;
}

// Real files of a Debian machine used as differential input, with the
// package that provides each.
struct RealFile {
    const char* path;
    const char* package;
};
inline const std::vector<RealFile>& realFiles() {
    static const std::vector<RealFile> files = {
        {"/usr/include/zlib.h", "zlib1g-dev"},   // C text
        {"/usr/include/stdio.h", "libc6-dev"},   // C text
        {"/usr/bin/gzip", "gzip"},               // small executable
        {"/usr/bin/bash", "bash"},               // 1.2 MB executable
    };
    return files;
}

// Deterministic pseudo-random bytes (xorshift) so failures reproduce.
class TestRandom {
public:
    explicit TestRandom(uint64_t seed) : m_state(seed ? seed : 1) {}
    uint64_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

private:
    uint64_t m_state;
};

using test_support::ScratchFolder;

inline std::string hexOf(const Bytes& bytes, size_t limit = 64) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
        text += ' ';
    }
    if (bytes.size() > limit) text += "...";
    return text;
}

}  // namespace compress_test
