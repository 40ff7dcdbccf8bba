/*
** Statements: prepare and execute through DSQL, parameters (bound, or sent
** at execution with SQLPutData), the result's description, fetching into
** the row's Values and from there into bound columns or SQLGetData's
** buffers, cursor names, statement attributes and the query time-out
** (a watchdog cancels the request; check_timeout reports it).
*/
#include "entry.h"

#include <algorithm>
#include <cstring>

namespace kvfb {

namespace {

int dynamic_function_code(fbapi::Statement::Type type)
{
    switch (type) {
    case fbapi::Statement::select:
    case fbapi::Statement::select_for_update: return SQL_DIAG_SELECT_CURSOR;
    case fbapi::Statement::insert: return SQL_DIAG_INSERT;
    case fbapi::Statement::update: return SQL_DIAG_UPDATE_WHERE;
    case fbapi::Statement::erase: return SQL_DIAG_DELETE_WHERE;
    case fbapi::Statement::procedure: return SQL_DIAG_CALL;
    default: return SQL_DIAG_UNKNOWN_STATEMENT;
    }
}

// Bytes a column's Value needs for its data (text and binary columns).
uint32_t value_area(const fbapi::Field &f)
{
    bool text = f.kind == fbapi::Kind::text || f.kind == fbapi::Kind::varying;
    return text ? uint32_t(f.length) + 1 : 0;
}

MemHandle *renew(MemHandle *parent, MemHandle *&child)
{
    kv_mem_release_handle(child);
    child = kv_mem_alloc_handle(parent);
    return child;
}

SQLRETURN make_row(Statement &stmt)
{
    if (!renew(stmt.mem, stmt.prepared_mem) || !renew(stmt.mem, stmt.row_mem))
        return post(stmt.error_header, "HY001", "Memory allocation error");
    stmt.row.clear();
    for (const fbapi::Field &f : stmt.fb.columns()) {
        Value *value = NewValue(stmt.prepared_mem, value_area(f));
        if (!value) return post(stmt.error_header, "HY001", "Memory allocation error");
        value->indicator = -1;
        stmt.row.push_back(value);
    }
    return SQL_SUCCESS;
}

// A request that failed: a cancel by the watchdog or SQLCancel is reported
// by check_timeout (HYT00 or HY008), anything else as Firebird said it.
SQLRETURN request_failed(Statement &stmt, const fbapi::Error &error)
{
    stmt.conn->watchdog.disarm();
    if (error.cancelled() && check_timeout(&stmt) != 0) return SQL_ERROR;
    return post_firebird(stmt, error);
}

void arm_timeout(Statement &stmt)
{
    stmt.statement_time = time(nullptr);
    stmt.deadline = stmt.query_timeout ? stmt.statement_time + time_t(stmt.query_timeout) : 0;
    if (stmt.deadline) stmt.conn->watchdog.arm(stmt.deadline);
}

SQLRETURN run_statement(Statement &stmt)
{
    if (!ensure_transaction(stmt)) return SQL_ERROR;
    for (size_t i = 0; i < stmt.fb.parameters().size(); ++i)
        if (SQLRETURN rc = bind_parameter_value(stmt, i); rc != SQL_SUCCESS) return rc;
    stmt.state = 2;
    arm_timeout(stmt);
    fbapi::Error error;
    if (!stmt.fb.execute(error)) {
        SQLRETURN rc = request_failed(stmt, error);
        stmt.state = 1;
        return rc;
    }
    stmt.conn->watchdog.disarm();
    stmt.executed = true;
    stmt.has_row = false;
    stmt.rows_fetched = 0;
    stmt.row_count = stmt.fb.affected_rows();
    SetErrorCount(stmt.error_header, static_cast<int>(std::min<SQLLEN>(stmt.row_count, INT32_MAX)));
    if (!stmt.fb.columns().empty()) {
        stmt.state = 3;
        // The server learns the cursor's name, so WHERE CURRENT OF finds it.
        if (stmt.cursor_name[0] && stmt.fb.has_cursor() && !stmt.fb.name_cursor(stmt.cursor_name, error))
            return post_firebird(stmt, error);
        return SQL_SUCCESS;
    }
    stmt.state = 1;
    if (!autocommit_done(stmt)) return SQL_ERROR;
    bool searched = stmt.fb.type() == fbapi::Statement::update || stmt.fb.type() == fbapi::Statement::erase;
    return searched && stmt.row_count == 0 ? SQL_NO_DATA : SQL_SUCCESS;
}

// Decides which parameters come at execution; the first is awaited.
bool awaits_data(Statement &stmt)
{
    stmt.need_data = 0;
    for (size_t i = 0; i < stmt.fb.parameters().size() && i < stmt.params.size(); ++i) {
        Parameter &p = stmt.params[i];
        p.at_exec =
            p.bound && p.indicator && (*p.indicator == SQL_DATA_AT_EXEC || *p.indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET);
        p.put_data.clear();
        p.put_null = false;
        if (p.at_exec && !stmt.need_data) stmt.need_data = i + 1;
    }
    stmt.need_data_started = false;
    return stmt.need_data != 0;
}

} // namespace

SQLRETURN prepare_statement(Statement &stmt, std::string_view text)
{
    close_cursor(stmt);
    stmt.prepared = stmt.executed = false;
    std::string sql;
    if (!translate_escapes(stmt, text, sql)) return SQL_ERROR;
    if (!ensure_transaction(stmt)) return SQL_ERROR;
    fbapi::Error error;
    if (!stmt.fb.prepare(sql, stmt.conn->attach.dialect, error)) return post_firebird(stmt, error);
    stmt.error_header->dynamic_function_code = dynamic_function_code(stmt.fb.type());
    if (SQLRETURN rc = make_row(stmt); rc != SQL_SUCCESS) return rc;
    if (stmt.params.size() < stmt.fb.parameters().size()) stmt.params.resize(stmt.fb.parameters().size());
    stmt.prepared = true;
    stmt.state = 1;
    return SQL_SUCCESS;
}

SQLRETURN execute_statement(Statement &stmt)
{
    if (!stmt.prepared) return post(stmt.error_header, "HY010", "Function sequence error: no statement prepared");
    close_cursor(stmt);
    if (stmt.params.size() < stmt.fb.parameters().size())
        return post(stmt.error_header, "07002", "COUNT field incorrect: a parameter is not bound");
    if (awaits_data(stmt)) return SQL_NEED_DATA;
    return run_statement(stmt);
}

SQLRETURN run_internal_query(Statement &stmt, const std::string &sql)
{
    close_cursor(stmt);
    stmt.prepared = false;
    if (!ensure_transaction(stmt)) return SQL_ERROR;
    fbapi::Error error;
    if (!stmt.fb.prepare(sql, stmt.conn->attach.dialect, error)) return post_firebird(stmt, error);
    if (SQLRETURN rc = make_row(stmt); rc != SQL_SUCCESS) return rc;
    stmt.prepared = true;
    return run_statement(stmt);
}

SQLRETURN close_cursor(Statement &stmt)
{
    stmt.has_row = false;
    stmt.piece = {};
    if (stmt.state != 3) return SQL_SUCCESS;
    // A result ends: a cursor, or the one row of a procedure or RETURNING.
    stmt.state = stmt.prepared ? 1 : 0;
    fbapi::Error error;
    if (!stmt.fb.close_cursor(error)) return post_firebird(stmt, error);
    return autocommit_done(stmt) ? SQL_SUCCESS : SQL_ERROR;
}

namespace {

SQLRETURN fetch_row(Statement &stmt)
{
    if (stmt.state != 3) return post(stmt.error_header, "24000", "Invalid cursor state");
    if (stmt.max_rows && stmt.rows_fetched >= stmt.max_rows) return SQL_NO_DATA;
    if (stmt.query_timeout) arm_timeout(stmt);
    fbapi::Error error;
    int got = stmt.fb.fetch(error);
    if (stmt.deadline) stmt.conn->watchdog.disarm();
    if (got < 0) return request_failed(stmt, error);
    if (got == 100) {
        stmt.has_row = false;
        return SQL_NO_DATA;
    }
    if (stmt.row_mem_used) {
        renew(stmt.mem, stmt.row_mem);
        stmt.row_mem_used = false;
    }
    std::vector<fbapi::Field> &columns = stmt.fb.columns();
    for (size_t i = 0; i < columns.size(); ++i)
        column_to_value(columns[i], stmt.row[i]);
    stmt.has_row = true;
    stmt.piece = {};
    ++stmt.rows_fetched;
    SQLRETURN result = SQL_SUCCESS;
    for (size_t i = 0; i < stmt.bindings.size() && i < columns.size(); ++i) {
        const Binding &b = stmt.bindings[i];
        if (!b.target && !b.indicator) continue;
        SQLRETURN rc =
            deliver(stmt, SQLUSMALLINT(i + 1), stmt.row[i], b.c_type, b.target, b.buffer_length, b.indicator, nullptr);
        if (rc == SQL_ERROR) return rc;
        if (rc == SQL_SUCCESS_WITH_INFO) result = rc;
    }
    return result;
}

SQLRETURN describe_column(Statement &stmt, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT name_max,
                          SQLSMALLINT *name_length, SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits,
                          SQLSMALLINT *nullable)
{
    if (!stmt.prepared) return post(stmt.error_header, "HY010", "Function sequence error");
    if (column < 1 || column > stmt.fb.columns().size())
        return post(stmt.error_header, "07009", "Invalid descriptor index");
    const fbapi::Field &f = stmt.fb.columns()[column - 1];
    SQLRETURN rc = SQL_SUCCESS;
    if (copy_str_buffer(reinterpret_cast<char *>(name), name_max, name_length, f.alias.c_str()) == 1 && name) {
        warn(stmt.error_header, "01004", "String data, right truncated");
    }
    if (type) *type = sql_type_of(f);
    if (size) *size = column_size_of(f);
    if (digits) *digits = decimal_digits_of(f);
    if (nullable) *nullable = f.nullable ? SQL_NULLABLE : SQL_NO_NULLS;
    return rc;
}

SQLRETURN column_attribute(Statement &stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                           SQLSMALLINT text_max, SQLSMALLINT *text_length, SQLLEN *number)
{
    if (!stmt.prepared) return post(stmt.error_header, "HY010", "Function sequence error");
    if (field == SQL_DESC_COUNT) {
        if (number) *number = SQLLEN(stmt.fb.columns().size());
        return SQL_SUCCESS;
    }
    if (column < 1 || column > stmt.fb.columns().size())
        return post(stmt.error_header, "07009", "Invalid descriptor index");
    const fbapi::Field &f = stmt.fb.columns()[column - 1];
    const char *string = nullptr;
    SQLLEN n = 0;
    SQLSMALLINT type = sql_type_of(f);
    switch (field) {
    case SQL_DESC_LABEL:
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME: string = f.alias.c_str(); break;
    case SQL_DESC_BASE_COLUMN_NAME: string = f.name.c_str(); break;
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME: string = f.relation.c_str(); break;
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME: string = ""; break;
    case SQL_DESC_TYPE_NAME: string = type_name_of(f); break;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
        string = (type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR) ? "'" : "";
        break;
    case SQL_DESC_LOCAL_TYPE_NAME: string = type_name_of(f); break;
    case SQL_DESC_TYPE: n = type >= SQL_TYPE_DATE && type <= SQL_TYPE_TIMESTAMP ? SQL_DATETIME : type; break;
    case SQL_DESC_CONCISE_TYPE: n = type; break;
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_PRECISION:
    case SQL_COLUMN_LENGTH: n = SQLLEN(column_size_of(f)); break;
    case SQL_DESC_OCTET_LENGTH: n = f.kind == fbapi::Kind::blob ? 2147483647 : f.length; break;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE: n = decimal_digits_of(f); break;
    case SQL_DESC_DISPLAY_SIZE: n = display_size_of(f); break;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE: n = f.nullable ? SQL_NULLABLE : SQL_NO_NULLS; break;
    case SQL_DESC_UNSIGNED:
        n = (type == SQL_SMALLINT || type == SQL_INTEGER || type == SQL_BIGINT || type == SQL_NUMERIC ||
             type == SQL_DECIMAL || type == SQL_REAL || type == SQL_DOUBLE)
                ? SQL_FALSE
                : SQL_TRUE;
        break;
    case SQL_DESC_FIXED_PREC_SCALE: n = (type == SQL_NUMERIC || type == SQL_DECIMAL) ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: n = SQL_FALSE; break;
    case SQL_DESC_CASE_SENSITIVE:
        n = (type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR) ? SQL_TRUE : SQL_FALSE;
        break;
    case SQL_DESC_SEARCHABLE: n = f.kind == fbapi::Kind::blob ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE; break;
    case SQL_DESC_UPDATABLE: n = SQL_ATTR_READWRITE_UNKNOWN; break;
    case SQL_DESC_NUM_PREC_RADIX:
        n = (type == SQL_REAL || type == SQL_DOUBLE) ? 2
            : (type == SQL_NUMERIC || type == SQL_DECIMAL || type == SQL_SMALLINT || type == SQL_INTEGER ||
               type == SQL_BIGINT)
                ? 10
                : 0;
        break;
    case SQL_DESC_UNNAMED: n = f.alias.empty() ? SQL_UNNAMED : SQL_NAMED; break;
    default: return post(stmt.error_header, "HY091", "Invalid descriptor field identifier");
    }
    if (string) {
        if (copy_str_buffer(static_cast<char *>(text), text_max, text_length, string) == 1 && text)
            warn(stmt.error_header, "01004", "String data, right truncated");
    } else if (number) {
        *number = n;
    }
    return SQL_SUCCESS;
}

SQLRETURN set_statement_attribute(Statement &stmt, SQLINTEGER attribute, SQLPOINTER value)
{
    auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
    case SQL_ATTR_QUERY_TIMEOUT: stmt.query_timeout = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: stmt.max_rows = number; return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: stmt.rows_fetched_ptr = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: stmt.row_status_ptr = static_cast<SQLUSMALLINT *>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
        if (number == 1) return SQL_SUCCESS;
        warn(stmt.error_header, "01S02", "Option value changed: one row at a time");
        return SQL_SUCCESS_WITH_INFO;
    case SQL_ATTR_CURSOR_TYPE:
        if (number == SQL_CURSOR_FORWARD_ONLY) return SQL_SUCCESS;
        warn(stmt.error_header, "01S02", "Option value changed: forward-only cursor");
        return SQL_SUCCESS_WITH_INFO;
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_CURSOR_SCROLLABLE:
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_PARAMSET_SIZE:
    case SQL_ATTR_PARAM_BIND_TYPE:
    case SQL_ATTR_ROW_BIND_TYPE:
    case SQL_ATTR_USE_BOOKMARKS: return SQL_SUCCESS;
    default: return post(stmt.error_header, "HY092", "Invalid attribute/option identifier");
    }
}

SQLRETURN get_statement_attribute(Statement &stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER *length)
{
    SQLULEN n = 0;
    switch (attribute) {
    case SQL_ATTR_QUERY_TIMEOUT: n = stmt.query_timeout; break;
    case SQL_ATTR_MAX_ROWS: n = stmt.max_rows; break;
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_ATTR_PARAMSET_SIZE: n = 1; break;
    case SQL_ATTR_CURSOR_TYPE: n = SQL_CURSOR_FORWARD_ONLY; break;
    case SQL_ATTR_CONCURRENCY: n = SQL_CONCUR_READ_ONLY; break;
    case SQL_ATTR_CURSOR_SCROLLABLE: n = SQL_NONSCROLLABLE; break;
    case SQL_ATTR_CURSOR_SENSITIVITY: n = SQL_UNSPECIFIED; break;
    case SQL_ATTR_ROW_NUMBER: n = stmt.has_row ? stmt.rows_fetched : 0; break;
    case SQL_ATTR_USE_BOOKMARKS: n = SQL_UB_OFF; break;
    case SQL_ATTR_NOSCAN: n = SQL_NOSCAN_OFF; break;
    case SQL_ATTR_MAX_LENGTH: n = 0; break;
    case SQL_ATTR_RETRIEVE_DATA: n = SQL_RD_ON; break;
    case SQL_ATTR_ASYNC_ENABLE: n = SQL_ASYNC_ENABLE_OFF; break;
    case SQL_ATTR_ROWS_FETCHED_PTR: n = reinterpret_cast<SQLULEN>(stmt.rows_fetched_ptr); break;
    case SQL_ATTR_ROW_STATUS_PTR: n = reinterpret_cast<SQLULEN>(stmt.row_status_ptr); break;
    default: return post(stmt.error_header, "HY092", "Invalid attribute/option identifier");
    }
    if (value) std::memcpy(value, &n, sizeof n);
    if (length) *length = sizeof n;
    return SQL_SUCCESS;
}

SQLRETURN param_data(Statement &stmt, SQLPOINTER *token)
{
    if (!stmt.need_data) return post(stmt.error_header, "HY010", "Function sequence error");
    if (!stmt.need_data_started) {
        stmt.need_data_started = true;
        if (token) *token = stmt.params[stmt.need_data - 1].value;
        return SQL_NEED_DATA;
    }
    for (size_t i = stmt.need_data; i < stmt.fb.parameters().size(); ++i)
        if (stmt.params[i].at_exec) {
            stmt.need_data = i + 1;
            if (token) *token = stmt.params[i].value;
            return SQL_NEED_DATA;
        }
    stmt.need_data = 0;
    return run_statement(stmt);
}

SQLRETURN put_data(Statement &stmt, SQLPOINTER data, SQLLEN length)
{
    if (!stmt.need_data || !stmt.need_data_started) return post(stmt.error_header, "HY010", "Function sequence error");
    Parameter &p = stmt.params[stmt.need_data - 1];
    if (length == SQL_NULL_DATA) {
        p.put_null = true;
        return SQL_SUCCESS;
    }
    if (length == SQL_NTS) length = data ? SQLLEN(std::strlen(static_cast<const char *>(data))) : 0;
    if (length < 0 || (!data && length > 0)) return post(stmt.error_header, "HY090", "Invalid string or buffer length");
    p.put_data.append(static_cast<const char *>(data), size_t(length));
    return SQL_SUCCESS;
}

SQLRETURN bind_parameter(Statement &stmt, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                         SQLULEN size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_length, SQLLEN *indicator)
{
    if (number < 1) return post(stmt.error_header, "07009", "Invalid descriptor index");
    if (io != SQL_PARAM_INPUT)
        return post(stmt.error_header, "HYC00", "Optional feature not implemented: output parameters");
    if (stmt.params.size() < number) stmt.params.resize(number);
    Parameter &p = stmt.params[number - 1];
    p = Parameter{};
    p.bound = true;
    p.c_type = c_type;
    p.sql_type = sql_type;
    p.column_size = size;
    p.digits = digits;
    p.value = value;
    p.buffer_length = buffer_length;
    p.indicator = indicator;
    return SQL_SUCCESS;
}

SQLRETURN set_cursor_name(Statement &stmt, std::string_view name)
{
    if (name.empty() || name.size() >= KV_CURSOR_NAME_SIZE)
        return post(stmt.error_header, "34000", "Invalid cursor name");
    std::string text(name);
    DriverStatement *holder = get_stmt_by_cursor(&stmt, text.c_str());
    if (holder && holder != &stmt) return post(stmt.error_header, "3C000", "Duplicate cursor name");
    if (insert_cursor_name(&stmt, text.c_str()) != 0)
        return post(stmt.error_header, "HY001", "Memory allocation error");
    return SQL_SUCCESS;
}

} // namespace

} // namespace kvfb

