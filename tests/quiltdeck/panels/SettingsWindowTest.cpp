#include "quiltdeck/panels/SettingsWindow.h"

#include <cmath>
#include <filesystem>
#include <limits>

#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/shell/L10n.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

using platform::runtime::NotificationCenter;

TEST(SettingsSizes, AStoredSizeSelectsItsWholeNumberWhenOffered) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    struct Case {
        double stored;
        std::optional<std::string> title;
    } cases[] = {
        {11.5, "12 pt"}, {12.5, "13 pt"}, {11.49, "11 pt"}, {9.5, "10 pt"}, {16, "16 pt"}, {15, std::nullopt},
        {14.6, std::nullopt}, {nan, std::nullopt}, {inf, std::nullopt}, {-inf, std::nullopt}, {1e300, std::nullopt},
        {-0.4, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(SettingsWindow::sizeItemTitle(c.stored), c.title) << c.stored;
}

TEST(SettingsSizes, ATitleStoresItsNumber) {
    struct Case {
        const char* title;
        double stored;
    } cases[] = {{"16 pt", 16.0}, {"10 pt", 10.0}, {"11", 11.0}, {"", 11.0}, {"12.5 pt", 12.5}, {"abc pt", 11.0}, {"12x", 11.0}, {"inf", 11.0}};
    for (const Case& c : cases) EXPECT_EQ(SettingsWindow::sizeFromTitle(c.title), c.stored) << c.title;
}

TEST(SettingsMarks, ChevronsAndUnknownStylesShowConverge) {
    struct Case {
        const char* stored;
        int segment;
    } cases[] = {{"chevrons", 3}, {"converge", 3}, {"tiles", 1}, {"dots", 2}, {"zz", 3}, {"", 3}, {"Tiles", 3}};
    for (const Case& c : cases) EXPECT_EQ(SettingsWindow::markSegment(c.stored), c.segment) << c.stored;
    for (const auto& [stored, index] : std::vector<std::pair<const char*, int>>{{"acceptEdits", 0}, {"manual", 1}, {"auto", 2}, {"x", 0}}) {
        EXPECT_EQ(SettingsWindow::permIndex(stored), index) << stored;
    }
}

class SettingsWindowTest : public testing::PanelTest {
protected:
    SettingsWindowTest() {
        for (std::string_view name : {Theme::didChange, Fonts::didChange}) {
            subscriptions_.push_back(NotificationCenter::defaultCenter().subscribe(
                std::string(name), [this, name](const auto&) { posted_.push_back(std::string(name)); }));
        }
        loop_.runPending();
        posted_.clear();
    }
    ~SettingsWindowTest() override {
        Store& store = Store::shared();
        store.setMinFontSize(11.5);
        store.setFontName(std::string(StoredSettings::defaultFontName));
        store.setMarkStyle("converge");
        store.setPermissionMode("manual");
        store.setAutoTrustHome(false);
        store.setOpenAtLogin(true);
        store.setThemeMode("system");
    }
    std::shared_ptr<SettingsWindow> make(double scale = 1) {
        auto settings = std::make_shared<SettingsWindow>();
        settings->build(scale);
        return settings;
    }
    std::vector<std::string> drain() {
        loop_.runPending();
        return std::exchange(posted_, {});
    }

    std::vector<std::string> posted_;
    std::vector<NotificationCenter::Subscription> subscriptions_;
};

TEST_F(SettingsWindowTest, SizesOpenSelectedAndStoreWhenChosen) {
    struct Case {
        double stored;
        int selected;
    } cases[] = {{11.5, 2}, {12.5, 3}, {15, -1}, {1e300, -1}};
    for (const Case& c : cases) {
        Store::shared().setMinFontSize(11);
        Store::shared().setMinFontSize(c.stored);
        EXPECT_EQ(make()->sizePicker().indexOfSelectedItem(), c.selected) << c.stored;
    }
    auto settings = make();
    ASSERT_EQ(settings->sizePicker().items().back(), "16 pt");
    drain();
    settings->sizePicker().choose(5);
    EXPECT_EQ(Store::shared().minFontSize(), 16.0);
    EXPECT_EQ(drain(), std::vector<std::string>{std::string(Fonts::didChange)});
    settings->fontPicker().choose(1);
    EXPECT_EQ(Store::shared().fontName(), "JetBrains Mono");
    EXPECT_EQ(drain(), std::vector<std::string>{std::string(Fonts::didChange)});
    Store::shared().setFontName("Unknown Font");
    EXPECT_EQ(make()->fontPicker().indexOfSelectedItem(), -1);
}

TEST_F(SettingsWindowTest, TheLogoOpensAsConvergeAndStoresChevrons) {
    Store::shared().setMarkStyle("chevrons");
    auto settings = make(2);
    EXPECT_EQ(settings->markPicker().selectedSegment(), 3);
    const auto& segment = settings->markPicker().segments()[0];
    ASSERT_TRUE(segment.image);
    // Drawn at the window's scale, shown at 22 points.
    EXPECT_EQ(segment.image->width, 44);
    EXPECT_EQ(segment.imageSize, (platform::gfx::Size{22, 22}));
    drain();
    settings->markPicker().choose(0);
    EXPECT_EQ(Store::shared().markStyle(), "chevrons");
    EXPECT_EQ(drain(), std::vector<std::string>{std::string(Theme::didChange)});
}

// The converge mark narrows upwards, as the bar draws it: more ink in the lower half.
TEST_F(SettingsWindowTest, TheLogoImagesStandUpright) {
    const auto image = SettingsWindow::markImage(3, platform::gfx::Rgba{0, 0, 0, 1}, 2);
    ASSERT_EQ(image.height, 44);
    auto ink = [&](int from, int to) {
        int count = 0;
        for (int y = from; y < to; ++y) {
            for (int x = 0; x < image.width; ++x) count += (image.pixels[static_cast<size_t>(y * image.width + x)] >> 24) > 128;
        }
        return count;
    };
    EXPECT_GT(ink(22, 44), ink(0, 22));
}

TEST_F(SettingsWindowTest, DarkStoresResolvesAndReopensSelected) {
    setDark(false);
    auto settings = make();
    drain();
    settings->themePicker().choose(1);
    EXPECT_EQ(Store::shared().themeMode(), "dark");
    EXPECT_EQ(Theme::mode(), ThemeMode::dark);
    EXPECT_TRUE(Theme::isDark());
    EXPECT_EQ(drain(), std::vector<std::string>{std::string(Theme::didChange)});
    EXPECT_EQ(make()->themePicker().selectedSegment(), 1);
}

// A permission mode is read by tiles as they start: nothing is posted.
TEST_F(SettingsWindowTest, PermissionsAndTrustStoreAndPostNothing) {
    Store::shared().setPermissionMode("something else");
    auto settings = make();
    EXPECT_EQ(settings->permPicker().indexOfSelectedItem(), 0);
    drain();
    settings->permPicker().choose(2);
    EXPECT_EQ(Store::shared().permissionMode(), "auto");
    settings->trustToggle().performClick();
    EXPECT_TRUE(Store::shared().autoTrustHome());
    EXPECT_TRUE(drain().empty());
}

TEST_F(SettingsWindowTest, LoginOffRemovesTheAutostartFile) {
    Store::shared().setOpenAtLogin(true);
    LoginItem::apply(true);
    ASSERT_TRUE(std::filesystem::exists(LoginItem::file()));
    auto settings = make();
    EXPECT_EQ(settings->loginToggle().state(), platform::ui::Button::State::on);
    settings->loginToggle().performClick();
    EXPECT_FALSE(Store::shared().openAtLogin());
    EXPECT_FALSE(std::filesystem::exists(LoginItem::file()));
    settings->loginToggle().performClick();
    EXPECT_TRUE(std::filesystem::exists(LoginItem::file()));
}

// Close is a pill; the two boxes keep their look. The trust note sits between them.
TEST_F(SettingsWindowTest, CloseIsAPillAndTheBoxesAreNot) {
    auto settings = make();
    ASSERT_TRUE(settings->closeButton().look());
    EXPECT_EQ(settings->closeButton().look()->cornerRadius, 14);
    EXPECT_EQ(settings->closeButton().keyEquivalent(), platform::ui::Button::KeyEquivalent::escape);
    EXPECT_FALSE(settings->trustToggle().look());
    EXPECT_FALSE(settings->loginToggle().look());
    const double trustEnd = settings->trustToggle().frame().maxY(), loginTop = settings->loginToggle().frame().y;
    const auto note = std::find_if(settings->texts().begin(), settings->texts().end(), [&](const auto& label) {
        return label->frame().y >= trustEnd && label->frame().maxY() <= loginTop;
    });
    ASSERT_NE(note, settings->texts().end());
    EXPECT_EQ((*note)->text(), t("home_trust_note"));
    EXPECT_EQ((*note)->textColor(), testing::rgb(158, 163, 169));
}


TEST_F(SettingsWindowTest, EscapeClosesTheSheet) {
    platform::ui::headless::HeadlessWindow main({1200, 900}, 2);
    auto settings = std::make_shared<SettingsWindow>();
    settings->present(main);
    ASSERT_EQ(main.attachedSheet(), settings->panel());
    EXPECT_EQ(settings->panel()->title(), t("menu_settings"));
    EXPECT_EQ(settings->markPicker().segments()[1].image->width, 44);
    platform::ui::KeyEvent escape;
    escape.key = platform::ui::Key::escape;
    settings->panel()->sendKeyEvent(escape);
    EXPECT_FALSE(main.attachedSheet());
}

// With the keyboard alone: Tab stops at every theme and logo choice and every other control in
// reading order, round to the start, also in a sheet held lower than its rows (each comes into
// sight as it takes the keyboard); Space on the light choice sets the theme and stores it.
TEST_F(SettingsWindowTest, TabReachesEveryControlAndSpaceChangesTheTheme) {
    setDark(true);
    std::unique_ptr<platform::ui::headless::HeadlessWindow> main;
    std::shared_ptr<SettingsWindow> settings;
    for (double height : {400.0, 900.0}) {
        main = std::make_unique<platform::ui::headless::HeadlessWindow>(platform::gfx::Size{1200, height}, 1);
        settings = std::make_shared<SettingsWindow>();
        settings->present(*main);
        platform::ui::Window& sheet = *settings->panel();
        EXPECT_EQ(sheet.size().height, std::min(height, settings->rowsView().documentView()->frame().height + 56)) << height;
        auto& theme = settings->themePicker();
        auto& mark = settings->markPicker();
        struct Stop {
            const platform::ui::View* control;
            int segment;
        } const stops[] = {{&theme, 0}, {&theme, 1}, {&theme, 2}, {&settings->fontPicker(), -1}, {&settings->sizePicker(), -1},
                           {&mark, 0},  {&mark, 1},  {&mark, 2},  {&mark, 3},                    {&settings->permPicker(), -1},
                           {&settings->trustToggle(), -1}, {&settings->loginToggle(), -1}, {&settings->closeButton(), -1},
                           {&theme, 0}};
        platform::ui::KeyEvent tab, page;
        tab.key = platform::ui::Key::tab;
        // Page Down pages a low sheet's rows before anything has the keyboard; Page Up goes back.
        page.key = platform::ui::Key::pageDown;
        EXPECT_EQ(sheet.sendKeyEvent(page), height < 900) << height;
        EXPECT_EQ(settings->rowsView().scrollOffset() > 0, height < 900) << height;
        page.key = platform::ui::Key::pageUp;
        sheet.sendKeyEvent(page);
        EXPECT_EQ(settings->rowsView().scrollOffset(), 0) << height;
        const platform::gfx::Rect shown = settings->rowsView().convertToWindow(settings->rowsView().bounds());
        for (size_t i = 0; i < std::size(stops); ++i) {
            EXPECT_TRUE(sheet.sendKeyEvent(tab)) << i;
            EXPECT_EQ(sheet.firstResponder(), stops[i].control) << i;
            if (stops[i].segment >= 0) {
                EXPECT_EQ(static_cast<const platform::ui::SegmentedControl*>(stops[i].control)->focusedSegment(), stops[i].segment) << i;
            }
            if (stops[i].control != &settings->closeButton()) {
                const platform::gfx::Rect at = stops[i].control->convertToWindow(stops[i].control->bounds());
                EXPECT_TRUE(at.y >= shown.y && at.maxY() <= shown.maxY()) << height << " " << i << " out of sight";
            }
        }
        if (height < 900) main->endSheet(sheet);
    }
    platform::ui::Window& sheet = *settings->panel();
    auto& theme = settings->themePicker();
    platform::ui::KeyEvent tab;
    tab.key = platform::ui::Key::tab;
    sheet.sendKeyEvent(tab);
    sheet.sendKeyEvent(tab);
    platform::ui::KeyEvent space;
    space.key = platform::ui::Key::space;
    space.characters = " ";
    EXPECT_TRUE(sheet.sendKeyEvent(space));
    EXPECT_EQ(theme.selectedSegment(), 2);
    EXPECT_EQ(Theme::mode(), ThemeMode::light);
    EXPECT_EQ(Store::shared().themeMode(), "light");
    EXPECT_EQ(main->attachedSheet(), &sheet);
    settings->close();
    setDark(true);
}

}  // namespace
}  // namespace quiltdeck
