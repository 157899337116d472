#include "platform/ui/TextField.h"

#include <glib.h>

#include <algorithm>

#include "platform/ui/ControlDrawing.h"
#include "platform/ui/Window.h"

namespace platform::ui {

namespace {

// Room around the text inside a bordered field, and inside a frameless one.
constexpr double borderedInset = 6;
constexpr double framelessInset = 2;
constexpr gfx::Rgba defaultPlaceholderColor{0, 0, 0, 0.35};

size_t charactersIn(std::string_view text) {
    return static_cast<size_t>(g_utf8_strlen(text.data(), static_cast<gssize>(text.size())));
}

// Invalid UTF-8 becomes U+FFFD, so character positions are always defined.
std::string validated(std::string_view text) {
    gchar* made = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result = made;
    g_free(made);
    return result;
}

}  // namespace

TextField::TextField(const Rect& frame) : Control(frame), font_(gfx::InterfaceFont::system(13, gfx::FontWeight::regular)) {}

size_t TextField::characterCount() const { return charactersIn(text_); }

size_t TextField::byteOffset(size_t characters) const {
    const size_t count = std::min(characters, characterCount());
    return static_cast<size_t>(g_utf8_offset_to_pointer(text_.c_str(), static_cast<glong>(count)) - text_.c_str());
}

void TextField::setStringValue(std::string text) {
    text = validated(text);
    const size_t end = charactersIn(text);
    committed_ = text;
    if (text_ == text && selection_ == TextRange{end, 0}) return;
    text_ = std::move(text);
    selection_ = {end, 0};
    changed();
}

void TextField::setPlaceholder(std::string placeholder) { setProperty(placeholder_, std::move(placeholder)); }

void TextField::setPlaceholderColor(std::optional<gfx::Rgba> color) { setProperty(placeholderColor_, std::move(color)); }

void TextField::setFont(gfx::InterfaceFont font) { setProperty(font_, std::move(font)); }

void TextField::setTextColor(std::optional<gfx::Rgba> color) { setProperty(textColor_, std::move(color)); }

void TextField::setBordered(bool bordered) { setProperty(bordered_, bordered); }

void TextField::setDrawsBackground(bool draws) { setProperty(drawsBackground_, draws); }

void TextField::setShowsFocusRing(bool shows) { setProperty(focusRing_, shows); }

void TextField::setEditable(bool editable) { setProperty(editable_, editable); }

void TextField::setSelectedRange(TextRange range) {
    const size_t count = characterCount();
    const size_t location = range.isNone() ? count : std::min(range.location, count);
    setProperty(selection_, TextRange{location, std::min(range.length, count - location)});
}

void TextField::userEdited(std::string text, TextRange selection) {
    text = validated(text);
    const bool edited = text != text_;
    text_ = std::move(text);
    selection_ = {};
    setSelectedRange(selection);
    changed();
    if (edited) {
        if (auto told = onTextChange) told(*this);
    }
}

void TextField::userSelected(TextRange selection) { setSelectedRange(selection); }

void TextField::typeText(std::string_view typed) {
    if (!editable_ || !isEnabled()) return;
    const std::string insert = validated(typed);
    const size_t from = byteOffset(selection_.location), to = byteOffset(selection_.location + selection_.length);
    std::string text = text_.substr(0, from) + insert + text_.substr(to);
    userEdited(std::move(text), {selection_.location + charactersIn(insert), 0});
}

void TextField::deleteBackward() {
    if (!editable_ || !isEnabled()) return;
    TextRange gone = selection_;
    if (gone.length == 0) {
        if (gone.location == 0) return;
        gone = {gone.location - 1, 1};
    }
    const size_t from = byteOffset(gone.location), to = byteOffset(gone.location + gone.length);
    userEdited(text_.substr(0, from) + text_.substr(to), {gone.location, 0});
}

void TextField::userBeganEditing() {
    editing_ = true;
    changed();
}

void TextField::userEndedEditing() {
    if (!editing_) return;
    editing_ = false;
    changed();
    if (text_ != committed_) commit();
    // A copy: the handler may end the field's owner.
    if (auto ended = onEndEditing) ended(*this);
}

bool TextField::userCommand(Command command) {
    if (onCommand) {
        if (auto handler = onCommand; handler(*this, command)) return true;
    }
    if (command == Command::insertNewline) return commit();
    return false;
}

bool TextField::commit() {
    committed_ = text_;
    return sendAction();
}

bool TextField::becomeFirstResponder() {
    if (!acceptsFirstResponder()) return false;
    userBeganEditing();
    return true;
}

bool TextField::resignFirstResponder() {
    userEndedEditing();
    return true;
}

void TextField::keyDown(const KeyEvent& event) {
    const bool shift = event.modifiers & Modifier::shift;
    const bool command = event.modifiers & (Modifier::control | Modifier::super);
    std::optional<Command> asked;
    switch (event.key) {
        case Key::returnKey:
        case Key::keypadEnter: asked = Command::insertNewline; break;
        case Key::tab: asked = shift ? Command::insertBacktab : Command::insertTab; break;
        case Key::escape: asked = Command::cancelOperation; break;
        case Key::up: asked = Command::moveUp; break;
        case Key::down: asked = Command::moveDown; break;
        default: break;
    }
    if (asked) {
        if (!userCommand(*asked)) View::keyDown(event);
        return;
    }
    const size_t count = characterCount();
    switch (event.key) {
        case Key::backspace: deleteBackward(); return;
        case Key::left:
            setSelectedRange({selection_.length ? selection_.location : (selection_.location ? selection_.location - 1 : 0), 0});
            return;
        case Key::right:
            setSelectedRange({selection_.length ? selection_.location + selection_.length : std::min(count, selection_.location + 1), 0});
            return;
        case Key::home: setSelectedRange({0, 0}); return;
        case Key::end: setSelectedRange({count, 0}); return;
        default: break;
    }
    if (!command && !event.characters.empty() && static_cast<unsigned char>(event.characters[0]) >= 0x20 &&
        event.characters[0] != 0x7f) {
        typeText(event.characters);
        return;
    }
    View::keyDown(event);
}

void TextField::mouseDown(const MouseEvent&) {
    if (Window* shown = window()) shown->makeFirstResponder(this);
}

RichText TextField::shownText() const {
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = textColor_.value_or(drawing::text());
    if (!text_.empty()) return RichText(text_, attributes);
    attributes.color = placeholderColor_.value_or(defaultPlaceholderColor);
    return RichText(placeholder_, attributes);
}

View::Size TextField::fittingSize() const {
    const double inset = bordered_ ? borderedInset : framelessInset;
    TextAttributes attributes;
    attributes.font = font_;
    const Size line = RichText("Mg", attributes).measure();
    const double width = std::max(RichText(text_, attributes).measure().width, RichText(placeholder_, attributes).measure().width);
    return {width + 2 * inset, line.height + 2 * (bordered_ ? 3.0 : 1.0)};
}

void TextField::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    // The ground of the toolkit's entry in the palette the application draws in.
    if (drawsBackground_ && bordered_) canvas.fill(box, drawing::dark() ? gfx::Rgba{0.18, 0.18, 0.18, 1} : gfx::Rgba{1, 1, 1, 1});
    if (bordered_) drawing::strokeInside(canvas, box, gfx::Rgba{0.6, 0.6, 0.6, 1}, 1);
    const double inset = bordered_ ? borderedInset : framelessInset;
    const RichText text = shownText();
    TextLayoutOptions options;
    options.width = std::max(0.0, box.width - 2 * inset);
    options.wraps = false;
    options.truncation = Truncation::tail;
    const Size size = text.measure(options);
    canvas.save();
    canvas.clip(box);
    text.draw(canvas, Rect{inset, (box.height - size.height) / 2, *options.width, size.height}, isFlipped(), options);
    if (editing_) {
        // The caret after the characters before it.
        TextAttributes attributes;
        attributes.font = font_;
        const double x = inset + RichText(text_.substr(0, byteOffset(selection_.location)), attributes).measure().width;
        canvas.fill(Rect{std::min(x, box.width - 1), (box.height - size.height) / 2, 1, size.height}, textColor_.value_or(drawing::text()));
    }
    canvas.restore();
}

}  // namespace platform::ui
