// The test connection against the real Firebird client and embedded engine:
// a database the test creates in its own directory, a missing file, and a
// loopback port nobody listens on.
#include "dialog.h"
#include "firebird_sandbox.h"
#include "toolkit_events.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace setup_test;

namespace {

FirebirdSandbox *sandbox = nullptr;

// Stops the engine before the sandbox's directory goes.
class FirebirdEnvironment : public ::testing::Environment {
public:
    void SetUp() override { sandbox = &firebird_sandbox(); }
    void TearDown() override { fb_shutdown(0, fb_shutrsn_app_stopped); }
};

const auto *environment = ::testing::AddGlobalTestEnvironment(new FirebirdEnvironment);

// A loopback port that was free a moment ago: connecting to it is refused.
int unused_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 3099;
    close(fd);
    return ntohs(address.sin_port);
}

class TestConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        tk::record_alerts(true);
        tk::clear_alerts();
    }
    void TearDown() override { tk::record_alerts(false); }
    std::string last_alert() { return tk::alerts().empty() ? std::string() : tk::alerts().back().message; }
};

TEST_F(TestConnection, SucceedsAgainstARealDatabase)
{
    std::string path = sandbox->dir().file("sales.fdb");
    ASSERT_EQ(sandbox->create_database(path), "");
    EXPECT_EQ(fbsetup::test_connection("", "", path, "", ""), "Connect test completed successfully");
    EXPECT_EQ(last_alert(), "Connect test completed successfully");
    EXPECT_EQ(fbsetup::test_connection("SYSDBA", "masterkey", path, "", "UTF8"),
              "Connect test completed successfully");
    ASSERT_EQ(tk::alerts().size(), 2u);
    EXPECT_EQ(tk::alerts()[0].title, "Kestrova Firebird ODBC Driver");
}

TEST_F(TestConnection, MissingFileShowsTheClientsMessagesJoined)
{
    std::string path = sandbox->dir().file("missing.fdb");
    std::string shown = fbsetup::test_connection("", "", path, "", "");
    EXPECT_EQ(shown, "I/O error during \"open\" operation for file \"" + path +
                         "\" Error while trying to open file No such file or directory");
    EXPECT_EQ(last_alert(), shown);
}

TEST_F(TestConnection, RefusedPortShowsTheClientsMessages)
{
    std::string database = "127.0.0.1/" + std::to_string(unused_port()) + ":/x.fdb";
    std::string shown = fbsetup::test_connection("SYSDBA", "masterkey", database, "", "");
    EXPECT_EQ(shown.rfind("Unable to complete network request to host \"127.0.0.1\". ", 0), 0u) << shown;
    EXPECT_NE(shown.find("Failed to establish a connection."), std::string::npos) << shown;
    EXPECT_EQ(shown.find("  "), std::string::npos);
}

TEST_F(TestConnection, LongMessagesAreCutTo255Characters)
{
    std::string path = sandbox->dir().file(std::string(200, 'm') + ".fdb");
    std::string shown = fbsetup::test_connection("", "", path, "", "");
    EXPECT_EQ(shown.size(), 255u);
    std::string full = "I/O error during \"open\" operation for file \"" + path + "\" Error while trying to open file";
    EXPECT_EQ(full.substr(0, 255), shown);
}

} // namespace
