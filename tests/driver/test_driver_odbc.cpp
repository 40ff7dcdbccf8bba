// The driver through unixODBC's driver manager, from C: the ODBC rules a
// C application relies on and the Python tests do not reach (SQLGetData in
// pieces, truncation, ODBC 2 states, cursor names, SQLNativeSql's escapes,
// data at execution, SQLCancel, the completed connection string).
// Run under with_datasource.sh, which provides KVFB_DSN and the database.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

SQLCHAR *text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

std::string dsn() { return std::getenv("KVFB_DSN") ? std::getenv("KVFB_DSN") : "kvfbtest"; }

// The SQLSTATE and message of a handle's first diagnostic record.
std::pair<std::string, std::string> first_record(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLCHAR state[6] = "", message[1024] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    return {reinterpret_cast<char *>(state), reinterpret_cast<char *>(message)};
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override { connect(SQL_OV_ODBC3); }
    void TearDown() override { disconnect(); }

    void connect(SQLINTEGER version)
    {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t(version)), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        std::string in = "DSN=" + dsn();
        SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, text(in.c_str()), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << first_record(SQL_HANDLE_DBC, dbc).second;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    }

    void disconnect()
    {
        if (!env) return;
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        env = nullptr;
    }

    SQLRETURN exec(const std::string &sql) { return SQLExecDirect(stmt, text(sql.c_str()), SQL_NTS); }

    void run(const std::string &sql)
    {
        SQLRETURN rc = exec(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
            << sql << ": " << first_record(SQL_HANDLE_STMT, stmt).second;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }

    // Reads column `column` of the current row with SQLGetData in pieces
    // of `piece` bytes; every call but the last must report 01004.
    std::string read_in_pieces(SQLUSMALLINT column, SQLSMALLINT c_type, size_t piece, SQLLEN *first_indicator)
    {
        std::string all;
        std::vector<char> buffer(piece);
        size_t terminator = c_type == SQL_C_CHAR ? 1 : c_type == SQL_C_WCHAR ? 2 : 0;
        for (int call = 0;; ++call) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQLGetData(stmt, column, c_type, buffer.data(), SQLLEN(piece), &indicator);
            if (call == 0) *first_indicator = indicator;
            if (rc == SQL_NO_DATA) break;
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << first_record(SQL_HANDLE_STMT, stmt).second;
            if (!SQL_SUCCEEDED(rc)) break;
            if (rc == SQL_SUCCESS_WITH_INFO) {
                EXPECT_EQ(first_record(SQL_HANDLE_STMT, stmt).first, "01004");
                all.append(buffer.data(), piece - terminator);
            } else {
                all.append(buffer.data(), size_t(indicator));
            }
        }
        return all;
    }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
};

TEST_F(Driver, GetDataHandsOutCharacterAndLongDataInPieces)
{
    exec("DROP TABLE PIECES");
    SQLFreeStmt(stmt, SQL_CLOSE);
    run("CREATE TABLE PIECES (V VARCHAR(100), T BLOB SUB_TYPE TEXT, B BLOB SUB_TYPE BINARY)");
    std::string long_text;
    for (int i = 0; long_text.size() < 100000; ++i)
        long_text += "line " + std::to_string(i) + "; ";
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += char(i * 7);

    SQLLEN text_length = SQLLEN(long_text.size()), bytes_length = SQLLEN(bytes.size());
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLPrepare(stmt, text("INSERT INTO PIECES VALUES ('Grüße, Welt: 0123456789', ?, ?)"), SQL_NTS)));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, long_text.size(), 0, long_text.data(), 0,
                     &text_length);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, bytes.size(), 0, bytes.data(), 0,
                     &bytes_length);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << first_record(SQL_HANDLE_STMT, stmt).second;
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);

    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT V, T, B, V FROM PIECES")));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    SQLLEN indicator = 0;
    EXPECT_EQ(read_in_pieces(1, SQL_C_CHAR, 7, &indicator), "Grüße, Welt: 0123456789");
    EXPECT_EQ(indicator, SQLLEN(std::strlen("Grüße, Welt: 0123456789")));
    EXPECT_EQ(read_in_pieces(2, SQL_C_CHAR, 4096, &indicator), long_text);
    EXPECT_EQ(indicator, SQLLEN(long_text.size()));
    EXPECT_EQ(read_in_pieces(3, SQL_C_BINARY, 1000, &indicator), bytes);
    std::string wide = read_in_pieces(4, SQL_C_WCHAR, 8, &indicator);
    std::u16string expected = u"Grüße, Welt: 0123456789";
    EXPECT_EQ(wide, std::string(reinterpret_cast<const char *>(expected.data()), expected.size() * 2));
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

