#pragma once
// Support for the ZIP encryption tests: a log that records what it is told,
// a scratch folder per test, running external tools, and a minimal ZIP
// container reader and writer (one entry, no ZIP64, no comments) so that the
// tests can move entry data between our classes and real archivers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/LogBase.h"
#include "support/TestSupport.h"

namespace zipcrypt_test {

using Bytes = std::vector<uint8_t>;

using test_support::RecordingLog;

// Deterministic bytes: text-like when textLike, else spread over 0..255.
inline Bytes patternBytes(uint32_t length, uint32_t seed, bool textLike = false) {
    Bytes out(length);
    uint32_t x = seed * 2654435761u + 12345u;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = textLike ? uint8_t("the quick brown fox jumps over a lazy dog\n"[(x >> 16) % 42]) : uint8_t(x >> 16);
    }
    return out;
}

using test_support::readFileBytes;
using test_support::writeFileBytes;

// A scratch folder named after the running test, removed at the end.
class ScratchDir : public test_support::ScratchFolder {
public:
    ScratchDir() : ScratchFolder("zipcrypt-" + test_support::currentTestLabel()) {}
};

#if !defined(_WIN32)
// True when the command is on the PATH.
inline bool toolAvailable(const char* command) { return test_support::toolOnPath(command); }

// Runs a shell command in the scratch folder; returns its exit code and its
// output text (standard output, then standard error).
inline int runTool(const ScratchDir& dir, const std::string& command, std::string& output) {
    const test_support::RunResult result = test_support::runShell(dir.path(), command);
    output = result.out + result.err;
    return result.exitCode;
}
#endif

// --- ZIP container (the fields a one-entry archive needs) ---

constexpr uint32_t kLocalHeaderSignature = 0x04034b50u;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50u;
constexpr uint32_t kEndRecordSignature = 0x06054b50u;
constexpr uint32_t kLocalHeaderBytes = 30;
constexpr uint32_t kCentralHeaderBytes = 46;
constexpr uint32_t kEndRecordBytes = 22;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodWinZipAes = 99;
// General-purpose flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
// Extra field of WinZip AES entries: id 0x9901, 7 data bytes: vendor
// version (1 = AE-1, 2 = AE-2), vendor id "AE", strength, real method.
constexpr uint16_t kAesExtraId = 0x9901;
constexpr uint16_t kAesExtraDataBytes = 7;
constexpr uint16_t kAesVendorVersionAe2 = 2;
// "Version needed to extract": 2.0 for plain entries, 5.1 for AES.
constexpr uint16_t kVersionNeededDefault = 20;
constexpr uint16_t kVersionNeededAes = 51;
// 2024-01-01 12:00:00 in the DOS time and date fields.
constexpr uint16_t kDosTime = (12u << 11);
constexpr uint16_t kDosDate = ((2024u - 1980u) << 9) | (1u << 5) | 1u;

