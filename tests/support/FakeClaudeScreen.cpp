// The fake CLI's interactive session on a terminal, drawn the way version
// 2.1.328 of the real one draws: a header, then a region at the bottom
// (prompt between two rules, a footer) that is rewritten in place with
// cursor moves, only where it changed; what is said goes above it: the
// prompt echoed after the pointer ("❯ list the files"), the tool and the
// answer after a dot ("● fake answer"). Started with a name (-n), the rule
// over the prompt carries it ("──── p01 ─"), as does the one under a
// permission dialog that takes the prompt's place. The
// header names the program and its version; on a terminal narrower than 70
// columns it is the narrow banner instead: a block logo, the model and
// billing lines and the folder, without the name. A terminal of fewer than
// 10 rows gets no footer (no "esc to interrupt" either) and a region without
// blank rows; below 12 rows the permission dialog is cut to its question and
// choices. A resize clears the screen and draws everything again at the new
// size.
//
// A prompt starts a turn: UserPromptSubmit, a spinner turning every 113 ms
// with a 0.44 s pause after every nine turns, "esc to interrupt" written
// once in the footer, PreToolUse and the tool's lines ("Running…") while it
// runs, PostToolUse, the answer, Stop, and Notification "idle_prompt" a while
// after it. A prompt that
// mentions "permission" asks first: the "Do you want to proceed?" dialog,
// whose dot blinks every 0.6 s, with Notification "permission_prompt" a while
// after it appears; Enter or 1-3 allow, 4 or ESC refuse (no hook), Ctrl+C
// does nothing there. ESC or one Ctrl+C during a turn interrupts it and posts
// no hook at all; the interrupt is drawn over the region in place, so the
// tool's corner mark is not written again. "/exit" ends with code 0. A paste
// of several lines (or of 800 characters or more) shows in the prompt as
// "[Pasted text #1 +2 lines]" and reaches the prompt hook wrapped:
// <pasted_content id="…">, a line break, its text, a line break, </pasted_content>.
//
// Variables: FAKE_CLAUDE_FIRST_RUN=1 (the first run's text style to pick
// first, from a list without numbers; Enter picks), FAKE_CLAUDE_TRUST=1 (the
// folder-trust question first; keys in its first 0.35 s are lost), FAKE_CLAUDE_BANNER ("narrow" or "wide" at any
// width), FAKE_CLAUDE_TURN (seconds a turn works, 1.5),
// FAKE_CLAUDE_PERMISSION_NOTIFY (6.4), FAKE_CLAUDE_IDLE_NOTIFY (60),
// FAKE_CLAUDE_TOOL_RUN (seconds the tool runs, a fifth of the turn),
// FAKE_CLAUDE_ANSWER, FAKE_CLAUDE_TOOL, FAKE_CLAUDE_TOOL_INPUT.

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeClaude.h"

namespace fake {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto spinnerTick = 113ms;
constexpr int ticksBeforePause = 9;
constexpr auto spinnerPause = 440ms;
constexpr auto blinkPeriod = 600ms;
constexpr auto trustDeafTime = 350ms;
constexpr auto interruptDelay = 80ms;
constexpr auto loneEscapeWait = 50ms;
constexpr int narrowBannerColumns = 70;
constexpr int footerRows = 10;
constexpr int fullDialogRows = 12;

volatile sig_atomic_t resized = 0;

const std::string prompt = "\xE2\x9D\xAF\xC2\xA0";  // "❯" and a no-break space
const std::string pointer = "\xE2\x9D\xAF ";
const std::string interrupted = "  \xE2\x8E\xBF  Interrupted \xC2\xB7 What should Claude do instead?";
const std::string toolRunning = "  \xE2\x8E\xBF  Running\xE2\x80\xA6";
const char* const spinnerGlyphs[] = {"\xC2\xB7", "\xE2\x9C\xA2", "\xE2\x9C\xB3", "\xE2\x9C\xB6", "\xE2\x9C\xBB",
                                     "\xE2\x9C\xBD"};

// One line of a list of choices, the selected one with the pointer.
std::string choice(bool selected, const std::string& text) {
    std::string line = selected ? " " + pointer : std::string("   ");
    line += text;
    return line;
}

std::string toolName() { return variable("FAKE_CLAUDE_TOOL", "Bash"); }

json toolInput() {
    json input = json::parse(variable("FAKE_CLAUDE_TOOL_INPUT", R"({"command":"ls","description":"List files"})"),
                             nullptr, false);
    return input.is_object() ? input : json::object();
}

// "⏺ Bash(ls)": the tool and its command.
std::string toolCall() {
    const json input = toolInput();
    const auto command = input.find("command");
    const std::string text = command != input.end() && command->is_string() ? command->get<std::string>() : "";
    return "\xE2\x97\x8F " + toolName() + "(" + text + ")";
}

std::u32string scalars(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t value = length == 1 ? c : c & (0x7F >> length);
        for (int k = 1; k < length && i + k < text.size(); ++k) value = value << 6 | (text[i + k] & 0x3F);
        out += value;
        i += length;
    }
    return out;
}

