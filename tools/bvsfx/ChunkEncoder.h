#pragma once
// ChunkEncoder: turns one slice of a file into the chunk record the payload
// stores: deflated by libdeflate (raw deflate, which every installer's
// inflater reads; libdeflate compresses a whole buffer at once, faster than
// zlib and into fewer bytes at the same level) when that makes it smaller,
// stored otherwise, then enciphered when the
// payload is encrypted (classic: AES-CBC from a zero IV with PKCS#7
// padding, one independent message per chunk, exactly as PayloadWriter
// enciphers; strong: a random IV and the ciphertext, whose authentication
// code PayloadWriter::writeSealedChunk adds in payload order).
//
// One encoder per worker thread: it owns its deflate stream and its cipher.
// Construct it on the thread that builds the pack (the cipher's set-up uses
// library objects that are not meant to be shared between threads); encode
// may then run on any one thread at a time.
//
// Slice size: a stored chunk's data may be at most 2,048,575 bytes. The
// plaintext slice is chosen so that neither form can pass it: a stored slice
// is the limit itself (unencrypted) or 2,048,559 bytes, whose padded
// ciphertext is 2,048,560 bytes (encrypted), or 2,048,511 bytes, which with
// IV, padding and code come to 2,048,560 (strong); a deflate result is used only
// when it is smaller than the slice, so it fits too.

#include <cstdint>
#include <memory>
#include <vector>

class DataBuffer;
class Rijndael2;
class StrongCipher;
struct libdeflate_compressor;

struct EncodedChunk {
    bool stored = true;         // bit 31 of the length field
    std::vector<uint8_t> data;  // the chunk data as stored (after encryption)
    uint32_t plainBytes = 0;    // bytes of the file this chunk carries
};

class ChunkEncoder {
public:
    // Deflate levels: 0 stores every chunk; 1..12 are libdeflate's levels
    // (1..9 as fast as zlib's or faster; 10..12 search hardest).
    static constexpr int32_t kStoreLevel = 0;
    static constexpr int32_t kMaxLevel = 12;

    // level: kStoreLevel..kMaxLevel (others are clamped). key: the payload
    // key (16, 24 or 32 bytes, see payload/PayloadKey.h), or null for an
    // unencrypted payload.
    ChunkEncoder(int32_t level, const DataBuffer* key, int32_t keyBits);
    // Strong mode: the keys are copied from strong (which must be ready).
    ChunkEncoder(int32_t level, const StrongCipher& strong);
    ~ChunkEncoder();

    ChunkEncoder(const ChunkEncoder&) = delete;
    ChunkEncoder& operator=(const ChunkEncoder&) = delete;

    // Encodes size bytes (1..maxSliceBytes()). False when the compressor
    // could not be allocated, the cipher fails or the slice is too large.
    bool encode(const uint8_t* data, uint32_t size, EncodedChunk& out);

    // The largest slice a chunk may carry.
    uint32_t maxSliceBytes() const;
    static uint32_t maxSliceBytes(bool encrypted);
    static uint32_t maxStrongSliceBytes();

    // The u32 length field of an encoded chunk.
    static uint32_t lengthField(const EncodedChunk& chunk);

private:
    // Deflates into out; false when the result is not smaller than the slice.
    bool deflateSmaller(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out);
    bool encipher(std::vector<uint8_t>& data);

    int32_t m_level;
    libdeflate_compressor* m_compressor = nullptr;  // owned; null at level 0 or when out of memory
    std::unique_ptr<Rijndael2> m_cipher;            // classic encryption only
    std::unique_ptr<StrongCipher> m_strong;         // strong encryption only
};
