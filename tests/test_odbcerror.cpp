// Diagnostics: posting with ODBC 2 mapping, reading by record and by field,
// PostDalError on the driver's records, the error exit of an evaluation, and
// allocation failures.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "internal.h"

namespace {

// Takes every free block out of a cache slot (onto `mem`), so that the next
// allocation of that kind asks the system.
void drain_cache(MemHandle *mem, int32_t slot, uint32_t size)
{
    while (kv_test_cache_count(slot) > 0)
        kv_mem_alloc_node(mem, size, slot);
}

class DiagTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        live_at_start = kv_test_live_blocks();
        mem = kv_mem_alloc_handle(nullptr);
        header = make_header(3);
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        kv_mem_release_handle(mem);
        EXPECT_EQ(kv_test_live_blocks(), live_at_start);
    }
    ErrorHeader *make_header(int odbc_version)
    {
        DriverEnvironment env{KV_KIND_ENVIRONMENT, odbc_version, nullptr};
        ErrorHeader *h = CreateErrorHeader(mem, &env);
        EXPECT_NE(h, nullptr);
        return h;
    }
    std::string message_of(ErrorHeader *h, int record)
    {
        char buffer[2048];
        int16_t length = 0;
        EXPECT_EQ(GetDiagRec(h, record, nullptr, nullptr, buffer, sizeof buffer, &length), SQL_SUCCESS);
        EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(buffer));
        return buffer;
    }
    std::string state_of(ErrorHeader *h, int record)
    {
        char state[6];
        EXPECT_EQ(GetDiagRec(h, record, state, nullptr, nullptr, 0, nullptr), SQL_SUCCESS_WITH_INFO);
        return state;
    }
    std::string text_field(int version, int record, int field)
    {
        char buffer[256];
        int16_t length = -1;
        EXPECT_EQ(GetDiagField(version, header, record, field, buffer, sizeof buffer, &length), SQL_SUCCESS);
        EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(buffer));
        return buffer;
    }
    int32_t number_field(int version, int record, int field)
    {
        int32_t value = -12345;
        EXPECT_EQ(GetDiagField(version, header, record, field, &value, 0, nullptr), SQL_SUCCESS);
        return value;
    }
    // A field ODBC types as SQLLEN: every byte of it is written.
    SQLLEN length_field(int version, int record, int field)
    {
        SQLLEN value = static_cast<SQLLEN>(0x7777777777777777LL);
        EXPECT_EQ(GetDiagField(version, header, record, field, &value, 0, nullptr), SQL_SUCCESS);
        return value;
    }

    long live_at_start = 0;
    MemHandle *mem = nullptr;
    ErrorHeader *header = nullptr;
};

TEST_F(DiagTest, CreateErrorHeaderStartsEmptyWithTheEnvironmentsVersion)
{
    EXPECT_EQ(header->dynamic_function_code, 0);
    EXPECT_EQ(header->return_code, 0);
    EXPECT_EQ(header->record_count, 0);
    EXPECT_EQ(header->odbc_version, 3);
    EXPECT_EQ(header->mem, mem);
    EXPECT_EQ(header->first_record, nullptr);
    EXPECT_EQ(make_header(2)->odbc_version, 2);
}

TEST_F(DiagTest, Odbc2ApplicationsSeeMappedStates)
{
    ErrorHeader *v2 = make_header(2);
    int n = 0;
    ErrorHeader *v380 = make_header(SQL_OV_ODBC3_80); // ODBC 3.80 is ODBC 3
    for (int i = 0; map_table[i][0]; i++, n++) {
        PostError(v2, 2, 0, nullptr, 0, 0, "ISO 9075", map_table[i][0], "row %d", i);
        PostError(header, 2, 0, nullptr, 0, 0, "ISO 9075", map_table[i][0], "row %d", i);
        PostError(v380, 2, 0, nullptr, 0, 0, "ISO 9075", map_table[i][0], "row %d", i);
        EXPECT_EQ(state_of(v2, i + 1), map_table[i][1]);
        EXPECT_EQ(state_of(header, i + 1), map_table[i][0]);
        EXPECT_EQ(state_of(v380, i + 1), map_table[i][0]);
    }
    EXPECT_EQ(n, 47);
    PostError(v2, 2, 0, nullptr, 0, 0, "ISO 9075", "22012", "unmapped");
    EXPECT_EQ(state_of(v2, n + 1), "22012");

    struct {
        const char *odbc3, *odbc2;
    } spot_checks[] = {{"HY000", "S1000"}, {"HY092", "S1009"}, {"HYT00", "S1T00"}, {"07005", "24000"}};
    for (const auto &c : spot_checks) {
        SetupErrorHeader(v2, 0);
        PostError(v2, 2, 0, nullptr, 0, 0, "ISO 9075", c.odbc3, "x");
        EXPECT_EQ(state_of(v2, 1), c.odbc2);
    }
}

