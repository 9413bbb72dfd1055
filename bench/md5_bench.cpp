// MD5 throughput: our engine (HmacMD5, as DigestMD5 and the password rules
// call it) beside OpenSSL's libcrypto EVP MD5, on the same bytes, in one run.
// Both hash the same 2,048,575-byte pieces (the payload's chunk size) of one
// buffer; each side's digests are checked against the other's before
// anything is timed. Throughput is bytes per second of processor time (the
// process's CPU clock, which a busy machine disturbs less than the wall
// clock), best of --reps passes, the two sides interleaved pass by pass.
//
//   md5_bench [--megabytes N] [--reps R]

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/HmacMD5.h"

namespace {

constexpr uint32_t kPieceBytes = 2048575;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> deterministicBytes(size_t length)
{
    std::vector<uint8_t> out(length);
    uint32_t x = 12345;
    for (uint8_t& b : out) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return out;
}

void digestOurs(const uint8_t* data, uint32_t length, uint8_t digest[16])
{
    HmacMD5 engine;
    Md5Context context;
    engine.md5Init(context);
    engine.md5Update(context, data, length);
    engine.md5Final(digest, context);
}

void digestOpenssl(const uint8_t* data, uint32_t length, uint8_t digest[16])
{
    unsigned int written = 0;
    EVP_Digest(data, length, digest, &written, EVP_md5(), nullptr);
}

using DigestFunction = void (*)(const uint8_t*, uint32_t, uint8_t*);

// One pass over all pieces; returns the CPU seconds it took. The digests are
// folded together so that none of the work can be left out.
double timePass(DigestFunction digest, const std::vector<uint8_t>& data, uint8_t& sink)
{
    uint8_t out[16];
    const double start = cpuSeconds();
    for (size_t offset = 0; offset < data.size(); offset += kPieceBytes) {
        const size_t length = std::min<size_t>(kPieceBytes, data.size() - offset);
        digest(data.data() + offset, uint32_t(length), out);
        sink ^= out[0];
    }
    return cpuSeconds() - start;
}

} // namespace

int main(int argc, char** argv)
{
    size_t megabytes = 200;
    int reps = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--megabytes") == 0)
            megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--reps") == 0)
            reps = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "usage: md5_bench [--megabytes N] [--reps R]\n");
            return 2;
        }
    }
    const std::vector<uint8_t> data = deterministicBytes(megabytes * 1024 * 1024);

    for (size_t offset = 0; offset < data.size(); offset += kPieceBytes) {
        const size_t length = std::min<size_t>(kPieceBytes, data.size() - offset);
        uint8_t ours[16];
        uint8_t theirs[16];
        digestOurs(data.data() + offset, uint32_t(length), ours);
        digestOpenssl(data.data() + offset, uint32_t(length), theirs);
        if (std::memcmp(ours, theirs, 16) != 0) {
            std::fprintf(stderr, "md5_bench: digests differ at offset %zu\n", offset);
            return 1;
        }
    }

    double best[2] = {1e30, 1e30};
    uint8_t sink = 0;
    for (int r = 0; r < reps; ++r) {
        best[0] = std::min(best[0], timePass(digestOurs, data, sink));
        best[1] = std::min(best[1], timePass(digestOpenssl, data, sink));
    }
    const double mb = double(data.size()) / kBytesPerMegabyte;
    std::printf("MD5 of %zu MB in %u-byte pieces, best of %d, CPU time (MB = 2^20 bytes) [%u]\n", megabytes,
                kPieceBytes, reps, unsigned(sink));
    std::printf("HmacMD5 %8.1f MB/s   OpenSSL %8.1f MB/s   HmacMD5/OpenSSL %.3f\n", mb / best[0], mb / best[1],
                best[1] / best[0]);
    return 0;
}
