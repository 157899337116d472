// The tile card as the user meets it: veils, chrome, labels, metrics and headlines, the
// mouse, the title editor, drops and the two menus, on a headless window and the virtual clock.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Modals.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/panels/ReaderWindow.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileLayout.h"
#include "quiltdeck/wall/TileView.h"
#include "quiltdeck/wall/WallGeometry.h"
#include "quiltdeck/app/AppDelegate.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::ui::MouseEvent;
using Strings = std::vector<std::string>;

// A fake tile that shows what a session shows on its card.
class CardTile : public testing::FakeTile {
public:
    using FakeTile::FakeTile;
    const std::vector<Store::Metric>& metrics() const override { return metricList; }
    const std::optional<Store::Feed>& feed() const override { return feedData; }
    std::optional<BrowserInfo> browser() const override { return boundBrowser; }
    std::string lastPrompt() const override { return prompt; }
    std::optional<std::string> claudeSessionId() const override { return conversation; }
    bool continueLatest() const override { return latest; }
    bool canResume() const override { return saved.value_or(conversation || latest); }
    bool pinnedTitle() const override { return pinned; }
    void unpinTitle() override { pinned = false; }
    bool booted() const override { return isBooted; }
    bool pasteDrop(const platform::ui::Pasteboard& pasteboard) override {
        const auto text = pasteboard.string();
        if (!text) return false;
        dropped += std::string(Drop::pasteStart) + *text + std::string(Drop::pasteEnd);
        return true;
    }
    void applyMetrics(const nlohmann::json& body) override {
        if (body.value("clear", false)) metricList.clear();
    }
    void applyFeed(const nlohmann::json& body) override {
        if (body.value("clear", false)) feedData.reset();
    }
    std::string tool() const override { return toolName; }
    std::string name() const override { return request.name; }
    std::string lastWords() override { return words; }

    std::vector<Store::Metric> metricList;
    std::optional<Store::Feed> feedData;
    std::optional<BrowserInfo> boundBrowser;
    std::string prompt;
    std::string words;
    std::optional<std::string> conversation;
    bool latest = false;
    // Whether the assistant kept the conversation; by default, whenever there is one.
    std::optional<bool> saved;
    bool pinned = false;
    bool isBooted = true;
    std::string toolName;
    std::string dropped;
};

void setTheme(bool dark) {
    Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
    Theme::resolve();
}

Store::Feed feedOf(size_t items, std::string url = {}) {
    Store::Feed feed;
    feed.label = "News";
    for (size_t i = 0; i < items; ++i) feed.items.push_back({"Headline " + std::to_string(i), url});
    return feed;
}

class TileCardTest : public ::testing::Test {
protected:
    TileCardTest() {
        setTheme(true);
        platform::ui::SystemSettings::setDoubleClickInterval(0.4);
        platform::ui::PopUpMenu::setPresenter(nullptr);
        platform::ui::Modals::reset();
        window.setContentView(&root);
    }
    ~TileCardTest() override {
        card.reset();
        window.setContentView(nullptr);
        platform::ui::Modals::reset();
        loop.runPending();
        setTheme(true);
    }
    static TileRequest project(const std::string& cwd = "/tmp/project", bool shell = false) {
        TileRequest request;
        request.cwd = cwd;
        request.name = "project";
        request.isShell = shell;
        return request;
    }
    TileView& make(bool booted = true, bool shell = false) {
        session.isBooted = booted;
        session.request.isShell = shell;
        card = std::make_unique<TileView>(session);
        card->setFrame(Rect{0, 0, 600, 400});
        root.addSubview(card.get());
        return *card;
    }
    void mouse(MouseEvent::Type type, Point inTile, int clicks = 1, uint8_t button = MouseEvent::left) {
        MouseEvent e;
        e.type = type;
        e.button = button;
        e.clickCount = clicks;
        e.locationInWindow = card->convertToWindow(inTile);
        // Close enough in time for the window to count a second press as a double click.
        e.timestamp = timestamp += 0.05;
        window.sendMouseEvent(e);
    }
    void click(Point p, int clicks = 1) {
        mouse(MouseEvent::Type::down, p, clicks);
        mouse(MouseEvent::Type::up, p, clicks);
    }
    platform::ui::headless::HeadlessMenus& menus() { return *platform::ui::headless::HeadlessMenus::current(); }
    Strings titles(const platform::ui::Menu& menu) {
        Strings out;
        for (const auto& item : menu.items) out.push_back(item.separator ? "-" : item.title);
        return out;
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{800, 600}, 1};
    platform::ui::FlippedView root;
    CardTile session{project()};
    std::unique_ptr<TileView> card;
    double timestamp = 100;
};

// --- Veils -----------------------------------------------------------------------------------------

TEST_F(TileCardTest, TheLaunchVeilShowsOnlyWhileTheAssistantStarts) {
    struct Case {
        const char* name;
        bool shell, booted, veil;
    } const cases[] = {
        {"Starting assistant", false, false, true},
        {"Booted assistant", false, true, false},
        {"Shell", true, false, false},
    };
    for (const Case& c : cases) {
        TileView& tile = make(c.booted, c.shell);
        EXPECT_EQ(!tile.launchVeil().isHidden(), c.veil) << c.name;
        EXPECT_EQ(tile.launchVeil().isRunning(), c.veil) << c.name;
        EXPECT_EQ(tile.launchVeil().frame(), tile.scaler().frame()) << c.name;
        EXPECT_EQ(tile.launchVeil().caption(), t("launching")) << c.name;
    }
}

TEST_F(TileCardTest, BootFadesTheVeilEaseInThenHidesAndStopsIt) {
    TileView& tile = make(false);
    session.onBoot();
    const auto* fade = tile.launchVeil().animation("leave");
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->duration, 0.18);
    EXPECT_EQ(fade->timing, platform::ui::TimingFunction::easeIn());
    loop.advance(100ms);
    window.displayIfNeeded();
    EXPECT_FALSE(tile.launchVeil().isHidden());
    loop.advance(200ms);
    window.displayIfNeeded();
    EXPECT_TRUE(tile.launchVeil().isHidden());
    EXPECT_FALSE(tile.launchVeil().isRunning());
    EXPECT_FALSE(tile.launchVeil().hasAnimations());
    // A second boot leaves a hidden veil alone.
    session.onBoot();
    EXPECT_EQ(tile.launchVeil().animation("leave"), nullptr);
}

