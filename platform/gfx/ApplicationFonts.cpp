#include "platform/gfx/ApplicationFonts.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace platform::gfx {

namespace {

bool sameFamily(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// What fontconfig answered, by family and weight, until the set of fonts changes: the interface
// asks for its faces every time it builds a styled text.
std::map<std::pair<std::string, int>, std::optional<std::string>>& faceNames() {
    static std::map<std::pair<std::string, int>, std::optional<std::string>> names;
    return names;
}

std::mutex& faceNamesLock() {
    static std::mutex lock;
    return lock;
}

std::optional<std::string> matchFaceName(std::string_view family, FontWeight weight) {
    FcPattern* pattern = FcPatternCreate();
    const std::string name(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(static_cast<double>(weight)));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;
    std::optional<std::string> face;
    bool ofFamily = false;
    FcChar8* value = nullptr;
    // A face lists several family names (its own and its typographic family); any may match.
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
        if (sameFamily(reinterpret_cast<const char*>(value), family)) ofFamily = true;
    }
    if (ofFamily && FcPatternGetString(match, FC_POSTSCRIPT_NAME, 0, &value) == FcResultMatch)
        face = reinterpret_cast<const char*>(value);
    FcPatternDestroy(match);
    return face;
}

}  // namespace

bool ApplicationFonts::add(const std::filesystem::path& file) {
    const bool added = FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(file.c_str())) == FcTrue;
    std::lock_guard lock(faceNamesLock());
    faceNames().clear();
    return added;
}

void ApplicationFonts::changed() {
    {
        std::lock_guard lock(faceNamesLock());
        faceNames().clear();
    }
    PangoFontMap* map = pango_cairo_font_map_get_default();
    if (map && PANGO_IS_FC_FONT_MAP(map)) pango_fc_font_map_config_changed(PANGO_FC_FONT_MAP(map));
}

std::optional<std::string> ApplicationFonts::faceName(std::string_view family, FontWeight weight) {
    auto key = std::make_pair(std::string(family), static_cast<int>(weight));
    std::lock_guard lock(faceNamesLock());
    auto& names = faceNames();
    if (auto it = names.find(key); it != names.end()) return it->second;
    return names[std::move(key)] = matchFaceName(family, weight);
}

std::vector<std::string> ApplicationFonts::monospaceFamilies() {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_COLOR, FC_CHARSET, nullptr);
    FcFontSet* faces = FcFontList(nullptr, pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    std::set<std::string> families;
    for (int i = 0; faces && i < faces->nfont; ++i) {
        const FcPattern* face = faces->fonts[i];
        FcBool color = FcFalse;
        if (FcPatternGetBool(face, FC_COLOR, 0, &color) == FcResultMatch && color) continue;
        FcCharSet* characters = nullptr;
        if (FcPatternGetCharSet(face, FC_CHARSET, 0, &characters) != FcResultMatch) continue;
        bool latin = true;
        for (FcChar32 c : {FcChar32('A'), FcChar32('z'), FcChar32('0'), FcChar32('~')}) latin = latin && FcCharSetHasChar(characters, c);
        FcChar8* family = nullptr;
        if (latin && FcPatternGetString(face, FC_FAMILY, 0, &family) == FcResultMatch)
            families.insert(reinterpret_cast<const char*>(family));
    }
    if (faces) FcFontSetDestroy(faces);
    return {families.begin(), families.end()};
}

}  // namespace platform::gfx