TEST_F(Driver, BoundColumnsReportTruncationAndNulls)
{
    char name[4];
    SQLLEN name_indicator = 0, null_indicator = 0;
    SQLINTEGER number = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT 'abcdef', CAST(NULL AS INTEGER) FROM RDB$DATABASE")));
    SQLBindCol(stmt, 1, SQL_C_CHAR, name, sizeof name, &name_indicator);
    SQLBindCol(stmt, 2, SQL_C_SLONG, &number, 0, &null_indicator);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(first_record(SQL_HANDLE_STMT, stmt).first, "01004");
    EXPECT_STREQ(name, "abc");
    EXPECT_EQ(name_indicator, 6);
    EXPECT_EQ(null_indicator, SQL_NULL_DATA);
}

TEST_F(Driver, ConversionsOutOfRangeAndBetweenTypes)
{
    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT CAST(3000000000 AS BIGINT), CAST(12.3456 AS NUMERIC(18,4)), "
                                   "TIMESTAMP '2024-02-29 13:14:15.5', '2024-03-01' FROM RDB$DATABASE")));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    SQLINTEGER small = 0;
    SQLLEN indicator = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &small, 0, &indicator), SQL_ERROR);
    EXPECT_EQ(first_record(SQL_HANDLE_STMT, stmt).first, "22003");
    SQL_NUMERIC_STRUCT numeric = {};
    ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_NUMERIC, &numeric, sizeof numeric, &indicator), SQL_SUCCESS);
    EXPECT_EQ(numeric.scale, 4);
    EXPECT_EQ(numeric.val[0] | numeric.val[1] << 8 | numeric.val[2] << 16, 123456);
    SQL_TIMESTAMP_STRUCT ts = {};
    ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator), SQL_SUCCESS);
    EXPECT_EQ(ts.year * 10000 + ts.month * 100 + ts.day, 20240229);
    EXPECT_EQ(ts.fraction, 500000000u);
    SQL_DATE_STRUCT date = {};
    ASSERT_EQ(SQLGetData(stmt, 4, SQL_C_TYPE_DATE, &date, sizeof date, &indicator), SQL_SUCCESS);
    EXPECT_EQ(date.year * 10000 + date.month * 100 + date.day, 20240301);
}

TEST_F(Driver, ParametersSentAtExecution)
{
    exec("DROP TABLE DAE");
    SQLFreeStmt(stmt, SQL_CLOSE);
    run("CREATE TABLE DAE (ID INTEGER, T BLOB SUB_TYPE TEXT)");
    SQLINTEGER id = 5;
    SQLLEN at_exec = SQL_LEN_DATA_AT_EXEC(0);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt, text("INSERT INTO DAE VALUES (?, ?)"), SQL_NTS)));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, reinterpret_cast<SQLPOINTER>(2), 0,
                     &at_exec);
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(2));
    for (const char *piece : {"first piece, ", "second piece"})
        SQLPutData(stmt, const_cast<char *>(piece), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLParamData(stmt, &token))) << first_record(SQL_HANDLE_STMT, stmt).second;
    SQLLEN count = 0;
    SQLRowCount(stmt, &count);
    EXPECT_EQ(count, 1);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);

    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT T FROM DAE WHERE ID = 5")));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char buffer[64];
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_STREQ(buffer, "first piece, second piece");
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A searched update that touches nothing is SQL_NO_DATA.
    EXPECT_EQ(exec("UPDATE DAE SET ID = 6 WHERE ID = 99"), SQL_NO_DATA);
}