std::string utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6), out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12), out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18), out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F)), out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

enum class Key { text, paste, enter, backspace, up, down, escape, interrupt };
struct Input {
    Key key;
    std::string text;
};

class Session {
public:
    Session(HookRunner& hooks, std::string name) : hooks_(hooks), name_(std::move(name)) {}
    int run();

private:
    enum class State { textStyle, trust, idle, busy, dialog };

    // --- Output -------------------------------------------------------------------------------
    void out(std::string_view text) { pending_ += text; }
    void flush();
    void moveToRow(size_t row);
    // Shows `lines` as the region, rewriting only what changed.
    void setRegion(std::vector<std::string> lines);
    // Prints `lines` above the region, then draws `next` as the region.
    void printAbove(const std::vector<std::string>& lines, std::vector<std::string> next);
    void placeCursor();
    // The region's lines fit the width: the region is rewritten row by row.
    std::string fit(const std::string& line) const;
    void measure();
    void redrawAll();
    bool footer() const { return rows_ >= footerRows; }
    std::string rule() const {
        std::string line;
        for (int i = 0; i < ruleWidth_; ++i) line += "\xE2\x94\x80";
        return line;
    }
    // The rule over the prompt, and under a dialog that takes its place, carries the session's
    // name near its end ("──── p01 ─"), as the real one draws it when started with -n.
    std::string namedRule() const {
        const int room = ruleWidth_ - static_cast<int>(scalars(name_).size()) - 3;
        if (name_.empty() || room < 3) return rule();
        std::string line;
        for (int i = 0; i < room; ++i) line += "\xE2\x94\x80";
        return line + " " + name_ + " \xE2\x94\x80";
    }
    std::vector<std::string> idleRegion() const;
    std::vector<std::string> busyRegion() const;
    std::vector<std::string> dialogRegion() const;
    std::vector<std::string> trustRegion() const;
    std::vector<std::string> textStyleRegion() const;
    void redraw();

    // --- Timers ---------------------------------------------------------------------------------
    void after(Clock::duration delay, std::function<void()> work) { timers_.emplace(Clock::now() + delay, std::move(work)); }
    // Work for the turn that is running now; dropped when the turn ends.
    void inTurn(Clock::duration delay, std::function<void()> work) {
        after(delay, [this, turn = turn_, work = std::move(work)] {
            if (turn == turn_) work();
        });
    }

    // --- The session -------------------------------------------------------------------------
    void handle(const Input& input);
    void showMain();
    // The folder-trust question when asked for, else the session itself.
    void startTrustOrMain();
    void submit(std::string text);
    void spin(int ticks);
    void useTool();
    void finishTurn();
    void interrupt();
    void endTurn() { ++turn_; }
    // The turn's tool lines, then `lines`; the tool rows are free again.
    std::vector<std::string> said(std::vector<std::string> lines) {
        std::vector<std::string> all;
        for (auto& line : toolLines_) {
            if (!line.empty()) all.push_back(std::move(line));
            line.clear();
        }
        all.insert(all.end(), lines.begin(), lines.end());
        return all;
    }
    void answerDialog(int choice);
    void typePaste(const std::string& text);
    void blink();
    bool wantsPermission() const { return prompt_.find("permission") != std::string::npos; }

