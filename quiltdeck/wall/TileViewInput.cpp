// The tile card under the user's hands: clicks, drags and header controls, the
// headline band's hover, the title editor with its suggestion, drops, the launch
// veil's end, and the two menus.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <nlohmann/json.hpp>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Alert.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/ReaderWindow.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileLayout.h"
#include "quiltdeck/wall/TileView.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using platform::runtime::MainLoop;
using platform::ui::Menu;
using platform::ui::MenuItem;
using platform::ui::MouseEvent;
using platform::ui::TextField;

namespace {

using Rect = platform::gfx::Rect;

// The rectangle grown by dx left and right and dy above and below, holding the point.
bool near(const Rect& r, double dx, double dy, platform::gfx::Point p) {
    return TileLayout::holds(Rect{r.x - dx, r.y - dy, r.width + 2 * dx, r.height + 2 * dy}, p);
}

// A colour menu's swatch: a rounded square of the colour filling the image.
std::shared_ptr<const platform::gfx::Image> swatch(uint32_t rgb) {
    constexpr double side = 14, scale = 2;
    platform::gfx::Canvas canvas(platform::gfx::Size{side, side}, scale);
    platform::gfx::Path path;
    path.addRoundedRect(platform::gfx::Rect{0, 0, side, side}, 4);
    canvas.fill(path, Tints::colour(rgb));
    return std::make_shared<const platform::gfx::Image>(canvas.image());
}

}  // namespace

// --- Mouse -----------------------------------------------------------------------------------------

void TileView::cancelPendingClick() {
    if (pendingClick_) std::exchange(pendingClick_, nullptr)->cancel();
}

