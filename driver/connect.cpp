/*
** Connecting and transactions. The connection string is parsed into the
** connection's AttributeList; a data source's stored attributes (read through
** the library's profile functions, which ask unixODBC's installer library)
** go under it, so what the application gives wins. The password fbsetup
** stored scrambled is read back with its decrypt_pw, found in fbsetup.so
** beside the driver. Transactions start at the first statement and end with
** SQLEndTran, or with a commit after each statement in autocommit mode.
*/
#include "entry.h"

#include <fbsetup.h>
#include <odbcinst.h>

#include <dlfcn.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace kvfb {

namespace {

// The profile lookup of the library, answered by unixODBC's installer
// library (user and system odbc.ini, ODBCINI and ODBCSYSINI honoured).
int installer_lookup(const char *section, const char *key, const char *default_value, char *buffer, int length,
                     const char *file)
{
    return SQLGetPrivateProfileString(section, key, default_value, buffer, length, file);
}

// An entry point of fbsetup.so, which lies beside the driver; NULL without it.
void *setup_symbol(const char *name)
{
    static void *library = [] {
        Dl_info self = {};
        void *found = nullptr;
        if (dladdr(reinterpret_cast<void *>(&setup_symbol), &self) && self.dli_fname) {
            std::string module = (std::filesystem::path(self.dli_fname).parent_path() / "fbsetup.so").string();
            found = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        return found ? found : dlopen("fbsetup.so", RTLD_NOW | RTLD_LOCAL);
    }();
    return library ? dlsym(library, name) : nullptr;
}

using decrypt_function = char *(*)(const char *, char *);
using complete_function = int (*)(ConnectInfo *);

std::string plain_password(const std::string &stored)
{
    if (stored.rfind("KVZ1:", 0) != 0) return stored;
    auto decrypt = reinterpret_cast<decrypt_function>(setup_symbol("decrypt_pw"));
    if (!decrypt) return stored;
    std::string out(stored.size() + 1, '\0');
    decrypt(stored.c_str(), out.data());
    out.resize(std::strlen(out.c_str()));
    return out;
}

// The data-source keys the driver reads, as fbsetup writes them.
constexpr std::array stored_keys = {"Database", "User",     "Password", "Role",    "Charset",
                                    "Dialect",  "Readonly", "Nowait",   "Txnmode", "Trace"};

bool flag_on(const char *text)
{
    return text &&
           (!strcasecmp(text, "1") || !strcasecmp(text, "yes") || !strcasecmp(text, "true") || !strcasecmp(text, "on"));
}

// The first of `keys` the attributes hold, or "".
std::string attribute(Connection &conn, std::initializer_list<const char *> keys)
{
    for (const char *key : keys)
        if (const char *value = get_attribute_value(&conn.attributes, key)) return value;
    return {};
}

// Puts the data source's stored attributes under those of the connection string.
bool merge_stored_attributes(Connection &conn, const std::string &dsn)
{
    if (!conn.profile) conn.profile = open_registry();
    if (!conn.profile) return false;
    set_ini_function(conn.profile, installer_lookup);
    set_dsn(conn.profile, dsn.c_str());
    AttributeList stored;
    init_con_str(&stored);
    char buffer[1024];
    append_pair(&stored, "DSN", dsn.c_str(), conn.mem);
    for (const char *key : stored_keys) {
        get_default(conn.profile, key, buffer, sizeof buffer);
        if (buffer[0]) append_pair(&stored, key, buffer, conn.mem);
    }
    if (merge_connection_string(&stored, &conn.attributes, conn.mem) != 0) return false;
    conn.attributes = stored;
    return true;
}

SQLRETURN attach(Connection &conn)
{
    conn.database_path = attribute(conn, {"DATABASE", "DBNAME"});
    if (conn.database_path.empty())
        return post(conn.error_header, "08001", "Client unable to establish connection: no database was given");
    conn.attach.user = attribute(conn, {"UID", "USER"});
    // USER() of the library reads UID; a user from the data source's User key counts too.
    if (!conn.attach.user.empty() && !get_attribute_value(&conn.attributes, "UID"))
        append_pair(&conn.attributes, "UID", conn.attach.user.c_str(), conn.mem);
    conn.attach.password = plain_password(attribute(conn, {"PWD", "PASSWORD"}));
    conn.attach.role = attribute(conn, {"ROLE"});
    conn.attach.charset = attribute(conn, {"CHARSET"});
    if (conn.attach.charset.empty()) conn.attach.charset = "UTF8";
    std::string dialect = attribute(conn, {"DIALECT"});
    conn.attach.dialect = dialect == "1" ? 1 : 3;
    conn.attach.connect_timeout = conn.login_timeout;
    std::string txnmode = attribute(conn, {"TXNMODE"});
    conn.transaction.isolation = txnmode == "2" ? 2 : txnmode == "3" ? 3 : 1;
    conn.transaction.read_only = flag_on(attribute(conn, {"READONLY"}).c_str());
    conn.transaction.wait = !flag_on(attribute(conn, {"NOWAIT"}).c_str());
    if (flag_on(attribute(conn, {"TRACE"}).c_str())) set_trace_mask(get_trace_mask() | trace_calls);
    conn.database = conn.database_path.data();
    fbapi::Error error;
    if (!conn.db.attach(conn.database_path, conn.attach, error)) return post_firebird(conn, error);
    conn.attach.password.assign(conn.attach.password.size(), '\0');
    return SQL_SUCCESS;
}

void copy_field(char (&field)[128], const std::string &value)
{
    copy_str_buffer(field, sizeof field, nullptr, value.c_str());
}

// SQLDriverConnect's prompt: fbsetup's dialog (complete_info) shows what
// the attributes hold and its answers go over them. SQL_NO_DATA after Cancel.
SQLRETURN prompt(Connection &conn)
{
    auto complete = reinterpret_cast<complete_function>(setup_symbol("complete_info"));
    if (!complete) return post(conn.error_header, "IM008", "Dialog failed: fbsetup.so was not found beside the driver");
    ConnectInfo info = {};
    copy_field(info.dsn, conn.dsn);
    copy_field(info.user, attribute(conn, {"UID", "USER"}));
    copy_field(info.password, attribute(conn, {"PWD", "PASSWORD"}));
    copy_field(info.database, attribute(conn, {"DATABASE", "DBNAME"}));
    copy_field(info.role, attribute(conn, {"ROLE"}));
    copy_field(info.charset, attribute(conn, {"CHARSET"}));
    std::string dialect = attribute(conn, {"DIALECT"}), txnmode = attribute(conn, {"TXNMODE"});
    info.dialect = dialect == "1" ? 1 : 3;
    info.txnmode = txnmode == "2" ? 2 : txnmode == "3" ? 3 : 1;
    info.nowait = flag_on(attribute(conn, {"NOWAIT"}).c_str());
    info.readonly = flag_on(attribute(conn, {"READONLY"}).c_str());
    if (complete(&info) != 0) return SQL_NO_DATA;
    const std::pair<const char *, std::string> answers[] = {{"DATABASE", info.database},
                                                            {"UID", info.user},
                                                            {"PWD", info.password},
                                                            {"ROLE", info.role},
                                                            {"CHARSET", info.charset},
                                                            {"DIALECT", std::to_string(info.dialect)},
                                                            {"TXNMODE", std::to_string(info.txnmode)},
                                                            {"NOWAIT", info.nowait ? "1" : "0"},
                                                            {"READONLY", info.readonly ? "1" : "0"}};
    for (const auto &[key, value] : answers)
        if (append_pair(&conn.attributes, key, value.c_str(), conn.mem) < 0)
            return post(conn.error_header, "HY001", "Memory allocation error");
    std::memset(info.password, 0, sizeof info.password);
    return SQL_SUCCESS;
}

SQLRETURN connect_with_string(Connection &conn, std::string_view text, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT)
{
    if (conn.db.attached()) return post(conn.error_header, "08002", "Connection name in use");
    init_con_str(&conn.attributes);
    if (parse_connection_string(&conn.attributes, conn.mem, text.data(), int(text.size()), 0) != 0)
        return post(conn.error_header, "HY001", "Memory allocation error");
    const char *dsn = get_attribute_value(&conn.attributes, "DSN");
    conn.dsn = dsn ? dsn : "";
    if (!conn.dsn.empty() && !merge_stored_attributes(conn, conn.dsn))
        return post(conn.error_header, "HY001", "Memory allocation error");
    bool missing = attribute(conn, {"DATABASE", "DBNAME"}).empty();
    if (completion == SQL_DRIVER_PROMPT || (missing && completion != SQL_DRIVER_NOPROMPT))
        if (SQLRETURN rc = prompt(conn); rc != SQL_SUCCESS) return rc;
    return attach(conn);
}

} // namespace

// --- transactions ----------------------------------------------------------

bool ensure_transaction(Statement &stmt)
{
    fbapi::Error error;
    if (stmt.conn->db.start(stmt.conn->transaction, error)) return true;
    post_firebird(stmt, error);
    return false;
}

bool autocommit_done(Statement &stmt)
{
    if (!stmt.conn->autocommit) return true;
    fbapi::Error error;
    if (stmt.conn->db.commit(true, error)) return true;
    post_firebird(stmt, error);
    return false;
}

// --- the watchdog of query time-outs ---------------------------------------

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Watchdog::arm(time_t deadline)
{
    {
        std::lock_guard lock(mutex_);
        deadline_ = deadline;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void Watchdog::disarm()
{
    std::lock_guard lock(mutex_);
    deadline_ = 0;
}

void Watchdog::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (!deadline_) {
            wake_.wait(lock);
            continue;
        }
        // check_timeout counts whole seconds with time(), whose clock may
        // lag the precise one by a tick: wait a little past the second.
        auto due = std::chrono::system_clock::from_time_t(deadline_ + 1) + std::chrono::milliseconds(20);
        if (wake_.wait_until(lock, due) == std::cv_status::timeout && deadline_ && std::time(nullptr) > deadline_) {
            deadline_ = 0;
            db_.cancel();
        }
    }
}

} // namespace kvfb

