// The scalar-function catalogue: both tables row by row, the lookups by name
// and by id (under a Turkish locale too), the row order, execute_function's
// mode rule, and the conventions helpers with their error exits.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "functions_internal.h"
#include "numeric_test_util.h"
#include "turkish_locale.h"

namespace {

struct Row {
    const char *name;
    int id;
    int min_args, max_args;
    uint32_t result;
    std::vector<uint32_t> args;
    kv_scalar_function function;
};

// The catalogue as published: name, id, argument range, result class,
// argument classes, implementation.
const std::vector<Row> kFunctions = {
    {"ABS", 0, 1, 1, 0x208, {0x008}, func_abs},
    {"ACOS", 1, 1, 1, 0x008, {0x008}, func_acos},
    {"ASCII", 2, 1, 1, 0x002, {0x001}, func_ascii},
    {"ASIN", 3, 1, 1, 0x008, {0x008}, func_asin},
    {"ATAN", 4, 1, 1, 0x008, {0x008}, func_atan},
    {"ATAN2", 5, 2, 2, 0x008, {0x008, 0x008}, func_atan2},
    {"BIT_LENGTH", 6, 1, 1, 0x002, {0x001}, func_bit_length},
    {"CEILING", 7, 1, 1, 0x002, {0x008}, func_ceiling},
    {"CHAR", 8, 1, 1, 0x004, {0x002}, func_char},
    {"CHARACTER_LENGTH", 9, 1, 1, 0x002, {0x001}, func_char_length},
    {"CHAR_LENGTH", 9, 1, 1, 0x002, {0x001}, func_char_length},
    {"CONCAT", 10, 2, 2, 0x001, {0x001, 0x001}, func_concat},
    {"CONVERT", 11, 2, 2, 0x200, {0x200, 0x200}, func_convert},
    {"COS", 12, 1, 1, 0x008, {0x008}, func_cos},
    {"COT", 13, 1, 1, 0x008, {0x008}, func_cot},
    {"CURDATE", 14, 0, 0, 0x010, {}, func_curdate},
    {"CURRENT_DATE", 14, 0, 0, 0x010, {}, func_curdate},
    {"CURRENT_TIME", 15, 0, 1, 0x020, {0x802}, func_curtime},
    {"CURRENT_TIMESTAMP", 16, 0, 1, 0x040, {0x802}, func_curtstamp},
    {"CURTIME", 15, 0, 0, 0x020, {}, func_curtime},
    {"DATABASE", 17, 0, 0, 0x001, {}, func_database},
    {"DAYNAME", 18, 1, 1, 0x001, {0x050}, func_dayname},
    {"DAYOFMONTH", 19, 1, 1, 0x002, {0x050}, func_dayofmonth},
    {"DAYOFWEEK", 20, 1, 1, 0x002, {0x050}, func_dayofweek},
    {"DAYOFYEAR", 21, 1, 1, 0x002, {0x050}, func_dayofyear},
    {"DEGREES", 22, 1, 1, 0x008, {0x008}, func_degrees},
    {"DIFFERENCE", 23, 2, 2, 0x002, {0x001, 0x001}, func_difference},
    {"EXP", 24, 1, 1, 0x008, {0x008}, func_exp},
    {"EXTRACT", 25, 2, 2, 0x002, {0x100, 0x0F0}, func_extract},
    {"FLOOR", 26, 1, 1, 0x002, {0x008}, func_floor},
    {"HOUR", 27, 1, 1, 0x002, {0x060}, func_hour},
    {"IFNULL", 28, 2, 2, 0x200, {0x200, 0x200}, func_ifnull},
    {"INSERT", 29, 4, 4, 0x001, {0x001, 0x002, 0x002, 0x001}, func_insert},
    {"LCASE", 30, 1, 1, 0x001, {0x001}, func_lcase},
    {"LEFT", 31, 2, 2, 0x001, {0x001, 0x002}, func_left},
    {"LENGTH", 32, 1, 1, 0x002, {0x001}, func_length},
    {"LOCATE", 33, 2, 3, 0x002, {0x001, 0x001, 0x802}, func_locate},
    {"LOG", 34, 1, 1, 0x008, {0x008}, func_log},
    {"LOG10", 35, 1, 1, 0x008, {0x008}, func_log10},
    {"LTRIM", 36, 1, 1, 0x001, {0x001}, func_ltrim},
    {"MINUTE", 37, 1, 1, 0x002, {0x060}, func_minute},
    {"MOD", 38, 2, 2, 0x002, {0x002, 0x002}, func_mod},
    {"MONTH", 39, 1, 1, 0x002, {0x050}, func_month},
    {"MONTHNAME", 40, 1, 1, 0x001, {0x050}, func_monthname},
    {"NOW", 41, 0, 0, 0x040, {}, func_now},
    {"OCTET_LENGTH", 42, 1, 1, 0x002, {0x001}, func_char_length},
    {"PI", 43, 0, 0, 0x008, {}, func_pi},
    {"POSITION", 44, 2, 2, 0x002, {0x004, 0x004}, func_position},
    {"POWER", 45, 2, 2, 0x008, {0x008, 0x002}, func_power},
    {"QUARTER", 46, 1, 1, 0x002, {0x050}, func_quarter},
    {"RADIANS", 47, 1, 1, 0x008, {0x008}, func_radians},
    {"RAND", 48, 0, 1, 0x008, {0x802}, func_rand},
    {"REPEAT", 49, 2, 2, 0x001, {0x001, 0x002}, func_repeat},
    {"REPLACE", 50, 3, 3, 0x001, {0x001, 0x001, 0x001}, func_replace},
    {"RIGHT", 51, 2, 2, 0x001, {0x001, 0x002}, func_right},
    {"ROUND", 52, 2, 2, 0x008, {0x008, 0x002}, func_round},
    {"RTRIM", 53, 1, 1, 0x001, {0x001}, func_rtrim},
    {"SECOND", 54, 1, 1, 0x002, {0x060}, func_second},
    {"SIGN", 55, 1, 1, 0x002, {0x008}, func_sign},
    {"SIN", 56, 1, 1, 0x008, {0x008}, func_sin},
    {"SOUNDEX", 57, 1, 1, 0x001, {0x001}, func_soundex},
    {"SPACE", 58, 1, 1, 0x001, {0x002}, func_space},
    {"SQRT", 59, 1, 1, 0x008, {0x008}, func_sqrt},
    {"SUBSTR", 60, 3, 3, 0x001, {0x001, 0x002, 0x002}, func_substring},
    {"SUBSTRING", 60, 3, 3, 0x001, {0x001, 0x002, 0x002}, func_substring},
    {"TAN", 61, 1, 1, 0x008, {0x008}, func_tan},
    {"TIMESTAMPADD", 62, 3, 3, 0x040, {0x100, 0x00A, 0x070}, func_timestampadd},
    {"TIMESTAMPDIFF", 63, 3, 3, 0x002, {0x100, 0x070, 0x070}, func_timestampdiff},
    {"TRUNCATE", 64, 2, 2, 0x008, {0x008, 0x002}, func_truncate},
    {"UCASE", 65, 1, 1, 0x001, {0x001}, func_ucase},
    {"USER", 66, 0, 0, 0x001, {}, func_user},
    {"WEEK", 67, 1, 1, 0x002, {0x050}, func_week},
    {"YEAR", 68, 1, 1, 0x002, {0x050}, func_year},
};

const std::vector<Row> kKeywordForms = {
    {"BIT_LENGTH", -6, 1, 1, 0x002, {0x001}, func_bit_length},
    {"CHARACTER_LENGTH", -1, 1, 1, 0x002, {0x001}, func_char_length},
    {"CHAR_LENGTH", -1, 1, 1, 0x002, {0x001}, func_char_length},
    {"LOWER", -7, 1, 1, 0x001, {0x001}, func_lcase},
    {"OCTET_LENGTH", -2, 1, 1, 0x002, {0x001}, func_char_length},
    {"POSITION", -3, 2, 2, 0x002, {0x004, 0x004}, func_position},
    {"SUBSTRING", -4, 3, 3, 0x001, {0x001, 0x002, 0x002}, func_substring},
    {"UPPER", -8, 1, 1, 0x001, {0x001}, func_ucase},
};

void expect_table(const FunctionEntry *table, int count, const std::vector<Row> &want, int sql92_form)
{
    ASSERT_EQ(count, static_cast<int>(want.size()));
    for (int i = 0; i < count; ++i) {
        const FunctionEntry &row = table[i];
        const Row &w = want[static_cast<std::size_t>(i)];
        SCOPED_TRACE(w.name);
        EXPECT_STREQ(row.name, w.name);
        EXPECT_EQ(row.id, w.id);
        EXPECT_EQ(row.max_args, w.max_args);
        EXPECT_EQ(row.result_type, w.result);
        EXPECT_EQ(row.function, w.function);
        for (int a = 0; a < KV_FN_MAX_ARGS; ++a)
            EXPECT_EQ(row.arg_types[a], a < static_cast<int>(w.args.size()) ? w.args[static_cast<std::size_t>(a)] : 0u)
                << "argument " << a;
        EXPECT_EQ(sql92_get_function_id(w.name, sql92_form), w.id);
        if (i > 0) {
            EXPECT_LT(compare_function(&table[i - 1], &row), 0);
        }
    }
}

TEST(Catalogue, OdbcNamesRowByRow)
{
    expect_table(functions, kv_function_count, kFunctions, 0);
}

TEST(Catalogue, KeywordFormsRowByRow)
{
    expect_table(scalar_functions, kv_scalar_function_count, kKeywordForms, 1);
}

TEST(Catalogue, ArgumentRangeOfEveryId)
{
    for (const Row &w : kFunctions) {
        if (sql92_get_function_info(w.id)->name != std::string(w.name))
            continue; // an alias: the first row of the id counts
        int32_t least = -1, most = -1;
        sql92_get_function_arg_range(w.id, &least, &most);
        EXPECT_EQ(least, w.min_args) << w.name;
        EXPECT_EQ(most, w.max_args) << w.name;
    }
    struct {
        int id, least, most;
    } cases[] = {{33, 2, 3}, {15, 0, 1}, {16, 0, 1}, {48, 0, 1}, {43, 0, 0}, {29, 4, 4}, {60, 3, 3},
                 {-3, 2, 2}, {-4, 3, 3}, {-5, 0, 0}, {69, 0, 0}, {-99, 0, 0}};
    for (const auto &c : cases) {
        int32_t least = -1, most = -1;
        sql92_get_function_arg_range(c.id, &least, &most);
        EXPECT_EQ(least, c.least) << "id " << c.id;
        EXPECT_EQ(most, c.most) << "id " << c.id;
    }
    sql92_get_function_arg_range(33, nullptr, nullptr); // outputs may be left off
}

TEST(Catalogue, LookupByName)
{
    struct {
        const char *name;
        int sql92_form, id;
    } cases[] = {
        {"abs", 0, 0},          {"Abs", 0, 0},          {"ABSX", 0, KV_FN_UNKNOWN}, {"", 0, KV_FN_UNKNOWN},
        {"AB", 0, KV_FN_UNKNOWN}, {"POSITION", 0, 44},  {"POSITION", 1, -3},        {"LOWER", 0, KV_FN_UNKNOWN},
        {"lower", 1, -7},       {"TRIM", 1, KV_FN_UNKNOWN}, {"substr", 0, 60},      {"SUBSTR", 1, KV_FN_UNKNOWN},
        {"log10", 0, 35},       {"atan2", 0, 5},        {"current_timestamp", 0, 16},
        {"CURRENT_TIMESTAMPS", 0, KV_FN_UNKNOWN},       {"\xC3\x89", 0, KV_FN_UNKNOWN},
        {"Position\xFF", 0, KV_FN_UNKNOWN},             {"_", 0, KV_FN_UNKNOWN},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sql92_get_function_id(c.name, c.sql92_form), c.id) << "'" << c.name << "' form " << c.sql92_form;
    EXPECT_EQ(sql92_get_function_id(nullptr, 0), KV_FN_UNKNOWN);
    std::string very_long(100000, 'A');
    EXPECT_EQ(sql92_get_function_id(very_long.c_str(), 0), KV_FN_UNKNOWN);
}

TEST(Catalogue, LookupById)
{
    struct {
        int id;
        const char *name;
    } cases[] = {{0, "ABS"},           {9, "CHARACTER_LENGTH"}, {14, "CURDATE"},  {15, "CURRENT_TIME"},
                 {16, "CURRENT_TIMESTAMP"}, {60, "SUBSTR"},     {68, "YEAR"},     {-1, "CHARACTER_LENGTH"},
                 {-7, "LOWER"},        {-8, "UPPER"},           {-5, nullptr},    {69, nullptr},
                 {-9, nullptr},        {-99, nullptr}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.id);
        const char *name = sql92_get_function_name(c.id);
        const FunctionEntry *row = sql92_get_function_info(c.id);
        if (!c.name) {
            EXPECT_EQ(name, nullptr);
            EXPECT_EQ(row, nullptr);
            continue;
        }
        EXPECT_STREQ(name, c.name);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->name, name);
        EXPECT_EQ(row->id, c.id);
    }
}

