// Helpers of the numeric tests: magnitudes written as decimal text and turned
// into the 16 little-endian bytes (and back) byte by byte, independently of
// the library, and a fixture with a statement and an evaluation context
// whose error exit lands in the test.
#ifndef KV_NUMERIC_TEST_UTIL_H
#define KV_NUMERIC_TEST_UTIL_H

#include <gtest/gtest.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>

#include "internal.h"

namespace numtest {

using Bytes = std::array<uint8_t, 16>;

// The 16 magnitude bytes of a decimal text (digits only).
inline Bytes magnitude(const char *decimal)
{
    Bytes b{};
    for (const char *p = decimal; *p; p++) {
        int carry = *p - '0';
        for (auto &byte : b) {
            int v = byte * 10 + carry;
            byte = static_cast<uint8_t>(v);
            carry = v >> 8;
        }
    }
    return b;
}

// The decimal text of 16 magnitude bytes.
inline std::string decimal(const SQLCHAR *val)
{
    Bytes b;
    std::memcpy(b.data(), val, 16);
    std::string out;
    bool zero = false;
    while (!zero) {
        int rest = 0;
        zero = true;
        for (int i = 15; i >= 0; i--) {
            int v = rest * 256 + b[static_cast<std::size_t>(i)];
            b[static_cast<std::size_t>(i)] = static_cast<uint8_t>(v / 10);
            rest = v % 10;
            zero = zero && b[static_cast<std::size_t>(i)] == 0;
        }
        out.insert(out.begin(), static_cast<char>('0' + rest));
    }
    return out;
}

inline NumericValue num(const char *decimal_magnitude, int scale, int sign = 1, int precision = 0)
{
    NumericValue n{};
    n.precision = static_cast<SQLCHAR>(precision);
    n.scale = static_cast<SQLSCHAR>(scale);
    n.sign = static_cast<SQLCHAR>(sign);
    Bytes b = magnitude(decimal_magnitude);
    std::memcpy(n.val, b.data(), 16);
    return n;
}

inline std::string describe(const NumericValue &n)
{
    return std::string(n.sign ? "+" : "-") + decimal(n.val) + " scale " + std::to_string(n.scale) +
           " precision " + std::to_string(n.precision);
}

// Magnitude, scale and sign as expected.
inline testing::AssertionResult is_numeric(const NumericValue &n, const char *decimal_magnitude, int scale,
                                           int sign)
{
    Bytes want = magnitude(decimal_magnitude);
    if (std::memcmp(n.val, want.data(), 16) == 0 && n.scale == scale && n.sign == sign)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got " << describe(n) << ", want " << (sign ? "+" : "-")
                                       << decimal_magnitude << " scale " << scale;
}

inline bool same_bytes(const NumericValue &a, const NumericValue &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A statement with its diagnostics and an evaluation context on a handle of
// its own; checks that the handle's blocks all go with it.
class EvalFixture : public testing::Test {
protected:
    void SetUp() override
    {
        live_before = kv_test_live_blocks();
        mem = kv_mem_alloc_handle(nullptr);
        ASSERT_NE(mem, nullptr);
        stmt.kind = KV_KIND_STATEMENT;
        stmt.error_header = CreateErrorHeader(mem, nullptr);
        ASSERT_NE(stmt.error_header, nullptr);
        context.stmt = &stmt;
        context.mem = mem;
    }

    void TearDown() override
    {
        kv_mem_release_handle(mem);
        EXPECT_EQ(kv_test_live_blocks(), live_before);
    }

    // A zero-filled Value on the fixture's handle.
    Value *new_value(int type)
    {
        auto *v = static_cast<Value *>(newNode(sizeof(Value), KV_NODE_VALUE, mem));
        v->type = type;
        return v;
    }

    Value *numeric_value(const char *decimal_magnitude, int scale, int sign = 1, int precision = 10)
    {
        Value *v = new_value(VT_NUMERIC);
        v->data.num = num(decimal_magnitude, scale, sign, precision);
        v->precision = precision;
        v->scale = scale;
        return v;
    }

    // The diagnostic the error exit left: state, message, subclass origin.
    struct Diagnostic {
        std::string sqlstate, message, subclass_origin, class_origin;
    };

    Diagnostic last_diagnostic()
    {
        Diagnostic d;
        char state[6] = "", message[256] = "", sub[64] = "", cls[64] = "";
        ErrorHeader *h = stmt.error_header;
        int n = h->record_count;
        EXPECT_EQ(GetDiagRec(h, n, state, nullptr, message, sizeof message, nullptr), 0);
        EXPECT_EQ(GetDiagField(3, h, n, SQL_DIAG_SUBCLASS_ORIGIN, sub, sizeof sub, nullptr), 0);
        EXPECT_EQ(GetDiagField(3, h, n, SQL_DIAG_CLASS_ORIGIN, cls, sizeof cls, nullptr), 0);
        d.sqlstate = state;
        d.message = message;
        d.subclass_origin = sub;
        d.class_origin = cls;
        return d;
    }

    long live_before = 0;
    MemHandle *mem = nullptr;
    DriverStatement stmt{};
    EvalContext context{};
};

// Runs `f` under a setjmp on the context: 0 when it returned, -1 when it
// left through the error exit (which always jumps with -1).
template <typename F>
int guarded(EvalContext &context, F f)
{
    if (setjmp(context.jump) != 0)
        return -1;
    f();
    return 0;
}

} // namespace numtest

#endif
