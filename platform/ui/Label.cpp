#include "platform/ui/Label.h"

#include <algorithm>

#include "platform/ui/ControlDrawing.h"

namespace platform::ui {

Label::Label(const Rect& frame) : Control(frame), font_(gfx::InterfaceFont::system(13, gfx::FontWeight::regular)) {}

void Label::setText(std::string text) {
    if (text_ == text && !richText_) return;
    text_ = std::move(text);
    richText_.reset();
    changed();
}

void Label::setRichText(RichText text) {
    text_ = text.string();
    richText_ = std::move(text);
    changed();
}

void Label::setFont(gfx::InterfaceFont font) { setProperty(font_, std::move(font)); }

void Label::setTextColor(gfx::Rgba color) { setProperty(color_, color); }

void Label::setAlignment(TextAlignment alignment) { setProperty(alignment_, alignment); }

void Label::setWraps(bool wraps) { setProperty(wraps_, wraps); }

void Label::setMaximumLines(int lines) {
    lines = std::max(0, lines);
    if (maximumLines_ == lines) return;
    maximumLines_ = lines;
    changed();
}

void Label::setTruncation(Truncation truncation) { setProperty(truncation_, truncation); }

void Label::setSelectable(bool selectable) { setProperty(selectable_, selectable); }

void Label::setPreferredMaxLayoutWidth(std::optional<double> width) { setProperty(preferredWidth_, std::move(width)); }

bool Label::clickLink(gfx::Point point) {
    const std::string url = shownText().linkAt(point, layoutOptions(frame().width));
    if (url.empty()) return false;
    if (onLink) onLink(url);
    return true;
}

std::string Label::firstLink() const {
    if (richText_) {
        for (const auto& run : richText_->runs()) {
            if (!run.attributes.link.empty()) return run.attributes.link;
        }
    }
    return {};
}

bool Label::isKeyboardOperable() const { return onLink && !firstLink().empty(); }

bool Label::openLink() {
    const std::string url = firstLink();
    if (url.empty() || !isUsable()) return false;
    // A copy: the handler may replace itself.
    if (auto told = onLink) told(url);
    return true;
}

void Label::keyDown(const KeyEvent& event) {
    if (isPressKey(event) && openLink()) return;
    Control::keyDown(event);
}

RichText Label::shownText() const {
    if (richText_) return *richText_;
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = color_;
    attributes.paragraph.alignment = alignment_;
    return RichText(text_, attributes);
}

TextLayoutOptions Label::layoutOptions(std::optional<double> width) const {
    TextLayoutOptions options;
    options.width = width;
    options.wraps = wraps_;
    options.maximumLines = maximumLines_;
    options.truncation = truncation_;
    return options;
}

View::Size Label::fittingSize() const {
    // A wrapping label keeps its width; a single line is as wide as its text.
    std::optional<double> width;
    if (wraps_) width = preferredWidth_ ? preferredWidth_ : std::optional<double>(frame().width);
    TextLayoutOptions options = layoutOptions(width);
    options.truncation = Truncation::none;
    const Size size = shownText().measure(options);
    return {wraps_ && width ? std::max(size.width, 0.0) : size.width, size.height};
}

void Label::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    shownText().draw(canvas, box, isFlipped(), layoutOptions(box.width));
    if (isFirstResponder()) drawing::focusRingInside(canvas, box);
}

}  // namespace platform::ui