TEST_F(TileCardTest, TheDeadVeilIsFilledOnceAndOffersResumeWhenThereIsAConversation) {
    struct Case {
        const char* name;
        std::optional<std::string> conversation;
        bool latest;
        std::string prompt;
        bool resume;
        std::string detail;
        std::optional<bool> saved = std::nullopt;
        std::string words = {};
    } const cases[] = {
        {"Conversation", "abc", false, "fix the tests", true, t("last_prompt") + "fix the tests"},
        {"Latest only", std::nullopt, true, "", true, t("no_conversation")},
        {"Neither", std::nullopt, false, "", false, t("no_conversation")},
        // Ended before its first prompt: the start hook gave it an id, the assistant kept nothing.
        {"An id with nothing saved", "abc", false, "", false, t("no_conversation"), false},
        // Ended at once with an error: what it said, which the veil would hide, stands there.
        {"An error before any prompt", std::nullopt, false, "", false, "error: unknown option '--bogus'\n(see --help)",
         std::nullopt, "error: unknown option '--bogus'\n(see --help)"},
        {"An error after a prompt", "abc", false, "fix it", true, t("last_prompt") + "fix it", std::nullopt, "error: crashed"},
        {"A long error line", std::nullopt, false, "", false, "starting\nerror: " + std::string(400, 'x'), std::nullopt,
         "starting\nerror: " + std::string(400, 'x')},
    };
    for (const Case& c : cases) {
        session.words = c.words;
        session.conversation = c.conversation;
        session.latest = c.latest;
        session.saved = c.saved;
        session.prompt = c.prompt;
        TileView& tile = make();
        EXPECT_TRUE(tile.deadVeil().isHidden()) << c.name;
        session.setStatus(SessionStatus::exited);
        tile.refresh();
        tile.refresh();
        EXPECT_FALSE(tile.deadVeil().isHidden()) << c.name;
        EXPECT_EQ(tile.deadVeilFills(), 1) << c.name;
        EXPECT_EQ(tile.deadDetail().string(), c.detail) << c.name;
        // The program's lines each on a line of their own, cut where they do not fit at the
        // card's size of the moment; a prompt wraps.
        EXPECT_EQ(tile.deadDetail().linesPerParagraph(), c.words.empty() || !c.prompt.empty() ? 0 : 1) << c.name;
        EXPECT_EQ(!tile.resumeButton().isHidden(), c.resume) << c.name;
        EXPECT_EQ(&tile.keyboardTarget(), c.resume ? &tile.resumeButton() : &tile.restartButton()) << c.name;
        EXPECT_EQ(tile.deadVeil().frame(), tile.scaler().frame()) << c.name;
        // The buttons stand centred.
        const Rect r = tile.restartButton().frame();
        const double left = c.resume ? tile.resumeButton().frame().x : r.x;
        EXPECT_NEAR(left, tile.deadVeil().bounds().width - r.maxX(), 1e-9) << c.name;
        int resumes = 0, fresh = 0;
        tile.onRestart = [&](bool resume) { ++(resume ? resumes : fresh); };
        tile.restartButton().performClick();
        tile.resumeButton().performClick();
        EXPECT_EQ(fresh, 1) << c.name;
        EXPECT_EQ(resumes, c.resume ? 1 : 0) << c.name;
        session.setStatus(SessionStatus::idle);
        tile.refresh();
        EXPECT_TRUE(tile.deadVeil().isHidden()) << c.name;
    }
}

// --- Chrome and theme ------------------------------------------------------------------------------

TEST_F(TileCardTest, DropHoverBorderWhateverTheStatus) {
    TileView& tile = make();
    platform::ui::View::DraggingInfo text;
    text.types = {"text/plain;charset=utf-8"};
    for (SessionStatus status : {SessionStatus::busy, SessionStatus::waiting, SessionStatus::idle}) {
        session.setStatus(status);
        tile.refresh();
        ASSERT_EQ(tile.draggingEntered(text), platform::ui::DragOperation::copy);
        EXPECT_EQ(tile.card().borderWidth(), 2);
        EXPECT_EQ(tile.card().borderColor(), Rgba::fromBytes(142, 155, 174));
        tile.draggingExited(text);
        EXPECT_EQ(tile.card().borderWidth(), 1);
    }
    Rgba waiting = Rgba::fromBytes(224, 162, 71);
    waiting.alpha = 0.8;
    session.setStatus(SessionStatus::waiting);
    tile.refresh();
    EXPECT_EQ(tile.card().borderColor(), waiting);
}

TEST_F(TileCardTest, GoingLightTurnsTheCardButNotTheTerminal) {
    TileView& tile = make();
    EXPECT_EQ(tile.card().layerBackgroundColor(), Rgba::fromBytes(18, 19, 21));
    setTheme(false);
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(Theme::didChange));
    loop.runPending();
    EXPECT_EQ(tile.card().layerBackgroundColor(), Rgba::fromBytes(244, 243, 241));
    EXPECT_EQ(tile.scaler().layerBackgroundColor(), Rgba::fromBytes(24, 24, 28));
    EXPECT_EQ(tile.launchVeil().ground(), Rgba::fromBytes(24, 24, 28));
    EXPECT_EQ(tile.badgePill().layerBackgroundColor(), Rgba::fromBytes(255, 255, 255));
    Rgba veil = Rgba::fromBytes(244, 243, 241);
    veil.alpha = 0.9;
    EXPECT_EQ(tile.deadVeil().layerBackgroundColor(), veil);
}

// The title editor open while the theme changes takes the new one, both ways.
TEST_F(TileCardTest, AnOpenEditorTakesANewTheme) {
    TileView& tile = make();
    tile.beginRename();
    for (bool dark : {false, true}) {
        setTheme(dark);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Theme::didChange));
        loop.runPending();
        EXPECT_EQ(tile.editorBack().layerBackgroundColor(), dark ? Rgba::fromBytes(25, 27, 29) : Rgba(1, 1, 1, 1)) << dark;
        EXPECT_EQ(tile.editor().textColor(), TileLayout::primaryText(dark)) << dark;
    }
}

TEST_F(TileCardTest, TheDotByStatus) {
    struct Case {
        const char* name;
        SessionStatus status;
        bool finished;
        bool tint;
        Rgba dot;
    } const cases[] = {
        {"Idle and finished", SessionStatus::idle, true, false, Rgba::fromBytes(95, 176, 122)},
        {"Idle", SessionStatus::idle, false, true, {}},
        {"Busy", SessionStatus::busy, false, false, Rgba::fromBytes(106, 155, 234)},
        {"Exited", SessionStatus::exited, false, false, Rgba::fromBytes(92, 92, 100)},
    };
    TileView& tile = make();
    for (const Case& c : cases) {
        if (c.finished) session.finishTurn();
        else session.setStatus(c.status);
        if (!c.finished) session.clearFinished();
        tile.refresh();
        // Idle is a ring in the tint; every other state a filled dot.
        if (c.tint) {
            EXPECT_EQ(tile.dot().layerBackgroundColor(), std::nullopt) << c.name;
            EXPECT_EQ(tile.dot().borderColor(), Tints::tint(session.cwd())) << c.name;
            EXPECT_EQ(tile.dot().borderWidth(), 1.5) << c.name;
        } else {
            EXPECT_EQ(tile.dot().layerBackgroundColor(), c.dot) << c.name;
            EXPECT_EQ(tile.dot().borderWidth(), 0) << c.name;
        }
    }
}

