#include "quiltdeck/wall/TileView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/SystemSettings.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileLayout.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using platform::runtime::MainLoop;
using platform::runtime::NotificationCenter;
using platform::ui::DrawnButton;
using platform::ui::MouseEvent;
using C = PanelColors;

TileView::TileView(WallTile& session) : session_(session) {
    setClipsToBounds(false);
    card_.setCornerRadius(cornerRadius);
    card_.setClipsToBounds(true);
    addSubview(&card_);
    dot_.setCornerRadius(3);
    card_.addSubview(&dot_);
    closeButton_.setSymbol(DrawnButton::Symbol::xmark, 10, FontWeight::bold);
    closeButton_.setAccessibilityDescription(t("menu_close"));
    closeButton_.setToolTip(t("menu_close") + "  Ctrl+Shift+W");
    closeButton_.action = [this](DrawnButton&) {
        if (onCloseRequested) onCloseRequested();
    };
    card_.addSubview(&closeButton_);
    moveButton_.setSymbol(DrawnButton::Symbol::stack, 11, FontWeight::semibold);
    moveButton_.setAccessibilityDescription(t("move_to_tab"));
    moveButton_.setToolTip(t("move_to_tab"));
    moveButton_.action = [this](DrawnButton& button) {
        if (onMoveRequested) onMoveRequested(button);
    };
    card_.addSubview(&moveButton_);
    for (platform::ui::TextLayer* label : {&indexLabel_, &titleLabel_, &subLabel_}) {
        label->setTruncation(platform::ui::Truncation::tail);
        card_.addSubview(label);
    }
    scaler_.setTerminal(&session_.view(), session_.terminal());
    card_.addSubview(&scaler_);
    grip_.setHidden(true);
    std::weak_ptr<int> alive = alive_;
    grip_.onDrag = [this, alive](Point locationInWindow) {
        if (alive.expired() || !superview() || !onResizeCorner) return;
        onResizeCorner(superview()->convertFromWindow(locationInWindow));
    };
    card_.addSubview(&grip_);
    applyTheme();
    auto& center = NotificationCenter::defaultCenter();
    for (const std::string_view name : {Theme::didChange, Lang::didChange}) {
        observers_.push_back(center.subscribe(std::string(name), [this, alive](const auto&) {
            if (!alive.expired()) applyTheme();
        }));
    }
    observers_.push_back(center.subscribe(std::string(Fonts::didChange), [this, alive](const auto&) {
        if (!alive.expired()) scaler_.fit();
    }));
}

TileView::~TileView() {
    observers_.clear();
    cancelPendingClick();
    // The session's terminal outlives the card it was shown in.
    if (session_.view().superview() == &scaler_) session_.view().removeFromSuperview();
}

double TileView::headerHeightNow() const { return TileLayout::bandTop(session_.metricCount()); }

void TileView::setIndexText(std::string text) {
    if (text == indexText_) return;
    indexText_ = std::move(text);
    indexLabel_.setString(indexText_);
    layout();
}

void TileView::setZoomed(bool zoomed) {
    if (zoomed == zoomed_) return;
    zoomed_ = zoomed;
    scaler_.setInteractive(zoomed);
    scaler_.fit();
    refreshChrome();
    layout();
}

void TileView::refresh() {
    refreshChrome();
    refreshLabels();
}

void TileView::applyTheme() {
    card_.setLayerBackgroundColor(TileLayout::cardGround(Theme::isDark()));
    scaler_.setLayerBackgroundColor(TileLayout::terminalGround(Theme::isDark()));
    indexLabel_.setFont(platform::gfx::InterfaceFont::system(15, FontWeight::bold));
    indexLabel_.setForegroundColor(C::strongText());
    closeButton_.setTint(C::mutedText());
    moveButton_.setTint(C::mutedText());
    grip_.setTint(C::mutedText());
    refreshChrome();
    refreshLabels();
}

void TileView::refreshChrome() {
    TileLayout::ChromeInput input;
    input.status = session_.status();
    input.finished = session_.finished();
    input.zoomed = zoomed_;
    input.dark = Theme::isDark();
    input.tint = Tints::tint(session_.cwd());
    const TileLayout::Chrome chrome = TileLayout::chrome(input);
    card_.setBorder(chrome.borderWidth, chrome.border);
    Shadow shadow;
    shadow.color = Rgba{0, 0, 0, 1};
    shadow.opacity = chrome.shadowOpacity;
    shadow.radius = chrome.shadowRadius;
    shadow.offset = {0, chrome.shadowOffsetY};
    shadow.cornerRadius = cornerRadius;
    setShadow(shadow);
    dot_.setLayerBackgroundColor(chrome.dot);
}

