// The left button and the pointer: mouse reports, the local selection gestures and their
// auto-scroll, links, and the deferred click on a shell prompt.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;
using namespace std::chrono_literals;
using Type = platform::ui::MouseEvent::Type;

namespace {

class LinkOwner : public RecordingViewOwner {
public:
    void requestOpenLink(TerminalView&, const std::string& link, const std::map<std::string, std::string>&) override {
        links.push_back(link);
    }
    std::vector<std::string> links;
};

// Presses apart in time never make a double click.
double later() {
    static double t = 100;
    return t += 10;
}

constexpr const char* sgr = "\x1b[?1006h";
constexpr const char* linkText = "\x1b]8;;https://example.com/\x07link\x1b]8;;\x07";

// 5,000 distinct links, output while they are still on the lines, then the scroll-back cleared and
// the terminal reset: every link code was in use, and none of them is now.
std::string linkFloodThenReset() {
    std::string out;
    for (int n = 0; n < 5000; ++n) out += "\x1b]8;;https://h/" + std::to_string(n) + "\x07x\x1b]8;;\x07";
    for (int n = 0; n < 40; ++n) out += "output\r\n";
    return out + "\x1b[3J\x1b" "c";
}

}  // namespace

TEST(TerminalViewMouse, ReportsByMode) {
    struct Case {
        const char* name;
        const char* mode;
        ModifierFlags modifiers;
        std::string press, drag, release;
    } cases[] = {
        // vt200 reports presses and releases; a drag selects locally.
        {"vt200", "\x1b[?1000h", 0, "\x1b[<0;2;1M", "", "\x1b[<0;5;2m"},
        {"vt200 with Control", "\x1b[?1000h", Mod::control, "\x1b[<16;2;1M", "", "\x1b[<16;5;2m"},
        {"button tracking", "\x1b[?1002h", 0, "\x1b[<0;2;1M", "\x1b[<32;5;2M", "\x1b[<0;5;2m"},
        {"any event", "\x1b[?1003h", Mod::alt, "\x1b[<8;2;1M", "\x1b[<40;5;2M", "\x1b[<8;5;2m"},
        // x10 reports presses only, without modifiers.
        {"x10", "\x1b[?9h", Mod::control, "\x1b[<0;2;1M", "", ""},
        {"off", "", 0, "", "", ""},
    };
    for (const Case& c : cases) {
        InputFixture f;
        f.view.feed(std::string(c.mode) + sgr);
        f.take();
        const double t = later();
        f.mouse(Type::down, f.at(1, 0), c.modifiers, t);
        EXPECT_EQ(f.take(), c.press) << c.name;
        f.mouse(Type::dragged, f.at(4, 1), c.modifiers, t);
        EXPECT_EQ(f.take(), c.drag) << c.name;
        EXPECT_EQ(f.view.selectionActive(), c.drag.empty()) << c.name << ": a drag not reported selects";
        f.mouse(Type::up, f.at(4, 1), c.modifiers, t);
        EXPECT_EQ(f.take(), c.release) << c.name;
    }
}

TEST(TerminalViewMouse, ShiftGivesTheLocalGesturesBackUnlessTheProgramClaimsIt) {
    for (bool claimed : {false, true}) {
        InputFixture f;
        f.view.feed("0123456789abcdef");
        f.view.feed(std::string("\x1b[?1000h") + sgr);
        f.view.selection().setSelection({1, 0}, {3, 0});
        f.view.getTerminal().mouseShiftCapture = claimed;
        f.take();
        f.click(f.at(6, 1), Mod::shift, later());
        if (claimed) {
            EXPECT_EQ(f.take(), "\x1b[<4;7;2M\x1b[<4;7;2m");
        } else {
            EXPECT_EQ(f.take(), "");
            EXPECT_EQ(f.view.selection().end(), (Position{6, 1})) << "Shift-click extends";
        }
    }
}

