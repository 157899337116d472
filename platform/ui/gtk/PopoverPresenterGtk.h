#pragma once

#include "platform/ui/Popover.h"

namespace platform::ui::gtk {

// Popovers as undecorated windows kept above their parent, below the anchor (above it when the
// window or the screen ends first) and within the parent window (Popover::placement), closed when
// the user works anywhere else; not while a chooser opened from them is up.
class PopoverPresenterGtk : public Popover::Presenter {
public:
    std::unique_ptr<Window> makeWindow(gfx::Size size, Window& parent, const gfx::Rect& anchor, Popover::Edge edge,
                                       std::function<void()> outsideClick) override;
    void present(Window& window) override;
};

}  // namespace platform::ui::gtk
