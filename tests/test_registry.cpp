// The profile: lookups over real files that show the grammar, rewrites checked
// against the expected file text, and failures that must leave the file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
        {2, "MyDSN", "Empty", "0:second"},                   // an empty value is not an entry
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
         "[A]\nx = 1\nk = v\n\n[B]\ny=2\n"},
        {"existing entry", "[A]\n  before =  b  \nrole=x\nafter =  a  \n", 2, "A", "role", "admin",
         "[A]\nbefore = b\nrole = admin\nafter =  a  \n"},
        {"key keeps its own spelling", "[A]\nROLE=x\n", 2, "A", "role", "admin", "[A]\nROLE = admin\n"},
        {"missing key at the end of the file", "[A]\nx=1", 2, "A", "k", "v", "[A]\nx = 1\nk = v\n"},
        {"percent signs", "# 100% %s %n\n[A]\npath=%s%d\nnote %x\n[B]\n%n=%s\n", 2, "A", "path", "%n%%",
         "# 100% %s %n\n[A]\npath = %n%%\nnote %x\n[B]\n%n=%s\n"},
        {"missing section", "[A]\nx=1\n", 2, "B", "k", "v", "[A]\nx=1\n"},
        {"section without lines", "[A]\n[B]\nx=1\n", 2, "A", "k", "v", "[A]\n[B]\nx=1\n"},
        {"headers of the family are rewritten", "[Z] note\n[A]\nx=1\n[Y] tail\n", 2, "A", "x", "2",
         "[Z]\n[A]\nx = 2\n[Y] tail\n"},
        {"another family ends the section", "[A]\nx=1\n{A}\ny=2\n", 2, "A", "k", "v",
         "[A]\nx = 1\nk = v\n\n{A}\ny=2\n"},
        {"brace family", "{settings}\nlog_file =  /old  \n[settings]\nlog_file=x\n", 0, "settings", "log_file",
         "/new", "{settings}\nlog_file = /new\n[settings]\nlog_file=x\n"},
        {"parenthesis family", "(p)\n#c\nk=1\n", 1, "P", "k", "2", "(p)\n#c\nk = 2\n"},
        {"indented key is set, not doubled", "[A]\n  key = 1\n", 2, "A", "key", "2", "[A]\nkey = 2\n"},
        {"empty values and plain lines", "[A]\nk =\nplain\n\n", 2, "A", "k", "v", "[A]\nk =\nplain\n\nk = v\n"},
        {"first occurrence only", "[A]\nk=1\n[A]\nk=2\n", 2, "A", "k", "3", "[A]\nk = 3\n[A]\nk=2\n"},
        {"unclosed header is an ordinary line", "[A]\nx=1\n[B\ny=2\n", 2, "A", "y", "3",
         "[A]\nx = 1\n[B\ny = 3\n"},
        {"long lines stay whole", "[A]\nlong=" + std::string(700, 'l') + "\n", 2, "A", "k", "v",
         "[A]\nlong = " + std::string(700, 'l') + "\nk = v\n"},
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
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_EQ(rc, -1);
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + "~ for output, File too large");
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
    std::string message = registry_error(registry);
    EXPECT_EQ(message.rfind("Failed to rename " + profile.string() + "~.", 0), 0u) << message;
    EXPECT_NE(message.find(" to " + profile.string() + "~, Is a directory"), std::string::npos) << message;
    EXPECT_EQ(read_file(profile), original);
    EXPECT_EQ(directory_names(directory), (std::vector<std::string>{"odbc.ini", "odbc.ini~"}));
}

TEST_F(ProfileFailureTest, UnwritableDirectoryLeavesTheProfile)
{
    // /proc takes no new files, even from root.
    set_config(registry, "/proc/self/status");
    EXPECT_EQ(set_profile_string(registry, 2, "A", "k", "v"), -1);
    EXPECT_EQ(std::string(registry_error(registry)).rfind("Failed to open /proc/self/status~ for output, ", 0), 0u)
        << registry_error(registry);
}

TEST_F(ProfileFailureTest, UnwritableDirectoryForAnOrdinaryUser)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    ASSERT_EQ(chmod(directory.c_str(), 0555), 0);
    int rc = set_profile_string(registry, 2, "MyDSN", "Database", "/new");
    std::string message = registry_error(registry);
    chmod(directory.c_str(), 0755);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(message, "Failed to open " + profile.string() + "~ for output, Permission denied");
    expect_untouched();
}

TEST_F(ProfileFailureTest, UnsafeArgumentsAreRefused)
{
    const char *const keys[] = {"", "a=b", "line\nbreak", "#comment", "[header]", " indented", nullptr};
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
            EXPECT_EQ(std::string(registry_error(registry)).rfind("Failed to open ", 0), 0u);
            expect_untouched();
        }
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "0:/new");

    kv_test_fail_allocation(1);
    EXPECT_EQ(lookup(2, "MyDSN", "Database"), "-1:dflt");
    EXPECT_EQ(std::string(registry_error(registry)),
              "Failed to open " + profile.string() + " for input, Cannot allocate memory");
}

} // namespace
