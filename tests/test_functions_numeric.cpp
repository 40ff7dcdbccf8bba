// The numeric scalar functions, called through the catalogue and
// execute_function: tables of ordinary values, NULLs, domain edges, huge and
// tiny doubles, negative places, exact arguments that keep their type, and
// every error exit with its diagnostic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "functions_internal.h"
#include "numeric_test_util.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class NumericFunctions : public numtest::EvalFixture {
protected:
    Value *i(int32_t x)
    {
        Value *v = new_value(VT_INTEGER);
        v->data.i = x;
        return v;
    }
    Value *d(double x)
    {
        Value *v = new_value(VT_DOUBLE);
        v->data.d = x;
        return v;
    }
    Value *big(int64_t x)
    {
        Value *v = new_value(VT_BIGINT);
        v->data.big = x;
        return v;
    }
    // An exact numeric: decimal magnitude, scale and sign (0 negative).
    Value *n(const char *magnitude, int scale, int sign = 1) { return numeric_value(magnitude, scale, sign, 38); }
    Value *s(const char *text)
    {
        Value *v = new_value(VT_STRING);
        v->length = static_cast<int32_t>(std::strlen(text));
        v->data.s = static_cast<char *>(kv_mem_alloc(mem, static_cast<uint32_t>(v->length + 1)));
        std::memcpy(v->data.s, text, static_cast<std::size_t>(v->length) + 1);
        return v;
    }
    Value *null() { return new_value(VT_NULL); }

    // Runs function `name`; the error exit fails the test.
    Value *call(const char *name, std::vector<Value *> args)
    {
        const FunctionEntry *entry = sql92_get_function_info(sql92_get_function_id(name, 0));
        EXPECT_NE(entry, nullptr) << name;
        Value *result = nullptr;
        int rc = numtest::guarded(context, [&] {
            result = execute_function(entry, &context, static_cast<int32_t>(args.size()), args.data(), 0, nullptr);
        });
        EXPECT_EQ(rc, 0) << name << " left through the error exit: " << last_diagnostic().message;
        return rc == 0 ? result : nullptr;
    }

    double call_double(const char *name, std::vector<Value *> args)
    {
        Value *v = call(name, std::move(args));
        if (!v)
            return kNaN;
        EXPECT_EQ(v->type, VT_DOUBLE) << name;
        EXPECT_EQ(v->indicator, 0) << name;
        return v->data.d;
    }

    // Runs function `name` and expects the error exit with this diagnostic.
    void expect_error(const char *name, std::vector<Value *> args, const char *sqlstate, const char *message)
    {
        const FunctionEntry *entry = sql92_get_function_info(sql92_get_function_id(name, 0));
        int rc = numtest::guarded(context, [&] {
            execute_function(entry, &context, static_cast<int32_t>(args.size()), args.data(), 0, nullptr);
        });
        ASSERT_EQ(rc, -1) << name << " returned";
        EXPECT_EQ(context.status, -1);
        Diagnostic diag = last_diagnostic();
        EXPECT_EQ(diag.sqlstate, sqlstate) << name;
        EXPECT_EQ(diag.message, std::string("[Kestrova ODBC]") + message) << name;
        EXPECT_EQ(diag.subclass_origin, "ODBC3.0");
        context.status = 0;
    }
};

