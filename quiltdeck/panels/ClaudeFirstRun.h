#pragma once

#include <filesystem>
#include <functional>

namespace quiltdeck {

// The answers to the assistant CLI's first-run questions, written into its own
// settings document (~/.claude.json) so that a tile never stops at them. The
// CLI rewrites that file at every start, so it is touched only while
// "hasCompletedOnboarding" is missing (a missing "theme" is added with it), and
// then without losing what the CLI wrote meanwhile: the file is read again and
// the change redone when it changed before our copy replaces it.
class ClaudeFirstRun {
public:
    ClaudeFirstRun() = delete;

    enum class Outcome { written, alreadyAnswered, unreadable, failed };

    static constexpr int attempts = 3;

    // The document in the home folder.
    static Outcome answer();
    // `path` may be a symbolic link: the file it leads to is replaced and the
    // link stays. A new file is private (0600); an existing one keeps its mode.
    // `beforeReplace` runs just before our copy would take the file's place.
    static Outcome answer(const std::filesystem::path& path, const std::function<void()>& beforeReplace = {});
};

}  // namespace quiltdeck
