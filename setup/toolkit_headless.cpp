/*
** The headless back-end of the toolkit. Windows and controls live in memory;
** the event loop plays events from the chosen event source and hands them to
** the handlers the dialog installed. Alerts are written to standard error
** (and kept for tests that ask). One event loop runs at a time, as with a
** real application; the caller serialises its use.
*/
#include "toolkit_events.h"
#include "toolkit_headless.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#ifndef FBSETUP_DATA_FROM_LIB
#define FBSETUP_DATA_FROM_LIB "../share"
#endif

namespace tk {
namespace {

struct Toolkit {
    std::vector<Window *> shown;  // front window last
    bool quit = false;
    EventSource *source = nullptr;
    Status last_status = Status::handled;
};

// The alerts tests asked to keep, newest last.
struct AlertMemory {
    std::mutex lock;
    bool recording = false;
    std::deque<Alert> kept;
};

AlertMemory &alert_memory_store()
{
    static AlertMemory memory;
    return memory;
}

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
    set_value(tabs, tab);
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
            if (c->kind == ControlKind::password) set_password(c, e.text);
            else set_text(c, e.text);
        }
        return Status::handled;
    case EventKind::check:
        if ((c = input_target(w, e, ControlKind::check))) set_value(c, e.number ? 1 : 0);
        return Status::handled;
    case EventKind::pick:
        if ((c = input_target(w, e, ControlKind::menu))) set_value(c, e.number);
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

// The events of the script named by the environment, or the unattended OK.
// A script that cannot be read or has a faulty line gives no events and a
// problem naming the file (and the line).
std::vector<Event> default_events(std::string &problem)
{
    std::vector<Event> events;
    const char *path = std::getenv(event_script_variable);
    if (!path || !*path) {
        events.push_back(Event{EventKind::command, {}, {}, 0, command_ok, {}});
        return events;
    }
    std::string text, error;
    errno = 0;
    if (!read_file(path, text)) {
        int cause = errno;
        problem = std::string("Cannot read the event script ") + path;
        if (cause) problem += std::string(": ") + std::strerror(cause);
    } else if (!parse_event_script(text, events, error)) {
        problem = std::string("Event script ") + path + ", " + error;
        events.clear();
    }
    return events;
}

// The longest start of `text` of at most `limit` characters.
std::string_view first_characters(std::string_view text, std::size_t limit)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (count++ == limit) return text.substr(0, i);
    }
    return text;
}

std::filesystem::path module_directory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&resource_dir), &info) == 0 || !info.dli_fname) return {};
    std::error_code ec;
    std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path() : file.parent_path();
}

} // namespace

bool EventList::next(Event &event)
{
    if (at_ >= events_.size()) return false;
    event = events_[at_++];
    return true;
}

void set_event_source(EventSource *source) { toolkit().source = source; }

std::uint32_t command_by_name(std::string_view name)
{
    if (name == "OK") return command_ok;
    if (name == "Cancel") return command_cancel;
    if (name.size() != 4) return 0;
    char code[5] = {name[0], name[1], name[2], name[3], 0};
    return four_cc(code);
}

std::string resource_dir(std::string_view identifier)
{
    std::filesystem::path dir = module_directory();
    if (dir.empty()) return {};
    // Installed: <libdir>/fbsetup.so beside <datadir>/<identifier>; build
    // tree: <build>/lib (or bin for a program) beside <build>/share.
    for (const char *relative : {FBSETUP_DATA_FROM_LIB, "../share"}) {
        std::filesystem::path candidate = dir / relative / identifier;
        std::error_code ec;
        if (std::filesystem::is_directory(candidate, ec)) return candidate.lexically_normal().string();
    }
    return {};
}

Window *create_window(const std::string &path, std::string_view window_name)
{
    std::string xml;
    if (!read_file(path, xml)) return nullptr;
    return read_window(xml, window_name).release();
}

void dispose_window(Window *window)
{
    if (!window) return;
    hide_window(window);
    delete window;
}

Control *find_control(Window *window, std::uint32_t signature, int number)
{
    if (!window) return nullptr;
    for (auto &c : window->controls)
        if (c->signature == signature && c->number == number && signature != 0) return c.get();
    return nullptr;
}

Control *find_control(Window *window, std::string_view identifier)
{
    if (!window || identifier.empty()) return nullptr;
    for (auto &c : window->controls)
        if (c->id == identifier) return c.get();
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

LoopEnd run_event_loop(std::string &problem)
{
    Toolkit &tk = toolkit();
    tk.quit = false;
    EventList fallback(tk.source ? std::vector<Event>() : default_events(problem));
    if (!problem.empty()) return LoopEnd::failed;
    EventSource *source = tk.source ? tk.source : &fallback;
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

int stop_alert(std::string_view title, std::string_view message)
{
    std::fprintf(stderr, "fbsetup alert [%.*s]: %.*s\n", int(title.size()), title.data(), int(message.size()),
                 message.data());
    AlertMemory &memory = alert_memory_store();
    std::lock_guard<std::mutex> hold(memory.lock);
    if (!memory.recording) return 0;
    if (memory.kept.size() == alert_memory) memory.kept.pop_front();
    memory.kept.push_back(Alert{std::string(title), std::string(message)});
    return 0;
}

void record_alerts(bool on)
{
    AlertMemory &memory = alert_memory_store();
    std::lock_guard<std::mutex> hold(memory.lock);
    memory.recording = on;
}

std::vector<Alert> alerts()
{
    AlertMemory &memory = alert_memory_store();
    std::lock_guard<std::mutex> hold(memory.lock);
    return {memory.kept.begin(), memory.kept.end()};
}

void clear_alerts()
{
    AlertMemory &memory = alert_memory_store();
    std::lock_guard<std::mutex> hold(memory.lock);
    memory.kept.clear();
}

Window *front_window()
{
    auto &shown = toolkit().shown;
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
Status last_event_status() { return toolkit().last_status; }

} // namespace tk
