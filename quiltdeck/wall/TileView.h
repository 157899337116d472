#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/DrawnButton.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Layers.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/wall/HeaderWash.h"
#include "quiltdeck/wall/LaunchVeil.h"
#include "quiltdeck/wall/ScalerView.h"
#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

class Browsers;

// The card that shows one tile on the wall: a rounded card with a tinted header
// (status dot, the tile's number on its wall, project logo, title and a sub line,
// the browser badge, close and move buttons, an inline title editor), the metric
// chips and the headline band under it, the terminal in its scaler, the corner
// grip while zoomed, the launch veil while the assistant starts and a veil with
// restart and resume once the session has ended. Its border and shadow follow the
// status, the zoom and a drop hovering over it. A press on the header clicks
// (after the double-click time on an ordinary tile), or drags once the pointer has
// moved 8 points; a click on the terminal of an ordinary tile clicks at once.
// Everything is reported through callbacks the grid sets; work the card leaves on
// the loop finds it gone. Flipped. Main thread.
class TileView : public platform::ui::View {
public:
    static constexpr double cornerRadius = 16;
    static constexpr double dragThreshold = 8;
    static constexpr double launchFadeDuration = 0.18;
    // How long an ended tile's buttons ignore Space and Return after taking the keyboard from its
    // terminal.
    static constexpr platform::runtime::Duration veilKeysDelay = std::chrono::milliseconds(600);

    explicit TileView(WallTile& session);
    ~TileView() override;

    bool isFlipped() const override { return true; }
    WallTile& session() { return session_; }

    // Re-reads the session: the metric chips, the headline band, chrome and labels.
    void refresh();
    // Border, shadow, status dot and the dead veil from the status, the zoom and a drop.
    void refreshChrome();
    // The title, the sub line and the badge.
    void refreshLabels();
    // The colours and fonts of the theme in force and the texts of the language.
    void applyTheme();
    // The terminal font from the settings, at its current size, refitted.
    void applyFont();
    // The folder's logo: the user's choice, none when they chose none, else the one found.
    void reloadLogo();
    // Sets frames only: it runs on every animation tick.
    void layout();
    void setIndexText(std::string text);
    const std::string& indexText() const { return indexText_; }
    // The header with the metric chips when the session has metrics.
    double headerHeightNow() const;
    // The headline band under the header; 0 without a feed.
    double feedH() const;
    // The band in the tile's coordinates; empty without a feed.
    Rect feedRect() const;
    // The shown headline row under a point of the tile.
    std::optional<size_t> feedRow(Point pointInTile) const;

    bool isZoomed() const { return zoomed_; }
    // Makes the terminal take clicks and refit, and redraws the chrome; the same value does nothing.
    void setZoomed(bool zoomed);
    // What Escape does in a zoomed shell tile, said in its header (where a browser badge would
    // stand): at the shell's prompt and while a command reads lines, it leaves the zoom (Ctrl+[
    // types Escape); while a program reads its keys, it is the program's (another key leaves the
    // zoom). Taken back with the zoom.
    enum class EscapeHint { none, atPrompt, commandRuns, program };
    void setEscapeHint(EscapeHint hint);
    EscapeHint escapeHintShown() const {
        return zoomed_ && !escapeHintLabel_.isHidden() ? escapeHint_ : EscapeHint::none;
    }

    // The title editor.
    void beginRename();
    void endRename(bool commit);
    bool isRenaming() const { return !editor_.isHidden(); }
    // While the editor is open, its field and buttons: Tab and the arrows go round them alone, and
    // the editor stays open (with what was typed) while the keyboard moves among them.
    // Once the session has ended and a veil button has the keyboard, the veil's buttons.
    std::vector<platform::ui::View*> keyViewGroup() override;
    // A name into the open editor; with `why`, what was typed comes back and the note under the
    // editor says why there is no name.
    void suggestionArrived(std::optional<std::string> name, std::string why = {});
    // The launch veil fades out and stops.
    void finishLaunch();
    // The look popover, on the logo when it shows, else on the status dot (as a click there opens it).
    void showLook();
    // Where the keyboard goes when the tile gets it: the terminal, or once the session has ended,
    // the veil's first button (Return presses it; Tab goes on to the other).
    platform::ui::View& keyboardTarget();

