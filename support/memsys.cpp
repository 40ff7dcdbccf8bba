/*
** Memory handles and the per-kind block cache.
**
** A block is two system allocations: a data block (a 16-byte prefix whose
** second word points to the header, then the user area) and its BlockHeader,
** linked newest first into the owner's doubly linked chain. Freed blocks of a
** cached kind keep their data block and go to a per-slot free list of at most
** KV_CACHE_LIMIT entries; the caches live as long as the process.
*/
#include <cstdlib>
#include <cstring>

#include "internal.h"

namespace {

// The user area starts 16 bytes into the data block, keeping the system
// allocator's alignment; the header pointer sits in the word just before it.
constexpr std::size_t kPrefix = 16;

BlockHeader *type_cache[KV_CACHE_SLOTS];
int32_t type_count[KV_CACHE_SLOTS];

long fail_countdown;   // the allocation that brings it to 0 fails
long allocation_count; // system allocations made
long live_blocks;      // blocks allocated and not yet dead

void *user_area(BlockHeader *header)
{
    return static_cast<char *>(header->block) + kPrefix;
}

BlockHeader *header_of(void *pointer)
{
    BlockHeader *header;
    std::memcpy(&header, static_cast<char *>(pointer) - sizeof header, sizeof header);
    return header;
}

bool is_cache_slot(int32_t index)
{
    return index >= 0 && index < KV_CACHE_SLOTS;
}

// A data block and its header, not linked anywhere; NULL when either fails.
BlockHeader *new_block(uint32_t size, int32_t cache_index)
{
    void *data = kv_sys_malloc(kPrefix + size);
    if (!data)
        return nullptr;
    auto *header = static_cast<BlockHeader *>(kv_sys_malloc(sizeof(BlockHeader)));
    if (!header) {
        kv_sys_free(data);
        return nullptr;
    }
    header->block = data;
    header->size = size;
    header->cache_index = cache_index;
    std::memcpy(static_cast<char *>(data) + kPrefix - sizeof header, &header, sizeof header);
    return header;
}

// Makes `header` a live block with one reference at the front of `handle`'s chain.
void *adopt(MemHandle *handle, BlockHeader *header, kv_destructor destructor)
{
    header->destructor = destructor;
    header->ref_count = 1;
    header->owner = handle;
    header->prior = nullptr;
    header->next = handle->blocks;
    if (handle->blocks)
        handle->blocks->prior = header;
    handle->blocks = header;
    live_blocks++;
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
    live_blocks--;
    if (header->destructor)
        header->destructor(user_area(header));
    int32_t slot = header->cache_index;
    if (is_cache_slot(slot) && type_count[slot] < KV_CACHE_LIMIT) {
        header->next = type_cache[slot];
        type_cache[slot] = header;
        type_count[slot]++;
        return;
    }
    kv_sys_free(header->block);
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
        if (header->ref_count == 1) {
            kill(header);
        } else {
            // Still shared: it survives with no owner; its last kv_mem_free kills it.
            header->ref_count--;
            unlink(header);
            header->owner = nullptr;
        }
    }
    kv_sys_free(handle);
}

} // namespace

void *kv_sys_malloc(std::size_t size)
{
    if (fail_countdown > 0 && --fail_countdown == 0)
        return nullptr;
    allocation_count++;
    return std::malloc(size);
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

long kv_test_live_blocks()
{
    return live_blocks;
}

int kv_test_cache_count(int cache_index)
{
    return is_cache_slot(cache_index) ? type_count[cache_index] : 0;
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

void *kv_mem_alloc_node(MemHandle *handle, uint32_t size, int32_t cache_index)
{
    if (!handle)
        return nullptr;
    if (!is_cache_slot(cache_index))
        return kv_mem_alloc(handle, size);
    BlockHeader *header = type_cache[cache_index];
    if (header) {
        type_cache[cache_index] = header->next;
        type_count[cache_index]--;
    } else {
        header = new_block(size, cache_index);
        if (!header)
            return nullptr;
    }
    return adopt(handle, header, nullptr);
}

void kv_mem_free(MemHandle *, void *pointer)
{
    if (!pointer)
        return;
    BlockHeader *header = header_of(pointer);
    if (header->ref_count != 1) {
        header->ref_count--;
        return;
    }
    kill(header);
}

void *kv_mem_clone(MemHandle *, void *pointer)
{
    if (pointer)
        header_of(pointer)->ref_count++;
    return pointer;
}

void kv_mem_trace_init(void *)
{
}

void kv_mem_trace_term(void *)
{
}

} // extern "C"
