#include "vantel/view/FallbackFontCache.h"

#include "platform/gfx/FontFallback.h"
#include "vantel/core/UnicodeUtil.h"

namespace vantel {

namespace {

bool isEmojiPresentation(char32_t c) { return UnicodeUtil::isEmojiPresentation(c); }

}  // namespace

size_t FallbackFontCache::KeyHash::operator()(const Key& k) const {
    return std::hash<std::u32string>{}(k.character) ^ (k.fontId * 0x9E3779B97F4A7C15ull);
}

FallbackFontCache& FallbackFontCache::shared() {
    // Destroyed at exit, so no font outlives the process's end (leak checkers cannot follow the
    // offsets inside fontconfig's patterns).
    static FallbackFontCache cache;
    return cache;
}

platform::gfx::FontRef FallbackFontCache::resolve(const Character& character, const platform::gfx::FontRef& base) {
    if (!base) return base;
    Key key{base->id(), character};
    auto it = entries_.find(key);
    if (it != entries_.end()) return it->second;
    if (entries_.size() >= capacity) entries_.clear();
    platform::gfx::FontRef font = platform::gfx::FontFallback::fontFor(base, character, isEmojiPresentation);
    entries_.emplace(std::move(key), font);
    return font;
}

platform::gfx::FontRef resolvedFont(const Character& character, const platform::gfx::FontRef& base) {
    return FallbackFontCache::shared().resolve(character, base);
}

}  // namespace vantel
