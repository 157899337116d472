#include "quiltdeck/panels/OnboardingStepRow.h"

#include <algorithm>
#include <cmath>

#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using C = PanelColors;

namespace {

const Rgba white{1, 1, 1, 1};

}  // namespace

// --- Circle ----------------------------------------------------------------------------------

void OnboardingStepRow::Circle::setMark(std::string mark) {
    if (mark == mark_) return;
    mark_ = std::move(mark);
    setNeedsDisplay();
}

void OnboardingStepRow::Circle::setColors(std::optional<Rgba> fill, double borderWidth, Rgba border, Rgba markColor) {
    fill_ = fill;
    borderWidth_ = borderWidth;
    border_ = border;
    markColor_ = markColor;
    setNeedsDisplay();
}

platform::ui::RichText OnboardingStepRow::Circle::markText() const {
    platform::ui::TextAttributes attributes;
    attributes.font = Fonts::ui(13, FontWeight::semibold);
    attributes.color = markColor_;
    attributes.paragraph.alignment = platform::ui::TextAlignment::center;
    return platform::ui::RichText(mark_, attributes);
}

platform::ui::View::Rect OnboardingStepRow::Circle::markFrame() const {
    const double height = std::ceil(markText().measure().height);
    return {0, (circleSize - height) / 2, circleSize, height};
}

void OnboardingStepRow::Circle::draw(platform::gfx::Canvas& canvas, const Rect&) {
    const Rect box = bounds();
    const double radius = std::min(box.width, box.height) / 2;
    if (fill_) {
        platform::gfx::Path disc;
        disc.addRoundedRect(box, radius);
        canvas.fill(disc, *fill_);
    }
    if (borderWidth_ > 0) {
        const double inset = borderWidth_ / 2;
        platform::gfx::Path ring;
        ring.addRoundedRect({inset, inset, box.width - borderWidth_, box.height - borderWidth_}, radius - inset);
        platform::gfx::StrokeStyle style;
        style.width = borderWidth_;
        canvas.stroke(ring, border_, style);
    }
    markText().draw(canvas, markFrame(), true, {});
}

// --- Rule ------------------------------------------------------------------------------------

void OnboardingStepRow::Rule::setColor(Rgba color) {
    color_ = color;
    setNeedsDisplay();
}

void OnboardingStepRow::Rule::draw(platform::gfx::Canvas& canvas, const Rect&) { canvas.fill(bounds(), color_); }

// --- Row -------------------------------------------------------------------------------------

OnboardingStepRow::OnboardingStepRow(const Rect& frame) : FlippedView(frame) {
    name.setMaximumLines(1);
    detail.setWraps(true);
    status.setWraps(true);
    status.setSelectable(true);
    spinner.setStyle(platform::ui::Spinner::Style::small);
    spinner.setHidesWhenStopped(true);
    codeField.setShowsFocusRing(false);
    codeField.setPlaceholder("xxxxxxxx#xxxxxxxx");
    codeField.setFont(Fonts::terminalText(12.5));
    for (View* view : std::initializer_list<View*>{&circle, &name, &detail, &button, &secondary, &rule, &status,
                                                   &spinner, &codeField, &codeButton, &cancelButton})
        addSubview(view);
}

bool OnboardingStepRow::hasStatus() const {
    return !status.text().empty() || (status.richText() && !status.richText()->string().empty());
}

