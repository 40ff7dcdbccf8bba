// fbsetup.so reached as an installer reaches it: unixODBC's own
// SQLConfigDataSource finds the driver in the test's odbcinst.ini, loads the
// module named by its Setup key and calls ConfigDSN. The dialog is driven by
// an event script; the test connection attaches to a real embedded database.
#include "firebird_sandbox.h"

#include <odbcinstext.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>

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

    std::string store_user_sources(const std::string &text)
    {
        return setup_test::store_user_sources(files.file("user-odbc.ini"), text, "Other", "Database",
                                              "/data/other.fdb");
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

    // Configure again: the dialog starts from the stored data source, the
    // attributes given go over it, the name is read-only.
    EXPECT_TRUE(configure(ODBC_CONFIG_DSN, {"DSN=Sales", "DIALECT=3", "readonly=Yes", "password=plain"},
                          "type KVFB-1101 Renamed\ntab 4\npick KVFB-1402 3\ncommand OK\n"));
    Keys again = expected;
    again[4].second = scrambled("plain");
    again[6].second = "3";
    again[10].second = "1";
    again[22].second = "3";
    EXPECT_EQ(user_section("Sales"), again);
    EXPECT_TRUE(user_section("Renamed").empty());

    EXPECT_TRUE(configure(ODBC_REMOVE_DSN, {"DSN=Sales;"}));
    EXPECT_TRUE(user_section("Sales").empty());
}

// The user odbc.ini every row starts from: one data source of this driver,
// with a key the module does not know, and one of another driver.
const std::string stored_sources = "[Sales]\n"
                                   "Driver=Kestrova Firebird\n"
                                   "Description=Monthly figures\n"
                                   "Database=/data/sales.fdb\n"
                                   "User=ann\n"
                                   "Password=KVZ1:6c49:Z1\n"
                                   "Readonly=1\n"
                                   "Port=3050\n"
                                   "\n"
                                   "[Other]\n"
                                   "Driver=Another Driver\n"
                                   "Database=/data/other.fdb\n";

constexpr const char *unchanged = nullptr;

// Sales after a configure that changed only what `changes` name: the stored
// keys keep their place and value, the ones it lacked are added in order.
std::string sales_after(const std::map<std::string, std::string> &changes)
{
    std::vector<std::pair<std::string, std::string>> keys = {
        {"Driver", "Kestrova Firebird"}, {"Description", "Monthly figures"}, {"Database", "/data/sales.fdb"},
        {"User", "ann"}, {"Password", "KVZ1:6c49:Z1"}, {"Readonly", "1"}, {"Port", "3050"}, {"Role", ""},
        {"Dialect", "3"}, {"Uidoverride", "0"}, {"Dquote", "0"}, {"Oldmetadata", "0"}, {"Execproc", "0"},
        {"Commitselect", "0"}, {"Flushcommit", "0"}, {"Withschema", "0"}, {"Nullschema", "0"},
        {"Padvarchar", "0"}, {"Withdefault", "0"}, {"Fixprecision", "0"}, {"Simpleunicode", "0"},
        {"Wchardefaultc", "0"}, {"Nowait", "0"}, {"Txnmode", "1"}, {"Charset", ""}};
    std::string text = "[Sales]\n";
    for (const auto &[key, value] : keys) {
        auto change = changes.find(key);
        if (change == changes.end()) text += key + "=" + value + "\n";
        else if (!change->second.empty() || key != "Password") text += key + "=" + change->second + "\n";
    }
    return text + "\n[Other]\nDriver=Another Driver\nDatabase=/data/other.fdb\n\n";
}

