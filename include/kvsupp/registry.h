/*
** The profile: settings read from (and one entry written to) a text file in
** the style of ODBC.INI.
**
** Lines starting with '#' are comments. A line starting with '[', '{' or '('
** and holding the matching ']', '}' or ')' is a section header; the three
** bracket kinds are three separate families of sections, chosen by a mode:
** 0 braces, 1 parentheses, anything else brackets (the data sources). In a
** section, "key = value" lines are entries: the key is the text before the
** first '=' less its trailing blanks (leading blanks stay part of it), the
** value starts at the first non-blank after the '='. Section names and keys
** compare without case; the first entry of the key with a value in the first
** occurrence of a section that holds any line wins, and without one an entry
** with an empty value reads as the empty value.
**
** Lookups keep the profile read last (a few files, process-wide) and read it
** again whenever the file's identity, size or change times differ, so a
** change is always seen; set_config drops it.
*/
#ifndef KVSUPP_REGISTRY_H
#define KVSUPP_REGISTRY_H

#include "export.h"
#include "types.h"

KV_BEGIN_DECLS

/* Size of the path and name fields, terminator included, and of the error text. */
#define KV_REGISTRY_PATH_SIZE 256
#define KV_REGISTRY_ERROR_SIZE 512

/* The driver's profile lookup, shaped like SQLGetPrivateProfileString:
   section, key, default, buffer, buffer length, file name. */
typedef int (*kv_ini_function)(const char *section, const char *key, const char *default_value,
                               char *buffer, int buffer_length, const char *file_name);

struct Registry {
    char config_path[KV_REGISTRY_PATH_SIZE]; /* the profile file */
    char dsn[KV_REGISTRY_PATH_SIZE];         /* current data source; "" for none */
    kv_ini_function ini_function;            /* used for the bracket family when set */
    char error_text[KV_REGISTRY_ERROR_SIZE]; /* message of the last failure */
};

/* The path open_registry starts with: "odbc.ini", relative to the working
   directory. A driver may change it before opening registries. */
KV_EXPORT extern char default_config[KV_REGISTRY_PATH_SIZE];

/* A new record naming default_config, with no data source and no lookup
   function; NULL when memory runs out. Free it with close_registry. */
KV_EXPORT Registry *open_registry(void);

/* Frees the record. NULL is ignored. */
KV_EXPORT void close_registry(Registry *registry);

/* Names the profile file (cut to 255 characters; NULL is ""). Returns `registry`. */
KV_EXPORT Registry *set_config(Registry *registry, const char *path);

/* Names the current data source (cut to 255 characters; NULL is "").
   Returns the stored name, which lives in the record. */
KV_EXPORT char *set_dsn(Registry *registry, const char *name);

/* Sets (or, with NULL, clears) the driver's profile lookup. */
KV_EXPORT void set_ini_function(Registry *registry, kv_ini_function function);

/* The message of the last failure, held by the record; NULL for NULL. */
KV_EXPORT const char *registry_error(Registry *registry);

/* Looks `key` up in `section` of the family `mode` and copies its value, cut
   to buffer_length - 1 characters and then stripped of trailing blanks, into
   `buffer` (may be NULL). Without the entry the buffer holds `default_value`
   (NULL is "") cut the same way. For the bracket family with a lookup
   function set, the function answers instead (file name "ODBC.INI").
   Returns 0, or -1 when the file cannot be read (the buffer holds the default). */
KV_EXPORT int get_profile_string(Registry *registry, int mode, const char *section, const char *key,
                                 const char *default_value, char *buffer, int buffer_length);

/* Rewrites the profile with `key` set to `value` (NULL is "") in `section` of
   the family `mode`. Every line is kept as it is but the entry a lookup of
   the key finds, which becomes "key = value" (an empty value also drops the
   section's other entries of the key, which would read instead); a missing
   key is added at the end of the section (before the next header, followed
   by an empty line); a section that does not exist or holds no line is left
   alone. A link is followed: the real file is replaced, atomically, keeping
   its mode, owner and group, and its previous text is kept beside it with
   "~" appended. A key that is empty, holds '=' or a line break, starts with
   '#', a bracket or a blank, or ends with a blank is refused, as are line
   breaks in the section or value. Returns 0, or -1 with the file unchanged
   and the reason in registry_error: "Failed to open PATH for input, ..."
   (reading), "Failed to rename PATH to PATH~, ..." (keeping the backup),
   "Failed to open PATH for output, ..." (writing the new text). A rewrite
   by a member of the file's group who may not give the file away keeps the
   group but not the owner, returns 0 and says so in registry_error; one
   that could not keep the group either is refused. */
KV_EXPORT int set_profile_string(Registry *registry, int mode, const char *section, const char *key,
                                 const char *value);

/* Reads `key` from the current data source's section ([dsn], or the lookup
   function), or from {default} when no data source is set; the default text
   is "". A NULL registry gives "". Returns `buffer`. */
KV_EXPORT char *get_default(Registry *registry, const char *key, char *buffer, int buffer_length);

KV_END_DECLS

#endif
