// The tile card as drawn on the headless backend: checked by properties of its pixels, and
// against two golden images (a busy tile with metrics and headlines, dark and light). After a
// deliberate change of the drawing, regenerate them with
//   QUILTDECK_UPDATE_GOLDENS=1 build/release/tests/quiltdeck_tests --gtest_filter='TileCardDrawn.*'
// and look at them before committing.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>

#include "platform/gfx/Canvas.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileView.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Rgba;

// A busy assistant tile with a real terminal, two numbers and three headlines.
class BusyTile : public testing::FakeTile {
public:
    explicit BusyTile(const TileRequest& request) : FakeTile(request) {
        screen.setTerminalDelegate(&owner);
        metricList = {{"cost", "$1.84", {}, {}, {}}, {"tests", "212", {}, {}, {}}};
        feedData = Store::Feed{"News", "", 300, {{"Release notes are out", "https://example.com/a"},
                                                 {"A plain headline", ""},
                                                 {"Third headline", "https://example.com/c"}},
                               {}};
        const std::string bytes = "\x1b[1;32m$\x1b[m make test\r\n\x1b[36mrunning\x1b[m 212 tests\r\n";
        screen.feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    platform::ui::View& view() override { return screen; }
    vantel::TerminalView* terminal() override { return &screen; }
    const std::vector<Store::Metric>& metrics() const override { return metricList; }
    const std::optional<Store::Feed>& feed() const override { return feedData; }
    std::string name() const override { return request.name; }
    std::string tool() const override { return "Bash"; }

    vantel::TerminalView screen{Rect{0, 0, 600, 400}};
    vantel::testing::RecordingViewOwner owner;
    std::vector<Store::Metric> metricList;
    std::optional<Store::Feed> feedData;
};

struct Unpremultiplied {
    int r, g, b, a;
};
Unpremultiplied channels(uint32_t p) {
    const int a = static_cast<int>(p >> 24);
    if (a == 0) return {0, 0, 0, 0};
    auto c = [a](uint32_t v) { return static_cast<int>((v & 0xFF) * 255 / static_cast<uint32_t>(a)); };
    return {c(p >> 16), c(p >> 8), c(p), a};
}

class TileCardDrawn : public ::testing::Test {
protected:
    TileCardDrawn() {
        Store::shared().setMinFontSize(11.5);
        window.setContentView(&root);
        root.setLayerBackgroundColor(wall);
    }
    ~TileCardDrawn() override {
        card.reset();
        window.setContentView(nullptr);
        Theme::setMode(ThemeMode::dark);
        Theme::resolve();
    }
    void draw(bool dark) {
        Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
        TileRequest request;
        request.cwd = "/tmp/drawn-project";
        request.name = "drawn-project";
        // The card goes before the tile it shows.
        card.reset();
        tile = std::make_unique<BusyTile>(request);
        card = std::make_unique<TileView>(*tile);
        card->setIndexText("2");
        root.addSubview(card.get());
        card->setFrame(Rect{40, 30, 560, 420});
        card->refresh();
        loop.advance(1s);
        window.display();
    }
    uint32_t pixel(double x, double y) const { return window.pixel(static_cast<int>(x * scale), static_cast<int>(y * scale)); }
    int luminance(double x, double y) const {
        const auto c = channels(pixel(x, y));
        return (c.r * 3 + c.g * 6 + c.b) / 10;
    }

    static constexpr double scale = 2;
    const Rgba wall = Rgba::fromBytes(60, 60, 66);
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{640, 520}, scale};
    platform::ui::FlippedView root;
    std::unique_ptr<BusyTile> tile;
    std::unique_ptr<TileView> card;
};

TEST_F(TileCardDrawn, CornersShadowAndWash) {
    for (bool dark : {true, false}) {
        draw(dark);
        // The rounded corner shows the wall; the card's own ground is just inside it.
        const auto corner = channels(pixel(41, 31));
        EXPECT_NEAR(corner.r, 60, 12) << dark;
        const Rgba ground = dark ? Rgba::fromBytes(18, 19, 21) : Rgba::fromBytes(244, 243, 241);
        EXPECT_NEAR(channels(pixel(300, 34)).r, ground.red * 255, 14) << dark;
        // The shadow falls below the card, darker than the wall, and hardly above it.
        const int below = luminance(320, 455), above = luminance(320, 25);
        EXPECT_LT(below, above) << dark;
        EXPECT_LT(below, 59) << dark;
        // The wash is strongest at its bottom edge and fades towards the top of the card: measured
        // as the distance from the card's ground beside the band, just above the terminal, and
        // under the top edge.
        auto tinted = [&](double y) {
            const auto c = channels(pixel(560, y));
            return std::abs(c.r - ground.red * 255) + std::abs(c.g - ground.green * 255) + std::abs(c.b - ground.blue * 255);
        };
        const double bodyTop = 30 + card->headerHeightNow() + card->feedH();
        EXPECT_GT(tinted(bodyTop - 2), tinted(34) + 6) << dark;
    }
}

