#include "quiltdeck/panels/PickerWindow.h"

#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/panels/ScriptedBrowsers.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

using platform::ui::Key;
using platform::ui::KeyEvent;
namespace Modifier = platform::ui::Modifier;

const std::string home = "/home/u";

Project project(std::string dir, std::string shortPath, bool recent, std::string keywords) {
    return Project{std::move(dir), std::move(shortPath), recent, std::move(keywords)};
}

// What Projects::list() might give: recent folders first; home itself among them.
const std::vector<Project> listed = {
    project("/home/u/work/shop", "~/work/shop", true, "shop node"),
    project("/home/u/code/api", "~/code/api", true, "api rust"),
    project("/home/u", "~", false, "u"),
    project("/home/u/homepage", "~/homepage", false, "homepage web"),
    project("/srv/home-tools", "/srv/home-tools", false, "tools"),
    project("/opt/x", "/opt/x", false, "x with a home keyword"),
    project("/home/u/b", "~/b", false, "b"),
    project("/home/u/aa", "~/aa", false, "aa"),
    project("/home/u/ab", "~/ab", false, "ab"),
    project("/data/rust", "/data/rust", false, "data"),
};

std::vector<std::string> dirs(const std::vector<Project>& projects) {
    std::vector<std::string> out;
    for (const Project& p : projects) out.push_back(p.dir);
    return out;
}

KeyEvent press(Key key, platform::ui::ModifierFlags modifiers = 0) {
    KeyEvent event;
    event.key = key;
    event.modifiers = modifiers;
    return event;
}

TEST(PickerList, TheHomeRowComesFirstAndOnlyOnce) {
    const auto rows = PickerWindow::withHomeRow(listed, home);
    ASSERT_EQ(rows.size(), listed.size());
    EXPECT_EQ(rows[0], (Project{home, "~", false, "home"}));
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const Project& p) { return p.dir == home; }), 1);
    EXPECT_EQ(rows[1].dir, "/home/u/work/shop");
    EXPECT_EQ(PickerWindow::withHomeRow({}, home).size(), 1u);
}

