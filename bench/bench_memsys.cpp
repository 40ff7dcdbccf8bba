// Memory handles: a cached node against the system allocator, and the cost
// per block of filling and releasing a handle at two sizes (release must stay
// linear in the number of blocks).
#include <cstdlib>
#include <cstring>

#include "internal.h"
#include "ratio.h"

namespace {

constexpr int32_t kBenchSlot = 990;

void BM_MallocFree160(benchmark::State &state)
{
    for (auto _ : state) {
        void *p = std::malloc(160);
        benchmark::DoNotOptimize(p);
        std::free(p);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MallocFree160);

void BM_NewNodeFree160(benchmark::State &state)
{
    MemHandle *h = kv_mem_alloc_handle(nullptr);
    kv_mem_free(h, newNode(160, kBenchSlot, h)); // the first one fills the cache
    for (auto _ : state) {
        void *p = newNode(160, kBenchSlot, h);
        benchmark::DoNotOptimize(p);
        kv_mem_free(h, p);
        benchmark::ClobberMemory();
    }
    kv_mem_release_handle(h);
}
BENCHMARK(BM_NewNodeFree160);

// The same node without the clearing newNode does.
void BM_AllocNodeFree160(benchmark::State &state)
{
    MemHandle *h = kv_mem_alloc_handle(nullptr);
    kv_mem_free(h, kv_mem_alloc_node(h, 160, kBenchSlot + 1));
    for (auto _ : state) {
        void *p = kv_mem_alloc_node(h, 160, kBenchSlot + 1);
        benchmark::DoNotOptimize(p);
        kv_mem_free(h, p);
        benchmark::ClobberMemory();
    }
    kv_mem_release_handle(h);
}
BENCHMARK(BM_AllocNodeFree160);

// The work newNode does, done with the system allocator.
void BM_MallocMemsetFree160(benchmark::State &state)
{
    for (auto _ : state) {
        void *p = std::malloc(160);
        benchmark::DoNotOptimize(p);
        std::memset(p, 0, 160);
        std::free(p);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MallocMemsetFree160);

void BM_AllocThenRelease(benchmark::State &state)
{
    const auto n = static_cast<long>(state.range(0));
    for (auto _ : state) {
        MemHandle *h = kv_mem_alloc_handle(nullptr);
        for (long i = 0; i < n; i++)
            benchmark::DoNotOptimize(kv_mem_alloc(h, 64));
        kv_mem_release_handle(h);
    }
    state.counters["items"] = static_cast<double>(n);
}
BENCHMARK(BM_AllocThenRelease)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_NewNodeFree160", "BM_MallocFree160", 0.5, "newNode+kv_mem_free / malloc+free (160 B)"},
            {"BM_NewNodeFree160", "BM_MallocMemsetFree160", 0.5, "newNode+kv_mem_free / malloc+memset+free"},
            {"BM_AllocNodeFree160", "BM_MallocFree160", 0.5, "kv_mem_alloc_node+kv_mem_free / malloc+free"},
            {"BM_AllocThenRelease/1000000", "BM_AllocThenRelease/1000", 1.5,
             "per block, N=1,000,000 / N=1,000 (alloc 64 B + release)"},
        });
}
