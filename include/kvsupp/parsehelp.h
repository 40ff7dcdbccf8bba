/*
** Literal constructors: the parser turns each literal it meets into a Value
** and each dynamic parameter marker into a NODE_PARAMETER node. Everything
** returned lives on the handle passed last (release a Value earlier with
** release_value); NULL means the text does not fit its literal kind, or
** memory ran out. Nothing here posts a diagnostic.
*/
#ifndef KVSUPP_PARSEHELP_H
#define KVSUPP_PARSEHELP_H

#include <stdint.h>

#include "export.h"
#include "memsys.h"
#include "nodes.h"
#include "types.h"
#include "values.h"

KV_BEGIN_DECLS

/* Literal kinds: the code argument of MakeLiteral, with the text it reads. */
enum {
    KV_LITERAL_USER = 2,              /* text not read; VT_USER */
    KV_LITERAL_STRING = 3,            /* 'abc' with its delimiters; VT_STRING */
    KV_LITERAL_BIT = 4,               /* B'0' or B'1'; VT_BIT */
    KV_LITERAL_HEX = 5,               /* X'0A1F', or a 2-character prefix and digits; VT_BINARY */
    KV_LITERAL_DATE = 6,              /* ... 'year-month-day' ...; VT_DATE */
    KV_LITERAL_TIME = 7,              /* ... 'hour:minute:second' ...; VT_TIME */
    KV_LITERAL_TIMESTAMP = 8,         /* ... 'y-m-d h:m:s[.fraction]' ...; VT_TIMESTAMP */
    KV_LITERAL_CURRENT_TIMESTAMP = 10, /* text not read; VT_CURRENT_TIMESTAMP */
    KV_LITERAL_CURRENT_TIME = 11,     /* text not read; VT_CURRENT_TIME */
    KV_LITERAL_CURRENT_DATE = 12      /* text not read; VT_CURRENT_DATE */
};

/* The parser's breakdown of the text of an interval literal. */
struct IntervalParts {
    int32_t parser_word;      /* not read (the parser may keep a node kind here) */
    uint32_t day;             /* the number before the space of '3 04:05' */
    uint32_t first_number;    /* the first (or only) integer after the day part */
    uint32_t second_number;   /* the second integer */
    Value *seconds;           /* seconds with a fraction (e.g. 6.25), or NULL */
    int32_t count;            /* how many of first_number, second_number: 0, 1, 2 */
    int32_t has_day;          /* flag: a day part separated by a space */
    int32_t has_dash;         /* flag: the year-month separator '-' */
};

/* The literal of kind `code` (KV_LITERAL_...) written as `text`. Strings hold
   the text they denote ('it''s' gives it's, length 4) in the value's own
   block; hexadecimal bytes go to a separate block on the handle. Dates,
   times and timestamps are split into fields without range checks. NULL for
   a code that is no literal kind or a text that does not fit it (too short
   for its delimiters, a bit other than 0 or 1, a hexadecimal string with a
   character that is no hexadecimal digit, a missing separator). A binary
   value's length and octet_length are both the number of bytes its digits
   give. */
KV_EXPORT Value *MakeLiteral(int code, const char *text, MemHandle *handle);

/* An unsigned number from its integer and fraction digits (either may be NULL
   or empty). Up to 6 digits in each present part give an integer (no
   fraction) or a double; longer ones an exact numeric. Neither part: a value
   of type 0. NULL when the digits exceed the exact numeric range
   (2^128 - 1): the literal does not fit. */
KV_EXPORT Value *MakeNumeric(const char *int_digits, const char *fraction_digits, MemHandle *handle);

/* MakeNumeric that also reports, through `*status` (may be NULL), 0, or -2
   when the digits exceed the exact numeric range (2^128 - 1) and the result
   is NULL; a NULL result with status 0 means memory ran out. */
KV_EXPORT Value *MakeNumericEx(const char *int_digits, const char *fraction_digits, MemHandle *handle,
                               int *status);

/* Up to 6 digits: an integer; more: MakeNumeric(digits, NULL, handle)
   (NULL beyond 2^128 - 1). */
KV_EXPORT Value *MakeInteger(const char *digits, MemHandle *handle);

/* An approximate number read from `text` (decimal, with optional exponent;
   '.' is the decimal point whatever the locale). */
KV_EXPORT Value *MakeFloat(const char *text, MemHandle *handle);

/* The NULL literal (VT_NULL). */
KV_EXPORT Value *MakeNull(MemHandle *handle);

/* CURRENT_TIMESTAMP (code 10) or CURRENT_TIME (code 11) with a fractional
   seconds precision in `precision`; any other code gives a value of type 0.
   `text` is not read. */
KV_EXPORT Value *MakeLiteralWithPrec(int code, const char *text, int precision, MemHandle *handle);

/* A NODE_PARAMETER holding the parser's parameter number. */
KV_EXPORT NodeParameter *MakeDynamic(int number, MemHandle *handle);

/* `text` as a long integer (leading blanks, optional sign, decimal digits);
   saturated at the long range in both directions; 0 for NULL. */
KV_EXPORT long ConvertToInteger(const char *text);

/* The interval literal with `sign` ('-' for negative) and `parts` under
   `qualifier` (a NODE_INTERVAL_QUALIFIER). NULL when the qualifier names no
   interval type, the parts do not fit it, a field is out of range or a
   precision is exceeded; a value given up on stays on the handle. */
KV_EXPORT Value *MakeInterval(int sign, const IntervalParts *parts, const NodeIntervalQualifier *qualifier,
                              MemHandle *handle);

KV_END_DECLS

#endif
