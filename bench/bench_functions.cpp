// The scalar-function catalogue: sql92_get_function_id over every name of
// both tables against a std::unordered_map<std::string, int> holding the same
// names, looked up with keys already made (the map's best case).
#include <string>
#include <unordered_map>
#include <vector>

#include "functions_internal.h"
#include "ratio.h"

namespace {

struct Name {
    std::string text;
    int sql92_form;
};

const std::vector<Name> &all_names()
{
    static const std::vector<Name> names = [] {
        std::vector<Name> v;
        for (const FunctionEntry &row : functions)
            v.push_back({row.name, 0});
        for (const FunctionEntry &row : scalar_functions)
            v.push_back({row.name, 1});
        return v;
    }();
    return names;
}

void BM_FunctionIdCatalogue(benchmark::State &state)
{
    const auto &names = all_names();
    for (auto _ : state) {
        for (const Name &n : names)
            benchmark::DoNotOptimize(sql92_get_function_id(n.text.c_str(), n.sql92_form));
    }
    state.counters["items"] = static_cast<double>(names.size());
}
BENCHMARK(BM_FunctionIdCatalogue);

void BM_FunctionIdUnorderedMap(benchmark::State &state)
{
    const auto &names = all_names();
    std::unordered_map<std::string, int> odbc, sql92;
    for (const FunctionEntry &row : functions)
        odbc.emplace(row.name, row.id);
    for (const FunctionEntry &row : scalar_functions)
        sql92.emplace(row.name, row.id);
    for (auto _ : state) {
        for (const Name &n : names) {
            const auto &map = n.sql92_form ? sql92 : odbc;
            auto it = map.find(n.text);
            benchmark::DoNotOptimize(it == map.end() ? -99 : it->second);
        }
    }
    state.counters["items"] = static_cast<double>(names.size());
}
BENCHMARK(BM_FunctionIdUnorderedMap);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_FunctionIdCatalogue", "BM_FunctionIdUnorderedMap", 1.5,
             "sql92_get_function_id / unordered_map find, all names"},
        });
}
