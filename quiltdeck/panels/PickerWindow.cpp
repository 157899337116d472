#include "quiltdeck/panels/PickerWindow.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rect;
using platform::ui::Button;
using platform::ui::Key;
using platform::ui::KeyEvent;
using platform::ui::RichText;
using platform::ui::TextAttributes;
namespace Modifier = platform::ui::Modifier;

namespace {

TextAttributes styled(platform::gfx::InterfaceFont font, platform::gfx::Rgba color) {
    TextAttributes attributes;
    attributes.font = std::move(font);
    attributes.color = color;
    return attributes;
}

// Spaces and tabs only: a line break typed into the field is part of the query.
std::string_view trimSpacesAndTabs(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

PickerWindow::PickerWindow(bool shell) : PickerWindow(shell, Browsers::shared()) {}

PickerWindow::PickerWindow(bool shell, Browsers& browsers)
    : listProjects([] { return Projects::list(); }),
      home(homeFolder().string()),
      browsers_(browsers),
      wantsShell_(shell) {
    foot_.setText(t("picker_hint"));
}

PickerWindow::~PickerWindow() {
    browsersToken_.cancel();
    if (panel_) {
        panel_->keyDownMonitor = nullptr;
        panel_->setContentView(nullptr);
    }
}

// --- Pure parts ------------------------------------------------------------------------------------

std::vector<Project> PickerWindow::withHomeRow(const std::vector<Project>& listed, const std::string& home) {
    std::vector<Project> rows{Project{home, "~", false, "home"}};
    for (const Project& project : listed) {
        if (project.dir != home) rows.push_back(project);
    }
    return rows;
}

std::vector<Project> PickerWindow::filtered(const std::vector<Project>& all, std::string_view query) {
    const std::string q = lowerCased(trimSpacesAndTabs(query));
    if (q.empty()) return all;
    struct Match {
        const Project* project;
        bool inShortPath;
        size_t length;
    };
    std::vector<Match> matches;
    for (const Project& project : all) {
        const bool inShortPath = lowerCased(project.shortPath).find(q) != std::string::npos;
        if (inShortPath || project.keywords.find(q) != std::string::npos) {
            matches.push_back({&project, inShortPath, characterCount(project.shortPath)});
        }
    }
    std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
        if (a.inShortPath != b.inShortPath) return a.inShortPath;
        if (a.project->isRecent != b.project->isRecent) return a.project->isRecent;
        return a.length < b.length;
    });
    std::vector<Project> shown;
    shown.reserve(matches.size());
    for (const Match& match : matches) shown.push_back(*match.project);
    return shown;
}

RichText PickerWindow::rowText(const Project& project, const std::string& home) {
    const bool isHome = project.dir == home;
    RichText text;
    text.append((isHome ? std::string("~") : lastPathComponent(project.shortPath)) + "   ",
                styled(Fonts::ui(13, FontWeight::regular), PanelColors::strongText()));
    std::string detail = isHome ? t("home_session") : project.shortPath;
    if (!isHome && project.isRecent) detail += " · " + t("recent");
    text.append(detail, styled(Fonts::ui(11, FontWeight::regular), PanelColors::mutedText()));
    return text;
}

std::optional<BrowserInfo> PickerWindow::nextBrowser(const std::vector<BrowserInfo>& list,
                                                     const std::optional<BrowserInfo>& picked, bool back) {
    // Position 0 is "no browser"; browser i stands at i + 1.
    const int n = static_cast<int>(list.size()) + 1;
    int p = 0;
    if (picked) {
        const auto found = std::find_if(list.begin(), list.end(), [&](const BrowserInfo& b) { return b.deviceId == picked->deviceId; });
        if (found != list.end()) p = static_cast<int>(found - list.begin()) + 1;
    }
    const int next = (p + (back ? -1 : 1) + n) % n;
    if (next == 0) return std::nullopt;
    return list[static_cast<size_t>(next - 1)];
}

// --- Building and showing ----------------------------------------------------------------------------

