#pragma once
// DataBuffer: growable byte buffer. It owns its heap block, or borrows memory
// that belongs to someone else (borrow), in which case it never frees it and
// any growth replaces the borrowed block by an owned copy.
//
// The content is not terminated; callers that store text append their own
// terminator (one zero byte for 8-bit text, two for UTF-16).
//
// Owned blocks are allocated with std::malloc and freed with std::free; a
// block handed over with adopt must come from std::malloc.
//
// Guard byte: a live buffer holds 0xDB. append, appendChar, appendExact,
// appendUtf16z, ensureCapacity, borrow, adopt, moveFrom, padToBlock,
// unpadBlock and the loadFile operations check it first; a mismatch stops the
// process at once without a message. The other operations do not check it.
//
// Growth: append (of fewer than 20000 bytes) and appendChar leave 20000
// bytes of slack so that byte-wise
// and small-chunk producers rarely reallocate; appendExact and ensureCapacity
// grow to exactly what is asked. The block never shrinks except when it is
// replaced (borrow, adopt, moveFrom, loadFile*).
//
// The appending operations may reallocate before copying: their source must
// not lie inside this buffer's own block.

#include <cstdint>

class LogBase;

class DataBuffer {
public:
    static constexpr uint8_t kGuardAlive = 0xDB;
    // Slack reserved beyond the content when append/appendChar must grow.
    static constexpr uint32_t kGrowthSlackBytes = 20000;
    // Block size of padToBlock/unpadBlock (the AES block).
    static constexpr uint32_t kPadBlockBytes = 16;
    // Zero bytes kept behind a loaded file so it reads as NUL-terminated
    // 8-bit or 16-bit text.
    static constexpr uint32_t kLoadedFileZeroTailBytes = 4;

    // Padding schemes of padToBlock/unpadBlock. Any other value: no padding.
    enum PaddingScheme : int32_t {
        PadPkcs7 = 0,     // k bytes of value k
        PadIso10126 = 1,  // k-1 random bytes, then one byte of value k
        PadRandom = 2,    // k random bytes, no length information
    };

    // No block; size and capacity 0.
    DataBuffer();
    // An owned block of n zero bytes; size 0, capacity n.
    explicit DataBuffer(uint32_t capacity);
    // Clears the guard, frees the block if owned.
    virtual ~DataBuffer();

    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    // --- Plain access (no guard check) ---

    // The block (null when there is none).
    uint8_t* getData() { return m_data; }
    const uint8_t* getData() const { return m_data; }
    // Number of content bytes.
    uint32_t getSize() const { return m_size; }
    // Size of the block in bytes.
    uint32_t getCapacity() const { return m_capacity; }
    // True while the block belongs to someone else.
    bool isBorrowed() const { return m_borrowed != 0; }
    // Pointer to byte i when there is a block and i < size; otherwise null.
    uint8_t* byteAt(uint32_t i);
    // size = 0; the block remains.
    void clear() { m_size = 0; }
    // size = min(n, capacity); for callers that wrote into the block directly
    // (after ensureCapacity).
    void setSize(uint32_t n);
    // size -= min(n, size).
    void shrinkBy(uint32_t n);
    // Forgets the block without freeing it (data null, size and capacity 0);
    // the borrowed flag is unchanged. Used after borrow.
    void detach();
    // Reverses the byte order of every complete 4-byte group; a trailing
    // group of 2 is swapped, of 3 has its first and third bytes swapped, a
    // single trailing byte stays.
    void byteSwap32();
    // moveFrom(*other) when other is given; clear() otherwise.
    void takeFrom(DataBuffer* other);

    // --- Appending and capacity ---

    // Appends n bytes from p; nothing if p is null or n is 0. When they do not
    // fit, reallocates to size + n + 20000 for n < 20000, else to size + n.
    void append(const void* p, uint32_t n);
    // Appends one byte; when full, reallocates to size + 20000.
    void appendChar(uint8_t b);
    // Appends n bytes; when they do not fit, reallocates to exactly size + n.
    void appendExact(const void* p, uint32_t n);
    // append(other's bytes) when other is not empty.
    void appendDb(const DataBuffer& other);
    // Appends the 16-bit units of s up to and including its 0 unit
    // (2 x count + 2 bytes, in host byte order); a null s appends two zeros.
    void appendUtf16z(const uint16_t* s);
    // If capacity < n, reallocates to exactly n.
    void ensureCapacity(uint32_t n);

    // --- Handing blocks over ---

    // Releases the current block, then points at p without owning it:
    // size = capacity = n. p must stay allocated while the buffer uses it.
    void borrow(void* p, uint32_t n);
    // Releases the current block, then owns p (from std::malloc):
    // size = capacity = n.
    void adopt(void* p, uint32_t n);
    // Releases the current block, takes other's block, size, capacity and
    // borrowed flag, and detaches other.
    void moveFrom(DataBuffer& other);

    // --- Block padding (ciphers) ---

    // Appends k = 16 - (size mod 16) bytes (1..16) of padding in the given
    // scheme; a size already a multiple of 16 receives a whole block.
    void padToBlock(int32_t scheme);
    // Removes padding after decryption, judged by the last byte v.
    // PadPkcs7: shrinks by v when 1 <= v <= 16, else nothing.
    // PadIso10126: shrinks by v (0..255). Other schemes: nothing.
    void unpadBlock(int32_t scheme);

    // --- Whole files ---

    // Replaces the content by the whole file (plus four zero bytes behind
    // it, not counted in size). An empty file gives an empty buffer with no
    // block. Returns false (with log entries) when the file cannot be opened,
    // sized or completely read.
    bool loadFileAnsi(const char* ansiPath, LogBase* log);
    // As loadFileAnsi, the path given as UTF-16 units (0-terminated).
    bool loadFileUtf16(const uint16_t* utf16Path, LogBase* log);
    // As loadFileAnsi, the path given in UTF-8: uses the ANSI open when the
    // name fits the ANSI code page, the wide open otherwise.
    bool loadFileUtf8(const char* utf8Path, LogBase* log);
    // (The three loads are defined in the file layer, io/DataBufferFile.cpp:
    // a program that uses them links that layer.)

private:
    void releaseBlock();
    void reallocateTo(uint64_t newCapacity);
    void appendRandomBytes(uint32_t count);
    bool readWholeFile(void* fileHandle, const char* ansiPathForLog, LogBase* log);
    // For the loads, after their guard check: frees the block (or drops a
    // borrowed view), and gives the content a fresh zero-filled block of
    // fileBytes plus the zero tail, fileBytes counted as the size.
    void resetForLoad();
    uint8_t* allocateZeroedForLoad(uint32_t fileBytes);
    // The guard check of every operation, as a function of the byte alone:
    // the loads run it before any member call, which on a destroyed object
    // would already touch what is no longer there.
    static void checkGuardByte(const uint8_t& guard);

    uint8_t m_guard;
    uint8_t m_borrowed;
    uint8_t* m_data;
    uint32_t m_size;
    uint32_t m_capacity;
};