    // --- Input --------------------------------------------------------------------------------
    bool readInput(int timeoutMs);
    void parseInput(bool flushLoneEscape);

    HookRunner& hooks_;
    const std::string name_;
    State state_ = State::idle;
    int ruleWidth_ = 79;
    int columns_ = 80;
    int rows_ = 24;
    // Everything printed above the region, drawn again after a resize.
    std::vector<std::string> transcript_;
    bool narrowBanner_ = false;
    std::vector<std::string> region_;
    size_t cursorRow_ = 0;
    std::string pending_;
    std::multimap<Clock::time_point, std::function<void()>> timers_;
    std::string inputBuffer_;
    bool inPaste_ = false;
    std::string pasted_;
    std::optional<Clock::time_point> escapeSince_;
    std::vector<Input> inputs_;

    std::string typed_;
    // The pastes in the prompt being typed: what stands in the prompt, and what the hook gets.
    std::vector<std::pair<std::string, std::string>> pastes_;
    int pasteCount_ = 0;
    std::string prompt_;
    std::array<std::string, 2> toolLines_;
    uint64_t turn_ = 0;
    uint64_t idleWait_ = 0;
    Clock::time_point turnStart_;
    int spinnerFrame_ = 0;
    int selection_ = 0;
    bool dotShown_ = true;
    Clock::time_point trustShownAt_;
    std::optional<Clock::time_point> ctrlCArmedAt_;
    bool done_ = false;
    int exitCode_ = 0;
};

// --- Output -----------------------------------------------------------------------------------

void Session::flush() {
    size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(1, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    pending_.clear();
}

void Session::moveToRow(size_t row) {
    if (row < cursorRow_) out("\x1b[" + std::to_string(cursorRow_ - row) + "A");
    if (row > cursorRow_) out("\x1b[" + std::to_string(row - cursorRow_) + "B");
    out("\r");
    cursorRow_ = row;
}

std::string Session::fit(const std::string& line) const {
    const std::u32string text = scalars(line);
    const size_t room = static_cast<size_t>(std::max(columns_ - 1, 1));
    return text.size() <= room ? line : utf8(std::u32string_view(text).substr(0, room));
}

void Session::setRegion(std::vector<std::string> lines) {
    for (auto& line : lines) line = fit(line);
    if (lines.size() != region_.size() || region_.empty()) {
        if (!region_.empty()) moveToRow(0);
        out("\x1b[J");
        for (size_t i = 0; i < lines.size(); ++i) out((i ? "\r\n" : "") + lines[i]);
        region_ = std::move(lines);
        cursorRow_ = region_.empty() ? 0 : region_.size() - 1;
        placeCursor();
        return;
    }
    for (size_t row = 0; row < lines.size(); ++row) {
        if (lines[row] == region_[row]) continue;
        const std::u32string before = scalars(region_[row]), after = scalars(lines[row]);
        moveToRow(row);
        // Each run that differs, reached with a cursor move over what stays.
        size_t column = 0;
        for (size_t i = 0; i < after.size();) {
            if (i < before.size() && before[i] == after[i]) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < after.size() && !(end < before.size() && before[end] == after[end] &&
                                           (end + 1 >= after.size() || end + 1 >= before.size() ||
                                            before[end + 1] == after[end + 1])))
                ++end;
            if (i > column) out("\x1b[" + std::to_string(i - column) + "C");
            out(utf8(std::u32string_view(after).substr(i, end - i)));
            column = i = end;
        }
        if (after.size() < before.size()) {
            if (after.size() > column) out("\x1b[" + std::to_string(after.size() - column) + "C");
            out("\x1b[K");
        }
    }
    region_ = std::move(lines);
    placeCursor();
}

