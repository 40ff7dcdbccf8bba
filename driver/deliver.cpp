/*
** Values to the application: a row's Value goes into a C buffer of the type
** the application asks for, through the library's readers, numerics and
** string-copy rules. Character, wide and binary data are rendered once per
** column and handed out in pieces with SQLGetData's rules (01004 while cut,
** SQL_NO_DATA when all went out); long data as stored comes straight from
** the row's LongBuffer with extract_from_long_buffer.
*/
#include "entry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kvfb {

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
    if (!appended || rewind_long_buffer(buffer) != 0)
        return post(stmt.error_header, "HY000", "Long data could not be written to its temporary file");
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
    if (!target) n = 0; // nothing handed out: the next call starts at the same place
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
    ts = {static_cast<SQLSMALLINT>(y),
          static_cast<SQLUSMALLINT>(mo),
          static_cast<SQLUSMALLINT>(d),
          static_cast<SQLUSMALLINT>(h),
          static_cast<SQLUSMALLINT>(mi),
          static_cast<SQLUSMALLINT>(s),
          0};
    return true;
}

bool as_timestamp(const Value *v, SQL_TIMESTAMP_STRUCT &ts)
{
    switch (v->type) {
    case VT_TIMESTAMP: ts = v->data.ts; return true;
    case VT_DATE: ts = {v->data.date.year, v->data.date.month, v->data.date.day, 0, 0, 0, 0}; return true;
    case VT_TIME:
        ts = {static_cast<SQLSMALLINT>(current_year()),
              static_cast<SQLUSMALLINT>(current_month()),
              static_cast<SQLUSMALLINT>(current_day()),
              v->data.time.hour,
              v->data.time.minute,
              v->data.time.second,
              0};
        return true;
    case VT_STRING: return parse_timestamp(value_text(v), ts);
    default: return false;
    }
}

bool is_character_c_type(SQLSMALLINT t) { return t == SQL_C_CHAR || t == SQL_C_WCHAR || t == SQL_C_BINARY; }

bool is_number(const Value *v)
{
    return v->type == VT_INTEGER || v->type == VT_BIGINT || v->type == VT_BIT || v->type == VT_DOUBLE ||
           v->type == VT_NUMERIC || v->type == VT_STRING;
}

// A NULL: the indicator says so, once.
SQLRETURN deliver_null(Statement &stmt, SQLLEN *indicator, PieceState &state)
{
    if (state.done) return SQL_NO_DATA;
    state.done = true;
    if (!indicator) return post(stmt.error_header, "22002", "Indicator variable required but not supplied");
    *indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
}

