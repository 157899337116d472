// Posts to the hook server the way the tiles' hook commands do: one
// connection per post with curl's head, many clients at once, while idle
// connections sit open beside them. Prints posts per second, the latency from
// connect to the last byte of the answer (p50, p99, maximum), and whether
// every post reached its closure on the main loop, in each client's order.
//
// The flood mode holds idle connections that never send and slow ones that
// send a head a byte at a time, each reopened as soon as the server closes
// it, and posts beside them at a steady pace from a few clients: the latency
// of those posts, how many were answered and delivered, and what the flood
// cost the server.
//
//   hook_server_bench [clients] [posts] [idle]             (64 1000 100)
//   hook_server_bench flood [idle] [slow] [clients] [posts] [diagnostics|table] [limit]
//                                                  (5000 300 4 100 diagnostics 8192)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/runtime/DescriptorLimit.h"
#include "platform/runtime/GLibMainLoop.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/shell/Log.h"

namespace {

using Clock = std::chrono::steady_clock;
using quiltdeck::HookServer;

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// A hook event as the assistant hands it over, padded to about `size` bytes.
// What fills a body's output: plain text, a line break every 20 bytes (a build log), or an
// escaped accent every character (JSON.stringify's \u00e9 of text outside ASCII).
enum class Filler { plain, lines, escapes };

std::string hookBody(int client, int seq, size_t size, Filler filler = Filler::plain) {
    nlohmann::json body = {
        {"session_id", "1baaa122-a2f5-494e-ae27-d88b7f95b63b"},
        {"transcript_path", "/home/user/.claude/projects/-home-user-project/1baaa122-a2f5-494e-ae27-d88b7f95b63b.jsonl"},
        {"cwd", "/home/user/project"},
        {"hook_event_name", "PostToolUse"},
        {"tool_name", "Bash"},
        {"tool_input", {{"command", "ls -la src"}, {"description", "List the source files"}}},
        {"client", client},
        {"seq", seq}};
    const size_t used = body.dump().size() + 40;
    const size_t room = size > used ? size - used : 0;
    std::string out;
    switch (filler) {
        case Filler::plain: out.assign(room, 'x'); break;
        case Filler::lines:
            // 19 letters and \n: 21 bytes of JSON.
            for (size_t i = 0; i < room / 21; ++i) out.append(19, 'x').push_back('\n');
            break;
        case Filler::escapes:
            // Each \u00e9 is six bytes of JSON.
            for (size_t i = 0; i < room / 6; ++i) out.append("\xc3\xa9");
            break;
    }
    body["tool_response"] = {{"stdout", std::move(out)}, {"stderr", ""}};
    return body.dump(-1, ' ', filler == Filler::escapes);
}

std::string tileId(int client) {
    std::string id(1, 'T');
    return id += std::to_string(client);
}

std::string request(uint16_t port, int client, const std::string& body) {
    std::string text = "POST /hook/";
    text += tileId(client) + "/PostToolUse HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\ncontent-type: application/json\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body;
    return text;
}

// One post; the latency in microseconds, or -1 when it was not answered 200.
double post(uint16_t port, const std::string& text) {
    const auto start = Clock::now();
    const int fd = connectTo(port);
    if (fd < 0) return -1;
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) answer.append(chunk, static_cast<size_t>(n));
    const auto end = Clock::now();
    ::close(fd);
    if (!answer.starts_with("HTTP/1.1 200 OK\r\n")) return -1;
    return std::chrono::duration<double, std::micro>(end - start).count();
}

// Keeps `count` connections open that never send, reopening those the server
// closes at its deadline.
class IdleConnections {
public:
    IdleConnections(uint16_t port, size_t count) : port_(port) {
        for (size_t i = 0; i < count; ++i) fds_.push_back(connectTo(port));
        thread_ = std::thread([this] { keep(); });
    }
    ~IdleConnections() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_) ::close(fd);
    }

private:
    void keep() {
        std::vector<pollfd> entries(fds_.size());
        while (!stop_) {
            for (size_t i = 0; i < fds_.size(); ++i) entries[i] = {fds_[i], POLLIN, 0};
            if (::poll(entries.data(), entries.size(), 50) <= 0) continue;
            for (size_t i = 0; i < fds_.size(); ++i) {
                if (!entries[i].revents) continue;
                ::close(fds_[i]);
                fds_[i] = connectTo(port_);
            }
        }
    }

    uint16_t port_;
    std::vector<int> fds_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// CPU seconds of the thread named `name`, from /proc.
double threadSeconds(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (!std::getline(comm, line) || line != name) continue;
        std::ifstream stat(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long user = 0, system = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) user = std::stoull(field);
            if (i == 15) system = std::stoull(field);
        }
        return double(user + system) / double(::sysconf(_SC_CLK_TCK));
    }
    return 0;
}