void Session::printAbove(const std::vector<std::string>& lines, std::vector<std::string> next) {
    if (!region_.empty()) moveToRow(0);
    out("\x1b[J");
    for (const auto& line : lines) out(line + "\r\n");
    transcript_.insert(transcript_.end(), lines.begin(), lines.end());
    region_.clear();
    cursorRow_ = 0;
    setRegion(std::move(next));
}

// The caret sits after the typed text, as the real one does.
void Session::placeCursor() {
    for (size_t row = 0; row < region_.size(); ++row) {
        if (region_[row].rfind(prompt, 0) == 0 && state_ != State::dialog && state_ != State::trust) {
            moveToRow(row);
            out("\x1b[" + std::to_string(scalars(region_[row]).size()) + "C");
            return;
        }
    }
}

std::vector<std::string> Session::idleRegion() const {
    if (!footer()) return {"", namedRule(), prompt + typed_, rule()};
    const bool armed = ctrlCArmedAt_ && Clock::now() - *ctrlCArmedAt_ < 1s;
    return {"", namedRule(), prompt + typed_, rule(), armed ? "  Press Ctrl-C again to exit" : "  ? for shortcuts"};
}

std::vector<std::string> Session::busyRegion() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - turnStart_).count();
    const std::string spinner =
        std::string(spinnerGlyphs[spinnerFrame_ % 6]) + " Thinking\xE2\x80\xA6 (" + std::to_string(elapsed) + "s)";
    if (!footer()) return {toolLines_[0], toolLines_[1], spinner, namedRule(), prompt + typed_, rule()};
    return {toolLines_[0], toolLines_[1], "", spinner, "", namedRule(), prompt + typed_, rule(), "  esc to interrupt"};
}

std::vector<std::string> Session::dialogRegion() const {
    const std::vector<std::string> choices = {"1. Yes", "2. Yes, allow all edits during this session",
                                              "3. Yes, and don't ask again for this command",
                                              "4. No, and tell Claude what to do differently (esc)"};
    const std::string title = std::string(dotShown_ ? " \xE2\x97\x8F" : "  ") + " Bash command";
    std::vector<std::string> lines = {rule(), title, "", "   ls", "   List files", "", " Do you want to proceed?"};
    if (rows_ < fullDialogRows) lines = {title, "   ls", " Do you want to proceed?"};
    for (int i = 0; i < 4; ++i) lines.push_back(choice(i == selection_, choices[i]));
    if (rows_ >= fullDialogRows) lines.insert(lines.end(), {"", " Esc to cancel \xC2\xB7 Tab to amend", namedRule()});
    return lines;
}

std::vector<std::string> Session::trustRegion() const {
    std::string folder = " ";
    folder += currentFolder();
    return {rule(),
            " Accessing workspace:",
            "",
            folder,
            "",
            " Quick safety check: is this a project you created or one you trust?",
            "",
            choice(selection_ == 0, "No, exit"),
            choice(selection_ == 1, "Yes, I trust this folder"),
            "",
            " Enter to confirm \xC2\xB7 Esc to cancel"};
}

// The first run's question, as the real one asks it: a list without numbers, the pointer on the
// choice that is ticked.
std::vector<std::string> Session::textStyleRegion() const {
    static const char* const styles[] = {"\xE2\x9C\x94 Auto (match terminal)", "  Dark mode", "  Light mode",
                                         "  Dark mode (colorblind-friendly)", "  Light mode (colorblind-friendly)"};
    std::vector<std::string> lines = {" Let's get started.", "", " Choose the text style that looks best with your terminal",
                                      " To change this later, run /theme", ""};
    for (int i = 0; i < 5; ++i) lines.push_back(choice(i == selection_, styles[i]));
    return lines;
}

