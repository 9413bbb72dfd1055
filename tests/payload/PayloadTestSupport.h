#pragma once
// Helpers shared by the payload tests: a scratch folder that is the current
// directory while a test runs, a progress recorder, payloads built in memory
// with PayloadWriter, raw deflate streams from zlib, and file reading.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/DataBuffer.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadWriter.h"
#include "payload/SaProgress.h"

namespace payload_test {

using Bytes = std::vector<uint8_t>;

// FILETIME of 1970-01-01 00:00 UTC.
constexpr uint64_t kUnixEpochFileTime = 0x019DB1DED53E8000ull;
// FILETIME of 2001-09-09 01:46:40 UTC (Unix time 1,000,000,000).
constexpr uint64_t kBillionSecondsFileTime = kUnixEpochFileTime + 1000000000ull * 10000000ull;

inline Bytes bytesOf(const DataBuffer& buffer) {
    return Bytes(buffer.getData(), buffer.getData() + buffer.getSize());
}

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline void appendU16(Bytes& to, uint16_t value) {
    to.push_back(uint8_t(value));
    to.push_back(uint8_t(value >> 8));
}

inline void appendU32(Bytes& to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to.push_back(uint8_t(value >> (8 * i)));
}

// Deterministic bytes that differ from position to position.
inline Bytes pattern(uint32_t length, uint32_t seed) {
    Bytes out(length);
    uint32_t x = seed * 2654435761u + 12345u;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = uint8_t(x >> 16);
    }
    return out;
}

// Text-like bytes that deflate well.
inline Bytes compressibleText(uint32_t length) {
    const std::string line = "The quick brown fox jumps over the lazy dog 0123456789\n";
    Bytes out;
    while (out.size() < length) out.insert(out.end(), line.begin(), line.end());
    out.resize(length);
    return out;
}

// A raw deflate stream (no zlib header or trailer) of data, made by zlib.
inline Bytes rawDeflate(const Bytes& data, int level = 6) {
    z_stream stream = {};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, uLong(data.size())) + 16);
    stream.next_in = const_cast<Bytes::value_type*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline Bytes readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh folder under the system's temporary folder, made the current
// directory for the test's life (entries are extracted below the current
// directory); the previous directory is restored and the folder removed.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("brivane-payload-") + test->test_suite_name() + "-" +
                           test->name() + "-" + std::to_string(std::rand());
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_path);
    }

    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        // Read-only files must be writable again before they can go.
        for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

// Records every onProgress call.
class RecordingProgress : public SaProgress {
public:
    void onProgress(uint32_t bytesConsumed, uint32_t bytesProduced) override {
        calls.emplace_back(bytesConsumed, bytesProduced);
    }
    std::vector<std::pair<uint32_t, uint32_t>> calls;
};

// A payload written into memory with PayloadWriter.
class MemoryPayload {
public:
    MemoryPayload() : m_output(&m_bytes), writer(m_output) {}

    Bytes bytes() const { return bytesOf(m_bytes); }

private:
    DataBuffer m_bytes;
    OutputDataBuffer m_output;

public:
    PayloadWriter writer;
};

}  // namespace payload_test
