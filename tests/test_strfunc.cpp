// String buffer helpers: the ODBC copy contract, appends with a running
// length, duplication, case-blind equality, the tokenizer and the texts of
// the dynamic function codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "internal.h"

namespace {

struct CopyCase {
    const char *source;
    int length;
    const char *stored; // what the buffer holds afterwards; nullptr: untouched
    int reported;
    int result;
};

// Buffers start filled with '#', so an untouched buffer is visible.
const CopyCase copy_cases[] = {
    {"hello", 6, "hello", 5, 0},
    {"hello", 5, "hell", 5, 1},
    {"hello", 1, "", 5, 1},
    {"hello", 0, nullptr, 5, 1},
    {"", 0, nullptr, 0, 1}, // the terminator does not fit either
    {"", 1, "", 0, 0},
    {nullptr, 4, "", 0, 0},
    {"hello", -7, nullptr, 5, 1}, // a negative length is taken as 0
};

TEST(CopyStrBuffer, FollowsTheOdbcContract)
{
    for (const CopyCase &c : copy_cases) {
        SCOPED_TRACE(std::string("source ") + (c.source ? c.source : "(null)") + ", length " +
                     std::to_string(c.length));
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        int16_t out = -1;
        EXPECT_EQ(copy_str_buffer(buffer, c.length, &out, c.source), c.result);
        EXPECT_EQ(out, c.reported);
        if (c.stored)
            EXPECT_STREQ(buffer, c.stored);
        else
            EXPECT_EQ(buffer[0], '#');

        std::memset(buffer, '#', sizeof buffer);
        int32_t out32 = -1;
        EXPECT_EQ(copy_str_bufferl(buffer, c.length, &out32, c.source), c.result);
        EXPECT_EQ(out32, c.reported);
        if (c.stored)
            EXPECT_STREQ(buffer, c.stored);
        else
            EXPECT_EQ(buffer[0], '#');
    }
}

TEST(CopyStrBuffer, NullDestinationAndOutputAreAllowed)
{
    int16_t out = 0;
    EXPECT_EQ(copy_str_buffer(nullptr, 100, &out, "abc"), 0);
    EXPECT_EQ(out, 3);
    EXPECT_EQ(copy_str_buffer(nullptr, 0, &out, "abc"), 1);
    char buffer[4];
    EXPECT_EQ(copy_str_buffer(buffer, 4, nullptr, "abc"), 0);
    EXPECT_STREQ(buffer, "abc");
}

TEST(CopyStrBuffer, SixteenBitLengthSaturatesInsteadOfWrapping)
{
    std::string big(70000, 'x');
    int16_t out = 0;
    EXPECT_EQ(copy_str_buffer(nullptr, 0, &out, big.c_str()), 1);
    EXPECT_EQ(out, INT16_MAX);
    int32_t out32 = 0;
    copy_str_bufferl(nullptr, 0, &out32, big.c_str());
    EXPECT_EQ(out32, 70000);
}

TEST(CopyNstrBufferl, WritesOneUnitPerByte)
{
    for (const CopyCase &c : copy_cases) {
        SCOPED_TRACE(std::string("source ") + (c.source ? c.source : "(null)") + ", length " +
                     std::to_string(c.length));
        uint16_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), 0x2323);
        int32_t out = -1;
        EXPECT_EQ(copy_nstr_bufferl(buffer, c.length, &out, c.source), c.result);
        EXPECT_EQ(out, c.reported);
        if (!c.stored) {
            EXPECT_EQ(buffer[0], 0x2323);
            continue;
        }
        std::size_t n = std::strlen(c.stored);
        for (std::size_t i = 0; i < n; i++)
            EXPECT_EQ(buffer[i], static_cast<unsigned char>(c.stored[i]));
        EXPECT_EQ(buffer[n], 0);
    }
    uint16_t wide[3];
    int32_t out = 0;
    EXPECT_EQ(copy_nstr_bufferl(wide, 3, &out, "\xE9\xFF"), 0);
    EXPECT_EQ(wide[0], 0x00E9);
    EXPECT_EQ(wide[1], 0x00FF);
    EXPECT_EQ(wide[2], 0);
}

TEST(CatStrBuffer, RunningLengthGrowsByTheFullSource)
{
    char buffer[5] = "";
    int16_t running = 0;
    std::vector<int> results;
    for (int i = 0; i < 3; i++)
        results.push_back(cat_str_buffer(buffer, 5, &running, "ab"));
    EXPECT_EQ(results, (std::vector<int>{0, 0, 1}));
    EXPECT_STREQ(buffer, "abab");
    EXPECT_EQ(running, 6);
}

