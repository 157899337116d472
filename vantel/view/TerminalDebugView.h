#pragma once

#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace vantel {

class BufferLine;
class Terminal;
class TerminalView;

// A developer's view of a terminal view's active buffer: a status line with the cursor, the
// display offsets and the scroll-back ring, and every slot of the ring twice, as stored (raw
// slot) and in ring order, the rows of yDisp and yBase marked "D" and "B". It follows the
// terminal view's display updates while that view's `debug` is set. Black on white in a small
// monospace font.
class TerminalDebugView : public platform::ui::View {
public:
    // Registers itself as the terminal view's `debug`; the terminal view must outlive it, or
    // forget it first.
    TerminalDebugView(const Rect& frame, TerminalView& terminal);
    ~TerminalDebugView() override;

    // Marks the whole view for display and refreshes the status line.
    void update();
    const std::string& statusLine() const { return status_; }
    const std::string& fontFamily() const { return family_; }
    double fontSize() const { return fontSize_; }
    // The height of one row of slots.
    double lineHeight() const { return height_; }

    // One row: the prefix, then the line's first `cols` cells ("<empty>" for no line); a cell
    // past the line's end repeats its last one, an empty cell shows as a blank.
    std::string getDebugString(const BufferLine* line, int cols, const std::string& prefix) const;
    // The two rows of ring slot i, as drawn.
    std::string rawSlotRow(int i) const;
    std::string logicalLineRow(int i) const;
    int slotCount() const;

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

private:
    std::string flags(int i) const;

    TerminalView& terminalView_;
    Terminal& terminal_;
    std::string family_;
    double fontSize_ = 8;
    double height_ = 0;
    std::string status_ = "WAITING";
};

}  // namespace vantel