TEST(Catalogue, RowOrder)
{
    auto cmp = [](const char *a, const char *b) {
        FunctionEntry x{}, y{};
        x.name = a;
        y.name = b;
        return compare_function(&x, &y);
    };
    EXPECT_EQ(cmp("LOG", "LOG10"), -1);
    EXPECT_EQ(cmp("LOG10", "LOG"), 1);
    EXPECT_EQ(cmp("ATAN", "ATAN2"), -1);
    EXPECT_EQ(cmp("CHARACTER_LENGTH", "CHAR_LENGTH"), -1);
    EXPECT_EQ(cmp("char_length", "CHAR_LENGTH"), 0);
    EXPECT_EQ(cmp("", ""), 0);
    EXPECT_EQ(cmp("", "A"), -1);
    EXPECT_EQ(cmp("A", ""), 1);
    EXPECT_EQ(cmp("Z", "_"), -1); // '_' after the letters
    // Bytes compare unsigned: a non-ASCII byte sorts after every ASCII one.
    EXPECT_EQ(cmp("\xC3", "Z"), 1);
    EXPECT_EQ(cmp("z", "\xC3"), -1);
    // Only ASCII letters fold: é (0xE9) is not É (0xC9).
    EXPECT_EQ(cmp("\xE9", "\xC9"), 1);
}

