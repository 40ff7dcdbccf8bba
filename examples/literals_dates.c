/*
** Literals, dates and intervals as a driver meets them: the parser turns the
** literals of a statement into values, builds an interval literal against its
** qualifier, and the driver adds the interval to a timestamp it could not
** hand to the server.
**
** Written in C against <kvsupp.h> alone, as a driver is.
*/
#include <kvsupp.h>

#include <stdio.h>
#include <string.h>

static int step_number;

static void step(const char *what)
{
    printf("\n[%d] %s\n", ++step_number, what);
}

static void show_value(const char *written, const Value *v)
{
    printf("    %-34s -> ", written);
    if (!v) {
        printf("NULL (does not fit its kind)\n");
        return;
    }
    switch (v->type) {
    case VT_INTEGER:
        printf("integer %d\n", v->data.i);
        break;
    case VT_DOUBLE:
        printf("double %.6f\n", v->data.d);
        break;
    case VT_STRING:
        printf("string \"%s\" (length %d)\n", v->data.s, v->length);
        break;
    case VT_BIT:
        printf("bit %d\n", v->data.i);
        break;
    case VT_BINARY:
        printf("binary of %d byte(s):", v->length);
        for (int i = 0; i < v->length; i++)
            printf(" %02X", v->data.b[i]);
        printf("\n");
        break;
    case VT_DATE:
        printf("date %04d-%02u-%02u\n", v->data.date.year, v->data.date.month, v->data.date.day);
        break;
    case VT_TIME:
        printf("time %02u:%02u:%02u\n", v->data.time.hour, v->data.time.minute, v->data.time.second);
        break;
    case VT_TIMESTAMP:
        printf("timestamp %04d-%02u-%02u %02u:%02u:%02u.%09u\n", v->data.ts.year, v->data.ts.month,
               v->data.ts.day, v->data.ts.hour, v->data.ts.minute, v->data.ts.second,
               (unsigned)v->data.ts.fraction);
        break;
    case VT_NUMERIC:
        printf("exact numeric, precision %d scale %d\n", v->precision, v->scale);
        break;
    case VT_NULL:
        printf("the NULL literal\n");
        break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        const SQL_INTERVAL_STRUCT *iv = &v->data.iv;
        printf("interval type %d %s: day %u hour %u minute %u second %u fraction %u\n", (int)iv->interval_type,
               iv->interval_sign ? "negative" : "positive", iv->intval.day_second.day,
               iv->intval.day_second.hour, iv->intval.day_second.minute, iv->intval.day_second.second,
               iv->intval.day_second.fraction);
        break;
    }
    default:
        printf("value of type %d\n", v->type);
    }
}

