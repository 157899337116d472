#pragma once

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::ui {

// The pace of an animation: a cubic Bézier from (0, 0) to (1, 1) through two control points,
// as style sheets write it.
struct TimingFunction {
    double x1 = 0, y1 = 0, x2 = 1, y2 = 1;

    static constexpr TimingFunction linear() { return {0, 0, 1, 1}; }
    static constexpr TimingFunction easeIn() { return {0.42, 0, 1, 1}; }
    static constexpr TimingFunction easeOut() { return {0, 0, 0.58, 1}; }
    static constexpr TimingFunction easeInEaseOut() { return {0.42, 0, 0.58, 1}; }
    // What layers animate with when nothing else is asked for.
    static constexpr TimingFunction systemDefault() { return {0.25, 0.1, 0.25, 1}; }

    // The progress (0...1) at a fraction of the duration (0...1).
    double apply(double fraction) const;
    friend constexpr bool operator==(const TimingFunction&, const TimingFunction&) = default;
};

// A value that changes with time: from one number to another, or through key frames, over a
// duration, optionally played back again (auto-reverse) and repeated. It is evaluated at the time
// asked, so its value never depends on how often frames come.
struct Animation {
    static constexpr double infinite = std::numeric_limits<double>::infinity();

    // from → to.
    static Animation basic(double from, double to, double duration);
    // Through `values` at `keyTimes` (fractions of the duration, ascending, as many as values),
    // linearly between them.
    static Animation keyFrames(std::vector<double> values, std::vector<double> keyTimes, double duration);

    std::vector<double> values;
    std::vector<double> keyTimes;
    double duration = 0;
    // The property it animates ("opacity", or one a view draws by); empty: the key it is added
    // under, so several animations of one property can run under keys of their own.
    std::string keyPath;
    // The pace of the whole play.
    TimingFunction timing = TimingFunction::linear();
    // The pace within each key-frame segment, one per segment; otherwise linear segments.
    std::vector<TimingFunction> timingFunctions;
    bool autoreverses = false;
    // Holds each key frame's value until the next key time instead of moving between them (a
    // blink): the value changes only at key times, so nothing has to be drawn in between. The
    // paces do not apply.
    bool discrete = false;
    // How many times it plays (fractions allowed); 0 counts as once.
    double repeatCount = 1;
    // It only decorates (a spinner, a blink): while the window's frames take longer than a
    // frame's time, it is drawn less often instead of asking for every frame (Window).
    bool decorative = false;
    // Called once when the animation ends by itself (not when it is removed).
    std::function<void()> completion;
    // Set when it is added to a view.
    runtime::TimePoint beginTime{};

    // Seconds from the start to the end, all repeats and reversals included.
    double activeDuration() const;
    // The value `elapsed` seconds after the start; none once it has ended.
    std::optional<double> valueAt(double elapsed) const;
    bool hasEnded(double elapsed) const { return elapsed >= activeDuration(); }
    // The first time after `elapsed` (seconds from the start) at which the value changes or the
    // animation ends: `elapsed` itself while it moves continuously, infinity when it holds for
    // ever, none once it has ended.
    std::optional<double> nextChangeAfter(double elapsed) const;
    // Where key frame `i` falls in one play (0...1); equal steps without usable key times.
    double keyTime(size_t i) const;
};

// An animation group: frames set through View::animator() inside `changes` move from where they
// stand to their new place over the group's duration on its curve, one step per frame tick (the
// view's frame is set at each step, so its layout follows). Frames set through
// View::setFrameImplicitly move only when the group allows implicit animation. Outside a group,
// and in a group of no duration, frames are set at once. Groups nest; the innermost counts. The
// completion runs on the main loop once every animation the group started has ended or was
// replaced (at the next turn when it started none). Main thread.
class AnimationContext {
public:
    double duration = 0.25;
    TimingFunction timing = TimingFunction::systemDefault();
    bool allowsImplicitAnimation = false;

    static void runAnimationGroup(const std::function<void(AnimationContext&)>& changes,
                                  std::function<void()> completion = {});
    // The innermost group being run; null outside one.
    static AnimationContext* current();

    // Held by every animation the group starts; the completion is posted when the last goes.
    std::shared_ptr<void> ticket() const { return ticket_; }

private:
    std::shared_ptr<void> ticket_;
};

// Frame ticks for running animations. The window starts it while one of its views animates and
// stops it when none does, so an idle window gets no ticks. The toolkit backend ticks with the
// display; the default ticks about 60 times a second on the program's main loop (the virtual
// clock in tests).
class FrameClock {
public:
    virtual ~FrameClock() = default;
    virtual void start(std::function<void()> tick) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class LoopFrameClock : public FrameClock {
public:
    static constexpr runtime::Duration interval{16'666'667};
    ~LoopFrameClock() override { stop(); }
    void start(std::function<void()> tick) override;
    void stop() override;
    bool isRunning() const override { return timer_ != nullptr; }

private:
    std::shared_ptr<runtime::WorkItem> timer_;
};

// The time animations are measured on: the program's main loop's clock.
runtime::TimePoint animationNow();

}  // namespace platform::ui
