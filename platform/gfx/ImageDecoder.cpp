#include "platform/gfx/ImageDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string_view>

namespace platform::gfx {

namespace {

std::atomic<uint64_t> handedToLoaders{0};
thread_local uint64_t checksHere = 0;

bool startsWith(std::span<const uint8_t> data, std::string_view magic, size_t at = 0) {
    return data.size() >= at + magic.size() && std::memcmp(data.data() + at, magic.data(), magic.size()) == 0;
}

bool looksLikeSvg(std::span<const uint8_t> data) {
    std::string_view text(reinterpret_cast<const char*>(data.data()), std::min<size_t>(data.size(), 4096));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return false;
    text.remove_prefix(first);
    return (text.starts_with("<?xml") || text.starts_with("<svg") || text.starts_with("<!DOCTYPE svg")) &&
           text.find("<svg") != std::string_view::npos;
}

// The loader for the recognised format, or nullptr: other formats never reach a decoder.
const char* formatOf(std::span<const uint8_t> data) {
    using namespace std::string_view_literals;
    if (startsWith(data, "\x89PNG\r\n\x1A\n"sv)) return "png";
    if (startsWith(data, "\xFF\xD8\xFF"sv)) return "jpeg";
    if (startsWith(data, "GIF87a"sv) || startsWith(data, "GIF89a"sv)) return "gif";
    if (startsWith(data, "BM"sv)) return "bmp";
    if (startsWith(data, "II*\0"sv) || startsWith(data, "MM\0*"sv)) return "tiff";
    if (startsWith(data, "\0\0\1\0"sv)) return "ico";
    if (startsWith(data, "RIFF"sv) && startsWith(data, "WEBP"sv, 8)) return "webp";
    if (startsWith(data, "icns"sv)) return "icns";
    if (looksLikeSvg(data)) return "svg";
    return nullptr;
}

bool isRaster(std::string_view format) { return format != "svg" && format != "ico"; }

struct SizeCheck {
    const ImageDecoder::Request& request;
    bool refused = false;
};

// Runs once the header is read. Setting the size to 0 x 0 makes the loader stop before it
// allocates or decodes pixels.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    auto* check = static_cast<SizeCheck*>(data);
    const ImageDecoder::Request& request = check->request;
    if (!ImageDecoder::withinLimits(width, height) || width > request.sideLimit || height > request.sideLimit ||
        (request.accepts && !request.accepts(width, height))) {
        check->refused = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
        return;
    }
    const int longer = std::max(width, height);
    if (request.fitSide > 0 && longer > request.fitSide) {
        const double scale = static_cast<double>(request.fitSide) / longer;
        gdk_pixbuf_loader_set_size(loader, std::max(1, static_cast<int>(std::lround(width * scale))),
                                   std::max(1, static_cast<int>(std::lround(height * scale))));
    }
}

Image toImage(GdkPixbuf* pixbuf) {
    Image image;
    int width = gdk_pixbuf_get_width(pixbuf);
    int height = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (!ImageDecoder::withinLimits(width, height) || width <= 0 || height <= 0 ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels != (alpha ? 4 : 3)) {
        return image;
    }
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const uint8_t* base = gdk_pixbuf_read_pixels(pixbuf);
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t* out = image.pixels.data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = base + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += channels) {
            *out++ = Image::premultipliedPixel(p[0], p[1], p[2], alpha ? p[3] : 255);
        }
    }
    return image;
}

// A PNG read as the decoder's loader reads it, fed as a stream, each row dropped as it comes: what
// it holds is libpng's own, about a row, however large the picture.
struct PngCheck {
    const ImageDecoder::Request& request;
    // Set by the callbacks, read after a jump back.
    volatile bool sized = false;  // the header was read: the loader would have made its picture
    volatile bool refused = false;
};

void pngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarned(png_structp, png_const_charp) {}

