/*
** The SQL-92 printer: turns a parse tree (nodes.h), or one expression of it,
** back into SQL text for the server.
**
** The text goes out piece by piece through the caller's output function, in
** the order of the text; the printer allocates nothing, keeps no state between
** calls and never changes the tree. Pieces are zero-terminated and live in the
** tree or in a buffer of the printer's that is reused for the next piece: the
** output function copies what it keeps. Keywords carry their own blanks, so
** the concatenation of the pieces is the statement (doubled blanks included).
**
** What the text holds, where a reader of SQL-92 might wonder:
** - identifiers marked quoted print between double quotes with every inner
**   double quote doubled; strings between apostrophes with every inner
**   apostrophe doubled (a string value holds the text the literal denotes);
** - doubles print as the shortest text that reads back to the same double,
**   always with a '.' or an exponent (3.0, 1e-07); NaN and infinities have no
**   SQL literal and print as <NaN>, <Infinity>, <-Infinity>, which the server
**   rejects;
** - dates, times and timestamps print as SQL-92 typed literals (DATE
**   '2024-01-31', TIME '08:30:00', TIMESTAMP '2024-01-31 08:30:00.25'), a
**   timestamp with its fraction when that is not zero;
** - a value whose indicator says NULL prints NULL whatever its type;
** - ALTER TABLE gives each added column its own ADD, and leaves out the
**   optional COLUMN keyword of ADD and DROP, which Firebird refuses;
** - a node the printer does not know prints <unexpected node type P->K> (P
**   the node's address in hexadecimal, K its kind), a value of a type without
**   a literal (or an interval of no interval type, a timestamp whose fraction
**   is a second or more) <unexpected value type>, an operator code without a
**   text <unknown operator N> and a function id the catalogue does not know
**   <unknown function N>: text the server rejects rather than a statement
**   with another meaning.
*/
#ifndef KVSUPP_PRINTER_H
#define KVSUPP_PRINTER_H

#include <stdint.h>

#include "export.h"
#include "nodes.h"

KV_BEGIN_DECLS

/* Receives one piece of text and the caller's context pointer. Returns 0 or
   more to go on; a negative result (an fputs-style EOF, say) stops the
   printing at once and becomes the entry point's result. */
typedef int (*kv_print_output)(const char *text, void *context);

/* Print modes: the `mode` of sql92_print_expression_ex. */
enum {
    KV_PRINT_PLAIN = 0,   /* marked comparisons in positive conjuncts print as (0=0) */
    KV_PRINT_MARKED = 1,  /* marked comparisons print as written */
    KV_PRINT_TAGGED = 2   /* as KV_PRINT_MARKED, and tagged columns print their tag */
};

/* What the printer hands down its walk: the caller's context pointer, given
   to every output call, and the print mode. */
typedef struct PrintContext {
    void *user_context;
    int32_t mode;
} PrintContext;

/* Result of an entry point whose tree nests deeper than KV_PRINT_MAX_DEPTH
   nodes: the printing stopped there, and the text output so far is not a
   statement. At the bound the printer uses some 400 KB of stack. Long
   left-deep chains of AND, OR and operators (a OR b OR c ...) are printed
   without nesting and have no such limit. A tree that loops back on itself
   stops with this result too. */
#define KV_PRINT_TOO_DEEP (-2)
#define KV_PRINT_MAX_DEPTH 2000

/* Marked comparisons (a NODE_EXPRESSION of class KV_EXPR_OPERATOR with
   print_as_true set) are the driver's: it evaluates them itself on the rows
   the server returns. In KV_PRINT_PLAIN they print as " (0=0) " only where
   they are positive conjuncts: the node handed to the entry point, the
   condition of a WHERE or HAVING clause, or an operand of an AND that is a
   positive conjunct itself. Anywhere else (under NOT or OR, in a select list,
   a join condition, a CASE, a predicate or function operand) they print in
   full, because a true condition there could narrow the rows or change a
   value. The driver marks only comparisons whose relaxation it undoes by
   filtering: those of the outermost query's WHERE, not of a subquery, a
   grouped query, an UPDATE or a DELETE. */

/* Prints every statement of `statements` (a NODE_LIST; any other node prints
   as a list of that one statement) with "; " between them, in
   KV_PRINT_PLAIN. Returns 0 when the whole text was output, else the
   output function's negative result or KV_PRINT_TOO_DEEP. A NULL tree or
   output function prints nothing and returns 0. */
KV_EXPORT int sql92_print_parse_tree(const void *statements, kv_print_output output, void *context);

/* Prints `node` (any node or Value) and its subtree in KV_PRINT_PLAIN.
   Returns as sql92_print_parse_tree. */
KV_EXPORT int sql92_print_expression(const void *node, kv_print_output output, void *context);

/* sql92_print_expression in print mode `mode` (KV_PRINT_...; any non-zero
   mode prints marked comparisons as written, 2 adds column tags). */
KV_EXPORT int sql92_print_expression_ex(const void *node, kv_print_output output, void *context, int mode);

KV_END_DECLS

#endif
