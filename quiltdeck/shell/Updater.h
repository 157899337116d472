#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quiltdeck {

// One update the feed offers.
struct UpdateItem {
    std::string displayVersionString;
};

// The application's updater: started at launch when the build names an update
// feed (QUILTDECK_UPDATE_FEED, empty by default), it forwards "Check for Updates…"
// to its controller, leaves a log line for each step the controller reports
// through the five callbacks below, and raises `installing` once an update is
// about to be installed, so that quitting no longer asks. Main thread.
class Updater {
public:
    // The part that would fetch the feed and install; this build's never downloads
    // or runs anything.
    class Controller {
    public:
        virtual ~Controller() = default;
        virtual void checkForUpdates() = 0;
    };

    // The process's updater, with the feed of the build.
    static Updater& shared();
    static std::string_view buildFeedURL();

    explicit Updater(std::string feedURL);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Makes the controller and logs "updater: feed <url>"; nothing without a feed.
    void start();
    // Forwards to the controller; nothing before start() or without a feed.
    void checkForUpdates();
    // Whether "Check for Updates…" can do anything.
    bool canCheckForUpdates() const { return controller_ != nullptr; }
    bool installing() const { return installing_; }
    const std::string& feedURL() const { return feedURL_; }

    // Reported by the controller.
    void didFindValidUpdate(const UpdateItem& item);
    void didNotFindUpdate();
    void willInstallUpdate(const UpdateItem& item);
    // Answers false: the relaunch is never postponed and `relaunch` is not kept.
    bool shouldPostponeRelaunchForUpdate(const UpdateItem& item, const std::function<void()>& relaunch);
    void didAbortWithError(std::string_view localizedDescription);

private:
    std::string feedURL_;
    std::unique_ptr<Controller> controller_;
    bool installing_ = false;
};

}  // namespace quiltdeck
