// The call trace through real profile and log files: the line format and
// every directive (golden text, the process id masked), where lines go, log
// files that are links, unwritable or removed, and lines of several
// processes appending to one file.
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "internal.h"
#include "syscall_failure.h"

namespace fs = std::filesystem;

namespace {

int trace(Registry *registry, const char *source, int line, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = _log_message(source, line, 0, registry, format, arguments);
    va_end(arguments);
    return result;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the last line has no newline";
    return lines;
}

// "%p" as printf writes it.
std::string P(const void *pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

// The header the trace writes, "[pid]source@%04d" padded to 30, then ':'.
std::string header(const char *source, int line, pid_t pid = getpid())
{
    char text[512];
    std::snprintf(text, sizeof text, "[%d]%s@%04d", static_cast<int>(pid), source, line);
    std::string h = text;
    if (h.size() < 30)
        h.append(30 - h.size(), ' ');
    return h + ":";
}

// The text after the header, with the header checked.
std::string body(const std::string &line)
{
    std::size_t colon = line.find(':', 30 > line.size() ? 0 : 29);
    if (colon == std::string::npos)
        return "<no header>";
    return line.substr(colon + 1);
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvtrace.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        profile = directory + "/odbc.ini";
        log = directory + "/trace.log";
        use_log_file(log);
        registry = open_registry();
        set_config(registry, profile.c_str());
        kv_test_trace_recheck();
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        close_registry(registry);
        fs::remove_all(directory);
        kv_test_trace_recheck();
    }
    void write_profile(const std::string &log_file)
    {
        std::ofstream(profile) << "[Sales]\nlog_file = /wrong/section\n{settings}\nlog_file = " << log_file << "\n";
    }
    void use_log_file(const std::string &path)
    {
        write_profile(path);
        kv_test_trace_recheck();
    }
    // What one call wrote: its single line, after the header.
    std::string traced(const std::function<int()> &call)
    {
        fs::remove(log);
        kv_test_trace_recheck();
        EXPECT_EQ(call(), 0);
        std::vector<std::string> lines = lines_of(read_file(log));
        if (lines.size() != 1)
            return "<" + std::to_string(lines.size()) + " lines>";
        return body(lines[0]);
    }
    // Runs `call` with the standard error stream sent to a file; returns what
    // it received.
    std::string captured_stderr(const std::function<void()> &call)
    {
        std::string path = directory + "/stderr";
        std::fflush(stderr);
        int saved = dup(STDERR_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
        call();
        dup2(saved, STDERR_FILENO);
        close(saved);
        return read_file(path);
    }

    std::string directory, profile, log;
    Registry *registry = nullptr;
};

TEST_F(TraceTest, HeaderCarriesProcessSourceAndLinePaddedToColumn30)
{
    std::string long_source(40, 's');
    struct Case {
        const char *source;
        int line;
    } cases[] = {
        {"conn.c", 42}, {"c", 0}, {"stmt.c", 12345}, {"x.c", -5}, {long_source.c_str(), 7}, {"", INT_MIN},
    };
    for (const Case &c : cases) {
        trace(registry, c.source, c.line, "SQLConnect(%p)", static_cast<void *>(registry));
    }
    std::vector<std::string> lines = lines_of(read_file(log));
    ASSERT_EQ(lines.size(), std::size(cases));
    for (std::size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i], header(cases[i].source, cases[i].line) + "SQLConnect(" + P(registry) + ")");
    EXPECT_EQ(lines[0].find(':'), 30u);
}

TEST_F(TraceTest, EveryDirectiveWritesItsGoldenText)
{
    char text[] = "hello world";
    char with_zero[] = {'a', '\0', 'b'};
    char cut[] = "abc"; // an output cut to 3 bytes; the length says 10
    SQLSMALLINT three = 3, ten = 10, minus_one = -1, nts = SQL_NTS, four = 4;
    SQLINTEGER minus_seven = -7;
    SQLLEN big_negative = -5000000000LL;
    SQLULEN big = ULLONG_MAX;
    void *handle = reinterpret_cast<void *>(uintptr_t{0x7f123456789a});
    void *null_pointer = nullptr;
    const char *literal = "%s%n%p";
    std::string pc = P(cut), p3 = P(&three), p10 = P(&ten), pm1 = P(&minus_one), pnts = P(&nts), p4 = P(&four);

    struct Case {
        const char *what;
        std::function<int(Registry *)> call;
        std::string expected;
    } cases[] = {
        {"%p", [&](Registry *r) { return trace(r, "t.c", 1, "SQLConnect(%p)", handle); }, "SQLConnect(0x7f123456789a)"},
        {"%h null", [&](Registry *r) { return trace(r, "t.c", 1, "%h", null_pointer); }, "(nil)"},
        {"%s", [&](Registry *r) { return trace(r, "t.c", 1, "%s", text); }, P(text) + "->hello world"},
        {"%s null", [&](Registry *r) { return trace(r, "t.c", 1, "%s", null_pointer); }, "<NULLPTR>"},
        {"%s is never a format", [&](Registry *r) { return trace(r, "t.c", 1, "%s", literal); },
         P(literal) + "->%s%n%p"},
        {"%S nts", [&](Registry *r) { return trace(r, "t.c", 1, "%S", text, SQLINTEGER{SQL_NTS}); },
         "\"hello world\"{SQL_NTS}"},
        {"%S nts null", [&](Registry *r) { return trace(r, "t.c", 1, "%S", null_pointer, SQLINTEGER{SQL_NTS}); },
         "<NULL>{SQL_NTS}"},
        {"%S 5", [&](Registry *r) { return trace(r, "t.c", 1, "%S", text, SQLINTEGER{5}); }, "\"hello\"{5}"},
        {"%S 0", [&](Registry *r) { return trace(r, "t.c", 1, "%S", text, SQLINTEGER{0}); }, "\"\"{0}"},
        {"%S zero byte", [&](Registry *r) { return trace(r, "t.c", 1, "%S", with_zero, SQLINTEGER{3}); },
         std::string("\"a\0b\"{3}", 8)},
        {"%S -1", [&](Registry *r) { return trace(r, "t.c", 1, "%S", text, SQLINTEGER{-1}); }, "\"????\"{-1}"},
        {"%S null 4", [&](Registry *r) { return trace(r, "t.c", 1, "%S", null_pointer, SQLINTEGER{4}); },
         "<NULL>{4}"},
        {"%i", [&](Registry *r) { return trace(r, "t.c", 1, "%i %i %i", 70000, -1, 40000); }, "4464 -1 -25536"},
        {"%u", [&](Registry *r) { return trace(r, "t.c", 1, "%u %u", -1, 65537); }, "65535 1"},
        {"%I %U", [&](Registry *r) { return trace(r, "t.c", 1, "%I %U", SQLINTEGER{INT_MIN}, SQLUINTEGER{UINT_MAX}); },
         "-2147483648 4294967295"},
        {"%l %L", [&](Registry *r) { return trace(r, "t.c", 1, "%l %L", big_negative, big); },
         "-5000000000 18446744073709551615"},
        {"%e", [&](Registry *r) { return trace(r, "t.c", 1, "%e %e %e %e %e %e %e %e", 0, 1, -1, -2, 2, 99, 100, 3); },
         "SQL_SUCCESS SQL_SUCESS_WITH_INFO SQL_ERROR SQL_INVALID_HANDLE SQL_STILL_EXECUTING SQL_NEED_DATA "
         "SQL_NO_DATA UNKNOWN=3"},
        {"%*S", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", text, &three); }, "\"hel\"{" + p3 + "->3}"},
        {"%*S cut output", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", cut, &ten); },
         "\"abc\"{" + p10 + "->10}"},
        {"%*S -1", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", text, &minus_one); },
         "\"????\"{" + pm1 + "->-1}"},
        {"%*S nts", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", cut, &nts); },
         "\"abc\"{" + pnts + "->SQL_NTS}"},
        {"%*S null string", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", null_pointer, &four); },
         "<NULLSTR>{" + p4 + "->4}"},
        {"%*S both null", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", null_pointer, null_pointer); },
         "<NULLSTR>{NULL}"},
        {"%*S no length", [&](Registry *r) { return trace(r, "t.c", 1, "%*S", text, null_pointer); }, "\"\"{NULL}"},
        {"%*I", [&](Registry *r) { return trace(r, "t.c", 1, "%*I %*I", &minus_seven, null_pointer); },
         P(&minus_seven) + "->-7 <NULLPTR>"},
        {"%*l %*L", [&](Registry *r) { return trace(r, "t.c", 1, "%*l %*L", &big_negative, &big); },
         P(&big_negative) + "->-5000000000 " + P(&big) + "->18446744073709551615"},
        {"%*h", [&](Registry *r) { return trace(r, "t.c", 1, "%*h %*h", &handle, null_pointer); },
         P(&handle) + "->0x7f123456789a <NULLPTR>"},
        {"unknown directives", [&](Registry *r) { return trace(r, "t.c", 1, "a%%b%*Xc%Qd%I", SQLINTEGER{5}); },
         "abcd5"},
        {"% at the end", [&](Registry *r) { return trace(r, "t.c", 1, "abc%"); }, "abc"},
        {"%* at the end", [&](Registry *r) { return trace(r, "t.c", 1, "abc%*"); }, "abc"},
        {"null format", [&](Registry *r) { return trace(r, "t.c", 1, nullptr); }, "<NULL FORMAT>"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(traced([&] { return c.call(registry); }), c.expected) << c.what;
}

TEST_F(TraceTest, LongTextIsWrittenWhole)
{
    std::string value(100000, 'v');
    std::string source(300, 's');
    std::string written = traced([&] {
        return trace(registry, source.c_str(), 1, "%S|%s", value.c_str(), SQLINTEGER{70000}, value.c_str());
    });
    EXPECT_EQ(written, "\"" + value.substr(0, 70000) + "\"{70000}|" + P(value.c_str()) + "->" + value);
    EXPECT_EQ(read_file(log).rfind(header(source.c_str(), 1), 0), 0u);
}

TEST_F(TraceTest, AnEmptySettingOrNoRegistrySendsTheLineToStandardError)
{
    use_log_file("");
    std::string err = captured_stderr([&] {
        trace(registry, "conn.c", 42, "SQLConnect(%p)", nullptr);
        trace(nullptr, "conn.c", 43, "%I", SQLINTEGER{9});
    });
    EXPECT_EQ(err, header("conn.c", 42) + "SQLConnect((nil))\n" + header("conn.c", 43) + "9\n");

    std::ofstream(profile) << "{settings}\n"; // no log_file at all
    kv_test_trace_recheck();
    EXPECT_EQ(captured_stderr([&] { trace(registry, "a.c", 1, "x"); }), header("a.c", 1) + "x\n");
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(TraceTest, TheLogFileIsCreatedOwnerOnlyAndAppendedTo)
{
    std::ofstream(log) << "earlier\n";
    trace(registry, "a.c", 1, "one");
    trace(registry, "a.c", 2, "two");
    EXPECT_EQ(read_file(log), "earlier\n" + header("a.c", 1) + "one\n" + header("a.c", 2) + "two\n");

    fs::remove(log);
    kv_test_trace_recheck();
    mode_t old_mask = umask(0);
    trace(registry, "a.c", 3, "three");
    umask(old_mask);
    struct stat status;
    ASSERT_EQ(stat(log.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(TraceTest, APathLongerThan127CharactersIsUsedWhole)
{
    std::string deep = directory;
    for (int i = 0; i < 6; i++)
        deep += "/" + std::string(40, static_cast<char>('a' + i));
    fs::create_directories(deep);
    std::string long_log = deep + "/trace.log";
    use_log_file(long_log);
    trace(registry, "a.c", 1, "deep");
    ASSERT_GT(long_log.size(), 240u);
    EXPECT_EQ(read_file(long_log), header("a.c", 1) + "deep\n");
}

TEST_F(TraceTest, ASymbolicLinkIsNeverFollowed)
{
    std::string target = directory + "/target";
    std::ofstream(target) << "precious\n";
    fs::create_symlink(target, log);
    std::string err = captured_stderr([&] { EXPECT_EQ(trace(registry, "a.c", 1, "x"), -1); });
    EXPECT_EQ(read_file(target), "precious\n");
    EXPECT_EQ(err, "") << "a log file that cannot be used is dropped quietly";

    // A link planted where an open log file was: the next look at the path
    // closes the old file and refuses the link.
    fs::remove(log);
    kv_test_trace_recheck();
    EXPECT_EQ(trace(registry, "a.c", 2, "before"), 0);
    fs::rename(log, directory + "/rotated");
    fs::create_symlink(target, log);
    kv_test_trace_recheck();
    EXPECT_EQ(trace(registry, "a.c", 3, "after"), -1);
    EXPECT_EQ(read_file(target), "precious\n");
    EXPECT_EQ(read_file(directory + "/rotated"), header("a.c", 2) + "before\n");
}

TEST_F(TraceTest, UnusableLogFilesDropLinesQuietly)
{
    mkfifo((directory + "/fifo").c_str(), 0600);
    fs::create_directory(directory + "/dir");
    for (std::string path : {directory + "/missing/trace.log", directory + "/dir", directory + "/fifo",
                             std::string("/dev/null")}) {
        use_log_file(path);
        std::string err = captured_stderr([&] { EXPECT_EQ(trace(registry, "a.c", 1, "x"), -1) << path; });
        EXPECT_EQ(err, "") << path;
    }
    // A file the process may not write: its open is refused (through the
    // system-call seam, so that root, who writes through permission bits,
    // meets the refusal too).
    std::ofstream(log) << "";
    use_log_file(log);
    {
        SyscallFailure failure(0, 0);
        SyscallFailure::always("open", EACCES, log);
        std::string err = captured_stderr([&] { EXPECT_EQ(trace(registry, "a.c", 1, "x"), -1); });
        EXPECT_EQ(err, "");
    }
    EXPECT_EQ(read_file(log), "");
}

TEST_F(TraceTest, AWriteErrorDropsTheLineAndTracingResumesLater)
{
    EXPECT_EQ(trace(registry, "a.c", 1, "fits"), 0);
    {
        SyscallFailure failure(0, 0);
        SyscallFailure::always("write", EIO);
        EXPECT_EQ(trace(registry, "a.c", 2, "lost"), -1);
    }
    kv_test_trace_recheck();
    EXPECT_EQ(trace(registry, "a.c", 3, "again"), 0);
    EXPECT_EQ(read_file(log), header("a.c", 1) + "fits\n" + header("a.c", 3) + "again\n");
}

TEST_F(TraceTest, AFailedWriteDropsTheLineAndTracingResumesLater)
{
    trace(registry, "a.c", 1, "fits");
    std::size_t size = read_file(log).size();
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = size; // the file is full: every further byte fails with EFBIG
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    int dropped = trace(registry, "a.c", 2, "does not fit");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(dropped, -1);
    EXPECT_EQ(read_file(log).size(), size);

    kv_test_trace_recheck();
    EXPECT_EQ(trace(registry, "a.c", 3, "again"), 0);
    EXPECT_EQ(read_file(log), header("a.c", 1) + "fits\n" + header("a.c", 3) + "again\n");
}

TEST_F(TraceTest, SettingAndFileAreLookedAtAgainWithinASecond)
{
    trace(registry, "a.c", 1, "first");
    std::string other = directory + "/other.log";
    write_profile(other);
    fs::remove(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // no test hook: real time
    trace(registry, "a.c", 2, "second");
    EXPECT_EQ(read_file(other), header("a.c", 2) + "second\n");

    fs::remove(other); // removed while tracing: created again
    kv_test_trace_recheck();
    trace(registry, "a.c", 3, "third");
    EXPECT_EQ(read_file(other), header("a.c", 3) + "third\n");
}

TEST_F(TraceTest, LinesOfSeveralProcessesDoNotInterleave)
{
    constexpr int kProcesses = 4, kLines = 400;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; p++) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string payload(100 + 700 * p, static_cast<char>('A' + p));
            for (int i = 0; i < kLines; i++)
                trace(registry, "child.c", i, "%s", payload.c_str());
            _exit(0);
        }
        children.push_back(child);
    }
    std::set<std::string> pids;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pids.insert("[" + std::to_string(child) + "]");
    }
    std::vector<std::string> lines = lines_of(read_file(log));
    ASSERT_EQ(lines.size(), std::size_t{kProcesses * kLines});
    for (const std::string &line : lines) {
        std::string pid = line.substr(0, line.find(']') + 1);
        ASSERT_TRUE(pids.count(pid)) << "a line without its child's own process id: " << line.substr(0, 40);
        std::string text = body(line);
        std::string payload = text.substr(text.find("->") + 2);
        ASSERT_EQ(payload.size(), 100u + 700u * static_cast<unsigned>(payload[0] - 'A')) << line.substr(0, 40);
        ASSERT_EQ(payload.find_first_not_of(payload[0]), std::string::npos) << line.substr(0, 40);
    }
}

TEST_F(TraceTest, LogMessageWritesOnlyWhenTheMaskSharesABit)
{
    char saved_default[sizeof default_config];
    std::memcpy(saved_default, default_config, sizeof default_config);
    std::snprintf(default_config, sizeof default_config, "%s", profile.c_str());

    EXPECT_EQ(set_trace_mask(0x4), 0u);
    long allocations = kv_test_allocation_count();
    log_message("a.c", 1, 0x3, "filtered out");
    EXPECT_EQ(kv_test_allocation_count(), allocations) << "no Registry is made for a filtered call";
    log_message("a.c", 2, 0x6, "SQLExecDirect(%p, %S)", nullptr, "select 1", SQLINTEGER{SQL_NTS});
    kv_test_fail_allocation(1); // no memory for the Registry: dropped
    log_message("a.c", 3, 0x4, "dropped");
    kv_test_fail_allocation(0);
    EXPECT_EQ(set_trace_mask(0), 0x4u);
    EXPECT_EQ(get_trace_mask(), 0u);
    log_message("a.c", 4, 0xFFFFFFFF, "mask is zero");

    std::memcpy(default_config, saved_default, sizeof default_config);
    EXPECT_EQ(read_file(log), header("a.c", 2) + "SQLExecDirect((nil), \"select 1\"{SQL_NTS})\n");
}

// A profile that could not be read for lack of memory says nothing about
// the setting: the line is dropped, never written to the standard error
// stream in place of the log file (found by the allocation-failure test).
TEST_F(TraceTest, RunningOutOfMemoryReadingTheProfileDropsTheLine)
{
    int rc = -1;
    for (long nth = 1; rc != 0 && nth < 50; nth++) {
        use_log_file(log);
        set_config(registry, profile.c_str()); // the next lookup reads the file
        std::string err = captured_stderr([&] {
            kv_test_fail_allocation(nth);
            rc = trace(registry, "a.c", 1, "SQLDriverConnect(PWD=secret)");
            kv_test_fail_allocation(0);
        });
        EXPECT_EQ(err, "") << "allocation " << nth;
    }
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(lines_of(read_file(log)).size(), 1u);
}

TEST_F(TraceTest, RunningOutOfMemoryDropsALongLine)
{
    std::string value(4000, 'v');
    kv_test_fail_allocation(1);
    EXPECT_EQ(trace(registry, "a.c", 1, "%s", value.c_str()), -1);
    kv_test_fail_allocation(0);
    EXPECT_EQ(trace(registry, "a.c", 2, "%s", value.c_str()), 0);
    EXPECT_EQ(lines_of(read_file(log)).size(), 1u);
}

} // namespace
