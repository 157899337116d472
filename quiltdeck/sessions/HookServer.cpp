#include "quiltdeck/sessions/HookServer.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <list>
#include <map>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "quiltdeck/sessions/HookBody.h"
#include "quiltdeck/sessions/PeerOwner.h"
#include "quiltdeck/shell/Log.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

using platform::runtime::Duration;
using platform::runtime::TimePoint;

namespace {

constexpr uint64_t wakeTag = 0;
constexpr uint64_t listenerTag = 1;
// After an accept error (out of descriptors), the listener rests this long.
constexpr Duration acceptPause = std::chrono::milliseconds(100);
// The thread looks at the loop's clock at least this often while deadlines
// are pending, so a clock that a test moves by hand is noticed too.
constexpr int longestWaitMs = 250;
// Reads per readiness report, so one fast sender cannot hold the thread.
constexpr int readsPerTurn = 32;
// Accepts per readiness report of the listener, for the same reason.
constexpr int acceptsPerTurn = 256;
// A peer whose owner could not be read is asked about again after this
// pause, doubled each time up to the longest, until its request deadline.
constexpr Duration firstOwnerRetry = std::chrono::milliseconds(2);
constexpr Duration longestOwnerRetry = std::chrono::milliseconds(100);

}  // namespace

struct HookServer::Connection {
    enum class Phase { checking, reading, writing, draining };
    int fd = -1;
    Phase phase = Phase::checking;
    uint32_t watched = 0;  // the events asked of epoll; none before it knows the descriptor
    sockaddr_in peer{};
    Duration ownerRetry = firstOwnerRetry;
    // Its place among the connections that may make room, while checking or reading.
    std::list<uint64_t>::iterator place;
    std::string buffer;  // the head, then the body unless it is a hook event's
    size_t headEnd = std::string::npos;
    bool headIsText = true;
    uint64_t declared = 0;
    uint64_t bodyRead = 0;
    std::unique_ptr<HookBody> hookBody;  // a hook event's body, kept small as it comes
    std::string out;
    size_t sent = 0;
    TimePoint deadline;
};

// Every open connection of the server's thread, from accept to close.
class HookServer::Connections {
public:
    Connections(HookServer& server, int epoll) : server_(server), epoll_(epoll) {}
    ~Connections() {
        for (auto& [id, connection] : open_) ::close(connection.fd);
    }
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    void acceptAll();
    void handle(uint64_t id);
    void expire();
    int waitMs() const;

private:
    TimePoint now() const { return server_.loop_.now(); }
    void admit(int fd, const sockaddr_in& peer, PeerOwner::Clock::time_point accepted);
    bool turnAway(int fd, const PeerOwner::Result& owner);
    void askAgain(uint64_t id, Connection& connection, PeerOwner::Clock::time_point asked);
    void askAgainLater(uint64_t id, Connection& connection);
    void startReading(uint64_t id, Connection& connection);
    void refuse(int fd);
    void closeIdlest();
    void abandon(uint64_t id);
    void read(uint64_t id, Connection& connection);
    bool readHead(Connection& connection, size_t searchFrom);
    bool takeBody(Connection& connection, std::string_view bytes);
    void complete(uint64_t id, Connection& connection);
    void answer(uint64_t id, Connection& connection, std::string response);
    void write(uint64_t id, Connection& connection);
    void drain(uint64_t id, Connection& connection);
    void close(uint64_t id);
    void watch(uint64_t id, Connection& connection, uint32_t events);
    void listen(bool on);

    HookServer& server_;
    const int epoll_;
    std::unordered_map<uint64_t, Connection> open_;
    // Connections not yet answered, the one that has been idle the longest
    // first: it is closed when a new connection needs its slot.
    std::list<uint64_t> idlest_;
    // Unanswered requests and answered connections, each in deadline order.
    std::deque<std::pair<TimePoint, uint64_t>> requestDeadlines_, lingerDeadlines_;
    // Peers whose owner is to be asked about again, by when.
    std::multimap<TimePoint, uint64_t> ownerRetries_;
    uint64_t nextId_ = 2;
    bool listening_ = true;
    std::optional<TimePoint> resumeListeningAt_;
    std::array<char, readLimit> chunk_;
};

void HookServer::Connections::listen(bool on) {
    if (listening_ == on) return;
    listening_ = on;
    epoll_event event{};
    event.events = on ? uint32_t{EPOLLIN} : 0u;
    event.data.u64 = listenerTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, server_.listener_, &event);
}

