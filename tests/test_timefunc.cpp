// Datetime additions: carries through seconds, minutes, hours, days and
// months, fraction carries at 10^9 with borrowing, the source type kept or
// converted, time wrap-around and dates without time.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "internal.h"

namespace {

Value make_ts(int y, int mo, int d, int h, int mi, int s, unsigned fraction = 0)
{
    Value v;
    std::memset(static_cast<void *>(&v), 0, sizeof v);
    v.kind = KV_NODE_VALUE;
    v.type = VT_TIMESTAMP;
    v.data.ts = {static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(d),
                 static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s),
                 fraction};
    return v;
}

Value make_date(int y, int mo, int d)
{
    Value v = make_ts(y, mo, d, 0, 0, 0);
    v.type = VT_DATE;
    return v;
}

Value make_time(int h, int mi, int s)
{
    Value v = make_ts(0, 0, 0, 0, 0, 0);
    v.type = VT_TIME;
    v.data.time = {static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s)};
    return v;
}

std::string show(const Value &v)
{
    char text[64];
    const auto &t = v.data.ts;
    if (v.indicator == -1)
        return "NULL";
    switch (v.type) {
    case VT_DATE:
        std::snprintf(text, sizeof text, "D %d-%02u-%02u", v.data.date.year, v.data.date.month, v.data.date.day);
        break;
    case VT_TIME:
        std::snprintf(text, sizeof text, "T %02u:%02u:%02u", v.data.time.hour, v.data.time.minute,
                      v.data.time.second);
        break;
    default:
        std::snprintf(text, sizeof text, "TS %d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month, t.day, t.hour,
                      t.minute, t.second, static_cast<unsigned>(t.fraction));
    }
    return text;
}

