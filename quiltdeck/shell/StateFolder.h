#pragma once

#include <filesystem>

namespace quiltdeck {

// Where the application keeps its state (the store, the log, the run marker, drops): resolved here,
// below both the log and the store, so that neither has to reach the other for it.
class StateFolder {
public:
    StateFolder() = delete;

    // By the environment and the home folder; moves ~/.brightloom to
    // ~/.quiltdeck when only the old one exists.
    static std::filesystem::path resolve();
    // resolve() once per process.
    static const std::filesystem::path& path();
};

}  // namespace quiltdeck
