// The printer's text handed to the real server: trees built as a parser builds
// them are printed and the text is prepared and, where harmless, run by the
// embedded Firebird engine in a database of the test's own. Beyond "the server
// accepts it", the rows a query returns and the rows a change touches are
// checked against what the tree means.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "firebird_database.h"
#include "handle_fixture.h"
#include "tree_builder.h"

namespace {

using kvtest::FirebirdDatabase;
using kvtest::Outcome;
using kvtest::Row;
using kvtest::TreeBuilder;
using Rows = std::vector<Row>;

// Stops the engine before the sandbox's directory goes.
class FirebirdEnvironment : public ::testing::Environment {
public:
    void TearDown() override { FirebirdDatabase::shutdown(); }
};

const auto *environment = ::testing::AddGlobalTestEnvironment(new FirebirdEnvironment);

class ServerReads : public HandleTest {
protected:
    void SetUp() override
    {
        HandleTest::SetUp();
        t = TreeBuilder(mem);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        db = std::make_unique<FirebirdDatabase>(name);
        ASSERT_EQ(db->error(), "");
    }
    void TearDown() override
    {
        db.reset();
        HandleTest::TearDown();
    }

    static std::string sql_of(const void *tree)
    {
        std::string text;
        EXPECT_EQ(sql92_print_parse_tree(tree, kvtest::append_piece, &text), 0);
        return text;
    }
    // Prints `tree`, runs it and expects the server to accept it.
    Rows run(const void *tree)
    {
        std::string text = sql_of(tree);
        Outcome outcome = db->run(text);
        EXPECT_EQ(outcome.error, "") << text;
        return outcome.rows;
    }
    void prepare(const void *tree)
    {
        std::string text = sql_of(tree);
        EXPECT_EQ(db->run(text, false).error, "") << text;
    }
    // A query of the test's own, to look at what a printed statement did.
    Rows look(const std::string &sql)
    {
        Outcome outcome = db->run(sql);
        EXPECT_EQ(outcome.error, "") << sql;
        return outcome.rows;
    }