// Every request as an installer sends it: attribute bytes in, then the
// result, the installer's error record and odbc.ini as it lies on disk.
TEST_F(ThroughUnixOdbc, RequestsTable)
{
    const std::string evil = "Description=hello\n[Evil]\nDriver=/tmp/evil.so";
    const std::string e_acute_70 = [] { std::string t; for (int i = 0; i < 70; ++i) t += "\xc3\xa9"; return t; }();
    const std::string missing_script = files.file("no-such-events");
    struct Row {
        const char *what;
        WORD request;
        std::vector<std::string> entries;
        std::string script;  // "" unattended; "missing" names a script that does not exist
        bool result;
        DWORD code;
        std::string message;  // the installer's last record
        std::optional<std::string> after;  // odbc.ini, nullopt: unchanged
    } rows[] = {
        // Nothing from data may start a line of odbc.ini.
        {"line break in a value", ODBC_ADD_DSN, {"DSN=New", "Database=/x.fdb", evil}, "", false, 8,
         "Invalid value for Description: line breaks are not allowed", std::nullopt},
        {"carriage return in a value", ODBC_CONFIG_DSN, {"DSN=Sales", "User=ann\r[Evil]"}, "", false, 8,
         "Invalid value for User: line breaks are not allowed", std::nullopt},
        {"line break in the name", ODBC_ADD_DSN, {"DSN=Evil\n[X]", "Database=/x.fdb"}, "", false, 9,
         "Invalid data source name: line breaks are not allowed", std::nullopt},
        {"bracket in the name", ODBC_ADD_DSN, {"DSN=a]b", "Database=/x.fdb"}, "", false, 9,
         "Invalid data source name: it may not contain any of []{}(),;?*=!@\\", std::nullopt},
        {"equals in the name", ODBC_ADD_DSN, {"DSN=a=b", "Database=/x.fdb"}, "", false, 9,
         "Invalid data source name: it may not contain any of []{}(),;?*=!@\\", std::nullopt},
        {"semicolon in the name", ODBC_REMOVE_DSN, {"DSN=Sales;Other"}, "", false, 9,
         "Invalid data source name: it may not contain any of []{}(),;?*=!@\\", std::nullopt},
        {"name too long", ODBC_ADD_DSN, {"DSN=" + std::string(33, 'n'), "Database=/x.fdb"}, "", false, 9,
         "Invalid data source name: longer than 32 bytes", std::nullopt},
        // Configure starts from the stored data source.
        {"configure keeps what it is not given", ODBC_CONFIG_DSN, {"DSN=Sales", "Description=New text"}, "", true,
         0, "", sales_after({{"Description", "New text"}})},
        {"the last name counts", ODBC_CONFIG_DSN, {"DSN=a[b", "DSN = Sales ;", "Description=New text"}, "", true,
         0, "", sales_after({{"Description", "New text"}})},
        {"configure of a missing data source", ODBC_CONFIG_DSN, {"DSN=Nope", "Description=x"}, "", false, 9,
         "Data source Nope does not exist", std::nullopt},
        {"configure of another driver's data source", ODBC_CONFIG_DSN, {"DSN=Other", "Description=x"}, "", false,
         9, "Data source Other belongs to the driver Another Driver, not to Kestrova Firebird", std::nullopt},
        {"remove of another driver's data source", ODBC_REMOVE_DSN, {"DSN=Other"}, "", false, 9,
         "Data source Other belongs to the driver Another Driver, not to Kestrova Firebird", std::nullopt},
        {"remove of a missing data source", ODBC_REMOVE_DSN, {"DSN=Nope"}, "", false, 9,
         "Data source Nope does not exist", std::nullopt},
        {"add over another driver's data source", ODBC_ADD_DSN, {"DSN=other", "Database=/x.fdb"}, "", false, 9,
         "A data source named other already exists for another driver", std::nullopt},
        {"remove", ODBC_REMOVE_DSN, {"DSN=sales;"}, "", true, 0, "",
         "[Other]\nDriver=Another Driver\nDatabase=/data/other.fdb\n\n"},
        // Failures are reported as such.
        {"cancel", ODBC_CONFIG_DSN, {"DSN=Sales", "Description=x"}, "command Cancel\n", false, 16,
         "The dialog was cancelled", std::nullopt},
        {"unattended add without a database", ODBC_ADD_DSN, {"DSN=New"}, "", false, 11,
         "A target database must be specified", std::nullopt},
        {"add without a name", ODBC_ADD_DSN, {}, "tab 2\ntype KVFB-1201 /x.fdb\ncommand OK\n", false, 11,
         "Invalid data source name: it is empty", std::nullopt},
        {"events that run out", ODBC_CONFIG_DSN, {"DSN=Sales"}, "tab 2\n", false, 11,
         "Nobody answered the dialog: its events ran out before it was closed", std::nullopt},
        {"missing event script", ODBC_CONFIG_DSN, {"DSN=Sales"}, "missing", false, 11,
         "Cannot read the event script " + missing_script + ": No such file or directory", std::nullopt},
        {"unknown command in the script", ODBC_CONFIG_DSN, {"DSN=Sales"}, "tab 2\ncommand Stop\n", false, 11,
         "Event script " + files.file("events") + ", line 2: command wants Back, Next, Test, OK or Cancel",
         std::nullopt},
        // Values are read as a person writes them, or refused.
        {"flag words and keys with blanks", ODBC_CONFIG_DSN,
         {"DSN=Sales", "Readonly=No", " Nowait = true ", "Dquote=On", "Charset = UTF8", "UID=bob"}, "", true, 0, "",
         sales_after({{"Readonly", "0"}, {"Nowait", "1"}, {"Dquote", "1"}, {"Charset", "UTF8"}, {"User", "bob"}})},
        {"PWD is the password; empty stores none", ODBC_CONFIG_DSN, {"DSN=Sales", "PWD="}, "", true, 0, "",
         sales_after({{"Password", ""}})},
        {"flag that is no flag", ODBC_CONFIG_DSN, {"DSN=Sales", "Readonly=maybe"}, "", false, 8,
         "Invalid value for Readonly: \"maybe\" is not Yes or No (also True/False, On/Off, 1/0)", std::nullopt},
        {"dialect that is no number", ODBC_CONFIG_DSN, {"DSN=Sales", "Dialect=abc"}, "", false, 8,
         "Invalid value for Dialect: \"abc\" is not an item number from 1 to 3", std::nullopt},
        {"transaction mode out of range", ODBC_CONFIG_DSN, {"DSN=Sales", "Txnmode=9"}, "", false, 8,
         "Invalid value for Txnmode: \"9\" is not an item number from 1 to 3", std::nullopt},
        // Limits count characters; what does not fit is refused, not cut.
        {"database of 297 characters", ODBC_CONFIG_DSN, {"DSN=Sales", "Database=/" + std::string(296, 'd')}, "",
         false, 8, "Invalid value for Database: longer than 255 characters", std::nullopt},
        {"password of 124 characters", ODBC_CONFIG_DSN, {"DSN=Sales", "Password=" + std::string(124, 'p')}, "",
         false, 8, "Invalid value for Password: longer than 123 characters", std::nullopt},
        {"password of 70 two-byte characters", ODBC_CONFIG_DSN, {"DSN=Sales", "Password=" + e_acute_70}, "", true, 0,
         "", sales_after({{"Password", scrambled(e_acute_70)}})},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::string before = store_user_sources(stored_sources);
        BOOL result = 0;
        if (row.script == "missing") {
            setenv("FBSETUP_EVENTS", missing_script.c_str(), 1);
            std::string attributes = attribute_string(row.entries);
            result = SQLConfigDataSource(nullptr, row.request, driver, attributes.c_str());
        } else {
            result = configure(row.request, row.entries, row.script);
        }
        EXPECT_EQ(bool(result), row.result);
        InstallerError last = last_installer_error();
        EXPECT_EQ(last.code, row.code);
        EXPECT_EQ(last.message, row.message);
        EXPECT_EQ(file_bytes(files.file("user-odbc.ini")), row.after.value_or(before));
    }
}

