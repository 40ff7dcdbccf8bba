/*
** The SQL-92 printer, second half: expressions, predicates, column
** references, literal values, functions, CASE and CAST, interval qualifiers
** and data types. Left-deep chains of AND, OR and operators (a OR b OR c ...)
** print in a loop rather than a recursion; the tails of the chain, which
** come out deepest first, are found again in passes over at most 32 links
** held on the stack, so any chain prints in O(n log n) without allocating.
*/
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "nodes_print.h"

namespace kv_print {

// ---- Expressions ---------------------------------------------------------

// The operator between its operands, blanks around it; NULL for a code
// without a text.
static const char *get_oper_text(intptr_t code)
{
    static const char *const texts[] = {nullptr, " + ",  " - ",  " || ", " * ", " / ", " - ",
                                        " < ",   " > ",  " >= ", " <= ", " = ", " <> "};
    return code >= KV_OP_ADD && code <= KV_OP_NOT_EQUAL ? texts[code] : nullptr;
}

static void print_operator(Printer &p, intptr_t code)
{
    if (const char *text = get_oper_text(code))
        emit(p, text);
    else
        emitf(p, " <unknown operator %" PRIdPTR "> ", code);
}

static const NodeExpression *as_expression(const void *node)
{
    auto *n = static_cast<const Node *>(node);
    return n && n->kind == NODE_EXPRESSION ? reinterpret_cast<const NodeExpression *>(n) : nullptr;
}

static bool prints_as_true(const Printer &p, const NodeExpression *e, bool positive)
{
    return e->expression_class == KV_EXPR_OPERATOR && e->print_as_true && p.context.mode == KV_PRINT_PLAIN &&
           positive;
}

// A link of a left-deep chain: a binary expression printed as "( " left tail,
// where the tail is the operator, the right operand and the closing parenthesis.
static bool is_chain_link(const Printer &p, const void *node, bool positive)
{
    const NodeExpression *e = as_expression(node);
    if (!e)
        return false;
    switch (e->expression_class) {
    case KV_EXPR_AND:
    case KV_EXPR_OR: return true;
    case KV_EXPR_OPERATOR: return !prints_as_true(p, e, positive);
    default: return false;
    }
}

static void print_link_tail(Printer &p, const NodeExpression *link, bool right_positive)
{
    switch (link->expression_class) {
    case KV_EXPR_AND:
        emit(p, " AND ");
        print_node(p, link->right, right_positive);
        emit(p, ")");
        break;
    case KV_EXPR_OR:
        emit(p, " OR ");
        print_node(p, link->right);
        emit(p, ")");
        break;
    default:
        print_operator(p, link->operator_code);
        print_operand(p, link->right);
        emit(p, " )");
        break;
    }
}

constexpr std::size_t kLinksPerPass = 32;  // 256 bytes of stack per pass

// Prints the tails of `count` links from `top` (link number `top_index` of the
// chain) downwards, deepest first. A short run is collected and printed
// backwards; a long one is cut into at most kLinksPerPass segments whose
// first links are collected, and each segment is printed the same way, last
// first. The right operands of the first `and_prefix` links of the chain are
// positive conjuncts.
static void print_tails(Printer &p, const NodeExpression *top, std::size_t top_index, std::size_t count,
                        std::size_t and_prefix)
{
    const NodeExpression *links[kLinksPerPass];
    const NodeExpression *link = top;
    if (count <= kLinksPerPass) {
        for (std::size_t i = 0; i < count; i++, link = as_expression(link->left))
            links[i] = link;
        for (std::size_t i = count; i-- > 0 && !p.stopped();)
            print_link_tail(p, links[i], top_index + i < and_prefix);
        return;
    }
    std::size_t stride = (count + kLinksPerPass - 1) / kLinksPerPass;
    std::size_t segments = (count + stride - 1) / stride;
    for (std::size_t j = 0; j < segments; j++) {
        links[j] = link;
        for (std::size_t i = 0; i < stride && link; i++)
            link = as_expression(link->left);
    }
    for (std::size_t j = segments; j-- > 0 && !p.stopped();)
        print_tails(p, links[j], top_index + j * stride, std::min(stride, count - j * stride), and_prefix);
}

// "( " once per link, the innermost left operand, then the tails. A chain
// that loops back on itself (a second pointer going at half speed meets the
// first) is nested without end: it stops the printing as too deep.
static void print_chain(Printer &p, const NodeExpression *top, bool positive)
{
    std::size_t count = 0, and_prefix = 0;
    const void *node = top;
    const NodeExpression *behind = top;
    for (bool link_positive = positive; is_chain_link(p, node, link_positive); count++) {
        const NodeExpression *link = as_expression(node);
        link_positive = link_positive && link->expression_class == KV_EXPR_AND;
        and_prefix += link_positive ? 1 : 0;
        node = link->left;
        if (count % 2 == 1)
            behind = as_expression(behind->left);
        if (node == behind) {
            p.status = KV_PRINT_TOO_DEEP;
            return;
        }
    }
    for (std::size_t i = 0; i < count && !p.stopped(); i++)
        emit(p, "( ");
    print_operand(p, node, positive && and_prefix == count);
    if (count == 1)  // the common case, without the pass's stack
        print_link_tail(p, top, and_prefix == 1);
    else
        print_tails(p, top, 0, count, and_prefix);
}

void print_expression(Printer &p, const NodeExpression *e, bool positive)
{
    if (prints_as_true(p, e, positive)) {
        emit(p, " (0=0) ");
    } else if (e->expression_class == KV_EXPR_NOT) {
        emit(p, "( ");
        emit(p, " NOT ");
        print_node(p, e->right);
        emit(p, ")");
    } else if (is_chain_link(p, e, positive)) {
        print_chain(p, e, positive);
    }
}

// ---- Predicates ------------------------------------------------------------

void print_like(Printer &p, const NodeLike *n)
{
    print_node(p, n->operand);
    if (n->negated)
        emit(p, " NOT ");
    emit(p, " LIKE ");
    print_node(p, n->pattern);
    if (n->escape) {
        emit(p, " ESCAPE ");
        print_node(p, n->escape);
    }
}

// An IN with neither list nor query is false (NOT IN true).
void print_in_predicate(Printer &p, const NodeInPredicate *n)
{
    if (!n->query && !n->values) {
        emit(p, n->negated ? " 1 = 1 " : " 1 = 0 ");
        return;
    }
    print_node(p, n->operand);
    if (n->negated)
        emit(p, " NOT ");
    emit(p, " IN ");
    emit(p, " ( ");
    if (n->query)
        print_node(p, n->query);
    else
        print_list(p, n->values, ", ");
    emit(p, ")");
}

// A negated comparison is NOT ( x op ANY ( query ) ): x NOT = ANY is no SQL.
void print_quantified_comparison(Printer &p, const NodeQuantifiedComparison *n)
{
    if (n->negated)
        emit(p, " NOT ( ");
    print_node(p, n->operand);
    print_operator(p, n->operator_code);
    emit(p, n->quantifier == KV_COMPARE_ALL ? " ALL " : n->quantifier == KV_COMPARE_ANY ? " ANY " : " SOME ");
    emit(p, " ( ");
    print_node(p, n->query);
    emit(p, " ) ");
    if (n->negated)
        emit(p, " ) ");
}

void print_column_name(Printer &p, const NodeColumnName *n)
{
    const Node *parts[] = {n->qualifier1, n->qualifier2, n->qualifier3, n->table, n->column};
    print_dotted(p, parts, 5);
    if (p.context.mode == KV_PRINT_TAGGED && n->tagged)
        emit(p, n->tag_a ? "(A) " : "(*) ");
}

// ---- Values ------------------------------------------------------------------

// The shortest text that reads back to the same double, marked approximate
// by a '.' or an exponent so that the server does not take it for an integer.
static void print_double(Printer &p, double d)
{
    if (std::isnan(d)) {
        emit(p, "<NaN>");
        return;
    }
    if (std::isinf(d)) {
        emit(p, d > 0 ? "<Infinity>" : "<-Infinity>");
        return;
    }
    char text[64];
    char *end = std::to_chars(text, text + sizeof text - 3, d).ptr;
    if (std::none_of(text, end, [](char c) { return c == '.' || c == 'e'; })) {
        *end++ = '.';
        *end++ = '0';
    }
    *end = '\0';
    emit(p, text);
}

// One piece per character, an apostrophe doubled; the text ends at `length`
// or at a zero byte, whichever comes first.
static void print_string(Printer &p, const Value *v)
{
    const char *s = v->data.s ? v->data.s : "";
    char piece[2] = {0, 0};
    emit(p, "'");
    for (int32_t i = 0; i < v->length && s[i] && !p.stopped(); i++) {
        piece[0] = s[i];
        emit(p, s[i] == '\'' ? "''" : piece);
    }
    emit(p, "' ");
}

static void print_binary(Printer &p, const Value *v)
{
    static const char digits[] = "0123456789ABCDEF";
    char piece[3] = {0, 0, 0};
    emit(p, "X'");
    for (int32_t i = 0; v->data.b && i < v->length && !p.stopped(); i++) {
        piece[0] = digits[v->data.b[i] >> 4];
        piece[1] = digits[v->data.b[i] & 15];
        emit(p, piece);
    }
    emit(p, "'");
}

// Seconds' billionths as ".5" or ".000001": nothing for 0.
static void format_fraction(char (&text)[16], SQLUINTEGER fraction)
{
    text[0] = '\0';
    if (fraction == 0)
        return;
    std::snprintf(text, sizeof text, ".%09lu", static_cast<unsigned long>(fraction));
    std::size_t n = std::strlen(text);
    while (n > 2 && text[n - 1] == '0')
        text[--n] = '\0';
}

static void print_datetime(Printer &p, const Value *v)
{
    if (v->type == VT_DATE) {
        const SQL_DATE_STRUCT &d = v->data.date;
        emitf(p, "DATE '%04d-%02d-%02d'", d.year, static_cast<int>(d.month), static_cast<int>(d.day));
    } else if (v->type == VT_TIME) {
        const SQL_TIME_STRUCT &t = v->data.time;
        emitf(p, "TIME '%02d:%02d:%02d'", static_cast<int>(t.hour), static_cast<int>(t.minute),
              static_cast<int>(t.second));
    } else if (v->data.ts.fraction >= kv_nanos_per_second) {
        // No literal: its digits would read as another fraction of a second.
        emit(p, "<unexpected value type>");
    } else {
        const SQL_TIMESTAMP_STRUCT &ts = v->data.ts;
        char fraction[16];
        format_fraction(fraction, ts.fraction);
        emitf(p, "TIMESTAMP '%04d-%02d-%02d %02d:%02d:%02d%s'", ts.year, static_cast<int>(ts.month),
              static_cast<int>(ts.day), static_cast<int>(ts.hour), static_cast<int>(ts.minute),
              static_cast<int>(ts.second), fraction);
    }
}

// CURRENT_TIME and CURRENT_TIMESTAMP name their precision when one was given.
static void print_current(Printer &p, const char *name, int32_t precision)
{
    if (precision > 0)
        emitf(p, "%s(%d) ", name, static_cast<int>(precision));
    else
        emitf(p, "%s ", name);
}

void print_value(Printer &p, const Value *v)
{
    if (v->indicator != 0) {
        emit(p, " NULL ");
        return;
    }
    switch (v->type) {
    case VT_INTEGER: emit_integer(p, v->data.i, ' '); break;
    case VT_DOUBLE: print_double(p, v->data.d); break;
    case VT_STRING: print_string(p, v); break;
    case VT_BIT:
        emit(p, "B'");
        emit(p, v->data.i ? "1" : "0");
        emit(p, "' ");
        break;
    case VT_BINARY: print_binary(p, v); break;
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP: print_datetime(p, v); break;
    case VT_NUMERIC: {
        char text[192];
        numeric_to_string(&v->data.num, text, sizeof text, nullptr);
        emit(p, text);
        break;
    }
    case VT_NULL: emit(p, " NULL "); break;
    case VT_BIGINT: emit_integer(p, v->data.big, ' '); break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        // An interval of no known type has no literal (its text would leave
        // a quote open).
        char text[KV_VALUE_TEXT_SIZE];
        bool known = v->data.iv.interval_type >= SQL_IS_YEAR && v->data.iv.interval_type <= SQL_IS_MINUTE_TO_SECOND;
        if (known)
            interval_as_text(v, text, 1);
        emit(p, known ? text : "<unexpected value type>");
        break;
    }
    case VT_CURRENT_DATE: emit(p, "CURRENT_DATE "); break;
    case VT_USER: emit(p, "USER "); break;
    case VT_CURRENT_TIME: print_current(p, "CURRENT_TIME", v->precision); break;
    case VT_CURRENT_TIMESTAMP: print_current(p, "CURRENT_TIMESTAMP", v->precision); break;
    default: emit(p, "<unexpected value type>"); break;
    }
}

