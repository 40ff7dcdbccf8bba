/*
** What the driver says about itself: SQLGetInfo from one table of answers
** (text, 16-bit or 32-bit), SQLGetFunctions from the list of exported entry
** points, SQLGetTypeInfo as a query of constant rows run by the server,
** and SQLNativeSql through the escape translator.
*/
#include "entry.h"

#include <cstring>

namespace kvfb {

namespace {

enum class InfoKind { text, small, word };

struct Info {
    SQLUSMALLINT id;
    InfoKind kind;
    const char *text;
    SQLUINTEGER number;
};

constexpr SQLUINTEGER string_functions =
    SQL_FN_STR_ASCII | SQL_FN_STR_CHAR | SQL_FN_STR_CONCAT | SQL_FN_STR_LCASE | SQL_FN_STR_LEFT | SQL_FN_STR_LENGTH |
    SQL_FN_STR_LOCATE | SQL_FN_STR_LTRIM | SQL_FN_STR_REPLACE | SQL_FN_STR_RIGHT | SQL_FN_STR_RTRIM |
    SQL_FN_STR_SUBSTRING | SQL_FN_STR_UCASE | SQL_FN_STR_OCTET_LENGTH | SQL_FN_STR_CHAR_LENGTH;
constexpr SQLUINTEGER numeric_functions =
    SQL_FN_NUM_ABS | SQL_FN_NUM_ACOS | SQL_FN_NUM_ASIN | SQL_FN_NUM_ATAN | SQL_FN_NUM_ATAN2 | SQL_FN_NUM_CEILING |
    SQL_FN_NUM_COS | SQL_FN_NUM_COT | SQL_FN_NUM_EXP | SQL_FN_NUM_FLOOR | SQL_FN_NUM_LOG | SQL_FN_NUM_LOG10 |
    SQL_FN_NUM_MOD | SQL_FN_NUM_PI | SQL_FN_NUM_POWER | SQL_FN_NUM_RAND | SQL_FN_NUM_ROUND | SQL_FN_NUM_SIGN |
    SQL_FN_NUM_SIN | SQL_FN_NUM_SQRT | SQL_FN_NUM_TAN | SQL_FN_NUM_TRUNCATE;
constexpr SQLUINTEGER timedate_functions =
    SQL_FN_TD_CURDATE | SQL_FN_TD_CURTIME | SQL_FN_TD_NOW | SQL_FN_TD_DAYOFMONTH | SQL_FN_TD_DAYOFWEEK |
    SQL_FN_TD_DAYOFYEAR | SQL_FN_TD_MONTH | SQL_FN_TD_YEAR | SQL_FN_TD_HOUR | SQL_FN_TD_MINUTE | SQL_FN_TD_SECOND;

constexpr Info infos[] = {
    {SQL_DBMS_NAME, InfoKind::text, "Firebird", 0},
    {SQL_DBMS_VER, InfoKind::text, "03.00.0000", 0},
    {SQL_DRIVER_NAME, InfoKind::text, "kvfbodbc.so", 0},
    {SQL_DRIVER_VER, InfoKind::text, "01.00.0000", 0},
    {SQL_DRIVER_ODBC_VER, InfoKind::text, "03.51", 0},
    {SQL_SERVER_NAME, InfoKind::text, "", 0},
    {SQL_IDENTIFIER_QUOTE_CHAR, InfoKind::text, "\"", 0},
    {SQL_SEARCH_PATTERN_ESCAPE, InfoKind::text, "\\", 0},
    {SQL_CATALOG_NAME_SEPARATOR, InfoKind::text, "", 0},
    {SQL_CATALOG_TERM, InfoKind::text, "", 0},
    {SQL_SCHEMA_TERM, InfoKind::text, "", 0},
    {SQL_TABLE_TERM, InfoKind::text, "table", 0},
    {SQL_PROCEDURE_TERM, InfoKind::text, "procedure", 0},
    {SQL_CATALOG_NAME, InfoKind::text, "N", 0},
    {SQL_ACCESSIBLE_TABLES, InfoKind::text, "N", 0},
    {SQL_ACCESSIBLE_PROCEDURES, InfoKind::text, "N", 0},
    {SQL_EXPRESSIONS_IN_ORDERBY, InfoKind::text, "Y", 0},
    {SQL_MULT_RESULT_SETS, InfoKind::text, "N", 0},
    {SQL_MULTIPLE_ACTIVE_TXN, InfoKind::text, "Y", 0},
    {SQL_NEED_LONG_DATA_LEN, InfoKind::text, "N", 0},
    {SQL_OUTER_JOINS, InfoKind::text, "Y", 0},
    {SQL_PROCEDURES, InfoKind::text, "Y", 0},
    {SQL_ROW_UPDATES, InfoKind::text, "N", 0},
    {SQL_SPECIAL_CHARACTERS, InfoKind::text, "$", 0},
    {SQL_LIKE_ESCAPE_CLAUSE, InfoKind::text, "Y", 0},
    {SQL_COLUMN_ALIAS, InfoKind::text, "Y", 0},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, InfoKind::text, "N", 0},
    {SQL_INTEGRITY, InfoKind::text, "Y", 0},
    {SQL_KEYWORDS, InfoKind::text, "", 0},
    {SQL_DESCRIBE_PARAMETER, InfoKind::text, "Y", 0},
    {SQL_MAX_ROW_SIZE_INCLUDES_LONG, InfoKind::text, "N", 0},
    {SQL_XOPEN_CLI_YEAR, InfoKind::text, "1995", 0},
    {SQL_COLLATION_SEQ, InfoKind::text, "", 0},
    {SQL_MAX_DRIVER_CONNECTIONS, InfoKind::small, nullptr, 0},
    {SQL_MAX_CONCURRENT_ACTIVITIES, InfoKind::small, nullptr, 0},
    {SQL_MAX_COLUMN_NAME_LEN, InfoKind::small, nullptr, 31},
    {SQL_MAX_TABLE_NAME_LEN, InfoKind::small, nullptr, 31},
    {SQL_MAX_SCHEMA_NAME_LEN, InfoKind::small, nullptr, 0},
    {SQL_MAX_CATALOG_NAME_LEN, InfoKind::small, nullptr, 0},
    {SQL_MAX_CURSOR_NAME_LEN, InfoKind::small, nullptr, KV_CURSOR_NAME_SIZE - 1},
    {SQL_MAX_IDENTIFIER_LEN, InfoKind::small, nullptr, 31},
    {SQL_MAX_PROCEDURE_NAME_LEN, InfoKind::small, nullptr, 31},
    {SQL_MAX_COLUMNS_IN_GROUP_BY, InfoKind::small, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_INDEX, InfoKind::small, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_ORDER_BY, InfoKind::small, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_SELECT, InfoKind::small, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_TABLE, InfoKind::small, nullptr, 0},
    {SQL_MAX_TABLES_IN_SELECT, InfoKind::small, nullptr, 0},
    {SQL_MAX_USER_NAME_LEN, InfoKind::small, nullptr, 31},
    {SQL_TXN_CAPABLE, InfoKind::small, nullptr, SQL_TC_ALL},
    {SQL_CURSOR_COMMIT_BEHAVIOR, InfoKind::small, nullptr, SQL_CB_CLOSE},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, InfoKind::small, nullptr, SQL_CB_CLOSE},
    {SQL_CONCAT_NULL_BEHAVIOR, InfoKind::small, nullptr, SQL_CB_NULL},
    {SQL_IDENTIFIER_CASE, InfoKind::small, nullptr, SQL_IC_UPPER},
    {SQL_QUOTED_IDENTIFIER_CASE, InfoKind::small, nullptr, SQL_IC_SENSITIVE},
    {SQL_NULL_COLLATION, InfoKind::small, nullptr, SQL_NC_LOW},
    {SQL_CORRELATION_NAME, InfoKind::small, nullptr, SQL_CN_ANY},
    {SQL_NON_NULLABLE_COLUMNS, InfoKind::small, nullptr, SQL_NNC_NON_NULL},
    {SQL_FILE_USAGE, InfoKind::small, nullptr, SQL_FILE_NOT_SUPPORTED},
    {SQL_GROUP_BY, InfoKind::small, nullptr, SQL_GB_GROUP_BY_CONTAINS_SELECT},
    {SQL_ODBC_API_CONFORMANCE, InfoKind::small, nullptr, SQL_OAC_LEVEL1},
    {SQL_ODBC_SQL_CONFORMANCE, InfoKind::small, nullptr, SQL_OSC_CORE},
    {SQL_CATALOG_LOCATION, InfoKind::small, nullptr, 0},
    {SQL_ACTIVE_ENVIRONMENTS, InfoKind::small, nullptr, 0},
    {SQL_TXN_ISOLATION_OPTION, InfoKind::word, nullptr,
     SQL_TXN_READ_COMMITTED | SQL_TXN_REPEATABLE_READ | SQL_TXN_SERIALIZABLE},
    {SQL_DEFAULT_TXN_ISOLATION, InfoKind::word, nullptr, SQL_TXN_READ_COMMITTED},
    {SQL_MAX_STATEMENT_LEN, InfoKind::word, nullptr, 65535},
    {SQL_MAX_ROW_SIZE, InfoKind::word, nullptr, 65535},
    {SQL_MAX_CHAR_LITERAL_LEN, InfoKind::word, nullptr, 32765},
    {SQL_MAX_BINARY_LITERAL_LEN, InfoKind::word, nullptr, 32765},
    {SQL_GETDATA_EXTENSIONS, InfoKind::word, nullptr, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER},
    {SQL_SCROLL_OPTIONS, InfoKind::word, nullptr, SQL_SO_FORWARD_ONLY},
    {SQL_CURSOR_SENSITIVITY, InfoKind::word, nullptr, SQL_UNSPECIFIED},
    {SQL_ASYNC_MODE, InfoKind::word, nullptr, SQL_AM_NONE},
    {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, InfoKind::word, nullptr, 0},
    {SQL_STRING_FUNCTIONS, InfoKind::word, nullptr, string_functions},
    {SQL_NUMERIC_FUNCTIONS, InfoKind::word, nullptr, numeric_functions},
    {SQL_TIMEDATE_FUNCTIONS, InfoKind::word, nullptr, timedate_functions},
    {SQL_SYSTEM_FUNCTIONS, InfoKind::word, nullptr, SQL_FN_SYS_IFNULL | SQL_FN_SYS_USERNAME | SQL_FN_SYS_DBNAME},
    {SQL_CONVERT_FUNCTIONS, InfoKind::word, nullptr, SQL_FN_CVT_CONVERT | SQL_FN_CVT_CAST},
    {SQL_SQL_CONFORMANCE, InfoKind::word, nullptr, SQL_SC_SQL92_ENTRY},
    {SQL_ODBC_INTERFACE_CONFORMANCE, InfoKind::word, nullptr, SQL_OIC_CORE},
    {SQL_BATCH_SUPPORT, InfoKind::word, nullptr, 0},
    {SQL_BATCH_ROW_COUNT, InfoKind::word, nullptr, 0},
    {SQL_PARAM_ARRAY_ROW_COUNTS, InfoKind::word, nullptr, SQL_PARC_NO_BATCH},
    {SQL_PARAM_ARRAY_SELECTS, InfoKind::word, nullptr, SQL_PAS_NO_SELECT},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, InfoKind::word, nullptr, SQL_CA1_NEXT},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, InfoKind::word, nullptr,
     SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT},
    {SQL_STATIC_CURSOR_ATTRIBUTES1, InfoKind::word, nullptr, 0},
    {SQL_STATIC_CURSOR_ATTRIBUTES2, InfoKind::word, nullptr, 0},
    {SQL_KEYSET_CURSOR_ATTRIBUTES1, InfoKind::word, nullptr, 0},
    {SQL_KEYSET_CURSOR_ATTRIBUTES2, InfoKind::word, nullptr, 0},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, InfoKind::word, nullptr, 0},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, InfoKind::word, nullptr, 0},
    {SQL_BOOKMARK_PERSISTENCE, InfoKind::word, nullptr, 0},
    {SQL_POS_OPERATIONS, InfoKind::word, nullptr, 0},
    {SQL_STATIC_SENSITIVITY, InfoKind::word, nullptr, 0},
    {SQL_LOCK_TYPES, InfoKind::word, nullptr, 0},
    {SQL_CATALOG_USAGE, InfoKind::word, nullptr, 0},
    {SQL_SCHEMA_USAGE, InfoKind::word, nullptr, 0},
    {SQL_OJ_CAPABILITIES, InfoKind::word, nullptr,
     SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_FULL | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER |
         SQL_OJ_ALL_COMPARISON_OPS},
    {SQL_DATETIME_LITERALS, InfoKind::word, nullptr, SQL_DL_SQL92_DATE | SQL_DL_SQL92_TIME | SQL_DL_SQL92_TIMESTAMP},
    {SQL_AGGREGATE_FUNCTIONS, InfoKind::word, nullptr,
     SQL_AF_ALL | SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_DISTINCT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM},
    {SQL_SUBQUERIES, InfoKind::word, nullptr,
     SQL_SQ_CORRELATED_SUBQUERIES | SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_QUANTIFIED},
    {SQL_UNION, InfoKind::word, nullptr, SQL_U_UNION | SQL_U_UNION_ALL},
    {SQL_INFO_SCHEMA_VIEWS, InfoKind::word, nullptr, 0},
    {SQL_TIMEDATE_ADD_INTERVALS, InfoKind::word, nullptr, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, InfoKind::word, nullptr, 0},
};