using namespace kvfb;

#define STATEMENT_CALL(name, handle, trace_format, ...)                                                                \
    Statement *stmt = statement(handle);                                                                               \
    if (!stmt) return SQL_INVALID_HANDLE;                                                                              \
    SetupErrorHeader(stmt->error_header, stmt->error_header->dynamic_function_code);                                   \
    KVFB_TRACE(name trace_format, handle __VA_OPT__(, ) __VA_ARGS__)

extern "C" {

KVFB_API SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR *text, SQLINTEGER length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLPrepare", handle, "(%p, %S)", text, length);
    return KVFB_LEAVE(stmt->error_header, "SQLPrepare", prepare_statement(*stmt, input_text(text, length)));
}

KVFB_API SQLRETURN SQL_API SQLExecute(SQLHSTMT handle)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLExecute", handle, "(%p)");
    return KVFB_LEAVE(stmt->error_header, "SQLExecute", execute_statement(*stmt));
}

KVFB_API SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR *text, SQLINTEGER length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLExecDirect", handle, "(%p, %S)", text, length);
    SQLRETURN rc = prepare_statement(*stmt, input_text(text, length));
    if (rc == SQL_SUCCESS) rc = execute_statement(*stmt);
    return KVFB_LEAVE(stmt->error_header, "SQLExecDirect", rc);
}

