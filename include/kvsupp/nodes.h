/*
** The parse tree: the node kinds and codes shared with the driver's parser.
**
** A node is a zero-filled record made with newNode(sizeof(NodeX), NODE_X,
** mem) on the statement's handle. Its first word is its 32-bit kind; every
** field after it is one pointer-sized word holding a child node (NULL when
** absent), a zero-terminated text, a flag (0 false, anything else true) or a
** code from the tables below. Each kind has one fixed record, because the kind
** is also the node's allocation cache slot.
**
** A field marked "parser's own" is never read or written by the library; it
** keeps its place so that the later fields keep theirs.
**
** A list field points to a NODE_LIST whose `items` is a List of node
** pointers; a list node always holds a List (an empty one has no items).
** Values (kind 154, Value in values.h) may stand wherever an expression may.
** The kinds named in comments are what the parser puts there; the printer
** prints whatever node it finds. Kinds 131, 149 and 156 are not assigned.
*/
#ifndef KVSUPP_NODES_H
#define KVSUPP_NODES_H

#include <stdint.h>

#include "list.h"
#include "memsys.h"
#include "types.h"

/* ---- Node kinds ------------------------------------------------------- */

enum {
    /* statements */
    NODE_ALTER_TABLE_ADD = 100,
    NODE_ALTER_TABLE_DROP = 101,
    NODE_CREATE_INDEX = 102,
    NODE_CREATE_TABLE = 103,
    NODE_CREATE_VIEW = 104,
    NODE_DELETE_POSITIONED = 105,
    NODE_DELETE_SEARCHED = 106,
    NODE_DROP_INDEX = 107,
    NODE_DROP_TABLE = 108,
    NODE_DROP_VIEW = 109,
    NODE_GRANT = 110,
    NODE_INSERT = 111,
    NODE_REVOKE = 112,
    NODE_CURSOR_SPEC = 113,
    NODE_FOR_UPDATE = 114,
    NODE_QUERY_SPEC = 115,
    NODE_UPDATE_POSITIONED = 116,
    NODE_UPDATE_SEARCHED = 117,
    NODE_PROC_CALL = 118,
    NODE_TABLE_NAME = 119,
    NODE_COLUMN_DEF = 120,
    NODE_IDENTIFIER = 121,
    NODE_GROUPED_QUERY = 122,
    NODE_UNION = 123,
    NODE_INSERT_SOURCE = 124,
    NODE_TABLE_REF = 125,
    NODE_SET_CLAUSE = 126,
    NODE_ORDERED_COLUMN = 127,
    NODE_CHOICE = 128,
    NODE_PRIVILEGE = 129,
    NODE_SELECT_ITEM = 130,
    /* 131 not assigned */
    NODE_COLUMN_NAME = 132,
    NODE_SORT_SPEC = 133,
    NODE_DATA_TYPE = 134,
    NODE_COLUMN_CONSTRAINT = 135,
    NODE_TABLE_CONSTRAINT = 136,
    NODE_NULL_OR_DEFAULT = 137,
    NODE_QUALIFIED_JOIN = 138,
    NODE_PRECISION = 139,
    NODE_INTERVAL_QUALIFIER = 140,
    NODE_INTERVAL_FIELD = 141,
    NODE_CAST = 142,
    NODE_SCALAR_FUNCTION = 143,
    NODE_SET_FUNCTION = 144,
    NODE_TRIM_SPEC = 145,
    NODE_EXISTS = 146,
    NODE_LIKE = 147,
    NODE_NULL_TEST = 148,
    /* 149 not assigned */
    NODE_IN_PREDICATE = 150,
    NODE_QUANTIFIED_COMPARISON = 151,
    NODE_EXPRESSION = 152,
    NODE_LIST = 153,
    NODE_VALUE = 154,          /* a Value (values.h) */
    NODE_PARAMETER = 155,
    /* 156 not assigned */
    NODE_CASE = 157,
    NODE_NULLIF = 158,
    NODE_COALESCE = 159,
    NODE_WHEN_CLAUSE = 160,
    NODE_COMMIT = 161,
    NODE_ROLLBACK = 162
};

