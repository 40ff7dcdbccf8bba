/*
** A driver's call trace and cursor names: the profile names a trace file,
** the driver turns the trace on for a few calls and off again, names the
** cursors of two statements (one generated, one set by the application) and
** finds the statement a positioned UPDATE names. The trace file is shown at
** the end.
*/
#define _POSIX_C_SOURCE 200809L
#include <kvsupp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define TRACE_CALLS 0x1u /* the driver's own trace category */
#define SOURCE "trace_cursors.c" /* a driver would pass __FILE__ */

static void print_file(const char *path)
{
    char line[512];
    FILE *file = fopen(path, "r");
    if (!file)
        return;
    while (fgets(line, sizeof line, file))
        printf("    | %s", line);
    fclose(file);
}

/* SQLSetCursorName as a driver writes it: a name in use is refused. */
static SQLRETURN set_cursor_name(DriverStatement *statement, const char *name)
{
    SQLRETURN rc = SQL_SUCCESS;
    DriverStatement *holder = get_stmt_by_cursor(statement, name);
    if (holder && holder != statement)
        rc = SQL_ERROR; /* 3C000, duplicate cursor name */
    else if (insert_cursor_name(statement, name) != 0)
        rc = SQL_ERROR; /* 34000, invalid cursor name */
    log_message(SOURCE, __LINE__, TRACE_CALLS, "SQLSetCursorName(%p, %S) = %e", (void *)statement, name,
                (SQLINTEGER)SQL_NTS, (int)rc);
    return rc;
}

int main(void)
{
    char directory[] = "/tmp/kvtrace-demo.XXXXXX";
    char profile[256], trace_file[300];
    if (!mkdtemp(directory)) {
        perror("mkdtemp");
        return 1;
    }
    snprintf(profile, sizeof profile, "%s/odbc.ini", directory);
    snprintf(trace_file, sizeof trace_file, "%s/trace.log", directory);
    FILE *file = fopen(profile, "w");
    if (!file) {
        perror(profile);
        return 1;
    }
    fprintf(file, "{settings}\nlog_file = %s\n", trace_file);
    fclose(file);
    snprintf(default_config, sizeof default_config, "%s", profile); /* the driver's profile */
    printf("trace_cursors: {settings} log_file = %s\n", trace_file);

    /* A connection with two statements, as the driver keeps them. */
    MemHandle *connection_mem = kv_mem_alloc_handle(NULL);
    DriverConnection connection = {0};
    connection.kind = KV_KIND_CONNECTION;
    connection.mem = connection_mem;
    DriverStatement report = {0}, orders = {0};
    report.kind = orders.kind = KV_KIND_STATEMENT;
    report.connection = orders.connection = &connection;

    log_message(SOURCE, __LINE__, TRACE_CALLS, "not written: the trace is off");
    set_trace_mask(TRACE_CALLS);
    printf("  trace on\n");

    /* SQLGetCursorName on a statement that was never named: a name is made. */
    generate_cursor_name(&report);
    char name[KV_CURSOR_NAME_SIZE];
    SQLSMALLINT name_length = (SQLSMALLINT)strlen(get_cursor_name(&report));
    snprintf(name, sizeof name, "%s", get_cursor_name(&report));
    log_message(SOURCE, __LINE__, TRACE_CALLS, "SQLGetCursorName(%p, %*S) = %e", (void *)&report, name,
                &name_length, SQL_SUCCESS);
    printf("  generated cursor name: %s\n", name);

    /* SQLSetCursorName by the application; a second use of the name fails. */
    set_cursor_name(&orders, "orders_cursor");
    printf("  naming the other statement orders_cursor as well: %s\n",
           set_cursor_name(&report, "orders_cursor") == SQL_ERROR ? "refused" : "ACCEPTED");

    /* UPDATE ... WHERE CURRENT OF orders_cursor, prepared on a third statement. */
    DriverStatement update = {0};
    update.kind = KV_KIND_STATEMENT;
    update.connection = &connection;
    DriverStatement *target = get_stmt_by_cursor(&update, "orders_cursor");
    printf("  WHERE CURRENT OF orders_cursor names the %s statement\n",
           target == &orders ? "orders" : target ? "WRONG" : "(no)");
    SQLLEN row_count = 1;
    log_message(SOURCE, __LINE__, TRACE_CALLS, "SQLRowCount(%p, %*l) = %e", (void *)&update, &row_count,
                SQL_SUCCESS);
    printf("  lookup with a different letter case finds %s\n",
           get_stmt_by_cursor(&update, "ORDERS_CURSOR") ? "a statement (WRONG)" : "nothing");

    set_trace_mask(0);
    log_message(SOURCE, __LINE__, TRACE_CALLS, "not written: the trace is off again");
    printf("  trace off; the trace file holds:\n");
    print_file(trace_file);

    /* SQLFreeHandle: each statement leaves the list before its record goes. */
    remove_cursor_name(&report, get_cursor_name(&report));
    remove_cursor_name(&orders, get_cursor_name(&orders));
    int ok = target == &orders && get_stmt_by_cursor(&update, "orders_cursor") == NULL;
    kv_mem_release_handle(connection_mem);

    remove(trace_file);
    remove(profile);
    rmdir(directory);
    printf("trace_cursors: %s\n", ok ? "done" : "FAILED");
    return ok ? 0 : 1;
}
