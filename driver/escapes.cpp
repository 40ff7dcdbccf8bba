/*
** ODBC escape sequences in statement text. The text is copied as it is,
** quoted strings and identifiers untouched, until a '{': its matching '}' is
** found, the escapes inside are translated first, and the clause becomes
** Firebird SQL. A scalar function whose arguments are all literals is
** evaluated by the library's execute_function and printed back as a
** literal; with other arguments it goes to the server under its Firebird
** name when Firebird has the function, and is refused when it has not.
*/
#include "entry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>

namespace kvfb {

namespace {

bool starts_with_word(std::string_view text, std::string_view word)
{
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return text.size() == word.size() ||
           !(std::isalnum(static_cast<unsigned char>(text[word.size()])) || text[word.size()] == '_');
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// The position after the quoted text that starts at `i` (its closing quote
// included; a doubled quote stays inside), or npos when it is not closed.
size_t skip_quoted(std::string_view text, size_t i)
{
    char quote = text[i];
    for (++i; i < text.size(); ++i)
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    return std::string_view::npos;
}

// The '}' matching the '{' at `open`, or npos.
size_t matching_brace(std::string_view text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size();) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            i = skip_quoted(text, i);
            if (i == std::string_view::npos) return i;
            continue;
        }
        if (c == '{') ++depth;
        if (c == '}' && --depth == 0) return i;
        ++i;
    }
    return std::string_view::npos;
}

// Splits "a, f(b, c), 'd,e'" at its top-level commas.
std::vector<std::string_view> split_arguments(std::string_view text)
{
    std::vector<std::string_view> out;
    if (trim(text).empty()) return out;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            i = skip_quoted(text, i);
            if (i == std::string_view::npos) break;
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            out.push_back(trim(text.substr(start, i - start)));
            start = i + 1;
        }
        ++i;
    }
    out.push_back(trim(text.substr(start)));
    return out;
}

std::string quote_literal(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// --- literals as values -----------------------------------------------------

struct LiteralReader {
    MemHandle *mem;

    Value *string_value(std::string_view text, int type = VT_STRING)
    {
        Value *v = NewValue(mem, uint32_t(text.size() + 1));
        if (!v) return nullptr;
        v->type = type;
        v->indicator = 0;
        std::memcpy(v->data.s, text.data(), text.size());
        v->data.s[text.size()] = '\0';
        v->length = v->octet_length = int32_t(text.size());
        return v;
    }

    // The text inside a quoted literal, quotes undoubled.
    static std::optional<std::string> unquoted(std::string_view text)
    {
        text = trim(text);
        if (text.size() < 2 || text.front() != '\'' || skip_quoted(text, 0) != text.size()) return std::nullopt;
        std::string out;
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            out += text[i];
            if (text[i] == '\'') ++i;
        }
        return out;
    }

    Value *number(std::string_view text)
    {
        bool exponent = text.find_first_of("eE") != text.npos, point = text.find('.') != text.npos;
        Value *v = NewValue(mem, 0);
        if (!v) return nullptr;
        v->indicator = 0;
        const char *end = text.data() + text.size();
        if (exponent) {
            v->type = VT_DOUBLE;
            return std::from_chars(text.data(), end, v->data.d).ptr == end ? v : nullptr;
        }
        if (!point) {
            int64_t n = 0;
            if (std::from_chars(text.data() + (text[0] == '+'), end, n).ptr == end) {
                if (n >= INT32_MIN && n <= INT32_MAX) {
                    v->type = VT_INTEGER;
                    v->data.i = int32_t(n);
                } else {
                    v->type = VT_BIGINT;
                    v->data.big = n;
                }
                return v;
            }
        }
        std::string digits(text);
        if (string_to_numeric(digits.data(), &v->data.num, 38, 0) != 0) return nullptr;
        v->type = VT_NUMERIC;
        v->precision = 38;
        v->scale = v->data.num.scale;
        return v;
    }

    Value *datetime(std::string_view keyword, const std::string &text)
    {
        Value *v = NewValue(mem, 0);
        if (!v) return nullptr;
        v->indicator = 0;
        unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        if (keyword == "DATE" && std::sscanf(text.c_str(), "%4u-%2u-%2u", &y, &mo, &d) == 3) {
            v->type = VT_DATE;
            v->data.date = {SQLSMALLINT(y), SQLUSMALLINT(mo), SQLUSMALLINT(d)};
            return v;
        }
        if (keyword == "TIME" && std::sscanf(text.c_str(), "%2u:%2u:%2u", &h, &mi, &s) == 3) {
            v->type = VT_TIME;
            v->data.time = {SQLUSMALLINT(h), SQLUSMALLINT(mi), SQLUSMALLINT(s)};
            return v;
        }
        if (keyword == "TIMESTAMP" &&
            std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u", &y, &mo, &d, &h, &mi, &s) >= 3) {
            v->type = VT_TIMESTAMP;
            v->data.ts = {SQLSMALLINT(y),
                          SQLUSMALLINT(mo),
                          SQLUSMALLINT(d),
                          SQLUSMALLINT(h),
                          SQLUSMALLINT(mi),
                          SQLUSMALLINT(s),
                          0};
            return v;
        }
        return nullptr;
    }

    // The value of a literal argument, or NULL when it is not a literal.
    Value *literal(std::string_view text)
    {
        text = trim(text);
        if (text.empty()) return nullptr;
        if (auto s = unquoted(text)) return string_value(*s);
        for (std::string_view keyword : {"TIMESTAMP", "DATE", "TIME"})
            if (starts_with_word(text, keyword))
                if (auto s = unquoted(text.substr(keyword.size()))) return datetime(keyword, *s);
        if (text.size() > 8 && text.substr(0, 8) == "SQL_TSI_") return string_value(text); // an interval keyword
        bool numeric = std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
                   c == 'E';
        });
        return numeric && (std::isdigit(static_cast<unsigned char>(text[0])) || text.size() > 1) ? number(text)
                                                                                                 : nullptr;
    }
};

