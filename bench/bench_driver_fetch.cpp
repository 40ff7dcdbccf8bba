// Fetching 1,000,000 rows of (INTEGER, VARCHAR(32), NUMERIC(18,4), TIMESTAMP)
// from an embedded Firebird database: through unixODBC and the driver
// (SQLFetch into bound columns) against the same query fetched with the
// client library's DSQL calls directly, each row's values copied out into C
// variables either way. Afterwards, pyodbc's fetchall over the same rows.
// The database, the driver's registration and the data source live in a
// temporary directory of the run's own.
#include "ratio.h"

#include <ibase.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kRows = 1000000;
const char *const kQuery = "SELECT ID, NAME, AMOUNT, TS FROM ROWS1M";

std::string g_dir, g_database;

void die(const char *what, const ISC_STATUS *status)
{
    char message[512];
    const ISC_STATUS *p = status;
    fb_interpret(message, sizeof message, &p);
    std::fprintf(stderr, "%s: %s\n", what, message);
    std::exit(1);
}

// A private directory with the engine's lock files, the database filled
// with the rows, and unixODBC's two ini files naming the driver.
void prepare()
{
    char pattern[] = "/tmp/kvfb-bench-XXXXXX";
    g_dir = mkdtemp(pattern);
    std::filesystem::create_directories(g_dir + "/lock");
    setenv("FIREBIRD_LOCK", (g_dir + "/lock").c_str(), 1);
    setenv("FIREBIRD_TMP", g_dir.c_str(), 1);
    setenv("ODBCSYSINI", g_dir.c_str(), 1);
    setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
    g_database = g_dir + "/rows.fdb";
    std::ofstream(g_dir + "/odbcinst.ini") << "[Kestrova Firebird]\nDriver = " KVFB_DRIVER_PATH "\n";
    std::ofstream(g_dir + "/odbc.ini") << "[bench]\nDriver = Kestrova Firebird\nDatabase = " << g_database
                                       << "\nUser = SYSDBA\nCharset = UTF8\n";

    ISC_STATUS_ARRAY status = {};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    std::string create =
        "CREATE DATABASE '" + g_database + "' USER 'SYSDBA' PAGE_SIZE 16384 DEFAULT CHARACTER SET UTF8";
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, create.c_str(), 3, nullptr)) die("create database", status);
    const char *statements[] = {
        "CREATE TABLE ROWS1M (ID INTEGER NOT NULL, NAME VARCHAR(32), AMOUNT NUMERIC(18,4), TS TIMESTAMP)",
        "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 1000000) DO BEGIN "
        "INSERT INTO ROWS1M VALUES (:I, 'customer name number ' || :I, :I * 1.2345, "
        "DATEADD(:I SECOND TO TIMESTAMP '2024-01-01 00:00:00')); I = I + 1; END END",
    };
    for (const char *sql : statements) {
        if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr)) die("start", status);
        if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql, 3, nullptr)) die(sql, status);
        if (isc_commit_transaction(status, &tr)) die("commit", status);
    }
    isc_detach_database(status, &db);
}

struct Row {
    SQLINTEGER id;
    char name[33];
    SQL_NUMERIC_STRUCT amount;
    SQL_TIMESTAMP_STRUCT ts;
};

