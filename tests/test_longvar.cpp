// Long data buffers through real temporary files in a test directory: names,
// exclusive creation, descriptors, clones, and the SQLGetData reading rules.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "file_size_limit.h"
#include "syscall_failure.h"
#include "internal.h"

namespace fs = std::filesystem;

namespace {

int open_descriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator("/proc/self/fd"))
        count++;
    return count;
}

std::string name_for(const std::string &directory, unsigned counter)
{
    char name[256];
    std::snprintf(name, sizeof name, "%s/blob%05x%05x.tmp", directory.c_str(), static_cast<unsigned>(getpid()),
                  counter);
    return name;
}

// The counter digits of a name formed by the library.
unsigned counter_of(const LongBuffer *buffer)
{
    std::string name = buffer->file_name;
    std::string prefix = name_for(fs::path(name).parent_path().string(), 0);
    prefix.resize(prefix.size() - 9); // drop the counter digits and ".tmp"
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    return static_cast<unsigned>(std::stoul(name.substr(prefix.size(), name.size() - prefix.size() - 4), nullptr, 16));
}

class LongBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvlong.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        blobs = directory + "/blobs";
        fs::create_directory(blobs);
        use_profile("{default}\nblob_path = " + blobs + "\n");
        descriptors = open_descriptors();
        live = kv_test_live_blocks();
        handle = kv_mem_alloc_handle(nullptr);
    }
    void TearDown() override
    {
        kv_test_fail_allocation(0);
        kv_mem_release_handle(handle);
        close_registry(registry);
        EXPECT_EQ(open_descriptors(), descriptors);
        EXPECT_EQ(kv_test_live_blocks(), live);
        fs::remove_all(directory);
    }
    void use_profile(const std::string &text)
    {
        std::ofstream(directory + "/odbc.ini") << text;
        if (!registry) {
            registry = open_registry();
            set_config(registry, (directory + "/odbc.ini").c_str());
        }
    }
    LongBuffer *make(int32_t sql_type = SQL_LONGVARCHAR, MemHandle *on = nullptr)
    {
        LongBuffer *buffer = allocate_long_buffer(on ? on : handle, 11, 22, registry, sql_type);
        EXPECT_NE(buffer, nullptr) << std::strerror(errno);
        return buffer;
    }
    LongBuffer *filled(const std::string &data, int32_t sql_type = SQL_LONGVARCHAR, MemHandle *on = nullptr)
    {
        LongBuffer *buffer = make(sql_type, on);
        EXPECT_EQ(append_to_long_buffer(buffer, data.data(), static_cast<int32_t>(data.size())), 0);
        EXPECT_EQ(rewind_long_buffer(buffer), 0);
        return buffer;
    }
    bool blob_directory_empty() { return fs::is_empty(blobs); }

    std::string directory;
    std::string blobs;
    Registry *registry = nullptr;
    MemHandle *handle = nullptr;
    int descriptors = 0;
    long live = 0;
};

TEST_F(LongBufferTest, DriverCallbacksTakeTheReadAndRewindFunctions)
{
    DriverConnection connection{};
    connection.read_long_data = extract_from_long_buffer;
    connection.rewind_long_data = rewind_long_buffer;
    LongBuffer *buffer = filled("via the driver");
    char destination[32];
    int32_t length = 0;
    EXPECT_EQ(connection.read_long_data(buffer, destination, sizeof destination, &length, 0), 0);
    EXPECT_STREQ(destination, "via the driver");
    EXPECT_EQ(connection.rewind_long_data(buffer), 0);
    EXPECT_EQ(buffer->position, 0);
}

TEST_F(LongBufferTest, CreatesAnUnnamedOwnerOnlyFile)
{
    LongBuffer *first = make();
    LongBuffer *second = make(SQL_LONGVARBINARY);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->mem, handle);
    EXPECT_EQ(first->caller_word1, 11);
    EXPECT_EQ(first->caller_word2, 22);
    EXPECT_EQ(first->profile, registry);
    EXPECT_EQ(first->sql_type, SQL_LONGVARCHAR);
    EXPECT_EQ(first->position, 0);
    EXPECT_EQ(long_buffer_length(first), 0);
    EXPECT_EQ(first->is_null, 0);

    unsigned counter = counter_of(first);
    EXPECT_EQ(std::string(first->file_name), name_for(blobs, counter));
    EXPECT_EQ(std::string(second->file_name), name_for(blobs, counter + 1));
    EXPECT_TRUE(blob_directory_empty());
    struct stat status;
    EXPECT_EQ(stat(first->file_name, &status), -1);
    ASSERT_EQ(fstat(fileno(first->file), &status), 0);
    EXPECT_EQ(status.st_nlink, 0u);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST_F(LongBufferTest, NameFormatPadsToFiveDigits)
{
    EXPECT_EQ(name_for("/d", 0), "/d/blob" + [] {
        char pid[16];
        std::snprintf(pid, sizeof pid, "%05x", static_cast<unsigned>(getpid()));
        return std::string(pid);
    }() + "00000.tmp");
    LongBuffer *buffer = make();
    std::string name = fs::path(buffer->file_name).filename().string();
    EXPECT_GE(name.size(), std::string("blob0000000000.tmp").size());
    EXPECT_EQ(name.find_first_not_of("blob0123456789abcdef.tmp"), std::string::npos) << name;
}

