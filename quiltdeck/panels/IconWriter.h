#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/gfx/Image.h"
#include "quiltdeck/panels/FileWriteError.h"

namespace quiltdeck {

// The application icon: the converge mark on a dark rounded tile, as a set of PNGs.
class IconWriter {
public:
    IconWriter() = delete;

    struct Entry {
        std::string_view fileName;
        int pixels;
    };
    // The ten files, in the order they are written: each base size, then its double.
    static constexpr std::array<Entry, 10> entries = {{
        {"icon_16x16.png", 16},
        {"icon_16x16@2x.png", 32},
        {"icon_32x32.png", 32},
        {"icon_32x32@2x.png", 64},
        {"icon_128x128.png", 128},
        {"icon_128x128@2x.png", 256},
        {"icon_256x256.png", 256},
        {"icon_256x256@2x.png", 512},
        {"icon_512x512.png", 512},
        {"icon_512x512@2x.png", 1024},
    }};

    // Makes the folder (and its parents) and writes the ten files into it. The first
    // failure ends the run; the files written before it stay.
    static std::optional<FileWriteError> write(const std::filesystem::path& folder);
    // One icon of p × p pixels as PNG bytes; nothing when it cannot be encoded.
    static std::optional<std::string> png(int pixels);
    // The same picture; empty for a size outside what a canvas takes.
    static platform::gfx::Image image(int pixels);
};

}  // namespace quiltdeck
