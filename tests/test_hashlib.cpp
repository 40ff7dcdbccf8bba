// Hash tables: the fixed hash, chain order, hits, flushing, bad arguments, and
// a long random run of adds, finds, removes and flushes against
// std::unordered_map as a model.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "internal.h"

namespace {

// The hash written out from its definition, for cross-checking.
int32_t reference_bucket(const std::string &key, int32_t size)
{
    uint32_t h = 0;
    for (unsigned char byte : key)
        h = h * 4u + static_cast<uint32_t>(byte >= 0x80 ? static_cast<int>(byte) - 256 : byte);
    return static_cast<int32_t>((h & 0x7FFFFFFFu) % static_cast<uint32_t>(size));
}

// Owns a table for one test and frees it with its entries (keys and data stay
// the test's).
struct Table {
    explicit Table(int32_t size = 0) : t(kv_make_hash_table(size)) {}
    ~Table()
    {
        kv_flush_hash_table(t, nullptr, 0);
        kv_dispose_hash_table(t);
    }
    HashTable *t;
};

std::vector<std::string> chain(HashTable *table, int32_t bucket)
{
    std::vector<std::string> keys;
    for (HashItem *item = kv_get_hash_bucket(bucket, table); item; item = item->next)
        keys.push_back(item->key);
    return keys;
}

TEST(HashTable, SizesAndEmptyBuckets)
{
    Table standard, seven(7);
    ASSERT_NE(standard.t, nullptr);
    EXPECT_EQ(standard.t->size, 53);
    EXPECT_EQ(standard.t->count, 0);
    EXPECT_EQ(seven.t->size, 7);
    for (int32_t i = 0; i < 53; i++)
        EXPECT_EQ(kv_get_hash_bucket(i, standard.t), nullptr);
    EXPECT_EQ(kv_make_hash_table(-1), nullptr);
}

TEST(HashTable, HashIsFixed)
{
    struct Case {
        const char *key;
        int32_t size;
        int32_t bucket;
    } cases[] = {
        {"ab", 53, 486 % 53},                   // 97 * 4 + 98
        {"", 53, 0},
        {"a", 7, 97 % 7},
        {"\xE9", 53, 0x7FFFFFE9 % 53},          // -23 wraps to 0xFFFFFFE9, top bit cleared
        {"a\xFF", 53, (97 * 4 - 1) % 53},       // a high byte subtracts
        {"SQL_CUR00000001", 1000003, -1},       // long keys: filled from the reference below
        {"\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80", 101, -1},
    };
    for (const Case &c : cases) {
        Table table(c.size == 53 ? 0 : c.size);
        int32_t expected = c.bucket >= 0 ? c.bucket : reference_bucket(c.key, c.size);
        EXPECT_EQ(expected, reference_bucket(c.key, c.size)) << c.key;
        EXPECT_EQ(kv_hash_string(c.key, table.t), expected) << c.key;
    }
    Table table;
    EXPECT_EQ(kv_hash_string(nullptr, table.t), 0);
    EXPECT_EQ(kv_hash_string("ab", nullptr), -1);
}

TEST(HashTable, AddTwiceGivesTheSameEntryAndCountsHits)
{
    Table table;
    char key[] = "customer";
    HashItem *first = kv_add_hash_item(key, table.t);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->key, key); // referenced, not copied
    EXPECT_EQ(first->data, nullptr);
    EXPECT_EQ(first->hits, 0);
    int datum = 7;
    first->data = &datum;

    std::string same = "customer"; // equal text at another address
    EXPECT_EQ(kv_add_hash_item(same.c_str(), table.t), first);
    EXPECT_EQ(first->hits, 1);
    EXPECT_EQ(table.t->count, 1);
    EXPECT_EQ(kv_find_hash_item("customer", table.t), first);
    EXPECT_EQ(first->hits, 2);
    EXPECT_EQ(first->data, &datum);
    EXPECT_EQ(kv_find_hash_item("Customer", table.t), nullptr); // case-sensitive
    EXPECT_EQ(kv_find_hash_item("custom", table.t), nullptr);
}