// CPU seconds of the whole process so far.
double processSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Round {
    const char* name;
    int posts;
    size_t bodySize;
    Filler filler = Filler::plain;
    // How many of the clients post in it (0: all).
    int clients = 0;
};

// Starts the server with a tile for each client; false when it found no port.
bool start(HookServer& server, int clients) {
    server.start();
    if (server.port() == 0) return std::puts("hook_server_bench: the server found no port"), false;
    quiltdeck::HookSnapshot snapshot;
    for (int client = 0; client < clients; ++client) snapshot.tileIds.insert(tileId(client));
    server.publish(snapshot);
    return true;
}

// The hook closures run on the main loop, and how many of them came out of
// their client's order (each client numbers its posts from 0).
struct Deliveries {
    Deliveries(HookServer& server, int clients) : nextSeq(static_cast<size_t>(clients), 0) {
        server.onHook = [this, clients](const std::string& id, const std::string&, const nlohmann::json& body) {
            const int client = std::atoi(id.c_str() + 1);
            const int seq = body.value("seq", -1);
            if (client < 0 || client >= clients || seq != nextSeq[static_cast<size_t>(client)]) ++outOfOrder;
            if (client >= 0 && client < clients) nextSeq[static_cast<size_t>(client)] = seq + 1;
            ++count;
        };
    }
    std::vector<int> nextSeq;
    size_t count = 0, outOfOrder = 0;
};

// Begun without waiting: with the server's backlog full a blocking connect
// would wait for the handshake's retransmissions.
int startConnect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EINPROGRESS))
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// How one post ended, and when.
struct Outcome {
    enum Kind { answered, refused, unanswered } kind;
    double micros;
};

// One post given up after `limit`, as a client's own time limit would.
Outcome postWithin(uint16_t port, const std::string& text, std::chrono::milliseconds limit) {
    const auto start = Clock::now(), deadline = start + limit;
    auto left = [&] {
        return static_cast<int>(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    };
    const int fd = startConnect(port);
    std::string answer;
    pollfd entry{fd, POLLOUT, 0};
    if (fd >= 0 && ::poll(&entry, 1, left()) == 1 && !(entry.revents & (POLLERR | POLLHUP)) &&
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        char chunk[4096];
        for (entry = {fd, POLLIN, 0}; ::poll(&entry, 1, left()) == 1;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) break;
            answer.append(chunk, static_cast<size_t>(n));
        }
    }
    const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (fd >= 0) ::close(fd);
    if (Clock::now() >= deadline || answer.empty()) return {Outcome::unanswered, micros};
    return {answer.starts_with("HTTP/1.1 200 OK\r\n") ? Outcome::answered : Outcome::refused, micros};
}

