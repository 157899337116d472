#include "quiltdeck/sessions/Session.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Scroller.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/HookBody.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/SessionLaunch.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Theme.h"
#include "support/FakeClaudeHome.h"
#include "vantel/view/TerminalProgressBarView.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::span<const uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Sessions without a child, on the virtual clock: the test feeds them.
class SessionTest : public ::testing::Test {
protected:
    std::shared_ptr<Session> open(Session::Arguments arguments, bool startChild = false) {
        if (arguments.cwd.empty()) arguments.cwd = (folder.path() / "project").string();
        Session::Services services;
        services.loop = &loop;
        services.store = &store;
        services.notifications = &notifications;
        services.home = folder.path().string();
        services.shell = "/bin/bash";
        services.startChild = startChild;
        services.spawn = spawn;
        services.capabilities = [] { return ClaudeCapabilities::Snapshot{true, {"--settings"}}; };
        auto session = Session::open(std::move(arguments), services);
        session->onResumeFailed = [this] { ++resumeFailures; };
        return session;
    }
    void exitWith(Session& session, int32_t raw) {
        session.processTerminated(session.view(), raw);
        loop.runPending();
    }
    std::string logged() {
        Log::flush();
        return testing::logContents().substr(logStart);
    }

    size_t logStart = testing::logContents().size();
    testing::TempFolder folder;
    testing::TempFolder stateFolder;
    Store store{stateFolder.path()};
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::runtime::NotificationCenter notifications{&loop};
    Session::Services::Spawn spawn;
    int resumeFailures = 0;
};

struct OpenCase {
    const char* name;
    Session::Arguments arguments;
    std::string storedName;  // for the folder, when not empty
    std::string expectName, expectTitle;
    bool pinned = false, dirty = false;
    SessionStatus status = SessionStatus::busy;
    friend void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }
};

Session::Arguments shell(std::string name, std::optional<std::string> command = {}) {
    Session::Arguments a;
    a.name = std::move(name);
    a.isShell = true;
    a.command = std::move(command);
    return a;
}
Session::Arguments assistant(std::optional<std::string> title = {}, bool userNamed = false) {
    Session::Arguments a;
    a.name = "project";
    a.title = std::move(title);
    a.userNamed = userNamed;
    return a;
}

