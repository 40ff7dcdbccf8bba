/*
** What every file of ODBC entry points needs: the records, the handle
** checks that turn an ODBC handle back into its record (a null handle or
** one of another kind is SQL_INVALID_HANDLE), and the call trace.
*/
#ifndef KVFB_ENTRY_H
#define KVFB_ENTRY_H

#include "kvfb.h"

#define KVFB_API __attribute__((visibility("default")))

// libkvsupp is single-threaded (its block caches and trace state are
// process-wide and unlocked), so every entry point but SQLCancel holds this
// lock for the whole call: calls on different connections take turns.
#define KVFB_SERIALISE std::lock_guard<std::recursive_mutex> kvfb_serialised_(kvfb::library_lock())

// One trace line at the start of a call, when the data source turned tracing on.
#define KVFB_TRACE(...) log_message(__FILE__, __LINE__, kvfb::trace_calls, __VA_ARGS__)

// The end of every call: records the return code and traces it.
#define KVFB_LEAVE(header, name, ...)                                                                                  \
    kvfb::traced_exit(kvfb::finish((header), (__VA_ARGS__)), __FILE__, __LINE__, name " = %e")

namespace kvfb {

inline std::recursive_mutex &library_lock()
{
    static std::recursive_mutex lock;
    return lock;
}

inline Environment *environment(SQLHANDLE handle)
{
    auto *head = static_cast<DriverHandle *>(handle);
    return head && head->kind == KV_KIND_ENVIRONMENT
               ? static_cast<Environment *>(static_cast<DriverEnvironment *>(handle))
               : nullptr;
}

inline Connection *connection(SQLHANDLE handle)
{
    auto *head = static_cast<DriverHandle *>(handle);
    return head && head->kind == KV_KIND_CONNECTION ? static_cast<Connection *>(static_cast<DriverConnection *>(handle))
                                                    : nullptr;
}

inline Statement *statement(SQLHANDLE handle)
{
    auto *head = static_cast<DriverHandle *>(handle);
    return head && head->kind == KV_KIND_STATEMENT ? static_cast<Statement *>(static_cast<DriverStatement *>(handle))
                                                   : nullptr;
}

} // namespace kvfb

#endif
