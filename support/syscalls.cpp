/*
** The system calls behind the files the library writes: the profile's
** rewrite, long-data files and the trace. They are called through one table
** of function pointers, which starts out pointing at the system's own calls;
** a test replaces an entry to make that step fail, as root as well (SQLite's
** Unix layer keeps its aSyscall[] table for the same reason).
*/
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "internal.h"

namespace {

// open(2) is variadic; the table holds a plain three-argument form.
int open_file(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

} // namespace

const KvSyscalls kv_default_syscalls = {
    open_file, ::mkostemp, ::read, ::write, ::fsync, ::fchown, ::fchmod, ::rename, ::unlink, ::close,
};

KvSyscalls kv_syscalls = kv_default_syscalls;
