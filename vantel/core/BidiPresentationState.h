#pragma once

#include <cstdint>

namespace vantel {

enum class BidiSupportMode : uint8_t { implicit = 0, explicit_ = 1 };
enum class BidiDirection : uint8_t { leftToRight = 0, rightToLeft = 1 };

// How a renderer lays out right-to-left text on a line.
struct BidiPresentationState {
    BidiSupportMode supportMode = BidiSupportMode::implicit;
    bool autodetectDirection = true;
    BidiDirection fallbackDirection = BidiDirection::leftToRight;
    bool boxMirroring = false;

    friend constexpr bool operator==(const BidiPresentationState&, const BidiPresentationState&) = default;
};

}  // namespace vantel
