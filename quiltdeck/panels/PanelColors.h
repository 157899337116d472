#pragma once

#include <cstdint>

#include "platform/gfx/Rgba.h"
#include "platform/ui/SegmentedControl.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

// The colour pairs the windows share, dark / light, read from Theme at each call: a view
// applying them never keeps one across a theme change.
class PanelColors {
public:
    PanelColors() = delete;

    static platform::gfx::Rgba pick(platform::gfx::Rgba dark, platform::gfx::Rgba light) {
        return Theme::isDark() ? dark : light;
    }
    static platform::gfx::Rgba rgb(uint8_t r, uint8_t g, uint8_t b) { return platform::gfx::Rgba::fromBytes(r, g, b); }

    static platform::gfx::Rgba strongText() { return pick(rgb(233, 235, 237), rgb(20, 22, 26)); }
    // Light: darker than the first choice (109, 114, 120), which stayed under 4.5:1 on the panel
    // and on the window's ground; dark enough for 4.5:1 on a selected row too, where a small
    // text's strokes drawn one pixel a point never reach their full colour.
    static platform::gfx::Rgba mutedText() { return pick(rgb(158, 163, 169), rgb(86, 91, 97)); }
    // Behind a table's selected row: muted text keeps 4.5:1 on it.
    static platform::gfx::Rgba selectedRow() { return pick(rgb(40, 44, 52), rgb(218, 226, 240)); }
    // Hairlines and the borders of pills and thumbnails.
    static platform::gfx::Rgba hairline() { return pick({1, 1, 1, 0.08}, {0, 0, 0, 0.10}); }
    static platform::gfx::Rgba controlBackground() { return pick(rgb(25, 27, 29), rgb(255, 255, 255)); }
    static platform::gfx::Rgba panelBackground() { return pick(rgb(18, 19, 21), rgb(244, 243, 241)); }
    // Segments on the control ground with muted titles; the selected one on a fill of its own
    // with the strong title.
    static platform::ui::SegmentedControl::Look segmentLook() {
        return {controlBackground(), mutedText(), pick(rgb(70, 75, 84), rgb(214, 218, 224)), strongText(), hairline()};
    }
};

}  // namespace quiltdeck
