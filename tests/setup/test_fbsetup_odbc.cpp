// fbsetup.so reached as an installer reaches it: unixODBC's own
// SQLConfigDataSource finds the driver in the test's odbcinst.ini, loads the
// module named by its Setup key and calls ConfigDSN. The dialog is driven by
// an event script; the test connection attaches to a real embedded database.
#include "firebird_sandbox.h"

#include <gtest/gtest.h>

using namespace setup_test;

namespace {

constexpr const char *driver = "Kestrova Firebird";

using Keys = std::vector<std::pair<std::string, std::string>>;

std::string attribute_string(const std::vector<std::string> &entries)
{
    std::string text;
    for (const std::string &e : entries) text += e + '\0';
    return text + '\0';
}

class ThroughUnixOdbc : public ::testing::Test {
protected:
    void SetUp() override
    {
        use_fresh_odbc_files(std::string("[") + driver +
                             "]\nDescription = Kestrova Firebird ODBC driver\n"
                             "Driver = " + odbc_files().file("driver-not-needed.so") +
                             "\nSetup = " FBSETUP_MODULE "\n");
        unsetenv("FBSETUP_EVENTS");
    }
    void TearDown() override { unsetenv("FBSETUP_EVENTS"); }

    BOOL configure(WORD request, const std::vector<std::string> &entries, const std::string &script = {})
    {
        if (!script.empty()) {
            write_file(files.file("events"), script);
            setenv("FBSETUP_EVENTS", files.file("events").c_str(), 1);
        } else {
            unsetenv("FBSETUP_EVENTS");
        }
        std::string attributes = attribute_string(entries);
        return SQLConfigDataSource(nullptr, request, driver, attributes.c_str());
    }

    Keys user_section(const std::string &name) { return read_section(files.file("user-odbc.ini"), name); }
    Keys system_section(const std::string &name) { return read_section(files.file("odbc.ini"), name); }

    FirebirdSandbox &firebird = firebird_sandbox();
    const TempDir &files = odbc_files();
};

std::string scrambled(const std::string &password)
{
    // The stored form: "KVZ1:", two hexadecimal digits a byte, ":Z1"; each
    // byte has its halves swapped and is combined with "zorv" cyclically.
    static const char key[] = "zorv";
    std::string out = "KVZ1:";
    char hex[3];
    for (std::size_t i = 0; i < password.size(); ++i) {
        auto b = static_cast<unsigned char>(password[i]);
        b = static_cast<unsigned char>(((b << 4) | (b >> 4)) ^ key[i % 4]);
        std::snprintf(hex, sizeof hex, "%02x", b);
        out += hex;
    }
    return out + ":Z1";
}

TEST_F(ThroughUnixOdbc, AddConfigureAndRemoveADataSource)
{
    std::string database = firebird.dir().file("sales.fdb");
    ASSERT_EQ(firebird.create_database(database), "");
    std::string script = "# fill the four tabs, test the connection, press OK\n"
                         "type KVFB-1101 Sales\n"
                         "type KVFB-1102 Monthly figures\n"
                         "command Next\n"
                         "type KVFB-1201 " + database + "\n"
                         "type KVFB-1202 SYSDBA\n"
                         "type KVFB-1203 masterkey\n"
                         "tab 3\n"
                         "pick KVFB-1301 1\n"
                         "check KVFB-1303 on\n"
                         "check KVFB-1309 on\n"
                         "check KVFB-1309 off\n"
                         "click KVFB-1006\n"
                         "check KVFB-1401 on\n"
                         "pick KVFB-1402 2\n"
                         "type KVFB-1403 UTF8\n"
                         "command Test\n"
                         "command OK\n";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {}, script));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Connect test completed successfully"), std::string::npos) << said;

    Keys expected = {
        {"Driver", driver}, {"Description", "Monthly figures"}, {"Database", database}, {"User", "SYSDBA"},
        {"Password", scrambled("masterkey")}, {"Role", ""}, {"Dialect", "1"}, {"Uidoverride", "0"},
        {"Dquote", "1"}, {"Oldmetadata", "0"}, {"Readonly", "0"}, {"Execproc", "0"}, {"Commitselect", "0"},
        {"Flushcommit", "0"}, {"Withschema", "0"}, {"Nullschema", "0"}, {"Padvarchar", "0"},
        {"Withdefault", "0"}, {"Fixprecision", "0"}, {"Simpleunicode", "0"}, {"Wchardefaultc", "0"},
        {"Nowait", "1"}, {"Txnmode", "2"}, {"Charset", "UTF8"},
    };
    EXPECT_EQ(user_section("Sales"), expected);

    // Configure again: the attributes given are preselected, the name is
    // read-only, and whatever is not given starts as the dialog comes.
    EXPECT_TRUE(configure(ODBC_CONFIG_DSN,
                          {"DSN=Sales", "Database=" + database, "DIALECT=3", "readonly=1", "password=plain"},
                          "type KVFB-1101 Renamed\ntab 4\npick KVFB-1402 3\ncommand OK\n"));
    Keys again = user_section("Sales");
    ASSERT_EQ(again.size(), 24u);
    EXPECT_EQ(again[1], (std::pair<std::string, std::string>{"Description", ""}));
    EXPECT_EQ(again[2].second, database);
    EXPECT_EQ(again[4].second, scrambled("plain"));
    EXPECT_EQ(again[6], (std::pair<std::string, std::string>{"Dialect", "3"}));
    EXPECT_EQ(again[10], (std::pair<std::string, std::string>{"Readonly", "1"}));
    EXPECT_EQ(again[22], (std::pair<std::string, std::string>{"Txnmode", "3"}));
    EXPECT_TRUE(user_section("Renamed").empty());

    EXPECT_TRUE(configure(ODBC_REMOVE_DSN, {"DSN=Sales;"}));
    EXPECT_TRUE(user_section("Sales").empty());
}

