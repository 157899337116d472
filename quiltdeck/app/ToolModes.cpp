#include "quiltdeck/app/ToolModes.h"

#include <algorithm>
#include <filesystem>

#include "quiltdeck/panels/IconWriter.h"
#include "quiltdeck/panels/Mark.h"

namespace quiltdeck {

namespace {

// The argument after the first occurrence of the flag.
std::optional<std::string> valueOf(std::span<const std::string> arguments, std::string_view flag) {
    const auto it = std::find(arguments.begin(), arguments.end(), flag);
    if (it == arguments.end() || it + 1 == arguments.end()) return std::nullopt;
    return *(it + 1);
}

int finish(const std::optional<FileWriteError>& error, std::ostream& errors) {
    if (!error) return 0;
    errors << "quiltdeck: " << error->message() << "\n";
    return 1;
}

}  // namespace

std::optional<int> runToolMode(std::span<const std::string> arguments, std::ostream& errors) {
    if (const auto folder = valueOf(arguments, "--write-iconset"))
        return finish(IconWriter::write(std::filesystem::path(*folder)), errors);
    if (const auto file = valueOf(arguments, "--write-mark-preview"))
        return finish(Mark::writePreview(std::filesystem::path(*file)), errors);
    return std::nullopt;
}

}  // namespace quiltdeck