// Holds `idle` connections that never send and `slow` ones that send a head
// a byte per `pace` each, a head that never ends; each connection the server
// closes is opened again at once. One thread, one epoll set.
class Flood {
public:
    Flood(uint16_t port, size_t idle, size_t slow, std::chrono::milliseconds pace)
        : port_(port), pace_(pace), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
        head_ = "POST /hook/T0/Stop HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nX-Slow: ";
        held_.resize(idle + slow);
        for (size_t i = 0; i < held_.size(); ++i) {
            held_[i].slow = i >= idle;
            open(i);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Flood() {
        stop_ = true;
        thread_.join();
        for (const Held& held : held_) ::close(held.fd);
        ::close(epoll_);
    }
    size_t closedIdle() const { return closedIdle_; }
    size_t closedSlow() const { return closedSlow_; }
    size_t bytesSent() const { return bytes_; }

private:
    struct Held {
        int fd = -1;
        bool slow = false;
        size_t sent = 0;
        Clock::time_point next;
    };

    void open(size_t index) {
        Held& held = held_[index];
        held.fd = startConnect(port_);
        held.sent = 0;
        held.next = Clock::now() + pace_;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = index;
        if (held.fd >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_ADD, held.fd, &event);
    }

    void run() {
        std::vector<epoll_event> ready(256);
        while (!stop_) {
            const int count = ::epoll_wait(epoll_, ready.data(), static_cast<int>(ready.size()), 10);
            for (int i = 0; i < count; ++i) {
                Held& held = held_[ready[static_cast<size_t>(i)].data.u64];
                ++(held.slow ? closedSlow_ : closedIdle_);
                ::close(held.fd);
                open(ready[static_cast<size_t>(i)].data.u64);
            }
            const auto now = Clock::now();
            for (size_t index = 0; index < held_.size(); ++index) {
                Held& held = held_[index];
                if (held.fd < 0) {
                    open(index);
                    continue;
                }
                if (!held.slow || held.next > now) continue;
                const char byte = held.sent < head_.size() ? head_[held.sent] : 'a';
                // Still connecting: tried again on the next round.
                if (::send(held.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) continue;
                ++held.sent;
                ++bytes_;
                held.next = now + pace_;
            }
        }
    }

    uint16_t port_;
    std::chrono::milliseconds pace_;
    int epoll_;
    std::string head_;
    std::vector<Held> held_;
    std::atomic<size_t> closedIdle_{0}, closedSlow_{0}, bytes_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int flood(int argc, char** argv) {
    const size_t idleCount = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 5000;
    const size_t slowCount = argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 300;
    const int clients = argc > 4 ? std::atoi(argv[4]) : 4;
    const int posts = argc > 5 ? std::atoi(argv[5]) : 100;
    // Owners read from the socket table, as on a kernel without socket diagnostics.
    const bool table = argc > 6 && std::string_view(argv[6]) == "table";
    constexpr auto postPace = std::chrono::milliseconds(100);
    constexpr auto postLimit = std::chrono::seconds(30);

    // The server's log lines go to a folder of the run's own.
    char folder[] = "/tmp/hook_server_bench.XXXXXX";
    if (!::mkdtemp(folder)) return std::puts("hook_server_bench: no temporary folder"), 1;
    ::setenv("QUILTDECK_STATE_DIR", folder, 1);
    // Each connection of the flood has both its ends in this process.
    const uint64_t descriptors = platform::runtime::raiseDescriptorLimit(UINT64_MAX);

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    HookServer::Options options{0, 0, &loop, {}};
    // A limit below the flood: each new connection closes the idlest, which is opened again at once.
    if (argc > 7) options.connectionLimit = static_cast<size_t>(std::atoi(argv[7]));
    if (table) {
        options.peerOwner = [owners = std::shared_ptr<quiltdeck::PeerOwner>()](
                                const sockaddr_in& peer, const sockaddr_in& local,
                                quiltdeck::PeerOwner::Clock::time_point accepted) mutable {
            if (!owners) owners = std::make_shared<quiltdeck::PeerOwner>(local, quiltdeck::PeerOwner::Source::tcpTable);
            return owners->check(peer, local, accepted);
        };
    }
    HookServer server(std::move(options));
    if (!start(server, clients)) return 1;
    Deliveries deliveries(server, clients);
    const size_t& delivered = deliveries.count;
    const size_t& outOfOrder = deliveries.outOfOrder;

    std::printf("hook_server_bench flood: %zu idle and %zu slow connections (a byte per 100 ms), reopened when closed;\n"
                "  %d clients post every %lld ms, %d posts each, given up after %lld s;\n"
                "  descriptor limit %llu, connection limit %zu, owners from %s\n",
                idleCount, slowCount, clients, static_cast<long long>(postPace.count()), posts,
                static_cast<long long>(postLimit.count()), static_cast<unsigned long long>(descriptors),
                server.connectionCap(), table ? "the socket table" : "socket diagnostics");
    Flood flood(server.port(), idleCount, slowCount, std::chrono::milliseconds(100));
    // The flood's connections are in (or waiting in the backlog) before the first post.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    std::vector<std::vector<Outcome>> outcomes(static_cast<size_t>(clients));
    std::atomic<int> finished = 0;
    const double serverStart = threadSeconds("hook server");
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            auto next = Clock::now() + postPace * client / clients;
            for (int i = 0; i < posts; ++i, next += postPace) {
                std::this_thread::sleep_until(next);
                outcomes[static_cast<size_t>(client)].push_back(
                    postWithin(server.port(), request(server.port(), client, hookBody(client, i, 600)), postLimit));
            }
            ++finished;
        });
    }
    loop.runUntil([&] { return finished == clients; }, std::chrono::minutes(60));
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double serverSeconds = threadSeconds("hook server") - serverStart;
    std::vector<double> latencies;
    size_t refused = 0, unanswered = 0;
    for (const auto& each : outcomes) {
        for (const Outcome& outcome : each) {
            if (outcome.kind == Outcome::answered) latencies.push_back(outcome.micros);
            else ++(outcome.kind == Outcome::refused ? refused : unanswered);
        }
    }
    loop.runUntil([&] { return delivered >= latencies.size(); }, std::chrono::seconds(5));
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies.empty() ? 0.0 : latencies[std::min(latencies.size() - 1, size_t(q * double(latencies.size())))] / 1000;
    };
    const size_t closedIdle = flood.closedIdle(), closedSlow = flood.closedSlow(), bytes = flood.bytesSent();
    std::printf("  posts: %zu answered 200, %zu refused, %zu unanswered; delivered %zu, out of order %zu\n",
                latencies.size(), refused, unanswered, delivered, outOfOrder);
    std::printf("  latency: p50 %.2f ms  p99 %.2f ms  max %.2f ms\n", at(0.5), at(0.99),
                latencies.empty() ? 0.0 : latencies.back() / 1000);
    std::printf("  in %.1f s the server closed %zu idle and %zu slow connections (%zu slow bytes sent);\n"
                "  server thread CPU %.2f s (%.0f %% of a core), socket tables read %llu\n",
                seconds, closedIdle, closedSlow, bytes, serverSeconds, 100 * serverSeconds / seconds,
                static_cast<unsigned long long>(quiltdeck::PeerOwner::tablesRead()));
    quiltdeck::Log::flush();
    std::ifstream log(std::filesystem::path(folder) / "log.txt");
    for (std::string line; std::getline(log, line);) {
        if (line.find("hook server:") != std::string::npos) std::printf("  log: %s\n", line.c_str());
    }
    std::filesystem::remove_all(folder);
    const bool whole = refused == 0 && unanswered == 0 && delivered == latencies.size() && outOfOrder == 0;
    return whole ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "flood") return flood(argc, argv);
    const int clients = argc > 1 ? std::atoi(argv[1]) : 64;
    const int posts = argc > 2 ? std::atoi(argv[2]) : 1000;
    const size_t idleCount = argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 100;

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    HookServer server({0, 0, &loop, {}});
    if (!start(server, clients)) return 1;
    Deliveries deliveries(server, clients);
    const size_t& delivered = deliveries.count;
    const size_t& outOfOrder = deliveries.outOfOrder;

    IdleConnections idle(server.port(), idleCount);
    std::printf("hook_server_bench: %d clients, one connection per post, %zu idle connections open\n", clients,
                idleCount);
    int seqBase = 0;
    // Then large bodies from a few clients, plain and dense with escapes: each string costs about
    // the same whatever its escapes.
    constexpr size_t large = size_t{4} << 20;
    const Round rounds[] = {
        {"typical", posts, 600},
        {"64 KiB", std::max(1, posts / 50), 65536},
        {"4 MiB plain", 2, large, Filler::plain, std::min(clients, 4)},
        {"4 MiB lines", 2, large, Filler::lines, std::min(clients, 4)},
        {"4 MiB \\u00e9", 2, large, Filler::escapes, std::min(clients, 4)},
    };
    for (const Round& round : rounds) {
        const int posting = round.clients > 0 ? round.clients : clients;
        std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
        std::atomic<int> failed = 0, finished = 0;
        const size_t expected = delivered + static_cast<size_t>(posting) * static_cast<size_t>(round.posts);
        // The requests are made before the clock starts, as curl has its file.
        std::vector<std::vector<std::string>> requests(static_cast<size_t>(clients));
        for (int client = 0; client < posting; ++client) {
            for (int i = 0; i < round.posts; ++i)
                requests[static_cast<size_t>(client)].push_back(
                    request(server.port(), client, hookBody(client, seqBase + i, round.bodySize, round.filler)));
        }
        std::vector<std::thread> threads;
        const auto start = Clock::now();
        const double serverStart = threadSeconds("hook server"), processStart = processSeconds();
        for (int client = 0; client < posting; ++client) {
            threads.emplace_back([&, client] {
                for (const std::string& text : requests[static_cast<size_t>(client)]) {
                    const double micros = post(server.port(), text);
                    if (micros < 0) ++failed;
                    else latencies[static_cast<size_t>(client)].push_back(micros);
                }
                ++finished;
            });
        }
        loop.runUntil([&] { return finished == posting && delivered >= expected; }, std::chrono::minutes(5));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double serverSeconds = threadSeconds("hook server") - serverStart;
        const double cores = (processSeconds() - processStart) / seconds;
        for (auto& thread : threads) thread.join();
        seqBase += round.posts;
        // Clients that did not post this round start the next where the others do.
        for (int client = posting; client < clients; ++client) deliveries.nextSeq[static_cast<size_t>(client)] = seqBase;

        std::vector<double> all;
        for (const auto& each : latencies) all.insert(all.end(), each.begin(), each.end());
        std::sort(all.begin(), all.end());
        auto at = [&](double q) { return all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(q * all.size()))] / 1000; };
        std::printf("  %-7s x %d posts of %zu bytes: %.0f posts/s  p50 %.2f ms  p99 %.2f ms  max %.2f ms  failed %d\n",
                    round.name, round.posts, hookBody(0, 0, round.bodySize, round.filler).size(), double(all.size()) / seconds, at(0.5),
                    at(0.99), all.empty() ? 0.0 : all.back() / 1000, failed.load());
        std::printf("          server thread %.1f us of CPU per post, the process ran on %.2f cores on average\n",
                    serverSeconds * 1e6 / double(std::max<size_t>(all.size(), 1)), cores);
        std::printf("          closure calls %zu of %zu, out of per-client order %zu\n", delivered, expected, outOfOrder);
    }
    return outOfOrder == 0 ? 0 : 1;
}
