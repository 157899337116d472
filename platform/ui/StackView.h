#pragma once

#include <optional>
#include <vector>

#include "platform/ui/View.h"

namespace platform::ui {

// Lays its arranged subviews out in a row or a column, in order, with a gap between them: each
// at the size it fits (a control's fitting size, a stack's own, a plain view's frame), or at the
// width given when it was arranged. Across the line they sit at the leading edge or centred. The
// views stay their owners'; the stack only places them (the toolkit widgets of controls follow
// their frames). Drawn from the top (the view is flipped).
class StackView : public View {
public:
    enum class Orientation { horizontal, vertical };
    enum class Alignment { leading, center };

    explicit StackView(Orientation orientation = Orientation::horizontal, const Rect& frame = {});

    bool isFlipped() const override { return true; }

    Orientation orientation() const { return orientation_; }
    void setOrientation(Orientation orientation);
    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    // Across the line: horizontal stacks centre by default, vertical ones start at the leading edge.
    Alignment alignment() const { return alignment_; }
    void setAlignment(Alignment alignment);

    const std::vector<View*>& arrangedSubviews() const { return arranged_; }
    // Adds at the end (or moves there), also as a subview; `width` fixes its width.
    void addArrangedSubview(View* view, std::optional<double> width = std::nullopt);
    // Moves an arranged view to a place in the order (clamped to the end).
    void moveArrangedSubview(View* view, size_t index);
    // Takes the view out of the order and out of the stack.
    void removeArrangedSubview(View* view);
    // Takes every arranged view out.
    void removeAllArrangedSubviews();

    // The size the arranged views take together.
    Size fittingSize() const;
    // Places the arranged views again (after one of them changed its content).
    void layout();

protected:
    void resizeSubviews(Size oldSize) override;

private:
    Size sizeOf(const View& view) const;

    Orientation orientation_;
    double spacing_ = 8;
    Alignment alignment_;
    std::vector<View*> arranged_;
    std::vector<std::optional<double>> widths_;
};

}  // namespace platform::ui
