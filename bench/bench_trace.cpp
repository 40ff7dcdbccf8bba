// A traced call against fprintf of the same line from the same arguments,
// each into its own file in one temporary directory. Both lines must reach
// the file before the call returns (a trace is read after a crash), so the
// baseline flushes each line; the unflushed fprintf is shown as well. The
// files are emptied now and then, outside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <kvsupp.h>

#include "ratio.h"

namespace {

constexpr const char *kStatement = "select name, balance from customers where id = ?";

struct Files {
    std::string directory, profile, trace_log, stdio_log;

    Files()
    {
        char pattern[] = "/tmp/kvbench-trace.XXXXXX";
        directory = mkdtemp(pattern);
        profile = directory + "/odbc.ini";
        trace_log = directory + "/trace.log";
        stdio_log = directory + "/stdio.log";
        std::ofstream(profile) << "{settings}\nlog_file = " << trace_log << "\n";
        std::snprintf(default_config, sizeof default_config, "%s", profile.c_str());
        set_trace_mask(1);
    }
    ~Files() { std::filesystem::remove_all(directory); }
};

Files &files()
{
    static Files instance;
    return instance;
}

// Keeps the files small without timing the truncation.
void empty_now_and_then(benchmark::State &state, std::size_t iteration, const std::string &path)
{
    if (iteration % 65536 != 65535)
        return;
    state.PauseTiming();
    if (truncate(path.c_str(), 0) != 0)
        state.SkipWithError("truncate failed");
    state.ResumeTiming();
}

void *handle = reinterpret_cast<void *>(uintptr_t{0x55d0c0a1b2c0});

void BM_LogMessage(benchmark::State &state)
{
    Files &f = files();
    std::size_t i = 0;
    for (auto _ : state) {
        log_message("stmt.c", 421, 1, "SQLExecDirect(%p, %S) = %e", handle, kStatement, SQLINTEGER{SQL_NTS},
                    SQL_SUCCESS);
        empty_now_and_then(state, i++, f.trace_log);
    }
    state.SetItemsProcessed(state.iterations());
}

// The same line: header padded to column 30, then the call.
void fprintf_line(FILE *file)
{
    char header[64];
    int length = std::snprintf(header, sizeof header, "[%d]%s@%04d", static_cast<int>(getpid()), "stmt.c", 421);
    std::fprintf(file, "%s%*s:SQLExecDirect(%p, \"%s\"{SQL_NTS}) = %s\n", header, length < 30 ? 30 - length : 0, "",
                 handle, kStatement, "SQL_SUCCESS");
}

void BM_FprintfFlushed(benchmark::State &state)
{
    Files &f = files();
    FILE *file = std::fopen(f.stdio_log.c_str(), "a");
    std::size_t i = 0;
    for (auto _ : state) {
        fprintf_line(file);
        std::fflush(file);
        empty_now_and_then(state, i++, f.stdio_log);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
}

void BM_FprintfBuffered(benchmark::State &state)
{
    Files &f = files();
    FILE *file = std::fopen(f.stdio_log.c_str(), "a");
    std::size_t i = 0;
    for (auto _ : state) {
        fprintf_line(file);
        empty_now_and_then(state, i++, f.stdio_log);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
}

// A call the mask filters out.
void BM_LogMessageFiltered(benchmark::State &state)
{
    files();
    for (auto _ : state)
        log_message("stmt.c", 421, 2, "SQLExecDirect(%p, %S) = %e", handle, kStatement, SQLINTEGER{SQL_NTS},
                    SQL_SUCCESS);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_LogMessage);
BENCHMARK(BM_FprintfFlushed);
BENCHMARK(BM_FprintfBuffered);
BENCHMARK(BM_LogMessageFiltered);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_LogMessage", "BM_FprintfFlushed", 1.5, "log_message / fprintf+fflush of the same line"},
            {"BM_LogMessage", "BM_FprintfBuffered", 1e9, "log_message / buffered fprintf (no target)"},
        });
}
