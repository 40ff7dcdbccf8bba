// The date and time scalar functions, called through the catalogue and
// execute_function. References come from std::chrono civil dates (the
// proleptic Gregorian calendar), so they are compared from 14 September 1752
// on; the switch of calendars and the years BC are hand-checked rows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "functions_internal.h"
#include "numeric_test_util.h"

namespace {

using namespace std::chrono;

constexpr int kJdnOfUnixEpoch = 2440588;
__extension__ typedef __int128 i128;

// The reference calendar: a civil date as a day number and back.
int reference_jdn(int y, int m, int d)
{
    return static_cast<int>(sys_days{year{y} / m / d}.time_since_epoch().count()) + kJdnOfUnixEpoch;
}

year_month_day reference_date(int jdn)
{
    return year_month_day{sys_days{days{jdn - kJdnOfUnixEpoch}}};
}

struct Stamp {
    int year, month, day, hour, minute, second;
    uint32_t fraction;
};

// A timestamp's days and time of day are kept apart: a 64-bit count of
// nanoseconds reaches only from 1677 to 2262.
sys_days day_of(const Stamp &s)
{
    return sys_days{year{s.year} / s.month / s.day};
}

int64_t time_of_day_nanos(const Stamp &s)
{
    return ((int64_t{s.hour} * 60 + s.minute) * 60 + s.second) * 1'000'000'000 + s.fraction;
}

Stamp stamp_of(sys_days day, int64_t nanos_of_day)
{
    year_month_day ymd{day};
    hh_mm_ss<nanoseconds> tod{nanoseconds{nanos_of_day}};
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(tod.hours().count()),
            int(tod.minutes().count()), int(tod.seconds().count()), uint32_t(tod.subseconds().count())};
}

constexpr int64_t kNanosPerDay = 86400'000'000'000;

// Nanoseconds from a to b, in 128 bits.
i128 nanos_between(const Stamp &a, const Stamp &b)
{
    return i128{(day_of(b) - day_of(a)).count()} * kNanosPerDay + time_of_day_nanos(b) - time_of_day_nanos(a);
}

// s moved by n units of `length`. Far beyond 9999 the year is reported as 0.
Stamp shifted(const Stamp &s, int64_t n, nanoseconds length)
{
    i128 total = i128{n} * length.count() + time_of_day_nanos(s);
    i128 day_shift = total / kNanosPerDay - (total % kNanosPerDay < 0 ? 1 : 0);
    if (day_shift > 4'000'000 || day_shift < -4'000'000)
        return {0, 1, 1, 0, 0, 0, 0};
    return stamp_of(day_of(s) + days{static_cast<int>(day_shift)}, static_cast<int64_t>(total - day_shift * kNanosPerDay));
}

// Months added as the library adds them: the day is kept, or becomes the
// last day of a shorter month.
Stamp add_months(const Stamp &s, int64_t n)
{
    year_month_day ymd = year{s.year} / s.month / s.day;
    year_month_day moved = ymd + months{n};
    if (!moved.ok())
        moved = moved.year() / moved.month() / last;
    Stamp r = s;
    r.year = int(moved.year());
    r.month = int(unsigned(moved.month()));
    r.day = int(unsigned(moved.day()));
    return r;
}

