// Literal constructors as the parser calls them, interval literals against
// their qualifiers, and the interval type promotion.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>
#include <cstring>
#include <string>

#include "host_locale.h"
#include "handle_fixture.h"

namespace {

using Literals = HandleTest;

TEST_F(Literals, CharacterStrings)
{
    struct {
        const char *text, *expected;
    } cases[] = {
        {"'abc'", "abc"}, {"''", ""}, {"'it''s'", "it's"}, {"''''", "'"}, {"'a'''", "a'"}, {"\"x\"", "x"},
    };
    for (const auto &c : cases) {
        Value *v = MakeLiteral(KV_LITERAL_STRING, c.text, mem);
        ASSERT_NE(v, nullptr) << c.text;
        EXPECT_EQ(v->kind, KV_NODE_VALUE);
        EXPECT_EQ(v->type, VT_STRING);
        EXPECT_STREQ(v->data.s, c.expected);
        EXPECT_EQ(v->length, static_cast<int>(std::strlen(c.expected)));
        EXPECT_EQ(v->indicator, 0);
        EXPECT_EQ(v->mem, mem);
        EXPECT_NE(v->inline_data, 0);
    }
    // A long string lives in the value's own block.
    std::string text = "'" + std::string(300, 'q') + "'";
    Value *v = MakeLiteral(KV_LITERAL_STRING, text.c_str(), mem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->length, 300);
    EXPECT_EQ(v->data.s, reinterpret_cast<char *>(v + 1));
    release_value(mem, v);
}

TEST_F(Literals, TextsTooShortForTheirDelimiters)
{
    struct {
        int code;
        const char *text;
    } cases[] = {
        {KV_LITERAL_STRING, ""}, {KV_LITERAL_STRING, "'"}, {KV_LITERAL_STRING, nullptr},
        {KV_LITERAL_BIT, ""},    {KV_LITERAL_BIT, "B"},    {KV_LITERAL_BIT, "B'"},
        {KV_LITERAL_HEX, ""},    {KV_LITERAL_HEX, "X"},    {KV_LITERAL_HEX, "X'"},
        {KV_LITERAL_HEX, "0"},   {KV_LITERAL_DATE, ""},    {KV_LITERAL_DATE, nullptr},
        {KV_LITERAL_TIME, "'"},  {KV_LITERAL_TIMESTAMP, "'2001"},
    };
    for (const auto &c : cases) {
        // Each text is copied into a block of its exact size, so a read past
        // its end shows under the address sanitizer.
        std::unique_ptr<char[]> exact;
        if (c.text) {
            exact.reset(new char[std::strlen(c.text) + 1]);
            std::strcpy(exact.get(), c.text);
        }
        EXPECT_EQ(MakeLiteral(c.code, exact.get(), mem), nullptr) << c.code << " '" << (c.text ? c.text : "NULL") << "'";
    }
}

TEST_F(Literals, Bits)
{
    Value *zero = MakeLiteral(KV_LITERAL_BIT, "B'0'", mem);
    Value *one = MakeLiteral(KV_LITERAL_BIT, "b'1'", mem);
    ASSERT_TRUE(zero && one);
    EXPECT_EQ(zero->type, VT_BIT);
    EXPECT_EQ(zero->data.i, 0);
    EXPECT_EQ(one->data.i, 1);
    for (const char *bad : {"B'2'", "B'x'", "B' 1'"})
        EXPECT_EQ(MakeLiteral(KV_LITERAL_BIT, bad, mem), nullptr) << bad;
}

TEST_F(Literals, Hexadecimal)
{
    // octet_length -1: the literal fails. A binary value holds exactly the
    // bytes its digits give, so a digit that is none fails the literal.
    const std::string long_bad = "X'G" + std::string(399, '0') + "'";
    struct {
        const char *text;
        std::vector<unsigned char> bytes;
        int octet_length;
    } cases[] = {
        {"X'ABC'", {0x0A, 0xBC}, 2},
        {"x'00ff'", {0x00, 0xFF}, 2},
        {"X''", {}, 0},
        {"0x1f2", {0x01, 0xF2}, 2},          // prefix form, no closing delimiter
        {"X'A'", {0x0A}, 1},
        {"X'AG12'", {}, -1},
        {"X'G1'", {}, -1},
        {"X'1G'", {}, -1},
        {"0x1g", {}, -1},
        {"X'12 '", {}, -1},
        {long_bad.c_str(), {}, -1},
    };
    for (const auto &c : cases) {
        Value *v = MakeLiteral(KV_LITERAL_HEX, c.text, mem);
        if (c.octet_length < 0) {
            EXPECT_EQ(v, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(v, nullptr) << c.text;
        EXPECT_EQ(v->type, VT_BINARY);
        EXPECT_EQ(v->inline_data, 0);
        EXPECT_EQ(v->octet_length, c.octet_length) << c.text;
        ASSERT_EQ(v->length, static_cast<int>(c.bytes.size())) << c.text;
        if (!c.bytes.empty()) {
            EXPECT_EQ(std::memcmp(v->data.b, c.bytes.data(), c.bytes.size()), 0) << c.text;
        }
        // A copy renders and compares as the original.
        Value *copy = duplicate_value(mem, v);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(compare_values(copy, v), 0) << c.text;
        std::vector<char> a(static_cast<std::size_t>(2 * c.octet_length + 4)), b(a.size());
        EXPECT_STREQ(value_as_text(copy, a.data()), value_as_text(v, b.data())) << c.text;
    }
    // The separate data block goes with the value, and a failed literal leaves nothing.
    long before = kv_test_live_blocks();
    Value *v = MakeLiteral(KV_LITERAL_HEX, "X'0102'", mem);
    EXPECT_EQ(kv_test_live_blocks(), before + 2);
    release_value(mem, v);
    EXPECT_EQ(MakeLiteral(KV_LITERAL_HEX, "X'01G2'", mem), nullptr);
    EXPECT_EQ(kv_test_live_blocks(), before);
}

TEST_F(Literals, DatesTimesTimestamps)
{
    Value *d = MakeLiteral(KV_LITERAL_DATE, "{d '2001-02-03'}", mem);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->type, VT_DATE);
    EXPECT_EQ(d->data.date.year, 2001);
    EXPECT_EQ(d->data.date.month, 2);
    EXPECT_EQ(d->data.date.day, 3);
    Value *bc = MakeLiteral(KV_LITERAL_DATE, "DATE '-44-03-15'", mem);
    ASSERT_NE(bc, nullptr);
    EXPECT_EQ(bc->data.date.year, -44);
    EXPECT_EQ(bc->data.date.month, 3);
    EXPECT_EQ(bc->data.date.day, 15);
    Value *unchecked = MakeLiteral(KV_LITERAL_DATE, "'2001-13-45'", mem);
    ASSERT_NE(unchecked, nullptr);
    EXPECT_EQ(unchecked->data.date.month, 13);

    Value *t = MakeLiteral(KV_LITERAL_TIME, "{t '04:05:06'}", mem);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->type, VT_TIME);
    EXPECT_EQ(t->data.time.hour, 4);
    EXPECT_EQ(t->data.time.minute, 5);
    EXPECT_EQ(t->data.time.second, 6);

    struct {
        const char *text;
        SQL_TIMESTAMP_STRUCT expected;
    } cases[] = {
        {"{ts '2001-02-03 04:05:06'}", {2001, 2, 3, 4, 5, 6, 0}},
        {"TIMESTAMP '2001-02-03   23:59:58'", {2001, 2, 3, 23, 59, 58, 0}},
        {"'2001-02-03 04:05:06.5'", {2001, 2, 3, 4, 5, 6, 500000000}},
        {"'2001-02-03 04:05:06.1234567891'", {2001, 2, 3, 4, 5, 6, 123456789}},
    };
    for (const auto &c : cases) {
        Value *ts = MakeLiteral(KV_LITERAL_TIMESTAMP, c.text, mem);
        ASSERT_NE(ts, nullptr) << c.text;
        EXPECT_EQ(ts->type, VT_TIMESTAMP);
        EXPECT_EQ(std::memcmp(&ts->data.ts, &c.expected, sizeof c.expected), 0) << c.text;
    }

    const char *failing[][2] = {
        {"6", "2001-02-03"},    {"6", "'2001/02/03'"}, {"6", "'2001-02'"},
        {"7", "'04:05'"},       {"7", "04:05:06"},     {"8", "'2001-02-03'"},
        {"8", "'2001-02-03 04:05'"},
    };
    for (const auto &f : failing)
        EXPECT_EQ(MakeLiteral(std::atoi(f[0]), f[1], mem), nullptr) << f[0] << " " << f[1];
}

TEST_F(Literals, KeywordLiteralsAndCodes)
{
    struct {
        int code, type;
    } cases[] = {
        {KV_LITERAL_USER, VT_USER},
        {KV_LITERAL_CURRENT_TIMESTAMP, VT_CURRENT_TIMESTAMP},
        {KV_LITERAL_CURRENT_TIME, VT_CURRENT_TIME},
        {KV_LITERAL_CURRENT_DATE, VT_CURRENT_DATE},
    };
    for (const auto &c : cases) {
        Value *v = MakeLiteral(c.code, nullptr, mem);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
    }
    for (int code : {0, 1, 9, 13, -1})
        EXPECT_EQ(MakeLiteral(code, "'x'", mem), nullptr) << code;

    Value *ts = MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIMESTAMP, nullptr, 3, mem);
    Value *tm = MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIME, "ignored", 2, mem);
    Value *other = MakeLiteralWithPrec(KV_LITERAL_CURRENT_DATE, nullptr, 2, mem);
    ASSERT_TRUE(ts && tm && other);
    EXPECT_EQ(ts->type, VT_CURRENT_TIMESTAMP);
    EXPECT_EQ(ts->precision, 3);
    EXPECT_EQ(tm->type, VT_CURRENT_TIME);
    EXPECT_EQ(tm->precision, 2);
    EXPECT_EQ(other->type, 0);

    Value *null = MakeNull(mem);
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->type, VT_NULL);

    NodeParameter *p = MakeDynamic(7, mem);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, NODE_PARAMETER);
    EXPECT_EQ(p->number, 7);
    EXPECT_EQ(p->reserved, 0);
}

