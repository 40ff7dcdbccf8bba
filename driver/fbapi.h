/*
** The driver's window on Firebird: attachments, transactions, DSQL
** statements and blobs through the client library's ISC calls. It is kept
** apart from the ODBC code because <ibase.h> and <sqlext.h> define the same
** names (SQL_FLOAT, SQL_DATE, ...) with different values; nothing here
** includes an ODBC header, and nothing of the ODBC side includes <ibase.h>.
*/
#ifndef KVFB_FBAPI_H
#define KVFB_FBAPI_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fbapi {

// A failed call: the client's status codes (gds numbers, in order), its SQL
// code and its messages joined into one text.
struct Error {
    std::vector<intptr_t> codes;
    int sqlcode = 0;
    std::string message;
    bool has(intptr_t code) const;
    bool cancelled() const; // the request was cancelled (time-out or SQLCancel)
    // The SQLSTATE the most specific of the codes stands for; "HY000" for none.
    const char *sqlstate() const;
};

// The column and parameter types as the driver needs them.
enum class Kind {
    smallint,
    integer,
    bigint,
    float32,
    float64,
    date,
    time,
    timestamp,
    text,
    varying,
    blob,
    boolean,
    null,
    other
};

// Days since 1858-11-17 (Firebird's day 0) and ten-thousandths of a second.
struct Timestamp {
    int32_t date;
    uint32_t time;
};

// One described column or parameter, with its data in the statement's buffer.
struct Field {
    Kind kind = Kind::other;
    int scale = 0;   // 0 or negative: the number is data x 10^scale
    int subtype = 0; // blob subtype (1 text); numeric 1, decimal 2
    int length = 0;  // bytes of the data area (text: the declared bytes)
    int charset = 0; // character set id of text (1 OCTETS)
    bool nullable = false;
    std::string name, alias, relation;
    char *data = nullptr;
    short *null_flag = nullptr;
    bool is_null() const { return null_flag && *null_flag < 0; }
};

struct AttachOptions {
    std::string user, password, role, charset;
    int dialect = 3;
    unsigned connect_timeout = 0; // seconds to reach a server; 0 the client's default
};

struct TransactionOptions {
    int isolation = 1; // 1 read committed, 2 snapshot, 3 snapshot table stability
    bool read_only = false;
    bool wait = true;
};

class Database {
public:
    ~Database();
    bool attach(const std::string &path, const AttachOptions &options, Error &error);
    bool detach(Error &error);
    bool attached() const { return handle_ != 0; }
    bool start(const TransactionOptions &options, Error &error); // no-op when one is running
    bool commit(bool retaining, Error &error);                   // no-op without a transaction
    bool rollback(Error &error);
    bool in_transaction() const { return transaction_ != 0; }
    // Raises a cancel on the running request; callable from another thread.
    void cancel();
    // Reads blob `id` (8 bytes) calling sink(piece, bytes) for each segment.
    template <typename Sink> bool read_blob(const void *id, Sink sink, Error &error);
    // Creates a blob holding `data` and writes its id (8 bytes) to `id`.
    bool write_blob(const char *data, size_t length, void *id, Error &error);
    unsigned *handle() { return &handle_; }
    unsigned *transaction() { return &transaction_; }

private:
    bool read_blob_pieces(const void *id, void (*sink)(void *, const char *, size_t), void *closure, Error &error);
    unsigned handle_ = 0;
    unsigned transaction_ = 0;
};

class Statement {
public:
    enum Type {
        unknown = 0,
        select = 1,
        insert = 2,
        update = 3,
        erase = 4,
        ddl = 5,
        procedure = 8,
        select_for_update = 12
    };

    explicit Statement(Database &database) : db_(database) {}
    ~Statement();
    // Prepares `sql` in the database's transaction and describes its
    // columns and parameters. Releases what a previous prepare held.
    bool prepare(const std::string &sql, int dialect, Error &error);
    // Executes with the parameters set; a select opens its cursor.
    bool execute(Error &error);
    // 0 a row, 100 the end, -1 an error.
    int fetch(Error &error);
    bool close_cursor(Error &error);
    // Names the open cursor, for WHERE CURRENT OF in other statements.
    bool name_cursor(const char *name, Error &error);
    long affected_rows(); // rows of the last insert, update or delete; -1 otherwise
    Type type() const { return type_; }
    bool has_cursor() const { return cursor_open_; }
    std::vector<Field> &columns() { return columns_; }
    std::vector<Field> &parameters() { return parameters_; }
    // Sets parameter `index` to `bytes` of data of `kind`: `scale` for exact
    // numbers, `charset` for text (127 the connection's, 1 OCTETS). A null
    // `data` sets it to NULL in its described type.
    void set_parameter(size_t index, Kind kind, const void *data, size_t bytes, int scale = 0, int charset = 127);

private:
    void release();
    Database &db_;
    unsigned handle_ = 0;
    Type type_ = unknown;
    bool cursor_open_ = false;
    bool singleton_ = false;                          // an executed procedure's one row, not yet fetched
    std::vector<unsigned char> out_sqlda_, in_sqlda_; // XSQLDA storage
    std::vector<char> out_buffer_;
    std::vector<std::vector<char>> in_buffers_;
    std::vector<short> in_nulls_;
    std::vector<Field> columns_, parameters_;
};

template <typename Sink> bool Database::read_blob(const void *id, Sink sink, Error &error)
{
    return read_blob_pieces(
        id, [](void *closure, const char *piece, size_t bytes) { (*static_cast<Sink *>(closure))(piece, bytes); },
        &sink, error);
}

} // namespace fbapi

#endif
