// The platform's backends name why an operation failed in the one vocabulary.
#include <gtest/gtest.h>

#include <memory>

#include "platform/child_process.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "probes/platform_error_text.h"
#include "tests/test_support.h"

namespace {

int ClosedLoopbackPort() {
    EnsureNetworking();
    const auto server = std::make_unique<CLoopbackServer>([](CServerConnection&) {});
    return server->Port();  // nothing listens there once the server is gone
}

TEST(PlatformError, AConnectionToAPortNobodyListensOnIsRefused) {
    const int port = ClosedLoopbackPort();
    CTcpSocket socket;
    EXPECT_FALSE(socket.Connect("127.0.0.1", port, 5000));
    EXPECT_EQ(EPlatformError::kRefused, socket.LastError().kind);
    EXPECT_NE(0, socket.LastError().code);
}

TEST(PlatformError, ASilentPeerTimesOutAndARaisedStopSaysStopped) {
    EnsureNetworking();
    CLoopbackServer server([](CServerConnection& connection) { connection.HoldUntilStopped(); });
    CStopSignal stop;
    CTcpSocket socket(&stop);
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), 5000));
    EXPECT_EQ(EPlatformError::kNone, socket.LastError().kind);
    char buffer[16];
    EXPECT_EQ(CTcpSocket::kTimedOut, socket.Receive(buffer, sizeof buffer, 200));
    EXPECT_EQ(EPlatformError::kTimedOut, socket.LastError().kind);
    stop.Raise();
    EXPECT_EQ(CTcpSocket::kTimedOut, socket.Receive(buffer, sizeof buffer, 5000));
    EXPECT_EQ(EPlatformError::kStopped, socket.LastError().kind);
}

// The kinds a connection failure is told apart by, for the stand-ins' words, are one in
// the report's.
TEST(PlatformError, EveryWayOfNotReachingAPeerReadsAsUnreachable) {
    const EPlatformError kinds[] = {EPlatformError::kNetworkUnreachable,
                                    EPlatformError::kHostUnreachable, EPlatformError::kNetworkDown};
    for (const EPlatformError kind : kinds)
        EXPECT_STREQ("网络不可达", DescribePlatformError({kind, 1}).GetString());
    EXPECT_STREQ("连接被拒绝", DescribePlatformError({EPlatformError::kRefused, 1}).GetString());
}

TEST(PlatformError, AProgramThatIsNotThereIsNotFound) {
    const CArgumentList missing[] = {
        {"no-such-program-here", "/all"},
        {CString(TestScratchPath("no_such_folder/psping")), "-n", "10"},
        {},
    };
    for (const CArgumentList& command : missing) {
        CChildProcess child;
        EXPECT_FALSE(child.Start(command));
        EXPECT_EQ(EPlatformError::kNotFound, child.StartError().kind)
            << (command.empty() ? "(empty)" : command[0].Bytes());
    }
    CChildProcess child;
    EXPECT_TRUE(child.Start(TestChildCommand("silent")));
    EXPECT_EQ(EPlatformError::kNone, child.StartError().kind);
}

}  // namespace
