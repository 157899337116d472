#include "quiltdeck/sessions/StatusMachine.h"

#include <gtest/gtest.h>

#include <unicode/uregex.h>

#include <nlohmann/json.hpp>
#include <random>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ScreenScrape.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Terminal.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using S = SessionStatus;

// Pieces of an assistant's screen, drawn the way it draws them: rows
// rewritten in place with cursor moves, the footer written once per turn.
const std::string idleFooter = "\x1b[38;3H? for shortcuts\x1b[K";
const std::string busyFooter = "\x1b[38;3Hesc to interrupt\x1b[K";
const std::string spinner = "\x1b[33;1H\xE2\x9C\xBB";
const std::string dialog =
    "\x1b[30;1H Bash command\x1b[31;1H Do\x1b[1Cyou\x1b[1Cwant\x1b[1Cto\x1b[1Cproceed?\x1b[32;1H \xE2\x9D\xAF 1. Yes"
    "\x1b[33;1H   2. Yes, and don't ask again\x1b[34;1H   3. No\x1b[38;3H\x1b[K";
const std::string dotOn = "\x1b[30;1H\xE2\x97\x8F";
const std::string dotOff = "\x1b[30;1H ";
const std::string dialogGone = "\x1b[30;1H\x1b[J";
const std::string interrupted = "\x1b[30;1H\xE2\x8E\xBF  Interrupted \xC2\xB7 What should Claude do instead?\x1b[K";
// The prompt between its rules, and what stands above it: the answer, a tip under the spinner.
const std::string rule = "\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80";
const std::string promptBox = "\x1b[34;1H" + rule + "\x1b[35;1H\xE2\x9D\xAF\xC2\xA0\x1b[36;1H" + rule + "\x1b[35;3H";
const std::string answerAsks =
    "\x1b[24;1H\xE2\x8F\xBA Do you want to keep the old table? Approve the plan and I go on:\x1b[25;3H1. Yes, keep it";
const std::string answerEnds = "\x1b[27;1HWould you like to see the diff?\x1b[35;3H";
// The tip cut at a small tile's edge, the hint with it.
// What an assistant prints first while it starts: the cursor saved and restored, no text.
const std::string cursorOnly = "\x1b" "7\x1b" "8\x1b[?25l\x1b" "7\x1b" "8";
const std::string banner = "\x1b[1;1H\xE2\x9C\xBB Claude\x1b[1CCode v2.1\x1b[2;3H/work/project";
// What it writes before it draws: modes, and the window title that names it.
const std::string titleFirst = "\x1b" "7\x1b[r\x1b" "8\x1b[?2004h\x1b]0;\xE2\x9C\xB3 Claude Code\x07\x1b[?1049h\x1b[2J\x1b[H";
const std::string boldBanner = "\x1b[2;12H\x1b[1mClaude Code\x1b[24G\x1b[22m\x1b[38;5;246mv2.1.328";
const std::string welcome = "\x1b[38;5;174mWelcome\x1b[9Gto\x1b[12GClaude\x1b[19GCode\x1b[24G\x1b[38;5;246mv2.1.328\r\r\n";
const std::string notice = "Claude Code might not be available in your country.\r\n";
// A login shell's message of the day: a screenful of text, none of it the assistant's.
const std::string motd = [] {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "The programs included with this system are free software; see the licence. \r\n";
    return text;
}();
const std::string pressEnter = "\x1b[2J\x1b[10;3HSign-in done.\x1b[12;3HPress Enter to continue\xE2\x80\xA6";
// The first run's question: a numbered list, the pointer on its first choice.
const std::string textStyle =
    "\x1b[2J\x1b[3;2HLet's get started.\x1b[5;2HChoose the text style that looks best with your terminal\x1b[6;2H"
    "To change this later, run /theme\x1b[8;2H\xE2\x9D\xAF 1. Dark mode \xE2\x9C\x94\x1b[9;4H2. Light mode\x1b[10;4H"
    "3. Dark mode (colorblind-friendly)";
// The same as the real one asks it: no numbers, the pointer on the ticked choice.
const std::string textStyleUnnumbered =
    "\x1b[2J\x1b[3;2HLet's get started.\x1b[5;2HChoose the text style that looks best with your terminal\x1b[6;2H"
    "To change this later, run /theme\x1b[8;2H\xE2\x9D\xAF \xE2\x9C\x94 Auto (match terminal)\x1b[9;6HDark mode\x1b[10;6H"
    "Light mode";
// The user's numbered prompt, echoed above a box whose rule carries the tile's name, after a turn.
const std::string echoedNumbered =
    "\x1b[20;1H\xE2\x9D\xAF 1. fix the tests\x1b[22;1H\xE2\x97\x8F Done.\x1b[34;1H" + rule + " p01 \xE2\x94\x80"
    "\x1b[35;1H\xE2\x9D\xAF\xC2\xA0\x1b[36;1H" + rule + "\x1b[35;3H";
// What the tile prints when the CLI is missing, before it gives a shell.
const std::string notInstalled =
    "\r\n  Claude Code is not installed on this computer.\r\n  Install it with:  curl -fsSL https://claude.ai/install.sh | bash\r\n"
    "  then sign in with:  claude auth login\r\n\r\n$ ";
// What the user typed into the prompt box: a numbered line asks nobody.
const std::string typedNumbered = promptBox + "\x1b[35;3H2. fix the build";
const std::string tipCut =
    "\x1b[31;1H\xE2\x9C\xBB Thinking\xE2\x80\xA6\x1b[32;3H\xE2\x8E\xBF  Tip: Use /permissions to pre-approve and pre-d"
    "\x1b[35;3H";

struct Step {
    enum Kind { output, hook, input, expect, startLimit, stall, waiting } kind;
    double at;
    std::string text;  // output bytes, or the hook's event
    json body = json::object();
    S status = S::busy;
    bool finished = false;
    std::optional<bool> up;  // whether the assistant is up (booted), when told
    double seconds = 0;      // how long the loop stands still
    bool waits = false;      // whether output waits to be read
};

