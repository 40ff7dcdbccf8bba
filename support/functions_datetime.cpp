/*
** The date and time functions of the catalogue. Calendar questions (weekday,
** day of the year, week) go through Julian day numbers with the 1752 switch.
** TIMESTAMPDIFF measures exactly on (day number, nanosecond of the day)
** pairs in 128 bits; TIMESTAMPADD goes through the library's datetime
** addition after checking that the sum stays within the years a 16-bit year
** holds. The current date and time are the statement's clock
** (statement_time) in local time, so one statement sees one instant.
*/
#include <algorithm>
#include <cstring>
#include <ctime>

#include "functions_internal.h"
#include "interval_types.h"

namespace {

__extension__ typedef __int128 i128;

constexpr const char *kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char *kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

constexpr int64_t kNanosPerDay = 86400 * kv_nanos_per_second;

// The years an SQL_DATE_STRUCT's signed 16-bit year holds.
constexpr int kFirstYear = -32768;
constexpr int kLastYear = 32767;

// EXTRACT's field codes: the interval fields' own numbering.
enum Field {
    kYear = kv_year,
    kMonth = kv_month,
    kDay = kv_day,
    kHour = kv_hour,
    kMinute = kv_minute,
    kSecond = kv_second
};

// A date and a time of day, as the functions read their arguments.
struct DateTime {
    int year = 0, month = 0, day = 0;
    int64_t nanos = 0; // since midnight
};

int64_t nanos_of_day(int64_t hour, int64_t minute, int64_t second, int64_t fraction)
{
    return ((hour * 60 + minute) * 60 + second) * kv_nanos_per_second + fraction;
}

int day_number(const DateTime &t)
{
    return ymd_to_jdnl(t.year, t.month, t.day, KV_CALENDAR_AUTO);
}

// The statement's clock broken down in local time (localtime_r: other
// statements may be evaluated at the same time).
DateTime statement_clock(EvalContext *ctx)
{
    time_t now = ctx->stmt ? ctx->stmt->statement_time : 0;
    struct tm local {};
    if (!localtime_r(&now, &local) || local.tm_year > kLastYear - 1900 || local.tm_year < kFirstYear - 1900)
        kv_fn_fail(ctx, KvMessage::datetime_overflow);
    DateTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.nanos = nanos_of_day(local.tm_hour, local.tm_min, local.tm_sec, 0);
    return t;
}

// A date, time or timestamp argument as a date and a time of day: a date is
// at midnight, a time on the statement's date. Other types leave with 07006.
DateTime datetime_argument(EvalContext *ctx, const Value *v)
{
    DateTime t;
    switch (v->type) {
    case VT_DATE:
        t.year = v->data.date.year;
        t.month = v->data.date.month;
        t.day = v->data.date.day;
        return t;
    case VT_TIMESTAMP: {
        const SQL_TIMESTAMP_STRUCT &ts = v->data.ts;
        t.year = ts.year;
        t.month = ts.month;
        t.day = ts.day;
        t.nanos = nanos_of_day(ts.hour, ts.minute, ts.second, ts.fraction);
        return t;
    }
    case VT_TIME: {
        t = statement_clock(ctx);
        const SQL_TIME_STRUCT &time = v->data.time;
        t.nanos = nanos_of_day(time.hour, time.minute, time.second, 0);
        return t;
    }
    default:
        kv_fn_fail(ctx, KvMessage::not_text);
    }
}

// The hour, minute and second of a time or timestamp argument; a date has
// none (all 0).
SQL_TIME_STRUCT time_of_day(EvalContext *ctx, const Value *v)
{
    switch (v->type) {
    case VT_TIME: return v->data.time;
    case VT_TIMESTAMP: return {v->data.ts.hour, v->data.ts.minute, v->data.ts.second};
    case VT_DATE: return {0, 0, 0};
    default: kv_fn_fail(ctx, KvMessage::not_text);
    }
}

Value *integer_result(EvalContext *ctx, int64_t i)
{
    if (i < INT32_MIN || i > INT32_MAX)
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    Value *result = kv_fn_new_result(ctx, VT_INTEGER);
    if (result)
        result->data.i = static_cast<int32_t>(i);
    return result;
}

// The shape of YEAR, MONTH, DAYOFWEEK and the others: NULL gives NULL,
// else an integer computed from the argument's date.
template <typename Rule>
Value *date_part(EvalContext *ctx, int32_t argc, Value **argv, Rule rule)
{
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_INTEGER);
    return integer_result(ctx, rule(datetime_argument(ctx, argv[0])));
}