struct Step {
    int32_t buffer_length;
    int binary;
    int result;
    int32_t reported;
    std::string delivered; // bytes written, terminator excluded
};

void run_steps(LongBuffer *buffer, const std::vector<Step> &steps)
{
    int n = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE("step " + std::to_string(++n));
        std::vector<char> destination(64, '@');
        int32_t reported = -99;
        EXPECT_EQ(extract_from_long_buffer(buffer, destination.data(), step.buffer_length, &reported, step.binary),
                  step.result);
        EXPECT_EQ(reported, step.reported);
        EXPECT_EQ(std::string(destination.data(), step.delivered.size()), step.delivered);
        std::size_t after = step.delivered.size();
        // Character data is terminated; binary data is not, and nothing beyond is touched.
        EXPECT_EQ(destination[after], step.binary || step.buffer_length <= 0 ? '@' : '\0');
        EXPECT_EQ(destination[after + 1], '@');
    }
}

TEST_F(LongBufferTest, CharacterPiecesFollowGetDataRules)
{
    LongBuffer *buffer = make();
    ASSERT_EQ(append_to_long_buffer(buffer, "hello", SQL_NTS), 0);
    EXPECT_EQ(long_buffer_length(buffer), 5);
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    run_steps(buffer, {{3, 0, 1, 5, "he"}, {10, 0, 0, 3, "llo"}, {10, 0, 0, 0, ""}, {10, 0, 0, 0, ""}});
    EXPECT_EQ(buffer->position, 5);
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    run_steps(buffer, {{1, 0, 1, 5, ""}, {6, 0, 0, 5, "hello"}});
}

TEST_F(LongBufferTest, BinaryPiecesFillTheWholeBuffer)
{
    LongBuffer *buffer = filled("hello", SQL_LONGVARBINARY);
    run_steps(buffer, {{5, 1, 0, 5, "hello"}});
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    run_steps(buffer, {{4, 1, 1, 5, "hell"}, {4, 1, 0, 1, "o"}, {4, 1, 0, 0, ""}});
}

TEST_F(LongBufferTest, BufferTooSmallForDataReportsWhatRemains)
{
    LongBuffer *buffer = filled("hello");
    run_steps(buffer, {{0, 0, 1, 5, ""}, {-7, 0, 1, 5, ""}, {-1, 1, 1, 5, ""}, {0, 1, 1, 5, ""},
                       {2, 0, 1, 5, "h"}, {0, 0, 1, 4, ""}, {INT32_MAX, 1, 0, 4, "ello"}});
    EXPECT_EQ(extract_from_long_buffer(buffer, nullptr, 10, nullptr, 0), 1);
}

TEST_F(LongBufferTest, SixteenBitPiecesWidenEachByte)
{
    LongBuffer *buffer = filled("h\xe9llo");
    uint16_t units[8];
    std::fill(std::begin(units), std::end(units), 0xAAAA);
    int32_t reported = 0;
    EXPECT_EQ(extract_from_long_nbuffer(buffer, units, 3, &reported, 0), 1);
    EXPECT_EQ(reported, 5);
    EXPECT_EQ(std::vector<uint16_t>(units, units + 4), (std::vector<uint16_t>{'h', 0xE9, 0, 0xAAAA}));
    EXPECT_EQ(extract_from_long_nbuffer(buffer, units, 8, &reported, 0), 0);
    EXPECT_EQ(reported, 3);
    EXPECT_EQ(std::vector<uint16_t>(units, units + 4), (std::vector<uint16_t>{'l', 'l', 'o', 0}));

    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    std::fill(std::begin(units), std::end(units), 0xAAAA);
    EXPECT_EQ(extract_from_long_nbuffer(buffer, units, 5, &reported, 1), 0);
    EXPECT_EQ(std::vector<uint16_t>(units, units + 6), (std::vector<uint16_t>{'h', 0xE9, 'l', 'l', 'o', 0xAAAA}));
}

