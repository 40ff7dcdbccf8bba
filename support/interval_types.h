/*
** The thirteen interval types in one table. Each type is a run of fields on
** one of two lines, YEAR MONTH (the year-month family) and DAY HOUR MINUTE
** SECOND (the day-time family): its first (leading) and last field. Every
** module that reads, writes, checks or combines intervals asks this table
** instead of switching over the types itself.
*/
#ifndef KVSUPP_INTERVAL_TYPES_H
#define KVSUPP_INTERVAL_TYPES_H

#include <cstdint>

#include "kvsupp.h"

// The fields, in the order they are written.
enum KvIntervalField { kv_year, kv_month, kv_day, kv_hour, kv_minute, kv_second, kv_field_count };

struct KvIntervalType {
    int code;       // SQL_IS_...
    int first;      // leading field
    int last;       // last field (the leading one for a single-field type)
};

inline constexpr KvIntervalType kv_interval_types[] = {
    {SQL_IS_YEAR, kv_year, kv_year},
    {SQL_IS_MONTH, kv_month, kv_month},
    {SQL_IS_DAY, kv_day, kv_day},
    {SQL_IS_HOUR, kv_hour, kv_hour},
    {SQL_IS_MINUTE, kv_minute, kv_minute},
    {SQL_IS_SECOND, kv_second, kv_second},
    {SQL_IS_YEAR_TO_MONTH, kv_year, kv_month},
    {SQL_IS_DAY_TO_HOUR, kv_day, kv_hour},
    {SQL_IS_DAY_TO_MINUTE, kv_day, kv_minute},
    {SQL_IS_DAY_TO_SECOND, kv_day, kv_second},
    {SQL_IS_HOUR_TO_MINUTE, kv_hour, kv_minute},
    {SQL_IS_HOUR_TO_SECOND, kv_hour, kv_second},
    {SQL_IS_MINUTE_TO_SECOND, kv_minute, kv_second},
};

// Names of the fields as SQL writes them.
inline constexpr const char *kv_interval_field_names[kv_field_count] = {"YEAR",   "MONTH",  "DAY",
                                                                       "HOUR",   "MINUTE", "SECOND"};

// Each field in the unit of its family: months, or seconds.
inline constexpr int64_t kv_interval_field_units[kv_field_count] = {12, 1, 86400, 3600, 60, 1};

// The row of an interval type; NULL for a code outside 1..13.
inline const KvIntervalType *kv_interval_type(int code)
{
    return code >= SQL_IS_YEAR && code <= SQL_IS_MINUTE_TO_SECOND ? &kv_interval_types[code - SQL_IS_YEAR]
                                                                     : nullptr;
}

// The rows stand in the order of their codes, so a code finds its row directly.
inline constexpr bool kv_interval_rows_in_order = [] {
    for (int i = 0; i < static_cast<int>(sizeof kv_interval_types / sizeof kv_interval_types[0]); i++)
        if (kv_interval_types[i].code != SQL_IS_YEAR + i)
            return false;
    return true;
}();
static_assert(kv_interval_rows_in_order, "kv_interval_types is ordered by code");

// The type that runs from field `first` to field `last` of one line; 0 for none.
inline int kv_interval_type_code(int first, int last)
{
    for (const KvIntervalType &t : kv_interval_types)
        if (t.first == first && t.last == last)
            return t.code;
    return 0;
}

inline bool kv_is_year_month_field(int field)
{
    return field == kv_year || field == kv_month;
}

inline bool kv_is_year_month_type(int code)
{
    const KvIntervalType *t = kv_interval_type(code);
    return t && kv_is_year_month_field(t->first);
}

inline bool kv_is_day_time_type(int code)
{
    const KvIntervalType *t = kv_interval_type(code);
    return t && !kv_is_year_month_field(t->first);
}

inline bool kv_has_seconds_field(int code)
{
    const KvIntervalType *t = kv_interval_type(code);
    return t && t->last == kv_second;
}

// The interval type covering the fields of two interval types of one
// family (the type of their sum); 0 for a mixed pair or an unknown code.
inline int kv_promote_interval_type(int a, int b)
{
    const KvIntervalType *ta = kv_interval_type(a), *tb = kv_interval_type(b);
    if (!ta || !tb || kv_is_year_month_field(ta->first) != kv_is_year_month_field(tb->first))
        return 0;
    int first = ta->first < tb->first ? ta->first : tb->first;
    int last = ta->last > tb->last ? ta->last : tb->last;
    return kv_interval_type_code(first, last);
}

// The stored value of one field of an interval (the fraction aside).
inline SQLUINTEGER kv_interval_field(const SQL_INTERVAL_STRUCT &iv, int field)
{
    const auto &ym = iv.intval.year_month;
    const auto &ds = iv.intval.day_second;
    const SQLUINTEGER values[kv_field_count] = {ym.year, ym.month, ds.day, ds.hour, ds.minute, ds.second};
    return values[field];
}

inline void kv_set_interval_field(SQL_INTERVAL_STRUCT &iv, int field, SQLUINTEGER value)
{
    auto &ym = iv.intval.year_month;
    auto &ds = iv.intval.day_second;
    SQLUINTEGER *fields[kv_field_count] = {&ym.year, &ym.month, &ds.day, &ds.hour, &ds.minute, &ds.second};
    *fields[field] = value;
}

#endif
