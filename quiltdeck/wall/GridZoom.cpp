// Zoom, focus and attention, and dragging tiles to reorder them or onto another wall's tab.
#include "platform/runtime/MainLoop.h"
#include "platform/ui/Window.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/GridController.h"

namespace quiltdeck {

using platform::runtime::MainLoop;

void GridController::zoom(const std::string& id) {
    setActive(id);
    zoomId_ = id;
    if (WallTile* s = session(id); s && s->finished()) {
        s->clearFinished();
        if (s->onChange) s->onChange();
    }
    if (TileView* card = tile(id)) {
        // The zoomed tile over the scrim; the bar and the tab bar over everything. Where they
        // already are on top they stay: a bar moved in the order is drawn again with all beneath it.
        // The blur and the scrim move while still hidden: a shown scrim passing beneath the blur
        // would count as all of the wall changing beneath it, to be drawn and read again.
        const auto& order = root_.subviews();
        const bool barsOnTop = order.size() >= 2 && order[order.size() - 2] == &bar_ && order.back() == &tabs_;
        root_.addSubview(&scrimBlur_, barsOnTop ? &bar_ : nullptr);
        root_.addSubview(&scrim_, barsOnTop ? &bar_ : nullptr);
        root_.addSubview(card, barsOnTop ? &bar_ : nullptr);
        if (!barsOnTop) {
            root_.addSubview(&bar_);
            root_.addSubview(&tabs_);
        }
    }
    scrimBlur_.setHidden(false);
    scrim_.setHidden(false);
    animateLayout();
    focusActive();
    watchZoomedProgram();
}

void GridController::unzoom() {
    zoomId_.reset();
    hideScrim();
    animateLayout();
    focusActive();
    watchZoomedProgram();
}

TileView::EscapeHint GridController::escapeHintFor(const WallTile& tile) {
    using Hint = TileView::EscapeHint;
    if (!tile.isShell() || tile.status() == SessionStatus::exited) return Hint::none;
    switch (tile.foreground()) {
        case WallTile::Foreground::keyProgram: return Hint::program;
        case WallTile::Foreground::lineCommand: return Hint::commandRuns;
        default: return Hint::atPrompt;
    }
}

bool GridController::escapeGoesToProgram(const WallTile& tile) { return escapeHintFor(tile) == TileView::EscapeHint::program; }

void GridController::watchZoomedProgram() {
    if (zoomedProgramTimer_) std::exchange(zoomedProgramTimer_, nullptr)->cancel();
    if (!zoomId_) return;
    WallTile* s = session(*zoomId_);
    TileView* card = tile(*zoomId_);
    if (!s || !card) return;
    card->setEscapeHint(escapeHintFor(*s));
    // A program may start or end at any keystroke: looked at again while the shell runs.
    if (!s->isShell() || s->status() == SessionStatus::exited) return;
    std::weak_ptr<int> alive = alive_;
    zoomedProgramTimer_ = MainLoop::main().postAfter(zoomedProgramCheck, [this, alive] {
        if (!alive.expired()) watchZoomedProgram();
    });
}

bool GridController::escapePressed() {
    if (!zoomId_) return false;
    // A text field being edited (a rename, a prompt) gets its Escape.
    if (platform::ui::Window* window = root_.window(); window && window->isEditingText()) return false;
    // So does the zoomed tile's title editor while one of its buttons has the keyboard.
    if (TileView* card = tile(*zoomId_); card && card->isRenaming()) return false;
    // And a program run from a shell tile's prompt that reads its keys one by one (a pager, an
    // editor): Escape is its key there. At the shell's own prompt, and while a command that reads
    // lines runs (a build: bash would take a late Escape as a prefix), it leaves the zoom, as in
    // every other tile, and nothing reaches the terminal.
    if (WallTile* s = session(*zoomId_); s && escapeGoesToProgram(*s)) {
        if (platform::ui::Window* window = root_.window(); window && window->firstResponder() == &s->view()) return false;
    }
    unzoom();
    return true;
}

void GridController::focus(long index) {
    if (const auto id = model_.atSlot(currentWall_, index)) zoom(*id);
}

void GridController::focusActive() {
    // The keyboard never stays in a view that is not shown (a tile of the wall left): until the
    // active tile takes it, or for good on a wall without tiles, the window itself has it.
    if (platform::ui::Window* window = root_.window()) {
        platform::ui::View* holder = window->firstResponder();
        if (holder && holder->isHiddenOrHasHiddenAncestor()) window->makeFirstResponder(nullptr);
    }
    if (!activeId_) return;
    WallTile* s = session(*activeId_);
    if (!s) return;
    if (zoomId_ == activeId_ && s->finished()) {
        s->clearFinished();
        if (s->onChange) s->onChange();
    }
    std::weak_ptr<int> alive = alive_;
    const std::string id = *activeId_;
    auto took = std::make_shared<bool>(false);
    auto give = [this, id, took] {
        // It took the keyboard already: where a key typed for it sent it since (its title editor,
        // another tile by its number) it stays.
        if (*took) return;
        TileView* card = tile(id);
        platform::ui::Window* window = root_.window();
        // A wall switched to meanwhile has its own turn coming.
        WallTile* active = session(id);
        if (card && active && window && active->wall() == currentWall_ &&
            window->makeFirstResponder(&card->keyboardTarget())) {
            *took = true;
            return;
        }
        // It does not take the keyboard (not now, or the view that has it keeps it): what was
        // typed for it goes nowhere, and what is typed next where the keyboard is.
        if (card && window && window->keysHeldFor() == &card->keyboardTarget()) window->dropHeldKeys();
    };
    // Keys come before work posted on the loop: until the tile takes the keyboard, those the user
    // types into it wait for it. At once when it is shown.
    TileView* card = tile(id);
    if (platform::ui::Window* window = root_.window(); card && window) window->holdKeysFor(&card->keyboardTarget());
    if (card && !card->keyboardTarget().isHiddenOrHasHiddenAncestor()) give();
    MainLoop::main().post([alive, give] {
        if (!alive.expired()) give();
    });
}

void GridController::jumpToAttention() {
    syncModel();
    const auto id = model_.attentionPick(currentWall_, zoomId_);
    if (!id) return;
    const std::string wall = session(*id)->wall();
    if (wall != currentWall_) showWall(wall);
    zoom(*id);
}

void GridController::changeZoomScale(double delta) {
    if (!zoomId_) return;
    Store::shared().setZoomScale(Store::shared().zoomScale() + delta);
    animateLayout();
}

// --- Drag ----------------------------------------------------------------------------------------

void GridController::dragBegan(const std::string& id) {
    if (zoomId_) return;
    TileView* card = tile(id);
    if (!card) return;
    dragId_ = id;
    // Over every tile (a tile zoomed before stays above the hidden scrim), under the bar and the
    // tab bar, raised over it so that the tabs stay drop targets.
    root_.addSubview(card);
    root_.addSubview(&bar_);
    root_.addSubview(&tabs_);
    card->setOpacity(dragOpacity);
    platform::ui::View::Shadow shadow = card->shadow();
    shadow.opacity = Theme::isDark() ? 0.6 : 0.25;
    shadow.radius = dragShadowRadius;
    card->setShadow(shadow);
}

void GridController::dragMoved(Point p) {
    if (!dragId_) return;
    TileView* card = tile(*dragId_);
    if (!card) return;
    const Rect f = card->frame();
    card->setFrameOrigin(Point{p.x - f.width / 2, p.y - (card->headerHeightNow() + card->feedH()) / 2});
    const Rect bar = tabs_.frame();
    if (p.x >= bar.x && p.x < bar.maxX() && p.y >= bar.y && p.y < bar.maxY()) {
        tabs_.highlight(tabs_.wallAt(tabs_.convertFromWindow(root_.convertToWindow(p))));
        return;
    }
    if (tabs_.dropTarget()) tabs_.highlight(std::nullopt);
    const auto target = slotIndex(p);
    if (!target) return;
    syncModel();
    const auto from = model_.slotOf(*dragId_);
    if (!from || *from == *target) return;
    if (!model_.moveToSlot(*dragId_, currentWall_, *target)) return;
    reindex();
    animateLayout(*dragId_);
}

void GridController::dragEnded(Point p) {
    if (!dragId_) return;
    const std::string id = *dragId_;
    TileView* card = tile(id);
    if (!card) {
        dragId_.reset();
        return;
    }
    dragId_.reset();
    card->setOpacity(1);
    card->refreshChrome();
    root_.addSubview(card, &scrimBlur_);
    setActive(id);
    if (tabs_.dropTarget()) tabs_.highlight(std::nullopt);
    animateLayout();
    saveOpenTiles();
    focusActive();
    const Rect bar = tabs_.frame();
    if (p.x >= bar.x && p.x < bar.maxX() && p.y >= bar.y && p.y < bar.maxY()) {
        const auto wall = tabs_.wallAt(tabs_.convertFromWindow(root_.convertToWindow(p)));
        if (wall && *wall != currentWall_) confirmMove(id, *wall);
    }
}

}  // namespace quiltdeck
