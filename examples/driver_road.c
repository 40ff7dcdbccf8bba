/*
** A driver's road through libkvsupp, step by step: the handle tree of an
** environment, a connection and a statement; diagnostics for an ODBC 3 and an
** ODBC 2 application; an evaluation that leaves through the error exit; a
** query time-out and a cancel; and the whole tree released at once.
**
** Written in C against <kvsupp.h> alone, as a driver is.
*/
#include <kvsupp.h>

#include <setjmp.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static int step_number;

static void step(const char *what)
{
    printf("\n[%d] %s\n", ++step_number, what);
}

static int closed_files;

/* Stands in for a block that owns an outside resource (an open file, say). */
static void close_resource(void *resource)
{
    printf("    destructor: closing %s\n", (const char *)resource);
    closed_files++;
}

static void show_records(const char *who, ErrorHeader *header, int odbc_version)
{
    int32_t count = 0;
    GetDiagField(odbc_version, header, 0, SQL_DIAG_NUMBER, &count, 0, NULL);
    printf("    %s: %d record(s)\n", who, count);
    for (int i = 1; i <= count; i++) {
        char state[6], message[256], origin[32];
        int32_t native = 0;
        GetDiagRec(header, i, state, &native, message, sizeof message, NULL);
        GetDiagField(odbc_version, header, i, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, NULL);
        printf("      #%d SQLSTATE %s native %d class origin \"%s\": %s\n", i, state, native, origin, message);
    }
}

/* An evaluation the way the driver runs one: arm setjmp on the statement's
   context, call into the library, and learn of an error by coming back here
   with -1. The division by zero makes the library take its error exit. */
static void evaluate_with_error_exit(EvalContext *context)
{
    NumericValue dividend, divisor;
    create_numeric("10.50", &dividend, 10, 2);
    create_numeric("0", &divisor, 10, 0);
    if (setjmp(context->jump) == 0) {
        printf("    setjmp armed; evaluating 10.50 / 0 with div_numeric ...\n");
        div_numeric(&dividend, &divisor, context);
        printf("    (not reached)\n");
        return;
    }
    printf("    back at setjmp: status %d, statement return code %d\n", context->status,
           context->stmt->error_header->return_code);
}

