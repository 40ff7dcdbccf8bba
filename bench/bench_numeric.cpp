// Exact numerics: the library's decimal conversions against the digit-string
// baseline of tests/numeric_reference.h, measured in the same run on 39-digit
// and 6-digit values, and the cost of one addition and one multiplication.
//
//   build/bench/bench_numeric --benchmark_filter=Numeric
//
// Each benchmark cycles through 64 different values; time is per conversion.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric_reference.h"

namespace {

namespace ref = numeric_reference;

constexpr int kValues = 64;

// Decimal texts of `digits` significant digits with a point, some negative.
std::vector<std::string> texts(int digits)
{
    std::mt19937_64 rng(digits);
    std::vector<std::string> out;
    while (int(out.size()) < kValues) {
        std::string t;
        for (int i = 0; i < digits; i++)
            t += char('0' + (i == 0 ? 1 + rng() % 9 : rng() % 10));
        if (digits == 39 && t > "340282366920938463463374607431768211455")
            continue; // keep within 2^128 - 1
        t.insert(t.size() - rng() % 4, ".");
        if (rng() % 2)
            t.insert(0, "-");
        out.push_back(t);
    }
    return out;
}

std::vector<NumericValue> numerics(int digits)
{
    std::vector<NumericValue> out;
    for (std::string t : texts(digits)) {
        NumericValue n;
        string_to_numeric(t.data(), &n, digits, 0);
        out.push_back(n);
    }
    return out;
}

// string_to_numeric removes the point in place, so each call reads a fresh
// copy of the text (for both implementations alike).
template <int (*Convert)(char *, NumericValue *, int, int)>
void StringToNumeric(benchmark::State &state)
{
    const auto all = texts(int(state.range(0)));
    char work[64];
    NumericValue n;
    size_t i = 0;
    for (auto _ : state) {
        const std::string &t = all[i++ % kValues];
        std::memcpy(work, t.c_str(), t.size() + 1);
        benchmark::DoNotOptimize(Convert(work, &n, 39, 0));
        benchmark::DoNotOptimize(n);
    }
}

template <int (*Convert)(const NumericValue *, char *, int, int *)>
void NumericToString(benchmark::State &state)
{
    const auto all = numerics(int(state.range(0)));
    char text[64];
    int length;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Convert(&all[i++ % kValues], text, sizeof text, &length));
        benchmark::DoNotOptimize(text);
    }
}

void BM_StringToNumeric_Library(benchmark::State &state) { StringToNumeric<string_to_numeric>(state); }
void BM_StringToNumeric_Reference(benchmark::State &state) { StringToNumeric<ref::string_to_numeric>(state); }
void BM_NumericToString_Library(benchmark::State &state) { NumericToString<numeric_to_string>(state); }
void BM_NumericToString_Reference(benchmark::State &state) { NumericToString<ref::numeric_to_string>(state); }

BENCHMARK(BM_StringToNumeric_Library)->Arg(39)->Arg(6);
BENCHMARK(BM_StringToNumeric_Reference)->Arg(39)->Arg(6);
BENCHMARK(BM_NumericToString_Library)->Arg(39)->Arg(6);
BENCHMARK(BM_NumericToString_Reference)->Arg(39)->Arg(6);

// One operation on operands of `digits` digits at scales 2 and 3 (the
// addition aligns them first), starting from a fresh copy each time.
template <int (*Operation)(NumericValue *, const NumericValue *)>
void Arithmetic(benchmark::State &state)
{
    const int digits = int(state.range(0));
    auto left = numerics(digits), right = numerics(digits);
    for (auto &n : right)
        n.scale = 3;
    for (auto &n : left)
        n.scale = 2;
    size_t i = 0;
    for (auto _ : state) {
        NumericValue a = left[i % kValues];
        benchmark::DoNotOptimize(Operation(&a, &right[(i * 7 + 1) % kValues]));
        benchmark::DoNotOptimize(a);
        i++;
    }
}

void BM_AddNumeric(benchmark::State &state) { Arithmetic<add_numeric>(state); }
void BM_MultNumeric(benchmark::State &state) { Arithmetic<mult_numeric>(state); }
void BM_AddNumeric_Reference(benchmark::State &state) { Arithmetic<ref::add_numeric>(state); }
void BM_MultNumeric_Reference(benchmark::State &state) { Arithmetic<ref::mult_numeric>(state); }

BENCHMARK(BM_AddNumeric)->Arg(18)->Arg(6);
BENCHMARK(BM_MultNumeric)->Arg(18)->Arg(6);
BENCHMARK(BM_AddNumeric_Reference)->Arg(18)->Arg(6);
BENCHMARK(BM_MultNumeric_Reference)->Arg(18)->Arg(6);

} // namespace
