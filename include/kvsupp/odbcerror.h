/*
** Diagnostic records: the ODBC diagnostic area of one driver handle.
**
** SetupErrorHeader starts every ODBC call by discarding the previous call's
** records; PostError and PostDalError append records; GetDiagRec and
** GetDiagField answer SQLGetDiagRec and SQLGetDiagField. SQLSTATEs are ODBC 3
** states, mapped to their ODBC 2 equivalents through map_table when posted on
** a header whose application declared ODBC 2 behaviour. Every message starts
** with a vendor text in square brackets, "Kestrova ODBC" by default. Messages
** are cut at 1023 characters.
*/
#ifndef KVSUPP_ODBCERROR_H
#define KVSUPP_ODBCERROR_H

#include <stdint.h>

#include "export.h"
#include "memsys.h"
#include "types.h"

KV_BEGIN_DECLS

/* The vendor text of records posted without one. */
#define KV_DEFAULT_VENDOR "Kestrova ODBC"
/* The longest message and composed format kept, in characters. */
#define KV_MESSAGE_MAX 1023

struct ErrorHeader {
    int32_t dynamic_function_code; /* SQL_DIAG_DYNAMIC_FUNCTION_CODE; 0 unknown */
    int32_t return_code;           /* SQL_DIAG_RETURNCODE */
    int32_t record_count;          /* SQL_DIAG_NUMBER */
    int32_t odbc_version;          /* 3 and above (380 too): ODBC 3 behaviour; below: ODBC 2 */
    MemHandle *mem;                /* handle of the records and their strings */
    ErrorRecord *first_record;
    ErrorRecord *last_record;
    int32_t row_count;             /* SQL_DIAG_ROW_COUNT */
};

struct ErrorRecord {
    int32_t origin;          /* 1: class origin "ODBC 3.0"; else "ISO 9075" */
    int32_t column_number;   /* SQL_DIAG_COLUMN_NUMBER */
    char *vendor;            /* bracketed prefix; SQL_DIAG_CONNECTION_NAME */
    char *message;           /* complete message text */
    int32_t native_error;    /* SQL_DIAG_NATIVE */
    int32_t row_number;      /* SQL_DIAG_ROW_NUMBER */
    char *sqlstate;          /* five characters, after ODBC 2 mapping */
    char *subclass_origin;   /* SQL_DIAG_SUBCLASS_ORIGIN */
    ErrorRecord *next;       /* next record in posting order */
};

/* ODBC 3 to ODBC 2 SQLSTATE pairs, searched from the top; ended by a pair
   whose first entry is NULL. */
KV_EXPORT extern const char *const map_table[][2];

/* A zero-filled header on `handle` with the environment's odbc_version (3
   when `environment` is NULL). NULL when memory runs out. */
KV_EXPORT ErrorHeader *CreateErrorHeader(MemHandle *handle, DriverEnvironment *environment);

/* Start of an ODBC call: frees every record, zeroes the counts and codes and
   records `dynamic_function_code`. */
KV_EXPORT void SetupErrorHeader(ErrorHeader *header, int dynamic_function_code);

/* Frees every record and then the header itself. NULL is ignored. */
KV_EXPORT void FreeErrorHeader(ErrorHeader *header);

/* Stores `code` as the call's return code and returns it as an ODBC return code. */
KV_EXPORT int16_t SetReturnCode(ErrorHeader *header, int code);

/* Stores the value reported for SQL_DIAG_ROW_COUNT. */
KV_EXPORT void SetErrorCount(ErrorHeader *header, int count);

/* Appends one record. `vendor` NULL means "Kestrova ODBC". The message is the
   vendor text in brackets followed by `format` expanded with the further
   arguments; the vendor text is never read as a format. Returns the record's
   message (owned by the header), or NULL when the record could not be
   allocated (nothing is posted then). A string that cannot be duplicated
   leaves its field NULL, which the readers report as empty text. The return
   code is not touched. */
KV_EXPORT char *PostError(ErrorHeader *header, int origin, int column_number, const char *vendor,
                          int native_error, int row_number, const char *subclass_origin,
                          const char *sqlstate, const char *format, ...) KV_PRINTF_LIKE(9, 10);

/* Posts an error on the header of a driver record (environment, connection
   or statement, found by its kind; any other kind is ignored): return code -1,
   class and subclass origin "ISO 9075", the message taken literally. */
KV_EXPORT void PostDalError(void *driver_record, const char *vendor, int native_error,
                            const char *sqlstate, const char *message);

/* SQLGetDiagRec: record `record_number` (from 1). `sqlstate` takes 6 bytes;
   `native_error` and `message_length` (the full length, saturated at 32767)
   may be NULL. Returns 0, 1 (message cut), -1 (record number 0 or negative)
   or 100 (no such record). */
KV_EXPORT int GetDiagRec(ErrorHeader *header, int record_number, char *sqlstate,
                         int32_t *native_error, char *message, int buffer_length,
                         int16_t *message_length);

/* SQLGetDiagField for an application of `odbc_version` (2, or 3 and above:
   SQL_OV_ODBC3_80 is ODBC 3). SQL_DIAG_ROW_COUNT and SQL_DIAG_CURSOR_ROW_COUNT
   are stored as an SQLLEN through `value`, the other numeric fields as a
   32-bit integer; text fields are copied with copy_str_buffer into `value`
   (`buffer_length` bytes), their full length to `string_length` when given
   (saturated at 32767). Returns 0, 1 (text cut), -1 (record number negative,
   0 for a record field, unknown field, or an ODBC 3 field asked for by an
   ODBC 2 application) or 100 (record number beyond the count). */
KV_EXPORT int GetDiagField(int odbc_version, ErrorHeader *header, int record_number,
                           int field_identifier, void *value, int buffer_length,
                           int16_t *string_length);

KV_END_DECLS

#endif
