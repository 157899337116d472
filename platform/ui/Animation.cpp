#include "platform/ui/Animation.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace platform::ui {

namespace {

double bezier(double a, double b, double s) {
    // One coordinate of the curve through 0, a, b, 1.
    const double r = 1 - s;
    return 3 * r * r * s * a + 3 * r * s * s * b + s * s * s;
}

double bezierSlope(double a, double b, double s) {
    const double r = 1 - s;
    return 3 * r * r * a + 6 * r * s * (b - a) + 3 * s * s * (1 - b);
}

}  // namespace

double TimingFunction::apply(double fraction) const {
    if (!(fraction > 0)) return 0;
    if (fraction >= 1) return 1;
    // The curve's parameter for this x: Newton steps, bisection where the slope is flat.
    double s = fraction;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(x1, x2, s) - fraction;
        if (std::fabs(error) < 1e-7) return bezier(y1, y2, s);
        const double slope = bezierSlope(x1, x2, s);
        if (std::fabs(slope) < 1e-6) break;
        s = std::clamp(s - error / slope, 0.0, 1.0);
    }
    double lo = 0, hi = 1;
    s = fraction;
    for (int i = 0; i < 40; ++i) {
        const double x = bezier(x1, x2, s);
        if (std::fabs(x - fraction) < 1e-7) break;
        (x < fraction ? lo : hi) = s;
        s = (lo + hi) / 2;
    }
    return bezier(y1, y2, s);
}

Animation Animation::basic(double from, double to, double duration) {
    Animation animation;
    animation.values = {from, to};
    animation.keyTimes = {0, 1};
    animation.duration = duration;
    return animation;
}

Animation Animation::keyFrames(std::vector<double> values, std::vector<double> keyTimes, double duration) {
    Animation animation;
    animation.values = std::move(values);
    animation.keyTimes = std::move(keyTimes);
    animation.duration = duration;
    return animation;
}

double Animation::activeDuration() const {
    const double count = repeatCount > 0 ? repeatCount : 1;
    return duration * (autoreverses ? 2 : 1) * count;
}

double Animation::keyTime(size_t i) const {
    if (keyTimes.size() == values.size()) return keyTimes[i];
    return values.size() > 1 ? double(i) / double(values.size() - 1) : 0;
}

std::optional<double> Animation::valueAt(double elapsed) const {
    if (values.empty()) return std::nullopt;
    if (!(duration > 0)) return hasEnded(elapsed) ? std::nullopt : std::optional(values.back());
    if (hasEnded(elapsed)) return std::nullopt;
    elapsed = std::max(elapsed, 0.0);
    // Where in one play (forth, or forth and back) the time falls.
    const double cycle = duration * (autoreverses ? 2 : 1);
    double local = std::fmod(elapsed, cycle);
    if (local > duration) local = cycle - local;
    if (values.size() == 1) return values.front();
    if (discrete) {
        // The last key frame reached.
        const double at = local / duration;
        size_t reached = 0;
        while (reached + 1 < values.size() && keyTime(reached + 1) <= at) ++reached;
        return values[reached];
    }
    const double progress = timing.apply(local / duration);
    // The key-frame segment holding the progress.
    size_t segment = 0;
    while (segment + 2 < values.size() && progress > keyTime(segment + 1)) ++segment;
    const double t0 = keyTime(segment), t1 = keyTime(segment + 1);
    double f = t1 > t0 ? std::clamp((progress - t0) / (t1 - t0), 0.0, 1.0) : 1.0;
    if (timingFunctions.size() + 1 == values.size()) f = timingFunctions[segment].apply(f);
    return values[segment] + (values[segment + 1] - values[segment]) * f;
}

namespace {

std::vector<AnimationContext*>& openGroups() {
    static std::vector<AnimationContext*> groups;
    return groups;
}

// Posts the group's completion when the last animation holding it lets go.
struct GroupTicket {
    std::function<void()> completion;
    ~GroupTicket() {
        if (completion) runtime::MainLoop::main().post(std::move(completion));
    }
};

}  // namespace

void AnimationContext::runAnimationGroup(const std::function<void(AnimationContext&)>& changes,
                                         std::function<void()> completion) {
    AnimationContext context;
    auto ticket = std::make_shared<GroupTicket>();
    ticket->completion = std::move(completion);
    context.ticket_ = ticket;
    openGroups().push_back(&context);
    if (changes) changes(context);
    openGroups().pop_back();
}

AnimationContext* AnimationContext::current() { return openGroups().empty() ? nullptr : openGroups().back(); }

std::optional<double> Animation::nextChangeAfter(double elapsed) const {
    const double end = activeDuration();
    if (values.empty() || hasEnded(elapsed)) return std::nullopt;
    elapsed = std::max(elapsed, 0.0);
    if (!(duration > 0) || values.size() == 1) return end;
    if (!discrete) return elapsed;
    // The key times of this play, forth and (when it reverses) back, and the next play's start.
    const double cycle = duration * (autoreverses ? 2 : 1);
    const double start = std::floor(elapsed / cycle) * cycle;
    double next = start + cycle;
    auto consider = [&](double t) {
        if (t > elapsed && t < next) next = t;
    };
    for (size_t i = 1; i < values.size(); ++i) {
        consider(start + keyTime(i) * duration);
        if (autoreverses) consider(start + cycle - keyTime(i) * duration);
    }
    return std::min(next, end);
}

void LoopFrameClock::start(std::function<void()> tick) {
    stop();
    timer_ = runtime::MainLoop::main().scheduleRepeating(interval, std::move(tick));
}

void LoopFrameClock::stop() {
    if (timer_) std::exchange(timer_, nullptr)->cancel();
}

runtime::TimePoint animationNow() { return runtime::MainLoop::main().now(); }

}  // namespace platform::ui
