/*
** Arguments of the string functions: character arguments become read-only
** (pointer, length) views of a string's own bytes, of long data read whole
** into a scratch block, or of the plain text of a number or datetime;
** integer arguments are read in 64 bits and refused outside the int range.
** No frame here holds an object with a destructor: the error exit jumps.
*/
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include "functions_internal.h"

namespace {

// The connection's long-data callbacks for `argument`, or the error exit.
DriverConnection *long_data_connection(EvalContext *ctx, const Value *argument)
{
    DriverConnection *connection = ctx->stmt ? ctx->stmt->connection : nullptr;
    if (!connection || !connection->read_long_data || !connection->rewind_long_data || !argument->long_buffer)
        kv_fn_fail(ctx, KvMessage::long_read);
    return connection;
}

// Rewinds long data and reads its first piece into `first` (`size` bytes);
// returns the reader's 0 or 1 and the whole length in *total (SQL_NULL_DATA
// for NULL). Any other outcome is the error exit.
int read_first_piece(EvalContext *ctx, const Value *argument, char *first, int32_t size, int32_t *total, int binary)
{
    DriverConnection *connection = long_data_connection(ctx, argument);
    if (connection->rewind_long_data(argument->long_buffer) != 0)
        kv_fn_fail(ctx, KvMessage::long_read);
    *total = 0;
    int rc = connection->read_long_data(argument->long_buffer, first, size, total, binary);
    if ((rc != 0 && rc != 1) || (*total < 0 && *total != SQL_NULL_DATA))
        kv_fn_fail(ctx, KvMessage::long_read);
    return rc;
}

// Long character data read whole: the first byte with the length, then the
// rest behind it into a block of the whole length.
bool read_long_text(EvalContext *ctx, const Value *argument, KvText *text)
{
    char first[2] = "";
    int32_t total = 0;
    int rc = read_first_piece(ctx, argument, first, sizeof first, &total, 0);
    if (total == SQL_NULL_DATA)
        return false;
    if (rc == 0 && total > 1) // "complete" yet longer than what was delivered
        kv_fn_fail(ctx, KvMessage::long_read);
    auto *copy = static_cast<char *>(kv_mem_alloc(ctx->mem, static_cast<uint32_t>(total) + 1));
    if (!copy)
        kv_fn_fail(ctx, KvMessage::memory);
    copy[0] = first[0];
    copy[total > 0 ? 1 : 0] = '\0';
    if (rc == 1) {
        int32_t rest = 0;
        DriverConnection *connection = ctx->stmt->connection;
        rc = connection->read_long_data(argument->long_buffer, copy + 1, total, &rest, 0);
        if (rc != 0 || rest != total - 1)
            kv_fn_fail(ctx, KvMessage::long_read);
    }
    *text = {copy, static_cast<std::size_t>(total), copy};
    return true;
}

template <typename Number>
std::size_t print_number(char *buffer, std::size_t size, Number number)
{
    auto result = std::to_chars(buffer, buffer + size, number);
    return static_cast<std::size_t>(result.ptr - buffer);
}

// The fraction of a timestamp as ".fff" without trailing zeros; "" for 0.
std::size_t print_fraction(char *buffer, std::size_t size, SQLUINTEGER fraction)
{
    if (fraction == 0)
        return 0;
    int n = std::snprintf(buffer, size, ".%09u", static_cast<unsigned>(fraction));
    std::size_t length = n > 0 ? static_cast<std::size_t>(n) : 0;
    while (length > 1 && buffer[length - 1] == '0')
        --length;
    return length;
}

std::size_t printed(int n)
{
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// The plain text of a value that is not a string, as the server casts it
// (no quotes or escapes); SIZE_MAX for a type without one. `buffer` holds
// KV_VALUE_TEXT_SIZE bytes.
std::size_t plain_text(const Value *v, char *buffer)
{
    const std::size_t size = KV_VALUE_TEXT_SIZE;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
        return print_number(buffer, size, v->data.i);
    case VT_BIGINT:
        return print_number(buffer, size, v->data.big);
    case VT_DOUBLE:
        return print_number(buffer, size, v->data.d); // shortest text that reads back the same
    case VT_NUMERIC: {
        int length = 0;
        numeric_to_string(&v->data.num, buffer, static_cast<int>(size), &length);
        return std::strlen(buffer);
    }
    case VT_DATE:
        return printed(std::snprintf(buffer, size, "%04d-%02u-%02u", v->data.date.year, v->data.date.month,
                                     v->data.date.day));
    case VT_TIME:
        return printed(std::snprintf(buffer, size, "%02u:%02u:%02u", v->data.time.hour, v->data.time.minute,
                                     v->data.time.second));
    case VT_TIMESTAMP: {
        const SQL_TIMESTAMP_STRUCT &ts = v->data.ts;
        std::size_t n = printed(std::snprintf(buffer, size, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month,
                                              ts.day, ts.hour, ts.minute, ts.second));
        return n + print_fraction(buffer + n, size - n, ts.fraction);
    }
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        interval_as_text(v, buffer, 0);
        return std::strlen(buffer);
    default:
        return SIZE_MAX;
    }
}

bool converted_text(EvalContext *ctx, const Value *argument, KvText *text)
{
    char buffer[KV_VALUE_TEXT_SIZE];
    std::size_t length = plain_text(argument, buffer);
    if (length == SIZE_MAX)
        kv_fn_fail(ctx, KvMessage::not_text);
    auto *copy = static_cast<char *>(kv_mem_alloc(ctx->mem, static_cast<uint32_t>(length + 1)));
    if (!copy)
        kv_fn_fail(ctx, KvMessage::memory);
    std::memcpy(copy, buffer, length);
    copy[length] = '\0';
    *text = {copy, length, copy};
    return true;
}

// Bytes of a value's datum, for OCTET_LENGTH and BIT_LENGTH of a non-string.
int64_t datum_size(const Value *v)
{
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
        return sizeof v->data.i;
    case VT_DOUBLE:
        return sizeof v->data.d;
    case VT_BIGINT:
        return sizeof v->data.big;
    case VT_BINARY:
        return v->octet_length > 0 ? v->octet_length : 0;
    case VT_DATE:
        return sizeof v->data.date;
    case VT_TIME:
        return sizeof v->data.time;
    case VT_TIMESTAMP:
        return sizeof v->data.ts;
    case VT_NUMERIC:
        return sizeof v->data.num;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS:
        return sizeof v->data.iv;
    default:
        return -2;
    }
}

} // namespace

