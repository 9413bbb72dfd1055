// Inflate throughput: our InflateState2 beside zlib's inflate and libdeflate,
// on the same raw deflate chunks, in one run; plus the whole Gzip front the
// payload reader calls (input copy, pipeline, OutputDataBuffer) to show what
// it costs on top of the inflater.
//
// The corpus is real files of the machine (by default C headers, programs
// and text documentation from standard Debian folders), concatenated and cut
// into chunks of 2,048,575 bytes, the payload's chunk size. Each chunk is
// compressed once with zlib (level 6 unless --level says otherwise); every
// decoder then decodes every chunk, --reps times, and the best pass counts.
// Throughput is uncompressed bytes per second of processor time (the
// process's CPU clock, which a busy machine disturbs less than the wall
// clock). Each decoder's output is checked against the original before
// anything is timed.
//
//   inflate_bench [--chunks N] [--level L] [--reps R] [--strategy default|filtered|huffman|rle|fixed] [PATH...]

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compress/DataSink.h"
#include "compress/Gzip.h"
#include "compress/InflateState2.h"
#include "core/DataBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kChunkBytes = 2048575;

struct Chunk {
    Bytes original;
    Bytes compressed;
};

// Copies the inflater's windows into a preallocated buffer, as the payload
// reader's output buffer does.
class BufferSink : public DataSink {
public:
    explicit BufferSink(uint8_t* target) : m_target(target) {}
    bool write(const uint8_t* data, uint32_t size) override {
        std::memcpy(m_target + m_used, data, size);
        m_used += size;
        return true;
    }
    bool freeSpace(uint32_t& count) override {
        count = kUnlimitedSpace;
        return true;
    }
    size_t used() const { return m_used; }

private:
    uint8_t* m_target;
    size_t m_used = 0;
};

size_t inflateOurs(const Chunk& chunk, uint8_t* out) {
    BufferSink sink(out);
    InflateState2 inflater;
    inflater.setSink(&sink);
    inflater.inflateRange(chunk.compressed.data(), static_cast<uint32_t>(chunk.compressed.size()));
    return inflater.isComplete() ? sink.used() : 0;
}

size_t inflateZlib(const Chunk& chunk, uint8_t* out) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return 0;
    stream.next_in = const_cast<Bytef*>(chunk.compressed.data());
    stream.avail_in = static_cast<uInt>(chunk.compressed.size());
    stream.next_out = out;
    stream.avail_out = kChunkBytes + 1;
    int rc = inflate(&stream, Z_FINISH);
    size_t produced = stream.total_out;
    inflateEnd(&stream);
    return rc == Z_STREAM_END ? produced : 0;
}

size_t inflateLibdeflate(const Chunk& chunk, uint8_t* out) {
    static libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    size_t produced = 0;
    libdeflate_result rc = libdeflate_deflate_decompress(decompressor, chunk.compressed.data(),
                                                         chunk.compressed.size(), out, kChunkBytes + 1, &produced);
    return rc == LIBDEFLATE_SUCCESS ? produced : 0;
}

// Appends the files under `root` (a file or a folder, walked in sorted
// order) until `limit` bytes are collected.
void collectFiles(const std::filesystem::path& root, size_t limit, Bytes& corpus) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_regular_file(root, error)) {
        files.push_back(root);
    } else {
        for (auto it = std::filesystem::recursive_directory_iterator(
                 root, std::filesystem::directory_options::skip_permission_denied, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (error) break;
            if (it->is_regular_file(error) && !it->is_symlink(error)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
    }
    size_t start = corpus.size();
    for (const auto& file : files) {
        if (corpus.size() - start >= limit) break;
        FILE* handle = std::fopen(file.string().c_str(), "rb");
        if (handle == nullptr) continue;
        uint8_t buffer[65536];
        size_t got;
        while (corpus.size() - start < limit && (got = std::fread(buffer, 1, sizeof buffer, handle)) > 0)
            corpus.insert(corpus.end(), buffer, buffer + std::min(got, limit - (corpus.size() - start)));
        std::fclose(handle);
    }
}

Bytes deflateRaw(const Bytes& input, int level, int strategy) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&stream, static_cast<uLong>(input.size())));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Where a decoder left a chunk's bytes (size 0 when it failed).
struct Decoded {
    const uint8_t* data;
    size_t size;
};

struct Decoder {
    const char* name;
    std::function<Decoded(size_t chunkIndex)> run;
    double bestSeconds = 0;
};

const char* strategyName(int strategy) {
    switch (strategy) {
    case Z_FILTERED: return "filtered";
    case Z_HUFFMAN_ONLY: return "huffman";
    case Z_RLE: return "rle";
    case Z_FIXED: return "fixed";
    default: return "default";
    }
}

}  // namespace

