// Connection strings: the grammar as tables of texts and the pairs they give
// (braces, repeated keys, length-given texts), generation and its round trip
// for awkward values, the editing functions, and memory running out.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "handle_fixture.h"
#include "turkish_locale.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs_of(const AttributeList &list)
{
    Pairs out;
    if (list.count <= 0)
        return out;
    for (ListItem *item = ListFirst(list.pairs); item; item = ListNext(item)) {
        auto *pair = static_cast<AttributePair *>(ListData(item));
        out.emplace_back(pair->key, pair->value);
    }
    EXPECT_EQ(static_cast<int>(out.size()), list.count);
    return out;
}

std::string show(const Pairs &pairs)
{
    std::string s;
    for (const auto &[k, v] : pairs)
        s += "[" + k + "|" + v + "]";
    return s;
}

class ConnectionString : public HandleTest {
protected:
    Pairs parse(const std::string &text, int flags = 0)
    {
        EXPECT_EQ(parse_connection_string(&list, mem, text.c_str(), SQL_NTS, flags), 0) << text;
        return pairs_of(list);
    }
    void set(const Pairs &pairs)
    {
        init_con_str(&list);
        for (const auto &[k, v] : pairs)
            ASSERT_EQ(append_pair(&list, k.c_str(), v.c_str(), mem), 0);
    }
    std::string generated()
    {
        int32_t needed = -1;
        std::vector<char> buffer(4096, 'x');
        EXPECT_EQ(generate_connection_string_len(&list, buffer.data(), 4096, &needed), 0);
        EXPECT_EQ(needed, static_cast<int32_t>(std::string(buffer.data()).size()));
        return buffer.data();
    }
    AttributeList list{};
};