// --- Labels and layout -----------------------------------------------------------------------------

TEST_F(TileCardTest, SubLineTitleAndBadge) {
    session.toolName = "Bash";
    TileView& tile = make();
    EXPECT_EQ(tile.subLabel().string(), "project   " + t("st_busy") + "   Bash   /tmp/project");
    session.rename("<b>&amp;");
    tile.refresh();
    EXPECT_EQ(tile.titleLabel().string(), "<b>&amp;");
    // Characters that would reorder or hide what the card shows are spelt out, as the link
    // dialog spells them: in the title, the name, the tool, the folder and on the ended veil.
    session.rename("invoice_\u202Egpj.exe");
    session.request.name = std::string("pro\0ject", 8);
    session.toolName = "Bash: echo \x1b[2J";
    session.request.cwd = "/tmp/\u2067x";
    tile.refresh();
    EXPECT_EQ(tile.titleLabel().string(), "invoice_<U+202E>gpj.exe");
    EXPECT_EQ(tile.subLabel().string(), "pro\u2400ject   " + t("st_busy") + "   Bash: echo \u241B[2J   /tmp/<U+2067>x");
    session.setStatus(SessionStatus::exited);
    tile.refresh();
    EXPECT_EQ(tile.deadLabel().string(), "invoice_<U+202E>gpj.exe");
    EXPECT_EQ(tile.deadLabel().richText()->runs().front().attributes.paragraph.alignment, platform::ui::TextAlignment::center);
    session.setStatus(SessionStatus::busy);
    session.request.name = "project";
    session.request.cwd = "/tmp/project";
    session.toolName = "Bash";
    // A title or a tool of megabytes is laid out only as far as a card could show it, and never
    // cut inside a character.
    session.rename(std::string(1023, 't') + "\u00E9" + std::string(1 << 20, 't'));
    session.toolName = std::string(1 << 20, 'x');
    tile.refresh();
    EXPECT_EQ(tile.titleLabel().string(), std::string(1023, 't') + "\u2026");
    EXPECT_LT(tile.subLabel().string().size(), 2048u);
    session.toolName = "Bash";
    // "done" is green only while a finished session is idle.
    session.finishTurn();
    tile.refresh();
    const auto& runs = tile.subLabel().richText()->runs();
    const auto done = std::find_if(runs.begin(), runs.end(), [](const auto& r) { return r.text == t("st_done"); });
    ASSERT_NE(done, runs.end());
    EXPECT_EQ(done->attributes.color, TileLayout::doneText(Theme::isDark()));
    session.setStatus(SessionStatus::busy);
    tile.refresh();
    EXPECT_EQ(tile.subLabel().richText()->runs().size(), 1u);
    // No browser: the badge is set back (by its colour, which still reads); a shell has none.
    EXPECT_EQ(tile.badge().string(), t("no_browser"));
    EXPECT_EQ(tile.badge().foregroundColor(), TileLayout::faintText(Theme::isDark()));
    EXPECT_EQ(tile.badge().opacity(), 1.0);
    session.boundBrowser = BrowserInfo{"dev1", "Chrome"};
    tile.refresh();
    EXPECT_EQ(tile.badge().foregroundColor(), TileLayout::secondaryText(Theme::isDark()));
    EXPECT_FALSE(tile.badgePill().isHidden());
}

// Seventeen tiles and more stand in five columns: in the smallest window that is the narrowest tile.
// There the sub line gives up the folder and the name, never the status word or the tool's name.
TEST_F(TileCardTest, TheStatusWordStaysWholeOnTheNarrowestTile) {
    WallGeometry narrowest;
    narrowest.width = AppDelegate::minimumWindowSize.width;
    narrowest.height = AppDelegate::minimumWindowSize.height;
    narrowest.count = 17;
    const double width = narrowest.cell().width;
    const std::string folder = "/srv/" + std::string(35, 'f');
    ASSERT_EQ(folder.size(), 40u);
    session.request.cwd = folder;
    session.request.name = "proj-slow";
    TileView& tile = make();
    tile.setIndexText("17");
    tile.setFrame(Rect{0, 0, width, 200});
    struct Case {
        const char* name;
        SessionStatus status;
        bool finished;
        std::string tool;
    } const cases[] = {
        {"idle", SessionStatus::idle, false, ""},
        {"done", SessionStatus::idle, true, ""},
        {"working", SessionStatus::busy, false, "Bash: make test-all --jobs 8"},
        {"working, a long tool name", SessionStatus::busy, false, "mcp__claude-in-chrome__navigate"},
        {"waiting", SessionStatus::waiting, false, ""},
        {"ended", SessionStatus::exited, false, ""},
    };
    for (const Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(lang.rawValue()) + ", " + c.name);
            session.toolName = c.tool;
            if (c.finished) session.finishTurn();
            else session.setStatus(c.status);
            if (!c.finished) session.clearFinished();
            tile.applyTheme();
            const std::string word = TileLayout::statusWord(c.status, c.finished);
            const platform::ui::TextLayer& sub = tile.subLabel();
            EXPECT_NE(sub.string().find(word), std::string::npos) << sub.string();
            if (!c.tool.empty()) {
                EXPECT_NE(sub.string().find(TileLayout::toolName(c.tool)), std::string::npos) << sub.string();
            }
            // Drawn uncut, inside the card.
            EXPECT_LE(sub.fittingSize().width, sub.frame().width) << sub.string();
            EXPECT_GE(sub.frame().x, 0);
            EXPECT_LE(sub.frame().maxX(), width);
            EXPECT_FALSE(tile.titleLabel().isHidden());
        }
    }
    Lang::setCurrent(Lang::en);
    // With room, the line is whole: name, word and folder.
    tile.setFrame(Rect{0, 0, 700, 200});
    session.toolName.clear();
    session.setStatus(SessionStatus::busy);
    tile.refresh();
    EXPECT_EQ(tile.subLabel().string(), "proj-slow   " + t("st_busy") + "   " + folder);
    EXPECT_FALSE(tile.badgePill().isHidden());
}

