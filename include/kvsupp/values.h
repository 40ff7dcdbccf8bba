/*
** The Value record: every SQL value the driver and the library handle at run
** time. A Value is a node of kind 154 carrying a type code, a null indicator,
** type attributes and the datum, held in the record, in a data area in the
** same block, in a separate block on the same handle, or in a LongBuffer.
*/
#ifndef KVSUPP_VALUES_H
#define KVSUPP_VALUES_H

#include <stdint.h>

#include "export.h"
#include "memsys.h"
#include "types.h"

KV_BEGIN_DECLS

typedef enum ValueType {
    VT_INTEGER = 1,            /* data.i; also BIT, TINYINT and SMALLINT columns */
    VT_DOUBLE = 2,             /* data.d */
    VT_STRING = 3,             /* data.s, length */
    VT_BIT = 4,                /* data.i, 0 or 1 */
    VT_BINARY = 5,             /* data.b, length, octet_length */
    VT_DATE = 7,               /* data.date */
    VT_TIME = 8,               /* data.time */
    VT_TIMESTAMP = 9,          /* data.ts */
    VT_NUMERIC = 10,           /* data.num, precision, scale */
    VT_NULL = 11,              /* the NULL literal */
    VT_BIGINT = 12,            /* data.big */
    VT_INTERVAL_YM = 13,       /* data.iv, leading_precision */
    VT_INTERVAL_DS = 14,       /* data.iv, leading_precision, fraction_precision */
    VT_CURRENT_DATE = 15,      /* CURRENT_DATE literal */
    VT_USER = 16,              /* USER literal */
    VT_CURRENT_TIME = 17,      /* CURRENT_TIME literal; precision */
    VT_CURRENT_TIMESTAMP = 18, /* CURRENT_TIMESTAMP literal; precision */
    VT_LONG_STRING = 29,       /* long_buffer */
    VT_LONG_BINARY = 30        /* long_buffer */
} ValueType;

/* Size of the data area that cache slot 166 puts after a Value. */
#define KV_VALUE_INLINE_AREA 128

struct Value {
    int32_t kind;               /* 154 */
    int32_t type;               /* ValueType; 0 when never set */
    int32_t length;             /* string: bytes of text; binary: bytes stored */
    int32_t octet_length;       /* binary: significant bytes */
    int32_t no_share;           /* non-zero: duplicate_value_ex copies instead of sharing */
    int32_t precision;          /* numeric precision; CURRENT TIME(STAMP) fraction digits */
    int32_t scale;              /* numeric scale */
    int32_t leading_precision;  /* interval leading field precision */
    int32_t fraction_precision; /* interval fractional seconds precision */
    int32_t indicator;          /* -1 SQL NULL, 0 not null */
    LongBuffer *long_buffer;    /* types 29 and 30 */
    int32_t ref_count;          /* extra holders sharing the record (0 = one) */
    MemHandle *mem;             /* handle the record was allocated on */
    int32_t inline_data;        /* non-zero: data.s/data.b point into the record's block */
    union {
        int32_t i;
        double d;
        char *s;
        unsigned char *b;
        NumericValue num;
        SQL_DATE_STRUCT date;
        SQL_TIME_STRUCT time;
        SQL_TIMESTAMP_STRUCT ts;
        int64_t big;
        SQL_INTERVAL_STRUCT iv;
    } data;
};

/* A value on `handle` with room for `size` data bytes: none for 0 (cache
   slot 154), a 128-byte area in the same block for 1 to 127 (cache slot 166),
   `size` bytes after the record in one block otherwise. Sets kind 154, mem,
   ref_count 0, inline_data, long_buffer NULL and the data pointer (NULL for
   size 0, else the data area); the caller sets type, indicator and the rest.
   NULL when memory runs out. */
KV_EXPORT Value *NewValue(MemHandle *handle, uint32_t size);

/* Drops one holder of `value`: a shared value loses one reference; the last
   holder frees the record, its separate string or binary data and its
   reference to the long buffer. NULL and the all-ones pointer are ignored. */
KV_EXPORT void release_value(MemHandle *handle, Value *value);

/* The ValueType of an ODBC SQL type, or -9999 when there is none. */
KV_EXPORT int sql_to_value_type(int sql_type);

/* A flat record: a value copied into a self-contained byte record for row
   buffers. The header is three 32-bit words in host order; the datum follows
   directly at KV_FLAT_HEADER_SIZE, unpadded and unaligned: 4 bytes for
   integers and bits, 8 for doubles and bigints, 6 for dates and times, 16
   for timestamps, 19 for numerics, 28 for intervals, `length` bytes for
   strings (no terminator) and binaries. */
struct FlatValue {
    int32_t length;       /* data bytes; -1 for NULL (no data follows) */
    int32_t octet_length; /* binary values: the Value's octet_length; else 0 */
    int32_t type;         /* ValueType */
};
#define KV_FLAT_HEADER_SIZE 12

/* A copy of `value` on `handle` (NULL stays a NULL value): strings and
   binaries get their own copy of the data, long data a buffer that shares
   the temporary file (by reference on the same handle, a second reader on
   another). NULL when memory runs out. */
KV_EXPORT Value *duplicate_value(MemHandle *handle, const Value *value);

/* `value` itself, shared (ref_count raised), when it lives on `handle` and
   allows sharing; a duplicate_value copy otherwise. */