TEST_F(ConnectionString, Grammar)
{
    struct {
        const char *text;
        Pairs pairs;
    } cases[] = {
        {"DSN=Sales;UID=ann;ROLE=r1", {{"DSN", "Sales"}, {"UID", "ann"}, {"ROLE", "r1"}}},
        {"dsn=x", {{"DSN", "x"}}},
        {"DRIVER={My Driver;2};DATABASE=/d/e.fdb", {{"DRIVER", "My Driver;2"}, {"DATABASE", "/d/e.fdb"}}},
        {"driver={My Driver;2};uid=a", {{"DRIVER", "My Driver;2"}, {"UID", "a"}}},
        // Braces hold for every key; "}}" inside them is one '}'.
        {"DSN=a;ROLE={a;b}", {{"DSN", "a"}, {"ROLE", "a;b"}}},
        {"DSN=a;PWD={x}}y;z=1}", {{"DSN", "a"}, {"PWD", "x}y;z=1"}}},
        {"DSN=a;PWD={}}}", {{"DSN", "a"}, {"PWD", "}"}}},
        {"DSN=a;PWD={}", {{"DSN", "a"}, {"PWD", ""}}},
        // A brace without its partner runs to the end of the text.
        {"DSN=a;PWD={abc;UID=b", {{"DSN", "a"}, {"PWD", "abc;UID=b"}}},
        // A braced value at the very end: nothing is read past the text.
        {"DSN=a;DRIVER={x}", {{"DSN", "a"}, {"DRIVER", "x"}}},
        // What follows a closing brace up to the next ';' belongs to no item.
        {"DSN=a;DRIVER={x}junk;UID=b", {{"DSN", "a"}, {"DRIVER", "x"}, {"UID", "b"}}},
        // A brace inside a value is an ordinary character.
        {"DSN=a;PWD=x{y}", {{"DSN", "a"}, {"PWD", "x{y}"}}},
        // The first occurrence of a key wins, whatever its case.
        {"uid=a;UID=b", {{"UID", "a"}, {"DSN", "DEFAULT"}}},
        {"DSN=x;PWD=x;DATABASE=/tmp/evil.fdb;DATABASE=/data/real.fdb",
         {{"DSN", "x"}, {"PWD", "x"}, {"DATABASE", "/tmp/evil.fdb"}}},
        {"DATABASE=/data/real.fdb;PWD=x;DATABASE=/tmp/evil.fdb;DSN=s",
         {{"DATABASE", "/data/real.fdb"}, {"PWD", "x"}, {"DSN", "s"}}},
        // Empty items and empty values.
        {"DSN=a;;UID=b;", {{"DSN", "a"}, {"UID", "b"}}},
        {";DSN=a", {{"DSN", "a"}}},
        {"DSN=a;UID=", {{"DSN", "a"}, {"UID", ""}}},
        {"DSN=a;=x;UID=b", {{"DSN", "a"}, {"UID", "b"}}},
        // Keys keep their blanks; values keep '='.
        {"DSN=a; UID =b=c", {{"DSN", "a"}, {" UID ", "b=c"}}},
        // An item without '=' ends the text.
        {"DSN=a;junk;UID=b", {{"DSN", "a"}}},
        // Without DSN, DRIVER or FILEDSN: DSN=DEFAULT.
        {"UID=a", {{"UID", "a"}, {"DSN", "DEFAULT"}}},
        {"FileDsn=/x.dsn;UID=a", {{"FILEDSN", "/x.dsn"}, {"UID", "a"}}},
        {"Driver={x}", {{"DRIVER", "x"}}},
        {"junk", {{"DSN", "DEFAULT"}}},
        {"", {}},
        {";", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(show(parse(c.text)), show(c.pairs)) << c.text;
}

TEST_F(ConnectionString, DefaultDsnFlagAndBadArguments)
{
    EXPECT_EQ(show(parse("UID=a", KV_CONSTR_NO_DEFAULT_DSN)), show({{"UID", "a"}}));
    EXPECT_EQ(show(parse("junk", KV_CONSTR_NO_DEFAULT_DSN)), "");
    EXPECT_EQ(parse_connection_string(&list, mem, "DSN=a", -4, 0), -1);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(parse_connection_string(&list, nullptr, "DSN=a", SQL_NTS, 0), -1);
    EXPECT_EQ(parse_connection_string(nullptr, mem, "DSN=a", SQL_NTS, 0), -1);
    EXPECT_EQ(parse_connection_string(&list, mem, nullptr, SQL_NTS, 0), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(init_con_str(nullptr), nullptr);
}

// A length-given text is read exactly that far: from a buffer without a
// terminator, and stopping inside an item.
TEST_F(ConnectionString, LengthGivenText)
{
    const std::string text = "DSN=Sales;UID=ann;PWD={se;cret}";
    std::vector<char> exact(text.begin(), text.end()); // no terminator
    ASSERT_EQ(parse_connection_string(&list, mem, exact.data(), static_cast<int>(exact.size()), 0), 0);
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "Sales"}, {"UID", "ann"}, {"PWD", "se;cret"}}));
    struct {
        int length;
        Pairs pairs;
    } cases[] = {
        {0, {}},
        {9, {{"DSN", "Sales"}}},
        {13, {{"DSN", "Sales"}}},
        {15, {{"DSN", "Sales"}, {"UID", "a"}}},
        {27, {{"DSN", "Sales"}, {"UID", "ann"}, {"PWD", "se;c"}}},
        {30, {{"DSN", "Sales"}, {"UID", "ann"}, {"PWD", "se;cret"}}},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(parse_connection_string(&list, mem, exact.data(), c.length, 0), 0);
        EXPECT_EQ(show(pairs_of(list)), show(c.pairs)) << c.length;
    }
    // A NUL inside the given length ends the text.
    ASSERT_EQ(parse_connection_string(&list, mem, "DSN=a\0UID=b", 11, 0), 0);
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "a"}}));
}

TEST_F(ConnectionString, GenerateCompleted)
{
    parse("DSN=Sales;UID=ann;ROLE=r1");
    EXPECT_EQ(generated(), "DSN=Sales;UID=ann;ROLE=r1;");
    parse("DRIVER={My Driver;2};DATABASE=/d/e.fdb;Description=sales data");
    EXPECT_EQ(generated(), "DRIVER={My Driver;2};DATABASE=/d/e.fdb;");
    parse("DRIVER={My Driver;2};DSN=x");
    EXPECT_EQ(generated(), "DSN=x;");
    parse("DRIVER=plain;SQITARGET1=a;REMOTESTRINGX=b;ODBCDM=y");
    EXPECT_EQ(generated(), "DRIVER={plain};SQITARGET1={a};REMOTESTRINGX={b};ODBCDM=y;");
    parse("UID=a;DRIVER=plain"); // no DSN, DRIVER given
    EXPECT_EQ(generated(), "UID=a;DRIVER={plain};");
}

