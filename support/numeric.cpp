/*
** Exact numerics: a NumericValue is +/- magnitude x 10^-scale with a 128-bit
** unsigned magnitude. The magnitude is worked on as one native unsigned
** 128-bit integer. Decimal text is read in groups of eight digits (each
** group combined with three multiplications) and written in chunks of 19
** digits (the most a 64-bit word holds), so a 39-digit conversion costs a
** handful of multiplications or two divisions.
**
** The conversions through double keep the classic results bit for bit:
** numeric_to_double adds the powers of two of the set bits in ascending
** order, and the doubles that become numerics are rounded as "%.0f" prints
** them (to nearest, ties to even, in the current rounding mode).
*/
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "internal.h"
#include "messages.h"

namespace {

// __extension__: the native 128-bit type is a GNU extension that -Wpedantic flags.
__extension__ typedef unsigned __int128 u128;

static_assert(sizeof(NumericValue) == 19, "NumericValue is the 19-byte ODBC numeric structure");
static_assert(std::endian::native == std::endian::little,
              "the magnitude bytes are copied as one little-endian integer");

constexpr u128 kMaxMagnitude = ~u128{0};
constexpr int kMaxDigits = 39;
constexpr int kChunkDigits = 19;
constexpr uint64_t kChunk = 10000000000000000000ull; // 10^19
constexpr int kMinScale = -128;
constexpr int kMaxScale = 127;

// Longest text numeric_to_string makes: a sign, then 39 digits and 128
// zeros (scale -128), plus the terminator.
constexpr int kTextSize = 1 + kMaxDigits + 128 + 1;

// 10^0 .. 10^38, every power of ten a magnitude holds.
constexpr std::array<u128, kMaxDigits> kPow10 = [] {
    std::array<u128, kMaxDigits> table{};
    u128 p = 1;
    for (auto &entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

// (2^128 - 1) / 10^d: the largest magnitude that 10^d times still fits.
constexpr std::array<u128, kMaxDigits> kMaxBeforeScaling = [] {
    std::array<u128, kMaxDigits> table{};
    for (int d = 0; d < kMaxDigits; d++)
        table[d] = kMaxMagnitude / kPow10[d];
    return table;
}();

// 10^d modulo 2^128 for d = 0..255: raising a magnitude to a larger scale
// keeps the low 128 bits.
constexpr std::array<u128, 256> kPow10Wrapped = [] {
    std::array<u128, 256> table{};
    u128 p = 1;
    for (auto &entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

// 2^0 .. 2^127, each exact in double precision.
constexpr std::array<double, 128> d_factors = [] {
    std::array<double, 128> table{};
    double p = 1.0;
    for (auto &entry : table) {
        entry = p;
        p *= 2.0;
    }
    return table;
}();

constexpr double kTwoTo128 = 340282366920938463463374607431768211456.0;

u128 magnitude_of(const NumericValue *n)
{
    u128 m;
    std::memcpy(&m, n->val, sizeof m);
    return m;
}

void set_magnitude(NumericValue *n, u128 m)
{
    std::memcpy(n->val, &m, sizeof m);
}

bool is_positive(const NumericValue *n)
{
    return n->sign != 0;
}

// The sign that counts in comparisons: a zero is positive whatever its sign byte.
bool compares_positive(const NumericValue *n)
{
    return is_positive(n) || magnitude_of(n) == 0;
}

bool scale_fits(long long scale)
{
    return scale >= kMinScale && scale <= kMaxScale;
}

// Zero is always positive: -0 would compare and render unlike 0.
void store(NumericValue *target, int precision, long long scale, bool positive, u128 m)
{
    target->precision = static_cast<SQLCHAR>(precision);
    target->scale = static_cast<SQLSCHAR>(scale);
    target->sign = positive || m == 0 ? 1 : 0;
    set_magnitude(target, m);
}

// m x 10^d with overflow reported; the low 128 bits are kept either way.
bool scale_up(u128 *m, int d)
{
    bool fits = *m == 0 || (d < kMaxDigits && *m <= kMaxBeforeScaling[d]);
    *m *= kPow10Wrapped[static_cast<std::size_t>(d)];
    return fits;
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

uint64_t load8(const char *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The value of 8 ASCII digits, the first the most significant (three
// multiplications combine pairs, then quadruples, then the two halves).
uint32_t eight_digit_value(uint64_t v)
{
    v -= 0x3030303030303030ull;
    v = v * 10 + (v >> 8);
    v = ((v & 0x000000FF000000FFull) * 0x000F424000000064ull +
         ((v >> 16) & 0x000000FF000000FFull) * 0x0000271000000001ull) >> 32;
    return static_cast<uint32_t>(v);
}

// Whether the 8 bytes are all ASCII digits.
bool all_digits(uint64_t v)
{
    return (v & 0xF0F0F0F0F0F0F0F0ull) == 0x3030303030303030ull &&
           ((v + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) == 0x3030303030303030ull;
}

// Skips the digits from p, eight at a time while eight bytes remain before
// `end` (the terminator).
const char *skip_digits(const char *p, const char *end)
{
    while (end - p >= 8 && all_digits(load8(p)))
        p += 8;
    while (is_digit(*p))
        p++;
    return p;
}

// ---- Decimal text in ----

// The parts of a decimal text: blanks, an optional sign, digits, an optional
// point with fraction digits, blanks.
struct DecimalText {
    bool negative;
    const char *integer;
    std::size_t integer_length;
    const char *fraction;
    std::size_t fraction_length;
    const char *point; // the point, or NULL
    const char *end;   // the terminator
};

bool scan_decimal(const char *text, DecimalText *out)
{
    const char *end = text + std::strlen(text);
    const char *p = text;
    while (*p == ' ')
        p++;
    out->negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    out->integer = p;
    p = skip_digits(p, end);
    out->integer_length = static_cast<std::size_t>(p - out->integer);
    out->point = *p == '.' ? p++ : nullptr;
    out->fraction = p;
    p = skip_digits(p, end);
    out->fraction_length = static_cast<std::size_t>(p - out->fraction);
    while (*p == ' ')
        p++;
    out->end = end;
    return p == end;
}

// A stretch of digits; `digits` NULL stands for `length` zeros.
struct DigitRun {
    const char *digits;
    std::size_t length;
};

// Collects the significant digits (leading zeros dropped) of the runs joined
// into `out`. Returns their count, or -1 when there are more than 39.
int significant_digits(const DigitRun *runs, int run_count, char (&out)[kMaxDigits])
{
    int count = 0;
    for (int r = 0; r < run_count; r++) {
        const char *d = runs[r].digits;
        std::size_t n = runs[r].length;
        if (count == 0) {
            if (!d)
                continue;
            while (n > 0 && *d == '0') {
                d++;
                n--;
            }
        }
        if (n > static_cast<std::size_t>(kMaxDigits - count))
            return -1;
        if (d)
            std::memcpy(out + count, d, n);
        else
            std::memset(out + count, '0', n);
        count += static_cast<int>(n);
    }
    return count;
}

uint64_t short_value(const char *d, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; i++)
        v = v * 10 + static_cast<uint64_t>(d[i] - '0');
    return v;
}

// The magnitude of the runs joined, or false when it exceeds 2^128 - 1.
bool runs_to_magnitude(const DigitRun *runs, int run_count, u128 *out)
{
    char digits[kMaxDigits];
    int n = significant_digits(runs, run_count, digits);
    if (n < 0)
        return false;
    // The odd digits first, then groups of eight: as long as the digits so
    // far fit 19, in 64 bits, the rest in 128.
    int head = n % 8;
    uint64_t low = short_value(digits, head);
    int i = head;
    for (; i < n && i + 8 <= kChunkDigits; i += 8)
        low = low * 100000000u + eight_digit_value(load8(digits + i));
    u128 m = low;
    for (; i < n; i += 8) {
        // Below 39 digits the value is under 10^38; only the last group of
        // a 39-digit text can take it past 2^128 - 1.
        uint32_t group = eight_digit_value(load8(digits + i));
        if (m > kMaxBeforeScaling[8] || (m *= 100000000u) > kMaxMagnitude - group)
            return false;
        m += group;
    }
    *out = m;
    return true;
}

// The sign goes in first; -2 when magnitude or scale do not fit.
int store_parsed(NumericValue *target, bool negative, const DigitRun *runs, int run_count,
                 int precision, long long scale)
{
    target->sign = negative ? 0 : 1;
    u128 m;
    if (!runs_to_magnitude(runs, run_count, &m) || !scale_fits(scale))
        return -2;
    store(target, precision, scale, !negative, m);
    return 0;
}

int parse_decimal(const char *text, NumericValue *target, int precision, int scale, DecimalText *t)
{
    if (!text || !target || !scan_decimal(text, t))
        return -1;
    const DigitRun runs[] = {{t->integer, t->integer_length}, {t->fraction, t->fraction_length}};
    return store_parsed(target, t->negative, runs, 2, precision,
                        static_cast<long long>(scale) + static_cast<long long>(t->fraction_length));
}

// ---- Decimal text out ----

constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> table{};
    for (int i = 0; i < 100; i++) {
        table[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        table[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return table;
}();

void write4(char *out, uint32_t v) // v below 10^4
{
    std::memcpy(out, &kDigitPairs[2 * (v / 100)], 2);
    std::memcpy(out + 2, &kDigitPairs[2 * (v % 100)], 2);
}

void write8(char *out, uint32_t v) // v below 10^8
{
    write4(out, v / 10000);
    write4(out + 4, v % 10000);
}

// Writes the 19 digits of v (below 10^19), with leading zeros, as three
// independent groups of 3, 8 and 8 digits.
void write_chunk(char *out, uint64_t v)
{
    auto top = static_cast<uint32_t>(v / 10000000000000000ull);
    uint64_t rest = v % 10000000000000000ull;
    out[0] = static_cast<char>('0' + top / 100);
    std::memcpy(out + 1, &kDigitPairs[2 * (top % 100)], 2);
    write8(out + 3, static_cast<uint32_t>(rest / 100000000u));
    write8(out + 11, static_cast<uint32_t>(rest % 100000000u));
}

int write_u64(char *out, uint64_t v)
{
    return static_cast<int>(std::to_chars(out, out + 20, v).ptr - out);
}

// The decimal digits of m without leading zeros (no terminator); returns
// their count.
int magnitude_digits(u128 m, char *out)
{
    if (m <= UINT64_MAX)
        return write_u64(out, static_cast<uint64_t>(m));
    u128 upper = m / kChunk;
    auto low = static_cast<uint64_t>(m - upper * kChunk);
    int n;
    if (upper <= UINT64_MAX) {
        n = write_u64(out, static_cast<uint64_t>(upper));
    } else {
        auto top = static_cast<uint64_t>(upper / kChunk);
        auto middle = static_cast<uint64_t>(upper - static_cast<u128>(top) * kChunk);
        n = write_u64(out, top);
        write_chunk(out + n, middle);
        n += kChunkDigits;
    }
    write_chunk(out + n, low);
    return n + kChunkDigits;
}

// The text of a numeric into `text` (kTextSize bytes); returns its length.
int format_numeric(const NumericValue *n, char *text)
{
    char digits[kMaxDigits];
    int count = magnitude_digits(magnitude_of(n), digits);
    int scale = n->scale;
    char *p = text;
    if (!is_positive(n))
        *p++ = '-';
    if (scale <= 0) {
        std::memcpy(p, digits, static_cast<std::size_t>(count));
        p += count;
        std::memset(p, '0', static_cast<std::size_t>(-scale));
        p += -scale;
    } else {
        const char *fraction = digits;
        int fraction_count = count;
        int fraction_zeros = 0;
        if (count > scale) {
            std::memcpy(p, digits, static_cast<std::size_t>(count - scale));
            p += count - scale;
            fraction += count - scale;
            fraction_count = scale;
        } else {
            *p++ = '0';
            fraction_zeros = scale - count;
        }
        // Trailing fraction zeros go, and the point with them when nothing
        // is left after it.
        while (fraction_count > 0 && fraction[fraction_count - 1] == '0')
            fraction_count--;
        if (fraction_count > 0) {
            *p++ = '.';
            std::memset(p, '0', static_cast<std::size_t>(fraction_zeros));
            p += fraction_zeros;
            std::memcpy(p, fraction, static_cast<std::size_t>(fraction_count));
            p += fraction_count;
        }
    }
    *p = '\0';
    return static_cast<int>(p - text);
}

// ---- Doubles ----

// Stores t rounded as "%.0f" prints it, at `scale`; -2 (sign set) when it
// does not fit.
int store_rounded(double t, NumericValue *target, int precision, long long scale)
{
    double r = std::nearbyint(t);
    bool negative = std::signbit(r);
    target->sign = negative ? 0 : 1;
    double a = std::fabs(r);
    if (!(a < kTwoTo128) || !scale_fits(scale))
        return -2;
    store(target, precision, scale, !negative, static_cast<u128>(a));
    return 0;
}

double text_to_double(const NumericValue *n)
{
    char text[kTextSize];
    format_numeric(n, text);
    return kv_read_double(text, nullptr);
}

// ---- Integers ----

// The integer part of |n|; false when it is 2^128 or more (negative scale).
bool integer_part(const NumericValue *n, u128 *out)
{
    u128 m = magnitude_of(n);
    int scale = n->scale;
    if (scale > 0)
        *out = scale >= kMaxDigits ? 0 : m / kPow10[static_cast<std::size_t>(scale)];
    else
        *out = m;
    return scale >= 0 || scale_up(out, -scale);
}

int64_t saturate(const NumericValue *n, int64_t low, int64_t high)
{
    u128 q;
    bool fits = integer_part(n, &q);
    if (is_positive(n))
        return !fits || q > static_cast<u128>(high) ? high : static_cast<int64_t>(q);
    u128 limit = static_cast<u128>(-(low + 1)) + 1;
    if (!fits || q >= limit)
        return low;
    return -static_cast<int64_t>(q);
}

// Magnitude comparison of two values at different scales, exactly.
int compare_aligned(u128 a, int a_scale, u128 b, int b_scale)
{
    if (a_scale < b_scale) {
        if (!scale_up(&a, b_scale - a_scale))
            return 1;
    } else if (b_scale < a_scale) {
        if (!scale_up(&b, a_scale - b_scale))
            return -1;
    }
    return a < b ? -1 : a > b ? 1 : 0;
}

} // namespace

int kv_parse_numeric(const char *text, NumericValue *target, int precision, int scale)
{
    DecimalText t;
    return parse_decimal(text, target, precision, scale, &t);
}

// ---- Numbers from text, in every locale ----

namespace {

bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the decimal text [p, stop), which from_chars found outside the
// double range, lies above it rather than below: its first significant digit
// stands at 10^0 or higher.
bool beyond_largest(const char *p, const char *stop)
{
    long long position = 0; // the power of ten of the first significant digit, plus one
    bool significant = false;
    for (; p < stop && is_digit(*p); p++) {
        significant = significant || *p != '0';
        position += significant;
    }
    if (p < stop && *p == '.') {
        for (p++; p < stop && is_digit(*p) && !significant; p++) {
            significant = *p != '0';
            position -= !significant;
        }
    }
    while (p < stop && is_digit(*p))
        p++;
    if (p < stop && (*p == 'e' || *p == 'E'))
        position += std::clamp<int64_t>(kv_read_int64(p + 1, nullptr), -(int64_t{1} << 40), int64_t{1} << 40);
    return position > 0;
}

// Skips the blanks and the sign before a number; returns where its digits start.
const char *after_sign(const char *text, bool *negative)
{
    const char *p = text;
    while (is_c_space(*p))
        p++;
    *negative = *p == '-';
    return *p == '-' || *p == '+' ? p + 1 : p;
}

} // namespace

double kv_read_double(const char *text, const char **end)
{
    bool negative;
    const char *p = after_sign(text, &negative);
    double d = 0.0;
    auto [stop, error] = std::from_chars(p, p + std::strlen(p), d, std::chars_format::general);
    if (error == std::errc::invalid_argument || *p == '-' || *p == '+') {
        if (end)
            *end = text;
        return 0.0;
    }
    if (error == std::errc::result_out_of_range)
        d = beyond_largest(p, stop) ? HUGE_VAL : 0.0;
    if (end)
        *end = stop;
    return negative ? -d : d;
}

int64_t kv_read_int64(const char *text, const char **end)
{
    bool negative;
    const char *p = after_sign(text, &negative);
    if (!is_digit(*p)) {
        if (end)
            *end = text;
        return 0;
    }
    uint64_t limit = negative ? uint64_t{INT64_MAX} + 1 : uint64_t{INT64_MAX};
    uint64_t magnitude = 0;
    for (; is_digit(*p); p++) {
        auto digit = static_cast<uint64_t>(*p - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (end)
        *end = p;
    if (!negative)
        return static_cast<int64_t>(magnitude);
    return magnitude > uint64_t{INT64_MAX} ? INT64_MIN : -static_cast<int64_t>(magnitude);
}

extern "C" {

int string_to_numeric(char *text, NumericValue *target, int precision, int scale)
{
    DecimalText t;
    int rc = parse_decimal(text, target, precision, scale, &t);
    if (rc != -1 && t.point) {
        // The point goes: what follows it moves one place left.
        char *point = text + (t.point - text);
        std::memmove(point, point + 1, static_cast<std::size_t>(t.end - t.point));
    }
    return rc;
}

int create_numeric(const char *text, NumericValue *target, int precision, int scale)
{
    DecimalText t;
    if (!text || !target || !scan_decimal(text, &t))
        return -1;
    DigitRun runs[3] = {{t.integer, t.integer_length}, {t.fraction, 0}, {nullptr, 0}};
    if (scale < 0) {
        // The last -scale integer digits go as well.
        std::size_t cut = static_cast<std::size_t>(-static_cast<long long>(scale));
        runs[0].length = cut < t.integer_length ? t.integer_length - cut : 0;
    } else {
        std::size_t wanted = static_cast<std::size_t>(scale);
        runs[1].length = wanted < t.fraction_length ? wanted : t.fraction_length;
        runs[2].length = wanted - runs[1].length;
    }
    return store_parsed(target, t.negative, runs, 3, precision, scale);
}

int numeric_to_string(const NumericValue *source, char *buffer, int buffer_length, int *length)
{
    char text[kTextSize];
    format_numeric(source, text);
    return copy_str_bufferl(buffer, buffer_length, length, text);
}

int bigint_to_numeric(int64_t value, NumericValue *target, int precision, int scale)
{
    if (!scale_fits(scale))
        return -2;
    u128 m = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (scale < 0)
        m = -scale >= kMaxDigits ? 0 : m / kPow10[static_cast<std::size_t>(-scale)];
    else if (!scale_up(&m, scale))
        return -2;
    // A negative value that truncates to zero is a positive zero.
    store(target, precision, scale, value >= 0 || m == 0, m);
    return 0;
}

int bigint_to_numeric_noscale(int64_t value, NumericValue *target, int precision)
{
    return bigint_to_numeric(value, target, precision, 0);
}

int int_to_numeric(int32_t value, NumericValue *target, int precision, int scale)
{
    return bigint_to_numeric(value, target, precision, scale);
}

int int_to_numeric_noscale(int32_t value, NumericValue *target, int precision)
{
    return bigint_to_numeric(value, target, precision, 0);
}

int double_to_numeric(double value, NumericValue *target, int precision, int scale)
{
    if (!std::isfinite(value))
        return -1;
    double t = value;
    if (scale < 0) {
        t = value / std::pow(10.0, -scale);
        if (t != std::trunc(t))
            return 1;
    } else if (scale > 0) {
        t = value * std::pow(10.0, scale);
    }
    return store_rounded(t, target, precision, scale);
}

int numeric_to_int(const NumericValue *source, int *out)
{
    *out = static_cast<int>(saturate(source, INT_MIN, INT_MAX));
    return 0;
}

int numeric_to_bigint(const NumericValue *source, int64_t *out)
{
    *out = saturate(source, INT64_MIN, INT64_MAX);
    return 0;
}

int numeric_to_double(const NumericValue *source, double *out)
{
    u128 m = magnitude_of(source);
    // Below 2^53 every partial sum is exact, so the low bits go in at once;
    // the higher bits are added one by one, each sum rounded.
    constexpr u128 kExactBits = (u128{1} << 53) - 1;
    double sum = static_cast<double>(static_cast<uint64_t>(m & kExactBits));
    for (u128 rest = m & ~kExactBits; rest != 0; rest &= rest - 1) {
        auto low = static_cast<uint64_t>(rest);
        int bit = low ? std::countr_zero(low) : 64 + std::countr_zero(static_cast<uint64_t>(rest >> 64));
        sum += d_factors[static_cast<std::size_t>(bit)];
    }
    if (!is_positive(source))
        sum = -sum;
    if (source->scale != 0)
        sum *= std::pow(10.0, -source->scale);
    *out = sum;
    return 0;
}

int numeric_compare(const NumericValue *left, const NumericValue *right)
{
    bool positive = compares_positive(left);
    if (positive != compares_positive(right))
        return positive ? 1 : -1;
    int c = compare_aligned(magnitude_of(left), left->scale, magnitude_of(right), right->scale);
    return positive ? c : -c;
}

int numeric_is_zero(const NumericValue *source)
{
    return magnitude_of(source) == 0 ? 1 : 0;
}

int add_numeric(NumericValue *left, const NumericValue *right)
{
    u128 a = magnitude_of(left);
    u128 b = magnitude_of(right);
    bool fits = true;
    if (left->scale < right->scale) {
        fits = scale_up(&a, right->scale - left->scale);
        left->scale = right->scale;
    } else if (right->scale < left->scale) {
        fits = scale_up(&b, left->scale - right->scale);
    }
    if (is_positive(left) == is_positive(right)) {
        u128 sum = a + b;
        fits = fits && sum >= a;
        set_magnitude(left, sum);
    } else if (a >= b) {
        set_magnitude(left, a - b);
    } else {
        set_magnitude(left, b - a);
        left->sign = right->sign;
    }
    if (magnitude_of(left) == 0)
        left->sign = 1; // an exact cancellation is a positive zero
    return fits ? 0 : -2;
}

int subtract_numeric(NumericValue *left, const NumericValue *right)
{
    NumericValue negated = *right;
    negated.sign = is_positive(right) ? 0 : 1;
    return add_numeric(left, &negated);
}

int mult_numeric(NumericValue *left, const NumericValue *right)
{
    u128 product;
    bool overflow = __builtin_mul_overflow(magnitude_of(left), magnitude_of(right), &product);
    int scale = left->scale + right->scale;
    store(left, 0, scale, is_positive(left) == is_positive(right), product);
    return overflow || !scale_fits(scale) ? -2 : 0;
}

int div_numeric(NumericValue *left, const NumericValue *right, EvalContext *context)
{
    double divisor = text_to_double(right);
    double q = 0.0;
    if (divisor == 0.0) {
        if (context)
            kv_eval_error(context, 1, kv_subclass_iso, KvMessage::division_by_zero);
    } else {
        q = text_to_double(left) / divisor;
    }
    int scale = left->scale;
    double t = scale > 0 ? q * std::pow(10.0, scale) : scale < 0 ? q / std::pow(10.0, -scale) : q;
    NumericValue quotient = *left;
    if (store_rounded(t, &quotient, left->precision, scale) != 0)
        return -2;
    *left = quotient;
    return divisor == 0.0 ? -1 : 0;
}

} // extern "C"
