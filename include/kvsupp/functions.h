/*
** The catalogue of scalar functions the driver evaluates itself: the ODBC
** function names of {fn ...} escapes and the SQL-92 keyword forms such as
** POSITION(x IN y), each a FunctionEntry row with its id, argument classes
** and implementation, and the dispatch that runs one of them.
*/
#ifndef KVSUPP_FUNCTIONS_H
#define KVSUPP_FUNCTIONS_H

#include <stdint.h>

#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

typedef struct FunctionEntry FunctionEntry;

/* An implementation: evaluates one call and returns a new Value on ctx->mem,
   or NULL when no value was produced (nothing posted). `argv` holds `argc`
   argument values; IFNULL's two entries are argument expressions that it
   hands to ctx->evaluate itself. Errors leave through ctx's error exit. */
typedef Value *(*kv_scalar_function)(EvalContext *ctx, int32_t argc, Value **argv, int32_t mode, void *eval_data,
                                     const FunctionEntry *entry);

/* Type classes of result_type and arg_types. */
#define KV_FN_STRING 0x001    /* character string */
#define KV_FN_INTEGER 0x002   /* integer */
#define KV_FN_STRING2 0x004   /* character string (CHAR's result, POSITION's operands) */
#define KV_FN_NUMERIC 0x008   /* numeric; as a result: a double */
#define KV_FN_DATE 0x010      /* date */
#define KV_FN_TIME 0x020      /* time */
#define KV_FN_TIMESTAMP 0x040 /* timestamp */
#define KV_FN_INTERVAL 0x080  /* interval */
#define KV_FN_KEYWORD 0x100   /* an interval name (TIMESTAMPADD/DIFF) or EXTRACT's field */
#define KV_FN_ANY 0x200       /* any type; as a result: the arguments' type */
#define KV_FN_OPTIONAL 0x800  /* the argument may be left off */

/* The longest text a string function returns (1 GiB): a longer result of
   CONCAT, INSERT, REPEAT, REPLACE or SPACE is refused with SQLSTATE HY001
   before anything is allocated. */
#define KV_FN_MAX_STRING_LENGTH (1L << 30)

/* Largest number of argument classes a row holds. */
#define KV_FN_MAX_ARGS 11

/* Returned by sql92_get_function_id for a name that is not there. */
#define KV_FN_UNKNOWN (-99)

/* One catalogue row. A driver may lay out its own record like this one to
   pass to execute_function; the last arg_types entry then carries the SQL
   type TIMESTAMPADD is to return. */
struct FunctionEntry {
    const char *name;          /* upper case */
    int32_t id;                /* aliases share one id; NODE_SCALAR_FUNCTION carries it */
    int32_t max_args;          /* largest argument count, 0 to 4 */
    kv_scalar_function function;
    uint32_t result_type;      /* class of the result */
    uint32_t arg_types[KV_FN_MAX_ARGS]; /* class of each argument; 0 from max_args on */
};

/* The id of function `name` (compared without case, ASCII only, whatever the
   process locale): among the SQL-92 keyword forms when `sql92_form` is
   non-zero, among the ODBC names otherwise. KV_FN_UNKNOWN (-99) when the
   name is not there or NULL. */
KV_EXPORT int32_t sql92_get_function_id(const char *name, int sql92_form);

/* The name of the first row with `id`, looking in the ODBC names first and
   then in the keyword forms (so 9 gives "CHARACTER_LENGTH", -8 "UPPER"); a
   constant text, or NULL for an id in neither table (-5, TRIM, included). */
KV_EXPORT const char *sql92_get_function_name(int32_t id);

/* The row found as for sql92_get_function_name, or NULL. The row is
   constant and lives as long as the library. */
KV_EXPORT const FunctionEntry *sql92_get_function_info(int32_t id);

/* The argument counts of the function with `id`: *max_out its max_args and
   *min_out the number of its arguments that may not be left off. Looks in
   the ODBC names, then the keyword forms; 0 and 0 for an unknown id. Either
   output may be NULL. */
KV_EXPORT void sql92_get_function_arg_range(int32_t id, int32_t *min_out, int32_t *max_out);

/* Runs `entry`'s implementation on the arguments and returns its result (a
   new Value on ctx->mem), or NULL: when `mode` is non-zero for any function
   but IFNULL (nothing is called), for CONVERT, and when memory runs out.
   Call inside a setjmp on ctx->jump: an error posts a diagnostic on the
   statement, sets ctx->status to -1 and longjmps there with -1. */
KV_EXPORT Value *execute_function(const FunctionEntry *entry, EvalContext *ctx, int32_t argc, Value **argv,
                                  int32_t mode, void *eval_data);

/* The order of the rows: names compared byte by byte after ASCII upper-case
   folding (bytes unsigned), a name before every longer name it begins, '_'
   after the letters. -1, 0 or 1. `a` and `b` point to rows or to records
   laid out like a row (only the name is read). */
KV_EXPORT int compare_function(const void *a, const void *b);

KV_END_DECLS

#endif
