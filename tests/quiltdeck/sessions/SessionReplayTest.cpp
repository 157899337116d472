// Recorded sessions played back through a tile on the virtual clock. The
// committed recording is the fake assistant's (tests/data/sessions);
// QUILTDECK_REPLAY=<file> plays another, such as one of the real CLI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "platform/runtime/NotificationCenter.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/sessions/Store.h"
#include "support/FakeClaudeHome.h"
#include "support/SessionReplay.h"

namespace quiltdeck {
namespace {

// A tile without a child, of the recording's size, fed what was recorded.
class SessionTarget : public testing::ReplayTarget {
public:
    SessionTarget(const testing::SessionRecording& recording, platform::runtime::VirtualMainLoop& loop, Store& store)
        : notifications_(&loop) {
        Session::Arguments arguments;
        arguments.cwd = recording.cwd;
        arguments.name = "replay";
        arguments.id = recording.tile;
        Session::Services services;
        services.loop = &loop;
        services.store = &store;
        services.notifications = &notifications_;
        services.home = "/nowhere";
        services.startChild = false;
        session_ = Session::open(arguments, services);
        session_->view().resize(recording.cols, recording.rows);
    }
    void output(std::span<const uint8_t> bytes) override { session_->view().dataReceived(bytes); }
    void input(std::span<const uint8_t> bytes) override { session_->view().send(bytes); }
    void hook(const std::string& event, const nlohmann::json& body) override { session_->handleHook(event, body); }
    void exit(int rawStatus) override { session_->processTerminated(session_->view(), rawStatus); }
    void resize(int cols, int rows) override { session_->view().resize(cols, rows); }
    SessionStatus status() const override { return session_->status(); }
    bool finished() const override { return session_->finished(); }
    std::string tool() const override { return session_->tool(); }
    Session& session() { return *session_; }

private:
    platform::runtime::NotificationCenter notifications_;
    std::shared_ptr<Session> session_;
};

std::vector<std::string> statusesOf(const testing::ReplayResult& result);

testing::ReplayResult replayRecording(const testing::SessionRecording& recording) {
    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    SessionTarget target(recording, loop, store);
    return testing::replay(recording, loop, target);
}

testing::ReplayResult replayFile(const std::string& path) {
    std::string error;
    const auto recording = testing::readSessionRecording(path, &error);
    EXPECT_TRUE(recording) << error;
    if (!recording) return {};
    return replayRecording(*recording);
}

TEST(SessionReplayTest, TheRecordingsGiveTheirTimelines) {
    struct Case {
        const char* file;
        std::vector<std::string> statuses;
    } const cases[] = {
        {"fake-session.jsonl",
         {"busy", "idle", "busy", "idle+", "busy", "waiting", "busy", "idle+", "busy", "idle", "exited"}},
        // 50 x 7, where the CLI draws no footer and so no hint: a turn zoomed
        // and back while it streams, an approved question, Escape while it
        // streams, Ctrl+C during its tool.
        {"fake-small.jsonl",
         {"busy", "idle", "busy", "idle+", "busy", "waiting", "busy", "idle+", "busy", "idle", "busy", "idle", "exited"}},
        // 50 x 7 again, a tool the CLI runs without asking (sleep 20) and Ctrl+C 5.6 s into it: the
        // interrupt is drawn over the tool's line where it changed, its corner mark not written
        // again. Idle within a second of the key.
        {"fake-small-tool-interrupt.jsonl", {"busy", "idle", "busy", "idle", "exited"}},
        // The real CLI, started with a name (its prompt box's rule carries it), at two tile widths:
        // a prompt "1. fix the tests" it echoes, answers showing a menu ("❯ 1. Dark mode", "› 1."),
        // a list that begins "1. Yes", a code block with a themed shell prompt ("~/proj ❯ 1. make"),
        // a slow answer to "1. slow one": each turn ends idle and finished, nobody asked.
        {"claude-2.1.328-transcript-100x30.jsonl",
         {"busy", "idle", "busy", "idle+", "busy", "idle+", "busy", "idle+", "busy", "idle+", "busy", "idle+", "exited+"}},
        {"claude-2.1.328-transcript-50x24.jsonl",
         {"busy", "idle", "busy", "idle+", "busy", "idle+", "busy", "idle+", "busy", "idle+", "busy", "idle+", "exited+"}},
        // Its first run: the text style to pick from a list without numbers, the security notes,
        // the folder-trust question: it waits on the user throughout, then its prompt box.
        {"claude-2.1.328-first-run-100x30.jsonl", {"busy", "waiting", "idle", "exited"}},
        {"claude-2.1.328-first-run-50x24.jsonl", {"busy", "waiting", "idle", "exited"}},
        // Asked in place of its prompt box: a permission (manual mode), then the /model menu.
        {"claude-2.1.328-questions-100x30.jsonl", {"busy", "idle", "busy", "waiting", "idle+", "waiting+", "idle+", "exited+"}},
        // An answer with a table ("│ > 1 GB │ stream it │" under "├──┼──┤"), then a permission while
        // it stands on the screen: waiting as the question shows, not when the CLI's hook says so 6 s
        // later. Escape refuses it.
        {"claude-2.1.328-table-question-100x30.jsonl", {"busy", "idle", "busy", "waiting", "idle", "exited"}},
        // Typed into the box, unsent, at two widths: a rule, a table's row, then "Do you want to
        // proceed?" under them. Nobody asked.
        {"claude-2.1.328-typed-in-the-box-100x30.jsonl", {"busy", "idle", "exited"}},
        {"claude-2.1.328-typed-in-the-box-50x24.jsonl", {"busy", "idle", "exited"}},
        // An answer ending "Would you like to go on with it?", then "?": the shortcuts, 14 rows
        // under the box at 50 columns. Still idle.
        {"claude-2.1.328-shortcuts-under-the-box-50x24.jsonl", {"busy", "idle", "busy", "idle+", "exited+"}},
        // The shortcuts under the box, the command list ("/") and the file list ("@") over it, at
        // their heights in a tall tile.
        {"claude-2.1.328-lists-120x50.jsonl", {"busy", "idle", "exited"}},
    };
    for (const Case& c : cases) {
        const auto result = replayFile(std::string(QUILTDECK_TEST_DATA "/sessions/") + c.file);
        EXPECT_TRUE(result.misses.empty()) << c.file << ": " << ::testing::PrintToString(result.misses) << "\n"
                                           << result.describe();
        EXPECT_EQ(statusesOf(result), c.statuses) << c.file << "\n" << result.describe();
    }
}

// The real CLI with a settings file it cannot read, left by "Exit and fix manually": the card says
// what was wrong, not the dialog's choices and key hint it ended at.
TEST(SessionReplayTest, ACLIThatEndsAtItsSettingsErrorSaysWhy) {
    std::string error;
    const auto recording =
        testing::readSessionRecording(QUILTDECK_TEST_DATA "/sessions/claude-2.1.328-settings-error-100x30.jsonl", &error);
    ASSERT_TRUE(recording) << error;
    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    SessionTarget target(*recording, loop, store);
    testing::replay(*recording, loop, target);
    EXPECT_EQ(target.session().lastWords(),
              "\u2514 Invalid or malformed JSON (line 1, column 40)\n"
              "Files with errors are skipped entirely, not just the invalid settings.");
}

// Without QUILTDECK_REPLAY, the committed recording once more.
TEST(SessionReplayTest, TheNamedRecordingMeetsItsExpectations) {
    const char* named = std::getenv("QUILTDECK_REPLAY");
    const std::string path = named && *named ? named : QUILTDECK_TEST_DATA "/sessions/fake-session.jsonl";
    const auto result = replayFile(path);
    std::cout << result.describe();
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses);
}

std::vector<std::string> statusesOf(const testing::ReplayResult& result) {
    std::vector<std::string> statuses;
    for (const auto& change : result.timeline)
        statuses.push_back(std::string(rawValue(change.status)) + (change.finished ? "+" : ""));
    return statuses;
}

// The fake on a terminal, recorded live: keys in the trust question's first
// moment are lost, an interrupt or a refused permission posts no hook, Ctrl+C
// at a permission question does nothing, and the screen alone gives the
// statuses the hooks do not.
TEST(SessionReplayTest, TheFakeRecordedLive) {
    testing::FakeClaudeHome home;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"FAKE_CLAUDE_TRUST", "1"}, {"FAKE_CLAUDE_TURN", "2.0"}, {"FAKE_CLAUDE_PERMISSION_NOTIFY", "0.4"},
             {"FAKE_CLAUDE_IDLE_NOTIFY", "1.0"}})
        home.setVariable(name, value);
    testing::TempFolder project;
    testing::writeFile(project / "script.jsonl", R"({"t":0.2,"in":"\r"}
{"t":1.0,"in":"\u001b[B"}
{"t":1.2,"in":"\r"}
{"t":2.0,"in":"hi\r"}
{"t":5.5,"in":"permission please\r"}
{"t":6.9,"in":"\u0003"}
{"t":7.2,"in":"\u001b"}
{"t":8.0,"in":"again\r"}
{"t":8.1,"in":"\u0003"}
{"t":9.5,"in":"/exit\r"}
)");
    platform::runtime::ChildProcess::Options process;
    process.arguments = {QUILTDECK_RECORDER, "--script", (project / "script.jsonl").string(),
                         (project / "out.jsonl").string()};
    process.directory = project.path().string();
    ASSERT_TRUE(ProcessCapture::run(process, std::chrono::seconds(60)));

    const auto recording = testing::readSessionRecording((project / "out.jsonl").string());
    ASSERT_TRUE(recording);
    std::vector<std::string> hooks;
    std::optional<int> exit;
    for (const auto& record : recording->records) {
        if (record.kind == testing::SessionRecord::Kind::hook)
            hooks.push_back(record.event + (record.body.contains("notification_type")
                                                ? ":" + record.body["notification_type"].get<std::string>()
                                                : ""));
        if (record.kind == testing::SessionRecord::Kind::exit) exit = record.status;
    }
    EXPECT_EQ(hooks, (std::vector<std::string>{"SessionStart", "UserPromptSubmit", "PreToolUse", "PostToolUse", "Stop",
                                               "Notification:idle_prompt", "UserPromptSubmit", "PreToolUse",
                                               "Notification:permission_prompt", "UserPromptSubmit"}));
    EXPECT_EQ(exit, 0);

    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    SessionTarget target(*recording, loop, store);
    const auto result = testing::replay(*recording, loop, target);
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "waiting", "idle", "busy", "idle+",
                                                            "busy", "waiting", "idle", "busy", "idle", "exited"}))
        << result.describe();
}

