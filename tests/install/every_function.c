/*
** Built outside the tree against the installed <kvsupp.h> alone: calls
** every function of the memory, string, diagnostic, thread, calendar,
** interval and literal families and checks what it gets back. Exits 0 when all is well.
** The hash table, cursor-name, trace and printer families too (one trace line goes to
** standard error).
*/
#include <kvsupp.h>

#include <setjmp.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int failures;

#define CHECK(cond)                                                         \
    do {                                                                    \
        if (!(cond)) {                                                      \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                                     \
        }                                                                   \
    } while (0)

static int destructor_runs;
static void count_destructor(void *p)
{
    (void)p;
    destructor_runs++;
}

static void memory(void)
{
    MemHandle *root = kv_mem_alloc_handle(NULL);
    MemHandle *child = kv_mem_alloc_handle(root);
    char *block = kv_mem_alloc(root, 16);
    void *with_destructor = kv_mem_alloc_ex(child, 8, count_destructor);
    void *node = kv_mem_alloc_node(child, 32, 950);
    Value *value = newNode(sizeof(Value), KV_NODE_VALUE, child);
    CHECK(root && child && block && with_destructor && node && value);
    CHECK(value->kind == KV_NODE_VALUE && value->mem == child);
    CHECK(kv_mem_clone(root, block) == block);
    kv_mem_free(root, block);
    kv_mem_free(root, block);
    kv_mem_trace_init(NULL);
    kv_mem_trace_term(NULL);
    kv_mem_release_handle(root);
    CHECK(destructor_runs == 1);
}

static void strings(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    char buffer[8];
    uint16_t wide[8];
    int16_t len16 = 0;
    int32_t len32 = 0;
    char text[] = "a,b";
    char *save = NULL;
    CHECK(copy_str_buffer(buffer, 5, &len16, "hello") == 1 && strcmp(buffer, "hell") == 0 && len16 == 5);
    CHECK(copy_str_bufferl(buffer, 8, &len32, "hello") == 0 && len32 == 5);
    CHECK(copy_nstr_bufferl(wide, 8, &len32, "hi") == 0 && wide[1] == 'i' && wide[2] == 0);
    buffer[0] = '\0';
    len16 = 0;
    CHECK(cat_str_buffer(buffer, 8, &len16, "ab") == 0 && len16 == 2);
    CHECK(strcmp(string_duplicate("dup", h), "dup") == 0);
    CHECK(string_compare("Abc", "aBC") == 0);
    CHECK(strcmp(safe_strtok(text, ",", &save), "a") == 0);
    CHECK(strcmp(function_string(-2), "DROP_INDEX") == 0);
    kv_mem_release_handle(h);
}

static void diagnostics(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    DriverEnvironment env = {KV_KIND_ENVIRONMENT, 2, NULL};
    char state[6], message[64];
    int32_t native = 0;
    int32_t number = 0;
    env.error_header = CreateErrorHeader(h, &env);
    SetupErrorHeader(env.error_header, SQL_DIAG_INSERT);
    CHECK(SetReturnCode(env.error_header, 1) == 1);
    SetErrorCount(env.error_header, 3);
    PostError(env.error_header, 1, 0, NULL, 5, 0, "ODBC3.0", "HY000", "n=%d", 1);
    PostDalError(&env, "Firebird", 6, "08001", "refused");
    CHECK(GetDiagRec(env.error_header, 1, state, &native, message, sizeof message, NULL) == 0);
    CHECK(strcmp(state, "S1000") == 0 && native == 5 && strcmp(message, "[Kestrova ODBC]n=1") == 0);
    CHECK(GetDiagField(3, env.error_header, 0, SQL_DIAG_NUMBER, &number, 0, NULL) == 0 && number == 2);
    CHECK(strcmp(map_table[0][0], "01001") == 0);
    FreeErrorHeader(env.error_header);
    kv_mem_release_handle(h);
}

static void threads_and_timeouts(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    DriverStatement stmt;
    memset(&stmt, 0, sizeof stmt);
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = CreateErrorHeader(h, NULL);
    odbc_thread_init();
    CHECK(odbc_thread_create(NULL, NULL) == 0 && thread_cleanup(NULL) == 0);
    CHECK(thread_wait_on_semaphore(NULL) == 0);
    thread_clear_semaphore(NULL);
    thread_close_semaphore(NULL);
    CHECK(can_connect_async(NULL) == 0 && can_statement_async(NULL) == 0);
    CHECK(mutex_entry(NULL) == 0 && mutex_exit(NULL) == 0);
    thread_term();
    stmt.state = 2;
    stmt.deadline = time(NULL) - 1;
    CHECK(check_timeout(&stmt) == -1);
    kv_mem_release_handle(h);
}

