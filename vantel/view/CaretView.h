#pragma once

#include <optional>

#include "platform/gfx/Rgba.h"
#include "platform/ui/View.h"
#include "vantel/core/TerminalOptions.h"

namespace vantel {

class TerminalView;

// The cursor: a small subview that its terminal view places over the cursor cell. It holds the
// caret's colours, style and focus; its drawing, the character under it and its blinking come
// with the caret's own work (updateCursorStyle is where they start).
class CaretView : public platform::ui::View {
public:
    // A toolkit's highlight blue, until a theme sets the caret colour.
    static constexpr platform::gfx::Rgba systemSelectedControlColor = platform::gfx::Rgba::fromBytes(0x35, 0x84, 0xE4);

    CaretView(const Rect& frame, CursorStyle cursorStyle, TerminalView* terminal);

    TerminalView* terminal() const { return terminal_; }
    CursorStyle style = CursorStyle::blinkBlock;
    bool tracksFocus = true;
    bool focused = false;
    platform::gfx::Rgba defaultCaretColor = systemSelectedControlColor;
    platform::gfx::Rgba caretColor = systemSelectedControlColor;
    platform::gfx::Rgba bgColor = systemSelectedControlColor;  // kept equal to caretColor by the terminal view
    std::optional<platform::gfx::Rgba> defaultCaretTextColor;
    std::optional<platform::gfx::Rgba> caretTextColor;

    // Applies the style and focus, and redraws.
    void updateCursorStyle();

private:
    TerminalView* terminal_;
};

}  // namespace vantel