// A value printed as a Firebird literal.
std::string firebird_literal(const Value *v)
{
    if (v->indicator < 0 || v->type == VT_NULL) return "NULL";
    char buffer[200];
    switch (v->type) {
    case VT_STRING: return quote_literal(std::string_view(v->data.s, size_t(v->length)));
    case VT_INTEGER:
    case VT_BIT: return std::to_string(v->data.i);
    case VT_BIGINT: return std::to_string(v->data.big);
    case VT_DOUBLE: {
        auto end = std::to_chars(buffer, buffer + sizeof buffer, v->data.d, std::chars_format::scientific).ptr;
        return std::string(buffer, end);
    }
    case VT_NUMERIC: numeric_to_string(&v->data.num, buffer, sizeof buffer, nullptr); return buffer;
    case VT_DATE:
        std::snprintf(buffer, sizeof buffer, "DATE '%04d-%02u-%02u'", v->data.date.year, v->data.date.month,
                      v->data.date.day);
        return buffer;
    case VT_TIME:
        std::snprintf(buffer, sizeof buffer, "TIME '%02u:%02u:%02u'", v->data.time.hour, v->data.time.minute,
                      v->data.time.second);
        return buffer;
    case VT_TIMESTAMP: {
        const SQL_TIMESTAMP_STRUCT &t = v->data.ts;
        std::snprintf(buffer, sizeof buffer, "TIMESTAMP '%04d-%02u-%02u %02u:%02u:%02u.%04u'", t.year, t.month, t.day,
                      t.hour, t.minute, t.second, t.fraction / 100000);
        return buffer;
    }
    default: return "NULL";
    }
}

Value *identity(void *expression, EvalContext *, int, void *) { return static_cast<Value *>(expression); }

// One call under the context's setjmp: NULL and *failed after the error exit
// (the library posted the error on the statement).
Value *run_function(const FunctionEntry *entry, EvalContext *ctx, int32_t argc, Value **argv, bool *failed)
{
    if (setjmp(ctx->jump) != 0) {
        *failed = true;
        return nullptr;
    }
    return execute_function(entry, ctx, argc, argv, 0, nullptr);
}