// ---- CAST, CASE and relatives --------------------------------------------------

void print_cast(Printer &p, const NodeCast *n)
{
    emit(p, " CAST ( ");
    if (n->operand)
        print_node(p, n->operand);
    else
        emit(p, "NULL");
    emit(p, " AS ");
    print_node(p, n->target);
    emit(p, ") ");
}

void print_case(Printer &p, const NodeCase *n)
{
    emit(p, " CASE ");
    if (n->operand) {
        print_node(p, n->operand);
        emit(p, " ");
    }
    print_list(p, n->whens, "");
    if (n->else_result) {
        emit(p, " ELSE ");
        print_node(p, n->else_result);
    }
    emit(p, " END");
}

// ---- Functions -----------------------------------------------------------------

// COUNT without DISTINCT counts its argument's non-null values; only a
// missing argument is COUNT(*).
void print_set_function(Printer &p, const NodeSetFunction *n)
{
    static const char *const distinct[] = {nullptr, " COUNT( DISTINCT ", " MAX( DISTINCT ", " MIN( DISTINCT ",
                                           " SUM( DISTINCT ", " AVG( DISTINCT "};
    static const char *const all[] = {nullptr, " COUNT( ALL ", " MAX( ALL ", " MIN( ALL ", " SUM( ALL ", " AVG( ALL "};
    if (n->function == KV_SETFN_COUNT_STAR) {
        emit(p, " COUNT(*) ");
        return;
    }
    if (n->function < KV_SETFN_COUNT || n->function > KV_SETFN_AVG)
        return;
    if (n->distinct) {
        emit(p, distinct[n->function]);
        print_node(p, n->distinct_arg);
        emit(p, " ) ");
    } else if (n->function == KV_SETFN_COUNT && !n->all_arg) {
        emit(p, " COUNT(*)");
    } else {
        emit(p, all[n->function]);
        print_node(p, n->all_arg);
        emit(p, " ) ");
    }
}

