#include "quiltdeck/wall/TileView.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "platform/ui/HiddenCharacters.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Branding.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/sessions/TileName.h"
#include "quiltdeck/shell/AnsiPalette.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Shorten.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileLayout.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using platform::runtime::NotificationCenter;
using platform::ui::Button;
using platform::ui::DrawnButton;
using platform::ui::RichText;
using platform::ui::TextAttributes;
using platform::ui::TextLayer;
using platform::ui::Truncation;
using C = PanelColors;

namespace {

// The most of a session's text a label of the card lays out, in bytes: more than the widest card
// shows. A title of megabytes held the main thread in text layout.
constexpr size_t shownTextLimit = 1024;

// A text of the session as a label shows it: bounded, with the characters that would hide or
// reorder what is shown spelt out.
std::string labelText(std::string_view text) {
    const std::string_view kept = prefixWithin(text, shownTextLimit);
    std::string visible = platform::ui::HiddenCharacters::spelledOut(kept);
    return kept.size() == text.size() ? visible : visible + "\u2026";
}

TextAttributes style(platform::gfx::InterfaceFont font, Rgba color, double kern = 0) {
    TextAttributes attributes;
    attributes.font = std::move(font);
    attributes.color = color;
    attributes.kern = kern;
    return attributes;
}

// The dead veil's buttons: a pill of the panel's control colours.
void pillLook(DrawnButton& button) {
    button.setLayerBackgroundColor(C::controlBackground());
    button.setBorder(1, C::hairline());
    button.setCornerRadius(14);
}

// An editor button's size with `word` on it, whatever the button shows now.
platform::gfx::Size editButtonSize(const std::string& word) {
    static Button& measure = *[] {
        auto* button = new Button();
        button->setBezelStyle(Button::BezelStyle::rounded);
        button->setControlSize(Button::ControlSize::small);
        return button;
    }();
    measure.setTitle(word);
    return measure.fittingSize();
}

// An editor button as a symbol: the symbol and the bezel's margins around it.
constexpr platform::gfx::Size editSymbolButton{30, 22};

}  // namespace

