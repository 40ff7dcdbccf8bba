// The string functions through execute_function: a table of calls and their
// results (blank handling, positions, NULLs, non-string arguments), the
// error exits and size limits, long arguments over 1 MiB in real long
// buffers, DATABASE, USER and IFNULL. Every call checks that its arguments
// are unchanged afterwards.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "functions_internal.h"
#include "numeric_test_util.h"
#include "turkish_locale.h"

namespace {

// One argument of a call: a string, an integer, a double, SQL NULL (an
// indicator of -1 on a string), the NULL literal, or a value made by hand.
struct Arg {
    enum Kind { text, integer, bigint, real, null, null_literal, value } kind;
    std::string s;
    int64_t n = 0;
    double d = 0;
    Value *v = nullptr;
};
Arg S(std::string s) { return {Arg::text, std::move(s)}; }
Arg I(int64_t n) { return {Arg::integer, "", n}; }
Arg B(int64_t n) { return {Arg::bigint, "", n}; }
Arg D(double d) { return {Arg::real, "", 0, d}; }
Arg V(Value *v) { return {Arg::value, "", 0, 0, v}; }
const Arg N{Arg::null, ""};
const Arg L{Arg::null_literal, ""};

// A string value's record and bytes, to see that a call left it alone.
struct Snapshot {
    const Value *value;
    Value record;
    std::string bytes;
};

class StringFunctions : public numtest::EvalFixture {
protected:
    void SetUp() override
    {
        EvalFixture::SetUp();
        connection.kind = KV_KIND_CONNECTION;
        connection.mem = mem;
        connection.read_long_data = extract_from_long_buffer;
        connection.rewind_long_data = rewind_long_buffer;
        stmt.connection = &connection;
    }

    Value *make(const Arg &a)
    {
        Value *v = nullptr;
        switch (a.kind) {
        case Arg::text:
        case Arg::null: {
            v = new_value(VT_STRING);
            auto *copy = static_cast<char *>(kv_mem_alloc(mem, static_cast<uint32_t>(a.s.size() + 1)));
            std::memcpy(copy, a.s.c_str(), a.s.size() + 1);
            v->data.s = copy;
            v->length = static_cast<int32_t>(a.s.size());
            v->indicator = a.kind == Arg::null ? SQL_NULL_DATA : 0;
            break;
        }
        case Arg::integer:
            v = new_value(VT_INTEGER);
            v->data.i = static_cast<int32_t>(a.n);
            break;
        case Arg::bigint:
            v = new_value(VT_BIGINT);
            v->data.big = a.n;
            break;
        case Arg::real:
            v = new_value(VT_DOUBLE);
            v->data.d = a.d;
            break;
        case Arg::null_literal:
            v = new_value(VT_NULL);
            break;
        case Arg::value:
            v = a.v;
            break;
        }
        return v;
    }

    static Snapshot snapshot(const Value *v)
    {
        Snapshot s{v, *v, ""};
        if (v->type == VT_STRING && v->data.s)
            s.bytes.assign(v->data.s, std::strlen(v->data.s) + 1);
        return s;
    }

    static void expect_unchanged(const Snapshot &s)
    {
        EXPECT_EQ(std::memcmp(&s.record, s.value, sizeof(Value)), 0) << "an argument's record changed";
        if (s.value->type == VT_STRING && s.value->data.s) {
            EXPECT_EQ(std::string(s.value->data.s, s.bytes.size()), s.bytes) << "an argument's text changed";
        }
    }

    // Runs `name` (an ODBC name, or a keyword form with sql92_form) on the
    // values under the error exit; *rc is -1 when it left through it.
    Value *run(const char *name, std::vector<Value *> values, int *rc = nullptr, int sql92_form = 0)
    {
        const FunctionEntry *entry = sql92_get_function_info(sql92_get_function_id(name, sql92_form));
        EXPECT_NE(entry, nullptr) << name;
        std::vector<Snapshot> before;
        for (Value *v : values)
            before.push_back(snapshot(v));
        Value *result = nullptr;
        int status = numtest::guarded(context, [&] {
            result = execute_function(entry, &context, static_cast<int32_t>(values.size()), values.data(), 0, nullptr);
        });
        if (rc)
            *rc = status;
        else
            EXPECT_EQ(status, 0) << name << " left through the error exit: " << last_diagnostic().message;
        for (const Snapshot &s : before)
            expect_unchanged(s);
        return result;
    }

