// e2e-pack: builds an installer for the end-to-end tests: a copy of a stub
// followed by a payload holding a folder tree, written with PayloadWriter.
//
//   e2e-pack --stub STUB --out OUT --tree DIR [--set NAME=VALUE]...
//            [--password TEXT --key-bits 128|192|256] [--chunk-bytes N]
//            [--damage KIND]
//
// The tree's directories come before their contents, names in byte order;
// every entry carries its last-write time, files their read-only bit. File
// data goes in chunks of --chunk-bytes (65,536 by default), each deflated by
// zlib or stored when deflating does not make it smaller.
//
// --damage writes a payload the stub must refuse:
//   truncated        the last 12 bytes are cut off
//   bad-magic        the end record's magic is wrong
//   oversized-chunk  the last file ends with a length field of 2,048,576
//   bad-deflate      the last file ends with a chunk that is not deflate data
//
// --expanding-file NAME=BYTES adds, behind the tree, a file NAME of BYTES
// zero bytes written as one compressed chunk: a stream far smaller than the
// reader's work buffer that inflates to far more than it (1 MiB of zeros
// deflates to about 1 KiB).
//
// Exit code 0 on success, 1 with a message otherwise.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "io/FileInfo.h"
#include "payload/PayloadWriter.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Options {
    std::string stub;
    std::string out;
    std::string tree;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string password;
    int keyBits = 128;
    uint32_t chunkBytes = 65536;
    std::string damage;
    std::string expandingName;
    uint64_t expandingBytes = 0;
};

bool fail(const std::string& message) {
    std::fprintf(stderr, "e2e-pack: %s\n", message.c_str());
    return false;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return fail("missing value after " + arg);
        const std::string value = argv[++i];
        if (arg == "--stub") {
            options.stub = value;
        } else if (arg == "--out") {
            options.out = value;
        } else if (arg == "--tree") {
            options.tree = value;
        } else if (arg == "--set") {
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return fail("--set needs NAME=VALUE");
            options.settings.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--password") {
            options.password = value;
        } else if (arg == "--key-bits") {
            options.keyBits = std::atoi(value.c_str());
        } else if (arg == "--chunk-bytes") {
            options.chunkBytes = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg == "--damage") {
            options.damage = value;
        } else if (arg == "--expanding-file") {
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return fail("--expanding-file needs NAME=BYTES");
            options.expandingName = value.substr(0, eq);
            options.expandingBytes = std::strtoull(value.c_str() + eq + 1, nullptr, 10);
        } else {
            return fail("unknown option " + arg);
        }
    }
    if (options.stub.empty() || options.out.empty() || options.tree.empty()) {
        return fail("usage: e2e-pack --stub STUB --out OUT --tree DIR [options]");
    }
    if (options.chunkBytes == 0) return fail("--chunk-bytes must be positive");
    return true;
}

