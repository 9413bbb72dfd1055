#pragma once
// StringBuffer: growable 8-bit string in one heap block that is always
// NUL-terminated, so its text can go straight to "A" Win32 functions.
//
// The content may hold NUL bytes (appendN, appendSb, appendDb copy them);
// getSize counts them, but every operation that treats the content as text
// (searching, setSb, trim) sees it only up to the first NUL.
//
// Guard byte: a live object holds 0xAA in its guard field. Every operation
// except getString, getSize, charAt and the capacity getters checks it first;
// a mismatch (the object was destroyed or overwritten) stops the process at
// once without a message.
//
// Growth: the block grows by reallocation with an increment (growBy) that
// starts at 200 and adapts to half the new capacity after each growth, capped
// at 500000 so a large string never reserves more than half a megabyte of
// slack at once.
//
// The appending operations may reallocate before copying: their source must
// not lie inside this string's own block. setString is the operation for text
// that may alias the block.

#include <cstdint>

#include "core/BrivaneObject.h"

class DataBuffer;

class StringBuffer : public BrivaneObject {
public:
    static constexpr uint8_t kGuardAlive = 0xAA;
    static constexpr int32_t kDefaultCapacityBytes = 200;
    static constexpr int32_t kInitialGrowByBytes = 200;
    static constexpr int32_t kNullStringCapacityBytes = 4;
    static constexpr int32_t kMaxGrowByBytes = 500000;

    // Empty string in a 200-byte block; growBy 200.
    StringBuffer();
    // Copy of s in a block of exactly strlen(s) + 1 bytes; a null s gives the
    // empty string in a 4-byte block. growBy 200.
    explicit StringBuffer(const char* s);
    // Clears the guard, frees the block and fills the fields with 0xDDDDDDDD
    // so that a later use of the dead object fails at once.
    ~StringBuffer() override;

    // Whole-object copies are not an operation of the class; copy content
    // with setString, setSb or appendSb.
    StringBuffer(const StringBuffer&) = delete;
    StringBuffer& operator=(const StringBuffer&) = delete;

    // --- Plain getters (no guard check) ---

    // The block; always NUL-terminated.
    const char* getString() const { return m_data; }
    // Content length in bytes (embedded NULs counted, terminator not).
    int32_t getSize() const { return m_length; }
    // Size of the heap block in bytes.
    int32_t getCapacity() const { return m_capacity; }
    // Current growth increment.
    int32_t getGrowBy() const { return m_growBy; }
    // Byte at index i when 0 <= i < length, else 0.
    char charAt(int32_t i) const;

    // --- Content changes ---

    // Empties the string; the block and capacity remain.
    void clear();
    // Empties the string and overwrites its whole block with zeros (stores
    // the compiler cannot drop), for secrets such as a typed password; the
    // block and capacity remain. clear() only rewrites the first byte.
    void wipe();
    // Appends the text s. Null: nothing. Empty: only rewrites the terminator.
    void append(const char* s);
    // Appends n bytes from p (NULs included). Nothing if p is null or n <= 0.
    void appendN(const void* p, int32_t n);
    // Appends value in decimal digits, without sign or leading zeros.
    void appendDecimal(uint32_t value);
    // Replaces the content by a copy of s; s may point into this string's own
    // block. Null s leaves the string empty.
    void setString(const char* s);
    // Appends all of other's content, embedded NULs included.
    void appendSb(const StringBuffer& other);
    // Appends the bytes of db.
    void appendDb(const DataBuffer& db);
    // Appends one byte.
    void appendChar(char c);
    // Replaces the content by other's text up to its first NUL.
    void setSb(const StringBuffer& other);
    // Removes min(n, length) bytes from the end, zeroing each.
    void shorten(int32_t n);
    // Replaces every byte equal to from (among the length bytes) by to.
    void replaceChar(char from, char to);
    // Replaces every non-overlapping occurrence of find by replacement
    // (case-sensitive). The search resumes directly after each occurrence in
    // the old text, so replacement text is never searched again. A null
    // replacement deletes the occurrences. Returns the number replaced; null
    // or empty find, or no occurrence: 0 and the string is unchanged.
    int32_t replaceAllOccurrences(const char* find, const char* replacement);
    // As replaceAllOccurrences, matching with ASCII-only case folding (a-z
    // against A-Z; bytes >= 0x80 compare unchanged).
    int32_t replaceAllNoCase(const char* find, const char* replacement);
    // Removes space, tab, CR and LF at both ends.
    void trim();
    // Appends the system's message text for a Win32 error code, then trims
    // the whole string (the message's trailing CR LF goes, and so does any
    // whitespace at the start of the string). An unknown code leaves the
    // string unchanged.
    void appendWindowsError(uint32_t errorCode);
    // appendWindowsError(GetLastError()).
    void appendLastWindowsError();
    // Converts the whole content from the given code page to the process's
    // ANSI code page and replaces the content with the converter's output
    // (whatever it produced, success or not).
    void convertToAnsi(int32_t codePage);
    // Reallocates to exactly length + 1 bytes when that saves more than 4.
    void minimizeMemory();
    // Makes sure n more bytes fit: if length + n >= capacity, reallocates to
    // length + n + growBy + 1 (growBy is not adapted).
    void expectNumBytes(int32_t n);
    // Makes sure a content of n bytes fits: if n >= capacity, reallocates to
    // exactly n + 1 bytes (the content is kept). For text whose size is
    // known, as the minimized forms of a name: growing by growBy and then
    // minimizing would make and drop a block for every name.
    void reserveExact(int32_t n);

    // --- Queries ---

    // s null: true when the string is empty. Otherwise true when the text
    // equals s with ASCII letters compared without regard to case.
    bool equalsIgnoreCase(const char* s) const;
    // True when c occurs in the text before its first NUL (0 finds the
    // terminator: true).
    bool containsChar(char c) const;
    // Last byte, or 0 when the string is empty.
    char lastChar() const;
    // True when s occurs in the text with ASCII-only case folding. Null or
    // empty s: false.
    bool containsSubstringNoCase(const char* s) const;

private:
    void reallocateTo(int64_t newCapacity);
    void adaptGrowBy();
    int32_t replaceAll(const char* find, const char* replacement, bool ignoreCase);

    uint8_t m_guard;
    char* m_data;
    int32_t m_capacity;
    int32_t m_length;
    int32_t m_growBy;
};
