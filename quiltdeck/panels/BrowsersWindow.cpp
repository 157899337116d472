#include "quiltdeck/panels/BrowsersWindow.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::InterfaceFont;
using platform::ui::Button;
using platform::ui::Label;

namespace {

// The terminal font of the settings at 11 points, else the system's monospaced one.
InterfaceFont deviceFont() {
    InterfaceFont font = InterfaceFont::system(11, FontWeight::regular);
    if (auto terminal = Fonts::terminal(11)) font.family = terminal->family();
    else font.family = "monospace";
    return font;
}

template <class Map>
std::string valueOr(const Map& map, const std::string& key, std::string fallback) {
    const auto found = map.find(key);
    return found != map.end() ? found->second : fallback;
}

}  // namespace

BrowsersWindow::BrowsersWindow(uint16_t hookPort) : BrowsersWindow(hookPort, Browsers::shared()) {}

BrowsersWindow::BrowsersWindow(uint16_t hookPort, Browsers& browsers) : browsers_(browsers), hookPort_(hookPort) {}

BrowsersWindow::~BrowsersWindow() {
    observer_.cancel();
    if (panel_) panel_->setContentView(nullptr);
}

void BrowsersWindow::build() {
    std::weak_ptr<BrowsersWindow> weak = weak_from_this();
    const double inner = size.width - 32;
    content_.setFrame({0, 0, size.width, size.height});
    stack_.setFrame({16, 40, inner, 250});
    stack_.setSpacing(8);
    stack_.setAlignment(platform::ui::StackView::Alignment::leading);
    content_.addSubview(&stack_);
    struct Spec {
        Button* button;
        const char* key;
        void (BrowsersWindow::*method)();
        platform::gfx::Rect frame;
        Button::KeyEquivalent keyEquivalent;
    };
    for (const Spec& spec : {Spec{&refresh_, "refresh", &BrowsersWindow::refresh, {16, 300, 100, 26}, Button::KeyEquivalent::none},
                             Spec{&identifyAll_, "identify_all", &BrowsersWindow::identifyAll, {124, 300, 130, 26}, Button::KeyEquivalent::none},
                             Spec{&close_, "close", &BrowsersWindow::close, {size.width - 106, 300, 90, 26}, Button::KeyEquivalent::escape}}) {
        spec.button->setTitle(t(spec.key));
        // At least as wide as the sheet's design, wider where the language's title needs it.
        platform::gfx::Rect frame = spec.frame;
        frame.width = std::max(frame.width, std::ceil(spec.button->fittingSize().width));
        spec.button->setFrame(frame);
        spec.button->setKeyEquivalent(spec.keyEquivalent);
        spec.button->setAction([weak, method = spec.method](platform::ui::Control&) {
            if (auto self = weak.lock()) ((*self).*method)();
        });
        content_.addSubview(spec.button);
    }
    identifyAll_.setFrameOrigin({refresh_.frame().maxX() + 8, identifyAll_.frame().y});
    close_.setFrameOrigin({size.width - 16 - close_.frame().width, close_.frame().y});
    note_.setFrame({16, 334, inner, 34});
    note_.setText(t("browsers_note"));
    note_.setFont(InterfaceFont::system(11, FontWeight::regular));
    note_.setWraps(true);
    content_.addSubview(&note_);
    observer_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Browsers::didChange), [weak](const auto&) {
        if (auto self = weak.lock()) self->rebuild();
    });
    rebuild();
    applyTheme();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [weak](const auto&) {
        if (auto self = weak.lock()) self->applyTheme();
    });
}

void BrowsersWindow::applyTheme() {
    using C = PanelColors;
    content_.setLayerBackgroundColor(C::panelBackground());
    if (panel_) panel_->setBackgroundColor(C::panelBackground());
    note_.setTextColor(C::mutedText());
    if (message_) message_->setTextColor(C::mutedText());
    for (const auto& row : rows_) {
        row->device.setTextColor(C::mutedText());
        row->field.setPlaceholderColor(C::mutedText());
        row->account.setTextColor(C::mutedText());
    }
}

void BrowsersWindow::present(platform::ui::Window& window) {
    panel_ = platform::ui::WindowMaker::make(size, t("connected_browsers"));
    panel_->setBackgroundColor(PanelColors::panelBackground());
    build();
    browsers_.refresh(false);
    panel_->setContentView(&content_);
    std::weak_ptr<BrowsersWindow> weak = weak_from_this();
    // Once the sheet is gone, list changes leave the panel alone.
    Sheets::present(*panel_, window, shared_from_this(), [weak](int) {
        if (auto self = weak.lock()) self->observer_.cancel();
    });
}

// --- The list ------------------------------------------------------------------------------------------

