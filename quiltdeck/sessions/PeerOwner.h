#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace quiltdeck {

// Who holds the other end of a loopback TCP connection. SO_PEERCRED answers
// only on Unix sockets, so the peer's own socket is found by its four-tuple in
// the kernel's socket table (socket diagnostics over netlink, /proc/net/tcp
// when that is not to be had).
class PeerOwner {
public:
    PeerOwner();
    ~PeerOwner();
    PeerOwner(const PeerOwner&) = delete;
    PeerOwner& operator=(const PeerOwner&) = delete;

    // The user owning the socket bound to `peer` and connected to `local`, as
    // an accepted socket sees the two ends. Nothing when the socket is not
    // found, no longer belongs to a process (closed, in TIME_WAIT), or the
    // tables cannot be read. One thread at a time.
    std::optional<uid_t> lookup(const sockaddr_in& peer, const sockaddr_in& local);

    // The same from the text of /proc/net/tcp.
    static std::optional<uid_t> findInTcpTable(std::string_view table, const sockaddr_in& peer,
                                               const sockaddr_in& local);

private:
    enum class Answer { found, notFound, unavailable };
    Answer askNetlink(const sockaddr_in& peer, const sockaddr_in& local, uid_t& owner);

    // Kept open: a lookup per connection is then two system calls.
    int netlink_ = -1;
    uint32_t sequence_ = 0;
};

}  // namespace quiltdeck