class SessionOpen : public SessionTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(SessionOpen, NamesTitlesAndStatus) {
    const auto& c = GetParam();
    if (!c.storedName.empty()) store.setTileName((folder.path() / "project").string(), c.storedName);
    auto session = open(c.arguments);
    EXPECT_EQ(session->name(), c.expectName);
    EXPECT_EQ(session->title().text, c.expectTitle);
    EXPECT_EQ(session->title().pinned, c.pinned);
    EXPECT_EQ(session->title().userNamed, c.pinned);
    EXPECT_EQ(session->title().dirty, c.dirty);
    EXPECT_EQ(session->title().lastTitleAt, c.pinned ? StatusMachine::Title::distantFuture : StatusMachine::Title::distantPast);
    EXPECT_EQ(session->status(), c.status);
    EXPECT_EQ(session->id().size(), 36u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionOpen,
    ::testing::Values(OpenCase{"ShellNamedShell", shell("shell"), "", "shell", "shell", false, false, SessionStatus::idle},
                      OpenCase{"ShellWithAnotherName", shell("work"), "", "work", "project", false, false,
                               SessionStatus::idle},
                      OpenCase{"ShellWithACommand", shell("tests", "make test"), "", "tests", "tests", false, false,
                               SessionStatus::idle},
                      OpenCase{"AssistantTakesTheFolder", assistant(), "", "project", "Project"},
                      OpenCase{"StoredFolderName", assistant(), "Backend", "project", "Backend", true},
                      OpenCase{"TitleNotUserNamed", assistant("Refactor"), "", "project", "Refactor", false, true},
                      OpenCase{"TitleUserNamed", assistant("Refactor", true), "", "project", "Refactor", true}),
    [](const auto& info) { return std::string(info.param.name); });

// What the card shows of a program that ended with an error: its last lines as lines, however
// many rows they wrapped over, above the choices and key hint of a question it ended at; cells it
// never wrote (a tab's, a cursor move's) as blanks, there and in the screen's text.
TEST_F(SessionTest, TheLastWordsAreTheProgramsLastLines) {
    const std::string longLine = "error: " + std::string(400, 'x') + " end of the message";
    const struct {
        const char* name;
        std::string output;
        std::string words;
        std::string screenStart = {};
    } cases[] = {
        {"a line over many rows", "starting\r\n" + longLine + "\r\n", "starting\n" + longLine},
        {"a dialog left by its choice",
         "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\r\n  Settings Error\r\n\r\n  /h/.claude/settings.json\r\n"
         "  \xe2\x94\x94 Invalid or malformed JSON (line 1, column 40)\r\n\r\n  Files with errors are skipped.\r\n\r\n"
         "    1. Fix with Claude\r\n  \xe2\x9d\xaf 2. Exit and fix manually\r\n    3. Continue without these settings\r\n\r\n"
         "  Enter to confirm \xc2\xb7 Esc to cancel\r\n",
         "\xe2\x94\x94 Invalid or malformed JSON (line 1, column 40)\nFiles with errors are skipped."},
        {"gaps drawn by moves", "Hello\x1b[Cfrom\x1b[Cthe\x1b[Cstub\r\na\tb\r\n", "Hello from the stub\na       b",
         "Hello from the stub\na       b"},
        {"only choices", "  1. Yes\r\n  2. No\r\n", "1. Yes\n2. No"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = open(assistant());
        session->view().dataReceived(bytes(c.output));
        if (!c.screenStart.empty()) {
            EXPECT_TRUE(session->screenText().starts_with(c.screenStart)) << session->screenText();
        }
        EXPECT_EQ(session->screenText().find('\0'), std::string::npos);
        exitWith(*session, 1 << 8);
        EXPECT_EQ(session->lastWords(), c.words);
    }
}

TEST_F(SessionTest, ExitCodesAndTheirTexts) {
    // Wait statuses: an exit code, or the signal that ended it (a signal is no exit code).
    // A program that caught a signal and exits with 128 + its number, as a shell tells it.
    const std::vector<std::pair<int32_t, std::string>> cases = {
        {0, "session ended"}, {256, "session ended with error 1"}, {15, "session ended by signal SIGTERM"},
        {9, "session ended by signal SIGKILL"}, {127 << 8, "session ended with error 127"},
        {143 << 8, "session ended by signal SIGTERM"}, {130 << 8, "session ended by signal SIGINT"},
        {128 << 8, "session ended with error 128"}, {255 << 8, "session ended with error 255"}};
    for (const auto& [raw, text] : cases) {
        auto session = open(assistant());
        // What it said last: the card shows it over the screen it veils, after an error code only.
        session->view().dataReceived(bytes("\r\n  starting\r\nerror: unknown option '--bogus'\r\n  (see --help)\r\n"));
        exitWith(*session, raw);
        const bool error = raw >= 256 && raw != (143 << 8) && raw != (130 << 8);
        EXPECT_EQ(session->lastWords(), error ? "error: unknown option '--bogus'\n(see --help)" : "") << raw;
        EXPECT_EQ(session->status(), SessionStatus::exited) << raw;
        EXPECT_EQ(session->tool(), text);
        EXPECT_TRUE(session->booted());
        // Said in the language of the moment, not in the one it ended in.
        Lang::setCurrent(Lang::de);
        EXPECT_EQ(session->tool(), raw == 0                                   ? "Sitzung beendet"
                                   : raw < 256                                  ? t("session_ended_signal", {Session::signalName(raw)})
                                   : raw == (143 << 8) || raw == (130 << 8) ? t("session_ended_signal", {Session::signalName((raw >> 8) - 128)})
                                                                                : t("session_ended_code", {raw >> 8}));
        EXPECT_NE(session->tool(), text);
        Lang::setCurrent(Lang::en);
    }
    EXPECT_NE(logged().find(" code 1\n"), std::string::npos);
    EXPECT_NE(logged().find(" by signal 9 (SIGKILL)\n"), std::string::npos);
    EXPECT_NE(logged().find(" code 143 (SIGTERM)\n"), std::string::npos);
}

TEST_F(SessionTest, AGoneConversationHandsOverInsteadOfEnding) {
    Session::Arguments resumed = assistant();
    resumed.resume = "gone-id";
    auto session = open(resumed);
    EXPECT_EQ(session->claudeSessionId(), "gone-id");
    // What the user types meanwhile is kept for the tile that starts afresh.
    session->view().send(std::string_view("fix the "));
    session->view().send(std::string_view("build\r"));
    // The message, a settle that empties the output, then the exit.
    session->view().dataReceived(bytes("No conversation found with session ID: gone-id\r\n"));
    loop.advance(2s);
    exitWith(*session, 1 << 8);
    EXPECT_EQ(resumeFailures, 1);
    EXPECT_NE(session->status(), SessionStatus::exited);
    EXPECT_EQ(session->claudeSessionId(), std::nullopt);
    EXPECT_EQ(session->typedBeforeStart(), "fix the build\r");
    EXPECT_NE(logged().find(": saved conversation is gone, starting fresh"), std::string::npos);

    // The message and the exit in one go: the exit waits for the output before it.
    auto quick = open(resumed);
    quick->view().dataReceived(bytes("No conversation "));
    quick->view().dataReceived(bytes("found\r\n"));
    quick->processTerminated(quick->view(), 1 << 8);
    loop.runPending();
    EXPECT_EQ(resumeFailures, 2);

    // The conversation is on disk: the CLI failed for another cause, and the tile ends offering
    // to continue it once that is mended, rather than starting afresh.
    Session::Arguments kept = assistant();
    kept.resume = "kept-id";
    testing::makeFile(folder / ".claude" / "projects" / SessionLaunch::folderKey((folder / "project").string()) / "kept-id.jsonl", "{}\n");
    auto failed = open(kept);
    failed->view().dataReceived(bytes("No conversation found with session ID: kept-id\r\n"));
    exitWith(*failed, 1 << 8);
    EXPECT_EQ(resumeFailures, 2);
    EXPECT_EQ(failed->status(), SessionStatus::exited);
    EXPECT_TRUE(failed->hasSavedConversation());
    EXPECT_EQ(failed->claudeSessionId(), "kept-id");

    // Without a resume id, the same exit ends the tile.
    auto fresh = open(assistant());
    fresh->view().send(std::string_view("typed"));
    fresh->view().dataReceived(bytes("No conversation found\r\n"));
    exitWith(*fresh, 1 << 8);
    EXPECT_EQ(fresh->status(), SessionStatus::exited);
    EXPECT_EQ(resumeFailures, 2);
    EXPECT_EQ(fresh->typedBeforeStart(), "");
}

// What is typed into a tile started to resume is kept from the start, until the tile comes up,
// and handed over once.
TEST_F(SessionTest, TypedAheadIsAPrefixKeptUntilTheTileComesUp) {
    Session::Arguments resumed = assistant();
    resumed.resume = "some-id";
    const std::string nearlyAll(Session::typedAheadLimit - 2, 'a');
    struct Case {
        const char* name;
        std::function<void(Session&)> steps;
        std::string kept;
    };
    const Case cases[] = {
        {"a piece that does not fit ends the record",
         [&](Session& session) {
             session.view().send(std::string_view(nearlyAll));
             session.view().send(std::string_view("bcd"));
             session.view().send(std::string_view("e"));
         },
         nearlyAll},
        {"the tile up ends it",
         [&](Session& session) {
             session.view().send(std::string_view("before"));
             session.view().dataReceived(bytes("Claude Code v2.1.3\r\n\xe2\x9d\xaf "));
             loop.runPending();
             ASSERT_TRUE(session.booted());
             session.view().send(std::string_view("after"));
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = open(resumed);
        c.steps(*session);
        EXPECT_EQ(session->typedBeforeStart().size(), c.kept.size());
        EXPECT_TRUE(session->typedBeforeStart() == c.kept);
    }
    auto session = open(resumed);
    session->view().send(std::string_view("once"));
    EXPECT_EQ(session->takeTypedBeforeStart(), "once");
    session->view().send(std::string_view("more"));
    EXPECT_EQ(session->takeTypedBeforeStart(), "");
}

// The tile that starts afresh in a gone conversation's place hands its child what was typed
// into the other one first.
TEST_F(SessionTest, TypedAheadReachesTheChildFirst) {
    const auto got = folder.path() / "got";
    spawn = [&](TappedTerminalView& view, const std::string&, const std::vector<std::string>&,
                const std::vector<std::string>& environment, const std::string& cwd) {
        view.startProcess("/bin/sh", {"-c", "IFS= read -r line; printf %s \"$line\" >'" + got.string() + "'"}, environment,
                          std::nullopt, cwd);
    };
    Session::Arguments fresh = assistant();
    fresh.typedAhead = "fix the build\r";
    auto session = open(fresh, true);
    session->view().send(std::string_view("later\r"));
    for (int i = 0; i < 500 && testing::readFile(got).empty(); ++i) {
        loop.runPending();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(testing::readFile(got), "fix the build");
    session->kill();
}

// "Continue where it left off" stands for a conversation the assistant kept: a tile ended before
// its first prompt has an id from its start hook, but nothing saved under it.
TEST_F(SessionTest, ASavedConversationIsOneWhoseFileIsThere) {
    const std::string cwd = (folder.path() / "my project").string();
    const auto conversations = folder.path() / ".claude/projects" / SessionLaunch::folderKey(cwd);
    struct Case {
        const char* name;
        std::optional<std::string> id;
        bool continueLatest;
        std::vector<std::string> files;  // in the folder's conversations
        bool saved;
        bool isShell = false;
    };
    const Case cases[] = {
        {"its file", "kept", false, {"kept.jsonl"}, true},
        {"no file", "new", false, {"kept.jsonl"}, false},
        {"a folder of its name", "dir", false, {"dir.jsonl/"}, false},
        {"an id that leaves the folder", "../kept", false, {"kept.jsonl"}, false},
        {"the latest", std::nullopt, true, {"a.jsonl"}, true},
        {"the latest of none", std::nullopt, true, {"notes.txt"}, false},
        {"nothing to continue", std::nullopt, false, {"a.jsonl"}, false},
        {"a shell", "kept", false, {"kept.jsonl"}, false, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(conversations);
        std::filesystem::create_directories(conversations);
        for (const auto& file : c.files) {
            if (file.ends_with("/")) std::filesystem::create_directories(conversations / file);
            else testing::writeFile(conversations / file, "{}\n");
        }
        Session::Arguments arguments = c.isShell ? shell("shell") : assistant();
        arguments.cwd = cwd;
        arguments.resume = c.id;
        arguments.continueLatest = c.continueLatest;
        auto session = open(arguments);
        if (c.isShell) session->handleHook("SessionStart", json{{"session_id", "kept"}});
        EXPECT_EQ(session->hasSavedConversation(), c.saved) << c.name;
    }
}

// A narrow terminal gets the message's words placed with cursor moves to
// their columns and wrapped by the CLI; the output comes in pieces of any size.
TEST_F(SessionTest, AGoneConversationIsSeenAtEveryWidth) {
    const std::string words[] = {"No", "conversation", "found", "with", "session", "ID:",
                                 "5f0c4a8e-1b7d-4c3e-9a2f-6d8e0b1c2a3f"};
    auto placed = [&](size_t cols, bool moves) {
        std::string text;
        size_t column = 0;
        for (const auto& word : words) {
            if (column > 0 && column + 1 + word.size() > cols) text += "\r\n", column = 0;
            if (column > 0) text += moves ? "\x1b[" + std::to_string(column + 2) + "G" : " ", ++column;
            text += word;
            column += word.size();
        }
        return text + "\r\n";
    };
    Session::Arguments resumed = assistant();
    resumed.resume = "5f0c4a8e-1b7d-4c3e-9a2f-6d8e0b1c2a3f";
    for (const auto& [cols, moves] : std::vector<std::pair<size_t, bool>>{{40, true}, {50, true}, {70, true}, {120, true}, {120, false}}) {
        const std::string text = placed(cols, moves);
        for (const size_t piece : {text.size(), size_t(1), size_t(3)}) {
            const int before = resumeFailures;
            auto session = open(resumed);
            session->view().resize(static_cast<int>(cols), 7);
            for (size_t at = 0; at < text.size(); at += piece) session->view().dataReceived(bytes(text.substr(at, piece)));
            exitWith(*session, 1 << 8);
            EXPECT_EQ(resumeFailures, before + 1) << cols << (moves ? " with moves" : "") << ", pieces of " << piece;
        }
    }
}

TEST_F(SessionTest, AChildThatCannotStartEndsAsAFailedExec) {
    spawn = [](auto&...) {};  // as if the fork failed
    auto session = open(assistant(), true);
    EXPECT_EQ(session->status(), SessionStatus::busy);
    loop.runPending();
    EXPECT_EQ(session->status(), SessionStatus::exited);
    EXPECT_EQ(session->tool(), "session ended with error 127");
}

// A folder name with a line break or an escape stays on its line of the log.
TEST_F(SessionTest, AFolderNameIsLoggedOnOneLine) {
    spawn = [](auto&...) {};
    Session::Arguments arguments = shell("shell");
    arguments.cwd = (folder.path() / "two\nlines \x1b[31mred").string();
    auto session = open(arguments, true);
    const std::string log = logged();
    const size_t line = log.find(" in " + folder.path().string() + "/two\\nlines \\x1b[31mred\n");
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_NE(log.rfind("tile open ", line), std::string::npos);
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

TEST_F(SessionTest, TheTerminalTakesTheOutputFirst) {
    auto session = open(shell("shell"));
    session->view().onBytes = nullptr;
    session->view().dataReceived(bytes("hello\r\n  world"));
    const std::string screen = session->screenText();
    EXPECT_EQ(screen.substr(0, 14), "hello\n  world\n");
    EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), session->view().getTerminal().rows() - 1);
    std::string seen;
    session->view().onBytes = [&](std::span<const uint8_t> slice) {
        seen = session->screenText().substr(0, 5);
        (void)slice;
    };
    session->view().dataReceived(bytes("\x1b[Hjelly"));
    EXPECT_EQ(seen, "jelly");
}

TEST_F(SessionTest, ViewLooksAndBoots) {
    Theme::setMode(ThemeMode::light);
    Theme::resolve();
    auto session = open(assistant());
    auto& view = session->view();
    EXPECT_EQ(view.nativeBackgroundColor(), (platform::gfx::Rgba{24 / 255.0, 24 / 255.0, 28 / 255.0, 1}));
    // The grid follows the view's first frame; the view is then sized to fit it.
    const auto optimal = view.getOptimalFrameSize();
    EXPECT_EQ(view.frame().width, optimal.width);
    EXPECT_EQ(view.frame().height, optimal.height);
    EXPECT_EQ(view.getTerminal().options().scrollback, 8000);
    EXPECT_EQ(view.getTerminal().options().termName, "xterm-256color");
    auto scrollersHidden = [&] {
        for (auto* subview : view.subviews()) {
            const bool bar = dynamic_cast<platform::ui::Scroller*>(subview) ||
                             dynamic_cast<vantel::TerminalProgressBarView*>(subview);
            if (bar && !subview->isHidden()) return false;
        }
        return true;
    };
    EXPECT_TRUE(scrollersHidden());
    view.setFrameSize({500, 300});
    EXPECT_TRUE(scrollersHidden());
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();

    int boots = 0;
    session->onBoot = [&] { ++boots; };
    session->view().dataReceived(bytes("\x1b" "7\x1b" "8"));
    loop.advance(11s);
    EXPECT_FALSE(session->booted());
    EXPECT_EQ(session->status(), SessionStatus::busy) << "still starting";
    loop.advance(1s);
    EXPECT_TRUE(session->booted());
    EXPECT_EQ(boots, 1);
    // Given up on: the screen as it stands decides, and the log says why.
    loop.runPending();
    EXPECT_EQ(session->status(), SessionStatus::idle);
    EXPECT_NE(logged().find(" up: no start screen within 12 s; the screen decides\n"), std::string::npos);
}

// The start limit counts only time in which the tile's output could be read: a child that draws
// its banner at once, behind output the loop takes a byte at a time, comes up by its banner though
// that reaches the terminal after more than the limit.
TEST_F(SessionTest, ABannerHeldUnreadAcrossTheLimitBringsTheTileUp) {
    constexpr size_t filler = 8192;
    const std::string banner = "Claude Code v2.1.328\r\n";
    spawn = [&](TappedTerminalView& view, const std::string&, const std::vector<std::string>&,
                const std::vector<std::string>& environment, const std::string& cwd) {
        view.startProcess("/bin/sh", {"-c", "printf '%" + std::to_string(filler) + "s' ''; printf '" + banner + "'; exec sleep 60"},
                          environment, std::nullopt, cwd);
        // Each byte costs the loop 1.75 ms: the banner reaches the terminal after 14 s of it.
        view.onBytes = [this, tap = std::move(view.onBytes)](std::span<const uint8_t> bytes) {
            loop.skipTime(1750us * static_cast<int64_t>(bytes.size()));
            if (tap) tap(bytes);
        };
    };
    auto session = open(assistant(), true);
    auto& process = session->view().process();
    for (int i = 0; i < 1000 && process.outputWritten().value_or(0) < filler + banner.size() - 2; ++i)
        std::this_thread::sleep_for(10ms);
    const auto start = loop.now();
    for (int i = 0; i < 800 && !session->booted(); ++i) loop.advance(50ms);
    ASSERT_TRUE(session->booted());
    EXPECT_GT(loop.now() - start, Session::bootFallback);
    EXPECT_NE(logged().find(" up: the screen shows its banner\n"), std::string::npos) << logged();
    session->kill();
}

TEST_F(SessionTest, CommandTextAndEnvironment) {
    auto tile = open(shell("tests", "echo 'hi'"));
    EXPECT_EQ(tile->commandText(), SessionLaunch::shellCommand("echo 'hi'", "/bin/bash"));
    auto session = open(assistant());
    EXPECT_EQ(session->commandText(),
              std::string(ShellCommand::pathExport) + SessionLaunch::missingAssistantGuard("/bin/bash") +
                  "exec claude --settings " + ShellCommand::quoteForShell(HookTexts::hookSettings(session->id(), 0)));
    const auto env = session->environment();
    EXPECT_EQ(env.back(), "QUILTDECK_SESSION=" + session->id());
    EXPECT_EQ(env[env.size() - 2], "QUILTDECK=1");
}

// --- With the fake assistant, its hooks through the hook server -----------------------------

class SessionWithFake : public ::testing::Test {
protected:
    SessionWithFake() {
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"FAKE_CLAUDE_TURN", "0.8"}, {"FAKE_CLAUDE_PERMISSION_NOTIFY", "0.5"},
                 {"FAKE_CLAUDE_IDLE_NOTIFY", "30"}})
            home.setVariable(name, value);
        options.firstPort = options.lastPort = 0;
        options.loop = &loop;
        server = std::make_unique<HookServer>(options);
        server->start();
        server->onHook = [this](const std::string& tile, const std::string& event, const json& body) {
            for (auto& session : sessions) {
                if (session->id() == tile) return session->handleHook(event, body);
            }
        };
    }
    ~SessionWithFake() override {
        for (auto& session : sessions) session->kill();
        sessions.clear();
        server.reset();
    }
    std::shared_ptr<Session> open(std::optional<std::string> resume = {}, std::optional<std::string> cwd = {}) {
        Session::Arguments arguments;
        arguments.cwd = cwd.value_or(project.path().string());
        arguments.name = "fake";
        arguments.hookPort = server->port();
        arguments.resume = std::move(resume);
        Session::Services services;
        services.loop = &loop;
        services.store = &store;
        services.capabilities = [] { return ClaudeCapabilities::Snapshot{}; };
        sessions.push_back(Session::open(arguments, services));
        sessions.back()->onResumeFailed = [this] { ++resumeFailures; };
        return sessions.back();
    }
    bool waitFor(const std::function<bool()>& done, platform::runtime::Duration timeout = 15s) {
        return loop.runUntil(done, timeout);
    }
    bool waitFor(Session& session, SessionStatus status, bool finished = false) {
        return waitFor([&] { return session.status() == status && session.finished() == finished; });
    }

    testing::FakeClaudeHome home;
    testing::TempFolder project;
    testing::TempFolder stateFolder;
    Store store{stateFolder.path()};
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    HookServer::Options options;
    std::unique_ptr<HookServer> server;
    std::vector<std::shared_ptr<Session>> sessions;
    int resumeFailures = 0;
};

TEST_F(SessionWithFake, ATileThroughPromptsPermissionInterruptAndExit) {
    auto session = open();
    ASSERT_TRUE(waitFor([&] { return session->booted(); }));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));
    EXPECT_TRUE(session->claudeSessionId());

