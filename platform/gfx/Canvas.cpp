#include "platform/gfx/Canvas.h"

#include <cairo.h>
#include <pango/pangocairo.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gfx/BoxBlur.h"
#include "platform/gfx/GlyphBlitter.h"
#include "platform/gfx/GlyphCache.h"
#include "platform/gfx/Scale.h"

namespace platform::gfx {

namespace {

double unit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

// Cairo passes NaN channels through; they must never reach a pixel.
void setSource(cairo_t* cr, Rgba c) { cairo_set_source_rgba(cr, unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha)); }

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

int pixelsFor(double points, double scale) {
    double pixels = std::ceil(points * scale - 1e-9);
    return static_cast<int>(std::clamp(pixels, 0.0, static_cast<double>(Canvas::maxPixelSide)));
}

bool integral(double v) { return std::fabs(v - std::round(v)) < 1e-6; }

// The pixel Cairo stores for an opaque colour: each channel to 16 bits, rounded, then its top byte.
uint32_t opaquePixel(Rgba c) {
    auto byte = [](double v) { return static_cast<uint32_t>(static_cast<uint16_t>(unit(v) * 65535.0 + 0.5)) >> 8; };
    return 0xFF000000u | byte(c.red) << 16 | byte(c.green) << 8 | byte(c.blue);
}

// A window's surface is written all over by every frame, and by its first one for the first time.
// It gets a mapping of its own, made resident when it is made (instead of thousands of page
// faults in that frame) and left out of children forked to start programs: a fork would otherwise
// mark every page copy-on-write, and the next frame would fault each one in again. Smaller canvases
// keep Cairo's own allocation.
constexpr size_t residentSurfaceBytes = size_t{4} << 20;

#ifdef MADV_POPULATE_WRITE
constexpr int populateWrite = MADV_POPULATE_WRITE;
#else
constexpr int populateWrite = 23;
#endif

struct Mapping {
    void* start;
    size_t length;
};
const cairo_user_data_key_t mappingKey{};

void unmap(void* data) {
    auto* mapping = static_cast<Mapping*>(data);
    ::munmap(mapping->start, mapping->length);
    delete mapping;
}

// Null when the surface is small or the memory cannot be mapped.
cairo_surface_t* createResidentSurface(int width, int height) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0 || height <= 0) return nullptr;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    if (bytes < residentSurfaceBytes) return nullptr;
    // Fresh anonymous pages are zero: the surface starts transparent, as Cairo's own would.
    void* start = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) return nullptr;
    ::madvise(start, bytes, MADV_DONTFORK);
    // Older systems refuse it: the pages then fault in as they are drawn.
    ::madvise(start, bytes, populateWrite);
    auto* mapping = new Mapping{start, bytes};
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(static_cast<unsigned char*>(start), CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(surface, &mappingKey, mapping, unmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        unmap(mapping);
        return nullptr;
    }
    return surface;
}

}  // namespace

Canvas::Canvas(Size size, double scale, Storage storage) : Canvas(size, scale, SurfaceMaker{}, storage) {}

Canvas::Canvas(Size size, double scale, const SurfaceMaker& make, Storage storage) {
    scale_ = usableScale(scale);
    size_ = Size{std::isfinite(size.width) && size.width > 0 ? size.width : 0.0,
                 std::isfinite(size.height) && size.height > 0 ? size.height : 0.0};
    pixelWidth_ = pixelsFor(size_.width, scale_);
    pixelHeight_ = pixelsFor(size_.height, scale_);
    if (cairo_surface_t* image = make ? make(pixelWidth_, pixelHeight_) : nullptr) {
        double sx = 0, sy = 0;
        if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) cairo_surface_get_device_scale(image, &sx, &sy);
        const bool fits = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
                          cairo_surface_get_type(image) == CAIRO_SURFACE_TYPE_IMAGE &&
                          cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32 &&
                          cairo_image_surface_get_width(image) == pixelWidth_ &&
                          cairo_image_surface_get_height(image) == pixelHeight_ && sx == 1 && sy == 1 &&
                          (pixelWidth_ == 0 || pixelHeight_ == 0 || cairo_image_surface_get_data(image));
        if (fits) surface_ = image;
        else cairo_surface_destroy(image);
    }
    if (!surface_ && storage == Storage::resident) surface_ = createResidentSurface(pixelWidth_, pixelHeight_);
    if (!surface_) surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_);
    cairo_ = cairo_create(surface_);
    // The one place where y-up points become device pixels.
    cairo_matrix_t base;
    cairo_matrix_init(&base, scale_, 0, 0, -scale_, 0, size_.height * scale_);
    cairo_set_matrix(cairo_, &base);
    state_.push_back(State{0, 0, pixelWidth_, pixelHeight_});
}