static void print_extract(Printer &p, const NodeList *arguments)
{
    static const char *const fields[] = {" YEAR ", " MONTH ", " DAY ", " HOUR ", " MINUTE ", " SECOND "};
    emit(p, " EXTRACT( ");
    for (ListItem *item = ListFirst(arguments ? arguments->items : nullptr); item && !p.stopped();
         item = item->next) {
        if (!item->next) {
            print_node(p, item->data);
            break;
        }
        auto *field = static_cast<const Value *>(item->data);
        if (field && field->kind == NODE_VALUE && field->data.i >= KV_EXTRACT_YEAR &&
            field->data.i <= KV_EXTRACT_SECOND)
            emit(p, fields[field->data.i]);
        emit(p, " FROM ");
    }
    emit(p, " )");
}

// NAME( operand1 ) for the one-operand SQL-92 forms; NULL for other ids.
static const char *one_operand_form(intptr_t id)
{
    switch (id) {
    case KV_FN_CHARACTER_LENGTH: return " CHARACTER_LENGTH( ";
    case KV_FN_OCTET_LENGTH: return " OCTET_LENGTH( ";
    case KV_FN_TRIM: return " TRIM( ";
    case KV_FN_BIT_LENGTH: return " BIT_LENGTH( ";
    case KV_FN_LOWER: return " LOWER( ";
    case KV_FN_UPPER: return " UPPER( ";
    default: return nullptr;
    }
}

