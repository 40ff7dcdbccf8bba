/*
** fbsetup_create_database: creates an empty Firebird database at a path.
** A plain file path is created by the embedded engine in-process, with no
** server; the demo uses it to have a database to test the connection to.
*/
#include <ibase.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2 || strchr(argv[1], '\'')) {
        fprintf(stderr, "usage: %s PATH (without single quotes)\n", argv[0]);
        return 2;
    }
    char sql[4200];
    int n = snprintf(sql, sizeof sql, "CREATE DATABASE '%s' USER 'SYSDBA' DEFAULT CHARACTER SET UTF8", argv[1]);
    if (n < 0 || (size_t)n >= sizeof sql) {
        fprintf(stderr, "%s: path too long\n", argv[0]);
        return 2;
    }
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql, 3, NULL)) {
        char message[512];
        const ISC_STATUS *cursor = status;
        while (fb_interpret(message, sizeof message, &cursor) > 0) fprintf(stderr, "%s\n", message);
        return 1;
    }
    isc_detach_database(status, &db);
    fb_shutdown(0, fb_shutrsn_app_stopped);
    return 0;
}
