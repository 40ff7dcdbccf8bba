// The SQL printer: a wide SELECT of about 1,000 nodes (joins, CASE, functions,
// literals) printed through an output function that appends to a growing
// buffer, against replaying the same recorded pieces through the same output
// function: what the walk costs beyond handing the text over.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ratio.h"
#include "tree_builder.h"

namespace {

using kvtest::TreeBuilder;

constexpr int kItems = 36;  // select items of 28 nodes each

int append_text(const char *text, void *context)
{
    static_cast<std::string *>(context)->append(text);
    return 0;
}

// CASE WHEN tK.cK > K THEN SUBSTRING(tK.name FROM 2 FOR 5)
//      WHEN tK.cK < -K THEN ABS(tK.cK) ELSE 'n''a' END AS aK
const void *select_item(TreeBuilder &t, int k)
{
    char column[16], table[16], alias[16];
    std::snprintf(column, sizeof column, "c%d", k);
    std::snprintf(table, sizeof table, "t%d", k % 4);
    std::snprintf(alias, sizeof alias, "a%d", k);
    auto *substring = t.make<NodeScalarFunction>(NODE_SCALAR_FUNCTION);
    substring->function = KV_FN_SUBSTRING;
    substring->operand1 = TreeBuilder::N(t.col("name", table));
    substring->operand2 = TreeBuilder::N(t.integer(2));
    substring->operand3 = TreeBuilder::N(t.integer(5));
    auto *abs = t.make<NodeScalarFunction>(NODE_SCALAR_FUNCTION);
    abs->function = 0;
    abs->arguments = t.list({t.col(column, table)});
    auto *choice = t.make<NodeCase>(NODE_CASE);
    choice->whens = t.list({t.when(t.cmp(KV_OP_GREATER, t.col(column, table), t.integer(k)), substring),
                            t.when(t.cmp(KV_OP_LESS, t.col(column, table), t.real(-k - 0.5)), abs)});
    choice->else_result = TreeBuilder::N(t.str("'n''a'"));
    return t.item(choice, alias);
}

// t0 INNER JOIN t1 ON t0.id = t1.id LEFT OUTER JOIN t2 ... , t3
NodeList *from_list(TreeBuilder &t)
{
    const void *joined = t.ref("t0");
    for (int i = 1; i < 3; i++) {
        char table[8];
        std::snprintf(table, sizeof table, "t%d", i);
        joined = t.join(joined, i == 1 ? KV_JOIN_CLASS_INNER : KV_JOIN_CLASS_OUTER, KV_JOIN_LEFT, t.ref(table),
                        t.cmp(KV_OP_EQUAL, t.col("id", "t0"), t.col("id", table)));
    }
    auto *ref = t.make<NodeTableRef>(NODE_TABLE_REF);
    ref->joined = TreeBuilder::N(joined);
    return t.list({ref, t.ref("t3", "x")});
}

struct Statement {
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    const void *tree = nullptr;
    std::string text;
    std::vector<char> pieces;           // every piece, zero-terminated, end to end
    std::vector<const char *> starts;   // where each piece starts

    Statement()
    {
        TreeBuilder t(mem);
        NodeList *items = t.list();
        for (int k = 0; k < kItems; k++)
            t.add(items, select_item(t, k));
        auto *query = t.select(items, from_list(t),
                               t.both(t.cmp(KV_OP_GREATER_EQUAL, t.col("seen", "t0"),
                                            t.literal(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 08:30:05.25'}")),
                                      t.cmp(KV_OP_NOT_EQUAL, t.col("name", "t1"), t.str("'x'"))));
        query->quantifier = KV_SET_DISTINCT;
        tree = t.list({query});
        std::vector<std::string> recorded;
        sql92_print_parse_tree(tree, kvtest::record_piece, &recorded);
        for (const std::string &piece : recorded)
            pieces.insert(pieces.end(), piece.c_str(), piece.c_str() + piece.size() + 1);
        for (std::size_t at = 0; at < pieces.size(); at += std::strlen(&pieces[at]) + 1)
            starts.push_back(&pieces[at]);
    }
    ~Statement() { kv_mem_release_handle(mem); }
};

Statement &statement()
{
    static Statement s;
    return s;
}

void BM_PrintTree(benchmark::State &state)
{
    Statement &s = statement();
    for (auto _ : state) {
        s.text.clear();
        sql92_print_parse_tree(s.tree, append_text, &s.text);
        benchmark::DoNotOptimize(s.text.data());
    }
    state.counters["pieces"] = static_cast<double>(s.starts.size());
    state.counters["bytes"] = static_cast<double>(s.text.size());
}
BENCHMARK(BM_PrintTree);

// The baseline: the same pieces, recorded once, handed to the same output
// function, called through a pointer as the printer calls it.
void BM_ReplayPieces(benchmark::State &state)
{
    Statement &s = statement();
    kv_print_output output = append_text;
    benchmark::DoNotOptimize(output);
    for (auto _ : state) {
        s.text.clear();
        for (const char *piece : s.starts)
            output(piece, &s.text);
        benchmark::DoNotOptimize(s.text.data());
    }
    state.counters["pieces"] = static_cast<double>(s.starts.size());
}
BENCHMARK(BM_ReplayPieces);

} // namespace

int main(int argc, char **argv)
{
    return kvbench::run_with_ratios(argc, argv,
                                    {
                                        {"BM_PrintTree", "BM_ReplayPieces", 2.0,
                                         "printing a 1,000-node SELECT / replaying its pieces"},
                                    });
}
