#include "core/DigestMD5.h"

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/HmacMD5.h"

DigestMD5::~DigestMD5() = default;

void DigestMD5::digestString(const StringBuffer& text, uint8_t digest[16]) {
    digestBytes(text.getString(), static_cast<uint32_t>(text.getSize()), digest);
}

void DigestMD5::digestData(const DataBuffer& data, uint8_t digest[16]) {
    digestBytes(data.getData(), data.getSize(), digest);
}

void DigestMD5::digestBytes(const void* bytes, uint32_t length, uint8_t digest[16]) {
    HmacMD5 engine;
    Md5Context context;
    engine.md5Init(context);
    engine.md5Update(context, bytes, length);
    engine.md5Final(digest, context);
}
