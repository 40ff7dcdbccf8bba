/*
** The tabbed setup dialog: its two modes, its controls, and how the entry
** points run it and reach its fields. One dialog runs at a time.
*/
#ifndef FBSETUP_DIALOG_H
#define FBSETUP_DIALOG_H

#include <cstdint>
#include <string>
#include <string_view>

namespace fbsetup {

inline constexpr const char *bundle_identifier = "com.kestrova.fbsetup";
inline constexpr const char *alert_title = "Kestrova Firebird ODBC Driver";

enum class DialogMode { data_source, connection_only };

// Control numbers of the data-source mode; the connection-only mode adds 1000.
enum ControlNumber : int {
    back_button = 1005,
    next_button = 1006,
    name_field = 1101,
    description_field = 1102,
    database_field = 1201,
    user_field = 1202,
    password_field = 1203,
    role_field = 1204,
    dialect_menu = 1301,
    nowait_box = 1401,
    txnmode_menu = 1402,
    charset_field = 1403,
};

// What the entry point makes of OK: accepted (the dialog ends), refused (the
// reason is shown and the dialog stays open for a correction), or failed
// (the reason is shown and the dialog ends without success).
enum class Acceptance { accepted, refused, failed };

// What the entry point does around the dialog: fill its fields before it is
// shown, and take them when OK is pressed (null: nothing, accepted).
struct DialogHooks {
    void (*fill)(void *data) = nullptr;
    Acceptance (*accept)(void *data, std::string &reason) = nullptr;
    void *data = nullptr;
};

// How the dialog ended: OK accepted; Cancel pressed; nobody answered it (its
// events ran out, for example after OK was refused); or it failed: its
// window could not be made, its events could not be read, or OK failed.
enum class DialogEnd { ok, cancel, unanswered, failed };

struct DialogOutcome {
    DialogEnd end = DialogEnd::failed;
    std::string reason;  // unanswered: the last refusal of OK, if any; failed: why
};

// Runs the dialog of `mode` to its end and says how it ended.
DialogOutcome run_dialog(DialogMode mode, const DialogHooks &hooks);

// Field access while the dialog runs, by data-source numbers. Texts are at
// most 255 characters; values are flag states or item numbers.
std::string field_text(int number);
void set_field_text(int number, std::string_view text);
std::string field_password(int number);
void set_field_password(int number, std::string_view text);
std::int32_t field_value(int number);
void set_field_value(int number, std::int32_t value);
void set_name_read_only();

// The test connection: attaches to `database` with the other settings and
// returns the text it showed in its alert.
std::string test_connection(std::string_view user, std::string_view password, std::string_view database,
                            std::string_view role, std::string_view charset);

// The database parameter buffer of the test connection.
std::string build_dpb(std::string_view user, std::string_view password, std::string_view charset,
                      std::string_view role);

// Cuts a message to at most `limit` bytes without splitting a UTF-8 character.
std::string_view cut_message(std::string_view text, std::size_t limit);

} // namespace fbsetup

#endif
