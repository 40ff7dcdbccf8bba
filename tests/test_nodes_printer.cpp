// The SQL printer: golden texts per node kind and form, built as a parser
// builds them; the output contract (pieces, errors that stop the printing);
// trees that nest deep, chains of a million terms, and texts beyond 64 KiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "handle_fixture.h"
#include "tree_builder.h"

namespace {

using kvtest::append_piece;
using kvtest::record_piece;
using kvtest::TreeBuilder;

struct Golden {
    const char *what;
    const void *node;
    std::string text;
};

class Print : public HandleTest {
protected:
    void SetUp() override
    {
        HandleTest::SetUp();
        t = TreeBuilder(mem);
    }

    static std::string text_of(const void *node, int mode = KV_PRINT_PLAIN)
    {
        std::string text;
        EXPECT_EQ(sql92_print_expression_ex(node, append_piece, &text, mode), 0);
        return text;
    }
    static std::vector<std::string> pieces_of(const void *node)
    {
        std::vector<std::string> pieces;
        EXPECT_EQ(sql92_print_parse_tree(node, record_piece, &pieces), 0);
        return pieces;
    }
    static void check(const std::vector<Golden> &cases, int mode = KV_PRINT_PLAIN)
    {
        for (const Golden &c : cases)
            EXPECT_EQ(text_of(c.node, mode), c.text) << c.what;
    }

    template <class T> T *make(NodeKind kind) { return t.make<T>(kind); }
    static Node *N(const void *node) { return TreeBuilder::N(node); }

    NodeQuerySpec *select_a_from_t() { return t.select(t.list({t.item(t.col("a"))}), t.list({t.ref("t")})); }
    NodeExpression *a_is_1() { return t.cmp(KV_OP_EQUAL, t.col("a"), t.integer(1)); }
    NodeExpression *b_is_2() { return t.cmp(KV_OP_EQUAL, t.col("b"), t.integer(2)); }

