/*
** The numeric functions of the catalogue. The transcendental functions
** compute in double precision and never hand back NaN or an infinity.
** ABS, CEILING, FLOOR, ROUND, TRUNCATE and MOD keep exact arguments exact:
** integers and bigints in 64 (or 128) bits, exact numerics on their 128-bit
** magnitude at their own scale. ROUND and TRUNCATE of a double work on the
** decimal digits of its shortest round-trip text, so 1.005 rounds as the
** 1.005 the user wrote, not as the binary 1.00499999999999989...
*/
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numbers>
#include <random>
#include <system_error>

#include "functions_internal.h"

namespace {

__extension__ typedef unsigned __int128 u128;
__extension__ typedef __int128 i128;

static_assert(std::endian::native == std::endian::little, "NumericValue magnitudes are read as native words");

constexpr u128 kU128Max = ~u128{0};

// PI() and the factor of DEGREES and RADIANS: pi to double precision (M_PI).
constexpr double kPi = std::numbers::pi;

// 10^0 .. 10^38, every power of ten that fits in 128 bits.
constexpr auto kPowersOfTen = [] {
    std::array<u128, 39> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

u128 magnitude_of(const NumericValue &n)
{
    u128 m;
    std::memcpy(&m, n.val, sizeof m);
    return m;
}

void set_magnitude(NumericValue &n, u128 m)
{
    std::memcpy(n.val, &m, sizeof m);
    if (m == 0)
        n.sign = 1; // zero is positive
}

bool is_negative(const NumericValue &n)
{
    return n.sign == 0;
}

// A double result: NaN and the infinities leave with 22003; negative zero
// becomes zero.
double finite_or_fail(EvalContext *ctx, double r)
{
    if (!std::isfinite(r))
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    return r == 0 ? 0.0 : r;
}

Value *double_result(EvalContext *ctx, double r)
{
    r = finite_or_fail(ctx, r);
    Value *result = kv_fn_new_result(ctx, VT_DOUBLE);
    if (result)
        result->data.d = r;
    return result;
}

// A result of the argument's own type, precision and scale.
Value *same_type_result(EvalContext *ctx, const Value *argument)
{
    Value *result = kv_fn_new_result(ctx, argument->type);
    if (result) {
        result->precision = argument->precision;
        result->scale = argument->scale;
    }
    return result;
}

// The NULL result of a function whose result keeps an exact argument's
// type (ABS, CEILING, FLOOR, ROUND, TRUNCATE); a double otherwise.
Value *null_result_like(EvalContext *ctx, const Value *x)
{
    bool exact = x && (x->type == VT_INTEGER || x->type == VT_BIGINT || x->type == VT_NUMERIC);
    return kv_fn_null_result(ctx, exact ? x->type : VT_DOUBLE);
}

// An integer in the range of the result type or the 22003 exit.
int32_t fit_int(EvalContext *ctx, i128 v)
{
    if (v < INT32_MIN || v > INT32_MAX)
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    return static_cast<int32_t>(v);
}

int64_t fit_bigint(EvalContext *ctx, i128 v)
{
    if (v < INT64_MIN || v > INT64_MAX)
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    return static_cast<int64_t>(v);
}

// The integer part of an exact numeric, cut toward zero; `has_fraction`
// tells whether anything was cut. False when it needs more than 127 bits.
bool numeric_integer_part(const NumericValue &n, i128 &whole, bool &has_fraction)
{
    u128 m = magnitude_of(n);
    has_fraction = false;
    if (n.scale > 0) {
        u128 unit = n.scale < 39 ? kPowersOfTen[static_cast<std::size_t>(n.scale)] : 0;
        u128 q = unit ? m / unit : 0;
        has_fraction = unit ? m % unit != 0 : m != 0;
        m = q;
    } else if (n.scale < 0) {
        int shift = -n.scale;
        if (m == 0) {
            whole = 0;
            return true;
        }
        if (shift > 38 || m > kU128Max / kPowersOfTen[static_cast<std::size_t>(shift)])
            return false;
        m *= kPowersOfTen[static_cast<std::size_t>(shift)];
    }
    if (m >> 127 != 0)
        return false; // beyond the largest i128
    whole = is_negative(n) ? -static_cast<i128>(m) : static_cast<i128>(m);
    return true;
}

enum class Fraction { Cut, Refuse };

// An integer argument in 64 bits; a fraction is cut or refused (22003).
int64_t integer_argument(EvalContext *ctx, const Value *v, Fraction fraction)
{
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
        return v->data.i;
    case VT_BIGINT:
        return v->data.big;
    case VT_NUMERIC: {
        i128 whole = 0;
        bool has_fraction = false;
        if (!numeric_integer_part(v->data.num, whole, has_fraction) ||
            (has_fraction && fraction == Fraction::Refuse))
            kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
        return fit_bigint(ctx, whole);
    }
    default: {
        double x = get_double_from_value(v);
        double whole = std::trunc(x);
        if (!std::isfinite(x) || (whole != x && fraction == Fraction::Refuse) || whole < -0x1p63 ||
            whole >= 0x1p63)
            kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
        return static_cast<int64_t>(whole);
    }
    }
}

// An integer argument that must fit an int: decimal places, exponents, seeds.
int32_t int_argument(EvalContext *ctx, const Value *v)
{
    return fit_int(ctx, integer_argument(ctx, v, Fraction::Cut));
}

// How a value is brought to fewer decimal places.
enum class Rounding { Truncate, HalfAwayFromZero, Ceiling, Floor };

// Whether the kept magnitude goes up by one unit, given the dropped part
// `rest` of a `unit` and the sign.
bool rounds_up(Rounding rounding, u128 rest, u128 unit, bool negative)
{
    if (rest == 0)
        return false;
    switch (rounding) {
    case Rounding::HalfAwayFromZero: return rest >= unit - rest;
    case Rounding::Ceiling: return !negative;
    case Rounding::Floor: return negative;
    case Rounding::Truncate: break;
    }
    return false;
}

// An exact numeric brought to `places` fraction digits; it keeps its scale
// (ROUND(12.345, 1) at scale 3 is 12.300). 22003 when it no longer fits.
void round_numeric(EvalContext *ctx, NumericValue &n, int64_t places, Rounding rounding)
{
    if (places >= n.scale)
        return;
    int64_t drop = n.scale - places;
    u128 m = magnitude_of(n);
    if (drop > 38) {
        // 10^drop exceeds every magnitude: the value goes to zero, unless a
        // ceiling or floor has to step away from zero to a unit no
        // magnitude at this scale can hold.
        bool away = m != 0 && ((rounding == Rounding::Ceiling && !is_negative(n)) ||
                               (rounding == Rounding::Floor && is_negative(n)));
        if (away)
            kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
        set_magnitude(n, 0);
        return;
    }
    u128 unit = kPowersOfTen[static_cast<std::size_t>(drop)];
    u128 kept = m / unit + (rounds_up(rounding, m % unit, unit, is_negative(n)) ? 1 : 0);
    if (kept > kU128Max / unit)
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    set_magnitude(n, kept * unit);
}

// An integer brought to `places` decimal places (only negative places
// change it): ROUND(1250, -2) is 1300.
i128 round_integer(int64_t x, int64_t places, Rounding rounding)
{
    if (places >= 0)
        return x;
    if (places < -19)
        return 0; // 10^20 exceeds every 64-bit value, and so does its half
    u128 unit = kPowersOfTen[static_cast<std::size_t>(-places)];
    bool negative = x < 0;
    u128 m = negative ? u128{0} - static_cast<u128>(static_cast<i128>(x)) : static_cast<u128>(x);
    u128 kept = (m / unit + (rounds_up(rounding, m % unit, unit, negative) ? 1 : 0)) * unit;
    return negative ? -static_cast<i128>(kept) : static_cast<i128>(kept);
}

// The double nearest to +/- digits x 10^exponent. Up to 2^53 with a power
// of ten up to 10^22 both are exact doubles, so one multiplication or
// division rounds correctly; other values go through from_chars. 22003 when
// the value is beyond the largest double.
double decimal_to_double(EvalContext *ctx, bool negative, uint64_t digits, int64_t exponent)
{
    static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (digits < (uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
        double d = static_cast<double>(digits);
        d = exponent >= 0 ? d * kExactPowers[exponent] : d / kExactPowers[-exponent];
        return negative ? -d : d;
    }
    // "-", 20 digits, "e", a sign and 19 digits fit with room to spare.
    std::array<char, 64> text{};
    text[0] = '-';
    char *end = std::to_chars(text.data() + 1, text.data() + 32, digits).ptr;
    *end = 'e';
    end = std::to_chars(end + 1, text.data() + text.size(), exponent).ptr;
    const char *begin = negative ? text.data() : text.data() + 1;
    double r = 0;
    if (std::from_chars(begin, end, r).ec != std::errc())
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range); // rounded past the largest double
    return r;
}

// A double brought to `places` decimal places on the digits of its shortest
// round-trip text: x = 0.DIGITS x 10^point. Places beyond the digits give x
// back; places before the first digit give 0.
double round_double(EvalContext *ctx, double x, int64_t places, Rounding rounding)
{
    if (x == 0 || !std::isfinite(x))
        return x;
    char text[48];
    auto written = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
    const char *p = text, *end = written.ptr;
    bool negative = *p == '-';
    p += negative ? 1 : 0;
    char digits[24];
    int count = 0;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.' && count < static_cast<int>(sizeof digits))
            digits[count++] = *p;
    p += (p < end && p[1] == '+') ? 2 : 1;
    int exponent = 0;
    std::from_chars(p, end, exponent);

    int64_t keep = exponent + 1 + places; // digits that stay
    if (keep >= count)
        return x;
    if (keep < 0)
        return 0.0;
    uint64_t kept = 0;
    for (int64_t i = 0; i < keep; ++i)
        kept = kept * 10 + static_cast<uint64_t>(digits[i] - '0');
    // The dropped digits as a fraction of one kept unit decide the rounding.
    u128 unit = kPowersOfTen[static_cast<std::size_t>(count - keep)];
    u128 rest = 0;
    for (int64_t i = keep; i < count; ++i)
        rest = rest * 10 + static_cast<u128>(digits[i] - '0');
    kept += rounds_up(rounding, rest, unit, negative) ? 1 : 0;

    return decimal_to_double(ctx, negative, kept, -places);
}

// ROUND, TRUNCATE, CEILING and FLOOR: the value brought to `places` decimal
// places in the argument's own type (a string is read as a double).
Value *round_value(EvalContext *ctx, const Value *x, int64_t places, Rounding rounding)
{
    switch (x->type) {
    case VT_INTEGER:
    case VT_BIT: {
        int32_t i = fit_int(ctx, round_integer(x->data.i, places, rounding));
        Value *result = kv_fn_new_result(ctx, VT_INTEGER);
        if (result)
            result->data.i = i;
        return result;
    }
    case VT_BIGINT: {
        int64_t big = fit_bigint(ctx, round_integer(x->data.big, places, rounding));
        Value *result = kv_fn_new_result(ctx, VT_BIGINT);
        if (result)
            result->data.big = big;
        return result;
    }
    case VT_NUMERIC: {
        NumericValue n = x->data.num;
        round_numeric(ctx, n, places, rounding);
        Value *result = same_type_result(ctx, x);
        if (result)
            result->data.num = n;
        return result;
    }
    default:
        break;
    }
    double d = get_double_from_value(x);
    if (!std::isfinite(d))
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    switch (rounding) {
    case Rounding::Ceiling: return double_result(ctx, std::ceil(d));
    case Rounding::Floor: return double_result(ctx, std::floor(d));
    default: return double_result(ctx, round_double(ctx, d, places, rounding));
    }
}

// The shape of the one-argument double functions: NULL gives NULL, else
// rule(x), which may leave through a domain error.
template <typename Rule>
Value *unary_double(EvalContext *ctx, int32_t argc, Value **argv, Rule rule)
{
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_DOUBLE);
    return double_result(ctx, rule(get_double_from_value(argv[0])));
}

