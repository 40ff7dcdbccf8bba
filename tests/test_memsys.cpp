// Memory handles: tree shape, release order, sharing, the block cache and
// allocation failures. Invariants are checked by walking the chains.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "internal.h"

namespace {

// Cache slots no library record uses, so the tests own their contents.
constexpr int32_t kSlotA = 901;
constexpr int32_t kSlotB = 902;

std::vector<std::string> destroyed;

void record_destroyed(void *user)
{
    destroyed.emplace_back(static_cast<const char *>(user));
}

void ignore_destroyed(void *)
{
}

// A block holding a name, whose destructor records that name.
char *named_block(MemHandle *handle, const char *name)
{
    auto *p = static_cast<char *>(kv_mem_alloc_ex(handle, static_cast<uint32_t>(std::strlen(name) + 1),
                                                  record_destroyed));
    std::strcpy(p, name);
    return p;
}

BlockHeader *header_of(void *user)
{
    BlockHeader *header;
    std::memcpy(&header, static_cast<char *>(user) - sizeof header, sizeof header);
    return header;
}

// Checks the links of a handle's chain and returns its blocks, newest first.
std::vector<void *> chain_of(MemHandle *handle)
{
    std::vector<void *> blocks;
    BlockHeader *prior = nullptr;
    for (BlockHeader *h = handle->blocks; h; prior = h, h = h->next) {
        EXPECT_EQ(h->prior, prior);
        EXPECT_EQ(h->owner, handle);
        EXPECT_GE(h->ref_count, 1);
        blocks.push_back(static_cast<char *>(h->block) + 16);
        EXPECT_EQ(header_of(blocks.back()), h);
    }
    return blocks;
}

std::vector<MemHandle *> children_of(MemHandle *handle)
{
    std::vector<MemHandle *> children;
    for (MemHandle *c = handle->children; c; c = c->next_sibling) {
        EXPECT_EQ(c->parent, handle);
        children.push_back(c);
    }
    return children;
}

class MemsysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        destroyed.clear();
        live_at_start = kv_test_live_blocks();
        root = kv_mem_alloc_handle(nullptr);
        ASSERT_NE(root, nullptr);
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        kv_mem_release_handle(root);
        EXPECT_EQ(kv_test_live_blocks(), live_at_start) << "blocks leaked by the test's handle tree";
    }
    MemHandle *root = nullptr;
    long live_at_start = 0;
};

TEST_F(MemsysTest, NewHandlesArePushedFirstOnTheParentsChildren)
{
    MemHandle *a = kv_mem_alloc_handle(root);
    MemHandle *b = kv_mem_alloc_handle(root);
    MemHandle *c = kv_mem_alloc_handle(root);
    EXPECT_EQ(children_of(root), (std::vector<MemHandle *>{c, b, a}));
    EXPECT_EQ(a->blocks, nullptr);
    EXPECT_EQ(a->children, nullptr);
}

TEST_F(MemsysTest, EmptyHandleLeavesItsParentWhereverItStands)
{
    for (int victim = 0; victim < 3; victim++) {
        MemHandle *parent = kv_mem_alloc_handle(root);
        MemHandle *kids[3];
        for (auto &k : kids)
            k = kv_mem_alloc_handle(parent);
        // children_of lists newest first: kids[2], kids[1], kids[0].
        kv_mem_release_handle(kids[victim]);
        std::vector<MemHandle *> expected;
        for (int i = 2; i >= 0; i--)
            if (i != victim)
                expected.push_back(kids[i]);
        EXPECT_EQ(children_of(parent), expected) << "released child " << victim;
    }
}