    Value *call(const char *name, const std::vector<Arg> &args, int sql92_form = 0)
    {
        std::vector<Value *> values;
        for (const Arg &a : args)
            values.push_back(make(a));
        return run(name, values, nullptr, sql92_form);
    }

    // "NULL", an integer's digits, or a string in quotes (checking its
    // length and terminator).
    static std::string shown(const Value *v)
    {
        if (!v)
            return "(no value)";
        if (v->indicator == SQL_NULL_DATA)
            return "NULL";
        switch (v->type) {
        case VT_INTEGER:
            return std::to_string(v->data.i);
        case VT_BIGINT:
            return std::to_string(v->data.big) + "L";
        case VT_STRING:
            if (v->data.s[v->length] != '\0' || v->inline_data != 0)
                return "(badly formed string)";
            return "'" + std::string(v->data.s, static_cast<std::size_t>(v->length)) + "'";
        default:
            return "(type " + std::to_string(v->type) + ")";
        }
    }

    // The state and message of a call that must leave through the error exit.
    std::string failure(const char *name, const std::vector<Arg> &args)
    {
        std::vector<Value *> values;
        for (const Arg &a : args)
            values.push_back(make(a));
        int rc = 0;
        run(name, values, &rc);
        if (rc != -1)
            return "(no error)";
        EXPECT_EQ(context.status, -1);
        EXPECT_EQ(stmt.error_header->return_code, -1);
        auto d = last_diagnostic();
        EXPECT_EQ(d.subclass_origin, "ODBC3.0");
        context.status = 0;
        return d.sqlstate + " " + d.message;
    }

