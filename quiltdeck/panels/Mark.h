#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rgba.h"
#include "quiltdeck/panels/FileWriteError.h"

namespace quiltdeck {

// The four pictures of the product's mark, in the order of the preview's columns
// and of the settings panel's choices.
enum class MarkStyle { chevrons, tiles, dots, converge };

constexpr std::array<MarkStyle, 4> allMarkStyles = {MarkStyle::chevrons, MarkStyle::tiles, MarkStyle::dots,
                                                    MarkStyle::converge};
std::string_view rawValue(MarkStyle style);
// Exactly "chevrons", "tiles", "dots" or "converge".
std::optional<MarkStyle> markStyleFrom(std::string_view rawValue);

// The mark, drawn in code at any size. Geometry lives on a 40 × 40 grid inside a
// margin of a fifth of the size, y up.
class Mark {
public:
    Mark() = delete;

    // Draws into the canvas's current user space, the mark's square at (0, 0, size,
    // size); with a ground, the rounded tile behind it is filled first.
    static void draw(platform::gfx::Canvas& canvas, double size, platform::gfx::Rgba ink,
                     std::optional<platform::gfx::Rgba> ground, MarkStyle style);

    // One 1080 × 560 PNG of every style on a light and a dark tile.
    static std::optional<FileWriteError> writePreview(const std::filesystem::path& file);
};

}  // namespace quiltdeck