Canvas::~Canvas() {
    cairo_destroy(cairo_);
    cairo_surface_destroy(surface_);
}

uint32_t Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth_ || y >= pixelHeight_) return 0;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride)[x];
}

Image Canvas::copyPixels(int x, int y, int width, int height) const {
    Image out;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + std::max(width, 0), pixelWidth_), y1 = std::min(y + std::max(height, 0), pixelHeight_);
    if (x1 <= x0 || y1 <= y0) return out;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    out.width = x1 - x0;
    out.height = y1 - y0;
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    for (int row = 0; row < out.height; ++row) {
        const auto* line = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y0 + row) * stride) + x0;
        std::copy(line, line + out.width, out.pixels.begin() + static_cast<ptrdiff_t>(row) * out.width);
    }
    return out;
}

void Canvas::readPixels(int x, int y, int width, int height, uint32_t* out, ptrdiff_t stride) const {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + std::max(width, 0), pixelWidth_), y1 = std::min(y + std::max(height, 0), pixelHeight_);
    if (!out || x1 <= x0 || y1 <= y0) return;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int surfaceStride = cairo_image_surface_get_stride(surface_);
    for (int row = y0; row < y1; ++row) {
        const auto* line = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(row) * surfaceStride) + x0;
        std::memcpy(out + (row - y) * stride + (x0 - x), line, static_cast<size_t>(x1 - x0) * 4);
    }
}

Image Canvas::downsampledPixels(int x, int y, int width, int height, int factor) const {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + std::max(width, 0), pixelWidth_), y1 = std::min(y + std::max(height, 0), pixelHeight_);
    if (x1 <= x0 || y1 <= y0) return {};
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const auto* first = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y0) * stride) + x0;
    return downsampled(first, stride / 4, x1 - x0, y1 - y0, factor);
}

bool Canvas::writePng(const std::string& path) const {
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

Image Canvas::image() const {
    Image image;
    image.width = pixelWidth_;
    image.height = pixelHeight_;
    image.pixels.resize(static_cast<size_t>(pixelWidth_) * static_cast<size_t>(pixelHeight_));
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < pixelHeight_; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        std::copy(row, row + pixelWidth_, image.pixels.begin() + static_cast<ptrdiff_t>(y) * pixelWidth_);
    }
    return image;
}

void Canvas::save() {
    cairo_save(cairo_);
    state_.push_back(state_.back());
}

void Canvas::restore() {
    if (state_.size() < 2) return;
    cairo_restore(cairo_);
    state_.pop_back();
}

void Canvas::beginTransparencyLayer() {
    save();
    cairo_push_group(cairo_);
    // Glyphs must land in the group, not be blitted into the surface beneath it.
    state_.back().clipIsBox = false;
    cleared_.reset();
}

void Canvas::endTransparencyLayer(double opacity) {
    if (state_.size() < 2) return;
    cairo_pop_group_to_source(cairo_);
    cairo_paint_with_alpha(cairo_, std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0);
    restore();
    cleared_.reset();
}

// Non-finite or degenerate transforms would put Cairo into its error state for good, so they are ignored.
void Canvas::translate(double dx, double dy) {
    if (std::isfinite(dx) && std::isfinite(dy)) cairo_translate(cairo_, dx, dy);
}

