#pragma once
// NamedObject: one name/value pair, as stored in a HashMap bucket. It owns
// both its name and its value.

#include "core/ListObject.h"

class BrivaneObject;
class StringBuffer;

class NamedObject : public ListObject {
public:
    // Copies name (null: no name) into a new StringBuffer shrunk to fit, and
    // takes ownership of value (may be null).
    NamedObject(const char* name, BrivaneObject* value);
    // Deletes the value, then the name.
    ~NamedObject() override;

    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;

    // The name's text, or "" when there is no name.
    const char* getName() const;
    // The stored value (still owned by this object).
    BrivaneObject* getValue() const { return m_value; }
    // Replaces the value, deleting the old one; storing the same pointer
    // again does nothing.
    void setValue(BrivaneObject* value);

private:
    StringBuffer* m_name;
    BrivaneObject* m_value;
};