void HookServer::Connections::watch(uint64_t id, Connection& connection, uint32_t events) {
    if (connection.watched == events) return;
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    ::epoll_ctl(epoll_, connection.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, connection.fd, &event);
    connection.watched = events;
}

void HookServer::Connections::acceptAll() {
    // Room: the free slots and those of unanswered connections, which the
    // idlest give up. With none (every slot answered and closing), new
    // connections wait in the listener's backlog for a moment.
    const size_t free = server_.limit_ > open_.size() ? server_.limit_ - open_.size() : 0;
    const size_t room = std::min<size_t>(acceptsPerTurn, free + idlest_.size());
    if (room == 0) return listen(false);
    struct Taken {
        int fd;
        sockaddr_in peer;
    };
    std::array<Taken, acceptsPerTurn> taken;
    size_t count = 0;
    while (count < room) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(server_.listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                resumeListeningAt_ = now() + acceptPause;
                listen(false);
            }
            break;
        }
        taken[count++] = {fd, peer};
    }
    // Owners are asked after the turn's accepts, so that one read of the
    // socket table, where it has to be read, covers them all.
    const PeerOwner::Clock::time_point accepted = PeerOwner::Clock::now();
    for (size_t i = 0; i < count; ++i) admit(taken[i].fd, taken[i].peer, accepted);
}

void HookServer::Connections::admit(int fd, const sockaddr_in& peer, PeerOwner::Clock::time_point accepted) {
    // The tile id and the port are in the assistant's command line, which
    // every user can read: only this user's programs may post.
    const PeerOwner::Result owner = server_.options_.peerOwner(peer, server_.address_, accepted);
    if (turnAway(fd, owner)) {
        ::close(fd);
        return;
    }
    if (open_.size() >= server_.limit_) closeIdlest();
    const uint64_t id = nextId_++;
    Connection& connection = open_[id];
    connection.fd = fd;
    connection.peer = peer;
    connection.deadline = now() + requestDeadline;
    connection.place = idlest_.insert(idlest_.end(), id);
    requestDeadlines_.emplace_back(connection.deadline, id);
    if (owner.kind == PeerOwner::Result::Kind::unreadable) return askAgainLater(id, connection);
    startReading(id, connection);
}

// Another user's connection is refused; one whose client left before it was
// asked about is closed, as there is nobody to answer. True for both.
bool HookServer::Connections::turnAway(int fd, const PeerOwner::Result& owner) {
    if (owner.kind == PeerOwner::Result::Kind::gone) {
        server_.logOnce(server_.loggedGonePeer_,
                        "hook server: closed a connection whose client had left before its user was known");
        return true;
    }
    if (owner.kind != PeerOwner::Result::Kind::user || owner.uid == ::geteuid()) return false;
    server_.logOnce(server_.loggedForeignPeer_, "hook server: refused a connection from user " + std::to_string(owner.uid));
    refuse(fd);
    return true;
}

void HookServer::Connections::askAgain(uint64_t id, Connection& connection, PeerOwner::Clock::time_point asked) {
    const PeerOwner::Result owner = server_.options_.peerOwner(connection.peer, server_.address_, asked);
    if (owner.kind == PeerOwner::Result::Kind::unreadable) return askAgainLater(id, connection);
    if (turnAway(connection.fd, owner)) return close(id);
    startReading(id, connection);
}

void HookServer::Connections::startReading(uint64_t id, Connection& connection) {
    connection.phase = Connection::Phase::reading;
    // curl sends at once: the request is often in already, and then epoll
    // never needs to know the connection.
    read(id, connection);
    auto found = open_.find(id);
    if (found != open_.end() && found->second.phase == Connection::Phase::reading) watch(id, found->second, EPOLLIN);
}

void HookServer::Connections::askAgainLater(uint64_t id, Connection& connection) {
    ownerRetries_.emplace(now() + connection.ownerRetry, id);
    connection.ownerRetry = std::min(connection.ownerRetry * 2, longestOwnerRetry);
}