// The baseline: DSQL, each row's columns copied into the same C variables.
void BM_DsqlDirect(benchmark::State &state)
{
    ISC_STATUS_ARRAY status = {};
    isc_db_handle db = 0;
    const char dpb[] = {
        isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A', isc_dpb_lc_ctype, 4, 'U', 'T', 'F', '8'};
    if (isc_attach_database(status, 0, g_database.c_str(), &db, sizeof dpb, dpb)) die("attach", status);
    long rows = 0;
    for (auto _ : state) {
        isc_tr_handle tr = 0;
        isc_stmt_handle stmt = 0;
        if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr)) die("start", status);
        isc_dsql_allocate_statement(status, &db, &stmt);
        alignas(8) unsigned char storage[XSQLDA_LENGTH(4)] = {};
        auto *out = reinterpret_cast<XSQLDA *>(storage);
        out->version = SQLDA_VERSION1;
        out->sqln = 4;
        if (isc_dsql_prepare(status, &tr, &stmt, 0, kQuery, 3, out)) die("prepare", status);
        alignas(8) char buffer[4][64];
        short nulls[4];
        for (int i = 0; i < 4; ++i) {
            out->sqlvar[i].sqldata = buffer[i];
            out->sqlvar[i].sqlind = &nulls[i];
        }
        if (isc_dsql_execute(status, &tr, &stmt, 1, nullptr)) die("execute", status);
        Row row;
        while (isc_dsql_fetch(status, &stmt, 1, out) == 0) {
            std::memcpy(&row.id, buffer[0], 4);
            short n;
            std::memcpy(&n, buffer[1], 2);
            std::memcpy(row.name, buffer[1] + 2, size_t(n));
            row.name[n] = '\0';
            int64_t amount;
            std::memcpy(&amount, buffer[2], 8);
            row.amount.scale = 4;
            row.amount.sign = amount >= 0;
            uint64_t magnitude = amount >= 0 ? uint64_t(amount) : uint64_t(-amount);
            std::memset(row.amount.val, 0, sizeof row.amount.val);
            std::memcpy(row.amount.val, &magnitude, 8);
            struct tm tm;
            isc_decode_timestamp(reinterpret_cast<ISC_TIMESTAMP *>(buffer[3]), &tm);
            row.ts = {SQLSMALLINT(tm.tm_year + 1900),
                      SQLUSMALLINT(tm.tm_mon + 1),
                      SQLUSMALLINT(tm.tm_mday),
                      SQLUSMALLINT(tm.tm_hour),
                      SQLUSMALLINT(tm.tm_min),
                      SQLUSMALLINT(tm.tm_sec),
                      0};
            benchmark::DoNotOptimize(row);
            ++rows;
        }
        isc_dsql_free_statement(status, &stmt, DSQL_drop);
        isc_commit_transaction(status, &tr);
    }
    isc_detach_database(status, &db);
    if (rows != long(state.iterations()) * kRows) state.SkipWithError("wrong row count");
    state.counters["items"] = kRows;
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
}

// Through unixODBC and the driver: SQLFetch into bound columns.
void BM_OdbcBoundFetch(benchmark::State &state)
{
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR *)"DSN=bench", SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT))) {
        state.SkipWithError("cannot connect");
        return;
    }
    long rows = 0;
    for (auto _ : state) {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        Row row;
        SQLLEN ind[4];
        SQLBindCol(stmt, 1, SQL_C_SLONG, &row.id, 0, &ind[0]);
        SQLBindCol(stmt, 2, SQL_C_CHAR, row.name, sizeof row.name, &ind[1]);
        SQLBindCol(stmt, 3, SQL_C_NUMERIC, &row.amount, sizeof row.amount, &ind[2]);
        SQLBindCol(stmt, 4, SQL_C_TYPE_TIMESTAMP, &row.ts, sizeof row.ts, &ind[3]);
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR *)kQuery, SQL_NTS))) state.SkipWithError("execute failed");
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            benchmark::DoNotOptimize(row);
            ++rows;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (rows != long(state.iterations()) * kRows) state.SkipWithError("wrong row count");
    state.counters["items"] = kRows;
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_DsqlDirect)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OdbcBoundFetch)->Unit(benchmark::kMillisecond)->Iterations(3);

// pyodbc's fetchall over the same rows, timed by Python itself.
void report_pyodbc()
{
    std::string command = "/usr/bin/python3 -c \"import pyodbc, time\n"
                          "c = pyodbc.connect('DSN=bench')\n"
                          "t = time.perf_counter()\n"
                          "n = len(c.cursor().execute('" +
                          std::string(kQuery) +
                          "').fetchall())\n"
                          "print('pyodbc fetchall: %d rows in %.2f s, %.0f rows/s' % (n, time.perf_counter() - t, n / "
                          "(time.perf_counter() - t)))\"";
    if (std::system(command.c_str()) != 0) std::printf("pyodbc fetchall: not measured (python3-pyodbc missing?)\n");
}

} // namespace

int main(int argc, char **argv)
{
    prepare();
    benchmark::Initialize(&argc, argv);
    kvbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print({{"BM_DsqlDirect/iterations:3", "BM_DsqlDirect/iterations:3", 1.0, "(baseline)"},
                    {"BM_OdbcBoundFetch/iterations:3", "BM_DsqlDirect/iterations:3", 1.5,
                     "1M rows: driver through unixODBC / DSQL directly"}});
    benchmark::Shutdown();
    report_pyodbc();
    std::filesystem::remove_all(g_dir);
    return 0;
}