    DriverConnection connection{};
};

struct Case {
    const char *function;
    std::vector<Arg> args;
    const char *result;
};

// The results a statement gets from the server for the same call.
const std::vector<Case> kCases = {
    // Lengths: only LENGTH drops trailing blanks.
    {"LENGTH", {S("abc  ")}, "3"},
    {"LENGTH", {S("   ")}, "0"},
    {"LENGTH", {S("a\t")}, "2"},
    {"CHAR_LENGTH", {S("abc  ")}, "5"},
    {"CHARACTER_LENGTH", {S("")}, "0"},
    {"OCTET_LENGTH", {S("abc  ")}, "5"},
    {"BIT_LENGTH", {S("abc  ")}, "40"},
    // ASCII: the first byte, 0 to 255.
    {"ASCII", {S("")}, "0"},
    {"ASCII", {S("A")}, "65"},
    {"ASCII", {S("\xE9t\xE9")}, "233"},
    {"ASCII", {S("\xC3\xA9")}, "195"},
    {"CHAR", {I(321)}, "'A'"},
    {"CHAR", {I(-191)}, "'A'"},
    {"CHAR", {I(97)}, "'a'"},
    // CONCAT keeps every blank.
    {"CONCAT", {S("ab  "), S("cd ")}, "'ab  cd '"},
    {"CONCAT", {S("John"), S(" Smith")}, "'John Smith'"},
    {"CONCAT", {S(""), S("")}, "''"},
    {"CONCAT", {S("ab"), N}, "NULL"},
    {"CONCAT", {N, S("ab")}, "NULL"},
    {"CONCAT", {L, S("ab")}, "NULL"},
    {"LEFT", {S("abc  "), I(4)}, "'abc '"},
    {"LEFT", {S("abc"), I(-1)}, "'abc'"},
    {"LEFT", {S("abc"), I(0)}, "''"},
    {"LEFT", {S("abc"), I(5)}, "'abc'"},
    {"RIGHT", {S("abc  "), I(2)}, "'  '"},
    {"RIGHT", {S("abc  "), I(1)}, "' '"},
    {"RIGHT", {S("abc"), I(2)}, "'bc'"},
    {"RIGHT", {S("abc"), I(5)}, "'abc'"},
    {"RIGHT", {S("abc"), I(-1)}, "'abc'"},
    {"RIGHT", {S("abc"), N}, "NULL"},
    // SUBSTRING: a missing length runs to the end, a length of 0 is ''.
    {"SUBSTRING", {S("abcdef"), I(2), I(3)}, "'bcd'"},
    {"SUBSTRING", {S("abcdef"), I(6), I(1)}, "'f'"},
    {"SUBSTRING", {S("abcdef"), I(7), I(1)}, "''"},
    {"SUBSTRING", {S("abcdef"), I(0), I(2)}, "''"},
    {"SUBSTRING", {S("abcdef"), I(4)}, "'def'"},
    {"SUBSTRING", {S("abcdef"), I(4), I(0)}, "''"},
    {"SUBSTRING", {S("abcdef"), I(5), I(10)}, "'ef'"},
    {"SUBSTRING", {S("abc  "), I(3), I(5)}, "'c  '"},
    {"SUBSTRING", {S("abcdef"), I(2), I(2147483647)}, "'bcdef'"},
    {"SUBSTRING", {S("abcdef"), I(2147483647), I(2147483647)}, "''"},
    {"SUBSTRING", {S("abcdef"), I(-2147483647 - 1), I(3)}, "''"},
    {"SUBSTR", {S("abc"), N}, "NULL"},
    {"SUBSTR", {S("abc"), I(1), N}, "NULL"},
    // INSERT(s, start, length, t) on the full texts.
    {"INSERT", {S("abcdef"), I(2), I(3), S("XY")}, "'aXYef'"},
    {"INSERT", {S("abcdef"), I(1), I(0), S("X")}, "'Xabcdef'"},
    {"INSERT", {S("abc"), I(10), I(2), S("X")}, "'abcX'"},
    {"INSERT", {S("abc  "), I(4), I(0), S("X ")}, "'abcX   '"},
    {"INSERT", {S("abc"), I(0), I(1), S("X")}, "'Xbc'"},
    {"INSERT", {S("abc"), I(-1), I(1), S("X")}, "'abcX'"},
    {"INSERT", {S("abc"), I(2), I(2147483647), S("X")}, "'aX'"},
    {"INSERT", {S("abc"), I(2), I(1), N}, "NULL"},
    {"LOCATE", {S("b"), S("abcb")}, "2"},
    {"LOCATE", {S("b"), S("abcb"), I(3)}, "4"},
    {"LOCATE", {S("b"), S("abcb"), I(0)}, "2"},
    {"LOCATE", {S("b"), S("abcb"), I(-5)}, "2"},
    {"LOCATE", {S("b"), S("abcb"), N}, "2"},
    {"LOCATE", {S(""), S("abc")}, "1"},
    {"LOCATE", {S(""), S("abc"), I(3)}, "3"},
    {"LOCATE", {S("b"), S("abc"), I(9)}, "0"},
    {"LOCATE", {S("c "), S("abc")}, "0"},
    {"LOCATE", {S("b"), S("abc"), I(2147483647)}, "0"},
    {"LOCATE", {N, S("abc")}, "NULL"},
    {"POSITION", {S("c "), S("abc")}, "0"},
    {"POSITION", {S("c"), S("abc ")}, "3"},
    {"POSITION", {S(""), S("abc")}, "1"},
    {"POSITION", {S("x"), S("abc")}, "0"},
    {"POSITION", {S("a"), N}, "NULL"},
    {"REPEAT", {S("ab "), I(3)}, "'ab ab ab '"},
    {"REPEAT", {S("x "), I(3)}, "'x x x '"},
    {"REPEAT", {S("ab"), I(0)}, "''"},
    {"REPEAT", {S("ab"), I(-3)}, "''"},
    {"REPEAT", {S(""), I(5)}, "''"},
    {"REPEAT", {S("abc"), I(7)}, "'abcabcabcabcabcabcabc'"},
    {"REPLACE", {S("aaa"), S("aa"), S("b")}, "'ba'"},
    {"REPLACE", {S("abcabc"), S("b"), S("")}, "'acac'"},
    {"REPLACE", {S("abc"), S("x"), S("y")}, "'abc'"},
    {"REPLACE", {S("a b c"), S(" "), S("")}, "'abc'"},
    {"REPLACE", {S("abc"), S(""), S("x")}, "'abc'"},
    {"REPLACE", {S("abab"), S("ab"), S("abab")}, "'abababab'"},
    {"REPLACE", {S("abc"), S("b"), N}, "NULL"},
    {"SPACE", {I(3)}, "'   '"},
    {"SPACE", {I(-2)}, "''"},
    {"SPACE", {I(0)}, "''"},
    {"LTRIM", {S("  a  ")}, "'a  '"},
    {"LTRIM", {S("\ta")}, "'\ta'"},
    {"LTRIM", {S("   ")}, "''"},
    {"RTRIM", {S("  a  ")}, "'  a'"},
    {"RTRIM", {S("a\t")}, "'a\t'"},
    {"LCASE", {S("AbC  ")}, "'abc  '"},
    {"UCASE", {S("abc \xC3\xA9z")}, "'ABC \xC3\xA9Z'"},
    {"SOUNDEX", {S("rabbit")}, "'R130'"},
    {"SOUNDEX", {S("rapid")}, "'R130'"},
    {"SOUNDEX", {S("A")}, "'A000'"},
    {"SOUNDEX", {S("llama")}, "'L450'"},
    {"SOUNDEX", {S("scan")}, "'S250'"},
    {"SOUNDEX", {S("basic")}, "'B200'"},
    {"SOUNDEX", {S("Tymczak")}, "'T520'"},
    {"SOUNDEX", {S("1abc")}, "NULL"},
    {"SOUNDEX", {S("")}, "NULL"},
    {"SOUNDEX", {S("\xC3\xA9t\xC3\xA9")}, "NULL"},
    {"DIFFERENCE", {S("123"), S("rabbit")}, "27000"},
    {"DIFFERENCE", {S("1"), S("2")}, "0"},
    {"DIFFERENCE", {S("scan"), S("SCAN")}, "0"},
    {"DIFFERENCE", {S("rabbit"), S("rapid")}, "0"},
    {"DIFFERENCE", {S("rabbit"), S("robin")}, "20"},
    {"DIFFERENCE", {S("scan"), S("rabbit")}, "1120"},
    // Arguments of other types: their plain text; a datum's size for
    // OCTET_LENGTH and BIT_LENGTH; integers from strings and doubles.
    {"LENGTH", {I(42)}, "2"},
    {"CHAR_LENGTH", {I(-42)}, "3"},
    {"OCTET_LENGTH", {I(42)}, "4"},
    {"BIT_LENGTH", {I(42)}, "32"},
    {"OCTET_LENGTH", {D(1.5)}, "8"},
    {"BIT_LENGTH", {B(1)}, "64"},
    {"CONCAT", {S("x"), D(2.5)}, "'x2.5'"},
    {"CONCAT", {D(0.1), S("")}, "'0.1'"},
    {"CONCAT", {D(1e300), S("")}, "'1e+300'"},
    {"CONCAT", {B(-9223372036854775807 - 1), S("")}, "'-9223372036854775808'"},
    {"UCASE", {I(7)}, "'7'"},
    {"LEFT", {S("abcdef"), S("2")}, "'ab'"},
    {"LEFT", {S("abcdef"), D(2.9)}, "'ab'"},
    {"LEFT", {S("abcdef"), B(3)}, "'abc'"},
    {"LENGTH", {L}, "NULL"},
    {"ASCII", {N}, "NULL"},
    {"SPACE", {L}, "NULL"},
    {"CHAR", {N}, "NULL"},
};

TEST_F(StringFunctions, TableOfCalls)
{
    for (const Case &c : kCases) {
        std::string args;
        for (const Arg &a : c.args)
            args += (args.empty() ? "" : ", ") +
                    (a.kind == Arg::text ? "'" + a.s + "'" : a.kind == Arg::null ? "NULL" : std::to_string(a.n));
        EXPECT_EQ(shown(call(c.function, c.args)), c.result) << c.function << "(" << args << ")";
    }
    EXPECT_EQ(stmt.error_header->record_count, 0);
}

TEST_F(StringFunctions, KeywordForms)
{
    EXPECT_EQ(shown(call("POSITION", {S("c"), S("abc")}, 1)), "3");
    EXPECT_EQ(shown(call("SUBSTRING", {S("abcdef"), I(2), I(3)}, 1)), "'bcd'");
    EXPECT_EQ(shown(call("UPPER", {S("abc")}, 1)), "'ABC'");
    EXPECT_EQ(shown(call("LOWER", {S("ABC")}, 1)), "'abc'");
    EXPECT_EQ(shown(call("OCTET_LENGTH", {D(2.0)}, 1)), "8");
    EXPECT_EQ(shown(call("CHAR_LENGTH", {D(2.0)}, 1)), "1");
    EXPECT_EQ(shown(call("BIT_LENGTH", {S("ab")}, 1)), "16");
}

TEST_F(StringFunctions, CharOfZeroHasLengthOne)
{
    Value *v = call("CHAR", {I(256)});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, VT_STRING);
    EXPECT_EQ(v->length, 1);
    EXPECT_EQ(v->data.s[0], '\0');
}

