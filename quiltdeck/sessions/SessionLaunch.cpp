#include "quiltdeck/sessions/SessionLaunch.h"

#include <locale.h>
#include <sys/stat.h>

#include <limits>

#include "quiltdeck/sessions/FileReading.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "vantel/core/Terminal.h"

namespace quiltdeck {

namespace {

std::string q(std::string_view word) { return ShellCommand::quoteForShell(word); }

bool isPlainWord(std::string_view word) {
    if (word.empty()) return false;
    for (const char c : word) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                           c == '.' || c == '_' || c == '-' || c == '+';
        if (!plain) return false;
    }
    return true;
}

}  // namespace

std::string SessionLaunch::interactiveShell(std::string_view shell) {
    return "exec " + (isPlainWord(shell) ? std::string(shell) : q(shell)) + " -i";
}

std::string SessionLaunch::missingAssistantGuard(std::string_view shell) {
    return "if ! command -v claude >/dev/null 2>&1; then echo; echo '  Claude Code is not installed on this computer.'; "
           "echo '  Install it with:  curl -fsSL --connect-timeout 15 --max-time 600 " +
           std::string(installScript) +
           " | bash'; echo '  then sign in with:  claude auth login'; echo; " + interactiveShell(shell) + "; fi; ";
}

std::string SessionLaunch::assistantCommand(const Assistant& tile, const ClaudeCapabilities::Snapshot& capabilities,
                                            std::string_view shell) {
    std::string text = std::string(ShellCommand::pathExport) + missingAssistantGuard(shell) + "exec claude";
    auto add = [&](std::string_view flag, const std::string& value) {
        text += ' ';
        text += flag;
        text += ' ';
        text += q(value);
    };
    if (capabilities.allows("--name") || capabilities.allows("-n")) add("-n", tile.name);
    if (capabilities.allows("--settings")) add("--settings", HookTexts::hookSettings(tile.id, tile.hookPort));
    if (capabilities.allows("--resume")) {
        if (tile.resumeId) {
            add("--resume", *tile.resumeId);
        } else if (tile.continueLatest && tile.latestSessionId) {
            if (auto latest = tile.latestSessionId()) add("--resume", *latest);
        }
    }
    if (capabilities.allows("--permission-mode")) add("--permission-mode", tile.permissionMode);
    std::string prompt = HookTexts::tilePrompt(tile.id, tile.hookPort);
    if (tile.browserBinding && capabilities.allows("--chrome")) {
        text += " --chrome";
        prompt += "\n\n" + *tile.browserBinding;
    }
    if (capabilities.allows("--append-system-prompt")) add("--append-system-prompt", prompt);
    return text;
}

std::string SessionLaunch::shellCommand(const std::optional<std::string>& command, std::string_view shell) {
    if (!command) return interactiveShell(shell);
    // The command is shown quoted, so that a quote in it cannot end the echo and run the rest.
    return std::string(ShellCommand::pathExport) + "echo; echo '  $ '" + q(*command) + "; echo; " + *command +
           "; code=$?; echo; if [ $code -eq 0 ]; then echo '  done.'; else echo \"  exited with code $code\"; fi; "
           "echo; " +
           interactiveShell(shell);
}

bool SessionLaunch::localeInstalled(const char* name) {
    const locale_t locale = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (!locale) return false;
    ::freelocale(locale);
    return true;
}

std::vector<std::string> SessionLaunch::environment(std::string_view id) {
    static const bool english = localeInstalled("en_US.UTF-8");
    return environment(id, english);
}

std::vector<std::string> SessionLaunch::environment(std::string_view id, bool haveEnglishLocale) {
    std::vector<std::string> variables = vantel::Terminal::getEnvironmentVariables("xterm-256color", true);
    if (!haveEnglishLocale) {
        for (auto& variable : variables) {
            if (variable == "LANG=en_US.UTF-8") variable = "LANG=C.UTF-8";
        }
    }
    variables.push_back("COLORTERM=truecolor");
    variables.push_back("QUILTDECK=1");
    variables.push_back("QUILTDECK_SESSION=" + std::string(id));
    return variables;
}

// One '-' per character, however many UTF-8 bytes it takes.
std::string SessionLaunch::folderKey(std::string_view folder) {
    std::string key;
    key.reserve(folder.size());
    for (const char c : folder) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (keep) key += c;
        else if (!continuation) key += '-';
    }
    return key;
}

bool SessionLaunch::conversationSaved(std::string_view folder, std::string_view id, const std::filesystem::path& home) {
    // An id from a hook or the state file names no file of its own.
    if (id.empty() || id.find('/') != std::string_view::npos || id.starts_with(".")) return false;
    struct stat info{};
    const auto file = home / ".claude" / "projects" / folderKey(folder) / (std::string(id) + ".jsonl");
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::string> SessionLaunch::latestSessionId(std::string_view folder, const std::filesystem::path& home) {
    const std::filesystem::path directory = home / ".claude" / "projects" / folderKey(folder);
    const auto names = listNames(directory);
    if (!names) return std::nullopt;
    std::optional<std::string> newest;
    timespec newestTime{};
    for (const auto& name : *names) {
        // "x.jsonl", not ".jsonl" (a hidden file without an extension).
        constexpr std::string_view extension = ".jsonl";
        if (name.size() <= extension.size() || !name.ends_with(extension)) continue;
        struct stat info{};
        // An unreadable date counts as the distant past.
        timespec modified{std::numeric_limits<time_t>::min(), 0};
        if (::stat((directory / name).c_str(), &info) == 0) modified = info.st_mtim;
        const bool later = !newest || modified.tv_sec > newestTime.tv_sec ||
                           (modified.tv_sec == newestTime.tv_sec && modified.tv_nsec > newestTime.tv_nsec);
        if (later) {
            newest = name.substr(0, name.size() - extension.size());
            newestTime = modified;
        }
    }
    return newest;
}

}  // namespace quiltdeck
