#include "payload/SignatureArea.h"

#include <memory>

#include "core/ByteOrder.h"
#include "io/FileDataSource.h"

namespace {

constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kPeSignatureBytes = 4;
constexpr uint32_t kCoffHeaderBytes = 20;
constexpr uint32_t kOptionalHeaderSizeField = 16;  // within the COFF header
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kDirectoryCountFieldPe32 = 92;
constexpr uint32_t kDirectoryCountFieldPe32Plus = 108;
constexpr uint32_t kDirectoryEntryBytes = 8;
constexpr uint32_t kCertificateTableEntry = 4;

bool fits(uint64_t offset, uint64_t bytes, size_t size) { return offset + bytes <= size; }

}  // namespace

namespace SignatureArea {

CertificateTable find(const uint8_t* head, size_t size) {
    CertificateTable none;
    if (head == nullptr || !fits(0, kPeOffsetField + 4, size) || head[0] != 'M' || head[1] != 'Z')
        return none;
    const uint64_t pe = loadLittleEndian32(head + kPeOffsetField);
    if (!fits(pe, kPeSignatureBytes + kCoffHeaderBytes + 2, size)) return none;
    if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return none;

    const uint64_t coff = pe + kPeSignatureBytes;
    const uint32_t optionalBytes = loadLittleEndian16(head + coff + kOptionalHeaderSizeField);
    const uint64_t optional = coff + kCoffHeaderBytes;
    const uint16_t magic = loadLittleEndian16(head + optional);
    uint32_t countField = 0;
    if (magic == kMagicPe32) {
        countField = kDirectoryCountFieldPe32;
    } else if (magic == kMagicPe32Plus) {
        countField = kDirectoryCountFieldPe32Plus;
    } else {
        return none;
    }
    const uint64_t entry = countField + 4 + kCertificateTableEntry * kDirectoryEntryBytes;
    if (entry + kDirectoryEntryBytes > optionalBytes || !fits(optional + entry, kDirectoryEntryBytes, size)) {
        return none;
    }
    if (loadLittleEndian32(head + optional + countField) <= kCertificateTableEntry) return none;

    CertificateTable table;
    table.offset = loadLittleEndian32(head + optional + entry);
    table.bytes = loadLittleEndian32(head + optional + entry + 4);
    if (table.offset == 0 || table.bytes == 0) return none;
    return table;
}

CertificateTable findInFile(const char* utf8Path) {
    std::unique_ptr<FileDataSource> source(FileDataSource::openDataSourceFile(utf8Path, nullptr));
    if (!source) return CertificateTable();
    uint8_t head[kHeaderProbeBytes];
    size_t filled = 0;
    while (filled < sizeof head) {
        uint32_t got = 0;
        if (!source->readBytes(head + filled, static_cast<uint32_t>(sizeof head - filled), &got) || got == 0)
            break;
        filled += got;
    }
    return find(head, filled);
}

}  // namespace SignatureArea