TEST_F(NumericFunctions, TranscendentalValues)
{
    struct {
        const char *name;
        std::vector<double> args;
        double want;
    } cases[] = {
        {"ACOS", {1}, 0},
        {"ACOS", {-1}, kPi},
        {"ASIN", {1}, kPi / 2},
        {"ASIN", {-0.5}, -kPi / 6},
        {"ATAN", {1}, kPi / 4},
        {"ATAN", {1e308}, kPi / 2},
        {"ATAN2", {1, -1}, 3 * kPi / 4}, // y first: the second quadrant
        {"ATAN2", {-1, -1}, -3 * kPi / 4},
        {"COS", {0}, 1},
        {"COS", {kPi}, -1},
        {"SIN", {kPi / 2}, 1},
        {"TAN", {kPi / 4}, 1},
        {"COT", {kPi / 4}, 1},
        {"EXP", {0}, 1},
        {"EXP", {1}, std::numbers::e},
        {"EXP", {-1000}, 0},
        {"LOG", {std::numbers::e}, 1},
        {"LOG", {5e-324}, -744.44007192138126},
        {"LOG10", {100}, 2},
        {"LOG10", {1e-300}, -300},
        {"SQRT", {0}, 0},
        {"SQRT", {2.25}, 1.5},
        {"SQRT", {1e308}, 1e154},
        {"PI", {}, kPi},
        {"DEGREES", {kPi}, 180},
        {"DEGREES", {-kPi / 2}, -90},
        {"DEGREES", {2e306}, 2e306 / kPi * 180}, // x * 180 alone would overflow
        {"RADIANS", {180}, kPi},
        {"RADIANS", {1.7e308}, 1.7e308 / 180 * kPi},
        {"POWER", {2, 10}, 1024},
        {"POWER", {2, 0.5}, 1}, // the exponent is an integer, cut toward zero
        {"POWER", {2, -1}, 0.5},
        {"POWER", {-2, 3}, -8},
        {"POWER", {0, 0}, 1},
        {"POWER", {10, -400}, 0},
    };
    for (const auto &c : cases) {
        std::vector<Value *> args;
        for (double a : c.args)
            args.push_back(d(a));
        double got = call_double(c.name, args);
        EXPECT_DOUBLE_EQ(got, c.want) << c.name << "(" << (c.args.empty() ? 0 : c.args[0]) << ")";
    }
    EXPECT_EQ(call_double("PI", {}), M_PI);
}

TEST_F(NumericFunctions, DomainAndRangeErrors)
{
    const char *domain = "DOMAIN error", *range = "Numeric value out of range", *zero = "Division by zero";
    struct {
        const char *name;
        std::vector<double> args;
        const char *sqlstate, *message;
    } cases[] = {
        {"ACOS", {2}, "HY000", domain},          {"ACOS", {-1.0000001}, "HY000", domain},
        {"ASIN", {-1.5}, "HY000", domain},       {"COT", {0}, "HY000", domain},
        {"LOG", {0}, "HY000", domain},           {"LOG", {-1}, "HY000", domain},
        {"LOG10", {-1}, "HY000", domain},        {"LOG10", {0}, "HY000", domain},
        {"SQRT", {-1}, "HY000", domain},         {"SQRT", {-1e-300}, "HY000", domain},
        {"EXP", {1000}, "22003", range},         {"POWER", {10, 400}, "22003", range},
        {"POWER", {0, -1}, "22012", zero},       {"DEGREES", {1.7e308}, "22003", range},
        {"COS", {INFINITY}, "22003", range},     {"SIN", {kNaN}, "22003", range},
        {"ACOS", {kNaN}, "22003", range},        {"ABS", {-INFINITY}, "22003", range},
        {"POWER", {2, 3e9}, "22003", range},     {"POWER", {2, kNaN}, "22003", range},
        {"ROUND", {1.7976931348623157e308, -308}, "22003", range},
        {"ROUND", {1.5, 3e9}, "22003", range},   {"TRUNCATE", {1.5, -3e9}, "22003", range},
        {"ROUND", {INFINITY, 0}, "22003", range}, {"CEILING", {kNaN}, "22003", range},
        {"RAND", {3e9}, "22003", range},
    };
    for (const auto &c : cases) {
        std::vector<Value *> args;
        for (double a : c.args)
            args.push_back(d(a));
        SCOPED_TRACE(c.name);
        expect_error(c.name, args, c.sqlstate, c.message);
    }
}