    session->view().send("list the files\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::busy));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle, true));
    EXPECT_EQ(session->title().text, "list the files");

    session->view().send("ask permission\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::waiting));
    session->view().send("\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::busy));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle, true));

    session->view().send("go on\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::busy));
    session->view().send("\x1b");
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));

    session->view().send("/exit\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::exited));
    EXPECT_EQ(session->tool(), "session ended");
}

// A start whose first bytes draw nothing is working until the assistant is up, however long.
TEST_F(SessionWithFake, ASlowStartWorksUntilTheAssistantIsUp) {
    home.setVariable("FAKE_CLAUDE_START_DELAY", "1.5");
    auto session = open();
    loop.runUntil([] { return false; }, 1s);
    EXPECT_FALSE(session->booted());
    EXPECT_EQ(session->status(), SessionStatus::busy);
    ASSERT_TRUE(waitFor([&] { return session->booted(); }));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));
}

// The assistant hands a pasted prompt to its hook wrapped; the title is the paste's text.
TEST_F(SessionWithFake, APastedFirstPromptTitlesTheTileByItsText) {
    auto session = open();
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));
    session->view().send("\x1b[200~fix the invoices\nof March\x1b[201~\r");
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle, true));
    EXPECT_EQ(session->title().text, "fix the invoices of March");
    EXPECT_EQ(session->lastPrompt().rfind("<pasted_content id=\"", 0), 0u) << session->lastPrompt();

    // A paste of 5 MB reaches the assistant whole, and its hook (through curl) brings the head of
    // it: the last prompt follows what was sent, and the title stays the first prompt's.
    std::string large;
    for (int i = 0; large.size() < 5'000'000; ++i) large += "line " + std::to_string(i) + " of the log\n";
    session->view().sendPaste(large, true);
    session->view().send("\r");
    ASSERT_TRUE(waitFor([&] { return session->lastPrompt().find("line 0 of the log") != std::string::npos; }, 60s));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle, true));
    EXPECT_EQ(session->lastPrompt().rfind("<pasted_content id=\"", 0), 0u);
    EXPECT_NE(session->lastPrompt().find("line 3000 of the log"), std::string::npos);
    EXPECT_LE(session->lastPrompt().size(), HookBody::stringLimit + 12);
    EXPECT_EQ(session->title().text, "fix the invoices of March");
    const auto hooks = home.calls().back().hooks;
    const auto submitted = std::find_if(hooks.rbegin(), hooks.rend(), [](const auto& hook) { return hook.event == "UserPromptSubmit"; });
    ASSERT_NE(submitted, hooks.rend());
    const std::string sent = nlohmann::json::parse(submitted->input).value("prompt", "");
    EXPECT_NE(sent.find(large), std::string::npos) << "the hook was sent the whole prompt";
}

