/*
** The string functions of the catalogue, with DATABASE, USER, IFNULL and
** CONVERT. Texts are byte strings read as views of the arguments (which are
** never written, see functions_args.cpp); sizes and positions are worked
** out in 64 bits before anything is allocated, and a result goes into one
** block of its exact size. Only LENGTH, LTRIM and RTRIM drop blanks.
*/
#include <algorithm>
#include <cstring>
#include <string_view>

#include "functions_internal.h"

namespace {

#define KV_UNUSED_CALL_ARGS (void)mode, (void)eval_data, (void)entry

// Ids of the rows that measure the datum of a non-string (OCTET_LENGTH in
// both tables); CHAR_LENGTH shares their implementation.
constexpr int32_t kOctetLengthId = 42;
constexpr int32_t kOctetLengthKeywordId = -2;

// The soundex digit of each letter A to Z; '0' for the letters not coded.
constexpr char kSound[] = "01230120022455012623010202";

std::string_view view(const KvText &text)
{
    return std::string_view(text.data, text.size);
}

bool is_ascii_letter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::size_t without_trailing_blanks(const KvText &text)
{
    std::size_t n = text.size;
    while (n > 0 && text.data[n - 1] == ' ')
        --n;
    return n;
}

// An integer result; one that does not fit 32 bits (BIT_LENGTH of a text
// over 256 MiB) is a bigint.
Value *count_result(EvalContext *ctx, int64_t n)
{
    bool fits = n >= INT32_MIN && n <= INT32_MAX;
    Value *result = kv_fn_new_result(ctx, fits ? VT_INTEGER : VT_BIGINT);
    if (result && fits)
        result->data.i = static_cast<int32_t>(n);
    else if (result)
        result->data.big = n;
    return result;
}

// A string result holding `text`, released afterwards with the argument.
Value *text_result(EvalContext *ctx, std::string_view text, KvMessage diagnostic, KvText *argument)
{
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, text.size(), diagnostic, &out);
    if (result && !text.empty())
        std::memcpy(out, text.data(), text.size());
    kv_fn_release_text(ctx, argument);
    return result;
}

// The position (from 1) of `needle` in `haystack` at or after `offset`
// (from 0); 0 when it does not occur.
int64_t find_from(std::string_view haystack, std::string_view needle, std::size_t offset)
{
    if (offset > haystack.size())
        return 0;
    if (needle.empty())
        return static_cast<int64_t>(offset) + 1;
    const void *hit = memmem(haystack.data() + offset, haystack.size() - offset, needle.data(), needle.size());
    return hit ? static_cast<const char *>(hit) - haystack.data() + 1 : 0;
}

// Plain locals and restrict pointers let the compiler vectorise the loop
// (stores through a char pointer could otherwise alias the view's fields).
template <unsigned char (*Map)(unsigned char)>
void map_bytes(char *__restrict out, const char *__restrict in, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(Map(static_cast<unsigned char>(in[i])));
}

// A case mapping of the whole text, byte by byte.
template <unsigned char (*Map)(unsigned char)>
Value *mapped_text(EvalContext *ctx, int32_t argc, Value **argv)
{
    kv_fn_require_args(ctx, argc, argv, 1);
    KvText s;
    if (kv_fn_is_null(argv[0]) || !kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, s.size, KvMessage::memory, &out);
    if (result)
        map_bytes<Map>(out, s.data, s.size);
    kv_fn_release_text(ctx, &s);
    return result;
}

struct Soundex {
    char code[4];
    bool letter; // the text starts with a letter: the code means something
};

