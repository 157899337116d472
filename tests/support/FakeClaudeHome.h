#pragma once

// A temporary HOME for tests that run the assistant CLI: the fake `claude`
// sits at ~/.local/bin/claude, which the login shell's ~/.profile puts first
// on the search path, and SHELL is /bin/bash. HOME and SHELL are set for the
// fixture's life. The fake logs every call to
// ~/.local/bin/claude.log, read back with `calls()`.

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "quiltdeck/sessions/ShellCommand.h"

namespace quiltdeck::testing {

class FakeClaudeHome {
public:
    struct HookRun {
        std::string event;
        std::string input;
        int exitCode = 0;
    };
    struct Call {
        int pid = 0;
        std::vector<std::string> arguments;
        std::string folder;
        std::optional<std::string> input;
        std::vector<HookRun> hooks;
    };

    FakeClaudeHome() {
        char pattern[] = "/tmp/quiltdeck-home-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "/tmp";
        for (const char* name : {"HOME", "SHELL"}) {
            const char* value = ::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        ::setenv("HOME", path_.c_str(), 1);
        ::setenv("SHELL", "/bin/bash", 1);
        installClaude(claudePath());
        writeProfile();
    }

    ~FakeClaudeHome() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code ignored;
        if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
    }

    FakeClaudeHome(const FakeClaudeHome&) = delete;
    FakeClaudeHome& operator=(const FakeClaudeHome&) = delete;

    const std::string& path() const { return path_; }
    std::string claudePath() const { return path_ + "/.local/bin/claude"; }
    std::string logPath() const { return path_ + "/.local/bin/claude.log"; }

    // Exported by ~/.profile to every login shell (and so to the fake).
    void setVariable(const std::string& name, const std::string& value) {
        variables_[name] = value;
        writeProfile();
    }

    // A copy of the fake at `at` (folders made as needed).
    void installClaude(const std::string& at) const {
        std::filesystem::create_directories(std::filesystem::path(at).parent_path());
        std::filesystem::copy_file(QUILTDECK_FAKE_CLAUDE, at, std::filesystem::copy_options::overwrite_existing);
        ::chmod(at.c_str(), 0755);
    }
    void removeClaude() const { std::filesystem::remove(claudePath()); }

    // The fake curl at ~/.fake-bin/curl, first on the login shell's search
    // path; what it serves installs the fake `claude`.
    void installCurl() {
        const std::string at = path_ + "/.fake-bin/curl";
        std::filesystem::create_directories(path_ + "/.fake-bin");
        std::filesystem::copy_file(QUILTDECK_FAKE_CURL, at, std::filesystem::copy_options::overwrite_existing);
        ::chmod(at.c_str(), 0755);
        curlInstalled_ = true;
        setVariable("FAKE_CURL_CLAUDE", QUILTDECK_FAKE_CLAUDE);
    }
    // The arguments of every call of the fake curl so far.
    std::vector<std::vector<std::string>> curlCalls() const {
        std::vector<std::vector<std::string>> result;
        std::ifstream log(path_ + "/.fake-bin/curl.log");
        for (std::string line; std::getline(log, line);) {
            auto record = nlohmann::json::parse(line, nullptr, false);
            if (!record.is_discarded() && record.contains("argv"))
                result.push_back(record["argv"].get<std::vector<std::string>>());
        }
        return result;
    }

    // Every call logged so far, in order of their start.
    std::vector<Call> calls() const {
        std::vector<Call> result;
        std::map<int, size_t> byPid;
        std::ifstream log(logPath());
        for (std::string line; std::getline(log, line);) {
            auto record = nlohmann::json::parse(line, nullptr, false);
            if (record.is_discarded() || !record.contains("pid")) continue;
            const int pid = record["pid"];
            if (record.contains("argv")) {
                byPid[pid] = result.size();
                result.push_back({pid, record["argv"].get<std::vector<std::string>>(), record["cwd"], {}, {}});
                continue;
            }
            auto found = byPid.find(pid);
            if (found == byPid.end()) continue;
            Call& call = result[found->second];
            if (record.contains("stdin")) call.input = record["stdin"].get<std::string>();
            if (record.contains("hook")) call.hooks.push_back({record["hook"], record["input"], record["exit"]});
        }
        return result;
    }

private:
    void writeProfile() const {
        std::ofstream profile(path_ + "/.profile", std::ios::trunc);
        profile << "PATH=\"$HOME/.local/bin:$PATH\"; export PATH\n";
        if (curlInstalled_) profile << "PATH=\"$HOME/.fake-bin:$PATH\"; export PATH\n";
        for (const auto& [name, value] : variables_) {
            profile << "export " << name << "=" << ShellCommand::quoteForShell(value) << "\n";
        }
    }

    std::string path_;
    std::map<std::string, std::optional<std::string>> saved_;
    std::map<std::string, std::string> variables_;
    bool curlInstalled_ = false;
};

}  // namespace quiltdeck::testing
