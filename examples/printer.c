/*
** The SQL printer as a driver uses it: the parser has built the tree of
**
**   SELECT e.name, d."Dept ""A""" AS dept,
**          CASE WHEN e.salary > 1500 THEN 'high' ELSE 'it''s low' END AS band
**   FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.id
**   WHERE e.name LIKE 'O!%%' ESCAPE '!' AND e.hired >= {d '2020-01-01'}
**     AND {fn UCASE(e.city)} = 'OSLO'
**   ORDER BY 1
**
** on the statement's handle, and the driver prints it back to hand the text
** to the server. The last condition is one the driver evaluates itself: it
** marks it, and the server sees a true condition in its place.
**
** Written in C against <kvsupp.h> alone, as a driver is.
*/
#include <kvsupp.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The driver's output function: appends each piece to a growing buffer. */
typedef struct Text {
    char *data;
    size_t length, capacity;
} Text;

static int append(const char *piece, void *context)
{
    Text *text = context;
    size_t n = strlen(piece);
    if (text->length + n + 1 > text->capacity) {
        size_t capacity = 2 * (text->length + n + 1);
        char *grown = realloc(text->data, capacity);
        if (!grown)
            return -1; /* stops the printer; it returns -1 */
        text->data = grown;
        text->capacity = capacity;
    }
    memcpy(text->data + text->length, piece, n + 1);
    text->length += n;
    return 0;
}

/* The parser's helpers: every node on the statement's handle. */
static MemHandle *mem;

static void *node(size_t size, NodeKind kind)
{
    void *n = newNode((uint32_t)size, kind, mem);
    if (!n) {
        fprintf(stderr, "out of memory\n");
        exit(1);
    }
    return n;
}

static Node *identifier(const char *text, int quoted)
{
    NodeIdentifier *n = node(sizeof *n, NODE_IDENTIFIER);
    n->text = string_duplicate(text, mem);
    n->quoted = quoted;
    return (Node *)n;
}

static Node *column(const char *table, const char *name, int quoted)
{
    NodeColumnName *n = node(sizeof *n, NODE_COLUMN_NAME);
    n->table = identifier(table, 0);
    n->column = identifier(name, quoted);
    return (Node *)n;
}

static Node *expression(intptr_t class_code, intptr_t op, void *left, void *right)
{
    NodeExpression *n = node(sizeof *n, NODE_EXPRESSION);
    n->expression_class = class_code;
    n->operator_code = op;
    n->left = left;
    n->right = right;
    return (Node *)n;
}

static NodeList *list2(void *a, void *b)
{
    NodeList *n = node(sizeof *n, NODE_LIST);
    n->items = ListAppend(a, n->items, mem);
    if (b)
        n->items = ListAppend(b, n->items, mem);
    return n;
}

static Node *select_item(Node *expr, const char *alias)
{
    NodeSelectItem *n = node(sizeof *n, NODE_SELECT_ITEM);
    n->expression = expr;
    n->alias = alias ? identifier(alias, 0) : NULL;
    return (Node *)n;
}

static Node *table_ref(const char *table, const char *correlation)
{
    NodeTableName *name = node(sizeof *name, NODE_TABLE_NAME);
    name->table = identifier(table, 0);
    NodeTableRef *n = node(sizeof *n, NODE_TABLE_REF);
    n->table = (Node *)name;
    n->correlation = identifier(correlation, 0);
    return (Node *)n;
}

