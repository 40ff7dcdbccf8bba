/*
** Firebird's ISC and DSQL calls behind the fbapi classes. A statement keeps
** its XSQLDA records in byte vectors and its column data in one buffer whose
** fields are aligned for their types; parameters get a buffer each, sized
** for the value the driver sets, so any type the server can convert from is
** accepted (the server coerces it to the described type). A failure keeps
** the status vector's codes, and its SQLSTATE comes from one table of them.
*/
#include "fbapi.h"

#include <ibase.h>

#include <algorithm>
#include <cstring>

namespace fbapi {

namespace {

// Collects the codes, SQL code and messages of a failed call.
void capture(const ISC_STATUS *status, Error &error)
{
    error.codes.clear();
    for (const ISC_STATUS *p = status; *p != isc_arg_end;) {
        ISC_STATUS type = *p++;
        if (type == isc_arg_gds) error.codes.push_back(*p);
        p += (type == isc_arg_cstring) ? 2 : 1;
    }
    error.sqlcode = static_cast<int>(isc_sqlcode(status));
    error.message.clear();
    char piece[1024];
    const ISC_STATUS *cursor = status;
    while (fb_interpret(piece, sizeof piece, &cursor) > 0) {
        if (!error.message.empty()) error.message += "; ";
        error.message += piece;
    }
}

bool ok(const ISC_STATUS *status, Error &error)
{
    if (status[0] == 1 && status[1] != 0) {
        capture(status, error);
        return false;
    }
    return true;
}

XSQLDA *sqlda(std::vector<unsigned char> &storage, int count)
{
    storage.assign(XSQLDA_LENGTH(std::max(count, 1)), 0);
    auto *da = reinterpret_cast<XSQLDA *>(storage.data());
    da->version = SQLDA_VERSION1;
    da->sqln = static_cast<ISC_SHORT>(std::max(count, 1));
    return da;
}

Kind kind_of(int sqltype)
{
    switch (sqltype & ~1) {
    case SQL_SHORT: return Kind::smallint;
    case SQL_LONG: return Kind::integer;
    case SQL_INT64: return Kind::bigint;
    case SQL_FLOAT: return Kind::float32;
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Kind::float64;
    case SQL_TYPE_DATE: return Kind::date;
    case SQL_TYPE_TIME: return Kind::time;
    case SQL_TIMESTAMP: return Kind::timestamp;
    case SQL_TEXT: return Kind::text;
    case SQL_VARYING: return Kind::varying;
    case SQL_BLOB: return Kind::blob;
    case SQL_BOOLEAN: return Kind::boolean;
    case SQL_NULL: return Kind::null;
    default: return Kind::other;
    }
}

int sqltype_of(Kind kind)
{
    switch (kind) {
    case Kind::smallint: return SQL_SHORT;
    case Kind::integer: return SQL_LONG;
    case Kind::bigint: return SQL_INT64;
    case Kind::float32: return SQL_FLOAT;
    case Kind::float64: return SQL_DOUBLE;
    case Kind::date: return SQL_TYPE_DATE;
    case Kind::time: return SQL_TYPE_TIME;
    case Kind::timestamp: return SQL_TIMESTAMP;
    case Kind::text: return SQL_TEXT;
    case Kind::blob: return SQL_BLOB;
    case Kind::boolean: return SQL_BOOLEAN;
    case Kind::null: return SQL_NULL;
    default: return SQL_VARYING;
    }
}

Field describe(const XSQLVAR &var)
{
    Field f;
    f.kind = kind_of(var.sqltype);
    f.scale = var.sqlscale;
    f.subtype = var.sqlsubtype;
    f.length = var.sqllen;
    f.charset = (f.kind == Kind::text || f.kind == Kind::varying) ? (var.sqlsubtype & 0xff) : 0;
    f.nullable = (var.sqltype & 1) != 0;
    f.name.assign(var.sqlname, std::min<size_t>(std::max<ISC_SHORT>(var.sqlname_length, 0), sizeof var.sqlname));
    f.alias.assign(var.aliasname, std::min<size_t>(std::max<ISC_SHORT>(var.aliasname_length, 0), sizeof var.aliasname));
    f.relation.assign(var.relname, std::min<size_t>(std::max<ISC_SHORT>(var.relname_length, 0), sizeof var.relname));
    return f;
}

// Bytes a field of the described type takes in the buffer.
size_t storage_size(const XSQLVAR &var)
{
    return (var.sqltype & ~1) == SQL_VARYING ? size_t(var.sqllen) + 2 : size_t(var.sqllen);
}

} // namespace

bool Error::has(intptr_t code) const { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

bool Error::cancelled() const { return has(isc_cancelled); }

namespace {

// Firebird's error codes and the SQLSTATE each stands for, most specific
// first: the first code of the table that the error carries decides.
struct StateOfCode {
    ISC_STATUS code;
    const char *sqlstate;
};
constexpr StateOfCode state_of_code[] = {
    {isc_login, "28000"},             // user name and password are not defined
    {isc_dsql_relation_err, "42S02"}, // table unknown
    {isc_dsql_field_err, "42S22"},    // column unknown
    {isc_unique_key_violation, "23000"},
    {isc_no_dup, "23000"}, // duplicate in a unique index
    {isc_foreign_key, "23000"},
    {isc_not_valid, "23000"}, // CHECK or NOT NULL
    {isc_not_valid_for, "23000"},
    {isc_lock_conflict, "40001"},
    {isc_deadlock, "40001"},
    {isc_update_conflict, "40001"},
    {isc_cancelled, "HY008"},
    {isc_network_error, "08001"}, // unable to complete network request
    {isc_unavailable, "08001"},
    {isc_io_error, "08001"}, // the database file cannot be opened
    {isc_bad_db_format, "08001"},
    {isc_string_truncation, "22001"},
    {isc_arith_except, "22003"}, // arithmetic overflow (truncation is named after it)
    {isc_convert_error, "22018"},
    {isc_dsql_procedure_err, "42000"},
    {isc_dsql_token_unk_err, "42000"}, // token unknown
    {isc_command_end_err, "42000"},    // unexpected end of command
    {isc_dsql_command_err, "42000"},
    {isc_dsql_error, "42000"},
};

} // namespace

const char *Error::sqlstate() const
{
    for (const StateOfCode &row : state_of_code)
        if (has(row.code)) return row.sqlstate;
    return "HY000";
}

Database::~Database()
{
    Error ignored;
    if (transaction_) rollback(ignored);
    if (handle_) detach(ignored);
}

bool Database::attach(const std::string &path, const AttachOptions &options, Error &error)
{
    std::string dpb(1, char(isc_dpb_version1));
    auto add = [&dpb](char tag, const std::string &value) {
        if (value.empty()) return;
        size_t n = std::min<size_t>(value.size(), 255);
        dpb += tag;
        dpb += char(n);
        dpb.append(value, 0, n);
    };
    add(isc_dpb_user_name, options.user);
    add(isc_dpb_password, options.password);
    add(isc_dpb_sql_role_name, options.role);
    add(isc_dpb_lc_ctype, options.charset);
    auto add_number = [&dpb](char tag, int32_t value) {
        dpb += tag;
        dpb += char(4);
        dpb.append(reinterpret_cast<const char *>(&value), 4);
    };
    add_number(isc_dpb_sql_dialect, options.dialect);
    if (options.connect_timeout) add_number(isc_dpb_connect_timeout, static_cast<int32_t>(options.connect_timeout));
    ISC_STATUS_ARRAY status = {};
    isc_attach_database(status, 0, path.c_str(), &handle_, static_cast<short>(dpb.size()), dpb.data());
    if (!ok(status, error)) {
        handle_ = 0;
        return false;
    }
    return true;
}

bool Database::detach(Error &error)
{
    if (!handle_) return true;
    ISC_STATUS_ARRAY status = {};
    isc_detach_database(status, &handle_);
    if (!ok(status, error)) return false;
    handle_ = 0;
    return true;
}

bool Database::start(const TransactionOptions &options, Error &error)
{
    if (transaction_) return true;
    std::string tpb = {char(isc_tpb_version3), char(options.read_only ? isc_tpb_read : isc_tpb_write),
                       char(options.wait ? isc_tpb_wait : isc_tpb_nowait)};
    if (options.isolation == 2)
        tpb += char(isc_tpb_concurrency);
    else if (options.isolation == 3)
        tpb += char(isc_tpb_consistency);
    else
        tpb += {char(isc_tpb_read_committed), char(isc_tpb_rec_version)};
    ISC_STATUS_ARRAY status = {};
    isc_start_transaction(status, &transaction_, 1, &handle_, static_cast<unsigned short>(tpb.size()), tpb.data());
    if (!ok(status, error)) {
        transaction_ = 0;
        return false;
    }
    return true;
}

bool Database::commit(bool retaining, Error &error)
{
    if (!transaction_) return true;
    ISC_STATUS_ARRAY status = {};
    if (retaining)
        isc_commit_retaining(status, &transaction_);
    else
        isc_commit_transaction(status, &transaction_);
    return ok(status, error);
}

bool Database::rollback(Error &error)
{
    if (!transaction_) return true;
    ISC_STATUS_ARRAY status = {};
    isc_rollback_transaction(status, &transaction_);
    if (ok(status, error)) return true;
    transaction_ = 0; // a failed rollback leaves nothing to roll back
    return false;
}

void Database::cancel()
{
    ISC_STATUS_ARRAY status = {};
    if (handle_) fb_cancel_operation(status, &handle_, fb_cancel_raise);
}

bool Database::read_blob_pieces(const void *id, void (*sink)(void *, const char *, size_t), void *closure, Error &error)
{
    ISC_STATUS_ARRAY status = {};
    isc_blob_handle blob = 0;
    ISC_QUAD quad;
    std::memcpy(&quad, id, sizeof quad);
    isc_open_blob2(status, &handle_, &transaction_, &blob, &quad, 0, nullptr);
    if (!ok(status, error)) return false;
    char piece[32768];
    for (;;) {
        unsigned short got = 0;
        ISC_STATUS rc = isc_get_segment(status, &blob, &got, sizeof piece, piece);
        if (rc != 0 && rc != isc_segment) break;
        sink(closure, piece, got);
    }
    bool read = status[1] == isc_segstr_eof || ok(status, error);
    ISC_STATUS_ARRAY close_status = {};
    isc_close_blob(close_status, &blob);
    return read && ok(close_status, error);
}

bool Database::write_blob(const char *data, size_t length, void *id, Error &error)
{
    ISC_STATUS_ARRAY status = {};
    isc_blob_handle blob = 0;
    ISC_QUAD quad = {};
    isc_create_blob2(status, &handle_, &transaction_, &blob, &quad, 0, nullptr);
    if (!ok(status, error)) return false;
    for (size_t done = 0; done < length;) {
        auto piece = static_cast<unsigned short>(std::min<size_t>(length - done, 32768));
        if (isc_put_segment(status, &blob, piece, data + done)) {
            capture(status, error);
            ISC_STATUS_ARRAY ignored = {};
            isc_cancel_blob(ignored, &blob);
            return false;
        }
        done += piece;
    }
    isc_close_blob(status, &blob);
    if (!ok(status, error)) return false;
    std::memcpy(id, &quad, sizeof quad);
    return true;
}

Statement::~Statement() { release(); }

void Statement::release()
{
    if (!handle_) return;
    ISC_STATUS_ARRAY status = {};
    if (db_.attached()) isc_dsql_free_statement(status, &handle_, DSQL_drop);
    handle_ = 0;
    cursor_open_ = false;
}

bool Statement::prepare(const std::string &sql, int dialect, Error &error)
{
    release();
    columns_.clear();
    parameters_.clear();
    ISC_STATUS_ARRAY status = {};
    isc_dsql_allocate_statement(status, db_.handle(), &handle_);
    if (!ok(status, error)) return false;
    XSQLDA *out = sqlda(out_sqlda_, 1);
    isc_dsql_prepare(status, db_.transaction(), &handle_, 0, sql.c_str(), static_cast<unsigned short>(dialect), out);
    if (!ok(status, error)) return release(), false;
    if (out->sqld > out->sqln) {
        out = sqlda(out_sqlda_, out->sqld);
        isc_dsql_describe(status, &handle_, 1, out);
        if (!ok(status, error)) return release(), false;
    }
    static const char item[] = {isc_info_sql_stmt_type};
    char info[16] = {};
    isc_dsql_sql_info(status, &handle_, sizeof item, item, sizeof info, info);
    if (!ok(status, error)) return release(), false;
    type_ = info[0] == isc_info_sql_stmt_type
                ? Type(isc_vax_integer(info + 3, static_cast<short>(isc_vax_integer(info + 1, 2))))
                : unknown;

    size_t total = 0;
    std::vector<size_t> offsets;
    for (int i = 0; i < out->sqld; ++i) {
        total = (total + 7) & ~size_t(7);
        offsets.push_back(total);
        total += storage_size(out->sqlvar[i]) + sizeof(short) + 8;
    }
    out_buffer_.assign(total + 8, 0);
    for (int i = 0; i < out->sqld; ++i) {
        XSQLVAR &var = out->sqlvar[i];
        var.sqldata = out_buffer_.data() + offsets[i];
        var.sqlind =
            reinterpret_cast<short *>(out_buffer_.data() + ((offsets[i] + storage_size(var) + 1) & ~size_t(1)));
        Field f = describe(var);
        f.data = var.sqldata;
        f.null_flag = var.sqlind;
        columns_.push_back(std::move(f));
    }

    XSQLDA *in = sqlda(in_sqlda_, 1);
    isc_dsql_describe_bind(status, &handle_, 1, in);
    if (!ok(status, error)) return release(), false;
    if (in->sqld > in->sqln) {
        in = sqlda(in_sqlda_, in->sqld);
        isc_dsql_describe_bind(status, &handle_, 1, in);
        if (!ok(status, error)) return release(), false;
    }
    in_buffers_.assign(size_t(in->sqld), {});
    in_nulls_.assign(size_t(in->sqld), -1);
    for (int i = 0; i < in->sqld; ++i) {
        XSQLVAR &var = in->sqlvar[i];
        in_buffers_[size_t(i)].assign(storage_size(var) + 8, 0);
        var.sqldata = in_buffers_[size_t(i)].data();
        var.sqlind = &in_nulls_[size_t(i)];
        var.sqltype |= 1;
        parameters_.push_back(describe(var));
    }
    return true;
}

void Statement::set_parameter(size_t index, Kind kind, const void *data, size_t bytes, int scale, int charset)
{
    auto *in = reinterpret_cast<XSQLDA *>(in_sqlda_.data());
    XSQLVAR &var = in->sqlvar[index];
    std::vector<char> &buffer = in_buffers_[index];
    if (!data) {
        in_nulls_[index] = -1;
        return;
    }
    in_nulls_[index] = 0;
    size_t stored = kind == Kind::varying ? bytes + 2 : bytes;
    if (buffer.size() < stored) buffer.resize(stored);
    if (kind == Kind::varying) {
        auto n = static_cast<ISC_USHORT>(bytes);
        std::memcpy(buffer.data(), &n, 2);
        std::memcpy(buffer.data() + 2, data, bytes);
    } else {
        std::memcpy(buffer.data(), data, bytes);
    }
    bool text = kind == Kind::varying || kind == Kind::text;
    var.sqltype = static_cast<ISC_SHORT>(sqltype_of(kind) | 1);
    var.sqllen = static_cast<ISC_SHORT>(bytes);
    var.sqlscale = static_cast<ISC_SHORT>(text ? 0 : scale);
    var.sqlsubtype = static_cast<ISC_SHORT>(text ? charset : 0);
    var.sqldata = buffer.data();
}

bool Statement::execute(Error &error)
{
    ISC_STATUS_ARRAY status = {};
    auto *in = reinterpret_cast<XSQLDA *>(in_sqlda_.data());
    XSQLDA *params = in->sqld ? in : nullptr;
    if (type_ == procedure && !columns_.empty()) {
        isc_dsql_execute2(status, db_.transaction(), &handle_, 1, params,
                          reinterpret_cast<XSQLDA *>(out_sqlda_.data()));
        if (!ok(status, error)) return false;
        singleton_ = true;
        return true;
    }
    isc_dsql_execute(status, db_.transaction(), &handle_, 1, params);
    if (!ok(status, error)) return false;
    cursor_open_ = !columns_.empty();
    return true;
}

int Statement::fetch(Error &error)
{
    if (singleton_) {
        singleton_ = false;
        return 0;
    }
    if (!cursor_open_) return 100;
    ISC_STATUS_ARRAY status = {};
    ISC_STATUS rc = isc_dsql_fetch(status, &handle_, 1, reinterpret_cast<XSQLDA *>(out_sqlda_.data()));
    if (rc == 100) return 100;
    return ok(status, error) ? 0 : -1;
}

bool Statement::close_cursor(Error &error)
{
    singleton_ = false;
    if (!cursor_open_) return true;
    cursor_open_ = false;
    ISC_STATUS_ARRAY status = {};
    isc_dsql_free_statement(status, &handle_, DSQL_close);
    return ok(status, error);
}

bool Statement::name_cursor(const char *name, Error &error)
{
    ISC_STATUS_ARRAY status = {};
    isc_dsql_set_cursor_name(status, &handle_, name, 0);
    return ok(status, error);
}

long Statement::affected_rows()
{
    if (type_ != insert && type_ != update && type_ != erase && type_ != procedure) return -1;
    static const char item[] = {isc_info_sql_records};
    char info[64] = {};
    ISC_STATUS_ARRAY status = {};
    isc_dsql_sql_info(status, &handle_, sizeof item, item, sizeof info, info);
    if (status[1] || info[0] != isc_info_sql_records) return -1;
    long count = 0;
    for (const char *p = info + 3; p < info + sizeof info - 3 && *p != isc_info_end;) {
        char code = *p;
        auto len = static_cast<short>(isc_vax_integer(p + 1, 2));
        if (len < 0 || p + 3 + len > info + sizeof info) break;
        long value = isc_vax_integer(p + 3, len);
        if (code == isc_info_req_insert_count || code == isc_info_req_update_count || code == isc_info_req_delete_count)
            count += value;
        p += 3 + len;
    }
    return count;
}

} // namespace fbapi
