#include "quiltdeck/panels/LookPopover.h"

#include <filesystem>

#include "platform/gfx/ImageDecoder.h"
#include "platform/ui/Alert.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Branding.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Tints.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::ui::Button;

namespace {

// A stored colour is the palette entry it parses to, in either case.
bool sameColour(const std::string& stored, uint32_t entry) {
    const auto value = Tints::parse(stored);
    return value && (*value & 0xFFFFFFu) == entry;
}

const std::string* storedFor(const Store::StringMap& map, const std::string& cwd) {
    const auto found = map.find(cwd);
    return found == map.end() ? nullptr : &found->second;
}

// The image types the chooser offers, of those the decoder reads here.
std::vector<std::string> chooserTypes() {
    std::vector<std::string> types;
    for (const char* type : {"image/png", "image/jpeg", "image/svg+xml", "image/tiff", "image/x-icns", "image/webp"}) {
        if (platform::gfx::ImageDecoder::readsMimeType(type)) types.emplace_back(type);
    }
    return types;
}

}  // namespace

std::shared_ptr<LookPopover> LookPopover::make(std::string cwd, std::function<void()> onChange) {
    return std::make_shared<LookPopover>(std::move(cwd), std::move(onChange));
}

LookPopover::LookPopover(std::string cwd, std::function<void()> onChange) : cwd_(std::move(cwd)), onChange_(std::move(onChange)) {
    candidates_ = Branding::candidates(cwd_);
    if (candidates_.size() > maxCandidates) candidates_.resize(maxCandidates);
}

LookPopover::~LookPopover() = default;

platform::ui::FlippedView& LookPopover::view() {
    if (!loaded_) loadView();
    return root_;
}

platform::gfx::Size LookPopover::preferredContentSize() { return {width, view().frame().height}; }

std::unique_ptr<platform::ui::Label> LookPopover::heading(const std::string& text, double y) {
    auto label = std::make_unique<platform::ui::Label>(Rect{16, y, 300, 16});
    label->setText(text);
    label->setFont(Fonts::ui(12, FontWeight::semibold));
    label->setTextColor(PanelColors::strongText());
    root_.addSubview(label.get());
    return label;
}

