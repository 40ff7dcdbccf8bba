/*
** Memory handles and the per-kind block cache.
**
** A block is one system allocation laid out as
**
**     [BlockHeader, padded to 64 bytes][8 unused][header pointer][user area ...]
**                                      ^ block                   ^ block + 16
**
** so the header's `block` is the data block with its 16-byte prefix, the word
** just before the user area points back to the header, and the user area
** keeps the system allocator's 16-byte alignment. Headers are linked newest
** first into the owner's doubly linked chain. Freed blocks of a cached kind
** stay whole and go to a per-slot free list of at most KV_CACHE_LIMIT
** entries; the caches live as long as the process. Nodes (records whose
** first word is their kind) are cleared blocks of the cache slot named by
** their kind.
*/
#include <cstddef>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "internal.h"

namespace {

constexpr std::size_t kHeaderSpace = (sizeof(BlockHeader) + 15) / 16 * 16;
constexpr std::size_t kPrefix = 16;
constexpr std::size_t kUserOffset = kHeaderSpace + kPrefix;

BlockHeader *type_cache[KV_CACHE_SLOTS];
int32_t type_count[KV_CACHE_SLOTS];

long fail_countdown;   // the allocation that brings it to 0 fails
long allocation_count; // system allocations made
// Blocks obtained from and given back to the system. Counted on the slow
// paths only, so the cached path carries no bookkeeping beyond the cache.
long blocks_made;
long blocks_unmade;

// Header and user area sit at a fixed distance, so neither needs a load to
// find the other.
void *user_area(BlockHeader *header)
{
    return reinterpret_cast<char *>(header) + kUserOffset;
}

BlockHeader *header_of(void *pointer)
{
    return reinterpret_cast<BlockHeader *>(static_cast<char *>(pointer) - kUserOffset);
}

bool is_cache_slot(int32_t index)
{
    return index >= 0 && index < KV_CACHE_SLOTS;
}

// A block not linked anywhere, or NULL when the system has no memory.
BlockHeader *new_block(uint32_t size, int32_t cache_index)
{
    void *memory = kv_sys_malloc(kUserOffset + size);
    if (!memory)
        return nullptr;
    auto *header = static_cast<BlockHeader *>(memory);
    header->block = static_cast<char *>(memory) + kHeaderSpace;
    header->size = size;
    header->cache_index = cache_index;
    std::memcpy(static_cast<char *>(header->block) + kPrefix - sizeof header, &header, sizeof header);
    blocks_made++;
    return header;
}

// References held on handles other than the owner (kv_mem_clone with another
// handle) are counted in the first word of the block's prefix, so releasing
// the owner can tell a block shared with another handle from one whose
// references are all its own.
int32_t &foreign_references(BlockHeader *header)
{
    return *static_cast<int32_t *>(header->block);
}

// Makes `header` a live block with one reference at the front of `handle`'s chain.
void *adopt(MemHandle *handle, BlockHeader *header, kv_destructor destructor)
{
    header->destructor = destructor;
    header->ref_count = 1;
    foreign_references(header) = 0;
    header->owner = handle;
    header->prior = nullptr;
    header->next = handle->blocks;
    if (handle->blocks)
        handle->blocks->prior = header;
    handle->blocks = header;
    return user_area(header);
}

// Takes the block out of its owner's chain; a detached block has no owner.
void unlink(BlockHeader *header)
{
    if (header->prior)
        header->prior->next = header->next;
    else if (header->owner)
        header->owner->blocks = header->next;
    if (header->next)
        header->next->prior = header->prior;
    header->next = nullptr;
    header->prior = nullptr;
}

// The end of a block whose last reference is gone: destructor, then cache or system.
void kill(BlockHeader *header)
{
    unlink(header);
    header->owner = nullptr;
    if (header->destructor)
        header->destructor(user_area(header));
    int32_t slot = header->cache_index;
    if (is_cache_slot(slot) && type_count[slot] < KV_CACHE_LIMIT) {
        header->next = type_cache[slot];
        type_cache[slot] = header;
        type_count[slot]++;
        return;
    }
    blocks_unmade++;
    kv_sys_free(header);
}

void remove_child(MemHandle *parent, MemHandle *child)
{
    MemHandle **link = &parent->children;
    while (*link && *link != child)
        link = &(*link)->next_sibling;
    if (*link)
        *link = child->next_sibling;
}

// Releases the blocks of one handle that has no children left, then the handle.
void release_one(MemHandle *handle)
{
    if (handle->parent)
        remove_child(handle->parent, handle);
    while (BlockHeader *header = handle->blocks) {
        int32_t foreign = foreign_references(header);
        if (header->ref_count == 1 || foreign <= 0) {
            kill(header); // every reference was held on this handle
        } else {
            // Shared with other handles: it survives with no owner, holding
            // their references only; the last kv_mem_free kills it.
            header->ref_count = std::min(header->ref_count - 1, foreign);
            unlink(header);
            header->owner = nullptr;
        }
    }
    kv_sys_free(handle);
}

// Clears a node in fixed 32-byte steps the compiler turns into vector stores:
// nodes are small, and a call to memset would cost as much as the allocation.
void clear_node(void *node, uint32_t size)
{
    auto *p = static_cast<unsigned char *>(node);
    for (; size >= 32; size -= 32, p += 32)
        std::memset(p, 0, 32);
    for (; size >= 8; size -= 8, p += 8)
        std::memset(p, 0, 8);
    for (; size > 0; size--)
        *p++ = 0;
}

} // namespace

