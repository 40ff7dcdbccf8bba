/*
** Handles, their attributes and their diagnostics: SQLAllocHandle and
** SQLFreeHandle build and release the tree of MemHandles (environment >
** connection > statement), each with its ErrorHeader; the diagnostic calls
** read the library's records; the helpers here post errors and trace calls.
*/
#include "entry.h"

#include <cstring>

namespace kvfb {

SQLRETURN finish(ErrorHeader *header, SQLRETURN rc)
{
    if (header) {
        if (rc == SQL_SUCCESS && header->record_count > 0) rc = SQL_SUCCESS_WITH_INFO;
        SetReturnCode(header, rc);
    }
    return rc;
}

SQLRETURN traced_exit(SQLRETURN rc, const char *file, int line, const char *format)
{
    log_message(file, line, trace_calls, format, rc);
    return rc;
}

SQLRETURN post(ErrorHeader *header, const char *sqlstate, std::string_view message)
{
    PostError(header, 2, 0, vendor, 0, 0, "ODBC 3.0", sqlstate, "%.*s", int(message.size()), message.data());
    return SQL_ERROR;
}

void warn(ErrorHeader *header, const char *sqlstate, std::string_view message)
{
    PostError(header, 2, 0, vendor, 0, 0, "ODBC 3.0", sqlstate, "%.*s", int(message.size()), message.data());
}

SQLRETURN post_firebird(Statement &stmt, const fbapi::Error &error)
{
    PostDalError(static_cast<DriverStatement *>(&stmt), vendor, error.sqlcode, error.sqlstate(), error.message.c_str());
    return SQL_ERROR;
}

SQLRETURN post_firebird(Connection &conn, const fbapi::Error &error)
{
    PostDalError(static_cast<DriverConnection *>(&conn), vendor, error.sqlcode, error.sqlstate(),
                 error.message.c_str());
    return SQL_ERROR;
}

Connection::~Connection()
{
    if (profile) close_registry(profile);
}

Statement::~Statement()
{
    if (cursor_name[0]) remove_cursor_name(this, cursor_name);
    if (conn) std::erase(conn->statements, this);
}

} // namespace kvfb

using namespace kvfb;

namespace {

SQLRETURN alloc_environment(SQLHANDLE *out)
{
    Environment *env = make_record<Environment>(nullptr);
    if (!env) return SQL_ERROR;
    env->kind = KV_KIND_ENVIRONMENT;
    env->odbc_version = SQL_OV_ODBC3;
    env->error_header = CreateErrorHeader(env->mem, env);
    *out = env;
    return SQL_SUCCESS;
}

SQLRETURN alloc_connection(Environment *env, SQLHANDLE *out)
{
    Connection *conn = make_record<Connection>(env->mem);
    if (!conn) return post(env->error_header, "HY001", "Memory allocation error");
    conn->kind = KV_KIND_CONNECTION;
    conn->env = env;
    conn->error_header = CreateErrorHeader(conn->mem, env);
    init_con_str(&conn->attributes);
    *out = static_cast<DriverConnection *>(conn);
    return SQL_SUCCESS;
}

SQLRETURN alloc_statement(Connection *conn, SQLHANDLE *out)
{
    if (!conn->db.attached()) return post(conn->error_header, "08003", "Connection not open");
    Statement *stmt = make_record<Statement>(conn->mem, conn);
    if (!stmt) return post(conn->error_header, "HY001", "Memory allocation error");
    stmt->kind = KV_KIND_STATEMENT;
    stmt->connection = conn;
    stmt->error_header = CreateErrorHeader(stmt->mem, conn->env);
    conn->statements.push_back(stmt);
    *out = static_cast<DriverStatement *>(stmt);
    return SQL_SUCCESS;
}

SQLRETURN free_statement_handle(Statement *stmt)
{
    close_cursor(*stmt);
    kv_mem_release_handle(stmt->mem);
    return SQL_SUCCESS;
}

SQLRETURN free_connection_handle(Connection *conn)
{
    if (conn->db.attached()) return post(conn->error_header, "HY010", "Function sequence error: still connected");
    kv_mem_release_handle(conn->mem);
    return SQL_SUCCESS;
}

SQLRETURN free_environment_handle(Environment *env)
{
    // The connections' handles hang below the environment's.
    if (env->mem->children) return post(env->error_header, "HY010", "Function sequence error: connections remain");
    kv_mem_release_handle(env->mem);
    return SQL_SUCCESS;
}

ErrorHeader *header_of(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV: return environment(handle) ? environment(handle)->error_header : nullptr;
    case SQL_HANDLE_DBC: return connection(handle) ? connection(handle)->error_header : nullptr;
    case SQL_HANDLE_STMT: return statement(handle) ? statement(handle)->error_header : nullptr;
    default: return nullptr;
    }
}

