#include "vantel/core/UnicodeUtil.h"
#include "vantel/view/FallbackFontCache.h"

namespace vantel {

bool isEmojiPresentation(char32_t c) { return UnicodeUtil::isEmojiPresentation(c); }

platform::gfx::FontRef resolvedFont(const Character& character, const platform::gfx::FontRef& base) {
    return FallbackFontCache::shared().resolve(character, base, isEmojiPresentation);
}

}  // namespace vantel