void OnboardingStepRow::style() {
    const Rgba border = C::pick({1, 1, 1, 0.16}, {0, 0, 0, 0.18});
    if (done) {
        circle.setColors(C::pick(C::rgb(95, 176, 122), C::rgb(46, 125, 75)), 0, border, white);
        name.setTextColor(C::mutedText());
    } else if (current) {
        circle.setColors(C::pick(C::rgb(237, 239, 241), C::rgb(20, 22, 26)), 0, border,
                         C::pick(C::rgb(11, 12, 13), white));
        name.setTextColor(C::strongText());
    } else {
        circle.setColors(std::nullopt, 1, border, C::mutedText());
        name.setTextColor(C::strongText());
    }
    // A finished step fades its mark and rule; its texts keep their full colours, readable on
    // the card (as the toolkit's labels always showed them).
    for (View* drawn : std::initializer_list<View*>{&circle, &rule}) drawn->setOpacity(done ? 0.75 : 1.0);
    name.setFont(Fonts::ui(15, FontWeight::semibold));
    detail.setFont(Fonts::ui(12.5, FontWeight::regular));
    detail.setTextColor(C::mutedText());
    // A styled status (the sign-in link) keeps its own fonts and colours.
    status.setFont(Fonts::terminalText(11.5));
    status.setTextColor(C::mutedText());
    codeField.setPlaceholderColor(C::mutedText());
    rule.setColor(C::hairline());

    codeButton.setTitle(t("ob_btn_code"));
    cancelButton.setTitle(t("cancel"));
    for (PillButton* pill : {&button, &secondary, &codeButton, &cancelButton}) pill->restyle();

    button.setHidden(!(current && !busy));
    secondary.setHidden(!(current && !busy && !secondary.title().empty()));
    status.setHidden(!hasStatus());
    if (busy)
        spinner.startAnimation();
    else
        spinner.stopAnimation();
    codeField.setHidden(!wantsCode);
    codeButton.setHidden(!wantsCode);
    cancelButton.setHidden(!(busy && current));
}

double OnboardingStepRow::fittedHeight(const platform::ui::Label& label, double width) {
    return label.shownText().measure(label.layoutOptions(width), 400).height + 2;
}

double OnboardingStepRow::fittedWidth(const platform::ui::Button& button) {
    return button.shownTitle().measure().width + 38;
}

double OnboardingStepRow::place(double y, double width) {
    const double column = width - 90;
    name.setFrame({textLeft, 18, column, 20});
    detail.setFrame({textLeft, 42, column, fittedHeight(detail, column)});
    double bottom = 42 + detail.frame().height;
    if (current && !busy) {
        const double buttonWidth = std::max(fittedWidth(button), minimumButtonWidth);
        button.setFrame({textLeft, bottom + 12, buttonWidth, 30});
        const double secondaryWidth = secondary.title().empty() ? 0 : fittedWidth(secondary);
        secondary.setFrame({textLeft + buttonWidth + 10, bottom + 12, secondaryWidth, 30});
        bottom += 42;
    }
    if (!hasStatus() && busy) {
        spinner.setFrame({textLeft, bottom + 13, 16, 16});
        bottom += 30;
    } else if (hasStatus()) {
        spinner.setFrame({textLeft, bottom + 13, 16, 16});
        const double statusWidth = column - 22;
        status.setFrame({busy ? 88.0 : textLeft, bottom + 12, statusWidth, fittedHeight(status, statusWidth)});
        bottom = status.frame().y + status.frame().height;
    }
    const double cancelWidth = fittedWidth(cancelButton);
    if (wantsCode) {
        const double top = bottom + 12, codeWidth = fittedWidth(codeButton);
        const double fieldWidth = std::min(column - codeWidth - cancelWidth - 20, maximumCodeFieldWidth);
        codeField.setFrame({textLeft, top, fieldWidth, 30});
        codeButton.setFrame({textLeft + fieldWidth + 10, top, codeWidth, 30});
        cancelButton.setFrame({textLeft + fieldWidth + 10 + codeWidth + 10, top, cancelWidth, 30});
        bottom = top + 30;
    } else if (busy && current) {
        cancelButton.setFrame({textLeft, bottom + 12, cancelWidth, 30});
        bottom += 42;
    }
    circle.setFrame({24, 15, circleSize, circleSize});
    const double height = bottom + 18;
    rule.setFrame({24, height - 1, width - 48, 1});
    rule.setHidden(isLast);
    setFrame({0, y, width, height});
    return height;
}

}  // namespace quiltdeck