void Canvas::scaleBy(double sx, double sy) {
    if (std::isfinite(sx) && std::isfinite(sy) && sx != 0 && sy != 0) cairo_scale(cairo_, sx, sy);
}

void Canvas::rotate(double radians) {
    if (std::isfinite(radians)) cairo_rotate(cairo_, radians);
}

Point Canvas::userToDevice(Point p) const {
    cairo_user_to_device(cairo_, &p.x, &p.y);
    return p;
}

void Canvas::clip(const Rect& rect) {
    if (!finite(rect)) return;
    cairo_rectangle(cairo_, rect.x, rect.y, std::max(0.0, rect.width), std::max(0.0, rect.height));
    cairo_clip(cairo_);
    State& s = state_.back();
    cairo_matrix_t m;
    cairo_get_matrix(cairo_, &m);
    Point a = userToDevice({rect.x, rect.y}), b = userToDevice({rect.maxX(), rect.maxY()});
    if (m.xy != 0 || m.yx != 0 || !integral(a.x) || !integral(a.y) || !integral(b.x) || !integral(b.y)) {
        s.clipIsBox = false;
        return;
    }
    auto clamp = [](double v) { return static_cast<int>(std::clamp(std::round(v), -1e9, 1e9)); };
    s.clipX0 = std::max(s.clipX0, clamp(std::min(a.x, b.x)));
    s.clipX1 = std::min(s.clipX1, clamp(std::max(a.x, b.x)));
    s.clipY0 = std::max(s.clipY0, clamp(std::min(a.y, b.y)));
    s.clipY1 = std::min(s.clipY1, clamp(std::max(a.y, b.y)));
    if (rect.width <= 0 || rect.height <= 0) s.clipX1 = s.clipX0;
}

void Canvas::clip(std::span<const Rect> rects) {
    if (rects.size() == 1) {
        clip(rects.front());
        return;
    }
    cairo_new_path(cairo_);
    for (const Rect& r : rects) {
        if (finite(r) && !r.isEmpty()) cairo_rectangle(cairo_, r.x, r.y, r.width, r.height);
    }
    cairo_clip(cairo_);
    state_.back().clipIsBox = false;
}

void Canvas::clip(const Path& path) {
    if (path.isEmpty()) return;
    addPath(path);
    cairo_clip(cairo_);
    state_.back().clipIsBox = false;
}

void Canvas::setAntialias(bool on) {
    cairo_set_antialias(cairo_, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    state_.back().antialias = on;
}

std::optional<std::array<int, 4>> Canvas::deviceBox(const Rect& rect) const {
    const State& s = state_.back();
    cairo_matrix_t m;
    cairo_get_matrix(cairo_, &m);
    if (!s.clipIsBox || m.xy != 0 || m.yx != 0) return std::nullopt;
    Point a = userToDevice({rect.x, rect.y}), b = userToDevice({rect.maxX(), rect.maxY()});
    if (!integral(a.x) || !integral(a.y) || !integral(b.x) || !integral(b.y)) return std::nullopt;
    auto pixel = [](double v) { return static_cast<int>(std::clamp(std::round(v), -1e9, 1e9)); };
    std::array<int, 4> box{std::max(s.clipX0, pixel(std::min(a.x, b.x))), std::max(s.clipY0, pixel(std::min(a.y, b.y))),
                           std::min(s.clipX1, pixel(std::max(a.x, b.x))), std::min(s.clipY1, pixel(std::max(a.y, b.y)))};
    if (box[2] < box[0]) box[2] = box[0];
    if (box[3] < box[1]) box[3] = box[1];
    return box;
}

void Canvas::clear(const Rect& rect) {
    if (!finite(rect) || rect.isEmpty()) return;
    uint32_t color = state_.back().clearColor.premultipliedArgb();
    std::optional<std::array<int, 4>> box = deviceBox(rect);
    if (box && cleared_ && cleared_->color == color && (*box)[0] >= cleared_->box[0] && (*box)[1] >= cleared_->box[1] &&
        (*box)[2] <= cleared_->box[2] && (*box)[3] <= cleared_->box[3]) {
        return;
    }
    cairo_save(cairo_);
    cairo_set_operator(cairo_, CAIRO_OPERATOR_SOURCE);
    setSource(cairo_, state_.back().clearColor);
    cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cairo_);
    cairo_restore(cairo_);
    cleared_.reset();
    if (box) cleared_ = ClearedBox{*box, color};
}

