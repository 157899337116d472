// Text blinking: the timer runs only while it can matter, and stopping always shows the text.
#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::SystemSettings;
using platform::ui::headless::HeadlessWindow;

namespace {

struct Blinking {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    HeadlessWindow window{{200, 100}, 1};
    TerminalView view{Rect{0, 0, 200, 100}};

    Blinking() {
        SystemSettings::setReduceMotion(false);
        SystemSettings::setApplicationActive(true);
        loop.runPending();
        window.setContentView(&view);
        view.feed("plain\r\n\x1b[5mblink\x1b[m");
        loop.advance(20ms);
    }
    ~Blinking() {
        SystemSettings::setReduceMotion(false);
        SystemSettings::setApplicationActive(true);
    }
};

}  // namespace

TEST(TerminalViewBlink, BlinksWhileItCanMatter) {
    Blinking b;
    EXPECT_EQ(b.view.visibleBlinkRows(), (std::vector<int>{1}));
    EXPECT_TRUE(b.view.textBlinkTimerRunning());
    b.loop.advance(700ms);
    EXPECT_FALSE(b.view.textBlinkVisible());
    b.loop.advance(700ms);
    EXPECT_TRUE(b.view.textBlinkVisible());
}

TEST(TerminalViewBlink, StopsAndShowsTheTextWhenItCannotMatter) {
    struct Case {
        const char* what;
        std::function<void(Blinking&)> change;
    } cases[] = {
        {"reduce motion", [](Blinking&) { SystemSettings::setReduceMotion(true); }},
        {"inactive application", [](Blinking&) { SystemSettings::setApplicationActive(false); }},
        {"no window", [](Blinking& b) { b.window.setContentView(nullptr); }},
        {"no blinking cell", [](Blinking& b) { b.view.feed("\x1b[2J"); }},
    };
    for (const Case& c : cases) {
        Blinking b;
        b.loop.advance(700ms);
        ASSERT_FALSE(b.view.textBlinkVisible()) << c.what;
        b.window.displayIfNeeded();
        c.change(b);
        b.loop.advance(20ms);
        EXPECT_FALSE(b.view.textBlinkTimerRunning()) << c.what;
        EXPECT_TRUE(b.view.textBlinkVisible()) << c.what;
        // The hidden rows are drawn again, once.
        if (b.view.window()) {
            EXPECT_TRUE(b.window.needsDisplay()) << c.what;
        }
        b.window.displayIfNeeded();
        b.loop.advance(2s);
        EXPECT_FALSE(b.window.needsDisplay()) << c.what;
        EXPECT_EQ(b.loop.pendingTimerCount(), 0u) << c.what;
    }
}

TEST(TerminalViewBlink, RowsAreAbsoluteAndObserversRegisterOnce) {
    Blinking b;
    for (int i = 0; i < 10; ++i) b.view.feed("\r\nmore");
    const int yDisp = b.view.getTerminal().buffer().yDisp();
    ASSERT_GT(yDisp, 0);
    b.view.scrollTo(0);
    EXPECT_EQ(b.view.visibleBlinkRows(), (std::vector<int>{1}));
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    const size_t observers = center.observerCount(SystemSettings::reduceMotionDidChangeNotification);
    b.view.setupTextBlinking();
    EXPECT_EQ(center.observerCount(SystemSettings::reduceMotionDidChangeNotification), observers);
    b.view.stopTextBlinking();
    EXPECT_EQ(center.observerCount(SystemSettings::reduceMotionDidChangeNotification), observers - 1);
}
