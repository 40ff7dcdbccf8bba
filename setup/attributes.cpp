/*
** The attribute table and the rules of attribute values. A request gathers
** raw texts by table row (stored section first, attribute string over it);
** check_values then refuses anything that could not be shown faithfully or
** written safely, before a field is filled or a byte reaches odbc.ini.
*/
#include "attributes.h"

#include <odbcinst.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

#include <strings.h>

namespace fbsetup {

#define INFO(field) std::ptrdiff_t(offsetof(ConnectInfo, field))
#define FLAG(key, attr, control, info, help) {key, attr, nullptr, Kind::flag, control, info, 2, help}

const std::array<Attribute, attribute_count> attribute_table = {{
    {nullptr, "dsn", nullptr, Kind::text, name_field, INFO(dsn), SQL_MAX_DSN_LENGTH, "Name of the data source"},
    {"Description", "description", nullptr, Kind::text, description_field, -1, text_limit,
     "What the data source is for"},
    {"Database", "database", nullptr, Kind::text, database_field, INFO(database), text_limit,
     "Database file or alias, optionally host[/port]: in front"},
    {"User", "user", "uid", Kind::text, user_field, INFO(user), text_limit, "User name to connect as"},
    {"Password", "password", "pwd", Kind::password, password_field, INFO(password), password_limit,
     "Password; leave empty to be asked when connecting. Stored obfuscated, not encrypted"},
    {"Role", "role", nullptr, Kind::text, role_field, INFO(role), text_limit, "SQL role to connect with"},
    {"Dialect", "dialect", nullptr, Kind::choice, dialect_menu, INFO(dialect), 3,
     "SQL dialect: 1 (InterBase 5 and earlier), 2 (migration), 3 (current)"},
    FLAG("Uidoverride", "uidoverride", 1302, -1, "Let the connection's user name override this one"),
    FLAG("Dquote", "dquote", 1303, INFO(dquote), "Treat double-quoted text as identifiers"),
    FLAG("Oldmetadata", "oldmetadata", 1304, INFO(oldmetadata), "Report catalog metadata the old way"),
    FLAG("Readonly", "readonly", 1305, INFO(readonly), "Open read-only transactions"),
    FLAG("Execproc", "execproc", 1306, INFO(execproc), "Run selectable procedures with EXECUTE PROCEDURE"),
    FLAG("Commitselect", "commitselect", 1307, INFO(commitselect), "Commit after a SELECT in autocommit mode"),
    FLAG("Flushcommit", "flushcommit", 1308, INFO(flushcommit), "Flush to disk on every commit"),
    FLAG("Withschema", "withschema", 1309, INFO(withschema), "Report the owner as the schema"),
    FLAG("Nullschema", "nullschema", 1310, INFO(nullschema), "Report the schema as NULL"),
    FLAG("Padvarchar", "padvarchar", 1311, INFO(padvarchar), "Pad VARCHAR values with blanks"),
    FLAG("Withdefault", "withdefault", 1312, INFO(withdefault), "Report column defaults"),
    FLAG("Fixprecision", "fixprecision", 1313, INFO(fixprecision), "Report the declared precision of numerics"),
    FLAG("Simpleunicode", "simpleunicode", 1314, INFO(simpleunicode), "Map Unicode columns to simple types"),
    FLAG("Wchardefaultc", "wchardefaultc", 1315, INFO(wchardefaultc), "Bind wide characters by default"),
    FLAG("Nowait", "nowait", nowait_box, INFO(nowait), "Fail at once on a lock conflict instead of waiting"),
    {"Txnmode", "txnmode", nullptr, Kind::choice, txnmode_menu, INFO(txnmode), 3,
     "Transaction isolation: 1 read committed, 2 snapshot (concurrency), 3 snapshot table stability"},
    {"Charset", "charset", nullptr, Kind::text, charset_field, INFO(charset), text_limit,
     "Character set of the connection, for example UTF8"},
}};

#undef FLAG
#undef INFO

namespace {

bool same_key(std::string_view a, const char *b)
{
    return b && a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

const Attribute *row_for_key(std::string_view key)
{
    for (const Attribute &a : attribute_table)
        if (same_key(key, a.attribute_key) || same_key(key, a.synonym)) return &a;
    return nullptr;
}

std::size_t row_index(const Attribute &a) { return std::size_t(&a - attribute_table.data()); }

const char *display_name(const Attribute &a) { return a.ini_key ? a.ini_key : "DSN"; }

std::string without_semicolon(std::string_view name)
{
    if (!name.empty() && name.back() == ';') name.remove_suffix(1);
    return std::string(trimmed(name));
}

// Calls visit(key, value) for every key=value entry; entries without '='
// have no value and are skipped.
template <typename Visit> void for_each_entry(const char *attributes, Visit visit)
{
    for (const char *entry = attributes; entry && *entry; entry += std::strlen(entry) + 1) {
        std::string_view text(entry);
        std::size_t equals = text.find('=');
        if (equals != text.npos) visit(trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1)));
    }
}

Refusal invalid_value(const Attribute &a, const std::string &why)
{
    return {ODBC_ERROR_INVALID_KEYWORD_VALUE, std::string("Invalid value for ") + display_name(a) + ": " + why};
}

std::string quoted(std::string_view value)
{
    return "\"" + std::string(value.substr(0, 40)) + (value.size() > 40 ? "...\"" : "\"");
}

Refusal check_value(const Attribute &a, std::string_view value)
{
    switch (a.kind) {
    case Kind::text:
    case Kind::password:
        if (has_line_break(value)) return invalid_value(a, "line breaks are not allowed");
        // A scrambled password is checked as the password it stands for.
        if (character_count(a.kind == Kind::password ? unscramble(value) : std::string(value)) > std::size_t(a.items))
            return invalid_value(a, "longer than " + std::to_string(a.items) + " characters");
        return {};
    case Kind::flag:
        if (parse_flag(value)) return {};
        return invalid_value(a, quoted(value) + " is not Yes or No (also True/False, On/Off, 1/0)");
    case Kind::choice:
        if (parse_choice(value, a.items)) return {};
        return invalid_value(a, quoted(value) + " is not an item number from 1 to " + std::to_string(a.items));
    }
    return {};
}

constexpr std::string_view open_marker = "KVZ1:";  // five characters
constexpr std::string_view close_marker = ":Z1";   // three characters
constexpr std::string_view scramble_key = "zorv";

bool is_hex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

unsigned char swap_halves(unsigned char b) { return static_cast<unsigned char>((b << 4) | (b >> 4)); }

} // namespace

