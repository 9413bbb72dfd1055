// EncodingUtf8: the per-character UTF-8 coder behind every UTF-8 conversion.
//
// Format notes:
// - Only the Basic Multilingual Plane is decoded: a lead byte >= 0xF0 (a
//   four-byte sequence) is invalid, so such characters never become units.
// - Overlong forms are refused (leads 0xC0/0xC1; 0xE0 followed by < 0xA0).
// - Encoded surrogates (0xED 0xA0..0xBF ..) are accepted and give the
//   surrogate unit; encoding writes every unit on its own, so a surrogate
//   pair becomes two three-byte sequences.
//
// The coder is stateless. One process-wide instance (shared()) is built at
// constant-initialisation time, before any constructor of another global
// object can need it, and lives until the process ends.
#pragma once

#include <cstdint>

#include "core/EncodingBase.h"

class EncodingUtf8 : public EncodingBase {
public:
    constexpr EncodingUtf8() = default;
    ~EncodingUtf8() override;

    // The process-wide UTF-8 coder.
    static const EncodingUtf8& shared();

    // Decodes one UTF-8 sequence of 1 to 3 bytes (see the format notes).
    int32_t decodeChar(ConvertState& state, const uint8_t* bytes, uint32_t available,
                       uint16_t& unit) const override;

    // Appends the 1-, 2- or 3-byte UTF-8 form of unit; never fails.
    int32_t encodeChar(ConvertState& state, uint16_t unit, DataBuffer& out) const override;

    // True: an invalid sequence may span several bytes.
    bool isMultiByte() const override;
};
