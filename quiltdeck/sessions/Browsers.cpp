#include "quiltdeck/sessions/Browsers.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/WorkerPool.h"
#include "quiltdeck/sessions/ChromeProfiles.h"
#include "quiltdeck/sessions/ClaudeCLI.h"
#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

namespace fs = std::filesystem;
using platform::runtime::MainLoop;

namespace {

constexpr std::string_view listPrompt =
    "Call list_connected_browsers once and output ONLY the raw JSON array it returns. No prose, no markdown fence.";
constexpr std::string_view identifyPath = "/identify?id=";
// A list of devices is two levels deep; deeper answers are no list.
constexpr int nestingLimit = 64;

// The devices of an answer: the span from its first "[" to its last "]" must be
// a JSON array of objects. Nothing when it is not; `entries` counts every object.
std::optional<std::vector<BrowserInfo>> parseList(std::string_view answer, size_t& entries) {
    const size_t open = answer.find('[');
    const size_t close = answer.rfind(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    const nlohmann::json array = parseJsonText(answer.substr(open, close - open + 1), nestingLimit);
    if (!array.is_array()) return std::nullopt;
    std::vector<BrowserInfo> devices;
    for (const nlohmann::json& entry : array) {
        if (!entry.is_object()) return std::nullopt;
        const auto id = entry.find("deviceId");
        if (id == entry.end() || !id->is_string()) continue;
        const auto name = entry.find("name");
        devices.push_back({id->get<std::string>(), name != entry.end() && name->is_string() ? name->get<std::string>()
                                                                                           : id->get<std::string>()});
    }
    entries = array.size();
    return devices;
}

// After an identify the profile that shows the page is known for sure, so its
// first address is taken as it is.
std::string identifiedAccount(const fs::path& profile) {
    const ChromeProfiles::Account owner = ChromeProfiles::account(profile);
    if (!owner.emails.empty()) return owner.emails.front();
    if (!owner.name.empty()) return owner.name;
    return profile.filename().string();
}

}  // namespace

void Browsers::assistantOneShot(OneShotRequest request, ClaudeCLI::Done done) {
    ClaudeCLI::oneShot(std::move(request.prompt), std::move(request.allowedTools), request.chrome, request.timeout,
                       std::move(done));
}

void Browsers::inBackground(std::function<void()> job) { platform::runtime::WorkerPool::shared().submit(std::move(job)); }

Browsers& Browsers::shared() {
    // Held for the life of the process: timers and background work may still refer to it at exit.
    static const auto* instance = new std::shared_ptr<Browsers>(create({}));
    return **instance;
}

std::shared_ptr<Browsers> Browsers::create(Services services) {
    if (!services.store) services.store = &Store::shared();
    auto browsers = std::make_shared<Browsers>(Passkey{}, std::move(services));
    browsers->learnAccountsFromDisk();
    return browsers;
}

Browsers::Browsers(Passkey, Services services) : services_(std::move(services)) {
    for (const auto& [id, name] : services_.store->browserCache()) list_.push_back({id, name});
    std::stable_sort(list_.begin(), list_.end(), [](const BrowserInfo& a, const BrowserInfo& b) { return a.name < b.name; });
}

void Browsers::changed() { platform::runtime::NotificationCenter::defaultCenter().post(std::string(didChange)); }

void Browsers::refresh(bool force) {
    if (busy_) return;
    MainLoop& loop = MainLoop::main();
    if (!force && lastFetch_ && loop.now() - *lastFetch_ < refreshInterval) return;
    busy_ = true;
    changed();
    Log::write(force ? "browsers: refresh (forced)" : "browsers: refresh");
    services_.oneShot({std::string(listPrompt), {std::string(listTool)}, true, oneShotTimeout},
                      [weak = weak_from_this()](ClaudeCLI::Reply reply) {
                          if (auto self = weak.lock()) self->handleListAnswer(reply);
                      });
}

void Browsers::handleListAnswer(const ClaudeCLI::Reply& reply) {
    busy_ = false;
    lastFetch_ = MainLoop::main().now();
    const std::optional<std::string>& answer = reply.answer;
    size_t entries = 0;
    std::optional<std::vector<BrowserInfo>> devices;
    if (answer) devices = parseList(*answer, entries);
    if (!devices) {
        // Refresh cannot help a CLI that is not there.
        const bool missing = reply.failure == ClaudeCLI::Failure::missing;
        error_ = t(missing ? "browsers_error_missing" : "browsers_error");
        Log::write("browsers: no list (" +
                   (answer ? firstCharacters(*answer, loggedAnswerLength) : missing ? "claude not found" : "no output") + ")");
        changed();
        return;
    }
    error_.reset();
    Log::write("browsers: " + std::to_string(entries) + " connected");
    list_ = std::move(*devices);
    Store::StringMap cache = services_.store->browserCache();
    for (const BrowserInfo& device : list_) cache[device.deviceId] = device.name;
    services_.store->setBrowserCache(std::move(cache));
    changed();
    learnAccountsFromDisk();
}

std::string Browsers::identifyPrompt(std::string_view deviceId, uint16_t port) {
    const std::string page = "http://127.0.0.1:" + std::to_string(port) + std::string(identifyPath) + std::string(deviceId);
    return "Call mcp__claude-in-chrome__select_browser with deviceId " + std::string(deviceId) + ". " + "Then open " +
           page + " in a new tab in that browser. " +
           "Do not call list_connected_browsers or switch_browser. Reply with just the word done.";
}

void Browsers::identify(const std::string& deviceId, uint16_t port, std::function<void(bool)> done) {
    OneShotRequest request{identifyPrompt(deviceId, port),
                           {"mcp__claude-in-chrome__select_browser", "mcp__claude-in-chrome__tabs_create_mcp",
                            "mcp__claude-in-chrome__navigate"},
                           true,
                           oneShotTimeout};
    services_.oneShot(std::move(request), [weak = weak_from_this(), deviceId, done = std::move(done)](
                                              ClaudeCLI::Reply reply) {
        auto self = weak.lock();
        if (!self) return;
        if (!reply.answer) {
            if (done) done(false);
            return;
        }
        if (auto browser = RunningBrowser::find(self->services_.procRoot); browser && self->activator_) {
            self->activator_(*browser);
        }
        if (done) done(true);
        self->learnAccount(deviceId, 0);
    });
}

void Browsers::identifyAll(uint16_t port, size_t index) {
    if (index >= list_.size()) return;
    identify(list_[index].deviceId, port, [weak = weak_from_this(), port, index](bool) {
        MainLoop::main().postAfter(identifyPause, [weak, port, index] {
            auto self = weak.lock();
            if (self && index + 1 < self->list_.size()) self->identifyAll(port, index + 1);
        });
    });
}

void Browsers::learnAccount(const std::string& deviceId, int attempt) {
    if (attempt >= accountChecks) return;
    MainLoop* loop = &MainLoop::main();
    loop->postAfter(accountCheckInterval, [weak = weak_from_this(), loop, deviceId, attempt] {
        auto self = weak.lock();
        if (!self) return;
        self->services_.background([weak, loop, deviceId, attempt] {
            const auto profile = ChromeProfiles::profileShowing(std::string(identifyPath) + deviceId);
            if (!profile) {
                loop->post([weak, deviceId, attempt] {
                    if (auto self = weak.lock()) self->learnAccount(deviceId, attempt + 1);
                });
                return;
            }
            loop->post([weak, found = std::map<std::string, std::string>{{deviceId, identifiedAccount(*profile)}}] {
                if (auto self = weak.lock()) self->storeAccounts(found);
            });
        });
    });
}

void Browsers::learnAccountsFromDisk() {
    std::vector<std::string> ids;
    for (const BrowserInfo& device : list_) ids.push_back(device.deviceId);
    if (ids.empty()) return;
    MainLoop* loop = &MainLoop::main();
    services_.background([weak = weak_from_this(), loop, ids = std::move(ids)] {
        auto found = ChromeProfiles::accounts(ids);
        if (found.empty()) return;
        loop->post([weak, found = std::move(found)] {
            if (auto self = weak.lock()) self->storeAccounts(found);
        });
    });
}

void Browsers::storeAccounts(const std::map<std::string, std::string>& found) {
    Store::StringMap accounts = services_.store->browserAccounts();
    for (const auto& [id, account] : found) accounts[id] = account;
    services_.store->setBrowserAccounts(std::move(accounts));
    changed();
}

}  // namespace quiltdeck
