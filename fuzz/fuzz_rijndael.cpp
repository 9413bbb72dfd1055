// Fuzz target: Rijndael2 one-shot and chained operations, as round trips.
//
// Input: byte 0 picks the key length (128/192/256) and the mode (ECB/CBC),
// byte 1 the length of the key material (0..32), then the key material,
// then the plaintext; the bytes of the plaintext's first block also pick
// where the chained run cuts it into pieces.
//
// Checks, beyond no crash, leak or undefined behaviour (fresh objects for
// each run, since chained encryption adopts its chain as the stored IV):
// - decryptData(encryptData(x)) == x, and the ciphertext is PKCS#7 length;
// - decryptDataInto gives the same bytes as decryptData;
// - encryptFirst/encryptNext/encryptLast over whole-block pieces gives the
//   one-shot ciphertext; decryptFirst/decryptNext/decryptLast over pieces
//   of that ciphertext gives x back.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/DataBuffer.h"
#include "crypto/Rijndael2.h"

namespace {

constexpr uint32_t kBlockBytes = 16;
constexpr uint32_t kMaxKeyMaterialBytes = 32;
constexpr int32_t kKeyBits[] = {128, 192, 256};

struct Setup {
    int32_t keyBits;
    bool cbc;
    DataBuffer key;
};

void configure(Rijndael2& cipher, const Setup& setup) {
    cipher.setKeyLength(setup.keyBits);
    if (setup.cbc) cipher.setCbcMode();
    else cipher.setEcbMode();
    cipher.setKey(setup.key);
}

[[noreturn]] void finding(const char* what, const Setup& setup, uint32_t plainBytes) {
    std::fprintf(stderr, "rijndael: %s (AES-%d %s, key material %u bytes, plaintext %u bytes)\n", what,
                 setup.keyBits, setup.cbc ? "CBC" : "ECB", setup.key.getSize(), plainBytes);
    std::abort();
}

bool sameBytes(const DataBuffer& buffer, const uint8_t* bytes, uint32_t size) {
    return buffer.getSize() == size && (size == 0 || std::memcmp(buffer.getData(), bytes, size) == 0);
}

void appendPiece(DataBuffer& whole, const std::unique_ptr<DataBuffer>& piece) {
    if (piece) whole.appendDb(*piece);
}

// Piece lengths in whole blocks (at least one each) for everything but the
// last piece, which takes the rest (possibly nothing).
std::vector<uint32_t> cutPoints(const uint8_t* plain, uint32_t plainBytes) {
    std::vector<uint32_t> pieces;
    uint32_t used = 0;
    for (uint32_t i = 0; used + kBlockBytes <= plainBytes && i < kBlockBytes; ++i) {
        uint32_t blocks = 1 + plain[i] % 4;
        uint32_t bytes = blocks * kBlockBytes;
        if (used + bytes > plainBytes) break;
        pieces.push_back(bytes);
        used += bytes;
    }
    return pieces;
}

void checkOneShot(const Setup& setup, const DataBuffer& plain, DataBuffer& ciphertext) {
    Rijndael2 encryptor;
    configure(encryptor, setup);
    std::unique_ptr<DataBuffer> encrypted = encryptor.encryptData(plain);
    if (!encrypted) finding("encryptData gave null", setup, plain.getSize());
    const uint32_t paddedBytes = (plain.getSize() / kBlockBytes + 1) * kBlockBytes;
    if (encrypted->getSize() != paddedBytes) finding("ciphertext length", setup, plain.getSize());

    Rijndael2 decryptor;
    configure(decryptor, setup);
    std::unique_ptr<DataBuffer> decrypted = decryptor.decryptData(*encrypted);
    if (!decrypted || !sameBytes(*decrypted, plain.getData(), plain.getSize()))
        finding("decryptData(encryptData(x)) != x", setup, plain.getSize());

    DataBuffer into;
    decryptor.decryptDataInto(*encrypted, into);
    if (!sameBytes(into, plain.getData(), plain.getSize()))
        finding("decryptDataInto(encryptData(x)) != x", setup, plain.getSize());
    ciphertext.clear();
    ciphertext.appendDb(*encrypted);
}

void checkChainedEncryption(const Setup& setup, const DataBuffer& plain, const DataBuffer& oneShot,
                            const std::vector<uint32_t>& pieces) {
    Rijndael2 cipher;
    configure(cipher, setup);
    DataBuffer whole;
    DataBuffer chain;
    uint32_t at = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        DataBuffer piece;
        piece.append(plain.getData() + at, pieces[i]);
        at += pieces[i];
        std::unique_ptr<DataBuffer> out = i == 0 ? cipher.encryptFirst(piece) : cipher.encryptNext(piece, chain);
        if (!out || out->getSize() != pieces[i]) finding("chained piece length", setup, plain.getSize());
        chain.clear();
        chain.append(out->getData() + out->getSize() - kBlockBytes, kBlockBytes);
        appendPiece(whole, out);
    }
    DataBuffer rest;
    rest.append(plain.getData() + at, plain.getSize() - at);
    std::unique_ptr<DataBuffer> last;
    if (pieces.empty()) {
        // A single padded piece: the one-shot operation is the chain's first
        // and last at once.
        last = cipher.encryptData(rest);
    } else {
        last = cipher.encryptLast(rest, chain);
    }
    appendPiece(whole, last);
    if (!sameBytes(whole, oneShot.getData(), oneShot.getSize()))
        finding("chained encryption differs from one-shot", setup, plain.getSize());
}

void checkChainedDecryption(const Setup& setup, const DataBuffer& plain, const DataBuffer& ciphertext,
                            const std::vector<uint32_t>& pieces) {
    Rijndael2 cipher;
    configure(cipher, setup);
    DataBuffer whole;
    uint8_t chain[kBlockBytes] = {};
    uint32_t at = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        DataBuffer piece;
        piece.append(ciphertext.getData() + at, pieces[i]);
        at += pieces[i];
        appendPiece(whole, i == 0 ? cipher.decryptFirst(piece, chain) : cipher.decryptNext(piece, chain));
    }
    DataBuffer rest;
    rest.append(ciphertext.getData() + at, ciphertext.getSize() - at);
    appendPiece(whole, pieces.empty() ? cipher.decryptData(rest) : cipher.decryptLast(rest, chain));
    if (!sameBytes(whole, plain.getData(), plain.getSize()))
        finding("chained decryption differs from the plaintext", setup, plain.getSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 0x10000) return 0;
    Setup setup;
    setup.keyBits = kKeyBits[(data[0] & 0x7F) % 3];
    setup.cbc = (data[0] & 0x80) != 0;
    uint32_t keyBytes = data[1] % (kMaxKeyMaterialBytes + 1);
    if (keyBytes > size - 2) keyBytes = static_cast<uint32_t>(size - 2);
    setup.key.append(data + 2, keyBytes);

    DataBuffer plain;
    plain.append(data + 2 + keyBytes, static_cast<uint32_t>(size - 2 - keyBytes));
    if (plain.getSize() == 0) return 0;  // empty input: no padding block, nothing to round-trip

    DataBuffer ciphertext;
    checkOneShot(setup, plain, ciphertext);
    const std::vector<uint32_t> pieces = cutPoints(plain.getData(), plain.getSize());
    checkChainedEncryption(setup, plain, ciphertext, pieces);
    checkChainedDecryption(setup, plain, ciphertext, pieces);
    return 0;
}
