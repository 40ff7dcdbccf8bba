/*
** odbc.ini access for the setup module. Every installer call is preceded by
** restoring the request's configuration mode, because unixODBC resets it
** after a write. A write keeps a record of what it changed so that the first
** failure can be undone before the request reports it. unixODBC clears its
** error records at the start of nearly every call (SQLSetConfigMode too), so
** the installer's reason for a failure is read at once, before anything else.
*/
#include "profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <strings.h>

namespace fbsetup {
namespace {

constexpr const char *odbc_ini = "odbc.ini";

bool same_text(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// One profile string through the installer, in `mode`; `section` and `key`
// may be null to list sections or keys (NUL-separated).
std::string profile_string(UWORD mode, const char *section, const char *key, const char *file, std::size_t size)
{
    std::vector<char> buffer(size, '\0');
    SQLSetConfigMode(mode);
    int n = SQLGetPrivateProfileString(section, key, "", buffer.data(), int(buffer.size()), file);
    if (n <= 0) return {};
    return std::string(buffer.data(), std::min<std::size_t>(std::size_t(n), buffer.size()));
}

std::vector<std::string> split_list(const std::string &list)
{
    std::vector<std::string> items;
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find('\0', at);
        if (end == std::string::npos) end = list.size();
        if (end > at) items.emplace_back(list, at, end - at);
        at = end + 1;
    }
    return items;
}

std::string stored_driver(const Section &section)
{
    for (const auto &[key, value] : section)
        if (same_text(key, "Driver")) return value;
    return {};
}

bool names_driver(UWORD mode, const std::string &value, const std::string &driver)
{
    if (same_text(value, driver)) return true;
    // A data source may name its driver by the driver's library.
    std::string library = profile_string(mode, driver.c_str(), "Driver", "odbcinst.ini", 4096);
    return !library.empty() && library.c_str() == value;
}

// The text of the installer's first error record, or "".
std::string installer_reason()
{
    DWORD code = 0;
    char message[512] = "";
    WORD length = 0;
    RETCODE rc = SQLInstallerError(1, &code, message, sizeof message, &length);
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? std::string(message) : std::string();
}

class Writer {
public:
    Writer(UWORD mode, const std::string &name) : mode_(mode), name_(name) {}

    bool put(const std::string &key, const std::optional<std::string> &value)
    {
        SQLSetConfigMode(mode_);
        return noted(installer_calls().write_string(name_.c_str(), key.c_str(), value ? value->c_str() : nullptr,
                                                    odbc_ini));
    }
    bool make_section(const std::string &driver)
    {
        SQLSetConfigMode(mode_);
        return noted(installer_calls().write_dsn(name_.c_str(), driver.c_str()));
    }
    bool remove_section()
    {
        SQLSetConfigMode(mode_);
        return noted(installer_calls().remove_dsn(name_.c_str()));
    }
    // Puts every key of `section` back (a key it lacks is removed).
    bool restore(const Section &section, const std::vector<Entry> &written)
    {
        bool ok = true;
        for (const Entry &e : written) {
            std::optional<std::string> old;
            for (const auto &[key, value] : section)
                if (same_text(key, e.first)) old = value;
            ok = put(e.first, old) && ok;
        }
        return ok;
    }
    bool rewrite(const Section &section)
    {
        bool ok = true;
        for (const auto &[key, value] : section) ok = put(key, value) && ok;
        return ok;
    }

    // What the installer said about the first failed call.
    const std::string &reason() const { return reason_; }

private:
    bool noted(BOOL ok)
    {
        if (!ok && !failed_) {
            failed_ = true;
            reason_ = installer_reason();
        }
        return ok;
    }

