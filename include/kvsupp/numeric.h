/*
** Exact numerics: NUMERIC and DECIMAL values of up to 39 digits.
**
** A NumericValue (the ODBC numeric structure) holds a 128-bit unsigned
** magnitude in 16 bytes, least significant first, a sign byte (1 positive,
** 0 negative; any non-zero byte reads as positive) and a signed 8-bit scale:
** the number is +/- magnitude x 10^-scale. The largest magnitude is
** 2^128 - 1 = 340282366920938463463374607431768211455. Every function takes
** caller-owned records and allocates nothing.
**
** Results: 0 success; -2 the value does not fit (a magnitude above 2^128 - 1
** or a scale outside -128..127); -1 a text that is not a decimal number, or
** a division by zero without an evaluation context.
**
** Decimal texts: blanks, an optional sign, digits, an optional point and
** fraction digits, blanks ("  -0012.50", "+7", ".5", "3."). A text of no
** digits at all is zero.
*/
#ifndef KVSUPP_NUMERIC_H
#define KVSUPP_NUMERIC_H

#include <stdint.h>

#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

/* Reads a decimal text at its full number of fraction digits: the result's
   scale is `scale` plus the count of fraction digits. The point is removed
   from `text` in place (the rest moves one place left). Returns 0; -2 when
   the value does not fit (the sign is set, nothing else of `target`); -1 for
   a text that is not a decimal number (neither `text` nor `target` change). */
KV_EXPORT int string_to_numeric(char *text, NumericValue *target, int precision, int scale);

/* Reads a decimal text at exactly `scale` fraction digits: extra digits are
   cut off (never rounded), missing ones count as zeros; a negative scale
   drops the last -scale integer digits too. Results as string_to_numeric;
   `text` is not changed. */
KV_EXPORT int create_numeric(const char *text, NumericValue *target, int precision, int scale);

/* Writes the plain decimal text of `source` ("-" for sign 0, even for zero;
   no exponent; trailing fraction zeros and a bare point dropped; a negative
   scale appends zeros) into `buffer` (`buffer_length` bytes, always
   terminated when there is room), and its full length to `*length` when
   `length` is not NULL. Returns 0, or 1 when the text was cut to fit. The
   longest text is 169 characters. */
KV_EXPORT int numeric_to_string(const NumericValue *source, char *buffer, int buffer_length, int *length);

/* value x 10^scale, truncated toward zero for a negative scale. Returns 0,
   or -2 (target unchanged) when the exact result does not fit. */
KV_EXPORT int int_to_numeric(int32_t value, NumericValue *target, int precision, int scale);
KV_EXPORT int int_to_numeric_noscale(int32_t value, NumericValue *target, int precision);
KV_EXPORT int bigint_to_numeric(int64_t value, NumericValue *target, int precision, int scale);
KV_EXPORT int bigint_to_numeric_noscale(int64_t value, NumericValue *target, int precision);

/* value x 10^scale rounded to the nearest integer (ties to even) at `scale`.
   Returns 0; 1 (target unchanged) when a negative scale cannot hold the value
   exactly; -2 when it does not fit (the sign is set, nothing else); -1
   (target unchanged) for NaN and infinities. */
KV_EXPORT int double_to_numeric(double value, NumericValue *target, int precision, int scale);

/* The integer part (truncated toward zero), saturated at the bounds of the
   target type. Return 0. */
KV_EXPORT int numeric_to_int(const NumericValue *source, int *out);
KV_EXPORT int numeric_to_bigint(const NumericValue *source, int64_t *out);

/* The nearest double, summed from the magnitude's bits in ascending order and
   then scaled by pow(10, -scale). Returns 0. */
KV_EXPORT int numeric_to_double(const NumericValue *source, double *out);

/* -1, 0 or 1 as left is below, equal to or above right, exactly, whatever the
   two scales. A zero with sign 1 is above a zero with sign 0. */
KV_EXPORT int numeric_compare(const NumericValue *left, const NumericValue *right);

/* 1 when all 16 magnitude bytes are zero, else 0. */
KV_EXPORT int numeric_is_zero(const NumericValue *source);

/* left := left + right at the larger scale, with left's precision; an exact
   cancellation keeps left's sign. Returns 0, or -2 when the exact sum (or the
   left operand raised to the common scale) needs more than 128 bits: left
   then holds the low 128 bits. */
KV_EXPORT int add_numeric(NumericValue *left, const NumericValue *right);

/* left := left - right; as add_numeric. */
KV_EXPORT int subtract_numeric(NumericValue *left, const NumericValue *right);

/* left := left x right at the sum of the scales, precision 0. Returns 0, or -2
   when the product needs more than 128 bits or the scale leaves -128..127:
   left then holds the low 128 bits and the 8-bit wrapped scale. */
KV_EXPORT int mult_numeric(NumericValue *left, const NumericValue *right);

/* left := left / right, computed in double precision and rounded to the
   nearest (ties to even) at left's scale, with left's precision. A zero
   divisor takes the error exit of `context` ("22012" "Division by zero") and
   does not return; with a NULL context left becomes 0 and the result is -1.
   Returns 0, or -2 (left unchanged) when the quotient does not fit. */
KV_EXPORT int div_numeric(NumericValue *left, const NumericValue *right, EvalContext *context);

/* Arithmetic (operator codes 1 +, 2 -, 4 *, 5 /) and comparison (7 <, 8 >,
   9 >=, 10 <=, 11 =, 12 <>) of two values, at least one of them numeric
   (type 10), written into `result`; any other code writes nothing. An
   arithmetic result copies the numeric template operand's record (the result
   keeps its own ref_count and mem) with the computed numeric; a comparison
   makes the result a non-NULL integer 1 or 0. The operands are not changed
   and may be the result itself. NULL indicators are not looked at. Errors
   take the error exit of `context` (required): "22012" for a division by zero, "22018"
   for a string operand that is not a number, "22003" for an operand or a
   result that does not fit a numeric. */
KV_EXPORT void numeric_operation(const Value *left, const Value *right, Value *result,
                                 EvalContext *context, int operator_code);

/* The same operators on the two values read as 64-bit integers: arithmetic
   wraps modulo 2^64 and sets only the result's type (12) and 64-bit datum;
   division truncates toward zero, and a zero divisor takes the error exit
   ("22012", subclass origin "ODBC3.0"). */
KV_EXPORT void bigint_operation(const Value *left, const Value *right, Value *result,
                                EvalContext *context, int operator_code);

KV_END_DECLS

#endif