// Sixteen tiles on a work area of 960 by 600: an ended card's buttons show whole words in every
// language and theme, short ones where the whole ones would be cut (their tool tips say those),
// side by side, inside the veil.
TEST_F(TileCardTest, TheEndedCardsButtonsAreWholeOnASmallScreensFullWall) {
    WallGeometry wall;
    const platform::gfx::Size window = AppDelegate::windowSizeFor(Rect{0, 0, 960, 600});
    wall.width = window.width;
    wall.height = window.height;
    wall.count = 16;
    session.conversation = "conv";
    TileView& tile = make();
    tile.setFrame(Rect{0, 0, wall.cell().width, wall.cell().height});
    session.setStatus(SessionStatus::exited);
    tile.refresh();
    for (const bool dark : {true, false}) {
        setTheme(dark);
        for (const Lang lang : Lang::allCases()) {
            Lang::setCurrent(lang);
            platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
            loop.runPending();
            SCOPED_TRACE(std::string(lang.rawValue()) + (dark ? ", dark" : ", light"));
            const Rect veil = tile.deadVeil().bounds();
            for (const auto& [button, whole, shortWord] :
                 {std::tuple{&tile.resumeButton(), "resume", "resume_short"}, std::tuple{&tile.restartButton(), "restart", "restart_short"}}) {
                const std::string title = button->attributedTitle().string();
                ASSERT_FALSE(button->isHidden()) << whole;
                EXPECT_TRUE(title == t(whole) || title == t(shortWord)) << title;
                EXPECT_EQ(button->toolTip(), title == t(whole) ? "" : t(whole));
                EXPECT_LE(button->attributedTitle().measure().width, button->frame().width - 8) << title;
                EXPECT_GE(button->frame().x, 0) << title;
                EXPECT_LE(button->frame().maxX(), veil.width) << title;
                EXPECT_GT(button->frame().height, 0) << title;
                EXPECT_LE(button->frame().maxY(), veil.height) << title;
            }
        }
    }
    Lang::setCurrent(Lang::en);
}

// A language switch says every word of a card again in the new language, whatever it shows.
TEST_F(TileCardTest, ALanguageSwitchRedrawsTheCardsWords) {
    session.toolName = "Bash";
    session.prompt = "fix the tests";
    TileView& tile = make();
    for (const SessionStatus status : {SessionStatus::busy, SessionStatus::waiting, SessionStatus::exited}) {
        SCOPED_TRACE(static_cast<int>(status));
        Lang::setCurrent(Lang::en);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
        session.setStatus(status);
        tile.refresh();
        Lang::setCurrent(Lang::de);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
        loop.runPending();
        const std::string word = TileLayout::statusWord(status, false);
        EXPECT_NE(tile.subLabel().string().find(word), std::string::npos) << word << ": " << tile.subLabel().string();
        EXPECT_EQ(tile.closeButton().toolTip(), t("menu_close") + "  Ctrl+Shift+W");
        if (status != SessionStatus::exited) continue;
        EXPECT_EQ(tile.deadDetail().string(), t("last_prompt") + "fix the tests");
        EXPECT_EQ(tile.restartButton().attributedTitle().string(), t("restart"));
    }
    // A shell in the home folder is called "shell" in the current language, as New Shell names it
    // and as it comes back after a relaunch (named after the folder); another keeps its name,
    // marked as a shell in the current language.
    const std::string home = homeFolder().string();
    for (const auto& [name, cwd, shown] : {std::tuple<std::string, std::string, std::string>{"shell", home, "Shell"},
                                           {"web", "/tmp/web", "web (Shell)"},
                                           {lastPathComponent(home), home, "Shell"}}) {
        session.request.name = name;
        session.request.cwd = cwd;
        session.request.isShell = true;
        session.setStatus(SessionStatus::idle);
        Lang::setCurrent(Lang::ru);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
        Lang::setCurrent(Lang::de);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
        loop.runPending();
        EXPECT_EQ(tile.subLabel().string().rfind(std::string(shown) + "   " + t("st_idle"), 0), 0u) << tile.subLabel().string();
    }
    Lang::setCurrent(Lang::en);
}

TEST_F(TileCardTest, HeaderGeometry) {
    struct Case {
        const char* name;
        size_t metrics;
        std::optional<size_t> feedItems;
        bool zoomed;
        double bodyTop;
    } const cases[] = {
        {"Plain", 0, std::nullopt, false, 52},
        {"Metrics", 1, std::nullopt, false, 86},
        {"Empty feed", 0, 0, false, 52 + 39},
        {"Six headlines", 0, 6, false, 52 + 96},
        {"Six headlines zoomed", 1, 6, true, 86 + 77},
    };
    for (const Case& c : cases) {
        session.metricList.assign(c.metrics, Store::Metric{"cost", "$1", {}, {}, {}});
        session.feedData = c.feedItems ? std::optional(feedOf(*c.feedItems)) : std::nullopt;
        TileView& tile = make();
        tile.setZoomed(c.zoomed);
        tile.refresh();
        EXPECT_EQ(tile.scaler().frame().y, c.bodyTop) << c.name;
        EXPECT_EQ(tile.wash().frame().height, c.bodyTop + 40) << c.name;
        EXPECT_EQ(tile.feedRect().height, c.bodyTop - (c.metrics ? 86 : 52)) << c.name;
        EXPECT_EQ(tile.feedTracking().has_value(), c.feedItems.has_value()) << c.name;
    }
    // The badge costs its fitted width and 30; without it the title ends 80 short of the edge.
    session.metricList.clear();
    session.feedData.reset();
    TileView& shell = make(true, true);
    EXPECT_TRUE(shell.badgePill().isHidden());
    EXPECT_EQ(shell.titleLabel().frame().maxX(), 600 - 80);
    TileView& tile = make();
    EXPECT_EQ(tile.titleLabel().frame().maxX(), 600 - 80 - tile.badge().fittingSize().width - 30);
}

TEST_F(TileCardTest, ChipsAndRowsAreHiddenNeverRemoved) {
    session.metricList.assign(3, Store::Metric{"cost", "", {}, {}, {}});
    session.feedData = feedOf(6);
    TileView& tile = make();
    tile.refresh();
    ASSERT_EQ(tile.metricViews().size(), 3u);
    EXPECT_EQ(tile.metricViews()[0]->value.string(), "\u2026");
    EXPECT_EQ(tile.metricViews()[0]->label.string(), "COST");
    EXPECT_EQ(tile.feedRows().size(), 4u);
    tile.setZoomed(true);
    EXPECT_EQ(std::count_if(tile.feedRows().begin(), tile.feedRows().end(), [](const auto& r) { return !r->isHidden(); }), 3);
    session.metricList.resize(1);
    session.feedData = feedOf(0);
    tile.refresh();
    EXPECT_EQ(tile.metricViews().size(), 3u);
    EXPECT_TRUE(tile.metricViews()[2]->label.isHidden());
    EXPECT_FALSE(tile.metricViews()[0]->label.isHidden());
    EXPECT_EQ(tile.feedRows().size(), 4u);
    EXPECT_TRUE(tile.feedRows()[0]->isHidden());
    EXPECT_EQ(tile.feedSource().string(), "NEWS   " + t("feed_loading"));
    session.feedData.reset();
    tile.refresh();
    EXPECT_TRUE(tile.feedSource().isHidden());
    EXPECT_FALSE(tile.feedTracking().has_value());
}