// HOUR, MINUTE, SECOND.
template <typename Rule>
Value *time_part(EvalContext *ctx, int32_t argc, Value **argv, Rule rule)
{
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_INTEGER);
    return integer_result(ctx, rule(time_of_day(ctx, argv[0])));
}

Value *name_result(EvalContext *ctx, const char *name)
{
    if (!name)
        return kv_fn_null_result(ctx, VT_STRING);
    return kv_fn_string_result(ctx, name, std::strlen(name), KvMessage::memory);
}

// Interval keywords of TIMESTAMPADD and TIMESTAMPDIFF: a unit is either a
// number of nanoseconds or a number of months.
struct IntervalUnit {
    const char *keyword;
    int64_t nanos;
    int64_t months;
};

constexpr IntervalUnit kIntervalUnits[] = {
    {"SQL_TSI_FRAC_SECOND", 1, 0},
    {"SQL_TSI_SECOND", kv_nanos_per_second, 0},
    {"SQL_TSI_MINUTE", 60 * kv_nanos_per_second, 0},
    {"SQL_TSI_HOUR", 3600 * kv_nanos_per_second, 0},
    {"SQL_TSI_DAY", kNanosPerDay, 0},
    {"SQL_TSI_WEEK", 7 * kNanosPerDay, 0},
    {"SQL_TSI_MONTH", 0, 1},
    {"SQL_TSI_QUARTER", 0, 3},
    {"SQL_TSI_YEAR", 0, 12},
};

// SQL keywords compare without case, ASCII only (never through the locale).
char fold_ascii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equal_keyword(const char *text, const char *keyword)
{
    for (;; ++text, ++keyword) {
        if (fold_ascii(*text) != *keyword)
            return false;
        if (*keyword == '\0')
            return true;
    }
}

bool equal_keyword_prefix(const char *text, const char *keyword, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (fold_ascii(text[i]) != keyword[i])
            return false;
    return true;
}

// The text of the keyword argument: the parser hands over a column-name
// node whose column identifier is the keyword; an identifier node or a
// string value is read as well.
const char *keyword_text(const void *argument)
{
    if (!argument)
        return nullptr;
    if (*static_cast<const int32_t *>(argument) == NODE_COLUMN_NAME)
        argument = static_cast<const NodeColumnName *>(argument)->column;
    if (!argument)
        return nullptr;
    int32_t kind = *static_cast<const int32_t *>(argument);
    if (kind == NODE_IDENTIFIER)
        return static_cast<const NodeIdentifier *>(argument)->text;
    if (kind == KV_NODE_VALUE) {
        const auto *v = static_cast<const Value *>(argument);
        return v->type == VT_STRING && v->indicator != SQL_NULL_DATA ? v->data.s : nullptr;
    }
    return nullptr;
}

// The unit of a keyword: past the shared "SQL_TSI_", the first letter
// leaves one candidate (two for M), confirmed by comparing the rest.
const IntervalUnit &interval_unit(EvalContext *ctx, const void *argument)
{
    constexpr std::size_t kPrefix = 8; // "SQL_TSI_"
    const char *text = keyword_text(argument);
    if (text && equal_keyword_prefix(text, kIntervalUnits[0].keyword, kPrefix)) {
        const char *rest = text + kPrefix;
        for (const IntervalUnit &unit : kIntervalUnits)
            if (unit.keyword[kPrefix] == fold_ascii(rest[0]) && equal_keyword(rest, unit.keyword + kPrefix))
                return unit;
    }
    kv_fn_fail(ctx, KvMessage::interval_keyword);
}

// Historical years have no year 0: months are counted on astronomical years.
int64_t month_ordinal(int64_t year, int64_t month)
{
    return (year < 0 ? year + 1 : year) * 12 + (month - 1);
}

// The last day of a month: its length in days, except in September 1752,
// which ends on the 30th after skipping eleven days.
int last_day_of_month(int year, int month)
{
    int next_year = month == 12 ? (year == -1 ? 1 : year + 1) : year;
    int next_month = month == 12 ? 1 : month + 1;
    int length = ymd_to_jdnl(next_year, next_month, 1, KV_CALENDAR_AUTO) - ymd_to_jdnl(year, month, 1, KV_CALENDAR_AUTO);
    return year == 1752 && month == 9 ? 30 : length;
}

