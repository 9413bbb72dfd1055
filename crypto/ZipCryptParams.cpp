#include "crypto/ZipCryptParams.h"

ZipCryptParams::ZipCryptParams() : encryptMethod(kZipEncryptNone), keyBits(0), pwdProtect(0), checkCrc(0) {}

ZipCryptParams::~ZipCryptParams() = default;

void ZipCryptParams::copyCryptParams(const ZipCryptParams& other) {
    if (&other == this) {
        return;
    }
    encryptMethod = other.encryptMethod;
    keyBits = other.keyBits;
    password.clear();
    password.appendSb(other.password);
    password.minimizeMemory();
    pwdProtect = other.pwdProtect;
    checkCrc = other.checkCrc;
}
