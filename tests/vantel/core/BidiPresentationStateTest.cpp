#include <gtest/gtest.h>

#include "vantel/core/BidiPresentationState.h"

using namespace vantel;

TEST(BidiPresentationStateTest, PresentationModeAndPacking) {
    using M = BidiPresentationMode;
    constexpr auto ex = BidiSupportMode::explicit_, im = BidiSupportMode::implicit;
    constexpr auto ltr = BidiDirection::leftToRight, rtl = BidiDirection::rightToLeft;
    const std::pair<BidiPresentationState, M> cases[] = {
        {{ex, true, ltr, false}, M::explicitLeftToRight},     {{ex, false, rtl, false}, M::explicitRightToLeft},
        {{im, false, ltr, false}, M::implicitLeftToRight},    {{im, false, rtl, true}, M::implicitRightToLeft},
        {{im, true, ltr, false}, M::implicitAutoLeftToRight}, {{im, true, rtl, false}, M::implicitAutoRightToLeft},
    };
    EXPECT_EQ(BidiPresentationState().presentationMode(), M::implicitAutoLeftToRight);
    for (const auto& [state, mode] : cases) {
        EXPECT_EQ(state.presentationMode(), mode) << int(mode);
        for (const auto& other : cases) EXPECT_EQ(state == other.first, state.packed() == other.first.packed());
    }
}
