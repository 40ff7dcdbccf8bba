/*
** The dialog's test connection through the Firebird client: a database
** parameter buffer of one-byte codes and lengths, an attach, and an alert
** with the outcome (the client's own messages on failure).
*/
#include "connect_test.h"
#include "dialog.h"
#include "toolkit.h"

#include <algorithm>

namespace fbsetup {
namespace {

AttachFunction attach_function = isc_attach_database;

// One item: code byte, length byte, text. A length byte holds at most 255.
void add_item(std::string &dpb, char code, std::string_view text)
{
    text = text.substr(0, 255);
    dpb += code;
    dpb += char(static_cast<unsigned char>(text.size()));
    dpb += text;
}

std::string client_messages(const ISC_STATUS *status)
{
    std::string joined;
    char message[512];
    const ISC_STATUS *cursor = status;
    while (fb_interpret(message, sizeof message, &cursor) > 0) {
        if (!joined.empty()) joined += ' ';
        joined += message;
        if (joined.size() > 255) break;
    }
    return std::string(cut_message(joined, 255));
}

} // namespace

void set_attach_function(AttachFunction attach) { attach_function = attach ? attach : isc_attach_database; }

std::string build_dpb(std::string_view user, std::string_view password, std::string_view charset,
                      std::string_view role)
{
    std::string dpb(1, char(isc_dpb_version1));
    if (!user.empty()) {
        add_item(dpb, isc_dpb_user_name, user);
        add_item(dpb, isc_dpb_password, password);
    }
    add_item(dpb, isc_dpb_lc_ctype, charset);
    add_item(dpb, isc_dpb_sql_role_name, role);
    return dpb;
}

std::string_view cut_message(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string test_connection(std::string_view user, std::string_view password, std::string_view database,
                            std::string_view role, std::string_view charset)
{
    std::string dpb = build_dpb(user, password, charset, role);
    std::string name(database.substr(0, 32767));
    ISC_STATUS_ARRAY status = {};
    isc_db_handle handle = 0;
    attach_function(status, short(name.size()), name.c_str(), &handle, short(dpb.size()), dpb.data());
    std::string outcome;
    if (status[0] == 1 && status[1] != 0) {
        outcome = client_messages(status);
    } else {
        outcome = "Connect test completed successfully";
        if (handle) isc_detach_database(status, &handle);
    }
    tk::stop_alert(alert_title, outcome);
    return outcome;
}

} // namespace fbsetup