// An ODBC function in plain call syntax, NAME( arguments ).
static void print_catalogue_call(Printer &p, const NodeScalarFunction *n)
{
    if (const char *name = sql92_get_function_name(static_cast<int32_t>(n->function)))
        emit(p, name);
    else
        emitf(p, "<unknown function %" PRIdPTR ">", n->function);
    emit(p, "( ");
    print_list(p, n->arguments, ", ");
    emit(p, " ) ");
}

void print_scalar_function(Printer &p, const NodeScalarFunction *n)
{
    if (const char *form = one_operand_form(n->function)) {
        emit(p, form);
        print_node(p, n->operand1);
        emit(p, " ) ");
    } else if (n->function == KV_FN_POSITION_IN) {
        emit(p, " POSITION( ");
        print_node(p, n->operand1);
        emit(p, " IN ");
        print_node(p, n->operand2);
        emit(p, " ) ");
    } else if (n->function == KV_FN_SUBSTRING) {
        emit(p, " SUBSTRING( ");
        print_node(p, n->operand1);
        emit(p, " FROM ");
        print_node(p, n->operand2);
        if (n->operand3) {
            emit(p, " FOR ");
            print_node(p, n->operand3);
        }
        emit(p, " ) ");
    } else if (n->function == KV_FN_EXTRACT) {
        print_extract(p, n->arguments);
    } else if (n->function == KV_FN_POSITION) {
        emit(p, " POSITION( ");
        print_list(p, n->arguments, " IN ");
        emit(p, " )");
    } else if (n->function >= 0) {
        print_catalogue_call(p, n);
    }
}