Step out(double at, std::string bytes) { return {Step::output, at, std::move(bytes), {}, {}, {}, {}}; }
Step hook(double at, std::string event, json body = json::object()) {
    return {Step::hook, at, std::move(event), body, {}, {}, {}};
}
Step key(double at) { return {Step::input, at, {}, {}, {}, {}, {}}; }
Step expect(double at, S status, bool finished = false) { return {Step::expect, at, {}, {}, status, finished, {}}; }
Step expectUp(double at, S status, bool up) { return {Step::expect, at, {}, {}, status, false, up}; }
// The owner starts counting the 12 s the assistant has to come up.
Step countStart(double at) { return {Step::startLimit, at, {}, {}, {}, {}, {}}; }
// The loop stands still for `seconds` (a starved core): nothing runs, then what came due meanwhile.
Step stall(double at, double seconds) { return {Step::stall, at, {}, {}, {}, {}, {}, seconds}; }
// From `at` on, output of the child waits to be read (or no longer does).
Step outputWaits(double at, bool waits) { return {Step::waiting, at, {}, {}, {}, {}, {}, 0, waits}; }
// The spinner turning every 113 ms from `from` to `to`.
std::vector<Step> spin(double from, double to) {
    std::vector<Step> steps;
    for (double t = from; t < to; t += 0.113) steps.push_back(out(t, spinner));
    return steps;
}
std::vector<Step> blink(double from, double to) {
    std::vector<Step> steps;
    bool on = false;
    for (double t = from; t < to; t += 0.6) steps.push_back(out(t, (on = !on) ? dotOn : dotOff));
    return steps;
}
std::vector<Step> join(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    std::stable_sort(all.begin(), all.end(), [](const Step& a, const Step& b) { return a.at < b.at; });
    return all;
}

const json prompt = {{"prompt", "list the files"}};
const json permission = {{"notification_type", "permission_prompt"}};

class StatusMachineTest : public ::testing::Test {
protected:
    StatusMachineTest() { make(folder.path().string()); }

    void make(const std::string& cwd, bool isShell = false) {
        StatusMachine::Tile tile;
        tile.screenText = [this] {
            ++screenReads;
            return ScreenScrape::activeScreen(terminal);
        };
        tile.cursorRow = [this] { return std::optional<size_t>(terminal.buffer().y()); };
        tile.lastInputAt = [this] { return lastInput; };
        tile.send = [this](std::string_view text) { sent.emplace_back(text); };
        tile.outputWaiting = [this] { return outputWaiting; };
        machine = std::make_unique<StatusMachine>(
            cwd, isShell, tile, StatusMachine::Services{&loop, &store, &notifications, home.string(), "tile traced"});
        machine->onChange = [this] { ++changes; };
        machine->onBoot = [this] { ++boots; };
    }
    void advanceTo(double seconds) {
        const auto due = start + std::chrono::duration_cast<platform::runtime::Duration>(
                                     std::chrono::duration<double>(seconds));
        if (due > loop.now()) loop.advance(due - loop.now());
        loop.runPending();
    }
    void feed(std::string_view bytes) {
        terminal.feed(bytes);
        machine->absorb({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    }
    void run(const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            advanceTo(step.at);
            SCOPED_TRACE("at " + std::to_string(step.at));
            switch (step.kind) {
                case Step::output: feed(step.text); break;
                case Step::hook: machine->handleHook(step.text, step.body); break;
                case Step::input: lastInput = loop.now(); break;
                case Step::startLimit: machine->countStart(12s); break;
                case Step::stall: loop.skipTime(std::chrono::duration_cast<platform::runtime::Duration>(
                                      std::chrono::duration<double>(step.seconds)));
                                  break;
                case Step::waiting: outputWaiting = step.waits; break;
                case Step::expect:
                    EXPECT_EQ(rawValue(machine->status()), rawValue(step.status));
                    EXPECT_EQ(machine->finished(), step.finished);
                    if (step.up) {
                        EXPECT_EQ(machine->booted(), *step.up);
                    }
                    break;
            }
            loop.runPending();
        }
    }

    testing::TempFolder folder;
    testing::TempFolder stateFolder;
    std::filesystem::path home = folder.path() / "home";
    Store store{stateFolder.path()};
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::NotificationCenter notifications{&loop};
    platform::runtime::TimePoint start = loop.now();
    vantel::Terminal terminal{nullptr, [] {
                                  vantel::TerminalOptions options;
                                  options.cols = 120;
                                  options.rows = 38;
                                  return options;
                              }()};
    std::optional<platform::runtime::TimePoint> lastInput;
    bool outputWaiting = false;
    std::vector<std::string> sent;
    std::unique_ptr<StatusMachine> machine;
    int changes = 0;
    int boots = 0;
    int screenReads = 0;
};

// A tile flooding output: each chunk is looked at for the busy hint alone; the whole screen is
// read when the output settles, not with every chunk.
TEST_F(StatusMachineTest, AFloodReadsTheScreenOnlyWhenItSettles) {
    machine->handleHook("UserPromptSubmit", prompt);
    const int chunks = 2000;
    for (int i = 0; i < chunks; ++i) {
        advanceTo(i * 0.0025);
        feed("a line of a flood of output " + std::to_string(i) + "\r\n");
    }
    const int during = screenReads;
    advanceTo(chunks * 0.0025 + 5);
    EXPECT_LE(during, 2);
    EXPECT_GE(screenReads, 1);
    EXPECT_LE(screenReads, during + 2);
}

struct TraceCase {
    const char* name;
    std::vector<Step> steps;
    friend void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }
};

class StatusTrace : public StatusMachineTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(StatusTrace, FollowsHooksAndScreen) { run(GetParam().steps); }

