#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/sessions/ClaudeCLI.h"
#include "quiltdeck/sessions/RunningBrowser.h"

namespace quiltdeck {

class Store;

// The connected browsers: the devices in which the assistant's browser
// extension runs. The list is fetched through a one-shot assistant call,
// each device can be identified (a name card opened in a new tab of its
// browser), and the browser profile, so the account, behind each device is
// learned from the profile folders. Used on the main thread; work that
// blocks runs in the background and hands its result back.
class Browsers : public std::enable_shared_from_this<Browsers> {
public:
    // One non-interactive run of the assistant CLI; `done` is called on the main
    // thread with its answer, or why there was none.
    struct OneShotRequest {
        std::string prompt;
        std::vector<std::string> allowedTools;
        bool chrome = false;
        platform::runtime::Duration timeout{};
    };
    using OneShot = std::function<void(OneShotRequest, ClaudeCLI::Done)>;
    // Runs a job off the main thread.
    using Background = std::function<void(std::function<void()>)>;
    // Brings a browser application's windows forward; the window layer sets it.
    using Activator = std::function<void(const RunningBrowser&)>;

    // The assistant CLI's one-shot call and the worker pool.
    static void assistantOneShot(OneShotRequest request, ClaudeCLI::Done done);
    static void inBackground(std::function<void()> job);

    struct Services {
        Store* store = nullptr;  // the shared store when none
        OneShot oneShot = assistantOneShot;
        Background background = inBackground;
        std::filesystem::path procRoot = "/proc";
    };

    // Posted on the default notification centre whenever the list, `busy`,
    // `error` or a learned account changes.
    static constexpr std::string_view didChange = "quiltdeck.browsers";
    static constexpr std::string_view listTool = "mcp__claude-in-chrome__list_connected_browsers";
    static constexpr std::chrono::seconds refreshInterval{60};
    static constexpr std::chrono::seconds identifyPause{3};
    static constexpr std::chrono::seconds accountCheckInterval{2};
    static constexpr int accountChecks = 20;
    static constexpr std::chrono::seconds oneShotTimeout{90};
    static constexpr size_t loggedAnswerLength = 120;

    // The process's instance, made on first use (on the main thread); never destroyed.
    static Browsers& shared();
    // The list starts as the cached devices sorted by name; then the accounts
    // are matched from disk.
    static std::shared_ptr<Browsers> create(Services services);

    const std::vector<BrowserInfo>& list() const { return list_; }
    bool busy() const { return busy_; }
    // The interface text of the last failed fetch; nothing after a good one.
    const std::optional<std::string>& error() const { return error_; }

    // Fetches the list unless a fetch is under way or, without `force`, the last
    // answer came less than a minute ago.
    void refresh(bool force);
    // Opens the identify page of the hook server on `port` in a new tab of the
    // device's browser, brings the browser forward and reports; then learns the
    // device's account from the profile that shows the page.
    void identify(const std::string& deviceId, uint16_t port, std::function<void(bool)> done);
    // Identifies the listed devices one after another, each 3 seconds after the
    // previous one answered.
    void identifyAll(uint16_t port, size_t index = 0);
    // Matches every listed device to a browser profile in the background.
    void learnAccountsFromDisk();
    void setActivator(Activator activator) { activator_ = std::move(activator); }

    // What identify asks the assistant to do.
    static std::string identifyPrompt(std::string_view deviceId, uint16_t port);

private:
    struct Passkey {};

public:
    Browsers(Passkey, Services services);

private:
    void handleListAnswer(const ClaudeCLI::Reply& reply);
    void learnAccount(const std::string& deviceId, int attempt);
    void storeAccounts(const std::map<std::string, std::string>& found);
    void changed();

    Services services_;
    Activator activator_;
    std::vector<BrowserInfo> list_;
    bool busy_ = false;
    std::optional<std::string> error_;
    std::optional<platform::runtime::TimePoint> lastFetch_;  // nothing: never
};

}  // namespace quiltdeck
