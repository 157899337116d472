// The view's side of the input method, and the few keys a shell needs until the full keyboard
// takes over: text the input method commits, Return, Tab, Backspace, Escape, the arrows and
// control characters.
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::Key;
using platform::ui::KeyEvent;
namespace Modifier = platform::ui::Modifier;
using platform::ui::TextRange;

namespace {

size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) continue;
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

}  // namespace

void TerminalView::insertText(std::string_view utf8, TextRange) {
    if (hasMarkedText()) unmarkText();
    if (!utf8.empty()) send(utf8);
}

void TerminalView::setMarkedText(std::string_view utf8, TextRange selected, TextRange) {
    markedText_ = std::string(utf8);
    markedSelection_ = selected;
    if (markedText_.empty()) unmarkText();
}

void TerminalView::unmarkText() {
    markedText_.clear();
    markedSelection_ = TextRange{};
}

TextRange TerminalView::markedRange() const {
    if (markedText_.empty()) return TextRange{};
    return TextRange{0, utf16Length(markedText_)};
}

TextRange TerminalView::selectedRange() const {
    return markedText_.empty() ? TextRange{0, 0} : markedSelection_;
}

TerminalView::Rect TerminalView::firstRectForCharacterRange(TextRange) {
    // The candidate window goes beside the caret.
    return caretView_->convertToWindow(caretView_->bounds());
}

void TerminalView::keyDown(const KeyEvent& event) {
    if (auto* context = inputContext(); context && context->filterKeyEvent(event)) return;
    if (event.modifiers & Modifier::super) return;
    const bool applicationCursor = terminal_->applicationCursor;
    std::string_view typed;
    switch (event.key) {
    case Key::returnKey:
    case Key::keypadEnter: typed = "\r"; break;
    case Key::tab: typed = (event.modifiers & Modifier::shift) ? "\x1b[Z" : "\t"; break;
    case Key::backspace: typed = backspaceSendsControlH ? "\x08" : "\x7f"; break;
    case Key::escape: typed = "\x1b"; break;
    case Key::up: typed = applicationCursor ? "\x1bOA" : "\x1b[A"; break;
    case Key::down: typed = applicationCursor ? "\x1bOB" : "\x1b[B"; break;
    case Key::right: typed = applicationCursor ? "\x1bOC" : "\x1b[C"; break;
    case Key::left: typed = applicationCursor ? "\x1bOD" : "\x1b[D"; break;
    default: typed = event.characters; break;
    }
    if (typed.empty()) return;
    std::string bytes;
    // Alt as Meta: ESC before what the key types; AltGr text stays text.
    if ((event.modifiers & Modifier::alt) && optionAsMetaKey && !(event.modifiers & Modifier::altGraph)) {
        bytes.push_back('\x1b');
    }
    bytes.append(typed);
    send(std::string_view(bytes));
}

}  // namespace vantel