// --- Recordings made here: an assistant's screen at 120 x 38, its region at
// the bottom rewritten in place, the way the CLI draws it --------------------

using nlohmann::json;
using Kind = testing::SessionRecord::Kind;

std::string at(int row, const std::string& text) { return "\x1b[" + std::to_string(row) + ";1H" + text + "\x1b[K"; }
std::string rule() {
    std::string line;
    for (int i = 0; i < 119; ++i) line += "\xE2\x94\x80";
    return line;
}
// The region's rows go; what comes next is drawn from its top.
const std::string clearRegion = "\x1b[27;1H\x1b[J";
const std::string banner =
    "\x1b[H\x1b[2J" + at(1, " \xE2\x9C\xBB Claude\x1b[1CCode\x1b[1Cv2.1.0") + at(2, "   /work/project");
std::string promptBox(const std::string& footer) {
    return at(34, rule()) + at(35, "\xE2\x9D\xAF\xC2\xA0") + at(36, rule()) + at(37, footer);
}
const std::string idleRegion = promptBox("  ? for shortcuts");
std::string busyRegion(const std::string& toolLine) {
    return clearRegion + (toolLine.empty() ? "" : at(30, "\xE2\x8F\xBA " + toolLine)) +
           at(32, "\xE2\x9C\xBB Running\xE2\x80\xA6") + promptBox("  esc to interrupt");
}
// The spinner's glyph alone, as a redraw writes it.
std::string spinner(int frame) {
    static const char* const glyphs[] = {"\xC2\xB7", "\xE2\x9C\xA2", "\xE2\x9C\xB3", "\xE2\x9C\xB6"};
    return std::string("\x1b[32;1H") + glyphs[frame % 4];
}
const std::string dialog = clearRegion + at(27, rule()) + at(28, " \xE2\x97\x8F Bash command") + at(29, "   sleep 12") +
                           at(31, " Do you want to proceed?") + at(32, " \xE2\x9D\xAF 1. Yes") +
                           at(33, "   2. Yes, and don't ask again for sleep commands") +
                           at(34, "   3. No, and tell Claude what to do differently (esc)") + at(36, " Esc to cancel");
