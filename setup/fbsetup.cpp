/*
** fbsetup's entry points: data-source requests from the ODBC installer
** (ConfigDSN, ConfigDriver), connection completion and error alerts for the
** driver (complete_info, complete_error), and the scrambled password form.
** One table lists the data-source attributes in the order they are written,
** with their odbc.ini keys, attribute-string keys, controls and ConnectInfo
** fields; every path that reads or writes attributes walks it.
*/
#include "fbsetup.h"
#include "dialog.h"
#include "toolkit.h"

#include <sql.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <strings.h>

#define FBSETUP_EXPORT __attribute__((visibility("default")))

namespace fbsetup {
namespace {

constexpr std::string_view open_marker = "KVZ1:";  // five characters
constexpr std::string_view close_marker = ":Z1";   // three characters
constexpr std::string_view scramble_key = "zorv";
constexpr std::size_t name_limit = 511;            // driver and data-source names
constexpr std::size_t info_text_limit = 127;       // ConnectInfo texts

constexpr BOOL succeeded = 1;
constexpr BOOL failed = 0;

enum class Kind { text, password, flag, choice };

struct Attribute {
    const char *ini_key;  // null for the data-source name, which names the section
    const char *attribute_key;
    Kind kind;
    int control;
    std::ptrdiff_t info;  // offset of the ConnectInfo field, -1 for none
};

#define INFO(field) std::ptrdiff_t(offsetof(ConnectInfo, field))

// The data-source attributes in the order they are written.
constexpr std::array<Attribute, 24> attribute_table = {{
    {nullptr, "dsn", Kind::text, name_field, INFO(dsn)},
    {"Description", "description", Kind::text, description_field, -1},
    {"Database", "database", Kind::text, database_field, INFO(database)},
    {"User", "user", Kind::text, user_field, INFO(user)},
    {"Password", "password", Kind::password, password_field, INFO(password)},
    {"Role", "role", Kind::text, role_field, INFO(role)},
    {"Dialect", "dialect", Kind::choice, dialect_menu, INFO(dialect)},
    {"Uidoverride", "uidoverride", Kind::flag, 1302, -1},
    {"Dquote", "dquote", Kind::flag, 1303, INFO(dquote)},
    {"Oldmetadata", "oldmetadata", Kind::flag, 1304, INFO(oldmetadata)},
    {"Readonly", "readonly", Kind::flag, 1305, INFO(readonly)},
    {"Execproc", "execproc", Kind::flag, 1306, INFO(execproc)},
    {"Commitselect", "commitselect", Kind::flag, 1307, INFO(commitselect)},
    {"Flushcommit", "flushcommit", Kind::flag, 1308, INFO(flushcommit)},
    {"Withschema", "withschema", Kind::flag, 1309, INFO(withschema)},
    {"Nullschema", "nullschema", Kind::flag, 1310, INFO(nullschema)},
    {"Padvarchar", "padvarchar", Kind::flag, 1311, INFO(padvarchar)},
    {"Withdefault", "withdefault", Kind::flag, 1312, INFO(withdefault)},
    {"Fixprecision", "fixprecision", Kind::flag, 1313, INFO(fixprecision)},
    {"Simpleunicode", "simpleunicode", Kind::flag, 1314, INFO(simpleunicode)},
    {"Wchardefaultc", "wchardefaultc", Kind::flag, 1315, INFO(wchardefaultc)},
    {"Nowait", "nowait", Kind::flag, nowait_box, INFO(nowait)},
    {"Txnmode", "txnmode", Kind::choice, txnmode_menu, INFO(txnmode)},
    {"Charset", "charset", Kind::text, charset_field, INFO(charset)},
}};

#undef INFO

// What the entry point that runs the dialog hands to its hooks.
struct BundleState {
    std::string driver;
    std::string dsn;
    UWORD config_mode = ODBC_BOTH_DSN;
    const char *attributes = nullptr;  // ConfigDSN: the attribute string
    ConnectInfo *info = nullptr;       // complete_info: the record being completed
    bool data_source_mode = true;
};

BundleState state;
std::mutex one_dialog;  // the dialog and `state` serve one caller at a time

// Attribute strings: NUL-ended key=value entries, ended by an empty entry.
template <typename Visit> void for_each_entry(const char *attributes, Visit visit)
{
    for (const char *entry = attributes; entry && *entry; entry += std::strlen(entry) + 1) visit(entry);
}

// The value of `entry` when its key is `key` (any case), else null.
const char *value_for(const char *entry, const char *key)
{
    std::size_t length = std::strlen(key);
    if (strncasecmp(entry, key, length) != 0 || entry[length] != '=') return nullptr;
    return entry + length + 1;
}

std::string_view without_semicolon(std::string_view name)
{
    if (!name.empty() && name.back() == ';') name.remove_suffix(1);
    return name;
}

std::int32_t decimal(const char *text)
{
    long n = std::strtol(text, nullptr, 10);
    return std::int32_t(std::clamp<long>(n, INT32_MIN, INT32_MAX));
}

std::string data_source_name(const char *attributes)
{
    std::string_view name;
    for_each_entry(attributes, [&](const char *entry) {
        if (const char *value = value_for(entry, "dsn")) name = value;
    });
    return std::string(without_semicolon(name).substr(0, name_limit));
}

bool is_hex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

unsigned char swap_halves(unsigned char b) { return static_cast<unsigned char>((b << 4) | (b >> 4)); }

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

// Any text but our own scrambled form comes back unchanged.
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

void post_error(DWORD code, const char *message) { SQLPostInstallerError(code, message); }

// Shows one attribute value given as text (attribute string) in its control.
void show_attribute(const Attribute &a, const char *value)
{
    switch (a.kind) {
    case Kind::text:
        set_field_text(a.control, a.control == name_field ? without_semicolon(value) : value);
        break;
    case Kind::password: set_field_password(a.control, unscramble(value)); break;
    case Kind::flag:
    case Kind::choice: set_field_value(a.control, decimal(value)); break;
    }
}

void fill_from_attributes()
{
    set_name_read_only();
    for_each_entry(state.attributes, [](const char *entry) {
        for (const Attribute &a : attribute_table) {
            if (const char *value = value_for(entry, a.attribute_key)) {
                show_attribute(a, value);
                break;
            }
        }
    });
}

void fill_data_source(void *)
{
    if (!state.dsn.empty()) {
        fill_from_attributes();
        return;
    }
    set_field_value(txnmode_menu, 1);
    set_field_value(dialect_menu, 3);
}

// The text of one attribute as odbc.ini stores it.
std::string stored_value(const Attribute &a)
{
    switch (a.kind) {
    case Kind::text: return field_text(a.control);
    case Kind::password: return scramble(field_password(a.control));
    case Kind::flag: return field_value(a.control) ? "1" : "0";
    case Kind::choice: return std::to_string(field_value(a.control));
    }
    return {};
}

void write_data_source(void *)
{
    std::string dsn = field_text(name_field);
    SQLWriteDSNToIni(dsn.c_str(), state.driver.c_str());
    for (const Attribute &a : attribute_table) {
        if (!a.ini_key) continue;
        SQLSetConfigMode(state.config_mode);
        SQLWritePrivateProfileString(dsn.c_str(), a.ini_key, stored_value(a).c_str(), "odbc.ini");
    }
}

char *info_text(ConnectInfo *info, const Attribute &a) { return reinterpret_cast<char *>(info) + a.info; }
std::int32_t &info_number(ConnectInfo *info, const Attribute &a)
{
    return *reinterpret_cast<std::int32_t *>(reinterpret_cast<char *>(info) + a.info);
}

std::string_view bounded(const char *field) { return {field, strnlen(field, info_text_limit + 1)}; }

void copy_info_text(char *field, std::string_view text)
{
    text = cut_message(text, info_text_limit);
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
}

void fill_from_info(void *)
{
    ConnectInfo *info = state.info;
    if (state.data_source_mode) {
        set_name_read_only();
        char description[128] = "";
        SQLGetPrivateProfileString(info->dsn, "Description", "", description, sizeof description, "odbc.ini");
        set_field_text(description_field, description);
    }
    for (const Attribute &a : attribute_table) {
        if (a.info < 0 || (a.control == name_field && !state.data_source_mode)) continue;
        switch (a.kind) {
        case Kind::text: set_field_text(a.control, bounded(info_text(info, a))); break;
        case Kind::password: set_field_password(a.control, unscramble(bounded(info_text(info, a)))); break;
        case Kind::flag:
        case Kind::choice: set_field_value(a.control, info_number(info, a)); break;
        }
    }
}

// The password goes back scrambled; one too long for the scrambled form to
// fit the record goes back plain, which decrypt_pw also accepts.
void store_password(char *field, const std::string &password)
{
    std::string scrambled = scramble(password);
    copy_info_text(field, scrambled.size() <= info_text_limit ? scrambled : password);
}

void collect_info(void *)
{
    ConnectInfo *info = state.info;
    for (const Attribute &a : attribute_table) {
        if (a.info < 0 || (a.control == name_field && !state.data_source_mode)) continue;
        switch (a.kind) {
        case Kind::text: copy_info_text(info_text(info, a), field_text(a.control)); break;
        case Kind::password: store_password(info_text(info, a), field_password(a.control)); break;
        case Kind::flag: info_number(info, a) = field_value(a.control) ? 1 : 0; break;
        case Kind::choice: info_number(info, a) = field_value(a.control); break;
        }
    }
}

BOOL remove_data_source()
{
    if (state.dsn.empty()) {
        post_error(ODBC_ERROR_INVALID_NAME, "Invalid DSN Specified to ODBC_REMOVE_DSN");
        return failed;
    }
    if (SQLRemoveDSNFromIni(state.dsn.c_str())) return succeeded;
    // Pass the installer's own records on. All are read before any is posted
    // again, so that a record posted here is not read back as another one.
    struct Record {
        DWORD code;
        std::string message;
    };
    std::vector<Record> records;
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char message[512] = "";
        WORD length = 0;
        SQLRETURN rc = SQLInstallerError(i, &code, message, sizeof message, &length);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) records.push_back({code, message});
    }
    for (const Record &r : records) post_error(r.code, r.message.c_str());
    return failed;
}

} // namespace
} // namespace fbsetup

