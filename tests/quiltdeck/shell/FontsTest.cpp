#include "quiltdeck/shell/Fonts.h"

#include <gtest/gtest.h>

#include "platform/gfx/ApplicationFonts.h"
#include "quiltdeck/shell/Resources.h"
#include "quiltdeck/shell/StoredSettings.h"
#include "support/ForeignPlatformWords.h"

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

// The default is the carried face, also as earlier versions stored it; the system's monospaced
// font is a choice of its own, and no choice names another desktop's font.
TEST(FontsTest, TheDefaultChoiceIsTheCarriedFont) {
    const std::string monospace = platform::gfx::Font::systemFont(12)->family();
    const struct {
        const char* stored;
        std::string_view choice;
        std::string family;
    } cases[] = {
        {"JetBrains Mono", "JetBrains Mono", "JetBrains Mono"},
        {"SF Mono", "JetBrains Mono", "JetBrains Mono"},
        {"Monospace", "Monospace", monospace},
        {"Comic Sans", "Comic Sans", monospace},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fonts::choiceOf(c.stored), c.choice) << c.stored;
        EXPECT_EQ(Fonts::terminal(12, c.stored)->family(), c.family) << c.stored;
    }
    EXPECT_EQ(StoredSettings::defaultFontName, Fonts::carriedTerminalFont);
}

// The list offers the system's monospaced font, the carried one, and the monospaced families the
// system really has (here the tests' own fonts): each draws in itself, none is another desktop's.
TEST(FontsTest, TheChoicesAreTheMonospacedFontsThatExist) {
    const std::vector<Fonts::Choice> choices = Fonts::choices();
    ASSERT_GE(choices.size(), 3u);
    EXPECT_EQ(choices[0], (Fonts::Choice{"Monospace", std::nullopt}));
    EXPECT_EQ(choices[1], (Fonts::Choice{"JetBrains Mono", "JetBrains Mono"}));
    std::vector<std::string> labels;
    for (const auto& choice : choices) {
        labels.push_back(choice.label);
        EXPECT_EQ(testing_support::foreignPlatformWord(choice.label), std::nullopt) << choice.label;
        if (!choice.family) continue;
        EXPECT_EQ(choice.label, *choice.family);
        EXPECT_EQ(Fonts::terminal(12, choice.label)->family(), *choice.family);
    }
    // The tests' fonts: the one monospaced DejaVu face; neither the proportional faces nor the
    // emoji font, which fontconfig also calls monospaced.
    const std::vector<std::string> expected = {"Monospace", "JetBrains Mono", "DejaVu Sans Mono"};
    EXPECT_EQ(labels, expected);
}

}  // namespace
}  // namespace quiltdeck
