// The profile: lookups over real files that show the grammar, rewrites checked
// against the expected file text, and failures that must leave the file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_size_limit.h"
#include "syscall_failure.h"
#include "internal.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> directory_names(const fs::path &directory)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvprofile.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        profile = directory / "odbc.ini";
        registry = open_registry();
        ASSERT_NE(registry, nullptr);
        set_config(registry, profile.c_str());
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        close_registry(registry);
        fs::remove_all(directory);
    }

    // The lookup's result and buffer, as one string "rc:text".
    std::string lookup(int mode, const char *section, const char *key, const char *fallback = "dflt",
                       int length = 256)
    {
        std::vector<char> buffer(static_cast<std::size_t>(std::max(length, 1)), '@');
        int rc = get_profile_string(registry, mode, section, key, fallback, buffer.data(), length);
        return std::to_string(rc) + ":" + buffer.data();
    }

    fs::path directory;
    fs::path profile;
    Registry *registry = nullptr;
};

const std::string grammar =
    "# Database = commented out, and [MyDSN] in a comment\n"
    "[MyDSN]\n"
    "Database = /data/x.fdb   \n"
    "  Indented = x\n"
    "role=admin\n"
    "Spaced = ab   cd\n"
    "Empty =   \n"
    "Empty = second\n"
    "OnlyEmpty =  \n"
    "{settings}\n"
    "log_file =\n"
    "log_file = /tmp/t.log\n"
    "(MyDSN)\n"
    "Database = paren\n"
    "{MyDSN}\n"
    "Database = brace\n"
    "[Other]\n"
    "#Database = commented\n"
    "Database = other\n"
    "[MyDSN]\n"
    "Extra = only in the second occurrence\n"
    "[Late]\n"
    "[CommentOnly]\n"
    "# nothing but a comment\n"
    "[Late]\n"
    "key = late\n"
    "[CommentOnly]\n"
    "key = found\n"
    "[Open]\n"
    "first = 1\n"
    "[Unclosed\n"
    "second = 2\n"
    "[Long]\n"
    "filler = " + std::string(600, 'f') + "\n"
    "value = " + std::string(1000, 'v') + "\n"
    "[Tail]\n"
    "last = no newline";

TEST_F(ProfileTest, LookupFollowsTheGrammar)
{
    write_file(profile, grammar);
    struct Case {
        int mode;
        const char *section;
        const char *key;
        std::string expected;
    };
    const Case cases[] = {
        {2, "mydsn", "DATABASE", "0:/data/x.fdb"},           // case-blind, trailing blanks trimmed
        {2, "MyDSN", "Indented", "0:dflt"},                  // leading blanks are part of the key
        {2, "MyDSN", "  indented", "0:x"},
        {2, "MyDSN", "role", "0:admin"},
        {2, "MyDSN", "Spaced", "0:ab   cd"},
        {2, "MyDSN", "Empty", "0:second"},                   // an empty value gives way to a value
        {2, "MyDSN", "OnlyEmpty", "0:"},                     // ... and else reads as the empty value
        {0, "settings", "log_file", "0:/tmp/t.log"},
        {2, "MyDSN", "log_file", "0:dflt"},                  // {settings} ends [MyDSN]
        {1, "mydsn", "database", "0:paren"},
        {0, "mydsn", "database", "0:brace"},
        {2, "Other", "Database", "0:other"},                 // comments are skipped
        {2, "MyDSN", "Extra", "0:dflt"},                     // the first occurrence wins
        {2, "Late", "key", "0:late"},                        // an occurrence with no line is passed over
        {2, "CommentOnly", "key", "0:found"},                // a comment does not enter a section
        {2, "Open", "second", "0:2"},                        // "[Unclosed" is not a header
        {2, "Unclosed", "second", "0:dflt"},
        {2, "MyDSN", "missing", "0:dflt"},
        {2, "NoSuchSection", "Database", "0:dflt"},
        {2, "Tail", "last", "0:no newline"},
        {2, "Long", "value", "0:" + std::string(1000, 'v')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(lookup(c.mode, c.section, c.key, "dflt", 2048), c.expected);
        EXPECT_STREQ(registry_error(registry), "Unknown error");
    }
}

TEST_F(ProfileTest, ValuesAndDefaultsAreCutToTheBuffer)
{
    write_file(profile, grammar);
    EXPECT_EQ(lookup(2, "MyDSN", "Database", "dflt", 5), "0:/dat");
    EXPECT_EQ(lookup(2, "MyDSN", "Spaced", "dflt", 5), "0:ab");      // cut, then trimmed
    EXPECT_EQ(lookup(2, "MyDSN", "none", "a   b", 4), "0:a  ");      // the default is not trimmed
    EXPECT_EQ(lookup(2, "MyDSN", "none", nullptr), "0:");
    EXPECT_EQ(lookup(2, "MyDSN", "Database", "dflt", 1), "0:");
    EXPECT_EQ(get_profile_string(registry, 2, "MyDSN", "Database", "x", nullptr, 0), 0);
}

TEST_F(ProfileTest, MissingFileLeavesTheDefault)
{
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "-1:dflt");
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + " for input, No such file or directory");
    // The next call starts over.
    write_file(profile, grammar);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "0:/data/x.fdb");
    EXPECT_STREQ(registry_error(registry), "Unknown error");
}

