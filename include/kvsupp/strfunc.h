/*
** String buffer helpers: the ODBC contract for character results handed back
** through caller buffers (copy or append, report the full length, say whether
** the text was cut), plus a handle-owned duplicator, a case-blind equality
** test, a re-entrant tokenizer and the dynamic-function texts.
**
** A NULL source is the empty string everywhere. The copy functions return 0
** (SQL_SUCCESS) when the text and its terminator fitted and 1
** (SQL_SUCCESS_WITH_INFO) when they did not; whatever they write is
** terminated when the buffer holds at least one unit. A negative buffer
** length is taken as 0. A NULL destination yields the length alone.
*/
#ifndef KVSUPP_STRFUNC_H
#define KVSUPP_STRFUNC_H

#include <stdint.h>

#include "export.h"
#include "memsys.h"

KV_BEGIN_DECLS

/* Copies `src` into `dst` (`len` bytes); stores the full source length in
   `*out` (saturated at 32767) when `out` is given. Returns 0 or 1. */
KV_EXPORT int copy_str_buffer(char *dst, int len, int16_t *out, const char *src);

/* As copy_str_buffer with a 32-bit length output. */
KV_EXPORT int copy_str_bufferl(char *dst, int32_t len, int32_t *out, const char *src);

/* Copies `src` into 16-bit units, one per source byte (0..255); `len` and
   `*out` count 16-bit units (32-bit, not saturated). Returns 0 or 1. */
KV_EXPORT int copy_nstr_bufferl(uint16_t *dst, int32_t len, int32_t *out, const char *src);

/* Appends `src` to the terminated string in `dst` (`len` bytes). `*inout` is
   the running length (required): it grows by the full source length
   (saturated at 32767), so after a series of appends it holds the length the
   caller needs. Returns 0 when the running length plus the source fitted and
   every byte was appended, 1 when the text was cut. */
KV_EXPORT int cat_str_buffer(char *dst, int len, int16_t *inout, const char *src);

/* A copy of `src` allocated on `handle` (the empty string for NULL), or NULL
   when memory runs out. */
KV_EXPORT char *string_duplicate(const char *src, MemHandle *handle);

/* Case-blind equality (bytes compared after toupper): 0 equal, 1 different.
   Two NULLs are equal; a NULL and a string differ. Says nothing of order. */
KV_EXPORT int string_compare(const char *a, const char *b);

/* Re-entrant tokenizer: the next token of `str` (or, when `str` is NULL, of
   the text after the position kept in `*save`) delimited by bytes of `delims`.
   Writes a zero after the token. NULL when no token is left; `*save` is then
   unchanged. */
KV_EXPORT char *safe_strtok(char *str, const char *delims, char **save);

/* The SQL_DIAG_DYNAMIC_FUNCTION text of a dynamic function code; "" for an
   unknown code. The text is constant. */
KV_EXPORT const char *function_string(int code);

KV_END_DECLS

#endif
