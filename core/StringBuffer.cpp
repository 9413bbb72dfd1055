#include "core/StringBuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/DataBuffer.h"
#include "core/EncodingConvert.h"
#include "core/ProcessStop.h"
#include "core/SecretWipe.h"
#include "platform/win32.h"

namespace {

constexpr uint8_t kGuardDead = 0x00;
// Written over the fields of a destroyed string so a later use fails at once.
constexpr uint32_t kDeadFill = 0xDDDDDDDDu;

// FormatMessageA language: neutral language, default sublanguage.
constexpr uint32_t kNeutralDefaultLanguageId = 0x400;

char* allocateBlock(int64_t bytes) {
    if (bytes <= 0 || bytes > INT32_MAX)
        stopProcessAtOnce();  // a length that no longer fits the 32-bit fields
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
    if (block == nullptr) stopProcessAtOnce();
    return block;
}

bool isTrimWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// ASCII-only folding: 'a'..'z' compare as 'A'..'Z'; every other byte,
// including those >= 0x80, compares unchanged.
char foldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

// Plain left-to-right scan for needle (non-empty) in NUL-terminated text.
const char* findText(const char* text, const char* needle, bool ignoreCase) {
    for (const char* start = text; *start != '\0'; ++start) {
        const char* t = start;
        const char* n = needle;
        while (*n != '\0' && *t != '\0' && (ignoreCase ? foldAscii(*t) == foldAscii(*n) : *t == *n)) {
            ++t;
            ++n;
        }
        if (*n == '\0') return start;
    }
    return nullptr;
}

// Every guarded operation starts here: a guard other than the live value
// means the object was destroyed or overwritten. A plain function of the
// byte (not a member call) so that the check itself touches nothing else of
// the object.
void checkGuard(const uint8_t& guard) {
    if (*static_cast<const volatile uint8_t*>(&guard) != StringBuffer::kGuardAlive) stopProcessAtOnce();
}

}  // namespace

StringBuffer::StringBuffer()
    : m_guard(kGuardAlive), m_data(allocateBlock(kDefaultCapacityBytes)), m_capacity(kDefaultCapacityBytes),
      m_length(0), m_growBy(kInitialGrowByBytes) {
    m_data[0] = '\0';
}

StringBuffer::StringBuffer(const char* s)
    : m_guard(kGuardAlive), m_data(nullptr), m_capacity(0), m_length(0), m_growBy(kInitialGrowByBytes) {
    if (s == nullptr) {
        m_data = allocateBlock(kNullStringCapacityBytes);
        m_capacity = kNullStringCapacityBytes;
        m_data[0] = '\0';
        return;
    }
    const int64_t n = static_cast<int64_t>(std::strlen(s));
    m_data = allocateBlock(n + 1);
    std::memcpy(m_data, s, static_cast<size_t>(n) + 1);
    m_capacity = static_cast<int32_t>(n + 1);
    m_length = static_cast<int32_t>(n);
}

StringBuffer::~StringBuffer() {
    checkGuard(m_guard);  // a second destruction would free the block twice
    // Volatile stores: the compiler may otherwise drop writes to an object
    // whose lifetime is ending, and these writes are what makes a later use
    // of the dead object fail.
    *static_cast<volatile uint8_t*>(&m_guard) = kGuardDead;
    std::free(m_data);
    *reinterpret_cast<char* volatile*>(&m_data) = reinterpret_cast<char*>(static_cast<uintptr_t>(kDeadFill));
    *static_cast<volatile int32_t*>(&m_capacity) = static_cast<int32_t>(kDeadFill);
    *static_cast<volatile int32_t*>(&m_length) = static_cast<int32_t>(kDeadFill);
    *static_cast<volatile int32_t*>(&m_growBy) = static_cast<int32_t>(kDeadFill);
}

// New block of newCapacity bytes holding the length content bytes; the
// caller rewrites the terminator after its append.
void StringBuffer::reallocateTo(int64_t newCapacity) {
    char* block = allocateBlock(newCapacity);
    std::memcpy(block, m_data, static_cast<size_t>(m_length));
    std::free(m_data);
    m_data = block;
    m_capacity = static_cast<int32_t>(newCapacity);
}

// After a growth the increment follows the string's size (half the new
// capacity), so long strings grow geometrically, capped at 500000.
void StringBuffer::adaptGrowBy() {
    if (m_growBy < m_capacity && m_growBy < kMaxGrowByBytes) {
        m_growBy = m_capacity / 2;
        if (m_growBy > kMaxGrowByBytes) m_growBy = kMaxGrowByBytes;
    }
}

