// The SQL printer on trees generated from the fuzz input: a structure-aware
// generator over every node kind, which builds each node as a driver's
// parser does (newNode, fields by their declared types: child nodes of any
// kind, lists, precision and interval-field nodes, texts, codes and flags)
// and literals through the library's constructors. Printing allocates
// nothing, gives the same text every time, and stops at once, with the
// output function's result, when that function refuses a piece.
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "internal.h"

namespace {

// The fields after `kind`, one letter per pointer-sized word:
// n a child node of any kind (or none), L a list that must be present,
// l a list or none, p a NODE_PRECISION or none, f a NODE_INTERVAL_FIELD or
// none, s a text, w a code or flag.
struct Shape {
    NodeKind kind;
    const char *fields;
};

constexpr Shape kShapes[] = {
    {NODE_ALTER_TABLE_ADD, "nL"}, {NODE_ALTER_TABLE_DROP, "nnw"}, {NODE_CREATE_INDEX, "wnnl"},
    {NODE_CREATE_TABLE, "nlnn"}, {NODE_CREATE_VIEW, "nlnw"}, {NODE_DELETE_POSITIONED, "nn"},
    {NODE_DELETE_SEARCHED, "nn"}, {NODE_DROP_INDEX, "n"}, {NODE_DROP_TABLE, "nw"}, {NODE_DROP_VIEW, "nw"},
    {NODE_GRANT, "lnlw"}, {NODE_INSERT, "nn"}, {NODE_REVOKE, "nlwl"}, {NODE_CURSOR_SPEC, "nl"},
    {NODE_FOR_UPDATE, "nl"}, {NODE_QUERY_SPEC, "wwlln"}, {NODE_UPDATE_POSITIONED, "nln"},
    {NODE_UPDATE_SEARCHED, "nln"}, {NODE_PROC_CALL, "nlw"}, {NODE_TABLE_NAME, "nnnn"},
    {NODE_COLUMN_DEF, "nnl"}, {NODE_IDENTIFIER, "sw"}, {NODE_GROUPED_QUERY, "nln"}, {NODE_UNION, "nnwn"},
    {NODE_INSERT_SOURCE, "wlnl"}, {NODE_TABLE_REF, "nnnn"}, {NODE_SET_CLAUSE, "nwwnn"},
    {NODE_ORDERED_COLUMN, "nw"}, {NODE_CHOICE, "nn"}, {NODE_PRIVILEGE, "wl"}, {NODE_SELECT_ITEM, "nnn"},
    {NODE_COLUMN_NAME, "nnnnnwwwwwwwwwwwww"}, {NODE_SORT_SPEC, "nww"}, {NODE_DATA_TYPE, "wwwwp"},
    {NODE_COLUMN_CONSTRAINT, "wnlnn"}, {NODE_TABLE_CONSTRAINT, "wlnnlw"}, {NODE_NULL_OR_DEFAULT, "w"},
    {NODE_QUALIFIED_JOIN, "nwwwnnln"}, {NODE_PRECISION, "ww"}, {NODE_INTERVAL_QUALIFIER, "fff"},
    {NODE_INTERVAL_FIELD, "wwp"}, {NODE_CAST, "nn"}, {NODE_SCALAR_FUNCTION, "wLnnn"},
    {NODE_SET_FUNCTION, "wwnn"}, {NODE_TRIM_SPEC, "wnn"}, {NODE_EXISTS, "nw"}, {NODE_LIKE, "nwnn"},
    {NODE_NULL_TEST, "nw"}, {NODE_IN_PREDICATE, "nwnwwl"}, {NODE_QUANTIFIED_COMPARISON, "nwwwn"},
    {NODE_EXPRESSION, "wwnnwwww"}, {NODE_PARAMETER, "wwww"}, {NODE_CASE, "nLn"}, {NODE_NULLIF, "nn"},
    {NODE_COALESCE, "l"}, {NODE_WHEN_CLAUSE, "nn"}, {NODE_COMMIT, ""}, {NODE_ROLLBACK, ""},
};
constexpr int kShapeCount = static_cast<int>(sizeof kShapes / sizeof kShapes[0]);

constexpr const Shape &shape_of(NodeKind kind)
{
    for (const Shape &shape : kShapes)
        if (shape.kind == kind)
            return shape;
    return kShapes[0];
}

class Generator {
public:
    Generator(kvfuzz::Input &in, MemHandle *mem) : in_(in), mem_(mem) {}

    void *node(int depth)
    {
        if (in_.empty() || depth > kMaxDepth || ++count_ > kMaxNodes)
            return nullptr;
        int choice = in_.range(0, kShapeCount + 3);
        if (choice == kShapeCount)
            return nullptr;
        if (choice == kShapeCount + 1)
            return value();
        if (choice == kShapeCount + 2)
            return list(depth);
        if (choice == kShapeCount + 3) // identifiers are the commonest leaves
            return make(shape_of(NODE_IDENTIFIER), depth);
        return make(kShapes[choice], depth);
    }

private:
    static constexpr int kMaxDepth = 40;
    static constexpr int kMaxNodes = 400;