// Every argument position: a NULL there gives a NULL result; so does a
// missing argument.
TEST_F(NumericFunctions, NullInNullOut)
{
    struct {
        const char *name;
        int arity;
    } functions[] = {{"ABS", 1},  {"ACOS", 1},    {"ASIN", 1},  {"ATAN", 1},  {"ATAN2", 2}, {"CEILING", 1},
                     {"COS", 1},  {"COT", 1},     {"DEGREES", 1}, {"EXP", 1}, {"FLOOR", 1}, {"LOG", 1},
                     {"LOG10", 1}, {"MOD", 2},    {"POWER", 2}, {"RADIANS", 1}, {"RAND", 1}, {"ROUND", 2},
                     {"SIGN", 1}, {"SIN", 1},     {"SQRT", 1},  {"TAN", 1},   {"TRUNCATE", 2}};
    for (const auto &f : functions) {
        for (int position = 0; position < f.arity; ++position) {
            std::vector<Value *> args;
            for (int a = 0; a < f.arity; ++a) {
                Value *v = a == position ? (position % 2 ? null() : i(0)) : i(1);
                if (a == position && position % 2 == 0)
                    v->indicator = SQL_NULL_DATA; // a typed NULL
                args.push_back(v);
            }
            Value *result = call(f.name, args);
            ASSERT_NE(result, nullptr) << f.name;
            EXPECT_EQ(result->indicator, SQL_NULL_DATA) << f.name << " NULL at " << position;
        }
        if (f.arity > 0 && std::string(f.name) != "RAND") {
            Value *result = call(f.name, {});
            ASSERT_NE(result, nullptr) << f.name;
            EXPECT_EQ(result->indicator, SQL_NULL_DATA) << f.name << " with no arguments";
        }
    }
    EXPECT_EQ(stmt.error_header->record_count, 0);
}

TEST_F(NumericFunctions, AbsKeepsTheArgumentType)
{
    Value *v = call("ABS", {i(-5)});
    EXPECT_EQ(v->type, VT_INTEGER);
    EXPECT_EQ(v->data.i, 5);
    v = call("ABS", {big(-5000000000)});
    EXPECT_EQ(v->type, VT_BIGINT);
    EXPECT_EQ(v->data.big, 5000000000);
    EXPECT_EQ(call_double("ABS", {d(-1.5)}), 1.5);
    EXPECT_FALSE(std::signbit(call_double("ABS", {d(-0.0)})));

    v = call("ABS", {numeric_value("1230", 2, 0, 7)});
    EXPECT_EQ(v->type, VT_NUMERIC);
    EXPECT_TRUE(numtest::is_numeric(v->data.num, "1230", 2, 1));
    EXPECT_EQ(v->precision, 7);
    EXPECT_EQ(v->scale, 2);

    EXPECT_EQ(call("ABS", {s("-3")}), nullptr); // no rule for a string: no value
    EXPECT_EQ(stmt.error_header->record_count, 0);

    // Never a negative absolute value.
    expect_error("ABS", {i(INT32_MIN)}, "22003", "Numeric value out of range");
    expect_error("ABS", {big(INT64_MIN)}, "22003", "Numeric value out of range");
}

TEST_F(NumericFunctions, SignOfEveryType)
{
    struct {
        Value *x;
        int want;
    } cases[] = {
        {d(-0.5), -1}, {d(0), 0}, {i(3), 1}, {i(INT32_MIN), -1}, {big(-1), -1}, {big(INT64_MAX), 1},
        {n("1", 2, 0), -1}, {n("0", 2, 0), 0}, {n("5", 0), 1}, {d(kNaN), 0}, {s("-3"), -1}, {d(5e-324), 1},
    };
    for (const auto &c : cases) {
        Value *v = call("SIGN", {c.x});
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, VT_INTEGER);
        EXPECT_EQ(v->data.i, c.want) << "type " << c.x->type;
    }
}

