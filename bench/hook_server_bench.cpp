// Posts to the hook server the way the tiles' hook commands do: one
// connection per post with curl's head, many clients at once, while idle
// connections sit open beside them. Prints posts per second, the latency from
// connect to the last byte of the answer (p50, p99, maximum), and whether
// every post reached its closure on the main loop, in each client's order.
//
//   hook_server_bench [clients] [posts] [idle]     (64 1000 100)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "quiltdeck/sessions/HookServer.h"

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
std::string hookBody(int client, int seq, size_t size) {
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
    body["tool_response"] = {{"stdout", std::string(size > used ? size - used : 0, 'x')}, {"stderr", ""}};
    return body.dump();
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
};

}  // namespace

int main(int argc, char** argv) {
    const int clients = argc > 1 ? std::atoi(argv[1]) : 64;
    const int posts = argc > 2 ? std::atoi(argv[2]) : 1000;
    const size_t idleCount = argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 100;

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    HookServer server({0, 0, &loop, {}});
    server.start();
    if (server.port() == 0) return std::puts("hook_server_bench: the server found no port"), 1;
    quiltdeck::HookSnapshot snapshot;
    for (int client = 0; client < clients; ++client) snapshot.tileIds.insert(tileId(client));
    server.publish(snapshot);

    std::vector<int> nextSeq(static_cast<size_t>(clients), 0);
    size_t delivered = 0, outOfOrder = 0;
    server.onHook = [&](const std::string& id, const std::string&, const nlohmann::json& body) {
        const int client = std::atoi(id.c_str() + 1);
        const int seq = body.value("seq", -1);
        if (client < 0 || client >= clients || seq != nextSeq[static_cast<size_t>(client)]) ++outOfOrder;
        if (client >= 0 && client < clients) nextSeq[static_cast<size_t>(client)] = seq + 1;
        ++delivered;
    };

    IdleConnections idle(server.port(), idleCount);
    std::printf("hook_server_bench: %d clients, one connection per post, %zu idle connections open\n", clients,
                idleCount);
    int seqBase = 0;
    for (const Round& round : {Round{"typical", posts, 600}, Round{"64 KiB", std::max(1, posts / 50), 65536}}) {
        std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
        std::atomic<int> failed = 0, finished = 0;
        const size_t expected = delivered + static_cast<size_t>(clients) * static_cast<size_t>(round.posts);
        // The requests are made before the clock starts, as curl has its file.
        std::vector<std::vector<std::string>> requests(static_cast<size_t>(clients));
        for (int client = 0; client < clients; ++client) {
            for (int i = 0; i < round.posts; ++i)
                requests[static_cast<size_t>(client)].push_back(
                    request(server.port(), client, hookBody(client, seqBase + i, round.bodySize)));
        }
        std::vector<std::thread> threads;
        const auto start = Clock::now();
        const double serverStart = threadSeconds("hook server"), processStart = processSeconds();
        for (int client = 0; client < clients; ++client) {
            threads.emplace_back([&, client] {
                for (const std::string& text : requests[static_cast<size_t>(client)]) {
                    const double micros = post(server.port(), text);
                    if (micros < 0) ++failed;
                    else latencies[static_cast<size_t>(client)].push_back(micros);
                }
                ++finished;
            });
        }
        loop.runUntil([&] { return finished == clients && delivered >= expected; }, std::chrono::minutes(5));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double serverSeconds = threadSeconds("hook server") - serverStart;
        const double cores = (processSeconds() - processStart) / seconds;
        for (auto& thread : threads) thread.join();
        seqBase += round.posts;

        std::vector<double> all;
        for (const auto& each : latencies) all.insert(all.end(), each.begin(), each.end());
        std::sort(all.begin(), all.end());
        auto at = [&](double q) { return all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(q * all.size()))] / 1000; };
        std::printf("  %-7s x %d posts of %zu bytes: %.0f posts/s  p50 %.2f ms  p99 %.2f ms  max %.2f ms  failed %d\n",
                    round.name, round.posts, hookBody(0, 0, round.bodySize).size(), double(all.size()) / seconds, at(0.5),
                    at(0.99), all.empty() ? 0.0 : all.back() / 1000, failed.load());
        std::printf("          server thread %.1f us of CPU per post, the process ran on %.2f cores on average\n",
                    serverSeconds * 1e6 / double(std::max<size_t>(all.size(), 1)), cores);
        std::printf("          closure calls %zu of %zu, out of per-client order %zu\n", delivered, expected, outOfOrder);
    }
    return outOfOrder == 0 ? 0 : 1;
}
