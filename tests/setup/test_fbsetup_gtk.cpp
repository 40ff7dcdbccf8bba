// The setup dialog as real GTK 3 windows on an X server of the test (Xvfb):
// the entry points run it in-process with the GTK back-end, an event source
// of the test plays a person's input through the widgets' own signals, and
// `call` events look at the widgets, the focus and the screen. Screenshots of
// every tab are kept in the build tree (FBSETUP_SCREENSHOT_DIR).
#include "dialog.h"
#include "fbsetup.h"
#include "gtk_test_support.h"
#include "setup_test_support.h"
#include "toolkit_events.h"

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <set>

using namespace setup_test;
using tk::Event;
using tk::EventKind;

namespace {

Event type(const std::string &id, const std::string &text) { return Event{EventKind::type, id, text, 0, 0, {}}; }
Event tab(int n) { return Event{EventKind::tab, {}, {}, n, 0, {}}; }
Event click(const std::string &id) { return Event{EventKind::click, id, {}, 0, 0, {}}; }
Event command(const char *name) { return Event{EventKind::command, {}, {}, 0, tk::command_by_name(name), {}}; }
Event call(std::function<void()> f) { return Event{EventKind::call, {}, {}, 0, 0, std::move(f)}; }

std::string attribute_string(const std::vector<std::string> &entries)
{
    std::string text;
    for (const std::string &e : entries) text += e + '\0';
    return text + '\0';
}

// The shown toplevel GtkBuilder named `name` ("Dialog", "DialogNoDsn").
GtkWidget *dialog_window(const char *name = "Dialog")
{
    GList *windows = gtk_window_list_toplevels();
    GtkWidget *found = nullptr;
    for (GList *w = windows; w; w = w->next) {
        const char *id = gtk_buildable_get_name(GTK_BUILDABLE(w->data));
        if (id && std::string(id) == name && gtk_widget_get_visible(GTK_WIDGET(w->data))) found = GTK_WIDGET(w->data);
    }
    g_list_free(windows);
    return found;
}

void collect(GtkWidget *widget, std::vector<GtkWidget *> &all)
{
    all.push_back(widget);
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), [](GtkWidget *child, gpointer data) {
            collect(child, *static_cast<std::vector<GtkWidget *> *>(data));
        }, &all);
}

std::vector<GtkWidget *> widgets_of(GtkWidget *window)
{
    std::vector<GtkWidget *> all;
    if (window) collect(window, all);
    return all;
}

GtkWidget *widget(const std::string &id, const char *window = "Dialog")
{
    for (GtkWidget *w : widgets_of(dialog_window(window))) {
        const char *name = gtk_buildable_get_name(GTK_BUILDABLE(w));
        if (name && id == name) return w;
    }
    return nullptr;
}

// Runs GTK's loop for a while so that what is pending is drawn on the server.
void let_gtk_draw()
{
    for (int round = 0; round < 20; ++round) {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        g_usleep(10 * 1000);
    }
    gdk_display_sync(gdk_display_get_default());
}

// Takes the dialog window as it is on the X server, keeps it as PNG and
// returns the number of distinct colours in it (1 for a blank window).
std::size_t screenshot(const std::string &name)
{
    let_gtk_draw();
    GtkWidget *window = dialog_window();
    if (!window) return 0;
    GdkWindow *on_screen = gtk_widget_get_window(window);
    GdkPixbuf *shot = gdk_pixbuf_get_from_window(on_screen, 0, 0, gdk_window_get_width(on_screen),
                                                 gdk_window_get_height(on_screen));
    if (!shot) return 0;
    std::filesystem::create_directories(FBSETUP_SCREENSHOT_DIR);
    std::string path = std::string(FBSETUP_SCREENSHOT_DIR) + "/" + name + ".png";
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) << path;
    std::set<std::uint32_t> colours;
    int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
    const guchar *pixels = gdk_pixbuf_read_pixels(shot);
    for (int y = 0; y < gdk_pixbuf_get_height(shot); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(shot); ++x) {
            const guchar *p = pixels + y * stride + x * channels;
            colours.insert(std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2]);
        }
    g_object_unref(shot);
    return colours.size();
}

std::string focused_id()
{
    GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(dialog_window()));
    const char *name = focus ? gtk_buildable_get_name(GTK_BUILDABLE(focus)) : nullptr;
    return name ? name : "";
}

int current_tab(const char *tabs = "tabs-100", const char *window = "Dialog")
{
    return gtk_notebook_get_current_page(GTK_NOTEBOOK(widget(tabs, window))) + 1;
}

bool sensitive(const std::string &id) { return gtk_widget_is_sensitive(widget(id)); }

class GtkDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(xvfb_display().empty()) << "Xvfb could not be started";
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "GTK cannot open " << xvfb_display();
    }
    void SetUp() override
    {
        use_fresh_odbc_files();
        tk::set_backend_choice(tk::BackendChoice::gtk);
        tk::record_alerts(true);
        tk::clear_alerts();
    }
    void TearDown() override
    {
        tk::set_event_source(nullptr);
        tk::set_backend_choice(tk::BackendChoice::automatic);
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

    std::vector<std::pair<std::string, std::string>> section(const std::string &name)
    {
        return read_section(dir.file("user-odbc.ini"), name);
    }

    const TempDir &dir = odbc_files();
};

// Each tab on screen, reached by Next, a tab click and the Next button:
// pages, Back and Next follow the dialog logic, the focus lands in the
// first field, and the screenshot of each tab shows a drawn window.
TEST_F(GtkDialog, EveryTabOnScreen)
{
    auto on_tab = [](int n, const char *first_field) {
        return call([n, first_field] {
            EXPECT_EQ(tk::backend_in_use(), "gtk");
            EXPECT_EQ(current_tab(), n);
            EXPECT_EQ(sensitive("KVFB-1005"), n > 1) << "Back on tab " << n;
            EXPECT_EQ(sensitive("KVFB-1006"), n < 4) << "Next on tab " << n;
            if (first_field) {
                EXPECT_EQ(focused_id(), first_field) << "tab " << n;
            }
            EXPECT_GT(screenshot("fbsetup-tab-" + std::to_string(n)), 16u) << "tab " << n << " looks blank";
        });
    };
    BOOL ok = config_dsn(ODBC_ADD_DSN, {}, {
        type("KVFB-1101", "Sales"),
        type("KVFB-1102", "Monthly sales figures"),
        on_tab(1, nullptr),
        command("Next"),
        type("KVFB-1201", "/srv/firebird/sales.fdb"),
        type("KVFB-1202", "SYSDBA"),
        type("KVFB-1203", "masterkey"),
        on_tab(2, "KVFB-1201"),
        tab(3),
        on_tab(3, nullptr),
        click("KVFB-1006"),
        type("KVFB-1403", "UTF8"),
        on_tab(4, "KVFB-1403"),
        click("KVFB-1006"),  // disabled at the last tab: ignored
        call([] { EXPECT_EQ(current_tab(), 4); }),
        command("Back"),
        call([] { EXPECT_EQ(current_tab(), 3); }),
        command("OK"),
    });
    EXPECT_TRUE(ok);
    auto keys = section("Sales");
    ASSERT_EQ(keys.size(), 24u);
    EXPECT_EQ(keys[2], (std::pair<std::string, std::string>{"Database", "/srv/firebird/sales.fdb"}));
    EXPECT_EQ(dialog_window(), nullptr) << "the window is gone after OK";
}

// Keyboard alone: every field has a label whose mnemonic reaches it, every
// field and check box an accessible name, text fields press OK on Enter,
// and OK is the default button. Both description files.
TEST_F(GtkDialog, FieldsAreReachableByKeyboardAndNamed)
{
    auto check_window = [](const char *window) {
        int fields = 0;
        for (GtkWidget *w : widgets_of(dialog_window(window))) {
            const char *name = gtk_buildable_get_name(GTK_BUILDABLE(w));
            if (!name || std::string(name).rfind("KVFB-", 0) != 0) continue;
            bool entry = GTK_IS_ENTRY(w), menu = GTK_IS_COMBO_BOX(w), box = GTK_IS_CHECK_BUTTON(w);
            if (!entry && !menu && !box) continue;
            ++fields;
            const char *accessible = atk_object_get_name(gtk_widget_get_accessible(w));
            EXPECT_TRUE(accessible && *accessible) << name << " has no accessible name";
            if (entry || menu) {
                GList *labels = gtk_widget_list_mnemonic_labels(w);
                bool labelled = labels && gtk_label_get_mnemonic_keyval(GTK_LABEL(labels->data)) != GDK_KEY_VoidSymbol;
                EXPECT_TRUE(labelled) << name << " has no label with a mnemonic";
                g_list_free(labels);
            }
            if (entry) {
                EXPECT_TRUE(gtk_entry_get_activates_default(GTK_ENTRY(w))) << name;
            }
        }
        EXPECT_GT(fields, 20) << window;
    };
    config_dsn(ODBC_ADD_DSN, {}, {
        call([&] {
            check_window("Dialog");
            GtkWidget *ok = widget("KVFB-1001");
            EXPECT_TRUE(ok && gtk_widget_has_default(ok)) << "OK is the default button";
        }),
        command("Cancel"),
    });
    ConnectInfo info{};
    tk::EventList source({call([&] { check_window("DialogNoDsn"); }), command("Cancel")});
    tk::set_event_source(&source);
    EXPECT_EQ(complete_info(&info), SQL_NO_DATA);
}

