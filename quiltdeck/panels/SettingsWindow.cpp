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

namespace {

// The texts of the sheet, in the order build() makes them.
enum TextRow : size_t { appearanceHeading, themeNote, fontHeading, fontNote, logoHeading, logoNote, permHeading, permNote, trustHeading, trustNote };

}  // namespace

Label& SettingsWindow::addText(std::string_view key, bool heading) {
    auto label = std::make_unique<Label>();
    label->setText(t(key));
    label->setFont(Fonts::ui(heading ? 13 : 11, heading ? FontWeight::semibold : FontWeight::regular));
    // A note wraps to as many lines as it needs; layout() makes it that tall.
    label->setWraps(!heading);
    rows_.addSubview(label.get());
    texts_.push_back(std::move(label));
    return *texts_.back();
}

void SettingsWindow::build(double scale, double maximumHeight) {
    const Store& store = Store::shared();
    scale_ = scale;
    maximumHeight_ = maximumHeight;
    content_.addSubview(&scroll_);
    scroll_.setDocumentView(&rows_);
    std::weak_ptr<SettingsWindow> weak = weak_from_this();
    auto action = [weak](void (SettingsWindow::*method)()) {
        return [weak, method](platform::ui::Control&) {
            if (auto self = weak.lock()) ((*self).*method)();
        };
    };
    texts_.clear();

    addText("appearance", true);
    std::vector<SegmentedControl::Segment> themes;
    for (std::string_view key : themeLabels) {
        SegmentedControl::Segment segment;
        segment.label = t(key);
        segment.width = (width - 2 * margin) / static_cast<double>(themeLabels.size());
        themes.push_back(std::move(segment));
    }
    themePicker_.setSegments(std::move(themes));
    int themeIndex = 0;
    for (size_t i = 0; i < themeModes.size(); ++i) {
        if (themeModes[i] == Theme::mode()) themeIndex = static_cast<int>(i);
    }
    themePicker_.setSelectedSegment(themeIndex);
    themePicker_.setAction(action(&SettingsWindow::pickTheme));
    rows_.addSubview(&themePicker_);
    addText("theme_note", false);

    addText("terminal_font", true);
    fontPicker_.removeAllItems();
    int fontIndex = -1;
    const std::vector<Fonts::Choice> fonts = Fonts::choices();
    for (size_t i = 0; i < fonts.size(); ++i) {
        fontPicker_.addItem(fonts[i].label);
        if (fonts[i].label == Fonts::choiceOf(store.fontName())) fontIndex = static_cast<int>(i);
    }
    fontPicker_.selectItem(fontIndex);
    fontPicker_.setAction(action(&SettingsWindow::pickFont));
    rows_.addSubview(&fontPicker_);

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
    rows_.addSubview(&sizePicker_);
    addText("font_note", false);

    addText("logo", true);
    markPicker_.setSelectedSegment(-1);
    markPicker_.setAction(action(&SettingsWindow::pickMark));
    rows_.addSubview(&markPicker_);
    addText("logo_note", false);

    addText("perm_mode", true);
    permPicker_.removeAllItems();
    // The interface font, as the notes: the longest choice still fits the row in every language.
    permPicker_.setFont(Fonts::ui(12, FontWeight::regular));
    for (std::string_view key : permLabels) permPicker_.addItem(t(key));
    permPicker_.selectItem(permIndex(store.permissionMode()));
    permPicker_.setAction(action(&SettingsWindow::pickPerm));
    rows_.addSubview(&permPicker_);
    addText("perm_note", false);

    addText("home_trust", true);
    for (auto [box, key, on, method] :
         {std::tuple{&trustToggle_, "home_trust_toggle", store.autoTrustHome(), &SettingsWindow::toggleTrust},
          std::tuple{&loginToggle_, "open_at_login", store.openAtLogin(), &SettingsWindow::toggleLogin}}) {
        box->setTitle(t(key));
        box->setWrapsTitle(true);
        box->setState(on ? Button::State::on : Button::State::off);
        box->setIdentifier(std::string(noPill));
        box->setFont(Fonts::ui(12, FontWeight::regular));
        box->setAction(action(method));
        rows_.addSubview(box);
    }
    // Under the trust box, the note that belongs to it; the login box below.
    addText("home_trust_note", false);

    close_.setTitle(t("close"));
    close_.setKeyEquivalent(Button::KeyEquivalent::escape);
    close_.setAction(action(&SettingsWindow::close));
    content_.addSubview(&close_);
    pillifyButtons(rows_);
    pillifyButtons(content_);
    applyTheme();
    layout();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [weak](const auto&) {
        if (auto self = weak.lock()) self->applyTheme();
    });
}

