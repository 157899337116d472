#include "platform/ui/Layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <tuple>

#include "platform/gfx/BoxBlur.h"

namespace platform::ui {

namespace {

double unitFraction(double v, double fallback) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : fallback; }

int pixels(double points, double scale) { return std::max(1, static_cast<int>(std::ceil(points * scale - 1e-9))); }

// Makes a canvas's user space the flipped one of a layer of that height.
void flip(gfx::Canvas& canvas, double height) {
    canvas.translate(0, height);
    canvas.scaleBy(1, -1);
}

uint64_t mix(uint64_t hash, uint64_t value) { return (hash ^ value) * 1099511628211ull; }

uint64_t bitsOf(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

uint64_t signatureOf(const gfx::Path& path) {
    uint64_t hash = 1469598103934665603ull;
    path.forEach([&](const gfx::Path::Element& e) {
        hash = mix(hash, static_cast<uint64_t>(e.verb));
        const int count = e.verb == gfx::Path::Verb::close                                  ? 0
                          : e.verb == gfx::Path::Verb::move || e.verb == gfx::Path::Verb::line ? 2
                                                                                            : 6;
        for (int i = 0; i < count; ++i) hash = mix(hash, bitsOf(e.values[i]));
    });
    return hash;
}

// Where a flipped layer's origin falls on the canvas's device pixels: the whole pixel and the
// fraction past it. None unless the layer's points map to pixels unturned and unmirrored at the
// canvas's scale, y down.
struct Placement {
    int x = 0, y = 0;
    gfx::Point phase;
};

std::optional<Placement> placementOf(gfx::Canvas& canvas) {
    const double s = canvas.scale();
    const gfx::Point o = canvas.userToDevice({0, 0});
    const gfx::Point ux = canvas.userToDevice({1, 0}), uy = canvas.userToDevice({0, 1});
    constexpr double eps = 1e-9;
    if (std::fabs(ux.x - o.x - s) > eps || std::fabs(ux.y - o.y) > eps || std::fabs(uy.x - o.x) > eps ||
        std::fabs(uy.y - o.y - s) > eps || !std::isfinite(o.x) || !std::isfinite(o.y) || std::fabs(o.x) > 1e9 ||
        std::fabs(o.y) > 1e9) {
        return std::nullopt;
    }
    // A fraction within rounding of a whole pixel is that pixel.
    auto whole = [](double v) {
        const double r = std::round(v);
        return std::fabs(v - r) < 1e-6 ? r : std::floor(v);
    };
    const double x = whole(o.x), y = whole(o.y);
    return Placement{static_cast<int>(x), static_cast<int>(y), gfx::Point{o.x - x, o.y - y}};
}

// The whole device pixels that hold a flipped layer of `size` points at `scale`, drawn `phase`
// pixels into its top-left pixel.
gfx::Size phasedPixels(gfx::Size size, double scale, gfx::Point phase) {
    return {std::max(1.0, std::ceil(phase.x + size.width * scale - 1e-6)),
            std::max(1.0, std::ceil(phase.y + size.height * scale - 1e-6))};
}

// Makes the user space of a canvas of those pixels (at scale 1) the layer's.
void placeLayer(gfx::Canvas& canvas, double scale, gfx::Point phase) {
    canvas.translate(phase.x, canvas.size().height - phase.y);
    canvas.scaleBy(scale, -scale);
}

}  // namespace

ShapeLayer::ShadowPiece ShapeLayer::inkedPiece(gfx::Image image) {
    int x0 = image.width, y0 = image.height, x1 = 0, y1 = 0;
    for (int y = 0; y < image.height; ++y) {
        const uint32_t* row = image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        for (int x = 0; x < image.width; ++x) {
            if (row[x] == 0) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x + 1);
            y0 = std::min(y0, y), y1 = std::max(y1, y + 1);
        }
    }
    ShadowPiece piece;
    piece.wholeWidth = image.width, piece.wholeHeight = image.height;
    if (x1 <= x0 || y1 <= y0) return piece;
    // A ring of clear pixels round the ink: sampled past it, the piece gives what the whole gives.
    piece.clearEdges = x0 >= 1 && y0 >= 1 && x1 < image.width && y1 < image.height;
    if (!piece.clearEdges) {
        piece.image = std::move(image);
        return piece;
    }
    piece.x = x0 - 1, piece.y = y0 - 1;
    const int w = x1 + 1 - piece.x, h = y1 + 1 - piece.y;
    piece.image.width = w, piece.image.height = h;
    piece.image.pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = piece.y; y < piece.y + h; ++y) {
        const uint32_t* row = image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        piece.image.pixels.insert(piece.image.pixels.end(), row + piece.x, row + piece.x + w);
    }
    return piece;
}

