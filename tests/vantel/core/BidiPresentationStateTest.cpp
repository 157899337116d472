#include <gtest/gtest.h>

#include "vantel/core/BidiPresentationState.h"

using namespace vantel;

TEST(BidiPresentationStateTest, PresentationMode) {
    using M = BidiPresentationMode;
    constexpr auto ex = BidiSupportMode::explicit_, im = BidiSupportMode::implicit;
    constexpr auto ltr = BidiDirection::leftToRight, rtl = BidiDirection::rightToLeft;
    EXPECT_EQ(BidiPresentationState().presentationMode(), M::implicitAutoLeftToRight);
    EXPECT_EQ((BidiPresentationState{ex, true, rtl, false}.presentationMode()), M::explicitRightToLeft);
    EXPECT_EQ((BidiPresentationState{ex, false, ltr, true}.presentationMode()), M::explicitLeftToRight);
    EXPECT_EQ((BidiPresentationState{im, false, rtl, true}.presentationMode()), M::implicitRightToLeft);
    EXPECT_EQ((BidiPresentationState{im, true, rtl, false}.presentationMode()), M::implicitAutoRightToLeft);
}