int version_of(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV: return environment(handle)->odbc_version;
    case SQL_HANDLE_DBC: return connection(handle)->env->odbc_version;
    default: return statement(handle)->conn->env->odbc_version;
    }
}

} // namespace

extern "C" {

KVFB_API SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *output)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLAllocHandle(%i, %p, %p)", type, input, static_cast<void *>(output));
    if (!output) return SQL_ERROR;
    *output = SQL_NULL_HANDLE;
    if (type == SQL_HANDLE_ENV) return KVFB_LEAVE(nullptr, "SQLAllocHandle", alloc_environment(output));
    if (type == SQL_HANDLE_DBC) {
        Environment *env = environment(input);
        if (!env) return SQL_INVALID_HANDLE;
        SetupErrorHeader(env->error_header, 0);
        return KVFB_LEAVE(env->error_header, "SQLAllocHandle", alloc_connection(env, output));
    }
    if (type == SQL_HANDLE_STMT) {
        Connection *conn = connection(input);
        if (!conn) return SQL_INVALID_HANDLE;
        SetupErrorHeader(conn->error_header, 0);
        return KVFB_LEAVE(conn->error_header, "SQLAllocHandle", alloc_statement(conn, output));
    }
    return SQL_ERROR;
}

KVFB_API SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLFreeHandle(%i, %p)", type, handle);
    switch (type) {
    case SQL_HANDLE_ENV: {
        Environment *env = environment(handle);
        if (!env) return SQL_INVALID_HANDLE;
        SetupErrorHeader(env->error_header, 0);
        SQLRETURN rc = free_environment_handle(env);
        return KVFB_LEAVE(rc == SQL_SUCCESS ? nullptr : env->error_header, "SQLFreeHandle", rc);
    }
    case SQL_HANDLE_DBC: {
        Connection *conn = connection(handle);
        if (!conn) return SQL_INVALID_HANDLE;
        SetupErrorHeader(conn->error_header, 0);
        SQLRETURN rc = free_connection_handle(conn);
        return rc == SQL_SUCCESS ? KVFB_LEAVE(nullptr, "SQLFreeHandle", rc)
                                 : KVFB_LEAVE(conn->error_header, "SQLFreeHandle", rc);
    }
    case SQL_HANDLE_STMT:
        if (!statement(handle)) return SQL_INVALID_HANDLE;
        return KVFB_LEAVE(nullptr, "SQLFreeHandle", free_statement_handle(statement(handle)));
    default: return SQL_INVALID_HANDLE;
    }
}

KVFB_API SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLSetEnvAttr(%p, %I)", handle, attribute);
    Environment *env = environment(handle);
    if (!env) return SQL_INVALID_HANDLE;
    SetupErrorHeader(env->error_header, 0);
    SQLRETURN rc = SQL_SUCCESS;
    auto number = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
    if (attribute == SQL_ATTR_ODBC_VERSION) {
        if (number == SQL_OV_ODBC2 || number == SQL_OV_ODBC3 || number == SQL_OV_ODBC3_80)
            env->odbc_version = number == SQL_OV_ODBC2 ? 2 : 3;
        else
            rc = post(env->error_header, "HY024", "Invalid attribute value");
        env->error_header->odbc_version = env->odbc_version;
    } else if (attribute != SQL_ATTR_OUTPUT_NTS && attribute != SQL_ATTR_CONNECTION_POOLING &&
               attribute != SQL_ATTR_CP_MATCH) {
        rc = post(env->error_header, "HY092", "Invalid attribute/option identifier");
    }
    return KVFB_LEAVE(env->error_header, "SQLSetEnvAttr", rc);
}

KVFB_API SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                         SQLINTEGER *length)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLGetEnvAttr(%p, %I)", handle, attribute);
    Environment *env = environment(handle);
    if (!env) return SQL_INVALID_HANDLE;
    SetupErrorHeader(env->error_header, 0);
    SQLINTEGER result = 0;
    if (attribute == SQL_ATTR_ODBC_VERSION)
        result = env->odbc_version == 2 ? SQL_OV_ODBC2 : SQL_OV_ODBC3;
    else if (attribute == SQL_ATTR_OUTPUT_NTS)
        result = SQL_TRUE;
    else if (attribute != SQL_ATTR_CONNECTION_POOLING && attribute != SQL_ATTR_CP_MATCH)
        return KVFB_LEAVE(env->error_header, "SQLGetEnvAttr",
                          post(env->error_header, "HY092", "Invalid attribute/option identifier"));
    if (value) std::memcpy(value, &result, sizeof result);
    if (length) *length = sizeof result;
    return KVFB_LEAVE(env->error_header, "SQLGetEnvAttr", SQL_SUCCESS);
}

