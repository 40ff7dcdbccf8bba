// Values: compare_dm over a row buffer of flat records against comparing the
// raw fields directly, and value_as_text of a double and of a numeric.
#include <cstring>
#include <random>
#include <vector>

#include "internal.h"
#include "ratio.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kStringLength = 16;

// A row buffer of flat records of one fixed size, laid end to end.
struct RowBuffer {
    std::size_t stride;
    std::vector<unsigned char> bytes;
    const FlatValue *row(int i) const { return reinterpret_cast<const FlatValue *>(&bytes[i * stride]); }
};

RowBuffer integer_rows()
{
    RowBuffer rows{KV_FLAT_HEADER_SIZE + 4, {}};
    rows.bytes.resize(rows.stride * kRows);
    std::mt19937 random(7);
    for (int i = 0; i < kRows; i++) {
        Value v{};
        v.type = VT_INTEGER;
        v.data.i = static_cast<int32_t>(random() % 1000);
        value_to_dm(reinterpret_cast<FlatValue *>(&rows.bytes[i * rows.stride]), &v);
    }
    return rows;
}

RowBuffer string_rows()
{
    RowBuffer rows{KV_FLAT_HEADER_SIZE + kStringLength, {}};
    rows.bytes.resize(rows.stride * kRows);
    std::mt19937 random(11);
    char text[kStringLength + 1];
    for (int i = 0; i < kRows; i++) {
        for (int k = 0; k < kStringLength; k++)
            text[k] = k < 12 ? 'a' : static_cast<char>('a' + random() % 4); // long common prefixes
        text[kStringLength] = '\0';
        Value v{};
        v.type = VT_STRING;
        v.data.s = text;
        v.length = kStringLength;
        value_to_dm(reinterpret_cast<FlatValue *>(&rows.bytes[i * rows.stride]), &v);
    }
    return rows;
}

const RowBuffer &integers()
{
    static const RowBuffer rows = integer_rows();
    return rows;
}

const RowBuffer &strings()
{
    static const RowBuffer rows = string_rows();
    return rows;
}

void BM_CompareDmIntegers(benchmark::State &state)
{
    const RowBuffer &rows = integers();
    for (auto _ : state) {
        long sum = 0;
        for (int i = 0; i + 1 < kRows; i++)
            sum += compare_dm(rows.row(i), rows.row(i + 1));
        benchmark::DoNotOptimize(sum);
    }
    state.counters["items"] = kRows - 1;
}
BENCHMARK(BM_CompareDmIntegers)->Unit(benchmark::kMillisecond);

// The baseline: the same fields read and compared in place.
void BM_CompareRawIntegers(benchmark::State &state)
{
    const RowBuffer &rows = integers();
    for (auto _ : state) {
        long sum = 0;
        for (int i = 0; i + 1 < kRows; i++) {
            int32_t a, b;
            std::memcpy(&a, &rows.bytes[i * rows.stride + KV_FLAT_HEADER_SIZE], 4);
            std::memcpy(&b, &rows.bytes[(i + 1) * rows.stride + KV_FLAT_HEADER_SIZE], 4);
            sum += (a > b) - (a < b);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["items"] = kRows - 1;
}
BENCHMARK(BM_CompareRawIntegers)->Unit(benchmark::kMillisecond);

void BM_CompareDmStrings(benchmark::State &state)
{
    const RowBuffer &rows = strings();
    for (auto _ : state) {
        long sum = 0;
        for (int i = 0; i + 1 < kRows; i++)
            sum += compare_dm(rows.row(i), rows.row(i + 1)) < 0;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["items"] = kRows - 1;
}
BENCHMARK(BM_CompareDmStrings)->Unit(benchmark::kMillisecond);

void BM_CompareRawStrings(benchmark::State &state)
{
    const RowBuffer &rows = strings();
    for (auto _ : state) {
        long sum = 0;
        for (int i = 0; i + 1 < kRows; i++) {
            const char *a = reinterpret_cast<const char *>(&rows.bytes[i * rows.stride + KV_FLAT_HEADER_SIZE]);
            const char *b = reinterpret_cast<const char *>(&rows.bytes[(i + 1) * rows.stride + KV_FLAT_HEADER_SIZE]);
            sum += std::strncmp(a, b, kStringLength) < 0;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["items"] = kRows - 1;
}
BENCHMARK(BM_CompareRawStrings)->Unit(benchmark::kMillisecond);

void BM_ValueAsTextDouble(benchmark::State &state)
{
    Value v{};
    v.type = VT_DOUBLE;
    v.data.d = -12345.678901;
    char buffer[KV_VALUE_TEXT_SIZE];
    for (auto _ : state)
        benchmark::DoNotOptimize(value_as_text(&v, buffer));
}
BENCHMARK(BM_ValueAsTextDouble);

void BM_ValueAsTextNumeric(benchmark::State &state)
{
    Value v{};
    v.type = VT_NUMERIC;
    create_numeric("-123456789012345678.90", &v.data.num, 38, 2);
    char buffer[KV_VALUE_TEXT_SIZE];
    for (auto _ : state)
        benchmark::DoNotOptimize(value_as_text(&v, buffer));
}
BENCHMARK(BM_ValueAsTextNumeric);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_CompareDmIntegers", "BM_CompareRawIntegers", 2.0, "compare_dm / raw fields, integers"},
            {"BM_CompareDmStrings", "BM_CompareRawStrings", 2.0, "compare_dm / raw fields, 16-byte strings"},
        });
}
