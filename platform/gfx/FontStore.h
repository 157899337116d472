#pragma once

// What the process keeps of its fonts, so that every font file is mapped once and every font made
// once, whatever the number of views and zooms. Internal to platform/gfx.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/gfx/FontFace.h"

namespace platform::gfx {

// The faces of font files by path and face index, and the fonts by what was asked of them. A face
// lives while a font uses it. A font lives while anything holds it; the `capacity` fonts asked for
// most recently also while nothing does, so that a view going back to a size it had (a zoom in and
// out) gets the same fonts, and with them the fallbacks, glyphs and layouts cached for them. Fonts
// keep no link back to the store: dropping the last reference frees a font wherever it is.
// Main thread only, like the fonts.
class FontStore {
public:
    static constexpr size_t capacity = 32;

    static FontStore& shared();

    // What a font was made for: the family asked (for a fallback font, its base's), the file and
    // face it was matched to, its size and traits, and whether it is a fallback.
    struct Key {
        std::string family;
        std::string path;
        int index = 0;
        double size = 0;
        FontTraits traits;
        bool fallback = false;
        friend bool operator<(const Key& a, const Key& b) {
            return std::tie(a.family, a.path, a.index, a.size, a.traits.bold, a.traits.italic, a.fallback) <
                   std::tie(b.family, b.path, b.index, b.size, b.traits.bold, b.traits.italic, b.fallback);
        }
    };

    // The face of that file and index: the one fonts use now, else opened anew over the file's
    // mapping (itself shared by the faces of one file). Null with the cause in `error` when the
    // file cannot be read or is no font.
    std::shared_ptr<SharedFace> face(const std::string& path, int index, std::string* error);

    // The font made for the key, if it is still alive; it becomes the most recent of those kept
    // when `keep` says so.
    FontRef find(const Key& key, bool keep);
    // Notes a font made for the key; kept as the most recent when `keep` says so.
    void remember(const Key& key, const FontRef& font, bool keep);

    size_t liveFaces() const;
    size_t liveFonts() const;
    size_t keptFonts() const { return kept_.size(); }
    // Lets go of the fonts kept and forgets those alive: later requests make new ones. For tests.
    void forget();

private:
    void keep(const FontRef& font);
    template <typename Map>
    static void sweep(Map& map, size_t& sweptAt);

    std::map<std::pair<std::string, int>, std::weak_ptr<SharedFace>> faces_;
    std::map<Key, std::weak_ptr<const Font>> fonts_;
    std::vector<FontRef> kept_;  // oldest first
    size_t facesSweptAt_ = 0;
    size_t fontsSweptAt_ = 0;
};

}  // namespace platform::gfx
