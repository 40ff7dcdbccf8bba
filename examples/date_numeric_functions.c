/*
** Numeric and date scalar functions as a driver evaluates them: each call
** looks up its catalogue row (sql92_get_function_info) and runs it with
** execute_function under a setjmp on the statement's EvalContext; errors
** come back there with their diagnostic. TIMESTAMPADD gets a row of the
** driver's own that asks for a date result.
*/
#include <kvsupp.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static MemHandle *mem;

static Value *new_value(int type)
{
    Value *v = newNode(sizeof(Value), KV_NODE_VALUE, mem);
    if (v)
        v->type = type;
    return v;
}

static Value *integer(int32_t i)
{
    Value *v = new_value(VT_INTEGER);
    if (v)
        v->data.i = i;
    return v;
}

static Value *bigint(int64_t i)
{
    Value *v = new_value(VT_BIGINT);
    if (v)
        v->data.big = i;
    return v;
}

static Value *dbl(double d)
{
    Value *v = new_value(VT_DOUBLE);
    if (v)
        v->data.d = d;
    return v;
}

static Value *date(int y, int m, int d)
{
    Value *v = new_value(VT_DATE);
    if (v) {
        v->data.date.year = (SQLSMALLINT)y;
        v->data.date.month = (SQLUSMALLINT)m;
        v->data.date.day = (SQLUSMALLINT)d;
    }
    return v;
}

static Value *timestamp(int y, int mo, int d, int h, int mi, int s)
{
    Value *v = new_value(VT_TIMESTAMP);
    if (v) {
        v->data.ts.year = (SQLSMALLINT)y;
        v->data.ts.month = (SQLUSMALLINT)mo;
        v->data.ts.day = (SQLUSMALLINT)d;
        v->data.ts.hour = (SQLUSMALLINT)h;
        v->data.ts.minute = (SQLUSMALLINT)mi;
        v->data.ts.second = (SQLUSMALLINT)s;
    }
    return v;
}

/* INTERVAL '1 02:03:04' DAY TO SECOND */
static Value *day_to_second(void)
{
    Value *v = new_value(VT_INTERVAL_DS);
    if (v) {
        v->data.iv.interval_type = SQL_IS_DAY_TO_SECOND;
        v->data.iv.intval.day_second.day = 1;
        v->data.iv.intval.day_second.hour = 2;
        v->data.iv.intval.day_second.minute = 3;
        v->data.iv.intval.day_second.second = 4;
    }
    return v;
}

/* An interval keyword as the parser hands it over: a column name whose
   column identifier is the keyword. */
static Value *keyword(const char *text)
{
    NodeIdentifier *id = newNode(sizeof(NodeIdentifier), NODE_IDENTIFIER, mem);
    NodeColumnName *column = newNode(sizeof(NodeColumnName), NODE_COLUMN_NAME, mem);
    if (!id || !column)
        return NULL;
    id->text = (char *)text;
    column->column = (Node *)id;
    return (Value *)column;
}

/* The shortest text that reads back as `d`: all the digits a double
   carries (value_as_text prints six). */
static const char *shortest(double d, char *text, size_t size)
{
    int precision;
    for (precision = 1; precision < 17; ++precision) {
        snprintf(text, size, "%.*g", precision, d);
        if (strtod(text, NULL) == d)
            return text;
    }
    snprintf(text, size, "%.17g", d);
    return text;
}

/* Runs one call and prints its result, or the diagnostic it left with. */
static void show(EvalContext *context, const char *call, const FunctionEntry *entry, int argc, Value **argv)
{
    char text[KV_VALUE_TEXT_SIZE], state[6], message[256];
    int32_t native = 0;
    Value *result;

    if (setjmp(context->jump) != 0) {
        ErrorHeader *diag = context->stmt->error_header;
        GetDiagRec(diag, diag->record_count, state, &native, message, sizeof message, NULL);
        printf("  %-58s error %s \"%s\"\n", call, state, message);
        context->status = 0;
        return;
    }
    result = execute_function(entry, context, argc, argv, 0, NULL);
    if (!result)
        printf("  %-58s (no value)\n", call);
    else if (result->type == VT_DOUBLE && result->indicator != SQL_NULL_DATA)
        printf("  %-58s %s\n", call, shortest(result->data.d, text, sizeof text));
    else
        printf("  %-58s %s\n", call, value_as_text(result, text));
}

/* The catalogue row of an ODBC function name. */
static const FunctionEntry *row(const char *name)
{
    return sql92_get_function_info(sql92_get_function_id(name, 0));
}