// Whole calendar months from a to b: the most months TIMESTAMPADD can add
// to a without passing b (negative when b is earlier), so adding the count
// back never overshoots. A month added to the 31st lands on the last day of
// a shorter month, so 2024-01-31 to 2024-02-29 is one month.
int64_t whole_months(const DateTime &a, const DateTime &b)
{
    int64_t months = month_ordinal(b.year, b.month) - month_ordinal(a.year, a.month);
    if (months == 0)
        return 0;
    // a moved by `months`: b's year and month, a's day (or the month's last) and time.
    int day = std::min(a.day, last_day_of_month(b.year, b.month));
    bool after_b = day != b.day ? day > b.day : a.nanos > b.nanos;
    bool before_b = day != b.day ? day < b.day : a.nanos < b.nanos;
    if (months > 0 && after_b)
        --months;
    else if (months < 0 && before_b)
        ++months;
    return months;
}

// The result type TIMESTAMPADD is asked for: the last argument class of
// the row carries an SQL type code (the catalogue's own rows hold 0).
int timestampadd_result_type(const FunctionEntry *entry)
{
    uint32_t sql_type = entry ? entry->arg_types[KV_FN_MAX_ARGS - 1] : 0;
    if (sql_type == SQL_TYPE_DATE)
        return VT_DATE;
    if (sql_type == SQL_TYPE_TIME)
        return VT_TIME;
    return VT_TIMESTAMP;
}

// Writes TIMESTAMPADD's starting point into `r`, whose type is set: the
// source's date for a date result (a time: the statement's date), its time
// of day for a time result (a date: midnight), and for a timestamp result
// the source itself, a date at midnight, or a time on the statement's date.
void timestampadd_start(EvalContext *ctx, Value &r, const Value *source)
{
    DateTime t = datetime_argument(ctx, source);
    if (r.type == VT_DATE) {
        r.data.date = {static_cast<SQLSMALLINT>(t.year), static_cast<SQLUSMALLINT>(t.month),
                       static_cast<SQLUSMALLINT>(t.day)};
    } else if (r.type == VT_TIME) {
        r.data.time = time_of_day(ctx, source);
    } else if (source->type == VT_TIMESTAMP) {
        r.data.ts = source->data.ts;
    } else {
        SQL_TIME_STRUCT time = time_of_day(ctx, source);
        r.data.ts = {static_cast<SQLSMALLINT>(t.year), static_cast<SQLUSMALLINT>(t.month),
                     static_cast<SQLUSMALLINT>(t.day), time.hour, time.minute, time.second, 0};
    }
}

// count x factor, or 22008: a product past 64 bits is far beyond any year.
int64_t product_or_fail(EvalContext *ctx, int64_t count, int64_t factor)
{
    int64_t product = 0;
    if (__builtin_mul_overflow(count, factor, &product))
        kv_fn_fail(ctx, KvMessage::datetime_overflow);
    return product;
}

// An interval's field as EXTRACT reads it: the interval's own member, with
// the interval's sign; 0 for a field of its family that its type does not
// carry. A field of the other family leaves with that family's error.
int64_t interval_field(EvalContext *ctx, const Value *v, int field)
{
    const SQL_INTERVAL_STRUCT &iv = v->data.iv;
    bool year_month = v->type == VT_INTERVAL_YM;
    if (year_month && field >= kDay && field <= kSecond) {
        static constexpr KvMessage kErrors[] = {KvMessage::extract_day, KvMessage::extract_hour,
                                                KvMessage::extract_minute, KvMessage::extract_second};
        kv_fn_fail(ctx, kErrors[field - kDay]);
    }
    if (!year_month && (field == kYear || field == kMonth))
        kv_fn_fail(ctx, KvMessage::extract_year_month);
    const KvIntervalType *type = kv_interval_type(iv.interval_type);
    if (!type || field < type->first || field > type->last || kv_is_year_month_field(type->first) != year_month)
        return 0;
    int64_t member = kv_interval_field(iv, field);
    return iv.interval_sign == SQL_TRUE ? -member : member;
}

