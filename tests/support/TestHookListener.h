#pragma once

// A loopback HTTP listener for tests of the hook commands: it records each
// request's method, path and body and answers "{}". While held, answers wait
// and the listener notes connections that the client gave up on.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quiltdeck::testing {

class TestHookListener {
public:
    struct Request {
        std::string method;
        std::string path;
        std::string body;
    };

    TestHookListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 64) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~TestHookListener() {
        stopping_ = true;
        release();
        if (acceptor_.joinable()) acceptor_.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard lock(mutex_);
            connections.swap(connections_);
        }
        for (auto& connection : connections) connection.join();
        if (fd_ >= 0) ::close(fd_);
    }

    TestHookListener(const TestHookListener&) = delete;
    TestHookListener& operator=(const TestHookListener&) = delete;

    uint16_t port() const { return port_; }

    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }

    std::vector<Request> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Connections closed by the client before they were answered.
    size_t abandoned() {
        std::lock_guard lock(mutex_);
        return abandoned_;
    }
    bool waitForRequests(size_t count, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
    }

private:
    void acceptLoop() {
        while (!stopping_) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0) continue;
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            std::lock_guard lock(mutex_);
            connections_.emplace_back([this, client] { serve(client); });
        }
    }

    void serve(int client) {
        std::string data;
        char chunk[4096];
        size_t headerEnd = std::string::npos, bodyLength = 0;
        while (data.size() < (1u << 20)) {
            if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + bodyLength) break;
            pollfd entry{client, POLLIN, 0};
            if (::poll(&entry, 1, 10000) <= 0) break;
            const ssize_t n = ::read(client, chunk, sizeof chunk);
            if (n <= 0) break;
            data.append(chunk, static_cast<size_t>(n));
            if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
                const auto at = data.find("ontent-Length:");
                if (at != std::string::npos && at < headerEnd) bodyLength = std::strtoul(data.c_str() + at + 14, nullptr, 10);
            }
        }
        if (headerEnd != std::string::npos) {
            const auto firstSpace = data.find(' '), secondSpace = data.find(' ', firstSpace + 1);
            std::lock_guard lock(mutex_);
            requests_.push_back({data.substr(0, firstSpace), data.substr(firstSpace + 1, secondSpace - firstSpace - 1),
                                 data.substr(headerEnd + 4, bodyLength)});
            changed_.notify_all();
        }
        if (waitWhileHeld(client)) {
            static constexpr char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
            (void)!::write(client, answer, sizeof answer - 1);
        }
        ::close(client);
    }

    // False when the client closed the connection while the answer was held.
    bool waitWhileHeld(int client) {
        std::unique_lock lock(mutex_);
        while (held_ && !stopping_) {
            changed_.wait_for(lock, std::chrono::milliseconds(10));
            pollfd entry{client, POLLRDHUP, 0};
            if (::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
                ++abandoned_;
                return false;
            }
        }
        return true;
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> connections_;
    std::vector<Request> requests_;
    size_t abandoned_ = 0;
    bool held_ = false;
};

}  // namespace quiltdeck::testing
