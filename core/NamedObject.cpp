#include "core/NamedObject.h"

#include "core/BrivaneObject.h"
#include "core/StringBuffer.h"

NamedObject::NamedObject(const char* name, BrivaneObject* value) : m_name(nullptr), m_value(value) {
    if (name != nullptr) {
        m_name = new StringBuffer(name);
        m_name->minimizeMemory();  // names live as long as the map
    }
}

NamedObject::~NamedObject() {
    delete m_value;
    delete m_name;
}

const char* NamedObject::getName() const { return m_name != nullptr ? m_name->getString() : ""; }

void NamedObject::setValue(BrivaneObject* value) {
    if (value == m_value) return;
    delete m_value;
    m_value = value;
}
