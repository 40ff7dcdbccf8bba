/*
** The Value record: creation in its three storage forms, sharing on one
** handle, release, the SQL type mapping and the readers. The text forms are
** in values_text.cpp, comparison and the flat records in values_compare.cpp.
**
** A value's string or binary data lives in the value's own block (a 128-byte
** area from cache slot 166, or a larger single block: inline_data 1) or in a
** separate block on the same handle (inline_data 0, freed with the value).
*/
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "internal.h"
#include "interval_types.h"

namespace {

constexpr int kNoValueType = -9999;

bool has_separate_data(const Value *value)
{
    return (value->type == VT_STRING || value->type == VT_BINARY) && value->data.s && !value->inline_data;
}

} // namespace

extern "C" {

// A record from the cache keeps its last user's fields. Those that release
// acts on (long_buffer, inline_data, the data pointer) are set here, so a
// stale pointer can never be freed twice.
Value *NewValue(MemHandle *handle, uint32_t size)
{
    Value *value;
    if (size == 0) {
        value = static_cast<Value *>(kv_mem_alloc_node(handle, sizeof(Value), KV_NODE_VALUE));
    } else if (size < KV_VALUE_INLINE_AREA) {
        value = static_cast<Value *>(
            kv_mem_alloc_node(handle, sizeof(Value) + KV_VALUE_INLINE_AREA, KV_NODE_VALUE_INLINE));
    } else {
        if (size > UINT32_MAX - sizeof(Value))
            return nullptr;
        value = static_cast<Value *>(kv_mem_alloc(handle, static_cast<uint32_t>(sizeof(Value) + size)));
    }
    if (!value)
        return nullptr;
    value->kind = KV_NODE_VALUE;
    value->mem = handle;
    value->ref_count = 0;
    value->long_buffer = nullptr;
    value->inline_data = size > 0;
    value->data.s = size > 0 ? reinterpret_cast<char *>(value + 1) : nullptr;
    return value;
}

void release_value(MemHandle *handle, Value *value)
{
    if (!value || value == reinterpret_cast<Value *>(~std::uintptr_t{0}))
        return;
    if (value->ref_count > 0) {
        value->ref_count--;
        return;
    }
    if (has_separate_data(value))
        kv_mem_free(handle, value->data.s);
    if (value->long_buffer) {
        kv_mem_free(handle, value->long_buffer);
        value->long_buffer = nullptr;
    }
    kv_mem_free(handle, value);
}

int sql_to_value_type(int sql_type)
{
    switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_INTEGER:
    case SQL_SMALLINT:
        return VT_INTEGER;
    case SQL_BIGINT:
        return VT_BIGINT;
    case SQL_LONGVARBINARY:
        return VT_LONG_BINARY;
    case SQL_VARBINARY:
    case SQL_BINARY:
        return VT_BINARY;
    case SQL_LONGVARCHAR:
        return VT_LONG_STRING;
    case SQL_CHAR:
    case SQL_VARCHAR:
        return VT_STRING;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return VT_NUMERIC;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
        return VT_DOUBLE;
    case SQL_DATE:
    case SQL_TYPE_DATE:
        return VT_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
        return VT_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        return VT_TIMESTAMP;
    case SQL_INTERVAL_YEAR:
    case SQL_INTERVAL_MONTH:
    case SQL_INTERVAL_YEAR_TO_MONTH:
        return VT_INTERVAL_YM;
    default:
        break;
    }
    bool day_time = (sql_type >= SQL_INTERVAL_DAY && sql_type <= SQL_INTERVAL_SECOND) ||
                    (sql_type >= SQL_INTERVAL_DAY_TO_HOUR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND);
    return day_time ? VT_INTERVAL_DS : kNoValueType;
}

} // extern "C"