KVFB_API SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR *sqlstate,
                                         SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT buffer_length,
                                         SQLSMALLINT *text_length)
{
    KVFB_SERIALISE;
    ErrorHeader *header = header_of(type, handle);
    if (!header) return SQL_INVALID_HANDLE;
    if (buffer_length < 0) return SQL_ERROR;
    char state[6] = "";
    int32_t code = 0;
    int16_t length = 0;
    int rc = GetDiagRec(header, record, state, &code, reinterpret_cast<char *>(message), buffer_length, &length);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (sqlstate) std::memcpy(sqlstate, state, 6);
        if (native) *native = code;
        if (text_length) *text_length = length;
    }
    return static_cast<SQLRETURN>(rc);
}

KVFB_API SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                                           SQLPOINTER value, SQLSMALLINT buffer_length, SQLSMALLINT *text_length)
{
    KVFB_SERIALISE;
    ErrorHeader *header = header_of(type, handle);
    if (!header) return SQL_INVALID_HANDLE;
    // Row counts and the cursor row count are SQLLEN wide; the library stores 32 bits.
    if (record == 0 && (field == SQL_DIAG_ROW_COUNT || field == SQL_DIAG_CURSOR_ROW_COUNT)) {
        SQLLEN count = type == SQL_HANDLE_STMT ? statement(handle)->row_count : 0;
        if (value) std::memcpy(value, &count, sizeof count);
        return SQL_SUCCESS;
    }
    int16_t length = 0;
    int rc = GetDiagField(version_of(type, handle), header, record, field, value, buffer_length, &length);
    if (text_length) *text_length = length;
    return static_cast<SQLRETURN>(rc);
}

KVFB_API SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLSetConnectAttr(%p, %I)", handle, attribute);
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    auto number = static_cast<SQLUINTEGER>(reinterpret_cast<uintptr_t>(value));
    SQLRETURN rc = SQL_SUCCESS;
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: {
        bool on = number == SQL_AUTOCOMMIT_ON;
        // Switching autocommit on commits the transaction in progress.
        if (on && !conn->autocommit && conn->db.in_transaction()) {
            fbapi::Error error;
            if (!conn->db.commit(false, error)) rc = post_firebird(*conn, error);
        }
        conn->autocommit = on;
        break;
    }
    case SQL_ATTR_LOGIN_TIMEOUT: conn->login_timeout = number; break;
    case SQL_ATTR_CONNECTION_TIMEOUT: break;
    case SQL_ATTR_ACCESS_MODE: conn->transaction.read_only = number == SQL_MODE_READ_ONLY; break;
    case SQL_ATTR_TXN_ISOLATION:
        conn->transaction.isolation = number == SQL_TXN_SERIALIZABLE ? 3 : number == SQL_TXN_REPEATABLE_READ ? 2 : 1;
        break;
    case SQL_ATTR_CURRENT_CATALOG:
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_PACKET_SIZE: break;
    default: rc = post(conn->error_header, "HYC00", "Optional feature not implemented");
    }
    return KVFB_LEAVE(conn->error_header, "SQLSetConnectAttr", rc);
}

KVFB_API SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                             SQLINTEGER buffer_length, SQLINTEGER *length)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLGetConnectAttr(%p, %I)", handle, attribute);
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    SQLUINTEGER result = 0;
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: result = conn->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF; break;
    case SQL_ATTR_LOGIN_TIMEOUT: result = conn->login_timeout; break;
    case SQL_ATTR_CONNECTION_TIMEOUT: result = 0; break;
    case SQL_ATTR_ACCESS_MODE: result = conn->transaction.read_only ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE; break;
    case SQL_ATTR_TXN_ISOLATION:
        result = conn->transaction.isolation == 3   ? SQL_TXN_SERIALIZABLE
                 : conn->transaction.isolation == 2 ? SQL_TXN_REPEATABLE_READ
                                                    : SQL_TXN_READ_COMMITTED;
        break;
    case SQL_ATTR_CONNECTION_DEAD: result = conn->db.attached() ? SQL_CD_FALSE : SQL_CD_TRUE; break;
    case SQL_ATTR_CURRENT_CATALOG: {
        int rc = copy_str_bufferl(static_cast<char *>(value), buffer_length, length, conn->database_path.c_str());
        if (rc == 1) warn(conn->error_header, "01004", "String data, right truncated");
        return KVFB_LEAVE(conn->error_header, "SQLGetConnectAttr", SQL_SUCCESS);
    }
    default:
        return KVFB_LEAVE(conn->error_header, "SQLGetConnectAttr",
                          post(conn->error_header, "HY092", "Invalid attribute/option identifier"));
    }
    if (value) std::memcpy(value, &result, sizeof result);
    if (length) *length = sizeof result;
    return KVFB_LEAVE(conn->error_header, "SQLGetConnectAttr", SQL_SUCCESS);
}

} // extern "C"