void Canvas::replacePixels(const Canvas& source, int sourceX, int sourceY, int width, int height, int x, int y) {
    // Cut at this canvas, then at the source, moving both corners together.
    const int left = std::max({0, -x, -sourceX}), up = std::max({0, -y, -sourceY});
    x += left, sourceX += left, width -= left;
    y += up, sourceY += up, height -= up;
    width = std::min({width, pixelWidth_ - x, source.pixelWidth_ - sourceX});
    height = std::min({height, pixelHeight_ - y, source.pixelHeight_ - sourceY});
    if (&source == this || width <= 0 || height <= 0) return;
    cleared_.reset();
    cairo_surface_flush(surface_);
    cairo_surface_flush(source.surface_);
    unsigned char* to = cairo_image_surface_get_data(surface_);
    const unsigned char* from = cairo_image_surface_get_data(source.surface_);
    const ptrdiff_t toStride = cairo_image_surface_get_stride(surface_);
    const ptrdiff_t fromStride = cairo_image_surface_get_stride(source.surface_);
    for (int row = 0; row < height; ++row) {
        std::memcpy(to + (y + row) * toStride + x * 4, from + (sourceY + row) * fromStride + sourceX * 4,
                    static_cast<size_t>(width) * 4);
    }
    cairo_surface_mark_dirty_rectangle(surface_, x, y, width, height);
}

void Canvas::replacePixels(const uint32_t* source, ptrdiff_t stride, int sourceX, int sourceY, int width, int height, int x,
                           int y) {
    const int left = std::max(0, -x), up = std::max(0, -y);
    x += left, sourceX += left, width -= left;
    y += up, sourceY += up, height -= up;
    width = std::min(width, pixelWidth_ - x);
    height = std::min(height, pixelHeight_ - y);
    if (!source || width <= 0 || height <= 0) return;
    cleared_.reset();
    cairo_surface_flush(surface_);
    unsigned char* to = cairo_image_surface_get_data(surface_);
    const ptrdiff_t toStride = cairo_image_surface_get_stride(surface_);
    for (int row = 0; row < height; ++row) {
        std::memcpy(to + (y + row) * toStride + x * 4, source + (sourceY + row) * stride + sourceX, static_cast<size_t>(width) * 4);
    }
    cairo_surface_mark_dirty_rectangle(surface_, x, y, width, height);
}

void Canvas::movePixels(int x0, int y0, int x1, int y1, int dy) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, pixelWidth_), y1 = std::min(y1, pixelHeight_);
    if (x0 >= x1 || y0 >= y1 || dy == 0 || std::abs(dy) >= y1 - y0) return;
    cleared_.reset();
    cairo_surface_flush(surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    const ptrdiff_t stride = cairo_image_surface_get_stride(surface_);
    const int rows = y1 - y0 - std::abs(dy);
    const int from = dy > 0 ? y0 : y0 - dy, to = from + dy;
    const size_t width = static_cast<size_t>(x1 - x0) * 4;
    if (static_cast<ptrdiff_t>(width) == stride) {
        // Whole rows lie back to back: one move.
        std::memmove(data + to * stride, data + from * stride, width * static_cast<size_t>(rows));
    } else if (dy > 0) {
        for (int row = rows - 1; row >= 0; --row)
            std::memmove(data + (to + row) * stride + x0 * 4, data + (from + row) * stride + x0 * 4, width);
    } else {
        for (int row = 0; row < rows; ++row)
            std::memmove(data + (to + row) * stride + x0 * 4, data + (from + row) * stride + x0 * 4, width);
    }
    cairo_surface_mark_dirty_rectangle(surface_, x0, y0, x1 - x0, y1 - y0);
}

