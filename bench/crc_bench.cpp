// CRC-32 throughput: ZipCRC (running form, as the payload reader uses it)
// beside zlib's crc32 on the same bytes, in one run, with the ratio.
//
// The data is real files of the machine (by default C headers and text
// documentation from standard Debian folders), concatenated up to --mb
// megabytes and fed in pieces of 2,048,575 bytes, the payload's largest
// chunk. Both must give the same CRC before anything is timed. Each
// implementation makes --reps passes over the whole buffer and the best
// pass counts; throughput is bytes per second of processor time (the
// process's CPU clock, which a busy machine disturbs less than the wall
// clock).
//
//   crc_bench [--mb N] [--reps R] [PATH...]

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/ZipCRC.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPieceBytes = 2048575;  // the payload's largest chunk
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Regular files below the roots, in a stable order, until the buffer holds
// wantedBytes.
Bytes loadCorpus(const std::vector<std::string>& roots, size_t wantedBytes) {
    std::vector<std::filesystem::path> paths;
    for (const std::string& root : roots) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(
                 root, std::filesystem::directory_options::skip_permission_denied, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_regular_file(error) && !it->is_symlink(error)) paths.push_back(it->path());
        }
    }
    std::sort(paths.begin(), paths.end());
    Bytes corpus;
    corpus.reserve(wantedBytes);
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t take = std::min(file.size(), wantedBytes - corpus.size());
        corpus.insert(corpus.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(take));
        if (corpus.size() == wantedBytes) break;
    }
    return corpus;
}

uint32_t oursOver(const Bytes& data) {
    ZipCRC crc;
    crc.reset();
    for (size_t at = 0; at < data.size(); at += kPieceBytes) {
        crc.update(data.data() + at, static_cast<uint32_t>(std::min(kPieceBytes, data.size() - at)));
    }
    return crc.final();
}

uint32_t zlibOver(const Bytes& data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t at = 0; at < data.size(); at += kPieceBytes) {
        crc = crc32(crc, data.data() + at, static_cast<uInt>(std::min(kPieceBytes, data.size() - at)));
    }
    return static_cast<uint32_t>(crc);
}

// Best of reps passes, in megabytes per CPU second.
double bestThroughput(const Bytes& data, int reps, const std::function<uint32_t(const Bytes&)>& run) {
    double best = 0;
    volatile uint32_t sink = 0;
    for (int rep = 0; rep < reps; ++rep) {
        const double start = cpuSeconds();
        sink = sink ^ run(data);
        const double seconds = cpuSeconds() - start;
        if (seconds > 0) best = std::max(best, static_cast<double>(data.size()) / kBytesPerMegabyte / seconds);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = 128;
    int reps = 5;
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mb" && i + 1 < argc) {
            megabytes = static_cast<size_t>(std::atol(argv[++i]));
        } else if (arg == "--reps" && i + 1 < argc) {
            reps = std::atoi(argv[++i]);
        } else {
            roots.push_back(arg);
        }
    }
    if (roots.empty()) roots = {"/usr/include", "/usr/share/doc"};
    const Bytes corpus = loadCorpus(roots, megabytes * 1024 * 1024);
    if (corpus.empty()) {
        std::fprintf(stderr, "crc_bench: no readable files below the given folders\n");
        return 1;
    }
    const uint32_t ours = oursOver(corpus);
    const uint32_t reference = zlibOver(corpus);
    if (ours != reference) {
        std::fprintf(stderr, "crc_bench: ZipCRC gives %08x, zlib %08x\n", ours, reference);
        return 1;
    }
    std::printf("corpus: %.1f MB of files, CRC-32 %08x (both agree), best of %d passes\n",
                static_cast<double>(corpus.size()) / kBytesPerMegabyte, ours, reps);
    const double zlibRate = bestThroughput(corpus, reps, zlibOver);
    const double oursRate = bestThroughput(corpus, reps, oursOver);
    std::printf("zlib crc32      %8.1f MB/s\n", zlibRate);
    std::printf("ZipCRC          %8.1f MB/s\n", oursRate);
    std::printf("ratio ZipCRC / zlib: %.2f\n", oursRate / zlibRate);
    return 0;
}