int main(void)
{
    printf("=== libkvsupp: handles, diagnostics, error exit, time-outs\n");

    step("Allocate the handle tree: environment > connection > statement");
    MemHandle *env_mem = kv_mem_alloc_handle(NULL);
    MemHandle *conn_mem = kv_mem_alloc_handle(env_mem);
    MemHandle *stmt_mem = kv_mem_alloc_handle(conn_mem);
    printf("    environment %p, connection %p (parent %p), statement %p (parent %p)\n", (void *)env_mem,
           (void *)conn_mem, (void *)conn_mem->parent, (void *)stmt_mem, (void *)stmt_mem->parent);

    DriverEnvironment env = {KV_KIND_ENVIRONMENT, 3, NULL};
    env.error_header = CreateErrorHeader(env_mem, &env);
    DriverConnection conn;
    memset(&conn, 0, sizeof conn);
    conn.kind = KV_KIND_CONNECTION;
    conn.mem = conn_mem;
    conn.error_header = CreateErrorHeader(conn_mem, &env);
    DriverStatement stmt;
    memset(&stmt, 0, sizeof stmt);
    stmt.kind = KV_KIND_STATEMENT;
    stmt.connection = &conn;
    stmt.error_header = CreateErrorHeader(stmt_mem, &env);
    printf("    error headers created (ODBC %d application)\n", env.odbc_version);

    step("Blocks with destructors and a node on the statement's handle");
    char *file_a = kv_mem_alloc_ex(stmt_mem, 32, close_resource);
    strcpy(file_a, "blob file A");
    char *file_b = kv_mem_alloc_ex(conn_mem, 32, close_resource);
    strcpy(file_b, "connection file B");
    Value *literal = newNode(sizeof(Value), KV_NODE_VALUE, stmt_mem);
    printf("    node kind %d, owned by handle %p\n", literal->kind, (void *)literal->mem);

    step("ODBC 3 application: SQLExecDirect fails, the driver posts on the statement");
    SetupErrorHeader(stmt.error_header, SQL_DIAG_INSERT);
    PostDalError(&stmt, "Firebird", -530, "23000", "violation of FOREIGN KEY constraint");
    PostError(stmt.error_header, 1, 2, NULL, 0, 1, "ODBC3.0", "01004", "String data, right truncated");
    show_records("statement", stmt.error_header, 3);
    {
        char function[32];
        int32_t rc = 0;
        GetDiagField(3, stmt.error_header, 0, SQL_DIAG_DYNAMIC_FUNCTION, function, sizeof function, NULL);
        GetDiagField(3, stmt.error_header, 0, SQL_DIAG_RETURNCODE, &rc, 0, NULL);
        printf("    SQL_DIAG_DYNAMIC_FUNCTION \"%s\", SQL_DIAG_RETURNCODE %d\n", function, rc);
        char small[10];
        int16_t full = 0;
        int rc_cut = GetDiagRec(stmt.error_header, 1, NULL, NULL, small, sizeof small, &full);
        printf("    message into a 10-byte buffer: \"%s\" (full length %d, result %d)\n", small, full, rc_cut);
    }

    step("ODBC 2 application: the same states come back mapped");
    {
        DriverEnvironment env2 = {KV_KIND_ENVIRONMENT, 2, NULL};
        ErrorHeader *old_app = CreateErrorHeader(env_mem, &env2);
        PostError(old_app, 2, 0, NULL, 0, 0, "ISO 9075", "HY000", "General error");
        PostError(old_app, 2, 0, NULL, 0, 0, "ISO 9075", "HYT00", "Timeout Expired");
        PostError(old_app, 2, 0, NULL, 0, 0, "ISO 9075", "42S02", "Table unknown");
        show_records("ODBC 2 handle", old_app, 2);
        int32_t rows = 0;
        printf("    SQL_DIAG_ROW_COUNT asked by ODBC 2: result %d\n",
               GetDiagField(2, old_app, 0, SQL_DIAG_ROW_COUNT, &rows, 0, NULL));
        FreeErrorHeader(old_app);
    }

    step("An evaluation leaves through the error exit to its setjmp");
    SetupErrorHeader(stmt.error_header, SQL_DIAG_SELECT_CURSOR);
    {
        EvalContext context;
        memset(&context, 0, sizeof context);
        context.stmt = &stmt;
        context.mem = stmt_mem;
        evaluate_with_error_exit(&context);
        show_records("statement", stmt.error_header, 3);
    }

    step("A query time-out and a cancel seen by check_timeout");
    SetupErrorHeader(stmt.error_header, SQL_DIAG_SELECT_CURSOR);
    stmt.state = 2;
    stmt.deadline = time(NULL) + 30;
    printf("    deadline in 30 s: check_timeout -> %d\n", check_timeout(&stmt));
    stmt.deadline = time(NULL) - 1;
    printf("    deadline passed:  check_timeout -> %d\n", check_timeout(&stmt));
    stmt.deadline = 0;
    stmt.cancel_requested = 1;
    {
        int result = check_timeout(&stmt);
        printf("    cancel requested: check_timeout -> %d (request now %d)\n", result, stmt.cancel_requested);
    }
    printf("    nothing pending:  check_timeout -> %d\n", check_timeout(&stmt));
    show_records("statement", stmt.error_header, 3);

    step("Release the whole tree at once (statement's destructors run before the connection's)");
    kv_mem_release_handle(env_mem);
    printf("    %d destructor(s) ran; every header, record, node and block is gone\n", closed_files);
    return 0;
}
