/*
** A database of the embedded Firebird engine for the printer's tests: created
** in the test program's sandbox directory, attached as SYSDBA, and statements
** run through DSQL, each in a transaction of its own. Rows come back with
** every column converted to text by the engine, NULL as "NULL".
**
** The client's <ibase.h> stays out of this header: it defines SQL_DOUBLE,
** SQL_TYPE_DATE and others with values of its own, which would replace the
** ODBC type codes the trees are built with.
*/
#ifndef KV_TESTS_FIREBIRD_DATABASE_H
#define KV_TESTS_FIREBIRD_DATABASE_H

#include <memory>
#include <string>
#include <vector>

namespace kvtest {

using Row = std::vector<std::string>;

struct Outcome {
    std::string error;  // the engine's messages; empty on success
    std::vector<Row> rows;
};

class FirebirdDatabase {
public:
    // Creates and attaches the database `name`.fdb in the sandbox directory.
    explicit FirebirdDatabase(const std::string &name);
    ~FirebirdDatabase();
    FirebirdDatabase(const FirebirdDatabase &) = delete;
    FirebirdDatabase &operator=(const FirebirdDatabase &) = delete;

    // Why the database could not be made or attached; empty when it was.
    const std::string &error() const { return error_; }

    // Prepares `sql` and, with `execute`, runs it and fetches its rows; the
    // transaction is committed after a run and rolled back otherwise.
    Outcome run(const std::string &sql, bool execute = true);

    // Opens `query` as the cursor `cursor`, fetches its first row and runs
    // `positioned` (an UPDATE or DELETE ... WHERE CURRENT OF `cursor`) on
    // it, in one transaction that is then committed.
    std::string run_positioned(const std::string &query, const std::string &cursor, const std::string &positioned);

    // Stops the engine; call once, before the sandbox directory goes.
    static void shutdown();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    std::string error_;
};

} // namespace kvtest

#endif
