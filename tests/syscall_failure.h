// Makes the n-th call through the library's system-call seam fail with a
// chosen errno, counting every call (open, mkostemp, read, write, fsync,
// fchown, fchmod, rename, unlink, close) in the order the library makes
// them. Writes go out in pieces of at most 256 bytes, so a failure can land
// in the middle of a file; fsync succeeds without syncing, to keep the tests
// fast. The object restores the system's own calls when it goes.
#ifndef KV_TESTS_SYSCALL_FAILURE_H
#define KV_TESTS_SYSCALL_FAILURE_H

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "internal.h"

class SyscallFailure {
public:
    // Fails call number `nth` (1 the first; 0 for none) with `error`.
    SyscallFailure(long nth, int error)
    {
        state() = State{0, nth, error, "", "", 0, ""};
        kv_syscalls = failing();
    }
    ~SyscallFailure() { kv_syscalls = kv_default_syscalls; }
    SyscallFailure(const SyscallFailure &) = delete;
    SyscallFailure &operator=(const SyscallFailure &) = delete;

    // Calls made so far, and the name of the one that failed ("" if none).
    long calls() const { return state().calls; }
    const std::string &failed() const { return state().failed; }

    // Makes every call to `name` fail with `error`, whatever the count; when
    // `path` is given, only the calls on that path (open, unlink, rename).
    static void always(const char *name, int error, std::string path = "")
    {
        state().always = name;
        state().always_error = error;
        state().always_path = std::move(path);
    }

private:
    struct State {
        long calls;
        long fail_at;
        int error;
        std::string failed;
        std::string always;
        int always_error = 0;
        std::string always_path;
    };
    static State &state()
    {
        static State s{};
        return s;
    }
    // True (errno set) when this call is the one to fail.
    static bool fails(const char *name, const char *path = nullptr)
    {
        State &s = state();
        if (s.always == name && (s.always_path.empty() || (path && s.always_path == path))) {
            errno = s.always_error;
            return true;
        }
        if (++s.calls != s.fail_at)
            return false;
        s.failed = name;
        errno = s.error;
        return true;
    }
    static KvSyscalls failing()
    {
        KvSyscalls f;
        f.open = [](const char *path, int flags, mode_t mode) {
            return fails("open", path) ? -1 : real_calls().open(path, flags, mode);
        };
        f.mkostemp = [](char *name, int flags) {
            return fails("mkostemp") ? -1 : real_calls().mkostemp(name, flags);
        };
        f.read = [](int fd, void *b, std::size_t n) -> ssize_t { return fails("read") ? -1 : real_calls().read(fd, b, n); };
        f.write = [](int fd, const void *d, std::size_t n) -> ssize_t {
            return fails("write") ? -1 : real_calls().write(fd, d, std::min<std::size_t>(n, 256));
        };
        f.fsync = [](int) { return fails("fsync") ? -1 : 0; };
        f.fchown = [](int fd, uid_t u, gid_t g) { return fails("fchown") ? -1 : real_calls().fchown(fd, u, g); };
        f.fchmod = [](int fd, mode_t m) { return fails("fchmod") ? -1 : real_calls().fchmod(fd, m); };
        f.rename = [](const char *a, const char *b) { return fails("rename", a) ? -1 : real_calls().rename(a, b); };
        f.unlink = [](const char *p) { return fails("unlink", p) ? -1 : real_calls().unlink(p); };
        // A failed close still releases the descriptor, as on Linux.
        f.close = [](int fd) {
            bool fail = fails("close");
            int saved = errno;
            int rc = real_calls().close(fd);
            errno = saved;
            return fail ? -1 : rc;
        };
        return f;
    }
    static const KvSyscalls &real_calls() { return kv_default_syscalls; }
};

#endif