TEST_F(LongBufferTest, NullValueReportsNullDataOnce)
{
    LongBuffer *buffer = make();
    buffer->is_null = 1;
    char destination[8] = "@@@@@@@";
    int32_t reported = 0;
    EXPECT_EQ(extract_from_long_buffer(buffer, destination, 8, &reported, 0), 0);
    EXPECT_EQ(reported, SQL_NULL_DATA);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(extract_from_long_buffer(buffer, destination, 8, &reported, 0), 0);
        EXPECT_EQ(reported, 0);
    }
    EXPECT_EQ(extract_from_long_buffer(buffer, destination, 8, nullptr, 0), 0);
    EXPECT_STREQ(destination, "@@@@@@@");
}

TEST_F(LongBufferTest, AppendRefusesWhatItCannotStore)
{
    LongBuffer *binary = make(SQL_LONGVARBINARY);
    EXPECT_EQ(append_to_long_buffer(binary, "abc", SQL_NTS), -1);
    EXPECT_EQ(append_to_long_buffer(binary, "abc", -5), -1);
    EXPECT_EQ(append_to_long_buffer(binary, nullptr, 3), -1);
    EXPECT_EQ(append_to_long_buffer(binary, nullptr, 0), 0);
    EXPECT_EQ(long_buffer_length(binary), 0);

    // A write that does not reach the file fails at once (here a file-size
    // limit stands for a full disk) and adds nothing.
    LongBuffer *limited = make();
    ASSERT_EQ(append_to_long_buffer(limited, "head", 4), 0);
    std::string big(4096, 'x');
    int rc;
    {
        FileSizeLimit limit(1024);
        rc = append_to_long_buffer(limited, big.data(), static_cast<int32_t>(big.size()));
    }
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(long_buffer_length(limited), 4);
    ASSERT_EQ(append_to_long_buffer(limited, "tail", SQL_NTS), 0);
    ASSERT_EQ(rewind_long_buffer(limited), 0);
    char back[16];
    int32_t reported = 0;
    EXPECT_EQ(extract_from_long_buffer(limited, back, sizeof back, &reported, 0), 0);
    EXPECT_STREQ(back, "headtail");

    // The length is a 32-bit count: an append that would wrap it is refused whole.
    binary->length = INT32_MAX - 2;
    EXPECT_EQ(append_to_long_buffer(binary, "abcde", 5), -1);
    EXPECT_EQ(long_buffer_length(binary), INT32_MAX - 2);
}

TEST_F(LongBufferTest, ShortReadFailsWithoutMovingThePosition)
{
    LongBuffer *buffer = filled("hello");
    buffer->length = 10; // claims more than the file holds
    char destination[32];
    int32_t reported = 0;
    EXPECT_EQ(extract_from_long_buffer(buffer, destination, sizeof destination, &reported, 0), -1);
    EXPECT_EQ(buffer->position, 0);
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    EXPECT_EQ(extract_from_long_nbuffer(buffer, reinterpret_cast<uint16_t *>(destination), 16, &reported, 0), -1);
    EXPECT_EQ(buffer->position, 0);
}

TEST_F(LongBufferTest, LargeValueComesBackPieceByPiece)
{
    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    LongBuffer *buffer = make();
    for (std::size_t at = 0; at < data.size(); at += 65536)
        ASSERT_EQ(append_to_long_buffer(buffer, data.data() + at, 65536), 0);
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    std::string back;
    std::vector<char> piece(1000);
    int32_t reported = 0;
    int rc;
    do {
        int32_t expected = static_cast<int32_t>(data.size() - back.size());
        rc = extract_from_long_buffer(buffer, piece.data(), 1000, &reported, 0);
        ASSERT_GE(rc, 0);
        ASSERT_EQ(reported, expected);
        back += piece.data();
    } while (rc == 1);
    EXPECT_EQ(back, data);
}

TEST_F(LongBufferTest, CloneOnTheSameHandleSharesTheBuffer)
{
    LongBuffer *buffer = filled("shared");
    int before = open_descriptors();
    EXPECT_EQ(clone_long_buffer(buffer, handle), buffer);
    kv_mem_free(handle, buffer);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_NE(buffer->file, nullptr);
    kv_mem_free(handle, buffer);
    EXPECT_EQ(open_descriptors(), before - 1);
}

