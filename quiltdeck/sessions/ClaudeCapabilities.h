#pragma once

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/runtime/MainLoop.h"

namespace quiltdeck {

// Which of the flags the application uses the installed assistant CLI lists
// in its help text. Probed once per launch and cached in the defaults per
// program file (resolved path and modification time), so an unchanged CLI
// is known at once and refreshed in the background. Until an answer comes,
// every flag is allowed. Written on the main loop; readable from any thread.
class ClaudeCapabilities {
public:
    ClaudeCapabilities() = delete;

    static constexpr std::array<std::string_view, 15> knownFlags = {
        "-n",       "--name",   "--settings",          "--append-system-prompt",   "--chrome",       "--resume",
        "--continue", "--strict-mcp-config", "--disable-slash-commands", "--allowedTools", "--model",
        "--permission-mode", "--no-session-persistence", "--tools", "--disallowedTools"};
    static constexpr std::string_view cachePrefix = "claude.flags.";
    static constexpr platform::runtime::Duration defaultProbeTimeout = std::chrono::seconds(20);

    // What the command-line builders read, taken at once.
    struct Snapshot {
        bool probed = false;
        std::set<std::string> flags;
        // Written when nothing is probed yet or the CLI lists it.
        bool allows(std::string_view flag) const { return !probed || flags.count(std::string(flag)) > 0; }
    };

    // Main loop. `done` runs on the main loop once the flags are known: at
    // once from the cache, else after the probe (also when it fails).
    static void probe(std::function<void()> done);

    static Snapshot snapshot();
    static std::set<std::string> flags() { return snapshot().flags; }
    static bool probed() { return snapshot().probed; }
    static bool installed();

    // The first of the five install paths with a readable file behind it:
    // resolved path + "@" + whole seconds of its modification time.
    static std::optional<std::string> binaryKey();
    // The known flags that occur anywhere in the text, as plain substrings.
    static std::set<std::string> flagsIn(std::string_view helpText);

    // Back to the start values (tests).
    static void reset();
    // Shortens the probe's time limit (tests).
    static void setProbeTimeout(platform::runtime::Duration timeout);

private:
    static void runProbe(std::optional<std::string> key, std::function<void(bool found)> done);
};

}  // namespace quiltdeck
