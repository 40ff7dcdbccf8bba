// The arithmetic and comparison operators on values: numeric_operation with
// numeric, integer, bigint, double and string operands, bigint_operation,
// and the error exits through a real setjmp with the diagnostics read back.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host_locale.h"
#include "numeric_test_util.h"

namespace {

using numtest::is_numeric;

enum Operator { Plus = 1, Minus = 2, Concat = 3, Times = 4, Over = 5, Negate = 6, Less = 7, Greater = 8,
                GreaterEqual = 9, LessEqual = 10, Equal = 11, NotEqual = 12 };

class Operators : public numtest::EvalFixture {
protected:
    Value *integer(int32_t i)
    {
        Value *v = new_value(VT_INTEGER);
        v->data.i = i;
        return v;
    }

    Value *bigint(int64_t b)
    {
        Value *v = new_value(VT_BIGINT);
        v->data.big = b;
        return v;
    }

    Value *real(double d)
    {
        Value *v = new_value(VT_DOUBLE);
        v->data.d = d;
        return v;
    }

    Value *text(const char *s)
    {
        Value *v = new_value(VT_STRING);
        v->data.s = string_duplicate(s, mem);
        v->length = static_cast<int32_t>(std::strlen(s));
        return v;
    }

    // A result value holding something else, as a caller's scratch value would.
    Value *scratch()
    {
        Value *v = integer(-99);
        v->indicator = -1;
        v->ref_count = 3;
        return v;
    }

    // Runs the operator under the context's setjmp; false when it left
    // through the error exit.
    bool numeric(Value *left, Value *right, Value *result, int op)
    {
        return numtest::guarded(context, [&] { numeric_operation(left, right, result, &context, op); }) == 0;
    }

    bool big(Value *left, Value *right, Value *result, int op)
    {
        return numtest::guarded(context, [&] { bigint_operation(left, right, result, &context, op); }) == 0;
    }

