/*
** Julian day numbers. The conversions are the integer formulas of Fliegel
** and Van Flandern (Gregorian) and their Julian counterparts: every division
** truncates toward zero, and a historical year is moved one up before the
** formulas (1 BC is year 0 there) and one down after them. They are exact
** inverses from day 0 (1 January 4713 BC) on; intermediates are 64-bit so
** that no input, however wild, overflows.
**
** Also here: the day of the week, today's date and the field-by-field
** comparisons of dates, times and timestamps.
*/
#include <cstdint>
#include <ctime>

#include "internal.h"

namespace {

constexpr int kLastJulianYmd = 17520902;  // 1752-09-02 as yyyymmdd
constexpr int kLastJulianDay = 2361221;   // its day number

bool use_julian_for_ymd(int year, int month, int day, int calendar)
{
    if (calendar < 0)
        return (static_cast<int64_t>(year) * 100 + month) * 100 + day <= kLastJulianYmd;
    return calendar > 0;
}

bool use_julian_for_jdn(int jdn, int calendar)
{
    if (calendar < 0)
        return jdn <= kLastJulianDay;
    return calendar > 0;
}

int64_t julian_to_jdn(int64_t y, int64_t m, int64_t d)
{
    return 367 * y - 7 * (y + 5001 + (m - 9) / 7) / 4 + 275 * m / 9 + d + 1729777;
}

int64_t gregorian_to_jdn(int64_t y, int64_t m, int64_t d)
{
    int64_t c = (m - 14) / 12;
    return d - 32075 + 1461 * (y + 4800 + c) / 4 + 367 * (m - 2 - 12 * c) / 12 -
           3 * ((y + 4900 + c) / 100) / 4;
}

struct tm local_now()
{
    std::time_t now = std::time(nullptr);
    struct tm broken {};
    localtime_r(&now, &broken);
    return broken;
}

template <typename T> int difference(T a, T b)
{
    return static_cast<int>(a) - static_cast<int>(b);
}

} // namespace

extern "C" {

int ymd_to_jdnl(int year, int month, int day, int calendar)
{
    bool julian = use_julian_for_ymd(year, month, day, calendar);
    int64_t y = year < 0 ? int64_t{year} + 1 : year;
    int64_t jdn = julian ? julian_to_jdn(y, month, day) : gregorian_to_jdn(y, month, day);
    return static_cast<int>(jdn);
}

void jdnl_to_ymd(int jdn, int *year, int *month, int *day, int calendar)
{
    bool julian = use_julian_for_jdn(jdn, calendar);
    int64_t x = int64_t{jdn} + (julian ? 68607 : 68569);
    int64_t p = julian ? 146100 : 146097;
    int64_t z = 4 * x / p;
    x = x - (p * z + 3) / 4;
    int64_t y = 4000 * (x + 1) / 1461001;
    x = x - 1461 * y / 4 + 31;
    int64_t m = 80 * x / 2447;
    int64_t d = x - 2447 * m / 80;
    int64_t t = m / 11;
    m = m + 2 - 12 * t;
    y = 100 * z + y + t - 4900;
    if (y <= 0)
        y--;
    *year = static_cast<int>(y);
    *month = static_cast<int>(m);
    *day = static_cast<int>(d);
}

// Day 0 was a Monday. The remainder is taken upward so that days before
// day 0 still give 0..6.
int jdnl_to_dow(int jdn)
{
    int64_t r = (int64_t{jdn} + 1) % 7;
    return static_cast<int>(r < 0 ? r + 7 : r);
}

int current_year(void)
{
    return local_now().tm_year + 1900;
}

int current_month(void)
{
    return local_now().tm_mon + 1;
}

int current_day(void)
{
    return local_now().tm_mday;
}

int date_compare(const SQL_DATE_STRUCT *a, const SQL_DATE_STRUCT *b)
{
    if (a->year != b->year)
        return difference(a->year, b->year);
    if (a->month != b->month)
        return difference(a->month, b->month);
    return difference(a->day, b->day);
}

int time_compare(const SQL_TIME_STRUCT *a, const SQL_TIME_STRUCT *b)
{
    if (a->hour != b->hour)
        return difference(a->hour, b->hour);
    if (a->minute != b->minute)
        return difference(a->minute, b->minute);
    return difference(a->second, b->second);
}

int timestamp_compare(const SQL_TIMESTAMP_STRUCT *a, const SQL_TIMESTAMP_STRUCT *b)
{
    if (a->year != b->year)
        return difference(a->year, b->year);
    if (a->month != b->month)
        return difference(a->month, b->month);
    if (a->day != b->day)
        return difference(a->day, b->day);
    if (a->hour != b->hour)
        return difference(a->hour, b->hour);
    if (a->minute != b->minute)
        return difference(a->minute, b->minute);
    if (a->second != b->second)
        return difference(a->second, b->second);
    // Fractions are 32-bit unsigned: a difference that does not fit an int
    // is given as its sign, which is all callers use.
    int64_t delta = int64_t{a->fraction} - int64_t{b->fraction};
    if (delta > INT32_MAX || delta < INT32_MIN)
        return delta > 0 ? 1 : -1;
    return static_cast<int>(delta);
}

} // extern "C"