// "0000" with the first byte (upper case) in front, then the digits of the
// following letters, a digit written only when it differs from the
// character written last.
Soundex soundex_of(std::string_view text)
{
    Soundex s{{'0', '0', '0', '0'}, false};
    if (text.empty())
        return s;
    unsigned char first = kv_ascii_upper(static_cast<unsigned char>(text[0]));
    s.code[0] = static_cast<char>(first);
    s.letter = is_ascii_letter(first);
    char last = s.code[0];
    int written = 1;
    for (std::size_t i = 1; s.letter && i < text.size() && written < 4; ++i) {
        unsigned char c = kv_ascii_upper(static_cast<unsigned char>(text[i]));
        if (c < 'A' || c > 'Z')
            continue;
        char digit = kSound[c - 'A'];
        if (digit != '0' && digit != last)
            s.code[written++] = last = digit;
    }
    return s;
}

int soundex_digits(const Soundex &s)
{
    return (s.code[1] - '0') * 100 + (s.code[2] - '0') * 10 + (s.code[3] - '0');
}

int difference_of(const Soundex &a, const Soundex &b)
{
    if (!a.letter && !b.letter)
        return 0;
    if (a.letter != b.letter)
        return 27000;
    int letters = static_cast<unsigned char>(a.code[0]) - static_cast<unsigned char>(b.code[0]);
    int digits = soundex_digits(a) - soundex_digits(b);
    return 1000 * (letters < 0 ? -letters : letters) + (digits < 0 ? -digits : digits);
}

// Counts the non-overlapping occurrences of `pattern` (not empty) in `text`.
uint64_t count_occurrences(std::string_view text, std::string_view pattern)
{
    uint64_t count = 0;
    for (std::size_t at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

// `text` with each occurrence of `pattern` (not empty) written as `with`.
void replace_into(char *out, std::string_view text, std::string_view pattern, std::string_view with)
{
    std::size_t from = 0;
    for (std::size_t at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, from)) {
        std::memcpy(out, text.data() + from, at - from);
        out += at - from;
        std::memcpy(out, with.data(), with.size());
        out += with.size();
        from = at + pattern.size();
    }
    std::memcpy(out, text.data() + from, text.size() - from);
}

// `length` bytes of `piece` repeated; the copy doubles what is written.
void repeat_into(char *out, std::string_view piece, uint64_t length)
{
    if (length == 0)
        return;
    std::memcpy(out, piece.data(), piece.size());
    uint64_t done = piece.size();
    while (done < length) {
        uint64_t chunk = done < length - done ? done : length - done;
        std::memcpy(out + done, out, chunk);
        done += chunk;
    }
}

DriverConnection *connection_of(EvalContext *ctx)
{
    return ctx->stmt ? ctx->stmt->connection : nullptr;
}

} // namespace

// Conversion is the server's (or the driver's) business: no value.
KV_SCALAR_FUNCTION(func_convert)
{
    (void)ctx, (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    return nullptr;
}

// ---- measures: integer results ----

KV_SCALAR_FUNCTION(func_ascii)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    int byte = kv_fn_is_null(argv[0]) ? -1 : kv_fn_first_byte(ctx, argv[0]);
    return byte < 0 ? kv_fn_null_result(ctx, VT_INTEGER) : count_result(ctx, byte);
}

KV_SCALAR_FUNCTION(func_bit_length)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    int64_t bytes = kv_fn_is_null(argv[0]) ? -1 : kv_fn_text_length(ctx, argv[0], true);
    return bytes < 0 ? kv_fn_null_result(ctx, VT_INTEGER) : count_result(ctx, 8 * bytes);
}

// CHAR_LENGTH, CHARACTER_LENGTH and OCTET_LENGTH: the length of the full
// text; OCTET_LENGTH of a non-string is the size of its datum.
KV_SCALAR_FUNCTION(func_char_length)
{
    (void)mode, (void)eval_data;
    kv_fn_require_args(ctx, argc, argv, 1);
    bool octets = entry && (entry->id == kOctetLengthId || entry->id == kOctetLengthKeywordId);
    int64_t bytes = kv_fn_is_null(argv[0]) ? -1 : kv_fn_text_length(ctx, argv[0], octets);
    return bytes < 0 ? kv_fn_null_result(ctx, VT_INTEGER) : count_result(ctx, bytes);
}

