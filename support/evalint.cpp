/*
** Interval arithmetic and comparison. Every interval is reduced to a signed
** 64-bit count in its base unit (months, or seconds with a separate count of
** billionths), the arithmetic is done on counts, and normalise spreads a
** count back over the fields of the result's interval type: the fraction is
** brought into 0..10^9-1 first, a negative amount becomes its magnitude with
** interval_sign 1, and each field is a truncating division of what is left.
*/
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "internal.h"
#include "interval_types.h"

namespace {


struct Count {
    int64_t units;     // months or seconds
    int64_t fraction;  // billionths, with the sign of the interval
};

Count base_count(const SQL_INTERVAL_STRUCT &iv)
{
    Count c{0, 0};
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    if (!t)
        return c;
    for (int f = t->first; f <= t->last; f++)
        c.units += kv_interval_field(iv, f) * kv_interval_field_units[f];
    if (t->last == kv_second)
        c.fraction = iv.intval.day_second.fraction;
    if (iv.interval_sign == 1) {
        c.units = -c.units;
        c.fraction = -c.fraction;
    }
    return c;
}

// Spreads a count of base units over the fields of the interval's type: the
// leading field takes what its unit divides, each later one the remainder.
void spread(uint64_t v, SQL_INTERVAL_STRUCT &iv)
{
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    if (!t)
        return;
    for (int f = t->first; f <= t->last; f++) {
        auto unit = static_cast<uint64_t>(kv_interval_field_units[f]);
        uint64_t rest = f == t->first ? v : v % static_cast<uint64_t>(kv_interval_field_units[f - 1]);
        kv_set_interval_field(iv, f, static_cast<SQLUINTEGER>(rest / unit));
    }
}

void normalise(int64_t count, int64_t fraction, SQL_INTERVAL_STRUCT &iv)
{
    count += kv_floor_div(fraction, kv_nanos_per_second);
    fraction = kv_floor_mod(fraction, kv_nanos_per_second);
    if (count < 0) {
        iv.interval_sign = 1;
        if (fraction != 0) {
            count = -count - 1;
            fraction = kv_nanos_per_second - fraction;
        } else {
            count = -count;
        }
    }
    spread(static_cast<uint64_t>(count), iv);
    if (kv_has_seconds_field(iv.interval_type))
        iv.intval.day_second.fraction = static_cast<SQLUINTEGER>(fraction);
}

// Makes `result` a non-null interval of the given types with every interval
// field cleared, ready for normalise.
void start_interval(Value *result, int value_type, int interval_type)
{
    result->type = value_type;
    result->indicator = 0;
    result->data.iv = SQL_INTERVAL_STRUCT{};
    result->data.iv.interval_type = static_cast<SQLINTERVAL>(interval_type);
}


void combine_intervals(const Value *a, const Value *b, Value *result, int sign)
{
    Count ca = base_count(a->data.iv), cb = base_count(b->data.iv);
    int value_type = a->type;
    int interval_type = kv_promote_interval_type(a->data.iv.interval_type, b->data.iv.interval_type);
    int32_t leading = std::max(a->leading_precision, b->leading_precision);
    int32_t fraction_precision = std::max(a->fraction_precision, b->fraction_precision);
    bool day_time = value_type == VT_INTERVAL_DS;

    start_interval(result, value_type, interval_type);
    result->leading_precision = leading;
    if (day_time)
        result->fraction_precision = fraction_precision;
    int64_t fraction = day_time ? ca.fraction + sign * cb.fraction : 0;
    normalise(ca.units + sign * cb.units, fraction, result->data.iv);
}

void add_to_datetime(const Value *datetime, const Value *interval, Value *result, int sign, EvalContext *context)
{
    Count c = base_count(interval->data.iv);
    if (interval->type == VT_INTERVAL_YM)
        kv_timestamp_add(result, datetime, sign * c.units, 0, 0, false, context);
    else
        kv_timestamp_add(result, datetime, 0, sign * c.units, sign * c.fraction, false, context);
}

// The number counts units of the interval's single field; a two-field
// interval has no unit and is left as it is.
int64_t unit_of(int interval_type)
{
    const KvIntervalType *t = kv_interval_type(interval_type);
    return t && t->first == t->last ? kv_interval_field_units[t->first] : 0;
}

void add_number(const Value *number, const Value *interval, Value *result, int sign)
{
    int64_t n = get_int_from_value(number);
    Count c = base_count(interval->data.iv);
    int interval_type = interval->data.iv.interval_type;
    int32_t leading = interval->leading_precision, fraction_precision = interval->fraction_precision;

    start_interval(result, kv_is_year_month_type(interval_type) ? VT_INTERVAL_YM : VT_INTERVAL_DS, interval_type);
    result->leading_precision = leading;
    result->fraction_precision = fraction_precision;
    normalise(c.units + sign * n * unit_of(interval_type), c.fraction, result->data.iv);
}

} // namespace

extern "C" {

int get_base_value(const SQL_INTERVAL_STRUCT *interval, int *fraction)
{
    if (fraction)
        *fraction = 0;
    Count c = base_count(*interval);
    if (fraction)
        *fraction = static_cast<int>(c.fraction);
    return static_cast<int>(c.units);
}

void normalise_interval(int count, int fraction, Value *result)
{
    normalise(count, fraction, result->data.iv);
}

void interval_operation(Value *left, Value *right, Value *result, EvalContext *context, int op)
{
    if (op != KV_OP_ADD && op != KV_OP_SUBTRACT)
        return;
    if (left->indicator != 0 || right->indicator != 0) {
        result->indicator = -1;
        return;
    }
    int sign = op == KV_OP_ADD ? 1 : -1;
    switch (left->type) {
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        combine_intervals(left, right, result, sign);
        break;
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP:
        add_to_datetime(left, right, result, sign, context);
        break;
    default:
        add_number(left, right, result, sign);
        break;
    }
}

int interval_compare(const SQL_INTERVAL_STRUCT *a, const SQL_INTERVAL_STRUCT *b)
{
    Count ca = base_count(*a), cb = base_count(*b);
    if (ca.units != cb.units)
        return ca.units < cb.units ? -1 : 1;
    if (kv_is_year_month_type(a->interval_type) || ca.fraction == cb.fraction)
        return 0;
    return ca.fraction < cb.fraction ? -1 : 1;
}

int compare_interval(const Value *a, const Value *b)
{
    return interval_compare(&a->data.iv, &b->data.iv);
}

} // extern "C"
