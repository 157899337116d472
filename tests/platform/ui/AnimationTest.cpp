#include "platform/ui/Animation.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform::ui;

TEST(Animation, TimingFunctions) {
    struct Case {
        TimingFunction timing;
        double fraction;
        double progress;
    } cases[] = {
        {TimingFunction::linear(), 0.3, 0.3},
        {TimingFunction::easeIn(), 0.5, 0.3154},
        {TimingFunction::easeOut(), 0.5, 0.6846},
        {TimingFunction::easeInEaseOut(), 0.5, 0.5},
        {TimingFunction::easeIn(), 0, 0},
        {TimingFunction::easeIn(), 1, 1},
        {TimingFunction::easeIn(), -1, 0},
        {TimingFunction::easeIn(), 2, 1},
        {TimingFunction::easeIn(), std::nan(""), 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.timing.apply(c.fraction), c.progress, 1e-3) << c.fraction;
}

TEST(Animation, ValuesOverTime) {
    Animation fade = Animation::basic(1, 0, 0.7);
    fade.timing = TimingFunction::easeIn();
    fade.autoreverses = true;
    fade.repeatCount = Animation::infinite;
    Animation bell = Animation::keyFrames({0, 0.35, 0}, {0, 0.3, 1}, 0.2);
    Animation twice = Animation::basic(0, 10, 1);
    twice.repeatCount = 2;
    struct Case {
        const Animation* animation;
        double at;
        std::optional<double> value;
    } cases[] = {
        {&fade, 0, 1},       {&fade, 0.35, 0.6846}, {&fade, 0.7, 0},    {&fade, 1.05, 0.6846},
        {&fade, 1.4, 1},     {&fade, 1400.7, 0}, {&bell, 0.06, 0.35}, {&bell, 0.03, 0.175},
        {&bell, 0.13, 0.175}, {&bell, 0.2, std::nullopt}, {&twice, 1.5, 5}, {&twice, 2, std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<double> value = c.animation->valueAt(c.at);
        ASSERT_EQ(value.has_value(), c.value.has_value()) << c.at;
        if (value) {
            EXPECT_NEAR(*value, *c.value, 1e-3) << c.at;
        }
    }
    EXPECT_EQ(bell.activeDuration(), 0.2);
    EXPECT_EQ(twice.activeDuration(), 2);
    EXPECT_TRUE(std::isinf(fade.activeDuration()));
}

TEST(Animation, EachKeyFrameSegmentHasItsOwnPace) {
    Animation stretch = Animation::keyFrames({0.18, 0.42, 0.18}, {0, 0.5, 1}, 1.8);
    stretch.timingFunctions = {TimingFunction::easeInEaseOut(), TimingFunction::easeInEaseOut()};
    stretch.repeatCount = Animation::infinite;
    const double ease = TimingFunction::easeInEaseOut().apply(0.2 / 0.9);
    struct Case {
        double at, value;
    } cases[] = {
        {0, 0.18}, {0.2, 0.18 + 0.24 * ease}, {0.45, 0.30}, {0.9, 0.42}, {1.1, 0.42 - 0.24 * ease}, {1.8, 0.18}, {3.6 + 0.45, 0.30},
    };
    for (const Case& c : cases) EXPECT_NEAR(*stretch.valueAt(c.at), c.value, 1e-6) << c.at;
    // A list that does not match the segments leaves them linear.
    stretch.timingFunctions = {TimingFunction::easeIn()};
    EXPECT_NEAR(*stretch.valueAt(0.2), 0.18 + 0.24 * (0.2 / 0.9), 1e-6);
}