using namespace kvfb;

extern "C" {

KVFB_API SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR *dsn, SQLSMALLINT dsn_length, SQLCHAR *user,
                                      SQLSMALLINT user_length, SQLCHAR *password, SQLSMALLINT password_length)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    std::string_view name = input_text(dsn, dsn_length);
    if (name.empty()) name = "DEFAULT";
    // The arguments become pairs of a connection string, braced as needed.
    AttributeList given;
    init_con_str(&given);
    append_pair(&given, "DSN", std::string(name).c_str(), conn->mem);
    std::string_view uid = input_text(user, user_length), pwd = input_text(password, password_length);
    if (!uid.empty()) append_pair(&given, "UID", std::string(uid).c_str(), conn->mem);
    if (!pwd.empty()) append_pair(&given, "PWD", std::string(pwd).c_str(), conn->mem);
    int32_t needed = 0;
    generate_connection_string_ex_len(&given, nullptr, 0, &needed);
    std::string text(size_t(needed) + 1, '\0');
    generate_connection_string_ex_len(&given, text.data(), needed + 1, &needed);
    text.resize(size_t(needed));
    KVFB_TRACE("SQLConnect(%p, %S)", handle, std::string(name).c_str(), SQLINTEGER(SQL_NTS));
    return KVFB_LEAVE(conn->error_header, "SQLConnect", connect_with_string(*conn, text));
}