int main(void)
{
    DriverStatement stmt;
    EvalContext context;
    FunctionEntry as_date;
    struct tm start = {0};

    mem = kv_mem_alloc_handle(NULL);
    memset(&stmt, 0, sizeof stmt);
    memset(&context, 0, sizeof context);
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = CreateErrorHeader(mem, NULL);
    /* The statement's clock: every current-date function of the statement reads it. */
    start.tm_year = 2026 - 1900;
    start.tm_mon = 11;
    start.tm_mday = 11;
    start.tm_hour = 12;
    start.tm_isdst = -1;
    stmt.statement_time = mktime(&start);
    context.stmt = &stmt;
    context.mem = mem;
    if (!mem || !stmt.error_header) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }

    printf("Numeric functions\n");
    {
        Value *a[] = {dbl(2.5), integer(0)};
        show(&context, "ROUND(2.5, 0)", row("ROUND"), 2, a);
    }
    {
        Value *a[] = {dbl(-2.5), integer(0)};
        show(&context, "ROUND(-2.5, 0)", row("ROUND"), 2, a);
    }
    {
        Value *a[] = {dbl(1.005), integer(2)};
        show(&context, "ROUND(1.005, 2)", row("ROUND"), 2, a);
    }
    {
        Value *a[] = {integer(1250), integer(-2)};
        show(&context, "ROUND(1250, -2)", row("ROUND"), 2, a);
    }
    {
        Value *a[] = {dbl(0.29), integer(2)};
        show(&context, "TRUNCATE(0.29, 2)", row("TRUNCATE"), 2, a);
    }
    {
        Value *a[] = {bigint(4294967302LL), integer(7)};
        show(&context, "MOD(4294967302, 7)", row("MOD"), 2, a);
    }
    show(&context, "PI()", row("PI"), 0, NULL);
    {
        Value *a[] = {dbl(1.0)};
        show(&context, "DEGREES(1)", row("DEGREES"), 1, a);
    }
    {
        Value *a[] = {integer(42)};
        show(&context, "RAND(42)", row("RAND"), 1, a);
    }
    {
        Value *a[] = {dbl(-1.0)};
        show(&context, "SQRT(-1)", row("SQRT"), 1, a);
    }
    {
        Value *a[] = {integer(5), integer(0)};
        show(&context, "MOD(5, 0)", row("MOD"), 2, a);
    }

    printf("Date and time functions\n");
    show(&context, "CURDATE()   (the statement's clock)", row("CURDATE"), 0, NULL);
    show(&context, "NOW()", row("NOW"), 0, NULL);
    {
        Value *a[] = {date(2000, 12, 31)};
        show(&context, "DAYNAME({d '2000-12-31'})", row("DAYNAME"), 1, a);
        show(&context, "WEEK({d '2000-12-31'})", row("WEEK"), 1, a);
        show(&context, "DAYOFYEAR({d '2000-12-31'})", row("DAYOFYEAR"), 1, a);
    }
    {
        Value *a[] = {date(1752, 12, 31)};
        show(&context, "DAYOFYEAR({d '1752-12-31'})   (11 days skipped)", row("DAYOFYEAR"), 1, a);
    }
    {
        Value *a[] = {integer(3), day_to_second()};
        show(&context, "EXTRACT(HOUR FROM INTERVAL '1 02:03:04' DAY TO SECOND)", row("EXTRACT"), 2, a);
    }
    {
        Value *a[] = {keyword("SQL_TSI_MONTH"), integer(1), timestamp(2024, 1, 31, 10, 30, 0)};
        show(&context, "TIMESTAMPADD(SQL_TSI_MONTH, 1, {ts '2024-01-31 10:30:00'})", row("TIMESTAMPADD"), 3, a);
    }
    /* The driver asks for a date result with a row of its own. */
    as_date = *row("TIMESTAMPADD");
    as_date.arg_types[KV_FN_MAX_ARGS - 1] = SQL_TYPE_DATE;
    {
        Value *a[] = {keyword("SQL_TSI_HOUR"), integer(25), date(2000, 2, 28)};
        show(&context, "TIMESTAMPADD(SQL_TSI_HOUR, 25, {d '2000-02-28'}) as DATE", &as_date, 3, a);
    }
    {
        Value *a[] = {keyword("SQL_TSI_YEAR"), integer(1), date(32767, 6, 1)};
        show(&context, "TIMESTAMPADD(SQL_TSI_YEAR, 1, {d '32767-06-01'})", &as_date, 3, a);
    }
    {
        Value *a[] = {keyword("SQL_TSI_MONTH"), date(2024, 1, 31), date(2024, 2, 29)};
        show(&context, "TIMESTAMPDIFF(SQL_TSI_MONTH, 2024-01-31, 2024-02-29)", row("TIMESTAMPDIFF"), 3, a);
    }
    {
        Value *a[] = {keyword("SQL_TSI_DAY"), date(1752, 9, 2), date(1752, 9, 14)};
        show(&context, "TIMESTAMPDIFF(SQL_TSI_DAY, 1752-09-02, 1752-09-14)", row("TIMESTAMPDIFF"), 3, a);
    }
    {
        Value *a[] = {keyword("SQL_TSI_SECOND"), date(1900, 1, 1), date(2000, 1, 1)};
        show(&context, "TIMESTAMPDIFF(SQL_TSI_SECOND, 1900-01-01, 2000-01-01)", row("TIMESTAMPDIFF"), 3, a);
    }

    kv_mem_release_handle(mem);
    return 0;
}
