/*
** Exact numerics as a driver evaluates them: adds, multiplies, divides and
** compares NUMERIC values with numeric_operation, and a division by zero that
** comes back through the evaluation's error exit with its diagnostic.
*/
#include <kvsupp.h>
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

enum { OP_ADD = 1, OP_MULTIPLY = 4, OP_DIVIDE = 5, OP_EQUAL = 11 };

static Value *new_value(MemHandle *mem, int type)
{
    Value *v = newNode(sizeof(Value), KV_NODE_VALUE, mem);
    if (v)
        v->type = type;
    return v;
}

/* A NUMERIC(38, scale) value read from decimal text. */
static Value *numeric(MemHandle *mem, const char *text, int scale)
{
    Value *v = new_value(mem, VT_NUMERIC);
    if (v && create_numeric(text, &v->data.num, 38, scale) == 0) {
        v->precision = 38;
        v->scale = scale;
        return v;
    }
    return NULL;
}

static Value *integer(MemHandle *mem, int i)
{
    Value *v = new_value(mem, VT_INTEGER);
    if (v)
        v->data.i = i;
    return v;
}

static Value *string(MemHandle *mem, char *text)
{
    Value *v = new_value(mem, VT_STRING);
    if (v) {
        v->data.s = text;
        v->length = (int)strlen(text);
    }
    return v;
}

static const char *text_of(const Value *v, char *buffer, int size)
{
    if (v->type == VT_NUMERIC)
        numeric_to_string(&v->data.num, buffer, size, NULL);
    else if (v->type == VT_STRING)
        snprintf(buffer, (size_t)size, "'%s'", v->data.s);
    else
        snprintf(buffer, (size_t)size, "%d", v->data.i);
    return buffer;
}

/* Evaluates `left op right` into `result` and prints it. */
static void show(EvalContext *context, Value *left, int op, const char *sign, Value *right, Value *result)
{
    char a[200], b[200], r[200];
    text_of(left, a, sizeof a); /* before: the result may be an operand */
    text_of(right, b, sizeof b);
    numeric_operation(left, right, result, context, op);
    printf("  %s %s %s = %s", a, sign, b,
           op == OP_EQUAL ? (result->data.i ? "true" : "false") : text_of(result, r, sizeof r));
    if (result->type == VT_NUMERIC)
        printf("   (scale %d)", result->data.num.scale);
    printf("\n");
}

int main(void)
{
    MemHandle *mem = kv_mem_alloc_handle(NULL);
    DriverStatement stmt;
    EvalContext context;
    char one_and_a_half[] = "1.50";
    char state[6], message[256];
    int32_t native = 0;
    Value *price, *quantity, *shipping, *rate, *subtotal, *total, *tax, *result, *zero;

    memset(&stmt, 0, sizeof stmt);
    memset(&context, 0, sizeof context);
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = CreateErrorHeader(mem, NULL);
    context.stmt = &stmt;
    context.mem = mem;

    price = numeric(mem, "19.99", 2);
    quantity = integer(mem, 3);
    shipping = numeric(mem, "4.95", 2);
    rate = numeric(mem, "0.0825", 4);
    subtotal = new_value(mem, 0);
    total = new_value(mem, 0);
    tax = new_value(mem, 0);
    result = new_value(mem, 0);
    zero = numeric(mem, "0.00", 2);
    if (!stmt.error_header || !price || !quantity || !shipping || !rate || !subtotal || !total || !tax ||
        !result || !zero) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }

    /* Every evaluation runs under a setjmp: errors come back here. */
    if (setjmp(context.jump) != 0) {
        GetDiagRec(stmt.error_header, stmt.error_header->record_count, state, &native, message,
                   sizeof message, NULL);
        printf("  error exit: status %d, SQLSTATE %s, \"%s\"\n", context.status, state, message);
        kv_mem_release_handle(mem);
        return 0;
    }

    printf("Exact numerics\n");
    printf("multiply (the scales add up):\n");
    show(&context, price, OP_MULTIPLY, "*", quantity, subtotal);
    show(&context, subtotal, OP_MULTIPLY, "*", rate, tax);
    printf("add (at the larger scale, exactly):\n");
    show(&context, subtotal, OP_ADD, "+", shipping, total);
    show(&context, total, OP_ADD, "+", tax, total);
    show(&context, numeric(mem, "3402823669209384634633746074317682114.50", 2), OP_ADD, "+",
         numeric(mem, "0.05", 2), result);
    printf("divide (rounded at the dividend's scale, half to even):\n");
    show(&context, total, OP_DIVIDE, "/", quantity, result);
    show(&context, numeric(mem, "2.00", 2), OP_DIVIDE, "/", integer(mem, 3), result);
    show(&context, integer(mem, 7), OP_DIVIDE, "/", numeric(mem, "2.0", 1), result);
    printf("compare:\n");
    show(&context, numeric(mem, "1.5", 1), OP_EQUAL, "=", string(mem, one_and_a_half), result);
    printf("divide by zero:\n");
    show(&context, total, OP_DIVIDE, "/", zero, result);
    printf("  not reached\n");
    kv_mem_release_handle(mem);
    return 1;
}
