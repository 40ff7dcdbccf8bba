// Calendar: day numbers and back under the three selectors, the 1752
// switch, days of the week, today's date, and the datetime comparisons.
#include <gtest/gtest.h>

#include <ctime>

#include "internal.h"

namespace {

struct Ymd {
    int year, month, day;
    bool operator==(const Ymd &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Ymd &d)
{
    return out << d.year << '-' << d.month << '-' << d.day;
}

Ymd from_jdn(int jdn, int calendar)
{
    Ymd d{};
    jdnl_to_ymd(jdn, &d.year, &d.month, &d.day, calendar);
    return d;
}

// Leap years counted independently of the formulas: historical years, so 1 BC
// (year -1) is astronomical year 0.
bool is_leap(int year, bool julian)
{
    int y = year < 0 ? year + 1 : year;
    auto divisible = [](int a, int b) { return a % b == 0; };
    if (julian)
        return divisible(y, 4);
    return divisible(y, 4) && (!divisible(y, 100) || divisible(y, 400));
}

int days_in_month(int year, int month, bool julian)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year, julian) ? 29 : days[month - 1];
}

// The day after `d` on the calendar the selector applies to `d`; the
// automatic selector jumps from 1752-09-02 to 1752-09-14.
Ymd next_day(Ymd d, int calendar)
{
    if (calendar < 0 && d == Ymd{1752, 9, 2})
        return {1752, 9, 14};
    bool julian = calendar > 0 || (calendar < 0 && (d.year * 100 + d.month) * 100 + d.day <= 17520902);
    if (++d.day <= days_in_month(d.year, d.month, julian))
        return d;
    d.day = 1;
    if (++d.month <= 12)
        return d;
    d.month = 1;
    d.year = d.year == -1 ? 1 : d.year + 1;
    return d;
}

TEST(Calendar, KnownDays)
{
    struct {
        Ymd date;
        int calendar, jdn, dow;
    } cases[] = {
        {{2000, 1, 1}, KV_CALENDAR_AUTO, 2451545, 6},
        {{1970, 1, 1}, KV_CALENDAR_AUTO, 2440588, 4},
        {{-4713, 1, 1}, KV_CALENDAR_JULIAN, 0, 1},
        {{-4713, 1, 1}, KV_CALENDAR_AUTO, 0, 1},
        {{1, 1, 1}, KV_CALENDAR_GREGORIAN, 1721426, 1},
        {{-1, 12, 31}, KV_CALENDAR_GREGORIAN, 1721425, 0},
        {{2000, 2, 29}, KV_CALENDAR_GREGORIAN, 2451604, 2},
        {{1900, 3, 1}, KV_CALENDAR_GREGORIAN, 2415080, 4},
        {{1752, 9, 2}, KV_CALENDAR_AUTO, 2361221, 3},
        {{1752, 9, 14}, KV_CALENDAR_AUTO, 2361222, 4},
        {{1582, 10, 15}, KV_CALENDAR_GREGORIAN, 2299161, 5},
        {{1582, 10, 4}, KV_CALENDAR_JULIAN, 2299160, 4},
        {{9999, 12, 31}, KV_CALENDAR_AUTO, 5373484, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.date << " calendar " << c.calendar);
        EXPECT_EQ(ymd_to_jdnl(c.date.year, c.date.month, c.date.day, c.calendar), c.jdn);
        EXPECT_EQ(from_jdn(c.jdn, c.calendar), c.date);
        EXPECT_EQ(jdnl_to_dow(c.jdn), c.dow);
    }
}

TEST(Calendar, SwitchOf1752)
{
    // The skipped days are read as Gregorian dates and come back Julian.
    EXPECT_EQ(ymd_to_jdnl(1752, 9, 3, KV_CALENDAR_AUTO), 2361211);
    EXPECT_EQ(from_jdn(2361211, KV_CALENDAR_AUTO), (Ymd{1752, 8, 23}));
    EXPECT_EQ(ymd_to_jdnl(1752, 9, 13, KV_CALENDAR_AUTO), 2361221);
    EXPECT_EQ(from_jdn(2361221, KV_CALENDAR_AUTO), (Ymd{1752, 9, 2}));
    // The same days under a fixed calendar are eleven days apart.
    EXPECT_EQ(ymd_to_jdnl(1752, 9, 2, KV_CALENDAR_JULIAN) - ymd_to_jdnl(1752, 9, 2, KV_CALENDAR_GREGORIAN), 11);
    EXPECT_EQ(from_jdn(2361222, KV_CALENDAR_JULIAN), (Ymd{1752, 9, 3}));
    EXPECT_EQ(from_jdn(2361221, KV_CALENDAR_GREGORIAN), (Ymd{1752, 9, 13}));
}

