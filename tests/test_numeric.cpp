// Exact numerics: conversions, comparison and the four operations, as tables
// of cases with the expected magnitude, scale, sign and return code; the
// division by zero through a real setjmp; and a differential run against the
// digit-string baseline of numeric_reference.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host_locale.h"
#include "numeric_reference.h"
#include "numeric_test_util.h"

namespace {

using numtest::describe;
using numtest::is_numeric;
using numtest::num;
using numtest::same_bytes;

constexpr const char *kMax = "340282366920938463463374607431768211455"; // 2^128 - 1
constexpr const char *kTwo64 = "18446744073709551616";

// A target filled with a pattern, to see what a failing call left alone.
NumericValue junk()
{
    NumericValue n;
    std::memset(&n, 0x5a, sizeof n);
    return n;
}

// ---- string_to_numeric ----

struct TextCase {
    const char *text;
    int scale;
    int rc;
    const char *magnitude; // expected when rc is 0
    int result_scale;
    int sign;               // expected when rc is 0 or -2
    const char *text_after; // the caller's text afterwards
};

const TextCase text_cases[] = {
    {"123.45", 0, 0, "12345", 2, 1, "12345"},
    {"  -0012.50", 0, 0, "1250", 2, 0, "  -001250"},
    {"+7", 0, 0, "7", 0, 1, "+7"},
    {"1.5", 3, 0, "15", 4, 1, "15"},
    {"1.5", -3, 0, "15", -2, 1, "15"},
    {"42", -5, 0, "42", -5, 1, "42"},
    {".5", 0, 0, "5", 1, 1, "5"},
    {"3.", 0, 0, "3", 0, 1, "3"},
    {"0", 0, 0, "0", 0, 1, "0"},
    {"-0", 0, 0, "0", 0, 1, "-0"}, // zero is always positive
    {"0.00", 0, 0, "0", 2, 1, "000"},
    {"", 0, 0, "0", 0, 1, ""},
    {"-", 0, 0, "0", 0, 1, "-"},
    {"12  ", 0, 0, "12", 0, 1, "12  "},
    {" 1.5 ", 0, 0, "15", 1, 1, " 15 "},
    {"18446744073709551615", 0, 0, "18446744073709551615", 0, 1, "18446744073709551615"},
    {"18446744073709551616", 0, 0, kTwo64, 0, 1, "18446744073709551616"},
    {"340282366920938463463374607431768211455", 0, 0, kMax, 0, 1, "340282366920938463463374607431768211455"},
    {"3402823669209384634633746074317682114.55", 0, 0, kMax, 2, 1, "340282366920938463463374607431768211455"},
    {"000000000000000000000000000000000000000000001", 0, 0, "1", 0, 1,
     "000000000000000000000000000000000000000000001"},
    {"-340282366920938463463374607431768211455", 0, 0, kMax, 0, 0, "-340282366920938463463374607431768211455"},
    // Too large: the sign is stored, nothing else.
    {"340282366920938463463374607431768211456", 0, -2, nullptr, 0, 1, "340282366920938463463374607431768211456"},
    {"-999999999999999999999999999999999999999", 0, -2, nullptr, 0, 0, "-999999999999999999999999999999999999999"},
    {"1000000000000000000000000000000000000000", 0, -2, nullptr, 0, 1, "1000000000000000000000000000000000000000"},
    {"34028236692093846346337460743176821145.6", 0, -2, nullptr, 0, 1, "340282366920938463463374607431768211456"},
    // Scales that leave -128..127.
    {"1.5", 126, 0, "15", 127, 1, "15"},
    {"1.5", 127, -2, nullptr, 0, 1, "15"},
    {"-1", -129, -2, nullptr, 0, 0, "-1"},
};

TEST(StringToNumeric, Table)
{
    for (const TextCase &c : text_cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
        NumericValue n = junk();
        NumericValue before = n;
        EXPECT_EQ(string_to_numeric(text.data(), &n, 17, c.scale), c.rc);
        EXPECT_STREQ(text.data(), c.text_after);
        if (c.rc == 0) {
            EXPECT_TRUE(is_numeric(n, c.magnitude, c.result_scale, c.sign));
            EXPECT_EQ(n.precision, 17);
        } else {
            before.sign = static_cast<SQLCHAR>(c.sign);
            EXPECT_TRUE(same_bytes(n, before)) << describe(n);
        }
    }
}

TEST(StringToNumeric, TextThatIsNotANumberChangesNothing)
{
    for (const char *bad : {"1e5", "abc", "1.2.3", "1 2", "- 5", "--5", "0x10", "5-", "+-1", "1,5", "\t1", ". 5"}) {
        SCOPED_TRACE(bad);
        std::string text = bad;
        NumericValue n = junk(), before = n;
        EXPECT_EQ(string_to_numeric(text.data(), &n, 10, 0), -1);
        EXPECT_EQ(text, bad);
        EXPECT_TRUE(same_bytes(n, before));
        EXPECT_EQ(create_numeric(bad, &n, 10, 2), -1);
        EXPECT_TRUE(same_bytes(n, before));
    }
    NumericValue n = junk();
    EXPECT_EQ(string_to_numeric(nullptr, &n, 10, 0), -1);
    EXPECT_EQ(create_numeric(nullptr, &n, 10, 0), -1);
}

TEST(StringToNumeric, FractionBeyondTheScaleFieldIsRejected)
{
    std::string text = "0." + std::string(200, '0') + "1";
    NumericValue n = junk();
    EXPECT_EQ(string_to_numeric(text.data(), &n, 10, 0), -2);
    EXPECT_EQ(text.c_str(), "0" + std::string(200, '0') + "1");
}

// ---- create_numeric ----

TEST(CreateNumeric, Table)
{
    struct Case {
        const char *text;
        int scale;
        int rc;
        const char *magnitude;
        int sign;
    } cases[] = {
        {"1.239", 2, 0, "123", 1},
        {".5", 1, 0, "5", 1},
        {"5", 3, 0, "5000", 1},
        {"-1.999", 0, 0, "1", 0},
        {"  +12.3  ", 2, 0, "1230", 1},
        {"0.0001", 3, 0, "0", 1},
        {"-0.0001", 3, 0, "0", 1},
        {"12345", -2, 0, "123", 1},
        {"12345.99", -2, 0, "123", 1},
        {"-99", -3, 0, "0", 1},
        {"34028236692093846346337460743176821145.59", 1, 0, kMax, 1},
        {"34028236692093846346337460743176821145.59", 2, -2, nullptr, 1},
        {"1.5", 128, -2, nullptr, 1},
        {"0", 127, 0, "0", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(c.scale));
        NumericValue n = junk(), before = n;
        EXPECT_EQ(create_numeric(c.text, &n, 9, c.scale), c.rc);
        if (c.rc == 0) {
            EXPECT_TRUE(is_numeric(n, c.magnitude, c.scale, c.sign));
            EXPECT_EQ(n.precision, 9);
        } else {
            before.sign = static_cast<SQLCHAR>(c.sign);
            EXPECT_TRUE(same_bytes(n, before));
        }
    }
}

// ---- numeric_to_string ----

TEST(NumericToString, Table)
{
    const std::string max_fraction = "-0." + std::string(88, '0') + kMax;
    struct Case {
        NumericValue n;
        std::string text;
    } cases[] = {
        {num("12", -2), "1200"},
        {num("1", 5, 0), "-0.00001"},
        {num("0", 0, 0), "-0"},
        {num("0", 2, 0), "-0"},
        {num("150", 2), "1.5"},
        {num("100", 2), "1"},
        {num("5", 3), "0.005"},
        {num("0", 2), "0"},
        {num("0", -2), "000"},
        {num("12345", 2), "123.45"},
        {num("12345", 5), "0.12345"},
        {num("10000000000000000000", 0), "10000000000000000000"},
        {num("9999999999999999999", 0), "9999999999999999999"},
        {num(kTwo64, 0), kTwo64},
        {num("100000000000000000000000000000000000000", 38), "1"},
        {num("100000000000000000000000000000000000001", 38), "1.00000000000000000000000000000000000001"},
        {num(kMax, 0), kMax},
        {num(kMax, 38), "3.40282366920938463463374607431768211455"},
        {num(kMax, 127, 0), max_fraction},
        {num(kMax, -128, 0), std::string("-") + kMax + std::string(128, '0')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(c.n));
        char buffer[256];
        int length = -1;
        EXPECT_EQ(numeric_to_string(&c.n, buffer, sizeof buffer, &length), 0);
        EXPECT_EQ(buffer, c.text);
        EXPECT_EQ(length, static_cast<int>(c.text.size()));
    }
}

TEST(NumericToString, CutToTheBuffer)
{
    NumericValue n = num("12345", 0, 0); // "-12345"
    struct Case {
        int buffer_length;
        int rc;
        const char *text;
    } cases[] = {{7, 0, "-12345"}, {6, 1, "-1234"}, {2, 1, "-"}, {1, 1, ""}};
    for (const Case &c : cases) {
        char buffer[8] = "xxxxxxx";
        int length = 0;
        EXPECT_EQ(numeric_to_string(&n, buffer, c.buffer_length, &length), c.rc);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(length, 6);
    }
    char untouched[4] = "abc";
    EXPECT_EQ(numeric_to_string(&n, untouched, 0, nullptr), 1);
    EXPECT_STREQ(untouched, "abc");
}

// ---- integers in ----

TEST(IntegerToNumeric, Table)
{
    struct Case {
        int64_t value;
        bool wide;
        int scale;
        int rc;
        const char *magnitude;
        int sign;
    } cases[] = {
        {12345, false, -2, 0, "123", 1},
        {-7, false, 0, 0, "7", 0},
        {INT32_MIN, false, 0, 0, "2147483648", 0},
        {5, false, 3, 0, "5000", 1},
        {-5, false, -1, 0, "0", 1}, // truncates to a positive zero
        {-15, false, -1, 0, "1", 0},
        {1, false, 38, 0, "100000000000000000000000000000000000000", 1},
        {5, false, -40, 0, "0", 1},
        {0, false, 127, 0, "0", 1},
        {INT64_MIN, true, 0, 0, "9223372036854775808", 0},
        {INT64_MAX, true, 0, 0, "9223372036854775807", 1},
        {INT64_MAX, true, 19, 0, "92233720368547758070000000000000000000", 1},
        {INT64_MIN, true, -18, 0, "9", 0},
        {INT64_MIN, true, -19, 0, "0", 1},
        // The exact result does not fit: nothing changes.
        {INT64_MAX, true, 20, -2, nullptr, 0},
        {1, true, 39, -2, nullptr, 0},
        {1, true, 128, -2, nullptr, 0},
        {1, true, -129, -2, nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " at " + std::to_string(c.scale));
        NumericValue n = junk(), before = n;
        int rc = c.wide ? bigint_to_numeric(c.value, &n, 20, c.scale)
                        : int_to_numeric(static_cast<int32_t>(c.value), &n, 20, c.scale);
        EXPECT_EQ(rc, c.rc);
        if (rc == 0) {
            EXPECT_TRUE(is_numeric(n, c.magnitude, c.scale, c.sign));
            EXPECT_EQ(n.precision, 20);
        } else {
            EXPECT_TRUE(same_bytes(n, before));
        }
    }
    NumericValue n;
    EXPECT_EQ(int_to_numeric_noscale(-42, &n, 15), 0);
    EXPECT_TRUE(is_numeric(n, "42", 0, 0));
    EXPECT_EQ(n.precision, 15);
    EXPECT_EQ(bigint_to_numeric_noscale(INT64_MAX, &n, 20), 0);
    EXPECT_TRUE(is_numeric(n, "9223372036854775807", 0, 1));
}

// ---- doubles in ----

TEST(DoubleToNumeric, Table)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        int scale;
        int rc;
        const char *magnitude;
        int sign;
    } cases[] = {
        {2.5, 0, 0, "2", 1},
        {3.5, 0, 0, "4", 1},
        {-2.5, 0, 0, "2", 0},
        {1.005, 2, 0, "100", 1}, // 1.005 x 100 is 100.49999999999999
        {0.125, 2, 0, "12", 1},
        {-0.4, 0, 0, "0", 1}, // zero is always positive
        {-0.0, 0, 0, "0", 1},
        {0.4, 0, 0, "0", 1},
        {1200.0, -2, 0, "12", 1},
        {-1250.0, -1, 0, "125", 0},
        {1e38, 0, 0, "99999999999999997748809823456034029568", 1},
        {0x1p127, 0, 0, "170141183460469231731687303715884105728", 1},
        {1.5, 38, 0, "150000000000000006067947700923341471744", 1},
        {1234.0, -2, 1, nullptr, 0},
        {0.5, -1, 1, nullptr, 0},
        {std::nan(""), 0, -1, nullptr, 0},
        {inf, 0, -1, nullptr, 0},
        {-inf, 2, -1, nullptr, 0},
        {1e39, 0, -2, nullptr, 1},
        {-1e39, 0, -2, nullptr, 0},
        {0x1p128, 0, -2, nullptr, 1},
        {4.0, 38, -2, nullptr, 1},
        {1.0, 128, -2, nullptr, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " at " + std::to_string(c.scale));
        NumericValue n = junk(), before = n;
        EXPECT_EQ(double_to_numeric(c.value, &n, 12, c.scale), c.rc);
        if (c.rc == 0) {
            EXPECT_TRUE(is_numeric(n, c.magnitude, c.scale, c.sign));
            EXPECT_EQ(n.precision, 12);
        } else {
            if (c.rc == -2)
                before.sign = static_cast<SQLCHAR>(c.sign);
            EXPECT_TRUE(same_bytes(n, before)) << describe(n);
        }
    }
}