    int truth(Value *left, Value *right, int op)
    {
        Value *result = scratch();
        EXPECT_TRUE(numeric(left, right, result, op));
        EXPECT_EQ(result->type, VT_INTEGER);
        EXPECT_EQ(result->indicator, 0);
        return result->data.i;
    }
};

// ---- numeric arithmetic ----

TEST_F(Operators, ArithmeticWithAnIntegerOperand)
{
    struct Case {
        Value *left, *right;
        int op;
        const char *magnitude;
        int scale, sign, precision;
    } cases[] = {
        {numeric_value("125", 2, 1, 5), integer(2), Plus, "325", 2, 1, 5},
        {integer(2), numeric_value("125", 2, 1, 5), Plus, "325", 2, 1, 5},
        {integer(10), numeric_value("25", 1, 1, 5), Minus, "75", 1, 1, 15},
        {numeric_value("25", 1, 1, 5), integer(10), Minus, "75", 1, 0, 5},
        {integer(7), numeric_value("20", 1, 1, 5), Over, "4", 0, 1, 15}, // 3.5 rounds to even
        {numeric_value("70", 1, 1, 5), integer(2), Over, "35", 1, 1, 5},
        {integer(1), numeric_value("300", 2, 1, 5), Over, "0", 0, 1, 15},
        {integer(-3), numeric_value("15", 1, 1, 5), Times, "45", 1, 0, 0},
        {bigint(10), numeric_value("15", 1, 1, 5), Plus, "115", 1, 1, 5},
        {numeric_value("15", 1, 1, 5), bigint(-10), Minus, "115", 1, 1, 5},
        // Strings in arithmetic are read as 64-bit integers.
        {numeric_value("15", 1, 1, 5), text("2.9"), Plus, "35", 1, 1, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "operator " << c.op << " types " << c.left->type << ", " << c.right->type);
        const Value *templ = c.left->type == VT_NUMERIC ? c.left : c.right;
        Value *result = scratch();
        ASSERT_TRUE(numeric(c.left, c.right, result, c.op));
        EXPECT_EQ(result->type, VT_NUMERIC);
        EXPECT_EQ(result->indicator, 0);
        EXPECT_TRUE(is_numeric(result->data.num, c.magnitude, c.scale, c.sign));
        EXPECT_EQ(result->data.num.precision, c.precision);
        // The value-level attributes are the template's.
        EXPECT_EQ(result->precision, templ->precision);
        EXPECT_EQ(result->scale, templ->scale);
        EXPECT_EQ(result->ref_count, 3);
        EXPECT_EQ(result->mem, mem);
    }
}

TEST_F(Operators, ArithmeticOfTwoNumerics)
{
    struct Case {
        Value *left, *right;
        int op;
        const char *magnitude;
        int scale, sign, precision;
        bool right_is_template;
    } cases[] = {
        {numeric_value("15", 1, 1, 4), numeric_value("15", 1, 1, 6), Times, "225", 2, 1, 0, true},
        {numeric_value("15", 1, 1, 4), numeric_value("225", 2, 1, 6), Plus, "375", 2, 1, 6, true},
        // right := right + left; an exact cancellation is a positive zero.
        {numeric_value("5", 0, 0, 4), numeric_value("5", 0, 1, 6), Plus, "0", 0, 1, 6, true},
        {numeric_value("5", 0, 1, 4), numeric_value("5", 0, 0, 6), Plus, "0", 0, 1, 6, true},
        {numeric_value("0", 0, 1, 4), numeric_value("5", 0, 0, 6), Times, "0", 0, 1, 0, true},
        {numeric_value("1000", 2, 1, 4), numeric_value("5", 1, 1, 6), Minus, "950", 2, 1, 4, false},
        {numeric_value("200", 2, 1, 4), numeric_value("3", 0, 1, 6), Over, "67", 2, 1, 4, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "operator " << c.op);
        const Value *templ = c.right_is_template ? c.right : c.left;
        Value *result = scratch();
        ASSERT_TRUE(numeric(c.left, c.right, result, c.op));
        EXPECT_TRUE(is_numeric(result->data.num, c.magnitude, c.scale, c.sign));
        EXPECT_EQ(result->data.num.precision, c.precision);
        EXPECT_EQ(result->precision, templ->precision);
    }
}

TEST_F(Operators, DoubleOperandIsRoundedToTheNumericScale)
{
    Value *result = scratch();
    ASSERT_TRUE(numeric(numeric_value("125", 2), real(0.504), result, Plus));
    EXPECT_TRUE(is_numeric(result->data.num, "175", 2, 1));

    // At a negative scale a double that is not a whole multiple is taken at
    // scale 0: 1200 + 34.5 is 1200 + 34 (ties to even).
    ASSERT_TRUE(numeric(numeric_value("12", -2), real(34.5), result, Plus));
    EXPECT_TRUE(is_numeric(result->data.num, "1234", 0, 1));
    ASSERT_TRUE(numeric(real(2500.0), numeric_value("12", -2), result, Minus));
    EXPECT_TRUE(is_numeric(result->data.num, "13", -2, 1));
}

TEST_F(Operators, OperandsAreUnchangedAndMayBeTheResult)
{
    Value *left = numeric_value("125", 2, 1, 5);
    Value *right = integer(2);
    ASSERT_TRUE(numeric(left, right, left, Plus));
    EXPECT_TRUE(is_numeric(left->data.num, "325", 2, 1));
    EXPECT_EQ(right->data.i, 2);

    // The template (the numeric) is copied over the integer operand only
    // after the integer has been read.
    Value *seven = integer(7);
    Value *two = numeric_value("20", 1, 1, 5);
    ASSERT_TRUE(numeric(seven, two, seven, Over));
    EXPECT_EQ(seven->type, VT_NUMERIC);
    EXPECT_TRUE(is_numeric(seven->data.num, "4", 0, 1));
    EXPECT_TRUE(is_numeric(two->data.num, "20", 1, 1));

    Value *a = numeric_value("15", 1), *b = numeric_value("15", 1);
    Value *result = scratch();
    ASSERT_TRUE(numeric(a, b, result, Times));
    EXPECT_TRUE(is_numeric(a->data.num, "15", 1, 1));
    EXPECT_TRUE(is_numeric(b->data.num, "15", 1, 1));
}

TEST_F(Operators, ResultKeepsItsOwnHandle)
{
    MemHandle *child = kv_mem_alloc_handle(mem);
    auto *result = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, child));
    result->ref_count = 1;
    ASSERT_TRUE(numeric(numeric_value("1", 0), numeric_value("2", 0), result, Plus));
    EXPECT_EQ(result->mem, child);
    EXPECT_EQ(result->ref_count, 1);
    EXPECT_TRUE(is_numeric(result->data.num, "3", 0, 1));
}

