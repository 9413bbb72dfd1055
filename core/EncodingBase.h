// EncodingBase: interface of a per-character coder between bytes and
// 16-bit UTF-16 units. The base answers "nothing decoded, nothing encoded".
#pragma once

#include <cstdint>

class ConvertState;
class DataBuffer;

class EncodingBase {
public:
    // decodeChar results besides a byte count >= 1.
    static constexpr int32_t kInvalidSequence = -1;
    static constexpr int32_t kIncompleteSequence = -2;
    // encodeChar result when the unit has no encoding.
    static constexpr int32_t kUnencodable = -1;

    constexpr EncodingBase() = default;
    virtual ~EncodingBase();

    // Decodes one character from the available bytes at bytes.
    // Returns the number of bytes consumed (>= 1) and stores one unit,
    // kInvalidSequence for an invalid sequence, or kIncompleteSequence when
    // the sequence does not end within the available bytes. The base returns 0.
    virtual int32_t decodeChar(ConvertState& state, const uint8_t* bytes, uint32_t available,
                               uint16_t& unit) const;

    // Appends the encoding of unit to out. Returns the number of bytes
    // appended, or kUnencodable. The base returns 0.
    virtual int32_t encodeChar(ConvertState& state, uint16_t unit, DataBuffer& out) const;

    // True when an undecodable sequence may span several bytes (the
    // converter then resynchronises byte by byte). The base answers false.
    virtual bool isMultiByte() const;
};
