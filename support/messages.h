/*
** The library's own diagnostics: one row per condition, its SQLSTATE and its
** message text, so a state and its text cannot drift apart between modules.
** To add one, add a row to KV_MESSAGES; kv_eval_error takes the row's name.
*/
#ifndef KVSUPP_MESSAGES_H
#define KVSUPP_MESSAGES_H

#include "internal.h"

// X(name, SQLSTATE, message)
#define KV_MESSAGES(X)                                                                   \
    X(division_by_zero, "22012", "Division by zero")                                     \
    X(numeric_out_of_range, "22003", "Numeric value out of range")                       \
    X(not_a_number, "22018", "Invalid character value for a numeric operand")            \
    X(datetime_overflow, "22008", "Datetime field overflow")                             \
    X(timeout_expired, "HYT00", "Timeout Expired")                                       \
    X(operation_canceled, "HY008", "Operation Canceled")                                 \
    X(memory, "HY001", "Memory allocation error")                                        \
    X(memory_zorv, "HY001", "Memory allocation error zorv")                              \
    X(long_read, "HY000", "Extract from LONG VARCHAR error")                             \
    X(substring, "22011", "Substring error")                                             \
    X(not_text, "07006", "Restricted data type attribute violation")                     \
    X(argument_count, "HY000", "Wrong number of arguments to a scalar function")         \
    X(domain, "HY000", "DOMAIN error")                                                   \
    X(interval_keyword, "HY000", "Invalid interval keyword")                             \
    X(extract_day, "HY000", "Cannot extract DAY from INTERVAL YEAR/MONTH")               \
    X(extract_hour, "HY000", "Cannot extract HOUR from INTERVAL YEAR/MONTH")             \
    X(extract_minute, "HY000", "Cannot extract MINUTE from INTERVAL YEAR/MONTH")         \
    X(extract_second, "HY000", "Cannot extract SECOND from INTERVAL YEAR/MONTH")         \
    X(extract_year_month, "HY000", "Cannot extract YEAR/MONTH from INTERVAL DAY")

enum class KvMessage {
#define KV_MESSAGE_NAME(name, sqlstate, text) name,
    KV_MESSAGES(KV_MESSAGE_NAME)
#undef KV_MESSAGE_NAME
};

struct KvMessageText {
    const char *sqlstate;
    const char *text;
};

inline constexpr KvMessageText kv_messages[] = {
#define KV_MESSAGE_ROW(name, sqlstate, text) {sqlstate, text},
    KV_MESSAGES(KV_MESSAGE_ROW)
#undef KV_MESSAGE_ROW
};

inline const KvMessageText &kv_message(KvMessage message)
{
    return kv_messages[static_cast<int>(message)];
}

// The error exit of an evaluation (internal.h) with a condition of the table.
[[noreturn]] inline void kv_eval_error(EvalContext *context, int origin, const char *subclass_origin,
                                       KvMessage message)
{
    kv_eval_error(context, origin, subclass_origin, kv_message(message).sqlstate, kv_message(message).text);
}

#endif
