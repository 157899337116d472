// Copy, paste, select all and what the menus may do.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;
using platform::ui::Pasteboard;
using Item = TerminalView::UserInterfaceItem;
using How = Pasteboard::ReadEnd::How;

namespace {

// A clipboard that answers later, as another program's does, in the pieces the test hands over.
class LateClipboard : public Pasteboard::Backend {
public:
    void write(const std::optional<std::string>& text) override { held = text; }
    Pasteboard::CancelRead readItems(Pasteboard::ItemsReader reader) override {
        reader.done({}, {});
        return {};
    }
    Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t) override {
        pending.push_back(std::move(reader));
        return {};
    }
    // The owner hands over these pieces and ends as `how` says.
    void answer(size_t read, std::vector<std::string> pieces, How how = How::whole) {
        for (std::string& piece : pieces) pending[read].piece(std::move(piece));
        pending[read].end({how});
    }
    std::optional<std::string> held;
    std::vector<Pasteboard::TextReader> pending;
};

// A view (in `mode`) whose clipboard belongs to another program.
struct LatePaste : InputFixture {
    LateClipboard* clipboard;
    explicit LatePaste(const char* mode) {
        view.feed(mode);
        take();
        auto backend = std::make_unique<LateClipboard>();
        clipboard = backend.get();
        Pasteboard::general().setBackend(std::move(backend));
    }
    ~LatePaste() { Pasteboard::general().setBackend(nullptr); }
};

}  // namespace

TEST(TerminalViewClipboard, Validation) {
    InputFixture f;
    f.view.feed("text");
    const struct {
        Item item;
        bool withoutSelection, withSelection;
    } cases[] = {
        {{"copy:", 0, {}}, false, true},
        {{"paste:", 0, {}}, true, true},
        {{"selectAll:", 0, {}}, true, true},
        {{"performFindPanelAction:", 1, {}}, true, true},
        {{"performFindPanelAction:", 3, {}}, true, true},
        {{"performFindPanelAction:", 7, {}}, false, true},
        {{"performFindPanelAction:", 11, {}}, false, false},
        {{"performTextFinderAction:", 11, {}}, true, true},
        {{"performTextFinderAction:", 13, {}}, true, true},
        {{"performTextFinderAction:", 7, {}}, false, true},
        {{"performTextFinderAction:", 4, {}}, false, false},
    };
    for (const auto& c : cases) {
        f.view.selectNone();
        EXPECT_EQ(f.view.validateUserInterfaceItem(c.item), c.withoutSelection) << c.item.action << c.item.tag;
        f.view.selectAll();
        EXPECT_EQ(f.view.validateUserInterfaceItem(c.item), c.withSelection) << c.item.action << c.item.tag;
    }
    // What the view does not know is disabled, with one line on standard output.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(f.view.validateUserInterfaceItem({"cut:", 0, "Cut"}));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Validating User Interface Item: Cut\n");
}

TEST(TerminalViewClipboard, CopyWritesEvenAnEmptySelection) {
    InputFixture f(20, 4);
    f.view.feed("hello world");
    Pasteboard::general().setString("before");
    f.view.copy();
    ASSERT_TRUE(Pasteboard::general().string().has_value());
    EXPECT_EQ(*Pasteboard::general().string(), "");
    f.view.selection().setSelection({6, 0}, {11, 0});
    f.view.copy();
    EXPECT_EQ(*Pasteboard::general().string(), "world");
    // The menu command of a disabled Copy does nothing.
    f.view.selectNone();
    EXPECT_FALSE(f.view.performMenuAction({"copy:", 0, {}}));
    EXPECT_EQ(*Pasteboard::general().string(), "world");
}

TEST(TerminalViewClipboard, PasteArrivesLaterAndIsFramed) {
    LatePaste f("\x1b[?2004h");
    f.view.paste();
    EXPECT_EQ(f.take(), "") << "nothing until the text arrives";
    ASSERT_EQ(f.clipboard->pending.size(), 1u);
    f.clipboard->answer(0, {"abc"});
    EXPECT_EQ(f.take(), "\x1b[200~abc\x1b[201~");
    // Nothing textual: an empty paste.
    f.view.paste();
    f.clipboard->answer(1, {});
    EXPECT_EQ(f.take(), "\x1b[200~\x1b[201~");
    // A view gone before the text came hears nothing of it.
    {
        InputFixture gone;
        Pasteboard::general().ownerDidChange();
        gone.view.paste();
    }
    ASSERT_EQ(f.clipboard->pending.size(), 3u);
    f.clipboard->answer(2, {"late"});
}

