#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "platform/gfx/Font.h"
#include "vantel/core/Character.h"

namespace vantel {

// The font that draws a character, by base font and character, shared by every view. Keys hold
// the base font's serial id, never its address. Emptied wholesale when full. Main thread only.
class FallbackFontCache {
public:
    static constexpr size_t capacity = 1024;

    static FallbackFontCache& shared();

    // The base font when it covers the character, else the fallback that does (emoji presentation
    // from the engine's Unicode tables), else the base.
    platform::gfx::FontRef resolve(const Character& character, const platform::gfx::FontRef& base);

    size_t count() const { return entries_.size(); }
    void clear() { entries_.clear(); }

private:
    struct Key {
        uint64_t fontId;
        Character character;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    std::unordered_map<Key, platform::gfx::FontRef, KeyHash> entries_;
};

// FallbackFontCache::shared().resolve(character, base).
platform::gfx::FontRef resolvedFont(const Character& character, const platform::gfx::FontRef& base);

}  // namespace vantel