void LookPopover::loadView() {
    loaded_ = true;
    const Store& store = Store::shared();
    root_.setLayerBackgroundColor(PanelColors::panelBackground());
    headings_.push_back(heading(t("colour"), 16));

    swatchRow_.setFrame({16, 40, 404, 28});
    root_.addSubview(&swatchRow_);
    const std::string* storedColour = storedFor(store.tileColors(), cwd_);
    const auto& palette = Tints::current();
    for (size_t i = 0; i < palette.size(); ++i) {
        auto swatch = std::make_unique<Button>(Button::Type::push, Rect{36.0 * static_cast<double>(i), 0, 28, 28});
        const bool selected = storedColour && sameColour(*storedColour, palette[i]);
        swatch->setBordered(false);
        Button::Look look;
        look.fill = Tints::colour(palette[i]);
        look.cornerRadius = 8;
        look.borderWidth = selected ? 2.5 : 0;
        look.borderColor = PanelColors::strongText();
        swatch->setLook(look);
        swatch->setTag(static_cast<int>(i));
        swatch->setAction([this](platform::ui::Control& sender) { pickColour(sender.tag()); });
        swatchRow_.addSubview(swatch.get());
        swatches_.push_back(std::move(swatch));
    }
    automatic_.setTitle(t("automatic"));
    automatic_.setBezelStyle(Button::BezelStyle::badge);
    automatic_.setFont(Fonts::ui(11, FontWeight::regular));
    automatic_.sizeToFit();
    automatic_.setFrameOrigin({8 * 36 + 4, 4});
    automatic_.setAction([this](platform::ui::Control&) { autoColour(); });
    swatchRow_.addSubview(&automatic_);

    headings_.push_back(heading(candidates_.empty() ? t("no_logo_found") : t("logo_from_project"), 80));
    double y = 104;
    if (!candidates_.empty()) {
        const std::string* storedLogo = storedFor(store.tileLogos(), cwd_);
        for (size_t i = 0; i < candidates_.size(); ++i) {
            const double column = static_cast<double>(i % thumbnailsPerRow), row = static_cast<double>(i / thumbnailsPerRow);
            auto thumb = std::make_unique<Button>(Button::Type::push, Rect{16 + 58 * column, 104 + 58 * row, 52, 52});
            const bool selected = storedLogo && *storedLogo == candidates_[i];
            thumb->setBordered(false);
            thumb->setBezelStyle(Button::BezelStyle::smallSquare);
            Button::Look look;
            look.fill = PanelColors::controlBackground();
            look.cornerRadius = 10;
            look.borderWidth = selected ? 2 : 1;
            look.borderColor = selected ? PanelColors::strongText() : PanelColors::hairline();
            thumb->setLook(look);
            // An image that does not decode leaves the thumbnail empty, still a choice.
            thumb->setImage(Branding::loadImage(candidates_[i], thumbnailPixels));
            thumb->setToolTip(std::filesystem::path(candidates_[i]).filename().string());
            thumb->setTag(static_cast<int>(i));
            thumb->setAction([this](platform::ui::Control& sender) { pickCandidate(sender.tag()); });
            root_.addSubview(thumb.get());
            thumbs_.push_back(std::move(thumb));
        }
        const size_t rows = (candidates_.size() + thumbnailsPerRow - 1) / thumbnailsPerRow;
        y = 104 + 58 * static_cast<double>(rows) + 8;
        autoPick_.setText(t("auto_pick") + std::filesystem::path(candidates_.front()).filename().string());
        autoPick_.setFont(Fonts::ui(10.5, FontWeight::regular));
        autoPick_.setTextColor(PanelColors::mutedText());
        autoPick_.setTruncation(platform::ui::Truncation::middle);
        autoPick_.setFrame({16, y, 404, 14});
        root_.addSubview(&autoPick_);
        y += 22;
    }

    double x = 16;
    const std::pair<Button*, std::string> buttons[] = {
        {&pickFile_, t("pick_from_disk")}, {&logoAutomatic_, t("logo_auto")}, {&noLogo_, t("no_logo")}};
    for (const auto& [button, title] : buttons) {
        button->setTitle(title);
        button->setBezelStyle(Button::BezelStyle::rounded);
        button->setControlSize(Button::ControlSize::small);
        const double fitted = button->fittingSize().width + 16;
        // A language's longer titles go on to a second line rather than past the edge.
        if (x > 16 && x + fitted > width - 16) {
            x = 16;
            y += 32;
        }
        button->setFrame({x, y, fitted, 24});
        root_.addSubview(button);
        x += fitted + 8;
    }
    pickFile_.setAction([this](platform::ui::Control&) { pickFile(); });
    logoAutomatic_.setAction([this](platform::ui::Control&) { resetLogo(); });
    logoAutomatic_.setEnabled(storedFor(store.tileLogos(), cwd_) != nullptr);
    noLogo_.setAction([this](platform::ui::Control&) { noLogo(); });

    root_.setFrame({0, 0, width, y + 40});
}

void LookPopover::show(platform::ui::Window& parent, const Rect& anchor) {
    window = &parent;
    dismiss = [this] { popover_.close(); };
    popover_.show(view(), parent, anchor);
}

void LookPopover::finish() {
    if (onChange_) onChange_();
    if (dismiss) dismiss();
}

void LookPopover::pickColour(int index) {
    // The palette of the theme at the time of the click.
    const auto& palette = Tints::current();
    if (index < 0 || index >= static_cast<int>(palette.size())) return;
    Store::shared().setTileColor(cwd_, Tints::hex(palette[static_cast<size_t>(index)]));
    finish();
}

void LookPopover::autoColour() {
    Store::shared().setTileColor(cwd_, std::nullopt);
    finish();
}

void LookPopover::pickCandidate(int index) {
    if (index < 0 || index >= static_cast<int>(candidates_.size())) return;
    Store::shared().setTileLogo(cwd_, candidates_[static_cast<size_t>(index)]);
    finish();
}

void LookPopover::pickFile() {
    platform::ui::FileChooser chooser;
    chooser.message = t("pick_image_msg");
    chooser.initialFolder = cwd_;
    chooser.mimeTypes = chooserTypes();
    std::weak_ptr<LookPopover> weak = weak_from_this();
    chooser.present(window, [weak](std::optional<std::string> file) {
        const auto self = weak.lock();
        if (!self || !file || file->empty()) return;
        Store::shared().setTileLogo(self->cwd_, *file);
        self->finish();
    });
}

void LookPopover::resetLogo() {
    Store::shared().setTileLogo(cwd_, std::nullopt);
    finish();
}

void LookPopover::noLogo() {
    Store::shared().setTileLogo(cwd_, std::string());
    finish();
}

}  // namespace quiltdeck