#define KV_FIRST_PARSE_NODE 100
#define KV_LAST_PARSE_NODE 162

/* ---- Statements ------------------------------------------------------- */

struct NodeAlterTableAdd {      /* 100 ALTER TABLE t ADD ... */
    int32_t kind;
    Node *table;                /* NODE_TABLE_NAME */
    NodeList *columns;          /* NODE_COLUMN_DEF items; must be present */
};

struct NodeAlterTableDrop {     /* 101 ALTER TABLE t DROP c */
    int32_t kind;
    Node *table;
    Node *column;               /* NODE_IDENTIFIER */
    intptr_t drop_behaviour;    /* KV_DROP_... */
};

struct NodeCreateIndex {        /* 102 */
    int32_t kind;
    intptr_t unique;            /* flag */
    Node *index;                /* name node */
    Node *table;                /* NODE_TABLE_NAME */
    NodeList *columns;          /* NODE_ORDERED_COLUMN items */
};

struct NodeCreateTable {        /* 103 */
    int32_t kind;
    Node *table;
    NodeList *elements;         /* NODE_COLUMN_DEF and NODE_TABLE_CONSTRAINT items */
    Node *as_clause;            /* printed after " AS "; optional */
    Node *on_clause;            /* printed after " ON "; optional; when present as_clause is ignored */
};

struct NodeCreateView {         /* 104 */
    int32_t kind;
    Node *view;                 /* NODE_TABLE_NAME */
    NodeList *columns;          /* optional */
    Node *query;
    intptr_t check_option;      /* flag */
};

struct NodeDeletePositioned {   /* 105 DELETE ... WHERE CURRENT OF */
    int32_t kind;
    Node *table;
    Node *cursor;               /* NODE_IDENTIFIER */
};

struct NodeDeleteSearched {     /* 106 */
    int32_t kind;
    Node *table;
    Node *where;                /* search condition; optional */
};

struct NodeDropIndex {          /* 107 */
    int32_t kind;
    Node *index;
};

struct NodeDropTable {          /* 108 */
    int32_t kind;
    Node *table;
    intptr_t drop_behaviour;    /* KV_DROP_... */
};

struct NodeDropView {           /* 109 */
    int32_t kind;
    Node *view;
    intptr_t drop_behaviour;    /* KV_DROP_... */
};

struct NodeGrant {              /* 110 */
    int32_t kind;
    NodeList *privileges;       /* NODE_PRIVILEGE items; NULL = ALL PRIVILEGES */
    Node *table;
    NodeList *grantees;         /* NODE_IDENTIFIER items; NULL = PUBLIC */
    intptr_t grant_option;      /* flag */
};

struct NodeInsert {             /* 111 */
    int32_t kind;
    Node *table;
    Node *source;               /* NODE_INSERT_SOURCE */
};

struct NodeRevoke {             /* 112 */
    int32_t kind;
    Node *table;
    NodeList *grantees;         /* NULL = PUBLIC */
    intptr_t drop_behaviour;    /* KV_DROP_... */
    NodeList *privileges;       /* NULL = ALL PRIVILEGES */
};

struct NodeCursorSpec {         /* 113 */
    int32_t kind;
    Node *query;
    NodeList *order_by;         /* sort items; optional */
};

struct NodeForUpdate {          /* 114 */
    int32_t kind;
    Node *query;
    NodeList *columns;          /* optional */
};

struct NodeUpdatePositioned {   /* 116 */
    int32_t kind;
    Node *table;
    NodeList *set_list;         /* NODE_SET_CLAUSE items */
    Node *cursor;               /* NODE_IDENTIFIER */
};

struct NodeUpdateSearched {     /* 117 */
    int32_t kind;
    Node *table;
    NodeList *set_list;         /* NODE_SET_CLAUSE items */
    Node *where;                /* optional */
};