// ---- numerics out ----

TEST(NumericToInteger, SaturatesAndTruncates)
{
    struct Case {
        NumericValue n;
        int expect_int;
        int64_t expect_big;
    } cases[] = {
        {num("2147483648", 0), INT_MAX, 2147483648LL},
        {num("2147483647", 0), INT_MAX, 2147483647LL},
        {num("2147483648", 0, 0), INT_MIN, -2147483648LL},
        {num("2147483649", 0, 0), INT_MIN, -2147483649LL},
        {num("19", 1, 0), -1, -1},
        {num("5", 1, 0), 0, 0},
        {num("12", -2), 1200, 1200},
        {num("9223372036854775807", 0), INT_MAX, INT64_MAX},
        {num("9223372036854775808", 0), INT_MAX, INT64_MAX},
        {num("9223372036854775808", 0, 0), INT_MIN, INT64_MIN},
        {num("9223372036854775809", 0, 0), INT_MIN, INT64_MIN},
        {num(kMax, 0), INT_MAX, INT64_MAX},
        {num(kMax, 30), 340282366, 340282366},
        {num(kMax, 39), 0, 0},
        {num("5", 50), 0, 0},
        {num("1", -100, 0), INT_MIN, INT64_MIN},
        {num("0", -100), 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(c.n));
        int i = 7;
        int64_t b = 7;
        EXPECT_EQ(numeric_to_int(&c.n, &i), 0);
        EXPECT_EQ(numeric_to_bigint(&c.n, &b), 0);
        EXPECT_EQ(i, c.expect_int);
        EXPECT_EQ(b, c.expect_big);
    }
}

