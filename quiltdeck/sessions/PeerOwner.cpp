#include "quiltdeck/sessions/PeerOwner.h"

#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quiltdeck {

namespace {

template <class Number>
bool parseNumber(std::string_view text, Number& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// "0100007F:1E6E": the address as the kernel's raw 32-bit word, the port in
// host order; both in one number, the address above. Nothing when malformed.
std::optional<uint64_t> endKey(std::string_view field) {
    const size_t colon = field.find(':');
    uint32_t address = 0;
    uint16_t port = 0;
    if (colon == std::string_view::npos || !parseNumber(field.substr(0, colon), address, 16) ||
        !parseNumber(field.substr(colon + 1), port, 16))
        return std::nullopt;
    return uint64_t{address} << 16 | port;
}

uint64_t endKey(const sockaddr_in& end) { return uint64_t{end.sin_addr.s_addr} << 16 | ntohs(end.sin_port); }

// Calls `visit(local end, remote end, owner)` for each whole line of the table
// that names a connection, until it returns false.
template <class Visit>
void forEachSocket(std::string_view table, bool whole, Visit visit) {
    while (!table.empty()) {
        const size_t lineEnd = table.find('\n');
        // A last line without its end may be cut short: it proves nothing.
        if (lineEnd == std::string_view::npos && !whole) return;
        std::string_view line = table.substr(0, std::min(lineEnd, table.size()));
        table.remove_prefix(std::min(line.size() + 1, table.size()));
        // sl local rem st queues timer retransmits uid timeout inode ...
        std::string_view fields[10];
        size_t count = 0;
        while (count < 10) {
            const size_t begin = line.find_first_not_of(' ');
            if (begin == std::string_view::npos) break;
            line.remove_prefix(begin);
            const size_t end = std::min(line.find(' '), line.size());
            fields[count++] = line.substr(0, end);
            line.remove_prefix(end);
        }
        const std::optional<uint64_t> local = count == 10 ? endKey(fields[1]) : std::nullopt;
        const std::optional<uint64_t> remote = count == 10 ? endKey(fields[2]) : std::nullopt;
        if (!local || !remote) continue;
        uid_t owner = 0;
        uint64_t inode = 0;
        PeerOwner::Result found = PeerOwner::Result::unreadable();
        if (parseNumber(fields[7], owner, 10) && parseNumber(fields[9], inode, 10))
            found = inode == 0 ? PeerOwner::Result::gone() : PeerOwner::Result::of(owner);
        if (!visit(*local, *remote, found)) return;
    }
}

}  // namespace

PeerOwner::PeerOwner(const sockaddr_in& listener) : PeerOwner(listener, Source::diagnostics) {
    // The listener is there for as long as lookups are made: diagnostics that
    // cannot find it do not work here.
    uid_t owner = 0;
    if (askNetlink(listener, sockaddr_in{}, owner) == Answer::found) return;
    source_ = Source::tcpTable;
    if (netlink_ >= 0) ::close(std::exchange(netlink_, -1));
}

PeerOwner::PeerOwner(const sockaddr_in&, Source source, TableReader reader)
    : readTable_(std::move(reader)), source_(source) {
    if (!readTable_) {
        readTable_ = [](bool& whole) { return readTable("/proc/net/tcp", tableSizeLimit, tableTimeLimit, &whole); };
    }
    if (source_ != Source::diagnostics) return;
    netlink_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    // The kernel answers a single lookup while sending; the limit only guards
    // against a kernel that does not.
    const timeval wait{0, 200000};
    if (netlink_ >= 0) ::setsockopt(netlink_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
}

PeerOwner::~PeerOwner() {
    if (netlink_ >= 0) ::close(netlink_);
}

// One exact lookup (no dump) of the socket whose local end is `peer`.
PeerOwner::Answer PeerOwner::askNetlink(const sockaddr_in& peer, const sockaddr_in& local, uid_t& owner) {
    if (netlink_ < 0) return Answer::unavailable;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = ++sequence_;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = peer.sin_port;
    message.request.id.idiag_dport = local.sin_port;
    message.request.id.idiag_src[0] = peer.sin_addr.s_addr;
    message.request.id.idiag_dst[0] = local.sin_addr.s_addr;
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink_, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
        static_cast<ssize_t>(sizeof message))
        return Answer::unavailable;
    alignas(nlmsghdr) char reply[8192];
    for (;;) {
        const ssize_t length = ::recv(netlink_, reply, sizeof reply, 0);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) return Answer::unavailable;
        auto* header = reinterpret_cast<nlmsghdr*>(reply);
        for (int left = static_cast<int>(length); NLMSG_OK(header, left); header = NLMSG_NEXT(header, left)) {
            // A late answer to an earlier question.
            if (header->nlmsg_seq != sequence_) continue;
            // Diagnostics that found the listener say ENOENT only of a socket
            // that is gone: a peer that reset before it was asked about.
            if (header->nlmsg_type == NLMSG_ERROR && header->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) &&
                static_cast<const nlmsgerr*>(NLMSG_DATA(header))->error == -ENOENT)
                return Answer::notFound;
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                return Answer::unavailable;
            const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            // A socket no process holds any more (closed, TIME_WAIT) reports
            // no inode and, for TIME_WAIT, user 0: it proves nothing.
            if (found->idiag_inode == 0) return Answer::notFound;
            owner = found->idiag_uid;
            return Answer::found;
        }
    }
}

