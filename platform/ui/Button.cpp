#include "platform/ui/Button.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/ControlDrawing.h"

namespace platform::ui {

namespace {

// Room around the title, per bezel, on each side: the same in every backend, which draws its
// widget inside the frame these give.
constexpr double checkBoxSide = Button::checkBoxSide;
constexpr double checkBoxGap = Button::checkBoxTitleX - checkBoxSide;

struct Padding {
    double horizontal, vertical;
};

Padding paddingFor(bool bordered, Button::BezelStyle bezel, Button::ControlSize size) {
    if (bezel == Button::BezelStyle::badge) return {6, 2};
    if (!bordered || bezel != Button::BezelStyle::rounded) return {4, 3};
    return size == Button::ControlSize::small ? Padding{10, 4} : Padding{12, 6};
}

}  // namespace

Button::Button(Type type, const Rect& frame) : Control(frame), type_(type), font_(gfx::InterfaceFont::system(13, gfx::FontWeight::regular)) {}

void Button::setTitle(std::string title) {
    if (title_ == title && !attributedTitle_) return;
    title_ = std::move(title);
    attributedTitle_.reset();
    changed();
}

void Button::setAttributedTitle(RichText title) {
    title_ = title.string();
    attributedTitle_ = std::move(title);
    changed();
}

void Button::setFont(gfx::InterfaceFont font) { setProperty(font_, std::move(font)); }

void Button::setContentTintColor(std::optional<gfx::Rgba> color) { setProperty(tint_, std::move(color)); }

void Button::setImage(std::optional<gfx::Image> image) {
    image_ = std::move(image);
    changed();
}

void Button::setSymbol(std::string name, double size) {
    if (name == symbolName_ && size == symbolSize_) return;
    symbolName_ = std::move(name);
    symbolSize_ = std::isfinite(size) && size > 0 ? size : 16;
    changed();
}

void Button::setBordered(bool bordered) { setProperty(bordered_, bordered); }

void Button::setBezelStyle(BezelStyle style) { setProperty(bezel_, style); }

void Button::setControlSize(ControlSize size) {
    if (size_ == size) return;
    size_ = size;
    font_.size = size == ControlSize::small ? 11 : 13;
    changed();
}

void Button::setShowsFocusRing(bool shows) { setProperty(focusRing_, shows); }

void Button::setWrapsTitle(bool wraps) { setProperty(wrapsTitle_, wraps); }

std::optional<double> Button::titleWrapWidth() const {
    if (!wrapsTitle_ || type_ != Type::checkBox) return std::nullopt;
    return std::max(1.0, frame().width - checkBoxTitleX - checkBoxRingRoom);
}

void Button::setLook(std::optional<Look> look) { setProperty(look_, std::move(look)); }

void Button::setState(State state) { setProperty(state_, state); }

void Button::setKeyEquivalent(KeyEquivalent key) { keyEquivalent_ = key; }

bool Button::performClick() {
    if (!isUsable()) return false;
    if (type_ == Type::checkBox) setState(state_ == State::on ? State::off : State::on);
    return sendAction();
}

void Button::keyDown(const KeyEvent& event) {
    if (isPressKey(event) && performClick()) return;
    Control::keyDown(event);
}

RichText Button::shownTitle() const {
    if (attributedTitle_) return *attributedTitle_;
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = tint_.value_or(drawing::text());
    return RichText(title_, attributes);
}

View::Size Button::fittingSize() const {
    if (image_ && !image_->isEmpty() && title_.empty()) return {double(image_->width), double(image_->height)};
    if (!symbolName_.empty() && title_.empty()) return {symbolSize_, symbolSize_};
    const Size text = shownTitle().measure(titleWrapWidth());
    if (type_ == Type::checkBox) {
        // Whole points across, as the toolkit's label asks for its text (else it cuts the last letter).
        const double width = checkBoxSide + (text.width > 0 ? checkBoxGap + std::ceil(text.width) + checkBoxRingRoom : 0);
        // The toolkit's box stands 2 points clear of the line above and below.
        return {titleWrapWidth() ? frame().width : width, std::max(checkBoxSide + 4, text.height)};
    }
    const Padding pad = paddingFor(bordered_, bezel_, size_);
    return {text.width + 2 * pad.horizontal, text.height + 2 * pad.vertical};
}

void Button::drawSymbol(gfx::Canvas& canvas, const Rect& box) const {
    // A likeness: a cross for closing, a tick for choosing, chevrons for going back, up and down,
    // a dot for the rest.
    const double half = std::min(symbolSize_, std::min(box.width, box.height)) / 2 * 0.6;
    const gfx::Point c{box.width / 2, box.height / 2};
    const gfx::Rgba ink = tint_.value_or(drawing::text());
    gfx::Path path;
    if (symbolName_.rfind("window-close", 0) == 0) {
        path.moveTo({c.x - half, c.y - half});
        path.lineTo({c.x + half, c.y + half});
        path.moveTo({c.x - half, c.y + half});
        path.lineTo({c.x + half, c.y - half});
    } else if (symbolName_.rfind("object-select", 0) == 0) {
        // Its short stroke down to the foot, the long one up: whichever way the view is flipped.
        const double down = isFlipped() ? half : -half;
        path.moveTo({c.x - half, c.y});
        path.lineTo({c.x - half / 3, c.y + down * 2 / 3});
        path.lineTo({c.x + half, c.y - down * 2 / 3});
    } else if (symbolName_.rfind("go-previous", 0) == 0) {
        path.moveTo({c.x + half / 2, c.y - half});
        path.lineTo({c.x - half / 2, c.y});
        path.lineTo({c.x + half / 2, c.y + half});
    } else if (symbolName_.rfind("go-up", 0) == 0 || symbolName_.rfind("go-down", 0) == 0) {
        // Up is towards the top edge whether or not the view is flipped.
        const double dy = (symbolName_.rfind("go-up", 0) == 0) == isFlipped() ? half / 2 : -half / 2;
        path.moveTo({c.x - half, c.y + dy});
        path.lineTo({c.x, c.y - dy});
        path.lineTo({c.x + half, c.y + dy});
    } else {
        canvas.fill(Rect{c.x - 2, c.y - 2, 4, 4}, ink);
        return;
    }
    canvas.stroke(path, ink, drawing::line(1.5));
}

void Button::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;  // the toolkit's widget shows it
    const Rect box = bounds();
    const double alpha = isEnabled() ? 1.0 : 0.5;
    if (look_) {
        if (look_->fill) canvas.fill(box, *look_->fill);
        drawing::strokeInside(canvas, box, look_->borderColor, look_->borderWidth);
    } else if (bordered_ && type_ == Type::push) {
        drawing::bezel(canvas, box, alpha);
    }
    if (image_ && !image_->isEmpty()) {
        const double scale = std::min(box.width / image_->width, box.height / image_->height);
        const double w = image_->width * scale, h = image_->height * scale;
        canvas.drawImage(*image_, Rect{(box.width - w) / 2, (box.height - h) / 2, w, h});
    }
    if (!symbolName_.empty()) drawSymbol(canvas, box);
    const RichText title = shownTitle();
    const Size text = title.measure(titleWrapWidth());
    double x = (box.width - text.width) / 2;
    // The stand-in's views are unflipped unless a subclass says so: centre the lines vertically.
    const double y = (box.height - text.height) / 2;
    if (type_ == Type::checkBox) {
        // The box stands in the middle of the lines, as the toolkit's does.
        const double boxY = (box.height - checkBoxSide) / 2;
        drawing::checkBox(canvas, Rect{0, boxY, checkBoxSide, checkBoxSide}, tint_.value_or(drawing::text()), state_ == State::on,
                          isFlipped());
        x = checkBoxSide + checkBoxGap;
    }
    TextLayoutOptions options;
    options.width = titleWrapWidth();
    options.wraps = options.width.has_value();
    title.draw(canvas, Rect{x, y, options.width.value_or(text.width + 1), text.height}, isFlipped(), options);
    if (isFirstResponder()) drawing::focusRingInside(canvas, box);
}

}  // namespace platform::ui