void Canvas::fill(const Rect& rect, Rgba color) {
    cleared_.reset();
    if (!finite(rect) || rect.isEmpty()) return;
    // An opaque colour over whole pixels inside a box clip (a row's backgrounds) is stored straight
    // into them: what Cairo's fill gives, without making and rasterising a path for it.
    if (unit(color.alpha) == 1.0) {
        if (std::optional<std::array<int, 4>> box = deviceBox(rect)) {
            const auto [x0, y0, x1, y1] = *box;
            if (x0 >= x1 || y0 >= y1) return;
            cairo_surface_flush(surface_);
            auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_));
            const ptrdiff_t stride = cairo_image_surface_get_stride(surface_) / 4;
            const uint32_t pixel = opaquePixel(color);
            for (int y = y0; y < y1; ++y) std::fill(pixels + y * stride + x0, pixels + y * stride + x1, pixel);
            cairo_surface_mark_dirty_rectangle(surface_, x0, y0, x1 - x0, y1 - y0);
            return;
        }
    }
    setSource(cairo_, color);
    cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cairo_);
}

void Canvas::addPath(const Path& path) {
    cairo_new_path(cairo_);
    path.forEach([this](const Path::Element& e) {
        const double* v = e.values;
        switch (e.verb) {
            case Path::Verb::move: cairo_move_to(cairo_, v[0], v[1]); break;
            case Path::Verb::line: cairo_line_to(cairo_, v[0], v[1]); break;
            case Path::Verb::curve: cairo_curve_to(cairo_, v[0], v[1], v[2], v[3], v[4], v[5]); break;
            case Path::Verb::arc:
                // With y up, Cairo's increasing angles run counter-clockwise on screen.
                if (v[5] != 0) {
                    cairo_arc_negative(cairo_, v[0], v[1], std::max(0.0, v[2]), v[3], v[4]);
                } else {
                    cairo_arc(cairo_, v[0], v[1], std::max(0.0, v[2]), v[3], v[4]);
                }
                break;
            case Path::Verb::close: cairo_close_path(cairo_); break;
        }
    });
}

void Canvas::fill(const Path& path, Rgba color, FillRule rule) {
    cleared_.reset();
    if (path.isEmpty()) return;
    addPath(path);
    setSource(cairo_, color);
    cairo_set_fill_rule(cairo_, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_fill(cairo_);
}

void Canvas::stroke(const Path& path, Rgba color, const StrokeStyle& style) {
    cleared_.reset();
    if (path.isEmpty() || !std::isfinite(style.width) || style.width <= 0) return;
    addPath(path);
    setSource(cairo_, color);
    cairo_set_line_width(cairo_, style.width);
    static constexpr cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
    cairo_set_line_cap(cairo_, caps[static_cast<int>(style.cap)]);
    static constexpr cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_join(cairo_, joins[static_cast<int>(style.join)]);
    bool dashesUsable = std::all_of(style.dashes.begin(), style.dashes.end(),
                                    [](double d) { return std::isfinite(d) && d >= 0; }) &&
                        std::any_of(style.dashes.begin(), style.dashes.end(), [](double d) { return d > 0; });
    if (dashesUsable) {
        cairo_set_dash(cairo_, style.dashes.data(), static_cast<int>(style.dashes.size()),
                       std::isfinite(style.dashPhase) ? style.dashPhase : 0.0);
    } else {
        cairo_set_dash(cairo_, nullptr, 0, 0);
    }
    cairo_stroke(cairo_);
    cairo_set_dash(cairo_, nullptr, 0, 0);
}

namespace {

void addStops(cairo_pattern_t* pattern, std::span<const GradientStop> stops) {
    for (const GradientStop& stop : stops) {
        const Rgba& c = stop.color;
        cairo_pattern_add_color_stop_rgba(pattern, unit(stop.location), unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha));
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
}

}  // namespace

void Canvas::fillLinearGradient(const Rect& rect, Point start, Point end, std::span<const GradientStop> stops) {
    cleared_.reset();
    if (!finite(rect) || rect.isEmpty() || stops.empty()) return;
    if (!std::isfinite(start.x) || !std::isfinite(start.y) || !std::isfinite(end.x) || !std::isfinite(end.y)) return;
    if (stops.size() == 1) return fill(rect, stops.front().color);
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    addStops(pattern, stops);
    cairo_set_source(cairo_, pattern);
    cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cairo_);
    cairo_pattern_destroy(pattern);
}