TileView::TileView(WallTile& session) : session_(session) {
    setClipsToBounds(false);
    card_.setCornerRadius(cornerRadius);
    card_.setClipsToBounds(true);
    addSubview(&card_);
    card_.addSubview(&wash_);
    dot_.setCornerRadius(3);
    card_.addSubview(&dot_);
    logo_.setCornerRadius(6);
    logo_.setClipsToBounds(true);
    logo_.setHidden(true);
    card_.addSubview(&logo_);
    editorBack_.setCornerRadius(7);
    editorBack_.setHidden(true);
    card_.addSubview(&editorBack_);
    editor_.setHidden(true);
    editor_.setFont(Fonts::ui(14, FontWeight::semibold));
    editor_.setShowsFocusRing(false);
    editor_.setBordered(false);
    editor_.setDrawsBackground(false);
    std::weak_ptr<int> alive = alive_;
    editor_.onCommand = [this, alive](platform::ui::TextField&, platform::ui::TextField::Command command) {
        return !alive.expired() && editorCommand(command);
    };
    // Focus gone elsewhere: the editor closes without renaming (after a Return it is closed already).
    editor_.onEndEditing = [this, alive](platform::ui::TextField&) {
        if (!alive.expired()) editorLostKeyboard();
    };
    card_.addSubview(&editor_);
    closeButton_.setSymbol(DrawnButton::Symbol::xmark, 10, FontWeight::bold);
    closeButton_.action = [this](DrawnButton&) {
        if (onCloseRequested) onCloseRequested();
    };
    card_.addSubview(&closeButton_);
    moveButton_.setSymbol(DrawnButton::Symbol::stack, 11, FontWeight::semibold);
    moveButton_.action = [this](DrawnButton& button) {
        if (onMoveRequested) onMoveRequested(button);
    };
    card_.addSubview(&moveButton_);
    registerForDraggedTypes(Drop::types());
    saveButton_.setSymbol("object-select-symbolic", 12);
    cancelButton_.setSymbol("window-close-symbolic", 12);
    suggestButton_.setSymbol("starred-symbolic", 12);
    for (EditorButton* button : {&saveButton_, &cancelButton_, &suggestButton_}) {
        button->setBezelStyle(Button::BezelStyle::rounded);
        button->setControlSize(Button::ControlSize::small);
        button->setHidden(true);
        button->onResign = [this, alive] {
            if (!alive.expired()) editorLostKeyboard();
        };
        card_.addSubview(button);
    }
    saveButton_.setKeyEquivalent(Button::KeyEquivalent::returnKey);
    cancelButton_.setKeyEquivalent(Button::KeyEquivalent::escape);
    saveButton_.setAction([this](platform::ui::Control&) { endRename(true); });
    cancelButton_.setAction([this](platform::ui::Control&) { endRename(false); });
    suggestButton_.setAction([this](platform::ui::Control&) { tapSuggest(); });
    badgePill_.setCornerRadius(10);
    card_.addSubview(&badgePill_);
    badge_.setAlignment(platform::ui::TextAlignment::center);
    for (TextLayer* label : {&indexLabel_, &titleLabel_, &subLabel_, &badge_, &feedSource_, &escapeHintLabel_}) {
        label->setTruncation(Truncation::tail);
        card_.addSubview(label);
    }
    escapeHintLabel_.setAlignment(platform::ui::TextAlignment::right);
    escapeHintLabel_.setHidden(true);
    feedSource_.setHidden(true);
    scaler_.setTerminal(&session_.view(), session_.terminal());
    card_.addSubview(&scaler_);
    grip_.setHidden(true);
    grip_.onDrag = [this, alive](Point locationInWindow) {
        if (alive.expired() || !superview() || !onResizeCorner) return;
        onResizeCorner(superview()->convertFromWindow(locationInWindow));
    };
    card_.addSubview(&grip_);
    launch_.setHidden(session_.isShell() || session_.booted());
    launch_.setCaption(t("launching"));
    launch_.setClipsToBounds(true);
    card_.addSubview(&launch_);
    if (!launch_.isHidden()) launch_.start();
    session_.onBoot = [this, alive] {
        if (!alive.expired()) finishLaunch();
    };
    deadVeil_.setHidden(true);
    card_.addSubview(&deadVeil_);
    deadLabel_.setAlignment(platform::ui::TextAlignment::center);
    deadLabel_.setTruncation(Truncation::tail);
    deadVeil_.addSubview(&deadLabel_);
    deadDetail_.setAlignment(platform::ui::TextAlignment::center);
    deadDetail_.setTruncation(Truncation::tail);
    deadDetail_.setMaximumLines(2);
    deadVeil_.addSubview(&deadDetail_);
    resumeButton_.action = [this](DrawnButton&) {
        if (onRestart) onRestart(true);
    };
    restartButton_.action = [this](DrawnButton&) {
        if (onRestart) onRestart(false);
    };
    for (DrawnButton* button : {&resumeButton_, &restartButton_}) {
        button->setKeyboardOperable(true);
        deadVeil_.addSubview(button);
    }
    // Over the terminal's top, in front of it and its veils; while it shows, in front of the
    // window's whole content, since a low card's edge would cut it (see showSuggestNote).
    noteBack_.setHidden(true);
    noteBack_.setCornerRadius(6);
    note_.setMaximumLines(2);
    note_.setTruncation(Truncation::tail);
    noteBack_.addSubview(&note_);
    addSubview(&noteBack_);
    reloadLogo();
    applyTheme();
    // Held as subscriptions: they end with the card.
    auto& center = NotificationCenter::defaultCenter();
    for (const std::string_view name : {Theme::didChange, Lang::didChange}) {
        observers_.push_back(center.subscribe(std::string(name), [this, alive](const auto&) {
            if (!alive.expired()) applyTheme();
        }));
    }
    observers_.push_back(center.subscribe(std::string(Fonts::didChange), [this, alive](const auto&) {
        if (!alive.expired()) applyFont();
    }));
}