static void dates_and_literals(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    int y = 0, m = 0, d = 0;
    CHECK(ymd_to_jdnl(2000, 1, 1, -1) == 2451545);
    jdnl_to_ymd(2361222, &y, &m, &d, -1);
    CHECK(y == 1752 && m == 9 && d == 14);
    CHECK(jdnl_to_dow(2451545) == 6);
    CHECK(current_year() > 2000 && current_month() >= 1 && current_day() >= 1);
    SQL_DATE_STRUCT d1 = {2024, 5, 3}, d2 = {2024, 5, 1};
    SQL_TIME_STRUCT t1 = {1, 2, 3};
    SQL_TIMESTAMP_STRUCT ts1 = {2024, 1, 1, 0, 0, 0, 0};
    CHECK(date_compare(&d1, &d2) == 2 && time_compare(&t1, &t1) == 0 && timestamp_compare(&ts1, &ts1) == 0);

    Value *ts = MakeLiteral(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 23:59:59'}", h);
    NodeIntervalField field = {NODE_INTERVAL_FIELD, KV_FIELD_SECOND, 0, NULL};
    NodeIntervalQualifier qualifier = {NODE_INTERVAL_QUALIFIER, NULL, NULL, &field};
    IntervalParts parts = {0, 0, 1, 0, NULL, 1, 0, 0};
    Value *second = MakeInterval('+', &parts, &qualifier, h);
    Value *sum = newNode(sizeof(Value), KV_NODE_VALUE, h);
    CHECK(ts && second && sum);
    interval_operation(ts, second, sum, NULL, KV_OP_ADD);
    CHECK(sum->data.ts.month == 2 && sum->data.ts.day == 1 && sum->data.ts.hour == 0);
    CHECK(get_base_value(&second->data.iv, NULL) == 1);
    normalise_interval(61, 0, second);
    CHECK(interval_compare(&second->data.iv, &second->data.iv) == 0 && compare_interval(second, second) == 0);
    timestamp_add(sum, ts, 1, 0, 0);
    timestamp_add_noconvert(sum, ts, 0, 1, 0);
    time_add(sum, ts, 1, 0);
    date_add(sum, ts, 0, 1);
    CHECK(sum->type == VT_TIMESTAMP && sum->data.ts.day == 1);

    int status = 0;
    CHECK(MakeNumeric("1", "5", h)->type == VT_DOUBLE);
    CHECK(MakeNumericEx("1234567", NULL, h, &status)->type == VT_NUMERIC && status == 0);
    CHECK(MakeInteger("7", h)->data.i == 7 && MakeFloat("2.5", h)->data.d == 2.5);
    CHECK(MakeNull(h)->type == VT_NULL);
    CHECK(MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIME, NULL, 2, h)->precision == 2);
    CHECK(MakeDynamic(3, h)->number == 3 && ConvertToInteger("12") == 12L);
    kv_mem_release_handle(h);
}

static void catalogue(void)
{
    int32_t least = -1, most = -1;
    const FunctionEntry *row = sql92_get_function_info(33);
    CHECK(sql92_get_function_id("locate", 0) == 33 && sql92_get_function_id("POSITION", 1) == -3);
    CHECK(row && compare_function(row, row) == 0 && sql92_get_function_name(-8) != NULL);
    sql92_get_function_arg_range(33, &least, &most);
    CHECK(least == 2 && most == 3);
    CHECK(execute_function(sql92_get_function_info(0), NULL, 0, NULL, 1, NULL) == NULL);
}

static int trace_to_stderr(Registry *registry, const char *format, ...)
{
    va_list arguments;
    int result;
    va_start(arguments, format);
    result = _log_message("every_function.c", __LINE__, 1, registry, format, arguments);
    va_end(arguments);
    return result;
}

