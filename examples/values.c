/*
** Values as a driver keeps them: a row of every type rendered in ODBC text
** form, shared and duplicated on a statement's handle, and a small row buffer
** of flat records sorted with compare_dm.
*/
#include <kvsupp.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static Value *make(MemHandle *h, int type)
{
    Value *v = NewValue(h, 0);
    v->type = type;
    v->indicator = 0;
    v->no_share = 0;
    return v;
}

static Value *make_string(MemHandle *h, const char *text)
{
    size_t n = strlen(text);
    Value *v = NewValue(h, (uint32_t)n + 1);
    v->type = VT_STRING;
    v->indicator = 0;
    v->no_share = 0;
    memcpy(v->data.s, text, n + 1);
    v->length = (int32_t)n;
    return v;
}

/* One column slot of the row buffer: header and the widest datum here. */
#define SLOT (KV_FLAT_HEADER_SIZE + 16)

static int by_flat_value(const void *a, const void *b)
{
    return compare_dm((const FlatValue *)a, (const FlatValue *)b);
}

int main(void)
{
    printf("=== libkvsupp: values, their text forms, flat row records\n");
    MemHandle *stmt = kv_mem_alloc_handle(NULL);
    char text[KV_VALUE_TEXT_SIZE];

    printf("\n[1] A row of every type in ODBC text form (value_as_text)\n");
    Value *row[12];
    int n = 0;
    row[n] = make(stmt, VT_INTEGER), row[n++]->data.i = -42;
    row[n] = make(stmt, VT_DOUBLE), row[n++]->data.d = 2.5;
    row[n++] = make_string(stmt, "O'Brien");
    {
        static unsigned char bytes[] = {0xCA, 0xFE, 0x01};
        row[n] = make(stmt, VT_BINARY);
        row[n]->data.b = bytes;
        row[n]->length = row[n]->octet_length = 3;
        n++;
    }
    row[n] = make(stmt, VT_DATE), row[n++]->data.date = (SQL_DATE_STRUCT){2026, 12, 11};
    row[n] = make(stmt, VT_TIME), row[n++]->data.time = (SQL_TIME_STRUCT){7, 30, 5};
    row[n] = make(stmt, VT_TIMESTAMP), row[n++]->data.ts = (SQL_TIMESTAMP_STRUCT){2026, 12, 11, 7, 30, 5, 0};
    row[n] = make(stmt, VT_NUMERIC), create_numeric("-1234.5678", &row[n++]->data.num, 18, 4);
    row[n] = make(stmt, VT_BIGINT), row[n++]->data.big = 9007199254740993LL;
    {
        Value *iv = make(stmt, VT_INTERVAL_DS);
        memset(&iv->data.iv, 0, sizeof iv->data.iv);
        iv->data.iv.interval_type = SQL_IS_DAY_TO_SECOND;
        iv->data.iv.intval.day_second.day = 1;
        iv->data.iv.intval.day_second.hour = 2;
        iv->data.iv.intval.day_second.minute = 3;
        iv->data.iv.intval.day_second.second = 4;
        iv->data.iv.intval.day_second.fraction = 500000000;
        iv->leading_precision = 2;
        iv->fraction_precision = 6;
        row[n++] = iv;
    }
    row[n] = make(stmt, VT_INTEGER), row[n]->indicator = -1, n++;
    const char *names[] = {"INTEGER", "DOUBLE", "VARCHAR", "VARBINARY", "DATE", "TIME",
                           "TIMESTAMP", "NUMERIC", "BIGINT", "INTERVAL", "NULL"};
    for (int i = 0; i < n; i++)
        printf("    %-9s %s\n", names[i], value_as_text(row[i], text));
    row[6]->data.ts.hour = row[6]->data.ts.minute = row[6]->data.ts.second = 0;
    printf("    timestamp at midnight, compact: %s\n",
           value_as_text_ex(row[6], text, "'", "'", "'", "'", "'", "'", "x'", "'", 1));

    printf("\n[2] Sharing and duplicating on the statement's handle\n");
    Value *shared = duplicate_value_ex(stmt, row[2]);
    printf("    duplicate_value_ex on the same handle: same record %s, ref_count %d\n",
           shared == row[2] ? "yes" : "no", row[2]->ref_count);
    MemHandle *other = kv_mem_alloc_handle(stmt);
    Value *copy = duplicate_value_ex(other, row[2]);
    printf("    on another handle: a copy %s holding %s\n", copy != row[2] ? "yes" : "no",
           value_as_text(copy, text));
    release_value(stmt, shared);
    row[0]->data.i = 5;
    printf("    compare_values('abc', 'abc  ') = %d; (5, '5') = %d; (NULL, 5) = %d\n",
           compare_values(make_string(stmt, "abc"), make_string(stmt, "abc  ")),
           compare_values(row[0], make_string(stmt, "5")), compare_values(row[10], row[0]));

    printf("\n[3] A row buffer of flat records, sorted with compare_dm\n");
    const char *cities[] = {"Oslo", "Bergen", "Trondheim", "Alesund", "Bodo"};
    unsigned char buffer[6][SLOT];
    for (int i = 0; i < 5; i++)
        value_to_dm((FlatValue *)buffer[i], make_string(stmt, cities[i]));
    value_to_dm((FlatValue *)buffer[5], row[10]); /* a NULL sorts first */
    qsort(buffer, 6, SLOT, by_flat_value);
    for (int i = 0; i < 6; i++) {
        Value *back = NewValue(stmt, 16);
        back->type = VT_STRING;
        dm_to_value((const FlatValue *)buffer[i], back);
        printf("    %d: %s (%d data bytes)\n", i + 1, value_as_text(back, text),
               get_length_from_dm((const FlatValue *)buffer[i], back));
    }
    printf("    a VARCHAR(16) column takes %d bytes per row\n",
           KV_FLAT_HEADER_SIZE + get_dm_length(SQL_VARCHAR, 16));

    kv_mem_release_handle(stmt);
    printf("\n    statement handle released: every value is gone\n");
    return 0;
}