int main(int argc, char** argv) {
    size_t chunkCount = 16;
    int level = 6;
    int reps = 5;
    int strategy = Z_DEFAULT_STRATEGY;
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--chunks" && i + 1 < argc) chunkCount = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--level" && i + 1 < argc) level = std::atoi(argv[++i]);
        else if (arg == "--reps" && i + 1 < argc) reps = std::atoi(argv[++i]);
        else if (arg == "--strategy" && i + 1 < argc) {
            std::string name = argv[++i];
            strategy = name == "filtered" ? Z_FILTERED
                       : name == "huffman" ? Z_HUFFMAN_ONLY
                       : name == "rle"     ? Z_RLE
                       : name == "fixed"   ? Z_FIXED
                                           : Z_DEFAULT_STRATEGY;
        } else roots.push_back(arg);
    }
    if (roots.empty()) roots = {"/usr/include", "/usr/bin", "/usr/share/vim"};

    // Corpus: an equal share from each root.
    size_t target = chunkCount * kChunkBytes;
    Bytes corpus;
    for (const auto& root : roots) collectFiles(root, target / roots.size() + 1, corpus);
    if (corpus.size() > target) corpus.resize(target);
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus: none of the paths could be read\n");
        return 2;
    }

    std::vector<Chunk> chunks;
    size_t compressedTotal = 0;
    for (size_t offset = 0; offset < corpus.size(); offset += kChunkBytes) {
        Chunk chunk;
        chunk.original.assign(corpus.begin() + offset, corpus.begin() + std::min(corpus.size(), offset + kChunkBytes));
        chunk.compressed = deflateRaw(chunk.original, level, strategy);
        compressedTotal += chunk.compressed.size();
        chunks.push_back(std::move(chunk));
    }
    std::printf("corpus: %zu bytes in %zu chunks of up to %u bytes, zlib level %d, strategy %s -> %zu bytes (%.1f%%)\n",
                corpus.size(), chunks.size(), kChunkBytes, level, strategyName(strategy), compressedTotal,
                100.0 * compressedTotal / corpus.size());

    // The Gzip front reads its chunk from a DataBuffer and appends to one
    // reserved once, as the payload reader does.
    std::vector<std::unique_ptr<DataBuffer>> inputs;
    for (const Chunk& chunk : chunks) {
        inputs.emplace_back(new DataBuffer);
        inputs.back()->append(chunk.compressed.data(), static_cast<uint32_t>(chunk.compressed.size()));
    }
    DataBuffer gzipOutput;
    gzipOutput.ensureCapacity(kChunkBytes + 64);
    Gzip gzip;

    Bytes out(kChunkBytes + 1);
    Decoder decoders[] = {
        {"InflateState2", [&](size_t i) { return Decoded{out.data(), inflateOurs(chunks[i], out.data())}; }},
        {"zlib inflate", [&](size_t i) { return Decoded{out.data(), inflateZlib(chunks[i], out.data())}; }},
        {"libdeflate", [&](size_t i) { return Decoded{out.data(), inflateLibdeflate(chunks[i], out.data())}; }},
        {"Gzip front", [&](size_t i) {
             bool ok = gzip.inflateBuffer(*inputs[i], gzipOutput);
             return Decoded{gzipOutput.getData(), ok ? gzipOutput.getSize() : 0};
         }},
    };
    for (Decoder& decoder : decoders) {
        for (size_t i = 0; i < chunks.size(); ++i) {
            Decoded decoded = decoder.run(i);
            const Bytes& original = chunks[i].original;
            if (decoded.size != original.size() || std::memcmp(decoded.data, original.data(), decoded.size) != 0) {
                std::fprintf(stderr, "%s decoded a chunk wrongly\n", decoder.name);
                return 1;
            }
        }
    }
    // Interleave the decoders pass by pass so that a change in machine load
    // hits all of them alike.
    for (int rep = 0; rep < reps; ++rep) {
        for (Decoder& decoder : decoders) {
            std::clock_t start = std::clock();
            for (size_t i = 0; i < chunks.size(); ++i) decoder.run(i);
            double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
            if (rep == 0 || seconds < decoder.bestSeconds) decoder.bestSeconds = seconds;
        }
    }
    double ours = corpus.size() / decoders[0].bestSeconds / 1e6;
    for (const Decoder& decoder : decoders) {
        double rate = corpus.size() / decoder.bestSeconds / 1e6;
        std::printf("%-14s %8.1f MB/s   ours/this = %.2f\n", decoder.name, rate, ours / rate);
    }
    return 0;
}