void Session::measure() {
    winsize size{};
    if (::ioctl(1, TIOCGWINSZ, &size) != 0 || size.ws_col <= 1) return;
    columns_ = size.ws_col;
    rows_ = size.ws_row > 0 ? size.ws_row : rows_;
    ruleWidth_ = std::min<int>(columns_ - 1, 119);
}

void Session::redrawAll() {
    measure();
    out("\x1b[2J\x1b[3J\x1b[H");
    for (const auto& line : transcript_) out(line + "\r\n");
    region_.clear();
    cursorRow_ = 0;
    redraw();
}

void Session::redraw() {
    switch (state_) {
        case State::textStyle: setRegion(textStyleRegion()); break;
        case State::trust: setRegion(trustRegion()); break;
        case State::idle: setRegion(idleRegion()); break;
        case State::busy: setRegion(busyRegion()); break;
        case State::dialog: setRegion(dialogRegion()); break;
    }
}

// --- The session ------------------------------------------------------------------------------

void Session::startTrustOrMain() {
    if (variable("FAKE_CLAUDE_TRUST") != "1") return showMain();
    state_ = State::trust;
    selection_ = 0;
    trustShownAt_ = Clock::now();
    setRegion(trustRegion());
}

void Session::showMain() {
    state_ = State::idle;
    if (narrowBanner_) {
        std::string folder = " ";
        folder += currentFolder();
        const std::vector<std::string> logo = {" \xE2\x96\x9B\xE2\x96\x80\xE2\x96\x80\xE2\x96\x9C",
                                               " \xE2\x96\x8C\xE2\x96\x88\xE2\x96\x88\xE2\x96\x90",
                                               " \xE2\x96\x99\xE2\x96\x84\xE2\x96\x84\xE2\x96\x9F"};
        std::vector<std::string> lines = logo;
        lines.insert(lines.end(), {" fake-model-1", " API usage billing", folder, ""});
        printAbove(lines, idleRegion());
        return;
    }
    printAbove({" \xE2\x9C\xBB Claude\x1b[1CCode\x1b[1Cv2.1.328", "   " + currentFolder(), ""}, idleRegion());
}

void Session::submit(std::string text) {
    typed_.clear();
    std::string asked = text;
    for (const auto& [shown, wrapped] : pastes_) {
        if (const size_t at = asked.find(shown); at != std::string::npos) asked.replace(at, shown.size(), wrapped);
    }
    pastes_.clear();
    if (text == "/exit") {
        printAbove({pointer + "/exit", ""}, {});
        done_ = true;
        return;
    }
    prompt_ = asked;
    ++idleWait_;
    state_ = State::busy;
    turnStart_ = Clock::now();
    spinnerFrame_ = 0;
    printAbove({pointer + text, ""}, busyRegion());
    flush();
    hooks_.fire("UserPromptSubmit", {{"prompt", asked}});
    appendTranscript(hooks_.sessionId(), asked);
    const auto turn = std::chrono::duration<double>(seconds("FAKE_CLAUDE_TURN", 1.5));
    inTurn(spinnerTick, [this] { spin(1); });
    inTurn(std::chrono::duration_cast<Clock::duration>(turn * 0.3), [this, turn] {
        hooks_.fire("PreToolUse", {{"tool_name", toolName()}, {"tool_input", toolInput()}}, toolName());
        if (wantsPermission()) {
            state_ = State::dialog;
            selection_ = 0;
            dotShown_ = true;
            redraw();
            inTurn(blinkPeriod, [this] { blink(); });
            inTurn(std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(seconds("FAKE_CLAUDE_PERMISSION_NOTIFY", 6.4))),
                   [this] {
                       if (state_ == State::dialog)
                           hooks_.fire("Notification", {{"message", "Claude needs your permission to use Bash"},
                                                        {"notification_type", "permission_prompt"}});
                   });
            return;
        }
        toolLines_ = {toolCall(), toolRunning};
        redraw();
        const double run = seconds("FAKE_CLAUDE_TOOL_RUN", turn.count() * 0.2);
        inTurn(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(run)), [this, turn] {
            useTool();
            inTurn(std::chrono::duration_cast<Clock::duration>(turn * 0.5), [this] { finishTurn(); });
        });
    });
}

