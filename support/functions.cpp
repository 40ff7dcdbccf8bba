/*
** The scalar-function catalogue: the ODBC function names and the SQL-92
** keyword forms as two constant tables sorted by name, the lookups by name
** (a hash of the folded name, confirmed by comparing it whole) and by id, and
** execute_function, which runs one row's implementation. The conventions the
** implementations share (result values, SQL NULL, the error exit) are here
** too; the implementations live in functions_string/numeric/datetime.cpp.
*/
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "functions_internal.h"

// clang-format off
constexpr FunctionEntry functions[kv_function_count] = {
    {"ABS", 0, 1, func_abs, 0x208, {0x008}},
    {"ACOS", 1, 1, func_acos, 0x008, {0x008}},
    {"ASCII", 2, 1, func_ascii, 0x002, {0x001}},
    {"ASIN", 3, 1, func_asin, 0x008, {0x008}},
    {"ATAN", 4, 1, func_atan, 0x008, {0x008}},
    {"ATAN2", 5, 2, func_atan2, 0x008, {0x008, 0x008}},
    {"BIT_LENGTH", 6, 1, func_bit_length, 0x002, {0x001}},
    {"CEILING", 7, 1, func_ceiling, 0x002, {0x008}},
    {"CHAR", 8, 1, func_char, 0x004, {0x002}},
    {"CHARACTER_LENGTH", 9, 1, func_char_length, 0x002, {0x001}},
    {"CHAR_LENGTH", 9, 1, func_char_length, 0x002, {0x001}},
    {"CONCAT", 10, 2, func_concat, 0x001, {0x001, 0x001}},
    {"CONVERT", 11, 2, func_convert, 0x200, {0x200, 0x200}},
    {"COS", 12, 1, func_cos, 0x008, {0x008}},
    {"COT", 13, 1, func_cot, 0x008, {0x008}},
    {"CURDATE", 14, 0, func_curdate, 0x010, {}},
    {"CURRENT_DATE", 14, 0, func_curdate, 0x010, {}},
    {"CURRENT_TIME", 15, 1, func_curtime, 0x020, {0x802}},
    {"CURRENT_TIMESTAMP", 16, 1, func_curtstamp, 0x040, {0x802}},
    {"CURTIME", 15, 0, func_curtime, 0x020, {}},
    {"DATABASE", 17, 0, func_database, 0x001, {}},
    {"DAYNAME", 18, 1, func_dayname, 0x001, {0x050}},
    {"DAYOFMONTH", 19, 1, func_dayofmonth, 0x002, {0x050}},
    {"DAYOFWEEK", 20, 1, func_dayofweek, 0x002, {0x050}},
    {"DAYOFYEAR", 21, 1, func_dayofyear, 0x002, {0x050}},
    {"DEGREES", 22, 1, func_degrees, 0x008, {0x008}},
    {"DIFFERENCE", 23, 2, func_difference, 0x002, {0x001, 0x001}},
    {"EXP", 24, 1, func_exp, 0x008, {0x008}},
    {"EXTRACT", 25, 2, func_extract, 0x002, {0x100, 0x0F0}},
    {"FLOOR", 26, 1, func_floor, 0x002, {0x008}},
    {"HOUR", 27, 1, func_hour, 0x002, {0x060}},
    {"IFNULL", 28, 2, func_ifnull, 0x200, {0x200, 0x200}},
    {"INSERT", 29, 4, func_insert, 0x001, {0x001, 0x002, 0x002, 0x001}},
    {"LCASE", 30, 1, func_lcase, 0x001, {0x001}},
    {"LEFT", 31, 2, func_left, 0x001, {0x001, 0x002}},
    {"LENGTH", 32, 1, func_length, 0x002, {0x001}},
    {"LOCATE", 33, 3, func_locate, 0x002, {0x001, 0x001, 0x802}},
    {"LOG", 34, 1, func_log, 0x008, {0x008}},
    {"LOG10", 35, 1, func_log10, 0x008, {0x008}},
    {"LTRIM", 36, 1, func_ltrim, 0x001, {0x001}},
    {"MINUTE", 37, 1, func_minute, 0x002, {0x060}},
    {"MOD", 38, 2, func_mod, 0x002, {0x002, 0x002}},
    {"MONTH", 39, 1, func_month, 0x002, {0x050}},
    {"MONTHNAME", 40, 1, func_monthname, 0x001, {0x050}},
    {"NOW", 41, 0, func_now, 0x040, {}},
    {"OCTET_LENGTH", 42, 1, func_char_length, 0x002, {0x001}},
    {"PI", 43, 0, func_pi, 0x008, {}},
    {"POSITION", 44, 2, func_position, 0x002, {0x004, 0x004}},
    {"POWER", 45, 2, func_power, 0x008, {0x008, 0x002}},
    {"QUARTER", 46, 1, func_quarter, 0x002, {0x050}},
    {"RADIANS", 47, 1, func_radians, 0x008, {0x008}},
    {"RAND", 48, 1, func_rand, 0x008, {0x802}},
    {"REPEAT", 49, 2, func_repeat, 0x001, {0x001, 0x002}},
    {"REPLACE", 50, 3, func_replace, 0x001, {0x001, 0x001, 0x001}},
    {"RIGHT", 51, 2, func_right, 0x001, {0x001, 0x002}},
    {"ROUND", 52, 2, func_round, 0x008, {0x008, 0x002}},
    {"RTRIM", 53, 1, func_rtrim, 0x001, {0x001}},
    {"SECOND", 54, 1, func_second, 0x002, {0x060}},
    {"SIGN", 55, 1, func_sign, 0x002, {0x008}},
    {"SIN", 56, 1, func_sin, 0x008, {0x008}},
    {"SOUNDEX", 57, 1, func_soundex, 0x001, {0x001}},
    {"SPACE", 58, 1, func_space, 0x001, {0x002}},
    {"SQRT", 59, 1, func_sqrt, 0x008, {0x008}},
    {"SUBSTR", 60, 3, func_substring, 0x001, {0x001, 0x002, 0x002}},
    {"SUBSTRING", 60, 3, func_substring, 0x001, {0x001, 0x002, 0x002}},
    {"TAN", 61, 1, func_tan, 0x008, {0x008}},
    {"TIMESTAMPADD", 62, 3, func_timestampadd, 0x040, {0x100, 0x00A, 0x070}},
    {"TIMESTAMPDIFF", 63, 3, func_timestampdiff, 0x002, {0x100, 0x070, 0x070}},
    {"TRUNCATE", 64, 2, func_truncate, 0x008, {0x008, 0x002}},
    {"UCASE", 65, 1, func_ucase, 0x001, {0x001}},
    {"USER", 66, 0, func_user, 0x001, {}},
    {"WEEK", 67, 1, func_week, 0x002, {0x050}},
    {"YEAR", 68, 1, func_year, 0x002, {0x050}},
};