TileView::~TileView() {
    observers_.clear();
    cancelPendingClick();
    session_.onBoot = nullptr;
    launch_.stop();
    if (feedTracking_) removeTrackingArea(*feedTracking_);
    // The session's terminal outlives the card it was shown in.
    if (session_.view().superview() == &scaler_) session_.view().removeFromSuperview();
}

double TileView::headerHeightNow() const { return TileLayout::bandTop(session_.metricCount()); }

double TileView::feedH() const {
    const auto& feed = session_.feed();
    return TileLayout::feedHeight(feed.has_value(), feed ? feed->items.size() : 0, zoomed_);
}

size_t TileView::shownFeedRows() const {
    const auto& feed = session_.feed();
    return TileLayout::shownFeedRows(feed.has_value(), feed ? feed->items.size() : 0, zoomed_);
}

size_t TileView::visibleFeedRows() const {
    return static_cast<size_t>(std::count_if(feedRows_.begin(), feedRows_.end(), [](const auto& row) { return !row->isHidden(); }));
}

platform::ui::View::Rect TileView::feedRect() const {
    if (!session_.hasFeed()) return {};
    return {0, headerHeightNow(), bounds().width, feedH()};
}

std::optional<size_t> TileView::feedRow(Point p) const {
    const auto& feed = session_.feed();
    if (!feed || !TileLayout::holds(feedRect(), p)) return std::nullopt;
    const Point q{p.x - card_.frame().x, p.y - card_.frame().y};
    for (size_t i = 0; i < feedRows_.size() && i < feed->items.size(); ++i) {
        if (!feedRows_[i]->isHidden() && TileLayout::holds(feedRows_[i]->frame(), q)) return i;
    }
    return std::nullopt;
}

void TileView::setIndexText(std::string text) {
    if (text == indexText_) return;
    indexText_ = std::move(text);
    TextAttributes attributes = style(platform::gfx::InterfaceFont::system(15, FontWeight::bold), C::strongText());
    attributes.tabularDigits = true;
    indexLabel_.setRichText(RichText(indexText_, attributes));
    indexSize_ = indexLabel_.fittingSize();
    layout();
}

void TileView::setEscapeHint(EscapeHint hint) {
    if (hint == escapeHint_) return;
    escapeHint_ = hint;
    setEscapeHintText();
    layout();
}

void TileView::setEscapeHintText() {
    const char* key = escapeHint_ == EscapeHint::program       ? "zoom_escape_hint"
                      : escapeHint_ == EscapeHint::commandRuns ? "zoom_escape_hint_command"
                                                               : "zoom_escape_hint_prompt";
    escapeHintLabel_.setString(t(key));
    escapeHintSize_ = escapeHintLabel_.fittingSize();
}

void TileView::setZoomed(bool zoomed) {
    if (zoomed == zoomed_) return;
    zoomed_ = zoomed;
    if (!zoomed) escapeHint_ = EscapeHint::none;
    scaler_.setInteractive(zoomed);
    scaler_.fit();
    refreshChrome();
    // Three headline rows on the zoomed tile, four otherwise.
    if (session_.hasFeed()) fillFeed();
    layout();
}

// --- Refresh ---------------------------------------------------------------------------------------

void TileView::refresh() {
    fillMetrics();
    fillFeed();
    refreshChrome();
    // Lays the card out, chips and rows included.
    refreshLabels();
}

void TileView::refreshChrome() {
    TileLayout::ChromeInput input;
    input.status = session_.status();
    input.finished = session_.finished();
    input.zoomed = zoomed_;
    input.dropHover = dropHover_;
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
    dot_.setLayerBackgroundColor(chrome.dotRing ? std::nullopt : std::optional<Rgba>(chrome.dot));
    dot_.setBorder(chrome.dotRing ? TileLayout::dotRingWidth : 0, chrome.dot);

    const bool exited = session_.status() == SessionStatus::exited;
    if (deadVeil_.isHidden() != exited) return;
    deadVeil_.setHidden(!exited);
    if (!exited) return;
    fillDeadVeil();
    layout();
    // The ended terminal takes no more keys: they go to the veil's buttons, once what was typed
    // ahead into the terminal (a Return after "exit") has passed.
    if (platform::ui::Window* w = window(); w && w->firstResponder() == &session_.view()) {
        for (DrawnButton* button : {&resumeButton_, &restartButton_}) button->ignoreKeyPressesFor(veilKeysDelay);
        w->makeFirstResponder(&keyboardTarget());
    }
}

