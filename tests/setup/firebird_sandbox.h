/*
** The embedded Firebird engine for tests: a database given as a plain file
** path is opened in-process. The engine keeps its lock files in
** FIREBIRD_LOCK (by default /tmp/firebird, which another user may own) and
** its sort files in FIREBIRD_TMP; the sandbox points both into the test's own
** directory before the engine starts, so that it runs as root and non-root.
*/
#ifndef FBSETUP_FIREBIRD_SANDBOX_H
#define FBSETUP_FIREBIRD_SANDBOX_H

#include "setup_test_support.h"

#include <ibase.h>

#include <string>

namespace setup_test {

inline std::string firebird_messages(const ISC_STATUS *status)
{
    std::string all;
    char message[512];
    const ISC_STATUS *cursor = status;
    while (fb_interpret(message, sizeof message, &cursor) > 0) all += std::string(all.empty() ? "" : " ") + message;
    return all;
}

class FirebirdSandbox {
public:
    FirebirdSandbox()
    {
        std::filesystem::create_directories(dir_.path() / "lock");
        setenv("FIREBIRD_LOCK", dir_.file("lock").c_str(), 1);
        setenv("FIREBIRD_TMP", dir_.path().c_str(), 1);
    }
    // Creates an empty database at `path`; returns the client's messages on
    // failure, empty on success.
    std::string create_database(const std::string &path)
    {
        ISC_STATUS_ARRAY status = {};
        isc_db_handle db = 0;
        isc_tr_handle tr = 0;
        std::string sql = "CREATE DATABASE '" + path + "' USER 'SYSDBA' DEFAULT CHARACTER SET UTF8";
        if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr)) return firebird_messages(status);
        isc_detach_database(status, &db);
        return {};
    }
    const TempDir &dir() const { return dir_; }

private:
    TempDir dir_;
};

// The engine reads FIREBIRD_LOCK once when it starts: one sandbox serves the
// whole test program.
inline FirebirdSandbox &firebird_sandbox()
{
    static FirebirdSandbox sandbox;
    return sandbox;
}

} // namespace setup_test

#endif
