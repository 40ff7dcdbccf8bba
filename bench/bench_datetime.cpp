// Dates and literals: the calendar round trip and a timestamp plus a
// day-to-second interval against the standard library's civil calendar, and
// a timestamp literal (made and released) against sscanf of the same text.
// The day-number formulas are a chain of a dozen dependent divisions, about
// four times the cost of the standard library's shorter algorithm; the
// targets guard against anything worse.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "internal.h"
#include "ratio.h"

namespace {

namespace chr = std::chrono;

constexpr int kFirstDay = 2415021;  // 1900-01-01
constexpr int kDays = 73000;        // two centuries

void BM_ChronoRoundTrip(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state) {
        chr::sys_days day{chr::days{i}};
        chr::year_month_day ymd{day};
        chr::sys_days back{ymd};
        benchmark::DoNotOptimize(back);
        i = (i + 1) % kDays;
    }
}
BENCHMARK(BM_ChronoRoundTrip);

void BM_JdnRoundTrip(benchmark::State &state)
{
    int i = 0;
    for (auto _ : state) {
        int y, m, d;
        jdnl_to_ymd(kFirstDay + i, &y, &m, &d, KV_CALENDAR_AUTO);
        int back = ymd_to_jdnl(y, m, d, KV_CALENDAR_AUTO);
        benchmark::DoNotOptimize(back);
        i = (i + 1) % kDays;
    }
}
BENCHMARK(BM_JdnRoundTrip);

// 2024-01-31 23:00:00 + 1 day 02:03:04.5, with the fields read back.
void BM_ChronoTimestampAdd(benchmark::State &state)
{
    auto start = chr::sys_days{chr::year{2024} / 1 / 31} + chr::hours{23};
    auto amount = chr::days{1} + chr::hours{2} + chr::minutes{3} + chr::seconds{4} + chr::nanoseconds{500000000};
    for (auto _ : state) {
        benchmark::DoNotOptimize(start);
        auto sum = start + amount;
        auto day = chr::floor<chr::days>(sum);
        chr::year_month_day ymd{day};
        chr::hh_mm_ss<chr::nanoseconds> time{sum - day};
        benchmark::DoNotOptimize(ymd);
        benchmark::DoNotOptimize(time);
    }
}
BENCHMARK(BM_ChronoTimestampAdd);

void BM_IntervalOperation(benchmark::State &state)
{
    Value start{}, interval{}, result{};
    start.type = VT_TIMESTAMP;
    start.data.ts = {2024, 1, 31, 23, 0, 0, 0};
    interval.type = VT_INTERVAL_DS;
    interval.data.iv.interval_type = SQL_IS_DAY_TO_SECOND;
    interval.data.iv.intval.day_second = {1, 2, 3, 4, 500000000};
    for (auto _ : state) {
        benchmark::DoNotOptimize(start);
        interval_operation(&start, &interval, &result, nullptr, KV_OP_ADD);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_IntervalOperation);

const char kLiteral[] = "{ts '2001-02-03 04:05:06.25'}";

void BM_SscanfTimestamp(benchmark::State &state)
{
    for (auto _ : state) {
        int y, mo, d, h, mi, s, f;
        int n = std::sscanf(kLiteral, "{ts '%d-%d-%d %d:%d:%d.%d'}", &y, &mo, &d, &h, &mi, &s, &f);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(y);
    }
}
BENCHMARK(BM_SscanfTimestamp);

void BM_MakeTimestampLiteral(benchmark::State &state)
{
    MemHandle *h = kv_mem_alloc_handle(nullptr);
    for (auto _ : state) {
        Value *v = MakeLiteral(KV_LITERAL_TIMESTAMP, kLiteral, h);
        benchmark::DoNotOptimize(v);
        release_value(h, v);
    }
    kv_mem_release_handle(h);
}
BENCHMARK(BM_MakeTimestampLiteral);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_JdnRoundTrip", "BM_ChronoRoundTrip", 6.0, "jdnl_to_ymd+ymd_to_jdnl / std::chrono round trip"},
            {"BM_IntervalOperation", "BM_ChronoTimestampAdd", 6.0,
             "timestamp + interval / std::chrono add and split"},
            {"BM_MakeTimestampLiteral", "BM_SscanfTimestamp", 0.5,
             "timestamp literal made+released / sscanf of it"},
        });
}