class DatetimeFunctions : public numtest::EvalFixture {
protected:
    void SetUp() override
    {
        EvalFixture::SetUp();
        const char *tz = std::getenv("TZ");
        saved_tz = tz ? tz : "";
        had_tz = tz != nullptr;
        set_zone("UTC0");
        // The statement started at 2026-06-15 12:34:56 UTC.
        stmt.statement_time = static_cast<time_t>(
            duration_cast<seconds>((sys_days{2026y / 6 / 15} + 12h + 34min + 56s).time_since_epoch()).count());
    }
    void TearDown() override
    {
        if (had_tz)
            setenv("TZ", saved_tz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        EvalFixture::TearDown();
    }
    static void set_zone(const char *zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }

    Value *date(int y, int m, int d)
    {
        Value *v = new_value(VT_DATE);
        v->data.date = {SQLSMALLINT(y), SQLUSMALLINT(m), SQLUSMALLINT(d)};
        return v;
    }
    Value *time(int h, int m, int s)
    {
        Value *v = new_value(VT_TIME);
        v->data.time = {SQLUSMALLINT(h), SQLUSMALLINT(m), SQLUSMALLINT(s)};
        return v;
    }
    Value *ts(const Stamp &s)
    {
        Value *v = new_value(VT_TIMESTAMP);
        v->data.ts = {SQLSMALLINT(s.year), SQLUSMALLINT(s.month),  SQLUSMALLINT(s.day), SQLUSMALLINT(s.hour),
                      SQLUSMALLINT(s.minute), SQLUSMALLINT(s.second), s.fraction};
        return v;
    }
    Value *integer(int32_t i)
    {
        Value *v = new_value(VT_INTEGER);
        v->data.i = i;
        return v;
    }
    Value *big(int64_t i)
    {
        Value *v = new_value(VT_BIGINT);
        v->data.big = i;
        return v;
    }
    Value *null() { return new_value(VT_NULL); }
    Value *string(const char *text)
    {
        Value *v = new_value(VT_STRING);
        v->data.s = const_cast<char *>(text);
        v->length = static_cast<int32_t>(std::strlen(text));
        return v;
    }
    Value *interval(int type, bool negative, SQLUINTEGER a, SQLUINTEGER b = 0, SQLUINTEGER c = 0,
                    SQLUINTEGER d = 0)
    {
        bool year_month = type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH;
        Value *v = new_value(year_month ? VT_INTERVAL_YM : VT_INTERVAL_DS);
        v->data.iv.interval_type = static_cast<SQLINTERVAL>(type);
        v->data.iv.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
        if (year_month)
            v->data.iv.intval.year_month = {a, b};
        else
            v->data.iv.intval.day_second = {a, b, c, d, 0};
        return v;
    }
    // The keyword of TIMESTAMPADD and TIMESTAMPDIFF, as the parser hands it
    // over: a column-name node whose column identifier is the keyword.
    Value *keyword(const char *text)
    {
        auto *id = static_cast<NodeIdentifier *>(newNode(sizeof(NodeIdentifier), NODE_IDENTIFIER, mem));
        id->text = const_cast<char *>(text);
        auto *column = static_cast<NodeColumnName *>(newNode(sizeof(NodeColumnName), NODE_COLUMN_NAME, mem));
        column->column = reinterpret_cast<Node *>(id);
        return reinterpret_cast<Value *>(column);
    }

    Value *call_entry(const FunctionEntry *entry, std::vector<Value *> args)
    {
        Value *result = nullptr;
        int rc = numtest::guarded(context, [&] {
            result = execute_function(entry, &context, static_cast<int32_t>(args.size()), args.data(), 0, nullptr);
        });
        EXPECT_EQ(rc, 0) << entry->name << " left through the error exit: " << last_diagnostic().message;
        return rc == 0 ? result : nullptr;
    }
    Value *call(const char *name, std::vector<Value *> args)
    {
        return call_entry(sql92_get_function_info(sql92_get_function_id(name, 0)), std::move(args));
    }
    int32_t call_int(const char *name, std::vector<Value *> args)
    {
        Value *v = call(name, std::move(args));
        if (!v)
            return INT32_MIN;
        EXPECT_EQ(v->type, VT_INTEGER) << name;
        EXPECT_EQ(v->indicator, 0) << name;
        return v->data.i;
    }
    std::string call_text(const char *name, std::vector<Value *> args)
    {
        Value *v = call(name, std::move(args));
        if (!v || v->indicator == SQL_NULL_DATA)
            return "(null)";
        EXPECT_EQ(v->type, VT_STRING);
        EXPECT_EQ(v->length, static_cast<int32_t>(std::strlen(v->data.s)));
        return v->data.s;
    }
    void expect_error(const char *name, std::vector<Value *> args, const char *sqlstate, const char *message,
                      const FunctionEntry *entry = nullptr)
    {
        if (!entry)
            entry = sql92_get_function_info(sql92_get_function_id(name, 0));
        int rc = numtest::guarded(context, [&] {
            execute_function(entry, &context, static_cast<int32_t>(args.size()), args.data(), 0, nullptr);
        });
        ASSERT_EQ(rc, -1) << name << " returned";
        Diagnostic diag = last_diagnostic();
        EXPECT_EQ(diag.sqlstate, sqlstate) << name;
        EXPECT_EQ(diag.message, std::string("[Kestrova ODBC]") + message) << name;
        context.status = 0;
    }

    // TIMESTAMPADD with the result type a driver asks for (91 date, 92
    // time, anything else a timestamp), carried in its own row.
    Value *timestampadd(int sql_type, const char *unit, Value *count, Value *source)
    {
        FunctionEntry row = *sql92_get_function_info(62);
        row.arg_types[KV_FN_MAX_ARGS - 1] = static_cast<uint32_t>(sql_type);
        return call_entry(&row, {keyword(unit), count, source});
    }

    static Stamp stamp(const Value *v)
    {
        const SQL_TIMESTAMP_STRUCT &t = v->data.ts;
        return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
    }

    std::string saved_tz;
    bool had_tz = false;
};

bool operator==(const Stamp &a, const Stamp &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::ostream &operator<<(std::ostream &out, const Stamp &s)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d.%09u", s.year, s.month, s.day, s.hour, s.minute,
                  s.second, s.fraction);
    return out << text;
}

