/*
** Threads, locks and time-outs. libkvsupp is single-threaded: the thread,
** semaphore and mutex functions do nothing and report success, asynchronous
** execution is reported as unavailable, and the driver serialises its calls
** into the library. Every argument of these functions is ignored and may be
** NULL. check_timeout enforces a statement's query time-out and cancel.
*/
#ifndef KVSUPP_THREADS_H
#define KVSUPP_THREADS_H

#include "driver.h"
#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

/* Do nothing. */
KV_EXPORT void odbc_thread_init(void);
KV_EXPORT void thread_term(void);
/* Starts nothing; returns 0. */
KV_EXPORT int odbc_thread_create(void *(*start)(void *), void *argument);
/* Returns 0. */
KV_EXPORT int thread_cleanup(void *thread);
/* Returns 0 at once. */
KV_EXPORT int thread_wait_on_semaphore(void *semaphore);
/* Do nothing. */
KV_EXPORT void thread_clear_semaphore(void *semaphore);
KV_EXPORT void thread_close_semaphore(void *semaphore);
/* 0: asynchronous connection is not available. */
KV_EXPORT int can_connect_async(void *connection);
/* 0: asynchronous statement execution is not available. */
KV_EXPORT int can_statement_async(void *statement);
/* Return 0 at once; nothing is locked. */
KV_EXPORT int mutex_entry(void *mutex);
KV_EXPORT int mutex_exit(void *mutex);

/* Called during a statement operation. Returns -1 after posting "Timeout
   Expired" (HYT00) when the statement is in state 2 or 3 and the current
   second is later than a non-zero deadline, or else "Operation Canceled"
   (HY008) when a cancel is pending (the request is cleared); the statement's
   return code is then -1. Returns 0 to go on. */
KV_EXPORT int check_timeout(DriverStatement *statement);

KV_END_DECLS

#endif