std::string magnitude(const Value *v)
{
    std::string digits;
    unsigned char bytes[16];
    std::memcpy(bytes, v->data.num.val, 16);
    for (;;) {  // repeated division by ten of the little-endian magnitude
        unsigned remainder = 0;
        bool zero = true;
        for (int i = 15; i >= 0; i--) {
            unsigned current = remainder << 8 | bytes[i];
            bytes[i] = static_cast<unsigned char>(current / 10);
            remainder = current % 10;
            zero = zero && bytes[i] == 0;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
        if (zero)
            return digits;
    }
}

TEST_F(Literals, Numbers)
{
    struct {
        const char *i, *f;
        int type;
        double d;               // integer or double value
        int precision, scale;   // exact numerics
        const char *digits;
    } cases[] = {
        {"123456", nullptr, VT_INTEGER, 123456, 0, 0, nullptr},
        {"000042", "", VT_INTEGER, 42, 0, 0, nullptr},
        {"1234567", nullptr, VT_NUMERIC, 0, 7, 0, "1234567"},
        {"123456", "123456", VT_DOUBLE, 123456.123456, 0, 0, nullptr},
        {"1234567", "1", VT_NUMERIC, 0, 10, 1, "12345671"},
        {"1", "1234567", VT_NUMERIC, 0, 10, 7, "11234567"},
        {nullptr, "5", VT_DOUBLE, 0.5, 0, 0, nullptr},
        {"", "25", VT_DOUBLE, 0.25, 0, 0, nullptr},
        {nullptr, "1234567", VT_NUMERIC, 0, 10, 7, "1234567"},
        {"340282366920938463463374607431768211455", nullptr, VT_NUMERIC, 0, 39, 0,
         "340282366920938463463374607431768211455"},
        {nullptr, nullptr, 0, 0, 0, 0, nullptr},
        {"", "", 0, 0, 0, 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.i ? c.i : "NULL") << " . " << (c.f ? c.f : "NULL"));
        int status = 9;
        Value *v = MakeNumericEx(c.i, c.f, mem, &status);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(v->type, c.type);
        if (c.type == VT_INTEGER) {
            EXPECT_EQ(v->data.i, static_cast<int>(c.d));
        }
        if (c.type == VT_DOUBLE) {
            EXPECT_DOUBLE_EQ(v->data.d, c.d);
        }
        if (c.type == VT_NUMERIC) {
            EXPECT_EQ(v->precision, c.precision);
            EXPECT_EQ(v->scale, c.scale);
            EXPECT_EQ(v->data.num.scale, c.scale);
            EXPECT_EQ(v->data.num.sign, 1);
            EXPECT_EQ(magnitude(v), c.digits);
        }
    }
    Value *big = MakeInteger("1234567", mem);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->type, VT_NUMERIC);
    EXPECT_EQ(big->precision, 7);
    EXPECT_EQ(big->scale, 0);
    Value *small = MakeInteger("999999", mem);
    EXPECT_EQ(small->type, VT_INTEGER);
    EXPECT_EQ(small->data.i, 999999);
}

