/*
** Rows: a fetched Firebird column becomes the column's Value (exact
** numerics through the library's 128-bit decimals, dates through its
** calendar), a Value its text, and a column its ODBC description. Firebird
** counts days from 1858-11-17, Julian day 2400001 (Gregorian), and time in
** ten-thousandths of a second.
*/
#include "entry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace kvfb {

namespace {

constexpr int firebird_day_zero = 2400001;
constexpr int charset_octets = 1;
constexpr int charset_utf8 = 4;
// A double rendered with float precision (a REAL column) carries this mark.
constexpr int32_t float_precision = 7;

// Characters of a CHAR column: Firebird pads UTF8 columns to four bytes a
// character; the column has length / 4 characters, as the server declared.
size_t char_column_bytes(const fbapi::Field &field, const char *data)
{
    if (field.charset != charset_utf8) return size_t(field.length);
    size_t characters = size_t(field.length) / 4, bytes = 0;
    for (size_t seen = 0; bytes < size_t(field.length); ++bytes) {
        if ((static_cast<unsigned char>(data[bytes]) & 0xC0) != 0x80 && seen++ == characters) break;
    }
    return bytes;
}

void set_date(SQL_DATE_STRUCT &date, int32_t days)
{
    int y, m, d;
    jdnl_to_ymd(days + firebird_day_zero, &y, &m, &d, KV_CALENDAR_GREGORIAN);
    date.year = static_cast<SQLSMALLINT>(y);
    date.month = static_cast<SQLUSMALLINT>(m);
    date.day = static_cast<SQLUSMALLINT>(d);
}

void set_time(SQLUSMALLINT &hour, SQLUSMALLINT &minute, SQLUSMALLINT &second, uint32_t ticks)
{
    uint32_t seconds = ticks / 10000;
    hour = static_cast<SQLUSMALLINT>(seconds / 3600);
    minute = static_cast<SQLUSMALLINT>(seconds / 60 % 60);
    second = static_cast<SQLUSMALLINT>(seconds % 60);
}

void set_integer(Value *value, int64_t n, int scale)
{
    if (scale == 0) {
        value->type = VT_BIGINT;
        value->data.big = n;
        return;
    }
    value->type = VT_NUMERIC;
    bigint_to_numeric_noscale(n, &value->data.num, 18);
    value->data.num.scale = static_cast<SQLSCHAR>(-scale);
    value->precision = 18;
    value->scale = -scale;
}

template <typename T> T read(const char *data)
{
    T v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

} // namespace

int32_t firebird_date(int year, int month, int day)
{
    return ymd_to_jdnl(year, month, day, KV_CALENDAR_GREGORIAN) - firebird_day_zero;
}

uint32_t firebird_time(unsigned hour, unsigned minute, unsigned second, uint32_t fraction_ns)
{
    return ((hour * 60 + minute) * 60 + second) * 10000 + fraction_ns / 100000;
}

void column_to_value(const fbapi::Field &field, Value *value)
{
    value->indicator = field.is_null() ? -1 : 0;
    const char *data = field.data;
    switch (field.kind) {
    case fbapi::Kind::smallint:
        if (field.scale) return set_integer(value, read<int16_t>(data), field.scale);
        value->type = VT_INTEGER;
        value->data.i = read<int16_t>(data);
        return;
    case fbapi::Kind::integer:
        if (field.scale) return set_integer(value, read<int32_t>(data), field.scale);
        value->type = VT_INTEGER;
        value->data.i = read<int32_t>(data);
        return;
    case fbapi::Kind::bigint: return set_integer(value, read<int64_t>(data), field.scale);
    case fbapi::Kind::float32:
        value->type = VT_DOUBLE;
        value->precision = float_precision;
        value->data.d = read<float>(data);
        return;
    case fbapi::Kind::float64:
        value->type = VT_DOUBLE;
        value->data.d = read<double>(data);
        return;
    case fbapi::Kind::date:
        value->type = VT_DATE;
        set_date(value->data.date, read<int32_t>(data));
        return;
    case fbapi::Kind::time:
        value->type = VT_TIME;
        set_time(value->data.time.hour, value->data.time.minute, value->data.time.second, read<uint32_t>(data));
        return;
    case fbapi::Kind::timestamp: {
        value->type = VT_TIMESTAMP;
        auto ts = read<fbapi::Timestamp>(data);
        SQL_DATE_STRUCT date;
        set_date(date, ts.date);
        value->data.ts.year = date.year;
        value->data.ts.month = date.month;
        value->data.ts.day = date.day;
        set_time(value->data.ts.hour, value->data.ts.minute, value->data.ts.second, ts.time);
        value->data.ts.fraction = ts.time % 10000 * 100000;
        return;
    }
    case fbapi::Kind::text:
    case fbapi::Kind::varying: {
        bool binary = field.charset == charset_octets;
        value->type = binary ? VT_BINARY : VT_STRING;
        if (value->indicator < 0) return;
        size_t n = field.kind == fbapi::Kind::varying ? read<uint16_t>(data) : char_column_bytes(field, data);
        const char *text = field.kind == fbapi::Kind::varying ? data + 2 : data;
        std::memcpy(value->data.s, text, n);
        value->data.s[n] = '\0';
        value->length = value->octet_length = static_cast<int32_t>(n);
        return;
    }
    case fbapi::Kind::boolean:
        value->type = VT_BIT;
        value->data.i = data[0] ? 1 : 0;
        return;
    case fbapi::Kind::blob:
        value->type = field.subtype == 1 ? VT_LONG_STRING : VT_LONG_BINARY;
        value->long_buffer = nullptr; // read when the application asks for it
        return;
    default: value->indicator = -1;
    }
}

// --- Value to text ---------------------------------------------------------

std::string hex(const unsigned char *bytes, size_t n)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

namespace {

template <typename T> std::string number_text(T n)
{
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
    return std::string(buffer, end);
}

std::string date_text(const SQL_DATE_STRUCT &d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", d.year, d.month, d.day);
    return buffer;
}

std::string time_text(unsigned h, unsigned m, unsigned s, uint32_t fraction)
{
    char buffer[48];
    int n = std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", h, m, s);
    if (fraction) {
        n += std::snprintf(buffer + n, sizeof buffer - size_t(n), ".%09u", fraction);
        while (buffer[n - 1] == '0')
            buffer[--n] = '\0';
    }
    return buffer;
}

// A numeric's text with all the fraction digits of its scale: 1.5000 in
// NUMERIC(18,4), as the column holds it (numeric_to_string drops them).
std::string numeric_text(const SQL_NUMERIC_STRUCT &num)
{
    char buffer[200];
    numeric_to_string(&num, buffer, sizeof buffer, nullptr);
    std::string text = buffer;
    if (num.scale <= 0) return text;
    size_t point = text.find('.');
    size_t have = point == text.npos ? 0 : text.size() - point - 1;
    if (point == text.npos) text += '.';
    text.append(size_t(num.scale) - std::min(have, size_t(num.scale)), '0');
    return text;
}

} // namespace

// The text form of a non-long value, as SQL_C_CHAR receives it.
std::string value_text(const Value *v)
{
    switch (v->type) {
    case VT_STRING: return std::string(v->data.s, size_t(v->length));
    case VT_BINARY: return hex(v->data.b, size_t(v->octet_length));
    case VT_INTEGER:
    case VT_BIT: return number_text(v->data.i);
    case VT_BIGINT: return number_text(v->data.big);
    case VT_DOUBLE:
        return v->precision == float_precision ? number_text(static_cast<float>(v->data.d)) : number_text(v->data.d);
    case VT_NUMERIC: return numeric_text(v->data.num);
    case VT_DATE: return date_text(v->data.date);
    case VT_TIME: return time_text(v->data.time.hour, v->data.time.minute, v->data.time.second, 0);
    case VT_TIMESTAMP: {
        const SQL_TIMESTAMP_STRUCT &t = v->data.ts;
        return date_text({t.year, t.month, t.day}) + " " + time_text(t.hour, t.minute, t.second, t.fraction);
    }
    default: return {};
    }
}

// --- text and numbers ------------------------------------------------------

std::u16string utf8_to_utf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t code = c;
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) {
            code = c & (0x3Fu >> extra);
            for (size_t k = 1; k <= extra && i + k < text.size(); ++k)
                code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += char16_t(0xD800 + (code >> 10));
            out += char16_t(0xDC00 + (code & 0x3FF));
        } else {
            out += char16_t(code);
        }
    }
    return out;
}

