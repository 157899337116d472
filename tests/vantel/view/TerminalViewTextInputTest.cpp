// Committed and pasted text, marked text and its overlay, and the ranges input methods ask for.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"
#include "vantel/view/DictationOverlayTextView.h"

using namespace vantel;
using namespace vantel::testing;
using platform::gfx::Rect;
using platform::ui::TextRange;

TEST(TerminalViewTextInput, PastesAreFramedWhenTheProgramAsks) {
    struct Case {
        const char* setup;
        std::string sent;
    } cases[] = {
        {"\x1b[?2004h", "\x1b[200~abc\x1b[201~"},
        {"\x1b[?2004h\x1b[>1u", "\x1b[200~abc\x1b[201~"},
        {"", "abc"},
        {"\x1b[>1u", "abc"},  // a text-only event under the Kitty flags
    };
    for (const Case& c : cases) {
        InputFixture f;
        f.view.feed(c.setup);
        f.take();
        f.view.insertText("abc", {}, true);
        EXPECT_EQ(f.take(), c.sent) << c.setup;
        // The same from the clipboard.
        platform::ui::Pasteboard::general().setString("abc");
        f.view.paste();
        EXPECT_EQ(f.take(), c.sent) << c.setup;
    }
}

TEST(TerminalViewTextInput, PastedTextLosesItsControlCharacters) {
    const struct {
        std::string pasted;
        std::string kept;
    } cases[] = {
        // A pasted end marker cannot end the bracket early.
        {"a\x1b[201~rm -rf ~\r", "a[201~rm -rf ~\r"},
        {"tab\tline\nreturn\r", "tab\tline\nreturn\r"},
        {"\x03\x04\x07\x08\x1a", ""},
        {"del\x7f", "del\x7f"},
        {"c1 \xc2\x9b" "31m \xc2\x85", "c1 31m "},
        {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"},
        {"bad \xff\x9b", "bad \xef\xbf\xbd\xef\xbf\xbd"},
    };
    for (const auto& c : cases) EXPECT_EQ(TerminalView::filterPastedText(c.pasted), c.kept);
    for (const char* mode : {"", "\x1b[?2004h"}) {
        InputFixture f;
        f.view.feed(mode);
        f.take();
        f.view.insertText("x\x1b[201~\x03y", {}, true);
        EXPECT_EQ(f.take(), *mode ? "\x1b[200~x[201~y\x1b[201~" : "x[201~y");
    }
    // Typed text is not a paste: it goes as it is.
    InputFixture f;
    f.view.insertText("\x1b", {});
    EXPECT_EQ(f.take(), "\x1b");
}

TEST(TerminalViewTextInput, ComposedTextIsSentAsPlainText) {
    InputFixture f;
    f.inputMethod().commit("\xe6\x97\xa5\xe6\x9c\xac");  // what an input method commits
    EXPECT_EQ(f.take(), "\xe6\x97\xa5\xe6\x9c\xac");
    // Alt not as Meta under Kitty flags: a character composed with Alt is plain text too.
    TerminalViewSettings settings = f.view.settings();
    settings.optionAsMetaKey = false;
    f.view.apply(settings);
    f.view.feed("\x1b[>1u");
    f.take();
    auto& im = f.inputMethod();
    im.onKey = [&im](const KeyEvent& e) {
        if (e.characters == "e" && (e.modifiers & Mod::alt)) {
            im.preedit("\xc2\xb4", 1);
            return true;
        }
        if (e.characters == "e") {
            im.commit("\xc3\xa9");
            return true;
        }
        return false;
    };
    EXPECT_EQ(f.key(typed("e", Mod::alt)), "");
    EXPECT_EQ(f.key(typed("e")), "\xc3\xa9");
    // An Alt key whose text comes back plain from the input method.
    im.onKey = nullptr;
    EXPECT_EQ(f.key(typed("x", Mod::alt)), "x");
}

TEST(TerminalViewTextInput, MarkedTextAndComposingState) {
    InputFixture f;
    f.view.setMarkedText("\xf0\x9f\x98\x80" "ab", {1, 0}, {});
    EXPECT_TRUE(f.view.hasMarkedText());
    EXPECT_EQ(f.view.markedRange(), (TextRange{0, 4})) << "UTF-16 units";
    EXPECT_EQ(f.view.markedSelectedRange(), (TextRange{1, 0}));
    ASSERT_NE(f.view.markedTextOverlay(), nullptr);
    TextRange actual;
    EXPECT_EQ(f.view.attributedSubstring({2, 10}, &actual).value_or("-"), "ab");
    EXPECT_EQ(actual, (TextRange{2, 2}));
    EXPECT_FALSE(f.view.attributedSubstring({4, 1}).has_value());
    EXPECT_FALSE(f.view.attributedSubstring({TextRange::notFound, 1}).has_value());
    // An empty marked text removes the overlay but the composition stays open.
    f.view.setMarkedText("", {0, 0}, {});
    EXPECT_EQ(f.view.markedTextOverlay(), nullptr);
    EXPECT_FALSE(f.view.hasMarkedText());
    EXPECT_TRUE(f.view.kittyIsComposing());
    f.view.insertText("x", {});
    EXPECT_EQ(f.take(), "x");
    EXPECT_TRUE(f.view.kittyIsComposing()) << "legacy text leaves it";
    f.view.unmarkText();
    EXPECT_FALSE(f.view.kittyIsComposing());
    EXPECT_EQ(f.take(), "") << "unmarking sends nothing";
}

TEST(TerminalViewTextInput, RangesForTheInputMethod) {
    InputFixture f(80, 25);
    f.view.feed("\x1b[3;6H");  // column 5 of screen row 2
    EXPECT_EQ(f.view.selectedRange(), (TextRange{165, 0}));
    f.view.selection().setSelection({2, 1}, {7, 0});
    EXPECT_EQ(f.view.selectedRange(), (TextRange{7, 75}));
    EXPECT_EQ(f.view.characterIndex({35, 500 - 45}), 2u * 80 + 3);
    EXPECT_EQ(f.view.characterIndex({-50, 900}), 0u);
    // The candidate window goes beside the caret.
    const Rect caret = f.view.caretView()->convertToWindow(f.view.caretView()->bounds());
    EXPECT_EQ(f.view.firstRectForCharacterRange({0, 0}), caret);
    EXPECT_EQ(TerminalView::validAttributesForMarkedText().size(), 3u);
}

TEST(TerminalViewTextInput, TheOverlaySitsOnTheCellGridFromTheCaret) {
    InputFixture f(20, 4);
    f.view.setNativeBackgroundColor({0, 0, 0, 1});
    f.view.setNativeForegroundColor({1, 1, 1, 1});
    f.view.feed("$ ab");
    f.view.updateCursorPosition();
    f.view.setMarkedText("\xe3\x81\x8b\xe3\x81\xaa \xe3\x82\x82\xe3\x81\xa8\xe3\x81\xab\xe3\x81\xaa\xe3\x82\x8b", {2, 0}, {});
    const DictationOverlayTextView* overlay = f.view.markedTextOverlay();
    ASSERT_NE(overlay, nullptr);
    const Rect caret = f.view.caretFrame();
    EXPECT_EQ(overlay->style().firstLineIndent, caret.minX() - 4);
    EXPECT_EQ(overlay->style().lineHeight, InputFixture::cell.height);
    EXPECT_EQ(overlay->style().width, 200 - 8);
    EXPECT_EQ(overlay->frame().minX(), 4);
    EXPECT_EQ(overlay->frame().maxY(), caret.maxY()) << "top edge level with the caret's";
    EXPECT_EQ(overlay->frame().height, overlay->lineCount() * InputFixture::cell.height);
    EXPECT_GE(overlay->style().kern, 0);
    EXPECT_EQ(overlay->overlayBackgroundColor, (platform::gfx::Rgba{0, 0, 0, 1}));
    // Under reverse video the colours swap.
    f.view.feed("\x1b[?5h");
    f.view.setMarkedText("x", {1, 0}, {});
    EXPECT_EQ(f.view.markedTextOverlay()->overlayBackgroundColor, (platform::gfx::Rgba{1, 1, 1, 1}));
    f.view.feed("\x1b[?5l");
    f.view.feed("\r\nWWWW");
    f.view.updateCursorPosition();
    f.view.setMarkedText("iiii mmmm", {2, 0}, {});
    f.window.displayIfNeeded();
    f.window.writePng(::testing::TempDir() + "terminal_view_marked_text.png");
}

TEST(TerminalViewTextInput, AClearOverlayPaintsNothingBehindItsText) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    platform::ui::headless::HeadlessWindow window({60, 40}, 1);
    platform::ui::View ground(Rect{0, 0, 60, 40});
    ground.setLayerBackgroundColor(platform::gfx::Rgba{0, 0, 1, 1});
    DictationOverlayTextView overlay(Rect{0, 0, 60, 40});
    ground.addSubview(&overlay);
    window.setContentView(&ground);
    DictationOverlayTextView::Style style;
    style.width = 60;
    style.lineHeight = 20;
    overlay.setText(" ", style);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(30, 10), 0xFF0000FFu);
    overlay.overlayBackgroundColor = {1, 0, 0, 1};
    overlay.setNeedsDisplay();
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(30, 10), 0xFFFF0000u) << "the first line's fragment is painted";
    EXPECT_EQ(window.pixel(30, 30), 0xFF0000FFu) << "below the one line nothing";
}