TEST_F(Operators, OtherOperatorCodesWriteNothing)
{
    for (int op : {0, int(Concat), int(Negate), 13, -1}) {
        Value *result = scratch();
        Value before = *result;
        ASSERT_TRUE(numeric(numeric_value("1", 0), integer(2), result, op));
        ASSERT_TRUE(big(bigint(1), bigint(2), result, op));
        EXPECT_EQ(std::memcmp(result, &before, sizeof before), 0) << "operator " << op;
    }
}

// ---- numeric comparisons ----

TEST_F(Operators, ComparisonTable)
{
    struct Case {
        Value *left, *right;
        int expect[6]; // <, >, >=, <=, =, <>
    } cases[] = {
        {numeric_value("15", 1), numeric_value("150", 2), {0, 0, 1, 1, 1, 0}},
        {numeric_value("15", 1), integer(2), {1, 0, 0, 1, 0, 1}},
        {integer(2), numeric_value("15", 1), {0, 1, 1, 0, 0, 1}},
        {numeric_value("15", 1, 0), bigint(-1), {1, 0, 0, 1, 0, 1}},
        {numeric_value("15", 1), text("1.50"), {0, 0, 1, 1, 1, 0}},
        {text("  -2"), numeric_value("15", 1), {1, 0, 0, 1, 0, 1}},
        {numeric_value("100", 2), real(1.004), {0, 0, 1, 1, 1, 0}}, // rounded to scale 2
        {numeric_value("100", 2), real(1.006), {1, 0, 0, 1, 0, 1}},
        // Zero equals zero, whatever the sign byte or the operand's type.
        {numeric_value("0", 0, 0), numeric_value("0", 0, 1), {0, 0, 1, 1, 1, 0}},
        {numeric_value("0", 2), real(-0.0), {0, 0, 1, 1, 1, 0}},
        {real(-0.0), numeric_value("0", 0), {0, 0, 1, 1, 1, 0}},
        {numeric_value("15", 1), text("1.5"), {0, 0, 1, 1, 1, 0}},
    };
    for (const Case &c : cases) {
        for (int op = Less; op <= NotEqual; op++) {
            SCOPED_TRACE(testing::Message() << "operator " << op << " types " << c.left->type << ", " << c.right->type);
            EXPECT_EQ(truth(c.left, c.right, op), c.expect[op - Less]);
        }
    }
}

TEST_F(Operators, StringOperandTextStaysAsItWas)
{
    Value *s = text("1.50");
    EXPECT_EQ(truth(numeric_value("15", 1), s, Equal), 1);
    EXPECT_STREQ(s->data.s, "1.50");
    EXPECT_EQ(s->length, 4);
}

// ---- error exits ----

TEST_F(Operators, NumericDivisionByZero)
{
    for (Value *dividend : {numeric_value("5", 0), static_cast<Value *>(nullptr)}) {
        Value *left = dividend ? dividend : integer(5);
        Value *result = scratch();
        context.status = 0;
        EXPECT_FALSE(numeric(left, numeric_value("0", 2, 0), result, Over));
        EXPECT_EQ(context.status, -1);
        EXPECT_EQ(stmt.error_header->return_code, -1);
        auto d = last_diagnostic();
        EXPECT_EQ(d.sqlstate, "22012");
        EXPECT_EQ(d.message, "[Kestrova ODBC]Division by zero");
        EXPECT_EQ(d.subclass_origin, "ISO 9075");
        EXPECT_EQ(d.class_origin, "ODBC 3.0");
    }
    EXPECT_EQ(stmt.error_header->record_count, 2);
}

