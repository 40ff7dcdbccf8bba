/*
** Shared pieces of the setup module's tests: a temporary directory of the
** test's own, reading a section of an ini file as it lies on disk, the last
** installer error record, and a Firebird sandbox for the embedded engine.
*/
#ifndef FBSETUP_TEST_SUPPORT_H
#define FBSETUP_TEST_SUPPORT_H

#include <odbcinst.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace setup_test {

// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "fbsetup-test-XXXXXX").string();
        if (char *made = mkdtemp(pattern.data())) path_ = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The keys of [section] in file order, as written on disk.
inline std::vector<std::pair<std::string, std::string>> read_section(const std::string &path,
                                                                   const std::string &section)
{
    std::vector<std::pair<std::string, std::string>> keys;
    std::ifstream in(path);
    std::string line;
    bool inside = false;
    auto trim = [](std::string s) {
        s.erase(0, s.find_first_not_of(" \t\r"));
        s.erase(s.find_last_not_of(" \t\r") + 1);
        return s;
    };
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        std::size_t eq = line.find('=');
        if (inside && eq != std::string::npos) keys.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return keys;
}

inline std::string file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Puts `text` in the user odbc.ini at `path` and has the installer rewrite it
// once (setting `key` of `section` to `value`, which it should already hold).
// The write also makes unixODBC forget what it cached of the file: it keeps
// values it read for a while and drops them only on its own writes. Returns
// the bytes on disk then.
inline std::string store_user_sources(const std::string &path, const std::string &text, const char *section,
                                      const char *key, const char *value)
{
    write_file(path, text);
    SQLSetConfigMode(ODBC_USER_DSN);
    SQLWritePrivateProfileString(section, key, value, "odbc.ini");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    return file_bytes(path);
}

struct InstallerError {
    DWORD code = 0;
    std::string message;
};

// All error records the installer holds now, in order.
inline std::vector<InstallerError> installer_errors()
{
    std::vector<InstallerError> records;
    for (WORD i = 1; i <= 64; ++i) {
        InstallerError record;
        char message[512] = "";
        WORD length = 0;
        RETCODE rc = SQLInstallerError(i, &record.code, message, sizeof message, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        record.message = message;
        records.push_back(record);
    }
    return records;
}

inline InstallerError last_installer_error()
{
    auto records = installer_errors();
    return records.empty() ? InstallerError{} : records.back();
}

// The directory of the installer's files for the whole test program:
// odbcinst.ini and the system odbc.ini in it, the user odbc.ini at
// user-odbc.ini. unixODBC reads ODBCSYSINI once per process and keeps it, so
// the directory stays for the program's life and each test empties the files.
inline const TempDir &odbc_files()
{
    static TempDir dir;
    return dir;
}

inline const TempDir &use_fresh_odbc_files(const std::string &odbcinst_ini = {})
{
    const TempDir &dir = odbc_files();
    setenv("ODBCSYSINI", dir.path().c_str(), 1);
    setenv("ODBCINI", dir.file("user-odbc.ini").c_str(), 1);
    write_file(dir.file("odbcinst.ini"), odbcinst_ini);
    write_file(dir.file("odbc.ini"), "");  // unixODBC writes system data sources only into an existing file
    std::error_code ec;
    std::filesystem::remove(dir.file("user-odbc.ini"), ec);
    return dir;
}

} // namespace setup_test

#endif