static Node *build_statement(void)
{
    /* CASE WHEN e.salary > 1500 THEN 'high' ELSE 'it''s low' END */
    NodeWhenClause *when = node(sizeof *when, NODE_WHEN_CLAUSE);
    when->condition = expression(KV_EXPR_OPERATOR, KV_OP_GREATER, column("e", "salary", 0), MakeInteger("1500", mem));
    when->result = (Node *)MakeLiteral(KV_LITERAL_STRING, "'high'", mem);
    NodeCase *band = node(sizeof *band, NODE_CASE);
    band->whens = list2(when, NULL);
    band->else_result = (Node *)MakeLiteral(KV_LITERAL_STRING, "'it''s low'", mem);

    NodeList *items = list2(select_item(column("e", "name", 0), NULL),
                            select_item(column("d", "Dept \"A\"", 1), "dept"));
    items->items = ListAppend(select_item((Node *)band, "band"), items->items, mem);

    /* emp e LEFT OUTER JOIN dept d ON e.dept = d.id */
    NodeQualifiedJoin *join = node(sizeof *join, NODE_QUALIFIED_JOIN);
    join->left = table_ref("emp", "e");
    join->join_class = KV_JOIN_CLASS_OUTER;
    join->join_type = KV_JOIN_LEFT;
    join->right = table_ref("dept", "d");
    join->condition = expression(KV_EXPR_OPERATOR, KV_OP_EQUAL, column("e", "dept", 0), column("d", "id", 0));
    NodeTableRef *from = node(sizeof *from, NODE_TABLE_REF);
    from->joined = (Node *)join;

    /* e.name LIKE 'O!%%' ESCAPE '!' */
    NodeLike *like = node(sizeof *like, NODE_LIKE);
    like->operand = column("e", "name", 0);
    like->pattern = (Node *)MakeLiteral(KV_LITERAL_STRING, "'O!%%'", mem);
    like->escape = (Node *)MakeLiteral(KV_LITERAL_STRING, "'!'", mem);
    Node *hired = expression(KV_EXPR_OPERATOR, KV_OP_GREATER_EQUAL, column("e", "hired", 0),
                             MakeLiteral(KV_LITERAL_DATE, "{d '2020-01-01'}", mem));
    /* {fn UCASE(e.city)} = 'OSLO', which the driver evaluates itself */
    NodeScalarFunction *ucase = node(sizeof *ucase, NODE_SCALAR_FUNCTION);
    ucase->function = sql92_get_function_id("ucase", 0);
    ucase->arguments = list2(column("e", "city", 0), NULL);
    NodeExpression *city = (NodeExpression *)expression(KV_EXPR_OPERATOR, KV_OP_EQUAL, ucase,
                                                        MakeLiteral(KV_LITERAL_STRING, "'OSLO'", mem));
    city->print_as_true = 1;

    NodeQuerySpec *query = node(sizeof *query, NODE_QUERY_SPEC);
    query->select_list = items;
    query->from = list2(from, NULL);
    query->where = expression(KV_EXPR_AND, 0, expression(KV_EXPR_AND, 0, like, hired), city);

    /* ORDER BY 1 */
    NodeSortSpec *first = node(sizeof *first, NODE_SORT_SPEC);
    first->key = (Node *)MakeInteger("1", mem);
    NodeCursorSpec *cursor = node(sizeof *cursor, NODE_CURSOR_SPEC);
    cursor->query = (Node *)query;
    cursor->order_by = list2(first, NULL);
    return (Node *)cursor;
}

int main(void)
{
    printf("=== libkvsupp: a parse tree printed back to SQL for the server\n");
    mem = kv_mem_alloc_handle(NULL);
    Node *statement = build_statement();
    NodeList *request = list2(statement, NULL);

    Text text = {NULL, 0, 0};
    int rc = sql92_print_parse_tree(request, append, &text);
    printf("\n[1] The request as the server gets it (result %d):\n    %s\n", rc, text.data);

    text.length = 0;
    rc = sql92_print_expression_ex(((NodeQuerySpec *)((NodeCursorSpec *)statement)->query)->where, append, &text,
                                   KV_PRINT_MARKED);
    printf("\n[2] Its condition with the driver's own comparison as written (mode %d, result %d):\n    %s\n",
           KV_PRINT_MARKED, rc, text.data);

    /* Deeply nested trees end with a clear result instead of a crash. */
    Node *deep = (Node *)MakeInteger("1", mem);
    for (int i = 0; i < KV_PRINT_MAX_DEPTH; i++)
        deep = expression(KV_EXPR_NOT, 0, NULL, deep);
    text.length = 0;
    rc = sql92_print_expression(deep, append, &text);
    printf("\n[3] A condition nested %d deep: result %d (KV_PRINT_TOO_DEEP is %d)\n", KV_PRINT_MAX_DEPTH, rc,
           KV_PRINT_TOO_DEEP);

    free(text.data);
    kv_mem_release_handle(mem);
    return 0;
}
