/*
** The Value record: creation in its three storage forms, sharing on one
** handle, release, the SQL type mapping and the readers.
**
** A value's string or binary data lives in the value's own block (a 128-byte
** area from cache slot 166, or a larger single block: inline_data 1) or in a
** separate block on the same handle (inline_data 0, freed with the value).
*/
#include <cstdint>

#include "internal.h"

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
