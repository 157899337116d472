#include "quiltdeck/panels/HistoryWindow.h"

#include <unicode/locid.h>
#include <unicode/datefmt.h>

#include <algorithm>
#include <cmath>
#include <array>
#include <memory>

#include "platform/ui/HiddenCharacters.h"
#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/TileName.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::ui::Button;
using platform::ui::HiddenCharacters;
using platform::ui::RichText;
using platform::ui::TextAttributes;

namespace {

TextAttributes styled(double size, FontWeight weight, platform::gfx::Rgba color) {
    TextAttributes attributes;
    attributes.font = Fonts::ui(size, weight);
    attributes.color = color;
    return attributes;
}

}  // namespace

HistoryWindow::HistoryWindow() : home(homeFolder().string()) {}

HistoryWindow::~HistoryWindow() {
    if (panel_) panel_->setContentView(nullptr);
}

// --- Pure parts ------------------------------------------------------------------------------------

std::string HistoryWindow::formatDate(Date date, Lang lang) {
    // One formatter per language, made at its first use: the pattern comes from the language's
    // own data (order, punctuation, 12 or 24 hours). Main thread.
    static std::array<std::unique_ptr<icu::DateFormat>, Lang::count> formats;
    auto& format = formats[static_cast<size_t>(lang.index())];
    if (!format) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Locale locale(std::string(lang.rawValue()).c_str());
        format.reset(icu::DateFormat::createInstanceForSkeleton(icu::UnicodeString::fromUTF8("MMMdjmm"), locale, status));
        if (U_FAILURE(status)) format.reset();
        if (!format) return {};
    }
    icu::UnicodeString shown;
    format->format(static_cast<UDate>(date.unixSeconds() * 1000.0), shown);
    std::string text;
    return shown.toUTF8String(text);
}

std::string HistoryWindow::detailLine(const Store::ClosedTile& record, const std::string& home) {
    std::vector<std::string> parts;
    parts.push_back(HiddenCharacters::spelledOut(TileName::name(record.name, record.cwd, record.isShell, home)));
    // Only a leading home folder, whole: "/home/alice" is not under "/home/al".
    parts.push_back(HiddenCharacters::spelledOut(abbreviatingHome(record.cwd, home)));
    parts.push_back(formatDate(record.closedAt, Lang::current()));
    if (record.browserId) parts.push_back(t("with_browser"));
    if (record.claudeSessionId) parts.push_back(t("resumable"));
    std::string line;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) line.append("   ");
        line.append(parts[i]);
    }
    return line;
}

RichText HistoryWindow::rowText(const Store::ClosedTile& record, const std::string& home) {
    const TextAttributes detail = styled(11, FontWeight::regular, PanelColors::mutedText());
    std::string title =
        HiddenCharacters::spelledOut(TileName::shown(record.title, record.name, record.cwd, record.isShell, home));
    title.push_back('\n');
    RichText text(std::move(title), styled(13, FontWeight::semibold, PanelColors::strongText()));
    text.append(detailLine(record, home), detail);
    if (record.lastPrompt) {
        std::string prompt(1, '\n');
        // A prompt may run to a megabyte; its first few kilobytes give the characters shown. A paste
        // is told by its text, as the tile's title is.
        const auto words = TileName::promptWords(prefixWithin(*record.lastPrompt, promptBytesRead));
        prompt.append(HiddenCharacters::spelledOut(shorten(words ? *words : t("pasted_text"), promptLength)));
        text.append(std::move(prompt), detail);
    }
    return text;
}

// --- Building --------------------------------------------------------------------------------------