void TileView::fillDeadVeil() {
    ++deadVeilFills_;
    TextAttributes title = style(Fonts::ui(15, FontWeight::semibold), C::strongText());
    // Centred as the detail under it: a styled text aligns by its own paragraph.
    title.paragraph.alignment = platform::ui::TextAlignment::center;
    deadLabel_.setRichText(RichText(labelText(TileName::shown(session_.title(), session_.name(), session_.cwd(),
                                                              session_.isShell(), homeFolder().string())),
                                    title));
    // A child that ended before any prompt with an error says why: its own words, which the
    // veil would hide, stand where the last request would.
    const std::string prompt = session_.lastPrompt();
    std::string words;
    if (prompt.empty()) {
        // Its lines as lines; what could hide or reorder them spelt out.
        std::istringstream lines(session_.lastWords());
        for (std::string line; std::getline(lines, line);) {
            if (!words.empty()) words += '\n';
            words += platform::ui::HiddenCharacters::spelledOut(prefixWithin(line, shownTextLimit));
        }
    }
    // Each of the program's lines on a line of its own, its start shown and its cut marked.
    deadDetail_.setLinesPerParagraph(words.empty() ? 0 : 1);
    deadDetail_.setString(words.empty() ? TileLayout::deadDetail(prefixWithin(prompt, shownTextLimit)) : words);
    // Only a conversation the assistant kept can be continued: a tile ended before its first
    // prompt has an id, but a resume of it fails.
    resumeButton_.setHidden(!session_.canResume());
}

RichText TileView::veilTitle(bool resume, bool shortWords) const {
    const char* key = resume ? (shortWords ? "resume_short" : "resume") : (shortWords ? "restart_short" : "restart");
    return RichText(t(key), style(Fonts::ui(12, resume ? FontWeight::semibold : FontWeight::medium), C::strongText()));
}

void TileView::setVeilWords(bool shortWords, bool cut) {
    const std::pair words{shortWords, cut};
    if (veilWords_ == words) return;
    veilWords_ = words;
    resumeButton_.setAttributedTitle(veilTitle(true, shortWords));
    restartButton_.setAttributedTitle(veilTitle(false, shortWords));
    // What the button does in whole words, wherever its title gives less.
    const bool tip = shortWords || cut;
    resumeButton_.setToolTip(tip ? t("resume") : "");
    restartButton_.setToolTip(tip ? t("restart") : "");
}

platform::ui::View& TileView::keyboardTarget() {
    if (deadVeil_.isHidden()) return session_.view();
    if (!resumeButton_.isHidden()) return resumeButton_;
    return restartButton_;
}

