/*
** The GTK 3 back-end of the toolkit, built as the module fbsetup_gtk.so so
** that only desktops need GTK. A window is made by GtkBuilder from the same
** description file as the headless one; its controls are the widgets whose
** ids are "KVFB-nnnn" or "tabs-nnnn", each with a small record of what the
** toolkit adds (enabled/active state, the tab control's hit handler, a text
** field's bytes). The buttons' action names ("dialog.OK") reach the
** window's command handler through a GAction group; Escape and the close
** button send Cancel. The event loop is a GMainLoop; an event source, when
** given, is played one event per tick, as a person would. GTK is not
** thread-safe: the module's entry points are serialised, and a program should
** open its dialogs from one thread.
*/
#include "toolkit_backend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <unordered_map>

namespace tk::gtk {
namespace {

struct DialogWindow;

enum class Kind { other, text, password, check, menu, button, tabs, page };

struct ControlRecord {
    DialogWindow *window = nullptr;
    GtkWidget *widget = nullptr;
    Kind kind = Kind::other;
    std::string id;
    std::uint32_t signature = 0;
    int number = 0;
    std::uint32_t command = 0;  // buttons: the command their action sends
    bool enabled = true;
    bool active = true;
    // Text fields: the bytes last set and what the entry showed for them; a
    // text GTK cannot show (not UTF-8) comes back unchanged unless edited.
    std::string given;
    std::string shown;
    ControlHitHandler hit = nullptr;
    void *hit_data = nullptr;
};

struct DialogWindow {
    GtkWidget *window = nullptr;
    std::vector<std::unique_ptr<ControlRecord>> controls;
    std::unordered_map<GtkWidget *, ControlRecord *> by_widget;
    GSimpleActionGroup *actions = nullptr;
    CommandHandler handler = nullptr;
    void *handler_data = nullptr;
    int quiet = 0;  // above 0 while the back-end itself changes a tab
};

struct Player {
    EventSource *source = nullptr;
    bool cancel_sent = false;
    guint timer = 0;
};

struct Loop {
    GMainLoop *loop = nullptr;          // while run_event_loop runs
    std::vector<DialogWindow *> shown;  // front window last
};

Loop &state()
{
    static Loop loop;
    return loop;
}

// The pace of played events: a person's quick hand, and time for GTK to draw.
constexpr guint event_interval_ms = 10;

void note(const std::string &text) { std::fprintf(stderr, "fbsetup: %s\n", text.c_str()); }

Window *handle(DialogWindow *w) { return reinterpret_cast<Window *>(w); }
DialogWindow *record(Window *w) { return reinterpret_cast<DialogWindow *>(w); }
Control *handle(ControlRecord *c) { return reinterpret_cast<Control *>(c); }
ControlRecord *record(Control *c) { return reinterpret_cast<ControlRecord *>(c); }
const ControlRecord *record(const Control *c) { return reinterpret_cast<const ControlRecord *>(c); }

// GTK shows UTF-8 only: anything else is shown with replacement characters.
std::string displayable(std::string_view text)
{
    if (g_utf8_validate(text.data(), gssize(text.size()), nullptr)) return std::string(text);
    gchar *valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

// "KVFB-1201" gives signature 'KVFB' and number 1201.
bool parse_identifier(ControlRecord &c)
{
    const std::string &id = c.id;
    if (id.size() < 6 || id[4] != '-') return false;
    auto [end, ec] = std::from_chars(id.data() + 5, id.data() + id.size(), c.number);
    if (ec != std::errc() || end != id.data() + id.size()) return false;
    const char sig[5] = {id[0], id[1], id[2], id[3], 0};
    c.signature = four_cc(sig);
    return true;
}

Kind kind_of(GtkWidget *widget)
{
    if (GTK_IS_ENTRY(widget)) return gtk_entry_get_visibility(GTK_ENTRY(widget)) ? Kind::text : Kind::password;
    if (GTK_IS_CHECK_BUTTON(widget)) return Kind::check;
    if (GTK_IS_COMBO_BOX(widget)) return Kind::menu;
    if (GTK_IS_BUTTON(widget)) return Kind::button;
    if (GTK_IS_NOTEBOOK(widget)) return Kind::tabs;
    if (GTK_IS_NOTEBOOK(gtk_widget_get_parent(widget))) return Kind::page;
    return Kind::other;
}

int item_count(const ControlRecord *c)
{
    GtkTreeModel *model = gtk_combo_box_get_model(GTK_COMBO_BOX(c->widget));
    return model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
}

bool takes_text(const ControlRecord *c) { return c->kind == Kind::text || c->kind == Kind::password; }

// Shown now: the widget and every widget around it visible, and each
// notebook page on the way the notebook's current page.
bool shown_now(GtkWidget *widget)
{
    for (GtkWidget *w = widget; w; w = gtk_widget_get_parent(w)) {
        if (!gtk_widget_get_visible(w)) return false;
        GtkWidget *parent = gtk_widget_get_parent(w);
        if (GTK_IS_NOTEBOOK(parent)) {
            GtkNotebook *notebook = GTK_NOTEBOOK(parent);
            if (gtk_notebook_get_nth_page(notebook, gtk_notebook_get_current_page(notebook)) != w) return false;
        }
    }
    return true;
}

// A control a person could use now: shown, enabled and active.
bool usable(const ControlRecord *c) { return shown_now(c->widget) && c->enabled && c->active; }

// Applies the enabled and active states: an inactive text field stays
// focusable (its text can be copied) but cannot be edited.
void apply_state(ControlRecord *c)
{
    if (takes_text(c)) {
        gtk_editable_set_editable(GTK_EDITABLE(c->widget), c->active);
        gtk_widget_set_sensitive(c->widget, c->enabled);
        return;
    }
    bool on = c->enabled && c->active;
    const char *action = c->kind == Kind::button ? gtk_actionable_get_action_name(GTK_ACTIONABLE(c->widget)) : nullptr;
    if (action && g_str_has_prefix(action, "dialog.")) {
        // A button with an action follows the action's enabled state.
        GAction *a = g_action_map_lookup_action(G_ACTION_MAP(c->window->actions), action + 7);
        if (a) g_simple_action_set_enabled(G_SIMPLE_ACTION(a), on);
    } else {
        gtk_widget_set_sensitive(c->widget, on);
    }
}

Status send_command(DialogWindow *w, std::uint32_t command)
{
    if (!w->handler) return Status::not_handled;
    return w->handler(handle(w), command, w->handler_data);
}

void on_action(GSimpleAction *action, GVariant *, gpointer data)
{
    send_command(static_cast<DialogWindow *>(data), command_by_name(g_action_get_name(G_ACTION(action))));
}

gboolean on_delete(GtkWidget *, GdkEvent *, gpointer data)
{
    send_command(static_cast<DialogWindow *>(data), command_cancel);
    return TRUE;  // the dialog logic ends the loop; the window goes with dispose_window
}

gboolean on_key_press(GtkWidget *, GdkEventKey *event, gpointer data)
{
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    send_command(static_cast<DialogWindow *>(data), command_cancel);
    return TRUE;
}

// A person switched tabs (click, keyboard or mnemonic): the dialog's hit
// handler runs once the notebook shows the new page.
void on_switch_page(GtkNotebook *, GtkWidget *, guint, gpointer data)
{
    auto *c = static_cast<ControlRecord *>(data);
    if (c->window->quiet == 0 && c->hit) c->hit(handle(c), c->hit_data);
}

void add_actions(DialogWindow *w)
{
    static const GActionEntry entries[] = {
        {"Back", on_action, nullptr, nullptr, nullptr, {}}, {"Next", on_action, nullptr, nullptr, nullptr, {}},
        {"Test", on_action, nullptr, nullptr, nullptr, {}}, {"OK", on_action, nullptr, nullptr, nullptr, {}},
        {"Cancel", on_action, nullptr, nullptr, nullptr, {}},
    };
    w->actions = g_simple_action_group_new();
    g_action_map_add_action_entries(G_ACTION_MAP(w->actions), entries, G_N_ELEMENTS(entries), w);
    gtk_widget_insert_action_group(w->window, "dialog", G_ACTION_GROUP(w->actions));
}

void add_control(DialogWindow *w, GtkWidget *widget)
{
    auto c = std::make_unique<ControlRecord>();
    c->window = w;
    c->widget = widget;
    c->id = gtk_buildable_get_name(GTK_BUILDABLE(widget));
    if (!parse_identifier(*c)) return;
    c->kind = kind_of(widget);
    if (c->kind == Kind::button) {
        const char *action = gtk_actionable_get_action_name(GTK_ACTIONABLE(widget));
        if (action && g_str_has_prefix(action, "dialog.")) c->command = command_by_name(action + 7);
    }
    if (c->kind == Kind::tabs) g_signal_connect_after(widget, "switch-page", G_CALLBACK(on_switch_page), c.get());
    w->by_widget[widget] = c.get();
    w->controls.push_back(std::move(c));
}

// Every toplevel the file made other than `keep` goes at once.
void destroy_other_windows(GtkBuilder *builder, GObject *keep)
{
    GSList *objects = gtk_builder_get_objects(builder);
    for (GSList *o = objects; o; o = o->next)
        if (o->data != keep && GTK_IS_WINDOW(o->data)) gtk_widget_destroy(GTK_WIDGET(o->data));
    g_slist_free(objects);
}

Window *create_window(const std::string &path, std::string_view window_name)
{
    GtkBuilder *builder = gtk_builder_new();
    GError *error = nullptr;
    if (!gtk_builder_add_from_file(builder, path.c_str(), &error)) {
        note(std::string("cannot build the window from ") + path + ": " + (error ? error->message : "?"));
        g_clear_error(&error);
        destroy_other_windows(builder, nullptr);
        g_object_unref(builder);
        return nullptr;
    }
    GObject *found = gtk_builder_get_object(builder, std::string(window_name).c_str());
    destroy_other_windows(builder, found);
    if (!found || !GTK_IS_WINDOW(found)) {
        if (found && GTK_IS_WIDGET(found)) gtk_widget_destroy(GTK_WIDGET(found));
        g_object_unref(builder);
        return nullptr;
    }
    auto w = std::make_unique<DialogWindow>();
    w->window = GTK_WIDGET(g_object_ref(found));
    GSList *objects = gtk_builder_get_objects(builder);
    for (GSList *o = objects; o; o = o->next)
        if (GTK_IS_WIDGET(o->data) && o->data != found) add_control(w.get(), GTK_WIDGET(o->data));
    g_slist_free(objects);
    g_object_unref(builder);  // the window holds its widgets from here on

    add_actions(w.get());
    gtk_window_set_modal(GTK_WINDOW(w->window), TRUE);
    g_signal_connect(w->window, "delete-event", G_CALLBACK(on_delete), w.get());
    g_signal_connect(w->window, "key-press-event", G_CALLBACK(on_key_press), w.get());
    return handle(w.release());
}

void hide_window(Window *window)
{
    DialogWindow *w = record(window);
    gtk_widget_hide(w->window);
    auto &shown = state().shown;
    shown.erase(std::remove(shown.begin(), shown.end(), w), shown.end());
}

void dispose_window(Window *window)
{
    DialogWindow *w = record(window);
    gtk::hide_window(window);
    g_signal_handlers_disconnect_by_data(w->window, w);
    for (auto &c : w->controls) g_signal_handlers_disconnect_by_data(c->widget, c.get());
    gtk_widget_destroy(w->window);
    g_object_unref(w->window);
    g_object_unref(w->actions);
    gdk_display_flush(gdk_display_get_default());  // gone from the screen now, not at the next loop
    delete w;
}

Control *find_control(Window *window, std::uint32_t signature, int number)
{
    for (auto &c : record(window)->controls)
        if (c->signature == signature && c->number == number && signature != 0) return handle(c.get());
    return nullptr;
}

std::int32_t get_value(const Control *control)
{
    const ControlRecord *c = record(control);
    switch (c->kind) {
    case Kind::check: return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget)) ? 1 : 0;
    case Kind::menu: return gtk_combo_box_get_active(GTK_COMBO_BOX(c->widget)) + 1;
    case Kind::tabs: return gtk_notebook_get_current_page(GTK_NOTEBOOK(c->widget)) + 1;
    default: return 0;
    }
}

// Values are clamped to the control's range as in the headless back-end.
// Setting the tab control is not a person's click: no hit handler runs.
void set_value(Control *control, std::int32_t value)
{
    ControlRecord *c = record(control);
    switch (c->kind) {
    case Kind::check: gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), value != 0); break;
    case Kind::menu:
        if (int n = item_count(c)) gtk_combo_box_set_active(GTK_COMBO_BOX(c->widget), std::clamp(value, 1, n) - 1);
        break;
    case Kind::tabs:
        if (int n = gtk_notebook_get_n_pages(GTK_NOTEBOOK(c->widget))) {
            ++c->window->quiet;
            gtk_notebook_set_current_page(GTK_NOTEBOOK(c->widget), std::clamp(value, 1, n) - 1);
            --c->window->quiet;
        }
        break;
    default: break;
    }
}