TEST(NumericToDouble, SumsTheBitsInAscendingOrder)
{
    struct Case {
        NumericValue n;
        double expect;
    } cases[] = {
        {num("170141183460469231731687303715884105728", 0), 1.7014118346046923e38},
        // Adding 2^0 .. 2^55 upward rounds twice: the correctly rounded
        // double would be 59948718666985624.
        {num("59948718666985621", 0), 59948718666985620.0},
        {num("3", 1), 3 * 0.1},
        {num("15", 1, 0), -1.5},
        {num("12", -2), 1200.0},
        {num(kMax, 0), 0x1p128},
        {num("0", 0, 0), -0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(c.n));
        double d = 0;
        EXPECT_EQ(numeric_to_double(&c.n, &d), 0);
        EXPECT_EQ(std::memcmp(&d, &c.expect, sizeof d), 0) << d << " != " << c.expect;
    }
}

// ---- comparison ----

TEST(NumericCompare, Table)
{
    struct Case {
        NumericValue a, b;
        int expect;
    } cases[] = {
        {num("150", 2), num("15", 1), 0},
        {num("15", 1, 0), num("10", 0, 0), 1},
        {num("10", 0, 0), num("15", 1, 0), -1},
        {num("0", 0, 1), num("0", 0, 0), 0}, // zeros are equal whatever their sign bytes
        {num("0", 0, 0), num("0", 3, 1), 0},
        {num("0", 2, 0), num("0", -1, 0), 0},
        {num("5", 0, 0), num("3", 0, 0), -1},
        {num("3", 0), num("30", 1), 0},
        {num("31", 1), num("3", 0), 1},
        {num("0", -2), num("5", 0), -1}, // a zero at a negative scale is still zero
        {num("0", -2), num("0", 3), 0},
        {num(kMax, 0), num("1", -39), -1},
        {num("1", -39, 0), num(kMax, 0, 0), -1},
        {num(kMax, 0), num(kMax, 1), 1},
        {num(kTwo64, 0), num("18446744073709551615", 0), 1},
        {num(kMax, -128), num(kMax, 127), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(c.a) + " vs " + describe(c.b));
        EXPECT_EQ(numeric_compare(&c.a, &c.b), c.expect);
        EXPECT_EQ(numeric_compare(&c.b, &c.a), -c.expect);
    }
    NumericValue zero = num("0", 5, 0), nonzero = num("1", 127);
    EXPECT_EQ(numeric_is_zero(&zero), 1);
    EXPECT_EQ(numeric_is_zero(&nonzero), 0);
}

