#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Store.h"

namespace quiltdeck::testing {

// A browser service whose assistant calls wait for the test to answer them; nothing runs in the
// background and nothing is read from disk. It starts with an empty list.
class ScriptedBrowsers {
public:
    ScriptedBrowsers() {
        Store::shared().setBrowserCache({});
        Store::shared().setBrowserAccounts({});
        Browsers::Services services;
        services.oneShot = [this](Browsers::OneShotRequest request, std::function<void(std::optional<std::string>)> done) {
            requests.push_back(std::move(request));
            pending.push_back(std::move(done));
        };
        services.background = [](std::function<void()>) {};
        services.procRoot = "/nonexistent-proc";
        browsers = Browsers::create(std::move(services));
    }

    // Answers the oldest call waiting.
    void answer(const std::optional<std::string>& text) {
        if (pending.empty()) return;
        auto done = std::move(pending.front());
        pending.erase(pending.begin());
        done(text);
    }
    // A listing that ends with these devices (id, name).
    void list(const std::vector<BrowserInfo>& devices) {
        browsers->refresh(true);
        nlohmann::json array = nlohmann::json::array();
        for (const BrowserInfo& device : devices) array.push_back({{"deviceId", device.deviceId}, {"name", device.name}});
        answer(array.dump());
    }

    std::vector<Browsers::OneShotRequest> requests;
    std::vector<std::function<void(std::optional<std::string>)>> pending;
    std::shared_ptr<Browsers> browsers;
};

}  // namespace quiltdeck::testing