int64_t datetime_field(EvalContext *ctx, const Value *v, int field)
{
    if (v->type == VT_INTERVAL_YM || v->type == VT_INTERVAL_DS)
        return interval_field(ctx, v, field);
    DateTime date;
    if (v->type != VT_TIME)
        date = datetime_argument(ctx, v); // refuses what is not a datetime
    SQL_TIME_STRUCT time = time_of_day(ctx, v);
    switch (field) {
    case kYear: return v->type == VT_TIME ? 0 : date.year;
    case kMonth: return v->type == VT_TIME ? 0 : date.month;
    case kDay: return v->type == VT_TIME ? 0 : date.day;
    case kHour: return time.hour;
    case kMinute: return time.minute;
    case kSecond: return time.second;
    default: return 0;
    }
}

} // namespace

KV_SCALAR_FUNCTION(func_curdate)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    DateTime now = statement_clock(ctx);
    Value *result = kv_fn_new_result(ctx, VT_DATE);
    if (result)
        result->data.date = {static_cast<SQLSMALLINT>(now.year), static_cast<SQLUSMALLINT>(now.month),
                             static_cast<SQLUSMALLINT>(now.day)};
    return result;
}

// The precision argument of CURRENT_TIME is not looked at, NULL or not.
KV_SCALAR_FUNCTION(func_curtime)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    DateTime now = statement_clock(ctx);
    int64_t seconds = now.nanos / kv_nanos_per_second;
    Value *result = kv_fn_new_result(ctx, VT_TIME);
    if (result)
        result->data.time = {static_cast<SQLUSMALLINT>(seconds / 3600), static_cast<SQLUSMALLINT>(seconds / 60 % 60),
                             static_cast<SQLUSMALLINT>(seconds % 60)};
    return result;
}

KV_SCALAR_FUNCTION(func_now)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    DateTime now = statement_clock(ctx);
    int64_t seconds = now.nanos / kv_nanos_per_second;
    Value *result = kv_fn_new_result(ctx, VT_TIMESTAMP);
    if (result)
        result->data.ts = {static_cast<SQLSMALLINT>(now.year),
                           static_cast<SQLUSMALLINT>(now.month),
                           static_cast<SQLUSMALLINT>(now.day),
                           static_cast<SQLUSMALLINT>(seconds / 3600),
                           static_cast<SQLUSMALLINT>(seconds / 60 % 60),
                           static_cast<SQLUSMALLINT>(seconds % 60),
                           0};
    return result;
}

// CURRENT_TIMESTAMP is NOW; its precision argument is not looked at.
KV_SCALAR_FUNCTION(func_curtstamp)
{
    return func_now(ctx, argc, argv, mode, eval_data, entry);
}

KV_SCALAR_FUNCTION(func_year)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) { return t.year; });
}

KV_SCALAR_FUNCTION(func_month)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) { return t.month; });
}

KV_SCALAR_FUNCTION(func_dayofmonth)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) { return t.day; });
}

KV_SCALAR_FUNCTION(func_quarter)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) { return (t.month - 1) / 3 + 1; });
}

// Sunday is 1, Saturday 7.
KV_SCALAR_FUNCTION(func_dayofweek)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) { return jdnl_to_dow(day_number(t)) + 1; });
}

// 1 January is day 1; 1752 has 355 days (3 to 13 September never were).
KV_SCALAR_FUNCTION(func_dayofyear)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) {
        return int64_t{day_number(t)} - ymd_to_jdnl(t.year, 1, 1, KV_CALENDAR_AUTO) + 1;
    });
}

// Weeks start on Sunday and week 1 is the one holding 1 January, so the
// last days of a year can be in week 54 (2000-12-31 is).
KV_SCALAR_FUNCTION(func_week)
{
    (void)mode, (void)eval_data, (void)entry;
    return date_part(ctx, argc, argv, [](const DateTime &t) {
        int first = ymd_to_jdnl(t.year, 1, 1, KV_CALENDAR_AUTO);
        return (int64_t{day_number(t)} - first + jdnl_to_dow(first)) / 7 + 1;
    });
}

// A date with a month or day outside the calendar has no name: NULL.
KV_SCALAR_FUNCTION(func_dayname)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_STRING);
    DateTime t = datetime_argument(ctx, argv[0]);
    bool plausible = t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31;
    return name_result(ctx, plausible ? kDayNames[jdnl_to_dow(day_number(t))] : nullptr);
}

KV_SCALAR_FUNCTION(func_monthname)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 1))
        return kv_fn_null_result(ctx, VT_STRING);
    DateTime t = datetime_argument(ctx, argv[0]);
    return name_result(ctx, t.month >= 1 && t.month <= 12 ? kMonthNames[t.month - 1] : nullptr);
}