TEST_F(Operators, OperandsThatAreNoNumbers)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const char *max = "340282366920938463463374607431768211455"; // 2^128 - 1
    struct Case {
        Value *numeric, *other;
        int op;
        const char *sqlstate;
    } cases[] = {
        {numeric_value("1", 0), text("abc"), Equal, "22018"},
        {numeric_value("1", 0), text("1e5"), Less, "22018"},
        {numeric_value("1", 0), text("1000000000000000000000000000000000000000"), Equal, "22003"},
        {numeric_value("1", 0), real(nan), Equal, "22003"},
        {numeric_value("1", 0), real(1e300), Plus, "22003"},
        {numeric_value("1", 0), real(-std::numeric_limits<double>::infinity()), Times, "22003"},
        // Results that do not fit.
        {numeric_value(max, 0), numeric_value("1", 0), Plus, "22003"},
        {numeric_value(max, 0, 0), integer(1), Minus, "22003"},
        {numeric_value(max, 0), integer(2), Times, "22003"},
        {numeric_value(max, 0), numeric_value("1", 1), Plus, "22003"},
        {numeric_value(max, 0), numeric_value("1", 3), Over, "22003"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sqlstate);
        Value *result = scratch();
        EXPECT_FALSE(numeric(c.numeric, c.other, result, c.op));
        EXPECT_EQ(last_diagnostic().sqlstate, c.sqlstate);
        EXPECT_EQ(context.status, -1);
    }
}

// ---- bigint operators ----

TEST_F(Operators, BigintArithmeticWraps)
{
    struct Case {
        Value *left, *right;
        int op;
        int64_t expect;
    } cases[] = {
        {bigint(INT64_MAX), bigint(1), Plus, INT64_MIN},
        {bigint(INT64_MIN), bigint(1), Minus, INT64_MAX},
        {bigint(INT64_MIN), bigint(-1), Times, INT64_MIN},
        {bigint(INT64_MIN), bigint(-1), Over, INT64_MIN},
        {bigint(-7), bigint(2), Over, -3},
        {bigint(7), bigint(-2), Over, -3},
        {bigint(3), bigint(5), Minus, -2},
        {integer(3), bigint(4000000000LL), Times, 12000000000LL},
        {text("42abc"), real(-2.9), Plus, 40},
        {numeric_value("1999", 3), integer(10), Times, 10}, // 1.999 reads as 1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "operator " << c.op);
        Value *result = scratch();
        result->precision = 9;
        ASSERT_TRUE(big(c.left, c.right, result, c.op));
        EXPECT_EQ(result->type, VT_BIGINT);
        EXPECT_EQ(result->data.big, c.expect);
        // Nothing but the type and the datum is written.
        EXPECT_EQ(result->indicator, -1);
        EXPECT_EQ(result->precision, 9);
        EXPECT_EQ(result->ref_count, 3);
    }
}

TEST_F(Operators, BigintComparisons)
{
    Value *result = scratch();
    ASSERT_TRUE(big(bigint(-1), bigint(1), result, Less));
    EXPECT_EQ(result->type, VT_INTEGER);
    EXPECT_EQ(result->indicator, 0);
    EXPECT_EQ(result->data.i, 1);
    ASSERT_TRUE(big(bigint(INT64_MIN), bigint(INT64_MAX), result, GreaterEqual));
    EXPECT_EQ(result->data.i, 0);
    ASSERT_TRUE(big(text("10"), integer(10), result, Equal));
    EXPECT_EQ(result->data.i, 1);
    ASSERT_TRUE(big(real(10.9), integer(10), result, NotEqual));
    EXPECT_EQ(result->data.i, 0);
}

TEST_F(Operators, BigintDivisionByZero)
{
    Value *result = scratch();
    EXPECT_FALSE(big(bigint(5), bigint(0), result, Over));
    EXPECT_EQ(result->type, VT_BIGINT);
    EXPECT_EQ(context.status, -1);
    EXPECT_EQ(stmt.error_header->return_code, -1);
    auto d = last_diagnostic();
    EXPECT_EQ(d.sqlstate, "22012");
    EXPECT_EQ(d.message, "[Kestrova ODBC]Division by zero");
    EXPECT_EQ(d.subclass_origin, "ODBC3.0");
    EXPECT_EQ(d.class_origin, "ODBC 3.0");
}

} // namespace