void drawImageFlipped(gfx::Canvas& canvas, const gfx::Image& image, const gfx::Rect& rect) {
    canvas.save();
    // Back to y up for a moment: the reflection maps the rectangle onto itself.
    canvas.translate(0, rect.y + rect.maxY());
    canvas.scaleBy(1, -1);
    canvas.drawImage(image, rect);
    canvas.restore();
}

// --- GradientLayer -------------------------------------------------------------------------------

GradientLayer::GradientLayer(const Rect& frame) : View(frame) {}

void GradientLayer::setType(Type type) {
    if (type == type_) return;
    type_ = type;
    forget();
    setNeedsDisplay();
}

void GradientLayer::setStops(std::vector<gfx::GradientStop> stops) {
    stops_ = std::move(stops);
    forget();
    setNeedsDisplay();
}

void GradientLayer::setPoints(Point start, Point end) {
    start_ = start;
    end_ = end;
    forget();
    setNeedsDisplay();
}

void GradientLayer::draw(gfx::Canvas& canvas, const Rect&) {
    const Rect box = bounds();
    if (box.isEmpty() || stops_.empty()) return;
    const double scale = canvas.scale();
    const std::optional<Placement> at = placementOf(canvas);
    const std::optional<Point> phase = at ? std::optional<Point>(at->phase) : std::nullopt;
    auto fill = [&](gfx::Canvas& image, const Rect& area) {
        const Point start{start_.x * box.width, start_.y * box.height};
        const Point end{end_.x * box.width, end_.y * box.height};
        if (type_ == Type::axial) {
            image.fillLinearGradient(area, start, end, stops_);
        } else {
            image.fillRadialGradient(area, start, std::fabs(end.x - start.x), std::fabs(end.y - start.y), stops_);
        }
    };
    const Size size{box.width, box.height};
    if (!cache_ || cache_->size != size || cache_->scale != scale || cache_->phase != phase) {
        if (phase) {
            const gfx::Size pixels = phasedPixels(size, scale, *phase);
            gfx::Canvas image(pixels, 1);
            placeLayer(image, scale, *phase);
            // Every pixel the bounds touch, whole: the window's clip to the frame gives the edges
            // their coverage, once.
            fill(image, {-phase->x / scale, -phase->y / scale, pixels.width / scale, pixels.height / scale});
            cache_ = Cache{image.image(), size, scale, phase};
        } else {
            gfx::Canvas image(size, scale);
            flip(image, box.height);
            fill(image, box);
            cache_ = Cache{image.image(), size, scale, phase};
        }
    }
    // In a layer the window made, the layer shows the opacity.
    const double opacity = drawsOwnOpacityNow() ? presentationOpacity() : 1;
    if (at) {
        canvas.drawImageAtPixel(cache_->image, at->x, at->y, opacity);
    } else {
        // Turned or mirrored: through a layer of its own at the opacity.
        if (opacity < 1) canvas.beginTransparencyLayer();
        drawImageFlipped(canvas, cache_->image, box);
        if (opacity < 1) canvas.endTransparencyLayer(opacity);
    }
}

// --- ShapeLayer ----------------------------------------------------------------------------------

ShapeLayer::ShapeLayer(const Rect& frame) : View(frame) {}