void TileView::refreshLabels() {
    const std::string title = session_.title();
    if (suggesting_ && !title.empty() && title != suggestFrom_) suggestionArrived(title);
    const bool dark = Theme::isDark();
    TextAttributes titleStyle = style(Fonts::ui(14, FontWeight::semibold), TileLayout::primaryText(dark), -0.15);
    const std::string home = homeFolder().string();
    const std::string name = TileName::name(session_.name(), session_.cwd(), session_.isShell(), home);
    titleLabel_.setRichText(
        RichText(labelText(TileName::shown(title, session_.name(), session_.cwd(), session_.isShell(), home)), titleStyle));

    SubParts parts;
    parts.name = labelText(name);
    parts.word = TileLayout::statusWord(session_.status(), session_.finished());
    parts.tool = labelText(session_.tool());
    parts.folder = labelText(TileLayout::shortFolder(session_.cwd(), home));
    parts.done = session_.finished() && session_.status() == SessionStatus::idle;
    parts.dark = dark;
    if (parts != subParts_ || !subFittedWidth_) {
        // Fitted again by the layout below.
        subParts_ = std::move(parts);
        subFittedWidth_.reset();
        const std::string needed = subParts_.tool.empty()
                                       ? subParts_.word
                                       : subParts_.word + "   " + TileLayout::toolName(subParts_.tool);
        subNeeds_ = std::ceil(subWidth(needed));
    }

    const std::optional<BrowserInfo> browser = session_.browser();
    const std::string badgeText = browser ? browser->label() : t("no_browser");
    if (badgeText != badge_.string() || badgeSize_.width == 0) {
        badge_.setString(badgeText);
        badgeSize_ = badge_.fittingSize();
    }
    badgeWanted_ = !session_.isShell();
    // Set back without a browser, by a fainter colour that still reads (not by its opacity).
    badge_.setForegroundColor(browser ? TileLayout::secondaryText(dark) : TileLayout::faintText(dark));
    layout();
}

RichText TileView::subText(const std::string& line) const {
    const bool dark = Theme::isDark();
    const TextAttributes plain = style(Fonts::ui(11.5, FontWeight::regular), TileLayout::secondaryText(dark));
    RichText text;
    const std::string& word = subParts_.word;
    const size_t at = subParts_.done ? line.find(word) : std::string::npos;
    if (at == std::string::npos) {
        text.append(line, plain);
    } else {
        text.append(line.substr(0, at), plain);
        text.append(word, style(Fonts::ui(11.5, FontWeight::semibold), TileLayout::doneText(dark)));
        text.append(line.substr(at + word.size()), plain);
    }
    return text;
}

void TileView::fitSubLine(double width) {
    if (subFittedWidth_ == width) return;
    subFittedWidth_ = width;
    const SubParts& p = subParts_;
    const std::string line = TileLayout::fittedSubLine(p.name, p.word, p.tool, p.folder, width,
                                                       [this](const std::string& text) { return subWidth(text); });
    subLabel_.setRichText(subText(line));
}

// A line's width depends on its text and on whether the word is set apart, not on the theme: a
// card whose status comes and goes measures each of its lines once.
double TileView::subWidth(const std::string& line) {
    std::string key = (subParts_.done ? "d" : "-") + line;
    if (const auto found = subWidths_.find(key); found != subWidths_.end()) return found->second;
    if (subWidths_.size() >= 256) subWidths_.clear();
    const double width = subText(line).measure().width;
    subWidths_.emplace(std::move(key), width);
    return width;
}

// --- Theme, font, logo -----------------------------------------------------------------------------

