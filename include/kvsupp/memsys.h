/*
** Memory handles: allocation trees that follow the ODBC handles.
**
** Every block belongs to a MemHandle. Releasing a handle releases the handles
** below it (newest first), then its own blocks (newest first), running each
** block's destructor just before the block goes. Blocks carry a reference
** count (kv_mem_clone) so two owners can share one. Fixed-size records go
** through a per-kind cache of at most ten free blocks per kind.
**
**     MemHandle --blocks--> BlockHeader <-> BlockHeader <-> ...   (newest first)
**         |                     |block
**      children                 v
**         v                 [16-byte prefix | user area ...]
**     MemHandle --next_sibling--> MemHandle --> ...               (newest first)
**
** Header and data block come from one system allocation. The user area is
** 16-byte aligned, like the system allocator's result; the pointer-sized word
** just before it points to the block's header.
**
** Nothing here is locked: one thread at a time touches a handle tree and the
** block caches.
*/
#ifndef KVSUPP_MEMSYS_H
#define KVSUPP_MEMSYS_H

#include <stdint.h>

#include "export.h"

KV_BEGIN_DECLS

typedef struct BlockHeader BlockHeader;
typedef struct MemHandle MemHandle;

/* A destructor is called with the user-area pointer just before the block dies. */
typedef void (*kv_destructor)(void *user_area);

struct MemHandle {
    BlockHeader *blocks;      /* newest live block, or NULL */
    MemHandle *parent;        /* NULL for a root handle */
    MemHandle *next_sibling;  /* next (older) child of the parent */
    MemHandle *children;      /* newest child handle, or NULL */
};

struct BlockHeader {
    void *block;              /* start of the data block, prefix included */
    uint32_t size;            /* requested size of the user area */
    BlockHeader *next;        /* older block of the owner; next free block in a cache */
    BlockHeader *prior;       /* newer block of the owner; NULL for the first */
    kv_destructor destructor; /* called before the block is freed or cached */
    int32_t ref_count;        /* 1 after allocation */
    int32_t cache_index;      /* 0..999 for cached kinds, -1 otherwise */
    MemHandle *owner;         /* handle whose chain holds the block; NULL once detached */
};

/* Number of cache slots, and the most free blocks one slot keeps. */
#define KV_CACHE_SLOTS 1000
#define KV_CACHE_LIMIT 10

/* Node kinds with a fixed record each; the kind is also the cache slot. */
#define KV_NODE_VALUE 154        /* Value record without a data area of its own */
#define KV_NODE_PARAMETER 155    /* dynamic parameter marker */
#define KV_NODE_VALUE_INLINE 166 /* cache slot of a Value followed by 128 data bytes */
#define KV_NODE_ERROR_HEADER 300 /* ErrorHeader */
#define KV_NODE_ERROR_RECORD 301 /* ErrorRecord */

typedef int32_t NodeKind;

/* A node: a record whose first 32-bit word holds its NodeKind. */
typedef struct Node {
    NodeKind kind;
} Node;

/* New handle below `parent` (or a root handle when NULL), pushed first on the
   parent's children. Returns NULL, changing nothing, when memory runs out. */
KV_EXPORT MemHandle *kv_mem_alloc_handle(MemHandle *parent);

/* Releases `handle`, every handle below it and every block on them; blocks
   still shared (ref_count above 1) lose one reference and live on, detached.
   `handle` is invalid afterwards. NULL is ignored. */
KV_EXPORT void kv_mem_release_handle(MemHandle *handle);

/* `size` bytes (0 allowed), not cleared, owned by `handle`. NULL when memory
   runs out or `handle` is NULL. */
KV_EXPORT void *kv_mem_alloc(MemHandle *handle, uint32_t size);

/* As kv_mem_alloc; `destructor` (may be NULL) runs when the block dies. */
KV_EXPORT void *kv_mem_alloc_ex(MemHandle *handle, uint32_t size, kv_destructor destructor);

/* `size` bytes through cache slot `cache_index` (0..999), not cleared: a block
   from the cache holds what its last user left. Every allocation of one slot
   must ask for the same size. An index outside 0..999 allocates uncached.
   NULL when memory runs out. */
KV_EXPORT void *kv_mem_alloc_node(MemHandle *handle, uint32_t size, int32_t cache_index);

/* Drops one reference to a live block; the last one unlinks it from its owner,
   runs its destructor and caches or frees it. `handle` is the handle the
   reference is held on (as given to kv_mem_clone; the owner or NULL for the
   owner's own references). NULL is ignored. */
KV_EXPORT void kv_mem_free(MemHandle *handle, void *pointer);

/* Adds one reference, held on `handle`, to a live block and returns
   `pointer`. Releasing the owner frees a block whose references are all held
   on the owner (or NULL); one also held on other handles survives, without
   an owner, until their last kv_mem_free. */
KV_EXPORT void *kv_mem_clone(MemHandle *handle, void *pointer);

/* Allocation-trace hooks; they do nothing. */
KV_EXPORT void kv_mem_trace_init(void *argument);
KV_EXPORT void kv_mem_trace_term(void *argument);

/* A zero-filled node of `size` bytes from cache slot `kind`, with `kind` in its
   first word; for kind 154 the Value's `mem` field holds `handle`. NULL when
   memory runs out. */
KV_EXPORT void *newNode(uint32_t size, NodeKind kind, MemHandle *handle);

KV_END_DECLS

#endif