    // The context menu of the tile and the badge's browser menu.
    platform::ui::Menu contextMenu();
    platform::ui::Menu browserMenu();
    void showBrowserMenu();
    void pickBrowser(int tag);
    void pickColour(int tag);
    void pickLogo();
    // Where the browser list comes from; the shared one when none is set.
    void setBrowsers(Browsers* browsers) { browsers_ = browsers; }

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
    // What the rename editor's Suggest button gets: a name, or why there is none, in the user's
    // words (empty: nothing to say).
    struct Suggestion {
        Suggestion(std::optional<std::string> name = std::nullopt) : name(std::move(name)) {}
        std::optional<std::string> name;
        std::string why;
    };
    using SuggestDone = std::function<void(Suggestion suggestion)>;
    std::function<void(SuggestDone done)> onSuggestName;
    std::function<void(std::optional<BrowserInfo>)> onRebind;
    // The dead veil's buttons: true resumes the conversation.
    std::function<void(bool resume)> onRestart;
    // The logo or the status dot, to anchor the look popover on.
    std::function<void(platform::ui::View& anchor)> onLook;
    std::function<void()> onChangeFolder;

    ScalerView& scaler() { return scaler_; }
    ResizeGrip& grip() { return grip_; }
    platform::ui::FlippedView& card() { return card_; }
    HeaderWash& wash() { return wash_; }
    platform::ui::TextLayer& titleLabel() { return titleLabel_; }
    platform::ui::TextLayer& subLabel() { return subLabel_; }
    platform::ui::TextLayer& indexLabel() { return indexLabel_; }
    platform::ui::TextLayer& badge() { return badge_; }
    platform::ui::View& badgePill() { return badgePill_; }
    platform::ui::ImageLayer& logo() { return logo_; }
    platform::ui::DrawnButton& closeButton() { return closeButton_; }
    platform::ui::DrawnButton& moveButton() { return moveButton_; }
    platform::ui::View& dot() { return dot_; }
    platform::ui::TextField& editor() { return editor_; }
    platform::ui::View& editorBack() { return editorBack_; }
    platform::ui::Button& saveButton() { return saveButton_; }
    platform::ui::Button& cancelButton() { return cancelButton_; }
    platform::ui::Button& suggestButton() { return suggestButton_; }
    // Why the last suggestion brought no name; hidden otherwise.
    platform::ui::View& suggestNote() { return noteBack_; }
    platform::ui::TextLayer& suggestNoteText() { return note_; }
    platform::ui::FlippedView& deadVeil() { return deadVeil_; }
    platform::ui::TextLayer& deadLabel() { return deadLabel_; }
    platform::ui::TextLayer& deadDetail() { return deadDetail_; }
    platform::ui::DrawnButton& restartButton() { return restartButton_; }
    platform::ui::DrawnButton& resumeButton() { return resumeButton_; }
    LaunchVeil& launchVeil() { return launch_; }
    struct MetricChip {
        platform::ui::TextLayer label;
        platform::ui::TextLayer value;
    };
    const std::vector<std::unique_ptr<MetricChip>>& metricViews() const { return metricViews_; }
    platform::ui::TextLayer& feedSource() { return feedSource_; }
    const std::vector<std::unique_ptr<platform::ui::TextLayer>>& feedRows() const { return feedRows_; }
    std::optional<size_t> hoveredFeedRow() const { return hoveredFeedRow_; }
    std::optional<int> feedTracking() const { return feedTracking_; }
    bool clickPending() const { return static_cast<bool>(pendingClick_); }
    bool isDragging() const { return dragging_; }
    bool isSuggesting() const { return suggesting_; }
    bool dropHover() const { return dropHover_; }
    // How many times the dead veil's texts were written.
    int deadVeilFills() const { return deadVeilFills_; }

