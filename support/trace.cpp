/*
** The call trace. A line is built whole in a growable buffer (directives
** formatted straight into it, never through printf with caller text) and
** written with one write(2). The destination is process-wide: the profile's
** "log_file" value and a descriptor open on it, re-read and re-checked at
** most a second apart, so a line costs one write and no file lookups.
*/
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"

namespace {

std::atomic<uint32_t> trace_mask{0};

// ---------------------------------------------------------------------------
// The line being built: inline room for a usual line, grown on the system
// allocator for a longer one. When memory runs out the line is marked
// failed and later pieces are ignored; the caller then drops it.

class LineBuffer {
public:
    LineBuffer() = default;
    LineBuffer(const LineBuffer &) = delete;
    LineBuffer &operator=(const LineBuffer &) = delete;
    ~LineBuffer()
    {
        if (data_ != inline_)
            kv_sys_free(data_);
    }

    void append(const char *text, std::size_t length)
    {
        if (length > capacity_ - size_ && !grow(length))
            return;
        std::memcpy(data_ + size_, text, length);
        size_ += length;
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void push(char c) { append(&c, 1); }
    void pad_to(std::size_t column)
    {
        while (size_ < column && !failed_)
            push(' ');
    }

    const char *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool failed() const { return failed_; }

private:
    bool grow(std::size_t more)
    {
        if (failed_ || more > SIZE_MAX / 2 - size_) {
            failed_ = true;
            return false;
        }
        std::size_t capacity = std::max(capacity_ * 2, size_ + more);
        auto *grown = static_cast<char *>(kv_sys_malloc(capacity));
        if (!grown) {
            failed_ = true;
            return false;
        }
        std::memcpy(grown, data_, size_);
        if (data_ != inline_)
            kv_sys_free(data_);
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    char inline_[512];
    char *data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = sizeof inline_;
    bool failed_ = false;
};

// ---------------------------------------------------------------------------
// Pieces of a line.

template <typename Integer>
void put_number(LineBuffer &line, Integer value, int base = 10)
{
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    line.append(digits, static_cast<std::size_t>(end - digits));
}

// What printf's "%p" writes with the C library of this platform (glibc).
void put_pointer(LineBuffer &line, const void *pointer)
{
    if (!pointer) {
        line.append("(nil)");
        return;
    }
    line.append("0x");
    put_number(line, reinterpret_cast<uintptr_t>(pointer), 16);
}

// "%04d": at least four characters, zeros after the sign.
void put_line_number(LineBuffer &line, int number)
{
    char digits[16];
    unsigned magnitude = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
    auto length = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
    if (number < 0)
        line.push('-');
    for (std::size_t width = number < 0 ? 3 : 4; length < width; width--)
        line.push('0');
    line.append(digits, length);
}

void put_quoted(LineBuffer &line, const char *text, std::size_t length)
{
    line.push('"');
    line.append(text, length);
    line.push('"');
}

struct ReturnCodeName {
    int code;
    const char *name;
};

// The names as the trace has always written them, misspelling included.
constexpr ReturnCodeName kReturnCodeNames[] = {
    {SQL_SUCCESS, "SQL_SUCCESS"},
    {SQL_SUCCESS_WITH_INFO, "SQL_SUCESS_WITH_INFO"},
    {SQL_ERROR, "SQL_ERROR"},
    {SQL_INVALID_HANDLE, "SQL_INVALID_HANDLE"},
    {SQL_STILL_EXECUTING, "SQL_STILL_EXECUTING"},
    {SQL_NEED_DATA, "SQL_NEED_DATA"},
    {SQL_NO_DATA, "SQL_NO_DATA"},
};

void put_return_code(LineBuffer &line, int code)
{
    for (const ReturnCodeName &entry : kReturnCodeNames) {
        if (entry.code == code) {
            line.append(entry.name);
            return;
        }
    }
    line.append("UNKNOWN=");
    put_number(line, code);
}

// %s: the pointer and the text it points to.
void put_string(LineBuffer &line, const char *text)
{
    if (!text) {
        line.append("<NULLPTR>");
        return;
    }
    put_pointer(line, text);
    line.append("->");
    line.append(text, std::strlen(text));
}

// %S: an input string with its length, SQL_NTS or a byte count.
void put_counted_string(LineBuffer &line, const char *text, SQLINTEGER length)
{
    if (length == SQL_NTS) {
        if (text)
            put_quoted(line, text, std::strlen(text));
        else
            line.append("<NULL>");
        line.append("{SQL_NTS}");
        return;
    }
    if (length < 0)
        line.append("\"????\"");
    else if (text)
        put_quoted(line, text, static_cast<std::size_t>(length));
    else
        line.append("<NULL>");
    line.push('{');
    put_number(line, length);
    line.push('}');
}

// %*S: an output string and a pointer to its length. After a call that cut
// its output the length holds the full length, so no more is read than
// what the buffer holds up to its terminator.
void put_output_string(LineBuffer &line, const char *text, const SQLSMALLINT *length)
{
    if (!length) {
        line.append(text ? "\"\"{NULL}" : "<NULLSTR>{NULL}");
        return;
    }
    int value = *length;
    if (!text)
        line.append("<NULLSTR>");
    else if (value == SQL_NTS)
        put_quoted(line, text, std::strlen(text));
    else if (value < 0)
        line.append("\"????\"");
    else
        put_quoted(line, text, strnlen(text, static_cast<std::size_t>(value)));
    line.push('{');
    put_pointer(line, length);
    line.append("->");
    if (text && value == SQL_NTS)
        line.append("SQL_NTS");
    else
        put_number(line, value);
    line.push('}');
}

// "%p->value" for a pointer to a number, or <NULLPTR>.
template <typename Number>
void put_pointed_number(LineBuffer &line, const Number *pointer)
{
    if (!pointer) {
        line.append("<NULLPTR>");
        return;
    }
    put_pointer(line, pointer);
    line.append("->");
    put_number(line, *pointer);
}

void put_pointed_pointer(LineBuffer &line, void *const *pointer)
{
    if (!pointer) {
        line.append("<NULLPTR>");
        return;
    }
    put_pointer(line, pointer);
    line.append("->");
    put_pointer(line, *pointer);
}

// ---------------------------------------------------------------------------
// The format walk. Each directive takes its arguments with their own types.

struct Arguments {
    va_list list;
};

void put_direct(LineBuffer &line, char directive, Arguments &args)
{
    switch (directive) {
    case 'p':
    case 'h': put_pointer(line, va_arg(args.list, void *)); break;
    case 's': put_string(line, va_arg(args.list, const char *)); break;
    case 'S': {
        const char *text = va_arg(args.list, const char *);
        put_counted_string(line, text, va_arg(args.list, SQLINTEGER));
        break;
    }
    case 'i': put_number(line, static_cast<int16_t>(va_arg(args.list, int))); break;
    case 'u': put_number(line, static_cast<uint16_t>(va_arg(args.list, unsigned))); break;
    case 'I': put_number(line, va_arg(args.list, SQLINTEGER)); break;
    case 'U': put_number(line, va_arg(args.list, SQLUINTEGER)); break;
    case 'l': put_number(line, va_arg(args.list, SQLLEN)); break;
    case 'L': put_number(line, va_arg(args.list, SQLULEN)); break;
    case 'e': put_return_code(line, va_arg(args.list, int)); break;
    default: break; // unknown (and "%%"): nothing, no argument
    }
}

void put_indirect(LineBuffer &line, char directive, Arguments &args)
{
    switch (directive) {
    case 'S': {
        const char *text = va_arg(args.list, const char *);
        put_output_string(line, text, va_arg(args.list, const SQLSMALLINT *));
        break;
    }
    case 'I': put_pointed_number(line, va_arg(args.list, const SQLINTEGER *)); break;
    case 'l': put_pointed_number(line, va_arg(args.list, const SQLLEN *)); break;
    case 'L': put_pointed_number(line, va_arg(args.list, const SQLULEN *)); break;
    case 'h': put_pointed_pointer(line, va_arg(args.list, void *const *)); break;
    default: break;
    }
}

void put_formatted(LineBuffer &line, const char *format, Arguments &args)
{
    const char *p = format;
    for (;;) {
        const char *percent = strchrnul(p, '%');
        line.append(p, static_cast<std::size_t>(percent - p));
        if (!*percent || !percent[1])
            return;
        if (percent[1] != '*') {
            put_direct(line, percent[1], args);
            p = percent + 2;
        } else if (percent[2]) {
            put_indirect(line, percent[2], args);
            p = percent + 3;
        } else {
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// The destination, shared by the whole process and guarded by `lock`. The
// process id is kept too and forgotten in a forked child.

constexpr int64_t kRecheckNanoseconds = 1000000000;

struct Destination {
    std::mutex lock;
    std::string profile;     // the profile the setting was read from
    std::string path;        // its "log_file"; empty: standard error
    int fd = -1;             // open on `path`, or -1
    dev_t device = 0;        // what `fd` was opened on
    ino_t inode = 0;
    int64_t recheck_at = 0;  // coarse monotonic time of the next look
    pid_t pid = 0;           // 0 until read
};

int64_t coarse_now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

Destination &destination();
Destination *created_destination = nullptr; // for the unload hook

void before_fork()
{
    destination().lock.lock();
}

void after_fork_in_parent()
{
    destination().lock.unlock();
}

void after_fork_in_child()
{
    destination().pid = 0;
    destination().lock.unlock();
}

// Never destroyed: a line traced from another library's exit code still
// finds it. The descriptor is closed when the library is unloaded.
Destination &destination()
{
    static Destination *shared = [] {
        created_destination = new Destination;
        pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
        return created_destination;
    }();
    return *shared;
}

__attribute__((destructor)) void close_log_at_unload()
{
    if (Destination *d = created_destination) {
        if (d->fd >= 0)
            close(d->fd);
        d->fd = -1;
        d->recheck_at = 0;
    }
}

// The "log_file" setting, whole: no value can be longer than the profile
// file itself, so a buffer of its size never cuts one. False when memory ran
// out reading the profile: the line is then dropped, never sent to the
// standard error stream in place of the log file.
bool read_log_setting(Registry *registry, std::string &value)
{
    value.clear();
    struct stat status;
    if (stat(registry->config_path, &status) != 0)
        return true;
    auto size = static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)) + 2;
    if (size > INT_MAX)
        return true;
    value.assign(std::max<std::size_t>(size, 256), '\0');
    int error = kv_get_profile_string(registry, 0, "settings", "log_file", "", value.data(),
                                      static_cast<int>(value.size()));
    value.resize(std::strlen(value.c_str()));
    return error != ENOMEM;
}

// Appends, creating the file owner-only; never through a symbolic link (the
// open fails), never a FIFO or device that could block or kill the caller.
int open_log(const std::string &path, dev_t &device, ino_t &inode)
{
    constexpr int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = kv_syscalls.open(path.c_str(), flags, 0600);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        kv_syscalls.close(fd);
        return -1;
    }
    device = status.st_dev;
    inode = status.st_ino;
    return fd;
}

// Whether the open descriptor still is the file the path names (it may have
// been removed, renamed away or replaced since).
bool still_named(const Destination &d)
{
    struct stat status;
    return d.fd >= 0 && lstat(d.path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_dev == d.device && status.st_ino == d.inode;
}

void close_log(Destination &d)
{
    if (d.fd >= 0)
        kv_syscalls.close(d.fd);
    d.fd = -1;
}

// Re-reads the setting and re-opens the file when it is due or the caller
// names another profile. False, changing nothing, when the setting could
// not be read for lack of memory (the next line tries again).
bool refresh(Destination &d, Registry *registry)
{
    int64_t now = coarse_now();
    if (now < d.recheck_at && d.profile == registry->config_path)
        return true;
    std::string path;
    if (!read_log_setting(registry, path))
        return false;
    if (path != d.path || !still_named(d)) {
        close_log(d);
        d.path = std::move(path);
        if (!d.path.empty())
            d.fd = open_log(d.path, d.device, d.inode);
    }
    d.profile = registry->config_path;
    d.recheck_at = now + kRecheckNanoseconds;
    return true;
}

// One write for the whole line; only a write cut short (a full disk) needs
// a second one. False when the line could not be written whole.
bool write_whole(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = kv_syscalls.write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes the line where the profile says. A file that cannot be opened or
// written drops lines until the next look at the setting.
bool deliver(Destination &d, Registry *registry, const LineBuffer &line)
{
    if (!registry)
        return write_whole(STDERR_FILENO, line.data(), line.size());
    if (!refresh(d, registry))
        return false;
    if (d.path.empty())
        return write_whole(STDERR_FILENO, line.data(), line.size());
    if (d.fd < 0)
        return false;
    if (write_whole(d.fd, line.data(), line.size()))
        return true;
    close_log(d);
    return false;
}

void put_header(LineBuffer &line, pid_t pid, const char *source, int line_number)
{
    line.push('[');
    put_number(line, pid);
    line.push(']');
    line.append(source ? source : "<NULL>");
    line.push('@');
    put_line_number(line, line_number);
    line.pad_to(30);
    line.push(':');
}

int write_trace_line(const char *source, int line_number, Registry *registry, const char *format,
                     Arguments &args)
{
    Destination &d = destination();
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.pid == 0)
        d.pid = getpid();
    LineBuffer line;
    put_header(line, d.pid, source, line_number);
    if (format)
        put_formatted(line, format, args);
    else
        line.append("<NULL FORMAT>");
    line.push('\n');
    if (line.failed())
        return -1;
    return deliver(d, registry, line) ? 0 : -1;
}

} // namespace

void kv_test_trace_recheck()
{
    destination().recheck_at = 0;
}

extern "C" {

uint32_t set_trace_mask(uint32_t mask)
{
    return trace_mask.exchange(mask, std::memory_order_relaxed);
}

uint32_t get_trace_mask(void)
{
    return trace_mask.load(std::memory_order_relaxed);
}

void log_message(const char *source, int line, uint32_t category, const char *format, ...)
{
    if ((category & trace_mask.load(std::memory_order_relaxed)) == 0)
        return;
    Registry *registry = open_registry();
    if (!registry)
        return; // no memory for the profile: the line is dropped
    va_list arguments;
    va_start(arguments, format);
    _log_message(source, line, category, registry, format, arguments);
    va_end(arguments);
    close_registry(registry);
}

// Tracing must never fail the driver's call: anything thrown inside (memory
// for the setting's text) drops the line.
int _log_message(const char *source, int line, uint32_t, Registry *registry, const char *format,
                 va_list arguments)
{
    Arguments args;
    va_copy(args.list, arguments);
    int result;
    try {
        result = write_trace_line(source, line, registry, format, args);
    } catch (...) {
        result = -1;
    }
    va_end(args.list);
    return result;
}

} // extern "C"