// ---- arithmetic ----

enum Op { Add, Subtract, Multiply, Divide };

struct ArithmeticCase {
    Op op;
    NumericValue a, b;
    int rc;
    const char *magnitude;
    int scale;
    int sign;
    int precision;
};

int run(Op op, NumericValue *a, const NumericValue &b)
{
    switch (op) {
    case Add: return add_numeric(a, &b);
    case Subtract: return subtract_numeric(a, &b);
    case Multiply: return mult_numeric(a, &b);
    default: return div_numeric(a, &b, nullptr);
    }
}

void check_arithmetic(const ArithmeticCase &c)
{
    SCOPED_TRACE(std::to_string(c.op) + ": " + describe(c.a) + " with " + describe(c.b));
    NumericValue a = c.a, b = c.b, b_before = b;
    EXPECT_EQ(run(c.op, &a, b), c.rc);
    EXPECT_TRUE(is_numeric(a, c.magnitude, c.scale, c.sign));
    EXPECT_EQ(a.precision, c.precision);
    EXPECT_TRUE(same_bytes(b, b_before));
}

TEST(AddNumeric, Table)
{
    const ArithmeticCase cases[] = {
        {Add, num("15", 1, 1, 5), num("225", 2, 1, 7), 0, "375", 2, 1, 5},
        {Add, num("225", 2, 1, 7), num("15", 1, 1, 5), 0, "375", 2, 1, 7},
        {Add, num("5", 0), num("7", 0, 0), 0, "2", 0, 0, 0},
        {Add, num("5", 0, 0), num("7", 0), 0, "2", 0, 1, 0},
        {Add, num("3", 0, 0), num("3", 0), 0, "0", 0, 1, 0}, // an exact cancellation is a positive zero
        {Add, num("3", 0), num("3", 0, 0), 0, "0", 0, 1, 0},
        {Add, num("18446744073709551615", 0), num("1", 0), 0, kTwo64, 0, 1, 0},
        {Add, num(kTwo64, 0, 0), num("1", 0), 0, "18446744073709551615", 0, 0, 0},
        {Add, num(kMax, 0), num("0", 0), 0, kMax, 0, 1, 0},
        {Add, num(kMax, 0), num("1", 0), -2, "0", 0, 1, 0},
        {Add, num(kMax, 0, 0), num("2", 0, 0), -2, "1", 0, 0, 0},
        // Raising 2^127 to scale 1 needs more than 128 bits; the low bits stay.
        {Add, num("170141183460469231731687303715884105728", 0), num("1", 1), -2, "1", 1, 1, 0},
        {Add, num("1", -2), num("1", 0), 0, "101", 0, 1, 0},
        {Subtract, num("1000", 2), num("5", 1), 0, "950", 2, 1, 0},
        {Subtract, num("5", 1), num("1000", 2), 0, "950", 2, 0, 0},
        {Subtract, num("5", 0, 0), num("7", 0, 0), 0, "2", 0, 1, 0},
        {Subtract, num("5", 0), num("5", 0), 0, "0", 0, 1, 0},
        {Subtract, num(kMax, 0, 0), num("1", 0), -2, "0", 0, 1, 0},
    };
    for (const ArithmeticCase &c : cases)
        check_arithmetic(c);
}

