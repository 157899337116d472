#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageSampling.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"

struct _cairo;
struct _cairo_surface;
struct _PangoLayout;

namespace platform::gfx {

struct RasterGlyph;

struct StrokeStyle {
    enum class Cap { butt, round, square };
    enum class Join { miter, round, bevel };
    double width = 1;
    std::vector<double> dashes;  // on, off, ... in points; empty for a solid line
    double dashPhase = 0;
    Cap cap = Cap::butt;
    Join join = Join::miter;
};

// A colour of a gradient at a fraction (0...1) of its way from start to end.
struct GradientStop {
    double location = 0;
    Rgba color;
};

// One glyph to draw: its id, its pen position in user space, and a scale applied to the font
// size (1 for the font's own size).
struct GlyphPlacement {
    uint32_t glyph = 0;
    Point position;
    double scale = 1;
};

// A drawing surface: a Cairo ARGB32 image of the view's size times the backing scale. Callers
// draw in the views' coordinates (points, y up, origin at the lower-left corner); the canvas alone
// turns them into device pixels (x × scale, (height − y) × scale). Glyphs go through the
// process-wide glyph cache and are composited directly; they are always drawn upright.
// Main thread only.
class Canvas {
public:
    static constexpr int maxPixelSide = 16384;

    // `resident` is for a window's surface, which every frame writes all over: from 4 MiB up its
    // pages are made resident when it is made and are not shared with forked children, so no frame
    // faults them in one by one (neither the first nor the one after a program is started).
    enum class Storage { ordinary, resident };

    // A transparent canvas of `size` points at `scale` device pixels per point. A scale that is
    // not finite or not above 0 is 1; each side has at most maxPixelSide pixels.
    Canvas(Size size, double scale, Storage storage = Storage::ordinary);
    // Draws into the image surface `make` gives for the canvas's pixel width and height (one a
    // toolkit shares with its display server, say), taking its reference. One that is not an
    // ARGB32 image of exactly those pixels at device scale 1 is released, and the canvas makes
    // its own as the constructor above does.
    using SurfaceMaker = std::function<_cairo_surface*(int width, int height)>;
    Canvas(Size size, double scale, const SurfaceMaker& make, Storage storage = Storage::ordinary);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Size size() const { return size_; }
    double scale() const { return scale_; }
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }
    // Device pixel (from the top-left) as a premultiplied 0xAARRGGBB word; 0 outside.
    uint32_t pixel(int x, int y) const;
    bool writePng(const std::string& path) const;
    // A copy of the pixels.
    Image image() const;
    // A copy of a box of device pixels (from the top-left), cut at the surface; empty outside it.
    Image copyPixels(int x, int y, int width, int height) const;
    // The same box written into rows `stride` words apart, the first word being pixel (x, y);
    // what lies outside the surface is left as it is.
    void readPixels(int x, int y, int width, int height, uint32_t* out, ptrdiff_t stride) const;
    // The same box averaged over blocks of `factor` × `factor` pixels from its top-left corner
    // (the last ones may be partial), read in place.
    Image downsampledPixels(int x, int y, int width, int height, int factor) const;
    // The Cairo image surface, for a backend that shows it.
    _cairo_surface* surface() const { return surface_; }

    // Graphics state: transform, clip, antialiasing and font smoothing.
    void save();
    void restore();
    void translate(double dx, double dy);
    void scaleBy(double sx, double sy);
    // Turns user space by `radians` (counter-clockwise as seen with y up).
    void rotate(double radians);
    Point userToDevice(Point p) const;
    void clip(const Rect& rect);
    // Clips to the area the rectangles cover together; one rectangle is the same as clip(rect).
    void clip(std::span<const Rect> rects);
    // Clips to the inside of a path (glyphs are then drawn through Cairo).
    void clip(const Path& path);
    void setAntialias(bool on);
    bool antialias() const { return state_.back().antialias; }
    void setFontSmoothing(bool on) { state_.back().fontSmoothing = on; }
    // What is drawn from here to the matching end is composited in one go at `opacity` (a view
    // fading as a whole). They nest like save and restore.
    void beginTransparencyLayer();
    void endTransparencyLayer(double opacity);
    bool fontSmoothing() const { return state_.back().fontSmoothing; }

