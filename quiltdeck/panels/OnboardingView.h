#pragma once

#include <array>
#include <functional>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "quiltdeck/panels/OnboardingStepRow.h"
#include "quiltdeck/panels/Setup.h"

namespace quiltdeck {

// What an empty wall shows. Until the assistant CLI is installed and signed in
// it is the setup card: a title, a subtitle, a box with the three steps
// (install, sign in, open a first project), each with the button that does it,
// and the privacy line; the list ticks itself off as the setup advances. Once
// set up, and the first tile has been opened or a named tab is shown, it is the
// short empty-wall message with the key hints. It holds no state of its own:
// every reload (at construction and on Setup.didChange, Theme.didChange and
// Lang.didChange) reads the setup, the store and the theme. Flipped. Main thread.
class OnboardingView : public platform::ui::FlippedView {
public:
    using StepRow = OnboardingStepRow;
    enum Step { install, signIn, openProject };
    static constexpr double maximumBoxWidth = 640;

    // The box that holds the rows: a rounded fill with a hairline border, drawn by us.
    class Box : public platform::ui::FlippedView {
    public:
        static constexpr double cornerRadius = 14;
        void setColors(platform::gfx::Rgba fill, platform::gfx::Rgba border);
        const platform::gfx::Rgba& fill() const { return fill_; }
        void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

    private:
        platform::gfx::Rgba fill_{0, 0, 0, 0};
        platform::gfx::Rgba border_{0, 0, 0, 0};
    };

    explicit OnboardingView(const Rect& frame = {}, Setup& setup = Setup::shared());

    // Rebuilds every text, flag and colour from the state, and lays the view out.
    void reload();
    // The same from a given picture of the setup.
    void reload(const Setup::Snapshot& state);
    // The same; the wall calls it on theme changes.
    void applyTheme() { reload(); }
    // The height the content takes at `width`; with `apply`, its frames are set too.
    double layoutContent(double width, bool apply);
    void setFrameSize(Size size) override;

    // Told by the "open" step's button.
    std::function<void()> onOpenProject;

    platform::ui::Label& title() { return title_; }
    platform::ui::Label& subtitle() { return subtitle_; }
    Box& box() { return card_; }
    StepRow& step(Step which) { return steps_[which]; }
    platform::ui::Label& hints() { return hints_; }
    platform::ui::Label& privacy() { return privacy_; }

    // The step's buttons and the code field, as the user uses them.
    void tapInstall();
    void tapCancel();
    void tapLogin();
    void tapConsole();
    void tapCode();
    void tapOpen();

private:
    static bool compact(const Setup::Snapshot& state);
    void reloadTexts(const Setup::Snapshot& state);
    void reloadRows(const Setup::Snapshot& state);
    // The code field takes the keyboard when it appears, and gives it back when it goes.
    void followCodeField();

    Setup& setup_;
    platform::ui::Label title_;
    platform::ui::Label subtitle_;
    Box card_;
    std::array<StepRow, 3> steps_;
    platform::ui::Label hints_;
    platform::ui::Label privacy_;
    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
    bool codeFieldShown_ = false;
};

}  // namespace quiltdeck
