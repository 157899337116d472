#include "platform/gfx/ImageDecoder.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "support/PngOfSize.h"

using namespace platform::gfx;
using quiltdeck::testing::pngOfSize;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A 3 x 2 image (top row red, bottom row blue) saved by GdkPixbuf in `type`.
Bytes encoded(const char* type) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 3, 2);
    gdk_pixbuf_fill(pixbuf, 0x0000FFFF);
    GdkPixbuf* top = gdk_pixbuf_new_subpixbuf(pixbuf, 0, 0, 3, 1);
    gdk_pixbuf_fill(top, 0xFF0000FF);
    g_object_unref(top);
    gchar* buffer = nullptr;
    gsize size = 0;
    Bytes out;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr)) out.assign(buffer, buffer + size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return out;
}

Bytes svgOfSize(int width, int height) {
    return bytesOf("<svg xmlns='http://www.w3.org/2000/svg' width='" + std::to_string(width) + "' height='" +
                   std::to_string(height) + "'><rect width='100%' height='100%' fill='red'/></svg>");
}

// How far the process's resident memory rose above where it stood while `work` ran: the peak is
// reset to the present first (clear_refs), so that an earlier peak does not hide this one.
template <class Work>
int64_t peakRise(Work work) {
    const auto status = [](const char* field) -> int64_t {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(field, 0) == 0) return static_cast<int64_t>(std::stoll(line.substr(std::strlen(field)))) * 1024;
        }
        return int64_t{-1};
    };
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t before = status("VmRSS:");
    work();
    return status("VmHWM:") - before;
}

const char gif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";

}  // namespace

TEST(ImageDecoder, DecodesTheFormatsTheViewShows) {
    for (const char* type : {"png", "jpeg", "bmp", "tiff", "ico", "webp"}) {
        ImageDecoder::Result result = ImageDecoder::decode(encoded(type));
        ASSERT_EQ(result.status, ImageDecoder::Status::decoded) << type;
        EXPECT_EQ(result.image.width, 3) << type;
        EXPECT_EQ(result.image.height, 2) << type;
        if (std::string(type) != "jpeg" && std::string(type) != "webp") {  // not the lossy ones
            EXPECT_EQ(result.image.pixels[0], 0xFFFF0000u) << type;
            EXPECT_EQ(result.image.pixels[5], 0xFF0000FFu) << type;
        }
    }
    ImageDecoder::Result fromGif = ImageDecoder::decode(Bytes(gif, gif + sizeof gif - 1));
    EXPECT_EQ(fromGif.status, ImageDecoder::Status::decoded);
    EXPECT_EQ(fromGif.image.pixels, std::vector<uint32_t>{0xFFFF0000u});
    ImageDecoder::Result fromSvg = ImageDecoder::decode(svgOfSize(4, 3));
    ASSERT_EQ(fromSvg.status, ImageDecoder::Status::decoded);
    EXPECT_EQ(fromSvg.image.width, 4);
    EXPECT_EQ(fromSvg.image.pixels[0], 0xFFFF0000u);
}