// --- Mouse -----------------------------------------------------------------------------------------

TEST_F(TileCardTest, HeaderPressesByZone) {
    session.feedData = feedOf(2);
    session.feedData->items[0].url = "https://example.com/a";
    TileView& tile = make();
    tile.refresh();
    int clicks = 0, drags = 0;
    platform::ui::View* look = nullptr;
    tile.onClick = [&] { ++clicks; };
    tile.onDragBegan = [&] { ++drags; };
    tile.onLook = [&](platform::ui::View& v) { look = &v; };
    // A header click fires once, after the double-click time.
    click({300, 20});
    EXPECT_EQ(clicks, 0);
    loop.advance(399ms);
    EXPECT_EQ(clicks, 0);
    loop.advance(2ms);
    EXPECT_EQ(clicks, 1);
    // The dot asks for the look popover.
    click({23, 26});
    EXPECT_EQ(look, &tile.dot());
    // A linked headline opens the reader and nothing else; one without a link is the header's.
    const Rect linked = tile.feedRows()[0]->frame();
    click({linked.x + 30, linked.y + 5});
    loop.advance(1s);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(drags, 0);
    EXPECT_EQ(ReaderWindow::shared().current(), "https://example.com/a");
    const Rect plain = tile.feedRows()[1]->frame();
    click({plain.x + 30, plain.y + 5});
    loop.advance(1s);
    EXPECT_EQ(clicks, 2);
    // A double click renames, and clicks nothing.
    click({300, 20}, 1);
    click({300, 20}, 2);
    loop.advance(1s);
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(tile.isRenaming());
    tile.endRename(false);
}

TEST_F(TileCardTest, PressesByZoomAndZone) {
    struct Case {
        const char* name;
        bool zoomed, editing;
        Point at;
        int clicksAtOnce;
        bool renaming;
    } const cases[] = {
        {"Terminal of an ordinary tile", false, false, {300, 300}, 1, false},
        {"Title of the zoomed tile", true, false, {90, 20}, 0, true},
        {"Header of the zoomed tile", true, false, {300, 44}, 1, false},
        {"Terminal of the zoomed tile", true, false, {300, 300}, 0, false},
        {"Header while editing", false, true, {300, 44}, 0, true},
    };
    for (const Case& c : cases) {
        TileView& tile = make();
        int clicks = 0, drags = 0;
        tile.onClick = [&] { ++clicks; };
        window.setKeyWindow(true);
        const int presented = window.presentCount();
        tile.onDragBegan = [&] { ++drags; };
        tile.setZoomed(c.zoomed);
        if (c.editing) tile.beginRename();
        click(c.at);
        EXPECT_EQ(clicks, c.clicksAtOnce) << c.name;
        EXPECT_EQ(tile.isRenaming(), c.renaming) << c.name;
        EXPECT_FALSE(tile.clickPending()) << c.name;
        // A press moved 20 points on the zoomed tile's header drags nothing.
        mouse(MouseEvent::Type::down, {300, 30});
        mouse(MouseEvent::Type::dragged, {320, 30});
        mouse(MouseEvent::Type::up, {320, 30});
        EXPECT_EQ(drags, c.zoomed || c.editing ? 0 : 1) << c.name;
        EXPECT_EQ(window.presentCount(), presented) << c.name;
        // In a window in the background, a press brings it forward.
        window.setKeyWindow(false);
        mouse(MouseEvent::Type::down, {300, 300});
        mouse(MouseEvent::Type::up, {300, 300});
        EXPECT_EQ(window.presentCount(), presented + 1) << c.name;
        tile.endRename(false);
        loop.advance(1s);
    }
}

TEST_F(TileCardTest, HoveringALinkedHeadline) {
    session.feedData = feedOf(2);
    session.feedData->items[1].url = "https://example.com/b";
    TileView& tile = make();
    tile.refresh();
    const Rect plain = tile.feedRows()[0]->frame(), linked = tile.feedRows()[1]->frame();
    mouse(MouseEvent::Type::moved, {plain.x + 30, plain.y + 5});
    EXPECT_EQ(tile.hoveredFeedRow(), 0u);
    EXPECT_EQ(window.cursorName(), "default");
    EXPECT_FALSE(tile.feedRows()[0]->richText()->runs().back().attributes.underline);
    mouse(MouseEvent::Type::moved, {linked.x + 30, linked.y + 5});
    EXPECT_EQ(window.cursorName(), "pointer");
    EXPECT_TRUE(tile.feedRows()[1]->richText()->runs().back().attributes.underline);
    // Between the source line and the rows: no row.
    EXPECT_EQ(tile.feedRow({30, tile.feedSource().frame().y + 2}), std::nullopt);
    mouse(MouseEvent::Type::moved, {300, 380});
    EXPECT_EQ(tile.hoveredFeedRow(), std::nullopt);
    EXPECT_FALSE(tile.feedRows()[1]->richText()->runs().back().attributes.underline);
    EXPECT_EQ(window.cursorName(), "default");
}

// --- The title editor ------------------------------------------------------------------------------

TEST_F(TileCardTest, EditorEnds) {
    struct Case {
        const char* name;
        std::function<void(TileView&)> end;
        bool renamed;
    } const cases[] = {
        {"Return", [](TileView& t) { t.editor().onCommand(t.editor(), platform::ui::TextField::Command::insertNewline); }, true},
        {"Save", [](TileView& t) { t.saveButton().performClick(); }, true},
        {"Escape", [](TileView& t) { t.editor().onCommand(t.editor(), platform::ui::TextField::Command::cancelOperation); }, false},
        {"Focus lost", [](TileView& t) { t.editor().onEndEditing(t.editor()); }, false},
    };
    for (const Case& c : cases) {
        TileView& tile = make();
        session.rename("before");
        int activated = 0;
        tile.onActivated = [&] { ++activated; };
        tile.beginRename();
        EXPECT_TRUE(tile.titleLabel().isHidden()) << c.name;
        EXPECT_EQ(tile.editor().stringValue(), "before") << c.name;
        EXPECT_GE(tile.editor().frame().width, 70) << c.name;
        EXPECT_EQ(window.firstResponder(), &tile.editor()) << c.name;
        tile.editor().setStringValue("Shop");
        c.end(tile);
        EXPECT_EQ(session.title(), c.renamed ? "Shop" : "before") << c.name;
        EXPECT_FALSE(tile.isRenaming()) << c.name;
        EXPECT_FALSE(tile.titleLabel().isHidden()) << c.name;
        EXPECT_EQ(activated, 1) << c.name;
        // A closed editor ignores a second end.
        tile.endRename(true);
        EXPECT_EQ(activated, 1) << c.name;
    }
}

