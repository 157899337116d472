#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/MainLoop.h"

namespace quiltdeck {

// The two questions the setup poll asks in the background: what the assistant
// CLI says of its sign-in, and whether every folder is reachable. Both block;
// they run on a worker thread and touch no state of the setup.
class SetupProbe {
public:
    struct Status {
        bool found = false;
        bool loggedIn = false;
        std::optional<std::string> email;
        std::optional<std::string> method;
        bool operator==(const Status&) const = default;
    };

    virtual ~SetupProbe() = default;
    virtual Status probe() = 0;
    virtual bool fullDiskAccess() = 0;

    // The CLI through the login shell, under `timeout`; folders need no grant here.
    static std::unique_ptr<SetupProbe> loginShell(platform::runtime::Duration timeout = std::chrono::seconds(20));

    // The shell text of the probe (after the search-path export).
    static std::string command();
    // What a run of the probe command means: 127 is "not found"; any other
    // status is read as the JSON object from the output's first "{". Output
    // that gives none is "not found" too, and logged.
    static Status statusFrom(int exitStatus, std::string_view output);
};

}  // namespace quiltdeck
