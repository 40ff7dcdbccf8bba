/*
** Text forms of values: the ODBC text of value_as_text and value_as_text_ex
** and the interval literals. The renderers write into the caller's buffer
** without a bound (the header states the sizes); every piece they write has
** a bounded size once the value's lengths are known.
*/
#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "internal.h"
#include "interval_types.h"

namespace {

// Room for every fixed-size rendering, the longest "%f" of a double included.
constexpr std::size_t kFixedTextSize = 400;

char *append(char *out, const char *text)
{
    if (!text)
        return out;
    std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

char *append(char *out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Writes a fixed-size rendering; the formats are this file's own constants.
[[gnu::format(printf, 2, 3)]] char *append_format(char *out, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int n = std::vsnprintf(out, kFixedTextSize, format, arguments);
    va_end(arguments);
    return out + std::clamp(n, 0, static_cast<int>(kFixedTextSize) - 1);
}

char *append_hex(char *out, const unsigned char *bytes, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; i++) {
        *out++ = digits[bytes[i] >> 4];
        *out++ = digits[bytes[i] & 15];
    }
    return out;
}

// "%f", then trailing zeros and a trailing point removed: 2.0 gives 2.
char *append_double(char *out, double d)
{
    char text[kFixedTextSize];
    auto [end, error] = std::to_chars(text, text + sizeof text, d, std::chars_format::fixed, 6);
    std::size_t n = error == std::errc() ? static_cast<std::size_t>(end - text) : 0;
    if (std::memchr(text, '.', n)) {
        while (n > 1 && text[n - 1] == '0')
            n--;
        if (n > 1 && text[n - 1] == '.')
            n--;
    }
    return append(out, std::string_view(text, n));
}

char *append_quoted(char *out, const char *text, int length)
{
    *out++ = '\'';
    for (int i = 0; i < length && text[i]; i++) {
        if (text[i] == '\'')
            *out++ = '\'';
        *out++ = text[i];
    }
    *out++ = '\'';
    return out;
}

char *append_date(char *out, const SQL_DATE_STRUCT &d)
{
    return append_format(out, "%04d-%02d-%02d", static_cast<int16_t>(d.year), static_cast<uint16_t>(d.month),
                         static_cast<uint16_t>(d.day));
}

char *append_time(char *out, const SQL_TIME_STRUCT &t)
{
    return append_format(out, "%02d:%02d:%02d", static_cast<uint16_t>(t.hour), static_cast<uint16_t>(t.minute),
                         static_cast<uint16_t>(t.second));
}


// Nine digits of billionths without their trailing zeros: 500000000 gives 5.
std::string_view fraction_text(char (&text)[16], unsigned long fraction)
{
    int n = std::snprintf(text, sizeof text, "%09lu", fraction);
    n = std::clamp(n, 0, static_cast<int>(sizeof text) - 1);
    while (n > 1 && text[n - 1] == '0')
        n--;
    return std::string_view(text, static_cast<std::size_t>(n));
}

// The fraction follows the seconds when it is not zero, so the text keeps
// every digit that a literal or the server gave.
char *append_timestamp(char *out, const SQL_TIMESTAMP_STRUCT &ts)
{
    out = append_format(out, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int16_t>(ts.year),
                        static_cast<uint16_t>(ts.month), static_cast<uint16_t>(ts.day),
                        static_cast<uint16_t>(ts.hour), static_cast<uint16_t>(ts.minute),
                        static_cast<uint16_t>(ts.second));
    if (ts.fraction == 0)
        return out;
    char digits[16];
    *out++ = '.';
    return append(out, fraction_text(digits, ts.fraction));
}

// The separator written before each field after the leading one.
constexpr char kFieldSeparators[kv_field_count] = {0, '-', 0, ' ', ':', ':'};

// The interval's fields: the leading one as it is, the others with two
// digits each, then the fraction of seconds when it is not zero; in the
// literal form the closing quote and the leading field's name follow.
char *append_interval_fields(char *out, const SQL_INTERVAL_STRUCT &iv, bool literal)
{
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    if (!t)
        return out;
    for (int f = t->first; f <= t->last; f++) {
        unsigned long field = kv_interval_field(iv, f);
        if (f == t->first) {
            out = append_format(out, "%lu", field);
        } else {
            *out++ = kFieldSeparators[f];
            out = append_format(out, "%02lu", field);
        }
    }
    unsigned long fraction = iv.intval.day_second.fraction;
    if (t->last == kv_second && fraction != 0) {
        char digits[16];
        *out++ = '.';
        out = append(out, fraction_text(digits, fraction));
    }
    if (literal) {
        out = append(out, "' ");
        out = append(out, kv_interval_field_names[t->first]);
    }
    return out;
}

char *append_leading_precision(char *out, int lp)
{
    return lp == 2 || lp == 0 ? out : append_format(out, "(%d)", lp);
}

// The rest of the qualifier after the leading field's name: the leading
// precision unless it is the default, " TO " and the last field for a range,
// and the fraction precision of seconds unless it is the default. SECOND
// alone writes both precisions together, and MINUTE TO SECOND leaves out the
// fraction precision when the leading precision is 0.
char *append_interval_qualifier(char *out, int type, int lp, int fp)
{
    const KvIntervalType *t = kv_interval_type(type);
    if (!t)
        return out;
    if (t->code == SQL_IS_SECOND)
        return lp == 2 && fp == 6 ? out : append_format(out, "(%d,%d)", lp, fp);
    out = append_leading_precision(out, lp);
    if (t->first == t->last)
        return out;
    out = append(append(out, " TO "), kv_interval_field_names[t->last]);
    bool default_fraction = fp == 6 || (t->code == SQL_IS_MINUTE_TO_SECOND ? lp == 0 : fp == 0);
    return t->last != kv_second || default_fraction ? out : append_format(out, "(%d)", fp);
}

char *write_interval(const Value *value, char *out, bool literal)
{
    const SQL_INTERVAL_STRUCT &iv = value->data.iv;
    if (literal)
        out = append(out, "INTERVAL ");
    if (iv.interval_sign == 1)
        *out++ = '-';
    if (literal)
        *out++ = '\'';
    out = append_interval_fields(out, iv, literal);
    if (literal && iv.interval_type >= SQL_IS_YEAR && iv.interval_type <= SQL_IS_MINUTE_TO_SECOND)
        out = append_interval_qualifier(out, iv.interval_type, value->leading_precision, value->fraction_precision);
    *out = '\0';
    return out;
}

} // namespace

extern "C" {

void interval_as_text(const Value *value, char *buffer, int literal)
{
    write_interval(value, buffer, literal != 0);
}

const char *value_as_text(const Value *value, char *buffer)
{
    if (value->indicator != 0)
        return "NULL";
    char *out = buffer;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        out = append_format(out, "%d", value->data.i);
        break;
    case VT_DOUBLE:
        out = append_double(out, value->data.d);
        break;
    case VT_STRING:
        out = append_quoted(out, value->data.s ? value->data.s : "", value->length);
        break;
    case VT_BINARY:
        out = append(out, "B'");
        out = append_hex(out, value->data.b, value->octet_length);
        out = append(out, "'");
        break;
    case VT_DATE:
        out = append(append_date(append(out, "{d'"), value->data.date), "'}");
        break;
    case VT_TIME:
        out = append(append_time(append(out, "{t'"), value->data.time), "'}");
        break;
    case VT_TIMESTAMP:
        out = append(append_timestamp(append(out, "{ts'"), value->data.ts), "'}");
        break;
    case VT_NUMERIC:
        numeric_to_string(&value->data.num, buffer, KV_VALUE_TEXT_SIZE, nullptr);
        return buffer;
    case VT_NULL:
        out = append(out, " NULL ");
        break;
    case VT_BIGINT:
        out = append_format(out, "%lld", static_cast<long long>(value->data.big));
        break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        *out++ = '{';
        out = write_interval(value, out, true);
        *out++ = '}';
        break;
    default:
        return buffer;
    }
    *out = '\0';
    return buffer;
}

char *value_as_text_ex(const Value *value, char *buffer, const char *date_prefix, const char *date_suffix,
                       const char *time_prefix, const char *time_suffix, const char *timestamp_prefix,
                       const char *timestamp_suffix, const char *binary_prefix, const char *binary_suffix,
                       int compact_timestamps)
{
    char *out = buffer;
    if (value->indicator != 0) {
        out = append(out, "NULL");
    } else if (value->type == VT_DATE) {
        out = append(append_date(append(out, date_prefix), value->data.date), date_suffix);
    } else if (value->type == VT_TIME) {
        out = append(append_time(append(out, time_prefix), value->data.time), time_suffix);
    } else if (value->type == VT_TIMESTAMP) {
        const SQL_TIMESTAMP_STRUCT &ts = value->data.ts;
        bool no_date = ts.year == 0 && ts.month == 0 && ts.day == 0;
        bool no_time = ts.hour == 0 && ts.minute == 0 && ts.second == 0;
        out = append(out, timestamp_prefix);
        if (compact_timestamps && no_date && no_time) {
            out = append(buffer, "NULL");
            *out = '\0';
            return buffer;
        }
        if (compact_timestamps && no_time)
            out = append_date(out, SQL_DATE_STRUCT{ts.year, ts.month, ts.day});
        else if (compact_timestamps && no_date)
            out = append_time(out, SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second});
        else
            out = append_timestamp(out, ts);
        out = append(out, timestamp_suffix);
    } else if (value->type == VT_BINARY) {
        if (value->octet_length <= 0)
            out = append(out, "''");
        else
            out = append(append_hex(append(out, binary_prefix), value->data.b, value->octet_length),
                         binary_suffix);
    } else {
        value_as_text(value, buffer);
        return buffer;
    }
    *out = '\0';
    return buffer;
}

} // extern "C"