    TreeBuilder t{nullptr};
};

// ---- Statements ----------------------------------------------------------------

TEST_F(Print, DataDefinitionStatements)
{
    auto *add_one = make<NodeAlterTableAdd>(NODE_ALTER_TABLE_ADD);
    add_one->table = N(t.table("t"));
    add_one->columns = t.list({t.column_def("c", t.type(SQL_INTEGER))});
    auto *add_two = make<NodeAlterTableAdd>(NODE_ALTER_TABLE_ADD);
    add_two->table = N(t.table("t"));
    add_two->columns = t.list({t.column_def("a", t.type(SQL_INTEGER)), t.column_def("b", t.type(SQL_TYPE_DATE))});
    auto drop_column = [&](intptr_t behaviour) {
        auto *n = make<NodeAlterTableDrop>(NODE_ALTER_TABLE_DROP);
        n->table = N(t.table("t"));
        n->column = N(t.id("c"));
        n->drop_behaviour = behaviour;
        return n;
    };
    auto *index = make<NodeCreateIndex>(NODE_CREATE_INDEX);
    index->unique = 1;
    index->index = N(t.id("i"));
    index->table = N(t.table("t"));
    auto *asc = make<NodeOrderedColumn>(NODE_ORDERED_COLUMN);
    asc->key = N(t.id("a"));
    asc->order = KV_ORDER_ASC;
    auto *desc = make<NodeOrderedColumn>(NODE_ORDERED_COLUMN);
    desc->key = N(t.id("b"));
    desc->order = KV_ORDER_DESC;
    index->columns = t.list({asc, desc});
    auto *plain_index = make<NodeCreateIndex>(NODE_CREATE_INDEX);
    plain_index->index = N(t.id("i"));
    plain_index->table = N(t.table("t"));
    plain_index->columns = t.list({t.id("a")});

    auto *unique = make<NodeTableConstraint>(NODE_TABLE_CONSTRAINT);
    unique->constraint = KV_TABLE_UNIQUE;
    unique->columns = t.list({t.id("id")});
    auto *table = make<NodeCreateTable>(NODE_CREATE_TABLE);
    table->table = N(t.table("t"));
    table->elements = t.list({t.column_def("id", t.type(SQL_INTEGER),
                                           t.list({t.constraint(KV_COLUMN_NOT_NULL),
                                                   t.constraint(KV_COLUMN_PRIMARY_KEY)})),
                              unique});
    auto *external = make<NodeCreateTable>(NODE_CREATE_TABLE);
    external->table = N(t.table("t"));
    external->elements = t.list({t.column_def("c", t.type(SQL_INTEGER))});
    external->on_clause = N(t.id("ext"));
    external->as_clause = N(t.id("ignored"));
    auto *as_table = make<NodeCreateTable>(NODE_CREATE_TABLE);
    as_table->table = N(t.table("t"));
    as_table->elements = t.list();
    as_table->as_clause = N(t.id("other"));

    auto *view = make<NodeCreateView>(NODE_CREATE_VIEW);
    view->view = N(t.table("v"));
    view->columns = t.list({t.id("a")});
    view->query = N(t.all_of("t"));
    view->check_option = 1;
    auto *plain_view = make<NodeCreateView>(NODE_CREATE_VIEW);
    plain_view->view = N(t.table("v"));
    plain_view->query = N(t.all_of("t"));

    auto *drop_index = make<NodeDropIndex>(NODE_DROP_INDEX);
    drop_index->index = N(t.id("i"));
    auto drop_table = [&](intptr_t behaviour) {
        auto *n = make<NodeDropTable>(NODE_DROP_TABLE);
        n->table = N(t.table("t"));
        n->drop_behaviour = behaviour;
        return n;
    };
    auto *drop_view = make<NodeDropView>(NODE_DROP_VIEW);
    drop_view->view = N(t.table("v"));
    drop_view->drop_behaviour = KV_DROP_RESTRICT;

    check({
        {"ADD one column", add_one, "ALTER TABLE t ADD c INTEGER "},
        {"one ADD per column", add_two, "ALTER TABLE t ADD a INTEGER , ADD b DATE "},
        {"DROP COLUMN CASCADE", drop_column(KV_DROP_CASCADE), "ALTER TABLE t DROP c CASCADE "},
        {"DROP COLUMN RESTRICT", drop_column(KV_DROP_RESTRICT), "ALTER TABLE t DROP c RESTRICT "},
        {"DROP COLUMN", drop_column(0), "ALTER TABLE t DROP c"},
        {"CREATE UNIQUE INDEX", index, "CREATE UNIQUE INDEX i ON t ( a ASC , b DESC ) "},
        {"CREATE INDEX", plain_index, "CREATE INDEX i ON t ( a ) "},
        {"CREATE TABLE", table, "CREATE TABLE t ( id INTEGER NOT NULL  PRIMARY KEY ,  UNIQUE ( id )  ) "},
        {"CREATE TABLE ON wins over AS", external, "CREATE TABLE t ON ext ( c INTEGER  ) "},
        {"CREATE TABLE AS", as_table, "CREATE TABLE t AS other (  ) "},
        {"CREATE VIEW", view, "CREATE VIEW v ( a )  AS  SELECT *  FROM t WITH CHECK OPTION "},
        {"CREATE VIEW without columns", plain_view, "CREATE VIEW v AS  SELECT *  FROM t"},
        {"DROP INDEX", drop_index, "DROP INDEX i"},
        {"DROP TABLE, unknown behaviour", drop_table(3), "DROP TABLE t"},
        {"DROP TABLE CASCADE", drop_table(KV_DROP_CASCADE), "DROP TABLE t CASCADE "},
        {"DROP VIEW", drop_view, "DROP VIEW v RESTRICT "},
    });
}

TEST_F(Print, DataManipulationStatements)
{
    auto *positioned_delete = make<NodeDeletePositioned>(NODE_DELETE_POSITIONED);
    positioned_delete->table = N(t.table("t"));
    positioned_delete->cursor = N(t.id("c1"));
    auto *searched_delete = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    searched_delete->table = N(t.table("t"));
    searched_delete->where = N(a_is_1());
    auto *delete_all = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    delete_all->table = N(t.table("t"));

    auto *values = make<NodeInsertSource>(NODE_INSERT_SOURCE);
    values->columns = t.list({t.id("a"), t.id("b")});
    values->values = t.list({t.integer(1), t.str("'x'")});
    auto *insert_values = make<NodeInsert>(NODE_INSERT);
    insert_values->table = N(t.table("t"));
    insert_values->source = N(values);
    auto *defaults = make<NodeInsertSource>(NODE_INSERT_SOURCE);
    defaults->default_values = 1;
    defaults->query = N(t.all_of("s"));
    auto *insert_defaults = make<NodeInsert>(NODE_INSERT);
    insert_defaults->table = N(t.table("t"));
    insert_defaults->source = N(defaults);
    auto *query = make<NodeInsertSource>(NODE_INSERT_SOURCE);
    query->query = N(t.all_of("s"));
    auto *insert_query = make<NodeInsert>(NODE_INSERT);
    insert_query->table = N(t.table("t"));
    insert_query->source = N(query);

    auto set = [&](const char *column) {
        auto *n = make<NodeSetClause>(NODE_SET_CLAUSE);
        n->column = N(t.id(column));
        return n;
    };
    auto *set_null = set("a");
    set_null->set_null = 1;
    set_null->set_default = 1;
    auto *set_default = set("a");
    set_default->set_default = 1;
    auto *set_value = set("b");
    set_value->value = N(t.integer(2));
    auto *set_query = set("c");
    set_query->value = N(t.integer(3));
    set_query->subquery = N(t.all_of("s"));
    auto *positioned_update = make<NodeUpdatePositioned>(NODE_UPDATE_POSITIONED);
    positioned_update->table = N(t.table("t"));
    positioned_update->set_list = t.list({set_null});
    positioned_update->cursor = N(t.id("c1"));
    auto *searched_update = make<NodeUpdateSearched>(NODE_UPDATE_SEARCHED);
    searched_update->table = N(t.table("t"));
    searched_update->set_list = t.list({set_default, set_value, set_query});
    searched_update->where = N(a_is_1());

    auto *call = make<NodeProcCall>(NODE_PROC_CALL);
    call->procedure = N(t.id("p"));
    auto *call_no_result = make<NodeProcCall>(NODE_PROC_CALL);
    call_no_result->procedure = N(t.id("p"));
    call_no_result->arguments = t.list({t.integer(1), t.param(1)});
    call_no_result->no_result = 1;

    check({
        {"DELETE positioned", positioned_delete, "DELETE FROM t WHERE CURRENT OF c1"},
        {"DELETE searched", searched_delete, "DELETE FROM t WHERE ( a = 1  )"},
        {"DELETE all", delete_all, "DELETE FROM t"},
        {"INSERT VALUES", insert_values, "INSERT INTO t ( a, b )  VALUES ( 1 , 'x'  ) "},
        {"INSERT DEFAULT VALUES", insert_defaults, "INSERT INTO t DEFAULT VALUES "},
        {"INSERT query", insert_query, "INSERT INTO t SELECT *  FROM s"},
        {"UPDATE positioned", positioned_update, "UPDATE t SET a = NULL  WHERE CURRENT OF c1"},
        {"UPDATE searched", searched_update,
         "UPDATE t SET a = DEFAULT , b = 2 , c = (  SELECT *  FROM s ) WHERE ( a = 1  )"},
        {"call with result", call, "{ ?= call p}"},
        {"call without result", call_no_result, "{ call p(1 ,  ? )}"},
        {"COMMIT", make<NodeCommit>(NODE_COMMIT), "COMMIT WORK "},
        {"ROLLBACK", make<NodeRollback>(NODE_ROLLBACK), "ROLLBACK WORK "},
    });
}

TEST_F(Print, GrantAndRevoke)
{
    auto privilege = [&](intptr_t action, NodeList *columns = nullptr) {
        auto *n = make<NodePrivilege>(NODE_PRIVILEGE);
        n->action = action;
        n->columns = columns;
        return n;
    };
    auto *grant = make<NodeGrant>(NODE_GRANT);
    grant->privileges = t.list({privilege(KV_PRIVILEGE_SELECT), privilege(KV_PRIVILEGE_UPDATE, t.list({t.id("a"), t.id("b")}))});
    grant->table = N(t.table("t"));
    grant->grantees = t.list({t.id("u1")});
    grant->grant_option = 1;
    auto *grant_all = make<NodeGrant>(NODE_GRANT);
    grant_all->table = N(t.table("t"));
    auto *revoke_all = make<NodeRevoke>(NODE_REVOKE);
    revoke_all->table = N(t.table("t"));
    auto *revoke = make<NodeRevoke>(NODE_REVOKE);
    revoke->table = N(t.table("t"));
    revoke->privileges = t.list({privilege(KV_PRIVILEGE_DELETE)});
    revoke->grantees = t.list({t.id("u1"), t.id("u2")});
    revoke->drop_behaviour = KV_DROP_CASCADE;

    check({
        {"GRANT", grant, "GRANT SELECT, UPDATE ( a, b )  ON TABLE t TO u1 WITH GRANT OPTION"},
        {"GRANT ALL", grant_all, "GRANT ALL PRIVILEGES ON TABLE t TO PUBLIC "},
        {"REVOKE ALL", revoke_all, "REVOKE ALL PRIVILEGES  ON t FROM  PUBLIC "},
        {"REVOKE", revoke, "REVOKE DELETE ON t FROM u1, u2 CASCADE "},
        {"DELETE", privilege(KV_PRIVILEGE_DELETE), "DELETE"},
        {"INSERT ignores columns", privilege(KV_PRIVILEGE_INSERT, t.list({t.id("a")})), "INSERT"},
        {"SELECT", privilege(KV_PRIVILEGE_SELECT), "SELECT"},
        {"REFERENCES", privilege(KV_PRIVILEGE_REFERENCES, t.list({t.id("a")})), "REFERENCES ( a ) "},
        {"no action", privilege(0), ""},
        {"unknown action", privilege(6), ""},
    });
}

// ---- Queries -----------------------------------------------------------------------

TEST_F(Print, Queries)
{
    auto *star_item = make<NodeSelectItem>(NODE_SELECT_ITEM);
    star_item->qualifier = N(t.id("t"));
    star_item->expression = N(t.col("ignored"));
    auto *distinct = t.select(t.list({t.item(t.col("a"), "x"), star_item}), t.list({t.ref("t")}));
    distinct->quantifier = KV_SET_DISTINCT;
    auto *all = select_a_from_t();
    all->quantifier = KV_SET_ALL;
    auto *where = t.select(nullptr, t.list({t.ref("t", "x")}), a_is_1());

    auto *count_star = make<NodeSetFunction>(NODE_SET_FUNCTION);
    count_star->function = KV_SETFN_COUNT_STAR;
    auto *grouped = make<NodeGroupedQuery>(NODE_GROUPED_QUERY);
    grouped->query = N(select_a_from_t());
    grouped->group_by = t.list({t.col("a")});
    grouped->having = N(t.cmp(KV_OP_GREATER, count_star, t.integer(1)));
    auto *ungrouped = make<NodeGroupedQuery>(NODE_GROUPED_QUERY);
    ungrouped->query = N(select_a_from_t());

    auto set_operation = [&](const void *left, const void *right, bool all_rows) {
        auto *n = make<NodeUnion>(NODE_UNION);
        n->left = N(left);
        n->right = N(right);
        n->all = all_rows;
        return n;
    };
    auto *term = make<NodeUnion>(NODE_UNION);
    term->term = N(t.all_of("t"));
    term->left = N(t.all_of("ignored"));

    auto *cursor = make<NodeCursorSpec>(NODE_CURSOR_SPEC);
    cursor->query = N(t.all_of("t"));
    auto *sort_desc = make<NodeSortSpec>(NODE_SORT_SPEC);
    sort_desc->key = N(t.col("a"));
    sort_desc->order = KV_ORDER_DESC;
    auto *sort_asc = make<NodeSortSpec>(NODE_SORT_SPEC);
    sort_asc->key = N(t.integer(2));
    cursor->order_by = t.list({sort_desc, sort_asc});
    auto *unordered = make<NodeCursorSpec>(NODE_CURSOR_SPEC);
    unordered->query = N(t.all_of("t"));
    auto *for_update = make<NodeForUpdate>(NODE_FOR_UPDATE);
    for_update->query = N(t.all_of("t"));
    auto *for_update_of = make<NodeForUpdate>(NODE_FOR_UPDATE);
    for_update_of->query = N(t.all_of("t"));
    for_update_of->columns = t.list({t.id("a"), t.id("b")});

    auto *choice = make<NodeChoice>(NODE_CHOICE);
    choice->first = N(t.id("first"));
    choice->second = N(t.id("second"));
    auto *second_choice = make<NodeChoice>(NODE_CHOICE);
    second_choice->second = N(t.id("second"));

    check({
        {"DISTINCT, alias, t.*", distinct, " SELECT DISTINCT a AS x, t.* FROM t"},
        {"ALL", all, " SELECT ALL a FROM t"},
        {"WHERE, correlation", where, " SELECT *  FROM t x WHERE ( a = 1  )"},
        {"GROUP BY, HAVING", grouped, " SELECT a FROM t GROUP BY a HAVING (  COUNT(*)  > 1  )"},
        {"grouped query alone", ungrouped, " SELECT a FROM t"},
        {"UNION ALL", set_operation(t.all_of("t"), t.all_of("s"), true),
         " SELECT *  FROM t UNION ALL  SELECT *  FROM s"},
        {"left-deep UNION", set_operation(set_operation(t.all_of("t"), t.all_of("s"), false), t.all_of("u"), false),
         " SELECT *  FROM t UNION  SELECT *  FROM s UNION  SELECT *  FROM u"},
        {"UNION on the right keeps its grouping",
         set_operation(t.all_of("t"), set_operation(t.all_of("s"), t.all_of("u"), false), true),
         " SELECT *  FROM t UNION ALL (  SELECT *  FROM s UNION  SELECT *  FROM u )"},
        {"UNION term on the right", set_operation(t.all_of("s"), term, false),
         " SELECT *  FROM s UNION  SELECT *  FROM t"},
        {"UNION term", term, " SELECT *  FROM t"},
        {"ORDER BY", cursor, " SELECT *  FROM t ORDER BY a DESC , 2  ASC "},
        {"no ORDER BY", unordered, " SELECT *  FROM t"},
        {"FOR UPDATE", for_update, " SELECT *  FROM t FOR UPDATE "},
        {"FOR UPDATE OF", for_update_of, " SELECT *  FROM t FOR UPDATE OF a, b"},
        {"choice, first", choice, "first"},
        {"choice, second", second_choice, "second"},
        {"list", t.list({t.id("a"), t.id("b"), t.id("c")}), "a, b, c"},
        {"empty list", t.list(), ""},
    });
}

TEST_F(Print, TableReferencesAndJoins)
{
    auto on = [&] { return t.cmp(KV_OP_EQUAL, t.col("a", "t"), t.col("a", "s")); };
    auto *natural = t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), on());
    natural->natural = 1;
    auto *natural_two = t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), on());
    natural_two->natural = 2;
    auto *using_join = t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), on());
    using_join->using_columns = t.list({t.id("a"), t.id("b")});
    auto *nested = t.join(t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), on()), KV_JOIN_CLASS_OUTER,
                          KV_JOIN_LEFT, t.ref("u"), t.cmp(KV_OP_EQUAL, t.col("a", "u"), t.col("a", "s")));

    auto *derived = make<NodeTableRef>(NODE_TABLE_REF);
    derived->derived = N(t.all_of("s"));
    derived->correlation = N(t.id("d"));
    auto *joined = make<NodeTableRef>(NODE_TABLE_REF);
    joined->joined = N(t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), on()));
    joined->derived = N(t.all_of("ignored"));
    joined->table = N(t.table("ignored"));
    auto *qualified = make<NodeTableRef>(NODE_TABLE_REF);
    qualified->table = N(t.table("t", "owner"));
    qualified->correlation = N(t.id("x", true));

    check({
        {"INNER", t.join(t.ref("t"), KV_JOIN_CLASS_INNER, KV_JOIN_LEFT, t.ref("s"), on()),
         " t INNER JOIN s ON ( t.a = s.a ) "},
        {"LEFT OUTER", t.join(t.ref("t"), KV_JOIN_CLASS_OUTER, KV_JOIN_LEFT, t.ref("s"), on()),
         " t LEFT OUTER JOIN s ON ( t.a = s.a ) "},
        {"RIGHT OUTER", t.join(t.ref("t"), KV_JOIN_CLASS_OUTER, KV_JOIN_RIGHT, t.ref("s"), on()),
         " t RIGHT OUTER JOIN s ON ( t.a = s.a ) "},
        {"FULL OUTER", t.join(t.ref("t"), KV_JOIN_CLASS_OUTER, KV_JOIN_FULL, t.ref("s"), on()),
         " t FULL OUTER JOIN s ON ( t.a = s.a ) "},
        {"OUTER of no side is LEFT", t.join(t.ref("t"), KV_JOIN_CLASS_OUTER, 0, t.ref("s"), on()),
         " t LEFT OUTER JOIN s ON ( t.a = s.a ) "},
        {"NATURAL", natural, " t NATURAL INNER JOIN s "},
        {"natural only when 1", natural_two, " t INNER JOIN s ON ( t.a = s.a ) "},
        {"USING", using_join, " t INNER JOIN s USING ( a, b ) "},
        {"nested", nested, "  t INNER JOIN s ON ( t.a = s.a )  LEFT OUTER JOIN u ON ( u.a = s.a ) "},
        {"derived table", derived, "(  SELECT *  FROM s ) d"},
        {"joined wins", joined, " t INNER JOIN s ON ( t.a = s.a ) "},
        {"qualified, quoted correlation", qualified, "owner.t \"x\""},
    });
}