std::string scramble(std::string_view password)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(open_marker);
    for (std::size_t i = 0; i < password.size(); ++i) {
        unsigned char b = swap_halves(static_cast<unsigned char>(password[i]));
        b ^= static_cast<unsigned char>(scramble_key[i % scramble_key.size()]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    out += close_marker;
    return out;
}

std::string unscramble(std::string_view text)
{
    if (text.size() < open_marker.size() + close_marker.size() || !text.starts_with(open_marker) ||
        !text.ends_with(close_marker))
        return std::string(text);
    std::string_view hex = text.substr(open_marker.size(), text.size() - open_marker.size() - close_marker.size());
    if (hex.size() % 2 != 0 || !is_hex(hex)) return std::string(text);
    std::string out;
    for (std::size_t i = 0; i < hex.size() / 2; ++i) {
        auto b = static_cast<unsigned char>(hex_value(hex[2 * i]) << 4 | hex_value(hex[2 * i + 1]));
        b ^= static_cast<unsigned char>(scramble_key[i % scramble_key.size()]);
        out += char(swap_halves(b));
    }
    return out;
}

bool has_line_break(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos; }

std::string_view trimmed(std::string_view text)
{
    std::size_t start = text.find_first_not_of(" \t");
    if (start == text.npos) return {};
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::size_t character_count(std::string_view text)
{
    return std::size_t(std::count_if(text.begin(), text.end(),
                                     [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::optional<int> parse_flag(std::string_view text)
{
    static constexpr const char *on[] = {"yes", "true", "on", "1"};
    static constexpr const char *off[] = {"no", "false", "off", "0"};
    text = trimmed(text);
    for (const char *word : on)
        if (same_key(text, word)) return 1;
    for (const char *word : off)
        if (same_key(text, word)) return 0;
    return std::nullopt;
}

std::optional<int> parse_choice(std::string_view text, int items)
{
    text = trimmed(text);
    int item = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), item);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || item < 1 || item > items)
        return std::nullopt;
    return item;
}

Refusal check_name(std::string_view name)
{
    auto refuse = [](const std::string &why) { return Refusal{ODBC_ERROR_INVALID_DSN, "Invalid data source name: " + why}; };
    if (name.empty()) return refuse("it is empty");
    if (has_line_break(name)) return refuse("line breaks are not allowed");
    if (name.size() > SQL_MAX_DSN_LENGTH) return refuse("longer than " + std::to_string(SQL_MAX_DSN_LENGTH) + " bytes");
    std::string text(name);
    if (!SQLValidDSN(text.c_str())) return refuse("it may not contain any of []{}(),;?*=!@\\");
    return {};
}

std::string name_in_attribute_string(const char *attributes)
{
    std::string name;
    for_each_entry(attributes, [&](std::string_view key, std::string_view value) {
        if (same_key(key, "dsn")) name = without_semicolon(value);
    });
    return name;
}

Refusal read_attribute_string(const char *attributes, Values &values)
{
    for_each_entry(attributes, [&](std::string_view key, std::string_view value) {
        if (const Attribute *a = row_for_key(key)) {
            std::size_t row = row_index(*a);
            values[row] = row == name_row ? without_semicolon(value) : std::string(value);
        }
    });
    if (values[name_row] && !values[name_row]->empty()) return check_name(*values[name_row]);
    return {};
}

void read_stored_section(const std::vector<std::pair<std::string, std::string>> &section, Values &values)
{
    for (const auto &[key, value] : section)
        for (const Attribute &a : attribute_table)
            if (same_key(key, a.ini_key)) values[row_index(a)] = value;
}

Refusal check_values(const Values &values)
{
    for (std::size_t row = 0; row < attribute_count; ++row) {
        if (!values[row] || row == name_row) continue;
        if (Refusal r = check_value(attribute_table[row], *values[row])) return r;
    }
    return {};
}

} // namespace fbsetup
