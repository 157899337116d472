// Window and icon titles, cursor visibility.
#include "vantel/core/Terminal.h"

namespace vantel {

// Titles reach the host every time, even unchanged: the host may have drawn its own over them.
void Terminal::setTitle(const std::string& text) {
    terminalTitle = text;
    if (tdel_) tdel_->setTerminalTitle(*this, terminalTitle);
}

void Terminal::setIconTitle(const std::string& text) {
    iconTitle = text;
    if (tdel_) tdel_->setTerminalIconTitle(*this, iconTitle);
}

void Terminal::showCursor() {
    if (!cursorHidden) return;
    cursorHidden = false;
    if (tdel_) tdel_->showCursor(*this);
}

void Terminal::hideCursor() {
    if (cursorHidden) return;
    cursorHidden = true;
    if (tdel_) tdel_->hideCursor(*this);
}

}  // namespace vantel