TEST(MultNumeric, Table)
{
    const ArithmeticCase cases[] = {
        {Multiply, num("2", 0, 0, 5), num("3", 0, 1, 5), 0, "6", 0, 0, 0},
        {Multiply, num("15", 1), num("225", 2), 0, "3375", 3, 1, 0},
        {Multiply, num("2", 0, 0), num("2", 0, 0), 0, "4", 0, 1, 0},
        {Multiply, num("100", 2), num("100", 2), 0, "10000", 4, 1, 0},
        {Multiply, num("0", 0, 0), num("5", 0), 0, "0", 0, 1, 0},
        {Multiply, num("18446744073709551615", 0), num("18446744073709551617", 0), 0, kMax, 0, 1, 0},
        {Multiply, num(kTwo64, 0), num(kTwo64, 0), -2, "0", 0, 1, 0},
        {Multiply, num(kMax, 0), num("2", 0), -2, "340282366920938463463374607431768211454", 0, 1, 0},
        {Multiply, num("2", 100), num("3", 100), -2, "6", -56, 1, 0},
        {Multiply, num("2", -100), num("3", -100), -2, "6", 56, 1, 0},
    };
    for (const ArithmeticCase &c : cases)
        check_arithmetic(c);
}

TEST(DivNumeric, Table)
{
    const ArithmeticCase cases[] = {
        {Divide, num("200", 2, 1, 6), num("3", 0, 1, 9), 0, "67", 2, 1, 6},
        {Divide, num("2", 0), num("3", 0), 0, "1", 0, 1, 0},
        {Divide, num("1", 0), num("3", 0), 0, "0", 0, 1, 0},
        {Divide, num("1", 0, 0), num("3", 0), 0, "0", 0, 1, 0}, // -0.33 rounds to (positive) 0
        {Divide, num("7", 0), num("2", 0), 0, "4", 0, 1, 0},
        {Divide, num("5", 0), num("2", 0), 0, "2", 0, 1, 0},
        {Divide, num("7", 0, 0), num("2", 0), 0, "4", 0, 0, 0},
        {Divide, num("35", 1), num("7", 0, 0), 0, "5", 1, 0, 0},
        {Divide, num("100000000000000000000", 0), num("3", 0), 0, "33333333333333331968", 0, 1, 0},
        {Divide, num("12", -2), num("7", 0), 0, "2", -2, 1, 0}, // 1200 / 7 = 171.4 is 200 at scale -2
        {Divide, num("1", 0), num("8", 3), 0, "125", 0, 1, 0},
        // The quotient does not fit: the dividend stays as it was.
        {Divide, num(kMax, 0), num("1", 1), -2, kMax, 0, 1, 0},
        {Divide, num(kMax, 0), num("1", 1, 0), -2, kMax, 0, 1, 0},
        // No context: a zero divisor gives 0 at the dividend's scale, and -1.
        {Divide, num("5", 2, 0, 4), num("0", 1, 0), -1, "0", 2, 1, 4},
    };
    for (const ArithmeticCase &c : cases)
        check_arithmetic(c);
}

