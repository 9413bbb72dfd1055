#pragma once
// EntryObserver: told about each directory and file entry of a payload once
// the reader has taken it in full (its check record confirmed it, in a
// checked payload), for a caller that lists the payload as it goes.

#include <cstdint>

struct EntryFacts {
    uint8_t type = 0;            // PayloadFormat::kEntryDirectory or kEntryFile
    const char* name = nullptr;  // UTF-8, deciphered, as stored
    uint64_t fileTime = 0;       // FILETIME: 100-ns units since 1601-01-01 UTC
    uint32_t attributes = 0;     // Windows file attributes as stored
    uint64_t sizeBytes = 0;      // a file's decoded bytes; 0 for a directory
    uint64_t packedBytes = 0;    // a file's chunk data as stored; 0 for a directory
};

class EntryObserver {
public:
    virtual ~EntryObserver() {}
    virtual void onEntry(const EntryFacts& entry) = 0;
};