std::string entry_text(const ControlRecord *c)
{
    std::string now = gtk_entry_get_text(GTK_ENTRY(c->widget));
    return now == c->shown ? c->given : now;
}

void set_entry_text(ControlRecord *c, std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    text = first_characters(text, std::size_t(std::max(0, gtk_entry_get_max_length(GTK_ENTRY(c->widget)))));
    c->given = std::string(text);
    gtk_entry_set_text(GTK_ENTRY(c->widget), displayable(text).c_str());
    c->shown = gtk_entry_get_text(GTK_ENTRY(c->widget));
}

std::string get_text(const Control *control)
{
    const ControlRecord *c = record(control);
    return c->kind == Kind::text ? entry_text(c) : std::string();
}

void set_text(Control *control, std::string_view text)
{
    if (record(control)->kind == Kind::text) set_entry_text(record(control), text);
}

std::string get_password(const Control *control)
{
    const ControlRecord *c = record(control);
    return c->kind == Kind::password ? entry_text(c) : std::string();
}

void set_password(Control *control, std::string_view text)
{
    if (record(control)->kind == Kind::password) set_entry_text(record(control), text);
}

// A notebook shows one page at a time and hiding a page would take its tab
// away: showing a page makes it the current one, hiding it leaves it be.
void show(Control *control)
{
    ControlRecord *c = record(control);
    if (c->kind != Kind::page) {
        gtk_widget_show(c->widget);
        return;
    }
    GtkNotebook *notebook = GTK_NOTEBOOK(gtk_widget_get_parent(c->widget));
    int page = gtk_notebook_page_num(notebook, c->widget);
    if (page < 0 || page == gtk_notebook_get_current_page(notebook)) return;
    ++c->window->quiet;
    gtk_notebook_set_current_page(notebook, page);
    --c->window->quiet;
}