void TileView::refreshLabels() {
    const std::string title = session_.title();
    platform::ui::TextAttributes titleStyle;
    titleStyle.font = Fonts::ui(14, FontWeight::semibold);
    titleStyle.color = C::strongText();
    titleStyle.kern = -0.15;
    titleLabel_.setRichText(platform::ui::RichText(title.empty() ? session_.name() : title, titleStyle));
    const std::string sub = TileLayout::subLine(session_.name(), TileLayout::statusWord(session_.status(), session_.finished()),
                                                session_.tool(), TileLayout::shortFolder(session_.cwd(), homeFolder().string()));
    platform::ui::TextAttributes subStyle;
    subStyle.font = Fonts::ui(11.5, FontWeight::regular);
    subStyle.color = C::mutedText();
    subLabel_.setRichText(platform::ui::RichText(sub, subStyle));
    layout();
}

void TileView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void TileView::layout() {
    TileLayout::HeaderInput input;
    input.tile = Size{bounds().width, bounds().height};
    input.index = indexLabel_.fittingSize();
    input.bodyTop = headerHeightNow() + feedH();
    input.dark = Theme::isDark();
    const TileLayout::HeaderFrames f = TileLayout::header(input);
    card_.setFrame(bounds());
    dot_.setFrame(f.dot);
    indexLabel_.setFrame(f.index);
    closeButton_.setFrame(f.close);
    closeButton_.setCornerRadius(11);
    moveButton_.setFrame(f.move);
    titleLabel_.setFrame(f.title);
    subLabel_.setFrame(f.sub);
    scaler_.setFrame(f.scaler);
    scaler_.setCornerRadius(f.scalerCornerRadius);
    grip_.setHidden(!zoomed_);
    grip_.setFrame(f.grip);
    // In front of the scaler, always.
    card_.addSubview(&grip_);
}

// --- Mouse ----------------------------------------------------------------------------------------

void TileView::cancelPendingClick() {
    if (pendingClick_) std::exchange(pendingClick_, nullptr)->cancel();
}

void TileView::mouseDown(const MouseEvent& event) {
    const Point p = inTile(event.locationInWindow);
    pressPoint_ = event.locationInWindow;
    const double header = headerHeightNow() + feedH();
    canDrag_ = !zoomed_ && p.y <= header;
    dragging_ = false;
    pressConsumed_ = false;
    if (event.clickCount == 2 && p.y <= header) {
        // A double click is the rename's; it never clicks.
        pressConsumed_ = true;
        canDrag_ = false;
        cancelPendingClick();
    }
}

void TileView::mouseDragged(const MouseEvent& event) {
    if (!canDrag_ || !superview()) return;
    const Point s = superview()->convertFromWindow(event.locationInWindow);
    if (!dragging_) {
        const double dx = event.locationInWindow.x - pressPoint_.x, dy = event.locationInWindow.y - pressPoint_.y;
        if (dx * dx + dy * dy < dragThreshold * dragThreshold) return;
        dragging_ = true;
        cancelPendingClick();
        if (onDragBegan) onDragBegan();
    }
    if (onDragMoved) onDragMoved(s);
}

void TileView::mouseUp(const MouseEvent& event) {
    if (pressConsumed_) {
        pressConsumed_ = false;
        canDrag_ = false;
        return;
    }
    if (dragging_) {
        dragging_ = false;
        canDrag_ = false;
        if (superview() && onDragEnded) onDragEnded(superview()->convertFromWindow(event.locationInWindow));
        return;
    }
    canDrag_ = false;
    const double y = inTile(event.locationInWindow).y;
    const double header = headerHeightNow() + feedH();
    if (zoomed_ && y > header) return;
    if (!zoomed_ && y <= header) {
        cancelPendingClick();
        std::weak_ptr<int> alive = alive_;
        const auto interval = std::chrono::duration_cast<platform::runtime::Duration>(
            std::chrono::duration<double>(platform::ui::SystemSettings::doubleClickInterval()));
        pendingClick_ = MainLoop::main().postAfter(interval, [this, alive] {
            if (alive.expired()) return;
            pendingClick_.reset();
            if (onClick) onClick();
        });
        return;
    }
    if (onClick) onClick();
}

}  // namespace quiltdeck
