/*
** Cursor names: each connection keeps the list of its statements that carry a
** cursor name (DriverConnection.cursor_list, items on the connection's mem),
** so that positioned UPDATE and DELETE find the statement they name.
**
** A statement's name is its cursor_name array (KV_CURSOR_NAME_SIZE bytes with
** the terminator; "" means no name). Names compare byte for byte. A statement
** holds one slot of the list while it has a name; a slot freed by
** remove_cursor_name is reused by the next statement entered, and slots stay
** until the connection's mem is released. A statement must leave the list
** (remove_cursor_name) before its record is freed.
**
** Not locked: calls on one connection come from one thread at a time.
*/
#ifndef KVSUPP_CURSOR_H
#define KVSUPP_CURSOR_H

#include "driver.h"
#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

/* Gives `statement` a fresh name "SQL_CUR%08x" from its connection's
   cursor_counter (the value taken, then the counter is incremented), skipping
   values whose name another statement of the connection carries, and enters
   the statement in the list (in its own slot when it is there already).
   After 0xFFFFFFFF the counter wraps to 0, and names of statements that
   still hold them keep being skipped: a free name is always found within
   one more try than the list has statements. Returns 0, or -1 when the
   statement has no connection or memory runs out (the name is then unchanged). */
KV_EXPORT int generate_cursor_name(DriverStatement *statement);

/* Gives `statement` the name `name` and enters it in the list (in its own
   slot when it is there already). The name is NOT compared with the other
   statements' names: look it up with get_stmt_by_cursor first and refuse a
   duplicate. Returns 0, or -1 with nothing changed when the name is NULL,
   empty or longer than KV_CURSOR_NAME_SIZE - 1 bytes, the statement has no
   connection, or memory runs out. */
KV_EXPORT int insert_cursor_name(DriverStatement *statement, const char *name);

/* The statement of `statement`'s connection that carries `name` (the first
   one entered), or NULL: also for a NULL or empty name and for a connection
   that has named no statement. */
KV_EXPORT DriverStatement *get_stmt_by_cursor(DriverStatement *statement, const char *name);

/* The statement of `statement`'s connection that carries `name` loses it
   (its cursor_name becomes "") and leaves the list; its slot is kept for
   reuse. Nothing happens when no statement carries the name. */
KV_EXPORT void remove_cursor_name(DriverStatement *statement, const char *name);

/* The statement's cursor_name array (inside the record); NULL for NULL. */
KV_EXPORT char *get_cursor_name(DriverStatement *statement);

KV_END_DECLS

#endif
