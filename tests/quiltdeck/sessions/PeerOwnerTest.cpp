#include "quiltdeck/sessions/PeerOwner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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

// A listener on a free loopback port; its address in `address`. -1 when none.
int listenOnLoopback(sockaddr_in& address) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(listener, 8) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        return listener;
    ::close(listener);
    return -1;
}

// The kernel's socket table as this test's own connections show in it: read to
// its end, with no time limit, and cut down to its header and the lines that
// name `listener`. However many connections other programs hold or make
// meanwhile, a read is never cut short and holds nothing but this test's own.
PeerOwner::TableReader ownTable(const sockaddr_in& listener, int& reads) {
    char key[16];
    std::snprintf(key, sizeof key, "%08X:%04X ", listener.sin_addr.s_addr, ntohs(listener.sin_port));
    return [key = std::string(key), &reads](bool& whole) {
        ++reads;
        const std::string table = PeerOwner::readTable("/proc/net/tcp", size_t{1} << 30, std::chrono::hours(1), &whole);
        std::string own;
        for (size_t start = 0; start < table.size();) {
            const size_t end = std::min(table.find('\n', start), table.size() - 1) + 1;
            const std::string_view line(table.data() + start, end - start);
            if (start == 0 || line.find(key) != std::string_view::npos) own += line;
            start = end;
        }
        return own;
    };
}

// Both sources find this process's end of a real connection, and neither
// vouches for it once it is closed.
TEST(PeerOwnerTest, FindsTheOwnerOfALiveLoopbackPeerOnly) {
    sockaddr_in address{};
    const int listener = listenOnLoopback(address);
    ASSERT_GE(listener, 0);
    socklen_t length = sizeof address;
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), length), 0);
    sockaddr_in peer{}, local{};
    const int accepted = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    ::getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &length);

    // This machine has socket diagnostics; the table is the other source.
    EXPECT_EQ(PeerOwner(address).source(), PeerOwner::Source::diagnostics);
    int reads = 0;
    for (PeerOwner::Source source : {PeerOwner::Source::diagnostics, PeerOwner::Source::tcpTable}) {
        PeerOwner owners(address, source, ownTable(address, reads));
        // Sockets that come and go between the pages of a read can shift this one out of it: a
        // few tries.
        std::optional<uid_t> found;
        for (int attempt = 0; attempt < 20 && !found; ++attempt) found = owners.lookup(peer, local);
        EXPECT_EQ(found, ::geteuid());
        EXPECT_EQ(owners.lookup(loopback(1), local), std::nullopt);
    }
    EXPECT_EQ(PeerOwner::findInTcpTable(testing::readFile("/proc/net/tcp"), peer, local), ::geteuid());
    ::close(client);
    for (PeerOwner::Source source : {PeerOwner::Source::diagnostics, PeerOwner::Source::tcpTable}) {
        PeerOwner owners(address, source, ownTable(address, reads));
        EXPECT_EQ(owners.lookup(peer, local), std::nullopt);
        // Closed is an answer, not a failure to read: the peer is gone.
        std::optional<PeerOwner::Result> found;
        for (int attempt = 0; attempt < 20 && (!found || found->kind == PeerOwner::Result::Kind::unreadable); ++attempt)
            found = owners.check(peer, local, PeerOwner::Clock::now());
        EXPECT_EQ(found, PeerOwner::Result::gone());
    }
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

    // A table cut at its limits proves only what it holds whole.
    using Result = PeerOwner::Result;
    const std::string cut = table.substr(0, table.rfind(" 1234 "));
    const struct {
        std::string_view table;
        bool whole;
        uint16_t port;
        Result found;
    } cases[] = {
        {table, true, 0xD432, Result::of(1234)},      {table, true, 0xD431, Result::gone()},
        {table, true, 0xD433, Result::gone()},        {table, false, 0xD432, Result::of(1234)},
        {table, false, 0xD433, Result::unreadable()}, {cut, false, 0xD432, Result::unreadable()},
        {cut, false, 0xD431, Result::gone()},         {cut, true, 0xD433, Result::gone()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PeerOwner::findInTcpTable(c.table, c.whole, loopback(c.port), server), c.found)
            << c.port << (c.whole ? " whole" : " cut");
    }
}

// Connections accepted before a read of the table are all found in it: a
// burst of them costs one read. A connection accepted after it is not looked
// for in a table that cannot hold it.
TEST(PeerOwnerTest, OneTableReadServesTheConnectionsAcceptedBeforeIt) {
    sockaddr_in address{};
    const int listener = listenOnLoopback(address);
    ASSERT_GE(listener, 0);
    socklen_t length = sizeof address;
    std::vector<int> fds;
    std::vector<sockaddr_in> peers(4);
    for (sockaddr_in& peer : peers) {
        fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(fds.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        length = sizeof peer;
        fds.push_back(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    }
    int reads = 0;
    PeerOwner owners(address, PeerOwner::Source::tcpTable, ownTable(address, reads));
    const auto accepted = PeerOwner::Clock::now();
    size_t found = 0;
    for (size_t i = 0; i < 3; ++i) found += owners.check(peers[i], address, accepted) == PeerOwner::Result::of(::geteuid());
    EXPECT_EQ(reads, 1);
    const PeerOwner::Result last = owners.check(peers[3], address, PeerOwner::Clock::now());
    EXPECT_EQ(reads, 2);
    // A socket missing from a whole table may have been shifted out of the read by others coming
    // and going: gone only when a second read misses it too.
    const PeerOwner::Result missed = owners.check(loopback(1), address, PeerOwner::Clock::now());
    const PeerOwner::Result missedAgain = owners.check(loopback(1), address, PeerOwner::Clock::now());
    for (int fd : fds) ::close(fd);
    ::close(listener);
    // A socket shifted out of a read by others coming and going proves nothing.
    if (found < 3 || last.kind == PeerOwner::Result::Kind::unreadable) GTEST_SKIP() << "a socket was shifted out of a read";
    EXPECT_EQ(last, PeerOwner::Result::of(::geteuid()));
    EXPECT_EQ(missed, PeerOwner::Result::unreadable());
    EXPECT_EQ(missedAgain, PeerOwner::Result::gone());
}

}  // namespace
}  // namespace quiltdeck
