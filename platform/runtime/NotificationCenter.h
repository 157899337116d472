#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform::runtime {

class MainLoop;

struct Notification {
    std::string name;
    // What the poster hands along; empty for most notifications.
    std::any object;
};

// Named notifications, always delivered on a main loop, to the observers of that
// name in the order they subscribed. Posting and subscribing are safe from any
// thread. Observers subscribed when a notification is delivered get it; one
// whose subscription ends before its turn (even inside another observer's
// callback) does not.
class NotificationCenter {
    struct Observer;
    struct Registry;

public:
    // A live observation; ending or destroying it unsubscribes. May outlive the
    // centre. Destroyed on the loop's thread, its callback never runs again;
    // from another thread, a call already running may still finish.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription() { cancel(); }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

        void cancel();
        bool active() const;

    private:
        friend class NotificationCenter;
        explicit Subscription(std::shared_ptr<Observer> observer) : observer_(std::move(observer)) {}
        std::shared_ptr<Observer> observer_;
    };

    // A null loop means the program's loop (MainLoop::main()) at each post.
    explicit NotificationCenter(MainLoop* loop = nullptr);
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The program's centre.
    static NotificationCenter& defaultCenter();

    [[nodiscard]] Subscription subscribe(std::string name, std::function<void(const Notification&)> callback);
    // Queues the notification on the loop and returns at once.
    void post(std::string name, std::any object = {});

    size_t observerCount(std::string_view name) const;

private:
    MainLoop* loop_;
    std::shared_ptr<Registry> registry_;
};

}  // namespace platform::runtime