// A card too narrow for the editor beside its buttons stacks them: the editor takes the line (move
// and close give way until it ends), the buttons stand under it, as symbols with their words as
// tool tips where the words do not fit, and do what they did.
TEST_F(TileCardTest, ANarrowCardStacksTheEditor) {
    struct Case {
        const char* name;
        double width;
        bool stacked, symbols;
    } const cases[] = {
        {"Roomy", 600, false, false},
        {"Stacked", 260, true, false},
        {"Symbols", 170, true, true},
    };
    for (const Case& c : cases) {
        TileView& tile = make();
        session.rename("before");
        tile.setFrame(Rect{0, 0, c.width, 120});
        tile.beginRename();
        EXPECT_EQ(tile.closeButton().isHidden(), c.stacked) << c.name;
        EXPECT_EQ(tile.moveButton().isHidden(), c.stacked) << c.name;
        const Rect editor = tile.editor().frame();
        EXPECT_GE(editor.width, TileLayout::minimumEditorWidth - 10) << c.name;
        EXPECT_LE(editor.maxX(), c.width - 20) << c.name;
        for (platform::ui::Button* button : {&tile.saveButton(), &tile.cancelButton(), &tile.suggestButton()}) {
            const Rect frame = button->frame();
            EXPECT_EQ(frame.y >= editor.maxY(), c.stacked) << c.name;
            EXPECT_GE(frame.x, 0) << c.name;
            EXPECT_LE(frame.maxX(), c.width) << c.name;
            EXPECT_EQ(button->title().empty(), c.symbols) << c.name;
            EXPECT_EQ(button->toolTip().empty(), !c.symbols) << c.name;
        }
        if (c.symbols) {
            EXPECT_EQ(tile.suggestButton().toolTip(), t("suggest_name"));
        }
        // A suggestion without a name gives back what was typed and says why, under the editor
        // and its buttons, over the terminal, inside the card; until Suggest is pressed again.
        TileView::SuggestDone answer;
        tile.onSuggestName = [&](TileView::SuggestDone done) { answer = std::move(done); };
        TileView::Suggestion none;
        none.why = t("suggest_missing");
        for (int round = 0; round < 2; ++round) {
            tile.editor().setStringValue("Shop");
            tile.suggestButton().performClick();
            EXPECT_TRUE(tile.suggestNote().isHidden()) << c.name;
            answer(none);
        }
        EXPECT_EQ(tile.editor().stringValue(), "Shop") << c.name;
        ASSERT_FALSE(tile.suggestNote().isHidden()) << c.name;
        EXPECT_EQ(tile.suggestNoteText().string(), t("suggest_missing")) << c.name;
        // In the card's points, wherever the note stands in the window.
        const Rect note = tile.convertFromWindow(tile.suggestNote().superview()->convertToWindow(tile.suggestNote().frame()));
        EXPECT_GE(note.y, tile.editorBack().frame().maxY()) << c.name;
        EXPECT_GE(note.y, tile.suggestButton().frame().maxY()) << c.name;
        EXPECT_GE(note.x, 0) << c.name;
        EXPECT_LE(note.maxX(), c.width - 20) << c.name;
        EXPECT_GE(note.width, std::min(TileLayout::minimumEditorWidth, tile.suggestNoteText().fittingSize().width)) << c.name;
        EXPECT_GE(tile.suggestNoteText().frame().height, 12) << c.name;
        EXPECT_LE(tile.suggestNoteText().frame().maxY(), note.height) << c.name;
        tile.saveButton().performClick();
        EXPECT_EQ(session.title(), "Shop") << c.name;
        EXPECT_TRUE(tile.suggestNote().isHidden()) << c.name;
        // Ended, the card shows its line as before.
        EXPECT_FALSE(tile.closeButton().isHidden()) << c.name;
        EXPECT_FALSE(tile.moveButton().isHidden()) << c.name;
    }
}

// The editor opens with the title selected: what is typed replaces it.
TEST_F(TileCardTest, TypingReplacesTheSelectedTitle) {
    TileView& tile = make();
    session.rename("one");
    tile.beginRename();
    EXPECT_EQ(tile.editor().selectedRange(), (platform::ui::TextRange{0, 3}));
    for (const char* letter : {"S", "h", "o", "p"}) {
        platform::ui::KeyEvent key;
        key.key = platform::ui::Key::character;
        key.characters = letter;
        key.charactersIgnoringModifiers = letter;
        window.sendKeyEvent(key);
    }
    EXPECT_EQ(tile.editor().stringValue(), "Shop");
    platform::ui::KeyEvent enter;
    enter.key = platform::ui::Key::returnKey;
    enter.characters = "\r";
    window.sendKeyEvent(enter);
    EXPECT_EQ(session.title(), "Shop");
}

// Tab, Shift+Tab and the arrows go round the editor's field and buttons and keep what was typed;
// Escape, Cancel or the keyboard leaving the editor drop it.
TEST_F(TileCardTest, TheKeyboardGoesRoundTheEditor) {
    using platform::ui::Key;
    const platform::ui::ModifierFlags shift = platform::ui::Modifier::shift;
    struct Case {
        const char* name;
        std::vector<std::pair<Key, platform::ui::ModifierFlags>> keys;
        std::string title;  // "" while the editor stays open
    } const cases[] = {
        {"Tab to Save, Space", {{Key::tab, 0}, {Key::tab, 0}, {Key::space, 0}}, "Shop"},
        {"Tab, Shift+Tab, Return", {{Key::tab, 0}, {Key::tab, shift}, {Key::returnKey, 0}}, "Shop"},
        {"Shift+Tab round to Cancel, Space", {{Key::tab, shift}, {Key::space, 0}}, "before"},
        {"Down, Right, Escape", {{Key::down, 0}, {Key::right, 0}, {Key::escape, 0}}, "before"},
        {"Five Tabs: round to Suggest", {{Key::tab, 0}, {Key::tab, 0}, {Key::tab, 0}, {Key::tab, 0}, {Key::tab, 0}}, ""},
    };
    for (const Case& c : cases) {
        TileView& tile = make();
        session.rename("before");
        tile.beginRename();
        tile.editor().typeText("Shop");
        for (const auto& [key, modifiers] : c.keys) {
            platform::ui::KeyEvent event;
            event.key = key;
            event.modifiers = modifiers;
            window.sendKeyEvent(event);
        }
        EXPECT_EQ(session.title(), c.title.empty() ? "before" : c.title) << c.name;
        EXPECT_EQ(window.firstResponder(), c.title.empty() ? &tile.suggestButton() : &session.view()) << c.name;
        EXPECT_EQ(tile.editor().stringValue(), "Shop") << c.name;
        tile.endRename(false);
    }
}

