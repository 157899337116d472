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

// A discrete animation holds each key frame until the next key time, with or without reversing,
// whatever its pace; it tells when it next changes so that nothing is drawn in between.
TEST(Animation, DiscreteKeyFramesChangeOnlyAtKeyTimes) {
    Animation blink = Animation::keyFrames({1, 0}, {0, 0.5}, 1.4);
    blink.discrete = true;
    blink.repeatCount = Animation::infinite;
    // 0 until 0.5 s, 1 until 1 s, 2 until 2 s; back: 2 until 3 s, 1 until 3.5 s, 0; twice.
    Animation steps = Animation::keyFrames({0, 1, 2}, {0, 0.25, 0.5}, 2);
    steps.discrete = true;
    steps.autoreverses = true;
    steps.repeatCount = 2;
    steps.timing = TimingFunction::easeIn();
    Animation fade = Animation::basic(1, 0, 1);
    Animation still = Animation::keyFrames({0.4}, {0}, 3);
    struct Case {
        const Animation* animation;
        double at;
        std::optional<double> value, next;
    } cases[] = {
        {&blink, 0, 1, 0.7},           {&blink, 0.69, 1, 0.7},     {&blink, 0.71, 0, 1.4},
        {&blink, 1.41, 1, 2.1},        {&blink, 7000.35, 1, 7000.7},
        {&steps, 0, 0, 0.5},           {&steps, 0.55, 1, 1},        {&steps, 1.2, 2, 3},
        {&steps, 3.2, 1, 3.5},         {&steps, 3.6, 0, 4},         {&steps, 4.6, 1, 5},
        {&steps, 7.9, 0, 8},           {&steps, 8, std::nullopt, std::nullopt},
        {&fade, 0.3, 0.7, 0.3},        {&fade, 1, std::nullopt, std::nullopt},
        {&still, 1, 0.4, 3},
    };
    for (const Case& c : cases) {
        const std::optional<double> value = c.animation->valueAt(c.at);
        const std::optional<double> next = c.animation->nextChangeAfter(c.at);
        ASSERT_EQ(value.has_value(), c.value.has_value()) << c.at;
        ASSERT_EQ(next.has_value(), c.next.has_value()) << c.at;
        if (value) {
            EXPECT_NEAR(*value, *c.value, 1e-9) << c.at;
        }
        if (next) {
            EXPECT_NEAR(*next, *c.next, 1e-9) << c.at;
        }
    }
}
