/*
** Datetime additions: months, seconds and billionths added to dates, times
** and timestamps. The fields of the source are taken into 64-bit totals; the
** fraction carries into whole seconds at 10^9, seconds into minutes, minutes
** into hours and hours into days by floor division (so negative amounts
** borrow and every field ends in its range); days are added through the
** Julian day number with the 1752 switch, then months are added, keeping the
** day of the month unless the month is shorter (then its last day).
*/
#include <algorithm>
#include <cstdint>

#include "internal.h"
#include "messages.h"

namespace {

// A datetime as 64-bit totals, before and after the carries.
struct Fields {
    int64_t year = 0, month = 0, day = 0;
    int64_t hour = 0, minute = 0, second = 0, fraction = 0;
};

Fields date_part(const Value *source)
{
    Fields f;
    if (source->type == VT_DATE) {
        f.year = source->data.date.year;
        f.month = source->data.date.month;
        f.day = source->data.date.day;
    } else if (source->type == VT_TIMESTAMP) {
        f.year = source->data.ts.year;
        f.month = source->data.ts.month;
        f.day = source->data.ts.day;
    }
    return f;
}

Fields time_part(const Value *source)
{
    Fields f;
    if (source->type == VT_TIME) {
        f.hour = source->data.time.hour;
        f.minute = source->data.time.minute;
        f.second = source->data.time.second;
    } else if (source->type == VT_TIMESTAMP) {
        f.hour = source->data.ts.hour;
        f.minute = source->data.ts.minute;
        f.second = source->data.ts.second;
        f.fraction = source->data.ts.fraction;
    }
    return f;
}

Fields all_fields(const Value *source)
{
    Fields f = time_part(source);
    Fields d = date_part(source);
    f.year = d.year;
    f.month = d.month;
    f.day = d.day;
    return f;
}

// Adds `seconds` to the time of day; returns the whole days carried out.
int64_t carry_time(Fields &f, int64_t seconds)
{
    int64_t total = f.second + seconds;
    int64_t carry = kv_floor_div(total, 60);
    f.second = total - 60 * carry;
    total = f.minute + carry;
    carry = kv_floor_div(total, 60);
    f.minute = total - 60 * carry;
    total = f.hour + carry;
    carry = kv_floor_div(total, 24);
    f.hour = total - 24 * carry;
    return carry;
}

// The last day of a month: Julian leap years up to 1752, Gregorian after.
int64_t last_day_of_month(int64_t year, int64_t month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month != 2)
        return month >= 1 && month <= 12 ? days[month - 1] : 31;
    int64_t y = year < 0 ? year + 1 : year;  // no year 0: 1 BC is a leap year
    bool leap = y % 4 == 0 && (year <= 1752 || y % 100 != 0 || y % 400 == 0);
    return leap ? 29 : 28;
}

// The dates a sum may reach: from day 0 of the day numbers (1 January 4713
// BC) to the last day of the largest year a 16-bit year field holds.
constexpr int64_t kFirstDay = 0;
constexpr int kFirstYear = -4713;
constexpr int kLastYear = INT16_MAX;

// Months counted from January of year 0 of the astronomical numbering (1 BC
// is year 0 there, so the count runs across the missing year 0).
int64_t month_count(int64_t year, int64_t month)
{
    return (year < 0 ? year + 1 : year) * 12 + (month - 1);
}

// A day that adding months cannot land on: past the end of the month (the
// month's last day instead: 2024-01-31 + 1 month is 2024-02-29), or among
// the days skipped in September 1752 (the last day before them).
int64_t day_in_month(int64_t year, int64_t month, int64_t day)
{
    if (year == 1752 && month == 9 && day > 2 && day < 14)
        return 2;
    return std::min(day, last_day_of_month(year, month));
}

// Adds days through the day number, then months, as the server's own date
// arithmetic does. A date part of year 0 (a time value's, all zeros) does
// not move. False when the sum falls outside the dates above.
bool add_days_and_months(Fields &f, int64_t days, int64_t months)
{
    if (f.year == 0)
        return true;
    static const int64_t last_day = ymd_to_jdnl(kLastYear, 12, 31, KV_CALENDAR_AUTO);
    int64_t jdn = int64_t{ymd_to_jdnl(static_cast<int>(f.year), static_cast<int>(f.month),
                                      static_cast<int>(f.day), KV_CALENDAR_AUTO)} + days;
    if (jdn < kFirstDay || jdn > last_day)
        return false;
    int y, m, d;
    jdnl_to_ymd(static_cast<int>(jdn), &y, &m, &d, KV_CALENDAR_AUTO);
    f.year = y;
    f.month = m;
    f.day = d;
    if (months == 0)
        return true;
    int64_t count;
    if (__builtin_add_overflow(month_count(y, m), months, &count))
        return false;
    int64_t year = kv_floor_div(count, 12);
    f.year = year <= 0 ? year - 1 : year;
    f.month = kv_floor_mod(count, 12) + 1;
    f.day = day_in_month(f.year, f.month, f.day);
    if (f.year < kFirstYear || f.year > kLastYear)
        return false;
    return ymd_to_jdnl(static_cast<int>(f.year), static_cast<int>(f.month), static_cast<int>(f.day),
                       KV_CALENDAR_AUTO) >= kFirstDay;
}

