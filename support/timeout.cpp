/*
** Query time-out and cancel, checked by the driver during a statement
** operation: a passed deadline (in the states where it applies) wins over a
** pending cancel, which is consumed when reported.
*/
#include <ctime>

#include "internal.h"
#include "messages.h"

namespace {

constexpr int32_t kExecuting = 2;
constexpr int32_t kFetching = 3;

int stop_statement(DriverStatement *statement, const char *subclass_origin, KvMessage message)
{
    ErrorHeader *header = statement->error_header;
    SetReturnCode(header, SQL_ERROR);
    PostError(header, 2, 0, nullptr, 0, 0, subclass_origin, kv_message(message).sqlstate, "%s",
              kv_message(message).text);
    return -1;
}

bool deadline_passed(const DriverStatement *statement)
{
    if (statement->state != kExecuting && statement->state != kFetching)
        return false;
    return statement->deadline != 0 && std::time(nullptr) > statement->deadline;
}

} // namespace

extern "C" int check_timeout(DriverStatement *statement)
{
    if (!statement)
        return 0;
    if (deadline_passed(statement))
        return stop_statement(statement, "ODBC 3.0", KvMessage::timeout_expired);
    if (statement->cancel_requested) {
        statement->cancel_requested = 0;
        return stop_statement(statement, kv_subclass_iso, KvMessage::operation_canceled);
    }
    return 0;
}