// Every 11th day from the switch of calendars to 2400 (and every day of a
// few years with leap-day and year-end edges), against chrono.
TEST_F(DatetimeFunctions, PartsOfADateAgainstChrono)
{
    auto check = [&](int jdn) {
        // Each day's values live on a handle of their own, released at once.
        MemHandle *outer = mem;
        mem = context.mem = kv_mem_alloc_handle(outer);
        struct Restore {
            MemHandle *&mem, *&context_mem, *outer;
            ~Restore()
            {
                kv_mem_release_handle(mem);
                mem = context_mem = outer;
            }
        } restore{mem, context.mem, outer};
        year_month_day ymd = reference_date(jdn);
        int y = int(ymd.year()), m = int(unsigned(ymd.month())), d = int(unsigned(ymd.day()));
        SCOPED_TRACE(testing::Message() << y << "-" << m << "-" << d);
        sys_days day{ymd};
        int day_of_year = int((day - sys_days{ymd.year() / 1 / 1}).count()) + 1;
        int new_year_weekday = int(weekday{sys_days{ymd.year() / 1 / 1}}.c_encoding());
        Value *arg = jdn % 2 ? date(y, m, d) : ts({y, m, d, 23, 59, 59, 999999999});
        EXPECT_EQ(call_int("YEAR", {arg}), y);
        EXPECT_EQ(call_int("MONTH", {arg}), m);
        EXPECT_EQ(call_int("DAYOFMONTH", {arg}), d);
        EXPECT_EQ(call_int("QUARTER", {arg}), (m - 1) / 3 + 1);
        EXPECT_EQ(call_int("DAYOFWEEK", {arg}), int(weekday{day}.c_encoding()) + 1);
        if (y == 1752)
            return; // 1 January 1752 was a Julian date: the rows of CalendarEdges
        EXPECT_EQ(call_int("DAYOFYEAR", {arg}), day_of_year);
        EXPECT_EQ(call_int("WEEK", {arg}), (day_of_year - 1 + new_year_weekday) / 7 + 1);
    };
    for (int jdn = reference_jdn(1752, 9, 14); jdn <= reference_jdn(2400, 12, 31); jdn += 11)
        check(jdn);
    for (int y : {1753, 1900, 2000, 2001, 2004, 2100})
        for (int jdn = reference_jdn(y, 1, 1); jdn <= reference_jdn(y, 12, 31); ++jdn)
            check(jdn);
}