TEST(TerminalViewMouse, MotionNeedsReportingAllowed) {
    for (bool allowed : {true, false}) {
        InputFixture f;
        f.view.feed(std::string("\x1b[?1003h") + sgr);
        TerminalViewSettings settings = f.view.settings();
        settings.allowMouseReporting = allowed;
        f.view.apply(settings);
        f.take();
        f.mouse(Type::moved, f.at(2, 3));
        EXPECT_EQ(f.take(), allowed ? "\x1b[<35;3;4M" : "");
    }
}

TEST(TerminalViewMouse, ClicksCountAndSelect) {
    InputFixture f(20, 4);
    f.view.feed("one two three");
    const double t = later();
    f.click(f.at(5, 0), 0, t);
    EXPECT_FALSE(f.view.selectionActive());
    f.click(f.at(5, 0), 0, t + 0.1);
    EXPECT_EQ(f.view.getSelection().value_or(""), "two");
    f.click(f.at(5, 0), 0, t + 0.2);
    EXPECT_EQ(f.view.getSelection().value_or(""), "one two three");
    // A single click elsewhere drops it.
    f.click(f.at(5, 2), 0, later());
    EXPECT_FALSE(f.view.selectionActive());
    // A fast drag selects from where the press was, whatever the first drag event says.
    const double d = later();
    f.mouse(Type::down, f.at(0, 0), 0, d);
    f.mouse(Type::dragged, f.at(7, 0), 0, d);
    f.mouse(Type::up, f.at(7, 0), 0, d);
    EXPECT_EQ(f.view.getSelection().value_or(""), "one two");
}

TEST(TerminalViewMouse, AClickLandsOnTheLogicalCellShownUnderIt) {
    InputFixture f;
    f.view.feed("ab \xD7\x90\xD7\x91\xD7\x92");  // shown as "ab גבא"
    const platform::gfx::Point visual3 = f.view.convertFromWindow(f.at(3, 0));
    EXPECT_EQ(f.view.calculateMouseHit(visual3).grid, (Position{5, 0}));
    f.view.setBidiHostPolicy(BidiHostPolicy::legacyLeftToRight);
    EXPECT_EQ(f.view.calculateMouseHit(visual3).grid, (Position{3, 0}));
    // Outside the view: clamped to the grid and the buffer.
    EXPECT_EQ(f.view.calculateMouseHit({-40, 500}).grid, (Position{0, 0}));
    EXPECT_EQ(f.view.calculateMouseHit({500, -40}).grid, (Position{9, 3}));
}

TEST(TerminalViewMouse, TheRowsBidiStateChoosesTheColumnMapping) {
    using Mode = BidiSupportMode;
    constexpr auto ltr = BidiDirection::leftToRight, rtl = BidiDirection::rightToLeft;
    struct Case {
        const char* name;
        const char* text;
        BidiPresentationState state;
        int visual, logical;
    } cases[] = {
        {"implicit, a Hebrew run", "ab \xD7\x90\xD7\x91\xD7\x92", {Mode::implicit, true, ltr, false}, 3, 5},
        {"implicit, Latin only: no layout", "abc", {Mode::implicit, true, ltr, false}, 3, 3},
        {"implicit, right-to-left fallback puts the blank tail at the left", "abc", {Mode::implicit, false, rtl, false}, 0, 11},
        {"explicit right-to-left mirrors the whole row", "abc", {Mode::explicit_, false, rtl, false}, 2, 9},
        {"explicit right-to-left, the last column", "abc", {Mode::explicit_, false, rtl, false}, 11, 0},
        {"explicit left-to-right keeps Hebrew in place", "ab \xD7\x90\xD7\x91\xD7\x92", {Mode::explicit_, false, ltr, false}, 3, 3},
    };
    for (const Case& c : cases) {
        InputFixture f(12, 4);
        f.view.feed(c.text);
        f.view.getTerminal().buffer().lines()[0].setBidiState(c.state);
        EXPECT_EQ(f.view.calculateMouseHit(f.view.convertFromWindow(f.at(c.visual, 0))).grid, (Position{c.logical, 0})) << c.name;
    }
}

