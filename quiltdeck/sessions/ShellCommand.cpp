#include "quiltdeck/sessions/ShellCommand.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace quiltdeck {

namespace {

bool isKnownShell(const char* path) {
    if (!path || path[0] != '/') return false;
    const std::string_view text(path);
    const std::string_view name = text.substr(text.rfind('/') + 1);
    static constexpr std::array<std::string_view, 5> known = {"bash", "zsh", "sh", "dash", "ksh"};
    for (auto candidate : known) {
        if (name == candidate) return ::access(path, X_OK) == 0;
    }
    return false;
}

// getpwuid_r: the shell is looked up on worker threads too.
std::string accountShellPath() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_shell)
        return {};
    return found->pw_shell;
}

}  // namespace

std::string ShellCommand::quoteForShell(std::string_view word) {
    std::string quoted = "'";
    quoted.reserve(word.size() + 2);
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else if (c != '\0')
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string ShellCommand::chooseShell(const char* environmentShell, const char* accountShell) {
    if (isKnownShell(environmentShell)) return environmentShell;
    if (isKnownShell(accountShell)) return accountShell;
    return "/bin/bash";
}

std::string ShellCommand::loginShell() { const std::string account = accountShellPath();
    return chooseShell(std::getenv("SHELL"), account.empty() ? nullptr : account.c_str()); }

std::vector<std::string> ShellCommand::loginShellArguments(std::string text) {
    return {loginShell(), "-lc", std::move(text)};
}

}  // namespace quiltdeck