    static Rows sorted(Rows rows)
    {
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    template <class T> T *make(NodeKind kind) { return t.make<T>(kind); }
    static Node *N(const void *node) { return TreeBuilder::N(node); }

    NodeCreateTable *create_table(const char *name, NodeList *elements)
    {
        auto *n = make<NodeCreateTable>(NODE_CREATE_TABLE);
        n->table = N(t.table(name));
        n->elements = elements;
        return n;
    }
    NodeInsert *insert(const char *table, NodeList *columns, NodeList *values)
    {
        auto *source = make<NodeInsertSource>(NODE_INSERT_SOURCE);
        source->columns = columns;
        source->values = values;
        auto *n = make<NodeInsert>(NODE_INSERT);
        n->table = N(t.table(table));
        n->source = N(source);
        return n;
    }
    NodeList *ids(std::initializer_list<const char *> names)
    {
        NodeList *list = t.list();
        for (const char *name : names)
            t.add(list, t.id(name));
        return list;
    }
    NodeList *columns(std::initializer_list<const char *> names)
    {
        NodeList *list = t.list();
        for (const char *name : names)
            t.add(list, t.item(t.col(name)));
        return list;
    }
    NodeColumnConstraint *references(const char *table, const char *column)
    {
        NodeColumnConstraint *n = t.constraint(KV_COLUMN_REFERENCES, t.table(table));
        n->ref_columns = ids({column});
        return n;
    }
    NodeTableConstraint *foreign_key(const char *column, const char *table, const char *ref_column, intptr_t rule)
    {
        auto *n = make<NodeTableConstraint>(NODE_TABLE_CONSTRAINT);
        n->constraint = KV_TABLE_FOREIGN_KEY;
        n->columns = ids({column});
        n->ref_table = N(t.table(table));
        n->ref_columns = ids({ref_column});
        n->delete_rule = rule;
        return n;
    }
    NodeCursorSpec *ordered(const void *query, std::initializer_list<const char *> keys)
    {
        auto *n = make<NodeCursorSpec>(NODE_CURSOR_SPEC);
        n->query = N(query);
        n->order_by = t.list();
        for (const char *key : keys) {
            auto *sort = make<NodeSortSpec>(NODE_SORT_SPEC);
            sort->key = N(t.col(key));
            t.add(n->order_by, sort);
        }
        return n;
    }
    // SELECT columns FROM table [WHERE where] ORDER BY the first column.
    NodeCursorSpec *select(std::initializer_list<const char *> names, const char *table, const void *where = nullptr)
    {
        return ordered(t.select(columns(names), t.list({t.ref(table)}), where), {*names.begin()});
    }
    Value *date(const char *text) { return t.literal(KV_LITERAL_DATE, text); }
    Value *timestamp(const char *text) { return t.literal(KV_LITERAL_TIMESTAMP, text); }

    // dept(id, name) and emp(id, name, dept, salary, born, seen, score, "c"" = NULL --"),
    // made and filled by printed statements.
    void make_schema()
    {
        auto *unique = t.constraint(KV_COLUMN_UNIQUE);
        run(create_table("dept", t.list({t.column_def("id", t.type(SQL_INTEGER),
                                                      t.list({t.constraint(KV_COLUMN_NOT_NULL),
                                                              t.constraint(KV_COLUMN_PRIMARY_KEY)})),
                                         t.column_def("name", t.type(SQL_VARCHAR, 20), t.list({unique}))})));
        run(create_table(
            "emp",
            t.list({t.column_def("id", t.type(SQL_INTEGER),
                                 t.list({t.constraint(KV_COLUMN_NOT_NULL), t.constraint(KV_COLUMN_PRIMARY_KEY)})),
                    t.column_def("name", t.type(SQL_VARCHAR, 30), t.list({t.constraint(KV_COLUMN_NOT_NULL)})),
                    t.column_def("dept", t.type(SQL_INTEGER)),
                    t.column_def("salary", t.type(SQL_DECIMAL, 0, 0, t.precision(10, 2)),
                                 t.list({t.constraint(KV_COLUMN_DEFAULT, t.integer(0)),
                                         t.constraint(KV_COLUMN_CHECK,
                                                      t.cmp(KV_OP_GREATER_EQUAL, t.col("salary"), t.integer(0)))})),
                    t.column_def("born", t.type(SQL_TYPE_DATE)), t.column_def("seen", t.type(SQL_TYPE_TIMESTAMP)),
                    t.column_def("score", t.type(SQL_DOUBLE)),
                    t.column_def("c\" = NULL --", t.type(SQL_INTEGER), nullptr, true),
                    foreign_key("dept", "dept", "id", KV_RULE_CASCADE)})));
        struct {
            int id;
            const char *name;
        } depts[] = {{1, "'Sales'"}, {2, "'R&D'"}, {3, "'O''Brien Ltd'"}};
        for (const auto &d : depts)
            run(insert("dept", nullptr, t.list({t.integer(d.id), t.str(d.name)})));
        NodeList *emp_columns = ids({"id", "name", "dept", "salary", "born", "seen", "score"});
        t.add(emp_columns, t.id("c\" = NULL --", true));
        run(insert("emp", emp_columns,
                   t.list({t.integer(1), t.str("'Ann'"), t.integer(1), MakeNumeric("1000", "5", mem),
                           date("{d '1990-05-01'}"), timestamp("{ts '2024-01-31 08:30:05.25'}"), t.real(1.5e-10),
                           t.integer(1)})));
        run(insert("emp", emp_columns,
                   t.list({t.integer(2), t.str("'Bob''s'"), t.integer(1), t.integer(2000), date("{d '1985-12-24'}"),
                           timestamp("{ts '2024-02-01 00:00:00'}"), t.real(3.0), t.integer(2)})));
        run(insert("emp", emp_columns,
                   t.list({t.integer(3), t.str("'Cy'"), t.integer(2), t.integer(3000), MakeNull(mem), MakeNull(mem),
                           t.real(-0.25), t.integer(3)})));
        auto *default_row = make<NodeInsertSource>(NODE_INSERT_SOURCE);
        default_row->columns = ids({"id", "name"});
        default_row->values = t.list({t.integer(4), t.str("'Di%'")});
        auto *insert_default = make<NodeInsert>(NODE_INSERT);
        insert_default->table = N(t.table("emp"));
        insert_default->source = N(default_row);
        run(insert_default);
    }

    TreeBuilder t{nullptr};
    std::unique_ptr<FirebirdDatabase> db;
};

TEST_F(ServerReads, DataDefinition)
{
    make_schema();
    EXPECT_EQ(look("SELECT id, name, dept, salary, born, score FROM emp ORDER BY id"),
              (Rows{{"1", "Ann", "1", "1000.50", "1990-05-01", "1.500000000000000e-10"},
                    {"2", "Bob's", "1", "2000.00", "1985-12-24", "3.000000000000000"},
                    {"3", "Cy", "2", "3000.00", "NULL", "-0.2500000000000000"},
                    {"4", "Di%", "NULL", "0.00", "NULL", "NULL"}}));
    EXPECT_EQ(look("SELECT CAST(seen AS VARCHAR(30)) FROM emp WHERE id = 1"), (Rows{{"2024-01-31 08:30:05.2500"}}));
    EXPECT_EQ(look("SELECT name FROM dept ORDER BY id"), (Rows{{"Sales"}, {"R&D"}, {"O'Brien Ltd"}}));

    // Every data type the server has.
    std::vector<const void *> kinds = {
        t.column_def("a", t.type(SQL_CHAR, 5)), t.column_def("b", t.type(SQL_CHAR)),
        t.column_def("c", t.type(SQL_VARCHAR, 10)), t.column_def("d", t.type(SQL_NUMERIC, 0, 0, t.precision(5))),
        t.column_def("e", t.type(SQL_DECIMAL, 0, 0, t.precision(18, 4))), t.column_def("f", t.type(SQL_SMALLINT)),
        t.column_def("g", t.type(SQL_INTEGER)), t.column_def("h", t.type(SQL_BIGINT)),
        t.column_def("i", t.type(SQL_REAL)), t.column_def("j", t.type(SQL_FLOAT)),
        t.column_def("k", t.type(SQL_FLOAT, 30)), t.column_def("l", t.type(SQL_DOUBLE)),
        t.column_def("m", t.type(SQL_DATE)), t.column_def("n", t.type(SQL_TYPE_TIME)),
        t.column_def("o", t.type(SQL_TIMESTAMP))};
    NodeList *elements = t.list();
    for (const void *kind : kinds)
        t.add(elements, kind);
    run(create_table("kinds", elements));

    auto *index = make<NodeCreateIndex>(NODE_CREATE_INDEX);
    index->unique = 1;
    index->index = N(t.id("emp_name"));
    index->table = N(t.table("emp"));
    index->columns = ids({"name", "dept"});
    run(index);
    auto *view = make<NodeCreateView>(NODE_CREATE_VIEW);
    view->view = N(t.table("rich"));
    view->columns = ids({"id", "pay"});
    view->query = N(t.select(columns({"id", "salary"}), t.list({t.ref("emp")}),
                             t.cmp(KV_OP_GREATER, t.col("salary"), t.integer(1500))));
    view->check_option = 1;
    run(view);
    EXPECT_EQ(look("SELECT id FROM rich ORDER BY id"), (Rows{{"2"}, {"3"}}));
    EXPECT_EQ(db->run("UPDATE rich SET pay = 2500 WHERE id = 2").error, "");
    EXPECT_NE(db->run("UPDATE rich SET pay = 10 WHERE id = 2").error, "") << "the view checks its condition";

    auto *add = make<NodeAlterTableAdd>(NODE_ALTER_TABLE_ADD);
    add->table = N(t.table("dept"));
    add->columns = t.list({t.column_def("city", t.type(SQL_VARCHAR, 20)),
                           t.column_def("opened", t.type(SQL_TYPE_DATE), t.list({t.constraint(KV_COLUMN_DEFAULT,
                                                                                     date("{d '2000-01-01'}"))}))});
    run(add);
    EXPECT_EQ(look("SELECT COUNT(*) FROM dept WHERE city IS NULL"), (Rows{{"3"}}));
    auto *drop_column = make<NodeAlterTableDrop>(NODE_ALTER_TABLE_DROP);
    drop_column->table = N(t.table("dept"));
    drop_column->column = N(t.id("city"));
    run(drop_column);

    auto privilege = [&](intptr_t action, NodeList *cols = nullptr) {
        auto *n = make<NodePrivilege>(NODE_PRIVILEGE);
        n->action = action;
        n->columns = cols;
        return n;
    };
    auto *grant = make<NodeGrant>(NODE_GRANT);
    grant->privileges = t.list({privilege(KV_PRIVILEGE_SELECT), privilege(KV_PRIVILEGE_UPDATE, ids({"name"})),
                                privilege(KV_PRIVILEGE_REFERENCES, ids({"id"}))});
    grant->table = N(t.table("dept"));
    grant->grantees = ids({"clerk"});
    grant->grant_option = 1;
    run(grant);
    auto *grant_all = make<NodeGrant>(NODE_GRANT);
    grant_all->table = N(t.table("dept"));
    run(grant_all);
    auto *revoke = make<NodeRevoke>(NODE_REVOKE);
    revoke->table = N(t.table("dept"));
    revoke->privileges = t.list({privilege(KV_PRIVILEGE_SELECT)});
    revoke->grantees = ids({"clerk"});
    run(revoke);
    auto *revoke_all = make<NodeRevoke>(NODE_REVOKE);
    revoke_all->table = N(t.table("dept"));
    run(revoke_all);

    auto *drop_view = make<NodeDropView>(NODE_DROP_VIEW);
    drop_view->view = N(t.table("rich"));
    run(drop_view);
    auto *drop_index = make<NodeDropIndex>(NODE_DROP_INDEX);
    drop_index->index = N(t.id("emp_name"));
    run(drop_index);
    auto *drop_table = make<NodeDropTable>(NODE_DROP_TABLE);
    drop_table->table = N(t.table("kinds"));
    run(drop_table);
    EXPECT_NE(db->run("SELECT * FROM kinds").error, "");
}

TEST_F(ServerReads, ChangesTouchTheRowsTheTreeMeans)
{
    make_schema();
    // A quoted column whose name holds a quote, "= NULL" and a comment mark:
    // only the row of id 2 changes.
    auto set = [&](const void *column, const void *value) {
        auto *n = make<NodeSetClause>(NODE_SET_CLAUSE);
        n->column = N(column);
        n->value = N(value);
        return n;
    };
    auto *update = make<NodeUpdateSearched>(NODE_UPDATE_SEARCHED);
    update->table = N(t.table("emp"));
    update->set_list = t.list({set(t.id("c\" = NULL --", true), t.integer(20))});
    update->where = N(t.cmp(KV_OP_EQUAL, t.col("id"), t.integer(2)));
    run(update);
    EXPECT_EQ(look("SELECT id, \"c\"\" = NULL --\" FROM emp ORDER BY id"),
              (Rows{{"1", "1"}, {"2", "20"}, {"3", "3"}, {"4", "NULL"}}));

    // SET NULL, a value and a subquery; the WHERE names a string with an apostrophe.
    auto *to_null = make<NodeSetClause>(NODE_SET_CLAUSE);
    to_null->column = N(t.id("born"));
    to_null->set_null = 1;
    auto *from_query = make<NodeSetClause>(NODE_SET_CLAUSE);
    from_query->column = N(t.id("dept"));
    from_query->subquery =
        N(t.select(t.list({t.item(t.col("id"))}), t.list({t.ref("dept")}),
                   t.cmp(KV_OP_EQUAL, t.col("name"), t.str("'O''Brien Ltd'"))));
    auto *update_many = make<NodeUpdateSearched>(NODE_UPDATE_SEARCHED);
    update_many->table = N(t.table("emp"));
    update_many->set_list = t.list({to_null, from_query, set(t.id("score"), t.real(0.5))});
    update_many->where = N(t.cmp(KV_OP_EQUAL, t.col("name"), t.str("'Bob''s'")));
    run(update_many);
    EXPECT_EQ(look("SELECT id, dept, born, score FROM emp WHERE born IS NULL ORDER BY id"),
              (Rows{{"2", "3", "NULL", "0.5000000000000000"}, {"3", "2", "NULL", "-0.2500000000000000"},
                    {"4", "NULL", "NULL", "NULL"}}));

    // INSERT from a query.
    auto *copy = make<NodeInsertSource>(NODE_INSERT_SOURCE);
    copy->columns = ids({"id", "name"});
    copy->query = N(t.select(t.list({t.item(t.cmp(KV_OP_ADD, t.col("id"), t.integer(10))), t.item(t.col("name"))}),
                             t.list({t.ref("dept")})));
    auto *insert_copy = make<NodeInsert>(NODE_INSERT);
    insert_copy->table = N(t.table("emp"));
    insert_copy->source = N(copy);
    run(insert_copy);
    EXPECT_EQ(look("SELECT id, name FROM emp WHERE id > 10 ORDER BY id"),
              (Rows{{"11", "Sales"}, {"12", "R&D"}, {"13", "O'Brien Ltd"}}));

    // DELETE with its WHERE: only the rows it names go (here those below 12
    // and above 2, with the cascade from dept untouched).
    auto *remove = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    remove->table = N(t.table("emp"));
    remove->where = N(t.both(t.cmp(KV_OP_GREATER, t.col("id"), t.integer(2)),
                             t.cmp(KV_OP_LESS, t.col("id"), t.integer(12))));
    run(remove);
    EXPECT_EQ(look("SELECT id FROM emp ORDER BY id"), (Rows{{"1"}, {"2"}, {"12"}, {"13"}}));
    // ON DELETE CASCADE from the printed foreign key.
    auto *remove_dept = make<NodeDeleteSearched>(NODE_DELETE_SEARCHED);
    remove_dept->table = N(t.table("dept"));
    remove_dept->where = N(t.cmp(KV_OP_EQUAL, t.col("id"), t.integer(1)));
    run(remove_dept);
    EXPECT_EQ(look("SELECT id FROM emp ORDER BY id"), (Rows{{"2"}, {"12"}, {"13"}}));
}

TEST_F(ServerReads, QueriesReturnTheRowsTheTreeMeans)
{
    make_schema();
    auto eq = [&](const void *a, const void *b) { return t.cmp(KV_OP_EQUAL, a, b); };
    auto join = [&](intptr_t join_class, intptr_t type) {
        NodeQualifiedJoin *j = t.join(t.ref("emp", "e"), join_class, type, t.ref("dept", "d"),
                                      eq(t.col("dept", "e"), t.col("id", "d")));
        auto *ref = make<NodeTableRef>(NODE_TABLE_REF);
        ref->joined = N(j);
        return ordered(t.select(t.list({t.item(t.col("name", "e")), t.item(t.col("name", "d"), "dname")}),
                                t.list({ref})),
                       {"dname"});
    };
    auto *by_name = t.join(t.ref("emp"), KV_JOIN_CLASS_INNER, 0, t.ref("dept"), nullptr);
    by_name->natural = 1;
    auto *using_name = t.join(t.ref("emp"), KV_JOIN_CLASS_INNER, 0, t.ref("dept"), nullptr);
    using_name->using_columns = ids({"id"});

    EXPECT_EQ(run(join(KV_JOIN_CLASS_INNER, 0)), (Rows{{"Cy", "R&D"}, {"Ann", "Sales"}, {"Bob's", "Sales"}}));
    EXPECT_EQ(run(join(KV_JOIN_CLASS_OUTER, KV_JOIN_LEFT)),
              (Rows{{"Di%", "NULL"}, {"Cy", "R&D"}, {"Ann", "Sales"}, {"Bob's", "Sales"}}));
    EXPECT_EQ(run(join(KV_JOIN_CLASS_OUTER, 0)), run(join(KV_JOIN_CLASS_OUTER, KV_JOIN_LEFT)));
    EXPECT_EQ(run(join(KV_JOIN_CLASS_OUTER, KV_JOIN_RIGHT)),
              (Rows{{"NULL", "O'Brien Ltd"}, {"Cy", "R&D"}, {"Ann", "Sales"}, {"Bob's", "Sales"}}));
    EXPECT_EQ(run(join(KV_JOIN_CLASS_OUTER, KV_JOIN_FULL)).size(), 5u);
    EXPECT_EQ(run(ordered(t.select(columns({"id"}), t.list({by_name})), {"id"})), Rows{}) << "id and name both match";
    EXPECT_EQ(run(ordered(t.select(columns({"id"}), t.list({using_name})), {"id"})), (Rows{{"1"}, {"2"}, {"3"}}));

    // Subqueries: EXISTS, IN, quantified comparisons (negated too), a query
    // on either side of a comparison, a derived table.
    auto *in_sales = make<NodeInPredicate>(NODE_IN_PREDICATE);
    in_sales->operand = N(t.col("dept"));
    in_sales->query = N(t.select(columns({"id"}), t.list({t.ref("dept")}), eq(t.col("name"), t.str("'Sales'"))));
    auto *in_list = make<NodeInPredicate>(NODE_IN_PREDICATE);
    in_list->operand = N(t.col("id"));
    in_list->negated = 1;
    in_list->values = t.list({t.integer(1), t.integer(4)});
    auto quantified = [&](intptr_t op, intptr_t quantifier, bool negated) {
        auto *n = make<NodeQuantifiedComparison>(NODE_QUANTIFIED_COMPARISON);
        n->operand = N(t.col("salary"));
        n->operator_code = op;
        n->quantifier = quantifier;
        n->negated = negated;
        n->query = N(t.select(columns({"salary"}), t.list({t.ref("emp")}), eq(t.col("dept"), t.integer(1))));
        return n;
    };
    auto *exists = make<NodeExists>(NODE_EXISTS);
    exists->negated = 1;
    exists->query = N(t.select(nullptr, t.list({t.ref("dept", "d")}), eq(t.col("id", "d"), t.col("dept", "e"))));
    auto *top_salary = t.select(t.list({t.item([&] {
                                    auto *max = make<NodeSetFunction>(NODE_SET_FUNCTION);
                                    max->function = KV_SETFN_MAX;
                                    max->all_arg = N(t.col("salary"));
                                    return max;
                                }())}),
                                t.list({t.ref("emp")}));
    auto *derived = make<NodeTableRef>(NODE_TABLE_REF);
    derived->derived = N(t.select(columns({"id"}), t.list({t.ref("emp")}), in_list));
    derived->correlation = N(t.id("x"));

    EXPECT_EQ(run(select({"id"}, "emp", in_sales)), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(run(select({"id"}, "emp", in_list)), (Rows{{"2"}, {"3"}}));
    EXPECT_EQ(run(select({"id"}, "emp", quantified(KV_OP_GREATER, KV_COMPARE_ALL, false))), (Rows{{"3"}}));
    EXPECT_EQ(run(select({"id"}, "emp", quantified(KV_OP_EQUAL, KV_COMPARE_ANY, false))), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(run(select({"id"}, "emp", quantified(KV_OP_EQUAL, KV_COMPARE_SOME, true))), (Rows{{"3"}, {"4"}}));
    EXPECT_EQ(run(ordered(t.select(columns({"id"}), t.list({t.ref("emp", "e")}), exists), {"id"})), (Rows{{"4"}}));
    EXPECT_EQ(run(select({"id"}, "emp", eq(t.col("salary"), top_salary))), (Rows{{"3"}}));
    EXPECT_EQ(run(select({"id"}, "emp", eq(top_salary, t.col("salary")))), (Rows{{"3"}}));
    EXPECT_EQ(run(ordered(t.select(columns({"id"}), t.list({derived})), {"id"})), (Rows{{"2"}, {"3"}}));

    // Set operations (left-deep), grouping, set functions.
    auto set_operation = [&](const void *left, const void *right, bool all) {
        auto *n = make<NodeUnion>(NODE_UNION);
        n->left = N(left);
        n->right = N(right);
        n->all = all;
        return n;
    };
    auto *names = t.select(columns({"name"}), t.list({t.ref("dept")}));
    EXPECT_EQ(sorted(run(set_operation(set_operation(names, names, true),
                                       t.select(columns({"name"}), t.list({t.ref("emp")}), eq(t.col("id"), t.integer(1))),
                                       false))),
              (Rows{{"Ann"}, {"O'Brien Ltd"}, {"R&D"}, {"Sales"}}));
    EXPECT_EQ(run(set_operation(names, names, true)).size(), 6u);
    auto set_function = [&](intptr_t function, bool distinct, const void *argument) {
        auto *n = make<NodeSetFunction>(NODE_SET_FUNCTION);
        n->function = function;
        n->distinct = distinct;
        (distinct ? n->distinct_arg : n->all_arg) = N(argument);
        return n;
    };
    auto *grouped = make<NodeGroupedQuery>(NODE_GROUPED_QUERY);
    grouped->query = N(t.select(t.list({t.item(t.col("dept")), t.item(set_function(KV_SETFN_COUNT, false, t.col("born"))),
                                        t.item(set_function(KV_SETFN_COUNT, true, t.col("dept"))),
                                        t.item(set_function(KV_SETFN_COUNT_STAR, false, nullptr)),
                                        t.item(set_function(KV_SETFN_SUM, false, t.col("salary"))),
                                        t.item(set_function(KV_SETFN_MIN, false, t.col("id")))}),
                                t.list({t.ref("emp")})));
    grouped->group_by = t.list({t.col("dept")});
    grouped->having = N(t.cmp(KV_OP_GREATER, set_function(KV_SETFN_COUNT_STAR, false, nullptr), t.integer(0)));
    EXPECT_EQ(run(ordered(grouped, {"dept"})), (Rows{{"NULL", "0", "0", "1", "0.00", "4"},
                                                     {"1", "2", "1", "2", "3000.50", "1"},
                                                     {"2", "0", "1", "1", "3000.00", "3"}}));

    // Expressions, predicates and functions in one select list.
    auto *simple_case = make<NodeCase>(NODE_CASE);
    simple_case->operand = N(t.col("dept"));
    simple_case->whens = t.list({t.when(t.integer(1), t.str("'one'")), t.when(t.integer(2), t.str("'two'"))});
    simple_case->else_result = N(t.str("'none'"));
    auto *searched_case = make<NodeCase>(NODE_CASE);
    searched_case->whens = t.list({t.when(t.cmp(KV_OP_LESS, t.col("score"), t.integer(0)), t.str("'negative'"))});
    auto *cast = make<NodeCast>(NODE_CAST);
    cast->operand = N(t.col("salary"));
    cast->target = N(t.type(SQL_INTEGER));
    auto fn = [&](intptr_t id, const void *op1, const void *op2 = nullptr, const void *op3 = nullptr) {
        auto *n = make<NodeScalarFunction>(NODE_SCALAR_FUNCTION);
        n->function = id;
        n->operand1 = N(op1);
        n->operand2 = N(op2);
        n->operand3 = N(op3);
        return n;
    };
    auto *trim = make<NodeTrimSpec>(NODE_TRIM_SPEC);
    trim->side = KV_TRIM_TRAILING;
    trim->character = N(t.str("'s'"));
    trim->source = N(t.col("name"));
    auto *extract = fn(KV_FN_EXTRACT, nullptr);
    extract->arguments = t.list({t.integer(KV_EXTRACT_YEAR), t.col("born")});
    auto *position = fn(KV_FN_POSITION, nullptr);
    position->arguments = t.list({t.str("'b'"), t.col("name")});
    auto *nullif = make<NodeNullif>(NODE_NULLIF);
    nullif->first = N(t.col("dept"));
    nullif->second = N(t.integer(1));
    auto *coalesce = make<NodeCoalesce>(NODE_COALESCE);
    coalesce->arguments = t.list({t.col("born"), date("{d '1970-01-01'}")});
    NodeList *items = t.list();
    for (const void *e : std::initializer_list<const void *>{
             t.col("id"), simple_case, searched_case, cast,
             fn(KV_FN_SUBSTRING, t.col("name"), t.integer(2), t.integer(2)), fn(KV_FN_POSITION_IN, t.str("'o'"), t.col("name")),
             fn(KV_FN_TRIM, trim), fn(KV_FN_CHARACTER_LENGTH, t.col("name")), fn(KV_FN_OCTET_LENGTH, t.col("name")),
             fn(KV_FN_BIT_LENGTH, t.col("name")), fn(KV_FN_LOWER, t.col("name")), fn(KV_FN_UPPER, t.col("name")),
             extract, position, nullif, coalesce, t.cmp(KV_OP_CONCAT, t.col("name"), t.str("'!'")),
             t.cmp(KV_OP_NEGATE, nullptr, t.col("id"))})
        t.add(items, t.item(e));
    EXPECT_EQ(run(ordered(t.select(items, t.list({t.ref("emp")})), {"id"})),
              (Rows{{"1", "one", "NULL", "1001", "nn", "0", "Ann", "3", "3", "24", "ann", "ANN", "1990", "0", "NULL",
                     "1990-05-01", "Ann!", "-1"},
                    {"2", "one", "NULL", "2000", "ob", "2", "Bob'", "5", "5", "40", "bob's", "BOB'S", "1985", "3",
                     "NULL", "1985-12-24", "Bob's!", "-2"},
                    {"3", "two", "negative", "3000", "y", "0", "Cy", "2", "2", "16", "cy", "CY", "NULL", "0", "2",
                     "1970-01-01", "Cy!", "-3"},
                    {"4", "none", "NULL", "0", "i%", "0", "Di%", "3", "3", "24", "di%", "DI%", "NULL", "0", "NULL",
                     "1970-01-01", "Di%!", "-4"}}));

    // LIKE with ESCAPE, NOT LIKE, IS NULL; doubles keep their kind and size.
    auto like = [&](const char *pattern, const void *escape, bool negated) {
        auto *n = make<NodeLike>(NODE_LIKE);
        n->operand = N(t.col("name"));
        n->pattern = N(t.str(pattern));
        n->escape = N(escape);
        n->negated = negated;
        return n;
    };
    auto *null_test = make<NodeNullTest>(NODE_NULL_TEST);
    null_test->operand = N(t.col("born"));
    null_test->negated = 1;
    EXPECT_EQ(run(select({"id"}, "emp", like("'%!%'", t.str("'!'"), false))), (Rows{{"4"}}));
    EXPECT_EQ(run(select({"id"}, "emp", like("'%!%'", t.str("'!'"), true))), (Rows{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(run(select({"id"}, "emp", null_test)), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(run(select({"id"}, "emp", t.cmp(KV_OP_LESS, t.col("score"), t.real(1e-9)))), (Rows{{"1"}, {"3"}}));
    EXPECT_EQ(run(select({"id"}, "emp", eq(t.cmp(KV_OP_DIVIDE, t.real(3.0), t.integer(2)), t.real(1.5)))).size(), 4u);
    EXPECT_EQ(run(select({"id"}, "emp", t.cmp(KV_OP_GREATER, t.real(1.5e-10), t.integer(0)))).size(), 4u);

    // Marked comparisons: the server sees a true condition in their place.
    EXPECT_EQ(run(select({"id"}, "emp", t.both(t.marked(KV_OP_EQUAL, t.col("id"), t.integer(99)),
                                               t.cmp(KV_OP_LESS, t.col("id"), t.integer(3))))),
              (Rows{{"1"}, {"2"}}));

    // Literals of the other kinds.
    NodeList *literals = t.list();
    for (const void *e : std::initializer_list<const void *>{
             timestamp("{ts '2024-01-31 08:30:05.1234'}"), t.literal(KV_LITERAL_TIME, "{t '23:59:58'}"),
             MakeInteger("123456789012", mem), MakeNumeric("1234567", "125", mem), t.literal(KV_LITERAL_HEX, "X'414243'"),
             MakeNull(mem), t.literal(KV_LITERAL_USER, nullptr)})
        t.add(literals, t.item(e));
    EXPECT_EQ(run(t.select(literals, t.list({t.ref("dept")}), eq(t.col("id"), t.integer(1)))),
              (Rows{{"31-JAN-2024 8:30:05.1234", "23:59:58.0000", "123456789012", "1234567.125", "ABC", "NULL",
                     "SYSDBA"}}));
    NodeList *now = t.list();
    for (const void *e : std::initializer_list<const void *>{
             t.literal(KV_LITERAL_CURRENT_DATE, nullptr), t.literal(KV_LITERAL_CURRENT_TIME, nullptr),
             MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIMESTAMP, nullptr, 3, mem)})
        t.add(now, t.item(e));
    EXPECT_EQ(run(t.select(now, t.list({t.ref("dept")}))).size(), 3u);
}

TEST_F(ServerReads, CursorsParametersAndTransactions)
{
    make_schema();
    auto *for_update = make<NodeForUpdate>(NODE_FOR_UPDATE);
    for_update->query = N(t.select(columns({"id", "name"}), t.list({t.ref("emp")}),
                                   t.cmp(KV_OP_EQUAL, t.col("id"), t.param(1))));
    prepare(for_update);
    for_update->columns = ids({"name"});
    prepare(for_update);
    auto *marker = make<NodeUpdateSearched>(NODE_UPDATE_SEARCHED);
    marker->table = N(t.table("emp"));
    auto *set = make<NodeSetClause>(NODE_SET_CLAUSE);
    set->column = N(t.id("name"));
    set->value = N(t.param(1));
    marker->set_list = t.list({set});
    marker->where = N(t.cmp(KV_OP_EQUAL, t.col("id"), t.param(2)));
    prepare(marker);
    prepare(make<NodeCommit>(NODE_COMMIT));
    prepare(make<NodeRollback>(NODE_ROLLBACK));

    // Positioned changes act on the row the cursor stands on, and on no other.
    auto *cursor_query = make<NodeForUpdate>(NODE_FOR_UPDATE);
    cursor_query->query = N(t.select(columns({"id", "name"}), t.list({t.ref("emp")}),
                                     t.cmp(KV_OP_EQUAL, t.col("id"), t.integer(2))));
    auto *rename = make<NodeUpdatePositioned>(NODE_UPDATE_POSITIONED);
    rename->table = N(t.table("emp"));
    auto *to = make<NodeSetClause>(NODE_SET_CLAUSE);
    to->column = N(t.id("name"));
    to->value = N(t.str("'Rob'"));
    rename->set_list = t.list({to});
    rename->cursor = N(t.id("c1"));
    EXPECT_EQ(db->run_positioned(sql_of(cursor_query), "c1", sql_of(rename)), "") << sql_of(rename);
    EXPECT_EQ(look("SELECT id, name FROM emp ORDER BY id"),
              (Rows{{"1", "Ann"}, {"2", "Rob"}, {"3", "Cy"}, {"4", "Di%"}}));
    auto *remove = make<NodeDeletePositioned>(NODE_DELETE_POSITIONED);
    remove->table = N(t.table("emp"));
    remove->cursor = N(t.id("c2"));
    cursor_query->columns = ids({"name"});
    EXPECT_EQ(db->run_positioned(sql_of(cursor_query), "c2", sql_of(remove)), "") << sql_of(remove);
    EXPECT_EQ(look("SELECT id, name FROM emp ORDER BY id"), (Rows{{"1", "Ann"}, {"3", "Cy"}, {"4", "Di%"}}));
}

// What the server cannot read is rejected, never run with another meaning.
TEST_F(ServerReads, TextWithoutASqlMeaningIsRejected)
{
    make_schema();
    auto rejected = [&](const void *tree) {
        std::string text = sql_of(tree);
        EXPECT_NE(db->run(text).error, "") << text;
    };
    auto *all = t.select(t.list({t.item(t.real(std::numeric_limits<double>::quiet_NaN()))}), t.list({t.ref("dept")}));
    rejected(all);
    rejected(t.select(t.list({t.item(t.real(std::numeric_limits<double>::infinity()))}), t.list({t.ref("dept")})));
    auto *unknown = make<NodeScalarFunction>(NODE_SCALAR_FUNCTION);
    unknown->function = 500;
    rejected(t.select(t.list({t.item(unknown)}), t.list({t.ref("dept")})));
    rejected(t.select(nullptr, t.list({t.ref("dept")}), t.cmp(13, t.col("id"), t.integer(1))));
    // Firebird 3 has no parenthesised query terms: the grouping that keeps
    // a UNION ALL (b UNION c) apart is refused rather than dropped.
    auto set_operation = [&](const void *left, const void *right, bool all_rows) {
        auto *n = make<NodeUnion>(NODE_UNION);
        n->left = N(left);
        n->right = N(right);
        n->all = all_rows;
        return n;
    };
    auto *names = t.select(columns({"name"}), t.list({t.ref("dept")}));
    rejected(set_operation(names, set_operation(names, names, false), true));
}

} // namespace