TEST(TerminalViewMouse, GesturesOnARightToLeftRunUseTheCellsShownUnderThePointer) {
    // "ab " then two Hebrew words, the first a link: logical columns 3-4 and 6-7 are shown
    // reversed, so visual columns 3..7 hold logical 7, 6, 5, 4, 3.
    const std::string row = "ab \x1b]8;;https://aleph.example/\x07\xD7\x90\xD7\x91\x1b]8;;\x07 \xD7\x92\xD7\x93";
    enum class Gesture { doubleClick, drag, click, linkClick };
    struct Case {
        const char* name;
        const char* mode;
        Gesture gesture;
        int from, to;  // visual columns
        std::string selection, sent;
        size_t opened;
    } cases[] = {
        {"a double click selects the word shown there", "", Gesture::doubleClick, 3, 3, "\xD7\x92\xD7\x93", "", 0},
        {"the other word", "", Gesture::doubleClick, 7, 7, "\xD7\x90\xD7\x91", "", 0},
        {"a drag ends at the logical cell under the pointer", "", Gesture::drag, 0, 4, "ab \xD7\x90\xD7\x91 ", "", 0},
        {"a drag back into the left-to-right text", "", Gesture::drag, 6, 1, "b \xD7\x90", "", 0},
        {"reports carry the logical column", "\x1b[?1000h", Gesture::click, 3, 3, "", "\x1b[<0;8;1M\x1b[<0;8;1m", 0},
        {"the link is where its letters are shown", "", Gesture::linkClick, 7, 7, "", "", 1},
        {"the link's own columns show another word", "", Gesture::linkClick, 3, 3, "", "", 0},
    };
    for (const Case& c : cases) {
        InputFixture f(12, 4);
        LinkOwner owner;
        f.view.setTerminalDelegate(&owner);
        f.view.feed(row + c.mode + sgr);
        owner.sent.clear();
        const double t = later();
        switch (c.gesture) {
        case Gesture::doubleClick:
            f.click(f.at(c.from, 0), 0, t);
            f.click(f.at(c.from, 0), 0, t + 0.1);
            break;
        case Gesture::drag:
            f.mouse(Type::down, f.at(c.from, 0), 0, t);
            f.mouse(Type::dragged, f.at(c.to, 0), 0, t);
            f.mouse(Type::up, f.at(c.to, 0), 0, t);
            break;
        case Gesture::click: f.click(f.at(c.from, 0), 0, t); break;
        case Gesture::linkClick: f.click(f.at(c.from, 0), Mod::control, t); break;
        }
        EXPECT_EQ(f.view.getSelection().value_or(""), c.selection) << c.name;
        EXPECT_EQ(owner.sent, c.sent) << c.name;
        EXPECT_EQ(owner.links.size(), c.opened) << c.name;
        if (c.gesture == Gesture::linkClick) {
            // The pointer resting there with the modifier previews the same link, or none.
            f.mouse(Type::moved, f.at(c.from, 0), Mod::control, later());
            f.window.sendKeyEvent(modifierKey(Key::controlLeft, Mod::control));
            EXPECT_EQ(f.view.urlPreview() != nullptr, c.opened == 1) << c.name;
            f.window.sendKeyEvent(modifierKey(Key::controlLeft, 0));
        }
        f.view.setTerminalDelegate(nullptr);
    }
}