constexpr FunctionEntry scalar_functions[kv_scalar_function_count] = {
    {"BIT_LENGTH", -6, 1, func_bit_length, 0x002, {0x001}},
    {"CHARACTER_LENGTH", -1, 1, func_char_length, 0x002, {0x001}},
    {"CHAR_LENGTH", -1, 1, func_char_length, 0x002, {0x001}},
    {"LOWER", -7, 1, func_lcase, 0x001, {0x001}},
    {"OCTET_LENGTH", -2, 1, func_char_length, 0x002, {0x001}},
    {"POSITION", -3, 2, func_position, 0x002, {0x004, 0x004}},
    {"SUBSTRING", -4, 3, func_substring, 0x001, {0x001, 0x002, 0x002}},
    {"UPPER", -8, 1, func_ucase, 0x001, {0x001}},
};
// clang-format on

namespace {

// Names compare after ASCII upper-case folding, never through the locale:
// under a Turkish locale toupper('i') is not 'I'.
constexpr unsigned char fold(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

constexpr int compare_names(const char *p, const char *q)
{
    for (;; ++p, ++q) {
        unsigned char c = fold(static_cast<unsigned char>(*p));
        unsigned char d = fold(static_cast<unsigned char>(*q));
        if (c == 0 && d == 0)
            return 0;
        if (c == 0)
            return -1;
        if (d == 0)
            return 1;
        if (c != d)
            return c < d ? -1 : 1;
    }
}

// What the lookups rely on, checked when the library is compiled: each
// table is strictly sorted; every name is upper case; the ODBC ids are
// given in alphabetical order of their first name (0, 1, 2, ... with
// aliases repeating an earlier id) and the keyword forms' ids are negative;
// argument classes past max_args are 0.
template <std::size_t N>
constexpr bool sorted_and_upper(const FunctionEntry (&table)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        for (const char *p = table[i].name; *p; ++p)
            if (fold(static_cast<unsigned char>(*p)) != static_cast<unsigned char>(*p))
                return false;
        if (i > 0 && compare_names(table[i - 1].name, table[i].name) >= 0)
            return false;
        if (table[i].max_args < 0 || table[i].max_args > KV_FN_MAX_ARGS)
            return false;
        for (int a = table[i].max_args; a < KV_FN_MAX_ARGS; ++a)
            if (table[i].arg_types[a] != 0)
                return false;
    }
    return true;
}

constexpr bool ids_follow_names()
{
    int next = 0;
    for (const FunctionEntry &row : functions) {
        if (row.id == next)
            ++next;
        else if (row.id < 0 || row.id > next)
            return false;
    }
    for (const FunctionEntry &row : scalar_functions)
        if (row.id >= 0)
            return false;
    return next == 69;
}

static_assert(sorted_and_upper(functions), "the ODBC function names must stay sorted and upper case");
static_assert(sorted_and_upper(scalar_functions), "the keyword forms must stay sorted and upper case");
static_assert(ids_follow_names(), "ODBC function ids follow the alphabetical order of their names");

// The longest name in either table, so a longer key is refused before folding.
constexpr std::size_t longest_name()
{
    std::size_t longest = 0;
    for (const FunctionEntry &row : functions)
        longest = std::max(longest, std::char_traits<char>::length(row.name));
    for (const FunctionEntry &row : scalar_functions)
        longest = std::max(longest, std::char_traits<char>::length(row.name));
    return longest;
}
constexpr std::size_t kLongestName = longest_name();

// Name lookup. A folded name of up to 24 bytes is packed into three words,
// zero-padded; each catalogue table has an open-addressing index built when
// the library is compiled, keyed by a multiplicative hash of those words. A
// hit is confirmed by comparing all three words, so the result is exactly
// that of a search of the sorted rows with compare_function.
constexpr std::size_t kKeyWords = 3;
static_assert(kLongestName <= kKeyWords * 8, "a packed name holds the longest name");
constexpr std::size_t kSlots = 256; // a power of two, over three times the rows

struct PackedName {
    uint64_t word[kKeyWords] = {};