TEST_F(DiagTest, MessageIsTheBracketedVendorFollowedByTheFormattedText)
{
    char *returned = PostError(header, 1, 0, nullptr, 0, 0, "ODBC3.0", "22012", "Division by zero");
    EXPECT_STREQ(returned, "[Kestrova ODBC]Division by zero");
    PostError(header, 2, 7, "Firebird", -902, 3, "ISO 9075", "08001", "code %d: %s", 335544721, "unavailable");
    EXPECT_EQ(message_of(header, 1), "[Kestrova ODBC]Division by zero");
    EXPECT_EQ(message_of(header, 2), "[Firebird]code 335544721: unavailable");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC3.0");
    EXPECT_EQ(text_field(3, 2, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(text_field(3, 2, SQL_DIAG_CONNECTION_NAME), "Firebird");
    EXPECT_EQ(header->return_code, 0) << "PostError leaves the return code to SetReturnCode";
}

TEST_F(DiagTest, PercentSignsInVendorTextAndDalMessagesAreLiteral)
{
    PostError(header, 2, 0, "100% %s %n vendor", 0, 0, "ISO 9075", "HY000", "%d%%", 5);
    EXPECT_EQ(message_of(header, 1), "[100% %s %n vendor]5%");

    DriverStatement stmt{};
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = header;
    PostDalError(&stmt, "v%s", 0, "HY000", "50% of %s and %n");
    EXPECT_EQ(message_of(header, 2), "[v%s]50% of %s and %n");
}

TEST_F(DiagTest, LongMessagesAreCutAt1023Characters)
{
    std::string vendor(600, 'v');
    std::string text(900, 't');
    PostError(header, 2, 0, vendor.c_str(), 0, 0, "ISO 9075", "HY000", "%s", text.c_str());
    std::string expected = ("[" + vendor + "]" + text).substr(0, KV_MESSAGE_MAX);
    EXPECT_EQ(message_of(header, 1), expected);

    std::string huge_vendor(5000, 'w');
    PostError(header, 2, 0, huge_vendor.c_str(), 0, 0, "ISO 9075", "HY000", "tail");
    EXPECT_EQ(message_of(header, 2), ("[" + huge_vendor).substr(0, KV_MESSAGE_MAX));
}

TEST_F(DiagTest, RecordsComeBackInPostingOrder)
{
    const char *states[] = {"01004", "22003", "HY000"};
    for (int i = 0; i < 3; i++)
        PostError(header, 2, 0, nullptr, 100 + i, 0, "ISO 9075", states[i], "record %d", i + 1);
    EXPECT_EQ(header->record_count, 3);
    for (int i = 0; i < 3; i++) {
        char state[6];
        int32_t native = 0;
        char message[64];
        EXPECT_EQ(GetDiagRec(header, i + 1, state, &native, message, sizeof message, nullptr), SQL_SUCCESS);
        EXPECT_STREQ(state, states[i]);
        EXPECT_EQ(native, 100 + i);
        EXPECT_EQ(message, "[Kestrova ODBC]record " + std::to_string(i + 1));
    }
}

TEST_F(DiagTest, GetDiagRecBoundsAndTruncation)
{
    EXPECT_EQ(GetDiagRec(header, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    PostError(header, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "abcdef");
    EXPECT_EQ(GetDiagRec(header, 0, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(GetDiagRec(header, -1, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(GetDiagRec(header, 2, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    char message[5];
    int16_t length = 0;
    EXPECT_EQ(GetDiagRec(header, 1, nullptr, nullptr, message, sizeof message, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(message, "[Kes");
    EXPECT_EQ(length, 21);
}

TEST_F(DiagTest, GetDiagFieldAnswersEveryField)
{
    SetupErrorHeader(header, SQL_DIAG_UPDATE_WHERE);
    SetReturnCode(header, SQL_SUCCESS_WITH_INFO);
    SetErrorCount(header, 42);
    PostError(header, 1, 4, "Vendor", -7, 9, "ODBC3.0", "01004", "cut");

    EXPECT_EQ(number_field(3, 0, SQL_DIAG_RETURNCODE), 1);
    EXPECT_EQ(number_field(3, 0, SQL_DIAG_NUMBER), 1);
    EXPECT_EQ(length_field(3, 0, SQL_DIAG_ROW_COUNT), 42);
    EXPECT_EQ(length_field(SQL_OV_ODBC3_80, 0, SQL_DIAG_ROW_COUNT), 42);
    EXPECT_EQ(text_field(3, 0, SQL_DIAG_DYNAMIC_FUNCTION), "UPDATE WHERE");
    EXPECT_EQ(number_field(3, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE), SQL_DIAG_UPDATE_WHERE);
    EXPECT_EQ(length_field(3, 0, SQL_DIAG_CURSOR_ROW_COUNT), 0);
    EXPECT_EQ(number_field(3, 1, SQL_DIAG_RETURNCODE), 1) << "header fields read with a record number too";

    EXPECT_EQ(text_field(3, 1, SQL_DIAG_SQLSTATE), "01004");
    EXPECT_EQ(number_field(3, 1, SQL_DIAG_NATIVE), -7);
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_MESSAGE_TEXT), "[Vendor]cut");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC3.0");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_CONNECTION_NAME), "Vendor");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_SERVER_NAME), "Kestrova ODBC 3.0");
    EXPECT_EQ(number_field(3, 1, SQL_DIAG_ROW_NUMBER), 9);
    EXPECT_EQ(number_field(3, 1, SQL_DIAG_COLUMN_NUMBER), 4);

    // Record fields read by an ODBC 2 application too.
    EXPECT_EQ(text_field(2, 1, SQL_DIAG_SQLSTATE), "01004");
    EXPECT_EQ(number_field(2, 0, SQL_DIAG_NUMBER), 1);
}

TEST_F(DiagTest, GetDiagFieldRefusals)
{
    PostError(header, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "x");
    struct {
        int version, record, field, result;
    } cases[] = {
        {3, 0, SQL_DIAG_SQLSTATE, SQL_ERROR},          {3, 0, SQL_DIAG_MESSAGE_TEXT, SQL_ERROR},
        {3, 0, SQL_DIAG_COLUMN_NUMBER, SQL_ERROR},     {3, -1, SQL_DIAG_NUMBER, SQL_ERROR},
        {3, 2, SQL_DIAG_NUMBER, SQL_NO_DATA},          {3, 2, SQL_DIAG_SQLSTATE, SQL_NO_DATA},
        {2, 0, SQL_DIAG_ROW_COUNT, SQL_ERROR},         {2, 0, SQL_DIAG_DYNAMIC_FUNCTION, SQL_ERROR},
        {2, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE, SQL_ERROR}, {2, 0, SQL_DIAG_CURSOR_ROW_COUNT, SQL_ERROR},
        {3, 1, 999, SQL_ERROR},                        {3, 0, 0, SQL_ERROR},
    };
    for (const auto &c : cases) {
        int32_t untouched = 77;
        EXPECT_EQ(GetDiagField(c.version, header, c.record, c.field, &untouched, 4, nullptr), c.result)
            << "version " << c.version << " record " << c.record << " field " << c.field;
        EXPECT_EQ(untouched, 77);
    }
}

TEST_F(DiagTest, TextFieldsAreCutToTheBuffer)
{
    PostError(header, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "message");
    char buffer[5];
    int16_t length = 0;
    EXPECT_EQ(GetDiagField(3, header, 1, SQL_DIAG_MESSAGE_TEXT, buffer, sizeof buffer, &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buffer, "[Kes");
    EXPECT_EQ(length, 22);
}

TEST_F(DiagTest, SetupErrorHeaderDiscardsThePreviousCall)
{
    long live = kv_test_live_blocks();
    for (int i = 0; i < 5; i++)
        PostError(header, 2, 0, "v", 0, 0, "ISO 9075", "HY000", "%d", i);
    SetReturnCode(header, -1);
    SetErrorCount(header, 3);
    SetupErrorHeader(header, SQL_DIAG_INSERT);
    EXPECT_EQ(kv_test_live_blocks(), live) << "records and their strings are freed";
    EXPECT_EQ(number_field(3, 0, SQL_DIAG_NUMBER), 0);
    EXPECT_EQ(number_field(3, 0, SQL_DIAG_RETURNCODE), 0);
    EXPECT_EQ(length_field(3, 0, SQL_DIAG_ROW_COUNT), 0);
    EXPECT_EQ(number_field(3, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE), SQL_DIAG_INSERT);
    EXPECT_EQ(GetDiagRec(header, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    PostError(header, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "after");
    EXPECT_EQ(message_of(header, 1), "[Kestrova ODBC]after");
}

TEST_F(DiagTest, FreeErrorHeaderFreesEverything)
{
    long live = kv_test_live_blocks();
    ErrorHeader *h = make_header(3);
    PostError(h, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "a");
    PostError(h, 2, 0, nullptr, 0, 0, "ISO 9075", "HY000", "b");
    FreeErrorHeader(h);
    EXPECT_EQ(kv_test_live_blocks(), live);
}

TEST_F(DiagTest, PostDalErrorFindsTheHeaderByKind)
{
    DriverEnvironment env{KV_KIND_ENVIRONMENT, 3, make_header(3)};
    DriverConnection conn{};
    conn.kind = KV_KIND_CONNECTION;
    conn.error_header = make_header(3);
    DriverStatement stmt{};
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = make_header(3);

    for (ErrorHeader *h : {env.error_header, conn.error_header, stmt.error_header})
        EXPECT_EQ(h->return_code, 0);
    PostDalError(&env, nullptr, 1, "HY001", "env");
    PostDalError(&conn, "Firebird", 2, "08001", "conn");
    PostDalError(&stmt, nullptr, 3, "HY000", "stmt");
    std::string expected[] = {"[Kestrova ODBC]env", "[Firebird]conn", "[Kestrova ODBC]stmt"};
    ErrorHeader *headers[] = {env.error_header, conn.error_header, stmt.error_header};
    for (int i = 0; i < 3; i++) {
        header = headers[i];
        EXPECT_EQ(header->return_code, -1);
        EXPECT_EQ(header->record_count, 1);
        EXPECT_EQ(message_of(header, 1), expected[i]);
        EXPECT_EQ(text_field(3, 1, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
        EXPECT_EQ(text_field(3, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ISO 9075");
        EXPECT_EQ(number_field(3, 1, SQL_DIAG_NATIVE), i + 1);
    }

    DriverConnection other{};
    other.kind = 203;
    other.error_header = conn.error_header;
    PostDalError(&other, nullptr, 0, "HY000", "ignored");
    EXPECT_EQ(conn.error_header->record_count, 1);
    PostDalError(nullptr, nullptr, 0, "HY000", "ignored");
}

// The driver's side of an evaluation: setjmp, evaluate, and on -1 read the diagnostics.
TEST_F(DiagTest, ErrorExitReturnsToTheDriversSetjmp)
{
    DriverStatement stmt{};
    stmt.kind = KV_KIND_STATEMENT;
    stmt.error_header = header;
    EvalContext context{};
    context.stmt = &stmt;
    context.mem = mem;

    volatile int reached_after_error = 0;
    int jumped = setjmp(context.jump);
    if (jumped == 0) {
        kv_eval_error(&context, 1, kv_subclass_odbc3, "22012", "Division by zero");
        reached_after_error = 1;
    }
    EXPECT_EQ(jumped, -1);
    EXPECT_EQ(reached_after_error, 0);
    EXPECT_EQ(context.status, -1);
    EXPECT_EQ(header->return_code, -1);
    EXPECT_EQ(state_of(header, 1), "22012");
    EXPECT_EQ(message_of(header, 1), "[Kestrova ODBC]Division by zero");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(text_field(3, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC3.0");
}

TEST_F(DiagTest, CreateErrorHeaderFailsCleanly)
{
    drain_cache(mem, KV_NODE_ERROR_HEADER, sizeof(ErrorHeader));
    long live = kv_test_live_blocks();
    kv_test_fail_allocation(1);
    EXPECT_EQ(CreateErrorHeader(mem, nullptr), nullptr);
    EXPECT_EQ(kv_test_live_blocks(), live);
}

// PostError makes five allocations: the record, the vendor text, the state,
// the subclass origin and the message. A failed record posts nothing; a failed
// string leaves its field empty. Nothing leaks either way.
TEST_F(DiagTest, PostErrorUnderAllocationFailure)
{
    for (long nth = 1; nth <= 12; nth++) {
        SCOPED_TRACE("failing system allocation " + std::to_string(nth));
        SetupErrorHeader(header, 0);
        drain_cache(mem, KV_NODE_ERROR_RECORD, sizeof(ErrorRecord));
        long live = kv_test_live_blocks();
        kv_test_fail_allocation(nth);
        char *message = PostError(header, 2, 0, "Vendor", 0, 0, "ISO 9075", "HY000", "text");
        kv_test_fail_allocation(0);
        if (nth == 1) {
            // The record itself.
            EXPECT_EQ(message, nullptr);
            EXPECT_EQ(header->record_count, 0);
            EXPECT_EQ(kv_test_live_blocks(), live);
            continue;
        }
        ASSERT_EQ(header->record_count, 1);
        char state[6];
        char text[64];
        EXPECT_NE(GetDiagRec(header, 1, state, nullptr, text, sizeof text, nullptr), SQL_ERROR);
        std::string m = text;
        EXPECT_TRUE(m == "[Vendor]text" || m == "text" || m.empty()) << m;
        SetupErrorHeader(header, 0);
        EXPECT_EQ(kv_test_live_blocks(), live);
    }
}

} // namespace
