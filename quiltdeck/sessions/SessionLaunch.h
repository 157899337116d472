#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quiltdeck/sessions/ClaudeCapabilities.h"

namespace quiltdeck {

// What a tile's child is started with: the command text its login shell runs
// ("-lc"), and its environment. An assistant tile adds the assistant's usual
// install folders to the search path, prints install help and stays in an
// interactive shell when the assistant is missing, and otherwise replaces the
// shell with the assistant, passing only the flags it accepts. A shell tile
// is an interactive shell, optionally after one command whose outcome is
// printed.
class SessionLaunch {
public:
    SessionLaunch() = delete;

    static constexpr std::string_view installScript = "https://claude.ai/install.sh";

    struct Assistant {
        std::string id;
        std::string name;
        uint16_t hookPort = 0;
        std::optional<std::string> resumeId;
        // The folder's newest conversation, for a tile that continues it (looked up only then).
        std::function<std::optional<std::string>()> latestSessionId;
        bool continueLatest = false;
        std::string permissionMode;
        // The browser paragraph for a tile bound to a browser.
        std::optional<std::string> browserBinding;
    };

    // "exec <shell> -i" for the login shell `shell`.
    static std::string interactiveShell(std::string_view shell);
    // Install help and an interactive shell when `claude` is not on the search path.
    static std::string missingAssistantGuard(std::string_view shell);
    static std::string assistantCommand(const Assistant& tile, const ClaudeCapabilities::Snapshot& capabilities,
                                        std::string_view shell);
    // With a command, it is shown, run, its outcome printed, then the shell stays.
    static std::string shellCommand(const std::optional<std::string>& command, std::string_view shell);

    // The terminal's variables, the colour and locale the tile asks for, and the
    // tile's own id. LANG is en_US.UTF-8 when that locale is installed, else C.UTF-8.
    static std::vector<std::string> environment(std::string_view id);
    static std::vector<std::string> environment(std::string_view id, bool haveEnglishLocale);
    static bool localeInstalled(const char* name);

    // The folder's conversation files: every character but ASCII letters and digits becomes '-'.
    static std::string folderKey(std::string_view folder);
    // The id of the folder's newest saved conversation (by modification time), or nothing.
    static std::optional<std::string> latestSessionId(std::string_view folder, const std::filesystem::path& home);
    // Whether the conversation `id` is saved for the folder (its file is there).
    static bool conversationSaved(std::string_view folder, std::string_view id, const std::filesystem::path& home);
};

}  // namespace quiltdeck