TEST_F(Driver, TypedParametersReachTheColumnsExactly)
{
    exec("DROP TABLE TYPED");
    SQLFreeStmt(stmt, SQL_CLOSE);
    run("CREATE TABLE TYPED (I INTEGER, B BIGINT, N NUMERIC(18,4), D DOUBLE PRECISION, DT DATE, TS TIMESTAMP, V "
        "VARCHAR(20))");
    SQLINTEGER i = -123456;
    SQLBIGINT b = -9223372036854775807LL;
    SQL_NUMERIC_STRUCT n = {};
    n.precision = 18;
    n.scale = 4;
    n.sign = 0; // -1234.5678 = -12345678 x 10^-4
    for (uint32_t v = 12345678, k = 0; v; v >>= 8, ++k)
        n.val[k] = SQLCHAR(v & 0xFF);
    double d = 0.1;
    SQL_DATE_STRUCT dt = {1752, 9, 14};
    SQL_TIMESTAMP_STRUCT ts = {2024, 2, 29, 23, 59, 58, 123400000};
    char v[] = "O'Brien";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt, text("INSERT INTO TYPED VALUES (?, ?, ?, ?, ?, ?, ?)"), SQL_NTS)));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b, 0, nullptr);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 18, 4, &n, 0, nullptr);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, nullptr);
    SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &dt, 0, nullptr);
    SQLBindParameter(stmt, 6, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 24, 4, &ts, 0, nullptr);
    SQLBindParameter(stmt, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v, 0, nullptr);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << first_record(SQL_HANDLE_STMT, stmt).second;
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);

    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT I, B, N, D, DT, TS, V FROM TYPED")));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    const char *expected[] = {"-123456",    "-9223372036854775807",     "-1234.5678", "0.1",
                              "1752-09-14", "2024-02-29 23:59:58.1234", "O'Brien"};
    for (SQLUSMALLINT column = 1; column <= 7; ++column) {
        char got[64];
        SQLLEN indicator = 0;
        ASSERT_EQ(SQLGetData(stmt, column, SQL_C_CHAR, got, sizeof got, &indicator), SQL_SUCCESS);
        EXPECT_STREQ(got, expected[column - 1]) << "column " << column;
    }
}

TEST_F(Driver, AnOdbc2ApplicationGetsOdbc2States)
{
    struct Case {
        SQLINTEGER version;
        const char *state;
    } cases[] = {{SQL_OV_ODBC3, "42S02"}, {SQL_OV_ODBC2, "S0002"}};
    for (const Case &c : cases) {
        disconnect();
        connect(c.version);
        EXPECT_EQ(exec("SELECT * FROM NO_SUCH_TABLE"), SQL_ERROR);
        auto [state, message] = first_record(SQL_HANDLE_STMT, stmt);
        EXPECT_EQ(state, c.state);
        EXPECT_NE(message.find("[Kestrova ODBC Firebird]"), std::string::npos) << message;
        SQLINTEGER native = 0;
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_NATIVE, &native, 0, nullptr);
        EXPECT_EQ(native, -204);
    }
}

