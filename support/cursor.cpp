/*
** Cursor names: the connection's cursor_list holds one item per named
** statement; an item whose data is NULL is a free slot, reused before the
** list grows. Names live in the statements' own cursor_name arrays.
*/
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

DriverConnection *connection_of(DriverStatement *statement)
{
    return statement ? statement->connection : nullptr;
}

bool carries(const DriverStatement *statement, const char *name)
{
    return statement && std::strcmp(statement->cursor_name, name) == 0;
}

DriverStatement *statement_in(ListItem *item)
{
    return static_cast<DriverStatement *>(ListData(item));
}

// The first statement of the connection that carries `name`, with its item.
ListItem *item_carrying(DriverConnection *connection, const char *name)
{
    for (ListItem *item = ListFirst(connection->cursor_list); item; item = ListNext(item)) {
        if (carries(statement_in(item), name))
            return item;
    }
    return nullptr;
}

// The statement's own slot, else the first free one, else a new one at the
// end. Returns false, with the list unchanged, when memory runs out.
bool enter_in_list(DriverConnection *connection, DriverStatement *statement)
{
    ListItem *free_slot = nullptr;
    for (ListItem *item = ListFirst(connection->cursor_list); item; item = ListNext(item)) {
        if (statement_in(item) == statement)
            return true;
        if (!free_slot && !statement_in(item))
            free_slot = item;
    }
    if (free_slot) {
        ListRewrite(free_slot, statement);
        return true;
    }
    int32_t before = ListCount(connection->cursor_list);
    connection->cursor_list = ListAppend(statement, connection->cursor_list, connection->mem);
    return ListCount(connection->cursor_list) > before;
}

// "SQL_CUR" and eight lower-case hexadecimal digits, with its terminator.
constexpr std::size_t kGeneratedNameSize = 16;

void format_generated_name(char (&name)[kGeneratedNameSize], uint32_t counter)
{
    std::snprintf(name, sizeof name, "SQL_CUR%08x", static_cast<unsigned>(counter));
}

} // namespace

extern "C" {

// Among list-count + 1 consecutive counter values at least one names no
// statement of the list, so the search ends even after the counter wraps.
int generate_cursor_name(DriverStatement *statement)
{
    DriverConnection *connection = connection_of(statement);
    if (!connection)
        return -1;
    char name[kGeneratedNameSize];
    do
        format_generated_name(name, connection->cursor_counter++);
    while (item_carrying(connection, name));
    if (!enter_in_list(connection, statement))
        return -1;
    std::memcpy(statement->cursor_name, name, sizeof name);
    return 0;
}

int insert_cursor_name(DriverStatement *statement, const char *name)
{
    DriverConnection *connection = connection_of(statement);
    if (!connection || !name)
        return -1;
    std::size_t length = strnlen(name, KV_CURSOR_NAME_SIZE);
    if (length == 0 || length >= KV_CURSOR_NAME_SIZE)
        return -1;
    if (!enter_in_list(connection, statement))
        return -1;
    std::memmove(statement->cursor_name, name, length + 1);
    return 0;
}

DriverStatement *get_stmt_by_cursor(DriverStatement *statement, const char *name)
{
    DriverConnection *connection = connection_of(statement);
    if (!connection || !name || !*name)
        return nullptr;
    return statement_in(item_carrying(connection, name));
}

// Every slot holding the statement is emptied, so no item can keep a
// pointer to a statement record that is about to be freed.
void remove_cursor_name(DriverStatement *statement, const char *name)
{
    DriverConnection *connection = connection_of(statement);
    if (!connection || !name || !*name)
        return;
    DriverStatement *named = statement_in(item_carrying(connection, name));
    if (!named)
        return;
    named->cursor_name[0] = '\0';
    for (ListItem *item = ListFirst(connection->cursor_list); item; item = ListNext(item)) {
        if (statement_in(item) == named)
            ListRewrite(item, nullptr);
    }
}

char *get_cursor_name(DriverStatement *statement)
{
    return statement ? statement->cursor_name : nullptr;
}

} // extern "C"
