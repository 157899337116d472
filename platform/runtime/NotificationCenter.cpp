#include "platform/runtime/NotificationCenter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

struct NotificationCenter::Registry {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Observer>> observers;  // in subscription order

    void remove(const Observer* observer) {
        std::lock_guard lock(mutex);
        std::erase_if(observers, [&](const auto& o) { return o.get() == observer; });
    }
};

struct NotificationCenter::Observer {
    std::string name;
    std::function<void(const Notification&)> callback;
    std::weak_ptr<Registry> registry;
    std::atomic<bool> active{true};
};

NotificationCenter::Subscription& NotificationCenter::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        cancel();
        observer_ = std::move(other.observer_);
    }
    return *this;
}

void NotificationCenter::Subscription::cancel() {
    if (!observer_) return;
    observer_->active.store(false);
    if (auto registry = observer_->registry.lock()) registry->remove(observer_.get());
    observer_.reset();
}

bool NotificationCenter::Subscription::active() const { return observer_ && observer_->active.load(); }

NotificationCenter::NotificationCenter(MainLoop* loop) : loop_(loop), registry_(std::make_shared<Registry>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: subscriptions held by other statics may end after it.
    static auto* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Subscription NotificationCenter::subscribe(std::string name,
                                                               std::function<void(const Notification&)> callback) {
    auto observer = std::make_shared<Observer>();
    observer->name = std::move(name);
    observer->callback = std::move(callback);
    observer->registry = registry_;
    {
        std::lock_guard lock(registry_->mutex);
        registry_->observers.push_back(observer);
    }
    return Subscription(std::move(observer));
}

void NotificationCenter::post(std::string name, std::any object) {
    MainLoop& loop = loop_ ? *loop_ : MainLoop::main();
    std::weak_ptr<Registry> weak = registry_;
    loop.post([weak, note = Notification{std::move(name), std::move(object)}] {
        auto registry = weak.lock();
        if (!registry) return;
        std::vector<std::shared_ptr<Observer>> targets;
        {
            std::lock_guard lock(registry->mutex);
            for (const auto& o : registry->observers)
                if (o->name == note.name) targets.push_back(o);
        }
        for (const auto& o : targets) {
            if (!o->active.load()) continue;
            // One failing observer must not keep the notification from the rest.
            try {
                o->callback(note);
            } catch (...) {
            }
        }
    });
}

size_t NotificationCenter::observerCount(std::string_view name) const {
    std::lock_guard lock(registry_->mutex);
    return static_cast<size_t>(
        std::count_if(registry_->observers.begin(), registry_->observers.end(), [&](const auto& o) { return o->name == name; }));
}

}  // namespace platform::runtime
