/*
** Literal constructors for the parser, and the interval type promotion of
** interval arithmetic. Literal texts are read with bounded scanners of our
** own: nothing reads past the terminator of a text however short it is, and
** numbers are read the same way in every locale.
*/
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "internal.h"
#include "interval_types.h"

namespace {

constexpr size_t kNativeDigits = 6;  // longer digit strings become exact numerics

Value *new_value(MemHandle *handle, int type)
{
    auto *v = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, handle));
    if (v)
        v->type = type;
    return v;
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

int hex_value(char c)
{
    if (is_digit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// As atoi: the number held at the int range. *end is set after the digits.
int read_int(const char *p, const char **end)
{
    return static_cast<int>(std::clamp<int64_t>(kv_read_int64(p, end), INT_MIN, INT_MAX));
}

// ---- Character, bit and hexadecimal strings ----------------------------

Value *make_string(const char *text, MemHandle *handle)
{
    size_t length = text ? std::strlen(text) : 0;
    if (length < 2 || length - 1 > INT32_MAX)
        return nullptr;
    size_t n = length - 1;  // characters after the opening delimiter
    Value *v = NewValue(handle, static_cast<uint32_t>(n));
    if (!v)
        return nullptr;
    // Every field is cleared but those NewValue set for the data area.
    Value blank{};
    blank.kind = KV_NODE_VALUE;
    blank.type = VT_STRING;
    blank.inline_data = v->inline_data;
    blank.data.s = v->data.s;
    kv_assign_value(v, &blank);
    char *data = v->data.s;
    // The value is the text the literal denotes: a doubled delimiter inside
    // ('it''s') stands for one.
    size_t written = 0;
    for (size_t i = 1; i < n; i++) {
        data[written++] = text[i];
        if (text[i] == text[0] && i + 1 < n && text[i + 1] == text[0])
            i++;
    }
    data[written] = '\0';
    v->length = static_cast<int32_t>(written);
    return v;
}

Value *make_bit(const char *text, MemHandle *handle)
{
    if (!text || !text[0] || !text[1] || (text[2] != '0' && text[2] != '1'))
        return nullptr;
    Value *v = new_value(handle, VT_BIT);
    if (v)
        v->data.i = text[2] - '0';
    return v;
}

// The digits start at the third character; an X'...' literal ends with its
// closing delimiter. An odd count of digits reads as if a '0' stood first.
// A character that is no hexadecimal digit makes the literal fail, so a
// binary value always holds exactly the bytes its digits give.
Value *make_hex(const char *text, MemHandle *handle)
{
    size_t length = text ? std::strlen(text) : 0;
    bool delimited = length > 0 && (text[0] == 'X' || text[0] == 'x');
    if (length < 2u + delimited || length > INT32_MAX)
        return nullptr;
    const char *digits = text + 2;
    size_t n = length - 2 - delimited;
    if (!std::all_of(digits, digits + n, [](char c) { return hex_value(c) >= 0; }))
        return nullptr;
    size_t bytes = (n + 1) / 2;
    Value *v = new_value(handle, VT_BINARY);
    auto *data = v ? static_cast<unsigned char *>(kv_mem_alloc(handle, static_cast<uint32_t>(bytes))) : nullptr;
    if (!data) {
        release_value(handle, v);
        return nullptr;
    }
    for (size_t i = 0, d = 0; i < bytes; i++) {
        int high = i == 0 && n % 2 ? 0 : hex_value(digits[d++]);
        data[i] = static_cast<unsigned char>(high << 4 | hex_value(digits[d++]));
    }
    v->data.b = data;
    v->inline_data = 0;
    v->length = static_cast<int32_t>(bytes);
    v->octet_length = static_cast<int32_t>(bytes);
    return v;
}

// ---- Dates, times and timestamps ---------------------------------------

// Three numbers separated by `separator`, starting after the first
// apostrophe. *rest points after the third number's digits, *third_start at
// the text after the second separator.
bool read_triple(const char *text, char separator, int out[3], const char **third_start, const char **rest)
{
    const char *p = text ? std::strchr(text, '\'') : nullptr;
    if (!p)
        return false;
    out[0] = read_int(p + 1, &p);
    for (int i = 1; i < 3; i++) {
        p = std::strchr(p, separator);
        if (!p)
            return false;
        if (i == 2 && third_start)
            *third_start = p + 1;
        out[i] = read_int(p + 1, &p);
    }
    if (rest)
        *rest = p;
    return true;
}

Value *make_date(const char *text, MemHandle *handle)
{
    int f[3];
    if (!read_triple(text, '-', f, nullptr, nullptr))
        return nullptr;
    Value *v = new_value(handle, VT_DATE);
    if (v)
        v->data.date = {static_cast<SQLSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                        static_cast<SQLUSMALLINT>(f[2])};
    return v;
}

Value *make_time(const char *text, MemHandle *handle)
{
    int f[3];
    if (!read_triple(text, ':', f, nullptr, nullptr))
        return nullptr;
    Value *v = new_value(handle, VT_TIME);
    if (v)
        v->data.time = {static_cast<SQLUSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                        static_cast<SQLUSMALLINT>(f[2])};
    return v;
}

// Billionths from the digits after a decimal point: the first nine count,
// later ones are dropped.
SQLUINTEGER read_fraction(const char *p)
{
    if (*p != '.')
        return 0;
    SQLUINTEGER fraction = 0;
    int digits = 0;
    for (p++; is_digit(*p) && digits < 9; p++, digits++)
        fraction = fraction * 10 + static_cast<SQLUINTEGER>(*p - '0');
    for (; digits < 9; digits++)
        fraction *= 10;
    return fraction;
}

// The date as for a date literal; the time after the first run of spaces
// that follows the day number.
Value *make_timestamp(const char *text, MemHandle *handle)
{
    int date[3], time[3];
    const char *day_start = nullptr;
    if (!read_triple(text, '-', date, &day_start, nullptr))
        return nullptr;
    const char *p = std::strchr(day_start, ' ');
    if (!p)
        return nullptr;
    while (*p == ' ')
        p++;
    time[0] = read_int(p, &p);
    for (int i = 1; i < 3; i++) {
        p = std::strchr(p, ':');
        if (!p)
            return nullptr;
        time[i] = read_int(p + 1, &p);
    }
    Value *v = new_value(handle, VT_TIMESTAMP);
    if (v)
        v->data.ts = {static_cast<SQLSMALLINT>(date[0]), static_cast<SQLUSMALLINT>(date[1]),
                      static_cast<SQLUSMALLINT>(date[2]),   static_cast<SQLUSMALLINT>(time[0]),
                      static_cast<SQLUSMALLINT>(time[1]),   static_cast<SQLUSMALLINT>(time[2]),
                      read_fraction(p)};
    return v;
}

// ---- Numbers -----------------------------------------------------------

size_t length_of(const char *digits)
{
    return digits ? std::strlen(digits) : 0;
}

// The digit runs of `a` then `b` as one exact numeric at the given precision
// and scale: 0, or -2 when the magnitude exceeds 2^128 - 1.
int digits_to_numeric(const char *a, const char *b, NumericValue *target, int precision, int scale)
{
    std::string digits;
    for (const char *part : {a, b})
        for (const char *p = part; p && is_digit(*p); p++)
            digits += *p;
    return kv_parse_numeric(digits.c_str(), target, precision, scale);
}

int make_exact(Value *v, const char *a, const char *b, size_t precision, size_t scale)
{
    v->type = VT_NUMERIC;
    v->precision = static_cast<int32_t>(std::min<size_t>(precision, INT32_MAX));
    v->scale = static_cast<int32_t>(std::min<size_t>(scale, INT32_MAX));
    return digits_to_numeric(a, b, &v->data.num, v->precision, v->scale);
}

// "i.f" with at most six digits in each part, read as a double.
double short_decimal(const char *int_digits, const char *fraction_digits)
{
    char text[2 * kNativeDigits + 2] = "";
    size_t li = length_of(int_digits), lf = length_of(fraction_digits);
    std::memcpy(text, int_digits ? int_digits : "", li);
    text[li] = '.';
    std::memcpy(text + li + 1, fraction_digits ? fraction_digits : "", lf);
    text[li + 1 + lf] = '\0';
    return kv_read_double(text, nullptr);
}

// ---- Intervals ---------------------------------------------------------

// The field a qualifier's field code names: KV_FIELD_YEAR .. KV_FIELD_MINUTE,
// and SECOND in either of its two codes; -1 for any other code.
int field_of_code(intptr_t code)
{
    switch (code) {
    case KV_FIELD_YEAR: return kv_year;
    case KV_FIELD_MONTH: return kv_month;
    case KV_FIELD_DAY: return kv_day;
    case KV_FIELD_HOUR: return kv_hour;
    case KV_FIELD_MINUTE: return kv_minute;
    case KV_FIELD_SECOND:
    case KV_FIELD_SECOND_END: return kv_second;
    default: return -1;
    }
}

// The interval type of a single-field qualifier, taking its precisions.
int single_field_type(const NodeIntervalField *single, Value *v)
{
    if (single->precision != 0)
        v->leading_precision = static_cast<int32_t>(single->precision);
    int field = single->field == KV_FIELD_SECOND_END ? -1 : field_of_code(single->field);
    if (field < 0)
        return 0;
    const NodePrecision *p = single->second_precision;
    if (field == kv_second && p) {
        if (p->precision != 0)
            v->leading_precision = static_cast<int32_t>(p->precision);
        if (p->scale != 0)
            v->fraction_precision = static_cast<int32_t>(p->scale);
    }
    return kv_interval_type_code(field, field);
}

// The interval type of a range qualifier START TO END (SECOND ends a range
// only as KV_FIELD_SECOND_END); 0 where none exists.
int range_type(const NodeIntervalField *start, const NodeIntervalField *end, Value *v)
{
    if (!start || !end)
        return 0;
    if (start->precision != 0)
        v->leading_precision = static_cast<int32_t>(start->precision);
    int first = field_of_code(start->field);
    int last = end->field == KV_FIELD_SECOND ? -1 : field_of_code(end->field);
    if (first < 0 || first == kv_second || last < 0)
        return 0;
    if (end->field == KV_FIELD_SECOND_END && end->precision != 0)
        v->fraction_precision = static_cast<int32_t>(end->precision);
    return kv_interval_type_code(first, last);
}

// Whole seconds and billionths of the parts' seconds value. The ceiling at
// the tenth decimal absorbs the representation error of the double (6.7
// gives 6 and 700000000).
bool seconds_from_value(const IntervalParts *parts, SQL_DAY_SECOND_STRUCT &ds)
{
    double d = get_double_from_value(parts->seconds);
    if (!(d >= 0.0 && d < 4294967296.0))
        return false;
    double whole = std::trunc(d);
    auto second = static_cast<uint64_t>(whole);
    auto fraction = static_cast<uint64_t>(std::trunc(std::ceil((d - whole) * 1e10) / 10));
    if (fraction >= kv_nanos_per_second) { // 59.99999999999 rounds up to a whole second
        second++;
        fraction -= kv_nanos_per_second;
    }
    if (second > UINT32_MAX)
        return false;
    ds.second = static_cast<SQLUINTEGER>(second);
    ds.fraction = static_cast<SQLUINTEGER>(fraction);
    return true;
}

// Fills the fields of the interval from the parts. The literal's numbers (a
// day part, one or two numbers, a seconds value) fill the type's fields in
// order from its leading field; each must land on a field of the type, the
// seconds value on SECOND, and the separators must be those written between
// those fields ('-' between YEAR and MONTH, a space after DAY, ':' within
// the time of day).
bool extract_interval(const IntervalParts *parts, Value *v)
{
    SQL_INTERVAL_STRUCT &iv = v->data.iv;
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    const int count = parts->count;
    const bool day = parts->has_day != 0, dash = parts->has_dash != 0, seconds = parts->seconds != nullptr;
    if (!t || count < 0 || count > 2)
        return false;
    const int numbers_from = t->first + day; // the field of the first number
    const int last = t->first + day + count + seconds - 1;
    if (dash && (t->code != SQL_IS_YEAR_TO_MONTH && t->code != SQL_IS_MONTH))
        return false;
    if (day && (t->first != kv_day || count == 0))
        return false;
    if (count == 2 && (dash ? numbers_from != kv_year : numbers_from < kv_hour))
        return false;
    if (last < t->first || last > t->last || (seconds && last != kv_second))
        return false;
    int field = t->first;
    if (day)
        kv_set_interval_field(iv, field++, parts->day);
    if (count >= 1)
        kv_set_interval_field(iv, field++, parts->first_number);
    if (count == 2)
        kv_set_interval_field(iv, field++, parts->second_number);
    return !seconds || seconds_from_value(parts, iv.intval.day_second);
}

// Field ranges. The first non-zero field is taken as the leading field and
// gets no range test.
bool check_interval(const SQL_INTERVAL_STRUCT &iv)
{
    if (iv.interval_type == SQL_IS_YEAR || iv.interval_type == SQL_IS_YEAR_TO_MONTH)
        return iv.intval.year_month.month <= 11;
    const auto &ds = iv.intval.day_second;
    if (ds.day != 0) {
        if (ds.hour > 23)
            return false;
    } else if (ds.hour == 0 && ds.minute == 0) {
        return true;
    }
    if ((ds.day != 0 || ds.hour != 0) && ds.minute > 59)
        return false;
    return ds.second <= 59 && ds.fraction <= 999999999;
}

int decimal_digits(uint32_t n)
{
    int digits = 1;
    for (; n >= 10; n /= 10)
        digits++;
    return digits;
}

// Digits of a fraction written with nine places, up to its last non-zero one.
int fraction_digits(uint32_t fraction)
{
    if (fraction == 0)
        return 0;
    int digits = 9;
    for (; fraction % 10 == 0; fraction /= 10)
        digits--;
    return digits;
}

bool check_interval_precision(const Value *v)
{
    const SQL_INTERVAL_STRUCT &iv = v->data.iv;
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    if (!t)
        return true;
    if (decimal_digits(kv_interval_field(iv, t->first)) > v->leading_precision)
        return false;
    return t->last != kv_second || fraction_digits(iv.intval.day_second.fraction) <= v->fraction_precision;
}

} // namespace

int promote_type(int a, int b)
{
    return kv_promote_interval_type(a, b);
}

extern "C" {

Value *MakeLiteral(int code, const char *text, MemHandle *handle)
{
    switch (code) {
    case KV_LITERAL_USER: return new_value(handle, VT_USER);
    case KV_LITERAL_STRING: return make_string(text, handle);
    case KV_LITERAL_BIT: return make_bit(text, handle);
    case KV_LITERAL_HEX: return make_hex(text, handle);
    case KV_LITERAL_DATE: return make_date(text, handle);
    case KV_LITERAL_TIME: return make_time(text, handle);
    case KV_LITERAL_TIMESTAMP: return make_timestamp(text, handle);
    case KV_LITERAL_CURRENT_TIMESTAMP: return new_value(handle, VT_CURRENT_TIMESTAMP);
    case KV_LITERAL_CURRENT_TIME: return new_value(handle, VT_CURRENT_TIME);
    case KV_LITERAL_CURRENT_DATE: return new_value(handle, VT_CURRENT_DATE);
    default: return nullptr;
    }
}

Value *MakeNumericEx(const char *int_digits, const char *fraction_digits, MemHandle *handle, int *status)
{
    if (status)
        *status = 0;
    Value *v = new_value(handle, 0);
    if (!v)
        return nullptr;
    size_t li = length_of(int_digits), lf = length_of(fraction_digits);
    int result = 0;
    if (li == 0 && lf == 0)
        return v;
    if (lf == 0) {
        if (li <= kNativeDigits) {
            v->type = VT_INTEGER;
            v->data.i = read_int(int_digits, nullptr);
        } else {
            result = make_exact(v, int_digits, nullptr, li, 0);
        }
    } else if (li <= kNativeDigits && lf <= kNativeDigits) {
        v->type = VT_DOUBLE;
        v->data.d = short_decimal(int_digits, fraction_digits);
    } else if (li > 0) {
        result = make_exact(v, int_digits, fraction_digits, li + lf + 2, lf);
    } else {
        result = make_exact(v, fraction_digits, nullptr, lf + 3, lf);
    }
    if (status)
        *status = result;
    if (result != 0) { // beyond the exact range: the literal does not fit
        release_value(handle, v);
        return nullptr;
    }
    return v;
}

Value *MakeNumeric(const char *int_digits, const char *fraction_digits, MemHandle *handle)
{
    return MakeNumericEx(int_digits, fraction_digits, handle, nullptr);
}

Value *MakeInteger(const char *digits, MemHandle *handle)
{
    if (length_of(digits) > kNativeDigits)
        return MakeNumeric(digits, nullptr, handle);
    Value *v = new_value(handle, VT_INTEGER);
    if (v && digits)
        v->data.i = read_int(digits, nullptr);
    return v;
}

Value *MakeFloat(const char *text, MemHandle *handle)
{
    Value *v = new_value(handle, VT_DOUBLE);
    if (v && text)
        v->data.d = kv_read_double(text, nullptr);
    return v;
}

Value *MakeNull(MemHandle *handle)
{
    return new_value(handle, VT_NULL);
}

Value *MakeLiteralWithPrec(int code, const char *, int precision, MemHandle *handle)
{
    Value *v = new_value(handle, 0);
    if (!v)
        return nullptr;
    if (code == KV_LITERAL_CURRENT_TIMESTAMP || code == KV_LITERAL_CURRENT_TIME) {
        v->type = code == KV_LITERAL_CURRENT_TIMESTAMP ? VT_CURRENT_TIMESTAMP : VT_CURRENT_TIME;
        v->precision = precision;
    }
    return v;
}

NodeParameter *MakeDynamic(int number, MemHandle *handle)
{
    auto *node = static_cast<NodeParameter *>(newNode(sizeof(NodeParameter), NODE_PARAMETER, handle));
    if (node) {
        node->number = number;
        node->reserved = 0;
    }
    return node;
}

long ConvertToInteger(const char *text)
{
    return text ? static_cast<long>(kv_read_int64(text, nullptr)) : 0;
}

Value *MakeInterval(int sign, const IntervalParts *parts, const NodeIntervalQualifier *qualifier,
                    MemHandle *handle)
{
    if (!parts || !qualifier)
        return nullptr;
    Value *v = new_value(handle, VT_INTERVAL_DS);
    if (!v)
        return nullptr;
    v->data.iv.interval_sign = sign == '-';
    v->leading_precision = 2;
    v->fraction_precision = 6;
    int type = qualifier->single ? single_field_type(qualifier->single, v)
                                 : range_type(qualifier->start, qualifier->end, v);
    if (type == 0)
        return nullptr;
    v->data.iv.interval_type = static_cast<SQLINTERVAL>(type);
    if (kv_is_year_month_type(type))
        v->type = VT_INTERVAL_YM;
    if (!extract_interval(parts, v) || !check_interval(v->data.iv) || !check_interval_precision(v))
        return nullptr;
    return v;
}

} // extern "C"