void Canvas::fillRadialGradient(const Rect& rect, Point center, double radiusX, double radiusY,
                                std::span<const GradientStop> stops) {
    cleared_.reset();
    if (!finite(rect) || rect.isEmpty() || stops.empty()) return;
    if (!std::isfinite(center.x) || !std::isfinite(center.y)) return;
    if (!(std::isfinite(radiusX) && radiusX > 0 && std::isfinite(radiusY) && radiusY > 0)) {
        return fill(rect, stops.back().color);
    }
    if (stops.size() == 1) return fill(rect, stops.front().color);
    // A circle of radius 1 in a space scaled to the ellipse.
    cairo_pattern_t* pattern = cairo_pattern_create_radial(0, 0, 0, 0, 0, 1);
    addStops(pattern, stops);
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, radiusX, 0, 0, radiusY, center.x, center.y);
    cairo_matrix_invert(&matrix);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_set_source(cairo_, pattern);
    cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cairo_);
    cairo_pattern_destroy(pattern);
}

namespace {

// Saves the state and sets the image as the source, its top row at the rectangle's top edge,
// stretched to the rectangle; null (nothing saved) when there is nothing to draw. The caller
// restores and destroys the surface.
cairo_surface_t* setStretchedImageSource(cairo_t* cairo, const Image& image, const Rect& rect, cairo_extend_t extend) {
    if (image.isEmpty() || !finite(rect) || rect.isEmpty() ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        return nullptr;
    }
    cairo_surface_t* source = imageSurface(image);
    cairo_save(cairo);
    cairo_translate(cairo, rect.x, rect.maxY());
    cairo_scale(cairo, rect.width / image.width, -rect.height / image.height);
    cairo_set_source_surface(cairo, source, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cairo), extend);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
    return source;
}

}  // namespace

void Canvas::drawImage(const Image& image, const Rect& rect) {
    cleared_.reset();
    cairo_surface_t* source = setStretchedImageSource(cairo_, image, rect, CAIRO_EXTEND_PAD);
    if (!source) return;
    cairo_rectangle(cairo_, 0, 0, image.width, image.height);
    cairo_fill(cairo_);
    cairo_restore(cairo_);
    cairo_surface_destroy(source);
}

std::optional<ImageSampling> Canvas::imageSampling(Size imageSize, const Rect& rect) const {
    const double width = imageSize.width, height = imageSize.height;
    if (!(width >= 1) || !(height >= 1) || !finite(rect) || rect.isEmpty()) return std::nullopt;
    // The matrix drawImage sets up.
    cairo_matrix_t m;
    cairo_get_matrix(cairo_, &m);
    cairo_matrix_translate(&m, rect.x, rect.maxY());
    cairo_matrix_scale(&m, rect.width / width, -rect.height / height);
    if (m.xy != 0 || m.yx != 0 || !(m.xx > 0) || !(m.yy > 0)) return std::nullopt;
    const double x0 = m.x0, y0 = m.y0, x1 = m.x0 + m.xx * width, y1 = m.y0 + m.yy * height;
    constexpr double far = 1e9;
    if (!(std::abs(x0) < far && std::abs(y0) < far && std::abs(x1) < far && std::abs(y1) < far)) return std::nullopt;
    ImageSampling sampling;
    sampling.imageWidth = static_cast<int>(width);
    sampling.imageHeight = static_cast<int>(height);
    sampling.scaleX = m.xx;
    sampling.scaleY = m.yy;
    sampling.offsetX = x0;
    sampling.offsetY = y0;
    sampling.left = static_cast<int>(std::floor(x0));
    sampling.top = static_cast<int>(std::floor(y0));
    const double pixelsWide = std::ceil(x1) - sampling.left, pixelsHigh = std::ceil(y1) - sampling.top;
    if (pixelsWide > maxPixelSide || pixelsHigh > maxPixelSide) return std::nullopt;
    sampling.width = static_cast<int>(pixelsWide);
    sampling.height = static_cast<int>(pixelsHigh);
    return sampling;
}

