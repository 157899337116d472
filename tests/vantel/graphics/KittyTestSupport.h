#pragma once

// Helpers for Kitty graphics tests: APC framing, base64, zlib, PNG files, a
// delegate that reports a cell size, and views of the images on buffer lines.

#include <png.h>
#include <zlib.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TerminalTestSupport.h"
#include "vantel/core/Base64.h"
#include "vantel/graphics/KittyGraphics.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace vantel::testing {

inline std::string base64(std::string_view bytes) {
    return Base64::encode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

inline std::string bytes(const std::vector<uint8_t>& data) { return std::string(data.begin(), data.end()); }

// ESC _ G <control> ; <payload> ESC backslash.
inline std::string kittyApc(std::string_view control, std::string_view encodedPayload = {}) {
    std::string out = "\x1b_G";
    out.append(control);
    if (!encodedPayload.empty()) {
        out += ';';
        out.append(encodedPayload);
    }
    return out + "\x1b\\";
}

inline std::string reply(std::string_view text) { return "\x1b_" + std::string(text) + "\x1b\\"; }

inline std::string zlibCompress(std::string_view data) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
    out.resize(size);
    return out;
}

// A straight-alpha RGBA PNG file.
inline std::string makePng(int width, int height, const std::vector<uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::string out(size, '\0');
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

inline std::vector<uint8_t> solidPixels(int width, int height, std::vector<uint8_t> pixel = {1, 2, 3, 255}) {
    std::vector<uint8_t> out;
    for (int i = 0; i < width * height; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

// Reports a cell size in pixels when one is set.
struct CellSizeDelegate : RecordingDelegate {
    std::optional<std::pair<int, int>> cellSize;
    std::optional<std::pair<int, int>> cellSizeInPixels(Terminal&) override { return cellSize; }
};

struct KittyTerminal : TestTerminalOf<CellSizeDelegate> {
    explicit KittyTerminal(int cols = 20, int rows = 10, std::function<void(TerminalOptions&)> configure = {})
        : TestTerminalOf<CellSizeDelegate>((installGraphicsProtocols(), cols), rows, std::move(configure)) {}
    KittyGraphics& kitty() { return *kittyGraphicsOf(*terminal); }
    KittyGraphicsState& state() { return kitty().state(); }
    std::string replies() {
        std::string out = delegate.replies();
        delegate.clear();
        return out;
    }
    void moveCursor(int col, int row) {
        terminal->buffer().setX(col);
        terminal->buffer().setY(row);
    }
    // The Kitty slices on a ring line of a buffer.
    std::vector<KittyPlacementImage*> slices(int line, Buffer* buffer = nullptr) {
        Buffer& b = buffer ? *buffer : terminal->buffer();
        std::vector<KittyPlacementImage*> out;
        if (line >= b.lines().count()) return out;
        if (const TerminalImageList* images = b.lines()[line].images()) {
            for (const auto& image : *images) {
                if (auto* kitty = asKittyImage(image)) out.push_back(kitty);
            }
        }
        return out;
    }
    // "image:placement@row,col" for every line of a buffer with a slice, top slices only.
    std::string placements(Buffer* buffer = nullptr) {
        Buffer& b = buffer ? *buffer : terminal->buffer();
        std::string out;
        for (int line = 0; line < b.lines().count(); ++line) {
            for (auto* slice : slices(line, &b)) {
                if (slice->sliceRow != 0) continue;
                if (!out.empty()) out += ' ';
                out += std::to_string(slice->kittyImageId.value_or(0)) + ":" +
                       std::to_string(slice->kittyPlacementId.value_or(0)) + "@" + std::to_string(line) + "," +
                       std::to_string(slice->kittyCol);
            }
        }
        return out;
    }
};

// A 1 x 1 opaque RGB pixel, as base64 of f=24 data.
inline const std::string onePixel = base64(std::string("\x0a\x14\x1e", 3));

}  // namespace vantel::testing
