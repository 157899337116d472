#include "vantel/view/CaretView.h"

namespace vantel {

CaretView::CaretView(const Rect& frame, CursorStyle cursorStyle, TerminalView* terminal)
    : View(frame), style(cursorStyle), terminal_(terminal) {
    setNeedsDisplay();
}

void CaretView::updateCursorStyle() { setNeedsDisplay(); }

}  // namespace vantel