std::string blink(int frame) { return frame % 2 ? "\x1b[28;2H\xE2\x97\x8F" : "\x1b[28;2H "; }
// The question hides the cursor, moves it to its pointer and shows it again.
std::string cursorRedraw(int) { return "\x1b[?25l\x1b[32;2H\x1b[?25h"; }
const std::string interrupted =
    clearRegion + at(27, "  \xE2\x8E\xBF  Interrupted \xC2\xB7 What should Claude do instead?") + idleRegion;
const json sleepTool = {{"tool_name", "Bash"}, {"tool_input", {{"command", "sleep 12"}}}};
const json permission = {{"notification_type", "permission_prompt"}};

class Script {
public:
    Script() {
        recording_.tile = "replayed-tile";
        recording_.cwd = "/work/project";
    }
    Script& out(double t, const std::string& bytes) { return add(t, Kind::output, bytes); }
    Script& in(double t, const std::string& bytes) { return add(t, Kind::input, bytes); }
    Script& hook(double t, const std::string& event, const json& body = json::object()) {
        testing::SessionRecord record;
        record.t = t;
        record.kind = Kind::hook;
        record.event = event;
        record.body = body;
        recording_.records.push_back(std::move(record));
        return *this;
    }
    Script& expect(double t, SessionStatus status, std::optional<std::string> tool = std::nullopt) {
        testing::SessionRecord record;
        record.t = t;
        record.kind = Kind::expect;
        record.event = rawValue(status);
        record.tool = std::move(tool);
        recording_.records.push_back(std::move(record));
        return *this;
    }
    // `frame(n)` every `period` seconds from `from`, until before `to`.
    Script& every(double from, double to, double period, const std::function<std::string(int)>& frame) {
        int n = 0;
        for (double t = from; t < to - 1e-9; t = from + ++n * period) out(t, frame(n));
        return *this;
    }
    // The banner and the prompt, then a turn that starts at 1.0 and runs
    // `sleep 12` from 1.5, or asks first: its region drawn 20 ms after each
    // hook, the spinner turning every 110 ms until `spinUntil`.
    Script& toolTurn(bool asks, double spinUntil = 0) {
        out(0, banner + idleRegion).hook(0.05, "SessionStart");
        hook(1.0, "UserPromptSubmit", {{"prompt", "wait a while"}}).out(1.02, busyRegion(""));
        every(1.13, 1.5, 0.11, spinner).hook(1.5, "PreToolUse", sleepTool);
        return asks ? out(1.52, dialog) : out(1.52, busyRegion("Bash(sleep 12)")).every(1.63, spinUntil, 0.11, spinner);
    }
    testing::SessionRecording recording() const {
        testing::SessionRecording sorted = recording_;
        std::stable_sort(sorted.records.begin(), sorted.records.end(),
                         [](const auto& a, const auto& b) { return a.t < b.t; });
        return sorted;
    }

private:
    Script& add(double t, Kind kind, const std::string& bytes) {
        testing::SessionRecord record;
        record.t = t;
        record.kind = kind;
        record.bytes.assign(bytes.begin(), bytes.end());
        recording_.records.push_back(std::move(record));
        return *this;
    }
    testing::SessionRecording recording_;
};

