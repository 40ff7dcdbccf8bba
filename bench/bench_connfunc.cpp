// Connection strings: parse_connection_string of a 12-pair string (pairs on
// a handle released after each parse) and generate_connection_string back,
// per call, beside a std::string split into a vector of string pairs and a
// std::string join doing the same work.
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "ratio.h"

namespace {

const char *const kText = "DSN=Sales;UID=ann;PWD={se;cr}}et};DATABASE=/data/sales.fdb;ROLE=clerk;"
                          "CHARSET=UTF8;DIALECT=3;READONLY=0;NOWAIT=1;TIMEOUT=30;PAGESIZE=8192;"
                          "DRIVER={Kestrova Firebird}";

void BM_ParseConnectionString(benchmark::State &state)
{
    MemHandle *root = kv_mem_alloc_handle(nullptr);
    for (auto _ : state) {
        MemHandle *mem = kv_mem_alloc_handle(root);
        AttributeList list;
        parse_connection_string(&list, mem, kText, SQL_NTS, 0);
        benchmark::DoNotOptimize(list.count);
        kv_mem_release_handle(mem);
    }
    kv_mem_release_handle(root);
}
BENCHMARK(BM_ParseConnectionString);

// The same items with std::string: plain values up to ';', braced ones to
// their '}' (no escapes), keys upper-cased.
void BM_ParseStdStrings(benchmark::State &state)
{
    std::string text = kText;
    for (auto _ : state) {
        std::vector<std::pair<std::string, std::string>> pairs;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t eq = text.find('=', at);
            if (eq == std::string::npos)
                break;
            std::string key = text.substr(at, eq - at);
            for (char &c : key)
                c = static_cast<char>(kv_ascii_upper(static_cast<unsigned char>(c)));
            bool braced = eq + 1 < text.size() && text[eq + 1] == '{';
            std::size_t end = braced ? text.find('}', eq + 2) : text.find(';', eq + 1);
            if (end == std::string::npos)
                end = text.size();
            pairs.emplace_back(std::move(key), text.substr(eq + 1 + braced, end - eq - 1 - braced));
            at = (braced ? end + 1 : end) + 1;
        }
        benchmark::DoNotOptimize(pairs.data());
    }
}
BENCHMARK(BM_ParseStdStrings);

void BM_GenerateConnectionString(benchmark::State &state)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    AttributeList list;
    parse_connection_string(&list, mem, kText, SQL_NTS, 0);
    char buffer[1024];
    for (auto _ : state) {
        int32_t needed = 0;
        generate_connection_string_len(&list, buffer, sizeof buffer, &needed);
        benchmark::DoNotOptimize(buffer);
    }
    kv_mem_release_handle(mem);
}
BENCHMARK(BM_GenerateConnectionString);

void BM_GenerateStdString(benchmark::State &state)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    AttributeList list;
    parse_connection_string(&list, mem, kText, SQL_NTS, 0);
    for (ListItem *item = ListFirst(list.pairs); item; item = ListNext(item)) {
        auto *pair = static_cast<AttributePair *>(ListData(item));
        pairs.emplace_back(pair->key, pair->value);
    }
    kv_mem_release_handle(mem);
    for (auto _ : state) {
        std::string out;
        for (const auto &[key, value] : pairs) {
            bool braces = value.find_first_of(";{}=") != std::string::npos;
            out += key;
            out += braces ? "={" : "=";
            out += value;
            out += braces ? "};" : ";";
        }
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_GenerateStdString);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            // Each pair is three blocks on the handle (record, key, value) where
            // std::string keeps short texts inline: a wider target for parsing.
            {"BM_ParseConnectionString", "BM_ParseStdStrings", 3.0, "parse, 12 pairs / std::string split"},
            {"BM_GenerateConnectionString", "BM_GenerateStdString", 2.0, "generate, 12 pairs / std::string join"},
        });
}