// A check that keeps no pixels says of every picture what a whole decode says: the formats, PNGs
// of every colour type, bit depth and interlacing, and each of them cut short or with bytes
// changed anywhere.
TEST(ImageDecoder, ACheckRowByRowAgreesWithAWholeDecode) {
    std::vector<Bytes> pictures;
    for (const char* type : {"png", "jpeg", "bmp", "tiff", "webp"}) pictures.push_back(encoded(type));
    // PNGs of their kinds, written by libpng through GdkPixbuf and Cairo.
    for (const auto& [width, height] : {std::pair{1, 1}, {37, 5}, {300, 200}}) {
        for (const cairo_format_t format : {CAIRO_FORMAT_ARGB32, CAIRO_FORMAT_RGB24, CAIRO_FORMAT_A8, CAIRO_FORMAT_A1}) {
            cairo_surface_t* surface = cairo_image_surface_create(format, width, height);
            cairo_t* cr = cairo_create(surface);
            cairo_set_source_rgba(cr, 0.2, 0.5, 0.9, 0.7);
            cairo_arc(cr, width / 2.0, height / 2.0, width / 3.0, 0, 6.3);
            cairo_fill(cr);
            cairo_destroy(cr);
            pictures.push_back(quiltdeck::testing::pngOfSurface(surface));
        }
    }
    std::mt19937 random(4099);
    size_t checked = 0;
    for (const Bytes& whole : pictures) {
        std::vector<Bytes> variants{whole};
        for (int i = 0; i < 25; ++i) {
            Bytes cut = whole;
            cut.resize(random() % whole.size());
            variants.push_back(std::move(cut));
            Bytes changed = whole;
            for (int n = 1 + random() % 3; n > 0; --n) changed[random() % changed.size()] ^= static_cast<uint8_t>(1 + random() % 255);
            variants.push_back(std::move(changed));
        }
        for (const Bytes& data : variants) {
            ImageDecoder::Request request;
            request.rasterOnly = true;
            EXPECT_EQ(ImageDecoder::check(data, request), ImageDecoder::decode(data, request).status)
                << "picture " << &whole - pictures.data() << " of " << data.size() << " bytes";
            ++checked;
        }
    }
    EXPECT_GT(checked, 800u);
    // The limits hold as the decode's do, from the header.
    EXPECT_EQ(ImageDecoder::check(pngOfSize(16385, 1), {}), ImageDecoder::Status::refused);
    EXPECT_EQ(ImageDecoder::check(pngOfSize(8192, 8193), {}), ImageDecoder::Status::refused);
    EXPECT_EQ(ImageDecoder::check(pngOfSize(16384, 1), {}), ImageDecoder::Status::decoded);
}

// The check keeps no pixels: a picture of 64 MiB decoded costs it about its file's size, where
// a whole decode takes all of it (which shows the measure sees pixels).
TEST(ImageDecoder, ACheckCostsAboutTheFilesSize) {
    const Bytes large = pngOfSize(4096, 4096);
    ASSERT_LT(large.size(), size_t{1} << 20);
    EXPECT_LT(peakRise([&] { EXPECT_EQ(ImageDecoder::check(large, {}), ImageDecoder::Status::decoded); }), int64_t{16} << 20);
    EXPECT_GT(peakRise([&] { EXPECT_EQ(ImageDecoder::decode(large).status, ImageDecoder::Status::decoded); }),
              int64_t{48} << 20);
}

// Refused from the header alone: a decoded 16385 x 16385 image would be a gigabyte.
TEST(ImageDecoder, RefusesOversizeImagesBeforeDecodingPixels) {
    struct Case {
        const char* name;
        Bytes data;
        ImageDecoder::Status status;
    } cases[] = {
        {"pngTooWide", pngOfSize(16385, 1), ImageDecoder::Status::refused},
        {"pngWidest", pngOfSize(16384, 1), ImageDecoder::Status::decoded},
        {"svgTooLarge", svgOfSize(16385, 16385), ImageDecoder::Status::refused},
        {"svgTooManyBytes", svgOfSize(8192, 8193), ImageDecoder::Status::refused},
        {"headerOnlyPng", pngOfSize(64, 64), ImageDecoder::Status::failed},
    };
    cases[4].data.resize(40);  // the signature and most of the header
    for (const Case& c : cases) EXPECT_EQ(ImageDecoder::decode(c.data).status, c.status) << c.name;
}

// Thumbnails keep their proportions and never grow; the limits still refuse before decoding.
TEST(ImageDecoder, ScalesDownToFitAThumbnail) {
    struct Case {
        const char* name;
        Bytes data;
        int64_t sideLimit;
        ImageDecoder::Status status;
        int width, height;
    } cases[] = {
        {"widePng", pngOfSize(2000, 1000), 4096, ImageDecoder::Status::decoded, 104, 52},
        {"tallSvg", svgOfSize(300, 600), 4096, ImageDecoder::Status::decoded, 52, 104},
        {"smallStays", pngOfSize(40, 30), 4096, ImageDecoder::Status::decoded, 40, 30},
        {"thinNeverZero", pngOfSize(4000, 2), 4096, ImageDecoder::Status::decoded, 104, 1},
        {"pastTheLimit", pngOfSize(5000, 10), 4096, ImageDecoder::Status::refused, 0, 0},
    };
    for (const Case& c : cases) {
        ImageDecoder::Request request;
        request.sideLimit = c.sideLimit;
        request.fitSide = 104;
        const ImageDecoder::Result result = ImageDecoder::decode(c.data, request);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.image.width, c.width) << c.name;
        EXPECT_EQ(result.image.height, c.height) << c.name;
    }
}