// x * multiplier / divisor in that order, unless the product alone
// overflows; then x / divisor * multiplier, so a finite result is found.
double scale_by(double x, double multiplier, double divisor)
{
    double r = (x * multiplier) / divisor;
    return std::isfinite(r) ? r : (x / divisor) * multiplier;
}

// RAND's generator, private to the library: SplitMix64 on one atomic word,
// so concurrent evaluations each draw a different number and the
// application's own rand() sequence is never touched.
uint64_t initial_rand_state()
{
    try {
        std::random_device device;
        return (uint64_t{device()} << 32) ^ device();
    } catch (...) {
        return static_cast<uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15u;
    }
}

std::atomic<uint64_t> &rand_state()
{
    static std::atomic<uint64_t> state{initial_rand_state()};
    return state;
}

double next_random()
{
    constexpr uint64_t golden = 0x9E3779B97F4A7C15u;
    uint64_t z = rand_state().fetch_add(golden, std::memory_order_relaxed) + golden;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53; // 53 random bits in [0, 1)
}

} // namespace

int64_t kv_fn_integer_argument(EvalContext *ctx, const Value *argument)
{
    return integer_argument(ctx, argument, Fraction::Cut);
}

KV_SCALAR_FUNCTION(func_abs)
{
    (void)mode, (void)eval_data, (void)entry;
    Value *x = kv_fn_argument(argc, argv, 0);
    if (kv_fn_is_null(x))
        return null_result_like(ctx, x);
    switch (x->type) {
    case VT_INTEGER: {
        int32_t i = fit_int(ctx, x->data.i < 0 ? -i128{x->data.i} : i128{x->data.i});
        Value *result = kv_fn_new_result(ctx, VT_INTEGER);
        if (result)
            result->data.i = i;
        return result;
    }
    case VT_BIGINT: {
        int64_t big = fit_bigint(ctx, x->data.big < 0 ? -i128{x->data.big} : i128{x->data.big});
        Value *result = kv_fn_new_result(ctx, VT_BIGINT);
        if (result)
            result->data.big = big;
        return result;
    }
    case VT_DOUBLE:
        return double_result(ctx, std::fabs(x->data.d));
    case VT_NUMERIC: {
        Value *result = same_type_result(ctx, x);
        if (result) {
            result->data.num = x->data.num;
            result->data.num.sign = 1;
        }
        return result;
    }
    default:
        return nullptr; // no rule for this type: no value, nothing posted
    }
}