// Suggest pressed from the keyboard hands the keyboard to the field (Tab then passes the disabled
// Suggest over), where the name arrives; the keyboard leaving a button for elsewhere ends the edit.
TEST_F(TileCardTest, SuggestFromTheKeyboardAndLeavingTheEditor) {
    TileView& tile = make();
    session.rename("old");
    std::function<void(std::optional<std::string>)> answer;
    tile.onSuggestName = [&](auto done) { answer = std::move(done); };
    tile.beginRename();
    platform::ui::KeyEvent key;
    for (platform::ui::Key k : {platform::ui::Key::tab, platform::ui::Key::space, platform::ui::Key::tab}) {
        key.key = k;
        window.sendKeyEvent(key);
    }
    EXPECT_TRUE(tile.isSuggesting());
    EXPECT_EQ(window.firstResponder(), &tile.saveButton());
    answer("Fix login");
    EXPECT_EQ(window.firstResponder(), &tile.editor());
    window.makeFirstResponder(&tile.cancelButton());
    window.makeFirstResponder(&session.view());
    EXPECT_FALSE(tile.isRenaming());
    EXPECT_EQ(session.title(), "old");
}

TEST_F(TileCardTest, Suggestions) {
    TileView& tile = make();
    session.rename("old");
    std::function<void(std::optional<std::string>)> answer;
    tile.onSuggestName = [&](auto done) { answer = std::move(done); };
    tile.beginRename();
    tile.editor().setStringValue("typed");
    tile.suggestButton().performClick();
    EXPECT_TRUE(tile.isSuggesting());
    EXPECT_FALSE(tile.suggestButton().isEnabled());
    EXPECT_EQ(tile.editor().placeholder(), "\u2026");
    EXPECT_EQ(tile.editor().stringValue(), "");
    // No name: the typed text comes back.
    answer(std::nullopt);
    EXPECT_EQ(tile.editor().stringValue(), "typed");
    EXPECT_FALSE(tile.isSuggesting());
    EXPECT_TRUE(tile.suggestButton().isEnabled());
    // An AI title that arrives meanwhile is the suggestion; the late answer is ignored.
    tile.suggestButton().performClick();
    session.rename("From the loop");
    tile.refresh();
    EXPECT_EQ(tile.editor().stringValue(), "From the loop");
    answer("Late");
    EXPECT_EQ(tile.editor().stringValue(), "From the loop");
    tile.endRename(false);
}

// A suggestion that arrives (or a failed one, which gives back what was typed) leaves the keyboard
// in the field with the caret at the end: typed letters follow the name and Return saves it.
TEST_F(TileCardTest, AfterASuggestionTypingAddsToTheName) {
    struct Case {
        const char* name;
        std::optional<std::string> answer;
        std::string renamed;
    } const cases[] = {{"named", std::string("Fix login"), "Fix loginx"}, {"no name", std::nullopt, "typedx"}};
    for (const Case& c : cases) {
        TileView& tile = make();
        session.rename("old");
        std::function<void(std::optional<std::string>)> answer;
        tile.onSuggestName = [&](auto done) { answer = std::move(done); };
        tile.beginRename();
        tile.editor().setStringValue("typed");
        tile.suggestButton().performClick();
        answer(c.answer);
        EXPECT_EQ(window.firstResponder(), &tile.editor()) << c.name;
        EXPECT_EQ(tile.editor().selectedRange(), (platform::ui::TextRange{tile.editor().characterCount(), 0})) << c.name;
        platform::ui::KeyEvent key;
        key.key = platform::ui::Key::character;
        key.characters = key.charactersIgnoringModifiers = "x";
        window.sendKeyEvent(key);
        key.key = platform::ui::Key::returnKey;
        key.characters = key.charactersIgnoringModifiers = "\r";
        window.sendKeyEvent(key);
        EXPECT_EQ(session.title(), c.renamed) << c.name;
        EXPECT_FALSE(tile.isRenaming()) << c.name;
    }
}

// --- Drops -----------------------------------------------------------------------------------------

TEST_F(TileCardTest, Drops) {
    TileView& tile = make();
    platform::ui::Pasteboard& pasteboard = platform::ui::Pasteboard::find();
    pasteboard.setString("hello");
    platform::ui::View::DraggingInfo info;
    info.types = {"text/plain;charset=utf-8"};
    info.pasteboard = &pasteboard;
    platform::ui::View::DraggingInfo other = info;
    other.types = {"application/x-unknown"};
    EXPECT_EQ(tile.draggingEntered(other), platform::ui::DragOperation::none);
    EXPECT_FALSE(tile.dropHover());
    int activated = 0;
    tile.onActivated = [&] { ++activated; };
    ASSERT_EQ(tile.draggingEntered(info), platform::ui::DragOperation::copy);
    EXPECT_TRUE(tile.performDragOperation(info));
    EXPECT_FALSE(tile.dropHover());
    EXPECT_EQ(session.dropped, "\x1b[200~hello\x1b[201~");
    EXPECT_EQ(window.firstResponder(), &session.view());
    EXPECT_EQ(activated, 1);
    session.setStatus(SessionStatus::exited);
    EXPECT_EQ(tile.draggingEntered(info), platform::ui::DragOperation::none);
    EXPECT_FALSE(tile.performDragOperation(info));
    EXPECT_EQ(activated, 1);
}

// --- Menus -----------------------------------------------------------------------------------------