KVFB_API SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT *count)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLNumResultCols", handle, "(%p)");
    if (!stmt->prepared)
        return KVFB_LEAVE(stmt->error_header, "SQLNumResultCols",
                          post(stmt->error_header, "HY010", "Function sequence error"));
    if (count) *count = static_cast<SQLSMALLINT>(stmt->fb.columns().size());
    return KVFB_LEAVE(stmt->error_header, "SQLNumResultCols", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT name_max,
                                          SQLSMALLINT *name_length, SQLSMALLINT *type, SQLULEN *size,
                                          SQLSMALLINT *digits, SQLSMALLINT *nullable)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLDescribeCol", handle, "(%p, %u)", int(column));
    return KVFB_LEAVE(stmt->error_header, "SQLDescribeCol",
                      describe_column(*stmt, column, name, name_max, name_length, type, size, digits, nullable));
}

KVFB_API SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                           SQLSMALLINT text_max, SQLSMALLINT *text_length, SQLLEN *number)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLColAttribute", handle, "(%p, %u, %u)", int(column), int(field));
    return KVFB_LEAVE(stmt->error_header, "SQLColAttribute",
                      column_attribute(*stmt, column, field, text, text_max, text_length, number));
}

KVFB_API SQLRETURN SQL_API SQLBindCol(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                                      SQLLEN buffer_length, SQLLEN *indicator)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLBindCol", handle, "(%p, %u, %i)", int(column), c_type);
    if (column < 1)
        return KVFB_LEAVE(stmt->error_header, "SQLBindCol",
                          post(stmt->error_header, "07009", "Invalid descriptor index: bookmarks are not supported"));
    if (stmt->bindings.size() < column) stmt->bindings.resize(column);
    stmt->bindings[column - 1] = Binding{c_type, target, buffer_length, indicator};
    return KVFB_LEAVE(stmt->error_header, "SQLBindCol", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLFetch(SQLHSTMT handle)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLFetch", handle, "(%p)");
    SQLRETURN rc = fetch_row(*stmt);
    if (stmt->rows_fetched_ptr) *stmt->rows_fetched_ptr = SQL_SUCCEEDED(rc) ? 1 : 0;
    if (stmt->row_status_ptr && rc != SQL_NO_DATA)
        *stmt->row_status_ptr = rc == SQL_ERROR     ? SQL_ROW_ERROR
                                : rc == SQL_SUCCESS ? SQL_ROW_SUCCESS
                                                    : SQL_ROW_SUCCESS_WITH_INFO;
    return KVFB_LEAVE(stmt->error_header, "SQLFetch", rc);
}