KV_SCALAR_FUNCTION(func_hour)
{
    (void)mode, (void)eval_data, (void)entry;
    return time_part(ctx, argc, argv, [](const SQL_TIME_STRUCT &t) { return t.hour; });
}

KV_SCALAR_FUNCTION(func_minute)
{
    (void)mode, (void)eval_data, (void)entry;
    return time_part(ctx, argc, argv, [](const SQL_TIME_STRUCT &t) { return t.minute; });
}

KV_SCALAR_FUNCTION(func_second)
{
    (void)mode, (void)eval_data, (void)entry;
    return time_part(ctx, argc, argv, [](const SQL_TIME_STRUCT &t) { return t.second; });
}

// EXTRACT(field FROM x): the field code is the integer first argument.
KV_SCALAR_FUNCTION(func_extract)
{
    (void)mode, (void)eval_data, (void)entry;
    if (kv_fn_null_among(argc, argv, 2))
        return kv_fn_null_result(ctx, VT_INTEGER);
    return integer_result(ctx, datetime_field(ctx, argv[1], get_int_from_value(argv[0])));
}

// TIMESTAMPADD(keyword, count, x): the result type comes from `entry`.
KV_SCALAR_FUNCTION(func_timestampadd)
{
    (void)mode, (void)eval_data;
    int result_type = timestampadd_result_type(entry);
    const IntervalUnit &unit = interval_unit(ctx, kv_fn_argument(argc, argv, 0));
    if (kv_fn_is_null(kv_fn_argument(argc, argv, 1)) || kv_fn_is_null(kv_fn_argument(argc, argv, 2)))
        return kv_fn_null_result(ctx, result_type);
    int64_t count = kv_fn_integer_argument(ctx, argv[1]);
    Value *result = kv_fn_new_result(ctx, result_type);
    if (!result)
        return nullptr;
    timestampadd_start(ctx, *result, argv[2]);

    if (result_type == VT_TIME) {
        // A time has no date: only the time of day moves, wrapping at
        // midnight, by whole seconds.
        i128 shift = i128{count} * unit.nanos;
        i128 in_day = shift % kNanosPerDay;
        in_day += in_day < 0 ? kNanosPerDay : 0;
        kv_timestamp_add(result, result, 0, static_cast<int64_t>(in_day / kv_nanos_per_second), 0, false);
        return result;
    }
    int64_t months = product_or_fail(ctx, count, unit.months);
    int64_t seconds = 0, fraction = 0;
    if (unit.nanos == 1) {
        seconds = kv_floor_div(count, kv_nanos_per_second);
        fraction = kv_floor_mod(count, kv_nanos_per_second);
    } else {
        seconds = product_or_fail(ctx, count, unit.nanos / kv_nanos_per_second);
    }
    // A sum outside the dates a result holds leaves with 22008.
    kv_timestamp_add(result, result, months, seconds, fraction, false, ctx);
    return result;
}

// TIMESTAMPDIFF(keyword, x1, x2): whole units from x1 to x2, negative when
// x2 is earlier; exact for any two datetimes.
KV_SCALAR_FUNCTION(func_timestampdiff)
{
    (void)mode, (void)eval_data, (void)entry;
    const IntervalUnit &unit = interval_unit(ctx, kv_fn_argument(argc, argv, 0));
    if (kv_fn_is_null(kv_fn_argument(argc, argv, 1)) || kv_fn_is_null(kv_fn_argument(argc, argv, 2)))
        return kv_fn_null_result(ctx, VT_INTEGER);
    DateTime a = datetime_argument(ctx, argv[1]);
    DateTime b = datetime_argument(ctx, argv[2]);
    if (unit.months != 0)
        return integer_result(ctx, whole_months(a, b) / unit.months);
    int64_t days = int64_t{day_number(b)} - day_number(a);
    // Within 100,000 days (273 years) the count of nanoseconds fits 64 bits,
    // whose division is much cheaper than a 128-bit one.
    i128 count = days > -100000 && days < 100000
                     ? (days * kNanosPerDay + (b.nanos - a.nanos)) / unit.nanos
                     : (i128{days} * kNanosPerDay + (b.nanos - a.nanos)) / unit.nanos; // cut toward zero
    if (count < INT32_MIN || count > INT32_MAX)
        kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
    return integer_result(ctx, static_cast<int64_t>(count));
}
