#include "core/DataBuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/LogBase.h"
#include "core/ProcessStop.h"
#include "core/StringBuffer.h"
#include "core/XString.h"
#include "platform/win32.h"

namespace {

constexpr uint8_t kGuardDead = 0x00;

uint8_t* allocateBlock(uint64_t bytes) {
    if (bytes > UINT32_MAX) stopProcessAtOnce();  // a size that no longer fits the 32-bit fields
    uint8_t* block = static_cast<uint8_t*>(std::malloc(bytes == 0 ? 1 : bytes));
    if (block == nullptr) stopProcessAtOnce();
    return block;
}

// Every guarded operation starts here: a guard other than the live value
// means the object was destroyed or overwritten. A plain function of the
// byte (not a member call) so that the check itself touches nothing else of
// the object.
void checkGuard(const uint8_t& guard) {
    if (*static_cast<const volatile uint8_t*>(&guard) != DataBuffer::kGuardAlive) stopProcessAtOnce();
}

}  // namespace

DataBuffer::DataBuffer() : m_guard(kGuardAlive), m_borrowed(0), m_data(nullptr), m_size(0), m_capacity(0) {}

DataBuffer::DataBuffer(uint32_t capacity)
    : m_guard(kGuardAlive), m_borrowed(0), m_data(nullptr), m_size(0), m_capacity(0) {
    if (capacity == 0) return;
    m_data = allocateBlock(capacity);
    std::memset(m_data, 0, capacity);
    m_capacity = capacity;
}

DataBuffer::~DataBuffer() {
    checkGuard(m_guard);  // a second destruction would free the block twice
    // Volatile store: the compiler may otherwise drop a write to an object
    // whose lifetime is ending, and this write is what makes a later use of
    // the dead buffer fail.
    *static_cast<volatile uint8_t*>(&m_guard) = kGuardDead;
    releaseBlock();
}