KVFB_API SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT handle, SQLSMALLINT orientation, SQLLEN)
{
    KVFB_SERIALISE;
    if (orientation != SQL_FETCH_NEXT) {
        STATEMENT_CALL("SQLFetchScroll", handle, "(%p, %i)", orientation);
        return KVFB_LEAVE(stmt->error_header, "SQLFetchScroll",
                          post(stmt->error_header, "HY106", "Fetch type out of range: the cursor is forward-only"));
    }
    return SQLFetch(handle);
}

KVFB_API SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                                      SQLLEN buffer_length, SQLLEN *indicator)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLGetData", handle, "(%p, %u, %i)", int(column), c_type);
    if (!stmt->has_row)
        return KVFB_LEAVE(stmt->error_header, "SQLGetData", post(stmt->error_header, "24000", "Invalid cursor state"));
    if (column < 1 || column > stmt->row.size())
        return KVFB_LEAVE(stmt->error_header, "SQLGetData",
                          post(stmt->error_header, "07009", "Invalid descriptor index"));
    if (stmt->piece.column != column) {
        stmt->piece = {};
        stmt->piece.column = column;
    }
    return KVFB_LEAVE(
        stmt->error_header, "SQLGetData",
        deliver(*stmt, column, stmt->row[column - 1], c_type, target, buffer_length, indicator, &stmt->piece));
}

