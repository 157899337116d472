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

namespace {

// An XDG base folder: the variable when it holds an absolute path, else its default below home.
std::filesystem::path xdgFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    return homeFolder() / fallback;
}

}  // namespace

std::filesystem::path configFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path dataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path cacheFolder() { return xdgFolder("XDG_CACHE_HOME", ".cache"); }

}  // namespace quiltdeck
