#include "quiltdeck/wall/HeaderWash.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

TEST(HeaderWashTest, StrongestAlongTheBottomEdge) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    platform::ui::headless::HeadlessWindow window({100, 60}, 1);
    HeaderWash wash;
    window.setContentView(&wash);
    wash.setTint(platform::gfx::Rgba{1, 0, 0, 1});
    for (const auto& [dark, alpha] : {std::pair{true, 0.18}, std::pair{false, 0.14}}) {
        Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
        window.display();
        auto alphaAt = [&](int y) { return static_cast<int>(window.pixel(50, y) >> 24); };
        EXPECT_NEAR(alphaAt(59), alpha * 255, 3) << dark;
        EXPECT_LE(alphaAt(0), 1);
        for (int y = 1; y < 60; ++y) EXPECT_GE(alphaAt(y), alphaAt(y - 1)) << y;
    }
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
    window.setContentView(nullptr);
}

}  // namespace
}  // namespace quiltdeck
