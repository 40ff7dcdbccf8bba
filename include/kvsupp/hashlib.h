/*
** Hash tables: a small string-keyed table with separate chaining, for the
** driver's own use. Unlike the rest of the library, tables and entries come
** from the system allocator (malloc/calloc) and are freed explicitly.
**
** Keys are zero-terminated strings the table references but never copies;
** they compare byte for byte (case-sensitive). Each entry carries one datum
** the caller stores in `data`, and a count of the times it was found again.
** A bucket's chain keeps its entries in the order they were added.
**
** The hash is fixed, because stored tables and peers may depend on where a
** key lands: h starts at 0 and, for each byte taken as a signed 8-bit
** number, h = h * 4 + byte in unsigned 32-bit arithmetic; the bucket is
** (h with its top bit cleared) modulo the bucket count. This hash spreads
** keys best over a prime number of buckets; only the last fifteen or so
** bytes of a long key reach it, and keys that differ only in a few digits
** share few values (col0000000 .. col0999999 give 12,286 in all), so such
** keys make long chains.
**
** Not locked: the caller serialises access to a table.
*/
#ifndef KVSUPP_HASHLIB_H
#define KVSUPP_HASHLIB_H

#include <stdint.h>

#include "export.h"

KV_BEGIN_DECLS

/* The bucket count of a table made with 0. */
#define KV_HASH_DEFAULT_SIZE 53

typedef struct HashItem HashItem;
typedef struct HashTable HashTable;

struct HashItem {
    HashItem *next;   /* next entry of the same bucket */
    const char *key;  /* the caller's key, not copied */
    void *data;       /* the caller's datum; NULL when the entry is made */
    int32_t hits;     /* times found again; stops at INT32_MAX */
};

struct HashTable {
    HashItem **buckets; /* `size` chain heads, NULL for an empty bucket */
    int32_t size;       /* number of buckets */
    int32_t count;      /* number of entries */
};

/* Called by kv_flush_hash_table for each entry's datum. */
typedef void (*kv_hash_disposer)(void *data);

/* A new, empty table of `size` buckets (0: 53; a prime spreads keys best).
   NULL for a negative size or when memory runs out. Free it with
   kv_flush_hash_table and then kv_dispose_hash_table. */
KV_EXPORT HashTable *kv_make_hash_table(int32_t size);

/* The bucket index of `key` (NULL hashes as ""); -1 for a NULL table. */
KV_EXPORT int32_t kv_hash_string(const char *key, HashTable *table);

/* The entry for `key`: the existing one with its hits incremented, or a new
   one (data NULL, hits 0) appended to its bucket's chain. The table keeps
   the pointer `key`, so the key must outlive the entry. NULL for a NULL key
   or table, or when memory runs out (the table is then unchanged). */
KV_EXPORT HashItem *kv_add_hash_item(const char *key, HashTable *table);

/* The entry for `key` with its hits incremented, or NULL (also for a NULL key
   or table). */
KV_EXPORT HashItem *kv_find_hash_item(const char *key, HashTable *table);

/* Unlinks the entry for `key` and returns it, not freed: the caller frees the
   entry (free), its key and its datum as they were allocated. NULL when the
   key is absent, or for a NULL key or table. */
KV_EXPORT HashItem *kv_remove_hash_item(const char *key, HashTable *table);

/* The first entry of bucket `index` (follow `next` for the rest), or NULL:
   also for a NULL table or an index outside 0 .. size - 1. Walking every
   index from 0 to size - 1 visits the whole table. */
KV_EXPORT HashItem *kv_get_hash_bucket(int32_t index, HashTable *table);

/* Frees every entry and leaves the table empty (count 0), its buckets kept.
   With `free_keys_and_data` non-zero, each entry's datum first goes to
   `disposer` (or to free when it is NULL) and its key to free; with 0, keys
   and data stay the caller's. A NULL table is ignored. */
KV_EXPORT void kv_flush_hash_table(HashTable *table, kv_hash_disposer disposer, int free_keys_and_data);

/* Frees the bucket array and the table itself, but no entry: flush the table
   first. A NULL table is ignored. */
KV_EXPORT void kv_dispose_hash_table(HashTable *table);

KV_END_DECLS

#endif