void SettingsWindow::applyTheme() {
    content_.setLayerBackgroundColor(PanelColors::panelBackground());
    if (panel_) panel_->setBackgroundColor(PanelColors::panelBackground());
    for (const auto& text : texts_) {
        const bool heading = text->font().weight == FontWeight::semibold;
        text->setTextColor(heading ? PanelColors::strongText() : PanelColors::mutedText());
    }
    themePicker_.setLook(PanelColors::segmentLook());
    markPicker_.setLook(PanelColors::segmentLook());
    // The marks are drawn in the heading colour of the theme.
    const int selectedMark = markPicker_.selectedSegment() >= 0 ? markPicker_.selectedSegment() : markSegment(Store::shared().markStyle());
    std::vector<SegmentedControl::Segment> marks;
    for (size_t i = 0; i < allMarkStyles.size(); ++i) {
        SegmentedControl::Segment segment;
        segment.image = markImage(static_cast<int>(i), PanelColors::strongText(), scale_);
        segment.imageSize = platform::gfx::Size{markImageSize, markImageSize};
        segment.width = 60;
        segment.toolTip = std::string(rawValue(allMarkStyles[i]));
        marks.push_back(std::move(segment));
    }
    markPicker_.setSegments(std::move(marks));
    markPicker_.setSelectedSegment(selectedMark);
    for (Button* box : {&trustToggle_, &loginToggle_}) box->setContentTintColor(PanelColors::strongText());
    Button::Look pill = PillButton::lookFor(false);
    if (close_.look()) pill.cornerRadius = close_.look()->cornerRadius;
    close_.setLook(pill);
    close_.setAttributedTitle(platform::ui::RichText(t("close"), PillButton::titleAttributes(false)));
    layout();
}

void SettingsWindow::layout() {
    if (texts_.size() <= trustNote) return;
    const double rowWidth = width - 2 * margin;
    double y = margin;
    // A text as tall as its lines at the row's width.
    auto text = [&](TextRow row, double after) {
        Label& label = *texts_[row];
        label.setFrame({margin, y, rowWidth, 0});
        label.setFrameSize({rowWidth, std::ceil(label.fittingSize().height)});
        y += label.frame().height + after;
    };
    auto control = [&](platform::ui::View& view, double x, double viewWidth, double height) {
        view.setFrame({margin + x, y, viewWidth, height});
    };
    text(appearanceHeading, 10);
    control(themePicker_, 0, rowWidth, 26);
    y += 36;
    text(themeNote, 20);
    text(fontHeading, 8);
    control(fontPicker_, 0, 220, 26);
    control(sizePicker_, 230, 100, 26);
    y += 36;
    text(fontNote, 12);
    text(logoHeading, 8);
    control(markPicker_, 0, 60.0 * static_cast<double>(allMarkStyles.size()), 30);
    y += 38;
    text(logoNote, 10);
    text(permHeading, 6);
    control(permPicker_, 0, rowWidth, 26);
    y += 32;
    text(permNote, 10);
    text(trustHeading, 6);
    for (Button* box : {&trustToggle_, &loginToggle_}) {
        box->setFrame({margin, y, rowWidth, 20});
        box->setFrameSize({rowWidth, std::max(20.0, std::ceil(box->fittingSize().height))});
        y += box->frame().height + 4;
        if (box == &trustToggle_) text(trustNote, 8);
    }
    // The rows end 12 above the close button's row; a sheet held lower scrolls them.
    rows_.setFrameSize({width, y + 12});
    const double below = 12 + 28 + 16;
    const double height = std::min(rows_.frame().height + below, std::max(maximumHeight_, 160.0));
    content_.setFrame({0, 0, width, height});
    scroll_.setFrame({0, 0, width, height - below});
    scroll_.documentDidResize();
    const double closeWidth = std::max(90.0, std::ceil(close_.fittingSize().width));
    close_.setFrame({width - margin - closeWidth, scroll_.frame().maxY() + 12, closeWidth, 28});
    if (Button::Look pill = close_.look().value_or(PillButton::lookFor(false)); pill.cornerRadius != 14) {
        pill.cornerRadius = 14;  // half its height: round ends
        close_.setLook(pill);
    }
}

void SettingsWindow::present(platform::ui::Window& window) {
    build(window.backingScaleFactor(), Sheets::maximumHeight(window));
    panel_ = platform::ui::WindowMaker::make(size(), t("menu_settings"));
    panel_->setBackgroundColor(PanelColors::panelBackground());
    panel_->setContentView(&content_);
    std::weak_ptr<SettingsWindow> weak = weak_from_this();
    // The page keys page the rows, whoever has the keyboard (nobody, when the sheet opens).
    panel_->keyDownMonitor = [weak](const platform::ui::KeyEvent& event) {
        auto self = weak.lock();
        return self && self->scroll_.pageByKey(event);
    };
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
