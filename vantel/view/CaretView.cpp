#include "vantel/view/CaretView.h"

#include <cmath>
#include <utility>
#include <vector>

#include "platform/ui/SystemSettings.h"
#include "vantel/core/UnicodeUtil.h"
#include "vantel/view/GlyphSlotFit.h"
#include "vantel/view/PowerlineRenderer.h"
#include "vantel/view/ShapedLineCache.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::gfx::Rgba;

namespace {

bool isBlinking(CursorStyle style) {
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}

bool isBlock(CursorStyle style) { return style == CursorStyle::blinkBlock || style == CursorStyle::steadyBlock; }
bool isUnderline(CursorStyle style) {
    return style == CursorStyle::blinkUnderline || style == CursorStyle::steadyUnderline;
}

std::u16string utf16(const std::u32string& text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c > 0xFFFF) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

}  // namespace

CaretView::CaretView(const Rect& frame, CursorStyle cursorStyle, TerminalView* terminal)
    : View(frame), style(cursorStyle), terminal_(terminal) {
    setNeedsDisplay();
}

bool CaretView::currentFocus() const { return tracksFocus && terminal_ ? terminal_->hasFocus() : true; }

CaretView::Content CaretView::contentFor(const CharData& ch, TerminalView* terminal) {
    Content content;
    content.glyphColumnWidth = std::max(1, static_cast<int>(ch.width));
    const bool visible = !ch.attribute.style.contains(CharacterStyle::blink) || !terminal || terminal->textBlinkVisible();
    std::u32string scalars(1, U' ');
    if (visible) {
        if (ch.code > 0 && PowerlineRenderer::glyph(static_cast<uint32_t>(ch.code))) {
            content.powerlineCodePoint = static_cast<uint32_t>(ch.code);
        }
        if (terminal && ch.code > 0) {
            scalars = UnicodeUtil::textPresentationAdjusted(terminal->getTerminal().getCharacter(ch));
        }
    }
    if (scalars.empty()) scalars.push_back(U' ');
    TextAttributes attributes;
    if (terminal) {
        attributes = terminal->getAttributedValue(ch.attribute, terminal->effectiveCaretColor(),
                                                  terminal->effectiveCaretTextColor());
    }
    content.text.append(utf16(scalars), attributes);
    return content;
}

void CaretView::setText(const CharData& ch) {
    Content content = contentFor(ch, terminal_);
    // The caret follows every redraw pass: it repaints only when what it shows changed.
    if (hasText_ && content.text == text_ && content.glyphColumnWidth == glyphColumnWidth_ &&
        content.powerlineCodePoint == powerlineCodePoint_) {
        return;
    }
    text_ = std::move(content.text);
    glyphColumnWidth_ = content.glyphColumnWidth;
    powerlineCodePoint_ = content.powerlineCodePoint;
    hasText_ = true;
    setNeedsDisplay();
}

void CaretView::updateCursorStyle() {
    const bool focus = currentFocus();
    if (isBlinking(style)) {
        // A hidden caret (the GPU renderer draws the cursor) has nothing to blink; nor one the
        // desktop holds still.
        updateAnimation(focus && !isHidden() && (!terminal_ || terminal_->caretMayBlink()));
    } else {
        removeAllAnimations();
        setOpacity(1);
    }
    setNeedsDisplay();
}

