#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

using Mode = Terminal::MouseMode;
using Encoding = Terminal::MouseProtocolEncoding;

}  // namespace

TEST(TerminalMouseTest, ButtonFlags) {
    // Mode, button, release, shift, meta, control, flags.
    const std::tuple<Mode, int, bool, bool, bool, bool, int> cases[] = {
        {Mode::vt200, 1, false, false, false, false, 1},     {Mode::vt200, 3, false, false, false, false, 0},
        {Mode::vt200, 9, false, false, false, false, 0},     {Mode::vt200, 5, false, false, false, false, 65},
        {Mode::x10, 4, false, true, true, true, 64},         {Mode::vt200, 4, false, true, false, false, 68},
        {Mode::off, 1, true, false, false, true, 3},         {Mode::anyEvent, 2, true, true, true, true, 31},
        {Mode::buttonEventTracking, 1, false, false, true, false, 9},
    };
    for (const auto& [mode, button, release, shift, meta, control, flags] : cases) {
        TestTerminal t;
        t->mouseMode = mode;
        EXPECT_EQ(t->encodeButton(button, release, shift, meta, control), flags) << "button " << button;
    }
}

TEST(TerminalMouseTest, EventsInEveryEncoding) {
    struct Case {
        Encoding encoding;
        int flags, x, y, pixelX, pixelY;
        std::string bytes;
    } cases[] = {
        {Encoding::x10, 0, 0, 0, 0, 0, "\x1b[M\x20\x21\x21"},
        {Encoding::x10, 0, 300, 5, 0, 0, "\x1b[M\x20\xff\x26"},
        {Encoding::x10, 240, 0, 0, 0, 0, "\x1b[M\xff\x21\x21"},
        {Encoding::x10, 3, -7, -1, 0, 0, "\x1b[M\x23\x21\x21"},
        {Encoding::utf8, 0, 93, 0, 0, 0, std::string("\x1b[M\x20\x7e\x21")},
        {Encoding::utf8, 0, 94, 0, 0, 0, "\x1b[M\x20\xc1\xbf\x21"},
        {Encoding::utf8, 0, 95, 0, 0, 0, "\x1b[M\x20\xc2\x80\x21"},
        {Encoding::utf8, 0, 2014, 0, 0, 0, std::string("\x1b[M\x20\x00\x21", 6)},
        {Encoding::utf8, 0, 5000, 0, 0, 0, "\x1b[M\x20\xdf\xbf\x21"},
        {Encoding::sgr, 0, 4, 9, 0, 0, "\x1b[<0;5;10M"},
        {Encoding::sgr, 19, 4, 9, 0, 0, "\x1b[<16;5;10m"},
        {Encoding::sgr, 3, 4000, 9, 0, 0, "\x1b[<0;4001;10m"},
        {Encoding::sgr, 35, 4, 9, 0, 0, "\x1b[<35;5;10M"},
        {Encoding::sgr, -1, -5, -5, 0, 0, "\x1b[<0;1;1M"},
        {Encoding::urxvt, 0, 4, 9, 0, 0, "\x1b[32;5;10M"},
        {Encoding::sgrPixel, 0, 4, 9, 123, 456, "\x1b[<0;123;456M"},
        {Encoding::sgrPixel, 7, 4, 9, 0, 1, "\x1b[<4;0;1m"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t->mouseProtocol = c.encoding;
        t->sendEvent(c.flags, c.x, c.y, c.pixelX, c.pixelY);
        EXPECT_EQ(t.delegate.replies(), c.bytes)
            << "encoding " << static_cast<int>(c.encoding) << " flags " << c.flags << " at " << c.x << "," << c.y;
    }
}

TEST(TerminalMouseTest, MotionAndCellOnlyEvents) {
    TestTerminal t;
    t.feed("\x1b[?1006h");
    t->sendMotion(0, 2, 3, 0, 0);
    t->sendEvent(1, 2, 3);
    t.feed("\x1b[?1016h");
    t->sendEvent(1, 2, 3);
    t.feed("\x1b G");
    t->sendEvent(1, 2, 3);
    EXPECT_EQ(t.delegate.replies(), "\x1b[<32;3;4M\x1b[<1;3;4M\x1b[<1;2;3M\x9b<1;2;3M");
}

TEST(TerminalMouseTest, ReleaseWithControlHeldInSgr) {
    TestTerminal t;
    t.feed("\x1b[?1000h\x1b[?1006h");
    for (int button : {1, 2, 3}) t->sendEvent(t->encodeButton(button, true, false, false, true), 10, 20);
    EXPECT_EQ(t.delegate.replies(), "\x1b[<16;11;21m\x1b[<16;11;21m\x1b[<16;11;21m");
}

TEST(TerminalMouseTest, FocusReports) {
    TestTerminal t;
    t->setTerminalFocus(false);
    EXPECT_EQ(t.delegate.replies(), "");
    t->sendFocusReport();
    EXPECT_EQ(t.delegate.replies(), "\x1b[O");
    t.delegate.clear();
    t.feed("\x1b[?1004h");
    t->setTerminalFocus(true);
    t->setTerminalFocus(true);
    EXPECT_EQ(t.delegate.replies(), "\x1b[O\x1b[I\x1b[I");
}