// ---- Names ---------------------------------------------------------------------------

TEST_F(Print, Names)
{
    auto table_name = [&](const char *q1, const char *q2, const char *q3, const char *table) {
        auto *n = make<NodeTableName>(NODE_TABLE_NAME);
        n->qualifier1 = q1 ? N(t.id(q1)) : nullptr;
        n->qualifier2 = q2 ? N(t.id(q2)) : nullptr;
        n->qualifier3 = q3 ? N(t.id(q3)) : nullptr;
        n->table = N(t.id(table));
        return n;
    };
    auto *column = t.col("a", "t");
    column->qualifier1 = N(t.id("c"));
    column->qualifier2 = N(t.id("s"));
    column->qualifier3 = N(t.id("x"));
    auto *unnamed = make<NodeIdentifier>(NODE_IDENTIFIER);

    check({
        {"identifier", t.id("abc"), "abc"},
        {"identifier with %", t.id("a%sb%n"), "a%sb%n"},
        {"quoted", t.id("a b", true), "\"a b\""},
        {"quoted with a quote inside", t.id("a\"b", true), "\"a\"\"b\""},
        {"quoted that would end the name", t.id("c\" = NULL --", true), "\"c\"\" = NULL --\""},
        {"quoted quotes only", t.id("\"\"", true), "\"\"\"\"\"\""},
        {"identifier without text", unnamed, ""},
        {"table alone", table_name(nullptr, nullptr, nullptr, "t"), "t"},
        {"qualifier2 and table", table_name(nullptr, "s", nullptr, "t"), "s.t"},
        {"qualifier1 and table: only the parts present", table_name("c", nullptr, nullptr, "t"), "c.t"},
        {"all parts in print order", table_name("c", "s", "x", "t"), "c.s.x.t"},
        {"column", t.col("a"), "a"},
        {"column of a table", t.col("a", "t"), "t.a"},
        {"column with every part", column, "c.s.x.t.a"},
    });
}

TEST_F(Print, ColumnTagsOnlyInTaggedMode)
{
    auto *a = t.col("a");
    a->tagged = 1;
    a->tag_a = 1;
    auto *star = t.col("b");
    star->tagged = 1;
    EXPECT_EQ(text_of(a, KV_PRINT_TAGGED), "a(A) ");
    EXPECT_EQ(text_of(star, KV_PRINT_TAGGED), "b(*) ");
    EXPECT_EQ(text_of(a, KV_PRINT_MARKED), "a");
    EXPECT_EQ(text_of(a, KV_PRINT_PLAIN), "a");
}

// ---- Data definition clauses ---------------------------------------------------------

