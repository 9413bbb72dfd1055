#include "core/EncodingBase.h"

EncodingBase::~EncodingBase() = default;

int32_t EncodingBase::decodeChar(ConvertState&, const uint8_t*, uint32_t, uint16_t&) const { return 0; }

int32_t EncodingBase::encodeChar(ConvertState&, uint16_t, DataBuffer&) const { return 0; }

bool EncodingBase::isMultiByte() const { return false; }
