// A terminal view running its own child on a real pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/HostTestSupport.h"
#include "support/InputTestSupport.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/LocalProcessTerminalView.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using vantel::testing::FixedCellView;
using vantel::testing::gridOptions;

namespace {

class ProcessOwner : public LocalProcessTerminalViewDelegate {
public:
    void sizeChanged(LocalProcessTerminalView&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void setTerminalTitle(LocalProcessTerminalView&, const std::string& title) override { titles.push_back(title); }
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>&) override {}
    void processTerminated(TerminalView&, std::optional<int32_t> exitCode) override {
        exits.push_back(exitCode);
        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
    }
    std::vector<std::pair<int, int>> sizes;
    std::vector<std::string> titles;
    std::vector<std::optional<int32_t>> exits;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = true;
};

// The screen's text, rows joined by newlines, trailing blanks cut.
std::string screenText(TerminalView& view) {
    Terminal& t = view.getTerminal();
    std::string out;
    for (int row = 0; row < t.rows(); ++row) {
        std::string line = t.buffer().lines()[t.buffer().yBase() + row].translateToString(
            true, 0, -1, true, [&](const CharData& cell) { return t.getCharacter(cell); });
        out += line + "\n";
    }
    return out;
}

struct Running {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    ProcessOwner owner;

    bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, 30s); }
};

// Sizes its children's terminals itself: 30 + n rows and 70 + n columns at its n-th asking.
class CountingSizeView : public LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    winsize getWindowSize() override {
        ++asked;
        return winsize{static_cast<unsigned short>(30 + asked), static_cast<unsigned short>(70 + asked), 0, 0};
    }
    int asked = 0;
};

// Shows the child's bytes, and keeps them as they came.
class RecordingView : public LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    void dataReceived(std::span<const uint8_t> slice) override {
        received.append(slice.begin(), slice.end());
        LocalProcessTerminalView::dataReceived(slice);
    }
    std::string received;
};

// Takes the child's bytes without showing them.
class TappingView : public LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    void dataReceived(std::span<const uint8_t> slice) override { tapped.append(slice.begin(), slice.end()); }
    std::string tapped;
};

}  // namespace

TEST(LocalProcessTerminalView, WindowSizeInDevicePixels) {
    struct Case {
        Size cell;
        int cols, rows;
        double scale;  // 0: no window
        winsize expected;
    } cases[] = {
        {{8, 16}, 80, 25, 2, {25, 80, 1280, 800}},
        {{8, 16}, 80, 25, 0, {25, 80, 640, 400}},
        {{7.5, 16.2}, 80, 24, 1, {24, 80, 600, 388}},
        // The record holds 16 bits: larger sizes are clamped.
        {{40, 80}, 4096, 2048, 2, {2048, 4096, 65535, 65535}},
    };
    for (const Case& c : cases) {
        Running r;
        FixedCellView<LocalProcessTerminalView> view(c.cell, Rect{}, nullptr, gridOptions(c.cols, c.rows));
        // In a window as a subview, so that its empty frame keeps the grid.
        std::optional<HeadlessWindow> window;
        platform::ui::View holder(Rect{0, 0, 100, 100});
        if (c.scale > 0) {
            window.emplace(Size{100, 100}, c.scale);
            window->setContentView(&holder);
            holder.addSubview(&view);
        }
        const winsize size = view.getWindowSize();
        EXPECT_EQ(std::tuple(size.ws_row, size.ws_col, size.ws_xpixel, size.ws_ypixel),
                  std::tuple(c.expected.ws_row, c.expected.ws_col, c.expected.ws_xpixel, c.expected.ws_ypixel))
            << c.cols << " at " << c.scale;
        view.removeFromSuperview();
    }
}