// A new user odbc.ini holds a password: only its owner may read it. A file
// that exists keeps the mode it has.
TEST_F(ThroughUnixOdbc, NewUserFileIsReadableByItsOwnerOnly)
{
    const std::string path = files.file("user-odbc.ini");
    ASSERT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {"DSN=Sales", "Database=/x.fdb", "PWD=secret"}));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    chmod(path.c_str(), 0640);
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {"DSN=Other", "Database=/y.fdb"}));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// An odbc.ini that cannot be written (here a directory stands in its place,
// which stops root too) fails the request and says so.
TEST_F(ThroughUnixOdbc, UnwritableFileFailsTheRequest)
{
    std::filesystem::create_directory(files.file("odbc-dir"));
    setenv("ODBCINI", files.file("odbc-dir").c_str(), 1);
    EXPECT_FALSE(configure(ODBC_ADD_DSN, {"DSN=Sales", "Database=/x.fdb"}));
    InstallerError last = last_installer_error();
    EXPECT_EQ(last.code, DWORD(ODBC_ERROR_REQUEST_FAILED));
    EXPECT_EQ(last.message, "Could not write the section of data source Sales to odbc.ini "
                            "(General error request failed); nothing was changed");
    std::filesystem::remove(files.file("odbc-dir"));
}