void print_trim_spec(Printer &p, const NodeTrimSpec *n)
{
    static const char *const sides[] = {nullptr, "LEADING ", "TRAILING ", "BOTH "};
    if (n->side >= KV_TRIM_LEADING && n->side <= KV_TRIM_BOTH)
        emit(p, sides[n->side]);
    print_node(p, n->character);
    emit(p, " FROM ");
    print_node(p, n->source);
}

// ---- Interval qualifiers and data types ------------------------------------------

void print_precision(Printer &p, const NodePrecision *n)
{
    emitf(p, " ( %" PRIdPTR, n->precision);
    if (n->scale != 0)
        emitf(p, ", %" PRIdPTR " ) ", n->scale);
    else
        emit(p, " ) ");
}

void print_interval_field(Printer &p, const NodeIntervalField *n)
{
    static const char *const names[] = {nullptr, "YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
    if (n->field == KV_FIELD_SECOND) {
        emit(p, " SECOND ");
        print_node(p, n->second_precision);
    } else if (n->field >= KV_FIELD_YEAR && n->field <= KV_FIELD_SECOND_END) {
        if (n->precision != 0)
            emitf(p, " %s( %" PRIdPTR " ) ", names[n->field], n->precision);
        else
            emitf(p, " %s ", names[n->field]);
    }
}

// "( n ) " after single fields, FLOAT, TIME and TIMESTAMP.
static void print_length(Printer &p, intptr_t length)
{
    if (length > 0)
        emitf(p, "( %" PRIdPTR " ) ", length);
}

// A range: " INTERVAL DAY" [( n )] " TO SECOND " [( f )].
static void print_interval_range(Printer &p, const char *start, const char *end, const NodeDataType *n)
{
    emit(p, start);
    if (n->length > 0)
        emitf(p, "( %" PRIdPTR " )", n->length);
    emit(p, end);
    bool to_second = n->sql_type == SQL_INTERVAL_DAY_TO_SECOND || n->sql_type == SQL_INTERVAL_HOUR_TO_SECOND ||
                     n->sql_type == SQL_INTERVAL_MINUTE_TO_SECOND;
    if (to_second && n->fraction_precision > 0)
        emitf(p, "( %" PRIdPTR " )", n->fraction_precision);
}

// A single interval field: its name, then "( n ) " or a blank.
static void print_interval_single(Printer &p, const char *name, intptr_t length)
{
    emit(p, name);
    if (length > 0)
        print_length(p, length);
    else
        emit(p, " ");
}

// Character types of no stated length print none: CHARACTER( 0 ) is no type.
static void print_character_type(Printer &p, const char *name, intptr_t length)
{
    if (length > 0)
        emitf(p, " %s( %" PRIdPTR " ) ", name, length);
    else
        emitf(p, " %s ", name);
}

void print_data_type(Printer &p, const NodeDataType *n)
{
    switch (n->sql_type) {
    case SQL_CHAR: print_character_type(p, "CHARACTER", n->length); break;
    case SQL_VARCHAR: print_character_type(p, "CHARACTER VARYING", n->length); break;
    case SQL_LONGVARCHAR: emit(p, " LONG VARCHAR "); break;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        emit(p, n->sql_type == SQL_DECIMAL ? " DECIMAL " : " NUMERIC ");
        print_node(p, n->precision_node);
        break;
    case SQL_SMALLINT: emit(p, " SMALLINT "); break;
    case SQL_INTEGER: emit(p, " INTEGER "); break;
    case SQL_TINYINT: emit(p, " TINYINT "); break;
    case SQL_BIGINT: emit(p, " BIGINT "); break;
    case SQL_REAL: emit(p, " REAL "); break;
    case SQL_FLOAT:
        emit(p, " FLOAT ");
        print_length(p, n->length);
        break;
    case SQL_DOUBLE: emit(p, " DOUBLE PRECISION "); break;
    case SQL_BIT: emit(p, " BIT "); break;
    case SQL_BINARY: emitf(p, " BINARY( %" PRIdPTR " ) ", n->length); break;
    case SQL_VARBINARY: emitf(p, " VARBINARY( %" PRIdPTR " ) ", n->length); break;
    case SQL_LONGVARBINARY: emit(p, " LONG VARBINARY "); break;
    case SQL_DATE:
    case SQL_TYPE_DATE: emit(p, " DATE "); break;
    case SQL_TIME:
    case SQL_TYPE_TIME:
        emit(p, " TIME ");
        print_length(p, n->length);
        break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        emit(p, " TIMESTAMP ");
        print_length(p, n->length);
        break;
    case SQL_INTERVAL_YEAR:
        emit(p, " INTERVAL YEAR ");
        if (n->length > 0)
            print_length(p, n->length);
        else
            emit(p, " ");
        break;
    case SQL_INTERVAL_MONTH: print_interval_single(p, " INTERVAL MONTH", n->length); break;
    case SQL_INTERVAL_DAY: print_interval_single(p, " INTERVAL DAY", n->length); break;
    case SQL_INTERVAL_HOUR: print_interval_single(p, " INTERVAL HOUR", n->length); break;
    case SQL_INTERVAL_MINUTE: print_interval_single(p, " INTERVAL MINUTE", n->length); break;
    case SQL_INTERVAL_SECOND:
        emit(p, " INTERVAL SECOND");
        if (n->precision_node)
            print_node(p, n->precision_node);
        else
            emit(p, " ");
        break;
    case SQL_INTERVAL_YEAR_TO_MONTH: print_interval_range(p, " INTERVAL YEAR", " TO MONTH ", n); break;
    case SQL_INTERVAL_DAY_TO_HOUR: print_interval_range(p, " INTERVAL DAY", " TO HOUR ", n); break;
    case SQL_INTERVAL_DAY_TO_MINUTE: print_interval_range(p, " INTERVAL DAY", " TO MINUTE ", n); break;
    case SQL_INTERVAL_HOUR_TO_MINUTE: print_interval_range(p, " INTERVAL HOUR", " TO MINUTE ", n); break;
    case SQL_INTERVAL_DAY_TO_SECOND: print_interval_range(p, " INTERVAL DAY", " TO SECOND ", n); break;
    case SQL_INTERVAL_HOUR_TO_SECOND: print_interval_range(p, " INTERVAL HOUR", " TO SECOND ", n); break;
    case SQL_INTERVAL_MINUTE_TO_SECOND: print_interval_range(p, " INTERVAL MINUTE", " TO SECOND ", n); break;
    default: break;
    }
}

void print_exists(Printer &p, const NodeExists *n)
{
    emit(p, n->negated ? " NOT EXISTS ( " : " EXISTS ( ");
    print_node(p, n->query);
    emit(p, " ) ");
}

void print_null_test(Printer &p, const NodeNullTest *n)
{
    print_node(p, n->operand);
    emit(p, n->negated ? " IS NOT NULL" : " IS NULL");
}

void print_when_clause(Printer &p, const NodeWhenClause *n)
{
    emit(p, " WHEN ");
    print_node(p, n->condition);
    emit(p, " THEN ");
    print_node(p, n->result);
}

void print_nullif(Printer &p, const NodeNullif *n)
{
    emit(p, "NULLIF( ");
    print_node(p, n->first);
    emit(p, ", ");
    print_node(p, n->second);
    emit(p, ")");
}

void print_coalesce(Printer &p, const NodeCoalesce *n)
{
    emit(p, "COALESCE( ");
    print_list(p, n->arguments, ", ");
    emit(p, ")");
}

void print_interval_qualifier(Printer &p, const NodeIntervalQualifier *n)
{
    if (n->single) {
        print_node(p, n->single);
        return;
    }
    print_node(p, n->start);
    emit(p, " TO ");
    print_node(p, n->end);
}

} // namespace kv_print