PeerOwner::Result PeerOwner::findInTcpTable(std::string_view table, bool whole, const sockaddr_in& peer,
                                            const sockaddr_in& local) {
    std::optional<Result> found;
    forEachSocket(table, whole, [&](uint64_t socketEnd, uint64_t connectedTo, const Result& result) {
        if (socketEnd == endKey(peer) && connectedTo == endKey(local)) found = result;
        return !found;
    });
    if (found) return *found;
    return whole ? Result::gone() : Result::unreadable();
}

std::optional<uid_t> PeerOwner::findInTcpTable(std::string_view table, const sockaddr_in& peer,
                                               const sockaddr_in& local) {
    const Result found = findInTcpTable(table, true, peer, local);
    if (found.kind == Result::Kind::user) return found.uid;
    return std::nullopt;
}

namespace {

std::atomic<uint64_t> tableReads{0};

}  // namespace

uint64_t PeerOwner::tablesRead() { return tableReads.load(std::memory_order_relaxed); }

std::string PeerOwner::readTable(const char* path, size_t sizeLimit, std::chrono::milliseconds timeLimit, bool* whole) {
    tableReads.fetch_add(1, std::memory_order_relaxed);
    if (whole) *whole = false;
    std::string table;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return table;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    char chunk[65536];
    while (table.size() < sizeLimit && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, sizeLimit - table.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 && whole) *whole = true;
        if (n <= 0) break;
        table.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return table;
}

std::optional<uid_t> PeerOwner::lookup(const sockaddr_in& peer, const sockaddr_in& local) {
    const Result found = check(peer, local, Clock::now());
    if (found.kind == Result::Kind::user) return found.uid;
    return std::nullopt;
}

PeerOwner::Result PeerOwner::check(const sockaddr_in& peer, const sockaddr_in& local, Clock::time_point accepted) {
    if (source_ == Source::tcpTable) {
        // A table whose read began after the accept holds the connection; one
        // read before it might show an earlier socket on the same ports.
        if (!tableReadAt_ || *tableReadAt_ <= accepted || endKey(local) != tableLocal_) {
            tableReadAt_ = Clock::now();
            tableLocal_ = endKey(local);
            tableWhole_ = false;
            const std::string table = readTable_(tableWhole_);
            // Indexed once: a burst of lookups would otherwise each walk the whole table.
            tableIndex_.clear();
            forEachSocket(table, tableWhole_, [&](uint64_t socketEnd, uint64_t connectedTo, const Result& result) {
                if (connectedTo == tableLocal_) tableIndex_.insert_or_assign(socketEnd, result);
                return true;
            });
        }
        const uint64_t key = endKey(peer);
        if (auto found = tableIndex_.find(key); found != tableIndex_.end()) {
            missedOnce_.erase(key);
            return found->second;
        }
        if (!tableWhole_) return Result::unreadable();
        // The file is written a page at a time, and sockets that come and go
        // between pages can shift a live one out of sight: it is gone once a
        // second read misses it too.
        if (missedOnce_.erase(key)) return Result::gone();
        if (missedOnce_.size() >= missesKept) missedOnce_.clear();
        missedOnce_.insert(key);
        return Result::unreadable();
    }
    uid_t owner = 0;
    switch (askNetlink(peer, local, owner)) {
        case Answer::found: return Result::of(owner);
        case Answer::notFound: return Result::gone();
        case Answer::unavailable: break;
    }
    return Result::unreadable();
}

}  // namespace quiltdeck