void PickerWindow::build() {
    content_.setFrame({0, 0, size.width, size.height});

    search_.setFrame({16, 14, 388, 26});
    search_.setFont(platform::gfx::InterfaceFont::system(15, FontWeight::regular));
    search_.setBordered(false);
    search_.setDrawsBackground(false);
    search_.setShowsFocusRing(false);
    search_.setPlaceholder(t("search_project"));
    std::weak_ptr<PickerWindow> weak = weak_from_this();
    search_.onTextChange = [weak](platform::ui::TextField&) {
        if (auto self = weak.lock()) self->searchChanged();
    };
    content_.addSubview(&search_);

    close_.setFrame({578, 14, 26, 26});
    close_.setTitle("");
    close_.setSymbol("window-close-symbolic", 11);
    close_.setBordered(false);
    close_.setBezelStyle(Button::BezelStyle::regularSquare);
    close_.setToolTip(t("close") + "  esc");
    close_.setAction([weak](platform::ui::Control&) {
        if (auto self = weak.lock()) self->dismiss();
    });
    content_.addSubview(&close_);

    kind_.setFrame({412, 14, 154, 26});
    platform::ui::SegmentedControl::Segment claude, shell;
    claude.label = "Claude";
    claude.width = 72;
    shell.label = t("kind_shell");
    shell.width = 72;
    kind_.setSegments({claude, shell});
    // A language's word for the shell may want more than the design's 72: the frame has 10 to spare.
    shell.width = std::max(shell.width, kind_.neededWidthOfSegment(1));
    kind_.setSegments({claude, shell});
    kind_.setSelectedSegment(wantsShell_ ? 1 : 0);
    kind_.setAction([weak](platform::ui::Control&) {
        if (auto self = weak.lock()) self->kindChanged();
    });
    content_.addSubview(&kind_);

    table_.setFrame({6, 52, 608, 330});
    table_.setRowHeight(rowHeight);
    table_.setDrawsBackground(false);
    // The double action: a double click chooses the kind shown, whatever keys are held.
    table_.setAction([weak](platform::ui::Control&) {
        if (auto self = weak.lock()) self->commit(self->wantsShell_);
    });
    content_.addSubview(&table_);

    chipRow_.setFrame({12, 390, 596, 26});
    chipRow_.setSpacing(6);
    content_.addSubview(&chipRow_);

    // The hint wraps where the language's words need a second line; the sheet grows by it.
    foot_.setFrame({14, 428, 596, 20});
    foot_.setFont(platform::gfx::InterfaceFont::system(11, FontWeight::regular));
    foot_.setText(t("picker_hint"));
    foot_.setWraps(true);
    foot_.setFrameSize({596, std::max(20.0, std::ceil(foot_.fittingSize().height))});
    content_.addSubview(&foot_);
    content_.setFrameSize({size.width, size.height + foot_.frame().height - 20});

    chipRow_.setHidden(wantsShell_);
    applyTheme();
    table_.selectRow(0);
    std::weak_ptr<PickerWindow> themed = weak_from_this();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [themed](const auto&) {
        if (auto self = themed.lock()) self->applyTheme();
    });
}

void PickerWindow::applyTheme() {
    using C = PanelColors;
    content_.setLayerBackgroundColor(C::panelBackground());
    if (panel_) panel_->setBackgroundColor(C::panelBackground());
    search_.setTextColor(C::strongText());
    search_.setPlaceholderColor(C::mutedText());
    table_.setSelectionColor(C::selectedRow());
    close_.setContentTintColor(C::mutedText());
    Button::Look look;
    look.fill = C::controlBackground();
    look.borderWidth = 1;
    look.borderColor = C::hairline();
    look.cornerRadius = 13;
    close_.setLook(look);
    kind_.setLook(C::segmentLook());
    foot_.setTextColor(C::mutedText());
    rebuildChips();
    const int selected = table_.selectedRow();
    reloadTable();
    table_.selectRow(selected);
}

void PickerWindow::present(platform::ui::Window& window) {
    reloadProjects();
    build();
    panel_ = platform::ui::WindowMaker::make({content_.frame().width, content_.frame().height}, "");
    panel_->setBackgroundColor(PanelColors::panelBackground());
    panel_->setContentView(&content_);
    std::weak_ptr<PickerWindow> weak = weak_from_this();
    // Ahead of the widgets: the search field never sees the keys the picker takes.
    panel_->keyDownMonitor = [weak](const KeyEvent& event) {
        auto self = weak.lock();
        return self && self->handleKey(event);
    };
    showing_ = true;
    Sheets::present(*panel_, window, shared_from_this(), [weak](int) {
        if (auto self = weak.lock()) self->cleanUp();
    });
    panel_->makeFirstResponder(&search_);
    platform::runtime::MainLoop::main().post([weak] {
        auto self = weak.lock();
        if (self && !self->shown_.empty() && self->table_.selectedRow() < 0) self->table_.selectRow(0);
    });
    browsersToken_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(Browsers::didChange), [weak](const auto&) {
            if (auto self = weak.lock()) self->rebuildChips();
        });
}

// --- The list ------------------------------------------------------------------------------------------

void PickerWindow::reloadProjects() {
    all_ = withHomeRow(listProjects ? listProjects() : std::vector<Project>{}, home);
    shown_ = all_;
}

void PickerWindow::reloadTable() {
    std::vector<platform::ui::TableView::Row> rows;
    rows.reserve(shown_.size());
    for (const Project& project : shown_) rows.push_back({rowText(project, home), 1, platform::ui::Truncation::middle});
    table_.setRows(std::move(rows));
}

void PickerWindow::searchChanged() {
    shown_ = filtered(all_, search_.stringValue());
    reloadTable();
    table_.selectRow(shown_.empty() ? -1 : 0);
}

void PickerWindow::move(int delta) {
    if (shown_.empty()) return;
    const int row = std::clamp(table_.selectedRow() + delta, 0, static_cast<int>(shown_.size()) - 1);
    table_.selectRow(row);
    table_.scrollRowToVisible(row);
}

