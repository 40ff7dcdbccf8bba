/*
** Arithmetic and comparison operators with an exact numeric operand. The
** other operand is turned into a temporary numeric first; arithmetic leaves
** a copy of the numeric template operand holding the computed numeric,
** comparisons leave a truth value. Operands are copied before anything is
** written, so the result may be one of them.
*/
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "internal.h"
#include "messages.h"

namespace {

constexpr KvMessage kOutOfRange = KvMessage::numeric_out_of_range;
constexpr KvMessage kNotANumber = KvMessage::not_a_number;

[[noreturn]] void operand_error(EvalContext *context, KvMessage message)
{
    kv_eval_error(context, 1, kv_subclass_iso, message);
}

// A double at the scale of `like` (rounded to nearest there). A negative
// scale that cannot hold it exactly takes it at scale 0 instead, so no digit
// of the double is lost.
NumericValue double_operand(EvalContext *context, double d, const NumericValue &like)
{
    NumericValue n{};
    int rc = double_to_numeric(d, &n, like.precision, like.scale);
    if (rc == 1)
        rc = double_to_numeric(d, &n, like.precision, 0);
    if (rc != 0)
        operand_error(context, kOutOfRange);
    return n;
}

NumericValue string_operand(EvalContext *context, const char *text)
{
    NumericValue n{};
    int rc = kv_parse_numeric(text ? text : "", &n, 20, 0);
    if (rc != 0)
        operand_error(context, rc == -1 ? kNotANumber : kOutOfRange);
    return n;
}

// The non-numeric operand of an arithmetic operator.
NumericValue arithmetic_operand(EvalContext *context, const Value *v, const NumericValue &like)
{
    NumericValue n{};
    if (v->type == VT_DOUBLE)
        return double_operand(context, v->data.d, like);
    if (v->type == VT_INTEGER)
        int_to_numeric_noscale(get_int_from_value(v), &n, 15);
    else
        bigint_to_numeric_noscale(get_bigint_from_value(v), &n, 20);
    return n;
}

// The non-numeric operand of a comparison.
NumericValue comparison_operand(EvalContext *context, const Value *v, const NumericValue &like)
{
    NumericValue n{};
    switch (v->type) {
    case VT_DOUBLE:
        return double_operand(context, v->data.d, like);
    case VT_STRING:
        return string_operand(context, v->data.s);
    case VT_BIGINT:
        bigint_to_numeric_noscale(v->data.big, &n, 20);
        return n;
    default:
        int_to_numeric_noscale(get_int_from_value(v), &n, 15);
        return n;
    }
}

// x := x op y with the numeric arithmetic; a result that does not fit
// leaves through the error exit.
void apply(NumericValue *x, const NumericValue &y, int op, EvalContext *context)
{
    int rc;
    switch (op) {
    case KV_OP_ADD: rc = add_numeric(x, &y); break;
    case KV_OP_SUBTRACT: rc = subtract_numeric(x, &y); break;
    case KV_OP_MULTIPLY: rc = mult_numeric(x, &y); break;
    default: rc = div_numeric(x, &y, context); break;
    }
    if (rc == -2)
        operand_error(context, kOutOfRange);
}

void arithmetic(const Value *left, const Value *right, Value *result, EvalContext *context, int op)
{
    bool left_numeric = left->type == VT_NUMERIC;
    bool right_numeric = right->type == VT_NUMERIC;
    bool right_first = op == KV_OP_ADD || op == KV_OP_MULTIPLY;
    NumericValue x;
    const Value *templ;
    if (left_numeric && right_numeric) {
        // Addition and multiplication work on the right operand, the others
        // on the left one.
        templ = right_first ? right : left;
        x = templ->data.num;
        apply(&x, right_first ? left->data.num : right->data.num, op, context);
    } else if (right_numeric) {
        templ = right;
        NumericValue converted = arithmetic_operand(context, left, right->data.num);
        NumericValue numeric = right->data.num;
        if (right_first) {
            x = numeric;
            apply(&x, converted, op, context);
        } else {
            x = converted;
            apply(&x, numeric, op, context);
        }
    } else {
        templ = left;
        NumericValue converted = arithmetic_operand(context, right, left->data.num);
        x = left->data.num;
        apply(&x, converted, op, context);
    }
    kv_assign_value(result, templ);
    result->data.num = x;
}

void comparison(const Value *left, const Value *right, Value *result, EvalContext *context, int op)
{
    NumericValue l, r;
    if (left->type == VT_NUMERIC) {
        l = left->data.num;
        r = right->type == VT_NUMERIC ? right->data.num : comparison_operand(context, right, l);
    } else {
        r = right->data.num;
        l = comparison_operand(context, left, r);
    }
    set_trivalue_in_value(result, kv_comparison_holds(op, numeric_compare(&l, &r)) ? 1 : 0);
}

} // namespace

extern "C" void numeric_operation(const Value *left, const Value *right, Value *result,
                                  EvalContext *context, int operator_code)
{
    if (left->type != VT_NUMERIC && right->type != VT_NUMERIC)
        return; // the caller guarantees a numeric operand
    if (kv_is_arithmetic(operator_code))
        arithmetic(left, right, result, context, operator_code);
    else if (kv_is_comparison(operator_code))
        comparison(left, right, result, context, operator_code);
}
