#include "quiltdeck/shell/Fonts.h"

#include <gtest/gtest.h>

#include "platform/gfx/ApplicationFonts.h"
#include "quiltdeck/shell/Resources.h"

namespace quiltdeck {
namespace {

using platform::gfx::FontWeight;

// The build lays the carried fonts out beside the test programs as it does beside the program.
TEST(FontsTest, CarriedFacesAreRegisteredOnce) {
    ASSERT_TRUE(std::filesystem::exists(Resources::folder() / "fonts" / "Inter-SemiBold.otf"))
        << Resources::folder();
    Fonts::registerBundled();  // whichever test came first already did it
    EXPECT_EQ(Fonts::registerBundled(), 0);
    const auto mono = Fonts::terminal(12.5, "JetBrains Mono");
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->family(), "JetBrains Mono");
    EXPECT_EQ(mono->size(), 12.5);
}

TEST(FontsTest, InterfaceFontByWeight) {
    const struct {
        FontWeight weight;
        std::optional<std::string> face;  // none: the system font of that weight
    } cases[] = {
        {FontWeight::regular, "Inter-Regular"},
        {FontWeight::medium, "Inter-Medium"},
        {FontWeight::semibold, "Inter-SemiBold"},
        {FontWeight::bold, "Inter-Bold"},
        {FontWeight::light, std::nullopt},
        {FontWeight::heavy, std::nullopt},
    };
    for (const auto& test : cases) {
        const auto font = Fonts::ui(15, test.weight);
        EXPECT_EQ(font.face, test.face) << static_cast<int>(test.weight);
        EXPECT_EQ(font.isSystem(), !test.face);
        EXPECT_EQ(font.weight, test.weight);
        EXPECT_EQ(font.size, 15);
    }
}

TEST(FontsTest, MissingCarriedFontsFallBackToTheSystemFont) {
    Fonts::registerBundled();
    // Only the family decides: a family fontconfig substitutes is no face of its own.
    EXPECT_FALSE(platform::gfx::ApplicationFonts::faceName("Quiltdeck No Such Family", FontWeight::regular));
    EXPECT_EQ(platform::gfx::ApplicationFonts::faceName("inter", FontWeight::bold), "Inter-Bold");
}

}  // namespace
}  // namespace quiltdeck