KVFB_API SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN *count)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLRowCount", handle, "(%p)");
    if (count) *count = stmt->row_count;
    return KVFB_LEAVE(stmt->error_header, "SQLRowCount", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLMoreResults", handle, "(%p)");
    close_cursor(*stmt);
    return KVFB_LEAVE(stmt->error_header, "SQLMoreResults", SQL_NO_DATA);
}

KVFB_API SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT handle)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLCloseCursor", handle, "(%p)");
    if (stmt->state != 3)
        return KVFB_LEAVE(stmt->error_header, "SQLCloseCursor",
                          post(stmt->error_header, "24000", "Invalid cursor state"));
    return KVFB_LEAVE(stmt->error_header, "SQLCloseCursor", close_cursor(*stmt));
}

KVFB_API SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option)
{
    KVFB_SERIALISE;
    if (option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, handle);
    STATEMENT_CALL("SQLFreeStmt", handle, "(%p, %u)", int(option));
    SQLRETURN rc = SQL_SUCCESS;
    switch (option) {
    case SQL_CLOSE: rc = close_cursor(*stmt); break;
    case SQL_UNBIND: stmt->bindings.clear(); break;
    case SQL_RESET_PARAMS: stmt->params.clear(); break;
    default: rc = post(stmt->error_header, "HY092", "Invalid attribute/option identifier");
    }
    return KVFB_LEAVE(stmt->error_header, "SQLFreeStmt", rc);
}