// Dates, times, timestamps, numerics and intervals read as their plain
// text; a value with no text form is refused.
TEST_F(StringFunctions, OtherTypesAsText)
{
    Value *date = new_value(VT_DATE);
    date->data.date = {2026, 12, 11};
    Value *time = new_value(VT_TIME);
    time->data.time = {9, 5, 7};
    Value *stamp = new_value(VT_TIMESTAMP);
    stamp->data.ts = {2026, 1, 2, 3, 4, 5, 250000000};
    Value *whole = new_value(VT_TIMESTAMP);
    whole->data.ts = {2026, 1, 2, 3, 4, 5, 0};
    Value *number = numeric_value("125", 1, 0);
    Value *interval = new_value(VT_INTERVAL_DS);
    interval->data.iv.interval_type = SQL_IS_DAY_TO_SECOND;
    interval->data.iv.intval.day_second = {1, 2, 3, 4, 0};
    EXPECT_EQ(shown(call("UCASE", {V(date)})), "'2026-12-11'");
    EXPECT_EQ(shown(call("UCASE", {V(time)})), "'09:05:07'");
    EXPECT_EQ(shown(call("UCASE", {V(stamp)})), "'2026-01-02 03:04:05.25'");
    EXPECT_EQ(shown(call("UCASE", {V(whole)})), "'2026-01-02 03:04:05'");
    EXPECT_EQ(shown(call("UCASE", {V(number)})), "'-12.5'");
    EXPECT_EQ(shown(call("LENGTH", {V(interval)})), std::to_string(std::strlen("1 02:03:04")));
    EXPECT_EQ(shown(call("OCTET_LENGTH", {V(stamp)})), "16");
    EXPECT_EQ(shown(call("OCTET_LENGTH", {V(number)})), "19");

    unsigned char bytes[3] = {1, 2, 3};
    Value *binary = new_value(VT_BINARY);
    binary->data.b = bytes;
    binary->length = binary->octet_length = 3;
    EXPECT_EQ(shown(call("OCTET_LENGTH", {V(binary)})), "3");
    EXPECT_EQ(shown(call("BIT_LENGTH", {V(binary)})), "24");
    EXPECT_EQ(failure("UCASE", {V(binary)}), "07006 [Kestrova ODBC]Restricted data type attribute violation");
    EXPECT_EQ(failure("LEFT", {S("abc"), V(date)}), "07006 [Kestrova ODBC]Restricted data type attribute violation");
}