    // Replaces the rectangle's pixels by the clear colour: transparent unless a layer colour was
    // set (part of the graphics state).
    void clear(const Rect& rect);
    void setClearColor(Rgba color) { state_.back().clearColor = color; }
    // Moves the pixels of the device-pixel box [x0, x1) × [y0, y1) down by `dy` device pixels (up
    // when negative), ignoring transform and clip. What moves past the box's edge is dropped; the
    // rows the move uncovers keep their old pixels.
    void movePixels(int x0, int y0, int x1, int y1, int dy);
    Rgba clearColor() const { return state_.back().clearColor; }
    void fill(const Rect& rect, Rgba color);
    enum class FillRule { winding, evenOdd };
    void fill(const Path& path, Rgba color, FillRule rule = FillRule::winding);
    void stroke(const Path& path, Rgba color, const StrokeStyle& style);
    // Fills the rectangle with colours that change along the line from `start` to `end` (user
    // space), constant beyond its ends. Fewer than two stops: the one colour, or nothing.
    void fillLinearGradient(const Rect& rect, Point start, Point end, std::span<const GradientStop> stops);
    // Fills the rectangle with colours that change from `center` outwards to an ellipse of the
    // given radii, the last colour beyond it.
    void fillRadialGradient(const Rect& rect, Point center, double radiusX, double radiusY,
                            std::span<const GradientStop> stops);
    // Draws the image scaled into the rectangle, upright.
    void drawImage(const Image& image, const Rect& rect);
    // How drawImage would lay an image of `imageSize` pixels into `rect` on the surface, when that
    // is a scale and a move (no turn); none for an empty or flipped rectangle.
    std::optional<ImageSampling> imageSampling(Size imageSize, const Rect& rect) const;
    // Draws as drawImage(image, rect) does, taking the samples from `copy`, the image's copy made
    // by ImageSampling::scaledCopy for this canvas's `sampling` of it: scaling a large picture
    // each frame is slow, this is a plain copy.
    void drawSampledCopy(const Image& copy, const ImageSampling& sampling, const Rect& rect);
    // Draws the image as drawImage does, for an image whose outermost pixels are clear: samples
    // past its edges are clear, and the clip alone bounds what is composited. Turned, the image is
    // composited at once instead of row by row under an antialiased rectangle.
    void paintImage(const Image& image, const Rect& rect);
    // Composites the image as it is, untransformed, its top-left pixel on device pixel (x, y), at
    // an opacity: the same pixels as the image drawn into a transparency layer at that opacity.
    void drawImageAtPixel(const Image& image, int x, int y, double opacity = 1);
    // Replaces the device pixels of a box whose top-left pixel is (x, y) by those of the same box
    // of another canvas from (sourceX, sourceY), ignoring transform and clip; cut at both.
    void replacePixels(const Canvas& source, int sourceX, int sourceY, int width, int height, int x, int y);
    // The same from pixels held elsewhere: rows of premultiplied words, `stride` words apart, the
    // source box taken to be inside them.
    void replacePixels(const uint32_t* source, ptrdiff_t stride, int sourceX, int sourceY, int width, int height, int x, int y);
    void drawGlyphs(const Font& font, std::span<const GlyphPlacement> glyphs, Rgba color);
    // Draws interface text laid out by Pango, upright, the layout's top-left corner at `topLeft`
    // (user space). Runs without a colour of their own take `color`.
    void drawTextLayout(_PangoLayout* layout, Point topLeft, Rgba color);
    // Draws a rendered mask as it is, untransformed, with its top-left pixel on device pixel
    // (x, y): coverage tinted with the colour, colour pixels taking only its alpha.
    void drawMask(const RasterGlyph& mask, int x, int y, Rgba color);

private:
    struct State {
        // The clip in device pixels while it is an axis-aligned box on whole pixels; glyphs are
        // blitted inside it directly. Any other clip sends glyphs through Cairo.
        int clipX0, clipY0, clipX1, clipY1;
        bool clipIsBox = true;
        bool antialias = true;
        bool fontSmoothing = true;
        Rgba clearColor{0, 0, 0, 0};
    };
    void addPath(const Path& path);
    // The device-pixel box of a rectangle under the current transform and box clip, when its edges
    // fall on whole pixels.
    std::optional<std::array<int, 4>> deviceBox(const Rect& rect) const;
    void compositeThroughCairo(const RasterGlyph& glyph, int left, int top, Rgba color);

    Size size_;
    double scale_;
    int pixelWidth_;
    int pixelHeight_;
    _cairo_surface* surface_ = nullptr;
    _cairo* cairo_;
    std::vector<State> state_;
    // The box last cleared and its colour, while nothing has been drawn since: a view clearing
    // what its window has just painted with the view's layer colour costs nothing.
    struct ClearedBox {
        std::array<int, 4> box;
        uint32_t color;
    };
    std::optional<ClearedBox> cleared_;
};

}  // namespace platform::gfx