// Another program's text goes out as its pieces come, filtered as the whole would be; keys typed
// meanwhile wait behind it. An owner that breaks off still leaves a closed paste; one that sent
// nothing leaves nothing, and the keys go at once. The owner hears how the read ended.
// A key never waits long: an owner slow to start lets it go first, one that trickles is cut when
// the key has waited its limit, and Ctrl+C cuts the paste at once, going after it.
TEST(TerminalViewClipboard, PastedPiecesGoOutAsTheyCome) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        const char* mode;
        std::vector<std::string> pieces;
        How how;
        std::string firstOut;  // after the first piece
        std::string out;       // then, with the key typed after the paste
        // The first piece comes `late` after the paste key (typed at once), each next `every` later.
        std::chrono::milliseconds late = 0ms, every = 0ms;
        const char* typedAfterFirst = "";  // "^C": Ctrl+C
        std::optional<Pasteboard::ReadEnd> endsAs = std::nullopt;  // when the view cut the read
        PasteStop stop = PasteStop::none;
    } cases[] = {
        {"Bracketed", "\x1b[?2004h", {"ab", "cd"}, How::whole, "\x1b[200~ab", "cd\x1b[201~k"},
        {"Plain", "", {"ab", "cd"}, How::whole, "ab", "cdk"},
        // A character cut between pieces waits for its rest; controls are dropped wherever they fall.
        {"CutCharacter", "", {"\xe2\x82", "\xac\x1b[201~\x03"}, How::whole, "", "\xe2\x82\xac[201~k"},
        {"CutAtTheEnd", "", {"a\xe2\x82"}, How::whole, "a", "\xef\xbf\xbdk"},
        {"Stopped", "\x1b[?2004h", {"ab"}, How::stopped, "\x1b[200~ab", "\x1b[201~k"},
        {"OwnerGone", "\x1b[?2004h", {"ab", "c"}, How::gone, "\x1b[200~ab", "c\x1b[201~k"},
        {"CutAtTheLimit", "\x1b[?2004h", {"ab"}, How::tooLarge, "\x1b[200~ab", "\x1b[201~k"},
        {"OnlyControls", "\x1b[?2004h", {"\x1b\x03"}, How::whole, "", "\x1b[200~\x1b[201~k"},
        {"EmptyClipboard", "\x1b[?2004h", {}, How::whole, "", "\x1b[200~\x1b[201~k"},
        {"NoAnswer", "\x1b[?2004h", {}, How::noAnswer, "", "k"},
        {"TooLargeToStart", "\x1b[?2004h", {}, How::tooLarge, "", "k"},
        // Late: the key goes at 2 s, the text after it when it comes, a key typed then behind it.
        {"LateFirstPart", "\x1b[?2004h", {"ab", "cd"}, How::whole, "k\x1b[200~ab", "cd\x1b[201~j", 2500ms, 0ms, "j"},
        {"LateEmptyClipboard", "\x1b[?2004h", {}, How::whole, "k", "\x1b[200~\x1b[201~", 3000ms},
        {"HungOwner", "\x1b[?2004h", {}, How::noAnswer, "k", "", 10000ms},
        {"Trickle", "\x1b[?2004h", {"a", "b", "c"}, How::whole, "\x1b[200~a", "b\x1b[201~k", 0ms, 9000ms, "",
         Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::keysWaited},
        {"CtrlC", "\x1b[?2004h", {"ab", "cd"}, How::whole, "\x1b[200~ab", "\x1b[201~k\x03", 0ms, 0ms, "^C",
         Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::interrupted},
        {"CtrlCUnderTheKeyboardProtocol", "\x1b[?2004h\x1b[>1u", {"ab"}, How::whole, "\x1b[200~ab", "\x1b[201~k\x1b[99;5u",
         0ms, 0ms, "^C", Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::interrupted},
        {"CtrlCBeforeTheFirstPart", "\x1b[?2004h", {}, How::whole, "", "k\x03", 0ms, 0ms, "^C",
         Pasteboard::ReadEnd{How::cancelled, 0}, PasteStop::interrupted},
    };
    for (const auto& c : cases) {
        LatePaste f(c.mode);
        std::optional<Pasteboard::ReadEnd> ended;
        PasteStop stop = PasteStop::none;
        f.view.pasteText(Pasteboard::general(), *c.mode != 0, true, std::nullopt,
                         [&](const Pasteboard::ReadEnd& end, PasteStop why) { ended = end, stop = why; });
        f.view.send(std::string_view("k"));
        EXPECT_EQ(f.take(), "") << c.name << ": the key waits for the paste";
        size_t bytes = 0;
        for (const std::string& piece : c.pieces) bytes += piece.size();
        f.loop.advance(c.late);
        if (!c.pieces.empty()) f.clipboard->pending[0].piece(c.pieces[0]);
        EXPECT_EQ(f.take(), c.firstOut) << c.name;
        if (std::string_view(c.typedAfterFirst) == "^C") f.window.sendKeyEvent(typed("c", Mod::control));
        else f.view.send(std::string_view(c.typedAfterFirst));
        for (size_t i = 1; i < c.pieces.size(); ++i) {
            f.loop.advance(c.every);
            f.clipboard->pending[0].piece(c.pieces[i]);
        }
        f.clipboard->pending[0].end({c.how});
        EXPECT_EQ(f.take(), c.out) << c.name;
        EXPECT_EQ(f.view.pasteBytesWaiting(), 0u) << c.name;
        EXPECT_EQ(ended, c.endsAs.value_or(Pasteboard::ReadEnd{c.how, bytes, std::nullopt})) << c.name;
        EXPECT_EQ(stop, c.stop) << c.name;
    }
    // A paste that must not send a bare frame (a tile's) sends nothing for a text of controls.
    {
        LatePaste f("");
        f.view.pasteText(Pasteboard::general(), true, false);
        f.clipboard->answer(0, {"\x1b", "\x03"});
        f.view.send(std::string_view("k"));
        EXPECT_EQ(f.take(), "k");
    }
    // Without the bracket the keyboard protocol sends the paste as one text event: the whole of it.
    LatePaste f("\x1b[>1u");
    f.view.paste();
    f.clipboard->pending[0].piece("a");
    EXPECT_EQ(f.take(), "");
    f.clipboard->answer(0, {"bc"});
    EXPECT_EQ(f.take(), "abc");
}

TEST(TerminalViewClipboard, SelectAll) {
    InputFixture f;
    f.view.feed("one\r\ntwo");
    EXPECT_TRUE(f.view.performMenuAction({"selectAll:", 0, {}}));
    EXPECT_EQ(f.view.getSelection().value_or(""), "one\ntwo");
}
