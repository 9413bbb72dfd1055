// ExtPtrArray: capacity doubling from 5, bounds of getPtr, and that the
// array never deletes what it points to.

#include <gtest/gtest.h>

#include "core/ExtPtrArray.h"

TEST(ExtPtrArrayTest, CapacityDoublesFromFive) {
    ExtPtrArray array;
    EXPECT_EQ(array.getCapacity(), 0);
    int values[45];
    // Capacity after the n-th append (1-based).
    const struct {
        int appends;
        int capacity;
    } steps[] = {{1, 5}, {5, 5}, {6, 10}, {10, 10}, {11, 20}, {20, 20}, {21, 40}, {41, 80}};
    int appended = 0;
    for (const auto& step : steps) {
        while (appended < step.appends) {
            array.appendPtr(&values[appended]);
            ++appended;
        }
        SCOPED_TRACE(step.appends);
        EXPECT_EQ(array.getCount(), step.appends);
        EXPECT_EQ(array.getCapacity(), step.capacity);
    }
    for (int i = 0; i < appended; ++i)
        EXPECT_EQ(array.getPtr(i), &values[i]);
}

TEST(ExtPtrArrayTest, GetPtrOutOfRangeIsNull) {
    ExtPtrArray array;
    EXPECT_EQ(array.getPtr(0), nullptr);
    int value = 0;
    array.appendPtr(&value);
    array.appendPtr(nullptr);
    EXPECT_EQ(array.getPtr(-1), nullptr);
    EXPECT_EQ(array.getPtr(2), nullptr);
    EXPECT_EQ(array.getPtr(1), nullptr);
    EXPECT_EQ(array.getPtr(0), &value);
    EXPECT_EQ(array.getCount(), 2);
}

TEST(ExtPtrArrayTest, DestructionLeavesObjectsAlone) {
    // Stack objects: deleting any of them would abort the process.
    int values[7] = {1, 2, 3, 4, 5, 6, 7};
    {
        ExtPtrArray array;
        for (int& v : values)
            array.appendPtr(&v);
    }
    EXPECT_EQ(values[6], 7);
}