// On a double-width or double-height row every glyph covers two cells of the grid: the pointer's
// column is halved there for selection, reports and links, on left-to-right and right-to-left rows.
TEST(TerminalViewMouse, DoubledRowsHalveThePointersColumn) {
    enum class Gesture { drag, click, linkClick };
    struct Case {
        const char* name;
        const char* row;  // the doubled row's bytes after its ESC # sequence
        const char* doubling;
        Gesture gesture;
        int from, to;  // doubled glyphs, from the left, as shown
        std::string selection, sent;
        size_t opened = 0;
    } cases[] = {
        // A drag ends before the cell under the pointer, as on any row.
        {"a drag over the first two glyphs", "abcdef", "\x1b#6", Gesture::drag, 0, 2, "ab", ""},
        {"the same on a double-height row", "abcdef", "\x1b#3", Gesture::drag, 0, 2, "ab", ""},
        {"its lower half", "abcdef", "\x1b#4", Gesture::drag, 1, 3, "bc", ""},
        {"a click on the third glyph reports column 3", "abcdef\x1b[?1000h", "\x1b#6", Gesture::click, 2, 2, "",
         "\x1b[<0;3;1M\x1b[<0;3;1m"},
        {"a link under the fourth glyph", "abc\x1b]8;;https://example.com/\x07" "d\x1b]8;;\x07" "ef", "\x1b#6",
         Gesture::linkClick, 3, 3, "", "", 1},
        {"no link under the third", "abc\x1b]8;;https://example.com/\x07" "d\x1b]8;;\x07" "ef", "\x1b#6",
         Gesture::linkClick, 2, 2, "", "", 0},
        // "ab " and three Hebrew letters, shown "ab גבא": the fourth glyph shown is the last letter.
        {"right to left: reports the logical column", "ab \xD7\x90\xD7\x91\xD7\x92\x1b[?1000h", "\x1b#6",
         Gesture::click, 3, 3, "", "\x1b[<0;6;1M\x1b[<0;6;1m"},
        {"right to left: a drag over the Latin glyphs", "ab \xD7\x90\xD7\x91\xD7\x92", "\x1b#6", Gesture::drag, 0,
         2, "ab", ""},
    };
    for (const Case& c : cases) {
        InputFixture f(12, 4);
        LinkOwner owner;
        f.view.setTerminalDelegate(&owner);
        f.view.feed(std::string(c.doubling) + c.row + sgr);
        owner.sent.clear();
        // The middle of the right half of a doubled glyph: the single-width column the bug took.
        auto glyph = [&](int index) {
            return platform::gfx::Point{index * 2 * InputFixture::cell.width + 1.5 * InputFixture::cell.width,
                                        f.window.size().height - InputFixture::cell.height / 2};
        };
        const double t = later();
        switch (c.gesture) {
        case Gesture::drag:
            f.mouse(Type::down, glyph(c.from), 0, t);
            f.mouse(Type::dragged, glyph(c.to), 0, t);
            f.mouse(Type::up, glyph(c.to), 0, t);
            break;
        case Gesture::click: f.click(glyph(c.from), 0, t); break;
        case Gesture::linkClick: f.click(glyph(c.from), Mod::control, t); break;
        }
        EXPECT_EQ(f.view.getSelection().value_or(""), c.selection) << c.name;
        EXPECT_EQ(owner.sent, c.sent) << c.name;
        EXPECT_EQ(owner.links.size(), c.opened) << c.name;
        f.view.setTerminalDelegate(nullptr);
    }
    // Past the shown half of a doubled row the pointer stays on its last glyph.
    InputFixture f(12, 4);
    f.view.feed("\x1b#6abcdef");
    EXPECT_EQ(f.view.calculateMouseHit({115, 70}).grid, (Position{5, 0}));
    // A click on a doubled prompt row moves the shell's cursor to the glyph clicked: from after
    // "$ abc" to the "b", two to the left.
    InputFixture prompt(20, 4);
    prompt.view.feed("\x1b#6\x1b]133;A;cl=line\x07$ \x1b]133;B\x07" "abc");
    prompt.take();
    prompt.click({3 * 2 * InputFixture::cell.width + 1.5 * InputFixture::cell.width,
                  prompt.window.size().height - InputFixture::cell.height / 2},
                 0, later());
    prompt.loop.advance(2s);
    EXPECT_EQ(prompt.take(), "\x1b[D\x1b[D");
}