TEST(ImageDecoder, LimitsAreSixteenThousandPixelsAndAQuarterGigabyte) {
    EXPECT_TRUE(ImageDecoder::withinLimits(16384, 4096));  // exactly 256 MiB
    for (auto [w, h] : {std::pair{16384, 4097}, {16385, 1}, {1, 16385}, {0, 10}}) EXPECT_FALSE(ImageDecoder::withinLimits(w, h));
}

// An icon set holding one 256 x 256 PNG, as the system's loader reads it.
TEST(ImageDecoder, ReadsIconSetsWhereALoaderDoes) {
    const Bytes png = pngOfSize(256, 256);
    auto bigEndian = [](Bytes& out, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
    };
    Bytes icns = bytesOf("icns");
    bigEndian(icns, static_cast<uint32_t>(16 + png.size()));
    for (char c : std::string("ic08")) icns.push_back(static_cast<uint8_t>(c));
    bigEndian(icns, static_cast<uint32_t>(8 + png.size()));
    icns.insert(icns.end(), png.begin(), png.end());
    const ImageDecoder::Result result = ImageDecoder::decode(icns);
    EXPECT_EQ(result.status == ImageDecoder::Status::decoded, ImageDecoder::readsMimeType("image/x-icns"));
    EXPECT_EQ(result.image.width, result.status == ImageDecoder::Status::decoded ? 256 : 0);
}

TEST(ImageDecoder, MimeTypesOfferedAreTheOnesItReads) {
    for (const char* type : {"image/png", "image/jpeg", "image/svg+xml", "image/tiff", "image/webp"})
        EXPECT_TRUE(ImageDecoder::readsMimeType(type)) << type;
    for (const char* type : {"image/x-portable-anymap", "image/x-xpixmap", "text/plain", ""})
        EXPECT_FALSE(ImageDecoder::readsMimeType(type)) << type;
}

TEST(ImageDecoder, OtherDataIsNotHandedToADecoder) {
    for (std::string_view text : {"", "hello", "/* XPM */\nstatic char * x[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"};",
                                  "P1\n1 1\n1\n", "<html><body>no image</body></html>"}) {
        EXPECT_EQ(ImageDecoder::decode(bytesOf(text)).status, ImageDecoder::Status::failed) << text;
    }
}

// For images programs send: only raster formats, and the caller's own check of the header's size,
// both before any pixel is decoded.
TEST(ImageDecoder, RequestsRefuseDrawingsAndSizesTheCallerDoesNotWant) {
    std::pair<int64_t, int64_t> asked{};
    ImageDecoder::Request raster;
    raster.rasterOnly = true;
    ImageDecoder::Request small = raster;
    small.accepts = [&](int64_t width, int64_t height) {
        asked = {width, height};
        return width <= 2;
    };
    struct Case {
        const char* name;
        Bytes data;
        const ImageDecoder::Request& request;
        ImageDecoder::Status status;
    } cases[] = {
        {"png", encoded("png"), raster, ImageDecoder::Status::decoded},
        {"gif", Bytes(gif, gif + sizeof gif - 1), raster, ImageDecoder::Status::decoded},
        {"svg", svgOfSize(4, 3), raster, ImageDecoder::Status::refused},
        {"ico", encoded("ico"), raster, ImageDecoder::Status::refused},
        {"pngTooWideForTheCaller", encoded("png"), small, ImageDecoder::Status::refused},
        {"gifNarrowEnough", Bytes(gif, gif + sizeof gif - 1), small, ImageDecoder::Status::decoded},
    };
    for (const Case& c : cases) EXPECT_EQ(ImageDecoder::decode(c.data, c.request).status, c.status) << c.name;
    EXPECT_EQ(asked, (std::pair<int64_t, int64_t>{1, 1}));
    ImageDecoder::decode(encoded("webp"), small);
    EXPECT_EQ(asked, (std::pair<int64_t, int64_t>{3, 2}));
}