inline uint16_t get16(const Bytes& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
inline uint32_t get32(const Bytes& b, size_t at) { return uint32_t(get16(b, at)) | (uint32_t(get16(b, at + 2)) << 16); }
inline void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

// The first entry of an archive, as its central directory describes it, with
// its entry data (the bytes after the local header).
struct ZipEntry {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    std::string name;
    Bytes data;
    // From the 0x9901 extra field, when present.
    bool hasAesExtra = false;
    uint16_t aesVendorVersion = 0;
    uint8_t aesStrength = 0;
    uint16_t aesMethod = 0;
};

inline void parseAesExtra(const Bytes& zip, size_t at, size_t length, ZipEntry& entry) {
    const size_t end = at + length;
    while (at + 4 <= end) {
        const uint16_t id = get16(zip, at);
        const uint16_t size = get16(zip, at + 2);
        if (id == kAesExtraId && size >= kAesExtraDataBytes && at + 4 + size <= end) {
            entry.hasAesExtra = true;
            entry.aesVendorVersion = get16(zip, at + 4);
            entry.aesStrength = zip[at + 8];
            entry.aesMethod = get16(zip, at + 9);
        }
        at += 4u + size;
    }
}

// Reads the first entry; false with a reason when the archive is not a plain
// one-disk ZIP.
inline bool readFirstEntry(const Bytes& zip, ZipEntry& entry, std::string& why) {
    if (zip.size() < kEndRecordBytes) {
        why = "archive shorter than an end record";
        return false;
    }
    size_t end = zip.size() - kEndRecordBytes;
    while (get32(zip, end) != kEndRecordSignature) {
        if (end == 0) {
            why = "no end record";
            return false;
        }
        --end;
    }
    const size_t central = get32(zip, end + 16);
    if (central + kCentralHeaderBytes > zip.size() || get32(zip, central) != kCentralHeaderSignature) {
        why = "no central header at the offset the end record gives";
        return false;
    }
    entry.flags = get16(zip, central + 8);
    entry.method = get16(zip, central + 10);
    entry.modTime = get16(zip, central + 12);
    entry.crc = get32(zip, central + 16);
    entry.compressedSize = get32(zip, central + 20);
    entry.uncompressedSize = get32(zip, central + 24);
    const uint16_t nameBytes = get16(zip, central + 28);
    const uint16_t extraBytes = get16(zip, central + 30);
    const size_t local = get32(zip, central + 42);
    entry.name.assign(zip.begin() + long(central + kCentralHeaderBytes),
                      zip.begin() + long(central + kCentralHeaderBytes + nameBytes));
    parseAesExtra(zip, central + kCentralHeaderBytes + nameBytes, extraBytes, entry);

    if (local + kLocalHeaderBytes > zip.size() || get32(zip, local) != kLocalHeaderSignature) {
        why = "no local header at the offset the central header gives";
        return false;
    }
    const size_t dataStart = local + kLocalHeaderBytes + get16(zip, local + 26) + get16(zip, local + 28);
    if (dataStart + entry.compressedSize > zip.size()) {
        why = "entry data runs past the end of the archive";
        return false;
    }
    entry.data.assign(zip.begin() + long(dataStart), zip.begin() + long(dataStart + entry.compressedSize));
    return true;
}

// What the writer puts into the archive's one entry.
struct ZipEntryLayout {
    std::string name;
    uint16_t versionNeeded = kVersionNeededDefault;
    uint16_t flags = 0;
    uint16_t method = kMethodStored;
    uint32_t crc = 0;
    uint32_t uncompressedSize = 0;
    Bytes extra;
    Bytes data;  // the entry data as stored (header/salt included)
};

// The 0x9901 extra field of an AE-2 entry whose data is stored.
inline Bytes aesExtraField(uint8_t strength, uint16_t realMethod) {
    Bytes extra;
    put16(extra, kAesExtraId);
    put16(extra, kAesExtraDataBytes);
    put16(extra, kAesVendorVersionAe2);
    extra.push_back('A');
    extra.push_back('E');
    extra.push_back(strength);
    put16(extra, realMethod);
    return extra;
}

// Local header + data, one central header, end record.
inline Bytes buildZip(const ZipEntryLayout& layout) {
    Bytes zip;
    auto commonFields = [&](Bytes& out) {
        put16(out, layout.versionNeeded);
        put16(out, layout.flags);
        put16(out, layout.method);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, layout.crc);
        put32(out, uint32_t(layout.data.size()));
        put32(out, layout.uncompressedSize);
        put16(out, uint16_t(layout.name.size()));
        put16(out, uint16_t(layout.extra.size()));
    };
    put32(zip, kLocalHeaderSignature);
    commonFields(zip);
    zip.insert(zip.end(), layout.name.begin(), layout.name.end());
    zip.insert(zip.end(), layout.extra.begin(), layout.extra.end());
    zip.insert(zip.end(), layout.data.begin(), layout.data.end());

    const uint32_t centralOffset = uint32_t(zip.size());
    put32(zip, kCentralHeaderSignature);
    put16(zip, layout.versionNeeded);  // version made by: MS-DOS host
    commonFields(zip);
    put16(zip, 0);  // comment length
    put16(zip, 0);  // disk number start
    put16(zip, 0);  // internal attributes
    put32(zip, 0);  // external attributes
    put32(zip, 0);  // offset of the local header
    zip.insert(zip.end(), layout.name.begin(), layout.name.end());
    zip.insert(zip.end(), layout.extra.begin(), layout.extra.end());
    const uint32_t centralBytes = uint32_t(zip.size()) - centralOffset;

    put32(zip, kEndRecordSignature);
    put16(zip, 0);  // this disk
    put16(zip, 0);  // disk with the central directory
    put16(zip, 1);  // entries on this disk
    put16(zip, 1);  // entries in total
    put32(zip, centralBytes);
    put32(zip, centralOffset);
    put16(zip, 0);  // comment length
    return zip;
}

}  // namespace zipcrypt_test
