/*
** A data source's section of odbc.ini, read and written through the ODBC
** installer library in the configuration mode the request came with. Writes
** are checked one by one; a failed write puts the section back as it was.
*/
#ifndef FBSETUP_PROFILE_H
#define FBSETUP_PROFILE_H

#include "attributes.h"

#include <odbcinst.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fbsetup {

using Section = std::vector<std::pair<std::string, std::string>>;

// One key to write: a value, or nullopt to remove the key.
using Entry = std::pair<std::string, std::optional<std::string>>;

// The installer's writing calls, through a table tests may change to make a
// call fail as the real one would (SQLite's system-call table is the model).
struct InstallerCalls {
    BOOL (*write_dsn)(LPCSTR dsn, LPCSTR driver) = SQLWriteDSNToIni;
    BOOL (*write_string)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) = SQLWritePrivateProfileString;
    BOOL (*remove_dsn)(LPCSTR dsn) = SQLRemoveDSNFromIni;
};
InstallerCalls &installer_calls();

// The section `name` (keys and values in file order), or nullopt when odbc.ini
// has no such section in `mode`.
std::optional<Section> read_section(UWORD mode, const std::string &name);

// Looks up the data source `name` for a configure or remove by `driver`:
// refuses (code 9) a name odbc.ini does not hold or one that belongs to
// another driver; otherwise stores its section in `stored`.
Refusal find_own_data_source(UWORD mode, const std::string &name, const std::string &driver, Section &stored);

// True when `section` names `driver` (by name or by its library) or has no
// such section at all.
bool free_for_driver(UWORD mode, const std::optional<Section> &section, const std::string &driver);

// Writes the data source. `before` is the section as it was (nullopt for a
// new data source). An existing section of the same driver is updated in
// place, keeping keys this module does not know; a new one is made with its
// Driver key first. On the first failed write the section is put back as it
// was (a new one removed) and the refusal (code 11) says what failed.
Refusal write_data_source(UWORD mode, const std::string &name, const std::string &driver,
                          const std::vector<Entry> &entries, const std::optional<Section> &before, bool in_place);

// Removes the data source. On failure the refusal's code is 11 and its text
// is empty when the installer's own records already say why (they are not
// posted twice), else it says what failed.
Refusal remove_data_source(UWORD mode, const std::string &name);

// Creates the user odbc.ini, when `mode` reaches it and it does not exist
// yet, readable by its owner only. Call it before the installer's first read,
// which would create the file with the default mode.
void create_private_user_file(UWORD mode);

} // namespace fbsetup

#endif
