/*
** Arithmetic and comparison operators on 64-bit integers. Both operands are
** read as 64-bit integers whatever their type; sums, differences and
** products wrap modulo 2^64 (computed unsigned, so no overflow is undefined).
*/
#include <cstdint>

#include "internal.h"
#include "messages.h"

namespace {

int64_t wrap(uint64_t v)
{
    return static_cast<int64_t>(v);
}

int64_t quotient(int64_t x, int64_t y)
{
    // INT64_MIN / -1 wraps to INT64_MIN like the other operations.
    return y == -1 ? wrap(0 - static_cast<uint64_t>(x)) : x / y;
}

} // namespace

extern "C" void bigint_operation(const Value *left, const Value *right, Value *result,
                                 EvalContext *context, int operator_code)
{
    if (!kv_is_arithmetic(operator_code) && !kv_is_comparison(operator_code))
        return;
    int64_t x = get_bigint_from_value(left);
    int64_t y = get_bigint_from_value(right);
    auto ux = static_cast<uint64_t>(x), uy = static_cast<uint64_t>(y);
    if (kv_is_comparison(operator_code)) {
        set_trivalue_in_value(result, kv_comparison_holds(operator_code, x < y ? -1 : x > y ? 1 : 0) ? 1 : 0);
        return;
    }
    result->type = VT_BIGINT;
    switch (operator_code) {
    case KV_OP_ADD: result->data.big = wrap(ux + uy); break;
    case KV_OP_SUBTRACT: result->data.big = wrap(ux - uy); break;
    case KV_OP_MULTIPLY: result->data.big = wrap(ux * uy); break;
    default:
        if (y == 0) {
            if (context)
                kv_eval_error(context, 1, kv_subclass_odbc3, KvMessage::division_by_zero);
            result->data.big = 0;
            return;
        }
        result->data.big = quotient(x, y);
        break;
    }
}