void HistoryWindow::build() {
    std::weak_ptr<HistoryWindow> weak = weak_from_this();
    auto action = [weak](void (HistoryWindow::*method)()) {
        return [weak, method](platform::ui::Control&) {
            if (auto self = weak.lock()) ((*self).*method)();
        };
    };
    content_.setFrame({0, 0, size.width, size.height});
    content_.setLayerBackgroundColor(PanelColors::panelBackground());
    table_.setFrame({12, 12, 616, 352});
    table_.setRowHeight(rowHeight);
    table_.setDrawsBackground(false);
    table_.setSelectionColor(PanelColors::selectedRow());
    table_.setAction(action(&HistoryWindow::reopenSelected));
    content_.addSubview(&table_);
    struct Spec {
        Button* button;
        const char* key;
        void (HistoryWindow::*method)();
        platform::gfx::Rect frame;
        Button::KeyEquivalent key_equivalent;
    };
    for (const Spec& spec : {Spec{&reopen_, "reopen", &HistoryWindow::reopenSelected, {12, 376, 110, 28}, Button::KeyEquivalent::returnKey},
                             Spec{&forget_, "forget", &HistoryWindow::forgetSelected, {130, 376, 150, 28}, Button::KeyEquivalent::none},
                             Spec{&close_, "close", &HistoryWindow::dismiss, {540, 376, 88, 28}, Button::KeyEquivalent::escape}}) {
        spec.button->setTitle(t(spec.key));
        // At least as wide as the sheet's design, wider where the language's title needs it.
        platform::gfx::Rect frame = spec.frame;
        frame.width = std::max(frame.width, std::ceil(spec.button->fittingSize().width));
        spec.button->setFrame(frame);
        spec.button->setKeyEquivalent(spec.key_equivalent);
        spec.button->setAction(action(spec.method));
        content_.addSubview(spec.button);
    }
    forget_.setFrameOrigin({reopen_.frame().maxX() + 8, forget_.frame().y});
    close_.setFrameOrigin({size.width - 12 - close_.frame().width, close_.frame().y});
    entries_ = Store::shared().closed();
    reload();
    if (!entries_.empty()) table_.selectRow(0);
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [weak](const auto&) {
        if (auto self = weak.lock()) self->applyTheme();
    });
}

void HistoryWindow::applyTheme() {
    content_.setLayerBackgroundColor(PanelColors::panelBackground());
    table_.setSelectionColor(PanelColors::selectedRow());
    if (panel_) panel_->setBackgroundColor(PanelColors::panelBackground());
    reload();
}

void HistoryWindow::present(platform::ui::Window& window) {
    panel_ = platform::ui::WindowMaker::make(size, t("closed_tiles"));
    panel_->setBackgroundColor(PanelColors::panelBackground());
    build();
    panel_->setContentView(&content_);
    Sheets::present(*panel_, window, shared_from_this());
    panel_->makeFirstResponder(&table_);
}

void HistoryWindow::reload() {
    std::vector<platform::ui::TableView::Row> rows;
    if (entries_.empty()) {
        TextAttributes empty;
        empty.font = platform::gfx::InterfaceFont::system(13, FontWeight::regular);
        empty.color = PanelColors::mutedText();
        rows.push_back({RichText(t("history_empty"), empty), 3, platform::ui::Truncation::tail});
    }
    for (const Store::ClosedTile& record : entries_) rows.push_back({rowText(record, home), 3, platform::ui::Truncation::tail});
    const int selected = table_.selectedRow();
    table_.setRows(std::move(rows));
    // The empty row is a message, not a record to select.
    if (entries_.empty() || selected >= static_cast<int>(entries_.size())) table_.selectRow(-1);
}

// --- Actions ---------------------------------------------------------------------------------------

namespace {

// The record shown, by value: a tile closed meanwhile has moved the store's list on.
void removeFromHistory(const Store::ClosedTile& shown) {
    const auto& closed = Store::shared().closed();
    const auto found = std::find(closed.begin(), closed.end(), shown);
    if (found != closed.end()) Store::shared().removeClosed(static_cast<size_t>(found - closed.begin()));
}

}  // namespace

void HistoryWindow::reopenSelected() {
    const int row = table_.selectedRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const Store::ClosedTile chosen = entries_[static_cast<size_t>(row)];
    auto keep = shared_from_this();
    // Open again, it is no longer closed: it comes back here when it closes (or when its folder is missing).
    removeFromHistory(chosen);
    if (auto reopen = onReopen) reopen(chosen);
    dismiss();
}

void HistoryWindow::forgetSelected() {
    const int row = table_.selectedRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    removeFromHistory(entries_[static_cast<size_t>(row)]);
    entries_ = Store::shared().closed();
    reload();
}

void HistoryWindow::dismiss() {
    if (panel_ && panel_->sheetParent()) panel_->sheetParent()->endSheet(*panel_);
}

}  // namespace quiltdeck
