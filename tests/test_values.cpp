// Values: the three storage forms of NewValue, release with sharing, and the
// SQL type mapping.
#include <gtest/gtest.h>

#include <cstring>

#include "internal.h"

namespace {

class ValueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        live_at_start = kv_test_live_blocks();
        mem = kv_mem_alloc_handle(nullptr);
    }
    void TearDown() override
    {
        kv_mem_release_handle(mem);
        EXPECT_EQ(kv_test_live_blocks(), live_at_start);
    }
    long live_at_start = 0;
    MemHandle *mem = nullptr;
};

TEST_F(ValueTest, NewValueStorageForms)
{
    int cached166 = kv_test_cache_count(KV_NODE_VALUE_INLINE);
    struct {
        uint32_t size;
        int inline_data;
    } cases[] = {{0, 0}, {1, 1}, {127, 1}, {128, 1}, {5000, 1}};
    for (const auto &c : cases) {
        Value *v = NewValue(mem, c.size);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->kind, KV_NODE_VALUE);
        EXPECT_EQ(v->mem, mem);
        EXPECT_EQ(v->ref_count, 0);
        EXPECT_EQ(v->long_buffer, nullptr);
        EXPECT_EQ(v->inline_data, c.inline_data) << c.size;
        if (c.size == 0) {
            EXPECT_EQ(v->data.s, nullptr);
            continue;
        }
        EXPECT_EQ(v->data.s, reinterpret_cast<char *>(v + 1)) << "data follows the record in its block";
        std::memset(v->data.s, 'x', c.size); // ASan: the whole area is ours
    }
    // Values of 1..127 bytes come from slot 166; releasing them refills it.
    kv_mem_release_handle(mem);
    EXPECT_EQ(kv_test_cache_count(KV_NODE_VALUE_INLINE), std::min(cached166 + 2, KV_CACHE_LIMIT));
    mem = kv_mem_alloc_handle(nullptr);
}

TEST_F(ValueTest, RecycledRecordsCarryNoStalePointers)
{
    Value *first = NewValue(mem, 0);
    first->type = VT_LONG_STRING;
    first->long_buffer = reinterpret_cast<LongBuffer *>(0x1234);
    first->inline_data = 1;
    first->data.s = reinterpret_cast<char *>(0x5678);
    kv_mem_free(mem, first); // straight back to the cache, fields untouched
    Value *second = NewValue(mem, 0);
    ASSERT_EQ(second, first);
    EXPECT_EQ(second->long_buffer, nullptr);
    EXPECT_EQ(second->inline_data, 0);
    EXPECT_EQ(second->data.s, nullptr);
    second->type = VT_INTEGER;
    release_value(mem, second);
}

TEST_F(ValueTest, ReleaseFreesSeparateDataAndHonoursSharing)
{
    long live = kv_test_live_blocks();
    Value *v = NewValue(mem, 0);
    v->type = VT_STRING;
    v->indicator = 0;
    v->data.s = string_duplicate("separate", mem);
    v->length = 8;
    v->ref_count = 1; // one extra holder
    release_value(mem, v);
    EXPECT_EQ(v->ref_count, 0);
    EXPECT_EQ(kv_test_live_blocks(), live + 2);
    release_value(mem, v);
    EXPECT_EQ(kv_test_live_blocks(), live);

    Value *in_block = NewValue(mem, 300);
    in_block->type = VT_BINARY;
    release_value(mem, in_block);
    EXPECT_EQ(kv_test_live_blocks(), live) << "inline data goes with the record";

    release_value(mem, nullptr);
    release_value(mem, reinterpret_cast<Value *>(~std::uintptr_t{0}));
}

TEST_F(ValueTest, NewValueFailsCleanly)
{
    while (kv_test_cache_count(KV_NODE_VALUE_INLINE) > 0)
        NewValue(mem, 10);
    long live = kv_test_live_blocks();
    kv_test_fail_allocation(1);
    EXPECT_EQ(NewValue(mem, 10), nullptr);
    kv_test_fail_allocation(1);
    EXPECT_EQ(NewValue(mem, 1000), nullptr);
    kv_test_fail_allocation(0);
    EXPECT_EQ(NewValue(mem, UINT32_MAX), nullptr);
    EXPECT_EQ(kv_test_live_blocks(), live);
}

TEST(SqlToValueType, MapsEveryOdbcType)
{
    struct {
        int sql_type, value_type;
    } cases[] = {
        {SQL_BIT, 1}, {SQL_TINYINT, 1}, {SQL_INTEGER, 1}, {SQL_SMALLINT, 1}, {SQL_BIGINT, 12},
        {SQL_LONGVARBINARY, 30}, {SQL_VARBINARY, 5}, {SQL_BINARY, 5}, {SQL_LONGVARCHAR, 29},
        {SQL_CHAR, 3}, {SQL_VARCHAR, 3}, {SQL_NUMERIC, 10}, {SQL_DECIMAL, 10}, {SQL_FLOAT, 2},
        {SQL_REAL, 2}, {SQL_DOUBLE, 2}, {SQL_DATE, 7}, {SQL_TYPE_DATE, 7}, {SQL_TIME, 8},
        {SQL_TYPE_TIME, 8}, {SQL_TIMESTAMP, 9}, {SQL_TYPE_TIMESTAMP, 9}, {101, 13}, {102, 13},
        {107, 13}, {103, 14}, {104, 14}, {105, 14}, {106, 14}, {108, 14}, {113, 14},
        {SQL_WVARCHAR, -9999}, {SQL_WCHAR, -9999}, {SQL_WLONGVARCHAR, -9999}, {0, -9999}, {114, -9999},
        {100, -9999}, {SQL_GUID, -9999},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sql_to_value_type(c.sql_type), c.value_type) << c.sql_type;
}

} // namespace