INSTANTIATE_TEST_SUITE_P(
    Traces, StatusTrace,
    ::testing::Values(
        TraceCase{"SpinnerPauseMidTurnStaysBusy",
                  join({{hook(0, "UserPromptSubmit", prompt), out(0.01, busyFooter)}, spin(0.02, 1.0),
                        {expect(1.43, S::busy)}, spin(1.44, 2.0), {expect(2.5, S::busy)}})},
        TraceCase{"ShortTurnThenStopIsIdleAndFinished",
                  {hook(0, "UserPromptSubmit", prompt), out(0.01, busyFooter + spinner), expect(0.4, S::busy),
                   out(0.5, "\x1b[30;1H\xE2\x8F\xBA done" + idleFooter), hook(0.5, "Stop"),
                   expect(0.51, S::idle, true), expect(0.9, S::idle, true)}},
        TraceCase{"BlinkingDialogWaitsThroughNotificationUntilPostToolUse",
                  join({{hook(0, "UserPromptSubmit", prompt), out(0.01, busyFooter),
                         hook(0.2, "PreToolUse", {{"tool_name", "Bash"}}), out(0.3, dialog), expect(0.7, S::waiting),
                         expect(1.3, S::waiting), hook(6.7, "Notification", permission), expect(7.2, S::waiting),
                         hook(8.0, "PostToolUse"), out(8.05, dialogGone + busyFooter), expect(8.5, S::busy)},
                        blink(0.9, 7.9)})},
        TraceCase{"InterruptRedrawsTheFooterWithoutAHook",
                  join({{hook(0, "UserPromptSubmit", prompt), out(0.01, busyFooter)}, spin(0.02, 1.0),
                        {key(1.0), out(1.1, interrupted + idleFooter), expect(1.5, S::idle)}})},
        TraceCase{"WithoutHooksTheScreenDecides",
                  join({{out(0, "\x1b[1;1HClaude\x1b[1CCode v2" + idleFooter), expect(0.4, S::idle),
                         out(1.0, busyFooter), expect(1.01, S::busy), expect(1.6, S::busy), out(3.0, dialog),
                         expect(3.4, S::waiting), expect(4.9, S::waiting), key(5.0),
                         out(5.05, dialogGone + busyFooter + spinner), expect(5.5, S::busy), out(6.0, idleFooter),
                         expect(6.4, S::idle)},
                        blink(3.6, 5.0)})},
        TraceCase{"HintDuringADialogWaitsForTheSettle",
                  {out(0, dialog), expect(0.4, S::waiting), out(1.0, busyFooter), expect(1.01, S::waiting),
                   expect(1.4, S::waiting)}},
        TraceCase{"AfterStopAHintLeftOnScreenStaysIdle",
                  {hook(0, "UserPromptSubmit", prompt), out(0.01, busyFooter), hook(0.3, "Stop"),
                   out(0.31, spinner), expect(0.7, S::idle, true), out(1.0, busyFooter + spinner),
                   expect(1.01, S::busy), expect(1.4, S::busy)}},
        TraceCase{"HintPlacedWithCursorMoves",
                  {out(0, idleFooter), expect(0.4, S::idle),
                   out(1.0, "\x1b[36;3Hesc\x1b[1Cto\x1b[1Cinterrupt"), expect(1.01, S::idle),
                   expect(1.4, S::busy)}},
        TraceCase{"PackedQuestionWaits", {out(0, "Would\x1b[1Cyou\x1b[1Clike\x1b[1Cto go on"), expect(0.4, S::waiting)}},
        // A small tile has no room for the footer: a turn a hook opened goes on without the hint.
        TraceCase{"AHookTurnWithoutTheHintHoldsUntilStop",
                  join({{hook(0, "UserPromptSubmit", prompt)}, spin(0.02, 1.0), {expect(1.43, S::busy)},
                        spin(1.44, 2.0),
                        {expect(2.5, S::busy), hook(3.0, "PreToolUse", {{"tool_name", "Bash"}}), expect(3.5, S::busy),
                         out(5.0, "\x1b[30;1H\xE2\x8F\xBA done\x1b[J"), hook(5.0, "Stop"), expect(5.01, S::idle, true),
                         expect(5.5, S::idle, true)}})},
        TraceCase{"AnInterruptEndsAHookTurnWithoutTheHint",
                  join({{hook(0, "UserPromptSubmit", prompt)}, spin(0.02, 1.0),
                        {key(1.0), out(1.1, interrupted), expect(1.5, S::idle)}})},
        TraceCase{"AnApprovedQuestionWorksOnWithoutTheHint",
                  {hook(0, "UserPromptSubmit", prompt), hook(0.2, "PreToolUse", {{"tool_name", "Bash"}}),
                   out(0.3, dialog), expect(0.7, S::waiting), key(2.0), out(2.05, dialogGone + spinner),
                   expect(2.5, S::busy), expect(3.9, S::busy), hook(4.0, "Stop"), expect(4.01, S::idle, true)}},
        // A redraw (after a resize) prints an earlier turn's interrupt again; no key asked for it.
        TraceCase{"AnInterruptRedrawnWithoutAKeyKeepsTheTurn",
                  join({{hook(0, "SessionStart"), key(0.5), hook(0.6, "UserPromptSubmit", prompt),
                         out(0.7, interrupted)},
                        spin(0.8, 1.5), {expect(2.0, S::busy)}})},
        // What the assistant says above its prompt box asks nobody, whatever its words: a question
        // of its own takes the box's place.
        TraceCase{"AnAnswerThatAsksAboveThePromptIsNoQuestion",
                  {hook(0, "UserPromptSubmit", prompt), out(0.01, promptBox), out(0.3, answerAsks),
                   expect(0.8, S::busy), hook(1.0, "Stop"), out(1.05, answerEnds), expect(1.5, S::idle, true),
                   expect(60.0, S::idle, true)}},
        TraceCase{"ACutTipAboveThePromptIsNoQuestion",
                  join({{hook(0, "UserPromptSubmit", prompt), out(0.01, promptBox), out(0.2, tipCut)},
                        spin(0.3, 3.0), {expect(0.6, S::busy), expect(3.4, S::busy)}})},
        TraceCase{"AHookTurnWhoseScreenStandsStillEndsAfterHalfAMinute",
                  {hook(0, "UserPromptSubmit", prompt), out(0.01, spinner), expect(30.0, S::busy),
                   expect(30.5, S::idle)}},
        // A start: working until the start hook or the prompt box, however long the screen
        // stays blank; a question on the way is the user's to answer.
        TraceCase{"AStartWhoseFirstBytesAreOnlyCursorMovesStaysStarting",
                  {out(0, cursorOnly), expectUp(1.0, S::busy, false), out(3.0, cursorOnly),
                   expectUp(9.0, S::busy, false), out(10.0, banner + promptBox + idleFooter),
                   expectUp(10.01, S::busy, true), expectUp(10.4, S::idle, true)}},
        // It posts SessionStart before it draws: held until the screen shows text.
        TraceCase{"AStartThatGetsSessionStart",
                  {out(0, cursorOnly), expectUp(1.0, S::busy, false), hook(1.5, "SessionStart"),
                   expectUp(1.51, S::busy, false), out(1.6, promptBox), expectUp(1.61, S::idle, true),
                   expectUp(2.0, S::idle, true)}},
        // A login shell's greeting, a version manager's notice or a message of the day stand on the
        // screen before the assistant starts: the start hook still waits for its start screen.
        TraceCase{"AStartHookAfterALoginGreetingWaitsForTheStartScreen",
                  {countStart(0), out(0, "Welcome back! Node v20.11.0 is now in use.\r\n"), hook(0.5, "SessionStart"),
                   expectUp(1.0, S::busy, false), out(2.0, cursorOnly), expectUp(6.0, S::busy, false),
                   out(6.5, banner + promptBox + idleFooter), expectUp(6.51, S::idle, true), expectUp(7.0, S::idle, true)}},
        // The limit counts afresh from the start hook: the assistant runs, and draws next.
        TraceCase{"AStartHookAfterALongMessageOfTheDayWaitsForTheLimit",
                  {countStart(0), out(0, motd), hook(8.0, "SessionStart"), expectUp(19.9, S::busy, false),
                   expectUp(20.01, S::idle, true)}},
        TraceCase{"AStartHookOverAScreenThatStaysBlankWaitsForTheLimit",
                  {countStart(0), out(0.1, titleFirst), hook(1.0, "SessionStart"), expectUp(12.9, S::busy, false),
                   expectUp(13.01, S::idle, true)}},
        // Output comes in pieces of a few bytes on a starved loop: a prompt sign cut between two
        // is read whole.
        TraceCase{"APromptSignCutBetweenTwoPieces",
                  {out(0, cursorOnly + "\x1b[35;1H\xE2"), out(0.01, "\x9D"), expectUp(0.02, S::busy, false),
                   out(0.03, "\xAF\xC2"), out(0.04, "\xA0"), expectUp(0.05, S::busy, true)}},
        // A starved tile's output comes in one large piece: its prompt sign, then seconds of a
        // spinner turning every 40 ms, more than the start checks keep of what came.
        TraceCase{"APromptSignAtTheStartOfALargePiece",
                  {countStart(0), out(0, cursorOnly), outputWaits(0.5, true),
                   out(5.0, "\x1b[35;1H\xE2\x9D\xAF " + [] {
                       std::string frames;
                       for (int i = 0; frames.size() < 3 * StatusMachine::bootLimit; ++i)
                           frames += "\x1b[30;1H\xE2\x9C\xBB Thinking\xE2\x80\xA6 " + std::to_string(i) + "\x1b[K";
                       return frames;
                   }()),
                   outputWaits(5.0, false), expectUp(5.01, S::busy, true)}},
        TraceCase{"AStartWhosePromptBoxComesFirst",
                  {out(0, cursorOnly), out(0.5, promptBox), expectUp(0.51, S::busy, true),
                   expectUp(0.9, S::idle, true), hook(2.0, "SessionStart"), expectUp(2.4, S::idle, true)}},
        // The title and notices name the program too; its banner and welcome give the version after it.
        TraceCase{"AStartWhoseTitleNamesTheProgramStaysStarting",
                  {out(0, titleFirst), expectUp(1.0, S::busy, false), out(1.5, notice),
                   expectUp(2.5, S::busy, false), out(3.0, boldBanner), expectUp(3.01, S::busy, true)}},
        TraceCase{"AFirstRunWelcomeIsItsStartScreen",
                  {out(0, titleFirst), out(0.5, welcome), expectUp(0.51, S::busy, true)}},
        TraceCase{"AStartThatAsksFirstWaits",
                  {out(0, cursorOnly), out(0.5, pressEnter), expectUp(0.6, S::busy, false),
                   expectUp(0.9, S::waiting, true)}},
        // Whatever screen asks, with a choice pointed at: the first run's text style.
        TraceCase{"AFirstRunChoiceWaits",
                  {out(0, titleFirst), out(0.5, textStyle), expectUp(0.9, S::waiting, true)}},
        TraceCase{"AFirstRunChoiceWithoutNumbersWaits",
                  {out(0, titleFirst), out(0.5, textStyleUnnumbered), expectUp(0.9, S::waiting, true)}},
        // The CLI echoes every prompt: a numbered one above its named box asks nobody, after the
        // turn or in the next one.
        TraceCase{"AnEchoedNumberedPromptAboveANamedBoxAsksNobody",
                  {out(0, banner), hook(0.1, "UserPromptSubmit", {{"prompt", "1. fix the tests"}}), out(0.2, echoedNumbered),
                   hook(0.3, "Stop"), expect(0.8, S::idle, true), hook(1.0, "UserPromptSubmit", prompt),
                   out(1.1, echoedNumbered + spinner), expect(1.7, S::busy)}},
        TraceCase{"ANumberedLineTypedInThePromptBoxAsksNobody",
                  {out(0, banner + idleFooter + typedNumbered), expectUp(0.4, S::idle, true)}},
        // The CLI missing: the tile comes up at once on the words that say what to do.
        TraceCase{"AMissingClaudeComesUpAtOnce",
                  {countStart(0), out(0.5, notInstalled), expectUp(0.51, S::busy, true), expectUp(0.9, S::idle, true)}},
        // The start limit: a screen that stays blank is judged after 12 s of the loop's time,
        // not counting what the loop came late by nor time in which output waited to be read;
        // the screen is judged only once no output waits, or it has waited a whole limit too.
        TraceCase{"AStartThatShowsNothingIsJudgedAfterTheLimit",
                  {countStart(0), out(0.1, cursorOnly), expectUp(11.9, S::busy, false),
                   expectUp(12.01, S::idle, true)}},
        TraceCase{"AStartWhoseLoopStoodStillCountsOnlyTheTimeItRan",
                  {countStart(0), stall(1.0, 5.0), expectUp(16.7, S::busy, false), expectUp(16.76, S::idle, true)}},
        TraceCase{"AStartWhoseOutputWaitedCountsOnlyTheTimeNoneWaited",
                  {countStart(0), outputWaits(2.0, true), outputWaits(6.0, false), expectUp(15.9, S::busy, false),
                   expectUp(16.01, S::idle, true)}},
        TraceCase{"AStartScreenWaitingAtTheLimitIsReadBeforeTheScreenIsJudged",
                  {countStart(0), outputWaits(11.5, true), expectUp(12.4, S::busy, false),
                   out(12.5, banner + promptBox + idleFooter), outputWaits(12.5, false),
                   expectUp(12.51, S::busy, true), expectUp(13.0, S::idle, true)}},
        TraceCase{"OutputThatKeepsWaitingHoldsTheLimitBackForOneMoreLimit",
                  {countStart(0), outputWaits(1.0, true), expectUp(23.9, S::busy, false),
                   expectUp(24.01, S::idle, true)}},
        TraceCase{"OutputThatWaitsAgainHoldsTheLimitAgain",
                  {countStart(0), outputWaits(0.5, true), outputWaits(11.5, false), outputWaits(20.0, true),
                   expectUp(24.5, S::busy, false), out(25.0, banner + promptBox + idleFooter),
                   outputWaits(25.0, false), expectUp(25.01, S::busy, true), expectUp(25.5, S::idle, true)}}),
    [](const auto& info) { return std::string(info.param.name); });