TEST(TerminalViewMouse, LinksOpenOnClickWithTheModifierAndTheProgramHearsNothing) {
    struct Case {
        const char* mode;
        bool drag;
        std::string sent;
        size_t opened;
        std::string before = "";
    } cases[] = {
        {"", false, "", 1},
        {"\x1b[?1000h", false, "", 1},
        {"\x1b[?1002h", false, "", 1},
        // Its drags are not reported either; a drag selects, and opens nothing.
        {"\x1b[?1002h", true, "", 0},
        // After a flood of links has left the lines, the next link has a code again.
        {"", false, "", 1, linkFloodThenReset()},
    };
    for (const Case& c : cases) {
        InputFixture f;
        LinkOwner owner;
        f.view.setTerminalDelegate(&owner);
        f.view.feed(c.before + linkText + c.mode + sgr);
        const double t = later();
        f.mouse(Type::down, f.at(1, 0), Mod::control, t);
        if (c.drag) f.mouse(Type::dragged, f.at(3, 1), Mod::control, t);
        f.mouse(Type::up, f.at(c.drag ? 3 : 1, c.drag ? 1 : 0), Mod::control, t);
        EXPECT_EQ(owner.sent, c.sent) << c.mode;
        ASSERT_EQ(owner.links.size(), c.opened) << c.mode;
        if (c.opened) {
            EXPECT_EQ(owner.links[0], "https://example.com/");
        }
        f.view.setTerminalDelegate(nullptr);
    }
    // Without the modifier the press is the program's, and so is its release.
    InputFixture f;
    LinkOwner owner;
    f.view.setTerminalDelegate(&owner);
    f.view.feed(std::string(linkText) + "\x1b[?1000h" + sgr);
    f.click(f.at(1, 0), 0, later());
    EXPECT_EQ(owner.sent, "\x1b[<0;2;1M\x1b[<0;2;1m");
    EXPECT_TRUE(owner.links.empty());
    f.view.setTerminalDelegate(nullptr);
}

TEST(TerminalViewMouse, LinkLookup) {
    InputFixture f(40, 4);
    // A wide character carrying a link, then a link whose payload has no parameters part.
    f.view.feed("\x1b]8;id=1;https://wide.example/\x07\xe4\xb8\xad\x1b]8;;\x07 https://plain.example/x");
    EXPECT_EQ(f.view.payloadString({1, 0}).value_or(""), "id=1;https://wide.example/") << "the right half";
    EXPECT_FALSE(f.view.payloadString({0, 40}).has_value()) << "past the buffer";
    EXPECT_FALSE(f.view.linkForClick({0, 40}, true).has_value());
    f.view.setLinkHighlightMode(LinkHighlightMode::alwaysWithModifier);
    EXPECT_FALSE(f.view.linkForClick({1, 0}, false).has_value());
    auto clicked = f.view.linkForClick({1, 0}, true);
    ASSERT_TRUE(clicked.has_value());
    EXPECT_EQ(clicked->url, "https://wide.example/");
    EXPECT_EQ(clicked->params.at("id"), "1");
    // Detected links are never clicked in the always modes; in hover mode only the highlighted one.
    EXPECT_FALSE(f.view.linkForClick({6, 0}, true).has_value());
    f.view.setLinkHighlightMode(LinkHighlightMode::hover);
    f.view.setLinkHighlightRange(std::vector<Terminal::LinkMatch::RowRange>{{0, {0, 2}}});
    EXPECT_FALSE(f.view.linkForClick({6, 0}, false).has_value()) << "not the highlighted link";
    f.view.updateHoverLink({6, 0}, std::nullopt);
    clicked = f.view.linkForClick({6, 0}, false);
    ASSERT_TRUE(clicked.has_value());
    EXPECT_EQ(clicked->url.substr(0, 8), "https://");
    EXPECT_TRUE(clicked->params.empty());
}

