/*
** Helpers shared by the modules of libkvsupp and not exported: the system
** allocator seam (with the fault injection the tests use), the live-block
** count, and the error exit of an evaluation.
*/
#ifndef KVSUPP_INTERNAL_H
#define KVSUPP_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kvsupp.h"

// Every system allocation the library makes goes through these two, so a
// test can make the n-th one fail.
void *kv_sys_malloc(std::size_t size);
void kv_sys_free(void *pointer);

// Test seam: the n-th system allocation from now fails (once); 0 turns the
// injection off. Returns the number of system allocations made so far.
void kv_test_fail_allocation(long nth);
long kv_test_allocation_count();
// Blocks allocated on handles and not yet dead (freed or cached).
long kv_test_live_blocks();
// Free blocks held by one cache slot.
int kv_test_cache_count(int cache_index);

// Case-blind equality of two byte strings (bytes compared after toupper),
// the test behind string_compare, for texts that are not terminated.
bool kv_equal_nocase(std::string_view a, std::string_view b);

// get_default with the reason of a failed read: 0, or an errno value
// (ENOENT for a missing profile, ENOMEM when memory ran out). The buffer
// holds "" whenever the value could not be read.
int kv_get_default(Registry *registry, const char *key, char *buffer, int buffer_length);

// Strings the error exits post.
inline constexpr const char *kv_subclass_odbc3 = "ODBC3.0";
inline constexpr const char *kv_subclass_iso = "ISO 9075";

// The error exit of an evaluation: sets the statement's return code to -1,
// posts `message` (taken literally, default vendor text) with `sqlstate`,
// `origin` and `subclass_origin` on the statement's error header, sets the
// context's status to -1 and longjmps to the context's jump buffer with -1.
[[noreturn]] void kv_eval_error(EvalContext *context, int origin, const char *subclass_origin,
                                const char *sqlstate, const char *message);

#endif