// Each change of status says once in the log what made it, however many reads came between.
TEST_F(StatusMachineTest, EveryChangeSaysWhyOnce) {
    Log::flush();
    const size_t from = testing::logContents().size();
    run(join({{hook(0, "UserPromptSubmit", prompt), hook(0.2, "PreToolUse", {{"tool_name", "Bash"}}), out(0.3, dialog),
               key(2.0), out(2.05, dialogGone + busyFooter)},
              spin(2.1, 3.0), {key(3.1), out(3.2, interrupted + idleFooter), hook(5.0, "Notification", permission)}}));
    machine->handleHook("Stop", json::object());
    Log::flush();
    std::vector<std::string> lines;
    std::istringstream log(testing::logContents().substr(from));
    for (std::string line; std::getline(log, line);) {
        if (const size_t at = line.find("tile traced "); at != std::string::npos) lines.push_back(line.substr(at + 12));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "up: hook UserPromptSubmit",
                         "busy -> waiting: the screen asks \"\xE2\x9D\xAF 1. Yes\"",
                         "waiting -> busy: the screen shows the interrupt hint",
                         "busy -> idle: the screen shows the interrupt \"\xE2\x8E\xBF Interrupted \xC2\xB7 What "
                         "should Claude do instead?\"",
                         "idle -> waiting: hook Notification permission_prompt",
                         "waiting -> idle: hook Stop",
                     }));
}

