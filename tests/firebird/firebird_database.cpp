// The embedded Firebird database of the printer's tests (firebird_database.h).
#include "firebird_database.h"

#include "firebird_sandbox.h"

#include <ibase.h>

#include <cstdlib>
#include <cstring>

namespace kvtest {

namespace {

// An output descriptor whose every column is fetched as text.
class Descriptor {
public:
    explicit Descriptor(short columns) { allocate(columns); }
    XSQLDA *get() { return reinterpret_cast<XSQLDA *>(memory_.get()); }
    bool resize(short columns, ISC_STATUS *status, isc_stmt_handle *st)
    {
        allocate(columns);
        return isc_dsql_describe(status, st, 1, get()) == 0;
    }
    void bind_as_text()
    {
        buffers_.assign(get()->sqld, std::vector<char>(kWidth + sizeof(short)));
        indicators_.assign(get()->sqld, 0);
        for (short i = 0; i < get()->sqld; i++) {
            XSQLVAR &var = get()->sqlvar[i];
            var.sqltype = SQL_VARYING + 1;
            var.sqllen = kWidth;
            var.sqlscale = 0;
            var.sqlsubtype = 0;
            var.sqldata = buffers_[i].data();
            var.sqlind = &indicators_[i];
        }
    }
    Row row() const
    {
        Row row;
        for (std::size_t i = 0; i < buffers_.size(); i++) {
            short length = 0;
            std::memcpy(&length, buffers_[i].data(), sizeof length);
            row.push_back(indicators_[i] < 0 ? "NULL" : std::string(buffers_[i].data() + sizeof length, length));
        }
        return row;
    }

private:
    static constexpr short kWidth = 400;
    void allocate(short columns)
    {
        memory_.reset(static_cast<char *>(std::calloc(1, XSQLDA_LENGTH(columns))));
        get()->version = SQLDA_VERSION1;
        get()->sqln = columns;
    }
    struct Free {
        void operator()(char *p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> memory_;
    std::vector<std::vector<char>> buffers_;
    std::vector<short> indicators_;
};

bool fetch_all(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *st, Descriptor &out, std::vector<Row> &rows)
{
    if (isc_dsql_execute(status, tr, st, 1, nullptr))
        return false;
    if (out.get()->sqld == 0)
        return true;
    out.bind_as_text();
    ISC_STATUS code;
    while ((code = isc_dsql_fetch(status, st, 1, out.get())) == 0)
        rows.push_back(out.row());
    return code == 100;
}

} // namespace

struct FirebirdDatabase::Handles {
    isc_db_handle db = 0;
};

FirebirdDatabase::FirebirdDatabase(const std::string &name) : handles_(std::make_unique<Handles>())
{
    std::string path = setup_test::firebird_sandbox().dir().file(name + ".fdb");
    error_ = setup_test::firebird_sandbox().create_database(path);
    if (!error_.empty())
        return;
    const char dpb[] = {isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A'};
    ISC_STATUS_ARRAY status = {};
    if (isc_attach_database(status, 0, path.c_str(), &handles_->db, sizeof dpb, dpb))
        error_ = setup_test::firebird_messages(status);
}

FirebirdDatabase::~FirebirdDatabase()
{
    ISC_STATUS_ARRAY status = {};
    if (handles_->db)
        isc_detach_database(status, &handles_->db);
}

Outcome FirebirdDatabase::run(const std::string &sql, bool execute)
{
    Outcome outcome;
    ISC_STATUS_ARRAY status = {};
    isc_tr_handle tr = 0;
    isc_stmt_handle st = 0;
    if (isc_start_transaction(status, &tr, 1, &handles_->db, 0, nullptr) ||
        isc_dsql_allocate_statement(status, &handles_->db, &st)) {
        outcome.error = setup_test::firebird_messages(status);
        return outcome;
    }
    Descriptor out(1);
    if (isc_dsql_prepare(status, &tr, &st, 0, sql.c_str(), 3, out.get()) ||
        (out.get()->sqld > out.get()->sqln && !out.resize(out.get()->sqld, status, &st)) ||
        (execute && !fetch_all(status, &tr, &st, out, outcome.rows)))
        outcome.error = setup_test::firebird_messages(status);
    ISC_STATUS_ARRAY ignored = {};
    isc_dsql_free_statement(ignored, &st, DSQL_drop);
    if (execute && outcome.error.empty()) {
        if (isc_commit_transaction(status, &tr))
            outcome.error = setup_test::firebird_messages(status);
    } else {
        isc_rollback_transaction(ignored, &tr);
    }
    return outcome;
}

std::string FirebirdDatabase::run_positioned(const std::string &query, const std::string &cursor,
                                             const std::string &positioned)
{
    ISC_STATUS_ARRAY status = {}, ignored = {};
    isc_tr_handle tr = 0;
    isc_stmt_handle select = 0;
    Descriptor out(1);
    std::vector<Row> first_row;
    bool ok = isc_start_transaction(status, &tr, 1, &handles_->db, 0, nullptr) == 0 &&
              isc_dsql_allocate_statement(status, &handles_->db, &select) == 0 &&
              isc_dsql_prepare(status, &tr, &select, 0, query.c_str(), 3, out.get()) == 0 &&
              (out.get()->sqld <= out.get()->sqln || out.resize(out.get()->sqld, status, &select)) &&
              isc_dsql_execute(status, &tr, &select, 1, nullptr) == 0 &&
              isc_dsql_set_cursor_name(status, &select, cursor.c_str(), 0) == 0;
    if (ok) {
        out.bind_as_text();
        ok = isc_dsql_fetch(status, &select, 1, out.get()) == 0 &&
             isc_dsql_execute_immediate(status, &handles_->db, &tr, 0, positioned.c_str(), 3, nullptr) == 0;
    }
    std::string error = ok ? std::string() : setup_test::firebird_messages(status);
    isc_dsql_free_statement(ignored, &select, DSQL_drop);
    if (ok && isc_commit_transaction(status, &tr))
        error = setup_test::firebird_messages(status);
    if (!ok && tr)
        isc_rollback_transaction(ignored, &tr);
    return error;
}

void FirebirdDatabase::shutdown()
{
    fb_shutdown(0, fb_shutrsn_app_stopped);
}

} // namespace kvtest
