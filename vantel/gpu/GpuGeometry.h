#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "vantel/core/Attribute.h"
#include "vantel/core/BufferLine.h"
#include "vantel/gpu/GpuDrawData.h"
#include "vantel/gpu/ShaderInterface.h"

namespace vantel {

// The geometry of GPU rows in drawable pixels (origin at the lower-left corner, y up): the
// doubling of double-width and double-height rows, clipping with texture coordinates cut in
// proportion, decoration rectangles, image quads, and the pixel rules of the view's own drawing
// (which pixels a filled rectangle covers), so that both paths colour the same pixels.
struct GpuGeometry {
    using Mode = BufferLine::RenderLineMode;

    // A quad with its texture rectangle.
    struct Quad {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        float uMin = 0, vMin = 0, uMax = 0, vMax = 0;
        friend bool operator==(const Quad&, const Quad&) = default;
    };
    struct Box {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        friend bool operator==(const Box&, const Box&) = default;
    };

    static Float4 colorToSimd(platform::gfx::Rgba color);

    // Doubles x on every doubled row, and for double height maps y to pivot + 2 (y − pivot);
    // the result is ordered (minimum corner first).
    static Box transformRect(Mode mode, double pivotY, double x0, double y0, double x1, double y1);
    // Without a clip the quad as it is; with one, none when it has no area or nothing is left,
    // else the part inside with its texture coordinates cut in proportion.
    static std::optional<Quad> clip(const Quad& quad, const std::optional<ClipRect>& clip);
    static std::optional<Box> clip(const Box& box, const std::optional<ClipRect>& clip);

    // The pixels the view's drawing fills for a rectangle drawn without antialiasing: those whose
    // centres lie inside, a centre on the left or bottom edge counting in (on the right or top
    // edge not). None when that is no pixel.
    static std::optional<Box> snapped(const Box& box);
    // A filled rectangle without antialiasing, as the view fills it.
    static void appendSolid(const Box& box, Float4 color, std::vector<ColorCell>& out);

    // The rectangles of one underline or strikethrough segment from x0 to x1 around yCenter, in
    // the row's render mode, clipped; a double line is two calls.
    static void appendUnderlineSegments(double x0, double x1, double yCenter, double thickness, Float4 color,
                                        UnderlineStyle style, double patternScale, Mode mode, double pivotY,
                                        const std::optional<ClipRect>& clip, std::vector<ColorCell>& out);

    // A picture's quad: `rect` in points (y up) times the scale, doubled by the render mode,
    // clipped; the minimum corner takes (uMin, vMin) of `uv`.
    static std::optional<ImageDraw> imageDraw(std::shared_ptr<platform::gpu::Texture> texture,
                                              const platform::gfx::Rect& rect, const platform::gfx::Rect& uv, Mode mode,
                                              const std::optional<ClipRect>& clip, double pivotY, double scale);

    // Rectangles (disjoint, drawable pixels) filled with antialiasing as the view fills them:
    // each pixel takes the colour at the share of it they cover. Written as coloured triangles,
    // one rectangle for each stretch of pixels of equal coverage.
    static void appendCoverage(std::span<const Box> boxes, Float4 color, std::vector<ColorVertex>& out);
    // Six vertices, (min x, min y), (max x, min y), (min x, max y), (max x, min y), (max x, max y),
    // (min x, max y).
    static void appendRect(const Box& box, Float4 color, std::vector<ColorVertex>& out);
    static void appendQuad(const Quad& quad, Float4 color, std::vector<GlyphVertex>& out);
    static TextCell textCell(const Quad& quad, Float4 color);
};

}  // namespace vantel