    UWORD mode_;
    const std::string &name_;
    bool failed_ = false;
    std::string reason_;
};

Refusal write_failed(const Writer &writer, const std::string &what, const std::string &name, const char *afterwards)
{
    std::string because = writer.reason().empty() ? "" : " (" + writer.reason() + ")";
    return {ODBC_ERROR_REQUEST_FAILED,
            "Could not write " + what + " of data source " + name + " to odbc.ini" + because + "; " + afterwards};
}

std::string user_file_path()
{
    // The installer's own rule: $ODBCINI, else .odbc.ini in the home directory
    // of the user database entry.
    if (const char *path = std::getenv("ODBCINI"); path && *path) return path;
    const passwd *entry = getpwuid(getuid());
    if (!entry || !entry->pw_dir) return {};
    return std::string(entry->pw_dir) + "/.odbc.ini";
}

} // namespace

InstallerCalls &installer_calls()
{
    static InstallerCalls calls;
    return calls;
}

std::optional<Section> read_section(UWORD mode, const std::string &name)
{
    bool found = false;
    for (const std::string &section : split_list(profile_string(mode, nullptr, nullptr, odbc_ini, 1 << 16)))
        found = found || same_text(section, name);
    if (!found) return std::nullopt;
    Section section;
    for (const std::string &key : split_list(profile_string(mode, name.c_str(), nullptr, odbc_ini, 1 << 16)))
        section.emplace_back(key, profile_string(mode, name.c_str(), key.c_str(), odbc_ini, 4096));
    return section;
}

bool free_for_driver(UWORD mode, const std::optional<Section> &section, const std::string &driver)
{
    return !section || names_driver(mode, stored_driver(*section), driver);
}

Refusal find_own_data_source(UWORD mode, const std::string &name, const std::string &driver, Section &stored)
{
    std::optional<Section> section = read_section(mode, name);
    if (!section) return {ODBC_ERROR_INVALID_DSN, "Data source " + name + " does not exist"};
    if (!free_for_driver(mode, section, driver))
        return {ODBC_ERROR_INVALID_DSN,
                "Data source " + name + " belongs to the driver " + stored_driver(*section) + ", not to " + driver};
    stored = std::move(*section);
    return {};
}

Refusal write_data_source(UWORD mode, const std::string &name, const std::string &driver,
                          const std::vector<Entry> &entries, const std::optional<Section> &before, bool in_place)
{
    Writer writer(mode, name);
    if (in_place && before) {
        std::vector<Entry> written;
        for (const Entry &e : entries) {
            written.push_back(e);
            if (writer.put(e.first, e.second)) continue;
            bool restored = writer.restore(*before, written);
            return write_failed(writer, e.first, name, restored ? "the data source was left as it was"
                                                        : "putting the old values back failed too: check the file");
        }
        return {};
    }
    // A new section replaces any old one of the same name; on failure the
    // old one comes back, or the half-written new one goes.
    auto undo = [&](const std::string &what) {
        bool undone = writer.remove_section() && (!before || writer.rewrite(*before));
        const char *afterwards = !undone ? "undoing the change failed too: check the file"
                                 : before ? "the data source was left as it was"
                                          : "the half-written data source was removed";
        return write_failed(writer, what, name, afterwards);
    };
    if (!writer.make_section(driver)) {
        // Nothing was written when the section could not be made.
        if (before && !read_section(mode, name)) return undo("the section");
        return write_failed(writer, "the section", name, "nothing was changed");
    }
    for (const Entry &e : entries) {
        if (!e.second) continue;  // a new section has no key to remove
        if (!writer.put(e.first, e.second)) return undo(e.first);
    }
    return {};
}

Refusal remove_data_source(UWORD mode, const std::string &name)
{
    Writer writer(mode, name);
    if (writer.remove_section()) return {};
    // The installer's records stand as they are; no other call may follow.
    if (!writer.reason().empty()) return {ODBC_ERROR_REQUEST_FAILED, {}};
    return {ODBC_ERROR_REQUEST_FAILED, "Could not remove data source " + name + " from odbc.ini"};
}

void create_private_user_file(UWORD mode)
{
    if (mode != ODBC_USER_DSN && mode != ODBC_BOTH_DSN) return;
    std::string path = user_file_path();
    if (path.empty()) return;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
}

} // namespace fbsetup