// Evaluates NAME(args) with the library when every argument is a literal.
// Returns false after posting an error; `done` tells whether it evaluated.
bool evaluate_with_library(Statement &stmt, int32_t id, const std::vector<std::string_view> &args, std::string &out,
                           bool &done)
{
    done = false;
    const FunctionEntry *entry = sql92_get_function_info(id);
    if (!entry) return true;
    MemHandle *scratch = kv_mem_alloc_handle(stmt.mem);
    if (!scratch) return post(stmt.error_header, "HY001", "Memory allocation error"), false;
    LiteralReader reader{scratch};
    std::vector<Value *> values;
    for (std::string_view a : args) {
        Value *v = reader.literal(a);
        if (!v) {
            kv_mem_release_handle(scratch);
            return true; // not all literals: the server's turn
        }
        values.push_back(v);
    }
    EvalContext *ctx = static_cast<EvalContext *>(kv_mem_alloc(scratch, sizeof(EvalContext)));
    if (!ctx) return kv_mem_release_handle(scratch), post(stmt.error_header, "HY001", "Memory allocation error"), false;
    std::memset(ctx, 0, sizeof *ctx);
    ctx->stmt = &stmt;
    ctx->mem = scratch;
    ctx->evaluate = identity;
    stmt.statement_time = time(nullptr);
    bool failed = false;
    Value *result = run_function(entry, ctx, int32_t(values.size()), values.data(), &failed);
    if (result) {
        out = firebird_literal(result);
        done = true;
    }
    kv_mem_release_handle(scratch);
    return !failed;
}

// Firebird's own spelling of the ODBC functions the server evaluates.
struct ServerFunction {
    const char *odbc;
    const char *firebird; // printf-free template: $1, $2, $3 stand for the arguments
};
constexpr ServerFunction server_functions[] = {
    {"ABS", "ABS($*)"},
    {"ACOS", "ACOS($*)"},
    {"ASIN", "ASIN($*)"},
    {"ATAN", "ATAN($*)"},
    {"ATAN2", "ATAN2($*)"},
    {"CEILING", "CEILING($*)"},
    {"COS", "COS($*)"},
    {"COT", "COT($*)"},
    {"EXP", "EXP($*)"},
    {"FLOOR", "FLOOR($*)"},
    {"LOG", "LN($*)"},
    {"LOG10", "LOG10($*)"},
    {"MOD", "MOD($*)"},
    {"PI", "PI()"},
    {"POWER", "POWER($*)"},
    {"RAND", "RAND()"},
    {"ROUND", "ROUND($*)"},
    {"SIGN", "SIGN($*)"},
    {"SIN", "SIN($*)"},
    {"SQRT", "SQRT($*)"},
    {"TAN", "TAN($*)"},
    {"TRUNCATE", "TRUNC($*)"},
    {"ASCII", "ASCII_VAL($*)"},
    {"CHAR", "ASCII_CHAR($*)"},
    {"CONCAT", "($1 || $2)"},
    {"LCASE", "LOWER($*)"},
    {"UCASE", "UPPER($*)"},
    {"LEFT", "LEFT($*)"},
    {"RIGHT", "RIGHT($*)"},
    {"LTRIM", "TRIM(LEADING FROM $1)"},
    {"RTRIM", "TRIM(TRAILING FROM $1)"},
    {"LENGTH", "CHAR_LENGTH(TRIM(TRAILING FROM $1))"},
    {"CHAR_LENGTH", "CHAR_LENGTH($*)"},
    {"CHARACTER_LENGTH", "CHAR_LENGTH($*)"},
    {"OCTET_LENGTH", "OCTET_LENGTH($*)"},
    {"BIT_LENGTH", "BIT_LENGTH($*)"},
    {"LOCATE", "POSITION($*)"},
    {"REPLACE", "REPLACE($*)"},
    {"SUBSTRING", "SUBSTRING($1 FROM $2 FOR $3)"},
    {"CURDATE", "CURRENT_DATE"},
    {"CURTIME", "CURRENT_TIME"},
    {"NOW", "CURRENT_TIMESTAMP"},
    {"CURRENT_DATE", "CURRENT_DATE"},
    {"CURRENT_TIME", "CURRENT_TIME"},
    {"CURRENT_TIMESTAMP", "CURRENT_TIMESTAMP"},
    {"DAYOFMONTH", "EXTRACT(DAY FROM $1)"},
    {"MONTH", "EXTRACT(MONTH FROM $1)"},
    {"YEAR", "EXTRACT(YEAR FROM $1)"},
    {"HOUR", "EXTRACT(HOUR FROM $1)"},
    {"MINUTE", "EXTRACT(MINUTE FROM $1)"},
    {"SECOND", "EXTRACT(SECOND FROM $1)"},
    {"DAYOFWEEK", "(EXTRACT(WEEKDAY FROM $1) + 1)"},
    {"DAYOFYEAR", "(EXTRACT(YEARDAY FROM $1) + 1)"},
    {"USER", "CURRENT_USER"},
    {"IFNULL", "COALESCE($*)"},
    {"DAYNAME", "DECODE(EXTRACT(WEEKDAY FROM $1), 0, 'Sunday', 1, 'Monday', 2, 'Tuesday', 3, 'Wednesday', "
                "4, 'Thursday', 5, 'Friday', 6, 'Saturday')"},
    {"MONTHNAME", "DECODE(EXTRACT(MONTH FROM $1), 1, 'January', 2, 'February', 3, 'March', 4, 'April', 5, 'May', "
                  "6, 'June', 7, 'July', 8, 'August', 9, 'September', 10, 'October', 11, 'November', 12, 'December')"},
    {"QUARTER", "((EXTRACT(MONTH FROM $1) + 2) / 3)"},
    {"SPACE", "LPAD('', $1)"},
    {"REPEAT", "LPAD('', $2 * CHAR_LENGTH($1), $1)"},
};