KVFB_API SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR *in, SQLSMALLINT in_length, SQLCHAR *out,
                                            SQLSMALLINT out_max, SQLSMALLINT *out_length, SQLUSMALLINT completion)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    KVFB_TRACE("SQLDriverConnect(%p, %u)", handle, int(completion));
    SQLRETURN rc = connect_with_string(*conn, input_text(in, in_length), completion);
    if (SQL_SUCCEEDED(rc) && (out || out_length)) {
        int32_t needed = 0;
        int cut = generate_connection_string_len(&conn->attributes, reinterpret_cast<char *>(out), out ? out_max : 0,
                                                 &needed);
        if (out_length) *out_length = static_cast<SQLSMALLINT>(std::min<int32_t>(needed, 32767));
        if (cut == 1 && out) warn(conn->error_header, "01004", "String data, right truncated");
    }
    return KVFB_LEAVE(conn->error_header, "SQLDriverConnect", rc);
}

KVFB_API SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle)
{
    KVFB_SERIALISE;
    Connection *conn = connection(handle);
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    KVFB_TRACE("SQLDisconnect(%p)", handle);
    if (!conn->db.attached())
        return KVFB_LEAVE(conn->error_header, "SQLDisconnect",
                          post(conn->error_header, "08003", "Connection not open"));
    if (!conn->autocommit && conn->db.in_transaction())
        return KVFB_LEAVE(conn->error_header, "SQLDisconnect",
                          post(conn->error_header, "25000", "Invalid transaction state"));
    conn->watchdog.disarm();
    while (!conn->statements.empty()) {
        Statement *stmt = conn->statements.back();
        close_cursor(*stmt);
        kv_mem_release_handle(stmt->mem); // its destructor leaves the list
    }
    fbapi::Error error;
    SQLRETURN rc = SQL_SUCCESS;
    if (!conn->db.commit(false, error)) rc = post_firebird(*conn, error);
    if (!conn->db.detach(error)) rc = post_firebird(*conn, error);
    init_con_str(&conn->attributes);
    conn->database = nullptr;
    return KVFB_LEAVE(conn->error_header, "SQLDisconnect", rc);
}

KVFB_API SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion)
{
    KVFB_SERIALISE;
    KVFB_TRACE("SQLEndTran(%i, %p, %i)", type, handle, completion);
    if (type == SQL_HANDLE_ENV) {
        Environment *env = environment(handle);
        return env ? SQL_SUCCESS : SQL_INVALID_HANDLE; // the driver manager ends each connection's
    }
    Connection *conn = type == SQL_HANDLE_DBC ? connection(handle) : nullptr;
    if (!conn) return SQL_INVALID_HANDLE;
    SetupErrorHeader(conn->error_header, 0);
    if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
        return KVFB_LEAVE(conn->error_header, "SQLEndTran",
                          post(conn->error_header, "HY012", "Invalid transaction operation code"));
    // Ending the transaction closes every cursor on it.
    for (Statement *stmt : conn->statements)
        close_cursor(*stmt);
    fbapi::Error error;
    bool ok = completion == SQL_COMMIT ? conn->db.commit(false, error) : conn->db.rollback(error);
    return KVFB_LEAVE(conn->error_header, "SQLEndTran", ok ? SQL_SUCCESS : post_firebird(*conn, error));
}

} // extern "C"
