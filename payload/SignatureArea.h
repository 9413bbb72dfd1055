#pragma once
// SignatureArea: where a signed Windows installer's signature begins.
//
// A signature (Authenticode) is stored in the PE image's certificate table,
// which the security entry of the optional header's data directory names by
// file offset and size. The signature covers the whole file except that
// table (and the checksum and the entry itself), so bytes inside it can be
// changed without the signature noticing. A payload therefore only counts
// when it lies between the image and the signature: readers stop their
// marker search and every read at the table's start.
//
// Format notes (little-endian):
//   0x00  "MZ"
//   0x3C  u32 offset of the PE signature "PE\0\0"
//   PE+4  COFF file header, 20 bytes; u16 SizeOfOptionalHeader at +16
//   PE+24 optional header: u16 magic 0x10B (PE32) or 0x20B (PE32+);
//         u32 NumberOfRvaAndSizes at +92 (PE32) / +108 (PE32+), then the
//         data directory, 8 bytes an entry: u32 file offset, u32 size.
//         Entry 4 is the certificate table.

#include <cstddef>
#include <cstdint>

namespace SignatureArea {

// The image headers a reader looks at: the certificate table's entry lies
// well within the first 4 KiB of any PE image a linker writes.
constexpr size_t kHeaderProbeBytes = 4096;

struct CertificateTable {
    uint64_t offset = 0;  // file offset of the table; 0: none
    uint32_t bytes = 0;
};

// The certificate table named by the headers, or none (offset 0) for a file
// that is not a PE image, has no such entry, or names an empty one.
CertificateTable find(const uint8_t* head, size_t size);

// The same for a file, reading its first kHeaderProbeBytes.
CertificateTable findInFile(const char* utf8Path);

}  // namespace SignatureArea
