#pragma once
// ListObject: the base of objects held in a BV_List. Its virtual destructor
// lets a container that owns its objects delete them without knowing their
// type.

class ListObject {
public:
    virtual ~ListObject() = default;
};