TEST(HashTable, HitsStopAtTheLargestCount)
{
    Table table;
    HashItem *item = kv_add_hash_item("k", table.t);
    item->hits = INT32_MAX - 1;
    kv_find_hash_item("k", table.t);
    kv_find_hash_item("k", table.t);
    EXPECT_EQ(item->hits, INT32_MAX);
}

TEST(HashTable, ChainsKeepInsertionOrder)
{
    // With one bucket every key shares a chain.
    Table table(1);
    for (const char *key : {"c", "a", "b"})
        kv_add_hash_item(key, table.t);
    EXPECT_EQ(chain(table.t, 0), (std::vector<std::string>{"c", "a", "b"}));

    HashItem *removed = kv_remove_hash_item("c", table.t);
    ASSERT_NE(removed, nullptr);
    EXPECT_STREQ(removed->key, "c");
    std::free(removed);
    EXPECT_EQ(chain(table.t, 0), (std::vector<std::string>{"a", "b"}));
    removed = kv_remove_hash_item("b", table.t); // the last of the chain
    std::free(removed);
    kv_add_hash_item("d", table.t);
    EXPECT_EQ(chain(table.t, 0), (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(table.t->count, 2);
}

TEST(HashTable, AbsentKeysAndNullArgumentsAreHarmless)
{
    Table table;
    EXPECT_EQ(kv_find_hash_item("x", table.t), nullptr);
    EXPECT_EQ(kv_remove_hash_item("x", table.t), nullptr);
    EXPECT_EQ(kv_find_hash_item(nullptr, table.t), nullptr);
    EXPECT_EQ(kv_remove_hash_item(nullptr, table.t), nullptr);
    EXPECT_EQ(kv_add_hash_item(nullptr, table.t), nullptr);
    EXPECT_EQ(table.t->count, 0);

    EXPECT_EQ(kv_find_hash_item("x", nullptr), nullptr);
    EXPECT_EQ(kv_remove_hash_item("x", nullptr), nullptr);
    EXPECT_EQ(kv_add_hash_item("x", nullptr), nullptr);
    EXPECT_EQ(kv_get_hash_bucket(0, nullptr), nullptr);
    kv_flush_hash_table(nullptr, nullptr, 1);
    kv_dispose_hash_table(nullptr);

    kv_add_hash_item("x", table.t);
    for (int32_t index : {-1, 53, INT32_MAX, INT32_MIN})
        EXPECT_EQ(kv_get_hash_bucket(index, table.t), nullptr) << index;
}

int disposed;
void count_and_free(void *data)
{
    disposed++;
    std::free(data);
}

TEST(HashTable, FlushFreesKeysAndDataOnlyWhenAsked)
{
    HashTable *table = kv_make_hash_table(3);
    std::string kept_keys[] = {"one", "two", "three", "four"};
    int kept_data[4];
    for (int i = 0; i < 4; i++)
        kv_add_hash_item(kept_keys[i].c_str(), table)->data = &kept_data[i];
    kv_flush_hash_table(table, nullptr, 0); // entries only: ASan would see a bad free otherwise
    EXPECT_EQ(table->count, 0);
    for (int32_t i = 0; i < table->size; i++)
        EXPECT_EQ(kv_get_hash_bucket(i, table), nullptr);

    // Reused after a flush; keys and data from malloc, handed back on flush.
    for (const char *key : {"alpha", "beta", "gamma"})
        kv_add_hash_item(strdup(key), table)->data = std::malloc(16);
    disposed = 0;
    kv_flush_hash_table(table, count_and_free, 1);
    EXPECT_EQ(disposed, 3);
    kv_add_hash_item(strdup("delta"), table)->data = std::malloc(8);
    kv_flush_hash_table(table, nullptr, 1); // data to free()
    EXPECT_EQ(table->count, 0);
    kv_dispose_hash_table(table); // LeakSanitizer checks that nothing is left
}

TEST(HashTable, RunningOutOfMemoryLeavesTheTableUnchanged)
{
    kv_test_fail_allocation(1);
    EXPECT_EQ(kv_make_hash_table(0), nullptr); // the head
    kv_test_fail_allocation(2);
    EXPECT_EQ(kv_make_hash_table(0), nullptr); // the buckets; the head is freed again
    kv_test_fail_allocation(0);

    Table table;
    kv_add_hash_item("a", table.t);
    kv_test_fail_allocation(1);
    EXPECT_EQ(kv_add_hash_item("b", table.t), nullptr);
    kv_test_fail_allocation(0);
    EXPECT_EQ(table.t->count, 1);
    EXPECT_EQ(kv_find_hash_item("b", table.t), nullptr);
    EXPECT_NE(kv_add_hash_item("b", table.t), nullptr);
}

// The model: for each key present, its datum and hits, and its place in the
// order of additions (chains must follow it).
struct ModelEntry {
    void *data;
    int32_t hits;
    long added;
};

void expect_same(HashTable *table, const std::unordered_map<std::string, ModelEntry> &model)
{
    ASSERT_EQ(table->count, static_cast<int32_t>(model.size()));
    std::size_t walked = 0;
    for (int32_t bucket = 0; bucket < table->size; bucket++) {
        long previous = -1;
        for (HashItem *item = kv_get_hash_bucket(bucket, table); item; item = item->next, walked++) {
            auto it = model.find(item->key);
            ASSERT_NE(it, model.end()) << item->key;
            EXPECT_EQ(reference_bucket(item->key, table->size), bucket) << item->key;
            EXPECT_EQ(item->data, it->second.data);
            EXPECT_EQ(item->hits, it->second.hits);
            EXPECT_GT(it->second.added, previous) << "chain out of insertion order";
            previous = it->second.added;
        }
    }
    EXPECT_EQ(walked, model.size());
}

TEST(HashTable, AgreesWithAModelOverRandomOperations)
{
    // Keys with high bytes and shared endings, so that chains grow and the
    // signed bytes matter; a small prime table keeps chains long.
    std::mt19937 random(20261211);
    std::set<std::string> distinct = {"SQL_CUR00000001", "SQL_CUR00000010"};
    while (distinct.size() < 3000) {
        std::string key;
        int length = 1 + static_cast<int>(random() % 24);
        for (int j = 0; j < length; j++)
            key.push_back(static_cast<char>(1 + random() % 255));
        distinct.insert(key);
    }
    const std::vector<std::string> keys(distinct.begin(), distinct.end());

    Table table(211);
    std::unordered_map<std::string, ModelEntry> model;
    std::vector<int> data(keys.size());
    long clock = 0;
    for (int step = 0; step < 100000; step++) {
        std::size_t k = random() % keys.size();
        const std::string &key = keys[k];
        auto it = model.find(key);
        switch (random() % 16) {
        case 0: case 1: case 2: case 3: case 4: case 5: { // add
            HashItem *item = kv_add_hash_item(key.c_str(), table.t);
            ASSERT_NE(item, nullptr);
            if (it == model.end()) {
                EXPECT_EQ(item->hits, 0);
                item->data = &data[k];
                model[key] = ModelEntry{&data[k], 0, clock++};
            } else {
                it->second.hits++;
                EXPECT_EQ(item->data, it->second.data);
            }
            break;
        }
        case 6: case 7: case 8: case 9: case 10: { // find
            HashItem *item = kv_find_hash_item(key.c_str(), table.t);
            EXPECT_EQ(item != nullptr, it != model.end()) << step;
            if (item && it != model.end()) {
                it->second.hits++;
                EXPECT_EQ(item->hits, it->second.hits);
            }
            break;
        }
        case 11: case 12: case 13: case 14: { // remove
            HashItem *item = kv_remove_hash_item(key.c_str(), table.t);
            EXPECT_EQ(item != nullptr, it != model.end()) << step;
            if (item) {
                EXPECT_EQ(item->key, key.c_str());
                std::free(item);
                model.erase(key);
            }
            break;
        }
        default:
            if (random() % 64 == 0) { // a rare flush
                kv_flush_hash_table(table.t, nullptr, 0);
                model.clear();
            }
        }
        if (step % 5000 == 0)
            expect_same(table.t, model);
        ASSERT_EQ(table.t->count, static_cast<int32_t>(model.size())) << step;
    }
    expect_same(table.t, model);
}

} // namespace