void Session::spin(int ticks) {
    if (state_ != State::busy) return;
    ++spinnerFrame_;
    redraw();
    const bool pause = ticks % ticksBeforePause == 0;
    inTurn(pause ? spinnerPause : spinnerTick, [this, ticks] { spin(ticks + 1); });
}

// The tool's lines take rows kept free above the spinner, so the rest of
// the region (the footer with its hint) is not written again.
void Session::useTool() {
    hooks_.fire("PostToolUse",
                {{"tool_name", toolName()}, {"tool_input", toolInput()}, {"tool_response", {{"stdout", ""}, {"stderr", ""}}}},
                toolName());
    toolLines_ = {toolCall(), "  \xE2\x8E\xBF  (No content)"};
    redraw();
}

void Session::finishTurn() {
    endTurn();
    state_ = State::idle;
    printAbove(said({"\xE2\x97\x8F " + variable("FAKE_CLAUDE_ANSWER", "fake answer"), ""}), idleRegion());
    flush();
    hooks_.fire("Stop", {{"stop_hook_active", false}});
    const uint64_t wait = ++idleWait_;
    after(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(seconds("FAKE_CLAUDE_IDLE_NOTIFY", 60))),
          [this, wait] {
              if (wait == idleWait_ && state_ == State::idle)
                  hooks_.fire("Notification", {{"message", "Claude is waiting for your input"},
                                               {"notification_type", "idle_prompt"}});
          });
}

// The interrupt takes the running tool's line, and the idle region the rest:
// drawn over the region as it stands, where it changed, the way the real CLI
// redraws. The rows above the idle region join what was said.
void Session::interrupt() {
    endTurn();
    state_ = State::idle;
    if (toolLines_[1] == toolRunning) toolLines_[1] = interrupted;
    std::vector<std::string> lines = said(toolLines_[1] == interrupted ? std::vector<std::string>{}
                                                                       : std::vector<std::string>{interrupted});
    const std::vector<std::string> idle = idleRegion();
    const size_t room = region_.size() > idle.size() ? region_.size() - idle.size() : 0;
    if (lines.size() > room) {
        lines.push_back("");
        printAbove(lines, idle);
        return;
    }
    lines.resize(room);
    transcript_.insert(transcript_.end(), lines.begin(), lines.end());
    lines.insert(lines.end(), idle.begin(), idle.end());
    setRegion(std::move(lines));
    region_.erase(region_.begin(), region_.begin() + static_cast<std::ptrdiff_t>(room));
    cursorRow_ -= std::min(cursorRow_, room);
}

void Session::blink() {
    if (state_ != State::dialog) return;
    dotShown_ = !dotShown_;
    redraw();
    inTurn(blinkPeriod, [this] { blink(); });
}

void Session::answerDialog(int choice) {
    logRecord({{"event", "permission"}, {"choice", choice + 1}});
    if (choice == 3) {
        endTurn();
        state_ = State::idle;
        printAbove(said({interrupted, ""}), idleRegion());
        return;
    }
    state_ = State::busy;
    redraw();
    flush();
    useTool();
    inTurn(std::chrono::duration_cast<Clock::duration>(
               std::chrono::duration<double>(seconds("FAKE_CLAUDE_TURN", 1.5) * 0.5)),
           [this] { finishTurn(); });
    inTurn(spinnerTick, [this] { spin(1); });
}