TEST(LocalProcessTerminalView, ARunningChildHearsOfSizesTheOwnerToo) {
    Running r;
    CountingSizeView view(Rect{0, 0, 400, 200});
    view.processDelegate = &r.owner;
    // Before the start: the grid changes, the child's terminal is not touched, the owner not told.
    view.setFrameSize({500, 300});
    EXPECT_TRUE(r.owner.sizes.empty());
    EXPECT_EQ(view.asked, 0);
    view.startProcess("/bin/sh", {"-c", "stty size; read line; stty size"});
    ASSERT_TRUE(r.waitFor([&] { return screenText(view).find("31 71") != std::string::npos; }));
    view.setFrameSize({300, 200});
    EXPECT_EQ(view.asked, 2);
    EXPECT_EQ(r.owner.sizes.size(), 1u);
    view.send(std::string_view("\n"));
    EXPECT_TRUE(r.waitFor([&] { return screenText(view).find("32 72") != std::string::npos; }));
    EXPECT_TRUE(r.waitFor([&] { return !r.owner.exits.empty(); }));
    view.processDelegate = nullptr;
}

TEST(LocalProcessTerminalView, TheExitArrivesOnceAndNeverAfterTerminate) {
    Running r;
    LocalProcessTerminalView view(Rect{0, 0, 400, 200});
    view.processDelegate = &r.owner;
    view.startProcess("/bin/sh", {"-c", "printf 'hello\\033]2;a title\\007'; exit 3"});
    ASSERT_TRUE(r.waitFor([&] { return !r.owner.exits.empty(); }));
    r.loop.runUntil([] { return false; }, 200ms);
    ASSERT_EQ(r.owner.exits.size(), 1u);
    EXPECT_EQ(r.owner.exits[0], 3 << 8);
    EXPECT_TRUE(r.owner.onMainThread);
    EXPECT_EQ(r.owner.titles, (std::vector<std::string>{"a title"}));
    EXPECT_NE(screenText(view).find("hello"), std::string::npos);

    view.startProcess("/bin/sh", {"-c", "sleep 30"});
    ASSERT_TRUE(view.process().running());
    view.terminate();
    r.loop.runUntil([] { return false; }, 300ms);
    EXPECT_EQ(r.owner.exits.size(), 1u);
    view.processDelegate = nullptr;
}

TEST(LocalProcessTerminalView, AnOverrideThatDoesNotFeedShowsNothing) {
    Running r;
    TappingView view(Rect{0, 0, 400, 200});
    view.processDelegate = &r.owner;
    view.startProcess("/bin/sh", {"-c", "printf 'one '; printf 'two'"});
    ASSERT_TRUE(r.waitFor([&] { return !r.owner.exits.empty(); }));
    r.loop.runUntil([&] { return view.tapped == "one two"; }, 5s);
    EXPECT_EQ(view.tapped, "one two");
    EXPECT_EQ(screenText(view).find("one"), std::string::npos);
    view.processDelegate = nullptr;
}

// The clipboard as programs see it: copies of valid text go to the pasteboard; reads answer from
// this program's own copy, and only when the owner allows them.
TEST(LocalProcessTerminalView, ClipboardThroughThePasteboard) {
    Running r;
    LocalProcessTerminalView view(Rect{0, 0, 400, 200});
    auto& board = platform::ui::Pasteboard::general();
    board.setString("before");
    view.feed("\x1b]52;c;/w==\x07");  // not UTF-8: not copied
    EXPECT_EQ(board.string(), "before");
    view.feed("\x1b]52;c;aGk=\x07");
    EXPECT_EQ(board.string(), "hi");
    EXPECT_EQ(view.clipboardRead(static_cast<TerminalView&>(view)), (std::vector<uint8_t>{'h', 'i'}));
    // Another program's copy is not read for a program: no answer.
    board.ownerDidChange();
    EXPECT_EQ(view.clipboardRead(static_cast<TerminalView&>(view)), std::nullopt);
    board.setString("hi");
    board.clearContents();
    EXPECT_EQ(view.clipboardRead(static_cast<TerminalView&>(view)), std::nullopt);
}