// In the home folder, with the user's leave, the trust question is answered
// for them once, and the tile goes on to its prompt.
TEST_F(SessionWithFake, TheHomeFolderIsTrustedForTheUser) {
    home.setVariable("FAKE_CLAUDE_TRUST", "1");
    store.setAutoTrustHome(true);
    auto session = open(std::nullopt, home.path());
    ASSERT_TRUE(waitFor([&] { return session->booted(); }));
    ASSERT_TRUE(waitFor([&] { return testing::readFile(home.logPath()).find("\"trusted\":true") != std::string::npos; }));
    ASSERT_TRUE(waitFor([&] { return session->screenText().find("v2.1.328") != std::string::npos; }));
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));
}

TEST_F(SessionWithFake, KillEndsTheChildWithoutAnExitReport) {
    auto session = open();
    ASSERT_TRUE(waitFor(*session, SessionStatus::idle));
    const pid_t pid = session->view().process().shellPid();
    session->kill();
    EXPECT_TRUE(waitFor([&] { return ::kill(pid, 0) != 0; }));
    loop.runUntil([] { return false; }, 700ms);
    EXPECT_EQ(session->status(), SessionStatus::idle);
}

TEST_F(SessionWithFake, AMissingConversationRestartsTheTile) {
    for (const char* delay : {"0", "2"}) {
        home.setVariable("FAKE_CLAUDE_RESUME_EXIT_DELAY", delay);
        const int before = resumeFailures;
        auto session = open("no-such-conversation");
        ASSERT_TRUE(waitFor([&] { return resumeFailures > before; })) << delay;
        EXPECT_NE(session->status(), SessionStatus::exited);
    }
}

}  // namespace
}  // namespace quiltdeck