    void setFrameSize(Size size) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseMoved(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    std::optional<std::string> cursorName() const override;
    platform::ui::DragOperation draggingEntered(const DraggingInfo& info) override;
    void draggingExited(const DraggingInfo& info) override;
    void draggingEnded(const DraggingInfo& info) override;
    bool performDragOperation(const DraggingInfo& info) override;

private:
    Point inTile(Point locationInWindow) const { return convertFromWindow(locationInWindow); }
    void cancelPendingClick();
    // Texts and which chips and rows show (on a refresh); their frames (on every layout).
    void fillMetrics();
    void placeMetrics();
    void fillFeed();
    void placeFeed();
    void styleFeedRows();
    size_t shownFeedRows() const;
    size_t visibleFeedRows() const;
    void fillDeadVeil();
    void setEscapeHintText();
    // The veil buttons' titles, in whole or short words.
    platform::ui::RichText veilTitle(bool resume, bool shortWords) const;
    // Sets the titles (and, where they give less than the whole words, the tool tips) on a change.
    void setVeilWords(bool shortWords, bool cut);
    // A sub line as drawn: secondary text, the done word in green.
    platform::ui::RichText subText(const std::string& line) const;
    void fitSubLine(double width);
    double subWidth(const std::string& line);
    void setDropHover(bool hover);
    void openHeadline(size_t row);
    void rightMouseDown(const platform::ui::MouseEvent& event);
    Browsers& browsers() const;
    void tapSuggest();
    // The title editor's field and its back (and the note under it) in the theme now in force.
    void styleEditor();
    // The note under the editor with `why`; none hides it.
    void showSuggestNote(const std::string& why);
    void placeSuggestNote(const Rect& room);
    // The title editor's words: on its buttons, or as their tool tips while they show as symbols.
    void showEditWords();
    bool editorCommand(platform::ui::TextField::Command command);
    // The editor's field or a button of it let the keyboard go: the editor closes without renaming
    // unless the keyboard went to another part of it.
    void editorLostKeyboard();

    // A button of the title editor, which says when it lets the keyboard go.
    class EditorButton : public platform::ui::Button {
    public:
        using Button::Button;
        std::function<void()> onResign;
        bool resignFirstResponder() override {
            Button::resignFirstResponder();
            if (auto resigned = onResign) resigned();
            return true;
        }
    };

    WallTile& session_;
    platform::ui::FlippedView card_;
    HeaderWash wash_;
    platform::ui::View dot_;
    // Drawn in the card (never toolkit widgets): a scrim or a dragged tile lies over them.
    platform::ui::TextLayer indexLabel_;
    platform::ui::TextLayer titleLabel_;
    platform::ui::TextLayer subLabel_;
    platform::ui::View badgePill_;
    platform::ui::TextLayer badge_;
    platform::ui::ImageLayer logo_;
    platform::ui::View editorBack_;
    platform::ui::TextField editor_;
    platform::ui::DrawnButton closeButton_;
    platform::ui::DrawnButton moveButton_;
    EditorButton saveButton_;
    EditorButton cancelButton_;
    EditorButton suggestButton_;
    platform::ui::FlippedView noteBack_;
    platform::ui::TextLayer note_;
    std::vector<std::unique_ptr<MetricChip>> metricViews_;
    platform::ui::TextLayer feedSource_;
    std::vector<std::unique_ptr<platform::ui::TextLayer>> feedRows_;
    std::optional<size_t> hoveredFeedRow_;
    std::optional<int> feedTracking_;
    ScalerView scaler_;
    ResizeGrip grip_;
    LaunchVeil launch_;
    platform::ui::FlippedView deadVeil_;
    platform::ui::TextLayer deadLabel_;
    platform::ui::TextLayer deadDetail_;
    platform::ui::DrawnButton resumeButton_;
    platform::ui::DrawnButton restartButton_;
    std::string indexText_;
    // Fitted sizes, measured when their texts change: the layout runs on every animation tick.
    Size indexSize_;
    Size badgeSize_;
    Size restartSize_;
    Size resumeSize_;
    Size restartShortSize_;
    Size resumeShortSize_;
    // The words the veil's buttons show: short, and cut even so.
    std::optional<std::pair<bool, bool>> veilWords_;
    bool zoomed_ = false;
    EscapeHint escapeHint_ = EscapeHint::none;
    platform::ui::TextLayer escapeHintLabel_;
    Size escapeHintSize_;
    Browsers* browsers_ = nullptr;
    // The sub line's parts, and the width its text was last fitted to (fitted again when either
    // changes); what it needs at least, measured with the parts.
    struct SubParts {
        std::string name, word, tool, folder;
        bool done = false;
        bool dark = true;
        friend bool operator==(const SubParts&, const SubParts&) = default;
    };
    SubParts subParts_;
    double subNeeds_ = 0;
    std::optional<double> subFittedWidth_;
    // The widths of the lines tried for these parts: a resize tries the same few again.
    std::unordered_map<std::string, double> subWidths_;
    bool badgeWanted_ = false;

    Point pressPoint_;
    std::shared_ptr<platform::runtime::WorkItem> pendingClick_;
    bool canDrag_ = false;
    bool dragging_ = false;
    bool pressConsumed_ = false;
    bool suggesting_ = false;
    bool editSymbols_ = false;
    std::string suggestFrom_;
    bool dropHover_ = false;
    int deadVeilFills_ = 0;

    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