TEST_F(StatusMachineTest, HookRules) {
    machine->handleHook("Notification", {{"notification_type", "idle_prompt"}});
    EXPECT_EQ(machine->status(), S::busy);
    EXPECT_EQ(changes, 1);

    machine->handleHook("Stop", json::object());  // no prompt yet
    EXPECT_FALSE(machine->finished());
    machine->handleHook("UserPromptSubmit", {{"prompt", "  fix   the build  \n"}, {"session_id", "s-1"}});
    EXPECT_EQ(machine->title.text, "fix the build");
    EXPECT_EQ(machine->lastPrompt(), "fix   the build");
    EXPECT_EQ(machine->claudeSessionId(), "s-1");
    machine->handleHook("UserPromptSubmit", {{"prompt", "second"}});
    EXPECT_EQ(machine->title.text, "fix the build");
    machine->handleHook("PreToolUse", {{"tool_name", "Read"}, {"tool_input", {{"file_path", "/a/b/c.txt"}}}});
    EXPECT_EQ(machine->tool(), "Read: c.txt");
    machine->handleHook("Stop", json::object());
    EXPECT_TRUE(machine->finished());
    EXPECT_EQ(machine->tool(), "");
    machine->handleHook("PostToolUse", json::object());
    EXPECT_FALSE(machine->finished());
    machine->handleHook("SessionStart", {{"session_id", 7}});
    EXPECT_EQ(machine->status(), S::idle);
    EXPECT_EQ(machine->claudeSessionId(), "s-1");
    machine->handleHook("Stop", json::object());
    EXPECT_FALSE(machine->finished());

    machine->exited("session ended");
    const int before = changes;
    machine->handleHook("UserPromptSubmit", {{"prompt", "x"}, {"session_id", "s-2"}});
    EXPECT_EQ(machine->status(), S::exited);
    EXPECT_EQ(machine->claudeSessionId(), "s-2");
    EXPECT_EQ(changes, before);
    feed("esc to interrupt");
    EXPECT_EQ(machine->status(), S::exited);
}

TEST_F(StatusMachineTest, ToolLabels) {
    const std::vector<std::tuple<std::string, json, std::string>> cases = {
        {"Bash", {{"command", "ls -la"}}, "Bash: ls -la"},
        {"Bash", json::object(), "Bash: "},
        {"Bash", {{"command", std::string(50, 'x')}}, "Bash: " + std::string(37, 'x') + "\xE2\x80\xA6"},
        {"Edit", {{"file_path", "/src/main.cpp"}}, "Edit: main.cpp"},
        {"Write", {{"file_path", 3}}, "Write: "},
        {"Task", {{"description", "look around"}}, "Agent: look around"},
        {"Glob", {{"pattern", "**/*.h"}}, "Glob: **/*.h"},
        {"WebFetch", {{"url", "x"}}, "WebFetch"},
    };
    for (const auto& [name, input, label] : cases) EXPECT_EQ(StatusMachine::toolLabel(name, input), label) << name;
}

