#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/FontFallback.h"

namespace platform::gfx {

// The font that draws a cluster, by base font and cluster: the one place fallback is decided, for
// the shaper and the view's cells alike. Keys hold the base font's serial id, never its address.
// Emptied wholesale when full. Main thread only.
class FallbackFontCache {
public:
    static constexpr size_t capacity = 1024;
    // Longer clusters (rare: the longest emoji sequences) are resolved every time.
    static constexpr size_t maxScalars = 8;

    FallbackFontCache() = default;
    static FallbackFontCache& shared();

    // FontFallback::fontFor(base, cluster, isEmojiPresentation), once per key; a single character
    // the base covers and that is not an emoji by default, or that no fallback font has, is the
    // base, and takes no entry.
    FontRef resolve(std::u32string_view cluster, const FontRef& base,
                    EmojiPresentationTest isEmojiPresentation = FontFallback::icuEmojiPresentation);

    size_t count() const { return entries_.size(); }
    const CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    struct Key {
        uint64_t fontId;
        EmojiPresentationTest isEmojiPresentation;  // a function, there for the process's life
        std::array<char32_t, maxScalars> scalars{};   // zero past the cluster's length
        uint8_t length = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    BoundedCache<Key, FontRef, KeyHash> entries_{{.entries = capacity}};
};

}  // namespace platform::gfx
