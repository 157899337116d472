#include "quiltdeck/panels/HistoryWindow.h"

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

using Tile = Store::ClosedTile;

Tile tile(std::string title, std::string cwd) {
    Tile record;
    record.title = std::move(title);
    record.name = "name";
    record.cwd = std::move(cwd);
    record.closedAt = Date{0};
    return record;
}

TEST(HistoryRows, DatesReadDayMonthAndTimeInTheLanguage) {
    // 2001-01-01 00:00 UTC, and the tests' zone is UTC. Each language's own order, punctuation
    // and clock (English: month first and twelve hours, with a narrow space before "AM").
    const Date afternoon{86400.0 * 45 + 3600 * 13 + 60 * 7};
    const struct {
        Date date;
        Lang lang;
        const char* shown;
    } cases[] = {
        {Date{0}, Lang::en, "Jan 1, 12:00\u202FAM"},
        {afternoon, Lang::en, "Feb 15, 1:07\u202FPM"},
        {Date{0}, Lang::de, "1. Jan., 00:00"},
        {afternoon, Lang::de, "15. Feb., 13:07"},
        {Date{0}, Lang::fr, "1 janv., 00:00"},
        {Date{0}, Lang::ru, "1 янв., 00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(HistoryWindow::formatDate(c.date, c.lang), c.shown) << c.lang.rawValue();
}

TEST(HistoryRows, DetailLinesJoinWhatTheRecordHas) {
    const std::string home = "/home/al";
    Tile shell = tile("t", "/home/al/x");
    shell.isShell = true;
    Tile marked = tile("t", "/srv/y");
    marked.browserId = "dev";
    marked.claudeSessionId = "s";
    // The home folder's shell is the shell, whatever name its record keeps; characters that
    // would hide or reorder the name or the folder are spelt out.
    Tile homeShell = tile("shell", "/home/al");
    homeShell.name = "al";
    homeShell.isShell = true;
    Tile hiding = tile("t", "/srv/a\u202Ecod.exe");
    hiding.name = "in\u200Bvoice";
    const std::string date = "   Jan 1, 12:00\u202FAM";
    struct Case {
        Tile record;
        std::string expected;
    } cases[] = {
        {shell, "name (shell)   ~/x" + date},
        {homeShell, "shell   ~" + date},
        {hiding, "in<U+200B>voice   /srv/a<U+202E>cod.exe" + date},
        {tile("t", "/home/al"), "name   ~" + date},
        // Only the whole leading home folder is written "~".
        {tile("t", "/home/alice/x"), "name   /home/alice/x" + date},
        {tile("t", "/srv/home/al/z"), "name   /srv/home/al/z" + date},
        {marked, "name   /srv/y" + date + "   " + t("with_browser") + "   " + t("resumable")},
    };
    for (const Case& c : cases) EXPECT_EQ(HistoryWindow::detailLine(c.record, home), c.expected) << c.record.cwd;
}

TEST(HistoryRows, APromptIsShortenedOnALineOfItsOwn) {
    // In the dark theme, whatever an earlier test left.
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
    Tile record = tile("Title", "/srv/y");
    record.lastPrompt = std::string(50, 'a') + "  \n\t " + std::string(100, 'b');
    const auto text = HistoryWindow::rowText(record, "/home/u");
    const std::string shown = text.string();
    const std::string prompt = shown.substr(shown.rfind('\n') + 1);
    EXPECT_EQ(prompt, std::string(50, 'a') + " " + std::string(58, 'b') + "…");
    EXPECT_EQ(shown.find("Title\n"), 0u);
    EXPECT_EQ(text.runs()[0].attributes.font.size, 13);
    EXPECT_EQ(text.runs()[0].attributes.font.weight, platform::gfx::FontWeight::semibold);
    EXPECT_EQ(text.runs().back().attributes.color, testing::rgb(158, 163, 169));
    // A prompt of a megabyte reads the same from its first kilobytes.
    record.lastPrompt = "\u00E9" + std::string(1'000'000, 'c');
    const std::string longRow = HistoryWindow::rowText(record, "/home/u").string();
    EXPECT_EQ(longRow.substr(longRow.rfind('\n') + 1), "\u00E9" + std::string(108, 'c') + "…");
    // A paste is told by its text, or as a paste when it wraps nothing.
    for (const auto& [prompt, seen] : {std::pair<std::string, std::string>{"fix <pasted_content id=\"f1ad\">it</pasted_content>", "fix it"},
                                       {"<pasted_content id=\"f1ad\"></pasted_content>", "Pasted text"}}) {
        record.lastPrompt = prompt;
        const std::string row = HistoryWindow::rowText(record, "/home/u").string();
        EXPECT_EQ(row.substr(row.rfind('\n') + 1), seen) << prompt;
    }
    record.lastPrompt.reset();
    const std::string without = HistoryWindow::rowText(record, "/home/u").string();
    EXPECT_EQ(std::count(without.begin(), without.end(), '\n'), 1);
}

// A record whose title was set aside (or never came) is shown as its tile is without one: by its
// name, else by its folder's.
TEST(HistoryRows, ARecordWithoutATitleIsShownByItsName) {
    const std::string home = "/home/u";
    struct Case {
        std::string title, name, cwd;
        bool shell;
        std::string shown;
    } cases[] = {
        {"Build", "name", "/srv/y", false, "Build"},
        {"", "name", "/srv/y", false, "name"},
        {"", "", "/srv/y", false, "y"},
        {"", "", "/srv/y/", false, "y"},
        {"", "", home, true, t("shell")},
        {"", "x", "/srv/x", true, t("shell_named", {"x"})},
        {"", "", "/srv/x", true, t("shell_named", {"x"})},
        {"", "in\u200Bvoice", "/srv/y", false, "in<U+200B>voice"},
    };
    for (const Case& c : cases) {
        Tile record = tile(c.title, c.cwd);
        record.name = c.name;
        record.isShell = c.shell;
        const platform::ui::RichText text = HistoryWindow::rowText(record, home);
        EXPECT_EQ(text.string().substr(0, text.string().find('\n')), c.shown) << c.title << "|" << c.name << "|" << c.cwd;
        EXPECT_EQ(text.runs()[0].attributes.font.weight, platform::gfx::FontWeight::semibold);
    }
}

class HistoryWindowTest : public testing::PanelTest {
protected:
    HistoryWindowTest() { setClosed({}); }
    ~HistoryWindowTest() override { setClosed({}); }
    static void setClosed(const std::vector<Tile>& records) {
        while (!Store::shared().closed().empty()) Store::shared().removeClosed(0);
        for (auto it = records.rbegin(); it != records.rend(); ++it) Store::shared().recordClosed(*it);
    }
    std::shared_ptr<HistoryWindow> make() {
        auto history = std::make_shared<HistoryWindow>();
        history->home = "/home/u";
        history->onReopen = [this](const Tile& record) { reopened_.push_back(record.title); };
        history->build();
        return history;
    }
    static std::vector<std::string> titles(const std::vector<Tile>& records) {
        std::vector<std::string> out;
        for (const Tile& record : records) out.push_back(record.title);
        return out;
    }
    std::vector<std::string> reopened_;
};

TEST_F(HistoryWindowTest, AnEmptyHistoryShowsItsLineAndDoesNothing) {
    auto history = make();
    ASSERT_EQ(history->table().numberOfRows(), 1);
    EXPECT_EQ(history->table().rows()[0].text.string(), t("history_empty"));
    EXPECT_EQ(history->table().selectedRow(), -1);
    history->table().clickRow(0, 1);
    history->reopenButton().performClick();
    history->forgetButton().performClick();
    EXPECT_TRUE(reopened_.empty());
    EXPECT_TRUE(Store::shared().closed().empty());
}

// Row 0, the newest, is selected at once; Reopen takes it out of the history and hands it on; a
// double click reopens the row clicked.
TEST_F(HistoryWindowTest, ReopenTakesTheRecordOutAndHandsItOn) {
    setClosed({tile("newest", "/a"), tile("older", "/b")});
    auto history = make();
    EXPECT_EQ(history->table().selectedRow(), 0);
    EXPECT_EQ(history->table().rowHeight(), 58);
    EXPECT_EQ(history->reopenButton().keyEquivalent(), platform::ui::Button::KeyEquivalent::returnKey);
    EXPECT_EQ(history->closeButton().keyEquivalent(), platform::ui::Button::KeyEquivalent::escape);
    EXPECT_FALSE(history->closeButton().look());  // no pills here
    history->reopenButton().performClick();
    history->table().clickRow(1, 1);
    history->table().clickRow(1, 2);
    EXPECT_EQ(reopened_, (std::vector<std::string>{"newest", "older"}));
    EXPECT_TRUE(Store::shared().closed().empty());
}

TEST_F(HistoryWindowTest, RemovingWritesAtOnceAndTheLastBringsTheEmptyLine) {
    setClosed({tile("one", "/a"), tile("two", "/b")});
    auto history = make();
    history->table().selectRow(1);
    history->forgetButton().performClick();
    EXPECT_EQ(titles(Store::shared().closed()), std::vector<std::string>{"one"});
    EXPECT_TRUE(Store::shared().flush());
    EXPECT_NE(testing::readFile(Store::shared().file()).find("\"one\""), std::string::npos);
    EXPECT_EQ(testing::readFile(Store::shared().file()).find("\"two\""), std::string::npos);
    EXPECT_EQ(history->table().numberOfRows(), 1);
    EXPECT_EQ(history->table().selectedRow(), -1);
    history->table().selectRow(0);
    history->forgetButton().performClick();
    EXPECT_TRUE(Store::shared().closed().empty());
    EXPECT_EQ(history->table().rows()[0].text.string(), t("history_empty"));
}

// A tile closed while the sheet is open moves the store's list on: Remove still takes the record
// shown in the row, and nothing when that record is already gone.
TEST_F(HistoryWindowTest, RemoveTakesTheRecordShownAfterATileClosed) {
    setClosed({tile("A", "/a"), tile("B", "/b")});
    auto history = make();
    Store::shared().recordClosed(tile("C", "/c"));
    history->table().selectRow(0);  // shows A
    history->forgetButton().performClick();
    EXPECT_EQ(titles(Store::shared().closed()), (std::vector<std::string>{"C", "B"}));
    EXPECT_EQ(titles(history->entries()), (std::vector<std::string>{"C", "B"}));
    // B vanishes from the store behind the sheet's back.
    Store::shared().removeClosed(1);
    history->table().selectRow(1);
    history->forgetButton().performClick();
    EXPECT_EQ(titles(Store::shared().closed()), std::vector<std::string>{"C"});
    EXPECT_EQ(titles(history->entries()), std::vector<std::string>{"C"});
}


// On the sheet: Return reopens the newest at once; a double click reopens its row and ends the
// sheet; Escape ends it.
TEST_F(HistoryWindowTest, TheSheetReopensOnReturnAndDoubleClick) {
    setClosed({tile("newest", "/a"), tile("older", "/b")});
    platform::ui::headless::HeadlessWindow main({1200, 900}, 1);
    platform::ui::KeyEvent key;
    key.key = platform::ui::Key::returnKey;
    auto first = make();
    first->present(main);
    ASSERT_EQ(main.attachedSheet(), first->panel());
    EXPECT_EQ(first->panel()->title(), t("closed_tiles"));
    first->panel()->sendKeyEvent(key);
    EXPECT_FALSE(main.attachedSheet());
    // The newest is open again: the older one is the first row now.
    auto second = make();
    second->present(main);
    second->table().clickRow(0, 1);
    second->table().clickRow(0, 2);
    EXPECT_FALSE(main.attachedSheet());
    auto third = make();
    third->present(main);
    key.key = platform::ui::Key::escape;
    third->panel()->sendKeyEvent(key);
    EXPECT_FALSE(main.attachedSheet());
    EXPECT_EQ(reopened_, (std::vector<std::string>{"newest", "older"}));
}

// With the keyboard alone: from the list, Tab reaches Reopen, Remove and Close in turn, and
// Space on Remove removes the selected row while the sheet stays.
TEST_F(HistoryWindowTest, TabToRemoveAndSpaceRemovesTheRow) {
    setClosed({tile("newest", "/a"), tile("older", "/b")});
    platform::ui::headless::HeadlessWindow main({1200, 900}, 1);
    auto history = make();
    history->present(main);
    platform::ui::Window& sheet = *history->panel();
    ASSERT_EQ(sheet.firstResponder(), &history->table());
    platform::ui::KeyEvent tab;
    tab.key = platform::ui::Key::tab;
    const platform::ui::View* stops[] = {&history->reopenButton(), &history->forgetButton(), &history->closeButton(),
                                         &history->table(), &history->reopenButton(), &history->forgetButton()};
    for (const platform::ui::View* stop : stops) {
        EXPECT_TRUE(sheet.sendKeyEvent(tab));
        EXPECT_EQ(sheet.firstResponder(), stop);
    }
    platform::ui::KeyEvent space;
    space.key = platform::ui::Key::space;
    space.characters = " ";
    EXPECT_TRUE(sheet.sendKeyEvent(space));
    EXPECT_EQ(titles(Store::shared().closed()), std::vector<std::string>{"older"});
    EXPECT_EQ(main.attachedSheet(), &sheet);
    EXPECT_TRUE(reopened_.empty());
    history->dismiss();
}

}  // namespace
}  // namespace quiltdeck
