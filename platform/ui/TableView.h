#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"

namespace platform::ui {

// A list of styled rows in one column that scrolls vertically: every row as high as the others,
// at most one selected. A click selects a row; a double click on a row, or Return while the table
// has the keyboard and a row is selected, runs the action (the "double action") with that row as
// clickedRow(). Rows are drawn from the top (the view is flipped).
class TableView : public Control {
public:
    struct Row {
        RichText text;
        // 0: as many as fit the row.
        int maximumLines = 1;
        Truncation truncation = Truncation::tail;
        friend bool operator==(const Row&, const Row&) = default;
    };

    explicit TableView(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    bool acceptsFirstResponder() const override { return true; }

    const std::vector<Row>& rows() const { return rows_; }
    int numberOfRows() const { return static_cast<int>(rows_.size()); }
    // Replaces every row (a reload): the selection stays on its index while that is still a row.
    void setRows(std::vector<Row> rows);
    double rowHeight() const { return rowHeight_; }
    // A height that is not finite or below 1 is ignored.
    void setRowHeight(double height);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    const gfx::Rgba& backgroundColor() const { return background_; }
    void setBackgroundColor(gfx::Rgba color);
    // Behind the selected row; none: a quiet highlight of the table's own (the stand-in's
    // standInSelection, a translucent grey in the toolkit), whose ground the rows' colours may not suit.
    const std::optional<gfx::Rgba>& selectionColor() const { return selection_; }
    void setSelectionColor(std::optional<gfx::Rgba> color);

    // -1 for none.
    int selectedRow() const { return selected_; }
    // Selects without telling anyone; an index outside the rows selects none.
    void selectRow(int row);
    // The row of the last activation; -1 before the first.
    int clickedRow() const { return clicked_; }

    // How far the rows are scrolled, 0 at the top; kept within the rows.
    double scrollOffset() const { return scrollOffset_; }
    void scrollTo(double offset);
    // Scrolls the least that shows the whole row.
    void scrollRowToVisible(int row);
    double contentHeight() const { return rowHeight_ * static_cast<double>(rows_.size()); }
    // The row under a point of the view (top-left origin, scroll counted); -1 for none.
    int rowAt(Point point) const;

    // Told when the user changes the selection (a click, an arrow key).
    std::function<void(TableView&)> onSelectionChange;
    // Sees each key press first while the table has the keyboard; true takes it.
    std::function<bool(const KeyEvent&)> onKeyDown;

    // The user's use of the table, as the toolkit reports it (tests call them as a user would):
    // a press on a row (a second press of a double click activates it), a move of the selection
    // by the arrow keys, an activation of a row. False when nothing happened.
    bool clickRow(int row, int clickCount);
    bool moveSelection(int delta);
    bool activateRow(int row);

    Size fittingSize() const override { return {frame().width, contentHeight()}; }
    void setFrameSize(Size size) override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;
    void keyDown(const KeyEvent& event) override;
    void mouseDown(const MouseEvent& event) override;
    void scrollWheel(const ScrollEvent& event) override;

    // The stand-in's highlight behind the selected row without a colour of the table's.
    static constexpr gfx::Rgba standInSelection{0.35, 0.55, 0.9, 0.35};

private:
    void userSelected(int row);

    std::vector<Row> rows_;
    double rowHeight_ = 24;
    bool drawsBackground_ = true;
    gfx::Rgba background_{1, 1, 1, 1};
    std::optional<gfx::Rgba> selection_;
    int selected_ = -1;
    int clicked_ = -1;
    double scrollOffset_ = 0;
};

}  // namespace platform::ui
