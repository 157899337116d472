// The view's side of the input method: committed and pasted text, the marked text and its
// overlay, and the ranges and rectangles input methods ask for.
#include <algorithm>
#include <cmath>

#include "vantel/core/Character.h"
#include "vantel/core/EscapeSequences.h"
#include "vantel/core/Utf8.h"
#include "vantel/view/DictationOverlayTextView.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace Modifier = platform::ui::Modifier;
using platform::ui::TextRange;

namespace {

size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (char32_t c : fromUtf8(utf8)) units += c > 0xFFFF ? 2 : 1;
    return units;
}

// Bytes [begin, end) of the UTF-8 text that hold UTF-16 units [from, from + length).
std::string utf16Slice(std::string_view utf8, size_t from, size_t length) {
    std::string out;
    size_t unit = 0;
    for (char32_t c : fromUtf8(utf8)) {
        const size_t width = c > 0xFFFF ? 2 : 1;
        if (unit >= from && unit + width <= from + length) appendUtf8(out, c);
        unit += width;
    }
    return out;
}

bool isSingleScalar(std::string_view text) { return fromUtf8(text).size() == 1; }

bool droppedWhenPasted(char32_t c) {
    const bool c0 = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    return c0 || (c >= 0x80 && c <= 0x9F);
}

}  // namespace

bool TerminalView::isPlainPrintableText(std::string_view text) {
    if (text.empty()) return false;
    for (char32_t c : fromUtf8(text)) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    }
    return true;
}

std::string TerminalView::filterPastedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : fromUtf8(text)) {
        if (!droppedWhenPasted(c)) appendUtf8(out, c);
    }
    return out;
}

bool TerminalView::keepsTextWhenPasted(std::string_view text) {
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t at = 0; at < text.size();) {
        // A broken or cut sequence is kept, as U+FFFD.
        const utf8::Sequence sequence = utf8::decode(data + at, text.size() - at);
        if (!droppedWhenPasted(sequence.scalar)) return true;
        at += sequence.length;
    }
    return false;
}

void TerminalView::insertText(std::string_view utf8, TextRange replacementRange) {
    insertText(utf8, replacementRange, false);
}

void TerminalView::insertText(std::string_view utf8, TextRange, bool isPaste) {
    markedText_.clear();
    markedSelection_ = TextRange{};
    refreshMarkedTextOverlay();
    const bool bracketed = isPaste && terminal_->bracketedPasteMode;
    if (terminal_->keyboardEnhancementFlags().empty()) {
        if (isPaste) return sendPaste(std::string(utf8), bracketed);
        if (!utf8.empty()) send(utf8);
        return;
    }
    if (bracketed) {
        pendingKittyKeyEvent_.reset();
        return sendPaste(std::string(utf8), true);
    }
    const std::string text = isPaste ? filterPastedText(utf8) : std::string(utf8);
    const std::optional<PendingKittyKeyEvent> pending = std::exchange(pendingKittyKeyEvent_, std::nullopt);
    kittyIsComposing_ = false;
    if (pending) {
        const ModifierFlags m = pending->event.modifiers;
        const bool option = (m & Modifier::alt) && !(m & Modifier::altGraph);
        // Characters composed with Alt while it is not Meta are plain text.
        if (!settings_.optionAsMetaKey && option && !(m & (Modifier::control | Modifier::super)) && isPlainPrintableText(text)) {
            return send(std::string_view(text));
        }
        if (isSingleScalar(text)) {
            if (auto kitty = kittyTextEvent(pending->event, pending->eventType, text); kitty && sendKittyEvent(*kitty)) {
                return;
            }
        }
    }
    // Text of an input method, several characters, or a paste without the bracket.
    KittyKeyEvent kitty;
    kitty.key = KittyKey::none();
    kitty.text = text;
    sendKittyEvent(kitty);
}

void TerminalView::setMarkedText(std::string_view utf8, TextRange selected, TextRange) {
    markedText_ = std::string(utf8);
    markedSelection_ = selected;
    // Composing until the input method ends it, even with nothing marked.
    kittyIsComposing_ = true;
    refreshMarkedTextOverlay();
}