TEST_F(StatusMachineTest, TitlesFromPromptsRenamesAndSuggestions) {
    machine->title.pinned = true;
    machine->handleHook("UserPromptSubmit", prompt);
    EXPECT_EQ(machine->title.text, "");

    machine->rename("  \n ");
    EXPECT_EQ(machine->title.text, "");
    machine->rename("Build fixer");
    EXPECT_TRUE(machine->title.userNamed);
    EXPECT_EQ(store.tileNames().at(folder.path().string()), "Build fixer");
    machine->applyAiTitle("Something else");
    EXPECT_EQ(machine->title.text, "Build fixer");
    machine->unpinTitle();
    EXPECT_EQ(store.tileNames().count(folder.path().string()), 0u);
    machine->applyAiTitle("Sugg\u202Eested\u200B");
    machine->applyAiTitle("Second suggestion");
    EXPECT_EQ(machine->title.text, "Suggested");
    EXPECT_FALSE(machine->title.userNamed);

    // A first prompt's title keeps nothing that would hide or reorder it; the prompt stays whole.
    make(folder.path().string());
    machine->handleHook("UserPromptSubmit", {{"prompt", "open invoice_\u202Egpj.exe\a now"}});
    EXPECT_EQ(machine->title.text, "open invoice_gpj.exe now");
    EXPECT_EQ(machine->lastPrompt(), "open invoice_\u202Egpj.exe\a now");

    // A paste reaches the hook wrapped: the title is its text, or says it was a paste.
    const std::pair<std::string, std::string> pasted[] = {
        {"<pasted_content id=\"f1ad\">\nline one\n  line two\n</pasted_content>", "line one line two"},
        {"fix this: <pasted_content id=\"f1ad\">a b</pasted_content> <pasted_content id=\"c0de\">c</pasted_content>",
         "fix this: a b c"},
        {"<pasted_content id=\"f1ad\"/>", "Pasted text"},
        {"<pasted_content id=\"f1ad\"> \n</pasted_content>\n", "Pasted text"},
        {"<pasted_content id=\"f1ad\">cut short in the te", "cut short in the te"},
        {"<pasted_contents> are my own words", "<pasted_contents> are my own words"},
    };
    for (const auto& [words, expected] : pasted) {
        make(folder.path().string());
        machine->handleHook("UserPromptSubmit", {{"prompt", words}});
        EXPECT_EQ(machine->title.text, expected) << words;
        EXPECT_EQ(machine->lastPrompt(), trimWhiteSpace(words));
    }

    make(home.string());
    machine->rename("Home tile");
    EXPECT_EQ(machine->title.text, "Home tile");
    EXPECT_EQ(store.tileNames().count(home.string()), 0u);
}

TEST_F(StatusMachineTest, TrustIsAnsweredOnceInTheHomeFolderOnly) {
    const std::string trust = "Accessing workspace:\r\n\r\n\xE2\x9D\xAF No, exit\r\n  Yes, I trust this folder\r\n"
                              "Enter to confirm \xC2\xB7 Esc to cancel";
    auto after = [this](double seconds) {
        loop.advance(std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(seconds)));
        loop.runPending();
    };
    store.setAutoTrustHome(true);
    feed(trust);
    after(0.36);
    EXPECT_EQ(machine->status(), S::waiting);
    EXPECT_TRUE(sent.empty());

    make(home.string());
    store.setAutoTrustHome(false);
    feed(trust);
    after(0.36);
    EXPECT_EQ(machine->status(), S::waiting);
    store.setAutoTrustHome(true);
    feed(trust);
    after(0.36);
    EXPECT_EQ(sent, std::vector<std::string>{"\x1b[B"});
    after(0.23);
    EXPECT_EQ(sent.size(), 1u);
    after(0.02);
    EXPECT_EQ(sent, (std::vector<std::string>{"\x1b[B", "\r"}));
    // The answer counts as the user's: the screen that follows decides.
    feed("\x1b[2J\x1b[H\xE2\x9D\xAF\xC2\xA0" + idleFooter);
    after(0.36);
    EXPECT_EQ(machine->status(), S::idle);
    feed(trust);
    after(1.0);
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(machine->status(), S::waiting);
}

TEST_F(StatusMachineTest, BootMarkersAndTheLengthFallback) {
    feed("\x1b[1;1HClaude\x1b[1CCode v2.1");
    EXPECT_TRUE(machine->booted());
    // A screenful of text counts once the start hook came: before it, it may be the login
    // shell's message of the day.
    make(folder.path().string());
    feed(std::string(2000, 'm'));
    EXPECT_FALSE(machine->booted());
    machine->handleHook("SessionStart", json::object());
    feed(std::string(1500, 'x'));
    EXPECT_FALSE(machine->booted());
    feed("\x1b[31m \x1b[0m");
    EXPECT_FALSE(machine->booted());
    feed("y");
    EXPECT_TRUE(machine->booted());
    EXPECT_EQ(boots, 2);
    machine->markBooted();
    EXPECT_EQ(boots, 2);
}

// The narrow banner names no program: the prompt sign that follows it tells that the assistant
// is ready; a start hook before it waits for it.
TEST_F(StatusMachineTest, ReadyAtEitherPromptSignOrTheStartHook) {
    const std::string narrowBanner = "\x1b[2J\x1b[H \xE2\x96\x9B\xE2\x96\x80\xE2\x96\x80\xE2\x96\x9C\r\n"
                                     " \xE2\x96\x99\xE2\x96\x84\xE2\x96\x84\xE2\x96\x9F\r\n"
                                     " fake-model-1\r\n API usage billing\r\n /work/project\r\n\r\n";
    struct Case {
        const char* name;
        std::string prompt;
        bool startHook;
    } const cases[] = {
        {"Heavy angle prompt", "\xE2\x9D\xAF\xC2\xA0", false},
        {"Single angle prompt", "\xE2\x80\xBA ", false},
        {"Start hook before the prompt", "\xE2\x9D\xAF\xC2\xA0", true},
    };
    for (const Case& c : cases) {
        make(folder.path().string());
        const int before = boots;
        feed(narrowBanner);
        EXPECT_FALSE(machine->booted()) << c.name;
        if (c.startHook) machine->handleHook("SessionStart", json::object());
        EXPECT_FALSE(machine->booted()) << c.name;
        feed("\x1b[20;1H" + c.prompt);
        EXPECT_TRUE(machine->booted()) << c.name;
        EXPECT_EQ(boots, before + 1) << c.name;
    }
}

TEST_F(StatusMachineTest, NoConversationSeenAcrossChunksAndAfterASettle) {
    feed("No conver");
    advanceTo(1.0);
    feed("sation found with session ID: x\r\n");
    EXPECT_TRUE(machine->showsNoConversation());
    make(folder.path().string(), true);
    feed("No conversation found");
    EXPECT_FALSE(machine->showsNoConversation());
}

TEST_F(StatusMachineTest, AccessRefusalIsAnnounced) {
    int denied = 0;
    auto subscription = notifications.subscribe("bl.accessDenied", [&](const auto&) { ++denied; });
    feed("ls: cannot open directory '.': Operation not permitted\r\n");
    advanceTo(0.4);
    EXPECT_EQ(denied, 1);
}

