/*
** The SQL-92 printer, first half: the entry points, the piece emitters, the
** dispatcher over node kinds, and the text of statements, clauses and names.
** The walk is a plain recursion over the tree, bounded by KV_PRINT_MAX_DEPTH;
** pieces are tree texts handed over as they are, fixed keywords, or short
** numbers formatted on the stack, so nothing is allocated and no text from the
** tree is ever read as a format.
*/
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "nodes_print.h"

namespace kv_print {

void emit(Printer &p, const char *piece)
{
    if (p.stopped())
        return;
    int result = p.output(piece, p.context.user_context);
    if (result < 0)
        p.status = result;
}

void emitf(Printer &p, const char *format, ...)
{
    char piece[128];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(piece, sizeof piece, format, arguments);
    va_end(arguments);
    emit(p, piece);
}

void print_list(Printer &p, const NodeList *list, const char *separator)
{
    if (!list)
        return;
    for (ListItem *item = ListFirst(list->items); item && !p.stopped(); item = item->next) {
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

void print_identifier(Printer &p, const NodeIdentifier *n)
{
    const char *text = n->text ? n->text : "";
    if (n->quoted)
        print_quoted_identifier(p, text);
    else if (*text)
        emit(p, text);
}

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

bool print_statement(Printer &p, const Node *node)
{
    switch (node->kind) {
    case NODE_ALTER_TABLE_ADD: print_alter_table_add(p, reinterpret_cast<const NodeAlterTableAdd *>(node)); break;
    case NODE_ALTER_TABLE_DROP: print_alter_table_drop(p, reinterpret_cast<const NodeAlterTableDrop *>(node)); break;
    case NODE_CREATE_INDEX: print_create_index(p, reinterpret_cast<const NodeCreateIndex *>(node)); break;
    case NODE_CREATE_TABLE: print_create_table(p, reinterpret_cast<const NodeCreateTable *>(node)); break;
    case NODE_CREATE_VIEW: print_create_view(p, reinterpret_cast<const NodeCreateView *>(node)); break;
    case NODE_DELETE_POSITIONED: {
        auto *n = reinterpret_cast<const NodeDeletePositioned *>(node);
        emit(p, "DELETE FROM ");
        print_node(p, n->table);
        emit(p, " WHERE CURRENT OF ");
        print_node(p, n->cursor);
        break;
    }
    case NODE_DELETE_SEARCHED: {
        auto *n = reinterpret_cast<const NodeDeleteSearched *>(node);
        emit(p, "DELETE FROM ");
        print_node(p, n->table);
        print_where(p, n->where);
        break;
    }
    case NODE_DROP_INDEX:
        emit(p, "DROP INDEX ");
        print_node(p, reinterpret_cast<const NodeDropIndex *>(node)->index);
        break;
    case NODE_DROP_TABLE: {
        auto *n = reinterpret_cast<const NodeDropTable *>(node);
        emit(p, "DROP TABLE ");
        print_node(p, n->table);
        print_drop_behaviour(p, n->drop_behaviour);
        break;
    }
    case NODE_DROP_VIEW: {
        auto *n = reinterpret_cast<const NodeDropView *>(node);
        emit(p, "DROP VIEW ");
        print_node(p, n->view);
        print_drop_behaviour(p, n->drop_behaviour);
        break;
    }
    case NODE_GRANT: print_grant(p, reinterpret_cast<const NodeGrant *>(node)); break;
    case NODE_INSERT: {
        auto *n = reinterpret_cast<const NodeInsert *>(node);
        emit(p, "INSERT INTO ");
        print_node(p, n->table);
        print_node(p, n->source);
        break;
    }
    case NODE_REVOKE: print_revoke(p, reinterpret_cast<const NodeRevoke *>(node)); break;
    case NODE_CURSOR_SPEC: print_cursor_spec(p, reinterpret_cast<const NodeCursorSpec *>(node)); break;
    case NODE_FOR_UPDATE: print_for_update(p, reinterpret_cast<const NodeForUpdate *>(node)); break;
    case NODE_UPDATE_POSITIONED: {
        auto *n = reinterpret_cast<const NodeUpdatePositioned *>(node);
        print_update(p, n->table, n->set_list);
        emit(p, " WHERE CURRENT OF ");
        print_node(p, n->cursor);
        break;
    }
    case NODE_UPDATE_SEARCHED: {
        auto *n = reinterpret_cast<const NodeUpdateSearched *>(node);
        print_update(p, n->table, n->set_list);
        print_where(p, n->where);
        break;
    }
    case NODE_PROC_CALL: print_proc_call(p, reinterpret_cast<const NodeProcCall *>(node)); break;
    case NODE_COMMIT: emit(p, "COMMIT WORK "); break;
    case NODE_ROLLBACK: emit(p, "ROLLBACK WORK "); break;
    default: return false;
    }
    return true;
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

bool print_query_part(Printer &p, const Node *node)
{
    switch (node->kind) {
    case NODE_QUERY_SPEC: print_query_spec(p, reinterpret_cast<const NodeQuerySpec *>(node)); break;
    case NODE_GROUPED_QUERY:
        print_grouped_query(p, reinterpret_cast<const NodeGroupedQuery *>(node));
        break;
    case NODE_UNION: print_union(p, reinterpret_cast<const NodeUnion *>(node)); break;
    case NODE_INSERT_SOURCE: print_insert_source(p, reinterpret_cast<const NodeInsertSource *>(node)); break;
    case NODE_TABLE_REF: print_table_ref(p, reinterpret_cast<const NodeTableRef *>(node)); break;
    case NODE_SET_CLAUSE: print_set_clause(p, reinterpret_cast<const NodeSetClause *>(node)); break;
    case NODE_ORDERED_COLUMN: {
        auto *n = reinterpret_cast<const NodeOrderedColumn *>(node);
        print_node(p, n->key);
        emit(p, n->order == KV_ORDER_DESC ? " DESC" : " ASC ");
        break;
    }
    case NODE_SORT_SPEC: {
        auto *n = reinterpret_cast<const NodeSortSpec *>(node);
        print_node(p, n->key);
        emit(p, n->order == KV_ORDER_DESC ? " DESC " : " ASC ");
        break;
    }
    case NODE_CHOICE: {
        auto *n = reinterpret_cast<const NodeChoice *>(node);
        print_node(p, n->first ? n->first : n->second);
        break;
    }
    case NODE_PRIVILEGE: print_privilege(p, reinterpret_cast<const NodePrivilege *>(node)); break;
    case NODE_SELECT_ITEM: print_select_item(p, reinterpret_cast<const NodeSelectItem *>(node)); break;
    case NODE_QUALIFIED_JOIN: print_qualified_join(p, reinterpret_cast<const NodeQualifiedJoin *>(node)); break;
    case NODE_LIST: print_list(p, reinterpret_cast<const NodeList *>(node), ", "); break;
    default: return false;
    }
    return true;
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

bool print_definition(Printer &p, const Node *node)
{
    switch (node->kind) {
    case NODE_COLUMN_DEF: print_column_def(p, reinterpret_cast<const NodeColumnDef *>(node)); break;
    case NODE_COLUMN_CONSTRAINT:
        print_column_constraint(p, reinterpret_cast<const NodeColumnConstraint *>(node));
        break;
    case NODE_TABLE_CONSTRAINT:
        print_table_constraint(p, reinterpret_cast<const NodeTableConstraint *>(node));
        break;
    case NODE_NULL_OR_DEFAULT: {
        intptr_t which = reinterpret_cast<const NodeNullOrDefault *>(node)->which;
        if (which == KV_NULL_OR_DEFAULT_NULL)
            emit(p, " NULL ");
        else if (which == KV_NULL_OR_DEFAULT_DEFAULT)
            emit(p, " DEFAULT ");
        break;
    }
    case NODE_IDENTIFIER: print_identifier(p, reinterpret_cast<const NodeIdentifier *>(node)); break;
    case NODE_TABLE_NAME: print_table_name(p, reinterpret_cast<const NodeTableName *>(node)); break;
    default: return false;
    }
    return true;
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

void print_node(Printer &p, const void *node, bool positive)
{
    if (!node || p.stopped())
        return;
    if (p.depth >= KV_PRINT_MAX_DEPTH) {
        p.status = KV_PRINT_TOO_DEEP;
        return;
    }
    p.depth++;
    auto *n = static_cast<const Node *>(node);
    if (!print_statement(p, n) && !print_query_part(p, n) && !print_definition(p, n) &&
        !print_expression_kind(p, n, positive))
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
