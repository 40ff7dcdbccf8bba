/*
** fbsetup_config_dsn: adds, configures or removes a data source through the
** ODBC installer's SQLConfigDataSource, which loads the driver's setup module.
**
**   fbsetup_config_dsn add|config|remove DRIVER [key=value ...]
**
** Each key=value argument is one entry of the attribute string. Prints the
** outcome and the installer's error records; exits 0 on success.
*/
#include <odbcinst.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int request_of(const char *word)
{
    if (strcmp(word, "add") == 0) return ODBC_ADD_DSN;
    if (strcmp(word, "config") == 0) return ODBC_CONFIG_DSN;
    if (strcmp(word, "remove") == 0) return ODBC_REMOVE_DSN;
    return 0;
}

/* The entries one after another, each ended by a NUL, then an empty entry. */
static char *attribute_string(int count, char **entries)
{
    size_t size = 1;
    for (int i = 0; i < count; ++i) size += strlen(entries[i]) + 1;
    char *text = malloc(size);
    if (!text) return NULL;
    char *at = text;
    for (int i = 0; i < count; ++i) {
        size_t n = strlen(entries[i]) + 1;
        memcpy(at, entries[i], n);
        at += n;
    }
    *at = '\0';
    return text;
}

static void print_installer_errors(void)
{
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char message[512];
        WORD length = 0;
        RETCODE rc = SQLInstallerError(i, &code, message, sizeof message, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        printf("  installer error %lu: %s\n", (unsigned long)code, message);
    }
}

int main(int argc, char **argv)
{
    int request = argc >= 3 ? request_of(argv[1]) : 0;
    if (!request) {
        fprintf(stderr, "usage: %s add|config|remove DRIVER [key=value ...]\n", argv[0]);
        return 2;
    }
    char *attributes = attribute_string(argc - 3, argv + 3);
    if (!attributes) return 1;
    BOOL ok = SQLConfigDataSource(NULL, (WORD)request, argv[2], attributes);
    free(attributes);
    printf("SQLConfigDataSource(%s, \"%s\"): %s\n", argv[1], argv[2], ok ? "TRUE" : "FALSE");
    if (!ok) print_installer_errors();
    return ok ? 0 : 1;
}