TEST_F(MemsysTest, ReleaseRunsChildrenNewestFirstAndEachChildBeforeItsParent)
{
    named_block(root, "root-old");
    MemHandle *older = kv_mem_alloc_handle(root);
    named_block(older, "older-1");
    named_block(older, "older-2");
    MemHandle *newer = kv_mem_alloc_handle(root);
    named_block(newer, "newer-1");
    MemHandle *grandchild = kv_mem_alloc_handle(newer);
    named_block(grandchild, "grandchild-1");
    named_block(root, "root-new");

    MemHandle *top = root;
    root = kv_mem_alloc_handle(nullptr); // TearDown releases a fresh one
    kv_mem_release_handle(top);

    EXPECT_EQ(destroyed, (std::vector<std::string>{"grandchild-1", "newer-1", "older-2", "older-1", "root-new",
                                                   "root-old"}));
}

TEST_F(MemsysTest, ReleasingAChildLeavesSiblingsAndParentIntact)
{
    MemHandle *keep = kv_mem_alloc_handle(root);
    char *kept = named_block(keep, "kept");
    MemHandle *drop = kv_mem_alloc_handle(root);
    named_block(drop, "dropped");
    kv_mem_release_handle(drop);
    EXPECT_EQ(destroyed, std::vector<std::string>{"dropped"});
    EXPECT_EQ(children_of(root), std::vector<MemHandle *>{keep});
    EXPECT_EQ(chain_of(keep), std::vector<void *>{kept});
    EXPECT_STREQ(kept, "kept");
}

TEST_F(MemsysTest, FreeUnlinksFirstMiddleAndLastBlocks)
{
    std::vector<void *> blocks;
    for (int i = 0; i < 5; i++)
        blocks.insert(blocks.begin(), kv_mem_alloc(root, 8));
    // Newest is blocks[0]. Free a middle, the newest and the oldest.
    kv_mem_free(root, blocks[2]);
    kv_mem_free(root, blocks[0]);
    kv_mem_free(root, blocks[4]);
    EXPECT_EQ(chain_of(root), (std::vector<void *>{blocks[1], blocks[3]}));
}

TEST_F(MemsysTest, FreeUnlinksFromTheOwnerWhateverHandleIsPassed)
{
    MemHandle *owner = kv_mem_alloc_handle(root);
    MemHandle *other = kv_mem_alloc_handle(root);
    void *a = kv_mem_alloc(owner, 4);
    void *b = kv_mem_alloc(owner, 4);
    kv_mem_alloc(other, 4);
    kv_mem_free(other, b);
    EXPECT_EQ(chain_of(owner), std::vector<void *>{a});
    EXPECT_EQ(chain_of(other).size(), 1u);
}

TEST_F(MemsysTest, ZeroSizedBlocksAreDistinctAndAligned)
{
    void *a = kv_mem_alloc(root, 0);
    void *b = kv_mem_alloc(root, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    for (void *p : {a, b, kv_mem_alloc(root, 3), kv_mem_alloc_node(root, 24, kSlotA)})
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << "user areas keep malloc's alignment";
    kv_mem_free(root, a);
    EXPECT_EQ(chain_of(root).size(), 3u);
}

TEST_F(MemsysTest, CloneKeepsTheBlockUntilTheLastReference)
{
    char *p = named_block(root, "shared");
    EXPECT_EQ(kv_mem_clone(nullptr, p), p);
    kv_mem_free(root, p);
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(chain_of(root), std::vector<void *>{p});
    EXPECT_STREQ(p, "shared");
    kv_mem_free(root, p);
    EXPECT_EQ(destroyed, std::vector<std::string>{"shared"});
    EXPECT_EQ(root->blocks, nullptr);
}

TEST_F(MemsysTest, SharedBlockOutlivesItsReleasedOwner)
{
    MemHandle *parent = kv_mem_alloc_handle(root);
    MemHandle *owner = kv_mem_alloc_handle(parent);
    named_block(owner, "before");
    char *survivor = named_block(owner, "survivor");
    named_block(owner, "after");
    kv_mem_clone(root, survivor); // two references held on another handle
    kv_mem_clone(root, survivor);
    kv_mem_clone(owner, survivor); // and one more of the owner's own
    long live = kv_test_live_blocks();

    kv_mem_release_handle(parent);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"after", "before"}));
    EXPECT_EQ(kv_test_live_blocks(), live - 2);
    EXPECT_EQ(header_of(survivor)->owner, nullptr);
    EXPECT_EQ(header_of(survivor)->ref_count, 2);
    EXPECT_STREQ(survivor, "survivor"); // ASan: still valid memory

    kv_mem_free(root, survivor);
    EXPECT_EQ(destroyed.size(), 2u);
    kv_mem_free(root, survivor);
    EXPECT_EQ(destroyed.back(), "survivor");
    EXPECT_EQ(kv_test_live_blocks(), live - 3);
}

