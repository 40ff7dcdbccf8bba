/*
** Node allocation: fixed-size records whose first 32-bit word is their kind,
** served through the block cache slot of that kind and cleared on the way out.
*/
#include <cstddef>
#include <cstring>

#include "internal.h"

extern "C" void *newNode(uint32_t size, NodeKind kind, MemHandle *handle)
{
    void *node = kv_mem_alloc_node(handle, size, kind);
    if (!node)
        return nullptr;
    std::memset(node, 0, size);
    if (size >= sizeof(NodeKind))
        static_cast<Node *>(node)->kind = kind;
    if (kind == KV_NODE_VALUE && size >= offsetof(Value, mem) + sizeof(MemHandle *))
        static_cast<Value *>(node)->mem = handle;
    return node;
}