char StringBuffer::charAt(int32_t i) const { return (i >= 0 && i < m_length) ? m_data[i] : '\0'; }

void StringBuffer::clear() {
    checkGuard(m_guard);
    m_data[0] = '\0';
    m_length = 0;
}

void StringBuffer::wipe() {
    checkGuard(m_guard);
    wipeSecretBytes(m_data, static_cast<size_t>(m_capacity));
    m_length = 0;
}

void StringBuffer::appendDecimal(uint32_t value) {
    // Digits are produced from the lowest; 10 hold any 32-bit value.
    char digits[10];
    int32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char text[11];
    for (int32_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    append(text);
}

void StringBuffer::append(const char* s) {
    checkGuard(m_guard);
    if (s == nullptr) return;
    const int64_t n = static_cast<int64_t>(std::strlen(s));
    if (n == 0) {
        m_data[m_length] = '\0';
        return;
    }
    // Growth rule 1.
    if (m_length + n >= m_capacity) {
        // Text inside our own block would be freed by the reallocation.
        if (s >= m_data && s < m_data + m_capacity) {
            StringBuffer copy(s);
            append(copy.getString());
            return;
        }
        const int64_t newCapacity = m_length + n + m_growBy + 1;
        reallocateTo(newCapacity);
        adaptGrowBy();
    }
    std::memcpy(m_data + m_length, s, static_cast<size_t>(n));
    m_length += static_cast<int32_t>(n);
    m_data[m_length] = '\0';
}

void StringBuffer::appendN(const void* p, int32_t n) {
    checkGuard(m_guard);
    if (p == nullptr || n <= 0) return;
    const char* bytes = static_cast<const char*>(p);
    // Growth rule 2.
    if (static_cast<int64_t>(m_length) + n >= m_capacity) {
        if (bytes >= m_data && bytes < m_data + m_capacity) {
            StringBuffer copy;
            copy.appendN(bytes, n);
            appendN(copy.m_data, n);
            return;
        }
        const int64_t newCapacity = static_cast<int64_t>(m_length) + n + m_growBy;
        reallocateTo(newCapacity);
        adaptGrowBy();
    }
    std::memcpy(m_data + m_length, bytes, static_cast<size_t>(n));
    m_length += n;
    m_data[m_length] = '\0';
}

void StringBuffer::appendChar(char c) {
    checkGuard(m_guard);
    // Growth rule 3.
    if (m_length + 1 >= m_capacity) {
        const int64_t newCapacity = static_cast<int64_t>(m_length) + m_growBy + 1;
        reallocateTo(newCapacity);
        adaptGrowBy();
    }
    m_data[m_length++] = c;
    m_data[m_length] = '\0';
}

void StringBuffer::setString(const char* s) {
    checkGuard(m_guard);
    StringBuffer copy(s);  // s may point into our own block
    clear();
    append(copy.getString());
}

void StringBuffer::appendSb(const StringBuffer& other) { appendN(other.m_data, other.m_length); }

void StringBuffer::appendDb(const DataBuffer& db) {
    if (db.getSize() > static_cast<uint32_t>(INT32_MAX)) stopProcessAtOnce();
    appendN(db.getData(), static_cast<int32_t>(db.getSize()));
}

void StringBuffer::setSb(const StringBuffer& other) {
    checkGuard(m_guard);
    if (&other == this) return;  // clearing first would lose the text being copied
    clear();
    append(other.m_data);
}

void StringBuffer::shorten(int32_t n) {
    checkGuard(m_guard);
    for (int32_t i = 0; i < n && m_length > 0; ++i) m_data[--m_length] = '\0';
}

void StringBuffer::replaceChar(char from, char to) {
    checkGuard(m_guard);
    for (int32_t i = 0; i < m_length; ++i) {
        if (m_data[i] == from) m_data[i] = to;
    }
}

int32_t StringBuffer::replaceAllOccurrences(const char* find, const char* replacement) {
    return replaceAll(find, replacement, false);
}

int32_t StringBuffer::replaceAllNoCase(const char* find, const char* replacement) {
    return replaceAll(find, replacement, true);
}

// Rebuilds the text in a fresh block from the pieces of the old one: the
// search always runs over the old text, so occurrences never overlap and
// replacement text is never searched again.
int32_t StringBuffer::replaceAll(const char* find, const char* replacement, bool ignoreCase) {
    checkGuard(m_guard);
    if (find == nullptr || find[0] == '\0') return 0;
    const char* occurrence = findText(m_data, find, ignoreCase);
    if (occurrence == nullptr) return 0;

    const int32_t findLength = static_cast<int32_t>(std::strlen(find));
    char* oldText = m_data;
    m_data = allocateBlock(m_growBy);
    m_capacity = m_growBy;
    m_length = 0;
    m_data[0] = '\0';

    int32_t count = 0;
    const char* rest = oldText;
    while (occurrence != nullptr) {
        appendN(rest, static_cast<int32_t>(occurrence - rest));
        append(replacement);
        ++count;
        rest = occurrence + findLength;
        if (*rest == '\0') break;
        occurrence = findText(rest, find, ignoreCase);
    }
    append(rest);
    std::free(oldText);
    return count;
}

void StringBuffer::trim() {
    checkGuard(m_guard);
    if (m_length == 0) return;

    int32_t lead = 0;
    while (isTrimWhitespace(m_data[lead])) ++lead;
    int32_t end = m_length;
    if (lead > 0) {
        // Shift the text up to and including its first NUL to the start.
        const size_t textLength = std::strlen(m_data + lead);
        std::memmove(m_data, m_data + lead, textLength + 1);
        end = static_cast<int32_t>(textLength);
    }

    int32_t last = end - 1;
    while (last >= 0 && isTrimWhitespace(m_data[last])) m_data[last--] = '\0';
    m_length = last + 1;
}

void StringBuffer::appendWindowsError(uint32_t errorCode) {
    checkGuard(m_guard);
    char* message = nullptr;
    const DWORD written = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        static_cast<DWORD>(errorCode), static_cast<DWORD>(kNeutralDefaultLanguageId),
        reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (message == nullptr) return;
    if (written != 0) {
        append(message);
        trim();
    }
    LocalFree(message);
}

void StringBuffer::appendLastWindowsError() {
    checkGuard(m_guard);
    appendWindowsError(static_cast<uint32_t>(GetLastError()));
}

void StringBuffer::convertToAnsi(int32_t codePage) {
    checkGuard(m_guard);
    DataBuffer converted;
    EncodingConvert converter;
    // The result flag is not examined: whatever the converter produced
    // becomes the content.
    converter.convert(static_cast<uint32_t>(codePage), static_cast<uint32_t>(GetACP()), m_data,
                      static_cast<uint32_t>(m_length), converted);
    clear();
    appendDb(converted);
}

void StringBuffer::minimizeMemory() {
    checkGuard(m_guard);
    if (static_cast<int64_t>(m_capacity) <= static_cast<int64_t>(m_length) + 4) return;
    char* block = allocateBlock(static_cast<int64_t>(m_length) + 1);
    std::memcpy(block, m_data, static_cast<size_t>(m_length) + 1);
    std::free(m_data);
    m_data = block;
    m_capacity = m_length + 1;
}

void StringBuffer::reserveExact(int32_t n) {
    checkGuard(m_guard);
    if (n < m_capacity) return;
    reallocateTo(static_cast<int64_t>(n) + 1);
    m_data[m_length] = '\0';
}

void StringBuffer::expectNumBytes(int32_t n) {
    checkGuard(m_guard);
    if (static_cast<int64_t>(m_length) + n < m_capacity) return;
    const int64_t newCapacity = static_cast<int64_t>(m_length) + n + m_growBy + 1;
    reallocateTo(newCapacity);
    m_data[m_length] = '\0';
}

bool StringBuffer::equalsIgnoreCase(const char* s) const {
    checkGuard(m_guard);
    if (s == nullptr) return m_length == 0;
    const char* t = m_data;
    while (*t != '\0' && foldAscii(*t) == foldAscii(*s)) {
        ++t;
        ++s;
    }
    return *t == '\0' && *s == '\0';
}

bool StringBuffer::containsChar(char c) const {
    checkGuard(m_guard);
    return std::strchr(m_data, c) != nullptr;
}

char StringBuffer::lastChar() const {
    checkGuard(m_guard);
    return m_length > 0 ? m_data[m_length - 1] : '\0';
}

bool StringBuffer::containsSubstringNoCase(const char* s) const {
    checkGuard(m_guard);
    if (s == nullptr || s[0] == '\0') return false;
    return findText(m_data, s, true) != nullptr;
}
