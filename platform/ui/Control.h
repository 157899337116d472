#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/View.h"

namespace platform::ui {

class Control;

// The toolkit's widget behind a control. The control keeps every property; the peer shows them
// and turns the user's use of the widget into calls of the control (performClick, choose, ...).
class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    // A property of the control changed.
    virtual void update() = 0;
    // The control became its window's first responder: the widget takes the toolkit's keyboard.
    virtual void focus() {}
    // Where the toolkit shows the widget, in window points from the top-left; none when it does
    // not show it. The toolkit may give a widget more room than its frame when its content needs it.
    virtual std::optional<gfx::Rect> shownFrame() const { return std::nullopt; }
    // Whether the widget takes the pointer and so shows the control's tool tip itself; one the
    // pointer passes through (a plain label) leaves the tip to the window under it.
    virtual bool showsToolTip() const { return true; }
};

// A standard control (button, pop-up, label, ...) placed by its frame like any view. It holds its
// state in memory, so without a toolkit (headless) it is its own stand-in and draws a plain
// likeness of itself; with one, a peer shows the real widget over the window. Main thread.
class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;

    using View::View;
    ~Control() override;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // A name for the control's role ("noPill" keeps a button's own look).
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip);
    // Drawn by itself (no toolkit widget), or under a widget the pointer passes through, its tool
    // tip is the window's to show.
    std::string toolTipText() const override { return peer_ && peer_->showsToolTip() ? std::string() : toolTip_; }

    // What the control does when used.
    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }

    // A control the keyboard works (a button, a check box, a pop-up, segments): Tab and Shift+Tab
    // reach it while it is usable, and Space (or Return) presses it while it has the keyboard.
    virtual bool isKeyboardOperable() const { return false; }
    bool canBecomeKeyView() const override { return (isKeyboardOperable() && isUsable() && window()) || View::canBecomeKeyView(); }
    // The stand-in draws its focus ring while it has the keyboard.
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    // Space or Return with no modifier: the keys that press a focused control.
    static bool isPressKey(const KeyEvent& event);

    // The size the control wants for its content, the same in every backend.
    virtual Size fittingSize() const = 0;
    void sizeToFit() { setFrameSize(fittingSize()); }

    ControlPeer* peer() const { return peer_.get(); }
    // Set by the toolkit of the window the control is in; dropped when the control leaves it.
    void setPeer(std::unique_ptr<ControlPeer> peer);

protected:
    void viewDidMoveToWindow() override;
    // Runs the action once; false while the control is disabled or hidden.
    bool sendAction();
    // A shown property changed: the peer updates, the stand-in redraws.
    void changed();
    // Sets a shown property; tells only of a change.
    template <class T, class V>
    void setProperty(T& field, V&& value) {
        if (field == value) return;
        field = std::forward<V>(value);
        changed();
    }
    bool isUsable() const;

private:
    bool enabled_ = true;
    int tag_ = 0;
    std::string identifier_;
    std::string toolTip_;
    Action action_;
    std::unique_ptr<ControlPeer> peer_;
    Window* peerWindow_ = nullptr;
};

}  // namespace platform::ui
