#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/Button.h"

namespace quiltdeck {

// The capsule button of the panels: the plain pill, or the accent pill of a primary action
// (drawn inverted). Its look follows `accent` and the theme when restyle() runs (its owner calls
// it after a new title and on theme changes); its ends stay half circles at any height.
class PillButton : public platform::ui::Button {
public:
    explicit PillButton(bool accent = false);
    static std::unique_ptr<PillButton> make(std::string title, Action action, bool accent);

    // The pill's fill and border, and its title's font and colour, in the theme now in force.
    static Look lookFor(bool accent);
    static platform::ui::TextAttributes titleAttributes(bool accent);

    bool accent() const { return accent_; }
    void setAccent(bool accent) { accent_ = accent; }
    void restyle();

    void setFrameSize(Size size) override;

private:
    void baseSetUp();

    bool accent_;
};

// A button carrying this identifier keeps its own look when its panel is pillified.
inline constexpr std::string_view noPill = "noPill";

// Gives the buttons below `root` (not root itself) the plain pill look in place: every button
// without an image that does not carry noPill. Pop-up buttons are left alone. The corner radius
// is fixed from each button's height now; the title keeps its font and colour.
void pillifyButtons(platform::ui::View& root);

}  // namespace quiltdeck
