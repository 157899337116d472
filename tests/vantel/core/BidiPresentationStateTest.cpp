#include <gtest/gtest.h>

#include "vantel/core/BidiPresentationState.h"

using namespace vantel;

TEST(BidiPresentationStateTest, PresentationModeAndPacking) {
    using Mode = BidiPresentationMode;
    constexpr auto explicit_ = BidiSupportMode::explicit_;
    constexpr auto implicit = BidiSupportMode::implicit;
    constexpr auto ltr = BidiDirection::leftToRight;
    constexpr auto rtl = BidiDirection::rightToLeft;
    struct Case {
        BidiPresentationState state;
        Mode mode;
    };
    const Case cases[] = {
        {{explicit_, true, ltr, false}, Mode::explicitLeftToRight},
        {{explicit_, false, rtl, false}, Mode::explicitRightToLeft},
        {{implicit, false, ltr, false}, Mode::implicitLeftToRight},
        {{implicit, false, rtl, true}, Mode::implicitRightToLeft},
        {{implicit, true, ltr, false}, Mode::implicitAutoLeftToRight},
        {{implicit, true, rtl, false}, Mode::implicitAutoRightToLeft},
    };
    EXPECT_EQ(BidiPresentationState().presentationMode(), Mode::implicitAutoLeftToRight);
    for (const Case& a : cases) {
        EXPECT_EQ(a.state.presentationMode(), a.mode) << int(a.mode);
        for (const Case& b : cases) EXPECT_EQ(a.state == b.state, a.state.packed() == b.state.packed());
    }
}
