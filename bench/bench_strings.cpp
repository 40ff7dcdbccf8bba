// String functions through execute_function (result Value and text
// allocated on a handle, released after each call) against the plain C loop
// doing the same work into a malloc'd buffer, on 16-byte and 64 KiB
// arguments.
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include "functions_internal.h"
#include "ratio.h"

namespace {

constexpr std::size_t kSmall = 16;
constexpr std::size_t kLarge = 64 * 1024;

// Text of `size` bytes: words with a "fox" every 20 bytes, "needle" at the end.
std::string sample(std::size_t size)
{
    std::string text;
    while (text.size() < size)
        text += "the quick brown fox ";
    text.resize(size - 6);
    return text + "needle";
}

// A statement and context whose results go on one handle.
struct Bench {
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    DriverStatement stmt{};
    EvalContext context{};
    std::string texts[3];
    Value values[3]{};
    Value numbers[2]{};

    Bench()
    {
        stmt.kind = KV_KIND_STATEMENT;
        stmt.error_header = CreateErrorHeader(mem, nullptr);
        context.stmt = &stmt;
        context.mem = mem;
    }
    ~Bench() { kv_mem_release_handle(mem); }

    Value *text(int i, std::string s)
    {
        texts[i] = std::move(s);
        values[i].kind = KV_NODE_VALUE;
        values[i].type = VT_STRING;
        values[i].data.s = texts[i].data();
        values[i].length = static_cast<int32_t>(texts[i].size());
        return &values[i];
    }
    Value *number(int i, int32_t n)
    {
        numbers[i].kind = KV_NODE_VALUE;
        numbers[i].type = VT_INTEGER;
        numbers[i].data.i = n;
        return &numbers[i];
    }

    // Runs `name` on the arguments `iterations` times.
    void run(benchmark::State &state, const char *name, Value **argv, int argc)
    {
        const FunctionEntry *entry = sql92_get_function_info(sql92_get_function_id(name, 0));
        if (setjmp(context.jump) != 0) {
            state.SkipWithError("the function left through the error exit");
            return;
        }
        for (auto _ : state) {
            Value *result = execute_function(entry, &context, argc, argv, 0, nullptr);
            benchmark::DoNotOptimize(result->data.s);
            release_value(mem, result);
        }
    }
};

void BM_Ucase(benchmark::State &state)
{
    Bench b;
    Value *argv[] = {b.text(0, sample(static_cast<std::size_t>(state.range(0))))};
    b.run(state, "UCASE", argv, 1);
}

void BM_UcaseLoop(benchmark::State &state)
{
    std::string s = sample(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        char *out = static_cast<char *>(std::malloc(s.size() + 1));
        for (std::size_t i = 0; i < s.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            out[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
        }
        out[s.size()] = '\0';
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
}

void BM_Locate(benchmark::State &state)
{
    Bench b;
    Value *argv[] = {b.text(0, "needle"), b.text(1, sample(static_cast<std::size_t>(state.range(0))))};
    b.run(state, "LOCATE", argv, 2);
}

void BM_LocateLoop(benchmark::State &state)
{
    std::string s = sample(static_cast<std::size_t>(state.range(0)));
    const char *needle = "needle";
    std::size_t m = std::strlen(needle);
    for (auto _ : state) {
        std::size_t found = 0;
        for (std::size_t i = 0; i + m <= s.size(); ++i)
            if (s[i] == needle[0] && std::memcmp(s.data() + i, needle, m) == 0) {
                found = i + 1;
                break;
            }
        benchmark::DoNotOptimize(found);
    }
}

void BM_Replace(benchmark::State &state)
{
    Bench b;
    Value *argv[] = {b.text(0, sample(static_cast<std::size_t>(state.range(0)))), b.text(1, "fox"),
                     b.text(2, "wolf")};
    b.run(state, "REPLACE", argv, 3);
}

// Counts the occurrences, then copies with each one replaced.
void BM_ReplaceLoop(benchmark::State &state)
{
    std::string s = sample(static_cast<std::size_t>(state.range(0)));
    const char *t = "fox", *u = "wolf";
    std::size_t tn = 3, un = 4, n = s.size();
    for (auto _ : state) {
        std::size_t count = 0;
        for (std::size_t i = 0; i + tn <= n;)
            if (s[i] == t[0] && std::memcmp(s.data() + i, t, tn) == 0)
                ++count, i += tn;
            else
                ++i;
        char *out = static_cast<char *>(std::malloc(n + count * (un - tn) + 1));
        char *o = out;
        for (std::size_t i = 0; i < n;) {
            if (i + tn <= n && s[i] == t[0] && std::memcmp(s.data() + i, t, tn) == 0) {
                std::memcpy(o, u, un);
                o += un;
                i += tn;
            } else {
                *o++ = s[i++];
            }
        }
        *o = '\0';
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
}

void BM_Substring(benchmark::State &state)
{
    Bench b;
    auto n = static_cast<int32_t>(state.range(0));
    Value *argv[] = {b.text(0, sample(static_cast<std::size_t>(n))), b.number(0, n / 4), b.number(1, n / 2)};
    b.run(state, "SUBSTRING", argv, 3);
}

void BM_SubstringLoop(benchmark::State &state)
{
    std::string s = sample(static_cast<std::size_t>(state.range(0)));
    std::size_t from = s.size() / 4 - 1, length = s.size() / 2;
    for (auto _ : state) {
        char *out = static_cast<char *>(std::malloc(length + 1));
        std::memcpy(out, s.data() + from, length);
        out[length] = '\0';
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
}

#define KV_BOTH_SIZES Arg(kSmall)->Arg(kLarge)
BENCHMARK(BM_Ucase)->KV_BOTH_SIZES;
BENCHMARK(BM_UcaseLoop)->KV_BOTH_SIZES;
BENCHMARK(BM_Locate)->KV_BOTH_SIZES;
BENCHMARK(BM_LocateLoop)->KV_BOTH_SIZES;
BENCHMARK(BM_Replace)->KV_BOTH_SIZES;
BENCHMARK(BM_ReplaceLoop)->KV_BOTH_SIZES;
BENCHMARK(BM_Substring)->KV_BOTH_SIZES;
BENCHMARK(BM_SubstringLoop)->KV_BOTH_SIZES;

} // namespace

int main(int argc, char **argv)
{
    // 16-byte arguments: the result Value and its text block dominate, so the
    // target there is only a guard against a slow path.
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_Ucase/65536", "BM_UcaseLoop/65536", 2.0, "UCASE / C loop, 64 KiB"},
            {"BM_Locate/65536", "BM_LocateLoop/65536", 2.0, "LOCATE / C loop, 64 KiB"},
            {"BM_Replace/65536", "BM_ReplaceLoop/65536", 2.0, "REPLACE / C loop, 64 KiB"},
            {"BM_Substring/65536", "BM_SubstringLoop/65536", 2.0, "SUBSTRING / C loop, 64 KiB"},
            {"BM_Ucase/16", "BM_UcaseLoop/16", 10.0, "UCASE / C loop, 16 bytes"},
            {"BM_Locate/16", "BM_LocateLoop/16", 10.0, "LOCATE / C loop, 16 bytes"},
            {"BM_Replace/16", "BM_ReplaceLoop/16", 10.0, "REPLACE / C loop, 16 bytes"},
            {"BM_Substring/16", "BM_SubstringLoop/16", 10.0, "SUBSTRING / C loop, 16 bytes"},
        });
}