void TileView::mouseDown(const MouseEvent& event) {
    if (event.button == MouseEvent::right || (event.button == MouseEvent::left && (event.modifiers & platform::ui::Modifier::control))) {
        rightMouseDown(event);
        return;
    }
    if (event.button != MouseEvent::left) return;
    // A press on a tile of a window in the background brings the window forward and acts at once.
    if (platform::ui::Window* w = window(); w && !w->isKeyWindow()) w->present();
    const Point p = inTile(event.locationInWindow);
    pressPoint_ = event.locationInWindow;
    const double header = headerHeightNow() + feedH();
    const bool inHeader = p.y <= header;
    canDrag_ = !zoomed_ && inHeader;
    dragging_ = false;
    pressConsumed_ = false;
    auto consume = [this] {
        pressConsumed_ = true;
        canDrag_ = false;
    };
    if (isRenaming() && inHeader) {
        consume();
        return;
    }
    if (const auto row = feedRow(p)) {
        const auto& feed = session_.feed();
        if (feed && *row < feed->items.size() && !feed->items[*row].url.empty()) {
            consume();
            openHeadline(*row);
            return;
        }
    }
    if (inHeader && event.clickCount == 1) {
        const Point q = card_.convertFromWindow(event.locationInWindow);
        if (zoomed_ && near(titleLabel_.frame(), 0, 4, q)) {
            consume();
            beginRename();
            return;
        }
        if (!logo_.isHidden() && near(logo_.frame(), 4, 4, q)) {
            consume();
            if (onLook) onLook(logo_);
            return;
        }
        if (logo_.isHidden() && near(dot_.frame(), 8, 8, q)) {
            consume();
            if (onLook) onLook(dot_);
            return;
        }
        if (!badge_.isHidden() && near(badgePill_.frame(), 4, 6, q)) {
            consume();
            browsers().refresh(false);
            showBrowserMenu();
            return;
        }
    }
    if (event.clickCount == 2 && inHeader) {
        // A double click is the rename's; it never clicks.
        consume();
        beginRename();
        return;
    }
    if (zoomed_ && !inHeader) View::mouseDown(event);
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
    if (event.button != MouseEvent::left) return;
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
    if (zoomed_ && y > header) {
        View::mouseUp(event);
        return;
    }
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

void TileView::mouseMoved(const MouseEvent& event) {
    const std::optional<size_t> row = feedRow(inTile(event.locationInWindow));
    if (row != hoveredFeedRow_) {
        hoveredFeedRow_ = row;
        styleFeedRows();
    }
    if (platform::ui::Window* w = window()) w->updateCursor();
}

void TileView::mouseExited(const MouseEvent&) {
    const bool held = hoveredFeedRow_.has_value();
    hoveredFeedRow_.reset();
    if (held) styleFeedRows();
    if (platform::ui::Window* w = window()) w->updateCursor();
}

std::optional<std::string> TileView::cursorName() const {
    const auto& feed = session_.feed();
    if (hoveredFeedRow_ && feed && *hoveredFeedRow_ < feed->items.size() && !feed->items[*hoveredFeedRow_].url.empty())
        return "pointer";
    return std::nullopt;
}

void TileView::openHeadline(size_t row) {
    const auto& feed = session_.feed();
    platform::ui::Window* w = window();
    if (!feed || row >= feed->items.size() || !w) return;
    const Store::FeedItem& item = feed->items[row];
    ReaderWindow::shared().open(item.url, item.title, feed->label, *w);
}

// --- The title editor ------------------------------------------------------------------------------

void TileView::styleEditor() {
    const bool dark = Theme::isDark();
    editor_.setTextColor(TileLayout::primaryText(dark));
    for (View* back : {&editorBack_, static_cast<View*>(&noteBack_)}) {
        back->setLayerBackgroundColor(dark ? Rgba::fromBytes(25, 27, 29) : Rgba{1, 1, 1, 1});
        back->setBorder(1, dark ? Rgba{1, 1, 1, 0.16} : Rgba{0, 0, 0, 0.18});
    }
    note_.setFont(Fonts::ui(11, FontWeight::regular));
    note_.setForegroundColor(TileLayout::primaryText(dark));
}

void TileView::showSuggestNote(const std::string& why) {
    note_.setString(why);
    noteBack_.setHidden(why.empty());
    // Shown, it stands in front of the window's whole content: under a low card's buttons there
    // is no room for it, and what passes the card's edge is drawn only by a view in front of it.
    View* host = why.empty() || !window() ? this : window()->contentView();
    if (host && noteBack_.superview() != host) host->addSubview(&noteBack_);
}

void TileView::placeSuggestNote(const Rect& room) {
    constexpr double pad = 6;
    // As wide as its text, up to the room; on two lines at most.
    const platform::gfx::Size line = note_.shownText().measure();
    const double width = std::clamp(std::ceil(line.width), 0.0, std::max(0.0, room.width - 2 * pad));
    const double height = std::min(note_.shownText().measure(width).height, 2 * line.height);
    const Rect frame{room.x, room.y, width + 2 * pad, height + 2 * pad - 2};
    View* host = noteBack_.superview();
    noteBack_.setFrame(host && host != this ? host->convertFromWindow(convertToWindow(frame)) : frame);
    note_.setFrame({pad, pad - 1, width, height});
}

void TileView::beginRename() {
    editor_.setStringValue(session_.title());
    styleEditor();
    cancelPendingClick();
    editor_.setHidden(false);
    editorBack_.setHidden(false);
    for (platform::ui::Button* button : {&saveButton_, &cancelButton_, &suggestButton_}) button->setHidden(false);
    suggestButton_.setEnabled(true);
    showSuggestNote({});
    titleLabel_.setHidden(true);
    subLabel_.setHidden(true);
    layout();
    if (platform::ui::Window* w = window()) w->makeFirstResponder(&editor_);
    editor_.setSelectedRange({0, editor_.characterCount()});
}

void TileView::endRename(bool commit) {
    if (editor_.isHidden()) return;
    suggesting_ = false;
    showEditWords();
    suggestButton_.setEnabled(true);
    editor_.setPlaceholder("");
    const std::string text = editor_.stringValue();
    editor_.setHidden(true);
    editorBack_.setHidden(true);
    showSuggestNote({});
    for (platform::ui::Button* button : {&saveButton_, &cancelButton_, &suggestButton_}) button->setHidden(true);
    titleLabel_.setHidden(false);
    subLabel_.setHidden(false);
    std::weak_ptr<int> alive = alive_;
    // The rename tells the grid, which refreshes this card.
    if (commit) session_.rename(text);
    if (alive.expired()) return;
    layout();
    if (platform::ui::Window* w = window()) w->makeFirstResponder(&session_.view());
    if (onActivated) onActivated();
}

void TileView::showEditWords() {
    const std::pair<platform::ui::Button*, std::string> words[] = {{&saveButton_, t("save")},
                                                     {&cancelButton_, t("cancel")},
                                                     {&suggestButton_, suggesting_ ? "\u2026" : t("suggest_name")}};
    for (const auto& [button, word] : words) {
        button->setTitle(editSymbols_ ? std::string() : word);
        button->setToolTip(editSymbols_ ? word : std::string());
    }
}

std::vector<platform::ui::View*> TileView::keyViewGroup() {
    if (isRenaming()) return {&editor_, &suggestButton_, &saveButton_, &cancelButton_};
    if (deadVeil_.isHidden()) return {};
    if (resumeButton_.isHidden()) return {&restartButton_};
    return {&resumeButton_, &restartButton_};
}

void TileView::editorLostKeyboard() {
    const platform::ui::Window* w = window();
    const std::optional<View*> to = w ? w->keyboardGoingTo() : std::nullopt;
    const std::vector<View*> parts = keyViewGroup();
    if (to && std::find(parts.begin(), parts.end(), *to) != parts.end()) return;
    endRename(false);
}

bool TileView::editorCommand(TextField::Command command) {
    switch (command) {
        case TextField::Command::insertNewline: endRename(true); return true;
        case TextField::Command::cancelOperation: endRename(false); return true;
        default: return false;
    }
}

void TileView::tapSuggest() {
    // Pressed from the keyboard: the keyboard goes back to the field before the button is disabled
    // (a disabled button cannot keep it), to wait there for the name.
    if (platform::ui::Window* w = window(); w && w->firstResponder() == &suggestButton_) w->makeFirstResponder(&editor_);
    suggestButton_.setEnabled(false);
    suggesting_ = true;
    showEditWords();
    suggestFrom_ = session_.title();
    std::string typed = editor_.stringValue();
    editor_.setPlaceholder("\u2026");
    editor_.setStringValue("");
    showSuggestNote({});
    if (!onSuggestName) return;
    std::weak_ptr<int> alive = alive_;
    onSuggestName([this, alive, typed = std::move(typed)](Suggestion suggestion) {
        if (alive.expired() || !suggesting_) return;
        if (suggestion.name) {
            suggestionArrived(std::move(suggestion.name));
        } else {
            suggestionArrived(typed, std::move(suggestion.why));
        }
    });
}

void TileView::suggestionArrived(std::optional<std::string> name, std::string why) {
    if (!suggesting_ || editor_.isHidden()) return;
    suggesting_ = false;
    suggestButton_.setEnabled(true);
    showEditWords();
    editor_.setPlaceholder("");
    editor_.setStringValue(name.value_or(""));
    showSuggestNote(why);
    layout();
    // The field has the keyboard again (asked even when it kept it: the toolkit's may have moved),
    // with the caret after the name, to be added to or taken as it is.
    if (platform::ui::Window* w = window()) w->makeFirstResponder(&editor_);
    editor_.setSelectedRange({editor_.characterCount(), 0});
}

void TileView::showLook() {
    if (onLook) onLook(logo_.isHidden() ? dot_ : static_cast<View&>(logo_));
}

// --- The launch veil -------------------------------------------------------------------------------

void TileView::finishLaunch() {
    if (launch_.isHidden()) return;
    platform::ui::Animation fade = platform::ui::Animation::basic(1, 0, launchFadeDuration);
    fade.keyPath = "opacity";
    fade.timing = platform::ui::TimingFunction::easeIn();
    std::weak_ptr<int> alive = alive_;
    fade.completion = [this, alive] {
        if (alive.expired()) return;
        launch_.setHidden(true);
        launch_.stop();
        launch_.setOpacity(1);
    };
    launch_.setOpacity(0);
    launch_.addAnimation("leave", std::move(fade));
}

// --- Drops -----------------------------------------------------------------------------------------

void TileView::setDropHover(bool hover) {
    if (hover == dropHover_) return;
    dropHover_ = hover;
    refreshChrome();
}

platform::ui::DragOperation TileView::draggingEntered(const DraggingInfo& info) {
    if (session_.status() == SessionStatus::exited) return platform::ui::DragOperation::none;
    const auto& accepted = Drop::types();
    const bool offered = std::any_of(info.types.begin(), info.types.end(), [&](const std::string& type) {
        return std::find(accepted.begin(), accepted.end(), type) != accepted.end();
    });
    if (!offered) return platform::ui::DragOperation::none;
    setDropHover(true);
    return platform::ui::DragOperation::copy;
}

void TileView::draggingExited(const DraggingInfo&) { setDropHover(false); }

void TileView::draggingEnded(const DraggingInfo&) { setDropHover(false); }

bool TileView::performDragOperation(const DraggingInfo& info) {
    setDropHover(false);
    if (session_.status() == SessionStatus::exited || !info.pasteboard) return false;
    if (!session_.pasteDrop(*info.pasteboard)) return false;
    if (platform::ui::Window* w = window()) w->makeFirstResponder(&session_.view());
    if (onActivated) onActivated();
    return true;
}

// --- Menus -----------------------------------------------------------------------------------------

Browsers& TileView::browsers() const { return browsers_ ? *browsers_ : Browsers::shared(); }

void TileView::rightMouseDown(const MouseEvent& event) {
    platform::ui::PopUpMenu::popUp(contextMenu(), *this, inTile(event.locationInWindow));
}

Menu TileView::contextMenu() {
    std::weak_ptr<int> alive = alive_;
    auto item = [this, alive](const std::string& key, std::function<void()> run) {
        MenuItem entry;
        entry.title = t(key);
        entry.action = [alive, run = std::move(run)](const MenuItem&) {
            if (!alive.expired()) run();
        };
        return entry;
    };
    Menu menu;
    menu.items.push_back(item("rename", [this] { beginRename(); }));
    menu.items.push_back(item("change_folder", [this] {
        if (onChangeFolder) onChangeFolder();
    }));
    if (session_.metricCount() > 0) {
        menu.items.push_back(item("clear_metrics", [this] {
            session_.applyMetrics(nlohmann::json{{"clear", true}});
            layout();
        }));
    }
    if (session_.hasFeed()) {
        menu.items.push_back(item("clear_feed", [this] {
            session_.applyFeed(nlohmann::json{{"clear", true}});
            layout();
        }));
    }
    if (session_.pinnedTitle()) menu.items.push_back(item("unpin_title", [this] { session_.unpinTitle(); }));
    menu.items.push_back(MenuItem::separatorItem());

    MenuItem colour;
    colour.title = t("colour");
    MenuItem automatic = item("automatic", [this] { pickColour(-1); });
    automatic.tag = -1;
    colour.submenu.push_back(std::move(automatic));
    colour.submenu.push_back(MenuItem::separatorItem());
    const auto& palette = Tints::current();
    for (size_t i = 0; i < palette.size(); ++i) {
        const int tag = static_cast<int>(i);
        MenuItem entry = item(std::string(Tints::nameKeys[i]), [this, tag] { pickColour(tag); });
        entry.tag = tag;
        entry.image = swatch(palette[i]);
        entry.imageSize = 14;
        colour.submenu.push_back(std::move(entry));
    }
    menu.items.push_back(std::move(colour));
    menu.items.push_back(item("pick_from_disk", [this] { pickLogo(); }));
    if (Store::shared().tileLogos().count(session_.cwd())) {
        menu.items.push_back(item("logo_auto", [this] {
            Store::shared().setTileLogo(session_.cwd(), std::nullopt);
            reloadLogo();
        }));
    }
    return menu;
}

void TileView::pickColour(int tag) {
    const auto& palette = Tints::current();
    if (tag >= 0 && static_cast<size_t>(tag) < palette.size()) {
        Store::shared().setTileColor(session_.cwd(), Tints::hex(palette[static_cast<size_t>(tag)]));
    } else {
        Store::shared().setTileColor(session_.cwd(), std::nullopt);
    }
    applyTheme();
}

void TileView::pickLogo() {
    platform::ui::FileChooser chooser;
    chooser.message = t("pick_image_msg");
    chooser.initialFolder = session_.cwd();
    chooser.mimeTypes = {"image/png", "image/jpeg", "image/svg+xml", "image/tiff", "image/x-icns"};
    std::weak_ptr<int> alive = alive_;
    chooser.present(window(), [this, alive](std::optional<std::string> file) {
        if (alive.expired() || !file) return;
        Store::shared().setTileLogo(session_.cwd(), *file);
        reloadLogo();
    });
}

Menu TileView::browserMenu() {
    const std::optional<BrowserInfo> current = session_.browser();
    std::weak_ptr<int> alive = alive_;
    auto pick = [this, alive](int tag) {
        return [this, alive, tag](const MenuItem&) {
            if (!alive.expired()) pickBrowser(tag);
        };
    };
    Menu menu;
    MenuItem none;
    none.title = t("no_browser");
    none.tag = -1;
    none.checked = !current;
    none.action = pick(-1);
    menu.items.push_back(std::move(none));
    const auto& list = browsers().list();
    if (!list.empty()) menu.items.push_back(MenuItem::separatorItem());
    const auto& accounts = Store::shared().browserAccounts();
    for (size_t i = 0; i < list.size(); ++i) {
        MenuItem entry;
        entry.title = list[i].label();
        const auto account = accounts.find(list[i].deviceId);
        if (account != accounts.end() && account->second != entry.title) entry.title += "   " + account->second;
        entry.tag = static_cast<int>(i);
        entry.checked = current && current->deviceId == list[i].deviceId;
        entry.action = pick(static_cast<int>(i));
        menu.items.push_back(std::move(entry));
    }
    menu.items.push_back(MenuItem::separatorItem());
    MenuItem note;
    note.title = t("rebind_note");
    note.enabled = false;
    menu.items.push_back(std::move(note));
    return menu;
}

void TileView::showBrowserMenu() {
    const Rect b = badge_.frame();
    platform::ui::PopUpMenu::popUp(browserMenu(), card_, Point{b.x, b.y + b.height + 4});
}

void TileView::pickBrowser(int tag) {
    const auto& list = browsers().list();
    std::optional<BrowserInfo> chosen;
    if (tag >= 0 && static_cast<size_t>(tag) < list.size()) chosen = list[static_cast<size_t>(tag)];
    const std::optional<BrowserInfo> current = session_.browser();
    if (!chosen && !current) return;
    if (chosen && current && chosen->deviceId == current->deviceId) return;
    if (onRebind) onRebind(chosen);
}

}  // namespace quiltdeck