TEST_F(StringFunctions, ErrorExits)
{
    const std::string range = "22003 [Kestrova ODBC]Numeric value out of range";
    const std::string substring = "22011 [Kestrova ODBC]Substring error";
    const std::string memory = "HY001 [Kestrova ODBC]Memory allocation error";
    struct {
        const char *function;
        std::vector<Arg> args;
        std::string failure;
    } cases[] = {
        // Counts and positions outside the int range are refused, not wrapped.
        {"SPACE", {B(4294967299)}, range},
        {"SPACE", {D(4294967299.0)}, range},
        {"SPACE", {S("4294967299")}, range},
        {"REPEAT", {S("x"), B(2147483648)}, range},
        {"LEFT", {S("abc"), B(-2147483649)}, range},
        {"SUBSTRING", {S("abc"), B(4294967297), I(1)}, range},
        {"LOCATE", {S("a"), S("abc"), B(4294967297)}, range},
        {"CHAR", {B(4294967361)}, range},
        // Negative lengths.
        {"SUBSTRING", {S("abcdef"), I(2), I(-1)}, substring},
        {"INSERT", {S("abcdef"), I(3), I(-2), S("X")}, substring},
        // Results over KV_FN_MAX_STRING_LENGTH, refused before allocating.
        {"SPACE", {I(KV_FN_MAX_STRING_LENGTH + 1)}, memory},
        {"REPEAT", {S("ab"), I(KV_FN_MAX_STRING_LENGTH / 2 + 1)}, memory},
        {"REPEAT", {S("abc"), I(2147483647)}, memory},
        // Too few arguments.
        {"CONCAT", {S("a")}, "HY000 [Kestrova ODBC]Wrong number of arguments to a scalar function"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(failure(c.function, c.args), c.failure) << c.function;
    EXPECT_EQ(shown(call("SPACE", {I(KV_FN_MAX_STRING_LENGTH / 1024)})).size(), KV_FN_MAX_STRING_LENGTH / 1024 + 2);
}

// REPLACE and CONCAT compute their sizes in 64 bits: 1 MiB of "a" with each
// "a" written as 1025 bytes would be just over 1 GiB.
TEST_F(StringFunctions, ReplaceSizeLimit)
{
    std::string s(1 << 20, 'a');
    std::string u(1025, 'u');
    EXPECT_EQ(failure("REPLACE", {S(s), S("a"), S(u)}), "HY001 [Kestrova ODBC]Memory allocation error");
    Value *v = call("REPLACE", {S(s), S("a"), S("uu")});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->length, 2 << 20);
}

TEST_F(StringFunctions, ResultsThatCannotBeAllocated)
{
    // The text: HY001 with the function's own message.
    struct {
        const char *function;
        std::vector<Arg> args;
        const char *message;
    } cases[] = {
        {"CONCAT", {S("a"), S("b")}, "[Kestrova ODBC]Memory allocation error zorv"},
        {"CHAR", {I(65)}, "[Kestrova ODBC]Memory allocation error zorv"},
        {"UCASE", {S("a")}, "[Kestrova ODBC]Memory allocation error"},
        {"SUBSTRING", {S("abc"), I(1), I(1)}, "[Kestrova ODBC]Memory allocation error"},
        {"REPLACE", {S("abc"), S("b"), S("x")}, "[Kestrova ODBC]Memory allocation error"},
    };
    for (const auto &c : cases) {
        std::vector<Value *> values;
        for (const Arg &a : c.args)
            values.push_back(make(a));
        release_value(mem, kv_fn_new_result(&context, VT_STRING)); // a Value waits in the cache
        kv_test_fail_allocation(1);
        int rc = 0;
        run(c.function, values, &rc);
        kv_test_fail_allocation(0);
        EXPECT_EQ(rc, -1) << c.function;
        auto d = last_diagnostic();
        EXPECT_EQ(d.sqlstate, "HY001") << c.function;
        EXPECT_EQ(d.message, c.message) << c.function;
    }
    // The Value itself: no value, nothing posted.
    int records = stmt.error_header->record_count;
    Value *a = make(S("a"));
    while (kv_test_cache_count(KV_NODE_VALUE) > 0)
        kv_mem_alloc_node(mem, sizeof(Value), KV_NODE_VALUE);
    kv_test_fail_allocation(1);
    EXPECT_EQ(run("UCASE", {a}), nullptr);
    kv_test_fail_allocation(0);
    EXPECT_EQ(stmt.error_header->record_count, records);
}

// ---- long character arguments through a real long buffer ----

class LongArguments : public StringFunctions {
protected:
    Value *long_value(const std::string &text)
    {
        LongBuffer *buffer = allocate_long_buffer(mem, 0, 0, nullptr, SQL_LONGVARCHAR);
        EXPECT_NE(buffer, nullptr);
        EXPECT_EQ(append_to_long_buffer(buffer, text.data(), static_cast<int32_t>(text.size())), 0);
        Value *v = new_value(VT_LONG_STRING);
        v->long_buffer = buffer;
        return v;
    }

    // 1.5 MiB: a pattern with trailing blanks and a marker near the end.
    static std::string big_text()
    {
        std::string text;
        for (int i = 0; text.size() < (3u << 19); ++i)
            text += "row " + std::to_string(i) + " of the long text; ";
        text += "MARKER  ";
        return text;
    }
};

TEST_F(LongArguments, ReadWhole)
{
    const std::string text = big_text();
    Value *v = long_value(text);
    auto size = static_cast<int64_t>(text.size());
    EXPECT_EQ(shown(run("CHAR_LENGTH", {v})), std::to_string(size));
    EXPECT_EQ(shown(run("OCTET_LENGTH", {v})), std::to_string(size));
    EXPECT_EQ(shown(run("BIT_LENGTH", {v})), std::to_string(8 * size));
    EXPECT_EQ(shown(run("LENGTH", {v})), std::to_string(size - 2));
    EXPECT_EQ(shown(run("ASCII", {v})), "114");
    EXPECT_EQ(shown(run("LOCATE", {make(S("MARKER")), v})), std::to_string(size - 7));
    EXPECT_EQ(shown(run("RIGHT", {v, make(I(9))})), "' MARKER  '");

    Value *upper = run("UCASE", {v});
    ASSERT_NE(upper, nullptr);
    std::string want = text;
    for (char &c : want)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(upper->data.s, static_cast<std::size_t>(upper->length)), want);

    Value *joined = run("CONCAT", {v, v});
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::string(joined->data.s, static_cast<std::size_t>(joined->length)), text + text);

    Value *part = run("SUBSTRING", {v, make(I(1000001)), make(I(10))});
    EXPECT_EQ(shown(part), "'" + text.substr(1000000, 10) + "'");

    Value *replaced = run("REPLACE", {v, make(S("row")), make(S("R"))});
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(std::string(replaced->data.s, 8), "R 0 of t");

    EXPECT_EQ(shown(run("CHAR_LENGTH", {long_value("")})), "0");
    EXPECT_EQ(shown(run("UCASE", {long_value("")})), "''");
    EXPECT_EQ(shown(run("UCASE", {long_value("x")})), "'X'");
    EXPECT_EQ(shown(run("ASCII", {long_value("")})), "0");
}

