#include "quiltdeck/sessions/PeerOwner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Both sources find this process's end of a real connection, and neither
// vouches for it once it is closed.
TEST(PeerOwnerTest, FindsTheOwnerOfALiveLoopbackPeerOnly) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), length), 0);
    sockaddr_in peer{}, local{};
    const int accepted = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    ::getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &length);

    // This machine has socket diagnostics; the table is the other source.
    EXPECT_EQ(PeerOwner(address).source(), PeerOwner::Source::diagnostics);
    for (PeerOwner::Source source : {PeerOwner::Source::diagnostics, PeerOwner::Source::tcpTable}) {
        PeerOwner owners(address, source);
        // A read of the table ends at its time limit, which a table grown by tests beside this
        // one can reach before this connection's line: a few tries.
        std::optional<uid_t> found;
        for (int attempt = 0; attempt < 20 && !found; ++attempt) found = owners.lookup(peer, local);
        EXPECT_EQ(found, ::geteuid());
        EXPECT_EQ(owners.lookup(loopback(1), local), std::nullopt);
    }
    EXPECT_EQ(PeerOwner::findInTcpTable(testing::readFile("/proc/net/tcp"), peer, local), ::geteuid());
    ::close(client);
    for (PeerOwner::Source source : {PeerOwner::Source::diagnostics, PeerOwner::Source::tcpTable})
        EXPECT_EQ(PeerOwner(address, source).lookup(peer, local), std::nullopt);
    ::close(accepted);
    ::close(listener);
}

// Without a listener to find, diagnostics are not trusted: the table decides.
TEST(PeerOwnerTest, DiagnosticsThatCannotFindTheListenerAreNotUsed) {
    EXPECT_EQ(PeerOwner(loopback(1)).source(), PeerOwner::Source::tcpTable);
}

TEST(PeerOwnerTest, TableReadStopsAtItsSizeAndTimeLimits) {
    using namespace std::chrono_literals;
    EXPECT_EQ(PeerOwner::readTable("/dev/zero", 100'000, 10s).size(), 100'000u);
    // An endless file is read until the time limit stops it, far short of the size limit.
    const size_t read = PeerOwner::readTable("/dev/zero", size_t{1} << 40, 20ms).size();
    EXPECT_LT(read, size_t{1} << 40);
    EXPECT_GT(read, 0u);
    EXPECT_EQ(PeerOwner::readTable("/nonexistent", 100, 10s), "");
}

TEST(PeerOwnerTest, ReadsTheTableInKernelByteOrder) {
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:1E6E 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 4711 1\n"
        "   1: 0100007F:D431 0100007F:1E6E 06 00000000:00000000 03:00000000 00000000     0        0 0 3\n"
        "   2: 0100007F:D432 0100007F:1E6E 01 00000000:00000000 00:00000000 00000000  1234        0 9876 1\n";
    const sockaddr_in server = loopback(7790);
    EXPECT_EQ(PeerOwner::findInTcpTable(table, loopback(0xD432), server), 1234u);
    EXPECT_EQ(PeerOwner::findInTcpTable(table, loopback(0xD431), server), std::nullopt) << "TIME_WAIT has no owner";
    EXPECT_EQ(PeerOwner::findInTcpTable(table, loopback(0xD433), server), std::nullopt);
}

}  // namespace
}  // namespace quiltdeck
