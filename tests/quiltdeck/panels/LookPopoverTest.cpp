#include "quiltdeck/panels/LookPopover.h"

#include "platform/ui/Modals.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessPopovers.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/sessions/Branding.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Tints.h"
#include "support/PngOfSize.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;
using platform::ui::headless::HeadlessModals;

std::string png(int width, int height) {
    const std::vector<uint8_t> bytes = testing::pngOfSize(width, height);
    return std::string(bytes.begin(), bytes.end());
}

class LookPopoverTest : public testing::PanelTest {
protected:
    LookPopoverTest() { platform::ui::Modals::reset(); }
    ~LookPopoverTest() override {
        Store::shared().setTileColor(cwd(), std::nullopt);
        Store::shared().setTileLogo(cwd(), std::nullopt);
        platform::ui::Modals::reset();
    }

    std::string cwd() const { return folder_.path().string() + "/acme"; }
    // Logo candidates in the folder: logo files in its scanned folders.
    void addCandidates(int count) {
        for (int i = 0; i < count; ++i, ++added_) testing::makeFile(cwd() + "/public/logo-" + std::to_string(100 + added_) + ".png", png(4, 4));
    }
    std::shared_ptr<LookPopover> popover() {
        auto made = LookPopover::make(cwd(), [this] { ++changes_; });
        made->dismiss = [this] { ++dismissals_; };
        return made;
    }
    // Which swatches are outlined.
    static std::vector<int> outlined(LookPopover& look) {
        std::vector<int> shown;
        for (const auto& swatch : look.swatches())
            if (swatch->look()->borderWidth > 0) shown.push_back(swatch->tag());
        return shown;
    }

    testing::TempFolder folder_;
    int added_ = 0;
    int changes_ = 0;
    int dismissals_ = 0;
};

TEST_F(LookPopoverTest, HeightFollowsTheCandidates) {
    struct Case {
        int files;
        size_t shown;
        double height;
    } cases[] = {{0, 0, 144}, {1, 1, 232}, {7, 7, 232}, {8, 8, 290}, {12, 12, 290}, {13, 12, 290}};
    int present = 0;
    for (const Case& c : cases) {
        addCandidates(c.files - present);
        present = c.files;
        auto look = popover();
        EXPECT_EQ(look->thumbs().size(), c.shown) << c.files;
        EXPECT_EQ(look->preferredContentSize(), (platform::gfx::Size{436, c.height})) << c.files;
        EXPECT_EQ(look->noLogoButton().frame().y + 40, c.height) << c.files;
    }
    // Thirteen found: twelve shown, in rows of seven and five.
    auto look = popover();
    EXPECT_EQ(look->thumbs()[6]->frame(), (Rect{16 + 58 * 6, 104, 52, 52}));
    EXPECT_EQ(look->thumbs()[7]->frame(), (Rect{16, 162, 52, 52}));
    EXPECT_EQ(look->thumbs()[11]->frame(), (Rect{16 + 58 * 4, 162, 52, 52}));
    EXPECT_EQ(look->autoPickLabel().frame(), (Rect{16, 228, 404, 14}));
    EXPECT_EQ(look->autoPickLabel().text(), "automatic pick: " + std::filesystem::path(look->candidates()[0]).filename().string());
    EXPECT_EQ(look->thumbs()[0]->toolTip(), std::filesystem::path(look->candidates()[0]).filename().string());
}

TEST_F(LookPopoverTest, SwatchChoiceIsStoredAndOutlinedNextTime) {
    auto first = popover();
    EXPECT_TRUE(outlined(*first).empty());
    EXPECT_EQ(first->swatches()[0]->frame(), (Rect{0, 0, 28, 28}));
    EXPECT_EQ(first->swatches()[7]->frame(), (Rect{252, 0, 28, 28}));
    EXPECT_EQ(first->swatches()[0]->look()->fill, testing::rgb(0x7A, 0xA2, 0xE0));
    EXPECT_EQ(first->automaticButton().frame().x, 292);
    EXPECT_EQ(first->automaticButton().frame().y, 4);
    EXPECT_TRUE(first->swatches()[0]->performClick());
    EXPECT_EQ(Store::shared().tileColors().at(cwd()), "7AA2E0");
    EXPECT_EQ(changes_, 1);
    EXPECT_EQ(dismissals_, 1);
    EXPECT_EQ(outlined(*popover()), std::vector<int>{0});
    EXPECT_EQ(popover()->swatches()[0]->look()->borderWidth, 2.5);

    // Compared case-blind; a colour of the other theme's palette outlines none.
    Store::shared().setTileColor(cwd(), "86c1a6");
    EXPECT_EQ(outlined(*popover()), std::vector<int>{1});
    Store::shared().setTileColor(cwd(), "3C6FB5");
    EXPECT_TRUE(outlined(*popover()).empty());
    setDark(false);
    EXPECT_EQ(outlined(*popover()), std::vector<int>{0});
    popover()->pickColour(7);
    EXPECT_EQ(Store::shared().tileColors().at(cwd()), "5B7429");

    popover()->autoColour();
    EXPECT_EQ(Store::shared().tileColors().count(cwd()), 0u);
    EXPECT_EQ(changes_, 3);
}

