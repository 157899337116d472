#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quiltdeck {

// The application's resource folder (fonts, documents): "share/quiltdeck" beside the folder of
// the executable, so an installed program (<prefix>/bin/quiltdeck) and the build tree
// (build/<kind>/bin/quiltdeck) find theirs alike.
class Resources {
public:
    Resources() = delete;

    static std::filesystem::path folder();
    // Tests point it elsewhere; none goes back to the executable's.
    static void setFolder(std::optional<std::filesystem::path> folder);
    // A file of the folder by its full name, when it exists.
    static std::optional<std::filesystem::path> url(std::string_view name);
    // <folder of the executable>/../share/quiltdeck; empty when the executable cannot be found.
    static std::filesystem::path besideExecutable();
};

}  // namespace quiltdeck