int lookup_calls;
std::string lookup_arguments;
int fake_lookup(const char *section, const char *key, const char *fallback, char *buffer, int length,
                const char *file)
{
    lookup_calls++;
    lookup_arguments = std::string(section) + "," + key + "," + fallback + "," + std::to_string(length) +
                       "," + file;
    std::snprintf(buffer, static_cast<std::size_t>(length), "%s", "from driver");
    return -7;
}

TEST_F(ProfileTest, DriverLookupAnswersForTheBracketFamilyOnly)
{
    write_file(profile, grammar);
    set_ini_function(registry, fake_lookup);
    lookup_calls = 0;
    EXPECT_EQ(lookup(2, "MyDSN", "Database", "d", 64), "0:from driver");
    EXPECT_EQ(lookup_arguments, "MyDSN,Database,d,64,ODBC.INI");
    EXPECT_EQ(lookup(0, "settings", "log_file"), "0:/tmp/t.log");
    EXPECT_EQ(lookup(1, "MyDSN", "Database"), "0:paren");
    EXPECT_EQ(lookup_calls, 1);
    set_ini_function(registry, nullptr);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "0:/data/x.fdb");
}

TEST_F(ProfileTest, GetDefaultReadsTheDataSourceOrTheDefaultSection)
{
    write_file(profile, "{default}\nblob_path = /brace\n[default]\nblob_path = /bracket\n"
                        "[Sales]\nblob_path = /sales\n");
    char buffer[64];
    EXPECT_STREQ(get_default(registry, "blob_path", buffer, sizeof buffer), "/brace");
    EXPECT_STREQ(set_dsn(registry, "Sales"), "Sales");
    EXPECT_STREQ(get_default(registry, "blob_path", buffer, sizeof buffer), "/sales");
    EXPECT_STREQ(get_default(registry, "unset", buffer, sizeof buffer), "");
    EXPECT_STREQ(get_default(nullptr, "blob_path", buffer, sizeof buffer), "");
}

TEST_F(ProfileTest, RecordStartsWithTheDefaultsAndCutsLongNames)
{
    Registry *fresh = open_registry();
    ASSERT_NE(fresh, nullptr);
    EXPECT_STREQ(fresh->config_path, "odbc.ini");
    EXPECT_STREQ(fresh->dsn, "");
    EXPECT_EQ(fresh->ini_function, nullptr);
    EXPECT_EQ(set_config(fresh, std::string(400, 'p').c_str()), fresh);
    EXPECT_EQ(std::string(fresh->config_path), std::string(255, 'p'));
    EXPECT_EQ(std::string(set_dsn(fresh, std::string(300, 'd').c_str())), std::string(255, 'd'));
    close_registry(fresh);
    EXPECT_EQ(registry_error(nullptr), nullptr);
    close_registry(nullptr);

    kv_test_fail_allocation(1);
    EXPECT_EQ(open_registry(), nullptr);
}

struct Rewrite {
    const char *name;
    std::string before;
    int mode;
    const char *section;
    const char *key;
    const char *value;
    std::string after;
};

