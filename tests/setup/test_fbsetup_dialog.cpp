// The setup dialog in-process: the entry points run it with an event source
// of the test, whose `call` events look at the window between user actions.
// Profile writes go through unixODBC's real installer library into files of
// the test; the test connection goes through the attach seam.
#include "connect_test.h"
#include "dialog.h"
#include "fbsetup.h"
#include "profile.h"
#include "setup_test_support.h"
#include "toolkit_events.h"
#include "toolkit_headless.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

using namespace setup_test;
using tk::Event;
using tk::EventKind;

namespace {

Event type(const std::string &id, const std::string &text) { return Event{EventKind::type, id, text, 0, 0, {}}; }
Event check(const std::string &id, bool on) { return Event{EventKind::check, id, {}, on ? 1 : 0, 0, {}}; }
Event pick(const std::string &id, int item) { return Event{EventKind::pick, id, {}, item, 0, {}}; }
Event tab(int n) { return Event{EventKind::tab, {}, {}, n, 0, {}}; }
Event click(const std::string &id) { return Event{EventKind::click, id, {}, 0, 0, {}}; }
Event command(const char *name) { return Event{EventKind::command, {}, {}, 0, tk::command_by_name(name), {}}; }
Event call(std::function<void()> f) { return Event{EventKind::call, {}, {}, 0, 0, std::move(f)}; }

tk::Control *control(const std::string &id) { return tk::find_control(tk::front_window(), id); }
std::string text_of(const std::string &id) { return tk::get_text(control(id)); }
bool shown(const std::string &id) { return tk::is_visible(control(id)); }

// The entries one after another, each ended by a NUL, then an empty entry.
std::string attribute_string(const std::vector<std::string> &entries)
{
    std::string text;
    for (const std::string &e : entries) text += e + '\0';
    return text + '\0';
}

// The pane shown of the mode's list, and that every other one is hidden.
int shown_tab(const std::vector<std::string> &panes)
{
    int found = 0;
    for (std::size_t i = 0; i < panes.size(); ++i)
        if (shown(panes[i])) found = found ? -1 : int(i + 1);
    return found;
}

const std::vector<std::string> dsn_panes = {"tabs-101", "tabs-102", "tabs-103", "tabs-104"};
const std::vector<std::string> nodsn_panes = {"tabs-3102", "tabs-3103", "tabs-3104"};

std::vector<std::string> alert_messages()
{
    std::vector<std::string> messages;
    for (const tk::Alert &a : tk::alerts()) {
        EXPECT_EQ(a.title, "Kestrova Firebird ODBC Driver");
        messages.push_back(a.message);
    }
    return messages;
}

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        use_fresh_odbc_files();
        tk::record_alerts(true);
        tk::clear_alerts();
    }
    void TearDown() override
    {
        tk::set_event_source(nullptr);
        fbsetup::set_attach_function(nullptr);
        fbsetup::installer_calls() = fbsetup::InstallerCalls{};
        tk::record_alerts(false);
    }

    BOOL config_dsn(WORD request, const std::vector<std::string> &entries, std::vector<Event> events)
    {
        tk::EventList source(std::move(events));
        tk::set_event_source(&source);
        std::string attributes = attribute_string(entries);
        BOOL ok = ConfigDSN(nullptr, request, "Kestrova Firebird", attributes.c_str());
        tk::set_event_source(nullptr);
        return ok;
    }

    int complete(ConnectInfo &info, std::vector<Event> events)
    {
        tk::EventList source(std::move(events));
        tk::set_event_source(&source);
        int rc = complete_info(&info);
        tk::set_event_source(nullptr);
        return rc;
    }

    std::vector<std::pair<std::string, std::string>> section(const std::string &name)
    {
        return read_section(dir.file("user-odbc.ini"), name);
    }

    const TempDir &dir = odbc_files();
};

TEST_F(SetupDialog, BackAndNextFollowTheTabsOfTheDataSourceDialog)
{
    tk::Control *tabs = nullptr;
    int draws = 0;
    config_dsn(ODBC_ADD_DSN, {}, {
        call([&] {
            tabs = control("tabs-100");
            EXPECT_EQ(shown_tab(dsn_panes), 1);
            EXPECT_FALSE(tk::is_enabled(control("KVFB-1005")));
            EXPECT_TRUE(tk::is_enabled(control("KVFB-1006")));
            EXPECT_EQ(tk::identifier(tk::focused_control(tk::front_window())), "KVFB-1101");
        }),
        command("Back"),
        call([&] { EXPECT_EQ(shown_tab(dsn_panes), 1); }),
        click("KVFB-1006"),
        call([&] {
            EXPECT_EQ(shown_tab(dsn_panes), 2);
            EXPECT_EQ(tk::get_value(tabs), 2);
            EXPECT_TRUE(tk::is_enabled(control("KVFB-1005")));
            EXPECT_EQ(tk::identifier(tk::focused_control(tk::front_window())), "KVFB-1201");
        }),
        command("Next"),
        command("Next"),
        call([&] {
            EXPECT_EQ(shown_tab(dsn_panes), 4);
            EXPECT_FALSE(tk::is_enabled(control("KVFB-1006")));
            draws = tk::draw_count(tabs);
        }),
        command("Next"),
        click("KVFB-1006"),
        call([&] {
            EXPECT_EQ(shown_tab(dsn_panes), 4);
            EXPECT_EQ(tk::get_value(tabs), 4);
            EXPECT_EQ(tk::draw_count(tabs), draws) << "Next at the last tab must change nothing";
        }),
        command("Back"),
        call([&] {
            EXPECT_EQ(shown_tab(dsn_panes), 3);
            EXPECT_TRUE(tk::is_enabled(control("KVFB-1006")));
        }),
        command("Cancel"),
    });
    EXPECT_TRUE(alert_messages().empty());
}

