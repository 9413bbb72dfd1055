// Writes the seed corpora of the fuzz targets: make_seeds <corpus folder>
// fills <folder>/<target>/ with small inputs that reach deep into each
// target (valid streams, valid payloads, text in several encodings). Each
// seed stays within a few kilobytes.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/PayloadWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path g_root;

bool writeSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_root / target);
    FILE* file = std::fopen((g_root / target / name).string().c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes deflateRaw(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY) {
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
    return rc == Z_STREAM_END ? out : Bytes{};
}

// Some text with repeats (long matches, overlapping copies) and a run.
Bytes sampleText() {
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "The self-extractor reads its payload chunk by chunk, line " + std::to_string(i) + ".\n";
    text += std::string(300, 'a');
    return bytesOf(text);
}

Bytes sampleBinary() {
    Bytes data(700);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * i) >> 3);
    return data;
}

bool writeInflateSeeds() {
    bool ok = true;
    const Bytes text = sampleText();
    const Bytes binary = sampleBinary();
    ok &= writeSeed("inflate", "text_level0", deflateRaw(Bytes(text.begin(), text.begin() + 200), 0));
    ok &= writeSeed("inflate", "text_level1", deflateRaw(text, 1));
    ok &= writeSeed("inflate", "text_level9", deflateRaw(text, 9));
    ok &= writeSeed("inflate", "text_fixed", deflateRaw(text, 6, Z_FIXED));
    ok &= writeSeed("inflate", "text_huffman_only", deflateRaw(text, 6, Z_HUFFMAN_ONLY));
    ok &= writeSeed("inflate", "binary_rle", deflateRaw(binary, 6, Z_RLE));
    ok &= writeSeed("inflate", "binary_level6", deflateRaw(binary, 6));
    ok &= writeSeed("inflate", "empty_stream", deflateRaw(Bytes{}, 6));
    return ok;
}

// First two bytes: indexes into the target's code page list (source,
// target); see fuzz_encoding.cpp.
enum PageIndex : uint8_t {
    kUtf16LE = 0, kUtf16BE = 1, kUtf7 = 2, kUtf8 = 3, kUtf32LE = 4, kUtf32BE = 5,
    k1252 = 6, k1251 = 7, k1256 = 8, k437 = 9, k37 = 15,
};

Bytes withPages(uint8_t source, uint8_t target, const Bytes& text) {
    Bytes seed{source, target};
    seed.insert(seed.end(), text.begin(), text.end());
    return seed;
}

bool writeEncodingSeeds() {
    bool ok = true;
    const Bytes utf8 = bytesOf("Gr\xC3\xBC\xC3\x9F" "e, \xD0\xBC\xD0\xB8\xD1\x80 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBB\xBF");
    ok &= writeSeed("encoding", "utf8_to_utf16", withPages(kUtf8, kUtf16LE, utf8));
    ok &= writeSeed("encoding", "utf8_to_1252", withPages(kUtf8, k1252, utf8));
    ok &= writeSeed("encoding", "utf8_to_utf7", withPages(kUtf8, kUtf7, utf8));
    ok &= writeSeed("encoding", "utf7_to_utf8", withPages(kUtf7, kUtf8, bytesOf("Hi Mom -+Jjo--! A+ImIDkQ. +-")));
    Bytes utf16{0xFF, 0xFE, 'A', 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 'z'};
    ok &= writeSeed("encoding", "utf16_to_utf32", withPages(kUtf16LE, kUtf32BE, utf16));
    Bytes utf32{0, 0, 0xFE, 0xFF, 0, 0, 0, 'A', 0, 1, 0xF6, 0x00, 0, 0, 0xD8, 0x00};
    ok &= writeSeed("encoding", "utf32_to_utf16be", withPages(kUtf32BE, kUtf16BE, utf32));
    Bytes cp1251{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0x98, 0x81};
    ok &= writeSeed("encoding", "1251_to_1256", withPages(k1251, k1256, cp1251));
    Bytes cp437{0x80, 0x81, 0xB0, 0xDB, 0xE1, 0xFE, 0xFF};
    ok &= writeSeed("encoding", "437_to_ebcdic", withPages(k437, k37, cp437));
    return ok;
}

