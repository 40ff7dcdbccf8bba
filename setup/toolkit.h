/*
** The small windowing toolkit the setup dialog is written against: windows
** made from interface description files (GtkBuilder XML), controls found by
** signature and number, their values and texts, visibility and enabling,
** keyboard focus, command and control-hit handlers, the application event
** loop, stop alerts and the module's own resource directory.
**
** Two back-ends stand behind it, chosen when a window is made (toolkit.cpp):
** headless (toolkit_headless.cpp), where windows live in memory and the
** event loop plays events from an event source (see toolkit_events.h), and
** GTK 3 (toolkit_gtk.cpp, a module of its own), where they are real windows
** made from the same files. The calls below reach the back-end of the window
** made last; one dialog runs at a time.
*/
#ifndef FBSETUP_TOOLKIT_H
#define FBSETUP_TOOLKIT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace tk {

struct Window;
struct Control;

// A four-character code such as 'tabs' or 'Next', first character highest.
constexpr std::uint32_t four_cc(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
           std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}

// The standard OK and Cancel commands.
inline constexpr std::uint32_t command_ok = four_cc("ok  ");
inline constexpr std::uint32_t command_cancel = four_cc("not!");

// What a handler did with its event: handled, or left to the default handling.
enum class Status { handled, not_handled };

using CommandHandler = Status (*)(Window *window, std::uint32_t command, void *data);
using ControlHitHandler = Status (*)(Control *control, void *data);

// The module's resource directory, found by the module's identifier next to
// the module in the installed tree or the build tree; empty when not found.
std::string resource_dir(std::string_view identifier);

// Creates the window named window_name from the description file path.
// Returns null when the file cannot be read or holds no such window; the
// caller owns the window and releases it with dispose_window.
Window *create_window(const std::string &path, std::string_view window_name);
void dispose_window(Window *window);

// The control whose identifier is signature and number, or null.
Control *find_control(Window *window, std::uint32_t signature, int number);

// Values: check boxes 0 or 1, pop-up menus the item number from 1, tab
// controls the tab number from 1; values are clamped to the control's range.
std::int32_t get_value(const Control *control);
void set_value(Control *control, std::int32_t value);

// Texts of text fields; the password text of a password field. Setting cuts
// the text to the field's maximum length in characters, never inside a
// UTF-8 sequence.
std::string get_text(const Control *control);
void set_text(Control *control, std::string_view text);
std::string get_password(const Control *control);
void set_password(Control *control, std::string_view text);

void show(Control *control);
void hide(Control *control);
void activate(Control *control);
void deactivate(Control *control);
void enable(Control *control);
void disable(Control *control);
void draw(Control *control);

void show_window(Window *window);
void hide_window(Window *window);
void clear_focus(Window *window);
void advance_focus(Window *window);

void install_command_handler(Window *window, CommandHandler handler, void *data);
void install_control_hit_handler(Control *control, ControlHitHandler handler, void *data);

// How an event loop ended: quit by a handler; given up because nobody
// answered the window (the back-end sent Cancel itself); or not run at all.
enum class LoopEnd { quit, unanswered, failed };

// Runs the application event loop until quit_event_loop is called. When it
// ends otherwise, `problem` says why in a sentence.
LoopEnd run_event_loop(std::string &problem);
void quit_event_loop();

// Shows a stop alert with one button; returns 0 once it is dismissed.
int stop_alert(std::string_view title, std::string_view message);

} // namespace tk

#endif
