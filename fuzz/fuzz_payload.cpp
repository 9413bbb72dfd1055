// Fuzz target: the payload reader. The input is a whole stub + payload file,
// read from memory through SimpleArchive: findMarker, readHeader, readArgs,
// getArg of the settings the stub uses, verifyPassword for an encrypted
// payload (password "fuzz", which the seed payloads use), then extractNext
// until it fails or reports the end record.
//
// Extraction writes below the process's current directory and takes entry
// names as they stand, so the harness keeps every run inside a scratch
// folder of its own:
// - each input starts in a fresh, empty scratch folder (the current
//   directory is set back to it, since a failed directory creation may
//   leave it elsewhere);
// - before extracting, the harness walks the entry records itself (the
//   same layout the reader follows, names deciphered with the same key)
//   and skips the extraction of any input that holds a name which could
//   reach outside: a leading '/' or '\', a ':' anywhere (a drive prefix),
//   or a ".." component, in the name as stored or with its non-ASCII and
//   control bytes left out. The walk may look further than the reader gets,
//   never less far, so it can only skip too much.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "crypto/Rijndael2.h"
#include "io/MemoryDataSource.h"
#include "payload/FieldReader.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/SimpleArchive.h"

using namespace PayloadFormat;

namespace {

constexpr char kFuzzPassword[] = "fuzz";
// A cap on records per input, so that one input cannot create thousands of
// files (the payload format itself has no limit).
constexpr uint32_t kMaxEntriesPerInput = 256;

std::filesystem::path g_scratch;

void removeScratch() {
    std::error_code error;
    std::filesystem::current_path(g_scratch.parent_path(), error);
    std::filesystem::remove_all(g_scratch, error);
}

void emptyScratch() {
    if (chdir(g_scratch.c_str()) != 0) std::abort();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(g_scratch, error))
        std::filesystem::remove_all(entry.path(), error);
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool textStaysInside(const std::string& name) {
    if (!name.empty() && isSeparator(name[0])) return false;
    if (name.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

bool nameStaysInside(const uint8_t* bytes, uint32_t size) {
    std::string stored(reinterpret_cast<const char*>(bytes), size);
    std::string ascii;
    for (char c : stored)
        if (static_cast<uint8_t>(c) >= 0x20 && static_cast<uint8_t>(c) < 0x80) ascii += c;
    std::string untilNul(stored.c_str());
    return textStaysInside(stored) && textStaysInside(ascii) && textStaysInside(untilNul);
}

// True when every entry name the reader could reach from `at` stays inside.
bool entryNamesStayInside(const uint8_t* data, size_t size, size_t at, const SimpleArchive& archive) {
    Rijndael2 cipher;
    if (archive.isEncrypted()) {
        StringBuffer password;
        password.setString(kFuzzPassword);
        DataBuffer key;
        derivePayloadKey(password, archive.getKeyLength(), key);
        cipher.setKeyLength(archive.getKeyLength());
        cipher.setCbcMode();
        cipher.setKey(key);
    }
    // The walk frames the records with the readers' own field reader; what
    // it decides from them (which names could reach outside) is its own.
    MemoryDataSource records;
    records.setData(data + at, static_cast<uint32_t>(size - at));
    FieldReader walk(&records);
    std::vector<uint8_t> skipped(kChunkBufferBytes);
    for (uint32_t entry = 0; entry < kMaxEntriesPerInput; ++entry) {
        uint32_t magic = 0;
        uint8_t type = 0;
        if (!walk.readU32(magic) || magic != kEntryRecordMagic || !walk.readU8(type) || type == kEntryEnd) return true;
        uint16_t nameBytes = 0;
        if (!walk.readU16(nameBytes) || nameBytes == 0) return true;
        DataBuffer name(nameBytes);
        if (!walk.readExact(name.getData(), nameBytes)) return true;
        name.setSize(nameBytes);
        if (archive.isEncrypted()) {
            if (nameBytes % kCipherBlockBytes != 0) return true;
            DataBuffer plain;
            cipher.decryptDataInto(name, plain);
            if (!nameStaysInside(plain.getData(), plain.getSize())) return false;
        } else if (!nameStaysInside(name.getData(), nameBytes)) {
            return false;
        }
        if (!walk.readExact(skipped.data(), kEntryTimeBytes + kEntryAttributesBytes)) return true;
        if (type != kEntryFile) continue;
        for (;;) {
            uint32_t lengthField = 0;
            if (!walk.readU32(lengthField)) return true;
            if (lengthField == kChunkEndOfData) break;
            const uint32_t n = lengthField & kChunkLengthMask;
            if (n >= kChunkBufferBytes || !walk.readExact(skipped.data(), n)) return true;
        }
    }
    return true;
}

class CountingProgress : public SaProgress {
public:
    void onProgress(uint32_t consumed, uint32_t produced) override {
        m_consumed += consumed;
        m_produced += produced;
    }

private:
    uint64_t m_consumed = 0;
    uint64_t m_produced = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "bv_fuzz_payload_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_scratch = pattern;
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFFu) return 0;
    emptyScratch();
    MemoryDataSource source(data, static_cast<uint32_t>(size));
    SimpleArchive archive;
    archive.setSource(&source);
    if (!archive.findMarker() || !archive.readHeader() || !archive.readArgs()) return 0;

    StringBuffer value;
    for (const char* name : {"appTitle", "appCaption", "setupFilename", "setupParams", "unzipDir", "noInterface",
                             "unzipToTemp"})
        archive.getArg(name, value);
    if (archive.isEncrypted()) {
        archive.usePassword(kFuzzPassword);
        archive.verifyPassword();
    }
    if (!entryNamesStayInside(data, size, source.getPosition(), archive)) return 0;

    CountingProgress progress;
    bool finished = false;
    for (uint32_t entry = 0; entry < kMaxEntriesPerInput && !finished; ++entry) {
        const bool ok = archive.extractNext(finished, &progress);
        if (ok == (archive.getFailure() != SimpleArchive::Failure::None)) std::abort();
        if (!ok && !finished) std::abort();
    }
    emptyScratch();
    return 0;
}
