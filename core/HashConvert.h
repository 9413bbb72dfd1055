// HashConvert: a hash table from byte sequences (keys) to byte sequences
// (values), one direction of a code page's mapping.
//
// Each bucket is one owned block of entries laid end to end:
//   key length (1 byte), key bytes, value length (1 byte), value bytes
// and the block ends with a zero byte (a zero key length). An empty bucket
// has no block. A key of 1 to 4 bytes goes to the bucket given by its bytes
// read as a little-endian unsigned integer, modulo the bucket count.
//
// Lookups return the first entry whose key matches, so when a key is
// inserted twice the older entry wins; replace an entry with removeKey then
// insert.
#pragma once

#include <cstdint>

class HashConvert {
public:
    // Bucket counts by kind of code page.
    static constexpr uint32_t kSingleByteBuckets = 269;
    static constexpr uint32_t kSmallDoubleByteBuckets = 4919;
    static constexpr uint32_t kDoubleByteBuckets = 7649;
    static constexpr uint32_t kLargeDoubleByteBuckets = 7669;
    // Keys and values are at most this long (their length is one byte).
    static constexpr uint32_t kMaxSequenceBytes = 255;

    HashConvert();
    virtual ~HashConvert();

    HashConvert(const HashConvert&) = delete;
    HashConvert& operator=(const HashConvert&) = delete;

    // Frees any previous content and sets up bucketCount empty buckets.
    void initialise(uint32_t bucketCount);

    // Adds an entry behind the bucket's existing entries. Key and value are
    // 1..255 bytes; anything else is ignored. Nothing before initialise.
    void insert(const uint8_t* key, uint32_t keyLength, const uint8_t* value, uint32_t valueLength);

    // Removes every entry with this key (the bucket is rebuilt without them).
    void removeKey(const uint8_t* key, uint32_t keyLength);

    // Copies the value of the first entry with this key into value (room for
    // kMaxSequenceBytes) and returns its length; 0 when the key is absent.
    uint32_t lookup(const uint8_t* key, uint32_t keyLength, uint8_t* value) const;

    // Inserts every entry of this table into other with key and value
    // exchanged, in bucket order and, within a bucket, in entry order.
    void copyExchangedInto(HashConvert& other) const;

    uint32_t getBucketCount() const { return m_bucketCount; }
    // Number of entries in all buckets.
    uint32_t countEntries() const;

    // When set, bytes (decoding) and units (encoding) below 0x80 map to
    // themselves without a lookup.
    bool asciiDirect;

private:
    uint32_t bucketOf(const uint8_t* key, uint32_t keyLength) const;
    void freeBuckets();

    // m_bucketCount blocks from std::malloc; null stands for "no block".
    // (Plain blocks rather than containers: the installer stub carries this
    // class, and the containers' growth code would double its size.)
    uint8_t** m_buckets = nullptr;
    uint32_t m_bucketCount = 0;
};
