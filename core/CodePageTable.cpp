#include "core/CodePageTable.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/BrivaneBzip2.h"
#include "core/ByteOrder.h"
#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/StoredCodePages.h"

namespace {

// --- The table code pages ---------------------------------------------------

struct TableCodePage {
    uint32_t codePage;
    CodePageTable::Kind kind;
    uint32_t bucketCount;
    CodePageTable* table;  // created on first use, never freed
};

constexpr CodePageTable::Kind kSingle = CodePageTable::Kind::SingleByte;
constexpr CodePageTable::Kind kDouble = CodePageTable::Kind::DoubleByte;
constexpr uint32_t kSb = HashConvert::kSingleByteBuckets;

TableCodePage g_tableCodePages[] = {
    // ISO 8859
    {28591, kSingle, kSb, nullptr}, {28592, kSingle, kSb, nullptr},
    {28593, kSingle, kSb, nullptr}, {28594, kSingle, kSb, nullptr},
    {28595, kSingle, kSb, nullptr}, {28596, kSingle, kSb, nullptr},
    {28597, kSingle, kSb, nullptr}, {28598, kSingle, kSb, nullptr},
    {28599, kSingle, kSb, nullptr}, {28603, kSingle, kSb, nullptr},
    {28605, kSingle, kSb, nullptr},
    // Windows
    {874, kSingle, kSb, nullptr}, {1250, kSingle, kSb, nullptr},
    {1251, kSingle, kSb, nullptr}, {1252, kSingle, kSb, nullptr},
    {1253, kSingle, kSb, nullptr}, {1254, kSingle, kSb, nullptr},
    {1255, kSingle, kSb, nullptr}, {1256, kSingle, kSb, nullptr},
    {1257, kSingle, kSb, nullptr}, {1258, kSingle, kSb, nullptr},
    // DOS / OEM
    {437, kSingle, kSb, nullptr}, {708, kSingle, kSb, nullptr},
    {720, kSingle, kSb, nullptr}, {737, kSingle, kSb, nullptr},
    {775, kSingle, kSb, nullptr}, {850, kSingle, kSb, nullptr},
    {852, kSingle, kSb, nullptr}, {855, kSingle, kSb, nullptr},
    {857, kSingle, kSb, nullptr}, {858, kSingle, kSb, nullptr},
    {860, kSingle, kSb, nullptr}, {861, kSingle, kSb, nullptr},
    {862, kSingle, kSb, nullptr}, {863, kSingle, kSb, nullptr},
    {864, kSingle, kSb, nullptr}, {865, kSingle, kSb, nullptr},
    {866, kSingle, kSb, nullptr}, {869, kSingle, kSb, nullptr},
    // EBCDIC
    {37, kSingle, kSb, nullptr}, {500, kSingle, kSb, nullptr},
    {870, kSingle, kSb, nullptr}, {875, kSingle, kSb, nullptr},
    {1026, kSingle, kSb, nullptr}, {1047, kSingle, kSb, nullptr},
    {1140, kSingle, kSb, nullptr}, {1141, kSingle, kSb, nullptr},
    {1142, kSingle, kSb, nullptr}, {1143, kSingle, kSb, nullptr},
    {1144, kSingle, kSb, nullptr}, {1145, kSingle, kSb, nullptr},
    {1146, kSingle, kSb, nullptr}, {1147, kSingle, kSb, nullptr},
    {1148, kSingle, kSb, nullptr}, {1149, kSingle, kSb, nullptr},
    {20273, kSingle, kSb, nullptr}, {20277, kSingle, kSb, nullptr},
    {20278, kSingle, kSb, nullptr}, {20280, kSingle, kSb, nullptr},
    {20284, kSingle, kSb, nullptr}, {20285, kSingle, kSb, nullptr},
    {20290, kSingle, kSb, nullptr}, {20297, kSingle, kSb, nullptr},
    {20420, kSingle, kSb, nullptr}, {20423, kSingle, kSb, nullptr},
    {20424, kSingle, kSb, nullptr}, {20838, kSingle, kSb, nullptr},
    {20871, kSingle, kSb, nullptr}, {20880, kSingle, kSb, nullptr},
    {20905, kSingle, kSb, nullptr}, {20924, kSingle, kSb, nullptr},
    {21025, kSingle, kSb, nullptr},
    // Macintosh
    {10000, kSingle, kSb, nullptr}, {10004, kSingle, kSb, nullptr},
    {10005, kSingle, kSb, nullptr}, {10006, kSingle, kSb, nullptr},
    {10007, kSingle, kSb, nullptr}, {10010, kSingle, kSb, nullptr},
    {10017, kSingle, kSb, nullptr}, {10021, kSingle, kSb, nullptr},
    {10029, kSingle, kSb, nullptr}, {10079, kSingle, kSb, nullptr},
    {10081, kSingle, kSb, nullptr}, {10082, kSingle, kSb, nullptr},
    // Other single-byte
    {20105, kSingle, kSb, nullptr}, {20106, kSingle, kSb, nullptr},
    {20107, kSingle, kSb, nullptr}, {20108, kSingle, kSb, nullptr},
    {20127, kSingle, kSb, nullptr}, {20261, kSingle, kSb, nullptr},
    {20269, kSingle, kSb, nullptr}, {20866, kSingle, kSb, nullptr},
    {21866, kSingle, kSb, nullptr}, {38598, kSingle, kSb, nullptr},
    // Double-byte
    {932, kDouble, HashConvert::kDoubleByteBuckets, nullptr},
    {936, kDouble, HashConvert::kLargeDoubleByteBuckets, nullptr},
    {949, kDouble, HashConvert::kLargeDoubleByteBuckets, nullptr},
    {950, kDouble, HashConvert::kDoubleByteBuckets, nullptr},
    {1361, kDouble, HashConvert::kLargeDoubleByteBuckets, nullptr},
    {10001, kDouble, HashConvert::kSmallDoubleByteBuckets, nullptr},
    {51932, kDouble, HashConvert::kDoubleByteBuckets, nullptr},
    {51936, kDouble, HashConvert::kLargeDoubleByteBuckets, nullptr},
    {51949, kDouble, HashConvert::kLargeDoubleByteBuckets, nullptr},
};

// Only 10001 of the double-byte code pages carries stored entries.
constexpr uint32_t kStoredDoubleByteCodePage = 10001;

TableCodePage* findTableCodePage(uint32_t codePage)
{
    for (TableCodePage& page : g_tableCodePages) {
        if (page.codePage == codePage) {
            return &page;
        }
    }
    return nullptr;
}

// --- Unpacking the stored text ------------------------------------------------

constexpr char kPackingPlain = 'x';
constexpr uint8_t kAsciiDirectMarker = 'a';
constexpr uint8_t kFullList = 'F';
constexpr uint8_t kDifferenceList = 'D';
constexpr uint8_t kRecordDecodeRun = 'S';
constexpr uint8_t kRecordEncoderEntry = 'E';
constexpr uint8_t kRecordNoEncoding = 'X';
constexpr uint32_t kListHeaderBytes = 2;
constexpr uint32_t kBaseCodePageBytes = 4;
constexpr uint32_t kUnitBytes = 2;

// Base64-decodes the stored text and unpacks it when it is bzip2-packed.
bool unpackStoredText(const char* text, DataBuffer& plain)
{
    const char packing = text[0];
    uint32_t decodedCount = 0;
    ContentCoding base64;
    uint8_t* decoded = base64.decodeBase64(text + 1,
                                           static_cast<uint32_t>(std::strlen(text + 1)),
                                           decodedCount);
    if (decoded == nullptr) {
        return false;
    }
    if (packing == kPackingPlain) {
        plain.adopt(decoded, decodedCount);
        return true;
    }
    DataBuffer framed;
    framed.adopt(decoded, decodedCount);
    return BrivaneBzip2().unpackBuffer(framed, plain);
}

// An encoder correction, applied after the exchange copy.
struct EncoderCorrection {
    uint8_t unit[kUnitBytes];
    std::vector<uint8_t> bytes;  // empty: the unit has no encoding
};

// Reads the records of plain data into the decoder; with corrections given,
// collects the encoder corrections too. depth limits chains of bases.
bool applyPlainData(const DataBuffer& plain, HashConvert& decoder,
                    std::vector<EncoderCorrection>* corrections, int depth);

bool applyBaseCodePage(uint32_t baseCodePage, HashConvert& decoder, int depth)
{
    const char* text = StoredCodePages::find(baseCodePage);
    DataBuffer plain;
    if (text == nullptr || depth > 1 || !unpackStoredText(text, plain)) {
        return false;
    }
    // The base's encoder corrections belong to the base: only its decoding
    // entries are taken.
    return applyPlainData(plain, decoder, nullptr, depth + 1);
}

bool applyDecodeRun(const uint8_t* record, uint32_t left, HashConvert& decoder, uint32_t& used)
{
    if (left < 3) {
        return false;
    }
    const uint32_t first = record[1];
    const uint32_t count = record[2];
    used = 3 + count * kUnitBytes;
    if (left < used || first + count > UnicodeLookup::kByteValues) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t key = static_cast<uint8_t>(first + i);
        const uint8_t* unit = record + 3 + i * kUnitBytes;
        decoder.removeKey(&key, 1);
        if (loadLittleEndian16(unit) != 0) {
            decoder.insert(&key, 1, unit, kUnitBytes);
        }
    }
    return true;
}

