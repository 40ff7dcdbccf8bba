// Hash table lookups against std::unordered_map holding the same keys at the
// same load (the table gets exactly the map's bucket count), both probed
// with the same shuffled sequence of present keys. Keys are identifier-like
// (8 to 16 characters of [a-z0-9_]), as a driver's names are.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <kvsupp.h>

#include "ratio.h"

namespace {

struct Fixture {
    std::vector<std::string> keys;
    std::vector<std::size_t> probes; // indices into keys, shuffled
    std::unordered_map<std::string, void *> map;
    HashTable *table = nullptr;

    explicit Fixture(std::size_t count)
    {
        std::mt19937_64 random(count);
        static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
        std::unordered_set<std::string> seen;
        while (keys.size() < count) {
            std::string key(8 + random() % 9, ' ');
            for (char &c : key)
                c = alphabet[random() % (sizeof alphabet - 1)];
            if (seen.insert(key).second)
                keys.push_back(key);
        }
        for (std::string &key : keys)
            map.emplace(key, &key);
        table = kv_make_hash_table(static_cast<int32_t>(map.bucket_count()));
        for (std::string &key : keys)
            kv_add_hash_item(key.c_str(), table)->data = &key;
        probes.resize(std::min<std::size_t>(count, 1 << 20));
        for (std::size_t i = 0; i < probes.size(); i++)
            probes[i] = i % count;
        std::shuffle(probes.begin(), probes.end(), random);
    }
};

Fixture &fixture(std::size_t count)
{
    static std::map<std::size_t, Fixture *> made;
    Fixture *&f = made[count];
    if (!f)
        f = new Fixture(count);
    return *f;
}

void BM_HashTableFind(benchmark::State &state)
{
    Fixture &f = fixture(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        HashItem *item = kv_find_hash_item(f.keys[f.probes[i]].c_str(), f.table);
        benchmark::DoNotOptimize(item->data);
        if (++i == f.probes.size())
            i = 0;
    }
    state.counters["load"] = double(f.table->count) / f.table->size;
    state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMapFind(benchmark::State &state)
{
    Fixture &f = fixture(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        auto it = f.map.find(f.keys[f.probes[i]]);
        benchmark::DoNotOptimize(it->second);
        if (++i == f.probes.size())
            i = 0;
    }
    state.counters["load"] = f.map.load_factor();
    state.SetItemsProcessed(state.iterations());
}

// Each pair runs back to back, so that a busy machine skews both alike.
BENCHMARK(BM_HashTableFind)->Arg(1000);
BENCHMARK(BM_UnorderedMapFind)->Arg(1000);
BENCHMARK(BM_HashTableFind)->Arg(1000000);
BENCHMARK(BM_UnorderedMapFind)->Arg(1000000);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(
        argc, argv,
        {
            {"BM_HashTableFind/1000", "BM_UnorderedMapFind/1000", 1.5,
             "kv_find_hash_item / unordered_map::find, 1,000 keys"},
            {"BM_HashTableFind/1000000", "BM_UnorderedMapFind/1000000", 1.5,
             "kv_find_hash_item / unordered_map::find, 1,000,000 keys"},
        });
}
