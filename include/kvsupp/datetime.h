/*
** Interval and datetime arithmetic.
**
** An interval is reduced to one signed count in its base unit (months for
** the year-month types, seconds plus billionths for the day-time types), the
** arithmetic is done on counts, and the count is spread back over the fields
** of the result's interval type. Datetime additions carry seconds into
** minutes, hours and days with floor division (negative amounts borrow), add
** the days through the Julian day number and then add the months; the day of
** the month is kept, or becomes the last day of a shorter month (2024-01-31
** + 1 month is 2024-02-29).
**
** Intervals are SQL_INTERVAL_STRUCTs in Value.data.iv: ValueType 13 for
** the types SQL_IS_YEAR, SQL_IS_MONTH, SQL_IS_YEAR_TO_MONTH, 14 for the
** others. Fractions count billionths of a second.
*/
#ifndef KVSUPP_DATETIME_H
#define KVSUPP_DATETIME_H

#include "export.h"
#include "types.h"
#include "values.h"

KV_BEGIN_DECLS

/* The signed count of `interval` in its base unit: months for the year-month
   types, seconds for the day-time types, 0 for any other type. The fraction
   (billionths; 0 without a seconds field) goes to `*fraction` when it is not
   NULL; both are negated for a negative interval. A count beyond the int
   range wraps; the library's own arithmetic uses 64-bit counts. */
KV_EXPORT int get_base_value(const SQL_INTERVAL_STRUCT *interval, int *fraction);

/* Spreads count + fraction / 10^9 over the fields of result->data.iv, whose
   interval_type the caller has set, and sets interval_sign to 1 when the
   amount is negative (a positive amount leaves it as it is). Fields the type
   does not use are left alone. */
KV_EXPORT void normalise_interval(int count, int fraction, Value *result);

/* result = left op right, op 1 (+) or 2 (-); any other op leaves result
   untouched. The forms: interval +- interval of the same family (the result's
   interval type covers both); datetime +- interval (datetime first); number
   +- interval (number first, also for interval - number). A NULL operand
   gives a NULL result (indicator -1). A datetime sum outside 1 January
   4713 BC .. 31 December 32767 takes the error exit of `context` with
   "22008" (with a NULL context the result becomes NULL). result may be one
   of the operands. */
KV_EXPORT void interval_operation(Value *left, Value *right, Value *result, EvalContext *context, int op);

/* -1, 0 or 1 as `a` is shorter than, equal to or longer than `b` (signed);
   both of the same family. */
KV_EXPORT int interval_compare(const SQL_INTERVAL_STRUCT *a, const SQL_INTERVAL_STRUCT *b);

/* interval_compare of the intervals of two interval values. */
KV_EXPORT int compare_interval(const Value *a, const Value *b);

/* Adds months, seconds and billionths to a date, time or timestamp `source`
   and writes the sum over `result` as a value of the source's type: the
   record is copied (the result keeps its own mem and ref_count) and the
   fields of that type written. A date drops the time of day of the sum; a
   time wraps at midnight. Months across 1 BC skip the missing year 0. A sum
   outside 1 January 4713 BC .. 31 December 32767 makes the result NULL
   (indicator -1). result may be source. */
KV_EXPORT void timestamp_add(Value *result, const Value *source, int months, int seconds, int fraction);

/* As timestamp_add, but the result is always a timestamp (a date source
   gives midnight plus the added time). */
KV_EXPORT void timestamp_add_noconvert(Value *result, const Value *source, int months, int seconds,
                                       int fraction);

/* The time of day of `source` (zero for a date) plus seconds and billionths,
   wrapping at midnight; whole seconds only. Written as hour, minute, second
   of a time result (type 8) or into the time fields of a timestamp result,
   whose fraction becomes 0. The result's type is not changed. */
KV_EXPORT void time_add(Value *result, const Value *source, int seconds, int fraction);

/* The date of `source` (date or timestamp) plus days and then months.
   Written as year, month, day of a date result (type 7); a timestamp result
   gets the date and midnight; from a time source (which has no date) the
   first three fields of the result are set to 0. The result's type is not
   changed. A sum outside 1 January 4713 BC .. 31 December 32767 makes the
   result NULL (indicator -1). */
KV_EXPORT void date_add(Value *result, const Value *source, int months, int days);

KV_END_DECLS

#endif