TEST(TerminalViewMouse, TheLinkModifierShowsTheLinkUnderThePointer) {
    InputFixture f;
    f.view.feed(linkText);
    f.mouse(Type::moved, f.at(1, 0));
    f.window.sendKeyEvent(modifierKey(Key::controlLeft, Mod::control));
    EXPECT_TRUE(f.view.commandActive());
    ASSERT_NE(f.view.urlPreview(), nullptr);
    EXPECT_TRUE(f.view.linkHighlightRange().has_value());
    f.window.sendKeyEvent(modifierKey(Key::controlLeft, 0));
    EXPECT_FALSE(f.view.commandActive());
    EXPECT_EQ(f.view.urlPreview(), nullptr);
    EXPECT_FALSE(f.view.linkHighlightRange().has_value());
}

TEST(TerminalViewMouse, APromptClickWaitsForASecondClick) {
    for (int clicks : {1, 2}) {
        InputFixture f(20, 4);
        f.view.feed("\x1b]133;A;cl=line\x07$ \x1b]133;B\x07" "abc");
        f.take();
        const double t = later();
        f.click(f.at(3, 0), 0, t);
        EXPECT_EQ(f.view.semanticDeferralScheduleCount(), 1);
        EXPECT_TRUE(f.view.hasPendingSemanticClick());
        if (clicks == 2) f.click(f.at(3, 0), 0, t + 0.05);
        f.loop.advance(2s);
        EXPECT_FALSE(f.view.hasPendingSemanticClick());
        // The single click moves the shell's cursor; a double click selects a word instead.
        EXPECT_EQ(f.take(), clicks == 1 ? "\x1b[D\x1b[D" : "") << clicks;
        EXPECT_EQ(f.view.semanticDeferralScheduleCount(), 1);
    }
}

TEST(TerminalViewMouse, DraggingPastAnEdgeScrollsWhileThePointerStands) {
    {
        InputFixture f;
        for (int i = 0; i < 20; ++i) f.view.feed("line " + std::to_string(i) + "\r\n");
        const int bottom = f.view.getTerminal().buffer().yDisp();
        const double t = later();
        f.mouse(Type::down, f.at(2, 1), 0, t);
        // Two rows above the top edge.
        f.mouse(Type::dragged, {22, f.window.size().height + 2 * 20 + 10}, 0, t);
        EXPECT_EQ(f.view.autoScrollDelta(), -3);
        EXPECT_TRUE(f.view.selectionAutoScrollTimerRunning());
        const Position before = f.view.selection().end();
        f.loop.advance(50ms);
        EXPECT_EQ(f.view.getTerminal().buffer().yDisp(), bottom - 3);
        EXPECT_LT(f.view.selection().end().row, before.row) << "the selection grows with the scrolling";
        f.loop.advance(50ms);
        EXPECT_EQ(f.view.getTerminal().buffer().yDisp(), bottom - 6);
        // Back inside, the timer stops; the release ends it all.
        f.mouse(Type::dragged, f.at(2, 2), 0, t);
        EXPECT_FALSE(f.view.selectionAutoScrollTimerRunning());
        f.mouse(Type::up, f.at(2, 2), 0, t);
        EXPECT_EQ(f.view.autoScrollDelta(), 0);
    }
    {
        InputFixture f(10, 50);
        for (int i = 0; i < 100; ++i) f.view.feed("line\r\n");
        f.view.scrollTo(10);
        const double t = later();
        f.mouse(Type::down, f.at(2, 10), 0, t);
        // Twelve rows below the last screen row.
        f.mouse(Type::dragged, {22, -(12 * 20 + 10.0)}, 0, t);
        EXPECT_EQ(f.view.autoScrollDelta(), 50);
        f.mouse(Type::up, f.at(2, 10), 0, t);
    }
}
