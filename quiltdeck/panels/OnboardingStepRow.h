#pragma once

#include <string>

#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/TextField.h"
#include "quiltdeck/panels/PillButton.h"

namespace quiltdeck {

// One step of the setup card: a numbered circle, the step's title and
// description, its buttons, a status line with a spinner and, on the sign-in
// step, the field for the pasted code. It knows nothing of the setup: the card
// fills its texts and flags, then calls style() and place(). Flipped. Main thread.
class OnboardingStepRow : public platform::ui::FlippedView {
public:
    static constexpr double circleSize = 26;
    static constexpr double textLeft = 66;
    static constexpr double minimumButtonWidth = 150;
    static constexpr double maximumCodeFieldWidth = 260;

    // The badge with the step's number, or a tick once done; drawn by us.
    class Circle : public platform::ui::View {
    public:
        const std::string& mark() const { return mark_; }
        void setMark(std::string mark);
        void setColors(std::optional<platform::gfx::Rgba> fill, double borderWidth, platform::gfx::Rgba border,
                       platform::gfx::Rgba markColor);
        const std::optional<platform::gfx::Rgba>& fill() const { return fill_; }
        double borderWidth() const { return borderWidth_; }
        const platform::gfx::Rgba& markColor() const { return markColor_; }
        // Where the mark's text stands: the circle's width, centred vertically.
        Rect markFrame() const;
        bool isFlipped() const override { return true; }
        void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

    private:
        platform::ui::RichText markText() const;

        std::string mark_;
        std::optional<platform::gfx::Rgba> fill_;
        double borderWidth_ = 0;
        platform::gfx::Rgba border_{0, 0, 0, 0};
        platform::gfx::Rgba markColor_{0, 0, 0, 1};
    };

    // The separator under a row.
    class Rule : public platform::ui::View {
    public:
        const platform::gfx::Rgba& color() const { return color_; }
        void setColor(platform::gfx::Rgba color);
        void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

    private:
        platform::gfx::Rgba color_{0, 0, 0, 0};
    };

    explicit OnboardingStepRow(const Rect& frame = {});

    // Fonts, colours, titles, visibility and opacity from the flags and the theme.
    // Texts come first: the secondary title and the status decide what shows.
    void style();
    // Lays the row out at `width` and puts it at `y` of the card; its height.
    double place(double y, double width);

    // A label's height for a width: its text measured in a box 400 high, plus 2.
    static double fittedHeight(const platform::ui::Label& label, double width);
    // A button's width: its title's, plus 38.
    static double fittedWidth(const platform::ui::Button& button);

    Circle circle;
    platform::ui::Label name;
    platform::ui::Label detail;
    PillButton button{true};
    PillButton secondary{false};
    Rule rule;
    platform::ui::Label status;
    platform::ui::Spinner spinner;
    platform::ui::TextField codeField;
    PillButton codeButton{true};
    PillButton cancelButton{false};

    bool done = false;
    bool current = false;
    bool busy = false;
    bool wantsCode = false;
    bool isLast = false;

private:
    bool hasStatus() const;
};

}  // namespace quiltdeck