using namespace fbsetup;

extern "C" {

FBSETUP_EXPORT BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver, LPCSTR attributes_text)
{
    const char *attrs = attributes_text ? attributes_text : "";
    if (request != ODBC_ADD_DSN && request != ODBC_CONFIG_DSN && request != ODBC_REMOVE_DSN) {
        post_error(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request");
        return failed;
    }
    if (request != ODBC_ADD_DSN && !*attrs) {
        post_error(ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes");
        return failed;
    }
    std::lock_guard<std::mutex> lock(one_dialog);
    state = BundleState{};
    SQLGetConfigMode(&state.config_mode);
    state.dsn = data_source_name(attrs);
    if (request == ODBC_REMOVE_DSN) return remove_data_source();

    state.driver = std::string(driver ? driver : "").substr(0, name_limit);
    state.attributes = attrs;
    state.data_source_mode = true;
    run_dialog(DialogMode::data_source, DialogHooks{fill_data_source, write_data_source, nullptr});
    state = BundleState{};
    return succeeded;
}

FBSETUP_EXPORT BOOL INSTAPI ConfigDriver(HWND, WORD request, LPCSTR, LPCSTR, LPSTR message, WORD message_max,
                                         WORD *message_length)
{
    static constexpr std::string_view text = "Return message from the Kestrova Firebird ODBC Driver";
    if (request != ODBC_INSTALL_DRIVER && request != ODBC_REMOVE_DRIVER) {
        post_error(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request to ConfigDriver");
        return failed;
    }
    if (message && message_max > 0) {
        std::size_t n = std::min<std::size_t>(text.size(), message_max - 1u);
        std::memcpy(message, text.data(), n);
        message[n] = '\0';
    }
    if (message_length) *message_length = WORD(text.size());
    return succeeded;
}

FBSETUP_EXPORT int complete_info(ConnectInfo *info)
{
    if (!info) return SQL_NO_DATA;
    std::lock_guard<std::mutex> lock(one_dialog);
    state = BundleState{};
    SQLGetConfigMode(&state.config_mode);
    state.data_source_mode = info->dsn[0] != '\0';
    ConnectInfo completed = *info;
    state.info = &completed;
    DialogMode mode = state.data_source_mode ? DialogMode::data_source : DialogMode::connection_only;
    int exit_code = run_dialog(mode, DialogHooks{fill_from_info, collect_info, nullptr});
    state = BundleState{};
    if (exit_code != 1) return SQL_NO_DATA;
    *info = completed;
    return 0;
}

FBSETUP_EXPORT int complete_error(const char *message)
{
    return tk::stop_alert(alert_title, cut_message(message ? message : "", 255));
}

FBSETUP_EXPORT char *encrypt_pw(const char *password, char *out)
{
    std::string scrambled = scramble(password ? password : "");
    std::memcpy(out, scrambled.c_str(), scrambled.size() + 1);
    return out;
}

FBSETUP_EXPORT char *decrypt_pw(const char *text, char *out)
{
    std::string plain = unscramble(text ? text : "");
    std::memcpy(out, plain.c_str(), plain.size() + 1);
    return out;
}

} // extern "C"