// The description files are valid GtkBuilder for GTK's own checker.
TEST_F(GtkDialog, DescriptionFilesValidate)
{
    for (const char *file : {"ZUVazad.ui", "ZUVazadNoDsn.ui"}) {
        std::string command = "gtk-builder-tool validate " FBSETUP_SOURCE_DIR "/" + std::string(file);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
}

// The window's close button is Cancel: FALSE with error 16, nothing written.
TEST_F(GtkDialog, CloseButtonCancelsAndWritesNothing)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {"DSN=Closed", "Database=/x.fdb"}, {
        call([] { gtk_window_close(GTK_WINDOW(dialog_window())); }),
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(last_installer_error().code, DWORD(ODBC_ERROR_USER_CANCELED));
    EXPECT_TRUE(section("Closed").empty());
    EXPECT_TRUE(tk::alerts().empty());
}

// OK without a database: the alert is shown, the dialog stays on tab 2 for
// the correction, and the corrected dialog is written.
TEST_F(GtkDialog, RefusedOkShowsAnAlertAndTabTwo)
{
    BOOL ok = config_dsn(ODBC_ADD_DSN, {"DSN=Later"}, {
        command("OK"),
        call([] {
            EXPECT_EQ(current_tab(), 2);
            EXPECT_EQ(focused_id(), "KVFB-1201");
        }),
        type("KVFB-1201", "/data/later.fdb"),
        click("KVFB-1001"),
    });
    EXPECT_TRUE(ok);
    ASSERT_EQ(tk::alerts().size(), 1u);
    EXPECT_EQ(tk::alerts()[0].message, "A target database must be specified");
    EXPECT_EQ(section("Later").at(2).second, "/data/later.fdb");
}

// GTK shows only UTF-8. A stored text in another encoding is shown with
// replacement characters, and written back as it was unless edited.
TEST_F(GtkDialog, TextsGtkCannotShowComeBackUnchanged)
{
    const std::string latin1 = "Caf\xe9 figures";
    store_user_sources(dir.file("user-odbc.ini"),
                       "[Sales]\nDriver=Kestrova Firebird\nDescription=" + latin1 + "\nDatabase=/data/s.fdb\n",
                       "Sales", "Database", "/data/s.fdb");
    BOOL ok = config_dsn(ODBC_CONFIG_DSN, {"DSN=Sales"}, {
        call([] {
            const char *shown = gtk_entry_get_text(GTK_ENTRY(widget("KVFB-1102")));
            EXPECT_TRUE(g_utf8_validate(shown, -1, nullptr));
            EXPECT_EQ(std::string(shown), "Caf\xef\xbf\xbd figures");
        }),
        command("OK"),
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(section("Sales").at(1).second, latin1);

    ok = config_dsn(ODBC_CONFIG_DSN, {"DSN=Sales"}, {type("KVFB-1102", "Caf\xc3\xa9 figures"), command("OK")});
    EXPECT_TRUE(ok);
    EXPECT_EQ(section("Sales").at(1).second, "Caf\xc3\xa9 figures");
}

// complete_info in the connection-only window: a tab clicked by a person
// goes through the dialog, and OK fills the record.
TEST_F(GtkDialog, ConnectionOnlyWindowCompletesTheRecord)
{
    ConnectInfo info{};
    std::snprintf(info.database, sizeof info.database, "%s", "/data/x.fdb");
    info.dialect = 3;
    info.txnmode = 1;
    tk::EventList source({
        call([] {
            EXPECT_EQ(current_tab("tabs-2100", "DialogNoDsn"), 1);
            // A person's click on the third tab.
            gtk_notebook_set_current_page(GTK_NOTEBOOK(widget("tabs-2100", "DialogNoDsn")), 2);
        }),
        call([] {
            EXPECT_TRUE(gtk_widget_is_sensitive(widget("KVFB-2005", "DialogNoDsn")));
            EXPECT_FALSE(gtk_widget_is_sensitive(widget("KVFB-2006", "DialogNoDsn")));
        }),
        type("KVFB-2403", "WIN1252"),
        tab(1),
        type("KVFB-2202", "ann"),
        command("OK"),
    });
    tk::set_event_source(&source);
    EXPECT_EQ(complete_info(&info), 0);
    EXPECT_STREQ(info.charset, "WIN1252");
    EXPECT_STREQ(info.user, "ann");
    EXPECT_STREQ(info.database, "/data/x.fdb");
    EXPECT_EQ(info.dialect, 3);
}

} // namespace
