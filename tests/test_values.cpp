// Values: the three storage forms of NewValue, release with sharing, and the
// SQL type mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "host_locale.h"
#include "handle_fixture.h"

namespace {

using ValueTest = HandleTest;

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
        {"timestamp", timestamp_value(2004, 6, 16, 9, 5, 1), "{ts'2004-06-16 09:05:01'}"},
        // The fraction a literal or the server gave is kept.
        {"timestamp .5", timestamp_value(2004, 6, 16, 9, 5, 1, 500000000), "{ts'2004-06-16 09:05:01.5'}"},
        {"timestamp 500 ns", timestamp_value(2004, 6, 16, 9, 5, 1, 500), "{ts'2004-06-16 09:05:01.0000005'}"},
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
        {"timestamp with fraction", timestamp_value(2004, 6, 16, 13, 47, 50, 120000000), 0,
         "S<2004-06-16 13:47:50.12>"},
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

namespace {

Value bigint_value(int64_t big)
{
    Value v{};
    v.type = VT_BIGINT;
    v.data.big = big;
    return v;
}

Value numeric_value(const char *text)
{
    Value v{};
    v.type = VT_NUMERIC;
    char copy[64];
    std::snprintf(copy, sizeof copy, "%s", text);
    string_to_numeric(copy, &v.data.num, 38, 0);
    v.precision = v.data.num.precision;
    v.scale = v.data.num.scale;
    return v;
}

Value null_of(Value v)
{
    v.indicator = -1;
    return v;
}

TEST(ValueReaders, EachTypeThroughEachReader)
{
    struct {
        const char *name;
        Value value;
        int32_t as_int;
        int64_t as_bigint;
        double as_double;
        const char *as_string;
    } cases[] = {
        {"integer", integer_value(-7), -7, -7, -7.0, ""},
        {"double", double_value(-2.75), -2, -2, -2.75, ""},
        {"double beyond int", double_value(1e12), INT32_MAX, 1000000000000LL, 1e12, ""},
        {"string 42abc", string_value("42abc"), 42, 42, 42.0, "42abc"},
        {"string 2.5e3", string_value(" 2.5e3"), 2, 2, 2500.0, " 2.5e3"},
        {"string 1.5", string_value("1.5"), 1, 1, 1.5, "1.5"},
        {"string beyond int64", string_value("-99999999999999999999"), INT32_MIN, INT64_MIN, -1e20,
         "-99999999999999999999"},
        {"string 1e400", string_value("1e400"), 1, 1, HUGE_VAL, "1e400"},
        {"numeric 12.75", numeric_value("12.75"), 12, 12, 12.75, ""},
        {"bigint 4294967297", bigint_value(4294967297LL), 1, 4294967297LL, 4294967297.0, ""},
        {"null integer", null_of(integer_value(5)), 0, 0, 0.0, ""},
        {"null string", null_of(string_value("9")), 0, 0, 0.0, ""},
        {"date", Value{0, VT_DATE, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, 0, nullptr, 0, {}}, 0, 0, 0.0, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(get_int_from_value(&c.value), c.as_int) << c.name;
        EXPECT_EQ(get_bigint_from_value(&c.value), c.as_bigint) << c.name;
        EXPECT_DOUBLE_EQ(get_double_from_value(&c.value), c.as_double) << c.name;
        EXPECT_STREQ(get_string_from_value(&c.value), c.as_string) << c.name;
    }
}

TEST(ValueReaders, SetValueToDoubleKeepsTheType)
{
    Value i = integer_value(0), d = double_value(0), b = bigint_value(0), n = numeric_value("0.00");
    Value s = string_value("keep");
    for (Value *v : {&i, &d, &b, &n, &s})
        set_value_to_double(v, -12.5);
    EXPECT_EQ(i.type, VT_INTEGER);
    EXPECT_EQ(i.data.i, -12);
    EXPECT_EQ(d.data.d, -12.5);
    EXPECT_EQ(b.data.big, -12);
    EXPECT_EQ(n.type, VT_NUMERIC);
    EXPECT_EQ(get_double_from_value(&n), -12.5);
    EXPECT_STREQ(s.data.s, "keep");
}

TEST(ValueTruth, ThreeValuedLogic)
{
    Value v = integer_value(-5);
    EXPECT_EQ(get_trivalue_from_value(&v), 1);
    v.data.i = 0;
    EXPECT_EQ(get_trivalue_from_value(&v), 0);
    v.indicator = -1;
    EXPECT_EQ(get_trivalue_from_value(&v), 2);
    Value t = string_value("x");
    for (int truth : {0, 1, 2, 7}) {
        set_trivalue_in_value(&t, truth);
        EXPECT_EQ(t.type, VT_INTEGER);
        EXPECT_EQ(get_trivalue_from_value(&t), truth == 7 ? 0 : truth) << truth;
    }
}

TEST(ValueIntervals, MagnitudeInTheSmallestField)
{
    struct {
        Value value;
        uint32_t magnitude, fraction;
    } cases[] = {
        {interval_value(SQL_IS_DAY_TO_SECOND, true, {1, 2, 3, 4}, 2, 6, 500000000), 93784, 500000000},
        {interval_value(SQL_IS_YEAR_TO_MONTH, false, {2, 3}, 2, 0), 27, 0},
        {interval_value(SQL_IS_YEAR, false, {5}, 2, 0), 5, 0},
        {interval_value(SQL_IS_MONTH, false, {0, 7}, 2, 0), 7, 0},
        {interval_value(SQL_IS_DAY_TO_HOUR, false, {2, 3}, 2, 0), 51, 0},
        {interval_value(SQL_IS_DAY_TO_MINUTE, false, {1, 1, 1}, 2, 0), 1501, 0},
        {interval_value(SQL_IS_HOUR_TO_MINUTE, false, {0, 2, 5}, 2, 0), 125, 0},
        {interval_value(SQL_IS_HOUR_TO_SECOND, false, {0, 1, 0, 1}, 2, 6, 7), 3601, 7},
        {interval_value(SQL_IS_MINUTE_TO_SECOND, false, {0, 0, 2, 5}, 2, 6, 9), 125, 9},
        {interval_value(SQL_IS_SECOND, false, {0, 0, 0, 59}, 2, 6, 1), 59, 1},
    };
    for (const auto &c : cases) {
        uint32_t fraction = 12345;
        EXPECT_EQ(get_long_from_interval(&c.value, &fraction), c.magnitude);
        EXPECT_EQ(fraction, c.fraction);
        EXPECT_EQ(get_long_from_interval(&c.value, nullptr), c.magnitude);
    }
    Value copy{};
    Value source = cases[0].value;
    set_value_to_interval(&copy, &source);
    EXPECT_EQ(std::memcmp(&copy, &source, sizeof copy), 0);
}

TEST(ValueBuffers, BufferLengthOfEveryCType)
{
    struct {
        int c_type, bytes;
    } cases[] = {
        {-28, 1}, {-26, 1}, {-7, 1}, {-6, 1}, {-17, 2}, {-15, 2}, {5, 2}, {-18, 4}, {-16, 4}, {4, 4}, {7, 4},
        {-27, 8}, {-25, 8}, {-5, 8}, {6, 8}, {8, 8}, {9, 6}, {10, 6}, {91, 6}, {92, 6}, {11, 16}, {93, 16},
        {2, 19}, {3, 19}, {101, 28}, {107, 28}, {113, 28}, {-3, 77}, {-2, 77}, {1, 77}, {12, 77}, {99, 77},
        {-4, 0}, {-1, 0}, {0, 0}, {100, 0}, {114, 0}, {-8, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(get_buffer_length(77, c.c_type), c.bytes) << c.c_type;
}

TEST(ValueNodes, ExtractSelectReadsTheFromList)
{
    NodeQuerySpec query{NODE_QUERY_SPEC, 0, 0, nullptr, reinterpret_cast<NodeList *>(0xF00), nullptr};
    NodeQualifiedJoin join{NODE_QUALIFIED_JOIN, nullptr, 0, 0, 0, nullptr, nullptr,
                           reinterpret_cast<NodeList *>(0xBAD), reinterpret_cast<Node *>(&query)};
    EXPECT_EQ(extract_select(&query), reinterpret_cast<void *>(0xF00));
    EXPECT_EQ(extract_select(&join), reinterpret_cast<void *>(0xF00));
    EXPECT_EQ(extract_select(nullptr), nullptr);
}

TEST_F(ValueTest, DuplicatesCopyOrShare)
{
    long live = kv_test_live_blocks();
    std::string long_text(200, 'q');
    Value *source = NewValue(mem, 201);
    source->type = VT_STRING;
    source->indicator = 0;
    std::memcpy(source->data.s, long_text.c_str(), 201);
    source->length = 200;
    source->no_share = 1;

    Value *copy = duplicate_value(mem, source);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->data.s, reinterpret_cast<char *>(copy + 1)) << "one block: record and text";
    EXPECT_EQ(std::string(copy->data.s), long_text);
    EXPECT_EQ(copy->no_share, 0);
    EXPECT_EQ(copy->mem, mem);
    EXPECT_EQ(kv_test_live_blocks(), live + 2);
    release_value(mem, copy);
    EXPECT_EQ(kv_test_live_blocks(), live + 1) << "the copy was a single block";

    EXPECT_NE(duplicate_value_ex(mem, source), source) << "no_share forces a copy";
    source->no_share = 0;
    EXPECT_EQ(duplicate_value_ex(mem, source), source);
    EXPECT_EQ(source->ref_count, 1);
    MemHandle *other = kv_mem_alloc_handle(mem);
    Value *elsewhere = duplicate_value_ex(other, source);
    EXPECT_NE(elsewhere, source);
    EXPECT_EQ(elsewhere->mem, other);
    release_value(mem, source);
    EXPECT_EQ(source->ref_count, 0);

    Value *null_copy = duplicate_value(mem, nullptr);
    EXPECT_EQ(null_copy->indicator, -1);
    EXPECT_EQ(null_copy->data.s, nullptr);

    Value number = integer_value(9);
    Value *number_copy = duplicate_value(mem, &number);
    EXPECT_EQ(number_copy->data.i, 9);
    EXPECT_EQ(number_copy->inline_data, 0);
}

int sign(int x)
{
    return x < 0 ? -1 : (x > 0 ? 1 : 0);
}

TEST(CompareValues, SqlOrdering)
{
    const unsigned char b12[] = {1, 2}, b120[] = {1, 2, 0}, b13[] = {1, 3};
    Value date_a{}, date_b{};
    date_a.type = date_b.type = VT_DATE;
    date_a.data.date = SQL_DATE_STRUCT{2004, 6, 16};
    date_b.data.date = SQL_DATE_STRUCT{2004, 6, 17};
    Value nan = double_value(std::nan(""));
    Value negative_zero = numeric_value("0");
    negative_zero.data.num.sign = 0; // as a driver might build it
    struct {
        const char *name;
        Value a, b;
        int expected;
    } cases[] = {
        {"null null", null_of(integer_value(1)), null_of(string_value("x")), 0},
        {"null 5", null_of(integer_value(1)), integer_value(5), -1},
        {"5 null", integer_value(5), null_of(integer_value(1)), 1},
        {"abc abc  ", string_value("abc"), string_value("abc  "), 0},
        {"abc  abc", string_value("abc  "), string_value("abc"), 0},
        {"abc abd", string_value("abc"), string_value("abd"), -1},
        {"b abc", string_value("b"), string_value("abc"), 1},
        {"ab\\t ab", string_value("ab\t"), string_value("ab"), -1},
        {"abc vs integer 5", string_value("abc"), integer_value(5), 1},
        {"'5' vs integer 5", string_value("5"), integer_value(5), 0},
        {"'{d...' vs a date", string_value("{d'2004-06-16'}"), date_a, 0},
        {"integer 5 vs '5'", integer_value(5), string_value("5"), 0},
        {"int min vs 1", integer_value(-2147483647 - 1), integer_value(1), -1},
        {"bigint 2^32 vs 1", bigint_value(4294967296LL), bigint_value(1), 1},
        {"numeric 1.50 vs 1.5", numeric_value("1.50"), numeric_value("1.5"), 0},
        {"numeric 1.5 vs double 1.5", numeric_value("1.5"), double_value(1.5), 0},
        {"numeric 2 vs double 1.5", numeric_value("2"), double_value(1.5), 1},
        {"double 1.5 vs '1.5'", double_value(1.5), string_value("1.5"), 0},
        {"numeric 0 vs -0", numeric_value("0"), numeric_value("-0"), 0},
        {"numeric -0 vs 0", negative_zero, numeric_value("0"), 0},
        {"numeric 0 vs double -0.0", numeric_value("0"), double_value(-0.0), 0},
        {"double vs NaN", double_value(1), nan, 0},
        {"NaN vs double", nan, double_value(1), 0},
        {"binary 0102 vs 010200", binary_value(b12, 2), binary_value(b120, 3), 0},
        {"binary 0102 vs 0103", binary_value(b12, 2), binary_value(b13, 2), -1},
        {"binary 0103 vs 010200", binary_value(b13, 2), binary_value(b120, 3), 1},
        {"date", date_a, date_b, -1},
        {"interval", interval_value(SQL_IS_DAY, true, {1}, 2, 0), interval_value(SQL_IS_HOUR, false, {0, 1}, 2, 0),
         -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sign(compare_values(&c.a, &c.b)), c.expected) << c.name;
}

TEST(CompareValues, LongTextsAndRenderingsHaveNoLengthLimit)
{
    std::string a = std::string(3000, 'x') + std::string(2000, ' '), b(3000, 'x');
    Value long_a = string_value(a.c_str()), long_b = string_value(b.c_str());
    EXPECT_EQ(compare_values(&long_a, &long_b), 0) << "blank padding, whatever the length";
    b.back() = 'y';
    long_b = string_value(b.c_str());
    EXPECT_LT(compare_values(&long_a, &long_b), 0);

    std::vector<unsigned char> bytes(2000, 0xAB);
    Value binary = binary_value(bytes.data(), 2000);
    std::string rendering = "B'" + std::string(4000, 'A') + "'";
    for (std::size_t i = 3; i < rendering.size() - 1; i += 2)
        rendering[i] = 'B';
    Value text = string_value(rendering.c_str());
    EXPECT_EQ(compare_values(&text, &binary), 0);
    std::vector<unsigned char> longer(3000, 0xAB);
    Value binary_longer = binary_value(longer.data(), 3000);
    EXPECT_LT(compare_values(&binary, &binary_longer), 0);
}

TEST(FlatValues, EveryFlatTypeRoundTrips)
{
    const unsigned char bytes[] = {0, 1, 2, 0xFE};
    Value date{};
    date.type = VT_DATE;
    date.data.date = SQL_DATE_STRUCT{1752, 9, 14};
    Value time{};
    time.type = VT_TIME;
    time.data.time = SQL_TIME_STRUCT{23, 1, 2};
    Value bit = integer_value(1);
    bit.type = VT_BIT;
    Value values[] = {
        integer_value(-3), bit, double_value(-0.125), bigint_value(-1234567890123LL), string_value("row text"),
        binary_value(bytes, 4), date, time, timestamp_value(2026, 12, 11, 6, 30, 0, 123456789),
        numeric_value("-12345678901234567890.123"),
        interval_value(SQL_IS_YEAR_TO_MONTH, true, {3, 4}, 2, 0),
        interval_value(SQL_IS_DAY_TO_SECOND, false, {1, 2, 3, 4}, 2, 6, 5),
    };
    int sizes[] = {4, 4, 8, 8, 8, 4, 6, 6, 16, 19, 28, 28};
    for (std::size_t i = 0; i < std::size(values); i++) {
        const Value &v = values[i];
        SCOPED_TRACE("type " + std::to_string(v.type));
        alignas(8) unsigned char storage[KV_FLAT_HEADER_SIZE + 64 + 1];
        auto *record = reinterpret_cast<FlatValue *>(storage + 1); // flat records need no alignment
        value_to_dm(record, &v);
        FlatValue header;
        std::memcpy(&header, record, sizeof header);
        EXPECT_EQ(header.length, sizes[i]);
        EXPECT_EQ(header.type, v.type);
        EXPECT_EQ(header.octet_length, v.type == VT_BINARY ? 4 : 0);
        EXPECT_EQ(get_length_from_dm(record, &v), sizes[i]);
        EXPECT_EQ(compare_dm(record, record), 0);

        char area[64];
        Value back{};
        back.type = v.type;
        back.indicator = -1;
        back.no_share = 1;
        if (v.type == VT_STRING || v.type == VT_BINARY)
            back.data.s = area;
        dm_to_value(record, &back);
        EXPECT_EQ(back.indicator, 0);
        EXPECT_EQ(back.no_share, 0);
        EXPECT_EQ(compare_values(&back, &v), 0);
        if (v.type == VT_STRING) {
            EXPECT_STREQ(back.data.s, "row text");
        }
        if (v.type == VT_BINARY) {
            EXPECT_EQ(back.octet_length, 4);
        }
    }
}

TEST(FlatValues, NullsAndOrdering)
{
    unsigned char a[KV_FLAT_HEADER_SIZE + 8], b[KV_FLAT_HEADER_SIZE + 8];
    auto *fa = reinterpret_cast<FlatValue *>(a), *fb = reinterpret_cast<FlatValue *>(b);
    Value three = integer_value(3), seven = integer_value(7);
    value_to_dm(fa, &three);
    value_to_dm(fb, &seven);
    EXPECT_EQ(compare_dm(fa, fb), -1);
    EXPECT_EQ(compare_dm(fb, fa), 1);
    Value null_value = null_of(integer_value(3));
    value_to_dm(fb, &null_value);
    EXPECT_EQ(fb->length, -1);
    EXPECT_EQ(compare_dm(fa, fb), 1);
    EXPECT_EQ(compare_dm(fb, fa), -1);
    EXPECT_EQ(compare_dm(fb, fb), 0);
    Value target = integer_value(99);
    dm_to_value(fb, &target);
    EXPECT_EQ(target.indicator, -1);
    EXPECT_EQ(target.data.i, 99) << "a NULL record touches nothing else";
    EXPECT_EQ(get_length_from_dm(fb, &target), 0);
}

TEST(FlatValues, DmLengthOfEverySqlType)
{
    struct {
        int sql_type, bytes;
    } cases[] = {
        {SQL_BIT, 4}, {SQL_TINYINT, 4}, {SQL_SMALLINT, 4}, {SQL_INTEGER, 4}, {SQL_BIGINT, 8}, {SQL_FLOAT, 8},
        {SQL_REAL, 8}, {SQL_DOUBLE, 8}, {SQL_NUMERIC, 19}, {SQL_DECIMAL, 19}, {SQL_DATE, 6}, {SQL_TIME, 6},
        {SQL_TYPE_DATE, 6}, {SQL_TYPE_TIME, 6}, {SQL_TIMESTAMP, 16}, {SQL_TYPE_TIMESTAMP, 16}, {101, 28},
        {113, 28}, {SQL_CHAR, 31}, {SQL_VARCHAR, 31}, {SQL_BINARY, 31}, {SQL_VARBINARY, 31},
        {SQL_LONGVARCHAR, 0}, {SQL_LONGVARBINARY, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(get_dm_length(c.sql_type, 31), c.bytes) << c.sql_type;
}

} // namespace

namespace {

// Row-buffer slots hold whatever the previous row left after a shorter datum:
// flat comparisons read each record's own length and pad, never the leftovers.
TEST(FlatValues, ShorterDataIsPaddedNotReadPast)
{
    struct Slot {
        unsigned char bytes[KV_FLAT_HEADER_SIZE + 8];
    } a, b;
    std::memset(&a, 'c', sizeof a);
    std::memset(&b, 'c', sizeof b);
    Value abc = string_value("abc"), ab = string_value("ab"), ab_blank = string_value("ab ");
    value_to_dm(reinterpret_cast<FlatValue *>(&a), &abc);
    value_to_dm(reinterpret_cast<FlatValue *>(&b), &ab);
    EXPECT_GT(compare_dm(reinterpret_cast<FlatValue *>(&a), reinterpret_cast<FlatValue *>(&b)), 0);
    EXPECT_LT(compare_dm(reinterpret_cast<FlatValue *>(&b), reinterpret_cast<FlatValue *>(&a)), 0);
    value_to_dm(reinterpret_cast<FlatValue *>(&a), &ab_blank);
    EXPECT_EQ(compare_dm(reinterpret_cast<FlatValue *>(&a), reinterpret_cast<FlatValue *>(&b)), 0);

    const unsigned char x[] = {1, 2, 0}, y[] = {1, 2}, z[] = {1, 2, 5};
    Value bx = binary_value(x, 3), by = binary_value(y, 2), bz = binary_value(z, 3);
    std::memset(&b, 7, sizeof b);
    value_to_dm(reinterpret_cast<FlatValue *>(&a), &bx);
    value_to_dm(reinterpret_cast<FlatValue *>(&b), &by);
    EXPECT_EQ(compare_dm(reinterpret_cast<FlatValue *>(&a), reinterpret_cast<FlatValue *>(&b)), 0);
    value_to_dm(reinterpret_cast<FlatValue *>(&a), &bz);
    EXPECT_GT(compare_dm(reinterpret_cast<FlatValue *>(&a), reinterpret_cast<FlatValue *>(&b)), 0);
    EXPECT_LT(compare_dm(reinterpret_cast<FlatValue *>(&b), reinterpret_cast<FlatValue *>(&a)), 0);
}

} // namespace
