#include "quiltdeck/wall/TileView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/SystemSettings.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Theme.h"

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
    for (platform::ui::Label* label : {&indexLabel_, &titleLabel_, &subLabel_}) {
        label->setTruncation(platform::ui::Truncation::tail);
        label->setMaximumLines(1);
        label->setWraps(false);
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

double TileView::headerHeightNow() const { return session_.metricCount() > 0 ? headerWithMetrics : headerHeight; }

void TileView::setIndexText(std::string text) {
    if (text == indexText_) return;
    indexText_ = std::move(text);
    indexLabel_.setText(indexText_);
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
    card_.setLayerBackgroundColor(C::pick(C::rgb(18, 19, 21), C::rgb(244, 243, 241)));
    scaler_.setLayerBackgroundColor(C::pick(C::rgb(17, 17, 19), C::rgb(24, 24, 28)));
    indexLabel_.setFont(platform::gfx::InterfaceFont::system(15, FontWeight::bold));
    indexLabel_.setTextColor(C::strongText());
    closeButton_.setTint(C::mutedText());
    moveButton_.setTint(C::mutedText());
    grip_.setTint(C::mutedText());
    refreshChrome();
    refreshLabels();
}

void TileView::refreshChrome() {
    const bool dark = Theme::isDark();
    const SessionStatus status = session_.status();
    if (status == SessionStatus::waiting) {
        Rgba waiting = C::pick(C::rgb(224, 162, 71), C::rgb(169, 112, 15));
        waiting.alpha = 0.8;
        card_.setBorder(1, waiting);
    } else {
        card_.setBorder(1, dark ? Rgba{1, 1, 1, zoomed_ ? 0.16 : 0.08} : Rgba{0, 0, 0, zoomed_ ? 0.18 : 0.10});
    }
    Shadow shadow;
    shadow.color = Rgba{0, 0, 0, 1};
    shadow.opacity = dark ? (zoomed_ ? 0.62 : 0.32) : (zoomed_ ? 0.22 : 0.10);
    shadow.radius = zoomed_ ? 56 : 14;
    shadow.offset = {0, zoomed_ ? -18.0 : -4.0};
    shadow.cornerRadius = cornerRadius;
    setShadow(shadow);
    Rgba dot;
    switch (status) {
    case SessionStatus::busy:
    case SessionStatus::waiting: dot = Theme::status(status); break;
    case SessionStatus::idle:
        dot = session_.finished() ? C::pick(C::rgb(95, 176, 122), C::rgb(46, 125, 75)) : C::mutedText();
        break;
    case SessionStatus::exited: dot = C::pick(C::rgb(92, 92, 100), C::rgb(176, 176, 183)); break;
    }
    dot_.setLayerBackgroundColor(dot);
}

std::string TileView::shortFolder(const std::string& cwd, const std::string& home) {
    // Every occurrence of the home folder becomes "~".
    std::string path;
    size_t from = 0;
    while (!home.empty()) {
        const size_t at = cwd.find(home, from);
        if (at == std::string::npos) break;
        path.append(cwd, from, at - from);
        path += '~';
        from = at + home.size();
    }
    path.append(cwd, from, std::string::npos);
    // Characters, not bytes.
    size_t characters = 0;
    for (unsigned char c : path) characters += (c & 0xc0) != 0x80;
    if (characters <= 48) return path;
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) pieces.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    std::string tail;
    for (size_t i = pieces.size() > 2 ? pieces.size() - 2 : 0; i < pieces.size(); ++i) {
        if (!tail.empty()) tail += '/';
        tail += pieces[i];
    }
    std::string shortened = "\u2026/";
    shortened += tail;
    return shortened;
}

void TileView::refreshLabels() {
    const std::string title = session_.title();
    platform::ui::TextAttributes titleStyle;
    titleStyle.font = Fonts::ui(14, FontWeight::semibold);
    titleStyle.color = C::strongText();
    titleStyle.kern = -0.15;
    titleLabel_.setRichText(platform::ui::RichText(title.empty() ? session_.name() : title, titleStyle));
    std::string word;
    switch (session_.status()) {
    case SessionStatus::idle: word = t(session_.finished() ? "st_done" : "st_idle"); break;
    case SessionStatus::busy: word = t("st_busy"); break;
    case SessionStatus::waiting: word = t("st_waiting"); break;
    case SessionStatus::exited: word = t("st_exited"); break;
    }
    std::string sub = session_.name() + "   " + word;
    if (const std::string tool = session_.tool(); !tool.empty()) sub += "   " + tool;
    sub += "   " + shortFolder(session_.cwd(), homeFolder().string());
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
    const double w = bounds().width, h = bounds().height;
    card_.setFrame(bounds());
    dot_.setFrame(Rect{20, 23, 6, 6});
    const Size index = indexLabel_.fittingSize();
    indexLabel_.setFrame(Rect{36, 26 - index.height / 2, index.width, index.height});
    const double x = 36 + index.width + 13;
    closeButton_.setFrame(Rect{w - 20 - 22, 15, 22, 22});
    closeButton_.setCornerRadius(11);
    moveButton_.setFrame(Rect{w - 48 - 22, 15, 22, 22});
    const double available = w - 80 - x;
    titleLabel_.setFrame(Rect{x, 12, std::max(available, 40.0), 18});
    subLabel_.setFrame(Rect{x, 31, std::max(available, 40.0), 14});
    // The terminal runs edge to edge under the header in the dark theme, inset in the light one.
    const double inset = Theme::isDark() ? 0 : 10;
    const double top = headerHeightNow() + feedH();
    scaler_.setFrame(Rect{inset, top, std::max(0.0, w - 2 * inset), std::max(0.0, h - top - inset)});
    scaler_.setCornerRadius(inset);
    grip_.setHidden(!zoomed_);
    grip_.setFrame(Rect{w - 26, h - 26, 22, 22});
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