// The timeline from `from` on.
std::vector<testing::ReplayResult::Change> changesFrom(const testing::ReplayResult& result, double from) {
    std::vector<testing::ReplayResult::Change> changes;
    for (const auto& change : result.timeline)
        if (change.t >= from) changes.push_back(change);
    return changes;
}

// Return at the question: the tool runs 5 s with its spinner redrawn every
// 110 ms. The tile is busy within a second, not when the tool ends.
TEST(SessionReplayScripts, AnApprovedToolShowsWorkWithinASecondOfReturn) {
    Script script;
    script.toolTurn(true).every(2.12, 5.0, 0.6, blink).hook(4.0, "Notification", permission);
    script.in(5.0, "\r").out(5.03, busyRegion("Bash(sleep 12)")).every(5.14, 10.0, 0.11, spinner);
    script.hook(10.1, "PostToolUse").out(10.2, clearRegion + at(27, "\xE2\x8F\xBA Done.") + idleRegion);
    script.hook(10.2, "Stop");
    script.expect(2.0, SessionStatus::waiting).expect(4.95, SessionStatus::waiting);
    for (double t : {6.0, 7.5, 9.0, 10.05}) script.expect(t, SessionStatus::busy);
    const auto result = replayRecording(script.recording());
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses) << "\n" << result.describe();
    const auto after = changesFrom(result, 5.0);
    ASSERT_GE(after.size(), 2u) << result.describe();
    EXPECT_EQ(after[0].status, SessionStatus::busy) << result.describe();
    EXPECT_LE(after[0].t, 6.0) << result.describe();
    EXPECT_EQ(after[1].status, SessionStatus::idle) << result.describe();
    EXPECT_GE(after[1].t, 10.2) << result.describe();
}

