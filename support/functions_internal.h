/*
** What the scalar-function modules share without exporting: the two
** catalogue tables, the implementations they point at, and the conventions
** every implementation follows (result allocation, SQL NULL, the error exit).
*/
#ifndef KVSUPP_FUNCTIONS_INTERNAL_H
#define KVSUPP_FUNCTIONS_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "internal.h"
#include "messages.h"

// The ODBC function names and the SQL-92 keyword forms, sorted by
// compare_function (checked at compile time in functions.cpp).
inline constexpr int kv_function_count = 73;
inline constexpr int kv_scalar_function_count = 8;
extern const FunctionEntry functions[kv_function_count];
extern const FunctionEntry scalar_functions[kv_scalar_function_count];

// Every implementation has this signature (kv_scalar_function).
#define KV_SCALAR_FUNCTION(name)                                                                      \
    Value *name(EvalContext *ctx, int32_t argc, Value **argv, int32_t mode, void *eval_data,          \
                const FunctionEntry *entry)

// String functions, with DATABASE, USER, IFNULL and CONVERT (functions_string.cpp).
KV_SCALAR_FUNCTION(func_ascii);
KV_SCALAR_FUNCTION(func_bit_length);
KV_SCALAR_FUNCTION(func_char);
KV_SCALAR_FUNCTION(func_char_length);
KV_SCALAR_FUNCTION(func_concat);
KV_SCALAR_FUNCTION(func_convert);
KV_SCALAR_FUNCTION(func_database);
KV_SCALAR_FUNCTION(func_difference);
KV_SCALAR_FUNCTION(func_ifnull);
KV_SCALAR_FUNCTION(func_insert);
KV_SCALAR_FUNCTION(func_lcase);
KV_SCALAR_FUNCTION(func_left);
KV_SCALAR_FUNCTION(func_length);
KV_SCALAR_FUNCTION(func_locate);
KV_SCALAR_FUNCTION(func_ltrim);
KV_SCALAR_FUNCTION(func_position);
KV_SCALAR_FUNCTION(func_repeat);
KV_SCALAR_FUNCTION(func_replace);
KV_SCALAR_FUNCTION(func_right);
KV_SCALAR_FUNCTION(func_rtrim);
KV_SCALAR_FUNCTION(func_soundex);
KV_SCALAR_FUNCTION(func_space);
KV_SCALAR_FUNCTION(func_substring);
KV_SCALAR_FUNCTION(func_ucase);
KV_SCALAR_FUNCTION(func_user);

// Numeric functions (functions_numeric.cpp).
KV_SCALAR_FUNCTION(func_abs);
KV_SCALAR_FUNCTION(func_acos);
KV_SCALAR_FUNCTION(func_asin);
KV_SCALAR_FUNCTION(func_atan);
KV_SCALAR_FUNCTION(func_atan2);
KV_SCALAR_FUNCTION(func_ceiling);
KV_SCALAR_FUNCTION(func_cos);
KV_SCALAR_FUNCTION(func_cot);
KV_SCALAR_FUNCTION(func_degrees);
KV_SCALAR_FUNCTION(func_exp);
KV_SCALAR_FUNCTION(func_floor);
KV_SCALAR_FUNCTION(func_log);
KV_SCALAR_FUNCTION(func_log10);
KV_SCALAR_FUNCTION(func_mod);
KV_SCALAR_FUNCTION(func_pi);
KV_SCALAR_FUNCTION(func_power);
KV_SCALAR_FUNCTION(func_radians);
KV_SCALAR_FUNCTION(func_rand);
KV_SCALAR_FUNCTION(func_round);
KV_SCALAR_FUNCTION(func_sign);
KV_SCALAR_FUNCTION(func_sin);
KV_SCALAR_FUNCTION(func_sqrt);
KV_SCALAR_FUNCTION(func_tan);
KV_SCALAR_FUNCTION(func_truncate);

// Date and time functions (functions_datetime.cpp).
KV_SCALAR_FUNCTION(func_curdate);
KV_SCALAR_FUNCTION(func_curtime);
KV_SCALAR_FUNCTION(func_curtstamp);
KV_SCALAR_FUNCTION(func_dayname);
KV_SCALAR_FUNCTION(func_dayofmonth);
KV_SCALAR_FUNCTION(func_dayofweek);
KV_SCALAR_FUNCTION(func_dayofyear);
KV_SCALAR_FUNCTION(func_extract);
KV_SCALAR_FUNCTION(func_hour);
KV_SCALAR_FUNCTION(func_minute);
KV_SCALAR_FUNCTION(func_month);
KV_SCALAR_FUNCTION(func_monthname);
KV_SCALAR_FUNCTION(func_now);
KV_SCALAR_FUNCTION(func_quarter);
KV_SCALAR_FUNCTION(func_second);
KV_SCALAR_FUNCTION(func_timestampadd);
KV_SCALAR_FUNCTION(func_timestampdiff);
KV_SCALAR_FUNCTION(func_week);
KV_SCALAR_FUNCTION(func_year);

// Conventions of the implementations.

