/*
** The Value record: creation in its three storage forms, sharing on one
** handle, release, the SQL type mapping and the readers.
**
** A value's string or binary data lives in the value's own block (a 128-byte
** area from cache slot 166, or a larger single block: inline_data 1) or in a
** separate block on the same handle (inline_data 0, freed with the value).
*/
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "internal.h"

namespace {

constexpr int kNoValueType = -9999;

bool has_separate_data(const Value *value)
{
    return (value->type == VT_STRING || value->type == VT_BINARY) && value->data.s && !value->inline_data;
}

} // namespace

extern "C" {

// A record from the cache keeps its last user's fields. Those that release
// acts on (long_buffer, inline_data, the data pointer) are set here, so a
// stale pointer can never be freed twice.
Value *NewValue(MemHandle *handle, uint32_t size)
{
    Value *value;
    if (size == 0) {
        value = static_cast<Value *>(kv_mem_alloc_node(handle, sizeof(Value), KV_NODE_VALUE));
    } else if (size < KV_VALUE_INLINE_AREA) {
        value = static_cast<Value *>(
            kv_mem_alloc_node(handle, sizeof(Value) + KV_VALUE_INLINE_AREA, KV_NODE_VALUE_INLINE));
    } else {
        if (size > UINT32_MAX - sizeof(Value))
            return nullptr;
        value = static_cast<Value *>(kv_mem_alloc(handle, static_cast<uint32_t>(sizeof(Value) + size)));
    }
    if (!value)
        return nullptr;
    value->kind = KV_NODE_VALUE;
    value->mem = handle;
    value->ref_count = 0;
    value->long_buffer = nullptr;
    value->inline_data = size > 0;
    value->data.s = size > 0 ? reinterpret_cast<char *>(value + 1) : nullptr;
    return value;
}

void release_value(MemHandle *handle, Value *value)
{
    if (!value || value == reinterpret_cast<Value *>(~std::uintptr_t{0}))
        return;
    if (value->ref_count > 0) {
        value->ref_count--;
        return;
    }
    if (has_separate_data(value))
        kv_mem_free(handle, value->data.s);
    if (value->long_buffer) {
        kv_mem_free(handle, value->long_buffer);
        value->long_buffer = nullptr;
    }
    kv_mem_free(handle, value);
}

int sql_to_value_type(int sql_type)
{
    switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_INTEGER:
    case SQL_SMALLINT:
        return VT_INTEGER;
    case SQL_BIGINT:
        return VT_BIGINT;
    case SQL_LONGVARBINARY:
        return VT_LONG_BINARY;
    case SQL_VARBINARY:
    case SQL_BINARY:
        return VT_BINARY;
    case SQL_LONGVARCHAR:
        return VT_LONG_STRING;
    case SQL_CHAR:
    case SQL_VARCHAR:
        return VT_STRING;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return VT_NUMERIC;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
        return VT_DOUBLE;
    case SQL_DATE:
    case SQL_TYPE_DATE:
        return VT_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
        return VT_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        return VT_TIMESTAMP;
    case SQL_INTERVAL_YEAR:
    case SQL_INTERVAL_MONTH:
    case SQL_INTERVAL_YEAR_TO_MONTH:
        return VT_INTERVAL_YM;
    default:
        break;
    }
    bool day_time = (sql_type >= SQL_INTERVAL_DAY && sql_type <= SQL_INTERVAL_SECOND) ||
                    (sql_type >= SQL_INTERVAL_DAY_TO_HOUR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND);
    return day_time ? VT_INTERVAL_DS : kNoValueType;
}

} // extern "C"

