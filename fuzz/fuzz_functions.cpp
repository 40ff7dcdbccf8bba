// The scalar functions on fuzzed arguments of every value type: each call
// returns a value or leaves through the error exit with a diagnostic, never
// changes its arguments, and its result renders within the documented size.
// IFNULL's argument expressions evaluate to the values themselves.
#include <csetjmp>
#include <cstdint>
#include <iterator>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "internal.h"

namespace {

Value *blank_value(MemHandle *mem, int type)
{
    auto *v = static_cast<Value *>(newNode(sizeof(Value), NODE_VALUE, mem));
    v->type = type;
    return v;
}

Value *string_value(MemHandle *mem, const std::string &text)
{
    Value *v = blank_value(mem, VT_STRING);
    auto *copy = static_cast<char *>(kv_mem_alloc(mem, static_cast<uint32_t>(text.size() + 1)));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    v->data.s = copy;
    v->length = static_cast<int32_t>(text.size());
    return v;
}

// Integers: mostly small, else one of the edges. A count in the tens of
// millions only costs time (a result of that size is built and rendered),
// while the edges reach every limit check.
int64_t integer(kvfuzz::Input &in)
{
    static constexpr int64_t kEdges[] = {INT64_MIN, INT32_MIN, INT32_MIN + 1, -65536, -2, -1, 0, 1,
                                         2, 255, 65536, (1 << 30) + 1, INT32_MAX - 1, INT32_MAX,
                                         int64_t{1} << 40, INT64_MAX};
    uint8_t b = in.byte();
    if (b < 0x40)
        return kEdges[b % std::size(kEdges)];
    return static_cast<int8_t>(in.byte());
}

void fill_interval(kvfuzz::Input &in, Value *v, bool year_month)
{
    SQL_INTERVAL_STRUCT &iv = v->data.iv;
    iv.interval_type = static_cast<SQLINTERVAL>(year_month ? in.range(1, 2) * 6 - 5 : in.range(3, 13));
    iv.interval_sign = in.byte() % 2;
    if (year_month) {
        iv.intval.year_month.year = in.word() % 1000000;
        iv.intval.year_month.month = in.word() % 12;
    } else {
        iv.intval.day_second.day = in.word() % 1000000;
        iv.intval.day_second.hour = in.byte() % 24;
        iv.intval.day_second.minute = in.byte() % 60;
        iv.intval.day_second.second = in.byte() % 60;
        iv.intval.day_second.fraction = in.word() % 1000000000;
    }
    v->leading_precision = in.range(0, 9);
    v->fraction_precision = in.range(0, 9);
}

// One argument of a type the input chooses, with the bytes that follow as
// its datum (dates and times anywhere in their fields' ranges or beyond).
Value *argument(kvfuzz::Input &in, MemHandle *mem)
{
    int type = in.range(0, 11);
    Value *v;
    switch (type) {
    case 0: v = string_value(mem, in.text().c_str()); break;
    case 1: v = blank_value(mem, VT_INTEGER); v->data.i = static_cast<int32_t>(integer(in)); break;
    case 2: v = blank_value(mem, VT_BIGINT); v->data.big = integer(in); break;
    case 3: {
        v = blank_value(mem, VT_DOUBLE);
        uint64_t bits = uint64_t{in.word()} << 32 | in.word();
        std::memcpy(&v->data.d, &bits, sizeof bits);
        break;
    }
    case 4: {
        v = blank_value(mem, VT_NUMERIC);
        std::string digits = in.text().c_str();
        v->precision = in.range(1, 38);
        v->scale = in.range(0, 20);
        if (create_numeric(digits.c_str(), &v->data.num, v->precision, v->scale) != 0)
            create_numeric("0", &v->data.num, v->precision, v->scale);
        break;
    }
    case 5:
        v = blank_value(mem, VT_DATE);
        v->data.date = {static_cast<SQLSMALLINT>(in.word()), static_cast<SQLUSMALLINT>(in.range(0, 13)),
                        static_cast<SQLUSMALLINT>(in.range(0, 32))};
        break;
    case 6:
        v = blank_value(mem, VT_TIME);
        v->data.time = {static_cast<SQLUSMALLINT>(in.range(0, 25)), static_cast<SQLUSMALLINT>(in.range(0, 61)),
                        static_cast<SQLUSMALLINT>(in.range(0, 61))};
        break;
    case 7:
        v = blank_value(mem, VT_TIMESTAMP);
        v->data.ts = {static_cast<SQLSMALLINT>(in.word()), static_cast<SQLUSMALLINT>(in.range(0, 13)),
                      static_cast<SQLUSMALLINT>(in.range(0, 32)), static_cast<SQLUSMALLINT>(in.range(0, 24)),
                      static_cast<SQLUSMALLINT>(in.range(0, 60)), static_cast<SQLUSMALLINT>(in.range(0, 60)),
                      in.word() % 1000000000};
        break;
    case 8: v = blank_value(mem, VT_INTERVAL_YM); fill_interval(in, v, true); break;
    case 9: v = blank_value(mem, VT_INTERVAL_DS); fill_interval(in, v, false); break;
    case 10: v = blank_value(mem, VT_NULL); break;
    default: v = string_value(mem, in.text()); v->indicator = SQL_NULL_DATA; break;
    }
    if (in.byte() == 0xff)
        v->indicator = SQL_NULL_DATA;
    return v;
}

Value *evaluate_itself(void *expression, EvalContext *, int, void *)
{
    return static_cast<Value *>(expression);
}

struct Snapshot {
    Value record;
    std::string bytes;
};

Snapshot snapshot(const Value *v)
{
    Snapshot s{*v, ""};
    if (v->type == VT_STRING && v->data.s)
        s.bytes.assign(v->data.s, static_cast<std::size_t>(v->length) + 1);
    return s;
}

void check_unchanged(const Value *v, const Snapshot &s)
{
    FUZZ_CHECK(std::memcmp(&s.record, v, sizeof *v) == 0);
    if (v->type == VT_STRING && v->data.s)
        FUZZ_CHECK(std::memcmp(v->data.s, s.bytes.data(), s.bytes.size()) == 0);
}

void check_result(const Value *result)
{
    std::size_t size = KV_VALUE_TEXT_SIZE;
    if (result->type == VT_STRING)
        size = 2 * static_cast<std::size_t>(result->length) + 3;
    else if (result->type == VT_BINARY)
        size = 2 * static_cast<std::size_t>(result->octet_length) + 4;
    if (size > (1u << 24))
        return; // a long result: rendering it only costs time
    auto buffer = std::make_unique<char[]>(size);
    value_as_text(result, buffer.get());
}

// Runs the call under the error exit; nothing in this frame changes after
// the setjmp, so the jump back clobbers nothing.
Value *call(const FunctionEntry *entry, EvalContext *ctx, int argc, Value **argv, bool *left)
{
    *left = false;
    if (setjmp(ctx->jump) != 0) {
        *left = true;
        return nullptr;
    }
    return execute_function(entry, ctx, argc, argv, 0, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    long live = kv_test_live_blocks();
    kvfuzz::Input in(data, size);
    const FunctionEntry *entry = sql92_get_function_info(in.range(0, 68));
    if (!entry)
        return 0;
    int32_t low = 0, high = 0;
    sql92_get_function_arg_range(entry->id, &low, &high);
    int argc = in.range(low, high);

    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    DriverConnection connection{};
    connection.kind = KV_KIND_CONNECTION;
    connection.mem = mem;
    connection.read_long_data = extract_from_long_buffer;
    connection.rewind_long_data = rewind_long_buffer;
    DriverStatement stmt{};
    stmt.kind = KV_KIND_STATEMENT;
    stmt.connection = &connection;
    stmt.error_header = CreateErrorHeader(mem, nullptr);
    EvalContext context{};
    context.stmt = &stmt;
    context.mem = mem;
    context.evaluate = evaluate_itself;

    Value *argv[KV_FN_MAX_ARGS] = {};
    Snapshot before[KV_FN_MAX_ARGS];
    for (int i = 0; i < argc; i++) {
        argv[i] = argument(in, mem);
        before[i] = snapshot(argv[i]);
    }
    bool left;
    Value *result = call(entry, &context, argc, argv, &left);
    if (left) {
        FUZZ_CHECK(context.status == -1 && stmt.error_header->record_count > 0);
    } else if (result) {
        check_result(result);
    }
    for (int i = 0; i < argc; i++)
        check_unchanged(argv[i], before[i]);
    kv_mem_release_handle(mem);
    FUZZ_CHECK(kv_test_live_blocks() == live);
    return 0;
}
