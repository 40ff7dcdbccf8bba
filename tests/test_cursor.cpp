// Cursor names on real driver records: generation and its skips, lookups,
// removal and slot reuse across the statements of two connections, renaming,
// long names, the counter's wrap and running out of memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handle_fixture.h"

namespace {

class CursorTest : public HandleTest {
protected:
    void SetUp() override
    {
        HandleTest::SetUp();
        for (DriverConnection *c : {&first, &second}) {
            c->kind = KV_KIND_CONNECTION;
            c->mem = kv_mem_alloc_handle(mem);
        }
        for (int i = 0; i < 4; i++) {
            a[i] = statement_of(&first);
            b[i] = statement_of(&second);
        }
    }
    static DriverStatement statement_of(DriverConnection *connection)
    {
        DriverStatement s{};
        s.kind = KV_KIND_STATEMENT;
        s.connection = connection;
        return s;
    }
    // The statements in the connection's list, slot by slot (NULL: free).
    static std::vector<DriverStatement *> slots(const DriverConnection &c)
    {
        std::vector<DriverStatement *> held;
        for (ListItem *item = ListFirst(c.cursor_list); item; item = ListNext(item))
            held.push_back(static_cast<DriverStatement *>(ListData(item)));
        return held;
    }

    DriverConnection first{}, second{};
    DriverStatement a[4], b[4];
};

TEST_F(CursorTest, GeneratedNamesCountUpFromTheConnectionsCounter)
{
    ASSERT_EQ(generate_cursor_name(&a[0]), 0);
    ASSERT_EQ(generate_cursor_name(&a[1]), 0);
    EXPECT_STREQ(get_cursor_name(&a[0]), "SQL_CUR00000000");
    EXPECT_STREQ(get_cursor_name(&a[1]), "SQL_CUR00000001");
    EXPECT_EQ(get_cursor_name(&a[0]), a[0].cursor_name);
    EXPECT_EQ(first.cursor_counter, 2u);
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[0], &a[1]}));

    // Each connection has its own counter and list.
    ASSERT_EQ(generate_cursor_name(&b[0]), 0);
    EXPECT_STREQ(b[0].cursor_name, "SQL_CUR00000000");
    EXPECT_EQ(get_stmt_by_cursor(&a[2], "SQL_CUR00000000"), &a[0]);
    EXPECT_EQ(get_stmt_by_cursor(&b[1], "SQL_CUR00000000"), &b[0]);
    EXPECT_EQ(get_stmt_by_cursor(&b[1], "SQL_CUR00000001"), nullptr);
}

TEST_F(CursorTest, GenerationSkipsNamesInUse)
{
    generate_cursor_name(&a[0]);
    generate_cursor_name(&a[1]);
    ASSERT_EQ(insert_cursor_name(&a[2], "SQL_CUR00000002"), 0);
    ASSERT_EQ(generate_cursor_name(&a[3]), 0);
    EXPECT_STREQ(a[3].cursor_name, "SQL_CUR00000003");
    EXPECT_EQ(first.cursor_counter, 4u); // the value 2 was consumed
}

TEST_F(CursorTest, TheCounterWrapsAndGenerationStillEnds)
{
    first.cursor_counter = 0xFFFFFFFFu;
    generate_cursor_name(&a[0]);
    EXPECT_STREQ(a[0].cursor_name, "SQL_CURffffffff");
    EXPECT_EQ(first.cursor_counter, 0u);
    insert_cursor_name(&a[1], "SQL_CUR00000000");
    insert_cursor_name(&a[2], "SQL_CUR00000001");
    ASSERT_EQ(generate_cursor_name(&a[3]), 0);
    EXPECT_STREQ(a[3].cursor_name, "SQL_CUR00000002");
}

