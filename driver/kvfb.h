/*
** The driver's own records and the helpers its entry points share. Each
** ODBC handle is a C++ record that starts with the library's driver record
** (DriverEnvironment, DriverConnection, DriverStatement as its base) and
** lives in a block of its own MemHandle, whose destructor runs the C++
** destructor; freeing the ODBC handle releases that MemHandle and with it
** everything the library made for the handle.
*/
#ifndef KVFB_KVFB_H
#define KVFB_KVFB_H

#include <kvsupp.h>

#include "fbapi.h"

#include <condition_variable>
#include <new>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kvfb {

// Trace category of the ODBC calls (the library's trace mask bit).
constexpr uint32_t trace_calls = 1;

// Vendor text of the driver's own diagnostics.
constexpr const char *vendor = "Kestrova ODBC Firebird";

// Makes a T on a new MemHandle below `parent`; the block's destructor runs ~T.
template <typename T, typename... Args> T *make_record(MemHandle *parent, Args &&...args)
{
    MemHandle *mem = kv_mem_alloc_handle(parent);
    if (!mem) return nullptr;
    void *block = kv_mem_alloc_ex(mem, sizeof(T), [](void *p) { static_cast<T *>(p)->~T(); });
    if (!block) {
        kv_mem_release_handle(mem);
        return nullptr;
    }
    T *record = new (block) T(static_cast<Args &&>(args)...);
    record->mem = mem;
    return record;
}

struct Environment : DriverEnvironment {
    MemHandle *mem = nullptr;
};

struct Statement;

// Cancels the connection's running request once a deadline passes; one
// thread per connection, started the first time a time-out is armed.
class Watchdog {
public:
    explicit Watchdog(fbapi::Database &db) : db_(db) {}
    ~Watchdog();
    void arm(time_t deadline); // fires when the clock is past `deadline` (whole seconds)
    void disarm();

private:
    void run();
    fbapi::Database &db_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    time_t deadline_ = 0;
    bool stop_ = false;
};

struct Connection : DriverConnection {
    Environment *env = nullptr;
    fbapi::Database db;
    fbapi::AttachOptions attach;
    fbapi::TransactionOptions transaction;
    Watchdog watchdog{db};
    bool autocommit = true;
    SQLUINTEGER login_timeout = 0;
    Registry *profile = nullptr;
    std::string dsn, database_path;
    std::vector<Statement *> statements;
    ~Connection();
};

// A column bound with SQLBindCol.
struct Binding {
    SQLSMALLINT c_type = 0;
    SQLPOINTER target = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN *indicator = nullptr;
};

// A parameter bound with SQLBindParameter, and data sent with SQLPutData.
struct Parameter {
    bool bound = false;
    SQLSMALLINT c_type = 0, sql_type = 0, digits = 0;
    SQLULEN column_size = 0;
    SQLPOINTER value = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN *indicator = nullptr;
    bool at_exec = false; // data comes through SQLPutData
    bool put_null = false;
    std::string put_data; // what SQLPutData sent
};

// SQLGetData's place in the current row's column.
struct PieceState {
    SQLUSMALLINT column = 0; // 0: no column read yet in this row
    bool rendered = false;   // text holds the datum
    bool done = false;
    std::string text; // the rendered datum being handed out
    size_t offset = 0;
    bool long_started = false;
};

struct Statement : DriverStatement {
    MemHandle *mem = nullptr;
    MemHandle *prepared_mem = nullptr; // the row's Values, renewed by each prepare
    MemHandle *row_mem = nullptr;      // long buffers of the current row, renewed when used
    bool row_mem_used = false;
    Connection *conn = nullptr;
    fbapi::Statement fb;
    bool prepared = false, executed = false, has_row = false;
    std::vector<Value *> row; // one Value per column, refilled by each fetch
    std::vector<Binding> bindings;
    std::vector<Parameter> params;
    size_t need_data = 0; // 1-based parameter awaiting SQLPutData, 0 none
    bool need_data_started = false;
    SQLULEN query_timeout = 0, max_rows = 0, rows_fetched = 0;
    SQLULEN *rows_fetched_ptr = nullptr;
    SQLUSMALLINT *row_status_ptr = nullptr;
    SQLULEN row_array_size = 1;
    SQLLEN row_count = -1;
    PieceState piece;
    explicit Statement(Connection *c) : DriverStatement{}, conn(c), fb(c->db) {}
    ~Statement();
};

