// Values: the three storage forms of NewValue, release with sharing, and the
// SQL type mapping.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

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

namespace {

// Values on the stack, the way a renderer meets them.
Value integer_value(int32_t i)
{
    Value v{};
    v.kind = KV_NODE_VALUE;
    v.type = VT_INTEGER;
    v.data.i = i;
    return v;
}

Value double_value(double d)
{
    Value v{};
    v.type = VT_DOUBLE;
    v.data.d = d;
    return v;
}

Value string_value(const char *s)
{
    Value v{};
    v.type = VT_STRING;
    v.data.s = const_cast<char *>(s);
    v.length = static_cast<int32_t>(std::strlen(s));
    return v;
}

Value binary_value(const unsigned char *bytes, int n)
{
    Value v{};
    v.type = VT_BINARY;
    v.data.b = const_cast<unsigned char *>(bytes);
    v.length = n;
    v.octet_length = n;
    return v;
}

Value timestamp_value(int y, int mo, int d, int h, int mi, int s, unsigned fraction = 0)
{
    Value v{};
    v.type = VT_TIMESTAMP;
    v.data.ts = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                     static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                     static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), fraction};
    return v;
}

Value interval_value(SQLINTERVAL type, bool negative, std::initializer_list<unsigned> fields, int lp, int fp,
                     unsigned fraction = 0)
{
    Value v{};
    v.type = type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH ? VT_INTERVAL_YM
                                                                                        : VT_INTERVAL_DS;
    v.leading_precision = lp;
    v.fraction_precision = fp;
    v.data.iv.interval_type = type;
    v.data.iv.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
    std::vector<unsigned> f(fields);
    if (v.type == VT_INTERVAL_YM) {
        v.data.iv.intval.year_month.year = f.size() > 0 ? f[0] : 0;
        v.data.iv.intval.year_month.month = f.size() > 1 ? f[1] : 0;
    } else {
        SQLUINTEGER *slots[] = {&v.data.iv.intval.day_second.day, &v.data.iv.intval.day_second.hour,
                                &v.data.iv.intval.day_second.minute, &v.data.iv.intval.day_second.second};
        for (std::size_t i = 0; i < f.size() && i < 4; i++)
            *slots[i] = f[i];
        v.data.iv.intval.day_second.fraction = fraction;
    }
    return v;
}

std::string text_of(const Value &v)
{
    char buffer[KV_VALUE_TEXT_SIZE];
    std::strcpy(buffer, "untouched");
    return value_as_text(&v, buffer);
}