TEST_F(DatetimeFunctions, CalendarEdges)
{
    struct {
        const char *name;
        int y, m, d, want;
    } cases[] = {
        {"DAYOFWEEK", 2000, 1, 1, 7},   {"DAYOFWEEK", 2004, 6, 16, 4},  {"DAYOFYEAR", 2000, 12, 31, 366},
        {"DAYOFYEAR", 1999, 12, 31, 365}, {"DAYOFYEAR", 2000, 2, 29, 60}, {"WEEK", 2000, 1, 1, 1},
        {"WEEK", 2000, 1, 2, 2},        {"WEEK", 2000, 12, 31, 54},     {"WEEK", 2005, 12, 31, 53},
        {"QUARTER", 2000, 3, 31, 1},    {"QUARTER", 2000, 4, 1, 2},     {"QUARTER", 2000, 12, 1, 4},
        // The switch: Wednesday 2 September 1752 is followed by Thursday the 14th.
        {"DAYOFWEEK", 1752, 9, 2, 4},   {"DAYOFWEEK", 1752, 9, 14, 5},  {"DAYOFYEAR", 1752, 9, 2, 246},
        {"DAYOFYEAR", 1752, 9, 14, 247}, {"DAYOFYEAR", 1752, 12, 31, 355}, {"DAYOFYEAR", 1700, 12, 31, 366},
        {"WEEK", 1752, 12, 31, 52},
        // Julian calendar, years BC: the Ides of March 44 BC was a Wednesday
        // (day number 1705426); 1 BC was a leap year.
        {"YEAR", -44, 3, 15, -44},      {"DAYOFWEEK", -44, 3, 15, 4},   {"DAYOFYEAR", -44, 3, 15, 74},
        {"DAYOFYEAR", -1, 12, 31, 366}, {"DAYOFYEAR", -2, 12, 31, 365}, {"MONTH", -44, 3, 15, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(call_int(c.name, {date(c.y, c.m, c.d)}), c.want) << c.name << " " << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(ymd_to_jdnl(-44, 3, 15, KV_CALENDAR_AUTO), 1705426);
}

TEST_F(DatetimeFunctions, DayAndMonthNames)
{
    const char *days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    for (int k = 0; k < 7; ++k) // 2000-01-02 was a Sunday
        EXPECT_EQ(call_text("DAYNAME", {date(2000, 1, 2 + k)}), days[k]);
    EXPECT_EQ(call_text("DAYNAME", {date(2000, 1, 1)}), "Saturday");
    EXPECT_EQ(call_text("DAYNAME", {ts({1752, 9, 14, 1, 2, 3, 0})}), "Thursday");
    const char *months[] = {"January", "February", "March",     "April",   "May",      "June",
                            "July",    "August",   "September", "October", "November", "December"};
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(call_text("MONTHNAME", {date(2024, m, 28)}), months[m - 1]);
    EXPECT_EQ(call_text("MONTHNAME", {date(-44, 2, 1)}), "February");
    // A field outside the calendar has no name.
    EXPECT_EQ(call_text("MONTHNAME", {date(2024, 13, 1)}), "(null)");
    EXPECT_EQ(call_text("MONTHNAME", {date(2024, 0, 1)}), "(null)");
    EXPECT_EQ(call_text("DAYNAME", {date(2024, 13, 1)}), "(null)");
    EXPECT_EQ(call_text("DAYNAME", {date(2024, 1, 0)}), "(null)");
    EXPECT_EQ(call_text("DAYNAME", {null()}), "(null)");
}

TEST_F(DatetimeFunctions, PartsOfATime)
{
    Stamp s{2000, 1, 1, 13, 14, 15, 500};
    struct {
        Value *x;
        int hour, minute, second;
    } cases[] = {{ts(s), 13, 14, 15}, {time(13, 14, 15), 13, 14, 15}, {date(2000, 1, 1), 0, 0, 0},
                 {time(23, 59, 59), 23, 59, 59}};
    for (const auto &c : cases) {
        EXPECT_EQ(call_int("HOUR", {c.x}), c.hour);
        EXPECT_EQ(call_int("MINUTE", {c.x}), c.minute);
        EXPECT_EQ(call_int("SECOND", {c.x}), c.second);
    }
}

TEST_F(DatetimeFunctions, NullsAndWrongTypes)
{
    for (const char *name : {"YEAR", "MONTH", "DAYOFMONTH", "QUARTER", "DAYOFWEEK", "DAYOFYEAR", "WEEK", "HOUR",
                             "MINUTE", "SECOND", "DAYNAME", "MONTHNAME"}) {
        Value *v = call(name, {null()});
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->indicator, SQL_NULL_DATA) << name;
        v = call(name, {});
        EXPECT_EQ(v->indicator, SQL_NULL_DATA) << name << " without its argument";
        expect_error(name, {string("2000-01-01")}, "07006", "Restricted data type attribute violation");
    }
    Value *typed_null = date(2000, 1, 1);
    typed_null->indicator = SQL_NULL_DATA;
    EXPECT_EQ(call("YEAR", {typed_null})->indicator, SQL_NULL_DATA);
    EXPECT_EQ(call("EXTRACT", {integer(0), null()})->indicator, SQL_NULL_DATA);
    EXPECT_EQ(call("EXTRACT", {null(), date(2000, 1, 1)})->indicator, SQL_NULL_DATA);
}

TEST_F(DatetimeFunctions, ExtractFromDatetimes)
{
    Stamp s{2024, 2, 29, 13, 14, 15, 0};
    struct {
        Value *x;
        int field, want;
    } cases[] = {
        {date(2024, 2, 29), 0, 2024}, {date(2024, 2, 29), 1, 2},   {date(2024, 2, 29), 2, 29},
        {date(2024, 2, 29), 3, 0},    {date(2024, 2, 29), 5, 0},   {time(13, 14, 15), 3, 13},
        {time(13, 14, 15), 4, 14},    {time(13, 14, 15), 5, 15},   {time(13, 14, 15), 0, 0},
        {ts(s), 0, 2024},             {ts(s), 1, 2},               {ts(s), 2, 29},
        {ts(s), 3, 13},               {ts(s), 4, 14},              {ts(s), 5, 15},
        {date(-44, 3, 15), 0, -44},   {ts(s), 9, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(call_int("EXTRACT", {integer(c.field), c.x}), c.want) << "field " << c.field;
}

// An interval yields its own field with its sign, not its whole length in
// that unit.
TEST_F(DatetimeFunctions, ExtractFromIntervals)
{
    struct {
        Value *x;
        int field, want;
    } cases[] = {
        {interval(SQL_IS_YEAR_TO_MONTH, true, 1, 6), 0, -1},
        {interval(SQL_IS_YEAR_TO_MONTH, true, 1, 6), 1, -6},
        {interval(SQL_IS_YEAR_TO_MONTH, false, 1, 2), 1, 2},
        {interval(SQL_IS_MONTH, false, 0, 14), 1, 14},
        {interval(SQL_IS_MONTH, false, 7, 14), 0, 0}, // no year field (and its member is not read)
        {interval(SQL_IS_DAY_TO_SECOND, false, 1, 2, 3, 4), 2, 1},
        {interval(SQL_IS_DAY_TO_SECOND, false, 1, 2, 3, 4), 3, 2},
        {interval(SQL_IS_DAY_TO_SECOND, false, 1, 2, 3, 4), 4, 3},
        {interval(SQL_IS_DAY_TO_SECOND, false, 1, 2, 3, 4), 5, 4},
        {interval(SQL_IS_DAY_TO_SECOND, true, 1, 2, 3, 4), 3, -2},
        {interval(SQL_IS_HOUR, false, 9, 25), 3, 25},
        {interval(SQL_IS_HOUR, false, 9, 25), 2, 0},
        {interval(SQL_IS_MINUTE_TO_SECOND, true, 0, 0, 90, 5), 4, -90},
        {interval(SQL_IS_MINUTE_TO_SECOND, true, 0, 0, 90, 5), 5, -5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(call_int("EXTRACT", {integer(c.field), c.x}), c.want)
            << "type " << c.x->data.iv.interval_type << " field " << c.field;

    Value *ym = interval(SQL_IS_YEAR_TO_MONTH, false, 1, 2);
    expect_error("EXTRACT", {integer(2), ym}, "HY000", "Cannot extract DAY from INTERVAL YEAR/MONTH");
    expect_error("EXTRACT", {integer(3), ym}, "HY000", "Cannot extract HOUR from INTERVAL YEAR/MONTH");
    expect_error("EXTRACT", {integer(4), ym}, "HY000", "Cannot extract MINUTE from INTERVAL YEAR/MONTH");
    expect_error("EXTRACT", {integer(5), ym}, "HY000", "Cannot extract SECOND from INTERVAL YEAR/MONTH");
    Value *ds = interval(SQL_IS_DAY, false, 3);
    expect_error("EXTRACT", {integer(0), ds}, "HY000", "Cannot extract YEAR/MONTH from INTERVAL DAY");
    expect_error("EXTRACT", {integer(1), ds}, "HY000", "Cannot extract YEAR/MONTH from INTERVAL DAY");
    expect_error("EXTRACT", {integer(0), interval(SQL_IS_YEAR, false, 4000000000u)}, "22003",
                 "Numeric value out of range");
}

// One statement sees one instant: its statement_time in local time.
TEST_F(DatetimeFunctions, CurrentDateAndTimeComeFromTheStatement)
{
    Value *d1 = call("CURDATE", {});
    Value *d2 = call("CURRENT_DATE", {});
    ASSERT_EQ(d1->type, VT_DATE);
    EXPECT_EQ(d1->data.date.year, 2026);
    EXPECT_EQ(d1->data.date.month, 6);
    EXPECT_EQ(d1->data.date.day, 15);
    EXPECT_EQ(std::memcmp(&d1->data.date, &d2->data.date, sizeof d1->data.date), 0);

    Value *t = call("CURTIME", {});
    ASSERT_EQ(t->type, VT_TIME);
    EXPECT_EQ(t->data.time.hour, 12);
    EXPECT_EQ(t->data.time.minute, 34);
    EXPECT_EQ(t->data.time.second, 56);
    Value *t2 = call("CURRENT_TIME", {null()}); // a NULL precision is not looked at
    EXPECT_EQ(t2->indicator, 0);
    EXPECT_EQ(t2->data.time.hour, 12);

    Stamp want{2026, 6, 15, 12, 34, 56, 0};
    Value *now = call("NOW", {});
    ASSERT_EQ(now->type, VT_TIMESTAMP);
    EXPECT_EQ(stamp(now), want);
    Value *current = call("CURRENT_TIMESTAMP", {integer(3)});
    EXPECT_EQ(stamp(current), want);
    EXPECT_EQ(stamp(call("CURRENT_TIMESTAMP", {})), want);

    set_zone("EST5"); // five hours west of UTC, no summer time
    EXPECT_EQ(stamp(call("NOW", {})), (Stamp{2026, 6, 15, 7, 34, 56, 0}));
    set_zone("UTC-14");
    EXPECT_EQ(call("CURDATE", {})->data.date.day, 16);
}

// TIMESTAMPADD for every keyword, positive and negative counts, against
// chrono: sub-month units on the instant, months on the civil date.
TEST_F(DatetimeFunctions, TimestampaddAgainstChrono)
{
    struct Unit {
        const char *keyword;
        nanoseconds length;
        int months;
    } units[] = {
        {"SQL_TSI_FRAC_SECOND", 1ns, 0}, {"SQL_TSI_SECOND", 1s, 0},          {"SQL_TSI_MINUTE", 1min, 0},
        {"SQL_TSI_HOUR", 1h, 0},         {"SQL_TSI_DAY", 24h, 0},            {"SQL_TSI_WEEK", 7 * 24h, 0},
        {"SQL_TSI_MONTH", 0ns, 1},       {"SQL_TSI_QUARTER", 0ns, 3},        {"SQL_TSI_YEAR", 0ns, 12},
    };
    Stamp starts[] = {{2000, 2, 28, 12, 0, 0, 0},         {2024, 1, 31, 23, 59, 59, 999999999},
                      {1999, 12, 31, 0, 0, 0, 1},         {2100, 2, 28, 6, 30, 0, 0},
                      {1752, 9, 14, 0, 0, 0, 0},          {2024, 2, 29, 0, 0, 0, 500000000}};
    int64_t counts[] = {1, -1, 2, -2, 7, -13, 59, 366, -1000, 100000, -123456789, 2147483647, -2147483648};
    int checked = 0;
    for (const Unit &u : units)
        for (const Stamp &s : starts)
            for (int64_t n : counts) {
                Stamp want;
                if (u.months) {
                    if (n * u.months > 12 * 9000 || n * u.months < -12 * 9000)
                        continue;
                    want = add_months(s, n * u.months);
                } else {
                    want = shifted(s, n, u.length);
                }
                if (want.year < 1752 || (want.year == 1752 && want.month < 10) || want.year > 9999)
                    continue; // chrono knows no Julian calendar; the 16-bit year is tested below
                Value *r = timestampadd(0, u.keyword, n % 2 ? integer(int32_t(n)) : big(n), ts(s));
                ASSERT_NE(r, nullptr);
                ASSERT_EQ(r->type, VT_TIMESTAMP);
                EXPECT_EQ(stamp(r), want) << u.keyword << " " << n << " from " << s;
                ++checked;
            }
    EXPECT_GT(checked, 400);
}

TEST_F(DatetimeFunctions, TimestampaddResultTypes)
{
    // A date result: smaller units move it by the whole days they make up.
    Value *r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_HOUR", integer(25), date(2000, 1, 1));
    ASSERT_EQ(r->type, VT_DATE);
    EXPECT_EQ(r->data.date.day, 2);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_SECOND", integer(-1), date(2000, 1, 1));
    EXPECT_EQ(r->data.date.year, 1999);
    EXPECT_EQ(r->data.date.day, 31);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_MONTH", integer(1), ts({2024, 1, 31, 10, 0, 0, 0}));
    EXPECT_EQ(r->data.date.month, 2);
    EXPECT_EQ(r->data.date.day, 29);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", integer(1), date(1752, 9, 2));
    EXPECT_EQ(r->data.date.month, 9);
    EXPECT_EQ(r->data.date.day, 14);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", integer(-1), date(1, 1, 1)); // across the missing year 0
    EXPECT_EQ(r->data.date.year, -1);
    EXPECT_EQ(r->data.date.month, 12);
    EXPECT_EQ(r->data.date.day, 31);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", integer(0), time(10, 0, 0)); // a time: the statement's date
    EXPECT_EQ(r->data.date.day, 15);

    // A time result wraps at midnight and does not move by days or months.
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_DAY", integer(1), time(10, 0, 0));
    ASSERT_EQ(r->type, VT_TIME);
    EXPECT_EQ(r->data.time.hour, 10);
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_YEAR", integer(5), time(10, 0, 0));
    EXPECT_EQ(r->data.time.hour, 10);
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_MINUTE", integer(-61), time(0, 30, 0));
    EXPECT_EQ(r->data.time.hour, 23);
    EXPECT_EQ(r->data.time.minute, 29);
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_FRAC_SECOND", big(-1), time(0, 0, 0));
    EXPECT_EQ(r->data.time.hour, 23);
    EXPECT_EQ(r->data.time.second, 59);
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_WEEK", big(INT64_MAX), time(0, 0, 0)); // no overflow
    EXPECT_EQ(r->type, VT_TIME);
    r = timestampadd(SQL_TYPE_TIME, "SQL_TSI_HOUR", integer(3), ts({2000, 1, 1, 22, 0, 0, 0}));
    EXPECT_EQ(r->data.time.hour, 1);

    // A timestamp result from a date starts at midnight; from a time, on
    // the statement's date.
    r = timestampadd(0, "SQL_TSI_HOUR", integer(1), date(2000, 2, 28));
    EXPECT_EQ(stamp(r), (Stamp{2000, 2, 28, 1, 0, 0, 0}));
    r = timestampadd(SQL_TYPE_TIMESTAMP, "SQL_TSI_HOUR", integer(12), time(13, 0, 0));
    EXPECT_EQ(stamp(r), (Stamp{2026, 6, 16, 1, 0, 0, 0}));
    r = timestampadd(0, "SQL_TSI_DAY", integer(1), ts({2000, 2, 28, 12, 0, 0, 0}));
    EXPECT_EQ(stamp(r), (Stamp{2000, 2, 29, 12, 0, 0, 0}));

    // Keywords compare without case; a count given as a double is cut.
    r = timestampadd(0, "sql_tsi_day", integer(1), date(2000, 1, 1));
    EXPECT_EQ(stamp(r), (Stamp{2000, 1, 2, 0, 0, 0, 0}));
    Value *count = new_value(VT_DOUBLE);
    count->data.d = -1.9;
    r = timestampadd(0, "SQL_TSI_DAY", count, date(2000, 1, 1));
    EXPECT_EQ(stamp(r), (Stamp{1999, 12, 31, 0, 0, 0, 0}));

    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", null(), date(2000, 1, 1));
    EXPECT_EQ(r->indicator, SQL_NULL_DATA);
    EXPECT_EQ(r->type, VT_DATE);
    r = timestampadd(0, "SQL_TSI_DAY", integer(1), null());
    EXPECT_EQ(r->indicator, SQL_NULL_DATA);
}

// The 16-bit year never wraps, and no sum goes before the calendar's day 0:
// a sum outside the dates a result holds is 22008.
TEST_F(DatetimeFunctions, TimestampaddYearOverflow)
{
    const char *overflow = "Datetime field overflow";
    FunctionEntry as_date = *sql92_get_function_info(62), as_timestamp = as_date;
    as_date.arg_types[KV_FN_MAX_ARGS - 1] = SQL_TYPE_DATE;
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_DAY"), integer(1), date(32767, 12, 31)}, "22008", overflow,
                 &as_date);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_YEAR"), integer(1), date(32767, 1, 1)}, "22008", overflow,
                 &as_date);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_SECOND"), integer(1), ts({32767, 12, 31, 23, 59, 59, 0})},
                 "22008", overflow, &as_timestamp);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_DAY"), big(4294967295), ts({2024, 1, 1, 0, 0, 0, 0})}, "22008",
                 overflow, &as_timestamp);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_WEEK"), big(INT64_MAX), date(2000, 1, 1)}, "22008", overflow,
                 &as_timestamp);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_YEAR"), big(INT64_MIN), date(2000, 1, 1)}, "22008", overflow,
                 &as_timestamp);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_MONTH"), integer(-12 * 40000), date(2000, 1, 1)}, "22008",
                 overflow, &as_timestamp);
    // Day 0 of the calendar, 1 January 4713 BC, is the first date a sum reaches.
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_DAY"), integer(-1), date(-4713, 1, 1)}, "22008", overflow,
                 &as_date);
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_YEAR"), integer(-30000), date(2000, 1, 1)}, "22008", overflow,
                 &as_date);
    Value *r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", integer(1), date(-4713, 1, 1));
    EXPECT_EQ(r->data.date.year, -4713);
    EXPECT_EQ(r->data.date.day, 2);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_MONTH", integer(11), date(32767, 1, 1));
    EXPECT_EQ(r->data.date.year, 32767);
    EXPECT_EQ(r->data.date.month, 12);
    // 2^63 - 1 billionths are 292 years: exact, not an overflow.
    r = timestampadd(0, "SQL_TSI_FRAC_SECOND", big(INT64_MAX), ts({2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(stamp(r), shifted({2000, 1, 1, 0, 0, 0, 0}, INT64_MAX, 1ns));

    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_DECADE"), integer(1), date(2000, 1, 1)}, "HY000",
                 "Invalid interval keyword");
    Value *huge = new_value(VT_DOUBLE);
    huge->data.d = 1e30;
    expect_error("TIMESTAMPADD", {keyword("SQL_TSI_DAY"), huge, date(2000, 1, 1)}, "22003",
                 "Numeric value out of range");
}

// TIMESTAMPDIFF for every keyword against chrono, in both directions.
TEST_F(DatetimeFunctions, TimestampdiffAgainstChrono)
{
    struct Unit {
        const char *keyword;
        nanoseconds length;
        int months;
    } units[] = {
        {"SQL_TSI_FRAC_SECOND", 1ns, 0}, {"SQL_TSI_SECOND", 1s, 0},    {"SQL_TSI_MINUTE", 1min, 0},
        {"SQL_TSI_HOUR", 1h, 0},         {"SQL_TSI_DAY", 24h, 0},      {"SQL_TSI_WEEK", 7 * 24h, 0},
        {"SQL_TSI_MONTH", 0ns, 1},       {"SQL_TSI_QUARTER", 0ns, 3},  {"SQL_TSI_YEAR", 0ns, 12},
    };
    Stamp points[] = {{2000, 1, 1, 0, 0, 0, 0},          {2000, 1, 1, 1, 0, 0, 0},
                      {2000, 1, 14, 0, 0, 0, 0},         {2024, 1, 31, 12, 0, 0, 0},
                      {2024, 2, 29, 12, 0, 0, 0},        {2024, 2, 29, 11, 59, 59, 999999999},
                      {2023, 2, 28, 0, 0, 0, 0},         {1752, 9, 14, 0, 0, 0, 0},
                      {2100, 3, 1, 0, 0, 0, 1},          {1999, 12, 31, 23, 59, 59, 999999999},
                      {9999, 12, 31, 23, 59, 59, 999999999}};
    // Whole months as TIMESTAMPADD counts them: the most months that can be
    // added to a without passing b.
    auto reference_months = [](const Stamp &a, const Stamp &b) {
        // Start two months short of the count of month boundaries, then step.
        int64_t boundaries = (int64_t{b.year} - a.year) * 12 + b.month - a.month;
        int64_t k = boundaries > 2 ? boundaries - 2 : boundaries < -2 ? boundaries + 2 : 0;
        if (nanos_between(a, b) >= 0) {
            while (nanos_between(add_months(a, k + 1), b) >= 0)
                ++k;
        } else {
            while (nanos_between(add_months(a, k - 1), b) <= 0)
                --k;
        }
        return k;
    };
    for (const Unit &u : units)
        for (const Stamp &a : points)
            for (const Stamp &b : points) {
                i128 want = u.months ? reference_months(a, b) / u.months : nanos_between(a, b) / u.length.count();
                SCOPED_TRACE(testing::Message() << u.keyword << " from " << a << " to " << b);
                if (want < INT32_MIN || want > INT32_MAX) {
                    expect_error("TIMESTAMPDIFF", {keyword(u.keyword), ts(a), ts(b)}, "22003",
                                 "Numeric value out of range");
                    continue;
                }
                EXPECT_EQ(call_int("TIMESTAMPDIFF", {keyword(u.keyword), ts(a), ts(b)}), static_cast<int32_t>(want));
            }
}

TEST_F(DatetimeFunctions, TimestampdiffEdges)
{
    struct {
        const char *keyword;
        Value *a, *b;
        int want;
    } cases[] = {
        {"SQL_TSI_HOUR", ts({2000, 1, 1, 0, 0, 0, 0}), ts({2000, 1, 1, 1, 0, 0, 0}), 1},
        {"SQL_TSI_SECOND", time(0, 0, 0), time(0, 0, 1), 1},
        {"SQL_TSI_DAY", date(2000, 1, 2), date(2000, 1, 1), -1},
        {"SQL_TSI_WEEK", date(2000, 1, 1), date(2000, 1, 14), 1},
        {"SQL_TSI_FRAC_SECOND", ts({2000, 1, 1, 0, 0, 0, 0}), ts({2000, 1, 1, 0, 0, 1, 0}), 1000000000},
        {"SQL_TSI_DAY", date(1752, 9, 2), date(1752, 9, 14), 1},   // the calendar switch
        {"SQL_TSI_MONTH", date(1752, 8, 14), date(1752, 9, 14), 1},
        {"SQL_TSI_DAY", date(-1, 12, 31), date(1, 1, 1), 1},      // no year 0
        {"SQL_TSI_MONTH", date(-1, 12, 15), date(1, 1, 15), 1},
        {"SQL_TSI_YEAR", date(-1, 6, 1), date(1, 6, 1), 1},
        {"SQL_TSI_YEAR", date(1, 6, 1), date(-1, 6, 1), -1},
        {"SQL_TSI_DAY", date(-44, 3, 15), date(1, 1, 1), 1721424 - 1705426},
        {"SQL_TSI_MONTH", date(2024, 1, 31), date(2024, 2, 29), 1},
        {"SQL_TSI_MONTH", date(2024, 1, 31), date(2024, 2, 28), 0},
        {"SQL_TSI_MONTH", date(2024, 3, 31), date(2024, 2, 29), -1},
        {"SQL_TSI_YEAR", date(2000, 1, 1), date(1000, 1, 2), -999},
        {"SQL_TSI_DAY", time(12, 0, 0), date(2026, 6, 16), 0},   // a time is on the statement's date
        {"sql_tsi_hour", date(2000, 1, 1), date(2000, 1, 2), 24},
    };
    for (const auto &c : cases)
        EXPECT_EQ(call_int("TIMESTAMPDIFF", {keyword(c.keyword), c.a, c.b}), c.want) << c.keyword;

    // Exact far past 292 years of nanoseconds; beyond int is 22003, not clamped.
    EXPECT_EQ(call_int("TIMESTAMPDIFF", {keyword("SQL_TSI_DAY"), date(1800, 1, 1), date(9999, 12, 31)}),
              reference_jdn(9999, 12, 31) - reference_jdn(1800, 1, 1));
    expect_error("TIMESTAMPDIFF", {keyword("SQL_TSI_SECOND"), date(1900, 1, 1), date(2000, 1, 1)}, "22003",
                 "Numeric value out of range");
    expect_error("TIMESTAMPDIFF", {keyword("SQL_TSI_FRAC_SECOND"), date(2000, 1, 1), date(2000, 1, 2)}, "22003",
                 "Numeric value out of range");
    expect_error("TIMESTAMPDIFF", {keyword("SQL_TSI_DECADE"), date(2000, 1, 1), date(2001, 1, 1)}, "HY000",
                 "Invalid interval keyword");
    expect_error("TIMESTAMPDIFF", {keyword("SQL_TSI_DAY"), string("x"), date(2001, 1, 1)}, "07006",
                 "Restricted data type attribute violation");
    EXPECT_EQ(call("TIMESTAMPDIFF", {keyword("SQL_TSI_DAY"), null(), date(2001, 1, 1)})->indicator, SQL_NULL_DATA);
}

// A string value holding the keyword is read as well as the parser's node.
TEST_F(DatetimeFunctions, KeywordAsAStringValue)
{
    EXPECT_EQ(call_int("TIMESTAMPDIFF", {string("SQL_TSI_DAY"), date(2000, 1, 1), date(2000, 1, 3)}), 2);
    expect_error("TIMESTAMPDIFF", {integer(4), date(2000, 1, 1), date(2000, 1, 3)}, "HY000",
                 "Invalid interval keyword");
}

// DAYNAME's text that cannot be allocated leaves with HY001.
TEST_F(DatetimeFunctions, NameAllocationFailure)
{
    bool saw_error = false;
    for (long nth = 1; nth <= 4; ++nth) {
        Value *d = date(2000, 1, 1);
        const FunctionEntry *entry = sql92_get_function_info(18);
        Value *args[] = {d};
        Value *result = nullptr;
        kv_test_fail_allocation(nth);
        int rc = numtest::guarded(context, [&] { result = execute_function(entry, &context, 1, args, 0, nullptr); });
        kv_test_fail_allocation(0);
        if (rc == -1) {
            Diagnostic diag = last_diagnostic();
            EXPECT_EQ(diag.sqlstate, "HY001");
            EXPECT_EQ(diag.message, "[Kestrova ODBC]Memory allocation error");
            saw_error = true;
        } else if (result) {
            EXPECT_STREQ(result->data.s, "Saturday");
        }
    }
    EXPECT_TRUE(saw_error);
}

} // namespace

namespace {

// Dates before year 1 move like any other date. The library's datetime
// addition still leaves them where they are; until it moves them this test
// reports a skip rather than a pass.
TEST_F(DatetimeFunctions, TimestampaddBeforeYearOne)
{
    Value *r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_DAY", integer(1), date(-44, 3, 15));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->data.date.year, -44);
    EXPECT_EQ(r->data.date.month, 3);
    EXPECT_EQ(r->data.date.day, 16);
    r = timestampadd(SQL_TYPE_DATE, "SQL_TSI_MONTH", integer(12), date(-1, 3, 1));
    EXPECT_EQ(r->data.date.year, 1); // no year 0
    r = timestampadd(0, "SQL_TSI_HOUR", integer(-24), date(-4000, 1, 1));
    EXPECT_EQ(r->data.ts.year, -4001);
    EXPECT_EQ(r->data.ts.month, 12);
    EXPECT_EQ(r->data.ts.day, 31);
}

} // namespace