// Another user's connection takes no slot: its answer is sent if the socket
// takes it at once. What it sent is read first, so that the close that
// follows does not reset the connection over its answer.
void HookServer::Connections::refuse(int fd) {
    const std::string forbidden = HookRequest::statusReply("403 Forbidden");
    (void)!::send(fd, forbidden.data(), forbidden.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    (void)!::recv(fd, chunk_.data(), chunk_.size(), MSG_DONTWAIT);
}

void HookServer::Connections::closeIdlest() {
    if (!idlest_.empty()) abandon(idlest_.front());
}

// Closes an unanswered connection with a reset: a plain close would leave the
// connection waiting out TIME_WAIT in the socket table, which a flood of them
// would grow by thousands a second.
void HookServer::Connections::abandon(uint64_t id) {
    auto found = open_.find(id);
    if (found == open_.end()) return;
    const linger reset{1, 0};
    ::setsockopt(found->second.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(id);
}

void HookServer::Connections::handle(uint64_t id) {
    auto found = open_.find(id);
    if (found == open_.end()) return;
    switch (found->second.phase) {
        case Connection::Phase::checking: return;
        case Connection::Phase::reading: return read(id, found->second);
        case Connection::Phase::writing: return write(id, found->second);
        case Connection::Phase::draining: return drain(id, found->second);
    }
}

void HookServer::Connections::read(uint64_t id, Connection& connection) {
    const auto tooLarge = [&] {
        server_.logOnce(server_.loggedTooLarge_, "hook server: refused a request past its size limit (413)");
        answer(id, connection, HookRequest::statusReply("413 Payload Too Large"));
    };
    for (int turn = 0; turn < readsPerTurn; ++turn) {
        size_t wanted = readLimit;
        if (connection.headEnd != std::string::npos)
            wanted = std::min<uint64_t>(wanted, connection.declared - connection.bodyRead);
        const ssize_t n = ::recv(connection.fd, chunk_.data(), wanted, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // An error, or the peer finished before the request was whole: no answer.
        if (n <= 0) return close(id);
        // Not idle any more: the last to make room.
        idlest_.splice(idlest_.end(), idlest_, connection.place);
        const std::string_view piece(chunk_.data(), static_cast<size_t>(n));
        if (connection.headEnd != std::string::npos) {
            if (!takeBody(connection, piece)) return tooLarge();
        } else {
            const size_t before = connection.buffer.size();
            connection.buffer.append(piece);
            if (!readHead(connection, before >= 3 ? before - 3 : 0)) {
                if (connection.buffer.size() > HookRequest::headLimit + 3) return tooLarge();
                continue;
            }
            if (connection.headEnd > HookRequest::headLimit) return tooLarge();
            // What came after the head is the body's start.
            const std::string rest = connection.buffer.substr(connection.headEnd + 4);
            connection.buffer.resize(connection.headEnd + 4);
            if (!takeBody(connection, rest)) return tooLarge();
            // The body is welcome: a client that waits to be told so is told at once, where the
            // socket takes the line now (else it sends after its own wait, as it would anyway).
            if (connection.bodyRead < connection.declared && connection.headIsText &&
                HookRequest::expectsContinue(std::string_view(connection.buffer.data(), connection.headEnd)))
                (void)!::send(connection.fd, HookRequest::continueReply.data(), HookRequest::continueReply.size(),
                              MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (connection.bodyRead == connection.declared) return complete(id, connection);
    }
}

// Finds the end of the head; reads the declared body length from it, and refuses one past the
// request's limit.
bool HookServer::Connections::readHead(Connection& connection, size_t searchFrom) {
    const size_t end = connection.buffer.find("\r\n\r\n", searchFrom);
    if (end == std::string::npos) return false;
    connection.headEnd = end;
    const std::string_view head(connection.buffer.data(), end);
    connection.headIsText = vantel::isValidUtf8(head);
    connection.declared = HookRequest::contentLength(connection.headIsText ? head : std::string_view());
    if (connection.headIsText && HookRequest::isHookEvent(head)) {
        connection.hookBody = std::make_unique<HookBody>();
        // The usual body whole, without copies as it grows; a larger one grows past it.
        connection.hookBody->reserve(std::min<uint64_t>(connection.declared, hookBodyReserve));
    }
    return true;
}

// The body's next bytes, those past the declared length dropped. False when what is kept of it
// passes the limit: the whole of a body; the kept form of a hook event's, which only what is no
// JSON comes to.
bool HookServer::Connections::takeBody(Connection& connection, std::string_view bytes) {
    const uint64_t limit = connection.hookBody ? HookRequest::hookBodyLimit : HookRequest::bodyLimit;
    if (connection.declared > limit) return false;
    bytes = bytes.substr(0, connection.declared - connection.bodyRead);
    connection.bodyRead += bytes.size();
    if (!connection.hookBody) {
        connection.buffer.append(bytes);
        return true;
    }
    connection.hookBody->append(bytes);
    return connection.hookBody->kept().size() <= HookBody::keptBound;
}

void HookServer::Connections::complete(uint64_t id, Connection& connection) {
    const std::string_view head(connection.buffer.data(), connection.headIsText ? connection.headEnd : 0);
    const std::string_view body = connection.hookBody
                                      ? std::string_view(connection.hookBody->kept())
                                      : std::string_view(connection.buffer).substr(connection.headEnd + 4);
    const std::shared_ptr<const HookSnapshot> snapshot = server_.snapshot();
    HookRequest::Answer result = HookRequest::answer(head, body, server_.port_, snapshot.get());
    if (!result.log.empty()) Log::write(result.log);
    if (result.fromWebPage) server_.logOnce(server_.loggedWebPage_, "hook server: refused a request from a web page");
    if (result.numberOutOfRange) {
        server_.logOnce(server_.loggedOutOfRange_, "hook server: refused a body with a number out of range (400)");
    }
    // Queued before the answer goes out, and never waited for.
    if (result.route) server_.deliver(std::move(*result.route));
    answer(id, connection, std::move(result.response));
}

void HookServer::Connections::answer(uint64_t id, Connection& connection, std::string response) {
    idlest_.erase(connection.place);
    connection.phase = Connection::Phase::writing;
    std::string().swap(connection.buffer);
    connection.hookBody.reset();
    connection.out = std::move(response);
    connection.sent = 0;
    write(id, connection);
}

void HookServer::Connections::write(uint64_t id, Connection& connection) {
    while (connection.sent < connection.out.size()) {
        const ssize_t n = ::send(connection.fd, connection.out.data() + connection.sent,
                                 connection.out.size() - connection.sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return watch(id, connection, EPOLLOUT);
        if (n < 0) return close(id);
        connection.sent += static_cast<size_t>(n);
    }
    // Closing with unread bytes would reset the connection and could take the
    // answer with it; closing first, even with none, gave clients rare stalls
    // of a retransmission. The peer gets our end first, and a moment to finish.
    ::shutdown(connection.fd, SHUT_WR);
    std::string().swap(connection.out);
    connection.phase = Connection::Phase::draining;
    connection.deadline = now() + lingerTime;
    lingerDeadlines_.emplace_back(connection.deadline, id);
    watch(id, connection, EPOLLIN);
}

void HookServer::Connections::drain(uint64_t id, Connection& connection) {
    for (int turn = 0; turn < readsPerTurn; ++turn) {
        const ssize_t n = ::recv(connection.fd, chunk_.data(), chunk_.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) return close(id);
    }
}

void HookServer::Connections::close(uint64_t id) {
    auto found = open_.find(id);
    if (found == open_.end()) return;
    const Connection::Phase phase = found->second.phase;
    if (phase == Connection::Phase::checking || phase == Connection::Phase::reading) idlest_.erase(found->second.place);
    ::close(found->second.fd);
    open_.erase(found);
    if (!listening_ && !resumeListeningAt_) listen(true);
}

void HookServer::Connections::expire() {
    const TimePoint current = now();
    // One moment for every question asked again now: a table read for the
    // first covers the others.
    const PeerOwner::Clock::time_point asked = PeerOwner::Clock::now();
    while (!ownerRetries_.empty() && ownerRetries_.begin()->first <= current) {
        const uint64_t id = ownerRetries_.begin()->second;
        ownerRetries_.erase(ownerRetries_.begin());
        auto found = open_.find(id);
        if (found != open_.end() && found->second.phase == Connection::Phase::checking) askAgain(id, found->second, asked);
    }
    for (auto* deadlines : {&requestDeadlines_, &lingerDeadlines_}) {
        while (!deadlines->empty() && deadlines->front().first <= current) {
            const uint64_t id = deadlines->front().second;
            deadlines->pop_front();
            auto found = open_.find(id);
            if (found == open_.end() || found->second.deadline > current) continue;
            switch (found->second.phase) {
                case Connection::Phase::checking:
                    // Asked about until its time was up, and never known.
                    server_.logOnce(server_.loggedUnknownPeer_, "hook server: refused a connection from an unknown user");
                    refuse(found->second.fd);
                    close(id);
                    break;
                case Connection::Phase::reading: abandon(id); break;
                // Answered: a reset could overtake the answer.
                case Connection::Phase::writing:
                case Connection::Phase::draining: close(id); break;
            }
        }
    }
    if (resumeListeningAt_ && *resumeListeningAt_ <= current) {
        resumeListeningAt_.reset();
        listen(true);
    }
}

int HookServer::Connections::waitMs() const {
    std::optional<TimePoint> next = resumeListeningAt_;
    if (!ownerRetries_.empty() && (!next || ownerRetries_.begin()->first < *next)) next = ownerRetries_.begin()->first;
    for (const auto* deadlines : {&requestDeadlines_, &lingerDeadlines_}) {
        if (!deadlines->empty() && (!next || deadlines->front().first < *next)) next = deadlines->front().first;
    }
    if (!next) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, longestWaitMs));
}

// --- The server ------------------------------------------------------------------------------

HookServer::HookServer() : HookServer(Options{}) {}

HookServer::HookServer(Options options)
    : options_(std::move(options)), loop_(options_.loop ? *options_.loop : platform::runtime::MainLoop::main()) {}

HookServer::~HookServer() {
    if (thread_.joinable()) {
        thread_.request_stop();
        const uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (listener_ >= 0) ::close(listener_);
    if (wake_ >= 0) ::close(wake_);
    alive_.reset();
}

void HookServer::start() {
    if (listener_ >= 0 || thread_.joinable()) return;
    for (int candidate = options_.firstPort; candidate <= options_.lastPort; ++candidate) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(candidate));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        // The socket that was bound is the one that listens: no window in
        // which another program could take the port.
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, SOMAXCONN) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            listener_ = fd;
            break;
        }
        ::close(fd);
    }
    if (listener_ >= 0) wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (listener_ < 0 || wake_ < 0) {
        if (listener_ >= 0) ::close(std::exchange(listener_, -1));
        Log::write("hook server: no free port in " + std::to_string(options_.firstPort) + "..." +
                   std::to_string(options_.lastPort) + ", tiles will not show status");
        return;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    address_ = address;
    if (!options_.peerOwner) {
        // Decides, with the listener there, how peers will be looked up.
        options_.peerOwner = [owners = std::make_shared<PeerOwner>(address_)](
                                 const sockaddr_in& peer, const sockaddr_in& local, PeerOwner::Clock::time_point accepted) {
            return owners->check(peer, local, accepted);
        };
    }
    // Each connection costs a descriptor: half of them are left to the rest of the program.
    limit_ = std::max<size_t>(options_.connectionLimit, 1);
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur != RLIM_INFINITY)
        limit_ = std::clamp<size_t>(descriptors.rlim_cur / 2, 1, limit_);
    thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    Log::write("hook server on 127.0.0.1:" + std::to_string(port_));
}

void HookServer::serve(std::stop_token stop) {
    ::pthread_setname_np(::pthread_self(), "hook server");
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = wakeTag;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake_, &event);
    event.data.u64 = listenerTag;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, listener_, &event);
    {
        Connections connections(*this, epoll);
        std::array<epoll_event, 64> ready;
        while (!stop.stop_requested()) {
            const int count = ::epoll_wait(epoll, ready.data(), static_cast<int>(ready.size()), connections.waitMs());
            for (int i = 0; i < count; ++i) {
                const uint64_t tag = ready[static_cast<size_t>(i)].data.u64;
                if (tag == wakeTag) {
                    uint64_t ignored;
                    (void)!::read(wake_, &ignored, sizeof ignored);
                } else if (tag == listenerTag) {
                    connections.acceptAll();
                } else {
                    connections.handle(tag);
                }
            }
            connections.expire();
        }
    }
    ::close(epoll);
}