void hide(Control *control)
{
    ControlRecord *c = record(control);
    if (c->kind != Kind::page) gtk_widget_hide(c->widget);
}

void set_state(Control *control, bool ControlRecord::*flag, bool on)
{
    ControlRecord *c = record(control);
    c->*flag = on;
    apply_state(c);
}

void activate(Control *control) { set_state(control, &ControlRecord::active, true); }
void deactivate(Control *control) { set_state(control, &ControlRecord::active, false); }
void enable(Control *control) { set_state(control, &ControlRecord::enabled, true); }
void disable(Control *control) { set_state(control, &ControlRecord::enabled, false); }
void draw(Control *control) { gtk_widget_queue_draw(record(control)->widget); }

void show_window(Window *window)
{
    DialogWindow *w = record(window);
    auto &shown = state().shown;
    if (std::find(shown.begin(), shown.end(), w) == shown.end()) shown.push_back(w);
    gtk_widget_show(w->window);
    gtk_window_present(GTK_WINDOW(w->window));
}

void clear_focus(Window *window) { gtk_window_set_focus(GTK_WINDOW(record(window)->window), nullptr); }

// The widgets shown now, in reading order: grids by row then column, other
// containers in their own order, a notebook's current page only.
void reading_order(GtkWidget *widget, std::vector<GtkWidget *> &out)
{
    out.push_back(widget);
    if (!GTK_IS_CONTAINER(widget) || GTK_IS_ENTRY(widget) || GTK_IS_BUTTON(widget) || GTK_IS_COMBO_BOX(widget)) return;
    std::vector<GtkWidget *> children;
    if (GTK_IS_NOTEBOOK(widget)) {
        GtkNotebook *notebook = GTK_NOTEBOOK(widget);
        if (GtkWidget *page = gtk_notebook_get_nth_page(notebook, gtk_notebook_get_current_page(notebook)))
            children.push_back(page);
    } else {
        GList *list = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList *l = list; l; l = l->next) children.push_back(GTK_WIDGET(l->data));
        g_list_free(list);
    }
    if (GTK_IS_GRID(widget)) {
        auto position = [widget](GtkWidget *child) {
            int top = 0, left = 0;
            gtk_container_child_get(GTK_CONTAINER(widget), child, "top-attach", &top, "left-attach", &left, nullptr);
            return std::pair(top, left);
        };
        std::stable_sort(children.begin(), children.end(),
                         [&](GtkWidget *a, GtkWidget *b) { return position(a) < position(b); });
    }
    for (GtkWidget *child : children)
        if (gtk_widget_get_visible(child)) reading_order(child, out);
}