// TIMESTAMPADD and TIMESTAMPDIFF on columns: Firebird's DATEADD and
// DATEDIFF, the interval keyword turned into Firebird's unit (a week is 7
// days, a quarter 3 months). Fractions of seconds are refused.
bool translate_interval_function(const std::string &name, const std::vector<std::string_view> &args, std::string &out)
{
    if (args.size() != 3) return false;
    std::string unit(trim(args[0]));
    for (char &ch : unit)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    if (unit.rfind("SQL_TSI_", 0) == 0) unit = unit.substr(8);
    static const std::pair<const char *, const char *> units[] = {
        {"SECOND", "SECOND"}, {"MINUTE", "MINUTE"}, {"HOUR", "HOUR"}, {"DAY", "DAY"},
        {"MONTH", "MONTH"},   {"YEAR", "YEAR"},     {"WEEK", "DAY"},  {"QUARTER", "MONTH"}};
    const char *firebird = nullptr;
    for (auto [odbc, fb] : units)
        if (unit == odbc) firebird = fb;
    if (!firebird) return false;
    std::string factor = unit == "WEEK" ? "7 * " : unit == "QUARTER" ? "3 * " : "";
    std::string divisor = unit == "WEEK" ? " / 7" : unit == "QUARTER" ? " / 3" : "";
    if (name == "TIMESTAMPADD")
        out = "DATEADD(" + factor + "(" + std::string(args[1]) + ") " + firebird + " TO " + std::string(args[2]) + ")";
    else
        out = "(DATEDIFF(" + std::string(firebird) + " FROM " + std::string(args[1]) + " TO " + std::string(args[2]) +
              ")" + divisor + ")";
    return true;
}

// Fills a template with the argument texts.
std::string fill_template(std::string_view pattern, const std::vector<std::string_view> &args)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '$' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        char which = pattern[++i];
        if (which == '*') {
            for (size_t k = 0; k < args.size(); ++k)
                out += (k ? ", " : "") + std::string(args[k]);
        } else if (size_t k = size_t(which - '1'); k < args.size()) {
            out += args[k];
        }
    }
    return out;
}