TEST_F(Literals, NumberBeyondTheExactRange)
{
    // A literal that does not fit is NULL; MakeNumericEx tells why.
    long before = kv_test_live_blocks();
    int status = 0;
    EXPECT_EQ(MakeNumericEx("340282366920938463463374607431768211456", nullptr, mem, &status), nullptr);
    EXPECT_EQ(status, -2);
    EXPECT_EQ(MakeNumeric("1", std::string(45, '9').c_str(), mem), nullptr);
    EXPECT_EQ(MakeInteger(std::string(40, '9').c_str(), mem), nullptr);
    EXPECT_EQ(kv_test_live_blocks(), before);
}

TEST_F(Literals, FloatsInAnyLocale)
{
    const char *saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string restore = saved ? saved : "C";
    // A decimal-comma locale, when the system has one, must not change how
    // literals read.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    // Out of range is decided by the value, not by the exponent's sign.
    const std::string tiny = "0." + std::string(340, '0') + "1";
    const std::string huge = "1" + std::string(320, '0') + "e-1";
    const std::string negative_huge = "-" + std::string(400, '9');
    struct {
        const char *text;
        double expected;
    } cases[] = {
        {"1.5", 1.5}, {"  -2.25E2", -225.0}, {"+3e-2", 0.03}, {"1e999", HUGE_VAL}, {"-1e999", -HUGE_VAL},
        {"1e-999", 0.0}, {"abc", 0.0}, {".5", 0.5}, {tiny.c_str(), 0.0}, {huge.c_str(), HUGE_VAL},
        {negative_huge.c_str(), -HUGE_VAL}, {"0.0000000001e400", HUGE_VAL}, {"10000e-400", 0.0},
        {"+-1", 0.0},
    };
    for (const auto &c : cases) {
        Value *v = MakeFloat(c.text, mem);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, VT_DOUBLE);
        EXPECT_DOUBLE_EQ(v->data.d, c.expected) << c.text;
    }
    Value *n = MakeNumeric("12", "5", mem);
    EXPECT_DOUBLE_EQ(n->data.d, 12.5);
    std::setlocale(LC_NUMERIC, restore.c_str());

    EXPECT_EQ(ConvertToInteger("  -42xyz"), -42);
    EXPECT_EQ(ConvertToInteger("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(ConvertToInteger("-99999999999999999999"), LONG_MIN);
    EXPECT_EQ(ConvertToInteger("-100000000000000000000"), LONG_MIN);
    EXPECT_EQ(ConvertToInteger("18446744073709551616"), LONG_MAX);
    EXPECT_EQ(ConvertToInteger("-9223372036854775808"), LONG_MIN);
    EXPECT_EQ(ConvertToInteger("-9223372036854775807"), -LONG_MAX);
    EXPECT_EQ(ConvertToInteger(nullptr), 0);
}

// ---- Interval literals --------------------------------------------------

struct Qualifier {
    NodeIntervalField start{NODE_INTERVAL_FIELD, 0, 0, nullptr};
    NodeIntervalField end{NODE_INTERVAL_FIELD, 0, 0, nullptr};
    NodeIntervalField single{NODE_INTERVAL_FIELD, 0, 0, nullptr};
    NodePrecision second{NODE_PRECISION, 0, 0};
    NodeIntervalQualifier q{NODE_INTERVAL_QUALIFIER, nullptr, nullptr, nullptr};
};

// "F" or "F(p)" a single field, "S(p) TO E(p)" a range, "SECOND(p,s)".
void build(Qualifier &out, int start, int start_precision, int end, int end_precision)
{
    out.q = {NODE_INTERVAL_QUALIFIER, nullptr, nullptr, nullptr};
    if (end == 0) {
        out.single.field = start;
        out.single.precision = start_precision;
        out.q.single = &out.single;
        return;
    }
    out.start.field = start;
    out.start.precision = start_precision;
    out.end.field = end;
    out.end.precision = end_precision;
    out.q.start = &out.start;
    out.q.end = &out.end;
}

struct Parts {
    unsigned day, first, second;
    double seconds;  // < 0: none
    int count, has_day, has_dash;
};

enum { Y = 1, MO = 2, D = 3, H = 4, MI = 5, S_END = 6, S = 7 };

TEST_F(Literals, IntervalTable)
{
    struct {
        int start, start_precision, end, end_precision;
        Parts parts;
        int sign;
        // expected: interval type (0 = NULL), value type, fields
        int interval_type, value_type;
        std::array<unsigned, 5> fields;
    } cases[] = {
        // Single fields.
        {Y, 0, 0, 0, {0, 5, 0, -1, 1, 0, 0}, '+', 1, 13, {5, 0, 0, 0, 0}},
        {MO, 0, 0, 0, {0, 13, 0, -1, 1, 0, 0}, '+', 2, 13, {0, 13, 0, 0, 0}},
        {MO, 1, 0, 0, {0, 13, 0, -1, 1, 0, 0}, '+', 0, 0, {}},  // two digits, precision 1
        {D, 0, 0, 0, {0, 3, 0, -1, 1, 0, 0}, '-', 3, 14, {3, 0, 0, 0, 0}},
        {H, 0, 0, 0, {0, 25, 0, -1, 1, 0, 0}, '+', 4, 14, {0, 25, 0, 0, 0}},
        {H, 0, 0, 0, {0, 123, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {H, 3, 0, 0, {0, 123, 0, -1, 1, 0, 0}, '+', 4, 14, {0, 123, 0, 0, 0}},
        {MI, 0, 0, 0, {0, 59, 0, -1, 1, 0, 0}, '+', 5, 14, {0, 0, 59, 0, 0}},
        {S, 0, 0, 0, {0, 0, 0, 6.7, 0, 0, 0}, '+', 6, 14, {0, 0, 0, 6, 700000000}},
        {S, 0, 0, 0, {0, 75, 0, -1, 1, 0, 0}, '+', 6, 14, {0, 0, 0, 75, 0}},
        // A fraction that rounds to a whole second carries into the seconds.
        {S, 0, 0, 0, {0, 0, 0, 59.99999999999, 0, 0, 0}, '+', 6, 14, {0, 0, 0, 60, 0}},
        {Y, 0, 0, 0, {0, 1, 2, -1, 2, 0, 1}, '+', 0, 0, {}},  // a dash needs YEAR TO MONTH
        {D, 0, 0, 0, {1, 2, 0, -1, 1, 1, 0}, '+', 0, 0, {}},  // a day part needs DAY TO ...
        {D, 0, 0, 0, {0, 2, 0, 1.5, 1, 0, 0}, '+', 0, 0, {}}, // seconds need a seconds field
        {S_END, 0, 0, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},  // no such qualifier
        {8, 0, 0, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        // Ranges.
        {Y, 0, MO, 0, {0, 1, 11, -1, 2, 0, 1}, '+', 7, 13, {1, 11, 0, 0, 0}},
        {Y, 0, MO, 0, {0, 1, 12, -1, 2, 0, 1}, '+', 0, 0, {}},  // month 12 > 11
        {Y, 0, MO, 0, {0, 1, 2, -1, 2, 0, 0}, '+', 0, 0, {}},   // two numbers need the dash
        {Y, 0, MO, 0, {0, 4, 0, -1, 1, 0, 0}, '+', 7, 13, {4, 0, 0, 0, 0}},
        {MO, 0, MO, 0, {0, 4, 0, -1, 1, 0, 0}, '+', 2, 13, {0, 4, 0, 0, 0}},
        {D, 0, H, 0, {3, 4, 0, -1, 1, 1, 0}, '+', 8, 14, {3, 4, 0, 0, 0}},
        {D, 0, H, 0, {3, 25, 0, -1, 1, 1, 0}, '+', 0, 0, {}},   // hour 25 > 23
        {D, 0, H, 0, {0, 3, 0, -1, 1, 0, 0}, '+', 8, 14, {3, 0, 0, 0, 0}},
        {D, 0, H, 0, {3, 4, 5, -1, 2, 1, 0}, '+', 0, 0, {}},
        {D, 0, MI, 0, {1, 2, 3, -1, 2, 1, 0}, '+', 9, 14, {1, 2, 3, 0, 0}},
        {D, 0, S_END, 0, {1, 2, 3, 4.25, 2, 1, 0}, '+', 10, 14, {1, 2, 3, 4, 250000000}},
        {D, 0, S_END, 2, {1, 2, 3, 4.125, 2, 1, 0}, '+', 0, 0, {}},  // three fraction digits > 2
        {D, 0, S_END, 0, {1, 2, 60, 4.25, 2, 1, 0}, '+', 0, 0, {}},  // minute 60 > 59
        {D, 0, MI, 0, {1, 2, 3, 4.0, 2, 1, 0}, '+', 0, 0, {}},       // seconds need SECOND
        {H, 0, MI, 0, {0, 10, 59, -1, 2, 0, 0}, '+', 11, 14, {0, 10, 59, 0, 0}},
        {H, 0, MI, 0, {0, 10, 75, -1, 2, 0, 0}, '+', 0, 0, {}},
        {H, 0, MI, 0, {0, 1, 2, 3.0, 2, 0, 0}, '+', 0, 0, {}},       // '1:02:03' HOUR TO MINUTE
        {H, 0, S_END, 0, {0, 1, 2, 3.5, 2, 0, 0}, '+', 12, 14, {0, 1, 2, 3, 500000000}},
        {H, 0, S_END, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 12, 14, {0, 1, 0, 0, 0}},
        {MI, 0, S_END, 0, {0, 5, 7, -1, 2, 0, 0}, '+', 13, 14, {0, 0, 5, 7, 0}},
        {MI, 0, S_END, 0, {0, 5, 75, -1, 2, 0, 0}, '+', 0, 0, {}},   // second 75 > 59
        {MI, 0, S_END, 0, {0, 5, 0, 7.5, 1, 0, 0}, '+', 13, 14, {0, 0, 5, 7, 500000000}},
        {MI, 0, S_END, 0, {0, 5, 0, 58.99999999999, 1, 0, 0}, '+', 13, 14, {0, 0, 5, 59, 0}},
        {MI, 0, S_END, 0, {0, 5, 0, 59.99999999999, 1, 0, 0}, '+', 0, 0, {}},  // second 60 > 59
        {MI, 0, S_END, 0, {0, 100, 0, -1, 1, 0, 0}, '+', 0, 0, {}},  // three digits, precision 2
        // Combinations that name no interval type.
        {MO, 0, Y, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {H, 0, D, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {Y, 0, D, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {D, 0, S, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {S_END, 0, S_END, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
        {0, 0, MO, 0, {0, 1, 0, -1, 1, 0, 0}, '+', 0, 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "qualifier " << c.start << "(" << c.start_precision << ") to "
                                          << c.end << "(" << c.end_precision << "), parts " << c.parts.day
                                          << " " << c.parts.first << " " << c.parts.second << " "
                                          << c.parts.seconds << " count " << c.parts.count);
        Qualifier q;
        build(q, c.start, c.start_precision, c.end, c.end_precision);
        IntervalParts parts{0, c.parts.day, c.parts.first, c.parts.second, nullptr, c.parts.count,
                            c.parts.has_day, c.parts.has_dash};
        if (c.parts.seconds >= 0) {
            parts.seconds = MakeFloat("0", mem);
            parts.seconds->data.d = c.parts.seconds;
        }
        Value *v = MakeInterval(c.sign, &parts, &q.q, mem);
        if (c.interval_type == 0) {
            EXPECT_EQ(v, nullptr);
            continue;
        }
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.value_type);
        EXPECT_EQ(v->data.iv.interval_type, c.interval_type);
        EXPECT_EQ(v->data.iv.interval_sign, c.sign == '-' ? 1 : 0);
        const auto &ds = v->data.iv.intval.day_second;
        std::array<unsigned, 5> got{ds.day, ds.hour, ds.minute, ds.second, ds.fraction};
        EXPECT_EQ(got, c.fields);
    }
}

TEST_F(Literals, IntervalPrecisions)
{
    Qualifier q;
    build(q, S, 0, 0, 0);
    q.single.second_precision = &q.second;
    q.second.precision = 2;
    q.second.scale = 3;
    IntervalParts parts{0, 0, 0, 0, MakeNumeric("12", "3456", mem), 0, 0, 0};
    EXPECT_EQ(MakeInterval('+', &parts, &q.q, mem), nullptr);  // four fraction digits > 3
    parts.seconds = MakeNumeric("12", "3", mem);
    Value *v = MakeInterval('+', &parts, &q.q, mem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->leading_precision, 2);
    EXPECT_EQ(v->fraction_precision, 3);
    EXPECT_EQ(v->data.iv.intval.day_second.second, 12u);
    EXPECT_EQ(v->data.iv.intval.day_second.fraction, 300000000u);
    // Seconds given as an exact numeric read the same.
    parts.seconds = MakeNumeric("12", "1234567", mem);
    q.second.scale = 7;
    v = MakeInterval('+', &parts, &q.q, mem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data.iv.intval.day_second.fraction, 123456700u);
    // SECOND(2,9): 59.99999999999 is a whole minute, never a fraction of 10^9.
    parts.seconds = MakeFloat("59.99999999999", mem);
    q.second.scale = 9;
    v = MakeInterval('+', &parts, &q.q, mem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data.iv.intval.day_second.second, 60u);
    EXPECT_EQ(v->data.iv.intval.day_second.fraction, 0u);

    // Defaults: leading 2, fraction 6.
    build(q, D, 0, S_END, 0);
    IntervalParts dts{0, 1, 2, 3, MakeFloat("4.5", mem), 2, 1, 0};
    v = MakeInterval('-', &dts, &q.q, mem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->leading_precision, 2);
    EXPECT_EQ(v->fraction_precision, 6);
    // A negative or enormous seconds value fits no interval.
    dts.seconds = MakeFloat("-1", mem);
    EXPECT_EQ(MakeInterval('+', &dts, &q.q, mem), nullptr);
    dts.seconds = MakeFloat("1e12", mem);
    EXPECT_EQ(MakeInterval('+', &dts, &q.q, mem), nullptr);
    EXPECT_EQ(MakeInterval('+', nullptr, &q.q, mem), nullptr);
    EXPECT_EQ(MakeInterval('+', &dts, nullptr, mem), nullptr);
}

TEST(PromoteType, WholeTable)
{
    EXPECT_EQ(promote_type(1, 1), 1);
    EXPECT_EQ(promote_type(2, 2), 2);
    EXPECT_EQ(promote_type(7, 7), 7);
    for (auto [a, b] : {std::pair{1, 2}, {2, 1}, {1, 7}, {7, 1}, {2, 7}, {7, 2}})
        EXPECT_EQ(promote_type(a, b), 7) << a << " " << b;

    const int types[] = {3, 4, 5, 6, 8, 9, 10, 11, 12, 13};
    const int table[10][10] = {
        {3, 8, 9, 10, 8, 9, 10, 9, 10, 10},          {8, 4, 11, 12, 8, 9, 10, 11, 12, 12},
        {9, 11, 5, 13, 9, 9, 10, 11, 12, 13},        {10, 12, 13, 6, 10, 10, 10, 12, 12, 13},
        {8, 8, 9, 10, 8, 9, 10, 9, 10, 10},          {9, 9, 9, 10, 9, 9, 10, 9, 10, 10},
        {10, 10, 10, 10, 10, 10, 10, 10, 10, 10},    {9, 11, 11, 12, 9, 9, 10, 11, 12, 12},
        {10, 12, 12, 12, 10, 10, 10, 12, 12, 12},    {10, 12, 13, 13, 10, 10, 10, 12, 12, 13},
    };
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++)
            EXPECT_EQ(promote_type(types[i], types[j]), table[i][j]) << types[i] << " with " << types[j];
    // Outside the contract: mixed families and unknown codes.
    EXPECT_EQ(promote_type(1, 3), 0);
    EXPECT_EQ(promote_type(0, 3), 0);
    EXPECT_EQ(promote_type(3, 14), 0);
}

} // namespace
