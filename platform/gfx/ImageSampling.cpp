#include "platform/gfx/ImageSampling.h"

#include <cairo.h>

namespace platform::gfx {

_cairo_surface* imageSurface(const Image& image) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())),
                                               CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4);
}

Image ImageSampling::scaledCopy(const Image& image) const {
    Image copy;
    if (image.width != imageWidth || image.height != imageHeight || image.isEmpty() || width <= 0 || height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        return copy;
    }
    copy.width = width;
    copy.height = height;
    copy.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    cairo_surface_t* target = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(copy.pixels.data()),
                                                                  CAIRO_FORMAT_ARGB32, width, height, width * 4);
    cairo_surface_t* source = imageSurface(image);
    cairo_t* cairo = cairo_create(target);
    // The canvas's sampling moved by whole pixels: the copy's pixel (0, 0) is device pixel (left, top).
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, scaleX, 0, 0, scaleY, offsetX - left, offsetY - top);
    cairo_set_matrix(cairo, &matrix);
    cairo_set_source_surface(cairo, source, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cairo);
    const bool failed = cairo_status(cairo) != CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_destroy(source);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    return failed ? Image{} : copy;
}

}  // namespace platform::gfx