// Scratch copies of long arguments go once the call is over: only the
// result's two blocks stay.
TEST_F(LongArguments, ScratchCopiesAreReleased)
{
    Value *v = long_value(big_text());
    Value *t = make(S("x"));
    release_value(mem, kv_fn_new_result(&context, VT_STRING));
    long before = kv_test_live_blocks();
    ASSERT_NE(run("CONCAT", {v, t}), nullptr);
    EXPECT_EQ(kv_test_live_blocks() - before, 2);
    before = kv_test_live_blocks();
    ASSERT_NE(run("LENGTH", {v}), nullptr);
    EXPECT_EQ(kv_test_live_blocks() - before, 1);
}

TEST_F(LongArguments, NullLongValue)
{
    Value *v = long_value("");
    v->long_buffer->is_null = 1;
    EXPECT_EQ(shown(run("UCASE", {v})), "NULL");
    EXPECT_EQ(shown(run("CHAR_LENGTH", {v})), "NULL");
    EXPECT_EQ(shown(run("CONCAT", {make(S("a")), v})), "NULL");
    EXPECT_EQ(shown(run("ASCII", {v})), "NULL");
    EXPECT_EQ(shown(run("LOCATE", {make(S("a")), v})), "NULL");
}

int failing_read(LongBuffer *, void *, int32_t, int32_t *, int)
{
    return -1;
}

