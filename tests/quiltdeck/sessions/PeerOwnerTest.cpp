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

    PeerOwner owners;
    EXPECT_EQ(owners.lookup(peer, local), ::geteuid());
    EXPECT_EQ(PeerOwner::findInTcpTable(testing::readFile("/proc/net/tcp"), peer, local), ::geteuid());
    EXPECT_EQ(owners.lookup(loopback(1), local), std::nullopt);
    ::close(client);
    EXPECT_EQ(owners.lookup(peer, local), std::nullopt);
    ::close(accepted);
    ::close(listener);
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