int main(void)
{
    printf("=== libkvsupp: literals, the calendar, intervals and datetime arithmetic\n");
    MemHandle *stmt_mem = kv_mem_alloc_handle(NULL);

    step("The parser's literals, each made on the statement's handle");
    show_value("'O''Hare' (character string)", MakeLiteral(KV_LITERAL_STRING, "'O''Hare'", stmt_mem));
    show_value("B'1' (bit)", MakeLiteral(KV_LITERAL_BIT, "B'1'", stmt_mem));
    show_value("X'CAFE5' (hexadecimal)", MakeLiteral(KV_LITERAL_HEX, "X'CAFE5'", stmt_mem));
    show_value("{d '2024-02-29'}", MakeLiteral(KV_LITERAL_DATE, "{d '2024-02-29'}", stmt_mem));
    show_value("{t '23:59:58'}", MakeLiteral(KV_LITERAL_TIME, "{t '23:59:58'}", stmt_mem));
    show_value("{ts '2024-01-31 23:59:59.25'}",
               MakeLiteral(KV_LITERAL_TIMESTAMP, "{ts '2024-01-31 23:59:59.25'}", stmt_mem));
    show_value("TIMESTAMP '2024-01-31' (no time)", MakeLiteral(KV_LITERAL_TIMESTAMP, "'2024-01-31'", stmt_mem));
    show_value("42", MakeInteger("42", stmt_mem));
    show_value("12345678901234567890", MakeInteger("12345678901234567890", stmt_mem));
    show_value("3.25", MakeNumeric("3", "25", stmt_mem));
    show_value("1.5E3", MakeFloat("1.5E3", stmt_mem));
    show_value("NULL", MakeNull(stmt_mem));
    show_value("CURRENT_TIMESTAMP(3)", MakeLiteralWithPrec(KV_LITERAL_CURRENT_TIMESTAMP, NULL, 3, stmt_mem));
    NodeParameter *marker = MakeDynamic(1, stmt_mem);
    printf("    %-34s -> parameter node kind %d, number %ld\n", "? (first marker)", marker->kind,
           (long)marker->number);

    step("An interval literal against its qualifier: INTERVAL '1 02:03:04.5' DAY TO SECOND");
    NodeIntervalField day = {NODE_INTERVAL_FIELD, KV_FIELD_DAY, 0, NULL};
    NodeIntervalField second = {NODE_INTERVAL_FIELD, KV_FIELD_SECOND_END, 0, NULL};
    NodeIntervalQualifier qualifier = {NODE_INTERVAL_QUALIFIER, &day, &second, NULL};
    IntervalParts parts;
    memset(&parts, 0, sizeof parts);
    parts.day = 1;
    parts.first_number = 2;
    parts.second_number = 3;
    parts.seconds = MakeNumeric("4", "5", stmt_mem);
    parts.count = 2;
    parts.has_day = 1;
    Value *interval = MakeInterval('+', &parts, &qualifier, stmt_mem);
    show_value("'1 02:03:04.5' DAY TO SECOND", interval);
    parts.first_number = 25;
    show_value("'1 25:03:04.5' DAY TO SECOND", MakeInterval('+', &parts, &qualifier, stmt_mem));

    step("The driver adds the interval to a timestamp the server was not given");
    Value *start = MakeLiteral(KV_LITERAL_TIMESTAMP, "{ts '2024-02-28 22:00:00'}", stmt_mem);
    Value *sum = newNode(sizeof(Value), KV_NODE_VALUE, stmt_mem);
    interval_operation(start, interval, sum, NULL, KV_OP_ADD);
    show_value("2024-02-28 22:00:00 + interval", sum);
    interval_operation(start, interval, sum, NULL, KV_OP_SUBTRACT);
    show_value("2024-02-28 22:00:00 - interval", sum);

    step("Interval with interval, and a number with an interval");
    NodeIntervalField day_only = {NODE_INTERVAL_FIELD, KV_FIELD_DAY, 0, NULL};
    NodeIntervalQualifier days_qualifier = {NODE_INTERVAL_QUALIFIER, NULL, NULL, &day_only};
    IntervalParts three;
    memset(&three, 0, sizeof three);
    three.first_number = 3;
    three.count = 1;
    Value *three_days = MakeInterval('+', &three, &days_qualifier, stmt_mem);
    show_value("INTERVAL '3' DAY", three_days);
    Value *result = newNode(sizeof(Value), KV_NODE_VALUE, stmt_mem);
    interval_operation(MakeInteger("2", stmt_mem), three_days, result, NULL, KV_OP_SUBTRACT);
    show_value("INTERVAL '3' DAY - 2", result);
    interval_operation(three_days, interval, result, NULL, KV_OP_SUBTRACT);
    show_value("INTERVAL '3' DAY - the interval", result);

    step("The calendar behind it: day numbers, the 1752 switch, days of the week");
    static const char *const weekday[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                          "Saturday"};
    int jdn = ymd_to_jdnl(2000, 1, 1, KV_CALENDAR_AUTO);
    printf("    2000-01-01 is day %d, a %s\n", jdn, weekday[jdnl_to_dow(jdn)]);
    int switch_day = ymd_to_jdnl(1752, 9, 2, KV_CALENDAR_AUTO), y, m, d;
    jdnl_to_ymd(switch_day + 1, &y, &m, &d, KV_CALENDAR_AUTO);
    printf("    the day after 1752-09-02 (day %d) is %04d-%02d-%02d\n", switch_day, y, m, d);
    printf("    today is %04d-%02d-%02d\n", current_year(), current_month(), current_day());

    kv_mem_release_handle(stmt_mem);
    printf("\nstatement handle released: every literal and node went with it\n");
    return 0;
}