void ShapeLayer::setPath(gfx::Path path) {
    path_ = std::move(path);
    pathSignature_ = signatureOf(path_);
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setFillColor(std::optional<gfx::Rgba> color) {
    if (color == fill_) return;
    fill_ = color;
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setStrokeColor(std::optional<gfx::Rgba> color) {
    if (color == stroke_) return;
    stroke_ = color;
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setLineWidth(double width) {
    width = std::isfinite(width) ? std::max(0.0, width) : lineWidth_;
    if (width == lineWidth_) return;
    lineWidth_ = width;
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setLineCap(gfx::StrokeStyle::Cap cap) {
    if (cap == lineCap_) return;
    lineCap_ = cap;
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setStrokeStart(double fraction) {
    strokeStart_ = unitFraction(fraction, strokeStart_);
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setStrokeEnd(double fraction) {
    strokeEnd_ = unitFraction(fraction, strokeEnd_);
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setRotation(double radians) {
    if (!std::isfinite(radians) || radians == rotation_) return;
    rotation_ = radians;
    picture_.reset();
    setNeedsDisplay();
}

void ShapeLayer::setShadow(std::optional<Shadow> shadow) {
    if (shadow == shadow_) return;
    shadow_ = shadow;
    picture_.reset();
    setNeedsDisplay();
}

double ShapeLayer::presentationStrokeStart() const {
    return unitFraction(presentationValue(strokeStartKey).value_or(strokeStart_), strokeStart_);
}

double ShapeLayer::presentationStrokeEnd() const {
    return unitFraction(presentationValue(strokeEndKey).value_or(strokeEnd_), strokeEnd_);
}

double ShapeLayer::presentationRotation() const {
    const double value = presentationValue(rotationKey).value_or(rotation_);
    return std::isfinite(value) ? value : rotation_;
}

void ShapeLayer::draw(gfx::Canvas& canvas, const Rect&) {
    const double start = presentationStrokeStart(), end = presentationStrokeEnd();
    if (end <= start || path_.isEmpty()) return;
    const gfx::Path shape = start <= 0 && end >= 1 ? path_ : path_.trimmed(start, end);
    const double rotation = presentationRotation();
    // In a layer the window made, the layer shows the opacity.
    const double opacity = drawsOwnOpacityNow() ? presentationOpacity() : 1;
    const bool moving = presentationValue(rotationKey) || presentationValue(strokeStartKey) ||
                        presentationValue(strokeEndKey);
    const std::optional<Placement> at = moving ? std::nullopt : placementOf(canvas);
    if (!at) {
        if (opacity < 1) canvas.beginTransparencyLayer();
        drawTurned(canvas, canvas.scale(), shape, start, end, rotation);
        if (opacity < 1) canvas.endTransparencyLayer(opacity);
        return;
    }
    // Still: drawn once into pixels of its own and composited from them until something changes.
    const Rect box = bounds();
    const Size size{box.width, box.height};
    const double scale = canvas.scale();
    if (!picture_ || picture_->size != size || picture_->scale != scale || picture_->phase != at->phase ||
        picture_->start != start || picture_->end != end || picture_->rotation != rotation) {
        gfx::Canvas image(phasedPixels(size, scale, at->phase), 1);
        placeLayer(image, scale, at->phase);
        drawTurned(image, scale, shape, start, end, rotation);
        picture_ = Picture{image.image(), size, scale, at->phase, start, end, rotation};
    }
    canvas.drawImageAtPixel(picture_->image, at->x, at->y, opacity);
}

void ShapeLayer::drawTurned(gfx::Canvas& canvas, double scale, const gfx::Path& shape, double start, double end,
                            double rotation) const {
    const Rect box = bounds();
    canvas.save();
    // Counter-clockwise on screen: the canvas is y down here.
    canvas.translate(box.width / 2, box.height / 2);
    canvas.rotate(-rotation);
    canvas.translate(-box.width / 2, -box.height / 2);
    if (shadow_ && shadow_->opacity > 0 && shadow_->color.alpha > 0) {
        // Only the piece with ink: turned, every pixel is sampled, and most of the bounds are clear.
        const ShadowPiece& piece = shadowImage(shape, start, end, scale);
        if (!piece.image.isEmpty()) {
            const double sx = box.width / piece.wholeWidth, sy = box.height / piece.wholeHeight;
            const Rect rect{box.x + piece.x * sx, box.y + piece.y * sy, piece.image.width * sx, piece.image.height * sy};
            if (piece.clearEdges) {
                canvas.save();
                canvas.translate(0, rect.y + rect.maxY());
                canvas.scaleBy(1, -1);
                canvas.paintImage(piece.image, rect);
                canvas.restore();
            } else {
                drawImageFlipped(canvas, piece.image, rect);
            }
        }
    }
    drawShape(canvas, shape);
    canvas.restore();
}

void ShapeLayer::drawShape(gfx::Canvas& canvas, const gfx::Path& shape) const {
    if (fill_) canvas.fill(shape, *fill_);
    if (stroke_ && lineWidth_ > 0) {
        gfx::StrokeStyle style;
        style.width = lineWidth_;
        style.cap = lineCap_;
        style.join = gfx::StrokeStyle::Join::round;
        canvas.stroke(shape, *stroke_, style);
    }
}

const ShapeLayer::ShadowPiece& ShapeLayer::shadowImage(const gfx::Path& shape, double start, double end,
                                                       double scale) const {
    // The stretch counts in 1/256ths: a blurred copy hides the difference, and a shape that
    // breathes between two lengths comes back to the same few copies.
    auto step = [](double v) { return static_cast<int>(std::lround(v * 256)); };
    const Rect box = bounds();
    gfx::Rgba color = shadow_->color;
    color.alpha *= std::clamp(shadow_->opacity, 0.0, 1.0);
    using Key = std::tuple<uint64_t, int, int, int, int, int, uint64_t, uint64_t, uint64_t, uint32_t, uint64_t>;
    const Key key{pathSignature_,
                  step(start),
                  step(end),
                  pixels(box.width, scale),
                  pixels(box.height, scale),
                  static_cast<int>(lineCap_),
                  bitsOf(scale),
                  bitsOf(lineWidth_),
                  bitsOf(shadow_->radius),
                  color.premultipliedArgb(),
                  (fill_ ? 1u : 0u) | (stroke_ ? 2u : 0u)};
    static std::list<std::pair<Key, ShadowPiece>> cache;
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->first != key) continue;
        cache.splice(cache.begin(), cache, it);
        return cache.front().second;
    }
    gfx::Canvas canvas({box.width, box.height}, scale);
    flip(canvas, box.height);
    if (fill_) canvas.fill(shape, color);
    if (stroke_ && lineWidth_ > 0) {
        gfx::StrokeStyle style;
        style.width = lineWidth_;
        style.cap = lineCap_;
        style.join = gfx::StrokeStyle::Join::round;
        canvas.stroke(shape, color, style);
    }
    gfx::Image image = canvas.image();
    gfx::boxBlur(image, std::max(1, static_cast<int>(std::lround(shadow_->radius * scale / 2))), 3);
    cache.emplace_front(key, inkedPiece(std::move(image)));
    if (cache.size() > 160) cache.pop_back();
    return cache.front().second;
}

// --- ImageLayer ----------------------------------------------------------------------------------

ImageLayer::ImageLayer(const Rect& frame) : View(frame) {}

void ImageLayer::setImage(std::optional<gfx::Image> image) {
    if (image && image->isEmpty()) image.reset();
    image_ = std::move(image);
    setNeedsDisplay();
}

View::Rect ImageLayer::imageRect() const {
    const Rect box = bounds();
    if (!image_ || box.isEmpty()) return {};
    const double fit = std::min(box.width / image_->width, box.height / image_->height);
    const double w = image_->width * fit, h = image_->height * fit;
    return {(box.width - w) / 2, (box.height - h) / 2, w, h};
}

void ImageLayer::draw(gfx::Canvas& canvas, const Rect&) {
    const Rect rect = imageRect();
    if (!rect.isEmpty()) drawImageFlipped(canvas, *image_, rect);
}

// --- TextLayer -----------------------------------------------------------------------------------

TextLayer::TextLayer(const Rect& frame) : View(frame) {}

void TextLayer::setString(std::string string) {
    if (string == string_ && !richText_) return;
    string_ = std::move(string);
    richText_.reset();
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setFont(gfx::InterfaceFont font) {
    if (font == font_) return;
    font_ = std::move(font);
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setForegroundColor(gfx::Rgba color) {
    if (color == color_) return;
    color_ = color;
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setAlignment(TextAlignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setRichText(RichText text) {
    if (richText_ == text) return;
    string_ = text.string();
    richText_ = std::move(text);
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setTruncation(Truncation truncation) {
    if (truncation == truncation_) return;
    truncation_ = truncation;
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setMaximumLines(int lines) {
    lines = std::max(lines, 1);
    if (lines == maximumLines_) return;
    maximumLines_ = lines;
    laid_.reset();
    setNeedsDisplay();
}

void TextLayer::setLinesPerParagraph(int lines) {
    lines = std::max(lines, 0);
    if (lines == linesPerParagraph_) return;
    linesPerParagraph_ = lines;
    laid_.reset();
    setNeedsDisplay();
}

View::Size TextLayer::fittingSize() const {
    TextLayoutOptions options;
    options.wraps = false;
    return shownText().measure(options);
}

RichText TextLayer::shownText() const {
    if (richText_) return *richText_;
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = color_;
    attributes.paragraph.alignment = alignment_;
    return RichText(string_, attributes);
}

void TextLayer::draw(gfx::Canvas& canvas, const Rect&) {
    if (string_.empty()) return;
    TextLayoutOptions options;
    options.width = bounds().width;
    options.wraps = maximumLines_ > 1;
    options.truncation = truncation_;
    options.maximumLines = maximumLines_ > 1 ? maximumLines_ : truncation_ == Truncation::none ? 0 : 1;
    options.linesPerParagraph = linesPerParagraph_;
    if (!laid_ || laidFor_ != options) {
        laid_ = shownText().lay(options);
        laidFor_ = options;
    }
    RichText::drawLaid(canvas, bounds(), true, *laid_);
}

}  // namespace platform::ui
