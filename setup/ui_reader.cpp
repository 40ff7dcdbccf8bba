/*
** Reads a window out of a GtkBuilder interface description with expat.
** Every <object> inside the named top-level window becomes a control, nested
** as the objects are; the class gives its kind and a few properties its
** state ("visible", "sensitive", "text", "max-length", "visibility",
** "active", "action-name", "items"). Packing properties, the tab labels of a
** notebook (<child type="tab">) and internal children such as a widget's
** accessible object are layout or description only and are skipped.
*/
#include "toolkit_events.h"
#include "toolkit_headless.h"

#include <expat.h>

#include <charconv>
#include <cstring>

namespace tk {
namespace {

struct Reader {
    std::string_view window_name;
    std::unique_ptr<Window> window;
    bool done = false;            // the named window has been read
    int object_depth = 0;         // <object> elements open
    int skip_depth = 0;           // open elements of a skipped subtree
    std::vector<Control *> open;  // the controls around the current element
    std::vector<bool> object_is_control;
    bool in_property = false;
    bool in_item = false;
    std::string property_name;
    std::string chars;
    bool pending_tab_child = false;
};

const char *attribute(const XML_Char **attrs, const char *name)
{
    for (int i = 0; attrs[i]; i += 2)
        if (std::strcmp(attrs[i], name) == 0) return attrs[i + 1];
    return nullptr;
}

bool is_true(std::string_view v) { return v == "True" || v == "true" || v == "1" || v == "yes"; }

int to_int(std::string_view v, int fallback)
{
    int n = fallback;
    std::from_chars(v.data(), v.data() + v.size(), n);
    return n;
}

// "KVFB-1201" gives signature 'KVFB' and number 1201.
void parse_identifier(Control &c)
{
    const std::string &id = c.id;
    if (id.size() < 6 || id[4] != '-') return;
    int number = 0;
    auto [end, ec] = std::from_chars(id.data() + 5, id.data() + id.size(), number);
    if (ec != std::errc() || end != id.data() + id.size()) return;
    char sig[5] = {id[0], id[1], id[2], id[3], 0};
    c.signature = four_cc(sig);
    c.number = number;
}

ControlKind kind_of_class(std::string_view cls)
{
    if (cls == "GtkEntry") return ControlKind::text;
    if (cls == "GtkCheckButton") return ControlKind::check;
    if (cls == "GtkComboBoxText") return ControlKind::menu;
    if (cls == "GtkButton") return ControlKind::button;
    if (cls == "GtkNotebook") return ControlKind::tabs;
    return ControlKind::other;
}

void start_object(Reader &r, const XML_Char **attrs)
{
    const char *cls = attribute(attrs, "class");
    const char *id = attribute(attrs, "id");
    ++r.object_depth;
    if (!r.window) {
        if (r.object_depth == 1 && !r.done && id && r.window_name == id) {
            r.window = std::make_unique<Window>();
            r.window->name = id;
        }
        r.object_is_control.push_back(false);
        return;
    }
    auto control = std::make_unique<Control>();
    control->window = r.window.get();
    control->parent = r.open.empty() ? nullptr : r.open.back();
    control->id = id ? id : "";
    control->kind = kind_of_class(cls ? cls : "");
    if (control->kind == ControlKind::check) control->maximum = 1;
    if (control->kind == ControlKind::menu || control->kind == ControlKind::tabs) control->value = control->minimum = 1;
    parse_identifier(*control);
    r.open.push_back(control.get());
    r.object_is_control.push_back(true);
    r.window->controls.push_back(std::move(control));
}

void end_object(Reader &r)
{
    bool was_control = r.object_is_control.back();
    r.object_is_control.pop_back();
    --r.object_depth;
    if (was_control) {
        Control *c = r.open.back();
        r.open.pop_back();
        if (c->kind == ControlKind::tabs) {
            int pages = 0;
            for (auto &other : r.window->controls)
                if (other->parent == c) ++pages;
            c->maximum = pages;
        }
        if (c->kind == ControlKind::menu) {
            c->maximum = int(c->items.size());
            if (c->value > c->maximum) c->value = c->maximum;
            c->marked = c->value;
        }
    } else if (r.window && r.object_depth == 0) {
        r.done = true;
    }
}

void apply_property(Reader &r)
{
    if (r.open.empty()) return;
    Control &c = *r.open.back();
    const std::string &name = r.property_name;
    const std::string &v = r.chars;
    if (name == "visible") c.visible = is_true(v);
    else if (name == "sensitive") c.enabled = is_true(v);
    else if (name == "text") c.text = v;
    else if (name == "max-length") c.max_length = std::size_t(to_int(v, 255));
    else if (name == "visibility" && c.kind == ControlKind::text && !is_true(v)) c.kind = ControlKind::password;
    else if (name == "active" && c.kind == ControlKind::check) c.value = is_true(v) ? 1 : 0;
    else if (name == "active" && c.kind == ControlKind::menu) c.value = to_int(v, 0) + 1;  // GTK counts from 0
    else if (name == "action-name" && v.rfind("dialog.", 0) == 0) c.command = command_by_name(v.substr(7));
}

void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **attrs)
{
    Reader &r = *static_cast<Reader *>(data);
    if (r.skip_depth > 0) {
        ++r.skip_depth;
        return;
    }
    std::string_view element = name;
    if (element == "child") {
        const char *type = attribute(attrs, "type");
        if ((type && std::strcmp(type, "tab") == 0) || attribute(attrs, "internal-child")) r.skip_depth = 1;
    } else if (element == "packing") {
        r.skip_depth = 1;
    } else if (element == "object") {
        start_object(r, attrs);
    } else if (element == "property" && r.window) {
        const char *pname = attribute(attrs, "name");
        r.in_property = true;
        r.property_name = pname ? pname : "";
        r.chars.clear();
    } else if (element == "item" && r.window) {
        r.in_item = true;
        r.chars.clear();
    }
}

void XMLCALL on_end(void *data, const XML_Char *name)
{
    Reader &r = *static_cast<Reader *>(data);
    if (r.skip_depth > 0) {
        --r.skip_depth;
        return;
    }
    std::string_view element = name;
    if (element == "object") {
        end_object(r);
    } else if (element == "property" && r.in_property) {
        r.in_property = false;
        apply_property(r);
    } else if (element == "item" && r.in_item) {
        r.in_item = false;
        if (!r.open.empty() && r.open.back()->kind == ControlKind::menu) r.open.back()->items.push_back(r.chars);
    }
}

void XMLCALL on_chars(void *data, const XML_Char *s, int len)
{
    Reader &r = *static_cast<Reader *>(data);
    if (r.skip_depth == 0 && (r.in_property || r.in_item)) r.chars.append(s, std::size_t(len));
}

} // namespace

std::unique_ptr<Window> read_window(const std::string &xml, std::string_view window_name)
{
    Reader reader;
    reader.window_name = window_name;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) return nullptr;
    XML_SetUserData(parser, &reader);
    XML_SetElementHandler(parser, on_start, on_end);
    XML_SetCharacterDataHandler(parser, on_chars);
    bool ok = xml.size() <= std::size_t(INT32_MAX) &&
              XML_Parse(parser, xml.data(), int(xml.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!ok || !reader.done) return nullptr;
    return std::move(reader.window);
}

} // namespace tk
