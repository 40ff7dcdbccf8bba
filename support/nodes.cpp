/*
** The SQL-92 printer, first half: the entry points, the piece emitters, the
** dispatcher over node kinds, and the text of statements, clauses and names.
** The walk is a plain recursion over the tree, bounded by KV_PRINT_MAX_DEPTH;
** pieces are tree texts handed over as they are, fixed keywords, or short
** numbers formatted on the stack, so nothing is allocated and no text from the
** tree is ever read as a format.
*/
#include <array>
#include <charconv>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "nodes_print.h"

namespace kv_print {

void emitf(Printer &p, const char *format, ...)
{
    char piece[128];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(piece, sizeof piece, format, arguments);
    va_end(arguments);
    emit(p, piece);
}

void emit_integer(Printer &p, long long value, char after)
{
    char piece[24];
    char *end = std::to_chars(piece, piece + sizeof piece - 2, value).ptr;
    *end++ = after;
    *end = '\0';
    emit(p, piece);
}

void print_list(Printer &p, const NodeList *list, const char *separator)
{
    if (!list || !list->items)
        return;
    for (ListItem *item = list->items->first; item && !p.stopped(); item = item->next) {
        print_node(p, item->data);
        if (item->next)
            emit(p, separator);
    }
}

void print_dotted(Printer &p, const Node *const *parts, std::size_t count)
{
    bool first = true;
    for (std::size_t i = 0; i < count; i++) {
        if (!parts[i])
            continue;
        if (!first)
            emit(p, ".");
        print_node(p, parts[i]);
        first = false;
    }
}

bool is_query(const void *node)
{
    if (!node)
        return false;
    NodeKind kind = static_cast<const Node *>(node)->kind;
    return kind == NODE_QUERY_SPEC || kind == NODE_GROUPED_QUERY || kind == NODE_UNION;
}

// The text between double quotes with every inner double quote doubled, in
// pieces of at most a stack buffer each, so any length prints whole.
void print_quoted_identifier(Printer &p, const char *text)
{
    char piece[256];
    std::size_t used = 0;
    auto put = [&](char c) {
        if (used == sizeof piece - 1) {
            piece[used] = '\0';
            emit(p, piece);
            used = 0;
        }
        piece[used++] = c;
    };
    put('"');
    for (const char *c = text; *c && !p.stopped(); c++) {
        if (*c == '"')
            put('"');
        put(*c);
    }
    put('"');
    piece[used] = '\0';
    emit(p, piece);
}

void print_operand(Printer &p, const void *node, bool positive)
{
    if (!is_query(node)) {
        print_node(p, node, positive);
        return;
    }
    emit(p, "( ");
    print_node(p, node);
    emit(p, " )");
}

} // namespace kv_print

