#include "quiltdeck/panels/GuideWindow.h"

#include <glib.h>

#include <algorithm>

#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::ui::RichText;
using platform::ui::TextAttributes;

namespace {

TextAttributes styled(double size, FontWeight weight, platform::gfx::Rgba color) {
    TextAttributes attributes;
    attributes.font = Fonts::ui(size, weight);
    attributes.color = color;
    return attributes;
}

// The terminal font of the settings, as interface text, at 12.5 points.
platform::gfx::InterfaceFont keyFont() { return Fonts::terminalText(12.5); }

}  // namespace

GuideWindow::GuideWindow() = default;
GuideWindow::~GuideWindow() = default;

std::string GuideWindow::title() {
    const std::string word = t("guide");
    if (word.empty() || !g_utf8_validate(word.data(), static_cast<gssize>(word.size()), nullptr)) return word;
    const gunichar first = g_utf8_get_char(word.data());
    char upper[6];
    const int length = g_unichar_to_utf8(g_unichar_toupper(first), upper);
    return std::string(upper, static_cast<size_t>(length)) + word.substr(static_cast<size_t>(g_utf8_next_char(word.data()) - word.data()));
}

RichText GuideWindow::body() {
    const auto strong = PanelColors::strongText();
    RichText text;
    auto heading = [&](std::string_view key) {
        TextAttributes attributes = styled(15, FontWeight::semibold, strong);
        attributes.paragraph.spacingBefore = 18;
        attributes.paragraph.spacingAfter = 6;
        text.append(t(key) + "\n", attributes);
    };
    auto para = [&](std::string_view key) {
        TextAttributes attributes = styled(13, FontWeight::regular, strong);
        attributes.paragraph.spacingAfter = 8;
        attributes.paragraph.lineSpacing = 2;
        text.append(t(key) + "\n", attributes);
    };
    const platform::gfx::InterfaceFont keys = keyFont();
    auto key = [&](std::string_view keyText, std::string_view description) {
        platform::ui::ParagraphStyle row;
        row.spacingAfter = 4;
        row.tabStops = {keyColumn};
        row.headIndent = keyColumn;
        TextAttributes keyAttributes;
        keyAttributes.font = keys;
        keyAttributes.color = strong;
        keyAttributes.paragraph = row;
        TextAttributes descriptionAttributes = styled(13, FontWeight::regular, PanelColors::mutedText());
        descriptionAttributes.paragraph = row;
        const L10nArg click(t("guide_key_click"));
        text.append(L10n::format(keyText, std::span<const L10nArg>(&click, 1)) + "\t", keyAttributes);
        text.append(t(description) + "\n", descriptionAttributes);
    };

    text.append(t("guide_title") + "\n", styled(22, FontWeight::semibold, strong));
    para("guide_intro");
    heading("guide_h_tiles");
    para("guide_tiles_1");
    para("guide_tiles_2");
    para("guide_tiles_3");
    heading("guide_h_keys");
    para("guide_keys_intro");
    for (const KeyRow& row : keyRows) key(row.keys, row.description);
    heading("guide_h_tabs");
    para("guide_tabs_1");
    heading("guide_h_names");
    para("guide_names_1");
    para("guide_names_2");
    heading("guide_h_numbers");
    para("guide_numbers_1");
    heading("guide_h_files");
    para("guide_files_1");
    heading("guide_h_browsers");
    para("guide_browsers_1");
    heading("guide_h_privacy");
    para("guide_privacy_1");
    return text;
}

void GuideWindow::present(platform::ui::Window& window) {
    build(Sheets::maximumHeight(window));
    panel_ = platform::ui::WindowMaker::make({width, content_.frame().height}, title());
    panel_->setContentView(&content_);
    std::weak_ptr<GuideWindow> weak = weak_from_this();
    close_->setAction([weak](platform::ui::Control&) {
        if (auto self = weak.lock()) self->dismiss();
    });
    Sheets::present(*panel_, window, shared_from_this());
    panel_->makeFirstResponder(&text_);
}

void GuideWindow::dismiss() {
    if (!panel_) return;
    if (platform::ui::Window* parent = panel_->sheetParent()) parent->endSheet(*panel_);
}

void GuideWindow::build(double maximumHeight) {
    // Never lower than a few lines of text above the pill.
    const double shown = std::clamp(maximumHeight, 200.0, height);
    content_.setFrame({0, 0, width, shown});
    text_.setFrame({0, 0, width, shown - 56});
    text_.setSelectable(true);
    text_.setDrawsBackground(false);
    text_.setTextInset({24, 20});
    content_.addSubview(&text_);
    close_ = PillButton::make(t("close"), nullptr, true);
    close_->setFrame({446, shown - 44, 90, 28});
    // The accent pill is the sheet's default button: Return presses it, as its look says.
    close_->setKeyEquivalent(platform::ui::Button::KeyEquivalent::returnKey);
    content_.addSubview(close_.get());
    applyTheme();
    std::weak_ptr<GuideWindow> weak = weak_from_this();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [weak](const auto&) {
        if (auto self = weak.lock()) self->applyTheme();
    });
}

void GuideWindow::applyTheme() {
    content_.setLayerBackgroundColor(PanelColors::panelBackground());
    if (panel_) panel_->setBackgroundColor(PanelColors::panelBackground());
    text_.setText(body());
    if (close_) close_->restyle();
}

}  // namespace quiltdeck
