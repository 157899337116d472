// Copy, paste, select all and what the menus may do.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;
using platform::ui::Pasteboard;
using Item = TerminalView::UserInterfaceItem;

namespace {

// A clipboard that answers later, as another program's does.
class LateClipboard : public Pasteboard::Backend {
public:
    void write(const std::optional<std::string>& text) override { held = text; }
    void read(std::function<void(std::optional<std::string>)> done) override { pending.push_back(std::move(done)); }
    std::optional<std::string> held;
    std::vector<std::function<void(std::optional<std::string>)>> pending;
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
    InputFixture f;
    f.view.feed("\x1b[?2004h");
    f.take();
    auto backend = std::make_unique<LateClipboard>();
    LateClipboard* clipboard = backend.get();
    Pasteboard::general().setBackend(std::move(backend));
    f.view.paste();
    EXPECT_EQ(f.take(), "") << "nothing until the text arrives";
    ASSERT_EQ(clipboard->pending.size(), 1u);
    clipboard->pending[0]("abc");
    EXPECT_EQ(f.take(), "\x1b[200~abc\x1b[201~");
    // Nothing textual: an empty paste.
    f.view.paste();
    clipboard->pending[1](std::nullopt);
    EXPECT_EQ(f.take(), "\x1b[200~\x1b[201~");
    // A view gone before the text came hears nothing of it.
    {
        InputFixture gone;
        gone.view.paste();
    }
    ASSERT_EQ(clipboard->pending.size(), 3u);
    clipboard->pending[2]("late");
    Pasteboard::general().setBackend(nullptr);
}

TEST(TerminalViewClipboard, SelectAll) {
    InputFixture f;
    f.view.feed("one\r\ntwo");
    EXPECT_TRUE(f.view.performMenuAction({"selectAll:", 0, {}}));
    EXPECT_EQ(f.view.getSelection().value_or(""), "one\ntwo");
}