// A module installed without its interface description files fails every
// request that needs the dialog, naming what it missed.
TEST_F(ThroughUnixOdbc, MissingDescriptionFilesFailTheRequest)
{
    std::filesystem::create_directories(files.file("bare/lib"));
    std::filesystem::copy_file(FBSETUP_MODULE, files.file("bare/lib/fbsetup.so"),
                               std::filesystem::copy_options::overwrite_existing);
    write_file(files.file("odbcinst.ini"), std::string("[") + driver + "]\nDriver = /none.so\nSetup = " +
                                               files.file("bare/lib/fbsetup.so") + "\n");
    EXPECT_FALSE(configure(ODBC_ADD_DSN, {"DSN=Sales", "Database=/x.fdb"}));
    InstallerError last = last_installer_error();
    EXPECT_EQ(last.code, DWORD(ODBC_ERROR_REQUEST_FAILED));
    EXPECT_EQ(last.message, "Cannot find the interface description files (com.kestrova.fbsetup) of the module");
    EXPECT_TRUE(user_section("Sales").empty());
}

// unixODBC's configuration tools build their form from the module's property
// list: the installer's Name, Description and Driver, then every attribute.
TEST_F(ThroughUnixOdbc, PropertyListForUnixOdbcTools)
{
    HODBCINSTPROPERTY first = nullptr;
    std::string name = driver;
    ASSERT_EQ(ODBCINSTConstructProperties(name.data(), &first), ODBCINST_SUCCESS);
    struct Seen {
        std::string name, value;
        int type;
        std::vector<std::string> items;
        bool help;
    };
    std::vector<Seen> seen;
    for (HODBCINSTPROPERTY p = first; p; p = p->pNext) {
        Seen s{p->szName, p->szValue, p->nPromptType, {}, p->pszHelp && *p->pszHelp};
        for (char **item = p->aPromptData; item && *item; ++item) s.items.emplace_back(*item);
        seen.push_back(s);
    }
    ODBCINSTDestructProperties(&first);
    EXPECT_EQ(first, nullptr);

    const std::vector<std::string> yes_no = {"Yes", "No"}, items = {"1", "2", "3"};
    const std::vector<std::string> flags = {"Uidoverride", "Dquote", "Oldmetadata", "Readonly", "Execproc",
                                            "Commitselect", "Flushcommit", "Withschema", "Nullschema", "Padvarchar",
                                            "Withdefault", "Fixprecision", "Simpleunicode", "Wchardefaultc"};
    std::vector<std::string> names;
    for (const Seen &s : seen) names.push_back(s.name);
    std::vector<std::string> expected = {"Name", "Description", "Driver", "Database", "User", "Password", "Role",
                                         "Dialect"};
    expected.insert(expected.end(), flags.begin(), flags.end());
    expected.insert(expected.end(), {"Nowait", "Txnmode", "Charset"});
    ASSERT_EQ(names, expected);
    for (std::size_t i = 3; i < seen.size(); ++i) {
        const Seen &s = seen[i];
        SCOPED_TRACE(s.name);
        EXPECT_TRUE(s.help);
        if (s.name == "Password") {
            EXPECT_EQ(s.type, ODBCINST_PROMPTTYPE_TEXTEDIT_PASSWORD);
        } else if (s.name == "Dialect" || s.name == "Txnmode") {
            EXPECT_EQ(s.type, ODBCINST_PROMPTTYPE_LISTBOX);
            EXPECT_EQ(s.items, items);
            EXPECT_EQ(s.value, s.name == "Dialect" ? "3" : "1");
        } else if (s.name == "Database" || s.name == "User" || s.name == "Role" || s.name == "Charset") {
            EXPECT_EQ(s.type, ODBCINST_PROMPTTYPE_TEXTEDIT);
            EXPECT_EQ(s.value, "");
        } else {
            EXPECT_EQ(s.type, ODBCINST_PROMPTTYPE_LISTBOX);
            EXPECT_EQ(s.items, yes_no);
            EXPECT_EQ(s.value, "No");
        }
    }
}

