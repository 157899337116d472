// The find bar, the find menu commands and the find pasteboard.
#include <gtest/gtest.h>

#include <cctype>

#include "support/InputTestSupport.h"
#include "vantel/view/TerminalFindBarView.h"

using namespace vantel;
using namespace vantel::testing;
using platform::ui::Pasteboard;

namespace {

struct Finding : InputFixture {
    Finding() : InputFixture(40, 6) { view.feed("alpha abc beta\r\nABC gamma abc\r\n"); }
    std::string selected() { return view.getSelection().value_or(""); }
    TerminalFindBarView& bar() { return *view.findBar(); }
};

}  // namespace

TEST(TerminalViewFind, NextWithoutTheBarSearchesTheFindPasteboard) {
    Finding f;
    f.view.performFindPanelAction(TerminalView::findTagNext);
    EXPECT_FALSE(f.view.selectionActive()) << "nothing to search for";
    EXPECT_EQ(f.view.findBar(), nullptr);
    // Written by any program: case-insensitive, as the options all start off.
    Pasteboard::find().setString("abc");
    f.view.performFindPanelAction(TerminalView::findTagNext);
    EXPECT_EQ(f.selected(), "abc");
    f.view.performFindPanelAction(TerminalView::findTagNext);
    EXPECT_EQ(f.selected(), "ABC");
    f.view.performFindPanelAction(TerminalView::findTagPrevious);
    EXPECT_EQ(f.view.selection().start(), (Position{6, 0}));
}

TEST(TerminalViewFind, OpeningPrefillsTheSelectionOrTheFindPasteboard) {
    Finding f;
    Pasteboard::find().setString("gamma");
    f.view.performFindPanelAction(TerminalView::findTagShow);
    EXPECT_FALSE(f.bar().isHidden());
    EXPECT_EQ(f.bar().searchField.stringValue(), "gamma");
    EXPECT_EQ(f.selected(), "gamma") << "searched at once";
    EXPECT_EQ(f.window.firstResponder(), &f.bar().searchField);
    // With a selection, the selection (and the find pasteboard takes it).
    f.view.selection().setSelection({0, 0}, {5, 0});
    f.view.performFindPanelAction(TerminalView::findTagShow);
    EXPECT_EQ(f.bar().searchField.stringValue(), "alpha");
    EXPECT_EQ(Pasteboard::find().string().value_or(""), "alpha");
    // "Use selection": only the selection goes to the find pasteboard.
    f.view.selection().setSelection({4, 1}, {9, 1});
    f.view.performTextFinderAction(TerminalView::findTagSetSearchString);
    EXPECT_EQ(Pasteboard::find().string().value_or(""), "gamma");
    f.view.performTextFinderAction(TerminalView::findTagHide);
    EXPECT_TRUE(f.bar().isHidden());
    EXPECT_EQ(f.window.firstResponder(), &f.view);
}

TEST(TerminalViewFind, TheSearchFieldDrivesTheSearch) {
    Finding f;
    f.view.showFindBar(false);
    // Typed into the field: every edit searches.
    f.key(typed("a"));
    f.key(typed("b"));
    f.key(typed("c"));
    EXPECT_EQ(f.view.findBarTerm(), "abc");
    std::string match = f.selected();
    for (char& c : match) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(match, "abc");
    EXPECT_EQ(Pasteboard::find().string().value_or(""), "abc");
    EXPECT_EQ(f.take(), "") << "nothing reaches the program";
    const Position first = f.view.selection().start();
    f.key(controlKey(Key::returnKey));
    EXPECT_NE(f.view.selection().start(), first);
    f.key(controlKey(Key::returnKey, Mod::shift));
    EXPECT_EQ(f.view.selection().start(), first) << "Shift-Return searches backward";
    // Emptied: the search clears, the find pasteboard keeps its term.
    f.key(controlKey(Key::backspace));
    EXPECT_EQ(f.bar().searchField.stringValue(), "ab");
    f.bar().searchField.userEdited("", {0, 0});
    EXPECT_FALSE(f.view.selectionActive());
    EXPECT_EQ(Pasteboard::find().string().value_or(""), "ab");
    // Escape closes the bar and gives the keyboard back.
    f.key(controlKey(Key::escape));
    EXPECT_TRUE(f.bar().isHidden());
    EXPECT_EQ(f.window.firstResponder(), &f.view);
    EXPECT_EQ(f.key(typed("x")), "x");
}

