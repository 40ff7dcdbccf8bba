/*
** The records of the headless back-end: a window is the list of its controls
** in document order, each control knows the control around it.
*/
#ifndef FBSETUP_TOOLKIT_HEADLESS_H
#define FBSETUP_TOOLKIT_HEADLESS_H

#include "toolkit.h"

#include <memory>
#include <string>
#include <vector>

namespace tk {

enum class ControlKind { other, text, password, check, menu, button, tabs };

struct Control {
    Window *window = nullptr;
    Control *parent = nullptr;
    std::string id;  // the object id of the description file, may be empty
    std::uint32_t signature = 0;
    int number = 0;
    ControlKind kind = ControlKind::other;
    bool visible = true;
    bool enabled = true;
    bool active = true;
    std::int32_t value = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::string text;
    std::size_t max_length = 255;
    std::vector<std::string> items;  // pop-up menu items
    int marked = 0;                  // the item with the check mark
    std::uint32_t command = 0;       // what a button sends
    int draws = 0;
    ControlHitHandler hit = nullptr;
    void *hit_data = nullptr;
};

struct Window {
    std::string name;
    std::vector<std::unique_ptr<Control>> controls;
    bool visible = false;
    Control *focus = nullptr;
    CommandHandler handler = nullptr;
    void *handler_data = nullptr;
};

// Builds the window named window_name from GtkBuilder XML; null when the text
// is not well-formed or holds no such window.
std::unique_ptr<Window> read_window(const std::string &xml, std::string_view window_name);

} // namespace tk

#endif
