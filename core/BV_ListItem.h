#pragma once
// BV_ListItem: one cell of a BV_List. It points at its object without owning
// it: deleting an item leaves the object alone.

#include "core/ListObject.h"

class BV_ListItem {
public:
    explicit BV_ListItem(ListObject* object);
    virtual ~BV_ListItem();

    BV_ListItem(const BV_ListItem&) = delete;
    BV_ListItem& operator=(const BV_ListItem&) = delete;

    // True when other holds the same object pointer.
    virtual bool sameObject(const BV_ListItem& other) const;

    ListObject* getObject() const { return m_object; }
    // The item appended before this one, or null.
    BV_ListItem* getPrevious() const { return m_previous; }
    // The item appended after this one, or null.
    BV_ListItem* getNext() const { return m_next; }

private:
    friend class BV_List;

    ListObject* m_object;
    BV_ListItem* m_previous;
    BV_ListItem* m_next;
};