// The end of a call: SQL_SUCCESS becomes SQL_SUCCESS_WITH_INFO when a
// warning was posted, and the header records the code (`header` may be NULL).
SQLRETURN finish(ErrorHeader *header, SQLRETURN rc);
// Writes the trace line of a call's exit; returns rc.
SQLRETURN traced_exit(SQLRETURN rc, const char *file, int line, const char *format);

// Posts an error on `header` with the driver's vendor text; returns SQL_ERROR.
SQLRETURN post(ErrorHeader *header, const char *sqlstate, std::string_view message);
// Posts a warning; the call returns SQL_SUCCESS_WITH_INFO.
void warn(ErrorHeader *header, const char *sqlstate, std::string_view message);
// Posts a Firebird failure (PostDalError) with the SQLSTATE its codes map
// to and its SQL code as the native error; returns SQL_ERROR.
SQLRETURN post_firebird(Statement &stmt, const fbapi::Error &error);
SQLRETURN post_firebird(Connection &conn, const fbapi::Error &error);

// Starts the connection's transaction when none runs; false after posting.
bool ensure_transaction(Statement &stmt);
// After a statement in autocommit mode: commits, keeping cursors open.
bool autocommit_done(Statement &stmt);

// Statement work shared by the entry points (statement.cpp).
SQLRETURN prepare_statement(Statement &stmt, std::string_view text);
SQLRETURN execute_statement(Statement &stmt);
SQLRETURN close_cursor(Statement &stmt);
// Runs a query the driver made itself (catalog functions) as the statement's result.
SQLRETURN run_internal_query(Statement &stmt, const std::string &sql);

// Rows into Values, texts and descriptions (convert.cpp).
void column_to_value(const fbapi::Field &field, Value *value);
std::string value_text(const Value *value);            // what SQL_C_CHAR receives
std::string hex(const unsigned char *bytes, size_t n); // upper-case hexadecimal digits
int32_t firebird_date(int year, int month, int day);   // days since 1858-11-17
uint32_t firebird_time(unsigned hour, unsigned minute, unsigned second, uint32_t fraction_ns);
// Values to the application's buffers (deliver.cpp).
// Converts `value` to `c_type` into the application's buffer, continuing
// at `piece` for character and binary data. Posts and returns SQL_ERROR,
// SQL_SUCCESS_WITH_INFO with 01004 when cut, SQL_NO_DATA when all was read.
SQLRETURN deliver(Statement &stmt, SQLUSMALLINT column, const Value *value, SQLSMALLINT c_type, SQLPOINTER target,
                  SQLLEN buffer_length, SQLLEN *indicator, PieceState *piece);
// Sets Firebird parameter `index` from the application's bound parameter (parameters.cpp).
SQLRETURN bind_parameter_value(Statement &stmt, size_t index);
SQLSMALLINT sql_type_of(const fbapi::Field &field);
const char *type_name_of(const fbapi::Field &field); // Firebird's name, for SQL_DESC_TYPE_NAME
SQLULEN column_size_of(const fbapi::Field &field);
SQLSMALLINT decimal_digits_of(const fbapi::Field &field);
SQLLEN display_size_of(const fbapi::Field &field);
SQLSMALLINT default_c_type(SQLSMALLINT sql_type);
std::string utf16_to_utf8(const SQLWCHAR *text, size_t units);
std::u16string utf8_to_utf16(std::string_view text);

// ODBC escapes (escapes.cpp): the statement text with {d}, {t}, {ts}, {fn},
// {call}, {oj}, {escape} rewritten for Firebird; false after posting.
bool translate_escapes(Statement &stmt, std::string_view text, std::string &out);

// Length of an input string argument: SQL_NTS or a byte count.
inline std::string_view input_text(const SQLCHAR *text, SQLINTEGER length)
{
    if (!text) return {};
    const char *p = reinterpret_cast<const char *>(text);
    return length == SQL_NTS ? std::string_view(p) : std::string_view(p, length < 0 ? 0 : size_t(length));
}

} // namespace kvfb

#endif
