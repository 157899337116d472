#pragma once

#include "platform/gfx/Font.h"

namespace vantel {

// The normal, bold, italic and bold-italic fonts of a terminal view; TerminalView names it
// TerminalView::FontSet. Cell metrics come from `normal`; the attribute builder picks the face of
// each cell.
struct TerminalViewFontSet {
    platform::gfx::FontRef normal;
    platform::gfx::FontRef bold;
    platform::gfx::FontRef italic;
    platform::gfx::FontRef boldItalic;

    // All four from one base font (the system font when null): the base, then the same family with
    // bold, italic and both added to the base's traits, as fontconfig finds them or synthesised.
    static TerminalViewFontSet make(platform::gfx::FontRef base);
};

}  // namespace vantel
