#include "quiltdeck/shell/Env.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace quiltdeck {

std::optional<std::string> env(std::string_view name) {
    for (const char* prefix : {"QUILTDECK_", "BRIGHTLOOM_"}) {
        const std::string variable = prefix + std::string(name);
        if (const char* value = std::getenv(variable.c_str())) return std::string(value);
    }
    return std::nullopt;
}

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::filesystem::path configFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') return config;
    return homeFolder() / ".config";
}

}  // namespace quiltdeck
