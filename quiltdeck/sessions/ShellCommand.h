#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// What every command text run through the user's login shell shares: the
// shell itself, the search-path export in front, and quoting of single words.
class ShellCommand {
public:
    ShellCommand() = delete;

    // Adds the assistant's usual install folders; it ends with "; ".
    static constexpr std::string_view pathExport =
        "export PATH=\"$PATH:/opt/homebrew/bin:/usr/local/bin:$HOME/.local/bin:$HOME/.npm-global/bin:"
        "$HOME/.claude/local/bin\"; ";

    // One single-quoted shell word: each ' becomes '\''. NUL bytes are
    // dropped, since an argument ends at the first one.
    static std::string quoteForShell(std::string_view word);

    // $SHELL, else the account's shell, when it is bash, zsh, sh, dash or ksh
    // given by an absolute path to an executable file; else /bin/bash.
    static std::string loginShell();
    static std::string chooseShell(const char* environmentShell, const char* accountShell);
    // The program and arguments that run `text` in the login shell ("-lc").
    static std::vector<std::string> loginShellArguments(std::string text);
};

}  // namespace quiltdeck
