#include "quiltdeck/shell/Resources.h"

#include <system_error>

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path>& overridden() {
    static std::optional<fs::path> folder;
    return folder;
}

}  // namespace

fs::path Resources::besideExecutable() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) return {};
    return executable.parent_path().parent_path() / "share" / "quiltdeck";
}

fs::path Resources::folder() {
    if (overridden()) return *overridden();
    static const fs::path folder = besideExecutable();
    return folder;
}

void Resources::setFolder(std::optional<fs::path> folder) { overridden() = std::move(folder); }

std::optional<fs::path> Resources::url(std::string_view name) {
    // A full file name of the folder itself, never a path that leaves it.
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") return std::nullopt;
    const fs::path base = folder();
    if (base.empty()) return std::nullopt;
    fs::path file = base / fs::path(name);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return std::nullopt;
    return file;
}

}  // namespace quiltdeck
