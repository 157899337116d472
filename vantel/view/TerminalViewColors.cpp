#include "vantel/view/ColorUtilities.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

int paletteIndex(int code, bool isBold, bool useBrightColors) {
    if (useBrightColors) {
        // Bold brightens the first seven colours; bold white stays white.
        return isBold && code <= 6 ? code + 8 : code;
    }
    // Bright colours show as their normal counterparts; the 240 above them keep their own.
    return code >= 8 && code <= 15 ? code - 8 : code;
}

}  // namespace

TerminalView::Rgba TerminalView::mapColor(const Attribute::Color& color, bool isFg, bool isBold, bool useBright) {
    switch (color.kind) {
    case Attribute::Color::Kind::ansi256: {
        int index = paletteIndex(color.code(), isBold, useBright);
        std::optional<Rgba>& slot = colors_[static_cast<size_t>(index)];
        if (!slot) {
            const std::vector<Color>& palette = terminal_->ansiColors;
            slot = static_cast<size_t>(index) < palette.size() ? makeRgba(palette[static_cast<size_t>(index)])
                                                               : effectiveNativeForegroundColor();
        }
        return *slot;
    }
    case Attribute::Color::Kind::trueColor: {
        if (const Rgba* found = trueColors_.find(color)) return *found;
        return trueColors_.insert(color, Rgba::fromBytes(color.red, color.green, color.blue));
    }
    case Attribute::Color::Kind::defaultInvertedColor: {
        Rgba inverted = isFg ? effectiveNativeBackgroundColor() : effectiveNativeForegroundColor();
        inverted.alpha = 1.0;
        return inverted;
    }
    case Attribute::Color::Kind::defaultColor:
    case Attribute::Color::Kind::absent:
        break;
    }
    // The default colours as they are: a translucent background stays translucent.
    return isFg ? effectiveNativeForegroundColor() : effectiveNativeBackgroundColor();
}

TerminalView::Rgba TerminalView::effectiveNativeForegroundColor() const {
    return terminal_ && terminal_->reverseColors ? nativeBg_ : nativeFg_;
}

TerminalView::Rgba TerminalView::effectiveNativeBackgroundColor() const {
    return terminal_ && terminal_->reverseColors ? nativeFg_ : nativeBg_;
}

TerminalView::Rgba TerminalView::effectiveCaretColor() const {
    if (!cursorColorIsDefault_ && caretView_) return caretView_->caretColor;
    return effectiveNativeForegroundColor();
}

TerminalView::Rgba TerminalView::effectiveCaretTextColor() const {
    if (cursorTextColorIsDefault_) return effectiveNativeBackgroundColor();
    if (caretView_ && caretView_->caretTextColor) return *caretView_->caretTextColor;
    return effectiveNativeForegroundColor();
}

void TerminalView::colorsChanged() {
    urlAttributes_.clear();
    attributes_.clear();
    layerColorChanged();
    terminal_->updateFullScreen();
    queuePendingDisplay();
}

void TerminalView::installColors(const std::vector<Color>& colors) {
    if (colors.size() == 16) {
        terminal_->installedColors = colors;
        terminal_->rebuildAnsiPalette(false);
    }
    colors_.fill(std::nullopt);
    colorsChanged();
}

void TerminalView::setForegroundColor(Terminal&, const Color& color) {
    setNativeForegroundColor(makeRgba(color));
    colorsChanged();
}

void TerminalView::setBackgroundColor(Terminal&, const Color& color) {
    setNativeBackgroundColor(makeRgba(color));
    colorsChanged();
}

void TerminalView::colorChanged(Terminal&, std::optional<int> index) {
    if (!index) {
        colors_.fill(std::nullopt);
    } else if (*index >= 0 && *index < 256) {
        colors_[static_cast<size_t>(*index)].reset();
    }
    colorsChanged();
}

void TerminalView::setCursorColor(Terminal&, const std::optional<Color>& color, const std::optional<Color>& textColor) {
    if (!color) {
        if (caretView_) {
            cursorColorIsDefault_ = true;
            caretView_->caretColor = caretView_->defaultCaretColor;
            caretView_->bgColor = caretView_->caretColor;
            caretView_->setNeedsDisplay();
        }
    } else {
        setCaretColor(makeRgba(*color));
    }
    if (!textColor) {
        if (caretView_) {
            cursorTextColorIsDefault_ = true;
            caretView_->caretTextColor = caretView_->defaultCaretTextColor;
            caretView_->setNeedsDisplay();
        }
    } else {
        setCaretTextColor(makeRgba(*textColor));
    }
    gpu_->queueGpuDisplay();
}

}  // namespace vantel