TEST_F(ConnectionString, GenerateUnabridgedAndConfig)
{
    parse("DSN=a;Description=d;ODBCDM=x;PWD={p;q}");
    char buffer[128];
    EXPECT_EQ(std::string(generate_connection_string_ex(&list, buffer)), "DSN=a;DESCRIPTION=d;PWD={p;q};");
    int32_t needed = 0;
    EXPECT_EQ(generate_connection_string_ex_len(&list, buffer, sizeof buffer, &needed), 0);
    EXPECT_EQ(needed, 30);

    char config[64];
    std::memset(config, 'x', sizeof config);
    ASSERT_EQ(generate_connection_string_config(&list, config, sizeof config), config);
    EXPECT_EQ(std::string(config, 38), std::string("DSN=a\0DESCRIPTION=d\0ODBCDM=x\0PWD=p;q\0\0", 38));
    EXPECT_EQ(generate_connection_string_config_len(&list, config, sizeof config, &needed), 0);
    EXPECT_EQ(needed, 38);
    // Whole pairs while they, their NUL and the final NUL fit.
    std::memset(config, 'x', sizeof config);
    EXPECT_EQ(generate_connection_string_config_len(&list, config, 21, &needed), 1);
    EXPECT_EQ(std::string(config, 21), std::string("DSN=a\0DESCRIPTION=d\0\0", 21));
    EXPECT_EQ(needed, 38);
    std::memset(config, 'x', sizeof config);
    EXPECT_EQ(generate_connection_string_config(&list, config, 2), config);
    EXPECT_EQ(config[0], '\0');
    EXPECT_EQ(generate_connection_string_config(&list, config, 1), nullptr);
    EXPECT_EQ(generate_connection_string_config(&list, nullptr, 10), nullptr);

    AttributeList empty{};
    std::memset(config, 'x', sizeof config);
    EXPECT_EQ(generate_connection_string_config(&empty, config, 2), config);
    EXPECT_EQ(std::string(config, 2), std::string("\0\0", 2));
    EXPECT_EQ(generate_connection_string_config_len(&empty, config, 2, &needed), 0);
    EXPECT_EQ(needed, 2);
}

// Truncation is never silent: whole items while they fit, the length the
// whole text needs, and 1 for the driver's 01004.
TEST_F(ConnectionString, GenerateIntoShortBuffers)
{
    parse("DSN=Sales;UID=ann;ROLE=r1");
    const std::string whole = "DSN=Sales;UID=ann;ROLE=r1;";
    struct {
        int32_t length;
        const char *text;
        int rc;
    } cases[] = {
        {27, "DSN=Sales;UID=ann;ROLE=r1;", 0}, {26, "DSN=Sales;UID=ann;", 1}, {19, "DSN=Sales;UID=ann;", 1},
        {18, "DSN=Sales;", 1},                  {11, "DSN=Sales;", 1},         {10, "", 1},
        {1, "", 1},
    };
    for (const auto &c : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(c.length) + 8, 'x');
        int32_t needed = -1;
        EXPECT_EQ(generate_connection_string_len(&list, buffer.data(), c.length, &needed), c.rc) << c.length;
        EXPECT_EQ(std::string(buffer.data()), c.text) << c.length;
        EXPECT_EQ(needed, static_cast<int32_t>(whole.size()));
        EXPECT_EQ(buffer[static_cast<std::size_t>(c.length)], 'x') << "wrote past " << c.length;
        EXPECT_EQ(generate_connection_string(&list, buffer.data(), c.length), buffer.data());
        EXPECT_EQ(std::string(buffer.data()), c.text) << c.length;
    }
    int32_t needed = -1;
    EXPECT_EQ(generate_connection_string_len(&list, nullptr, 0, &needed), 1);
    EXPECT_EQ(needed, static_cast<int32_t>(whole.size()));
    EXPECT_EQ(generate_connection_string_len(&list, nullptr, 5, &needed), -1);
    char small[4];
    EXPECT_EQ(generate_connection_string_len(&list, small, -1, &needed), -1);
    EXPECT_EQ(generate_connection_string_ex_len(&list, small, SQL_NTS, &needed), -1);

    AttributeList empty{};
    char buffer[8] = "keep";
    EXPECT_STREQ(generate_connection_string(&empty, buffer, sizeof buffer), "");
    EXPECT_STREQ(buffer, "keep");
    EXPECT_STREQ(generate_connection_string_ex(&empty, buffer), "");
    EXPECT_EQ(generate_connection_string_len(&empty, buffer, sizeof buffer, &needed), 0);
    EXPECT_EQ(needed, 0);
}

