#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace quiltdeck {

// A browser application of this user that is running now.
struct RunningBrowser {
    std::string executable;  // the program's file name: "chrome", "brave", "msedge", …
    pid_t pid = 0;

    // The browser to bring forward after an identify: Chrome before Brave before
    // Edge before Chromium, the first process of that browser in listing order.
    // Processes of other users are not looked at.
    static std::optional<RunningBrowser> find(const std::filesystem::path& procRoot = "/proc");

    friend bool operator==(const RunningBrowser&, const RunningBrowser&) = default;
};

}  // namespace quiltdeck