KV_SCALAR_FUNCTION(func_acos)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        if (x < -1 || x > 1)
            kv_fn_fail(ctx, KvMessage::domain);
        return std::acos(x);
    });
}

KV_SCALAR_FUNCTION(func_asin)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        if (x < -1 || x > 1)
            kv_fn_fail(ctx, KvMessage::domain);
        return std::asin(x);
    });
}

KV_SCALAR_FUNCTION(func_atan)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return std::atan(x); });
}

KV_SCALAR_FUNCTION(func_atan2)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return kv_fn_null_result(ctx, VT_DOUBLE);
    return double_result(ctx, std::atan2(get_double_from_value(argv[0]), get_double_from_value(argv[1])));
}

KV_SCALAR_FUNCTION(func_ceiling)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 1))
        return null_result_like(ctx, kv_fn_argument(argc, argv, 0));
    return round_value(ctx, argv[0], 0, Rounding::Ceiling);
}

KV_SCALAR_FUNCTION(func_cos)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return std::cos(x); });
}

KV_SCALAR_FUNCTION(func_cot)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        double t = std::tan(x);
        if (t == 0)
            kv_fn_fail(ctx, KvMessage::domain);
        return 1 / t;
    });
}

KV_SCALAR_FUNCTION(func_degrees)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return scale_by(x, 180.0, kPi); });
}

