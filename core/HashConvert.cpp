#include "core/HashConvert.h"

#include <cstring>

namespace {

// Bytes an entry takes besides its key and value: the two length bytes.
constexpr uint32_t kEntryOverheadBytes = 2;
constexpr uint8_t kBlockTerminator = 0;
// Only the first four key bytes feed the bucket choice.
constexpr uint32_t kHashedKeyBytes = 4;

bool validLength(uint32_t length) { return length >= 1 && length <= HashConvert::kMaxSequenceBytes; }

// Calls visit(key, keyLength, value, valueLength) for each entry of a block.
template <typename Visit>
void forEachEntry(const std::vector<uint8_t>& block, Visit visit) {
    size_t at = 0;
    while (at < block.size() && block[at] != kBlockTerminator) {
        const uint8_t keyLength = block[at];
        const uint8_t* key = &block[at + 1];
        const uint8_t valueLength = block[at + 1 + keyLength];
        const uint8_t* value = &block[at + 2 + keyLength];
        if (!visit(key, keyLength, value, valueLength)) {
            return;
        }
        at += kEntryOverheadBytes + keyLength + valueLength;
    }
}

void appendEntry(std::vector<uint8_t>& block, const uint8_t* key, uint32_t keyLength, const uint8_t* value,
                 uint32_t valueLength) {
    if (!block.empty()) {
        block.pop_back();  // the terminator moves behind the new entry
    }
    block.push_back(static_cast<uint8_t>(keyLength));
    block.insert(block.end(), key, key + keyLength);
    block.push_back(static_cast<uint8_t>(valueLength));
    block.insert(block.end(), value, value + valueLength);
    block.push_back(kBlockTerminator);
}

}  // namespace

HashConvert::HashConvert() : asciiDirect(false) {}

HashConvert::~HashConvert() = default;

void HashConvert::initialise(uint32_t bucketCount) {
    m_buckets.clear();
    m_buckets.shrink_to_fit();
    m_buckets.resize(bucketCount);
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
    if (m_buckets.empty() || key == nullptr || value == nullptr || !validLength(keyLength) ||
        !validLength(valueLength)) {
        return;
    }
    appendEntry(m_buckets[bucketOf(key, keyLength)], key, keyLength, value, valueLength);
}

void HashConvert::removeKey(const uint8_t* key, uint32_t keyLength) {
    if (m_buckets.empty() || key == nullptr || !validLength(keyLength)) {
        return;
    }
    std::vector<uint8_t>& block = m_buckets[bucketOf(key, keyLength)];
    std::vector<uint8_t> rebuilt;
    forEachEntry(block, [&](const uint8_t* k, uint32_t kl, const uint8_t* v, uint32_t vl) {
        if (kl != keyLength || std::memcmp(k, key, kl) != 0) {
            appendEntry(rebuilt, k, kl, v, vl);
        }
        return true;
    });
    block.swap(rebuilt);
}

uint32_t HashConvert::lookup(const uint8_t* key, uint32_t keyLength, uint8_t* value) const {
    if (m_buckets.empty() || key == nullptr || !validLength(keyLength)) {
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
    for (const std::vector<uint8_t>& block : m_buckets) {
        forEachEntry(block, [&](const uint8_t* k, uint32_t kl, const uint8_t* v, uint32_t vl) {
            other.insert(v, vl, k, kl);
            return true;
        });
    }
}

uint32_t HashConvert::countEntries() const {
    uint32_t count = 0;
    for (const std::vector<uint8_t>& block : m_buckets) {
        forEachEntry(block, [&](const uint8_t*, uint32_t, const uint8_t*, uint32_t) {
            ++count;
            return true;
        });
    }
    return count;
}