void Canvas::drawSampledCopy(const Image& copy, const ImageSampling& sampling, const Rect& rect) {
    cleared_.reset();
    if (copy.width != sampling.width || copy.height != sampling.height || copy.isEmpty() || !finite(rect) ||
        copy.pixels.size() != static_cast<size_t>(copy.width) * static_cast<size_t>(copy.height)) {
        return;
    }
    cairo_surface_t* source = imageSurface(copy);
    cairo_save(cairo_);
    cairo_matrix_t user;
    cairo_get_matrix(cairo_, &user);
    // Pixel for pixel in device space; the shape filled is drawImage's, so the edges come out the same.
    cairo_identity_matrix(cairo_);
    cairo_set_source_surface(cairo_, source, sampling.left, sampling.top);
    cairo_pattern_set_filter(cairo_get_source(cairo_), CAIRO_FILTER_NEAREST);
    cairo_set_matrix(cairo_, &user);
    cairo_translate(cairo_, rect.x, rect.maxY());
    cairo_scale(cairo_, rect.width / sampling.imageWidth, -rect.height / sampling.imageHeight);
    cairo_rectangle(cairo_, 0, 0, sampling.imageWidth, sampling.imageHeight);
    cairo_fill(cairo_);
    cairo_restore(cairo_);
    cairo_surface_destroy(source);
}

void Canvas::paintImage(const Image& image, const Rect& rect) {
    cleared_.reset();
    cairo_surface_t* source = setStretchedImageSource(cairo_, image, rect, CAIRO_EXTEND_NONE);
    if (!source) return;
    cairo_paint(cairo_);
    cairo_restore(cairo_);
    cairo_surface_destroy(source);
}

void Canvas::drawImageAtPixel(const Image& image, int x, int y, double opacity) {
    cleared_.reset();
    opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    if (opacity <= 0 || image.isEmpty() ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        return;
    }
    cairo_surface_t* source = imageSurface(image);
    cairo_save(cairo_);
    // Device space: a whole-pixel offset lets Pixman copy rows without sampling.
    cairo_identity_matrix(cairo_);
    cairo_set_source_surface(cairo_, source, x, y);
    cairo_rectangle(cairo_, x, y, image.width, image.height);
    if (opacity < 1) {
        cairo_clip(cairo_);
        cairo_paint_with_alpha(cairo_, opacity);
    } else {
        cairo_fill(cairo_);
    }
    cairo_restore(cairo_);
    cairo_surface_destroy(source);
}

void Canvas::drawTextLayout(PangoLayout* layout, Point topLeft, Rgba color) {
    cleared_.reset();
    if (!layout || !std::isfinite(topLeft.x) || !std::isfinite(topLeft.y)) return;
    cairo_save(cairo_);
    cairo_translate(cairo_, topLeft.x, topLeft.y);
    cairo_matrix_t m;
    cairo_get_matrix(cairo_, &m);
    // Pango lays lines out downwards: in y-up user space the text would stand on its head.
    if (m.xx * m.yy - m.xy * m.yx < 0) cairo_scale(cairo_, 1, -1);
    setSource(cairo_, color);
    pango_cairo_show_layout(cairo_, layout);
    cairo_restore(cairo_);
}