// Short-path matches first, then recent, then shorter, then list order; keywords match last.
TEST(PickerList, FiltersAndOrdersAsTheKeysExpect) {
    const auto all = PickerWindow::withHomeRow(listed, home);
    struct Case {
        const char* query;
        std::vector<std::string> expected;
    } cases[] = {
        // Only spaces and tabs: the whole list as it stands.
        {"  \t ", dirs(all)},
        // The home row through its keywords, after every short path that holds "home".
        {"home", {"/home/u/homepage", "/srv/home-tools", home, "/opt/x"}},
        // Everything under home: recent ones first, then home (the shortest), then by length.
        {"~", {"/home/u/code/api", "/home/u/work/shop", home, "/home/u/b", "/home/u/aa", "/home/u/ab", "/home/u/homepage"}},
        // Equal matches keep list order.
        {"~/a", {"/home/u/aa", "/home/u/ab"}},
        // A short-path match beats a recent one that matches only through its keywords.
        {"rust", {"/data/rust", "/home/u/code/api"}},
        // Case and surrounding blanks do not count.
        {"\t SHOP ", {"/home/u/work/shop"}},
        {"nothing like it", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(dirs(PickerWindow::filtered(all, c.query)), c.expected) << '"' << c.query << '"';
}

TEST(PickerList, TabStepsThroughTheBrowsersAndWraps) {
    const std::vector<BrowserInfo> two = {{"d1", "One"}, {"d2", "Two"}};
    const std::optional<BrowserInfo> none;
    struct Case {
        std::vector<BrowserInfo> list;
        std::optional<BrowserInfo> picked;
        bool back;
        std::optional<std::string> expected;
    } cases[] = {
        {two, none, false, "d1"},
        {two, BrowserInfo{"d1", "One"}, false, "d2"},
        {two, BrowserInfo{"d2", "Two"}, false, std::nullopt},  // the last goes to none
        {two, none, true, "d2"},                               // none goes back to the last
        {{}, none, false, std::nullopt},                       // nothing connected: none stays
        {{}, none, true, std::nullopt},
        {two, BrowserInfo{"gone", "Gone"}, false, "d1"},       // a vanished pick counts from none
        {two, BrowserInfo{"gone", "Gone"}, true, "d2"},
    };
    for (const Case& c : cases) {
        const auto next = PickerWindow::nextBrowser(c.list, c.picked, c.back);
        EXPECT_EQ(next ? std::optional<std::string>(next->deviceId) : std::nullopt, c.expected);
    }
}

// A recent folder's row: its name, three spaces, its short path, " · " and the word for recent,
// the last in the smaller, dimmer font; the home row says what it opens.
TEST(PickerList, RowsReadNameThenDetail) {
    const platform::ui::RichText recent = PickerWindow::rowText(listed[0], home);
    EXPECT_EQ(recent.string(), "shop   ~/work/shop · " + t("recent"));
    ASSERT_EQ(recent.runs().size(), 2u);
    EXPECT_EQ(recent.runs()[0].attributes.font.size, 13);
    EXPECT_EQ(recent.runs()[1].attributes.font.size, 11);
    EXPECT_EQ(recent.runs()[1].attributes.color, testing::rgb(158, 163, 169));
    EXPECT_EQ(PickerWindow::rowText(Project{home, "~", false, "home"}, home).string(), "~   " + t("home_session"));
    EXPECT_EQ(PickerWindow::rowText(listed[4], home).string(), "home-tools   /srv/home-tools");
}

class PickerWindowTest : public testing::PanelTest {
protected:
    std::shared_ptr<PickerWindow> make(bool shell = false, std::vector<Project> projects = listed) {
        auto picker = std::make_shared<PickerWindow>(shell, *browsers_.browsers);
        picker->home = home;
        picker->listProjects = [projects] { return projects; };
        picker->onChoose = [this](const Project& p, bool shell, const std::optional<BrowserInfo>& browser) {
            chosen_.push_back({p.dir, shell, browser ? browser->deviceId : ""});
        };
        picker->onClose = [this] { ++closes_; };
        picker->reloadProjects();
        picker->build();
        return picker;
    }
    void key(PickerWindow& picker, Key which, platform::ui::ModifierFlags modifiers = 0) { picker.handleKey(press(which, modifiers)); }

    struct Choice {
        std::string dir;
        bool shell;
        std::string browser;
        friend bool operator==(const Choice&, const Choice&) = default;
    };
    testing::ScriptedBrowsers browsers_;
    std::vector<Choice> chosen_;
    int closes_ = 0;
};

TEST_F(PickerWindowTest, DownAndUpStopAtTheEnds) {
    auto picker = make();
    const int last = static_cast<int>(picker->shown().size()) - 1;
    struct Case {
        int start;
        Key key;
        int expected;
    } cases[] = {{0, Key::up, 0}, {last, Key::down, last}, {0, Key::down, 1}, {3, Key::up, 2}, {-1, Key::down, 0}, {-1, Key::up, 0}};
    for (const Case& c : cases) {
        picker->table().selectRow(c.start);
        key(*picker, c.key);
        EXPECT_EQ(picker->table().selectedRow(), c.expected) << c.start;
    }
}

// Return opens the kind shown, Shift+Return a shell; the Shell kind always opens a shell; a
// double click chooses the kind shown whatever is held. The choice carries the picked browser.
TEST_F(PickerWindowTest, ReturnShiftReturnAndDoubleClick) {
    browsers_.list({{"d1", "One"}});
    struct Case {
        bool shellKind;
        Key key;
        platform::ui::ModifierFlags modifiers;
        bool doubleClick;
        bool shell;
    } cases[] = {
        {false, Key::returnKey, 0, false, false},
        {false, Key::returnKey, Modifier::shift, false, true},
        {false, Key::keypadEnter, Modifier::shift, false, true},
        {true, Key::returnKey, 0, false, true},
        {false, Key::returnKey, Modifier::shift, true, false},
        {true, Key::returnKey, 0, true, true},
    };
    for (const Case& c : cases) {
        auto picker = make(c.shellKind);
        key(*picker, Key::tab);
        key(*picker, Key::down);
        chosen_.clear();
        closes_ = 0;
        if (c.doubleClick) picker->table().clickRow(1, 1), picker->table().clickRow(1, 2);
        else key(*picker, c.key, c.modifiers);
        EXPECT_EQ(chosen_, (std::vector<Choice>{{"/home/u/work/shop", c.shell, "d1"}}));
        EXPECT_EQ(closes_, 1);
        // The picker is done: later keys pass through.
        EXPECT_FALSE(picker->handleKey(press(Key::returnKey)));
    }
}

TEST_F(PickerWindowTest, ReturnWithNoRowsDoesNothingThenEscapeCloses) {
    auto picker = make();
    picker->search().typeText("nothing matches this");
    EXPECT_TRUE(picker->shown().empty());
    EXPECT_EQ(picker->table().selectedRow(), -1);
    key(*picker, Key::returnKey);
    EXPECT_TRUE(chosen_.empty());
    EXPECT_EQ(closes_, 0);
    key(*picker, Key::escape);
    EXPECT_EQ(closes_, 1);
    picker->dismiss();
    EXPECT_EQ(closes_, 1);
}

TEST_F(PickerWindowTest, TabCyclesTheChipsAndShiftTabGoesBack) {
    auto picker = make();
    EXPECT_EQ(picker->chips().size(), 1u);
    key(*picker, Key::tab);
    EXPECT_FALSE(picker->pickedBrowser());  // nothing connected
    browsers_.list({{"d1", "One"}, {"d2", "Two"}});
    picker->rebuildChips();
    ASSERT_EQ(picker->chips().size(), 3u);
    key(*picker, Key::tab, Modifier::shift);
    EXPECT_EQ(picker->pickedBrowser()->deviceId, "d2");
    EXPECT_EQ(picker->chips()[2]->attributedTitle()->runs()[0].attributes.font.weight, platform::gfx::FontWeight::semibold);
    EXPECT_EQ(picker->chips()[0]->attributedTitle()->runs()[0].attributes.font.weight, platform::gfx::FontWeight::regular);
    key(*picker, Key::tab);
    EXPECT_FALSE(picker->pickedBrowser());
    EXPECT_EQ(picker->chips()[0]->title(), t("no_browser"));
    picker->chips()[1]->performClick();
    EXPECT_EQ(picker->pickedBrowser()->deviceId, "d1");
    picker->chips()[0]->performClick();
    EXPECT_FALSE(picker->pickedBrowser());
}

// Switching the kind shows the whole list again; the typed text stays and the browser with it.
TEST_F(PickerWindowTest, AKindSwitchShowsTheFullList) {
    browsers_.list({{"d1", "One"}});
    auto picker = make();
    key(*picker, Key::tab);
    picker->search().typeText("shop");
    EXPECT_EQ(picker->shown().size(), 1u);
    picker->kind().choose(1);
    EXPECT_TRUE(picker->wantsShell());
    EXPECT_TRUE(picker->chipRow().isHidden());
    EXPECT_EQ(picker->shown().size(), picker->all().size());
    EXPECT_EQ(picker->table().numberOfRows(), static_cast<int>(picker->all().size()));
    EXPECT_EQ(picker->table().selectedRow(), 0);
    EXPECT_EQ(picker->search().stringValue(), "shop");
    EXPECT_EQ(picker->pickedBrowser()->deviceId, "d1");
    // Tab still steps while the chips are hidden, and a shell takes the browser along.
    key(*picker, Key::tab);
    key(*picker, Key::tab);
    key(*picker, Key::returnKey);
    EXPECT_EQ(chosen_, (std::vector<Choice>{{home, true, "d1"}}));
}

// A picked browser that leaves the list is still handed on; no chip shows it.
TEST_F(PickerWindowTest, AVanishedPickedBrowserIsStillHandedOn) {
    browsers_.list({{"d1", "One"}, {"d2", "Two"}});
    auto picker = make();
    key(*picker, Key::tab);
    key(*picker, Key::tab);
    browsers_.list({{"d1", "One"}});
    picker->rebuildChips();
    for (const auto& chip : picker->chips()) {
        EXPECT_EQ(chip->attributedTitle()->runs()[0].attributes.font.weight, platform::gfx::FontWeight::regular);
    }
    key(*picker, Key::returnKey);
    EXPECT_EQ(chosen_, (std::vector<Choice>{{home, false, "d2"}}));
}

TEST_F(PickerWindowTest, BuildsTheSheetAsLaidOut) {
    auto picker = make();
    EXPECT_EQ(picker->search().frame(), (platform::gfx::Rect{16, 14, 388, 26}));
    EXPECT_FALSE(picker->search().isBordered());
    EXPECT_EQ(picker->search().placeholder(), t("search_project"));
    EXPECT_EQ(picker->closeButton().symbolName(), "window-close-symbolic");
    EXPECT_EQ(picker->closeButton().toolTip(), t("close") + "  esc");
    EXPECT_EQ(picker->closeButton().look()->cornerRadius, 13);
    EXPECT_EQ(picker->kind().selectedSegment(), 0);
    EXPECT_EQ(picker->table().rowHeight(), 28);
    EXPECT_EQ(picker->table().selectedRow(), 0);
    EXPECT_EQ(picker->foot().text(), t("picker_hint"));
    EXPECT_EQ(picker->content().layerBackgroundColor(), testing::rgb(18, 19, 21));
    picker->closeButton().performClick();
    EXPECT_EQ(closes_, 1);
    setDark(false);
    auto light = make(true);
    EXPECT_EQ(light->content().layerBackgroundColor(), testing::rgb(244, 243, 241));
    EXPECT_EQ(light->kind().selectedSegment(), 1);
    EXPECT_TRUE(light->chipRow().isHidden());
}

// On the sheet: one key handler ahead of the search field takes the picker's keys and lets the
// others type; each end of the sheet, whoever ends it, cleans up once.
TEST_F(PickerWindowTest, TheSheetsKeysAndEveryEnd) {
    platform::ui::headless::HeadlessWindow main({1200, 800}, 1);
    auto picker = make();
    picker->present(main);
    platform::ui::Window* sheet = main.attachedSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet, picker->panel());
    EXPECT_EQ(sheet->identifier(), "bl.sheet");
    EXPECT_EQ(sheet->size(), PickerWindow::size);
    EXPECT_EQ(sheet->firstResponder(), &picker->search());
    EXPECT_TRUE(picker->isShowing());
    KeyEvent typed = press(Key::character);
    typed.characters = "~";
    sheet->sendKeyEvent(typed);
    EXPECT_EQ(picker->search().stringValue(), "~");
    sheet->sendKeyEvent(press(Key::down));
    EXPECT_EQ(picker->table().selectedRow(), 1);
    EXPECT_EQ(picker->search().stringValue(), "~");
    sheet->sendKeyEvent(press(Key::tab));
    EXPECT_EQ(sheet->firstResponder(), &picker->search());
    sheet->sendKeyEvent(press(Key::returnKey, Modifier::shift));
    EXPECT_EQ(chosen_, (std::vector<Choice>{{"/home/u/work/shop", true, ""}}));
    EXPECT_FALSE(main.attachedSheet());
    EXPECT_EQ(closes_, 1);

    // Ended by another sheet over the same window: onClose all the same, once.
    auto second = make();
    second->present(main);
    platform::ui::headless::HeadlessWindow other({300, 200}, 1);
    Sheets::present(other, main, nullptr);
    EXPECT_EQ(closes_, 2);
    EXPECT_FALSE(second->isShowing());
    second->dismiss();
    EXPECT_EQ(closes_, 2);
    main.endSheet(other);
    // Its list no longer follows the browsers.
    browsers_.list({{"d1", "One"}});
    loop_.runPending();
    EXPECT_EQ(second->chips().size(), 1u);
}

// Ctrl+Tab moves the keyboard from the field on to the switch, the close button, the list and the
// chips; there Tab goes on and Space or Return presses, and a picked chip keeps the keyboard.
TEST_F(PickerWindowTest, CtrlTabReachesTheSwitchTheCloseButtonAndTheChips) {
    browsers_.list({{"d1", "One"}});
    platform::ui::headless::HeadlessWindow main({1200, 800}, 1);
    auto picker = make();
    picker->present(main);
    platform::ui::Window& sheet = *picker->panel();
    // search > Claude > Shell > close > list > no browser > One, and back to Shell
    for (int i = 0; i < 6; ++i) sheet.sendKeyEvent(press(Key::tab, Modifier::control));
    sheet.sendKeyEvent(press(Key::space));
    EXPECT_EQ(picker->pickedBrowser()->deviceId, "d1");
    EXPECT_EQ(sheet.firstResponder(), picker->chips()[1].get());
    for (int i = 0; i < 4; ++i) sheet.sendKeyEvent(press(Key::tab, Modifier::control | Modifier::shift));
    sheet.sendKeyEvent(press(Key::space));
    EXPECT_TRUE(picker->wantsShell());
    sheet.sendKeyEvent(press(Key::tab));
    EXPECT_EQ(sheet.firstResponder(), &picker->closeButton());
    EXPECT_EQ(picker->pickedBrowser()->deviceId, "d1");
    sheet.sendKeyEvent(press(Key::returnKey));
    EXPECT_TRUE(chosen_.empty());
    EXPECT_EQ(closes_, 1);
}

}  // namespace
}  // namespace quiltdeck
