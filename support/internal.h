/*
** Helpers shared by the modules of libkvsupp and not exported: the system
** allocator seam (with the fault injection the tests use), the live-block
** count, the error exit of an evaluation, and the arithmetic helpers the
** numeric and datetime modules share.
*/
#ifndef KVSUPP_INTERNAL_H
#define KVSUPP_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <sys/types.h>

#include "kvsupp.h"

// Every system allocation the library makes goes through these two, so a
// test can make the n-th one fail.
void *kv_sys_malloc(std::size_t size);
void kv_sys_free(void *pointer);
// calloc through the same seam (zeroed; an overflowing product gives NULL).
void *kv_sys_calloc(std::size_t count, std::size_t size);

// Test seam: the n-th system allocation from now fails (once); 0 turns the
// injection off. Returns the number of system allocations made so far.
void kv_test_fail_allocation(long nth);
long kv_test_allocation_count();
// Blocks allocated on handles and not yet dead (freed or cached).
long kv_test_live_blocks();
// Free blocks held by one cache slot.
int kv_test_cache_count(int cache_index);
// Gives every cached block back to the system, so that the allocations
// that follow reach the system allocator (and its failure injection).
void kv_test_empty_caches();

// Makes the next trace line read the "log_file" setting and check its file
// again, as it otherwise does at most once a second.
void kv_test_trace_recheck();

// Case-blind equality of two byte strings (bytes compared after toupper),
// the test behind string_compare, for texts that are not terminated.
bool kv_equal_nocase(std::string_view a, std::string_view b);

// get_default with the reason of a failed read: 0, or an errno value
// (ENOENT for a missing profile, ENOMEM when memory ran out). The buffer
// holds "" whenever the value could not be read.
int kv_get_default(Registry *registry, const char *key, char *buffer, int buffer_length);

// get_profile_string with the reason of a failed read, as kv_get_default.
int kv_get_profile_string(Registry *registry, int mode, const char *section, const char *key,
                          const char *default_value, char *buffer, int buffer_length);

// Strings the error exits post.
inline constexpr const char *kv_subclass_odbc3 = "ODBC3.0";
inline constexpr const char *kv_subclass_iso = "ISO 9075";

// The error exit of an evaluation: sets the statement's return code to -1,
// posts `message` (taken literally, default vendor text) with `sqlstate`,
// `origin` and `subclass_origin` on the statement's error header, sets the
// context's status to -1 and longjmps to the context's jump buffer with -1.
// No frame between the driver's setjmp and this call may hold an object with
// a destructor: the jump skips it.
[[noreturn]] void kv_eval_error(EvalContext *context, int origin, const char *subclass_origin,
                                const char *sqlstate, const char *message);

// The operator codes are the parse tree's KV_OP_... (nodes.h).
inline bool kv_is_arithmetic(int op)
{
    return op == KV_OP_ADD || op == KV_OP_SUBTRACT || op == KV_OP_MULTIPLY || op == KV_OP_DIVIDE;
}

inline bool kv_is_comparison(int op)
{
    return op >= KV_OP_LESS && op <= KV_OP_NOT_EQUAL;
}

// Whether comparison operator `op` holds for a three-way result `c`.
inline bool kv_comparison_holds(int op, int c)
{
    switch (op) {
    case KV_OP_LESS: return c < 0;
    case KV_OP_GREATER: return c > 0;
    case KV_OP_GREATER_EQUAL: return c >= 0;
    case KV_OP_LESS_EQUAL: return c <= 0;
    case KV_OP_EQUAL: return c == 0;
    case KV_OP_NOT_EQUAL: return c != 0;
    default: return false;
    }
}

// string_to_numeric without touching the text: the point stays where it is.
int kv_parse_numeric(const char *text, NumericValue *target, int precision, int scale);

// Interval and datetime internals, on 64-bit counts so that no interval the
// structure can hold overflows (the exported functions take ints).
inline constexpr int64_t kv_nanos_per_second = 1000000000;

// Floor division and the matching remainder (0 <= remainder < divisor) for a
// positive divisor.
inline int64_t kv_floor_div(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t kv_floor_mod(int64_t a, int64_t b)
{
    return a - b * kv_floor_div(a, b);
}

// The interval type covering the fields of two interval types of one family;
// 0 for a mixed pair or a code outside 1..13 (kv_promote_interval_type of
// interval_types.h, under the name the literal constructors' module gives it).
int promote_type(int a, int b);

// timestamp_add and timestamp_add_noconvert (always_timestamp) on 64-bit
// amounts. A sum outside the dates a result holds (1 January 4713 BC to
// 31 December 32767) takes the error exit of `context` with 22008; without
// a context the result becomes NULL (indicator -1) and the call returns -1.
// Returns 0 otherwise.
int kv_timestamp_add(Value *result, const Value *source, int64_t months, int64_t seconds, int64_t fraction,
                     bool always_timestamp, EvalContext *context = nullptr);

// Makes `target` a copy of the record `source` (which may be `target`), but
// `target` keeps what belongs to its own block: the handle it lives on and
// its reference count.
inline void kv_assign_value(Value *target, const Value *source)
{
    MemHandle *mem = target->mem;
    int32_t ref_count = target->ref_count;
    std::memmove(static_cast<void *>(target), source, sizeof *target);
    target->mem = mem;
    target->ref_count = ref_count;
}

// ---- Numbers from text ----
// SQL text is never localised: every number the library reads from text goes
// through these two, which take '.' as the decimal point in every locale.

// A double as strtod reads it in the "C" locale: blanks, a sign, digits with
// an optional '.', an optional exponent. A value beyond the double range
// gives +-HUGE_VAL and one below it a (signed) zero, decided by the value.
// *end (may be NULL) is set just after the number, or to `text` when there is
// no number (the result is then 0).
double kv_read_double(const char *text, const char **end);

// An integer as strtoll reads it in base 10 (blanks, a sign, digits),
// saturated at the int64_t range. *end as for kv_read_double.
int64_t kv_read_int64(const char *text, const char **end);

// ASCII case folding and case-blind equality, the same in every process
// locale (connection-string keys, the string functions' UCASE and LCASE).
inline constexpr unsigned char kv_ascii_upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}
inline constexpr unsigned char kv_ascii_lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
inline bool kv_equal_ascii_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (kv_ascii_upper(static_cast<unsigned char>(a[i])) != kv_ascii_upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// ---- The system-call seam ----
// The file operations of the profile's rewrite, the long-data files and the
// trace go through this table (syscalls.cpp), so a test can make any step
// fail by replacing an entry, and put kv_default_syscalls back afterwards.
struct KvSyscalls {
    int (*open)(const char *path, int flags, mode_t mode);
    int (*mkostemp)(char *name_template, int flags);
    ssize_t (*read)(int fd, void *buffer, std::size_t size);
    ssize_t (*write)(int fd, const void *data, std::size_t size);
    int (*fsync)(int fd);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*rename)(const char *from, const char *to);
    int (*unlink)(const char *path);
    int (*close)(int fd);
};
extern KvSyscalls kv_syscalls;
extern const KvSyscalls kv_default_syscalls;

#endif
