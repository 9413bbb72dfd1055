#pragma once
// ZipCryptParams: the encryption settings that the compression pipeline
// objects carry with them (ZipPipeline, PipelineHelp and every DataProcessor
// derive from it). A plain record: all fields are public and are read and
// written directly by the pipeline.

#include <cstdint>

#include "core/StringBuffer.h"

// Values of ZipCryptParams::encryptMethod.
enum ZipEncryptMethod : int32_t {
    kZipEncryptNone = 0,
    // Whole-source ciphers (applied to the entry data as one block stream).
    kZipEncryptAes = 1,
    kZipEncryptTwofish = 2,
    kZipEncryptBlowfish = 3,
    // WinZip AES entry data (salt, verifier, AES-CTR, HMAC-SHA1 code).
    kZipEncryptWinZipAes = 4,
};

class ZipCryptParams {
public:
    // encryptMethod 0, keyBits 0, empty password, pwdProtect 0, checkCrc 0.
    ZipCryptParams();
    virtual ~ZipCryptParams();

    ZipCryptParams(const ZipCryptParams&) = delete;
    ZipCryptParams& operator=(const ZipCryptParams&) = delete;

    // Copies all five fields from other. The password is copied byte for byte
    // (embedded NULs included) and then shrunk to fit.
    void copyCryptParams(const ZipCryptParams& other);

    // One of ZipEncryptMethod. The traditional encryption (pwdProtect) applies
    // only while this is kZipEncryptNone.
    int32_t encryptMethod;
    // 128, 192 or 256. For WinZip AES: strength 1, 2 or 3 (any other value
    // counts as 128).
    int32_t keyBits;
    StringBuffer password;
    // Nonzero: the output is to carry the traditional ZIP encryption.
    int32_t pwdProtect;
    // CRC-32 of the entry's plaintext; its top two bytes go into the
    // traditional encryption header.
    uint32_t checkCrc;
};
