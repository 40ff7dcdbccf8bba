/*
** String buffer helpers: bounded copies with the ODBC length contract, a
** handle-owned duplicator, case-blind equality, a re-entrant tokenizer and the
** dynamic-function texts of the diagnostics.
*/
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <string_view>

#include "internal.h"

namespace {

std::string_view text_of(const char *src)
{
    return std::string_view(src ? src : "");
}

int16_t to_length16(std::size_t n)
{
    return static_cast<int16_t>(std::min<std::size_t>(n, std::numeric_limits<int16_t>::max()));
}

int32_t to_length32(std::size_t n)
{
    return static_cast<int32_t>(std::min<std::size_t>(n, std::numeric_limits<int32_t>::max()));
}

// Copies `src` into `len` units of `dst`, unit by unit, always terminating
// when there is room for a unit. Returns 0 when all of it fitted, 1 otherwise.
template <typename Unit>
int copy_units(Unit *dst, long len, std::string_view src)
{
    if (len < 0)
        len = 0;
    std::size_t room = static_cast<std::size_t>(len);
    bool fits = src.size() < room;
    if (dst && room > 0) {
        std::size_t n = fits ? src.size() : room - 1;
        for (std::size_t i = 0; i < n; i++)
            dst[i] = static_cast<Unit>(static_cast<unsigned char>(src[i]));
        dst[n] = 0;
    }
    return fits ? 0 : 1;
}

struct FunctionText {
    int code;
    const char *text;
};

constexpr FunctionText function_texts[] = {
    {SQL_DIAG_DROP_INDEX, "DROP_INDEX"},
    {SQL_DIAG_CREATE_INDEX, "CREATE INDEX"},
    {SQL_DIAG_ALTER_TABLE, "ALTER TABLE"},
    {SQL_DIAG_DELETE_WHERE, "DELETE WHERE"},
    {SQL_DIAG_DROP_TABLE, "DROP TABLE"},
    {SQL_DIAG_DROP_VIEW, "DROP VIEW"},
    {SQL_DIAG_DYNAMIC_DELETE_CURSOR, "DYNAMIC DELETE CURSOR"},
    {SQL_DIAG_GRANT, "GRANT"},
    {SQL_DIAG_INSERT, "INSERT"},
    {SQL_DIAG_REVOKE, "REVOKE"},
    {SQL_DIAG_CREATE_TABLE, "CREATE TABLE"},
    {SQL_DIAG_DYNAMIC_UPDATE_CURSOR, "DYNAMIC UPDATE CURSOR"},
    {SQL_DIAG_UPDATE_WHERE, "UPDATE WHERE"},
    {SQL_DIAG_CREATE_VIEW, "CREATE VIEW"},
    {SQL_DIAG_SELECT_CURSOR, "SELECT CURSOR"},
};

} // namespace

bool kv_equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); i++) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

extern "C" {

int copy_str_buffer(char *dst, int len, int16_t *out, const char *src)
{
    std::string_view text = text_of(src);
    if (out)
        *out = to_length16(text.size());
    return copy_units(dst, len, text);
}

int copy_str_bufferl(char *dst, int32_t len, int32_t *out, const char *src)
{
    std::string_view text = text_of(src);
    if (out)
        *out = to_length32(text.size());
    return copy_units(dst, len, text);
}

int copy_nstr_bufferl(uint16_t *dst, int32_t len, int32_t *out, const char *src)
{
    std::string_view text = text_of(src);
    if (out)
        *out = to_length32(text.size());
    return copy_units(dst, len, text);
}

int cat_str_buffer(char *dst, int len, int16_t *inout, const char *src)
{
    std::string_view text = text_of(src);
    long running = *inout;
    bool fits = running + static_cast<long>(text.size()) < len;
    if (dst && len > 0) {
        // The append starts at dst's own terminator and never passes len - 1 bytes.
        std::size_t room = static_cast<std::size_t>(len);
        std::size_t used = strnlen(dst, room - 1);
        std::size_t n = std::min(text.size(), room - 1 - used);
        std::memcpy(dst + used, text.data(), n);
        dst[used + n] = '\0';
        fits = fits && n == text.size(); // bytes dropped are a cut, whatever the running length says
    }
    *inout = to_length16(static_cast<std::size_t>(std::max(0L, running)) + text.size());
    return fits ? 0 : 1;
}

char *string_duplicate(const char *src, MemHandle *handle)
{
    std::string_view text = text_of(src);
    if (text.size() >= std::numeric_limits<uint32_t>::max())
        return nullptr;
    auto *copy = static_cast<char *>(kv_mem_alloc(handle, static_cast<uint32_t>(text.size() + 1)));
    if (!copy)
        return nullptr;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

int string_compare(const char *a, const char *b)
{
    if (!a || !b)
        return a == b ? 0 : 1;
    return kv_equal_nocase(a, b) ? 0 : 1;
}

char *safe_strtok(char *str, const char *delims, char **save)
{
    char *start = str ? str : *save;
    if (!start)
        return nullptr;
    start += std::strspn(start, delims);
    if (*start == '\0')
        return nullptr;
    char *end = start + std::strcspn(start, delims);
    if (*end != '\0')
        *end++ = '\0';
    *save = end;
    return start;
}

const char *function_string(int code)
{
    for (const FunctionText &entry : function_texts)
        if (entry.code == code)
            return entry.text;
    return "";
}

} // extern "C"
