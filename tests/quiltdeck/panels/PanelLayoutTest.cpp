// Every sheet, panel and card in every language, both themes and scales 1 and 2, over a large
// window and over a small screen's (960 × 600): each text fits its frame as Pango lays it out (or
// wraps inside it), and no two controls overlap or leave it; a sheet is never higher than its
// window, so its buttons stay in sight (its rows scroll instead).
#include <gtest/gtest.h>

#include <string>

#include "platform/ui/DrawnButton.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/panels/PanelGallery.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/panels/StateNotice.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/wall/WallGeometry.h"
#include "support/LayoutCheck.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;

struct LayoutCase {
    Lang lang;
    bool dark;
    double scale;
    platform::gfx::Size window{1720, 1080};
};

class PanelLayout : public testing::PanelTest, public ::testing::WithParamInterface<LayoutCase> {
protected:
    PanelLayout() {
        Lang::setCurrent(GetParam().lang);
        setDark(GetParam().dark);
    }
    ~PanelLayout() override { Lang::setCurrent(Lang::en); }

    // The faults of a piece's content, each headed by the piece's name.
    static void expectFits(const std::string& piece, const platform::ui::View& root) {
        for (const std::string& fault : testing_support::layoutFaults(root)) ADD_FAILURE() << piece << ": " << fault;
    }
    // A sheet fits and hangs no lower than the window's bottom edge, all its content in it.
    void expectFitsInWindow(const std::string& piece, const platform::ui::Window& sheet, const platform::ui::View& root) {
        expectFits(piece, root);
        EXPECT_LE(sheet.size().height, main_.size().height) << piece;
        EXPECT_LE(root.frame().maxY(), sheet.size().height + testing_support::layoutSlack) << piece;
    }

    platform::ui::headless::HeadlessWindow main_{GetParam().window, GetParam().scale};
    testing::PanelGallery gallery_{main_, [this] { loop_.runPending(); }};
};

TEST_P(PanelLayout, SettingsFits) {
    for (const char* mode : {"acceptEdits", "manual", "auto"}) {
        Store::shared().setPermissionMode(mode);
        auto settings = gallery_.settings();
        expectFitsInWindow(std::string("settings ") + mode, *settings->panel(), settings->content());
        // The sheet is as tall as its rows.
        EXPECT_EQ(settings->panel()->size().height, settings->closeButton().frame().maxY() + 16);
        gallery_.endSheet();
    }
    Store::shared().setPermissionMode("manual");
}

TEST_P(PanelLayout, HistoryFits) {
    auto history = gallery_.history();
    expectFitsInWindow("history", *history->panel(), history->content());
    gallery_.endSheet();
    testing::PanelGallery::clearHistory();
    expectFits("empty history", gallery_.history()->content());
}

TEST_P(PanelLayout, PickerFits) {
    for (bool shell : {false, true}) {
        auto picker = gallery_.picker(shell);
        ASSERT_EQ(picker->chips().size(), 3u);
        expectFitsInWindow(shell ? "shell picker" : "picker", *picker->panel(), picker->content());
        gallery_.endSheet();
    }
}

TEST_P(PanelLayout, BrowsersFits) {
    auto none = gallery_.browsersPanel(false);
    expectFits("browsers, none", none->content());
    gallery_.endSheet();
    auto listed = gallery_.browsersPanel(true);
    ASSERT_EQ(listed->rows().size(), 2u);
    expectFitsInWindow("browsers", *listed->panel(), listed->content());
}

TEST_P(PanelLayout, GuideFits) {
    auto guide = gallery_.guide();
    expectFitsInWindow("guide", *guide->panel(), guide->content());
}

TEST_P(PanelLayout, ReaderHeaderFits) {
    platform::ui::WebView::setEngineAvailable(true);
    ReaderWindow& reader = gallery_.reader();
    ASSERT_TRUE(reader.panel() && reader.panel()->contentView());
    expectFits("reader", *reader.panel()->contentView());
    reader.hide();
    platform::ui::WebView::setEngineAvailable(false);
}

TEST_P(PanelLayout, LookPopoverFits) { expectFits("look popover", gallery_.look()->view()); }

TEST_P(PanelLayout, OnboardingCardFits) {
    for (double width : {1720.0, 960.0}) {
        for (const auto& state : testing::PanelGallery::cardStates) {
            auto card = gallery_.card(width, state);
            expectFits(std::string("onboarding ") + state.name + " at " + std::to_string(int(width)), *card);
        }
    }
}

