#include "quiltdeck/panels/PillButton.h"

#include "platform/ui/PopUpButton.h"
#include "quiltdeck/panels/PanelTestSupport.h"

namespace quiltdeck {
namespace {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using platform::ui::Button;
using testing::rgb;

class PillButtonTest : public testing::PanelTest {};

TEST_F(PillButtonTest, EndsStayHalfCirclesAtAnyHeight) {
    for (double height : {28.0, 10.0, 41.0}) {
        PillButton pill;
        pill.setFrame({0, 0, 90, height});
        ASSERT_TRUE(pill.look());
        EXPECT_DOUBLE_EQ(pill.look()->cornerRadius, height / 2) << height;
    }
}

TEST_F(PillButtonTest, LooksByAccentAndTheme) {
    struct Case {
        bool dark, accent;
        Rgba fill;
        double border;
        FontWeight weight;
        Rgba title;
    } cases[] = {
        {true, true, rgb(237, 239, 241), 0, FontWeight::semibold, rgb(11, 12, 13)},
        {false, true, rgb(20, 22, 26), 0, FontWeight::semibold, rgb(255, 255, 255)},
        {true, false, rgb(25, 27, 29), 1, FontWeight::regular, rgb(233, 235, 237)},
        {false, false, rgb(255, 255, 255), 1, FontWeight::regular, rgb(20, 22, 26)},
    };
    for (const Case& c : cases) {
        setDark(c.dark);
        auto pill = PillButton::make("Close", nullptr, c.accent);
        const std::string name = std::string(c.dark ? "dark" : "light") + (c.accent ? " accent" : " plain");
        ASSERT_TRUE(pill->look() && pill->attributedTitle()) << name;
        EXPECT_EQ(pill->look()->fill, c.fill) << name;
        EXPECT_EQ(pill->look()->borderWidth, c.border) << name;
        EXPECT_EQ(pill->look()->borderColor, c.dark ? (Rgba{1, 1, 1, 0.08}) : (Rgba{0, 0, 0, 0.10})) << name;
        EXPECT_EQ(pill->attributedTitle()->string(), "Close") << name;
        EXPECT_EQ(testing::runAt(*pill->attributedTitle(), 0).font.weight, c.weight) << name;
        EXPECT_EQ(testing::runAt(*pill->attributedTitle(), 0).font.size, 12) << name;
        EXPECT_EQ(testing::runAt(*pill->attributedTitle(), 0).color, c.title) << name;
        EXPECT_FALSE(pill->isBordered()) << name;
        EXPECT_FALSE(pill->showsFocusRing()) << name;
    }
}

TEST_F(PillButtonTest, ANewTitleWithoutRestyleHasNoPillFont) {
    auto pill = PillButton::make("Close", nullptr, true);
    pill->setTitle("Done");
    EXPECT_FALSE(pill->attributedTitle());
    pill->restyle();
    ASSERT_TRUE(pill->attributedTitle());
    EXPECT_EQ(pill->attributedTitle()->string(), "Done");
}

// Which buttons of a tree are pillified, and the radius each gets from its height.
TEST_F(PillButtonTest, PillifiesThePlainButtonsOfATree) {
    platform::ui::View root;
    Button plain, shortButton, checkBox(Button::Type::checkBox), kept(Button::Type::checkBox), withImage, nested, insidePopUp;
    platform::ui::PopUpButton popUp;
    auto accentPill = PillButton::make("Close", nullptr, true);
    PillButton& accent = *accentPill;
    plain.setFrame({0, 0, 80, 28});
    shortButton.setFrame({0, 0, 80, 10});
    checkBox.setFrame({0, 0, 80, 18});
    kept.setFrame({0, 0, 80, 18});
    kept.setIdentifier(std::string(noPill));
    withImage.setFrame({0, 0, 28, 28});
    withImage.setImage(platform::gfx::Image{1, 1, {0xFF000000u}});
    nested.setFrame({0, 0, 60, 30});
    insidePopUp.setFrame({0, 0, 60, 20});
    accent.setFrame({0, 0, 80, 28});
    for (platform::ui::View* v : std::initializer_list<platform::ui::View*>{&plain, &shortButton, &checkBox, &kept, &withImage, &popUp, &accent})
        root.addSubview(v);
    withImage.addSubview(&nested);
    popUp.addSubview(&insidePopUp);

    pillifyButtons(root);

    struct Case {
        const char* name;
        Button* button;
        std::optional<double> radius;  // none: left alone
    } cases[] = {
        {"plain", &plain, 14},          {"short", &shortButton, 6},   {"checkBox", &checkBox, 9},
        {"noPill", &kept, std::nullopt}, {"image", &withImage, std::nullopt}, {"belowImage", &nested, 15},
        {"belowPopUp", &insidePopUp, 10}, {"accentPill", &accent, 14},
    };
    for (const Case& c : cases) {
        if (!c.radius) {
            EXPECT_FALSE(c.button->look()) << c.name;
            continue;
        }
        ASSERT_TRUE(c.button->look()) << c.name;
        EXPECT_EQ(c.button->look()->cornerRadius, *c.radius) << c.name;
        EXPECT_EQ(c.button->look()->fill, rgb(25, 27, 29)) << c.name;
        EXPECT_EQ(c.button->look()->borderWidth, 1) << c.name;
        EXPECT_FALSE(c.button->isBordered()) << c.name;
    }
    // The title keeps its font and colour: the accent pill's title is still semibold.
    EXPECT_EQ(testing::runAt(*accent.attributedTitle(), 0).font.weight, FontWeight::semibold);
}

TEST_F(PillButtonTest, TheRootItselfIsNotPillified) {
    Button root;
    root.setFrame({0, 0, 80, 28});
    pillifyButtons(root);
    EXPECT_FALSE(root.look());
}

}  // namespace
}  // namespace quiltdeck