TEST_F(SetupDialog, ConnectionOnlyDialogHasThreeTabsAndShiftedNumbers)
{
    ConnectInfo info{};
    int rc = complete(info, {
        call([&] {
            EXPECT_EQ(tk::front_window() ? tk::find_control(tk::front_window(), "KVFB-1201") : nullptr, nullptr);
            EXPECT_EQ(shown_tab(nodsn_panes), 1);
            EXPECT_FALSE(tk::is_enabled(control("KVFB-2005")));
            EXPECT_EQ(control("KVFB-2101"), nullptr);
        }),
        command("Next"),
        command("Next"),
        call([&] {
            EXPECT_EQ(shown_tab(nodsn_panes), 3);
            EXPECT_FALSE(tk::is_enabled(control("KVFB-2006")));
            EXPECT_EQ(tk::get_value(control("tabs-2100")), 3);
        }),
        command("Next"),
        call([&] { EXPECT_EQ(shown_tab(nodsn_panes), 3); }),
        command("Cancel"),
    });
    EXPECT_EQ(rc, SQL_NO_DATA);
}

TEST_F(SetupDialog, ClickingTheShownTabIsLeftToDefaultHandling)
{
    int draws = 0;
    config_dsn(ODBC_ADD_DSN, {}, {
        call([&] { draws = tk::draw_count(control("tabs-100")); }),
        tab(1),
        call([&] {
            EXPECT_EQ(tk::last_event_status(), tk::Status::not_handled);
            EXPECT_EQ(tk::draw_count(control("tabs-100")), draws);
            EXPECT_EQ(shown_tab(dsn_panes), 1);
        }),
        tab(3),
        call([&] {
            EXPECT_EQ(tk::last_event_status(), tk::Status::handled);
            EXPECT_EQ(tk::draw_count(control("tabs-100")), draws + 1);
            EXPECT_EQ(shown_tab(dsn_panes), 3);
            EXPECT_TRUE(tk::is_enabled(control("KVFB-1005")));
            EXPECT_TRUE(tk::is_enabled(control("KVFB-1006")));
        }),
        tab(4),
        call([&] { EXPECT_FALSE(tk::is_enabled(control("KVFB-1006"))); }),
        command("Cancel"),
    });
}

TEST_F(SetupDialog, OkAndTestWithoutDatabaseAreBlockedOnTabTwo)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {}, {
        type("KVFB-1101", "Sales"),
        command("OK"),
        call([&] {
            EXPECT_TRUE(tk::window_visible(tk::front_window())) << "the dialog must stay open";
            EXPECT_EQ(shown_tab(dsn_panes), 2);
            EXPECT_EQ(tk::get_value(control("tabs-100")), 2);
            EXPECT_EQ(alert_messages(), std::vector<std::string>{"A target database must be specified"});
        }),
        tab(1),
        command("Test"),
        call([&] {
            EXPECT_EQ(shown_tab(dsn_panes), 2);
            EXPECT_EQ(alert_messages().size(), 2u);
        }),
        type("KVFB-1201", "/data/sales.fdb"),
        command("OK"),
    });
    EXPECT_TRUE(ok);
    auto keys = section("Sales");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[1], (std::pair<std::string, std::string>{"Description", ""}));
    EXPECT_EQ(keys[2], (std::pair<std::string, std::string>{"Database", "/data/sales.fdb"}));
}

TEST_F(SetupDialog, CancelWritesNothing)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {"DSN=Sales", "database=/data/x.fdb"}, {
        type("KVFB-1102", "changed"),
        command("Cancel"),
    });
    EXPECT_FALSE(ok);
    InstallerError last = last_installer_error();
    EXPECT_EQ(last.code, DWORD(ODBC_ERROR_USER_CANCELED));
    EXPECT_EQ(last.message, "The dialog was cancelled");
    EXPECT_TRUE(section("Sales").empty());
}

