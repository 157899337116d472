#include "quiltdeck/panels/SettingsWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/gfx/Canvas.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/Mark.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/shell/StoredSettings.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rect;
using platform::ui::Button;
using platform::ui::Label;
using platform::ui::SegmentedControl;

namespace {

constexpr std::array<ThemeMode, 3> themeModes = {ThemeMode::system, ThemeMode::dark, ThemeMode::light};
constexpr std::array<std::string_view, 3> themeLabels = {"theme_system", "theme_dark", "theme_light"};

void post(std::string_view name) { platform::runtime::NotificationCenter::defaultCenter().post(std::string(name)); }

}  // namespace

SettingsWindow::SettingsWindow() = default;

SettingsWindow::~SettingsWindow() {
    if (panel_) panel_->setContentView(nullptr);
}

// --- Pure parts ------------------------------------------------------------------------------------

std::optional<std::string> SettingsWindow::sizeItemTitle(double stored) {
    if (!std::isfinite(stored)) return std::nullopt;
    const double whole = std::round(stored);
    if (whole < std::numeric_limits<int>::min() || whole > std::numeric_limits<int>::max()) return std::nullopt;
    const int points = static_cast<int>(whole);
    for (int offered : minimumSizes) {
        if (offered == points) return std::to_string(points) + " pt";
    }
    return std::nullopt;
}

double SettingsWindow::sizeFromTitle(std::string title) {
    for (size_t at = title.find(" pt"); at != std::string::npos; at = title.find(" pt")) title.erase(at, 3);
    if (title.empty()) return 11.0;
    char* end = nullptr;
    const double value = std::strtod(title.c_str(), &end);
    if (end != title.c_str() + title.size() || !std::isfinite(value)) return 11.0;
    return value;
}

int SettingsWindow::markSegment(std::string_view stored) {
    const MarkStyle style = markStyleFrom(stored).value_or(MarkStyle::converge);
    const MarkStyle shown = style == MarkStyle::chevrons ? MarkStyle::converge : style;
    for (size_t i = 0; i < allMarkStyles.size(); ++i) {
        if (allMarkStyles[i] == shown) return static_cast<int>(i);
    }
    return 3;
}

int SettingsWindow::permIndex(std::string_view stored) {
    for (size_t i = 0; i < permModes.size(); ++i) {
        if (permModes[i] == stored) return static_cast<int>(i);
    }
    return 0;
}

platform::gfx::Image SettingsWindow::markImage(int style, platform::gfx::Rgba ink, double scale) {
    // A canvas of its own counts y upwards, as the mark is drawn.
    platform::gfx::Canvas canvas({markImageSize, markImageSize}, scale);
    Mark::draw(canvas, markImageSize, ink, std::nullopt, allMarkStyles[static_cast<size_t>(style) % allMarkStyles.size()]);
    return canvas.image();
}

// --- Building --------------------------------------------------------------------------------------

Label& SettingsWindow::addText(std::string_view key, const Rect& frame, bool heading) {
    auto label = std::make_unique<Label>(frame);
    label->setText(t(key));
    label->setFont(Fonts::ui(heading ? 13 : 11, heading ? FontWeight::semibold : FontWeight::regular));
    label->setTextColor(heading ? PanelColors::strongText() : PanelColors::mutedText());
    label->setWraps(!heading);
    // A note keeps to its frame: the lines that do not fit are cut, never drawn over the next row.
    const double lineHeight = heading ? frame.height : 13;
    label->setMaximumLines(std::max(1, static_cast<int>(frame.height / lineHeight)));
    label->setTruncation(platform::ui::Truncation::tail);
    content_.addSubview(label.get());
    texts_.push_back(std::move(label));
    return *texts_.back();
}