namespace {

using namespace kv_print;

// ---- Names ---------------------------------------------------------------

void print_table_name(Printer &p, const NodeTableName *n)
{
    const Node *parts[] = {n->qualifier1, n->qualifier2, n->qualifier3, n->table};
    print_dotted(p, parts, 4);
}

// ---- Statements ------------------------------------------------------------

void print_drop_behaviour(Printer &p, intptr_t behaviour)
{
    if (behaviour == KV_DROP_CASCADE)
        emit(p, " CASCADE ");
    else if (behaviour == KV_DROP_RESTRICT)
        emit(p, " RESTRICT ");
}

// A list in " ( " and " ) " when present.
void print_optional_columns(Printer &p, const NodeList *columns)
{
    if (!columns)
        return;
    emit(p, " ( ");
    print_list(p, columns, ", ");
    emit(p, " ) ");
}

// Each added column gets its own ADD: ALTER TABLE t ADD a ..., ADD b ... The
// optional COLUMN keyword of SQL-92 is left out: Firebird rejects it.
void print_alter_table_add(Printer &p, const NodeAlterTableAdd *n)
{
    emit(p, "ALTER TABLE ");
    print_node(p, n->table);
    if (!n->columns)
        return;
    for (ListItem *item = ListFirst(n->columns->items); item && !p.stopped(); item = item->next) {
        if (item != ListFirst(n->columns->items))
            emit(p, ",");
        emit(p, " ADD ");
        print_node(p, item->data);
    }
}

void print_alter_table_drop(Printer &p, const NodeAlterTableDrop *n)
{
    emit(p, "ALTER TABLE ");
    print_node(p, n->table);
    emit(p, " DROP ");
    print_node(p, n->column);
    print_drop_behaviour(p, n->drop_behaviour);
}

void print_create_index(Printer &p, const NodeCreateIndex *n)
{
    emit(p, "CREATE ");
    if (n->unique)
        emit(p, "UNIQUE ");
    emit(p, "INDEX ");
    print_node(p, n->index);
    emit(p, " ON ");
    print_node(p, n->table);
    emit(p, " ( ");
    print_list(p, n->columns, ", ");
    emit(p, " ) ");
}

void print_create_table(Printer &p, const NodeCreateTable *n)
{
    emit(p, "CREATE TABLE ");
    print_node(p, n->table);
    if (n->on_clause) {
        emit(p, " ON ");
        print_node(p, n->on_clause);
    } else if (n->as_clause) {
        emit(p, " AS ");
        print_node(p, n->as_clause);
    }
    emit(p, " ( ");
    print_list(p, n->elements, ", ");
    emit(p, " ) ");
}

void print_create_view(Printer &p, const NodeCreateView *n)
{
    emit(p, "CREATE VIEW ");
    print_node(p, n->view);
    print_optional_columns(p, n->columns);
    emit(p, " AS ");
    print_node(p, n->query);
    if (n->check_option)
        emit(p, " WITH CHECK OPTION ");
}

void print_where(Printer &p, const Node *where)
{
    if (!where)
        return;
    emit(p, " WHERE ");
    print_node(p, where, true);
}

void print_grant(Printer &p, const NodeGrant *n)
{
    emit(p, "GRANT ");
    if (n->privileges)
        print_list(p, n->privileges, ", ");
    else
        emit(p, "ALL PRIVILEGES");
    emit(p, " ON TABLE ");
    print_node(p, n->table);
    emit(p, " TO ");
    if (n->grantees)
        print_list(p, n->grantees, ", ");
    else
        emit(p, "PUBLIC ");
    if (n->grant_option)
        emit(p, " WITH GRANT OPTION");
}

void print_revoke(Printer &p, const NodeRevoke *n)
{
    emit(p, "REVOKE ");
    if (n->privileges)
        print_list(p, n->privileges, ", ");
    else
        emit(p, "ALL PRIVILEGES ");
    emit(p, " ON ");
    print_node(p, n->table);
    emit(p, " FROM ");
    if (n->grantees)
        print_list(p, n->grantees, ", ");
    else
        emit(p, " PUBLIC ");
    print_drop_behaviour(p, n->drop_behaviour);
}

void print_cursor_spec(Printer &p, const NodeCursorSpec *n)
{
    print_node(p, n->query);
    if (n->order_by) {
        emit(p, " ORDER BY ");
        print_list(p, n->order_by, ", ");
    }
}

// FOR UPDATE names its columns only when it has some.
void print_for_update(Printer &p, const NodeForUpdate *n)
{
    print_node(p, n->query);
    if (!n->columns) {
        emit(p, " FOR UPDATE ");
        return;
    }
    emit(p, " FOR UPDATE OF ");
    print_list(p, n->columns, ", ");
}

void print_update(Printer &p, const Node *table, const NodeList *set_list)
{
    emit(p, "UPDATE ");
    print_node(p, table);
    emit(p, " SET ");
    print_list(p, set_list, ", ");
}

void print_proc_call(Printer &p, const NodeProcCall *n)
{
    emit(p, "{ ");
    if (!n->no_result)
        emit(p, "?= ");
    emit(p, "call ");
    print_node(p, n->procedure);
    if (n->arguments) {
        emit(p, "(");
        print_list(p, n->arguments, ", ");
        emit(p, ")");
    }
    emit(p, "}");
}

void print_delete_positioned(Printer &p, const NodeDeletePositioned *n)
{
    emit(p, "DELETE FROM ");
    print_node(p, n->table);
    emit(p, " WHERE CURRENT OF ");
    print_node(p, n->cursor);
}

void print_delete_searched(Printer &p, const NodeDeleteSearched *n)
{
    emit(p, "DELETE FROM ");
    print_node(p, n->table);
    print_where(p, n->where);
}

void print_drop_index(Printer &p, const NodeDropIndex *n)
{
    emit(p, "DROP INDEX ");
    print_node(p, n->index);
}

void print_drop_table(Printer &p, const NodeDropTable *n)
{
    emit(p, "DROP TABLE ");
    print_node(p, n->table);
    print_drop_behaviour(p, n->drop_behaviour);
}

void print_drop_view(Printer &p, const NodeDropView *n)
{
    emit(p, "DROP VIEW ");
    print_node(p, n->view);
    print_drop_behaviour(p, n->drop_behaviour);
}

void print_insert(Printer &p, const NodeInsert *n)
{
    emit(p, "INSERT INTO ");
    print_node(p, n->table);
    print_node(p, n->source);
}

void print_update_positioned(Printer &p, const NodeUpdatePositioned *n)
{
    print_update(p, n->table, n->set_list);
    emit(p, " WHERE CURRENT OF ");
    print_node(p, n->cursor);
}

void print_update_searched(Printer &p, const NodeUpdateSearched *n)
{
    print_update(p, n->table, n->set_list);
    print_where(p, n->where);
}

void print_commit(Printer &p, const NodeCommit *)
{
    emit(p, "COMMIT WORK ");
}

void print_rollback(Printer &p, const NodeRollback *)
{
    emit(p, "ROLLBACK WORK ");
}

// ---- Queries and their parts ---------------------------------------------

void print_query_spec(Printer &p, const NodeQuerySpec *n)
{
    emit(p, " SELECT ");
    if (n->quantifier == KV_SET_ALL)
        emit(p, "ALL ");
    else if (n->quantifier == KV_SET_DISTINCT)
        emit(p, "DISTINCT ");
    if (n->select_list)
        print_list(p, n->select_list, ", ");
    else
        emit(p, "* ");
    emit(p, " FROM ");
    print_list(p, n->from, ", ");
    print_where(p, n->where);
}

void print_grouped_query(Printer &p, const NodeGroupedQuery *n)
{
    print_node(p, n->query);
    if (n->group_by) {
        emit(p, " GROUP BY ");
        print_list(p, n->group_by, ", ");
    }
    if (n->having) {
        emit(p, " HAVING ");
        print_node(p, n->having, true);
    }
}

bool is_set_operation(const Node *node)
{
    return node && node->kind == NODE_UNION && !reinterpret_cast<const NodeUnion *>(node)->term;
}

// A set operation on the right of another keeps its own grouping: a UNION
// ALL (b UNION c) is not (a UNION ALL b) UNION c.
void print_union(Printer &p, const NodeUnion *n)
{
    if (n->term) {
        print_node(p, n->term);
        return;
    }
    print_node(p, n->left);
    emit(p, " UNION ");
    if (n->all)
        emit(p, "ALL ");
    if (is_set_operation(n->right)) {
        emit(p, "( ");
        print_node(p, n->right);
        emit(p, " )");
    } else {
        print_node(p, n->right);
    }
}

void print_insert_source(Printer &p, const NodeInsertSource *n)
{
    print_optional_columns(p, n->columns);
    if (n->default_values) {
        emit(p, " DEFAULT VALUES ");
    } else if (n->query) {
        print_node(p, n->query);
    } else {
        emit(p, " VALUES ( ");
        print_list(p, n->values, ", ");
        emit(p, " ) ");
    }
}

void print_table_ref(Printer &p, const NodeTableRef *n)
{
    if (n->joined) {
        print_node(p, n->joined);
    } else if (n->derived) {
        emit(p, "( ");
        print_node(p, n->derived);
        emit(p, " )");
    } else {
        print_node(p, n->table);
    }
    if (n->correlation) {
        emit(p, " ");
        print_node(p, n->correlation);
    }
}

void print_set_clause(Printer &p, const NodeSetClause *n)
{
    print_node(p, n->column);
    emit(p, " = ");
    if (n->set_null) {
        emit(p, "NULL ");
    } else if (n->set_default) {
        emit(p, "DEFAULT ");
    } else if (n->subquery) {
        emit(p, "( ");
        print_node(p, n->subquery);
        emit(p, " )");
    } else {
        print_node(p, n->value);
    }
}

void print_privilege(Printer &p, const NodePrivilege *n)
{
    static const char *const names[] = {nullptr, "DELETE", "INSERT", "SELECT", "UPDATE", "REFERENCES"};
    if (n->action < KV_PRIVILEGE_DELETE || n->action > KV_PRIVILEGE_REFERENCES)
        return;
    emit(p, names[n->action]);
    if (n->action == KV_PRIVILEGE_UPDATE || n->action == KV_PRIVILEGE_REFERENCES)
        print_optional_columns(p, n->columns);
}

void print_select_item(Printer &p, const NodeSelectItem *n)
{
    if (n->qualifier) {
        print_node(p, n->qualifier);
        emit(p, ".*");
        return;
    }
    print_node(p, n->expression);
    if (n->alias) {
        emit(p, " AS ");
        print_node(p, n->alias);
    }
}

// An outer join of no stated side is a LEFT one: OUTER JOIN alone is no SQL.
void print_qualified_join(Printer &p, const NodeQualifiedJoin *n)
{
    bool natural = n->natural == 1;
    emit(p, " ");
    print_node(p, n->left);
    if (natural)
        emit(p, " NATURAL");
    if (n->join_class != KV_JOIN_CLASS_INNER) {
        if (n->join_type == KV_JOIN_RIGHT)
            emit(p, " RIGHT");
        else if (n->join_type == KV_JOIN_FULL)
            emit(p, " FULL");
        else
            emit(p, " LEFT");
    }
    emit(p, n->join_class == KV_JOIN_CLASS_INNER ? " INNER" : " OUTER");
    emit(p, " JOIN ");
    print_node(p, n->right);
    if (n->using_columns) {
        emit(p, " USING ( ");
        print_list(p, n->using_columns, ", ");
        emit(p, " )");
    } else if (!natural) {
        emit(p, " ON ");
        print_node(p, n->condition);
    }
    emit(p, " ");
}

void print_ordered_column(Printer &p, const NodeOrderedColumn *n)
{
    print_node(p, n->key);
    emit(p, n->order == KV_ORDER_DESC ? " DESC" : " ASC ");
}

void print_sort_spec(Printer &p, const NodeSortSpec *n)
{
    print_node(p, n->key);
    emit(p, n->order == KV_ORDER_DESC ? " DESC " : " ASC ");
}

void print_choice(Printer &p, const NodeChoice *n)
{
    print_node(p, n->first ? n->first : n->second);
}

void print_list_node(Printer &p, const NodeList *n)
{
    print_list(p, n, ", ");
}

// ---- Data definition -----------------------------------------------------

// Constraints follow one another with a blank between: NOT NULL UNIQUE.
void print_column_def(Printer &p, const NodeColumnDef *n)
{
    print_node(p, n->column);
    print_node(p, n->type);
    print_list(p, n->constraints, " ");
}

void print_column_constraint(Printer &p, const NodeColumnConstraint *n)
{
    switch (n->constraint) {
    case KV_COLUMN_UNIQUE: emit(p, "UNIQUE "); break;
    case KV_COLUMN_PRIMARY_KEY: emit(p, "PRIMARY KEY "); break;
    case KV_COLUMN_CHECK:
        emit(p, "CHECK ");
        print_node(p, n->check);
        break;
    case KV_COLUMN_NOT_NULL: emit(p, "NOT NULL "); break;
    case KV_COLUMN_REFERENCES:
        emit(p, "REFERENCES ");
        print_node(p, n->ref_table);
        print_optional_columns(p, n->ref_columns);
        break;
    case KV_COLUMN_DEFAULT:
        emit(p, "DEFAULT ");
        print_node(p, n->default_value);
        break;
    default: break;
    }
}

void print_table_constraint(Printer &p, const NodeTableConstraint *n)
{
    static const char *const delete_rules[] = {"ON DELETE NO ACTION ", "ON DELETE CASCADE ", "ON DELETE SET NULL ",
                                               "ON DELETE SET DEFAULT "};
    switch (n->constraint) {
    case KV_TABLE_UNIQUE:
    case KV_TABLE_PRIMARY_KEY:
        emit(p, n->constraint == KV_TABLE_UNIQUE ? " UNIQUE ( " : " PRIMARY KEY ( ");
        print_list(p, n->columns, ", ");
        emit(p, " ) ");
        break;
    case KV_TABLE_CHECK:
        emit(p, " CHECK ( ");
        print_node(p, n->check);
        emit(p, " ) ");
        break;
    case KV_TABLE_FOREIGN_KEY:
        emit(p, " FOREIGN KEY ( ");
        print_list(p, n->columns, ", ");
        emit(p, " ) REFERENCES ");
        print_node(p, n->ref_table);
        emit(p, " ( ");
        print_list(p, n->ref_columns, ", ");
        emit(p, " ) ");
        if (n->delete_rule >= KV_RULE_NO_ACTION && n->delete_rule <= KV_RULE_SET_DEFAULT)
            emit(p, delete_rules[n->delete_rule]);
        break;
    default: break;
    }
}

void print_null_or_default(Printer &p, const NodeNullOrDefault *n)
{
    if (n->which == KV_NULL_OR_DEFAULT_NULL)
        emit(p, " NULL ");
    else if (n->which == KV_NULL_OR_DEFAULT_DEFAULT)
        emit(p, " DEFAULT ");
}

// ---- Dispatch ------------------------------------------------------------

// The printer of each kind, found with one table look-up.
using KindPrinter = void (*)(Printer &, const Node *, bool positive);

template <class T, void (*print)(Printer &, const T *)> void typed(Printer &p, const Node *node, bool)
{
    print(p, reinterpret_cast<const T *>(node));
}

template <class T, void (*print)(Printer &, const T *, bool)>
void typed_positive(Printer &p, const Node *node, bool positive)
{
    print(p, reinterpret_cast<const T *>(node), positive);
}

void print_parameter(Printer &p, const NodeParameter *)
{
    emit(p, " ? ");
}

constexpr auto kPrinters = [] {
    std::array<KindPrinter, KV_LAST_PARSE_NODE - KV_FIRST_PARSE_NODE + 1> printers{};
    auto set = [&](NodeKind kind, KindPrinter printer) { printers[kind - KV_FIRST_PARSE_NODE] = printer; };
    // statements
    set(NODE_ALTER_TABLE_ADD, typed<NodeAlterTableAdd, print_alter_table_add>);
    set(NODE_ALTER_TABLE_DROP, typed<NodeAlterTableDrop, print_alter_table_drop>);
    set(NODE_CREATE_INDEX, typed<NodeCreateIndex, print_create_index>);
    set(NODE_CREATE_TABLE, typed<NodeCreateTable, print_create_table>);
    set(NODE_CREATE_VIEW, typed<NodeCreateView, print_create_view>);
    set(NODE_DELETE_POSITIONED, typed<NodeDeletePositioned, print_delete_positioned>);
    set(NODE_DELETE_SEARCHED, typed<NodeDeleteSearched, print_delete_searched>);
    set(NODE_DROP_INDEX, typed<NodeDropIndex, print_drop_index>);
    set(NODE_DROP_TABLE, typed<NodeDropTable, print_drop_table>);
    set(NODE_DROP_VIEW, typed<NodeDropView, print_drop_view>);
    set(NODE_GRANT, typed<NodeGrant, print_grant>);
    set(NODE_INSERT, typed<NodeInsert, print_insert>);
    set(NODE_REVOKE, typed<NodeRevoke, print_revoke>);
    set(NODE_CURSOR_SPEC, typed<NodeCursorSpec, print_cursor_spec>);
    set(NODE_FOR_UPDATE, typed<NodeForUpdate, print_for_update>);
    set(NODE_UPDATE_POSITIONED, typed<NodeUpdatePositioned, print_update_positioned>);
    set(NODE_UPDATE_SEARCHED, typed<NodeUpdateSearched, print_update_searched>);
    set(NODE_PROC_CALL, typed<NodeProcCall, print_proc_call>);
    set(NODE_COMMIT, typed<NodeCommit, print_commit>);
    set(NODE_ROLLBACK, typed<NodeRollback, print_rollback>);
    // queries and their parts
    set(NODE_QUERY_SPEC, typed<NodeQuerySpec, print_query_spec>);
    set(NODE_GROUPED_QUERY, typed<NodeGroupedQuery, print_grouped_query>);
    set(NODE_UNION, typed<NodeUnion, print_union>);
    set(NODE_INSERT_SOURCE, typed<NodeInsertSource, print_insert_source>);
    set(NODE_TABLE_REF, typed<NodeTableRef, print_table_ref>);
    set(NODE_SET_CLAUSE, typed<NodeSetClause, print_set_clause>);
    set(NODE_ORDERED_COLUMN, typed<NodeOrderedColumn, print_ordered_column>);
    set(NODE_CHOICE, typed<NodeChoice, print_choice>);
    set(NODE_PRIVILEGE, typed<NodePrivilege, print_privilege>);
    set(NODE_SELECT_ITEM, typed<NodeSelectItem, print_select_item>);
    set(NODE_SORT_SPEC, typed<NodeSortSpec, print_sort_spec>);
    set(NODE_QUALIFIED_JOIN, typed<NodeQualifiedJoin, print_qualified_join>);
    set(NODE_LIST, typed<NodeList, print_list_node>);
    // names and data definition
    set(NODE_TABLE_NAME, typed<NodeTableName, print_table_name>);
    set(NODE_IDENTIFIER, typed<NodeIdentifier, print_identifier>);
    set(NODE_COLUMN_DEF, typed<NodeColumnDef, print_column_def>);
    set(NODE_COLUMN_CONSTRAINT, typed<NodeColumnConstraint, print_column_constraint>);
    set(NODE_TABLE_CONSTRAINT, typed<NodeTableConstraint, print_table_constraint>);
    set(NODE_NULL_OR_DEFAULT, typed<NodeNullOrDefault, print_null_or_default>);
    // expressions, values and data types (nodes_expr.cpp)
    set(NODE_EXPRESSION, typed_positive<NodeExpression, print_expression>);
    set(NODE_COLUMN_NAME, typed<NodeColumnName, print_column_name>);
    set(NODE_VALUE, typed<Value, print_value>);
    set(NODE_PARAMETER, typed<NodeParameter, print_parameter>);
    set(NODE_EXISTS, typed<NodeExists, print_exists>);
    set(NODE_LIKE, typed<NodeLike, print_like>);
    set(NODE_NULL_TEST, typed<NodeNullTest, print_null_test>);
    set(NODE_IN_PREDICATE, typed<NodeInPredicate, print_in_predicate>);
    set(NODE_QUANTIFIED_COMPARISON, typed<NodeQuantifiedComparison, print_quantified_comparison>);
    set(NODE_CAST, typed<NodeCast, print_cast>);
    set(NODE_CASE, typed<NodeCase, print_case>);
    set(NODE_WHEN_CLAUSE, typed<NodeWhenClause, print_when_clause>);
    set(NODE_NULLIF, typed<NodeNullif, print_nullif>);
    set(NODE_COALESCE, typed<NodeCoalesce, print_coalesce>);
    set(NODE_SET_FUNCTION, typed<NodeSetFunction, print_set_function>);
    set(NODE_SCALAR_FUNCTION, typed<NodeScalarFunction, print_scalar_function>);
    set(NODE_TRIM_SPEC, typed<NodeTrimSpec, print_trim_spec>);
    set(NODE_PRECISION, typed<NodePrecision, print_precision>);
    set(NODE_INTERVAL_QUALIFIER, typed<NodeIntervalQualifier, print_interval_qualifier>);
    set(NODE_INTERVAL_FIELD, typed<NodeIntervalField, print_interval_field>);
    set(NODE_DATA_TYPE, typed<NodeDataType, print_data_type>);
    return printers;
}();

// NULL for a kind without a printer: 131, 149, 156 and every kind outside 100-162.
KindPrinter printer_of(NodeKind kind)
{
    if (kind < KV_FIRST_PARSE_NODE || kind > KV_LAST_PARSE_NODE)
        return nullptr;
    return kPrinters[kind - KV_FIRST_PARSE_NODE];
}

void print_unexpected(Printer &p, const Node *node)
{
    emitf(p, "<unexpected node type %" PRIxPTR "->%d>", reinterpret_cast<uintptr_t>(node), static_cast<int>(node->kind));
}

int print_entry(const void *node, kv_print_output output, void *context, int mode, bool statement_list)
{
    Printer p{output, {context, mode}, 0, 0};
    if (!output)
        return 0;
    auto *n = static_cast<const Node *>(node);
    if (!statement_list || !n || n->kind != NODE_LIST) {
        print_node(p, n, true);
        return p.status;
    }
    for (ListItem *item = ListFirst(reinterpret_cast<const NodeList *>(n)->items); item && !p.stopped();
         item = item->next) {
        print_node(p, item->data, true);
        if (item->next)
            emit(p, "; ");
    }
    return p.status;
}

} // namespace

namespace kv_print {

void print_tree_node(Printer &p, const Node *n, bool positive)
{
    if (p.stopped())
        return;
    if (p.depth >= KV_PRINT_MAX_DEPTH) {
        p.status = KV_PRINT_TOO_DEEP;
        return;
    }
    p.depth++;
    if (KindPrinter print = printer_of(n->kind))
        print(p, n, positive);
    else
        print_unexpected(p, n);
    p.depth--;
}

} // namespace kv_print

extern "C" {

int sql92_print_parse_tree(const void *statements, kv_print_output output, void *context)
{
    return print_entry(statements, output, context, KV_PRINT_PLAIN, true);
}

int sql92_print_expression(const void *node, kv_print_output output, void *context)
{
    return print_entry(node, output, context, KV_PRINT_PLAIN, false);
}

int sql92_print_expression_ex(const void *node, kv_print_output output, void *context, int mode)
{
    return print_entry(node, output, context, mode, false);
}

} // extern "C"