// What unixODBC's tools store (Yes/No flags, the password typed) reads back
// in a configure.
TEST_F(ThroughUnixOdbc, ConfigureReadsWhatTheToolsStore)
{
    setup_test::store_user_sources(files.file("user-odbc.ini"),
                                   "[Sales]\nDriver=Kestrova Firebird\nDatabase=/x.fdb\nPassword=plain\n"
                                   "Readonly=Yes\nNowait=No\nDialect=1\n",
                                   "Sales", "Dialect", "1");
    EXPECT_TRUE(configure(ODBC_CONFIG_DSN, {"DSN=Sales"}));
    Keys keys = user_section("Sales");
    ASSERT_EQ(keys.size(), 24u);
    EXPECT_EQ(keys[2], (std::pair<std::string, std::string>{"Password", scrambled("plain")}));
    EXPECT_EQ(keys[3], (std::pair<std::string, std::string>{"Readonly", "1"}));
    EXPECT_EQ(keys[4], (std::pair<std::string, std::string>{"Nowait", "0"}));
    EXPECT_EQ(keys[5], (std::pair<std::string, std::string>{"Dialect", "1"}));
}

// A system data source: the installer sets the system mode, each profile
// write resets it, and the module restores it before every write, so all
// keys land in the system odbc.ini.
TEST_F(ThroughUnixOdbc, SystemDataSourceKeepsTheConfigurationMode)
{
    EXPECT_TRUE(configure(ODBC_ADD_SYS_DSN, {"dsn=Central", "database=/srv/central.fdb", "nowait=1"}));
    Keys keys = system_section("Central");
    ASSERT_EQ(keys.size(), 23u) << "no password given: none stored";
    EXPECT_EQ(keys[0], (std::pair<std::string, std::string>{"Driver", driver}));
    EXPECT_EQ(keys[20], (std::pair<std::string, std::string>{"Nowait", "1"}));
    EXPECT_EQ(keys[22], (std::pair<std::string, std::string>{"Charset", ""}));
    EXPECT_TRUE(user_section("Central").empty());

    // Configure and remove look for it in the system file too.
    EXPECT_TRUE(configure(ODBC_CONFIG_SYS_DSN, {"dsn=Central", "charset=UTF8"}));
    EXPECT_EQ(system_section("Central").back(), (std::pair<std::string, std::string>{"Charset", "UTF8"}));
    EXPECT_FALSE(configure(ODBC_CONFIG_DSN, {"dsn=Central", "charset=NONE"})) << "not a user data source";
    EXPECT_TRUE(configure(ODBC_REMOVE_SYS_DSN, {"dsn=Central"}));
    EXPECT_TRUE(system_section("Central").empty());
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

} // namespace
