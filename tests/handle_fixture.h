// A test with a root MemHandle of its own; at the end the handle is released
// and every block allocated during the test must be gone.
#ifndef KV_TESTS_HANDLE_FIXTURE_H
#define KV_TESTS_HANDLE_FIXTURE_H

#include <gtest/gtest.h>

#include "internal.h"

class HandleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        live_at_start = kv_test_live_blocks();
        mem = kv_mem_alloc_handle(nullptr);
        ASSERT_NE(mem, nullptr);
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        kv_mem_release_handle(mem);
        EXPECT_EQ(kv_test_live_blocks(), live_at_start) << "blocks outlived the test's handle";
    }
    long live_at_start = 0;
    MemHandle *mem = nullptr;
};

#endif
