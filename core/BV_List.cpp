#include "core/BV_List.h"

BV_List::BV_List() : m_count(0), m_last(nullptr), m_first(nullptr) {}

BV_List::~BV_List() { removeAll(); }

void BV_List::appendObject(ListObject* object) { appendItem(new BV_ListItem(object)); }

void BV_List::appendItem(BV_ListItem* item) {
    if (item == nullptr) return;
    item->m_previous = m_last;
    item->m_next = nullptr;
    if (m_last != nullptr)
        m_last->m_next = item;
    else
        m_first = item;
    m_last = item;
    ++m_count;
}

void BV_List::removeAll() {
    BV_ListItem* item = m_last;
    while (item != nullptr) {
        BV_ListItem* previous = item->m_previous;
        delete item;
        item = previous;
    }
    m_count = 0;
    m_first = nullptr;
    m_last = nullptr;
}
