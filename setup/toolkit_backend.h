/*
** What a back-end of the toolkit supplies: one table of the calls of
** toolkit.h that depend on how windows are made and shown. The front
** (toolkit.cpp) picks a back-end when a window is made and forwards every
** call to it. The headless back-end is built in; the GTK 3 back-end is a
** separate module (fbsetup_gtk.so) loaded with dlopen only when a display is
** reachable, so the setup module itself never needs GTK.
*/
#ifndef FBSETUP_TOOLKIT_BACKEND_H
#define FBSETUP_TOOLKIT_BACKEND_H

#include "toolkit.h"
#include "toolkit_events.h"

#include <vector>

namespace tk {

// Changes whenever the table or the types it passes change: a GTK module of
// another build is refused rather than called.
inline constexpr int backend_interface_version = 1;

// One back-end's implementation of toolkit.h. Window and Control are opaque
// to the front: each back-end hands out and takes back its own records.
struct Backend {
    const char *name;
    Window *(*create_window)(const std::string &path, std::string_view window_name);
    void (*dispose_window)(Window *window);
    Control *(*find_control)(Window *window, std::uint32_t signature, int number);
    std::int32_t (*get_value)(const Control *control);
    void (*set_value)(Control *control, std::int32_t value);
    std::string (*get_text)(const Control *control);
    void (*set_text)(Control *control, std::string_view text);
    std::string (*get_password)(const Control *control);
    void (*set_password)(Control *control, std::string_view text);
    void (*show)(Control *control);
    void (*hide)(Control *control);
    void (*activate)(Control *control);
    void (*deactivate)(Control *control);
    void (*enable)(Control *control);
    void (*disable)(Control *control);
    void (*draw)(Control *control);
    void (*show_window)(Window *window);
    void (*hide_window)(Window *window);
    void (*clear_focus)(Window *window);
    void (*advance_focus)(Window *window);
    void (*install_command_handler)(Window *window, CommandHandler handler, void *data);
    void (*install_control_hit_handler)(Control *control, ControlHitHandler handler, void *data);
    // Runs the loop until quit_event_loop. With `source` (a script or an
    // in-process source) plays its events as a person would and, when they run
    // out with a window open, sends Cancel (unanswered); without one, headless
    // answers OK unattended and GTK waits for a person.
    LoopEnd (*run_event_loop)(EventSource *source, std::string &problem);
    void (*quit_event_loop)();
    // Shows a stop alert and waits until it is dismissed; `answered` says the
    // events come from a script, which dismisses it once it is on screen.
    void (*show_alert)(std::string_view title, std::string_view message, bool answered);
};

// The built-in headless back-end.
const Backend &headless_backend();

// The longest start of `text` of at most `limit` characters, never cut inside
// a UTF-8 sequence; 0 is no limit (as a GtkEntry's max-length).
inline std::string_view first_characters(std::string_view text, std::size_t limit)
{
    if (limit == 0) return text;
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (count++ == limit) return text.substr(0, i);
    }
    return text;
}

} // namespace tk

// The one entry point of the GTK module: its table when `version` matches and
// GTK could open the display, null otherwise.
extern "C" {
typedef const tk::Backend *(*FbsetupGtkBackendFunction)(int version);
}
inline constexpr const char *gtk_backend_symbol = "fbsetup_gtk_backend";
inline constexpr const char *gtk_module_name = "fbsetup_gtk.so";

#endif