void pngInfo(png_structp png, png_infop info) {
    auto* check = static_cast<PngCheck*>(png_get_progressive_ptr(png));
    const auto width = static_cast<int64_t>(png_get_image_width(png, info));
    const auto height = static_cast<int64_t>(png_get_image_height(png, info));
    if (!ImageDecoder::withinLimits(width, height) || width > check->request.sideLimit ||
        height > check->request.sideLimit || (check->request.accepts && !check->request.accepts(width, height))) {
        check->refused = true;
        png_error(png, "refused");
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    check->sized = true;
}

void pngRow(png_structp, png_bytep, png_uint_32, int) {}

// No object with a destructor lives across the jump back.
ImageDecoder::Status checkPngRows(std::span<const uint8_t> data, const ImageDecoder::Request& request) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFailed, pngWarned);
    if (!png) return ImageDecoder::Status::failed;
    png_infop info = png_create_info_struct(png);
    PngCheck check{request};
    volatile bool failed = true;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_progressive_read_fn(png, &check, pngInfo, pngRow, nullptr);
        // In slices, as the loader is fed: a refusal in the header stops the rest.
        constexpr size_t slice = 64 * 1024;
        for (size_t at = 0; at < data.size(); at += slice) {
            png_process_data(png, info, const_cast<png_bytep>(data.data() + at), std::min(slice, data.size() - at));
        }
        failed = false;
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (check.refused) return ImageDecoder::Status::refused;
    // Cut short after its header, it shows what came; wrong bytes anywhere fail it.
    return !failed && check.sized ? ImageDecoder::Status::decoded : ImageDecoder::Status::failed;
}

}  // namespace

ImageDecoder::Status ImageDecoder::check(std::span<const uint8_t> data, const Request& request) {
    ++checksHere;
    const char* format = formatOf(data);
    if (!format) return Status::failed;
    if (std::string_view(format) == "png") {
        handedToLoaders.fetch_add(1, std::memory_order_relaxed);
        return checkPngRows(data, request);
    }
    return decode(data, request).status;
}

bool ImageDecoder::readsMimeType(std::string_view mimeType) {
    // The loaders of the formats recognised above, by the types they declare.
    static constexpr std::string_view recognised[] = {"png", "jpeg", "gif", "bmp", "tiff", "ico", "webp", "svg", "icns"};
    GSList* formats = gdk_pixbuf_get_formats();
    bool reads = false;
    for (GSList* item = formats; item && !reads; item = item->next) {
        auto* format = static_cast<GdkPixbufFormat*>(item->data);
        gchar* name = gdk_pixbuf_format_get_name(format);
        const bool known = std::find(std::begin(recognised), std::end(recognised), std::string_view(name)) != std::end(recognised);
        g_free(name);
        if (!known) continue;
        gchar** types = gdk_pixbuf_format_get_mime_types(format);
        for (gchar** type = types; type && *type && !reads; ++type) reads = mimeType == *type;
        g_strfreev(types);
    }
    g_slist_free(formats);
    return reads;
}

uint64_t ImageDecoder::imagesHandedToLoaders() { return handedToLoaders.load(std::memory_order_relaxed); }

uint64_t ImageDecoder::checksOnThisThread() { return checksHere; }

bool ImageDecoder::withinLimits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= maxSide && height <= maxSide && width * height * 4 <= maxDecodedBytes;
}

ImageDecoder::Result ImageDecoder::decode(std::span<const uint8_t> data) { return decode(data, Request{}); }

ImageDecoder::Result ImageDecoder::decode(std::span<const uint8_t> data, int64_t sideLimit) {
    Request request;
    request.sideLimit = sideLimit;
    return decode(data, request);
}

ImageDecoder::Result ImageDecoder::decode(std::span<const uint8_t> data, const Request& request) {
    Result result;
    const char* format = formatOf(data);
    if (!format) return result;
    if (request.rasterOnly && !isRaster(format)) {
        result.status = Status::refused;
        return result;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(format, nullptr);
    if (!loader) return result;
    handedToLoaders.fetch_add(1, std::memory_order_relaxed);
    SizeCheck check{request};
    g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &check);

    // Written in slices so that a refusal in the header stops the rest from being fed.
    constexpr size_t slice = 64 * 1024;
    bool ok = true;
    for (size_t at = 0; ok && !check.refused && at < data.size(); at += slice) {
        ok = gdk_pixbuf_loader_write(loader, data.data() + at, std::min(slice, data.size() - at), nullptr);
    }
    bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    if (check.refused) {
        result.status = Status::refused;
    } else if (ok && closed) {
        if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) {
            result.image = toImage(pixbuf);
            if (!result.image.isEmpty()) result.status = Status::decoded;
        }
    }
    g_object_unref(loader);
    return result;
}

}  // namespace platform::gfx
