#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <thread>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/HookRequest.h"
#include "quiltdeck/sessions/HookSnapshot.h"
#include "quiltdeck/sessions/PeerOwner.h"

namespace quiltdeck {

// The loopback HTTP/1.1 server through which the tiles' assistants talk back:
// hook events (/hook/<tile>/<event>), renames, live numbers, headline feeds,
// and the browser name card (/identify?id=<device>). One per program, owned
// by the wall.
//
// One thread of its own serves every connection: one request each, answered
// and closed. Only peers of this user are served: another user's connection is
// answered 403 and closed at accept, holding no slot; a peer whose owner cannot
// be read yet is asked about again until its request deadline. Pages in a web
// browser are refused. A request has a few seconds to arrive whole; at the
// connection limit the connection idle the longest makes room for a new one, so
// neither slow nor idle connections keep a post waiting. The thread never waits
// for the main loop: it checks tile ids and browser labels against the snapshot
// the owner publishes, and hands each routed request to the main loop in
// routing order, answering at once. A hook event's body is kept small as it
// comes (HookBody): a pasted prompt of megabytes arrives as its head, and costs
// a connection no more memory than a small one.
class HookServer {
public:
    static constexpr uint16_t firstPort = 7790;
    static constexpr uint16_t lastPort = 7820;
    static constexpr size_t readLimit = 65536;
    // What a hook event's kept form is given room for at once.
    static constexpr size_t hookBodyReserve = 128 * 1024;
    // Open connections at most; start() lowers it to half the descriptors the
    // process may open.
    static constexpr size_t connectionLimit = 8192;
    // A request not in whole by then is closed without an answer. The hook
    // commands give up after two seconds and send at once.
    static constexpr platform::runtime::Duration requestDeadline = std::chrono::seconds(3);
    // How long an answered connection may take to close its side.
    static constexpr platform::runtime::Duration lingerTime = std::chrono::seconds(2);

    // Who holds the peer's socket; `accepted` is when the connection was taken
    // from the listener. Called on the server's thread only.
    using PeerLookup = std::function<PeerOwner::Result(const sockaddr_in& peer, const sockaddr_in& local,
                                                       PeerOwner::Clock::time_point accepted)>;

    struct Options {
        // Ports tried in order; a range of 0 takes any free port (tests, benchmarks).
        uint16_t firstPort = HookServer::firstPort;
        uint16_t lastPort = HookServer::lastPort;
        // Where the closures run, and whose clock the deadlines follow; the
        // program's loop when none.
        platform::runtime::MainLoop* loop = nullptr;
        // A PeerOwner's lookup when none.
        PeerLookup peerOwner;
        size_t connectionLimit = HookServer::connectionLimit;
    };

    HookServer();
    explicit HookServer(Options options);
    // Ends the thread and every connection; closures still queued do nothing.
    // On the main thread.
    ~HookServer();
    HookServer(const HookServer&) = delete;
    HookServer& operator=(const HookServer&) = delete;

    // Listens on the first port that works and logs the outcome. Once.
    void start();
    // 0 until start() succeeds, and for good when no port was free.
    uint16_t port() const { return port_; }
    // The connection limit in force; set by start().
    size_t connectionCap() const { return limit_; }

    // Any thread; from now on tile ids and browser labels are taken from it.
    // Until the first one, no tile check is made.
    void publish(HookSnapshot snapshot);
    // The last one published; null before the first. Any thread.
    std::shared_ptr<const HookSnapshot> snapshot() const;

    // Set by the owner and run on the main loop, each read when its request
    // comes to run. The body is the request's JSON object, else empty; it is
    // parsed there, so that a large one holds up no answer.
    std::function<void(const std::string& tileId, const std::string& event, const nlohmann::json& body)> onHook;
    std::function<void(const std::string& tileId, const std::string& title)> onRename;
    std::function<void(const std::string& tileId, const nlohmann::json& body)> onMetrics;
    std::function<void(const std::string& tileId, const nlohmann::json& body)> onFeed;

private:
    struct Connection;
    class Connections;

    void serve(std::stop_token stop);
    // On the server's thread: queues the route's closure on the main loop.
    void deliver(HookRequest::Route route);
    void logOnce(std::atomic<bool>& logged, const std::string& line);

    Options options_;
    platform::runtime::MainLoop& loop_;
    uint16_t port_ = 0;
    size_t limit_ = 0;
    sockaddr_in address_{};  // what the listener is bound to: every connection's local end
    int listener_ = -1;
    mutable std::mutex snapshotMutex_;
    std::shared_ptr<const HookSnapshot> snapshot_;
    std::atomic<bool> loggedForeignPeer_{false};
    std::atomic<bool> loggedUnknownPeer_{false};
    std::atomic<bool> loggedGonePeer_{false};
    std::atomic<bool> loggedWebPage_{false};
    std::atomic<bool> loggedOutOfRange_{false};
    std::atomic<bool> loggedTooLarge_{false};
    // Queued closures check it on the main thread, where it is reset.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    int wake_ = -1;
    std::jthread thread_;
};

}  // namespace quiltdeck