// A system data source: the installer sets the system mode, each profile
// write resets it, and the module restores it before every write, so all
// keys land in the system odbc.ini.
TEST_F(ThroughUnixOdbc, SystemDataSourceKeepsTheConfigurationMode)
{
    EXPECT_TRUE(configure(ODBC_ADD_SYS_DSN, {"dsn=Central", "database=/srv/central.fdb", "nowait=1"}));
    Keys keys = system_section("Central");
    ASSERT_EQ(keys.size(), 24u);
    EXPECT_EQ(keys[0], (std::pair<std::string, std::string>{"Driver", driver}));
    EXPECT_EQ(keys[21], (std::pair<std::string, std::string>{"Nowait", "1"}));
    EXPECT_EQ(keys[23], (std::pair<std::string, std::string>{"Charset", ""}));
    EXPECT_TRUE(user_section("Central").empty());
}

TEST_F(ThroughUnixOdbc, UnattendedWithoutADatabaseCancels)
{
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {"dsn=Empty"}));
    EXPECT_TRUE(user_section("Empty").empty());
}

TEST_F(ThroughUnixOdbc, InstallerErrorsReadBack)
{
    struct Case {
        WORD request;
        std::vector<std::string> entries;
        DWORD code;
        const char *message;
    } cases[] = {
        {ODBC_CONFIG_DSN, {}, ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes"},
        {ODBC_REMOVE_DSN, {}, ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes"},
        {ODBC_REMOVE_DSN, {"database=/x.fdb"}, ODBC_ERROR_INVALID_NAME, "Invalid DSN Specified to ODBC_REMOVE_DSN"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_FALSE(configure(c.request, c.entries));
        auto records = installer_errors();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].code, c.code);
        EXPECT_EQ(records[0].message, c.message);
    }
}

// A removal the installer refuses (the user odbc.ini lies in a directory that
// does not exist) passes the installer's own records on.
TEST_F(ThroughUnixOdbc, FailedRemovalPassesTheInstallersRecordsOn)
{
    setenv("ODBCINI", files.file("no-such-directory/odbc.ini").c_str(), 1);
    EXPECT_FALSE(configure(ODBC_REMOVE_DSN, {"DSN=Sales"}));
    auto records = installer_errors();
    ASSERT_GE(records.size(), 2u);
    const InstallerError &own = records.front();
    EXPECT_NE(own.code, 0u);
    EXPECT_FALSE(own.message.empty());
    EXPECT_EQ(records.back().code, own.code) << "posted again by the module";
    EXPECT_EQ(records.back().message, own.message);
}

} // namespace
