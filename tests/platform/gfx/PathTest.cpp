#include "platform/gfx/Path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace platform::gfx;

namespace {

struct Step {
    Path::Verb verb;
    std::vector<double> values;
};

std::vector<Step> steps(const Path& path) {
    std::vector<Step> out;
    path.forEach([&](const Path::Element& e) {
        const int n = e.verb == Path::Verb::close ? 0 : e.verb == Path::Verb::move || e.verb == Path::Verb::line ? 2 : 6;
        out.push_back({e.verb, std::vector<double>(e.values, e.values + n)});
    });
    return out;
}

}  // namespace

TEST(Path, LengthOfLinesArcsAndClosedShapes) {
    Path square;
    square.addRect({0, 0, 10, 10});
    EXPECT_DOUBLE_EQ(square.length(), 40);
    Path ring;
    ring.arc({20, 20}, 10, 0, 2 * M_PI);
    EXPECT_NEAR(ring.length(), 20 * M_PI, 1e-9);
    Path rounded;
    rounded.addRoundedRect({0, 0, 20, 10}, 5);
    EXPECT_NEAR(rounded.length(), 2 * 10 + 10 * M_PI, 1e-9);
    Path curve;
    curve.moveTo({0, 0});
    curve.curveTo({0, 0}, {10, 0}, {10, 0});
    EXPECT_NEAR(curve.length(), 10, 1e-6);
    EXPECT_EQ(Path().length(), 0);
}

TEST(Path, TrimmedKeepsTheStretchBetweenTwoFractions) {
    Path ring;
    ring.arc({0, 0}, 10, 0, 2 * M_PI);
    const Path quarter = ring.trimmed(0, 0.25);
    EXPECT_NEAR(quarter.length(), 5 * M_PI, 1e-9);
    const auto arc = steps(quarter);
    ASSERT_EQ(arc.size(), 2u);
    EXPECT_EQ(arc[0].verb, Path::Verb::move);
    EXPECT_NEAR(arc[0].values[0], 10, 1e-9);
    EXPECT_EQ(arc[1].verb, Path::Verb::arc);
    EXPECT_NEAR(arc[1].values[3], 0, 1e-9);
    EXPECT_NEAR(arc[1].values[4], M_PI / 2, 1e-9);

    // A clockwise arc stays clockwise.
    Path back;
    back.arc({0, 0}, 10, 0, -M_PI, true);
    const auto half = steps(back.trimmed(0.5, 1));
    ASSERT_EQ(half.size(), 2u);
    EXPECT_NEAR(half[1].values[3], -M_PI / 2, 1e-9);
    EXPECT_NEAR(half[1].values[4], -M_PI, 1e-9);
    EXPECT_EQ(half[1].values[5], 1);

    // Across a corner of a square: one subpath, two lines.
    Path square;
    square.addRect({0, 0, 10, 10});
    const auto corner = steps(square.trimmed(0.2, 0.3));
    ASSERT_EQ(corner.size(), 3u);
    EXPECT_EQ(corner[0].values, (std::vector<double>{8, 0}));
    EXPECT_EQ(corner[1].values, (std::vector<double>{10, 0}));
    EXPECT_EQ(corner[2].values, (std::vector<double>{10, 2}));

    for (const auto& [from, to] : std::vector<std::pair<double, double>>{{0.5, 0.5}, {0.7, 0.2}, {NAN, 1}}) {
        EXPECT_TRUE(square.trimmed(from, to).isEmpty()) << from << " " << to;
    }
    EXPECT_NEAR(square.trimmed(-1, 2).length(), 40, 1e-9);
    EXPECT_TRUE(Path().trimmed(0, 1).isEmpty());
}