void SettingsWindow::build(double scale) {
    const Store& store = Store::shared();
    std::weak_ptr<SettingsWindow> weak = weak_from_this();
    auto action = [weak](void (SettingsWindow::*method)()) {
        return [weak, method](platform::ui::Control&) {
            if (auto self = weak.lock()) ((*self).*method)();
        };
    };
    content_.setFrame({0, 0, size.width, size.height});
    content_.setLayerBackgroundColor(PanelColors::panelBackground());

    addText("appearance", {24, 24, 200, 18}, true);
    themePicker_.setFrame({24, 52, 372, 26});
    std::vector<SegmentedControl::Segment> themes;
    for (std::string_view key : themeLabels) {
        SegmentedControl::Segment segment;
        segment.label = t(key);
        segment.width = 118;
        themes.push_back(std::move(segment));
    }
    themePicker_.setSegments(std::move(themes));
    int themeIndex = 0;
    for (size_t i = 0; i < themeModes.size(); ++i) {
        if (themeModes[i] == Theme::mode()) themeIndex = static_cast<int>(i);
    }
    themePicker_.setSelectedSegment(themeIndex);
    themePicker_.setAction(action(&SettingsWindow::pickTheme));
    content_.addSubview(&themePicker_);
    addText("theme_note", {24, 88, 372, 18}, false);

    addText("terminal_font", {24, 126, 200, 18}, true);
    fontPicker_.setFrame({24, 152, 220, 26});
    fontPicker_.removeAllItems();
    int fontIndex = -1;
    for (size_t i = 0; i < Fonts::choices.size(); ++i) {
        fontPicker_.addItem(std::string(Fonts::choices[i].label));
        if (Fonts::choices[i].label == Fonts::choiceOf(store.fontName())) fontIndex = static_cast<int>(i);
    }
    fontPicker_.selectItem(fontIndex);
    fontPicker_.setAction(action(&SettingsWindow::pickFont));
    content_.addSubview(&fontPicker_);

    sizePicker_.setFrame({254, 152, 100, 26});
    sizePicker_.removeAllItems();
    const std::optional<std::string> sizeTitle = sizeItemTitle(store.minFontSize());
    int sizeIndex = -1;
    for (size_t i = 0; i < minimumSizes.size(); ++i) {
        const std::string title = std::to_string(minimumSizes[i]) + " pt";
        sizePicker_.addItem(title);
        if (sizeTitle == title) sizeIndex = static_cast<int>(i);
    }
    sizePicker_.selectItem(sizeIndex);
    sizePicker_.setAction(action(&SettingsWindow::pickSize));
    content_.addSubview(&sizePicker_);
    addText("font_note", {24, 188, 372, 72}, false);

    addText("logo", {24, 272, 200, 18}, true);
    markPicker_.setFrame({24, 298, 190, 30});
    std::vector<SegmentedControl::Segment> marks;
    for (size_t i = 0; i < allMarkStyles.size(); ++i) {
        SegmentedControl::Segment segment;
        segment.image = markImage(static_cast<int>(i), PanelColors::strongText(), scale);
        segment.imageSize = platform::gfx::Size{markImageSize, markImageSize};
        segment.width = 60;
        segment.toolTip = std::string(rawValue(allMarkStyles[i]));
        marks.push_back(std::move(segment));
    }
    markPicker_.setSegments(std::move(marks));
    markPicker_.setSelectedSegment(markSegment(store.markStyle()));
    markPicker_.setAction(action(&SettingsWindow::pickMark));
    content_.addSubview(&markPicker_);
    addText("logo_note", {24, 336, 372, 20}, false);

    addText("perm_mode", {24, 366, 372, 18}, true);
    permPicker_.setFrame({24, 390, 300, 26});
    permPicker_.removeAllItems();
    for (std::string_view key : permLabels) permPicker_.addItem(t(key));
    permPicker_.selectItem(permIndex(store.permissionMode()));
    permPicker_.setAction(action(&SettingsWindow::pickPerm));
    content_.addSubview(&permPicker_);
    addText("perm_note", {24, 420, 372, 32}, false);

    addText("home_trust", {24, 460, 372, 18}, true);
    for (auto [box, key, on, frame, method] :
         {std::tuple{&trustToggle_, "home_trust_toggle", store.autoTrustHome(), Rect{24, 484, 372, 20}, &SettingsWindow::toggleTrust},
          std::tuple{&loginToggle_, "open_at_login", store.openAtLogin(), Rect{24, 546, 372, 20}, &SettingsWindow::toggleLogin}}) {
        box->setFrame(frame);
        box->setTitle(t(key));
        box->setState(on ? Button::State::on : Button::State::off);
        box->setIdentifier(std::string(noPill));
        box->setFont(Fonts::ui(12, FontWeight::regular));
        box->setContentTintColor(PanelColors::strongText());
        box->setAction(action(method));
        content_.addSubview(box);
    }
    // Under the trust box, the note that belongs to it; the login box below.
    addText("home_trust_note", {24, 506, 372, 32}, false);

    close_.setFrame({306, 656, 90, 28});
    close_.setTitle(t("close"));
    close_.setKeyEquivalent(Button::KeyEquivalent::escape);
    close_.setAction(action(&SettingsWindow::close));
    content_.addSubview(&close_);
    pillifyButtons(content_);
    close_.setAttributedTitle(platform::ui::RichText(close_.title(), PillButton::titleAttributes(false)));
}

void SettingsWindow::present(platform::ui::Window& window) {
    panel_ = platform::ui::WindowMaker::make(size, t("menu_settings"));
    panel_->setBackgroundColor(PanelColors::panelBackground());
    build(window.backingScaleFactor());
    panel_->setContentView(&content_);
    Sheets::present(*panel_, window, shared_from_this());
}

// --- Actions ---------------------------------------------------------------------------------------

void SettingsWindow::pickTheme() {
    const int segment = themePicker_.selectedSegment();
    if (segment < 0 || segment > 2) return;
    const ThemeMode mode = themeModes[static_cast<size_t>(segment)];
    Theme::setMode(mode);
    Store::shared().setThemeMode(std::string(rawValue(mode)));
    Theme::resolve();
}

void SettingsWindow::pickFont() {
    std::string title = fontPicker_.titleOfSelectedItem();
    if (fontPicker_.indexOfSelectedItem() < 0) title = std::string(StoredSettings::defaultFontName);
    Store::shared().setFontName(std::move(title));
    post(Fonts::didChange);
}

void SettingsWindow::pickSize() {
    const std::string title = sizePicker_.indexOfSelectedItem() < 0 ? std::string("11") : sizePicker_.titleOfSelectedItem();
    Store::shared().setMinFontSize(sizeFromTitle(title));
    post(Fonts::didChange);
}

void SettingsWindow::pickMark() {
    const int segment = markPicker_.selectedSegment();
    if (segment < 0 || segment > 3) return;
    Store::shared().setMarkStyle(std::string(rawValue(allMarkStyles[static_cast<size_t>(segment)])));
    post(Theme::didChange);
}

void SettingsWindow::pickPerm() {
    const int index = permPicker_.indexOfSelectedItem();
    if (index < 0 || index > 2) return;
    // Read by a tile when it starts: running tiles keep their mode.
    Store::shared().setPermissionMode(std::string(permModes[static_cast<size_t>(index)]));
}

void SettingsWindow::toggleTrust() { Store::shared().setAutoTrustHome(trustToggle_.state() == Button::State::on); }

void SettingsWindow::toggleLogin() {
    Store::shared().setOpenAtLogin(loginToggle_.state() == Button::State::on);
    LoginItem::apply();
}

void SettingsWindow::close() {
    if (panel_ && panel_->sheetParent()) panel_->sheetParent()->endSheet(*panel_);
}

}  // namespace quiltdeck
