#include "core/CodePageTable.h"

#include <cstdlib>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/StoredCodePages.h"

namespace {

// --- The table code pages ---------------------------------------------------

// The bucket counts of the tables, named in a row by their index.
enum BucketClass : uint8_t { kSb, kSmallDb, kDb, kLargeDb };
constexpr uint32_t kBucketCounts[] = {HashConvert::kSingleByteBuckets, HashConvert::kSmallDoubleByteBuckets,
                                      HashConvert::kDoubleByteBuckets, HashConvert::kLargeDoubleByteBuckets};

// Code page numbers fit 16 bits: a row is 4 bytes of read-only data; the
// tables built from it are in g_tables.
struct TableCodePage {
    uint16_t codePage;
    BucketClass buckets;
    CodePageTable::Kind kind;
};

constexpr CodePageTable::Kind kSingle = CodePageTable::Kind::SingleByte;
constexpr CodePageTable::Kind kDouble = CodePageTable::Kind::DoubleByte;

const TableCodePage g_tableCodePages[] = {
    // ISO 8859
    {28591, kSb, kSingle},
    {28592, kSb, kSingle},
    {28593, kSb, kSingle},
    {28594, kSb, kSingle},
    {28595, kSb, kSingle},
    {28596, kSb, kSingle},
    {28597, kSb, kSingle},
    {28598, kSb, kSingle},
    {28599, kSb, kSingle},
    {28603, kSb, kSingle},
    {28605, kSb, kSingle},
    // Windows
    {874, kSb, kSingle},
    {1250, kSb, kSingle},
    {1251, kSb, kSingle},
    {1252, kSb, kSingle},
    {1253, kSb, kSingle},
    {1254, kSb, kSingle},
    {1255, kSb, kSingle},
    {1256, kSb, kSingle},
    {1257, kSb, kSingle},
    {1258, kSb, kSingle},
    // DOS / OEM
    {437, kSb, kSingle},
    {708, kSb, kSingle},
    {720, kSb, kSingle},
    {737, kSb, kSingle},
    {775, kSb, kSingle},
    {850, kSb, kSingle},
    {852, kSb, kSingle},
    {855, kSb, kSingle},
    {857, kSb, kSingle},
    {858, kSb, kSingle},
    {860, kSb, kSingle},
    {861, kSb, kSingle},
    {862, kSb, kSingle},
    {863, kSb, kSingle},
    {864, kSb, kSingle},
    {865, kSb, kSingle},
    {866, kSb, kSingle},
    {869, kSb, kSingle},
    // EBCDIC
    {37, kSb, kSingle},
    {500, kSb, kSingle},
    {870, kSb, kSingle},
    {875, kSb, kSingle},
    {1026, kSb, kSingle},
    {1047, kSb, kSingle},
    {1140, kSb, kSingle},
    {1141, kSb, kSingle},
    {1142, kSb, kSingle},
    {1143, kSb, kSingle},
    {1144, kSb, kSingle},
    {1145, kSb, kSingle},
    {1146, kSb, kSingle},
    {1147, kSb, kSingle},
    {1148, kSb, kSingle},
    {1149, kSb, kSingle},
    {20273, kSb, kSingle},
    {20277, kSb, kSingle},
    {20278, kSb, kSingle},
    {20280, kSb, kSingle},
    {20284, kSb, kSingle},
    {20285, kSb, kSingle},
    {20290, kSb, kSingle},
    {20297, kSb, kSingle},
    {20420, kSb, kSingle},
    {20423, kSb, kSingle},
    {20424, kSb, kSingle},
    {20838, kSb, kSingle},
    {20871, kSb, kSingle},
    {20880, kSb, kSingle},
    {20905, kSb, kSingle},
    {20924, kSb, kSingle},
    {21025, kSb, kSingle},
    // Macintosh
    {10000, kSb, kSingle},
    {10004, kSb, kSingle},
    {10005, kSb, kSingle},
    {10006, kSb, kSingle},
    {10007, kSb, kSingle},
    {10010, kSb, kSingle},
    {10017, kSb, kSingle},
    {10021, kSb, kSingle},
    {10029, kSb, kSingle},
    {10079, kSb, kSingle},
    {10081, kSb, kSingle},
    {10082, kSb, kSingle},
    // Other single-byte
    {20105, kSb, kSingle},
    {20106, kSb, kSingle},
    {20107, kSb, kSingle},
    {20108, kSb, kSingle},
    {20127, kSb, kSingle},
    {20261, kSb, kSingle},
    {20269, kSb, kSingle},
    {20866, kSb, kSingle},
    {21866, kSb, kSingle},
    {38598, kSb, kSingle},
    // Double-byte
    {932, kDb, kDouble},
    {936, kLargeDb, kDouble},
    {949, kLargeDb, kDouble},
    {950, kDb, kDouble},
    {1361, kLargeDb, kDouble},
    {10001, kSmallDb, kDouble},
    {51932, kDb, kDouble},
    {51936, kLargeDb, kDouble},
    {51949, kLargeDb, kDouble},
};

// Only 10001 of the double-byte code pages carries stored entries.
constexpr uint32_t kStoredDoubleByteCodePage = 10001;

constexpr int32_t kTableCodePageCount = sizeof g_tableCodePages / sizeof g_tableCodePages[0];

// The tables in the order of g_tableCodePages, created on first use and
// never freed.
CodePageTable* g_tables[kTableCodePageCount];

// The row of a table code page in g_tableCodePages, or -1.
int32_t findTableCodePage(uint32_t codePage) {
    for (int32_t row = 0; row < kTableCodePageCount; ++row) {
        if (g_tableCodePages[row].codePage == codePage) {
            return row;
        }
    }
    return -1;
}

// --- Unpacking the stored text ------------------------------------------------

constexpr char kPackingPlain = 'x';
constexpr uint8_t kAsciiDirectMarker = 'a';
constexpr uint8_t kFullList = 'F';
constexpr uint8_t kDifferenceList = 'D';
constexpr uint8_t kRecordDecodeRun = 'S';
constexpr uint8_t kRecordDecodeSequence = 'R';
constexpr uint8_t kRecordDecodeSameHighByte = 'H';
constexpr uint8_t kRecordEncoderEntry = 'E';
constexpr uint8_t kRecordNoEncoding = 'X';
constexpr uint32_t kListHeaderBytes = 2;
constexpr uint32_t kBaseCodePageBytes = 4;
constexpr uint32_t kUnitBytes = 2;
constexpr uint32_t kUnitValues = 0x10000;  // UTF-16 code units

// Base64-decodes the stored text and unpacks it when it is packed (through
// the unpacker its row names: a packed text without one is refused).
bool unpackStoredText(const StoredCodePage& stored, DataBuffer& plain) {
    const char* text = stored.text;
    const char packing = text[0];
    uint32_t decodedCount = 0;
    ContentCoding base64;
    uint8_t* decoded =
        base64.decodeBase64(text + 1, static_cast<uint32_t>(std::strlen(text + 1)), decodedCount);
    if (decoded == nullptr) {
        return false;
    }
    if (packing == kPackingPlain) {
        plain.adopt(decoded, decodedCount);
        return true;
    }
    DataBuffer framed;
    framed.adopt(decoded, decodedCount);
    return stored.unpack != nullptr && stored.unpack(framed, plain);
}

// Walks the records of plain data and checks every one. The decoding
// records go into decoder and the encoder corrections into encoder; either
// may be null, and its records are then only checked. (A table is read
// twice: its decoding entries first, then, after the encoder has been
// derived from them, its corrections.) With a decoder, a list of
// differences first takes its base's decoding entries; depth limits chains
// of bases.
bool applyPlainData(const DataBuffer& plain, HashConvert* decoder, HashConvert* encoder, int depth);

bool applyBaseCodePage(uint32_t baseCodePage, HashConvert* decoder, int depth) {
    const StoredCodePage* stored = StoredCodePages::find(baseCodePage);
    DataBuffer plain;
    if (stored == nullptr || depth > 1 || !unpackStoredText(*stored, plain)) {
        return false;
    }
    // The base's encoder corrections belong to the base: only its decoding
    // entries are taken.
    return applyPlainData(plain, decoder, nullptr, depth + 1);
}

bool applyDecodeRun(const uint8_t* record, uint32_t left, HashConvert* decoder, uint32_t& used) {
    if (left < 3) {
        return false;
    }
    const uint32_t first = record[1];
    const uint32_t count = record[2];
    used = 3 + count * kUnitBytes;
    if (left < used || first + count > UnicodeLookup::kByteValues) {
        return false;
    }
    for (uint32_t i = 0; decoder != nullptr && i < count; ++i) {
        const uint8_t key = static_cast<uint8_t>(first + i);
        const uint8_t* unit = record + 3 + i * kUnitBytes;
        decoder->removeKey(&key, 1);
        if (loadLittleEndian16(unit) != 0) {
            decoder->insert(&key, 1, unit, kUnitBytes);
        }
    }
    return true;
}

// 'H' first count high low[count]: bytes first..first+count-1 decode to the
// units high:low[i] (a page's letters of one script mostly share the
// high byte of their units, which is then stored once).
bool applyDecodeSameHighByte(const uint8_t* record, uint32_t left, HashConvert* decoder, uint32_t& used) {
    if (left < 4) {
        return false;
    }
    const uint32_t first = record[1];
    const uint32_t count = record[2];
    const uint8_t high = record[3];
    used = 4 + count;
    if (left < used || first + count > UnicodeLookup::kByteValues) {
        return false;
    }
    for (uint32_t i = 0; decoder != nullptr && i < count; ++i) {
        const uint8_t key = static_cast<uint8_t>(first + i);
        const uint8_t unit[kUnitBytes] = {record[4 + i], high};
        decoder->removeKey(&key, 1);
        if (loadLittleEndian16(unit) != 0) {
            decoder->insert(&key, 1, unit, kUnitBytes);
        }
    }
    return true;
}

// 'R' first count unit: bytes first..first+count-1 decode to the consecutive
// units unit..unit+count-1 (the letters of most alphabets sit in a page in
// their Unicode order, so one record stands for a whole row of them).
bool applyDecodeSequence(const uint8_t* record, uint32_t left, HashConvert* decoder, uint32_t& used) {
    used = 3 + kUnitBytes;
    if (left < used) {
        return false;
    }
    const uint32_t first = record[1];
    const uint32_t count = record[2];
    const uint32_t unit = loadLittleEndian16(record + 3);
    if (unit == 0 || first + count > UnicodeLookup::kByteValues || unit + count > kUnitValues) {
        return false;
    }
    for (uint32_t i = 0; decoder != nullptr && i < count; ++i) {
        const uint8_t key = static_cast<uint8_t>(first + i);
        const uint32_t decoded = unit + i;
        const uint8_t value[kUnitBytes] = {static_cast<uint8_t>(decoded), static_cast<uint8_t>(decoded >> 8)};
        decoder->removeKey(&key, 1);
        decoder->insert(&key, 1, value, kUnitBytes);
    }
    return true;
}

// 'E' unit len byte[len] / 'X' unit: replaces the unit's derived encoding
// by these bytes, or removes it.
bool applyEncoderCorrection(const uint8_t* record, uint32_t left, HashConvert* encoder, uint32_t& used) {
    uint32_t length = 0;
    if (record[0] == kRecordNoEncoding) {
        used = 1 + kUnitBytes;
        if (left < used) {
            return false;
        }
    } else {
        if (left < 4) {
            return false;
        }
        length = record[3];
        used = 4 + length;
        if (left < used || length == 0) {
            return false;
        }
    }
    if (encoder != nullptr) {
        encoder->removeKey(record + 1, kUnitBytes);
        if (length != 0) {
            encoder->insert(record + 1, kUnitBytes, record + 4, length);
        }
    }
    return true;
}

bool applyPlainData(const DataBuffer& plain, HashConvert* decoder, HashConvert* encoder, int depth) {
    const uint8_t* data = plain.getData();
    const uint32_t size = plain.getSize();
    if (size < kListHeaderBytes) {
        return false;
    }
    uint32_t at = kListHeaderBytes;
    if (data[1] == kDifferenceList) {
        if (size < at + kBaseCodePageBytes) {
            return false;
        }
        const uint32_t base = static_cast<uint32_t>(data[2]) | (static_cast<uint32_t>(data[3]) << 8) |
                              (static_cast<uint32_t>(data[4]) << 16) | (static_cast<uint32_t>(data[5]) << 24);
        if (decoder != nullptr && !applyBaseCodePage(base, decoder, depth)) {
            return false;
        }
        at += kBaseCodePageBytes;
    } else if (data[1] != kFullList) {
        return false;
    }
    while (at < size) {
        const uint8_t* record = data + at;
        const uint32_t left = size - at;
        uint32_t used = 0;
        if (record[0] == kRecordDecodeRun) {
            if (!applyDecodeRun(record, left, decoder, used)) {
                return false;
            }
        } else if (record[0] == kRecordDecodeSameHighByte) {
            if (!applyDecodeSameHighByte(record, left, decoder, used)) {
                return false;
            }
        } else if (record[0] == kRecordDecodeSequence) {
            if (!applyDecodeSequence(record, left, decoder, used)) {
                return false;
            }
        } else if (record[0] == kRecordEncoderEntry || record[0] == kRecordNoEncoding) {
            if (!applyEncoderCorrection(record, left, encoder, used)) {
                return false;
            }
        } else {
            return false;
        }
        at += used;
    }
    return true;
}

// --- Building a table ------------------------------------------------------------

// Fills the decoder from the stored table and returns its plain data; false
// (decoder empty) when there is none or it is damaged: an empty table
// converts nothing rather than half a page.
bool loadDecoder(CodePageTable& table, const StoredCodePage* stored, DataBuffer& plain) {
    if (stored == nullptr || !unpackStoredText(*stored, plain)) {
        return false;
    }
    if (!applyPlainData(plain, &table.decoder, nullptr, 0)) {
        table.decoder.initialise(table.decoder.getBucketCount());
        return false;
    }
    table.decoder.asciiDirect = plain.getData()[0] == kAsciiDirectMarker;
    return true;
}

CodePageTable* createTable(const TableCodePage& page) {
    // Of the double-byte code pages only one has a stored table; the others
    // are created without entries.
    const bool stored =
        page.kind == CodePageTable::Kind::SingleByte || page.codePage == kStoredDoubleByteCodePage;
    return CodePageTable::create(page.codePage, page.kind, kBucketCounts[page.buckets],
                                 stored ? StoredCodePages::find(page.codePage) : nullptr);
}

}  // namespace