// A second read that finds less data than the first one reported.
int shrinking_read(LongBuffer *buffer, void *destination, int32_t length, int32_t *total, int binary)
{
    int rc = extract_from_long_buffer(buffer, destination, length, total, binary);
    if (length > 2 && total)
        *total -= 1;
    return rc;
}

// A first read that says it delivered everything of a longer text.
int lying_read(LongBuffer *buffer, void *destination, int32_t length, int32_t *total, int binary)
{
    extract_from_long_buffer(buffer, destination, length, total, binary);
    return 0;
}

TEST_F(LongArguments, ReadFailures)
{
    const std::string failure_text = "HY000 [Kestrova ODBC]Extract from LONG VARCHAR error";
    Value *v = long_value("some long text");
    connection.read_long_data = failing_read;
    EXPECT_EQ(failure("UCASE", {V(v)}), failure_text);
    EXPECT_EQ(failure("CHAR_LENGTH", {V(v)}), failure_text);
    connection.read_long_data = shrinking_read;
    EXPECT_EQ(failure("UCASE", {V(v)}), failure_text);
    connection.read_long_data = lying_read;
    EXPECT_EQ(failure("UCASE", {V(v)}), failure_text);
    connection.read_long_data = nullptr;
    EXPECT_EQ(failure("LENGTH", {V(v)}), failure_text);
    connection.read_long_data = extract_from_long_buffer;
    stmt.connection = nullptr;
    EXPECT_EQ(failure("LENGTH", {V(v)}), failure_text);
    stmt.connection = &connection;
    // A NULL argument is not read at all.
    connection.read_long_data = failing_read;
    EXPECT_EQ(shown(call("CONCAT", {N, V(v)})), "NULL");
}