TEST_F(MemsysTest, BlockSharedOnlyOnItsOwnHandleGoesWithIt)
{
    MemHandle *owner = kv_mem_alloc_handle(root);
    char *shared = named_block(owner, "shared");
    kv_mem_clone(owner, shared);
    kv_mem_clone(nullptr, shared);
    char *returned = named_block(owner, "returned");
    kv_mem_clone(root, returned); // held on another handle, then given back
    kv_mem_free(root, returned);
    long live = kv_test_live_blocks();
    kv_mem_release_handle(owner);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"returned", "shared"}));
    EXPECT_EQ(kv_test_live_blocks(), live - 2);
}

TEST_F(MemsysTest, CacheKeepsTenBlocksPerSlotMostRecentFirstUncleared)
{
    std::vector<char *> nodes;
    for (int i = 0; i < 11; i++) {
        nodes.push_back(static_cast<char *>(kv_mem_alloc_node(root, 32, kSlotA)));
        std::snprintf(nodes.back(), 32, "node %d", i);
    }
    int cached_before = kv_test_cache_count(kSlotA);
    ASSERT_EQ(cached_before, 0);
    for (char *n : nodes)
        kv_mem_free(root, n);
    EXPECT_EQ(kv_test_cache_count(kSlotA), KV_CACHE_LIMIT) << "the eleventh block goes back to the system";

    long system_allocations = kv_test_allocation_count();
    kv_test_fail_allocation(1); // any system allocation now would fail
    for (int i = 9; i >= 0; i--) {
        auto *n = static_cast<char *>(kv_mem_alloc_node(root, 32, kSlotA));
        ASSERT_EQ(n, nodes[i]) << "most recently freed first";
        EXPECT_EQ(std::string(n), "node " + std::to_string(i)) << "cached blocks are not cleared";
    }
    EXPECT_EQ(kv_test_allocation_count(), system_allocations);
    EXPECT_EQ(kv_test_cache_count(kSlotA), 0);
    EXPECT_EQ(kv_mem_alloc_node(root, 32, kSlotA), nullptr) << "the cache is empty: the system is asked";
}

TEST_F(MemsysTest, ReleasedNodesGoBackToTheirCache)
{
    MemHandle *child = kv_mem_alloc_handle(root);
    for (int i = 0; i < 3; i++)
        kv_mem_alloc_node(child, 40, kSlotB); // one size per slot, as the other tests use it
    int before = kv_test_cache_count(kSlotB);
    kv_mem_release_handle(child);
    EXPECT_EQ(kv_test_cache_count(kSlotB), std::min(before + 3, KV_CACHE_LIMIT));
}

TEST_F(MemsysTest, NodeIndexOutsideTheCacheAllocatesUncached)
{
    for (int32_t index : {-1, KV_CACHE_SLOTS, 5000}) {
        void *p = kv_mem_alloc_node(root, 8, index);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(header_of(p)->cache_index, -1);
        kv_mem_free(root, p);
    }
}