const CodePageTable* CodePageTable::forCodePage(uint32_t codePage) {
    const int32_t row = findTableCodePage(codePage);
    if (row < 0) {
        return nullptr;
    }
    if (g_tables[row] == nullptr) {
        g_tables[row] = createTable(g_tableCodePages[row]);
    }
    return g_tables[row];
}

CodePageTable* CodePageTable::create(uint32_t codePage, Kind kind, uint32_t bucketCount,
                                     const StoredCodePage* stored) {
    CodePageTable* table = new CodePageTable;
    table->codePage = codePage;
    table->kind = kind;
    table->decoder.initialise(bucketCount);
    table->encoder.initialise(bucketCount);
    DataBuffer plain;
    const bool loaded = loadDecoder(*table, stored, plain);
    // The encoder is the decoder with key and value exchanged, then the
    // stored corrections (the data was checked by the first reading).
    table->decoder.copyExchangedInto(table->encoder);
    if (loaded) {
        applyPlainData(plain, nullptr, &table->encoder, 0);
    }
    table->encoder.asciiDirect = table->decoder.asciiDirect;
    if (kind == Kind::SingleByte) {
        table->lookup.build(table->decoder);
    }
    return table;
}

bool CodePageTable::isTableCodePage(uint32_t codePage) { return findTableCodePage(codePage) >= 0; }
