// AES-CBC decryption of payload-sized chunks: Rijndael2 (our table-driven
// AES, as the payload reader calls it: decryptDataInto with its own key
// setup per chunk) beside OpenSSL's libcrypto EVP interface doing the same
// work (key setup, CBC decryption, padding removal) on the same bytes, in
// one run. After the benchmark table it prints MB/s for both and the ratio.
//
// Chunk size: the payload's largest chunk, 2,048,575 bytes of plaintext,
// which PKCS#7 pads to 2,048,576 bytes of ciphertext.
//
// Rijndael2 uses the processor's AES instructions when it has them; --vperm
// makes it use the SSSE3 vector-permute engine (its choice on processors
// without AES instructions), --tables the portable round tables. To compare
// those with OpenSSL's own code for processors without AES instructions,
// mask the instructions (and carry-less multiplication) for OpenSSL too:
//
//   aes_bench                                               # both with AES instructions
//   OPENSSL_ia32cap="~0x200000200000000" aes_bench --vperm  # both without
//   OPENSSL_ia32cap="~0x200000200000000" aes_bench --tables

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "crypto/AesCore.h"
#include "crypto/Rijndael2.h"

namespace {

constexpr uint32_t kChunkPlainBytes = 2048575;
constexpr uint32_t kKeyMaterialBytes = 32;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

struct Fixture {
    std::vector<uint8_t> key;
    std::vector<uint8_t> plain;
    std::vector<uint8_t> ciphertext; // under the key, for the key length of the run
};

std::vector<uint8_t> deterministicBytes(uint32_t length, uint32_t seed)
{
    std::vector<uint8_t> out(length);
    uint32_t x = seed;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

const EVP_CIPHER* opensslCbc(int32_t keyBits)
{
    switch (keyBits) {
    case 128: return EVP_aes_128_cbc();
    case 192: return EVP_aes_192_cbc();
    default: return EVP_aes_256_cbc();
    }
}

// The ciphertext is made by OpenSSL, so each side decrypts data it did not
// produce itself.
Fixture makeFixture(int32_t keyBits)
{
    Fixture f;
    f.key = deterministicBytes(kKeyMaterialBytes, 7);
    f.plain = deterministicBytes(kChunkPlainBytes, 11);
    f.ciphertext.resize(kChunkPlainBytes + 16);
    const uint8_t iv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    int finalWritten = 0;
    EVP_EncryptInit_ex(ctx, opensslCbc(keyBits), nullptr, f.key.data(), iv);
    EVP_EncryptUpdate(ctx, f.ciphertext.data(), &written, f.plain.data(), static_cast<int>(f.plain.size()));
    EVP_EncryptFinal_ex(ctx, f.ciphertext.data() + written, &finalWritten);
    EVP_CIPHER_CTX_free(ctx);
    f.ciphertext.resize(static_cast<size_t>(written + finalWritten));
    return f;
}

void BM_Rijndael2CbcDecrypt(benchmark::State& state)
{
    const int32_t keyBits = static_cast<int32_t>(state.range(0));
    const Fixture f = makeFixture(keyBits);
    Rijndael2 cipher;
    cipher.setKeyLength(keyBits);
    cipher.setCbcMode();
    DataBuffer key;
    key.append(f.key.data(), static_cast<uint32_t>(f.key.size()));
    cipher.setKey(key);

    // The payload reader lends its read buffer to the cipher without a copy.
    std::vector<uint8_t> input = f.ciphertext;
    DataBuffer in;
    in.borrow(input.data(), static_cast<uint32_t>(input.size()));
    DataBuffer out;
    cipher.decryptDataInto(in, out);
    if (out.getSize() != f.plain.size() || std::memcmp(out.getData(), f.plain.data(), f.plain.size()) != 0) {
        state.SkipWithError("Rijndael2 output differs from the plaintext");
        in.detach();
        return;
    }
    for (auto _ : state) {
        cipher.decryptDataInto(in, out);
        benchmark::DoNotOptimize(out.getData());
        benchmark::ClobberMemory();
    }
    in.detach();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.ciphertext.size()));
}

void BM_OpensslCbcDecrypt(benchmark::State& state)
{
    const int32_t keyBits = static_cast<int32_t>(state.range(0));
    const Fixture f = makeFixture(keyBits);
    std::vector<uint8_t> out(f.ciphertext.size() + 32);
    const uint8_t iv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    auto decryptChunk = [&]() -> size_t {
        int written = 0;
        int finalWritten = 0;
        EVP_DecryptInit_ex(ctx, opensslCbc(keyBits), nullptr, f.key.data(), iv);
        EVP_DecryptUpdate(ctx, out.data(), &written, f.ciphertext.data(), static_cast<int>(f.ciphertext.size()));
        EVP_DecryptFinal_ex(ctx, out.data() + written, &finalWritten);
        return static_cast<size_t>(written + finalWritten);
    };
    if (decryptChunk() != f.plain.size() || std::memcmp(out.data(), f.plain.data(), f.plain.size()) != 0) {
        state.SkipWithError("OpenSSL output differs from the plaintext");
        EVP_CIPHER_CTX_free(ctx);
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(decryptChunk());
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.ciphertext.size()));
}

BENCHMARK(BM_Rijndael2CbcDecrypt)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpensslCbcDecrypt)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);

// Keeps the console table and remembers each run's throughput for the
// summary.
class ThroughputReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the median of the repetitions wins
        // over the single runs it summarises.
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            const std::string name = run.run_name.str();
            if (median || m_medians.count(name) == 0)
                m_bytesPerSecond[name] = it->second.value;
            if (median)
                m_medians.insert(name);
        }
    }

    double megabytesPerSecond(const std::string& name) const
    {
        const auto it = m_bytesPerSecond.find(name);
        return it == m_bytesPerSecond.end() ? 0.0 : it->second / kBytesPerMegabyte;
    }

private:
    std::map<std::string, double> m_bytesPerSecond;
    std::set<std::string> m_medians;
};

const char* engineName(AesCore::Engine engine)
{
    switch (engine) {
    case AesCore::Engine::CpuInstructions: return "AES instructions";
    case AesCore::Engine::VectorPermute: return "vector permute (SSSE3)";
    case AesCore::Engine::Tables: break;
    }
    return "tables";
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tables") == 0) {
            AesCore::useEngine(AesCore::Engine::Tables);
        } else if (std::strcmp(argv[i], "--vperm") == 0) {
            if (!AesCore::useEngine(AesCore::Engine::VectorPermute)) {
                std::fprintf(stderr, "aes_bench: --vperm needs a processor with SSSE3\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "aes_bench: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    const char* const opensslMask = std::getenv("OPENSSL_ia32cap");
    ThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nAES-CBC decryption of %u-byte chunks, CPU time (MB = 2^20 bytes)\n", kChunkPlainBytes + 1);
    std::printf("Rijndael2 engine: %s; OpenSSL capability mask: %s\n", engineName(AesCore::engine()),
                opensslMask != nullptr ? opensslMask : "none");
    for (const char* keyBits : {"128", "256"}) {
        const double ours = reporter.megabytesPerSecond(std::string("BM_Rijndael2CbcDecrypt/") + keyBits);
        const double peer = reporter.megabytesPerSecond(std::string("BM_OpensslCbcDecrypt/") + keyBits);
        if (ours <= 0.0 || peer <= 0.0)
            continue;
        std::printf("AES-%s  Rijndael2 %8.1f MB/s   OpenSSL %8.1f MB/s   Rijndael2/OpenSSL %.3f\n", keyBits,
                    ours, peer, ours / peer);
    }
    benchmark::Shutdown();
    return 0;
}
