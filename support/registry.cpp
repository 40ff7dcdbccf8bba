/*
** The profile file: lookups and the rewrite of one entry.
**
** Both read the whole file into memory and walk it line by line (lines of any
** length, split at '\n'). A rewrite builds the new text in memory, writes it
** and a copy of the old text to temporary files beside their targets, syncs
** them, and only then renames them over the backup ("~") and the profile, so
** a failure at any step leaves the profile as it was.
*/
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"

char default_config[KV_REGISTRY_PATH_SIZE] = "odbc.ini";

namespace {

using std::string_view;

// A growable byte string on the system allocator seam, always terminated.
class Text {
public:
    Text() = default;
    Text(const Text &) = delete;
    Text &operator=(const Text &) = delete;
    ~Text() { kv_sys_free(data_); }

    bool append(string_view piece)
    {
        if (!reserve(size_ + piece.size() + 1))
            return false;
        if (!piece.empty())
            std::memcpy(data_ + size_, piece.data(), piece.size());
        size_ += piece.size();
        data_[size_] = '\0';
        return true;
    }
    bool append(std::initializer_list<string_view> pieces)
    {
        for (string_view piece : pieces) {
            if (!append(piece))
                return false;
        }
        return true;
    }
    string_view view() const { return {data_ ? data_ : "", size_}; }
    char *c_str() { return data_ ? data_ : empty_; }

private:
    bool reserve(std::size_t wanted)
    {
        if (wanted <= capacity_)
            return true;
        std::size_t capacity = std::max<std::size_t>(capacity_ ? capacity_ * 2 : 256, wanted);
        auto *grown = static_cast<char *>(kv_sys_malloc(capacity));
        if (!grown)
            return false;
        if (size_)
            std::memcpy(grown, data_, size_);
        kv_sys_free(data_);
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    char empty_[1] = {'\0'};
};

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

KV_PRINTF_LIKE(2, 3) void set_error(Registry *registry, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(registry->error_text, sizeof registry->error_text, format, args);
    va_end(args);
}

void copy_field(char (&field)[KV_REGISTRY_PATH_SIZE], const char *text)
{
    std::snprintf(field, sizeof field, "%s", text ? text : "");
}

// Reads the whole file into `text`. Returns 0, or the errno of the failure.
int load_file(const char *path, Text &text)
{
    File file(std::fopen(path, "r"));
    if (!file)
        return errno;
    char chunk[8192];
    errno = 0;
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get())) {
        if (!text.append(string_view(chunk, n)))
            return ENOMEM;
    }
    if (std::ferror(file.get()))
        return errno ? errno : EIO;
    return 0;
}

// Calls visit(line) for every line of `text`, newline excluded, until visit
// returns false.
template <typename Visit>
void for_each_line(string_view text, Visit visit)
{
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        string_view line = text.substr(0, end);
        if (!visit(line))
            return;
        text.remove_prefix(end == string_view::npos ? text.size() : end + 1);
    }
}

bool is_blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

string_view trim_start(string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    return text;
}

