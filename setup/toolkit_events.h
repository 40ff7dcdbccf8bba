/*
** The events an event loop plays, where they come from, the choice of
** back-end, and what tests can see of the headless back-end's windows.
**
** Back-ends: headless when an in-process source is installed, when
** FBSETUP_HEADLESS asks for it or FBSETUP_EVENTS names a script, or when no
** display is reachable; GTK 3 otherwise (see toolkit.cpp).
** Event sources, in order of choice when the loop starts: the one installed
** in-process with set_event_source (tests); else the event script named by
** FBSETUP_EVENTS (headless) or FBSETUP_GTK_EVENTS (GTK); else the
** unattended answer, OK (headless), or a person (GTK). When a source runs dry
** while the dialog is still open the loop sends Cancel, and leaves if the
** dialog is open even after that.
*/
#ifndef FBSETUP_TOOLKIT_EVENTS_H
#define FBSETUP_TOOLKIT_EVENTS_H

#include "toolkit.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tk {

inline constexpr const char *event_script_variable = "FBSETUP_EVENTS";
inline constexpr const char *gtk_event_script_variable = "FBSETUP_GTK_EVENTS";
inline constexpr const char *headless_variable = "FBSETUP_HEADLESS";

enum class EventKind {
    type,     // set the text of the field `target` to `text`
    check,    // set the check box `target` on (number 1) or off (0)
    pick,     // select item `number` of the pop-up menu `target`
    tab,      // click tab `number` of the window's tab control
    click,    // press the button `target`: it sends its command
    command,  // send `command` to the window
    call,     // run `call` (in-process sources only)
};

struct Event {
    EventKind kind = EventKind::command;
    std::string target;  // a control identifier such as "KVFB-1201"
    std::string text;
    std::int32_t number = 0;
    std::uint32_t command = 0;
    std::function<void()> call;
};

class EventSource {
public:
    virtual ~EventSource() = default;
    // Stores the next event in `event`; false when there is none left.
    virtual bool next(Event &event) = 0;
};

// A source that plays a fixed list of events in order.
class EventList : public EventSource {
public:
    explicit EventList(std::vector<Event> events) : events_(std::move(events)) {}
    bool next(Event &event) override;

private:
    std::vector<Event> events_;
    std::size_t at_ = 0;
};

// Installs the in-process source for the event loops that follow (not owned;
// null goes back to the script or unattended answer).
void set_event_source(EventSource *source);
EventSource *event_source();

// Which back-end the next window gets: chosen by the rules above, or one
// named by a test. A named GTK that cannot open the display gives headless.
enum class BackendChoice { automatic, headless, gtk };
void set_backend_choice(BackendChoice choice);
// The name of the back-end of the window shown last ("headless" or "gtk").
std::string backend_in_use();

// Reads an event script. On a fault returns false with `error` saying where.
bool parse_event_script(const std::string &text, std::vector<Event> &events, std::string &error);

// Reads the event script file at `path`; on failure returns false with
// `problem` naming the file (and the line).
bool read_event_script(const char *path, std::vector<Event> &events, std::string &problem);

// Command codes by their script names: "OK", "Cancel" and four-character
// codes such as "Next"; 0 for anything else.
inline std::uint32_t command_by_name(std::string_view name)
{
    if (name == "OK") return command_ok;
    if (name == "Cancel") return command_cancel;
    if (name.size() != 4) return 0;
    const char code[5] = {name[0], name[1], name[2], name[3], 0};
    return four_cc(code);
}

// What tests can see. Alerts are kept only while recording is on (off at
// start), and only the latest alert_memory of them.
struct Alert {
    std::string title;
    std::string message;
};
inline constexpr std::size_t alert_memory = 64;
void record_alerts(bool on);
std::vector<Alert> alerts();
void clear_alerts();

Window *front_window();
Control *find_control(Window *window, std::string_view identifier);
bool is_visible(const Control *control);  // the control and every control around it shown
bool is_enabled(const Control *control);
bool is_active(const Control *control);
bool window_visible(const Window *window);
Control *focused_control(const Window *window);
int draw_count(const Control *control);
int item_count(const Control *control);
int marked_item(const Control *control);  // the pop-up item carrying the check mark
std::string identifier(const Control *control);
Status last_event_status();  // what the handlers did with the latest event

} // namespace tk

#endif
