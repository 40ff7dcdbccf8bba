/*
** Conversions: a fetched Firebird column into the column's Value, a Value
** into the application's C buffer (through the library's readers, numeric
** and calendar functions and string-copy rules), and a bound parameter into
** the Firebird parameter. Character and binary data are handed out in
** pieces with SQLGetData's rules; long data comes from the row's LongBuffer.
** Firebird counts days from 1858-11-17, Julian day 2400001 (Gregorian).
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
constexpr size_t longest_text_parameter = 32000;  // longer text goes into a blob
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

int32_t firebird_date(int year, int month, int day)
{
    return ymd_to_jdnl(year, month, day, KV_CALENDAR_GREGORIAN) - firebird_day_zero;
}

uint32_t firebird_time(unsigned hour, unsigned minute, unsigned second, uint32_t fraction_ns)
{
    return ((hour * 60 + minute) * 60 + second) * 10000 + fraction_ns / 100000;
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
        value->long_buffer = nullptr;  // read when the application asks for it
        return;
    default: value->indicator = -1;
    }
}

// --- Value to text ---------------------------------------------------------

namespace {

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
        while (buffer[n - 1] == '0') buffer[--n] = '\0';
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

// --- Value to the application's buffer -------------------------------------

namespace {

SQLRETURN out_of_range(Statement &stmt) { return post(stmt.error_header, "22003", "Numeric value out of range"); }

template <typename T> SQLRETURN store_integer(Statement &stmt, int64_t n, SQLPOINTER target, SQLLEN *indicator)
{
    if (n < int64_t(std::numeric_limits<T>::min()) || (n > 0 && uint64_t(n) > uint64_t(std::numeric_limits<T>::max())))
        return out_of_range(stmt);
    T v = static_cast<T>(n);
    if (target) std::memcpy(target, &v, sizeof v);
    if (indicator) *indicator = sizeof v;
    return SQL_SUCCESS;
}

template <typename T> SQLRETURN store(const T &v, SQLPOINTER target, SQLLEN *indicator)
{
    if (target) std::memcpy(target, &v, sizeof v);
    if (indicator) *indicator = sizeof v;
    return SQL_SUCCESS;
}

bool is_long(const Value *v) { return v->type == VT_LONG_STRING || v->type == VT_LONG_BINARY; }

// Reads the row's blob into a LongBuffer on first use.
SQLRETURN load_long(Statement &stmt, SQLUSMALLINT column, Value *v)
{
    if (v->long_buffer) return SQL_SUCCESS;
    const fbapi::Field &field = stmt.fb.columns()[column - 1];
    int sql_type = v->type == VT_LONG_BINARY ? SQL_LONGVARBINARY : SQL_LONGVARCHAR;
    LongBuffer *buffer = allocate_long_buffer(stmt.row_mem, 0, 0, stmt.conn->profile, sql_type);
    stmt.row_mem_used = true;
    if (!buffer) return post(stmt.error_header, "HY001", "Memory allocation error: no temporary file for long data");
    fbapi::Error error;
    bool appended = true;
    bool read = stmt.conn->db.read_blob(
        field.data,
        [&](const char *piece, size_t bytes) {
            appended = appended && append_to_long_buffer(buffer, piece, static_cast<int32_t>(bytes)) == 0;
        },
        error);
    if (!read) return post_firebird(stmt, error);
    if (!appended || rewind_long_buffer(buffer) != 0) return post(stmt.error_header, "HY000", "Long data could not be written to its temporary file");
    v->long_buffer = buffer;
    return SQL_SUCCESS;
}

// The whole of a long value, for conversions that need it at once.
std::string long_text(LongBuffer *buffer)
{
    std::string all(size_t(long_buffer_length(buffer)), '\0');
    rewind_long_buffer(buffer);
    int32_t length = 0;
    if (!all.empty()) extract_from_long_buffer(buffer, all.data(), int32_t(all.size()), &length, 1);
    rewind_long_buffer(buffer);
    return all;
}

// Hands out the next piece of `bytes` (character data terminated with
// `terminator` bytes of zero); 01004 when cut.
SQLRETURN hand_out(Statement &stmt, PieceState &piece, SQLPOINTER target, SQLLEN buffer_length, SQLLEN *indicator,
                   size_t terminator, size_t unit)
{
    if (piece.done) return SQL_NO_DATA;
    size_t remaining = piece.text.size() - piece.offset;
    if (indicator) *indicator = SQLLEN(remaining);
    size_t room = buffer_length > 0 ? size_t(std::min<SQLLEN>(buffer_length, INT32_MAX)) : 0;
    size_t n = std::min(remaining, room >= terminator ? (room - terminator) / unit * unit : 0);
    const char *rest = piece.text.c_str() + piece.offset;
    if (target && terminator == 1 && std::memchr(rest, '\0', remaining) == nullptr) {
        // Character data: the library's copy rules (cut to fit, terminated).
        int32_t full = 0;
        copy_str_bufferl(static_cast<char *>(target), static_cast<int32_t>(room), &full, rest);
    } else if (target && room >= terminator) {
        std::memcpy(target, rest, n);
        std::memset(static_cast<char *>(target) + n, 0, terminator);
    }
    if (!target) n = 0;  // nothing handed out: the next call starts at the same place
    piece.offset += n;
    if (n < remaining) {
        warn(stmt.error_header, "01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
    }
    piece.done = true;
    return SQL_SUCCESS;
}

bool parse_timestamp(const std::string &text, SQL_TIMESTAMP_STRUCT &ts)
{
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int n = std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u", &y, &mo, &d, &h, &mi, &s);
    if (n < 3) return false;
    ts = {static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(d),
          static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), 0};
    return true;
}

bool as_timestamp(const Value *v, SQL_TIMESTAMP_STRUCT &ts)
{
    switch (v->type) {
    case VT_TIMESTAMP: ts = v->data.ts; return true;
    case VT_DATE: ts = {v->data.date.year, v->data.date.month, v->data.date.day, 0, 0, 0, 0}; return true;
    case VT_TIME:
        ts = {static_cast<SQLSMALLINT>(current_year()), static_cast<SQLUSMALLINT>(current_month()),
              static_cast<SQLUSMALLINT>(current_day()), v->data.time.hour, v->data.time.minute, v->data.time.second, 0};
        return true;
    case VT_STRING: return parse_timestamp(value_text(v), ts);
    default: return false;
    }
}

} // namespace

SQLRETURN deliver(Statement &stmt, SQLUSMALLINT column, const Value *value, SQLSMALLINT c_type, SQLPOINTER target,
                  SQLLEN buffer_length, SQLLEN *indicator, PieceState *piece)
{
    auto *v = const_cast<Value *>(value);
    if (v->indicator < 0) {
        if (piece && piece->done) return SQL_NO_DATA;
        if (piece) piece->done = true;
        if (!indicator) return post(stmt.error_header, "22002", "Indicator variable required but not supplied");
        *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    if (c_type == SQL_C_DEFAULT) c_type = default_c_type(sql_type_of(stmt.fb.columns()[column - 1]));
    PieceState whole;
    PieceState &state = piece ? *piece : whole;
    bool character = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
    if (character && is_long(v)) {
        if (SQLRETURN rc = load_long(stmt, column, v); rc != SQL_SUCCESS) return rc;
        // Text and bytes as stored come straight from the long buffer.
        bool binary = c_type == SQL_C_BINARY;
        if (c_type != SQL_C_WCHAR && (binary || v->type == VT_LONG_STRING)) {
            if (state.done) return SQL_NO_DATA;
            if (!state.long_started) rewind_long_buffer(v->long_buffer);
            state.long_started = true;
            int32_t remaining = 0;
            auto room = static_cast<int32_t>(std::min<SQLLEN>(buffer_length, INT32_MAX));
            int rc = extract_from_long_buffer(v->long_buffer, target, room, &remaining, binary);
            if (indicator) *indicator = remaining;
            if (rc < 0) return post(stmt.error_header, "HY000", "Long data could not be read from its temporary file");
            if (rc == 1) {
                warn(stmt.error_header, "01004", "String data, right truncated");
                return SQL_SUCCESS_WITH_INFO;
            }
            state.done = true;
            return SQL_SUCCESS;
        }
    }
    if (character) {
        if (!state.rendered) {
            std::string text;
            if (is_long(v)) {
                text = long_text(v->long_buffer);
                if (v->type == VT_LONG_BINARY && c_type != SQL_C_BINARY)
                    text = hex(reinterpret_cast<const unsigned char *>(text.data()), text.size());
            } else if (c_type == SQL_C_BINARY && (v->type == VT_BINARY || v->type == VT_STRING)) {
                text.assign(v->data.s, size_t(v->type == VT_BINARY ? v->octet_length : v->length));
            } else {
                text = value_text(v);
            }
            if (c_type == SQL_C_WCHAR) {
                std::u16string wide = utf8_to_utf16(text);
                text.assign(reinterpret_cast<const char *>(wide.data()), wide.size() * 2);
            }
            state.text = std::move(text);
            state.offset = 0;
            state.rendered = true;
        }
        if (c_type == SQL_C_WCHAR) return hand_out(stmt, state, target, buffer_length, indicator, sizeof(SQLWCHAR), 2);
        return hand_out(stmt, state, target, buffer_length, indicator, c_type == SQL_C_CHAR ? 1 : 0, 1);
    }
    if (piece) {
        if (piece->done) return SQL_NO_DATA;
        piece->done = true;
    }
    bool number = v->type == VT_INTEGER || v->type == VT_BIGINT || v->type == VT_BIT || v->type == VT_DOUBLE ||
                  v->type == VT_NUMERIC || v->type == VT_STRING;
    switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
        if (v->type == VT_INTEGER) return store(v->data.i, target, indicator);
        [[fallthrough]];
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_BIT: {
        if (!number) break;
        double d = get_double_from_value(v);
        if (v->type == VT_DOUBLE && (d >= 9.3e18 || d <= -9.3e18)) return out_of_range(stmt);
        int64_t n = get_bigint_from_value(v);
        switch (c_type) {
        case SQL_C_LONG:
        case SQL_C_SLONG: return store_integer<SQLINTEGER>(stmt, n, target, indicator);
        case SQL_C_ULONG: return store_integer<SQLUINTEGER>(stmt, n, target, indicator);
        case SQL_C_SHORT:
        case SQL_C_SSHORT: return store_integer<SQLSMALLINT>(stmt, n, target, indicator);
        case SQL_C_USHORT: return store_integer<SQLUSMALLINT>(stmt, n, target, indicator);
        case SQL_C_TINYINT:
        case SQL_C_STINYINT: return store_integer<SQLSCHAR>(stmt, n, target, indicator);
        case SQL_C_UTINYINT:
        case SQL_C_BIT: return store_integer<SQLCHAR>(stmt, n, target, indicator);
        case SQL_C_UBIGINT: return store_integer<SQLUBIGINT>(stmt, n, target, indicator);
        default: return store(static_cast<SQLBIGINT>(n), target, indicator);
        }
    }
    case SQL_C_DOUBLE:
        if (number) return store(get_double_from_value(v), target, indicator);
        break;
    case SQL_C_FLOAT:
        if (number) return store(static_cast<float>(get_double_from_value(v)), target, indicator);
        break;
    case SQL_C_NUMERIC: {
        SQL_NUMERIC_STRUCT num = {};
        if (v->type == VT_NUMERIC) {
            num = v->data.num;
        } else if (number) {
            std::string text = value_text(v);
            if (string_to_numeric(text.data(), &num, 38, 0) != 0) return out_of_range(stmt);
        } else {
            break;
        }
        num.precision = 38;
        return store(num, target, indicator);
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
        SQL_TIMESTAMP_STRUCT ts;
        if (v->type == VT_TIME || !as_timestamp(v, ts)) break;
        return store(SQL_DATE_STRUCT{ts.year, ts.month, ts.day}, target, indicator);
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
        SQL_TIMESTAMP_STRUCT ts;
        if (v->type == VT_DATE || !as_timestamp(v, ts)) break;
        return store(SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second}, target, indicator);
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT ts;
        if (!as_timestamp(v, ts)) break;
        return store(ts, target, indicator);
    }
    default: return post(stmt.error_header, "HY003", "Program type out of range");
    }
    return post(stmt.error_header, "07006", "Restricted data type attribute violation");
}

// --- parameters ------------------------------------------------------------

namespace {

bool is_character_c_type(SQLSMALLINT t) { return t == SQL_C_CHAR || t == SQL_C_WCHAR || t == SQL_C_BINARY; }

// Bytes of a character or binary parameter (SQL_NTS counted).
size_t parameter_bytes(const Parameter &p, SQLLEN indicator)
{
    if (indicator == SQL_NTS) {
        if (p.c_type == SQL_C_WCHAR) {
            auto *w = static_cast<const SQLWCHAR *>(p.value);
            size_t n = 0;
            while (w[n]) ++n;
            return n * 2;
        }
        return std::strlen(static_cast<const char *>(p.value));
    }
    if (indicator >= 0) return size_t(indicator);
    return p.buffer_length > 0 ? size_t(p.buffer_length) : 0;
}

SQLRETURN set_bytes(Statement &stmt, size_t index, const char *data, size_t bytes, bool binary)
{
    const fbapi::Field &described = stmt.fb.parameters()[index];
    if (described.kind == fbapi::Kind::blob || bytes > longest_text_parameter) {
        char id[8];
        fbapi::Error error;
        if (!stmt.conn->db.write_blob(data, bytes, id, error)) return post_firebird(stmt, error);
        stmt.fb.set_parameter(index, fbapi::Kind::blob, id, sizeof id);
        return SQL_SUCCESS;
    }
    stmt.fb.set_parameter(index, fbapi::Kind::varying, data, bytes, 0, binary ? charset_octets : 127);
    return SQL_SUCCESS;
}

SQLRETURN set_integer_parameter(Statement &stmt, size_t index, int64_t n)
{
    if (stmt.fb.parameters()[index].kind == fbapi::Kind::boolean) {
        char b = n ? 1 : 0;
        stmt.fb.set_parameter(index, fbapi::Kind::boolean, &b, 1);
    } else {
        stmt.fb.set_parameter(index, fbapi::Kind::bigint, &n, sizeof n);
    }
    return SQL_SUCCESS;
}

template <typename T> int64_t read_integer(const void *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<int64_t>(v);
}

} // namespace

SQLRETURN bind_parameter_value(Statement &stmt, size_t index)
{
    Parameter &p = stmt.params[index];
    if (!p.bound) return post(stmt.error_header, "07002", "COUNT field incorrect: a parameter is not bound");
    SQLSMALLINT c_type = p.c_type == SQL_C_DEFAULT ? default_c_type(p.sql_type) : p.c_type;
    if (p.at_exec) {
        if (p.put_null) return stmt.fb.set_parameter(index, fbapi::Kind::null, nullptr, 0), SQL_SUCCESS;
        if (c_type == SQL_C_WCHAR) {
            std::string text = utf16_to_utf8(reinterpret_cast<const SQLWCHAR *>(p.put_data.data()), p.put_data.size() / 2);
            return set_bytes(stmt, index, text.data(), text.size(), false);
        }
        if (is_character_c_type(c_type)) return set_bytes(stmt, index, p.put_data.data(), p.put_data.size(), c_type == SQL_C_BINARY);
        return post(stmt.error_header, "HY090", "Invalid string or buffer length");
    }
    SQLLEN indicator = p.indicator ? *p.indicator : (is_character_c_type(c_type) ? SQL_NTS : 0);
    if (indicator == SQL_NULL_DATA || !p.value) {
        stmt.fb.set_parameter(index, fbapi::Kind::null, nullptr, 0);
        return SQL_SUCCESS;
    }
    const void *data = p.value;
    switch (c_type) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
        return set_bytes(stmt, index, static_cast<const char *>(data), parameter_bytes(p, indicator), c_type == SQL_C_BINARY);
    case SQL_C_WCHAR: {
        std::string text = utf16_to_utf8(static_cast<const SQLWCHAR *>(data), parameter_bytes(p, indicator) / 2);
        return set_bytes(stmt, index, text.data(), text.size(), false);
    }
    case SQL_C_LONG:
    case SQL_C_SLONG: return set_integer_parameter(stmt, index, read_integer<SQLINTEGER>(data));
    case SQL_C_ULONG: return set_integer_parameter(stmt, index, read_integer<SQLUINTEGER>(data));
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return set_integer_parameter(stmt, index, read_integer<SQLSMALLINT>(data));
    case SQL_C_USHORT: return set_integer_parameter(stmt, index, read_integer<SQLUSMALLINT>(data));
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return set_integer_parameter(stmt, index, read_integer<SQLSCHAR>(data));
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return set_integer_parameter(stmt, index, read_integer<SQLCHAR>(data));
    case SQL_C_SBIGINT: return set_integer_parameter(stmt, index, read_integer<SQLBIGINT>(data));
    case SQL_C_UBIGINT: {
        SQLUBIGINT u;
        std::memcpy(&u, data, sizeof u);
        if (u > uint64_t(INT64_MAX)) return out_of_range(stmt);
        return set_integer_parameter(stmt, index, int64_t(u));
    }
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
        double d = c_type == SQL_C_FLOAT ? double(*static_cast<const float *>(data)) : *static_cast<const double *>(data);
        stmt.fb.set_parameter(index, fbapi::Kind::float64, &d, sizeof d);
        return SQL_SUCCESS;
    }
    case SQL_C_NUMERIC: {
        // Exact: the server reads the decimal text into the column's type.
        char text[200];
        numeric_to_string(static_cast<const SQL_NUMERIC_STRUCT *>(data), text, sizeof text, nullptr);
        stmt.fb.set_parameter(index, fbapi::Kind::varying, text, std::strlen(text));
        return SQL_SUCCESS;
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
        SQL_DATE_STRUCT d;
        std::memcpy(&d, data, sizeof d);
        int32_t days = firebird_date(d.year, d.month, d.day);
        stmt.fb.set_parameter(index, fbapi::Kind::date, &days, sizeof days);
        return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
        SQL_TIME_STRUCT t;
        std::memcpy(&t, data, sizeof t);
        uint32_t ticks = firebird_time(t.hour, t.minute, t.second, 0);
        stmt.fb.set_parameter(index, fbapi::Kind::time, &ticks, sizeof ticks);
        return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t;
        std::memcpy(&t, data, sizeof t);
        fbapi::Timestamp ts = {firebird_date(t.year, t.month, t.day), firebird_time(t.hour, t.minute, t.second, t.fraction)};
        stmt.fb.set_parameter(index, fbapi::Kind::timestamp, &ts, sizeof ts);
        return SQL_SUCCESS;
    }
    default: return post(stmt.error_header, "HY003", "Program type out of range");
    }
}

} // namespace kvfb
