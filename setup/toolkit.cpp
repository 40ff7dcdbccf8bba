/*
** The toolkit's front: it picks a back-end when a window is made (GTK 3 when
** a display is reachable and nothing asks for headless), forwards every call
** of toolkit.h to it, decides where the dialog's events come from, keeps the
** alerts tests ask for and finds the module's resources. The GTK back-end is
** the module fbsetup_gtk.so beside this one, loaded once and never unloaded.
*/
#include "toolkit_backend.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>

#ifndef FBSETUP_DATA_FROM_LIB
#define FBSETUP_DATA_FROM_LIB "../share"
#endif

namespace tk {
namespace {

struct Front {
    const Backend *active = nullptr;  // the back-end of the window made last
    int windows = 0;                  // windows made and not yet disposed
    BackendChoice choice = BackendChoice::automatic;
    EventSource *source = nullptr;    // installed in-process (tests)
};

Front &front()
{
    static Front state;
    return state;
}

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

void note(const std::string &text) { std::fprintf(stderr, "fbsetup: %s\n", text.c_str()); }

bool variable_set(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

bool headless_asked()
{
    const char *value = std::getenv(headless_variable);
    return (value && *value && std::string_view(value) != "0") || variable_set(event_script_variable);
}

std::filesystem::path module_directory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&resource_dir), &info) == 0 || !info.dli_fname) return {};
    std::error_code ec;
    std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path() : file.parent_path();
}

// The GTK module: beside this module (installed, or fbsetup.so in the build
// tree), or in ../lib for a program of the build tree linking this code.
const Backend *load_gtk_backend(std::string &why)
{
    std::filesystem::path dir = module_directory();
    for (const char *relative : {".", "../lib"}) {
        std::filesystem::path candidate = dir / relative / gtk_module_name;
        std::error_code ec;
        if (dir.empty() || !std::filesystem::exists(candidate, ec)) continue;
        // GTK registers types and threads that cannot be unloaded.
        void *module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!module) {
            const char *error = dlerror();
            why = error ? error : "cannot load " + candidate.string();
            return nullptr;
        }
        auto entry = reinterpret_cast<FbsetupGtkBackendFunction>(dlsym(module, gtk_backend_symbol));
        const Backend *backend = entry ? entry(backend_interface_version) : nullptr;
        if (!backend) why = entry ? "GTK cannot open the display" : candidate.string() + " is not the GTK back-end";
        return backend;
    }
    why = std::string(gtk_module_name) + " is not installed";
    return nullptr;
}

// Loaded and initialised once: GTK keeps its display for the process's life.
const Backend *gtk_backend()
{
    static const Backend *backend = [] {
        std::string why;
        const Backend *loaded = load_gtk_backend(why);
        if (!loaded) note("no GTK window (" + why + "); the dialog runs headless");
        return loaded;
    }();
    return backend;
}

const Backend &chosen_backend()
{
    Front &f = front();
    if (f.choice == BackendChoice::headless) return headless_backend();
    if (f.choice == BackendChoice::automatic) {
        if (f.source || headless_asked()) return headless_backend();
        if (!variable_set("DISPLAY") && !variable_set("WAYLAND_DISPLAY")) return headless_backend();
    }
    const Backend *gtk = gtk_backend();
    return gtk ? *gtk : headless_backend();
}

const Backend &active()
{
    Front &f = front();
    return f.active ? *f.active : headless_backend();
}

bool is_gtk(const Backend &backend) { return &backend != &headless_backend(); }

// The events of the dialog: the in-process source, else the script the
// back-end's variable names, else none (headless answers OK unattended, GTK
// waits for a person). A script that cannot be read gives a problem.
bool dialog_events(const Backend &backend, EventList &script, std::string &problem, EventSource *&source)
{
    source = front().source;
    if (source) return true;
    const char *path = std::getenv(is_gtk(backend) ? gtk_event_script_variable : event_script_variable);
    if (!path || !*path) return true;
    std::vector<Event> events;
    if (!read_event_script(path, events, problem)) return false;
    script = EventList(std::move(events));
    source = &script;
    return true;
}

// Whether alerts are dismissed by the dialog's events rather than a person.
bool alerts_answered(const Backend &backend)
{
    return front().source || variable_set(is_gtk(backend) ? gtk_event_script_variable : event_script_variable);
}

} // namespace

void set_event_source(EventSource *source) { front().source = source; }
EventSource *event_source() { return front().source; }
void set_backend_choice(BackendChoice choice) { front().choice = choice; }
std::string backend_in_use() { return active().name; }

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
    const Backend &backend = chosen_backend();
    Window *window = backend.create_window(path, window_name);
    if (!window) return nullptr;
    front().active = &backend;
    ++front().windows;
    return window;
}

void dispose_window(Window *window)
{
    if (!window) return;
    active().dispose_window(window);
    if (--front().windows == 0) front().active = nullptr;
}

Control *find_control(Window *window, std::uint32_t signature, int number)
{
    return window ? active().find_control(window, signature, number) : nullptr;
}

std::int32_t get_value(const Control *control) { return control ? active().get_value(control) : 0; }
void set_value(Control *control, std::int32_t value) { if (control) active().set_value(control, value); }
std::string get_text(const Control *control) { return control ? active().get_text(control) : std::string(); }
void set_text(Control *control, std::string_view text) { if (control) active().set_text(control, text); }
std::string get_password(const Control *control) { return control ? active().get_password(control) : std::string(); }
void set_password(Control *control, std::string_view text) { if (control) active().set_password(control, text); }
void show(Control *control) { if (control) active().show(control); }
void hide(Control *control) { if (control) active().hide(control); }
void activate(Control *control) { if (control) active().activate(control); }
void deactivate(Control *control) { if (control) active().deactivate(control); }
void enable(Control *control) { if (control) active().enable(control); }
void disable(Control *control) { if (control) active().disable(control); }
void draw(Control *control) { if (control) active().draw(control); }
void show_window(Window *window) { if (window) active().show_window(window); }
void hide_window(Window *window) { if (window) active().hide_window(window); }
void clear_focus(Window *window) { if (window) active().clear_focus(window); }
void advance_focus(Window *window) { if (window) active().advance_focus(window); }

void install_command_handler(Window *window, CommandHandler handler, void *data)
{
    if (window) active().install_command_handler(window, handler, data);
}

void install_control_hit_handler(Control *control, ControlHitHandler handler, void *data)
{
    if (control) active().install_control_hit_handler(control, handler, data);
}

LoopEnd run_event_loop(std::string &problem)
{
    const Backend &backend = active();
    EventList script({});
    EventSource *source = nullptr;
    if (!dialog_events(backend, script, problem, source)) return LoopEnd::failed;
    return backend.run_event_loop(source, problem);
}

void quit_event_loop() { active().quit_event_loop(); }

// Every alert goes to standard error (installers run from scripts and logs),
// to the tests' record when they asked, and to the screen when there is one.
int stop_alert(std::string_view title, std::string_view message)
{
    std::fprintf(stderr, "fbsetup alert [%.*s]: %.*s\n", int(title.size()), title.data(), int(message.size()),
                 message.data());
    {
        AlertMemory &memory = alert_memory_store();
        std::lock_guard<std::mutex> hold(memory.lock);
        if (memory.recording) {
            if (memory.kept.size() == alert_memory) memory.kept.pop_front();
            memory.kept.push_back(Alert{std::string(title), std::string(message)});
        }
    }
    const Backend &backend = front().windows ? active() : chosen_backend();
    backend.show_alert(title, message, alerts_answered(backend));
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

} // namespace tk