SQLRETURN get_info(Connection &conn, SQLUSMALLINT id, SQLPOINTER value, SQLSMALLINT buffer_length, SQLSMALLINT *length)
{
    std::string dynamic;
    const Info *found = nullptr;
    for (const Info &info : infos)
        if (info.id == id) found = &info;
    Info answer = found ? *found : Info{id, InfoKind::text, nullptr, 0};
    switch (id) {
    case SQL_DATA_SOURCE_NAME: dynamic = conn.dsn; break;
    case SQL_DATABASE_NAME: dynamic = conn.database_path; break;
    case SQL_USER_NAME: dynamic = conn.attach.user; break;
    case SQL_DATA_SOURCE_READ_ONLY: dynamic = conn.transaction.read_only ? "Y" : "N"; break;
    default:
        if (!found) return post(conn.error_header, "HY096", "Information type out of range");
    }
    if (!found) answer.text = dynamic.c_str();
    if (answer.kind == InfoKind::text) {
        if (copy_str_buffer(static_cast<char *>(value), buffer_length, length, answer.text) == 1 && value) {
            warn(conn.error_header, "01004", "String data, right truncated");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    }
    if (answer.kind == InfoKind::small) {
        auto n = static_cast<SQLUSMALLINT>(answer.number);
        if (value) std::memcpy(value, &n, sizeof n);
        if (length) *length = sizeof n;
    } else {
        SQLUINTEGER n = answer.number;
        if (value) std::memcpy(value, &n, sizeof n);
        if (length) *length = sizeof n;
    }
    return SQL_SUCCESS;
}

constexpr SQLUSMALLINT implemented[] = {
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLFREEHANDLE,     SQL_API_SQLSETENVATTR,    SQL_API_SQLGETENVATTR,
    SQL_API_SQLSETCONNECTATTR, SQL_API_SQLGETCONNECTATTR, SQL_API_SQLCONNECT,       SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLDISCONNECT,     SQL_API_SQLGETINFO,        SQL_API_SQLGETFUNCTIONS,  SQL_API_SQLGETTYPEINFO,
    SQL_API_SQLEXECDIRECT,     SQL_API_SQLPREPARE,        SQL_API_SQLEXECUTE,       SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLNUMPARAMS,      SQL_API_SQLDESCRIBEPARAM,  SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL,
    SQL_API_SQLCOLATTRIBUTE,   SQL_API_SQLBINDCOL,        SQL_API_SQLFETCH,         SQL_API_SQLFETCHSCROLL,
    SQL_API_SQLGETDATA,        SQL_API_SQLROWCOUNT,       SQL_API_SQLMORERESULTS,   SQL_API_SQLCLOSECURSOR,
    SQL_API_SQLFREESTMT,       SQL_API_SQLENDTRAN,        SQL_API_SQLCANCEL,        SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLGETSTMTATTR,    SQL_API_SQLSETCURSORNAME,  SQL_API_SQLGETCURSORNAME, SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETDIAGFIELD,   SQL_API_SQLTABLES,         SQL_API_SQLCOLUMNS,       SQL_API_SQLNATIVESQL,
    SQL_API_SQLPARAMDATA,      SQL_API_SQLPUTDATA,
};

SQLRETURN get_functions(SQLUSMALLINT id, SQLUSMALLINT *supported)
{
    if (!supported) return SQL_SUCCESS;
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(supported, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
        for (SQLUSMALLINT f : implemented)
            supported[f >> 4] = static_cast<SQLUSMALLINT>(supported[f >> 4] | (1 << (f & 15)));
        return SQL_SUCCESS;
    }
    if (id == SQL_API_ALL_FUNCTIONS) {
        std::memset(supported, 0, 100 * sizeof(SQLUSMALLINT));
        for (SQLUSMALLINT f : implemented)
            if (f < 100) supported[f] = SQL_TRUE;
        return SQL_SUCCESS;
    }
    *supported = SQL_FALSE;
    for (SQLUSMALLINT f : implemented)
        if (f == id) *supported = SQL_TRUE;
    return SQL_SUCCESS;
}

// The rows of SQLGetTypeInfo, one per Firebird type, in DATA_TYPE order.
struct TypeRow {
    const char *name;
    int data_type, column_size;
    const char *prefix, *suffix, *create_params;
    int case_sensitive, searchable, unsigned_attribute, fixed_prec_scale, minimum_scale, maximum_scale, radix;
};
constexpr TypeRow type_rows[] = {
    {"BOOLEAN", SQL_BIT, 1, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, -1, 0, -1, -1, -1},
    {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0, 10},
    {"BLOB SUB_TYPE 0", SQL_LONGVARBINARY, 2147483647, nullptr, nullptr, nullptr, 0, SQL_PRED_NONE, -1, 0, -1, -1, -1},
    {"VARCHAR CHARACTER SET OCTETS", SQL_VARBINARY, 32765, "x'", "'", "length", 0, SQL_SEARCHABLE, -1, 0, -1, -1, -1},
    {"CHAR CHARACTER SET OCTETS", SQL_BINARY, 32767, "x'", "'", "length", 0, SQL_SEARCHABLE, -1, 0, -1, -1, -1},
    {"BLOB SUB_TYPE TEXT", SQL_LONGVARCHAR, 2147483647, "'", "'", nullptr, 1, SQL_PRED_CHAR, -1, 0, -1, -1, -1},
    {"CHAR", SQL_CHAR, 32767, "'", "'", "length", 1, SQL_SEARCHABLE, -1, 0, -1, -1, -1},
    {"NUMERIC", SQL_NUMERIC, 18, nullptr, nullptr, "precision,scale", 0, SQL_PRED_BASIC, 0, 1, 0, 18, 10},
    {"DECIMAL", SQL_DECIMAL, 18, nullptr, nullptr, "precision,scale", 0, SQL_PRED_BASIC, 0, 1, 0, 18, 10},
    {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0, 10},
    {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0, 10},
    {"FLOAT", SQL_REAL, 7, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, -1, -1, 2},
    {"DOUBLE PRECISION", SQL_DOUBLE, 15, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, -1, -1, 2},
    {"VARCHAR", SQL_VARCHAR, 32765, "'", "'", "length", 1, SQL_SEARCHABLE, -1, 0, -1, -1, -1},
    {"DATE", SQL_TYPE_DATE, 10, "DATE '", "'", nullptr, 0, SQL_PRED_BASIC, -1, 0, -1, -1, -1},
    {"TIME", SQL_TYPE_TIME, 13, "TIME '", "'", nullptr, 0, SQL_PRED_BASIC, -1, 0, 0, 4, -1},
    {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 24, "TIMESTAMP '", "'", nullptr, 0, SQL_PRED_BASIC, -1, 0, 0, 4, -1},
};

std::string text_or_null(const char *text)
{
    if (!text) return "CAST(NULL AS VARCHAR(31))";
    std::string out = "CAST('";
    for (const char *p = text; *p; ++p)
        out += *p == '\'' ? std::string("''") : std::string(1, *p);
    return out + "' AS VARCHAR(31))";
}

std::string small(int n) { return "CAST(" + std::to_string(n) + " AS SMALLINT)"; }
std::string small_or_null(int n) { return n < 0 ? "CAST(NULL AS SMALLINT)" : small(n); }

std::string type_info_query(SQLSMALLINT data_type)
{
    std::string sql;
    for (const TypeRow &r : type_rows) {
        int sql_data_type = r.data_type >= SQL_TYPE_DATE ? SQL_DATETIME : r.data_type;
        int datetime_sub = r.data_type >= SQL_TYPE_DATE ? r.data_type - SQL_TYPE_DATE + 1 : -1;
        bool wanted = data_type == SQL_ALL_TYPES || data_type == r.data_type ||
                      (data_type == SQL_TIMESTAMP && r.data_type == SQL_TYPE_TIMESTAMP) ||
                      (data_type == SQL_DATE && r.data_type == SQL_TYPE_DATE) ||
                      (data_type == SQL_TIME && r.data_type == SQL_TYPE_TIME);
        if (!wanted) continue;
        if (!sql.empty()) sql += " UNION ALL ";
        sql += "SELECT " + text_or_null(r.name) + " AS TYPE_NAME, " + small(r.data_type) + " AS DATA_TYPE, CAST(" +
               std::to_string(r.column_size) + " AS INTEGER) AS COLUMN_SIZE, " + text_or_null(r.prefix) +
               " AS LITERAL_PREFIX, " + text_or_null(r.suffix) + " AS LITERAL_SUFFIX, " +
               text_or_null(r.create_params) + " AS CREATE_PARAMS, " + small_or_null(SQL_NULLABLE) + " AS NULLABLE, " +
               small_or_null(r.case_sensitive) + " AS CASE_SENSITIVE, " + small_or_null(r.searchable) +
               " AS SEARCHABLE, " + small_or_null(r.unsigned_attribute) + " AS UNSIGNED_ATTRIBUTE, " +
               small_or_null(r.fixed_prec_scale) + " AS FIXED_PREC_SCALE, " + small_or_null(0) +
               " AS AUTO_UNIQUE_VALUE, " + text_or_null(r.name) + " AS LOCAL_TYPE_NAME, " +
               small_or_null(r.minimum_scale) + " AS MINIMUM_SCALE, " + small_or_null(r.maximum_scale) +
               " AS MAXIMUM_SCALE, " + small(sql_data_type) + " AS SQL_DATA_TYPE, " + small_or_null(datetime_sub) +
               " AS SQL_DATETIME_SUB, CAST(" + (r.radix < 0 ? std::string("NULL") : std::to_string(r.radix)) +
               " AS INTEGER) AS NUM_PREC_RADIX, " + small_or_null(-1) + " AS INTERVAL_PRECISION FROM RDB$DATABASE";
    }
    // An unknown type gives an empty result of the same shape.
    if (sql.empty()) return type_info_query(SQL_BIT) + " WHERE 1 = 0";
    return sql;
}

} // namespace

} // namespace kvfb

