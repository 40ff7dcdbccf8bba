/*
** Connecting, and the string functions a driver evaluates itself: the
** connection string a driver manager sends to SQLDriverConnect is parsed,
** the data source's stored attributes are merged under it (what the
** application gave wins), the completed string is generated back into a
** buffer of the application's size, and a few string functions run through
** execute_function on values a statement would hold.
**
** Written in C against <kvsupp.h> alone, as a driver is.
*/
#include <kvsupp.h>

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

static void show_pairs(const char *title, AttributeList *list)
{
    ListItem *item;
    printf("    %s (%d pairs):\n", title, list->count);
    if (list->count == 0)
        return;
    for (item = ListFirst(list->pairs); item; item = ListNext(item)) {
        AttributePair *pair = ListData(item);
        printf("      %-10s = \"%s\"\n", pair->key, pair->value);
    }
}

/* A string Value on `mem` holding `text` (the library never writes it). */
static Value *string_value(MemHandle *mem, const char *text)
{
    Value *v = newNode(sizeof(Value), KV_NODE_VALUE, mem);
    v->type = VT_STRING;
    v->data.s = (char *)text;
    v->length = (int32_t)strlen(text);
    return v;
}

static Value *integer_value(MemHandle *mem, int32_t n)
{
    Value *v = newNode(sizeof(Value), KV_NODE_VALUE, mem);
    v->type = VT_INTEGER;
    v->data.i = n;
    return v;
}

static void show_result(const char *call, const Value *v)
{
    if (!v)
        printf("    %-46s -> (no value)\n", call);
    else if (v->indicator == SQL_NULL_DATA)
        printf("    %-46s -> NULL\n", call);
    else if (v->type == VT_STRING)
        printf("    %-46s -> '%s' (length %d)\n", call, v->data.s, v->length);
    else
        printf("    %-46s -> %d\n", call, v->data.i);
}

/* One call the way the driver's evaluator makes it: under a setjmp on the
   statement's context, so an error comes back here. */
static void evaluate(EvalContext *ctx, const char *name, const char *shown, Value **argv, int argc)
{
    const FunctionEntry *entry = sql92_get_function_info(sql92_get_function_id(name, 0));
    char state[6] = "", message[256] = "";
    if (setjmp(ctx->jump) == 0) {
        show_result(shown, execute_function(entry, ctx, argc, argv, 0, NULL));
        return;
    }
    GetDiagRec(ctx->stmt->error_header, ctx->stmt->error_header->record_count, state, NULL, message,
               sizeof message, NULL);
    printf("    %-46s -> error exit, SQLSTATE %s: %s\n", shown, state, message);
    ctx->status = 0;
}

int main(void)
{
    MemHandle *env_mem = kv_mem_alloc_handle(NULL);
    MemHandle *conn_mem = kv_mem_alloc_handle(env_mem);
    MemHandle *stmt_mem = kv_mem_alloc_handle(conn_mem);
    DriverConnection connection;
    DriverStatement statement;
    EvalContext context;
    AttributeList stored;
    char completed[64], whole[256];
    int32_t needed = 0;
    int rc;
    /* What unixODBC hands the driver: the application's text, with a
       password that holds ';' and '}' inside braces, and a repeated key. */
    const char *from_manager = "DSN=Sales;UID=ann;PWD={s;ecr}}et};uid=eve;ROLE=clerk";

    memset(&connection, 0, sizeof connection);
    memset(&statement, 0, sizeof statement);
    memset(&context, 0, sizeof context);
    connection.kind = KV_KIND_CONNECTION;
    connection.mem = conn_mem;
    statement.kind = KV_KIND_STATEMENT;
    statement.connection = &connection;
    statement.error_header = CreateErrorHeader(stmt_mem, NULL);
    context.stmt = &statement;
    context.mem = stmt_mem;

    printf("Connecting: SQLDriverConnect(\"%s\")\n", from_manager);
    parse_connection_string(&connection.attributes, conn_mem, from_manager, SQL_NTS, 0);
    show_pairs("parsed (keys in upper case; the first UID wins)", &connection.attributes);

    /* The data source's attributes as fbsetup stored them in odbc.ini. */
    parse_connection_string(&stored, conn_mem, "DATABASE=/data/sales.fdb;UID=owner;CHARSET=UTF8;ROLE=admin",
                            SQL_NTS, KV_CONSTR_NO_DEFAULT_DSN);
    merge_connection_string(&stored, &connection.attributes, conn_mem);
    connection.attributes = stored;
    show_pairs("merged over the stored attributes", &connection.attributes);
    connection.database = (char *)get_attribute_value(&connection.attributes, "database");

    rc = generate_connection_string_len(&connection.attributes, whole, sizeof whole, &needed);
    printf("    completed string (rc %d, %d bytes): %s\n", rc, needed, whole);
    rc = generate_connection_string_len(&connection.attributes, completed, sizeof completed, &needed);
    printf("    into the application's 64 bytes: rc %d (01004), needs %d: %s\n", rc, needed, completed);

    printf("\nString functions the driver evaluates itself:\n");
    {
        Value *name = string_value(stmt_mem, "  Kestrova Firebird  ");
        Value *first = string_value(stmt_mem, "John");
        Value *last = string_value(stmt_mem, " Smith");
        Value *path = string_value(stmt_mem, "/data/sales.fdb");
        Value *args[4];

        args[0] = first, args[1] = last;
        evaluate(&context, "CONCAT", "CONCAT('John', ' Smith')", args, 2);
        args[0] = name;
        evaluate(&context, "UCASE", "UCASE('  Kestrova Firebird  ')", args, 1);
        evaluate(&context, "LTRIM", "LTRIM('  Kestrova Firebird  ')", args, 1);
        evaluate(&context, "LENGTH", "LENGTH('  Kestrova Firebird  ')", args, 1);
        evaluate(&context, "CHAR_LENGTH", "CHAR_LENGTH('  Kestrova Firebird  ')", args, 1);
        args[0] = string_value(stmt_mem, "sales"), args[1] = path;
        evaluate(&context, "LOCATE", "LOCATE('sales', '/data/sales.fdb')", args, 2);
        args[0] = path, args[1] = integer_value(stmt_mem, 7), args[2] = integer_value(stmt_mem, 5);
        evaluate(&context, "SUBSTRING", "SUBSTRING('/data/sales.fdb', 7, 5)", args, 3);
        args[0] = path, args[1] = string_value(stmt_mem, "sales"), args[2] = string_value(stmt_mem, "audit");
        evaluate(&context, "REPLACE", "REPLACE('/data/sales.fdb', 'sales', 'audit')", args, 3);
        args[0] = string_value(stmt_mem, "Robert");
        evaluate(&context, "SOUNDEX", "SOUNDEX('Robert')", args, 1);
        evaluate(&context, "USER", "USER()", args, 0);
        evaluate(&context, "DATABASE", "DATABASE()", args, 0);
        args[0] = path, args[1] = integer_value(stmt_mem, 2), args[2] = integer_value(stmt_mem, -1);
        evaluate(&context, "SUBSTRING", "SUBSTRING('/data/sales.fdb', 2, -1)", args, 3);
        args[0] = integer_value(stmt_mem, 2000000000);
        evaluate(&context, "SPACE", "SPACE(2000000000)", args, 1);
    }

    kv_mem_release_handle(env_mem);
    return 0;
}
