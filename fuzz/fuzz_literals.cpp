// Literal constructors: every MakeLiteral kind, the number constructors and
// MakeInterval under every qualifier, on fuzzed text. Each value made is
// rendered into a buffer of exactly the size the header documents,
// duplicated, compared with its copy and flattened into a row record.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "internal.h"

namespace {

// The bytes value_as_text may write for `v`, as values.h states them.
std::size_t text_size(const Value *v)
{
    if (v->type == VT_STRING)
        return 2 * static_cast<std::size_t>(v->length) + 3;
    if (v->type == VT_BINARY)
        return 2 * static_cast<std::size_t>(v->octet_length) + 4;
    return KV_VALUE_TEXT_SIZE;
}

std::string render(const Value *v)
{
    std::size_t size = text_size(v);
    auto buffer = std::make_unique<char[]>(size); // exactly: ASan sees one byte more
    buffer[0] = '\0';
    std::string text = value_as_text(v, buffer.get());
    FUZZ_CHECK(text.size() < size);
    return text;
}

bool has_data(const Value *v)
{
    switch (v->type) {
    case VT_INTEGER: case VT_DOUBLE: case VT_STRING: case VT_BIT: case VT_BINARY: case VT_DATE: case VT_TIME:
    case VT_TIMESTAMP: case VT_NUMERIC: case VT_BIGINT: case VT_INTERVAL_YM: case VT_INTERVAL_DS:
        return true;
    default:
        return false;
    }
}

// The row record of `v` holds what the value holds: it compares equal to
// the record of the copy.
void check_flat(const Value *v, const Value *copy)
{
    std::size_t data = v->type == VT_STRING || v->type == VT_BINARY ? static_cast<std::size_t>(v->length) : 28;
    auto a = std::make_unique<unsigned char[]>(KV_FLAT_HEADER_SIZE + data);
    auto b = std::make_unique<unsigned char[]>(KV_FLAT_HEADER_SIZE + data);
    value_to_dm(reinterpret_cast<FlatValue *>(a.get()), v);
    value_to_dm(reinterpret_cast<FlatValue *>(b.get()), copy);
    FUZZ_CHECK(compare_dm(reinterpret_cast<FlatValue *>(a.get()), reinterpret_cast<FlatValue *>(b.get())) == 0);
}

// A fraction of a second is always below one second; fields after the
// leading one stay in their ranges.
void check_interval(const Value *v)
{
    if (v->type != VT_INTERVAL_DS)
        return;
    const auto &ds = v->data.iv.intval.day_second;
    FUZZ_CHECK(ds.fraction <= 999999999u);
}

// A binary literal holds exactly the bytes its digits give.
void check_hex(const std::string &text, const Value *v)
{
    std::size_t skip = 2, trail = (text[0] == 'X' || text[0] == 'x') ? 1 : 0;
    std::string digits = text.substr(skip, text.size() - skip - trail);
    if (digits.size() % 2)
        digits.insert(0, "0");
    std::string shown = render(v);
    FUZZ_CHECK(shown.size() == digits.size() + 3);
    for (std::size_t i = 0; i < digits.size(); i++)
        FUZZ_CHECK(std::toupper(static_cast<unsigned char>(shown[i + 2])) ==
                   std::toupper(static_cast<unsigned char>(digits[i])));
}

// Blanks, a sign, digits with at most one point, an exponent: the text a
// float literal holds, with nothing after it.
bool is_plain_decimal(const char *p)
{
    while (*p == ' ')
        p++;
    if (*p == '+' || *p == '-')
        p++;
    int digits = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)) && ++digits)
        p++;
    if (*p == '.')
        p++;
    while (std::isdigit(static_cast<unsigned char>(*p)) && ++digits)
        p++;
    if (!digits)
        return false;
    if (*p == 'e' || *p == 'E') {
        p++;
        if (*p == '+' || *p == '-')
            p++;
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return false;
        while (std::isdigit(static_cast<unsigned char>(*p)))
            p++;
    }
    return *p == '\0';
}