TEST(TerminalViewFind, OptionsSearchAgainOnlyWithATerm) {
    Finding f;
    f.view.showFindBar(false);
    f.bar().caseSensitiveButton.performClick();
    EXPECT_TRUE(f.view.findBarOptions().caseSensitive);
    EXPECT_FALSE(f.view.selectionActive()) << "no term: no search";
    f.bar().searchField.userEdited("ABC", {3, 0});
    EXPECT_EQ(f.view.selection().start(), (Position{0, 1}));
    f.bar().wholeWordButton.performClick();
    EXPECT_TRUE(f.view.findBarOptions().wholeWord);
    EXPECT_EQ(f.selected(), "ABC") << "searched forward again, wrapping to the one match";
    f.bar().regexButton.performClick();
    EXPECT_EQ(f.bar().options(), SearchOptions(true, true, true));
    // The buttons.
    f.bar().previousButton.performClick();
    f.bar().nextButton.performClick();
    EXPECT_EQ(f.selected(), "ABC");
    f.bar().closeButton.performClick();
    EXPECT_TRUE(f.bar().isHidden());
}

TEST(TerminalViewFind, TheBarStaysInTheTopRightCorner) {
    const struct {
        int cols;
    } cases[] = {{100}, {60}, {40}};
    for (const auto& c : cases) {
        InputFixture f(c.cols, 6);
        f.view.showFindBar(false);
        const platform::gfx::Rect bar = f.view.findBar()->frame();
        const platform::gfx::Rect view = f.view.bounds();
        EXPECT_LE(bar.width, TerminalFindBarView::maximumWidth) << c.cols;
        EXPECT_EQ(view.maxX() - bar.maxX(), 8) << c.cols;
        EXPECT_EQ(view.maxY() - bar.maxY(), 8) << c.cols;
        if (view.width - 16 >= f.view.findBar()->minimumWidth()) {
            EXPECT_GE(bar.minX(), 8);
        }
        EXPECT_GE(f.view.findBar()->searchField.frame().width, TerminalFindBarView::minimumFieldWidth);
        // The controls in their order, left to right.
        const TerminalFindBarView& b = *f.view.findBar();
        const platform::ui::Control* order[] = {&b.searchField, &b.previousButton, &b.nextButton,
                                                &b.caseSensitiveButton, &b.regexButton, &b.wholeWordButton,
                                                &b.closeButton};
        for (size_t i = 1; i < std::size(order); ++i) {
            EXPECT_EQ(order[i]->frame().minX(), order[i - 1]->frame().maxX() + TerminalFindBarView::spacing);
        }
        EXPECT_EQ(b.closeButton.frame().maxX(), bar.width - 8);
        if (c.cols == 100) {
            f.window.displayIfNeeded();
            f.window.writePng(::testing::TempDir() + "terminal_view_find_bar.png");
        }
    }
}

TEST(TerminalViewFind, TheBarsControlsSayWhatTheyAre) {
    InputFixture f;
    const TerminalFindBarView& bar = f.view.ensureFindBar();
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(bar.searchField.placeholder(), "Find");
    const struct {
        const platform::ui::Button& button;
        const char* title;
        const char* symbol;
        const char* tip;
    } cases[] = {
        {bar.previousButton, "", "go-up-symbolic", "Previous"},
        {bar.nextButton, "", "go-down-symbolic", "Next"},
        {bar.closeButton, "", "window-close-symbolic", "Close"},
        {bar.caseSensitiveButton, "Aa", "", "Case Sensitive"},
        {bar.regexButton, ".*", "", "Regex"},               {bar.wholeWordButton, "Word", "", "Whole Word"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.button.title(), c.title);
        EXPECT_EQ(c.button.symbolName(), c.symbol);
        EXPECT_EQ(c.button.toolTip(), c.tip);
        EXPECT_EQ(c.button.controlSize(), platform::ui::Button::ControlSize::small);
    }
    EXPECT_EQ(bar.caseSensitiveButton.font().size, 11);
    EXPECT_EQ(&f.view.ensureFindBar(), &bar) << "made once";
}
