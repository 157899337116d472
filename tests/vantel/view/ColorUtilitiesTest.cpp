#include "vantel/view/ColorUtilities.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantel;
using platform::gfx::Rgba;

TEST(ColorUtilities, DimmedColorIsHalfwayAndKeepsItsAlpha) {
    EXPECT_EQ(dimmedColor({1, 1, 1, 1}, {0, 0, 0, 1}), (Rgba{0.5, 0.5, 0.5, 1}));
    EXPECT_EQ(dimmedColor({1, 0, 0.5, 0.25}, {0, 1, 0.5, 1}), (Rgba{0.5, 0.5, 0.5, 0.25}));
    Rgba broken{std::nan(""), 0, 0, 1};
    EXPECT_EQ(dimmedColor({1, 1, 1, 1}, broken), (Rgba{1, 1, 1, 1}));
}

TEST(ColorUtilities, TerminalColorsHaveSixteenBitChannels) {
    struct Case {
        Rgba rgba;
        Color color;
    } cases[] = {{{1, 0.5, 0, 1}, Color(65535, 32767, 0)},
                 {{1.5, -0.2, 0.25, 1}, Color(65535, 0, 16383)},
                 {{std::nan(""), 0, 0, 1}, Color::defaultForeground}};
    for (const Case& c : cases) EXPECT_EQ(getTerminalColor(c.rgba), c.color);
    Rgba made = makeRgba(Color(65535, 0, 32767));
    EXPECT_EQ(made.red, 1);
    EXPECT_EQ(made.green, 0);
    EXPECT_NEAR(made.blue, 0.5, 1e-4);
    EXPECT_EQ(made.alpha, 1);
}