    constexpr void put(std::size_t i, unsigned char c) { word[i / 8] |= static_cast<uint64_t>(c) << (8 * (i % 8)); }
    constexpr std::size_t slot() const
    {
        uint64_t h = word[0] * 0x9E3779B97F4A7C15u + word[1] * 0xC2B2AE3D27D4EB4Fu + word[2];
        return static_cast<std::size_t>(h >> 56) & (kSlots - 1);
    }
    constexpr bool operator==(const PackedName &) const = default;
};

constexpr PackedName pack(const char *upper_name)
{
    PackedName key;
    for (std::size_t i = 0; upper_name[i]; ++i)
        key.put(i, static_cast<unsigned char>(upper_name[i]));
    return key;
}

struct NameIndex {
    std::array<uint8_t, kSlots> slot{}; // row index + 1; 0 is empty
    std::array<PackedName, 80> packed{};
};

template <std::size_t N>
constexpr NameIndex name_index(const FunctionEntry (&table)[N])
{
    static_assert(N <= 80 && N < 255);
    NameIndex index;
    for (std::size_t i = 0; i < N; ++i) {
        index.packed[i] = pack(table[i].name);
        std::size_t s = index.packed[i].slot();
        while (index.slot[s] != 0)
            s = (s + 1) & (kSlots - 1);
        index.slot[s] = static_cast<uint8_t>(i + 1);
    }
    return index;
}
constexpr NameIndex kFunctionIndex = name_index(functions);
constexpr NameIndex kScalarIndex = name_index(scalar_functions);

int32_t find_id(const FunctionEntry *table, const NameIndex &index, const char *name)
{
    PackedName key;
    for (std::size_t n = 0; name[n]; ++n) {
        if (n == kLongestName)
            return KV_FN_UNKNOWN;
        key.put(n, fold(static_cast<unsigned char>(name[n])));
    }
    for (std::size_t s = key.slot(); index.slot[s] != 0; s = (s + 1) & (kSlots - 1)) {
        std::size_t row = index.slot[s] - 1u;
        if (index.packed[row] == key)
            return table[row].id;
    }
    return KV_FN_UNKNOWN;
}

const FunctionEntry *find_row(int32_t id)
{
    for (const FunctionEntry &row : functions)
        if (row.id == id)
            return &row;
    for (const FunctionEntry &row : scalar_functions)
        if (row.id == id)
            return &row;
    return nullptr;
}

} // namespace

