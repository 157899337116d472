#pragma once

#include <functional>
#include <vector>

#include "platform/ui/View.h"

namespace quiltdeck {

// The wall's view: the tiles' views side by side in equal cells, in order, as
// close to square a grid as the count allows, with a small gap.
class GridView : public platform::ui::View {
public:
    static constexpr double gap = 8;

    explicit GridView(const Rect& frame = {}) : View(frame) {}

    // The views in wall order; they become this view's subviews and are laid out.
    void setTiles(std::vector<platform::ui::View*> tiles);
    // Shown across the view, centred, while there are no tiles, as tall as
    // `heightFor` says for the view's width.
    void setEmptyView(platform::ui::View* view, std::function<double(double width)> heightFor);
    void layoutTiles();
    // The cell of tile i of n in a view of this size (y up, the first row on top).
    static Rect cellFrame(size_t index, size_t count, Size size);

    void setFrameSize(Size size) override;
    bool isOpaque() const override { return true; }
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;
    void setBackground(platform::gfx::Rgba color);

private:
    std::vector<platform::ui::View*> tiles_;
    platform::ui::View* empty_ = nullptr;
    std::function<double(double)> emptyHeight_;
    platform::gfx::Rgba background_{0, 0, 0, 1};
};

}  // namespace quiltdeck