using namespace kvfb;

extern "C" {

KVFB_API SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT id, SQLPOINTER value, SQLSMALLINT buffer_length,
                                      SQLSMALLINT *length)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    KVFB_TRACE("SQLGetInfo(%p, %u)", handle, int(id));
    return KVFB_LEAVE(conn->error_header, "SQLGetInfo", get_info(*conn, id, value, buffer_length, length));
}

KVFB_API SQLRETURN SQL_API SQLGetFunctions(SQLHDBC handle, SQLUSMALLINT id, SQLUSMALLINT *supported)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    KVFB_TRACE("SQLGetFunctions(%p, %u)", handle, int(id));
    return KVFB_LEAVE(conn->error_header, "SQLGetFunctions", get_functions(id, supported));
}

KVFB_API SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT handle, SQLSMALLINT data_type)
{
    KVFB_SERIALISE;
    Statement *stmt = statement(handle);
    if (!stmt) return SQL_INVALID_HANDLE;
    SetupErrorHeader(stmt->error_header, 0);
    KVFB_TRACE("SQLGetTypeInfo(%p, %i)", handle, data_type);
    std::string sql = type_info_query(data_type);
    if (data_type == SQL_ALL_TYPES) sql = "SELECT * FROM (" + sql + ") ORDER BY 2, 1";
    return KVFB_LEAVE(stmt->error_header, "SQLGetTypeInfo", run_internal_query(*stmt, sql));
}

KVFB_API SQLRETURN SQL_API SQLNativeSql(SQLHDBC handle, SQLCHAR *in, SQLINTEGER in_length, SQLCHAR *out,
                                        SQLINTEGER out_max, SQLINTEGER *out_length)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    KVFB_TRACE("SQLNativeSql(%p, %S)", handle, in, in_length);
    // The translator posts on a statement: a scratch one whose records are copied over.
    Statement scratch(conn);
    scratch.kind = KV_KIND_STATEMENT;
    scratch.connection = conn;
    scratch.mem = kv_mem_alloc_handle(conn->mem);
    scratch.error_header = conn->error_header;
    std::string sql;
    SQLRETURN rc = translate_escapes(scratch, input_text(in, in_length), sql) ? SQL_SUCCESS : SQL_ERROR;
    scratch.conn = nullptr;
    kv_mem_release_handle(scratch.mem);
    if (rc == SQL_SUCCESS && copy_str_bufferl(reinterpret_cast<char *>(out), out_max, out_length, sql.c_str()) == 1 &&
        out)
        warn(conn->error_header, "01004", "String data, right truncated");
    return KVFB_LEAVE(conn->error_header, "SQLNativeSql", rc);
}

} // extern "C"