// A new zero-filled Value of `type` (not NULL) on ctx->mem, or nullptr when
// it cannot be allocated; the implementation then returns nullptr at once.
Value *kv_fn_new_result(EvalContext *ctx, int type);

// Whether an argument is SQL NULL: its indicator is -1, or it is a value of
// the NULL type (the NULL literal).
bool kv_fn_is_null(const Value *argument);

// The first `count` arguments include an SQL NULL.
bool kv_fn_any_null(int32_t count, Value *const *argv);

// A result holding SQL NULL (indicator -1) of `type`; nullptr when it cannot
// be allocated.
Value *kv_fn_null_result(EvalContext *ctx, int type);

// The error exit of a scalar function: origin 1, subclass origin "ODBC3.0".
[[noreturn]] void kv_fn_error(EvalContext *ctx, const char *sqlstate, const char *message);

// A string result holding a copy of `length` bytes at `text`, zero-terminated
// in a block of its own on ctx->mem (kv_fn_new_text). nullptr when the Value
// cannot be allocated; leaves with `out_of_memory` when the text cannot.
Value *kv_fn_string_result(EvalContext *ctx, const char *text, size_t length, KvMessage out_of_memory);

// Shared by the scalar functions.

// The error exit with a condition of the library's message table
// (messages.h), origin 1 and subclass origin "ODBC3.0".
[[noreturn]] inline void kv_fn_fail(EvalContext *ctx, KvMessage message)
{
    kv_eval_error(ctx, 1, kv_subclass_odbc3, message);
}

// Argument `i`, or nullptr when the call has fewer: a missing argument then
// reads as SQL NULL (kv_fn_is_null), never as memory past argv.
inline Value *kv_fn_argument(int32_t argc, Value **argv, int32_t i)
{
    return argv && i < argc ? argv[i] : nullptr;
}

// Whether any of the first `count` arguments is SQL NULL or missing.
inline bool kv_fn_null_among(int32_t argc, Value **argv, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (kv_fn_is_null(kv_fn_argument(argc, argv, i)))
            return true;
    return false;
}

// An integer argument (not NULL) in 64 bits: integers and bigints as they
// are, doubles, numeric strings and exact numerics cut toward zero. NaN, an
// infinity or a value outside the 64-bit range leaves with 22003.
int64_t kv_fn_integer_argument(EvalContext *ctx, const Value *argument);

// ---- String functions: diagnostics, argument texts, integer arguments ----
// (functions_args.cpp; the implementations are in functions_string.cpp)

// Leaves with KvMessage::argument_count unless `argv` holds at least
// `needed` arguments.
void kv_fn_require_args(EvalContext *ctx, int32_t argc, Value **argv, int32_t needed);

// The text of a character argument as a (pointer, length) view; never
// written. `scratch` is a block on ctx->mem holding a long or converted
// text, released with kv_fn_release_text; nullptr when the view points into
// the argument itself.
struct KvText {
    const char *data;
    std::size_t size;
    char *scratch;
};

// Reads a non-NULL argument as text: a string's bytes up to its terminator;
// long character data read whole through the connection's callbacks
// (HY000 when that fails); the plain text of a number, date, time,
// timestamp or interval; 07006 for any other type. False when the argument
// turns out to hold SQL NULL (a long value the reader reports as NULL).
bool kv_fn_read_text(EvalContext *ctx, const Value *argument, KvText *text);
void kv_fn_release_text(EvalContext *ctx, KvText *text);

// Reads the first `count` arguments as texts into `texts`; false (with
// nothing left to release) when one holds SQL NULL.
bool kv_fn_read_texts(EvalContext *ctx, Value **argv, int count, KvText *texts);
void kv_fn_release_texts(EvalContext *ctx, KvText *texts, int count);

// The length in bytes of a non-NULL argument: of its text for strings and
// long character data (the whole length the reader reports, without
// reading the data), of its plain text for other types when `datum_size` is
// false, of its datum (4 for an integer, 8 for a double, 16 for a
// timestamp, the significant bytes of binary data, ...) when it is true.
// -1 when the argument holds SQL NULL.
int64_t kv_fn_text_length(EvalContext *ctx, const Value *argument, bool datum_size);

// The first byte of a non-NULL character argument (0..255), 0 for the empty
// text, -1 for SQL NULL. Long data is read no further than that byte.
int kv_fn_first_byte(EvalContext *ctx, const Value *argument);

// An integer argument (a count, a position, a code) read in 64 bits from
// any numeric type or a string; 22003 when it lies outside the 32-bit int
// range, 07006 for a type that holds no number.
int32_t kv_fn_int_arg(EvalContext *ctx, const Value *argument);

// A new string result of `length` bytes (not yet written) with its
// terminator; the text goes to *text. nullptr when the Value cannot be
// allocated; leaves with `diagnostic` when the text cannot, or when `length`
// exceeds KV_FN_MAX_STRING_LENGTH.
Value *kv_fn_new_text(EvalContext *ctx, uint64_t length, KvMessage diagnostic, char **text);

#endif