TEST_F(CursorTest, LookupsAreExact)
{
    EXPECT_EQ(get_stmt_by_cursor(&a[0], "orders"), nullptr); // no list yet
    EXPECT_EQ(first.cursor_list, nullptr);
    insert_cursor_name(&a[0], "orders");
    insert_cursor_name(&b[0], "Orders");
    struct Case {
        DriverStatement *asking;
        const char *name;
        DriverStatement *found;
    } cases[] = {
        {&a[1], "orders", &a[0]}, {&a[1], "ORDERS", nullptr}, {&a[1], "Orders", nullptr},
        {&b[1], "Orders", &b[0]}, {&a[1], "order", nullptr},  {&a[1], "orders ", nullptr},
        {&a[1], "", nullptr},     {&a[1], nullptr, nullptr},  {nullptr, "orders", nullptr},
    };
    for (const Case &c : cases)
        EXPECT_EQ(get_stmt_by_cursor(c.asking, c.name), c.found) << (c.name ? c.name : "(null)");
}

TEST_F(CursorTest, RemovedSlotsAreReusedAndTheListDoesNotGrow)
{
    insert_cursor_name(&a[0], "c1");
    insert_cursor_name(&a[1], "c2");
    remove_cursor_name(&a[3], "c1"); // asked through any statement of the connection
    EXPECT_STREQ(a[0].cursor_name, "");
    EXPECT_EQ(get_stmt_by_cursor(&a[3], "c1"), nullptr);
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{nullptr, &a[1]}));

    generate_cursor_name(&a[2]);
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[2], &a[1]}));
    EXPECT_EQ(get_stmt_by_cursor(&a[0], a[2].cursor_name), &a[2]);

    remove_cursor_name(&a[0], "no such cursor"); // nothing happens
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[2], &a[1]}));
    EXPECT_STREQ(a[1].cursor_name, "c2");
}

TEST_F(CursorTest, RenamingKeepsOneSlotSoRemovalLeavesNoDanglingPointer)
{
    insert_cursor_name(&a[0], "before");
    generate_cursor_name(&a[1]);
    insert_cursor_name(&a[0], "after"); // ODBC allows renaming a cursor
    generate_cursor_name(&a[0]);
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[0], &a[1]}));
    EXPECT_EQ(get_stmt_by_cursor(&a[1], "before"), nullptr);

    // Removing by the statement's own name, as a driver does when it frees
    // the statement: no slot may keep the record.
    remove_cursor_name(&a[0], get_cursor_name(&a[0]));
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{nullptr, &a[1]}));
}

TEST_F(CursorTest, NamesMustFitTheRecord)
{
    std::string longest(KV_CURSOR_NAME_SIZE - 1, 'n');
    ASSERT_EQ(insert_cursor_name(&a[0], longest.c_str()), 0);
    EXPECT_EQ(a[0].cursor_name, longest);

    std::string too_long(KV_CURSOR_NAME_SIZE, 'x');
    EXPECT_EQ(insert_cursor_name(&a[0], too_long.c_str()), -1);
    EXPECT_EQ(insert_cursor_name(&a[1], too_long.c_str()), -1);
    EXPECT_EQ(insert_cursor_name(&a[1], ""), -1);
    EXPECT_EQ(insert_cursor_name(&a[1], nullptr), -1);
    EXPECT_EQ(a[0].cursor_name, longest); // unchanged, and nothing written past it
    EXPECT_EQ(a[0].statement_time, 0);
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[0]}));

    DriverStatement orphan = statement_of(nullptr);
    EXPECT_EQ(insert_cursor_name(&orphan, "x"), -1);
    EXPECT_EQ(generate_cursor_name(&orphan), -1);
    EXPECT_EQ(generate_cursor_name(nullptr), -1);
    remove_cursor_name(nullptr, "x");
    EXPECT_EQ(get_cursor_name(nullptr), nullptr);
}

TEST_F(CursorTest, RunningOutOfMemoryLeavesNameAndListUnchanged)
{
    kv_test_fail_allocation(1);
    EXPECT_EQ(insert_cursor_name(&a[0], "c1"), -1);
    EXPECT_STREQ(a[0].cursor_name, "");
    EXPECT_EQ(first.cursor_list, nullptr);

    insert_cursor_name(&a[0], "c1");
    kv_test_fail_allocation(1);
    EXPECT_EQ(generate_cursor_name(&a[1]), -1);
    EXPECT_STREQ(a[1].cursor_name, "");
    EXPECT_EQ(slots(first), (std::vector<DriverStatement *>{&a[0]}));
}

} // namespace