// Moves the focus to the next text field a person could type into, in
// reading order, going round once (as the headless back-end does).
void advance_focus(Window *window)
{
    DialogWindow *w = record(window);
    std::vector<GtkWidget *> order;
    reading_order(w->window, order);
    std::vector<ControlRecord *> fields;
    std::size_t start = 0;
    GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(w->window));
    for (GtkWidget *widget : order) {
        auto found = w->by_widget.find(widget);
        if (found != w->by_widget.end() && takes_text(found->second)) fields.push_back(found->second);
        if (widget == focus) start = fields.size();
    }
    for (std::size_t k = 0; k < fields.size(); ++k) {
        ControlRecord *c = fields[(start + k) % fields.size()];
        if (usable(c)) {
            gtk_widget_grab_focus(c->widget);
            return;
        }
    }
}

void install_command_handler(Window *window, CommandHandler handler, void *data)
{
    record(window)->handler = handler;
    record(window)->handler_data = data;
}

void install_control_hit_handler(Control *control, ControlHitHandler handler, void *data)
{
    record(control)->hit = handler;
    record(control)->hit_data = data;
}

// Finds the target of an input event and checks that a person could use it.
ControlRecord *input_target(DialogWindow *w, const Event &e, bool (*fits)(const ControlRecord *))
{
    ControlRecord *target = nullptr;
    for (auto &c : w->controls)
        if (c->id == e.target) target = c.get();
    if (!target || !fits(target)) {
        note("event ignored: no suitable control \"" + e.target + "\"");
        return nullptr;
    }
    if (!usable(target)) {
        note("event ignored: \"" + e.target + "\" is hidden, disabled or inactive");
        return nullptr;
    }
    return target;
}