void Session::handle(const Input& input) {
    switch (state_) {
        case State::textStyle:
            if (input.key == Key::up || input.key == Key::down) {
                selection_ = std::clamp(selection_ + (input.key == Key::down ? 1 : -1), 0, 4);
                redraw();
            } else if (input.key == Key::enter) {
                logRecord({{"event", "text style"}, {"choice", selection_}});
                startTrustOrMain();
            }
            return;
        case State::trust:
            if (Clock::now() - trustShownAt_ < trustDeafTime) return;
            if (input.key == Key::up || input.key == Key::down) {
                selection_ = input.key == Key::down ? 1 : 0;
                redraw();
            } else if (input.key == Key::enter || input.key == Key::escape) {
                const bool trusted = input.key == Key::enter && selection_ == 1;
                logRecord({{"event", "trust"}, {"trusted", trusted}});
                if (!trusted) {
                    printAbove({}, {});
                    done_ = true;
                    exitCode_ = 1;
                    return;
                }
                showMain();
            }
            return;
        case State::dialog:
            if (input.key == Key::up || input.key == Key::down) {
                selection_ = std::clamp(selection_ + (input.key == Key::down ? 1 : -1), 0, 3);
                redraw();
            } else if (input.key == Key::enter) {
                answerDialog(selection_);
            } else if (input.key == Key::escape) {
                answerDialog(3);
            } else if (input.key == Key::text && input.text.size() == 1 && input.text[0] >= '1' && input.text[0] <= '4') {
                answerDialog(input.text[0] - '1');
            }
            return;
        case State::busy:
            if (input.key == Key::escape || input.key == Key::interrupt) {
                logRecord({{"event", "interrupt"}});
                const uint64_t turn = turn_;
                after(interruptDelay, [this, turn] {
                    if (turn == turn_ && state_ == State::busy) interrupt();
                });
                return;
            }
            break;
        case State::idle:
            if (input.key == Key::enter) {
                if (!typed_.empty()) submit(typed_);
                return;
            }
            if (input.key == Key::interrupt) {
                if (!typed_.empty()) {
                    typed_.clear();
                } else if (ctrlCArmedAt_ && Clock::now() - *ctrlCArmedAt_ < 1s) {
                    done_ = true;
                    return;
                } else {
                    ctrlCArmedAt_ = Clock::now();
                    after(1s + 1ms, [this] { redraw(); });
                }
                redraw();
                return;
            }
            break;
    }
    if (input.key == Key::text) typed_ += input.text;
    if (input.key == Key::paste) typePaste(input.text);
    if (input.key == Key::backspace && !typed_.empty()) {
        std::u32string text = scalars(typed_);
        text.pop_back();
        typed_ = utf8(text);
    }
    redraw();
}

// A long paste stands in the prompt as a placeholder.
void Session::typePaste(const std::string& text) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + std::count(text.begin(), text.end(), '\r');
    if (lines == 0 && scalars(text).size() < 800) {
        typed_ += text;
        return;
    }
    char id[8];
    std::snprintf(id, sizeof id, "%04x", static_cast<unsigned>(::getpid() * 31 + ++pasteCount_) & 0xffffu);
    const std::string shown = "[Pasted text #" + std::to_string(pasteCount_) + " +" + std::to_string(lines) + " lines]";
    pastes_.emplace_back(shown, "<pasted_content id=\"" + std::string(id) + "\">\n" + text + "\n</pasted_content>");
    typed_ += shown;
}

// --- Input ------------------------------------------------------------------------------------