// OK in the data-source dialog writes all 23 keys in order under the name.
TEST_F(SetupDialog, OkWritesEveryKeyInOrder)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {}, {
        type("KVFB-1101", "Warehouse"),
        type("KVFB-1102", "Stock and orders"),
        tab(2),
        type("KVFB-1201", "/srv/db/warehouse.fdb"),
        type("KVFB-1202", "SYSDBA"),
        type("KVFB-1203", "masterkey"),
        type("KVFB-1204", "CLERK"),
        tab(3),
        pick("KVFB-1301", 2),
        check("KVFB-1303", true),
        check("KVFB-1309", true),
        check("KVFB-1315", true),
        tab(4),
        check("KVFB-1401", true),
        pick("KVFB-1402", 3),
        type("KVFB-1403", "UTF8"),
        command("OK"),
    });
    EXPECT_TRUE(ok);
    char scrambled[2 * 9 + 9];
    encrypt_pw("masterkey", scrambled);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Driver", "Kestrova Firebird"}, {"Description", "Stock and orders"},
        {"Database", "/srv/db/warehouse.fdb"}, {"User", "SYSDBA"}, {"Password", scrambled}, {"Role", "CLERK"},
        {"Dialect", "2"}, {"Uidoverride", "0"}, {"Dquote", "1"}, {"Oldmetadata", "0"}, {"Readonly", "0"},
        {"Execproc", "0"}, {"Commitselect", "0"}, {"Flushcommit", "0"}, {"Withschema", "1"},
        {"Nullschema", "0"}, {"Padvarchar", "0"}, {"Withdefault", "0"}, {"Fixprecision", "0"},
        {"Simpleunicode", "0"}, {"Wchardefaultc", "1"}, {"Nowait", "1"}, {"Txnmode", "3"}, {"Charset", "UTF8"},
    };
    EXPECT_EQ(section("Warehouse"), expected);
}

TEST_F(SetupDialog, NewDataSourceStartsWithDefaultChoicesAndEditableName)
{
    config_dsn(ODBC_ADD_DSN, {"description=ignored without a name"}, {
        call([&] {
            EXPECT_TRUE(tk::is_active(control("KVFB-1101")));
            EXPECT_EQ(tk::get_value(control("KVFB-1301")), 3);
            EXPECT_EQ(tk::marked_item(control("KVFB-1301")), 3);
            EXPECT_EQ(tk::get_value(control("KVFB-1402")), 1);
            EXPECT_EQ(text_of("KVFB-1102"), "");
        }),
        command("Cancel"),
    });
}

// Attributes fill the dialog: keys in any case with blanks around them, the
// last "dsn" wins without its ';', UID and PWD stand for User and Password,
// passwords scrambled or plain, flags as words, other keys ignored.
TEST_F(SetupDialog, AttributeStringFillsTheDialog)
{
    char scrambled[64];
    encrypt_pw("s3cret", scrambled);
    config_dsn(ODBC_ADD_DSN,
               {"DSN=First", "DATABASE=/data/x.fdb", "Dialect=1", "txnmode=2", "dsn=Sales;", "UID=ann",
                std::string("PWD=") + scrambled, "dquote=1", "readonly=yes", "nowait=OFF", " charset = WIN1252 ",
                "databasefile=/not/this.fdb", "unknown=1", "role", "Description=Monthly figures"},
               {
                   call([&] {
                       EXPECT_EQ(text_of("KVFB-1101"), "Sales");
                       EXPECT_FALSE(tk::is_active(control("KVFB-1101")));
                       EXPECT_EQ(text_of("KVFB-1102"), "Monthly figures");
                       EXPECT_EQ(text_of("KVFB-1201"), "/data/x.fdb");
                       EXPECT_EQ(text_of("KVFB-1202"), "ann");
                       EXPECT_EQ(tk::get_password(control("KVFB-1203")), "s3cret");
                       EXPECT_EQ(text_of("KVFB-1204"), "");
                       EXPECT_EQ(tk::get_value(control("KVFB-1301")), 1);
                       EXPECT_EQ(tk::marked_item(control("KVFB-1301")), 1);
                       EXPECT_EQ(tk::get_value(control("KVFB-1402")), 2);
                       EXPECT_EQ(tk::get_value(control("KVFB-1303")), 1);
                       EXPECT_EQ(tk::get_value(control("KVFB-1305")), 1);
                       EXPECT_EQ(text_of("KVFB-1403"), "WIN1252");
                   }),
                   type("KVFB-1101", "Renamed"),  // read-only: ignored
                   command("OK"),
               });
    auto keys = section("Sales");
    ASSERT_EQ(keys.size(), 24u);
    EXPECT_EQ(keys[3].second, "ann");
    EXPECT_EQ(keys[4].second, scrambled);
    EXPECT_EQ(keys[6], (std::pair<std::string, std::string>{"Dialect", "1"}));
    EXPECT_EQ(keys[22], (std::pair<std::string, std::string>{"Txnmode", "2"}));
    EXPECT_TRUE(section("Renamed").empty());
}

TEST_F(SetupDialog, PlainStoredPasswordIsShownAsItIs)
{
    config_dsn(ODBC_CONFIG_DSN, {"dsn=Plain", "password=KVZ1:zz:Z1"}, {
        call([&] { EXPECT_EQ(tk::get_password(control("KVFB-1203")), "KVZ1:zz:Z1"); }),
        command("Cancel"),
    });
}

