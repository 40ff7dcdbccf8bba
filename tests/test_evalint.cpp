// Interval arithmetic: base counts, normalisation, interval +- interval,
// number +- interval, datetime +- interval, NULL operands, comparisons.
#include <gtest/gtest.h>

#include <cstring>

#include "internal.h"
#include "numeric_test_util.h"

namespace {

Value interval(int type, int sign, std::initializer_list<unsigned> fields, int leading = 2, int fraction = 6)
{
    Value v;
    std::memset(static_cast<void *>(&v), 0, sizeof v);
    v.kind = KV_NODE_VALUE;
    v.type = type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH ? VT_INTERVAL_YM
                                                                                      : VT_INTERVAL_DS;
    v.leading_precision = leading;
    v.fraction_precision = fraction;
    v.data.iv.interval_type = static_cast<SQLINTERVAL>(type);
    v.data.iv.interval_sign = static_cast<SQLSMALLINT>(sign);
    SQLUINTEGER *out = &v.data.iv.intval.day_second.day;
    for (unsigned f : fields)
        *out++ = f;
    return v;
}

Value integer(int n)
{
    Value v;
    std::memset(static_cast<void *>(&v), 0, sizeof v);
    v.type = VT_INTEGER;
    v.data.i = n;
    return v;
}

// "type sign f1 f2 f3 f4 f5" of an interval value.
std::string show(const Value &v)
{
    const auto &iv = v.data.iv;
    const auto &ds = iv.intval.day_second;
    char text[96];
    std::snprintf(text, sizeof text, "%d/%d %s%u %u %u %u %u", v.type, static_cast<int>(iv.interval_type),
                  iv.interval_sign ? "-" : "+", ds.day, ds.hour, ds.minute, ds.second, ds.fraction);
    return text;
}

TEST(Interval, BaseValue)
{
    struct {
        Value v;
        int count, fraction;
    } cases[] = {
        {interval(SQL_IS_YEAR, 0, {2}), 24, 0},
        {interval(SQL_IS_MONTH, 1, {0, 5}), -5, 0},
        {interval(SQL_IS_YEAR_TO_MONTH, 0, {1, 3}), 15, 0},
        {interval(SQL_IS_DAY, 0, {2}), 172800, 0},
        {interval(SQL_IS_HOUR, 0, {0, 3}), 10800, 0},
        {interval(SQL_IS_MINUTE, 0, {0, 0, 4}), 240, 0},
        {interval(SQL_IS_SECOND, 1, {0, 0, 0, 7, 5}), -7, -5},
        {interval(SQL_IS_DAY_TO_HOUR, 0, {1, 2}), 93600, 0},
        {interval(SQL_IS_DAY_TO_MINUTE, 0, {1, 2, 3}), 93780, 0},
        {interval(SQL_IS_DAY_TO_SECOND, 0, {1, 2, 3, 4, 500000000}), 93784, 500000000},
        {interval(SQL_IS_HOUR_TO_MINUTE, 0, {0, 1, 30, 9, 9}), 5400, 0},
        {interval(SQL_IS_HOUR_TO_SECOND, 0, {0, 1, 0, 1, 9}), 3601, 9},
        {interval(SQL_IS_MINUTE_TO_SECOND, 0, {0, 0, 2, 3, 4}), 123, 4},
        {interval(0, 0, {1, 2, 3, 4, 5}), 0, 0},
    };
    for (const auto &c : cases) {
        int fraction = 99;
        EXPECT_EQ(get_base_value(&c.v.data.iv, &fraction), c.count) << show(c.v);
        EXPECT_EQ(fraction, c.fraction) << show(c.v);
        EXPECT_EQ(get_base_value(&c.v.data.iv, nullptr), c.count);
    }
}

TEST(Interval, Normalise)
{
    struct {
        int type, count, fraction;
        const char *expected;
    } cases[] = {
        {SQL_IS_YEAR, 27, 0, "13/1 +2 0 0 0 0"},  // remainder of months dropped
        {SQL_IS_YEAR_TO_MONTH, -15, 0, "13/7 -1 3 0 0 0"},
        {SQL_IS_DAY_TO_SECOND, 93784, 1500000000, "14/10 +1 2 3 5 500000000"},
        {SQL_IS_SECOND, -2, 800000000, "14/6 -0 0 0 1 200000000"},
        {SQL_IS_SECOND, 0, -1, "14/6 -0 0 0 0 1"},
        {SQL_IS_SECOND, -1, 1, "14/6 -0 0 0 0 999999999"},
        {SQL_IS_HOUR_TO_MINUTE, 5400, 0, "14/11 +0 1 30 0 0"},
        {SQL_IS_MINUTE_TO_SECOND, 3599, 0, "14/13 +0 0 59 59 0"},
    };
    for (const auto &c : cases) {
        Value v = interval(c.type, 0, {});
        normalise_interval(c.count, c.fraction, &v);
        EXPECT_EQ(show(v), c.expected) << c.type << " " << c.count << " " << c.fraction;
    }
}

TEST(Interval, IntervalWithInterval)
{
    struct {
        Value a, b;
        int op;
        const char *expected;
    } cases[] = {
        {interval(SQL_IS_YEAR, 0, {1}), interval(SQL_IS_MONTH, 0, {0, 3}), KV_OP_ADD, "13/7 +1 3 0 0 0"},
        {interval(SQL_IS_YEAR, 0, {1}), interval(SQL_IS_MONTH, 0, {0, 15}), KV_OP_SUBTRACT, "13/7 -0 3 0 0 0"},
        {interval(SQL_IS_MONTH, 0, {0, 5}), interval(SQL_IS_MONTH, 0, {0, 7}), KV_OP_ADD, "13/2 +0 12 0 0 0"},
        {interval(SQL_IS_SECOND, 0, {0, 0, 0, 1, 500000000}), interval(SQL_IS_SECOND, 0, {0, 0, 0, 2, 700000000}),
         KV_OP_SUBTRACT, "14/6 -0 0 0 1 200000000"},
        {interval(SQL_IS_SECOND, 0, {0, 0, 0, 1, 500000000}), interval(SQL_IS_SECOND, 0, {0, 0, 0, 2, 700000000}),
         KV_OP_ADD, "14/6 +0 0 0 4 200000000"},
        {interval(SQL_IS_DAY, 0, {1}), interval(SQL_IS_HOUR, 1, {0, 1}), KV_OP_ADD, "14/8 +0 23 0 0 0"},
        {interval(SQL_IS_DAY_TO_HOUR, 0, {1, 2}), interval(SQL_IS_DAY_TO_MINUTE, 0, {0, 0, 30}), KV_OP_ADD,
         "14/9 +1 2 30 0 0"},
        {interval(SQL_IS_MINUTE, 1, {0, 0, 90}), interval(SQL_IS_HOUR, 0, {0, 1}), KV_OP_SUBTRACT,
         "14/11 -0 2 30 0 0"},
        // Beyond the int range of seconds: 30000 days + 30000 days.
        {interval(SQL_IS_DAY, 0, {30000}, 5), interval(SQL_IS_DAY, 0, {30000}, 5), KV_OP_ADD, "14/3 +60000 0 0 0 0"},
    };
    for (const auto &c : cases) {
        Value result = interval(SQL_IS_DAY, 1, {9, 9, 9, 9, 9});
        result.indicator = -1;
        interval_operation(const_cast<Value *>(&c.a), const_cast<Value *>(&c.b), &result, nullptr, c.op);
        EXPECT_EQ(show(result), c.expected) << show(c.a) << (c.op == 1 ? " + " : " - ") << show(c.b);
        EXPECT_EQ(result.indicator, 0);
    }
}

TEST(Interval, PrecisionsOfTheResult)
{
    Value a = interval(SQL_IS_SECOND, 0, {0, 0, 0, 1}, 3, 2), b = interval(SQL_IS_MINUTE, 0, {0, 0, 1}, 2, 9);
    Value result = interval(0, 0, {});
    interval_operation(&a, &b, &result, nullptr, KV_OP_ADD);
    EXPECT_EQ(result.leading_precision, 3);
    EXPECT_EQ(result.fraction_precision, 9);
    // The result may be an operand.
    interval_operation(&a, &b, &a, nullptr, KV_OP_ADD);
    EXPECT_EQ(show(a), "14/13 +0 0 1 1 0");
}

TEST(Interval, NumberWithInterval)
{
    struct {
        int n;
        Value b;
        int op;
        const char *expected;
    } cases[] = {
        {2, interval(SQL_IS_DAY, 0, {3}), KV_OP_ADD, "14/3 +5 0 0 0 0"},
        {2, interval(SQL_IS_DAY, 0, {3}), KV_OP_SUBTRACT, "14/3 +1 0 0 0 0"},  // INTERVAL '3' DAY - 2
        {5, interval(SQL_IS_DAY, 0, {3}), KV_OP_SUBTRACT, "14/3 -2 0 0 0 0"},
        {2, interval(SQL_IS_HOUR, 0, {0, 1}), KV_OP_ADD, "14/4 +0 3 0 0 0"},
        {-3, interval(SQL_IS_SECOND, 0, {0, 0, 0, 1, 500000000}), KV_OP_ADD, "14/6 -0 0 0 1 500000000"},
        {1, interval(SQL_IS_YEAR, 0, {2}), KV_OP_ADD, "13/1 +3 0 0 0 0"},
        {1, interval(SQL_IS_MONTH, 0, {0, 2}), KV_OP_SUBTRACT, "13/2 +0 1 0 0 0"},
        {7, interval(SQL_IS_HOUR_TO_MINUTE, 0, {0, 1, 2}), KV_OP_ADD, "14/11 +0 1 2 0 0"},  // no unit
    };
    for (const auto &c : cases) {
        Value n = integer(c.n), result = interval(0, 0, {});
        interval_operation(&n, const_cast<Value *>(&c.b), &result, nullptr, c.op);
        EXPECT_EQ(show(result), c.expected) << c.n << (c.op == 1 ? " + " : " - ") << show(c.b);
    }
    // Other number types are read as integers (a double is cut toward zero).
    Value d = integer(0), b = interval(SQL_IS_DAY, 0, {1}), result = interval(0, 0, {});
    d.type = VT_DOUBLE;
    d.data.d = 2.9;
    interval_operation(&d, &b, &result, nullptr, KV_OP_ADD);
    EXPECT_EQ(show(result), "14/3 +3 0 0 0 0");
}

TEST(Interval, DatetimeWithInterval)
{
    Value ts;
    std::memset(static_cast<void *>(&ts), 0, sizeof ts);
    ts.type = VT_TIMESTAMP;
    ts.data.ts = {2024, 3, 1, 0, 30, 0, 0};
    Value hour = interval(SQL_IS_HOUR, 0, {0, 1}), month = interval(SQL_IS_MONTH, 0, {0, 1});
    Value second = interval(SQL_IS_SECOND, 0, {0, 0, 0, 0, 250000000});
    Value result;
    std::memset(static_cast<void *>(&result), 0, sizeof result);

    interval_operation(&ts, &hour, &result, nullptr, KV_OP_SUBTRACT);
    EXPECT_EQ(result.type, VT_TIMESTAMP);
    EXPECT_EQ(result.data.ts.day, 29);
    EXPECT_EQ(result.data.ts.hour, 23);
    interval_operation(&ts, &month, &result, nullptr, KV_OP_SUBTRACT);
    EXPECT_EQ(result.data.ts.month, 2);
    EXPECT_EQ(result.data.ts.day, 1);
    EXPECT_EQ(result.data.ts.hour, 0);
    interval_operation(&ts, &second, &result, nullptr, KV_OP_SUBTRACT);
    EXPECT_EQ(result.data.ts.day, 1);
    EXPECT_EQ(result.data.ts.minute, 29);
    EXPECT_EQ(result.data.ts.second, 59);
    EXPECT_EQ(result.data.ts.fraction, 750000000u);

    Value date = ts;
    date.type = VT_DATE;
    date.data.date = {2023, 12, 15};
    Value year = interval(SQL_IS_YEAR, 1, {1});
    interval_operation(&date, &year, &result, nullptr, KV_OP_ADD);
    EXPECT_EQ(result.type, VT_DATE);
    EXPECT_EQ(result.data.date.year, 2022);
    EXPECT_EQ(result.data.date.month, 12);
}

using IntervalErrors = numtest::EvalFixture;

// A datetime sum outside the years a result holds leaves through the error
// exit; without a context the result is NULL.
TEST_F(IntervalErrors, DatetimeOverflow)
{
    Value ts;
    std::memset(static_cast<void *>(&ts), 0, sizeof ts);
    ts.type = VT_TIMESTAMP;
    ts.data.ts = {2024, 1, 1, 0, 0, 0, 0};
    Value date = ts;
    date.type = VT_DATE;
    date.data.date = {32767, 12, 31};
    struct {
        Value *datetime;
        Value span;
        int op;
    } cases[] = {
        {&ts, interval(SQL_IS_DAY, 0, {4294967295u}, 10), KV_OP_ADD},
        {&date, interval(SQL_IS_DAY, 0, {1}), KV_OP_ADD},
        {&date, interval(SQL_IS_YEAR, 1, {1}), KV_OP_SUBTRACT},
        {&ts, interval(SQL_IS_YEAR, 1, {6738}), KV_OP_ADD},
    };
    for (auto &c : cases) {
        Value result;
        std::memset(static_cast<void *>(&result), 0, sizeof result);
        context.status = 0;
        EXPECT_EQ(numtest::guarded(context, [&] { interval_operation(c.datetime, &c.span, &result, &context, c.op); }),
                  -1);
        EXPECT_EQ(context.status, -1);
        auto d = last_diagnostic();
        EXPECT_EQ(d.sqlstate, "22008");
        EXPECT_EQ(d.message, "[Kestrova ODBC]Datetime field overflow");
        interval_operation(c.datetime, &c.span, &result, nullptr, c.op);
        EXPECT_EQ(result.indicator, -1);
    }
}

TEST(Interval, NullOperandsAndOtherOperators)
{
    Value a = interval(SQL_IS_DAY, 0, {1}), b = interval(SQL_IS_DAY, 0, {2});
    Value result = interval(SQL_IS_DAY, 0, {7});
    b.indicator = -1;
    interval_operation(&a, &b, &result, nullptr, KV_OP_ADD);
    EXPECT_EQ(result.indicator, -1);
    result.indicator = 0;
    interval_operation(&b, &a, &result, nullptr, KV_OP_SUBTRACT);
    EXPECT_EQ(result.indicator, -1);

    Value untouched = interval(SQL_IS_DAY, 0, {7});
    result = untouched;
    for (int op : {0, int{KV_OP_CONCAT}, int{KV_OP_MULTIPLY}, 13})
        interval_operation(&a, &a, &result, nullptr, op);
    EXPECT_EQ(std::memcmp(&result, &untouched, sizeof result), 0);
}

TEST(Interval, Compare)
{
    struct {
        Value a, b;
        int expected;
    } cases[] = {
        {interval(SQL_IS_DAY, 1, {1}), interval(SQL_IS_HOUR, 0, {0, 1}), -1},
        {interval(SQL_IS_MINUTE_TO_SECOND, 0, {0, 0, 90}), interval(SQL_IS_HOUR_TO_MINUTE, 0, {0, 1, 30}), 0},
        {interval(SQL_IS_SECOND, 0, {0, 0, 0, 1, 2}), interval(SQL_IS_SECOND, 0, {0, 0, 0, 1, 1}), 1},
        {interval(SQL_IS_SECOND, 1, {0, 0, 0, 1, 2}), interval(SQL_IS_SECOND, 1, {0, 0, 0, 1, 1}), -1},
        {interval(SQL_IS_YEAR, 0, {1}), interval(SQL_IS_MONTH, 0, {0, 12}), 0},
        {interval(SQL_IS_YEAR_TO_MONTH, 0, {1, 1}), interval(SQL_IS_MONTH, 0, {0, 12}), 1},
        {interval(SQL_IS_DAY, 0, {30000}), interval(SQL_IS_DAY, 1, {30000}), 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(interval_compare(&c.a.data.iv, &c.b.data.iv), c.expected) << show(c.a) << " vs " << show(c.b);
        EXPECT_EQ(interval_compare(&c.b.data.iv, &c.a.data.iv), -c.expected);
        EXPECT_EQ(compare_interval(&c.a, &c.b), c.expected);
    }
}

} // namespace
