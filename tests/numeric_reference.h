// The exact numerics done the plain way, as the baseline of the tests and the
// benchmark: binary to decimal and back through digit strings and a table of
// the 128 powers of two written out in decimal, arithmetic byte by byte on the
// 16 magnitude bytes. Slow on purpose and easy to check by eye; the library
// must agree with it byte for byte, return codes included.
//
// Where the digit-string method says nothing (texts that are not decimal
// numbers, trailing blanks, scales that leave the 8-bit field, overflow in
// multiplication and scale alignment, a quotient that does not fit, non-finite
// doubles) this baseline makes the library's documented choices, written out
// the same plain way.
#ifndef KV_NUMERIC_REFERENCE_H
#define KV_NUMERIC_REFERENCE_H

#include <kvsupp.h>

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace numeric_reference {

constexpr const char *max_num = "340282366920938463463374607431768211455";

// Enough for every text a numeric renders to, with room for the padding of
// the comparison.
constexpr int kWork = 512;

// factors[i] is 2^i in decimal, without leading zeros.
inline const std::array<std::string, 128> &factors()
{
    static const std::array<std::string, 128> table = [] {
        std::array<std::string, 128> t;
        std::string p = "1";
        for (auto &entry : t) {
            entry = p;
            std::string doubled;
            int carry = 0;
            for (auto it = p.rbegin(); it != p.rend(); ++it) {
                int d = (*it - '0') * 2 + carry;
                doubled.insert(doubled.begin(), static_cast<char>('0' + d % 10));
                carry = d / 10;
            }
            if (carry)
                doubled.insert(doubled.begin(), '1');
            p = doubled;
        }
        return t;
    }();
    return table;
}

inline const std::array<double, 128> &d_factors()
{
    static const std::array<double, 128> table = [] {
        std::array<double, 128> t{};
        for (int i = 0; i < 128; i++)
            t[i] = std::ldexp(1.0, i);
        return t;
    }();
    return table;
}

inline bool positive(const NumericValue *n)
{
    return n->sign != 0;
}

// ---- Digit-string helpers ----

// Both may hold one '.'; the integer parts are compared without leading
// zeros (a zero at a negative scale renders as "000").
inline int numeric_string_compare(const char *a, const char *b)
{
    char ja[kWork], jb[kWork];
    if (*a == '-' && *b == '-') { // two negative texts: the signs are equal
        a++;
        b++;
    }
    const char *pa = std::strchr(a, '.'), *pb = std::strchr(b, '.');
    size_t ia = pa ? size_t(pa - a) : std::strlen(a), ib = pb ? size_t(pb - b) : std::strlen(b);
    const char *fa = pa ? pa + 1 : "", *fb = pb ? pb + 1 : "";
    size_t la = std::strlen(fa), lb = std::strlen(fb), lf = la > lb ? la : lb;
    while (ia > 1 && *a == '0') {
        a++;
        ia--;
    }
    while (ib > 1 && *b == '0') {
        b++;
        ib--;
    }
    std::memcpy(ja, a, ia);
    std::memcpy(ja + ia, fa, la);
    std::memset(ja + ia + la, '0', lf - la);
    ja[ia + lf] = '\0';
    std::memcpy(jb, b, ib);
    std::memcpy(jb + ib, fb, lb);
    std::memset(jb + ib + lb, '0', lf - lb);
    jb[ib + lf] = '\0';
    size_t na = std::strlen(ja), nb = std::strlen(jb);
    if (na != nb)
        return na > nb ? 1 : -1;
    int c = std::strcmp(ja, jb);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// numeric_string_compare for two digit strings without point or leading
// zeros: the longer is the larger, else the first differing digit decides.
inline int digits_compare(const char *a, size_t na, const char *b, size_t nb)
{
    if (na != nb)
        return na > nb ? 1 : -1;
    int c = std::memcmp(a, b, na);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// a := a - b for a >= b; returns the new length of a.
inline size_t subtract_string(char *a, const char *b)
{
    size_t na = std::strlen(a), nb = std::strlen(b);
    char *pa = a + na;
    const char *pb = b + nb;
    int borrow = 0;
    while (pb > b) {
        int d = *--pa - *--pb - borrow;
        borrow = d < 0;
        *pa = char('0' + (borrow ? d + 10 : d));
    }
    while (borrow) {
        borrow = *--pa == '0';
        *pa = borrow ? '9' : char(*pa - 1);
    }
    size_t skip = 0;
    while (skip + 1 < na && a[skip] == '0')
        skip++;
    std::memmove(a, a + skip, na - skip + 1);
    return na - skip;
}

// destination := destination + addend (the destination has room for the
// sum).
inline void add_string(char *destination, const char *addend)
{
    size_t nd = std::strlen(destination), na = std::strlen(addend);
    if (nd <= 6 && na <= 6) {
        std::snprintf(destination, 8, "%ld", std::atol(destination) + std::atol(addend));
        return;
    }
    if (na > nd) { // right-align the destination under the longer addend
        std::memmove(destination + (na - nd), destination, nd + 1);
        std::memset(destination, '0', na - nd);
        nd = na;
    }
    char *pd = destination + nd;
    const char *pa = addend + na;
    int carry = 0;
    while (pa > addend) {
        int d = *--pd - '0' + *--pa - '0' + carry;
        carry = d >= 10;
        *pd = char('0' + (carry ? d - 10 : d));
    }
    while (carry && pd > destination) {
        carry = *--pd == '9';
        *pd = carry ? '0' : char(*pd + 1);
    }
    if (carry) {
        std::memmove(destination + 1, destination, nd + 1);
        destination[0] = '1';
    }
}

// ---- Conversions ----

// blanks, sign, digits, point, digits, blanks
inline bool well_formed(const char *t)
{
    while (*t == ' ')
        t++;
    if (*t == '+' || *t == '-')
        t++;
    while (*t >= '0' && *t <= '9')
        t++;
    if (*t == '.')
        t++;
    while (*t >= '0' && *t <= '9')
        t++;
    while (*t == ' ')
        t++;
    return *t == '\0';
}

inline size_t trailing_blanks(const char *t)
{
    size_t n = std::strlen(t), k = 0;
    while (k < n && t[n - 1 - k] == ' ')
        k++;
    return k;
}

inline int string_to_numeric(char *text, NumericValue *target, int precision, int scale)
{
    if (!well_formed(text))
        return -1;
    long long s = scale;
    char *point = std::strchr(text, '.');
    if (point) {
        s += (long long)(std::strlen(point + 1) - trailing_blanks(point + 1));
        std::memmove(point, point + 1, std::strlen(point + 1) + 1);
    }
    char *p = text;
    while (*p == ' ')
        p++;
    int sign = 1;
    if (*p == '-') {
        sign = 0;
        p++;
    } else if (*p == '+') {
        p++;
    }
    target->sign = (SQLCHAR)sign;
    while (*p == '0')
        p++;
    size_t n = 0;
    while (p[n] >= '0' && p[n] <= '9')
        n++;
    if (n > 39) // longer than max_num, so greater
        return -2;
    char digits[kWork];
    std::memcpy(digits, p, n);
    digits[n] = '\0';
    if (numeric_string_compare(digits, max_num) > 0 || s < -128 || s > 127)
        return -2;
    std::memset(target->val, 0, 16);
    target->precision = (SQLCHAR)precision;
    target->scale = (SQLSCHAR)s;
    const std::array<std::string, 128> &f = factors();
    for (int i = 127; i >= 0; i--) {
        int c = digits_compare(digits, n, f[i].data(), f[i].size());
        if (c >= 0)
            target->val[i / 8] |= (SQLCHAR)(1 << (i % 8));
        if (c == 0)
            break;
        if (c > 0)
            n = subtract_string(digits, f[i].c_str());
    }
    return 0;
}

inline int create_numeric(const char *text, NumericValue *target, int precision, int scale)
{
    if (!well_formed(text))
        return -1;
    std::string t(text);
    t.resize(t.size() - trailing_blanks(text));
    size_t point = t.find('.');
    std::string integer = point == std::string::npos ? t : t.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : t.substr(point + 1);
    if (scale < 0) {
        fraction.clear();
        for (long long cut = -(long long)scale; cut > 0 && !integer.empty() && integer.back() >= '0' &&
                                                integer.back() <= '9';
             cut--)
            integer.pop_back();
    } else if (fraction.size() > size_t(scale)) {
        fraction.resize(size_t(scale));
    } else {
        fraction.append(size_t(scale) - fraction.size(), '0');
    }
    std::string joined = integer + fraction;
    return numeric_reference::string_to_numeric(joined.data(), target, precision, scale);
}

inline std::string to_text(const NumericValue *source)
{
    char digits[kWork] = "0";
    const std::array<std::string, 128> &f = factors();
    for (int bit = 0; bit < 128; bit++)
        if (source->val[bit / 8] & (1 << (bit % 8)))
            add_string(digits, f[bit].c_str());
    std::string d = digits, out = positive(source) ? "" : "-";
    int n = int(d.size()), s = source->scale;
    if (s > 0 && n > s)
        out += d.substr(0, size_t(n - s)) + "." + d.substr(size_t(n - s));
    else if (s > 0)
        out += "0." + std::string(size_t(s - n), '0') + d;
    else
        out += d + std::string(size_t(-s), '0');
    if (s > 0) {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
    }
    return out;
}

inline int numeric_to_string(const NumericValue *source, char *buffer, int buffer_length, int *length)
{
    return copy_str_bufferl(buffer, buffer_length, length, to_text(source).c_str());
}

// Within the caller's contract: |scale| <= 18 and value x 10^scale in 64 bits.
inline int bigint_to_numeric(int64_t value, NumericValue *target, int precision, int scale)
{
    int64_t p = (int64_t)std::pow(10, std::abs(scale));
    int64_t v = scale < 0 ? value / p : scale > 0 ? value * p : value;
    target->precision = (SQLCHAR)precision;
    target->scale = (SQLSCHAR)scale;
    uint64_t m = v < 0 ? 0 - (uint64_t)v : (uint64_t)v;
    target->sign = v < 0 ? 0 : 1;
    std::memset(target->val, 0, 16);
    for (int i = 0; i < 8; i++)
        target->val[i] = (SQLCHAR)(m >> (8 * i));
    return 0;
}

// "%.0f" of t, read back at `scale`.
inline int store_rounded(double t, NumericValue *target, int precision, int scale)
{
    if (!std::isfinite(t)) {
        target->sign = std::signbit(std::nearbyint(t)) ? 0 : 1;
        return -2;
    }
    char text[kWork];
    std::snprintf(text, sizeof text, "%.0f", t);
    return numeric_reference::string_to_numeric(text, target, precision, scale);
}

inline int double_to_numeric(double value, NumericValue *target, int precision, int scale)
{
    if (!std::isfinite(value))
        return -1;
    double t = value;
    if (scale < 0) {
        t = value / std::pow(10, -scale);
        double whole;
        if (std::modf(t, &whole) != 0)
            return 1;
    } else if (scale > 0) {
        t = value * std::pow(10, scale);
    }
    return store_rounded(t, target, precision, scale);
}

inline int numeric_to_int(const NumericValue *source, int *out)
{
    long long v = std::strtoll(to_text(source).c_str(), nullptr, 10); // atoi of a 32-bit long
    *out = v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : int(v);
    return 0;
}

inline int numeric_to_bigint(const NumericValue *source, int64_t *out)
{
    *out = std::strtoll(to_text(source).c_str(), nullptr, 10);
    return 0;
}

inline int numeric_to_double(const NumericValue *source, double *out)
{
    double sum = 0;
    for (int i = 0; i < 128; i++)
        if (source->val[i / 8] & (1 << (i % 8)))
            sum += d_factors()[i];
    if (!positive(source))
        sum = -sum;
    if (source->scale != 0)
        sum *= std::pow(10, -source->scale);
    *out = sum;
    return 0;
}

inline int numeric_compare(const NumericValue *a, const NumericValue *b)
{
    if (positive(a) && !positive(b))
        return 1;
    if (!positive(a) && positive(b))
        return -1;
    if (a->scale != b->scale) {
        int c = numeric_string_compare(to_text(a).c_str(), to_text(b).c_str());
        return positive(a) ? c : -c;
    }
    for (int i = 15; i >= 0; i--)
        if (a->val[i] != b->val[i])
            return (a->val[i] < b->val[i]) == positive(a) ? -1 : 1;
    return 0;
}

// ---- Arithmetic ----

// Magnitude times ten; false when a carry leaves byte 15.
inline bool times_ten(NumericValue *n)
{
    int carry = 0;
    for (int i = 0; i < 16; i++) {
        int d = n->val[i] * 10 + carry;
        n->val[i] = (SQLCHAR)d;
        carry = d >> 8;
    }
    return carry == 0;
}

inline int add_numeric(NumericValue *a, const NumericValue *b_in)
{
    NumericValue b = *b_in;
    bool fits = true;
    if (a->scale != b.scale) {
        NumericValue ca = *a, cb = b;
        NumericValue *low = ca.scale < cb.scale ? &ca : &cb;
        int larger = ca.scale < cb.scale ? cb.scale : ca.scale;
        for (int k = low->scale; k < larger; k++)
            fits = times_ten(low) && fits;
        low->scale = (SQLSCHAR)larger;
        int rc = numeric_reference::add_numeric(&ca, &cb);
        *a = ca;
        return fits ? rc : -2;
    }
    if (positive(a) == positive(&b)) {
        int carry = 0;
        for (int i = 0; i < 16; i++) {
            int d = a->val[i] + b.val[i] + carry;
            a->val[i] = (SQLCHAR)d;
            carry = d >> 8;
        }
        return carry ? -2 : 0;
    }
    NumericValue pa = *a, pb = b;
    pa.sign = pb.sign = 1;
    int c = numeric_reference::numeric_compare(&pa, &pb);
    const NumericValue *big = c >= 0 ? a : &b, *small = c >= 0 ? &b : a;
    NumericValue r = *a;
    int borrow = 0;
    for (int i = 0; i < 16; i++) {
        int d = big->val[i] - small->val[i] - borrow;
        borrow = d < 0;
        r.val[i] = (SQLCHAR)(d & 0xff);
    }
    r.sign = big->sign;
    *a = r;
    return 0;
}

inline int subtract_numeric(NumericValue *a, const NumericValue *b)
{
    NumericValue copy = *b;
    copy.sign = positive(b) ? 0 : 1;
    return numeric_reference::add_numeric(a, &copy);
}

inline int significant_bytes(const NumericValue *n)
{
    int k = 16;
    while (k > 0 && n->val[k - 1] == 0)
        k--;
    return k;
}

inline int mult_numeric(NumericValue *a, const NumericValue *b)
{
    NumericValue p{};
    bool fits = true;
    int na = significant_bytes(a), nb = significant_bytes(b);
    for (int i = 0; i < na; i++) {
        for (int j = 0; j < nb; j++) {
            int v = a->val[i] * b->val[j];
            if (i + j > 15) {
                fits = fits && v == 0;
                continue;
            }
            for (int k = i + j; k < 16 && v; k++) {
                v += p.val[k];
                p.val[k] = (SQLCHAR)v;
                v >>= 8;
            }
            fits = fits && v == 0;
        }
    }
    int scale = a->scale + b->scale;
    p.scale = (SQLSCHAR)scale;
    p.sign = positive(a) == positive(b) ? 1 : 0;
    p.precision = 0;
    *a = p;
    return fits && scale >= -128 && scale <= 127 ? 0 : -2;
}

// atof without the locale: decimal texts are read with '.' in every locale.
inline double text_to_double(const std::string &text)
{
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

inline int div_numeric(NumericValue *a, const NumericValue *b, EvalContext *context)
{
    double da = text_to_double(to_text(a)), db = text_to_double(to_text(b));
    double q = 0;
    if (db == 0) {
        if (context) {
            SetReturnCode(context->stmt->error_header, -1);
            PostError(context->stmt->error_header, 1, 0, nullptr, 0, 0, "ISO 9075", "22012", "Division by zero");
            context->status = -1;
            std::longjmp(context->jump, -1);
        }
    } else {
        q = da / db;
    }
    int s = a->scale;
    double t = s > 0 ? q * std::pow(10, s) : s < 0 ? q / std::pow(10, -s) : q;
    NumericValue quotient = *a;
    if (store_rounded(t, &quotient, a->precision, s) != 0)
        return -2;
    *a = quotient;
    return db == 0 ? -1 : 0;
}

} // namespace numeric_reference

#endif
