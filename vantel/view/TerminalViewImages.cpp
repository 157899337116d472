#include "vantel/view/TerminalView.h"

namespace vantel {

InlineImageView TerminalView::imageView() const {
    return InlineImageView{Size{frame().width, frame().height}, cellDimension_.value_or(Size{}), backingScaleFactor().value_or(1.0)};
}

RowImageRenderer::Geometry TerminalView::imageGeometry() const {
    // A picture still being made: its rectangle in a faint wash of the text colour.
    Rgba placeholder = terminal_ && terminal_->reverseColors ? nativeBg_ : nativeFg_;
    placeholder.alpha *= 0.12;
    return RowImageRenderer::Geometry{cellDimension_.value_or(Size{}), backingScaleFactor().value_or(1.0), placeholder};
}

void TerminalView::createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) {
    InlineImages::createImageFromBitmap(source, imageView(), bytes, width, height);
}

void TerminalView::createImage(Terminal& source, const std::vector<uint8_t>& data, ImageSizeRequest width,
                               ImageSizeRequest height, bool preserveAspectRatio) {
    InlineImages::createImage(source, imageView(), data, width, height, preserveAspectRatio);
}

void TerminalView::insertImage(const platform::gfx::Image& image, ImageSizeRequest width, ImageSizeRequest height,
                               bool preserveAspectRatio) {
    InlineImages::insertImage(*terminal_, imageView(), image, width, height, preserveAspectRatio);
}

}  // namespace vantel
