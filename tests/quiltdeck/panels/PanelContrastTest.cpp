// Every sheet, panel and card in the dark and the light theme, drawn: each control's title (and
// each image a control shows, each placeholder, each table row in sight, the selected one on its
// highlight) stands out from its ground by at least 4.5:1, a check box's tick from its box by 3:1. A sheet that is open
// when the theme changes takes the new colours.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/PanelGallery.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/wall/TabsView.h"
#include "support/TextContrast.h"

namespace quiltdeck {
namespace {

using platform::ui::headless::HeadlessWindow;

class PanelContrast : public testing::PanelTest, public ::testing::WithParamInterface<bool> {
protected:
    PanelContrast() { setDark(GetParam()); }

    // Draws the window and reports every text of `root` under 4.5:1.
    static void expectReadable(const std::string& piece, HeadlessWindow& window, const platform::ui::View& root) {
        window.display();
        auto pixel = [&](int x, int y) { return window.pixel(x, y); };
        for (const std::string& fault :
             testing_support::contrastFaults(root, pixel, window.backingScaleFactor(), window.size().height))
            ADD_FAILURE() << piece << ": " << fault;
    }
    // A sheet's own window.
    static HeadlessWindow& windowOf(platform::ui::Window* window) { return dynamic_cast<HeadlessWindow&>(*window); }
    // A piece without a window of its own, in one of the test's (at `scale` device pixels a point);
    // `shown` runs once it is in the window (to give something the keyboard).
    void expectReadableAlone(const std::string& piece, platform::ui::View& root, double scale = 2,
                             const std::function<void(HeadlessWindow&)>& shown = {}) {
        HeadlessWindow window({root.frame().width, root.frame().height}, scale);
        // On the main window's ground, which the card and the bar lie on.
        platform::ui::View ground({0, 0, root.frame().width, root.frame().height});
        ground.setLayerBackgroundColor(Theme::isDark() ? testing::rgb(11, 12, 13) : testing::rgb(233, 232, 230));
        const platform::gfx::Rect frame = root.frame();
        root.setFrameOrigin({0, 0});
        ground.addSubview(&root);
        window.setContentView(&ground);
        if (shown) shown(window);
        expectReadable(piece, window, root);
        window.setContentView(nullptr);
        root.removeFromSuperview();
        root.setFrame(frame);
    }