void Canvas::drawGlyphs(const Font& font, std::span<const GlyphPlacement> glyphs, Rgba color) {
    cleared_.reset();
    const State& s = state_.back();
    uint32_t premultiplied = color.premultipliedArgb();
    if (glyphs.empty() || s.clipX0 >= s.clipX1 || s.clipY0 >= s.clipY1 || (premultiplied >> 24) == 0) return;
    cairo_matrix_t m;
    cairo_get_matrix(cairo_, &m);
    double sizeX = font.size() * std::hypot(m.xx, m.yx), sizeY = font.size() * std::hypot(m.xy, m.yy);
    // Inside a box clip glyphs are blitted straight into the pixels; any other clip needs Cairo.
    bool direct = s.clipIsBox;
    GlyphBlitter::Target target{};
    if (direct) {
        cairo_surface_flush(surface_);
        target = {reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_)),
                  cairo_image_surface_get_stride(surface_) / 4, pixelWidth_, pixelHeight_};
    } else {
        cairo_save(cairo_);
        cairo_identity_matrix(cairo_);
    }
    GlyphCache& cache = GlyphCache::shared();
    for (const GlyphPlacement& g : glyphs) {
        const RasterGlyph* r = cache.lookup(font, g.glyph, sizeX * g.scale, sizeY * g.scale, s.fontSmoothing);
        if (!r || r->width == 0) continue;
        double x = m.xx * g.position.x + m.xy * g.position.y + m.x0;
        double y = m.yx * g.position.x + m.yy * g.position.y + m.y0;
        if (!(std::fabs(x) < 1e9 && std::fabs(y) < 1e9)) continue;
        int left = static_cast<int>(std::lround(x)) + r->left, top = static_cast<int>(std::lround(y)) - r->top;
        if (direct) {
            GlyphBlitter::blit(*r, target, left, top, premultiplied, {s.clipX0, s.clipY0, s.clipX1, s.clipY1});
        } else {
            compositeThroughCairo(*r, left, top, color);
        }
    }
    if (direct) {
        cairo_surface_mark_dirty(surface_);
    } else {
        cairo_restore(cairo_);
    }
}

void Canvas::compositeThroughCairo(const RasterGlyph& glyph, int left, int top, Rgba color) {
    cairo_surface_t* mask = cairo_image_surface_create_for_data(
        const_cast<unsigned char*>(glyph.pixels.data()), glyph.color ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_A8,
        glyph.width, glyph.height, glyph.stride);
    if (glyph.color) {
        cairo_set_source_surface(cairo_, mask, left, top);
        cairo_paint_with_alpha(cairo_, unit(color.alpha));
    } else {
        setSource(cairo_, color);
        cairo_mask_surface(cairo_, mask, left, top);
    }
    cairo_surface_destroy(mask);
}

void Canvas::drawMask(const RasterGlyph& mask, int x, int y, Rgba color) {
    cleared_.reset();
    const State& s = state_.back();
    uint32_t premultiplied = color.premultipliedArgb();
    if (mask.width == 0 || s.clipX0 >= s.clipX1 || s.clipY0 >= s.clipY1 || (premultiplied >> 24) == 0) return;
    if (s.clipIsBox) {
        cairo_surface_flush(surface_);
        GlyphBlitter::Target target{reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_)),
                                    cairo_image_surface_get_stride(surface_) / 4, pixelWidth_, pixelHeight_};
        GlyphBlitter::blit(mask, target, x, y, premultiplied, {s.clipX0, s.clipY0, s.clipX1, s.clipY1});
        cairo_surface_mark_dirty(surface_);
        return;
    }
    cairo_save(cairo_);
    cairo_identity_matrix(cairo_);
    compositeThroughCairo(mask, x, y, color);
    cairo_restore(cairo_);
}

}  // namespace platform::gfx
