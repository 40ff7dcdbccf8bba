// fbsetup.so as a desktop user meets it: unixODBC's SQLConfigDataSource loads
// the module, which finds a display (an Xvfb of the test) and shows the real
// GTK window. It is driven by an event script (FBSETUP_GTK_EVENTS) or by
// real keystrokes sent with xdotool from another process.
#include "firebird_sandbox.h"
#include "gtk_test_support.h"

#include <gtest/gtest.h>

using namespace setup_test;

namespace {

constexpr const char *driver = "Kestrova Firebird";
constexpr const char *window_title = "Kestrova Firebird ODBC Driver data source";

using Keys = std::vector<std::pair<std::string, std::string>>;

std::string attribute_string(const std::vector<std::string> &entries)
{
    std::string text;
    for (const std::string &e : entries) text += e + '\0';
    return text + '\0';
}

// xdotool waits for the dialog's window and gives it the keyboard; then one
// xdotool a step sends the keys through the X server's test extension, as a
// keyboard would (its "key" and "type" take every word after them, and keys
// sent to a named window would be synthetic events).
std::string keystrokes(const std::vector<std::string> &steps)
{
    std::string line = std::string("xdotool search --sync --onlyvisible --name '") + window_title +
                       "' windowfocus --sync %1 && sleep 0.3";
    for (const std::string &step : steps) line += " && xdotool " + step;
    return line;
}

class DesktopDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(xvfb_display().empty()) << "Xvfb could not be started"; }
    void SetUp() override
    {
        use_fresh_odbc_files(std::string("[") + driver + "]\nDriver = " + odbc_files().file("none.so") +
                             "\nSetup = " FBSETUP_MODULE "\n");
        for (const char *name : {"FBSETUP_EVENTS", "FBSETUP_GTK_EVENTS", "FBSETUP_HEADLESS"}) unsetenv(name);
    }
    void TearDown() override
    {
        for (const char *name : {"FBSETUP_EVENTS", "FBSETUP_GTK_EVENTS", "FBSETUP_HEADLESS"}) unsetenv(name);
    }

    BOOL configure(WORD request, const std::vector<std::string> &entries)
    {
        std::string attributes = attribute_string(entries);
        return SQLConfigDataSource(nullptr, request, driver, attributes.c_str());
    }

    // The request answered by a person at the keyboard (xdotool).
    BOOL configure_by_hand(WORD request, const std::vector<std::string> &entries,
                           const std::vector<std::string> &steps)
    {
        std::string line = keystrokes(steps);
        pid_t person = run_in_background(line);
        BOOL result = configure(request, entries);
        EXPECT_EQ(wait_for(person), 0) << line;
        return result;
    }

    void use_script(const char *variable, const std::string &script)
    {
        write_file(files.file("events"), script);
        setenv(variable, files.file("events").c_str(), 1);
    }

    Keys user_section(const std::string &name) { return read_section(files.file("user-odbc.ini"), name); }

    FirebirdSandbox &firebird = firebird_sandbox();
    const TempDir &files = odbc_files();
};

// The script of the headless tests plays on the GTK window: the connection
// test against a real database is shown (and answered), and OK writes.
TEST_F(DesktopDialog, EventScriptAddsADataSource)
{
    std::string database = firebird.dir().file("desktop.fdb");
    ASSERT_EQ(firebird.create_database(database), "");
    use_script("FBSETUP_GTK_EVENTS", "type KVFB-1101 Desktop\n"
                                     "command Next\n"
                                     "type KVFB-1201 " + database + "\n"
                                     "type KVFB-1202 SYSDBA\n"
                                     "type KVFB-1203 masterkey\n"
                                     "tab 3\n"
                                     "check KVFB-1303 on\n"
                                     "click KVFB-1006\n"
                                     "pick KVFB-1402 3\n"
                                     "command Test\n"
                                     "click KVFB-1001\n");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {}));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Connect test completed successfully"), std::string::npos) << said;
    EXPECT_EQ(said.find("no GTK window"), std::string::npos) << said;
    Keys keys = user_section("Desktop");
    ASSERT_EQ(keys.size(), 24u);
    EXPECT_EQ(keys[2].second, database);
    EXPECT_EQ(keys[8], (std::pair<std::string, std::string>{"Dquote", "1"}));
    EXPECT_EQ(keys[22], (std::pair<std::string, std::string>{"Txnmode", "3"}));
}

// A person: Ctrl+PageDown brings the next tab with the Database field, typed
// into; Tab moves to User; Enter presses OK. (Alt+N, the Next button's
// mnemonic, works too, but GTK shows the button pressed for a moment before
// it acts, which a script of keystrokes would have to wait out.)
TEST_F(DesktopDialog, KeystrokesAddADataSource)
{
    BOOL ok = configure_by_hand(ODBC_ADD_DSN, {"DSN=Typed"},
                                {"key ctrl+Page_Down", "type --delay 2 /srv/typed.fdb", "key Tab", "type --delay 2 SYSDBA",
                                 "key Return"});
    EXPECT_TRUE(ok);
    Keys keys = user_section("Typed");
    ASSERT_EQ(keys.size(), 23u) << "no password, no Password key";
    EXPECT_EQ(keys[2], (std::pair<std::string, std::string>{"Database", "/srv/typed.fdb"}));
    EXPECT_EQ(keys[3], (std::pair<std::string, std::string>{"User", "SYSDBA"}));
}

// Escape is Cancel: FALSE with error 16, and odbc.ini is not touched.
TEST_F(DesktopDialog, EscapeCancelsAndWritesNothing)
{
    std::string before = store_user_sources(files.file("user-odbc.ini"),
                                            "[Sales]\nDriver=Kestrova Firebird\nDatabase=/data/sales.fdb\n", "Sales",
                                            "Database", "/data/sales.fdb");
    BOOL ok = configure_by_hand(ODBC_CONFIG_DSN, {"DSN=Sales"},
                                {"key ctrl+Page_Down", "type --delay 2 /changed", "key Escape"});
    EXPECT_FALSE(ok);
    EXPECT_EQ(last_installer_error().code, DWORD(ODBC_ERROR_USER_CANCELED));
    EXPECT_EQ(file_bytes(files.file("user-odbc.ini")), before);
}

// With a display, FBSETUP_HEADLESS=1 and a headless event script still
// choose the headless back-end (the unattended answer writes at once).
TEST_F(DesktopDialog, HeadlessWhenAskedForDespiteTheDisplay)
{
    setenv("FBSETUP_HEADLESS", "1", 1);
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {"DSN=Asked", "Database=/data/asked.fdb"}));
    EXPECT_EQ(user_section("Asked").at(2).second, "/data/asked.fdb");
    unsetenv("FBSETUP_HEADLESS");
    use_script("FBSETUP_EVENTS", "tab 2\ntype KVFB-1201 /data/script.fdb\ncommand OK\n");
    EXPECT_TRUE(configure(ODBC_ADD_DSN, {"DSN=Scripted"}));
    EXPECT_EQ(user_section("Scripted").at(2).second, "/data/script.fdb");
}

} // namespace