string_view trim_end(string_view text)
{
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

struct Family {
    char open;
    char close;
};

Family family_of(int mode)
{
    if (mode == 0)
        return {'{', '}'};
    if (mode == 1)
        return {'(', ')'};
    return {'[', ']'};
}

char closing_of(char open)
{
    switch (open) {
    case '[': return ']';
    case '{': return '}';
    case '(': return ')';
    default: return '\0';
    }
}

enum class Kind { comment, header, other_header, plain };

struct Line {
    Kind kind;
    string_view name; // section name of a header
};

// A line opening with a bracket is a header only when its closing bracket
// follows; without one it is an ordinary line, for every family.
Line classify(string_view line, Family family)
{
    if (line.empty())
        return {Kind::plain, {}};
    if (line.front() == '#')
        return {Kind::comment, {}};
    char close = closing_of(line.front());
    std::size_t end = close ? line.find(close, 1) : string_view::npos;
    if (end == string_view::npos)
        return {Kind::plain, {}};
    return {line.front() == family.open ? Kind::header : Kind::other_header, line.substr(1, end - 1)};
}

struct Entry {
    string_view key;   // leading blanks kept
    string_view value; // leading blanks removed, never empty
};

std::optional<Entry> parse_entry(string_view line)
{
    std::size_t equals = line.find('=');
    if (equals == string_view::npos)
        return std::nullopt;
    Entry entry{trim_end(line.substr(0, equals)), trim_start(line.substr(equals + 1))};
    if (entry.value.empty())
        return std::nullopt;
    return entry;
}

// The value of the first entry `key` in the first occurrence of `section`
// that holds any line.
std::optional<string_view> find_entry(string_view text, Family family, string_view section, string_view key)
{
    bool in_section = false;
    bool entered = false;
    std::optional<string_view> found;
    for_each_line(text, [&](string_view line) {
        Line kind = classify(line, family);
        switch (kind.kind) {
        case Kind::comment:
            return true;
        case Kind::header:
            in_section = kv_equal_nocase(kind.name, section);
            return !entered;
        case Kind::other_header:
            in_section = false;
            return true;
        case Kind::plain:
            break;
        }
        if (!in_section)
            return true;
        entered = true;
        std::optional<Entry> entry = parse_entry(line);
        if (entry && kv_equal_nocase(entry->key, key))
            found = entry->value;
        return !found;
    });
    return found;
}

void store_value(char *buffer, int buffer_length, string_view value)
{
    if (!buffer || buffer_length <= 0)
        return;
    value = trim_end(value.substr(0, static_cast<std::size_t>(buffer_length) - 1));
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
}

struct Setting {
    string_view section;
    string_view key;
    string_view value;
};

// Builds the new profile text into `out`. False when memory ran out.
bool rewrite_profile(string_view text, Family family, const Setting &setting, Text &out)
{
    bool in_section = false;
    bool entered = false;
    bool written = false;
    bool ok = true;
    auto put = [&](std::initializer_list<string_view> pieces) { ok = ok && out.append(pieces); };
    for_each_line(text, [&](string_view line) {
        if (written) {
            put({line, "\n"});
            return ok;
        }
        Line kind = classify(line, family);
        if (kind.kind == Kind::comment || (kind.kind == Kind::plain && !in_section)) {
            put({line, "\n"});
            return ok;
        }
        if (kind.kind == Kind::header || kind.kind == Kind::other_header) {
            if (entered) {
                // The section ends here without the key: add it as its last entry.
                put({setting.key, " = ", setting.value, "\n\n"});
                written = true;
            }
            if (kind.kind == Kind::header)
                put({string_view(&family.open, 1), kind.name, string_view(&family.close, 1), "\n"});
            else
                put({line, "\n"});
            in_section = kind.kind == Kind::header && kv_equal_nocase(kind.name, setting.section);
            return ok;
        }
        entered = true;
        std::optional<Entry> entry = parse_entry(line);
        if (!entry) {
            put({line, "\n"});
            return ok;
        }
        // Entries come out unindented, so an indented key is matched as it
        // will read after this rewrite; otherwise the key would end up twice.
        string_view own_key = trim_start(entry->key);
        bool match = kv_equal_nocase(own_key, setting.key);
        put({own_key, " = ", match ? setting.value : trim_end(entry->value), "\n"});
        written = match;
        return ok;
    });
    if (entered && !written)
        put({setting.key, " = ", setting.value, "\n"});
    return ok;
}

bool has_line_break(string_view text)
{
    return text.find_first_of("\r\n") != string_view::npos;
}

// A key that reads back as itself: not empty, no '=' or line break, and not
// taken for a comment, a header or an indented (never matching) key.
bool is_valid_key(string_view key)
{
    return !key.empty() && key.find('=') == string_view::npos && !has_line_break(key) &&
           std::string_view("#[{(").find(key.front()) == string_view::npos && !is_blank(key.front());
}

int write_all(int fd, string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// A new file written beside `target` under a temporary name. commit()
// renames it over the target; one never committed is removed.
class Replacement {
public:
    Replacement() = default;
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;
    ~Replacement()
    {
        if (created_ && !committed_)
            ::unlink(temp_.c_str());
    }

    // Writes and syncs the file with the profile's mode and owner. 0 or errno.
    int write(string_view target, string_view bytes, const struct stat &like)
    {
        if (!target_.append(target) || !temp_.append({target, ".XXXXXX"}))
            return ENOMEM;
        int fd = ::mkostemp(temp_.c_str(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        created_ = true;
        int error = write_all(fd, bytes);
        if (!error && ::fchmod(fd, like.st_mode & 07777) != 0)
            error = errno;
        if (!error && ::fchown(fd, like.st_uid, like.st_gid) != 0) {
            // Not permitted unless privileged; the file then keeps our owner.
        }
        if (!error && ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        return error;
    }

    int commit()
    {
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            return errno;
        committed_ = true;
        return 0;
    }

    const char *temp_name() { return temp_.c_str(); }
    const char *target_name() { return target_.c_str(); }

private:
    Text target_;
    Text temp_;
    bool created_ = false;
    bool committed_ = false;
};

// Makes the renames in the profile's directory durable; a failure here
// changes nothing that was already done, so it is not reported.
void sync_directory(const char *path)
{
    string_view whole(path);
    std::size_t slash = whole.rfind('/');
    Text directory;
    if (!directory.append(slash == string_view::npos ? string_view(".") : whole.substr(0, slash ? slash : 1)))
        return;
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

int output_failure(Registry *registry, const char *name, int error)
{
    set_error(registry, "Failed to open %s for output, %s", name, std::strerror(error));
    return -1;
}

int rename_failure(Registry *registry, Replacement &file, int error)
{
    set_error(registry, "Failed to rename %s to %s, %s", file.temp_name(), file.target_name(),
              std::strerror(error));
    return -1;
}

// get_profile_string with the reason of a failure: 0, or an errno value.
int lookup(Registry *registry, int mode, const char *section, const char *key, const char *default_value,
           char *buffer, int buffer_length)
{
    if (registry) {
        set_error(registry, "Unknown error");
        if (mode != 0 && mode != 1 && registry->ini_function) {
            registry->ini_function(section, key, default_value, buffer, buffer_length, "ODBC.INI");
            return 0;
        }
    }
    if (buffer)
        copy_str_buffer(buffer, buffer_length, nullptr, default_value);
    if (!registry)
        return EINVAL;
    Text text;
    if (int error = load_file(registry->config_path, text)) {
        set_error(registry, "Failed to open %s for input, %s", registry->config_path, std::strerror(error));
        return error;
    }
    std::optional<string_view> value =
        find_entry(text.view(), family_of(mode), section ? section : "", key ? key : "");
    if (value)
        store_value(buffer, buffer_length, *value);
    return 0;
}

} // namespace

int kv_get_default(Registry *registry, const char *key, char *buffer, int buffer_length)
{
    if (!registry) {
        copy_str_buffer(buffer, buffer_length, nullptr, "");
        return 0;
    }
    if (registry->dsn[0])
        return lookup(registry, 2, registry->dsn, key, "", buffer, buffer_length);
    return lookup(registry, 0, "default", key, "", buffer, buffer_length);
}

extern "C" {

Registry *open_registry(void)
{
    auto *registry = static_cast<Registry *>(kv_sys_malloc(sizeof(Registry)));
    if (!registry)
        return nullptr;
    std::memset(registry, 0, sizeof *registry);
    copy_field(registry->config_path, default_config);
    return registry;
}

void close_registry(Registry *registry)
{
    kv_sys_free(registry);
}

Registry *set_config(Registry *registry, const char *path)
{
    if (registry)
        copy_field(registry->config_path, path);
    return registry;
}

char *set_dsn(Registry *registry, const char *name)
{
    if (!registry)
        return nullptr;
    copy_field(registry->dsn, name);
    return registry->dsn;
}

void set_ini_function(Registry *registry, kv_ini_function function)
{
    if (registry)
        registry->ini_function = function;
}

const char *registry_error(Registry *registry)
{
    return registry ? registry->error_text : nullptr;
}

int get_profile_string(Registry *registry, int mode, const char *section, const char *key,
                       const char *default_value, char *buffer, int buffer_length)
{
    return lookup(registry, mode, section, key, default_value, buffer, buffer_length) ? -1 : 0;
}

int set_profile_string(Registry *registry, int mode, const char *section, const char *key, const char *value)
{
    if (!registry)
        return -1;
    set_error(registry, "Unknown error");
    const char *path = registry->config_path;
    Setting setting{section ? section : "", key ? key : "", value ? value : ""};
    if (has_line_break(setting.section) || !is_valid_key(setting.key) || has_line_break(setting.value))
        return output_failure(registry, path, EINVAL);

    Text old_text;
    struct stat status;
    int error = load_file(path, old_text);
    if (!error && ::stat(path, &status) != 0)
        error = errno;
    if (error) {
        set_error(registry, "Failed to open %s for input, %s", path, std::strerror(error));
        return -1;
    }
    Text new_text;
    Text backup_name;
    if (!rewrite_profile(old_text.view(), family_of(mode), setting, new_text) ||
        !backup_name.append({path, "~"}))
        return output_failure(registry, path, ENOMEM);

    // Both files are complete on disk before either name changes.
    Replacement backup;
    Replacement profile;
    if ((error = backup.write(backup_name.view(), old_text.view(), status)))
        return output_failure(registry, backup_name.c_str(), error);
    if ((error = profile.write(path, new_text.view(), status)))
        return output_failure(registry, path, error);
    if ((error = backup.commit()))
        return rename_failure(registry, backup, error);
    if ((error = profile.commit()))
        return rename_failure(registry, profile, error);
    sync_directory(path);
    return 0;
}

char *get_default(Registry *registry, const char *key, char *buffer, int buffer_length)
{
    kv_get_default(registry, key, buffer, buffer_length);
    return buffer;
}

} // extern "C"
