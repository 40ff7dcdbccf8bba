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

/* Called by ListEnumerate for each item: its data, the caller's context, and
   1 for the last item (0 for the others). */
typedef void (*kv_list_callback)(void *data, void *context, int is_last);

/* Appends `data` to `list` (NULL: a new head is allocated on `handle`) with a
   new item on `handle`, and returns the head; always store the result. When
   memory runs out nothing changes and `list` is returned (NULL for a new list). */
KV_EXPORT List *ListAppend(void *data, List *list, MemHandle *handle);

/* Unlinks `item` from `list` and frees it (not its data). Returns the item
   that followed it, or NULL; NULL without change when the list is NULL or
   has no items. */
KV_EXPORT ListItem *ListDelete(List *list, ListItem *item, MemHandle *handle);

/* Links b's items after a's and returns a (the other when either is NULL or
   empty). b's head still points into the merged chain: the caller drops it. */
KV_EXPORT List *ListMerge(List *a, List *b);

/* Number of items; 0 for NULL. */
KV_EXPORT int32_t ListCount(List *list);
/* First and last item; NULL for NULL or an empty list. */
KV_EXPORT ListItem *ListFirst(List *list);
KV_EXPORT ListItem *ListLast(List *list);
/* Neighbours and data of an item; NULL for a NULL item. */
KV_EXPORT ListItem *ListNext(ListItem *item);
KV_EXPORT ListItem *ListPrior(ListItem *item);
KV_EXPORT void *ListData(ListItem *item);
/* Replaces the item's data (NULL allowed; the item stays in place). */
KV_EXPORT void ListRewrite(ListItem *item, void *data);

/* Calls `callback` for every item, first to last. The next item is read after
   the callback returns, so the callback must not delete the current item.
   A NULL list is empty. */
KV_EXPORT void ListEnumerate(List *list, kv_list_callback callback, void *context);

KV_END_DECLS

#endif
