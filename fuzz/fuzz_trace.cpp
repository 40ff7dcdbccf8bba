// The trace's format walk with driver-shaped arguments: the calls a driver
// traces (strings with SQL_NTS, negative and short lengths, length pointers,
// NULL pointers, return codes), with fuzzed literal text around the
// directives and a fuzzed end. Each call writes one whole line, and the
// text of the arguments shows up only quoted, never read as a format. The
// line goes to a log file whose writes the system-call seam catches.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

#include "fuzz_input.h"
#include "internal.h"

namespace {

std::string written; // what the trace wrote for the last line

ssize_t catch_write(int, const void *data, std::size_t size)
{
    written.append(static_cast<const char *>(data), size);
    return static_cast<ssize_t>(size);
}

struct Scratch {
    Scratch()
    {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/kvtrace.XXXXXX" : "/tmp/kvtrace.XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        directory = pattern;
        std::ofstream(directory + "/odbc.ini") << "{settings}\nlog_file = " << directory << "/trace.log\n";
        registry = open_registry();
        set_config(registry, (directory + "/odbc.ini").c_str());
        kv_syscalls.write = catch_write;
    }
    ~Scratch()
    {
        std::remove((directory + "/trace.log").c_str());
        std::remove((directory + "/odbc.ini").c_str());
        rmdir(directory.c_str());
    }
    std::string directory;
    Registry *registry;
};

int trace(Registry *registry, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int rc = _log_message("fuzz.c", 1, 0, registry, format, arguments);
    va_end(arguments);
    return rc;
}

// Literal text for the format: a fuzzed piece with every '%' doubled
// (which writes nothing), so the directives stay the call's own.
std::string literal(kvfuzz::Input &in)
{
    std::string text;
    for (char c : in.text()) {
        if (c == '\0')
            continue;
        text += c;
        if (c == '%')
            text += '%';
    }
    return text;
}

// A string argument and the length a driver would pass with it: SQL_NTS,
// the exact length, a shorter one, 0 or another negative value.
struct Text {
    std::string bytes;
    SQLINTEGER length;
};

Text text_argument(kvfuzz::Input &in)
{
    Text t{in.text(), 0};
    switch (in.range(0, 4)) {
    case 0: t.bytes = t.bytes.c_str(); t.length = SQL_NTS; break;
    case 1: t.length = static_cast<SQLINTEGER>(t.bytes.size()); break;
    case 2: t.length = static_cast<SQLINTEGER>(t.bytes.size() / 2); break;
    case 3: t.length = 0; break;
    default: t.length = -static_cast<SQLINTEGER>(in.range(2, 1000)); break;
    }
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static Scratch scratch;
    kvfuzz::Input in(data, size);
    int shape = in.range(0, 5);
    bool null_pointers = in.byte() % 4 == 0;
    std::string before = literal(in), between = literal(in);
    const char *end = in.range(0, 2) == 0 ? "" : (in.byte() % 2 ? "%" : "%*");
    Text a = text_argument(in), b = text_argument(in);
    SQLSMALLINT short_length = static_cast<SQLSMALLINT>(in.range(-3, static_cast<int>(b.bytes.size())));
    SQLINTEGER integer = static_cast<SQLINTEGER>(in.word());
    SQLLEN length = static_cast<SQLLEN>(static_cast<int32_t>(in.word()));
    SQLULEN ulength = in.word();
    void *handle = reinterpret_cast<void *>(static_cast<uintptr_t>(in.word()));
    void *pointed = handle;
    SQLRETURN rc_code = static_cast<SQLRETURN>(in.range(-3, 100));
    const char *sa = null_pointers ? nullptr : a.bytes.c_str();
    const char *sb = null_pointers ? nullptr : b.bytes.data();
    SQLSMALLINT *plen = null_pointers ? nullptr : &short_length;
    SQLINTEGER *pint = null_pointers ? nullptr : &integer;
    SQLLEN *plength = null_pointers ? nullptr : &length;
    SQLULEN *pulength = null_pointers ? nullptr : &ulength;
    void **phandle = null_pointers ? nullptr : &pointed;

    std::string format;
    int rc;
    written.clear();
    switch (shape) {
    case 0:
        format = before + "SQLExecDirect(%p, %S)" + between + "= %e" + end;
        rc = trace(scratch.registry, format.c_str(), handle, sa, a.length, rc_code);
        break;
    case 1:
        format = before + "SQLDescribeCol(%p, %u, %*S, %i, %*I)" + between + end;
        rc = trace(scratch.registry, format.c_str(), handle, integer & 0xffff, sb, plen, short_length, pint);
        break;
    case 2:
        format = before + "SQLGetData(%p, %U, %I, %*h, %l, %*l)" + between + "%L %*L" + end;
        rc = trace(scratch.registry, format.c_str(), handle, static_cast<SQLUINTEGER>(integer), integer, phandle,
                   length, plength, ulength, pulength);
        break;
    case 3:
        format = before + "SQLConnect(%h, %S, %S, %s)" + between + end;
        rc = trace(scratch.registry, format.c_str(), handle, sa, a.length, sb, b.length, sa);
        break;
    case 4:
        format = before + "%e %e %i %u" + between + end;
        rc = trace(scratch.registry, format.c_str(), rc_code, static_cast<SQLRETURN>(integer), integer, integer);
        break;
    default:
        format = before + between + end;
        rc = trace(scratch.registry, format.c_str());
        break;
    }
    FUZZ_CHECK(rc == 0);
    FUZZ_CHECK(!written.empty() && written.back() == '\n');
    FUZZ_CHECK(written.compare(0, 1, "[") == 0 && written.find(":") == 30);
    return 0;
}