// --- Browser chips -------------------------------------------------------------------------------------

void PickerWindow::rebuildChips() {
    using C = PanelColors;
    // A chip with the keyboard hands it to its successor of the same tag.
    std::optional<int> focusedTag;
    for (const auto& chip : chips_) {
        if (chip->isFirstResponder()) focusedTag = chip->tag();
    }
    chipRow_.removeAllArrangedSubviews();
    chips_.clear();
    const std::vector<BrowserInfo>& list = browsers_.list();
    std::weak_ptr<PickerWindow> weak = weak_from_this();
    auto addChip = [&](const std::string& title, int tag, bool selected) {
        auto chip = std::make_unique<Button>();
        chip->setBezelStyle(Button::BezelStyle::badge);
        chip->setShowsFocusRing(false);
        // A small rounded plate in the panel's colours, filled when chosen.
        Button::Look plate;
        if (selected) plate.fill = C::controlBackground();
        plate.borderWidth = 1;
        plate.borderColor = C::hairline();
        plate.cornerRadius = 6;
        chip->setLook(plate);
        chip->setTag(tag);
        chip->setContentTintColor(selected ? C::strongText() : C::mutedText());
        chip->setAttributedTitle(RichText(title, styled(Fonts::ui(11, selected ? FontWeight::semibold : FontWeight::regular),
                                                        selected ? C::strongText() : C::mutedText())));
        chip->setAction([weak](platform::ui::Control& sender) {
            if (auto self = weak.lock()) self->pickChip(sender.tag());
        });
        chipRow_.addArrangedSubview(chip.get());
        chips_.push_back(std::move(chip));
    };
    addChip(t("no_browser"), -1, !pickedBrowser_);
    for (size_t i = 0; i < list.size(); ++i) {
        addChip(list[i].label(), static_cast<int>(i), pickedBrowser_ && pickedBrowser_->deviceId == list[i].deviceId);
    }
    for (const auto& chip : chips_) {
        if (panel_ && focusedTag == chip->tag()) panel_->makeFirstResponder(chip.get());
    }
}

void PickerWindow::pickChip(int tag) {
    const std::vector<BrowserInfo>& list = browsers_.list();
    if (tag >= 0 && tag < static_cast<int>(list.size())) pickedBrowser_ = list[static_cast<size_t>(tag)];
    else pickedBrowser_.reset();
    rebuildChips();
}

void PickerWindow::cycleBrowser(bool back) {
    pickedBrowser_ = nextBrowser(browsers_.list(), pickedBrowser_, back);
    rebuildChips();
}

// --- Kind, keys, commit and the end ------------------------------------------------------------------

void PickerWindow::kindChanged() {
    wantsShell_ = kind_.selectedSegment() == 1;
    chipRow_.setHidden(wantsShell_);
    reloadProjects();
    reloadTable();
    if (!shown_.empty()) table_.selectRow(0);
}

bool PickerWindow::controlHasKeyboard() const {
    const auto* control = panel_ ? dynamic_cast<const platform::ui::Control*>(panel_->firstResponder()) : nullptr;
    return control && control->isKeyboardOperable();
}

bool PickerWindow::handleKey(const KeyEvent& event) {
    if (event.type != KeyEvent::Type::down || cleanedUp_) return false;
    const bool shift = event.modifiers & Modifier::shift;
    // Shortcuts with Ctrl or Super belong to the application's menus; Ctrl+Tab moves the keyboard
    // from the field on to the switch, the close button and the chips.
    if (event.modifiers & (Modifier::control | Modifier::super)) return false;
    // There, Tab goes on and Return presses what has the keyboard, as on every sheet.
    const bool onControl = controlHasKeyboard();
    switch (event.key) {
        case Key::returnKey:
        case Key::keypadEnter:
            if (onControl) return false;
            commit(wantsShell_ || shift);
            return true;
        case Key::tab:
            if (onControl) return false;
            cycleBrowser(shift);
            return true;
        case Key::escape: dismiss(); return true;
        case Key::down: move(+1); return true;
        case Key::up: move(-1); return true;
        default: return false;
    }
}

void PickerWindow::commit(bool shell) {
    const int row = table_.selectedRow();
    if (row < 0 || row >= static_cast<int>(shown_.size())) return;
    // Copies: the handler may let the picker go.
    const Project chosen = shown_[static_cast<size_t>(row)];
    const std::optional<BrowserInfo> browser = pickedBrowser_;
    if (auto choose = onChoose) choose(chosen, shell, browser);
    dismiss();
}

void PickerWindow::dismiss() {
    // Kept alive until the sheet's end has run its course.
    auto keep = shared_from_this();
    cleanUp();
    if (panel_ && panel_->sheetParent()) panel_->sheetParent()->endSheet(*panel_);
}

void PickerWindow::cleanUp() {
    if (cleanedUp_) return;
    auto keep = shared_from_this();
    cleanedUp_ = true;
    showing_ = false;
    browsersToken_.cancel();
    if (auto closed = onClose) closed();
}

}  // namespace quiltdeck
