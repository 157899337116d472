#pragma once

// What the two halves of the fake assistant CLI share: FakeClaude.cpp (the
// arguments, help, hooks and one-shot runs) and FakeClaudeScreen.cpp (the
// interactive screen drawn on a terminal).

#include <nlohmann/json.hpp>
#include <string>

namespace fake {

using nlohmann::json;

std::string variable(const char* name, const std::string& fallback = {});
double seconds(const char* name, double fallback);
std::string currentFolder();
std::string dump(const json& value);
// One JSON line in $HOME/.local/bin/claude.log, with the pid.
void logRecord(json record);
void appendTranscript(const std::string& sessionId, const std::string& prompt);

// Runs the hooks of the settings the way the real CLI does: one after another,
// each with the event on its standard input, waiting for each to end.
class HookRunner {
public:
    HookRunner(const json& settings, std::string sessionId) : settings_(settings), sessionId_(std::move(sessionId)) {}
    void fire(const std::string& event, json fields, const std::string& tool = {});
    const std::string& sessionId() const { return sessionId_; }

private:
    json settings_;
    std::string sessionId_;
};

// The interactive session on a terminal, named (-n) or not; returns the exit code.
int runScreen(HookRunner& hooks, const std::string& name);

}  // namespace fake