std::string utf16_to_utf8(const SQLWCHAR *text, size_t units)
{
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | code >> 6);
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | code >> 12);
            out += char(0x80 | (code >> 6 & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | code >> 18);
            out += char(0x80 | (code >> 12 & 0x3F));
            out += char(0x80 | (code >> 6 & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// --- column descriptions ---------------------------------------------------

SQLSMALLINT sql_type_of(const fbapi::Field &f)
{
    using fbapi::Kind;
    bool exact = f.kind == Kind::smallint || f.kind == Kind::integer || f.kind == Kind::bigint;
    if (exact && f.scale < 0) return f.subtype == 2 ? SQL_DECIMAL : SQL_NUMERIC;
    switch (f.kind) {
    case Kind::smallint: return SQL_SMALLINT;
    case Kind::integer: return SQL_INTEGER;
    case Kind::bigint: return SQL_BIGINT;
    case Kind::float32: return SQL_REAL;
    case Kind::float64: return SQL_DOUBLE;
    case Kind::date: return SQL_TYPE_DATE;
    case Kind::time: return SQL_TYPE_TIME;
    case Kind::timestamp: return SQL_TYPE_TIMESTAMP;
    case Kind::text: return f.charset == charset_octets ? SQL_BINARY : SQL_CHAR;
    case Kind::varying: return f.charset == charset_octets ? SQL_VARBINARY : SQL_VARCHAR;
    case Kind::blob: return f.subtype == 1 ? SQL_LONGVARCHAR : SQL_LONGVARBINARY;
    case Kind::boolean: return SQL_BIT;
    default: return SQL_VARCHAR;
    }
}

const char *type_name_of(const fbapi::Field &f)
{
    switch (sql_type_of(f)) {
    case SQL_NUMERIC: return "NUMERIC";
    case SQL_DECIMAL: return "DECIMAL";
    case SQL_SMALLINT: return "SMALLINT";
    case SQL_INTEGER: return "INTEGER";
    case SQL_BIGINT: return "BIGINT";
    case SQL_REAL: return "FLOAT";
    case SQL_DOUBLE: return "DOUBLE PRECISION";
    case SQL_TYPE_DATE: return "DATE";
    case SQL_TYPE_TIME: return "TIME";
    case SQL_TYPE_TIMESTAMP: return "TIMESTAMP";
    case SQL_CHAR:
    case SQL_BINARY: return "CHAR";
    case SQL_VARCHAR:
    case SQL_VARBINARY: return "VARCHAR";
    case SQL_LONGVARCHAR: return "BLOB SUB_TYPE TEXT";
    case SQL_LONGVARBINARY: return "BLOB SUB_TYPE 0";
    case SQL_BIT: return "BOOLEAN";
    default: return "";
    }
}

SQLULEN column_size_of(const fbapi::Field &f)
{
    switch (sql_type_of(f)) {
    case SQL_NUMERIC:
    case SQL_DECIMAL: return f.kind == fbapi::Kind::smallint ? 4 : f.kind == fbapi::Kind::integer ? 9 : 18;
    case SQL_SMALLINT: return 5;
    case SQL_INTEGER: return 10;
    case SQL_BIGINT: return 19;
    case SQL_REAL: return 7;
    case SQL_DOUBLE: return 15;
    case SQL_TYPE_DATE: return 10;
    case SQL_TYPE_TIME: return 8;
    case SQL_TYPE_TIMESTAMP: return 24;
    case SQL_CHAR:
    case SQL_VARCHAR: return SQLULEN(f.charset == charset_utf8 ? f.length / 4 : f.length);
    case SQL_BINARY:
    case SQL_VARBINARY: return SQLULEN(f.length);
    case SQL_LONGVARCHAR:
    case SQL_LONGVARBINARY: return 2147483647;
    case SQL_BIT: return 1;
    default: return SQLULEN(f.length);
    }
}

SQLSMALLINT decimal_digits_of(const fbapi::Field &f)
{
    switch (sql_type_of(f)) {
    case SQL_NUMERIC:
    case SQL_DECIMAL: return static_cast<SQLSMALLINT>(-f.scale);
    case SQL_TYPE_TIMESTAMP: return 4;
    default: return 0;
    }
}

SQLLEN display_size_of(const fbapi::Field &f)
{
    switch (sql_type_of(f)) {
    case SQL_NUMERIC:
    case SQL_DECIMAL: return SQLLEN(column_size_of(f)) + 2;
    case SQL_SMALLINT: return 6;
    case SQL_INTEGER: return 11;
    case SQL_BIGINT: return 20;
    case SQL_REAL: return 14;
    case SQL_DOUBLE: return 24;
    case SQL_BINARY:
    case SQL_VARBINARY: return 2 * SQLLEN(f.length);
    case SQL_TYPE_TIMESTAMP: return 24;
    default: return SQLLEN(column_size_of(f));
    }
}

SQLSMALLINT default_c_type(SQLSMALLINT sql_type)
{
    switch (sql_type) {
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_TYPE_DATE:
    case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    default: return SQL_C_CHAR;
    }
}

} // namespace kvfb
