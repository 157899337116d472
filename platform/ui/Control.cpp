#include "platform/ui/Control.h"

namespace platform::ui {

Control::~Control() = default;

void Control::setEnabled(bool enabled) { setProperty(enabled_, enabled); }

void Control::setToolTip(std::string toolTip) { setProperty(toolTip_, std::move(toolTip)); }

void Control::setPeer(std::unique_ptr<ControlPeer> peer) {
    peer_ = std::move(peer);
    peerWindow_ = window();
    if (peer_) peer_->update();
}

void Control::viewDidMoveToWindow() {
    // The widget belongs to the old window's toolkit; the new window makes its own.
    if (peer_ && window() != peerWindow_) setPeer(nullptr);
}

bool Control::isUsable() const {
    if (!enabled_) return false;
    for (const View* v = this; v; v = v->superview()) {
        if (v->isHidden()) return false;
    }
    return true;
}

bool Control::becomeFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool Control::resignFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool Control::isPressKey(const KeyEvent& event) {
    const bool pressKey = event.key == Key::space || event.key == Key::returnKey || event.key == Key::keypadEnter ||
                          (event.key == Key::character && event.characters == " ");
    return pressKey && !(event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super));
}

bool Control::sendAction() {
    if (!isUsable()) return false;
    // A copy: the action may replace itself or end the control's owner.
    if (Action action = action_) action(*this);
    return true;
}

void Control::changed() {
    if (peer_) peer_->update();
    setNeedsDisplay();
}

}  // namespace platform::ui