TEST_F(Print, ColumnAndTableConstraints)
{
    auto *references = t.constraint(KV_COLUMN_REFERENCES, t.table("r"));
    references->ref_columns = t.list({t.id("x")});
    auto foreign_key = [&](intptr_t rule) {
        auto *n = make<NodeTableConstraint>(NODE_TABLE_CONSTRAINT);
        n->constraint = KV_TABLE_FOREIGN_KEY;
        n->columns = t.list({t.id("a")});
        n->ref_table = N(t.table("r"));
        n->ref_columns = t.list({t.id("x")});
        n->delete_rule = rule;
        return n;
    };
    auto table_constraint = [&](intptr_t code) {
        auto *n = make<NodeTableConstraint>(NODE_TABLE_CONSTRAINT);
        n->constraint = code;
        n->columns = t.list({t.id("a"), t.id("b")});
        n->check = N(t.cmp(KV_OP_GREATER, t.col("a"), t.integer(0)));
        return n;
    };
    auto null_or_default = [&](intptr_t which) {
        auto *n = make<NodeNullOrDefault>(NODE_NULL_OR_DEFAULT);
        n->which = which;
        return n;
    };
    auto *column = t.column_def("a", t.type(SQL_INTEGER),
                                t.list({t.constraint(KV_COLUMN_DEFAULT, t.integer(5)), t.constraint(KV_COLUMN_NOT_NULL),
                                        t.constraint(KV_COLUMN_REFERENCES, t.table("r"))}));

    check({
        {"UNIQUE", t.constraint(KV_COLUMN_UNIQUE), "UNIQUE "},
        {"PRIMARY KEY", t.constraint(KV_COLUMN_PRIMARY_KEY), "PRIMARY KEY "},
        {"CHECK", t.constraint(KV_COLUMN_CHECK, t.cmp(KV_OP_GREATER, t.col("a"), t.integer(0))), "CHECK ( a > 0  )"},
        {"NOT NULL", t.constraint(KV_COLUMN_NOT_NULL), "NOT NULL "},
        {"REFERENCES", references, "REFERENCES r ( x ) "},
        {"DEFAULT", t.constraint(KV_COLUMN_DEFAULT, t.str("'x'")), "DEFAULT 'x' "},
        {"column constraint 0", t.constraint(0), ""},
        {"column constraint 4", t.constraint(4), ""},
        {"constraints apart", column, "a INTEGER DEFAULT 5  NOT NULL  REFERENCES r"},
        {"quoted column", t.column_def("a\"b", t.type(SQL_INTEGER), nullptr, true), "\"a\"\"b\" INTEGER "},
        {"table UNIQUE", table_constraint(KV_TABLE_UNIQUE), " UNIQUE ( a, b ) "},
        {"table PRIMARY KEY", table_constraint(KV_TABLE_PRIMARY_KEY), " PRIMARY KEY ( a, b ) "},
        {"table CHECK", table_constraint(KV_TABLE_CHECK), " CHECK ( ( a > 0  ) ) "},
        {"table constraint 5", table_constraint(5), ""},
        {"NO ACTION", foreign_key(KV_RULE_NO_ACTION), " FOREIGN KEY ( a ) REFERENCES r ( x ) ON DELETE NO ACTION "},
        {"CASCADE", foreign_key(KV_RULE_CASCADE), " FOREIGN KEY ( a ) REFERENCES r ( x ) ON DELETE CASCADE "},
        {"SET NULL", foreign_key(KV_RULE_SET_NULL), " FOREIGN KEY ( a ) REFERENCES r ( x ) ON DELETE SET NULL "},
        {"SET DEFAULT", foreign_key(KV_RULE_SET_DEFAULT),
         " FOREIGN KEY ( a ) REFERENCES r ( x ) ON DELETE SET DEFAULT "},
        {"no rule", foreign_key(7), " FOREIGN KEY ( a ) REFERENCES r ( x ) "},
        {"NULL", null_or_default(KV_NULL_OR_DEFAULT_NULL), " NULL "},
        {"DEFAULT", null_or_default(KV_NULL_OR_DEFAULT_DEFAULT), " DEFAULT "},
        {"neither", null_or_default(3), ""},
    });
}

TEST_F(Print, DataTypes)
{
    check({
        {"CHARACTER", t.type(SQL_CHAR, 10), " CHARACTER( 10 ) "},
        {"CHARACTER of no length", t.type(SQL_CHAR, 0), " CHARACTER "},
        {"VARCHAR", t.type(SQL_VARCHAR, 20), " CHARACTER VARYING( 20 ) "},
        {"VARCHAR of no length", t.type(SQL_VARCHAR, 0), " CHARACTER VARYING "},
        {"LONG VARCHAR", t.type(SQL_LONGVARCHAR), " LONG VARCHAR "},
        {"DECIMAL", t.type(SQL_DECIMAL, 0, 0, t.precision(10, 2)), " DECIMAL  ( 10, 2 ) "},
        {"NUMERIC", t.type(SQL_NUMERIC, 0, 0, t.precision(5)), " NUMERIC  ( 5 ) "},
        {"NUMERIC without precision", t.type(SQL_NUMERIC), " NUMERIC "},
        {"SMALLINT", t.type(SQL_SMALLINT), " SMALLINT "},
        {"INTEGER", t.type(SQL_INTEGER), " INTEGER "},
        {"TINYINT", t.type(SQL_TINYINT), " TINYINT "},
        {"BIGINT", t.type(SQL_BIGINT), " BIGINT "},
        {"REAL", t.type(SQL_REAL), " REAL "},
        {"FLOAT", t.type(SQL_FLOAT), " FLOAT "},
        {"FLOAT(24)", t.type(SQL_FLOAT, 24), " FLOAT ( 24 ) "},
        {"DOUBLE", t.type(SQL_DOUBLE), " DOUBLE PRECISION "},
        {"BIT", t.type(SQL_BIT), " BIT "},
        {"BINARY", t.type(SQL_BINARY, 8), " BINARY( 8 ) "},
        {"VARBINARY", t.type(SQL_VARBINARY, 16), " VARBINARY( 16 ) "},
        {"LONG VARBINARY", t.type(SQL_LONGVARBINARY), " LONG VARBINARY "},
        {"DATE", t.type(SQL_DATE), " DATE "},
        {"TYPE_DATE", t.type(SQL_TYPE_DATE), " DATE "},
        {"TIME", t.type(SQL_TYPE_TIME), " TIME "},
        {"TIME(3)", t.type(SQL_TIME, 3), " TIME ( 3 ) "},
        {"TIMESTAMP", t.type(SQL_TYPE_TIMESTAMP), " TIMESTAMP "},
        {"TIMESTAMP(6)", t.type(SQL_TIMESTAMP, 6), " TIMESTAMP ( 6 ) "},
        {"INTERVAL YEAR", t.type(SQL_INTERVAL_YEAR), " INTERVAL YEAR  "},
        {"INTERVAL YEAR(4)", t.type(SQL_INTERVAL_YEAR, 4), " INTERVAL YEAR ( 4 ) "},
        {"INTERVAL MONTH", t.type(SQL_INTERVAL_MONTH), " INTERVAL MONTH "},
        {"INTERVAL MONTH(3)", t.type(SQL_INTERVAL_MONTH, 3), " INTERVAL MONTH( 3 ) "},
        {"INTERVAL DAY(5)", t.type(SQL_INTERVAL_DAY, 5), " INTERVAL DAY( 5 ) "},
        {"INTERVAL HOUR", t.type(SQL_INTERVAL_HOUR), " INTERVAL HOUR "},
        {"INTERVAL MINUTE(2)", t.type(SQL_INTERVAL_MINUTE, 2), " INTERVAL MINUTE( 2 ) "},
        {"INTERVAL SECOND", t.type(SQL_INTERVAL_SECOND), " INTERVAL SECOND "},
        {"INTERVAL SECOND(5,3)", t.type(SQL_INTERVAL_SECOND, 0, 0, t.precision(5, 3)), " INTERVAL SECOND ( 5, 3 ) "},
        {"YEAR TO MONTH", t.type(SQL_INTERVAL_YEAR_TO_MONTH), " INTERVAL YEAR TO MONTH "},
        {"YEAR(3) TO MONTH", t.type(SQL_INTERVAL_YEAR_TO_MONTH, 3), " INTERVAL YEAR( 3 ) TO MONTH "},
        {"DAY TO HOUR", t.type(SQL_INTERVAL_DAY_TO_HOUR), " INTERVAL DAY TO HOUR "},
        {"DAY TO MINUTE", t.type(SQL_INTERVAL_DAY_TO_MINUTE, 4), " INTERVAL DAY( 4 ) TO MINUTE "},
        {"HOUR TO MINUTE", t.type(SQL_INTERVAL_HOUR_TO_MINUTE), " INTERVAL HOUR TO MINUTE "},
        {"DAY(3) TO SECOND(2)", t.type(SQL_INTERVAL_DAY_TO_SECOND, 3, 2), " INTERVAL DAY( 3 ) TO SECOND ( 2 )"},
        {"HOUR TO SECOND", t.type(SQL_INTERVAL_HOUR_TO_SECOND), " INTERVAL HOUR TO SECOND "},
        {"MINUTE TO SECOND(4)", t.type(SQL_INTERVAL_MINUTE_TO_SECOND, 0, 4), " INTERVAL MINUTE TO SECOND ( 4 )"},
        {"DAY TO HOUR ignores a fraction", t.type(SQL_INTERVAL_DAY_TO_HOUR, 0, 4), " INTERVAL DAY TO HOUR "},
        {"type 0", t.type(0), ""},
        {"type 99", t.type(99), ""},
        {"precision", t.precision(10), " ( 10 ) "},
        {"precision and scale", t.precision(10, 2), " ( 10, 2 ) "},
    });
}

