/*
** fbsetup's entry points: data-source requests from the ODBC installer
** (ConfigDSN, ConfigDriver), connection completion and error alerts for the
** driver (complete_info, complete_error), and the scrambled password form.
** A request is checked whole before anything is shown; OK checks the fields
** again and writes them through profile.cpp, which undoes a failed write.
** Every outcome but success is FALSE with an installer error record.
*/
#include "fbsetup.h"
#include "attributes.h"
#include "dialog.h"
#include "profile.h"
#include "toolkit.h"

#include <sql.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fbsetup {
namespace {

constexpr std::size_t name_limit = 511;  // driver names

constexpr BOOL succeeded = 1;
constexpr BOOL failed = 0;

// What the entry point that runs the dialog hands to its hooks.
struct BundleState {
    std::string driver;
    std::string dsn;                 // given by the request: the name field is read-only
    UWORD config_mode = ODBC_BOTH_DSN;
    Values values;                   // ConfigDSN: what fills the dialog
    std::optional<Section> before;   // ConfigDSN: the section as stored, if any
    bool in_place = false;           // ConfigDSN: update the stored section
    ConnectInfo *info = nullptr;     // complete_info: the record being completed
    bool data_source_mode = true;
};

BundleState state;
// The toolkit, the dialog and `state` serve one caller at a time: every entry
// point that shows something holds this lock.
std::mutex one_dialog;

// unixODBC copies a posted message; iODBC keeps its pointer until
// SQLInstallerError reads it (at most 8 records, cleared by its next call), so
// the texts are kept here, one slot a record, in a module that iODBC may not
// unload (it is linked -z nodelete for iODBC). iODBC also declares the
// message `char *`, unixODBC `const char *`.
std::mutex posted_lock;
std::array<std::string, 8> posted;
std::size_t next_posted = 0;

void post_error(DWORD code, const std::string &message)
{
    std::lock_guard<std::mutex> lock(posted_lock);
    std::string &kept = posted[next_posted++ % posted.size()];
    kept = message;
    SQLPostInstallerError(code, kept.data());
}

BOOL refuse(const Refusal &refusal)
{
    if (!refusal.text.empty()) post_error(refusal.code, refusal.text);
    return failed;
}

// Shows one attribute's value, already checked, in its control.
void show_attribute(const Attribute &a, const std::string &value)
{
    switch (a.kind) {
    case Kind::text: set_field_text(a.control, value); break;
    case Kind::password: set_field_password(a.control, unscramble(value)); break;
    case Kind::flag: set_field_value(a.control, parse_flag(value).value_or(0)); break;
    case Kind::choice: set_field_value(a.control, parse_choice(value, a.items).value_or(1)); break;
    }
}

void fill_data_source(void *)
{
    set_field_value(txnmode_menu, 1);
    set_field_value(dialect_menu, 3);
    if (state.dsn.empty()) return;
    set_name_read_only();
    for (std::size_t row = 0; row < attribute_count; ++row)
        if (state.values[row]) show_attribute(attribute_table[row], *state.values[row]);
}

// The text of one attribute as odbc.ini stores it; nullopt stores nothing
// (an empty password: the driver asks for it when connecting).
std::optional<std::string> stored_value(const Attribute &a)
{
    switch (a.kind) {
    case Kind::text: return field_text(a.control);
    case Kind::password: {
        std::string password = field_password(a.control);
        if (password.empty()) return std::nullopt;
        return scramble(password);
    }
    case Kind::flag: return field_value(a.control) ? "1" : "0";
    case Kind::choice: return std::to_string(field_value(a.control));
    }
    return std::nullopt;
}

// The fields as attribute values, for the same checks as a request's values.
Values field_values()
{
    Values values;
    for (std::size_t row = 1; row < attribute_count; ++row) {
        const Attribute &a = attribute_table[row];
        if (a.kind == Kind::text) values[row] = field_text(a.control);
        if (a.kind == Kind::password) values[row] = field_password(a.control);
    }
    return values;
}

// The data source the dialog names: the request's, or the one typed for a
// new data source, which must not be another driver's.
Refusal target_name(std::string &name)
{
    name = state.dsn.empty() ? std::string(trimmed(field_text(name_field))) : state.dsn;
    if (Refusal r = check_name(name)) return r;
    if (state.dsn.empty()) {
        state.before = read_section(state.config_mode, name);
        if (!free_for_driver(state.config_mode, state.before, state.driver))
            return {ODBC_ERROR_INVALID_DSN, "A data source named " + name + " already exists for another driver"};
    }
    return {};
}

Acceptance accept_data_source(void *, std::string &reason)
{
    std::string name;
    Refusal refusal = target_name(name);
    if (!refusal) refusal = check_values(field_values());
    if (refusal) {
        reason = refusal.text;
        return Acceptance::refused;
    }
    std::vector<Entry> entries;
    for (const Attribute &a : attribute_table)
        if (a.ini_key) entries.emplace_back(a.ini_key, stored_value(a));
    refusal = write_data_source(state.config_mode, name, state.driver, entries, state.before, state.in_place);
    reason = refusal.text;
    return refusal ? Acceptance::failed : Acceptance::accepted;
}

char *info_text(ConnectInfo *info, const Attribute &a) { return reinterpret_cast<char *>(info) + a.info; }
std::int32_t &info_number(ConnectInfo *info, const Attribute &a)
{
    return *reinterpret_cast<std::int32_t *>(reinterpret_cast<char *>(info) + a.info);
}

std::string_view bounded(const char *field) { return cut_message({field, strnlen(field, info_text_limit + 1)}, info_text_limit); }

bool info_row(const Attribute &a) { return a.info >= 0 && (a.control != name_field || state.data_source_mode); }

void fill_from_info(void *)
{
    ConnectInfo *info = state.info;
    if (state.data_source_mode) {
        set_name_read_only();
        char description[128] = "";
        SQLSetConfigMode(state.config_mode);
        SQLGetPrivateProfileString(info->dsn, "Description", "", description, sizeof description, "odbc.ini");
        SQLSetConfigMode(state.config_mode);
        set_field_text(description_field, cut_message(description, info_text_limit));
    }
    for (const Attribute &a : attribute_table) {
        if (!info_row(a)) continue;
        switch (a.kind) {
        case Kind::text: set_field_text(a.control, bounded(info_text(info, a))); break;
        case Kind::password: set_field_password(a.control, unscramble(bounded(info_text(info, a)))); break;
        case Kind::flag:
        case Kind::choice: set_field_value(a.control, info_number(info, a)); break;
        }
    }
}

// The text a ConnectInfo field gets for one control: the password scrambled,
// or plain when its scrambled form does not fit (decrypt_pw takes both).
std::string info_value(const Attribute &a)
{
    if (a.kind != Kind::password) return field_text(a.control);
    std::string password = field_password(a.control);
    std::string scrambled = scramble(password);
    return scrambled.size() <= info_text_limit ? scrambled : password;
}

// OK in complete_info: every text must fit its 128-byte field whole; a cut
// value would connect with the wrong settings.
Acceptance collect_info(void *, std::string &reason)
{
    std::vector<std::pair<const Attribute *, std::string>> texts;
    for (const Attribute &a : attribute_table) {
        if (!info_row(a) || (a.kind != Kind::text && a.kind != Kind::password)) continue;
        texts.emplace_back(&a, info_value(a));
        if (texts.back().second.size() > info_text_limit) {
            reason = std::string("The ") + a.ini_key + " is too long for the connection: at most " +
                     std::to_string(info_text_limit) + " bytes";
            return Acceptance::refused;
        }
    }
    ConnectInfo *info = state.info;
    for (const auto &[a, text] : texts) std::memcpy(info_text(info, *a), text.c_str(), text.size() + 1);
    for (const Attribute &a : attribute_table) {
        if (!info_row(a)) continue;
        if (a.kind == Kind::flag) info_number(info, a) = field_value(a.control) ? 1 : 0;
        if (a.kind == Kind::choice) info_number(info, a) = field_value(a.control);
    }
    return Acceptance::accepted;
}

BOOL remove_request(const char *attributes)
{
    std::string name = name_in_attribute_string(attributes);
    if (name.empty()) {
        post_error(ODBC_ERROR_INVALID_NAME, "Invalid DSN Specified to ODBC_REMOVE_DSN");
        return failed;
    }
    Section stored;
    if (Refusal r = check_name(name)) return refuse(r);
    if (Refusal r = find_own_data_source(state.config_mode, name, state.driver, stored)) return refuse(r);
    if (Refusal r = remove_data_source(state.config_mode, name)) return refuse(r);
    return succeeded;
}

// Gathers what the dialog starts from: for a configure the stored section,
// then the attribute string over it. Refuses what cannot be shown or written.
Refusal prepare_request(WORD request, const char *attributes)
{
    Values given;
    if (Refusal r = read_attribute_string(attributes, given)) return r;
    state.dsn = given[name_row].value_or("");
    if (request == ODBC_CONFIG_DSN) {
        if (state.dsn.empty()) return {ODBC_ERROR_INVALID_DSN, "Invalid DSN Specified to ODBC_CONFIG_DSN"};
        Section stored;
        if (Refusal r = find_own_data_source(state.config_mode, state.dsn, state.driver, stored)) return r;
        read_stored_section(stored, state.values);
        state.before = std::move(stored);
        state.in_place = true;
    } else if (!state.dsn.empty()) {
        state.before = read_section(state.config_mode, state.dsn);
        if (!free_for_driver(state.config_mode, state.before, state.driver))
            return {ODBC_ERROR_INVALID_DSN, "A data source named " + state.dsn + " already exists for another driver"};
    } else {
        return {};  // a new data source without a name starts as the dialog comes
    }
    for (std::size_t row = 0; row < attribute_count; ++row)
        if (given[row]) state.values[row] = std::move(given[row]);
    return check_values(state.values);
}

BOOL dialog_result(const DialogOutcome &outcome)
{
    switch (outcome.end) {
    case DialogEnd::ok: return succeeded;
    case DialogEnd::cancel: post_error(ODBC_ERROR_USER_CANCELED, "The dialog was cancelled"); return failed;
    case DialogEnd::unanswered:
    case DialogEnd::failed: post_error(ODBC_ERROR_REQUEST_FAILED, outcome.reason); return failed;
    }
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
    std::string driver_name(driver ? driver : "");
    if (driver_name.empty() || driver_name.size() > name_limit || has_line_break(driver_name)) {
        post_error(ODBC_ERROR_INVALID_NAME, "Invalid driver name");
        return failed;
    }
    std::lock_guard<std::mutex> lock(one_dialog);
    state = BundleState{};
    SQLGetConfigMode(&state.config_mode);
    state.driver = driver_name;
    // Reading creates a missing user odbc.ini: make it private first.
    create_private_user_file(state.config_mode);
    BOOL result = failed;
    if (request == ODBC_REMOVE_DSN) {
        result = remove_request(attrs);
    } else if (Refusal r = prepare_request(request, attrs)) {
        result = refuse(r);
    } else {
        state.data_source_mode = true;
        result = dialog_result(run_dialog(DialogMode::data_source, DialogHooks{fill_data_source, accept_data_source, nullptr}));
    }
    state = BundleState{};
    return result;
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
    DialogOutcome outcome = run_dialog(mode, DialogHooks{fill_from_info, collect_info, nullptr});
    state = BundleState{};
    if (outcome.end != DialogEnd::ok) return SQL_NO_DATA;
    *info = completed;
    return 0;
}

FBSETUP_EXPORT int complete_error(const char *message)
{
    std::lock_guard<std::mutex> lock(one_dialog);
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
