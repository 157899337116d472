#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantel {

// The small settings of a terminal view that its owner chooses.

// Which hyperlinks the view reports: none, only those the program attached (OSC 8), or those and
// the links found in the text.
enum class LinkReporting : uint8_t { none, explicit_, implicit };

// When links are underlined: under the pointer, under the pointer while the link modifier is held,
// always, or always while the modifier is held.
enum class LinkHighlightMode : uint8_t { hover, hoverWithModifier, always, alwaysWithModifier };

// Whether rows are laid out as the terminal's bidi state asks, or always left to right.
enum class BidiHostPolicy : uint8_t { respectTerminal, legacyLeftToRight };

// What a bell (BEL from the program) does: nothing, the owner's sound, a flash of the view, or both.
enum class BellStyle : uint8_t { none, sound, visual, soundAndVisual };

// What the owner of a terminal view chooses, as one value (TerminalView::apply).
struct TerminalViewSettings {
    bool useBrightColors = true;
    bool backspaceSendsControlH = false;
    bool allowMouseReporting = true;
    LinkReporting linkReporting = LinkReporting::implicit;
    bool notifyUpdateChanges = false;
    bool disableFullRedrawOnAnyChanges = false;
    bool optionAsMetaKey = true;
    BellStyle bellStyle = BellStyle::sound;
    // Whether programs may read the clipboard (OSC 52 queries). Off: they get no answer at all.
    bool allowClipboardRead = false;
    bool customBlockGlyphs = true;
    bool antiAliasCustomBlockGlyphs = false;
    BidiHostPolicy bidiHostPolicy = BidiHostPolicy::respectTerminal;
    LinkHighlightMode linkHighlightMode = LinkHighlightMode::hoverWithModifier;
    // At least 0.05; a value that is not finite leaves the one before.
    double scrollSensitivity = 1.0;
    bool fontSmoothing = true;

    friend bool operator==(const TerminalViewSettings&, const TerminalViewSettings&) = default;
};

inline constexpr std::array<BellStyle, 4> allBellStyles{BellStyle::none, BellStyle::sound, BellStyle::visual,
                                                        BellStyle::soundAndVisual};

// The tag a setting is saved under, and the name a menu shows.
constexpr std::string_view tagName(BellStyle style) {
    switch (style) {
    case BellStyle::none: return "none";
    case BellStyle::sound: return "sound";
    case BellStyle::visual: return "visual";
    case BellStyle::soundAndVisual: return "soundAndVisual";
    }
    return "none";
}

constexpr std::string_view displayName(BellStyle style) {
    switch (style) {
    case BellStyle::none: return "None";
    case BellStyle::sound: return "Sound";
    case BellStyle::visual: return "Visual";
    case BellStyle::soundAndVisual: return "Sound and Visual";
    }
    return "None";
}

// The style saved under a tag, compared exactly; none for any other text.
constexpr std::optional<BellStyle> bellStyleFromTag(std::string_view tag) {
    for (BellStyle style : allBellStyles) {
        if (tagName(style) == tag) return style;
    }
    return std::nullopt;
}

}  // namespace vantel
