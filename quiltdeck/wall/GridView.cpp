#include "quiltdeck/wall/GridView.h"

#include <algorithm>
#include <cmath>

namespace quiltdeck {

platform::ui::View::Rect GridView::cellFrame(size_t index, size_t count, Size size) {
    if (count == 0 || index >= count) return {};
    const size_t columns = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    const size_t rows = (count + columns - 1) / columns;
    const double width = std::max(0.0, (size.width - gap * static_cast<double>(columns + 1)) / columns);
    const double height = std::max(0.0, (size.height - gap * static_cast<double>(rows + 1)) / rows);
    const size_t column = index % columns, row = index / columns;
    const double x = gap + static_cast<double>(column) * (width + gap);
    // The first row is the top one; y grows upwards.
    const double y = size.height - static_cast<double>(row + 1) * (height + gap);
    return {std::round(x), std::round(y), std::floor(width), std::floor(height)};
}

void GridView::setTiles(std::vector<platform::ui::View*> tiles) {
    for (platform::ui::View* old : tiles_) {
        if (std::find(tiles.begin(), tiles.end(), old) == tiles.end() && old->superview() == this)
            old->removeFromSuperview();
    }
    tiles_ = std::move(tiles);
    for (platform::ui::View* tile : tiles_) {
        if (tile->superview() != this) addSubview(tile);
    }
    layoutTiles();
}

void GridView::setEmptyView(platform::ui::View* view, std::function<double(double width)> heightFor) {
    if (empty_ && empty_ != view) empty_->removeFromSuperview();
    empty_ = view;
    emptyHeight_ = std::move(heightFor);
    if (empty_) addSubview(empty_);
    layoutTiles();
}

void GridView::layoutTiles() {
    for (size_t i = 0; i < tiles_.size(); ++i) tiles_[i]->setFrame(cellFrame(i, tiles_.size(), Size{frame().width, frame().height}));
    if (empty_) {
        empty_->setHidden(!tiles_.empty());
        if (tiles_.empty()) {
            const double height = emptyHeight_ ? emptyHeight_(frame().width) : 0;
            empty_->setFrame({0, std::round(std::max(0.0, (frame().height - height) / 2)), frame().width, height});
        }
    }
    setNeedsDisplay(bounds());
}

void GridView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layoutTiles();
}

void GridView::draw(platform::gfx::Canvas& canvas, const Rect& dirty) { canvas.fill(dirty, background_); }

void GridView::setBackground(platform::gfx::Rgba color) {
    background_ = color;
    setNeedsDisplay(bounds());
}

}  // namespace quiltdeck