TEST_F(SetupDialog, InstallerErrors)
{
    struct Case {
        WORD request;
        std::vector<std::string> entries;
        bool null_attributes;
        DWORD code;
        const char *message;
    } cases[] = {
        {4, {"dsn=Sales"}, false, ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request"},
        {0, {}, false, ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request"},
        {ODBC_CONFIG_DSN, {}, false, ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes"},
        {ODBC_REMOVE_DSN, {}, true, ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes"},
        {ODBC_REMOVE_DSN, {"database=/x.fdb"}, false, ODBC_ERROR_INVALID_NAME,
         "Invalid DSN Specified to ODBC_REMOVE_DSN"},
        {ODBC_REMOVE_DSN, {"dsn=;"}, false, ODBC_ERROR_INVALID_NAME, "Invalid DSN Specified to ODBC_REMOVE_DSN"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        std::string attributes = attribute_string(c.entries);
        EXPECT_FALSE(ConfigDSN(nullptr, c.request, "Kestrova Firebird", c.null_attributes ? nullptr : attributes.c_str()));
        InstallerError last = last_installer_error();
        EXPECT_EQ(last.code, c.code);
        EXPECT_EQ(last.message, c.message);
    }
    EXPECT_TRUE(tk::alerts().empty()) << "no dialog for a refused request";
}

TEST_F(SetupDialog, RemoveDropsTheSemicolonOfTheName)
{
    config_dsn(ODBC_ADD_DSN, {"dsn=Sales", "database=/x.fdb"}, {command("OK")});
    config_dsn(ODBC_ADD_DSN, {"dsn=Other", "database=/y.fdb"}, {command("OK")});
    ASSERT_FALSE(section("Sales").empty());
    std::string attributes = attribute_string({"DSN=Sales;"});
    EXPECT_TRUE(ConfigDSN(nullptr, ODBC_REMOVE_DSN, "Kestrova Firebird", attributes.c_str()));
    EXPECT_TRUE(section("Sales").empty());
    EXPECT_FALSE(section("Other").empty());
}

ConnectInfo sample_info(const char *dsn);

// The installer's write that fails, counting from 1, and how many were made.
int failing_write = 0;
int writes = 0;

BOOL failing_write_string(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (++writes == failing_write) {
        SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, "General error request failed");
        return 0;
    }
    return SQLWritePrivateProfileString(section, key, value, file);
}

// A write that fails part-way puts the data source back as it was, or
// removes the half-written new one, and says which key failed.
TEST_F(SetupDialog, FailedWritesLeaveTheDataSourceAsItWas)
{
    const std::string stored = "[Sales]\nDriver=Kestrova Firebird\nDatabase=/data/sales.fdb\nUser=ann\nPort=3050\n";
    struct Case {
        const char *what;
        WORD request;
        std::vector<std::string> entries;
        int fail_at;
        const char *message;
    } cases[] = {
        {"configure, first key", ODBC_CONFIG_DSN, {"DSN=Sales", "Description=new"}, 1,
         "Could not write Description of data source Sales to odbc.ini (General error request failed); the data source was left as it was"},
        {"configure, last key", ODBC_CONFIG_DSN, {"DSN=Sales", "User=bob", "Charset=UTF8"}, 23,
         "Could not write Charset of data source Sales to odbc.ini (General error request failed); the data source was left as it was"},
        {"add over our own", ODBC_ADD_DSN, {"DSN=Sales", "Database=/x.fdb"}, 5,
         "Could not write Dialect of data source Sales to odbc.ini (General error request failed); the data source was left as it was"},
        {"add of a new one", ODBC_ADD_DSN, {"DSN=Fresh", "Database=/x.fdb"}, 3,
         "Could not write User of data source Fresh to odbc.ini (General error request failed); the half-written data source was removed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string before = store_user_sources(dir.file("user-odbc.ini"), stored, "Sales", "Port", "3050");
        fbsetup::installer_calls().write_string = failing_write_string;
        failing_write = c.fail_at;
        writes = 0;
        tk::clear_alerts();
        EXPECT_FALSE(config_dsn(c.request, c.entries, {command("OK")}));
        fbsetup::installer_calls() = fbsetup::InstallerCalls{};
        // unixODBC drops its own record on the next call; ours quotes it.
        auto records = installer_errors();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].code, DWORD(ODBC_ERROR_REQUEST_FAILED));
        EXPECT_EQ(records[0].message, c.message);
        EXPECT_EQ(alert_messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(file_bytes(dir.file("user-odbc.ini")), before);
    }
}

BOOL refused_removal(LPCSTR)
{
    SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, "General error request failed");
    return 0;
}
BOOL silent_refused_removal(LPCSTR) { return 0; }

// A refused removal leaves the installer's own record as the only one; when
// the installer posted nothing the module says what failed.
TEST_F(SetupDialog, FailedRemovalPostsEachRecordOnce)
{
    struct Case {
        BOOL (*remove)(LPCSTR);
        const char *message;
    } cases[] = {
        {refused_removal, "General error request failed"},
        {silent_refused_removal, "Could not remove data source Sales from odbc.ini"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        store_user_sources(dir.file("user-odbc.ini"), "[Sales]\nDriver=Kestrova Firebird\n", "Sales", "Driver",
                           "Kestrova Firebird");
        fbsetup::installer_calls().remove_dsn = c.remove;
        std::string attributes = attribute_string({"DSN=Sales"});
        EXPECT_FALSE(ConfigDSN(nullptr, ODBC_REMOVE_DSN, "Kestrova Firebird", attributes.c_str()));
        fbsetup::installer_calls() = fbsetup::InstallerCalls{};
        auto records = installer_errors();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].code, DWORD(ODBC_ERROR_REQUEST_FAILED));
        EXPECT_EQ(records[0].message, c.message);
        EXPECT_FALSE(section("Sales").empty());
    }
}

// OK checks the fields as a request's values are checked: the alert says
// why and the dialog stays open for a correction.
TEST_F(SetupDialog, OkRefusesFieldsThatCannotBeWritten)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {}, {
        type("KVFB-1101", "Sales (old)"),
        tab(2),
        type("KVFB-1201", "/data/sales.fdb"),
        command("OK"),
        type("KVFB-1201", "/data/sales.fdb\r[Evil]"),
        tab(1),
        type("KVFB-1101", "Sales"),
        command("OK"),
        call([&] {
            EXPECT_TRUE(tk::window_visible(tk::front_window()));
            EXPECT_EQ(alert_messages(),
                      (std::vector<std::string>{"Invalid data source name: it may not contain any of []{}(),;?*=!@\\",
                                                "Invalid value for Database: line breaks are not allowed"}));
        }),
        tab(2),
        type("KVFB-1201", "/data/sales.fdb"),
        command("OK"),
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(section("Sales")[2], (std::pair<std::string, std::string>{"Database", "/data/sales.fdb"}));
}

// An empty password stores no Password key, and clearing it in a configure
// removes the stored one: the driver then asks when it connects.
TEST_F(SetupDialog, EmptyPasswordStoresNone)
{
    store_user_sources(dir.file("user-odbc.ini"),
                       "[Sales]\nDriver=Kestrova Firebird\nDatabase=/x.fdb\nPassword=KVZ1:6c49:Z1\n", "Sales",
                       "Database", "/x.fdb");
    EXPECT_TRUE(config_dsn(ODBC_CONFIG_DSN, {"DSN=Sales"}, {
        call([&] { EXPECT_EQ(tk::get_password(control("KVFB-1203")), "ab"); }),
        tab(2),
        type("KVFB-1203", ""),
        command("OK"),
    }));
    auto keys = section("Sales");
    EXPECT_EQ(keys.size(), 23u);
    for (const auto &key : keys) EXPECT_NE(key.first, "Password");
}

// complete_error from one thread while complete_info's dialog runs in
// another: the second waits for the first (run under AddressSanitizer).
TEST_F(SetupDialog, CompleteErrorWaitsForAnOpenDialog)
{
    constexpr int calls = 200;
    std::atomic<bool> dialog_open{false};
    std::thread alerts_thread;
    std::vector<Event> events = {call([&] {
        dialog_open = true;
        alerts_thread = std::thread([] {
            for (int i = 0; i < calls; ++i) complete_error("Unable to complete network request");
        });
    })};
    for (int i = 0; i < 500; ++i) events.push_back(command(i % 2 ? "Back" : "Next"));
    events.push_back(call([&] { EXPECT_TRUE(tk::alerts().empty()) << "no alert while the dialog is open"; }));
    events.push_back(command("Cancel"));
    ConnectInfo info = sample_info("");
    EXPECT_EQ(complete(info, std::move(events)), SQL_NO_DATA);
    ASSERT_TRUE(dialog_open);
    alerts_thread.join();
    EXPECT_EQ(tk::alerts().size(), tk::alert_memory) << "alerts kept are bounded";
}

TEST(ConfigDriver, CopiesItsMessageCutToTheBuffer)
{
    char buffer[10];
    std::memset(buffer, 'x', sizeof buffer);
    WORD length = 0;
    EXPECT_TRUE(ConfigDriver(nullptr, ODBC_INSTALL_DRIVER, "d", "", buffer, sizeof buffer, &length));
    EXPECT_STREQ(buffer, "Return me");
    EXPECT_EQ(length, 53);

    char full[80];
    EXPECT_TRUE(ConfigDriver(nullptr, ODBC_REMOVE_DRIVER, nullptr, nullptr, full, sizeof full, &length));
    EXPECT_STREQ(full, "Return message from the Kestrova Firebird ODBC Driver");
    EXPECT_EQ(std::strlen(full), 53u);
    EXPECT_TRUE(ConfigDriver(nullptr, ODBC_INSTALL_DRIVER, nullptr, nullptr, nullptr, 0, nullptr));
    EXPECT_TRUE(ConfigDriver(nullptr, ODBC_INSTALL_DRIVER, nullptr, nullptr, buffer, 0, &length));

    EXPECT_FALSE(ConfigDriver(nullptr, ODBC_CONFIG_DRIVER, nullptr, nullptr, full, sizeof full, &length));
    InstallerError last = last_installer_error();
    EXPECT_EQ(last.code, DWORD(ODBC_ERROR_INVALID_REQUEST_TYPE));
    EXPECT_EQ(last.message, "Invalid type of request to ConfigDriver");
}

ConnectInfo sample_info(const char *dsn)
{
    ConnectInfo info{};
    std::strcpy(info.dsn, dsn);
    std::strcpy(info.user, "ann");
    std::strcpy(info.password, "plain-pw");
    std::strcpy(info.database, "/data/x.fdb");
    std::strcpy(info.role, "CLERK");
    std::strcpy(info.charset, "UTF8");
    info.dialect = 1;
    info.txnmode = 2;
    info.dquote = 1;
    info.wchardefaultc = 1;
    return info;
}

TEST_F(SetupDialog, CompleteInfoCancelLeavesTheRecordAlone)
{
    ConnectInfo info = sample_info("");
    ConnectInfo before = info;
    int rc = complete(info, {
        call([&] {
            EXPECT_EQ(text_of("KVFB-2201"), "/data/x.fdb");
            EXPECT_EQ(tk::get_password(control("KVFB-2203")), "plain-pw");
            EXPECT_EQ(tk::get_value(control("KVFB-2301")), 1);
        }),
        tab(2),
        type("KVFB-2201", "/changed.fdb"),
        command("Cancel"),
    });
    EXPECT_EQ(rc, SQL_NO_DATA);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
}

TEST_F(SetupDialog, CompleteInfoOkFillsTheRecord)
{
    write_file(dir.file("user-odbc.ini"), "[Sales]\nDriver=Kestrova Firebird\nDescription=Monthly figures\n");
    ConnectInfo info = sample_info("Sales");
    int rc = complete(info, {
        call([&] {
            EXPECT_EQ(text_of("KVFB-1101"), "Sales");
            EXPECT_FALSE(tk::is_active(control("KVFB-1101")));
            EXPECT_EQ(text_of("KVFB-1102"), "Monthly figures");
            EXPECT_EQ(text_of("KVFB-1204"), "CLERK");
            EXPECT_EQ(tk::get_value(control("KVFB-1303")), 1);
            EXPECT_EQ(tk::get_value(control("KVFB-1402")), 2);
        }),
        tab(2),
        type("KVFB-1202", "bob"),
        type("KVFB-1203", "n3w"),
        tab(3),
        check("KVFB-1303", false),
        check("KVFB-1313", true),
        command("OK"),
    });
    EXPECT_EQ(rc, 0);
    char plain[128];
    EXPECT_STREQ(info.dsn, "Sales");
    EXPECT_STREQ(info.user, "bob");
    EXPECT_STRNE(info.password, "n3w");
    EXPECT_STREQ(decrypt_pw(info.password, plain), "n3w");
    EXPECT_STREQ(info.database, "/data/x.fdb");
    EXPECT_EQ(info.dialect, 1) << "an untouched choice goes back as it came";
    EXPECT_EQ(info.txnmode, 2);
    EXPECT_EQ(info.dquote, 0);
    EXPECT_EQ(info.fixprecision, 1);
    EXPECT_EQ(info.wchardefaultc, 1);
    EXPECT_EQ(section("Sales").size(), 2u) << "complete_info writes nothing";
}

// ConnectInfo texts hold 127 bytes. What does not fit whole is refused on OK
// (a cut database or password would connect wrongly); a password whose
// scrambled form would not fit goes back plain.
TEST_F(SetupDialog, CompleteInfoKeepsTextsWithinTheRecord)
{
    ConnectInfo info = sample_info("");
    ConnectInfo before = info;
    std::string e_acute_64;
    for (int i = 0; i < 64; ++i) e_acute_64 += "\xc3\xa9";  // 128 bytes
    int rc = complete(info, {tab(1), type("KVFB-2201", e_acute_64), command("OK"),
                             call([&] {
                                 EXPECT_EQ(alert_messages(), std::vector<std::string>{
                                     "The Database is too long for the connection: at most 127 bytes"});
                             })});
    EXPECT_EQ(rc, SQL_NO_DATA);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);

    std::string long_password(100, 'p');
    rc = complete(info, {type("KVFB-2201", e_acute_64.substr(2)), type("KVFB-2203", long_password), command("OK")});
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(info.database), e_acute_64.substr(2));
    EXPECT_EQ(std::string(info.password), long_password);
    char plain[128];
    EXPECT_EQ(std::string(decrypt_pw(info.password, plain)), long_password);

    std::string fits(59, 'q');  // 2 * 59 + 8 = 126
    rc = complete(info, {type("KVFB-2203", fits), command("OK")});
    EXPECT_EQ(std::strlen(info.password), 126u);
    EXPECT_EQ(std::string(decrypt_pw(info.password, plain)), fits);

    // 70 x "é" is 70 characters for the field but 140 bytes: neither form fits.
    rc = complete(info, {type("KVFB-2203", e_acute_64 + e_acute_64.substr(0, 12)), command("OK")});
    EXPECT_EQ(rc, SQL_NO_DATA);
    EXPECT_EQ(alert_messages().back(), "The Password is too long for the connection: at most 127 bytes");
    EXPECT_EQ(complete_info(nullptr), SQL_NO_DATA);
}