Bytes readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Raw deflate (no zlib header or trailer) of one chunk.
Bytes rawDeflate(const uint8_t* data, uint32_t size) {
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, size) + 16);
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = size;
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Raw deflate of `bytes` zero bytes, fed to zlib a block at a time.
Bytes rawDeflateOfZeros(uint64_t bytes) {
    static const uint8_t zeros[1 << 20] = {};
    z_stream stream = {};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out;
    uint8_t buffer[1 << 16];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const uint64_t block = std::min<uint64_t>(bytes, sizeof zeros);
        stream.next_in = const_cast<uint8_t*>(zeros);
        stream.avail_in = uInt(block);
        bytes -= block;
        do {
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            rc = deflate(&stream, bytes == 0 ? Z_FINISH : Z_NO_FLUSH);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

struct Entry {
    fs::path path;      // on disk
    std::string name;   // in the payload, '/' separated
    bool isDirectory;
};

// Directories before their contents, siblings in byte order of their names.
std::vector<Entry> walkTree(const fs::path& root) {
    std::vector<Entry> entries;
    std::vector<fs::path> children;
    for (const auto& child : fs::directory_iterator(root)) children.push_back(child.path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        const bool isDirectory = fs::is_directory(child);
        entries.push_back({child, child.filename().string(), isDirectory});
        if (!isDirectory) continue;
        for (Entry& inner : walkTree(child)) {
            inner.name = child.filename().string() + "/" + inner.name;
            entries.push_back(std::move(inner));
        }
    }
    return entries;
}

uint64_t fileTimeOf(const FILETIME& time) {
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool writeFileData(PayloadWriter& writer, const Bytes& data, uint32_t chunkBytes) {
    const uint32_t limit = std::min(chunkBytes, writer.maxChunkInputBytes());
    for (size_t offset = 0; offset < data.size(); offset += limit) {
        const uint32_t size = uint32_t(std::min<size_t>(limit, data.size() - offset));
        const Bytes deflated = rawDeflate(data.data() + offset, size);
        const bool ok = deflated.size() < size && deflated.size() <= writer.maxChunkInputBytes()
                            ? writer.writeCompressedChunk(deflated.data(), uint32_t(deflated.size()))
                            : writer.writeStoredChunk(data.data() + offset, size);
        if (!ok) return false;
    }
    return true;
}

bool writeEntries(PayloadWriter& writer, const Options& options) {
    const std::vector<Entry> entries = walkTree(options.tree);
    size_t lastFile = entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].isDirectory) lastFile = i;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        FileInfo info;
        if (!info.loadFileInfo(entry.path.string().c_str(), nullptr)) {
            return fail("cannot read " + entry.path.string());
        }
        const uint64_t time = fileTimeOf(info.getLastWriteTime());
        if (entry.isDirectory) {
            if (!writer.writeDirectory(entry.name.c_str(), time, info.getAttributes())) return false;
            continue;
        }
        if (!writer.beginFile(entry.name.c_str(), time, info.getAttributes())) return false;
        if (!writeFileData(writer, readWholeFile(entry.path), options.chunkBytes)) return false;
        if (i == lastFile && options.damage == "oversized-chunk") {
            const uint8_t oversized[] = {0x40, 0x42, 0x1F, 0x00};  // n = 2,048,576
            if (!writer.writeRaw(oversized, sizeof oversized)) return false;
        }
        if (i == lastFile && options.damage == "bad-deflate") {
            const uint8_t chunk[] = {0x01, 0x00, 0x00, 0x00, 0x07};  // BTYPE 11 is reserved
            if (!writer.writeRaw(chunk, sizeof chunk)) return false;
        }
        if (!writer.endFile()) return false;
    }
    if (!options.expandingName.empty()) {
        const Bytes stream = rawDeflateOfZeros(options.expandingBytes);
        if (stream.size() > writer.maxChunkInputBytes()) return fail("--expanding-file: the stream is too large");
        const uint64_t kJanuary2020FileTime = 132223104000000000ull;  // 2020-01-01 00:00 UTC
        const uint32_t kArchiveAttribute = 0x20;
        if (!writer.beginFile(options.expandingName.c_str(), kJanuary2020FileTime, kArchiveAttribute) ||
            !writer.writeCompressedChunk(stream.data(), uint32_t(stream.size())) || !writer.endFile())
            return false;
    }
    return true;
}

bool writeEnd(PayloadWriter& writer, const Options& options) {
    if (options.damage != "bad-magic") return writer.writeEnd();
    const uint8_t wrongEnd[] = {0x9B, 0xE5, 0x27, 0x6E, 0x00};
    return writer.writeRaw(wrongEnd, sizeof wrongEnd);
}

bool pack(const Options& options) {
    const Bytes stub = readWholeFile(options.stub);
    if (stub.empty()) return fail("cannot read the stub " + options.stub);
    FILE* out = std::fopen(options.out.c_str(), "wb");
    if (out == nullptr) return fail("cannot create " + options.out);
    bool ok = std::fwrite(stub.data(), 1, stub.size(), out) == stub.size();

    PayloadWriter writer(out);
    if (ok && !options.password.empty()) ok = writer.setEncryption(options.password.c_str(), options.keyBits);
    ok = ok && writer.writeHeader();
    for (const auto& setting : options.settings) {
        ok = ok && writer.addSetting(setting.first.c_str(), setting.second.c_str());
    }
    ok = ok && writer.endSettings() && writeEntries(writer, options) && writeEnd(writer, options);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) return fail("writing the payload failed");

    if (options.damage == "truncated") {
        fs::resize_file(options.out, fs::file_size(options.out) - 12);
    }
    fs::permissions(options.out, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 1;
    if (!options.damage.empty() && options.damage != "truncated" && options.damage != "bad-magic" &&
        options.damage != "oversized-chunk" && options.damage != "bad-deflate") {
        fail("unknown damage " + options.damage);
        return 1;
    }
    return pack(options) ? 0 : 1;
}