// ---- the connection ----

TEST_F(StringFunctions, DatabaseAndUser)
{
    EXPECT_EQ(shown(call("DATABASE", {})), "NULL");
    char database[] = "/data/sales.fdb";
    connection.database = database;
    EXPECT_EQ(shown(call("DATABASE", {})), "'/data/sales.fdb'");

    EXPECT_EQ(shown(call("USER", {})), "NULL");
    ASSERT_EQ(parse_connection_string(&connection.attributes, mem, "DSN=x;uid=", SQL_NTS, 0), 0);
    EXPECT_EQ(shown(call("USER", {})), "''");
    ASSERT_EQ(parse_connection_string(&connection.attributes, mem, "DSN=x;Uid=ann;UID=eve", SQL_NTS, 0), 0);
    EXPECT_EQ(shown(call("USER", {})), "'ann'");
    ASSERT_EQ(parse_connection_string(&connection.attributes, mem, "DSN=x", SQL_NTS, 0), 0);
    EXPECT_EQ(shown(call("USER", {})), "NULL");
    stmt.connection = nullptr;
    EXPECT_EQ(shown(call("USER", {})), "NULL");
    EXPECT_EQ(shown(call("DATABASE", {})), "NULL");
}

// ---- IFNULL evaluates its own argument expressions ----

class Ifnull : public StringFunctions {
protected:
    struct Evaluation {
        void *expression;
        int mode;
        void *data;
    };
    static inline std::vector<Evaluation> evaluations;
    static inline Value *results[2];

    // Expressions are the indexes 0 and 1 into `results`.
    static Value *evaluate(void *expression, EvalContext *, int mode, void *data)
    {
        evaluations.push_back({expression, mode, data});
        return results[reinterpret_cast<intptr_t>(expression)];
    }

    void SetUp() override
    {
        StringFunctions::SetUp();
        evaluations.clear();
        context.evaluate = evaluate;
    }

    Value *ifnull(int mode, void *data)
    {
        Value *expressions[2] = {reinterpret_cast<Value *>(intptr_t{0}), reinterpret_cast<Value *>(intptr_t{1})};
        return execute_function(sql92_get_function_info(28), &context, 2, expressions, mode, data);
    }
};

TEST_F(Ifnull, FirstValueUnlessNull)
{
    int data = 0;
    results[0] = make(S("first"));
    results[1] = make(S("second"));
    // A non-zero mode still runs IFNULL, which passes it on.
    EXPECT_EQ(ifnull(3, &data), results[0]);
    ASSERT_EQ(evaluations.size(), 1u);
    EXPECT_EQ(evaluations[0].mode, 3);
    EXPECT_EQ(evaluations[0].data, &data);

    for (Arg null : {N, L}) {
        evaluations.clear();
        results[0] = make(null);
        EXPECT_EQ(ifnull(3, &data), results[1]);
        ASSERT_EQ(evaluations.size(), 2u);
        EXPECT_EQ(evaluations[1].expression, reinterpret_cast<void *>(1));
        EXPECT_EQ(evaluations[1].mode, 0);
        EXPECT_EQ(evaluations[1].data, nullptr);
    }

    evaluations.clear();
    results[0] = nullptr;
    EXPECT_EQ(ifnull(0, nullptr), nullptr);
    EXPECT_EQ(evaluations.size(), 1u);
    context.evaluate = nullptr;
    EXPECT_EQ(ifnull(0, nullptr), nullptr);
}

// UCASE and LCASE fold ASCII letters only, whatever the process locale.
TEST_F(StringFunctions, CaseIgnoresTheProcessLocale)
{
    kvtest::TurkishLocale turkish;
    if (!turkish.active())
        GTEST_SKIP() << "localedef could not build tr_TR (package locales missing)";
    EXPECT_EQ(shown(call("UCASE", {S("istanbul \xFD")})), "'ISTANBUL \xFD'");
    EXPECT_EQ(shown(call("LCASE", {S("ISTANBUL \xDD")})), "'istanbul \xDD'");
    EXPECT_EQ(shown(call("SOUNDEX", {S("\xE7" "ay")})), "NULL");
}

} // namespace