void TerminalView::unmarkText() {
    markedText_.clear();
    markedSelection_ = TextRange{};
    kittyIsComposing_ = false;
    refreshMarkedTextOverlay();
}

TextRange TerminalView::markedRange() const {
    if (markedText_.empty()) return TextRange{};
    return TextRange{0, utf16Length(markedText_)};
}

TextRange TerminalView::selectedRange() const {
    const int cols = terminal_->cols();
    auto index = [cols](Position p) { return static_cast<int64_t>(p.row) * cols + p.col; };
    if (selection_->active()) {
        const int64_t a = index(selection_->start());
        const int64_t b = index(selection_->end());
        if (a != b) return TextRange{static_cast<size_t>(std::max<int64_t>(0, std::min(a, b))),
                                     static_cast<size_t>(a > b ? a - b : b - a)};
    }
    const Buffer& buffer = terminal_->buffer();
    return TextRange{static_cast<size_t>(std::max<int64_t>(0, index({buffer.x(), buffer.yBase() + buffer.y()}))), 0};
}

std::optional<std::string> TerminalView::attributedSubstring(TextRange range, TextRange* actualRange) const {
    if (markedText_.empty() || range.isNone()) return std::nullopt;
    const size_t length = utf16Length(markedText_);
    if (range.location >= length) return std::nullopt;
    const size_t clipped = std::min(length - range.location, range.length);
    if (clipped == 0) return std::nullopt;
    if (actualRange) *actualRange = TextRange{range.location, clipped};
    return utf16Slice(markedText_, range.location, clipped);
}

const std::vector<std::string>& TerminalView::validAttributesForMarkedText() {
    static const std::vector<std::string> names{"underline style", "marked clause segment", "glyph info"};
    return names;
}

TerminalView::Rect TerminalView::firstRectForCharacterRange(TextRange) {
    // The candidate window goes beside the caret.
    if (!window()) return Rect{};
    return caretView_->convertToWindow(caretView_->bounds());
}

size_t TerminalView::characterIndex(Point windowPoint) const {
    const Size cell = cellDimension_.value_or(fontlessCellSize);
    const Point p = convertFromWindow(windowPoint);
    const double col = std::trunc(p.x / cell.width);
    const double row = std::trunc((frame().height - p.y) / cell.height);
    const double index = row * terminal_->cols() + col;
    return std::isfinite(index) && index > 0 ? static_cast<size_t>(index) : 0;
}

void TerminalView::refreshMarkedTextOverlay() {
    if (markedText_.empty()) {
        if (markedTextOverlay_) {
            markedTextOverlay_->removeFromSuperview();
            markedTextOverlay_.reset();
        }
        return;
    }
    if (!markedTextOverlay_) {
        markedTextOverlay_ = std::make_unique<DictationOverlayTextView>(Rect{});
        addSubview(markedTextOverlay_.get());
    }
    const Size cell = cellDimension_.value_or(fontlessCellSize);
    DictationOverlayTextView::Style style;
    const FontRef& font = fontSet_.normal;
    if (font) {
        style.fontFamily = font->family();
        style.fontSize = font->size();
        // Letters stand on the cell grid: each is followed by what its cell has to spare.
        style.kern = std::max(0.0, cell.width - font->advance(font->glyphIndex(U'W')));
    }
    style.foreground = effectiveNativeForegroundColor();
    style.lineHeight = cell.height;
    style.width = std::max(cell.width, frame().width - 8);
    const Rect caret = caretFrame();
    style.firstLineIndent = caret.minX() >= 4 ? caret.minX() - 4 : 0;
    markedTextOverlay_->overlayBackgroundColor = effectiveNativeBackgroundColor();
    markedTextOverlay_->setText(markedText_, style);
    const double height = markedTextOverlay_->usedHeight();
    // The overlay's top edge is level with the caret's.
    markedTextOverlay_->setFrame(Rect{4, caret.maxY() - height, style.width, height});
    markedTextOverlay_->setNeedsDisplay();
}

}  // namespace vantel