// Frees the block when owned; afterwards there is no block.
void DataBuffer::releaseBlock() {
    if (m_data != nullptr && m_borrowed == 0) std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

// New owned block of newCapacity bytes holding the content. A borrowed block
// is left alone: the copy replaces it.
void DataBuffer::reallocateTo(uint64_t newCapacity) {
    uint8_t* block = allocateBlock(newCapacity);
    if (m_size != 0) std::memcpy(block, m_data, m_size);
    if (m_data != nullptr && m_borrowed == 0) std::free(m_data);
    m_data = block;
    m_capacity = static_cast<uint32_t>(newCapacity);
    m_borrowed = 0;
}

uint8_t* DataBuffer::byteAt(uint32_t i) { return (m_data != nullptr && i < m_size) ? m_data + i : nullptr; }

void DataBuffer::setSize(uint32_t n) { m_size = n < m_capacity ? n : m_capacity; }

void DataBuffer::shrinkBy(uint32_t n) { m_size -= n < m_size ? n : m_size; }

void DataBuffer::detach() {
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

void DataBuffer::byteSwap32() {
    uint8_t* p = m_data;
    uint32_t remaining = m_size;
    for (; remaining >= 4; remaining -= 4, p += 4) {
        uint8_t t = p[0];
        p[0] = p[3];
        p[3] = t;
        t = p[1];
        p[1] = p[2];
        p[2] = t;
    }
    // A partial last group is reversed as far as it goes.
    if (remaining >= 2) {
        const uint8_t t = p[0];
        p[0] = p[remaining - 1];
        p[remaining - 1] = t;
    }
}

void DataBuffer::takeFrom(DataBuffer* other) {
    if (other != nullptr)
        moveFrom(*other);
    else
        clear();
}

void DataBuffer::append(const void* p, uint32_t n) {
    checkGuard(m_guard);
    if (p == nullptr || n == 0) return;
    const uint64_t needed = static_cast<uint64_t>(m_size) + n;
    if (needed > m_capacity) {
        const uint8_t* bytes = static_cast<const uint8_t*>(p);
        if (m_data != nullptr && bytes >= m_data && bytes < m_data + m_capacity) {
            // The source lies in our own block, which the growth frees.
            DataBuffer copy;
            copy.appendExact(bytes, n);
            append(copy.getData(), n);
            return;
        }
        // The block grows to at least 20000 bytes beyond the current size:
        // an append of fewer than 20000 bytes leaves 20000 - n bytes of room
        // behind it, a larger one gets exactly its size.
        const uint32_t growth = n >= kGrowthSlackBytes ? n : kGrowthSlackBytes;
        uint64_t newCapacity = static_cast<uint64_t>(m_size) + growth;
        if (newCapacity > UINT32_MAX) newCapacity = needed;  // the slack no longer fits 32 bits
        reallocateTo(newCapacity);
    }
    std::memcpy(m_data + m_size, p, n);
    m_size += n;
}

void DataBuffer::appendChar(uint8_t b) {
    checkGuard(m_guard);
    if (m_capacity < static_cast<uint64_t>(m_size) + 1) {
        uint64_t newCapacity = static_cast<uint64_t>(m_size) + kGrowthSlackBytes;
        if (newCapacity > UINT32_MAX) newCapacity = static_cast<uint64_t>(m_size) + 1;
        reallocateTo(newCapacity);
    }
    m_data[m_size++] = b;
}

void DataBuffer::appendExact(const void* p, uint32_t n) {
    checkGuard(m_guard);
    if (p == nullptr || n == 0) return;
    const uint64_t needed = static_cast<uint64_t>(m_size) + n;
    if (needed > m_capacity) {
        const uint8_t* bytes = static_cast<const uint8_t*>(p);
        if (m_data != nullptr && bytes >= m_data && bytes < m_data + m_capacity) {
            DataBuffer copy;
            copy.appendExact(bytes, n);
            appendExact(copy.getData(), n);
            return;
        }
        reallocateTo(needed);
    }
    std::memcpy(m_data + m_size, p, n);
    m_size += n;
}

void DataBuffer::appendDb(const DataBuffer& other) {
    if (other.m_size != 0) append(other.m_data, other.m_size);
}

void DataBuffer::appendUtf16z(const uint16_t* s) {
    checkGuard(m_guard);
    static const uint16_t kTerminator = 0;
    if (s == nullptr) {
        append(&kTerminator, sizeof kTerminator);
        return;
    }
    uint64_t units = 0;
    while (s[units] != 0) ++units;
    const uint64_t bytes = (units + 1) * sizeof(uint16_t);
    if (bytes > UINT32_MAX) stopProcessAtOnce();
    append(s, static_cast<uint32_t>(bytes));
}

void DataBuffer::ensureCapacity(uint32_t n) {
    checkGuard(m_guard);
    if (m_capacity < n) reallocateTo(n);
}

void DataBuffer::borrow(void* p, uint32_t n) {
    checkGuard(m_guard);
    if (p != m_data) releaseBlock();
    m_data = static_cast<uint8_t*>(p);
    m_size = n;
    m_capacity = n;
    m_borrowed = 1;
}

void DataBuffer::adopt(void* p, uint32_t n) {
    checkGuard(m_guard);
    if (p != m_data) releaseBlock();
    m_data = static_cast<uint8_t*>(p);
    m_size = n;
    m_capacity = n;
    m_borrowed = 0;
}

void DataBuffer::moveFrom(DataBuffer& other) {
    checkGuard(m_guard);
    if (&other == this) return;  // releasing first would free the block being taken
    releaseBlock();
    m_data = other.m_data;
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    m_borrowed = other.m_borrowed;
    other.detach();
}

// Padding bytes for schemes 1 and 2 only hide the padding length; they carry
// no security requirement, so the runtime generator serves.
void DataBuffer::appendRandomBytes(uint32_t count) {
    uint8_t bytes[kPadBlockBytes];
    for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(std::rand() & 0xFF);
    appendExact(bytes, count);
}

void DataBuffer::padToBlock(int32_t scheme) {
    checkGuard(m_guard);
    // 1..16: a size already on a block boundary receives a whole block.
    const uint32_t padLength = kPadBlockBytes - (m_size % kPadBlockBytes);
    const uint8_t padValue = static_cast<uint8_t>(padLength);
    switch (scheme) {
        case PadPkcs7: {
            uint8_t bytes[kPadBlockBytes];
            std::memset(bytes, padValue, padLength);
            appendExact(bytes, padLength);
            break;
        }
        case PadIso10126:
            appendRandomBytes(padLength - 1);
            appendExact(&padValue, 1);
            break;
        case PadRandom: appendRandomBytes(padLength); break;
        default: break;
    }
}

void DataBuffer::unpadBlock(int32_t scheme) {
    checkGuard(m_guard);
    if (m_size == 0) return;
    const uint8_t lastValue = m_data[m_size - 1];
    switch (scheme) {
        case PadPkcs7:
            if (lastValue >= 1 && lastValue <= kPadBlockBytes) shrinkBy(lastValue);
            break;
        case PadIso10126: shrinkBy(lastValue); break;
        default: break;
    }
}

void DataBuffer::checkGuardByte(const uint8_t& guard) { checkGuard(guard); }

void DataBuffer::resetForLoad() {
    releaseBlock();
    m_borrowed = 0;
}

uint8_t* DataBuffer::allocateZeroedForLoad(uint32_t fileBytes) {
    const uint32_t blockBytes = fileBytes + kLoadedFileZeroTailBytes;
    m_data = allocateBlock(blockBytes);
    std::memset(m_data, 0, blockBytes);
    m_capacity = blockBytes;
    m_size = fileBytes;
    return m_data;
}