TEST_F(MemsysTest, NewNodeIsClearedAndCarriesItsKind)
{
    // Dirty a cached block first: newNode must clear what kv_mem_alloc_node keeps.
    auto *dirty = static_cast<unsigned char *>(kv_mem_alloc_node(root, 40, kSlotB));
    std::memset(dirty, 0xAB, 40);
    kv_mem_free(root, dirty);
    auto *node = static_cast<unsigned char *>(newNode(40, kSlotB, root));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(reinterpret_cast<Node *>(node)->kind, kSlotB);
    for (int i = 4; i < 40; i++)
        ASSERT_EQ(node[i], 0) << "byte " << i;

    auto *value = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, root));
    EXPECT_EQ(value->kind, KV_NODE_VALUE);
    EXPECT_EQ(value->mem, root);
    EXPECT_EQ(value->type, 0);
}

TEST_F(MemsysTest, DeepTreesReleaseWithoutRecursion)
{
    MemHandle *h = kv_mem_alloc_handle(root);
    for (int i = 0; i < 200000; i++) {
        h = kv_mem_alloc_handle(h);
        ASSERT_NE(h, nullptr);
    }
    kv_mem_alloc(h, 1);
    kv_mem_release_handle(root->children);
    EXPECT_EQ(root->children, nullptr);
}

TEST_F(MemsysTest, NullArgumentsAreHarmless)
{
    kv_mem_free(root, nullptr);
    kv_mem_release_handle(nullptr);
    EXPECT_EQ(kv_mem_clone(root, nullptr), nullptr);
    EXPECT_EQ(kv_mem_alloc(nullptr, 8), nullptr);
    EXPECT_EQ(kv_mem_alloc_node(nullptr, 8, kSlotA), nullptr);
    EXPECT_EQ(newNode(8, kSlotA, nullptr), nullptr);
    kv_mem_trace_init(nullptr);
    kv_mem_trace_term(nullptr);
}

// Each allocator, made to meet a failing system allocation at every step it
// takes, returns NULL and leaves the handle, its chain and the caches as they were.
TEST_F(MemsysTest, AllocatorsFailCleanly)
{
    struct Case {
        const char *name;
        std::function<void *(MemHandle *)> allocate;
    };
    const Case cases[] = {
        {"kv_mem_alloc_handle", [](MemHandle *h) -> void * { return kv_mem_alloc_handle(h); }},
        {"kv_mem_alloc", [](MemHandle *h) { return kv_mem_alloc(h, 100); }},
        {"kv_mem_alloc_ex", [](MemHandle *h) { return kv_mem_alloc_ex(h, 100, ignore_destroyed); }},
        {"kv_mem_alloc_node", [](MemHandle *h) { return kv_mem_alloc_node(h, 48, 903); }},
        {"newNode", [](MemHandle *h) { return newNode(48, 904, h); }},
    };
    for (const Case &c : cases) {
        MemHandle *h = kv_mem_alloc_handle(root);
        void *existing = kv_mem_alloc(h, 4);
        for (long nth = 1;; nth++) {
            std::vector<void *> chain = chain_of(h);
            std::vector<MemHandle *> children = children_of(h);
            long live = kv_test_live_blocks();
            int cached903 = kv_test_cache_count(903), cached904 = kv_test_cache_count(904);
            kv_test_fail_allocation(nth);
            void *p = c.allocate(h);
            kv_test_fail_allocation(0);
            if (p) {
                EXPECT_GE(nth, 2) << c.name << " succeeded although its allocation failed";
                break;
            }
            EXPECT_EQ(chain_of(h), chain) << c.name << " failing at allocation " << nth;
            EXPECT_EQ(children_of(h), children) << c.name;
            EXPECT_EQ(kv_test_live_blocks(), live) << c.name;
            EXPECT_EQ(kv_test_cache_count(903), cached903) << c.name;
            EXPECT_EQ(kv_test_cache_count(904), cached904) << c.name;
            ASSERT_LT(nth, 10) << c.name << " never succeeds";
        }
        EXPECT_EQ(chain_of(h).back(), existing);
    }
}

} // namespace
