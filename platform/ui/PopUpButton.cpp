#include "platform/ui/PopUpButton.h"

#include <algorithm>

#include "platform/ui/ControlDrawing.h"

namespace platform::ui {

namespace {

// Room for the text's margins and the menu's arrows, the same in every backend.
constexpr double textInset = 8;
constexpr double arrowsWidth = 20;

}  // namespace

PopUpButton::PopUpButton(const Rect& frame) : Control(frame), font_(gfx::InterfaceFont::system(13, gfx::FontWeight::regular)) {}

void PopUpButton::addItem(std::string title) {
    items_.push_back(std::move(title));
    if (selected_ < 0) selected_ = 0;
    changed();
}

void PopUpButton::removeAllItems() {
    items_.clear();
    selected_ = -1;
    changed();
}

void PopUpButton::selectItem(int index) {
    const int chosen = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
    if (chosen == selected_) return;
    selected_ = chosen;
    changed();
}

std::string PopUpButton::titleOfSelectedItem() const { return selected_ >= 0 ? items_[static_cast<size_t>(selected_)] : std::string(); }

void PopUpButton::setFont(gfx::InterfaceFont font) { setProperty(font_, std::move(font)); }

void PopUpButton::setControlSize(Button::ControlSize size) { setProperty(size_, size); }

bool PopUpButton::choose(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size()) || !isUsable()) return false;
    selectItem(index);
    return sendAction();
}

RichText PopUpButton::itemText(const std::string& title) const {
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = drawing::text();
    return RichText(title, attributes);
}

View::Size PopUpButton::fittingSize() const {
    // As wide as the widest item, so a new choice never changes the size.
    Size widest = itemText("M").measure();
    widest.width = 0;
    for (const std::string& item : items_) {
        const Size size = itemText(item).measure();
        widest = {std::max(widest.width, size.width), std::max(widest.height, size.height)};
    }
    const double padding = size_ == Button::ControlSize::small ? 3 : 5;
    return {widest.width + 2 * textInset + arrowsWidth, widest.height + 2 * padding};
}

void PopUpButton::keyDown(const KeyEvent& event) {
    const bool plain = !(event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super));
    const int step = event.key == Key::up ? -1 : event.key == Key::down ? 1 : 0;
    if (plain && step != 0) {
        const int next = selected_ + step;
        if (next >= 0 && next < static_cast<int>(items_.size())) choose(next);
        return;
    }
    Control::keyDown(event);
}

void PopUpButton::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    drawing::bezel(canvas, box);
    const RichText title = itemText(titleOfSelectedItem());
    const Size text = title.measure();
    title.draw(canvas, Rect{textInset, (box.height - text.height) / 2, std::max(0.0, box.width - textInset - arrowsWidth), text.height},
               isFlipped(), {});
    gfx::Path arrow;
    const double cx = box.width - arrowsWidth / 2, cy = box.height / 2;
    arrow.moveTo({cx - 4, cy + 2});
    arrow.lineTo({cx, cy - 2});
    arrow.lineTo({cx + 4, cy + 2});
    gfx::Rgba ink = drawing::text();
    ink.alpha *= 0.7;
    canvas.stroke(arrow, ink, drawing::line(1.5));
    if (isFirstResponder()) drawing::focusRingInside(canvas, box);
}

}  // namespace platform::ui
