#pragma once
// HashMap: string-keyed table of owned StringBuffer values with a fixed
// bucket count (no rehashing, no removal of single entries). Each bucket is
// a BV_List of NamedObject name/value pairs; names are unique in the map.
//
// A key's bucket is the CRC-32 of the MD5 digest of the key's bytes, modulo
// the bucket count: every insert and lookup costs one digest, which spreads
// even similar names evenly.

#include <cstdint>

class BV_List;
class NamedObject;
class StringBuffer;

class HashMap {
public:
    // Creates bucketCount empty buckets (at least one).
    explicit HashMap(uint32_t bucketCount);
    // Deletes every entry with its name and value, then the buckets.
    virtual ~HashMap();

    HashMap(const HashMap&) = delete;
    HashMap& operator=(const HashMap&) = delete;

    // Stores value (ownership passes to the map) under key's text. An
    // existing entry of that name gets the new value (its old value is
    // deleted unless it is the same object).
    void insert(const StringBuffer& key, StringBuffer* value);
    // Appends the value stored under name to out (out is not cleared first)
    // and answers true; false, with out unchanged, when there is no such
    // entry or name is null.
    bool lookup(const char* name, StringBuffer& out);
    // The value stored under key's text, or null.
    StringBuffer* findValue(const StringBuffer& key);
    // The entry with key's text as name, or null. Names are compared
    // byte for byte up to the first NUL, case-sensitively.
    NamedObject* findEntry(const StringBuffer& key);
    // CRC-32 of the MD5 digest of all of key's bytes, modulo the bucket
    // count.
    uint32_t bucketIndex(const StringBuffer& key);

    uint32_t getBucketCount() const { return m_bucketCount; }

private:
    uint32_t m_bucketCount;
    BV_List* m_buckets;
};