void write_date(SQL_DATE_STRUCT &date, const Fields &f)
{
    date.year = static_cast<SQLSMALLINT>(f.year);
    date.month = static_cast<SQLUSMALLINT>(f.month);
    date.day = static_cast<SQLUSMALLINT>(f.day);
}

void write_time(SQL_TIME_STRUCT &time, const Fields &f)
{
    time.hour = static_cast<SQLUSMALLINT>(f.hour);
    time.minute = static_cast<SQLUSMALLINT>(f.minute);
    time.second = static_cast<SQLUSMALLINT>(f.second);
}

void write_timestamp(SQL_TIMESTAMP_STRUCT &ts, const Fields &f)
{
    ts.year = static_cast<SQLSMALLINT>(f.year);
    ts.month = static_cast<SQLUSMALLINT>(f.month);
    ts.day = static_cast<SQLUSMALLINT>(f.day);
    ts.hour = static_cast<SQLUSMALLINT>(f.hour);
    ts.minute = static_cast<SQLUSMALLINT>(f.minute);
    ts.second = static_cast<SQLUSMALLINT>(f.second);
    ts.fraction = static_cast<SQLUINTEGER>(f.fraction);
}

// A sum without a date the result can hold: the error exit when there is a
// context, else a NULL result.
int refuse_sum(Value *result, EvalContext *context)
{
    if (context)
        kv_eval_error(context, 1, kv_subclass_iso, KvMessage::datetime_overflow);
    result->indicator = -1;
    return -1;
}

} // namespace

int kv_timestamp_add(Value *result, const Value *source, int64_t months, int64_t seconds, int64_t fraction,
                     bool always_timestamp, EvalContext *context)
{
    Fields f = all_fields(source);
    int64_t billionths = f.fraction + fraction;
    seconds += kv_floor_div(billionths, kv_nanos_per_second);
    f.fraction = kv_floor_mod(billionths, kv_nanos_per_second);
    bool in_range = add_days_and_months(f, carry_time(f, seconds), months);

    // The result becomes a copy of the source record, but its bookkeeping
    // (the handle it lives on, the holders sharing it) stays its own.
    kv_assign_value(result, source);
    if (always_timestamp)
        result->type = VT_TIMESTAMP;
    if (!in_range)
        return refuse_sum(result, context);
    switch (result->type) {
    case VT_DATE:
        write_date(result->data.date, f);
        break;
    case VT_TIME:
        write_time(result->data.time, f);
        break;
    case VT_TIMESTAMP:
        write_timestamp(result->data.ts, f);
        break;
    default:
        break;
    }
    return 0;
}

extern "C" {

void timestamp_add(Value *result, const Value *source, int months, int seconds, int fraction)
{
    kv_timestamp_add(result, source, months, seconds, fraction, false);
}

void timestamp_add_noconvert(Value *result, const Value *source, int months, int seconds, int fraction)
{
    kv_timestamp_add(result, source, months, seconds, fraction, true);
}

// A time keeps no fraction: the billionths count only as the whole seconds
// they make up (floor, so a negative remainder borrows one second).
void time_add(Value *result, const Value *source, int seconds, int fraction)
{
    Fields f = time_part(source);
    carry_time(f, int64_t{seconds} + kv_floor_div(fraction, kv_nanos_per_second));
    if (result->type == VT_TIME) {
        write_time(result->data.time, f);
        return;
    }
    result->data.ts.hour = static_cast<SQLUSMALLINT>(f.hour);
    result->data.ts.minute = static_cast<SQLUSMALLINT>(f.minute);
    result->data.ts.second = static_cast<SQLUSMALLINT>(f.second);
    result->data.ts.fraction = 0;
}

void date_add(Value *result, const Value *source, int months, int days)
{
    Fields f = date_part(source);
    if (!add_days_and_months(f, days, months)) {
        refuse_sum(result, nullptr);
        return;
    }
    if (result->type == VT_DATE) {
        write_date(result->data.date, f);
    } else if (source->type == VT_TIME) {
        // No date to add to: the result's first three fields are cleared.
        result->data.ts.year = 0;
        result->data.ts.month = 0;
        result->data.ts.day = 0;
    } else {
        f.hour = f.minute = f.second = f.fraction = 0;
        write_timestamp(result->data.ts, f);
    }
}

} // extern "C"