TEST_F(LongBufferTest, CloneOnAnotherHandleOutlivesTheSource)
{
    MemHandle *source_handle = kv_mem_alloc_handle(handle);
    MemHandle *clone_handle = kv_mem_alloc_handle(handle);
    LongBuffer *source = filled("0123456789", SQL_LONGVARCHAR, source_handle);
    std::memcpy(source->scratch, "scratch", 8);
    char destination[16];
    int32_t reported = 0;
    ASSERT_EQ(extract_from_long_buffer(source, destination, 4, &reported, 0), 1);
    EXPECT_STREQ(destination, "012");

    unsigned counter = counter_of(source);
    LongBuffer *clone = clone_long_buffer(source, clone_handle);
    ASSERT_NE(clone, nullptr);
    ASSERT_NE(clone, source);
    EXPECT_EQ(counter_of(clone), counter + 1);
    EXPECT_EQ(clone->mem, clone_handle);
    EXPECT_EQ(clone->caller_word1, 11);
    EXPECT_EQ(clone->profile, registry);
    EXPECT_EQ(clone->position, 3);
    EXPECT_EQ(clone->length, 10);
    EXPECT_STREQ(clone->scratch, "scratch");
    EXPECT_TRUE(blob_directory_empty());

    kv_mem_release_handle(source_handle);
    ASSERT_EQ(extract_from_long_buffer(clone, destination, sizeof destination, &reported, 0), 0);
    EXPECT_STREQ(destination, "3456789");
    EXPECT_EQ(reported, 7);
    ASSERT_EQ(rewind_long_buffer(clone), 0);
    ASSERT_EQ(extract_from_long_buffer(clone, destination, sizeof destination, &reported, 0), 0);
    EXPECT_STREQ(destination, "0123456789");
    kv_mem_release_handle(clone_handle);
}

TEST_F(LongBufferTest, CloneSeesAppendsStillInTheStreamBuffer)
{
    MemHandle *other = kv_mem_alloc_handle(handle);
    LongBuffer *source = make();
    ASSERT_EQ(append_to_long_buffer(source, "pending", SQL_NTS), 0);
    LongBuffer *clone = clone_long_buffer(source, other);
    ASSERT_NE(clone, nullptr);
    kv_mem_free(handle, source);
    char destination[16];
    int32_t reported = 0;
    ASSERT_EQ(rewind_long_buffer(clone), 0);
    EXPECT_EQ(extract_from_long_buffer(clone, destination, sizeof destination, &reported, 0), 0);
    EXPECT_STREQ(destination, "pending");
}

