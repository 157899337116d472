// The engine's reports as the view handles them: window reports, progress, bell, clipboard,
// cursor, mouse mode and selection.
#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using vantel::testing::FixedCellView;
using vantel::testing::gridOptions;
using vantel::testing::RecordingViewOwner;

namespace {

struct Owned {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    RecordingViewOwner owner;
};

}  // namespace

// 80 × 24 cells of 7.5 × 16.2 points: the text area to the nearest pixel, the cell cut down.
TEST(TerminalViewCallbacks, SizeReportsInDevicePixels) {
    struct Case {
        double scale;  // 0: no window
        bool eightBit;
        const char* expected;
    } cases[] = {
        {2, false, "\x1b[4;778;1200t\x1b[6;32;15t"},
        {2, true, "\x9b" "4;778;1200t\x9b" "6;32;15t"},
        {0, false, "\x1b[4;389;600t\x1b[6;16;7t"},
    };
    for (const Case& c : cases) {
        Owned o;
        FixedCellView<> view(Size{7.5, 16.2}, Rect{}, nullptr, gridOptions(80, 24));
        view.setTerminalDelegate(&o.owner);
        std::optional<HeadlessWindow> window;
        view.scroller().setHidden(true);
        if (c.scale > 0) {
            window.emplace(Size{600, 389}, c.scale);
            window->setContentView(&view);
            view.processSizeChange({600, 24 * 16.2});
        }
        ASSERT_EQ(view.getTerminal().rows(), 24);
        if (c.eightBit) view.feed("\x1b G");
        view.feed("\x1b[14t\x1b[16t");
        EXPECT_EQ(o.owner.sent, c.expected) << c.scale;
        view.setTerminalDelegate(nullptr);
    }
    Owned o;
    HeadlessWindow window({600, 389}, 2);
    FixedCellView<> view(Size{7.5, 16.2}, Rect{}, nullptr, gridOptions(80, 24));
    window.setContentView(&view);
    EXPECT_EQ(view.cellSizeInPixels(view.getTerminal()), std::make_pair(15, 32));
}

// Requests to resize the window in pixels are not acted on, and a program that sends them without
// end prints nothing: the diagnostic goes to the engine's log, silent unless it is switched on.
TEST(TerminalViewCallbacks, ResizeRequestsPrintNothing) {
    Owned o;
    FixedCellView<> view(Size{7.5, 16.2}, Rect{}, nullptr, gridOptions(80, 24));
    std::string requests;
    for (int i = 0; i < 10000; ++i) requests += "\x1b[4;" + std::to_string(i % 900) + ";" + std::to_string(i) + "t";
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 100; ++i) view.feed(requests);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(view.getTerminal().cols(), 80);

    view.getTerminal().silentLog = false;
    ::testing::internal::CaptureStdout();
    view.feed("\x1b[4;300;500t");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Info: Request to resize to 500x300\n");
}

TEST(TerminalViewCallbacks, ProgressReports) {
    using State = ProgressReport::State;
    struct Case {
        const char* reports;
        State state;
        std::optional<uint8_t> shown;
        std::optional<uint8_t> remembered;
    } cases[] = {
        {"4;1;40", State::set, 40, 40},
        {"4;1;40|4;4", State::pause, 40, 40},
        {"4;4", State::pause, 100, 100},
        {"4;1", State::set, 0, 0},
        {"4;2", State::error, std::nullopt, std::nullopt},
        {"4;1;40|4;2", State::error, 40, 40},
        {"4;1;40|4;2;70", State::error, 70, 70},
        {"4;1;40|4;3", State::indeterminate, std::nullopt, 40},
        {"4;1;40|4;3|4;4", State::pause, 40, 40},
        {"4;1;40|4;0", State::remove, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        Owned o;
        TerminalView view(Rect{0, 0, 200, 100});
        std::string reports = c.reports;
        for (size_t start = 0; start <= reports.size();) {
            size_t end = std::min(reports.find('|', start), reports.size());
            view.feed("\x1b]9;" + reports.substr(start, end - start) + "\x07");
            start = end + 1;
        }
        TerminalProgressBarView& bar = *view.progressBarView();
        EXPECT_EQ(bar.state(), c.state) << c.reports;
        EXPECT_EQ(bar.progress(), c.shown) << c.reports;
        EXPECT_EQ(view.lastProgressValue(), c.remembered) << c.reports;
        EXPECT_EQ(bar.isHidden(), c.state == State::remove) << c.reports;
    }
}

TEST(TerminalViewCallbacks, AProgressReportExpiresAfterFifteenSecondsUnlessRenewed) {
    Owned o;
    TerminalView view(Rect{0, 0, 200, 100});
    view.feed("\x1b]9;4;1;40\x07");
    o.loop.advance(10s);
    view.feed("\x1b]9;4;1;50\x07");
    o.loop.advance(14900ms);
    EXPECT_FALSE(view.progressBarView()->isHidden());
    o.loop.advance(200ms);
    EXPECT_TRUE(view.progressBarView()->isHidden());
    EXPECT_EQ(view.lastProgressValue(), std::nullopt);
    EXPECT_FALSE(view.progressReportTimerRunning());
    EXPECT_EQ(o.loop.pendingTimerCount(), 0u);
}

TEST(TerminalViewCallbacks, BellStyles) {
    struct Case {
        BellStyle style;
        int bells;
        bool flash;
    } cases[] = {{BellStyle::none, 0, false},
                 {BellStyle::sound, 1, false},
                 {BellStyle::visual, 0, true},
                 {BellStyle::soundAndVisual, 1, true}};
    for (const Case& c : cases) {
        Owned o;
        HeadlessWindow window({200, 100}, 1);
        TerminalView view(Rect{0, 0, 200, 100});
        window.setContentView(&view);
        view.setTerminalDelegate(&o.owner);
        TerminalViewSettings settings = view.settings();
        settings.bellStyle = c.style;
        view.apply(settings);
        view.feed("\x07");
        EXPECT_EQ(o.owner.bells, c.bells);
        EXPECT_EQ(view.visualBellCount(), c.flash ? 1u : 0u);
        view.setTerminalDelegate(nullptr);
    }
}

// The flash: the foreground colour at 0.35 opacity 60 ms in, gone after 0.2 s.
TEST(TerminalViewCallbacks, TheVisualBellFlashesAndGoes) {
    Owned o;
    HeadlessWindow window({200, 100}, 1);
    TerminalView view(Rect{0, 0, 200, 100});
    view.setNativeForegroundColor({1, 1, 1, 1});
    view.setNativeBackgroundColor({0, 0, 0, 1});
    window.setContentView(&view);
    TerminalViewSettings settings = view.settings();
    settings.bellStyle = BellStyle::visual;
    view.apply(settings);
    view.feed("\x07");
    platform::ui::View* flash = view.visualBellView();
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(flash->frame(), view.bounds());
    o.loop.advance(60ms);
    EXPECT_NEAR(*flash->presentationValue(TerminalView::visualBellAnimationKey), 0.35, 1e-9);
    window.displayIfNeeded();
    EXPECT_NEAR((window.pixel(100, 50) >> 16) & 0xFF, 0.35 * 255, 2);
    o.loop.advance(150ms);
    EXPECT_EQ(view.visualBellCount(), 0u);
    EXPECT_FALSE(window.frameClock().isRunning());
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(100, 50) & 0xFFFFFF, 0u);
}

