#pragma once

#include "platform/ui/View.h"

namespace platform::ui {

// A plain view whose origin is its top-left corner: the container of panels laid out with
// fixed frames from the top.
class FlippedView : public View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};

}  // namespace platform::ui
