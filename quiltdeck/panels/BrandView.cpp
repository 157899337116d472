#include "quiltdeck/panels/BrandView.h"

#include <algorithm>
#include <string>

#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"

namespace quiltdeck {

using platform::gfx::FontWeight;

BrandView::BrandView(const Rect& frame) : View(frame) {
    applyTheme();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(Theme::didChange), [this](const platform::runtime::Notification&) { applyTheme(); });
}

MarkStyle BrandView::barStyle(std::string_view stored) {
    const std::optional<MarkStyle> style = markStyleFrom(stored);
    return style == MarkStyle::tiles || style == MarkStyle::dots ? *style : MarkStyle::converge;
}

void BrandView::applyTheme() {
    ink_ = PanelColors::strongText();
    style_ = barStyle(Store::shared().markStyle());
    platform::ui::TextAttributes attributes;
    attributes.color = ink_;
    attributes.kern = -0.1;
    attributes.font = Fonts::ui(13.5, FontWeight::bold);
    platform::ui::RichText word("Quilt", attributes);
    attributes.font = Fonts::ui(13.5, FontWeight::regular);
    word.append("deck", attributes);
    word_ = std::move(word);
    setNeedsDisplay();
}

void BrandView::setShowsWord(bool shows) {
    if (showsWord_ == shows) return;
    showsWord_ = shows;
    setNeedsDisplay();
}

double BrandView::inkRight() const {
    const Rect glyph = glyphFrame();
    // The mark's own margin lies outside its ink: it ends where the word would start.
    return showsWord_ ? wordFrame().maxX() : std::min(glyph.maxX(), wordX);
}

platform::ui::View::Rect BrandView::glyphFrame() const { return {glyphX, (frame().height - glyphSide) / 2, glyphSide, glyphSide}; }

platform::ui::View::Rect BrandView::wordFrame() const {
    const Size size = word_.measure();
    return {wordX, (frame().height - size.height) / 2, size.width, size.height};
}

void BrandView::draw(platform::gfx::Canvas& canvas, const Rect&) {
    const Rect glyph = glyphFrame();
    const double scale = glyphSide / markSize;
    canvas.save();
    // The mark is drawn y-up, into a view that counts y downwards.
    canvas.translate(glyph.x, glyph.maxY());
    canvas.scaleBy(scale, -scale);
    Mark::draw(canvas, markSize, ink_, std::nullopt, style_);
    canvas.restore();
    if (showsWord_) word_.draw(canvas, wordFrame(), true, {});
}

}  // namespace quiltdeck