// Programs may write the clipboard; they read it only when the owner allows it.
TEST(TerminalViewCallbacks, ClipboardReadsNeedPermission) {
    Owned o;
    TerminalView view(Rect{0, 0, 200, 100});
    view.setTerminalDelegate(&o.owner);
    o.owner.clipboard = "secret";
    view.feed("\x1b]52;c;aGk=\x07\x1b]52;c;?\x07");
    EXPECT_EQ(o.owner.copies, (std::vector<std::string>{"hi"}));
    EXPECT_EQ(o.owner.clipboardReads, 0);
    EXPECT_EQ(o.owner.sent, "");
    TerminalViewSettings settings = view.settings();
    settings.allowClipboardRead = true;
    view.apply(settings);
    view.feed("\x1b]52;c;?\x07");
    EXPECT_EQ(o.owner.sent, "\x1b]52;c;c2VjcmV0\x1b\\");
    view.setTerminalDelegate(nullptr);
}

TEST(TerminalViewCallbacks, CursorTitleSizeAndSelectionNotices) {
    Owned o;
    TerminalView view(Rect{0, 0, 200, 100});
    view.setTerminalDelegate(&o.owner);
    view.feed("\x1b]2;hello\x07");
    EXPECT_EQ(o.owner.titles, (std::vector<std::string>{"hello"}));
    view.feed("\x1b[?25l");
    EXPECT_EQ(view.caretView()->superview(), nullptr);
    view.feed("\x1b[?25h");
    EXPECT_EQ(view.caretView()->superview(), &view);
    view.feed("\x1b[6 q");
    EXPECT_EQ(view.caretView()->style, CursorStyle::steadyBar);
    EXPECT_EQ(view.caretView()->frame().width, view.cellDimension()->width);
    // A line feed drops the selection while mouse reporting is allowed, not otherwise.
    for (bool reporting : {true, false}) {
        TerminalViewSettings settings = view.settings();
        settings.allowMouseReporting = reporting;
        view.apply(settings);
        view.selectAll();
        view.getTerminal().feed("\n");
        EXPECT_EQ(view.selectionActive(), !reporting);
    }
    view.setTerminalDelegate(nullptr);
}

// Any-event tracking, or links lit under the pointer, make the view want the pointer's moves.
TEST(TerminalViewCallbacks, PointerMovesFollowTheMouseModeAndTheLinkHighlight) {
    Owned o;
    TerminalView view(Rect{0, 0, 200, 100});
    EXPECT_FALSE(view.wantsMouseMoved());
    view.feed("\x1b[?1003h\x1b[?1003h");
    EXPECT_TRUE(view.wantsMouseMoved());
    view.feed("\x1b[?1003l");
    EXPECT_FALSE(view.wantsMouseMoved());
    view.setLinkHighlightMode(LinkHighlightMode::hover);
    EXPECT_TRUE(view.wantsMouseMoved());
    view.feed("\x1b[?1000h");
    EXPECT_TRUE(view.wantsMouseMoved());
    view.setLinkHighlightMode(LinkHighlightMode::always);
    EXPECT_FALSE(view.wantsMouseMoved());
}
