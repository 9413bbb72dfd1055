#pragma once
// BV_List: doubly linked list of object pointers. The list owns its items,
// not the items' objects. Walks start at getLast() and follow the previous
// links, so they visit the newest item first.

#include <cstdint>

#include "core/BV_ListItem.h"

class BV_List {
public:
    BV_List();
    // removeAll().
    virtual ~BV_List();

    BV_List(const BV_List&) = delete;
    BV_List& operator=(const BV_List&) = delete;

    // Appends a new item for object.
    void appendObject(ListObject* object);
    // Appends an existing item, which the list then owns; null: nothing.
    void appendItem(BV_ListItem* item);
    // Deletes every item (not their objects); the list is empty and reusable.
    void removeAll();

    int32_t getCount() const { return m_count; }
    // The most recently appended item, or null.
    BV_ListItem* getLast() const { return m_last; }
    // The first appended item, or null.
    BV_ListItem* getFirst() const { return m_first; }

private:
    int32_t m_count;
    BV_ListItem* m_last;
    BV_ListItem* m_first;
};