TEST_F(SetupDialog, CompleteErrorShowsAStopAlert)
{
    EXPECT_EQ(complete_error("Unable to connect"), 0);
    std::string long_message = std::string(254, 'a') + "\xc3\xa9" + "tail";
    complete_error(long_message.c_str());
    complete_error(nullptr);
    EXPECT_EQ(alert_messages(), (std::vector<std::string>{"Unable to connect", std::string(254, 'a'), ""}));
}

// The test connection sends exactly the parameter buffer of the fields.
struct Attach {
    std::string database;
    std::string dpb;
    int calls = 0;
};
Attach attach_seen;

ISC_STATUS fake_attach(ISC_STATUS *status, short name_length, const ISC_SCHAR *name, isc_db_handle *handle,
                       short dpb_length, const ISC_SCHAR *dpb)
{
    ++attach_seen.calls;
    attach_seen.database.assign(name, std::size_t(name_length));
    attach_seen.dpb.assign(dpb, std::size_t(dpb_length));
    EXPECT_EQ(*handle, isc_db_handle(0));
    status[0] = 1;
    status[1] = 0;
    status[2] = 0;
    return 0;
}

TEST_F(SetupDialog, TestSendsTheParameterBufferOfTheFields)
{
    fbsetup::set_attach_function(fake_attach);
    attach_seen = Attach{};
    config_dsn(ODBC_ADD_DSN, {"dsn=T", "database=/data/t.fdb", "user=SYSDBA", "password=masterkey",
                              "role=R1", "charset=UTF8"},
               {command("Test"), command("Cancel")});
    EXPECT_EQ(attach_seen.calls, 1);
    EXPECT_EQ(attach_seen.database, "/data/t.fdb");
    const std::string expected("\x01"
                               "\x1c\x06SYSDBA"
                               "\x1d\x09masterkey"
                               "\x30\x04UTF8"
                               "\x3c\x02R1",
                               1 + 8 + 11 + 6 + 4);
    EXPECT_EQ(attach_seen.dpb, expected);
    EXPECT_EQ(alert_messages(), std::vector<std::string>{"Connect test completed successfully"});

    // Without a user name neither user nor password goes, but character set
    // and role always do, empty ones included.
    attach_seen = Attach{};
    config_dsn(ODBC_ADD_DSN, {"dsn=T", "database=/data/t.fdb", "password=ignored"},
               {command("Test"), command("Cancel")});
    EXPECT_EQ(attach_seen.dpb, std::string("\x01\x30\x00\x3c\x00", 5));
}

