// BV_List: append order and links, newest-first walks, reuse after
// removeAll, and that items do not own their objects.

#include <gtest/gtest.h>

#include "core/BV_List.h"

namespace {

class Tracked : public ListObject {
public:
    explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
    ~Tracked() override { ++*destroyed_; }

private:
    int* destroyed_;
};

} // namespace

TEST(BV_ListTest, AppendLinksItemsAndWalksNewestFirst) {
    int destroyed = 0;
    Tracked a(&destroyed), b(&destroyed), c(&destroyed);
    BV_List list;
    list.appendObject(&a);
    list.appendObject(&b);
    list.appendItem(new BV_ListItem(&c));
    list.appendItem(nullptr);
    ASSERT_EQ(list.getCount(), 3);
    EXPECT_EQ(list.getFirst()->getObject(), &a);
    EXPECT_EQ(list.getFirst()->getPrevious(), nullptr);
    EXPECT_EQ(list.getLast()->getNext(), nullptr);

    const ListObject* expected[] = {&c, &b, &a};
    int index = 0;
    for (BV_ListItem* item = list.getLast(); item != nullptr; item = item->getPrevious())
        EXPECT_EQ(item->getObject(), expected[index++]);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list.getFirst()->getNext()->getNext(), list.getLast());

    list.removeAll();
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getFirst(), nullptr);
    EXPECT_EQ(list.getLast(), nullptr);
    EXPECT_EQ(destroyed, 0); // the objects are not the list's

    list.appendObject(&b);
    EXPECT_EQ(list.getFirst(), list.getLast());
}

TEST(BV_ListTest, SameObjectComparesObjectPointers) {
    int destroyed = 0;
    Tracked a(&destroyed), b(&destroyed);
    BV_ListItem first(&a), second(&a), other(&b);
    EXPECT_TRUE(first.sameObject(second));
    EXPECT_FALSE(first.sameObject(other));
}
