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

    // The folder, with any parent it lacks; made for the user alone (0700).
    static void makeFolder(const std::filesystem::path& folder);
    // The state folder and its "drops" folder made where missing, and kept the user's alone, also
    // where an earlier version left them open: the folder and every folder in drops lose the
    // group's and others' bits (0700), and so do the files the program writes there and every file
    // in drops (0600). A link is never followed, so nothing outside the folder changes; only the
    // folder itself may be one. At most `entriesMended` entries are looked at.
    static void make(const std::filesystem::path& folder);
    static constexpr size_t entriesMended = 100'000;
};

}  // namespace quiltdeck
