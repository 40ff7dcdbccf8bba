/*
** Long data buffers: a LongBuffer block owns a stdio stream on a temporary
** file whose name was removed right after it was created exclusively. Appends
** write at the stream's position; after a rewind the extract functions read
** the data back in pieces, tracking the delivered bytes in `position`.
*/
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "internal.h"

namespace {

// Names of temporary files formed in this process; the low hex digits of a name.
uint32_t counter;

// Names already taken (left by another process, or planted) are skipped, up
// to this many in one creation.
constexpr int kMaxClashes = 100;

void destroy_long_buffer(void *user_area)
{
    free_long_buffer(static_cast<LongBuffer *>(user_area));
}

// Creates the temporary file exclusively, owner-only, never through an
// existing name or link, and removes its name at once. The name formed last
// stays in `name` ("" when none was formed or it did not fit). NULL on failure.
std::FILE *create_temp_file(Registry *profile, char (&name)[KV_LONG_FILE_NAME_SIZE])
{
    char directory[KV_LONG_FILE_NAME_SIZE];
    // An unreadable profile leaves blob_path unset, but a profile we merely
    // had no memory to read must not send the data somewhere else.
    if (kv_get_default(profile, "blob_path", directory, sizeof directory) == ENOMEM)
        return nullptr;
    const char *base = directory[0] ? directory : P_tmpdir;
    auto pid = static_cast<unsigned>(::getpid());
    for (int attempt = 0; attempt < kMaxClashes; attempt++) {
        int n = std::snprintf(name, sizeof name, "%s/blob%05x%05x.tmp", base, pid, counter++);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) {
            name[0] = '\0';
            return nullptr;
        }
        int fd = kv_syscalls.open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return nullptr;
        if (kv_syscalls.unlink(name) != 0) {
            kv_syscalls.close(fd);
            return nullptr;
        }
        std::FILE *file = ::fdopen(fd, "w+");
        if (!file) {
            kv_syscalls.close(fd);
            return nullptr;
        }
        // Appends go straight to the file (each is one write), so a failure
        // shows at the append that caused it.
        std::setvbuf(file, nullptr, _IONBF, 0);
        return file;
    }
    return nullptr;
}

void store_length(int32_t *length, int64_t value)
{
    if (length)
        *length = static_cast<int32_t>(value);
}

bool read_exact(std::FILE *file, char *destination, std::size_t count)
{
    return count == 0 || file_read(destination, count, file) == count;
}

// Widens each byte of the file to one 16-bit unit.
bool read_exact(std::FILE *file, uint16_t *destination, std::size_t count)
{
    unsigned char chunk[4096];
    while (count > 0) {
        std::size_t piece = count < sizeof chunk ? count : sizeof chunk;
        if (file_read(chunk, piece, file) != piece)
            return false;
        for (std::size_t i = 0; i < piece; i++)
            destination[i] = chunk[i];
        destination += piece;
        count -= piece;
    }
    return true;
}

// The SQLGetData conventions, for byte and 16-bit destinations alike.
template <typename Unit>
int extract(LongBuffer *buffer, Unit *destination, int32_t buffer_length, int32_t *length, int binary)
{
    if (!buffer || !buffer->file)
        return -1;
    if (buffer->is_null) {
        store_length(length, buffer->position == 0 ? SQL_NULL_DATA : 0);
        buffer->position = 1;
        return 0;
    }
    int64_t capacity = int64_t{buffer_length} + (binary ? 1 : 0);
    int64_t remaining = buffer->length - buffer->position;
    if (remaining < 0)
        remaining = 0;
    if (capacity <= 0 || !destination) {
        // No room for any data: report what is left, as a cut piece.
        store_length(length, remaining);
        return 1;
    }
    bool complete = capacity > remaining;
    int64_t count = complete ? remaining : capacity - 1;
    if (!complete)
        store_length(length, remaining);
    if (!read_exact(buffer->file, destination, static_cast<std::size_t>(count)))
        return -1;
    buffer->position += count;
    if (complete)
        store_length(length, count);
    if (!binary)
        destination[count] = 0;
    return complete ? 0 : 1;
}

} // namespace

