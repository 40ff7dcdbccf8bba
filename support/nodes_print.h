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
void emit(Printer &p, const char *piece);
// Formats one short piece (numbers and fixed words only; never tree text).
void emitf(Printer &p, const char *format, ...) KV_PRINTF_LIKE(2, 3);

// Prints any node through the dispatcher; nothing for NULL. `positive` says
// the node stands where a marked comparison may print as true (printer.h).
void print_node(Printer &p, const void *node, bool positive = false);

// The items of a list with `separator` after every item but the last.
void print_list(Printer &p, const NodeList *list, const char *separator);

// Name parts joined by periods; absent parts are skipped.
void print_dotted(Printer &p, const Node *const *parts, std::size_t count);

// A query expression: printed in parentheses where an operand is expected.
bool is_query(const void *node);

// Prints `node` in parentheses when it is a query, as it is otherwise.
void print_operand(Printer &p, const void *node, bool positive = false);

// The kinds of expressions, values and data types (nodes_expr.cpp); returns
// false for a kind that is not one of them.
bool print_expression_kind(Printer &p, const Node *node, bool positive);

} // namespace kv_print

#endif
