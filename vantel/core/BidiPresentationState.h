#pragma once

#include <cstdint>

namespace vantel {

enum class BidiSupportMode : uint8_t { implicit = 0, explicit_ = 1 };
enum class BidiDirection : uint8_t { leftToRight = 0, rightToLeft = 1 };

// The four states a line can be in, as one value.
enum class BidiPresentationMode : uint8_t {
    implicitLeftToRight,
    implicitRightToLeft,
    implicitAutoLeftToRight,
    implicitAutoRightToLeft,
    explicitLeftToRight,
    explicitRightToLeft,
};

// How a renderer lays out right-to-left text on a line.
struct BidiPresentationState {
    BidiSupportMode supportMode = BidiSupportMode::implicit;
    bool autodetectDirection = true;
    BidiDirection fallbackDirection = BidiDirection::leftToRight;
    bool boxMirroring = false;

    constexpr BidiPresentationMode presentationMode() const {
        const bool rightToLeft = fallbackDirection == BidiDirection::rightToLeft;
        if (supportMode == BidiSupportMode::explicit_) {
            return rightToLeft ? BidiPresentationMode::explicitRightToLeft : BidiPresentationMode::explicitLeftToRight;
        }
        if (autodetectDirection) {
            return rightToLeft ? BidiPresentationMode::implicitAutoRightToLeft
                               : BidiPresentationMode::implicitAutoLeftToRight;
        }
        return rightToLeft ? BidiPresentationMode::implicitRightToLeft : BidiPresentationMode::implicitLeftToRight;
    }
    // The four fields in one byte, for hashing.
    constexpr uint8_t packed() const {
        return static_cast<uint8_t>(static_cast<unsigned>(supportMode) | (autodetectDirection ? 2u : 0u) |
                                    (static_cast<unsigned>(fallbackDirection) << 2) | (boxMirroring ? 8u : 0u));
    }

    friend constexpr bool operator==(const BidiPresentationState&, const BidiPresentationState&) = default;
};

}  // namespace vantel
