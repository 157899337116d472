#include "platform/gfx/FallbackFontCache.h"

#include <algorithm>

#include "platform/gfx/HashCombine.h"

namespace platform::gfx {

size_t FallbackFontCache::KeyHash::operator()(const Key& k) const {
    size_t h = hashCombine(k.length, k.fontId);
    for (size_t i = 0; i < k.length; i += 2) h = hashCombine(h, uint64_t{k.scalars[i]} << 32 | k.scalars[i + 1]);
    return h;
}

FallbackFontCache& FallbackFontCache::shared() {
    // Destroyed at exit, so no font outlives the process's end (leak checkers cannot follow the
    // offsets inside fontconfig's patterns).
    static FallbackFontCache cache;
    return cache;
}

FontRef FallbackFontCache::resolve(std::u32string_view cluster, const FontRef& base,
                                   EmojiPresentationTest isEmojiPresentation) {
    if (!base || cluster.empty()) return base;
    // A lone character the base draws as text is most of every screen: answered as fontFor()
    // would answer it, without an entry.
    if (cluster.size() == 1 && cluster[0] != 0xFE0E && cluster[0] != 0xFE0F &&
        !(isEmojiPresentation && isEmojiPresentation(cluster[0])) && FontFallback::covers(*base, cluster)) {
        return base;
    }
    // So is one that no font of the fallback list has (a screen of ideographs without a font for them).
    if (cluster.size() == 1 && !FontFallback::anyFallbackHas(*base, cluster[0])) return base;
    if (cluster.size() > maxScalars) return FontFallback::fontFor(base, cluster, isEmojiPresentation);
    Key key{base->id(), isEmojiPresentation, {}, static_cast<uint8_t>(cluster.size())};
    std::copy(cluster.begin(), cluster.end(), key.scalars.begin());
    if (FontRef* found = entries_.find(key)) return *found;
    return entries_.insert(key, FontFallback::fontFor(base, cluster, isEmojiPresentation));
}

}  // namespace platform::gfx
