// Date and numeric scalar functions per call, through execute_function as
// a driver calls them (result Value made and released): TIMESTAMPDIFF and
// TIMESTAMPADD against the same computation with std::chrono civil dates,
// and ROUND of a double against std::round of the scaled value (which gets
// halves and 1.005 wrong, but is the cost a reader would compare with).
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <vector>

#include "functions_internal.h"
#include "ratio.h"

namespace {

namespace chr = std::chrono;

constexpr std::size_t kInputs = 1024; // a power of two

// Timestamps spread over 1900-2100, with times of day and fractions.
const std::vector<SQL_TIMESTAMP_STRUCT> &timestamps()
{
    static const std::vector<SQL_TIMESTAMP_STRUCT> all = [] {
        std::vector<SQL_TIMESTAMP_STRUCT> v;
        uint32_t seed = 12345;
        auto next = [&seed](uint32_t range) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % range;
        };
        for (std::size_t i = 0; i < kInputs; ++i) {
            chr::sys_days day = chr::sys_days{chr::year{1900} / 1 / 1} + chr::days{next(73000)};
            chr::year_month_day ymd{day};
            v.push_back({SQLSMALLINT(int(ymd.year())), SQLUSMALLINT(unsigned(ymd.month())),
                         SQLUSMALLINT(unsigned(ymd.day())), SQLUSMALLINT(next(24)), SQLUSMALLINT(next(60)),
                         SQLUSMALLINT(next(60)), next(1000000000)});
        }
        return v;
    }();
    return all;
}

chr::sys_time<chr::nanoseconds> instant(const SQL_TIMESTAMP_STRUCT &t)
{
    return chr::sys_days{chr::year{t.year} / t.month / t.day} + chr::hours{t.hour} + chr::minutes{t.minute} +
           chr::seconds{t.second} + chr::nanoseconds{t.fraction};
}

// A statement, a context and the argument values of one call.
struct Harness {
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    DriverStatement stmt{};
    EvalContext ctx{};
    Value *keyword = nullptr;
    std::vector<Value *> left, right;

    explicit Harness(const char *unit)
    {
        stmt.kind = KV_KIND_STATEMENT;
        stmt.error_header = CreateErrorHeader(mem, nullptr);
        ctx.stmt = &stmt;
        ctx.mem = mem;
        keyword = value(VT_STRING);
        keyword->data.s = const_cast<char *>(unit);
        const auto &all = timestamps();
        for (std::size_t i = 0; i < kInputs; ++i) {
            left.push_back(value(VT_TIMESTAMP));
            left.back()->data.ts = all[i];
            right.push_back(value(VT_TIMESTAMP));
            right.back()->data.ts = all[(i * 7 + 3) % kInputs];
        }
    }
    ~Harness() { kv_mem_release_handle(mem); }

    Value *value(int type)
    {
        auto *v = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, mem));
        v->type = type;
        return v;
    }
};

// Runs `loop` under a setjmp on the context: an error exit ends the
// benchmark with an error instead of jumping into the void.
template <typename Loop>
void run_guarded(benchmark::State &state, EvalContext &ctx, const char *what, Loop loop)
{
    if (setjmp(ctx.jump) != 0) {
        state.SkipWithError(what);
        return;
    }
    loop();
}

void BM_TimestampdiffFunction(benchmark::State &state)
{
    Harness h("SQL_TSI_MINUTE");
    const FunctionEntry *entry = sql92_get_function_info(63);
    run_guarded(state, h.ctx, "TIMESTAMPDIFF left through the error exit", [&] {
        std::size_t i = 0;
        for (auto _ : state) {
            Value *args[] = {h.keyword, h.left[i], h.right[i]};
            Value *r = execute_function(entry, &h.ctx, 3, args, 0, nullptr);
            benchmark::DoNotOptimize(r->data.i);
            release_value(h.mem, r);
            i = (i + 1) & (kInputs - 1);
        }
    });
}
BENCHMARK(BM_TimestampdiffFunction);