void *kv_sys_malloc(std::size_t size)
{
    if (fail_countdown > 0 && --fail_countdown == 0)
        return nullptr;
    allocation_count++;
    return std::malloc(size);
}

// calloc through the same seam: zeroed memory, and a product that would
// overflow is refused by calloc itself.
void *kv_sys_calloc(std::size_t count, std::size_t size)
{
    if (fail_countdown > 0 && --fail_countdown == 0)
        return nullptr;
    allocation_count++;
    return std::calloc(count, size);
}

void kv_sys_free(void *pointer)
{
    std::free(pointer);
}

void kv_test_fail_allocation(long nth)
{
    fail_countdown = nth > 0 ? nth : 0;
}

long kv_test_allocation_count()
{
    return allocation_count;
}

// Live blocks are those the system gave and the caches do not hold.
long kv_test_live_blocks()
{
    long cached = 0;
    for (int32_t count : type_count)
        cached += count;
    return blocks_made - blocks_unmade - cached;
}

int kv_test_cache_count(int cache_index)
{
    return is_cache_slot(cache_index) ? type_count[cache_index] : 0;
}

void kv_test_empty_caches()
{
    for (int slot = 0; slot < KV_CACHE_SLOTS; slot++) {
        while (BlockHeader *header = type_cache[slot]) {
            type_cache[slot] = header->next;
            blocks_unmade++;
            kv_sys_free(header);
        }
        type_count[slot] = 0;
    }
}

extern "C" {

MemHandle *kv_mem_alloc_handle(MemHandle *parent)
{
    auto *handle = static_cast<MemHandle *>(kv_sys_malloc(sizeof(MemHandle)));
    if (!handle)
        return nullptr;
    *handle = MemHandle{nullptr, parent, nullptr, nullptr};
    if (parent) {
        handle->next_sibling = parent->children;
        parent->children = handle;
    }
    return handle;
}

// Children go newest first, each one's own children before its blocks. The
// walk is iterative, so deep trees cannot exhaust the stack.
void kv_mem_release_handle(MemHandle *handle)
{
    if (!handle)
        return;
    MemHandle *current = handle;
    for (;;) {
        while (current->children)
            current = current->children;
        MemHandle *parent = current->parent;
        bool done = current == handle;
        release_one(current);
        if (done)
            return;
        current = parent;
    }
}

void *kv_mem_alloc_ex(MemHandle *handle, uint32_t size, kv_destructor destructor)
{
    if (!handle)
        return nullptr;
    BlockHeader *header = new_block(size, -1);
    return header ? adopt(handle, header, destructor) : nullptr;
}

void *kv_mem_alloc(MemHandle *handle, uint32_t size)
{
    return kv_mem_alloc_ex(handle, size, nullptr);
}

// The slow path of kv_mem_alloc_node, kept out of line so the cached path
// stays short.
[[gnu::noinline]] static void *alloc_uncached_node(MemHandle *handle, uint32_t size, int32_t cache_index)
{
    if (!is_cache_slot(cache_index))
        return kv_mem_alloc(handle, size);
    BlockHeader *header = new_block(size, cache_index);
    return header ? adopt(handle, header, nullptr) : nullptr;
}

void *kv_mem_alloc_node(MemHandle *handle, uint32_t size, int32_t cache_index)
{
    if (!handle)
        return nullptr;
    BlockHeader *header = is_cache_slot(cache_index) ? type_cache[cache_index] : nullptr;
    if (!header)
        return alloc_uncached_node(handle, size, cache_index);
    type_cache[cache_index] = header->next;
    type_count[cache_index]--;
    return adopt(handle, header, nullptr);
}

// The kind is also the node's cache slot; a Value (kind 154) records its handle.
void *newNode(uint32_t size, NodeKind kind, MemHandle *handle)
{
    void *node = kv_mem_alloc_node(handle, size, kind);
    if (!node)
        return nullptr;
    clear_node(node, size);
    if (size >= sizeof(NodeKind))
        static_cast<Node *>(node)->kind = kind;
    if (kind == KV_NODE_VALUE && size >= offsetof(Value, mem) + sizeof(MemHandle *))
        static_cast<Value *>(node)->mem = handle;
    return node;
}

void kv_mem_free(MemHandle *handle, void *pointer)
{
    if (!pointer)
        return;
    BlockHeader *header = header_of(pointer);
    if (header->ref_count != 1) {
        header->ref_count--;
        if (handle && handle != header->owner && foreign_references(header) > 0)
            foreign_references(header)--;
        return;
    }
    kill(header);
}

void *kv_mem_clone(MemHandle *handle, void *pointer)
{
    if (!pointer)
        return pointer;
    BlockHeader *header = header_of(pointer);
    header->ref_count++;
    if (handle && handle != header->owner)
        foreign_references(header)++;
    return pointer;
}

void kv_mem_trace_init(void *)
{
}

void kv_mem_trace_term(void *)
{
}

} // extern "C"
