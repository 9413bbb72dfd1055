#include "core/HashConvert.h"

#include <cstdlib>
#include <cstring>

namespace {

// Bytes an entry takes besides its key and value: the two length bytes.
constexpr uint32_t kEntryOverheadBytes = 2;
constexpr uint8_t kBlockTerminator = 0;
// Only the first four key bytes feed the bucket choice.
constexpr uint32_t kHashedKeyBytes = 4;

bool validLength(uint32_t length) { return length >= 1 && length <= HashConvert::kMaxSequenceBytes; }

// Calls visit(key, keyLength, value, valueLength) for each entry of a block
// (null: none) until visit returns false.
template <typename Visit>
void forEachEntry(const uint8_t* block, Visit visit) {
    if (block == nullptr) {
        return;
    }
    size_t at = 0;
    while (block[at] != kBlockTerminator) {
        const uint8_t keyLength = block[at];
        const uint8_t* key = block + at + 1;
        const uint8_t valueLength = block[at + 1 + keyLength];
        const uint8_t* value = block + at + 2 + keyLength;
        if (!visit(key, keyLength, value, valueLength)) {
            return;
        }
        at += kEntryOverheadBytes + keyLength + valueLength;
    }
}

// Bytes of a block's entries, without the terminator.
size_t entryBytes(const uint8_t* block) {
    size_t at = 0;
    forEachEntry(block, [&](const uint8_t*, uint32_t kl, const uint8_t*, uint32_t vl) {
        at += kEntryOverheadBytes + kl + vl;
        return true;
    });
    return at;
}

// Appends an entry behind the block's entries; the block is left unchanged
// when it cannot grow.
void appendEntry(uint8_t*& block, const uint8_t* key, uint32_t keyLength, const uint8_t* value,
                 uint32_t valueLength) {
    const size_t used = entryBytes(block);
    uint8_t* grown =
        static_cast<uint8_t*>(std::realloc(block, used + kEntryOverheadBytes + keyLength + valueLength + 1));
    if (grown == nullptr) {
        return;
    }
    uint8_t* entry = grown + used;
    entry[0] = static_cast<uint8_t>(keyLength);
    std::memcpy(entry + 1, key, keyLength);
    entry[1 + keyLength] = static_cast<uint8_t>(valueLength);
    std::memcpy(entry + 2 + keyLength, value, valueLength);
    entry[kEntryOverheadBytes + keyLength + valueLength] = kBlockTerminator;
    block = grown;
}

}  // namespace

HashConvert::HashConvert() : asciiDirect(false) {}

HashConvert::~HashConvert() { freeBuckets(); }

void HashConvert::freeBuckets() {
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        std::free(m_buckets[i]);
    }
    std::free(m_buckets);
    m_buckets = nullptr;
    m_bucketCount = 0;
}

void HashConvert::initialise(uint32_t bucketCount) {
    freeBuckets();
    if (bucketCount == 0) {
        return;
    }
    m_buckets = static_cast<uint8_t**>(std::calloc(bucketCount, sizeof(uint8_t*)));
    if (m_buckets != nullptr) {
        m_bucketCount = bucketCount;
    }
}

uint32_t HashConvert::bucketOf(const uint8_t* key, uint32_t keyLength) const {
    uint32_t little = 0;
    const uint32_t hashed = keyLength < kHashedKeyBytes ? keyLength : kHashedKeyBytes;
    for (uint32_t i = 0; i < hashed; ++i) {
        little |= static_cast<uint32_t>(key[i]) << (8 * i);
    }
    return little % getBucketCount();
}

void HashConvert::insert(const uint8_t* key, uint32_t keyLength, const uint8_t* value, uint32_t valueLength) {
    if (m_bucketCount == 0 || key == nullptr || value == nullptr || !validLength(keyLength) ||
        !validLength(valueLength)) {
        return;
    }
    appendEntry(m_buckets[bucketOf(key, keyLength)], key, keyLength, value, valueLength);
}

void HashConvert::removeKey(const uint8_t* key, uint32_t keyLength) {
    if (m_bucketCount == 0 || key == nullptr || !validLength(keyLength)) {
        return;
    }
    uint8_t*& block = m_buckets[bucketOf(key, keyLength)];
    if (block == nullptr) {
        return;
    }
    // The entries that stay move forward over the removed ones, in order
    // (the copy never overtakes the entry being read).
    size_t kept = 0;
    forEachEntry(block, [&](const uint8_t* k, uint32_t kl, const uint8_t*, uint32_t vl) {
        if (kl != keyLength || std::memcmp(k, key, kl) != 0) {
            const size_t length = kEntryOverheadBytes + kl + vl;
            std::memmove(block + kept, k - 1, length);
            kept += length;
        }
        return true;
    });
    if (kept == 0) {
        std::free(block);
        block = nullptr;
        return;
    }
    block[kept] = kBlockTerminator;
}

uint32_t HashConvert::lookup(const uint8_t* key, uint32_t keyLength, uint8_t* value) const {
    if (m_bucketCount == 0 || key == nullptr || !validLength(keyLength)) {
        return 0;
    }
    uint32_t found = 0;
    forEachEntry(m_buckets[bucketOf(key, keyLength)],
                 [&](const uint8_t* k, uint32_t kl, const uint8_t* v, uint32_t vl) {
                     if (kl != keyLength || std::memcmp(k, key, kl) != 0) {
                         return true;
                     }
                     std::memcpy(value, v, vl);
                     found = vl;
                     return false;
                 });
    return found;
}

void HashConvert::copyExchangedInto(HashConvert& other) const {
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        forEachEntry(m_buckets[i], [&](const uint8_t* k, uint32_t kl, const uint8_t* v, uint32_t vl) {
            other.insert(v, vl, k, kl);
            return true;
        });
    }
}

uint32_t HashConvert::countEntries() const {
    uint32_t count = 0;
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        forEachEntry(m_buckets[i], [&](const uint8_t*, uint32_t, const uint8_t*, uint32_t) {
            ++count;
            return true;
        });
    }
    return count;
}