bool translate_function(Statement &stmt, std::string_view body, std::string &out)
{
    size_t open = body.find('(');
    if (open == body.npos || body.back() != ')') {
        // A function without parentheses: CURRENT_DATE and the like.
        return translate_function(stmt, std::string(trim(body)) + "()", out);
    }
    std::string name(trim(body.substr(0, open)));
    for (char &c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    std::vector<std::string_view> args = split_arguments(body.substr(open + 1, body.size() - open - 2));
    int32_t id = sql92_get_function_id(name.c_str(), 0);
    if (id != KV_FN_UNKNOWN) {
        bool done = false;
        if (!evaluate_with_library(stmt, id, args, out, done)) return false;
        if (done) return true;
    }
    if (name == "CONVERT" && args.size() == 2) {
        std::string type(args[1]);
        if (type.rfind("SQL_", 0) == 0) type = type.substr(4);
        static const std::pair<const char *, const char *> types[] = {{"BIGINT", "BIGINT"},
                                                                      {"INTEGER", "INTEGER"},
                                                                      {"SMALLINT", "SMALLINT"},
                                                                      {"DOUBLE", "DOUBLE PRECISION"},
                                                                      {"FLOAT", "DOUBLE PRECISION"},
                                                                      {"REAL", "FLOAT"},
                                                                      {"CHAR", "VARCHAR(8191)"},
                                                                      {"VARCHAR", "VARCHAR(8191)"},
                                                                      {"DATE", "DATE"},
                                                                      {"TIME", "TIME"},
                                                                      {"TIMESTAMP", "TIMESTAMP"},
                                                                      {"TYPE_DATE", "DATE"},
                                                                      {"TYPE_TIME", "TIME"},
                                                                      {"TYPE_TIMESTAMP", "TIMESTAMP"},
                                                                      {"NUMERIC", "NUMERIC(18,4)"},
                                                                      {"DECIMAL", "DECIMAL(18,4)"},
                                                                      {"BIT", "BOOLEAN"}};
        for (auto [odbc, firebird] : types)
            if (type == odbc) {
                out = "CAST(" + std::string(args[0]) + " AS " + firebird + ")";
                return true;
            }
    }
    if ((name == "TIMESTAMPADD" || name == "TIMESTAMPDIFF") && translate_interval_function(name, args, out))
        return true;
    for (const ServerFunction &f : server_functions)
        if (name == f.odbc) {
            out = fill_template(f.firebird, args);
            return true;
        }
    post(stmt.error_header, "HYC00", "Scalar function " + name + " is not available with these arguments");
    return false;
}

bool translate_text(Statement &stmt, std::string_view text, std::string &out);

// One escape clause, its inner escapes already translated.
bool translate_clause(Statement &stmt, std::string_view clause, std::string &out)
{
    clause = trim(clause);
    auto after = [&](size_t n) { return trim(clause.substr(n)); };
    if (starts_with_word(clause, "D")) return out += "DATE " + std::string(after(1)), true;
    if (starts_with_word(clause, "TS")) return out += "TIMESTAMP " + std::string(after(2)), true;
    if (starts_with_word(clause, "T")) return out += "TIME " + std::string(after(1)), true;
    if (starts_with_word(clause, "OJ")) return out += std::string(after(2)), true;
    if (starts_with_word(clause, "ESCAPE")) return out += "ESCAPE " + std::string(after(6)), true;
    if (starts_with_word(clause, "FN")) {
        std::string piece;
        if (!translate_function(stmt, after(2), piece)) return false;
        out += piece;
        return true;
    }
    std::string_view call = clause;
    if (!call.empty() && call[0] == '?') { // {? = call ...}: the procedure's output is the result
        size_t equals = call.find('=');
        call = equals == call.npos ? call : trim(call.substr(equals + 1));
    }
    if (starts_with_word(call, "CALL")) {
        std::string_view procedure = trim(call.substr(4));
        out += "EXECUTE PROCEDURE " + std::string(procedure);
        return true;
    }
    post(stmt.error_header, "42000",
         "Syntax error or access violation: unknown escape clause {" + std::string(clause) + "}");
    return false;
}

bool translate_text(Statement &stmt, std::string_view text, std::string &out)
{
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            size_t end = skip_quoted(text, i);
            if (end == text.npos) end = text.size();
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        if (c != '{') {
            out += c;
            ++i;
            continue;
        }
        size_t close = matching_brace(text, i);
        if (close == text.npos) {
            post(stmt.error_header, "42000", "Syntax error or access violation: an escape clause has no closing '}'");
            return false;
        }
        std::string inner;
        if (!translate_text(stmt, text.substr(i + 1, close - i - 1), inner) || !translate_clause(stmt, inner, out))
            return false;
        i = close + 1;
    }
    return true;
}

} // namespace

bool translate_escapes(Statement &stmt, std::string_view text, std::string &out)
{
    out.clear();
    if (text.find('{') == text.npos) {
        out.assign(text);
        return true;
    }
    return translate_text(stmt, text, out);
}

} // namespace kvfb
