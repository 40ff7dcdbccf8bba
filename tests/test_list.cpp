// Lists: links in both directions, counts, and what happens when memory runs out.
#include <gtest/gtest.h>

#include <vector>

#include "internal.h"

namespace {

int values[8];
void *item(int i)
{
    return &values[i];
}

// Walks the list both ways and checks the invariants against `expected`.
void expect_list(List *list, const std::vector<void *> &expected)
{
    ASSERT_EQ(ListCount(list), static_cast<int32_t>(expected.size()));
    std::vector<void *> forward, backward;
    ListItem *previous = nullptr;
    for (ListItem *i = ListFirst(list); i; i = ListNext(i)) {
        EXPECT_EQ(ListPrior(i), previous);
        forward.push_back(ListData(i));
        previous = i;
    }
    EXPECT_EQ(ListLast(list), previous);
    for (ListItem *i = ListLast(list); i; i = ListPrior(i))
        backward.insert(backward.begin(), ListData(i));
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(backward, expected);
    if (list) {
        EXPECT_EQ(list->first == nullptr, list->last == nullptr);
    }
}

List *make_list(MemHandle *handle, std::initializer_list<int> members)
{
    List *list = nullptr;
    for (int m : members)
        list = ListAppend(item(m), list, handle);
    return list;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override { live_before = kv_test_live_blocks(); handle = kv_mem_alloc_handle(nullptr); }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        kv_mem_release_handle(handle);
        EXPECT_EQ(kv_test_live_blocks(), live_before);
    }
    MemHandle *handle = nullptr;
    long live_before = 0;
};

TEST_F(ListTest, FirstAppendCreatesTheHead)
{
    List *list = ListAppend(item(0), nullptr, handle);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(list->first, list->last);
    EXPECT_EQ(ListAppend(item(1), list, handle), list);
    expect_list(list, {item(0), item(1)});
}

TEST_F(ListTest, NullListReadsAsEmpty)
{
    EXPECT_EQ(ListCount(nullptr), 0);
    EXPECT_EQ(ListFirst(nullptr), nullptr);
    EXPECT_EQ(ListLast(nullptr), nullptr);
    EXPECT_EQ(ListDelete(nullptr, nullptr, handle), nullptr);
    int calls = 0;
    ListEnumerate(nullptr, [](void *, void *context, int) { ++*static_cast<int *>(context); }, &calls);
    EXPECT_EQ(calls, 0);
}

TEST_F(ListTest, DeleteKeepsLinksAndReturnsTheFollowingItem)
{
    struct Case {
        int position;                // item deleted: 0 first, 1 middle, 2 last
        int following;               // index of the item returned, -1 for null
        std::vector<int> remaining;
    };
    const Case cases[] = {{0, 1, {1, 2}}, {1, 2, {0, 2}}, {2, -1, {0, 1}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        List *list = make_list(handle, {0, 1, 2});
        ListItem *victim = ListFirst(list);
        for (int i = 0; i < c.position; i++)
            victim = ListNext(victim);
        long live = kv_test_live_blocks();
        ListItem *next = ListDelete(list, victim, handle);
        EXPECT_EQ(kv_test_live_blocks(), live - 1);
        EXPECT_EQ(next ? ListData(next) : nullptr, c.following < 0 ? nullptr : item(c.following));
        std::vector<void *> expected;
        for (int r : c.remaining)
            expected.push_back(item(r));
        expect_list(list, expected);
    }
}

TEST_F(ListTest, DeletingTheOnlyItemLeavesAnEmptyHeadThatTakesNewItems)
{
    List *list = make_list(handle, {0});
    EXPECT_EQ(ListDelete(list, ListFirst(list), handle), nullptr);
    expect_list(list, {});
    EXPECT_EQ(ListDelete(list, nullptr, handle), nullptr);
    EXPECT_EQ(ListAppend(item(3), list, handle), list);
    expect_list(list, {item(3)});
}

TEST_F(ListTest, DeletingWhileWalkingVisitsEveryItem)
{
    List *list = make_list(handle, {0, 1, 2, 3});
    for (ListItem *i = ListFirst(list); i;)
        i = ListData(i) == item(1) || ListData(i) == item(3) ? ListDelete(list, i, handle) : ListNext(i);
    expect_list(list, {item(0), item(2)});
}

TEST_F(ListTest, EnumerateFlagsTheLastItem)
{
    List *list = make_list(handle, {0, 1, 2});
    struct Seen {
        std::vector<void *> data;
        std::vector<int> flags;
    } seen;
    ListEnumerate(list, [](void *data, void *context, int last) {
        auto *s = static_cast<Seen *>(context);
        s->data.push_back(data);
        s->flags.push_back(last);
    }, &seen);
    EXPECT_EQ(seen.data, (std::vector<void *>{item(0), item(1), item(2)}));
    EXPECT_EQ(seen.flags, (std::vector<int>{0, 0, 1}));
}

TEST_F(ListTest, RewriteWithNullKeepsTheSlot)
{
    List *list = make_list(handle, {0, 1});
    ListRewrite(ListFirst(list), nullptr);
    expect_list(list, {nullptr, item(1)});
}

TEST_F(ListTest, MergeLinksBAfterA)
{
    List *a = make_list(handle, {0, 1});
    List *b = make_list(handle, {2, 3});
    EXPECT_EQ(ListMerge(a, b), a);
    expect_list(a, {item(0), item(1), item(2), item(3)});
}

TEST_F(ListTest, MergeWithAnEmptySideTakesTheOther)
{
    List *b = make_list(handle, {2});
    EXPECT_EQ(ListMerge(nullptr, nullptr), nullptr);
    EXPECT_EQ(ListMerge(nullptr, b), b);
    EXPECT_EQ(ListMerge(b, nullptr), b);

    List *empty = make_list(handle, {5});
    ListDelete(empty, ListFirst(empty), handle);
    EXPECT_EQ(ListMerge(b, empty), b);
    expect_list(b, {item(2)});
    EXPECT_EQ(ListMerge(empty, b), empty);
    expect_list(empty, {item(2)});
    EXPECT_EQ(ListAppend(item(4), empty, handle), empty);
    expect_list(empty, {item(2), item(4)});
}

TEST_F(ListTest, AppendWithoutMemoryChangesNothing)
{
    // Item and head are one system allocation each.
    for (long nth = 1; nth <= 2; nth++) {
        SCOPED_TRACE(nth);
        long live = kv_test_live_blocks();
        kv_test_fail_allocation(nth);
        EXPECT_EQ(ListAppend(item(0), nullptr, handle), nullptr);
        EXPECT_EQ(kv_test_live_blocks(), live);
    }
    List *list = make_list(handle, {0});
    for (long nth = 1; nth <= 1; nth++) {
        long live = kv_test_live_blocks();
        kv_test_fail_allocation(nth);
        EXPECT_EQ(ListAppend(item(1), list, handle), list);
        EXPECT_EQ(kv_test_live_blocks(), live);
        expect_list(list, {item(0)});
    }
    kv_test_fail_allocation(0);
}

TEST_F(ListTest, ReleasingTheHandleFreesHeadAndItems)
{
    MemHandle *child = kv_mem_alloc_handle(handle);
    long live = kv_test_live_blocks();
    make_list(child, {0, 1, 2});
    EXPECT_EQ(kv_test_live_blocks(), live + 4);
    kv_mem_release_handle(child);
    EXPECT_EQ(kv_test_live_blocks(), live);
}

} // namespace