void BM_TimestampdiffChrono(benchmark::State &state)
{
    const auto &all = timestamps();
    std::size_t i = 0;
    for (auto _ : state) {
        auto elapsed = instant(all[(i * 7 + 3) % kInputs]) - instant(all[i]);
        int32_t minutes = static_cast<int32_t>(chr::duration_cast<chr::minutes>(elapsed).count());
        benchmark::DoNotOptimize(minutes);
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK(BM_TimestampdiffChrono);

// The chrono computation plus the result Value that a scalar function must
// make (and the caller release): the floor of the calling convention.
void BM_TimestampdiffChronoValue(benchmark::State &state)
{
    const auto &all = timestamps();
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    std::size_t i = 0;
    for (auto _ : state) {
        auto elapsed = instant(all[(i * 7 + 3) % kInputs]) - instant(all[i]);
        auto *r = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, mem));
        r->type = VT_INTEGER;
        r->data.i = static_cast<int32_t>(chr::duration_cast<chr::minutes>(elapsed).count());
        benchmark::DoNotOptimize(r->data.i);
        release_value(mem, r);
        i = (i + 1) & (kInputs - 1);
    }
    kv_mem_release_handle(mem);
}
BENCHMARK(BM_TimestampdiffChronoValue);

void BM_TimestampaddFunction(benchmark::State &state)
{
    Harness h("SQL_TSI_MINUTE");
    const FunctionEntry *entry = sql92_get_function_info(62);
    Value *count = h.value(VT_INTEGER);
    run_guarded(state, h.ctx, "TIMESTAMPADD left through the error exit", [&] {
        std::size_t i = 0;
        for (auto _ : state) {
            count->data.i = static_cast<int32_t>(i * 977) - 500000;
            Value *args[] = {h.keyword, count, h.left[i]};
            Value *r = execute_function(entry, &h.ctx, 3, args, 0, nullptr);
            benchmark::DoNotOptimize(r->data.ts);
            release_value(h.mem, r);
            i = (i + 1) & (kInputs - 1);
        }
    });
}
BENCHMARK(BM_TimestampaddFunction);

void BM_TimestampaddChrono(benchmark::State &state)
{
    const auto &all = timestamps();
    std::size_t i = 0;
    for (auto _ : state) {
        int32_t count = static_cast<int32_t>(i * 977) - 500000;
        auto sum = instant(all[i]) + chr::minutes{count};
        auto day = chr::floor<chr::days>(sum);
        chr::year_month_day ymd{day};
        chr::hh_mm_ss<chr::nanoseconds> time{sum - day};
        SQL_TIMESTAMP_STRUCT r{SQLSMALLINT(int(ymd.year())),
                               SQLUSMALLINT(unsigned(ymd.month())),
                               SQLUSMALLINT(unsigned(ymd.day())),
                               SQLUSMALLINT(time.hours().count()),
                               SQLUSMALLINT(time.minutes().count()),
                               SQLUSMALLINT(time.seconds().count()),
                               SQLUINTEGER(time.subseconds().count())};
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK(BM_TimestampaddChrono);

const std::vector<double> &doubles()
{
    static const std::vector<double> all = [] {
        std::vector<double> v;
        for (std::size_t i = 0; i < kInputs; ++i)
            v.push_back((static_cast<double>(i) * 7919.123456789 - 4000000.0) / 997.0);
        return v;
    }();
    return all;
}

void BM_RoundFunction(benchmark::State &state)
{
    Harness h("");
    const FunctionEntry *entry = sql92_get_function_info(52);
    std::vector<Value *> xs;
    for (double d : doubles()) {
        xs.push_back(h.value(VT_DOUBLE));
        xs.back()->data.d = d;
    }
    Value *places = h.value(VT_INTEGER);
    places->data.i = 2;
    run_guarded(state, h.ctx, "ROUND left through the error exit", [&] {
        std::size_t i = 0;
        for (auto _ : state) {
            Value *args[] = {xs[i], places};
            Value *r = execute_function(entry, &h.ctx, 2, args, 0, nullptr);
            benchmark::DoNotOptimize(r->data.d);
            release_value(h.mem, r);
            i = (i + 1) & (kInputs - 1);
        }
    });
}
BENCHMARK(BM_RoundFunction);

void BM_RoundScaledStdRound(benchmark::State &state)
{
    const auto &all = doubles();
    std::size_t i = 0;
    for (auto _ : state) {
        double r = std::round(all[i] * 100.0) / 100.0;
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK(BM_RoundScaledStdRound);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_TimestampdiffFunction", "BM_TimestampdiffChrono", 1.5,
             "TIMESTAMPDIFF(MINUTE) per call / std::chrono"},
            {"BM_TimestampdiffFunction", "BM_TimestampdiffChronoValue", 1.5,
             "TIMESTAMPDIFF(MINUTE) per call / std::chrono + result Value"},
            {"BM_TimestampaddFunction", "BM_TimestampaddChrono", 1.5,
             "TIMESTAMPADD(MINUTE) per call / std::chrono"},
            {"BM_RoundFunction", "BM_RoundScaledStdRound", 100,
             "ROUND(x, 2) of a double per call / std::round(x*100)/100"},
        });
}