// A paste too large to send at once goes out in pieces between turns of the loop, as the owner
// has room, the bracket's end after its last piece; keys and another paste sent meanwhile follow
// it in order.
TEST(TerminalViewTextInput, LargePastesGoOutInPiecesBetweenTurns) {
    InputFixture f;
    f.view.feed("\x1b[?2004h");
    f.take();
    std::string text;
    // Bytes that are no UTF-8 come out three times as long (U+FFFD): the pieces still fit the room.
    while (text.size() < 3 * TerminalView::pastePieceBytes) text += "line \x1b\x03of a p\xe2ste \xe9\xe9\xe9\r\n";
    const std::string filtered = TerminalView::filterPastedText(text);
    f.owner.room = TerminalView::pastePieceBytes + 10;
    f.view.insertText(text, {}, true);
    f.view.send(std::string_view("k"));
    f.view.insertText("second", {}, true);
    EXPECT_EQ(f.owner.sends, 0);  // nothing before the loop turns
    EXPECT_GT(f.view.pasteBytesWaiting(), text.size());
    f.loop.runPending();
    // Room for one piece at a time: the next waits until room is made.
    EXPECT_EQ(f.owner.sends, 2);  // the bracket's start and a piece
    f.loop.advance(std::chrono::milliseconds(20));
    EXPECT_EQ(f.owner.sends, 2);
    f.owner.room = TerminalView::pastePieceBytes;  // the child read
    f.loop.advance(std::chrono::milliseconds(20));
    EXPECT_EQ(f.owner.sends, 3);
    f.owner.room = SIZE_MAX;
    f.loop.advance(std::chrono::milliseconds(20));
    EXPECT_EQ(f.view.pasteBytesWaiting(), 0u);
    EXPECT_EQ(f.take(), "\x1b[200~" + filtered + "\x1b[201~k\x1b[200~second\x1b[201~");
    EXPECT_EQ(f.owner.overflows, 0);
    // With nothing waiting, a small paste and a key go at once, as before.
    f.view.insertText("small", {}, true);
    f.view.send(std::string_view("k"));
    EXPECT_EQ(f.take(), "\x1b[200~small\x1b[201~k");
    // Ctrl+C while one still goes out: what has not gone is dropped and said, its frame closed, the
    // keys typed meanwhile kept, and the Ctrl+C after them.
    size_t dropped = 0;
    f.view.setPastedTextDropped([&](size_t bytes, PasteStop) { dropped += bytes; });
    f.owner.room = TerminalView::pastePieceBytes + 10;
    f.view.insertText(text, {}, true);
    f.view.send(std::string_view("k"));
    f.loop.runPending();
    const std::string sent = f.take();
    f.window.sendKeyEvent(typed("c", Mod::control));
    f.owner.room = SIZE_MAX;
    f.loop.advance(std::chrono::milliseconds(20));
    EXPECT_EQ(f.take(), "\x1b[201~k\x03");
    EXPECT_GT(dropped, text.size() / 2);
    EXPECT_LT(dropped, text.size());
    EXPECT_EQ(sent.substr(0, 6), "\x1b[200~");
    EXPECT_EQ(f.view.pasteBytesWaiting(), 0u);
    // The same read from the clipboard: a paste whose owner hears how it ended is told there, once
    // its last byte went or was dropped (what of it reached the child, Ctrl+C), not again as dropped
    // text; one without is told as dropped.
    using platform::ui::Pasteboard;
    Pasteboard::general().setString(text);
    for (const bool heard : {true, false}) {
        dropped = 0;
        std::optional<size_t> reached;
        PasteStop stop = PasteStop::none;
        f.owner.room = TerminalView::pastePieceBytes + 10;
        f.view.pasteText(Pasteboard::general(), true, true, std::nullopt,
                         heard ? TerminalView::PasteEnded([&](const Pasteboard::ReadEnd&, PasteStop why, size_t sent) {
                             reached = sent, stop = why;
                         })
                               : TerminalView::PasteEnded());
        f.loop.runPending();
        EXPECT_FALSE(reached) << "read whole, not gone yet";
        const std::string before = f.take();
        f.window.sendKeyEvent(typed("c", Mod::control));
        f.owner.room = SIZE_MAX;
        f.loop.advance(std::chrono::milliseconds(20));
        EXPECT_EQ(f.take(), "\x1b[201~\x03");
        EXPECT_EQ(f.view.pasteBytesWaiting(), 0u);
        if (!heard) {
            EXPECT_GT(dropped, text.size() / 2);
            continue;
        }
        EXPECT_EQ(dropped, 0u);
        ASSERT_TRUE(reached);
        EXPECT_EQ(TerminalView::filterPastedText(std::string_view(text).substr(0, *reached)), before.substr(6));
        EXPECT_EQ(stop, PasteStop::interrupted);
    }
}
