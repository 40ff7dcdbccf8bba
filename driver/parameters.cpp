/*
** Parameters: the application's bound buffer (or what SQLPutData sent)
** becomes the Firebird parameter. Numbers go as 64-bit integers or doubles,
** exact numerics as decimal text the server reads at the column's scale,
** dates and times in Firebird's own counts, text and bytes as VARCHAR in
** the connection's character set or OCTETS, and anything longer than a
** VARCHAR can hold, or bound to a blob column, as a blob written first.
*/
#include "entry.h"

#include <cstring>

namespace kvfb {

namespace {

constexpr int charset_octets = 1;
constexpr int charset_connection = 127;          // the attachment's character set
constexpr size_t longest_text_parameter = 32000; // longer text goes into a blob

bool is_character_c_type(SQLSMALLINT t) { return t == SQL_C_CHAR || t == SQL_C_WCHAR || t == SQL_C_BINARY; }

// Bytes of a character or binary parameter (SQL_NTS counted).
size_t parameter_bytes(const Parameter &p, SQLLEN indicator)
{
    if (indicator == SQL_NTS) {
        if (p.c_type == SQL_C_WCHAR) {
            auto *w = static_cast<const SQLWCHAR *>(p.value);
            size_t n = 0;
            while (w[n])
                ++n;
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
    stmt.fb.set_parameter(index, fbapi::Kind::varying, data, bytes, 0, binary ? charset_octets : charset_connection);
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
            std::string text =
                utf16_to_utf8(reinterpret_cast<const SQLWCHAR *>(p.put_data.data()), p.put_data.size() / 2);
            return set_bytes(stmt, index, text.data(), text.size(), false);
        }
        if (is_character_c_type(c_type))
            return set_bytes(stmt, index, p.put_data.data(), p.put_data.size(), c_type == SQL_C_BINARY);
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
        return set_bytes(stmt, index, static_cast<const char *>(data), parameter_bytes(p, indicator),
                         c_type == SQL_C_BINARY);
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
        if (u > uint64_t(INT64_MAX)) return post(stmt.error_header, "22003", "Numeric value out of range");
        return set_integer_parameter(stmt, index, int64_t(u));
    }
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
        double d =
            c_type == SQL_C_FLOAT ? double(*static_cast<const float *>(data)) : *static_cast<const double *>(data);
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
        fbapi::Timestamp ts = {firebird_date(t.year, t.month, t.day),
                               firebird_time(t.hour, t.minute, t.second, t.fraction)};
        stmt.fb.set_parameter(index, fbapi::Kind::timestamp, &ts, sizeof ts);
        return SQL_SUCCESS;
    }
    default: return post(stmt.error_header, "HY003", "Program type out of range");
    }
}

} // namespace kvfb