// Under a Turkish locale toupper('i') is not 'I'; the lookups must not care.
TEST(Catalogue, LookupIgnoresTheProcessLocale)
{
    kvtest::TurkishLocale turkish;
    if (!turkish.active())
        GTEST_SKIP() << "localedef could not build tr_TR (package locales missing)";
    EXPECT_EQ(sql92_get_function_id("position", 0), 44);
    EXPECT_EQ(sql92_get_function_id("sin", 0), 56);
    EXPECT_EQ(sql92_get_function_id("right", 0), 51);
    EXPECT_EQ(sql92_get_function_id("timestampdiff", 0), 63);
    EXPECT_EQ(sql92_get_function_id("position", 1), -3);
}

// ---- dispatch and the conventions of the implementations ----

class Dispatch : public numtest::EvalFixture {
protected:
    static inline int calls = 0;

    static Value *counting(EvalContext *ctx, int32_t, Value **, int32_t, void *, const FunctionEntry *)
    {
        ++calls;
        return kv_fn_new_result(ctx, VT_INTEGER);
    }

    void SetUp() override
    {
        EvalFixture::SetUp();
        calls = 0;
    }
};

// Any function but IFNULL is not run when the mode is non-zero; CONVERT
// gives no value.
TEST_F(Dispatch, ModeAndConvert)
{
    FunctionEntry own{};
    own.name = "MINE";
    own.function = counting;
    EXPECT_EQ(execute_function(&own, &context, 0, nullptr, 1, nullptr), nullptr);
    EXPECT_EQ(calls, 0);
    Value *v = execute_function(&own, &context, 0, nullptr, 0, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(v->type, VT_INTEGER);
    EXPECT_EQ(v->mem, mem);

    EXPECT_EQ(execute_function(sql92_get_function_info(0), &context, 1, nullptr, 2, nullptr), nullptr);
    EXPECT_EQ(execute_function(sql92_get_function_info(11), &context, 0, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(execute_function(nullptr, &context, 0, nullptr, 0, nullptr), nullptr);
    FunctionEntry empty{};
    EXPECT_EQ(execute_function(&empty, &context, 0, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(stmt.error_header->record_count, 0);
}

// IFNULL alone runs with a non-zero mode: it hands the mode and data to
// the driver's evaluator.
TEST_F(Dispatch, IfnullRunsWhateverTheMode)
{
    static int evaluations;
    static int seen_mode;
    evaluations = 0;
    context.evaluate = [](void *expression, EvalContext *, int mode, void *) {
        ++evaluations;
        seen_mode = mode;
        return static_cast<Value *>(expression);
    };
    Value *first = new_value(VT_INTEGER);
    Value *expressions[] = {first, nullptr};
    EXPECT_EQ(execute_function(sql92_get_function_info(28), &context, 2, expressions, 5, nullptr), first);
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(seen_mode, 5);
}

TEST_F(Dispatch, NullArguments)
{
    Value *null_literal = new_value(VT_NULL);
    Value *null_integer = new_value(VT_INTEGER);
    null_integer->indicator = SQL_NULL_DATA;
    Value *one = new_value(VT_INTEGER);
    one->data.i = 1;
    EXPECT_TRUE(kv_fn_is_null(null_literal));
    EXPECT_TRUE(kv_fn_is_null(null_integer));
    EXPECT_TRUE(kv_fn_is_null(nullptr));
    EXPECT_FALSE(kv_fn_is_null(one));
    Value *args[] = {one, null_literal};
    EXPECT_FALSE(kv_fn_any_null(1, args));
    EXPECT_TRUE(kv_fn_any_null(2, args));
    Value *n = kv_fn_null_result(&context, VT_STRING);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->indicator, SQL_NULL_DATA);
    EXPECT_EQ(n->type, VT_STRING);
}

TEST_F(Dispatch, StringResults)
{
    Value *v = kv_fn_string_result(&context, "abc\0def", 7, KvMessage::memory);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, VT_STRING);
    EXPECT_EQ(v->length, 7);
    EXPECT_EQ(v->inline_data, 0);
    EXPECT_EQ(std::string(v->data.s, 8), std::string("abc\0def\0", 8));
    Value *empty = kv_fn_string_result(&context, nullptr, 0, KvMessage::memory);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty->data.s, "");

    // The Value itself cannot be had: NULL, nothing posted.
    while (kv_test_cache_count(KV_NODE_VALUE) > 0)
        kv_mem_alloc_node(mem, sizeof(Value), KV_NODE_VALUE);
    kv_test_fail_allocation(1);
    EXPECT_EQ(kv_fn_string_result(&context, "x", 1, KvMessage::memory), nullptr);
    kv_test_fail_allocation(0);
    EXPECT_EQ(stmt.error_header->record_count, 0);

    // The text cannot be had: HY001 with the caller's message.
    int rc = numtest::guarded(context, [&] {
        Value *keep = kv_fn_new_result(&context, VT_STRING); // warms the value cache
        release_value(mem, keep);
        kv_test_fail_allocation(1);
        kv_fn_string_result(&context, "x", 1, KvMessage::memory_zorv);
    });
    kv_test_fail_allocation(0);
    EXPECT_EQ(rc, -1);
    auto d = last_diagnostic();
    EXPECT_EQ(d.sqlstate, "HY001");
    EXPECT_EQ(d.message, "[Kestrova ODBC]Memory allocation error zorv");
}

} // namespace