namespace {

NumericValue *numeric_of(const Value *value)
{
    return const_cast<NumericValue *>(&value->data.num);
}

bool is_null(const Value *value)
{
    return value->indicator == -1;
}

// A double truncated toward zero into an integer type, saturated at the
// type's ends (NaN reads as 0), so no conversion is ever undefined.
template <typename Int>
Int truncate_double(double d)
{
    if (std::isnan(d))
        return 0;
    if (d <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (d >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(d);
}

template <typename Int>
Int saturate(long long n)
{
    return static_cast<Int>(std::clamp<long long>(n, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max()));
}

bool is_long(const Value *value)
{
    return value->type == VT_LONG_STRING || value->type == VT_LONG_BINARY;
}

// The fields of a node after its kind are pointer-sized words.
void *node_field(void *node, int n)
{
    void *field;
    std::memcpy(&field, static_cast<char *>(node) + n * sizeof(void *), sizeof field);
    return field;
}

constexpr int32_t kNodeQualifiedJoin = 138;
constexpr int kJoinSelectField = 8;

} // namespace

extern "C" {

Value *duplicate_value(MemHandle *handle, const Value *value)
{
    if (!value) {
        Value *empty = NewValue(handle, 0);
        if (empty) {
            empty->indicator = -1;
            empty->data.s = nullptr;
        }
        return empty;
    }
    bool bytes = (value->type == VT_STRING || value->type == VT_BINARY) && value->data.s;
    uint32_t size = bytes ? static_cast<uint32_t>(std::max(value->length, 0)) + 1 : 0;
    Value *copy = NewValue(handle, size);
    if (!copy)
        return nullptr;
    char *own_area = copy->data.s;
    kv_assign_value(copy, value);
    copy->kind = KV_NODE_VALUE;
    copy->long_buffer = nullptr;
    if (value->type == VT_STRING || value->type == VT_BINARY) {
        copy->no_share = 0;
        copy->inline_data = bytes;
        if (bytes) {
            copy->data.s = own_area;
            std::memcpy(own_area, value->data.s, size - 1);
            own_area[size - 1] = '\0';
        }
    }
    if (is_long(value) && value->long_buffer)
        copy->long_buffer = clone_long_buffer(value->long_buffer, handle);
    return copy;
}

Value *duplicate_value_ex(MemHandle *handle, Value *value)
{
    if (!value || value->mem != handle || value->no_share)
        return duplicate_value(handle, value);
    value->ref_count++;
    if (is_long(value) && value->long_buffer)
        clone_long_buffer(value->long_buffer, handle);
    return value;
}

int32_t get_int_from_value(const Value *value)
{
    if (is_null(value))
        return 0;
    int out = 0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return truncate_double<int32_t>(value->data.d);
    case VT_STRING:
        return value->data.s ? saturate<int32_t>(kv_read_int64(value->data.s, nullptr)) : 0;
    case VT_NUMERIC:
        numeric_to_int(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return static_cast<int32_t>(static_cast<uint32_t>(value->data.big));
    default:
        return 0;
    }
}

int64_t get_bigint_from_value(const Value *value)
{
    if (is_null(value))
        return 0;
    int64_t out = 0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return truncate_double<int64_t>(value->data.d);
    case VT_STRING:
        return value->data.s ? kv_read_int64(value->data.s, nullptr) : 0;
    case VT_NUMERIC:
        numeric_to_bigint(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return value->data.big;
    default:
        return 0;
    }
}

double get_double_from_value(const Value *value)
{
    if (is_null(value))
        return 0.0;
    double out = 0.0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return value->data.d;
    case VT_STRING:
        return value->data.s ? kv_read_double(value->data.s, nullptr) : 0.0;
    case VT_NUMERIC:
        numeric_to_double(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return static_cast<double>(value->data.big);
    default:
        return 0.0;
    }
}

const char *get_string_from_value(const Value *value)
{
    if (is_null(value) || value->type != VT_STRING || !value->data.s)
        return "";
    return value->data.s;
}

void set_value_to_double(Value *value, double d)
{
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        value->data.i = truncate_double<int32_t>(d);
        break;
    case VT_DOUBLE:
        value->data.d = d;
        break;
    case VT_NUMERIC:
        double_to_numeric(d, &value->data.num, value->data.num.precision, value->data.num.scale);
        break;
    case VT_BIGINT:
        value->data.big = truncate_double<int64_t>(d);
        break;
    default:
        break;
    }
}

void set_value_to_interval(Value *destination, const Value *source)
{
    std::memcpy(destination, source, sizeof(Value));
}

int get_trivalue_from_value(const Value *value)
{
    if (value->indicator != 0)
        return 2;
    return value->data.i != 0 ? 1 : 0;
}

void set_trivalue_in_value(Value *value, int truth)
{
    value->type = VT_INTEGER;
    value->indicator = truth == 2 ? -1 : 0;
    value->data.i = truth == 1 ? 1 : 0;
}

uint32_t get_long_from_interval(const Value *value, uint32_t *fraction)
{
    const SQL_INTERVAL_STRUCT &iv = value->data.iv;
    uint32_t year = iv.intval.year_month.year, month = iv.intval.year_month.month;
    uint32_t day = iv.intval.day_second.day, hour = iv.intval.day_second.hour;
    uint32_t minute = iv.intval.day_second.minute, second = iv.intval.day_second.second;
    uint32_t frac = 0;
    uint32_t result = 0;
    switch (iv.interval_type) {
    case SQL_IS_YEAR: result = year; break;
    case SQL_IS_MONTH: result = month; break;
    case SQL_IS_DAY: result = day; break;
    case SQL_IS_HOUR: result = hour; break;
    case SQL_IS_MINUTE: result = minute; break;
    case SQL_IS_SECOND: result = second; frac = iv.intval.day_second.fraction; break;
    case SQL_IS_YEAR_TO_MONTH: result = year * 12 + month; break;
    case SQL_IS_DAY_TO_HOUR: result = day * 24 + hour; break;
    case SQL_IS_DAY_TO_MINUTE: result = day * 1440 + hour * 60 + minute; break;
    case SQL_IS_DAY_TO_SECOND:
        result = day * 86400 + hour * 3600 + minute * 60 + second;
        frac = iv.intval.day_second.fraction;
        break;
    case SQL_IS_HOUR_TO_MINUTE: result = hour * 60 + minute; break;
    case SQL_IS_HOUR_TO_SECOND:
        result = hour * 3600 + minute * 60 + second;
        frac = iv.intval.day_second.fraction;
        break;
    case SQL_IS_MINUTE_TO_SECOND:
        result = minute * 60 + second;
        frac = iv.intval.day_second.fraction;
        break;
    default: break;
    }
    if (fraction)
        *fraction = frac;
    return result;
}

int32_t get_buffer_length(int32_t length, int c_type)
{
    switch (c_type) {
    case SQL_C_UTINYINT: case SQL_C_STINYINT: case SQL_C_BIT: case SQL_C_TINYINT:
        return 1;
    case SQL_C_USHORT: case SQL_C_SSHORT: case SQL_C_SHORT:
        return 2;
    case SQL_C_ULONG: case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_FLOAT:
        return 4;
    case SQL_C_UBIGINT: case SQL_C_SBIGINT: case SQL_BIGINT: case SQL_FLOAT: case SQL_C_DOUBLE:
        return 8;
    case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME:
        return 6;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP:
        return 16;
    case SQL_C_NUMERIC: case SQL_DECIMAL:
        return 19;
    case SQL_VARBINARY: case SQL_C_BINARY: case SQL_C_CHAR: case SQL_VARCHAR: case SQL_C_DEFAULT:
        return length;
    default:
        return c_type >= SQL_C_INTERVAL_YEAR && c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND ? 28 : 0;
    }
}

void *extract_select(void *node)
{
    if (!node)
        return nullptr;
    if (static_cast<Node *>(node)->kind == kNodeQualifiedJoin) {
        node = node_field(node, kJoinSelectField);
        if (!node)
            return nullptr;
    }
    return node_field(node, 4);
}

} // extern "C"

/*
** Text forms. The renderers write into the caller's buffer without a bound
** (the header states the sizes); every piece they write has a bounded size
** once the value's lengths are known.
*/
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

// The interval's fields; in the literal form the closing quote and the
// leading field's name follow the value.
char *append_interval_fields(char *out, const SQL_INTERVAL_STRUCT &iv, bool literal)
{
    unsigned long year = iv.intval.year_month.year, month = iv.intval.year_month.month;
    unsigned long day = iv.intval.day_second.day, hour = iv.intval.day_second.hour;
    unsigned long minute = iv.intval.day_second.minute, second = iv.intval.day_second.second;
    unsigned long fraction = iv.intval.day_second.fraction;
    char fraction_digits[16];
    std::string_view fraction_part = fraction ? fraction_text(fraction_digits, fraction) : std::string_view();
    const char *leading = "";
    switch (iv.interval_type) {
    case SQL_IS_YEAR: out = append_format(out, "%lu", year); leading = "YEAR"; break;
    case SQL_IS_MONTH: out = append_format(out, "%lu", month); leading = "MONTH"; break;
    case SQL_IS_DAY: out = append_format(out, "%lu", day); leading = "DAY"; break;
    case SQL_IS_HOUR: out = append_format(out, "%lu", hour); leading = "HOUR"; break;
    case SQL_IS_MINUTE: out = append_format(out, "%lu", minute); leading = "MINUTE"; break;
    case SQL_IS_SECOND: out = append_format(out, "%lu", second); leading = "SECOND"; break;
    case SQL_IS_YEAR_TO_MONTH: out = append_format(out, "%lu-%02lu", year, month); leading = "YEAR"; break;
    case SQL_IS_DAY_TO_HOUR: out = append_format(out, "%lu %02lu", day, hour); leading = "DAY"; break;
    case SQL_IS_DAY_TO_MINUTE:
        out = append_format(out, "%lu %02lu:%02lu", day, hour, minute);
        leading = "DAY";
        break;
    case SQL_IS_DAY_TO_SECOND:
        out = append_format(out, "%lu %02lu:%02lu:%02lu", day, hour, minute, second);
        leading = "DAY";
        break;
    case SQL_IS_HOUR_TO_MINUTE: out = append_format(out, "%lu:%02lu", hour, minute); leading = "HOUR"; break;
    case SQL_IS_HOUR_TO_SECOND:
        out = append_format(out, "%lu:%02lu:%02lu", hour, minute, second);
        leading = "HOUR";
        break;
    case SQL_IS_MINUTE_TO_SECOND: out = append_format(out, "%lu:%02lu", minute, second); leading = "MINUTE"; break;
    default:
        return out;
    }
    bool has_seconds = iv.interval_type == SQL_IS_SECOND || iv.interval_type == SQL_IS_DAY_TO_SECOND ||
                       iv.interval_type == SQL_IS_HOUR_TO_SECOND || iv.interval_type == SQL_IS_MINUTE_TO_SECOND;
    if (has_seconds && !fraction_part.empty()) {
        *out++ = '.';
        out = append(out, fraction_part);
    }
    if (literal) {
        out = append(out, "' ");
        out = append(out, leading);
    }
    return out;
}

char *append_leading_precision(char *out, int lp)
{
    return lp == 2 || lp == 0 ? out : append_format(out, "(%d)", lp);
}

// The rest of the qualifier after the leading field's name.
char *append_interval_qualifier(char *out, int type, int lp, int fp)
{
    switch (type) {
    case SQL_IS_YEAR:
    case SQL_IS_MONTH:
    case SQL_IS_DAY:
    case SQL_IS_HOUR:
    case SQL_IS_MINUTE:
        return append_leading_precision(out, lp);
    case SQL_IS_SECOND:
        return lp == 2 && fp == 6 ? out : append_format(out, "(%d,%d)", lp, fp);
    case SQL_IS_YEAR_TO_MONTH:
        return append(append_leading_precision(out, lp), " TO MONTH");
    case SQL_IS_DAY_TO_HOUR:
        return append(append_leading_precision(out, lp), " TO HOUR");
    case SQL_IS_DAY_TO_MINUTE:
    case SQL_IS_HOUR_TO_MINUTE:
        return append(append_leading_precision(out, lp), " TO MINUTE");
    case SQL_IS_DAY_TO_SECOND:
    case SQL_IS_HOUR_TO_SECOND:
        out = append(append_leading_precision(out, lp), " TO SECOND");
        return fp == 6 || fp == 0 ? out : append_format(out, "(%d)", fp);
    case SQL_IS_MINUTE_TO_SECOND:
        out = append(append_leading_precision(out, lp), " TO SECOND");
        return fp == 6 || lp == 0 ? out : append_format(out, "(%d)", fp);
    default:
        return out;
    }
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

/*
** Comparison with SQL rules, and the flat records of row buffers: a 12-byte
** header (length, octet_length, type, each 32 bits in host order; length -1
** for NULL) followed directly by the unpadded datum.
*/
namespace {

constexpr std::size_t kFlatHeader = 12;

template <typename T>
int three_way(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// strcmp of the two texts, each padded with blanks to `padded_length`: the
// common part through strncmp, then the longer text's tail against blanks.
int compare_padded_text(const char *a, int length_a, const char *b, int length_b, int padded_length)
{
    auto common = static_cast<std::size_t>(std::max(std::min({length_a, length_b, padded_length}), 0));
    if (int c = std::strncmp(a, b, common))
        return c;
    if (std::memchr(a, '\0', common))
        return 0; // both texts ended together inside the common part
    for (auto i = static_cast<int>(common); i < padded_length; i++) {
        auto ca = static_cast<unsigned char>(i < length_a ? a[i] : ' ');
        auto cb = static_cast<unsigned char>(i < length_b ? b[i] : ' ');
        if (ca != cb)
            return ca - cb;
        if (ca == '\0')
            return 0;
    }
    return 0;
}

// The bytes of two binaries, each zero-padded to `padded_length`.
int compare_padded_bytes(const Value *a, const Value *b, int padded_length)
{
    int count_a = std::min(a->octet_length, padded_length), count_b = std::min(b->octet_length, padded_length);
    for (int i = 0; i < padded_length; i++) {
        unsigned char ca = i < count_a ? a->data.b[i] : 0;
        unsigned char cb = i < count_b ? b->data.b[i] : 0;
        if (ca != cb)
            return ca - cb;
    }
    return 0;
}

// Two flat binaries, the shorter padded with zero bytes.
int compare_flat_bytes(const unsigned char *a, int length_a, const unsigned char *b, int length_b)
{
    int common = std::min(length_a, length_b);
    int c = common > 0 ? std::memcmp(a, b, static_cast<std::size_t>(common)) : 0;
    for (int i = common; c == 0 && i < std::max(length_a, length_b); i++)
        c = i < length_a ? (a[i] != 0) : -(b[i] != 0);
    return c;
}

// Bytes value_as_text needs for `value`.
std::size_t rendering_size(const Value *value)
{
    std::size_t n = KV_VALUE_TEXT_SIZE;
    if (value->type == VT_BINARY)
        n += 2 * static_cast<std::size_t>(std::max(value->octet_length, 0));
    return n;
}

// A string against a value of another type: its ODBC text form, unpadded. A
// value without a text form reads as the empty text.
int compare_string_with_rendering(const Value *a, const Value *b)
{
    char local[KV_VALUE_TEXT_SIZE + 64];
    std::unique_ptr<char[]> heap;
    char *buffer = local;
    if (rendering_size(b) > sizeof local) {
        heap = std::make_unique<char[]>(rendering_size(b));
        buffer = heap.get();
    }
    buffer[0] = '\0';
    const char *text = value_as_text(b, buffer);
    return std::strcmp(a->data.s ? a->data.s : "", text);
}

int compare_strings(const Value *a, const Value *b)
{
    const char *text_a = a->data.s ? a->data.s : "";
    const char *text_b = b->data.s ? b->data.s : "";
    if (a->length == b->length)
        return std::strcmp(text_a, text_b);
    return compare_padded_text(text_a, a->length, text_b, b->length, std::max(a->length, b->length));
}

int compare_binaries(const Value *a, const Value *b)
{
    if (a->octet_length == b->octet_length)
        return a->octet_length > 0 ? std::memcmp(a->data.b, b->data.b, static_cast<std::size_t>(a->octet_length))
                                   : 0;
    const Value *longer = a->octet_length > b->octet_length ? a : b;
    return compare_padded_bytes(a, b, longer->length);
}

int compare_doubles(double a, double b)
{
    return a > b ? 1 : (a < b ? -1 : 0);
}

// Flat data may sit at any address: every read goes through memcpy.
template <typename T>
T flat_read(const unsigned char *data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

struct FlatHeader {
    int32_t length;
    int32_t octet_length;
    int32_t type;
};

FlatHeader flat_header(const void *record)
{
    FlatHeader header;
    std::memcpy(&header, record, sizeof header);
    return header;
}

const unsigned char *flat_data(const void *record)
{
    return static_cast<const unsigned char *>(record) + kFlatHeader;
}

// Size of the datum of a fixed-size type, or -1 for types measured by their length.
int fixed_datum_size(int type)
{
    switch (type) {
    case VT_INTEGER:
    case VT_BIT:
        return 4;
    case VT_DOUBLE:
    case VT_BIGINT:
        return 8;
    case VT_DATE:
    case VT_TIME:
        return 6;
    case VT_TIMESTAMP:
        return 16;
    case VT_NUMERIC:
        return 19;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return 28;
    default:
        return -1;
    }
}

// The bytes of a value's datum as the flat record stores them.
const void *datum_address(const Value *value)
{
    switch (value->type) {
    case VT_STRING:
    case VT_BINARY:
        return value->data.s;
    case VT_DATE:
        return &value->data.date;
    case VT_TIME:
        return &value->data.time;
    case VT_TIMESTAMP:
        return &value->data.ts;
    case VT_NUMERIC:
        return &value->data.num;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return &value->data.iv;
    case VT_DOUBLE:
        return &value->data.d;
    case VT_BIGINT:
        return &value->data.big;
    default:
        return &value->data.i;
    }
}

} // namespace

extern "C" {

int compare_values(const Value *a, const Value *b)
{
    bool null_a = a->indicator != 0, null_b = b->indicator != 0;
    if (null_a || null_b)
        return null_a && null_b ? 0 : (null_a ? -1 : 1);
    switch (a->type) {
    case VT_INTEGER:
    case VT_BIT:
        return three_way(get_int_from_value(a), get_int_from_value(b));
    case VT_BIGINT:
        return three_way(get_bigint_from_value(a), get_bigint_from_value(b));
    case VT_DOUBLE:
        return compare_doubles(get_double_from_value(a), get_double_from_value(b));
    case VT_NUMERIC:
        if (b->type == VT_NUMERIC)
            return numeric_compare(numeric_of(a), numeric_of(b));
        return compare_doubles(get_double_from_value(a), get_double_from_value(b));
    case VT_STRING:
        return b->type == VT_STRING ? compare_strings(a, b) : compare_string_with_rendering(a, b);
    case VT_BINARY:
        return compare_binaries(a, b);
    case VT_DATE:
        return date_compare(&a->data.date, &b->data.date);
    case VT_TIME:
        return time_compare(&a->data.time, &b->data.time);
    case VT_TIMESTAMP:
        return timestamp_compare(&a->data.ts, &b->data.ts);
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return interval_compare(&a->data.iv, &b->data.iv);
    default:
        return 0;
    }
}

// Everything but two non-null integers, out of line so the commonest
// comparison stays a handful of instructions.
[[gnu::noinline]] static int compare_dm_general(const FlatValue *a, const FlatValue *b)
{
    FlatHeader ha = flat_header(a), hb = flat_header(b);
    if (ha.length < 0 || hb.length < 0)
        return ha.length < 0 && hb.length < 0 ? 0 : (ha.length < 0 ? -1 : 1);
    const unsigned char *da = flat_data(a), *db = flat_data(b);
    switch (ha.type) {
    case VT_INTEGER:
    case VT_BIT:
        return three_way(flat_read<int32_t>(da), flat_read<int32_t>(db));
    case VT_BIGINT:
        return three_way(flat_read<int64_t>(da), flat_read<int64_t>(db));
    case VT_DOUBLE:
        return compare_doubles(flat_read<double>(da), flat_read<double>(db));
    case VT_STRING:
        if (ha.length == hb.length) // no padding to consider
            return std::strncmp(reinterpret_cast<const char *>(da), reinterpret_cast<const char *>(db),
                                static_cast<std::size_t>(ha.length));
        return compare_padded_text(reinterpret_cast<const char *>(da), ha.length,
                                   reinterpret_cast<const char *>(db), hb.length, std::max(ha.length, hb.length));
    case VT_BINARY:
        return compare_flat_bytes(da, ha.length, db, hb.length);
    case VT_DATE: {
        auto x = flat_read<SQL_DATE_STRUCT>(da), y = flat_read<SQL_DATE_STRUCT>(db);
        return date_compare(&x, &y);
    }
    case VT_TIME: {
        auto x = flat_read<SQL_TIME_STRUCT>(da), y = flat_read<SQL_TIME_STRUCT>(db);
        return time_compare(&x, &y);
    }
    case VT_TIMESTAMP: {
        auto x = flat_read<SQL_TIMESTAMP_STRUCT>(da), y = flat_read<SQL_TIMESTAMP_STRUCT>(db);
        return timestamp_compare(&x, &y);
    }
    case VT_NUMERIC: {
        auto x = flat_read<NumericValue>(da), y = flat_read<NumericValue>(db);
        return numeric_compare(&x, &y);
    }
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        auto x = flat_read<SQL_INTERVAL_STRUCT>(da), y = flat_read<SQL_INTERVAL_STRUCT>(db);
        return interval_compare(&x, &y);
    }
    default:
        return 0;
    }
}

int compare_dm(const FlatValue *a, const FlatValue *b)
{
    FlatHeader ha = flat_header(a);
    if (ha.type == VT_INTEGER && ha.length >= 0 && flat_header(b).length >= 0)
        return three_way(flat_read<int32_t>(flat_data(a)), flat_read<int32_t>(flat_data(b)));
    return compare_dm_general(a, b);
}

void value_to_dm(FlatValue *record, const Value *value)
{
    FlatHeader header{-1, 0, value->type};
    if (value->indicator == 0) {
        int fixed = fixed_datum_size(value->type);
        header.length = fixed >= 0 ? fixed : std::max(value->length, 0);
        header.octet_length = value->type == VT_BINARY ? value->octet_length : 0;
        if (header.length > 0 && datum_address(value))
            std::memcpy(reinterpret_cast<unsigned char *>(record) + kFlatHeader, datum_address(value),
                        static_cast<std::size_t>(header.length));
    }
    std::memcpy(record, &header, sizeof header);
}

void dm_to_value(const FlatValue *record, Value *value)
{
    FlatHeader header = flat_header(record);
    if (header.length < 0) {
        value->indicator = -1;
        return;
    }
    value->indicator = 0;
    value->no_share = 0;
    const unsigned char *data = flat_data(record);
    int fixed = fixed_datum_size(value->type);
    if (fixed >= 0) {
        std::memcpy(const_cast<void *>(datum_address(value)), data, static_cast<std::size_t>(fixed));
        return;
    }
    if (value->type == VT_STRING || value->type == VT_BINARY) {
        std::memcpy(value->data.s, data, static_cast<std::size_t>(header.length));
        value->length = header.length;
        if (value->type == VT_STRING)
            value->data.s[header.length] = '\0';
        else
            value->octet_length = header.octet_length;
    }
}

int32_t get_dm_length(int sql_type, int32_t length)
{
    switch (sql_type) {
    case SQL_BIT: case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER:
        return 4;
    case SQL_BIGINT: case SQL_FLOAT: case SQL_REAL: case SQL_DOUBLE:
        return 8;
    case SQL_NUMERIC: case SQL_DECIMAL:
        return 19;
    case SQL_DATE: case SQL_TIME: case SQL_TYPE_DATE: case SQL_TYPE_TIME:
        return 6;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP:
        return 16;
    case SQL_CHAR: case SQL_VARCHAR: case SQL_BINARY: case SQL_VARBINARY:
        return length;
    case SQL_LONGVARCHAR: case SQL_LONGVARBINARY:
        return 0;
    default:
        return sql_type >= SQL_INTERVAL_YEAR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND ? 28 : 0;
    }
}

int32_t get_length_from_dm(const FlatValue *record, const Value *value)
{
    FlatHeader header = flat_header(record);
    if (header.length < 0)
        return 0;
    int fixed = fixed_datum_size(value->type);
    if (fixed >= 0)
        return fixed;
    return value->type == VT_STRING || value->type == VT_BINARY ? header.length : 0;
}

} // extern "C"
