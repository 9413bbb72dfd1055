#include "core/BV_ListItem.h"

BV_ListItem::BV_ListItem(ListObject* object) : m_object(object), m_previous(nullptr), m_next(nullptr) {}

BV_ListItem::~BV_ListItem() = default;

bool BV_ListItem::sameObject(const BV_ListItem& other) const { return m_object == other.m_object; }
