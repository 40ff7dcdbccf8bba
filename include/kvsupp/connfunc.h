/*
** Connection strings parsed into an ordered list of key/value pairs, edited
** as the driver completes a connection, and generated back as a connection
** string or as the installer's list of "key=value" strings.
**
** Parsing follows ODBC's rules: items "key=value" separated by ';'; keys
** compare without case (ASCII, whatever the process locale); a value that
** starts with '{' runs to its closing '}' and may hold ';' and '=', with "}}"
** standing for one '}'; when a key repeats, its first occurrence wins.
** Generation braces every value that would not read back as itself, so
** parsing a generated string gives back the same pairs.
**
** Pairs, their keys and values are allocated on the MemHandle passed to the
** call that makes or changes them; they go with that handle.
*/
#ifndef KVSUPP_CONNFUNC_H
#define KVSUPP_CONNFUNC_H

#include <stdint.h>

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

/* Bit 0 of parse_connection_string's flags: do not add DSN=DEFAULT to a text
   that names no DSN, DRIVER or FILEDSN. */
#define KV_CONSTR_NO_DEFAULT_DSN 1

/* Makes `list` empty (count 0, pairs NULL) without freeing anything; returns
   it (NULL stays NULL). */
KV_EXPORT AttributeList *init_con_str(AttributeList *list);

/* Parses `text` (`length` bytes, or SQL_NTS for a terminated text; a NUL
   byte ends it either way) into `list`, which starts empty; pairs go on
   `handle`. An empty text or ";" gives an empty list; a text without DSN,
   DRIVER or FILEDSN gains DSN=DEFAULT unless flags has
   KV_CONSTR_NO_DEFAULT_DSN. Parsing stops at an item without '='. Returns
   0; -1, leaving the list empty, for a NULL list or handle, a negative
   length other than SQL_NTS, or when memory runs out. */
KV_EXPORT int parse_connection_string(AttributeList *list, MemHandle *handle, const char *text, int length,
                                      int flags);

/* Gives `key` the value `value` (copied): the first pair with the key gets
   it, else a pair is appended with the key in upper case. Returns 0; 1 for a
   NULL value or key; -1 when memory runs out (the list is unchanged). */
KV_EXPORT int append_pair(AttributeList *list, const char *key, const char *value, MemHandle *handle);

/* The value of the first pair with `key` (owned by the list), or NULL when
   there is none. */
KV_EXPORT const char *get_attribute_value(AttributeList *list, const char *key);

/* For each pair of `source` in order: every pair of `target` with its key
   gets a copy of its value, or the pair is appended (append_pair). Returns
   0, or -1 when memory ran out (the pairs merged so far stay). */
KV_EXPORT int merge_connection_string(AttributeList *target, AttributeList *source, MemHandle *handle);

/* The first pair with `key` gets a copy of `value`; no pair is added. Returns
   0 (also when there is no such pair), -1 when memory runs out (unchanged). */
KV_EXPORT int modify_connection_string(AttributeList *list, const char *key, const char *value,
                                       MemHandle *handle);

/* The first pair with `key` gets `new_key`, copied as given. Returns 0, or -1
   when memory runs out (unchanged). */
KV_EXPORT int change_connection_string(AttributeList *list, const char *key, const char *new_key,
                                       MemHandle *handle);

/* The last pair with `old_key` gets `new_key` (copied as given), unless a
   key is NULL or empty or a pair has `new_key` already. Returns 0, or -1 when
   memory runs out (unchanged). */
KV_EXPORT int replace_connection_string(AttributeList *list, const char *old_key, const char *new_key,
                                        MemHandle *handle);

/* Removes the first pair with `key`, freeing its key, value and record. */
KV_EXPORT void delete_connection_string(AttributeList *list, const char *key, MemHandle *handle);

/* The completed connection string a driver returns: "KEY=value;" per pair
   in order, leaving out DRIVER when a DSN pair exists and DESCRIPTION; the
   values of DRIVER, SQITARGET* and REMOTESTRING* are always braced, others
   when they need it. Whole items are written while they fit `length` bytes
   with the terminator. Returns `buffer`, or a constant "" (the buffer
   untouched) for an empty list. See generate_connection_string_len for the
   length needed. */
KV_EXPORT char *generate_connection_string(AttributeList *list, char *buffer, int length);

/* Every pair but ODBCDM as "KEY=value;", values braced when they need it,
   without a limit: `buffer` must hold generate_connection_string_ex_len's
   `*needed` plus 1 bytes. Returns `buffer`, or a constant "" for an empty
   list. */
KV_EXPORT char *generate_connection_string_ex(AttributeList *list, char *buffer);

/* The installer's form: "KEY=value" and a NUL per pair, then a final NUL;
   two NULs for an empty list. Whole pairs are written while they, their NUL
   and the final NUL fit. Returns `buffer`, or NULL when it is NULL or
   `length` is below 2. */
KV_EXPORT char *generate_connection_string_config(AttributeList *list, char *buffer, int length);

/* Length-taking forms of the three generators: write at most `length` bytes
   (whole items, always terminated when `length` is at least 1, or 2 for the
   installer's form) and store in `*needed` (may be NULL) the length of the
   whole text: without its terminator for the two string forms (as
   SQLDriverConnect reports it), in bytes with every NUL for the installer's
   form. Return 0 when everything fitted, 1 when items were left out (the
   driver's 01004), -1 for a NULL buffer with a non-zero length or a negative
   length. A NULL or empty list writes the empty text. */
KV_EXPORT int generate_connection_string_len(AttributeList *list, char *buffer, int32_t length, int32_t *needed);
KV_EXPORT int generate_connection_string_ex_len(AttributeList *list, char *buffer, int32_t length,
                                                int32_t *needed);
KV_EXPORT int generate_connection_string_config_len(AttributeList *list, char *buffer, int32_t length,
                                                    int32_t *needed);

KV_END_DECLS

#endif