struct NodeProcCall {           /* 118 */
    int32_t kind;
    Node *procedure;            /* name node */
    NodeList *arguments;        /* optional */
    intptr_t no_result;         /* flag: 0 = the call returns a value ("?= ") */
};

struct NodeCommit {             /* 161 */
    int32_t kind;
};

struct NodeRollback {           /* 162 */
    int32_t kind;
};

/* ---- Queries and their parts ------------------------------------------ */

struct NodeQuerySpec {          /* 115 SELECT */
    int32_t kind;
    intptr_t quantifier;        /* KV_SET_... */
    intptr_t parser_word;       /* parser's own */
    NodeList *select_list;      /* NODE_SELECT_ITEM items; NULL = all columns */
    NodeList *from;             /* NODE_TABLE_REF and NODE_QUALIFIED_JOIN items */
    Node *where;                /* optional */
};

struct NodeGroupedQuery {       /* 122 */
    int32_t kind;
    Node *query;                /* NODE_QUERY_SPEC */
    NodeList *group_by;         /* optional */
    Node *having;               /* optional */
};

struct NodeUnion {              /* 123 */
    int32_t kind;
    Node *left;
    Node *right;
    intptr_t all;               /* flag */
    Node *term;                 /* when present: this one query; left, right, all ignored */
};

struct NodeInsertSource {       /* 124 */
    int32_t kind;
    intptr_t default_values;    /* flag */
    NodeList *columns;          /* optional */
    Node *query;                /* optional */
    NodeList *values;           /* expressions */
};

struct NodeTableRef {           /* 125; printed: joined, else derived, else table */
    int32_t kind;
    Node *table;                /* NODE_TABLE_NAME */
    Node *correlation;          /* NODE_IDENTIFIER; optional */
    Node *joined;               /* joined table; optional */
    Node *derived;              /* query of a derived table; optional */
};

struct NodeSetClause {          /* 126; precedence set_null, set_default, subquery, value */
    int32_t kind;
    Node *column;
    intptr_t set_null;          /* flag */
    intptr_t set_default;       /* flag */
    Node *value;                /* expression */
    Node *subquery;             /* optional */
};

struct NodeOrderedColumn {      /* 127 */
    int32_t kind;
    Node *key;
    intptr_t order;             /* KV_ORDER_... */
};

struct NodeChoice {             /* 128 */
    int32_t kind;
    Node *first;
    Node *second;               /* printed only when first is NULL */
};

struct NodePrivilege {          /* 129 */
    int32_t kind;
    intptr_t action;            /* KV_PRIVILEGE_... */
    NodeList *columns;          /* optional; printed for UPDATE and REFERENCES */
};

struct NodeSelectItem {         /* 130 */
    int32_t kind;
    Node *expression;
    Node *alias;                /* NODE_IDENTIFIER; optional */
    Node *qualifier;            /* when present the item is "qualifier.*" */
};

struct NodeSortSpec {           /* 133 */
    int32_t kind;
    Node *key;
    intptr_t parser_word;       /* parser's own */
    intptr_t order;             /* KV_ORDER_... */
};

struct NodeQualifiedJoin {      /* 138 */
    int32_t kind;
    Node *left;
    intptr_t natural;           /* flag, true when it equals 1 */
    intptr_t join_type;         /* KV_JOIN_... */
    intptr_t join_class;        /* KV_JOIN_CLASS_INNER (2), anything else OUTER */
    Node *right;
    Node *condition;            /* search condition */
    NodeList *using_columns;    /* USING (...) columns; optional */
    Node *select;               /* not printed; read by extract_select */
};

/* ---- Names ------------------------------------------------------------ */

/* Stored in this order, printed as qualifier1, qualifier2, qualifier3, table. */
struct NodeTableName {          /* 119 */
    int32_t kind;
    Node *qualifier1;           /* optional name nodes ... */
    Node *qualifier3;
    Node *qualifier2;
    Node *table;                /* ... usually NODE_IDENTIFIER */
};