// ROUND and TRUNCATE of doubles work on the decimal value the user wrote:
// half away from zero, and 1.005 is 1.005, not 1.00499999999999989...
TEST_F(NumericFunctions, RoundAndTruncateDoubles)
{
    struct {
        double x;
        int places;
        double round, truncate;
    } cases[] = {
        {2.5, 0, 3, 2},
        {-2.5, 0, -3, -2},
        {-2.4, 0, -2, -2},
        {-0.5, 0, -1, 0},
        {-1.2, 0, -1, -1},
        {9.5, 0, 10, 9},
        {1.005, 2, 1.01, 1},
        {2.675, 2, 2.68, 2.67},
        {4.35, 1, 4.4, 4.3},
        {0.29, 2, 0.29, 0.29},
        {0.1 + 0.2, 1, 0.3, 0.3},
        {1.2345, 2, 1.23, 1.23},
        {1.999, 2, 2, 1.99},
        {-1.999, 2, -2, -1.99},
        {999.9999, 3, 1000, 999.999},
        {0.05, 1, 0.1, 0},
        {0.049, 1, 0, 0},
        {1250, -2, 1300, 1200},
        {1234.5, -2, 1200, 1200},
        {-1250, -2, -1300, -1200},
        {5, -1, 10, 0},
        {10000000000000002.0, -1, 1e16, 1e16},
        {123.456, 1000, 123.456, 123.456}, // places beyond the digits: the value
        {123.456, -1000, 0, 0},            // far before the first digit: 0
        {123.456, INT32_MAX, 123.456, 123.456},
        {123.456, INT32_MIN, 0, 0},
        {1e300, -299, 1e300, 1e300},
        {1e300, -301, 0, 0},
        {5e-324, 400, 5e-324, 5e-324},
        {5e-324, 300, 0, 0},
        {1.7976931348623157e308, 0, 1.7976931348623157e308, 1.7976931348623157e308},
        {0, 3, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " at " << c.places);
        double r = call_double("ROUND", {d(c.x), i(c.places)});
        double t = call_double("TRUNCATE", {d(c.x), i(c.places)});
        EXPECT_EQ(r, c.round);
        EXPECT_EQ(t, c.truncate);
        EXPECT_FALSE(std::signbit(r) && r == 0) << "negative zero";
        EXPECT_FALSE(std::signbit(t) && t == 0) << "negative zero";
    }
    // Places given as a double are cut toward zero; a numeric string is a double.
    EXPECT_EQ(call_double("ROUND", {d(1.2345), d(2.9)}), 1.23);
    EXPECT_EQ(call_double("ROUND", {s("2.5"), i(0)}), 3);
}