    HeadlessWindow main_{{1720, 1080}, 2};
    testing::PanelGallery gallery_{main_, [this] { loop_.runPending(); }};
};

TEST_P(PanelContrast, SheetsAreReadable) {
    auto settings = gallery_.settings();
    expectReadable("settings", windowOf(settings->panel()), settings->content());
    auto history = gallery_.history();
    expectReadable("history", windowOf(history->panel()), history->content());
    for (bool shell : {false, true}) {
        auto picker = gallery_.picker(shell);
        expectReadable(shell ? "shell picker" : "picker", windowOf(picker->panel()), picker->content());
    }
    auto browsers = gallery_.browsersPanel(true);
    expectReadable("browsers", windowOf(browsers->panel()), browsers->content());
    auto guide = gallery_.guide();
    expectReadable("guide", windowOf(guide->panel()), guide->content());
    platform::ui::WebView::setEngineAvailable(true);
    ReaderWindow& reader = gallery_.reader();
    expectReadable("reader", windowOf(reader.panel()), *reader.panel()->contentView());
    reader.hide();
    platform::ui::WebView::setEngineAvailable(false);
}

TEST_P(PanelContrast, CardsBarAndPopoverAreReadable) {
    expectReadableAlone("bar", *gallery_.bar(1720));
    // At one pixel a point the small texts' strokes never reach their full colour.
    expectReadableAlone("bar at 1x", *gallery_.bar(1720), 1);
    {
        // Its line while saves fail.
        auto bar = gallery_.barSayingSavesFail(1720);
        ASSERT_FALSE(bar->notice().isHidden());
        expectReadableAlone("bar saying saves fail", *bar);
    }
    auto look = gallery_.look();
    expectReadableAlone("look popover", look->view());
    // The tabs' counts: waiting and done, on the current tab and on the bar.
    TabsView tabs({0, 0, 800, TabsView::height});
    tabs.reload({"Work", "Ideas"}, "", {{"", 2}, {"Work", 1}}, {{"", 3}, {"Ideas", 1}});
    expectReadableAlone("tab bar", tabs);
    for (const auto& state : testing::PanelGallery::cardStates) {
        auto card = gallery_.card(1200, state);
        expectReadableAlone(std::string("onboarding ") + state.name, *card);
    }
}

// The title editor's field and buttons, in words on a roomy card and as symbols on a narrow one.
TEST_P(PanelContrast, ATileCardsEditorIsReadable) {
    for (double width : {600.0, 170.0}) {
        auto card = gallery_.tileCard(width, testing::PanelGallery::TileCardState::renaming);
        expectReadableAlone("renaming tile at " + std::to_string(int(width)), *card.view);
    }
}

// A card's sub line (its "done" word), badge, chips and headlines on the header's wash in each of
// the folder colours, and an ended card's buttons with the ring of the one that has the keyboard.
TEST_P(PanelContrast, ATileCardsTextsBadgeAndRingAreReadable) {
    using State = testing::PanelGallery::TileCardState;
    for (const std::optional<size_t> tint : {std::optional<size_t>(), std::optional<size_t>(0), std::optional<size_t>(1),
                                             std::optional<size_t>(2), std::optional<size_t>(3), std::optional<size_t>(4),
                                             std::optional<size_t>(5), std::optional<size_t>(6), std::optional<size_t>(7)}) {
        const std::string colour = tint ? std::to_string(*tint) : "automatic";
        auto done = gallery_.tileCard(520, State::done, 300, tint);
        expectReadableAlone("done tile in colour " + colour, *done.view);
        // At one pixel a point too, where small strokes reach their colour least.
        expectReadableAlone("done tile at 1x in colour " + colour, *done.view, 1);
        for (const bool second : {false, true}) {
            auto ended = gallery_.tileCard(520, State::ended, 300, tint);
            expectReadableAlone("ended tile in colour " + colour + (second ? ", its second button" : ""), *ended.view, 2,
                                [&](HeadlessWindow& window) {
                                    window.makeFirstResponder(&ended.view->keyboardTarget());
                                    if (second) window.selectKeyView(true);
                                });
        }
    }
}

// The ring of a segmented control on each of its segments, the selected one's fill too.
TEST_P(PanelContrast, AFocusedSegmentsRingStandsOut) {
    auto settings = gallery_.settings();
    HeadlessWindow& window = windowOf(settings->panel());
    for (platform::ui::SegmentedControl* segments : {&settings->themePicker(), &settings->markPicker()}) {
        window.makeFirstResponder(segments);
        for (size_t i = 0; i < segments->segments().size(); ++i) {
            expectReadable("settings, segment " + std::to_string(segments->focusedSegment()) + " focused", window, settings->content());
            window.selectKeyView(true);
        }
    }
}

// The theme changes while each sheet is open: its ground, its texts and its controls follow.
TEST_P(PanelContrast, AnOpenSheetFollowsTheTheme) {
    const bool dark = GetParam();
    struct Sheet {
        const char* name;
        std::function<std::pair<platform::ui::Window*, platform::ui::View*>()> open;
    };
    std::shared_ptr<void> keep;
    const Sheet sheets[] = {
        {"settings", [&] { auto s = gallery_.settings(); keep = s; return std::pair{s->panel(), static_cast<platform::ui::View*>(&s->content())}; }},
        {"history", [&] { auto s = gallery_.history(); keep = s; return std::pair{s->panel(), static_cast<platform::ui::View*>(&s->content())}; }},
        {"picker", [&] { auto s = gallery_.picker(false); keep = s; return std::pair{s->panel(), static_cast<platform::ui::View*>(&s->content())}; }},
        {"browsers", [&] { auto s = gallery_.browsersPanel(true); keep = s; return std::pair{s->panel(), static_cast<platform::ui::View*>(&s->content())}; }},
        {"guide", [&] { auto s = gallery_.guide(); keep = s; return std::pair{s->panel(), static_cast<platform::ui::View*>(&s->content())}; }},
        {"reader", [&] {
             platform::ui::WebView::setEngineAvailable(true);
             ReaderWindow& reader = gallery_.reader();
             return std::pair{reader.panel(), reader.panel()->contentView()};
         }},
    };
    for (const Sheet& sheet : sheets) {
        setDark(!dark);
        auto [window, root] = sheet.open();
        setDark(dark);
        ASSERT_TRUE(window && root) << sheet.name;
        EXPECT_EQ(root->layerBackgroundColor(), PanelColors::panelBackground()) << sheet.name;
        HeadlessWindow& shown = windowOf(window);
        expectReadable(std::string(sheet.name) + " after the switch", shown, *root);
        // The ground as drawn, in a corner no control covers.
        EXPECT_EQ(testing_support::colourOf(shown.pixel(2, 2) & 0xFFFFFF), PanelColors::panelBackground()) << sheet.name;
        gallery_.endSheet();
    }
    platform::ui::WebView::setEngineAvailable(false);
}

INSTANTIATE_TEST_SUITE_P(DarkAndLight, PanelContrast, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "dark" : "light"); });

}  // namespace
}  // namespace quiltdeck