namespace {

NumericValue *numeric_of(const Value *value)
{
    return const_cast<NumericValue *>(&value->data.num);
}

bool is_null(const Value *value)
{
    return value->indicator == -1;
}

// A double truncated toward zero into an integer type, saturated at the
// type's ends (NaN reads as 0), so no conversion is ever undefined.
template <typename Int>
Int truncate_double(double d)
{
    if (std::isnan(d))
        return 0;
    if (d <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (d >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(d);
}

template <typename Int>
Int saturate(long long n)
{
    return static_cast<Int>(std::clamp<long long>(n, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max()));
}

bool is_long(const Value *value)
{
    return value->type == VT_LONG_STRING || value->type == VT_LONG_BINARY;
}

} // namespace

extern "C" {

Value *duplicate_value(MemHandle *handle, const Value *value)
{
    if (!value) {
        Value *empty = NewValue(handle, 0);
        if (empty) {
            empty->indicator = -1;
            empty->data.s = nullptr;
        }
        return empty;
    }
    bool bytes = (value->type == VT_STRING || value->type == VT_BINARY) && value->data.s;
    uint32_t size = bytes ? static_cast<uint32_t>(std::max(value->length, 0)) + 1 : 0;
    Value *copy = NewValue(handle, size);
    if (!copy)
        return nullptr;
    char *own_area = copy->data.s;
    kv_assign_value(copy, value);
    copy->kind = KV_NODE_VALUE;
    copy->long_buffer = nullptr;
    if (value->type == VT_STRING || value->type == VT_BINARY) {
        copy->no_share = 0;
        copy->inline_data = bytes;
        if (bytes) {
            copy->data.s = own_area;
            std::memcpy(own_area, value->data.s, size - 1);
            own_area[size - 1] = '\0';
        }
    }
    if (is_long(value) && value->long_buffer)
        copy->long_buffer = clone_long_buffer(value->long_buffer, handle);
    return copy;
}

Value *duplicate_value_ex(MemHandle *handle, Value *value)
{
    if (!value || value->mem != handle || value->no_share)
        return duplicate_value(handle, value);
    value->ref_count++;
    if (is_long(value) && value->long_buffer)
        clone_long_buffer(value->long_buffer, handle);
    return value;
}

int32_t get_int_from_value(const Value *value)
{
    if (is_null(value))
        return 0;
    int out = 0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return truncate_double<int32_t>(value->data.d);
    case VT_STRING:
        return value->data.s ? saturate<int32_t>(kv_read_int64(value->data.s, nullptr)) : 0;
    case VT_NUMERIC:
        numeric_to_int(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return static_cast<int32_t>(static_cast<uint32_t>(value->data.big));
    default:
        return 0;
    }
}

int64_t get_bigint_from_value(const Value *value)
{
    if (is_null(value))
        return 0;
    int64_t out = 0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return truncate_double<int64_t>(value->data.d);
    case VT_STRING:
        return value->data.s ? kv_read_int64(value->data.s, nullptr) : 0;
    case VT_NUMERIC:
        numeric_to_bigint(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return value->data.big;
    default:
        return 0;
    }
}

double get_double_from_value(const Value *value)
{
    if (is_null(value))
        return 0.0;
    double out = 0.0;
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        return value->data.i;
    case VT_DOUBLE:
        return value->data.d;
    case VT_STRING:
        return value->data.s ? kv_read_double(value->data.s, nullptr) : 0.0;
    case VT_NUMERIC:
        numeric_to_double(numeric_of(value), &out);
        return out;
    case VT_BIGINT:
        return static_cast<double>(value->data.big);
    default:
        return 0.0;
    }
}

const char *get_string_from_value(const Value *value)
{
    if (is_null(value) || value->type != VT_STRING || !value->data.s)
        return "";
    return value->data.s;
}

void set_value_to_double(Value *value, double d)
{
    switch (value->type) {
    case VT_INTEGER:
    case VT_BIT:
        value->data.i = truncate_double<int32_t>(d);
        break;
    case VT_DOUBLE:
        value->data.d = d;
        break;
    case VT_NUMERIC:
        double_to_numeric(d, &value->data.num, value->data.num.precision, value->data.num.scale);
        break;
    case VT_BIGINT:
        value->data.big = truncate_double<int64_t>(d);
        break;
    default:
        break;
    }
}

void set_value_to_interval(Value *destination, const Value *source)
{
    std::memcpy(destination, source, sizeof(Value));
}

int get_trivalue_from_value(const Value *value)
{
    if (value->indicator != 0)
        return 2;
    return value->data.i != 0 ? 1 : 0;
}

void set_trivalue_in_value(Value *value, int truth)
{
    value->type = VT_INTEGER;
    value->indicator = truth == 2 ? -1 : 0;
    value->data.i = truth == 1 ? 1 : 0;
}

uint32_t get_long_from_interval(const Value *value, uint32_t *fraction)
{
    const SQL_INTERVAL_STRUCT &iv = value->data.iv;
    const KvIntervalType *t = kv_interval_type(iv.interval_type);
    uint32_t result = 0;
    if (fraction)
        *fraction = t && t->last == kv_second ? iv.intval.day_second.fraction : 0;
    if (!t)
        return 0;
    // Counted in the last field's unit, in 32 bits as the result is.
    for (int f = t->first; f <= t->last; f++) {
        auto factor = static_cast<uint32_t>(kv_interval_field_units[f] / kv_interval_field_units[t->last]);
        result += kv_interval_field(iv, f) * factor;
    }
    return result;
}

int32_t get_buffer_length(int32_t length, int c_type)
{
    switch (c_type) {
    case SQL_C_UTINYINT: case SQL_C_STINYINT: case SQL_C_BIT: case SQL_C_TINYINT:
        return 1;
    case SQL_C_USHORT: case SQL_C_SSHORT: case SQL_C_SHORT:
        return 2;
    case SQL_C_ULONG: case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_FLOAT:
        return 4;
    case SQL_C_UBIGINT: case SQL_C_SBIGINT: case SQL_BIGINT: case SQL_FLOAT: case SQL_C_DOUBLE:
        return 8;
    case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME:
        return 6;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP:
        return 16;
    case SQL_C_NUMERIC: case SQL_DECIMAL:
        return 19;
    case SQL_VARBINARY: case SQL_C_BINARY: case SQL_C_CHAR: case SQL_VARCHAR: case SQL_C_DEFAULT:
        return length;
    default:
        return c_type >= SQL_C_INTERVAL_YEAR && c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND ? 28 : 0;
    }
}

void *extract_select(void *node)
{
    if (!node)
        return nullptr;
    if (static_cast<Node *>(node)->kind == NODE_QUALIFIED_JOIN) {
        node = static_cast<NodeQualifiedJoin *>(node)->select;
        if (!node)
            return nullptr;
    }
    return static_cast<NodeQuerySpec *>(node)->from;
}

} // extern "C"
