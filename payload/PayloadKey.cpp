#include "payload/PayloadKey.h"

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"
#include "core/SecretWipe.h"
#include "payload/PayloadFormat.h"

using namespace PayloadFormat;

namespace {

constexpr uint32_t kKey192ExtensionBytes = 8;

}  // namespace

void derivePayloadKey(const StringBuffer& password, int32_t keyBits, DataBuffer& key) {
    key.clear();
    DigestMD5 md5;
    uint8_t digest[kMd5DigestBytes];
    md5.digestString(password, digest);
    key.append(digest, kMd5DigestBytes);
    if (keyBits == kKeyBits128) {
        wipeSecretBytes(digest, sizeof digest);
        return;
    }

    StringBuffer extended;
    extended.appendSb(password);
    extended.append(kKeyExtensionSuffix);
    md5.digestString(extended, digest);
    key.append(digest, keyBits == kKeyBits192 ? kKey192ExtensionBytes : kMd5DigestBytes);
    wipeSecretBytes(digest, sizeof digest);
    extended.shorten(extended.getSize());  // overwrites the password copy
}