struct NodeIdentifier {         /* 121 */
    int32_t kind;
    char *text;
    intptr_t quoted;            /* flag: a delimited identifier */
};

struct NodeColumnName {         /* 132 */
    int32_t kind;
    Node *qualifier1;
    Node *qualifier3;
    Node *qualifier2;
    Node *table;
    Node *column;
    intptr_t parser_words[9];   /* parser's own */
    intptr_t tagged;            /* flag */
    intptr_t parser_words2[2];  /* parser's own */
    intptr_t tag_a;             /* flag */
};

/* ---- Expressions and predicates --------------------------------------- */

struct NodePrecision {          /* 139 */
    int32_t kind;
    intptr_t precision;
    intptr_t scale;             /* 0 = absent */
};

struct NodeIntervalQualifier {  /* 140 */
    int32_t kind;
    NodeIntervalField *start;
    NodeIntervalField *end;
    NodeIntervalField *single;  /* when present the qualifier is this one field */
};

struct NodeIntervalField {      /* 141 */
    int32_t kind;
    intptr_t field;             /* KV_FIELD_... */
    intptr_t precision;         /* leading precision; for KV_FIELD_SECOND_END the
                                   fractional seconds precision; 0 = not given */
    NodePrecision *second_precision; /* KV_FIELD_SECOND only: leading and
                                   fractional seconds precision */
};

struct NodeCast {               /* 142 */
    int32_t kind;
    Node *operand;              /* NULL = the NULL literal */
    Node *target;               /* NODE_DATA_TYPE */
};

struct NodeScalarFunction {     /* 143 */
    int32_t kind;
    intptr_t function;          /* scalar function id (KV_FN_... for the SQL-92 forms) */
    NodeList *arguments;        /* must be present for KV_FN_EXTRACT and KV_FN_POSITION */
    Node *operand1;             /* operands of the forms with negative ids */
    Node *operand2;
    Node *operand3;
};

struct NodeSetFunction {        /* 144 */
    int32_t kind;
    intptr_t function;          /* KV_SETFN_... */
    intptr_t distinct;          /* flag */
    Node *distinct_arg;         /* argument when distinct is set */
    Node *all_arg;              /* argument otherwise */
};

struct NodeTrimSpec {           /* 145 */
    int32_t kind;
    intptr_t side;              /* KV_TRIM_... */
    Node *character;            /* optional */
    Node *source;
};

struct NodeExists {             /* 146 */
    int32_t kind;
    Node *query;
    intptr_t negated;           /* flag */
};

struct NodeLike {               /* 147 */
    int32_t kind;
    Node *operand;
    intptr_t negated;           /* flag */
    Node *pattern;
    Node *escape;               /* optional */
};

struct NodeNullTest {           /* 148 */
    int32_t kind;
    Node *operand;
    intptr_t negated;           /* flag: IS NOT NULL */
};

struct NodeInPredicate {        /* 150 */
    int32_t kind;
    Node *operand;
    intptr_t negated;           /* flag */
    Node *query;                /* subquery; optional */
    intptr_t parser_words[2];   /* parser's own */
    NodeList *values;           /* optional */
};

struct NodeQuantifiedComparison { /* 151 */
    int32_t kind;
    Node *operand;
    intptr_t operator_code;     /* KV_OP_... */
    intptr_t quantifier;        /* KV_COMPARE_... */
    intptr_t negated;           /* flag */
    Node *query;
};

struct NodeExpression {         /* 152 */
    int32_t kind;
    intptr_t expression_class;  /* KV_EXPR_... */
    intptr_t operator_code;     /* KV_OP_...; class KV_EXPR_OPERATOR only */
    Node *left;                 /* NULL for negation and NOT */
    Node *right;
    intptr_t parser_words[3];   /* parser's own */
    intptr_t print_as_true;     /* flag; class KV_EXPR_OPERATOR only */
};

struct NodeList {               /* 153 */
    int32_t kind;
    List *items;                /* node pointers; never NULL */
};

