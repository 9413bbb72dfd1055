// DataBuffer: growth with its 20000-byte slack, borrowing and handing blocks
// over, block padding, word byte-swapping, whole-file loading, and the guard
// that stops the process on a destroyed buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/DataBuffer.h"
#include "core/LogBase.h"

namespace {

std::vector<uint8_t> contentOf(const DataBuffer& db) {
    const uint8_t* p = db.getData();
    return p ? std::vector<uint8_t>(p, p + db.getSize()) : std::vector<uint8_t>();
}

std::vector<uint8_t> sequence(uint32_t count) {
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i + 1);
    return bytes;
}

} // namespace

TEST(DataBufferTest, ConstructionStates) {
    DataBuffer empty;
    EXPECT_EQ(empty.getData(), nullptr);
    EXPECT_EQ(empty.getSize(), 0u);
    EXPECT_EQ(empty.getCapacity(), 0u);

    DataBuffer reserved(64);
    ASSERT_NE(reserved.getData(), nullptr);
    EXPECT_EQ(reserved.getSize(), 0u);
    EXPECT_EQ(reserved.getCapacity(), 64u);
    reserved.setSize(64);
    EXPECT_EQ(contentOf(reserved), std::vector<uint8_t>(64, 0));
}

// Each row: a buffer of the given capacity with `filled` bytes, then one
// growth operation appending `count` bytes.
TEST(DataBufferTest, GrowthTable) {
    enum class Op { Append, AppendChar, AppendExact, EnsureCapacity };
    struct Case {
        const char* label;
        uint32_t initialCapacity;
        uint32_t filled;
        Op op;
        uint32_t count;
        uint32_t size;
        uint32_t capacity;
    };
    const Case cases[] = {
        {"append 5 to empty", 0, 0, Op::Append, 5, 5, 20000},
        {"append 30000 to empty", 0, 0, Op::Append, 30000, 30000, 30000},
        {"append 20000 to empty", 0, 0, Op::Append, 20000, 20000, 20000},
        {"append that fits exactly", 10, 5, Op::Append, 5, 10, 10},
        {"append one beyond", 10, 5, Op::Append, 6, 11, 20005},
        {"append 19999 to empty", 0, 0, Op::Append, 19999, 19999, 20000},
        {"appendChar when full", 10, 10, Op::AppendChar, 1, 11, 20010},
        {"appendChar with room", 10, 9, Op::AppendChar, 1, 10, 10},
        {"appendExact grows exactly", 10, 10, Op::AppendExact, 7, 17, 17},
        {"ensureCapacity grows exactly", 10, 3, Op::EnsureCapacity, 2048576, 3, 2048576},
        {"ensureCapacity never shrinks", 100, 3, Op::EnsureCapacity, 50, 3, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DataBuffer db(c.initialCapacity);
        const std::vector<uint8_t> head = sequence(c.filled);
        if (c.filled > 0) {
            std::memcpy(db.getData(), head.data(), c.filled);
            db.setSize(c.filled);
        }
        const std::vector<uint8_t> tail(c.count, 0xEE);
        std::vector<uint8_t> expected = head;
        switch (c.op) {
        case Op::Append:
            db.append(tail.data(), c.count);
            expected.insert(expected.end(), tail.begin(), tail.end());
            break;
        case Op::AppendChar:
            db.appendChar(0xEE);
            expected.push_back(0xEE);
            break;
        case Op::AppendExact:
            db.appendExact(tail.data(), c.count);
            expected.insert(expected.end(), tail.begin(), tail.end());
            break;
        case Op::EnsureCapacity:
            db.ensureCapacity(c.count);
            break;
        }
        EXPECT_EQ(db.getSize(), c.size);
        EXPECT_EQ(db.getCapacity(), c.capacity);
        EXPECT_EQ(contentOf(db), expected);
    }
}

TEST(DataBufferTest, NullAndZeroAppendsDoNothing) {
    DataBuffer db;
    db.append(nullptr, 5);
    db.append("x", 0);
    db.appendExact(nullptr, 3);
    DataBuffer empty;
    db.appendDb(empty);
    EXPECT_EQ(db.getData(), nullptr);
    EXPECT_EQ(db.getCapacity(), 0u);
}

TEST(DataBufferTest, AppendUtf16zCountsTheTerminator) {
    const uint16_t ab[] = {'a', 'b', 0};
    DataBuffer db;
    db.appendUtf16z(ab);
    EXPECT_EQ(contentOf(db), (std::vector<uint8_t>{'a', 0, 'b', 0, 0, 0}));
    db.appendUtf16z(nullptr);
    EXPECT_EQ(db.getSize(), 8u);
    EXPECT_EQ(*db.byteAt(6), 0);
    EXPECT_EQ(*db.byteAt(7), 0);
}

TEST(DataBufferTest, IndexAndSizeAccessors) {
    DataBuffer empty;
    EXPECT_EQ(empty.byteAt(0), nullptr);

    DataBuffer db(16);
    db.append("abc", 3);
    EXPECT_EQ(db.byteAt(2), db.getData() + 2);
    EXPECT_EQ(db.byteAt(3), nullptr);
    EXPECT_EQ(db.byteAt(UINT32_MAX), nullptr);

    db.setSize(1000);
    EXPECT_EQ(db.getSize(), 16u);
    db.shrinkBy(10);
    EXPECT_EQ(db.getSize(), 6u);
    db.shrinkBy(100);
    EXPECT_EQ(db.getSize(), 0u);
    db.clear();
    EXPECT_EQ(db.getCapacity(), 16u);
}

TEST(DataBufferTest, BorrowedMemoryIsNeverFreed) {
    // Stack memory: freeing it would abort the process.
    uint8_t memory[100];
    std::memset(memory, 0x5A, sizeof memory);
    {
        DataBuffer db;
        db.borrow(memory, sizeof memory);
        EXPECT_TRUE(db.isBorrowed());
        EXPECT_EQ(db.getSize(), 100u);
        EXPECT_EQ(db.getCapacity(), 100u);
        EXPECT_EQ(db.getData(), memory);
    }
    {
        DataBuffer db;
        db.borrow(memory, sizeof memory);
        const uint8_t more[3] = {1, 2, 3};
        db.append(more, 3);
        EXPECT_FALSE(db.isBorrowed());
        EXPECT_NE(db.getData(), memory);
        EXPECT_EQ(db.getSize(), 103u);
        EXPECT_EQ(db.getCapacity(), 100u + 20000u);
        EXPECT_EQ(db.getData()[99], 0x5A);
        EXPECT_EQ(db.getData()[102], 3);
    }
    {
        DataBuffer db;
        db.borrow(memory, sizeof memory);
        db.detach();
        EXPECT_EQ(db.getData(), nullptr);
        EXPECT_EQ(db.getSize(), 0u);
        EXPECT_EQ(db.getCapacity(), 0u);
    }
    EXPECT_EQ(memory[0], 0x5A);
    EXPECT_EQ(memory[99], 0x5A);
}

TEST(DataBufferTest, MoveFromAndTakeFrom) {
    DataBuffer source;
    source.append("abc", 3);
    const uint8_t* block = source.getData();
    DataBuffer target;
    target.append("zz", 2);
    target.moveFrom(source);
    EXPECT_EQ(source.getData(), nullptr);
    EXPECT_EQ(source.getSize(), 0u);
    EXPECT_EQ(source.getCapacity(), 0u);
    EXPECT_EQ(target.getData(), block);
    EXPECT_EQ(target.getSize(), 3u);
    EXPECT_EQ(target.getCapacity(), 20000u);

    // A borrowed block moves with its flag: the new holder does not free it.
    uint8_t memory[8] = {};
    DataBuffer borrower;
    borrower.borrow(memory, sizeof memory);
    DataBuffer holder;
    holder.takeFrom(&borrower);
    EXPECT_TRUE(holder.isBorrowed());
    EXPECT_EQ(holder.getData(), memory);

    // Moving a buffer into itself keeps its content.
    holder.moveFrom(holder);
    EXPECT_EQ(holder.getData(), memory);

    target.takeFrom(nullptr);
    EXPECT_EQ(target.getSize(), 0u);
    EXPECT_EQ(target.getData(), block);
}

TEST(DataBufferTest, AdoptTakesOwnership) {
    void* block = std::malloc(32);
    std::memset(block, 7, 32);
    DataBuffer db;
    db.append("x", 1);
    db.adopt(block, 32);
    EXPECT_FALSE(db.isBorrowed());
    EXPECT_EQ(db.getData(), block);
    EXPECT_EQ(db.getSize(), 32u);
    EXPECT_EQ(db.getCapacity(), 32u);
    // The destructor frees it (a leak or double free shows under sanitizers).
}

TEST(DataBufferTest, SelfAppendSurvivesGrowth) {
    DataBuffer db;
    db.appendExact("abcd", 4); // full
    db.append(db.getData(), db.getSize());
    EXPECT_EQ(contentOf(db), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'}));
}

TEST(DataBufferTest, PadToBlockPkcs7) {
    struct Case {
        uint32_t size;
        uint32_t padLength;
    };
    const Case cases[] = {{0, 16}, {5, 11}, {15, 1}, {16, 16}, {17, 15}, {31, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        DataBuffer db;
        const std::vector<uint8_t> original = sequence(c.size);
        db.append(original.data(), c.size);
        db.padToBlock(DataBuffer::PadPkcs7);
        EXPECT_EQ(db.getSize(), c.size + c.padLength);
        EXPECT_EQ(db.getSize() % 16, 0u);
        for (uint32_t i = c.size; i < db.getSize(); ++i)
            EXPECT_EQ(db.getData()[i], c.padLength);
        db.unpadBlock(DataBuffer::PadPkcs7);
        EXPECT_EQ(contentOf(db), original);
    }
}

TEST(DataBufferTest, PadToBlockIso10126AndRandom) {
    struct Case {
        int32_t scheme;
        uint32_t size;
        uint32_t padLength;
    };
    const Case cases[] = {
        {DataBuffer::PadIso10126, 15, 1},
        {DataBuffer::PadIso10126, 5, 11},
        {DataBuffer::PadIso10126, 32, 16},
        {DataBuffer::PadRandom, 5, 11},
        {DataBuffer::PadRandom, 16, 16},
        {3, 5, 0},  // unknown scheme: nothing
        {-1, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.scheme) + "/" + std::to_string(c.size));
        DataBuffer db;
        const std::vector<uint8_t> original = sequence(c.size);
        db.append(original.data(), c.size);
        db.padToBlock(c.scheme);
        EXPECT_EQ(db.getSize(), c.size + c.padLength);
        EXPECT_EQ(0, std::memcmp(db.getData(), original.data(), c.size));
        if (c.scheme == DataBuffer::PadIso10126) {
            EXPECT_EQ(db.getData()[db.getSize() - 1], c.padLength);
            db.unpadBlock(DataBuffer::PadIso10126);
            EXPECT_EQ(contentOf(db), original);
        }
    }
}

TEST(DataBufferTest, UnpadBlock) {
    struct Case {
        const char* label;
        int32_t scheme;
        uint32_t size;
        uint8_t lastByte;
        uint32_t sizeAfter;
    };
    const Case cases[] = {
        {"pkcs7 last byte 0 removes nothing", DataBuffer::PadPkcs7, 32, 0, 32},
        {"pkcs7 last byte 17 removes nothing", DataBuffer::PadPkcs7, 32, 17, 32},
        {"pkcs7 last byte 16", DataBuffer::PadPkcs7, 32, 16, 16},
        {"pkcs7 last byte 1", DataBuffer::PadPkcs7, 32, 1, 31},
        {"pkcs7 value larger than size empties", DataBuffer::PadPkcs7, 8, 12, 0},
        {"iso10126 200 on 100 bytes empties", DataBuffer::PadIso10126, 100, 200, 0},
        {"iso10126 0 removes nothing", DataBuffer::PadIso10126, 100, 0, 100},
        {"random scheme removes nothing", DataBuffer::PadRandom, 32, 4, 32},
        {"unknown scheme removes nothing", 7, 32, 4, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DataBuffer db;
        std::vector<uint8_t> bytes(c.size, 0x11);
        bytes.back() = c.lastByte;
        db.append(bytes.data(), c.size);
        db.unpadBlock(c.scheme);
        EXPECT_EQ(db.getSize(), c.sizeAfter);
    }
    DataBuffer empty;
    empty.unpadBlock(DataBuffer::PadPkcs7);
    EXPECT_EQ(empty.getSize(), 0u);
}

TEST(DataBufferTest, ByteSwap32) {
    struct Case {
        std::vector<uint8_t> input;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5, 6, 7}, {4, 3, 2, 1, 7, 6, 5}},
        {{1, 2, 3, 4, 5, 6}, {4, 3, 2, 1, 6, 5}},
        {{1, 2, 3, 4, 5}, {4, 3, 2, 1, 5}},
        {{1, 2, 3, 4, 5, 6, 7, 8}, {4, 3, 2, 1, 8, 7, 6, 5}},
        {{9}, {9}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.size());
        DataBuffer db;
        db.append(c.input.data(), static_cast<uint32_t>(c.input.size()));
        db.byteSwap32();
        EXPECT_EQ(contentOf(db), c.expected);
    }
}

using DataBufferDeathTest = ::testing::Test;

namespace {

// Calls on a destroyed buffer on purpose: exempt from the sanitizer's
// dynamic-type check, which would otherwise report the call before the
// guard can stop the process.
enum class DeadCall { Append, AppendChar, PadToBlock, LoadFile, Destroy };

__attribute__((no_sanitize("undefined"))) void callDead(DataBuffer* db, DeadCall call) {
    switch (call) {
    case DeadCall::Append: db->append("x", 1); break;
    case DeadCall::AppendChar: db->appendChar(1); break;
    case DeadCall::PadToBlock: db->padToBlock(DataBuffer::PadPkcs7); break;
    case DeadCall::LoadFile: db->loadFileAnsi("x", nullptr); break;
    case DeadCall::Destroy: db->DataBuffer::~DataBuffer(); break; // a second destruction
    }
}

} // namespace

TEST_F(DataBufferDeathTest, DestroyedBufferStopsTheProcessSilently) {
    alignas(DataBuffer) unsigned char storage[sizeof(DataBuffer)];
    DataBuffer* db = new (storage) DataBuffer(8);
    db->~DataBuffer();
    for (DeadCall call : {DeadCall::Append, DeadCall::AppendChar, DeadCall::PadToBlock,
                          DeadCall::LoadFile, DeadCall::Destroy}) {
        SCOPED_TRACE(static_cast<int>(call));
        EXPECT_DEATH(callDead(db, call), "^$");
    }
}
