/*
** The driver's records, as far as libkvsupp reads them, and the evaluation
** context of scalar functions and operators.
**
** The driver defines its environment, connection and statement records with
** the members below first, in this order; it may keep more members after
** them (for example by embedding one of these records as its first member).
** The library touches no other member and writes only where noted.
*/
#ifndef KVSUPP_DRIVER_H
#define KVSUPP_DRIVER_H

#include <setjmp.h>
#include <stdint.h>
#include <time.h>

#include "connfunc.h"
#include "export.h"
#include "list.h"
#include "memsys.h"
#include "odbcerror.h"
#include "types.h"

KV_BEGIN_DECLS

/* The kinds that start the driver's records. */
#define KV_KIND_ENVIRONMENT 200
#define KV_KIND_CONNECTION 201
#define KV_KIND_STATEMENT 202

/* Length of the cursor-name array of a statement, terminator included. */
#define KV_CURSOR_NAME_SIZE 128

/* Reads long data in pieces with the SQLGetData conventions: 0 delivered
   completely, 1 cut at `buffer_length`, anything else a failure. Same shape
   as extract_from_long_buffer. */
typedef int (*kv_read_long_data)(LongBuffer *buffer, void *destination, int32_t buffer_length,
                                 int32_t *length, int binary);
/* Restarts reading at the beginning. Same shape as rewind_long_buffer. */
typedef int (*kv_rewind_long_data)(LongBuffer *buffer);

/* The common head of every driver record. */
struct DriverHandle {
    int32_t kind;
};

struct DriverEnvironment {
    int32_t kind;               /* 200 */
    int32_t odbc_version;       /* copied into each ErrorHeader */
    ErrorHeader *error_header;
};

struct DriverConnection {
    int32_t kind;               /* 201 */
    MemHandle *mem;             /* cursor-name list items live here */
    ErrorHeader *error_header;
    char *database;             /* database name, or NULL */
    List *cursor_list;          /* statements with cursor names (read and written) */
    uint32_t cursor_counter;    /* read and incremented when naming cursors */
    AttributeList attributes;   /* the parsed connection string */
    kv_read_long_data read_long_data;
    kv_rewind_long_data rewind_long_data;
};

struct DriverStatement {
    int32_t kind;               /* 202 */
    DriverConnection *connection;
    ErrorHeader *error_header;
    int32_t state;              /* the query time-out applies in states 2 and 3 */
    char cursor_name[KV_CURSOR_NAME_SIZE]; /* read and written */
    time_t statement_time;      /* start of the statement, seconds since the epoch */
    int32_t cancel_requested;   /* read and cleared by check_timeout */
    time_t deadline;            /* seconds since the epoch; 0 = no time-out */
};

/* The driver's evaluator of one argument expression. */
typedef Value *(*kv_evaluate)(void *expression, EvalContext *context, int mode, void *data);

/* Passed first to every scalar function and operator. An error inside an
   evaluation posts a record on stmt's error_header, sets the statement's
   return code and `status` to -1 and longjmps to `jump` with -1; what was
   allocated on `mem` stays there until the driver releases the handle. */
struct EvalContext {
    jmp_buf jump;               /* filled by the driver's setjmp before evaluating */
    int32_t status;             /* -1 after an error exit */
    DriverStatement *stmt;
    MemHandle *mem;             /* result values and scratch strings */
    kv_evaluate evaluate;
};

KV_END_DECLS

#endif