TEST_F(TileCardTest, ContextMenuItems) {
    struct Case {
        const char* name;
        bool metrics, feed, pinned, logo;
        Strings items;
    } const cases[] = {
        {"Plain", false, false, false, false,
         {t("rename"), t("change_folder"), "-", t("colour"), t("pick_from_disk")}},
        {"Everything", true, true, true, true,
         {t("rename"), t("change_folder"), t("clear_metrics"), t("clear_feed"), t("unpin_title"), "-", t("colour"),
          t("pick_from_disk"), t("logo_auto")}},
    };
    const std::string folder = "/tmp/menu-folder";
    for (const Case& c : cases) {
        session.request.cwd = folder;
        session.metricList.assign(c.metrics ? 1 : 0, Store::Metric{"a", "1", {}, {}, {}});
        session.feedData = c.feed ? std::optional(feedOf(1)) : std::nullopt;
        session.pinned = c.pinned;
        Store::shared().setTileLogo(folder, c.logo ? std::optional<std::string>("") : std::nullopt);
        TileView& tile = make();
        const platform::ui::Menu menu = tile.contextMenu();
        EXPECT_EQ(titles(menu), c.items) << c.name;
        const auto& colours = menu.items[c.items.size() - (c.logo ? 3 : 2)].submenu;
        ASSERT_EQ(colours.size(), 10u) << c.name;
        EXPECT_EQ(colours[0].tag, -1) << c.name;
        EXPECT_EQ(colours[2].title, t("c_blue")) << c.name;
        ASSERT_TRUE(colours[2].image) << c.name;
        EXPECT_EQ(colours[2].imageSize, 14) << c.name;
    }
    // The right button opens it; its choices reach the session.
    TileView& tile = make();
    mouse(MouseEvent::Type::down, {300, 200}, 1, MouseEvent::right);
    ASSERT_NE(menus().shown(), nullptr);
    EXPECT_TRUE(menus().pick(t("clear_metrics")));
    EXPECT_TRUE(session.metricList.empty());
    mouse(MouseEvent::Type::down, {300, 200}, 1, MouseEvent::right);
    EXPECT_TRUE(menus().pick(t("unpin_title")));
    EXPECT_FALSE(session.pinned);
    mouse(MouseEvent::Type::down, {300, 200}, 1, MouseEvent::right);
    EXPECT_TRUE(menus().pick(t("logo_auto")));
    EXPECT_EQ(Store::shared().tileLogos().count(folder), 0u);
    (void)tile;
}

TEST_F(TileCardTest, ColoursAreStoredUpperCaseForTheFolder) {
    const std::string folder = "/tmp/colour-folder";
    session.request.cwd = folder;
    TileView& tile = make();
    mouse(MouseEvent::Type::down, {300, 200}, 1, MouseEvent::right);
    ASSERT_TRUE(menus().pick(t("c_blue")));
    EXPECT_EQ(Store::shared().tileColors().at(folder), "7AA2E0");
    EXPECT_EQ(tile.wash().tint(), Rgba::fromBytes(0x7A, 0xA2, 0xE0));
    tile.pickColour(-1);
    EXPECT_EQ(Store::shared().tileColors().count(folder), 0u);
}

// The logo from disk: the chooser starts in the folder, takes images, and its answer becomes the
// folder's logo; a cancel, or an answer after the card went, changes nothing.
TEST_F(TileCardTest, LogoFromDisk) {
    const std::string folder = "/tmp/logo-folder";
    session.request.cwd = folder;
    Store::shared().setTileLogo(folder, std::nullopt);
    auto& modals = *platform::ui::headless::HeadlessModals::current();
    TileView& tile = make();
    EXPECT_TRUE(tile.logo().isHidden());
    tile.pickLogo();
    ASSERT_TRUE(modals.shownFileChooser());
    EXPECT_EQ(modals.shownFileChooser()->initialFolder, folder);
    EXPECT_EQ(modals.shownFileChooser()->message, t("pick_image_msg"));
    EXPECT_NE(std::find(modals.shownFileChooser()->mimeTypes.begin(), modals.shownFileChooser()->mimeTypes.end(), "image/png"),
              modals.shownFileChooser()->mimeTypes.end());
    modals.chooseFile(std::nullopt);
    EXPECT_EQ(Store::shared().tileLogos().count(folder), 0u);
    const std::string png = std::string(QUILTDECK_TEST_DATA) + "/view/sample@1x.png";
    tile.pickLogo();
    modals.chooseFile(png);
    EXPECT_EQ(Store::shared().tileLogos().at(folder), png);
    EXPECT_FALSE(tile.logo().isHidden());
    EXPECT_EQ(tile.logo().frame(), (Rect{36 + tile.indexLabel().frame().width + 13, 13, 26, 26}));
    // Chosen "none": no logo even where one would be found.
    Store::shared().setTileLogo(folder, "");
    tile.reloadLogo();
    EXPECT_TRUE(tile.logo().isHidden());
    tile.pickLogo();
    card.reset();
    modals.chooseFile(png);
    EXPECT_EQ(Store::shared().tileLogos().at(folder), "");
    Store::shared().setTileLogo(folder, std::nullopt);
}

TEST_F(TileCardTest, BrowserMenuAndRebinding) {
    const std::string device = "tile-card-dev2";
    Store::shared().setLabel("Work", device);
    Store::shared().setBrowserAccounts({{device, "al@example.com"}});
    // Listed by name: Brave, then Chrome.
    Store::shared().setBrowserCache({{"tile-card-dev1", "Chrome"}, {device, "Brave"}});
    Browsers::Services services;
    services.oneShot = [](Browsers::OneShotRequest, std::function<void(std::optional<std::string>)>) {};
    services.background = [](std::function<void()>) {};
    auto browsers = Browsers::create(services);
    TileView& tile = make();
    tile.setBrowsers(browsers.get());
    std::vector<std::optional<std::string>> rebinds;
    tile.onRebind = [&](std::optional<BrowserInfo> b) { rebinds.push_back(b ? std::optional(b->deviceId) : std::nullopt); };
    const platform::ui::Menu menu = tile.browserMenu();
    EXPECT_EQ(titles(menu), (Strings{t("no_browser"), "-", "Work   al@example.com", "Chrome", "-", t("rebind_note")}));
    EXPECT_TRUE(menu.items[0].checked);
    EXPECT_FALSE(menu.items.back().enabled);
    // A click on the badge pops it up under the badge.
    const Rect pill = tile.badgePill().frame();
    click({pill.x + pill.width / 2, pill.y + pill.height / 2});
    ASSERT_NE(menus().shown(), nullptr);
    menus().pick(t("no_browser"));
    EXPECT_TRUE(rebinds.empty());
    tile.pickBrowser(0);
    session.boundBrowser = BrowserInfo{device, "Brave"};
    tile.pickBrowser(0);
    tile.pickBrowser(-1);
    EXPECT_EQ(rebinds, (std::vector<std::optional<std::string>>{device, std::nullopt}));
}

// --- Lifetime --------------------------------------------------------------------------------------

TEST_F(TileCardTest, AClosedCardLeavesNothingBehind) {
    int clicks = 0;
    std::function<void(std::optional<std::string>)> answer;
    {
        TileView& tile = make(false);
        tile.onClick = [&] { ++clicks; };
        tile.onSuggestName = [&](auto done) { answer = std::move(done); };
        click({300, 20});
        tile.beginRename();
        tile.suggestButton().performClick();
        card.reset();
    }
    loop.advance(1s);
    setTheme(false);
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(Theme::didChange));
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(Fonts::didChange));
    loop.runPending();
    answer("late");
    session.onBoot ? session.onBoot() : void();
    EXPECT_EQ(clicks, 0);
}

}  // namespace
}  // namespace quiltdeck