class DivisionByZero : public numtest::EvalFixture {};

TEST_F(DivisionByZero, LeavesThroughTheErrorExit)
{
    NumericValue a = num("5", 0), zero = num("0", 3, 0);
    int jumped = numtest::guarded(context, [&] { div_numeric(&a, &zero, &context); });
    EXPECT_EQ(jumped, -1);
    EXPECT_EQ(context.status, -1);
    EXPECT_EQ(stmt.error_header->return_code, -1);
    EXPECT_EQ(stmt.error_header->record_count, 1);
    auto d = last_diagnostic();
    EXPECT_EQ(d.sqlstate, "22012");
    EXPECT_EQ(d.message, "[Kestrova ODBC]Division by zero");
    EXPECT_EQ(d.subclass_origin, "ISO 9075");
    EXPECT_EQ(d.class_origin, "ODBC 3.0");
    EXPECT_TRUE(is_numeric(a, "5", 0, 1)); // the dividend is untouched
}

// ---- differential run against the digit-string baseline ----

namespace ref = numeric_reference;

class Generator {
public:
    explicit Generator(uint64_t seed) : rng(seed) {}

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    bool chance(int percent) { return uniform(1, 100) <= percent; }

    // A digit string: random lengths 1 to 40, or a boundary.
    std::string digits()
    {
        static const char *const boundaries[] = {
            "18446744073709551615", "18446744073709551616", "18446744073709551617",
            "340282366920938463463374607431768211455", "340282366920938463463374607431768211454",
            "340282366920938463463374607431768211456", "340282366920938463463374607431768211457",
            "9223372036854775807", "9223372036854775808", "9223372036854775809",
            "2147483647", "2147483648", "10000000000000000000", "9999999999999999999",
            "100000000000000000000000000000000000000", "99999999999999999999999999999999999999",
            "999999999999999999999999999999999999999", "0", "1", "999999", "1000000"};
        if (chance(8))
            return boundaries[uniform(0, int(std::size(boundaries)) - 1)];
        int n = chance(3) ? 40 : uniform(1, 39);
        std::string d;
        for (int i = 0; i < n; i++)
            d += char('0' + uniform(i == 0 && n > 1 ? 1 : 0, 9));
        return d;
    }