namespace {

// Takes 50 µs of the virtual clock for each piece of output it is fed, as a real engine takes time.
class CostlyView : public FixedCellView<LocalProcessTerminalView> {
public:
    using FixedCellView<LocalProcessTerminalView>::FixedCellView;
    void dataReceived(std::span<const uint8_t> slice) override {
        loop->skipTime(50us);
        FixedCellView<LocalProcessTerminalView>::dataReceived(slice);
    }
    VirtualMainLoop* loop = nullptr;
};

}  // namespace

// Sixteen terminals in a window that draws typing first, fifteen of them flooding and paced as
// a wall paces them, frames every 16.67 ms of the loop's clock: a key's echo is delivered ahead
// of the floods' passes and drawn in the first frame after it arrives, alone while the floods'
// output waits one frame; the floods keep being drawn.
TEST(LocalProcessTerminalView, AnEchoIsDrawnInTheFrameAfterItArrivesBesideFifteenFloods) {
    Running r;
    HeadlessWindow window({800, 400}, 1);
    window.setDrawsTypingFirst(true);
    platform::ui::View root(Rect{0, 0, 800, 400});
    std::vector<std::unique_ptr<CostlyView>> views;
    for (int i = 0; i < 16; ++i) {
        views.push_back(std::make_unique<CostlyView>(
            Size{4, 8}, Rect{double(i % 4) * 200, double(i / 4) * 100, 200, 100}, nullptr, gridOptions(50, 12)));
        views.back()->loop = &r.loop;
        views.back()->scroller().setHidden(true);
        views.back()->setStreamingDisplayInterval(33'333'333ns);
        root.addSubview(views.back().get());
    }
    window.setContentView(&root);
    auto& typed = *views[0];
    const Rect typedFrame = typed.frame();
    typed.startProcess("/bin/sh", {"-c", "stty -icanon; echo READY; exec cat"});
    ASSERT_TRUE(window.makeFirstResponder(&typed));
    ASSERT_TRUE(r.waitFor([&] { return screenText(typed).find("READY") != std::string::npos; }));
    // Typed into from the start, so that the floods' passes wait for their share on the loop's
    // clock, which stands still while the test waits for its children.
    typed.send(std::string_view(""));
    for (size_t i = 1; i < views.size(); ++i) views[i]->startProcess("/usr/bin/yes", {"a line of a flood of output"});
    const auto frameTime = 16'666'667ns;
    auto nextFrame = [&] {
        r.loop.advance(frameTime);
        window.displayIfNeeded();
    };
    std::vector<uint64_t> floodDraws;
    for (int i = 0; i < 20; ++i) {
        nextFrame();
        r.loop.runUntil([] { return false; }, 5ms);
    }
    for (size_t i = 1; i < views.size(); ++i) floodDraws.push_back(views[i]->displayUpdateCount());

    // The floods have output waiting (their children run in real time; the loop stands still).
    auto waitForFloods = [&] {
        const auto limit = std::chrono::steady_clock::now() + 30s;
        while (!std::all_of(views.begin() + 1, views.end(), [](auto& v) { return v->process().hasPendingOutput(); }) &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(1ms);
        }
    };
    auto type = [&](char letter) {
        platform::ui::KeyEvent key;
        key.key = platform::ui::Key::character;
        key.characters = std::string(1, letter);
        key.charactersIgnoringModifiers = key.characters;
        key.keyval = static_cast<uint32_t>(letter);
        window.sendKeyEvent(key);
    };
    auto dirtyOutsideTyped = [&] {
        return std::any_of(window.dirtyRects().begin(), window.dirtyRects().end(),
                           [&](const Rect& d) { return !typedFrame.contains(d); });
    };
    // How many echoes had flood output to draw in their frame too (the children run in real time).
    int framesWithFloods = 0;
    for (const char letter : std::string("qwerty")) {
        waitForFloods();
        type(letter);
        // Delivered without the clock moving: ahead of the floods' passes and timers.
        ASSERT_TRUE(r.waitFor([&] { return screenText(typed).find(letter) != std::string::npos; })) << letter;
        ASSERT_TRUE(std::any_of(window.dirtyRects().begin(), window.dirtyRects().end(),
                                [&](const Rect& d) { return d.intersects(typedFrame); }))
            << letter;
        // The floods' frames came due meanwhile: the next frame has them to draw as well.
        r.loop.advance(frameTime);
        const bool floodsWaiting = dirtyOutsideTyped();
        framesWithFloods += floodsWaiting ? 1 : 0;
        window.displayIfNeeded();
        if (floodsWaiting) {
            for (const Rect& drawn : window.lastDisplayedRects()) EXPECT_TRUE(typedFrame.contains(drawn)) << letter;
        }
        EXPECT_TRUE(std::none_of(window.dirtyRects().begin(), window.dirtyRects().end(),
                                 [&](const Rect& d) { return d.intersects(typedFrame); }))
            << "the echo of " << letter << " waits for a frame";
        nextFrame();
        EXPECT_FALSE(window.needsDisplay()) << letter;
    }
    EXPECT_GE(framesWithFloods, 3);
    // The frame clock ticks between a key and its echo, the floods' output waiting to be drawn:
    // that frame waits for the echo instead of drawing the floods ahead of it, and the echo is
    // drawn alone in the next.
    // The floods' children run in real time and their draws are paced: a key whose frame finds
    // nothing of them to draw, or whose echo came first, proves nothing, and the next key tries
    // again, however slow the machine: as many keys as it takes (a loaded machine needs dozens),
    // each echo told by the bytes the view was handed, not by the screen.
    int held = 0;
    const std::string letters = "asdfghjklzxcvbnm";
    for (size_t tried = 0; tried < 40 * letters.size() && held < 2; ++tried) {
        const char letter = letters[tried % letters.size()];
        waitForFloods();
        for (int frame = 0; frame < 10 && !dirtyOutsideTyped(); ++frame) {
            r.loop.advance(frameTime);
            r.loop.runUntil([&] { return dirtyOutsideTyped(); }, 1s);
        }
        if (!dirtyOutsideTyped()) continue;
        const int displays = window.displayCount();
        const uint64_t delivered = typed.process().outputDelivered();
        type(letter);
        window.displayIfNeeded();
        if (window.displayCount() != displays) {
            // The echo came first after all: drawn, and the next key tries again.
            r.waitFor([&] { return typed.process().outputDelivered() > delivered; });
            nextFrame();
            continue;
        }
        ++held;
        EXPECT_TRUE(dirtyOutsideTyped()) << letter;
        ASSERT_TRUE(r.waitFor([&] { return typed.process().outputDelivered() > delivered; })) << letter;
        nextFrame();
        EXPECT_EQ(window.displayCount(), displays + 1) << letter;
        for (const Rect& drawn : window.lastDisplayedRects()) EXPECT_TRUE(typedFrame.contains(drawn)) << letter;
        nextFrame();
    }
    EXPECT_EQ(held, 2);
    // Paced, every flood was drawn while the keys were typed.
    for (size_t i = 1; i < views.size(); ++i) EXPECT_GT(views[i]->displayUpdateCount(), floodDraws[i - 1]) << i;
    for (auto& view : views) view->terminate();
}