TEST(TimestampAdd, Table)
{
    struct {
        Value source;
        int months, seconds, fraction;
        const char *expected;
    } cases[] = {
        {make_ts(2024, 1, 31, 23, 59, 59), 0, 1, 0, "TS 2024-02-01 00:00:00.000000000"},
        {make_ts(2024, 3, 1, 0, 30, 0), 0, -3600, 0, "TS 2024-02-29 23:30:00.000000000"},
        {make_ts(2024, 3, 1, 0, 30, 0), 0, -23 * 3600, 0, "TS 2024-02-29 01:30:00.000000000"},
        {make_ts(2023, 3, 1, 0, 30, 0), 0, -3600, 0, "TS 2023-02-28 23:30:00.000000000"},
        {make_ts(2023, 12, 31, 23, 59, 59), 0, 1, 0, "TS 2024-01-01 00:00:00.000000000"},
        {make_ts(2024, 1, 1, 0, 0, 0), 0, -1, 0, "TS 2023-12-31 23:59:59.000000000"},
        // Month ends: a day past the end of a shorter month becomes its last.
        {make_ts(2024, 1, 31, 12, 0, 0), 1, 0, 0, "TS 2024-02-29 12:00:00.000000000"},
        {make_ts(2023, 1, 31, 12, 0, 0), 1, 0, 0, "TS 2023-02-28 12:00:00.000000000"},
        {make_ts(2024, 3, 31, 0, 0, 0), -1, 0, 0, "TS 2024-02-29 00:00:00.000000000"},
        {make_ts(2024, 5, 31, 0, 0, 0), 1, 0, 0, "TS 2024-06-30 00:00:00.000000000"},
        {make_ts(2024, 2, 29, 0, 0, 0), 12, 0, 0, "TS 2025-02-28 00:00:00.000000000"},
        {make_ts(2024, 2, 29, 0, 0, 0), 48, 0, 0, "TS 2028-02-29 00:00:00.000000000"},
        {make_ts(1896, 2, 29, 0, 0, 0), 48, 0, 0, "TS 1900-02-28 00:00:00.000000000"},
        {make_ts(1696, 2, 29, 0, 0, 0), 48, 0, 0, "TS 1700-02-29 00:00:00.000000000"},  // Julian
        {make_ts(2024, 1, 31, 23, 0, 0), 1, 3600, 0, "TS 2024-03-01 00:00:00.000000000"},  // days first
        {make_ts(2024, 1, 15, 0, 0, 0), -1, 0, 0, "TS 2023-12-15 00:00:00.000000000"},
        {make_ts(2024, 1, 15, 0, 0, 0), -25, 0, 0, "TS 2021-12-15 00:00:00.000000000"},
        {make_ts(2024, 1, 15, 0, 0, 0), 0, 86400 * 366, 0, "TS 2025-01-15 00:00:00.000000000"},
        // Fractions carry at 10^9 billionths and borrow when negative.
        {make_ts(2024, 1, 1, 0, 0, 0, 500000000), 0, 0, 700000000, "TS 2024-01-01 00:00:01.200000000"},
        {make_ts(2024, 1, 1, 0, 0, 0, 999999), 0, 0, 1, "TS 2024-01-01 00:00:00.001000000"},
        {make_ts(2024, 1, 1, 0, 0, 0, 200000000), 0, 0, -500000000, "TS 2023-12-31 23:59:59.700000000"},
        {make_ts(2024, 1, 1, 0, 0, 1, 0), 0, -1, -2000000000, "TS 2023-12-31 23:59:58.000000000"},
        // Across the 1752 switch: the day after the 2nd is the 14th.
        {make_ts(1752, 9, 2, 12, 0, 0), 0, 86400, 0, "TS 1752-09-14 12:00:00.000000000"},
        // Months across 1 BC skip the year 0 that does not exist; adding
        // months never lands in the days skipped in September 1752.
        {make_date(1, 3, 1), -12, 0, 0, "D -1-03-01"},
        {make_date(1, 1, 15), -1, 0, 0, "D -1-12-15"},
        {make_date(-1, 3, 1), 12, 0, 0, "D 1-03-01"},
        {make_date(-1, 12, 31), 0, 86400, 0, "D 1-01-01"},
        {make_date(1752, 8, 5), 1, 0, 0, "D 1752-09-02"},
        {make_date(1752, 10, 13), -1, 0, 0, "D 1752-09-02"},
        {make_date(1752, 8, 14), 1, 0, 0, "D 1752-09-14"},
        // A sum outside the years a result holds is NULL.
        {make_date(32767, 12, 31), 0, 86400, 0, "NULL"},
        {make_ts(32767, 12, 1, 0, 0, 0), 1, 0, 0, "NULL"},
        {make_ts(2024, 1, 1, 0, 0, 0), INT32_MAX, 0, 0, "NULL"},
        {make_ts(2024, 1, 1, 0, 0, 0), INT32_MIN, 0, 0, "NULL"},
        {make_date(-4713, 1, 1), 0, -86400, 0, "NULL"},
        {make_date(-4713, 1, 1), -1, 0, 0, "NULL"},
        {make_date(32767, 12, 31), 0, 0, 0, "D 32767-12-31"},
        // Dates lose the time of day of the sum; times wrap and drop the days.
        {make_date(2024, 2, 28), 0, 36 * 3600, 0, "D 2024-02-29"},
        {make_date(2024, 3, 1), 0, -1, 0, "D 2024-02-29"},
        {make_date(2023, 12, 15), 1, 0, 0, "D 2024-01-15"},
        {make_date(2023, 12, 15), 12, 0, 0, "D 2024-12-15"},
        {make_date(2023, 12, 15), -12, 0, 0, "D 2022-12-15"},
        {make_time(23, 30, 0), 0, 3600, 0, "T 00:30:00"},
        {make_time(0, 0, 30), 0, -60, 0, "T 23:59:30"},
        {make_time(12, 0, 0), 5, 0, 0, "T 12:00:00"},
    };
    for (const auto &c : cases) {
        Value result;
        std::memset(static_cast<void *>(&result), 0, sizeof result);
        timestamp_add(&result, &c.source, c.months, c.seconds, c.fraction);
        EXPECT_EQ(show(result), c.expected) << show(c.source) << " + " << c.months << " months " << c.seconds
                                            << " s " << c.fraction << " ns";
        Value in_place = c.source;
        timestamp_add(&in_place, &in_place, c.months, c.seconds, c.fraction);
        EXPECT_EQ(show(in_place), c.expected);
    }
}

TEST(TimestampAdd, ResultKeepsItsOwnBookkeeping)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    auto *result = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, mem));
    result->ref_count = 1;
    Value source = make_date(2024, 1, 1);
    source.mem = nullptr;
    source.indicator = 0;
    timestamp_add(result, &source, 0, 86400, 0);
    EXPECT_EQ(result->mem, mem);
    EXPECT_EQ(result->ref_count, 1);
    EXPECT_EQ(result->type, VT_DATE);
    EXPECT_EQ(show(*result), "D 2024-01-02");
    kv_mem_release_handle(mem);
}

TEST(TimestampAddNoconvert, AlwaysATimestamp)
{
    struct {
        Value source;
        int months, seconds;
        const char *expected;
    } cases[] = {
        {make_date(2024, 2, 28), 0, 36 * 3600, "TS 2024-02-29 12:00:00.000000000"},
        {make_date(2024, 1, 31), 1, 0, "TS 2024-02-29 00:00:00.000000000"},
        {make_ts(2024, 1, 1, 1, 2, 3, 4), 0, 60, "TS 2024-01-01 01:03:03.000000004"},
        {make_time(23, 0, 0), 0, 7200, "TS 0-00-00 01:00:00.000000000"},
    };
    for (const auto &c : cases) {
        Value result = make_time(9, 9, 9);
        timestamp_add_noconvert(&result, &c.source, c.months, c.seconds, 0);
        EXPECT_EQ(result.type, VT_TIMESTAMP);
        EXPECT_EQ(show(result), c.expected);
    }
}

