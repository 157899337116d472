#include "quiltdeck/sessions/TileName.h"

#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

std::string TileName::title(std::string_view title, bool shell) {
    return shell && title == "shell" ? t("shell") : std::string(title);
}

std::string TileName::name(std::string_view name, std::string_view cwd, bool shell, std::string_view home) {
    if (!shell) return std::string(name);
    const auto below = pathBelowHome(cwd, home);
    if (name == "shell" || (below && below->empty())) return t("shell");
    return t("shell_named", {std::string(name)});
}

}  // namespace quiltdeck