// Integers, bigints and exact numerics keep their type (and a numeric its
// scale) through ROUND, TRUNCATE, CEILING and FLOOR.
TEST_F(NumericFunctions, ExactArgumentsKeepTheirType)
{
    struct {
        const char *name;
        int32_t x, places, want;
    } integers[] = {
        {"ROUND", 1250, -2, 1300},   {"ROUND", -1250, -2, -1300}, {"ROUND", 1249, -2, 1200},
        {"ROUND", 5, 0, 5},          {"ROUND", 7, -30, 0},        {"ROUND", 7, 3, 7},
        {"TRUNCATE", 1299, -2, 1200}, {"TRUNCATE", -1299, -2, -1200}, {"ROUND", INT32_MIN, -12, 0},
        {"ROUND", 2147483647, -9, 2000000000},
    };
    for (const auto &c : integers) {
        Value *v = call(c.name, {i(c.x), i(c.places)});
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, VT_INTEGER);
        EXPECT_EQ(v->data.i, c.want) << c.name << "(" << c.x << ", " << c.places << ")";
    }
    expect_error("ROUND", {i(INT32_MAX), i(-1)}, "22003", "Numeric value out of range");

    Value *v = call("ROUND", {big(1234567890123456789), i(-18)});
    EXPECT_EQ(v->type, VT_BIGINT);
    EXPECT_EQ(v->data.big, 1000000000000000000);
    v = call("TRUNCATE", {big(-1234567890123456789), i(-18)});
    EXPECT_EQ(v->data.big, -1000000000000000000);
    expect_error("ROUND", {big(INT64_MAX), i(-1)}, "22003", "Numeric value out of range");

    struct {
        const char *name;
        const char *magnitude;
        int scale, sign, places;
        const char *want;
        int want_sign;
    } numerics[] = {
        {"ROUND", "12345", 3, 1, 2, "12350", 1},   // 12.345 -> 12.350, scale kept
        {"ROUND", "12345", 3, 0, 2, "12350", 0},   // -12.345 -> -12.350
        {"TRUNCATE", "12345", 3, 0, 2, "12340", 0},
        {"ROUND", "12345", 3, 1, 5, "12345", 1},   // more places than the scale
        {"ROUND", "4", 3, 0, 2, "0", 1},           // -0.004 -> 0, positive
        {"ROUND", "995", 1, 1, 0, "1000", 1},      // 99.5 -> 100.0
        {"ROUND", "12345", 0, 1, -2, "12300", 1},
        {"ROUND", "5", 40, 1, 0, "0", 1},          // scale beyond 38 digits
        {"CEILING", "1230", 2, 1, 0, "1300", 1},   // 12.30 -> 13.00
        {"CEILING", "1230", 2, 0, 0, "1200", 0},   // -12.30 -> -12.00
        {"FLOOR", "1230", 2, 1, 0, "1200", 1},
        {"FLOOR", "1230", 2, 0, 0, "1300", 0},     // -12.30 -> -13.00
        {"CEILING", "5", 1, 0, 0, "0", 1},         // -0.5 -> 0, positive
        {"FLOOR", "1200", 2, 1, 0, "1200", 1},
        {"CEILING", "17", -2, 1, 0, "17", 1},      // 1700 at scale -2: already whole
    };
    for (const auto &c : numerics) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.magnitude << " scale " << c.scale);
        std::vector<Value *> args{n(c.magnitude, c.scale, c.sign)};
        if (std::string(c.name) == "ROUND" || std::string(c.name) == "TRUNCATE")
            args.push_back(i(c.places));
        Value *r = call(c.name, args);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->type, VT_NUMERIC);
        EXPECT_EQ(r->scale, c.scale);
        EXPECT_TRUE(numtest::is_numeric(r->data.num, c.want, c.scale, c.want_sign));
    }
    const char *max = "340282366920938463463374607431768211455";
    expect_error("ROUND", {n(max, 0), i(-1)}, "22003", "Numeric value out of range");
    expect_error("CEILING", {n("5", 40)}, "22003", "Numeric value out of range");
    expect_error("CEILING", {n(max, 1)}, "22003", "Numeric value out of range");
}

TEST_F(NumericFunctions, CeilingAndFloor)
{
    struct {
        double x, ceiling, floor;
    } cases[] = {
        {1.2, 2, 1}, {-1.2, -1, -2}, {1e10, 1e10, 1e10}, {-1e10, -1e10, -1e10}, {-0.5, 0, -1},
        {1e300, 1e300, 1e300}, {5e-324, 1, 0}, {2, 2, 2},
    };
    for (const auto &c : cases) {
        double ceiling = call_double("CEILING", {d(c.x)});
        EXPECT_EQ(ceiling, c.ceiling) << c.x;
        EXPECT_FALSE(std::signbit(ceiling) && ceiling == 0) << "negative zero";
        EXPECT_EQ(call_double("FLOOR", {d(c.x)}), c.floor) << c.x;
    }
    Value *v = call("CEILING", {i(-7)});
    EXPECT_EQ(v->type, VT_INTEGER);
    EXPECT_EQ(v->data.i, -7);
    v = call("FLOOR", {big(INT64_MIN)});
    EXPECT_EQ(v->type, VT_BIGINT);
    EXPECT_EQ(v->data.big, INT64_MIN);
}