bool Session::readInput(int timeoutMs) {
    pollfd fd{0, POLLIN, 0};
    const int ready = ::poll(&fd, 1, timeoutMs);
    if (ready <= 0) return true;
    char chunk[4096];
    const ssize_t n = ::read(0, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    inputBuffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

void Session::parseInput(bool flushLoneEscape) {
    size_t i = 0;
    while (i < inputBuffer_.size()) {
        const std::string_view rest = std::string_view(inputBuffer_).substr(i);
        if (inPaste_) {
            constexpr std::string_view endMarker = "\x1b[201~";
            const size_t end = rest.find(endMarker);
            if (end == std::string_view::npos) {
                // The end marker may come split: what could be its start waits for the rest.
                size_t keep = std::min(endMarker.size() - 1, rest.size());
                while (keep > 0 && !endMarker.starts_with(rest.substr(rest.size() - keep))) --keep;
                pasted_ += rest.substr(0, rest.size() - keep);
                i += rest.size() - keep;
                break;
            }
            pasted_ += rest.substr(0, end);
            inPaste_ = false;
            if (!pasted_.empty()) inputs_.push_back({Key::paste, std::exchange(pasted_, {})});
            i += end + 6;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(rest[0]);
        if (c == 0x1b) {
            if (rest.size() == 1) {
                if (!flushLoneEscape) break;
                inputs_.push_back({Key::escape, {}});
                ++i;
                continue;
            }
            if (rest[1] == '[' || rest[1] == 'O') {
                size_t end = 2;
                while (end < rest.size() && !(rest[end] >= 0x40 && rest[end] <= 0x7E)) ++end;
                if (end == rest.size()) break;  // the rest has not come yet
                const std::string_view sequence = rest.substr(0, end + 1);
                if (sequence == "\x1b[200~") inPaste_ = true;
                if (rest[end] == 'A') inputs_.push_back({Key::up, {}});
                if (rest[end] == 'B') inputs_.push_back({Key::down, {}});
                i += end + 1;
                continue;
            }
            inputs_.push_back({Key::escape, {}});
            ++i;
            continue;
        }
        if (c == 0x03) inputs_.push_back({Key::interrupt, {}});
        else if (c == '\r' || c == '\n') inputs_.push_back({Key::enter, {}});
        else if (c == 0x7F || c == 0x08) inputs_.push_back({Key::backspace, {}});
        if (c < 0x20 || c == 0x7F) {
            ++i;
            continue;
        }
        const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (rest.size() < length) break;
        inputs_.push_back({Key::text, std::string(rest.substr(0, length))});
        i += length;
    }
    inputBuffer_.erase(0, i);
}

int Session::run() {
    termios saved{};
    const bool haveTerminal = ::tcgetattr(0, &saved) == 0;
    if (haveTerminal) {
        termios raw = saved;
        ::cfmakeraw(&raw);
        ::tcsetattr(0, TCSANOW, &raw);
    }
    measure();
    const std::string banner = variable("FAKE_CLAUDE_BANNER");
    narrowBanner_ = banner == "narrow" || (banner != "wide" && columns_ < narrowBannerColumns);
    struct sigaction onResize{};
    onResize.sa_handler = [](int) { resized = 1; };
    ::sigaction(SIGWINCH, &onResize, nullptr);
    out("\x1b[?2004h");

    if (variable("FAKE_CLAUDE_FIRST_RUN") == "1") {
        state_ = State::textStyle;
        selection_ = 0;
        setRegion(textStyleRegion());
    } else {
        startTrustOrMain();
    }
    flush();

    while (!done_) {
        const auto now = Clock::now();
        while (!timers_.empty() && timers_.begin()->first <= now && !done_) {
            auto work = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
            work();
            flush();
        }
        if (done_) break;
        auto wait = timers_.empty() ? Clock::duration(1s) : timers_.begin()->first - Clock::now();
        if (escapeSince_) wait = std::min<Clock::duration>(wait, *escapeSince_ + loneEscapeWait - Clock::now());
        const int waitMs = static_cast<int>(std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(wait + 999us).count()));
        if (!readInput(waitMs)) break;
        if (resized) {
            resized = 0;
            redrawAll();
            flush();
        }
        const bool lone = escapeSince_ && Clock::now() - *escapeSince_ >= loneEscapeWait;
        parseInput(lone);
        escapeSince_ = inputBuffer_ == "\x1b" ? std::optional(escapeSince_.value_or(Clock::now())) : std::nullopt;
        for (const auto& input : inputs_) {
            if (done_) break;
            handle(input);
            flush();
        }
        inputs_.clear();
    }
    out("\x1b[?2004l");
    flush();
    if (haveTerminal) ::tcsetattr(0, TCSANOW, &saved);
    logRecord({{"event", "exit"}, {"code", exitCode_}});
    return exitCode_;
}

}  // namespace

int runScreen(HookRunner& hooks, const std::string& name) {
    Session session(hooks, name);
    return session.run();
}

}  // namespace fake