KV_SCALAR_FUNCTION(func_length)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    KvText s;
    if (kv_fn_is_null(argv[0]) || !kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_INTEGER);
    std::size_t length = without_trailing_blanks(s);
    kv_fn_release_text(ctx, &s);
    return count_result(ctx, static_cast<int64_t>(length));
}

// LOCATE(s, t [, start]): a NULL or missing start is taken as 1.
KV_SCALAR_FUNCTION(func_locate)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 2);
    if (kv_fn_any_null(2, argv))
        return kv_fn_null_result(ctx, VT_INTEGER);
    int64_t offset = 0;
    if (argc >= 3 && !kv_fn_is_null(argv[2])) {
        offset = int64_t{kv_fn_int_arg(ctx, argv[2])} - 1;
        offset = offset < 0 ? 0 : offset;
    }
    KvText texts[2];
    if (!kv_fn_read_texts(ctx, argv, 2, texts))
        return kv_fn_null_result(ctx, VT_INTEGER);
    int64_t position = find_from(view(texts[1]), view(texts[0]), static_cast<std::size_t>(offset));
    kv_fn_release_texts(ctx, texts, 2);
    return count_result(ctx, position);
}

// POSITION(s IN t): LOCATE without a start.
KV_SCALAR_FUNCTION(func_position)
{
    return func_locate(ctx, argc < 2 ? argc : 2, argv, mode, eval_data, entry);
}

KV_SCALAR_FUNCTION(func_difference)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 2);
    KvText texts[2];
    if (kv_fn_any_null(2, argv) || !kv_fn_read_texts(ctx, argv, 2, texts))
        return kv_fn_null_result(ctx, VT_INTEGER);
    int distance = difference_of(soundex_of(view(texts[0])), soundex_of(view(texts[1])));
    kv_fn_release_texts(ctx, texts, 2);
    return count_result(ctx, distance);
}

// ---- texts ----

KV_SCALAR_FUNCTION(func_char)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    if (kv_fn_is_null(argv[0]))
        return kv_fn_null_result(ctx, VT_STRING);
    char byte = static_cast<char>(kv_fn_int_arg(ctx, argv[0]) & 0xFF); // n modulo 256
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, 1, KvMessage::memory_zorv, &out);
    if (result)
        out[0] = byte;
    return result;
}

KV_SCALAR_FUNCTION(func_concat)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 2);
    KvText texts[2];
    if (kv_fn_any_null(2, argv) || !kv_fn_read_texts(ctx, argv, 2, texts))
        return kv_fn_null_result(ctx, VT_STRING);
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, uint64_t{texts[0].size} + texts[1].size, KvMessage::memory_zorv, &out);
    if (result) {
        std::memcpy(out, texts[0].data, texts[0].size);
        std::memcpy(out + texts[0].size, texts[1].data, texts[1].size);
    }
    kv_fn_release_texts(ctx, texts, 2);
    return result;
}

// INSERT(s, start, length, t): s with `length` bytes from `start` replaced
// by t; a start beyond the end (or negative) appends t, 0 inserts in front.
KV_SCALAR_FUNCTION(func_insert)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 4);
    if (kv_fn_any_null(4, argv))
        return kv_fn_null_result(ctx, VT_STRING);
    int64_t start = kv_fn_int_arg(ctx, argv[1]);
    int64_t length = kv_fn_int_arg(ctx, argv[2]);
    if (length < 0)
        kv_fn_fail(ctx, KvMessage::substring);
    Value *pieces[2] = {argv[0], argv[3]};
    KvText texts[2];
    if (!kv_fn_read_texts(ctx, pieces, 2, texts))
        return kv_fn_null_result(ctx, VT_STRING);
    const KvText &s = texts[0], &t = texts[1];
    int64_t size = static_cast<int64_t>(s.size);
    int64_t cut = (start < 0 || start - 1 > size) ? size : (start == 0 ? 0 : start - 1);
    int64_t rest_from = cut + length < size ? cut + length : size;
    uint64_t total = static_cast<uint64_t>(cut) + t.size + static_cast<uint64_t>(size - rest_from);
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, total, KvMessage::memory, &out);
    if (result) {
        std::memcpy(out, s.data, static_cast<std::size_t>(cut));
        std::memcpy(out + cut, t.data, t.size);
        std::memcpy(out + cut + t.size, s.data + rest_from, static_cast<std::size_t>(size - rest_from));
    }
    kv_fn_release_texts(ctx, texts, 2);
    return result;
}

