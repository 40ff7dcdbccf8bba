/*
** Lists: a doubly linked chain of items under a small head, both allocated on
** a MemHandle. The head is created by the first append, so a NULL List* is a
** valid empty list for every reader.
*/
#include "internal.h"

extern "C" {

List *ListAppend(void *data, List *list, MemHandle *handle)
{
    auto *item = static_cast<ListItem *>(kv_mem_alloc(handle, sizeof(ListItem)));
    if (!item)
        return list;
    if (!list) {
        list = static_cast<List *>(kv_mem_alloc(handle, sizeof(List)));
        if (!list) {
            kv_mem_free(handle, item);
            return nullptr;
        }
        *list = List{nullptr, nullptr, 0};
    }
    *item = ListItem{data, nullptr, list->last};
    if (list->last)
        list->last->next = item;
    else
        list->first = item;
    list->last = item;
    list->count++;
    return list;
}

ListItem *ListDelete(List *list, ListItem *item, MemHandle *handle)
{
    if (!list || list->count < 1 || !item)
        return nullptr;
    ListItem *following = item->next;
    if (item->prior)
        item->prior->next = following;
    else
        list->first = following;
    if (following)
        following->prior = item->prior;
    else
        list->last = item->prior;
    list->count--;
    kv_mem_free(handle, item);
    return following;
}

// An empty side contributes nothing; an empty head `a` takes over b's chain,
// so the merged list is always `a` when there is one.
List *ListMerge(List *a, List *b)
{
    if (!a)
        return b;
    if (!b || !b->first)
        return a;
    if (a->last) {
        a->last->next = b->first;
        b->first->prior = a->last;
    } else {
        a->first = b->first;
    }
    a->last = b->last;
    a->count += b->count;
    return a;
}

int32_t ListCount(List *list)
{
    return list ? list->count : 0;
}

ListItem *ListFirst(List *list)
{
    return list ? list->first : nullptr;
}

ListItem *ListLast(List *list)
{
    return list ? list->last : nullptr;
}

ListItem *ListNext(ListItem *item)
{
    return item ? item->next : nullptr;
}

ListItem *ListPrior(ListItem *item)
{
    return item ? item->prior : nullptr;
}

void *ListData(ListItem *item)
{
    return item ? item->data : nullptr;
}

void ListRewrite(ListItem *item, void *data)
{
    if (item)
        item->data = data;
}

// The next item is read after the callback returns, so a callback may append.
void ListEnumerate(List *list, kv_list_callback callback, void *context)
{
    if (!list || !callback)
        return;
    for (ListItem *item = list->first; item; item = item->next)
        callback(item->data, context, item->next == nullptr);
}

} // extern "C"