struct NodeParameter {          /* 155; made by MakeDynamic */
    int32_t kind;
    intptr_t number;            /* parameter number given by the parser */
    intptr_t reserved;          /* set to 0 */
    intptr_t parser_words[2];   /* parser's own */
};

struct NodeCase {               /* 157 */
    int32_t kind;
    Node *operand;              /* simple CASE operand; optional */
    NodeList *whens;            /* NODE_WHEN_CLAUSE items; must be present */
    Node *else_result;          /* optional */
};

struct NodeNullif {             /* 158 */
    int32_t kind;
    Node *first;
    Node *second;
};

struct NodeCoalesce {           /* 159 */
    int32_t kind;
    NodeList *arguments;
};

struct NodeWhenClause {         /* 160 */
    int32_t kind;
    Node *condition;
    Node *result;
};

/* ---- Data definition -------------------------------------------------- */

struct NodeColumnDef {          /* 120 */
    int32_t kind;
    Node *column;               /* NODE_IDENTIFIER */
    Node *type;                 /* NODE_DATA_TYPE */
    NodeList *constraints;      /* column constraint nodes; optional */
};

struct NodeDataType {           /* 134 */
    int32_t kind;
    intptr_t sql_type;          /* ODBC SQL data type code (SQL_CHAR, ...) */
    intptr_t length;            /* length, float precision, time precision or
                                   interval leading precision; <= 0 not given */
    intptr_t fraction_precision; /* interval fractional seconds; <= 0 not given */
    intptr_t parser_word;       /* parser's own */
    NodePrecision *precision_node; /* DECIMAL, NUMERIC and INTERVAL SECOND */
};

struct NodeColumnConstraint {   /* 135 */
    int32_t kind;
    intptr_t constraint;        /* KV_COLUMN_... */
    Node *ref_table;
    NodeList *ref_columns;      /* optional */
    Node *check;                /* condition */
    Node *default_value;
};

struct NodeTableConstraint {    /* 136 */
    int32_t kind;
    intptr_t constraint;        /* KV_TABLE_... */
    NodeList *columns;
    Node *check;                /* condition */
    Node *ref_table;
    NodeList *ref_columns;
    intptr_t delete_rule;       /* KV_RULE_... */
};

struct NodeNullOrDefault {      /* 137 */
    int32_t kind;
    intptr_t which;             /* KV_NULL_OR_DEFAULT_... */
};

/* ---- Codes ------------------------------------------------------------ */

/* Operators (NodeExpression and NodeQuantifiedComparison operator_code; also
   the op argument of the operator functions), with the text each prints as. */
enum {
    KV_OP_ADD = 1,              /* "+" */
    KV_OP_SUBTRACT = 2,         /* "-" */
    KV_OP_CONCAT = 3,           /* "||" */
    KV_OP_MULTIPLY = 4,         /* "*" */
    KV_OP_DIVIDE = 5,           /* "/" */
    KV_OP_NEGATE = 6,           /* "-", left is NULL */
    KV_OP_LESS = 7,             /* "<" */
    KV_OP_GREATER = 8,          /* ">" */
    KV_OP_GREATER_EQUAL = 9,    /* ">=" */
    KV_OP_LESS_EQUAL = 10,      /* "<=" */
    KV_OP_EQUAL = 11,           /* "=" */
    KV_OP_NOT_EQUAL = 12        /* "<>" */
};

/* Expression classes (NodeExpression expression_class). */
enum {
    KV_EXPR_NOT = 1,            /* operand in right */
    KV_EXPR_AND = 2,
    KV_EXPR_OR = 3,
    KV_EXPR_OPERATOR = 4        /* left operator_code right */
};