// Every day from 1 January 4713 BC to 31 December 9999 under each selector:
// the day numbers run on without a gap and convert back to the same date.
TEST(Calendar, RoundTripEveryDay)
{
    for (int calendar : {KV_CALENDAR_AUTO, KV_CALENDAR_GREGORIAN, KV_CALENDAR_JULIAN}) {
        SCOPED_TRACE(::testing::Message() << "calendar " << calendar);
        Ymd d{-4713, 1, 1};
        int jdn = ymd_to_jdnl(d.year, d.month, d.day, calendar);
        long days = 0, failures = 0;
        for (;; days++) {
            int got = ymd_to_jdnl(d.year, d.month, d.day, calendar);
            Ymd back = from_jdn(jdn, calendar);
            if ((got != jdn || !(back == d)) && failures++ < 5)
                ADD_FAILURE() << d << ": day " << got << ", expected " << jdn << "; back " << back;
            if (d == Ymd{9999, 12, 31})
                break;
            d = next_day(d, calendar);
            jdn++;
        }
        EXPECT_EQ(failures, 0);
        EXPECT_GT(days, 5000000);
    }
}

TEST(Calendar, DayOfWeekStaysInRange)
{
    for (int jdn : {-9, -8, -7, -2, -1, 0, 6, 7})
        EXPECT_EQ(jdnl_to_dow(jdn), ((jdn + 1) % 7 + 7) % 7) << jdn;
}

TEST(Calendar, CurrentDate)
{
    std::time_t before = std::time(nullptr);
    int y = current_year(), m = current_month(), d = current_day();
    std::time_t after = std::time(nullptr);
    struct tm first {}, last {};
    localtime_r(&before, &first);
    localtime_r(&after, &last);
    // Read between two clock readings: equal to one of them (midnight may
    // pass in between).
    bool at_first = y == first.tm_year + 1900 && m == first.tm_mon + 1 && d == first.tm_mday;
    bool at_last = y == last.tm_year + 1900 && m == last.tm_mon + 1 && d == last.tm_mday;
    EXPECT_TRUE(at_first || at_last) << y << '-' << m << '-' << d;
}

int sign(int n)
{
    return (n > 0) - (n < 0);
}

TEST(Calendar, Comparisons)
{
    SQL_DATE_STRUCT d1{2024, 5, 3}, d2{2024, 5, 1}, d3{-5, 12, 31}, d4{2024, 6, 1};
    EXPECT_EQ(date_compare(&d1, &d2), 2);
    EXPECT_EQ(date_compare(&d2, &d1), -2);
    EXPECT_EQ(date_compare(&d1, &d1), 0);
    EXPECT_LT(date_compare(&d3, &d2), 0);  // the year is signed
    EXPECT_LT(date_compare(&d1, &d4), 0);

    SQL_TIME_STRUCT t1{10, 0, 0}, t2{9, 59, 59}, t3{10, 0, 1};
    EXPECT_GT(time_compare(&t1, &t2), 0);
    EXPECT_LT(time_compare(&t1, &t3), 0);
    EXPECT_EQ(time_compare(&t3, &t3), 0);

    SQL_TIMESTAMP_STRUCT a{2024, 1, 1, 0, 0, 0, 0};
    struct {
        SQL_TIMESTAMP_STRUCT b;
        int expected;
    } cases[] = {
        {{2024, 1, 1, 0, 0, 0, 0}, 0},          {{2024, 1, 1, 0, 0, 0, 1}, -1},
        {{2023, 12, 31, 23, 59, 59, 999999999}, 1}, {{-1, 1, 1, 0, 0, 0, 0}, 1},
        {{2024, 1, 1, 0, 0, 1, 0}, -1},         {{2024, 1, 1, 1, 0, 0, 0}, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sign(timestamp_compare(&a, &c.b)), c.expected) << c.b.year << " " << c.b.fraction;
    // Fractions whose difference does not fit an int still compare by sign.
    SQL_TIMESTAMP_STRUCT big = a, small = a;
    big.fraction = 4000000000u;
    EXPECT_GT(timestamp_compare(&big, &small), 0);
    EXPECT_LT(timestamp_compare(&small, &big), 0);
}

} // namespace
