#include "vantel/view/TerminalViewFontSet.h"

namespace vantel {

using platform::gfx::Font;
using platform::gfx::FontRef;
using platform::gfx::FontTraits;

TerminalViewFontSet TerminalViewFontSet::make(FontRef base) {
    TerminalViewFontSet set;
    set.normal = base ? std::move(base) : Font::systemFont();
    if (!set.normal) return set;
    FontTraits traits = set.normal->traits();
    auto variant = [&](bool bold, bool italic) {
        FontRef font = set.normal->withTraits(FontTraits{traits.bold || bold, traits.italic || italic});
        return font ? font : set.normal;
    };
    set.bold = variant(true, false);
    set.italic = variant(false, true);
    set.boldItalic = variant(true, true);
    return set;
}

}  // namespace vantel