KVFB_API SQLRETURN SQL_API SQLCancel(SQLHSTMT handle)
{
    // Called from another thread while the statement runs: no diagnostics
    // are touched here; the running call reports HY008 through check_timeout.
    Statement *stmt = statement(handle);
    if (!stmt) return SQL_INVALID_HANDLE;
    KVFB_TRACE("SQLCancel(%p)", handle);
    if (stmt->need_data) {
        stmt->need_data = 0;
        return SQL_SUCCESS;
    }
    if (stmt->state == 2 || stmt->state == 3) {
        stmt->cancel_requested = 1;
        stmt->conn->db.cancel();
    }
    return SQL_SUCCESS;
}

KVFB_API SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLSetStmtAttr", handle, "(%p, %I)", attribute);
    return KVFB_LEAVE(stmt->error_header, "SQLSetStmtAttr", set_statement_attribute(*stmt, attribute, value));
}

KVFB_API SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                          SQLINTEGER *length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLGetStmtAttr", handle, "(%p, %I)", attribute);
    return KVFB_LEAVE(stmt->error_header, "SQLGetStmtAttr", get_statement_attribute(*stmt, attribute, value, length));
}

KVFB_API SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT handle, SQLCHAR *name, SQLSMALLINT length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLSetCursorName", handle, "(%p, %S)", name, SQLINTEGER(length));
    return KVFB_LEAVE(stmt->error_header, "SQLSetCursorName", set_cursor_name(*stmt, input_text(name, length)));
}