// parse(generate(pairs)) == pairs for values no plain item could carry.
TEST_F(ConnectionString, RoundTripOfAwkwardValues)
{
    Pairs pairs = {
        {"DSN", "a;b"},      {"PWD", "}{"},          {"UID", "x=y"},          {"ROLE", " lead"},
        {"CHARSET", "t "},   {"DATABASE", "{braced}"}, {"P1", "}}"},          {"P2", ""},
        {"P3", "plain"},     {"P4", "tab\there"},     {"P5", "{"},             {"P6", "a}b;c{d=e"},
        {"P7", "\xC3\xA9t\xC3\xA9"},
    };
    set(pairs);
    std::string text = generated();
    EXPECT_EQ(show(parse(text)), show(pairs)) << text;
    char unabridged[1024];
    EXPECT_EQ(show(parse(generate_connection_string_ex(&list, unabridged))), show(pairs)) << unabridged;

    // A key that no parser could read back is left out.
    set({{"DSN", "a"}, {"K=1", "v"}, {"K;2", "v"}, {"", "v"}, {"K{", "v"}, {"UID", "u"}});
    EXPECT_EQ(generated(), "DSN=a;UID=u;");
}

TEST_F(ConnectionString, AppendAndLookUp)
{
    init_con_str(&list);
    EXPECT_EQ(append_pair(&list, "uid", "a", mem), 0);
    EXPECT_EQ(append_pair(&list, "Uid", "b", mem), 0);
    EXPECT_EQ(append_pair(&list, "pwd", nullptr, mem), 1);
    EXPECT_EQ(append_pair(&list, nullptr, "x", mem), 1);
    EXPECT_EQ(show(pairs_of(list)), show({{"UID", "b"}}));
    EXPECT_STREQ(get_attribute_value(&list, "uId"), "b");
    EXPECT_EQ(get_attribute_value(&list, "PWD"), nullptr);
    EXPECT_EQ(get_attribute_value(&list, nullptr), nullptr);
    AttributeList empty{};
    EXPECT_EQ(get_attribute_value(&empty, "UID"), nullptr);
    // count 0 is empty whatever `pairs` holds.
    AttributeList stale{0, list.pairs};
    EXPECT_EQ(get_attribute_value(&stale, "UID"), nullptr);
    EXPECT_EQ(append_pair(&stale, "ROLE", "r", mem), 0);
    EXPECT_EQ(show(pairs_of(stale)), show({{"ROLE", "r"}}));
}

TEST_F(ConnectionString, Editing)
{
    parse("DSN=s;UID=a;PWD=p");
    EXPECT_EQ(modify_connection_string(&list, "pwd", "q", mem), 0);
    EXPECT_EQ(modify_connection_string(&list, "ROLE", "r", mem), 0); // no pair is added
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "s"}, {"UID", "a"}, {"PWD", "q"}}));

    EXPECT_EQ(change_connection_string(&list, "uid", "User", mem), 0); // copied as given
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "s"}, {"User", "a"}, {"PWD", "q"}}));
    EXPECT_STREQ(get_attribute_value(&list, "USER"), "a");

    // replace: the last pair with the old key, unless the new key is there.
    ASSERT_EQ(append_pair(&list, "X", "1", mem), 0);
    ASSERT_EQ(change_connection_string(&list, "X", "pwd", mem), 0); // two PWD pairs now
    EXPECT_EQ(replace_connection_string(&list, "PWD", "DSN", mem), 0);
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "s"}, {"User", "a"}, {"PWD", "q"}, {"pwd", "1"}}));
    EXPECT_EQ(replace_connection_string(&list, "PWD", "Secret", mem), 0);
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "s"}, {"User", "a"}, {"PWD", "q"}, {"Secret", "1"}}));
    EXPECT_EQ(replace_connection_string(&list, "", "Y", mem), 0);
    EXPECT_EQ(replace_connection_string(&list, "DSN", nullptr, mem), 0);

    delete_connection_string(&list, "user", mem);
    delete_connection_string(&list, "", mem);
    delete_connection_string(&list, "nothing", mem);
    EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "s"}, {"PWD", "q"}, {"Secret", "1"}}));
    delete_connection_string(&list, "DSN", mem);
    delete_connection_string(&list, "PWD", mem);
    delete_connection_string(&list, "SECRET", mem);
    EXPECT_EQ(list.count, 0);
    char buffer[16] = "keep";
    EXPECT_STREQ(generate_connection_string(&list, buffer, sizeof buffer), "");
    EXPECT_STREQ(buffer, "keep");
    EXPECT_STREQ(generate_connection_string_config(&list, buffer, sizeof buffer), "");
    EXPECT_EQ(buffer[1], '\0');
}

