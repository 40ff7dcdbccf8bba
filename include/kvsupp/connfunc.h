/*
** Connection strings parsed into an ordered list of key/value pairs.
*/
#ifndef KVSUPP_CONNFUNC_H
#define KVSUPP_CONNFUNC_H

#include "export.h"
#include "list.h"
#include "memsys.h"
#include "types.h"

KV_BEGIN_DECLS

struct AttributeList {
    int count;   /* number of pairs; 0 means empty, whatever pairs holds */
    List *pairs; /* AttributePair items in insertion order; NULL until the first */
};

struct AttributePair {
    char *key;   /* upper case */
    char *value; /* never NULL for a stored pair */
};

KV_END_DECLS

#endif