TEST_F(LongBufferTest, ReleasingTheHandleClosesEveryFile)
{
    MemHandle *child = kv_mem_alloc_handle(handle);
    int before = open_descriptors();
    for (int i = 0; i < 20; i++) {
        LongBuffer *buffer = filled("data " + std::to_string(i), SQL_LONGVARCHAR, child);
        if (i % 2)
            clone_long_buffer(buffer, child); // shared on its own handle: still goes with it
    }
    EXPECT_EQ(open_descriptors(), before + 20);
    EXPECT_TRUE(blob_directory_empty());
    kv_mem_release_handle(child);
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(LongBufferTest, ClashingNamesAreSkippedAndNeverFollowed)
{
    LongBuffer *first = make();
    unsigned counter = counter_of(first);
    std::string victim = directory + "/victim";
    std::ofstream(victim) << "victim";
    std::ofstream(name_for(blobs, counter + 1)) << "planted";
    fs::create_symlink(victim, name_for(blobs, counter + 2));
    fs::create_symlink(directory + "/dangling", name_for(blobs, counter + 3));

    LongBuffer *second = make();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(counter_of(second), counter + 4);
    ASSERT_EQ(append_to_long_buffer(second, "mine", SQL_NTS), 0);
    ASSERT_EQ(fflush(second->file), 0);

    std::ifstream planted(name_for(blobs, counter + 1));
    std::string text;
    planted >> text;
    EXPECT_EQ(text, "planted");
    std::ifstream target(victim);
    target >> text;
    EXPECT_EQ(text, "victim");
    EXPECT_TRUE(fs::is_symlink(name_for(blobs, counter + 2)));
    EXPECT_FALSE(fs::exists(directory + "/dangling"));
    EXPECT_EQ(std::distance(fs::directory_iterator(blobs), fs::directory_iterator()), 3);
}

TEST_F(LongBufferTest, EmptyBlobPathMeansTheSystemTemporaryDirectory)
{
    use_profile("{default}\nblob_path =\n");
    LongBuffer *buffer = make();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(fs::path(buffer->file_name).parent_path(), fs::path(P_tmpdir));
    LongBuffer *without_profile = allocate_long_buffer(handle, 0, 0, nullptr, SQL_LONGVARCHAR);
    ASSERT_NE(without_profile, nullptr);
    EXPECT_EQ(fs::path(without_profile->file_name).parent_path(), fs::path(P_tmpdir));
    EXPECT_FALSE(fs::exists(without_profile->file_name));
}

TEST_F(LongBufferTest, DataSourceBlobPathIsUsedWhenADataSourceIsSet)
{
    fs::create_directory(directory + "/dsn");
    use_profile("{default}\nblob_path = " + blobs + "\n[Sales]\nblob_path = " + directory + "/dsn\n");
    set_dsn(registry, "Sales");
    LongBuffer *buffer = make();
    EXPECT_EQ(fs::path(buffer->file_name).parent_path(), fs::path(directory + "/dsn"));
}

TEST_F(LongBufferTest, NoFileMeansNoBuffer)
{
    const std::string paths[] = {
        directory + "/missing",                              // no such directory
        std::string(110, 'x'),                              // the name would not fit file_name
        "/" + std::string(300, 'y'),                        // longer than the value field itself
    };
    for (const std::string &path : paths) {
        SCOPED_TRACE(path.substr(0, 40));
        use_profile("{default}\nblob_path = " + path + "\n");
        EXPECT_EQ(allocate_long_buffer(handle, 0, 0, registry, SQL_LONGVARCHAR), nullptr);
        EXPECT_EQ(kv_test_live_blocks(), live);
        EXPECT_EQ(open_descriptors(), descriptors);
        char name[KV_LONG_FILE_NAME_SIZE];
        EXPECT_EQ(open_buffer(registry, name), nullptr);
    }
}

TEST_F(LongBufferTest, AllocationFailureLeavesNothingBehind)
{
    LongBuffer *buffer = nullptr;
    for (long nth = 1; !buffer && nth < 100; nth++) {
        kv_test_fail_allocation(nth);
        buffer = allocate_long_buffer(handle, 0, 0, registry, SQL_LONGVARCHAR);
        kv_test_fail_allocation(0);
        if (!buffer) {
            EXPECT_EQ(kv_test_live_blocks(), live);
            EXPECT_EQ(open_descriptors(), descriptors);
        }
    }
    ASSERT_NE(buffer, nullptr);
    // Running out of memory while reading blob_path fails; it never falls
    // back to another directory.
    EXPECT_EQ(fs::path(buffer->file_name).parent_path(), fs::path(blobs));
    EXPECT_TRUE(blob_directory_empty());
}

// A file that cannot be created, or whose name cannot be removed, gives no
// buffer and keeps no block or descriptor; as root as well. Only the name
// that could not be removed stays behind.
TEST_F(LongBufferTest, FailedCreationOrUnlinkLeavesNoBuffer)
{
    for (const char *call : {"open", "unlink"}) {
        SCOPED_TRACE(call);
        LongBuffer *buffer;
        {
            SyscallFailure failure(0, 0);
            SyscallFailure::always(call, EACCES);
            buffer = allocate_long_buffer(handle, 0, 0, registry, SQL_LONGVARCHAR);
        }
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(kv_test_live_blocks(), live);
        EXPECT_EQ(open_descriptors(), descriptors);
        std::size_t left = static_cast<std::size_t>(std::distance(fs::directory_iterator(blobs), {}));
        EXPECT_EQ(left, std::string(call) == "unlink" ? 1u : 0u);
        fs::remove_all(blobs);
        fs::create_directory(blobs);
    }
    ASSERT_NE(make(), nullptr);
    EXPECT_TRUE(blob_directory_empty());
}

TEST_F(LongBufferTest, BareStreamsAndFileHelpers)
{
    char name[KV_LONG_FILE_NAME_SIZE];
    FILE *stream = open_buffer(registry, name);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(fs::path(name).parent_path(), fs::path(blobs));
    EXPECT_TRUE(blob_directory_empty());
    EXPECT_EQ(file_write("abcdef", 6, stream), 6u);
    FILE *copy = file_dup(stream);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(file_seek(copy, 2), 0);
    char text[8] = {};
    EXPECT_EQ(file_read(text, 8, copy), 4u);
    EXPECT_STREQ(text, "cdef");
    EXPECT_EQ(file_seek(stream, -1), -1);
    EXPECT_EQ(file_close(copy), 0);
    EXPECT_EQ(file_close(stream), 0);
    EXPECT_EQ(file_close(nullptr), EOF);
    EXPECT_EQ(file_dup(nullptr), nullptr);
}

} // namespace