void TileView::applyTheme() {
    const bool dark = Theme::isDark();
    wash_.setTint(Tints::tint(session_.cwd()));
    card_.setLayerBackgroundColor(TileLayout::cardGround(dark));
    scaler_.setLayerBackgroundColor(TileLayout::terminalGround(dark));
    launch_.setGround(TileLayout::terminalGround(dark));
    launch_.setCaption(t("launching"));
    // An open title editor takes the theme too.
    styleEditor();
    indexLabel_.setFont(platform::gfx::InterfaceFont::system(15, FontWeight::bold));
    indexLabel_.setForegroundColor(C::strongText());
    if (!indexText_.empty()) {
        TextAttributes attributes = style(platform::gfx::InterfaceFont::system(15, FontWeight::bold), C::strongText());
        attributes.tabularDigits = true;
        indexLabel_.setRichText(RichText(indexText_, attributes));
    }
    indexSize_ = indexLabel_.fittingSize();
    subLabel_.setFont(Fonts::ui(11.5, FontWeight::regular));
    subLabel_.setForegroundColor(C::mutedText());
    badge_.setFont(Fonts::ui(10.5, FontWeight::medium));
    badgeSize_ = {};
    escapeHintLabel_.setFont(Fonts::ui(10.5, FontWeight::medium));
    escapeHintLabel_.setForegroundColor(C::mutedText());
    setEscapeHintText();
    badgePill_.setBorder(1, C::hairline());
    badgePill_.setLayerBackgroundColor(C::controlBackground());
    if (vantel::TerminalView* terminal = session_.terminal()) {
        terminal->setNativeBackgroundColor(TileLayout::terminalGround(dark));
        terminal->setNativeForegroundColor(TileLayout::terminalText());
        terminal->installColors(AnsiPalette::current());
        terminal->setNeedsDisplay();
    }
    Rgba veil = TileLayout::cardGround(dark);
    veil.alpha = 0.9;
    deadVeil_.setLayerBackgroundColor(veil);
    pillLook(restartButton_);
    pillLook(resumeButton_);
    restartSize_ = veilTitle(false, false).measure();
    resumeSize_ = veilTitle(true, false).measure();
    restartShortSize_ = veilTitle(false, true).measure();
    resumeShortSize_ = veilTitle(true, true).measure();
    veilWords_.reset();
    showEditWords();
    deadDetail_.setFont(Fonts::ui(12, FontWeight::regular));
    deadDetail_.setForegroundColor(C::mutedText());
    closeButton_.setTint(C::mutedText());
    moveButton_.setTint(C::mutedText());
    // Words too: this runs again when the language changes.
    closeButton_.setAccessibilityDescription(t("menu_close"));
    closeButton_.setToolTip(t("menu_close") + "  Ctrl+Shift+W");
    moveButton_.setAccessibilityDescription(t("move_to_tab"));
    moveButton_.setToolTip(t("move_to_tab"));
    if (!deadVeil_.isHidden()) fillDeadVeil();
    grip_.setTint(C::mutedText());
    refreshChrome();
    refreshLabels();
}

void TileView::applyFont() {
    vantel::TerminalView* terminal = session_.terminal();
    if (!terminal) return;
    Fonts::registerBundled();
    const double size = terminal->font() ? terminal->font()->size() : ScalerView::targetSize(Store::shared().minFontSize(), zoomed_);
    terminal->setFont(Fonts::terminal(size));
    // The scaler brings the size to the setting.
    scaler_.fit();
}

void TileView::reloadLogo() {
    const auto& logos = Store::shared().tileLogos();
    const auto chosen = logos.find(session_.cwd());
    std::optional<platform::gfx::Image> image;
    if (chosen == logos.end() || !chosen->second.empty()) {
        if (auto logo = Branding::logo(session_.cwd())) image = std::move(logo->image);
    }
    logo_.setImage(std::move(image));
    logo_.setHidden(!logo_.image());
    layout();
}

// --- Layout ----------------------------------------------------------------------------------------