extern "C" {

LongBuffer *allocate_long_buffer(MemHandle *handle, intptr_t caller_word1, intptr_t caller_word2,
                                 Registry *profile, int32_t sql_type)
{
    auto *buffer =
        static_cast<LongBuffer *>(kv_mem_alloc_ex(handle, sizeof(LongBuffer), destroy_long_buffer));
    if (!buffer)
        return nullptr;
    std::memset(buffer, 0, sizeof *buffer);
    buffer->mem = handle;
    buffer->caller_word1 = caller_word1;
    buffer->caller_word2 = caller_word2;
    buffer->profile = profile;
    buffer->sql_type = sql_type;
    buffer->file = create_temp_file(profile, buffer->file_name);
    if (!buffer->file) {
        kv_mem_free(handle, buffer);
        return nullptr;
    }
    return buffer;
}

LongBuffer *clone_long_buffer(LongBuffer *source, MemHandle *handle)
{
    if (!source)
        return nullptr;
    if (handle == source->mem)
        return static_cast<LongBuffer *>(kv_mem_clone(handle, source));
    if (!source->file)
        return nullptr;
    LongBuffer *clone = allocate_long_buffer(handle, source->caller_word1, source->caller_word2,
                                             source->profile, source->sql_type);
    if (!clone)
        return nullptr;
    std::FILE *shared = file_dup(source->file);
    // The duplicate shares the source's file offset, which stdio buffering
    // may have moved past `position`: place it where the clone reads next.
    int64_t offset = source->is_null ? 0 : source->position;
    if (!shared || file_seek(shared, offset) != 0) {
        file_close(shared);
        kv_mem_free(handle, clone);
        return nullptr;
    }
    file_close(clone->file);
    clone->file = shared;
    clone->position = source->position;
    clone->length = source->length;
    clone->is_null = source->is_null;
    std::memcpy(clone->scratch, source->scratch, sizeof clone->scratch);
    return clone;
}

int append_to_long_buffer(LongBuffer *buffer, const void *data, int32_t length)
{
    if (!buffer || !buffer->file)
        return -1;
    std::size_t count = static_cast<std::size_t>(length);
    if (length == SQL_NTS) {
        if (buffer->sql_type == SQL_LONGVARBINARY || !data)
            return -1;
        count = std::strlen(static_cast<const char *>(data));
    } else if (length < 0) {
        return -1;
    }
    // `length` is a 32-bit count: refuse what it could not hold.
    if (count > static_cast<std::size_t>(INT32_MAX - buffer->length))
        return -1;
    if (count == 0)
        return 0;
    if (!data)
        return -1;
    // The data reaches the file before the call returns, so a full disk shows
    // here and not at the rewind. A failed piece is not counted: the next
    // append writes over whatever part of it reached the file.
    if (file_write(data, count, buffer->file) != count || std::fflush(buffer->file) != 0) {
        std::clearerr(buffer->file);
        file_seek(buffer->file, buffer->length);
        return -1;
    }
    buffer->length += static_cast<int32_t>(count);
    return 0;
}

int extract_from_long_buffer(LongBuffer *buffer, void *destination, int32_t buffer_length, int32_t *length,
                             int binary)
{
    return extract(buffer, static_cast<char *>(destination), buffer_length, length, binary);
}

int extract_from_long_nbuffer(LongBuffer *buffer, uint16_t *destination, int32_t buffer_length,
                              int32_t *length, int binary)
{
    return extract(buffer, destination, buffer_length, length, binary);
}

int rewind_long_buffer(LongBuffer *buffer)
{
    if (!buffer || !buffer->file)
        return -1;
    buffer->position = 0;
    return static_cast<int>(file_seek(buffer->file, 0));
}

int32_t long_buffer_length(LongBuffer *buffer)
{
    return buffer ? buffer->length : 0;
}

void free_long_buffer(LongBuffer *buffer)
{
    if (buffer && buffer->file) {
        std::fclose(buffer->file);
        buffer->file = nullptr;
    }
}

FILE *open_buffer(Registry *profile, char *name)
{
    char formed[KV_LONG_FILE_NAME_SIZE] = "";
    std::FILE *file = create_temp_file(profile, formed);
    if (name)
        std::memcpy(name, formed, sizeof formed);
    return file;
}

size_t file_read(void *destination, size_t count, FILE *stream)
{
    return stream ? std::fread(destination, 1, count, stream) : 0;
}

size_t file_write(const void *source, size_t count, FILE *stream)
{
    return stream ? std::fwrite(source, 1, count, stream) : 0;
}

FILE *file_dup(FILE *stream)
{
    if (!stream || std::fflush(stream) != 0)
        return nullptr;
    int fd = ::fcntl(::fileno(stream), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    std::FILE *copy = ::fdopen(fd, "r+");
    if (!copy)
        kv_syscalls.close(fd);
    return copy;
}

int file_close(FILE *stream)
{
    return stream ? std::fclose(stream) : EOF;
}

int64_t file_seek(FILE *stream, int64_t offset)
{
    if (!stream)
        return -1;
    return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : -1;
}

} // extern "C"