    void *make(const Shape &shape, int depth)
    {
        std::size_t words = std::strlen(shape.fields);
        auto *n = static_cast<unsigned char *>(newNode(static_cast<uint32_t>(8 + 8 * words), shape.kind, mem_));
        auto *field = reinterpret_cast<intptr_t *>(n + 8);
        for (std::size_t i = 0; i < words; i++)
            field[i] = word(shape.fields[i], depth + 1);
        return n;
    }

    intptr_t word(char type, int depth)
    {
        switch (type) {
        case 'n': return reinterpret_cast<intptr_t>(node(depth));
        case 'L': return reinterpret_cast<intptr_t>(list(depth));
        case 'l': return in_.byte() % 2 ? reinterpret_cast<intptr_t>(list(depth)) : 0;
        case 'p': return in_.byte() % 2 ? reinterpret_cast<intptr_t>(make(shape_of(NODE_PRECISION), depth)) : 0;
        case 'f': return in_.byte() % 2 ? reinterpret_cast<intptr_t>(make(shape_of(NODE_INTERVAL_FIELD), depth)) : 0;
        case 's': return reinterpret_cast<intptr_t>(string_duplicate(in_.text().c_str(), mem_));
        default: return code();
        }
    }

    // Codes and flags: mostly small, sometimes any word.
    intptr_t code()
    {
        uint8_t b = in_.byte();
        if (b < 0xf0)
            return static_cast<int8_t>(b) % 24;
        return static_cast<intptr_t>(static_cast<int32_t>(in_.word()));
    }

    NodeList *list(int depth)
    {
        auto *l = static_cast<NodeList *>(newNode(sizeof(NodeList), NODE_LIST, mem_));
        for (int items = in_.range(0, 4); items > 0; items--) {
            void *item = node(depth + 1);
            if (item)
                l->items = ListAppend(item, l->items, mem_);
        }
        return l;
    }

    Value *value()
    {
        int choice = in_.range(0, 16);
        if (choice <= 12)
            return MakeLiteral(choice, in_.text().c_str(), mem_);
        if (choice == 13)
            return MakeInteger(in_.text().c_str(), mem_);
        if (choice == 14)
            return MakeFloat(in_.text().c_str(), mem_);
        if (choice == 15) {
            std::string whole = in_.text(), fraction = in_.text();
            return MakeNumeric(whole.c_str(), fraction.c_str(), mem_);
        }
        return raw_value();
    }

    // A value with a fuzzed type code and datum, as a driver may fill one
    // (types whose datum is a pointer get a text of their own).
    Value *raw_value()
    {
        Value *v = NewValue(mem_, 0);
        if (!v)
            return nullptr;
        v->type = in_.range(0, 31);
        v->indicator = in_.byte() == 0xff ? -1 : 0;
        v->precision = in_.range(0, 40);
        v->scale = in_.range(-5, 40);
        v->leading_precision = in_.range(0, 12);
        v->fraction_precision = in_.range(0, 12);
        std::string datum = in_.text();
        std::memcpy(&v->data, datum.data(), std::min(datum.size(), sizeof v->data));
        if (v->type == VT_STRING || v->type == VT_BINARY || v->type == VT_LONG_STRING || v->type == VT_LONG_BINARY) {
            v->type = v->type == VT_BINARY ? VT_BINARY : VT_STRING;
            std::string text = in_.text();
            auto *bytes = static_cast<char *>(kv_mem_alloc(mem_, static_cast<uint32_t>(text.size() + 1)));
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            v->data.s = bytes;
            v->length = v->octet_length = static_cast<int32_t>(text.size());
        }
        return v;
    }

    kvfuzz::Input &in_;
    MemHandle *mem_;
    int count_ = 0;
};

struct Collector {
    std::string text;
    long pieces = 0;
    long stop_at = -1; // the piece refused (-1: none)
};

int collect(const char *piece, void *context)
{
    auto *c = static_cast<Collector *>(context);
    FUZZ_CHECK(c->stop_at < 0 || c->pieces <= c->stop_at); // nothing after a refusal
    if (c->pieces++ == c->stop_at)
        return -7;
    c->text += piece;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    kvfuzz::Input in(data, size);
    int entry = in.range(0, 3);
    int stop = in.range(0, 255);
    Generator generator(in, mem);
    void *tree = generator.node(0);

    auto print = [&](Collector &c) {
        switch (entry) {
        case 0: return sql92_print_parse_tree(tree, collect, &c);
        case 1: return sql92_print_expression(tree, collect, &c);
        default: return sql92_print_expression_ex(tree, collect, &c, entry - 1);
        }
    };
    long allocations = kv_test_allocation_count();
    Collector first;
    int rc = print(first);
    FUZZ_CHECK(kv_test_allocation_count() == allocations);
    FUZZ_CHECK(rc == 0 || rc == KV_PRINT_TOO_DEEP);
    Collector again;
    FUZZ_CHECK(print(again) == rc && again.text == first.text);

    if (stop < first.pieces) {
        Collector refused;
        refused.stop_at = stop;
        FUZZ_CHECK(print(refused) == -7 && refused.pieces == stop + 1);
    }
    kv_mem_release_handle(mem);
    return 0;
}