TEST(ValueAsText, RendersEveryType)
{
    const unsigned char bytes[] = {0x0A, 0xFF};
    Value date{};
    date.type = VT_DATE;
    date.data.date = SQL_DATE_STRUCT{2004, 6, 16};
    Value time{};
    time.type = VT_TIME;
    time.data.time = SQL_TIME_STRUCT{13, 47, 5};
    Value null_literal{};
    null_literal.type = VT_NULL;
    Value big{};
    big.type = VT_BIGINT;
    big.data.big = -9223372036854775807LL - 1;
    Value bit = integer_value(1);
    bit.type = VT_BIT;
    Value untyped{};
    untyped.type = VT_USER;

    struct {
        const char *name;
        Value value;
        const char *text;
    } cases[] = {
        {"integer", integer_value(-2147483647 - 1), "-2147483648"},
        {"bit", bit, "1"},
        {"double 1.5", double_value(1.5), "1.5"},
        {"double 2.0", double_value(2.0), "2"},
        {"double 100.0", double_value(100.0), "100"},
        {"double 0.0", double_value(0.0), "0"},
        {"double -2.5", double_value(-2.5), "-2.5"},
        {"double 1e20", double_value(1e20), "100000000000000000000"},
        {"double 0.1234567", double_value(0.1234567), "0.123457"},
        {"string", string_value("O'Brien"), "'O''Brien'"},
        {"string it's", string_value("it's"), "'it''s'"},
        {"empty string", string_value(""), "''"},
        {"binary", binary_value(bytes, 2), "B'0AFF'"},
        {"date", date, "{d'2004-06-16'}"},
        {"time", time, "{t'13:47:05'}"},
        {"timestamp", timestamp_value(2004, 6, 16, 9, 5, 1, 500), "{ts'2004-06-16 09:05:01'}"},
        {"NULL literal", null_literal, " NULL "},
        {"bigint", big, "-9223372036854775808"},
        {"year-month interval", interval_value(SQL_IS_YEAR_TO_MONTH, true, {1, 6}, 4, 0),
         "{INTERVAL -'1-06' YEAR(4) TO MONTH}"},
        {"type without a text form", untyped, "untouched"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(text_of(c.value), c.text) << c.name;
}

TEST(ValueAsText, NullIsAConstantAndLeavesTheBufferAlone)
{
    Value v = integer_value(5);
    v.indicator = -1;
    char buffer[16] = "untouched";
    EXPECT_STREQ(value_as_text(&v, buffer), "NULL");
    EXPECT_STREQ(buffer, "untouched");
    char ex[16] = "untouched";
    EXPECT_STREQ(value_as_text_ex(&v, ex, "", "", "", "", "", "", "", "", 0), "NULL");
    EXPECT_STREQ(ex, "NULL");
}

TEST(ValueAsText, LongestDoubleFitsTheDocumentedSize)
{
    std::string text = text_of(double_value(-1.7976931348623157e308));
    EXPECT_EQ(text.size(), 310u);
    EXPECT_EQ(text.substr(0, 6), "-17976");
    EXPECT_LT(text.size(), static_cast<std::size_t>(KV_VALUE_TEXT_SIZE));
}

TEST(ValueAsTextEx, AffixesAndCompactTimestamps)
{
    const unsigned char bytes[] = {0x0A, 0xFF};
    Value date{};
    date.type = VT_DATE;
    date.data.date = SQL_DATE_STRUCT{-44, 3, 15};
    Value time{};
    time.type = VT_TIME;
    time.data.time = SQL_TIME_STRUCT{23, 59, 59};
    Value empty_binary = binary_value(bytes, 0);
    struct {
        const char *name;
        Value value;
        int compact;
        const char *text;
    } cases[] = {
        {"date", date, 0, "D<-044-03-15>"},
        {"time", time, 0, "T<23:59:59>"},
        {"timestamp", timestamp_value(2004, 6, 16, 13, 47, 50), 0, "S<2004-06-16 13:47:50>"},
        {"midnight, not compact", timestamp_value(2004, 6, 16, 0, 0, 0), 0, "S<2004-06-16 00:00:00>"},
        {"midnight, compact", timestamp_value(2004, 6, 16, 0, 0, 0), 1, "S<2004-06-16>"},
        {"time only, compact", timestamp_value(0, 0, 0, 13, 47, 50), 1, "S<13:47:50>"},
        {"all zero, compact", timestamp_value(0, 0, 0, 0, 0, 0, 999), 1, "NULL"},
        {"all zero, not compact", timestamp_value(0, 0, 0, 0, 0, 0), 0, "S<0000-00-00 00:00:00>"},
        {"binary", binary_value(bytes, 2), 0, "X'0AFF'"},
        {"empty binary", empty_binary, 0, "''"},
        {"string keeps its ODBC form", string_value("a'b"), 0, "'a''b'"},
        {"integer", integer_value(42), 1, "42"},
    };
    for (const auto &c : cases) {
        char buffer[KV_VALUE_TEXT_SIZE];
        EXPECT_STREQ(value_as_text_ex(&c.value, buffer, "D<", ">", "T<", ">", "S<", ">", "X'", "'", c.compact),
                     c.text)
            << c.name;
    }
    char buffer[64];
    EXPECT_STREQ(value_as_text_ex(&date, buffer, nullptr, nullptr, "", "", "", "", "", "", 0), "-044-03-15");
}

TEST(IntervalAsText, LiteralAndBareForms)
{
    struct {
        const char *name;
        Value value;
        const char *literal;
        const char *bare;
    } cases[] = {
        {"year to month", interval_value(SQL_IS_YEAR_TO_MONTH, true, {1, 6}, 4, 0),
         "INTERVAL -'1-06' YEAR(4) TO MONTH", "-1-06"},
        {"day to second", interval_value(SQL_IS_DAY_TO_SECOND, false, {1, 2, 3, 4}, 2, 6, 500000000),
         "INTERVAL '1 02:03:04.5' DAY TO SECOND", "1 02:03:04.5"},
        {"day to second fp 3", interval_value(SQL_IS_DAY_TO_SECOND, false, {1, 2, 3, 4}, 2, 3, 500000000),
         "INTERVAL '1 02:03:04.5' DAY TO SECOND(3)", "1 02:03:04.5"},
        {"second", interval_value(SQL_IS_SECOND, false, {0, 0, 0, 5}, 2, 6), "INTERVAL '5' SECOND", "5"},
        {"second lp 3", interval_value(SQL_IS_SECOND, false, {0, 0, 0, 5}, 3, 6), "INTERVAL '5' SECOND(3,6)",
         "5"},
        {"second with a billionth", interval_value(SQL_IS_SECOND, false, {0, 0, 0, 5}, 2, 9, 1),
         "INTERVAL '5.000000001' SECOND(2,9)", "5.000000001"},
        {"minute to second lp 0", interval_value(SQL_IS_MINUTE_TO_SECOND, false, {0, 0, 7, 30}, 0, 3),
         "INTERVAL '7:30' MINUTE TO SECOND", "7:30"},
        {"minute to second fp 3", interval_value(SQL_IS_MINUTE_TO_SECOND, false, {0, 0, 7, 30}, 2, 3, 250000000),
         "INTERVAL '7:30.25' MINUTE TO SECOND(3)", "7:30.25"},
        {"year", interval_value(SQL_IS_YEAR, false, {12}, 0, 0), "INTERVAL '12' YEAR", "12"},
        {"month lp 5", interval_value(SQL_IS_MONTH, true, {0, 7}, 5, 0), "INTERVAL -'7' MONTH(5)", "-7"},
        {"day", interval_value(SQL_IS_DAY, false, {3}, 2, 0), "INTERVAL '3' DAY", "3"},
        {"hour", interval_value(SQL_IS_HOUR, false, {0, 23}, 3, 0), "INTERVAL '23' HOUR(3)", "23"},
        {"minute", interval_value(SQL_IS_MINUTE, false, {0, 0, 59}, 2, 0), "INTERVAL '59' MINUTE", "59"},
        {"day to hour", interval_value(SQL_IS_DAY_TO_HOUR, false, {10, 5}, 3, 0),
         "INTERVAL '10 05' DAY(3) TO HOUR", "10 05"},
        {"day to minute", interval_value(SQL_IS_DAY_TO_MINUTE, false, {1, 2, 3}, 2, 0),
         "INTERVAL '1 02:03' DAY TO MINUTE", "1 02:03"},
        {"hour to minute", interval_value(SQL_IS_HOUR_TO_MINUTE, false, {0, 4, 5}, 2, 0),
         "INTERVAL '4:05' HOUR TO MINUTE", "4:05"},
        {"hour to second", interval_value(SQL_IS_HOUR_TO_SECOND, false, {0, 4, 5, 6}, 4, 0),
         "INTERVAL '4:05:06' HOUR(4) TO SECOND", "4:05:06"},
        {"largest fields", interval_value(SQL_IS_DAY_TO_SECOND, true, {4294967295u, 23, 59, 59}, 10, 9, 999999999),
         "INTERVAL -'4294967295 23:59:59.999999999' DAY(10) TO SECOND(9)", "-4294967295 23:59:59.999999999"},
    };
    for (const auto &c : cases) {
        char buffer[KV_VALUE_TEXT_SIZE];
        interval_as_text(&c.value, buffer, 1);
        EXPECT_STREQ(buffer, c.literal) << c.name;
        interval_as_text(&c.value, buffer, 0);
        EXPECT_STREQ(buffer, c.bare) << c.name;
    }
    Value unknown = interval_value(SQL_IS_YEAR, false, {1}, 2, 0);
    unknown.data.iv.interval_type = static_cast<SQLINTERVAL>(14);
    char buffer[64];
    interval_as_text(&unknown, buffer, 1);
    EXPECT_STREQ(buffer, "INTERVAL '");
}

} // namespace