BrowsersWindow::Row& BrowsersWindow::makeRow(const std::string& deviceId) {
    using C = PanelColors;
    auto row = std::make_unique<Row>();
    row->deviceId = deviceId;
    row->line.setSpacing(9);
    row->device.setText(firstCharacters(deviceId, 8));
    row->device.setFont(deviceFont());
    row->device.setTextColor(C::mutedText());
    row->field.setStringValue(valueOr(Store::shared().browserLabels(), deviceId, ""));
    row->field.setFont(InterfaceFont::system(13, FontWeight::regular));
    std::weak_ptr<BrowsersWindow> weak = weak_from_this();
    row->field.setAction([weak, deviceId](platform::ui::Control& sender) {
        if (auto self = weak.lock()) {
            self->commitLabel(sender.tag(), deviceId, static_cast<platform::ui::TextField&>(sender).stringValue());
        }
    });
    row->identify.setTitle(t("identify"));
    row->identify.setBezelStyle(Button::BezelStyle::rounded);
    row->identify.setAction([weak, deviceId](platform::ui::Control& sender) {
        if (auto self = weak.lock()) self->identify(sender.tag(), deviceId);
    });
    row->account.setFont(Fonts::ui(11, FontWeight::regular));
    row->account.setTextColor(C::mutedText());
    row->field.setPlaceholderColor(C::mutedText());
    rows_.push_back(std::move(row));
    return *rows_.back();
}

void BrowsersWindow::updateRow(Row& row, size_t index) {
    const BrowserInfo& browser = browsers_.list()[index];
    const std::string account = valueOr(Store::shared().browserAccounts(), row.deviceId, "");
    row.field.setTag(static_cast<int>(index));
    row.identify.setTag(static_cast<int>(index));
    row.field.setPlaceholder(account.empty() ? browser.name : account);
    row.account.setText(account);
    // The field gives up width for a long account or a language's wide button, down to its
    // smallest; past that the account is cut in its middle.
    const double spacing = row.line.spacing();
    // The toolkit sets each glyph of a monospaced line on a whole pixel, so the line takes up to
    // half a point more per character than it measures.
    const double deviceWidth = std::ceil(row.device.fittingSize().width + 0.5 * static_cast<double>(row.device.text().size()));
    const double fixed = deviceWidth + row.identify.fittingSize().width + 3 * spacing;
    const double room = stack_.frame().width - fixed;
    const double accountWidth = std::ceil(row.account.fittingSize().width);
    const double field = std::clamp(room - accountWidth, smallestFieldWidth, fieldWidth);
    row.account.setTruncation(platform::ui::Truncation::middle);
    // Arranged again in place (the field keeps its keyboard and caret), with the widths of now.
    row.line.addArrangedSubview(&row.device, deviceWidth);
    row.line.addArrangedSubview(&row.field, field);
    row.line.addArrangedSubview(&row.identify);
    row.line.addArrangedSubview(&row.account, std::max(0.0, std::min(accountWidth, room - field)));
    row.line.layout();
}

void BrowsersWindow::rebuild() {
    const std::vector<BrowserInfo>& list = browsers_.list();
    // Rows whose device is gone leave; the others stay as the user left them.
    std::erase_if(rows_, [&](const std::unique_ptr<Row>& row) {
        const bool listed = std::any_of(list.begin(), list.end(), [&](const BrowserInfo& b) { return b.deviceId == row->deviceId; });
        if (!listed) {
            fields_.erase(row->deviceId);
            stack_.removeArrangedSubview(&row->line);
        }
        return !listed;
    });
    if (list.empty()) {
        std::string text = t("browsers_none");
        if (browsers_.busy()) text = t("browsers_loading");
        else if (browsers_.error()) text = *browsers_.error();
        if (!message_) {
            message_ = std::make_unique<Label>();
            message_->setTextColor(PanelColors::mutedText());
            // As wide as the list, on as many lines as the language's words need.
            message_->setWraps(true);
            message_->setPreferredMaxLayoutWidth(stack_.frame().width);
            stack_.addArrangedSubview(message_.get());
        }
        message_->setText(text);
        stack_.layout();
        return;
    }
    if (message_) {
        stack_.removeArrangedSubview(message_.get());
        message_.reset();
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const auto& row) { return row->deviceId == list[i].deviceId; });
        Row& row = found != rows_.end() ? **found : makeRow(list[i].deviceId);
        updateRow(row, i);
        fields_[row.deviceId] = &row.field;
        if (row.line.superview() != &stack_) stack_.addArrangedSubview(&row.line);
        stack_.moveArrangedSubview(&row.line, i);
    }
}

// --- Actions ---------------------------------------------------------------------------------------

bool BrowsersWindow::listed(int tag, const std::string& deviceId) const {
    const std::vector<BrowserInfo>& list = browsers_.list();
    return tag >= 0 && tag < static_cast<int>(list.size()) && list[static_cast<size_t>(tag)].deviceId == deviceId;
}

void BrowsersWindow::refresh() { browsers_.refresh(true); }

void BrowsersWindow::identifyAll() { browsers_.identifyAll(hookPort_, 0); }

void BrowsersWindow::identify(int tag, const std::string& deviceId) {
    if (!listed(tag, deviceId)) return;
    browsers_.identify(deviceId, hookPort_, [](bool) {});
}

void BrowsersWindow::commitLabel(int tag, const std::string& deviceId, const std::string& text) {
    if (!listed(tag, deviceId)) return;
    Store::shared().setLabel(text, deviceId);
}

void BrowsersWindow::close() {
    if (panel_ && panel_->sheetParent()) panel_->sheetParent()->endSheet(*panel_);
}

}  // namespace quiltdeck
