/*
** What the two halves of the SQL printer share: the walk's state, the piece
** emitters and the dispatcher. nodes.cpp holds the entry points, statements,
** clauses and names; nodes_expr.cpp expressions, values and data types.
*/
#ifndef KVSUPP_NODES_PRINT_H
#define KVSUPP_NODES_PRINT_H

#include <cstddef>
#include <cstdint>

#include "internal.h"

namespace kv_print {

// One walk: the caller's output function and context, how deep the walk is,
// and why it stopped (0 while it goes on). Once stopped, nothing more is
// output and every print function returns at once.
struct Printer {
    kv_print_output output;
    PrintContext context;
    int depth;
    int status;

    bool stopped() const { return status != 0; }
};

// Hands one zero-terminated piece to the output function.
inline void emit(Printer &p, const char *piece)
{
    if (p.stopped())
        return;
    int result = p.output(piece, p.context.user_context);
    if (result < 0)
        p.status = result;
}

// Formats one short piece (numbers and fixed words only; never tree text).
void emitf(Printer &p, const char *format, ...) KV_PRINTF_LIKE(2, 3);

// A decimal integer followed by `after` (unless it is '\0'), as one piece.
void emit_integer(Printer &p, long long value, char after);

// The text of an identifier: as it is, or quoted with inner quotes doubled.
void print_quoted_identifier(Printer &p, const char *text);
inline void print_identifier(Printer &p, const NodeIdentifier *n)
{
    const char *text = n->text ? n->text : "";
    if (n->quoted)
        print_quoted_identifier(p, text);
    else if (*text)
        emit(p, text);
}

// Prints a node of any other kind through the dispatcher.
void print_tree_node(Printer &p, const Node *node, bool positive);

// Prints any node; nothing for NULL. `positive` says the node stands where a
// marked comparison may print as true (printer.h). Identifiers, the commonest
// leaves, are printed here without the dispatch.
inline void print_node(Printer &p, const void *node, bool positive = false)
{
    auto *n = static_cast<const Node *>(node);
    if (!n)
        return;
    if (n->kind == NODE_IDENTIFIER)
        print_identifier(p, reinterpret_cast<const NodeIdentifier *>(n));
    else
        print_tree_node(p, n, positive);
}

// The items of a list with `separator` after every item but the last.
void print_list(Printer &p, const NodeList *list, const char *separator);

// Name parts joined by periods; absent parts are skipped.
void print_dotted(Printer &p, const Node *const *parts, std::size_t count);

// A query expression: printed in parentheses where an operand is expected.
bool is_query(const void *node);

// Prints `node` in parentheses when it is a query, as it is otherwise.
void print_operand(Printer &p, const void *node, bool positive = false);

// The printers of expressions, predicates, values, functions and data types
// (nodes_expr.cpp), which the dispatcher calls by kind.
void print_expression(Printer &p, const NodeExpression *n, bool positive);
void print_column_name(Printer &p, const NodeColumnName *n);
void print_value(Printer &p, const Value *v);
void print_exists(Printer &p, const NodeExists *n);
void print_like(Printer &p, const NodeLike *n);
void print_null_test(Printer &p, const NodeNullTest *n);
void print_in_predicate(Printer &p, const NodeInPredicate *n);
void print_quantified_comparison(Printer &p, const NodeQuantifiedComparison *n);
void print_cast(Printer &p, const NodeCast *n);
void print_case(Printer &p, const NodeCase *n);
void print_when_clause(Printer &p, const NodeWhenClause *n);
void print_nullif(Printer &p, const NodeNullif *n);
void print_coalesce(Printer &p, const NodeCoalesce *n);
void print_set_function(Printer &p, const NodeSetFunction *n);
void print_scalar_function(Printer &p, const NodeScalarFunction *n);
void print_trim_spec(Printer &p, const NodeTrimSpec *n);
void print_precision(Printer &p, const NodePrecision *n);
void print_interval_qualifier(Printer &p, const NodeIntervalQualifier *n);
void print_interval_field(Printer &p, const NodeIntervalField *n);
void print_data_type(Printer &p, const NodeDataType *n);

} // namespace kv_print

#endif
