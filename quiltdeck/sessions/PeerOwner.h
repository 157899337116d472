#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

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
//
// A lookup tells a peer that is gone from one whose owner could not be read
// (the kernel refused the question, the table was cut short at its limits):
// only the first is an answer, the second is worth asking again.
class PeerOwner {
public:
    enum class Source { diagnostics, tcpTable };
    using Clock = std::chrono::steady_clock;

    struct Result {
        enum class Kind {
            user,        // the socket belongs to `uid`
            gone,        // no such socket, or no process holds it any more
            unreadable,  // not known this time
        };
        Kind kind = Kind::unreadable;
        uid_t uid = 0;
        static Result of(uid_t uid) { return {Kind::user, uid}; }
        static Result gone() { return {Kind::gone, 0}; }
        static Result unreadable() { return {Kind::unreadable, 0}; }
        friend bool operator==(const Result&, const Result&) = default;
    };

    // Bounds of one read of /proc/net/tcp; what is past them is not looked at.
    static constexpr size_t tableSizeLimit = size_t{8} << 20;
    static constexpr std::chrono::milliseconds tableTimeLimit{50};

    // One read of the socket table: its text, and in `whole` whether that is
    // all of it. By default /proc/net/tcp within the limits above.
    using TableReader = std::function<std::string(bool& whole)>;

    // `listener` is the listening socket's address, the local end of every
    // connection looked up.
    explicit PeerOwner(const sockaddr_in& listener);
    // With the source chosen by the caller and, for the table, its own reader (tests).
    PeerOwner(const sockaddr_in& listener, Source source, TableReader reader = {});
    ~PeerOwner();
    PeerOwner(const PeerOwner&) = delete;
    PeerOwner& operator=(const PeerOwner&) = delete;

    Source source() const { return source_; }

    // The user owning the socket bound to `peer` and connected to `local`, as
    // an accepted socket sees the two ends. Nothing when the socket is not
    // found, no longer belongs to a process (closed, in TIME_WAIT), or the
    // tables cannot be read. One thread at a time.
    std::optional<uid_t> lookup(const sockaddr_in& peer, const sockaddr_in& local);
    // The same, telling why there is no user. A connection accepted at
    // `accepted` is looked for in the last table read when that read began
    // later: a burst of connections costs one read of the table, not one each.
    Result check(const sockaddr_in& peer, const sockaddr_in& local, Clock::time_point accepted);

    // The same from the text of /proc/net/tcp; `whole` when the text is all of
    // the table, so that a socket missing from it is gone.
    static Result findInTcpTable(std::string_view table, bool whole, const sockaddr_in& peer, const sockaddr_in& local);
    static std::optional<uid_t> findInTcpTable(std::string_view table, const sockaddr_in& peer, const sockaddr_in& local);
    // At most `sizeLimit` bytes of the file, read for at most `timeLimit`;
    // `whole` says whether the end of the file was reached.
    static std::string readTable(const char* path, size_t sizeLimit, std::chrono::milliseconds timeLimit,
                                 bool* whole = nullptr);
    // Tables read so far in this process (for tests and figures).
    static uint64_t tablesRead();

private:
    enum class Answer { found, notFound, unavailable };
    Answer askNetlink(const sockaddr_in& peer, const sockaddr_in& local, uid_t& owner);

    // Kept open: a lookup per connection is then two system calls.
    int netlink_ = -1;
    TableReader readTable_;
    // The last table read, when that read began, and its connections to
    // `tableLocal_` by their other end.
    std::optional<Clock::time_point> tableReadAt_;
    bool tableWhole_ = false;
    uint64_t tableLocal_ = 0;
    std::unordered_map<uint64_t, Result> tableIndex_;
    // Peers one whole table did not show.
    static constexpr size_t missesKept = 4096;
    std::unordered_set<uint64_t> missedOnce_;
    uint32_t sequence_ = 0;
    Source source_ = Source::tcpTable;
};

}  // namespace quiltdeck