TEST_F(Print, IntervalQualifiers)
{
    auto field = [&](intptr_t code, intptr_t precision = 0, NodePrecision *second = nullptr) {
        auto *n = make<NodeIntervalField>(NODE_INTERVAL_FIELD);
        n->field = code;
        n->precision = precision;
        n->second_precision = second;
        return n;
    };
    auto *range = make<NodeIntervalQualifier>(NODE_INTERVAL_QUALIFIER);
    range->start = field(KV_FIELD_DAY);
    range->end = field(KV_FIELD_SECOND_END, 3);
    auto *single = make<NodeIntervalQualifier>(NODE_INTERVAL_QUALIFIER);
    single->start = field(KV_FIELD_YEAR);
    single->single = field(KV_FIELD_HOUR);

    check({
        {"YEAR", field(KV_FIELD_YEAR), " YEAR "},
        {"MONTH(2)", field(KV_FIELD_MONTH, 2), " MONTH( 2 ) "},
        {"DAY(3)", field(KV_FIELD_DAY, 3), " DAY( 3 ) "},
        {"HOUR", field(KV_FIELD_HOUR), " HOUR "},
        {"MINUTE", field(KV_FIELD_MINUTE), " MINUTE "},
        {"SECOND at the end", field(KV_FIELD_SECOND_END, 2), " SECOND( 2 ) "},
        {"SECOND alone", field(KV_FIELD_SECOND, 0, t.precision(4, 2)), " SECOND  ( 4, 2 ) "},
        {"SECOND alone, no precision", field(KV_FIELD_SECOND), " SECOND "},
        {"field 0", field(0), ""},
        {"field 8", field(8), ""},
        {"range", range, " DAY  TO  SECOND( 3 ) "},
        {"single wins", single, " HOUR "},
    });
}

// ---- Expressions and predicates -----------------------------------------------------

TEST_F(Print, Expressions)
{
    std::vector<Golden> cases;
    const char *texts[] = {"+", "-", "||", "*", "/", "-", "<", ">", ">=", "<=", "=", "<>"};
    for (intptr_t op = KV_OP_ADD; op <= KV_OP_NOT_EQUAL; op++) {
        if (op == KV_OP_NEGATE)
            continue;
        cases.push_back({texts[op - 1], t.cmp(op, t.col("a"), t.integer(1)), std::string("( a ") + texts[op - 1] + " 1  )"});
    }
    auto *grouped = make<NodeGroupedQuery>(NODE_GROUPED_QUERY);
    grouped->query = N(t.select(t.list({t.item(t.col("b"))}), t.list({t.ref("s")})));
    grouped->group_by = t.list({t.col("b")});
    auto *sum = t.cmp(KV_OP_ADD, t.col("a"), t.integer(1));
    cases.insert(cases.end(), {
        {"negation", t.cmp(KV_OP_NEGATE, nullptr, t.col("a")), "(  - a )"},
        {"negative number", t.cmp(KV_OP_SUBTRACT, t.col("a"), t.integer(-1)), "( a - -1  )"},
        {"operator 0", t.cmp(0, t.col("a"), t.integer(1)), "( a <unknown operator 0> 1  )"},
        {"operator 13", t.cmp(13, t.col("a"), t.integer(1)), "( a <unknown operator 13> 1  )"},
        {"NOT", t.negation(a_is_1()), "(  NOT ( a = 1  ))"},
        {"AND", t.both(a_is_1(), b_is_2()), "( ( a = 1  ) AND ( b = 2  ))"},
        {"OR", t.either(a_is_1(), b_is_2()), "( ( a = 1  ) OR ( b = 2  ))"},
        {"left-deep AND, OR", t.either(t.both(a_is_1(), b_is_2()), t.col("c")),
         "( ( ( a = 1  ) AND ( b = 2  )) OR c)"},
        {"right-nested OR", t.both(a_is_1(), t.either(b_is_2(), t.col("c"))), "( ( a = 1  ) AND ( ( b = 2  ) OR c))"},
        {"left-deep arithmetic", t.cmp(KV_OP_MULTIPLY, sum, t.integer(2)), "( ( a + 1  ) * 2  )"},
        {"right-nested arithmetic", t.cmp(KV_OP_MULTIPLY, t.integer(2), sum), "( 2  * ( a + 1  ) )"},
        {"class 0", t.expr(0, KV_OP_EQUAL, t.col("a"), t.col("b")), ""},
        {"class 5", t.expr(5, KV_OP_EQUAL, t.col("a"), t.col("b")), ""},
        {"grouped query on the right", t.cmp(KV_OP_EQUAL, t.col("a"), grouped),
         "( a = (  SELECT b FROM s GROUP BY b ) )"},
        {"query on the right", t.cmp(KV_OP_LESS, t.col("a"), t.all_of("s")), "( a < (  SELECT *  FROM s ) )"},
        {"query on the left", t.cmp(KV_OP_EQUAL, t.all_of("s"), t.integer(1)), "( (  SELECT *  FROM s ) = 1  )"},
        {"parameter", t.param(3), " ? "},
    });
    check(cases);
}

TEST_F(Print, MarkedComparisonsBecomeTrueOnlyAsPositiveConjuncts)
{
    auto m = [&] { return t.marked(KV_OP_EQUAL, t.col("a"), t.integer(1)); };
    const std::string full = "( a = 1  )", b2 = "( b = 2  )";
    auto *deleted = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    deleted->table = N(t.table("t"));
    deleted->where = N(t.both(m(), b_is_2()));
    auto *when = make<NodeWhenClause>(NODE_WHEN_CLAUSE);
    when->condition = N(m());
    when->result = N(t.integer(1));
    auto *grouped = make<NodeGroupedQuery>(NODE_GROUPED_QUERY);
    grouped->query = N(t.select(nullptr, t.list({t.ref("t")}), t.both(b_is_2(), m())));
    grouped->having = N(m());

    check({
        {"alone", m(), " (0=0) "},
        {"left conjunct", t.both(m(), b_is_2()), "(  (0=0)  AND " + b2 + ")"},
        {"right conjunct", t.both(b_is_2(), m()), "( " + b2 + " AND  (0=0) )"},
        {"conjunct of conjunct", t.both(t.both(b_is_2(), m()), m()), "( ( " + b2 + " AND  (0=0) ) AND  (0=0) )"},
        {"under NOT", t.negation(m()), "(  NOT " + full + ")"},
        {"AND under NOT", t.negation(t.both(m(), b_is_2())), "(  NOT ( " + full + " AND " + b2 + "))"},
        {"under OR", t.either(m(), b_is_2()), "( " + full + " OR " + b2 + ")"},
        {"AND under OR", t.either(t.both(m(), b_is_2()), b_is_2()), "( ( " + full + " AND " + b2 + ") OR " + b2 + ")"},
        {"OR under AND", t.both(t.either(m(), b_is_2()), m()), "( ( " + full + " OR " + b2 + ") AND  (0=0) )"},
        {"WHERE and HAVING", grouped, " SELECT *  FROM t WHERE ( " + b2 + " AND  (0=0) ) HAVING  (0=0) "},
        {"DELETE's WHERE", deleted, "DELETE FROM t WHERE (  (0=0)  AND " + b2 + ")"},
        {"select list", t.select(t.list({t.item(m())}), t.list({t.ref("t")})), " SELECT " + full + " FROM t"},
        {"CASE condition", when, " WHEN " + full + " THEN 1 "},
        {"join condition", t.join(t.ref("t"), KV_JOIN_CLASS_INNER, 0, t.ref("s"), m()),
         " t INNER JOIN s ON " + full + " "},
    });
    // Any other mode prints them as written.
    EXPECT_EQ(text_of(m(), KV_PRINT_MARKED), full);
    EXPECT_EQ(text_of(t.both(m(), b_is_2()), KV_PRINT_TAGGED), "( " + full + " AND " + b2 + ")");
    EXPECT_EQ(text_of(t.both(m(), b_is_2()), 7), "( " + full + " AND " + b2 + ")");
}

