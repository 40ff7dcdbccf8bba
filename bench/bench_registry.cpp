// Profile lookups against unixODBC's SQLGetPrivateProfileString on the same
// file in the same run: a 50-section, 1,000-entry odbc.ini, the last key of
// the last section looked up again and again, as a driver reads a data
// source's attributes on every connection.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <odbcinst.h>
#include <unistd.h>

#include <kvsupp.h>

#include "ratio.h"

namespace {

constexpr int kSections = 50;
constexpr int kEntries = 20;

// The profile, written once; old enough to be trusted by the time the
// lookups are timed.
const std::string &profile_path()
{
    static const std::string path = [] {
        char pattern[] = "/tmp/kvbench_profile.XXXXXX";
        int fd = mkstemp(pattern);
        std::string text;
        for (int s = 0; s < kSections; s++) {
            text += "[Source" + std::to_string(s) + "]\n";
            for (int e = 0; e < kEntries; e++)
                text += "Attribute" + std::to_string(e) + " = value " + std::to_string(s) + "." +
                        std::to_string(e) + "\n";
        }
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            std::abort();
        close(fd);
        std::atexit([] { unlink(profile_path().c_str()); });
        usleep(200 * 1000);
        return std::string(pattern);
    }();
    return path;
}

const char *const kSection = "Source49";
const char *const kKey = "Attribute19";

void BM_UnixOdbcLookup(benchmark::State &state)
{
    const std::string &path = profile_path();
    char buffer[256];
    for (auto _ : state) {
        SQLGetPrivateProfileString(kSection, kKey, "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "value 49.19")
        state.SkipWithError("unixODBC read something else");
}
BENCHMARK(BM_UnixOdbcLookup);

void BM_ProfileLookup(benchmark::State &state)
{
    Registry *registry = open_registry();
    set_config(registry, profile_path().c_str());
    char buffer[256];
    for (auto _ : state) {
        get_profile_string(registry, 2, kSection, kKey, "", buffer, sizeof buffer);
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "value 49.19")
        state.SkipWithError("the lookup read something else");
    close_registry(registry);
}
BENCHMARK(BM_ProfileLookup);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {{"BM_ProfileLookup", "BM_UnixOdbcLookup", 10.0, "get_profile_string / SQLGetPrivateProfileString"}});
}
