/*
** Calendar arithmetic on Julian day numbers, the current date, and the
** field-by-field comparisons of the ODBC date, time and timestamp records.
**
** A Julian day number counts days from 1 January 4713 BC (Julian calendar),
** which is day 0. Years are historical: there is no year 0, year -1 is 1 BC.
** The calendar selector picks the rules: KV_CALENDAR_GREGORIAN, any positive
** value for the Julian calendar, or any negative value for the switch of
** September 1752 (Julian up to the 2nd, day 2361221; Gregorian from the 14th,
** day 2361222).
*/
#ifndef KVSUPP_CALENDAR_H
#define KVSUPP_CALENDAR_H

#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

#define KV_CALENDAR_AUTO (-1)     /* Julian until 1752-09-02, Gregorian after */
#define KV_CALENDAR_GREGORIAN 0
#define KV_CALENDAR_JULIAN 1

/* The day number of year/month/day under `calendar`. Dates are not checked;
   with the automatic selector the skipped days 1752-09-03..13 are read as
   Gregorian dates. */
KV_EXPORT int ymd_to_jdnl(int year, int month, int day, int calendar);

/* Year, month and day of `jdn` under `calendar`, through the out pointers
   (none may be NULL). */
KV_EXPORT void jdnl_to_ymd(int jdn, int *year, int *month, int *day, int calendar);

/* Day of the week of `jdn`: 0 Sunday ... 6 Saturday. */
KV_EXPORT int jdnl_to_dow(int jdn);

/* Today's year (e.g. 2024), month (1-12) and day of the month (1-31) in
   local time; each call reads the clock afresh. */
KV_EXPORT int current_year(void);
KV_EXPORT int current_month(void);
KV_EXPORT int current_day(void);

/* Negative, zero or positive as `a` is before, equal to or after `b`: the
   difference of the first field that differs (year signed, the rest
   unsigned). Callers use only the sign. */
KV_EXPORT int date_compare(const SQL_DATE_STRUCT *a, const SQL_DATE_STRUCT *b);
KV_EXPORT int time_compare(const SQL_TIME_STRUCT *a, const SQL_TIME_STRUCT *b);
KV_EXPORT int timestamp_compare(const SQL_TIMESTAMP_STRUCT *a, const SQL_TIMESTAMP_STRUCT *b);

KV_END_DECLS

#endif