TEST_F(StatusMachineTest, ShellTilesKeepTheirStatus) {
    make(folder.path().string(), true);
    feed(busyFooter + dialog);
    advanceTo(1.0);
    EXPECT_EQ(machine->status(), S::idle);
    EXPECT_FALSE(machine->settlePending());
    // A hook that reaches a shell tile arms no settle either.
    machine->handleHook("PreToolUse", {{"tool_name", "Bash"}});
    EXPECT_FALSE(machine->settlePending());
    // Nothing to wait for at its start: one timer, no steps waking the loop meanwhile.
    make(folder.path().string(), true);
    const size_t timers = loop.pendingTimerCount();
    machine->countStart(12s);
    EXPECT_EQ(loop.pendingTimerCount(), timers + 1);
    loop.advance(11900ms);
    EXPECT_EQ(loop.pendingTimerCount(), timers + 1);
    EXPECT_FALSE(machine->booted());
    loop.advance(100ms);
    EXPECT_TRUE(machine->booted());
}

// The scraper's escape rule is one regular expression; the hand-written
// matcher must remove exactly what it removes.
TEST(ScreenScrapeTest, EscapesAreRemovedAsThePatternRemovesThem) {
    const std::vector<std::pair<std::u32string, std::u32string>> cases = {
        {U"a\x1b[31mb", U"ab"},        {U"\x1b[?25h", U""},         {U"x\x1b[12", U"x"},
        {U"\x1b]0;title", U"itle"},    {U"\x1b[;;x", U"\x1b[;;x"},  {U"\x1b(B.", U"."},
        {U"\x1b[1;2Q", U"Q"}, {U"\x1b\x1b[H", U"\x1b"},     {U"\x1b[38;5;1m\x1b[K!", U"!"},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(ScreenScrape::withoutEscapes(in), want);
    EXPECT_EQ(ScreenScrape::packed(U"a b\u00A0c\n\td"), U"abcd");

    const std::u16string pattern = u"\x1b[\\[\\]()#;?]*[0-9;]*[0-9A-PR-TZcf-ntqry=><]";
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* regex = uregex_open(pattern.data(), static_cast<int32_t>(pattern.size()), 0, nullptr, &status);
    ASSERT_TRUE(U_SUCCESS(status));
    const std::u16string alphabet = u"\x1b\x1b[]()#;?0129AQRZcemx ";
    std::mt19937 random(29);
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        for (int i = random() % 12; i > 0; --i) text += alphabet[random() % alphabet.size()];
        uregex_setText(regex, text.data(), static_cast<int32_t>(text.size()), &status);
        char16_t replaced[64];
        const int32_t length = uregex_replaceAll(regex, u"", 0, replaced, 64, &status);
        ASSERT_TRUE(U_SUCCESS(status));
        const std::u32string expected(replaced, replaced + length);
        EXPECT_EQ(ScreenScrape::withoutEscapes(std::u32string(text.begin(), text.end())), expected);
    }
    uregex_close(regex);
    EXPECT_TRUE(ScreenScrape::matches(ScreenScrape::Pattern::waiting, U"1.   YES"));
    EXPECT_TRUE(ScreenScrape::matches(ScreenScrape::Pattern::busy, U"Ctrl+C to stop"));
    EXPECT_FALSE(ScreenScrape::matches(ScreenScrape::Pattern::busy, U"ctrl+c to quit"));
}

// The interrupt hint is looked for only in text that can hold it; whether it is found is what the
// expression alone finds, over random text near the hint in every case, with characters whose
// case folds oddly (long s, ligatures, Kelvin) among the letters.
TEST(ScreenScrapeTest, TheHintIsFoundExactlyWhereTheExpressionFindsIt) {
    struct Case {
        ScreenScrape::Pattern pattern;
        std::u16string expression;
        std::vector<std::u32string> pieces;
    };
    const Case cases[] = {
        {ScreenScrape::Pattern::busy, u"esc to interrupt|ctrl\\+c to (stop|interrupt)",
         {U"esc to interrupt", U"ctrl+c to stop", U"ctrl+c to ", U"esc", U"ctrl+c", U" ", U"to", U"interrupt", U"stop",
          U"music", U"c to ", U"\u017Ftop", U"\uFB05op", U"\u212A"}},
        {ScreenScrape::Pattern::busyPacked, u"esctointerrupt",
         {U"esctointerrupt", U"escto", U"esc", U"to", U"interrupt", U"c", U"t", U"o", U"x"}},
    };
    std::mt19937 random(11);
    for (const Case& c : cases) {
        UErrorCode status = U_ZERO_ERROR;
        URegularExpression* regex = uregex_open(c.expression.data(), static_cast<int32_t>(c.expression.size()),
                                                UREGEX_CASE_INSENSITIVE, nullptr, &status);
        ASSERT_TRUE(U_SUCCESS(status));
        int found = 0;
        for (int round = 0; round < 4000; ++round) {
            std::u32string text;
            for (int i = random() % 7; i > 0; --i) text += c.pieces[random() % c.pieces.size()];
            for (char32_t& ch : text) {
                if (ch < 0x80 && random() % 3 == 0) ch = static_cast<char32_t>(std::toupper(static_cast<int>(ch)));
            }
            std::u16string units;
            for (char32_t ch : text) units += static_cast<char16_t>(ch);
            uregex_setText(regex, units.data(), static_cast<int32_t>(units.size()), &status);
            const bool expected = !units.empty() && uregex_find(regex, 0, &status);
            ASSERT_TRUE(U_SUCCESS(status));
            found += expected;
            EXPECT_EQ(ScreenScrape::matches(c.pattern, text), expected) << std::string(text.begin(), text.end());
        }
        EXPECT_GT(found, 20);
        uregex_close(regex);
    }
}