TEST_F(Print, Predicates)
{
    auto exists = [&](bool negated) {
        auto *n = make<NodeExists>(NODE_EXISTS);
        n->query = N(t.all_of("s"));
        n->negated = negated;
        return n;
    };
    auto like = [&](bool negated, const void *escape) {
        auto *n = make<NodeLike>(NODE_LIKE);
        n->operand = N(t.col("a"));
        n->negated = negated;
        n->pattern = N(t.str("'x!%'"));
        n->escape = N(escape);
        return n;
    };
    auto null_test = [&](bool negated) {
        auto *n = make<NodeNullTest>(NODE_NULL_TEST);
        n->operand = N(t.col("a"));
        n->negated = negated;
        return n;
    };
    auto in = [&](bool negated, const void *query, NodeList *values) {
        auto *n = make<NodeInPredicate>(NODE_IN_PREDICATE);
        n->operand = N(t.col("a"));
        n->negated = negated;
        n->query = N(query);
        n->values = values;
        return n;
    };
    auto quantified = [&](intptr_t op, intptr_t quantifier, bool negated) {
        auto *n = make<NodeQuantifiedComparison>(NODE_QUANTIFIED_COMPARISON);
        n->operand = N(t.col("a"));
        n->operator_code = op;
        n->quantifier = quantifier;
        n->negated = negated;
        n->query = N(t.all_of("s"));
        return n;
    };
    check({
        {"EXISTS", exists(false), " EXISTS (  SELECT *  FROM s ) "},
        {"NOT EXISTS", exists(true), " NOT EXISTS (  SELECT *  FROM s ) "},
        {"LIKE", like(false, nullptr), "a LIKE 'x!%' "},
        {"NOT LIKE ESCAPE", like(true, t.str("'!'")), "a NOT  LIKE 'x!%'  ESCAPE '!' "},
        {"IS NULL", null_test(false), "a IS NULL"},
        {"IS NOT NULL", null_test(true), "a IS NOT NULL"},
        {"IN list", in(false, nullptr, t.list({t.integer(1), t.integer(2)})), "a IN  ( 1 , 2 )"},
        {"NOT IN list", in(true, nullptr, t.list({t.str("'x'")})), "a NOT  IN  ( 'x' )"},
        {"IN query wins", in(false, t.all_of("s"), t.list({t.integer(1)})), "a IN  (  SELECT *  FROM s)"},
        {"empty IN is false", in(false, nullptr, nullptr), " 1 = 0 "},
        {"empty NOT IN is true", in(true, nullptr, nullptr), " 1 = 1 "},
        {"IN an empty list", in(false, nullptr, t.list()), "a IN  ( )"},
        {"= ANY", quantified(KV_OP_EQUAL, KV_COMPARE_ANY, false), "a =  ANY  (  SELECT *  FROM s ) "},
        {"> ALL", quantified(KV_OP_GREATER, KV_COMPARE_ALL, false), "a >  ALL  (  SELECT *  FROM s ) "},
        {"< SOME", quantified(KV_OP_LESS, KV_COMPARE_SOME, false), "a <  SOME  (  SELECT *  FROM s ) "},
        {"quantifier 0 is SOME", quantified(KV_OP_LESS, 0, false), "a <  SOME  (  SELECT *  FROM s ) "},
        {"negated", quantified(KV_OP_NOT_EQUAL, KV_COMPARE_ANY, true),
         " NOT ( a <>  ANY  (  SELECT *  FROM s )  ) "},
    });
}

// ---- Values --------------------------------------------------------------------------

