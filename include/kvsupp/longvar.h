/*
** Long data buffers: long character and binary values held in an unnamed
** temporary file, appended piece by piece and read back in caller-sized
** pieces with the SQLGetData conventions.
**
** The file is created in the directory named by the profile's "blob_path"
** (read with get_default; empty means the system's temporary directory) as
** "<blob_path>/blob<pid><counter>.tmp", with the process id and a process-wide
** counter in at least five lower-case hexadecimal digits each. It is created
** exclusively, readable by its owner only, and its name is removed at once:
** the data disappears when the last stream on it is closed. A buffer is a
** block of its MemHandle whose destructor closes the stream.
*/
#ifndef KVSUPP_LONGVAR_H
#define KVSUPP_LONGVAR_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "export.h"
#include "memsys.h"
#include "registry.h"
#include "types.h"

KV_BEGIN_DECLS

/* Sizes of the caller's scratch area and of the file-name field. */
#define KV_LONG_SCRATCH_SIZE 1025
#define KV_LONG_FILE_NAME_SIZE 128

struct LongBuffer {
    MemHandle *mem;            /* handle the buffer lives on */
    intptr_t caller_word1;     /* the caller's; copied into clones */
    intptr_t caller_word2;     /* the caller's; copied into clones */
    int64_t position;          /* bytes delivered by the extract functions */
    int32_t length;            /* bytes appended */
    char scratch[KV_LONG_SCRATCH_SIZE]; /* the caller's; copied into clones */
    int32_t is_null;           /* set by the caller for an SQL NULL; 0 at creation */
    FILE *file;                /* the unnamed temporary file, or NULL */
    int32_t sql_type;          /* SQL type; SQL_LONGVARBINARY (-4) marks binary data */
    Registry *profile;         /* where blob_path is read; copied into clones */
    char file_name[KV_LONG_FILE_NAME_SIZE]; /* the name the file had when created */
};

/* A new, empty buffer on `handle` with a fresh temporary file. NULL, leaving
   nothing behind, when memory runs out, the file cannot be created or the
   name would not fit file_name. `profile` may be NULL (no blob_path). */
KV_EXPORT LongBuffer *allocate_long_buffer(MemHandle *handle, intptr_t caller_word1, intptr_t caller_word2,
                                           Registry *profile, int32_t sql_type);

/* On the source's own handle: one more reference to the source, which is
   returned. On another handle: a new buffer there reading the same data
   through a duplicated descriptor, at the same position; it outlives the
   source. NULL on failure. */
KV_EXPORT LongBuffer *clone_long_buffer(LongBuffer *source, MemHandle *handle);

/* Appends `length` bytes of `data` (SQL_NTS: a terminated string, not allowed
   for binary buffers). Returns 0 once the bytes are in the file, or -1 when
   they could not all be written (a full disk, a file-size limit) or the
   arguments are refused; a failed append adds nothing to the buffer's
   `length`. */
KV_EXPORT int append_to_long_buffer(LongBuffer *buffer, const void *data, int32_t length);

/* Reads the next piece into `destination` (`buffer_length` bytes) with the
   SQLGetData conventions: `*length` (may be NULL) receives the bytes that
   remained before the call, or SQL_NULL_DATA on the first read of a NULL
   value; character data is terminated, binary data fills the whole buffer.
   Returns 0 when the rest fitted, 1 when it was cut, -1 on a read error.
   A buffer length too small for any data (below 1 for character data, below
   0 for binary) reports the remaining length and returns 1 without writing. */
KV_EXPORT int extract_from_long_buffer(LongBuffer *buffer, void *destination, int32_t buffer_length,
                                       int32_t *length, int binary);

/* As extract_from_long_buffer into 16-bit units, one per byte of the file;
   `buffer_length` counts units, the reported lengths bytes. */
KV_EXPORT int extract_from_long_nbuffer(LongBuffer *buffer, uint16_t *destination, int32_t buffer_length,
                                        int32_t *length, int binary);

/* Restarts reading at the first byte. Returns 0, or -1 when the seek failed. */
KV_EXPORT int rewind_long_buffer(LongBuffer *buffer);

/* Bytes appended. */
KV_EXPORT int32_t long_buffer_length(LongBuffer *buffer);

/* Closes the buffer's file (the block's destructor does this); the block
   itself stays until its last reference is dropped. */
KV_EXPORT void free_long_buffer(LongBuffer *buffer);

/* A bare temporary stream created and unlinked as a buffer's file; its name
   goes to `name` (KV_LONG_FILE_NAME_SIZE bytes, may be NULL). NULL on failure. */
KV_EXPORT FILE *open_buffer(Registry *profile, char *name);

/* fread and fwrite with an item size of 1: the bytes transferred. */
KV_EXPORT size_t file_read(void *destination, size_t count, FILE *stream);
KV_EXPORT size_t file_write(const void *source, size_t count, FILE *stream);

/* A new stream (mode "r+") on a duplicate of the stream's descriptor, after
   flushing the stream; NULL on failure. Both share one file position. */
KV_EXPORT FILE *file_dup(FILE *stream);

/* fclose's result (EOF for NULL). */
KV_EXPORT int file_close(FILE *stream);

/* Seeks to `offset` from the start of the file; 0, or -1 on failure. */
KV_EXPORT int64_t file_seek(FILE *stream, int64_t offset);

KV_END_DECLS

#endif
