#include "quiltdeck/panels/BrandView.h"

#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "support/CanvasInk.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;
using platform::ui::headless::HeadlessWindow;
using testing::rgb;

class BrandViewTest : public testing::PanelTest {
protected:
    ~BrandViewTest() override { Store::shared().setMarkStyle("converge"); }

    // The glyph alone (the word mark's frame lies right of 24), drawn at scale 2.
    std::vector<uint32_t> glyphPixels(BrandView& brand) {
        HeadlessWindow window({200, 52}, 2);
        window.setContentView(&brand);
        brand.setFrame({0, 0, 24, 52});
        window.display();
        window.setContentView(nullptr);
        const auto image = window.surface().image();
        return image.pixels;
    }
};

TEST_F(BrandViewTest, ShowsTilesAndDotsAndConvergeForEverythingElse) {
    const std::pair<const char*, MarkStyle> cases[] = {
        {"tiles", MarkStyle::tiles}, {"dots", MarkStyle::dots},   {"converge", MarkStyle::converge},
        {"chevrons", MarkStyle::converge}, {"zz", MarkStyle::converge}, {"", MarkStyle::converge},
    };
    for (const auto& [stored, shown] : cases) EXPECT_EQ(BrandView::barStyle(stored), shown) << stored;

    // The bar follows a new choice at the next theme notification, and draws what it names.
    BrandView brand;
    Store::shared().setMarkStyle("converge");
    post(Theme::didChange);
    const auto converge = glyphPixels(brand);
    Store::shared().setMarkStyle("chevrons");
    post(Theme::didChange);
    EXPECT_EQ(brand.style(), MarkStyle::converge);
    EXPECT_EQ(glyphPixels(brand), converge);
    Store::shared().setMarkStyle("dots");
    post(Theme::didChange);
    EXPECT_EQ(brand.style(), MarkStyle::dots);
    EXPECT_NE(glyphPixels(brand), converge);
}

// The mark's margin lies left of the view: its ink starts at the view's left edge, in the
// theme's ink.
TEST_F(BrandViewTest, GlyphInkStartsAtTheLeftEdgeInTheThemeInk) {
    for (bool dark : {true, false}) {
        setDark(dark);
        BrandView brand;
        HeadlessWindow window({200, 52}, 1);
        window.setContentView(&brand);
        brand.setFrame({0, 0, 200, 52});
        EXPECT_EQ(brand.glyphFrame(), (Rect{-6.4, 10, 32, 32}));
        window.display();
        const auto& surface = window.surface();
        const auto box = platform::gfx::testing::inkBox(surface);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_LE(box.x0, 1);
        // The most opaque pixel of the glyph has the ink's colour.
        uint32_t strongest = 0;
        for (int y = 0; y < 52; ++y)
            for (int x = 0; x < 20; ++x)
                if ((surface.pixel(x, y) >> 24) > (strongest >> 24)) strongest = surface.pixel(x, y);
        EXPECT_EQ(strongest, (dark ? rgb(233, 235, 237) : rgb(20, 22, 26)).premultipliedArgb());
        window.setContentView(nullptr);
    }
}

TEST_F(BrandViewTest, WordMarkIsTwoRunsInTheInkWithTightKerning) {
    BrandView brand({0, 0, 200, 52});
    const auto& runs = brand.word().runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "Quilt");
    EXPECT_EQ(runs[1].text, "deck");
    EXPECT_EQ(runs[0].attributes.font.weight, platform::gfx::FontWeight::bold);
    EXPECT_EQ(runs[1].attributes.font.weight, platform::gfx::FontWeight::regular);
    for (const auto& run : runs) {
        EXPECT_EQ(run.attributes.font.size, 13.5);
        EXPECT_EQ(run.attributes.kern, -0.1);
        EXPECT_EQ(run.attributes.color, rgb(233, 235, 237));
    }
    const Rect word = brand.wordFrame();
    EXPECT_DOUBLE_EQ(word.x, 24.2);
    EXPECT_DOUBLE_EQ(word.y + word.height / 2, 26);
}

}  // namespace
}  // namespace quiltdeck
