/*
** The data-source attributes: one table row per attribute with its odbc.ini
** key, its attribute-string keys, its control, its ConnectInfo field and its
** limits; the values a request gathers for them (from the stored section and
** the attribute string) and the rules a value must pass before it is shown or
** written.
*/
#ifndef FBSETUP_ATTRIBUTES_H
#define FBSETUP_ATTRIBUTES_H

#include "dialog.h"
#include "fbsetup.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The module's entry points leave it; everything else stays hidden.
#define FBSETUP_EXPORT __attribute__((visibility("default")))

namespace fbsetup {

enum class Kind { text, password, flag, choice };

struct Attribute {
    const char *ini_key;        // null for the data-source name, which names the section
    const char *attribute_key;  // key in an installer attribute string
    const char *synonym;        // the standard ODBC keyword, or null
    Kind kind;
    int control;
    std::ptrdiff_t info;        // offset of the ConnectInfo field, -1 for none
    int items;                  // choices: number of items; texts: character limit
    const char *help;           // one line for unixODBC's property list
};

inline constexpr std::size_t attribute_count = 24;
inline constexpr std::size_t name_row = 0;  // the data-source name
inline constexpr int text_limit = 255;      // characters of a text field
inline constexpr int password_limit = 123;  // characters of the password
inline constexpr std::size_t info_text_limit = 127;  // bytes of a ConnectInfo text

// The data-source attributes in the order they are written.
extern const std::array<Attribute, attribute_count> attribute_table;

// An installer error: its code and text. Code 0 means no error.
struct Refusal {
    unsigned code = 0;
    std::string text;
    explicit operator bool() const { return code != 0; }
};

// What a request has gathered, by table row: the raw text of each attribute
// that was given or stored (passwords as stored, possibly scrambled).
using Values = std::array<std::optional<std::string>, attribute_count>;

// Reads an installer attribute string (NUL-ended key=value entries ended by
// an empty entry; null counts as empty) into `values`, over what they hold.
// Keys compare without case and may have blanks around them; values lose
// their surrounding blanks and the name a trailing ';'. Unknown keys are
// skipped; of repeated keys the last wins. Returns a refusal (code 9) when
// the name is given but not valid; check_values checks the rest.
Refusal read_attribute_string(const char *attributes, Values &values);

// The data-source name of an attribute string (the last "dsn" entry), or "".
std::string name_in_attribute_string(const char *attributes);

// Sets `values` from a stored odbc.ini section (key, value pairs).
void read_stored_section(const std::vector<std::pair<std::string, std::string>> &section, Values &values);

// Checks every value present: texts and the password free of CR, LF and NUL
// and within their character limits, flags one of Yes/No, True/False,
// On/Off, 1/0, choices an item number. Returns the first refusal (code 8).
Refusal check_values(const Values &values);

// Checks a data-source name: not empty, at most SQL_MAX_DSN_LENGTH bytes, no
// line break and none of the characters the installer refuses. Code 9.
Refusal check_name(std::string_view name);

// The state of a flag text (nullopt when it is not one) and the item number
// of a choice text (nullopt when it is not one of `items`).
std::optional<int> parse_flag(std::string_view text);
std::optional<int> parse_choice(std::string_view text, int items);

// The stored password form: "KVZ1:", two hexadecimal digits a byte, ":Z1".
// It is reversible obfuscation with a fixed key, not encryption: it keeps a
// password from being read at a glance, nothing more. unscramble gives any
// text but this form back unchanged.
std::string scramble(std::string_view password);
std::string unscramble(std::string_view text);

// True when `text` holds CR, LF or NUL: it could start a line of odbc.ini.
bool has_line_break(std::string_view text);

// Characters of a UTF-8 text (bytes that do not continue a character).
std::size_t character_count(std::string_view text);

// Blanks (spaces and tabs) removed from both ends.
std::string_view trimmed(std::string_view text);

} // namespace fbsetup

#endif
