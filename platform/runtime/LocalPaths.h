#pragma once

#include <string>

namespace platform::runtime {

// Paths of this machine as a user types them: a leading "~" or "~name" stands for a home folder.
class LocalPaths {
public:
    LocalPaths() = delete;

    // "~" and "~/…" go to $HOME (the password entry's folder when HOME is unset or empty), "~name"
    // and "~name/…" to that user's folder; a path without a leading "~", or naming nobody, comes
    // back as it is.
    static std::string expandingTilde(const std::string& path);
    // Whether something (a file, folder or anything else) is at the path, links followed.
    static bool exists(const std::string& path);
};

}  // namespace platform::runtime
