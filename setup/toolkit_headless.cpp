/*
** The headless back-end of the toolkit. Windows and controls live in memory;
** the event loop plays the events of the source the front hands it to the
** handlers the dialog installed. Alerts need nothing more than the front's
** record of them. One event loop runs at a time, as with a real
** application; the caller serialises its use.
*/
#include "toolkit_backend.h"
#include "toolkit_headless.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tk {
namespace headless {

struct Toolkit {
    std::vector<Window *> shown;  // front window last
    bool quit = false;
    Status last_status = Status::handled;
};

void set_value(Control *control, std::int32_t value);
void set_text(Control *control, std::string_view text);
void set_password(Control *control, std::string_view text);

Toolkit &toolkit()
{
    static Toolkit state;
    return state;
}

void note(const std::string &text) { std::fprintf(stderr, "fbsetup: %s\n", text.c_str()); }

bool takes_text(const Control *c)
{
    return c->kind == ControlKind::text || c->kind == ControlKind::password;
}

// A control a person could use now: shown, enabled and active.
bool usable(const Control *c) { return is_visible(c) && c->enabled && c->active; }

Control *tab_control(Window *w)
{
    for (auto &c : w->controls)
        if (c->kind == ControlKind::tabs) return c.get();
    return nullptr;
}

Status send_command(Window *w, std::uint32_t command)
{
    if (!w->handler) return Status::not_handled;
    return w->handler(w, command, w->handler_data);
}

Status click_tab(Window *w, std::int32_t tab)
{
    Control *tabs = tab_control(w);
    if (!tabs || !usable(tabs) || tab < tabs->minimum || tab > tabs->maximum) {
        note("event ignored: no tab " + std::to_string(tab) + " to click");
        return Status::not_handled;
    }
    headless::set_value(tabs, tab);
    if (!tabs->hit) return Status::not_handled;
    return tabs->hit(tabs, tabs->hit_data);
}

// Finds the target of an input event and checks that it can take the input.
Control *input_target(Window *w, const Event &e, ControlKind kind)
{
    Control *c = find_control(w, e.target);
    bool fits = c && (kind == ControlKind::text ? takes_text(c) : c->kind == kind);
    if (!fits) {
        note("event ignored: no suitable control \"" + e.target + "\"");
        return nullptr;
    }
    if (!usable(c)) {
        note("event ignored: \"" + e.target + "\" is hidden, disabled or inactive");
        return nullptr;
    }
    return c;
}

Status dispatch(Window *w, const Event &e)
{
    Control *c = nullptr;
    switch (e.kind) {
    case EventKind::type:
        if ((c = input_target(w, e, ControlKind::text))) {
            if (c->kind == ControlKind::password) headless::set_password(c, e.text);
            else headless::set_text(c, e.text);
        }
        return Status::handled;
    case EventKind::check:
        if ((c = input_target(w, e, ControlKind::check))) headless::set_value(c, e.number ? 1 : 0);
        return Status::handled;
    case EventKind::pick:
        if ((c = input_target(w, e, ControlKind::menu))) headless::set_value(c, e.number);
        return Status::handled;
    case EventKind::tab:
        return click_tab(w, e.number);
    case EventKind::click:
        if ((c = input_target(w, e, ControlKind::button))) return send_command(w, c->command);
        return Status::not_handled;
    case EventKind::command:
        return send_command(w, e.command);
    case EventKind::call:
        if (e.call) e.call();
        return Status::handled;
    }
    return Status::not_handled;
}

bool read_file(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

// The calls of the back-end table.

Window *create_window(const std::string &path, std::string_view window_name)
{
    std::string xml;
    if (!read_file(path, xml)) return nullptr;
    return read_window(xml, window_name).release();
}

void show_window(Window *window)
{
    if (!window || window->visible) return;
    window->visible = true;
    toolkit().shown.push_back(window);
}

void hide_window(Window *window)
{
    if (!window) return;
    window->visible = false;
    auto &shown = toolkit().shown;
    shown.erase(std::remove(shown.begin(), shown.end(), window), shown.end());
}

void dispose_window(Window *window)
{
    if (!window) return;
    headless::hide_window(window);
    delete window;
}

Control *find_control_by_number(Window *window, std::uint32_t signature, int number)
{
    if (!window) return nullptr;
    for (auto &c : window->controls)
        if (c->signature == signature && c->number == number && signature != 0) return c.get();
    return nullptr;
}

std::int32_t get_value(const Control *control) { return control ? control->value : 0; }

void set_value(Control *control, std::int32_t value)
{
    if (!control) return;
    control->value = std::clamp(value, control->minimum, std::max(control->minimum, control->maximum));
    if (control->kind == ControlKind::menu) control->marked = control->value;
}

std::string get_text(const Control *control)
{
    return control && control->kind == ControlKind::text ? control->text : std::string();
}

void set_text(Control *control, std::string_view text)
{
    if (control && control->kind == ControlKind::text) control->text = first_characters(text, control->max_length);
}

std::string get_password(const Control *control)
{
    return control && control->kind == ControlKind::password ? control->text : std::string();
}

void set_password(Control *control, std::string_view text)
{
    if (control && control->kind == ControlKind::password)
        control->text = first_characters(text, control->max_length);
}

void show(Control *control) { if (control) control->visible = true; }
void hide(Control *control)
{
    if (!control) return;
    control->visible = false;
    Window *w = control->window;
    if (w->focus && !is_visible(w->focus)) w->focus = nullptr;
}
void activate(Control *control) { if (control) control->active = true; }
void deactivate(Control *control) { if (control) control->active = false; }
void enable(Control *control) { if (control) control->enabled = true; }
void disable(Control *control) { if (control) control->enabled = false; }
void draw(Control *control) { if (control) ++control->draws; }

void clear_focus(Window *window) { if (window) window->focus = nullptr; }

// Moves the focus to the next text field a person could type into, in the
// order of the description file, going round once.
void advance_focus(Window *window)
{
    if (!window || window->controls.empty()) return;
    auto &controls = window->controls;
    std::size_t n = controls.size(), start = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (controls[i].get() == window->focus) start = i + 1;
    for (std::size_t k = 0; k < n; ++k) {
        Control *c = controls[(start + k) % n].get();
        if (takes_text(c) && usable(c)) {
            window->focus = c;
            return;
        }
    }
}

void install_command_handler(Window *window, CommandHandler handler, void *data)
{
    if (!window) return;
    window->handler = handler;
    window->handler_data = data;
}

void install_control_hit_handler(Control *control, ControlHitHandler handler, void *data)
{
    if (!control) return;
    control->hit = handler;
    control->hit_data = data;
}

// Without a source the dialog is answered unattended: OK once.
LoopEnd run_event_loop(EventSource *given, std::string &problem)
{
    Toolkit &tk = toolkit();
    tk.quit = false;
    EventList unattended({Event{EventKind::command, {}, {}, 0, command_ok, {}}});
    EventSource *source = given ? given : &unattended;
    bool cancel_sent = false;
    Event event;
    while (!tk.quit) {
        Window *w = front_window();
        if (!w) break;
        if (source->next(event)) {
            tk.last_status = dispatch(w, event);
        } else if (!cancel_sent) {
            cancel_sent = true;
            tk.last_status = send_command(w, command_cancel);
        } else {
            note("the dialog stayed open after Cancel; leaving it");
            break;
        }
    }
    tk.quit = false;
    if (!cancel_sent) return LoopEnd::quit;
    problem = "Nobody answered the dialog: its events ran out before it was closed";
    return LoopEnd::unanswered;
}

void quit_event_loop() { toolkit().quit = true; }

// The front has written the alert to standard error and kept it for tests.
void show_alert(std::string_view, std::string_view, bool) {}

} // namespace headless

const Backend &headless_backend()
{
    namespace h = headless;
    static const Backend table = {
        "headless", h::create_window, h::dispose_window, h::find_control_by_number, h::get_value, h::set_value,
        h::get_text, h::set_text, h::get_password, h::set_password, h::show, h::hide, h::activate,
        h::deactivate, h::enable, h::disable, h::draw, h::show_window, h::hide_window, h::clear_focus,
        h::advance_focus, h::install_command_handler, h::install_control_hit_handler, h::run_event_loop,
        h::quit_event_loop, h::show_alert,
    };
    return table;
}

bool EventList::next(Event &event)
{
    if (at_ >= events_.size()) return false;
    event = events_[at_++];
    return true;
}

Control *find_control(Window *window, std::string_view identifier)
{
    if (!window || identifier.empty()) return nullptr;
    for (auto &c : window->controls)
        if (c->id == identifier) return c.get();
    return nullptr;
}

Window *front_window()
{
    auto &shown = headless::toolkit().shown;
    return shown.empty() ? nullptr : shown.back();
}

bool is_visible(const Control *control)
{
    if (!control || !control->window->visible) return false;
    for (const Control *c = control; c; c = c->parent)
        if (!c->visible) return false;
    return true;
}

bool is_enabled(const Control *control) { return control && control->enabled; }
bool is_active(const Control *control) { return control && control->active; }
bool window_visible(const Window *window) { return window && window->visible; }
Control *focused_control(const Window *window) { return window ? window->focus : nullptr; }
int draw_count(const Control *control) { return control ? control->draws : 0; }
int item_count(const Control *control) { return control ? int(control->items.size()) : 0; }
int marked_item(const Control *control) { return control ? control->marked : 0; }
std::string identifier(const Control *control) { return control ? control->id : std::string(); }
Status last_event_status() { return headless::toolkit().last_status; }

} // namespace tk