KV_SCALAR_FUNCTION(func_exp)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return std::exp(x); });
}

KV_SCALAR_FUNCTION(func_floor)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 1))
        return null_result_like(ctx, kv_fn_argument(argc, argv, 0));
    return round_value(ctx, argv[0], 0, Rounding::Floor);
}

KV_SCALAR_FUNCTION(func_log)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        if (x <= 0)
            kv_fn_fail(ctx, KvMessage::domain);
        return std::log(x);
    });
}

KV_SCALAR_FUNCTION(func_log10)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        if (x <= 0)
            kv_fn_fail(ctx, KvMessage::domain);
        return std::log10(x);
    });
}

// In 64 bits when either argument is a bigint or an exact numeric, else in
// 32 bits; arguments must be whole numbers in that range.
KV_SCALAR_FUNCTION(func_mod)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return kv_fn_null_result(ctx, VT_INTEGER);
    auto wide = [](const Value *v) { return v->type == VT_BIGINT || v->type == VT_NUMERIC; };
    bool in_64_bits = wide(argv[0]) || wide(argv[1]);
    int64_t a = integer_argument(ctx, argv[0], Fraction::Refuse);
    int64_t b = integer_argument(ctx, argv[1], Fraction::Refuse);
    if (!in_64_bits) {
        fit_int(ctx, a);
        fit_int(ctx, b);
    }
    if (b == 0)
        kv_fn_fail(ctx, KvMessage::division_by_zero);
    int64_t remainder = b == -1 ? 0 : a % b; // INT64_MIN % -1 would trap
    Value *result = kv_fn_new_result(ctx, in_64_bits ? VT_BIGINT : VT_INTEGER);
    if (!result)
        return nullptr;
    if (in_64_bits)
        result->data.big = remainder;
    else
        result->data.i = static_cast<int32_t>(remainder);
    return result;
}