bool readEncoderCorrection(const uint8_t* record, uint32_t left,
                           EncoderCorrection& correction, uint32_t& used)
{
    if (record[0] == kRecordNoEncoding) {
        used = 1 + kUnitBytes;
        if (left < used) {
            return false;
        }
        std::memcpy(correction.unit, record + 1, kUnitBytes);
        return true;
    }
    if (left < 4) {
        return false;
    }
    const uint32_t length = record[3];
    used = 4 + length;
    if (left < used || length == 0) {
        return false;
    }
    std::memcpy(correction.unit, record + 1, kUnitBytes);
    correction.bytes.assign(record + 4, record + 4 + length);
    return true;
}

bool applyPlainData(const DataBuffer& plain, HashConvert& decoder,
                    std::vector<EncoderCorrection>* corrections, int depth)
{
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
                              (static_cast<uint32_t>(data[4]) << 16) |
                              (static_cast<uint32_t>(data[5]) << 24);
        if (!applyBaseCodePage(base, decoder, depth)) {
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
        } else if (record[0] == kRecordEncoderEntry || record[0] == kRecordNoEncoding) {
            EncoderCorrection correction;
            if (!readEncoderCorrection(record, left, correction, used)) {
                return false;
            }
            if (corrections != nullptr) {
                corrections->push_back(std::move(correction));
            }
        } else {
            return false;
        }
        at += used;
    }
    return true;
}