KV_SCALAR_FUNCTION(func_lcase)
{
    KV_UNUSED_CALL_ARGS;
    return mapped_text<kv_ascii_lower>(ctx, argc, argv);
}

KV_SCALAR_FUNCTION(func_ucase)
{
    KV_UNUSED_CALL_ARGS;
    return mapped_text<kv_ascii_upper>(ctx, argc, argv);
}

// LEFT(s, n) and RIGHT(s, n): n bytes of the full text; a negative n or
// one beyond the end takes the whole text.
static Value *left_or_right(EvalContext *ctx, int32_t argc, Value **argv, bool left)
{
    kv_fn_require_args(ctx, argc, argv, 2);
    if (kv_fn_any_null(2, argv))
        return kv_fn_null_result(ctx, VT_STRING);
    int32_t n = kv_fn_int_arg(ctx, argv[1]);
    KvText s;
    if (!kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    std::string_view text = view(s);
    if (n >= 0 && static_cast<std::size_t>(n) < text.size())
        text = left ? text.substr(0, static_cast<std::size_t>(n)) : text.substr(text.size() - static_cast<std::size_t>(n));
    return text_result(ctx, text, KvMessage::memory, &s);
}

KV_SCALAR_FUNCTION(func_left)
{
    KV_UNUSED_CALL_ARGS;
    return left_or_right(ctx, argc, argv, true);
}

KV_SCALAR_FUNCTION(func_right)
{
    KV_UNUSED_CALL_ARGS;
    return left_or_right(ctx, argc, argv, false);
}

static Value *trimmed(EvalContext *ctx, int32_t argc, Value **argv, bool leading)
{
    kv_fn_require_args(ctx, argc, argv, 1);
    KvText s;
    if (kv_fn_is_null(argv[0]) || !kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    std::string_view text = view(s);
    if (leading)
        text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    else
        text = text.substr(0, without_trailing_blanks(s));
    return text_result(ctx, text, KvMessage::memory, &s);
}

KV_SCALAR_FUNCTION(func_ltrim)
{
    KV_UNUSED_CALL_ARGS;
    return trimmed(ctx, argc, argv, true);
}

KV_SCALAR_FUNCTION(func_rtrim)
{
    KV_UNUSED_CALL_ARGS;
    return trimmed(ctx, argc, argv, false);
}

KV_SCALAR_FUNCTION(func_repeat)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 2);
    if (kv_fn_any_null(2, argv))
        return kv_fn_null_result(ctx, VT_STRING);
    int32_t n = kv_fn_int_arg(ctx, argv[1]);
    KvText s;
    if (!kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    uint64_t total = n > 0 ? uint64_t{s.size} * static_cast<uint64_t>(n) : 0;
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, total, KvMessage::memory, &out);
    if (result)
        repeat_into(out, view(s), total);
    kv_fn_release_text(ctx, &s);
    return result;
}

// REPLACE(s, t, u): every t in s (scanned from the left, occurrences not
// overlapping) written as u; an empty t leaves s as it is.
KV_SCALAR_FUNCTION(func_replace)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 3);
    KvText texts[3];
    if (kv_fn_any_null(3, argv) || !kv_fn_read_texts(ctx, argv, 3, texts))
        return kv_fn_null_result(ctx, VT_STRING);
    std::string_view s = view(texts[0]), t = view(texts[1]), u = view(texts[2]);
    uint64_t count = t.empty() ? 0 : count_occurrences(s, t);
    // In 64 bits: each occurrence changes the length by u - t bytes.
    uint64_t total = s.size() - count * t.size() + count * u.size();
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, total, KvMessage::memory, &out);
    if (result && count == 0)
        std::memcpy(out, s.data(), s.size());
    else if (result)
        replace_into(out, s, t, u);
    kv_fn_release_texts(ctx, texts, 3);
    return result;
}

