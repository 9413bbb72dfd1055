// CodePageTable: the process-wide mapping tables of one table code page,
// built on the first conversion that needs them and never freed.
//
//   decoder  code bytes -> UTF-16LE unit bytes
//   encoder  UTF-16LE unit bytes -> code bytes (the decoder with key and
//            value exchanged, then the stored encoder corrections)
//   lookup   single-byte code pages only: the decoder as a 256-entry array
//
// The double-byte code pages 932, 936, 949, 950, 1361, 51932, 51936 and
// 51949 are created without entries; 10001 takes its entries from a stored
// table of its own when one is stored. Not thread-safe (lazy creation
// without locking).
#pragma once

#include <cstdint>

#include "core/HashConvert.h"
#include "core/UnicodeLookup.h"

struct StoredCodePage;

struct CodePageTable {
    enum class Kind : uint8_t { SingleByte, DoubleByte };

    // The tables of a table code page, created on first use; null for any
    // other code page number (computed, refused or unknown).
    static const CodePageTable* forCodePage(uint32_t codePage);

    // New tables of codePage built from a stored table (null: no entries;
    // damaged data: no entries either). forCodePage builds its tables so
    // from the rows of StoredCodePages. The caller owns the result.
    static CodePageTable* create(uint32_t codePage, Kind kind, uint32_t bucketCount,
                                 const StoredCodePage* stored);

    // True when codePage is converted through tables.
    static bool isTableCodePage(uint32_t codePage);

    uint32_t codePage = 0;
    Kind kind = Kind::SingleByte;
    HashConvert decoder;
    HashConvert encoder;
    UnicodeLookup lookup;
};