    // The digits dressed as a text: a point somewhere, leading zeros,
    // blanks and a sign.
    std::string text()
    {
        std::string d = digits();
        if (chance(50))
            d.insert(size_t(uniform(0, int(d.size()))), ".");
        if (chance(20))
            d.insert(0, std::string(size_t(uniform(1, 4)), '0'));
        int sign = uniform(0, 2);
        if (sign)
            d.insert(0, sign == 1 ? "-" : "+");
        if (chance(20))
            d.insert(0, std::string(size_t(uniform(1, 3)), ' '));
        if (chance(5))
            d += std::string(size_t(uniform(1, 2)), ' ');
        return d;
    }

    int scale() { return uniform(-10, 38); }

    std::mt19937_64 rng;
};

std::string bytes_of(const void *p, size_t n)
{
    std::string s;
    char hex[4];
    for (size_t i = 0; i < n; i++) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<const unsigned char *>(p)[i]);
        s += hex;
    }
    return s;
}

// Reports the first few disagreements; the label is only built for them.
struct Differences {
    int count = 0;
    bool report() { return ++count <= 10; }
};

#define DIFF_VALUE(d, lib, ref, label)                                                                \
    do {                                                                                              \
        if (!((lib) == (ref)) && (d).report())                                                        \
            ADD_FAILURE() << (label) << ": library " << ::testing::PrintToString(lib) << " reference "  \
                          << ::testing::PrintToString(ref);                                           \
    } while (0)

#define DIFF_BYTES(d, lib, ref, label)                                                                \
    do {                                                                                              \
        static_assert(sizeof(lib) == sizeof(ref));                                                    \
        if (std::memcmp(&(lib), &(ref), sizeof(lib)) != 0 && (d).report())                            \
            ADD_FAILURE() << (label) << ": library " << bytes_of(&(lib), sizeof(lib)) << " reference " \
                          << bytes_of(&(ref), sizeof(ref));                                           \
    } while (0)

std::string call(const char *function, const std::string &text, int scale)
{
    return std::string(function) + "(\"" + text + "\", " + std::to_string(scale) + ")";
}

// The digit-string method keeps the sign of a negative zero; the library
// makes every zero it writes positive.
NumericValue &zero_is_positive(NumericValue &n)
{
    if (std::all_of(std::begin(n.val), std::end(n.val), [](SQLCHAR byte) { return byte == 0; }))
        n.sign = 1;
    return n;
}

void compare_conversions(Differences &d, Generator &g, const std::string &text, NumericValue *out)
{
    int scale = g.scale();
    std::string t1 = text, t2 = text;
    NumericValue a = junk(), b = junk();
    int rc1 = string_to_numeric(t1.data(), &a, 20, scale);
    int rc2 = ref::string_to_numeric(t2.data(), &b, 20, scale);
    DIFF_VALUE(d, rc1, rc2, call("string_to_numeric", text, scale) + " rc");
    DIFF_VALUE(d, t1, t2, call("string_to_numeric", text, scale) + " text");
    DIFF_BYTES(d, a, zero_is_positive(b), call("string_to_numeric", text, scale));
    *out = rc1 == 0 ? a : num("0", 0);

    if (!g.chance(25))
        return;
    int create_scale = g.chance(10) ? g.uniform(-10, -1) : g.uniform(0, 38);
    a = junk(), b = junk();
    rc1 = create_numeric(text.c_str(), &a, 20, create_scale);
    rc2 = ref::create_numeric(text.c_str(), &b, 20, create_scale);
    DIFF_VALUE(d, rc1, rc2, call("create_numeric", text, create_scale) + " rc");
    DIFF_BYTES(d, a, zero_is_positive(b), call("create_numeric", text, create_scale));
}