// The correctly rounded double of such a text (the process stays in the "C"
// locale).
const double &reference_double(const char *text)
{
    static double d;
    d = std::strtod(text, nullptr);
    return d;
}

void exercise(MemHandle *mem, Value *v)
{
    if (!v)
        return;
    check_interval(v);
    std::string shown = render(v);
    Value *copy = duplicate_value(mem, v);
    if (!copy)
        return;
    FUZZ_CHECK(copy->type == v->type);
    if (has_data(v) && v->indicator != -1) {
        FUZZ_CHECK(render(copy) == shown);
        FUZZ_CHECK(compare_values(v, copy) == 0);
        check_flat(v, copy);
    }
    release_value(mem, copy);
}

NodeIntervalField *field(kvfuzz::Input &in, MemHandle *mem)
{
    auto *f = static_cast<NodeIntervalField *>(newNode(sizeof(NodeIntervalField), NODE_INTERVAL_FIELD, mem));
    f->field = in.range(0, 8);
    f->precision = in.range(0, 12);
    if (f->field == KV_FIELD_SECOND && in.byte() % 2) {
        auto *p = static_cast<NodePrecision *>(newNode(sizeof(NodePrecision), NODE_PRECISION, mem));
        p->precision = in.range(0, 12);
        p->scale = in.range(0, 12);
        f->second_precision = p;
    }
    return f;
}

Value *make_interval(kvfuzz::Input &in, MemHandle *mem)
{
    auto *q = static_cast<NodeIntervalQualifier *>(
        newNode(sizeof(NodeIntervalQualifier), NODE_INTERVAL_QUALIFIER, mem));
    if (in.byte() % 2) {
        q->single = field(in, mem);
    } else {
        q->start = field(in, mem);
        q->end = field(in, mem);
    }
    IntervalParts parts{};
    parts.day = in.word();
    parts.first_number = in.word();
    parts.second_number = in.word();
    parts.count = in.range(0, 2);
    parts.has_day = in.byte() % 2;
    parts.has_dash = in.byte() % 2;
    if (in.byte() % 2) {
        std::string whole = in.text(), fraction = in.text();
        parts.seconds = MakeNumeric(whole.c_str(), fraction.c_str(), mem);
    }
    return MakeInterval(in.byte() % 2 ? '-' : '+', &parts, q, mem);
}

void run(kvfuzz::Input &in, MemHandle *mem)
{
    int choice = in.range(0, 17);
    if (choice <= 12) {
        std::string text = in.remainder();
        text = text.c_str();
        Value *v = MakeLiteral(choice, text.c_str(), mem);
        if (v && choice == KV_LITERAL_HEX)
            check_hex(text, v);
        exercise(mem, v);
        return;
    }
    switch (choice) {
    case 13: {
        std::string whole = in.text(), fraction = in.text();
        int status = 0;
        Value *v = MakeNumericEx(whole.c_str(), fraction.c_str(), mem, &status);
        FUZZ_CHECK(v || status == -2);
        exercise(mem, v);
        break;
    }
    case 14: exercise(mem, MakeInteger(in.remainder().c_str(), mem)); break;
    case 15: {
        std::string text = in.remainder();
        Value *v = MakeFloat(text.c_str(), mem);
        if (v && is_plain_decimal(text.c_str()))
            FUZZ_CHECK(std::memcmp(&v->data.d, &reference_double(text.c_str()), sizeof(double)) == 0);
        exercise(mem, v);
        break;
    }
    case 16: {
        // Saturates in both directions, as strtol does in the "C" locale.
        std::string text = in.remainder();
        FUZZ_CHECK(ConvertToInteger(text.c_str()) == std::strtol(text.c_str(), nullptr, 10));
        break;
    }
    default: exercise(mem, make_interval(in, mem)); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    kvfuzz::Input input(data, size);
    run(input, mem);
    kv_mem_release_handle(mem);
    return 0;
}