// The interrupt counts when it is the last thing said above the cursor, a question where it takes
// the prompt box's place (a dialog's own rule is no box).
TEST(ScreenScrapeTest, TheInterruptAndTheQuestionAreReadWhereTheAssistantPutsThem) {
    const std::u32string box = U"\u2500\u2500\u2500\u2500\n\u276F\u00A0\n\u2500\u2500\u2500\u2500";
    const std::u32string stopped = U"  \u23BF  Interrupted \u00B7 What should Claude do instead?";
    struct Case {
        const char* name;
        std::u32string screen;
        std::optional<size_t> cursor, interrupt, question;
    } const cases[] = {
        {"ANewTurnSpinsAfterIt", stopped + U"\n> go on\n\u273B Thinking\u2026\n" + box, 4, {}, {}},
        {"AnAnswerAfterIt", stopped + U"\n> go on\n\u23FA Sure.\n" + box, 4, {}, {}},
        {"CursorAboveIt", U"x\n" + stopped + U"\n" + box, 0, {}, {}},
        {"QuestionInTheBoxsPlace", U"\u2500\u2500\u2500\u2500\n Do you want to proceed?\n \u276F 1. Yes\n 2. No", 3, {}, 2},
        {"AnswerAboveARoundBox", U"\u23FA 1. Yes\n\u256D\u2500\u2500\u2500\u256E\n\u2502 > hi \u2502", 2, {}, {}},
        // The box's rule carries the tile's name: what stands above it, and what is typed in it,
        // asks nobody.
        {"AnEchoedNumberedPromptAboveANamedBox",
         U"\u276F 1. fix the tests\n\n\u25CF 1. Yes, done.\n\n\u2500\u2500\u2500\u2500 p01 \u2500\n\u276F \n\u2500\u2500\u2500\u2500", 5, {}, {}},
        {"ANumberedLineTypedInANamedBox", U"\u25CF Hi.\n\n\u2500\u2500\u2500\u2500 p01 \u2500\n\u276F 1. fix it\n\u2500\u2500\u2500\u2500", 3,
         {}, {}},
        // Without the box: below the last turn, set apart from it, or right under the prompt.
        {"AMenuInAnAnswer", U"\u276F show me\n\n\u25CF Pick one:\n\n  \u276F 1. Dark mode\n    2. Light mode", 5, {}, {}},
        {"ADialogUnderTheLastTurn",
         U"\u276F run it\n\n\u25CF Running\n  \u23BF  $ ls\n\n\u2500\u2500\u2500\u2500\n Do you want to proceed?\n \u276F 1. Yes\n   2. No", 8, {}, 7},
        {"AMenuUnderARowOfBlocks",
         U"\u276F hi\n\u273B Worked for 0s\n\u2594\u2594\u2594\u2594\n  Select model\n\n  \u276F 1. Default\n    2. Opus", 6, {}, 5},
        {"AChoiceWithoutNumbers", U" Choose the text style\n\n \u276F \u2714 Auto (match terminal)\n     Dark mode", 3, {}, 2},
        {"ASmallDialogUnderThePrompt", U"> ask permission\n\n \u25CF Bash command\n Do you want to proceed?\n \u276F 1. Yes", 4, {}, 4},
        // Only the assistant's own box at the foot of its screen is the box: a table's row with a
        // ">" under its rule is none, nor is an echo between rules with more of the turn below.
        {"ATableOverADialog",
         U"\u25CF Sizes:\n  \u251C\u2500\u2500\u2500\u253C\u2500\u2500\u2500\u2524\n  \u2502 > 1 GB \u2502 stream it \u2502\n"
         U"  \u2514\u2500\u2500\u2500\u2534\u2500\u2500\u2500\u2518\n\n\u2500\u2500\u2500\u2500\n Do you want to proceed?\n"
         U" \u276F 1. Yes\n   2. No\n\n Esc to cancel\n\u2500\u2500\u2500\u2500",
         10, {}, 7},
        {"ATableOverTheBox",
         U"\u25CF Do you want to proceed with it?\n  \u2502 > 1 GB \u2502\n\u2500\u2500\u2500\u2500\n\u276F \n\u2500\u2500\u2500\u2500\n  ? for shortcuts",
         3, {}, {}},
        {"AnEchoBetweenRulesIsNoBox",
         U"\u2500\u2500\u2500\u2500\n> run it\n\u2500\u2500\u2500\u2500\n\u25CF Running\n\u2500\u2500\u2500\u2500\n Do you want to proceed?\n \u276F 1. Yes", 6,
         {}, 6},
        // Under the box only its footer: a question's words there (a file to complete) ask nobody.
        {"QuestionWordsInTheFooter",
         U"\u25CF Hi.\n\u2500\u2500\u2500\u2500 p01 \u2500\n\u276F @appr\n\u2500\u2500\u2500\u2500\n  + approve-flow.md\n  + Do you want to.txt",
         2, {}, {}},
        {"ABoxCutByTheScreensFoot", U"\u25CF Do you want to proceed?\n\u256D\u2500\u2500\u2500\u256E\n\u2502 > hi", 2, {}, {}},
        // The box is found by its edges and its prompt sign in the first column: what is typed
        // into it stands indented (a rule, a table's row, a question's words), and under it only
        // its footer, indented, however tall (the shortcuts at 50 columns take 14 rows).
        {"ARuleAndATableRowTypedIntoTheBox",
         U"\u25CF Hi.\n\u2500\u2500\u2500\u2500 p01 \u2500\n\u276F first\n  \u2500\u2500\u2500\u2500\u2500\u2500\n  \u2502 > 1 GB \u2502\n"
         U"  Do you want to proceed?\n\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\n  \u23F8 manual mode on",
         5, {}, {}},
        {"FourteenRowsOfShortcutsUnderTheBox",
         U"\u25CF The plan.\n\n\u2500\u2500\u2500\u2500\n  Would you like to go on with it?\n\u2500\u2500\u2500\u2500 p01 \u2500\n\u276F \n"
         U"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\n" + [] {
             std::u32string rows;
             for (int i = 0; i < 14; ++i) rows += U"  ! for shell   esc esc to clear\n";
             return rows;
         }(),
         6, {}, {}},
        // A question's choice, or a table's cell, under a rule is no prompt row.
        {"AChoiceRightUnderARule",
         U"\u276F run it\n\n\u25CF Bash\n\u2500\u2500\u2500\u2500\n \u276F 1. Yes\n   2. No\n\u2500\u2500\u2500\u2500", 4, {}, 4},
        {"APointerInATableCell",
         U"\u25CF Keys:\n  \u2500\u2500\u2500\u2500\u2500\n  \u276F next\n  \u2500\u2500\u2500\u2500\u2500\n\u2500\u2500\u2500\u2500\n Do you want to proceed?\n \u276F 1. Yes",
         6, {}, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScreenScrape::interruptRow(c.screen, c.cursor), c.interrupt) << c.name;
        EXPECT_EQ(ScreenScrape::questionRow(c.screen), c.question) << c.name;
    }
}

}  // namespace
}  // namespace quiltdeck