// The popover reads a stored colour as the tile does: the swatch it outlines is the tint the tile
// shows, and a text the tile cannot read outlines nothing.
TEST_F(LookPopoverTest, OutlinesTheSwatchOfTheTintTheTileShows) {
    struct Case {
        const char* stored;
        std::vector<int> outlined;
    };
    const std::vector<Case> cases = {
        {"7aa2e0", {0}}, {"+7AA2E0", {0}}, {"FF7AA2E0", {0}}, {"a9be7c", {7}},
        {"#7AA2E0", {}}, {"0x7AA2E0", {}}, {"", {}}, {"1FF7AA2E0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Store::shared().setTileColor(cwd(), c.stored);
        auto look = popover();
        EXPECT_EQ(outlined(*look), c.outlined);
        if (!c.outlined.empty()) {
            EXPECT_EQ(look->swatches()[static_cast<size_t>(c.outlined[0])]->look()->fill, Tints::tint(cwd()));
        }
    }
}

TEST_F(LookPopoverTest, LogoChoices) {
    addCandidates(2);
    EXPECT_FALSE(popover()->logoAutomaticButton().isEnabled());
    popover()->noLogoButton().performClick();
    EXPECT_EQ(Store::shared().tileLogos().at(cwd()), "");
    auto look = popover();
    EXPECT_TRUE(look->logoAutomaticButton().isEnabled());  // the empty string counts
    for (const auto& thumb : look->thumbs()) EXPECT_EQ(thumb->look()->borderWidth, 1);
    look->thumbs()[1]->performClick();
    EXPECT_EQ(Store::shared().tileLogos().at(cwd()), look->candidates()[1]);
    auto next = popover();
    EXPECT_EQ(next->thumbs()[1]->look()->borderWidth, 2);
    EXPECT_EQ(next->thumbs()[1]->look()->borderColor, testing::rgb(233, 235, 237));
    EXPECT_EQ(next->thumbs()[0]->look()->borderWidth, 1);
    next->logoAutomaticButton().performClick();
    EXPECT_EQ(Store::shared().tileLogos().count(cwd()), 0u);
    EXPECT_EQ(changes_, 3);
    EXPECT_EQ(dismissals_, 3);
    // The buttons of the row: small, 24 high, 8 apart.
    const Rect pick = next->pickFileButton().frame(), automatic = next->logoAutomaticButton().frame();
    EXPECT_EQ(pick.x, 16);
    EXPECT_EQ(pick.height, 24);
    EXPECT_EQ(pick.width, next->pickFileButton().fittingSize().width + 16);
    EXPECT_EQ(automatic.x, pick.maxX() + 8);
}

// A huge image costs a thumbnail, an undecodable one is an empty thumbnail that can be chosen.
TEST_F(LookPopoverTest, ThumbnailsAreDecodedSmall) {
    testing::makeFile(cwd() + "/public/logo.png", png(2000, 1500));
    testing::makeFile(cwd() + "/public/logo.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='300' height='600'/>");
    testing::makeFile(cwd() + "/public/icon.png", "not an image at all");
    auto look = popover();
    ASSERT_EQ(look->thumbs().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto& image = look->thumbs()[i]->image();
        const std::string name = std::filesystem::path(look->candidates()[i]).filename().string();
        if (name == "icon.png") {
            EXPECT_FALSE(image) << name;
            look->thumbs()[i]->performClick();
            EXPECT_EQ(Store::shared().tileLogos().at(cwd()), look->candidates()[i]);
        } else {
            ASSERT_TRUE(image) << name;
            EXPECT_EQ(std::max(image->width, image->height), 104) << name;
        }
    }
}

TEST_F(LookPopoverTest, ImageChooserStartsInTheFolderAndOnlyAChoiceCounts) {
    popover()->pickFile();
    auto* modals = HeadlessModals::current();
    ASSERT_TRUE(modals->shownFileChooser());
    EXPECT_EQ(modals->shownFileChooser()->initialFolder, cwd());
    EXPECT_EQ(modals->shownFileChooser()->message, "Choose an image to show in this tile's header");
    const auto& types = modals->shownFileChooser()->mimeTypes;
    for (const char* type : {"image/png", "image/jpeg", "image/svg+xml", "image/tiff", "image/webp"})
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
    EXPECT_TRUE(modals->chooseFile("/srv/pictures/mine.png"));  // the popover is gone by now
    EXPECT_EQ(Store::shared().tileLogos().count(cwd()), 0u);

    auto look = popover();
    look->pickFile();
    modals->chooseFile(std::nullopt);
    EXPECT_EQ(Store::shared().tileLogos().count(cwd()), 0u);
    EXPECT_EQ(changes_, 0);
    look->pickFile();
    modals->chooseFile("/srv/pictures/mine.png");
    EXPECT_EQ(Store::shared().tileLogos().at(cwd()), "/srv/pictures/mine.png");
    EXPECT_EQ(changes_, 1);
    EXPECT_EQ(dismissals_, 1);
}

// In its popover: a choice closes it, a click outside closes it without a change.
TEST_F(LookPopoverTest, ShownInAPopoverAtTheTile) {
    platform::ui::headless::HeadlessWindow parent({1200, 800}, 2);
    auto look = popover();
    look->show(parent, {40, 300, 400, 280});
    ASSERT_TRUE(look->popover().isShown());
    EXPECT_EQ(look->popover().window()->size(), (platform::gfx::Size{436, 144}));
    EXPECT_EQ(look->window, &parent);
    look->swatches()[2]->performClick();
    EXPECT_FALSE(look->popover().isShown());
    EXPECT_EQ(Store::shared().tileColors().at(cwd()), "D6A96A");

    auto again = popover();
    again->show(parent, {40, 300, 400, 280});
    static_cast<platform::ui::headless::PopoverWindow*>(again->popover().window())->clickOutside();
    EXPECT_FALSE(again->popover().isShown());
    EXPECT_EQ(changes_, 1);
}

TEST(LookPopoverHex, SixUppercaseDigits) {
    EXPECT_EQ(Tints::hex(0x7AA2E0), "7AA2E0");
    EXPECT_EQ(Tints::hex(0x2F7D5C), "2F7D5C");
}

}  // namespace
}  // namespace quiltdeck
