// The inert thread interface and check_timeout: deadlines in the executing
// states, cancel requests consumed once, and the time-out taking precedence.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "internal.h"

namespace {

TEST(Threads, EverythingSucceedsAtOnceAndNothingIsAsync)
{
    odbc_thread_init();
    EXPECT_EQ(odbc_thread_create(nullptr, nullptr), 0);
    EXPECT_EQ(thread_cleanup(nullptr), 0);
    EXPECT_EQ(thread_wait_on_semaphore(nullptr), 0);
    thread_clear_semaphore(nullptr);
    thread_close_semaphore(nullptr);
    EXPECT_EQ(can_connect_async(nullptr), 0);
    EXPECT_EQ(can_statement_async(nullptr), 0);
    int lock = 0;
    EXPECT_EQ(mutex_entry(&lock), 0);
    EXPECT_EQ(mutex_entry(&lock), 0) << "a second entry does not block";
    EXPECT_EQ(mutex_exit(&lock), 0);
    thread_term();
}

class TimeoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mem = kv_mem_alloc_handle(nullptr);
        stmt.kind = KV_KIND_STATEMENT;
        stmt.error_header = CreateErrorHeader(mem, nullptr);
    }
    void TearDown() override { kv_mem_release_handle(mem); }

    std::string posted(const char *field_name, int field)
    {
        char text[128] = "";
        GetDiagField(3, stmt.error_header, 1, field, text, sizeof text, nullptr);
        return std::string(field_name) + "=" + text;
    }

    MemHandle *mem = nullptr;
    DriverStatement stmt{};
};

TEST_F(TimeoutTest, DeadlineAppliesOnlyInStatesTwoAndThree)
{
    time_t past = std::time(nullptr) - 5;
    struct {
        int32_t state;
        time_t deadline;
        int result;
    } cases[] = {
        {2, past, -1}, {3, past, -1}, {1, past, 0}, {4, past, 0}, {0, past, 0},
        {2, 0, 0},     {3, 0, 0},     {2, std::time(nullptr) + 60, 0},
    };
    for (const auto &c : cases) {
        SetupErrorHeader(stmt.error_header, 0);
        stmt.state = c.state;
        stmt.deadline = c.deadline;
        EXPECT_EQ(check_timeout(&stmt), c.result) << "state " << c.state << " deadline " << c.deadline;
        EXPECT_EQ(stmt.error_header->record_count, c.result ? 1 : 0);
    }
}

TEST_F(TimeoutTest, TimeoutPostsHYT00)
{
    stmt.state = 2;
    stmt.deadline = std::time(nullptr) - 1;
    EXPECT_EQ(check_timeout(&stmt), -1);
    EXPECT_EQ(stmt.error_header->return_code, -1);
    EXPECT_EQ(posted("state", SQL_DIAG_SQLSTATE), "state=HYT00");
    EXPECT_EQ(posted("message", SQL_DIAG_MESSAGE_TEXT), "message=[Kestrova ODBC]Timeout Expired");
    EXPECT_EQ(posted("class", SQL_DIAG_CLASS_ORIGIN), "class=ISO 9075");
    EXPECT_EQ(posted("subclass", SQL_DIAG_SUBCLASS_ORIGIN), "subclass=ODBC 3.0");
}

TEST_F(TimeoutTest, DeadlineSecondItselfIsNotLate)
{
    stmt.state = 3;
    // The deadline is the current second (or the next, should the clock tick
    // between the two reads): never strictly passed.
    stmt.deadline = std::time(nullptr);
    EXPECT_EQ(check_timeout(&stmt), 0);
}

TEST_F(TimeoutTest, CancelIsReportedOnceInAnyState)
{
    stmt.state = 1;
    stmt.deadline = std::time(nullptr) - 10;
    stmt.cancel_requested = 1;
    EXPECT_EQ(check_timeout(&stmt), -1);
    EXPECT_EQ(stmt.cancel_requested, 0);
    EXPECT_EQ(stmt.error_header->return_code, -1);
    EXPECT_EQ(posted("state", SQL_DIAG_SQLSTATE), "state=HY008");
    EXPECT_EQ(posted("message", SQL_DIAG_MESSAGE_TEXT), "message=[Kestrova ODBC]Operation Canceled");
    EXPECT_EQ(posted("subclass", SQL_DIAG_SUBCLASS_ORIGIN), "subclass=ISO 9075");
    SetupErrorHeader(stmt.error_header, 0);
    EXPECT_EQ(check_timeout(&stmt), 0);
    EXPECT_EQ(stmt.error_header->record_count, 0);
}

TEST_F(TimeoutTest, TimeoutWinsAndLeavesTheCancelPending)
{
    stmt.state = 2;
    stmt.deadline = std::time(nullptr) - 1;
    stmt.cancel_requested = 1;
    EXPECT_EQ(check_timeout(&stmt), -1);
    EXPECT_EQ(stmt.cancel_requested, 1);
    EXPECT_EQ(stmt.error_header->record_count, 1);
    EXPECT_EQ(posted("state", SQL_DIAG_SQLSTATE), "state=HYT00");
}

TEST_F(TimeoutTest, Odbc2ApplicationsSeeTheirStates)
{
    stmt.error_header->odbc_version = 2;
    stmt.state = 2;
    stmt.deadline = std::time(nullptr) - 1;
    check_timeout(&stmt);
    stmt.deadline = 0;
    stmt.cancel_requested = 1;
    check_timeout(&stmt);
    char state[6];
    GetDiagRec(stmt.error_header, 1, state, nullptr, nullptr, 0, nullptr);
    EXPECT_STREQ(state, "S1T00");
    GetDiagRec(stmt.error_header, 2, state, nullptr, nullptr, 0, nullptr);
    EXPECT_STREQ(state, "S1008");
}

} // namespace