TEST_F(ProfileTest, RewriteProducesTheExpectedText)
{
    const Rewrite cases[] = {
        {"missing key goes before the next header", "[A]\nx=1\n[B]\ny=2\n", 2, "a", "k", "v",
         "[A]\nx=1\nk = v\n\n[B]\ny=2\n"},
        {"existing entry; other lines stay as they are", "[A]\n  before =  b  \nrole=x\nafter =  a  \n", 2, "A",
         "role", "admin", "[A]\n  before =  b  \nrole = admin\nafter =  a  \n"},
        {"key keeps its own spelling", "[A]\nROLE=x\n", 2, "A", "role", "admin", "[A]\nROLE = admin\n"},
        {"missing key at the end of the file", "[A]\nx=1", 2, "A", "k", "v", "[A]\nx=1\nk = v\n"},
        {"percent signs", "# 100% %s %n\n[A]\npath=%s%d\nnote %x\n[B]\n%n=%s\n", 2, "A", "path", "%n%%",
         "# 100% %s %n\n[A]\npath = %n%%\nnote %x\n[B]\n%n=%s\n"},
        {"missing section", "[A]\nx=1\n", 2, "B", "k", "v", "[A]\nx=1\n"},
        {"section without lines", "[A]\n[B]\nx=1\n", 2, "A", "k", "v", "[A]\n[B]\nx=1\n"},
        {"headers are copied as they are", "[Z] note\n[A]\nx=1\n[Y] tail\n", 2, "A", "x", "2",
         "[Z] note\n[A]\nx = 2\n[Y] tail\n"},
        {"another family ends the section", "[A]\nx=1\n{A}\ny=2\n", 2, "A", "k", "v",
         "[A]\nx=1\nk = v\n\n{A}\ny=2\n"},
        {"brace family", "{settings}\nlog_file =  /old  \n[settings]\nlog_file=x\n", 0, "settings", "log_file",
         "/new", "{settings}\nlog_file = /new\n[settings]\nlog_file=x\n"},
        {"parenthesis family", "(p)\n#c\nk=1\n", 1, "P", "k", "2", "(p)\n#c\nk = 2\n"},
        {"an indented key is another key", "[A]\n  key = 1\n", 2, "A", "key", "2", "[A]\n  key = 1\nkey = 2\n"},
        {"an entry with an empty value is set in place", "[A]\nk =\nplain\n\n", 2, "A", "k", "v",
         "[A]\nk = v\nplain\n\n"},
        {"the entry with a value is the one set", "[A]\nk =\nk = x\n", 2, "A", "k", "y", "[A]\nk =\nk = y\n"},
        {"an empty value drops the entries that would read instead", "[A]\nk=1\nj=2\nk=3\n[B]\nk=4\n", 2, "A",
         "k", "", "[A]\nk = \nj=2\n[B]\nk=4\n"},
        {"an empty value stays one line", "[A]\nk = \n", 2, "A", "k", "", "[A]\nk = \n"},
        {"first occurrence only", "[A]\nk=1\n[A]\nk=2\n", 2, "A", "k", "3", "[A]\nk = 3\n[A]\nk=2\n"},
        {"unclosed header is an ordinary line", "[A]\nx=1\n[B\ny=2\n", 2, "A", "y", "3",
         "[A]\nx=1\n[B\ny = 3\n"},
        {"indented lines keep their meaning", "[MyDSN]\nUser = bob\n  [Old] = 1\nDatabase = /data/x.fdb\n", 2,
         "MyDSN", "Role", "admin", "[MyDSN]\nUser = bob\n  [Old] = 1\nDatabase = /data/x.fdb\nRole = admin\n"},
        {"long lines stay whole", "[A]\nlong=" + std::string(700, 'l') + "\n", 2, "A", "k", "v",
         "[A]\nlong=" + std::string(700, 'l') + "\nk = v\n"},
    };
    for (const Rewrite &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(profile, c.before);
        ASSERT_EQ(set_profile_string(registry, c.mode, c.section, c.key, c.value), 0) << registry_error(registry);
        EXPECT_EQ(read_file(profile), c.after);
        EXPECT_EQ(read_file(profile.string() + "~"), c.before);
        EXPECT_STREQ(registry_error(registry), "Unknown error");
        EXPECT_EQ(directory_names(directory), (std::vector<std::string>{"odbc.ini", "odbc.ini~"}));
    }
}