TEST_F(ConnectionString, Merge)
{
    AttributeList stored{};
    ASSERT_EQ(parse_connection_string(&stored, mem, "DATABASE=/data/s.fdb;UID=owner;ROLE=r", SQL_NTS,
                                      KV_CONSTR_NO_DEFAULT_DSN),
              0);
    parse("dsn=Sales;uid=ann;PWD=pw");
    ASSERT_EQ(merge_connection_string(&stored, &list, mem), 0);
    EXPECT_EQ(show(pairs_of(stored)), show({{"DATABASE", "/data/s.fdb"}, {"UID", "ann"}, {"ROLE", "r"},
                                            {"DSN", "Sales"}, {"PWD", "pw"}}));
    // Every target pair with the key gets the value.
    ASSERT_EQ(append_pair(&stored, "X", "1", mem), 0);
    ASSERT_EQ(change_connection_string(&stored, "X", "ROLE", mem), 0);
    AttributeList role{};
    ASSERT_EQ(parse_connection_string(&role, mem, "role=boss", SQL_NTS, KV_CONSTR_NO_DEFAULT_DSN), 0);
    ASSERT_EQ(merge_connection_string(&stored, &role, mem), 0);
    EXPECT_EQ(show(pairs_of(stored)), show({{"DATABASE", "/data/s.fdb"}, {"UID", "ann"}, {"ROLE", "boss"},
                                            {"DSN", "Sales"}, {"PWD", "pw"}, {"ROLE", "boss"}}));
    AttributeList empty{};
    EXPECT_EQ(merge_connection_string(&empty, &role, mem), 0);
    EXPECT_EQ(show(pairs_of(empty)), show({{"ROLE", "boss"}}));
    EXPECT_EQ(merge_connection_string(&empty, nullptr, mem), 0);
}

// Every allocation of a parse or an edit may fail: the call reports it, and
// what was there before is left as it was (no block left behind either).
TEST_F(ConnectionString, MemoryRunningOut)
{
    const char *text = "DSN=Sales;UID=ann;PWD={a}}b};ROLE=r";
    long live = kv_test_live_blocks();
    for (long n = 1;; ++n) {
        kv_test_fail_allocation(n);
        int rc = parse_connection_string(&list, mem, text, SQL_NTS, 0);
        kv_test_fail_allocation(0);
        if (rc == 0) {
            EXPECT_EQ(show(pairs_of(list)), show({{"DSN", "Sales"}, {"UID", "ann"}, {"PWD", "a}b"}, {"ROLE", "r"}}));
            break;
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(kv_test_live_blocks(), live) << "failing allocation " << n;
        ASSERT_LT(n, 100);
    }
    for (long n = 1; n < 4; ++n) {
        kv_test_fail_allocation(n);
        int modified = modify_connection_string(&list, "UID", "bob", mem);
        int appended = append_pair(&list, "NEW", "v", mem);
        kv_test_fail_allocation(0);
        EXPECT_TRUE(modified == -1 || appended == -1);
        if (modified == -1) {
            EXPECT_STREQ(get_attribute_value(&list, "UID"), "ann");
        }
        if (appended == -1) {
            EXPECT_EQ(get_attribute_value(&list, "NEW"), nullptr);
        }
        delete_connection_string(&list, "NEW", mem);
        modify_connection_string(&list, "UID", "ann", mem);
    }
}

// Keys fold as ASCII whatever the locale: a Turkish 'i' is still 'I'.
TEST_F(ConnectionString, KeysIgnoreTheProcessLocale)
{
    kvtest::TurkishLocale turkish;
    if (!turkish.active())
        GTEST_SKIP() << "localedef could not build tr_TR (package locales missing)";
    EXPECT_EQ(show(parse("driver={x};uid=a;FileDsn=f")), show({{"DRIVER", "x"}, {"UID", "a"}, {"FILEDSN", "f"}}));
    EXPECT_STREQ(get_attribute_value(&list, "Uid"), "a");
}

} // namespace