bool is_check(const ControlRecord *c) { return c->kind == Kind::check; }
bool is_menu(const ControlRecord *c) { return c->kind == Kind::menu; }
bool is_button(const ControlRecord *c) { return c->kind == Kind::button; }

// A click on a tab: the notebook switches page and, when the page changes,
// tells the dialog through its switch-page handler.
void click_tab(DialogWindow *w, std::int32_t tab)
{
    for (auto &c : w->controls) {
        if (c->kind != Kind::tabs) continue;
        int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(c->widget));
        if (usable(c.get()) && tab >= 1 && tab <= pages) {
            gtk_notebook_set_current_page(GTK_NOTEBOOK(c->widget), tab - 1);
            return;
        }
        break;
    }
    note("event ignored: no tab " + std::to_string(tab) + " to click");
}

// Plays one event on the real widgets, through the signals a person's input
// would send.
void dispatch(DialogWindow *w, const Event &e)
{
    ControlRecord *c = nullptr;
    switch (e.kind) {
    case EventKind::type:
        if ((c = input_target(w, e, takes_text))) set_entry_text(c, e.text);
        break;
    case EventKind::check:
        if ((c = input_target(w, e, is_check))) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), e.number != 0);
        break;
    case EventKind::pick:
        if ((c = input_target(w, e, is_menu))) gtk::set_value(handle(c), e.number);
        break;
    case EventKind::tab: click_tab(w, e.number); break;
    case EventKind::click:
        if ((c = input_target(w, e, is_button))) gtk_button_clicked(GTK_BUTTON(c->widget));
        break;
    case EventKind::command: send_command(w, e.command); break;
    case EventKind::call:
        if (e.call) e.call();
        break;
    }
}

