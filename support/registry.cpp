/*
** The profile file: lookups and the rewrite of one entry.
**
** A profile is read whole into a snapshot, and one pass over its lines
** indexes, for each of the three section families, the entry every
** (section, key) lookup finds and the stretch of lines of each section that
** lookups search. Lookups are answered from a small process-wide cache of
** snapshots, checked on every call against the file's identity, size and
** nanosecond change times (a file changed so recently that a second change
** could share its time stamps is read again on every call until it
** settles).
**
** A rewrite resolves links to the real file, indexes its current text the
** same way, and copies every line unchanged but the one it sets. The new
** text and a copy of the old one go to temporary files beside their targets,
** synced, and only then renamed over the backup ("~") and the profile, so a
** failure at any step leaves the profile as it was.
*/
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

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

KV_PRINTF_LIKE(2, 3) void set_error(Registry *registry, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(registry->error_text, sizeof registry->error_text, format, args);
    va_end(args);
}

// Every call starts with this text; a plain copy keeps it off the lookup's
// fast path.
void clear_error(Registry *registry)
{
    static constexpr char kUnknown[] = "Unknown error";
    std::memcpy(registry->error_text, kUnknown, sizeof kUnknown);
}

void copy_field(char (&field)[KV_REGISTRY_PATH_SIZE], const char *text)
{
    std::snprintf(field, sizeof field, "%s", text ? text : "");
}

// Reads the whole of an open file into `text`. Returns 0, or an errno value.
int read_all(int fd, Text &text)
{
    char chunk[8192];
    for (;;) {
        ssize_t n = kv_syscalls.read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (!text.append(string_view(chunk, static_cast<std::size_t>(n))))
            return ENOMEM;
    }
}