TEST_F(Print, Doubles)
{
    struct {
        double value;
        const char *text;
    } cases[] = {
        {2.5, "2.5"}, {3.0, "3.0"}, {-0.25, "-0.25"}, {100.0, "100.0"}, {0.0, "0.0"}, {-0.0, "-0.0"},
        {0.1, "0.1"}, {1e-7, "1e-07"}, {1.5e-10, "1.5e-10"}, {1e22, "1e+22"}, {123456789012.0, "123456789012.0"},
        {1.0 / 3, "0.3333333333333333"}, {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {std::numeric_limits<double>::quiet_NaN(), "<NaN>"},
        {std::numeric_limits<double>::infinity(), "<Infinity>"},
        {-std::numeric_limits<double>::infinity(), "<-Infinity>"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(text_of(t.real(c.value)), c.text) << c.text;
        if (std::isfinite(c.value)) {
            double back = 0;
            std::sscanf(c.text, "%lf", &back);
            EXPECT_EQ(back, c.value) << c.text << " reads back";
        }
    }
}

TEST_F(Print, Values)
{
    auto *cut = t.str("'abxcd'");
    cut->data.s[2] = '\0';
    auto *null_integer = t.integer(7);
    null_integer->indicator = -1;
    auto *null_string = t.str("'x'");
    null_string->indicator = -1;
    auto *big = t.value(VT_BIGINT);
    big->data.big = -9007199254740993LL;
    auto with_type = [&](int type, int precision = 0) {
        Value *v = t.value(type);
        v->precision = precision;
        return v;
    };
    auto *year_month = t.value(VT_INTERVAL_YM);
    year_month->data.iv.interval_type = SQL_IS_YEAR_TO_MONTH;
    year_month->data.iv.intval.year_month.year = 1;
    year_month->data.iv.intval.year_month.month = 6;
    year_month->leading_precision = 4;
    auto *fraction = t.literal(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 08:30:05'}");
    fraction->data.ts.fraction = 1;
    auto *too_much = t.literal(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 08:30:05'}");
    too_much->data.ts.fraction = 1500000000;
    auto *no_interval = t.value(VT_INTERVAL_DS);

    check({
        {"integer", t.integer(5), "5 "},
        {"negative integer", t.integer(-7), "-7 "},
        {"string", t.str("'abc'"), "'abc' "},
        {"apostrophe doubled once", t.str("'it''s'"), "'it''s' "},
        {"percent", t.str("'50%'"), "'50%' "},
        {"empty string", t.str("''"), "'' "},
        {"string stops at a zero byte", cut, "'ab' "},
        {"bit 0", t.literal(KV_LITERAL_BIT, "B'0'"), "B'0' "},
        {"bit 1", t.literal(KV_LITERAL_BIT, "B'1'"), "B'1' "},
        {"binary", t.literal(KV_LITERAL_HEX, "X'0AFF'"), "X'0AFF'"},
        {"empty binary", t.literal(KV_LITERAL_HEX, "X''"), "X''"},
        {"date", t.literal(KV_LITERAL_DATE, "{d '2024-01-31'}"), "DATE '2024-01-31'"},
        {"time", t.literal(KV_LITERAL_TIME, "{t '08:30:05'}"), "TIME '08:30:05'"},
        {"timestamp", t.literal(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 08:30:05'}"),
         "TIMESTAMP '2024-01-31 08:30:05'"},
        {"timestamp with fraction", t.literal(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 08:30:05.25'}"),
         "TIMESTAMP '2024-01-31 08:30:05.25'"},
        {"timestamp with a nanosecond", fraction, "TIMESTAMP '2024-01-31 08:30:05.000000001'"},
        {"fraction of more than a second", too_much, "<unexpected value type>"},
        {"interval of no type", no_interval, "<unexpected value type>"},
        {"numeric", MakeInteger("12345678901", mem), "12345678901"},
        {"numeric with fraction", MakeNumeric("1234567", "25", mem), "1234567.25"},
        {"NULL literal", MakeNull(mem), " NULL "},
        {"null integer", null_integer, " NULL "},
        {"null string", null_string, " NULL "},
        {"bigint", big, "-9007199254740993 "},
        {"interval", year_month, "INTERVAL '1-06' YEAR(4) TO MONTH"},
        {"CURRENT_DATE", t.literal(KV_LITERAL_CURRENT_DATE, nullptr), "CURRENT_DATE "},
        {"USER", t.literal(KV_LITERAL_USER, nullptr), "USER "},
        {"CURRENT_TIME", t.literal(KV_LITERAL_CURRENT_TIME, nullptr), "CURRENT_TIME "},
        {"CURRENT_TIME(2)", MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIME, nullptr, 2, mem), "CURRENT_TIME(2) "},
        {"CURRENT_TIMESTAMP", t.literal(KV_LITERAL_CURRENT_TIMESTAMP, nullptr), "CURRENT_TIMESTAMP "},
        {"CURRENT_TIMESTAMP(3)", with_type(VT_CURRENT_TIMESTAMP, 3), "CURRENT_TIMESTAMP(3) "},
        {"long string", with_type(VT_LONG_STRING), "<unexpected value type>"},
        {"long binary", with_type(VT_LONG_BINARY), "<unexpected value type>"},
        {"type 0", with_type(0), "<unexpected value type>"},
    });
}

// ---- CAST, CASE, functions ---------------------------------------------------------

TEST_F(Print, CastCaseAndRelatives)
{
    auto cast = [&](const void *operand, NodeDataType *type) {
        auto *n = make<NodeCast>(NODE_CAST);
        n->operand = N(operand);
        n->target = N(type);
        return n;
    };
    auto *simple = make<NodeCase>(NODE_CASE);
    simple->operand = N(t.col("a"));
    simple->whens = t.list({t.when(t.integer(1), t.str("'x'")), t.when(t.integer(2), t.str("'y'"))});
    simple->else_result = N(t.str("'z'"));
    auto *searched = make<NodeCase>(NODE_CASE);
    searched->whens = t.list({t.when(a_is_1(), t.col("b"))});
    auto *nullif = make<NodeNullif>(NODE_NULLIF);
    nullif->first = N(t.col("a"));
    nullif->second = N(t.integer(0));
    auto *coalesce = make<NodeCoalesce>(NODE_COALESCE);
    coalesce->arguments = t.list({t.col("a"), t.col("b")});

    check({
        {"CAST", cast(t.col("a"), t.type(SQL_INTEGER)), " CAST ( a AS  INTEGER ) "},
        {"CAST NULL", cast(nullptr, t.type(SQL_TYPE_DATE)), " CAST ( NULL AS  DATE ) "},
        {"simple CASE", simple, " CASE a  WHEN 1  THEN 'x'  WHEN 2  THEN 'y'  ELSE 'z'  END"},
        {"searched CASE", searched, " CASE  WHEN ( a = 1  ) THEN b END"},
        {"NULLIF", nullif, "NULLIF( a, 0 )"},
        {"COALESCE", coalesce, "COALESCE( a, b)"},
    });
}

TEST_F(Print, SetFunctions)
{
    auto set_function = [&](intptr_t function, bool distinct, bool with_argument = true) {
        auto *n = make<NodeSetFunction>(NODE_SET_FUNCTION);
        n->function = function;
        n->distinct = distinct;
        n->distinct_arg = distinct ? N(t.col("a")) : nullptr;
        n->all_arg = !distinct && with_argument ? N(t.col("b")) : nullptr;
        return n;
    };
    check({
        {"COUNT DISTINCT", set_function(KV_SETFN_COUNT, true), " COUNT( DISTINCT a ) "},
        {"COUNT of an argument", set_function(KV_SETFN_COUNT, false), " COUNT( ALL b ) "},
        {"COUNT of none", set_function(KV_SETFN_COUNT, false, false), " COUNT(*)"},
        {"MAX DISTINCT", set_function(KV_SETFN_MAX, true), " MAX( DISTINCT a ) "},
        {"MAX", set_function(KV_SETFN_MAX, false), " MAX( ALL b ) "},
        {"MIN", set_function(KV_SETFN_MIN, false), " MIN( ALL b ) "},
        {"SUM DISTINCT", set_function(KV_SETFN_SUM, true), " SUM( DISTINCT a ) "},
        {"AVG", set_function(KV_SETFN_AVG, false), " AVG( ALL b ) "},
        {"COUNT(*)", set_function(KV_SETFN_COUNT_STAR, false), " COUNT(*) "},
        {"COUNT(*) distinct", set_function(KV_SETFN_COUNT_STAR, true), " COUNT(*) "},
        {"function 0", set_function(0, false), ""},
        {"function 7", set_function(7, true), ""},
    });
}

TEST_F(Print, ScalarFunctions)
{
    auto fn = [&](intptr_t id, NodeList *arguments, const void *op1 = nullptr, const void *op2 = nullptr,
                  const void *op3 = nullptr) {
        auto *n = make<NodeScalarFunction>(NODE_SCALAR_FUNCTION);
        n->function = id;
        n->arguments = arguments;
        n->operand1 = N(op1);
        n->operand2 = N(op2);
        n->operand3 = N(op3);
        return n;
    };
    auto trim = [&](intptr_t side, const void *character) {
        auto *n = make<NodeTrimSpec>(NODE_TRIM_SPEC);
        n->side = side;
        n->character = N(character);
        n->source = N(t.col("a"));
        return n;
    };
    auto *a = t.col("a");
    check({
        {"CHARACTER_LENGTH", fn(KV_FN_CHARACTER_LENGTH, nullptr, a), " CHARACTER_LENGTH( a ) "},
        {"OCTET_LENGTH", fn(KV_FN_OCTET_LENGTH, nullptr, a), " OCTET_LENGTH( a ) "},
        {"POSITION IN", fn(KV_FN_POSITION_IN, nullptr, t.str("'x'"), a), " POSITION( 'x'  IN a ) "},
        {"SUBSTRING FOR", fn(KV_FN_SUBSTRING, nullptr, a, t.integer(2), t.integer(3)),
         " SUBSTRING( a FROM 2  FOR 3  ) "},
        {"SUBSTRING", fn(KV_FN_SUBSTRING, nullptr, a, t.integer(2)), " SUBSTRING( a FROM 2  ) "},
        {"TRIM", fn(KV_FN_TRIM, nullptr, trim(KV_TRIM_LEADING, t.str("'x'"))), " TRIM( LEADING 'x'  FROM a ) "},
        {"BIT_LENGTH", fn(KV_FN_BIT_LENGTH, nullptr, a), " BIT_LENGTH( a ) "},
        {"LOWER", fn(KV_FN_LOWER, nullptr, a), " LOWER( a ) "},
        {"UPPER", fn(KV_FN_UPPER, nullptr, a), " UPPER( a ) "},
        {"id -9", fn(-9, t.list({a}), a), ""},
        {"EXTRACT", fn(KV_FN_EXTRACT, t.list({t.integer(KV_EXTRACT_YEAR), t.col("d")})), " EXTRACT(  YEAR  FROM d )"},
        {"EXTRACT SECOND", fn(KV_FN_EXTRACT, t.list({t.integer(KV_EXTRACT_SECOND), t.col("d")})),
         " EXTRACT(  SECOND  FROM d )"},
        {"EXTRACT field 9", fn(KV_FN_EXTRACT, t.list({t.integer(9), t.col("d")})), " EXTRACT(  FROM d )"},
        {"POSITION", fn(KV_FN_POSITION, t.list({t.str("'x'"), a})), " POSITION( 'x'  IN a )"},
        {"ABS", fn(0, t.list({a})), "ABS( a ) "},
        {"first name of an id", fn(9, t.list({a})), "CHARACTER_LENGTH( a ) "},
        {"no arguments", fn(14, nullptr), "CURDATE(  ) "},
        {"empty arguments", fn(41, t.list()), "NOW(  ) "},
        {"LOCATE", fn(33, t.list({t.str("'x'"), a, t.integer(2)})), "LOCATE( 'x' , a, 2  ) "},
        {"unknown id", fn(500, t.list({a})), "<unknown function 500>( a ) "},
        {"TRAILING", trim(KV_TRIM_TRAILING, nullptr), "TRAILING  FROM a"},
        {"BOTH", trim(KV_TRIM_BOTH, t.str("'x'")), "BOTH 'x'  FROM a"},
        {"no side", trim(0, nullptr), " FROM a"},
    });
}

// ---- Unexpected nodes ----------------------------------------------------------------

TEST_F(Print, UnexpectedNodesPrintTheirKindAndTheWalkGoesOn)
{
    for (NodeKind kind : {131, 149, 156, 99, 163, 999}) {
        Node *odd = t.make<Node>(kind);
        char expected[96];
        std::snprintf(expected, sizeof expected, "<unexpected node type %" PRIxPTR "->%d>",
                      reinterpret_cast<uintptr_t>(odd), kind);
        EXPECT_EQ(text_of(t.list({t.id("a"), odd, t.id("b")})), std::string("a, ") + expected + ", b") << kind;
    }
}

// ---- The output contract -------------------------------------------------------------

TEST_F(Print, EntryPointsAndTheirPieces)
{
    auto *commit = make<NodeCommit>(NODE_COMMIT);
    auto *rollback = make<NodeRollback>(NODE_ROLLBACK);
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(pieces_of(t.list({commit, rollback})), (Pieces{"COMMIT WORK ", "; ", "ROLLBACK WORK "}));
    EXPECT_EQ(pieces_of(t.list({commit})), (Pieces{"COMMIT WORK "}));
    EXPECT_EQ(pieces_of(t.list()), Pieces{});
    EXPECT_EQ(pieces_of(commit), (Pieces{"COMMIT WORK "})) << "a lone statement";
    EXPECT_EQ(pieces_of(nullptr), Pieces{});
    EXPECT_EQ(pieces_of(t.all_of("t")), (Pieces{" SELECT ", "* ", " FROM ", "t"}));
    auto *call = make<NodeProcCall>(NODE_PROC_CALL);
    call->procedure = N(t.id("p"));
    EXPECT_EQ(pieces_of(call), (Pieces{"{ ", "?= ", "call ", "p", "}"}));
    EXPECT_EQ(pieces_of(a_is_1()), (Pieces{"( ", "a", " = ", "1 ", " )"}));

    // A statement list through the expression entry point is a list.
    std::string text;
    EXPECT_EQ(sql92_print_expression(t.list({commit, rollback}), append_piece, &text), 0);
    EXPECT_EQ(text, "COMMIT WORK , ROLLBACK WORK ");
    EXPECT_EQ(sql92_print_parse_tree(t.list({commit}), nullptr, nullptr), 0);
}

struct FailingOutput {
    FailingOutput(int fail_at_call, int fail_result) : fail_at(fail_at_call), result(fail_result) {}
    int fail_at;  // the call that fails, counting from 1
    int result;
    int calls = 0;
    std::string text;
};

int failing_output(const char *piece, void *context)
{
    auto *out = static_cast<FailingOutput *>(context);
    if (++out->calls == out->fail_at)
        return out->result;
    out->text += piece;
    return static_cast<int>(std::strlen(piece));  // fputs style: non-negative goes on
}

TEST_F(Print, AnOutputErrorStopsThePrintingAndIsReturned)
{
    auto *statement = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    statement->table = N(t.table("t"));
    statement->where = N(t.both(a_is_1(), t.either(b_is_2(), t.str("'x'"))));
    auto *statements = t.list({statement, make<NodeCommit>(NODE_COMMIT)});
    FailingOutput all{0, 0};
    ASSERT_EQ(sql92_print_parse_tree(statements, failing_output, &all), 0);
    ASSERT_EQ(all.text, "DELETE FROM t WHERE ( ( a = 1  ) AND ( ( b = 2  ) OR 'x' )); COMMIT WORK ");
    for (int k = 1; k <= all.calls; k++) {
        FailingOutput out{k, -k};
        EXPECT_EQ(sql92_print_parse_tree(statements, failing_output, &out), -k) << k;
        EXPECT_EQ(out.calls, k) << "no output after the failing call " << k;
    }
    FailingOutput eof{3, EOF};
    EXPECT_EQ(sql92_print_expression_ex(statement, failing_output, &eof, KV_PRINT_MARKED), EOF);
    EXPECT_EQ(eof.text, "DELETE FROM t");
}

// A tree nested deeper than the bound stops with KV_PRINT_TOO_DEEP; one just
// inside it prints whole.
TEST_F(Print, DepthIsBounded)
{
    auto nots = [&](int depth) {
        const void *node = t.integer(1);
        for (int i = 0; i < depth; i++)
            node = t.negation(node);
        return node;
    };
    std::string text;
    EXPECT_EQ(sql92_print_expression(nots(KV_PRINT_MAX_DEPTH - 1), append_piece, &text), 0);
    EXPECT_EQ(text.size(), (KV_PRINT_MAX_DEPTH - 1) * std::string("(  NOT )").size() + 2);
    text.clear();
    EXPECT_EQ(sql92_print_expression(nots(KV_PRINT_MAX_DEPTH), append_piece, &text), KV_PRINT_TOO_DEEP);
    text.clear();
    auto *statements = t.list({make<NodeCommit>(NODE_COMMIT), nots(100000)});
    EXPECT_EQ(sql92_print_parse_tree(statements, append_piece, &text), KV_PRINT_TOO_DEEP);
    EXPECT_EQ(text.rfind("COMMIT WORK ; ", 0), 0u);
}

// A tree that loops back on itself nests without end: it stops as too deep
// instead of printing for ever, whether the loop runs through a chain of
// operators or through other nodes.
TEST_F(Print, TreesThatLoopStop)
{
    for (int links : {1, 2, 3, 1000}) {
        NodeExpression *top = t.cmp(KV_OP_ADD, t.col("a"), t.integer(1));
        NodeExpression *bottom = top;
        for (int i = 1; i < links; i++)
            top = t.either(top, t.col("b"));
        bottom->left = N(top);
        std::string text;
        EXPECT_EQ(sql92_print_expression(top, append_piece, &text), KV_PRINT_TOO_DEEP) << links;
    }
    NodeExpression *negation = t.negation(nullptr);
    negation->right = N(negation);
    auto *when = make<NodeWhenClause>(NODE_WHEN_CLAUSE);
    auto *choice = make<NodeCase>(NODE_CASE);
    choice->whens = t.list({when});
    when->condition = N(t.both(t.col("a"), choice));
    for (const void *tree : {static_cast<const void *>(negation), static_cast<const void *>(choice)}) {
        std::string text;
        EXPECT_EQ(sql92_print_expression(tree, append_piece, &text), KV_PRINT_TOO_DEEP);
    }
}

// A generated left-deep chain of a million terms prints whole, in order.
// Its links live in one array: the printer reads trees wherever they are.
TEST_F(Print, MillionTermChainsPrintWithoutRecursion)
{
    constexpr std::size_t terms = 1000000;
    std::vector<NodeExpression> links(terms - 1);
    std::vector<Value> numbers(10);
    for (std::size_t i = 0; i < numbers.size(); i++) {
        numbers[i] = Value{};
        numbers[i].kind = NODE_VALUE;
        numbers[i].type = VT_INTEGER;
        numbers[i].data.i = static_cast<int32_t>(i);
    }
    const void *chain = &numbers[0];
    for (std::size_t i = 1; i < terms; i++) {
        NodeExpression &link = links[i - 1];
        link = NodeExpression{};
        link.kind = NODE_EXPRESSION;
        link.expression_class = i % 3 == 0 ? KV_EXPR_OR : KV_EXPR_OPERATOR;
        link.operator_code = KV_OP_ADD;
        link.left = N(chain);
        link.right = N(&numbers[i % 10]);
        chain = &link;
    }
    std::string text;
    long allocations = kv_test_allocation_count();
    ASSERT_EQ(sql92_print_expression(chain, append_piece, &text), 0);
    EXPECT_EQ(kv_test_allocation_count(), allocations) << "the printer allocates nothing";

    std::string expected(2 * (terms - 1), ' ');
    for (std::size_t i = 0; i < expected.size(); i += 2)
        expected[i] = '(';
    expected += "0 ";
    for (std::size_t i = 1; i < terms; i++)
        expected += (i % 3 == 0 ? std::string(" OR ") + char('0' + i % 10) + " )" : std::string(" + ") + char('0' + i % 10) + "  )");
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_TRUE(text == expected) << "first difference at "
                                  << std::mismatch(text.begin(), text.end(), expected.begin()).first - text.begin();
}

TEST_F(Print, MillionConjunctsKeepTheirMarks)
{
    constexpr std::size_t terms = 1000000;
    std::vector<NodeExpression> links(terms - 1);
    NodeExpression *marked = t.marked(KV_OP_EQUAL, t.col("a"), t.integer(1));
    NodeExpression *plain = b_is_2();
    const void *chain = marked;
    for (std::size_t i = 1; i < terms; i++) {
        links[i - 1] = NodeExpression{};
        links[i - 1].kind = NODE_EXPRESSION;
        // The top two links are ORs: the conjuncts below them are not positive.
        links[i - 1].expression_class = i >= terms - 2 ? KV_EXPR_OR : KV_EXPR_AND;
        links[i - 1].left = N(chain);
        links[i - 1].right = N(i % 2 ? marked : plain);
        chain = &links[i - 1];
    }
    std::string text;
    ASSERT_EQ(sql92_print_expression(chain, append_piece, &text), 0);
    EXPECT_EQ(text.find("(0=0)"), std::string::npos) << "under OR every mark prints in full";
    text.clear();
    ASSERT_EQ(sql92_print_expression(&links[terms - 4], append_piece, &text), 0);
    std::size_t marks = 0, expected = 1;  // the innermost operand is marked too
    for (std::size_t at = text.find("(0=0)"); at != std::string::npos; at = text.find("(0=0)", at + 1))
        marks++;
    for (std::size_t i = 1; i <= terms - 3; i++)
        expected += i % 2;
    EXPECT_EQ(marks, expected) << "every marked conjunct of the AND chain";
}

// Identifiers, strings and renderings of any length print whole.
TEST_F(Print, TextsLongerThan64KiB)
{
    std::string name(70000, 'n'), quoted(70000, 'q'), literal(100000, 's');
    quoted[100] = '"';
    quoted[69999] = '"';
    literal[5] = '\'';
    auto *item = t.select(t.list({t.item(t.str(("'" + literal.substr(0, 5) + "''" + literal.substr(6) + "'").c_str()),
                                         name.c_str())}),
                          t.list({t.ref(quoted.c_str())}));
    auto *ref = reinterpret_cast<NodeTableRef *>(ListFirst(item->from->items)->data);
    reinterpret_cast<NodeIdentifier *>(reinterpret_cast<NodeTableName *>(ref->table)->table)->quoted = 1;
    std::string escaped_quoted = quoted;
    escaped_quoted.insert(100, "\"");
    escaped_quoted.insert(70000, "\"");
    std::string escaped_literal = literal;
    escaped_literal.insert(5, "'");
    EXPECT_TRUE(text_of(item) == " SELECT '" + escaped_literal + "'  AS " + name + " FROM \"" + escaped_quoted + "\"");
}

} // namespace
