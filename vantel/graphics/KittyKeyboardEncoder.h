#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vantel/graphics/KittyKeyEvent.h"

namespace vantel {

class Terminal;

// Turns one key event into the bytes sent to the child: the progressive-enhancement
// CSI u encoding where the flags ask for it, the legacy sequences otherwise.
// A value with no state beyond its inputs.
struct KittyKeyboardEncoder {
    KittyKeyboardFlags flags;
    bool applicationCursor = false;
    bool applicationKeypad = false;
    bool backspaceSendsControlH = false;

    // The active screen's flags and the terminal's cursor and keypad modes.
    static KittyKeyboardEncoder forTerminal(const Terminal& terminal, bool backspaceSendsControlH);

    // The bytes to send, or nothing when the key is not reported.
    std::optional<std::vector<uint8_t>> encode(const KittyKeyEvent& event) const;

private:
    using Sequence = std::optional<std::string>;

    Sequence encodeText(const KittyKeyEvent& event) const;
    Sequence encodeAllKeys(const KittyKeyEvent& event, bool includeText) const;
    Sequence encodeNonText(const KittyKeyEvent& event, bool disambiguate, bool includeEventType, bool includeAlternates,
                           bool includeLocks) const;
    Sequence encodeFunctional(const KittyKeyEvent& event, bool disambiguate, bool includeEventType,
                              bool includeAlternates, bool includeLocks) const;
    Sequence legacySpecialKeySequence(KittyFunctionalKey key, KittyKeyboardModifiers modifiers,
                                      KittyKeyboardEventType eventType) const;
    Sequence legacyFunctionalKeySequence(KittyFunctionalKey key, const KittyKeyEvent& event) const;
    Sequence legacyKeypadSequence(KittyFunctionalKey key, const std::optional<std::string>& text,
                                  KittyKeyboardModifiers modifiers) const;
};

}  // namespace vantel