// The question drawn in pieces with pauses between them, its Notification
// (naming no tool) 7 s later, then Return: working until the question shows,
// and the tool asked about kept all along.
TEST(SessionReplayScripts, AQuestionDrawnInPiecesKeepsWorkAndItsTool) {
    const std::string tool = "Bash: sleep 12";
    const std::string bashTitle = at(28, " \xE2\x97\x8F Bash command") + at(29, "   sleep 12");
    Script script;
    script.toolTurn(false, 1.5);
    script.out(1.52, clearRegion + at(27, rule())).out(1.93, bashTitle).out(2.34, dialog);
    script.every(2.94, 9.4, 0.6, blink).hook(9.34, "Notification", permission);
    script.in(10.0, "\r").out(10.03, busyRegion("Bash(sleep 12)")).every(10.14, 12.0, 0.11, spinner);
    script.hook(12.0, "PostToolUse").out(12.1, clearRegion + at(27, "\xE2\x8F\xBA Done.") + idleRegion);
    script.hook(12.1, "Stop");
    for (double t : {1.6, 1.9, 2.3, 2.6}) script.expect(t, SessionStatus::busy, tool);
    for (double t : {2.8, 9.3, 9.4, 9.9}) script.expect(t, SessionStatus::waiting, tool);
    for (double t : {10.6, 11.9}) script.expect(t, SessionStatus::busy, tool);
    const auto result = replayRecording(script.recording());
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses) << "\n" << result.describe();
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "busy", "waiting", "busy", "idle+"}))
        << result.describe();
}