// The bar, and the bar whose line says that saves fail or that entries were left out: that line
// whole (brief, a failure's cause first), the whole text its tool tip.
TEST_P(PanelLayout, BarFits) {
    const struct {
        double width;
        bool savesFail;
        const char* message = nullptr;  // said to the bar, with the longest sizes it names
    } bars[] = {{1720, false}, {960, false}, {1720, true}, {960, true},
                {960, true, "paste_no_answer"}, {960, false, "paste_cut_stopped"}, {960, false, "paste_cut_gone"},
                {960, false, "paste_cut_limit"}, {960, false, "paste_too_large"}, {960, false, "paste_picture_not_kept"},
                {960, false, "paste_waiting"}, {960, false, "paste_coming"}, {960, false, "paste_cut_slow"},
                {960, false, "paste_cut_interrupted"}, {960, false, "paste_stopped"}, {960, false, "paste_dropped"},
                {960, false, "paste_picture_too_large"}, {960, false, "paste_picture_unreadable"},
                {960, false, "paste_going_out"}, {960, false, "paste_wrong_type"}, {960, false, "paste_cut_wrong_type"},
                {960, false, "paste_items_stopped"}, {960, false, "paste_items_stopped_answering"},
                {960, false, "paste_items_gone"}, {960, false, "paste_items_too_large"}, {960, false, "paste_picture_too_big"}};
    for (const auto& b : bars) {
        const std::string piece = (b.savesFail ? "bar saying saves fail at " : "bar at ") + std::to_string(int(b.width));
        const auto bar = b.savesFail ? gallery_.barSayingSavesFail(b.width) : gallery_.bar(b.width);
        if (b.message) {
            const std::string whole = t(b.message, {tByteSize((size_t{1} << 30) - 100'000), tByteSize(size_t{1} << 30)});
            BarMessage::say(t(std::string(b.message) + "_brief", {tByteSize((size_t{1} << 30) - 100'000), tByteSize(size_t{1} << 30)}), whole);
            loop_.runPending();
            expectFits(piece + " with " + b.message, *bar);
            EXPECT_FALSE(bar->notice().isHidden()) << b.message;
            EXPECT_LE(bar->notice().fittingSize().width, bar->notice().frame().width + testing_support::layoutSlack) << b.message;
            EXPECT_EQ(bar->notice().toolTip(), whole) << b.message;
            continue;
        }
        expectFits(piece, *bar);
        if (!b.savesFail) continue;
        EXPECT_FALSE(bar->notice().isHidden()) << piece;
        EXPECT_EQ(bar->notice().text(), *StateNotice::briefSaveLine(gallery_.failingStore())) << piece;
        EXPECT_EQ(bar->notice().toolTip(), *StateNotice::saveLine(gallery_.failingStore())) << piece;
    }
    // The state's lines in brief, whole in their tips: entries left out, a run started afresh,
    // and saves that work again (the failing store's next try reaches the disk).
    auto savedAgain = gallery_.barSayingSavesFail(960);
    loop_.advance(Store::saveRetry);
    gallery_.failingStore().flush();
    loop_.runPending();
    const struct {
        const char* name;
        std::unique_ptr<BarView> bar;
        std::string whole;
    } lines[] = {
        {"entries were left out", gallery_.barSayingRecordsLeftOut(960), *StateNotice::line(gallery_.leftOutStore())},
        {"the run started afresh", gallery_.barSayingStartedAfresh(960), *StateNotice::line(gallery_.afreshStore())},
        {"saves work again", std::move(savedAgain), t("state_saved_again_line")},
    };
    for (const auto& line : lines) {
        const platform::ui::Label& notice = line.bar->notice();
        expectFits(std::string("bar saying ") + line.name + " at 960", *line.bar);
        EXPECT_FALSE(notice.isHidden()) << line.name;
        EXPECT_NE(notice.text(), line.whole) << line.name;
        EXPECT_LE(notice.fittingSize().width, notice.frame().width + testing_support::layoutSlack) << line.name;
        EXPECT_EQ(notice.toolTip(), line.whole) << line.name;
    }
}

// A tile's card on a roomy wall and on the narrowest a small screen lays out (four and five
// columns at 960 points): the title editor's field and buttons, and the ended program's two
// buttons, whole inside the card and apart.
TEST_P(PanelLayout, TileCardFits) {
    using State = testing::PanelGallery::TileCardState;
    for (double width : {600.0, 400.0, 217.0, 170.0}) {
        const std::string at = " at " + std::to_string(int(width));
        platform::ui::FlippedView ground;
        main_.setContentView(&ground);
        auto renaming = gallery_.tileCard(width, State::renaming);
        ground.addSubview(renaming.view.get());
        expectFits("renaming tile" + at, *renaming.view);
        renaming.view->removeFromSuperview();

        auto ended = gallery_.tileCard(width, State::ended);
        ground.addSubview(ended.view.get());
        const platform::ui::View& veil = ended.view->deadVeil();
        const Rect inside = veil.bounds();
        std::vector<Rect> buttons;
        for (const platform::ui::DrawnButton* button : {&ended.view->resumeButton(), &ended.view->restartButton()}) {
            ASSERT_FALSE(button->isHidden()) << at;
            const Rect frame = button->frame();
            const std::string name = button->attributedTitle().string() + at;
            // Whole where the veil holds it (a title longer than the card is cut at its end).
            EXPECT_GE(frame.width + testing_support::layoutSlack, std::min(button->fittingSize().width + 24, inside.width - 32))
                << name;
            EXPECT_TRUE(frame.x >= inside.x - testing_support::layoutSlack && frame.maxX() <= inside.maxX() + testing_support::layoutSlack)
                << name << " leaves the card";
            buttons.push_back(frame);
        }
        EXPECT_TRUE(buttons[0].maxX() <= buttons[1].x + testing_support::layoutSlack ||
                    buttons[0].maxY() <= buttons[1].y + testing_support::layoutSlack)
            << at;
        ended.view->removeFromSuperview();
        main_.setContentView(nullptr);
    }
}

// An ended tile on a full wall of a small screen (960 × 600, less the title and menu bars): its
// buttons stay inside its low veil, side by side, clear of the header's title and status line.
TEST_P(PanelLayout, AnEndedTileOnAFullSmallWallKeepsItsHeaderClear) {
    using State = testing::PanelGallery::TileCardState;
    for (size_t count : {20u, 25u}) {
        WallGeometry wall;
        wall.width = 960, wall.height = 513, wall.count = count;
        const platform::gfx::Size cell = wall.cell();
        platform::ui::FlippedView ground;
        main_.setContentView(&ground);
        auto ended = gallery_.tileCard(cell.width, State::ended, cell.height);
        ground.addSubview(ended.view.get());
        const Rect veil = ended.view->deadVeil().convertToWindow(ended.view->deadVeil().bounds());
        const Rect resume = ended.view->resumeButton().convertToWindow(ended.view->resumeButton().bounds());
        const Rect restart = ended.view->restartButton().convertToWindow(ended.view->restartButton().bounds());
        for (const Rect& button : {resume, restart}) {
            EXPECT_TRUE(button.y >= veil.y - testing_support::layoutSlack && button.maxY() <= veil.maxY() + testing_support::layoutSlack) << count;
            for (platform::ui::View* header : std::initializer_list<platform::ui::View*>{&ended.view->subLabel(), &ended.view->titleLabel()})
                EXPECT_LE(button.intersection(header->convertToWindow(header->bounds())).height, 0) << count;
        }
        EXPECT_LE(resume.intersection(restart).width, 0) << count;
        ended.view->removeFromSuperview();
        main_.setContentView(nullptr);
    }
}

std::vector<LayoutCase> everyCase() {
    std::vector<LayoutCase> cases;
    for (Lang lang : Lang::allCases()) {
        for (bool dark : {true, false}) {
            for (double scale : {1.0, 2.0}) cases.push_back({lang, dark, scale});
        }
        // A small screen's window: sizes do not change with the theme or the scale.
        cases.push_back({lang, false, 1.0, {960, 600}});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryLanguageThemeAndScale, PanelLayout, ::testing::ValuesIn(everyCase()), [](const auto& info) {
    const LayoutCase& c = info.param;
    return std::string(c.lang.rawValue()) + (c.dark ? "_dark" : "_light") + (c.scale > 1 ? "_2x" : "_1x") +
           (c.window.width < 1720 ? "_960x600" : "");
});

}  // namespace
}  // namespace quiltdeck
