/*
** The call trace: one line per traced ODBC call, appended to the file named
** by the key "log_file" of the profile section {settings}, or written to the
** standard error stream when that setting is empty.
**
** A line is "[pid]source@line", blanks up to column 30, ':', the format with
** each directive replaced by its argument's text, and a newline:
**
**     [4711]conn.c@0042             :SQLConnect(0x55d0c0a1b2c0, "sales"{SQL_NTS})
**
** Directives (the argument types are what the caller must pass):
**   %p %h  void *                  "%p" of the pointer
**   %s     const char *            "%p->text", or <NULLPTR>
**   %S     const char *, SQLINTEGER length
**                                  "text"{SQL_NTS} for SQL_NTS (<NULL>{SQL_NTS}
**                                  for a NULL string), "????"{n} for another
**                                  negative n, else the first n bytes
**                                  "quoted"{n} (<NULL>{n} for a NULL string)
**   %*S    const char *, SQLSMALLINT *length
**                                  "text"{%p->n} with at most n bytes, stopping
**                                  at a zero byte; "text"{%p->SQL_NTS} and
**                                  "????"{%p->n} for negative lengths;
**                                  <NULLSTR>{%p->n}, <NULLSTR>{NULL}, ""{NULL}
**   %i %u  int (SQLSMALLINT, SQLUSMALLINT): the low 16 bits, signed / unsigned
**   %I %U  SQLINTEGER / SQLUINTEGER, "%d" / "%u"
**   %l %L  SQLLEN / SQLULEN, in decimal
**   %*I    SQLINTEGER *            "%p->%d", or <NULLPTR>
**   %*l %*L  SQLLEN * / SQLULEN *  "%p->n", or <NULLPTR>
**   %*h    void **                 "%p->%p", or <NULLPTR>
**   %e     SQLRETURN               SQL_SUCCESS, SQL_SUCESS_WITH_INFO (so
**                                  spelled), SQL_ERROR, SQL_INVALID_HANDLE,
**                                  SQL_STILL_EXECUTING, SQL_NEED_DATA,
**                                  SQL_NO_DATA, or UNKNOWN=n
** Any other "%x" or "%*x" writes nothing and takes no argument (so "%%"
** writes nothing); a '%' or "%*" that ends the format ends the line.
** No text from the arguments is ever read as a format.
**
** The log file is opened for append, created with mode 0600, never through a
** symbolic link, and must be a regular file. Each line is written with one
** write, so lines of processes tracing into one file do not interleave.
** Tracing never fails the driver's call: while the file cannot be opened or
** written, lines are dropped quietly. The setting is read through the
** profile functions and the file is kept open between lines; both are looked
** at again at most a second apart, so a changed setting, or a log file
** removed or renamed while tracing (it is then created anew), takes effect
** within a second.
*/
#ifndef KVSUPP_TRACE_H
#define KVSUPP_TRACE_H

#include <stdarg.h>
#include <stdint.h>

#include "export.h"
#include "registry.h"
#include "types.h"

KV_BEGIN_DECLS

/* Sets the trace mask (0 when the library is loaded) and returns the previous
   one. The categories are the driver's: log_message writes only when its
   category shares a bit with the mask. */
KV_EXPORT uint32_t set_trace_mask(uint32_t mask);

/* The current trace mask. */
KV_EXPORT uint32_t get_trace_mask(void);

/* When `category` shares a bit with the trace mask, writes one trace line
   with the library's default profile (open_registry); otherwise does nothing
   else than that test. `source` and `line` name the caller's place
   (__FILE__, __LINE__). */
KV_EXPORT void log_message(const char *source, int line, uint32_t category, const char *format, ...);

/* Writes one trace line whatever the mask, reading "log_file" through
   `registry` (NULL: the standard error stream). `category` is not read.
   Returns 0 when the line was written, -1 when it was dropped. */
KV_EXPORT int _log_message(const char *source, int line, uint32_t category, Registry *registry,
                           const char *format, va_list arguments);

KV_END_DECLS

#endif
