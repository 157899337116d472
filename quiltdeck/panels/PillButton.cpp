#include "quiltdeck/panels/PillButton.h"

#include <algorithm>

#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/shell/Fonts.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::ui::Button;

PillButton::PillButton(bool accent) : accent_(accent) {
    baseSetUp();
    restyle();
}

std::unique_ptr<PillButton> PillButton::make(std::string title, Action action, bool accent) {
    auto pill = std::make_unique<PillButton>(accent);
    pill->setAction(std::move(action));
    pill->setTitle(std::move(title));
    pill->baseSetUp();
    pill->restyle();
    return pill;
}

void PillButton::baseSetUp() {
    setBordered(false);
    setBezelStyle(BezelStyle::regularSquare);
    setShowsFocusRing(false);
}

Button::Look PillButton::lookFor(bool accent) {
    using C = PanelColors;
    Look look;
    look.fill = accent ? C::pick(C::rgb(237, 239, 241), C::rgb(20, 22, 26)) : C::controlBackground();
    look.borderWidth = accent ? 0 : 1;
    look.borderColor = C::hairline();
    return look;
}

platform::ui::TextAttributes PillButton::titleAttributes(bool accent) {
    using C = PanelColors;
    platform::ui::TextAttributes attributes;
    attributes.font = Fonts::ui(12, accent ? FontWeight::semibold : FontWeight::regular);
    attributes.color = accent ? C::pick(C::rgb(11, 12, 13), C::rgb(255, 255, 255)) : C::strongText();
    return attributes;
}

void PillButton::restyle() {
    Look look = lookFor(accent_);
    look.cornerRadius = frame().height * 0.5;
    setLook(look);
    setAttributedTitle(platform::ui::RichText(title(), titleAttributes(accent_)));
}

void PillButton::setFrameSize(Size size) {
    Button::setFrameSize(size);
    if (look()) {
        Look rounded = *look();
        rounded.cornerRadius = frame().height * 0.5;
        setLook(rounded);
    }
}

void pillifyButtons(platform::ui::View& root) {
    for (platform::ui::View* sub : root.subviews()) {
        auto* button = dynamic_cast<Button*>(sub);
        if (button && button->identifier() != noPill && !button->image()) {
            button->setBordered(false);
            button->setBezelStyle(Button::BezelStyle::regularSquare);
            Button::Look look;
            look.fill = PanelColors::controlBackground();
            look.borderWidth = 1;
            look.borderColor = PanelColors::hairline();
            look.cornerRadius = std::max(button->frame().height * 0.5, 6.0);
            button->setLook(look);
        }
        pillifyButtons(*sub);
    }
}

}  // namespace quiltdeck