TEST_F(ProfileTest, RewrittenValueReadsBack)
{
    write_file(profile, grammar);
    ASSERT_EQ(set_profile_string(registry, 2, "MyDSN", "Database", "/new/path.fdb"), 0);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "0:/new/path.fdb");
    ASSERT_EQ(set_profile_string(registry, 2, "MyDSN", "Added", "yes"), 0);
    EXPECT_EQ(lookup(2, "MyDSN", "Added"), "0:yes");
    EXPECT_EQ(lookup(0, "settings", "log_file"), "0:/tmp/t.log");
    // The backup holds the text before the last rewrite.
    std::string previous = read_file(profile.string() + "~");
    EXPECT_NE(previous.find("Database = /new/path.fdb"), std::string::npos);
    EXPECT_EQ(previous.find("Added"), std::string::npos);
}

TEST_F(ProfileTest, RewriteKeepsThePermissions)
{
    write_file(profile, "[A]\nk=1\n");
    ASSERT_EQ(chmod(profile.c_str(), 0640), 0);
    ASSERT_EQ(set_profile_string(registry, 2, "A", "k", "2"), 0);
    struct stat status;
    ASSERT_EQ(stat(profile.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    ASSERT_EQ(stat((profile.string() + "~").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// Section names and keys compare without case.
std::string folded(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Every (mode, section, key) a text names, read through the library.
std::map<std::string, std::string> every_lookup(Registry *registry, const std::string &text,
                                                const std::vector<std::string> &extra_keys)
{
    std::set<std::string> sections, keys(extra_keys.begin(), extra_keys.end());
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t close = line.find_first_of("])}", 1);
        if (!line.empty() && std::string("[{(").find(line[0]) != std::string::npos && close != std::string::npos)
            sections.insert(line.substr(1, close - 1));
        std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            std::string key = line.substr(0, equals);
            key.erase(key.find_last_not_of(" \t") + 1);
            keys.insert(key);
        }
    }
    std::map<std::string, std::string> found;
    for (int mode : {0, 1, 2})
        for (const std::string &section : sections)
            for (const std::string &key : keys) {
                char buffer[256];
                get_profile_string(registry, mode, section.c_str(), key.c_str(), "<none>", buffer, sizeof buffer);
                found[folded(std::to_string(mode) + section + "/" + key)] = buffer;
            }
    return found;
}

// After any rewrite every other entry reads as before; only the one set changes.
TEST_F(ProfileTest, RewriteChangesOnlyTheEntrySet)
{
    const std::string texts[] = {
        "[MyDSN]\nUser = bob\n  [Old] = 1\nDatabase = /data/x.fdb\n",
        "[A]\n  #x = 1\n  {B} = 2\n  (C) = 3\nk =\nk = v\n{A}\nk = brace\n[B]\n\n[A]\nk = late\n",
        "# [A]\n[A]\nk=1\nK = 2\n  k = 3\nplain line\n[A\nm = 4\n(A)\nk = paren\n[C]\nx=\n",
        grammar,
    };
    const struct {
        int mode;
        const char *section, *key, *value;
    } settings[] = {
        {2, "MyDSN", "Role", "admin"}, {2, "MyDSN", "User", "alice"}, {2, "A", "k", "new"}, {2, "A", "k", ""},
        {0, "A", "k", "braced"},       {1, "A", "k", ""},             {2, "C", "x", "9"},   {2, "A", "m", "5"},
        {0, "settings", "log_file", ""},
    };
    for (const std::string &text : texts) {
        for (const auto &set : settings) {
            SCOPED_TRACE(std::to_string(set.mode) + set.section + "/" + set.key + "=" + set.value + " in\n" + text);
            write_file(profile, text);
            auto before = every_lookup(registry, text, {set.key});
            ASSERT_EQ(set_profile_string(registry, set.mode, set.section, set.key, set.value), 0);
            std::string changed = folded(std::to_string(set.mode) + set.section + "/" + set.key);
            auto after = every_lookup(registry, text, {set.key});
            // The entry a lookup found, or one added to a section with lines,
            // now holds the new value; nothing else changes.
            auto was = before.find(changed), is = after.find(changed);
            if (was != before.end() && is != after.end() && (was->second != "<none>" || is->second != "<none>"))
                was->second = set.value;
            EXPECT_EQ(after, before);
            // Setting the same value again changes nothing.
            std::string once = read_file(profile);
            ASSERT_EQ(set_profile_string(registry, set.mode, set.section, set.key, set.value), 0);
            EXPECT_EQ(read_file(profile), once);
        }
    }
}

TEST_F(ProfileTest, EmptyValueReadsBackAsTheEmptyValue)
{
    write_file(profile, "[A]\nk = 1\n");
    ASSERT_EQ(set_profile_string(registry, 2, "A", "k", ""), 0);
    EXPECT_EQ(lookup(2, "A", "k"), "0:");
    ASSERT_EQ(set_profile_string(registry, 2, "A", "k", ""), 0);
    ASSERT_EQ(set_profile_string(registry, 2, "A", "new", ""), 0);
    EXPECT_EQ(lookup(2, "A", "new"), "0:");
    EXPECT_EQ(read_file(profile), "[A]\nk = \nnew = \n");
}

// A value of blanks alone reads as the empty value, so it too must drop the
// later entries of the key that would read instead (found by fuzzing).
TEST_F(ProfileTest, BlankValueReadsBackAsTheEmptyValue)
{
    for (const char *blanks : {" ", "\f", "\t \v"}) {
        SCOPED_TRACE(testing::PrintToString(blanks));
        write_file(profile, "[A]\nk = 1\nk = 2\nother = 3\n");
        ASSERT_EQ(set_profile_string(registry, 2, "A", "k", blanks), 0);
        EXPECT_EQ(lookup(2, "A", "k"), "0:");
        EXPECT_EQ(lookup(2, "A", "other"), "0:3");
    }
}

// A change written between two lookups is seen, however soon and however
// like the old text it is (same size, same directory entry).
TEST_F(ProfileTest, ChangesBetweenLookupsAreSeen)
{
    write_file(profile, "[A]\nk = 1\n");
    for (int i = 0; i < 200; i++) {
        std::string value = std::to_string(i % 10);
        int fd = open(profile.c_str(), O_WRONLY); // the same file, rewritten in place
        ASSERT_GE(fd, 0);
        std::string text = "[A]\nk = " + value + "\n";
        ASSERT_EQ(pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        close(fd);
        ASSERT_EQ(lookup(2, "A", "k"), "0:" + value) << "write " << i;
    }
    // Once the file has settled, lookups come from the cache and still see
    // a change that follows.
    usleep(150 * 1000);
    EXPECT_EQ(lookup(2, "A", "k"), "0:9");
    EXPECT_EQ(lookup(2, "A", "k"), "0:9");
    write_file(profile, "[A]\nk = 7\n");
    EXPECT_EQ(lookup(2, "A", "k"), "0:7");
    fs::remove(profile);
    EXPECT_EQ(lookup(2, "A", "k"), "-1:dflt");
}

TEST_F(ProfileTest, LinkedProfileUpdatesTheRealFile)
{
    fs::create_directory(directory / "real");
    fs::path real = directory / "real" / "odbc.ini";
    write_file(real, "[A]\nk = 1\n");
    fs::create_symlink("real/odbc.ini", profile);
    ASSERT_EQ(set_profile_string(registry, 2, "A", "k", "2"), 0) << registry_error(registry);
    EXPECT_TRUE(fs::is_symlink(profile));
    EXPECT_EQ(read_file(real), "[A]\nk = 2\n");
    EXPECT_EQ(read_file(real.string() + "~"), "[A]\nk = 1\n");
    EXPECT_EQ(lookup(2, "A", "k"), "0:2");
    EXPECT_EQ(directory_names(directory), (std::vector<std::string>{"odbc.ini", "real"}));
}

// Runs `body` in a child process as user `uid` with primary group `gid` and
// the supplementary groups given; returns what the child exits with.
template <typename Body>
int as_user(uid_t uid, gid_t gid, std::vector<gid_t> groups, Body body)
{
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(ProfileTest, RewriteKeepsTheGroupOfASharedProfile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to set up files of other users";
    constexpr uid_t owner = 4321, member = 4324, outsider = 4325;
    constexpr gid_t group = 4322, other_group = 4323;
    ASSERT_EQ(chmod(directory.c_str(), 0777), 0);
    write_file(profile, "[A]\nk = 1\n");
    ASSERT_EQ(chown(profile.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(profile.c_str(), 0664), 0);

    // A member of the group: the group and the mode stay, the owner cannot.
    std::string message;
    int rc = as_user(member, other_group, {group}, [&] {
        int r = set_profile_string(registry, 2, "A", "k", "2");
        return r == 0 && std::string(registry_error(registry)).rfind("Kept the group but not the owner of ", 0) == 0
                   ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    struct stat status;
    ASSERT_EQ(stat(profile.c_str(), &status), 0);
    EXPECT_EQ(status.st_gid, group);
    EXPECT_EQ(status.st_mode & 07777, 0664u);
    EXPECT_EQ(read_file(profile), "[A]\nk = 2\n");

    // Someone outside the group (the file world-writable) would lock the
    // group out: the rewrite is refused and the profile stays.
    ASSERT_EQ(chmod(profile.c_str(), 0666), 0);
    rc = as_user(outsider, other_group, {}, [&] {
        int r = set_profile_string(registry, 2, "A", "k", "3");
        return r == -1 && std::string(registry_error(registry)) ==
                              "Failed to rename " + profile.string() + " to " + profile.string() +
                                  "~, Operation not permitted"
                   ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_file(profile), "[A]\nk = 2\n");
    ASSERT_EQ(stat(profile.c_str(), &status), 0);
    EXPECT_EQ(status.st_gid, group);
}

// Fixture state for the failure tests: a profile, an older backup, and a
// check that neither changed and no temporary file was left behind.
class ProfileFailureTest : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        original = std::string(grammar) + "\n" + std::string(3000, '#') + "\n";
        write_file(profile, original);
        write_file(profile.string() + "~", "older backup\n");
    }
    void expect_untouched()
    {
        EXPECT_EQ(read_file(profile), original);
        EXPECT_EQ(read_file(profile.string() + "~"), "older backup\n");
        EXPECT_EQ(directory_names(directory), (std::vector<std::string>{"odbc.ini", "odbc.ini~"}));
    }
    std::string original;
};

TEST_F(ProfileFailureTest, WriteFailureInTheMiddleLeavesTheProfile)
{
    // Files may not grow past 1 KiB: the writes of the new text fail part-way.
    int rc;
    {
        FileSizeLimit limit(1024);
        rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
    }

    EXPECT_EQ(rc, -1);
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to rename " + profile.string() + " to " + profile.string() + "~, File too large");
    expect_untouched();
}

TEST_F(ProfileFailureTest, MissingFileCreatesNothing)
{
    fs::remove(profile);
    fs::remove(profile.string() + "~");
    EXPECT_EQ(set_profile_string(registry, 2, "MyDSN", "Database", "/new"), -1);
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + " for input, No such file or directory");
    EXPECT_TRUE(directory_names(directory).empty());
}

TEST_F(ProfileFailureTest, BackupThatCannotBeReplacedStopsTheRewrite)
{
    fs::remove(profile.string() + "~");
    fs::create_directory(profile.string() + "~");
    write_file(profile.string() + "~/keep", "x");
    EXPECT_EQ(set_profile_string(registry, 2, "MyDSN", "Database", "/new"), -1);
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to rename " + profile.string() + " to " + profile.string() + "~, Is a directory");
    EXPECT_EQ(read_file(profile), original);
    EXPECT_EQ(directory_names(directory), (std::vector<std::string>{"odbc.ini", "odbc.ini~"}));
}

TEST_F(ProfileFailureTest, UnwritableDirectoryLeavesTheProfile)
{
    // /proc takes no new files, even from root.
    set_config(registry, "/proc/self/status");
    EXPECT_EQ(set_profile_string(registry, 2, "A", "k", "v"), -1);
    std::string real = "/proc/" + std::to_string(getpid()) + "/status";
    EXPECT_EQ(std::string(registry_error(registry)).rfind("Failed to rename " + real + " to " + real + "~, ", 0), 0u)
        << registry_error(registry);
}

// An ordinary user cannot create the temporary files in a read-only
// directory. Run as root, the rewrite is made by a child process that has
// become nobody, so the directory's permissions hold there too.
TEST_F(ProfileFailureTest, UnwritableDirectoryForAnOrdinaryUser)
{
    ASSERT_EQ(chmod(directory.c_str(), 0555), 0);
    auto rewrite_refused = [&] {
        int rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
        return rc == -1 && std::string(registry_error(registry)) ==
                               "Failed to rename " + profile.string() + " to " + profile.string() +
                                   "~, Permission denied";
    };
    bool refused = geteuid() == 0 ? as_user(65534, 65534, {}, [&] { return rewrite_refused() ? 0 : 1; }) == 0
                                  : rewrite_refused();
    chmod(directory.c_str(), 0755);
    EXPECT_TRUE(refused);
    expect_untouched();
}

// Every call the rewrite makes through the system-call seam, failed in turn
// (writes fail part-way through a file too): the profile holds its old text
// or, once the call succeeded, its new text; the backup its old text or the
// profile's previous text. Only a failed unlink leaves a temporary file.
TEST_F(ProfileFailureTest, EverySystemCallFailureLeavesWholeFiles)
{
    ASSERT_EQ(set_profile_string(registry, 2, "MyDSN", "Database", "/new"), 0);
    const std::string new_text = read_file(profile);
    ASSERT_NE(new_text, original);

    bool succeeded = false;
    for (long nth = 1; !succeeded && nth < 1000; nth++) {
        write_file(profile, original);
        write_file(profile.string() + "~", "older backup\n");
        set_config(registry, profile.c_str());
        int rc;
        std::string failed;
        {
            SyscallFailure failure(nth, EIO);
            rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
            failed = failure.failed();
            succeeded = failed.empty();
        }
        SCOPED_TRACE("call " + std::to_string(nth) + " (" + failed + ") failed");
        std::string backup = read_file(profile.string() + "~");
        if (rc == 0) {
            EXPECT_EQ(read_file(profile), new_text);
            EXPECT_EQ(backup, original);
        } else {
            EXPECT_EQ(rc, -1);
            std::string message = registry_error(registry);
            EXPECT_TRUE(message.rfind("Failed to ", 0) == 0 && message.find("Input/output error") != std::string::npos)
                << message;
            EXPECT_EQ(read_file(profile), original);
            EXPECT_TRUE(backup == "older backup\n" || backup == original) << backup;
        }
        std::vector<std::string> names = directory_names(directory);
        if (failed == "unlink")
            EXPECT_EQ(names.size(), 3u);
        else
            EXPECT_EQ(names, (std::vector<std::string>{"odbc.ini", "odbc.ini~"}));
        for (const auto &name : names)
            if (name != "odbc.ini" && name != "odbc.ini~")
                fs::remove(directory / name);
    }
    EXPECT_TRUE(succeeded);
}

// A disk that fills up while the new text is written: the rewrite stops
// there, whether the system reports it at a write or only at the sync.
TEST_F(ProfileFailureTest, FullDiskAtWriteOrSyncLeavesTheProfile)
{
    for (const char *call : {"write", "fsync", "close"}) {
        SCOPED_TRACE(call);
        int rc;
        {
            SyscallFailure failure(0, 0);
            SyscallFailure::always(call, ENOSPC);
            rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(std::string(registry_error(registry)),
                  "Failed to rename " + profile.string() + " to " + profile.string() + "~, No space left on device");
        expect_untouched();
    }
}

TEST_F(ProfileFailureTest, UnsafeArgumentsAreRefused)
{
    const char *const keys[] = {"", "a=b", "line\nbreak", "#comment", "[header]", " indented", "trailing ", nullptr};
    for (const char *key : keys) {
        SCOPED_TRACE(key ? key : "(null)");
        EXPECT_EQ(set_profile_string(registry, 2, "MyDSN", key, "v"), -1);
        expect_untouched();
    }
    EXPECT_EQ(set_profile_string(registry, 2, "MyDSN", "Database", "x\n[Injected]\nk = v"), -1);
    EXPECT_EQ(set_profile_string(registry, 2, "My\nDSN", "Database", "x"), -1);
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + " for output, Invalid argument");
    expect_untouched();
    EXPECT_EQ(set_profile_string(nullptr, 2, "MyDSN", "Database", "x"), -1);
}

TEST_F(ProfileFailureTest, AllocationFailuresLeaveTheProfile)
{
    int rc = -1;
    for (long nth = 1; rc != 0 && nth < 1000; nth++) {
        SCOPED_TRACE(nth);
        kv_test_fail_allocation(nth);
        rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
        kv_test_fail_allocation(0);
        if (rc != 0) {
            std::string message = registry_error(registry);
            EXPECT_TRUE(message.rfind("Failed to open ", 0) == 0 || message.rfind("Failed to rename ", 0) == 0)
                << message;
            expect_untouched();
        }
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "0:/new");

    set_config(registry, profile.c_str()); // drops the profile read last
    kv_test_fail_allocation(1);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "-1:dflt");
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + " for input, Cannot allocate memory");
}

} // namespace