// Text or bytes of a long value, as stored, in pieces from its buffer.
SQLRETURN deliver_long_as_stored(Statement &stmt, Value *v, bool binary, SQLPOINTER target, SQLLEN buffer_length,
                                 SQLLEN *indicator, PieceState &state)
{
    if (state.done) return SQL_NO_DATA;
    if (!state.long_started) rewind_long_buffer(v->long_buffer);
    state.long_started = true;
    int32_t remaining = 0;
    // No buffer: only the length is asked for.
    auto room = target ? static_cast<int32_t>(std::clamp<SQLLEN>(buffer_length, 0, INT32_MAX)) : 0;
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

// The bytes SQL_C_CHAR, SQL_C_WCHAR (UTF-16) or SQL_C_BINARY receive.
std::string rendered(const Value *v, SQLSMALLINT c_type)
{
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
    if (c_type != SQL_C_WCHAR) return text;
    std::u16string wide = utf8_to_utf16(text);
    return std::string(reinterpret_cast<const char *>(wide.data()), wide.size() * 2);
}

SQLRETURN deliver_characters(Statement &stmt, SQLUSMALLINT column, Value *v, SQLSMALLINT c_type, SQLPOINTER target,
                             SQLLEN buffer_length, SQLLEN *indicator, PieceState &state)
{
    if (is_long(v)) {
        if (SQLRETURN rc = load_long(stmt, column, v); rc != SQL_SUCCESS) return rc;
        bool binary = c_type == SQL_C_BINARY;
        if (c_type != SQL_C_WCHAR && (binary || v->type == VT_LONG_STRING))
            return deliver_long_as_stored(stmt, v, binary, target, buffer_length, indicator, state);
    }
    if (!state.rendered) {
        state.text = rendered(v, c_type);
        state.offset = 0;
        state.rendered = true;
    }
    if (c_type == SQL_C_WCHAR) return hand_out(stmt, state, target, buffer_length, indicator, sizeof(SQLWCHAR), 2);
    return hand_out(stmt, state, target, buffer_length, indicator, c_type == SQL_C_CHAR ? 1 : 0, 1);
}

SQLRETURN deliver_integer(Statement &stmt, const Value *v, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN *indicator)
{
    if (v->type == VT_DOUBLE && !(std::abs(v->data.d) < 9.2e18)) return out_of_range(stmt);
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

// SQL_C_NUMERIC: a numeric as it is, other numbers read exactly (doubles
// at up to 15 fraction digits).
SQLRETURN deliver_numeric(Statement &stmt, const Value *v, SQLPOINTER target, SQLLEN *indicator)
{
    SQL_NUMERIC_STRUCT num = {};
    if (v->type == VT_NUMERIC) {
        num = v->data.num;
    } else if (v->type == VT_DOUBLE) {
        if (double_to_numeric(v->data.d, &num, 38, 15) < 0) return out_of_range(stmt);
    } else {
        std::string text = value_text(v);
        if (string_to_numeric(text.data(), &num, 38, 0) != 0) return out_of_range(stmt);
    }
    num.precision = 38;
    return store(num, target, indicator);
}

// Dates, times and timestamps; false when the value has no such reading.
bool deliver_datetime(const Value *v, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN *indicator)
{
    SQL_TIMESTAMP_STRUCT ts;
    if (!as_timestamp(v, ts)) return false;
    switch (c_type) {
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
        if (v->type == VT_TIME) return false;
        store(SQL_DATE_STRUCT{ts.year, ts.month, ts.day}, target, indicator);
        return true;
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
        if (v->type == VT_DATE) return false;
        store(SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second}, target, indicator);
        return true;
    default: store(ts, target, indicator); return true;
    }
}

// Every C type of a fixed size, each at most once per column and row.
SQLRETURN deliver_fixed(Statement &stmt, const Value *v, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN *indicator)
{
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
    case SQL_C_BIT:
        if (is_number(v)) return deliver_integer(stmt, v, c_type, target, indicator);
        break;
    case SQL_C_DOUBLE:
        if (is_number(v)) return store(get_double_from_value(v), target, indicator);
        break;
    case SQL_C_FLOAT:
        if (is_number(v)) return store(static_cast<float>(get_double_from_value(v)), target, indicator);
        break;
    case SQL_C_NUMERIC:
        if (is_number(v)) return deliver_numeric(stmt, v, target, indicator);
        break;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
        if (deliver_datetime(v, c_type, target, indicator)) return SQL_SUCCESS;
        break;
    default: return post(stmt.error_header, "HY003", "Program type out of range");
    }
    return post(stmt.error_header, "07006", "Restricted data type attribute violation");
}

} // namespace

SQLRETURN deliver(Statement &stmt, SQLUSMALLINT column, const Value *value, SQLSMALLINT c_type, SQLPOINTER target,
                  SQLLEN buffer_length, SQLLEN *indicator, PieceState *piece)
{
    PieceState whole; // a bound column goes out whole, in one call
    PieceState &state = piece ? *piece : whole;
    auto *v = const_cast<Value *>(value); // a long value gains its buffer when first read
    if (v->indicator < 0) return deliver_null(stmt, indicator, state);
    if (c_type == SQL_C_DEFAULT) c_type = default_c_type(sql_type_of(stmt.fb.columns()[column - 1]));
    if (is_character_c_type(c_type))
        return deliver_characters(stmt, column, v, c_type, target, buffer_length, indicator, state);
    if (state.done) return SQL_NO_DATA;
    state.done = true;
    return deliver_fixed(stmt, v, c_type, target, indicator);
}

} // namespace kvfb