TEST(CatStrBuffer, CutsAtTheBufferAndNeverPassesIt)
{
    char buffer[8] = "abc";
    int16_t running = 3;
    EXPECT_EQ(cat_str_buffer(buffer, 6, &running, "defgh"), 1);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(running, 8);

    // A running length that understates the text in the buffer cannot push
    // past it, and the bytes it drops make the result a cut.
    char small[6] = "abcd";
    int16_t understated = 0;
    EXPECT_EQ(cat_str_buffer(small, 6, &understated, "xyz"), 1);
    EXPECT_STREQ(small, "abcdx");

    int16_t only_length = 2;
    EXPECT_EQ(cat_str_buffer(nullptr, 10, &only_length, "xyz"), 0);
    EXPECT_EQ(only_length, 5);
    EXPECT_EQ(cat_str_buffer(buffer, 0, &only_length, nullptr), 1);
    EXPECT_EQ(only_length, 5);
}

TEST(StringDuplicate, CopiesOntoTheHandle)
{
    MemHandle *h = kv_mem_alloc_handle(nullptr);
    long live = kv_test_live_blocks();
    char *copy = string_duplicate("text", h);
    EXPECT_STREQ(copy, "text");
    char *empty = string_duplicate(nullptr, h);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(kv_test_live_blocks(), live + 2);
    kv_test_fail_allocation(1);
    EXPECT_EQ(string_duplicate("text", h), nullptr);
    kv_test_fail_allocation(0);
    kv_mem_release_handle(h);
    EXPECT_EQ(kv_test_live_blocks(), live);
}

TEST(StringCompare, IsCaseBlindEquality)
{
    struct {
        const char *a, *b;
        int result;
    } cases[] = {
        {"Abc", "aBC", 0}, {"abc", "abcd", 1}, {"abcd", "abc", 1}, {"abd", "abc", 1}, {"", "", 0},
        {nullptr, nullptr, 0}, {nullptr, "", 1}, {"x", nullptr, 1}, {"\xE9", "\xE9", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(string_compare(c.a, c.b), c.result) << (c.a ? c.a : "(null)") << " / " << (c.b ? c.b : "(null)");
}

std::vector<std::string> tokens(const char *text, const char *delims)
{
    std::string copy(text);
    std::vector<std::string> out;
    char *save = nullptr;
    for (char *t = safe_strtok(copy.data(), delims, &save); t; t = safe_strtok(nullptr, delims, &save))
        out.emplace_back(t);
    return out;
}

TEST(SafeStrtok, SkipsRunsOfDelimiters)
{
    EXPECT_EQ(tokens(",a,,b", ","), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(tokens("one two\tthree  ", " \t"), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(tokens(",,,", ","), std::vector<std::string>{});
    EXPECT_EQ(tokens("", ","), std::vector<std::string>{});
    EXPECT_EQ(tokens("whole", ","), std::vector<std::string>{"whole"});
}

TEST(SafeStrtok, EndOfTextLeavesTheSavedPositionAlone)
{
    char text[] = "a;;";
    char *save = nullptr;
    EXPECT_STREQ(safe_strtok(text, ";", &save), "a");
    char *kept = save;
    EXPECT_EQ(safe_strtok(nullptr, ";", &save), nullptr);
    EXPECT_EQ(save, kept);
    char *none = nullptr;
    EXPECT_EQ(safe_strtok(nullptr, ";", &none), nullptr);
}

TEST(FunctionString, NamesTheDynamicFunctionCodes)
{
    struct {
        int code;
        const char *text;
    } cases[] = {
        {-2, "DROP_INDEX"}, {-1, "CREATE INDEX"}, {4, "ALTER TABLE"}, {19, "DELETE WHERE"},
        {32, "DROP TABLE"}, {36, "DROP VIEW"}, {38, "DYNAMIC DELETE CURSOR"}, {48, "GRANT"},
        {50, "INSERT"}, {59, "REVOKE"}, {77, "CREATE TABLE"}, {81, "DYNAMIC UPDATE CURSOR"},
        {82, "UPDATE WHERE"}, {84, "CREATE VIEW"}, {85, "SELECT CURSOR"}, {0, ""}, {1000, ""}, {-3, ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(function_string(c.code), c.text) << c.code;
}

} // namespace