TEST_F(NumericFunctions, Mod)
{
    struct {
        Value *a, *b;
        int type;
        int64_t want;
    } cases[] = {
        {i(7), i(-3), VT_INTEGER, 1},
        {i(-7), i(3), VT_INTEGER, -1},
        {i(-7), i(-3), VT_INTEGER, -1},
        {i(INT32_MIN), i(-1), VT_INTEGER, 0},
        {i(0), i(5), VT_INTEGER, 0},
        {d(7.0), i(2), VT_INTEGER, 1},
        {s("17"), i(5), VT_INTEGER, 2},
        {big(4294967302), i(7), VT_BIGINT, 3}, // in 64 bits, not cut to 6
        {n("4294967302", 0), i(7), VT_BIGINT, 3},
        {n("4294967302000", 3), i(7), VT_BIGINT, 3}, // 4294967302.000 is whole
        {big(INT64_MIN), big(-1), VT_BIGINT, 0},
        {big(INT64_MIN), i(10), VT_BIGINT, -8},
    };
    for (const auto &c : cases) {
        Value *v = call("MOD", {c.a, c.b});
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(c.type == VT_BIGINT ? v->data.big : v->data.i, c.want);
    }
    expect_error("MOD", {i(5), i(0)}, "22012", "Division by zero");
    expect_error("MOD", {big(5), d(0.0)}, "22012", "Division by zero");
    const char *range = "Numeric value out of range";
    expect_error("MOD", {d(7.5), i(2)}, "22003", range);        // not a whole number
    expect_error("MOD", {i(7), n("25", 1)}, "22003", range);     // 2.5
    expect_error("MOD", {d(3e9), i(7)}, "22003", range);        // beyond int in 32-bit arithmetic
    expect_error("MOD", {d(1e19), big(7)}, "22003", range);     // beyond 64 bits
    expect_error("MOD", {n("1", -30), i(7)}, "22003", range);   // 10^30
    expect_error("MOD", {d(kNaN), i(7)}, "22003", range);
    Value *v = call("MOD", {i(5), null()});
    EXPECT_EQ(v->indicator, SQL_NULL_DATA);
}

// RAND draws from the library's own generator: equal seeds give equal
// sequences, and the application's rand() sequence is left alone.
TEST_F(NumericFunctions, RandIsSeededAndPrivate)
{
    std::srand(42);
    int expected = std::rand();

    std::srand(42);
    double first = call_double("RAND", {i(1)});
    double next = call_double("RAND", {});
    EXPECT_EQ(call_double("RAND", {i(1)}), first);
    EXPECT_EQ(call_double("RAND", {}), next);
    EXPECT_NE(first, next);
    EXPECT_NE(call_double("RAND", {i(2)}), first);
    EXPECT_EQ(std::rand(), expected) << "RAND touched the application's generator";

    double low = 1, high = 0;
    for (int k = 0; k < 2000; ++k) {
        double r = call_double("RAND", {});
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_LT(low, 0.01);
    EXPECT_GT(high, 0.99);
    EXPECT_EQ(call("RAND", {null()})->indicator, SQL_NULL_DATA);
}

TEST_F(NumericFunctions, StringArgumentsAreNumbers)
{
    EXPECT_EQ(call_double("SQRT", {s("4")}), 2);
    EXPECT_EQ(call_double("POWER", {s("3"), s("2")}), 9);
    EXPECT_EQ(call_double("ABS", {d(-2)}), 2);
}

// Memory running out for the result: no value and nothing posted, or the
// value; never a crash or a leak.
TEST_F(NumericFunctions, ResultAllocationFailure)
{
    for (long nth = 1; nth <= 3; ++nth) {
        Value *x = d(2.5);
        Value *places = i(0);
        kv_test_fail_allocation(nth);
        Value *v = call("ROUND", {x, places});
        kv_test_fail_allocation(0);
        if (v) {
            EXPECT_EQ(v->data.d, 3);
        }
    }
    EXPECT_EQ(stmt.error_header->record_count, 0);
}

} // namespace
