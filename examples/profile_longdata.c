/*
** A driver's use of the profile and of long data: it writes a profile file
** in a temporary directory, reads its settings, stores a long value in a
** long-data buffer under the profile's blob_path, reads it back in pieces
** with the SQLGetData rules, and changes one setting of the profile.
*/
#define _POSIX_C_SOURCE 200809L
#include <kvsupp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define VALUE_SIZE 100000
#define PIECE_SIZE 32768

static int write_profile(const char *path, const char *blob_path)
{
    FILE *file = fopen(path, "w");
    if (!file)
        return -1;
    fprintf(file, "# written by the profile_longdata example\n"
                  "{settings}\nlog_file = /tmp/kvsupp-trace.log\n\n"
                  "[Demo]\nDatabase = /var/lib/firebird/demo.fdb   \nrole=reader\nblob_path = %s\n",
            blob_path);
    return fclose(file);
}

static void print_file(const char *path)
{
    char line[256];
    FILE *file = fopen(path, "r");
    if (!file)
        return;
    while (fgets(line, sizeof line, file))
        printf("    | %s", line);
    fclose(file);
}

static void remove_tree(const char *directory, const char *profile)
{
    char backup[300];
    snprintf(backup, sizeof backup, "%s~", profile);
    remove(profile);
    remove(backup);
    rmdir(directory);
}

int main(void)
{
    char directory[] = "/tmp/kvdemo.XXXXXX";
    char profile_path[256];
    char text[256];
    int failed = 0;

    if (!mkdtemp(directory)) {
        perror("mkdtemp");
        return 1;
    }
    snprintf(profile_path, sizeof profile_path, "%s/odbc.ini", directory);
    if (write_profile(profile_path, directory) != 0) {
        perror(profile_path);
        return 1;
    }
    printf("profile_longdata: profile written to %s\n", profile_path);

    /* Settings through the profile. */
    Registry *registry = open_registry();
    set_config(registry, profile_path);
    set_dsn(registry, "Demo");
    get_profile_string(registry, 2, "demo", "DATABASE", "", text, sizeof text);
    printf("  [Demo] Database  = \"%s\" (trailing blanks trimmed)\n", text);
    get_profile_string(registry, 0, "settings", "log_file", "", text, sizeof text);
    printf("  {settings} log_file = \"%s\"\n", text);
    printf("  blob_path for the data source = \"%s\"\n", get_default(registry, "blob_path", text, sizeof text));

    /* A long value into a buffer on a statement's handle. */
    MemHandle *connection = kv_mem_alloc_handle(NULL);
    MemHandle *statement = kv_mem_alloc_handle(connection);
    LongBuffer *buffer = allocate_long_buffer(statement, 0, 0, registry, SQL_LONGVARCHAR);
    if (!buffer) {
        printf("  no long-data buffer could be created\n");
        return 1;
    }
    printf("  long buffer created as %s (already unlinked)\n", buffer->file_name);

    char *value = malloc(VALUE_SIZE + 1);
    for (int i = 0; i < VALUE_SIZE; i++)
        value[i] = (char)('A' + i % 26);
    value[VALUE_SIZE] = '\0';
    for (int at = 0; at < VALUE_SIZE; at += 10000)
        append_to_long_buffer(buffer, value + at, 10000);
    printf("  stored a long value of %d bytes in 10 appends\n", (int)long_buffer_length(buffer));

    /* Read back in pieces, as an application's SQLGetData calls would. */
    rewind_long_buffer(buffer);
    char *piece = malloc(PIECE_SIZE);
    size_t offset = 0;
    int rc;
    do {
        int32_t remaining = 0;
        rc = extract_from_long_buffer(buffer, piece, PIECE_SIZE, &remaining, 0);
        size_t got = strlen(piece);
        printf("  piece: result %d, %ld bytes remained, %zu delivered\n", rc, (long)remaining, got);
        if (rc < 0 || memcmp(piece, value + offset, got) != 0)
            failed = 1;
        offset += got;
    } while (rc == 1);
    printf("  read back %zu bytes: %s\n", offset, !failed && offset == VALUE_SIZE ? "identical" : "DIFFERENT");
    failed |= offset != VALUE_SIZE;

    /* Releasing the statement's handle closes the file. */
    kv_mem_release_handle(statement);
    kv_mem_release_handle(connection);
    free(piece);
    free(value);

    /* One setting changed in place; the previous text stays in the backup. */
    if (set_profile_string(registry, 2, "Demo", "role", "admin") != 0) {
        printf("  rewrite failed: %s\n", registry_error(registry));
        failed = 1;
    }
    get_profile_string(registry, 2, "Demo", "role", "", text, sizeof text);
    printf("  after set_profile_string: [Demo] role = \"%s\"; the profile now reads:\n", text);
    print_file(profile_path);

    close_registry(registry);
    remove_tree(directory, profile_path);
    printf("profile_longdata: %s\n", failed ? "FAILED" : "done");
    return failed;
}