TEST(DatabaseParameterBuffer, ItemsAreCodeLengthText)
{
    EXPECT_EQ(fbsetup::build_dpb("u", "", "", ""), std::string("\x01\x1c\x01u\x1d\x00\x30\x00\x3c\x00", 10));
    std::string long_user(300, 'u');
    std::string dpb = fbsetup::build_dpb(long_user, "p", "", "");
    EXPECT_EQ(static_cast<unsigned char>(dpb[2]), 255u) << "a length byte holds at most 255";
    EXPECT_EQ(dpb.size(), 1u + 257u + 3u + 2u + 2u);
}

// Scrambled passwords: markers of five and three characters around two
// lower-case hexadecimal digits a byte, and back again for every byte value.
TEST(PasswordScrambling, RoundTripsEveryByteAndLength)
{
    for (std::size_t n = 0; n <= 123; ++n) {
        std::string password;
        for (std::size_t i = 0; i < n; ++i) password += char(1 + (i * 37 + n) % 255);
        std::string out(2 * n + 9, '\xff');
        encrypt_pw(password.c_str(), out.data());
        ASSERT_EQ(std::strlen(out.c_str()), 2 * n + 8);
        std::string_view text(out.c_str());
        EXPECT_EQ(text.substr(0, 5), "KVZ1:");
        EXPECT_EQ(text.substr(text.size() - 3), ":Z1");
        for (char c : text.substr(5, 2 * n)) ASSERT_TRUE(std::isdigit(c) || (c >= 'a' && c <= 'f')) << c;
        std::string back(text.size() + 1, '\xff');
        ASSERT_EQ(std::string(decrypt_pw(out.c_str(), back.data())), password) << "length " << n;
    }
    std::string all;
    for (int b = 1; b <= 255; ++b) all += char(b);
    std::string out(2 * all.size() + 9, '\0'), back(out.size(), '\0');
    encrypt_pw(all.c_str(), out.data());
    EXPECT_EQ(std::string(decrypt_pw(out.c_str(), back.data())), all);
}