void HookServer::publish(HookSnapshot snapshot) {
    auto published = std::make_shared<const HookSnapshot>(std::move(snapshot));
    std::lock_guard lock(snapshotMutex_);
    snapshot_.swap(published);
}

std::shared_ptr<const HookSnapshot> HookServer::snapshot() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void HookServer::logOnce(std::atomic<bool>& logged, const std::string& line) {
    if (!logged.exchange(true)) Log::write(line);
}

void HookServer::deliver(HookRequest::Route route) {
    loop_.post([this, alive = std::weak_ptr<int>(alive_), route = std::move(route)] {
        if (alive.expired()) return;
        switch (route.kind) {
            case HookRequest::Kind::hook:
                if (onHook) onHook(route.tileId, route.detail, HookRequest::dictionary(route.body));
                break;
            case HookRequest::Kind::rename:
                if (!onRename) break;
                if (std::optional<std::string> title = HookRequest::renameTitle(route.body)) onRename(route.tileId, *title);
                break;
            case HookRequest::Kind::metrics:
                if (onMetrics) onMetrics(route.tileId, HookRequest::dictionary(route.body));
                break;
            case HookRequest::Kind::feed:
                if (onFeed) onFeed(route.tileId, HookRequest::dictionary(route.body));
                break;
        }
    });
}

}  // namespace quiltdeck