// --- Building a table ------------------------------------------------------------

void loadStoredEntries(CodePageTable& table, std::vector<EncoderCorrection>& corrections)
{
    if (table.kind == CodePageTable::Kind::DoubleByte &&
        table.codePage != kStoredDoubleByteCodePage) {
        return;  // created without entries
    }
    const char* text = StoredCodePages::find(table.codePage);
    DataBuffer plain;
    if (text == nullptr || !unpackStoredText(text, plain)) {
        return;
    }
    if (!applyPlainData(plain, table.decoder, &corrections, 0)) {
        // Damaged data: an empty table converts nothing rather than half a page.
        table.decoder.initialise(table.decoder.getBucketCount());
        corrections.clear();
        return;
    }
    table.decoder.asciiDirect = plain.getData()[0] == kAsciiDirectMarker;
}

void deriveEncoder(CodePageTable& table, const std::vector<EncoderCorrection>& corrections)
{
    table.decoder.copyExchangedInto(table.encoder);
    for (const EncoderCorrection& correction : corrections) {
        table.encoder.removeKey(correction.unit, kUnitBytes);
        if (!correction.bytes.empty()) {
            table.encoder.insert(correction.unit, kUnitBytes, correction.bytes.data(),
                                 static_cast<uint32_t>(correction.bytes.size()));
        }
    }
    table.encoder.asciiDirect = table.decoder.asciiDirect;
}

CodePageTable* createTable(const TableCodePage& page)
{
    CodePageTable* table = new CodePageTable;
    table->codePage = page.codePage;
    table->kind = page.kind;
    table->decoder.initialise(page.bucketCount);
    table->encoder.initialise(page.bucketCount);
    std::vector<EncoderCorrection> corrections;
    loadStoredEntries(*table, corrections);
    deriveEncoder(*table, corrections);
    if (table->kind == CodePageTable::Kind::SingleByte) {
        table->lookup.build(table->decoder);
    }
    return table;
}

}  // namespace

const CodePageTable* CodePageTable::forCodePage(uint32_t codePage)
{
    TableCodePage* page = findTableCodePage(codePage);
    if (page == nullptr) {
        return nullptr;
    }
    if (page->table == nullptr) {
        page->table = createTable(*page);
    }
    return page->table;
}

bool CodePageTable::isTableCodePage(uint32_t codePage)
{
    return findTableCodePage(codePage) != nullptr;
}
