// ConvertState: the state of one conversion, handed to the per-character
// coders (EncodingBase). Zero at construction. Stateful coders keep their
// shift state here; the UTF-8 coder does not use it.
#pragma once

#include <cstdint>

class ConvertState {
public:
    ConvertState() : value(0) {}

    uint32_t value;
};