KVFB_API SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT handle, SQLCHAR *name, SQLSMALLINT max, SQLSMALLINT *length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLGetCursorName", handle, "(%p)");
    if (!stmt->cursor_name[0] && generate_cursor_name(stmt) != 0)
        return KVFB_LEAVE(stmt->error_header, "SQLGetCursorName",
                          post(stmt->error_header, "HY001", "Memory allocation error"));
    if (copy_str_buffer(reinterpret_cast<char *>(name), max, length, get_cursor_name(stmt)) == 1 && name)
        warn(stmt->error_header, "01004", "String data, right truncated");
    return KVFB_LEAVE(stmt->error_header, "SQLGetCursorName", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT c_type,
                                            SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                                            SQLLEN buffer_length, SQLLEN *indicator)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLBindParameter", handle, "(%p, %u, %i, %i)", int(number), c_type, sql_type);
    return KVFB_LEAVE(
        stmt->error_header, "SQLBindParameter",
        bind_parameter(*stmt, number, io, c_type, sql_type, size, digits, value, buffer_length, indicator));
}

KVFB_API SQLRETURN SQL_API SQLNumParams(SQLHSTMT handle, SQLSMALLINT *count)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLNumParams", handle, "(%p)");
    if (!stmt->prepared)
        return KVFB_LEAVE(stmt->error_header, "SQLNumParams",
                          post(stmt->error_header, "HY010", "Function sequence error"));
    if (count) *count = static_cast<SQLSMALLINT>(stmt->fb.parameters().size());
    return KVFB_LEAVE(stmt->error_header, "SQLNumParams", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT *type, SQLULEN *size,
                                            SQLSMALLINT *digits, SQLSMALLINT *nullable)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLDescribeParam", handle, "(%p, %u)", int(number));
    if (!stmt->prepared)
        return KVFB_LEAVE(stmt->error_header, "SQLDescribeParam",
                          post(stmt->error_header, "HY010", "Function sequence error"));
    if (number < 1 || number > stmt->fb.parameters().size())
        return KVFB_LEAVE(stmt->error_header, "SQLDescribeParam",
                          post(stmt->error_header, "07009", "Invalid descriptor index"));
    const fbapi::Field &f = stmt->fb.parameters()[number - 1];
    if (type) *type = sql_type_of(f);
    if (size) *size = column_size_of(f);
    if (digits) *digits = decimal_digits_of(f);
    if (nullable) *nullable = SQL_NULLABLE;
    return KVFB_LEAVE(stmt->error_header, "SQLDescribeParam", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLParamData(SQLHSTMT handle, SQLPOINTER *token)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLParamData", handle, "(%p)");
    return KVFB_LEAVE(stmt->error_header, "SQLParamData", param_data(*stmt, token));
}

KVFB_API SQLRETURN SQL_API SQLPutData(SQLHSTMT handle, SQLPOINTER data, SQLLEN length)
{
    KVFB_SERIALISE;
    STATEMENT_CALL("SQLPutData", handle, "(%p, %l)", length);
    return KVFB_LEAVE(stmt->error_header, "SQLPutData", put_data(*stmt, data, length));
}

} // extern "C"
