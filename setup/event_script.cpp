/*
** Event scripts: one event a line, read for either back-end when the module
** runs in another program (an installer reached through unixODBC).
**
**   # a comment; blank lines are skipped
**   type KVFB-1201 /data/sales.fdb   the rest of the line after one space is the text
**   check KVFB-1303 on               on/off (or 1/0)
**   pick KVFB-1301 1                 menu item, counting from 1
**   tab 2                            click a tab
**   click KVFB-1006                  press a button
**   command Test                     Back, Next, Test, OK or Cancel
*/
#include "toolkit_events.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tk {
namespace {

std::string_view first_word(std::string_view &line)
{
    std::size_t end = line.find(' ');
    std::string_view word = line.substr(0, end);
    line = end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
    return word;
}

bool to_number(std::string_view text, std::int32_t &n)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && end == text.data() + text.size();
}

bool to_switch(std::string_view text, std::int32_t &n)
{
    if (text == "on" || text == "1") n = 1;
    else if (text == "off" || text == "0") n = 0;
    else return false;
    return true;
}

// Parses one non-empty line into `e`; returns what is wrong, or nullptr.
const char *parse_line(std::string_view line, Event &e)
{
    std::string_view verb = first_word(line);
    if (verb == "tab") {
        e.kind = EventKind::tab;
        return to_number(line, e.number) ? nullptr : "tab wants a tab number";
    }
    if (verb == "command") {
        e.kind = EventKind::command;
        e.command = command_by_name(line);
        bool known = line == "Back" || line == "Next" || line == "Test" || line == "OK" || line == "Cancel";
        return known ? nullptr : "command wants Back, Next, Test, OK or Cancel";
    }
    e.target = std::string(first_word(line));
    if (e.target.empty()) return "a control identifier is missing";
    if (verb == "type") {
        e.kind = EventKind::type;
        e.text = std::string(line);
        return nullptr;
    }
    if (verb == "check") {
        e.kind = EventKind::check;
        return to_switch(line, e.number) ? nullptr : "check wants on or off";
    }
    if (verb == "pick") {
        e.kind = EventKind::pick;
        return to_number(line, e.number) ? nullptr : "pick wants an item number";
    }
    if (verb == "click") {
        e.kind = EventKind::click;
        return line.empty() ? nullptr : "click takes only a control identifier";
    }
    return "unknown event";
}

bool read_file(const char *path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

} // namespace

bool read_event_script(const char *path, std::vector<Event> &events, std::string &problem)
{
    std::string text, error;
    errno = 0;
    if (!read_file(path, text)) {
        int cause = errno;
        problem = std::string("Cannot read the event script ") + path;
        if (cause) problem += std::string(": ") + std::strerror(cause);
        return false;
    }
    if (!parse_event_script(text, events, error)) {
        problem = std::string("Event script ") + path + ", " + error;
        events.clear();
        return false;
    }
    return true;
}

bool parse_event_script(const std::string &text, std::vector<Event> &events, std::string &error)
{
    std::string_view rest = text;
    for (int number = 1; !rest.empty(); ++number) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos || line[start] == '#') continue;
        Event e;
        if (const char *fault = parse_line(line.substr(start), e)) {
            error = "line " + std::to_string(number) + ": " + fault;
            return false;
        }
        events.push_back(std::move(e));
    }
    return true;
}

} // namespace tk