bool writeBase64Seeds() {
    bool ok = true;
    ok &= writeSeed("base64", "foobar", bytesOf("Zm9vYmFy"));
    ok &= writeSeed("base64", "padded_two", bytesOf("Zm9vYg=="));
    ok &= writeSeed("base64", "padded_one", bytesOf("Zm9vYmE="));
    ok &= writeSeed("base64", "blanks_and_noise", bytesOf("Zm9v\r\n YmFy\t!*Zg"));
    ok &= writeSeed("base64", "nul_stops", Bytes{'Q', 'U', 'J', 'D', 0, 'R', 'E', 'V', 'G'});
    return ok;
}

// Byte 0: key length index (bits 0-6) and CBC (bit 7); byte 1: key
// material length; see fuzz_rijndael.cpp.
bool writeRijndaelSeeds() {
    bool ok = true;
    Bytes key(32);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
    const Bytes text = sampleText();
    const uint8_t heads[][2] = {{0x00, 16}, {0x81, 24}, {0x82, 32}, {0x80, 5}};
    const char* names[] = {"aes128_ecb", "aes192_cbc", "aes256_cbc", "short_key_cbc"};
    for (size_t i = 0; i < 4; ++i) {
        Bytes seed{heads[i][0], heads[i][1]};
        seed.insert(seed.end(), key.begin(), key.begin() + heads[i][1]);
        seed.insert(seed.end(), text.begin(), text.begin() + 100 + 13 * i);
        ok &= writeSeed("rijndael", names[i], seed);
    }
    return ok;
}

// A stub stand-in, then a payload with settings, a directory, files with
// stored and compressed chunks, an entry of another type and the end.
bool writePayload(const std::string& name, const char* password, int32_t keyBits) {
    const fs::path path = g_root / "payload" / name;
    fs::create_directories(path.parent_path());
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) return false;
    const char stub[] = "MZ\x90\0stub image stand-in\x48\x12\x90\xBF\x49";  // a false first marker word
    std::fwrite(stub, 1, sizeof stub - 1, file);

    PayloadWriter writer(file);
    if (password != nullptr) writer.setEncryption(password, keyBits);
    const Bytes text = sampleText();
    const Bytes packed = deflateRaw(text, 9);
    const uint64_t time = 0x01D9000000000000ull;
    writer.writeHeader();
    writer.addSetting("appTitle", "Fuzz");
    writer.addSetting("setupFilename", "setup.sh");
    writer.addSetting("unzipDir", "%temp%/x");
    writer.endSettings();
    writer.writeDirectory("docs/sub", time, 0x10);
    writer.beginFile("docs/readme.txt", time, 0x20);
    writer.writeCompressedChunk(packed.data(), static_cast<uint32_t>(packed.size()));
    writer.writeStoredChunk(text.data(), 40);
    writer.endFile();
    writer.beginFile("hidden\\flag", time, 0x03);
    writer.writeStoredChunk("yes", 3);
    writer.endFile();
    writer.writeOtherEntry(7, "ignored", time, 0);
    writer.beginFile("empty", time, 0x20);
    writer.endFile();
    writer.writeEnd();
    const bool ok = !writer.failed();
    return std::fclose(file) == 0 && ok;
}

bool writePayloadSeeds() {
    bool ok = true;
    ok &= writePayload("plain", nullptr, 0);
    ok &= writePayload("aes128", "fuzz", 128);
    ok &= writePayload("aes192", "fuzz", 192);
    ok &= writePayload("aes256", "fuzz", 256);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    bool ok = writeInflateSeeds();
    ok &= writeEncodingSeeds();
    ok &= writeBase64Seeds();
    ok &= writeRijndaelSeeds();
    ok &= writePayloadSeeds();
    if (!ok) std::fprintf(stderr, "make_seeds: a seed could not be written\n");
    return ok ? 0 : 1;
}