KV_SCALAR_FUNCTION(func_soundex)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    KvText s;
    if (kv_fn_is_null(argv[0]) || !kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    Soundex code = soundex_of(view(s));
    kv_fn_release_text(ctx, &s);
    if (!code.letter)
        return kv_fn_null_result(ctx, VT_STRING);
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, 4, KvMessage::memory, &out);
    if (result)
        std::memcpy(out, code.code, 4);
    return result;
}

KV_SCALAR_FUNCTION(func_space)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 1);
    if (kv_fn_is_null(argv[0]))
        return kv_fn_null_result(ctx, VT_STRING);
    int32_t n = kv_fn_int_arg(ctx, argv[0]);
    uint64_t total = n > 0 ? static_cast<uint64_t>(n) : 0;
    char *out = nullptr;
    Value *result = kv_fn_new_text(ctx, total, KvMessage::memory, &out);
    if (result)
        std::memset(out, ' ', total);
    return result;
}

// SUBSTRING(s, start [, length]): from byte `start` (from 1) to the end, or
// `length` bytes of it; a start outside the text gives the empty text, a
// negative length is an error (SQL's 22011).
KV_SCALAR_FUNCTION(func_substring)
{
    KV_UNUSED_CALL_ARGS;
    kv_fn_require_args(ctx, argc, argv, 2);
    bool has_length = argc >= 3 && argv[2];
    if (kv_fn_any_null(has_length ? 3 : 2, argv))
        return kv_fn_null_result(ctx, VT_STRING);
    int64_t start = kv_fn_int_arg(ctx, argv[1]);
    int64_t length = has_length ? kv_fn_int_arg(ctx, argv[2]) : INT64_MAX;
    if (length < 0)
        kv_fn_fail(ctx, KvMessage::substring);
    KvText s;
    if (!kv_fn_read_text(ctx, argv[0], &s))
        return kv_fn_null_result(ctx, VT_STRING);
    std::string_view text = view(s);
    int64_t size = static_cast<int64_t>(text.size());
    if (start < 1 || start > size)
        text = {};
    else
        text = text.substr(static_cast<std::size_t>(start - 1),
                           static_cast<std::size_t>(length < size - start + 1 ? length : size - start + 1));
    return text_result(ctx, text, KvMessage::memory, &s);
}

// ---- the connection ----

KV_SCALAR_FUNCTION(func_database)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    DriverConnection *connection = connection_of(ctx);
    const char *database = connection ? connection->database : nullptr;
    if (!database)
        return kv_fn_null_result(ctx, VT_STRING);
    KvText none{"", 0, nullptr};
    return text_result(ctx, database, KvMessage::memory_zorv, &none);
}

// USER(): the UID of the connection string; NULL when it gave none.
KV_SCALAR_FUNCTION(func_user)
{
    (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    DriverConnection *connection = connection_of(ctx);
    const char *user = connection ? get_attribute_value(&connection->attributes, "UID") : nullptr;
    if (!user)
        return kv_fn_null_result(ctx, VT_STRING);
    KvText none{"", 0, nullptr};
    return text_result(ctx, user, KvMessage::memory, &none);
}

// IFNULL(e1, e2): its arguments are expressions, evaluated here; the value
// of e1 itself unless it is NULL, then whatever e2 evaluates to.
KV_SCALAR_FUNCTION(func_ifnull)
{
    (void)entry;
    if (argc < 2 || !argv || !ctx->evaluate)
        return nullptr;
    Value *first = ctx->evaluate(argv[0], ctx, mode, eval_data);
    if (!first || !kv_fn_is_null(first))
        return first;
    return ctx->evaluate(argv[1], ctx, 0, nullptr);
}
