#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

namespace quiltdeck {

// What the hook server knows of the wall without asking the main thread. The
// owner publishes a new one on the main thread whenever it changes; a tile's id
// is in it before the tile's child starts, so the child's first hook finds it.
struct HookSnapshot {
    // Every live tile, on every wall.
    std::set<std::string, std::less<>> tileIds;
    // Device id -> the shown label of the first connected browser with that id.
    std::map<std::string, std::string, std::less<>> browserLabels;
};

}  // namespace quiltdeck
