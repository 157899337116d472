#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quiltdeck {

// Who holds the other end of a loopback TCP connection. SO_PEERCRED answers
// only on Unix sockets, so the peer's own socket is found by its four-tuple in
// the kernel's socket table: through socket diagnostics over netlink, or, on a
// kernel without them, in /proc/net/tcp.
//
// Which of the two is decided once, when made: diagnostics are used when they
// find the listener itself. Then a socket they do not know is gone, and no
// table is read for it: any user can grow that table, and a peer that resets
// before it is looked up would otherwise cost a read of all of it.
class PeerOwner {
public:
    enum class Source { diagnostics, tcpTable };

    // Bounds of one read of /proc/net/tcp; what is past them is not looked at.
    static constexpr size_t tableSizeLimit = size_t{8} << 20;
    static constexpr std::chrono::milliseconds tableTimeLimit{50};

    // `listener` is the listening socket's address, the local end of every
    // connection looked up.
    explicit PeerOwner(const sockaddr_in& listener);
    // With the source chosen by the caller (tests).
    PeerOwner(const sockaddr_in& listener, Source source);
    ~PeerOwner();
    PeerOwner(const PeerOwner&) = delete;
    PeerOwner& operator=(const PeerOwner&) = delete;

    Source source() const { return source_; }

    // The user owning the socket bound to `peer` and connected to `local`, as
    // an accepted socket sees the two ends. Nothing when the socket is not
    // found, no longer belongs to a process (closed, in TIME_WAIT), or the
    // tables cannot be read. One thread at a time.
    std::optional<uid_t> lookup(const sockaddr_in& peer, const sockaddr_in& local);

    // The same from the text of /proc/net/tcp.
    static std::optional<uid_t> findInTcpTable(std::string_view table, const sockaddr_in& peer,
                                               const sockaddr_in& local);
    // At most `sizeLimit` bytes of the file, read for at most `timeLimit`.
    static std::string readTable(const char* path, size_t sizeLimit, std::chrono::milliseconds timeLimit);
    // Tables read so far in this process (for tests and figures).
    static uint64_t tablesRead();

private:
    enum class Answer { found, notFound, unavailable };
    Answer askNetlink(const sockaddr_in& peer, const sockaddr_in& local, uid_t& owner);

    // Kept open: a lookup per connection is then two system calls.
    int netlink_ = -1;
    uint32_t sequence_ = 0;
    Source source_ = Source::tcpTable;
};

}  // namespace quiltdeck