TEST_F(Driver, CursorNames)
{
    SQLHSTMT other = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other);
    SQLCHAR name[64];
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLGetCursorName(stmt, name, sizeof name, &length), SQL_SUCCESS)
        << first_record(SQL_HANDLE_STMT, stmt).second;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(name)).rfind("SQL_CUR", 0), 0u);
    ASSERT_EQ(SQLSetCursorName(stmt, text("ORDERS_CURSOR"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLSetCursorName(other, text("ORDERS_CURSOR"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(first_record(SQL_HANDLE_STMT, other).first, "3C000");
    SQLGetCursorName(stmt, name, sizeof name, &length);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "ORDERS_CURSOR");

    // A positioned update through the name, from the other statement.
    exec("DROP TABLE POSITIONED");
    SQLFreeStmt(stmt, SQL_CLOSE);
    run("CREATE TABLE POSITIONED (ID INTEGER, NOTE VARCHAR(10))");
    run("INSERT INTO POSITIONED VALUES (1, 'one')");
    run("INSERT INTO POSITIONED VALUES (2, 'two')");
    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT ID FROM POSITIONED ORDER BY ID FOR UPDATE")));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(other, text("UPDATE POSITIONED SET NOTE = 'first' WHERE CURRENT OF ORDERS_CURSOR"), SQL_NTS)))
        << first_record(SQL_HANDLE_STMT, other).second;
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT NOTE FROM POSITIONED ORDER BY ID")));
    char note[16];
    SQLLEN indicator = 0;
    SQLBindCol(stmt, 1, SQL_C_CHAR, note, sizeof note, &indicator);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_STREQ(note, "first");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_STREQ(note, "two");
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_F(Driver, NativeSqlTranslatesEscapes)
{
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"SELECT {d '2024-01-02'}, {t '10:11:12'}, {ts '2024-01-02 10:11:12'} FROM T",
         "SELECT DATE '2024-01-02', TIME '10:11:12', TIMESTAMP '2024-01-02 10:11:12' FROM T"},
        {"SELECT {fn SOUNDEX('Robert')}, {fn UCASE(NAME)} FROM T", "SELECT 'R163', UPPER(NAME) FROM T"},
        {"SELECT {fn CONCAT({fn LCASE('AB')}, 'c')} FROM T", "SELECT 'abc' FROM T"},
        {"SELECT '{d not an escape}' FROM T", "SELECT '{d not an escape}' FROM T"},
        {"{call PROC(1, 'x')}", "EXECUTE PROCEDURE PROC(1, 'x')"},
        {"SELECT * FROM {oj A LEFT OUTER JOIN B ON A.ID = B.ID}", "SELECT * FROM A LEFT OUTER JOIN B ON A.ID = B.ID"},
        {"SELECT {fn TIMESTAMPADD(SQL_TSI_WEEK, N, D)} FROM T", "SELECT DATEADD(7 * (N) DAY TO D) FROM T"},
    };
    for (const Case &c : cases) {
        SQLCHAR out[512];
        SQLINTEGER length = 0;
        ASSERT_EQ(SQLNativeSql(dbc, text(c.in), SQL_NTS, out, sizeof out, &length), SQL_SUCCESS) << c.in;
        EXPECT_STREQ(reinterpret_cast<char *>(out), c.out);
    }
    for (const char *bad : {"SELECT {fn NO_SUCH_FUNCTION(1)} FROM T", "SELECT {d '2024-01-01' FROM T", "{bogus 1}"}) {
        SQLCHAR out[512];
        EXPECT_EQ(SQLNativeSql(dbc, text(bad), SQL_NTS, out, sizeof out, nullptr), SQL_ERROR) << bad;
    }
}

TEST_F(Driver, CancelFromAnotherThreadStopsAQuery)
{
    ASSERT_TRUE(SQL_SUCCEEDED(exec("SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$FIELDS D")));
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        SQLCancel(stmt);
    });
    SQLRETURN rc = SQLFetch(stmt);
    canceller.join();
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(first_record(SQL_HANDLE_STMT, stmt).first, "HY008");
}