gboolean play_next(gpointer data)
{
    auto *player = static_cast<Player *>(data);
    Loop &loop = state();
    if (loop.shown.empty()) return G_SOURCE_CONTINUE;
    DialogWindow *w = loop.shown.back();
    if (!gtk_widget_get_mapped(w->window)) return G_SOURCE_CONTINUE;  // not on screen yet
    Event event;
    if (player->source->next(event)) {
        dispatch(w, event);
    } else if (!player->cancel_sent) {
        player->cancel_sent = true;
        send_command(w, command_cancel);
    } else {
        note("the dialog stayed open after Cancel; leaving it");
        player->timer = 0;
        g_main_loop_quit(loop.loop);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

LoopEnd run_event_loop(EventSource *source, std::string &problem)
{
    Loop &loop = state();
    loop.loop = g_main_loop_new(nullptr, FALSE);
    Player player;
    player.source = source;
    if (source) player.timer = g_timeout_add(event_interval_ms, play_next, &player);
    if (!loop.shown.empty()) g_main_loop_run(loop.loop);
    if (player.timer) g_source_remove(player.timer);
    g_main_loop_unref(loop.loop);
    loop.loop = nullptr;
    if (!player.cancel_sent) return LoopEnd::quit;
    problem = "Nobody answered the dialog: its events ran out before it was closed";
    return LoopEnd::unanswered;
}

void quit_event_loop()
{
    if (GMainLoop *running = state().loop) g_main_loop_quit(running);
}

// Lets GTK draw what is pending, within a bound.
void settle()
{
    for (int i = 0; i < 1000 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
    gdk_display_sync(gdk_display_get_default());
}

void show_alert(std::string_view title, std::string_view message, bool answered)
{
    Loop &loop = state();
    GtkWindow *parent = loop.shown.empty() ? nullptr : GTK_WINDOW(loop.shown.back()->window);
    std::string heading = displayable(title), text = displayable(message);
    GtkWidget *alert = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                              heading.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(alert), "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(alert), heading.c_str());
    if (answered) {
        // The script's person reads it and presses OK.
        gtk_widget_show(alert);
        settle();
    } else {
        gtk_dialog_run(GTK_DIALOG(alert));
    }
    gtk_widget_destroy(alert);
}

const Backend table = {
    "gtk", create_window, dispose_window, find_control, get_value, set_value, get_text, set_text, get_password,
    set_password, show, hide, activate, deactivate, enable, disable, draw, show_window, hide_window, clear_focus,
    advance_focus, install_command_handler, install_control_hit_handler, run_event_loop, quit_event_loop,
    show_alert,
};

} // namespace
} // namespace tk::gtk

extern "C" __attribute__((visibility("default"))) const tk::Backend *fbsetup_gtk_backend(int version)
{
    if (version != tk::backend_interface_version) return nullptr;
    static const bool opened = gtk_init_check(nullptr, nullptr);
    return opened ? &tk::gtk::table : nullptr;
}