void CaretView::updateAnimation(bool blink) {
    removeAllAnimations();
    setOpacity(1);
    // Until the desktop's blink timeout: the fade then ends by itself, and nothing ticks.
    const double left = (terminal_ ? terminal_->caretBlinkSecondsLeft() : std::nullopt)
                            .value_or(platform::ui::Animation::infinite);
    if (!blink || left <= 0) return;
    // The fade in even steps of opacity, each when the ease-in curve reaches it: only then is the
    // caret's own rectangle drawn, a few times a second rather than at every frame the display
    // could show.
    static const auto [values, times] = [] {
        std::vector<double> opacities{1}, at{0};
        for (int step = 1; step <= blinkSteps; ++step) {
            const double faded = double(step) / blinkSteps;
            // When the curve has faded this far: its inverse, by halving.
            double low = 0, high = 1;
            for (int i = 0; i < 40; ++i) {
                const double middle = (low + high) / 2;
                (platform::ui::TimingFunction::easeIn().apply(middle) < faded ? low : high) = middle;
            }
            at.push_back(high);
            opacities.push_back(1 - faded);
        }
        return std::pair{opacities, at};
    }();
    const double period = platform::ui::SystemSettings::caretBlink().period;
    platform::ui::Animation fade = platform::ui::Animation::keyFrames(values, times, period / 2);
    fade.discrete = true;
    fade.autoreverses = true;
    fade.repeatCount = left / period;
    fade.decorative = true;
    addAnimation(blinkAnimationKey, std::move(fade));
}

void CaretView::draw(platform::gfx::Canvas& canvas, const Rect&) { drawCursor(canvas, currentFocus()); }

void CaretView::drawCursor(platform::gfx::Canvas& canvas, bool hasFocus) {
    if (!hasText_ || !terminal_) return;
    const Rect b = bounds();
    canvas.save();
    // No clearing: the window has just repainted the terminal view beneath, and a bar or an
    // underline leaves the rest of its cell (and the character in it) showing.
    canvas.clip(b);
    const Rgba color = terminal_->effectiveCaretColor();
    if (!hasFocus) {
        // Every style shows the same hollow box without focus, and no character.
        platform::gfx::Path box;
        box.addRect(b);
        platform::gfx::StrokeStyle stroke;
        stroke.width = hollowLineWidth;
        canvas.stroke(box, color, stroke);
        canvas.restore();
        return;
    }
    Rect shape = b;
    if (isUnderline(style)) shape = Rect{0, 0, b.width, 2};
    else if (!isBlock(style)) shape = Rect{0, 0, 2, b.height};
    canvas.fill(shape, color);
    if (!isBlock(style)) {
        canvas.restore();
        return;
    }
    const Rgba textColor = terminal_->effectiveCaretTextColor();
    const std::optional<platform::gfx::Size> cell = terminal_->cellDimension();
    if (powerlineCodePoint_ && terminal_->customBlockGlyphs()) {
        const double scale = terminal_->backingScale();
        if (scale > 0 && cell) {
            PowerlineRenderItem item{0, glyphColumnWidth_, *powerlineCodePoint_, textColor};
            PowerlineRenderer::drawItems({&item, 1}, {0, 0}, BufferLine::RenderLineMode::single,
                                         {b.width / glyphColumnWidth_, b.height}, scale, canvas);
        }
        canvas.restore();
        return;
    }
    const platform::gfx::Font& normal = *terminal_->fontSet().normal;
    const double baseline = std::ceil(normal.descent() + normal.leading());
    std::shared_ptr<const ShapedLine> shaped = cachedShapedLine(text_);
    std::vector<platform::gfx::GlyphPlacement> placements;
    canvas.setFontSmoothing(terminal_->fontSmoothing());
    for (const ShapedLine::Run& run : shaped->runs) {
        const platform::gfx::GlyphRun& glyphs = run.glyphs;
        if (!glyphs.font) continue;
        placements.clear();
        for (const platform::gfx::ShapedGlyph& g : glyphs.glyphs) {
            GlyphSlotFit fit = glyphColumnWidth_ < 2
                                   ? GlyphSlotFit{}
                                   : glyphSlotFit(*glyphs.font, g.glyph, glyphColumnWidth_, cell, normal);
            placements.push_back({g.glyph, {g.x + fit.dx, baseline + g.y + fit.dy}, fit.scale});
        }
        canvas.drawGlyphs(*glyphs.font, placements, textColor);
    }
    canvas.restore();
}

}  // namespace vantel