void compare_outputs(Differences &d, Generator &g, const NumericValue &n)
{
    char lib_text[200], ref_text[200];
    std::memset(lib_text, 'x', sizeof lib_text);
    std::memset(ref_text, 'x', sizeof ref_text);
    int buffer_length = g.chance(20) ? g.uniform(0, 45) : int(sizeof lib_text);
    int lib_length = -1, ref_length = -1;
    int rc1 = numeric_to_string(&n, lib_text, buffer_length, &lib_length);
    int rc2 = ref::numeric_to_string(&n, ref_text, buffer_length, &ref_length);
    DIFF_VALUE(d, rc1, rc2, "numeric_to_string rc " + describe(n));
    DIFF_VALUE(d, lib_length, ref_length, "numeric_to_string length " + describe(n));
    DIFF_BYTES(d, lib_text, ref_text, "numeric_to_string text " + describe(n));

    double x = 0, y = 0;
    numeric_to_double(&n, &x);
    ref::numeric_to_double(&n, &y);
    DIFF_BYTES(d, x, y, "numeric_to_double " + describe(n));

    if (g.chance(10)) {
        int i1 = 0, i2 = 0;
        int64_t b1 = 0, b2 = 0;
        numeric_to_int(&n, &i1);
        ref::numeric_to_int(&n, &i2);
        numeric_to_bigint(&n, &b1);
        ref::numeric_to_bigint(&n, &b2);
        DIFF_VALUE(d, i1, i2, "numeric_to_int " + describe(n));
        DIFF_VALUE(d, b1, b2, "numeric_to_bigint " + describe(n));
    }

    if (!g.chance(25))
        return;
    int scale = g.scale();
    NumericValue a = junk(), b = junk();
    int r1 = double_to_numeric(x, &a, 20, scale), r2 = ref::double_to_numeric(x, &b, 20, scale);
    DIFF_VALUE(d, r1, r2, "double_to_numeric rc " + std::to_string(x) + " at " + std::to_string(scale));
    DIFF_BYTES(d, a, zero_is_positive(b), "double_to_numeric " + std::to_string(x) + " at " + std::to_string(scale));
}

void compare_pair(Differences &d, Generator &g, const NumericValue &p, NumericValue q)
{
    if (g.chance(85))
        q.scale = p.scale; // equal scales take the byte-wise paths
    DIFF_VALUE(d, numeric_compare(&p, &q), ref::numeric_compare(&p, &q),
               "numeric_compare " + describe(p) + " with " + describe(q));
    for (Op op : {Add, Subtract, Multiply, Divide}) {
        if (op == Divide && !g.chance(12))
            continue;
        NumericValue a = p, b = p;
        int rc1 = run(op, &a, q);
        int rc2 = op == Add        ? ref::add_numeric(&b, &q)
                  : op == Subtract ? ref::subtract_numeric(&b, &q)
                  : op == Multiply ? ref::mult_numeric(&b, &q)
                                   : ref::div_numeric(&b, &q, nullptr);
        DIFF_VALUE(d, rc1, rc2, "op " + std::to_string(op) + " rc " + describe(p) + " with " + describe(q));
        DIFF_BYTES(d, a, zero_is_positive(b), "op " + std::to_string(op) + " " + describe(p) + " with " + describe(q));
    }
}

void compare_integers(Differences &d, Generator &g)
{
    // Within the caller's contract: |scale| <= 18 and the scaled value in 64 bits.
    int scale = g.uniform(-18, 18);
    int64_t value = static_cast<int64_t>(g.rng());
    if (scale > 0)
        value /= static_cast<int64_t>(std::pow(10, scale));
    if (g.chance(50))
        value >>= g.uniform(0, 62);
    NumericValue a = junk(), b = junk();
    DIFF_VALUE(d, bigint_to_numeric(value, &a, 19, scale), ref::bigint_to_numeric(value, &b, 19, scale),
               "bigint_to_numeric rc");
    DIFF_BYTES(d, a, b, "bigint_to_numeric(" + std::to_string(value) + ", " + std::to_string(scale) + ")");
}

TEST(NumericDifferential, AgreesWithTheDigitStringMethod)
{
    constexpr int kCases = 100000;
    Generator g(20240611);
    Differences d;
    NumericValue previous = num("1", 0);
    for (int i = 0; i < kCases && d.count < 10; i++) {
        std::string text = g.text();
        NumericValue n;
        compare_conversions(d, g, text, &n);
        compare_outputs(d, g, n);
        compare_pair(d, g, n, previous);
        compare_integers(d, g);
        previous = n;
    }
    EXPECT_EQ(d.count, 0);
}

} // namespace