TEST(TimeAdd, WrapsAndKeepsNoFraction)
{
    struct {
        Value source;
        int seconds, fraction;
        const char *as_time, *as_timestamp;
    } cases[] = {
        {make_time(23, 30, 0), 3600, 0, "T 00:30:00", "TS 2000-01-01 00:30:00.000000000"},
        {make_time(0, 0, 30), -60, 0, "T 23:59:30", "TS 2000-01-01 23:59:30.000000000"},
        {make_time(0, 0, 0), 0, 2100000000, "T 00:00:02", "TS 2000-01-01 00:00:02.000000000"},
        {make_time(0, 0, 1), 0, -200000000, "T 00:00:00", "TS 2000-01-01 00:00:00.000000000"},
        {make_time(0, 0, 0), 0, -1, "T 23:59:59", "TS 2000-01-01 23:59:59.000000000"},
        {make_ts(2024, 5, 6, 7, 8, 9, 123), 1, 0, "T 07:08:10", "TS 2000-01-01 07:08:10.000000000"},
        {make_date(2024, 5, 6), 90, 0, "T 00:01:30", "TS 2000-01-01 00:01:30.000000000"},
        {make_time(12, 0, 0), -86400 * 3 - 1, 0, "T 11:59:59", "TS 2000-01-01 11:59:59.000000000"},
    };
    for (const auto &c : cases) {
        Value time_result = make_time(1, 1, 1);
        time_add(&time_result, &c.source, c.seconds, c.fraction);
        EXPECT_EQ(show(time_result), c.as_time) << show(c.source);
        Value ts_result = make_ts(2000, 1, 1, 5, 5, 5, 5);
        time_add(&ts_result, &c.source, c.seconds, c.fraction);
        EXPECT_EQ(show(ts_result), c.as_timestamp) << show(c.source);
    }
    // An int fraction argument of its largest size carries whole seconds.
    Value result = make_time(0, 0, 0);
    Value source = make_time(0, 0, 0);
    time_add(&result, &source, 0, INT32_MAX);
    EXPECT_EQ(show(result), "T 00:00:02");
}

TEST(DateAdd, Table)
{
    struct {
        Value source;
        int months, days;
        const char *as_date, *as_timestamp;
    } cases[] = {
        {make_date(2024, 2, 28), 0, 1, "D 2024-02-29", "TS 2024-02-29 00:00:00.000000000"},
        {make_date(2023, 2, 28), 0, 1, "D 2023-03-01", "TS 2023-03-01 00:00:00.000000000"},
        {make_date(2024, 1, 15), -1, 0, "D 2023-12-15", "TS 2023-12-15 00:00:00.000000000"},
        {make_date(2024, 1, 31), 0, 30, "D 2024-03-01", "TS 2024-03-01 00:00:00.000000000"},
        {make_date(2024, 12, 31), 1, 1, "D 2025-02-01", "TS 2025-02-01 00:00:00.000000000"},
        {make_date(2024, 12, 30), 2, 1, "D 2025-02-28", "TS 2025-02-28 00:00:00.000000000"},
        {make_date(2024, 10, 31), -1, 0, "D 2024-09-30", "TS 2024-09-30 00:00:00.000000000"},
        {make_date(2024, 3, 31), 0, -31, "D 2024-02-29", "TS 2024-02-29 00:00:00.000000000"},
        {make_ts(2024, 5, 6, 7, 8, 9, 10), 0, 7, "D 2024-05-13", "TS 2024-05-13 00:00:00.000000000"},
        {make_date(1752, 9, 14), 0, -1, "D 1752-09-02", "TS 1752-09-02 00:00:00.000000000"},
        {make_date(32767, 12, 31), 0, 1, "NULL", "NULL"},
        {make_date(2024, 1, 1), INT32_MAX, 0, "NULL", "NULL"},
    };
    for (const auto &c : cases) {
        Value date_result = make_date(1, 1, 1);
        date_add(&date_result, &c.source, c.months, c.days);
        EXPECT_EQ(show(date_result), c.as_date) << show(c.source);
        Value ts_result = make_ts(2000, 1, 1, 5, 5, 5, 5);
        date_add(&ts_result, &c.source, c.months, c.days);
        EXPECT_EQ(show(ts_result), c.as_timestamp) << show(c.source);
    }
    // A time source has no date: the first three fields of the result are
    // cleared, whatever the result is.
    Value time_source = make_time(1, 2, 3);
    Value ts_result = make_ts(2000, 1, 1, 5, 5, 5, 5);
    date_add(&ts_result, &time_source, 1, 1);
    EXPECT_EQ(show(ts_result), "TS 0-00-00 05:05:05.000000005");
    Value time_result = make_time(4, 5, 6);
    date_add(&time_result, &time_source, 1, 1);
    EXPECT_EQ(show(time_result), "T 00:00:00");
}

} // namespace