KV_SCALAR_FUNCTION(func_pi)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    return double_result(ctx, kPi);
}

// The exponent is an integer (a double is cut toward zero).
KV_SCALAR_FUNCTION(func_power)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return kv_fn_null_result(ctx, VT_DOUBLE);
    double x = get_double_from_value(argv[0]);
    int32_t n = int_argument(ctx, argv[1]);
    if (x == 0 && n < 0)
        kv_fn_fail(ctx, KvMessage::division_by_zero);
    return double_result(ctx, std::pow(x, static_cast<double>(n)));
}

KV_SCALAR_FUNCTION(func_radians)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return scale_by(x, kPi, 180.0); });
}

// A seed restarts the library's sequence at that seed; a NULL seed gives NULL.
KV_SCALAR_FUNCTION(func_rand)
{
    (void)mode, (void)eval_data, (void)entry;
    if (argc > 0) {
        if (kv_fn_null_among(argc, argv, 1))
            return kv_fn_null_result(ctx, VT_DOUBLE);
        int32_t seed = int_argument(ctx, argv[0]);
        rand_state().store(static_cast<uint64_t>(int64_t{seed}), std::memory_order_relaxed);
    }
    return double_result(ctx, next_random());
}

KV_SCALAR_FUNCTION(func_round)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return null_result_like(ctx, kv_fn_argument(argc, argv, 0));
    return round_value(ctx, argv[0], int_argument(ctx, argv[1]), Rounding::HalfAwayFromZero);
}

KV_SCALAR_FUNCTION(func_sign)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_INTEGER);
    const Value *x = argv[0];
    int32_t sign = 0;
    switch (x->type) {
    case VT_INTEGER:
    case VT_BIT: sign = (x->data.i > 0) - (x->data.i < 0); break;
    case VT_BIGINT: sign = (x->data.big > 0) - (x->data.big < 0); break;
    case VT_NUMERIC:
        sign = magnitude_of(x->data.num) == 0 ? 0 : is_negative(x->data.num) ? -1 : 1;
        break;
    default: {
        double d = get_double_from_value(x);
        sign = (d > 0) - (d < 0); // NaN: 0
        break;
    }
    }
    Value *result = kv_fn_new_result(ctx, VT_INTEGER);
    if (result)
        result->data.i = sign;
    return result;
}

KV_SCALAR_FUNCTION(func_sin)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return std::sin(x); });
}

KV_SCALAR_FUNCTION(func_sqrt)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [ctx](double x) {
        if (x < 0)
            kv_fn_fail(ctx, KvMessage::domain);
        return std::sqrt(x);
    });
}

KV_SCALAR_FUNCTION(func_tan)
{
    (void)mode, (void)eval_data, (void)entry;
    return unary_double(ctx, argc, argv, [](double x) { return std::tan(x); });
}

KV_SCALAR_FUNCTION(func_truncate)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return null_result_like(ctx, kv_fn_argument(argc, argv, 0));
    return round_value(ctx, argv[0], int_argument(ctx, argv[1]), Rounding::Truncate);
}
