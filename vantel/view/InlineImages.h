#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/Image.h"
#include "platform/gfx/Rect.h"
#include "vantel/core/TerminalTypes.h"

namespace vantel {

class Terminal;

// What sizing an inline image needs of its view.
struct InlineImageView {
    platform::gfx::Size frame;  // the view's frame, in points
    platform::gfx::Size cell;   // the cell size, in points
    double backingScale = 1;    // the window's, 1 without a window
};

// Inline images (Sixel, Kitty and the files of OSC 1337): an image is sized from its requests, cut
// into bands one cell high and attached to the buffer lines from the cursor down, a line feed per
// band, so the bands scroll and reflow with the text. While the terminal's Kitty graphics carry a
// placement context, the bands carry that placement and its record is stored. Main thread only.
class InlineImages {
public:
    // A requested side beyond this many times the view's frame is refused.
    static constexpr double maximumFrames = 8;
    // The most images one line holds; the oldest makes room.
    static constexpr size_t maximumImagesPerLine = 256;

    // An image's place on the screen.
    struct Layout {
        double width = 0;  // in points
        double height = 0;
        int cols = 0;
        int rows = 0;
        // Where the picture lies inside width × height, from the top-left corner: all of it, or
        // fitted and centred when both sides were asked for and the aspect ratio is kept.
        platform::gfx::Rect content;
    };

    // The layout for the requests; none when the image is dropped: a natural side of 0, a size
    // that is not a number, or one past the bounds (a side, the device pixels of a band, the bytes
    // of all bands, more rows than `maximumRows`).
    static std::optional<Layout> layout(platform::gfx::Size natural, ImageSizeRequest width, ImageSizeRequest height,
                                        bool preserveAspectRatio, const InlineImageView& view, int maximumRows);

    // Band `index` (from the top) of a laid-out image: layout.width × cellHeight points at `scale`;
    // below the picture it is transparent.
    static platform::gfx::Image band(const platform::gfx::Image& image, const Layout& layout, int index,
                                     double cellHeight, double scale);

    // The largest rectangle of the image's aspect ratio inside `rect`, centred; `rect` itself when
    // either has no area.
    static platform::gfx::Rect kittyAspectFitRect(platform::gfx::Size imageSize, const platform::gfx::Rect& rect);

    // A bitmap of straight-alpha RGBA bytes. Without a Kitty placement (Sixel) it is shown at its
    // natural size, or the frame's width when it is wider than the frame.
    static void createImageFromBitmap(Terminal& terminal, const InlineImageView& view, std::span<const uint8_t> bytes,
                                      int width, int height);
    // An encoded image file of a raster format; nothing when it does not decode, or when its
    // header gives a size the layout drops.
    static void createImage(Terminal& terminal, const InlineImageView& view, std::span<const uint8_t> data,
                            ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio);
    static void insertImage(Terminal& terminal, const InlineImageView& view, const platform::gfx::Image& image,
                            ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio);
};

}  // namespace vantel
