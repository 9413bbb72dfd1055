#include "core/HashMap.h"

#include <cstring>

#include "core/ZipCRC.h"
#include "core/BV_List.h"
#include "core/NamedObject.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"

HashMap::HashMap(uint32_t bucketCount)
    // A map without buckets would have nowhere to put an entry (and the
    // bucket index would divide by zero).
    : m_bucketCount(bucketCount == 0 ? 1 : bucketCount), m_buckets(new BV_List[m_bucketCount]) {}

HashMap::~HashMap() {
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        for (BV_ListItem* item = m_buckets[i].getLast(); item != nullptr; item = item->getPrevious())
            delete static_cast<NamedObject*>(item->getObject());
    }
    delete[] m_buckets;
    m_buckets = nullptr;
    m_bucketCount = 0;
}

uint32_t HashMap::bucketIndex(const StringBuffer& key) {
    uint8_t digest[DigestMD5::kDigestBytes];
    DigestMD5 md5;
    md5.digestString(key, digest);
    ZipCRC crc;
    return crc.compute(digest, sizeof digest) % m_bucketCount;
}

NamedObject* HashMap::findEntry(const StringBuffer& key) {
    const BV_List& bucket = m_buckets[bucketIndex(key)];
    for (BV_ListItem* item = bucket.getLast(); item != nullptr; item = item->getPrevious()) {
        NamedObject* entry = static_cast<NamedObject*>(item->getObject());
        if (entry != nullptr && std::strcmp(entry->getName(), key.getString()) == 0) return entry;
    }
    return nullptr;
}

StringBuffer* HashMap::findValue(const StringBuffer& key) {
    NamedObject* entry = findEntry(key);
    // insert only ever stores StringBuffer values.
    return entry != nullptr ? static_cast<StringBuffer*>(entry->getValue()) : nullptr;
}

void HashMap::insert(const StringBuffer& key, StringBuffer* value) {
    NamedObject* entry = findEntry(key);
    if (entry != nullptr) {
        entry->setValue(value);
        return;
    }
    m_buckets[bucketIndex(key)].appendObject(new NamedObject(key.getString(), value));
}

bool HashMap::lookup(const char* name, StringBuffer& out) {
    if (name == nullptr) return false;
    StringBuffer key(name);
    StringBuffer* value = findValue(key);
    if (value == nullptr) return false;
    out.appendSb(*value);
    return true;
}