// Reads the file at `path` into `text` and its status into `status`.
// Returns 0, or the errno of the failure.
int load_file(const char *path, Text &text, struct stat &status)
{
    int fd = kv_syscalls.open(path, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int error = ::fstat(fd, &status) != 0 ? errno : read_all(fd, text);
    kv_syscalls.close(fd);
    return error;
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

// The families, by the opening bracket of their headers: 0 '{', 1 '(', 2 '['.
constexpr int kFamilies = 3;

int family_of_mode(int mode)
{
    return mode == 0 || mode == 1 ? mode : 2;
}

char opening_of(int family)
{
    return "{(["[family];
}

// A header line: its family and section name, or family -1 for any other
// line. A line opening with a bracket is a header only when its closing
// bracket follows; without one it is an ordinary line.
struct Header {
    int family;
    string_view name;
};

Header header_of(string_view line)
{
    static constexpr string_view opening = "{([", closing = "})]";
    std::size_t f = line.empty() ? string_view::npos : opening.find(line.front());
    if (f == string_view::npos)
        return {-1, {}};
    std::size_t end = line.find(closing[f], 1);
    if (end == string_view::npos)
        return {-1, {}};
    return {static_cast<int>(f), line.substr(1, end - 1)};
}

bool is_comment(string_view line)
{
    return !line.empty() && line.front() == '#';
}

struct Entry {
    string_view key;   // leading blanks kept
    string_view value; // leading blanks removed; may be empty
};

// An entry line: key = value. No '=' means no entry.
bool parse_entry(string_view line, Entry &entry)
{
    std::size_t equals = line.find('=');
    if (equals == string_view::npos)
        return false;
    entry = {trim_end(line.substr(0, equals)), trim_start(line.substr(equals + 1))};
    return true;
}

// Index keys: the family's bracket, then the section and the key as
// compared (without case), so one hash lookup answers a lookup.
void append_folded(std::string &out, string_view text)
{
    for (char c : text)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void index_key(std::string &out, int family, string_view section, string_view key)
{
    out.clear();
    out += opening_of(family);
    append_folded(out, section);
    out += '\n';
    append_folded(out, key);
}

void section_key(std::string &out, int family, string_view section)
{
    out.clear();
    out += opening_of(family);
    append_folded(out, section);
}

// What a lookup of (section, key) finds: the entry line and its value. The
// first entry with a value wins; an entry with an empty value counts only
// when no entry of the key in the section has a value.
struct Found {
    string_view line;
    string_view value;
};

// The lines a lookup of a section searches: from the line after the header
// of its first occurrence that holds any line but comments, up to the next
// header (`end` points at it, or at the end of the text).
struct Stretch {
    const char *begin;
    const char *end;
    bool closed; // a later occurrence is not searched
};

// The index of one profile text.
class ProfileIndex {
public:
    bool build(string_view text); // false when memory ran out

    const Found *find(int family, string_view section, string_view key)
    {
        index_key(scratch_, family, section, key);
        auto it = entries_.find(scratch_);
        return it == entries_.end() ? nullptr : &it->second;
    }

    const Stretch *stretch(int family, string_view section)
    {
        section_key(scratch_, family, section);
        auto it = sections_.find(scratch_);
        return it == sections_.end() || !it->second.closed ? nullptr : &it->second;
    }

private:
    struct Current {
        std::string section; // its index key; empty when outside any searchable section
        const char *begin = nullptr;
        bool entered = false;
    };

    void end_occurrence(Current &current, const char *at);
    void open_occurrence(Current &current, int family, string_view name, const char *next_line);
    void add_line(Current &current, string_view line);

    std::unordered_map<std::string, Found> entries_;
    std::unordered_map<std::string, Stretch> sections_;
    std::string scratch_;
};

void ProfileIndex::end_occurrence(Current &current, const char *at)
{
    if (!current.section.empty() && current.entered)
        sections_[current.section] = Stretch{current.begin, at, true};
    current.section.clear();
    current.entered = false;
}

void ProfileIndex::open_occurrence(Current &current, int family, string_view name, const char *next_line)
{
    section_key(current.section, family, name);
    auto it = sections_.find(current.section);
    if (it != sections_.end() && it->second.closed)
        current.section.clear(); // only the first occurrence with lines is searched
    current.begin = next_line;
}

void ProfileIndex::add_line(Current &current, string_view line)
{
    if (current.section.empty() || is_comment(line))
        return;
    current.entered = true;
    Entry entry;
    if (!parse_entry(line, entry))
        return;
    scratch_ = current.section;
    scratch_ += '\n';
    append_folded(scratch_, entry.key);
    auto [it, added] = entries_.try_emplace(scratch_, Found{line, entry.value});
    if (!added && it->second.value.empty() && !entry.value.empty())
        it->second = Found{line, entry.value};
}

bool ProfileIndex::build(string_view text)
{
    try {
        Current current[kFamilies];
        for_each_line(text, [&](string_view line) {
            Header header = header_of(line);
            if (header.family < 0) {
                for (auto &c : current)
                    add_line(c, line);
                return true;
            }
            // Any header ends the current section of every family.
            for (auto &c : current)
                end_occurrence(c, line.data());
            const char *next = line.data() + line.size() + (line.data() + line.size() < text.data() + text.size());
            open_occurrence(current[header.family], header.family, header.name, next);
            return true;
        });
        for (auto &c : current)
            end_occurrence(c, text.data() + text.size());
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// A profile as read at one time, with what tells whether the file changed.
struct Snapshot {
    Text text;
    ProfileIndex index;
    struct stat status {};
    bool settled = false; // no later change can share the time stamps read
};

bool same_time(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_file(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           same_time(a.st_mtim, b.st_mtim) && same_time(a.st_ctim, b.st_ctim);
}

// File time stamps come from a clock that advances in ticks of a few
// milliseconds: a file changed less than this long before it was read may
// change again without a new time stamp.
constexpr int64_t kSettleNanos = 100 * 1000 * 1000;

int64_t nanos_of(const struct timespec &t)
{
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool has_settled(const struct stat &status)
{
    struct timespec now;
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0)
        return false;
    int64_t changed = std::max(nanos_of(status.st_mtim), nanos_of(status.st_ctim));
    return nanos_of(now) - changed >= kSettleNanos;
}

// Reads and indexes the file at `path`. Returns 0, or an errno value.
int load_snapshot(const char *path, Snapshot &snapshot)
{
    if (int error = load_file(path, snapshot.text, snapshot.status))
        return error;
    if (!snapshot.index.build(snapshot.text.view()))
        return ENOMEM;
    snapshot.settled = has_settled(snapshot.status);
    return 0;
}

// The process-wide cache: the last few profiles read, by path.
class ProfileCache {
public:
    // The snapshot of `path`, read again when the file changed. NULL with
    // *error set when the file cannot be read.
    Snapshot *get(const char *path, int *error);
    void drop(const char *path);

private:
    static constexpr int kSlots = 4;
    struct Slot {
        std::string path;
        std::unique_ptr<Snapshot> snapshot;
    };
    Slot slots_[kSlots];
    int next_ = 0;
};

Snapshot *ProfileCache::get(const char *path, int *error)
{
    Slot *slot = nullptr;
    for (Slot &s : slots_)
        if (s.snapshot && s.path == path)
            slot = &s;
    if (slot && slot->snapshot->settled) {
        struct stat now;
        if (::stat(path, &now) != 0) {
            *error = errno;
            return nullptr;
        }
        if (same_file(now, slot->snapshot->status))
            return slot->snapshot.get();
    }
    try {
        auto fresh = std::make_unique<Snapshot>();
        if ((*error = load_snapshot(path, *fresh)) != 0)
            return nullptr;
        if (!slot) {
            slot = &slots_[next_];
            next_ = (next_ + 1) % kSlots;
            slot->path = path;
        }
        slot->snapshot = std::move(fresh);
        return slot->snapshot.get();
    } catch (const std::bad_alloc &) {
        *error = ENOMEM;
        return nullptr;
    }
}

void ProfileCache::drop(const char *path)
{
    for (Slot &s : slots_)
        if (s.snapshot && s.path == path)
            s.snapshot.reset();
}

ProfileCache cache;

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

// Builds the new profile text into `out`: every line is copied as it is but
// the entry that a lookup of the key finds, which is written "key = value";
// without one, the entry goes at the end of the section's lines (before the
// next header, followed by an empty line). Setting an empty value (or one of
// blanks alone, which reads as empty) also drops the section's other entries
// of the key, which would read instead of it. False when memory ran out.
bool rewrite_profile(string_view text, ProfileIndex &index, int family, const Setting &setting, Text &out)
{
    const Stretch *stretch = index.stretch(family, setting.section);
    const Found *found = index.find(family, setting.section, setting.key);
    bool ok = true;
    auto put = [&](std::initializer_list<string_view> pieces) { ok = ok && out.append(pieces); };
    auto in_stretch = [&](string_view line) {
        return stretch && line.data() >= stretch->begin && line.data() < stretch->end;
    };
    bool written = false;
    bool empty_value = trim_end(setting.value).empty();
    for_each_line(text, [&](string_view line) {
        if (stretch && !found && !written && line.data() == stretch->end) {
            put({setting.key, " = ", setting.value, "\n\n"});
            written = true;
        }
        Entry entry;
        if (found && line.data() == found->line.data() && parse_entry(line, entry)) {
            put({entry.key, " = ", setting.value, "\n"}); // the key keeps its own spelling
        } else if (empty_value && in_stretch(line) && !is_comment(line) && parse_entry(line, entry) &&
                   kv_equal_nocase(entry.key, setting.key)) {
            // dropped: it would be read instead of the empty value
        } else {
            put({line, "\n"});
        }
        return ok;
    });
    if (stretch && !found && !written)
        put({setting.key, " = ", setting.value, "\n"});
    return ok;
}

bool has_line_break(string_view text)
{
    return text.find_first_of("\r\n") != string_view::npos;
}

// A key that reads back as itself: not empty, no '=' or line break, and not
// taken for a comment, a header or an indented (never matching) key, nor
// cut by the blanks a lookup removes after it.
bool is_valid_key(string_view key)
{
    return !key.empty() && key.find('=') == string_view::npos && !has_line_break(key) &&
           std::string_view("#[{(").find(key.front()) == string_view::npos && !is_blank(key.front()) &&
           !is_blank(key.back());
}

int write_all(int fd, string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = kv_syscalls.write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Gives a new file the owner and group of the file it replaces. Without the
// privilege to give it away, the group alone is kept (allowed to a member of
// the group): *owner_kept tells. Returns 0, or the errno when even the group
// cannot be kept, which would lock the group out of its profile.
int keep_ownership(int fd, const struct stat &like, bool *owner_kept)
{
    *owner_kept = true;
    if (kv_syscalls.fchown(fd, like.st_uid, like.st_gid) == 0)
        return 0;
    *owner_kept = false;
    return kv_syscalls.fchown(fd, static_cast<uid_t>(-1), like.st_gid) == 0 ? 0 : errno;
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
            kv_syscalls.unlink(temp_.c_str());
    }

    // Writes and syncs the file with the profile's owner, group and mode.
    // 0 or errno.
    int write(string_view target, string_view bytes, const struct stat &like)
    {
        if (!target_.append(target) || !temp_.append({target, ".XXXXXX"}))
            return ENOMEM;
        int fd = kv_syscalls.mkostemp(temp_.c_str(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        created_ = true;
        int error = write_all(fd, bytes);
        if (!error)
            error = keep_ownership(fd, like, &owner_kept_);
        // After the change of owner, which clears the set-id bits.
        if (!error && kv_syscalls.fchmod(fd, like.st_mode & 07777) != 0)
            error = errno;
        if (!error && kv_syscalls.fsync(fd) != 0)
            error = errno;
        if (kv_syscalls.close(fd) != 0 && !error)
            error = errno;
        return error;
    }

    int commit()
    {
        if (kv_syscalls.rename(temp_.c_str(), target_.c_str()) != 0)
            return errno;
        committed_ = true;
        return 0;
    }

    bool owner_kept() const { return owner_kept_; }

private:
    Text target_;
    Text temp_;
    bool created_ = false;
    bool committed_ = false;
    bool owner_kept_ = true;
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
    int fd = kv_syscalls.open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return;
    kv_syscalls.fsync(fd);
    kv_syscalls.close(fd);
}

// The three failures of a rewrite, named by the files an administrator
// knows (the profile and its backup), never by the temporary names.
int input_failure(Registry *registry, const char *path, int error)
{
    set_error(registry, "Failed to open %s for input, %s", path, std::strerror(error));
    return -1;
}

int output_failure(Registry *registry, const char *path, int error)
{
    set_error(registry, "Failed to open %s for output, %s", path, std::strerror(error));
    return -1;
}

int backup_failure(Registry *registry, const char *path, const char *backup, int error)
{
    set_error(registry, "Failed to rename %s to %s, %s", path, backup, std::strerror(error));
    return -1;
}

// The file a profile path names, links resolved, so that a rewrite replaces
// the real file and not the link. NULL with errno set when it cannot be
// resolved (a missing file among others).
struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using ResolvedPath = std::unique_ptr<char, FreeDeleter>;

// get_profile_string with the reason of a failure: 0, or an errno value.
int lookup(Registry *registry, int mode, const char *section, const char *key, const char *default_value,
           char *buffer, int buffer_length)
{
    if (registry) {
        clear_error(registry);
        if (mode != 0 && mode != 1 && registry->ini_function) {
            registry->ini_function(section, key, default_value, buffer, buffer_length, "ODBC.INI");
            return 0;
        }
    }
    if (buffer)
        copy_str_buffer(buffer, buffer_length, nullptr, default_value);
    if (!registry)
        return EINVAL;
    int error = 0;
    Snapshot *snapshot = cache.get(registry->config_path, &error);
    if (!snapshot) {
        set_error(registry, "Failed to open %s for input, %s", registry->config_path, std::strerror(error));
        return error;
    }
    try {
        const Found *found = snapshot->index.find(family_of_mode(mode), section ? section : "", key ? key : "");
        if (found)
            store_value(buffer, buffer_length, found->value);
    } catch (const std::bad_alloc &) {
        set_error(registry, "Failed to open %s for input, %s", registry->config_path, std::strerror(ENOMEM));
        return ENOMEM;
    }
    return 0;
}

// The rewrite once the arguments are checked; `path` is the real file.
int rewrite(Registry *registry, const char *path, int mode, const Setting &setting)
{
    Snapshot old;
    if (int error = load_file(path, old.text, old.status))
        return input_failure(registry, path, error);
    Text new_text;
    Text backup_name;
    if (!old.index.build(old.text.view()) || !backup_name.append({path, "~"}))
        return output_failure(registry, path, ENOMEM);
    bool built;
    try {
        built = rewrite_profile(old.text.view(), old.index, family_of_mode(mode), setting, new_text);
    } catch (const std::bad_alloc &) {
        built = false;
    }
    if (!built)
        return output_failure(registry, path, ENOMEM);

    // Both files are complete on disk before either name changes.
    Replacement backup;
    Replacement profile;
    int error;
    if ((error = backup.write(backup_name.view(), old.text.view(), old.status)))
        return backup_failure(registry, path, backup_name.c_str(), error);
    if ((error = profile.write(path, new_text.view(), old.status)))
        return output_failure(registry, path, error);
    if ((error = backup.commit()))
        return backup_failure(registry, path, backup_name.c_str(), error);
    if ((error = profile.commit()))
        return output_failure(registry, path, error);
    sync_directory(path);
    if (!profile.owner_kept())
        set_error(registry, "Kept the group but not the owner of %s, %s", path, std::strerror(EPERM));
    return 0;
}

} // namespace

int kv_get_profile_string(Registry *registry, int mode, const char *section, const char *key,
                          const char *default_value, char *buffer, int buffer_length)
{
    return lookup(registry, mode, section, key, default_value, buffer, buffer_length);
}

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
    if (registry) {
        copy_field(registry->config_path, path);
        cache.drop(registry->config_path); // the next lookup reads the file afresh
    }
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
    clear_error(registry);
    const char *path = registry->config_path;
    Setting setting{section ? section : "", key ? key : "", value ? value : ""};
    if (has_line_break(setting.section) || !is_valid_key(setting.key) || has_line_break(setting.value))
        return output_failure(registry, path, EINVAL);
    ResolvedPath real(::realpath(path, nullptr));
    if (!real)
        return input_failure(registry, path, errno);
    return rewrite(registry, real.get(), mode, setting);
}

char *get_default(Registry *registry, const char *key, char *buffer, int buffer_length)
{
    kv_get_default(registry, key, buffer, buffer_length);
    return buffer;
}

} // extern "C"
