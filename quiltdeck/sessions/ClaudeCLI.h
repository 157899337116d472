#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"

namespace quiltdeck {

// Short background questions to the assistant CLI: one run with "-p" and a
// fixed model, the prompt on standard input, the whole standard output back.
class ClaudeCLI {
public:
    ClaudeCLI() = delete;

    static constexpr std::string_view model = "claude-haiku-4-5-20251001";
    // The CLI's own tools, refused by name where it does not list --tools: a deny rule holds over
    // the user's allow rules and every permission mode.
    static constexpr std::array<std::string_view, 17> builtInTools = {
        "Bash", "BashOutput", "KillShell", "Read", "Write", "Edit", "MultiEdit", "NotebookEdit", "Glob",
        "Grep", "LS", "WebFetch", "WebSearch", "Task", "TodoWrite", "Skill", "SlashCommand"};
    // The prompt goes in this long after the start, unless the run is over.
    static constexpr platform::runtime::Duration promptDelay = std::chrono::milliseconds(50);

    // What a run gave: its output, or why there is none.
    enum class Failure {
        none,
        missing,   // the login shell found no `claude`
        timedOut,  // it outlived its time
        failed,    // it could not start, ended with another status or answered in bytes that are not UTF-8
    };
    struct Reply {
        // An answer, or a run that failed without saying more.
        Reply(std::optional<std::string> text = std::nullopt)
            : answer(std::move(text)), failure(answer ? Failure::none : Failure::failed) {}
        static Reply failing(Failure why) {
            Reply reply;
            reply.failure = why;
            return reply;
        }
        std::optional<std::string> answer;
        Failure failure;
    };
    using Done = std::function<void(Reply reply)>;

    // Returns at once; the run takes a worker thread. `done` runs on the main
    // loop with the output (trailing newline kept), or no answer and why when the
    // CLI cannot start, exits non-zero, outlives `timeout` or answers in bytes
    // that are not UTF-8. Its folder is "drops" in the state folder. A run gets
    // none of the CLI's own tools (a browser call only the browser tools it
    // names), so a reply can never run a command or touch a file. A run
    // asks the CLI to save no conversation where it can; whatever conversation
    // files the runs leave there are removed once none is under way, so they
    // never crowd the user's own list of conversations to resume.
    static void oneShot(std::string prompt, std::vector<std::string> allowedTools, bool chrome,
                        platform::runtime::Duration timeout, Done done);

    // Where the CLI keeps the conversations started in `folder`.
    static std::filesystem::path conversationsOf(const std::filesystem::path& folder,
                                                 const std::filesystem::path& home);
    // Removes them all (they are the one-shot runs' own), under this user's home.
    static void removeConversations(const std::filesystem::path& folder);

    // The shell text of a run; the prompt is never part of it.
    static std::string oneShotCommand(const std::vector<std::string>& allowedTools, bool chrome,
                                      const ClaudeCapabilities::Snapshot& capabilities);
};

}  // namespace quiltdeck