// Ctrl+C at a question does nothing there: the question stays, its cursor
// redrawn for a minute, and so does waiting. Escape ends it.
TEST(SessionReplayScripts, CtrlCAtAQuestionKeepsItWaitingUntilEscape) {
    Script script;
    script.toolTurn(true).hook(2.4, "Notification", permission);
    script.in(3.0, "\x03").every(3.05, 63.0, 0.5, cursorRedraw);
    script.in(63.5, "\x1b").out(63.58, interrupted);
    for (double t : {2.0, 3.2, 3.7, 4.5, 10.0, 30.0, 63.4}) script.expect(t, SessionStatus::waiting);
    script.expect(64.5, SessionStatus::idle, "");
    const auto result = replayRecording(script.recording());
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses) << "\n" << result.describe();
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "busy", "waiting", "idle"}))
        << result.describe();
    const auto after = changesFrom(result, 63.5);
    ASSERT_EQ(after.size(), 1u) << result.describe();
    EXPECT_LE(after[0].t, 64.5) << result.describe();
}

// The prompt's hook comes 0.34 s after the last echo, its turn drawn 20 ms
// later: busy from the hook to the end of the turn, without an idle between.
TEST(SessionReplayScripts, APromptsHookRightAfterItsEchoShowsNoIdleBetween) {
    Script script;
    script.out(0, banner + idleRegion).hook(0.05, "SessionStart");
    const std::string typed = "list the files";
    for (size_t i = 0; i < typed.size(); ++i) {
        const double t = 1.0 + 0.05 * static_cast<double>(i);
        script.in(t, typed.substr(i, 1)).out(t + 0.01, at(35, "\xE2\x9D\xAF\xC2\xA0" + typed.substr(0, i + 1)));
    }
    script.in(1.8, "\r").out(1.8, at(35, "\xE2\x9D\xAF\xC2\xA0"));
    script.hook(2.14, "UserPromptSubmit", {{"prompt", typed}});
    script.out(2.16, at(25, "> " + typed) + busyRegion("")).every(2.27, 4.0, 0.11, spinner);
    script.out(4.0, clearRegion + at(27, "\xE2\x8F\xBA Three files.") + idleRegion).hook(4.0, "Stop");
    const auto result = replayRecording(script.recording());
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "busy", "idle+"})) << result.describe();
    const auto after = changesFrom(result, 1.8);
    ASSERT_EQ(after.size(), 2u) << result.describe();
    EXPECT_NEAR(after[0].t, 2.14, 1e-6) << result.describe();
    EXPECT_NEAR(after[1].t, 4.0, 1e-6) << result.describe();
}

// An interrupt posts no hook: the settle that finds the prompt again ends the
// turn, and the tool with it.
TEST(SessionReplayScripts, WhateverEndsATurnClearsItsTool) {
    struct Case {
        const char* name;
        bool atQuestion;
        std::string key;
        SessionStatus before;
    } const cases[] = {
        // The wall's Stop (Ctrl+Shift+S) hands the tile an Escape.
        {"Stop", false, "\x1b", SessionStatus::busy},
        {"Escape during the tool", false, "\x1b", SessionStatus::busy},
        {"Ctrl+C during the tool", false, "\x03", SessionStatus::busy},
        {"Escape at the question", true, "\x1b", SessionStatus::waiting},
    };
    for (const Case& c : cases) {
        Script script;
        script.toolTurn(c.atQuestion, 3.0);
        if (c.atQuestion) script.every(2.12, 3.0, 0.6, blink);
        script.expect(2.9, c.before, "Bash: sleep 12");
        script.in(3.0, c.key).out(3.08, interrupted).expect(4.0, SessionStatus::idle, "");
        // Long after, as the user finds the tile.
        script.expect(60.0, SessionStatus::idle, "");
        const auto result = replayRecording(script.recording());
        EXPECT_TRUE(result.misses.empty()) << c.name << ": " << ::testing::PrintToString(result.misses) << "\n"
                                           << result.describe();
    }
}
}  // namespace
}  // namespace quiltdeck
