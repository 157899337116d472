#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/DrawnButton.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Layers.h"
#include "platform/ui/View.h"
#include "quiltdeck/wall/ScalerView.h"
#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

// The card that shows one tile on the wall, as far as the wall needs it: a
// rounded card with a header (status dot, the tile's number on its wall, title
// and a sub line, close and move buttons) over the terminal in its scaler, and
// the corner grip while zoomed. Its border and shadow follow the status and the
// zoom. A press on the header clicks (after the double-click time on an
// ordinary tile), or drags once the pointer has moved 8 points; a click on the
// terminal of an ordinary tile clicks at once. Everything is reported through
// callbacks the grid sets. Flipped. Main thread.
class TileView : public platform::ui::View {
public:
    static constexpr double cornerRadius = 16;
    static constexpr double dragThreshold = 8;

    explicit TileView(WallTile& session);
    ~TileView() override;

    bool isFlipped() const override { return true; }
    WallTile& session() { return session_; }

    // Re-reads the session: chrome and labels.
    void refresh();
    // Border, shadow and status dot from the status and the zoom.
    void refreshChrome();
    void refreshLabels();
    void applyTheme();
    void layout();
    void setIndexText(std::string text);
    const std::string& indexText() const { return indexText_; }
    // The header with the metric chips when the session has metrics.
    double headerHeightNow() const;
    // The feed band under the header (the tile's feed is not shown yet).
    double feedH() const { return 0; }

    bool isZoomed() const { return zoomed_; }
    // Makes the terminal take clicks and refit, and redraws the chrome; the same value does nothing.
    void setZoomed(bool zoomed);

    std::function<void()> onClick;
    std::function<void()> onCloseRequested;
    std::function<void()> onActivated;
    // The grip's corner, in the superview's coordinates.
    std::function<void(Point)> onResizeCorner;
    // The move button, to anchor the wall menu on.
    std::function<void(platform::ui::View& anchor)> onMoveRequested;
    std::function<void()> onDragBegan;
    std::function<void(Point)> onDragMoved;
    std::function<void(Point)> onDragEnded;
    // The rename editor's Suggest button asks for a name; `done` gets it, or none.
    using SuggestDone = std::function<void(std::optional<std::string> name)>;
    std::function<void(SuggestDone done)> onSuggestName;

    ScalerView& scaler() { return scaler_; }
    ResizeGrip& grip() { return grip_; }
    platform::ui::FlippedView& card() { return card_; }
    platform::ui::TextLayer& titleLabel() { return titleLabel_; }
    platform::ui::TextLayer& subLabel() { return subLabel_; }
    platform::ui::TextLayer& indexLabel() { return indexLabel_; }
    platform::ui::DrawnButton& closeButton() { return closeButton_; }
    platform::ui::DrawnButton& moveButton() { return moveButton_; }
    platform::ui::View& dot() { return dot_; }
    bool clickPending() const { return static_cast<bool>(pendingClick_); }
    bool isDragging() const { return dragging_; }

    void setFrameSize(Size size) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;

private:
    Point inTile(Point locationInWindow) const { return convertFromWindow(locationInWindow); }
    void cancelPendingClick();

    WallTile& session_;
    platform::ui::FlippedView card_;
    platform::ui::View dot_;
    // Drawn in the card (never toolkit widgets): a scrim or a dragged tile lies over them.
    platform::ui::TextLayer indexLabel_;
    platform::ui::TextLayer titleLabel_;
    platform::ui::TextLayer subLabel_;
    platform::ui::DrawnButton closeButton_;
    platform::ui::DrawnButton moveButton_;
    ScalerView scaler_;
    ResizeGrip grip_;
    std::string indexText_;
    bool zoomed_ = false;

    Point pressPoint_;
    std::shared_ptr<platform::runtime::WorkItem> pendingClick_;
    bool canDrag_ = false;
    bool dragging_ = false;
    bool pressConsumed_ = false;

    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