TEST_F(Driver, CompletedConnectionStringAndTransactions)
{
    SQLHDBC second = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &second);
    std::string in = "DSN=" + dsn() + ";CHARSET={UTF8}";
    SQLCHAR out[16];
    SQLSMALLINT length = 0;
    ASSERT_EQ(
        SQLDriverConnect(second, nullptr, text(in.c_str()), SQL_NTS, out, sizeof out, &length, SQL_DRIVER_NOPROMPT),
        SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(first_record(SQL_HANDLE_DBC, second).first, "01004");
    EXPECT_GT(length, SQLSMALLINT(sizeof out));
    // Manual commit: disconnecting inside a transaction is refused.
    SQLSetConnectAttr(second, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, second, &s);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, text("SELECT 1 FROM RDB$DATABASE"), SQL_NTS)));
    EXPECT_EQ(SQLDisconnect(second), SQL_ERROR);
    EXPECT_EQ(first_record(SQL_HANDLE_DBC, second).first, "25000");
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, second, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(second), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_DBC, second);
}

// SQLDriverConnect asks fbsetup's dialog (complete_info) for what is
// missing; its events come from the script named by FBSETUP_EVENTS.
TEST_F(Driver, DriverConnectPromptsThroughTheSetupDialog)
{
    const char *database = std::getenv("KVFB_DATABASE");
    const char *dir = std::getenv("KVFB_TEST_DIR");
    ASSERT_TRUE(database && dir);
    std::string events = std::string(dir) + "/prompt-events";
    FILE *script = std::fopen(events.c_str(), "w");
    ASSERT_TRUE(script);
    std::fprintf(script, "type KVFB-2201 %s\ncommand OK\n", database);
    std::fclose(script);
    std::string in = std::string("DRIVER={") + std::getenv("KVFB_DRIVER") + "};UID=SYSDBA";

    struct Case {
        const char *events; // NULL: unattended, OK refused without a database, then Cancel
        SQLRETURN expected;
    } cases[] = {{events.c_str(), SQL_SUCCESS}, {nullptr, SQL_NO_DATA}};
    for (const Case &c : cases) {
        if (c.events)
            setenv("FBSETUP_EVENTS", c.events, 1);
        else
            unsetenv("FBSETUP_EVENTS");
        SQLHDBC prompted = nullptr;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &prompted);
        SQLCHAR out[1024];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLDriverConnect(prompted, nullptr, text(in.c_str()), SQL_NTS, out, sizeof out, &length,
                                        SQL_DRIVER_COMPLETE);
        EXPECT_EQ(rc, c.expected) << first_record(SQL_HANDLE_DBC, prompted).second;
        if (SQL_SUCCEEDED(rc)) {
            EXPECT_NE(std::string(reinterpret_cast<char *>(out)).find(std::string("DATABASE=") + database),
                      std::string::npos)
                << out;
            SQLDisconnect(prompted);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, prompted);
    }
    unsetenv("FBSETUP_EVENTS");
}

TEST_F(Driver, TypeInfoAndColumnDescriptions)
{
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetTypeInfo(stmt, SQL_ALL_TYPES)));
    std::vector<int> types;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        SQLSMALLINT type = 0;
        SQLGetData(stmt, 2, SQL_C_SSHORT, &type, 0, nullptr);
        types.push_back(type);
    }
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    EXPECT_NE(std::find(types.begin(), types.end(), SQL_VARCHAR), types.end());
    SQLFreeStmt(stmt, SQL_CLOSE);

    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLPrepare(stmt, text("SELECT CAST(1.5 AS NUMERIC(9,3)) AS AMOUNT FROM RDB$DATABASE WHERE 1 = ?"), SQL_NTS)));
    SQLCHAR name[32];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(stmt, 1, name, sizeof name, &name_length, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "AMOUNT");
    EXPECT_EQ(type, SQL_NUMERIC);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(digits, 3);
    SQLSMALLINT params = 0;
    SQLNumParams(stmt, &params);
    EXPECT_EQ(params, 1);
    ASSERT_EQ(SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_INTEGER);
}

} // namespace