// Whatever tint a folder takes, an idle dot cannot be taken for a waiting or a done one: it differs
// in shape (a ring, where they are filled) or, failing that, in colour by more than a bound.
TEST_F(TileCardDrawn, TheIdleDotIsNeverTakenForWaitingOrDone) {
    constexpr double distinctColour = 80;  // RGB distance that reads as another colour
    auto distance = [](Unpremultiplied a, Unpremultiplied b) {
        return std::hypot(a.r - b.r, a.g - b.g, a.b - b.b);
    };
    // The dot's middle, and a point on its rim (0.6 pt inside its left edge), in the window.
    const platform::gfx::Point middle{40 + 23, 30 + 26}, rim{40 + 20.6, 30 + 26};
    struct Drawn {
        Unpremultiplied middle, rim;
        bool filled;
    };
    auto dotAs = [&](SessionStatus status, bool finished) {
        if (finished) tile->finishTurn();
        else tile->setStatus(status);
        if (!finished) tile->clearFinished();
        card->refresh();
        window.display();
        Drawn d{channels(pixel(middle.x, middle.y)), channels(pixel(rim.x, rim.y)), false};
        d.filled = distance(d.middle, d.rim) < 30;
        return d;
    };
    std::vector<uint32_t> palette(Tints::dark.begin(), Tints::dark.end());
    palette.insert(palette.end(), Tints::light.begin(), Tints::light.end());
    for (bool dark : {true, false}) {
        draw(dark);
        for (const uint32_t tint : palette) {
            SCOPED_TRACE((dark ? "dark, tint " : "light, tint ") + Tints::hex(tint));
            Store::shared().setTileColor(tile->cwd(), Tints::hex(tint));
            card->applyTheme();
            const Drawn idle = dotAs(SessionStatus::idle, false);
            EXPECT_LT(distance(idle.rim, channels(Tints::colour(tint).premultipliedArgb())), 40);
            for (const bool done : {false, true}) {
                const Drawn other = dotAs(SessionStatus::waiting, done);
                const bool shapes = !idle.filled && other.filled;
                EXPECT_TRUE(shapes || distance(idle.rim, other.middle) > distinctColour) << (done ? "done" : "waiting");
            }
        }
        Store::shared().setTileColor(tile->cwd(), std::nullopt);
    }
}

TEST_F(TileCardDrawn, GoldenBusyTiles) {
    for (bool dark : {true, false}) {
        draw(dark);
        const std::string path =
            std::string(QUILTDECK_TEST_DATA) + (dark ? "/wall/tile-busy-dark.png" : "/wall/tile-busy-light.png");
        const platform::gfx::Canvas& drawn = window.surface();
        if (std::getenv("QUILTDECK_UPDATE_GOLDENS")) {
            ASSERT_TRUE(drawn.writePng(path));
            continue;
        }
        cairo_surface_t* golden = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << path;
        ASSERT_EQ(cairo_image_surface_get_width(golden), drawn.pixelWidth());
        ASSERT_EQ(cairo_image_surface_get_height(golden), drawn.pixelHeight());
        cairo_surface_flush(golden);
        const unsigned char* data = cairo_image_surface_get_data(golden);
        const int stride = cairo_image_surface_get_stride(golden);
        int differing = 0;
        for (int y = 0; y < drawn.pixelHeight(); ++y) {
            for (int x = 0; x < drawn.pixelWidth(); ++x) {
                const auto want = channels(reinterpret_cast<const uint32_t*>(data + y * stride)[x]);
                const auto got = channels(drawn.pixel(x, y));
                differing += std::abs(want.r - got.r) > 32 || std::abs(want.g - got.g) > 32 ||
                             std::abs(want.b - got.b) > 32 || std::abs(want.a - got.a) > 32;
            }
        }
        cairo_surface_destroy(golden);
        EXPECT_LE(differing, drawn.pixelWidth() * drawn.pixelHeight() / 200) << path;
    }
}

}  // namespace
}  // namespace quiltdeck
