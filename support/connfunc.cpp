/*
** Connection strings: the parser works on a (pointer, end) view of the text,
** so a length-given text needs no terminated copy; pairs are records on the
** caller's handle held in a List. The three generators share one writer that
** counts the length the whole text needs while it writes the items that fit.
*/
#include <cstring>
#include <string_view>

#include "internal.h"

namespace {

using std::string_view;

string_view view_of(const char *text)
{
    return text ? string_view(text) : string_view();
}

AttributePair *pair_of(ListItem *item)
{
    return static_cast<AttributePair *>(item->data);
}

// The first item whose key equals `key` without regard to case.
ListItem *find_first(AttributeList *list, string_view key)
{
    if (!list || list->count <= 0)
        return nullptr;
    for (ListItem *item = ListFirst(list->pairs); item; item = item->next)
        if (kv_equal_ascii_nocase(pair_of(item)->key, key))
            return item;
    return nullptr;
}

ListItem *find_last(AttributeList *list, string_view key)
{
    if (!list || list->count <= 0)
        return nullptr;
    for (ListItem *item = ListLast(list->pairs); item; item = item->prior)
        if (kv_equal_ascii_nocase(pair_of(item)->key, key))
            return item;
    return nullptr;
}

// A terminated copy of `text` on `handle`, upper-cased when asked.
char *copy_text(MemHandle *handle, string_view text, bool upper = false)
{
    if (text.size() >= UINT32_MAX)
        return nullptr;
    auto *copy = static_cast<char *>(kv_mem_alloc(handle, static_cast<uint32_t>(text.size() + 1)));
    if (!copy)
        return nullptr;
    for (std::size_t i = 0; i < text.size(); ++i)
        copy[i] = upper ? static_cast<char>(kv_ascii_upper(static_cast<unsigned char>(text[i]))) : text[i];
    copy[text.size()] = '\0';
    return copy;
}

// Replaces *field by a copy of `text`; false (field unchanged) without memory.
bool replace_text(MemHandle *handle, char **field, string_view text)
{
    char *copy = copy_text(handle, text);
    if (!copy)
        return false;
    kv_mem_free(handle, *field);
    *field = copy;
    return true;
}

void free_pair(MemHandle *handle, AttributePair *pair)
{
    kv_mem_free(handle, pair->key);
    kv_mem_free(handle, pair->value);
    kv_mem_free(handle, pair);
}

// Appends a new pair with the key upper-cased and `value`, a block on
// `handle` that the pair takes over; false, freeing it and changing nothing
// else, when memory runs out.
bool add_pair_taking(AttributeList *list, string_view key, char *value, MemHandle *handle)
{
    auto *pair = value ? static_cast<AttributePair *>(kv_mem_alloc(handle, sizeof(AttributePair))) : nullptr;
    if (!pair) {
        kv_mem_free(handle, value);
        return false;
    }
    pair->key = copy_text(handle, key, true);
    pair->value = value;
    // A count of 0 means empty whatever `pairs` still holds: start afresh.
    List *head = list->count > 0 ? list->pairs : nullptr;
    int32_t before = ListCount(head);
    List *pairs = pair->key ? ListAppend(pair, head, handle) : nullptr;
    if (!pairs || ListCount(pairs) == before) {
        free_pair(handle, pair);
        return false;
    }
    list->pairs = pairs;
    list->count++;
    return true;
}

bool add_pair(AttributeList *list, string_view key, string_view value, MemHandle *handle)
{
    return add_pair_taking(list, key, copy_text(handle, value), handle);
}

// Frees every pair and the list head; the list is empty afterwards.
void clear_pairs(AttributeList *list, MemHandle *handle)
{
    if (list->pairs) {
        for (ListItem *item = ListFirst(list->pairs); item;) {
            free_pair(handle, pair_of(item));
            item = ListDelete(list->pairs, item, handle);
        }
        kv_mem_free(handle, list->pairs);
    }
    init_con_str(list);
}

// ---- parsing ----

// A value as written in the text: braced values hold "}}" for each '}'.
struct RawValue {
    string_view text;
    bool braced;
};

std::size_t unescaped_length(RawValue raw)
{
    std::size_t length = raw.text.size();
    if (raw.braced)
        for (std::size_t i = 0; i + 1 < raw.text.size(); ++i)
            if (raw.text[i] == '}' && raw.text[i + 1] == '}')
                --length, ++i;
    return length;
}

// The value's text on `handle` with "}}" read as '}'.
char *copy_value(MemHandle *handle, RawValue raw)
{
    std::size_t length = unescaped_length(raw);
    if (length >= UINT32_MAX)
        return nullptr;
    auto *copy = static_cast<char *>(kv_mem_alloc(handle, static_cast<uint32_t>(length + 1)));
    if (!copy)
        return nullptr;
    char *out = copy;
    for (std::size_t i = 0; i < raw.text.size(); ++i) {
        *out++ = raw.text[i];
        if (raw.braced && raw.text[i] == '}')
            ++i; // the second brace of "}}"
    }
    *out = '\0';
    return copy;
}

// Reads a braced value starting after its '{': up to the '}' that is not
// doubled, or to the end of the text when there is none. Whatever follows
// the closing brace up to the next ';' is not part of any item.
RawValue read_braced(const char *&p, const char *end)
{
    const char *start = p;
    while (p < end) {
        if (*p == '}') {
            if (p + 1 < end && p[1] == '}') {
                p += 2;
                continue;
            }
            RawValue value{string_view(start, static_cast<std::size_t>(p - start)), true};
            while (p < end && *p != ';')
                ++p;
            if (p < end)
                ++p;
            return value;
        }
        ++p;
    }
    return {string_view(start, static_cast<std::size_t>(end - start)), true};
}

RawValue read_plain(const char *&p, const char *end)
{
    const char *start = p;
    while (p < end && *p != ';')
        ++p;
    RawValue value{string_view(start, static_cast<std::size_t>(p - start)), false};
    if (p < end)
        ++p;
    return value;
}

// Adds one parsed item unless its key was given before (the first wins).
bool add_parsed(AttributeList *list, string_view key, RawValue raw, MemHandle *handle)
{
    if (key.empty() || find_first(list, key))
        return true;
    return add_pair_taking(list, key, copy_value(handle, raw), handle);
}

struct ParseOutcome {
    bool ok = true;
    bool names_source = false; // DSN, DRIVER or FILEDSN was given
};

ParseOutcome parse_items(AttributeList *list, MemHandle *handle, const char *p, const char *end)
{
    ParseOutcome outcome;
    while (p < end) {
        if (*p == ';') { // an empty item
            ++p;
            continue;
        }
        const char *key_start = p;
        while (p < end && *p != '=' && *p != ';')
            ++p;
        if (p == end || *p != '=')
            break; // an item without '=' ends the text
        string_view key(key_start, static_cast<std::size_t>(p - key_start));
        ++p;
        RawValue value = (p < end && *p == '{') ? read_braced(++p, end) : read_plain(p, end);
        if (kv_equal_ascii_nocase(key, "DSN") || kv_equal_ascii_nocase(key, "DRIVER") ||
            kv_equal_ascii_nocase(key, "FILEDSN"))
            outcome.names_source = true;
        if (!add_parsed(list, key, value, handle)) {
            outcome.ok = false;
            break;
        }
    }
    return outcome;
}

// ---- generation ----

enum class Form { completed, unabridged, config };

bool starts_with_nocase(string_view text, string_view prefix)
{
    return text.size() >= prefix.size() && kv_equal_ascii_nocase(text.substr(0, prefix.size()), prefix);
}

bool always_braced(string_view key)
{
    return kv_equal_ascii_nocase(key, "DRIVER") || starts_with_nocase(key, "SQITARGET") ||
           starts_with_nocase(key, "REMOTESTRING");
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Whether a value would not read back as itself without braces.
bool needs_braces(string_view value)
{
    if (!value.empty() && (is_blank(value.front()) || is_blank(value.back())))
        return true;
    return value.find_first_of(";{}=") != string_view::npos;
}

// A key that a parser would read back as itself.
bool writable_key(string_view key)
{
    return !key.empty() && key.find_first_of(";{}=") == string_view::npos;
}

// Collects the text in `buffer` (`capacity` bytes, terminators included)
// while counting the length the whole text needs.
class Writer {
public:
    Writer(char *buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    // Whether an item of `length` bytes still fits with a terminator after
    // it; once one does not, none is written.
    bool fits(std::size_t length)
    {
        needed_ += length;
        if (!cut_ && used_ + length + 1 > capacity_)
            cut_ = true;
        return !cut_;
    }
    void put(char c) { buffer_[used_++] = c; }
    void put(string_view text)
    {
        std::memcpy(buffer_ + used_, text.data(), text.size());
        used_ += text.size();
    }
    // The value in braces with each '}' doubled.
    void put_braced(string_view value)
    {
        put('{');
        for (char c : value) {
            put(c);
            if (c == '}')
                put('}');
        }
        put('}');
    }
    void terminate() { buffer_[used_] = '\0'; }
    uint64_t needed() const { return needed_; }
    std::size_t used() const { return used_; }

private:
    char *buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    uint64_t needed_ = 0;
    bool cut_ = false;
};

std::size_t braced_length(string_view value)
{
    std::size_t length = value.size() + 2;
    for (char c : value)
        length += c == '}' ? 1 : 0;
    return length;
}

bool skipped(Form form, string_view key, bool has_dsn)
{
    if (form == Form::completed)
        return (has_dsn && kv_equal_ascii_nocase(key, "DRIVER")) || kv_equal_ascii_nocase(key, "DESCRIPTION");
    if (form == Form::unabridged)
        return kv_equal_ascii_nocase(key, "ODBCDM");
    return false;
}

// One "KEY=value;" item (or "KEY=value" and its NUL for the installer).
void write_item(Writer &out, Form form, string_view key, string_view value)
{
    bool braces = form != Form::config &&
                  ((form == Form::completed && always_braced(key)) || needs_braces(value));
    std::size_t length = key.size() + 1 + (braces ? braced_length(value) : value.size()) + 1;
    if (!out.fits(length))
        return;
    out.put(key);
    out.put('=');
    if (braces)
        out.put_braced(value);
    else
        out.put(value);
    out.put(form == Form::config ? '\0' : ';');
}

int32_t saturated(uint64_t length)
{
    return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

int generate(Form form, AttributeList *list, char *buffer, int32_t length, int32_t *needed)
{
    if (length < 0 || (!buffer && length != 0))
        return -1;
    std::size_t capacity = static_cast<std::size_t>(length);
    Writer out(buffer, capacity);
    bool has_dsn = find_first(list, "DSN") != nullptr;
    if (list && list->count > 0)
        for (ListItem *item = ListFirst(list->pairs); item; item = item->next) {
            const AttributePair *pair = pair_of(item);
            if (writable_key(pair->key) && !skipped(form, pair->key, has_dsn))
                write_item(out, form, pair->key, view_of(pair->value));
        }
    // The terminator; the installer's list ends with a second NUL, and an
    // empty one is two NULs.
    uint64_t terminators = form == Form::config && out.needed() == 0 ? 2 : 1;
    uint64_t total = out.needed() + terminators;
    if (capacity >= 1) {
        if (form == Form::config && out.used() == 0 && capacity >= 2)
            out.put('\0');
        out.terminate();
    }
    if (needed)
        *needed = saturated(form == Form::config ? total : total - 1);
    return capacity >= total ? 0 : 1;
}

// The empty text the string generators return for an empty list.
char *empty_text()
{
    static char empty[1];
    empty[0] = '\0';
    return empty;
}

bool is_empty(const AttributeList *list)
{
    return !list || list->count <= 0;
}

} // namespace

extern "C" {

AttributeList *init_con_str(AttributeList *list)
{
    if (list) {
        list->count = 0;
        list->pairs = nullptr;
    }
    return list;
}

int parse_connection_string(AttributeList *list, MemHandle *handle, const char *text, int length, int flags)
{
    if (!list)
        return -1;
    init_con_str(list);
    if (!handle || (length < 0 && length != SQL_NTS) || (!text && length != 0 && length != SQL_NTS))
        return -1;
    std::size_t size = !text ? 0 : length == SQL_NTS ? std::strlen(text) : strnlen(text, static_cast<std::size_t>(length));
    string_view whole(text, size);
    if (whole.empty() || whole == ";")
        return 0;
    ParseOutcome outcome = parse_items(list, handle, whole.data(), whole.data() + whole.size());
    if (outcome.ok && !outcome.names_source && !(flags & KV_CONSTR_NO_DEFAULT_DSN))
        outcome.ok = add_pair(list, "DSN", "DEFAULT", handle);
    if (!outcome.ok) {
        clear_pairs(list, handle);
        return -1;
    }
    return 0;
}

int append_pair(AttributeList *list, const char *key, const char *value, MemHandle *handle)
{
    if (!value || !key)
        return 1;
    if (!list || !handle)
        return -1;
    if (ListItem *item = find_first(list, key))
        return replace_text(handle, &pair_of(item)->value, value) ? 0 : -1;
    return add_pair(list, key, value, handle) ? 0 : -1;
}

const char *get_attribute_value(AttributeList *list, const char *key)
{
    if (!key)
        return nullptr;
    ListItem *item = find_first(list, key);
    if (!item)
        return nullptr;
    const char *value = pair_of(item)->value;
    return value ? value : "";
}

int merge_connection_string(AttributeList *target, AttributeList *source, MemHandle *handle)
{
    if (!target || is_empty(source))
        return 0;
    for (ListItem *from = ListFirst(source->pairs); from; from = from->next) {
        const AttributePair *pair = pair_of(from);
        bool held = false;
        for (ListItem *item = target->count > 0 ? ListFirst(target->pairs) : nullptr; item; item = item->next) {
            if (!kv_equal_ascii_nocase(pair_of(item)->key, pair->key))
                continue;
            held = true;
            if (!replace_text(handle, &pair_of(item)->value, view_of(pair->value)))
                return -1;
        }
        if (!held && append_pair(target, pair->key, pair->value ? pair->value : "", handle) < 0)
            return -1;
    }
    return 0;
}

int modify_connection_string(AttributeList *list, const char *key, const char *value, MemHandle *handle)
{
    ListItem *item = key && value ? find_first(list, key) : nullptr;
    if (!item)
        return 0;
    return replace_text(handle, &pair_of(item)->value, value) ? 0 : -1;
}

int change_connection_string(AttributeList *list, const char *key, const char *new_key, MemHandle *handle)
{
    ListItem *item = key && new_key ? find_first(list, key) : nullptr;
    if (!item)
        return 0;
    return replace_text(handle, &pair_of(item)->key, new_key) ? 0 : -1;
}

int replace_connection_string(AttributeList *list, const char *old_key, const char *new_key, MemHandle *handle)
{
    if (is_empty(list) || !old_key || !*old_key || !new_key || !*new_key || find_first(list, new_key))
        return 0;
    ListItem *item = find_last(list, old_key);
    if (!item)
        return 0;
    return replace_text(handle, &pair_of(item)->key, new_key) ? 0 : -1;
}

void delete_connection_string(AttributeList *list, const char *key, MemHandle *handle)
{
    if (is_empty(list) || !key || !*key)
        return;
    ListItem *item = find_first(list, key);
    if (!item)
        return;
    free_pair(handle, pair_of(item));
    ListDelete(list->pairs, item, handle);
    list->count--;
}

int generate_connection_string_len(AttributeList *list, char *buffer, int32_t length, int32_t *needed)
{
    return generate(Form::completed, list, buffer, length, needed);
}

int generate_connection_string_ex_len(AttributeList *list, char *buffer, int32_t length, int32_t *needed)
{
    return generate(Form::unabridged, list, buffer, length, needed);
}

int generate_connection_string_config_len(AttributeList *list, char *buffer, int32_t length, int32_t *needed)
{
    return generate(Form::config, list, buffer, length, needed);
}

char *generate_connection_string(AttributeList *list, char *buffer, int length)
{
    if (is_empty(list))
        return empty_text();
    generate(Form::completed, list, buffer, length, nullptr);
    return buffer;
}

char *generate_connection_string_ex(AttributeList *list, char *buffer)
{
    if (is_empty(list))
        return empty_text();
    generate(Form::unabridged, list, buffer, INT32_MAX, nullptr);
    return buffer;
}

char *generate_connection_string_config(AttributeList *list, char *buffer, int length)
{
    if (!buffer || length < 2)
        return nullptr;
    generate(Form::config, list, buffer, length, nullptr);
    return buffer;
}

} // extern "C"
