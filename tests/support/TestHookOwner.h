#pragma once

// Stands in for the wall as the hook server's owner: it starts the server, then
// sets the closures (each holding the owner weakly), and publishes the live
// tile ids before a tile counts as started. Each tile has its live metrics;
// hooks and renames are recorded.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/LiveMetrics.h"
#include "quiltdeck/shell/Log.h"

namespace quiltdeck::testing {

class TestHookOwner : public std::enable_shared_from_this<TestHookOwner> {
public:
    struct Tile {
        std::string id;
        std::unique_ptr<LiveMetrics> live;
        std::vector<std::string> events;  // "hook <event> <body>", "rename <title>"
    };

    static std::shared_ptr<TestHookOwner> make(HookServer::Options options, LiveMetrics::Services services) {
        auto owner = std::shared_ptr<TestHookOwner>(new TestHookOwner(std::move(options), std::move(services)));
        owner->wire();
        return owner;
    }

    HookServer server;
    std::vector<Tile> tiles;
    std::map<std::string, std::string, std::less<>> browserLabels;
    size_t layouts = 0;

    Tile& open(const std::string& id, const std::string& cwd) {
        tiles.push_back({id, std::make_unique<LiveMetrics>(id, cwd, [] { return false; }, services_), {}});
        publish();
        return tiles.back();
    }
    void publish() {
        HookSnapshot snapshot{{}, browserLabels};
        for (const auto& tile : tiles) snapshot.tileIds.insert(tile.id);
        server.publish(std::move(snapshot));
    }
    Tile* find(const std::string& id) {
        for (auto& tile : tiles) {
            if (tile.id == id) return &tile;
        }
        return nullptr;
    }

private:
    TestHookOwner(HookServer::Options options, LiveMetrics::Services services)
        : server(std::move(options)), services_(std::move(services)) {}

    void wire() {
        server.start();
        std::weak_ptr<TestHookOwner> weak = weak_from_this();
        server.onHook = [weak](const std::string& id, const std::string& event, const nlohmann::json& body) {
            auto owner = weak.lock();
            if (Tile* tile = owner ? owner->find(id) : nullptr) tile->events.push_back("hook " + event + " " + body.dump());
        };
        server.onRename = [weak](const std::string& id, const std::string& title) {
            auto owner = weak.lock();
            if (Tile* tile = owner ? owner->find(id) : nullptr) tile->events.push_back("rename " + title);
        };
        server.onMetrics = [weak](const std::string& id, const nlohmann::json& body) {
            if (auto owner = weak.lock()) owner->forward(id, body, "metrics", &LiveMetrics::applyMetrics);
        };
        server.onFeed = [weak](const std::string& id, const nlohmann::json& body) {
            if (auto owner = weak.lock()) owner->forward(id, body, "feed", &LiveMetrics::applyFeed);
        };
    }

    void forward(const std::string& id, const nlohmann::json& body, const char* route,
                 void (LiveMetrics::*apply)(const nlohmann::json&)) {
        Tile* tile = find(id);
        if (!tile) return Log::write(std::string(route) + ": dropped, no tile " + HookRequest::printable(id));
        (tile->live.get()->*apply)(body);
        ++layouts;
    }

    LiveMetrics::Services services_;
};

}  // namespace quiltdeck::testing