void kv_fn_require_args(EvalContext *ctx, int32_t argc, Value **argv, int32_t needed)
{
    if (argc < needed || (needed > 0 && !argv))
        kv_fn_fail(ctx, KvMessage::argument_count);
}

bool kv_fn_read_text(EvalContext *ctx, const Value *argument, KvText *text)
{
    *text = {"", 0, nullptr};
    if (argument->type == VT_STRING) {
        if (argument->data.s)
            *text = {argument->data.s, std::strlen(argument->data.s), nullptr};
        return true;
    }
    if (argument->type == VT_LONG_STRING)
        return read_long_text(ctx, argument, text);
    return converted_text(ctx, argument, text);
}

void kv_fn_release_text(EvalContext *ctx, KvText *text)
{
    kv_mem_free(ctx->mem, text->scratch);
    text->scratch = nullptr;
}

bool kv_fn_read_texts(EvalContext *ctx, Value **argv, int count, KvText *texts)
{
    for (int i = 0; i < count; ++i) {
        if (!kv_fn_read_text(ctx, argv[i], &texts[i])) {
            kv_fn_release_texts(ctx, texts, i);
            return false;
        }
    }
    return true;
}

void kv_fn_release_texts(EvalContext *ctx, KvText *texts, int count)
{
    for (int i = 0; i < count; ++i)
        kv_fn_release_text(ctx, &texts[i]);
}

int64_t kv_fn_text_length(EvalContext *ctx, const Value *argument, bool datum)
{
    if (argument->type == VT_STRING)
        return argument->data.s ? static_cast<int64_t>(std::strlen(argument->data.s)) : 0;
    if (argument->type == VT_LONG_STRING || argument->type == VT_LONG_BINARY) {
        // One byte read is enough to learn the whole length.
        char first[2];
        int32_t total = 0;
        int binary = argument->type == VT_LONG_BINARY;
        read_first_piece(ctx, argument, first, binary ? 1 : 2, &total, binary);
        return total == SQL_NULL_DATA ? -1 : total;
    }
    int64_t size = datum || argument->type == VT_BINARY ? datum_size(argument) : -2;
    if (size >= 0)
        return size;
    KvText text;
    converted_text(ctx, argument, &text);
    kv_fn_release_text(ctx, &text);
    return static_cast<int64_t>(text.size);
}

int kv_fn_first_byte(EvalContext *ctx, const Value *argument)
{
    if (argument->type == VT_LONG_STRING) {
        char first[2] = "";
        int32_t total = 0;
        read_first_piece(ctx, argument, first, sizeof first, &total, 0);
        if (total == SQL_NULL_DATA)
            return -1;
        return total > 0 ? static_cast<unsigned char>(first[0]) : 0;
    }
    KvText text;
    kv_fn_read_text(ctx, argument, &text);
    int byte = text.size > 0 ? static_cast<unsigned char>(text.data[0]) : 0;
    kv_fn_release_text(ctx, &text);
    return byte;
}

int32_t kv_fn_int_arg(EvalContext *ctx, const Value *argument)
{
    switch (argument->type) {
    case VT_INTEGER:
    case VT_BIT:
        return argument->data.i;
    case VT_DOUBLE:
    case VT_STRING:
    case VT_NUMERIC:
    case VT_BIGINT: {
        int64_t wide = get_bigint_from_value(argument);
        if (wide < INT32_MIN || wide > INT32_MAX)
            kv_fn_fail(ctx, KvMessage::numeric_out_of_range);
        return static_cast<int32_t>(wide);
    }
    default:
        kv_fn_fail(ctx, KvMessage::not_text);
    }
}

Value *kv_fn_new_text(EvalContext *ctx, uint64_t length, KvMessage diagnostic, char **text)
{
    if (length > static_cast<uint64_t>(KV_FN_MAX_STRING_LENGTH))
        kv_fn_fail(ctx, diagnostic);
    Value *result = kv_fn_new_result(ctx, VT_STRING);
    if (!result)
        return nullptr;
    auto *block = static_cast<char *>(kv_mem_alloc(ctx->mem, static_cast<uint32_t>(length + 1)));
    if (!block)
        kv_fn_fail(ctx, diagnostic);
    block[length] = '\0';
    result->data.s = block;
    result->length = static_cast<int32_t>(length);
    *text = block;
    return result;
}
