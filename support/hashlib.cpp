/*
** Hash tables: an array of chain heads on calloc, entries on malloc, each
** chain in insertion order. Lookups walk one chain and compare the first
** byte before the whole key. The hash is fixed (see hashlib.h).
*/
#include <climits>
#include <cstdlib>
#include <cstring>

#include "internal.h"

namespace {

// Bytes are read as signed char on purpose: plain char is unsigned on some
// targets, and that would move every key holding a byte above 0x7F.
uint32_t hash_key(const char *key)
{
    uint32_t h = 0;
    for (const auto *p = reinterpret_cast<const signed char *>(key); *p; p++)
        h = h * 4 + static_cast<uint32_t>(static_cast<int32_t>(*p));
    return h;
}

int32_t bucket_of(const char *key, const HashTable *table)
{
    return static_cast<int32_t>((hash_key(key) & 0x7FFFFFFFu) % static_cast<uint32_t>(table->size));
}

bool same_key(const char *stored, const char *key)
{
    return stored[0] == key[0] && std::strcmp(stored, key) == 0;
}

// The link that points at the entry for `key` (a bucket head or a `next`),
// or the link that ends the chain when the key is absent.
HashItem **find_link(const char *key, HashTable *table)
{
    HashItem **link = &table->buckets[bucket_of(key, table)];
    while (*link && !same_key((*link)->key, key))
        link = &(*link)->next;
    return link;
}

HashItem *found_again(HashItem *item)
{
    if (item->hits < INT32_MAX)
        item->hits++;
    return item;
}

void free_entry(HashItem *item, kv_hash_disposer disposer, int free_keys_and_data)
{
    if (free_keys_and_data) {
        if (disposer)
            disposer(item->data);
        else
            std::free(item->data);
        std::free(const_cast<char *>(item->key));
    }
    kv_sys_free(item);
}

} // namespace

extern "C" {

HashTable *kv_make_hash_table(int32_t size)
{
    if (size < 0)
        return nullptr;
    if (size == 0)
        size = KV_HASH_DEFAULT_SIZE;
    auto *table = static_cast<HashTable *>(kv_sys_malloc(sizeof(HashTable)));
    if (!table)
        return nullptr;
    table->buckets = static_cast<HashItem **>(kv_sys_calloc(static_cast<std::size_t>(size), sizeof(HashItem *)));
    if (!table->buckets) {
        kv_sys_free(table);
        return nullptr;
    }
    table->size = size;
    table->count = 0;
    return table;
}

int32_t kv_hash_string(const char *key, HashTable *table)
{
    if (!table || table->size <= 0)
        return -1;
    return bucket_of(key ? key : "", table);
}

HashItem *kv_add_hash_item(const char *key, HashTable *table)
{
    if (!key || !table)
        return nullptr;
    HashItem **link = find_link(key, table);
    if (*link)
        return found_again(*link);
    auto *item = static_cast<HashItem *>(kv_sys_malloc(sizeof(HashItem)));
    if (!item)
        return nullptr;
    *item = HashItem{nullptr, key, nullptr, 0};
    *link = item;
    table->count++;
    return item;
}

HashItem *kv_find_hash_item(const char *key, HashTable *table)
{
    if (!key || !table)
        return nullptr;
    HashItem *item = *find_link(key, table);
    return item ? found_again(item) : nullptr;
}

HashItem *kv_remove_hash_item(const char *key, HashTable *table)
{
    if (!key || !table)
        return nullptr;
    HashItem **link = find_link(key, table);
    HashItem *item = *link;
    if (!item)
        return nullptr;
    *link = item->next;
    item->next = nullptr;
    table->count--;
    return item;
}

HashItem *kv_get_hash_bucket(int32_t index, HashTable *table)
{
    if (!table || index < 0 || index >= table->size)
        return nullptr;
    return table->buckets[index];
}

void kv_flush_hash_table(HashTable *table, kv_hash_disposer disposer, int free_keys_and_data)
{
    if (!table)
        return;
    for (int32_t i = 0; i < table->size; i++) {
        HashItem *item = table->buckets[i];
        while (item) {
            HashItem *next = item->next;
            free_entry(item, disposer, free_keys_and_data);
            item = next;
        }
        table->buckets[i] = nullptr;
    }
    table->count = 0;
}

void kv_dispose_hash_table(HashTable *table)
{
    if (!table)
        return;
    kv_sys_free(table->buckets);
    kv_sys_free(table);
}

} // extern "C"