void TileView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void TileView::layout() {
    const bool dark = Theme::isDark();
    const double bodyTop = headerHeightNow() + feedH();
    card_.setFrame(bounds());
    wash_.setFrame(Rect{0, 0, bounds().width, bodyTop + 40});
    placeMetrics();
    placeFeed();

    TileLayout::HeaderInput input;
    input.tile = Size{bounds().width, bounds().height};
    input.index = indexSize_;
    input.logoVisible = !logo_.isHidden();
    // A shell tile has no badge: what Escape does there stands in its place while zoomed.
    const bool hint = escapeHint_ != EscapeHint::none && zoomed_ && !badgeWanted_;
    if (badgeWanted_) input.badge = badgeSize_;
    else if (hint) input.badge = escapeHintSize_;
    input.subNeeds = subNeeds_;
    input.editing = isRenaming();
    if (input.editing) {
        input.save = editButtonSize(t("save"));
        input.cancel = editButtonSize(t("cancel"));
        input.suggest = editButtonSize(suggesting_ ? "\u2026" : t("suggest_name"));
        input.symbolButton = editSymbolButton;
    }
    input.bodyTop = bodyTop;
    input.dark = dark;
    const TileLayout::HeaderFrames f = TileLayout::header(input);
    dot_.setFrame(f.dot);
    indexLabel_.setFrame(f.index);
    if (input.logoVisible) logo_.setFrame(f.logo);
    closeButton_.setFrame(f.close);
    closeButton_.setCornerRadius(11);
    moveButton_.setFrame(f.move);
    // A stacked title editor takes the line they stand on.
    closeButton_.setHidden(f.editStacked);
    moveButton_.setHidden(f.editStacked);
    escapeHintLabel_.setHidden(!hint || !f.badgeShown);
    if (hint && f.badgeShown) escapeHintLabel_.setFrame(f.badge);
    badge_.setHidden(!badgeWanted_ || !f.badgeShown);
    badgePill_.setHidden(!badgeWanted_ || !f.badgeShown);
    if (badgeWanted_ && f.badgeShown) {
        badgePill_.setFrame(f.badgePill);
        badge_.setFrame(f.badge);
    }
    titleLabel_.setFrame(f.title);
    subLabel_.setFrame(f.sub);
    fitSubLine(f.sub.width);
    if (input.editing) {
        editorBack_.setFrame(f.editorBack);
        editor_.setFrame(f.editor);
        saveButton_.setFrame(f.save);
        cancelButton_.setFrame(f.cancel);
        suggestButton_.setFrame(f.suggest);
        if (f.editSymbols != editSymbols_) {
            editSymbols_ = f.editSymbols;
            showEditWords();
        }
        // Stacked, the buttons stand over the terminal's top: moved in front of it once.
        const auto& views = card_.subviews();
        if (f.editStacked && std::find(views.begin(), views.end(), &suggestButton_) < std::find(views.begin(), views.end(), &scaler_)) {
            for (Button* button : {&suggestButton_, &saveButton_, &cancelButton_}) card_.addSubview(button);
        }
        if (!noteBack_.isHidden()) placeSuggestNote(f.note);
    }
    scaler_.setFrame(f.scaler);
    scaler_.setCornerRadius(f.scalerCornerRadius);
    grip_.setHidden(!zoomed_);
    grip_.setFrame(f.grip);
    // In front of the scaler, always; moved only when something came over it (a move restacks
    // the toolkit's widgets in the card).
    if (card_.subviews().back() != &grip_) card_.addSubview(&grip_);
    launch_.setFrame(f.scaler);
    launch_.setCornerRadius(f.scalerCornerRadius);
    deadVeil_.setFrame(f.scaler);
    if (deadVeil_.isHidden()) return;
    const bool resume = !resumeButton_.isHidden();
    const Size veil{f.scaler.width, f.scaler.height};
    auto framesWith = [&](Size resumeTitle, Size restartTitle) {
        return TileLayout::deadVeil(veil, resume ? std::optional<double>(resumeTitle.width) : std::nullopt, restartTitle.width);
    };
    // The words whole where they fit, else the short ones.
    TileLayout::DeadVeilFrames d = framesWith(resumeSize_, restartSize_);
    const bool shortWords = d.cut;
    if (shortWords) d = framesWith(resumeShortSize_, restartShortSize_);
    setVeilWords(shortWords, d.cut);
    deadLabel_.setFrame(d.label);
    deadLabel_.setHidden(!d.showsLabel);
    deadDetail_.setFrame(d.detail);
    deadDetail_.setHidden(!d.showsDetail);
    if (d.resume) resumeButton_.setFrame(*d.resume);
    restartButton_.setFrame(d.restart);
}

// --- Metrics and headlines -------------------------------------------------------------------------

void TileView::fillMetrics() {
    const auto& metrics = session_.metrics();
    while (metricViews_.size() < metrics.size()) {
        auto chip = std::make_unique<MetricChip>();
        for (TextLayer* label : {&chip->value, &chip->label}) {
            label->setTruncation(Truncation::tail);
            card_.addSubview(label, &scaler_);
        }
        metricViews_.push_back(std::move(chip));
    }
    for (size_t i = 0; i < metricViews_.size(); ++i) {
        MetricChip& chip = *metricViews_[i];
        const bool shown = i < metrics.size();
        // Hidden, never removed: the numbers may come back.
        chip.value.setHidden(!shown);
        chip.label.setHidden(!shown);
        if (!shown) continue;
        TextAttributes value = style(platform::gfx::InterfaceFont::system(15, FontWeight::semibold), C::strongText());
        value.tabularDigits = true;
        value.paragraph.alignment = platform::ui::TextAlignment::center;
        chip.value.setRichText(RichText(labelText(TileLayout::metricValue(metrics[i].value)), value));
        TextAttributes name = style(Fonts::ui(9.5, FontWeight::semibold), C::mutedText(), 0.6);
        name.paragraph.alignment = platform::ui::TextAlignment::center;
        chip.label.setRichText(RichText(labelText(TileLayout::metricName(metrics[i].label)), name));
    }
}

