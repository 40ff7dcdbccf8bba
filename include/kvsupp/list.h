/*
** Lists: a doubly linked list of untyped pointers whose head and items live on
** a MemHandle. A NULL List* is an empty list with no head yet. The list never
** owns the data its items point to.
*/
#ifndef KVSUPP_LIST_H
#define KVSUPP_LIST_H

#include <stdint.h>

#include "export.h"
#include "memsys.h"
#include "types.h"

KV_BEGIN_DECLS

struct List {
    ListItem *first; /* NULL exactly when last is NULL */
    ListItem *last;
    int32_t count;   /* number of items reachable from first */
};

struct ListItem {
    void *data;      /* the element; may be NULL */
    ListItem *next;
    ListItem *prior;
};

KV_END_DECLS

#endif
