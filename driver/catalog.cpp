/*
** Catalog functions: SQLTables and SQLColumns as queries on Firebird's
** system tables (RDB$RELATIONS, RDB$RELATION_FIELDS, RDB$FIELDS) shaped as
** ODBC's result sets. Search patterns become LIKE with '\' as the escape
** character; they are written into the query as quoted literals.
*/
#include "entry.h"

#include <cctype>

namespace kvfb {

namespace {

std::string literal(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// " AND column LIKE 'pattern' ESCAPE '\'" for a pattern that filters.
std::string like(const char *column, std::string_view pattern)
{
    if (pattern.empty() || pattern == "%") return {};
    return std::string(" AND ") + column + " LIKE " + literal(pattern) + " ESCAPE '\\'";
}

// The table types asked for ("TABLE,VIEW" or "'TABLE','VIEW'") as an IN list.
std::string type_filter(std::string_view types)
{
    std::string list;
    std::string current;
    auto flush = [&] {
        size_t a = current.find_first_not_of(" '"), b = current.find_last_not_of(" '");
        if (a != std::string::npos) list += (list.empty() ? "" : ", ") + literal(current.substr(a, b - a + 1));
        current.clear();
    };
    for (char c : types) {
        if (c == ',')
            flush();
        else
            current += char(std::toupper(static_cast<unsigned char>(c)));
    }
    flush();
    if (list.empty() || types == "%") return {};
    return " WHERE TABLE_TYPE IN (" + list + ")";
}

std::string tables_query(std::string_view table, std::string_view types)
{
    return "SELECT * FROM (SELECT CAST(NULL AS VARCHAR(31)) AS TABLE_CAT, CAST(NULL AS VARCHAR(31)) AS TABLE_SCHEM, "
           "CAST(TRIM(R.RDB$RELATION_NAME) AS VARCHAR(31)) AS TABLE_NAME, "
           "CAST(TRIM(CASE WHEN COALESCE(R.RDB$SYSTEM_FLAG, 0) <> 0 THEN 'SYSTEM TABLE' "
           "WHEN R.RDB$VIEW_BLR IS NOT NULL THEN 'VIEW' ELSE 'TABLE' END) AS VARCHAR(12)) AS TABLE_TYPE, "
           "CAST(SUBSTRING(R.RDB$DESCRIPTION FROM 1 FOR 255) AS VARCHAR(255)) AS REMARKS "
           "FROM RDB$RELATIONS R WHERE 1 = 1" +
           like("TRIM(R.RDB$RELATION_NAME)", table) + ")" + type_filter(types) + " ORDER BY 4, 3";
}

// Firebird's field type codes: 7 SMALLINT, 8 INTEGER, 16 BIGINT, 10 FLOAT,
// 27 DOUBLE, 12 DATE, 13 TIME, 35 TIMESTAMP, 14 CHAR, 37 VARCHAR, 261 BLOB,
// 23 BOOLEAN; integers with a negative scale are NUMERIC (sub type 1 or 0)
// or DECIMAL (2); character set 1 is OCTETS.
constexpr const char *columns_inner =
    "SELECT TRIM(RF.RDB$RELATION_NAME) AS TNAME, TRIM(RF.RDB$FIELD_NAME) AS CNAME, RF.RDB$FIELD_POSITION AS POS, "
    "RF.RDB$NULL_FLAG AS NOTNULL, CAST(SUBSTRING(RF.RDB$DESCRIPTION FROM 1 FOR 255) AS VARCHAR(255)) AS REMARKS, "
    "CAST(SUBSTRING(COALESCE(RF.RDB$DEFAULT_SOURCE, F.RDB$DEFAULT_SOURCE) FROM 1 FOR 255) AS VARCHAR(255)) AS DEF, "
    "F.RDB$NULL_FLAG AS DOMAIN_NOTNULL, F.RDB$FIELD_LENGTH AS FLEN, F.RDB$CHARACTER_LENGTH AS CLEN, "
    "F.RDB$FIELD_PRECISION AS FPREC, -F.RDB$FIELD_SCALE AS FSCALE, F.RDB$FIELD_TYPE AS FTYPE, "
    "CASE WHEN F.RDB$FIELD_TYPE IN (7, 8, 16) AND F.RDB$FIELD_SCALE < 0 THEN "
    "  CASE WHEN F.RDB$FIELD_SUB_TYPE = 2 THEN 3 ELSE 2 END "
    "ELSE DECODE(F.RDB$FIELD_TYPE, 7, 5, 8, 4, 16, -5, 10, 7, 27, 8, 12, 91, 13, 92, 35, 93, 23, -7, "
    "  14, IIF(F.RDB$CHARACTER_SET_ID = 1, -2, 1), 37, IIF(F.RDB$CHARACTER_SET_ID = 1, -3, 12), "
    "  261, IIF(F.RDB$FIELD_SUB_TYPE = 1, -1, -4), 12) END AS DT "
    "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE WHERE 1 = 1";

std::string columns_query(std::string_view table, std::string_view column)
{
    return std::string(
               "SELECT CAST(NULL AS VARCHAR(31)) AS TABLE_CAT, CAST(NULL AS VARCHAR(31)) AS TABLE_SCHEM, "
               "CAST(TNAME AS VARCHAR(31)) AS TABLE_NAME, CAST(CNAME AS VARCHAR(31)) AS COLUMN_NAME, "
               "CAST(DT AS SMALLINT) AS DATA_TYPE, "
               "CAST(DECODE(DT, -7, 'BOOLEAN', -5, 'BIGINT', -4, 'BLOB SUB_TYPE 0', -3, 'VARCHAR', -2, 'CHAR', "
               "  -1, 'BLOB SUB_TYPE TEXT', 1, 'CHAR', 2, 'NUMERIC', 3, 'DECIMAL', 4, 'INTEGER', 5, 'SMALLINT', "
               "  7, 'FLOAT', 8, 'DOUBLE PRECISION', 12, 'VARCHAR', 91, 'DATE', 92, 'TIME', 93, 'TIMESTAMP') "
               "  AS VARCHAR(31)) AS TYPE_NAME, "
               "CAST(CASE WHEN DT IN (2, 3) THEN COALESCE(NULLIF(FPREC, 0), DECODE(FTYPE, 7, 4, 8, 9, 18)) "
               "  WHEN DT IN (1, 12) THEN COALESCE(CLEN, FLEN) WHEN DT IN (-2, -3) THEN FLEN "
               "  WHEN DT IN (-1, -4) THEN 2147483647 "
               "  ELSE DECODE(DT, -7, 1, -5, 19, 4, 10, 5, 5, 7, 7, 8, 15, 91, 10, 92, 8, 93, 24) END AS INTEGER) AS "
               "COLUMN_SIZE, "
               "CAST(CASE WHEN DT IN (-1, -4) THEN 2147483647 WHEN DT IN (2, 3) THEN COALESCE(NULLIF(FPREC, 0), 18) + "
               "2 "
               "  WHEN DT IN (91, 92) THEN 6 WHEN DT = 93 THEN 16 ELSE FLEN END AS INTEGER) AS BUFFER_LENGTH, "
               "CAST(CASE WHEN DT IN (2, 3) THEN FSCALE WHEN DT IN (-5, 4, 5) THEN 0 WHEN DT = 93 THEN 4 END AS "
               "SMALLINT) AS DECIMAL_DIGITS, "
               "CAST(CASE WHEN DT IN (-5, 2, 3, 4, 5) THEN 10 WHEN DT IN (7, 8) THEN 2 END AS SMALLINT) AS "
               "NUM_PREC_RADIX, "
               "CAST(IIF(COALESCE(NOTNULL, DOMAIN_NOTNULL, 0) = 1, 0, 1) AS SMALLINT) AS NULLABLE, "
               "REMARKS, CAST(TRIM(LEADING FROM SUBSTRING(DEF FROM 8)) AS VARCHAR(255)) AS COLUMN_DEF, "
               "CAST(IIF(DT > 90, 9, DT) AS SMALLINT) AS SQL_DATA_TYPE, "
               "CAST(IIF(DT > 90, DT - 90, NULL) AS SMALLINT) AS SQL_DATETIME_SUB, "
               "CAST(CASE WHEN DT IN (1, 12, -2, -3) THEN FLEN WHEN DT IN (-1, -4) THEN 2147483647 END AS INTEGER) AS "
               "CHAR_OCTET_LENGTH, "
               "CAST(POS + 1 AS INTEGER) AS ORDINAL_POSITION, "
               "CAST(IIF(COALESCE(NOTNULL, DOMAIN_NOTNULL, 0) = 1, 'NO', 'YES') AS VARCHAR(3)) AS IS_NULLABLE FROM (") +
           columns_inner + like("TRIM(RF.RDB$RELATION_NAME)", table) + like("TRIM(RF.RDB$FIELD_NAME)", column) +
           ") ORDER BY 3, 17";
}

std::string_view argument(SQLCHAR *text, SQLSMALLINT length) { return input_text(text, length); }

} // namespace

} // namespace kvfb

using namespace kvfb;

extern "C" {

KVFB_API SQLRETURN SQL_API SQLTables(SQLHSTMT handle, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *table,
                                     SQLSMALLINT table_length, SQLCHAR *types, SQLSMALLINT types_length)
{
    KVFB_SERIALISE;
    Statement *stmt = statement(handle);
    if (!stmt) return SQL_INVALID_HANDLE;
    SetupErrorHeader(stmt->error_header, 0);
    KVFB_TRACE("SQLTables(%p, %S)", handle, table, SQLINTEGER(table_length));
    std::string sql = tables_query(argument(table, table_length), argument(types, types_length));
    return KVFB_LEAVE(stmt->error_header, "SQLTables", run_internal_query(*stmt, sql));
}

KVFB_API SQLRETURN SQL_API SQLColumns(SQLHSTMT handle, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *table,
                                      SQLSMALLINT table_length, SQLCHAR *column, SQLSMALLINT column_length)
{
    KVFB_SERIALISE;
    Statement *stmt = statement(handle);
    if (!stmt) return SQL_INVALID_HANDLE;
    SetupErrorHeader(stmt->error_header, 0);
    KVFB_TRACE("SQLColumns(%p, %S, %S)", handle, table, SQLINTEGER(table_length), column, SQLINTEGER(column_length));
    std::string sql = columns_query(argument(table, table_length), argument(column, column_length));
    return KVFB_LEAVE(stmt->error_header, "SQLColumns", run_internal_query(*stmt, sql));
}

} // extern "C"
