#pragma once

#include <cstdint>

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

enum class BellStyle : uint8_t { none, sound, visual, soundAndVisual };

}  // namespace vantel
