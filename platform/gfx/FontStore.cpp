#include "platform/gfx/FontStore.h"

#include <algorithm>
#include <cmath>

namespace platform::gfx {

SharedFace::~SharedFace() {
    if (ft) FT_Done_Face(ft);
    if (hb) hb_face_destroy(hb);
    if (blob) hb_blob_destroy(blob);
}

double SharedFace::applySize(double x, double y) {
    if (!FT_IS_SCALABLE(ft)) {
        if (appliedX_ < 0) {
            if (ft->num_fixed_sizes <= 0) return -1;
            // The smallest strike at least as large as asked, else the largest.
            int best = 0;
            for (int i = 1; i < ft->num_fixed_sizes; ++i) {
                double have = ft->available_sizes[i].y_ppem / 64.0;
                double bestHave = ft->available_sizes[best].y_ppem / 64.0;
                bool fits = have >= y, bestFits = bestHave >= y;
                if ((fits && (!bestFits || have < bestHave)) || (!fits && !bestFits && have > bestHave)) best = i;
            }
            if (FT_Select_Size(ft, best) != 0) return -1;
            appliedX_ = appliedY_ = ft->available_sizes[best].y_ppem / 64.0;
        }
        return appliedY_;
    }
    if (x != appliedX_ || y != appliedY_) {
        if (FT_Set_Char_Size(ft, std::lround(x * 64), std::lround(y * 64), 72, 72) != 0) {
            appliedX_ = appliedY_ = -1;
            return -1;
        }
        appliedX_ = x;
        appliedY_ = y;
    }
    return 0;
}

FontStore& FontStore::shared() {
    // Destroyed at exit with the fonts it keeps, like the other caches of fonts.
    static FontStore store;
    return store;
}

template <typename Map>
void FontStore::sweep(Map& map, size_t& sweptAt) {
    // Entries of fonts and faces gone are dropped once the map has doubled since the last sweep.
    if (map.size() < 2 * sweptAt + 16) return;
    std::erase_if(map, [](const auto& entry) { return entry.second.expired(); });
    sweptAt = map.size();
}

std::shared_ptr<SharedFace> FontStore::face(const std::string& path, int index, std::string* error) {
    auto fail = [error](std::string why) -> std::shared_ptr<SharedFace> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    if (auto found = faces_.find({path, index}); found != faces_.end()) {
        if (auto face = found->second.lock()) return face;
    }
    FT_Library library = freeTypeLibrary();
    if (!library) return fail("FreeType did not start");
    auto face = std::make_shared<SharedFace>();
    face->path = path;
    face->index = index;
    // Another face of the same file (a collection) lends its mapping.
    for (auto it = faces_.lower_bound({path, 0}); it != faces_.end() && it->first.first == path; ++it) {
        if (auto other = it->second.lock()) {
            face->blob = hb_blob_reference(other->blob);
            break;
        }
    }
    if (!face->blob) face->blob = hb_blob_create_from_file_or_fail(path.c_str());
    if (!face->blob) return fail(path + " does not load in FreeType (the file cannot be read)");
    unsigned length = 0;
    const char* bytes = hb_blob_get_data(face->blob, &length);
    if (const FT_Error ft = FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes),
                                               static_cast<FT_Long>(length), index, &face->ft);
        ft != 0) {
        face->ft = nullptr;
        return fail(path + " does not load in FreeType (error " + std::to_string(ft) + ")");
    }
    face->hb = hb_face_create(face->blob, static_cast<unsigned>(index));
    face->shared = FT_IS_SCALABLE(face->ft) || face->ft->num_fixed_sizes <= 1;
    if (face->shared) {
        sweep(faces_, facesSweptAt_);
        faces_[{path, index}] = face;
    }
    return face;
}

FontRef FontStore::find(const Key& key, bool keep) {
    auto found = fonts_.find(key);
    if (found == fonts_.end()) return nullptr;
    FontRef font = found->second.lock();
    if (font && keep) this->keep(font);
    return font;
}

void FontStore::remember(const Key& key, const FontRef& font, bool keep) {
    if (!font) return;
    sweep(fonts_, fontsSweptAt_);
    fonts_[key] = font;
    if (keep) this->keep(font);
}

void FontStore::keep(const FontRef& font) {
    if (auto it = std::find(kept_.begin(), kept_.end(), font); it != kept_.end()) {
        std::rotate(it, it + 1, kept_.end());
        return;
    }
    if (kept_.size() >= capacity) kept_.erase(kept_.begin());
    kept_.push_back(font);
}

size_t FontStore::liveFaces() const {
    return static_cast<size_t>(std::count_if(faces_.begin(), faces_.end(), [](const auto& e) { return !e.second.expired(); }));
}

size_t FontStore::liveFonts() const {
    return static_cast<size_t>(std::count_if(fonts_.begin(), fonts_.end(), [](const auto& e) { return !e.second.expired(); }));
}

void FontStore::forget() {
    kept_.clear();
    fonts_.clear();
    fontsSweptAt_ = 0;
}

}  // namespace platform::gfx