Value *kv_fn_new_result(EvalContext *ctx, int type)
{
    auto *result = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, ctx->mem));
    if (!result)
        return nullptr;
    result->mem = ctx->mem;
    result->type = type;
    return result;
}

bool kv_fn_is_null(const Value *argument)
{
    return !argument || argument->indicator == SQL_NULL_DATA || argument->type == VT_NULL;
}

bool kv_fn_any_null(int32_t count, Value *const *argv)
{
    for (int32_t i = 0; i < count; ++i)
        if (kv_fn_is_null(argv[i]))
            return true;
    return false;
}

Value *kv_fn_null_result(EvalContext *ctx, int type)
{
    Value *result = kv_fn_new_result(ctx, type);
    if (result)
        result->indicator = SQL_NULL_DATA;
    return result;
}

void kv_fn_error(EvalContext *ctx, const char *sqlstate, const char *message)
{
    kv_eval_error(ctx, 1, kv_subclass_odbc3, sqlstate, message);
}

Value *kv_fn_string_result(EvalContext *ctx, const char *text, size_t length, KvMessage out_of_memory)
{
    char *copy = nullptr;
    Value *result = kv_fn_new_text(ctx, length, out_of_memory, &copy);
    if (result && length > 0)
        std::memcpy(copy, text, length);
    return result;
}

extern "C" {

int compare_function(const void *a, const void *b)
{
    return compare_names(static_cast<const FunctionEntry *>(a)->name, static_cast<const FunctionEntry *>(b)->name);
}

int32_t sql92_get_function_id(const char *name, int sql92_form)
{
    if (!name || !*name)
        return KV_FN_UNKNOWN;
    return sql92_form ? find_id(scalar_functions, kScalarIndex, name)
                      : find_id(functions, kFunctionIndex, name);
}

const char *sql92_get_function_name(int32_t id)
{
    const FunctionEntry *row = find_row(id);
    return row ? row->name : nullptr;
}

const FunctionEntry *sql92_get_function_info(int32_t id)
{
    return find_row(id);
}

void sql92_get_function_arg_range(int32_t id, int32_t *min_out, int32_t *max_out)
{
    const FunctionEntry *row = find_row(id);
    int32_t least = 0, most = 0;
    if (row) {
        most = row->max_args;
        for (int32_t i = 0; i < most; ++i)
            if (!(row->arg_types[i] & KV_FN_OPTIONAL))
                ++least;
    }
    if (min_out)
        *min_out = least;
    if (max_out)
        *max_out = most;
}

Value *execute_function(const FunctionEntry *entry, EvalContext *ctx, int32_t argc, Value **argv, int32_t mode,
                        void *eval_data)
{
    if (!entry || !entry->function || !ctx)
        return nullptr;
    if (mode != 0 && entry->function != func_ifnull)
        return nullptr;
    return entry->function(ctx, argc, argv, mode, eval_data, entry);
}

} // extern "C"