namespace {

// The children of process `pid` that have ended and wait to be reaped.
bool hasZombieChild(pid_t pid) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;) {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
    }
    return false;
}

}  // namespace

// Ctrl+C during a paste, through the view's own keys, and keys typed at once after it, for each
// shape the terminal's foreground takes: the key goes once the program that reads has read the
// paste's end, and the keys once it acted on the signal (a fresh prompt), none of it at a bound,
// whoever's the program and whatever else runs in its group (a wrapper that waits for it, a helper
// child, a zombie); a signal ignored lets the keys go at once, one held blocked at the bound. A
// program that reads its keys raw and relays them (script, sudo's own terminal) takes the key as it
// comes: what it had taken of the paste is its own, and a second Ctrl+C gives its prompt back.
TEST(LocalProcessTerminalView, CtrlCDuringAPasteWaitsForTheProgramThatReads) {
    const std::string shell = "/bin/bash --norc --noprofile -i";
    struct Case {
        const char* name;
        std::vector<std::string> command;
        std::string prompt, pasted, typed;
        // What the program writes on the signal, and its answer to what was typed after it (its
        // output read as it comes: the screen may scroll past it).
        std::string heard, answer;
        size_t size = size_t{256} << 10;  // of the paste
        bool framed = true;               // the program reads pastes framed
        bool anotherUsers = false;        // this program looks at it as another user
        bool zombie = false;              // wait for the program's child to end unreaped
        size_t interruptPastLimit = 0;    // keys that waited the program's bound
        bool again = false;               // a second Ctrl+C, and the keys once more
    };
    const Case cases[] = {
        {"the user's shell", {"/bin/bash", "--norc", "--noprofile", "-i"}, "PROMPT$ ", "echo pasted\r", "echo do\"\"ne\r",
         "^C", "\rdone\r\n"},
        // Its calls and reads are not this program's to see (a root shell after su).
        {"a root shell on the tile's terminal", {"/bin/bash", "--norc", "--noprofile", "-i"}, "PROMPT$ ", "echo pasted\r",
         "echo do\"\"ne\r", "^C", "\rdone\r\n", size_t{256} << 10, true, true},
        // bc reads its lines through a line editor in the wrapper's group; on the signal it says so
        // and goes on (what was pasted stays on its line, cut where the paste was: a Return ends
        // it before the sum typed).
        {"a calculator behind a wrapper", {"/bin/sh", "-c", "bc -q; true"}, "", "100+1\r", "\r20+3\r",
         "(interrupt) use quit to exit.", "\r23\r\n", 32 << 10},
        {"a calculator with a helper child", {"/bin/sh", "-c", "sleep 30 & exec bc -q"}, "", "100+1\r", "\r20+3\r",
         "(interrupt) use quit to exit.", "\r23\r\n", 32 << 10},
        {"a calculator with a zombie child", {"/bin/sh", "-c", "sleep 0 & exec bc -q"}, "", "100+1\r", "\r20+3\r",
         "(interrupt) use quit to exit.", "\r23\r\n", 32 << 10, true, false, true},
        // A zombie of its own that ignored no signal (the one above ignored it, as a background
        // job of sh's): it never acts on one, and is no reader.
        {"a calculator with a zombie child that kept the signal",
         {"/usr/bin/python3", "-c", "import os\nif os.fork() == 0: os._exit(0)\nos.execv('/usr/bin/bc', ['bc', '-q'])"}, "",
         "100+1\r", "\r20+3\r", "(interrupt) use quit to exit.", "\r23\r\n", 32 << 10, true, false, true},
        {"a line editor that ignores it",
         {"/bin/bash", "--norc", "--noprofile", "-c", "trap '' INT; read -e -p 'PROMPT$ ' line; echo \"got ${line: -4}\""},
         "PROMPT$ ", "xy", "done\r", "", "got done"},
        // The signal ends the read; the trap says so, and the next read gets the keys.
        {"a line editor that catches it",
         {"/bin/bash", "--norc", "--noprofile", "-c",
          "trap 'echo CAUGHT' INT; while :; do read -e -p 'PROMPT$ ' line && echo \"got ${line: -4}\"; done"},
         "PROMPT$ ", "xy", "done\r", "CAUGHT", "got done"},
        // It never takes the signal: the keys go at the bound, read as the keys they are.
        {"a reader that holds it blocked", {vantel::testing::testChild, "lateint", "deaf", "framed"}, "READY", "xy", "d", "",
         "KEY d before", 16 << 10, true, false, false, 1},
        {"a relay", {"/usr/bin/script", "-qfec", shell, "/dev/null"}, "PROMPT$ ", "echo pasted\r", "echo do\"\"ne\r", "^C",
         "\rdone\r\n", size_t{256} << 10, true, false, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Running r;
        FixedCellView<RecordingView> view(Size{8, 16}, Rect{}, nullptr, gridOptions(100, 24));
        view.processDelegate = &r.owner;
        view.startProcess(c.command[0], std::vector<std::string>(c.command.begin() + 1, c.command.end()),
                          std::vector<std::string>{"TERM=xterm-256color", "HOME=/nonexistent", "INPUTRC=/dev/null",
                                                   "PATH=/usr/bin:/bin", "PS1=PROMPT$ ", "SHELL=/bin/sh"});
        ASSERT_TRUE(r.waitFor([&] { return view.received.find(c.prompt) != std::string::npos; })) << screenText(view);
        if (c.framed) {
            ASSERT_TRUE(r.waitFor([&] { return view.getTerminal().bracketedPasteMode; }));
        }
        if (c.zombie) {
            ASSERT_TRUE(r.waitFor([&] { return hasZombieChild(view.process().shellPid()); }));
        }
        std::optional<vantel::testing::Unprivileged> observer;
        if (c.anotherUsers) observer.emplace();
        std::string text;
        while (text.size() < c.size) text += c.pasted;
        platform::ui::Pasteboard::general().setString(text);
        view.paste();
        const size_t before = view.received.size();
        const auto interrupt = [&] { view.keyDown(vantel::testing::typed("c", platform::ui::Modifier::control)); };
        const auto type = [&] {
            for (const char key : c.typed) {
                if (key == '\r') view.keyDown(vantel::testing::typed("\r", 0, platform::ui::Key::returnKey));
                else view.keyDown(vantel::testing::typed(std::string(1, key)));
            }
        };
        interrupt();
        type();
        const auto said = [&](const std::string& words) {
            return r.loop.runUntil([&] { return view.received.find(words, before) != std::string::npos; }, 20s);
        };
        EXPECT_TRUE(said(c.heard)) << screenText(view);
        if (c.again) {
            r.loop.runUntil([] { return false; }, 300ms);
            const size_t second = view.received.size();
            interrupt();
            EXPECT_TRUE(r.loop.runUntil([&] { return view.received.find(c.prompt, second) != std::string::npos; }, 20s));
            type();
        }
        // What was typed after the key reaches the program.
        EXPECT_TRUE(said(c.answer)) << screenText(view);
        EXPECT_EQ(view.process().writeFigures().readerWaitsPastLimit, 0u);
        EXPECT_EQ(view.process().writeFigures().interruptWaitsPastLimit, c.interruptPastLimit);
        view.process().terminate();
    }
}

// A real shell at its prompt, its line editor reading pastes framed: Ctrl+C during a large paste
// gives a fresh prompt, nothing pasted runs, and the next command typed works, whether the key
// comes as the paste starts or once much of it went out, and whether the command is typed once the
// prompt shows or straight away, through the view's own keys. (Taken in before the editor read the
// paste's end, the key would discard that end, and the editor would wait for it for good; heard
// while the editor is busy rather than waiting for input, it would leave the paste on the line;
// keys read before the editor acted on the interrupt would run the line it was to throw away.)
// A row holds the shell stopped across the key, so that the key comes while it is behind the
// paste's end (as on a loaded machine). Rows run the shell as another user (root, with this program
// unprivileged, as after "su"), whose calls and reads this program cannot see. Each wait ends as the
// shell acts, none at its bound.
TEST(LocalProcessTerminalView, CtrlCDuringAPasteGivesTheShellAFreshPrompt) {
    std::string text;
    for (int i = 0; text.size() < (size_t{2} << 20); ++i) text += "echo pasted" + std::to_string(i) + "\r";
    struct Case {
        const char* name;
        int64_t after;          // bytes of the paste written before the key
        bool held;              // the shell is stopped from just before the key until 50 ms after it
        std::optional<std::chrono::milliseconds> typed;  // the command typed this soon after the key
        bool anotherUsers = false;  // the shell is another user's
    };
    const Case cases[] = {
        {"early, typed at the prompt", 0, false, std::nullopt},
        {"late, typed at the prompt", int64_t{1} << 20, false, std::nullopt},
        {"early, typed at once", 0, false, 0ms},
        {"late, typed at once", int64_t{1} << 20, false, 0ms},
        {"late, typed 100 ms after", int64_t{1} << 20, false, 100ms},
        {"early, held, typed at once", 0, true, 0ms},
        {"another user's, early, typed at once", 0, false, 0ms, true},
        {"another user's, late, typed at once", int64_t{1} << 20, false, 0ms, true},
        {"another user's, late, typed 100 ms after", int64_t{1} << 20, false, 100ms, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Running r;
        FixedCellView<LocalProcessTerminalView> view(Size{8, 16}, Rect{}, nullptr, gridOptions(100, 24));
        view.processDelegate = &r.owner;
        view.startProcess("/bin/bash", {"--norc", "--noprofile", "-i"},
                          std::vector<std::string>{"PS1=PROMPT$ ", "TERM=xterm-256color", "HOME=/nonexistent", "INPUTRC=/dev/null",
                                                   "PATH=/usr/bin:/bin"});
        ASSERT_TRUE(r.waitFor([&] { return screenText(view).find("PROMPT$") != std::string::npos; })) << screenText(view);
        ASSERT_TRUE(view.getTerminal().bracketedPasteMode);
        std::optional<vantel::testing::Unprivileged> observer;
        if (c.anotherUsers) observer.emplace();
        platform::ui::Pasteboard::general().setString(text);
        view.paste();
        ASSERT_TRUE(r.waitFor([&] { return view.process().total() >= c.after; }));
        const pid_t shell = view.process().shellPid();
        if (c.held) ::kill(shell, SIGSTOP);
        view.keyDown(vantel::testing::typed("c", platform::ui::Modifier::control));
        const auto typeCommand = [&] {
            for (const char key : std::string("echo do\"\"ne")) view.keyDown(vantel::testing::typed(std::string(1, key)));
            view.keyDown(vantel::testing::typed("\r", 0, platform::ui::Key::returnKey));
        };
        if (c.typed) {
            r.loop.runUntil([] { return false; }, *c.typed);
            typeCommand();
        }
        if (c.held) {
            r.loop.runUntil([] { return false; }, 50ms);
            ::kill(shell, SIGCONT);
        }
        // A fresh prompt: the last line shown, under the ^C (with the command typed, above it).
        const auto prompted = [&] {
            const std::string screen = screenText(view);
            const size_t interrupt = screen.rfind("^C");
            return interrupt != std::string::npos && screen.find("\nPROMPT$", interrupt) != std::string::npos;
        };
        EXPECT_TRUE(r.loop.runUntil(prompted, 20s)) << screenText(view);
        if (!c.typed) typeCommand();
        const auto ran = [&] {
            const std::string screen = screenText(view);
            return screen.find("\ndone\n") != std::string::npos || screen.find("\npasted") != std::string::npos;
        };
        EXPECT_TRUE(r.loop.runUntil(ran, 20s)) << screenText(view);
        r.loop.runUntil([] { return false; }, 200ms);
        const std::string screen = screenText(view);
        EXPECT_NE(screen.find("PROMPT$ echo do\"\"ne\ndone\n"), std::string::npos) << screen;
        EXPECT_EQ(screen.find("\npasted"), std::string::npos) << screen;
        if (!c.held) {
            EXPECT_EQ(view.process().writeFigures().readerWaitsPastLimit, 0u);
            EXPECT_EQ(view.process().writeFigures().interruptWaitsPastLimit, 0u);
        }
        view.process().terminate();
    }
}
