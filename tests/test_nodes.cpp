// The parse-tree records: every kind is its 32-bit kind followed by
// pointer-sized words, and each named field sits at the word the parser's
// contract gives it (counting from 1 after the kind).
#include <gtest/gtest.h>

#include <cstddef>

#include "internal.h"

namespace {

constexpr size_t word(int n)
{
    return static_cast<size_t>(n) * sizeof(intptr_t);
}

// Record size of a kind with `n` words after the kind.
constexpr size_t record(int n)
{
    return n == 0 ? sizeof(int32_t) : word(n + 1);
}

#define AT(type, field, n) static_assert(offsetof(type, field) == word(n), #type "." #field " is word " #n)
#define WORDS(type, n) static_assert(sizeof(type) == record(n), #type " has " #n " words")

WORDS(NodeAlterTableAdd, 2);      AT(NodeAlterTableAdd, columns, 2);
WORDS(NodeAlterTableDrop, 3);     AT(NodeAlterTableDrop, drop_behaviour, 3);
WORDS(NodeCreateIndex, 4);        AT(NodeCreateIndex, unique, 1); AT(NodeCreateIndex, columns, 4);
WORDS(NodeCreateTable, 4);        AT(NodeCreateTable, as_clause, 3); AT(NodeCreateTable, on_clause, 4);
WORDS(NodeCreateView, 4);         AT(NodeCreateView, check_option, 4);
WORDS(NodeDeletePositioned, 2);   AT(NodeDeletePositioned, cursor, 2);
WORDS(NodeDeleteSearched, 2);     AT(NodeDeleteSearched, where, 2);
WORDS(NodeDropIndex, 1);          AT(NodeDropIndex, index, 1);
WORDS(NodeDropTable, 2);          AT(NodeDropTable, drop_behaviour, 2);
WORDS(NodeDropView, 2);           AT(NodeDropView, drop_behaviour, 2);
WORDS(NodeGrant, 4);              AT(NodeGrant, grantees, 3); AT(NodeGrant, grant_option, 4);
WORDS(NodeInsert, 2);             AT(NodeInsert, source, 2);
WORDS(NodeRevoke, 4);             AT(NodeRevoke, drop_behaviour, 3); AT(NodeRevoke, privileges, 4);
WORDS(NodeCursorSpec, 2);         AT(NodeCursorSpec, order_by, 2);
WORDS(NodeForUpdate, 2);          AT(NodeForUpdate, columns, 2);
WORDS(NodeQuerySpec, 5);          AT(NodeQuerySpec, select_list, 3); AT(NodeQuerySpec, from, 4);
                                  AT(NodeQuerySpec, where, 5);
WORDS(NodeUpdatePositioned, 3);   AT(NodeUpdatePositioned, cursor, 3);
WORDS(NodeUpdateSearched, 3);     AT(NodeUpdateSearched, where, 3);
WORDS(NodeProcCall, 3);           AT(NodeProcCall, no_result, 3);
WORDS(NodeTableName, 4);          AT(NodeTableName, qualifier3, 2); AT(NodeTableName, qualifier2, 3);
                                  AT(NodeTableName, table, 4);
WORDS(NodeColumnDef, 3);          AT(NodeColumnDef, constraints, 3);
WORDS(NodeIdentifier, 2);         AT(NodeIdentifier, text, 1); AT(NodeIdentifier, quoted, 2);
WORDS(NodeGroupedQuery, 3);       AT(NodeGroupedQuery, having, 3);
WORDS(NodeUnion, 4);              AT(NodeUnion, all, 3); AT(NodeUnion, term, 4);
WORDS(NodeInsertSource, 4);       AT(NodeInsertSource, values, 4);
WORDS(NodeTableRef, 4);           AT(NodeTableRef, joined, 3); AT(NodeTableRef, derived, 4);
WORDS(NodeSetClause, 5);          AT(NodeSetClause, value, 4); AT(NodeSetClause, subquery, 5);
WORDS(NodeOrderedColumn, 2);      AT(NodeOrderedColumn, order, 2);
WORDS(NodeChoice, 2);             AT(NodeChoice, second, 2);
WORDS(NodePrivilege, 2);          AT(NodePrivilege, columns, 2);
WORDS(NodeSelectItem, 3);         AT(NodeSelectItem, qualifier, 3);
WORDS(NodeColumnName, 18);        AT(NodeColumnName, column, 5); AT(NodeColumnName, tagged, 15);
                                  AT(NodeColumnName, tag_a, 18);
WORDS(NodeSortSpec, 3);           AT(NodeSortSpec, order, 3);
WORDS(NodeDataType, 5);           AT(NodeDataType, fraction_precision, 3); AT(NodeDataType, precision_node, 5);
WORDS(NodeColumnConstraint, 5);   AT(NodeColumnConstraint, check, 4); AT(NodeColumnConstraint, default_value, 5);
WORDS(NodeTableConstraint, 6);    AT(NodeTableConstraint, ref_columns, 5); AT(NodeTableConstraint, delete_rule, 6);
WORDS(NodeNullOrDefault, 1);      AT(NodeNullOrDefault, which, 1);
WORDS(NodeQualifiedJoin, 8);      AT(NodeQualifiedJoin, join_class, 4); AT(NodeQualifiedJoin, right, 5);
                                  AT(NodeQualifiedJoin, using_columns, 7); AT(NodeQualifiedJoin, select, 8);
WORDS(NodePrecision, 2);          AT(NodePrecision, scale, 2);
WORDS(NodeIntervalQualifier, 3);  AT(NodeIntervalQualifier, single, 3);
WORDS(NodeIntervalField, 3);      AT(NodeIntervalField, precision, 2); AT(NodeIntervalField, second_precision, 3);
WORDS(NodeCast, 2);               AT(NodeCast, target, 2);
WORDS(NodeScalarFunction, 5);     AT(NodeScalarFunction, arguments, 2); AT(NodeScalarFunction, operand3, 5);
WORDS(NodeSetFunction, 4);        AT(NodeSetFunction, all_arg, 4);
WORDS(NodeTrimSpec, 3);           AT(NodeTrimSpec, source, 3);
WORDS(NodeExists, 2);             AT(NodeExists, negated, 2);
WORDS(NodeLike, 4);               AT(NodeLike, escape, 4);
WORDS(NodeNullTest, 2);           AT(NodeNullTest, negated, 2);
WORDS(NodeInPredicate, 6);        AT(NodeInPredicate, query, 3); AT(NodeInPredicate, values, 6);
WORDS(NodeQuantifiedComparison, 5); AT(NodeQuantifiedComparison, negated, 4); AT(NodeQuantifiedComparison, query, 5);
WORDS(NodeExpression, 8);         AT(NodeExpression, left, 3); AT(NodeExpression, print_as_true, 8);
WORDS(NodeList, 1);               AT(NodeList, items, 1);
WORDS(NodeParameter, 4);          AT(NodeParameter, reserved, 2);
WORDS(NodeCase, 3);               AT(NodeCase, else_result, 3);
WORDS(NodeNullif, 2);             AT(NodeNullif, second, 2);
WORDS(NodeCoalesce, 1);           AT(NodeCoalesce, arguments, 1);
WORDS(NodeWhenClause, 2);         AT(NodeWhenClause, result, 2);
WORDS(NodeCommit, 0);
WORDS(NodeRollback, 0);

// The parser builds a tree with newNode; the library's records match.
TEST(Nodes, BuiltWithNewNode)
{
    MemHandle *mem = kv_mem_alloc_handle(nullptr);
    auto *name = static_cast<NodeIdentifier *>(newNode(sizeof(NodeIdentifier), NODE_IDENTIFIER, mem));
    auto *expr = static_cast<NodeExpression *>(newNode(sizeof(NodeExpression), NODE_EXPRESSION, mem));
    ASSERT_TRUE(name && expr);
    EXPECT_EQ(name->kind, NODE_IDENTIFIER);
    EXPECT_EQ(name->text, nullptr);
    expr->expression_class = KV_EXPR_OPERATOR;
    expr->operator_code = KV_OP_ADD;
    expr->left = reinterpret_cast<Node *>(name);
    expr->right = reinterpret_cast<Node *>(MakeInteger("1", mem));
    // The words a reader counts: class, operator, left, right.
    auto *words = reinterpret_cast<intptr_t *>(expr) + 1;
    EXPECT_EQ(words[0], KV_EXPR_OPERATOR);
    EXPECT_EQ(words[1], KV_OP_ADD);
    EXPECT_EQ(reinterpret_cast<Node *>(words[2])->kind, NODE_IDENTIFIER);
    EXPECT_EQ(reinterpret_cast<Node *>(words[3])->kind, NODE_VALUE);
    kv_mem_release_handle(mem);
}

TEST(Nodes, KindNumbers)
{
    EXPECT_EQ(NODE_ALTER_TABLE_ADD, 100);
    EXPECT_EQ(NODE_SELECT_ITEM, 130);
    EXPECT_EQ(NODE_COLUMN_NAME, 132);
    EXPECT_EQ(NODE_NULL_TEST, 148);
    EXPECT_EQ(NODE_IN_PREDICATE, 150);
    EXPECT_EQ(NODE_VALUE, KV_NODE_VALUE);
    EXPECT_EQ(NODE_PARAMETER, KV_NODE_PARAMETER);
    EXPECT_EQ(NODE_CASE, 157);
    EXPECT_EQ(NODE_ROLLBACK, 162);
}

} // namespace