TEST(PasswordScrambling, KnownFormAndPlainTexts)
{
    char out[64];
    // 'a' = 0x61 swaps to 0x16, xor 'z' (0x7a) = 0x6c; 'b' 0x62 -> 0x26 ^ 'o' 0x6f = 0x49.
    EXPECT_STREQ(encrypt_pw("ab", out), "KVZ1:6c49:Z1");
    EXPECT_STREQ(encrypt_pw("", out), "KVZ1::Z1");
    const char *plain[] = {"", "secret", "KVZ1:", "KVZ1:Z1", "KVZ1:6c4:Z1", "KVZ1:6g49:Z1", "kvz1:6c49:Z1",
                           "xKVZ1:6c49:Z1"};
    for (const char *text : plain) EXPECT_STREQ(decrypt_pw(text, out), text);
    EXPECT_STREQ(decrypt_pw("KVZ1:6C49:Z1", out), "ab");
    EXPECT_STREQ(decrypt_pw("KVZ1::Z1", out), "");
}

} // namespace

namespace {

// Both description files hold every control of the dialog under its
// identifier, with the kind the dialog code expects, and the tab panes.
TEST(DescriptionFiles, HoldEveryControlByIdentifier)
{
    struct Mode {
        const char *file;
        const char *window;
        int offset;
        std::vector<std::string> panes;
        const char *tabs;
    } modes[] = {
        {"ZUVazad.ui", "Dialog", 0, {"tabs-101", "tabs-102", "tabs-103", "tabs-104"}, "tabs-100"},
        {"ZUVazadNoDsn.ui", "DialogNoDsn", 1000, {"tabs-3102", "tabs-3103", "tabs-3104"}, "tabs-2100"},
    };
    std::string resources = tk::resource_dir(fbsetup::bundle_identifier);
    ASSERT_FALSE(resources.empty()) << "the build tree's resource directory";
    for (const Mode &m : modes) {
        SCOPED_TRACE(m.file);
        std::unique_ptr<tk::Window, void (*)(tk::Window *)> window(
            tk::create_window(resources + "/" + m.file, m.window), tk::dispose_window);
        ASSERT_NE(window, nullptr);
        auto id = [&](int number) { return "KVFB-" + std::to_string(number + m.offset); };
        auto number = [](const std::string &text) { return std::stoi(text.substr(5)); };
        std::vector<int> fields = {1201, 1202, 1204, 1403};
        if (m.offset == 0) fields.insert(fields.end(), {1101, 1102});
        for (int n : fields) {
            tk::Control *c = tk::find_control(window.get(), id(n));
            ASSERT_NE(c, nullptr) << id(n);
            tk::set_text(c, std::string(300, 'x'));
            EXPECT_GE(tk::get_text(c).size(), 127u) << id(n);
        }
        tk::Control *password = tk::find_control(window.get(), id(1203));
        tk::set_password(password, std::string(200, 'p'));
        EXPECT_EQ(tk::get_password(password).size(), 123u);
        // Limits count characters and never cut one in two.
        std::string e_acute_200;
        for (int i = 0; i < 200; ++i) e_acute_200 += "\xc3\xa9";
        tk::set_password(password, e_acute_200);
        EXPECT_EQ(tk::get_password(password), e_acute_200.substr(0, 2 * 123));
        tk::Control *database = tk::find_control(window.get(), id(1201));
        tk::set_text(database, e_acute_200 + e_acute_200);
        std::size_t limit = m.offset ? 127 : 255;  // the connection's fields hold 127 characters
        EXPECT_EQ(tk::get_text(database), (e_acute_200 + e_acute_200).substr(0, 2 * limit));
        for (int n = 1302; n <= 1315; ++n) EXPECT_EQ(tk::get_value(tk::find_control(window.get(), id(n))), 0) << n;
        EXPECT_EQ(tk::get_value(tk::find_control(window.get(), id(1401))), 0);
        for (int n : {1301, 1402}) EXPECT_EQ(tk::item_count(tk::find_control(window.get(), id(n))), 3) << n;
        for (int n : {1005, 1006}) EXPECT_NE(tk::find_control(window.get(), tk::four_cc("KVFB"), n + m.offset), nullptr);
        tk::Control *tabs = tk::find_control(window.get(), tk::four_cc("tabs"), number(m.tabs));
        ASSERT_NE(tabs, nullptr);
        tk::set_value(tabs, 99);
        EXPECT_EQ(tk::get_value(tabs), int(m.panes.size())) << "one tab per pane";
        for (const std::string &pane : m.panes) EXPECT_NE(tk::find_control(window.get(), pane), nullptr) << pane;
    }
}

TEST(DescriptionFiles, UnreadableOrMissingWindowsGiveNoWindow)
{
    EXPECT_EQ(tk::create_window("/nonexistent/ZUVazad.ui", "Dialog"), nullptr);
    EXPECT_EQ(tk::read_window("<interface><object class=\"GtkWindow\" id=\"Dialog\">", "Dialog"), nullptr);
    EXPECT_EQ(tk::read_window("<interface><object class=\"GtkWindow\" id=\"Other\"/></interface>", "Dialog"), nullptr);
    EXPECT_NE(tk::read_window("<interface><object class=\"GtkWindow\" id=\"Dialog\"/></interface>", "Dialog"), nullptr);
}

TEST(EventScript, ReadsEachKindOfLineAndNamesTheFaultyOne)
{
    std::vector<Event> events;
    std::string error;
    ASSERT_TRUE(tk::parse_event_script("# comment\n\n  type KVFB-1201 /data/a b.fdb\r\ntype KVFB-1204\n"
                                       "check KVFB-1303 on\ncheck KVFB-1304 0\npick KVFB-1301 2\ntab 3\n"
                                       "click KVFB-1006\ncommand OK\ncommand Cancel\ncommand Test",
                                       events, error))
        << error;
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[0].target, "KVFB-1201");
    EXPECT_EQ(events[0].text, "/data/a b.fdb");
    EXPECT_EQ(events[1].text, "");
    EXPECT_EQ(events[2].number, 1);
    EXPECT_EQ(events[3].number, 0);
    EXPECT_EQ(events[4].kind, EventKind::pick);
    EXPECT_EQ(events[5].number, 3);
    EXPECT_EQ(events[6].kind, EventKind::click);
    EXPECT_EQ(events[7].command, tk::command_ok);
    EXPECT_EQ(events[8].command, tk::command_cancel);
    EXPECT_EQ(events[9].command, tk::four_cc("Test"));

    const char *faulty[] = {"tab x", "command Stop", "check KVFB-1303 maybe", "pick KVFB-1301", "press KVFB-1",
                            "type", "click KVFB-1006 twice"};
    for (const char *line : faulty) {
        events.clear();
        EXPECT_FALSE(tk::parse_event_script(std::string("tab 1\n") + line + "\n", events, error)) << line;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }
}

} // namespace
