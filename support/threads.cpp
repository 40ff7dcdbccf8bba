/*
** The thread, semaphore and mutex interface of a single-threaded library:
** every call succeeds at once and nothing runs concurrently. Asynchronous
** execution is reported as unavailable.
*/
#include "internal.h"

extern "C" {

void odbc_thread_init(void)
{
}

void thread_term(void)
{
}

int odbc_thread_create(void *(*)(void *), void *)
{
    return 0;
}

int thread_cleanup(void *)
{
    return 0;
}

int thread_wait_on_semaphore(void *)
{
    return 0;
}

void thread_clear_semaphore(void *)
{
}

void thread_close_semaphore(void *)
{
}

int can_connect_async(void *)
{
    return 0;
}

int can_statement_async(void *)
{
    return 0;
}

int mutex_entry(void *)
{
    return 0;
}

int mutex_exit(void *)
{
    return 0;
}

} // extern "C"
