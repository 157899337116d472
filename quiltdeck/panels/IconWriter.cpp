#include "quiltdeck/panels/IconWriter.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/PngEncoder.h"
#include "quiltdeck/panels/Mark.h"
#include "quiltdeck/shell/DurableFile.h"

namespace quiltdeck {

using platform::gfx::Rgba;

std::optional<std::string> IconWriter::png(int pixels) {
    if (pixels <= 0 || pixels > platform::gfx::Canvas::maxPixelSide) return std::nullopt;
    const auto bytes = platform::gfx::encodePng(image(pixels));
    if (!bytes) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

platform::gfx::Image IconWriter::image(int pixels) {
    if (pixels <= 0 || pixels > platform::gfx::Canvas::maxPixelSide) return {};
    const double p = pixels;
    platform::gfx::Canvas canvas({p, p}, 1);
    const double inset = 0.11 * p;
    const double side = p - 2 * inset;
    canvas.translate(inset, inset);
    // Mark::draw fills the rounded tile itself when given a ground.
    Mark::draw(canvas, side, Rgba::fromBytes(237, 239, 241), Rgba::fromBytes(11, 12, 13), MarkStyle::converge);
    return canvas.image();
}

std::optional<FileWriteError> IconWriter::write(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return FileWriteError{folder, error.message()};
    if (!std::filesystem::is_directory(folder, error)) return FileWriteError{folder, std::strerror(ENOTDIR)};
    for (const auto& entry : entries) {
        const auto bytes = png(entry.pixels);
        if (!bytes) continue;
        const auto file = folder / entry.fileName;
        if (!writeFileDurably(file, *bytes)) return FileWriteError{file, std::strerror(errno)};
    }
    return std::nullopt;
}

}  // namespace quiltdeck