enum { KV_DROP_CASCADE = 1, KV_DROP_RESTRICT = 2 };           /* drop behaviour */
enum { KV_SET_ALL = 1, KV_SET_DISTINCT = 2 };                 /* set quantifier */
enum { KV_ORDER_ASC = 1, KV_ORDER_DESC = 2 };                 /* any value but 2 is ASC */
enum { KV_COMPARE_ALL = 1, KV_COMPARE_ANY = 2, KV_COMPARE_SOME = 3 }; /* any other is SOME */
enum { KV_JOIN_LEFT = 4, KV_JOIN_RIGHT = 6, KV_JOIN_FULL = 8 };       /* join type */
enum { KV_JOIN_CLASS_OUTER = 1, KV_JOIN_CLASS_INNER = 2 };    /* any value but 2 is OUTER */
enum { KV_TRIM_LEADING = 1, KV_TRIM_TRAILING = 2, KV_TRIM_BOTH = 3 };
enum { KV_NULL_OR_DEFAULT_NULL = 1, KV_NULL_OR_DEFAULT_DEFAULT = 2 };

enum {                          /* privilege action */
    KV_PRIVILEGE_DELETE = 1,
    KV_PRIVILEGE_INSERT = 2,
    KV_PRIVILEGE_SELECT = 3,
    KV_PRIVILEGE_UPDATE = 4,
    KV_PRIVILEGE_REFERENCES = 5
};

enum {                          /* set function */
    KV_SETFN_COUNT = 1,
    KV_SETFN_MAX = 2,
    KV_SETFN_MIN = 3,
    KV_SETFN_SUM = 4,
    KV_SETFN_AVG = 5,
    KV_SETFN_COUNT_STAR = 6
};

enum {                          /* column constraint; 4 is not used */
    KV_COLUMN_UNIQUE = 1,
    KV_COLUMN_PRIMARY_KEY = 2,
    KV_COLUMN_CHECK = 3,
    KV_COLUMN_NOT_NULL = 5,
    KV_COLUMN_REFERENCES = 6,
    KV_COLUMN_DEFAULT = 7
};

enum {                          /* table constraint */
    KV_TABLE_UNIQUE = 1,
    KV_TABLE_PRIMARY_KEY = 2,
    KV_TABLE_CHECK = 3,
    KV_TABLE_FOREIGN_KEY = 4
};

enum {                          /* referential delete rule */
    KV_RULE_NO_ACTION = 0,
    KV_RULE_CASCADE = 1,
    KV_RULE_SET_NULL = 2,
    KV_RULE_SET_DEFAULT = 3
};

/* Interval fields (NodeIntervalField field). Start fields are YEAR..MINUTE;
   SECOND is KV_FIELD_SECOND_END at the end of a range (its precision is the
   fractional seconds precision) or KV_FIELD_SECOND alone (its
   second_precision gives both precisions). */
enum {
    KV_FIELD_YEAR = 1,
    KV_FIELD_MONTH = 2,
    KV_FIELD_DAY = 3,
    KV_FIELD_HOUR = 4,
    KV_FIELD_MINUTE = 5,
    KV_FIELD_SECOND_END = 6,
    KV_FIELD_SECOND = 7
};

/* Scalar function ids that the tree and the printer treat specially. The
   negative ids are the SQL-92 forms, whose operands are operand1..3. */
enum {
    KV_FN_EXTRACT = 25,         /* arguments: integer Value (KV_EXTRACT_...), source */
    KV_FN_POSITION = 44,        /* arguments: search expression, source */
    KV_FN_CHARACTER_LENGTH = -1,
    KV_FN_OCTET_LENGTH = -2,
    KV_FN_POSITION_IN = -3,     /* POSITION(a IN b) */
    KV_FN_SUBSTRING = -4,
    KV_FN_TRIM = -5,            /* printer only; not in the catalogue */
    KV_FN_BIT_LENGTH = -6,
    KV_FN_LOWER = -7,
    KV_FN_UPPER = -8
};

enum {                          /* EXTRACT field, the first argument's value */
    KV_EXTRACT_YEAR = 0,
    KV_EXTRACT_MONTH = 1,
    KV_EXTRACT_DAY = 2,
    KV_EXTRACT_HOUR = 3,
    KV_EXTRACT_MINUTE = 4,
    KV_EXTRACT_SECOND = 5
};

#endif
