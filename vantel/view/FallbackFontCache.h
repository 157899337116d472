#pragma once

#include "platform/gfx/FallbackFontCache.h"
#include "platform/gfx/Font.h"
#include "vantel/core/Character.h"

namespace vantel {

using platform::gfx::FallbackFontCache;

// The engine's Emoji_Presentation property (its tables are newer than ICU's): what the view's
// shaping and cell fallback both ask, so they share the fallback cache's entries.
bool isEmojiPresentation(char32_t c);

// The font that draws a cell's text: the base when it covers it, else the fallback that does, from
// the shared fallback cache.
platform::gfx::FontRef resolvedFont(const Character& character, const platform::gfx::FontRef& base);

}  // namespace vantel