KV_EXPORT Value *duplicate_value_ex(MemHandle *handle, Value *value);

/* Readers: 0, 0.0 or "" for a NULL value and for types without a number
   (or text). Doubles truncate toward zero (saturating at the type's ends),
   strings are read as decimal text, numerics through their conversions, a
   bigint gives its low 32 bits to get_int_from_value. */
KV_EXPORT int32_t get_int_from_value(const Value *value);
KV_EXPORT int64_t get_bigint_from_value(const Value *value);
KV_EXPORT double get_double_from_value(const Value *value);
/* The text of a non-null string value; "" (a constant) for anything else. */
KV_EXPORT const char *get_string_from_value(const Value *value);

/* Stores `d` into a value of numeric kind (integer, bit, double, numeric at
   its own precision and scale, bigint), keeping its type; others unchanged. */
KV_EXPORT void set_value_to_double(Value *value, double d);

/* Copies the whole source record (not its separate data) over `destination`. */
KV_EXPORT void set_value_to_interval(Value *destination, const Value *source);

/* Three-valued logic: 2 (unknown) for a NULL value, else 1 or 0. */
KV_EXPORT int get_trivalue_from_value(const Value *value);
/* Makes `value` the integer 1 or 0, or NULL for `truth` 2. */
KV_EXPORT void set_trivalue_in_value(Value *value, int truth);

/* An interval's magnitude in its smallest field, sign ignored; the fraction
   of a seconds field goes to `fraction` (0 without one) when given. */
KV_EXPORT uint32_t get_long_from_interval(const Value *value, uint32_t *fraction);

/* Bytes of an ODBC C buffer of `c_type`: the fixed size of the type,
   `length` for character and binary types, 0 for long and unknown types. */
KV_EXPORT int32_t get_buffer_length(int32_t length, int c_type);

/* The fourth field of a query node (a NODE_QUERY_SPEC's from list); for
   a qualified join, of the query in its select field. NULL for NULL. */
KV_EXPORT void *extract_select(void *node);

/* Buffer sizes for the renderers below, which write without a bound: a value
   of a fixed-size type (doubles included) or a numeric needs
   KV_VALUE_TEXT_SIZE bytes; a string needs 2 * length + 3; a binary value
   2 * octet_length + 4, plus the affixes' lengths for value_as_text_ex. */
#define KV_VALUE_TEXT_SIZE 1024

/* The ODBC text of `value`: quoted strings, B'..' binary, {d'..'}, {t'..'},
   {ts'..'} and {INTERVAL ..} escapes; a timestamp's fraction follows its
   seconds when it is not zero ({ts'2001-02-03 04:05:06.5'}), as a literal
   that carried one is read and compared. Returns `buffer`, or the constant
   "NULL" (writing nothing) for a NULL value. A type without a text form
   leaves the buffer as it was. */
KV_EXPORT const char *value_as_text(const Value *value, char *buffer);

/* As value_as_text, with the caller's prefixes and suffixes (NULL counts as
   "") around dates, times, timestamps and non-empty binary data. With
   `compact_timestamps` a timestamp at midnight renders as its date, one on
   day 0000-00-00 as its time, and one with all fields 0 as NULL. A NULL
   value writes "NULL". Returns `buffer`. */
KV_EXPORT char *value_as_text_ex(const Value *value, char *buffer, const char *date_prefix,
                                 const char *date_suffix, const char *time_prefix, const char *time_suffix,
                                 const char *timestamp_prefix, const char *timestamp_suffix,
                                 const char *binary_prefix, const char *binary_suffix, int compact_timestamps);

/* An interval value as an SQL-92 literal (`literal` non-zero), for example
   INTERVAL -'1-06' YEAR(4) TO MONTH, or as its bare value (-1-06). */
KV_EXPORT void interval_as_text(const Value *value, char *buffer, int literal);

/* SQL ordering of two values: negative, 0 or positive. NULLs sort first;
   a's type decides how both are read. Strings of different lengths compare
   blank-padded, binaries zero-padded, a string against another type with
   that value's ODBC text. Any lengths are handled. */
KV_EXPORT int compare_values(const Value *a, const Value *b);

/* The same ordering on two flat records, without building values. Strings
   of different lengths compare as if the shorter were padded with blanks,
   binaries as if padded with zero bytes; no byte past a record's own length
   is read. */
KV_EXPORT int compare_dm(const FlatValue *a, const FlatValue *b);

/* Writes `value` into `record` (header and datum; the caller sizes it with
   get_dm_length plus KV_FLAT_HEADER_SIZE). */
KV_EXPORT void value_to_dm(FlatValue *record, const Value *value);

/* Fills an existing value of the right type from `record` (strings and
   binaries need a data area of the record's length, plus one byte for a
   string's terminator). A NULL record only sets the indicator to -1. */
KV_EXPORT void dm_to_value(const FlatValue *record, Value *value);

/* Data bytes of the flat form of an ODBC SQL type of `length`. */
KV_EXPORT int32_t get_dm_length(int sql_type, int32_t length);

/* Data bytes of `record`, judged by the value's type; 0 for NULL. */
KV_EXPORT int32_t get_length_from_dm(const FlatValue *record, const Value *value);

KV_END_DECLS

#endif