static void hash_cursor_trace(void)
{
    HashTable *table = kv_make_hash_table(0);
    HashItem *item;
    int datum = 1;
    CHECK(table && table->size == 53 && kv_hash_string("ab", table) == 9);
    item = kv_add_hash_item("ab", table);
    CHECK(item && item->hits == 0 && kv_add_hash_item("ab", table) == item && item->hits == 1);
    item->data = &datum;
    CHECK(kv_find_hash_item("ab", table) == item && kv_get_hash_bucket(9, table) == item);
    CHECK(kv_remove_hash_item("ab", table) == item && table->count == 0);
    free(item);
    kv_add_hash_item("cd", table);
    kv_flush_hash_table(table, NULL, 0);
    kv_dispose_hash_table(table);

    MemHandle *h = kv_mem_alloc_handle(NULL);
    DriverConnection connection;
    DriverStatement first, second;
    memset(&connection, 0, sizeof connection);
    memset(&first, 0, sizeof first);
    memset(&second, 0, sizeof second);
    connection.kind = KV_KIND_CONNECTION;
    connection.mem = h;
    first.kind = second.kind = KV_KIND_STATEMENT;
    first.connection = second.connection = &connection;
    CHECK(generate_cursor_name(&first) == 0 && strcmp(get_cursor_name(&first), "SQL_CUR00000000") == 0);
    CHECK(insert_cursor_name(&second, "orders") == 0 && get_stmt_by_cursor(&first, "orders") == &second);
    remove_cursor_name(&first, "orders");
    CHECK(get_stmt_by_cursor(&first, "orders") == NULL && second.cursor_name[0] == '\0');
    kv_mem_release_handle(h);

    Registry *registry = open_registry();
    set_config(registry, "/dev/null"); /* no log_file: the line goes to standard error */
    CHECK(set_trace_mask(0) == 0 && get_trace_mask() == 0);
    log_message("every_function.c", __LINE__, 1, "not written: the mask is 0");
    CHECK(trace_to_stderr(registry, "every_function: a trace line %I %e", (SQLINTEGER)7, 0) == 0);
    close_registry(registry);
}

static void connection_strings(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    AttributeList list, other;
    char buffer[128];
    int32_t needed = 0;
    CHECK(init_con_str(&list) == &list && list.count == 0);
    CHECK(parse_connection_string(&list, h, "DSN=s;uid=a;PWD={x;y}", SQL_NTS, 0) == 0 && list.count == 3);
    CHECK(parse_connection_string(&other, h, "ROLE=r", SQL_NTS, KV_CONSTR_NO_DEFAULT_DSN) == 0);
    CHECK(append_pair(&list, "Charset", "UTF8", h) == 0);
    CHECK(strcmp(get_attribute_value(&list, "UID"), "a") == 0);
    CHECK(merge_connection_string(&list, &other, h) == 0 && list.count == 5);
    CHECK(modify_connection_string(&list, "role", "s", h) == 0);
    CHECK(change_connection_string(&list, "CHARSET", "LC", h) == 0);
    CHECK(replace_connection_string(&list, "LC", "LCTYPE", h) == 0);
    delete_connection_string(&list, "lctype", h);
    CHECK(strcmp(generate_connection_string(&list, buffer, sizeof buffer), "DSN=s;UID=a;PWD={x;y};ROLE=s;") == 0);
    CHECK(generate_connection_string_len(&list, buffer, 8, &needed) == 1 && needed == 29);
    CHECK(strcmp(generate_connection_string_ex(&list, buffer), "DSN=s;UID=a;PWD={x;y};ROLE=s;") == 0);
    CHECK(generate_connection_string_ex_len(&list, buffer, sizeof buffer, &needed) == 0 && needed == 29);
    CHECK(generate_connection_string_config(&list, buffer, sizeof buffer) == buffer && strcmp(buffer, "DSN=s") == 0);
    CHECK(generate_connection_string_config_len(&list, buffer, sizeof buffer, &needed) == 0 && needed == 28);
    kv_mem_release_handle(h);
}

static int append_piece(const char *piece, void *context)
{
    strncat(context, piece, 63 - strlen(context));
    return 0;
}

static void printer(void)
{
    MemHandle *h = kv_mem_alloc_handle(NULL);
    NodeCommit *commit = newNode(sizeof(NodeCommit), NODE_COMMIT, h);
    NodeList *request = newNode(sizeof(NodeList), NODE_LIST, h);
    NodeExpression *marked = newNode(sizeof(NodeExpression), NODE_EXPRESSION, h);
    char text[64] = "";
    CHECK(commit && request && marked);
    request->items = ListAppend(commit, ListAppend(commit, NULL, h), h);
    CHECK(sql92_print_parse_tree(request, append_piece, text) == 0 && strcmp(text, "COMMIT WORK ; COMMIT WORK ") == 0);
    marked->expression_class = KV_EXPR_OPERATOR;
    marked->operator_code = KV_OP_EQUAL;
    marked->left = (Node *)MakeInteger("1", h);
    marked->right = (Node *)MakeInteger("2", h);
    marked->print_as_true = 1;
    text[0] = '\0';
    CHECK(sql92_print_expression(marked, append_piece, text) == 0 && strcmp(text, " (0=0) ") == 0);
    text[0] = '\0';
    CHECK(sql92_print_expression_ex(marked, append_piece, text, KV_PRINT_MARKED) == 0 &&
          strcmp(text, "( 1  = 2  )") == 0);
    kv_mem_release_handle(h);
}

int main(void)
{
    memory();
    strings();
    diagnostics();
    threads_and_timeouts();
    dates_and_literals();
    catalogue();
    hash_cursor_trace();
    connection_strings();
    printer();
    if (failures)
        return 1;
    puts("every function answered");
    return 0;
}