void TileView::placeMetrics() {
    const size_t count = std::min(session_.metricCount(), metricViews_.size());
    const std::vector<TileLayout::Chip> chips = TileLayout::chips(count, bounds().width);
    for (size_t i = 0; i < count; ++i) {
        metricViews_[i]->value.setFrame(chips[i].value);
        metricViews_[i]->label.setFrame(chips[i].name);
    }
}

void TileView::fillFeed() {
    const auto& feed = session_.feed();
    const size_t shown = shownFeedRows();
    feedSource_.setHidden(!feed);
    while (feedRows_.size() < shown) {
        auto row = std::make_unique<TextLayer>();
        row->setTruncation(Truncation::tail);
        card_.addSubview(row.get(), &scaler_);
        feedRows_.push_back(std::move(row));
    }
    for (size_t i = 0; i < feedRows_.size(); ++i) feedRows_[i]->setHidden(i >= shown);
    if (!feed) return;
    std::optional<std::string> updated;
    if (feed->updatedAt) updated = TileLayout::shortTime(*feed->updatedAt, Lang::current());
    feedSource_.setRichText(RichText(TileLayout::feedSource(labelText(feed->label), updated, shown == 0),
                                     style(Fonts::ui(9.5, FontWeight::semibold), C::mutedText(), 0.6)));
    styleFeedRows();
}

void TileView::placeFeed() {
    const auto& feed = session_.feed();
    if (!feed) {
        if (feedTracking_) removeTrackingArea(*feedTracking_);
        feedTracking_.reset();
        return;
    }
    // The zoom changes how many rows show without a refresh.
    const size_t shown = std::min(shownFeedRows(), feedRows_.size());
    for (size_t i = 0; i < feedRows_.size(); ++i) feedRows_[i]->setHidden(i >= shown);
    const double top = headerHeightNow();
    const double w = bounds().width;
    feedSource_.setFrame(TileLayout::feedSourceFrame(top, w));
    for (size_t i = 0; i < shown; ++i) feedRows_[i]->setFrame(TileLayout::feedRowFrame(top, i, w));
    const Rect band = feedRect();
    if (feedTracking_) {
        const auto& areas = trackingAreas();
        const auto area = std::find_if(areas.begin(), areas.end(), [this](const auto& a) { return a.number == *feedTracking_; });
        if (area != areas.end() && area->rect == band) return;
        removeTrackingArea(*feedTracking_);
    }
    feedTracking_ = addTrackingArea(band);
}

void TileView::styleFeedRows() {
    const auto& feed = session_.feed();
    if (!feed) return;
    const size_t limit = zoomed_ ? TileLayout::zoomedFeedRows : TileLayout::feedRows;
    for (size_t i = 0; i < feedRows_.size() && i < feed->items.size() && i < limit; ++i) {
        const Store::FeedItem& item = feed->items[i];
        const bool linked = !item.url.empty();
        const bool hovered = hoveredFeedRow_ == i && linked;
        RichText text("\u203A  ", style(Fonts::ui(11.5, FontWeight::semibold), C::mutedText()));
        TextAttributes title =
            style(Fonts::ui(11.5, hovered ? FontWeight::semibold : FontWeight::regular), linked ? C::strongText() : C::mutedText());
        title.underline = hovered;
        text.append(labelText(item.title), title);
        feedRows_[i]->setRichText(std::move(text));
    }
}

}  // namespace quiltdeck
