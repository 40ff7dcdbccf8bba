/*
** Comparison of values with SQL rules, and the flat records of row buffers:
** a 12-byte header (length, octet_length, type, each 32 bits in host order;
** length -1 for NULL) followed directly by the unpadded datum.
*/
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "internal.h"

namespace {

constexpr std::size_t kFlatHeader = 12;

template <typename T>
int three_way(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// strcmp of the two texts, each padded with blanks to `padded_length`: the
// common part through strncmp, then the longer text's tail against blanks.
int compare_padded_text(const char *a, int length_a, const char *b, int length_b, int padded_length)
{
    auto common = static_cast<std::size_t>(std::max(std::min({length_a, length_b, padded_length}), 0));
    if (int c = std::strncmp(a, b, common))
        return c;
    if (std::memchr(a, '\0', common))
        return 0; // both texts ended together inside the common part
    for (auto i = static_cast<int>(common); i < padded_length; i++) {
        auto ca = static_cast<unsigned char>(i < length_a ? a[i] : ' ');
        auto cb = static_cast<unsigned char>(i < length_b ? b[i] : ' ');
        if (ca != cb)
            return ca - cb;
        if (ca == '\0')
            return 0;
    }
    return 0;
}

// The bytes of two binaries, each zero-padded to `padded_length`.
int compare_padded_bytes(const Value *a, const Value *b, int padded_length)
{
    int count_a = std::min(a->octet_length, padded_length), count_b = std::min(b->octet_length, padded_length);
    for (int i = 0; i < padded_length; i++) {
        unsigned char ca = i < count_a ? a->data.b[i] : 0;
        unsigned char cb = i < count_b ? b->data.b[i] : 0;
        if (ca != cb)
            return ca - cb;
    }
    return 0;
}

// Two flat binaries, the shorter padded with zero bytes.
int compare_flat_bytes(const unsigned char *a, int length_a, const unsigned char *b, int length_b)
{
    int common = std::min(length_a, length_b);
    int c = common > 0 ? std::memcmp(a, b, static_cast<std::size_t>(common)) : 0;
    for (int i = common; c == 0 && i < std::max(length_a, length_b); i++)
        c = i < length_a ? (a[i] != 0) : -(b[i] != 0);
    return c;
}

// Bytes value_as_text needs for `value`.
std::size_t rendering_size(const Value *value)
{
    std::size_t n = KV_VALUE_TEXT_SIZE;
    if (value->type == VT_BINARY)
        n += 2 * static_cast<std::size_t>(std::max(value->octet_length, 0));
    return n;
}

// A string against a value of another type: its ODBC text form, unpadded. A
// value without a text form reads as the empty text.
int compare_string_with_rendering(const Value *a, const Value *b)
{
    char local[KV_VALUE_TEXT_SIZE + 64];
    std::unique_ptr<char[]> heap;
    char *buffer = local;
    if (rendering_size(b) > sizeof local) {
        heap = std::make_unique<char[]>(rendering_size(b));
        buffer = heap.get();
    }
    buffer[0] = '\0';
    const char *text = value_as_text(b, buffer);
    return std::strcmp(a->data.s ? a->data.s : "", text);
}

int compare_strings(const Value *a, const Value *b)
{
    const char *text_a = a->data.s ? a->data.s : "";
    const char *text_b = b->data.s ? b->data.s : "";
    if (a->length == b->length)
        return std::strcmp(text_a, text_b);
    return compare_padded_text(text_a, a->length, text_b, b->length, std::max(a->length, b->length));
}

int compare_binaries(const Value *a, const Value *b)
{
    if (a->octet_length == b->octet_length)
        return a->octet_length > 0 ? std::memcmp(a->data.b, b->data.b, static_cast<std::size_t>(a->octet_length))
                                   : 0;
    const Value *longer = a->octet_length > b->octet_length ? a : b;
    return compare_padded_bytes(a, b, longer->length);
}

int compare_doubles(double a, double b)
{
    return a > b ? 1 : (a < b ? -1 : 0);
}

// Flat data may sit at any address: every read goes through memcpy.
template <typename T>
T flat_read(const unsigned char *data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

struct FlatHeader {
    int32_t length;
    int32_t octet_length;
    int32_t type;
};

FlatHeader flat_header(const void *record)
{
    FlatHeader header;
    std::memcpy(&header, record, sizeof header);
    return header;
}

const unsigned char *flat_data(const void *record)
{
    return static_cast<const unsigned char *>(record) + kFlatHeader;
}

// Size of the datum of a fixed-size type, or -1 for types measured by their length.
int fixed_datum_size(int type)
{
    switch (type) {
    case VT_INTEGER:
    case VT_BIT:
        return 4;
    case VT_DOUBLE:
    case VT_BIGINT:
        return 8;
    case VT_DATE:
    case VT_TIME:
        return 6;
    case VT_TIMESTAMP:
        return 16;
    case VT_NUMERIC:
        return 19;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return 28;
    default:
        return -1;
    }
}

// The bytes of a value's datum as the flat record stores them.
const void *datum_address(const Value *value)
{
    switch (value->type) {
    case VT_STRING:
    case VT_BINARY:
        return value->data.s;
    case VT_DATE:
        return &value->data.date;
    case VT_TIME:
        return &value->data.time;
    case VT_TIMESTAMP:
        return &value->data.ts;
    case VT_NUMERIC:
        return &value->data.num;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return &value->data.iv;
    case VT_DOUBLE:
        return &value->data.d;
    case VT_BIGINT:
        return &value->data.big;
    default:
        return &value->data.i;
    }
}

} // namespace

extern "C" {

int compare_values(const Value *a, const Value *b)
{
    bool null_a = a->indicator != 0, null_b = b->indicator != 0;
    if (null_a || null_b)
        return null_a && null_b ? 0 : (null_a ? -1 : 1);
    switch (a->type) {
    case VT_INTEGER:
    case VT_BIT:
        return three_way(get_int_from_value(a), get_int_from_value(b));
    case VT_BIGINT:
        return three_way(get_bigint_from_value(a), get_bigint_from_value(b));
    case VT_DOUBLE:
        return compare_doubles(get_double_from_value(a), get_double_from_value(b));
    case VT_NUMERIC:
        if (b->type == VT_NUMERIC)
            return numeric_compare(&a->data.num, &b->data.num);
        return compare_doubles(get_double_from_value(a), get_double_from_value(b));
    case VT_STRING:
        return b->type == VT_STRING ? compare_strings(a, b) : compare_string_with_rendering(a, b);
    case VT_BINARY:
        return compare_binaries(a, b);
    case VT_DATE:
        return date_compare(&a->data.date, &b->data.date);
    case VT_TIME:
        return time_compare(&a->data.time, &b->data.time);
    case VT_TIMESTAMP:
        return timestamp_compare(&a->data.ts, &b->data.ts);
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return interval_compare(&a->data.iv, &b->data.iv);
    default:
        return 0;
    }
}

// Everything but two non-null integers, out of line so the commonest
// comparison stays a handful of instructions.
[[gnu::noinline]] static int compare_dm_general(const FlatValue *a, const FlatValue *b)
{
    FlatHeader ha = flat_header(a), hb = flat_header(b);
    if (ha.length < 0 || hb.length < 0)
        return ha.length < 0 && hb.length < 0 ? 0 : (ha.length < 0 ? -1 : 1);
    const unsigned char *da = flat_data(a), *db = flat_data(b);
    switch (ha.type) {
    case VT_INTEGER:
    case VT_BIT:
        return three_way(flat_read<int32_t>(da), flat_read<int32_t>(db));
    case VT_BIGINT:
        return three_way(flat_read<int64_t>(da), flat_read<int64_t>(db));
    case VT_DOUBLE:
        return compare_doubles(flat_read<double>(da), flat_read<double>(db));
    case VT_STRING:
        if (ha.length == hb.length) // no padding to consider
            return std::strncmp(reinterpret_cast<const char *>(da), reinterpret_cast<const char *>(db),
                                static_cast<std::size_t>(ha.length));
        return compare_padded_text(reinterpret_cast<const char *>(da), ha.length,
                                   reinterpret_cast<const char *>(db), hb.length, std::max(ha.length, hb.length));
    case VT_BINARY:
        return compare_flat_bytes(da, ha.length, db, hb.length);
    case VT_DATE: {
        auto x = flat_read<SQL_DATE_STRUCT>(da), y = flat_read<SQL_DATE_STRUCT>(db);
        return date_compare(&x, &y);
    }
    case VT_TIME: {
        auto x = flat_read<SQL_TIME_STRUCT>(da), y = flat_read<SQL_TIME_STRUCT>(db);
        return time_compare(&x, &y);
    }
    case VT_TIMESTAMP: {
        auto x = flat_read<SQL_TIMESTAMP_STRUCT>(da), y = flat_read<SQL_TIMESTAMP_STRUCT>(db);
        return timestamp_compare(&x, &y);
    }
    case VT_NUMERIC: {
        auto x = flat_read<NumericValue>(da), y = flat_read<NumericValue>(db);
        return numeric_compare(&x, &y);
    }
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        auto x = flat_read<SQL_INTERVAL_STRUCT>(da), y = flat_read<SQL_INTERVAL_STRUCT>(db);
        return interval_compare(&x, &y);
    }
    default:
        return 0;
    }
}

int compare_dm(const FlatValue *a, const FlatValue *b)
{
    FlatHeader ha = flat_header(a);
    if (ha.type == VT_INTEGER && ha.length >= 0 && flat_header(b).length >= 0)
        return three_way(flat_read<int32_t>(flat_data(a)), flat_read<int32_t>(flat_data(b)));
    return compare_dm_general(a, b);
}

void value_to_dm(FlatValue *record, const Value *value)
{
    FlatHeader header{-1, 0, value->type};
    if (value->indicator == 0) {
        int fixed = fixed_datum_size(value->type);
        header.length = fixed >= 0 ? fixed : std::max(value->length, 0);
        header.octet_length = value->type == VT_BINARY ? value->octet_length : 0;
        if (header.length > 0 && datum_address(value))
            std::memcpy(reinterpret_cast<unsigned char *>(record) + kFlatHeader, datum_address(value),
                        static_cast<std::size_t>(header.length));
    }
    std::memcpy(record, &header, sizeof header);
}

void dm_to_value(const FlatValue *record, Value *value)
{
    FlatHeader header = flat_header(record);
    if (header.length < 0) {
        value->indicator = -1;
        return;
    }
    value->indicator = 0;
    value->no_share = 0;
    const unsigned char *data = flat_data(record);
    int fixed = fixed_datum_size(value->type);
    if (fixed >= 0) {
        std::memcpy(const_cast<void *>(datum_address(value)), data, static_cast<std::size_t>(fixed));
        return;
    }
    if (value->type == VT_STRING || value->type == VT_BINARY) {
        std::memcpy(value->data.s, data, static_cast<std::size_t>(header.length));
        value->length = header.length;
        if (value->type == VT_STRING)
            value->data.s[header.length] = '\0';
        else
            value->octet_length = header.octet_length;
    }
}

int32_t get_dm_length(int sql_type, int32_t length)
{
    switch (sql_type) {
    case SQL_BIT: case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER:
        return 4;
    case SQL_BIGINT: case SQL_FLOAT: case SQL_REAL: case SQL_DOUBLE:
        return 8;
    case SQL_NUMERIC: case SQL_DECIMAL:
        return 19;
    case SQL_DATE: case SQL_TIME: case SQL_TYPE_DATE: case SQL_TYPE_TIME:
        return 6;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP:
        return 16;
    case SQL_CHAR: case SQL_VARCHAR: case SQL_BINARY: case SQL_VARBINARY:
        return length;
    case SQL_LONGVARCHAR: case SQL_LONGVARBINARY:
        return 0;
    default:
        return sql_type >= SQL_INTERVAL_YEAR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND ? 28 : 0;
    }
}

int32_t get_length_from_dm(const FlatValue *record, const Value *value)
{
    FlatHeader header = flat_header(record);
    if (header.length < 0)
        return 0;
    int fixed = fixed_datum_size(value->type);
    if (fixed >= 0)
        return fixed;
    return value->type == VT_STRING || value->type == VT_BINARY ? header.length : 0;
}

} // extern "C"
