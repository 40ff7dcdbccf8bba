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
    X(operation_canceled, "HY008", "Operation Canceled")

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
